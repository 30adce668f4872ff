// Building and sending a request: the body (in memory or in a file, optionally gzipped), the headers
// (cookies, user agent, compression, the edition header), the proxy, the read stream with its TLS
// settings, the pool of persistent connections, scheduling, and tearing an attempt down.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "net/http/HTTPDataCompressor.h"
#include "net/http/HTTPInputStream.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "net/http/HTTPSystemProxies.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MIMEType.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Perform.h"
#include "platform/foundation/UUID.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"

namespace {

constexpr size_t kFileChunk = 262144;



}  // namespace

// ---- The body --------------------------------------------------------------------------------------------

void HTTPRequest::setupPostBody()
{
    if (shouldStreamPostDataFromDisk()) {
        if (postBodyFilePath().empty()) {
            setPostBodyFilePath(Shared::newTemporaryFile());
            setDidCreateTemporaryPostDataFile(true);
        }
        std::lock_guard lock(propertyLock_);
        if (!postBodyWriteStream_ && !postBodyWriteFailed_) {
            std::FILE* file = std::fopen(postBodyFilePath_.c_str(), "wb");
            if (file) {
                postBodyWriteStream_.reset(file, [](std::FILE* f) { std::fclose(f); });
            } else {
                postBodyWriteFailed_ = true;
            }
        }
    } else {
        std::lock_guard lock(propertyLock_);
        if (!postBody_) {
            postBody_ = NSData();
        }
    }
}

void HTTPRequest::appendPostData(const NSData& data)
{
    setupPostBody();
    if (data.empty()) {
        return;
    }
    std::lock_guard lock(propertyLock_);
    if (shouldStreamPostDataFromDisk()) {
        if (!postBodyWriteStream_ ||
            std::fwrite(data.bytes(), 1, data.length(), postBodyWriteStream_.get()) != data.length()) {
            postBodyWriteFailed_ = true;
        }
    } else {
        postBody_->appendData(data);
    }
}

void HTTPRequest::appendPostDataFromFile(const std::string& file)
{
    setupPostBody();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::lock_guard lock(propertyLock_);
        postBodyWriteFailed_ = true;  // the body would silently lack the file
        return;
    }
    std::vector<uint8_t> chunk(kFileChunk);
    for (;;) {
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            std::lock_guard lock(propertyLock_);
            postBodyWriteFailed_ = true;
            break;
        }
        if (n == 0) {
            break;
        }
        appendPostData(NSData(chunk.data(), static_cast<size_t>(n)));
    }
    ::close(fd);
}

void HTTPRequest::buildPostBody()
{
    if (haveBuiltPostBody()) {
        return;
    }
    const std::string bodyFile = postBodyFilePath();
    if (bodyFile.empty()) {
        std::optional<NSData> body = postBody();
        if (shouldCompressRequestBody() && body) {
            Ref<NSError> compressionError;
            std::optional<NSData> compressed = HTTPDataCompressor::compressData_error(*body, &compressionError);
            if (compressionError) {
                failWithError(compressionError);
                return;
            }
            setCompressedPostBody(compressed);
            setPostLength(compressed ? compressed->length() : 0);
        } else {
            setPostLength(body ? body->length() : 0);
        }
    } else {
        bool writeFailed = false;
        {
            std::lock_guard lock(propertyLock_);
            postBodyWriteStream_.reset();  // closes the file, flushing what was written
            writeFailed = postBodyWriteFailed_;
        }
        if (writeFailed) {
            // Part of the body never reached the file: sending the rest would corrupt the upload.
            failWithError(HTTPRequestError(HTTPErrorFileManagement,
                                           stringWithFormat("Failed to write to file at path '%@'", bodyFile)));
            return;
        }
        std::string sent = bodyFile;
        if (shouldCompressRequestBody()) {
            if (compressedPostBodyFilePath().empty()) {
                const std::string compressedFile = Shared::newTemporaryFile();
                setCompressedPostBodyFilePath(compressedFile);
                Ref<NSError> compressionError;
                if (!HTTPDataCompressor::compressDataFromFile_toFile_error(bodyFile, compressedFile,
                                                                         &compressionError)) {
                    failWithError(compressionError);
                    return;
                }
            }
            sent = compressedPostBodyFilePath();
        }
        struct stat st{};
        if (::stat(sent.c_str(), &st) != 0) {
            const int code = errno;
            failWithError(HTTPRequestError(HTTPErrorFileManagement,
                                           stringWithFormat("Failed to get attributes for file at path '%@'", sent),
                                           NSError::posixError(code, sent)));
            return;
        }
        setPostLength(static_cast<unsigned long long>(st.st_size));
    }
    if (postLength() > 0) {
        const std::string method = requestMethod();
        if (method == "GET" || method == "DELETE" || method == "HEAD") {
            setRequestMethod("POST");
        }
        addRequestHeader_value("Content-Length", stringWithFormat("%llu", postLength()));
    }
    setHaveBuiltPostBody(true);
}

// ---- Headers ---------------------------------------------------------------------------------------------

void HTTPRequest::addRequestHeader_value(const std::string& header, const std::string& value)
{
    std::lock_guard lock(propertyLock_);
    requestHeaders_.set(header, value);
}

void HTTPRequest::buildRequestHeaders()
{
    if (haveBuiltRequestHeaders()) {
        return;
    }
    setHaveBuiltRequestHeaders(true);
    if (Ref<HTTPRequest> theMainRequest = mainRequest()) {
        for (const auto& [name, value] : theMainRequest->requestHeaders()) {
            addRequestHeader_value(name, value);
        }
        return;
    }
    applyCookieHeader();
    if (!requestHeaders().contains("User-Agent")) {
        std::string agent = userAgent();
        if (agent.empty()) {
            agent = defaultUserAgentString();
        }
        if (!agent.empty()) {
            addRequestHeader_value("User-Agent", agent);
        }
    }
    if (allowCompressedResponse()) {
        addRequestHeader_value("Accept-Encoding", "gzip");
    }
    if (shouldCompressRequestBody()) {
        addRequestHeader_value("Content-Encoding", "gzip");
    }
    // The edition of the client: every request of the system carries it.
    addRequestHeader_value("vend", "lumo");
    updatePartialDownloadSize();
    if (partialDownloadSize() > 0) {
        addRequestHeader_value("Range", stringWithFormat("bytes=%llu-", partialDownloadSize()));
    }
}

void HTTPRequest::applyCookieHeader()
{
    if (useCookiePersistence()) {
        Ref<NSURL> theURL = url();
        if (theURL) {
            std::vector<Ref<NSHTTPCookie>> stored =
                NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(theURL->absoluteURL());
            if (!stored.empty()) {
                std::lock_guard lock(propertyLock_);
                requestCookies_.insert(requestCookies_.end(), stored.begin(), stored.end());
            }
        }
    }
    Ref<HTTPRequest> theMainRequest = mainRequest();
    const std::vector<Ref<NSHTTPCookie>> cookies =
        theMainRequest ? theMainRequest->requestCookies() : requestCookies();
    if (cookies.empty()) {
        return;
    }
    std::string header;
    for (const auto& cookie : cookies) {
        header = header.empty() ? stringWithFormat("%@=%@", cookie->name(), cookie->value())
                                : stringWithFormat("%@; %@=%@", header, cookie->name(), cookie->value());
    }
    addRequestHeader_value("Cookie", header);
}

std::string HTTPRequest::defaultUserAgentString()
{
    Shared& s = shared();
    std::lock_guard lock(s.classLock);
    if (s.defaultUserAgent) {
        return *s.defaultUserAgent;
    }
    Ref<NSBundle> bundle = NSBundle::mainBundle();
    // The name's UTF-8 bytes go out one by one, as they stand.
    std::string appName = bundle->objectForInfoDictionaryKey("CFBundleDisplayName").stringValue();
    if (appName.empty()) {
        appName = bundle->objectForInfoDictionaryKey("CFBundleName").stringValue();
    }
    if (appName.empty()) {
        return std::string();  // no default: requests send no agent of their own
    }
    const std::string marketingVersion = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue();
    const std::string developmentVersion = bundle->objectForInfoDictionaryKey("CFBundleVersion").stringValue();
    Value appVersion;
    if (!marketingVersion.empty() && !developmentVersion.empty()) {
        appVersion = marketingVersion == developmentVersion
                         ? Value(marketingVersion)
                         : Value(stringWithFormat("%@ rv:%@", marketingVersion, developmentVersion));
    } else if (!marketingVersion.empty()) {
        appVersion = Value(marketingVersion);
    } else if (!developmentVersion.empty()) {
        appVersion = Value(developmentVersion);
    }
    Ref<UIDevice> device = UIDevice::currentDevice();
    s.defaultUserAgent = stringWithFormat("%@ %@ (%@; %@ %@; %@)", appName, appVersion, device->model(),
                                          device->systemName(), device->systemVersion(),
                                          NSLocale::currentLocale()->localeIdentifier());
    return *s.defaultUserAgent;
}

void HTTPRequest::setDefaultUserAgentString(std::optional<std::string> agent)
{
    Shared& s = shared();
    std::lock_guard lock(s.classLock);
    s.defaultUserAgent = std::move(agent);
}

std::string HTTPRequest::mimeTypeForFileAtPath(const std::string& path)
{
    if (!NSFileManager::defaultManager()->fileExistsAtPath(path)) {
        return std::string();
    }
    std::string type = MIMEType::forPath(path);
    return type.empty() ? "application/octet-stream" : type;
}

// ---- Proxies ---------------------------------------------------------------------------------------------

bool HTTPRequest::configureProxies()
{
    if (isPACFileRequest() || !proxyHost().empty() || proxyPort() != 0) {
        return true;
    }
    if (PACurl()) {
        fetchPACFile();
        return false;
    }
    const HTTPSystemProxySettings settings = HTTPSystemProxies::copySystemProxySettings();
    std::optional<std::vector<HTTPProxyEntry>> proxies = HTTPSystemProxies::copyProxiesForURL(url(), settings);
    if (!proxies) {
        setReadStream(nullptr);
        failWithError(HTTPRequestError(HTTPErrorBuildingRequest,
                                       "Unable to obtain information on proxy servers needed for request"));
        return false;
    }
    if (!proxies->empty()) {
        const HTTPProxyEntry& first = proxies->front();
        if (first.type == kCFProxyTypeAutoConfigurationURL && first.autoConfigurationURL) {
            setPACurl(first.autoConfigurationURL);
            fetchPACFile();
            return false;
        }
        setProxyHost(first.host);
        setProxyPort(first.port);
        setProxyType(first.type);
    }
    return true;
}

// ---- One attempt -----------------------------------------------------------------------------------------

Ref<CFReadStream> HTTPRequest::makePostBodyReadStream(const std::string& file, const NSData* bytes)
{
    // Counted by the bandwidth meter, and cut short while the throttle is on.
    if (bytes) {
        return HTTPInputStream::inputStreamWithData_request(*bytes, self<HTTPRequest>());
    }
    return HTTPInputStream::inputStreamWithFileAtPath_request(file, self<HTTPRequest>());
}

void HTTPRequest::startRequest()
{
    if (isCancelled()) {
        return;
    }
    requestStarted();

    setDownloadComplete(false);
    complete_ = false;
    setTotalBytesRead(0);
    setLastBytesRead(0);
    if (redirectCount() == 0) {
        setOriginalURL(url());
    }
    if (totalBytesSent() > 0) {
        removeUploadProgressSoFar();
    }
    setLastBytesSent(0);
    setContentLength(0);
    setResponseHeaders(HTTPHeaderFields());
    responseHeadersRead_ = false;
    if (downloadDestinationPath().empty()) {
        setRawResponseData(NSData());
    }
    setReadStreamIsScheduled(false);

    // The body stream, and the read stream of the exchange.
    Ref<CFHTTPReadStream> stream;
    const std::string compressedFile = compressedPostBodyFilePath();
    const std::string bodyFile = !compressedFile.empty() ? compressedFile : postBodyFilePath();
    std::optional<NSData> body = shouldCompressRequestBody() ? compressedPostBody() : postBody();
    if (!bodyFile.empty() && NSFileManager::defaultManager()->fileExistsAtPath(bodyFile)) {
        setPostBodyReadStream(makePostBodyReadStream(bodyFile, nullptr));
        stream = CFReadStream::createForStreamedHTTPRequest(request_, postBodyReadStream());
    } else if (body && body->length() > 0) {
        setPostBodyReadStream(makePostBodyReadStream(std::string(), &*body));
        stream = CFReadStream::createForStreamedHTTPRequest(request_, postBodyReadStream());
    } else {
        stream = CFReadStream::createForHTTPRequest(request_);
    }
    setReadStream(stream);
    if (!stream) {
        failWithError(HTTPRequestError(HTTPErrorBuildingRequest, "Unable to create read stream"));
        return;
    }

    Ref<NSURL> theURL = url();
    const std::string scheme = NSString::asciiLowercaseString(theURL->scheme());
    if (scheme == "https") {
        CFSSLSettings ssl;
        ssl.validatesCertificateChain = validatesSecureCertificate();
        if (Ref<SecIdentity> identity = clientCertificateIdentity()) {
            ssl.certificates.push_back(identity);
            for (const auto& certificate : clientCertificates()) {
                ssl.certificates.push_back(certificate);
            }
        }
        stream->setSSLSettings(std::move(ssl));
    }

    const std::string theProxyHost = proxyHost();
    const int theProxyPort = proxyPort();
    if (!theProxyHost.empty() && theProxyPort != 0) {
        std::string type = proxyType();
        if (type.empty()) {
            type = kCFProxyTypeHTTP;
            setProxyType(type);
        }
        if (type == kCFProxyTypeSOCKS) {
            CFSOCKSProxySettings socks;
            socks.SOCKSProxyHost = theProxyHost;
            socks.SOCKSProxyPort = theProxyPort;
            stream->setSOCKSProxy(std::move(socks));
        } else {
            CFHTTPProxySettings proxy;
            if (scheme == "https") {
                proxy.HTTPSProxyHost = theProxyHost;
                proxy.HTTPSProxyPort = theProxyPort;
            } else {
                proxy.HTTPProxyHost = theProxyHost;
                proxy.HTTPProxyPort = theProxyPort;
            }
            stream->setHTTPProxy(std::move(proxy));
        }
    }

    // The persistent connection.
    expirePersistentConnections();
    Ref<CFHTTPReadStream> oldStream;
    {
        Shared& s = shared();
        std::lock_guard lock(*s.connectionsLock);
        const std::string host = theURL->host();
        if (host.empty() || scheme.empty()) {
            setConnectionInfo(nullptr);
            setShouldAttemptPersistentConnection(false);
        }
        if (requestID() == 0) {
            setRequestID(++s.nextRequestID);
        }
        if (shouldAttemptPersistentConnection()) {
            const std::string urlScheme = theURL->scheme();
            const int port = theURL->port().value_or(0);  // a URL that names no port counts as port 0
            auto matches = [&](const HTTPConnectionInfo& info) {
                return info.host == host && info.scheme == urlScheme && info.port == port;
            };
            std::shared_ptr<HTTPConnectionInfo> info = connectionInfo();
            if (info) {
                if (!matches(*info)) {
                    info = nullptr;
                } else if (info->expires && *info->expires < Clock::now()) {
                    std::erase(s.persistentConnectionsPool, info);
                    info = nullptr;
                } else if (info->request) {
                    info = nullptr;  // in use
                }
            }
            if (!info) {
                for (const auto& candidate : s.persistentConnectionsPool) {
                    if (!candidate->request && matches(*candidate)) {
                        info = candidate;  // the last idle one wins
                    }
                }
            }
            if (info) {
                oldStream = info->stream;
            } else {
                info = std::make_shared<HTTPConnectionInfo>();
                info->id = ++s.nextConnectionNumberToCreate;
                info->host = host;
                info->port = port;
                info->scheme = urlScheme;
                s.persistentConnectionsPool.push_back(info);
            }
            info->request = requestID();
            info->stream = stream;
            info->expires.reset();
            setConnectionInfo(info);
            stream->setAttemptPersistentConnection(true);
            stream->setHTTPStreamID(info->id);
        }
    }

    // While the bandwidth throttle pauses reading, the stream waits off the loop; the status timer puts
    // it on at the wake-up time.
    const std::optional<double> wakeUp = throttleWakeUpTime();
    if (!wakeUp || *wakeUp <= Clock::now() || !isBandwidthThrottled()) {
        scheduleReadStream();
    }
    const bool opened = stream->open();
    if (oldStream && oldStream != stream) {
        oldStream->close();  // after the new stream has taken over its connection
    }
    if (!opened) {
        setConnectionCanBeReused(false);
        destroyReadStream();
        failWithError(HTTPRequestError(HTTPErrorBuildingRequest, "Unable to start HTTP connection"));
        return;
    }

    if (!mainRequest()) {
        if (shouldResetUploadProgress()) {
            resetUploadProgress(showAccurateProgress() ? postLength() : 1);
        }
        if (shouldResetDownloadProgress() && partialDownloadSize() == 0) {
            resetDownloadProgress();
        }
    }

    setLastActivityTime(Clock::now());
    // The timer keeps the request alive while the attempt runs; it is invalidated when the attempt ends.
    Ref<HTTPRequest> keep = self<HTTPRequest>();
    Ref<NSTimer> timer = NSTimer::timerWithTimeInterval(0.25, true, [keep] { keep->updateStatus(); });
    setStatusTimer(timer);
    NSRunLoop::currentRunLoop()->addTimer(timer, runLoopMode());
}

// ---- The pool --------------------------------------------------------------------------------------------

void HTTPRequest::expirePersistentConnections()
{
    Shared& s = shared();
    std::vector<Ref<CFHTTPReadStream>> closing;
    {
        std::lock_guard lock(*s.connectionsLock);
        const double now = Clock::now();
        std::erase_if(s.persistentConnectionsPool, [&](const std::shared_ptr<HTTPConnectionInfo>& info) {
            if (info->request || !info->expires || *info->expires > now) {
                return false;
            }
            if (info->stream) {
                closing.push_back(std::exchange(info->stream, nullptr));
            }
            return true;
        });
        for (const auto& stream : closing) {
            stream->close();
        }
    }
}

int64_t HTTPRequest::connectionID() const
{
    std::shared_ptr<HTTPConnectionInfo> info = connectionInfo();
    if (!info) {
        return 0;
    }
    std::lock_guard lock(*shared().connectionsLock);
    return info->id;
}

bool HTTPRequest::isNetworkInUse()
{
    Shared& s = shared();
    std::lock_guard lock(*s.connectionsLock);
    return s.runningRequestCount > 0;
}

void HTTPRequest::setShouldUpdateNetworkActivityIndicator(bool shouldUpdate)
{
    Shared& s = shared();
    std::lock_guard lock(*s.connectionsLock);
    s.shouldUpdateNetworkActivityIndicator = shouldUpdate;
}

// ---- Scheduling ------------------------------------------------------------------------------------------

void HTTPRequest::scheduleReadStream()
{
    Ref<CFHTTPReadStream> stream = readStream();
    if (!stream || readStreamIsScheduled()) {
        return;
    }
    {
        Shared& s = shared();
        std::lock_guard lock(*s.connectionsLock);
        // Shown on the main thread (UIKit's thread) when the first request starts.
        if (s.runningRequestCount++ == 0 && s.shouldUpdateNetworkActivityIndicator && !s.indicatorShowPosted) {
            s.indicatorShowPosted = true;
            performSelectorOnMainThread(
                [] {
                    Shared& state = HTTPRequest::shared();
                    {
                        std::lock_guard inner(*state.connectionsLock);
                        state.indicatorShowPosted = false;
                    }
                    UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(true);
                },
                false);
        }
    }
    setLastActivityTime(Clock::now());
    Weak<HTTPRequest> weak = weakSelf<HTTPRequest>();
    stream->setClient(kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                      [weak](CFReadStream&, CFStreamEventType type) {
                          if (auto request = weak.lock()) {
                              request->handleNetworkEvent(type);
                          }
                      });
    stream->scheduleWithRunLoop(NSRunLoop::currentRunLoop(), runLoopMode());
    setReadStreamIsScheduled(true);
}

void HTTPRequest::unscheduleReadStream()
{
    Ref<CFHTTPReadStream> stream = readStream();
    if (!stream || !readStreamIsScheduled()) {
        return;
    }
    {
        Shared& s = shared();
        std::lock_guard lock(*s.connectionsLock);
        if (--s.runningRequestCount == 0 && s.shouldUpdateNetworkActivityIndicator && !s.indicatorHidePosted) {
            // Hidden half a second later, and only when no request has started meanwhile. One pending hide
            // is enough: a newer one replaces it (a burst of short requests leaves one timer, not one each).
            s.indicatorHidePosted = true;
            performSelectorOnMainThread(
                [] {
                    {
                        Shared& state = HTTPRequest::shared();
                        std::lock_guard inner(*state.connectionsLock);
                        state.indicatorHidePosted = false;
                    }
                    const PerformRequest hide{&HTTPRequest::shared(), "hideNetworkActivityIndicatorAfterDelay", nullptr};
                    cancelPreviousPerformRequestsWithTarget(hide.target, hide.selector, hide.argument);
                    performSelectorAfterDelay(
                        hide,
                        [] {
                            Shared& state = HTTPRequest::shared();
                            std::lock_guard inner(*state.connectionsLock);
                            if (state.runningRequestCount == 0) {
                                UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
                            }
                        },
                        0.5);
                },
                false);
        }
    }
    stream->setClient(0, nullptr);
    stream->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), runLoopMode());
    setReadStreamIsScheduled(false);
}

void HTTPRequest::destroyReadStream()
{
    Ref<CFHTTPReadStream> stream = readStream();
    if (!stream) {
        return;
    }
    unscheduleReadStream();
    bool pooled = false;
    {
        std::lock_guard lock(*shared().connectionsLock);
        std::shared_ptr<HTTPConnectionInfo> info = connectionInfo();
        pooled = connectionCanBeReused() && info && info->stream == stream;
        if (!pooled && info && info->stream == stream) {
            info->stream = nullptr;  // closed here: nobody else may close it later
        }
    }
    if (!pooled) {
        stream->setClient(0, nullptr);
        stream->close();
    }
    // A reusable connection keeps the stream open in the pool until a later request on that connection
    // opens its own stream, or the connection expires.
    setReadStream(nullptr);
}

void HTTPRequest::cancelLoad()
{
    // A proxy script still being fetched for this attempt is given up (and its queue slot given back).
    abandonPACFileFetch();
    destroyReadStream();
    if (Ref<CFReadStream> body = postBodyReadStream()) {
        body->close();
        setPostBodyReadStream(nullptr);
    }
    if (downloadDestinationPath().empty() && !downloadComplete()) {
        setRawResponseData(NSData());
    }
    abandonFileDownload();
    if (authenticationNeeded() == 0 && !willRetryRequest()) {
        removeTemporaryUploadFile();
        removeTemporaryCompressedUploadFile();
        setDidCreateTemporaryPostDataFile(false);
    }
}

// ---- Temporary files -------------------------------------------------------------------------------------

bool HTTPRequest::removeFileAtPath_error(const std::string& path, Ref<NSError>* error)
{
    Ref<NSFileManager> manager = NSFileManager::defaultManager();
    if (!manager->fileExistsAtPath(path)) {
        return true;
    }
    Ref<NSError> removeError;
    if (!manager->removeItemAtPath_error(path, &removeError)) {
        if (error) {
            *error = HTTPRequestError(HTTPErrorFileManagement,
                                      stringWithFormat("Failed to delete file at path '%@'", path), removeError);
        }
        return false;
    }
    return true;
}

bool HTTPRequest::removeTemporaryFile(std::string& field)
{
    const std::string path = locked(field);
    if (path.empty()) {
        return true;
    }
    Ref<NSError> removeError;
    const bool removed = removeFileAtPath_error(path, &removeError);
    if (!removed) {
        failWithError(removeError);
    }
    store(field, std::string());
    return removed;
}

bool HTTPRequest::removeTemporaryUploadFile()
{
    if (!didCreateTemporaryPostDataFile()) {
        return true;  // only a file the request made for itself is deleted
    }
    return removeTemporaryFile(postBodyFilePath_);
}

bool HTTPRequest::removeTemporaryCompressedUploadFile()
{
    return removeTemporaryFile(compressedPostBodyFilePath_);
}

bool HTTPRequest::removeTemporaryDownloadFile()
{
    return removeTemporaryFile(temporaryFileDownloadPath_);
}

bool HTTPRequest::removeTemporaryUncompressedDownloadFile()
{
    return removeTemporaryFile(temporaryUncompressedDataDownloadPath_);
}
