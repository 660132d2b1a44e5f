#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted FTP server for the FTP session tests: it plays a fixed list of steps against one
// client, so a test decides exactly which bytes the client sees and when, and records what the
// client sent.

namespace ks::test {

/// An FTP server on 127.0.0.1 (or ::1) that takes one control connection and plays its script
/// on a thread of its own. Steps are added before `Start`; the first step that does not go as
/// scripted ends the play and closes the connection, so the client fails fast instead of
/// waiting for replies that never come. Every read and every connection wait has a 10 s limit.
///
/// Thread: built, started and finished on the test's thread; `Commands` and `Uploads` may be
/// read on any thread at any time.
class TScriptedFtpServer {
public:
    /// Listens on a free port of 127.0.0.1, or of ::1 with ipv6. `Port` is 0 when it could not.
    explicit TScriptedFtpServer(bool ipv6 = false);
    /// Finishes the play (`Finish`).
    ~TScriptedFtpServer();
    TScriptedFtpServer(const TScriptedFtpServer&) = delete;
    TScriptedFtpServer& operator=(const TScriptedFtpServer&) = delete;

    /// "127.0.0.1" or "::1".
    const std::string& Host() const { return FHost; }
    int Port() const { return FPort; }

    /// Sends bytes as they are: a reply line with its "\r\n", part of one, or several at once.
    TScriptedFtpServer& Send(std::string bytes);
    /// Reads one command line and records it; the step fails unless it starts with
    /// commandPrefix, compared without regard to case.
    TScriptedFtpServer& Expect(std::string commandPrefix);
    /// Reads one command line, whatever it is, and records it.
    TScriptedFtpServer& ExpectAny();
    /// Stops answering: command lines are still read and recorded, nothing is sent, and the
    /// connection stays open until `Finish`. Steps after it are never played.
    TScriptedFtpServer& Hang();
    /// Closes the control connection; the play ends there.
    TScriptedFtpServer& Close();
    /// Listens for a data connection on a free port of `Host` and sends the passive reply for
    /// it: "229 Entering Extended Passive Mode (|||port|)" when the last PASV or EPSV command
    /// was EPSV,
    /// otherwise "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." with shownAddress (a dotted
    /// IPv4 address such as a foreign "10.1.2.3") or, when it is empty, the address listened
    /// on. The connection is then served in the background while the script goes on: data is
    /// sent on it and it is closed. The client must connect within 10 s (or before the play fails or
    /// `Finish`).
    TScriptedFtpServer& AcceptPasv(std::string data, std::string shownAddress = {});
    /// As `AcceptPasv`, but reads what the client sends until it closes; the bytes are appended
    /// to `Uploads`.
    TScriptedFtpServer& AcceptPasvUpload(std::string shownAddress = {});
    /// Waits (at most 10 s) until the data connection of the last passive step is done; the
    /// step fails with that connection's failure. Put it before the reply that ends a
    /// transfer ("226") so the client sees the data end first, as with a real server.
    TScriptedFtpServer& AwaitData();
    /// Connects to the address of the last PORT or EPRT command received, from fromAddress
    /// (such as "127.0.0.2", to play a foreign host) when it is not empty, sends data and
    /// closes; the next step is played when the data is sent. Fails when there was no such
    /// command or it did not parse, or the connection cannot be made within 10 s.
    TScriptedFtpServer& ConnectActive(std::string data, std::string fromAddress = {});
    /// As `ConnectActive`, but reads what the client sends until it closes; the bytes are
    /// appended to `Uploads`.
    TScriptedFtpServer& ConnectActiveUpload(std::string fromAddress = {});
    /// Never opens the data connection the last PORT or EPRT command asked for; fails when
    /// there was no such command or it did not parse.
    TScriptedFtpServer& NeverConnect();

    /// Starts the play. A script may be started once.
    void Start();
    /// Every command line received so far, without its line end, in order.
    std::vector<std::string> Commands() const;
    /// What each upload step received, in order.
    std::vector<std::string> Uploads() const;
    /// Ends a `Hang` (or the wait after the last step), waits for the play to end and returns
    /// the first failure ("step 3 Expect \"PASS\": got \"QUIT\""), empty when everything went
    /// as scripted. Waits at most about 10 s more when a step still waits for the client.
    /// Later calls return the same text.
    std::string Finish();

private:
    enum class TStepKind {
        skSend,
        skExpect,
        skExpectAny,
        skHang,
        skClose,
        skAcceptPasv,
        skAwaitData,
        skConnectActive,
        skNeverConnect
    };
    struct TStep {
        TStepKind Kind;
        std::string Text;
        std::string Address;
        bool Upload = false;
    };

    TScriptedFtpServer& Add(TStepKind kind, std::string text, std::string address = {}, bool upload = false);
    void Play();
    std::string PlayStep(const TStep& step, bool& ended);
    std::string ReadLine(std::string& line);
    void HangUntilStop();
    std::string StartPassive(const TStep& step);
    std::string JoinData();
    std::string ServeData(int fd, const std::string& data, bool upload);
    std::string ConnectToClient(const TStep& step);
    void Record(std::vector<std::string>& list, std::string text);

    std::string FHost;
    int FPort = 0;
    int FListenFd = -1;
    int FStopFd = -1;
    int FControlFd = -1;
    std::string FInput;
    std::string FLastActive;
    std::string FLastPassive;
    std::vector<TStep> FSteps;
    std::string FFailure;
    bool FStarted = false;
    bool FFinished = false;
    std::thread FThread;
    std::thread FDataThread;
    std::string FDataFailure;
    mutable std::mutex FMutex;
    std::vector<std::string> FCommands;
    std::vector<std::string> FUploads;
};

} // namespace ks::test
