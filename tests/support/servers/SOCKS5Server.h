#pragma once
// A minimal SOCKS5 server on 127.0.0.1 (RFC 1928: CONNECT only; RFC 1929 user name and password when
// configured). It connects only to loopback targets and records every target it was asked for.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ServerCore.h"

namespace TestServers {

class SOCKS5Server {
public:
    struct Options {
        std::string user;  // non-empty: require this user and password
        std::string password;
        double lifetimeSeconds = 30;
    };
    struct Target {
        std::string host;
        int port = 0;
        int addressType = 0;  // 1 IPv4, 3 domain name, 4 IPv6
    };

    SOCKS5Server();
    explicit SOCKS5Server(Options options);
    ~SOCKS5Server();

    uint16_t port() const { return core_->port(); }
    std::vector<Target> targets() const;

private:
    void serve(Channel& channel);

    Options options_;
    mutable std::mutex mutex_;
    std::vector<Target> targets_;
    std::unique_ptr<ServerCore> core_;
};

}  // namespace TestServers
