#include "platform/media/CMTime.h"

#include <cmath>

#include "platform/foundation/Clock.h"

namespace {
namespace CMTime_cpp {

// value * to / from, rounded to nearest, without overflowing for the timescales in use.
int64_t rescale(int64_t value, int32_t from, int32_t to)
{
    const __int128 scaled = static_cast<__int128>(value) * to;
    const __int128 half = from / 2;
    const __int128 rounded = scaled >= 0 ? (scaled + half) / from : (scaled - half) / from;
    return static_cast<int64_t>(rounded);
}

}  // namespace CMTime_cpp
}  // namespace

CMTime CMTimeMake(int64_t value, int32_t timescale)
{
    return CMTime{value, timescale, timescale > 0 ? kCMTimeFlags_Valid : 0u, 0};
}

CMTime CMTimeMakeWithSeconds(double seconds, int32_t preferredTimescale)
{
    if (!std::isfinite(seconds) || preferredTimescale <= 0) {
        return kCMTimeInvalid;
    }
    return CMTimeMake(int64_t(std::llround(seconds * preferredTimescale)), preferredTimescale);
}

double CMTimeGetSeconds(CMTime time)
{
    return CMTIME_IS_VALID(time) ? double(time.value) / double(time.timescale) : 0;
}

bool CMTIME_IS_VALID(CMTime time)
{
    return (time.flags & kCMTimeFlags_Valid) != 0 && time.timescale > 0;
}

CMTime CMTimeConvertScale(CMTime time, int32_t newTimescale)
{
    if (!CMTIME_IS_VALID(time) || newTimescale <= 0) {
        return kCMTimeInvalid;
    }
    return CMTimeMake(CMTime_cpp::rescale(time.value, time.timescale, newTimescale), newTimescale);
}

int32_t CMTimeCompare(CMTime a, CMTime b)
{
    const bool va = CMTIME_IS_VALID(a);
    const bool vb = CMTIME_IS_VALID(b);
    if (!va || !vb) {
        return va == vb ? 0 : (va ? -1 : 1);
    }
    const __int128 left = static_cast<__int128>(a.value) * b.timescale;
    const __int128 right = static_cast<__int128>(b.value) * a.timescale;
    return left < right ? -1 : (left > right ? 1 : 0);
}

CMTime CMTimeSubtract(CMTime a, CMTime b)
{
    if (!CMTIME_IS_VALID(a) || !CMTIME_IS_VALID(b)) {
        return kCMTimeInvalid;
    }
    const int32_t scale = a.timescale >= b.timescale ? a.timescale : b.timescale;
    return CMTimeMake(CMTime_cpp::rescale(a.value, a.timescale, scale) - CMTime_cpp::rescale(b.value, b.timescale, scale),
                      scale);
}

CMTime CMTimeAdd(CMTime a, CMTime b)
{
    if (!CMTIME_IS_VALID(a) || !CMTIME_IS_VALID(b)) {
        return kCMTimeInvalid;
    }
    const int32_t scale = a.timescale >= b.timescale ? a.timescale : b.timescale;
    return CMTimeMake(CMTime_cpp::rescale(a.value, a.timescale, scale) + CMTime_cpp::rescale(b.value, b.timescale, scale),
                      scale);
}

CMTime CMClockGetTimeNow() { return CMTimeMakeWithSeconds(Clock::now(), kCMTimeCaptureTimescale); }
