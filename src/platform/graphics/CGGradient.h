#pragma once
// Colour spaces and gradients.
//
// Only the device spaces exist (grey and RGB); a colour space is a tag that tells how many components
// a list of colour components has. A gradient is a list of colours at locations between 0 and 1,
// kept in the order of their locations; drawing it (CGContextDrawLinearGradient,
// CGContextDrawRadialGradient) paints the first colour before the first location and the last after
// the last location, and, with the draws-before-start / draws-after-end options, beyond the start and
// end points as well.
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/graphics/CGColor.h"

class CGColorSpace {
public:
    explicit CGColorSpace(CGColorSpaceModel model) : model_(model) {}
    CGColorSpaceModel model() const { return model_; }
    // Components of one colour without alpha: 1 for grey, 3 for RGB.
    size_t numberOfComponents() const { return model_ == kCGColorSpaceModelMonochrome ? 1 : 3; }

private:
    CGColorSpaceModel model_;
};
using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;

CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space);
// Colour spaces are shared values; releasing one does nothing (kept for the platform's call sites).
inline void CGColorSpaceRelease(const CGColorSpaceRef&) {}

using CGGradientDrawingOptions = unsigned;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsBeforeStartLocation = 1u << 0;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsAfterEndLocation = 1u << 1;

class CGGradient {
public:
    struct Stop {
        CGFloat location = 0;
        CGFloat red = 0, green = 0, blue = 0, alpha = 0;  // not premultiplied
    };
    explicit CGGradient(std::vector<Stop> stops);
    // Sorted by location, locations clamped to [0, 1].
    const std::vector<Stop>& stops() const { return stops_; }

private:
    std::vector<Stop> stops_;
};
using CGGradientRef = std::shared_ptr<const CGGradient>;

// `components` holds count colours of the space's components plus alpha each; `locations` holds count
// locations, or is null for evenly spaced ones from 0 to 1. Null when count is 0 or space is null.
CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
                                                  const CGFloat* locations, size_t count);
CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef& space, const std::vector<CGColorRef>& colors,
                                         const CGFloat* locations);
inline void CGGradientRelease(const CGGradientRef&) {}
