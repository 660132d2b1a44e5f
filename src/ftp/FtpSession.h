#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Network.h"
#include "ftp/FtpReply.h"
#include "ftp/RemoteSession.h"

namespace ks {

/// An FTP client session (RFC 959, with EPSV/EPRT of RFC 2428 and MLSD/FEAT of RFC 3659) over
/// the socket layer. Listings use passive mode (EPSV, then PASV) or active mode (PORT, EPRT on
/// IPv6) as the login says; a listing that gets no data connection in active mode is tried once
/// more in passive mode. Data connections go only to and come only from the control
/// connection's peer. Listings are read into memory, at most `MaxListingBytes`.
///
/// The password never reaches a status line: "PASS ****" stands for it.
///
/// Thread: the thread that made it (see `TKRemoteSession`).
class TFtpSession : public TKRemoteSession {
public:
    static constexpr std::size_t MaxListingBytes = 64 * 1024 * 1024;
    /// The data port the first active listing offers is FirstDataPort + 2; each later one two
    /// more, up to LastDataPort.
    static constexpr int FirstDataPort = 1861;
    static constexpr int LastDataPort = 1881;

    /// nowNs gives the current time for listings whose dates have no year.
    explicit TFtpSession(TKNetwork& network, std::function<std::int64_t()> nowNs = {});
    ~TFtpSession() override;

    void SetHooks(TRemoteHooks hooks) override { FHooks = std::move(hooks); }
    void SetLimits(TRemoteLimits limits) override { FLimits = limits; }
    Result<void> Connect(const TRemoteLogin& login) override;
    bool Connected() const override { return FControl != nullptr; }
    bool CheckAlive() override;
    const std::string& CurrentFolder() const override { return FCurrentDir; }
    Result<std::string> PrintDir() override;
    Result<void> List(std::vector<TRemoteEntry>& entries) override;
    Result<void> ChangeFolder(const std::string& name) override;
    Result<void> ChangeToParent() override;
    Result<void> MakeFolder(const std::string& name) override;
    Result<void> DeleteFile(const std::string& name) override;
    Result<void> RemoveFolder(const std::string& name) override;
    Result<void> Rename(const std::string& from, const std::string& to) override;
    Result<TFtpReply> RawCommand(const std::string& line) override;
    void Disconnect(bool wait) override;
    const TFtpReply& LastReply() const override { return FLastReply; }

    /// What the server's features said (for the probe and the tests).
    bool UsesMlsd() const { return FMlsd; }
    bool UsesUtf8() const { return FUtf8; }
    /// The last data port offered in active mode.
    int DataPort() const { return FDataPort; }

private:
    struct TDataChannel;

    void Status(const std::string& line) const;
    void Close();
    Result<void> Lost(TError error);
    Result<bool> WaitFor(int timeoutMs, const std::function<Result<bool>(int sliceMs)>& step);
    Result<void> SendLine(const std::string& line);
    Result<TFtpReply> ReadReply(const std::string& what);
    Result<bool> PollReply(TFtpReply& reply);
    Result<void> CatchUp();
    Result<TFtpReply> Command(const std::string& line, bool loginRetry = true);
    Result<TFtpReply> Expect(const std::string& line, int wanted);
    Result<void> LogOn(int depth);
    Result<void> RetryLogin(const TFtpReply& refusal, int depth);
    void ReadFeatures();
    Result<void> SetType(char type);
    Result<std::unique_ptr<TKSocket>> OpenPassive();
    Result<std::unique_ptr<TKListener>> OpenActive();
    Result<std::string> Transfer(const std::string& command, bool passive, bool& noDataConnection);
    Result<std::unique_ptr<TKSocket>> AcceptActive(TKListener& listener, bool& noDataConnection);
    Result<void> ReceiveAll(TKSocket& data, std::string& out);
    Result<void> AbortTransfer();

    TKNetwork& FNetwork;
    std::function<std::int64_t()> FNow;
    TRemoteHooks FHooks;
    TRemoteLimits FLimits;
    TRemoteLogin FLogin;
    std::unique_ptr<TKSocket> FControl;
    TFtpReplyFramer FFramer;
    TFtpReply FLastReply;
    std::string FCurrentDir;
    // Replies the server still owes for commands whose wait was cancelled or abandoned.
    int FOwedReplies = 0;
    int FDataPort = FirstDataPort;
    char FType = 0;
    bool FMlsd = false;
    bool FUtf8 = false;
    bool FNoEpsv = false;
};

} // namespace ks
