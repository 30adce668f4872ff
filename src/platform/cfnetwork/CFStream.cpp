#include "platform/cfnetwork/CFStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

class MemoryReadStream : public CFReadStream {
public:
    explicit MemoryReadStream(std::string bytes) : bytes_(std::move(bytes)) {}

    bool open() override
    {
        if (getStatus() != kCFStreamStatusNotOpen) {
            return false;
        }
        setStatus(kCFStreamStatusOpen);
        signalEvent(kCFStreamEventOpenCompleted);
        signalEvent(bytes_.empty() ? kCFStreamEventEndEncountered : kCFStreamEventHasBytesAvailable);
        if (bytes_.empty()) {
            setStatus(kCFStreamStatusAtEnd);
        }
        return true;
    }

    CFIndex read(uint8_t* buffer, CFIndex length) override
    {
        CFStreamStatus status = getStatus();
        if (status == kCFStreamStatusAtEnd) {
            return 0;
        }
        if (status != kCFStreamStatusOpen || length < 0) {
            return -1;
        }
        size_t n = std::min(static_cast<size_t>(length), bytes_.size() - offset_);
        std::memcpy(buffer, bytes_.data() + offset_, n);
        offset_ += n;
        if (offset_ == bytes_.size()) {
            setStatus(kCFStreamStatusAtEnd);
            signalEvent(kCFStreamEventEndEncountered);
        } else {
            signalEvent(kCFStreamEventHasBytesAvailable);
        }
        return static_cast<CFIndex>(n);
    }

    bool hasBytesAvailable() override { return getStatus() == kCFStreamStatusOpen && offset_ < bytes_.size(); }
    std::optional<uint64_t> knownLength() const override { return bytes_.size(); }

private:
    std::string bytes_;
    size_t offset_ = 0;
};

class FileReadStream : public CFReadStream {
public:
    explicit FileReadStream(std::string path) : path_(std::move(path)) {}
    ~FileReadStream() override { closeFile(); }

    bool open() override
    {
        if (getStatus() != kCFStreamStatusNotOpen) {
            return false;
        }
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st{};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
            int code = fd_ < 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : errno);
            closeFile();
            setStatus(kCFStreamStatusError);
            setError({kCFStreamErrorDomainPOSIX, code});
            signalEvent(kCFStreamEventErrorOccurred);
            return true;
        }
        size_ = static_cast<uint64_t>(st.st_size);
        setStatus(kCFStreamStatusOpen);
        signalEvent(kCFStreamEventOpenCompleted);
        signalEvent(kCFStreamEventHasBytesAvailable);
        return true;
    }

    CFIndex read(uint8_t* buffer, CFIndex length) override
    {
        CFStreamStatus status = getStatus();
        if (status == kCFStreamStatusAtEnd) {
            return 0;
        }
        if (status != kCFStreamStatusOpen || length < 0) {
            return -1;
        }
        ssize_t n;
        do {
            n = ::read(fd_, buffer, static_cast<size_t>(length));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            setStatus(kCFStreamStatusError);
            setError({kCFStreamErrorDomainPOSIX, errno});
            signalEvent(kCFStreamEventErrorOccurred);
            return -1;
        }
        if (n == 0 && length > 0) {
            setStatus(kCFStreamStatusAtEnd);
            signalEvent(kCFStreamEventEndEncountered);
            return 0;
        }
        signalEvent(kCFStreamEventHasBytesAvailable);
        return n;
    }

    bool hasBytesAvailable() override { return getStatus() == kCFStreamStatusOpen; }

    void close() override
    {
        closeFile();
        CFReadStream::close();
    }

    std::optional<uint64_t> knownLength() const override
    {
        if (fd_ >= 0) {
            return size_;
        }
        struct stat st{};
        if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return static_cast<uint64_t>(st.st_size);
        }
        return std::nullopt;
    }

private:
    void closeFile()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace

Ref<CFReadStream> CFReadStream::createWithBytes(std::string bytes)
{
    return std::make_shared<MemoryReadStream>(std::move(bytes));
}

Ref<CFReadStream> CFReadStream::createWithFile(std::string path)
{
    return std::make_shared<FileReadStream>(std::move(path));
}

Value CFReadStream::propertyForKey(const std::string& key) const
{
    return properties_.isDictionary() ? properties_.objectForKey(key) : Value();
}

bool CFReadStream::setProperty_forKey(const Value& property, const std::string& key)
{
    if (!properties_.isDictionary()) {
        properties_ = Value::dictionary();
    }
    if (property.isNil()) {
        properties_.removeObjectForKey(key);
    } else {
        properties_.setObject_forKey(property, key);
    }
    return true;
}

CFReadStream::~CFReadStream()
{
    if (eventSource_) {
        eventSource_->invalidate();
    }
}

bool CFReadStream::open()
{
    if (status_ != kCFStreamStatusNotOpen) {
        return false;
    }
    status_ = kCFStreamStatusOpen;
    signalEvent(kCFStreamEventOpenCompleted);
    return true;
}

CFIndex CFReadStream::read(uint8_t*, CFIndex)
{
    return status_ == kCFStreamStatusAtEnd ? 0 : -1;
}

bool CFReadStream::hasBytesAvailable()
{
    return false;
}

void CFReadStream::close()
{
    if (status_ == kCFStreamStatusClosed) {
        return;
    }
    status_ = kCFStreamStatusClosed;
    pending_ = 0;
    unscheduleFromAll();
}

bool CFReadStream::setClient(CFOptionFlags events, ClientCallBack callback)
{
    client_ = std::move(callback);
    clientEvents_ = client_ ? events : 0;
    return true;
}

void CFReadStream::scheduleWithRunLoop(const Ref<NSRunLoop>& loop, const std::string& mode)
{
    if (!loop || status_ == kCFStreamStatusClosed) {
        return;
    }
    auto current = loop_.lock();
    if (current && current != loop) {
        // Scheduling on a second loop moves the stream there; a stream serves one loop at a time.
        unscheduleFromAll();
    }
    if (!eventSource_ || loop_.lock() != loop) {
        if (eventSource_) {
            eventSource_->invalidate();
        }
        std::weak_ptr<NSObject> weak = weak_from_this();
        eventSource_ = CFRunLoopSource::create([weak](unsigned) {
            if (auto self = std::static_pointer_cast<CFReadStream>(weak.lock())) {
                self->deliver();
            }
        });
    }
    loop_ = loop;
    if (!modes_.insert(mode).second) {
        return;
    }
    loop->addSource(eventSource_, mode);
    schedulingChanged();
    if (pending_) {
        eventSource_->signal();
    }
}

void CFReadStream::unscheduleFromRunLoop(const Ref<NSRunLoop>& loop, const std::string& mode)
{
    auto current = loop_.lock();
    if (!current || current != loop || !modes_.erase(mode)) {
        return;
    }
    if (eventSource_) {
        current->removeSource(eventSource_, mode);
    }
    if (modes_.empty()) {
        if (eventSource_) {
            eventSource_->invalidate();
            eventSource_.reset();
        }
        loop_.reset();
    }
    schedulingChanged();
}

void CFReadStream::unscheduleFromAll()
{
    if (modes_.empty() && !eventSource_) {
        return;
    }
    modes_.clear();
    if (eventSource_) {
        eventSource_->invalidate();
        eventSource_.reset();
    }
    loop_.reset();
    schedulingChanged();
}

void CFReadStream::signalEvent(CFStreamEventType event)
{
    if (status_ == kCFStreamStatusClosed) {
        return;
    }
    pending_ |= event;
    if (eventSource_ && !modes_.empty()) {
        eventSource_->signal();
    }
}

bool CFReadStream::eventStillValid(CFStreamEventType event)
{
    if (event == kCFStreamEventHasBytesAvailable) {
        return hasBytesAvailable();
    }
    return true;
}

void CFReadStream::deliver()
{
    // The callbacks may release the caller's last reference; keep the stream alive until done.
    auto self = std::static_pointer_cast<CFReadStream>(shared_from_this());
    static const CFStreamEventType order[] = {kCFStreamEventOpenCompleted, kCFStreamEventHasBytesAvailable,
                                              kCFStreamEventCanAcceptBytes, kCFStreamEventErrorOccurred,
                                              kCFStreamEventEndEncountered};
    for (CFStreamEventType event : order) {
        if (!(pending_ & event)) {
            continue;
        }
        if (modes_.empty() || status_ == kCFStreamStatusClosed) {
            return;  // unscheduled or closed by a callback: the rest waits (or is dropped)
        }
        pending_ &= ~event;
        if (!eventStillValid(event)) {
            continue;
        }
        if (client_ && (clientEvents_ & event)) {
            auto callback = client_;  // the callback may replace the client
            callback(*this, event);
        }
        if (auto delegate = delegate_.lock()) {
            delegate->stream_handleEvent(this, event);
        }
    }
}
