// The data connections of the FTP session: passive (EPSV, then PASV) and active (PORT, EPRT on
// IPv6) connections, each only with the control connection's peer, and listings read through
// them into memory.

#include "ftp/FtpSession.h"

#include <algorithm>
#include <string>

#include "ftp/FtpSessionParts.h"

namespace ks {

using namespace ftpsession;

namespace {
// The port of an EPSV answer "229 Entering Extended Passive Mode (|||6446|)"; 0 when it has none.
int EpsvPort(const std::string& text) {
    const std::size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size())
        return 0;
    const char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d)
        return 0;
    long port = 0;
    std::size_t i = open + 4;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && port <= 65535; ++i)
        port = port * 10 + (text[i] - '0');
    if (i >= text.size() || text[i] != d || port < 1 || port > 65535)
        return 0;
    return static_cast<int>(port);
}

// The six numbers of a PASV answer "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the port,
// 0 when they are missing; host is the address the server named.
int PasvPort(const std::string& text, std::string& host) {
    // The numbers start at the first digit after the code.
    std::size_t i = text.size() > 4 ? 4 : text.size();
    while (i < text.size() && !(text[i] >= '0' && text[i] <= '9'))
        ++i;
    int values[6] = {};
    for (int n = 0; n < 6; ++n) {
        long value = 0;
        std::size_t digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= 255; ++i, ++digits)
            value = value * 10 + (text[i] - '0');
        if (digits == 0 || value > 255)
            return 0;
        values[n] = static_cast<int>(value);
        if (n < 5) {
            if (i >= text.size() || text[i] != ',')
                return 0;
            ++i;
        }
    }
    host = std::to_string(values[0]) + "." + std::to_string(values[1]) + "." + std::to_string(values[2]) +
           "." + std::to_string(values[3]);
    const int port = values[4] * 256 + values[5];
    return port > 0 ? port : 0;
}

std::string WithCommas(std::string address) {
    std::replace(address.begin(), address.end(), '.', ',');
    return address;
}

} // namespace

Result<void> TFtpSession::SetType(char type) {
    if (FType == type)
        return {};
    Result<TFtpReply> reply = Expect(std::string("TYPE ") + type, 2);
    if (!reply)
        return reply.error();
    FType = type;
    return {};
}

Result<std::unique_ptr<TKSocket>> TFtpSession::OpenPassive() {
    const TKSocketAddress peer = FControl->PeerAddress();
    int port = 0;
    if (!FNoEpsv) {
        Result<TFtpReply> reply = Command("EPSV");
        if (!reply)
            return reply.error();
        if (reply->Code == 229)
            port = EpsvPort(reply->Text);
        if (port == 0 && peer.IPv6)
            return MakeError(TErrorCode::ecRefused, reply->Text);
        if (port == 0)
            FNoEpsv = true;
    }
    if (port == 0) {
        Result<TFtpReply> reply = Command("PASV");
        if (!reply)
            return reply.error();
        std::string named;
        if (reply->Code == 227)
            port = PasvPort(reply->Text, named);
        if (port == 0)
            return MakeError(TErrorCode::ecRefused, reply->Text);
        // The data connection goes to the server the control connection reached, whatever
        // address the reply names: a reply may not send it to another host.
        if (named != peer.Host)
            Status(FormatLangText(
                LangTextOr("ftp_pasv_address", "FTP: the reply named %s; connecting to %s instead."),
                {named, peer.Host}));
    }
    std::unique_ptr<TKConnector> connector = FNetwork.Connect(peer.Host, port);
    std::unique_ptr<TKSocket> socket;
    Result<bool> connected = WaitFor(FLimits.DataMs, [&](int slice) -> Result<bool> {
        Result<std::unique_ptr<TKSocket>> step = connector->Step(slice);
        if (!step)
            return step.error();
        if (!*step)
            return false;
        socket = std::move(*step);
        return true;
    });
    if (!connected)
        return connected.error();
    if (!*connected) {
        Status(FormatLangText(LangTextOr("ftp_no_data", "FTP: no data connection within %s seconds."),
                              {Seconds(FLimits.DataMs)}));
        Close();
        return MakeError(TErrorCode::ecTimeout, "the data connection");
    }
    return socket;
}

Result<std::unique_ptr<TKListener>> TFtpSession::OpenActive() {
    const TKSocketAddress local = FControl->LocalAddress();
    for (int attempt = 0; attempt < 50; ++attempt) {
        FDataPort = std::min(FDataPort + 2, LastDataPort);
        Result<std::unique_ptr<TKListener>> listener = FNetwork.Listen(local.Host, FDataPort);
        // The usual port may be taken by another program: any free one serves as well.
        if (!listener)
            listener = FNetwork.Listen(local.Host, 0);
        if (!listener)
            return listener.error();
        const int port = (*listener)->Address().Port;
        const std::string line = local.IPv6
                                     ? "EPRT |2|" + local.Host + "|" + std::to_string(port) + "|"
                                     : "PORT " + WithCommas(local.Host) + "," + std::to_string(port / 256) +
                                           "," + std::to_string(port % 256);
        Result<TFtpReply> reply = Command(line);
        if (!reply)
            return reply.error();
        if (reply->Code == 200)
            return std::move(*listener);
    }
    return MakeError(TErrorCode::ecRefused, FLastReply.Text);
}

Result<std::unique_ptr<TKSocket>> TFtpSession::AcceptActive(TKListener& listener, bool& noDataConnection) {
    const std::string peer = FControl->PeerAddress().Host;
    std::unique_ptr<TKSocket> accepted;
    TFtpReply early;
    bool replied = false;
    Result<bool> ready = WaitFor(FLimits.DataMs, [&](int slice) -> Result<bool> {
        Result<std::unique_ptr<TKSocket>> incoming = listener.Accept(slice);
        if (!incoming)
            return incoming.error();
        if (*incoming) {
            const std::string from = (*incoming)->PeerAddress().Host;
            if (from != peer) {
                Status(FormatLangText(
                    LangTextOr("ftp_foreign_data", "FTP: refused a data connection from %s."), {from}));
                return false;
            }
            accepted = std::move(*incoming);
            return true;
        }
        // A final reply meanwhile means the server could not connect.
        Result<bool> got = PollReply(early);
        if (!got)
            return got.error();
        replied = *got;
        return replied;
    });
    if (!ready) {
        if (ready.error().Code == TErrorCode::ecCancelled && FControl)
            ++FOwedReplies;
        return ready.error();
    }
    if (replied) {
        noDataConnection = early.Code == 425;
        return MakeError(TErrorCode::ecRefused, early.Text);
    }
    if (!*ready) {
        Status(FormatLangText(LangTextOr("ftp_no_data", "FTP: no data connection within %s seconds."),
                              {Seconds(FLimits.DataMs)}));
        noDataConnection = true;
        if (Result<void> aborted = AbortTransfer(); !aborted)
            return aborted.error();
        return MakeError(TErrorCode::ecTimeout, "the data connection");
    }
    return accepted;
}

Result<void> TFtpSession::AbortTransfer() {
    Status("ABOR");
    if (Result<void> sent = SendLine("ABOR"); !sent)
        return sent;
    // The aborted command's failure may come first; the answer to ABOR is positive.
    for (int replies = 0; replies < 3; ++replies) {
        Result<TFtpReply> reply = ReadReply("ABOR");
        if (!reply)
            return reply.error();
        if (Positive(reply->Code))
            return {};
    }
    return {};
}

Result<void> TFtpSession::ReceiveAll(TKSocket& data, std::string& out) {
    std::int64_t lastPump = NowMs();
    std::string buffer(65536, '\0');
    for (;;) {
        Result<std::size_t> count = data.Receive(buffer.data(), buffer.size());
        if (!count)
            return count.error();
        if (*count > 0) {
            if (out.size() + *count > MaxListingBytes)
                return MakeError(TErrorCode::ecTooLarge, {});
            out.append(buffer.data(), *count);
            if (NowMs() - lastPump >= PumpEveryMs) {
                if (FHooks.Cancelled && FHooks.Cancelled())
                    return MakeError(TErrorCode::ecCancelled, {});
                if (FHooks.Pump)
                    FHooks.Pump();
                lastPump = NowMs();
            }
            continue;
        }
        if (data.PeerClosed())
            return {};
        Result<bool> readable = WaitFor(FLimits.DataMs, [&](int slice) { return data.Wait(false, slice); });
        if (!readable)
            return readable.error();
        if (!*readable) {
            Status(FormatLangText(LangTextOr("ftp_data_stalled", "FTP: the listing stopped for %s seconds."),
                                  {Seconds(FLimits.DataMs)}));
            return MakeError(TErrorCode::ecTimeout, "the listing data");
        }
        lastPump = NowMs();
    }
}

Result<std::string> TFtpSession::Transfer(const std::string& command, bool passive, bool& noDataConnection) {
    noDataConnection = false;
    std::unique_ptr<TKSocket> data;
    std::unique_ptr<TKListener> listener;
    if (passive) {
        Result<std::unique_ptr<TKSocket>> opened = OpenPassive();
        if (!opened)
            return opened.error();
        data = std::move(*opened);
    } else {
        Result<std::unique_ptr<TKListener>> opened = OpenActive();
        if (!opened)
            return opened.error();
        listener = std::move(*opened);
    }
    Status(command);
    if (Result<void> sent = SendLine(command); !sent)
        return sent.error();
    Result<TFtpReply> first = ReadReply(command);
    if (!first)
        return first.error();
    if (first->Code != 125 && first->Code != 150) {
        noDataConnection = !passive && first->Code == 425;
        return MakeError(TErrorCode::ecRefused, first->Text);
    }
    if (!data) {
        Result<std::unique_ptr<TKSocket>> accepted = AcceptActive(*listener, noDataConnection);
        if (!accepted)
            return accepted.error();
        data = std::move(*accepted);
        listener.reset();
    }
    std::string out;
    if (Result<void> received = ReceiveAll(*data, out); !received) {
        data.reset();
        if (received.error().Code == TErrorCode::ecTimeout) {
            Close();
        } else if (received.error().Code == TErrorCode::ecTooLarge) {
            Status(LangTextOr("ftp_listing_too_large",
                              "FTP: the listing is larger than 64 MiB and was not read."));
            ++FOwedReplies;
        } else if (FControl) {
            ++FOwedReplies;
        }
        return received.error();
    }
    data.reset();
    Result<TFtpReply> last = ReadReply(command);
    if (!last)
        return last.error();
    if (!Positive(last->Code))
        return MakeError(TErrorCode::ecRefused, last->Text);
    return out;
}

Result<void> TFtpSession::List(std::vector<TRemoteEntry>& entries) {
    if (!FControl)
        return MakeError(TErrorCode::ecDisconnected, {});
    if (Result<void> typed = SetType('A'); !typed)
        return typed;
    const std::string command = FMlsd ? "MLSD" : "LIST";
    bool noDataConnection = false;
    Result<std::string> data = Transfer(command, FLogin.Passive, noDataConnection);
    if (!data && noDataConnection && FControl) {
        // Active mode fails behind most firewalls and NAT; passive mode often gets through, and
        // the session keeps it from then on.
        Status(LangTextOr("ftp_try_passive", "FTP: no data connection in active mode; trying passive mode."));
        FLogin.Passive = true;
        data = Transfer(command, true, noDataConnection);
    }
    if (!data)
        return data.error();
    entries.clear();
    ParseFtpListing(*data, FMlsd, FNow(), entries);
    return {};
}

} // namespace ks
