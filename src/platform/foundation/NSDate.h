#pragma once
// Points in time (a value type: seconds since 1970-01-01 00:00:00 UTC as a double).
//
// "Now" is the process clock's wall time (Clock::wallNow(), so a ManualClock installed by a test moves
// dates and timers together). NSDate::setNowFunction(fn) replaces it for dates alone (thread-safe);
// NSDate::setNowFunction(nullptr) goes back to the process clock.
#include <compare>
#include <functional>
#include <string>

#include "platform/foundation/NSObjCRuntime.h"

// Seconds between 1970-01-01 and the platform's reference date 2001-01-01 (UTC).
inline constexpr NSTimeInterval NSTimeIntervalSince1970 = 978307200.0;

class NSDate {
public:
    // The epoch (1970-01-01 00:00:00 UTC). Use NSDate::date() for now.
    constexpr NSDate() = default;

    static NSDate date() { return NSDate(now()); }
    static NSDate dateWithTimeIntervalSince1970(NSTimeInterval seconds) { return NSDate(seconds); }
    static NSDate dateWithTimeIntervalSinceNow(NSTimeInterval seconds) { return NSDate(now() + seconds); }
    static NSDate dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds)
    {
        return NSDate(seconds + NSTimeIntervalSince1970);
    }
    static NSDate distantFuture() { return NSDate(64092211200.0); }  // year 4001
    static NSDate distantPast() { return NSDate(-62135769600.0); }   // year 1

    NSTimeInterval timeIntervalSince1970() const { return seconds_; }
    NSTimeInterval timeIntervalSinceReferenceDate() const { return seconds_ - NSTimeIntervalSince1970; }
    NSTimeInterval timeIntervalSinceNow() const { return seconds_ - now(); }
    NSTimeInterval timeIntervalSinceDate(const NSDate& other) const { return seconds_ - other.seconds_; }
    NSDate dateByAddingTimeInterval(NSTimeInterval seconds) const { return NSDate(seconds_ + seconds); }

    NSComparisonResult compare(const NSDate& other) const
    {
        return seconds_ < other.seconds_ ? NSOrderedAscending
                                         : (seconds_ > other.seconds_ ? NSOrderedDescending : NSOrderedSame);
    }
    NSDate earlierDate(const NSDate& other) const { return other.seconds_ < seconds_ ? other : *this; }
    NSDate laterDate(const NSDate& other) const { return other.seconds_ > seconds_ ? other : *this; }
    bool isEqualToDate(const NSDate& other) const { return seconds_ == other.seconds_; }
    bool operator==(const NSDate&) const = default;
    auto operator<=>(const NSDate&) const = default;

    // "2013-05-01 12:00:00 +0000" (UTC), as the platform describes a date.
    std::string description() const;

    // The current wall-clock time in seconds since 1970, through the installed now-function.
    static NSTimeInterval now();
    // Replaces the now-function (nullptr: the process clock again). Returns the previous one.
    static std::function<NSTimeInterval()> setNowFunction(std::function<NSTimeInterval()> fn);

private:
    explicit constexpr NSDate(NSTimeInterval seconds) : seconds_(seconds) {}
    NSTimeInterval seconds_ = 0;
};
