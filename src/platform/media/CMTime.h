#pragma once
// Rational media times: value / timescale seconds. Capture stamps its buffers with the process clock
// (Clock::now()) in nanoseconds; movie files keep their own timescales.
#include <cstdint>

struct CMTime {
    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;
    int64_t epoch = 0;
};
inline constexpr uint32_t kCMTimeFlags_Valid = 1;
inline constexpr CMTime kCMTimeZero = {0, 1, kCMTimeFlags_Valid, 0};
inline constexpr CMTime kCMTimeInvalid = {0, 0, 0, 0};
// The timescale of capture stamps: nanoseconds of the process clock.
inline constexpr int32_t kCMTimeCaptureTimescale = 1000000000;

CMTime CMTimeMake(int64_t value, int32_t timescale);
CMTime CMTimeMakeWithSeconds(double seconds, int32_t preferredTimescale);
// 0 for an invalid time.
double CMTimeGetSeconds(CMTime time);
bool CMTIME_IS_VALID(CMTime time);
inline bool CMTIME_IS_INVALID(CMTime time) { return !CMTIME_IS_VALID(time); }
// The time in another timescale, rounded to the nearest tick (invalid stays invalid).
CMTime CMTimeConvertScale(CMTime time, int32_t newTimescale);
// -1, 0 or 1 as a is before, at or after b, compared exactly; invalid times sort after every valid one.
int32_t CMTimeCompare(CMTime a, CMTime b);
// a - b and a + b in the finer of the two timescales (invalid when either is).
CMTime CMTimeSubtract(CMTime a, CMTime b);
CMTime CMTimeAdd(CMTime a, CMTime b);
// The process clock's reading as a capture stamp.
CMTime CMClockGetTimeNow();
