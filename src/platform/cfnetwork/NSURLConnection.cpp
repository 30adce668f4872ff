#include "platform/cfnetwork/NSURLConnection.h"

#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <set>

#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "platform/cfnetwork/NSHTTPCookie.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSString.h"

namespace {

constexpr long NSURLErrorCannotDecodeContentData = -1016;
constexpr char kSynchronousMode[] = "NSURLConnectionSynchronousRequestMode";

bool isHTTPScheme(const Ref<NSURL>& url)
{
    if (!url) {
        return false;
    }
    std::string scheme = NSString::asciiLowercaseString(url->scheme());
    return scheme == "http" || scheme == "https";
}

long urlErrorCode(const CFStreamError& error)
{
    if (error.isConnectionLost()) {
        return NSURLErrorNetworkConnectionLost;
    }
    switch (error.domain) {
    case kCFStreamErrorDomainSSL:
        switch (error.error) {
        case errSSLXCertChainInvalid:
        case errSSLUnknownRootCert:
        case errSSLNoRootCert:
        case errSSLCertExpired:
        case errSSLCertNotYetValid:
            return NSURLErrorServerCertificateUntrusted;
        default:
            return NSURLErrorSecureConnectionFailed;
        }
    case kCFStreamErrorDomainNetDB:
        return NSURLErrorCannotFindHost;
    case kCFStreamErrorDomainPOSIX:
        switch (error.error) {
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ETIMEDOUT:
            return NSURLErrorCannotConnectToHost;
        default:
            return NSURLErrorNetworkConnectionLost;
        }
    case kCFStreamErrorDomainSOCKS:
        return NSURLErrorCannotConnectToHost;
    case kCFStreamErrorDomainHTTP:
        return NSURLErrorBadServerResponse;
    case kCFStreamErrorDomainCFNetwork:
        return NSURLErrorNetworkConnectionLost;
    default:
        return NSURLErrorUnknown;
    }
}

std::string urlErrorText(long code)
{
    switch (code) {
    case NSURLErrorTimedOut:
        return "The request timed out.";
    case NSURLErrorUnsupportedURL:
        return "unsupported URL";
    case NSURLErrorCannotFindHost:
        return "A server with the specified hostname could not be found.";
    case NSURLErrorCannotConnectToHost:
        return "Could not connect to the server.";
    case NSURLErrorNetworkConnectionLost:
        return "The network connection was lost.";
    case NSURLErrorHTTPTooManyRedirects:
        return "too many HTTP redirects";
    case NSURLErrorBadServerResponse:
        return "The server returned a response that could not be understood.";
    case NSURLErrorCannotDecodeContentData:
        return "cannot decode content data";
    case NSURLErrorSecureConnectionFailed:
        return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case NSURLErrorServerCertificateUntrusted:
        return "The certificate for this server is invalid.";
    default:
        return "unknown error";
    }
}

}  // namespace

struct NSURLConnection::Impl {
    NSURLConnection* owner = nullptr;
    Ref<NSURLRequest> original;
    Ref<NSURLRequest> current;
    std::shared_ptr<NSURLConnectionDelegate> delegate;
    Ref<NSURLConnection> keepAlive;  // the connection holds itself while it loads
    std::weak_ptr<NSRunLoop> loop;
    std::set<std::string> modes;
    Ref<CFHTTPReadStream> stream;
    Ref<NSTimer> timer;
    double lastActivity = 0;
    int redirects = 0;
    bool started = false;
    bool ended = false;  // finished, failed or cancelled
    bool headerHandled = false;

    z_stream zs{};
    bool inflating = false;
    bool inflaterOpen = false;
    bool inflaterDone = false;
    bool rawDeflateTried = false;
    bool sawCompressedBytes = false;

    // ---- Loading ---------------------------------------------------------------------------------

    void begin()
    {
        headerHandled = false;
        closeInflater();
        if (!isHTTPScheme(current->URL())) {
            fail(NSURLErrorUnsupportedURL, {});
            return;
        }
        auto message = CFHTTPMessage::createRequest(current->HTTPMethod(), current->URL(), kCFHTTPVersion1_1);
        if (!message) {
            fail(current->URL() ? NSURLErrorUnsupportedURL : NSURLErrorBadURL, {});
            return;
        }
        for (const auto& [name, value] : current->allHTTPHeaderFields()) {
            message->setHeaderFieldValue(name, value);
        }
        if (current->HTTPShouldHandleCookies() && !message->copyHeaderFieldValue("Cookie")) {
            auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(current->URL());
            auto header = NSHTTPCookie::requestHeaderFieldsWithCookies(cookies);
            if (auto value = header.get("Cookie")) {
                message->setHeaderFieldValue("Cookie", *value);
            }
        }
        if (!message->copyHeaderFieldValue("Accept-Encoding")) {
            message->setHeaderFieldValue("Accept-Encoding", "gzip, deflate");
        }
        if (!current->HTTPBody().empty()) {
            message->setBody(current->HTTPBody().string());
        }
        stream = CFReadStream::createForHTTPRequest(message);
        std::weak_ptr<NSObject> weak = owner->weak_from_this();
        stream->setClient(kCFStreamEventHasBytesAvailable | kCFStreamEventEndEncountered | kCFStreamEventErrorOccurred |
                              kCFStreamEventOpenCompleted,
                          [weak](CFReadStream&, CFStreamEventType event) {
                              if (auto self = std::static_pointer_cast<NSURLConnection>(weak.lock())) {
                                  self->impl_->handle(event);
                              }
                          });
        if (auto l = loop.lock()) {
            for (const auto& mode : modes) {
                stream->scheduleWithRunLoop(l, mode);
            }
        }
        touch();
        stream->open();
    }

    void touch() { lastActivity = Clock::now(); }

    void startTimer()
    {
        double timeout = current->timeoutInterval();
        auto l = loop.lock();
        if (timeout <= 0 || !l) {
            return;
        }
        std::weak_ptr<NSObject> weak = owner->weak_from_this();
        timer = NSTimer::timerWithFireDate(Clock::now() + timeout, timeout, true, [weak](NSTimer& t) {
            auto self = std::static_pointer_cast<NSURLConnection>(weak.lock());
            if (!self || self->impl_->ended) {
                t.invalidate();
                return;
            }
            Impl& d = *self->impl_;
            double due = d.lastActivity + d.current->timeoutInterval();
            if (Clock::now() >= due) {
                d.fail(NSURLErrorTimedOut, {});
            } else {
                t.setFireDate(due);
            }
        });
        for (const auto& mode : modes) {
            l->addTimer(timer, mode);
        }
    }

    void handle(CFStreamEventType event)
    {
        if (ended) {
            return;
        }
        auto self = keepAlive;  // callbacks may cancel and release the connection
        touch();
        switch (event) {
        case kCFStreamEventHasBytesAvailable:
            if (!headerHandled && !handleHeader()) {
                return;
            }
            readAvailable();
            break;
        case kCFStreamEventEndEncountered:
            if (!headerHandled && !handleHeader()) {
                return;
            }
            readAvailable();
            if (ended) {
                return;
            }
            if (inflating && sawCompressedBytes && !inflaterDone) {
                fail(NSURLErrorCannotDecodeContentData, {});  // the compressed body was cut short
                return;
            }
            finish();
            break;
        case kCFStreamEventErrorOccurred:
            fail(urlErrorCode(stream->getError()), stream->getError());
            break;
        default:
            break;
        }
    }

    // Reads the response header: follows a redirect (false: this stream is done with) or delivers the
    // response (true).
    bool handleHeader()
    {
        headerHandled = true;
        auto header = stream->copyResponseHeader();
        if (!header) {
            fail(NSURLErrorBadServerResponse, {});
            return false;
        }
        if (current->HTTPShouldHandleCookies()) {
            auto cookies = NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(header->rawHeaderFields(), current->URL());
            NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookies_forURL_mainDocumentURL(
                cookies, current->URL(), current->mainDocumentURL());
        }
        auto response = NSHTTPURLResponse::responseWithMessage(current->URL(), *header);
        int status = header->getResponseStatusCode();
        auto location = header->copyHeaderFieldValue("Location");
        if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) && location) {
            auto target = NSURL::URLWithString_relativeToURL(*location, current->URL());
            if (!target) {
                fail(NSURLErrorBadServerResponse, {});
                return false;
            }
            target = target->absoluteURL();
            if (!isHTTPScheme(target)) {
                fail(NSURLErrorUnsupportedURL, {});
                return false;
            }
            auto next = current->mutableCopy();
            next->setURL(target);
            std::string method = current->HTTPMethod();
            if (status == 303 || ((status == 301 || status == 302) && method == "POST")) {
                next->setHTTPMethod(method == "HEAD" ? "HEAD" : "GET");
                next->setHTTPBody(NSData());
                next->setValue_forHTTPHeaderField(std::nullopt, "Content-Type");
                next->setValue_forHTTPHeaderField(std::nullopt, "Content-Length");
            }
            if (NSString::asciiLowercaseString(target->host()) != NSString::asciiLowercaseString(current->URL()->host()) || target->port() != current->URL()->port() ||
                NSString::asciiLowercaseString(target->scheme()) != NSString::asciiLowercaseString(current->URL()->scheme())) {
                // Credentials are for the host that asked for them.
                next->setValue_forHTTPHeaderField(std::nullopt, "Authorization");
            }
            Ref<NSURLRequest> chosen = next;
            if (delegate) {
                chosen = delegate->connection_willSendRequest_redirectResponse(owner, next, response);
                if (ended) {
                    return false;
                }
            }
            if (chosen) {
                if (++redirects > kMaxRedirects) {
                    fail(NSURLErrorHTTPTooManyRedirects, {});
                    return false;
                }
                stream->close();
                current = chosen;
                begin();
                return false;
            }
            // The delegate refused: the redirect response is the response.
        }
        std::string encoding = NSString::asciiLowercaseString(header->copyAllHeaderFields().valueForKey("Content-Encoding"));
        if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
            inflating = inflateInit2(&zs, 15 + 32) == Z_OK;
            inflaterOpen = inflating;
        }
        if (delegate) {
            delegate->connection_didReceiveResponse(owner, response);
        }
        return !ended;
    }

    void readAvailable()
    {
        std::string chunk(64 * 1024, '\0');
        while (!ended && stream && stream->hasBytesAvailable()) {
            CFIndex n = stream->read(reinterpret_cast<uint8_t*>(chunk.data()), static_cast<CFIndex>(chunk.size()));
            if (n <= 0) {
                return;
            }
            std::string_view bytes(chunk.data(), static_cast<size_t>(n));
            if (inflating) {
                std::string plain;
                if (!inflateBytes(bytes, plain)) {
                    fail(NSURLErrorCannotDecodeContentData, {});
                    return;
                }
                if (!plain.empty() && delegate) {
                    delegate->connection_didReceiveData(owner, NSData::dataWithString(plain));
                }
            } else if (delegate) {
                delegate->connection_didReceiveData(owner, NSData::dataWithString(bytes));
            }
        }
    }

    // Inflates a piece of a gzip or zlib body. Output still held by zlib when the input runs out is
    // drained too, so a highly compressed body is never cut short.
    bool inflateBytes(std::string_view in, std::string& out)
    {
        sawCompressedBytes = sawCompressedBytes || !in.empty();
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        zs.avail_in = static_cast<uInt>(in.size());
        unsigned char buffer[32768];
        while (zs.avail_in > 0 || !inflaterDone) {
            if (inflaterDone) {
                // Another gzip member follows.
                inflateReset(&zs);
                inflaterDone = false;
            }
            zs.next_out = buffer;
            zs.avail_out = sizeof buffer;
            int rc = inflate(&zs, Z_NO_FLUSH);
            out.append(reinterpret_cast<char*>(buffer), sizeof buffer - zs.avail_out);
            if (rc == Z_STREAM_END) {
                inflaterDone = true;
                continue;
            }
            if (rc == Z_DATA_ERROR && !rawDeflateTried && zs.total_out == 0) {
                // "deflate" bodies are sometimes raw deflate without the zlib wrapper.
                rawDeflateTried = true;
                inflateEnd(&zs);
                inflateInit2(&zs, -15);
                zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
                zs.avail_in = static_cast<uInt>(in.size());
                out.clear();
                continue;
            }
            if (rc == Z_BUF_ERROR || (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0)) {
                break;  // needs more input
            }
            if (rc != Z_OK) {
                return false;
            }
        }
        return true;
    }

    void closeInflater()
    {
        if (inflaterOpen) {
            inflateEnd(&zs);
        }
        zs = z_stream{};
        inflating = inflaterOpen = inflaterDone = rawDeflateTried = sawCompressedBytes = false;
    }

    // ---- Endings ---------------------------------------------------------------------------------

    void stopLoading()
    {
        if (stream) {
            stream->close();
            stream.reset();
        }
        if (timer) {
            timer->invalidate();
            timer.reset();
        }
        closeInflater();
    }

    void finish()
    {
        ended = true;
        stopLoading();
        auto d = std::move(delegate);
        auto self = std::move(keepAlive);
        if (d) {
            d->connectionDidFinishLoading(owner);
        }
    }

    void fail(long code, CFStreamError underlying)
    {
        if (ended) {
            return;
        }
        ended = true;
        stopLoading();
        Value info = Value::dictionary({{NSLocalizedDescriptionKey, urlErrorText(code)}});
        if (current && current->URL()) {
            info.setObject_forKey(current->URL()->absoluteString(), "NSErrorFailingURLStringKey");
        }
        if (underlying) {
            info.setObject_forKey(
                NSError::errorWithDomain_code_userInfo(
                    underlying.domainName(), underlying.error,
                    Value::dictionary({{NSLocalizedDescriptionKey, underlying.description()}})),
                NSUnderlyingErrorKey);
        }
        auto error = NSError::errorWithDomain_code_userInfo(NSURLErrorDomain, code, info);
        auto d = std::move(delegate);
        auto self = std::move(keepAlive);
        if (d) {
            d->connection_didFailWithError(owner, error);
        }
    }
};

NSURLConnection::NSURLConnection() : impl_(std::make_unique<Impl>())
{
    impl_->owner = this;
}

NSURLConnection::~NSURLConnection()
{
    impl_->stopLoading();
}

Ref<NSURLConnection> NSURLConnection::connectionWithRequest_delegate(
    const Ref<NSURLRequest>& request, const std::shared_ptr<NSURLConnectionDelegate>& delegate)
{
    return initWithRequest_delegate_startImmediately(request, delegate, true);
}

Ref<NSURLConnection> NSURLConnection::initWithRequest_delegate_startImmediately(
    const Ref<NSURLRequest>& request, const std::shared_ptr<NSURLConnectionDelegate>& delegate, bool startImmediately)
{
    if (!request) {
        return nullptr;
    }
    auto connection = std::make_shared<NSURLConnection>();
    connection->impl_->original = request;
    connection->impl_->current = request;
    connection->impl_->delegate = delegate;
    if (startImmediately) {
        connection->start();
    }
    return connection;
}

bool NSURLConnection::canHandleRequest(const Ref<NSURLRequest>& request)
{
    return request && isHTTPScheme(request->URL());
}

void NSURLConnection::scheduleInRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode)
{
    Impl& d = *impl_;
    auto current = d.loop.lock();
    if (!loop || (current && current != loop)) {
        return;  // one run loop per connection
    }
    d.loop = loop;
    if (!d.modes.insert(mode).second) {
        return;
    }
    if (d.stream) {
        d.stream->scheduleWithRunLoop(loop, mode);
    }
    if (d.timer) {
        loop->addTimer(d.timer, mode);
    }
}

void NSURLConnection::unscheduleFromRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode)
{
    Impl& d = *impl_;
    if (!d.modes.erase(mode)) {
        return;
    }
    if (d.stream) {
        d.stream->unscheduleFromRunLoop(loop, mode);
    }
}

void NSURLConnection::start()
{
    Impl& d = *impl_;
    if (d.started || d.ended) {
        return;
    }
    d.started = true;
    if (d.modes.empty()) {
        scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopDefaultMode);
    }
    d.keepAlive = std::static_pointer_cast<NSURLConnection>(shared_from_this());
    if (!canHandleRequest(d.current)) {
        // Reported from the run loop, as every other outcome is.
        std::weak_ptr<NSObject> weak = weak_from_this();
        if (auto loop = d.loop.lock()) {
            loop->performBlock(
                [weak] {
                    if (auto self = std::static_pointer_cast<NSURLConnection>(weak.lock())) {
                        self->impl_->fail(NSURLErrorUnsupportedURL, {});
                    }
                },
                RunLoopModes(d.modes.begin(), d.modes.end()));
        }
        return;
    }
    d.startTimer();
    d.begin();
}

void NSURLConnection::cancel()
{
    Impl& d = *impl_;
    if (d.ended) {
        return;
    }
    d.ended = true;
    d.stopLoading();
    d.delegate.reset();
    auto self = std::move(d.keepAlive);  // released as this call returns
}

const Ref<NSURLRequest>& NSURLConnection::originalRequest() const
{
    return impl_->original;
}

const Ref<NSURLRequest>& NSURLConnection::currentRequest() const
{
    return impl_->current;
}

namespace {

class SynchronousCollector : public NSURLConnectionDelegate {
public:
    void connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& r) override
    {
        response = r;
        data = NSData();
    }
    void connection_didReceiveData(NSURLConnection*, const NSData& bytes) override { data.appendData(bytes); }
    void connectionDidFinishLoading(NSURLConnection*) override { done = true; }
    void connection_didFailWithError(NSURLConnection*, const Ref<NSError>& e) override
    {
        error = e;
        done = true;
    }

    Ref<NSURLResponse> response;
    NSData data;
    Ref<NSError> error;
    bool done = false;
};

}  // namespace

std::optional<NSData> NSURLConnection::sendSynchronousRequest_returningResponse_error(const Ref<NSURLRequest>& request,
                                                                                     Ref<NSURLResponse>* response,
                                                                                     Ref<NSError>* error)
{
    auto collector = std::make_shared<SynchronousCollector>();
    auto connection = initWithRequest_delegate_startImmediately(request, collector, false);
    if (!connection) {
        return std::nullopt;
    }
    auto loop = NSRunLoop::currentRunLoop();
    // A private mode: the caller's other work waits until the request is done, as on the phone.
    connection->scheduleInRunLoop_forMode(loop, kSynchronousMode);
    connection->start();
    while (!collector->done) {
        loop->runUntil([&] { return collector->done; }, std::chrono::hours(24), kSynchronousMode);
    }
    if (response) {
        *response = collector->response;
    }
    if (error) {
        *error = collector->error;
    }
    if (collector->error) {
        return std::nullopt;
    }
    return collector->data;
}
