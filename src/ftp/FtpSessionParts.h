#pragma once

// What the two halves of the FTP session share: the time source of its waits, its error values
// and its texts.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/Language.h"
#include "foundation/Result.h"

namespace ks::ftpsession {

// Waits are cut into slices this long; the event loop runs between them.
constexpr int SliceMs = 20;
// How often a transfer that never has to wait still lets the event loop run.
constexpr std::int64_t PumpEveryMs = 20;
// A login refused again and again stops asking after this many rounds.
constexpr int MaxLoginRounds = 20;

inline std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline std::int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

inline TError MakeError(TErrorCode code, std::string detail) {
    TError error;
    error.Code = code;
    error.Detail = std::move(detail);
    return error;
}

inline std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The command word of a line, for saying what a wait was for.
inline std::string Verb(const std::string& line) {
    return Upper(line.substr(0, line.find(' ')));
}

// What the status window shows of a command: never the password.
inline std::string Shown(const std::string& line) {
    if (Verb(line) == "PASS")
        return "PASS ****";
    return line;
}

inline std::string Seconds(int ms) {
    return std::to_string((ms + 999) / 1000);
}

inline bool Positive(int code) {
    return code >= 200 && code < 300;
}

} // namespace ks::ftpsession
