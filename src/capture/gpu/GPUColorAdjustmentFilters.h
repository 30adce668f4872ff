#pragma once
// One-input filters that change each pixel's colour on its own, with no neighbours: brightness,
// inversion, contrast, gamma, saturation and a 4 x 4 colour matrix (sepia is one such matrix).
// Every setter stores the value and sets its uniform on the filter's program.
#include "capture/gpu/GPUFilter.h"

extern const char* const kGPUBrightnessFragmentShaderString;
extern const char* const kGPUColorInvertFragmentShaderString;
extern const char* const kGPUContrastFragmentShaderString;
extern const char* const kGPUGammaFragmentShaderString;
extern const char* const kGPUSaturationFragmentShaderString;
extern const char* const kGPUColorMatrixFragmentShaderString;

struct GPUVector4 {
    float one = 0.0f;
    float two = 0.0f;
    float three = 0.0f;
    float four = 0.0f;
};

// Four rows; handed to the shader as stored (no transposition), so row k gives output component k.
struct GPUMatrix4x4 {
    GPUVector4 one;
    GPUVector4 two;
    GPUVector4 three;
    GPUVector4 four;
};

class GPUBrightnessFilter : public GPUFilter {
public:
    static Ref<GPUBrightnessFilter> create();
    float brightness() const { return brightness_; }
    void setBrightness(float newValue);

private:
    GLint brightnessUniform_ = -1;
    float brightness_ = 0.0f;
};

class GPUColorInvertFilter : public GPUFilter {
public:
    static Ref<GPUColorInvertFilter> create();
};

class GPUContrastFilter : public GPUFilter {
public:
    static Ref<GPUContrastFilter> create();
    float contrast() const { return contrast_; }
    void setContrast(float newValue);

private:
    GLint contrastUniform_ = -1;
    float contrast_ = 1.0f;
};

class GPUGammaFilter : public GPUFilter {
public:
    static Ref<GPUGammaFilter> create();
    float gamma() const { return gamma_; }
    void setGamma(float newValue);

private:
    GLint gammaUniform_ = -1;
    float gamma_ = 1.0f;
};

class GPUSaturationFilter : public GPUFilter {
public:
    static Ref<GPUSaturationFilter> create();
    float saturation() const { return saturation_; }
    void setSaturation(float newValue);

private:
    GLint saturationUniform_ = -1;
    float saturation_ = 1.0f;
};

class GPUColorMatrixFilter : public GPUFilter {
public:
    static Ref<GPUColorMatrixFilter> create();
    const GPUMatrix4x4& colorMatrix() const { return colorMatrix_; }
    void setColorMatrix(const GPUMatrix4x4& newValue);
    float intensity() const { return intensity_; }
    void setIntensity(float newValue);

protected:
    void initColorMatrixBody();

private:
    GLint colorMatrixUniform_ = -1;
    GLint intensityUniform_ = -1;
    GPUMatrix4x4 colorMatrix_;
    float intensity_ = 1.0f;
};

class GPUSepiaFilter : public GPUColorMatrixFilter {
public:
    static Ref<GPUSepiaFilter> create();
};
