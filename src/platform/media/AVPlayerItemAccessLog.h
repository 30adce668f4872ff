#pragma once
// The access log of a player item: one event for the item's source, with where it came from, the
// bytes it has (a file's size; 0 for a stream), the bit rate those bytes make over the movie's length,
// the stalls while playing and the seconds watched; and the same as the text of an extended log (W3C
// fields, UTF-8).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Charset.h"

class AVPlayerItem;

class AVPlayerItemAccessLogEvent : public NSObject {
public:
    std::string URI;
    NSInteger numberOfStalls = 0;
    int64_t numberOfBytesTransferred = 0;
    double observedBitrate = 0;  // bits per second; 0 when the movie's length is not known
    double durationWatched = 0;  // seconds
};

class AVPlayerItemAccessLog : public NSObject {
public:
    // The log of the item as it stands; null for an item without a source.
    static Ref<AVPlayerItemAccessLog> logOfItem(AVPlayerItem& item);

    const std::vector<Ref<AVPlayerItemAccessLogEvent>>& events() const { return events_; }
    NSData extendedLogData() const;
    NSStringEncoding extendedLogDataStringEncoding() const { return NSUTF8StringEncoding; }

private:
    std::vector<Ref<AVPlayerItemAccessLogEvent>> events_;
};
