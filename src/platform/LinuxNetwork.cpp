#include "platform/LinuxNetwork.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ks {
namespace {

using TClock = std::chrono::steady_clock;

constexpr int Backlog = 8;

// A failure of a connection is ecIo whatever errno says, so that a firewall's EACCES or a
// connect's ETIMEDOUT is not taken for a missing right on a file or a time-out of the caller.
TError IoError(const std::string& where, int errnoValue) {
    TError error = ErrnoError(where, errnoValue);
    error.Code = TErrorCode::ecIo;
    return error;
}

int MsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

TClock::time_point DeadlineIn(int timeoutMs) {
    return TClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

// Polls one descriptor until deadline, going on with the time left after a signal: the events
// seen, 0 when the time ran out, -1 with errno on failure. A deadline already passed still
// looks once.
int PollUntil(int fd, short events, TClock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MsLeft(deadline));
        if (ready >= 0 || errno != EINTR)
            return ready > 0 ? entry.revents : ready;
    }
}

std::string StripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

// The numeric text of one end of a connection.
TKSocketAddress EndOf(int fd, bool peer) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    auto* raw = reinterpret_cast<sockaddr*>(&storage);
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if ((peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length)) != 0 ||
        ::getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    TKSocketAddress address{host, std::atoi(service), storage.ss_family == AF_INET6};
    // An IPv4 peer of a dual-stack socket shows as ::ffff:a.b.c.d; a PORT command and a person
    // both want the dotted form.
    constexpr std::string_view Mapped = "::ffff:";
    if (address.IPv6 && address.Host.starts_with(Mapped) && address.Host.find('.') != std::string::npos) {
        address.Host.erase(0, Mapped.size());
        address.IPv6 = false;
    }
    return address;
}

struct TCandidate {
    sockaddr_storage Address{};
    socklen_t Length = 0;
    int Family = AF_UNSPEC;
};

// getaddrinfo for TCP with a numeric port: its status, the addresses in its order in out.
int Resolve(const std::string& host, const std::string& service, int flags, std::vector<TCandidate>& out,
            int& errnoOut) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int status = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list);
    errnoOut = errno;
    if (status != 0)
        return status;
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        TCandidate candidate;
        std::memcpy(&candidate.Address, entry->ai_addr, entry->ai_addrlen);
        candidate.Length = entry->ai_addrlen;
        candidate.Family = entry->ai_family;
        out.push_back(candidate);
    }
    ::freeaddrinfo(list);
    return out.empty() ? EAI_NONAME : 0;
}

// A resolver that cannot be reached (EAI_AGAIN) leaves the name as unknown to the user as one
// the resolver denies.
TError LookupError(const std::string& host, int status, int errnoValue) {
    if (status == EAI_SYSTEM)
        return IoError(host, errnoValue);
    TError error{TErrorCode::ecIo, 0, host, ::gai_strerror(status)};
    if (status == EAI_NONAME || status == EAI_AGAIN || status == EAI_FAIL || status == EAI_NODATA ||
        status == EAI_ADDRFAMILY)
        error.Code = TErrorCode::ecNotFound;
    return error;
}

class TLinuxSocket : public TKSocket {
public:
    TLinuxSocket(int fd, std::string name)
        : FFd(fd), FName(std::move(name)), FLocal(EndOf(fd, false)), FPeer(EndOf(fd, true)) {}
    ~TLinuxSocket() override { ::close(FFd); }
    TLinuxSocket(const TLinuxSocket&) = delete;
    TLinuxSocket& operator=(const TLinuxSocket&) = delete;

    Result<std::size_t> Send(std::string_view data) override {
        if (data.empty())
            return std::size_t{0};
        ssize_t sent = -1;
        do
            sent = ::send(FFd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        while (sent < 0 && errno == EINTR);
        return Counted(sent);
    }

    Result<std::size_t> Receive(char* buffer, std::size_t size) override {
        if (size == 0)
            return std::size_t{0};
        ssize_t got = -1;
        do
            got = ::recv(FFd, buffer, size, MSG_DONTWAIT);
        while (got < 0 && errno == EINTR);
        FPeerClosed = FPeerClosed || got == 0;
        return Counted(got);
    }

    bool PeerClosed() const override { return FPeerClosed; }

    // An error or a hang-up counts as ready: the next Send or Receive reports it.
    Result<bool> Wait(bool forWrite, int timeoutMs) override {
        const int events = PollUntil(FFd, forWrite ? POLLOUT : POLLIN, DeadlineIn(timeoutMs));
        if (events < 0)
            return IoError(FName, errno);
        return events != 0;
    }

    void ShutdownSend() override { ::shutdown(FFd, SHUT_WR); }
    TKSocketAddress LocalAddress() const override { return FLocal; }
    TKSocketAddress PeerAddress() const override { return FPeer; }

private:
    // The count moved, 0 when the send buffer is full or nothing has arrived.
    Result<std::size_t> Counted(ssize_t count) const {
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return std::size_t{0};
        return IoError(FName, errno);
    }

    int FFd;
    std::string FName;
    // Taken when connected: after a reset getpeername has nothing to tell.
    TKSocketAddress FLocal;
    TKSocketAddress FPeer;
    bool FPeerClosed = false;
};

// What a look-up thread shares with its connector. The thread holds it too, so a connector
// dropped while the resolver hangs leaves only the thread behind, which ends with the resolver.
struct TLookup {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    int Status = 0;
    int Errno = 0;
    std::vector<TCandidate> Candidates;
};

class TLinuxConnector : public TKConnector {
public:
    TLinuxConnector(const std::string& host, int port) : FHost(host) {
        const std::string name = StripBrackets(host);
        if (port < 1 || port > 65535) {
            FError = IoError(host, EINVAL);
            return;
        }
        if (name.empty()) {
            FError = LookupError(host, EAI_NONAME, 0);
            return;
        }
        const std::string service = std::to_string(port);
        int errnoValue = 0;
        if (Resolve(name, service, AI_NUMERICHOST, FCandidates, errnoValue) == 0)
            return;
        FCandidates.clear();
        FLookup = std::make_shared<TLookup>();
        try {
            std::thread([lookup = FLookup, name, service] {
                std::vector<TCandidate> found;
                int lookupErrno = 0;
                int status = EAI_MEMORY;
                try {
                    status = Resolve(name, service, 0, found, lookupErrno);
                } catch (...) {
                }
                const std::lock_guard<std::mutex> lock(lookup->Mutex);
                lookup->Status = status;
                lookup->Errno = lookupErrno;
                lookup->Candidates = std::move(found);
                lookup->Finished = true;
                lookup->Done.notify_all();
            }).detach();
        } catch (const std::system_error& error) {
            FLookup.reset();
            FError = IoError(host, error.code().value());
        }
    }

    ~TLinuxConnector() override { CloseAttempt(); }
    TLinuxConnector(const TLinuxConnector&) = delete;
    TLinuxConnector& operator=(const TLinuxConnector&) = delete;

    Result<std::unique_ptr<TKSocket>> Step(int timeoutMs) override {
        const TClock::time_point deadline = DeadlineIn(timeoutMs);
        if (FError)
            return *FError;
        if (FConnected)
            return IoError(FHost, EISCONN);
        if (FLookup && !TakeLookup(deadline))
            return FError ? Result<std::unique_ptr<TKSocket>>(*FError) : std::unique_ptr<TKSocket>();
        for (;;) {
            if (FFd < 0) {
                if (FNext >= FCandidates.size()) {
                    FError = IoError(FHost, FLastErrno);
                    return *FError;
                }
                StartAttempt(FCandidates[FNext++]);
                continue;
            }
            const int events = PollUntil(FFd, POLLOUT, deadline);
            if (events == 0)
                return std::unique_ptr<TKSocket>();
            int error = events < 0 ? errno : 0;
            socklen_t length = sizeof error;
            if (error == 0 && ::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error != 0) {
                FLastErrno = error;
                CloseAttempt();
                continue;
            }
            FConnected = true;
            const int fd = std::exchange(FFd, -1);
            return std::unique_ptr<TKSocket>(std::make_unique<TLinuxSocket>(fd, FHost));
        }
    }

private:
    // True once the look-up has ended (its addresses taken, or FError set).
    bool TakeLookup(TClock::time_point deadline) {
        std::unique_lock<std::mutex> lock(FLookup->Mutex);
        if (!FLookup->Done.wait_until(lock, deadline, [this] { return FLookup->Finished; }))
            return false;
        if (FLookup->Status != 0)
            FError = LookupError(FHost, FLookup->Status, FLookup->Errno);
        FCandidates = std::move(FLookup->Candidates);
        lock.unlock();
        FLookup.reset();
        return !FError;
    }

    void StartAttempt(const TCandidate& candidate) {
        const int fd = ::socket(candidate.Family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // A signal during a non-blocking connect leaves it going on, as EINPROGRESS does.
        if (fd >= 0 &&
            (::connect(fd, reinterpret_cast<const sockaddr*>(&candidate.Address), candidate.Length) == 0 ||
             errno == EINPROGRESS || errno == EINTR)) {
            FFd = fd;
            return;
        }
        FLastErrno = errno;
        if (fd >= 0)
            ::close(fd);
    }

    void CloseAttempt() {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
    }

    std::string FHost;
    std::shared_ptr<TLookup> FLookup;
    std::vector<TCandidate> FCandidates;
    std::size_t FNext = 0;
    int FFd = -1;
    int FLastErrno = ENETUNREACH;
    std::optional<TError> FError;
    bool FConnected = false;
};

class TLinuxListener : public TKListener {
public:
    explicit TLinuxListener(int fd) : FFd(fd), FAddress(EndOf(fd, false)) {}
    ~TLinuxListener() override { ::close(FFd); }
    TLinuxListener(const TLinuxListener&) = delete;
    TLinuxListener& operator=(const TLinuxListener&) = delete;

    TKSocketAddress Address() const override { return FAddress; }

    Result<std::unique_ptr<TKSocket>> Accept(int timeoutMs) override {
        const int events = PollUntil(FFd, POLLIN, DeadlineIn(timeoutMs));
        if (events < 0)
            return IoError(FAddress.Host, errno);
        if (events == 0)
            return std::unique_ptr<TKSocket>();
        int fd = -1;
        do
            fd = ::accept4(FFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            const std::string peer = EndOf(fd, true).Host;
            return std::unique_ptr<TKSocket>(std::make_unique<TLinuxSocket>(fd, peer));
        }
        // A connection reset while it waited in the queue, or a network error accept passes
        // on from it, leaves nothing to accept now.
        static constexpr int Transient[] = {EAGAIN,    ECONNABORTED, EPROTO,       ENETDOWN,   ENOPROTOOPT,
                                            EHOSTDOWN, ENONET,       EHOSTUNREACH, EOPNOTSUPP, ENETUNREACH};
        if (std::find(std::begin(Transient), std::end(Transient), errno) != std::end(Transient))
            return std::unique_ptr<TKSocket>();
        return IoError(FAddress.Host, errno);
    }

private:
    int FFd;
    TKSocketAddress FAddress;
};

} // namespace

std::unique_ptr<TKConnector> TKLinuxNetwork::Connect(const std::string& host, int port) {
    return std::make_unique<TLinuxConnector>(host, port);
}

Result<std::unique_ptr<TKListener>> TKLinuxNetwork::Listen(const std::string& address, int port) {
    if (port < 0 || port > 65535)
        return IoError(address, EINVAL);
    std::vector<TCandidate> candidates;
    int errnoValue = 0;
    const int status = Resolve(StripBrackets(address), std::to_string(port), AI_NUMERICHOST | AI_PASSIVE,
                               candidates, errnoValue);
    if (status != 0)
        return LookupError(address, status, errnoValue);
    const TCandidate& local = candidates.front();
    const int fd = ::socket(local.Family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ErrnoError(address, errno);
    // Lets the port be taken again while connections of an earlier listener linger in
    // TIME_WAIT; on Linux it does not let two listeners share a port.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local.Address), local.Length) != 0 ||
        ::listen(fd, Backlog) != 0) {
        const int bindErrno = errno;
        ::close(fd);
        TError error = ErrnoError(address, bindErrno);
        if (bindErrno == EADDRINUSE)
            error.Code = TErrorCode::ecExists;
        return error;
    }
    return std::unique_ptr<TKListener>(std::make_unique<TLinuxListener>(fd));
}

} // namespace ks
