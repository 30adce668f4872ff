#include "net/http/HTTPInputStream.h"

#include <mutex>

#include "net/http/HTTPRequest.h"

namespace {

// Serialises the throttling step and the counting of every body stream of the process. Plain: never
// taken twice by one thread. Made once and never destroyed.
std::mutex& readLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

}  // namespace

Ref<HTTPInputStream> HTTPInputStream::inputStreamWithFileAtPath_request(const std::string& path,
                                                                        const Ref<HTTPRequest>& request)
{
    auto body = std::make_shared<HTTPInputStream>();
    body->setStream(CFReadStream::createWithFile(path));
    body->setRequest(request);
    return body;
}

Ref<HTTPInputStream> HTTPInputStream::inputStreamWithData_request(const NSData& data, const Ref<HTTPRequest>& request)
{
    auto body = std::make_shared<HTTPInputStream>();
    body->setStream(CFReadStream::createWithBytes(data.string()));
    body->setRequest(request);
    return body;
}

void HTTPInputStream::setStream(const Ref<CFReadStream>& newStream)
{
    if (newStream == stream_) {
        return;
    }
    if (stream_) {
        stream_->setClient(0, nullptr);
        if (Ref<NSRunLoop> loop = innerLoop_.lock()) {
            for (const std::string& mode : innerModes_) {
                stream_->unscheduleFromRunLoop(loop, mode);
            }
        }
    }
    innerLoop_.reset();
    innerModes_.clear();
    stream_ = newStream;
    if (!stream_) {
        return;
    }
    // The inner stream's events are this stream's events: its client and delegate hear them from here.
    Weak<HTTPInputStream> weak = weakSelf<HTTPInputStream>();
    stream_->setClient(kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable | kCFStreamEventCanAcceptBytes |
                           kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered,
                       [weak](CFReadStream&, CFStreamEventType event) {
                           if (auto body = weak.lock()) {
                               body->signalEvent(event);
                           }
                       });
    schedulingChanged();
}

void HTTPInputStream::schedulingChanged()
{
    if (!stream_) {
        return;
    }
    // The inner stream follows this stream onto its run loop and modes, so its events are produced where
    // this stream delivers them.
    Ref<NSRunLoop> loop = scheduledRunLoop();
    const std::set<std::string> modes = isScheduled() ? scheduledModes() : std::set<std::string>();
    Ref<NSRunLoop> oldLoop = innerLoop_.lock();
    if (oldLoop) {
        for (const std::string& mode : innerModes_) {
            if (oldLoop != loop || !modes.contains(mode)) {
                stream_->unscheduleFromRunLoop(oldLoop, mode);
            }
        }
    }
    if (loop) {
        for (const std::string& mode : modes) {
            if (oldLoop != loop || !innerModes_.contains(mode)) {
                stream_->scheduleWithRunLoop(loop, mode);
            }
        }
    }
    innerLoop_ = loop;
    innerModes_ = loop ? modes : std::set<std::string>();
}

bool HTTPInputStream::open()
{
    return stream_ && stream_->open();
}

CFIndex HTTPInputStream::read(uint8_t* buffer, CFIndex length)
{
    if (!stream_) {
        return -1;
    }
    CFIndex toRead = length;
    {
        std::lock_guard lock(readLock());
        if (length > 0 && HTTPRequest::isBandwidthThrottled()) {
            const unsigned long allowance = HTTPRequest::maxUploadReadLength();
            if (static_cast<unsigned long>(length) >= allowance) {
                // Nothing left of this second's allowance still moves one byte, so the read ends.
                toRead = allowance == 0 ? 1 : static_cast<CFIndex>(allowance);
            }
            if (Ref<HTTPRequest> owner = request_.lock()) {
                owner->performThrottling();
            }
        }
        if (toRead > 0) {
            HTTPRequest::incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(toRead));
        }
    }
    return stream_->read(buffer, toRead);
}

bool HTTPInputStream::hasBytesAvailable()
{
    return stream_ && stream_->hasBytesAvailable();
}

void HTTPInputStream::close()
{
    if (stream_) {
        stream_->close();
    }
    CFReadStream::close();
}

CFStreamStatus HTTPInputStream::getStatus() const
{
    return stream_ ? stream_->getStatus() : kCFStreamStatusError;
}

CFStreamError HTTPInputStream::getError() const
{
    return stream_ ? stream_->getError() : CFStreamError{};
}

std::optional<uint64_t> HTTPInputStream::knownLength() const
{
    return stream_ ? stream_->knownLength() : std::nullopt;
}

Ref<NSStreamDelegate> HTTPInputStream::delegate() const
{
    return stream_ ? stream_->delegate() : nullptr;
}

void HTTPInputStream::setDelegate(Weak<NSStreamDelegate> delegate)
{
    if (stream_) {
        stream_->setDelegate(std::move(delegate));
    }
}

Value HTTPInputStream::propertyForKey(const std::string& key) const
{
    return stream_ ? stream_->propertyForKey(key) : Value();
}

bool HTTPInputStream::setProperty_forKey(const Value& property, const std::string& key)
{
    return stream_ && stream_->setProperty_forKey(property, key);
}
