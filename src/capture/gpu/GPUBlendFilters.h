#pragma once
// Two-input blends: a is the first input's texel, b the second's ("inputImageTexture2", the second
// source added in front of the filter).
#include "capture/gpu/GPUFilter.h"

class GPUDarkenBlendFilter : public GPUFilter {
public:
    static Ref<GPUDarkenBlendFilter> create();
};

class GPULightenBlendFilter : public GPUFilter {
public:
    static Ref<GPULightenBlendFilter> create();
};

class GPUMultiplyBlendFilter : public GPUFilter {
public:
    static Ref<GPUMultiplyBlendFilter> create();
};

class GPUOverlayBlendFilter : public GPUFilter {
public:
    static Ref<GPUOverlayBlendFilter> create();
};

class GPUDissolveBlendFilter : public GPUFilter {
public:
    static Ref<GPUDissolveBlendFilter> create();
    float mix() const { return mix_; }
    void setMix(float newValue);

private:
    GLint mixUniform_ = -1;
    float mix_ = 0.5f;
};
