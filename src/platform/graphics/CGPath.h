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
    // Appends another path's elements, each point through m (null: as they are).
    void append(const CGPath& other, const CGAffineTransform* m);

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
// A tangent arc: the arc of the given radius that touches the line from the current point to
// (x1, y1) and the line from (x1, y1) to (x2, y2), preceded by a line from the current point to where
// it starts. Without a current point it starts a subpath at (x1, y1); a radius of 0 or collinear
// points add a line to (x1, y1).
void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius);
// A rectangle with corners of the given radii (each at most half the side it rounds), as a closed
// subpath; radii of 0 give a plain rectangle.
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect,
                          CGFloat cornerWidth, CGFloat cornerHeight);
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& other);
CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* m);
CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* m);
CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* m);
CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* m);
void CGPathCloseSubpath(const CGMutablePathRef& path);
bool CGPathIsEmpty(const CGPathRef& path);
CGPoint CGPathGetCurrentPoint(const CGPathRef& path);
CGRect CGPathGetBoundingBox(const CGPathRef& path);
