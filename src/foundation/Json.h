#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ks {

/// One JSON object on one line, keys in the order they are added. Text that is not valid
/// UTF-8 (file names are bytes) is written with each stray byte as "\u00XX",
/// so the line stays valid JSON and the bytes stay recognisable.
class TJsonLine {
public:
    TJsonLine& Add(std::string_view key, std::string_view text);
    TJsonLine& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    TJsonLine& Add(std::string_view key, std::int64_t number);
    TJsonLine& Add(std::string_view key, int number) { return Add(key, static_cast<std::int64_t>(number)); }
    TJsonLine& Add(std::string_view key, bool flag);
    /// A value that is already JSON text (a nested object or an array).
    TJsonLine& AddRaw(std::string_view key, std::string_view json);
    /// The finished line, without the line end.
    std::string Text() const { return "{" + FBody + "}"; }
    /// Writes the line and a line end to standard output.
    void Print() const;

private:
    void Key(std::string_view key);
    std::string FBody;
};

/// The text as a quoted JSON string.
std::string JsonQuote(std::string_view text);
/// The texts as a JSON array of strings.
std::string JsonArray(const std::vector<std::string>& texts);

} // namespace ks
