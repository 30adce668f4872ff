#include "capture/gpu/GPUColorAdjustmentFilters.h"

#include "capture/gpu/GPUOpenGLESContext.h"

const char* const kGPUBrightnessFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform lowp float brightness;
void main()
{
    lowp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    gl_FragColor = vec4(textureColor.rgb + vec3(brightness), 1.0);
}
)";

const char* const kGPUColorInvertFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
void main()
{
    lowp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    gl_FragColor = vec4(vec3(1.0) - textureColor.rgb, 1.0);
}
)";

const char* const kGPUContrastFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform lowp float contrast;
void main()
{
    lowp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    gl_FragColor = vec4((textureColor.rgb - vec3(0.5)) * contrast + vec3(0.5), 1.0);
}
)";

const char* const kGPUGammaFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform highp float gamma;
void main()
{
    highp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    gl_FragColor = vec4(pow(textureColor.rgb, vec3(gamma)), 1.0);
}
)";

const char* const kGPUSaturationFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform lowp float saturation;
const mediump vec3 luminanceWeighting = vec3(0.2125, 0.7154, 0.0721);
void main()
{
    lowp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    lowp float luminance = dot(textureColor.rgb, luminanceWeighting);
    gl_FragColor = vec4(mix(vec3(luminance), textureColor.rgb, saturation), 1.0);
}
)";

// A row vector times the matrix: with the rows uploaded untransposed they are the matrix's columns,
// so output component k is the texel's dot product with stored row k.
const char* const kGPUColorMatrixFragmentShaderString = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform lowp mat4 colorMatrix;
uniform lowp float intensity;
void main()
{
    lowp vec4 textureColor = texture2D(inputImageTexture, textureCoordinate);
    lowp vec4 outputColor = textureColor * colorMatrix;
    gl_FragColor = (intensity * outputColor) + ((1.0 - intensity) * textureColor);
}
)";

namespace {
namespace GPUColorAdjustmentFilters_cpp {

// Makes the filter's program current so a uniform can be set on it.
void useProgramOf(const Ref<GLProgram>& program)
{
    GPUOpenGLESContext::useImageProcessingContext();
    program->use();
}

}  // namespace GPUColorAdjustmentFilters_cpp
}  // namespace

Ref<GPUBrightnessFilter> GPUBrightnessFilter::create()
{
    auto filter = std::make_shared<GPUBrightnessFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUBrightnessFragmentShaderString));
    filter->brightnessUniform_ = filter->filterProgram_->uniformIndex("brightness");
    filter->setBrightness(0.0f);
    return filter;
}

void GPUBrightnessFilter::setBrightness(float newValue)
{
    brightness_ = newValue;
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniform1f(brightnessUniform_, brightness_);
}

Ref<GPUColorInvertFilter> GPUColorInvertFilter::create()
{
    auto filter = std::make_shared<GPUColorInvertFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUColorInvertFragmentShaderString));
    return filter;
}

Ref<GPUContrastFilter> GPUContrastFilter::create()
{
    auto filter = std::make_shared<GPUContrastFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUContrastFragmentShaderString));
    filter->contrastUniform_ = filter->filterProgram_->uniformIndex("contrast");
    filter->setContrast(1.0f);
    return filter;
}

void GPUContrastFilter::setContrast(float newValue)
{
    contrast_ = newValue;
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniform1f(contrastUniform_, contrast_);
}

Ref<GPUGammaFilter> GPUGammaFilter::create()
{
    auto filter = std::make_shared<GPUGammaFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUGammaFragmentShaderString));
    filter->gammaUniform_ = filter->filterProgram_->uniformIndex("gamma");
    filter->setGamma(1.0f);
    return filter;
}

void GPUGammaFilter::setGamma(float newValue)
{
    gamma_ = newValue;
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniform1f(gammaUniform_, gamma_);
}

Ref<GPUSaturationFilter> GPUSaturationFilter::create()
{
    auto filter = std::make_shared<GPUSaturationFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUSaturationFragmentShaderString));
    filter->saturationUniform_ = filter->filterProgram_->uniformIndex("saturation");
    filter->setSaturation(1.0f);
    return filter;
}

void GPUSaturationFilter::setSaturation(float newValue)
{
    saturation_ = newValue;
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniform1f(saturationUniform_, saturation_);
}

Ref<GPUColorMatrixFilter> GPUColorMatrixFilter::create()
{
    auto filter = std::make_shared<GPUColorMatrixFilter>();
    filter->initColorMatrixBody();
    return filter;
}

void GPUColorMatrixFilter::initColorMatrixBody()
{
    initWithFragmentShaderFromStringBody(std::string(kGPUColorMatrixFragmentShaderString));
    colorMatrixUniform_ = filterProgram_->uniformIndex("colorMatrix");
    intensityUniform_ = filterProgram_->uniformIndex("intensity");
    setIntensity(1.0f);
    setColorMatrix(GPUMatrix4x4{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
}

void GPUColorMatrixFilter::setColorMatrix(const GPUMatrix4x4& newValue)
{
    colorMatrix_ = newValue;
    const GPUVector4* rows[4] = {&colorMatrix_.one, &colorMatrix_.two, &colorMatrix_.three, &colorMatrix_.four};
    GLfloat values[16];
    for (int r = 0; r < 4; ++r) {
        values[r * 4 + 0] = rows[r]->one;
        values[r * 4 + 1] = rows[r]->two;
        values[r * 4 + 2] = rows[r]->three;
        values[r * 4 + 3] = rows[r]->four;
    }
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniformMatrix4fv(colorMatrixUniform_, 1, GL_FALSE, values);
}

void GPUColorMatrixFilter::setIntensity(float newValue)
{
    intensity_ = newValue;
    GPUColorAdjustmentFilters_cpp::useProgramOf(filterProgram_);
    glUniform1f(intensityUniform_, intensity_);
}

Ref<GPUSepiaFilter> GPUSepiaFilter::create()
{
    auto filter = std::make_shared<GPUSepiaFilter>();
    filter->initColorMatrixBody();
    filter->setColorMatrix(GPUMatrix4x4{{0.3588f, 0.7044f, 0.1368f, 0.0f},
                                        {0.2990f, 0.5870f, 0.1140f, 0.0f},
                                        {0.2392f, 0.4696f, 0.0912f, 0.0f},
                                        {0.0f, 0.0f, 0.0f, 0.0f}});
    return filter;
}
