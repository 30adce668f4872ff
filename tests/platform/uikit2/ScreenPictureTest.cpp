// What a person sees of a window: a screen's content stays under the status bar, and an alert's box
// hides what lies behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Stage.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindowSnapshot.h"

namespace {
namespace ScreenPictureTest_cpp {

struct Picture {
    CGContextRef context;
    explicit Picture(const Ref<UIWindow>& window)
        : context(CGContext::createImageContext(window->bounds().size, 1))
    {
        UIWindowDrawInContext(window, context);
    }
    // The pixel's channels, 0xAARRGGBB.
    uint32_t at(CGFloat x, CGFloat y) const { return context->pixelAt(size_t(x), size_t(y)); }
};

int channelDistance(uint32_t a, uint32_t b)
{
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        most = std::max(most, std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)));
    }
    return most;
}

Ref<UIView> filled(CGRect frame, const Ref<UIColor>& colour)
{
    const Ref<UIView> view = UIView::initWithFrame(frame);
    view->setBackgroundColor(colour);
    return view;
}

TEST(ScreenPicture, AScreensContentNeverPaintsIntoTheStatusBarStrip)
{
    Stage stage;
    stage.window->setBackgroundColor(UIColor::whiteColor());
    const Ref<UIViewController> screen = UIViewController::create();
    stage.window->setRootViewController(screen);
    // A cover pulled down reaches above the screen's top edge, as a stretched header's does.
    screen->view()->addSubview(filled(CGRectMake(0, -40, 320, 100), UIColor::redColor()));
    const Ref<UIViewController> presented = UIViewController::create();
    presented->view()->addSubview(filled(CGRectMake(200, -30, 120, 60), UIColor::blueColor()));

    const Picture before(stage.window);
    const uint32_t red = 0xffff0000;
    EXPECT_EQ(before.at(160, 25), red);  // under the strip, the cover shows
    EXPECT_NE(before.at(160, 10), red);
    EXPECT_NE(before.at(160, 0), red);

    screen->presentModalViewController_animated(presented, false);
    const Picture after(stage.window);
    EXPECT_EQ(after.at(260, 25), 0xff0000ffu);
    EXPECT_NE(after.at(260, 10), 0xff0000ffu);
}

TEST(ScreenPicture, AnAlertsBoxHidesWhatLiesBehindIt)
{
    Stage stage;
    // Black above the middle of the screen, white below it: the box of an alert spans both.
    const CGSize size = stage.window->bounds().size;
    stage.window->addSubview(filled(CGRectMake(0, 0, size.width, size.height / 2), UIColor::blackColor()));
    stage.window->addSubview(filled(CGRectMake(0, size.height / 2, size.width, size.height / 2), UIColor::whiteColor()));
    const Ref<UIAlertView> alert =
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "", nullptr, "确定");
    alert->show();
    const Picture picture(stage.window);
    const CGRect box = UIWindowOverlayFrame(alert, size);
    ASSERT_LT(CGRectGetMinY(box), size.height / 2 - 10);
    ASSERT_GT(CGRectGetMaxY(box), size.height / 2 + 10);
    // The box's margin, where it draws no text, just above and below the middle.
    const CGFloat x = CGRectGetMinX(box) + 6;
    const uint32_t overBlack = picture.at(x, size.height / 2 - 8);
    const uint32_t overWhite = picture.at(x, size.height / 2 + 8);
    EXPECT_LE(channelDistance(overBlack, overWhite), 1) << std::hex << overBlack << " " << overWhite;
    // Beside the box the background shows, dimmed.
    EXPECT_GT(channelDistance(picture.at(4, size.height / 2 - 8), picture.at(4, size.height / 2 + 8)), 100);
}

}  // namespace ScreenPictureTest_cpp
}  // namespace
