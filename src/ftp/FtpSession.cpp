#include "ftp/FtpSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "controls/MessageBox.h"
#include "foundation/Language.h"

namespace ks {
namespace {

// Waits are cut into slices this long; the event loop runs between them.
constexpr int SliceMs = 20;
// How often a transfer that never has to wait still lets the event loop run.
constexpr std::int64_t PumpEveryMs = 20;
// A login refused again and again stops asking after this many rounds.
constexpr int MaxLoginRounds = 20;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t WallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TError MakeError(TErrorCode code, std::string detail) {
    TError error;
    error.Code = code;
    error.Detail = std::move(detail);
    return error;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The command word of a line, for saying what a wait was for.
std::string Verb(const std::string& line) {
    return Upper(line.substr(0, line.find(' ')));
}

// What the status window shows of a command: never the password.
std::string Shown(const std::string& line) {
    if (Verb(line) == "PASS")
        return "PASS ****";
    return line;
}

std::string Seconds(int ms) {
    return std::to_string((ms + 999) / 1000);
}

std::string LangText(std::string_view id, std::string_view fallback) {
    std::string text;
    if (CurrentLanguage().GetLangText(id, text) && !text.empty())
        return text;
    return std::string(fallback);
}

bool Positive(int code) {
    return code >= 200 && code < 300;
}

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
    host = std::to_string(values[0]) + "." + std::to_string(values[1]) + "." + std::to_string(values[2]) + "." +
           std::to_string(values[3]);
    const int port = values[4] * 256 + values[5];
    return port > 0 ? port : 0;
}

std::string WithCommas(std::string address) {
    std::replace(address.begin(), address.end(), '.', ',');
    return address;
}

} // namespace

TFtpSession::TFtpSession(TKNetwork& network, std::function<std::int64_t()> nowNs)
    : FNetwork(network), FNow(nowNs ? std::move(nowNs) : std::function<std::int64_t()>(WallClockNs)) {}

TFtpSession::~TFtpSession() = default;

void TFtpSession::Status(const std::string& line) const {
    if (FHooks.OnStatus)
        FHooks.OnStatus(line);
}

void TFtpSession::Close() {
    FControl.reset();
    FFramer.Reset();
    FOwedReplies = 0;
    FType = 0;
}

Result<void> TFtpSession::Lost(TError error) {
    Close();
    return error;
}

Result<bool> TFtpSession::WaitFor(int timeoutMs, const std::function<Result<bool>(int sliceMs)>& step) {
    const std::int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    for (;;) {
        if (FHooks.Cancelled && FHooks.Cancelled())
            return MakeError(TErrorCode::ecCancelled, {});
        const std::int64_t left = deadline - NowMs();
        Result<bool> ready = step(static_cast<int>(std::clamp<std::int64_t>(left, 0, SliceMs)));
        if (!ready || *ready)
            return ready;
        if (left <= 0)
            return false;
        if (FHooks.Pump)
            FHooks.Pump();
    }
}

Result<void> TFtpSession::SendLine(const std::string& line) {
    if (!FControl)
        return MakeError(TErrorCode::ecDisconnected, {});
    // A line break inside a name would make the server read a second command.
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return MakeError(TErrorCode::ecParse, LangText("ftp_line_break", "a name holding a line break"));
    const std::string bytes = line + "\r\n";
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        Result<std::size_t> count = FControl->Send(std::string_view(bytes).substr(sent));
        if (!count)
            return Lost(count.error());
        sent += *count;
        if (sent == bytes.size())
            break;
        Result<bool> room = WaitFor(FLimits.ReplyMs, [this](int slice) { return FControl->Wait(true, slice); });
        if (!room)
            return Lost(room.error());
        if (!*room)
            return Lost(MakeError(TErrorCode::ecTimeout, Verb(line)));
    }
    return {};
}

Result<bool> TFtpSession::PollReply(TFtpReply& reply) {
    for (;;) {
        if (FFramer.Next(reply)) {
            FLastReply = reply;
            Status(reply.Text);
            return true;
        }
        if (FFramer.Failed()) {
            Status(FFramer.FailureText());
            Close();
            return MakeError(TErrorCode::ecParse, FFramer.FailureText());
        }
        char buffer[16384];
        Result<std::size_t> count = FControl->Receive(buffer, sizeof buffer);
        if (!count) {
            Close();
            return count.error();
        }
        if (*count == 0) {
            if (FControl->PeerClosed()) {
                Status(LangText("ftp_connection_lost", "FTP: the server closed the connection."));
                Close();
                return MakeError(TErrorCode::ecDisconnected, {});
            }
            return false;
        }
        FFramer.Feed(std::string_view(buffer, *count));
    }
}

Result<TFtpReply> TFtpSession::ReadReply(const std::string& what) {
    if (!FControl)
        return MakeError(TErrorCode::ecDisconnected, {});
    TFtpReply reply;
    Result<bool> ready = WaitFor(FLimits.ReplyMs, [&](int slice) -> Result<bool> {
        Result<bool> got = PollReply(reply);
        if (!got || *got)
            return got;
        Result<bool> readable = FControl->Wait(false, slice);
        if (!readable)
            return readable;
        return *readable ? PollReply(reply) : Result<bool>(false);
    });
    if (!ready) {
        // The answer may still come; the next command reads it first.
        if (ready.error().Code == TErrorCode::ecCancelled && FControl)
            ++FOwedReplies;
        return ready.error();
    }
    if (!*ready) {
        Status(FormatLangText(LangText("ftp_no_reply", "FTP: no reply to %s within %s seconds."),
                              {what, Seconds(FLimits.ReplyMs)}));
        Close();
        return MakeError(TErrorCode::ecTimeout, what == "the greeting" ? what : "the reply to " + what);
    }
    if (reply.Code == 421 && what != "the greeting") {
        // The server is closing the connection; nothing it says later can be trusted.
        Close();
        return MakeError(TErrorCode::ecDisconnected, reply.Text);
    }
    return reply;
}

Result<void> TFtpSession::CatchUp() {
    while (FOwedReplies > 0) {
        Result<TFtpReply> reply = ReadReply("an earlier command");
        if (!reply)
            return reply.error();
        // A preliminary reply still owes its final one.
        if (reply->Code >= 200)
            --FOwedReplies;
    }
    return {};
}

Result<TFtpReply> TFtpSession::Command(const std::string& line, bool loginRetry) {
    if (!FControl)
        return MakeError(TErrorCode::ecDisconnected, {});
    if (Result<void> caught = CatchUp(); !caught)
        return caught.error();
    Status(Shown(line));
    if (Result<void> sent = SendLine(line); !sent)
        return sent.error();
    for (;;) {
        Result<TFtpReply> reply = ReadReply(Verb(line));
        if (!reply)
            return reply;
        if (reply->Code < 200)
            continue;
        if (reply->Code == 530 && loginRetry) {
            if (Result<void> again = RetryLogin(*reply, 0); !again)
                return again.error();
            return Command(line, false);
        }
        return reply;
    }
}

Result<TFtpReply> TFtpSession::Expect(const std::string& line, int wanted) {
    Result<TFtpReply> reply = Command(line);
    if (!reply)
        return reply;
    const bool ok = wanted == 2 ? Positive(reply->Code) : reply->Code == wanted;
    if (!ok)
        return MakeError(TErrorCode::ecRefused, reply->Text);
    return reply;
}

Result<void> TFtpSession::LogOn(int depth) {
    Result<TFtpReply> user = Command("USER " + FLogin.User, false);
    if (!user)
        return user.error();
    switch (user->Code) {
    case 500:
    case 501:
    case 421:
        Close();
        return MakeError(TErrorCode::ecAccess, user->Text);
    case 530:
        return RetryLogin(*user, depth);
    case 331:
        break;
    default:
        // 230 after USER is a finished login.
        return {};
    }
    Result<TFtpReply> pass = Command("PASS " + FLogin.Password, false);
    if (!pass)
        return pass.error();
    switch (pass->Code) {
    case 202:
    case 421:
    case 500:
    case 501:
    case 503:
        Close();
        return MakeError(TErrorCode::ecAccess, pass->Text);
    case 530:
        return RetryLogin(*pass, depth);
    default:
        return {};
    }
}

Result<void> TFtpSession::RetryLogin(const TFtpReply& refusal, int depth) {
    int answer = mrAbort;
    if (FHooks.Ask && depth < MaxLoginRounds)
        answer = FHooks.Ask(LangText("ftp_retry_login", "Retry with same user and password ?") + "\r" + refusal.Text,
                            miExclamation, mbYes | mbNo | mbAbort, 0);
    if (answer == mrNo) {
        const std::string title = LangText("ftp_bad_login", "FTP-Bad login");
        std::string user = FLogin.User;
        std::string password = FLogin.Password;
        if (!FHooks.AskText || !FHooks.AskText(title, LangText("ftp_enter_user", "FTP: Enter user name"), user, false) ||
            !FHooks.AskText(title, LangText("ftp_enter_password", "FTP: Enter password"), password, true)) {
            answer = mrAbort;
        } else {
            FLogin.User = user;
            FLogin.Password = password;
        }
    }
    if (answer != mrYes && answer != mrNo) {
        Close();
        return MakeError(TErrorCode::ecAccess, refusal.Text);
    }
    return LogOn(depth + 1);
}

void TFtpSession::ReadFeatures() {
    Result<TFtpReply> features = Command("FEAT", false);
    if (!features || features->Code != 211)
        return;
    // The framed reply holds its lines joined; each feature line starts with a space.
    const std::string text = Upper(features->Text);
    FMlsd = text.find(" MLST") != std::string::npos || text.find(" MLSD") != std::string::npos;
    FUtf8 = text.find(" UTF8") != std::string::npos;
    if (FUtf8)
        (void)Command("OPTS UTF8 ON", false);
    // The permission column comes from the mode fact, which servers offer but may not send
    // unless asked.
    if (FMlsd && text.find("UNIX.MODE") != std::string::npos)
        (void)Command("OPTS MLST type;size;modify;unix.mode;", false);
}

Result<void> TFtpSession::Connect(const TRemoteLogin& login) {
    Close();
    FLogin = login;
    FCurrentDir.clear();
    FMlsd = FUtf8 = FNoEpsv = false;
    const std::string target = login.Host + ":" + std::to_string(login.Port);
    Status(FormatLangText(LangText("ftp_connecting", "Connecting to %s..."), {target}));
    std::unique_ptr<TKConnector> connector = FNetwork.Connect(login.Host, login.Port);
    std::unique_ptr<TKSocket> socket;
    Result<bool> connected = WaitFor(FLimits.ConnectMs, [&](int slice) -> Result<bool> {
        Result<std::unique_ptr<TKSocket>> step = connector->Step(slice);
        if (!step)
            return step.error();
        if (!*step)
            return false;
        socket = std::move(*step);
        return true;
    });
    if (!connected) {
        if (connected.error().Code != TErrorCode::ecCancelled)
            Status(FormatLangText(LangText("ftp_connect_error", "FTP: no connection to %s (%s)."),
                                  {target, connected.error().Detail.empty()
                                               ? std::to_string(connected.error().Errno)
                                               : connected.error().Detail}));
        return connected.error();
    }
    if (!*connected) {
        Status(FormatLangText(LangText("ftp_connect_timeout", "FTP: no connection to %s within %s seconds."),
                              {target, Seconds(FLimits.ConnectMs)}));
        return MakeError(TErrorCode::ecTimeout, target);
    }
    FControl = std::move(socket);
    Result<TFtpReply> greeting = ReadReply("the greeting");
    if (greeting && greeting->Code == 120)
        greeting = ReadReply("the greeting");
    if (!greeting)
        return Lost(greeting.error());
    if (greeting->Code != 220)
        return Lost(MakeError(TErrorCode::ecRefused, greeting->Text));
    if (Result<void> logged = LogOn(0); !logged)
        return Lost(logged.error());
    if (Result<TFtpReply> system = Command("SYST"); !system && !FControl)
        return system.error();
    ReadFeatures();
    if (!FControl)
        return MakeError(TErrorCode::ecDisconnected, {});
    if (Result<std::string> folder = PrintDir(); !folder && !FControl)
        return folder.error();
    return {};
}

bool TFtpSession::CheckAlive() {
    if (!FControl)
        return false;
    Result<bool> readable = FControl->Wait(false, 0);
    if (!readable) {
        Close();
        return false;
    }
    if (!*readable)
        return true;
    TFtpReply reply;
    for (;;) {
        Result<bool> got = PollReply(reply);
        if (!got)
            return false;
        if (!*got)
            return FControl != nullptr;
        if (FOwedReplies > 0 && reply.Code >= 200) {
            --FOwedReplies;
        } else if (reply.Code == 421) {
            Close();
            return false;
        }
    }
}

Result<std::string> TFtpSession::PrintDir() {
    Result<TFtpReply> reply = Expect("PWD", 257);
    if (!reply)
        return reply.error();
    const std::size_t first = reply->Text.find('"');
    const std::size_t last = reply->Text.rfind('"');
    if (first == std::string::npos || last <= first)
        return MakeError(TErrorCode::ecParse, reply->Text);
    // A quote inside the folder name is doubled.
    std::string folder;
    for (std::size_t i = first + 1; i < last; ++i) {
        folder += reply->Text[i];
        if (reply->Text[i] == '"' && i + 1 < last && reply->Text[i + 1] == '"')
            ++i;
    }
    FCurrentDir = folder;
    return folder;
}

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
            Status(FormatLangText(LangText("ftp_pasv_address", "FTP: the reply named %s; connecting to %s instead."),
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
        Status(FormatLangText(LangText("ftp_no_data", "FTP: no data connection within %s seconds."),
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
        const std::string line = local.IPv6 ? "EPRT |2|" + local.Host + "|" + std::to_string(port) + "|"
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
                Status(FormatLangText(LangText("ftp_foreign_data", "FTP: refused a data connection from %s."), {from}));
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
        Status(FormatLangText(LangText("ftp_no_data", "FTP: no data connection within %s seconds."),
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
            Status(FormatLangText(LangText("ftp_data_stalled", "FTP: the listing stopped for %s seconds."),
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
            Status(LangText("ftp_listing_too_large", "FTP: the listing is larger than 64 MiB and was not read."));
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
        Status(LangText("ftp_try_passive", "FTP: no data connection in active mode; trying passive mode."));
        FLogin.Passive = true;
        data = Transfer(command, true, noDataConnection);
    }
    if (!data)
        return data.error();
    entries.clear();
    ParseFtpListing(*data, FMlsd, FNow(), entries);
    return {};
}

Result<void> TFtpSession::ChangeFolder(const std::string& name) {
    if (Result<TFtpReply> reply = Expect("CWD " + name, 2); !reply)
        return reply.error();
    return {};
}

Result<void> TFtpSession::ChangeToParent() {
    if (Result<TFtpReply> reply = Expect("CDUP", 2); !reply)
        return reply.error();
    return {};
}

Result<void> TFtpSession::MakeFolder(const std::string& name) {
    if (Result<TFtpReply> reply = Expect("MKD " + name, 257); !reply)
        return reply.error();
    return {};
}

Result<void> TFtpSession::DeleteFile(const std::string& name) {
    if (Result<TFtpReply> reply = Expect("DELE " + name, 2); !reply)
        return reply.error();
    return {};
}

Result<void> TFtpSession::RemoveFolder(const std::string& name) {
    if (Result<TFtpReply> reply = Expect("RMD " + name, 2); !reply)
        return reply.error();
    return {};
}

Result<void> TFtpSession::Rename(const std::string& from, const std::string& to) {
    if (Result<TFtpReply> reply = Expect("RNFR " + from, 350); !reply)
        return reply.error();
    if (Result<TFtpReply> reply = Expect("RNTO " + to, 2); !reply)
        return reply.error();
    return {};
}

Result<TFtpReply> TFtpSession::RawCommand(const std::string& line) {
    return Command(line);
}

void TFtpSession::Disconnect(bool wait) {
    if (!FControl)
        return;
    Status("QUIT");
    if (SendLine("QUIT") && wait && FControl) {
        TRemoteLimits limits = FLimits;
        FLimits.ReplyMs = std::min(FLimits.ReplyMs, 2000);
        FOwedReplies = 0;
        (void)ReadReply("QUIT");
        FLimits = limits;
    }
    Close();
}

} // namespace ks
