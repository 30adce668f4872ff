#include "platform/uikit/UIKeyboardView.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UITouch.h"

namespace {
namespace UIKeyboardView_cpp {

using Key = UIKeyboardView::Key;
using KeyKind = UIKeyboardView::KeyKind;

constexpr CGFloat kInsetX = 3;
constexpr CGFloat kInsetY = 6;

// A row of equal keys, `slot` points apart from x.
void addRow(std::vector<Key>& keys, const std::vector<std::string>& labels, CGFloat x, CGFloat slot, CGFloat top,
            CGFloat rowHeight)
{
    for (size_t i = 0; i < labels.size(); ++i) {
        keys.push_back({labels[i], KeyKind::Character,
                        CGRectMake(x + slot * CGFloat(i) + kInsetX, top + kInsetY, slot - 2 * kInsetX,
                                   rowHeight - 2 * kInsetY)});
    }
}

Key special(const std::string& label, KeyKind kind, CGFloat x, CGFloat width, CGFloat top, CGFloat rowHeight)
{
    return {label, kind, CGRectMake(x + kInsetX, top + kInsetY, width - 2 * kInsetX, rowHeight - 2 * kInsetY)};
}

bool isSpecial(KeyKind kind) { return kind != KeyKind::Character && kind != KeyKind::Space; }

}  // namespace UIKeyboardView_cpp
}  // namespace

void UIKeyboardView::setPage(Page page)
{
    page_ = page;
    shifted_ = false;
    pressed_ = -1;
    setNeedsDisplay();
}

std::vector<UIKeyboardView::Key> UIKeyboardView::keys() const
{
    using namespace UIKeyboardView_cpp;
    const CGFloat width = bounds().size.width;
    const CGFloat row = bounds().size.height / 4;
    const CGFloat unit = width / 10;  // one letter's slot
    std::vector<Key> keys;
    switch (page_) {
    case Letters: {
        auto cased = [this](std::vector<std::string> labels) {
            if (shifted_) {
                for (std::string& l : labels) l[0] = char(std::toupper(static_cast<unsigned char>(l[0])));
            }
            return labels;
        };
        addRow(keys, cased({"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"}), 0, unit, 0, row);
        addRow(keys, cased({"a", "s", "d", "f", "g", "h", "j", "k", "l"}), unit / 2, unit, row, row);
        keys.push_back(special("shift", KeyKind::Shift, 0, unit * 1.5, 2 * row, row));
        addRow(keys, cased({"z", "x", "c", "v", "b", "n", "m"}), unit * 1.5, unit, 2 * row, row);
        keys.push_back(special("delete", KeyKind::Delete, width - unit * 1.5, unit * 1.5, 2 * row, row));
        keys.push_back(special("123", KeyKind::ToDigits, 0, unit * 2, 3 * row, row));
        break;
    }
    case Digits:
    case Symbols: {
        if (page_ == Digits) {
            addRow(keys, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"}, 0, unit, 0, row);
            addRow(keys, {"-", "/", ":", ";", "(", ")", "¥", "&", "@", "\""}, 0, unit, row, row);
            keys.push_back(special("#+=", KeyKind::ToSymbols, 0, unit * 1.5, 2 * row, row));
        } else {
            addRow(keys, {"[", "]", "{", "}", "#", "%", "^", "*", "+", "="}, 0, unit, 0, row);
            addRow(keys, {"_", "\\", "|", "~", "<", ">", "$", "€", "£", "•"}, 0, unit, row, row);
            keys.push_back(special("123", KeyKind::ToDigits, 0, unit * 1.5, 2 * row, row));
        }
        addRow(keys, {".", ",", "?", "!", "'"}, unit * 1.5, (width - 3 * unit) / 5, 2 * row, row);
        keys.push_back(special("delete", KeyKind::Delete, width - unit * 1.5, unit * 1.5, 2 * row, row));
        keys.push_back(special("ABC", KeyKind::ToLetters, 0, unit * 2, 3 * row, row));
        break;
    }
    }
    keys.push_back(special("hide", KeyKind::Hide, unit * 2, unit * 1.5, 3 * row, row));
    keys.push_back(special("space", KeyKind::Space, unit * 3.5, width - unit * 6, 3 * row, row));
    keys.push_back(special("return", KeyKind::Return, width - unit * 2.5, unit * 2.5, 3 * row, row));
    return keys;
}

CGRect UIKeyboardView::frameOfKey(const std::string& label) const
{
    for (const Key& key : keys()) {
        if (key.label == label) return key.frame;
    }
    return CGRectNull;
}

std::string UIKeyboardView::titleForReturnKeyType(NSInteger type)
{
    switch (type) {
    case UIReturnKeyGo: return "前往";
    case UIReturnKeyGoogle: return "搜索";
    case UIReturnKeyJoin: return "加入";
    case UIReturnKeyNext: return "下一项";
    case UIReturnKeyRoute: return "路线";
    case UIReturnKeySearch: return "搜索";
    case UIReturnKeySend: return "发送";
    case UIReturnKeyYahoo: return "搜索";
    case UIReturnKeyDone: return "完成";
    case UIReturnKeyEmergencyCall: return "紧急呼叫";
    default: return "换行";
    }
}

std::string UIKeyboardView::returnKeyTitle() const
{
    auto traits = dynamic_cast<UITextInputTraits*>(UIKeyboard::inputResponder().get());
    return titleForReturnKeyType(traits ? traits->returnKeyType() : UIReturnKeyDefault);
}

void UIKeyboardView::drawRect(CGRect)
{
    using namespace UIKeyboardView_cpp;
    const CGContextRef c = UIGraphicsGetCurrentContext();
    c->saveGState();
    c->setFillColor(CGColor::createRGB(0.80, 0.82, 0.85, 1));
    c->fillRect(bounds());
    const std::vector<Key> all = keys();
    const Ref<UIFont> letterFont = UIFont::systemFontOfSize(20);
    const Ref<UIFont> wordFont = UIFont::systemFontOfSize(14);
    for (size_t i = 0; i < all.size(); ++i) {
        const Key& key = all[i];
        const bool pressed = int(i) == pressed_;
        const bool lit = pressed || (key.kind == KeyKind::Shift && shifted_);
        const CGRect r = key.frame;
        // The key's shadow line, then the key.
        c->setFillColor(CGColor::createRGB(0.53, 0.55, 0.58, 1));
        c->beginPath();
        c->addPath(CGPathCreateWithRoundedRect(CGRectOffset(r, 0, 1), 5, 5, nullptr));
        c->fillPath();
        c->setFillColor(lit ? CGColor::createRGB(0.16, 0.44, 0.76, 1)
                            : isSpecial(key.kind) ? CGColor::createRGB(0.68, 0.70, 0.74, 1)
                                                  : CGColor::createGray(1, 1));
        c->beginPath();
        c->addPath(CGPathCreateWithRoundedRect(r, 5, 5, nullptr));
        c->fillPath();
        std::string caption = key.label;
        Ref<UIFont> font = letterFont;
        switch (key.kind) {
        case KeyKind::Shift: caption = "⇧"; break;
        case KeyKind::Delete: caption = "⌫"; break;
        case KeyKind::Space: caption = "空格"; font = wordFont; break;
        case KeyKind::Return: caption = returnKeyTitle(); font = wordFont; break;
        case KeyKind::Hide: caption = "收起"; font = wordFont; break;
        case KeyKind::Character: break;
        default: font = wordFont; break;
        }
        const CGSize size = UIStringDrawing::sizeWithFont(caption, font);
        c->setFillColor(lit ? CGColor::createGray(1, 1) : CGColor::createGray(0, 1));
        UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(
            caption, CGRectMake(r.origin.x, r.origin.y + std::round((r.size.height - size.height) / 2), r.size.width,
                                size.height),
            font, UILineBreakModeClip, UITextAlignmentCenter);
    }
    c->restoreGState();
}

int UIKeyboardView::keyIndexAt(CGPoint point) const
{
    const std::vector<Key> all = keys();
    // The nearest key: the gaps between keys belong to the key beside them, as on the phone.
    int best = -1;
    CGFloat bestDistance = 1e9;
    for (size_t i = 0; i < all.size(); ++i) {
        const CGRect r = all[i].frame;
        const CGFloat dx = std::max<CGFloat>({r.origin.x - point.x, 0, point.x - CGRectGetMaxX(r)});
        const CGFloat dy = std::max<CGFloat>({r.origin.y - point.y, 0, point.y - CGRectGetMaxY(r)});
        const CGFloat d = dx * dx + dy * dy;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return bestDistance <= 36 ? best : -1;
}

void UIKeyboardView::press(const Key& key)
{
    switch (key.kind) {
    case KeyKind::Character:
        UIKeyboard::typeText(key.label);
        if (shifted_) {
            shifted_ = false;
        }
        break;
    case KeyKind::Shift:
        shifted_ = !shifted_;
        break;
    case KeyKind::Delete:
        UIKeyboard::pressDelete();
        break;
    case KeyKind::Space:
        UIKeyboard::typeText(" ");
        break;
    case KeyKind::Return:
        UIKeyboard::pressReturn();
        break;
    case KeyKind::ToLetters:
        setPage(Letters);
        break;
    case KeyKind::ToDigits:
        setPage(Digits);
        break;
    case KeyKind::ToSymbols:
        setPage(Symbols);
        break;
    case KeyKind::Hide:
        if (Ref<UIResponder> input = UIKeyboard::inputResponder()) {
            input->resignFirstResponder();
        }
        return;
    }
    setNeedsDisplay();
}

void UIKeyboardView::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    if (Ref<UITouch> touch = touches.anyObject()) {
        pressed_ = keyIndexAt(touch->locationInView(self<UIView>()));
        setNeedsDisplay();
    }
}

void UIKeyboardView::touchesMoved_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    if (Ref<UITouch> touch = touches.anyObject()) {
        const int now = keyIndexAt(touch->locationInView(self<UIView>()));
        if (now != pressed_) {
            pressed_ = now;
            setNeedsDisplay();
        }
    }
}

void UIKeyboardView::touchesEnded_withEvent(const UITouchSet& touches, const Ref<UIEvent>&)
{
    Ref<UIView> keep = self<UIView>();
    const int pressed = pressed_;
    pressed_ = -1;
    setNeedsDisplay();
    Ref<UITouch> touch = touches.anyObject();
    if (!touch || pressed < 0 || keyIndexAt(touch->locationInView(keep)) != pressed) {
        return;
    }
    const std::vector<Key> all = keys();
    press(all[size_t(pressed)]);
}

void UIKeyboardView::touchesCancelled_withEvent(const UITouchSet&, const Ref<UIEvent>&)
{
    pressed_ = -1;
    setNeedsDisplay();
}
