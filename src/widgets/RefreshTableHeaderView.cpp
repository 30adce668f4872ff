#include "widgets/RefreshTableHeaderView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/CATransaction.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIScrollView.h"
#include "widgets/SoundEffect.h"

namespace {
namespace RefreshTableHeaderView_cpp {

constexpr char kDefaultArrowImage[] = "pull-to-refresh-arrow.png";
constexpr double kArrowTurnDuration = 0.18;
constexpr double kInsetDuration = 0.2;
constexpr double kFinishDuration = 0.3;

Ref<UIColor> blueGreyText()
{
    return UIColor::colorWithRed_green_blue_alpha(87.0 / 255.0, 108.0 / 255.0, 137.0 / 255.0, 1.0);
}

// A state's text from the bundle's strings (the text itself when no translation exists).
std::string localized(const char* text)
{
    return NSBundle::mainBundle()->localizedStringForKey_value_table(text, "", "");
}

Ref<SoundEffect> bundleSound(const char* name)
{
    return SoundEffect::soundEffectWithContentsOfFile(NSBundle::mainBundle()->pathForResource_ofType(name, "wav"));
}

}  // namespace RefreshTableHeaderView_cpp
}  // namespace

Ref<RefreshTableHeaderView> RefreshTableHeaderView::initWithFrame(CGRect frame)
{
    return makeWithFrame<RefreshTableHeaderView>(frame);
}

Ref<RefreshTableHeaderView> RefreshTableHeaderView::initWithFrame_arrowImageName_textColor(
    CGRect frame, const std::string& arrow, const Ref<UIColor>& textColor)
{
    auto header = std::make_shared<RefreshTableHeaderView>();
    header->initWithFrame_arrowImageName_textColorBody(frame, arrow, textColor);
    return header;
}

void RefreshTableHeaderView::initWithFrameBody(CGRect frame)
{
    using namespace RefreshTableHeaderView_cpp;
    initWithFrame_arrowImageName_textColorBody(frame, kDefaultArrowImage, blueGreyText());
}

void RefreshTableHeaderView::initWithFrame_arrowImageName_textColorBody(CGRect frame, const std::string& arrow,
                                                                         const Ref<UIColor>& textColor)
{
    using namespace RefreshTableHeaderView_cpp;
    UIView::initWithFrameBody(frame);
    const CGFloat w = frame.size.width;
    const CGFloat h = frame.size.height;
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    setBackgroundColor(UIColor::clearColor());

    statusLabel_ = UILabel::initWithFrame(CGRectMake(0, h - 50, w, 20));
    statusLabel_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    statusLabel_->setFont(UIFont::boldSystemFontOfSize(13));
    statusLabel_->setTextColor(textColor);
    statusLabel_->setBackgroundColor(UIColor::clearColor());
    statusLabel_->setTextAlignment(UITextAlignmentCenter);
    addSubview(statusLabel_);

    // The last-updated line keeps the blue grey whatever colour the status line was given.
    lastUpdatedLabel_ = UILabel::initWithFrame(CGRectMake(0, h - 30, w, 20));
    lastUpdatedLabel_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    lastUpdatedLabel_->setFont(UIFont::systemFontOfSize(12));
    lastUpdatedLabel_->setTextColor(blueGreyText());
    lastUpdatedLabel_->setShadowColor(UIColor::colorWithWhite_alpha(0.9, 1.0));
    lastUpdatedLabel_->setShadowOffset(CGSizeMake(0, 1));
    lastUpdatedLabel_->setBackgroundColor(UIColor::clearColor());
    lastUpdatedLabel_->setTextAlignment(UITextAlignmentCenter);
    addSubview(lastUpdatedLabel_);

    arrowImage_ = CALayer::layer();
    arrowImage_->setFrame(CGRectMake(25, h - 60, 30, 50));
    arrowImage_->setContentsGravity(kCAGravityResizeAspect);
    if (Ref<UIImage> image = UIImage::imageNamed(arrow)) {
        arrowImage_->setContents(image->CGImage());
    }
    arrowImage_->setContentsScale(UIScreen::mainScreen()->scale());
    layer()->addSublayer(arrowImage_);

    activityView_ = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleGray);
    activityView_->setFrame(CGRectMake(25, h - 25, 20, 20));
    addSubview(activityView_);

    setState(RefreshNormal);

    pull_ = bundleSound("pull");
    suc_ = bundleSound("suc");
}

void RefreshTableHeaderView::refreshLastUpdatedDate()
{
    const Ref<RefreshTableHeaderDelegate> owner = delegate();
    const std::optional<NSDate> date =
        owner ? owner->refreshTableHeaderDataSourceLastUpdated(self<RefreshTableHeaderView>()) : std::nullopt;
    if (!date) {
        lastUpdatedLabel_->setText("");
        return;
    }
    const Ref<NSDateFormatter> formatter = NSDateFormatter::create();
    formatter->setDateFormat("yyyy'-'MM'-'dd HH:mm:ss");
    const std::string line = stringWithFormat("最后更新： %@", formatter->stringFromDate(*date));
    lastUpdatedLabel_->setText(line);
    const Ref<NSUserDefaults> defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject_forKey(Value(line), kRefreshTableViewLastRefreshKey);
    defaults->synchronize();
}

void RefreshTableHeaderView::setState(RefreshState state)
{
    using namespace RefreshTableHeaderView_cpp;
    switch (state) {
    case RefreshPulling:
        statusLabel_->setText(localized("松开即可刷新.."));
        CATransaction::begin();
        CATransaction::setAnimationDuration(kArrowTurnDuration);
        arrowImage_->setTransform(CATransform3DMakeRotation(M_PI, 0, 0, 1));
        CATransaction::commit();
        if (pull_) {
            pull_->play();
        }
        break;
    case RefreshNormal:
        if (state_ == RefreshPulling) {
            CATransaction::begin();
            CATransaction::setAnimationDuration(kArrowTurnDuration);
            arrowImage_->setTransform(CATransform3DIdentity);
            CATransaction::commit();
        }
        statusLabel_->setText(localized("下拉可以刷新.."));
        activityView_->stopAnimating();
        CATransaction::begin();
        CATransaction::setDisableActions(true);
        arrowImage_->setHidden(false);
        arrowImage_->setTransform(CATransform3DIdentity);
        CATransaction::commit();
        refreshLastUpdatedDate();
        break;
    case RefreshLoading:
        statusLabel_->setText(localized("加载中..."));
        activityView_->startAnimating();
        CATransaction::begin();
        CATransaction::setDisableActions(true);
        arrowImage_->setHidden(true);
        CATransaction::commit();
        break;
    }
    state_ = state;
}

bool RefreshTableHeaderView::delegateIsLoading()
{
    const Ref<RefreshTableHeaderDelegate> owner = delegate();
    return owner && owner->refreshTableHeaderDataSourceIsLoading(self<RefreshTableHeaderView>());
}

void RefreshTableHeaderView::refreshScrollViewDidScroll(const Ref<UIScrollView>& scrollView)
{
    const CGFloat y = scrollView->contentOffset().y;
    if (state_ == RefreshLoading) {
        // Keep the header in view while loading, never more than the header's own height.
        const CGFloat top = std::min(std::max(-y, CGFloat(0)), kRefreshTriggerOffset);
        scrollView->setContentInset(UIEdgeInsetsMake(top, 0, 0, 0));
        return;
    }
    if (!scrollView->isDragging()) {
        return;
    }
    const bool loading = delegateIsLoading();
    if (state_ == RefreshPulling && y > -kRefreshTriggerOffset && y < 0 && !loading) {
        setState(RefreshNormal);
    } else if (state_ == RefreshNormal && y < -kRefreshTriggerOffset && !loading) {
        setState(RefreshPulling);
    }
    if (scrollView->contentInset().top != 0) {
        scrollView->setContentInset(UIEdgeInsetsZero);
    }
}

void RefreshTableHeaderView::refreshScrollViewDidEndDragging(const Ref<UIScrollView>& scrollView)
{
    using namespace RefreshTableHeaderView_cpp;
    if (scrollView->contentOffset().y > -kRefreshTriggerOffset || delegateIsLoading()) {
        return;
    }
    if (const Ref<RefreshTableHeaderDelegate> owner = delegate()) {
        owner->refreshTableHeaderDidTriggerRefresh(self<RefreshTableHeaderView>());
    }
    setState(RefreshLoading);
    UIView::animateWithDuration_animations(kInsetDuration, [scrollView] {
        scrollView->setContentInset(UIEdgeInsetsMake(kRefreshTriggerOffset, 0, 0, 0));
    });
}

void RefreshTableHeaderView::refreshScrollViewDataSourceDidFinishedLoading(const Ref<UIScrollView>& scrollView)
{
    using namespace RefreshTableHeaderView_cpp;
    UIView::animateWithDuration_animations(kFinishDuration,
                                           [scrollView] { scrollView->setContentInset(UIEdgeInsetsZero); });
    setState(RefreshNormal);
    if (suc_) {
        suc_->play();
    }
}
