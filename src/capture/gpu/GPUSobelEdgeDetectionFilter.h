#pragma once
// Edge filters. All three sample the eight neighbours of each pixel (one pixel apart: the factors are
// the framebuffer's size unless set by hand) and compute the Sobel gradient m of their luminance.
// - GPUSobelEdgeDetectionFilter: the colour mixed towards the grey (m, m, m) by `intensity`
//   (0 keeps the picture, 1 gives the edge map);
// - GPUSketchFilter: the same towards (1 - m): dark lines on white;
// - GPUToonFilter: black where m is above 0.3, elsewhere the colour rounded to tenths (`intensity`
//   has no effect).
#include <optional>
#include <string>

#include "capture/gpu/GPUFilter.h"

extern const char* const kGPUSobelEdgeDetectionVertexShaderString;
extern const char* const kGPUSobelEdgeDetectionFragmentShaderString;
extern const char* const kGPUSketchFragmentShaderString;
extern const char* const kGPUToonFragmentShaderString;

class GPUSobelEdgeDetectionFilter : public GPUFilter {
public:
    static Ref<GPUSobelEdgeDetectionFilter> create();
    // An edge filter of this fragment shader (with the neighbour-sampling vertex shader).
    static Ref<GPUSobelEdgeDetectionFilter> initWithFragmentShaderFromString(const std::optional<std::string>& fragmentShaderString);

    float intensity() const { return intensity_; }
    void setIntensity(float newValue);
    float imageWidthFactor() const { return imageWidthFactor_; }
    float imageHeightFactor() const { return imageHeightFactor_; }
    // Set by hand, a factor is kept when the framebuffer is made later.
    void setImageWidthFactor(float newValue);
    void setImageHeightFactor(float newValue);
    bool hasOverriddenImageSizeFactor() const { return hasOverriddenImageSizeFactor_; }

    void setupFilterForSize(CGSize filterFrameSize) override;

    GPUSobelEdgeDetectionFilter();

protected:
    void initBody();
    void initWithFragmentShaderFromStringBody(const std::optional<std::string>& fragmentShaderString);

    GLint intensityUniform_ = -1;
    GLint imageWidthFactorUniform_ = -1;
    GLint imageHeightFactorUniform_ = -1;
    bool hasOverriddenImageSizeFactor_ = false;
    float intensity_ = 1.0f;
    float imageWidthFactor_ = 0.0f;
    float imageHeightFactor_ = 0.0f;
};

class GPUSketchFilter : public GPUSobelEdgeDetectionFilter {
public:
    static Ref<GPUSketchFilter> create();
};

class GPUToonFilter : public GPUSobelEdgeDetectionFilter {
public:
    static Ref<GPUToonFilter> create();
};
