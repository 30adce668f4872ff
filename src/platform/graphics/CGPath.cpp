#include "platform/graphics/CGPath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

CGRect CGPath::boundingBox() const
{
    CGRect box = CGRectNull;
    for (const CGPathElement& e : elements_) {
        for (const CGPoint& p : e.points) {
            box = CGRectUnion(box, CGRectMake(p.x, p.y, 0, 0));
        }
    }
    return box;
}

void CGPath::moveTo(const CGAffineTransform* m, CGPoint p)
{
    const CGPoint q = apply(m, p);
    elements_.push_back({CGPathElement::kMoveToPoint, {q}});
    current_ = subpathStart_ = q;
}

void CGPath::lineTo(const CGAffineTransform* m, CGPoint p)
{
    const CGPoint q = apply(m, p);
    elements_.push_back({CGPathElement::kAddLineToPoint, {q}});
    current_ = q;
}

void CGPath::quadTo(const CGAffineTransform* m, CGPoint control, CGPoint p)
{
    const CGPoint q = apply(m, p);
    elements_.push_back({CGPathElement::kAddQuadCurveToPoint, {apply(m, control), q}});
    current_ = q;
}

void CGPath::curveTo(const CGAffineTransform* m, CGPoint c1, CGPoint c2, CGPoint p)
{
    const CGPoint q = apply(m, p);
    elements_.push_back({CGPathElement::kAddCurveToPoint, {apply(m, c1), apply(m, c2), q}});
    current_ = q;
}

void CGPath::close()
{
    if (!elements_.empty() && elements_.back().type != CGPathElement::kCloseSubpath) {
        elements_.push_back({CGPathElement::kCloseSubpath, {}});
        current_ = subpathStart_;
    }
}

CGMutablePathRef CGPathCreateMutable() { return std::make_shared<CGPath>(); }

CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path)
{
    return path ? std::make_shared<CGPath>(*path) : CGPathCreateMutable();
}

void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    if (path) path->moveTo(m, {x, y});
}

void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    if (path) path->lineTo(m, {x, y});
}

void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cx, CGFloat cy,
                               CGFloat x, CGFloat y)
{
    if (path) path->quadTo(m, {cx, cy}, {x, y});
}

void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat c1x, CGFloat c1y,
                           CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y)
{
    if (path) path->curveTo(m, {c1x, c1y}, {c2x, c2y}, {x, y});
}

void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise)
{
    if (!path) {
        return;
    }
    constexpr CGFloat twoPi = 2 * std::numbers::pi;
    CGFloat sweep = endAngle - startAngle;
    if (clockwise) {
        if (sweep > 0) sweep = std::fmod(sweep, twoPi) - (std::fmod(sweep, twoPi) == 0 ? 0 : twoPi);
        sweep = std::max(sweep, -twoPi);
    } else {
        if (sweep < 0) sweep = std::fmod(sweep, twoPi) + (std::fmod(sweep, twoPi) == 0 ? 0 : twoPi);
        sweep = std::min(sweep, twoPi);
    }
    const CGPoint start{x + radius * std::cos(startAngle), y + radius * std::sin(startAngle)};
    if (path->isEmpty()) {
        path->moveTo(m, start);
    } else {
        path->lineTo(m, start);
    }
    const int pieces = std::max(1, int(std::ceil(std::abs(sweep) / (std::numbers::pi / 2) - 1e-9)));
    const CGFloat step = sweep / pieces;
    const CGFloat k = 4.0 / 3.0 * std::tan(step / 4);
    CGFloat a = startAngle;
    for (int i = 0; i < pieces; ++i) {
        const CGFloat b = a + step;
        const CGPoint p0{x + radius * std::cos(a), y + radius * std::sin(a)};
        const CGPoint p3{x + radius * std::cos(b), y + radius * std::sin(b)};
        const CGPoint c1{p0.x - k * radius * std::sin(a), p0.y + k * radius * std::cos(a)};
        const CGPoint c2{p3.x + k * radius * std::sin(b), p3.y - k * radius * std::cos(b)};
        path->curveTo(m, c1, c2, p3);
        a = b;
    }
}

void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect)
{
    if (!path) {
        return;
    }
    rect = CGRectStandardize(rect);
    path->moveTo(m, rect.origin);
    path->lineTo(m, {CGRectGetMaxX(rect), rect.origin.y});
    path->lineTo(m, {CGRectGetMaxX(rect), CGRectGetMaxY(rect)});
    path->lineTo(m, {rect.origin.x, CGRectGetMaxY(rect)});
    path->close();
}

void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect)
{
    if (!path) {
        return;
    }
    rect = CGRectStandardize(rect);
    const CGFloat cx = CGRectGetMidX(rect), cy = CGRectGetMidY(rect);
    const CGFloat rx = rect.size.width / 2, ry = rect.size.height / 2;
    const CGFloat k = 0.5522847498307936;  // 4/3 (sqrt(2) - 1): a quarter circle as one cubic curve
    path->moveTo(m, {cx + rx, cy});
    path->curveTo(m, {cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
    path->curveTo(m, {cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
    path->curveTo(m, {cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
    path->curveTo(m, {cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
    path->close();
}

void CGPathCloseSubpath(const CGMutablePathRef& path)
{
    if (path) path->close();
}

bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->isEmpty(); }

CGPoint CGPathGetCurrentPoint(const CGPathRef& path) { return path ? path->currentPoint() : CGPointZero; }

CGRect CGPathGetBoundingBox(const CGPathRef& path) { return path ? path->boundingBox() : CGRectNull; }
