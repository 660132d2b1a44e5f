#pragma once

#include <string>

#include "support/Process.h"
#include "support/TempTree.h"

// Real FTP servers for tests and benchmarks, each a child process serving a temporary folder on
// a free port of the loopback address.

namespace ks::test {

enum class TFtpServerKind {
    fkPyFtpdlib, ///< pyftpdlib under /usr/bin/python3: "user"/"pass" with every right, anonymous read-only
    fkVsftpd,    ///< /usr/sbin/vsftpd: anonymous read-only only (its users are system accounts); needs root
};

/// One running server. Killed (with everything it started) when the object goes away.
///
/// Thread: one thread at a time.
class TFtpServer {
public:
    static constexpr const char* User = "user";
    static constexpr const char* Password = "pass";

    TFtpServer();
    ~TFtpServer();
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    /// Starts kind on 127.0.0.1, or on ::1 with ipv6, and waits (at most 10 s) until its port
    /// takes connections. False when it cannot: `Error` says why, and `Unavailable` tells a
    /// machine that cannot run it at all (vsftpd when the test does not run as root) from a
    /// fault.
    bool Start(TFtpServerKind kind, bool ipv6 = false);
    /// Kills the server; the root folder stays until the object goes away.
    void Stop();

    const std::string& Error() const { return FError; }
    bool Unavailable() const { return FUnavailable; }
    /// The folder served as "/" to every login; files a test puts here are listed at once.
    const std::string& Root() const { return FRoot; }
    /// "127.0.0.1" or "::1".
    const std::string& Host() const { return FHost; }
    int Port() const { return FPort; }
    /// The range the passive data ports are taken from.
    int PassiveFirst() const { return FPassiveFirst; }
    int PassiveLast() const { return FPassiveLast; }
    /// True when `User` and `Password` log in (pyftpdlib); anonymous logins work with both.
    bool HasUser() const { return FKind == TFtpServerKind::fkPyFtpdlib; }
    /// What the server wrote on its standard output and error.
    std::string Log() const;

private:
    bool StartPyFtpdlib();
    bool StartVsftpd();
    bool WaitUntilAccepting(int port);

    TempTree FTree;
    TProcess FProcess;
    TFtpServerKind FKind = TFtpServerKind::fkPyFtpdlib;
    std::string FRoot;
    std::string FLogPath;
    std::string FHost;
    std::string FError;
    bool FUnavailable = false;
    int FPort = 0;
    int FPassiveFirst = 0;
    int FPassiveLast = 0;
};

} // namespace ks::test
