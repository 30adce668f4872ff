#pragma once
// Reading pixels in tests: premultiplied ARGB words turned back into straight colour bytes, compared
// with a small tolerance (antialiasing and rounding differ by a step or two between builds).
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "platform/graphics/CGContext.h"

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

inline std::ostream& operator<<(std::ostream& os, const Rgba& c)
{
    return os << "rgba(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

inline Rgba straight(uint32_t p)
{
    const int a = int(p >> 24);
    auto un = [a](uint32_t c) { return a == 0 ? 0 : int((c * 255 + uint32_t(a) / 2) / uint32_t(a)); };
    return {un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF), a};
}

inline Rgba pixel(const CGContextRef& context, size_t x, size_t y) { return straight(context->pixelAt(x, y)); }

inline Rgba pixel(const CGImageRef& image, size_t x, size_t y) { return straight(image->pixelAt(x, y)); }

// Close to the expected colour: every component within tolerance (colour ignored when transparent).
inline bool nearWithin(const Rgba& c, const Rgba& expected, int tolerance)
{
    if (std::abs(c.a - expected.a) > tolerance) {
        return false;
    }
    if (expected.a == 0) {
        return true;
    }
    return std::abs(c.r - expected.r) <= tolerance && std::abs(c.g - expected.g) <= tolerance &&
           std::abs(c.b - expected.b) <= tolerance;
}

inline bool near(const Rgba& c, const Rgba& expected) { return nearWithin(c, expected, 8); }

inline constexpr Rgba kClear{0, 0, 0, 0};
inline constexpr Rgba kRed{255, 0, 0, 255};
inline constexpr Rgba kGreen{0, 255, 0, 255};
inline constexpr Rgba kBlue{0, 0, 255, 255};
inline constexpr Rgba kBlack{0, 0, 0, 255};
inline constexpr Rgba kWhite{255, 255, 255, 255};
