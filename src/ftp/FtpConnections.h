#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ks {

/// The fields of a stored connection entry, one line "name|host|port|login|password|useProxy|
/// proxy|proxyPort|passive" (fields counted from 0; `|` separates and nothing escapes it).
/// Entries stored before the passive field existed have eight fields and read as active mode.
enum TFtpEntryField {
    fefName = 0,
    fefHost = 1,
    fefPort = 2,
    fefLogin = 3,
    fefPassword = 4,
    fefUseProxy = 5,
    fefProxy = 6,
    fefProxyPort = 7,
    fefPassive = 8,
};
inline constexpr int FtpEntryFieldCount = 9;

/// One connection entry as the add/edit dialog shows it.
struct TFtpEntryValues {
    std::string Name = "new connection";
    std::string Host;
    std::string Port = "21";
    std::string Login = "anonymous";
    std::string Password;
    bool UseProxy = false;
    std::string Proxy;
    std::string ProxyPort = "3128";
    bool Passive = true; ///< new entries use passive mode
};

/// The entry line of values. A `|` typed into a value would split the entry: it is dropped.
std::string MakeFtpEntry(const TFtpEntryValues& values);
/// The values of an entry line: missing fields are empty ("0" for the boxes), the passive
/// field missing or other than "1" reads as active.
TFtpEntryValues ReadFtpEntry(std::string_view entry);

/// What the panel connects with, from an entry.
struct TFtpTarget {
    std::string Host, User, Password, ProxyName;
    int Port = 21;
    bool UseProxy = false;
    int ProxyPort = 0;
    bool Passive = false;
};
/// Splits an entry for connecting: the port and a non-empty proxy port must be decimal numbers
/// in 1..65535 (an empty proxy port gives 0), else there is no target (the connection is
/// refused silently).
std::optional<TFtpTarget> SplitFtpEntry(std::string_view entry);

/// The status window's log: lines appended in order; when it already holds `MaxLines` lines
/// (501) the log is cleared and the new line starts it.
class TFtpStatusLog {
public:
    static constexpr int MaxLines = 501;
    /// Appends text (which may hold line breaks: each counts as a line); true when the log was
    /// cleared first.
    bool Append(std::string_view text);
    const std::vector<std::string>& Lines() const { return FLines; }
    void Clear() { FLines.clear(); }

private:
    std::vector<std::string> FLines;
};

} // namespace ks
