#include "widgets/BadgedCell.h"

#include <cmath>

#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace BadgedCell_cpp {

constexpr CGFloat kFontSize = 11;
constexpr CGFloat kBadgeHeight = 18;
constexpr CGFloat kDefaultRadius = 4;

Ref<UIColor> highlightedOrWhite(const Ref<UIColor>& color) { return color ? color : UIColor::whiteColor(); }
Ref<UIColor> colorOrDefault(const Ref<UIColor>& color) { return color ? color : BadgeDefaultColor(); }

void shadowUnderLabel(const Ref<UILabel>& label)
{
    if (!label) {
        return;
    }
    label->layer()->setShadowOffset(CGSizeMake(0, 1));
    label->layer()->setShadowRadius(1);
    label->layer()->setShadowOpacity(0.8f);
}

// Narrows a label that reaches the badge by the badge's width and a 10-point gap.
void keepClearOfBadge(const Ref<UILabel>& label, CGRect badge)
{
    if (!label) {
        return;
    }
    CGRect frame = label->frame();
    if (badge.origin.x <= frame.origin.x + frame.size.width) {
        frame.size.width -= badge.size.width + 10;
        label->setFrame(frame);
    }
}

}  // namespace BadgedCell_cpp
}  // namespace

Ref<UIColor> BadgeDefaultColor()
{
    return UIColor::colorWithRed_green_blue_alpha(0.530, 0.600, 0.738, 1.0);
}

// --- BadgeView -------------------------------------------------------------------------------------

void BadgeView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setBackgroundColor(UIColor::clearColor());
}

BadgeView::~BadgeView() = default;

bool BadgeView::parentShowsHighlight() const
{
    const Ref<UITableViewCell> cell = parent();
    return cell && cell->selectionStyle() != UITableViewCellSelectionStyleNone &&
           (cell->isHighlighted() || cell->isSelected());
}

void BadgeView::drawRect(CGRect rect)
{
    using namespace BadgedCell_cpp;
    CGFloat fontSize = kFontSize;
    const CGFloat textWidth = UIStringDrawing::sizeWithFont(badgeString_, UIFont::boldSystemFontOfSize(fontSize)).width;
    CGFloat badgeWidth = textWidth + 12;
    CGRect textBox = CGRectMake((badgeWidth - textWidth) / 2 + 0.5, 2, badgeWidth, kBadgeHeight);
    CGFloat cornerRadius = radius_ != 0 ? radius_ : kDefaultRadius;
    const bool highlighted = parentShowsHighlight();
    const Ref<UIColor> fill = highlighted ? highlightedOrWhite(badgeColorHighlighted_) : colorOrDefault(badgeColor_);

    // The badge is drawn as a picture of a rounded layer with the letters punched out of it; on a
    // screen of scale 2 the picture has twice the pixels and is drawn into the same rectangle.
    const Ref<CALayer> badge = CALayer::layer();
    badge->setFrame(rect);
    if (UIScreen::mainScreen()->scale() == 2) {
        badge->setFrame(CGRectMake(rect.origin.x, rect.origin.y, rect.size.width * 2, rect.size.height * 2));
        fontSize = kFontSize * 2;
        textBox.origin.x = badgeWidth - textWidth + 1;
        textBox.origin.y = 5;
        badgeWidth *= 2;
        textBox.size.width = badgeWidth;
        // The letters' box grows with them, so that the clip does not cut off their feet.
        textBox.size.height = kBadgeHeight * 2;
        cornerRadius *= 2;
    }
    badge->setBackgroundColor(fill->CGColor());
    badge->setCornerRadius(cornerRadius);

    UIGraphicsBeginImageContext(badge->frame().size);
    const CGContextRef picture = UIGraphicsGetCurrentContext();
    badge->renderInContext(picture);
    CGContextSaveGState(picture);
    CGContextClipToRect(picture, textBox);
    CGContextSetBlendMode(picture, kCGBlendModeClear);
    UIStringDrawing::drawInRect_withFont(badgeString_, textBox, UIFont::boldSystemFontOfSize(fontSize));
    CGContextRestoreGState(picture);
    CGContextSetBlendMode(picture, kCGBlendModeNormal);
    const Ref<UIImage> image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (image) {
        image->drawInRect(rect);
    }

    const Ref<CALayer> own = layer();
    own->setCornerRadius(cornerRadius);
    if (highlighted && showShadow_) {
        own->setShadowOffset(CGSizeMake(0, 1));
        own->setShadowRadius(1);
        own->setShadowOpacity(0.8f);
    } else {
        own->setShadowOffset(CGSizeMake(0, 0));
        own->setShadowRadius(0);
        own->setShadowOpacity(0);
    }
}

// --- BadgedCell ------------------------------------------------------------------------------------

Ref<BadgedCell> BadgedCell::initWithCoder(const Value& archive)
{
    return makeWithStyle<BadgedCell>(UITableViewCellStyleDefault, archive["UIReuseIdentifier"].stringValue());
}

void BadgedCell::initWithStyle_reuseIdentifierBody(UITableViewCellStyle style, const std::string& reuseIdentifier)
{
    UITableViewCell::initWithStyle_reuseIdentifierBody(style, reuseIdentifier);
    configureSelf();
}

void BadgedCell::configureSelf()
{
    badge_ = BadgeView::initWithFrame(CGRectZero);
    badge_->setParent(self<UITableViewCell>());
    contentView()->addSubview(badge_);
    badge_->setNeedsDisplay();
}

void BadgedCell::setBadgeString(const std::string& text)
{
    badgeString_ = text;
    setNeedsLayout();
}

void BadgedCell::layoutSubviews()
{
    using namespace BadgedCell_cpp;
    UITableViewCell::layoutSubviews();
    if (badgeString_.empty()) {
        badge_->setHidden(true);
        return;
    }
    badge_->setHidden(isEditing());
    const CGFloat textWidth = UIStringDrawing::sizeWithFont(badgeString_, UIFont::boldSystemFontOfSize(kFontSize)).width;
    const CGSize content = contentView()->bounds().size;
    const CGRect frame = CGRectMake(content.width - (textWidth + 25), std::round((content.height - kBadgeHeight) / 2),
                                    textWidth + 13, kBadgeHeight);
    badge_->setShowShadow(showShadow_);
    badge_->setFrame(frame);
    badge_->setBadgeString(badgeString_);
    badge_->setNeedsDisplay();
    keepClearOfBadge(textLabel(), frame);
    keepClearOfBadge(detailTextLabel(), frame);
    badge_->setBadgeColorHighlighted(highlightedOrWhite(badgeColorHighlighted_));
    badge_->setBadgeColor(colorOrDefault(badgeColor_));
}

void BadgedCell::setHighlighted_animated(bool highlighted, bool animated)
{
    UITableViewCell::setHighlighted_animated(highlighted, animated);
    badge_->setNeedsDisplay();
    // The labels keep their shadow after the highlight ends, as they always have.
    if (showShadow_) {
        BadgedCell_cpp::shadowUnderLabel(textLabel());
        BadgedCell_cpp::shadowUnderLabel(detailTextLabel());
    }
}

void BadgedCell::setSelected_animated(bool selected, bool animated)
{
    UITableViewCell::setSelected_animated(selected, animated);
    badge_->setNeedsDisplay();
}

void BadgedCell::setEditing_animated(bool editing, bool animated)
{
    UITableViewCell::setEditing_animated(editing, animated);
    // A cell without a text keeps its badge hidden when editing ends.
    badge_->setHidden(editing || badgeString_.empty());
    badge_->setNeedsDisplay();
    setNeedsDisplay();
}
