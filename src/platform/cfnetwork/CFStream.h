#pragma once
// Read streams: pull reads, and client events delivered on a run loop in the modes the stream is
// scheduled for. NSInputStream is the same class (toll-free bridged, as on the phone).
//
//   CFReadStreamCreateWithBytesNoCopy / +[NSInputStream inputStreamWithData:]   CFReadStream::createWithBytes
//   CFReadStreamCreateWithFile / +[NSInputStream inputStreamWithFileAtPath:]    CFReadStream::createWithFile
//   CFReadStreamCreateForHTTPRequest, CFReadStreamCreateForStreamedHTTPRequest   see CFHTTPReadStream.h
//   CFReadStreamOpen / -open                      open()
//   CFReadStreamRead / -read:maxLength:           read(buffer, length), read_maxLength(buffer, length)
//   CFReadStreamHasBytesAvailable                 hasBytesAvailable()
//   CFReadStreamClose / -close                    close()
//   CFReadStreamGetStatus / -streamStatus         getStatus(), streamStatus()
//   CFReadStreamGetError / -streamError           getError(), streamError()
//   CFReadStreamSetClient(s, events, cb, ctx)     setClient(events, callback)   (nullptr callback removes it)
//   -setDelegate: (NSStreamDelegate)              setDelegate(weakDelegate)
//   CFReadStreamScheduleWithRunLoop(s, loop, m)   scheduleWithRunLoop(loop, mode)
//   CFReadStreamUnscheduleFromRunLoop(s, loop, m) unscheduleFromRunLoop(loop, mode)
//
// Events. A stream records events as they happen (open completed, bytes available, error, end) and
// delivers them on the run loop it is scheduled on, in the modes it is scheduled for, to the client
// callback (for the events the client asked for) and to the delegate. While the stream is not scheduled
// nothing is delivered: the events are held and signalled again as soon as the stream is scheduled.
// "Bytes available" is signalled when bytes are waiting and again after every read that leaves bytes,
// so a reader taking one byte at a time is called back for each. Nothing is delivered after close().
//
// A stream belongs to the thread of its run loop: open, read, close and the callbacks happen there.
// Subclasses (the HTTP stream, or a caller's wrapper that throttles another stream) override the virtual
// members and report events with signalEvent().
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "platform/cfnetwork/CFNetworkErrors.h"
#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/Value.h"

using CFOptionFlags = unsigned long;

enum CFStreamStatus : CFIndex {
    kCFStreamStatusNotOpen = 0,
    kCFStreamStatusOpening = 1,
    kCFStreamStatusOpen = 2,
    kCFStreamStatusReading = 3,
    kCFStreamStatusWriting = 4,
    kCFStreamStatusAtEnd = 5,
    kCFStreamStatusClosed = 6,
    kCFStreamStatusError = 7,
};

using CFStreamEventType = CFOptionFlags;
inline constexpr CFStreamEventType kCFStreamEventNone = 0;
inline constexpr CFStreamEventType kCFStreamEventOpenCompleted = 1;
inline constexpr CFStreamEventType kCFStreamEventHasBytesAvailable = 2;
inline constexpr CFStreamEventType kCFStreamEventCanAcceptBytes = 4;
inline constexpr CFStreamEventType kCFStreamEventErrorOccurred = 8;
inline constexpr CFStreamEventType kCFStreamEventEndEncountered = 16;

// NSStream's names for the same values.
using NSStreamStatus = CFStreamStatus;
using NSStreamEvent = CFStreamEventType;
inline constexpr NSStreamEvent NSStreamEventOpenCompleted = kCFStreamEventOpenCompleted;
inline constexpr NSStreamEvent NSStreamEventHasBytesAvailable = kCFStreamEventHasBytesAvailable;
inline constexpr NSStreamEvent NSStreamEventHasSpaceAvailable = kCFStreamEventCanAcceptBytes;
inline constexpr NSStreamEvent NSStreamEventErrorOccurred = kCFStreamEventErrorOccurred;
inline constexpr NSStreamEvent NSStreamEventEndEncountered = kCFStreamEventEndEncountered;

class CFReadStream;
class CFHTTPReadStream;
class CFHTTPMessage;

// The delegate protocol of NSStream (-stream:handleEvent:).
class NSStreamDelegate {
public:
    virtual ~NSStreamDelegate() = default;
    virtual void stream_handleEvent(CFReadStream* stream, NSStreamEvent event) {}
};

class CFReadStream : public NSObject {
public:
    using ClientCallBack = std::function<void(CFReadStream& stream, CFStreamEventType event)>;

    // A stream over bytes held in memory.
    static Ref<CFReadStream> createWithBytes(std::string bytes);
    // A stream over a file; opening a missing file is an error event (POSIX ENOENT).
    static Ref<CFReadStream> createWithFile(std::string path);
    // The stream of one HTTP exchange (CFHTTPReadStream.h); nullptr for a message that is not an http or
    // https request. The streamed form pulls the request body from `body`.
    static Ref<CFHTTPReadStream> createForHTTPRequest(const Ref<CFHTTPMessage>& request);
    static Ref<CFHTTPReadStream> createForStreamedHTTPRequest(const Ref<CFHTTPMessage>& requestHeaders,
                                                              const Ref<CFReadStream>& body);

    ~CFReadStream() override;

    // Opens the stream. False only when the stream cannot be opened at all (already opened, or
    // invalid); failures found later (a refused connection) arrive as an error event.
    virtual bool open();
    // Up to `length` bytes into `buffer`: the count, 0 at the end, -1 on error or when not open. Blocks
    // until at least one byte, the end or an error is there, as the platform's read does.
    virtual CFIndex read(uint8_t* buffer, CFIndex length);
    virtual bool hasBytesAvailable();
    virtual void close();
    virtual CFStreamStatus getStatus() const { return status_; }
    virtual CFStreamError getError() const { return error_; }
    // The error as an error object (CFReadStreamCopyError); nullptr without an error.
    std::shared_ptr<NSError> copyError() const { return CFErrorCreateWithStreamError(getError()); }
    // The length of the stream's bytes when known in advance (memory and file streams).
    virtual std::optional<uint64_t> knownLength() const { return std::nullopt; }

    bool setClient(CFOptionFlags events, ClientCallBack callback);
    // The NSStream delegate (told of every event after the client).
    virtual Ref<NSStreamDelegate> delegate() const { return delegate_.lock(); }
    virtual void setDelegate(Weak<NSStreamDelegate> delegate) { delegate_ = std::move(delegate); }
    // Stream properties by name (-propertyForKey:, -setProperty:forKey:): values a stream keeps for its
    // owner; nil when not set. Setting answers whether the stream took the value (always, here).
    virtual Value propertyForKey(const std::string& key) const;
    virtual bool setProperty_forKey(const Value& property, const std::string& key);
    void scheduleWithRunLoop(const Ref<NSRunLoop>& loop, const std::string& mode);
    void unscheduleFromRunLoop(const Ref<NSRunLoop>& loop, const std::string& mode);
    bool isScheduled() const { return !modes_.empty(); }
    const std::set<std::string>& scheduledModes() const { return modes_; }
    Ref<NSRunLoop> scheduledRunLoop() const { return loop_.lock(); }

    // NSInputStream spellings.
    NSInteger read_maxLength(uint8_t* buffer, NSUInteger length)
    {
        return read(buffer, static_cast<CFIndex>(length));
    }
    NSStreamStatus streamStatus() const { return getStatus(); }
    CFStreamError streamError() const { return getError(); }
    void scheduleInRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode)
    {
        scheduleWithRunLoop(loop, mode);
    }
    void removeFromRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode)
    {
        unscheduleFromRunLoop(loop, mode);
    }

protected:
    CFReadStream() = default;

    // Records an event for delivery (at once when scheduled, else on the next scheduling).
    void signalEvent(CFStreamEventType event);
    // Drops events not yet delivered.
    void clearPendingEvents() { pending_ = 0; }
    void setStatus(CFStreamStatus status) { status_ = status; }
    void setError(CFStreamError error) { error_ = error; }
    // Called after the run loop or the set of modes changed (subclasses move their own sources).
    virtual void schedulingChanged() {}
    // Whether a held event still holds when it is about to be delivered.
    virtual bool eventStillValid(CFStreamEventType event);
    // Removes the stream from its run loop entirely (close does this).
    void unscheduleFromAll();

private:
    void deliver();

    CFStreamStatus status_ = kCFStreamStatusNotOpen;
    CFStreamError error_;
    CFOptionFlags clientEvents_ = 0;
    ClientCallBack client_;
    Weak<NSStreamDelegate> delegate_;
    Value properties_;  // a dictionary once a property is set
    Weak<NSRunLoop> loop_;
    std::set<std::string> modes_;
    Ref<CFRunLoopSource> eventSource_;
    CFOptionFlags pending_ = 0;
};

using NSInputStream = CFReadStream;
