#include "ftp/FtpSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "controls/MessageBox.h"
#include "foundation/Language.h"
#include "ftp/FtpSessionParts.h"

namespace ks {
using namespace ftpsession;

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
        return MakeError(TErrorCode::ecParse, LangTextOr("ftp_line_break", "a name holding a line break"));
    const std::string bytes = line + "\r\n";
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        Result<std::size_t> count = FControl->Send(std::string_view(bytes).substr(sent));
        if (!count) {
            // A broken pipe or a reset: the server went away.
            TError error = count.error();
            error.Code = TErrorCode::ecDisconnected;
            Status(LangTextOr("ftp_connection_lost", "FTP: the server closed the connection."));
            return Lost(error);
        }
        sent += *count;
        if (sent == bytes.size())
            break;
        Result<bool> room =
            WaitFor(FLimits.ReplyMs, [this](int slice) { return FControl->Wait(true, slice); });
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
            TError error = count.error();
            error.Code = TErrorCode::ecDisconnected;
            Status(LangTextOr("ftp_connection_lost", "FTP: the server closed the connection."));
            Close();
            return error;
        }
        if (*count == 0) {
            if (FControl->PeerClosed()) {
                Status(LangTextOr("ftp_connection_lost", "FTP: the server closed the connection."));
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
        Status(FormatLangText(LangTextOr("ftp_no_reply", "FTP: no reply to %s within %s seconds."),
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
        answer = FHooks.Ask(LangTextOr("ftp_retry_login", "Retry with same user and password ?") + "\r" +
                                refusal.Text,
                            miExclamation, mbYes | mbNo | mbAbort, 0);
    if (answer == mrNo) {
        const std::string title = LangTextOr("ftp_bad_login", "FTP-Bad login");
        std::string user = FLogin.User;
        std::string password = FLogin.Password;
        if (!FHooks.AskText ||
            !FHooks.AskText(title, LangTextOr("ftp_enter_user", "FTP: Enter user name"), user, false) ||
            !FHooks.AskText(title, LangTextOr("ftp_enter_password", "FTP: Enter password"), password, true)) {
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
    Status(FormatLangText(LangTextOr("ftp_connecting", "Connecting to %s..."), {target}));
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
            Status(FormatLangText(LangTextOr("ftp_connect_error", "FTP: no connection to %s (%s)."),
                                  {target, connected.error().Detail.empty()
                                               ? std::to_string(connected.error().Errno)
                                               : connected.error().Detail}));
        return connected.error();
    }
    if (!*connected) {
        Status(
            FormatLangText(LangTextOr("ftp_connect_timeout", "FTP: no connection to %s within %s seconds."),
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
