// Proxy auto-configuration scripts: fetched from their URL (a local file, or over HTTP by a request of
// their own), run for the request's URL, and their answer turned into the proxy this request uses. A
// script that cannot be fetched or run, or that answers nothing usable, means: go direct.
#include <cstdint>
#include <mutex>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "platform/cfnetwork/CFProxySupport.h"
#include "platform/cfnetwork/ProxyAutoConfig.h"
#include "platform/foundation/NSString.h"

namespace {

constexpr char kFinishedDownloadingPACFileSelector[] = "finishedDownloadingPACFile:";
constexpr size_t kPACReadSize = 16384;

// The receiver of a script fetch's end: both its finish and its failure come here.
class PACFileFetchDelegate : public HTTPRequestDelegate {
public:
    explicit PACFileFetchDelegate(std::function<void(const Ref<HTTPRequest>&)> done) : done_(std::move(done)) {}

    bool respondsToSelector(std::string_view selector) const override
    {
        return selector == kFinishedDownloadingPACFileSelector;
    }
    void performRequestSelector(std::string_view selector, const Ref<HTTPRequest>& request,
                                const HTTPRequestSelectorArgument&) override
    {
        if (selector == kFinishedDownloadingPACFileSelector) {
            done_(request);
        }
    }

private:
    std::function<void(const Ref<HTTPRequest>&)> done_;
};

void changeSharedQueueWidth(long by)
{
    Ref<NSOperationQueue> queue = HTTPRequest::sharedQueue();
    queue->setMaxConcurrentOperationCount(queue->maxConcurrentOperationCount() + by);
}

}  // namespace

void HTTPRequest::fetchPACFile()
{
    auto keep = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    Ref<NSURL> script = PACurl();
    const std::string scheme = script ? NSString::asciiLowercaseString(script->scheme()) : std::string();

    if (script && script->isFileURL()) {
        PACFileData_.clear();
        Ref<CFReadStream> stream = CFReadStream::createWithFile(script->path());
        PACFileReadStream_ = stream;
        Weak<HTTPRequest> weak = weakSelf<HTTPRequest>();
        stream->setClient(kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                          [weak](CFReadStream&, CFStreamEventType type) {
                              if (auto request = weak.lock()) {
                                  request->handlePACFileStreamEvent(type);
                              }
                          });
        stream->scheduleWithRunLoop(NSRunLoop::currentRunLoop(), runLoopMode());
        PACReadTimer_ = NSTimer::timerWithTimeInterval(timeOutSeconds(), false, [weak] {
            if (auto request = weak.lock()) {
                request->timeOutPACRead();
            }
        });
        NSRunLoop::currentRunLoop()->addTimer(PACReadTimer_, runLoopMode());
        if (!stream->open()) {
            finishPACFileRead();
        }
        return;
    }

    if (scheme == "http" || scheme == "https") {
        Ref<HTTPRequest> fetch = HTTPRequest::requestWithURL(script);
        fetch->setIsPACFileRequest(true);
        fetch->setTimeOutSeconds(timeOutSeconds());
        if (isSynchronous()) {
            fetch->startSynchronous();
            if (!fetch->error() && !fetch->responseData().empty()) {
                runPACScript(ProxyAutoConfig::decodeScript(fetch->responseData().view()));
            }
            startRequest();
            return;
        }
        Weak<HTTPRequest> weak = weakSelf<HTTPRequest>();
        PACFileDelegate_ = std::make_shared<PACFileFetchDelegate>([weak](const Ref<HTTPRequest>& finished) {
            // Told while the fetch holds its own lock: this request goes on in a step of its own, so the
            // two locks are never taken in the other order.
            // Both run on the network thread, whose loop takes the step.
            if (auto request = weak.lock()) {
                NSRunLoop::currentRunLoop()->performBlock(
                    [request, finished] { request->finishedDownloadingPACFile(finished); });
            }
        });
        setPACFileRequest(fetch);
        fetch->setQueuePriority(NSOperationQueuePriorityHigh);
        fetch->setDelegate(PACFileDelegate_);
        fetch->setDidFinishSelector(kFinishedDownloadingPACFileSelector);
        fetch->setDidFailSelector(kFinishedDownloadingPACFileSelector);
        {
            // One more slot, so the fetch runs even when every slot is held by a request waiting for it.
            std::lock_guard connections(*shared().connectionsLock);
            changeSharedQueueWidth(+1);
            PACQueueWidthRaised_ = true;
        }
        fetch->startAsynchronous();
        return;
    }

    startRequest();
}

void HTTPRequest::handlePACFileStreamEvent(CFStreamEventType type)
{
    auto keep = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    Ref<CFReadStream> stream = PACFileReadStream_;
    if (!stream) {
        return;
    }
    if (type == kCFStreamEventHasBytesAvailable) {
        std::vector<uint8_t> buffer(kPACReadSize);
        const CFIndex count = stream->read(buffer.data(), static_cast<CFIndex>(buffer.size()));
        if (count > 0) {
            PACFileData_.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(count));
            if (PACFileData_.size() <= ProxyAutoConfig::kMaxScriptBytes) {
                return;
            }
            PACFileData_.clear();  // no script is that long: go direct
        } else if (count == 0) {
            return;  // the end event follows
        } else {
            PACFileData_.clear();
        }
    } else if (type == kCFStreamEventEndEncountered) {
        if (!PACFileData_.empty()) {
            runPACScript(ProxyAutoConfig::decodeScript(PACFileData_));
        }
    }
    finishPACFileRead();
}

void HTTPRequest::timeOutPACRead()
{
    auto keep = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    if (PACFileReadStream_) {
        PACFileData_.clear();
        finishPACFileRead();
    }
}

void HTTPRequest::stopPACFileRead()
{
    if (PACReadTimer_) {
        PACReadTimer_->invalidate();
        PACReadTimer_ = nullptr;
    }
    if (Ref<CFReadStream> stream = std::exchange(PACFileReadStream_, nullptr)) {
        stream->setClient(0, nullptr);
        stream->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), runLoopMode());
        stream->close();
    }
    PACFileData_.clear();
}

void HTTPRequest::finishPACFileRead()
{
    stopPACFileRead();
    if (!cancelledFlag_ && !error()) {
        startRequest();
    }
}

void HTTPRequest::finishedDownloadingPACFile(const Ref<HTTPRequest>& theRequest)
{
    auto keep = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    if (!theRequest || theRequest != PACFileRequest()) {
        return;  // a fetch this request has already given up
    }
    if (!theRequest->error()) {
        const NSData body = theRequest->responseData();
        if (!body.empty()) {
            runPACScript(ProxyAutoConfig::decodeScript(body.view()));
        }
    }
    {
        std::lock_guard connections(*shared().connectionsLock);
        if (std::exchange(PACQueueWidthRaised_, false)) {
            changeSharedQueueWidth(-1);
        }
    }
    setPACFileRequest(nullptr);
    PACFileDelegate_.reset();
    if (!cancelledFlag_ && !error()) {
        startRequest();
    }
}

void HTTPRequest::abandonPACFileFetch()
{
    if (Ref<HTTPRequest> fetch = PACFileRequest()) {
        setPACFileRequest(nullptr);
        fetch->clearDelegatesAndCancel();
    }
    {
        std::lock_guard connections(*shared().connectionsLock);
        if (std::exchange(PACQueueWidthRaised_, false)) {
            changeSharedQueueWidth(-1);
        }
    }
    PACFileDelegate_.reset();
    stopPACFileRead();
}

void HTTPRequest::runPACScript(const std::string& script)
{
    Ref<NSURL> theURL = url();
    if (!theURL) {
        return;
    }
    Ref<NSError> scriptError;
    Value proxies = CFNetworkCopyProxiesForAutoConfigurationScript(script, theURL, &scriptError);
    if (scriptError || proxies.count() == 0) {
        return;  // direct
    }
    const Value first = proxies.objectAtIndex(0);
    const std::string type = first[kCFProxyTypeKey].stringValue();
    const std::string host = first[kCFProxyHostNameKey].stringValue();
    const int port = first[kCFProxyPortNumberKey].intValue();
    if (type == kCFProxyTypeNone || host.empty() || port <= 0) {
        return;
    }
    setProxyHost(host);
    setProxyPort(port);
    setProxyType(type);
}
