#pragma once
// HTTPRequest: one HTTP request and, once it has run, its response. A concurrent operation, run once.
//
//   auto request = HTTPRequest::requestWithURL(NSURL::URLWithString("http://host/path"));
//   request->setDelegate(screen);          // held weakly; messages arrive on the main thread
//   request->startAsynchronous();          // queued on the shared queue (at most 4 run at once)
//   ...
//   request->startSynchronous();           // or: runs on the calling thread, returns when it has ended
//   request->responseString(), responseData(), responseStatusCode(), error()
//
// Life cycle. startAsynchronous adds the request to sharedQueue(); the queue calls start(), which marks
// it in progress and posts main() to the one network thread (made on first use, kept for the life of
// the process). Every step of an asynchronous request runs there: main(), the stream's events, the
// status timer, cancellation. startSynchronous runs main() on the calling thread and spins that thread's
// run loop in "HTTPRequestRunLoopMode" until the request is complete; work posted to the thread in the
// common modes (other requests' callbacks, main-queue blocks) waits until it returns.
//
// Callbacks. Delegate messages, the blocks and the queue's messages run on the main thread. The sender
// waits for them only when it is the main thread itself: a synchronous request run on the main thread
// gets its messages inline, inside its run; run on another thread it gets them after it returns. The
// receivers are read when the message runs on the main thread, so after clearDelegatesAndCancel nothing
// reaches the old delegate, even a message queued before.
//
// Keeping alive. Every task a request posts holds a reference to it, and so does the status timer of a
// running attempt; the shared queue holds the requests it runs. A running request therefore lives until
// it has ended and its messages have been delivered, even when its owner lets go.
//
// Locks. Each request has its own recursive cancelledLock, held by main(), by each stream event, by
// cancellation and by the accessors of url, requestMethod, delegate and queue; it is always taken before
// any process-wide lock (connections, progress, throttling, authentication). Other properties are read
// and written whole (an accessor never sees half a value), under a small per-request lock or as atomics.
//
// Not thread-affine data: a request's streams belong to the thread whose run loop they are scheduled on
// (the network thread, or the synchronous caller), and only that thread touches them; a cancel from any
// other thread is carried out there.
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/http/HTTPDataDecompressor.h"
#include "net/http/HTTPRequestDelegate.h"
#include "net/http/HTTPRequestErrors.h"
#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/cfnetwork/NSURLCredential.h"
#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/cfnetwork/CFHTTPReadStream.h"
#include "platform/cfnetwork/NSHTTPCookie.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/foundation/Charset.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSLock.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

// The private mode of synchronous requests.
inline constexpr char HTTPRequestRunLoopMode[] = "HTTPRequestRunLoopMode";

// One entry of the pool of persistent connections: a connection to one host, scheme and port, known to
// the transport by `id` (the read stream's HTTPStreamID). Every field is guarded by the connections
// lock.
struct HTTPConnectionInfo {
    int64_t id = 0;
    std::string host;
    int port = 0;  // 0 when the URL names no port
    std::string scheme;
    std::optional<int64_t> request;  // the requestID of the request using it; none while idle
    Ref<CFHTTPReadStream> stream;    // the stream that last used it
    std::optional<double> expires;   // Clock::now() time after which an idle connection is not reused
};

class HTTPRequest : public NSOperation {
public:
    // ---- Creation: unstarted requests with every default ------------------------------------------
    static Ref<HTTPRequest> initWithURL(const Ref<NSURL>& newURL);
    static Ref<HTTPRequest> requestWithURL(const Ref<NSURL>& newURL);
    static Ref<HTTPRequest> requestWithURL_usingCache(const Ref<NSURL>& newURL, const Ref<HTTPCacheDelegate>& cache);
    static Ref<HTTPRequest> requestWithURL_usingCache_andCachePolicy(const Ref<NSURL>& newURL,
                                                                     const Ref<HTTPCacheDelegate>& cache,
                                                                     int policy);
    ~HTTPRequest() override;

    // A new request for the same URL with the same configuration (copyWithZone:). The queue, the blocks
    // and the response are not copied; the body is built again for the copy, and a body file that the
    // original made for itself is copied, so the copy never depends on a file the original deletes.
    virtual Ref<HTTPRequest> copyWithZone(void* zone = nullptr) const;
    // The HEAD request a network queue sends ahead of this GET to learn its size: a copy with the method
    // "HEAD" whose mainRequest is this request. It reports nothing itself: its headers and cookies are
    // this request's, its length lands on this request, and its failure fails this request.
    Ref<HTTPRequest> HEADRequest();
    // Answers the request from its download cache: the stored headers, the status stored with them, the
    // stored body (into the download destination or memory), then finishes as after a download.
    void useDataFromCache();

    // ---- Running -------------------------------------------------------------------------------------
    void startAsynchronous();
    void startSynchronous();
    void start() override;
    void main() override;
    bool isConcurrent() const override { return true; }
    // start() only posts main() to the network thread, so the shared queue calls it on whichever thread
    // frees a slot (usually the network thread itself), with no worker in between.
    bool startsOnAnyThread() const override { return true; }

    // Fails a running request with code 4 (delegates still told, unless cleared first) on the request's
    // own thread; nothing once it has completed or been cancelled. Returns at once.
    void cancel() override;
    // Clears the delegates, the queue and the blocks, then cancels: no message reaches them afterwards.
    void clearDelegatesAndCancel();
    bool isCancelled() const;

    // ---- Class state ---------------------------------------------------------------------------------
    static Ref<NSOperationQueue> sharedQueue();
    static Ref<NSThread> threadForRequest(const Ref<HTTPRequest>& request);
    static bool isMultitaskingSupported();
    static double defaultTimeOutSeconds();
    static void setDefaultTimeOutSeconds(double seconds);
    static Ref<HTTPCacheDelegate> defaultCache();
    static void setDefaultCache(const Ref<HTTPCacheDelegate>& cache);
    static std::string defaultUserAgentString();  // "" when the bundle names no application
    static void setDefaultUserAgentString(std::optional<std::string> agent);
    // The MIME type of a file's extension; "" when no file is at the path.
    static std::string mimeTypeForFileAtPath(const std::string& path);
    // Closes and forgets the idle pooled connections whose expiry has passed.
    static void expirePersistentConnections();
    // Whether any request has its read stream scheduled.
    static bool isNetworkInUse();
    static void setShouldUpdateNetworkActivityIndicator(bool shouldUpdate);
    // Deletes a file; YES when none is there or it was deleted, else NO with a code 8 error.
    static bool removeFileAtPath_error(const std::string& path, Ref<NSError>* error);

    // ---- Building the request ------------------------------------------------------------------------
    void addRequestHeader_value(const std::string& header, const std::string& value);
    void appendPostData(const NSData& data);
    void appendPostDataFromFile(const std::string& file);
    virtual void setupPostBody();
    virtual void buildPostBody();
    void buildRequestHeaders();
    void applyCookieHeader();
    // The "id" of the pooled connection this request uses; 0 when it uses none.
    int64_t connectionID() const;

    // ---- The result ----------------------------------------------------------------------------------
    // The body bytes; a compressed body inflated (once, then kept), empty when it does not inflate.
    NSData responseData() const;
    // The body decoded in the response's encoding; "" when there is no body or it is not valid text in
    // that encoding.
    std::string responseString() const;

    // ---- Properties: target and body -----------------------------------------------------------------
    Ref<NSURL> url() const;
    void setURL(const Ref<NSURL>& newURL);
    Ref<NSURL> originalURL() const { return locked(originalURL_); }
    void setOriginalURL(const Ref<NSURL>& value) { store(originalURL_, value); }
    Ref<NSURL> redirectURL() const { return locked(redirectURL_); }
    void setRedirectURL(const Ref<NSURL>& value) { store(redirectURL_, value); }
    std::string requestMethod() const;
    void setRequestMethod(const std::string& newRequestMethod);
    // Header name -> value, names compared without regard to case; empty until the first header.
    HTTPHeaderFields requestHeaders() const { return locked(requestHeaders_); }
    void setRequestHeaders(const HTTPHeaderFields& value) { store(requestHeaders_, value); }
    std::vector<Ref<NSHTTPCookie>> requestCookies() const { return locked(requestCookies_); }
    void setRequestCookies(const std::vector<Ref<NSHTTPCookie>>& value) { store(requestCookies_, value); }
    bool useCookiePersistence() const { return useCookiePersistence_; }
    void setUseCookiePersistence(bool value) { useCookiePersistence_ = value; }
    // "" uses defaultUserAgentString().
    std::string userAgent() const { return locked(userAgent_); }
    void setUserAgent(const std::string& value) { store(userAgent_, value); }
    bool useHTTPVersionOne() const { return useHTTPVersionOne_; }
    void setUseHTTPVersionOne(bool value) { useHTTPVersionOne_ = value; }
    // The body in memory; nullopt until a body store was set up.
    std::optional<NSData> postBody() const { return locked(postBody_); }
    void setPostBody(const std::optional<NSData>& value) { store(postBody_, value); }
    std::string postBodyFilePath() const { return locked(postBodyFilePath_); }
    void setPostBodyFilePath(const std::string& value) { store(postBodyFilePath_, value); }
    bool shouldStreamPostDataFromDisk() const { return shouldStreamPostDataFromDisk_; }
    void setShouldStreamPostDataFromDisk(bool value) { shouldStreamPostDataFromDisk_ = value; }
    bool shouldCompressRequestBody() const { return shouldCompressRequestBody_; }
    void setShouldCompressRequestBody(bool value) { shouldCompressRequestBody_ = value; }
    unsigned long long postLength() const { return postLength_; }
    void setPostLength(unsigned long long value) { postLength_ = value; }
    bool didCreateTemporaryPostDataFile() const { return didCreateTemporaryPostDataFile_; }
    void setDidCreateTemporaryPostDataFile(bool value) { didCreateTemporaryPostDataFile_ = value; }
    std::optional<NSData> compressedPostBody() const { return locked(compressedPostBody_); }
    void setCompressedPostBody(const std::optional<NSData>& value) { store(compressedPostBody_, value); }
    std::string compressedPostBodyFilePath() const { return locked(compressedPostBodyFilePath_); }
    void setCompressedPostBodyFilePath(const std::string& value) { store(compressedPostBodyFilePath_, value); }
    Ref<CFReadStream> postBodyReadStream() const { return locked(postBodyReadStream_); }
    void setPostBodyReadStream(const Ref<CFReadStream>& value) { store(postBodyReadStream_, value); }
    bool haveBuiltPostBody() const { return haveBuiltPostBody_; }
    void setHaveBuiltPostBody(bool value) { haveBuiltPostBody_ = value; }
    bool haveBuiltRequestHeaders() const { return haveBuiltRequestHeaders_; }
    void setHaveBuiltRequestHeaders(bool value) { haveBuiltRequestHeaders_ = value; }

    // ---- Properties: delegation and identity ---------------------------------------------------------
    Ref<HTTPRequestDelegate> delegate() const;
    void setDelegate(const Weak<HTTPRequestDelegate>& newDelegate);
    Ref<HTTPRequestDelegate> queue() const;
    void setQueue(const Ref<HTTPRequestDelegate>& newQueue);
    Ref<HTTPProgressDelegate> uploadProgressDelegate() const;
    void setUploadProgressDelegate(const Weak<HTTPProgressDelegate>& newDelegate);
    Ref<HTTPProgressDelegate> downloadProgressDelegate() const;
    void setDownloadProgressDelegate(const Weak<HTTPProgressDelegate>& newDelegate);
    std::string didStartSelector() const { return locked(didStartSelector_); }
    void setDidStartSelector(const std::string& value) { store(didStartSelector_, value); }
    std::string didReceiveResponseHeadersSelector() const { return locked(didReceiveResponseHeadersSelector_); }
    void setDidReceiveResponseHeadersSelector(const std::string& value) { store(didReceiveResponseHeadersSelector_, value); }
    std::string willRedirectSelector() const { return locked(willRedirectSelector_); }
    void setWillRedirectSelector(const std::string& value) { store(willRedirectSelector_, value); }
    std::string didFinishSelector() const { return locked(didFinishSelector_); }
    void setDidFinishSelector(const std::string& value) { store(didFinishSelector_, value); }
    std::string didFailSelector() const { return locked(didFailSelector_); }
    void setDidFailSelector(const std::string& value) { store(didFailSelector_, value); }
    std::string didReceiveDataSelector() const { return locked(didReceiveDataSelector_); }
    void setDidReceiveDataSelector(const std::string& value) { store(didReceiveDataSelector_, value); }
    Value userInfo() const { return locked(userInfo_); }
    void setUserInfo(const Value& value) { store(userInfo_, value); }
    int tag() const { return tag_; }
    void setTag(int value) { tag_ = value; }
    // The request's number from the process-wide counter (the first request is 1); 0 before its first
    // attempt.
    int64_t requestID() const { return requestID_; }
    void setRequestID(int64_t value) { requestID_ = value; }
    Ref<HTTPRequest> mainRequest() const { return locked(mainRequest_).lock(); }
    void setMainRequest(const Weak<HTTPRequest>& value) { store(mainRequest_, value); }

    // ---- Properties: running, time-outs and connections ----------------------------------------------
    double timeOutSeconds() const { return timeOutSeconds_; }
    void setTimeOutSeconds(double value) { timeOutSeconds_ = value; }
    int numberOfTimesToRetryOnTimeout() const { return numberOfTimesToRetryOnTimeout_; }
    void setNumberOfTimesToRetryOnTimeout(int value) { numberOfTimesToRetryOnTimeout_ = value; }
    int retryCount() const { return retryCount_; }
    void setRetryCount(int value) { retryCount_ = value; }
    bool willRetryRequest() const { return willRetryRequest_; }
    void setWillRetryRequest(bool value) { willRetryRequest_ = value; }
    bool shouldAttemptPersistentConnection() const { return shouldAttemptPersistentConnection_; }
    void setShouldAttemptPersistentConnection(bool value) { shouldAttemptPersistentConnection_ = value; }
    double persistentConnectionTimeoutSeconds() const { return persistentConnectionTimeoutSeconds_; }
    void setPersistentConnectionTimeoutSeconds(double value) { persistentConnectionTimeoutSeconds_ = value; }
    bool connectionCanBeReused() const { return connectionCanBeReused_; }
    void setConnectionCanBeReused(bool value) { connectionCanBeReused_ = value; }
    std::shared_ptr<HTTPConnectionInfo> connectionInfo() const { return locked(connectionInfo_); }
    void setConnectionInfo(const std::shared_ptr<HTTPConnectionInfo>& value) { store(connectionInfo_, value); }
    bool shouldContinueWhenAppEntersBackground() const { return shouldContinueWhenAppEntersBackground_; }
    void setShouldContinueWhenAppEntersBackground(bool value) { shouldContinueWhenAppEntersBackground_ = value; }
    // The background task the request holds while it runs (0 when none).
    unsigned long backgroundTask() const { return backgroundTask_; }
    std::string runLoopMode() const { return locked(runLoopMode_); }
    void setRunLoopMode(const std::string& value) { store(runLoopMode_, value); }
    bool isSynchronous() const { return isSynchronous_; }
    void setSynchronous(bool value) { isSynchronous_ = value; }
    bool inProgress() const { return inProgress_; }
    void setInProgress(bool value) { inProgress_ = value; }
    bool complete() const { return complete_; }
    void setComplete(bool value) { complete_ = value; }
    bool downloadComplete() const { return downloadComplete_; }
    void setDownloadComplete(bool value) { downloadComplete_ = value; }
    // A Clock::now() time; nullopt when cleared.
    std::optional<double> lastActivityTime() const { return locked(lastActivityTime_); }
    void setLastActivityTime(std::optional<double> value) { store(lastActivityTime_, value); }
    Ref<NSTimer> statusTimer() const { return locked(statusTimer_); }
    // Replacing the timer invalidates the old one.
    void setStatusTimer(const Ref<NSTimer>& timer);
    Ref<CFHTTPReadStream> readStream() const { return locked(readStream_); }
    void setReadStream(const Ref<CFHTTPReadStream>& value) { store(readStream_, value); }
    bool readStreamIsScheduled() const { return readStreamIsScheduled_; }
    void setReadStreamIsScheduled(bool value) { readStreamIsScheduled_ = value; }
    const Ref<NSRecursiveLock>& cancelledLock() const { return cancelledLock_; }

    // ---- Properties: redirects -----------------------------------------------------------------------
    bool shouldRedirect() const { return shouldRedirect_; }
    void setShouldRedirect(bool value) { shouldRedirect_ = value; }
    bool shouldUseRFC2616RedirectBehaviour() const { return shouldUseRFC2616RedirectBehaviour_; }
    void setShouldUseRFC2616RedirectBehaviour(bool value) { shouldUseRFC2616RedirectBehaviour_ = value; }
    bool needsRedirect() const { return needsRedirect_; }
    void setNeedsRedirect(bool value) { needsRedirect_ = value; }
    int redirectCount() const { return redirectCount_; }
    void setRedirectCount(int value) { redirectCount_ = value; }

    // ---- Properties: authentication and proxies ------------------------------------------------------
    std::string username() const { return locked(username_); }
    void setUsername(const std::string& value) { store(username_, value); }
    std::string password() const { return locked(password_); }
    void setPassword(const std::string& value) { store(password_, value); }
    std::string domain() const { return locked(domain_); }
    void setDomain(const std::string& value) { store(domain_, value); }
    std::string proxyUsername() const { return locked(proxyUsername_); }
    void setProxyUsername(const std::string& value) { store(proxyUsername_, value); }
    std::string proxyPassword() const { return locked(proxyPassword_); }
    void setProxyPassword(const std::string& value) { store(proxyPassword_, value); }
    std::string proxyDomain() const { return locked(proxyDomain_); }
    void setProxyDomain(const std::string& value) { store(proxyDomain_, value); }
    bool useKeychainPersistence() const { return useKeychainPersistence_; }
    void setUseKeychainPersistence(bool value) { useKeychainPersistence_ = value; }
    bool useSessionPersistence() const { return useSessionPersistence_; }
    void setUseSessionPersistence(bool value) { useSessionPersistence_ = value; }
    bool shouldPresentCredentialsBeforeChallenge() const { return shouldPresentCredentialsBeforeChallenge_; }
    void setShouldPresentCredentialsBeforeChallenge(bool value) { shouldPresentCredentialsBeforeChallenge_ = value; }
    bool shouldPresentAuthenticationDialog() const { return shouldPresentAuthenticationDialog_; }
    void setShouldPresentAuthenticationDialog(bool value) { shouldPresentAuthenticationDialog_ = value; }
    bool shouldPresentProxyAuthenticationDialog() const { return shouldPresentProxyAuthenticationDialog_; }
    void setShouldPresentProxyAuthenticationDialog(bool value) { shouldPresentProxyAuthenticationDialog_ = value; }
    // 0 none, 1 the server answered 401, 2 the proxy answered 407.
    int authenticationNeeded() const { return authenticationNeeded_; }
    void setAuthenticationNeeded(int value) { authenticationNeeded_ = value; }
    std::string authenticationRealm() const { return locked(authenticationRealm_); }
    void setAuthenticationRealm(const std::string& value) { store(authenticationRealm_, value); }
    std::string proxyAuthenticationRealm() const { return locked(proxyAuthenticationRealm_); }
    void setProxyAuthenticationRealm(const std::string& value) { store(proxyAuthenticationRealm_, value); }
    std::string authenticationScheme() const { return locked(authenticationScheme_); }
    void setAuthenticationScheme(const std::string& value) { store(authenticationScheme_, value); }
    std::string proxyAuthenticationScheme() const { return locked(proxyAuthenticationScheme_); }
    void setProxyAuthenticationScheme(const std::string& value) { store(proxyAuthenticationScheme_, value); }
    int authenticationRetryCount() const { return authenticationRetryCount_; }
    void setAuthenticationRetryCount(int value) { authenticationRetryCount_ = value; }
    int proxyAuthenticationRetryCount() const { return proxyAuthenticationRetryCount_; }
    void setProxyAuthenticationRetryCount(int value) { proxyAuthenticationRetryCount_ = value; }
    Value requestCredentials() const { return locked(requestCredentials_); }
    void setRequestCredentials(const Value& value) { store(requestCredentials_, value); }
    Value proxyCredentials() const { return locked(proxyCredentials_); }
    void setProxyCredentials(const Value& value) { store(proxyCredentials_, value); }
    std::string proxyHost() const { return locked(proxyHost_); }
    void setProxyHost(const std::string& value) { store(proxyHost_, value); }
    int proxyPort() const { return proxyPort_; }
    void setProxyPort(int value) { proxyPort_ = value; }
    // One of the kCFProxyType... texts of HTTPSystemProxies.h; "" before a proxy is chosen.
    std::string proxyType() const { return locked(proxyType_); }
    void setProxyType(const std::string& value) { store(proxyType_, value); }
    Ref<NSURL> PACurl() const { return locked(PACurl_); }
    void setPACurl(const Ref<NSURL>& value) { store(PACurl_, value); }
    bool isPACFileRequest() const { return isPACFileRequest_; }
    void setIsPACFileRequest(bool value) { isPACFileRequest_ = value; }
    Ref<HTTPRequest> PACFileRequest() const { return locked(PACFileRequest_); }
    void setPACFileRequest(const Ref<HTTPRequest>& value) { store(PACFileRequest_, value); }
    bool validatesSecureCertificate() const { return validatesSecureCertificate_; }
    void setValidatesSecureCertificate(bool value) { validatesSecureCertificate_ = value; }
    // Certificates (SecCertificate) sent after the client identity.
    std::vector<Ref<NSObject>> clientCertificates() const { return locked(clientCertificates_); }
    void setClientCertificates(const std::vector<Ref<NSObject>>& value) { store(clientCertificates_, value); }
    Ref<SecIdentity> clientCertificateIdentity() const { return locked(clientCertificateIdentity_); }
    void setClientCertificateIdentity(const Ref<SecIdentity>& value) { store(clientCertificateIdentity_, value); }

    // ---- Properties: the response --------------------------------------------------------------------
    int responseStatusCode() const { return responseStatusCode_; }
    void setResponseStatusCode(int value) { responseStatusCode_ = value; }
    // The whole status line ("HTTP/1.1 200 OK").
    std::string responseStatusMessage() const { return locked(responseStatusMessage_); }
    void setResponseStatusMessage(const std::string& value) { store(responseStatusMessage_, value); }
    HTTPHeaderFields responseHeaders() const { return locked(responseHeaders_); }
    void setResponseHeaders(const HTTPHeaderFields& value) { store(responseHeaders_, value); }
    std::vector<Ref<NSHTTPCookie>> responseCookies() const { return locked(responseCookies_); }
    void setResponseCookies(const std::vector<Ref<NSHTTPCookie>>& value) { store(responseCookies_, value); }
    // The body as received (still compressed when the server compressed it).
    NSData rawResponseData() const { return locked(rawResponseData_); }
    void setRawResponseData(const NSData& value)
    {
        std::lock_guard lock(propertyLock_);
        rawResponseData_ = value;
        ++rawResponseGeneration_;
    }
    // The most bytes a compressed body may inflate to (64 MiB by default). Past it responseData() is
    // empty with responseDecompressionError() set, and a body inflated as it arrives fails the request;
    // both with code 11.
    unsigned long long maximumInflatedResponseLength() const { return maximumInflatedResponseLength_; }
    void setMaximumInflatedResponseLength(unsigned long long value) { maximumInflatedResponseLength_ = value; }
    // Why responseData() could not inflate the stored body (code 11), or nullptr.
    Ref<NSError> responseDecompressionError() const { return locked(responseDecompressionError_); }
    unsigned long long contentLength() const { return contentLength_; }
    void setContentLength(unsigned long long value) { contentLength_ = value; }
    unsigned long long partialDownloadSize() const { return partialDownloadSize_; }
    void setPartialDownloadSize(unsigned long long value) { partialDownloadSize_ = value; }
    unsigned long long totalBytesRead() const { return totalBytesRead_; }
    void setTotalBytesRead(unsigned long long value) { totalBytesRead_ = value; }
    unsigned long long totalBytesSent() const { return totalBytesSent_; }
    void setTotalBytesSent(unsigned long long value) { totalBytesSent_ = value; }
    NSStringEncoding defaultResponseEncoding() const { return defaultResponseEncoding_; }
    void setDefaultResponseEncoding(NSStringEncoding value) { defaultResponseEncoding_ = value; }
    NSStringEncoding responseEncoding() const { return responseEncoding_; }
    void setResponseEncoding(NSStringEncoding value) { responseEncoding_ = value; }
    bool allowCompressedResponse() const { return allowCompressedResponse_; }
    void setAllowCompressedResponse(bool value) { allowCompressedResponse_ = value; }
    bool shouldWaitToInflateCompressedResponses() const { return shouldWaitToInflateCompressedResponses_; }
    void setShouldWaitToInflateCompressedResponses(bool value) { shouldWaitToInflateCompressedResponses_ = value; }
    Ref<HTTPDataDecompressor> dataDecompressor() const { return locked(dataDecompressor_); }
    void setDataDecompressor(const Ref<HTTPDataDecompressor>& value) { store(dataDecompressor_, value); }
    Ref<NSError> error() const { return locked(error_); }
    void setError(const Ref<NSError>& value) { store(error_, value); }
    bool didUseCachedResponse() const { return didUseCachedResponse_; }
    void setDidUseCachedResponse(bool value) { didUseCachedResponse_ = value; }

    // ---- Properties: download to a file --------------------------------------------------------------
    std::string downloadDestinationPath() const { return locked(downloadDestinationPath_); }
    void setDownloadDestinationPath(const std::string& value) { store(downloadDestinationPath_, value); }
    std::string temporaryFileDownloadPath() const { return locked(temporaryFileDownloadPath_); }
    void setTemporaryFileDownloadPath(const std::string& value) { store(temporaryFileDownloadPath_, value); }
    std::string temporaryUncompressedDataDownloadPath() const { return locked(temporaryUncompressedDataDownloadPath_); }
    void setTemporaryUncompressedDataDownloadPath(const std::string& value)
    {
        store(temporaryUncompressedDataDownloadPath_, value);
    }
    bool allowResumeForFileDownloads() const { return allowResumeForFileDownloads_; }
    void setAllowResumeForFileDownloads(bool value) { allowResumeForFileDownloads_ = value; }

    // ---- Properties: progress ------------------------------------------------------------------------
    bool showAccurateProgress() const { return showAccurateProgress_; }
    void setShowAccurateProgress(bool value) { showAccurateProgress_ = value; }
    bool shouldResetDownloadProgress() const { return shouldResetDownloadProgress_; }
    void setShouldResetDownloadProgress(bool value) { shouldResetDownloadProgress_ = value; }
    bool shouldResetUploadProgress() const { return shouldResetUploadProgress_; }
    void setShouldResetUploadProgress(bool value) { shouldResetUploadProgress_ = value; }
    unsigned long long uploadBufferSize() const { return uploadBufferSize_; }
    void setUploadBufferSize(unsigned long long value) { uploadBufferSize_ = value; }
    unsigned long long lastBytesRead() const { return lastBytesRead_; }
    void setLastBytesRead(unsigned long long value) { lastBytesRead_ = value; }
    unsigned long long lastBytesSent() const { return lastBytesSent_; }
    void setLastBytesSent(unsigned long long value) { lastBytesSent_ = value; }
    bool updatedProgress() const { return updatedProgress_; }
    void setUpdatedProgress(bool value) { updatedProgress_ = value; }

    // ---- Properties: download cache ------------------------------------------------------------------
    Ref<HTTPCacheDelegate> downloadCache() const { return locked(downloadCache_); }
    void setDownloadCache(const Ref<HTTPCacheDelegate>& value) { store(downloadCache_, value); }
    int cachePolicy() const { return cachePolicy_; }
    void setCachePolicy(int value) { cachePolicy_ = value; }
    int cacheStoragePolicy() const { return cacheStoragePolicy_; }
    void setCacheStoragePolicy(int value) { cacheStoragePolicy_ = value; }
    double secondsToCache() const { return secondsToCache_; }
    void setSecondsToCache(double value) { secondsToCache_ = value; }

    // ---- Blocks: called on the main thread, right after the matching delegate message ---------------
    using BasicBlock = std::function<void()>;
    using HeadersBlock = std::function<void(const HTTPHeaderFields& responseHeaders)>;
    using SizeBlock = std::function<void(long long size)>;
    // The step may be negative (progress taken back when an attempt starts again).
    using ProgressBlock = std::function<void(long long size, unsigned long long total)>;
    using DataBlock = std::function<void(const NSData& data)>;
    void setStartedBlock(BasicBlock block);
    void setHeadersReceivedBlock(HeadersBlock block);
    // The request's own completion (it hides the operation's completion block, as on the platform).
    void setCompletionBlock(BasicBlock block);
    void setFailedBlock(BasicBlock block);
    void setBytesReceivedBlock(ProgressBlock block);
    void setBytesSentBlock(ProgressBlock block);
    void setDownloadSizeIncrementedBlock(SizeBlock block);
    void setUploadSizeIncrementedBlock(SizeBlock block);
    void setDataReceivedBlock(DataBlock block);
    void setAuthenticationNeededBlock(BasicBlock block);
    void setProxyAuthenticationNeededBlock(BasicBlock block);
    void setRequestRedirectedBlock(BasicBlock block);

    // ---- Response reading, cookies, redirects, file downloads (HTTPRequestResponse.cpp) -------------
    // [response: public declarations]
    // Whether the response's "Content-Encoding" names gzip.
    bool isResponseCompressed() const;
    // Continues a redirect that the delegate was asked to confirm (request:willRedirectToURL:), on the
    // request's thread.
    void redirectToURL(const Ref<NSURL>& newURL);
    // The MIME type (the text before the first ";", trimmed) and the encoding named by "charset=" in a
    // "Content-Type" value; the encoding is left as it is when no charset, or an unknown one, is named.
    static void parseMimeType_andResponseEncoding_fromContentType(std::string* mimeType,
                                                                  NSStringEncoding* stringEncoding,
                                                                  const std::string& contentType);
    // An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", with or without the weekday and the seconds).
    static std::optional<NSDate> dateFromRFC1123String(const std::string& string);
    // The cookies received in this process (with cookie persistence on); a cookie with the same
    // domain, path and name replaces the one before.
    static std::vector<Ref<NSHTTPCookie>> sessionCookies();
    static void setSessionCookies(const std::vector<Ref<NSHTTPCookie>>& newSessionCookies);
    static void addSessionCookie(const Ref<NSHTTPCookie>& newCookie);

    // ---- Status timer, time-outs, progress, bandwidth (HTTPRequestStatus.cpp) ------------------------
    // [status: public declarations]
    // Adds to the download or upload size that the queue, the progress delegate and the size block count
    // (the amount may be negative).
    void incrementDownloadSizeBy(long long length);
    void incrementUploadSizeBy(long long length);
    // Sends setProgress(progress / total) to an indicator that answers it, on the main thread (at once
    // when already there). A total of 0 shows 0, never a division by zero.
    static void updateProgressIndicator_withProgress_ofTotal(const Ref<HTTPProgressDelegate>& indicator,
                                                             unsigned long long progress, unsigned long long total);

    // The process-wide bandwidth meter and throttle. Bytes read and body bytes sent by every request are
    // counted per second; with a maximum set (bytes per second, 0 = none), reads are cut short and a
    // request's stream is taken off its run loop until the second it overdrew is paid for.
    // Throttled: a maximum that applies on every link, or the cellular-only limit while on a cellular link.
    static bool isBandwidthThrottled();
    static unsigned long maxBandwidthPerSecond();
    static void setMaxBandwidthPerSecond(unsigned long bytes);
    static void incrementBandwidthUsedInLastSecond(unsigned long bytes);
    // Closes the current measurement second: its count joins the tracker (the last 6 seconds at most),
    // the average is taken again and the next second ends one second from now.
    static void recordBandwidthUsage();
    static unsigned long averageBandwidthUsedPerSecond();
    // Closes the second when it has ended; when more than the maximum was used in it, orders the
    // wake-up time: the end of the second plus the overdraft's share of a second.
    static void measureBandwidthUsage();
    // How many body bytes a throttled body stream may read now: a quarter of the maximum, at most what
    // is left of this second's allowance, never below 0.
    static unsigned long maxUploadReadLength();
    // YES: a limit of 14800 bytes per second on cellular links only; NO: no limit at all.
    static void setShouldThrottleBandwidthForWWAN(bool throttle);
    static void throttleBandwidthForWWANUsingLimit(unsigned long limit);
    static bool isNetworkReachableViaWWAN();
    // The meter's state, read whole (Clock::now() times; nullopt when not set).
    static unsigned long bandwidthUsedInLastSecond();
    static std::optional<double> bandwidthMeasurementDate();
    static std::optional<double> throttleWakeUpTime();
    static std::vector<unsigned long> bandwidthUsageTracker();
    // Back to the state of a fresh process: no limit, no cellular watch, nothing measured.
    static void resetBandwidthThrottling();

    // ---- Authentication and proxy scripts (HTTPRequestAuthentication.cpp, HTTPRequestProxyScript.cpp)
    // [authentication: public declarations]
    // Sets "Authorization" to Basic credentials made of the two texts, and the scheme to Basic.
    void addBasicAuthenticationHeaderWithUsername_andPassword(const std::string& theUsername,
                                                              const std::string& thePassword);
    // After the delegate or the dialog has filled in credentials: tries them on the request's thread.
    void retryUsingSuppliedCredentials();
    // Gives up waiting for credentials: the request fails with code 3 on its own thread.
    void cancelAuthentication();
    // The challenge objects of the current URL (dropped when the URL changes).
    Ref<CFHTTPAuthentication> requestAuthentication() const { return locked(requestAuthentication_); }
    Ref<CFHTTPAuthentication> proxyAuthentication() const { return locked(proxyAuthentication_); }
    // RFC 4648 Base64 with padding and no line breaks.
    static std::string base64forData(const NSData& theData);

    // Session credential stores: arrays of dictionaries ("Authentication", "Credentials", "URL" or
    // "Host" and "Port", "AuthenticationScheme", "AuthenticationRealm"), kept for the process.
    static Value sessionCredentialsStore();
    static Value sessionProxyCredentialsStore();
    static void storeAuthenticationCredentialsInSessionStore(const Value& credentials);
    static void storeProxyAuthenticationCredentialsInSessionStore(const Value& credentials);
    // Removes the first entry holding this very credentials dictionary.
    static void removeAuthenticationCredentialsFromSessionStore(const Value& credentials);
    static void removeProxyAuthenticationCredentialsFromSessionStore(const Value& credentials);
    // Empties the server credential store and the session cookies.
    static void clearSession();

    // The platform's credential storage (the keychain); saved credentials are permanent.
    static void saveCredentials_forHost_port_protocol_realm(const Ref<NSURLCredential>& credentials,
                                                            const std::string& host, int port,
                                                            const std::string& protocol, const std::string& realm);
    static void saveCredentials_forProxy_port_realm(const Ref<NSURLCredential>& credentials, const std::string& host,
                                                    int port, const std::string& realm);
    static Ref<NSURLCredential> savedCredentialsForHost_port_protocol_realm(const std::string& host, int port,
                                                                            const std::string& protocol,
                                                                            const std::string& realm);
    static Ref<NSURLCredential> savedCredentialsForProxy_port_protocol_realm(const std::string& host, int port,
                                                                             const std::string& protocol,
                                                                             const std::string& realm);
    static void removeCredentialsForHost_port_protocol_realm(const std::string& host, int port,
                                                             const std::string& protocol, const std::string& realm);
    static void removeCredentialsForProxy_port_realm(const std::string& host, int port, const std::string& realm);

    HTTPRequest();  // use the factories

protected:
    void initWithURLBody(const Ref<NSURL>& newURL);
    // Copies the configuration that copyWithZone carries into `copy` (subclasses call it from theirs).
    void copyConfigurationTo(HTTPRequest& copy) const;

    // ---- The request's thread ------------------------------------------------------------------------
    // Runs `step` on the thread that owns the request's streams (the network thread, or the thread of a
    // synchronous run), in a mode that thread serves while the request runs. Never waits.
    void performOnRequestThread(std::function<void(HTTPRequest&)> step);
    void cancelOnRequestThread();
    void markAsFinished();
    // The network thread's body: a run loop that never runs out of sources, run for ever.
    static void runRequests();

    // ---- Sending (one attempt) -----------------------------------------------------------------------
    bool configureProxies();
    // Fetches a proxy auto-configuration script, then starts the request.
    void fetchPACFile();
    void startRequest();
    void scheduleReadStream();
    void unscheduleReadStream();
    void destroyReadStream();
    void cancelLoad();
    void applyAuthorizationHeader();
    bool removeTemporaryUploadFile();
    bool removeTemporaryCompressedUploadFile();
    bool removeTemporaryDownloadFile();
    bool removeTemporaryUncompressedDownloadFile();
    // Deletes the file whose path `field` holds (failing the request when that fails) and clears the
    // path; true when nothing was there.
    bool removeTemporaryFile(std::string& field);
    // The body stream handed to the connection for a body file or the body bytes.
    Ref<CFReadStream> makePostBodyReadStream(const std::string& file, const NSData* bytes);

    // ---- Reading the response ------------------------------------------------------------------------
    void handleNetworkEvent(CFStreamEventType type);
    void readResponseHeaders();
    void handleBytesAvailable();
    void handleStreamComplete();
    void handleStreamError();

    // ---- Status, time-outs, progress (the status timer's work) ---------------------------------------
    void updateStatus();
    void checkRequestStatus();
    void performThrottling();
    void updateProgressIndicators();
    void removeUploadProgressSoFar();
    void resetUploadProgress(unsigned long long value);
    void resetDownloadProgress();
    void updatePartialDownloadSize();

    // ---- Failure -------------------------------------------------------------------------------------
    void failWithError(const Ref<NSError>& theError);
    bool retryUsingNewConnection();

    // ---- Messages to the main thread -----------------------------------------------------------------
    void requestStarted();
    void requestReceivedResponseHeaders(const HTTPHeaderFields& newResponseHeaders);
    void requestRedirected();
    void requestFinished();
    void reportFinished();
    void reportFailure();
    void passOnReceivedData(const NSData& data);
    // Runs `message` on the main thread (inline when already there), keeping the request alive. From
    // another thread the message joins the request's outbox when the current run-loop item is over; an
    // outbox is delivered by one main-thread task, in order, however many messages it gathered.
    void performOnMainThread(std::function<void(HTTPRequest&)> message);
    void postToMainThread(std::function<void(HTTPRequest&)> message);

    void deliverOutbox();
    // Who a message to the main thread may reach. A message that no receiver and no block can take is
    // not sent at all (receivers are still read again when a sent message runs).
    enum ReceiverKind : unsigned { kToDelegate = 1, kToQueue = 2, kToUploadDisplay = 4, kToDownloadDisplay = 8 };
    template <class Block = BasicBlock>
    bool hasReceiver(unsigned kinds, Block HTTPRequest::*block = nullptr) const
    {
        std::lock_guard lock(receiversLock_);
        return ((kinds & kToDelegate) && !delegate_.expired()) || ((kinds & kToQueue) && queue_) ||
               ((kinds & kToUploadDisplay) && !uploadProgressDelegate_.expired()) ||
               ((kinds & kToDownloadDisplay) && !downloadProgressDelegate_.expired()) ||
               (block && static_cast<bool>(this->*block));
    }
    // Sends `selector` with `argument` to the delegate when it answers it.
    void sendToDelegate(const std::string& selector, const HTTPRequestSelectorArgument& argument);
    void releaseBlocksOnMainThread();

    // ---- Response reading (HTTPRequestResponse.cpp) -----------------------------------------------------
    // [response: protected declarations]
    void parseStringEncodingFromHeaders();
    // Decides, while the headers are read, whether the response is a redirect that will be followed,
    // and prepares the request for it.
    bool willRedirect();
    void performRedirect();
    // Sends request:willRedirectToURL: to the delegate and the queue on the main thread.
    void requestWillRedirectToURL(const Ref<NSURL>& newURL);
    // Whether someone takes the body as it arrives (the delegate's data selector or the data block).
    bool passesOnReceivedData();
    // Writes a piece of a file download (and its inflated bytes) to the temporary files; false after a
    // write failure has failed the request.
    bool writeDownloadBytes(const uint8_t* bytes, size_t length, const std::optional<NSData>& inflated);
    // Moves or inflates the finished temporary file into the destination; the error, or nullptr.
    Ref<NSError> settleFileDownload();
    // Closes the output streams of a file download; an unfinished download's temporary files go,
    // unless it may be resumed.
    void abandonFileDownload();

    // ---- Status, progress, throttling (HTTPRequestStatus.cpp) ---------------------------------------------
    // [status: protected declarations]
    bool shouldTimeOut();
    // A time-out with retries left: the old connection is torn down and a new attempt starts.
    void retryAfterTimeOut();
    // Tears the attempt down before a silent retry on a fresh connection: the old connection leaves the
    // pool for good and its stream is closed; the temporary body files stay for the next attempt.
    void discardConnectionForRetry();
    // The length of one response read: the buffer's size, cut to a quarter of what is left of this
    // second's allowance while the throttle is on (at least 1 byte).
    static size_t readLengthForBuffer(size_t bufferSize);
    // Sends a progress step (upload or download side) to the queue and the progress delegate, then
    // `fraction` as setProgress to the delegate, then the step and `blockTotal` to the block; all on the
    // main thread, each receiver read when the message runs.
    void sendProgressStep(bool upload, long long step, unsigned long long blockTotal, std::optional<float> fraction);
    // Counts a response's announced length (plus a resumed part) into the download size, once the
    // headers are read, when progress is accurate and reset; without a length progress stops being
    // accurate and 1 is counted.
    void countDownloadSize(std::optional<unsigned long long> announcedLength);
    // The body stream runs the request's throttling step before each throttled read.
    friend class HTTPInputStream;

    // ---- Authentication (HTTPRequestAuthentication.cpp, HTTPRequestProxyScript.cpp) ---------------------
    // Answers a 401 or 407 once its response has been read to the end, on the request's thread.
    void attemptToApplyCredentialsAndResume();
    // [authentication: protected declarations]
    // The server's side (401) or the proxy's side (407) of authentication: which challenge object,
    // scheme, realm, credentials, session store, sources of credentials and receivers belong to it.
    // Steps that are the same for both sides take the side they serve.
    struct AuthenticationSide;
    static const AuthenticationSide kServerSide;
    static const AuthenticationSide kProxySide;
    void attemptToApplyCredentialsAndResume(const AuthenticationSide& side);
    // Credentials that worked before for this place (nil when none).
    Value findSessionAuthenticationCredentials();
    Value findSessionProxyAuthenticationCredentials();
    // New credentials: the URL's, the main request's, the request's own, the keychain's (nil when none).
    Value findCredentials();
    Value findProxyCredentials();
    // `user` and `pass` when a user name is given, else the main request's or the request's own for the
    // side, else the keychain's; with the account domain when the challenge needs one (nil when none).
    Value findCredentials(const AuthenticationSide& side, std::string user, std::string pass);
    bool applyCredentials(const Value& newCredentials);
    bool applyProxyCredentials(const Value& newCredentials);
    // Counts the attempt and puts the credentials into the message for the side's challenge (refused
    // ones leave the session store); the challenge object, or nullptr when nothing was applied.
    Ref<CFHTTPAuthentication> applyCredentialsToMessage(const AuthenticationSide& side, const Value& newCredentials);
    bool willAskDelegateForCredentials(const AuthenticationSide& side);
    void askDelegateForCredentials(const AuthenticationSide& side);
    bool showAuthenticationDialog(const AuthenticationSide& side);
    // After a response that needed no authentication: Basic credentials this request presented from its
    // own user name and password go into the session store.
    void rememberPresentedBasicCredentials();
    // Proxy scripts.
    void runPACScript(const std::string& script);
    void finishedDownloadingPACFile(const Ref<HTTPRequest>& theRequest);
    void handlePACFileStreamEvent(CFStreamEventType type);
    void timeOutPACRead();
    void finishPACFileRead();
    // Stops reading a local script: its time-out, its stream and what was read of it go.
    void stopPACFileRead();
    // Tears down a script fetch still running (its queue slot is given back).
    void abandonPACFileFetch();

    // Process-wide state shared by every request (defined in HTTPRequestShared.h).
    struct Shared;
    static Shared& shared();

    // Property access: a whole value read or written under the request's small property lock.
    template <class T>
    T locked(const T& field) const
    {
        std::lock_guard lock(propertyLock_);
        return field;
    }
    template <class T, class U>
    void store(T& field, U&& value)
    {
        std::lock_guard lock(propertyLock_);
        field = std::forward<U>(value);
    }

    mutable std::mutex propertyLock_;  // guards the object-valued fields; never held while calling out
    // Guards the receivers (delegate, queue, progress delegates) and the blocks; never held while
    // calling out. The main thread reads them here, never under cancelledLock, which a network step
    // holds for its whole length.
    mutable std::mutex receiversLock_;
    // Messages for the main thread not yet delivered (outboxLock_): one batch per posted delivery, in
    // the order posted. A message joins the last batch while that batch's delivery is still the latest
    // work posted to the main loop, so it never overtakes anything posted there before it.
    struct OutboxBatch {
        std::vector<std::function<void(HTTPRequest&)>> messages;
        uint64_t ticket = 0;  // of the batch's delivery on the main loop
    };
    std::mutex outboxLock_;
    std::vector<OutboxBatch> outbox_;
    // A step that posted messages is still running on its thread (cleared when its run-loop item ends).
    std::atomic<bool> stepOpen_{false};
    Ref<NSRecursiveLock> cancelledLock_;

    // Life cycle.
    std::atomic<bool> inProgress_{false};
    std::atomic<bool> complete_{false};
    std::atomic<bool> cancelledFlag_{false};
    std::atomic<bool> downloadComplete_{false};
    std::atomic<bool> isSynchronous_{false};
    std::atomic<bool> responseHeadersRead_{false};
    std::string runLoopMode_ = kCFRunLoopDefaultMode;
    Ref<NSRunLoop> requestRunLoop_;  // the loop of the thread that owns the streams (under cancelledLock)

    // Target and body.
    Ref<NSURL> url_;
    Ref<NSURL> originalURL_;
    Ref<NSURL> redirectURL_;
    std::string requestMethod_ = "GET";
    HTTPHeaderFields requestHeaders_;
    std::vector<Ref<NSHTTPCookie>> requestCookies_;
    std::atomic<bool> useCookiePersistence_{true};
    std::string userAgent_;
    std::atomic<bool> useHTTPVersionOne_{false};
    std::optional<NSData> postBody_;
    std::string postBodyFilePath_;
    std::atomic<bool> shouldStreamPostDataFromDisk_{false};
    std::atomic<bool> shouldCompressRequestBody_{false};
    std::atomic<unsigned long long> postLength_{0};
    std::atomic<bool> didCreateTemporaryPostDataFile_{false};
    std::optional<NSData> compressedPostBody_;
    std::string compressedPostBodyFilePath_;
    std::shared_ptr<std::FILE> postBodyWriteStream_;  // open while the body file is written
    bool postBodyWriteFailed_ = false;                 // part of the body never reached the file
    Ref<CFReadStream> postBodyReadStream_;
    std::atomic<bool> haveBuiltPostBody_{false};
    std::atomic<bool> haveBuiltRequestHeaders_{false};
    Ref<CFHTTPMessage> request_;  // the HTTP message of the current attempt

    // Delegation and identity (the receivers are under receiversLock_).
    Weak<HTTPRequestDelegate> delegate_;
    Ref<HTTPRequestDelegate> queue_;
    Weak<HTTPProgressDelegate> uploadProgressDelegate_;
    Weak<HTTPProgressDelegate> downloadProgressDelegate_;
    std::string didStartSelector_ = kHTTPRequestStartedSelector;
    std::string didReceiveResponseHeadersSelector_ = kHTTPRequestDidReceiveResponseHeadersSelector;
    std::string willRedirectSelector_ = kHTTPRequestWillRedirectSelector;
    std::string didFinishSelector_ = kHTTPRequestFinishedSelector;
    std::string didFailSelector_ = kHTTPRequestFailedSelector;
    std::string didReceiveDataSelector_ = kHTTPRequestDidReceiveDataSelector;
    Value userInfo_;
    std::atomic<int> tag_{0};
    std::atomic<int64_t> requestID_{0};
    Weak<HTTPRequest> mainRequest_;

    // Running.
    std::atomic<double> timeOutSeconds_{10.0};
    std::atomic<int> numberOfTimesToRetryOnTimeout_{0};
    std::atomic<int> retryCount_{0};
    std::atomic<bool> willRetryRequest_{false};
    std::atomic<bool> shouldAttemptPersistentConnection_{true};
    std::atomic<double> persistentConnectionTimeoutSeconds_{60.0};
    std::atomic<bool> connectionCanBeReused_{false};
    std::shared_ptr<HTTPConnectionInfo> connectionInfo_;
    std::atomic<bool> shouldContinueWhenAppEntersBackground_{false};
    std::atomic<unsigned long> backgroundTask_{0};  // begun in main, ended when finished or expired
    std::optional<double> lastActivityTime_;
    Ref<NSTimer> statusTimer_;
    Ref<CFHTTPReadStream> readStream_;
    std::atomic<bool> readStreamIsScheduled_{false};

    // Redirects.
    std::atomic<bool> shouldRedirect_{true};
    std::atomic<bool> shouldUseRFC2616RedirectBehaviour_{false};
    std::atomic<bool> needsRedirect_{false};
    std::atomic<int> redirectCount_{0};

    // Authentication and proxies.
    std::string username_;
    std::string password_;
    std::string domain_;
    std::string proxyUsername_;
    std::string proxyPassword_;
    std::string proxyDomain_;
    std::atomic<bool> useKeychainPersistence_{false};
    std::atomic<bool> useSessionPersistence_{true};
    std::atomic<bool> shouldPresentCredentialsBeforeChallenge_{true};
    std::atomic<bool> shouldPresentAuthenticationDialog_{false};
    std::atomic<bool> shouldPresentProxyAuthenticationDialog_{true};
    std::atomic<int> authenticationNeeded_{0};
    std::string authenticationRealm_;
    std::string proxyAuthenticationRealm_;
    std::string authenticationScheme_;
    std::string proxyAuthenticationScheme_;
    std::atomic<int> authenticationRetryCount_{0};
    std::atomic<int> proxyAuthenticationRetryCount_{0};
    Value requestCredentials_;
    Value proxyCredentials_;
    std::string proxyHost_;
    std::atomic<int> proxyPort_{0};
    std::string proxyType_;
    Ref<NSURL> PACurl_;
    std::atomic<bool> isPACFileRequest_{false};
    Ref<HTTPRequest> PACFileRequest_;
    std::atomic<bool> validatesSecureCertificate_{true};
    std::vector<Ref<NSObject>> clientCertificates_;
    Ref<SecIdentity> clientCertificateIdentity_;

    // Response.
    std::atomic<int> responseStatusCode_{0};
    std::string responseStatusMessage_;
    HTTPHeaderFields responseHeaders_;
    std::vector<Ref<NSHTTPCookie>> responseCookies_;
    NSData rawResponseData_;
    uint64_t rawResponseGeneration_ = 0;  // changes with every change of rawResponseData_
    // responseData() of a compressed body, inflated once for the generation it was made from.
    mutable std::optional<NSData> inflatedResponseData_;
    mutable uint64_t inflatedResponseGeneration_ = 0;
    mutable Ref<NSError> responseDecompressionError_;
    mutable std::mutex inflateLock_;  // one inflation at a time; taken before propertyLock_
    std::atomic<unsigned long long> maximumInflatedResponseLength_{HTTPDataDecompressor::kDefaultMaximumInflatedLength};
    std::atomic<unsigned long long> contentLength_{0};
    std::atomic<unsigned long long> partialDownloadSize_{0};
    std::atomic<unsigned long long> totalBytesRead_{0};
    std::atomic<unsigned long long> totalBytesSent_{0};
    std::atomic<NSStringEncoding> defaultResponseEncoding_{NSISOLatin1StringEncoding};
    std::atomic<NSStringEncoding> responseEncoding_{0};
    std::atomic<bool> allowCompressedResponse_{true};
    std::atomic<bool> shouldWaitToInflateCompressedResponses_{true};
    Ref<HTTPDataDecompressor> dataDecompressor_;
    Ref<NSError> error_;
    std::atomic<bool> didUseCachedResponse_{false};

    // Download to a file.
    std::string downloadDestinationPath_;
    std::string temporaryFileDownloadPath_;
    std::string temporaryUncompressedDataDownloadPath_;
    std::atomic<bool> allowResumeForFileDownloads_{false};

    // Progress.
    std::atomic<bool> showAccurateProgress_{true};
    std::atomic<bool> shouldResetDownloadProgress_{true};
    std::atomic<bool> shouldResetUploadProgress_{true};
    std::atomic<unsigned long long> uploadBufferSize_{0};
    std::atomic<unsigned long long> lastBytesRead_{0};
    std::atomic<unsigned long long> lastBytesSent_{0};
    std::atomic<bool> updatedProgress_{false};

    // Cache.
    Ref<HTTPCacheDelegate> downloadCache_;
    std::atomic<int> cachePolicy_{0};
    std::atomic<int> cacheStoragePolicy_{0};
    std::atomic<double> secondsToCache_{0};

    // [response: fields]
    std::shared_ptr<std::FILE> fileDownloadOutputStream_;          // open while a file download runs
    std::shared_ptr<std::FILE> inflatedFileDownloadOutputStream_;  // its inflated copy (on the fly)
    Ref<NSError> fileDownloadWriteError_;                            // a piece could not be written
    bool redirectKeepsHeaders_ = false;  // the pending redirect keeps method, body and headers
    // [status: fields]
    // [authentication: fields]
    Ref<CFHTTPAuthentication> requestAuthentication_;
    Ref<CFHTTPAuthentication> proxyAuthentication_;
    Ref<CFReadStream> PACFileReadStream_;      // reader of a local script (request's thread)
    std::string PACFileData_;                  // the script read so far
    Ref<NSTimer> PACReadTimer_;                // gives up on a local script that does not arrive
    std::shared_ptr<HTTPRequestDelegate> PACFileDelegate_;  // hears the end of a script fetch
    bool PACQueueWidthRaised_ = false;         // the shared queue's width counts a script fetch
    Ref<NSURL> credentialsPlace_;              // the URL whose place the request's own credentials serve

    // Blocks (under receiversLock_).
    BasicBlock startedBlock_;
    HeadersBlock headersReceivedBlock_;
    BasicBlock completionBlock_;
    BasicBlock failureBlock_;
    ProgressBlock bytesReceivedBlock_;
    ProgressBlock bytesSentBlock_;
    SizeBlock downloadSizeIncrementedBlock_;
    SizeBlock uploadSizeIncrementedBlock_;
    DataBlock dataReceivedBlock_;
    BasicBlock authenticationNeededBlock_;
    BasicBlock proxyAuthenticationNeededBlock_;
    BasicBlock requestRedirectedBlock_;
};
