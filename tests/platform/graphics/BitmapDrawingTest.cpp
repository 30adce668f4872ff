// Drawing into pixels: paths, arcs, strokes, clips, blend modes, gradients, images and bitmap layouts.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numbers>

#include "Pixels.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace BitmapDrawingTest_cpp {

constexpr double kPi = std::numbers::pi;

// A transparent image context of the size, at the scale, current for the test's life.
class ImageContext {
public:
    ImageContext(CGFloat width, CGFloat height, CGFloat scale = 1)
    {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), false, scale);
        context = UIGraphicsGetCurrentContext();
    }
    ~ImageContext() { UIGraphicsEndImageContext(); }
    Rgba at(CGFloat x, CGFloat y) const
    {
        return pixel(context, size_t(x * context->scale()), size_t(y * context->scale()));
    }
    CGContextRef context;
};

// An image of width x height pixels, each column coloured by the function.
CGImageRef columns(size_t width, size_t height, uint32_t (*colour)(size_t x))
{
    std::vector<uint32_t> pixels(width * height);
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            pixels[y * width + x] = colour(x);
        }
    }
    return CGImage::create(width, height, std::move(pixels));
}

}  // namespace BitmapDrawingTest_cpp
}  // namespace

using namespace BitmapDrawingTest_cpp;

TEST(BitmapDrawingTest, PieArcFollowsThePlatformsClockwiseFlagInTheFlippedSpace)
{
    // A quarter from 0 to pi/2 about (50, 50): with angles growing it is the lower right quarter on
    // screen (y down); "clockwise" goes the other way round and takes the other three quarters.
    struct Case {
        int clockwise;
        Rgba lowerRight, upperRight, upperLeft, lowerLeft;
    };
    const Case cases[] = {
        {0, kRed, kClear, kClear, kClear},
        {1, kClear, kRed, kRed, kRed},
    };
    for (const Case& c : cases) {
        ImageContext image(100, 100, 2);
        CGContextSetRGBFillColor(image.context, 1, 0, 0, 1);
        CGContextMoveToPoint(image.context, 50, 50);
        CGContextAddArc(image.context, 50, 50, 40, 0, kPi / 2, c.clockwise);
        CGContextClosePath(image.context);
        CGContextFillPath(image.context);
        SCOPED_TRACE(c.clockwise);
        EXPECT_PRED2(near, image.at(70, 70), c.lowerRight);
        EXPECT_PRED2(near, image.at(70, 30), c.upperRight);
        EXPECT_PRED2(near, image.at(30, 30), c.upperLeft);
        EXPECT_PRED2(near, image.at(30, 70), c.lowerLeft);
        EXPECT_PRED2(near, image.at(95, 95), kClear);  // outside the circle
        EXPECT_TRUE(CGContextIsPathEmpty(image.context));  // filling used the path up
    }
}

TEST(BitmapDrawingTest, StrokedRoundedRectangleInksItsEdgesButNotItsCornersOrInside)
{
    ImageContext image(100, 80, 2);
    CGContextSetRGBStrokeColor(image.context, 0, 0, 1, 1);
    CGContextSetLineWidth(image.context, 4);
    CGContextAddPath(image.context, CGPathCreateWithRoundedRect(CGRectMake(10, 10, 80, 60), 15, 15, nullptr));
    CGContextStrokePath(image.context);
    const CGFloat d = 15 - 15 * std::cos(kPi / 4);  // the arc's point at 45 degrees
    EXPECT_PRED2(near, image.at(50, 10), kBlue);
    EXPECT_PRED2(near, image.at(90, 40), kBlue);
    EXPECT_PRED2(near, image.at(10 + d, 10 + d), kBlue);
    EXPECT_PRED2(near, image.at(11, 11), kClear);  // the square corner is rounded off
    EXPECT_PRED2(near, image.at(50, 40), kClear);  // stroked, not filled
    EXPECT_PRED2(near, image.at(50, 5), kClear);   // half the width each side
}

TEST(BitmapDrawingTest, FillRulesDashesAndClips)
{
    // Two nested squares: the non-zero rule fills both, even-odd leaves the inner one empty.
    for (bool evenOdd : {false, true}) {
        ImageContext image(40, 40);
        CGContextSetRGBFillColor(image.context, 0, 1, 0, 1);
        CGContextAddRect(image.context, CGRectMake(0, 0, 40, 40));
        CGContextAddRect(image.context, CGRectMake(10, 10, 20, 20));
        CGContextDrawPath(image.context, evenOdd ? kCGPathEOFill : kCGPathFill);
        EXPECT_PRED2(near, image.at(5, 5), kGreen);
        EXPECT_PRED2(near, image.at(20, 20), evenOdd ? kClear : kGreen);
    }
    {  // A dashed line: 10 on, 10 off.
        ImageContext image(60, 10);
        const CGFloat dash[] = {10, 10};
        CGContextSetLineDash(image.context, 0, dash, 2);
        CGContextSetLineWidth(image.context, 4);
        CGContextMoveToPoint(image.context, 0, 5);
        CGContextAddLineToPoint(image.context, 60, 5);
        CGContextStrokePath(image.context);
        EXPECT_PRED2(near, image.at(5, 5), kBlack);
        EXPECT_PRED2(near, image.at(15, 5), kClear);
        EXPECT_PRED2(near, image.at(25, 5), kBlack);
    }
    {  // A clip to a circle, then a fill of everything.
        ImageContext image(40, 40);
        CGContextAddEllipseInRect(image.context, CGRectMake(0, 0, 40, 40));
        CGContextClip(image.context);
        CGContextSetRGBFillColor(image.context, 1, 0, 0, 1);
        CGContextFillRect(image.context, CGRectMake(0, 0, 40, 40));
        EXPECT_PRED2(near, image.at(20, 20), kRed);
        EXPECT_PRED2(near, image.at(1, 1), kClear);
        EXPECT_EQ(CGContextGetClipBoundingBox(image.context), CGRectMake(0, 0, 40, 40));
    }
}

TEST(BitmapDrawingTest, BlendModesClearCopyAndMultiply)
{
    struct Case {
        const char* name;
        CGBlendMode mode;
        CGFloat r, g, b, a;  // the second fill
        Rgba inside;         // where both fills overlap
    };
    const Case cases[] = {
        {"normal, half alpha", kCGBlendModeNormal, 0, 0, 1, 0.5, {0, 128, 128, 255}},
        {"clear makes a hole", kCGBlendModeClear, 0, 0, 1, 1, kClear},
        {"copy replaces, alpha and all", kCGBlendModeCopy, 0, 0, 1, 0.5, {0, 0, 255, 128}},
        {"multiply", kCGBlendModeMultiply, 1, 0.5, 0, 1, {0, 128, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageContext image(30, 30);
        CGContextSetRGBFillColor(image.context, 0, 1, 0, 1);
        CGContextFillRect(image.context, CGRectMake(0, 0, 30, 30));
        CGContextSetBlendMode(image.context, c.mode);
        CGContextSetRGBFillColor(image.context, c.r, c.g, c.b, c.a);
        CGContextFillRect(image.context, CGRectMake(10, 10, 10, 10));
        EXPECT_PRED2(near, image.at(15, 15), c.inside);
        EXPECT_PRED2(near, image.at(5, 5), kGreen);  // only the shape is affected
    }
    ImageContext image(30, 30);
    CGContextSetRGBFillColor(image.context, 0, 1, 0, 1);
    CGContextFillRect(image.context, CGRectMake(0, 0, 30, 30));
    CGContextClearRect(image.context, CGRectMake(0, 0, 10, 30));
    EXPECT_PRED2(near, image.at(5, 15), kClear);
    EXPECT_PRED2(near, image.at(15, 15), kGreen);
}

TEST(BitmapDrawingTest, LinearGradientEndsMiddleAndExtension)
{
    const CGFloat components[] = {0, 0, 0, 1, 1, 1, 1, 1};
    const auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, nullptr, 2);
    {  // Across the whole width: black, mid grey, white.
        ImageContext image(101, 4);
        CGContextDrawLinearGradient(image.context, gradient, CGPointMake(0, 0), CGPointMake(101, 0), 0);
        EXPECT_PRED3(nearWithin, image.at(0, 2), kBlack, 4);
        EXPECT_PRED3(nearWithin, image.at(50, 2), (Rgba{128, 128, 128, 255}), 4);
        EXPECT_PRED3(nearWithin, image.at(100, 2), kWhite, 4);
    }
    // From 25 to 75: outside that span only the options paint, with the end colours.
    struct Case {
        unsigned options;
        Rgba before, after;
    };
    const Case cases[] = {
        {0, kClear, kClear},
        {kCGGradientDrawsBeforeStartLocation, kBlack, kClear},
        {kCGGradientDrawsAfterEndLocation, kClear, kWhite},
        {kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation, kBlack, kWhite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ImageContext image(100, 4);
        CGContextDrawLinearGradient(image.context, gradient, CGPointMake(25, 0), CGPointMake(75, 0), c.options);
        EXPECT_PRED2(near, image.at(5, 2), c.before);
        EXPECT_PRED2(near, image.at(95, 2), c.after);
        EXPECT_PRED3(nearWithin, image.at(50, 2), (Rgba{128, 128, 128, 255}), 6);
    }
    {  // Stops inside (0.25, 0.75): the end colours hold out to 0 and 1.
        const CGFloat locations[] = {0.25, 0.75};
        const auto inner =
            CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
        ImageContext image(100, 4);
        CGContextDrawLinearGradient(image.context, inner, CGPointMake(0, 0), CGPointMake(100, 0), 0);
        EXPECT_PRED2(near, image.at(10, 2), kBlack);
        EXPECT_PRED2(near, image.at(90, 2), kWhite);
    }
}

TEST(BitmapDrawingTest, RadialGradientFromCentreOut)
{
    const CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 1};
    const auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, nullptr, 2);
    ImageContext image(100, 100);
    CGContextDrawRadialGradient(image.context, gradient, CGPointMake(50, 50), 0, CGPointMake(50, 50), 40,
                                kCGGradientDrawsAfterEndLocation);
    EXPECT_PRED2(near, image.at(50, 50), kRed);
    EXPECT_PRED2(near, image.at(2, 2), kBlue);  // beyond the end circle, extended

    // Between a start circle of radius 10 and an end circle of radius 30: inside the start circle only
    // the before option paints (red), outside the end circle only the after option (blue).
    struct Case {
        unsigned options;
        Rgba inside, outside;
    };
    const Case cases[] = {
        {0, kClear, kClear},
        {kCGGradientDrawsBeforeStartLocation, kRed, kClear},
        {kCGGradientDrawsAfterEndLocation, kClear, kBlue},
        {kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation, kRed, kBlue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ImageContext ring(100, 100);
        CGContextDrawRadialGradient(ring.context, gradient, CGPointMake(50, 50), 10, CGPointMake(50, 50), 30,
                                    c.options);
        EXPECT_PRED2(near, ring.at(50, 50), c.inside);
        EXPECT_PRED2(near, ring.at(5, 50), c.outside);
        EXPECT_PRED3(nearWithin, ring.at(70, 50), (Rgba{128, 0, 128, 255}), 8);  // half way between
    }
}

TEST(BitmapDrawingTest, StretchableImageKeepsItsCapsAndStretchesTheMiddle)
{
    // 10 x 4 pixels at scale 1: four red columns, one green, five blue; caps 4 left (and so 5 right).
    const auto bitmap = columns(10, 4, [](size_t x) -> uint32_t {
        return x < 4 ? 0xFFFF0000u : x == 4 ? 0xFF00FF00u : 0xFF0000FFu;
    });
    const auto image = UIImage::imageWithCGImage(bitmap)->stretchableImageWithLeftCapWidth_topCapHeight(4, 0);
    ImageContext context(100, 4, 2);
    image->drawInRect(CGRectMake(0, 0, 100, 4));
    EXPECT_PRED2(near, context.at(1, 2), kRed);
    EXPECT_PRED2(near, context.at(3.5, 2), kRed);
    EXPECT_PRED2(near, context.at(5, 2), kGreen);
    EXPECT_PRED2(near, context.at(50, 2), kGreen);
    EXPECT_PRED2(near, context.at(94, 2), kGreen);
    EXPECT_PRED2(near, context.at(96, 2), kBlue);
    EXPECT_PRED2(near, context.at(99.5, 2), kBlue);
}

TEST(BitmapDrawingTest, ImagesUprightFromUIKitAndRowsUpFromTheContextCall)
{
    // Top row red, bottom row blue.
    std::vector<uint32_t> pixels{0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu};
    const auto bitmap = CGImage::create(2, 2, pixels);
    {
        ImageContext image(20, 20);
        UIImage::imageWithCGImage(bitmap)->drawInRect(CGRectMake(0, 0, 20, 20));
        EXPECT_PRED2(near, image.at(10, 2), kRed);
        EXPECT_PRED2(near, image.at(10, 18), kBlue);
    }
    {  // The platform's call draws the top row at the rectangle's maximum y: upside down here.
        ImageContext image(20, 20);
        CGContextDrawImage(image.context, CGRectMake(0, 0, 20, 20), bitmap);
        EXPECT_PRED2(near, image.at(10, 2), kBlue);
        EXPECT_PRED2(near, image.at(10, 18), kRed);
    }
}

TEST(BitmapDrawingTest, ShadowFallsBesideTheShapeAndBlurs)
{
    // The same picture at scale 1, at scale 2 and through a moved user space: a shadowed shape is
    // painted where it was drawn, whatever the transform.
    const struct {
        CGFloat scale;
        CGFloat shift;
    } forms[] = {{1, 0}, {2, 0}, {1, 5}, {2, 5}};
    for (const auto& form : forms) {
        ImageContext image(60, 60, form.scale);
        CGContextTranslateCTM(image.context, form.shift, form.shift);
        CGContextSetShadowWithColor(image.context, CGSizeMake(10, 10), 4, CGColor::createRGB(0, 0, 0, 1));
        CGContextSetRGBFillColor(image.context, 1, 0, 0, 1);
        CGContextFillRect(image.context, CGRectMake(10 - form.shift, 10 - form.shift, 20, 20));
        SCOPED_TRACE(testing::Message() << "scale " << form.scale << ", shift " << form.shift);
        EXPECT_PRED2(near, image.at(20, 20), kRed);      // the shape over its shadow
        EXPECT_PRED2(near, image.at(29.5, 29.5), kRed);  // all of it
        EXPECT_GT(image.at(35, 35).a, 200);               // inside the offset shadow
        EXPECT_EQ(image.at(50, 50).a, 0);                 // far from both
        const int edge = image.at(41, 30).a;              // the shadow's blurred edge
        EXPECT_GT(edge, 0);
        EXPECT_LT(edge, 255);
    }
}

TEST(BitmapDrawingTest, PatternColourTilesItsImageAtItsScale)
{
    // A 2 x 2 pixel image at scale 2 is a 1-point tile: red top left, blue elsewhere.
    std::vector<uint32_t> pixels{0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
    const auto tile = CGColor::createPattern(CGImage::create(2, 2, pixels), 2);
    ImageContext image(4, 4, 2);
    CGContextSetFillColorWithColor(image.context, tile);
    CGContextFillRect(image.context, CGRectMake(0, 0, 4, 4));
    for (size_t y = 0; y < 8; ++y) {
        for (size_t x = 0; x < 8; ++x) {
            const bool red = x % 2 == 0 && y % 2 == 0;
            EXPECT_PRED2(near, pixel(image.context, x, y), red ? kRed : kBlue) << x << "," << y;
        }
    }
}

TEST(BitmapDrawingTest, BitmapContextBytesFollowThePlatformsLayouts)
{
    // Half-transparent red in the bottom-left pixel of a 2 x 2 bitmap: the bitmap's space is y up,
    // so user (0, 0) is the first pixel of the last row in memory.
    struct Case {
        const char* name;
        CGBitmapInfo info;
        std::array<uint8_t, 4> bytes;  // that pixel's bytes in memory order
        std::array<uint8_t, 4> blank;  // an untouched pixel's
    };
    const Case cases[] = {
        {"premultiplied first, 32-bit little", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
         {0, 0, 128, 128}, {0, 0, 0, 0}},
        {"premultiplied first, 32-bit big", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Big,
         {128, 128, 0, 0}, {0, 0, 0, 0}},
        {"premultiplied last, default", kCGImageAlphaPremultipliedLast, {128, 0, 0, 128}, {0, 0, 0, 0}},
        {"premultiplied last, 32-bit little", kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little,
         {128, 0, 0, 128}, {0, 0, 0, 0}},
        {"skip last: opaque", kCGImageAlphaNoneSkipLast, {128, 0, 0, 255}, {0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<uint8_t, 16> memory{};
        auto context = CGBitmapContextCreate(memory.data(), 2, 2, 8, 8, CGColorSpaceCreateDeviceRGB(), c.info);
        ASSERT_TRUE(context);
        CGContextSetRGBFillColor(context, 1, 0, 0, 0.5);
        CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(memory[8 + i], c.bytes[i], 1) << i;
        }
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(memory[i], c.blank[i % 4]) << "top row, byte " << i;
        }
        EXPECT_EQ(CGBitmapContextGetData(context), memory.data());
        // The image made from it reads the same pixel, in premultiplied ARGB words, top row first.
        const auto image = CGBitmapContextCreateImage(context);
        EXPECT_NEAR(int(image->pixelAt(0, 1) >> 16 & 0xFF), 128, 1);
    }
    // Alpha only: one byte a pixel.
    std::array<uint8_t, 8> mask{};
    auto context = CGBitmapContextCreate(mask.data(), 2, 2, 8, 4, nullptr, kCGImageAlphaOnly);
    ASSERT_TRUE(context);
    CGContextFillRect(context, CGRectMake(1, 1, 1, 1));  // top right
    EXPECT_EQ(mask[1], 255);
    EXPECT_EQ(mask[0] + mask[4] + mask[5], 0);
    // Layouts the bitmap cannot hold give no context.
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 2, 2, 16, 0, CGColorSpaceCreateDeviceRGB(),
                                       kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 2, 2, 8, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 2, 8, 8, CGColorSpaceCreateDeviceRGB(),
                                       kCGImageAlphaPremultipliedFirst));  // rows too short
}

TEST(BitmapDrawingTest, ImageContextRecordsAndPaintsTheSameDrawing)
{
    ImageContext image(10, 10, 2);
    CGContextSetRGBFillColor(image.context, 0, 0, 1, 1);
    CGContextFillRect(image.context, CGRectMake(0, 0, 5, 10));
    ASSERT_EQ(image.context->records().size(), 1u);
    EXPECT_EQ(image.context->records()[0].kind, CGDrawingRecord::kFillRect);
    const auto result = UIGraphicsGetImageFromCurrentImageContext();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->size(), CGSizeMake(10, 10));
    EXPECT_EQ(result->scale(), 2);
    EXPECT_EQ(CGImageGetWidth(result->CGImage()), 20u);
    EXPECT_PRED2(near, pixel(result->CGImage(), 9, 10), kBlue);
    EXPECT_PRED2(near, pixel(result->CGImage(), 10, 10), kClear);
    // Replaying the records into another bitmap paints the same picture.
    auto copy = CGContext::createImageContext(CGSizeMake(10, 10), 2);
    copy->appendRecords(image.context->records());
    EXPECT_PRED2(near, pixel(copy, 9, 10), kBlue);
    EXPECT_PRED2(near, pixel(copy, 10, 10), kClear);
}
