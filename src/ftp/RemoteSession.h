#pragma once

#include <functional>
#include <string>
#include <vector>

#include "foundation/Result.h"
#include "ftp/FtpListing.h"
#include "ftp/FtpReply.h"

namespace ks {

/// One entry of a server folder, whatever the protocol.
using TRemoteEntry = TFtpEntry;

/// Where a session's waits hand control back, how they learn to stop, and how it asks the user.
/// Every member is optional.
struct TRemoteHooks {
    /// A status line: every command before it is sent (passwords masked), every reply, and what
    /// the session does on its own (a time limit running out, a fallback it takes).
    std::function<void(const std::string& line)> OnStatus;
    /// Runs pending events between the slices of a wait.
    std::function<void()> Pump;
    /// True when the user asked the running wait to stop (Esc).
    std::function<bool()> Cancelled;
    /// A question of the message box (text, kind, buttons, default button) returning its result.
    std::function<int(const std::string& text, int kind, int buttons, int defaultButton)> Ask;
    /// A text prompt: title, prompt, the value shown and returned, masked echo; false when
    /// cancelled.
    std::function<bool(const std::string& title, const std::string& prompt, std::string& value, bool masked)>
        AskText;
};

/// What a session logs in with.
struct TRemoteLogin {
    std::string Host;
    int Port = 21;
    std::string User;
    std::string Password;
    bool Passive = true;
};

/// The time limits of a session's waits, in milliseconds.
struct TRemoteLimits {
    int ConnectMs = 15000;
    int ReplyMs = 30000;
    int DataMs = 15000;
};

/// A session with a file server that a panel browses: one control connection, commands in
/// turn, each waiting for its answer within a time limit while `TRemoteHooks::Pump` runs.
///
/// Failures are values: ecTimeout (Detail says what did not come in time), ecCancelled (the
/// user stopped the wait; the session stays usable and catches up with the answers still owed
/// before its next command), ecDisconnected (the server closed the connection), ecRefused (a
/// failure reply; `LastReply` holds it), ecAccess (the login was refused or abandoned),
/// ecNotFound (an unknown host), ecIo (the network), ecParse (a reply that breaks the protocol;
/// the connection is closed), ecTooLarge (a listing over the size limit).
///
/// Thread: the thread that made it; the hooks run on that thread.
class TKRemoteSession {
public:
    virtual ~TKRemoteSession() = default;
    virtual void SetHooks(TRemoteHooks hooks) = 0;
    virtual void SetLimits(TRemoteLimits limits) = 0;

    /// Connects, logs in (asking through the hooks when the login is refused) and learns the
    /// current folder.
    virtual Result<void> Connect(const TRemoteLogin& login) = 0;
    /// True while the control connection is open and the server has not closed it.
    virtual bool Connected() const = 0;
    /// Checks, without waiting, whether the server closed the connection meanwhile (reading and
    /// reporting anything it sent unasked); false once it has.
    virtual bool CheckAlive() = 0;
    /// The server's current folder as it last reported it; empty before it did.
    virtual const std::string& CurrentFolder() const = 0;
    /// Asks the server for its current folder and keeps it.
    virtual Result<std::string> PrintDir() = 0;
    /// Lists the current folder: entries in the server's order, unsafe names dropped.
    virtual Result<void> List(std::vector<TRemoteEntry>& entries) = 0;
    virtual Result<void> ChangeFolder(const std::string& name) = 0;
    virtual Result<void> ChangeToParent() = 0;
    virtual Result<void> MakeFolder(const std::string& name) = 0;
    virtual Result<void> DeleteFile(const std::string& name) = 0;
    virtual Result<void> RemoveFolder(const std::string& name) = 0;
    virtual Result<void> Rename(const std::string& from, const std::string& to) = 0;
    /// Sends one command line as typed and returns the server's answer, whatever its code.
    virtual Result<TFtpReply> RawCommand(const std::string& line) = 0;
    /// Says goodbye (waiting briefly for the answer when wait is set) and closes.
    virtual void Disconnect(bool wait) = 0;
    /// The last reply the server gave.
    virtual const TFtpReply& LastReply() const = 0;
};

} // namespace ks
