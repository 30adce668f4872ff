#pragma once
// Basic scalar types of the platform: integers of the natural word size, time intervals, ranges and
// comparison results.
#include <climits>
#include <cstddef>

using NSInteger = long;
using NSUInteger = unsigned long;
using NSTimeInterval = double;  // seconds

// "Not found" for indices and range locations.
inline constexpr NSUInteger NSNotFound = static_cast<NSUInteger>(LONG_MAX);

// A range of UTF-16 units in a text, of bytes in data, or of items in an array.
struct NSRange {
    NSUInteger location = 0;
    NSUInteger length = 0;
    bool operator==(const NSRange&) const = default;
};

inline constexpr NSRange NSMakeRange(NSUInteger location, NSUInteger length) { return NSRange{location, length}; }
inline constexpr NSUInteger NSMaxRange(NSRange r) { return r.location + r.length; }
inline constexpr bool NSLocationInRange(NSUInteger loc, NSRange r) { return loc >= r.location && loc - r.location < r.length; }

enum NSComparisonResult : NSInteger { NSOrderedAscending = -1, NSOrderedSame = 0, NSOrderedDescending = 1 };
