#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/Result.h"

namespace ks {

/// One end of a TCP connection in numeric form: "192.168.0.10" or "::1" (no brackets, no scope
/// text for link-local addresses beyond what getnameinfo gives) and the port.
struct TKSocketAddress {
    std::string Host;
    int Port = 0;
    bool IPv6 = false;
};

/// A connected TCP stream. Every call returns at once except `Wait`, which waits at most the
/// time it is given, so the caller decides how long a whole exchange may take and what runs
/// in between (its event loop, a cancel check).
///
/// Thread: one thread at a time; the object may move between threads between calls.
class TKSocket {
public:
    virtual ~TKSocket() = default;
    /// Sends what fits into the send buffer now: the count sent, 0 when the buffer is full.
    /// Fails (ecIo with errno) when the connection broke.
    virtual Result<std::size_t> Send(std::string_view data) = 0;
    /// What has arrived, at most size bytes: the count read, 0 when nothing is there yet or the
    /// peer has ended its side (then `PeerClosed` is true). Fails (ecIo with errno) on a reset.
    virtual Result<std::size_t> Receive(char* buffer, std::size_t size) = 0;
    /// True once a receive saw the end of the peer's stream.
    virtual bool PeerClosed() const = 0;
    /// Waits at most timeoutMs for data (or the end of the stream) to read, or with forWrite for
    /// room to send: true when ready, false when the time ran out.
    virtual Result<bool> Wait(bool forWrite, int timeoutMs) = 0;
    /// Ends the sending side (the peer reads the end of the stream); receiving goes on.
    virtual void ShutdownSend() = 0;
    virtual TKSocketAddress LocalAddress() const = 0;
    virtual TKSocketAddress PeerAddress() const = 0;
};

/// A connection on its way: the name look-up runs on a thread of its own (the resolver may
/// hang), then each address it gave is tried in turn with a non-blocking connect.
///
/// Thread: one thread at a time. Dropping the object abandons the look-up and the attempt.
class TKConnector {
public:
    virtual ~TKConnector() = default;
    /// Goes on for at most timeoutMs: the socket once connected, null while still on its way,
    /// an error when it cannot succeed (ecNotFound: the name is unknown; ecIo with errno: every
    /// address refused or was unreachable).
    virtual Result<std::unique_ptr<TKSocket>> Step(int timeoutMs) = 0;
};

/// A listening socket for incoming data connections.
///
/// Thread: one thread at a time.
class TKListener {
public:
    virtual ~TKListener() = default;
    /// The address and the port it listens on.
    virtual TKSocketAddress Address() const = 0;
    /// Waits at most timeoutMs for a connection: the accepted socket, null when none came.
    virtual Result<std::unique_ptr<TKSocket>> Accept(int timeoutMs) = 0;
};

/// The TCP services of the OS. Thread-safe: the objects it makes are independent.
class TKNetwork {
public:
    virtual ~TKNetwork() = default;
    /// Starts a connection to host (a name, a dotted IPv4 address or an IPv6 address with or
    /// without brackets) on port.
    virtual std::unique_ptr<TKConnector> Connect(const std::string& host, int port) = 0;
    /// Listens on the numeric local address at port (0: a free port the OS picks) with a
    /// backlog of a few connections. Fails (ecExists) when the port is taken.
    virtual Result<std::unique_ptr<TKListener>> Listen(const std::string& address, int port) = 0;
};

} // namespace ks
