#include "widgets/CountBadge.h"

#include <cmath>

#include "platform/foundation/NSString.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace CountBadge_cpp {

constexpr CGFloat kSide = 25;
constexpr CGFloat kSizingFontSize = 12;
constexpr CGFloat kTextFontSize = 13.5;

bool isShort(const std::string& text) { return NSString::length(text) < 2; }

// The pill: four quarter arcs of radius maxY x roundness, inset by a tenth of maxY from every edge.
void addPill(const CGContextRef& c, CGRect rect, CGFloat roundness)
{
    const CGFloat maxX = CGRectGetMaxX(rect), minX = CGRectGetMinX(rect);
    const CGFloat maxY = CGRectGetMaxY(rect), minY = CGRectGetMinY(rect);
    const CGFloat radius = maxY * roundness;
    const CGFloat inset = maxY * 0.1;
    c->beginPath();
    c->addArc(maxX - inset - radius, minY + inset + radius, radius, 3 * M_PI / 2, 0, false);
    c->addArc(maxX - inset - radius, maxY - inset - radius, radius, 0, M_PI / 2, false);
    c->addArc(minX + inset + radius, maxY - inset - radius, radius, M_PI / 2, M_PI, false);
    c->addArc(minX + inset + radius, minY + inset + radius, radius, M_PI, 3 * M_PI / 2, false);
}

}  // namespace CountBadge_cpp
}  // namespace

Ref<CountBadge> CountBadge::initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
    const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
    const Ref<UIColor>& frameColor, CGFloat scale, bool shining)
{
    auto badge = std::make_shared<CountBadge>();
    badge->initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShiningBody(
        text, textColor, insetColor, frame, frameColor, scale, shining);
    return badge;
}

Ref<CountBadge> CountBadge::initWithString_withScale_withShining(const std::string& text, CGFloat scale, bool shining)
{
    return initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
        text, UIColor::whiteColor(), UIColor::redColor(), true, UIColor::whiteColor(), scale, shining);
}

Ref<CountBadge> CountBadge::countBadgeWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
    const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
    const Ref<UIColor>& frameColor, CGFloat scale, bool shining)
{
    return initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShining(
        text, textColor, insetColor, frame, frameColor, scale, shining);
}

Ref<CountBadge> CountBadge::countBadgeWithString(const std::string& text)
{
    return initWithString_withScale_withShining(text, 1.0, true);
}

void CountBadge::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setContentScaleFactor(UIScreen::mainScreen()->scale());
    setBackgroundColor(UIColor::clearColor());
    badgeCornerRoundness_ = 0.4;
}

void CountBadge::initWithString_withStringColor_withInsetColor_withBadgeFrame_withBadgeFrameColor_withScale_withShiningBody(
    const std::string& text, const Ref<UIColor>& textColor, const Ref<UIColor>& insetColor, bool frame,
    const Ref<UIColor>& frameColor, CGFloat scale, bool shining)
{
    using namespace CountBadge_cpp;
    initWithFrameBody(CGRectMake(0, 0, kSide, kSide));
    badgeText_ = text;
    badgeTextColor_ = textColor;
    badgeFrame_ = frame;
    badgeFrameColor_ = frameColor;
    badgeInsetColor_ = insetColor;
    badgeScaleFactor_ = scale;
    badgeShining_ = shining;
    autoBadgeSizeWithString(text);
}

void CountBadge::autoBadgeSizeWithString(const std::string& text)
{
    using namespace CountBadge_cpp;
    const CGFloat s = badgeScaleFactor_;
    CGSize size = CGSizeMake(kSide * s, kSide * s);
    if (!isShort(text)) {
        const CGFloat measured = UIStringDrawing::sizeWithFont(text, UIFont::boldSystemFontOfSize(kSizingFontSize)).width;
        size.width = (kSide + measured + CGFloat(NSString::length(text))) * s;
    }
    const CGRect old = frame();
    setFrame(CGRectMake(old.origin.x, old.origin.y, size.width, size.height));
    badgeText_ = text;
    setNeedsDisplay();
}

CGFloat CountBadge::frameLineWidth() const
{
    return badgeScaleFactor_ > 1 ? 2 + badgeScaleFactor_ * 0.25 : 2;
}

CGFloat CountBadge::textFontSize() const
{
    using namespace CountBadge_cpp;
    CGFloat size = kTextFontSize * badgeScaleFactor_;
    if (isShort(badgeText_)) {
        size += size * 0.2;
    }
    return size;
}

void CountBadge::drawRoundedRectWithContext_withRect(const CGContextRef& c, CGRect rect)
{
    CGContextSaveGState(c);
    CGContextSetFillColorWithColor(c, badgeInsetColor_ ? badgeInsetColor_->CGColor() : nullptr);
    CGContextSetShadowWithColor(c, CGSizeMake(1, 1), 3, UIColor::blackColor()->CGColor());
    CountBadge_cpp::addPill(c, rect, badgeCornerRoundness_);
    CGContextClosePath(c);
    CGContextFillPath(c);
    CGContextRestoreGState(c);
}

void CountBadge::drawShineWithContext_withRect(const CGContextRef& c, CGRect rect)
{
    CGContextSaveGState(c);
    CountBadge_cpp::addPill(c, rect, badgeCornerRoundness_);
    CGContextClip(c);
    const CGFloat locations[] = {0.0, 0.4};
    const CGFloat components[] = {0.92, 0.92, 0.92, 1.0, 0.82, 0.82, 0.82, 0.4};
    const CGGradientRef gradient =
        CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    const CGFloat maxY = CGRectGetMaxY(rect);
    CGContextDrawLinearGradient(c, gradient, CGPointMake(0, 0), CGPointMake(0, maxY - maxY * 0.1), 0);
    CGContextRestoreGState(c);
}

void CountBadge::drawFrameWithContext_withRect(const CGContextRef& c, CGRect rect)
{
    CountBadge_cpp::addPill(c, rect, badgeCornerRoundness_);
    CGContextClosePath(c);
    CGContextSetStrokeColorWithColor(c, badgeFrameColor_ ? badgeFrameColor_->CGColor() : nullptr);
    CGContextSetLineWidth(c, frameLineWidth());
    CGContextStrokePath(c);
}

void CountBadge::drawRect(CGRect rect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) {
        return;
    }
    drawRoundedRectWithContext_withRect(c, rect);
    if (badgeShining_) {
        drawShineWithContext_withRect(c, rect);
    }
    if (badgeFrame_) {
        drawFrameWithContext_withRect(c, rect);
    }
    if (badgeText_.empty()) {
        return;
    }
    const Ref<UIFont> font = UIFont::boldSystemFontOfSize(textFontSize());
    const CGSize text = UIStringDrawing::sizeWithFont(badgeText_, font);
    CGContextSetFillColorWithColor(c, badgeTextColor_ ? badgeTextColor_->CGColor() : nullptr);
    UIStringDrawing::drawAtPoint_withFont(
        badgeText_, CGPointMake(rect.size.width / 2 - text.width / 2, rect.size.height / 2 - text.height / 2), font);
}
