#pragma once
// A two-pass blur that spares a disc: the filter draws its input unchanged and hands it to a horizontal
// pass, which hands its result to a vertical pass. Each pass sums nine texels along its axis at
// -4s ... 4s with the weights 0.05, 0.09, 0.12, 0.15, 0.18, 0.15, 0.12, 0.09, 0.05 (alpha too), where
// s = blurSize in texture coordinates. Inside excludeCircleRadius of excludeCirclePoint a pixel stays
// sharp, except in a rim excludeBlurSize wide where s grows from 0 to blurSize.
//
// The vertical pass is the filter's visible end: targets are added to and removed from it, and the
// still-image calls read it.
#include "capture/gpu/GPUFilter.h"

extern const char* const kGPUGaussianBlurHorizontalFragmentShaderString;
extern const char* const kGPUGaussianBlurVerticalFragmentShaderString;

class GPUGaussianBlurFilter : public GPUFilter {
public:
    static Ref<GPUGaussianBlurFilter> create();

    float blurSize() const { return blurSize_; }
    void setBlurSize(float newValue);
    CGPoint excludeCirclePoint() const { return excludeCirclePoint_; }
    void setExcludeCirclePoint(CGPoint newValue);
    float excludeCircleRadius() const { return excludeCircleRadius_; }
    void setExcludeCircleRadius(float newValue);
    float excludeBlurSize() const { return excludeBlurSize_; }
    void setExcludeBlurSize(float newValue);

    const Ref<GPUFilter>& horizontalPass() const { return horizontalPass_; }
    const Ref<GPUFilter>& verticalPass() const { return verticalPass_; }

    void addTarget(const Ref<GPUInput>& newTarget) override;
    void removeTarget(const Ref<GPUInput>& targetToRemove) override;
    void removeAllTargets() override;
    Ref<UIImage> imageFromCurrentlyProcessedOutput() override;
    // The image through the horizontal and then the vertical pass.
    Ref<UIImage> imageByFilteringImage(const Ref<UIImage>& imageToFilter) override;

private:
    void setFloatOnBothPasses(float value, const char* uniformName);

    Ref<GPUFilter> horizontalPass_;
    Ref<GPUFilter> verticalPass_;
    float blurSize_ = 0.003125f;
    CGPoint excludeCirclePoint_{0.5, 0.5};
    float excludeCircleRadius_ = 0.1875f;
    float excludeBlurSize_ = 0.03125f;
};
