#pragma once
// The HTTP/1.0 and 1.1 wire format as the read stream speaks it: the request head it writes and the
// incremental response parser with body framing. Used by CFHTTPReadStream; public for its tests.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cfnetwork/CFHTTPMessage.h"

namespace HTTPWire {

struct RequestHeadOptions {
    bool absoluteForm = false;        // through an HTTP proxy: "GET http://host/path HTTP/1.1"
    bool sendProxyAuthorization = false;  // keep "Proxy-Authorization" (only to a proxy that sees the request)
    bool persistent = false;          // the caller wants the connection kept
    bool chunkedBody = false;         // a streamed body of unknown length (HTTP/1.1)
    std::optional<uint64_t> contentLength;  // set "Content-Length" when the caller did not
};

// The request line and header fields of `request`, ending with the empty line. Adds "Host" (unless the
// caller set it), "Content-Length" or "Transfer-Encoding: chunked" when needed, and "Connection: close"
// for a connection that will not be kept (or "Connection: keep-alive" for a kept HTTP/1.0 one), unless
// the caller set "Connection".
std::string requestHead(const CFHTTPMessage& request, const RequestHeadOptions& options);

// "host" or "host:port" (IP-literal hosts in brackets) as the "Host" header and CONNECT name it.
std::string hostHeader(const NSURL& url, bool alwaysWithPort);
int defaultPort(std::string_view scheme);

// Parses one response from the bytes of a connection, framing its body.
class ResponseParser {
public:
    enum class State { Head, Body, Done, Failed };

    // A response to HEAD (or to a CONNECT that succeeds) has no body whatever its header says.
    explicit ResponseParser(bool requestWasHEAD = false, bool requestWasCONNECT = false);

    // Consumes as much of `in` as belongs to this response; body bytes (de-chunked, otherwise as
    // received) are appended to `body`. Returns the number of bytes consumed; bytes after the end of
    // the response are left unconsumed.
    size_t feed(std::string_view in, std::string& body);
    // The connection ended. A close-delimited body ends here; anything else unfinished fails.
    void finish();

    State state() const { return state_; }
    bool headerComplete() const { return state_ == State::Body || state_ == State::Done; }
    bool done() const { return state_ == State::Done; }
    bool failed() const { return state_ == State::Failed; }
    // Whether any byte of a response arrived.
    bool sawBytes() const { return sawBytes_; }
    // The final (non-1xx) response; set once the header is complete.
    const Ref<CFHTTPMessage>& response() const { return response_; }
    // Whether the framing lets the connection carry another exchange: the body had a length or was
    // chunked, and neither side asked to close (HTTP/1.0 needs "Connection: keep-alive").
    bool connectionReusable() const;
    // The announced body length, when there is one.
    std::optional<uint64_t> contentLength() const { return contentLength_; }

    // Bounds against a hostile peer.
    static constexpr size_t kMaxHeaderBytes = 256 * 1024;
    static constexpr size_t kMaxLineBytes = 64 * 1024;

private:
    enum class Framing { None, Length, Chunked, Close };
    enum class ChunkState { Size, Data, DataEnd, Trailer };

    bool takeLine(std::string_view& in, size_t& consumed, std::string& line);
    bool headerLine(const std::string& line);
    bool startBody();
    void fail() { state_ = State::Failed; }

    bool head_;
    bool connect_;
    State state_ = State::Head;
    bool sawBytes_ = false;
    bool sawStatusLine_ = false;
    Ref<CFHTTPMessage> response_;
    std::string line_;        // a partial line
    size_t headerBytes_ = 0;  // of the current head
    std::string lastName_;    // for folded continuation lines
    Framing framing_ = Framing::None;
    std::optional<uint64_t> contentLength_;
    bool ambiguousFraming_ = false;
    uint64_t remaining_ = 0;
    ChunkState chunkState_ = ChunkState::Size;
};

}  // namespace HTTPWire
