// Reading the response: the stream's events, the response header (status, headers, the length, whether
// the connection may be kept), the body into memory, and the end of the exchange.
//
// This is the core every request needs. The rest of the response work hangs off the same functions:
// character sets and cookies (readResponseHeaders), redirects (readResponseHeaders and after the event
// in handleNetworkEvent), challenges (authenticationNeeded), the body handed to the delegate or written
// to a file (handleBytesAvailable, handleStreamComplete), inflating on the fly, and throttled reads.
#include <vector>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/foundation/Clock.h"

namespace {

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A decimal integer at `position` (white space skipped, optional sign), as a scanner reads it; 0 when
// there is none. `position` moves past what was read.
long long scanInteger(std::string_view text, size_t& position)
{
    while (position < text.size() && (text[position] == ' ' || text[position] == '\t')) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == '-' || text[position] == '+')) {
        negative = text[position] == '-';
        ++position;
    }
    long long value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        if (value < 1000000000000LL) {
            value = value * 10 + (text[position] - '0');
        }
        ++position;
    }
    return negative ? -value : value;
}

std::optional<unsigned long long> parseLength(const std::optional<std::string>& value)
{
    if (!value || value->empty() || value->size() > 19) {
        return std::nullopt;
    }
    unsigned long long n = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned long long>(c - '0');
    }
    return n;
}

}  // namespace

void HTTPRequest::handleNetworkEvent(CFStreamEventType type)
{
    auto request = self<HTTPRequest>();
    {
        std::lock_guard lock(*cancelledLock_);
        if (complete_ || cancelledFlag_) {
            return;
        }
        if (type == kCFStreamEventEndEncountered) {
            handleStreamComplete();
        } else if (type == kCFStreamEventErrorOccurred) {
            handleStreamError();
        } else if (type == kCFStreamEventHasBytesAvailable) {
            handleBytesAvailable();
        }
        performThrottling();
    }
    // Once the download is complete, a redirect or a challenge continues the request from here.
}

void HTTPRequest::readResponseHeaders()
{
    Ref<CFHTTPReadStream> stream = readStream();
    Ref<CFHTTPMessage> message = stream ? stream->copyResponseHeader() : nullptr;
    if (!message || !message->isHeaderComplete()) {
        return;
    }
    responseHeadersRead_ = true;
    const HTTPHeaderFields headers = message->copyAllHeaderFields();
    setResponseHeaders(headers);
    setResponseStatusCode(message->getResponseStatusCode());
    setResponseStatusMessage(message->copyResponseStatusLine());

    if (auto length = parseLength(headers.get("Content-Length"))) {
        setContentLength(*length);
    }

    // Whether the connection may be kept for a later request.
    if (shouldAttemptPersistentConnection()) {
        const std::string connection = lowered(headers.valueForKey("Connection"));
        const bool http10 = message->copyVersion() == kCFHTTPVersion1_0;
        if ((!http10 || connection == "keep-alive") && connection != "close") {
            if (auto keepAlive = headers.get("Keep-Alive")) {
                const std::string_view value = *keepAlive;
                size_t position = 0;
                long long timeout = 0;
                if (value.substr(0, 8) == "timeout=") {
                    position = 8;
                    timeout = scanInteger(value, position);
                }
                long long max = 0;
                if (auto at = value.find("max=", position); at != std::string_view::npos) {
                    position = at + 4;
                    max = scanInteger(value, position);
                }
                if (max > 5) {
                    setConnectionCanBeReused(true);
                    setPersistentConnectionTimeoutSeconds(static_cast<double>(timeout));
                }
            } else {
                setConnectionCanBeReused(true);
            }
        }
    }

    requestReceivedResponseHeaders(headers);
}

void HTTPRequest::handleBytesAvailable()
{
    if (!responseHeadersRead_) {
        readResponseHeaders();
        if (complete_) {
            return;
        }
    }
    Ref<CFHTTPReadStream> stream = readStream();
    if (!stream || !stream->hasBytesAvailable()) {
        return;
    }
    const unsigned long long length = contentLength();
    const size_t bufferSize = length > 262144 ? 262144 : length > 65536 ? 65536 : 16384;
    // Used for one read at a time by the thread running the request.
    thread_local std::vector<uint8_t> buffer;
    buffer.resize(bufferSize);
    const CFIndex count = stream->read(buffer.data(), static_cast<CFIndex>(bufferSize));
    if (count < 0) {
        handleStreamError();
        return;
    }
    if (count == 0) {
        return;  // the end event follows
    }
    totalBytesRead_ += static_cast<unsigned long long>(count);
    setLastActivityTime(Clock::now());
    std::lock_guard lock(propertyLock_);
    rawResponseData_.appendBytes_length(buffer.data(), static_cast<size_t>(count));
}

void HTTPRequest::handleStreamComplete()
{
    setStatusTimer(nullptr);
    setDownloadComplete(true);
    if (!responseHeadersRead_) {
        readResponseHeaders();
    }
    Shared& s = shared();
    {
        std::lock_guard lock(*s.progressLock);
        if (Ref<CFHTTPReadStream> stream = readStream()) {
            setTotalBytesSent(stream->requestBytesWrittenCount());
        }
        complete_ = true;
        if (contentLength() == 0) {
            setContentLength(totalBytesRead());
        }
        updateProgressIndicators();
        if (Ref<CFReadStream> body = postBodyReadStream()) {
            body->close();
            setPostBodyReadStream(nullptr);
        }
        setDataDecompressor(nullptr);
        if (authenticationNeeded() == 0) {
            removeTemporaryUploadFile();
            removeTemporaryCompressedUploadFile();
        }
    }
    {
        std::lock_guard lock(*s.connectionsLock);
        // Off the run loop before the connection is offered to other requests, which may close the
        // stream from their own thread once they take the connection.
        unscheduleReadStream();
        if (std::shared_ptr<HTTPConnectionInfo> info = connectionInfo()) {
            info->request.reset();
            info->expires = Clock::now() + persistentConnectionTimeoutSeconds();
        }
    }
    if (authenticationNeeded() == 0) {
        destroyReadStream();
    }
    if (!needsRedirect() && authenticationNeeded() == 0 && !didUseCachedResponse()) {
        requestFinished();
        markAsFinished();
    } else if (authenticationNeeded() != 0) {
        NSRunLoop::currentRunLoop()->stop();
    }
}

NSData HTTPRequest::responseData() const
{
    return rawResponseData();
}

std::string HTTPRequest::responseString() const
{
    const NSData data = responseData();
    if (data.empty()) {
        return std::string();
    }
    const NSStringEncoding encoding = responseEncoding() != 0 ? responseEncoding() : defaultResponseEncoding();
    return Charset::decode(data.view(), encoding).value_or(std::string());
}

void HTTPRequest::updatePartialDownloadSize() {}
