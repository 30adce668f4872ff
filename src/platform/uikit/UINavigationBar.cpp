#include "platform/uikit/UINavigationBar.h"

#include <algorithm>
#include <cmath>

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
    items_ = std::move(items);
    Ref<UINavigationBar> me = self<UINavigationBar>();
    for (const Ref<UINavigationItem>& item : items_) {
        item->setNavigationBar(me);
    }
    refresh();
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
    refresh();
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
    refresh();
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
        addSubview(backButton_);
    }
    if (top->leftBarButtonItem()) {
        leftView_ = top->leftBarButtonItem()->barView();
        if (leftView_) {
            CGRect f = leftView_->frame();
            f.size.width = top->leftBarButtonItem()->barWidth();
            if (!top->leftBarButtonItem()->customView()) f.size.height = kButtonHeight;
            leftView_->setFrame(f);
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
            addSubview(rightView_);
        }
    }
    if (top->titleView()) {
        titleView_ = top->titleView();
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
