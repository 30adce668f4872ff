#pragma once
// The engine's utility namespace: text, URL, time and speed helpers, the engine's clock, and the
// start of detached threads. The locks and queues are in crtlock.h, the digest in crtmd5.h.
//
// The clock. Every wait of the engine (1 ms polls, 500 ms idles, back-offs of 10 s and 40 s) goes
// through mssleep() or crtcond::waitms(), and every interval it measures goes through get_ms_tick().
// Both run on one monotonic clock that the integer environment variable OMBRI_ENGINE_TIME_SCALE
// (default 1, read once) speeds up: with a scale of 1000 a 10-second back-off takes 10 real
// milliseconds and the tick advances 1000 ms per real millisecond. Tests and the child processes of
// tests use it so that the engine's seconds-long waits pass quickly.
//
// Dates (creation times, titles, log prefixes, relative times, the per-second speed buckets) read
// the wall clock, unix_time(), which the scale does not touch; a test may pin it with setwallclock().
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace crtfun {

// ---- text and URL helpers -------------------------------------------------------------------------

// Every byte that is not an ASCII letter or digit becomes "%" and two lower-case hexadecimal digits.
std::string urlencode(const std::string& text);

// The value of parameter `key`: after the first "?key=", else the first "&key=", else "key=" when the
// text begins with it, up to the next "&" or the end. Empty when none of these is present.
std::string gethttpparam(const std::string& text, const std::string& key);

// The extension of the path's file name (the text after its last "."); empty when the file name has
// no ".". A dot in a folder name is not an extension.
std::string getfileext(const std::string& path);

// The text after the last "/"; the whole path when there is none.
std::string getfilename(const std::string& path);

// The path with the extension of its file name removed (with its "."), then "." + ext appended when
// ext is not empty.
std::string replacefileext(const std::string& path, const std::string& ext);

// The text with every "%" replaced by the full-width "％", so that it can pass through a format.
std::string saveprinturl(const std::string& text);

// The first position of `pattern` in the bytes, or -1 when it does not occur (also when the pattern is
// longer than the data). An empty pattern is found at 0.
long bin_search(const void* data, size_t length, const void* pattern, size_t patternlength);

// A relative time ("刚刚", "5分钟前", "昨天", ...) of `then` seen from `now`, both in Unix seconds;
// years count as 360 days and months as 30. Empty when `then` is not before `now`.
std::string getnicetimediff(long then, long now);

// "999B/s", "1KB/s", "2MB/s": bytes per second up to 1000, thousands up to a million, else millions
// (integer division).
std::string getspeedtext(unsigned int bytespersecond);

// Splits a text at a separator from the front.
class stringtoken {
public:
    stringtoken() = default;
    stringtoken(const std::string& text, const std::string& separator);
    void init(const std::string& text, const std::string& separator);
    // The text up to the first separator (both removed), or the whole rest (leaving nothing).
    std::string nexttoken();
    bool ismore() const;

private:
    std::string text_;
    std::string separator_;
};

// Bytes counted per wall-clock second in ten buckets (by Unix second modulo 10). Not locked: one
// owner thread at a time.
class speedcounting {
public:
    // Counts n bytes in the current second, clearing first the buckets of the seconds that passed.
    void adddata(unsigned int n);
    // Bytes per second over the last (at most) ten seconds; recomputed at most once per second.
    unsigned int getspeed();

private:
    unsigned int buckets_[10] = {};
    long lastclear_ = 0;   // the last second whose bucket was cleared
    long starttime_ = 0;   // the second before the first count
    long speedtime_ = -1;  // the second of the last computation
    unsigned int speed_ = 0;
};

// ---- clock ------------------------------------------------------------------------------------------

// OMBRI_ENGINE_TIME_SCALE, at least 1.
int time_scale();
// The scale a text of that variable gives: a whole number from 1 to 1000000, else 1.
int parsetimescale(const char* text);

// Milliseconds of engine time since a base: the first call returns about 1,000,000. Monotonic,
// multiplied by the time scale.
uint64_t get_ms_tick();

// Waits `ms` milliseconds of engine time (ms / time scale real milliseconds).
void mssleep(unsigned int ms);

// The deadline `ms` milliseconds of engine time from now on CLOCK_MONOTONIC, for timed waits.
struct timespec monotonic_deadline(unsigned int ms);

// The wall clock in Unix seconds: the system time, unless a test pinned it.
time_t unix_time();
// Pins the wall clock at `t` (0 returns to the system time). For tests.
void setwallclock(time_t t);

// The local time of `t` (localtime_r).
struct tm localtime_of(time_t t);

// ---- threads ----------------------------------------------------------------------------------------

// Starts a detached thread running routine(arg), with one default thread-attribute object made on
// first use and shared by every engine thread. False when the thread could not be started.
bool startdetachedthread(void* (*routine)(void*), void* arg);

}  // namespace crtfun
