#pragma once
// The read stream of one HTTP exchange: it writes the request and lets the caller pull the response
// body. This is what an HTTP client is built on; it does no redirects, no authentication, no
// decompression and keeps no cookies (the client does all of that itself).
//
//   CFReadStreamCreateForHTTPRequest(alloc, message)                 CFReadStream::createForHTTPRequest(message)
//   CFReadStreamCreateForStreamedHTTPRequest(alloc, message, body)   CFReadStream::createForStreamedHTTPRequest(message, body)
//   CFReadStreamSetProperty(s, kCFStreamPropertyHTTPAttemptPersistentConnection, b)  s->setAttemptPersistentConnection(b)
//   CFReadStreamSetProperty(s, CFSTR("HTTPStreamID"), id)            s->setHTTPStreamID(id)
//   CFReadStreamSetProperty(s, kCFStreamPropertySSLSettings, d)      s->setSSLSettings(settings)
//   CFReadStreamSetProperty(s, kCFStreamPropertyHTTPProxy, d)        s->setHTTPProxy(settings)
//   CFReadStreamSetProperty(s, kCFStreamPropertySOCKSProxy, d)       s->setSOCKSProxy(settings)
//   CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPResponseHeader) s->copyResponseHeader()
//   CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPRequestBytesWrittenCount)  s->requestBytesWrittenCount()
//
// The exchange, once opened on a run loop:
//  - the host is looked up on a helper thread (numeric hosts need none); the connection is made
//    without blocking; through a SOCKS5 proxy, or for https through an HTTP proxy with CONNECT; TLS for
//    https (certificate chain and host name checked, SNI sent, unless validation is switched off);
//  - the request goes out: origin form ("GET /path?q HTTP/1.1"), or absolute form through an HTTP
//    proxy for http; "Host" and the framing are added; the body comes from the message's bytes or is
//    pulled from the body stream (with "Content-Length" when its length is known or set by the caller,
//    else chunked on HTTP/1.1);
//  - the response header is parsed (1xx skipped); the body is framed by Content-Length, chunked
//    transfer coding (de-chunked here) or the end of the connection, and never inflated: gzip bytes are
//    delivered as received. HEAD, 204 and 304 responses have no body.
//  - "bytes available" is signalled once the header is complete and body bytes wait; "end" after the
//    last body byte has been read (at once for an empty body); "error" for any failure, including an end
//    of stream before the response was complete (see CFNetworkErrors.h for the error classes).
//
// Persistent connections: with setAttemptPersistentConnection(true) and an HTTPStreamID, a connection
// that ends its exchange cleanly (framed body, no "Connection: close") is parked idle under that id
// as soon as the response is complete. The next stream opened with the same id (for the same scheme,
// host, port, proxy and TLS settings) reuses it when it is still alive; otherwise it opens a new one.
// Closing the stream that parked the connection, before another stream took it, closes it (that is
// how a client expires its pool entries). Without persistence every stream has its own connection,
// closed at its end.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/cfnetwork/CFStream.h"

// kCFStreamPropertySSLSettings
struct CFSSLSettings {
    bool validatesCertificateChain = true;  // kCFStreamSSLValidatesCertificateChain: off turns every check off
    // kCFStreamSSLPeerName: the name checked against the certificate and sent as SNI, instead of the
    // URL's host; an empty text turns the name check off.
    std::optional<std::string> peerName;
    // kCFStreamSSLCertificates: a SecIdentity first (the client's identity), then SecCertificates of its
    // chain.
    std::vector<Ref<NSObject>> certificates;
};

// kCFStreamPropertyHTTPProxy (kCFStreamPropertyHTTPProxyHost/Port, kCFStreamPropertyHTTPSProxyHost/Port)
struct CFHTTPProxySettings {
    std::string HTTPProxyHost;
    int HTTPProxyPort = 0;  // 0: 80
    std::string HTTPSProxyHost;
    int HTTPSProxyPort = 0;  // 0: 80
};

// kCFStreamPropertySOCKSProxy (kCFStreamPropertySOCKSProxyHost/Port, kCFStreamPropertySOCKSUser/Password).
// SOCKS version 5; the proxy resolves the target host name.
struct CFSOCKSProxySettings {
    std::string SOCKSProxyHost;
    int SOCKSProxyPort = 0;  // 0: 1080
    std::string SOCKSUser;
    std::string SOCKSPassword;
};

class CFHTTPReadStream : public CFReadStream {
public:
    ~CFHTTPReadStream() override;

    // Properties, set before open().
    void setAttemptPersistentConnection(bool value);
    bool attemptPersistentConnection() const;
    void setHTTPStreamID(std::optional<int64_t> id);
    std::optional<int64_t> httpStreamID() const;
    void setSSLSettings(CFSSLSettings settings);
    void setHTTPProxy(CFHTTPProxySettings settings);
    void setSOCKSProxy(CFSOCKSProxySettings settings);

    // The response header once it is complete (nullptr before).
    Ref<CFHTTPMessage> copyResponseHeader() const;
    // Body bytes handed to the connection so far (they may still sit in the socket's buffer).
    uint64_t requestBytesWrittenCount() const;
    // Whether this exchange runs on a connection reused from an earlier one.
    bool connectionWasReused() const;
    const Ref<CFHTTPMessage>& request() const;

    bool open() override;
    CFIndex read(uint8_t* buffer, CFIndex length) override;
    bool hasBytesAvailable() override;
    void close() override;

    // Closes every idle persistent connection (for tests and shutdown).
    static void closeIdleConnections();
    static size_t idleConnectionCount();

    struct Impl;
    explicit CFHTTPReadStream(std::unique_ptr<Impl> impl);  // use the CFReadStream factories

protected:
    void schedulingChanged() override;

private:
    friend struct Impl;
    friend class CFReadStream;
    std::unique_ptr<Impl> impl_;
};
