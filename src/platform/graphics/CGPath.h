#pragma once
// Paths: a list of drawing elements (moves, lines, curves, closes) kept as given, for keyframe
// animations and drawing records. Arcs, rectangles and ellipses are added as their elements.
#include <memory>
#include <vector>

#include "platform/graphics/CGGeometry.h"

struct CGPathElement {
    enum Type { kMoveToPoint, kAddLineToPoint, kAddQuadCurveToPoint, kAddCurveToPoint, kCloseSubpath };
    Type type = kMoveToPoint;
    std::vector<CGPoint> points;  // 1 for moves and lines, 2 for quadratic curves, 3 for cubic curves
};

class CGPath {
public:
    const std::vector<CGPathElement>& elements() const { return elements_; }
    bool isEmpty() const { return elements_.empty(); }
    CGPoint currentPoint() const { return current_; }
    // The smallest rectangle holding every point of the path, control points included.
    CGRect boundingBox() const;

    void moveTo(const CGAffineTransform* m, CGPoint p);
    void lineTo(const CGAffineTransform* m, CGPoint p);
    void quadTo(const CGAffineTransform* m, CGPoint control, CGPoint p);
    void curveTo(const CGAffineTransform* m, CGPoint c1, CGPoint c2, CGPoint p);
    void close();

private:
    CGPoint apply(const CGAffineTransform* m, CGPoint p) const { return m ? CGPointApplyAffineTransform(p, *m) : p; }

    std::vector<CGPathElement> elements_;
    CGPoint current_;
    CGPoint subpathStart_;
};

using CGPathRef = std::shared_ptr<const CGPath>;
using CGMutablePathRef = std::shared_ptr<CGPath>;

CGMutablePathRef CGPathCreateMutable();
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path);
void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cx, CGFloat cy,
                               CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat c1x, CGFloat c1y,
                           CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y);
// An arc about (x, y): a line to its start when the path has a current point, then the arc in cubic
// curves of at most a quarter turn. clockwise means towards decreasing angles in y-up space.
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
void CGPathCloseSubpath(const CGMutablePathRef& path);
bool CGPathIsEmpty(const CGPathRef& path);
CGPoint CGPathGetCurrentPoint(const CGPathRef& path);
CGRect CGPathGetBoundingBox(const CGPathRef& path);
