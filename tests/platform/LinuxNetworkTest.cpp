// TCP over the loopback addresses: connecting by address and by name, both directions of a
// connection, refused and taken ports, unknown names, calls that must come back within their
// time when nothing happens, the end of a stream and a reset, a large transfer, the address of a
// peer that is not 127.0.0.1, and the real FTP servers the FTP tests run against.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/LinuxNetwork.h"
#include "support/Child.h"
#include "support/FtpServers.h"

namespace ks {
namespace {

// Every loop below runs its calls in slices of 20 ms, as the FTP client does; the slice counts
// only bound a broken build, they are far above what a working one needs.
constexpr int Slices = 500;

Result<std::unique_ptr<TKSocket>> Connected(TKNetwork& network, const std::string& host, int port) {
    std::unique_ptr<TKConnector> connector = network.Connect(host, port);
    for (int slice = 0; slice < Slices; ++slice) {
        Result<std::unique_ptr<TKSocket>> step = connector->Step(20);
        if (!step || *step)
            return step;
    }
    return TError{TErrorCode::ecTimeout, 0, host, "still connecting"};
}

std::unique_ptr<TKSocket> Accepted(TKListener& listener) {
    for (int slice = 0; slice < Slices; ++slice) {
        Result<std::unique_ptr<TKSocket>> accepted = listener.Accept(20);
        if (!accepted || *accepted)
            return accepted ? std::move(*accepted) : nullptr;
    }
    return nullptr;
}

// Reads until count bytes came or the stream ended.
std::string ReceiveUpTo(TKSocket& socket, std::size_t count) {
    std::string text;
    char buffer[4096];
    for (int slice = 0; slice < Slices && text.size() < count && !socket.PeerClosed(); ++slice) {
        const Result<bool> ready = socket.Wait(false, 20);
        if (!ready)
            break;
        const Result<std::size_t> got = socket.Receive(buffer, std::min(sizeof buffer, count - text.size()));
        if (!got)
            break;
        text.append(buffer, *got);
    }
    return text;
}

// A raw IPv4 socket bound to source (port 0) and connected, blocking, to host and port.
int RawConnect(const std::string& source, const std::string& host, int port, int family = AF_INET) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage target{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
        length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
        length = sizeof *v4;
    }
    if (!source.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class LinuxNetworkTest : public ::testing::Test {
protected:
    // A listener on address and a connection to it from host, both ends up.
    void Pair(const std::string& address, const std::string& host) {
        Result<std::unique_ptr<TKListener>> listener = FNetwork.Listen(address, 0);
        ASSERT_TRUE(listener) << listener.error().Detail;
        FListener = std::move(*listener);
        Result<std::unique_ptr<TKSocket>> client = Connected(FNetwork, host, FListener->Address().Port);
        ASSERT_TRUE(client) << client.error().Detail;
        FClient = std::move(*client);
        FServer = Accepted(*FListener);
        ASSERT_TRUE(FServer);
    }

    TKLinuxNetwork FNetwork;
    std::unique_ptr<TKListener> FListener;
    std::unique_ptr<TKSocket> FClient;
    std::unique_ptr<TKSocket> FServer;
};

TEST_F(LinuxNetworkTest, ConnectsAndExchangesBothWays) {
    struct TCase {
        std::string Address;
        std::string Host;
        bool IPv6;
    };
    // "localhost" goes through the name look-up on its thread; the others are taken as they are.
    for (const TCase& item : std::vector<TCase>{{"127.0.0.1", "127.0.0.1", false},
                                                {"::1", "::1", true},
                                                {"::1", "[::1]", true},
                                                {"127.0.0.1", "localhost", false}}) {
        SCOPED_TRACE(item.Host);
        Pair(item.Address, item.Host);
        ASSERT_TRUE(FServer);
        const int port = FListener->Address().Port;
        EXPECT_NE(port, 0);
        EXPECT_EQ(FListener->Address().Host, item.Address);

        const TKSocketAddress peer = FClient->PeerAddress();
        EXPECT_EQ(peer.Host, item.Address);
        EXPECT_EQ(peer.Port, port);
        EXPECT_EQ(peer.IPv6, item.IPv6);
        EXPECT_EQ(FServer->PeerAddress().Host, FClient->LocalAddress().Host);
        EXPECT_EQ(FServer->PeerAddress().Port, FClient->LocalAddress().Port);
        EXPECT_EQ(FServer->LocalAddress().Port, port);

        ASSERT_EQ(FClient->Send("USER anonymous\r\n").value_or(0), 16u);
        EXPECT_EQ(ReceiveUpTo(*FServer, 16), "USER anonymous\r\n");
        ASSERT_EQ(FServer->Send("331 ok\r\n").value_or(0), 8u);
        EXPECT_EQ(ReceiveUpTo(*FClient, 8), "331 ok\r\n");
        EXPECT_FALSE(FClient->PeerClosed());
    }
}

TEST_F(LinuxNetworkTest, RefusedPortFailsWithItsErrno) {
    for (const std::string host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        int port = 0;
        {
            Result<std::unique_ptr<TKListener>> listener = FNetwork.Listen(host, 0);
            ASSERT_TRUE(listener);
            port = (*listener)->Address().Port;
        }
        const Result<std::unique_ptr<TKSocket>> client = Connected(FNetwork, host, port);
        ASSERT_FALSE(client);
        EXPECT_EQ(client.error().Code, TErrorCode::ecIo);
        EXPECT_EQ(client.error().Errno, ECONNREFUSED);
    }
}

TEST_F(LinuxNetworkTest, TakenPortIsExists) {
    for (const std::string host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        Result<std::unique_ptr<TKListener>> first = FNetwork.Listen(host, 0);
        ASSERT_TRUE(first);
        const Result<std::unique_ptr<TKListener>> second = FNetwork.Listen(host, (*first)->Address().Port);
        ASSERT_FALSE(second);
        EXPECT_EQ(second.error().Code, TErrorCode::ecExists);
    }
}

TEST_F(LinuxNetworkTest, UnknownHostIsNotFound) {
    std::unique_ptr<TKConnector> connector = FNetwork.Connect("nonexistent.invalid", 21);
    for (int slice = 0; slice < 1500; ++slice) {
        const Result<std::unique_ptr<TKSocket>> step = connector->Step(20);
        ASSERT_FALSE(step && *step);
        if (!step) {
            EXPECT_EQ(step.error().Code, TErrorCode::ecNotFound);
            // It stays failed.
            EXPECT_FALSE(connector->Step(0));
            return;
        }
    }
    FAIL() << "the look-up did not end within 1500 slices of 20 ms";
}

TEST_F(LinuxNetworkTest, BadArgumentsFailAtOnce) {
    struct TCase {
        std::string Host;
        int Port;
        TErrorCode Code;
    };
    for (const TCase& item : std::vector<TCase>{{"", 21, TErrorCode::ecNotFound},
                                                {"[]", 21, TErrorCode::ecNotFound},
                                                {"127.0.0.1", 0, TErrorCode::ecIo},
                                                {"127.0.0.1", 70000, TErrorCode::ecIo}}) {
        SCOPED_TRACE(item.Host + ":" + std::to_string(item.Port));
        const Result<std::unique_ptr<TKSocket>> step = FNetwork.Connect(item.Host, item.Port)->Step(0);
        ASSERT_FALSE(step);
        EXPECT_EQ(step.error().Code, item.Code);
    }
    EXPECT_FALSE(FNetwork.Listen("not an address", 0));
    EXPECT_FALSE(FNetwork.Listen("127.0.0.1", -1));
}

// Each call runs ten times with nothing to happen and must say so every time; the child is
// killed when a call blocks, so a hang is a failure instead of a stuck run.
TEST_F(LinuxNetworkTest, IdleCallsComeBackWithinTheirTime) {
    struct TCase {
        const char* Name;
        std::string (*Body)(TKLinuxNetwork& network);
    };
    const TCase cases[] = {
        {"Accept with nobody connecting",
         [](TKLinuxNetwork& network) -> std::string {
             Result<std::unique_ptr<TKListener>> listener = network.Listen("127.0.0.1", 0);
             for (int i = 0; listener && i < 10; ++i) {
                 const Result<std::unique_ptr<TKSocket>> accepted = (*listener)->Accept(20);
                 if (!accepted || *accepted)
                     return "accepted";
             }
             return listener ? "" : "no listener";
         }},
        {"Step on a connection the server never answers",
         [](TKLinuxNetwork& network) -> std::string {
             // A listener whose queue is full drops further connection requests unanswered.
             const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
             sockaddr_in address{};
             address.sin_family = AF_INET;
             address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
             socklen_t length = sizeof address;
             if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 0) != 0 ||
                 ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
                 return "no listener";
             const int port = ntohs(address.sin_port);
             if (RawConnect({}, "127.0.0.1", port) < 0)
                 return "the queue could not be filled";
             std::unique_ptr<TKConnector> connector = network.Connect("127.0.0.1", port);
             for (int i = 0; i < 10; ++i) {
                 const Result<std::unique_ptr<TKSocket>> step = connector->Step(20);
                 if (!step || *step)
                     return "the step ended";
             }
             return "";
         }},
        {"Wait for data that never comes",
         [](TKLinuxNetwork& network) -> std::string {
             Result<std::unique_ptr<TKListener>> listener = network.Listen("127.0.0.1", 0);
             if (!listener)
                 return "no listener";
             Result<std::unique_ptr<TKSocket>> client =
                 Connected(network, "127.0.0.1", (*listener)->Address().Port);
             std::unique_ptr<TKSocket> server = Accepted(**listener);
             for (int i = 0; client && server && i < 10; ++i)
                 if ((*client)->Wait(false, 20).value_or(true) || server->Wait(false, 20).value_or(true))
                     return "ready";
             return client && server ? "" : "no connection";
         }},
        {"Wait for room while the peer reads nothing",
         [](TKLinuxNetwork& network) -> std::string {
             Result<std::unique_ptr<TKListener>> listener = network.Listen("127.0.0.1", 0);
             if (!listener)
                 return "no listener";
             Result<std::unique_ptr<TKSocket>> client =
                 Connected(network, "127.0.0.1", (*listener)->Address().Port);
             std::unique_ptr<TKSocket> server = Accepted(**listener);
             if (!client || !server)
                 return "no connection";
             const std::string block(1 << 16, 'x');
             for (int i = 0; i < 10000 && (*client)->Send(block).value_or(0) != 0; ++i) {
             }
             for (int i = 0; i < 10; ++i)
                 if ((*client)->Wait(true, 20).value_or(true))
                     return "room";
             return "";
         }},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        EXPECT_EQ(test::RunInChild(0, 10000, [&] { return item.Body(FNetwork); }), "");
    }
}

TEST_F(LinuxNetworkTest, EndOfStreamAndReset) {
    Pair("127.0.0.1", "127.0.0.1");
    ASSERT_TRUE(FServer);
    char buffer[16];
    // Nothing there yet is not the end.
    EXPECT_EQ(FServer->Receive(buffer, sizeof buffer).value_or(99), 0u);
    EXPECT_FALSE(FServer->PeerClosed());

    // After ShutdownSend the peer reads the end, and the other direction still works.
    ASSERT_TRUE(FClient->Send("QUIT\r\n"));
    FClient->ShutdownSend();
    EXPECT_EQ(ReceiveUpTo(*FServer, 100), "QUIT\r\n");
    EXPECT_TRUE(FServer->PeerClosed());
    EXPECT_EQ(FServer->Receive(buffer, sizeof buffer).value_or(99), 0u);
    ASSERT_TRUE(FServer->Send("221 bye\r\n"));
    FServer.reset();
    EXPECT_EQ(ReceiveUpTo(*FClient, 100), "221 bye\r\n");
    EXPECT_TRUE(FClient->PeerClosed());

    // A connection closed with a linger of 0 is reset.
    const int rawServer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(rawServer, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(rawServer, 1), 0);
    ASSERT_EQ(::getsockname(rawServer, reinterpret_cast<sockaddr*>(&address), &length), 0);
    Result<std::unique_ptr<TKSocket>> client = Connected(FNetwork, "127.0.0.1", ntohs(address.sin_port));
    ASSERT_TRUE(client);
    const int accepted = ::accept(rawServer, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    const linger abort{1, 0};
    ::setsockopt(accepted, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(accepted);
    ::close(rawServer);
    ASSERT_TRUE((*client)->Wait(false, 5000).value_or(false));
    const Result<std::size_t> got = (*client)->Receive(buffer, sizeof buffer);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().Code, TErrorCode::ecIo);
    EXPECT_EQ(got.error().Errno, ECONNRESET);
    // Sending on a reset connection fails instead of raising SIGPIPE.
    const Result<std::size_t> sent = (*client)->Send("NOOP\r\n");
    EXPECT_FALSE(sent && *sent != 0);
}

TEST_F(LinuxNetworkTest, LargeTransferThroughPartialSends) {
    Pair("127.0.0.1", "127.0.0.1");
    ASSERT_TRUE(FServer);
    std::string data(4 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 4096) & 0xff);
    std::string received;
    std::size_t sent = 0;
    bool partial = false;
    std::vector<char> buffer(1 << 16);
    for (int slice = 0; slice < 100000 && received.size() < data.size(); ++slice) {
        if (sent < data.size()) {
            const Result<std::size_t> count = FClient->Send(std::string_view(data).substr(sent));
            ASSERT_TRUE(count);
            partial = partial || *count < data.size() - sent;
            sent += *count;
            if (sent == data.size())
                FClient->ShutdownSend();
        }
        const Result<std::size_t> got = FServer->Receive(buffer.data(), buffer.size());
        ASSERT_TRUE(got);
        received.append(buffer.data(), *got);
        // Nothing to read: the sender waits for room, or once all is sent the reader for the rest.
        if (*got == 0) {
            ASSERT_TRUE(sent < data.size() ? FClient->Wait(true, 20) : FServer->Wait(false, 20));
        }
    }
    EXPECT_TRUE(partial);
    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    EXPECT_EQ(ReceiveUpTo(*FServer, 1), "");
    EXPECT_TRUE(FServer->PeerClosed());
}

// A data connection from another host must be told apart from one of the server itself; on a
// dual-stack listener the IPv4 peer shows in its dotted form.
TEST_F(LinuxNetworkTest, PeerAddressOfAnotherHost) {
    for (const std::string listen : {"127.0.0.1", "::"}) {
        SCOPED_TRACE(listen);
        Result<std::unique_ptr<TKListener>> listener = FNetwork.Listen(listen, 0);
        ASSERT_TRUE(listener);
        const int fd = RawConnect("127.0.0.2", "127.0.0.1", (*listener)->Address().Port);
        ASSERT_GE(fd, 0);
        const std::unique_ptr<TKSocket> server = Accepted(**listener);
        ASSERT_TRUE(server);
        EXPECT_EQ(server->PeerAddress().Host, "127.0.0.2");
        EXPECT_FALSE(server->PeerAddress().IPv6);
        EXPECT_EQ(server->LocalAddress().Host, "127.0.0.1");
        ::close(fd);
    }
}

// The real servers the FTP tests use come up and greet.
class FtpServerGreets : public ::testing::TestWithParam<test::TFtpServerKind> {};

TEST_P(FtpServerGreets, With220) {
    test::TFtpServer server;
    if (!server.Start(GetParam()) && server.Unavailable())
        GTEST_SKIP() << server.Error();
    ASSERT_NE(server.Port(), 0) << server.Error();
    TKLinuxNetwork network;
    Result<std::unique_ptr<TKSocket>> client = Connected(network, server.Host(), server.Port());
    ASSERT_TRUE(client) << client.error().Detail;
    EXPECT_EQ(ReceiveUpTo(**client, 4), "220 ") << server.Log();
}

INSTANTIATE_TEST_SUITE_P(Kinds, FtpServerGreets,
                         ::testing::Values(test::TFtpServerKind::fkPyFtpdlib, test::TFtpServerKind::fkVsftpd),
                         [](const ::testing::TestParamInfo<test::TFtpServerKind>& kind) {
                             return kind.param == test::TFtpServerKind::fkPyFtpdlib ? "PyFtpdlib" : "Vsftpd";
                         });

} // namespace
} // namespace ks
