// The first-run guide: its pages, the indicator's turning points and the start button.
#include <gtest/gtest.h>

#include "FeedTestSupport.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIPageControl.h"
#include "shell/GuideViewController.h"
#include "shell/RootViewController.h"
#include "social/Login.h"

namespace {
namespace GuideTest_cpp {

using feedtest::FeedTest;

class GuideTest : public FeedTest {
protected:
    void TearDown() override
    {
        g_root = nullptr;
        FeedTest::TearDown();
    }
    Ref<GuideViewController> presentGuide()
    {
        g_root = RootViewController::create();
        window->setRootViewController(g_root);
        window->makeKeyAndVisible();
        auto guide = GuideViewController::initWithNibName_bundle("GuideViewController", nullptr);
        g_root->presentModalViewController_animated(guide, false);
        return guide;
    }
};

TEST_F(GuideTest, SixPicturesSideBySideWithTheStartButtonOnTheLast)
{
    auto guide = presentGuide();
    const Ref<UIScrollView> pages = guide->scrollView();
    ASSERT_NE(pages, nullptr);
    EXPECT_TRUE(CGSizeEqualToSize(pages->contentSize(), CGSizeMake(1920, 460)));
    EXPECT_TRUE(pages->isPagingEnabled());
    EXPECT_FALSE(pages->bounces());
    EXPECT_FALSE(pages->showsHorizontalScrollIndicator());
    EXPECT_EQ(guide->pageCtrl()->numberOfPages(), 6);
    std::vector<Ref<UIImageView>> pictures;
    Ref<UIButton> start;
    for (const Ref<UIView>& view : pages->subviews()) {
        if (auto picture = std::dynamic_pointer_cast<UIImageView>(view); picture && picture->image()) {
            pictures.push_back(picture);
        } else if (auto button = std::dynamic_pointer_cast<UIButton>(view)) {
            start = button;
        }
    }
    ASSERT_EQ(pictures.size(), 6u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(CGRectEqualToRect(pictures[i]->frame(), CGRectMake(320.0 * double(i), 0, 320, 460)));
        EXPECT_TRUE(CGSizeEqualToSize(pictures[i]->image()->size(), CGSizeMake(320, 460)));
    }
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(CGRectEqualToRect(start->frame(), CGRectMake(1670, 333, 180, 43)));
    EXPECT_EQ(start->titleForState(UIControlStateNormal), "开始分享");
}

TEST_F(GuideTest, TheIndicatorTurnsHalfwayBetweenTwoPictures)
{
    auto guide = presentGuide();
    const struct {
        CGFloat x;
        NSInteger page;
    } cases[] = {{0, 0}, {159, 0}, {160, 1}, {479, 1}, {480, 2}, {1600, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        guide->scrollView()->simulateDragToContentOffset(CGPointMake(c.x, 0));
        EXPECT_EQ(guide->pageCtrl()->currentPage(), c.page);
    }
}

TEST_F(GuideTest, StartingRecordsTheGuideAndOpensTheLoginWhileLoggedOut)
{
    for (bool loggedIn : {false, true}) {
        SCOPED_TRACE(loggedIn);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(kShouldShowGuideKey);
        if (loggedIn) {
            logIn();
        }
        auto guide = presentGuide();
        guide->startThisApp();
        EXPECT_EQ(NSUserDefaults::standardUserDefaults()->objectForKey(kShouldShowGuideKey).stringValue(),
                  kShouldShowGuideValue);
        const Ref<UIViewController> presented = g_root->modalViewController();
        if (loggedIn) {
            EXPECT_EQ(presented, nullptr);
        } else {
            ASSERT_NE(presented, nullptr);
            EXPECT_NE(presented, guide);
            const bool login = presented->className() == "Login" ||
                               (std::dynamic_pointer_cast<UINavigationController>(presented) &&
                                std::dynamic_pointer_cast<UINavigationController>(presented)->topViewController() &&
                                std::dynamic_pointer_cast<UINavigationController>(presented)->topViewController()
                                        ->className() == "Login");
            EXPECT_TRUE(login) << presented->className();
        }
    }
}

}  // namespace GuideTest_cpp
}  // namespace
