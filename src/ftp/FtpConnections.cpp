#include "ftp/FtpConnections.h"

#include "foundation/DELTA9.h"

namespace ks {

namespace {

// Nothing escapes the separator, so a typed "|" would split the entry; a line break would
// split the stored string list the same way.
std::string FieldText(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (const char c : value) {
        if (c != '|' && c != '\r' && c != '\n')
            text += c;
    }
    return text;
}

// A TCP port as typed: a decimal number from 1 to 65535.
std::optional<int> ReadPort(std::string_view text) {
    int value = 0;
    if (!TryStrToInt(text, value) || value < 1 || value > 65535)
        return std::nullopt;
    return value;
}

} // namespace

std::string MakeFtpEntry(const TFtpEntryValues& values) {
    const std::array<std::string, FtpEntryFieldCount> fields = {
        FieldText(values.Name),  FieldText(values.Host),      FieldText(values.Port),
        FieldText(values.Login), FieldText(values.Password),  BoolToString(values.UseProxy),
        FieldText(values.Proxy), FieldText(values.ProxyPort), BoolToString(values.Passive)};
    std::string entry;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            entry += '|';
        entry += fields[i];
    }
    return entry;
}

TFtpEntryValues ReadFtpEntry(std::string_view entry) {
    TFtpEntryValues values;
    values.Name = GetField(entry, '|', fefName);
    values.Host = GetField(entry, '|', fefHost);
    values.Port = GetField(entry, '|', fefPort);
    values.Login = GetField(entry, '|', fefLogin);
    values.Password = GetField(entry, '|', fefPassword);
    values.UseProxy = GetField(entry, '|', fefUseProxy) == "1";
    values.Proxy = GetField(entry, '|', fefProxy);
    values.ProxyPort = GetField(entry, '|', fefProxyPort);
    // Entries written before the passive field existed connected in active mode.
    values.Passive = GetField(entry, '|', fefPassive) == "1";
    return values;
}

std::optional<TFtpTarget> SplitFtpEntry(std::string_view entry) {
    TFtpTarget target;
    target.Host = GetField(entry, '|', fefHost);
    const std::optional<int> port = ReadPort(GetField(entry, '|', fefPort));
    if (!port)
        return std::nullopt;
    target.Port = *port;
    target.User = GetField(entry, '|', fefLogin);
    target.Password = GetField(entry, '|', fefPassword);
    int useProxy = 0;
    target.UseProxy = TryStrToInt(GetField(entry, '|', fefUseProxy), useProxy) && useProxy == 1;
    target.ProxyName = GetField(entry, '|', fefProxy);
    const std::string proxyPort = GetField(entry, '|', fefProxyPort);
    if (!proxyPort.empty()) {
        const std::optional<int> parsed = ReadPort(proxyPort);
        if (!parsed)
            return std::nullopt;
        target.ProxyPort = *parsed;
    }
    target.Passive = GetField(entry, '|', fefPassive) == "1";
    return target;
}

bool TFtpStatusLog::Append(std::string_view text) {
    bool cleared = false;
    const auto add = [this, &cleared](std::string_view line) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (FLines.size() >= static_cast<std::size_t>(MaxLines)) {
            FLines.clear();
            cleared = true;
        }
        FLines.emplace_back(line);
    };
    // A server reply ends with its line break, which ends the last line rather than opening an
    // empty one.
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    for (;;) {
        const std::size_t end = text.find('\n');
        add(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return cleared;
}

} // namespace ks
