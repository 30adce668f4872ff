// The plain look of the standard controls: flat colours, rounded boxes and legible text, in the
// edition's blue tint. It is not the phone's look; it lets a person see what each control is and
// what state it is in. Labels, image views and buttons' titles and images draw themselves (their
// subviews); what is here is the rest.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIToolbar.h"

namespace {
namespace UIStandardLook_cpp {

CGColorRef rgb(double r, double g, double b, double a = 1) { return CGColor::createRGB(r, g, b, a); }
CGColorRef grey(double w, double a = 1) { return CGColor::createGray(w, a); }
CGColorRef tint() { return rgb(0.16, 0.44, 0.76); }
CGColorRef barTint() { return rgb(0.24, 0.35, 0.50); }

CGColorRef colourOr(const Ref<UIColor>& color, CGColorRef fallback)
{
    return color ? color->CGColor() : std::move(fallback);
}

void fillRounded(const CGContextRef& c, CGRect rect, CGFloat radius, const CGColorRef& color)
{
    c->saveGState();
    c->setFillColor(color);
    c->beginPath();
    c->addPath(CGPathCreateWithRoundedRect(rect, radius, radius, nullptr));
    c->fillPath();
    c->restoreGState();
}

void strokeRounded(const CGContextRef& c, CGRect rect, CGFloat radius, const CGColorRef& color, CGFloat width = 1)
{
    c->saveGState();
    c->setStrokeColor(color);
    c->setLineWidth(width);
    c->beginPath();
    c->addPath(CGPathCreateWithRoundedRect(CGRectInset(rect, width / 2, width / 2), radius, radius, nullptr));
    c->strokePath();
    c->restoreGState();
}

void fillRect(const CGContextRef& c, CGRect rect, const CGColorRef& color)
{
    c->saveGState();
    c->setFillColor(color);
    c->fillRect(rect);
    c->restoreGState();
}

void line(const CGContextRef& c, CGPoint a, CGPoint b, const CGColorRef& color, CGFloat width = 1)
{
    c->saveGState();
    c->setStrokeColor(color);
    c->setLineWidth(width);
    c->beginPath();
    c->moveToPoint(a.x, a.y);
    c->addLineToPoint(b.x, b.y);
    c->strokePath();
    c->restoreGState();
}

// Text centred in rect on one line, in the colour.
void centredText(const CGContextRef& c, const std::string& text, CGRect rect, const Ref<UIFont>& font,
                 const CGColorRef& color)
{
    if (text.empty() || !font) {
        return;
    }
    c->saveGState();
    c->setFillColor(color);
    const CGSize size = UIStringDrawing::sizeWithFont_forWidth_lineBreakMode(text, font, rect.size.width,
                                                                             UILineBreakModeTailTruncation);
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
        text, CGRectMake(rect.origin.x, rect.origin.y + std::round((rect.size.height - size.height) / 2),
                         rect.size.width, size.height),
        font, UILineBreakModeTailTruncation, UITextAlignmentCenter);
    c->restoreGState();
}

// A bar's flat fill with a lighter top line and a darker bottom line.
void drawBar(const CGContextRef& c, CGRect b, UIBarStyle style, const Ref<UIColor>& tintColor)
{
    const CGColorRef fill = tintColor ? tintColor->CGColor() : style != UIBarStyleDefault ? grey(0.1) : barTint();
    fillRect(c, b, fill);
    fillRect(c, CGRectMake(b.origin.x, b.origin.y, b.size.width, 1), grey(1, 0.25));
    fillRect(c, CGRectMake(b.origin.x, CGRectGetMaxY(b) - 1, b.size.width, 1), grey(0, 0.35));
}

// The room an alert's or a sheet's texts and buttons take.
constexpr CGFloat kAlertWidth = 284;
constexpr CGFloat kButtonHeight = 44;

CGFloat textHeight(const std::string& text, const Ref<UIFont>& font, CGFloat width)
{
    return text.empty() ? 0 : UIStringDrawing::sizeWithFont_constrainedToSize(text, font, {width, 1e6}).height;
}

}  // namespace UIStandardLook_cpp
}  // namespace

using namespace UIStandardLook_cpp;

void UISwitch::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const CGFloat h = std::min(b.size.height, CGFloat(27));
    const CGRect track = CGRectMake(b.origin.x, b.origin.y + (b.size.height - h) / 2, std::min(b.size.width, CGFloat(79)), h);
    fillRounded(c, track, h / 2, isOn() ? colourOr(onTintColor(), tint()) : grey(0.85));
    strokeRounded(c, track, h / 2, grey(0.55));
    const CGFloat knob = h - 4;
    const CGFloat x = isOn() ? CGRectGetMaxX(track) - 2 - knob : track.origin.x + 2;
    fillRounded(c, CGRectMake(x, track.origin.y + 2, knob, knob), knob / 2, grey(1));
    strokeRounded(c, CGRectMake(x, track.origin.y + 2, knob, knob), knob / 2, grey(0.6));
    centredText(c, isOn() ? "ON" : "OFF",
                isOn() ? CGRectMake(track.origin.x + 4, track.origin.y, x - track.origin.x - 4, h)
                       : CGRectMake(x + knob, track.origin.y, CGRectGetMaxX(track) - x - knob - 4, h),
                UIFont::boldSystemFontOfSize(12), isOn() ? grey(1) : grey(0.4));
}

void UISlider::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const CGFloat range = maximumValue() - minimumValue();
    const CGFloat fraction = range > 0 ? std::clamp((value() - minimumValue()) / range, CGFloat(0), CGFloat(1)) : 0;
    const CGFloat knob = std::min(b.size.height, CGFloat(23));
    const CGFloat left = b.origin.x + knob / 2, right = CGRectGetMaxX(b) - knob / 2;
    const CGFloat y = CGRectGetMidY(b);
    const CGFloat x = left + (right - left) * fraction;
    fillRounded(c, CGRectMake(left, y - 2, right - left, 4), 2, grey(0.75));
    fillRounded(c, CGRectMake(left, y - 2, x - left, 4), 2, tint());
    fillRounded(c, CGRectMake(x - knob / 2, y - knob / 2, knob, knob), knob / 2, grey(1));
    strokeRounded(c, CGRectMake(x - knob / 2, y - knob / 2, knob, knob), knob / 2, grey(0.55));
}

void UIProgressView::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const CGFloat h = std::min(b.size.height, CGFloat(9));
    const CGRect track = CGRectMake(b.origin.x, CGRectGetMidY(b) - h / 2, b.size.width, h);
    fillRounded(c, track, h / 2, grey(0.85));
    const CGFloat done = std::clamp(CGFloat(progress()), CGFloat(0), CGFloat(1));
    if (done > 0) {
        fillRounded(c, CGRectMake(track.origin.x, track.origin.y, std::max(track.size.width * done, h), h), h / 2,
                    tint());
    }
}

void UIPageControl::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const NSInteger pages = numberOfPages();
    if (pages <= 0 || (pages == 1 && hidesForSinglePage())) {
        return;
    }
    constexpr CGFloat dot = 7, gap = 9;
    const CGFloat width = CGFloat(pages) * dot + CGFloat(pages - 1) * gap;
    CGFloat x = CGRectGetMidX(b) - width / 2;
    for (NSInteger i = 0; i < pages; ++i, x += dot + gap) {
        c->saveGState();
        c->setFillColor(i == currentPage() ? grey(1) : grey(1, 0.35));
        c->fillEllipseInRect(CGRectMake(x, CGRectGetMidY(b) - dot / 2, dot, dot));
        c->restoreGState();
    }
}

void UIActivityIndicatorView::drawRect(CGRect)
{
    if (!isAnimating() && hidesWhenStopped()) {
        return;
    }
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const bool large = activityIndicatorViewStyle() == UIActivityIndicatorViewStyleWhiteLarge;
    const CGFloat radius = std::min(b.size.width, b.size.height) / 2;
    const CGPoint centre{CGRectGetMidX(b), CGRectGetMidY(b)};
    const bool gray = activityIndicatorViewStyle() == UIActivityIndicatorViewStyleGray;
    // Twelve spokes, fading round the circle.
    for (int i = 0; i < 12; ++i) {
        const double angle = i * std::numbers::pi / 6;
        const double alpha = 0.25 + 0.75 * i / 11.0;
        const CGPoint inner{centre.x + radius * 0.5 * std::cos(angle), centre.y + radius * 0.5 * std::sin(angle)};
        const CGPoint outer{centre.x + radius * 0.95 * std::cos(angle), centre.y + radius * 0.95 * std::sin(angle)};
        c->saveGState();
        c->setLineCap(kCGLineCapRound);
        line(c, inner, outer, gray ? grey(0.4, alpha) : grey(1, alpha), large ? 4 : 2);
        c->restoreGState();
    }
}

void UITextField::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    switch (borderStyle()) {
    case UITextBorderStyleRoundedRect:
        fillRounded(c, b, 6, grey(1));
        strokeRounded(c, b, 6, grey(0.6));
        break;
    case UITextBorderStyleBezel:
    case UITextBorderStyleLine:
        fillRect(c, b, grey(1));
        strokeRounded(c, b, 0, grey(0.4));
        break;
    default:
        break;
    }
    const Ref<UIFont> font = this->font() ? this->font() : UIFont::systemFontOfSize(17);
    const bool empty = text().empty();
    const std::string shown = shownText();
    const CGRect area = textArea();
    const NSRange selection = selectedRange();
    if (isEditing() && selection.length > 0) {
        const CGRect from = caretRectForIndex(selection.location);
        const CGRect to = caretRectForIndex(NSMaxRange(selection));
        fillRect(c, CGRectMake(from.origin.x, from.origin.y, to.origin.x - from.origin.x, from.size.height),
                 rgb(0.70, 0.82, 0.96));
    }
    const CGSize size = UIStringDrawing::sizeWithFont(empty ? placeholder() : shown, font);
    c->saveGState();
    c->setFillColor(empty ? grey(0.7) : colourOr(textColor(), grey(0)));
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
        empty ? placeholder() : shown,
        CGRectMake(area.origin.x, area.origin.y + std::round((area.size.height - size.height) / 2), area.size.width,
                   size.height),
        font, UILineBreakModeTailTruncation, textAlignment());
    c->restoreGState();
    if (isEditing() && selection.length == 0 && isCaretShown()) {
        fillRect(c, caretRectForIndex(selection.location), tint());
    }
}

void UISegmentedControl::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const NSUInteger count = numberOfSegments();
    fillRounded(c, b, 5, grey(1));
    if (count == 0) {
        strokeRounded(c, b, 5, tint());
        return;
    }
    const CGFloat width = b.size.width / CGFloat(count);
    for (NSUInteger i = 0; i < count; ++i) {
        const CGRect segment = CGRectMake(b.origin.x + width * CGFloat(i), b.origin.y, width, b.size.height);
        const bool selected = NSInteger(i) == selectedSegmentIndex();
        if (selected) {
            c->saveGState();
            c->clipToRect(segment);
            fillRounded(c, b, 5, tint());
            c->restoreGState();
        }
        if (i > 0) {
            line(c, {segment.origin.x, b.origin.y}, {segment.origin.x, CGRectGetMaxY(b)}, tint());
        }
        centredText(c, titleForSegmentAtIndex(i), CGRectInset(segment, 4, 0), UIFont::boldSystemFontOfSize(13),
                    selected ? grey(1) : tint());
    }
    strokeRounded(c, b, 5, tint());
}

void UINavigationBar::drawRect(CGRect)
{
    drawBar(UIGraphicsGetCurrentContext(), bounds(), barStyle(), tintColor());
}

void UINavigationBackButton::drawRect(CGRect)
{
    // A rounded tile whose left end is a point, darker at the edge, lighter when pressed.
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const auto shape = [&](CGFloat inset, CGFloat radius) {
        const CGFloat left = b.origin.x + inset;
        const CGFloat right = CGRectGetMaxX(b) - inset;
        const CGFloat top = b.origin.y + inset;
        const CGFloat bottom = CGRectGetMaxY(b) - inset;
        const CGMutablePathRef path = CGPathCreateMutable();
        CGPathMoveToPoint(path, nullptr, left + 10, top);
        CGPathAddArcToPoint(path, nullptr, right, top, right, bottom, radius);
        CGPathAddArcToPoint(path, nullptr, right, bottom, left, bottom, radius);
        CGPathAddLineToPoint(path, nullptr, left + 10, bottom);
        CGPathAddLineToPoint(path, nullptr, left, CGRectGetMidY(b));
        CGPathCloseSubpath(path);
        return path;
    };
    c->saveGState();
    c->beginPath();
    c->addPath(shape(0.5, 6));
    c->setFillColor(rgb(0.10, 0.17, 0.28));
    c->fillPath();
    c->beginPath();
    c->addPath(shape(1.5, 5));
    c->setFillColor(isHighlighted() ? rgb(0.16, 0.26, 0.40) : rgb(0.22, 0.36, 0.55));
    c->fillPath();
    c->restoreGState();
}

void UIToolbar::drawRect(CGRect)
{
    drawBar(UIGraphicsGetCurrentContext(), bounds(), barStyle(), tintColor());
}

void UIButton::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    switch (buttonType()) {
    case UIButtonTypeRoundedRect:
        fillRounded(c, b, 8, isHighlighted() ? tint() : grey(1));
        strokeRounded(c, b, 8, grey(0.6));
        break;
    case UIButtonTypeDetailDisclosure:
    case UIButtonTypeInfoLight:
    case UIButtonTypeInfoDark:
    case UIButtonTypeContactAdd: {
        const CGFloat d = std::min({b.size.width, b.size.height, CGFloat(22)});
        const CGRect circle = CGRectMake(CGRectGetMidX(b) - d / 2, CGRectGetMidY(b) - d / 2, d, d);
        c->saveGState();
        c->setFillColor(buttonType() == UIButtonTypeInfoLight ? grey(1) : tint());
        c->fillEllipseInRect(circle);
        c->restoreGState();
        centredText(c, buttonType() == UIButtonTypeContactAdd ? "+" : buttonType() == UIButtonTypeDetailDisclosure ? ">" : "i",
                    circle, UIFont::boldSystemFontOfSize(d * 0.6),
                    buttonType() == UIButtonTypeInfoLight ? tint() : grey(1));
        break;
    }
    default:
        break;
    }
}

void UITableViewCell::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    const bool lit = (isSelected() || isHighlighted()) && selectionStyle() != UITableViewCellSelectionStyleNone;
    if (lit) {
        fillRect(c, b, selectionStyle() == UITableViewCellSelectionStyleGray ? grey(0.8) : tint());
    }
    const CGFloat right = CGRectGetMaxX(b) - 15;
    const CGFloat mid = CGRectGetMidY(b);
    const UITableViewCellAccessoryType accessory = isEditing() ? editingAccessoryType() : accessoryType();
    if (!accessoryView() && accessory != UITableViewCellAccessoryNone) {
        c->saveGState();
        c->setLineCap(kCGLineCapRound);
        c->setLineJoin(kCGLineJoinRound);
        c->setLineWidth(2.5);
        c->setStrokeColor(accessory == UITableViewCellAccessoryCheckmark ? tint() : lit ? grey(1) : grey(0.55));
        c->beginPath();
        if (accessory == UITableViewCellAccessoryCheckmark) {
            c->moveToPoint(right - 12, mid);
            c->addLineToPoint(right - 7, mid + 5);
            c->addLineToPoint(right + 1, mid - 6);
        } else {
            c->moveToPoint(right - 5, mid - 6);
            c->addLineToPoint(right + 1, mid);
            c->addLineToPoint(right - 5, mid + 6);
        }
        c->strokePath();
        c->restoreGState();
    }
    // The separator under the row, as the table showing the cell asks for (a cell alone draws one).
    CGColorRef line = grey(0.88);
    for (Ref<UIView> up = superview(); up; up = up->superview()) {
        if (auto table = std::dynamic_pointer_cast<UITableView>(up)) {
            if (table->separatorStyle() == UITableViewCellSeparatorStyleNone) {
                line = nullptr;
            } else if (table->separatorColor()) {
                line = table->separatorColor()->CGColor();
            }
            break;
        }
    }
    if (line) {
        fillRect(c, CGRectMake(b.origin.x, CGRectGetMaxY(b) - 1, b.size.width, 1), line);
    }
}

CGSize UIAlertView::sizeThatFits(CGSize) const
{
    const CGFloat inner = kAlertWidth - 32;
    const CGFloat texts = 16 + textHeight(title(), UIFont::boldSystemFontOfSize(17), inner) + 8 +
                          textHeight(message(), UIFont::systemFontOfSize(15), inner) + 16;
    const NSInteger buttons = numberOfButtons();
    const CGFloat rows = buttons == 0 ? 0 : buttons <= 2 ? 1 : CGFloat(buttons);
    return {kAlertWidth, std::ceil(texts + rows * (kButtonHeight + 8) + 8)};
}

CGRect UIAlertView::buttonFrameAtIndex(NSInteger index) const
{
    const size_t n = buttonTitles().size();
    if (index < 0 || size_t(index) >= n) {
        return CGRectNull;
    }
    const CGFloat inner = bounds().size.width - 32;
    const CGFloat y = 16 + textHeight(title(), UIFont::boldSystemFontOfSize(17), inner) + 8 +
                      textHeight(message(), UIFont::systemFontOfSize(15), inner) + 16;
    const size_t i = size_t(index);
    if (n <= 2) {
        const CGFloat w = (inner - CGFloat(n - 1) * 8) / CGFloat(n);
        return CGRectMake(16 + CGFloat(i) * (w + 8), y, w, kButtonHeight);
    }
    return CGRectMake(16, y + CGFloat(i) * (kButtonHeight + 8), inner, kButtonHeight);
}

void UIAlertView::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    // Opaque: the text behind must not show through the box's own text (the screen behind is dimmed).
    fillRounded(c, b, 10, rgb(0.16, 0.22, 0.36));
    strokeRounded(c, b, 10, grey(1, 0.8), 2);
    const CGFloat inner = b.size.width - 32;
    CGFloat y = 16;
    c->saveGState();
    c->setFillColor(grey(1));
    const auto titleFont = UIFont::boldSystemFontOfSize(17);
    const auto messageFont = UIFont::systemFontOfSize(15);
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(title(), CGRectMake(16, y, inner, 1e6), titleFont,
                                                                 UILineBreakModeWordWrap, UITextAlignmentCenter);
    y += textHeight(title(), titleFont, inner) + 8;
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(message(), CGRectMake(16, y, inner, 1e6),
                                                                 messageFont, UILineBreakModeWordWrap,
                                                                 UITextAlignmentCenter);
    c->restoreGState();
    const auto& titles = buttonTitles();
    for (size_t i = 0; i < titles.size(); ++i) {
        const CGRect button = buttonFrameAtIndex(NSInteger(i));
        const bool cancel = NSInteger(i) == cancelButtonIndex();
        fillRounded(c, button, 6, cancel ? grey(1, 0.15) : grey(1, 0.3));
        strokeRounded(c, button, 6, grey(0, 0.4));
        centredText(c, titles[i], CGRectInset(button, 6, 0),
                    cancel ? UIFont::systemFontOfSize(17) : UIFont::boldSystemFontOfSize(17), grey(1));
    }
}

CGSize UIActionSheet::sizeThatFits(CGSize size) const
{
    const CGFloat inner = std::max(size.width, CGFloat(320)) - 40;
    const CGFloat texts = title().empty() ? 12 : 12 + textHeight(title(), UIFont::systemFontOfSize(13), inner) + 12;
    return {size.width > 0 ? size.width : 320, std::ceil(texts + CGFloat(numberOfButtons()) * (kButtonHeight + 8) + 12)};
}

CGRect UIActionSheet::buttonFrameAtIndex(NSInteger index) const
{
    if (index < 0 || index >= numberOfButtons()) {
        return CGRectNull;
    }
    const CGFloat inner = bounds().size.width - 40;
    const CGFloat y = title().empty() ? 12 : 12 + textHeight(title(), UIFont::systemFontOfSize(13), inner) + 12;
    return CGRectMake(20, y + CGFloat(index) * (kButtonHeight + 8), inner, kButtonHeight);
}

void UIActionSheet::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    fillRect(c, b, rgb(0.16, 0.22, 0.36));
    const CGFloat inner = b.size.width - 40;
    if (!title().empty()) {
        c->saveGState();
        c->setFillColor(grey(0.85));
        const auto font = UIFont::systemFontOfSize(13);
        UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(title(), CGRectMake(20, 12, inner, 1e6), font,
                                                                     UILineBreakModeWordWrap, UITextAlignmentCenter);
        c->restoreGState();
    }
    const auto& titles = buttonTitles();
    for (size_t i = 0; i < titles.size(); ++i) {
        const CGRect button = buttonFrameAtIndex(NSInteger(i));
        const bool destructive = NSInteger(i) == destructiveButtonIndex();
        const bool cancel = NSInteger(i) == cancelButtonIndex();
        fillRounded(c, button, 6, destructive ? rgb(0.8, 0.15, 0.15) : cancel ? grey(0.25) : grey(0.95));
        centredText(c, titles[i], CGRectInset(button, 6, 0), UIFont::boldSystemFontOfSize(17),
                    destructive || cancel ? grey(1) : grey(0.1));
    }
}
