#pragma once
// GuideViewController: the paged introduction shown once, at the first start while nobody is logged
// in. Six full-screen pictures side by side in a paging scroll view with a page indicator; the last
// page's button records that the guide was seen ("kShouldShowGuideValue" under "kShouldShowGuideKey"
// in the user defaults), closes it and, when still nobody is logged in, opens the login screen over
// the root controller. Made from the interface file "GuideViewController" (registerGuideInterfaceFile).
#include <string>

#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIViewController.h"

class UIPageControl;

inline constexpr char kShouldShowGuideKey[] = "kShouldShowGuideKey";
inline constexpr char kShouldShowGuideValue[] = "kShouldShowGuideValue";
inline constexpr int kGuidePageCount = 6;

class GuideViewController : public UIViewController, public UIScrollViewDelegate {
public:
    static Ref<GuideViewController> initWithNibName_bundle(const std::string& nibName, const Ref<NSBundle>& bundle);

    Ref<UIScrollView> scrollView() const { return scrollView_; }
    void setScrollView(const Ref<UIScrollView>& scrollView) { scrollView_ = scrollView; }
    Ref<UIPageControl> pageCtrl() const { return pageCtrl_; }
    void setPageCtrl(const Ref<UIPageControl>& pageCtrl) { pageCtrl_ = pageCtrl; }

    void startThisApp();

    void viewDidLoad() override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    GuideViewController() = default;

private:
    Ref<UIScrollView> scrollView_;
    Ref<UIPageControl> pageCtrl_;
};

// Registers the interface file "GuideViewController" (a full-screen scroll view and a page indicator).
void registerGuideInterfaceFile();
