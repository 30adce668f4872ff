#include "platform/graphics/CGColor.h"

#include <algorithm>
#include <cstdio>

namespace {
CGFloat clamp01(CGFloat v) { return std::clamp(v, CGFloat(0), CGFloat(1)); }
}  // namespace

CGColor::CGColor(CGColorSpaceModel model, std::vector<CGFloat> components, CGImageRef pattern)
    : model_(model), components_(std::move(components)), pattern_(std::move(pattern))
{
}

CGColorRef CGColor::createGray(CGFloat white, CGFloat alpha)
{
    return std::make_shared<const CGColor>(kCGColorSpaceModelMonochrome,
                                           std::vector<CGFloat>{clamp01(white), clamp01(alpha)}, nullptr);
}

CGColorRef CGColor::createRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return std::make_shared<const CGColor>(
        kCGColorSpaceModelRGB, std::vector<CGFloat>{clamp01(red), clamp01(green), clamp01(blue), clamp01(alpha)},
        nullptr);
}

CGColorRef CGColor::createPattern(CGImageRef image, CGFloat scale)
{
    auto color = std::make_shared<CGColor>(kCGColorSpaceModelPattern, std::vector<CGFloat>{1}, std::move(image));
    color->patternScale_ = scale > 0 ? scale : 1;
    return color;
}

std::array<CGFloat, 4> CGColor::rgba() const
{
    switch (model_) {
    case kCGColorSpaceModelMonochrome:
        return {components_[0], components_[0], components_[0], components_[1]};
    case kCGColorSpaceModelRGB:
        return {components_[0], components_[1], components_[2], components_[3]};
    default:
        return {0, 0, 0, 0};
    }
}

CGColorRef CGColor::copyWithAlpha(CGFloat alpha) const
{
    std::vector<CGFloat> components = components_;
    components.back() = clamp01(alpha);
    auto color = std::make_shared<CGColor>(model_, std::move(components), pattern_);
    color->patternScale_ = patternScale_;
    return color;
}

bool CGColor::isEqual(const CGColor& other) const
{
    return model_ == other.model_ && components_ == other.components_ && pattern_ == other.pattern_;
}

std::string CGColor::description() const
{
    std::string text = model_ == kCGColorSpaceModelPattern ? "(pattern" : "(";
    char buffer[32];
    for (size_t i = 0; i < components_.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%g", (i == 0 && model_ != kCGColorSpaceModelPattern) ? "" : " ",
                      components_[i]);
        text += buffer;
    }
    return text + ")";
}

bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    return a->isEqual(*b);
}

CGFloat CGColorGetAlpha(const CGColorRef& color) { return color ? color->alpha() : 0; }

size_t CGColorGetNumberOfComponents(const CGColorRef& color) { return color ? color->components().size() : 0; }

const CGFloat* CGColorGetComponents(const CGColorRef& color) { return color ? color->components().data() : nullptr; }

CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef& color, CGFloat alpha)
{
    return color ? color->copyWithAlpha(alpha) : nullptr;
}

CGImage::CGImage(size_t width, size_t height, std::vector<uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels))
{
}

CGImageRef CGImage::create(size_t width, size_t height, std::vector<uint32_t> pixels)
{
    if (!pixels.empty() && pixels.size() != width * height) {
        return nullptr;
    }
    return std::make_shared<const CGImage>(width, height, std::move(pixels));
}

uint32_t CGImage::pixelAt(size_t x, size_t y) const
{
    if (pixels_.empty() || x >= width_ || y >= height_) {
        return 0;
    }
    return pixels_[y * width_ + x];
}

size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width() : 0; }

size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height() : 0; }

CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect)
{
    if (!image) {
        return nullptr;
    }
    const CGRect clipped = CGRectIntersection(
        CGRectIntegral(rect), CGRectMake(0, 0, CGFloat(image->width()), CGFloat(image->height())));
    if (CGRectIsEmpty(clipped)) {
        return nullptr;
    }
    const auto x0 = static_cast<size_t>(clipped.origin.x);
    const auto y0 = static_cast<size_t>(clipped.origin.y);
    const auto w = static_cast<size_t>(clipped.size.width);
    const auto h = static_cast<size_t>(clipped.size.height);
    std::vector<uint32_t> pixels;
    if (image->hasPixels()) {
        pixels.reserve(w * h);
        for (size_t y = y0; y < y0 + h; ++y) {
            for (size_t x = x0; x < x0 + w; ++x) {
                pixels.push_back(image->pixelAt(x, y));
            }
        }
    }
    return CGImage::create(w, h, std::move(pixels));
}
