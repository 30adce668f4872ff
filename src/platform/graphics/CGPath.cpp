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

void CGPath::append(const CGPath& other, const CGAffineTransform* m)
{
    for (const CGPathElement& e : other.elements_) {
        switch (e.type) {
        case CGPathElement::kMoveToPoint:
            moveTo(m, e.points[0]);
            break;
        case CGPathElement::kAddLineToPoint:
            lineTo(m, e.points[0]);
            break;
        case CGPathElement::kAddQuadCurveToPoint:
            quadTo(m, e.points[0], e.points[1]);
            break;
        case CGPathElement::kAddCurveToPoint:
            curveTo(m, e.points[0], e.points[1], e.points[2]);
            break;
        case CGPathElement::kCloseSubpath:
            close();
            break;
        }
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

void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius)
{
    if (!path) {
        return;
    }
    if (path->isEmpty()) {
        path->moveTo(m, {x1, y1});
        return;
    }
    // The current point is kept in the path's space; the construction works in the caller's.
    CGPoint p0 = path->currentPoint();
    if (m != nullptr) {
        p0 = CGPointApplyAffineTransform(p0, CGAffineTransformInvert(*m));
    }
    const CGFloat ax = p0.x - x1, ay = p0.y - y1;
    const CGFloat bx = x2 - x1, by = y2 - y1;
    const CGFloat la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    const CGFloat cross = ax * by - ay * bx;
    if (radius <= 0 || la == 0 || lb == 0 || std::abs(cross) < 1e-12 * la * lb) {
        path->lineTo(m, {x1, y1});
        return;
    }
    const CGFloat cosTheta = std::clamp((ax * bx + ay * by) / (la * lb), CGFloat(-1), CGFloat(1));
    const CGFloat theta = std::acos(cosTheta);  // the angle at (x1, y1) between the two lines
    const CGFloat distance = radius / std::tan(theta / 2);  // from (x1, y1) to each tangent point
    const CGPoint t0{x1 + ax / la * distance, y1 + ay / la * distance};
    const CGPoint t1{x1 + bx / lb * distance, y1 + by / lb * distance};
    // The centre lies on the bisector, radius / sin(theta / 2) from the corner.
    const CGFloat ux = ax / la + bx / lb, uy = ay / la + by / lb;
    const CGFloat lu = std::hypot(ux, uy);
    const CGFloat h = radius / std::sin(theta / 2);
    const CGPoint c{x1 + ux / lu * h, y1 + uy / lu * h};
    const CGFloat start = std::atan2(t0.y - c.y, t0.x - c.x);
    const CGFloat end = std::atan2(t1.y - c.y, t1.x - c.x);
    // The short way round: clockwise (decreasing angles) when the turn from a to b is positive.
    CGPathAddArc(path, m, c.x, c.y, radius, start, end, cross > 0);
}

void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect,
                          CGFloat cornerWidth, CGFloat cornerHeight)
{
    if (!path) {
        return;
    }
    rect = CGRectStandardize(rect);
    const CGFloat rx = std::clamp(cornerWidth, CGFloat(0), rect.size.width / 2);
    const CGFloat ry = std::clamp(cornerHeight, CGFloat(0), rect.size.height / 2);
    if (rx <= 0 || ry <= 0) {
        CGPathAddRect(path, m, rect);
        return;
    }
    const CGFloat k = 0.5522847498307936;
    const CGFloat x0 = rect.origin.x, y0 = rect.origin.y;
    const CGFloat x1 = CGRectGetMaxX(rect), y1 = CGRectGetMaxY(rect);
    path->moveTo(m, {x0 + rx, y0});
    path->lineTo(m, {x1 - rx, y0});
    path->curveTo(m, {x1 - rx + k * rx, y0}, {x1, y0 + ry - k * ry}, {x1, y0 + ry});
    path->lineTo(m, {x1, y1 - ry});
    path->curveTo(m, {x1, y1 - ry + k * ry}, {x1 - rx + k * rx, y1}, {x1 - rx, y1});
    path->lineTo(m, {x0 + rx, y1});
    path->curveTo(m, {x0 + rx - k * rx, y1}, {x0, y1 - ry + k * ry}, {x0, y1 - ry});
    path->lineTo(m, {x0, y0 + ry});
    path->curveTo(m, {x0, y0 + ry - k * ry}, {x0 + rx - k * rx, y0}, {x0 + rx, y0});
    path->close();
}

void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& other)
{
    if (path && other) {
        path->append(*other, m);
    }
}

CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m)
{
    if (!path) {
        return nullptr;
    }
    auto copy = std::make_shared<CGPath>();
    copy->append(*path, m);
    return copy;
}

CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* m)
{
    auto path = CGPathCreateMutable();
    CGPathAddRect(path, m, rect);
    return path;
}

CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* m)
{
    auto path = CGPathCreateMutable();
    CGPathAddEllipseInRect(path, m, rect);
    return path;
}

CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* m)
{
    auto path = CGPathCreateMutable();
    CGPathAddRoundedRect(path, m, rect, cornerWidth, cornerHeight);
    return path;
}
