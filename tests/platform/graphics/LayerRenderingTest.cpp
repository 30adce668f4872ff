// Rendering view and layer trees into pixels: the layer's look, its drawing, transforms, masking and
// text.
#include <gtest/gtest.h>

#include <numbers>

#include "Pixels.h"
#include "platform/foundation/MainThread.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

namespace {
namespace LayerRenderingTest_cpp {

// The view's tree laid out, displayed and rendered at the scale into a new bitmap.
CGContextRef render(const Ref<UIView>& view, CGFloat scale = 1)
{
    view->layer()->layoutAndDisplayTreeIfNeeded();
    auto context = CGContext::createImageContext(view->bounds().size, scale);
    view->layer()->renderInContext(context);
    return context;
}

Rgba at(const CGContextRef& context, CGFloat x, CGFloat y)
{
    return pixel(context, size_t(x * context->scale()), size_t(y * context->scale()));
}

// A view that fills itself red and clears a hole in the middle of its own picture.
class HoleView : public UIView {
public:
    void drawRect(CGRect rect) override
    {
        CGContextRef c = UIGraphicsGetCurrentContext();
        CGContextSetRGBFillColor(c, 1, 0, 0, 1);
        CGContextFillRect(c, bounds());
        CGContextSetBlendMode(c, kCGBlendModeClear);
        CGContextFillRect(c, CGRectInset(bounds(), 10, 10));
    }
};

// Inked (dark enough) pixels of a white picture inside and outside a rectangle of points.
struct Ink {
    int inside = 0;
    int outside = 0;
    CGFloat right = 0;  // the rightmost inked pixel's right edge, in points
};

Ink inkOf(const CGContextRef& context, CGRect frame)
{
    Ink ink;
    const CGFloat s = context->scale();
    for (size_t y = 0; y < context->pixelHeight(); ++y) {
        for (size_t x = 0; x < context->pixelWidth(); ++x) {
            const Rgba c = pixel(context, x, y);
            if (c.r > 200) {
                continue;
            }
            const CGPoint centre{(CGFloat(x) + 0.5) / s, (CGFloat(y) + 0.5) / s};
            if (CGRectContainsPoint(frame, centre)) {
                ++ink.inside;
                ink.right = std::max(ink.right, CGFloat(x + 1) / s);
            } else {
                ++ink.outside;
            }
        }
    }
    return ink;
}

}  // namespace LayerRenderingTest_cpp
}  // namespace

using namespace LayerRenderingTest_cpp;

TEST(LayerRenderingTest, ClearBlendInADrawingCutsOnlyItsOwnLayer)
{
    MainThreadScope main;
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 60, 60));
    root->setBackgroundColor(UIColor::greenColor());
    auto hole = UIView::makeWithFrame<HoleView>(CGRectMake(10, 10, 40, 40));
    root->addSubview(hole);
    const auto picture = render(root, 2);
    EXPECT_PRED2(near, at(picture, 12, 12), kRed);
    EXPECT_PRED2(near, at(picture, 30, 30), kGreen);  // the hole shows what lies beneath, not nothing
    EXPECT_PRED2(near, at(picture, 5, 5), kGreen);
}

TEST(LayerRenderingTest, TransformsTurnAndScaleALayerAboutItsAnchorPoint)
{
    MainThreadScope main;
    struct Case {
        const char* name;
        CGAffineTransform transform;
        CGPoint inked[2];
        CGPoint blank[2];
    };
    // A 40 x 10 black bar centred at (50, 50).
    const Case cases[] = {
        {"none", CGAffineTransformIdentity, {{32, 50}, {68, 50}}, {{50, 35}, {50, 65}}},
        {"quarter turn", CGAffineTransformMakeRotation(std::numbers::pi / 2), {{50, 32}, {50, 68}}, {{32, 50}, {68, 50}}},
        {"scale 2", CGAffineTransformMakeScale(2, 2), {{15, 50}, {85, 42}}, {{50, 35}, {5, 50}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
        root->setBackgroundColor(UIColor::whiteColor());
        auto bar = UIView::initWithFrame(CGRectMake(30, 45, 40, 10));
        bar->setBackgroundColor(UIColor::blackColor());
        bar->setTransform(c.transform);
        root->addSubview(bar);
        const auto picture = render(root);
        for (CGPoint p : c.inked) EXPECT_PRED2(near, at(picture, p.x, p.y), kBlack) << p.x << "," << p.y;
        for (CGPoint p : c.blank) EXPECT_PRED2(near, at(picture, p.x, p.y), kWhite) << p.x << "," << p.y;
    }
    // A turned layer's corner: a 20 x 20 square turned by 45 degrees reaches 10 * sqrt(2) from its centre.
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
    root->setBackgroundColor(UIColor::whiteColor());
    auto square = UIView::initWithFrame(CGRectMake(40, 40, 20, 20));
    square->setBackgroundColor(UIColor::blackColor());
    square->setTransform(CGAffineTransformMakeRotation(std::numbers::pi / 4));
    root->addSubview(square);
    const auto picture = render(root, 2);
    EXPECT_PRED2(near, at(picture, 50, 50 - 13), kBlack);  // the top corner, past the unturned edge at 40
    EXPECT_PRED2(near, at(picture, 41.5, 41.5), kWhite);   // the unturned corner is gone
}

TEST(LayerRenderingTest, MasksToBoundsCutsSublayersToTheRoundedBounds)
{
    MainThreadScope main;
    for (CGFloat radius : {CGFloat(0), CGFloat(20)}) {
        SCOPED_TRACE(radius);
        auto root = UIView::initWithFrame(CGRectMake(0, 0, 100, 100));
        root->setBackgroundColor(UIColor::whiteColor());
        auto clip = UIView::initWithFrame(CGRectMake(25, 25, 50, 50));
        clip->setClipsToBounds(true);
        clip->layer()->setCornerRadius(radius);
        auto inner = UIView::initWithFrame(CGRectMake(-25, -25, 100, 100));
        inner->setBackgroundColor(UIColor::redColor());
        clip->addSubview(inner);
        root->addSubview(clip);
        const auto picture = render(root, 2);
        EXPECT_PRED2(near, at(picture, 50, 50), kRed);
        EXPECT_PRED2(near, at(picture, 10, 10), kWhite);
        EXPECT_PRED2(near, at(picture, 90, 50), kWhite);
        EXPECT_PRED2(near, at(picture, 27, 27), radius > 0 ? kWhite : kRed);
    }
}

TEST(LayerRenderingTest, OpacityAppliesToTheLayersWholePicture)
{
    MainThreadScope main;
    // A half-transparent view whose red subview covers it: where they overlap the red is seen at half
    // strength over white, not mixed with the view's own blue background.
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 40, 40));
    root->setBackgroundColor(UIColor::whiteColor());
    auto faded = UIView::initWithFrame(CGRectMake(0, 0, 40, 40));
    faded->setBackgroundColor(UIColor::blueColor());
    faded->setAlpha(0.5);
    auto cover = UIView::initWithFrame(CGRectMake(0, 0, 20, 40));
    cover->setBackgroundColor(UIColor::redColor());
    faded->addSubview(cover);
    root->addSubview(faded);
    const auto picture = render(root);
    EXPECT_PRED2(near, at(picture, 10, 20), (Rgba{255, 128, 128, 255}));
    EXPECT_PRED2(near, at(picture, 30, 20), (Rgba{128, 128, 255, 255}));
    // Hidden views draw nothing.
    faded->setHidden(true);
    EXPECT_PRED2(near, at(render(root), 10, 20), kWhite);
}

TEST(LayerRenderingTest, ImageViewStretchesItsImageAroundTheCaps)
{
    MainThreadScope main;
    std::vector<uint32_t> pixels(10 * 2);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const size_t x = i % 10;
        pixels[i] = x < 4 ? 0xFFFF0000u : x < 6 ? 0xFF00FF00u : 0xFF0000FFu;
    }
    const auto image = UIImage::imageWithCGImage_scale_orientation(CGImage::create(10, 2, pixels), 2,
                                                                   UIImageOrientationUp)
                           ->stretchableImageWithLeftCapWidth_topCapHeight(2, 0);
    auto view = UIImageView::initWithImage(image);
    view->setFrame(CGRectMake(0, 0, 100, 10));
    const auto picture = render(view, 2);
    EXPECT_PRED2(near, at(picture, 1, 5), kRed);      // the left cap: 2 points
    EXPECT_PRED2(near, at(picture, 2.5, 5), kGreen);  // the stretched column
    EXPECT_PRED2(near, at(picture, 97, 5), kGreen);
    EXPECT_PRED2(near, at(picture, 98.5, 5), kBlue);  // the right cap: 2 points
    // Aspect fit centres the unstretched image.
    view->setImage(UIImage::imageWithCGImage_scale_orientation(CGImage::create(10, 2, pixels), 2,
                                                               UIImageOrientationUp));
    view->setContentMode(UIViewContentModeScaleAspectFit);
    view->setFrame(CGRectMake(0, 0, 20, 20));
    const auto fitted = render(view, 2);
    EXPECT_PRED2(near, at(fitted, 10, 1), kClear);
    EXPECT_PRED2(near, at(fitted, 2, 10), kRed);
}

TEST(LayerRenderingTest, LabelTextIsInkedInsideItsFrameOnly)
{
    MainThreadScope main;
    struct Case {
        const char* text;
        const char* font;
    };
    const Case cases[] = {{"Hello, world", "Helvetica"}, {"你好，世界", "STHeitiSC-Medium"}, {"Mixed 中文 text", "Helvetica-Bold"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto root = UIView::initWithFrame(CGRectMake(0, 0, 200, 60));
        root->setBackgroundColor(UIColor::whiteColor());
        const CGRect frame = CGRectMake(20, 15, 160, 30);
        auto label = UILabel::initWithFrame(frame);
        label->setFont(UIFont::fontWithName_size(c.font, 17));
        label->setText(c.text);
        label->setBackgroundColor(UIColor::clearColor());
        root->addSubview(label);
        const auto picture = render(root, 2);
        const Ink ink = inkOf(picture, frame);
        EXPECT_GT(ink.inside, 200);
        EXPECT_EQ(ink.outside, 0);
        // Drawn as wide as measured (left aligned from the frame's left edge).
        const CGFloat measured = textlayout::widthOfText(c.text, label->font()->metrics());
        EXPECT_LE(ink.right, frame.origin.x + measured + 1);
        EXPECT_GE(ink.right, frame.origin.x + measured - 4);
    }
}
