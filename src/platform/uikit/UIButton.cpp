#include "platform/uikit/UIButton.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"

Ref<UIButton> UIButton::buttonWithType(UIButtonType type)
{
    auto button = std::make_shared<UIButton>();
    button->buttonType_ = type;
    button->initWithFrameBody(CGRectZero);
    return button;
}

void UIButton::initWithFrameBody(CGRect frame)
{
    UIControl::initWithFrameBody(frame);
    backgroundView_ = UIImageView::create();
    imageView_ = UIImageView::create();
    titleLabel_ = UILabel::create();
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(15));
    titleLabel_->setBackgroundColor(UIColor::clearColor());
    titleLabel_->setOpaque(false);
    titleLabel_->setTextAlignment(UITextAlignmentCenter);
    titleLabel_->setLineBreakMode(UILineBreakModeMiddleTruncation);
    addSubview(backgroundView_);
    addSubview(imageView_);
    addSubview(titleLabel_);
    if (buttonType_ == UIButtonTypeRoundedRect) {
        setTitleColor_forState(UIColor::colorWithRed_green_blue_alpha(0.196, 0.31, 0.522, 1), UIControlStateNormal);
        setTitleColor_forState(UIColor::whiteColor(), UIControlStateHighlighted);
    } else if (buttonType_ == UIButtonTypeContactAdd || buttonType_ == UIButtonTypeDetailDisclosure ||
               buttonType_ == UIButtonTypeInfoDark || buttonType_ == UIButtonTypeInfoLight) {
        const CGRect f = this->frame();
        setFrame(CGRectMake(f.origin.x, f.origin.y, 29, 31));
    }
    refresh();
}

template <class T>
T UIButton::lookup(const std::map<UIControlState, T>& values, UIControlState state)
{
    if (auto it = values.find(state); it != values.end()) {
        return it->second;
    }
    if (auto it = values.find(UIControlStateNormal); it != values.end()) {
        return it->second;
    }
    return T{};
}

void UIButton::setTitle_forState(const std::string& title, UIControlState state)
{
    titles_[state] = title;
    refresh();
}

std::string UIButton::titleForState(UIControlState state) const { return lookup(titles_, state); }

void UIButton::setTitleColor_forState(const Ref<UIColor>& color, UIControlState state)
{
    if (color) {
        titleColors_[state] = color;
    } else {
        titleColors_.erase(state);
    }
    refresh();
}

Ref<UIColor> UIButton::titleColorForState(UIControlState state) const
{
    Ref<UIColor> color = lookup(titleColors_, state);
    return color ? color : UIColor::whiteColor();
}

void UIButton::setTitleShadowColor_forState(const Ref<UIColor>& color, UIControlState state)
{
    if (color) {
        titleShadowColors_[state] = color;
    } else {
        titleShadowColors_.erase(state);
    }
    refresh();
}

Ref<UIColor> UIButton::titleShadowColorForState(UIControlState state) const { return lookup(titleShadowColors_, state); }

void UIButton::setImage_forState(const Ref<UIImage>& image, UIControlState state)
{
    if (image) {
        images_[state] = image;
    } else {
        images_.erase(state);
    }
    refresh();
}

Ref<UIImage> UIButton::imageForState(UIControlState state) const { return lookup(images_, state); }

void UIButton::setBackgroundImage_forState(const Ref<UIImage>& image, UIControlState state)
{
    if (image) {
        backgroundImages_[state] = image;
    } else {
        backgroundImages_.erase(state);
    }
    refresh();
}

Ref<UIImage> UIButton::backgroundImageForState(UIControlState state) const { return lookup(backgroundImages_, state); }

void UIButton::setContentEdgeInsets(UIEdgeInsets insets)
{
    contentEdgeInsets_ = insets;
    setNeedsLayout();
}

void UIButton::setTitleEdgeInsets(UIEdgeInsets insets)
{
    titleEdgeInsets_ = insets;
    setNeedsLayout();
}

void UIButton::setImageEdgeInsets(UIEdgeInsets insets)
{
    imageEdgeInsets_ = insets;
    setNeedsLayout();
}

void UIButton::stateDidChange() { refresh(); }

void UIButton::refresh()
{
    if (!titleLabel_) {
        return;  // still being made
    }
    const std::string title = currentTitle();
    titleLabel_->setText(title);
    titleLabel_->setTextColor(currentTitleColor());
    titleLabel_->setShadowColor(currentTitleShadowColor());
    titleLabel_->setHidden(title.empty());
    imageView_->setImage(currentImage());
    imageView_->setHidden(!currentImage());
    backgroundView_->setImage(currentBackgroundImage());
    backgroundView_->setHidden(!currentBackgroundImage());
    setNeedsLayout();
}

CGSize UIButton::titleSize() const
{
    const std::string title = currentTitle();
    if (title.empty()) {
        return CGSizeZero;
    }
    return UIStringDrawing::sizeWithFont(title, titleLabel_->font());
}

CGRect UIButton::backgroundRectForBounds(CGRect bounds) { return bounds; }

CGRect UIButton::contentRectForBounds(CGRect bounds) { return UIEdgeInsetsInsetRect(bounds, contentEdgeInsets_); }

namespace {
// Where a box of `size` goes along one axis of `area` by the control's alignment (0 centre, 1 start,
// 2 end, 3 fill).
CGFloat place(CGFloat start, CGFloat extent, CGFloat size, NSInteger alignment)
{
    switch (alignment) {
    case 1:
    case 3:
        return start;
    case 2:
        return start + extent - size;
    default:
        return start + std::floor((extent - size) / 2);
    }
}
}  // namespace

CGRect UIButton::imageRectForContentRect(CGRect content)
{
    const Ref<UIImage> image = currentImage();
    if (!image) {
        return CGRectMake(CGRectGetMidX(content), CGRectGetMidY(content), 0, 0);
    }
    const CGSize size = image->size();
    const CGSize title = titleSize();
    const CGFloat width = std::min(size.width, content.size.width);
    const CGFloat height = std::min(size.height, content.size.height);
    const CGFloat x = place(content.origin.x, content.size.width, width + title.width, contentHorizontalAlignment());
    const CGFloat y = place(content.origin.y, content.size.height, height, contentVerticalAlignment());
    return UIEdgeInsetsInsetRect(CGRectMake(x, y, width, height), imageEdgeInsets_);
}

CGRect UIButton::titleRectForContentRect(CGRect content)
{
    const CGSize title = titleSize();
    if (title.width == 0) {
        return CGRectMake(CGRectGetMidX(content), CGRectGetMidY(content), 0, 0);
    }
    const Ref<UIImage> image = currentImage();
    const CGFloat imageWidth = image ? std::min(image->size().width, content.size.width) : 0;
    const CGFloat width = std::min(title.width, std::max(CGFloat(0), content.size.width - imageWidth));
    const CGFloat height = std::min(title.height, content.size.height);
    const CGFloat x =
        place(content.origin.x, content.size.width, imageWidth + width, contentHorizontalAlignment()) + imageWidth;
    const CGFloat y = place(content.origin.y, content.size.height, height, contentVerticalAlignment());
    return UIEdgeInsetsInsetRect(CGRectMake(x, y, width, height), titleEdgeInsets_);
}

void UIButton::layoutSubviews()
{
    const CGRect b = bounds();
    backgroundView_->setFrame(backgroundRectForBounds(b));
    const CGRect content = contentRectForBounds(b);
    imageView_->setFrame(imageRectForContentRect(content));
    titleLabel_->setFrame(titleRectForContentRect(content));
}

CGSize UIButton::sizeThatFits(CGSize) const
{
    const CGSize title = titleSize();
    const Ref<UIImage> image = currentImage();
    const CGSize imageSize = image ? image->size() : CGSizeZero;
    CGSize size{title.width + imageSize.width, std::max(title.height, imageSize.height)};
    if (const Ref<UIImage> background = currentBackgroundImage()) {
        size.width = std::max(size.width, background->size().width);
        size.height = std::max(size.height, background->size().height);
    }
    size.width += contentEdgeInsets_.left + contentEdgeInsets_.right;
    size.height += contentEdgeInsets_.top + contentEdgeInsets_.bottom;
    return size;
}
