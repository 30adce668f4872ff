#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/CATransform3D.h"

TEST(CGGeometryTest, RectangleOperations)
{
    const CGRect a = CGRectMake(0, 0, 100, 50);
    const CGRect b = CGRectMake(50, 25, 100, 50);
    EXPECT_EQ(CGRectIntersection(a, b), CGRectMake(50, 25, 50, 25));
    EXPECT_EQ(CGRectUnion(a, b), CGRectMake(0, 0, 150, 75));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectMake(200, 0, 10, 10))));
    EXPECT_FALSE(CGRectIntersectsRect(a, CGRectMake(100, 0, 10, 10)));  // touching edges do not intersect
    EXPECT_TRUE(CGRectContainsPoint(a, CGPointMake(0, 0)));
    EXPECT_FALSE(CGRectContainsPoint(a, CGPointMake(100, 10)));  // the far edge is outside
    EXPECT_EQ(CGRectStandardize(CGRectMake(10, 10, -5, -5)), CGRectMake(5, 5, 5, 5));
    EXPECT_EQ(CGRectInset(a, 10, 5), CGRectMake(10, 5, 80, 40));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(a, 60, 0)));
    EXPECT_EQ(CGRectIntegral(CGRectMake(0.5, 0.5, 1, 1)), CGRectMake(0, 0, 2, 2));
    CGRect slice, rest;
    CGRectDivide(a, &slice, &rest, 30, CGRectMaxXEdge);
    EXPECT_EQ(slice, CGRectMake(70, 0, 30, 50));
    EXPECT_EQ(rest, CGRectMake(0, 0, 70, 50));
    EXPECT_EQ(NSStringFromCGRect(CGRectMake(0, 20, 320, 460.5)), "{{0, 20}, {320, 460.5}}");
}

TEST(CGGeometryTest, AffineTransformsComposeInvertAndMatchLayerTransforms)
{
    const CGAffineTransform t =
        CGAffineTransformTranslate(CGAffineTransformRotate(CGAffineTransformMakeScale(2, 3), 0.7), 5, -4);
    const CGAffineTransform inverse = CGAffineTransformInvert(t);
    const CGPoint p = CGPointApplyAffineTransform(CGPointApplyAffineTransform(CGPointMake(7, 11), t), inverse);
    EXPECT_NEAR(p.x, 7, 1e-12);
    EXPECT_NEAR(p.y, 11, 1e-12);
    // A singular transform cannot be inverted and comes back as it was.
    EXPECT_EQ(CGAffineTransformInvert(CGAffineTransformMakeScale(0, 1)), CGAffineTransformMakeScale(0, 1));
    // A rotation about z is the same in both kinds of transform.
    const CGAffineTransform fromLayer =
        CATransform3DGetAffineTransform(CATransform3DMakeRotation(std::numbers::pi / 3, 0, 0, 1));
    const CGAffineTransform affine = CGAffineTransformMakeRotation(std::numbers::pi / 3);
    EXPECT_NEAR(fromLayer.a, affine.a, 1e-15);
    EXPECT_NEAR(fromLayer.b, affine.b, 1e-15);
    EXPECT_NEAR(fromLayer.c, affine.c, 1e-15);
    EXPECT_NEAR(fromLayer.d, affine.d, 1e-15);
    const CATransform3D m = CATransform3DRotate(CATransform3DMakeScale(2, 2, 1), 1.0, 1, 1, 0);
    const CATransform3D product = CATransform3DConcat(m, CATransform3DInvert(m));
    EXPECT_NEAR(product.m11, 1, 1e-12);
    EXPECT_NEAR(product.m12, 0, 1e-12);
    EXPECT_NEAR(product.m33, 1, 1e-12);
    EXPECT_TRUE(CATransform3DIsAffine(CATransform3DMakeAffineTransform(t)));
    EXPECT_FALSE(CATransform3DIsAffine(m));
}

TEST(CGPathTest, ArcsAndShapesBecomeCurveElements)
{
    auto path = CGPathCreateMutable();
    CGPathAddArc(path, nullptr, 50, 50, 10, 0, std::numbers::pi, false);  // half a circle: two quarter curves
    ASSERT_EQ(path->elements().size(), 3u);
    EXPECT_EQ(path->elements()[0].type, CGPathElement::kMoveToPoint);
    EXPECT_EQ(path->elements()[1].type, CGPathElement::kAddCurveToPoint);
    EXPECT_NEAR(CGPathGetCurrentPoint(path).x, 40, 1e-12);
    EXPECT_NEAR(CGPathGetCurrentPoint(path).y, 50, 1e-12);
    auto box = CGPathCreateMutable();
    CGPathAddEllipseInRect(box, nullptr, CGRectMake(0, 0, 20, 10));
    const CGRect bounds = CGPathGetBoundingBox(box);
    EXPECT_NEAR(bounds.size.width, 20, 1e-12);
    EXPECT_NEAR(bounds.size.height, 10, 1e-12);
    EXPECT_TRUE(CGPathIsEmpty(CGPathCreateMutable()));
}
