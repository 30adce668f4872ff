#pragma once
// One-input filters whose result depends on where the pixel lies: pixellation into square cells and
// a vignette that darkens towards the corners, and a swirl that turns the inside of a circle.
#include "capture/gpu/GPUFilter.h"

class GPUPixellateFilter : public GPUFilter {
public:
    static Ref<GPUPixellateFilter> create();
    // The cell's side in texture coordinates (0.03 by default).
    float fractionalWidthOfAPixel() const { return fractionalWidthOfAPixel_; }
    void setFractionalWidthOfAPixel(float newValue);

private:
    GLint fractionalWidthOfAPixelUniform_ = -1;
    float fractionalWidthOfAPixel_ = 0.03f;
};

class GPUVignetteFilter : public GPUFilter {
public:
    static Ref<GPUVignetteFilter> create();
    // Distances from the centre where the darkening starts (x) and where it is complete (y).
    float x() const { return x_; }
    float y() const { return y_; }
    void setX(float newValue);
    void setY(float newValue);

private:
    GLint xUniform_ = -1;
    GLint yUniform_ = -1;
    float x_ = 0.75f;
    float y_ = 0.5f;
};

// Inside `radius` of `center` the picture turns about the centre, by (1 - distance / radius) squared
// times angle x 8: most at the centre, not at all at the rim.
class GPUSwirlFilter : public GPUFilter {
public:
    static Ref<GPUSwirlFilter> create();
    CGPoint center() const { return center_; }
    float radius() const { return radius_; }
    float angle() const { return angle_; }
    void setCenter(CGPoint newValue);
    void setRadius(float newValue);
    void setAngle(float newValue);

private:
    GLint centerUniform_ = -1;
    GLint radiusUniform_ = -1;
    GLint angleUniform_ = -1;
    CGPoint center_{0.5, 0.5};
    float radius_ = 0.5f;
    float angle_ = 1.0f;
};
