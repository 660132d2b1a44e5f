#include "ftp/FtpListing.h"

#include <array>
#include <limits>
#include <optional>

namespace ks {
namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;
constexpr std::int64_t SecondsPerDay = 86'400;
// The seconds whose nanoseconds still fit in 63 bits (years 1678 to 2262).
constexpr std::int64_t MaxSeconds = std::numeric_limits<std::int64_t>::max() / NsPerSecond;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// A decimal number of digits only; nothing when empty, not digits, or beyond 63 bits.
std::optional<std::int64_t> ReadNumber(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        const int digit = c - '0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A small decimal number of exactly the given count of digits.
std::optional<int> ReadDigits(std::string_view text, std::size_t count) {
    if (text.size() != count)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(std::int64_t year, int month) {
    static constexpr std::array<int, 12> Days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar; eras of 400 years
// repeat exactly, so the day is counted inside its era.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const int shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The year a day since 1970 falls in.
std::int64_t YearOfDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    return yearOfEra + era * 400 + (shiftedMonth >= 10 ? 1 : 0);
}

struct TCivilTime {
    std::int64_t Year = 1970;
    int Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
    std::int64_t Nanoseconds = 0;
};

bool IsValid(const TCivilTime& t) {
    return t.Month >= 1 && t.Month <= 12 && t.Day >= 1 && t.Day <= DaysInMonth(t.Year, t.Month) &&
           t.Hour >= 0 && t.Hour <= 23 && t.Minute >= 0 && t.Minute <= 59 && t.Second >= 0 && t.Second <= 60;
}

std::int64_t SecondsOf(const TCivilTime& t) {
    return DaysFromCivil(t.Year, t.Month, t.Day) * SecondsPerDay + t.Hour * 3600 + t.Minute * 60 + t.Second;
}

// Sets the entry's time when the date is a real one that nanoseconds since 1970 can hold; a
// date outside that range leaves the entry without a time rather than wrapping.
void SetTime(const TCivilTime& t, TFtpEntry& entry) {
    if (!IsValid(t) || t.Year < 1 || t.Year > 9999)
        return;
    const std::int64_t seconds = SecondsOf(t);
    if (seconds < -MaxSeconds || seconds >= MaxSeconds)
        return;
    entry.MTimeNs = seconds * NsPerSecond + t.Nanoseconds;
    entry.HasTime = true;
}

// The verdict on a name every entry must pass: the panel walks into and deletes what it gets,
// so a name that could leave the folder never becomes an entry.
TFtpLineKind CheckName(std::string_view name) {
    if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return flUnsafe;
    if (name.empty() || name == "." || name == "..")
        return flSkip;
    return flEntry;
}

struct TToken {
    std::size_t Start = 0;
    std::string_view Text;
    std::size_t End() const { return Start + Text.size(); }
};

std::vector<TToken> SplitTokens(std::string_view line) {
    std::vector<TToken> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsSpace(line[i]))
            ++i;
        if (i > start)
            tokens.push_back({start, line.substr(start, i - start)});
    }
    return tokens;
}

// The text after a column: the padding spaces between belong to no name.
std::string_view RestAfter(std::string_view line, std::size_t position) {
    while (position < line.size() && IsSpace(line[position]))
        ++position;
    return line.substr(position);
}

int MonthOf(std::string_view text) {
    static constexpr std::array<std::string_view, 12> Months = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                "jul", "aug", "sep", "oct", "nov", "dec"};
    for (std::size_t i = 0; i < Months.size(); ++i) {
        if (EqualsNoCase(text, Months[i]))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

// "HH:MM" or "H:MM".
bool ReadClock(std::string_view text, int& hour, int& minute) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2)
        return false;
    const std::optional<int> h = ReadDigits(text.substr(0, colon), colon);
    const std::optional<int> m = ReadDigits(text.substr(colon + 1), 2);
    if (!h || !m || *h > 23 || *m > 59)
        return false;
    hour = *h;
    minute = *m;
    return true;
}

bool IsPermissionText(std::string_view text) {
    if (text.size() < 10 || std::string_view("-dlcbpsD").find(text[0]) == std::string_view::npos)
        return false;
    for (std::size_t i = 1; i < 10; ++i) {
        if (std::string_view("-rwxsStTlL").find(text[i]) == std::string_view::npos)
            return false;
    }
    // A marker of extended attributes or an access list may follow ("+", ".", "@").
    return text.size() == 10 ||
           (text.size() == 11 && std::string_view("+.@").find(text[10]) != std::string_view::npos);
}

// The size column of a device file holds "major, minor" (or "major,minor") instead of a size.
bool IsDeviceNumbers(std::string_view text) {
    bool digit = false;
    for (const char c : text) {
        if (IsDigit(c))
            digit = true;
        else if (c != ',')
            return false;
    }
    return digit;
}

TFtpLineKind ParseUnixLine(std::string_view line, std::int64_t nowNs, TFtpEntry& entry) {
    const std::vector<TToken> tokens = SplitTokens(line);
    if (tokens.empty() || !IsPermissionText(tokens[0].Text))
        return flUnknown;
    const char type = tokens[0].Text[0];
    const bool device = type == 'c' || type == 'b';
    // The columns between the permissions and the size differ by server (links, owner, group,
    // any of them missing), so the date is found by its shape: a month name, a day, and a time
    // or a year, right after a number. The first such triple wins; later ones belong to the name.
    for (std::size_t i = 2; i + 2 < tokens.size(); ++i) {
        const int month = MonthOf(tokens[i].Text);
        if (month == 0)
            continue;
        const std::optional<int> day =
            tokens[i + 1].Text.size() <= 2 ? ReadNumber(tokens[i + 1].Text) : std::nullopt;
        if (!day || *day < 1 || *day > 31)
            continue;
        TCivilTime time;
        time.Month = month;
        time.Day = static_cast<int>(*day);
        bool hasYear = false;
        if (const std::optional<int> year = ReadDigits(tokens[i + 2].Text, 4)) {
            time.Year = *year;
            hasYear = true;
        } else if (!ReadClock(tokens[i + 2].Text, time.Hour, time.Minute)) {
            continue;
        }
        const std::string_view sizeText = tokens[i - 1].Text;
        std::int64_t size = 0;
        if (device) {
            if (!IsDeviceNumbers(sizeText))
                continue;
        } else if (const std::optional<std::int64_t> number = ReadNumber(sizeText)) {
            size = *number;
        } else if (!sizeText.empty() && IsDigit(sizeText[0])) {
            // Digits that do not fit in 63 bits: not a size anyone can trust, so not an entry.
            return flUnknown;
        } else {
            continue;
        }

        TFtpEntry result;
        result.AttrText = std::string(tokens[0].Text.substr(0, 10));
        result.Size = size;
        result.IsFolder = type == 'd';
        result.IsLink = type == 'l';
        if (hasYear) {
            SetTime(time, result);
        } else {
            // ls prints the time instead of the year for dates of about the last half year;
            // the year is the latest one that puts the date no later than a day from now
            // (which also allows for a server clock slightly ahead).
            const std::int64_t limit = FloorDiv(nowNs, NsPerSecond) + SecondsPerDay;
            const std::int64_t nowYear = YearOfDays(FloorDiv(limit, SecondsPerDay));
            for (std::int64_t year = nowYear; year >= nowYear - 8; --year) {
                time.Year = year;
                if (IsValid(time) && SecondsOf(time) <= limit) {
                    SetTime(time, result);
                    break;
                }
            }
        }
        std::string_view name = RestAfter(line, tokens[i + 2].End());
        if (result.IsLink) {
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) {
                result.LinkTarget = std::string(name.substr(arrow + 4));
                name = name.substr(0, arrow);
            }
        }
        const TFtpLineKind kind = CheckName(name);
        if (kind != flEntry)
            return kind;
        result.Name = std::string(name);
        entry = std::move(result);
        return flEntry;
    }
    return flUnknown;
}

// "01-31-24" or "01-31-2024": month, day, year; two-digit years 70..99 are 19xx, the rest 20xx.
bool ReadDosDate(std::string_view text, TCivilTime& time) {
    if (text.size() != 8 && text.size() != 10)
        return false;
    if (text[2] != '-' || text[5] != '-')
        return false;
    const std::optional<int> month = ReadDigits(text.substr(0, 2), 2);
    const std::optional<int> day = ReadDigits(text.substr(3, 2), 2);
    const std::optional<int> year = ReadDigits(text.substr(6), text.size() - 6);
    if (!month || !day || !year)
        return false;
    time.Month = *month;
    time.Day = *day;
    time.Year = text.size() == 10 ? *year : (*year >= 70 ? 1900 + *year : 2000 + *year);
    return true;
}

// "09:15PM", "12:05AM" or "21:15".
bool ReadDosTime(std::string_view text, TCivilTime& time) {
    bool twelveHour = false, afternoon = false;
    if (text.size() > 2 && (EqualsNoCase(text.substr(text.size() - 2), "am") ||
                            EqualsNoCase(text.substr(text.size() - 2), "pm"))) {
        twelveHour = true;
        afternoon = Lower(text[text.size() - 2]) == 'p';
        text.remove_suffix(2);
    }
    int hour = 0, minute = 0;
    if (!ReadClock(text, hour, minute))
        return false;
    if (twelveHour) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (afternoon ? 12 : 0);
    }
    time.Hour = hour;
    time.Minute = minute;
    return true;
}

TFtpLineKind ParseDosLine(std::string_view line, TFtpEntry& entry) {
    const std::vector<TToken> tokens = SplitTokens(line);
    if (tokens.size() < 3)
        return flUnknown;
    TCivilTime time;
    if (!ReadDosDate(tokens[0].Text, time) || !ReadDosTime(tokens[1].Text, time) || !IsValid(time))
        return flUnknown;
    TFtpEntry result;
    const std::string_view column = tokens[2].Text;
    if (EqualsNoCase(column, "<DIR>")) {
        result.IsFolder = true;
    } else if (const std::optional<std::int64_t> size = ReadNumber(column)) {
        result.Size = *size;
    } else {
        // Not a size, or digits beyond 63 bits.
        return flUnknown;
    }
    SetTime(time, result);
    const std::string_view name = RestAfter(line, tokens[2].End());
    const TFtpLineKind kind = CheckName(name);
    if (kind != flEntry)
        return kind;
    result.Name = std::string(name);
    entry = std::move(result);
    return flEntry;
}

// The permission text of a unix.mode fact ("0644", "755", "2775"); false when it is not octal.
bool ModeText(std::string_view mode, char type, std::string& text) {
    // Servers written in Python send the mode with its "0o" prefix ("0o755").
    if (mode.size() > 2 && mode[0] == '0' && (mode[1] == 'o' || mode[1] == 'O'))
        mode.remove_prefix(2);
    if (mode.empty() || mode.size() > 6)
        return false;
    unsigned value = 0;
    for (const char c : mode) {
        if (c < '0' || c > '7')
            return false;
        value = value * 8 + static_cast<unsigned>(c - '0');
    }
    text.assign(10, '-');
    text[0] = type;
    static constexpr char Letters[] = "rwx";
    for (int bit = 0; bit < 9; ++bit) {
        if (value & (1u << (8 - bit)))
            text[static_cast<std::size_t>(bit) + 1] = Letters[bit % 3];
    }
    // The set-user, set-group and sticky bits show in the execute places, upper case when the
    // execute bit under them is off, as ls shows them.
    const auto showBit = [&](unsigned flag, std::size_t place, char letter) {
        if (value & flag)
            text[place] = text[place] == 'x' ? letter : static_cast<char>(letter - 'a' + 'A');
    };
    showBit(04000, 3, 's');
    showBit(02000, 6, 's');
    showBit(01000, 9, 't');
    return true;
}

// "YYYYMMDDHHMMSS" with an optional fraction of a second of any number of digits.
void ReadMlsdTime(std::string_view value, TFtpEntry& entry) {
    if (value.size() < 14)
        return;
    TCivilTime time;
    const std::optional<int> year = ReadDigits(value.substr(0, 4), 4);
    const std::optional<int> month = ReadDigits(value.substr(4, 2), 2);
    const std::optional<int> day = ReadDigits(value.substr(6, 2), 2);
    const std::optional<int> hour = ReadDigits(value.substr(8, 2), 2);
    const std::optional<int> minute = ReadDigits(value.substr(10, 2), 2);
    const std::optional<int> second = ReadDigits(value.substr(12, 2), 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return;
    time.Year = *year;
    time.Month = *month;
    time.Day = *day;
    time.Hour = *hour;
    time.Minute = *minute;
    time.Second = *second;
    std::string_view fraction = value.substr(14);
    if (!fraction.empty()) {
        if (fraction[0] != '.' || fraction.size() == 1)
            return;
        fraction.remove_prefix(1);
        std::int64_t scale = NsPerSecond;
        for (const char c : fraction) {
            if (!IsDigit(c))
                return;
            // Digits beyond nanoseconds are dropped.
            if (scale > 1) {
                scale /= 10;
                time.Nanoseconds += (c - '0') * scale;
            }
        }
    }
    SetTime(time, entry);
}

} // namespace

TFtpLineKind ParseFtpListLine(std::string_view line, std::int64_t nowNs, TFtpEntry& entry) {
    const std::vector<TToken> tokens = SplitTokens(line);
    if (tokens.empty())
        return flSkip;
    if (EqualsNoCase(tokens[0].Text, "total") &&
        (tokens.size() == 1 || (tokens.size() == 2 && ReadNumber(tokens[1].Text))))
        return flSkip;
    if (IsDigit(tokens[0].Text[0]))
        return ParseDosLine(line, entry);
    return ParseUnixLine(line, nowNs, entry);
}

TFtpLineKind ParseMlsdLine(std::string_view line, TFtpEntry& entry) {
    if (line.empty())
        return flSkip;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return flUnknown;
    std::string_view facts = line.substr(0, space);
    const std::string_view name = line.substr(space + 1);

    TFtpEntry result;
    std::string_view mode;
    while (!facts.empty()) {
        const std::size_t semicolon = facts.find(';');
        const std::string_view fact = facts.substr(0, semicolon);
        facts = semicolon == std::string_view::npos ? std::string_view() : facts.substr(semicolon + 1);
        if (fact.empty())
            continue;
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos || equals == 0)
            return flUnknown;
        const std::string_view key = fact.substr(0, equals);
        const std::string_view value = fact.substr(equals + 1);
        if (EqualsNoCase(key, "type")) {
            if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir"))
                return flSkip;
            result.IsFolder = EqualsNoCase(value, "dir");
            // Some servers name links "OS.unix=slink:target" (or "symlink").
            if (StartsWithNoCase(value, "os.unix=slink") || StartsWithNoCase(value, "os.unix=symlink")) {
                result.IsLink = true;
                const std::size_t colon = value.find(':');
                if (colon != std::string_view::npos)
                    result.LinkTarget = std::string(value.substr(colon + 1));
            }
        } else if (EqualsNoCase(key, "size")) {
            const std::optional<std::int64_t> size = ReadNumber(value);
            // Digits beyond 63 bits, or no number at all: the line cannot be trusted.
            if (!size)
                return flUnknown;
            result.Size = *size;
        } else if (EqualsNoCase(key, "modify")) {
            ReadMlsdTime(value, result);
        } else if (EqualsNoCase(key, "unix.mode")) {
            mode = value;
        }
    }

    const char typeLetter = result.IsFolder ? 'd' : result.IsLink ? 'l' : '-';
    if (!ModeText(mode, typeLetter, result.AttrText)) {
        result.AttrText.assign(10, '-');
        result.AttrText[0] = typeLetter;
    }
    const TFtpLineKind kind = CheckName(name);
    if (kind != flEntry)
        return kind;
    result.Name = std::string(name);
    entry = std::move(result);
    return flEntry;
}

int ParseFtpListing(std::string_view data, bool mlsd, std::int64_t nowNs, std::vector<TFtpEntry>& entries) {
    int unsafe = 0;
    while (!data.empty()) {
        const std::size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        TFtpEntry entry;
        const TFtpLineKind kind = mlsd ? ParseMlsdLine(line, entry) : ParseFtpListLine(line, nowNs, entry);
        if (kind == flEntry)
            entries.push_back(std::move(entry));
        else if (kind == flUnsafe)
            ++unsafe;
    }
    return unsafe;
}

} // namespace ks
