#include "archive/RarBuilder.h"

#include <fcntl.h>
#include <unistd.h>

namespace ks::test {

namespace {

std::string Le(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

std::uint64_t PackedSizeOf(const RarFile& file) {
    return file.PackedSize.value_or(file.Data.size());
}

void AddData(RarImage& image, const RarFile& file) {
    if (file.PackedSize)
        image.Hole(*file.PackedSize);
    else if (!file.Data.empty())
        image.Append(file.Data);
}

} // namespace

RarImage& RarImage::Append(const std::string& bytes) {
    FPieces.emplace_back(FSize, bytes);
    FSize += bytes.size();
    return *this;
}

RarImage& RarImage::Hole(std::uint64_t size) {
    FSize += size;
    return *this;
}

std::string RarImage::Bytes() const {
    std::string out(FSize, '\0');
    for (const auto& [offset, bytes] : FPieces)
        out.replace(offset, bytes.size(), bytes);
    return out;
}

bool RarImage::Write(const std::string& path) const {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(FSize)) == 0;
    for (const auto& [offset, bytes] : FPieces)
        ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                       static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

std::vector<std::uint64_t> RarImage::Starts() const {
    std::vector<std::uint64_t> starts;
    for (const auto& piece : FPieces)
        starts.push_back(piece.first);
    return starts;
}

std::uint32_t RarCrc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

std::string Rar4Marker() {
    return std::string("Rar!\x1A\x07\x00", 7);
}

std::string Rar4Block(int type, std::uint32_t flags, const std::string& body,
                      std::optional<std::uint32_t> addSize) {
    std::string rest = addSize ? Le(*addSize, 4) + body : body;
    if (addSize)
        flags |= 0x8000;
    std::string header =
        Le(static_cast<std::uint64_t>(type), 1) + Le(flags, 2) + Le(7 + rest.size(), 2) + rest;
    return Le(RarCrc32(header) & 0xFFFF, 2) + header;
}

std::string Rar4Main(std::uint32_t flags) {
    return Rar4Block(0x73, flags, std::string(6, '\0'));
}

std::string Rar4End(std::uint32_t flags) {
    return Rar4Block(0x7b, flags, {});
}

std::string EncodeRar4Name(const std::u16string& name) {
    std::string out(1, '\0');
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i % 4 == 0)
            out += static_cast<char>(0xAA);
        out += Le(name[i], 2);
    }
    return out;
}

std::string Rar4File(const RarFile& file, bool service) {
    const std::uint64_t packed = PackedSizeOf(file);
    const std::uint64_t size = file.Size.value_or(file.Data.size());
    std::uint32_t flags = file.Flags;
    if (packed >> 32 != 0 || size >> 32 != 0)
        flags |= Rar4Large;
    const std::string name = file.EncodedName.empty() ? file.Name : file.Name + '\0' + file.EncodedName;
    if (!file.EncodedName.empty())
        flags |= Rar4Unicode;
    std::string body =
        Le(size, 4) + Le(static_cast<std::uint64_t>(file.HostOS), 1) + Le(RarCrc32(file.Data), 4) +
        Le(file.DosTime, 4) + Le(static_cast<std::uint64_t>(file.Version), 1) +
        Le(static_cast<std::uint64_t>('0' + file.Method), 1) + Le(name.size(), 2) + Le(file.Attr, 4);
    if ((flags & Rar4Large) != 0)
        body += Le(packed >> 32, 4) + Le(size >> 32, 4);
    body += name;
    return Rar4Block(service ? 0x7a : 0x74, flags, body, static_cast<std::uint32_t>(packed));
}

void AddRar4File(RarImage& image, const RarFile& file) {
    image.Append(Rar4File(file));
    AddData(image, file);
}

std::string Vint(std::uint64_t value) {
    std::string out;
    do {
        const auto low = static_cast<char>(value & 0x7F);
        value >>= 7;
        out += static_cast<char>(low | (value != 0 ? 0x80 : 0));
    } while (value != 0);
    return out;
}

std::string Rar5Marker() {
    return std::string("Rar!\x1A\x07\x01\x00", 8);
}

std::string Rar5Header(std::uint64_t type, std::uint64_t flags, const std::string& fields,
                       const std::string& extra, std::optional<std::uint64_t> dataSize) {
    if (!extra.empty())
        flags |= 0x01;
    if (dataSize)
        flags |= 0x02;
    std::string body = Vint(type) + Vint(flags);
    if (!extra.empty())
        body += Vint(extra.size());
    if (dataSize)
        body += Vint(*dataSize);
    body += fields + extra;
    const std::string sized = Vint(body.size()) + body;
    return Le(RarCrc32(sized), 4) + sized;
}

std::string Rar5Main(std::uint64_t archiveFlags, std::optional<std::uint64_t> volumeNumber) {
    if (volumeNumber)
        archiveFlags |= Rar5VolumeNumber;
    return Rar5Header(1, 0, Vint(archiveFlags) + (volumeNumber ? Vint(*volumeNumber) : std::string()));
}

std::string Rar5End(std::uint64_t flags) {
    return Rar5Header(5, 0, Vint(flags));
}

std::string Rar5File(const RarFile& file, bool service) {
    std::uint64_t fileFlags = file.Flags;
    if (file.UnixTime)
        fileFlags |= 0x02;
    if (file.DataCrc)
        fileFlags |= 0x04;
    std::string fields = Vint(fileFlags) + Vint(file.Size.value_or(file.Data.size())) + Vint(file.Attr);
    if (file.UnixTime)
        fields += Le(*file.UnixTime, 4);
    if (file.DataCrc)
        fields += Le(*file.DataCrc, 4);
    fields += Vint(static_cast<std::uint64_t>(file.Method) << 7) +
              Vint(static_cast<std::uint64_t>(file.HostOS)) + Vint(file.Name.size()) + file.Name;
    std::string extra;
    if (file.ExtraTime) {
        const std::string record = Vint(3) + Vint(file.ExtraTimeIsFileTime ? 0x02 : 0x03) +
                                   Le(*file.ExtraTime, file.ExtraTimeIsFileTime ? 8 : 4);
        extra = Vint(record.size()) + record;
    }
    std::optional<std::uint64_t> dataSize;
    if (file.PackedSize || !file.Data.empty())
        dataSize = PackedSizeOf(file);
    return Rar5Header(service ? 3 : 2, file.BlockFlags, fields, extra, dataSize);
}

void AddRar5File(RarImage& image, const RarFile& file, bool service) {
    image.Append(Rar5File(file, service));
    AddData(image, file);
}

} // namespace ks::test
