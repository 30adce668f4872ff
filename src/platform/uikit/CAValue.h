#pragma once
// The values layer animations and key paths carry (the platform boxes them as numbers and values):
// nothing, a number, a point, a size, a rectangle, a transform, a colour or an image.
#include <string>
#include <variant>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/CATransform3D.h"

using CAValue = std::variant<std::monostate, double, CGPoint, CGSize, CGRect, CATransform3D, CGColorRef, CGImageRef>;

inline bool CAValueIsNil(const CAValue& v) { return std::holds_alternative<std::monostate>(v); }
// The number a value holds (0 for anything else).
inline double CAValueNumber(const CAValue& v)
{
    const double* d = std::get_if<double>(&v);
    return d ? *d : 0;
}
bool CAValueEqual(const CAValue& a, const CAValue& b);  // colours by value, images by identity
std::string CAValueDescription(const CAValue& v);
