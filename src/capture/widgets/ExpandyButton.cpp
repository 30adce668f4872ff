#include "capture/widgets/ExpandyButton.h"

#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIView.h"

Ref<ExpandyButton> ExpandyButton::initWithPoint_title_buttonNames_selectedItem_buttonWidth(
    CGPoint point, const std::string& title, const std::vector<std::string>& buttonNames, int32_t selectedItem,
    float buttonWidth)
{
    const bool animations = UIView::areAnimationsEnabled();
    UIView::setAnimationsEnabled(false);
    const CGFloat w = buttonWidth;
    const CGRect frameShrunk = CGRectMake(point.x, point.y, w + 64, 32);
    const CGRect frameExpanded = CGRectMake(point.x, point.y, static_cast<CGFloat>(buttonNames.size()) * w + 64, 32);
    Ref<ExpandyButton> button = makeWithFrame<ExpandyButton>(frameShrunk);
    button->frameShrunk_ = frameShrunk;
    button->frameExpanded_ = frameExpanded;
    button->buttonWidth_ = buttonWidth;

    button->titleLabel_ = UILabel::initWithFrame(CGRectMake(8, 9, 44, 16));
    button->titleLabel_->setText(title);
    button->titleLabel_->setFont(UIFont::systemFontOfSize(14));
    button->titleLabel_->setTextColor(UIColor::blackColor());
    button->titleLabel_->setBackgroundColor(UIColor::clearColor());
    button->addSubview(button->titleLabel_);

    for (size_t i = 0; i < buttonNames.size(); ++i) {
        Ref<UILabel> label = UILabel::initWithFrame(CGRectMake(54 + static_cast<CGFloat>(i) * w, -3, w, 26));
        label->setText(buttonNames[i]);
        label->setFont(UIFont::systemFontOfSize(14));
        label->setTextColor(UIColor::blackColor());
        label->setBackgroundColor(UIColor::clearColor());
        label->setTextAlignment(UITextAlignmentCenter);
        // Squeezed to no width, an option shows nothing (not even an ellipsis).
        label->setClipsToBounds(true);
        button->addSubview(label);
        button->labels_.push_back(label);
    }

    button->addTarget_action_forControlEvents(
        button, UIControlAction::make("chooseLabel:forEvent:", &ExpandyButton::chooseLabel_forEvent),
        UIControlEventTouchUpInside);
    button->setBackgroundColor(UIColor::clearColor());
    button->layer()->setBackgroundColor(UIColor::colorWithWhite_alpha(1.0, 0.5)->CGColor());
    button->layer()->setBorderWidth(1);
    button->layer()->setBorderColor(UIColor::blackColor()->CGColor());
    button->layer()->setCornerRadius(15);

    // Laid out collapsed through the setter: it only collapses when it finds the control open.
    button->expanded_ = true;
    button->setSelectedItem(selectedItem);
    UIView::setAnimationsEnabled(animations);
    return button;
}

void ExpandyButton::chooseLabel_forEvent(const Ref<UIControl>& sender, const Ref<UIEvent>& event)
{
    UIView::beginAnimations_context("ExpandyButton", nullptr);
    const CGFloat w = buttonWidth_;
    if (!expanded_) {
        expanded_ = true;
        for (size_t i = 0; i < labels_.size(); ++i) {
            const Ref<UILabel>& label = labels_[i];
            label->setFrame(CGRectMake(54 + static_cast<CGFloat>(i) * w, -3, w, 39));
            if (static_cast<int32_t>(i) == selectedItem_) {
                label->setFont(UIFont::boldSystemFontOfSize(14));
            } else {
                label->setTextColor(UIColor::colorWithWhite_alpha(0.0, 0.7));
            }
        }
        const CGRect frame = layer()->frame();
        layer()->setFrame(CGRectMake(frame.origin.x, frame.origin.y, frameExpanded_.size.width, frameExpanded_.size.height));
    } else if (event) {
        for (size_t i = 0; i < labels_.size(); ++i) {
            const Ref<UILabel>& label = labels_[i];
            bool touched = false;
            for (const Ref<UITouch>& touch : event->allTouches()) {
                if (label->pointInside_withEvent(touch->locationInView(label), event)) {
                    touched = true;
                    break;
                }
            }
            if (touched) {
                label->setFrame(CGRectMake(54, -3, w, 39));
                setSelectedItem(static_cast<int32_t>(i));
                break;
            }
        }
    }
    UIView::commitAnimations();
}

void ExpandyButton::setSelectedItem(int32_t selectedItem)
{
    if (selectedItem < 0 || static_cast<size_t>(selectedItem) >= labels_.size()) {
        return;
    }
    const bool wasExpanded = expanded_;
    if (wasExpanded) {
        UIView::beginAnimations_context("ExpandyButton", nullptr);
    }
    const CGFloat w = buttonWidth_;
    for (size_t i = 0; i < labels_.size(); ++i) {
        const Ref<UILabel>& label = labels_[i];
        const auto index = static_cast<int32_t>(i);
        if (index < selectedItem) {
            label->setFrame(CGRectMake(54, -3, 0, 39));
        } else if (index > selectedItem) {
            label->setFrame(CGRectMake(54 + w, -3, 0, 39));
        } else {
            label->setFrame(CGRectMake(54, -3, w, 39));
            label->setTextColor(UIColor::blackColor());
        }
        label->setFont(UIFont::systemFontOfSize(14));
    }
    if (wasExpanded) {
        const CGRect frame = layer()->frame();
        layer()->setFrame(CGRectMake(frame.origin.x, frame.origin.y, frameShrunk_.size.width, frameShrunk_.size.height));
        UIView::commitAnimations();
        expanded_ = false;
    }
    if (selectedItem != selectedItem_) {
        selectedItem_ = selectedItem;
        sendActionsForControlEvents(UIControlEventValueChanged);
    }
}
