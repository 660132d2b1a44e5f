#pragma once

#include "foundation/Network.h"

namespace ks {

/// TCP over POSIX sockets.
class TKLinuxNetwork : public TKNetwork {
public:
    std::unique_ptr<TKConnector> Connect(const std::string& host, int port) override;
    Result<std::unique_ptr<TKListener>> Listen(const std::string& address, int port) override;
};

} // namespace ks
