// The request's life: creation and defaults, the shared queue and the network thread, starting
// (queued, direct, synchronous), main(), cancelling, finishing, the messages to the main thread, the
// blocks, copying, and the accessors that take the request's lock.
#include "net/http/HTTPRequest.h"

#include <cstdlib>
#include <thread>
#include <utility>

#include "net/http/HTTPCacheDelegate.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/Perform.h"
#include "platform/foundation/UUID.h"
#include "platform/foundation/Dispatch.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"

// ---- Creation ------------------------------------------------------------------------------------------

HTTPRequest::HTTPRequest() : cancelledLock_(NSRecursiveLock::create()) {}

Ref<HTTPRequest> HTTPRequest::initWithURL(const Ref<NSURL>& newURL)
{
    auto request = std::make_shared<HTTPRequest>();
    request->initWithURLBody(newURL);
    return request;
}

Ref<HTTPRequest> HTTPRequest::requestWithURL(const Ref<NSURL>& newURL)
{
    return initWithURL(newURL);
}

Ref<HTTPRequest> HTTPRequest::requestWithURL_usingCache(const Ref<NSURL>& newURL, const Ref<HTTPCacheDelegate>& cache)
{
    return requestWithURL_usingCache_andCachePolicy(newURL, cache, 0);
}

Ref<HTTPRequest> HTTPRequest::requestWithURL_usingCache_andCachePolicy(const Ref<NSURL>& newURL,
                                                                       const Ref<HTTPCacheDelegate>& cache, int policy)
{
    auto request = initWithURL(newURL);
    request->setDownloadCache(cache);
    request->setCachePolicy(policy);
    return request;
}

void HTTPRequest::initWithURLBody(const Ref<NSURL>& newURL)
{
    NSObject::initBody();
    setRequestMethod("GET");
    setRunLoopMode(kCFRunLoopDefaultMode);
    setShouldAttemptPersistentConnection(true);
    setPersistentConnectionTimeoutSeconds(60.0);
    setShouldPresentCredentialsBeforeChallenge(true);
    setShouldRedirect(true);
    setShowAccurateProgress(true);
    setShouldResetDownloadProgress(true);
    setShouldResetUploadProgress(true);
    setAllowCompressedResponse(true);
    setShouldWaitToInflateCompressedResponses(true);
    setDefaultResponseEncoding(NSISOLatin1StringEncoding);
    setShouldPresentProxyAuthenticationDialog(true);
    setTimeOutSeconds(defaultTimeOutSeconds());
    setUseSessionPersistence(true);
    setUseCookiePersistence(true);
    setValidatesSecureCertificate(true);
    setRequestCookies({});
    setDidStartSelector(kHTTPRequestStartedSelector);
    setDidReceiveResponseHeadersSelector(kHTTPRequestDidReceiveResponseHeadersSelector);
    setWillRedirectSelector(kHTTPRequestWillRedirectSelector);
    setDidFinishSelector(kHTTPRequestFinishedSelector);
    setDidFailSelector(kHTTPRequestFailedSelector);
    setDidReceiveDataSelector(kHTTPRequestDidReceiveDataSelector);
    setURL(newURL);
    setDownloadCache(defaultCache());
}

namespace {

// Every block of a request, moved out together so they can be destroyed on the main thread.
struct BlockSet {
    HTTPRequest::BasicBlock started, completion, failure, authenticationNeeded, proxyAuthenticationNeeded, redirected;
    HTTPRequest::HeadersBlock headersReceived;
    HTTPRequest::ProgressBlock bytesReceived, bytesSent;
    HTTPRequest::SizeBlock downloadSizeIncremented, uploadSizeIncremented;
    HTTPRequest::DataBlock dataReceived;

    bool any() const
    {
        return started || completion || failure || authenticationNeeded || proxyAuthenticationNeeded || redirected ||
               headersReceived || bytesReceived || bytesSent || downloadSizeIncremented || uploadSizeIncremented ||
               dataReceived;
    }
};

// Releases the blocks on the main thread (at once when already there; never waits otherwise).
void releaseOnMainThread(std::shared_ptr<BlockSet> blocks)
{
    if (!blocks || !blocks->any()) {
        return;
    }
    if (NSThread::isMainThread()) {
        blocks.reset();
        return;
    }
    performSelectorOnMainThread([blocks = std::move(blocks)]() mutable { blocks.reset(); }, false);
}

}  // namespace

HTTPRequest::~HTTPRequest()
{
    // Nothing refers to the request any more: what is left of an attempt is torn down here.
    authenticationNeeded_ = 0;
    if (statusTimer_) {
        statusTimer_->invalidate();
    }
    // What is left of an attempt (normally nothing: a running request is kept alive by its work).
    if (readStream_) {
        Shared& s = shared();
        std::lock_guard lock(*s.connectionsLock);
        if (readStreamIsScheduled_) {
            --s.runningRequestCount;
        }
        const bool pooled = connectionInfo_ && connectionInfo_->stream == readStream_;
        readStream_->setClient(0, nullptr);
        if (!pooled) {
            readStream_->close();
        }
    }
    if (postBodyReadStream_) {
        postBodyReadStream_->close();
    }
    if (didCreateTemporaryPostDataFile_) {
        for (const std::string* path : {&postBodyFilePath_, &compressedPostBodyFilePath_}) {
            if (!path->empty()) {
                NSFileManager::defaultManager()->removeItemAtPath_error(*path);
            }
        }
    }
    auto blocks = std::make_shared<BlockSet>();
    blocks->started = std::move(startedBlock_);
    blocks->headersReceived = std::move(headersReceivedBlock_);
    blocks->completion = std::move(completionBlock_);
    blocks->failure = std::move(failureBlock_);
    blocks->bytesReceived = std::move(bytesReceivedBlock_);
    blocks->bytesSent = std::move(bytesSentBlock_);
    blocks->downloadSizeIncremented = std::move(downloadSizeIncrementedBlock_);
    blocks->uploadSizeIncremented = std::move(uploadSizeIncrementedBlock_);
    blocks->dataReceived = std::move(dataReceivedBlock_);
    blocks->authenticationNeeded = std::move(authenticationNeededBlock_);
    blocks->proxyAuthenticationNeeded = std::move(proxyAuthenticationNeededBlock_);
    blocks->redirected = std::move(requestRedirectedBlock_);
    releaseOnMainThread(std::move(blocks));
}

// ---- Class state ---------------------------------------------------------------------------------------

HTTPRequest::Shared& HTTPRequest::shared()
{
    static Shared* const state = [] {
        auto* s = new Shared;
        s->sharedQueue = NSOperationQueue::create();
        s->sharedQueue->setMaxConcurrentOperationCount(4);
        s->sharedQueue->setName("HTTPRequest shared queue");
        return s;
    }();
    return *state;
}

std::string HTTPRequest::Shared::newTemporaryFile()
{
    std::optional<std::string> path = UUID::createUniqueFile(NSTemporaryDirectory());
    return path ? *path : NSTemporaryDirectory() + "/" + UUID::globallyUniqueString();
}

Ref<NSOperationQueue> HTTPRequest::sharedQueue()
{
    return shared().sharedQueue;
}

void HTTPRequest::runRequests()
{
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    // While requests keep it busy, the messages of several steps reach the main thread with one
    // wake-up; an idle network thread wakes it at once.
    NSRunLoop::batchWakeUpsUntilIdle();
    // A source that is never signalled: the loop never runs out of sources.
    loop->addSource(CFRunLoopSource::create([](unsigned) {}), kCFRunLoopDefaultMode);
    for (;;) {
        loop->run();
    }
}

Ref<NSThread> HTTPRequest::threadForRequest(const Ref<HTTPRequest>&)
{
    Shared& s = shared();
    if (s.networkThreadMade.load(std::memory_order_acquire)) {
        return s.networkThread;
    }
    std::lock_guard lock(s.classLock);
    if (!s.networkThread) {
        s.networkThread = NSThread::create(&HTTPRequest::runRequests);
        s.networkThread->setName("HTTPRequest network thread");
        s.networkRunLoop = s.networkThread->runLoop();
        s.networkThread->start();
        s.networkThreadMade.store(true, std::memory_order_release);
    }
    return s.networkThread;
}

bool HTTPRequest::isMultitaskingSupported()
{
    return UIDevice::currentDevice()->isMultitaskingSupported();
}

double HTTPRequest::defaultTimeOutSeconds()
{
    return shared().defaultTimeOutSeconds;
}

void HTTPRequest::setDefaultTimeOutSeconds(double seconds)
{
    shared().defaultTimeOutSeconds = seconds;
}

Ref<HTTPCacheDelegate> HTTPRequest::defaultCache()
{
    Shared& s = shared();
    std::lock_guard lock(s.classLock);
    return s.defaultCache;
}

void HTTPRequest::setDefaultCache(const Ref<HTTPCacheDelegate>& cache)
{
    Shared& s = shared();
    std::lock_guard lock(s.classLock);
    s.defaultCache = cache;
}

// ---- Starting -----------------------------------------------------------------------------------------

void HTTPRequest::startAsynchronous()
{
    sharedQueue()->addOperation(self<HTTPRequest>());
}

void HTTPRequest::start()
{
    auto request = self<HTTPRequest>();
    threadForRequest(request);
    Ref<NSRunLoop> loop = shared().networkRunLoop;
    {
        std::lock_guard lock(*cancelledLock_);
        inProgress_ = true;
        setExecuting(true);
        requestRunLoop_ = loop;
    }
    loop->performBlock([request] { request->main(); });
}

void HTTPRequest::startSynchronous()
{
    auto request = self<HTTPRequest>();
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    bool run = false;
    {
        std::lock_guard lock(*cancelledLock_);
        setSynchronous(true);
        setRunLoopMode(HTTPRequestRunLoopMode);
        inProgress_ = true;
        setExecuting(true);
        requestRunLoop_ = loop;
        run = !cancelledFlag_ && !complete_;
    }
    if (run) {
        main();
        // One item of the private mode at a time until the request has ended. Work posted in the common
        // modes (other requests' callbacks) waits; this request's own messages to the main thread run
        // inline when this is the main thread.
        while (!complete_) {
            if (!loop->runMode(HTTPRequestRunLoopMode, NSRunLoop::distantFuture)) {
                // Nothing is registered in the mode (between attempts): wait for a posted step.
                loop->runUntil([this] { return complete_.load(); }, std::chrono::milliseconds(50),
                               HTTPRequestRunLoopMode);
            }
        }
    }
    std::lock_guard lock(*cancelledLock_);
    inProgress_ = false;
    setExecuting(false);
    // Later steps (a cancel of the ended request) go to the network thread: this thread may be gone.
    requestRunLoop_ = nullptr;
}

void HTTPRequest::main()
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    try {
        if (isMultitaskingSupported() && shouldContinueWhenAppEntersBackground() && backgroundTask_ == 0) {
            // One task for the whole request (a redirect or a retry runs main again). When the time runs
            // out the request is cancelled on the main thread, if the task is still its own by then.
            Weak<HTTPRequest> weak = request;
            backgroundTask_ = UIApplication::sharedApplication()->beginBackgroundTaskWithExpirationHandler([weak] {
                dispatch_async(dispatch_get_main_queue(), [weak] {
                    Ref<HTTPRequest> expired = weak.lock();
                    if (!expired) {
                        return;
                    }
                    const unsigned long task = expired->backgroundTask_.exchange(0);
                    if (task != 0) {
                        UIApplication::sharedApplication()->endBackgroundTask(task);
                        expired->cancel();
                    }
                });
            });
        }
        if (error()) {
            // Failed before it ran (cancelled while queued): leave the queue.
            complete_ = true;
            markAsFinished();
            return;
        }
        complete_ = false;
        setDidUseCachedResponse(false);
        Ref<NSURL> theURL = url();
        if (!theURL) {
            failWithError(HTTPUnableToCreateRequestError());
            return;
        }
        Ref<HTTPRequest> theMainRequest = mainRequest();
        if (!theMainRequest) {
            buildPostBody();
            if (error()) {
                return;  // the body could not be built; the failure has been reported
            }
        }
        if (requestMethod() != "GET") {
            setDownloadCache(nullptr);
        }
        request_ = CFHTTPMessage::createRequest(requestMethod(), theURL,
                                                useHTTPVersionOne() ? kCFHTTPVersion1_0 : kCFHTTPVersion1_1);
        if (!request_) {
            failWithError(HTTPUnableToCreateRequestError());
            return;
        }
        if (theMainRequest) {
            theMainRequest->buildRequestHeaders();
        }
        buildRequestHeaders();
        if (error()) {
            return;
        }
        if (Ref<HTTPCacheDelegate> cache = downloadCache()) {
            if (cachePolicy() == CachePolicyUseDefault) {
                setCachePolicy(cache->defaultCachePolicy());
            }
            if (cache->canUseCachedDataForRequest(request)) {
                useDataFromCache();
                return;
            }
            // Policies that ask the server whether the stored copy still holds say which copy they have.
            if (cachePolicy() & (CachePolicyRevalidateWhenStale | CachePolicyRevalidateAlways)) {
                const Value stored = cache->cachedResponseHeadersForURL(theURL);
                for (const auto& [header, condition] :
                     {std::pair{"Etag", "If-None-Match"}, std::pair{"Last-Modified", "If-Modified-Since"}}) {
                    for (const std::string& key : stored.allKeys()) {
                        if (HTTPHeaderFields::namesEqual(key, header) && !stored[key].stringValue().empty()) {
                            addRequestHeader_value(condition, stored[key].stringValue());
                        }
                    }
                }
            }
        }
        applyAuthorizationHeader();
        for (const auto& [name, value] : requestHeaders()) {
            // A header that cannot go on the wire (CR, LF, a bad name) makes no request at all.
            if (!request_->setHeaderFieldValue(name, value)) {
                failWithError(HTTPUnableToCreateRequestError());
                return;
            }
        }
        if (configureProxies()) {
            startRequest();
        }
    } catch (const NSException& exception) {
        Value userInfo = Value::dictionary({{NSLocalizedDescriptionKey, Value(exception.name())},
                                            {NSLocalizedFailureReasonErrorKey, Value(exception.reason())}});
        userInfo.setObject_forKey(
            Value(NSError::errorWithDomain_code_userInfo(NetworkRequestErrorDomain, HTTPErrorUnhandledException,
                                                         exception.userInfo())),
            NSUnderlyingErrorKey);
        failWithError(
            NSError::errorWithDomain_code_userInfo(NetworkRequestErrorDomain, HTTPErrorUnhandledException, userInfo));
    } catch (const std::exception& exception) {
        Value userInfo = Value::dictionary({{NSLocalizedDescriptionKey, Value("NSGenericException")},
                                            {NSLocalizedFailureReasonErrorKey, Value(exception.what())}});
        userInfo.setObject_forKey(
            Value(NSError::errorWithDomain_code_userInfo(NetworkRequestErrorDomain, HTTPErrorUnhandledException)),
            NSUnderlyingErrorKey);
        failWithError(
            NSError::errorWithDomain_code_userInfo(NetworkRequestErrorDomain, HTTPErrorUnhandledException, userInfo));
    }
}

void HTTPRequest::markAsFinished()
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    setStatusTimer(nullptr);
    inProgress_ = false;
    setExecuting(false);
    setFinished(true);
    if (isMultitaskingSupported() && shouldContinueWhenAppEntersBackground()) {
        Weak<HTTPRequest> weak = request;
        dispatch_async(dispatch_get_main_queue(), [weak] {
            Ref<HTTPRequest> finished = weak.lock();
            const unsigned long task = finished ? finished->backgroundTask_.exchange(0) : 0;
            if (task != 0) {
                UIApplication::sharedApplication()->endBackgroundTask(task);
            }
        });
    }
    // Ends a synchronous run, or lets the network thread's loop turn.
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    if (!loop->currentMode().empty()) {
        loop->stop();
    }
}

// ---- Cancelling ----------------------------------------------------------------------------------------

void HTTPRequest::performOnRequestThread(std::function<void(HTTPRequest&)> step)
{
    auto request = self<HTTPRequest>();
    Ref<NSRunLoop> loop;
    std::string mode;
    {
        std::lock_guard lock(*cancelledLock_);
        loop = requestRunLoop_;
        mode = runLoopMode();
    }
    if (!loop) {
        threadForRequest(request);
        loop = shared().networkRunLoop;
    }
    RunLoopModes modes{kCFRunLoopCommonModes};
    if (mode != kCFRunLoopDefaultMode) {
        modes.push_back(mode);  // a synchronous run serves only its private mode
    }
    loop->performBlock(
        [request, step = std::move(step)] {
            Ref<NSRunLoop> owner;
            {
                std::lock_guard lock(*request->cancelledLock_);
                owner = request->requestRunLoop_;
            }
            if (owner && owner != NSRunLoop::currentRunLoop()) {
                // The request was started on another thread meanwhile: its streams live there.
                request->performOnRequestThread(step);
                return;
            }
            step(*request);
        },
        modes);
}

void HTTPRequest::cancel()
{
    if (complete_ || cancelledFlag_) {
        return;  // the step would do nothing
    }
    performOnRequestThread([](HTTPRequest& request) { request.cancelOnRequestThread(); });
}

void HTTPRequest::cancelOnRequestThread()
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    if (cancelledFlag_ || complete_) {
        return;
    }
    failWithError(HTTPRequestCancelledError());
    complete_ = true;
    cancelLoad();
    cancelledFlag_ = true;
    NSOperation::cancel();  // tells the queue (a queued request is then started, and leaves at once)
}

void HTTPRequest::clearDelegatesAndCancel()
{
    {
        std::lock_guard lock(*cancelledLock_);
        {
            std::lock_guard receivers(receiversLock_);
            delegate_.reset();
            queue_.reset();
            uploadProgressDelegate_.reset();
            downloadProgressDelegate_.reset();
        }
        releaseBlocksOnMainThread();
    }
    cancel();
}

bool HTTPRequest::isCancelled() const
{
    return cancelledFlag_;
}

void HTTPRequest::releaseBlocksOnMainThread()
{
    auto blocks = std::make_shared<BlockSet>();
    {
        std::lock_guard lock(receiversLock_);
        blocks->started = std::exchange(startedBlock_, nullptr);
        blocks->headersReceived = std::exchange(headersReceivedBlock_, nullptr);
        blocks->completion = std::exchange(completionBlock_, nullptr);
        blocks->failure = std::exchange(failureBlock_, nullptr);
        blocks->bytesReceived = std::exchange(bytesReceivedBlock_, nullptr);
        blocks->bytesSent = std::exchange(bytesSentBlock_, nullptr);
        blocks->downloadSizeIncremented = std::exchange(downloadSizeIncrementedBlock_, nullptr);
        blocks->uploadSizeIncremented = std::exchange(uploadSizeIncrementedBlock_, nullptr);
        blocks->dataReceived = std::exchange(dataReceivedBlock_, nullptr);
        blocks->authenticationNeeded = std::exchange(authenticationNeededBlock_, nullptr);
        blocks->proxyAuthenticationNeeded = std::exchange(proxyAuthenticationNeededBlock_, nullptr);
        blocks->redirected = std::exchange(requestRedirectedBlock_, nullptr);
    }
    releaseOnMainThread(std::move(blocks));
}

// ---- Messages to the main thread -----------------------------------------------------------------------

void HTTPRequest::performOnMainThread(std::function<void(HTTPRequest&)> message)
{
    auto request = self<HTTPRequest>();
    if (NSThread::isMainThread()) {
        message(*request);
        return;
    }
    // Posted at once, so whoever sees the step's effects (the request finished) finds its messages
    // queued. The step is marked open until the run-loop item running it returns: a delivery that
    // comes first waits for that moment (never for a lock), so a receiver sees everything the step did.
    if (!stepOpen_.exchange(true)) {
        NSRunLoop::performWhenCurrentItemEnds([request] { request->stepOpen_ = false; });
    }
    request->postToMainThread(std::move(message));
}

void HTTPRequest::postToMainThread(std::function<void(HTTPRequest&)> message)
{
    Ref<NSRunLoop> main = NSRunLoop::mainRunLoop();
    std::lock_guard lock(outboxLock_);
    if (!outbox_.empty() && main->isLatestPost(outbox_.back().ticket)) {
        outbox_.back().messages.push_back(std::move(message));
        return;
    }
    OutboxBatch batch;
    batch.messages.push_back(std::move(message));
    outbox_.push_back(std::move(batch));
    // Posted under the outbox lock, so batches and their deliveries keep one order.
    auto request = self<HTTPRequest>();
    // The main loop is woken when the step ends, so it rarely arrives while the step still runs, and
    // a step's messages to several requests wake it once.
    outbox_.back().ticket = main->performBlockWithTicketWakingWhenItemEnds([request] { request->deliverOutbox(); },
                                                                           {kCFRunLoopCommonModes});
}

void HTTPRequest::deliverOutbox()
{
    // The step that posted may still be finishing on its thread (a few instructions, normally).
    while (stepOpen_.load()) {
        std::this_thread::yield();
    }
    std::vector<std::function<void(HTTPRequest&)>> messages;
    {
        std::lock_guard lock(outboxLock_);
        if (outbox_.empty()) {
            return;
        }
        messages = std::move(outbox_.front().messages);
        outbox_.erase(outbox_.begin());
    }
    size_t next = 0;
    // A receiver that throws leaves the rest of the batch queued, in order, for another delivery.
    struct Requeue {
        HTTPRequest& request;
        std::vector<std::function<void(HTTPRequest&)>>& messages;
        size_t& next;
        ~Requeue()
        {
            if (next >= messages.size()) {
                return;
            }
            OutboxBatch rest;
            rest.messages.assign(std::make_move_iterator(messages.begin() + static_cast<std::ptrdiff_t>(next)),
                                 std::make_move_iterator(messages.end()));
            std::lock_guard lock(request.outboxLock_);
            request.outbox_.insert(request.outbox_.begin(), std::move(rest));
            auto self = request.self<HTTPRequest>();
            NSRunLoop::mainRunLoop()->performBlock([self] { self->deliverOutbox(); }, {kCFRunLoopCommonModes});
        }
    } requeue{*this, messages, next};
    while (next < messages.size()) {
        auto message = std::move(messages[next++]);
        message(*this);
    }
}

void HTTPRequest::sendToDelegate(const std::string& selector, const HTTPRequestSelectorArgument& argument)
{
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (receiver && receiver->respondsToSelector(selector)) {
        receiver->performRequestSelector(selector, self<HTTPRequest>(), argument);
    }
}

void HTTPRequest::requestStarted()
{
    if (error() || mainRequest() || !hasReceiver(kToDelegate | kToQueue, &HTTPRequest::startedBlock_)) {
        return;
    }
    performOnMainThread([](HTTPRequest& request) {
        request.sendToDelegate(request.didStartSelector(), {});
        BasicBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.startedBlock_;
        }
        if (block) {
            block();
        }
        Ref<HTTPRequestDelegate> theQueue = request.queue();
        if (theQueue && theQueue->respondsToSelector(kHTTPRequestStartedSelector)) {
            theQueue->requestStarted(request.self<HTTPRequest>());
        }
    });
}

void HTTPRequest::requestReceivedResponseHeaders(const HTTPHeaderFields& newResponseHeaders)
{
    if (error() || mainRequest() || !hasReceiver(kToDelegate | kToQueue, &HTTPRequest::headersReceivedBlock_)) {
        return;
    }
    performOnMainThread([newResponseHeaders](HTTPRequest& request) {
        request.sendToDelegate(request.didReceiveResponseHeadersSelector(), newResponseHeaders);
        HeadersBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.headersReceivedBlock_;
        }
        if (block) {
            block(newResponseHeaders);
        }
        Ref<HTTPRequestDelegate> theQueue = request.queue();
        if (theQueue && theQueue->respondsToSelector(kHTTPRequestDidReceiveResponseHeadersSelector)) {
            theQueue->request_didReceiveResponseHeaders(request.self<HTTPRequest>(), newResponseHeaders);
        }
    });
}

void HTTPRequest::requestRedirected()
{
    if (error() || mainRequest() || !hasReceiver(kToDelegate, &HTTPRequest::requestRedirectedBlock_)) {
        return;
    }
    performOnMainThread([](HTTPRequest& request) {
        request.sendToDelegate(kHTTPRequestRedirectedSelector, {});
        BasicBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.requestRedirectedBlock_;
        }
        if (block) {
            block();
        }
    });
}

void HTTPRequest::requestFinished()
{
    if (error() || mainRequest()) {
        return;
    }
    if (isPACFileRequest()) {
        reportFinished();
    } else if (hasReceiver(kToDelegate | kToQueue, &HTTPRequest::completionBlock_)) {
        performOnMainThread([](HTTPRequest& request) { request.reportFinished(); });
    }
}

void HTTPRequest::reportFinished()
{
    sendToDelegate(didFinishSelector(), {});
    BasicBlock block;
    {
        std::lock_guard lock(receiversLock_);
        block = completionBlock_;
    }
    if (block) {
        block();
    }
    Ref<HTTPRequestDelegate> theQueue = queue();
    if (theQueue && theQueue->respondsToSelector(kHTTPRequestFinishedSelector)) {
        theQueue->requestFinished(self<HTTPRequest>());
    }
}

void HTTPRequest::reportFailure()
{
    sendToDelegate(didFailSelector(), {});
    BasicBlock block;
    {
        std::lock_guard lock(receiversLock_);
        block = failureBlock_;
    }
    if (block) {
        block();
    }
    Ref<HTTPRequestDelegate> theQueue = queue();
    if (theQueue && theQueue->respondsToSelector(kHTTPRequestFailedSelector)) {
        theQueue->requestFailed(self<HTTPRequest>());
    }
}

void HTTPRequest::passOnReceivedData(const NSData& data)
{
    performOnMainThread([data](HTTPRequest& request) {
        request.sendToDelegate(request.didReceiveDataSelector(), data);
        DataBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.dataReceivedBlock_;
        }
        if (block) {
            block(data);
        }
    });
}

// ---- Accessors under the request's lock ----------------------------------------------------------------

Ref<NSURL> HTTPRequest::url() const
{
    return locked(url_);  // whole under the property lock: a reader never waits for a running step
}

void HTTPRequest::setURL(const Ref<NSURL>& newURL)
{
    std::lock_guard lock(*cancelledLock_);
    Ref<NSURL> current = locked(url_);
    if (current == newURL || (current && newURL && current->isEqual(newURL))) {
        return;
    }
    store(url_, newURL);
    // Authentication objects belong to the old URL (made from its challenge); the message and any
    // pending redirect too.
    store(requestAuthentication_, nullptr);
    store(proxyAuthentication_, nullptr);
    request_.reset();
    setRedirectURL(nullptr);
}

std::string HTTPRequest::requestMethod() const
{
    return locked(requestMethod_);
}

void HTTPRequest::setRequestMethod(const std::string& newRequestMethod)
{
    std::lock_guard lock(*cancelledLock_);
    if (locked(requestMethod_) == newRequestMethod) {
        return;
    }
    store(requestMethod_, newRequestMethod);
    // Requests that send a body are never sent on a reused connection.
    if (newRequestMethod == "POST" || newRequestMethod == "PUT" || postBody() || !postBodyFilePath().empty()) {
        setShouldAttemptPersistentConnection(false);
    }
}

Ref<HTTPRequestDelegate> HTTPRequest::delegate() const
{
    std::lock_guard lock(receiversLock_);
    return delegate_.lock();
}

void HTTPRequest::setDelegate(const Weak<HTTPRequestDelegate>& newDelegate)
{
    std::lock_guard lock(receiversLock_);
    delegate_ = newDelegate;
}

Ref<HTTPRequestDelegate> HTTPRequest::queue() const
{
    std::lock_guard lock(receiversLock_);
    return queue_;
}

void HTTPRequest::setQueue(const Ref<HTTPRequestDelegate>& newQueue)
{
    std::lock_guard lock(receiversLock_);
    queue_ = newQueue;
}

Ref<HTTPProgressDelegate> HTTPRequest::uploadProgressDelegate() const
{
    std::lock_guard lock(receiversLock_);
    return uploadProgressDelegate_.lock();
}

void HTTPRequest::setUploadProgressDelegate(const Weak<HTTPProgressDelegate>& newDelegate)
{
    std::lock_guard lock(receiversLock_);
    uploadProgressDelegate_ = newDelegate;
}

Ref<HTTPProgressDelegate> HTTPRequest::downloadProgressDelegate() const
{
    std::lock_guard lock(receiversLock_);
    return downloadProgressDelegate_.lock();
}

void HTTPRequest::setDownloadProgressDelegate(const Weak<HTTPProgressDelegate>& newDelegate)
{
    std::lock_guard lock(receiversLock_);
    downloadProgressDelegate_ = newDelegate;
}

void HTTPRequest::setStatusTimer(const Ref<NSTimer>& timer)
{
    Ref<NSTimer> old;
    {
        std::lock_guard lock(propertyLock_);
        if (statusTimer_ == timer) {
            return;
        }
        old = std::exchange(statusTimer_, timer);
    }
    if (old) {
        old->invalidate();
    }
}

// ---- Blocks --------------------------------------------------------------------------------------------

#define HTTP_REQUEST_BLOCK_SETTER(Setter, Type, field) \
    void HTTPRequest::Setter(Type block)                \
    {                                                   \
        Type old;                                       \
        {                                               \
            std::lock_guard lock(receiversLock_);       \
            old = std::exchange(field, std::move(block)); \
        }                                               \
    }

HTTP_REQUEST_BLOCK_SETTER(setStartedBlock, BasicBlock, startedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setHeadersReceivedBlock, HeadersBlock, headersReceivedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setCompletionBlock, BasicBlock, completionBlock_)
HTTP_REQUEST_BLOCK_SETTER(setFailedBlock, BasicBlock, failureBlock_)
HTTP_REQUEST_BLOCK_SETTER(setBytesReceivedBlock, ProgressBlock, bytesReceivedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setBytesSentBlock, ProgressBlock, bytesSentBlock_)
HTTP_REQUEST_BLOCK_SETTER(setDownloadSizeIncrementedBlock, SizeBlock, downloadSizeIncrementedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setUploadSizeIncrementedBlock, SizeBlock, uploadSizeIncrementedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setDataReceivedBlock, DataBlock, dataReceivedBlock_)
HTTP_REQUEST_BLOCK_SETTER(setAuthenticationNeededBlock, BasicBlock, authenticationNeededBlock_)
HTTP_REQUEST_BLOCK_SETTER(setProxyAuthenticationNeededBlock, BasicBlock, proxyAuthenticationNeededBlock_)
HTTP_REQUEST_BLOCK_SETTER(setRequestRedirectedBlock, BasicBlock, requestRedirectedBlock_)

#undef HTTP_REQUEST_BLOCK_SETTER

// ---- Copying -------------------------------------------------------------------------------------------

void HTTPRequest::useDataFromCache()
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    Ref<HTTPCacheDelegate> cache = downloadCache();
    Ref<NSURL> theURL = url();
    const Value stored = cache ? cache->cachedResponseHeadersForURL(theURL) : Value();
    const std::string dataPath = cache ? cache->pathToCachedResponseDataForURL(theURL) : std::string();
    Ref<HTTPRequest> receiver = mainRequest() ? mainRequest() : request;
    if (stored.isDictionary() && !dataPath.empty()) {
        HTTPHeaderFields headers;
        for (const std::string& key : stored.allKeys()) {
            if (key != "X-HTTPRequest-Response-Status-Code" && key != "X-HTTPRequest-Expires") {
                headers.set(key, stored[key].stringValue());
            }
        }
        setResponseStatusCode(stored["X-HTTPRequest-Response-Status-Code"].intValue());
        setDidUseCachedResponse(true);
        receiver->setResponseHeaders(headers);
        receiver->parseStringEncodingFromHeaders();
        if (!receiver->downloadDestinationPath().empty()) {
            const std::string destination = receiver->downloadDestinationPath();
            removeFileAtPath_error(destination, nullptr);
            NSFileManager::defaultManager()->copyItemAtPath_toPath_error(dataPath, destination, nullptr);
        } else {
            receiver->setRawResponseData(NSData::dataWithContentsOfFile(dataPath).value_or(NSData()));
        }
        const unsigned long long length = std::strtoull(headers.valueForKey("Content-Length").c_str(), nullptr, 10);
        receiver->setContentLength(length);
        receiver->setTotalBytesRead(length);
    }
    // An answer from the cache ends the exchange: any connection of this attempt is given up.
    if (readStream()) {
        cancelLoad();
    }
    receiver->complete_ = true;
    receiver->setDownloadComplete(true);
    receiver->requestFinished();
    receiver->markAsFinished();
}

Ref<HTTPRequest> HTTPRequest::HEADRequest()
{
    Ref<HTTPRequest> head = copyWithZone();
    head->setRequestMethod("HEAD");
    head->setMainRequest(self<HTTPRequest>());
    return head;
}

Ref<HTTPRequest> HTTPRequest::copyWithZone(void*) const
{
    auto copy = std::make_shared<HTTPRequest>();
    copy->initWithURLBody(url());
    copyConfigurationTo(*copy);
    return copy;
}

void HTTPRequest::copyConfigurationTo(HTTPRequest& copy) const
{
    {
        Weak<HTTPRequestDelegate> theDelegate;
        Weak<HTTPProgressDelegate> uploadDisplay;
        Weak<HTTPProgressDelegate> downloadDisplay;
        {
            std::lock_guard lock(receiversLock_);
            theDelegate = delegate_;
            uploadDisplay = uploadProgressDelegate_;
            downloadDisplay = downloadProgressDelegate_;
        }
        copy.setDelegate(theDelegate);
        copy.setUploadProgressDelegate(uploadDisplay);
        copy.setDownloadProgressDelegate(downloadDisplay);
    }
    copy.setRequestMethod(requestMethod());
    copy.setPostBody(postBody());
    copy.setShouldStreamPostDataFromDisk(shouldStreamPostDataFromDisk());
    copy.setPostBodyFilePath(postBodyFilePath());
    HTTPHeaderFields headers = requestHeaders();
    if (haveBuiltPostBody()) {
        // The copy builds its body again and sets the length of what it will send itself.
        headers.remove("Content-Length");
    }
    copy.setRequestHeaders(headers);
    copy.setRequestCookies(requestCookies());
    copy.setUseCookiePersistence(useCookiePersistence());
    copy.setUseKeychainPersistence(useKeychainPersistence());
    copy.setUseSessionPersistence(useSessionPersistence());
    copy.setAllowCompressedResponse(allowCompressedResponse());
    copy.setMaximumInflatedResponseLength(maximumInflatedResponseLength());
    copy.setDownloadDestinationPath(downloadDestinationPath());
    copy.setTemporaryFileDownloadPath(temporaryFileDownloadPath());
    copy.setUsername(username());
    copy.setPassword(password());
    copy.setDomain(domain());
    copy.setProxyUsername(proxyUsername());
    copy.setProxyPassword(proxyPassword());
    copy.setProxyDomain(proxyDomain());
    copy.setProxyHost(proxyHost());
    copy.setProxyPort(proxyPort());
    copy.setProxyType(proxyType());
    copy.setShouldPresentAuthenticationDialog(shouldPresentAuthenticationDialog());
    copy.setShouldPresentProxyAuthenticationDialog(shouldPresentProxyAuthenticationDialog());
    copy.setPostLength(postLength());
    // The built body (compressed bytes, a compressed file) is not carried over: the copy builds its own.
    copy.setHaveBuiltPostBody(false);
    copy.setDidStartSelector(didStartSelector());
    copy.setDidFinishSelector(didFinishSelector());
    copy.setDidFailSelector(didFailSelector());
    copy.setTimeOutSeconds(timeOutSeconds());
    copy.setShouldResetDownloadProgress(shouldResetDownloadProgress());
    copy.setShouldResetUploadProgress(shouldResetUploadProgress());
    copy.setShowAccurateProgress(showAccurateProgress());
    copy.setDefaultResponseEncoding(defaultResponseEncoding());
    copy.setAllowResumeForFileDownloads(allowResumeForFileDownloads());
    copy.setUserInfo(userInfo());
    copy.setTag(tag());
    copy.setUseHTTPVersionOne(useHTTPVersionOne());
    copy.setShouldRedirect(shouldRedirect());
    copy.setValidatesSecureCertificate(validatesSecureCertificate());
    copy.setClientCertificateIdentity(clientCertificateIdentity());
    copy.setClientCertificates(clientCertificates());
    copy.setPACurl(PACurl());
    copy.setShouldPresentCredentialsBeforeChallenge(shouldPresentCredentialsBeforeChallenge());
    copy.setNumberOfTimesToRetryOnTimeout(numberOfTimesToRetryOnTimeout());
    copy.setShouldUseRFC2616RedirectBehaviour(shouldUseRFC2616RedirectBehaviour());
    copy.setShouldAttemptPersistentConnection(shouldAttemptPersistentConnection());
    copy.setPersistentConnectionTimeoutSeconds(persistentConnectionTimeoutSeconds());

    // A body file the original made for itself is deleted when the original ends: the copy gets its
    // own copy of the file.
    const std::string file = postBodyFilePath();
    if (didCreateTemporaryPostDataFile() && !file.empty()) {
        {
            std::lock_guard lock(propertyLock_);
            if (postBodyWriteStream_) {
                std::fflush(postBodyWriteStream_.get());  // what was appended so far goes with the copy
            }
        }
        // When the file is gone already, the copy keeps the path and fails to build its body (code 8)
        // rather than send an empty one.
        std::optional<std::string> own = UUID::createUniqueFile(NSTemporaryDirectory());
        if (own) {
            NSFileManager::defaultManager()->removeItemAtPath_error(*own);
            if (NSFileManager::defaultManager()->copyItemAtPath_toPath_error(file, *own)) {
                copy.setPostBodyFilePath(*own);
                copy.setDidCreateTemporaryPostDataFile(true);
            }
        }
    }
}
