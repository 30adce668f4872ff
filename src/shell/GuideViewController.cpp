#include "shell/GuideViewController.h"

#include <cmath>

#include "api/LoginState.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIPageControl.h"
#include "shell/RootViewController.h"
#include "social/Login.h"

Ref<GuideViewController> GuideViewController::initWithNibName_bundle(const std::string& nibName,
                                                                     const Ref<NSBundle>& bundle)
{
    registerGuideInterfaceFile();
    return makeWithNibName<GuideViewController>(nibName, bundle);
}

void GuideViewController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    if (!scrollView_) {
        return;
    }
    scrollView_->setContentSize(CGSizeMake(320 * kGuidePageCount, 460));
    scrollView_->setPagingEnabled(true);
    scrollView_->setDelegate(self<GuideViewController>());
    scrollView_->setShowsHorizontalScrollIndicator(false);
    scrollView_->setBounces(false);
    for (int i = 0; i < kGuidePageCount; ++i) {
        auto page = UIImageView::initWithImage(UIImage::imageNamed(stringWithFormat("guide%d.jpg", i)));
        page->setFrame(CGRectMake(i * 320, 0, 320, 460));
        scrollView_->addSubview(page);
    }
    auto start = UIButton::buttonWithType(UIButtonTypeCustom);
    start->setFrame(CGRectMake(1670, 333, 180, 43));
    start->setTitle_forState("开始分享", UIControlStateNormal);
    start->setBackgroundImage_forState(UIImage::imageNamed("start_this_app.png"), UIControlStateNormal);
    start->addTarget_action_forControlEvents(self<GuideViewController>(),
                                             UIControlAction::make("startThisApp", &GuideViewController::startThisApp),
                                             UIControlEventTouchUpInside);
    scrollView_->addSubview(start);
    if (pageCtrl_) {
        pageCtrl_->setNumberOfPages(kGuidePageCount);
    }
}

void GuideViewController::scrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    const CGFloat width = scrollView->frame().size.width;
    if (width <= 0 || !pageCtrl_) {
        return;
    }
    const CGFloat x = scrollView->contentOffset().x;
    pageCtrl_->setCurrentPage(NSInteger(std::floor((x - width / 2) / width)) + 1);
}

void GuideViewController::startThisApp()
{
    NSUserDefaults::standardUserDefaults()->setObject_forKey(kShouldShowGuideValue, kShouldShowGuideKey);
    dismissModalViewControllerAnimated(false);
    if (!isLogin() && g_root) {
        Login::presentLoginUI(g_root);
    }
}

bool GuideViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void registerGuideInterfaceFile()
{
    UINibRegistry::registerNib("GuideViewController", [](UINibBuilder& nib) {
        auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 460));
        root->setBackgroundColor(UIColor::blackColor());
        auto scroll = nib.view<UIScrollView>(CGRectMake(0, 0, 320, 460));
        root->addSubview(scroll);
        auto pages = nib.view<UIPageControl>(CGRectMake(0, 420, 320, 36));
        root->addSubview(pages);
        if (auto owner = nib.owner<GuideViewController>()) {
            owner->setView(root);
            owner->setScrollView(scroll);
            owner->setPageCtrl(pages);
        }
        return std::vector<Ref<NSObject>>{root};
    });
}
