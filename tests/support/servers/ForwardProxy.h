#pragma once
// A forward HTTP proxy on 127.0.0.1: requests in absolute form ("GET http://127.0.0.1:p/x HTTP/1.1")
// are forwarded to their origin, and CONNECT opens a tunnel. It only ever connects to loopback
// targets. With requiredAuthorization set, requests without that exact "Proxy-Authorization" value get
// a 407 challenge ("Proxy-Authenticate: Basic realm=\"proxy\""). Every request it sees is recorded.
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ServerCore.h"

namespace TestServers {

class ForwardProxy {
public:
    struct Options {
        std::string requiredAuthorization;
        double lifetimeSeconds = 30;
    };
    struct Seen {
        std::string method;
        std::string target;  // absolute URL, or "host:port" for CONNECT
        std::vector<std::pair<std::string, std::string>> headers;
        std::string header(std::string_view name) const;
    };

    ForwardProxy();
    explicit ForwardProxy(Options options);
    ~ForwardProxy();

    uint16_t port() const { return core_->port(); }
    std::vector<Seen> seen() const;

private:
    void serve(Channel& channel);

    Options options_;
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
    std::unique_ptr<ServerCore> core_;
};

}  // namespace TestServers
