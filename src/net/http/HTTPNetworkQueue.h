#pragma once
// HTTPNetworkQueue: an operation queue for a group of requests that reports on the group as a whole.
//
//   auto queue = HTTPNetworkQueue::queue();          // suspended, at most 4 requests at once
//   queue->setDelegate(screen);
//   queue->setQueueDidFinishSelector("queueFinished:");
//   queue->addOperation(first); queue->addOperation(second);
//   queue->go();
//
// Each request sends its messages to its queue as well as to its delegate (on the main thread). The queue
// forwards them to its own delegate through the selectors set on it, counts the requests that have not
// ended, calls queueDidFinishSelector when none is left and, unless told otherwise, cancels the rest of
// the group when one request fails. Request selectors reach the delegate through
// HTTPRequestDelegate::performRequestSelector; the queue-finished selector needs a delegate that is an
// HTTPNetworkQueueDelegate.
#include <atomic>
#include <vector>
#include <string>

#include "net/http/HTTPRequest.h"
#include "platform/foundation/NSOperation.h"

class HTTPNetworkQueue;

class HTTPNetworkQueueDelegate : public HTTPRequestDelegate {
public:
    // Sends `selector` (the queue's queueDidFinishSelector) with the queue.
    virtual void performQueueSelector(std::string_view selector, const Ref<HTTPNetworkQueue>& queue) {}
};

class HTTPNetworkQueue : public NSOperationQueue, public HTTPRequestDelegate, public HTTPProgressDelegate {
public:
    static Ref<HTTPNetworkQueue> queue();
    static Ref<HTTPNetworkQueue> create();
    ~HTTPNetworkQueue() override;

    // Resumes the queue, so that the added requests start.
    void go();
    // Cancels every operation, clears the delegates and every selector but the redirect one, suspends.
    void reset();
    // Zeroes the four byte counts, then cancels every operation.
    void cancelAllOperations();

    // Adds a request (anything else raises "AttemptToAddInvalidRequest").
    void addOperation(const Ref<NSOperation>& operation);
    // Adds a request's HEAD request ahead of ordinary operations; not counted. Non-requests are ignored.
    void addHEADOperation(const Ref<NSOperation>& operation);

    // ---- Messages from the requests ----------------------------------------------------------------
    void requestStarted(const Ref<HTTPRequest>& request) override;
    void request_didReceiveResponseHeaders(const Ref<HTTPRequest>& request,
                                           const HTTPHeaderFields& responseHeaders) override;
    void request_willRedirectToURL(const Ref<HTTPRequest>& request, const Ref<NSURL>& newURL) override;
    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;
    void authenticationNeededForRequest(const Ref<HTTPRequest>& request) override;
    void proxyAuthenticationNeededForRequest(const Ref<HTTPRequest>& request) override;
    void request_didReceiveBytes(const Ref<HTTPRequest>& request, long long bytes) override;
    void request_didSendBytes(const Ref<HTTPRequest>& request, long long bytes) override;
    void request_incrementDownloadSizeBy(const Ref<HTTPRequest>& request, long long newLength) override;
    void request_incrementUploadSizeBy(const Ref<HTTPRequest>& request, long long newLength) override;
    // Credentials and redirect decisions are asked of the queue only when its delegate can give them.
    bool respondsToSelector(std::string_view selector) const override;

    // A new queue with the same configuration; no requests and no counts.
    Ref<HTTPNetworkQueue> copyWithZone(void* zone = nullptr) const;

    // ---- Properties --------------------------------------------------------------------------------
    Ref<HTTPRequestDelegate> delegate() const { return locked(delegate_).lock(); }
    void setDelegate(const Weak<HTTPRequestDelegate>& value) { store(delegate_, value); }
    std::string requestDidStartSelector() const { return locked(requestDidStartSelector_); }
    void setRequestDidStartSelector(const std::string& v) { store(requestDidStartSelector_, v); }
    std::string requestDidReceiveResponseHeadersSelector() const { return locked(requestDidReceiveResponseHeadersSelector_); }
    void setRequestDidReceiveResponseHeadersSelector(const std::string& v) { store(requestDidReceiveResponseHeadersSelector_, v); }
    std::string requestWillRedirectSelector() const { return locked(requestWillRedirectSelector_); }
    void setRequestWillRedirectSelector(const std::string& v) { store(requestWillRedirectSelector_, v); }
    std::string requestDidFinishSelector() const { return locked(requestDidFinishSelector_); }
    void setRequestDidFinishSelector(const std::string& v) { store(requestDidFinishSelector_, v); }
    std::string requestDidFailSelector() const { return locked(requestDidFailSelector_); }
    void setRequestDidFailSelector(const std::string& v) { store(requestDidFailSelector_, v); }
    std::string queueDidFinishSelector() const { return locked(queueDidFinishSelector_); }
    void setQueueDidFinishSelector(const std::string& v) { store(queueDidFinishSelector_, v); }
    Ref<HTTPProgressDelegate> uploadProgressDelegate() const { return locked(uploadProgressDelegate_).lock(); }
    void setUploadProgressDelegate(const Weak<HTTPProgressDelegate>& value);
    Ref<HTTPProgressDelegate> downloadProgressDelegate() const { return locked(downloadProgressDelegate_).lock(); }
    void setDownloadProgressDelegate(const Weak<HTTPProgressDelegate>& value);
    unsigned long long bytesUploadedSoFar() const { return bytesUploadedSoFar_; }
    void setBytesUploadedSoFar(unsigned long long v) { bytesUploadedSoFar_ = v; }
    unsigned long long totalBytesToUpload() const { return totalBytesToUpload_; }
    void setTotalBytesToUpload(unsigned long long v) { totalBytesToUpload_ = v; }
    unsigned long long bytesDownloadedSoFar() const { return bytesDownloadedSoFar_; }
    void setBytesDownloadedSoFar(unsigned long long v) { bytesDownloadedSoFar_ = v; }
    unsigned long long totalBytesToDownload() const { return totalBytesToDownload_; }
    void setTotalBytesToDownload(unsigned long long v) { totalBytesToDownload_ = v; }
    bool shouldCancelAllRequestsOnFailure() const { return shouldCancelAllRequestsOnFailure_; }
    void setShouldCancelAllRequestsOnFailure(bool v) { shouldCancelAllRequestsOnFailure_ = v; }
    int32_t requestsCount() const { return requestsCount_; }
    void setRequestsCount(int32_t v) { requestsCount_ = v; }
    bool showAccurateProgress() const { return showAccurateProgress_; }
    void setShowAccurateProgress(bool v) { showAccurateProgress_ = v; }
    Value userInfo() const { return locked(userInfo_); }
    void setUserInfo(const Value& value) { store(userInfo_, value); }

    HTTPNetworkQueue() = default;  // use queue() / create()

private:
    void initQueueBody();
    bool isHEADProbe(const Ref<HTTPRequest>& request) const;
    void forward(const std::string& selector, const Ref<HTTPRequest>& request,
                 const HTTPRequestSelectorArgument& argument = {});
    static void showProgress(const Ref<HTTPProgressDelegate>& display, unsigned long long done,
                             unsigned long long total);

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

    mutable std::mutex propertyLock_;
    Weak<HTTPRequestDelegate> delegate_;
    std::string requestDidStartSelector_;
    std::string requestDidReceiveResponseHeadersSelector_;
    std::string requestWillRedirectSelector_;
    std::string requestDidFinishSelector_;
    std::string requestDidFailSelector_;
    std::string queueDidFinishSelector_;
    Weak<HTTPProgressDelegate> uploadProgressDelegate_;
    Weak<HTTPProgressDelegate> downloadProgressDelegate_;
    std::atomic<unsigned long long> bytesUploadedSoFar_{0};
    std::atomic<unsigned long long> totalBytesToUpload_{0};
    std::atomic<unsigned long long> bytesDownloadedSoFar_{0};
    std::atomic<unsigned long long> totalBytesToDownload_{0};
    std::atomic<bool> shouldCancelAllRequestsOnFailure_{true};
    std::atomic<int32_t> requestsCount_{0};
    std::atomic<bool> showAccurateProgress_{false};
    Value userInfo_;
    mutable std::vector<Weak<HTTPRequest>> headRequests_;  // HEAD probes added by this queue (never counted)
};
