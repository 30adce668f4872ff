#include "platform/cfnetwork/CFHTTPReadStream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/cfnetwork/HTTPWire.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/cfnetwork/Transport.h"
#include "platform/foundation/NSString.h"

namespace {

using Transport::IO;

// Body bytes held for pull reads before the stream stops reading the socket (back-pressure).
constexpr size_t kMaxBuffered = 512 * 1024;
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kBodyChunk = 64 * 1024;

std::optional<uint64_t> parseLength(const std::optional<std::string>& value)
{
    if (!value || value->empty() || value->size() > 18) {
        return std::nullopt;
    }
    uint64_t n = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n;
}

std::atomic<uint64_t> g_serial{0};

}  // namespace

struct CFHTTPReadStream::Impl {
    enum class Phase { NotOpen, Resolving, Connecting, SocksGreeting, SocksAuth, SocksConnect, Tunnel, TLSHandshake,
                       Exchange, Done, Failed, Closed };

    CFHTTPReadStream* owner = nullptr;
    Ref<CFHTTPMessage> request;
    Ref<CFReadStream> body;
    bool persistent = false;
    std::optional<int64_t> streamID;
    CFSSLSettings ssl;
    CFHTTPProxySettings httpProxy;
    CFSOCKSProxySettings socksProxy;
    const uint64_t serial = ++g_serial;

    Phase phase = Phase::NotOpen;
    bool https = false;
    int route = Transport::kDirect;
    std::string originHost;
    int originPort = 0;
    std::string connectHost;
    int connectPort = 0;
    Transport::ConnectionKey key;
    std::unique_ptr<Transport::Connection> conn;
    std::shared_ptr<Transport::Lookup> lookup;
    std::vector<Transport::Lookup::Address> addresses;
    size_t nextAddress = 0;
    CFStreamError connectError;
    bool reusedConnection = false;

    // Bytes waiting to go out (handshakes, the head, a piece of the body) and where in them the body's
    // own bytes lie (chunk framing is not body).
    std::string out;
    size_t outOffset = 0;
    size_t payloadBegin = 0;
    size_t payloadEnd = 0;
    std::string in;  // handshake replies

    std::string memoryBody;
    size_t memoryOffset = 0;
    std::optional<uint64_t> bodyLength;
    bool callerSetLength = false;
    bool chunked = false;
    uint64_t bodyQueued = 0;
    uint64_t bytesWritten = 0;
    bool bodyEOF = false;
    bool requestSent = false;
    bool stopSending = false;
    bool reusable = true;

    std::unique_ptr<HTTPWire::ResponseParser> parser;
    Ref<CFHTTPMessage> responseHeader;
    std::string buffer;
    size_t bufferOffset = 0;
    bool armed = true;
    bool endSignalled = false;

    Ref<CFRunLoopSource> ioSource;
    std::weak_ptr<NSRunLoop> watchLoop;  // the loop that last watched one of our descriptors
    RunLoopModes watchModes;
    int ioFd = -1;
    unsigned ioEvents = 0;
    bool pumping = false;

    size_t buffered() const { return buffer.size() - bufferOffset; }
    // The response header is complete: keep it, and let authentication objects whose credentials went
    // out with the request see whether they were refused.
    void takeResponseHeader()
    {
        responseHeader = parser->response();
        CFHTTPAuthentication::noteResponse(request, responseHeader);
    }
    bool active() const { return phase != Phase::NotOpen && phase != Phase::Done && phase != Phase::Failed && phase != Phase::Closed; }

    // ---- Life cycle ------------------------------------------------------------------------------

    bool open()
    {
        const NSURL& url = *request->copyRequestURL();
        https = NSString::asciiLowercaseString(url.scheme()) == "https";
        originHost = url.host();
        originPort = url.port().value_or(HTTPWire::defaultPort(url.scheme()));
        if (https && !httpProxy.HTTPSProxyHost.empty()) {
            route = Transport::kTunnel;
            connectHost = httpProxy.HTTPSProxyHost;
            connectPort = httpProxy.HTTPSProxyPort > 0 ? httpProxy.HTTPSProxyPort : 80;
        } else if (!https && !httpProxy.HTTPProxyHost.empty()) {
            route = Transport::kHTTPProxy;
            connectHost = httpProxy.HTTPProxyHost;
            connectPort = httpProxy.HTTPProxyPort > 0 ? httpProxy.HTTPProxyPort : 80;
        } else if (!socksProxy.SOCKSProxyHost.empty()) {
            route = Transport::kSOCKS;
            connectHost = socksProxy.SOCKSProxyHost;
            connectPort = socksProxy.SOCKSProxyPort > 0 ? socksProxy.SOCKSProxyPort : 1080;
        } else {
            route = Transport::kDirect;
            connectHost = originHost;
            connectPort = originPort;
        }
        const Ref<SecIdentity> identity = clientIdentity();
        key = Transport::ConnectionKey{NSString::asciiLowercaseString(url.scheme()), NSString::asciiLowercaseString(originHost), originPort, route,
                                       route == Transport::kDirect ? std::string() : NSString::asciiLowercaseString(connectHost),
                                       route == Transport::kDirect ? 0 : connectPort,
                                       route == Transport::kSOCKS ? socksProxy.SOCKSUser : std::string(),
                                       ssl.validatesCertificateChain, ssl.peerName.value_or("\x01"), identity.get()};

        // The request body and its framing.
        auto declared = request->copyHeaderFieldValue("Content-Length");
        callerSetLength = declared.has_value();
        if (callerSetLength) {
            bodyLength = parseLength(declared);
            if (!bodyLength) {
                return false;  // a caller's "Content-Length" that is not a number cannot frame anything
            }
        }
        if (body) {
            if (body->getStatus() == kCFStreamStatusNotOpen) {
                body->open();
            }
            if (!callerSetLength) {
                bodyLength = body->knownLength();
            }
            chunked = !bodyLength && request->copyVersion() == kCFHTTPVersion1_1 &&
                      !request->copyHeaderFieldValue("Transfer-Encoding");
        } else {
            memoryBody = request->copyBody();
            if (!callerSetLength) {
                std::string method = request->copyRequestMethod();
                if (!memoryBody.empty() || method == "POST" || method == "PUT" || method == "PATCH") {
                    bodyLength = memoryBody.size();
                }
            } else if (*bodyLength < memoryBody.size()) {
                memoryBody.resize(static_cast<size_t>(*bodyLength));
            }
        }

        owner->setStatus(kCFStreamStatusOpening);
        if (persistent && streamID) {
            conn = Transport::Registry::take(*streamID, key);
            if (conn) {
                startExchange();
                // An idle kept-alive connection takes a request at once: it is sent here rather than
                // after a turn of the loop to learn that the socket is writable. A body read from a
                // caller's stream is left for the loop, so that stream is never read inside open().
                // The answer is waited for, not looked for: it cannot have come yet.
                if (!body && owner->scheduledRunLoop()) {
                    stepExchange(false);
                }
                updateInterest();
                return true;
            }
        }
        if (auto numeric = Transport::Lookup::numeric(connectHost, connectPort)) {
            addresses = std::move(*numeric);
            startNextAddress();
        } else {
            lookup = Transport::Lookup::start(connectHost, connectPort);
            phase = Phase::Resolving;
        }
        updateInterest();
        return true;
    }

    Ref<SecIdentity> clientIdentity() const
    {
        if (!ssl.certificates.empty()) {
            return std::dynamic_pointer_cast<SecIdentity>(ssl.certificates.front());
        }
        return nullptr;
    }

    void fail(CFStreamError error)
    {
        if (phase == Phase::Failed || phase == Phase::Closed) {
            return;
        }
        phase = Phase::Failed;
        releaseDescriptors();
        buffer.clear();
        bufferOffset = 0;
        owner->setError(error);
        owner->setStatus(kCFStreamStatusError);
        owner->signalEvent(kCFStreamEventErrorOccurred);
    }

    void close()
    {
        phase = Phase::Closed;
        releaseDescriptors();
        buffer.clear();
        bufferOffset = 0;
        Transport::Registry::releaseOwner(serial);
    }

    // ---- Connecting ------------------------------------------------------------------------------

    void startNextAddress()
    {
        while (nextAddress < addresses.size()) {
            const auto& address = addresses[nextAddress];
            int fd = Transport::startConnect(address.storage, address.length);
            if (fd >= 0) {
                conn = std::make_unique<Transport::Connection>(fd);
                conn->setKey(key);
                phase = Phase::Connecting;
                return;
            }
            connectError = {kCFStreamErrorDomainPOSIX, errno};
            ++nextAddress;
        }
        fail(connectError ? connectError
                          : CFStreamError{kCFStreamErrorDomainCFNetwork, kCFURLErrorCannotConnectToHost});
    }

    bool stepConnecting()
    {
        pollfd p{conn->fd(), POLLOUT, 0};
        if (::poll(&p, 1, 0) == 0) {
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(conn->fd(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == EINPROGRESS || error == EALREADY) {
            return false;
        }
        if (error != 0) {
            connectError = {kCFStreamErrorDomainPOSIX, error};
            removeIoSource();
            dispose(std::move(conn));
            ++nextAddress;
            startNextAddress();
            return true;
        }
        switch (route) {
        case Transport::kSOCKS:
            socksGreeting();
            break;
        case Transport::kTunnel:
            tunnelRequest();
            break;
        default:
            https ? startTLS() : startExchange();
        }
        return true;
    }

    // Writes what is left of `out`; true when all of it went out. Fails the stream on an error.
    bool flushOut()
    {
        while (outOffset < out.size()) {
            size_t put = 0;
            CFStreamError error;
            IO r = conn->write(out.data() + outOffset, out.size() - outOffset, put, error);
            if (r == IO::WouldBlock) {
                return false;
            }
            if (r != IO::Ok) {
                fail(error);
                return false;
            }
            outOffset += put;
        }
        return true;
    }

    // Reads handshake bytes into `in`. False when nothing came (or the stream failed).
    bool readHandshake(CFStreamError onEof)
    {
        char chunk[4096];
        size_t got = 0;
        CFStreamError error;
        IO r = conn->read(chunk, sizeof chunk, got, error);
        if (r == IO::Ok) {
            in.append(chunk, got);
            return true;
        }
        if (r == IO::Eof) {
            fail(onEof);
        } else if (r == IO::Error) {
            fail(error);
        }
        return false;
    }

    void setOut(std::string bytes)
    {
        out = std::move(bytes);
        outOffset = 0;
        payloadBegin = payloadEnd = 0;
    }

    // ---- SOCKS5 (RFC 1928, user name and password of RFC 1929) -----------------------------------

    void socksGreeting()
    {
        std::string hello = "\x05";
        if (!socksProxy.SOCKSUser.empty()) {
            hello += std::string("\x02\x00\x02", 3);
        } else {
            hello += std::string("\x01\x00", 2);
        }
        setOut(hello);
        in.clear();
        phase = Phase::SocksGreeting;
    }

    void socksConnect()
    {
        std::string request("\x05\x01\x00", 3);
        in_addr a4{};
        in6_addr a6{};
        if (::inet_pton(AF_INET, originHost.c_str(), &a4) == 1) {
            request += '\x01';
            request.append(reinterpret_cast<const char*>(&a4), 4);
        } else if (::inet_pton(AF_INET6, originHost.c_str(), &a6) == 1) {
            request += '\x04';
            request.append(reinterpret_cast<const char*>(&a6), 16);
        } else {
            if (originHost.size() > 255) {
                fail({kCFStreamErrorDomainSOCKS, -1});
                return;
            }
            request += '\x03';
            request += static_cast<char>(originHost.size());
            request += originHost;
        }
        request += static_cast<char>((originPort >> 8) & 0xff);
        request += static_cast<char>(originPort & 0xff);
        setOut(request);
        in.clear();
        phase = Phase::SocksConnect;
    }

    bool stepSocks()
    {
        if (!flushOut()) {
            return false;
        }
        if (!readHandshake({kCFStreamErrorDomainSOCKS, -1})) {
            return false;
        }
        auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
        if (phase == Phase::SocksGreeting) {
            if (in.size() < 2) {
                return true;
            }
            if (byte(0) != 5) {
                fail({kCFStreamErrorDomainSOCKS, -1});
            } else if (byte(1) == 0) {
                socksConnect();
            } else if (byte(1) == 2 && !socksProxy.SOCKSUser.empty()) {
                const std::string& user = socksProxy.SOCKSUser;
                const std::string& password = socksProxy.SOCKSPassword;
                if (user.size() > 255 || password.size() > 255) {
                    fail({kCFStreamErrorDomainSOCKS, -1});
                    return true;
                }
                setOut(std::string("\x01", 1) + static_cast<char>(user.size()) + user +
                       static_cast<char>(password.size()) + password);
                in.clear();
                phase = Phase::SocksAuth;
            } else {
                fail({kCFStreamErrorDomainSOCKS, -2});  // no acceptable authentication method
            }
            return true;
        }
        if (phase == Phase::SocksAuth) {
            if (in.size() < 2) {
                return true;
            }
            if (byte(1) != 0) {
                fail({kCFStreamErrorDomainSOCKS, -2});
            } else {
                socksConnect();
            }
            return true;
        }
        // SocksConnect: VER REP RSV ATYP BND.ADDR BND.PORT
        if (in.size() < 5) {
            return true;
        }
        if (byte(0) != 5) {
            fail({kCFStreamErrorDomainSOCKS, -1});
            return true;
        }
        if (byte(1) != 0) {
            fail({kCFStreamErrorDomainSOCKS, byte(1)});
            return true;
        }
        size_t total = byte(3) == 1 ? 10 : byte(3) == 4 ? 22 : byte(3) == 3 ? 7 + byte(4) : 0;
        if (total == 0) {
            fail({kCFStreamErrorDomainSOCKS, -1});
            return true;
        }
        if (in.size() < total) {
            return true;
        }
        if (in.size() > total) {
            fail({kCFStreamErrorDomainSOCKS, -1});  // the target cannot have spoken first
            return true;
        }
        in.clear();
        https ? startTLS() : startExchange();
        return true;
    }

    // ---- CONNECT through an HTTP proxy --------------------------------------------------------------

    void tunnelRequest()
    {
        std::string authority = originHost.find(':') != std::string::npos ? "[" + originHost + "]" : originHost;
        authority += ":" + std::to_string(originPort);
        std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
        if (auto credentials = request->copyHeaderFieldValue("Proxy-Authorization")) {
            head += "Proxy-Authorization: " + *credentials + "\r\n";
        }
        if (auto agent = request->copyHeaderFieldValue("User-Agent")) {
            head += "User-Agent: " + *agent + "\r\n";
        }
        head += "\r\n";
        setOut(head);
        in.clear();
        parser = std::make_unique<HTTPWire::ResponseParser>(false, true);
        phase = Phase::Tunnel;
    }

    bool stepTunnel()
    {
        if (!flushOut()) {
            return false;
        }
        char chunk[4096];
        size_t got = 0;
        CFStreamError error;
        IO r = conn->read(chunk, sizeof chunk, got, error);
        if (r == IO::WouldBlock) {
            return false;
        }
        if (r == IO::Error) {
            fail(error);
            return true;
        }
        if (r == IO::Eof) {
            fail({kCFStreamErrorDomainCFNetwork, kCFErrorHTTPConnectionLost});
            return true;
        }
        std::string bodyBytes;
        size_t consumed = parser->feed(std::string_view(chunk, got), bodyBytes);
        if (parser->failed()) {
            fail({kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPParseFailure});
            return true;
        }
        if (!parser->headerComplete()) {
            return true;
        }
        int code = parser->response()->getResponseStatusCode();
        if (code >= 200 && code < 300) {
            if (consumed != got) {
                fail({kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPParseFailure});
                return true;
            }
            parser.reset();
            startTLS();
            return true;
        }
        // The proxy refused the tunnel (a 407 challenge, a 502...): its answer is this stream's response,
        // so the client sees the status and the challenge. The request itself is never sent.
        phase = Phase::Exchange;
        owner->setStatus(kCFStreamStatusOpen);
        owner->signalEvent(kCFStreamEventOpenCompleted);
        requestSent = true;
        reusable = false;
        buffer += bodyBytes;
        takeResponseHeader();
        if (parser->done()) {
            complete();
        }
        signalAvailability();
        return true;
    }

    // ---- TLS ---------------------------------------------------------------------------------------

    void startTLS()
    {
        std::string name = ssl.peerName ? *ssl.peerName : originHost;
        std::vector<Ref<NSObject>> extra;
        Ref<SecIdentity> identity = clientIdentity();
        for (size_t i = identity ? 1 : 0; i < ssl.certificates.size(); ++i) {
            extra.push_back(ssl.certificates[i]);
        }
        if (!conn->startTLS(Transport::clientContext(ssl.validatesCertificateChain), name,
                            ssl.validatesCertificateChain, identity, extra)) {
            fail({kCFStreamErrorDomainSSL, identity ? errSSLBadCert : errSSLProtocol});
            return;
        }
        phase = Phase::TLSHandshake;
    }

    bool stepTLS()
    {
        CFStreamError error;
        IO r = conn->handshake(error);
        if (r == IO::WouldBlock) {
            return false;
        }
        if (r == IO::Ok) {
            startExchange();
        } else {
            fail(error);
        }
        return true;
    }

    // ---- The exchange -------------------------------------------------------------------------------

    void startExchange()
    {
        phase = Phase::Exchange;
        reusedConnection = conn->reused();
        owner->setStatus(kCFStreamStatusOpen);
        owner->signalEvent(kCFStreamEventOpenCompleted);
        HTTPWire::RequestHeadOptions options;
        options.absoluteForm = route == Transport::kHTTPProxy;
        options.sendProxyAuthorization = route == Transport::kHTTPProxy;
        options.persistent = persistent;
        options.chunkedBody = chunked;
        if (!callerSetLength) {
            options.contentLength = bodyLength;
        }
        setOut(HTTPWire::requestHead(*request, options));
        parser = std::make_unique<HTTPWire::ResponseParser>(request->copyRequestMethod() == "HEAD");
    }

    // Puts the next piece of the body into `out`. False when there is nothing more to send now.
    bool refillOut()
    {
        setOut(std::string());
        if (bodyEOF) {
            requestSent = true;
            return false;
        }
        uint64_t want = kBodyChunk;
        if (bodyLength) {
            want = std::min<uint64_t>(want, *bodyLength - bodyQueued);
        }
        std::string data;
        bool eof = false;
        if (want == 0) {
            eof = true;
        } else if (!body) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(want, memoryBody.size() - memoryOffset));
            data = memoryBody.substr(memoryOffset, n);
            memoryOffset += n;
            eof = n == 0;
        } else {
            data.resize(static_cast<size_t>(want));
            CFIndex n = body->read(reinterpret_cast<uint8_t*>(data.data()), static_cast<CFIndex>(want));
            if (phase != Phase::Exchange) {
                return false;  // the body stream's owner closed or failed this stream meanwhile
            }
            if (n < 0) {
                CFStreamError error = body->getError();
                fail(error ? error : CFStreamError{kCFStreamErrorDomainPOSIX, EIO});
                return false;
            }
            data.resize(static_cast<size_t>(n));
            eof = n == 0;
        }
        if (eof) {
            bodyEOF = true;
            if (bodyLength && bodyQueued < *bodyLength) {
                // The body ended before the length the request announced: the server would wait for the
                // rest for ever.
                fail({kCFStreamErrorDomainPOSIX, EIO});
                return false;
            }
            if (chunked) {
                setOut("0\r\n\r\n");
                return true;
            }
            requestSent = true;
            return false;
        }
        bodyQueued += data.size();
        if (chunked) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", data.size());
            out = size;
            payloadBegin = out.size();
            out += data;
            payloadEnd = out.size();
            out += "\r\n";
        } else {
            out = std::move(data);
            payloadBegin = 0;
            payloadEnd = out.size();
        }
        return true;
    }

    // Sends what the connection takes of the request, then, when `thenRead`, reads what has come.
    bool stepExchange(bool thenRead = true)
    {
        bool progress = false;
        while (!requestSent && !stopSending && phase == Phase::Exchange) {
            if (outOffset == out.size() && !refillOut()) {
                break;
            }
            if (phase != Phase::Exchange) {
                return true;
            }
            size_t put = 0;
            CFStreamError error;
            IO r = conn->write(out.data() + outOffset, out.size() - outOffset, put, error);
            if (r == IO::WouldBlock) {
                break;
            }
            if (r != IO::Ok) {
                if (parser->sawBytes()) {
                    // The server answered early and closed its side: read what it said.
                    stopSending = true;
                    reusable = false;
                    break;
                }
                fail(error);
                return true;
            }
            size_t begin = std::max(outOffset, payloadBegin);
            size_t end = std::min(outOffset + put, payloadEnd);
            if (end > begin) {
                bytesWritten += end - begin;
            }
            outOffset += put;
            progress = true;
        }
        if (!thenRead || phase != Phase::Exchange || buffered() >= kMaxBuffered) {
            return progress;
        }
        char chunk[kReadChunk];
        size_t got = 0;
        CFStreamError error;
        IO r = conn->read(chunk, sizeof chunk, got, error);
        if (r == IO::Ok) {
            feed(std::string_view(chunk, got));
            return true;
        }
        if (r == IO::Eof) {
            endOfConnection();
            return true;
        }
        if (r == IO::Error) {
            fail(error);
            return true;
        }
        return progress;
    }

    void feed(std::string_view bytes)
    {
        size_t consumed = parser->feed(bytes, buffer);
        if (parser->failed()) {
            fail({kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPParseFailure});
            return;
        }
        if (consumed < bytes.size()) {
            reusable = false;  // bytes after the response: the connection's framing cannot be trusted
        }
        if (!responseHeader && parser->headerComplete()) {
            takeResponseHeader();
            if (!requestSent) {
                stopSending = true;  // answered before the whole body went out
                reusable = false;
            }
        }
        if (parser->done()) {
            complete();
        }
        signalAvailability();
    }

    void endOfConnection()
    {
        if (!parser->sawBytes() && reusedConnection) {
            // The idle connection was closed by the server just as it was reused.
            fail({kCFStreamErrorDomainCFNetwork, kCFURLErrorNetworkConnectionLost});
            return;
        }
        parser->finish();
        if (parser->done()) {
            reusable = false;
            if (!responseHeader) {
                takeResponseHeader();
            }
            complete();
            signalAvailability();
        } else {
            // The connection ended before the header, or before the body it announced, was complete.
            fail({kCFStreamErrorDomainCFNetwork, kCFErrorHTTPConnectionLost});
        }
    }

    void complete()
    {
        phase = Phase::Done;
        removeIoSource();
        bool keep = reusable && requestSent && persistent && streamID && parser->connectionReusable();
        if (auto connection = request->copyHeaderFieldValue("Connection")) {
            if (NSString::asciiLowercaseString(*connection).find("close") != std::string::npos) {
                keep = false;
            }
        }
        if (keep) {
            Transport::Registry::park(*streamID, std::move(conn), serial, watchLoop, watchModes);
        }
        dispose(std::move(conn));
    }

    void signalAvailability()
    {
        if (!responseHeader || phase == Phase::Failed || phase == Phase::Closed) {
            return;
        }
        if (buffered() > 0) {
            if (armed) {
                armed = false;
                owner->signalEvent(kCFStreamEventHasBytesAvailable);
            }
        } else if (phase == Phase::Done && !endSignalled) {
            endSignalled = true;
            owner->setStatus(kCFStreamStatusAtEnd);
            owner->signalEvent(kCFStreamEventEndEncountered);
        }
    }

    CFIndex read(uint8_t* destination, CFIndex length)
    {
        CFStreamStatus status = owner->getStatus();
        if (status == kCFStreamStatusNotOpen || status == kCFStreamStatusClosed || status == kCFStreamStatusError ||
            length < 0) {
            return -1;
        }
        while (buffered() == 0 && active()) {
            waitForProgress();
        }
        if (phase == Phase::Failed || phase == Phase::Closed) {
            return -1;
        }
        if (buffered() == 0) {
            signalAvailability();
            return 0;
        }
        bool wasCapped = buffered() >= kMaxBuffered;
        size_t n = std::min(static_cast<size_t>(length), buffered());
        std::memcpy(destination, buffer.data() + bufferOffset, n);
        bufferOffset += n;
        if (bufferOffset == buffer.size()) {
            buffer.clear();
            bufferOffset = 0;
        } else if (bufferOffset > kMaxBuffered) {
            buffer.erase(0, bufferOffset);
            bufferOffset = 0;
        }
        armed = true;
        signalAvailability();
        if (wasCapped && !pumping) {
            updateInterest();
        }
        return static_cast<CFIndex>(n);
    }

    // A blocking read: drives the exchange directly until it has something to give.
    void waitForProgress()
    {
        pump();
        if (buffered() > 0 || !active()) {
            return;
        }
        int fd = -1;
        unsigned events = 0;
        interest(fd, events);
        if (fd < 0) {
            return;
        }
        short wanted = 0;
        if (events & CFRunLoopSource::kReadable) {
            wanted |= POLLIN;
        }
        if (events & CFRunLoopSource::kWritable) {
            wanted |= POLLOUT;
        }
        pollfd p{fd, wanted, 0};
        ::poll(&p, 1, 1000);
    }

    // ---- Driving -----------------------------------------------------------------------------------

    bool step()
    {
        switch (phase) {
        case Phase::Resolving: {
            if (!lookup->done()) {
                return false;
            }
            int code = lookup->errorCode();
            addresses = lookup->addresses();
            removeIoSource();
            dispose(std::move(lookup));
            if (code != 0 || addresses.empty()) {
                fail({kCFStreamErrorDomainNetDB, code != 0 ? code : EAI_NONAME});
            } else {
                startNextAddress();
            }
            return true;
        }
        case Phase::Connecting:
            return stepConnecting();
        case Phase::SocksGreeting:
        case Phase::SocksAuth:
        case Phase::SocksConnect:
            return stepSocks();
        case Phase::Tunnel:
            return stepTunnel();
        case Phase::TLSHandshake:
            return stepTLS();
        case Phase::Exchange:
            return stepExchange();
        default:
            return false;
        }
    }

    void pump()
    {
        if (pumping) {
            return;
        }
        pumping = true;
        auto keep = owner->shared_from_this();
        while (active() && step()) {
        }
        pumping = false;
        updateInterest();
    }

    void interest(int& fd, unsigned& events) const
    {
        fd = -1;
        events = 0;
        switch (phase) {
        case Phase::Resolving:
            fd = lookup ? lookup->eventFd() : -1;
            events = CFRunLoopSource::kReadable;
            return;
        case Phase::Connecting:
            fd = conn->fd();
            events = CFRunLoopSource::kWritable;
            return;
        case Phase::SocksGreeting:
        case Phase::SocksAuth:
        case Phase::SocksConnect:
        case Phase::Tunnel:
            fd = conn->fd();
            events = outOffset < out.size() ? CFRunLoopSource::kWritable : CFRunLoopSource::kReadable;
            return;
        case Phase::TLSHandshake:
            fd = conn->fd();
            events = (conn->wantsRead() ? unsigned(CFRunLoopSource::kReadable) : 0u) |
                     (conn->wantsWrite() ? unsigned(CFRunLoopSource::kWritable) : 0u);
            if (!events) {
                events = CFRunLoopSource::kReadable | CFRunLoopSource::kWritable;
            }
            return;
        case Phase::Exchange:
            fd = conn->fd();
            if (buffered() < kMaxBuffered) {
                events |= CFRunLoopSource::kReadable;
            }
            if (!requestSent && !stopSending) {
                events |= CFRunLoopSource::kWritable;
            }
            if (conn->wantsRead()) {
                events |= CFRunLoopSource::kReadable;
            }
            return;
        default:
            return;
        }
    }

    void removeIoSource()
    {
        if (ioSource) {
            ioSource->invalidate();
            ioSource.reset();
        }
        ioFd = -1;
        ioEvents = 0;
    }

    // Closes a descriptor the run loop may have watched only after the loop has dropped it from its
    // watch set: the loop keys its set by descriptor number, so a number closed and reused (by the next
    // socket) before the loop re-arms would otherwise stay silent. The object is released by a task on
    // that loop; a descriptor no loop watched closes at once.
    template <class T>
    void dispose(T holder)
    {
        if (!holder) {
            return;
        }
        Transport::disposeAfterLoopTurn(std::shared_ptr<void>(std::move(holder)), watchLoop, watchModes);
    }

    void releaseDescriptors()
    {
        removeIoSource();
        dispose(std::move(conn));
        dispose(std::move(lookup));
    }

    void updateInterest()
    {
        int fd = -1;
        unsigned events = 0;
        interest(fd, events);
        auto loop = owner->scheduledRunLoop();
        if (!loop || fd < 0 || events == 0) {
            removeIoSource();
            return;
        }
        if (ioSource && ioFd == fd) {
            if (events != ioEvents) {
                ioSource->setEvents(events);
                ioEvents = events;
            }
            return;
        }
        removeIoSource();
        std::weak_ptr<NSObject> weak = owner->weak_from_this();
        ioSource = CFRunLoopSource::createForFd(fd, events, [weak](unsigned) {
            if (auto self = std::static_pointer_cast<CFHTTPReadStream>(weak.lock())) {
                self->impl_->pump();
            }
        });
        ioFd = fd;
        ioEvents = events;
        watchLoop = loop;
        watchModes.assign(owner->scheduledModes().begin(), owner->scheduledModes().end());
        for (const auto& mode : owner->scheduledModes()) {
            loop->addSource(ioSource, mode);
        }
    }
};

// ---- CFHTTPReadStream -----------------------------------------------------------------------------------

Ref<CFHTTPReadStream> CFReadStream::createForHTTPRequest(const Ref<CFHTTPMessage>& request)
{
    if (!request || !request->isRequest() || !request->copyRequestURL()) {
        return nullptr;
    }
    auto impl = std::make_unique<CFHTTPReadStream::Impl>();
    impl->request = request;
    auto stream = std::make_shared<CFHTTPReadStream>(std::move(impl));
    return stream;
}

Ref<CFHTTPReadStream> CFReadStream::createForStreamedHTTPRequest(const Ref<CFHTTPMessage>& requestHeaders,
                                                                 const Ref<CFReadStream>& body)
{
    if (!body) {
        return nullptr;
    }
    auto stream = createForHTTPRequest(requestHeaders);
    if (stream) {
        stream->impl_->body = body;
    }
    return stream;
}

CFHTTPReadStream::CFHTTPReadStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl))
{
    impl_->owner = this;
}

CFHTTPReadStream::~CFHTTPReadStream()
{
    impl_->releaseDescriptors();
    Transport::Registry::releaseOwner(impl_->serial);
}

void CFHTTPReadStream::setAttemptPersistentConnection(bool value)
{
    impl_->persistent = value;
}

bool CFHTTPReadStream::attemptPersistentConnection() const
{
    return impl_->persistent;
}

void CFHTTPReadStream::setHTTPStreamID(std::optional<int64_t> id)
{
    impl_->streamID = id;
}

std::optional<int64_t> CFHTTPReadStream::httpStreamID() const
{
    return impl_->streamID;
}

void CFHTTPReadStream::setSSLSettings(CFSSLSettings settings)
{
    impl_->ssl = std::move(settings);
}

void CFHTTPReadStream::setHTTPProxy(CFHTTPProxySettings settings)
{
    impl_->httpProxy = std::move(settings);
}

void CFHTTPReadStream::setSOCKSProxy(CFSOCKSProxySettings settings)
{
    impl_->socksProxy = std::move(settings);
}

Ref<CFHTTPMessage> CFHTTPReadStream::copyResponseHeader() const
{
    return impl_->responseHeader;
}

uint64_t CFHTTPReadStream::requestBytesWrittenCount() const
{
    return impl_->bytesWritten;
}

bool CFHTTPReadStream::connectionWasReused() const
{
    return impl_->reusedConnection;
}

const Ref<CFHTTPMessage>& CFHTTPReadStream::request() const
{
    return impl_->request;
}

bool CFHTTPReadStream::open()
{
    if (getStatus() != kCFStreamStatusNotOpen) {
        return false;
    }
    return impl_->open();
}

CFIndex CFHTTPReadStream::read(uint8_t* buffer, CFIndex length)
{
    return impl_->read(buffer, length);
}

bool CFHTTPReadStream::hasBytesAvailable()
{
    return impl_->buffered() > 0 && impl_->phase != Impl::Phase::Failed && impl_->phase != Impl::Phase::Closed;
}

void CFHTTPReadStream::close()
{
    if (getStatus() == kCFStreamStatusClosed) {
        return;
    }
    impl_->close();
    CFReadStream::close();
}

void CFHTTPReadStream::schedulingChanged()
{
    impl_->removeIoSource();
    if (!impl_->pumping) {
        impl_->updateInterest();
    }
}

void CFHTTPReadStream::closeIdleConnections()
{
    Transport::Registry::closeAll();
}

size_t CFHTTPReadStream::idleConnectionCount()
{
    return Transport::Registry::count();
}
