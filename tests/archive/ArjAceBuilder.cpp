#include "archive/ArjAceBuilder.h"

namespace ks::test {

std::string LittleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

std::string ArjHeaderBytes(const ArjHeader& header) {
    std::string basic;
    basic += static_cast<char>(header.FirstSize);
    basic += static_cast<char>(header.Version);
    basic += static_cast<char>(1);
    basic += static_cast<char>(header.Host);
    basic += static_cast<char>(header.Flags);
    basic += static_cast<char>(header.Method);
    basic += static_cast<char>(header.Type);
    basic += '\0';
    basic += LittleEndian(header.DosTime, 4);
    basic += LittleEndian(header.PackedSize.value_or(static_cast<std::uint32_t>(header.Data.size())), 4);
    basic += LittleEndian(header.Size, 4);
    basic += LittleEndian(header.Crc, 4);
    basic += LittleEndian(0, 2);
    basic += LittleEndian(header.Mode, 2);
    basic += LittleEndian(0, 2);
    if (header.FirstSize > 30)
        basic += std::string(static_cast<std::size_t>(header.FirstSize - 30), '\0');
    basic += header.Name + '\0' + header.Comment + '\0';
    std::string out = "\x60\xEA" + LittleEndian(basic.size(), 2) + basic + LittleEndian(RarCrc32(basic), 4);
    for (const std::string& extended : header.Extended)
        out += LittleEndian(extended.size(), 2) + extended + LittleEndian(RarCrc32(extended), 4);
    return out + LittleEndian(0, 2);
}

std::string ArjMain(const std::string& name, const std::string& comment) {
    ArjHeader main;
    main.Name = name;
    main.Comment = comment;
    main.Type = 2;
    main.FirstSize = 34;
    return ArjHeaderBytes(main);
}

std::string ArjEnd() {
    return std::string("\x60\xEA\x00\x00", 4);
}

void AddArjFile(RarImage& image, const ArjHeader& header) {
    image.Append(ArjHeaderBytes(header));
    if (header.PackedSize)
        image.Hole(*header.PackedSize);
    else if (!header.Data.empty())
        image.Append(header.Data);
}

// ACE's CRC-32 is begun with all bits set like the common one but never inverted at the end; a
// header keeps its low 16 bits.
static std::uint32_t AceCrc16(const std::string& bytes) {
    return ~RarCrc32(bytes) & 0xFFFF;
}

std::string AceHeader(int type, std::uint32_t flags, const std::string& fields) {
    const std::string body = static_cast<char>(type) + LittleEndian(flags, 2) + fields;
    return LittleEndian(AceCrc16(body), 2) + LittleEndian(body.size(), 2) + body;
}

std::string AceMain(int version, int host, std::uint32_t flags, const std::string& extra) {
    std::string fields = "**ACE**";
    fields += static_cast<char>(version);
    fields += static_cast<char>(version);
    fields += static_cast<char>(host);
    fields += '\0';                        // volume number
    fields += LittleEndian(0x5A8C6000, 4); // creation time
    fields += std::string(8, '\0');
    return AceHeader(0, flags, fields + extra);
}

std::string AceFileHeader(const AceFile& file) {
    const int width = file.Wide ? 8 : 4;
    std::string fields = LittleEndian(file.PackedSize.value_or(file.Data.size()), width);
    fields += LittleEndian(file.Size.value_or(file.Data.size()), width);
    fields += LittleEndian(file.DosTime, 4);
    fields += LittleEndian(file.Attr, 4);
    fields += LittleEndian(file.DataCrc, 4);
    fields += static_cast<char>(file.Method);
    fields += static_cast<char>(file.Quality);
    fields += LittleEndian(0, 2) + LittleEndian(0, 2);
    fields += LittleEndian(file.Name.size(), 2) + file.Name + file.Trailer;
    return AceHeader(file.Wide ? 3 : 1, AceAddSize | (file.Wide ? AceWide : 0) | file.Flags, fields);
}

void AddAceFile(RarImage& image, const AceFile& file) {
    image.Append(AceFileHeader(file));
    if (file.PackedSize)
        image.Hole(*file.PackedSize);
    else if (!file.Data.empty())
        image.Append(file.Data);
}

} // namespace ks::test
