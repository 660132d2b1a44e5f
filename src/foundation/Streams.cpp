#include "foundation/Streams.h"

#include <limits>

namespace ks {

bool TByteReader::ReadBytes(std::size_t count, std::string_view& bytes) {
    if (count > Remaining())
        return false;
    bytes = FData.substr(FPosition, count);
    FPosition += count;
    return true;
}

bool TByteReader::ReadByte(char& byte) {
    if (AtEnd())
        return false;
    byte = FData[FPosition++];
    return true;
}

void WriteIntField(TByteWriter& writer, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        writer.WriteByte(static_cast<char>((bits >> shift) & 0xFF));
    writer.WriteByte(StreamFieldMarker);
}

bool ReadIntField(TByteReader& reader, std::int32_t& value) {
    const std::size_t start = reader.Position();
    std::string_view bytes;
    char marker = 0;
    if (!reader.ReadBytes(4, bytes) || !reader.ReadByte(marker) || marker != StreamFieldMarker) {
        reader.Seek(start);
        return false;
    }
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    value = static_cast<std::int32_t>(bits);
    return true;
}

bool WriteStrField(TByteWriter& writer, std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return false;
    WriteIntField(writer, static_cast<std::int32_t>(text.size()));
    writer.WriteBytes(text);
    writer.WriteByte(StreamFieldMarker);
    return true;
}

bool ReadStrField(TByteReader& reader, std::string& text) {
    const std::size_t start = reader.Position();
    std::int32_t length = 0;
    std::string_view bytes;
    char marker = 0;
    // The length is checked against what remains before anything is read or allocated, so a
    // damaged length can neither run past the buffer nor ask for gigabytes.
    if (!ReadIntField(reader, length) || length < 0 ||
        !reader.ReadBytes(static_cast<std::size_t>(length), bytes) || !reader.ReadByte(marker) ||
        marker != StreamFieldMarker) {
        reader.Seek(start);
        return false;
    }
    text.assign(bytes);
    return true;
}

} // namespace ks
