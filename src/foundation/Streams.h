#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ks {

/// The byte (carriage return) that closes every field of the stream primitives.
inline constexpr char StreamFieldMarker = 13;

/// Collects bytes in memory; the KPL writer hands the result to a file.
class TByteWriter {
public:
    void WriteBytes(std::string_view bytes) { FData.append(bytes); }
    void WriteByte(char byte) { FData.push_back(byte); }
    const std::string& Data() const { return FData; }
    /// Hands the collected bytes over and leaves the writer empty.
    std::string Take() { return std::move(FData); }

private:
    std::string FData;
};

/// Reads bytes from a buffer it does not own. No read goes past the end: a read that needs more
/// bytes than remain fails and leaves the position where it was.
class TByteReader {
public:
    explicit TByteReader(std::string_view data) : FData(data) {}

    std::size_t Position() const { return FPosition; }
    /// Moves to pos (clamped to the end).
    void Seek(std::size_t pos) { FPosition = pos < FData.size() ? pos : FData.size(); }
    std::size_t Remaining() const { return FData.size() - FPosition; }
    bool AtEnd() const { return FPosition == FData.size(); }

    /// The next count bytes (a view into the buffer), or false when fewer remain.
    bool ReadBytes(std::size_t count, std::string_view& bytes);
    bool ReadByte(char& byte);

private:
    std::string_view FData;
    std::size_t FPosition = 0;
};

/// An integer field: the 4 bytes of value, little-endian, then the field marker.
void WriteIntField(TByteWriter& writer, std::int32_t value);
/// Reads an integer field. Fails when fewer than 5 bytes remain or when the byte after the value
/// is not the field marker; on failure the position is unchanged and value untouched.
bool ReadIntField(TByteReader& reader, std::int32_t& value);

/// A string field: an integer field holding the length, the bytes of text (none for an empty
/// one), then the field marker. False (and nothing written) for a text too long for the length
/// field.
bool WriteStrField(TByteWriter& writer, std::string_view text);
/// Reads a string field. Fails when the length field fails, when the length is negative or more
/// bytes than remain, or when the byte after the text is not the field marker; on failure the
/// position is unchanged and text untouched. Nothing is allocated before the length is known to
/// fit the buffer.
bool ReadStrField(TByteReader& reader, std::string& text);

} // namespace ks
