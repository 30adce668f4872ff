// The status timer's work: every 0.25 s while an attempt runs, the request is checked on its own thread.
// It counts the body bytes the connection has taken, decides whether the request has timed out (and
// retries it when allowed), applies the bandwidth throttle and reports progress. The process-wide
// bandwidth meter and throttle live here too.
#include <algorithm>
#include <numeric>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestShared.h"
#include "net/http/Reachability.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Perform.h"

namespace {

constexpr char kSetProgressSelector[] = "setProgress:";
constexpr char kDidSendBytesSelector[] = "request:didSendBytes:";
constexpr char kDidReceiveBytesSelector[] = "request:didReceiveBytes:";
constexpr char kIncrementUploadSizeSelector[] = "request:incrementUploadSizeBy:";
constexpr char kIncrementDownloadSizeSelector[] = "request:incrementDownloadSizeBy:";

// The limit of the cellular-only throttle, in bytes per second.
constexpr unsigned long kWWANBandwidthLimit = 14800;
// The upload buffer rule: while the first block of a body may still sit in the connection's buffer,
// where its progress cannot be seen, a request waits this much longer before it times out.
constexpr double kUploadBufferPatience = 1.5;

// The throttle's rules over its state; the caller holds bandwidthThrottlingLock. (Templates, so that
// they need not name the request's internal state type.)
template <class State>
bool throttledWhileLocked(const State& s)
{
    return s.isBandwidthThrottled || (!s.shouldThrottleBandwidthForWWANOnly && s.maxBandwidthPerSecond > 0);
}

template <class State>
void recordWhileLocked(State& s, double now)
{
    if (s.bandwidthUsedInLastSecond == 0) {
        s.bandwidthUsageTracker.clear();
    } else {
        // Seconds in which nothing was measured count as idle: one old entry goes per second of lateness.
        double lateness = s.bandwidthMeasurementDate ? now - *s.bandwidthMeasurementDate : 0;
        while (!s.bandwidthUsageTracker.empty() && (lateness > 0 || s.bandwidthUsageTracker.size() > 5)) {
            s.bandwidthUsageTracker.erase(s.bandwidthUsageTracker.begin());
            lateness -= 1;
        }
    }
    s.bandwidthUsageTracker.push_back(s.bandwidthUsedInLastSecond);
    s.bandwidthMeasurementDate = now + 1;
    s.bandwidthUsedInLastSecond = 0;
    const unsigned long long sum =
        std::accumulate(s.bandwidthUsageTracker.begin(), s.bandwidthUsageTracker.end(), 0ULL);
    s.averageBandwidthUsedPerSecond = static_cast<unsigned long>(sum / s.bandwidthUsageTracker.size());
}

// A fraction from 0 to 1; `whenEmpty` when there is nothing to divide by.
float fractionOf(unsigned long long done, unsigned long long total, float whenEmpty)
{
    if (total == 0) {
        return whenEmpty;
    }
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    return static_cast<float>(std::clamp(fraction, 0.0, 1.0));
}

}  // namespace

// ---- The status check ----------------------------------------------------------------------------------

void HTTPRequest::updateStatus()
{
    checkRequestStatus();
    if (!inProgress_) {
        setStatusTimer(nullptr);
    }
}

void HTTPRequest::checkRequestStatus()
{
    auto request = self<HTTPRequest>();
    std::lock_guard lock(*cancelledLock_);
    if (cancelledFlag_ || complete_) {
        return;
    }
    performThrottling();

    if (shouldTimeOut()) {
        if (retryCount() < numberOfTimesToRetryOnTimeout()) {
            retryAfterTimeOut();
        } else {
            failWithError(HTTPRequestTimedOutError());
            cancelLoad();
            complete_ = true;
        }
        return;
    }

    Ref<CFHTTPReadStream> stream = readStream();
    if (!stream) {
        return;
    }
    if (postLength() > 0) {
        // The body bytes the connection has taken so far: more of them is a sign of life.
        const unsigned long long before = totalBytesSent();
        setLastBytesSent(before);
        const unsigned long long written = stream->requestBytesWrittenCount();
        setTotalBytesSent(written);
        if (written > before) {
            setLastActivityTime(Clock::now());
            incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(written - before));
        }
    }
    updateProgressIndicators();
}

bool HTTPRequest::shouldTimeOut()
{
    const double limit = timeOutSeconds();
    const std::optional<double> last = lastActivityTime();
    if (!readStream() || !readStreamIsScheduled() || !last || !(limit > 0)) {
        return false;
    }
    const double idle = Clock::now() - *last;
    if (!(idle > limit)) {
        return false;
    }
    if (postLength() == 0) {
        return true;
    }
    const unsigned long long buffer = uploadBufferSize();
    if (buffer > 0 && totalBytesSent() > buffer) {
        return true;  // bytes beyond the buffer's fill were seen leaving: the usual patience applies
    }
    return idle > limit * kUploadBufferPatience;
}

void HTTPRequest::discardConnectionForRetry()
{
    // Out of the pool first, so the connection is never offered to this or another request again.
    {
        Shared& s = shared();
        std::lock_guard connections(*s.connectionsLock);
        if (std::shared_ptr<HTTPConnectionInfo> info = connectionInfo()) {
            info->request.reset();
            info->stream = nullptr;
            std::erase(s.persistentConnectionsPool, info);
        }
        setConnectionInfo(nullptr);
    }
    setConnectionCanBeReused(false);  // the stream is closed, not parked
    setWillRetryRequest(true);        // the temporary body files are kept for the new attempt
    cancelLoad();
    setWillRetryRequest(false);
}

void HTTPRequest::retryAfterTimeOut()
{
    // The old connection may still carry the late answer of the attempt that timed out: it leaves the
    // pool and is closed, never offered to this or another request again.
    discardConnectionForRetry();

    updatePartialDownloadSize();
    if (error()) {
        return;  // the partial file could not be measured; the failure has been reported
    }
    if (partialDownloadSize() > 0 && request_) {
        request_->setHeaderFieldValue("Range", stringWithFormat("bytes=%llu-", partialDownloadSize()));
    }
    setRetryCount(retryCount() + 1);
    startRequest();
}

// ---- Throttling ----------------------------------------------------------------------------------------

void HTTPRequest::performThrottling()
{
    // An attempt that has ended keeps its stream off the run loop (a challenge waiting for credentials).
    if (!readStream() || complete_ || cancelledFlag_) {
        return;
    }
    measureBandwidthUsage();
    if (isBandwidthThrottled()) {
        Shared& s = shared();
        // Held while the stream is (un)scheduled: the throttling lock comes before the connections lock.
        std::lock_guard lock(*s.bandwidthThrottlingLock);
        if (s.throttleWakeUpTime) {
            if (*s.throttleWakeUpTime > Clock::now()) {
                unscheduleReadStream();
            } else {
                scheduleReadStream();
            }
        }
    } else {
        scheduleReadStream();
    }
}

size_t HTTPRequest::readLengthForBuffer(size_t bufferSize)
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    if (!throttledWhileLocked(s) || s.maxBandwidthPerSecond == 0) {
        return bufferSize;
    }
    const long long left =
        static_cast<long long>(s.maxBandwidthPerSecond) - static_cast<long long>(s.bandwidthUsedInLastSecond);
    if (left < 0) {
        return 1;
    }
    const size_t quarter = static_cast<size_t>(left / 4);
    return std::max<size_t>(std::min(quarter, bufferSize), 1);
}

bool HTTPRequest::isBandwidthThrottled()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return throttledWhileLocked(s);
}

unsigned long HTTPRequest::maxBandwidthPerSecond()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.maxBandwidthPerSecond;
}

void HTTPRequest::setMaxBandwidthPerSecond(unsigned long bytes)
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    s.maxBandwidthPerSecond = bytes;
}

void HTTPRequest::incrementBandwidthUsedInLastSecond(unsigned long bytes)
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    s.bandwidthUsedInLastSecond += bytes;
}

void HTTPRequest::recordBandwidthUsage()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    recordWhileLocked(s, Clock::now());
}

unsigned long HTTPRequest::averageBandwidthUsedPerSecond()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.averageBandwidthUsedPerSecond;
}

void HTTPRequest::measureBandwidthUsage()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    const double now = Clock::now();
    if (!s.bandwidthMeasurementDate || *s.bandwidthMeasurementDate <= now) {
        recordWhileLocked(s, now);
    }
    const unsigned long max = s.maxBandwidthPerSecond;
    if (throttledWhileLocked(s) && max > 0 && s.bandwidthUsedInLastSecond > max) {
        // Overdrawn: reading waits until the overdraft has been paid for out of the coming seconds.
        const double overdraft = static_cast<double>(s.bandwidthUsedInLastSecond - max);
        s.throttleWakeUpTime = *s.bandwidthMeasurementDate + overdraft / static_cast<double>(max);
    }
}

unsigned long HTTPRequest::maxUploadReadLength()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    const long long max = static_cast<long long>(s.maxBandwidthPerSecond);
    long long toRead = max / 4;
    if (max > 0) {
        const long long left = max - static_cast<long long>(s.bandwidthUsedInLastSecond);
        toRead = std::max(std::min(toRead, left), 0LL);
    }
    if (toRead == 0 || !s.bandwidthMeasurementDate || *s.bandwidthMeasurementDate <= Clock::now()) {
        s.throttleWakeUpTime = s.bandwidthMeasurementDate;
    }
    return static_cast<unsigned long>(toRead);
}

void HTTPRequest::setShouldThrottleBandwidthForWWAN(bool throttle)
{
    if (throttle) {
        throttleBandwidthForWWANUsingLimit(kWWANBandwidthLimit);
        return;
    }
    Ref<NSObject> observer;
    Ref<NSObject> watcher;
    {
        Shared& s = shared();
        std::lock_guard lock(*s.bandwidthThrottlingLock);
        observer = std::exchange(s.bandwidthReachabilityObserver, nullptr);
        watcher = std::exchange(s.bandwidthReachability, nullptr);
        s.maxBandwidthPerSecond = 0;
        s.isBandwidthThrottled = false;
        s.shouldThrottleBandwidthForWWANOnly = false;
    }
    if (observer) {
        NSNotificationCenter::defaultCenter()->removeObserver(observer);
    }
}

void HTTPRequest::throttleBandwidthForWWANUsingLimit(unsigned long limit)
{
    Shared& s = shared();
    {
        std::lock_guard lock(*s.bandwidthThrottlingLock);
        s.shouldThrottleBandwidthForWWANOnly = true;
        s.maxBandwidthPerSecond = limit;
    }
    // Follows the link: the limit is in force only while the Internet is reached over a cellular link.
    Ref<Reachability> watcher = Reachability::reachabilityForInternetConnection();
    Ref<NSObject> observer;
    if (watcher) {
        observer = NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
            kReachabilityChangedNotification, Value(), [](const Ref<NSNotification>&) {
                const bool viaWWAN = isNetworkReachableViaWWAN();
                Shared& state = shared();
                std::lock_guard lock(*state.bandwidthThrottlingLock);
                if (state.shouldThrottleBandwidthForWWANOnly) {
                    state.isBandwidthThrottled = viaWWAN;
                }
            });
        watcher->startNotifier();
    }
    Ref<NSObject> oldObserver;
    {
        std::lock_guard lock(*s.bandwidthThrottlingLock);
        oldObserver = std::exchange(s.bandwidthReachabilityObserver, observer);
        s.bandwidthReachability = watcher;
    }
    if (oldObserver) {
        NSNotificationCenter::defaultCenter()->removeObserver(oldObserver);
    }
    const bool viaWWAN = isNetworkReachableViaWWAN();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    s.isBandwidthThrottled = viaWWAN;
}

bool HTTPRequest::isNetworkReachableViaWWAN()
{
    Ref<Reachability> internet = Reachability::reachabilityForInternetConnection();
    return internet && internet->currentReachabilityStatus() == NetworkStatusViaWWAN;
}

unsigned long HTTPRequest::bandwidthUsedInLastSecond()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.bandwidthUsedInLastSecond;
}

std::optional<double> HTTPRequest::bandwidthMeasurementDate()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.bandwidthMeasurementDate;
}

std::optional<double> HTTPRequest::throttleWakeUpTime()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.throttleWakeUpTime;
}

std::vector<unsigned long> HTTPRequest::bandwidthUsageTracker()
{
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    return s.bandwidthUsageTracker;
}

void HTTPRequest::resetBandwidthThrottling()
{
    setShouldThrottleBandwidthForWWAN(false);
    Shared& s = shared();
    std::lock_guard lock(*s.bandwidthThrottlingLock);
    s.bandwidthUsedInLastSecond = 0;
    s.bandwidthMeasurementDate.reset();
    s.bandwidthUsageTracker.clear();
    s.averageBandwidthUsedPerSecond = 0;
    s.throttleWakeUpTime.reset();
}

// ---- Progress ------------------------------------------------------------------------------------------

void HTTPRequest::updateProgressIndicators()
{
    if (mainRequest()) {
        return;  // a network queue's size probe reports nothing itself
    }
    if (!showAccurateProgress() && !(complete_ && !updatedProgress())) {
        return;
    }
    Shared& s = shared();
    std::lock_guard lock(*s.progressLock);

    // Upload side. Bytes that went into the connection's buffer at once are not shown as progress: the
    // first written count short of the whole body is taken out of the upload size, and steps are counted
    // beyond it, so that the steps add up to the size counted.
    const unsigned long long sent = totalBytesSent();
    if (!cancelledFlag_ && sent > 0) {
        const unsigned long long length = postLength();
        if (showAccurateProgress() && length > 0 && uploadBufferSize() == 0 && sent != length) {
            setUploadBufferSize(sent);
            incrementUploadSizeBy(-static_cast<long long>(sent));
        }
        const unsigned long long buffer = uploadBufferSize();
        const unsigned long long shownNow = sent > buffer ? sent - buffer : 0;
        long long step = 0;
        if (showAccurateProgress() && length > 0) {
            const unsigned long long last = lastBytesSent();
            const unsigned long long shownBefore = last > buffer ? last - buffer : 0;
            step = static_cast<long long>(shownNow) - static_cast<long long>(shownBefore);
            setLastBytesSent(sent);  // counted once, even when the end of the exchange reads the count again
        } else {
            step = 1;
            setUpdatedProgress(true);
        }
        if (step > 0) {
            const unsigned long long shownTotal = length > buffer ? length - buffer : 0;
            sendProgressStep(true, step, length, fractionOf(shownNow, shownTotal, 1.0f));
        }
    }

    // Download side.
    const unsigned long long length = contentLength();
    if (responseHeadersRead_ && !needsRedirect() && (length > 0 || downloadComplete())) {
        const unsigned long long partial = partialDownloadSize();
        const unsigned long long soFar = totalBytesRead() + partial;
        const unsigned long long total = length + partial;
        long long step = 0;
        if (showAccurateProgress() && length > 0) {
            step = static_cast<long long>(soFar) - static_cast<long long>(lastBytesRead());
        } else {
            step = 1;
            setUpdatedProgress(true);
        }
        if (step > 0) {
            // A finished download of unknown (or zero) length is whole: 1, never 0 / 0.
            const float fraction = fractionOf(soFar, total, downloadComplete() ? 1.0f : 0.0f);
            sendProgressStep(false, step, total, fraction);
        }
        setLastBytesRead(soFar);
    }
}

void HTTPRequest::countDownloadSize(std::optional<unsigned long long> announcedLength)
{
    if (!showAccurateProgress() || !shouldResetDownloadProgress()) {
        return;
    }
    // A network queue's size probe announcing 20 bytes of a compressible answer is taken for a gzip
    // stub, not the size: the group counts the download as one unit.
    const bool stub = announcedLength && *announcedLength == 20 && mainRequest() && allowCompressedResponse();
    if (!announcedLength || stub) {
        setShowAccurateProgress(false);
        incrementDownloadSizeBy(1);
        return;
    }
    incrementDownloadSizeBy(static_cast<long long>(*announcedLength + partialDownloadSize()));
}

void HTTPRequest::sendProgressStep(bool upload, long long step, unsigned long long blockTotal,
                                   std::optional<float> fraction)
{
    if (!hasReceiver(kToQueue | (upload ? kToUploadDisplay : kToDownloadDisplay),
                     upload ? &HTTPRequest::bytesSentBlock_ : &HTTPRequest::bytesReceivedBlock_)) {
        return;
    }
    performOnMainThread([upload, step, blockTotal, fraction](HTTPRequest& request) {
        Ref<HTTPRequest> me = request.self<HTTPRequest>();
        const char* selector = upload ? kDidSendBytesSelector : kDidReceiveBytesSelector;
        auto sendBytes = [&](const Ref<HTTPProgressDelegate>& receiver) {
            if (!receiver || !receiver->respondsToSelector(selector)) {
                return;
            }
            if (upload) {
                receiver->request_didSendBytes(me, step);
            } else {
                receiver->request_didReceiveBytes(me, step);
            }
        };
        sendBytes(std::dynamic_pointer_cast<HTTPProgressDelegate>(request.queue()));
        Ref<HTTPProgressDelegate> display = upload ? request.uploadProgressDelegate() : request.downloadProgressDelegate();
        sendBytes(display);
        if (fraction && display && display->respondsToSelector(kSetProgressSelector)) {
            std::lock_guard lock(*shared().progressLock);
            display->setProgress(*fraction);
        }
        ProgressBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = upload ? request.bytesSentBlock_ : request.bytesReceivedBlock_;
        }
        if (block) {
            block(step, blockTotal);
        }
    });
}

void HTTPRequest::incrementDownloadSizeBy(long long length)
{
    if (!hasReceiver(kToQueue | kToDownloadDisplay, &HTTPRequest::downloadSizeIncrementedBlock_)) {
        return;
    }
    performOnMainThread([length](HTTPRequest& request) {
        Ref<HTTPRequest> me = request.self<HTTPRequest>();
        for (const Ref<HTTPProgressDelegate>& receiver :
             {std::dynamic_pointer_cast<HTTPProgressDelegate>(request.queue()), request.downloadProgressDelegate()}) {
            if (receiver && receiver->respondsToSelector(kIncrementDownloadSizeSelector)) {
                receiver->request_incrementDownloadSizeBy(me, length);
            }
        }
        SizeBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.downloadSizeIncrementedBlock_;
        }
        if (block) {
            block(length);
        }
    });
}

void HTTPRequest::incrementUploadSizeBy(long long length)
{
    if (!hasReceiver(kToQueue | kToUploadDisplay, &HTTPRequest::uploadSizeIncrementedBlock_)) {
        return;
    }
    performOnMainThread([length](HTTPRequest& request) {
        Ref<HTTPRequest> me = request.self<HTTPRequest>();
        for (const Ref<HTTPProgressDelegate>& receiver :
             {std::dynamic_pointer_cast<HTTPProgressDelegate>(request.queue()), request.uploadProgressDelegate()}) {
            if (receiver && receiver->respondsToSelector(kIncrementUploadSizeSelector)) {
                receiver->request_incrementUploadSizeBy(me, length);
            }
        }
        SizeBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.uploadSizeIncrementedBlock_;
        }
        if (block) {
            block(length);
        }
    });
}

void HTTPRequest::removeUploadProgressSoFar()
{
    // What this attempt showed is taken back, and the buffer it took out of the size is given back, so a
    // new attempt starts from the state before this one.
    const unsigned long long sent = totalBytesSent();
    const unsigned long long buffer = uploadBufferSize();
    const long long shown = showAccurateProgress() && sent > buffer ? static_cast<long long>(sent - buffer) : 0;
    if (buffer > 0) {
        incrementUploadSizeBy(static_cast<long long>(buffer));
    }
    setTotalBytesSent(0);
    setLastBytesSent(0);
    setUploadBufferSize(0);
    const unsigned long long length = postLength();
    if (!hasReceiver(kToQueue | kToUploadDisplay, &HTTPRequest::bytesSentBlock_)) {
        return;
    }
    performOnMainThread([shown, length](HTTPRequest& request) {
        Ref<HTTPRequest> me = request.self<HTTPRequest>();
        for (const Ref<HTTPProgressDelegate>& receiver :
             {std::dynamic_pointer_cast<HTTPProgressDelegate>(request.queue()), request.uploadProgressDelegate()}) {
            if (shown > 0 && receiver && receiver->respondsToSelector(kDidSendBytesSelector)) {
                receiver->request_didSendBytes(me, -shown);
            }
        }
        updateProgressIndicator_withProgress_ofTotal(request.uploadProgressDelegate(), 0, length);
        ProgressBlock block;
        {
            std::lock_guard lock(request.receiversLock_);
            block = request.bytesSentBlock_;
        }
        if (block && shown > 0) {
            block(-shown, length);
        }
    });
}

void HTTPRequest::resetUploadProgress(unsigned long long value)
{
    incrementUploadSizeBy(static_cast<long long>(value));
    if (!hasReceiver(kToUploadDisplay)) {
        return;
    }
    performOnMainThread([value](HTTPRequest& request) {
        updateProgressIndicator_withProgress_ofTotal(request.uploadProgressDelegate(), 0, value);
    });
}

void HTTPRequest::resetDownloadProgress()
{
    if (!hasReceiver(kToDownloadDisplay)) {
        return;
    }
    performOnMainThread([](HTTPRequest& request) {
        updateProgressIndicator_withProgress_ofTotal(request.downloadProgressDelegate(), 0, 0);
    });
}

void HTTPRequest::updateProgressIndicator_withProgress_ofTotal(const Ref<HTTPProgressDelegate>& indicator,
                                                               unsigned long long progress, unsigned long long total)
{
    if (!indicator) {
        return;
    }
    const float fraction = fractionOf(progress, total, 0.0f);
    auto deliver = [indicator, fraction] {
        if (indicator->respondsToSelector(kSetProgressSelector)) {
            std::lock_guard lock(*shared().progressLock);
            indicator->setProgress(fraction);
        }
    };
    performSelectorOnMainThread(deliver, NSThread::isMainThread());
}
