#pragma once
// Pixels of a view as a person would see it: the view's tree laid out, displayed and rendered at a
// scale into a picture of its bounds, read back as straight colour bytes and compared with a small
// tolerance (antialiasing and rounding differ by a step or two).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIView.h"

namespace ViewPixels {

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

inline std::ostream& operator<<(std::ostream& os, const Rgba& c)
{
    return os << "rgba(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

// A colour given as components from 0 to 1.
inline Rgba rgba(double r, double g, double b, double a)
{
    return {int(std::lround(r * 255)), int(std::lround(g * 255)), int(std::lround(b * 255)), int(std::lround(a * 255))};
}

inline bool near(const Rgba& c, const Rgba& expected, int tolerance = 6)
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

// The view's picture: its pending layout and display done, its layer tree rendered at the scale.
inline CGContextRef render(const Ref<UIView>& view, CGFloat scale)
{
    view->layer()->layoutAndDisplayTreeIfNeeded();
    const CGContextRef picture = CGContext::createImageContext(view->bounds().size, scale);
    view->layer()->renderInContext(picture);
    return picture;
}

// The pixel under the point (in points of the picture's view).
inline Rgba at(const CGContextRef& picture, CGFloat x, CGFloat y)
{
    const uint32_t p = picture->pixelAt(size_t(std::floor(x * picture->scale())), size_t(std::floor(y * picture->scale())));
    const int a = int(p >> 24);
    auto un = [a](uint32_t c) { return a == 0 ? 0 : int((c * 255 + uint32_t(a) / 2) / uint32_t(a)); };
    return {un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF), a};
}

}  // namespace ViewPixels
