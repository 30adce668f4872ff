#pragma once
// Geometry of the drawing model: points, sizes, rectangles and affine transforms.
//
// CGFloat is a double here (the phone's 32-bit builds use float); every layout rule of the system
// works in points and keeps its results on whole or half points, so the extra precision changes
// nothing but rounding noise.
#include <cmath>
#include <iosfwd>
#include <limits>
#include <string>

using CGFloat = double;

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;
    bool operator==(const CGPoint&) const = default;
};

struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;
    bool operator==(const CGSize&) const = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    bool operator==(const CGRect&) const = default;
};

// a b 0
// c d 0
// tx ty 1     (row vectors: x' = a x + c y + tx, y' = b x + d y + ty)
struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const CGAffineTransform&) const = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};
// The null rectangle: the result of intersecting rectangles that do not meet.
inline constexpr CGRect CGRectNull{{std::numeric_limits<CGFloat>::infinity(), std::numeric_limits<CGFloat>::infinity()},
                                   {0, 0}};
// The infinite rectangle: everything (a clip that clips nothing).
inline constexpr CGRect CGRectInfinite{{-std::numeric_limits<CGFloat>::max() / 2, -std::numeric_limits<CGFloat>::max() / 2},
                                       {std::numeric_limits<CGFloat>::max(), std::numeric_limits<CGFloat>::max()}};
inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline constexpr CGPoint CGPointMake(CGFloat x, CGFloat y) { return {x, y}; }
inline constexpr CGSize CGSizeMake(CGFloat w, CGFloat h) { return {w, h}; }
inline constexpr CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return {{x, y}, {w, h}}; }

// --- Rectangles ---------------------------------------------------------------------------------
bool CGRectIsNull(CGRect r);
bool CGRectIsEmpty(CGRect r);  // null, or zero width or height
bool CGRectIsInfinite(CGRect r);
CGRect CGRectStandardize(CGRect r);  // non-negative width and height
CGFloat CGRectGetMinX(CGRect r);
CGFloat CGRectGetMidX(CGRect r);
CGFloat CGRectGetMaxX(CGRect r);
CGFloat CGRectGetMinY(CGRect r);
CGFloat CGRectGetMidY(CGRect r);
CGFloat CGRectGetMaxY(CGRect r);
CGFloat CGRectGetWidth(CGRect r);
CGFloat CGRectGetHeight(CGRect r);
bool CGRectEqualToRect(CGRect a, CGRect b);
bool CGPointEqualToPoint(CGPoint a, CGPoint b);
bool CGSizeEqualToSize(CGSize a, CGSize b);
// Half-open: the maximum edges are outside.
bool CGRectContainsPoint(CGRect r, CGPoint p);
bool CGRectContainsRect(CGRect outer, CGRect inner);
bool CGRectIntersectsRect(CGRect a, CGRect b);
CGRect CGRectIntersection(CGRect a, CGRect b);  // CGRectNull when they do not meet
CGRect CGRectUnion(CGRect a, CGRect b);
CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy);
CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy);  // CGRectNull when nothing is left
CGRect CGRectIntegral(CGRect r);                        // smallest rectangle on whole points containing r
enum CGRectEdge { CGRectMinXEdge, CGRectMinYEdge, CGRectMaxXEdge, CGRectMaxYEdge };
void CGRectDivide(CGRect r, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge);

// --- Affine transforms --------------------------------------------------------------------------
inline constexpr CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                                         CGFloat ty)
{
    return {a, b, c, d, tx, ty};
}
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
// Radians: (cos, sin, -sin, cos). In the views' y-down space a positive angle turns clockwise.
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);
// t1 then t2.
CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2);
// The operation applied before t (t' = op * t), as the platform's Translate/Scale/Rotate do.
CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle);
// The inverse; a transform that cannot be inverted is returned unchanged.
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t);
bool CGAffineTransformIsIdentity(CGAffineTransform t);
bool CGAffineTransformEqualToTransform(CGAffineTransform a, CGAffineTransform b);
CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t);
CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t);
// The bounding box of the transformed rectangle.
CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t);

// Text forms used in logs and test messages: "{1, 2}", "{3, 4}", "{{1, 2}, {3, 4}}", "[a, b, c, d, tx, ty]".
std::string NSStringFromCGPoint(CGPoint p);
std::string NSStringFromCGSize(CGSize s);
std::string NSStringFromCGRect(CGRect r);
std::string NSStringFromCGAffineTransform(CGAffineTransform t);

std::ostream& operator<<(std::ostream& os, const CGPoint& p);
std::ostream& operator<<(std::ostream& os, const CGSize& s);
std::ostream& operator<<(std::ostream& os, const CGRect& r);
std::ostream& operator<<(std::ostream& os, const CGAffineTransform& t);
