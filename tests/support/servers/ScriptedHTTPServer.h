#pragma once
// A scriptable raw HTTP/1.1 server on 127.0.0.1 (optionally TLS, with a certificate made at run time).
// Each request gets the next queued Reply, else the handler's, else "200 OK" with the body "ok". A
// Reply writes exactly the header lines it is given (lower-case names, repeats, anything), chosen
// framing (Content-Length, chunked, close-delimited), delays, hangs, an early close, or raw bytes. Every
// request is recorded with its peer port and the index of its connection, so tests can see whether a
// client reused a connection.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ServerCore.h"
#include "TestCertificates.h"

namespace TestServers {

struct RecordedRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;  // as received, in order
    std::string body;                                          // de-chunked
    std::string rawHead;
    uint16_t peerPort = 0;
    size_t connection = 0;          // index of the connection it came on (0, 1, ...)
    size_t indexOnConnection = 0;   // 0 for the first request of its connection
    std::string clientCertificateSubject;
    std::string serverName;  // SNI of a TLS connection

    // The first value of a header (names compare without case); "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

struct Reply {
    enum class Action {
        Respond,             // the reply below
        CloseWithoutAnswer,  // read the request, then close
        CloseAfterHeaders,   // the status line and headers, then close
        Hang,                // the status line and headers, then silence for hangSeconds, then close
        ResetWithoutAnswer,  // read the request, then reset the connection (the client reads ECONNRESET)
    };
    Action action = Action::Respond;
    std::string version = "HTTP/1.1";
    int status = 200;
    std::string reason = "OK";
    std::vector<std::string> headerLines;  // "Name: value", written as given
    std::string body;
    std::vector<std::string> chunks;       // non-empty: chunked transfer coding with these chunks
    bool closeDelimited = false;           // no length; the end of the body is the close
    bool keepAlive = true;                 // false: "Connection: close" and close after the reply
    bool autoFraming = true;               // add Content-Length / Transfer-Encoding unless given
    std::optional<size_t> truncateBodyTo;  // send only this many body bytes, then close
    std::vector<std::string> interim;      // raw interim responses written first ("HTTP/1.1 100 Continue\r\n\r\n")
    double delayBeforeHeaders = 0;
    double delayBeforeBody = 0;
    double hangSeconds = 2;
    std::string raw;                       // non-empty: written verbatim instead of all of the above

    static Reply ok(std::string body = "ok") { Reply r; r.body = std::move(body); return r; }
    static Reply withStatus(int status, std::string reason, std::string body = "")
    {
        Reply r;
        r.status = status;
        r.reason = std::move(reason);
        r.body = std::move(body);
        return r;
    }
};

class ScriptedHTTPServer {
public:
    struct Options {
        bool tls = false;
        TestCertificate certificate;   // required with tls
        std::string clientAuthorityPEM;  // with tls: ask for a client certificate issued by this authority
        double lifetimeSeconds = 30;
    };

    ScriptedHTTPServer();
    explicit ScriptedHTTPServer(Options options);
    ~ScriptedHTTPServer();

    uint16_t port() const { return core_->port(); }
    // "http://127.0.0.1:<port>" + path (https with TLS).
    std::string url(std::string_view path = "/") const;

    void enqueue(Reply reply);
    void setHandler(std::function<Reply(const RecordedRequest&)> handler);

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    // Waits until `count` requests have arrived, at most `timeoutSeconds`.
    bool waitForRequests(size_t count, double timeoutSeconds = 5) const;
    size_t connectionCount() const { return core_->connectionCount(); }
    // The peer ports of the connections seen.
    std::set<uint16_t> peerPorts() const;

private:
    void serve(Channel& channel, size_t connection);
    bool readRequest(Channel& channel, RecordedRequest& request);
    bool writeReply(Channel& channel, const RecordedRequest& request, const Reply& reply);
    Reply next(const RecordedRequest& request);

    Options options_;
    ssl_ctx_st* context_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Reply> queue_;
    std::function<Reply(const RecordedRequest&)> handler_;
    std::vector<RecordedRequest> requests_;
    std::unique_ptr<ServerCore> core_;
};

}  // namespace TestServers
