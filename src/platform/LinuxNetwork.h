#pragma once

#include "foundation/Network.h"

namespace ks {

/// TCP over POSIX sockets: non-blocking descriptors closed on exec, sends that never raise
/// SIGPIPE, name look-ups on a detached thread of their own so that a hanging resolver costs
/// the caller nothing, and every wait done with poll within the time it is given.
///
/// Thread-safe: the objects it makes are independent.
class TKLinuxNetwork : public TKNetwork {
public:
    std::unique_ptr<TKConnector> Connect(const std::string& host, int port) override;
    Result<std::unique_ptr<TKListener>> Listen(const std::string& address, int port) override;
};

} // namespace ks
