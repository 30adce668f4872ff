#pragma once
// The interface's geometry helpers: insets and offsets, on top of the drawing model's geometry.
#include <string>

#include "platform/graphics/CGGeometry.h"

struct UIEdgeInsets {
    CGFloat top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const UIEdgeInsets&) const = default;
};

struct UIOffset {
    CGFloat horizontal = 0, vertical = 0;
    bool operator==(const UIOffset&) const = default;
};

inline constexpr UIEdgeInsets UIEdgeInsetsZero{};
inline constexpr UIOffset UIOffsetZero{};

inline constexpr UIEdgeInsets UIEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right)
{
    return {top, left, bottom, right};
}
inline constexpr UIOffset UIOffsetMake(CGFloat horizontal, CGFloat vertical) { return {horizontal, vertical}; }
inline constexpr bool UIEdgeInsetsEqualToEdgeInsets(UIEdgeInsets a, UIEdgeInsets b) { return a == b; }

inline CGRect UIEdgeInsetsInsetRect(CGRect r, UIEdgeInsets insets)
{
    r.origin.x += insets.left;
    r.origin.y += insets.top;
    r.size.width -= insets.left + insets.right;
    r.size.height -= insets.top + insets.bottom;
    return r;
}

// "{top, left, bottom, right}"
std::string NSStringFromUIEdgeInsets(UIEdgeInsets insets);
