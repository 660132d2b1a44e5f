#include "panel/ItemDates.h"

#include <charconv>
#include <ctime>
#include <string>

namespace ks {

namespace {

// Appends value as printf's "%0<width>d" does: at least width characters, zeros after the sign.
void AppendPadded(std::string& text, int value, int width) {
    char digits[16];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    (void)error;
    const char* start = digits;
    if (*start == '-') {
        text += '-';
        ++start;
        --width;
    }
    const auto length = static_cast<int>(end - start);
    if (length < width)
        text.append(static_cast<std::size_t>(width - length), '0');
    text.append(start, static_cast<std::size_t>(end - start));
}

// "YYYY-MM-DD hh:mm"; every listed item's date is formatted, so this takes no format parser.
std::string FormatLocal(const std::tm& local) {
    std::string text;
    text.reserve(16);
    AppendPadded(text, local.tm_year + 1900, 4);
    text += '-';
    AppendPadded(text, local.tm_mon + 1, 2);
    text += '-';
    AppendPadded(text, local.tm_mday, 2);
    text += ' ';
    AppendPadded(text, local.tm_hour, 2);
    text += ':';
    AppendPadded(text, local.tm_min, 2);
    return text;
}

} // namespace

std::uint32_t DosDateTimeFromUnix(std::int64_t unixSeconds) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (::localtime_r(&time, &local) == nullptr)
        return 0;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    const std::uint32_t date =
        static_cast<std::uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    const std::uint32_t clock =
        static_cast<std::uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return date << 16 | clock;
}

std::int64_t UnixFromDosDateTime(std::uint32_t dosDateTime) {
    if (dosDateTime == 0)
        return 0;
    const std::uint32_t date = dosDateTime >> 16;
    const std::uint32_t clock = dosDateTime & 0xFFFF;
    std::tm local{};
    local.tm_year = static_cast<int>((date >> 9) + 1980 - 1900);
    local.tm_mon = static_cast<int>(((date >> 5) & 15)) - 1;
    local.tm_mday = static_cast<int>(date & 31);
    local.tm_hour = static_cast<int>(clock >> 11);
    local.tm_min = static_cast<int>((clock >> 5) & 63);
    local.tm_sec = static_cast<int>((clock & 31) * 2);
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
        local.tm_min > 59 || local.tm_sec > 59)
        return 0;
    const std::time_t time = std::mktime(&local);
    return time == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(time);
}

std::string ItemDateText(std::int64_t mtimeNs, std::uint32_t dosDateTime) {
    std::time_t time = 0;
    if (mtimeNs != 0) {
        // Floor division, so times before 1970 round down to their own second.
        std::int64_t seconds = mtimeNs / 1'000'000'000;
        if (mtimeNs < 0 && mtimeNs % 1'000'000'000 != 0)
            --seconds;
        time = static_cast<std::time_t>(seconds);
    } else if (dosDateTime != 0) {
        time = static_cast<std::time_t>(UnixFromDosDateTime(dosDateTime));
        if (time == 0)
            return {};
    } else {
        return {};
    }
    std::tm local{};
    if (::localtime_r(&time, &local) == nullptr)
        return {};
    return FormatLocal(local);
}

} // namespace ks
