#include "support/FtpServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>

namespace ks::test {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int StartLimitMs = 10000;
// Debian's own interpreter: the python3 first on PATH may be another one without pyftpdlib.
constexpr const char* Python = "/usr/bin/python3";
constexpr const char* Vsftpd = "/usr/sbin/vsftpd";

// Binds port 0 so that the OS picks the port, and writes the port to a file only once the
// server listens: the test never races another program for a port.
constexpr const char* PyFtpdlibScript = R"(
import os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, host, port_file = sys.argv[1], sys.argv[2], sys.argv[3]
first, last = int(sys.argv[4]), int(sys.argv[5])
authorizer = DummyAuthorizer()
authorizer.add_user("user", "pass", root, perm="elradfmwMT")
authorizer.add_anonymous(root)


class Handler(FTPHandler):
    pass


Handler.authorizer = authorizer
Handler.passive_ports = range(first, last + 1)
server = FTPServer((host, 0), Handler)
with open(port_file + ".part", "w") as out:
    out.write(str(server.socket.getsockname()[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
)";

// Forty passive ports below the kernel's ephemeral range (32768 up), different for each server
// of a run and for test binaries running side by side.
void PickPassiveRange(int& first, int& last) {
    static std::atomic<int> next{0};
    const int slot = (static_cast<int>(::getpid()) * 7 + next++) % 300;
    first = 20000 + slot * 40;
    last = first + 39;
}

bool MakeAddress(const std::string& host, int port, sockaddr_storage& storage, socklen_t& length) {
    storage = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in);
        return true;
    }
    if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

// A port nobody listens on right now, for a server that cannot be told to pick one itself.
int FreePort(const std::string& host) {
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!MakeAddress(host, 0, storage, length))
        return 0;
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0)
        port = ntohs(storage.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                                                  : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    ::close(fd);
    return port;
}

// True when a connection to host and port is taken within waitMs.
bool Accepts(const std::string& host, int port, int waitMs) {
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!MakeAddress(host, port, storage, length))
        return false;
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd entry{fd, POLLOUT, 0};
        int error = 0;
        socklen_t errorLength = sizeof error;
        connected = ::poll(&entry, 1, waitMs) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

std::string ReadText(const std::string& path) {
    return TempTree::ReadFile(path);
}

} // namespace

TFtpServer::TFtpServer() {
    FRoot = FTree.Folder("root");
    // vsftpd serves anonymous logins as the user ftp inside the folder.
    ::chmod(FRoot.c_str(), 0755);
    FLogPath = FTree / "server.log";
}

TFtpServer::~TFtpServer() {
    Stop();
}

void TFtpServer::Stop() {
    FProcess.Kill();
}

std::string TFtpServer::Log() const {
    return ReadText(FLogPath);
}

bool TFtpServer::Start(TFtpServerKind kind, bool ipv6) {
    Stop();
    FKind = kind;
    FHost = ipv6 ? "::1" : "127.0.0.1";
    FError.clear();
    FUnavailable = false;
    FPort = 0;
    PickPassiveRange(FPassiveFirst, FPassiveLast);
    return kind == TFtpServerKind::fkPyFtpdlib ? StartPyFtpdlib() : StartVsftpd();
}

bool TFtpServer::StartPyFtpdlib() {
    if (::access(Python, X_OK) != 0) {
        FError = std::string(Python) + " is missing (scripts/deps.sh installs python3-pyftpdlib)";
        return false;
    }
    const std::string portFile = FTree / "port";
    ::unlink(portFile.c_str());
    if (!FProcess.Start({Python, "-c", PyFtpdlibScript, FRoot, FHost, portFile, std::to_string(FPassiveFirst),
                         std::to_string(FPassiveLast)},
                        {}, FLogPath)) {
        FError = std::string("cannot start ") + Python;
        return false;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(StartLimitMs);
    for (;;) {
        const std::string text = ReadText(portFile);
        if (!text.empty()) {
            FPort = std::atoi(text.c_str());
            break;
        }
        if (const std::optional<int> code = FProcess.WaitExit(20)) {
            FError = "pyftpdlib ended with " + std::to_string(*code) + ": " + Log();
            return false;
        }
        if (MsLeft(deadline) == 0) {
            FError = "pyftpdlib did not listen within 10 s: " + Log();
            Stop();
            return false;
        }
    }
    return WaitUntilAccepting(FPort);
}

bool TFtpServer::StartVsftpd() {
    if (::geteuid() != 0) {
        FUnavailable = true;
        FError = "vsftpd runs only as root (it locks each session into the served folder with chroot and "
                 "drops to the user ftp); this test runs as uid " +
                 std::to_string(::geteuid());
        return false;
    }
    if (::access(Vsftpd, X_OK) != 0) {
        FError = std::string(Vsftpd) + " is missing (scripts/deps.sh installs vsftpd)";
        return false;
    }
    // The folder the unprivileged half of vsftpd is locked into: empty and not writable.
    const std::string empty = FTree.Folder("empty");
    ::chmod(empty.c_str(), 0555);
    const std::string configPath = FTree / "vsftpd.conf";
    // The port is picked here and handed over, so another program may take it first; then
    // vsftpd ends at once and the next port is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int port = FreePort(FHost);
        {
            std::ofstream config(configPath, std::ios::trunc);
            config << (FHost == "::1" ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                      : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
                   << "listen_port=" << port << "\n"
                   << "background=NO\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                   << "anonymous_enable=YES\nno_anon_password=YES\nanon_root=" << FRoot << "\n"
                   << "nopriv_user=nobody\nlocal_enable=NO\nwrite_enable=NO\n"
                   << "pasv_enable=YES\npasv_min_port=" << FPassiveFirst << "\npasv_max_port=" << FPassiveLast
                   << "\n"
                   << "secure_chroot_dir=" << empty << "\n"
                   << "connect_from_port_20=NO\nxferlog_enable=NO\nsyslog_enable=NO\ndirmessage_enable=NO\n"
                   << "delay_failed_login=0\ndelay_successful_login=0\n";
            if (!config) {
                FError = "cannot write " + configPath;
                return false;
            }
        }
        if (!FProcess.Start({Vsftpd, configPath}, {}, FLogPath)) {
            FError = std::string("cannot start ") + Vsftpd;
            return false;
        }
        if (WaitUntilAccepting(port)) {
            FPort = port;
            return true;
        }
    }
    return false;
}

bool TFtpServer::WaitUntilAccepting(int port) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(StartLimitMs);
    while (!Accepts(FHost, port, 100)) {
        // Waiting for the server to end doubles as the pause between two tries.
        if (const std::optional<int> code = FProcess.WaitExit(20)) {
            FError = "the server ended with " + std::to_string(*code) + ": " + Log();
            return false;
        }
        if (MsLeft(deadline) == 0) {
            FError = "the server did not take connections within 10 s: " + Log();
            Stop();
            return false;
        }
    }
    return true;
}

} // namespace ks::test
