// The network queue: counting the group, forwarding the requests' messages, progress of the group.
#include "net/http/HTTPNetworkQueue.h"

#include "platform/foundation/NSException.h"

Ref<HTTPNetworkQueue> HTTPNetworkQueue::create()
{
    auto queue = std::make_shared<HTTPNetworkQueue>();
    queue->initQueueBody();
    return queue;
}

Ref<HTTPNetworkQueue> HTTPNetworkQueue::queue()
{
    return create();
}

void HTTPNetworkQueue::initQueueBody()
{
    setShouldCancelAllRequestsOnFailure(true);
    setMaxConcurrentOperationCount(4);
    setSuspended(true);
}

HTTPNetworkQueue::~HTTPNetworkQueue()
{
    // No request it still holds may call back into a queue that is gone.
    for (const Ref<NSOperation>& operation : operations()) {
        if (auto request = std::dynamic_pointer_cast<HTTPRequest>(operation)) {
            Ref<HTTPRequestDelegate> itsQueue = request->queue();
            if (itsQueue.get() == static_cast<HTTPRequestDelegate*>(this)) {
                request->setQueue(nullptr);
            }
        }
    }
}

void HTTPNetworkQueue::go()
{
    setSuspended(false);
}

void HTTPNetworkQueue::reset()
{
    cancelAllOperations();
    setDelegate({});
    setUploadProgressDelegate({});
    setDownloadProgressDelegate({});
    setRequestDidStartSelector({});
    setRequestDidReceiveResponseHeadersSelector({});
    setRequestDidFailSelector({});
    setRequestDidFinishSelector({});
    setQueueDidFinishSelector({});
    setSuspended(true);
}

void HTTPNetworkQueue::cancelAllOperations()
{
    setBytesUploadedSoFar(0);
    setTotalBytesToUpload(0);
    setBytesDownloadedSoFar(0);
    setTotalBytesToDownload(0);
    NSOperationQueue::cancelAllOperations();
}

void HTTPNetworkQueue::setUploadProgressDelegate(const Weak<HTTPProgressDelegate>& value)
{
    store(uploadProgressDelegate_, value);
    showProgress(value.lock(), 0, 0);
}

void HTTPNetworkQueue::setDownloadProgressDelegate(const Weak<HTTPProgressDelegate>& value)
{
    store(downloadProgressDelegate_, value);
    showProgress(value.lock(), 0, 0);
}

void HTTPNetworkQueue::showProgress(const Ref<HTTPProgressDelegate>& display, unsigned long long done,
                                    unsigned long long total)
{
    // A group that has nothing to move yet shows no progress rather than a division by zero.
    HTTPRequest::updateProgressIndicator_withProgress_ofTotal(display, done, total);
}

// ---- Adding ------------------------------------------------------------------------------------------------

void HTTPNetworkQueue::addOperation(const Ref<NSOperation>& operation)
{
    auto request = std::dynamic_pointer_cast<HTTPRequest>(operation);
    if (!request) {
        NSException::raise("AttemptToAddInvalidRequest",
                           "Attempted to add an object that was not an HTTPRequest to an HTTPNetworkQueue");
    }
    ++requestsCount_;
    if (showAccurateProgress()) {
        request->buildPostBody();
        if (request->requestMethod() == "GET" && isSuspended()) {
            // The HEAD request learns the download's size before the download starts.
            Ref<HTTPRequest> head = request->HEADRequest();
            head->setDelegate({});
            head->setUploadProgressDelegate({});
            head->setDownloadProgressDelegate({});
            addHEADOperation(head);
            request->addDependency(head);
            if (request->shouldResetDownloadProgress()) {
                showProgress(downloadProgressDelegate(), 0, 0);
                request->setShouldResetDownloadProgress(false);
            }
        }
        totalBytesToUpload_ += request->postLength();
    } else {
        ++totalBytesToDownload_;
        ++totalBytesToUpload_;
    }
    if (request->shouldResetUploadProgress()) {
        showProgress(uploadProgressDelegate(), 0, 0);
        request->setShouldResetUploadProgress(false);
    }
    request->setShowAccurateProgress(showAccurateProgress());
    request->setQueue(self<HTTPNetworkQueue>());
    NSOperationQueue::addOperation(request);
}

void HTTPNetworkQueue::addHEADOperation(const Ref<NSOperation>& operation)
{
    auto request = std::dynamic_pointer_cast<HTTPRequest>(operation);
    if (!request) {
        return;
    }
    request->setRequestMethod("HEAD");
    request->setQueuePriority(10);
    request->setShowAccurateProgress(true);
    request->setQueue(self<HTTPNetworkQueue>());
    {
        std::lock_guard lock(propertyLock_);
        headRequests_.push_back(request);
    }
    NSOperationQueue::addOperation(request);
}

bool HTTPNetworkQueue::isHEADProbe(const Ref<HTTPRequest>& request) const
{
    std::lock_guard lock(propertyLock_);
    bool found = false;
    std::erase_if(headRequests_, [&](const Weak<HTTPRequest>& probe) {
        Ref<HTTPRequest> held = probe.lock();
        found = found || held == request;
        return !held;
    });
    return found;
}

// ---- Messages from the requests ----------------------------------------------------------------------------

void HTTPNetworkQueue::forward(const std::string& selector, const Ref<HTTPRequest>& request,
                               const HTTPRequestSelectorArgument& argument)
{
    if (selector.empty()) {
        return;
    }
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (receiver && receiver->respondsToSelector(selector)) {
        receiver->performRequestSelector(selector, request, argument);
    }
}

void HTTPNetworkQueue::requestStarted(const Ref<HTTPRequest>& request)
{
    forward(requestDidStartSelector(), request);
}

void HTTPNetworkQueue::request_didReceiveResponseHeaders(const Ref<HTTPRequest>& request,
                                                         const HTTPHeaderFields& responseHeaders)
{
    forward(requestDidReceiveResponseHeadersSelector(), request, responseHeaders);
}

void HTTPNetworkQueue::request_willRedirectToURL(const Ref<HTTPRequest>& request, const Ref<NSURL>& newURL)
{
    forward(requestWillRedirectSelector(), request, newURL);
}

void HTTPNetworkQueue::requestFinished(const Ref<HTTPRequest>& request)
{
    if (isHEADProbe(request)) {
        return;  // the size probe of a counted request is not one of the group
    }
    --requestsCount_;
    forward(requestDidFinishSelector(), request);
    const std::string finished = queueDidFinishSelector();
    if (requestsCount() == 0 && !finished.empty()) {
        if (auto receiver = std::dynamic_pointer_cast<HTTPNetworkQueueDelegate>(delegate())) {
            receiver->performQueueSelector(finished, self<HTTPNetworkQueue>());
        }
    }
}

void HTTPNetworkQueue::requestFailed(const Ref<HTTPRequest>& request)
{
    if (isHEADProbe(request)) {
        return;
    }
    --requestsCount_;
    forward(requestDidFailSelector(), request);
    const std::string finished = queueDidFinishSelector();
    if (requestsCount() == 0 && !finished.empty()) {
        if (auto receiver = std::dynamic_pointer_cast<HTTPNetworkQueueDelegate>(delegate())) {
            receiver->performQueueSelector(finished, self<HTTPNetworkQueue>());
        }
    }
    if (shouldCancelAllRequestsOnFailure() && requestsCount() > 0) {
        cancelAllOperations();
    }
}

void HTTPNetworkQueue::authenticationNeededForRequest(const Ref<HTTPRequest>& request)
{
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (receiver && receiver->respondsToSelector(kHTTPAuthenticationNeededSelector)) {
        receiver->authenticationNeededForRequest(request);
    }
}

void HTTPNetworkQueue::proxyAuthenticationNeededForRequest(const Ref<HTTPRequest>& request)
{
    Ref<HTTPRequestDelegate> receiver = delegate();
    if (receiver && receiver->respondsToSelector(kHTTPProxyAuthenticationNeededSelector)) {
        receiver->proxyAuthenticationNeededForRequest(request);
    }
}

bool HTTPNetworkQueue::respondsToSelector(std::string_view selector) const
{
    if (selector == kHTTPAuthenticationNeededSelector || selector == kHTTPProxyAuthenticationNeededSelector) {
        Ref<HTTPRequestDelegate> receiver = delegate();
        return receiver && receiver->respondsToSelector(selector);
    }
    if (selector == kHTTPRequestWillRedirectSelector) {
        const std::string redirect = requestWillRedirectSelector();
        Ref<HTTPRequestDelegate> receiver = delegate();
        return !redirect.empty() && receiver && receiver->respondsToSelector(redirect);
    }
    // The requests' progress messages always reach the queue: it sums the group's progress.
    if (selector == "request:didReceiveBytes:" || selector == "request:didSendBytes:" ||
        selector == "request:incrementDownloadSizeBy:" || selector == "request:incrementUploadSizeBy:") {
        return true;
    }
    return HTTPRequestDelegate::respondsToSelector(selector);
}

// ---- Progress ----------------------------------------------------------------------------------------------

void HTTPNetworkQueue::request_didReceiveBytes(const Ref<HTTPRequest>&, long long bytes)
{
    bytesDownloadedSoFar_ += static_cast<unsigned long long>(bytes);
    showProgress(downloadProgressDelegate(), bytesDownloadedSoFar(), totalBytesToDownload());
}

void HTTPNetworkQueue::request_didSendBytes(const Ref<HTTPRequest>&, long long bytes)
{
    bytesUploadedSoFar_ += static_cast<unsigned long long>(bytes);
    showProgress(uploadProgressDelegate(), bytesUploadedSoFar(), totalBytesToUpload());
}

void HTTPNetworkQueue::request_incrementDownloadSizeBy(const Ref<HTTPRequest>&, long long newLength)
{
    totalBytesToDownload_ += static_cast<unsigned long long>(newLength);
}

void HTTPNetworkQueue::request_incrementUploadSizeBy(const Ref<HTTPRequest>&, long long newLength)
{
    totalBytesToUpload_ += static_cast<unsigned long long>(newLength);
}

// ---- Copying -----------------------------------------------------------------------------------------------

Ref<HTTPNetworkQueue> HTTPNetworkQueue::copyWithZone(void*) const
{
    Ref<HTTPNetworkQueue> copy = create();
    copy->setDelegate(locked(delegate_));
    copy->setRequestDidStartSelector(requestDidStartSelector());
    copy->setRequestDidReceiveResponseHeadersSelector(requestDidReceiveResponseHeadersSelector());
    copy->setRequestWillRedirectSelector(requestWillRedirectSelector());
    copy->setRequestDidFinishSelector(requestDidFinishSelector());
    copy->setRequestDidFailSelector(requestDidFailSelector());
    copy->setQueueDidFinishSelector(queueDidFinishSelector());
    copy->setUploadProgressDelegate(locked(uploadProgressDelegate_));
    copy->setDownloadProgressDelegate(locked(downloadProgressDelegate_));
    copy->setShouldCancelAllRequestsOnFailure(shouldCancelAllRequestsOnFailure());
    copy->setShowAccurateProgress(showAccurateProgress());
    copy->setUserInfo(userInfo().isNil() ? Value() : userInfo().copy());
    return copy;
}
