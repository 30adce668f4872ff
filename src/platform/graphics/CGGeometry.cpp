#include "platform/graphics/CGGeometry.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

bool CGRectIsNull(CGRect r) { return std::isinf(r.origin.x) && r.origin.x > 0; }

bool CGRectIsEmpty(CGRect r) { return CGRectIsNull(r) || r.size.width == 0 || r.size.height == 0; }

bool CGRectIsInfinite(CGRect r) { return r == CGRectInfinite; }

CGRect CGRectStandardize(CGRect r)
{
    if (CGRectIsNull(r)) {
        return r;
    }
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

CGFloat CGRectGetMinX(CGRect r) { return CGRectStandardize(r).origin.x; }
CGFloat CGRectGetMinY(CGRect r) { return CGRectStandardize(r).origin.y; }
CGFloat CGRectGetMaxX(CGRect r)
{
    r = CGRectStandardize(r);
    return r.origin.x + r.size.width;
}
CGFloat CGRectGetMaxY(CGRect r)
{
    r = CGRectStandardize(r);
    return r.origin.y + r.size.height;
}
CGFloat CGRectGetMidX(CGRect r)
{
    r = CGRectStandardize(r);
    return r.origin.x + r.size.width / 2;
}
CGFloat CGRectGetMidY(CGRect r)
{
    r = CGRectStandardize(r);
    return r.origin.y + r.size.height / 2;
}
CGFloat CGRectGetWidth(CGRect r) { return std::abs(r.size.width); }
CGFloat CGRectGetHeight(CGRect r) { return std::abs(r.size.height); }

bool CGRectEqualToRect(CGRect a, CGRect b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b)) {
        return CGRectIsNull(a) && CGRectIsNull(b);
    }
    return CGRectStandardize(a) == CGRectStandardize(b);
}
bool CGPointEqualToPoint(CGPoint a, CGPoint b) { return a == b; }
bool CGSizeEqualToSize(CGSize a, CGSize b) { return a == b; }

bool CGRectContainsPoint(CGRect r, CGPoint p)
{
    if (CGRectIsNull(r)) {
        return false;
    }
    r = CGRectStandardize(r);
    return p.x >= r.origin.x && p.x < r.origin.x + r.size.width && p.y >= r.origin.y &&
           p.y < r.origin.y + r.size.height;
}

bool CGRectContainsRect(CGRect outer, CGRect inner)
{
    if (CGRectIsNull(outer) || CGRectIsNull(inner)) {
        return false;
    }
    return CGRectEqualToRect(CGRectUnion(outer, inner), CGRectStandardize(outer));
}

CGRect CGRectIntersection(CGRect a, CGRect b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b)) {
        return CGRectNull;
    }
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    const CGFloat x0 = std::max(a.origin.x, b.origin.x);
    const CGFloat y0 = std::max(a.origin.y, b.origin.y);
    const CGFloat x1 = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
    const CGFloat y1 = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
    if (x1 < x0 || y1 < y0) {
        return CGRectNull;
    }
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

bool CGRectIntersectsRect(CGRect a, CGRect b)
{
    const CGRect i = CGRectIntersection(a, b);
    return !CGRectIsNull(i) && i.size.width > 0 && i.size.height > 0;
}

CGRect CGRectUnion(CGRect a, CGRect b)
{
    if (CGRectIsNull(a)) {
        return CGRectStandardize(b);
    }
    if (CGRectIsNull(b)) {
        return CGRectStandardize(a);
    }
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    const CGFloat x0 = std::min(a.origin.x, b.origin.x);
    const CGFloat y0 = std::min(a.origin.y, b.origin.y);
    const CGFloat x1 = std::max(a.origin.x + a.size.width, b.origin.x + b.size.width);
    const CGFloat y1 = std::max(a.origin.y + a.size.height, b.origin.y + b.size.height);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(r)) {
        return r;
    }
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(r)) {
        return r;
    }
    r = CGRectStandardize(r);
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0) {
        return CGRectNull;
    }
    return r;
}

CGRect CGRectIntegral(CGRect r)
{
    if (CGRectIsNull(r)) {
        return r;
    }
    r = CGRectStandardize(r);
    const CGFloat x0 = std::floor(r.origin.x);
    const CGFloat y0 = std::floor(r.origin.y);
    const CGFloat x1 = std::ceil(r.origin.x + r.size.width);
    const CGFloat y1 = std::ceil(r.origin.y + r.size.height);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

void CGRectDivide(CGRect r, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge)
{
    r = CGRectStandardize(r);
    CGRect s = r;
    CGRect rest = r;
    const bool horizontal = edge == CGRectMinXEdge || edge == CGRectMaxXEdge;
    const CGFloat extent = horizontal ? r.size.width : r.size.height;
    amount = std::clamp(amount, CGFloat(0), extent);
    switch (edge) {
    case CGRectMinXEdge:
        s.size.width = amount;
        rest.origin.x += amount;
        rest.size.width -= amount;
        break;
    case CGRectMaxXEdge:
        s.origin.x = r.origin.x + r.size.width - amount;
        s.size.width = amount;
        rest.size.width -= amount;
        break;
    case CGRectMinYEdge:
        s.size.height = amount;
        rest.origin.y += amount;
        rest.size.height -= amount;
        break;
    case CGRectMaxYEdge:
        s.origin.y = r.origin.y + r.size.height - amount;
        s.size.height = amount;
        rest.size.height -= amount;
        break;
    }
    if (slice != nullptr) {
        *slice = s;
    }
    if (remainder != nullptr) {
        *remainder = rest;
    }
}

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) { return {1, 0, 0, 1, tx, ty}; }

CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) { return {sx, 0, 0, sy, 0, 0}; }

CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle)
{
    const CGFloat c = std::cos(angle);
    const CGFloat s = std::sin(angle);
    return {c, s, -s, c, 0, 0};
}

CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2)
{
    return {t1.a * t2.a + t1.b * t2.c,
            t1.a * t2.b + t1.b * t2.d,
            t1.c * t2.a + t1.d * t2.c,
            t1.c * t2.b + t1.d * t2.d,
            t1.tx * t2.a + t1.ty * t2.c + t2.tx,
            t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty)
{
    return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}

CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy)
{
    return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle)
{
    return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}

CGAffineTransform CGAffineTransformInvert(CGAffineTransform t)
{
    const CGFloat det = t.a * t.d - t.b * t.c;
    if (det == 0 || !std::isfinite(det)) {
        return t;
    }
    CGAffineTransform r;
    r.a = t.d / det;
    r.b = -t.b / det;
    r.c = -t.c / det;
    r.d = t.a / det;
    r.tx = (t.c * t.ty - t.d * t.tx) / det;
    r.ty = (t.b * t.tx - t.a * t.ty) / det;
    return r;
}

bool CGAffineTransformIsIdentity(CGAffineTransform t) { return t == CGAffineTransformIdentity; }

bool CGAffineTransformEqualToTransform(CGAffineTransform a, CGAffineTransform b) { return a == b; }

CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t)
{
    return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t)
{
    return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}

CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t)
{
    if (CGRectIsNull(r)) {
        return r;
    }
    r = CGRectStandardize(r);
    const CGPoint corners[4] = {
        CGPointApplyAffineTransform(r.origin, t),
        CGPointApplyAffineTransform({r.origin.x + r.size.width, r.origin.y}, t),
        CGPointApplyAffineTransform({r.origin.x, r.origin.y + r.size.height}, t),
        CGPointApplyAffineTransform({r.origin.x + r.size.width, r.origin.y + r.size.height}, t),
    };
    CGFloat x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
    for (const CGPoint& c : corners) {
        x0 = std::min(x0, c.x);
        x1 = std::max(x1, c.x);
        y0 = std::min(y0, c.y);
        y1 = std::max(y1, c.y);
    }
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

namespace {
// "%g" of each value, never "-0", into the pattern.
template <class... V>
std::string formatted(const char* pattern, V... values)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, pattern, (values == 0 ? 0.0 : double(values))...);
    return buffer;
}
}  // namespace

std::string NSStringFromCGPoint(CGPoint p) { return formatted("{%g, %g}", p.x, p.y); }
std::string NSStringFromCGSize(CGSize s) { return formatted("{%g, %g}", s.width, s.height); }
std::string NSStringFromCGRect(CGRect r)
{
    return formatted("{{%g, %g}, {%g, %g}}", r.origin.x, r.origin.y, r.size.width, r.size.height);
}
std::string NSStringFromCGAffineTransform(CGAffineTransform t)
{
    return formatted("[%g, %g, %g, %g, %g, %g]", t.a, t.b, t.c, t.d, t.tx, t.ty);
}

std::ostream& operator<<(std::ostream& os, const CGPoint& p) { return os << NSStringFromCGPoint(p); }
std::ostream& operator<<(std::ostream& os, const CGSize& s) { return os << NSStringFromCGSize(s); }
std::ostream& operator<<(std::ostream& os, const CGRect& r) { return os << NSStringFromCGRect(r); }
std::ostream& operator<<(std::ostream& os, const CGAffineTransform& t)
{
    return os << NSStringFromCGAffineTransform(t);
}
