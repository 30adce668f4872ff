#include "platform/uikit/UINavigationBar.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {

constexpr CGFloat kEdge = 5;
constexpr CGFloat kButtonHeight = 30;
constexpr CGFloat kBackButtonPadding = 25;
// The width of the back button's arrow point.
constexpr CGFloat kBackButtonPoint = 10;

void detach(const Ref<UIView>& view, UIView* bar)
{
    if (view && view->superview().get() == bar) {
        view->removeFromSuperview();
    }
}

// Keys of the bar's own moves, so a later change can stop them.
constexpr char kBarFadeKey[] = "navigationBarFade";
constexpr char kBarSlideKey[] = "navigationBarSlide";
// The same time as the screens' slide below the bar.
constexpr double kBarMoveDuration = 0.35;

void addBarMove(const Ref<UIView>& view, float fromOpacity, float toOpacity, CGFloat fromShift, CGFloat toShift)
{
    const Ref<CALayer>& layer = view->layer();
    auto fade = CABasicAnimation::animationWithKeyPath("opacity");
    fade->setFromValue(double(fromOpacity));
    fade->setToValue(double(toOpacity));
    fade->setDuration(kBarMoveDuration);
    fade->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
    layer->addAnimation_forKey(fade, kBarFadeKey);
    if (fromShift != 0 || toShift != 0) {
        // Added to wherever the view is laid out, so a title that changes on the way still lands
        // where it belongs.
        auto slide = CABasicAnimation::animationWithKeyPath("position");
        slide->setAdditive(true);
        slide->setFromValue(CGPointMake(fromShift, 0));
        slide->setToValue(CGPointMake(toShift, 0));
        slide->setDuration(kBarMoveDuration);
        slide->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
        layer->addAnimation_forKey(slide, kBarSlideKey);
    }
}

void stopBarMove(const Ref<UIView>& view)
{
    if (view) {
        view->layer()->removeAnimationForKey(kBarFadeKey);
        view->layer()->removeAnimationForKey(kBarSlideKey);
    }
}

}  // namespace

void UINavigationBar::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
}

Ref<UIImage> UINavigationBar::backgroundImageForBarMetrics(UIBarMetrics metrics) const
{
    return metrics == UIBarMetricsLandscapePhone ? landscapeBackgroundImage_ : backgroundImage_;
}

void UINavigationBar::setBackgroundImage_forBarMetrics(const Ref<UIImage>& image, UIBarMetrics metrics)
{
    (metrics == UIBarMetricsLandscapePhone ? landscapeBackgroundImage_ : backgroundImage_) = image;
    setNeedsDisplay();
}

void UINavigationBar::setItems_animated(std::vector<Ref<UINavigationItem>> items, bool animated)
{
    for (const Ref<UINavigationItem>& item : items_) {
        if (item->navigationBar().get() == this) {
            item->setNavigationBar(nullptr);
        }
    }
    Ref<UINavigationItem> oldTop = topItem();
    const std::vector<Ref<UINavigationItem>> old = std::move(items_);
    items_ = std::move(items);
    Ref<UINavigationBar> me = self<UINavigationBar>();
    for (const Ref<UINavigationItem>& item : items_) {
        item->setNavigationBar(me);
    }
    const bool pushing = std::find(old.begin(), old.end(), topItem()) == old.end();
    refreshAnimated(animated && oldTop != topItem(), pushing);
}

void UINavigationBar::pushNavigationItem_animated(const Ref<UINavigationItem>& item, bool animated)
{
    if (!item) {
        return;
    }
    Ref<UINavigationBar> me = self<UINavigationBar>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->navigationBar_shouldPushItem(me, item)) {
        return;
    }
    items_.push_back(item);
    item->setNavigationBar(me);
    refreshAnimated(animated, true);
    if (auto delegate = delegate_.lock()) {
        delegate->navigationBar_didPushItem(me, item);
    }
}

Ref<UINavigationItem> UINavigationBar::popNavigationItemAnimated(bool animated)
{
    Ref<UINavigationItem> top = topItem();
    if (!top) {
        return nullptr;
    }
    Ref<UINavigationBar> me = self<UINavigationBar>();
    if (auto delegate = delegate_.lock(); delegate && !delegate->navigationBar_shouldPopItem(me, top)) {
        return nullptr;
    }
    items_.pop_back();
    top->setNavigationBar(nullptr);
    refreshAnimated(animated, false);
    if (auto delegate = delegate_.lock()) {
        delegate->navigationBar_didPopItem(me, top);
    }
    return top;
}

std::string UINavigationBar::backButtonTitle() const
{
    if (!backButton_) {
        return {};
    }
    return backButton_->titleForState(UIControlStateNormal);
}

bool UINavigationBar::simulateBackButtonTap()
{
    if (!backButton_ || backButton_->superview().get() != this) {
        return false;
    }
    Ref<UINavigationBar> me = self<UINavigationBar>();
    Ref<UINavigationItem> top = topItem();
    if (auto delegate = delegate_.lock(); delegate && !delegate->navigationBar_shouldPopItem(me, top)) {
        return true;
    }
    items_.pop_back();
    top->setNavigationBar(nullptr);
    refresh();
    if (auto delegate = delegate_.lock()) {
        delegate->navigationBar_didPopItem(me, top);
    }
    return true;
}

void UINavigationBar::itemDidChange(UINavigationItem* item)
{
    if (!items_.empty() && (items_.back().get() == item || (items_.size() > 1 && items_[items_.size() - 2].get() == item))) {
        refresh();
    }
}

void UINavigationBar::dropLeavingViews()
{
    if (leavingEnd_) {
        leavingEnd_->invalidate();
        leavingEnd_ = nullptr;
    }
    for (const Ref<UIView>& view : leaving_) {
        stopBarMove(view);
        detach(view, this);
        view->setAlpha(1);  // a button of an item that may show again
        view->setUserInteractionEnabled(true);
    }
    leaving_.clear();
}

void UINavigationBar::refreshAnimated(bool animated, bool pushing)
{
    dropLeavingViews();
    for (const Ref<UIView>& view : {Ref<UIView>(backButton_), leftView_, rightView_, titleView_, Ref<UIView>(titleLabel_)}) {
        stopBarMove(view);
    }
    if (!animated || isHidden() || !window()) {
        refresh();
        return;
    }
    // What showed: the title (as a copy, since the label is reused) and the buttons.
    std::vector<Ref<UIView>> leaving;
    Ref<UIView> oldTitle;
    if (titleView_ && titleView_->superview().get() == this) {
        oldTitle = titleView_;
    } else if (titleLabel_ && titleLabel_->superview().get() == this && !titleLabel_->text().empty()) {
        Ref<UILabel> copy = UILabel::initWithFrame(titleLabel_->frame());
        copy->setFont(titleLabel_->font());
        copy->setTextAlignment(titleLabel_->textAlignment());
        copy->setTextColor(titleLabel_->textColor());
        copy->setBackgroundColor(UIColor::clearColor());
        copy->setText(titleLabel_->text());
        oldTitle = copy;
    }
    if (backButton_ && backButton_->superview().get() == this) {
        Ref<UINavigationBackButton> copy = UINavigationBackButton::create();
        copy->titleLabel()->setFont(backButton_->titleLabel()->font());
        copy->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
        copy->setTitleEdgeInsets(backButton_->titleEdgeInsets());
        copy->setTitle_forState(backButton_->titleForState(UIControlStateNormal), UIControlStateNormal);
        copy->setFrame(backButton_->frame());
        leaving.push_back(copy);
    }
    for (const Ref<UIView>& view : {leftView_, rightView_}) {
        if (view && view->superview().get() == this) {
            leaving.push_back(view);
        }
    }
    refresh();
    const CGFloat shift = bounds().size.width / 2;
    // The new title from beside the bar's middle, the old one out the other way.
    const CGFloat in = pushing ? shift : -shift;
    if (Ref<UIView> title = titleView_ ? titleView_ : (titleLabel_ && titleLabel_->superview().get() == this ? Ref<UIView>(titleLabel_) : nullptr)) {
        addBarMove(title, 0, 1, in, 0);
    }
    for (const Ref<UIView>& view : {Ref<UIView>(backButton_), leftView_, rightView_}) {
        if (view && view->superview().get() == this) {
            addBarMove(view, 0, 1, 0, 0);
        }
    }
    if (oldTitle && oldTitle != titleView_) {
        leaving.push_back(oldTitle);
    }
    for (const Ref<UIView>& view : leaving) {
        if (view == titleView_ || view == leftView_ || view == rightView_) {
            continue;  // still on show in the new state
        }
        view->setUserInteractionEnabled(false);
        addSubview(view);
        view->setAlpha(0);
        addBarMove(view, 1, 0, 0, view == oldTitle ? -in : 0);
        leaving_.push_back(view);
    }
    if (!leaving_.empty()) {
        Weak<UINavigationBar> weak = self<UINavigationBar>();
        leavingEnd_ = Clock::scheduleAfter(kBarMoveDuration, [weak] {
            if (auto bar = weak.lock()) bar->dropLeavingViews();
        });
    }
}

void UINavigationBar::reclaim(const Ref<UIView>& view)
{
    // A view on its way out that shows again (its item is back on top) stops leaving.
    auto it = std::find(leaving_.begin(), leaving_.end(), view);
    if (it != leaving_.end()) {
        leaving_.erase(it);
        stopBarMove(view);
        view->setAlpha(1);
        view->setUserInteractionEnabled(true);
    }
}

void UINavigationBar::refresh()
{
    detach(backButton_, this);
    detach(leftView_, this);
    detach(rightView_, this);
    detach(titleView_, this);
    detach(titleLabel_, this);
    leftView_ = nullptr;
    rightView_ = nullptr;
    titleView_ = nullptr;
    Ref<UINavigationItem> top = topItem();
    if (!top) {
        return;
    }
    Ref<UINavigationItem> back = backItem();
    const bool showBack = back && !top->hidesBackButton() && (!top->leftBarButtonItem() || top->leftItemsSupplementBackButton());
    if (showBack) {
        std::string title = back->title().empty() ? std::string("返回") : back->title();
        if (back->backBarButtonItem() && !back->backBarButtonItem()->title().empty()) {
            title = back->backBarButtonItem()->title();
        }
        if (!backButton_) {
            backButton_ = UINavigationBackButton::create();
            backButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(12));
            backButton_->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
            // The title sits in the tile's body, right of its point: moved by the point's width, not
            // narrowed by it (a left inset alone takes the width off the title, which then shows "B...").
            backButton_->setTitleEdgeInsets(UIEdgeInsetsMake(0, kBackButtonPoint, 0, -kBackButtonPoint));
            Weak<UINavigationBar> weak = self<UINavigationBar>();
            backButton_->addTarget_action_forControlEvents(
                self<UINavigationBar>(),
                UIControlAction::block("_backButtonTapped:",
                                       [weak](const Ref<UIControl>&, const Ref<UIEvent>&) {
                                           if (auto bar = weak.lock()) bar->simulateBackButtonTap();
                                       }),
                UIControlEventTouchUpInside);
        }
        backButton_->setTitle_forState(title, UIControlStateNormal);
        const CGFloat width =
            std::ceil(UIStringDrawing::sizeWithFont(title, UIFont::boldSystemFontOfSize(12)).width) + kBackButtonPadding +
            kBackButtonPoint;
        backButton_->setFrame(CGRectMake(0, 0, width, kButtonHeight));
        reclaim(backButton_);
        addSubview(backButton_);
    }
    if (top->leftBarButtonItem()) {
        leftView_ = top->leftBarButtonItem()->barView();
        if (leftView_) {
            CGRect f = leftView_->frame();
            f.size.width = top->leftBarButtonItem()->barWidth();
            if (!top->leftBarButtonItem()->customView()) f.size.height = kButtonHeight;
            leftView_->setFrame(f);
            reclaim(leftView_);
            addSubview(leftView_);
        }
    }
    if (top->rightBarButtonItem()) {
        rightView_ = top->rightBarButtonItem()->barView();
        if (rightView_) {
            CGRect f = rightView_->frame();
            f.size.width = top->rightBarButtonItem()->barWidth();
            if (!top->rightBarButtonItem()->customView()) f.size.height = kButtonHeight;
            rightView_->setFrame(f);
            reclaim(rightView_);
            addSubview(rightView_);
        }
    }
    if (top->titleView()) {
        titleView_ = top->titleView();
        reclaim(titleView_);
        addSubview(titleView_);
    } else {
        if (!titleLabel_) {
            titleLabel_ = UILabel::create();
            titleLabel_->setFont(UIFont::boldSystemFontOfSize(20));
            titleLabel_->setTextAlignment(UITextAlignmentCenter);
            titleLabel_->setTextColor(UIColor::whiteColor());
            titleLabel_->setBackgroundColor(UIColor::clearColor());
        }
        titleLabel_->setText(top->title());
        addSubview(titleLabel_);
    }
    layoutSubviews();
}

void UINavigationBar::layoutSubviews()
{
    const CGRect b = bounds();
    CGFloat left = kEdge;
    CGFloat right = b.size.width - kEdge;
    auto centreY = [&](CGFloat h) { return std::round((b.size.height - h) / 2); };
    if (backButton_ && backButton_->superview().get() == this) {
        CGRect f = backButton_->frame();
        backButton_->setFrame(CGRectMake(left, centreY(f.size.height), f.size.width, f.size.height));
        left += f.size.width + kEdge;
    }
    if (leftView_) {
        CGRect f = leftView_->frame();
        leftView_->setFrame(CGRectMake(left, centreY(f.size.height), f.size.width, f.size.height));
        left += f.size.width + kEdge;
    }
    if (rightView_) {
        CGRect f = rightView_->frame();
        right -= f.size.width;
        rightView_->setFrame(CGRectMake(right, centreY(f.size.height), f.size.width, f.size.height));
        right -= kEdge;
    }
    if (titleView_) {
        CGRect f = titleView_->frame();
        titleView_->setFrame(CGRectMake(std::round((b.size.width - f.size.width) / 2), centreY(f.size.height),
                                        f.size.width, f.size.height));
    } else if (titleLabel_ && titleLabel_->superview().get() == this) {
        // The title is centred on the bar, and moves aside only as far as a wide button needs; a title
        // wider than the room between the buttons takes that room.
        const CGFloat room = std::max<CGFloat>(0, right - left);
        const CGFloat width = std::min(
            room, std::ceil(UIStringDrawing::sizeWithFont(titleLabel_->text(), titleLabel_->font()).width));
        const CGFloat x = std::clamp<CGFloat>(std::round((b.size.width - width) / 2), left, left + room - width);
        titleLabel_->setFrame(CGRectMake(x, 0, width, b.size.height));
    }
}
