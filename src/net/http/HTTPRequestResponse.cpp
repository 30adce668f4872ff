// Reading the response: the stream's events, the response header (status, challenges, the character
// set, cookies, the length, whether the connection may be kept), redirects, the body (inflated on the
// fly when asked, handed to the delegate, written to a file or kept in memory), the end of the
// exchange, and the readers of the result.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "net/http/HTTPCacheDelegate.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/UUID.h"

namespace {

std::string trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                             text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return std::string(text);
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
    if (!value) {
        return std::nullopt;
    }
    const std::string text = trimmed(*value);
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    unsigned long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned long long>(c - '0');
    }
    return n;
}


std::shared_ptr<std::FILE> openForWriting(const std::string& path, bool append)
{
    std::FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!file) {
        return nullptr;
    }
    return std::shared_ptr<std::FILE>(file, [](std::FILE* f) { std::fclose(f); });
}

// Closes a download file; false when what was buffered could not be written.
bool closeFile(std::shared_ptr<std::FILE>& file)
{
    if (!file) {
        return true;
    }
    const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
    file.reset();
    return flushed;
}

Ref<NSError> writeError(const std::string& path, int code)
{
    return HTTPRequestError(HTTPErrorFileManagement, stringWithFormat("Failed to write to file at path '%@'", path),
                            NSError::posixError(code, path));
}

// Responses that carry no body whatever their headers announce.
bool hasNoBody(const std::string& method, int status)
{
    return method == "HEAD" || status == 204 || status == 304 || (status >= 100 && status < 200);
}

}  // namespace

// ---- Events ------------------------------------------------------------------------------------------

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
    if (!downloadComplete() || error() || isCancelled()) {
        return;
    }
    if (needsRedirect()) {
        bool ask = false;
        if (!isSynchronous()) {
            // A synchronous run has ended once its attempt is complete: nobody could answer in time, so
            // it follows the redirect at once.
            Ref<HTTPRequestDelegate> theDelegate = delegate();
            Ref<HTTPRequestDelegate> theQueue = queue();
            ask = (theDelegate && theDelegate->respondsToSelector(willRedirectSelector())) ||
                  (theQueue && theQueue->respondsToSelector(kHTTPRequestWillRedirectSelector));
        }
        if (ask) {
            Ref<NSURL> newURL;
            {
                std::lock_guard lock(*cancelledLock_);
                newURL = redirectURL();
                setRedirectURL(nullptr);
                // While the delegate decides, the request counts as running, so its cancel still ends it.
                complete_ = false;
            }
            requestWillRedirectToURL(newURL);
        } else {
            performRedirect();
        }
    } else if (authenticationNeeded() != 0) {
        attemptToApplyCredentialsAndResume();
    }
}

// ---- The response header -----------------------------------------------------------------------------

void HTTPRequest::readResponseHeaders()
{
    setAuthenticationNeeded(0);
    Ref<CFHTTPReadStream> stream = readStream();
    Ref<CFHTTPMessage> message = stream ? stream->copyResponseHeader() : nullptr;
    if (!message || !message->isHeaderComplete()) {
        return;
    }
    responseHeadersRead_ = true;
    const HTTPHeaderFields headers = message->copyAllHeaderFields();
    setResponseHeaders(headers);
    const int status = message->getResponseStatusCode();
    setResponseStatusCode(status);
    setResponseStatusMessage(message->copyResponseStatusLine());
    // The cache may answer now (a 304 confirming the stored copy): its expiry is refreshed and the
    // stored copy is the answer.
    if (Ref<HTTPCacheDelegate> cache = downloadCache()) {
        Ref<HTTPRequest> request = self<HTTPRequest>();
        if (cache->canUseCachedDataForRequest(request)) {
            cache->updateExpiryForRequest_maxAge(request, secondsToCache());
            useDataFromCache();
            return;
        }
    }

    if (status == 401) {
        setAuthenticationNeeded(1);
    } else if (status == 407) {
        setAuthenticationNeeded(2);
    }
    // Basic credentials that were presented and worked are remembered for the next request.
    rememberPresentedBasicCredentials();

    parseStringEncodingFromHeaders();

    Ref<NSURL> theURL = url();
    std::vector<Ref<NSHTTPCookie>> cookies =
        theURL ? NSHTTPCookie::cookiesWithResponseHeaderFields_forURL(message->rawHeaderFields(), theURL)
               : std::vector<Ref<NSHTTPCookie>>();
    setResponseCookies(cookies);
    if (useCookiePersistence() && !cookies.empty()) {
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookies_forURL_mainDocumentURL(cookies, theURL, nullptr);
        for (const auto& cookie : cookies) {
            addSessionCookie(cookie);
        }
    }

    if (!willRedirect()) {
        const std::optional<unsigned long long> length = parseLength(headers.get("Content-Length"));
        if (length) {
            if (Ref<HTTPRequest> theMainRequest = mainRequest()) {
                theMainRequest->setContentLength(*length);
            } else {
                setContentLength(*length);
            }
        }
        countDownloadSize(length);
    }

    // Whether the connection may be kept for a later request.
    setConnectionCanBeReused(false);
    if (shouldAttemptPersistentConnection()) {
        const std::string connection = NSString::asciiLowercaseString(headers.valueForKey("Connection"));
        const bool http10 = message->copyVersion() == kCFHTTPVersion1_0;
        if ((!http10 || connection == "keep-alive") && connection != "close") {
            if (auto keepAlive = headers.get("Keep-Alive")) {
                const std::string_view value = *keepAlive;
                size_t position = 0;
                while (position < value.size() && (value[position] == ' ' || value[position] == '\t')) {
                    ++position;
                }
                long long timeout = 0;
                if (value.substr(position, 8) == "timeout=") {
                    position += 8;
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

void HTTPRequest::parseStringEncodingFromHeaders()
{
    NSStringEncoding encoding = defaultResponseEncoding();
    std::string mimeType;
    parseMimeType_andResponseEncoding_fromContentType(&mimeType, &encoding,
                                                      responseHeaders().valueForKey("Content-Type"));
    setResponseEncoding(encoding);
}

void HTTPRequest::parseMimeType_andResponseEncoding_fromContentType(std::string* mimeType,
                                                                    NSStringEncoding* stringEncoding,
                                                                    const std::string& contentType)
{
    if (contentType.empty()) {
        return;
    }
    const size_t semicolon = contentType.find(';');
    if (mimeType) {
        *mimeType = trimmed(std::string_view(contentType).substr(0, semicolon));
    }
    // Parameter names are not case-sensitive.
    const std::string lower = NSString::asciiLowercaseString(contentType);
    const size_t at = lower.find("charset=");
    if (at == std::string::npos || !stringEncoding) {
        return;
    }
    const size_t start = at + 8;
    const size_t end = contentType.find(';', start);
    const std::string name = trimmed(std::string_view(contentType).substr(start, end == std::string::npos ? end : end - start));
    const CFStringEncoding cfEncoding = CFStringConvertIANACharSetNameToEncoding(name);
    if (cfEncoding != kCFStringEncodingInvalidId) {
        *stringEncoding = CFStringConvertEncodingToNSStringEncoding(cfEncoding);
    }
}

std::optional<NSDate> HTTPRequest::dateFromRFC1123String(const std::string& string)
{
    auto formatter = NSDateFormatter::create();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier("en_US_POSIX"));
    size_t parts = 1;
    for (char c : string) {
        parts += c == ':';
    }
    formatter->setDateFormat(stringWithFormat("%@dd MMM yyyy HH:mm%@ z",
                                              string.find(',') != std::string::npos ? "EEE, " : "",
                                              parts == 3 ? ":ss" : ""));
    return formatter->dateFromString(string);
}

// ---- Cookies of the session ----------------------------------------------------------------------------

std::vector<Ref<NSHTTPCookie>> HTTPRequest::sessionCookies()
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCookiesLock);
    return s.sessionCookies;
}

void HTTPRequest::setSessionCookies(const std::vector<Ref<NSHTTPCookie>>& newSessionCookies)
{
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCookiesLock);
    s.sessionCookies = newSessionCookies;
}

void HTTPRequest::addSessionCookie(const Ref<NSHTTPCookie>& newCookie)
{
    if (!newCookie) {
        return;
    }
    Shared& s = shared();
    std::lock_guard lock(*s.sessionCookiesLock);
    std::erase_if(s.sessionCookies, [&](const Ref<NSHTTPCookie>& cookie) {
        return cookie->domain() == newCookie->domain() && cookie->path() == newCookie->path() &&
               cookie->name() == newCookie->name();
    });
    s.sessionCookies.push_back(newCookie);
}

// ---- Redirects -----------------------------------------------------------------------------------------

bool HTTPRequest::willRedirect()
{
    const HTTPHeaderFields headers = responseHeaders();
    const int status = responseStatusCode();
    if (!shouldRedirect() || !headers.contains("Location") ||
        (status != 301 && status != 302 && status != 303 && status != 307)) {
        return false;
    }
    requestRedirected();

    redirectKeepsHeaders_ = status == 307 || ((status == 301 || status == 302) && shouldUseRFC2616RedirectBehaviour());
    if (!redirectKeepsHeaders_) {
        // Followed as a GET without body: only the agent and what the caller accepts go along; the
        // rest of the headers are built again for the new URL.
        setRequestMethod("GET");
        setPostBody(std::nullopt);
        setCompressedPostBody(std::nullopt);
        removeTemporaryUploadFile();
        removeTemporaryCompressedUploadFile();
        setPostBodyFilePath(std::string());
        setCompressedPostBodyFilePath(std::string());
        setPostLength(0);
        const HTTPHeaderFields old = requestHeaders();
        HTTPHeaderFields kept;
        for (const char* name : {"User-Agent", "Accept"}) {
            if (auto value = old.get(name)) {
                kept.set(name, *value);
            }
        }
        setRequestHeaders(kept);
        setHaveBuiltRequestHeaders(false);
    }

    Ref<NSURL> theURL = url();
    Ref<NSURL> target = NSURL::URLWithString_relativeToURL(trimmed(headers.valueForKey("Location")), theURL);
    setRedirectURL(target ? target->absoluteURL() : nullptr);
    setNeedsRedirect(true);
    // Only stored cookies go with the redirected request.
    setRequestCookies({});
    return true;
}

void HTTPRequest::requestWillRedirectToURL(const Ref<NSURL>& newURL)
{
    if (error() || mainRequest()) {
        return;
    }
    performOnMainThread([newURL](HTTPRequest& request) {
        request.sendToDelegate(request.willRedirectSelector(), newURL);
        Ref<HTTPRequestDelegate> theQueue = request.queue();
        if (theQueue && theQueue->respondsToSelector(kHTTPRequestWillRedirectSelector)) {
            theQueue->request_willRedirectToURL(request.self<HTTPRequest>(), newURL);
        }
    });
}

void HTTPRequest::redirectToURL(const Ref<NSURL>& newURL)
{
    setRedirectURL(newURL);
    performOnRequestThread([](HTTPRequest& request) {
        if (request.isCancelled() || request.error() || !request.needsRedirect()) {
            return;
        }
        request.performRedirect();
    });
}

void HTTPRequest::performRedirect()
{
    auto request = self<HTTPRequest>();
    {
        std::lock_guard lock(*cancelledLock_);
        const Ref<NSURL> from = url();
        const Ref<NSURL> to = redirectURL();
        setURL(to);
        complete_ = true;
        setNeedsRedirect(false);
        setRedirectCount(redirectCount() + 1);
        if (redirectKeepsHeaders_) {
            HTTPHeaderFields headers = requestHeaders();
            headers.remove("Cookie");
            // Credentials of one host never go to another.
            if (from && to &&
                (NSString::asciiLowercaseString(from->host()) != NSString::asciiLowercaseString(to->host()) || NSString::asciiLowercaseString(from->scheme()) != NSString::asciiLowercaseString(to->scheme()) ||
                 from->port() != to->port())) {
                headers.remove("Authorization");
            }
            setRequestHeaders(headers);
            if (to) {
                applyCookieHeader();
            }
        }
        if (redirectCount() >= 6) {
            failWithError(HTTPTooMuchRedirectionError());
            return;
        }
    }
    main();
}

// ---- The body --------------------------------------------------------------------------------------------

bool HTTPRequest::isResponseCompressed() const
{
    return responseHeaders().valueForKey("Content-Encoding").find("gzip") != std::string::npos;
}

bool HTTPRequest::passesOnReceivedData()
{
    Ref<HTTPRequestDelegate> theDelegate = delegate();
    if (theDelegate && theDelegate->respondsToSelector(didReceiveDataSelector())) {
        return true;
    }
    std::lock_guard lock(receiversLock_);
    return static_cast<bool>(dataReceivedBlock_);
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
    // A throttled request reads less: the bandwidth limit clamps the read.
    const size_t bufferSize = readLengthForBuffer(length > 262144 ? 262144 : length > 65536 ? 65536 : 16384);
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
    const size_t bytesRead = static_cast<size_t>(count);

    std::optional<NSData> inflated;
    const bool inflating = isResponseCompressed() && !shouldWaitToInflateCompressedResponses();
    if (inflating) {
        Ref<HTTPDataDecompressor> decompressor = dataDecompressor();
        if (!decompressor) {
            decompressor = HTTPDataDecompressor::decompressor();
            decompressor->setMaximumInflatedLength(maximumInflatedResponseLength());
            setDataDecompressor(decompressor);
        }
        Ref<NSError> inflateError;
        inflated = decompressor->uncompressBytes_length_error(buffer.data(), bytesRead, &inflateError);
        if (inflateError) {
            failWithError(inflateError);
            cancelLoad();
            return;
        }
        if (!inflated) {
            inflated = NSData();
        }
    }

    totalBytesRead_ += bytesRead;
    setLastActivityTime(Clock::now());
    incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(bytesRead));

    // The body of a redirect that will be followed is not the caller's: it goes nowhere.
    if (needsRedirect()) {
        return;
    }

    if (passesOnReceivedData()) {
        const NSData piece = inflating ? *inflated : NSData(buffer.data(), bytesRead);
        if (!piece.empty()) {
            passOnReceivedData(piece);
        }
    } else if (!downloadDestinationPath().empty()) {
        writeDownloadBytes(buffer.data(), bytesRead, inflated);
    } else {
        std::lock_guard lock(propertyLock_);
        if (inflating) {
            rawResponseData_.appendData(*inflated);
        } else {
            rawResponseData_.appendBytes_length(buffer.data(), bytesRead);
        }
        ++rawResponseGeneration_;
    }
}

bool HTTPRequest::writeDownloadBytes(const uint8_t* bytes, size_t length, const std::optional<NSData>& inflated)
{
    if (fileDownloadWriteError_) {
        return false;
    }
    if (!fileDownloadOutputStream_) {
        bool append = false;
        std::string path = temporaryFileDownloadPath();
        if (path.empty()) {
            path = Shared::newTemporaryFile();
            setTemporaryFileDownloadPath(path);
        } else if (allowResumeForFileDownloads() && requestHeaders().contains("Range")) {
            if (responseHeaders().contains("Content-Range")) {
                append = true;
            } else {
                // The server sends the whole body again: start afresh, and take the part counted twice
                // back out of the download size.
                if (showAccurateProgress() && shouldResetDownloadProgress()) {
                    incrementDownloadSizeBy(-static_cast<long long>(partialDownloadSize()));
                }
                setPartialDownloadSize(0);
            }
        }
        fileDownloadOutputStream_ = openForWriting(path, append);
        if (!fileDownloadOutputStream_) {
            fileDownloadWriteError_ = writeError(path, errno);
        } else if (inflated) {
            std::string inflatedPath = temporaryUncompressedDataDownloadPath();
            if (inflatedPath.empty()) {
                inflatedPath = Shared::newTemporaryFile();
                setTemporaryUncompressedDataDownloadPath(inflatedPath);
            }
            inflatedFileDownloadOutputStream_ = openForWriting(inflatedPath, append);
            if (!inflatedFileDownloadOutputStream_) {
                fileDownloadWriteError_ = writeError(inflatedPath, errno);
            }
        }
    }
    if (!fileDownloadWriteError_ &&
        std::fwrite(bytes, 1, length, fileDownloadOutputStream_.get()) != length) {
        fileDownloadWriteError_ = writeError(temporaryFileDownloadPath(), errno);
    }
    if (!fileDownloadWriteError_ && inflated && !inflated->empty() &&
        std::fwrite(inflated->bytes(), 1, inflated->length(), inflatedFileDownloadOutputStream_.get()) !=
            inflated->length()) {
        fileDownloadWriteError_ = writeError(temporaryUncompressedDataDownloadPath(), errno);
    }
    if (fileDownloadWriteError_) {
        // The file would lack part of the body: the download fails now rather than end as a success.
        Ref<NSError> failure = fileDownloadWriteError_;
        failWithError(failure);
        cancelLoad();
        return false;
    }
    return true;
}

Ref<NSError> HTTPRequest::settleFileDownload()
{
    const bool closedRaw = closeFile(fileDownloadOutputStream_);
    const bool closedInflated = closeFile(inflatedFileDownloadOutputStream_);
    if (!closedRaw || !closedInflated) {
        return writeError(!closedRaw ? temporaryFileDownloadPath() : temporaryUncompressedDataDownloadPath(), errno);
    }
    if (fileDownloadWriteError_) {
        return fileDownloadWriteError_;
    }
    Ref<NSFileManager> files = NSFileManager::defaultManager();
    const std::string destination = downloadDestinationPath();
    const std::string temporary = temporaryFileDownloadPath();
    Ref<NSError> fileError;
    if (!removeFileAtPath_error(destination, &fileError)) {
        return fileError;
    }
    // Moves `from` to the destination; an empty body (no file was written) gives an empty file.
    auto moveIntoPlace = [&](const std::string& from) -> Ref<NSError> {
        if (from.empty() || !files->fileExistsAtPath(from)) {
            if (!files->createFileAtPath_contents_attributes(destination, NSData())) {
                return writeError(destination, errno);
            }
            return nullptr;
        }
        Ref<NSError> moveError;
        if (!files->moveItemAtPath_toPath_error(from, destination, &moveError)) {
            return HTTPRequestError(HTTPErrorFileManagement,
                                    stringWithFormat("Failed to move file from '%@' to '%@'", from, destination),
                                    moveError);
        }
        return nullptr;
    };
    if (isResponseCompressed()) {
        if (shouldWaitToInflateCompressedResponses()) {
            if (!temporary.empty() && files->fileExistsAtPath(temporary)) {
                if (!HTTPDataDecompressor::uncompressDataFromFile_toFile_error(temporary, destination, &fileError,
                                                                               maximumInflatedResponseLength())) {
                    // Part of a body (up to the limit, or up to a corrupt spot) is not the body.
                    removeFileAtPath_error(destination, nullptr);
                }
            } else {
                fileError = moveIntoPlace(std::string());
            }
        } else {
            fileError = moveIntoPlace(temporaryUncompressedDataDownloadPath());
            setTemporaryUncompressedDataDownloadPath(std::string());
        }
        Ref<NSError> removeError;
        if (!removeFileAtPath_error(temporary, &removeError) && !fileError) {
            fileError = removeError;
        }
    } else {
        fileError = moveIntoPlace(temporary);
    }
    if (!fileError) {
        setTemporaryFileDownloadPath(std::string());
    }
    return fileError;
}

void HTTPRequest::abandonFileDownload()
{
    closeFile(fileDownloadOutputStream_);
    closeFile(inflatedFileDownloadOutputStream_);
    if (downloadDestinationPath().empty() || downloadComplete()) {
        return;
    }
    if (!allowResumeForFileDownloads()) {
        removeTemporaryDownloadFile();
    }
    removeTemporaryUncompressedDownloadFile();
}

void HTTPRequest::updatePartialDownloadSize()
{
    const std::string temporary = temporaryFileDownloadPath();
    if (!allowResumeForFileDownloads() || downloadDestinationPath().empty() || temporary.empty() ||
        !NSFileManager::defaultManager()->fileExistsAtPath(temporary)) {
        return;
    }
    struct stat st{};
    if (::stat(temporary.c_str(), &st) != 0) {
        const int code = errno;
        failWithError(HTTPRequestError(HTTPErrorFileManagement,
                                       stringWithFormat("Failed to get attributes for file at path '%@'", temporary),
                                       NSError::posixError(code, temporary)));
        return;
    }
    setPartialDownloadSize(static_cast<unsigned long long>(st.st_size));
}

// ---- The end of the exchange -------------------------------------------------------------------------

void HTTPRequest::handleStreamComplete()
{
    setStatusTimer(nullptr);
    setDownloadComplete(true);
    if (!responseHeadersRead_) {
        readResponseHeaders();
        if (didUseCachedResponse()) {
            return;  // the cache answered and finished the request
        }
    }
    // The stream ended before a whole response arrived (no complete header, or fewer body bytes than
    // announced): that is a broken exchange, never a finished one.
    bool cutShort = !responseHeadersRead_;
    // (A transfer coding frames the body instead of the length.)
    if (!cutShort && !hasNoBody(requestMethod(), responseStatusCode()) &&
        !responseHeaders().contains("Transfer-Encoding")) {
        if (auto announced = parseLength(responseHeaders().get("Content-Length"))) {
            cutShort = totalBytesRead() < *announced;
        }
    }
    if (cutShort) {
        setDownloadComplete(false);
        setNeedsRedirect(false);
        setAuthenticationNeeded(0);
        cancelLoad();
        failWithError(HTTPRequestError(HTTPErrorConnectionFailure, "A connection failure occurred"));
        return;
    }

    Shared& s = shared();
    Ref<NSError> fileError;
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
        // A redirect that keeps the body sends the same body file again.
        if (authenticationNeeded() == 0 && !(needsRedirect() && redirectKeepsHeaders_)) {
            removeTemporaryUploadFile();
            removeTemporaryCompressedUploadFile();
        }
        if (!downloadDestinationPath().empty()) {
            if (needsRedirect() || passesOnReceivedData()) {
                // A redirect response's body was never written, nor one the delegate took: no file to
                // settle (the next attempt settles the redirect's).
                closeFile(fileDownloadOutputStream_);
                closeFile(inflatedFileDownloadOutputStream_);
            } else {
                fileError = settleFileDownload();
            }
        }
        // A response from the network is kept for later requests (the cache decides what it keeps); not
        // a redirect about to be followed (the next answer is the one for the caller), nor a challenge.
        if (Ref<HTTPCacheDelegate> cache = downloadCache();
            cache && !fileError && !didUseCachedResponse() && !needsRedirect() && authenticationNeeded() == 0) {
            cache->storeResponseForRequest_maxAge(self<HTTPRequest>(), secondsToCache());
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
        if (fileError) {
            failWithError(fileError);
        } else {
            requestFinished();
        }
        markAsFinished();
    } else if (authenticationNeeded() != 0) {
        NSRunLoop::currentRunLoop()->stop();
    }
}

// ---- The result ------------------------------------------------------------------------------------------

NSData HTTPRequest::responseData() const
{
    if (!isResponseCompressed() || !shouldWaitToInflateCompressedResponses()) {
        return rawResponseData();
    }
    // For the log line; read before the inflation lock, which is never held while taking another.
    Ref<NSURL> address = originalURL();
    if (!address) {
        address = url();
    }
    // Inflated once per body: every later call (responseString too) answers the kept result, so a
    // caller reading the body twice never pays for (or holds) a second inflation.
    std::lock_guard inflating(inflateLock_);
    NSData raw;
    uint64_t generation = 0;
    {
        std::lock_guard lock(propertyLock_);
        if (inflatedResponseData_ && inflatedResponseGeneration_ == rawResponseGeneration_) {
            return *inflatedResponseData_;
        }
        raw = rawResponseData_;
        generation = rawResponseGeneration_;
    }
    Ref<NSError> failure;
    // Nothing when the stored bytes do not inflate, or inflate to more than the limit.
    NSData inflated = HTTPDataDecompressor::uncompressData_error(raw, &failure, maximumInflatedResponseLength())
                          .value_or(NSData());
    if (failure) {
        NSLog("Unable to inflate the response body of %@: %@", address ? address->absoluteString() : std::string(),
              failure->localizedDescription());
    }
    std::lock_guard lock(propertyLock_);
    inflatedResponseData_ = inflated;
    inflatedResponseGeneration_ = generation;
    responseDecompressionError_ = failure;
    return inflated;
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
