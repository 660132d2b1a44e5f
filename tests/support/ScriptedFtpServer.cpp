#include "support/ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <utility>

#include "support/Process.h"

namespace ks::test {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int LimitMs = 10000;
constexpr std::size_t MaxLine = 64 * 1024;

std::chrono::steady_clock::time_point Deadline() {
    return TClock::now() + std::chrono::milliseconds(LimitMs);
}

// Waits until fd is ready for events (or stopFd, when given, is signalled): 1 for fd, 2 for
// the stop, 0 when deadline passed, -1 on failure.
int WaitFor(int fd, short events, TClock::time_point deadline, int stopFd = -1) {
    for (;;) {
        pollfd entries[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(entries, stopFd >= 0 ? 2 : 1, MsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        return entries[0].revents != 0 ? 1 : 2;
    }
}

// A socket address for a numeric host and a port, IPv4 or IPv6 after the text.
bool MakeAddress(const std::string& host, int port, sockaddr_storage& storage, socklen_t& length) {
    storage = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in);
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

// A non-blocking listening socket on host at a free port; -1 when it cannot be made.
int ListenOn(const std::string& host, int& port) {
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!MakeAddress(host, 0, storage, length))
        return -1;
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(storage.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&storage)->sin_port
                                              : reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    return fd;
}

// Accepts one connection within the limit (or until stopFd is signalled): the descriptor, -1
// when none came.
int AcceptOne(int listenFd, int stopFd = -1) {
    const auto deadline = Deadline();
    while (WaitFor(listenFd, POLLIN, deadline, stopFd) == 1) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
    }
    return -1;
}

// Sends all of bytes, each wait for room within the limit: empty, or what went wrong.
std::string SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR)
            return std::string("send failed: ") + std::strerror(errno);
        if (WaitFor(fd, POLLOUT, Deadline()) != 1)
            return "the client took nothing for 10 s";
    }
    return {};
}

// Reads until the peer closes, each wait within the limit.
std::string ReadAll(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0)
            return {};
        if (errno != EAGAIN && errno != EINTR)
            return std::string("receive failed: ") + std::strerror(errno);
        if (WaitFor(fd, POLLIN, Deadline()) != 1)
            return "the client sent nothing for 10 s";
    }
}

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    if (eventFd >= 0 && ::write(eventFd, &one, sizeof one) < 0) {
        // Only a counter at its maximum refuses, and that one is signalled already.
    }
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The host and port of "PORT h1,h2,h3,h4,p1,p2" or "EPRT |1|host|port|"; false when command is
// neither.
bool ParseActive(const std::string& command, std::string& host, int& port) {
    if (StartsWithNoCase(command, "PORT ")) {
        int parts[6];
        char tail = 0;
        std::istringstream in(command.substr(5));
        for (int i = 0; i < 6; ++i) {
            if (!(in >> parts[i]) || parts[i] < 0 || parts[i] > 255 || (i < 5 && !(in >> tail)) ||
                tail != ',')
                return false;
        }
        host = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) +
               "." + std::to_string(parts[3]);
        port = parts[4] * 256 + parts[5];
        return port > 0;
    }
    if (!StartsWithNoCase(command, "EPRT ") || command.size() < 6)
        return false;
    const std::string rest = command.substr(5);
    const char delimiter = rest[0];
    const std::size_t second = rest.find(delimiter, 1);
    const std::size_t third = second == std::string::npos ? second : rest.find(delimiter, second + 1);
    const std::size_t fourth = third == std::string::npos ? third : rest.find(delimiter, third + 1);
    if (fourth == std::string::npos)
        return false;
    host = rest.substr(second + 1, third - second - 1);
    const std::string portText = rest.substr(third + 1, fourth - third - 1);
    if (portText.empty() || portText.size() > 5 ||
        !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    port = std::stoi(portText);
    return port > 0 && port < 65536;
}

} // namespace

TScriptedFtpServer::TScriptedFtpServer(bool ipv6) : FHost(ipv6 ? "::1" : "127.0.0.1") {
    FListenFd = ListenOn(FHost, FPort);
    if (FListenFd < 0)
        FPort = 0;
    FStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TScriptedFtpServer::~TScriptedFtpServer() {
    Finish();
    if (FListenFd >= 0)
        ::close(FListenFd);
    if (FStopFd >= 0)
        ::close(FStopFd);
}

TScriptedFtpServer& TScriptedFtpServer::Add(TStepKind kind, std::string text, std::string address,
                                            bool upload) {
    FSteps.push_back(TStep{kind, std::move(text), std::move(address), upload});
    return *this;
}

TScriptedFtpServer& TScriptedFtpServer::Send(std::string bytes) {
    return Add(TStepKind::skSend, std::move(bytes));
}
TScriptedFtpServer& TScriptedFtpServer::Expect(std::string commandPrefix) {
    return Add(TStepKind::skExpect, std::move(commandPrefix));
}
TScriptedFtpServer& TScriptedFtpServer::ExpectAny() {
    return Add(TStepKind::skExpectAny, {});
}
TScriptedFtpServer& TScriptedFtpServer::Hang() {
    return Add(TStepKind::skHang, {});
}
TScriptedFtpServer& TScriptedFtpServer::Close() {
    return Add(TStepKind::skClose, {});
}
TScriptedFtpServer& TScriptedFtpServer::AcceptPasv(std::string data, std::string shownAddress) {
    return Add(TStepKind::skAcceptPasv, std::move(data), std::move(shownAddress));
}
TScriptedFtpServer& TScriptedFtpServer::AcceptPasvUpload(std::string shownAddress) {
    return Add(TStepKind::skAcceptPasv, {}, std::move(shownAddress), true);
}
TScriptedFtpServer& TScriptedFtpServer::AwaitData() {
    return Add(TStepKind::skAwaitData, {});
}
TScriptedFtpServer& TScriptedFtpServer::ConnectActive(std::string data, std::string fromAddress) {
    return Add(TStepKind::skConnectActive, std::move(data), std::move(fromAddress));
}
TScriptedFtpServer& TScriptedFtpServer::ConnectActiveUpload(std::string fromAddress) {
    return Add(TStepKind::skConnectActive, {}, std::move(fromAddress), true);
}
TScriptedFtpServer& TScriptedFtpServer::NeverConnect() {
    return Add(TStepKind::skNeverConnect, {});
}

void TScriptedFtpServer::Start() {
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([this] { Play(); });
}

std::vector<std::string> TScriptedFtpServer::Commands() const {
    const std::lock_guard<std::mutex> lock(FMutex);
    return FCommands;
}

std::vector<std::string> TScriptedFtpServer::Uploads() const {
    const std::lock_guard<std::mutex> lock(FMutex);
    return FUploads;
}

std::string TScriptedFtpServer::Finish() {
    if (FFinished)
        return FFailure;
    FFinished = true;
    if (!FStarted)
        return FFailure = FSteps.empty() ? std::string() : "the script was never started";
    Signal(FStopFd);
    FThread.join();
    return FFailure;
}

void TScriptedFtpServer::Record(std::vector<std::string>& list, std::string text) {
    const std::lock_guard<std::mutex> lock(FMutex);
    list.push_back(std::move(text));
}

void TScriptedFtpServer::Play() {
    const char* const Names[] = {"Send",       "Expect",    "ExpectAny",     "Hang",        "Close",
                                 "AcceptPasv", "AwaitData", "ConnectActive", "NeverConnect"};
    if (FListenFd < 0 || FStopFd < 0) {
        FFailure = "the server could not listen";
        return;
    }
    FControlFd = AcceptOne(FListenFd, FStopFd);
    if (FControlFd < 0) {
        FFailure = "no client connected (10 s)";
        return;
    }
    bool ended = false;
    for (std::size_t index = 0; index < FSteps.size() && !ended && FFailure.empty(); ++index) {
        const TStep& step = FSteps[index];
        std::string failure = PlayStep(step, ended);
        if (!failure.empty())
            FFailure = "step " + std::to_string(index + 1) + " " + Names[static_cast<int>(step.Kind)] +
                       (step.Text.empty() || step.Kind == TStepKind::skSend ? "" : " \"" + step.Text + "\"") +
                       ": " + failure;
    }
    // A script that ran to its end keeps the connection open and goes on recording until the
    // test finishes; one that failed closes it at once, so the client does not wait in vain,
    // and gives up a data connection still waiting for the client.
    if (!ended && FFailure.empty())
        HangUntilStop();
    if (!FFailure.empty())
        Signal(FStopFd);
    const std::string dataFailure = JoinData();
    if (FFailure.empty() && !dataFailure.empty())
        FFailure = "data connection: " + dataFailure;
    if (FControlFd >= 0)
        ::close(FControlFd);
    FControlFd = -1;
}

std::string TScriptedFtpServer::PlayStep(const TStep& step, bool& ended) {
    std::string line;
    switch (step.Kind) {
    case TStepKind::skSend:
        return SendAll(FControlFd, step.Text);
    case TStepKind::skExpect:
    case TStepKind::skExpectAny: {
        std::string failure = ReadLine(line);
        if (failure.empty() && step.Kind == TStepKind::skExpect && !StartsWithNoCase(line, step.Text))
            failure = "got \"" + line + "\"";
        return failure;
    }
    case TStepKind::skHang:
        HangUntilStop();
        ended = true;
        return {};
    case TStepKind::skClose:
        ::close(FControlFd);
        FControlFd = -1;
        ended = true;
        return {};
    case TStepKind::skAcceptPasv:
        return StartPassive(step);
    case TStepKind::skAwaitData:
        return JoinData();
    case TStepKind::skConnectActive:
        return ConnectToClient(step);
    case TStepKind::skNeverConnect: {
        std::string host;
        int port = 0;
        if (FLastActive.empty())
            return "no PORT or EPRT before it";
        return ParseActive(FLastActive, host, port) ? std::string() : "cannot parse \"" + FLastActive + "\"";
    }
    }
    return {};
}

std::string TScriptedFtpServer::ReadLine(std::string& line) {
    const auto deadline = Deadline();
    for (;;) {
        const std::size_t end = FInput.find('\n');
        if (end != std::string::npos) {
            line = FInput.substr(0, end);
            FInput.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (StartsWithNoCase(line, "PORT") || StartsWithNoCase(line, "EPRT"))
                FLastActive = line;
            if (StartsWithNoCase(line, "PASV") || StartsWithNoCase(line, "EPSV"))
                FLastPassive = line;
            Record(FCommands, line);
            return {};
        }
        if (FInput.size() > MaxLine)
            return "a command line longer than 64 KiB";
        char buffer[4096];
        const ssize_t got = ::recv(FControlFd, buffer, sizeof buffer, 0);
        if (got > 0) {
            FInput.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0)
            return "the client closed the connection";
        if (errno != EAGAIN && errno != EINTR)
            return std::string("receive failed: ") + std::strerror(errno);
        if (WaitFor(FControlFd, POLLIN, deadline) != 1)
            return "no command within 10 s";
    }
}

void TScriptedFtpServer::HangUntilStop() {
    // The client may talk on (an ABOR, a QUIT); what it says is recorded, never answered.
    const auto forever = TClock::now() + std::chrono::hours(24);
    bool open = FControlFd >= 0;
    while (open) {
        const int woke = WaitFor(FControlFd, POLLIN, forever, FStopFd);
        if (woke != 1)
            return;
        char buffer[4096];
        const ssize_t got = ::recv(FControlFd, buffer, sizeof buffer, 0);
        if (got > 0)
            FInput.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end = FInput.find('\n'); end != std::string::npos; end = FInput.find('\n')) {
            std::string line = FInput.substr(0, end);
            FInput.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            Record(FCommands, std::move(line));
        }
        // At the end of the client's stream the socket stays open, but there is nothing more to
        // read: wait for the stop alone.
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            open = false;
    }
    pollfd stop{FStopFd, POLLIN, 0};
    while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
}

std::string TScriptedFtpServer::StartPassive(const TStep& step) {
    std::string failure = JoinData();
    if (!failure.empty())
        return "the data connection before it: " + failure;
    int port = 0;
    const int listenFd = ListenOn(FHost, port);
    if (listenFd < 0)
        return "cannot listen for the data connection";
    std::string reply;
    if (StartsWithNoCase(FLastPassive, "EPSV")) {
        reply = "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
    } else {
        in_addr shown{};
        const std::string address = step.Address.empty() ? FHost : step.Address;
        if (::inet_pton(AF_INET, address.c_str(), &shown) != 1) {
            ::close(listenFd);
            return "no IPv4 address to show in a 227 reply";
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(&shown);
        reply = "227 Entering Passive Mode (";
        for (int i = 0; i < 4; ++i)
            reply += std::to_string(bytes[i]) + ",";
        reply += std::to_string(port / 256) + "," + std::to_string(port % 256) + ").\r\n";
    }
    failure = SendAll(FControlFd, reply);
    if (!failure.empty()) {
        ::close(listenFd);
        return failure;
    }
    FDataThread = std::thread([this, listenFd, port, data = step.Text, upload = step.Upload] {
        const int fd = AcceptOne(listenFd, FStopFd);
        ::close(listenFd);
        FDataFailure = fd < 0 ? "the client never connected to port " + std::to_string(port)
                              : ServeData(fd, data, upload);
    });
    return {};
}

std::string TScriptedFtpServer::JoinData() {
    if (!FDataThread.joinable())
        return {};
    FDataThread.join();
    return std::exchange(FDataFailure, {});
}

// Sends data and closes, or for an upload reads until the client closes.
std::string TScriptedFtpServer::ServeData(int fd, const std::string& data, bool upload) {
    std::string failure;
    if (upload) {
        std::string received;
        failure = ReadAll(fd, received);
        Record(FUploads, std::move(received));
    } else {
        failure = SendAll(fd, data);
    }
    ::close(fd);
    return failure;
}

std::string TScriptedFtpServer::ConnectToClient(const TStep& step) {
    std::string host;
    int port = 0;
    if (FLastActive.empty())
        return "no PORT or EPRT before it";
    if (!ParseActive(FLastActive, host, port))
        return "cannot parse \"" + FLastActive + "\"";
    sockaddr_storage target;
    socklen_t targetLength = 0;
    if (!MakeAddress(host, port, target, targetLength))
        return "cannot connect to \"" + host + "\"";
    const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("socket failed: ") + std::strerror(errno);
    sockaddr_storage source;
    socklen_t sourceLength = 0;
    if (!step.Address.empty() && (!MakeAddress(step.Address, 0, source, sourceLength) ||
                                  ::bind(fd, reinterpret_cast<sockaddr*>(&source), sourceLength) != 0)) {
        ::close(fd);
        return "cannot bind the data connection to " + step.Address;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), targetLength) != 0 && errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        return "cannot connect to " + host + " port " + std::to_string(port) + ": " + std::strerror(error);
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (WaitFor(fd, POLLOUT, Deadline()) != 1 ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(fd);
        return "cannot connect to " + host + " port " + std::to_string(port) + ": " +
               (error != 0 ? std::strerror(error) : "no answer within 10 s");
    }
    return ServeData(fd, step.Text, step.Upload);
}

} // namespace ks::test
