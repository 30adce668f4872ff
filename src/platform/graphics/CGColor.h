#pragma once
// Colours and bitmap images of the drawing model.
//
// A colour is immutable and lives in a CGColorRef. Grey colours keep the grey colour space (two
// components), RGB colours the RGB space (four), and pattern colours tile an image; colours of
// different spaces are never equal, as on the phone (white 0 alpha 0, the clear colour, is not equal
// to red 0 green 0 blue 0 alpha 0).
//
// A CGImage is a bitmap of 8-bit premultiplied ARGB pixels in native (little-endian) word order, the
// layout of cairo's ARGB32 surfaces. An image whose file has only been sized, not decoded, carries its
// dimensions and no pixels (hasPixels() is false); decoding is added by the image cache.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"

class CGImage;
class CGColor;
using CGImageRef = std::shared_ptr<const CGImage>;
using CGColorRef = std::shared_ptr<const CGColor>;

enum CGColorSpaceModel { kCGColorSpaceModelMonochrome = 0, kCGColorSpaceModelRGB = 1, kCGColorSpaceModelPattern = 6 };

class CGColor {
public:
    static CGColorRef createGray(CGFloat white, CGFloat alpha);
    static CGColorRef createRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    // A colour that tiles the image; `scale` is the image's pixels per point (a tile is
    // width / scale points wide).
    static CGColorRef createPattern(CGImageRef image, CGFloat scale = 1);

    CGColorSpaceModel model() const { return model_; }
    // The colour's components including alpha: (white, alpha), (red, green, blue, alpha) or (alpha) for
    // a pattern.
    const std::vector<CGFloat>& components() const { return components_; }
    CGFloat alpha() const { return components_.back(); }
    const CGImageRef& patternImage() const { return pattern_; }
    CGFloat patternScale() const { return patternScale_; }
    // Red, green, blue and alpha of a grey or RGB colour (a pattern reads as transparent black).
    std::array<CGFloat, 4> rgba() const;
    CGColorRef copyWithAlpha(CGFloat alpha) const;
    bool isEqual(const CGColor& other) const;
    // "(r g b a)" style text for logs and test messages.
    std::string description() const;

    CGColor(CGColorSpaceModel model, std::vector<CGFloat> components, CGImageRef pattern);

private:
    CGColorSpaceModel model_;
    std::vector<CGFloat> components_;
    CGImageRef pattern_;
    CGFloat patternScale_ = 1;
};

bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b);  // two nulls are equal
CGFloat CGColorGetAlpha(const CGColorRef& color);
size_t CGColorGetNumberOfComponents(const CGColorRef& color);
const CGFloat* CGColorGetComponents(const CGColorRef& color);
CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef& color, CGFloat alpha);

class CGImage {
public:
    // An image of width x height pixels. `pixels` is empty (sized only) or holds height rows of
    // width premultiplied ARGB32 words.
    static CGImageRef create(size_t width, size_t height, std::vector<uint32_t> pixels = {});

    size_t width() const { return width_; }
    size_t height() const { return height_; }
    size_t bitsPerComponent() const { return 8; }
    size_t bitsPerPixel() const { return 32; }
    size_t bytesPerRow() const { return width_ * 4; }
    bool hasPixels() const { return !pixels_.empty(); }
    const std::vector<uint32_t>& pixels() const { return pixels_; }
    // The pixel at (x, y), 0 when out of range or not decoded.
    uint32_t pixelAt(size_t x, size_t y) const;

    CGImage(size_t width, size_t height, std::vector<uint32_t> pixels);

private:
    size_t width_;
    size_t height_;
    std::vector<uint32_t> pixels_;
};

size_t CGImageGetWidth(const CGImageRef& image);
size_t CGImageGetHeight(const CGImageRef& image);
// The part of the image inside rect (in pixels, clipped to the image); null when nothing is left.
CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect);
