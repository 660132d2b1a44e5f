#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ks::test {

/// Builds KPL libraries byte by byte, in any format version, with any field values.
struct TKplBuilder {
    std::string Bytes;
    std::int32_t Version = 4;

    TKplBuilder& Int(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8)
            Bytes.push_back(static_cast<char>((bits >> shift) & 0xFF));
        Bytes.push_back(13);
        return *this;
    }
    TKplBuilder& Text(std::string_view text) {
        Int(static_cast<std::int32_t>(text.size()));
        Bytes.append(text);
        Bytes.push_back(13);
        return *this;
    }
    /// The header; versions 1 and 2 have no entry count.
    TKplBuilder& Header(std::int32_t version, std::int32_t id = 0, std::int32_t count = 0) {
        Version = version;
        Text("KPL").Int(version).Int(id).Int(-1);
        if (version >= 3)
            Int(count);
        return *this;
    }
    /// One record as the header's version lays it out; data follows a file's fields.
    TKplBuilder& Entry(std::string_view folder, std::string_view name, std::uint32_t attr,
                       std::string_view data = {}) {
        if (Version >= 2)
            Text(folder);
        if (Version >= 4)
            Int(0);
        Text(name).Int(static_cast<std::int32_t>(attr)).Int(static_cast<std::int32_t>(data.size()));
        if (Version >= 4)
            Int(static_cast<std::int32_t>(data.size()));
        Bytes.append(data);
        return *this;
    }
    TKplBuilder& File(std::string_view folder, std::string_view name, std::string_view data) {
        return Entry(folder, name, 32, data);
    }
    TKplBuilder& Folder(std::string_view folder, std::string_view name) { return Entry(folder, name, 16); }
};

} // namespace ks::test
