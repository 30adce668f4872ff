// The patterned navigation bar and pictures of views.
#include <gtest/gtest.h>

#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"
#include "widgets/CustomNavibar.h"
#include "widgets/ImageWithUIView.h"

namespace {
namespace NavibarAndSnapshotTest_cpp {

uint32_t at(const CGImageRef& image, size_t x, size_t y) { return image->pixelAt(x, y); }

}  // namespace NavibarAndSnapshotTest_cpp
}  // namespace

using namespace NavibarAndSnapshotTest_cpp;

TEST(CustomNavibarTest, PatternCoversOnlyTheFirst320By44PointsWhateverTheBarsSize)
{
    MainThreadScope main;
    UIImage::installImageCodecs();
    UIImage::clearNamedImageCache();
    const auto pattern = UIImage::imageNamed("navbar-pattern-bg.png");
    ASSERT_TRUE(pattern && pattern->CGImage()->hasPixels());
    auto root = UIView::initWithFrame(CGRectMake(0, 0, 400, 60));
    root->setBackgroundColor(UIColor::whiteColor());
    auto bar = CustomNavibar::initWithFrame(CGRectMake(0, 0, 400, 60));
    root->addSubview(bar);
    const auto picture = ImageWithUIView::imageWithUIView(root)->CGImage();
    const uint32_t white = 0xFFFFFFFFu;
    EXPECT_EQ(at(picture, 10, 20), at(pattern->CGImage(), 10, 20));  // the pattern, at scale 1
    EXPECT_NE(at(picture, 10, 20), white);
    EXPECT_EQ(at(picture, 319, 20), at(pattern->CGImage(), 319, 20));
    EXPECT_EQ(at(picture, 330, 20), white);  // beyond 320 points: nothing of the bar
    EXPECT_EQ(at(picture, 10, 50), white);   // below 44 points: nothing either
}

TEST(ImageWithUIViewTest, SnapshotTruncatesToWholePixelsAndDrawsUpright)
{
    MainThreadScope main;
    auto view = UIView::initWithFrame(CGRectMake(0, 0, 100.7, 20.9));
    view->setBackgroundColor(UIColor::blueColor());
    auto corner = UIView::initWithFrame(CGRectMake(0, 0, 10, 10));
    corner->setBackgroundColor(UIColor::redColor());
    view->addSubview(corner);
    const auto image = ImageWithUIView::imageWithUIView(view);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 1);
    const CGImageRef pixels = image->CGImage();
    EXPECT_EQ(pixels->width(), 100u);
    EXPECT_EQ(pixels->height(), 20u);
    EXPECT_EQ(at(pixels, 5, 5), 0xFFFF0000u);   // the red corner at the top left
    EXPECT_EQ(at(pixels, 5, 15), 0xFF0000FFu);  // blue below it
    // The bitmap it is drawn in: premultiplied ARGB in little-endian words (blue first in memory).
    auto context = createBitmapContext(3, 2);
    ASSERT_TRUE(context);
    EXPECT_EQ(CGBitmapContextGetBitmapInfo(context), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    EXPECT_GE(CGBitmapContextGetBytesPerRow(context), 12u);
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 3, 2));
    const auto* bytes = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[2], 255);
    EXPECT_EQ(bytes[3], 255);
    // Nothing to draw: nil.
    EXPECT_FALSE(ImageWithUIView::imageWithUIView(nullptr));
    EXPECT_FALSE(ImageWithUIView::imageWithUIView(UIView::initWithFrame(CGRectMake(0, 0, 0.6, 30))));
    EXPECT_FALSE(createBitmapContext(0, 4));
}
