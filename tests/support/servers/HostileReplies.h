#pragma once
// Replies of a server that means harm: bodies that are small on the wire and enormous once inflated.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ScriptedHTTPServer.h"

namespace TestServers {

// A gzip member whose content is `inflatedLength` zero bytes, compressed as tightly as zlib can (about
// 1 KiB per MiB). Built once per length for the process.
const std::string& gzipBomb(size_t inflatedLength);

// "200 OK" with "Content-Encoding: gzip" and gzipBomb(inflatedLength) as its body.
Reply gzipBombReply(size_t inflatedLength);

// A valid PNG of width x height black pixels in one bit each: a few KiB on the wire, width x height x 4
// bytes once decoded.
std::string flatPng(uint32_t width, uint32_t height);

// Answers every request "200 OK" with a chunked body that never ends (64 KiB chunks of `fill`), until
// the client goes away, the server stops or `guardBytes` are out (so a client that never stops
// reading still ends the test). Listens on 127.0.0.1 and stops by itself after its lifetime.
class EndlessBodyServer {
public:
    explicit EndlessBodyServer(std::string contentType = "image/png", size_t guardBytes = size_t(256) << 20,
                               double lifetimeSeconds = 30);
    ~EndlessBodyServer();
    std::string url(const std::string& path = "/") const;
    // Body bytes written so far (every connection).
    size_t bytesSent() const { return state_->sent.load(); }
    // Connections whose client went away before the guard was reached.
    size_t clientsGone() const { return state_->gone.load(); }

private:
    struct State {
        std::string contentType;
        size_t guardBytes = 0;
        std::atomic<size_t> sent{0};
        std::atomic<size_t> gone{0};
    };
    std::shared_ptr<State> state_;
    std::unique_ptr<ServerCore> core_;
};

}  // namespace TestServers
