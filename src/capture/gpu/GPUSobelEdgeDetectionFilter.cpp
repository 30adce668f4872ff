#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"

#include "capture/gpu/GPUOpenGLESContext.h"

const char* const kGPUSobelEdgeDetectionVertexShaderString = R"(
attribute vec4 position;
attribute vec4 inputTextureCoordinate;

uniform highp float imageWidthFactor;
uniform highp float imageHeightFactor;

varying vec2 textureCoordinate;
varying vec2 leftTextureCoordinate;
varying vec2 rightTextureCoordinate;
varying vec2 topTextureCoordinate;
varying vec2 bottomTextureCoordinate;
varying vec2 topLeftTextureCoordinate;
varying vec2 topRightTextureCoordinate;
varying vec2 bottomLeftTextureCoordinate;
varying vec2 bottomRightTextureCoordinate;

void main()
{
    gl_Position = position;

    vec2 widthStep = vec2(imageWidthFactor, 0.0);
    vec2 heightStep = vec2(0.0, imageHeightFactor);
    vec2 widthHeightStep = vec2(imageWidthFactor, imageHeightFactor);
    vec2 widthNegativeHeightStep = vec2(imageWidthFactor, -imageHeightFactor);

    textureCoordinate = inputTextureCoordinate.xy;
    leftTextureCoordinate = inputTextureCoordinate.xy - widthStep;
    rightTextureCoordinate = inputTextureCoordinate.xy + widthStep;
    topTextureCoordinate = inputTextureCoordinate.xy + heightStep;
    bottomTextureCoordinate = inputTextureCoordinate.xy - heightStep;
    topLeftTextureCoordinate = inputTextureCoordinate.xy - widthNegativeHeightStep;
    topRightTextureCoordinate = inputTextureCoordinate.xy + widthHeightStep;
    bottomLeftTextureCoordinate = inputTextureCoordinate.xy - widthHeightStep;
    bottomRightTextureCoordinate = inputTextureCoordinate.xy + widthNegativeHeightStep;
}
)";

// The shared head of the three fragment shaders: the neighbours' luminances and the gradient's length.
#define OMBRI_EDGE_GRADIENT                                                                                      \
    "precision highp float;\n"                                                                                   \
    "varying vec2 textureCoordinate;\n"                                                                          \
    "varying vec2 leftTextureCoordinate;\n"                                                                      \
    "varying vec2 rightTextureCoordinate;\n"                                                                     \
    "varying vec2 topTextureCoordinate;\n"                                                                       \
    "varying vec2 bottomTextureCoordinate;\n"                                                                    \
    "varying vec2 topLeftTextureCoordinate;\n"                                                                   \
    "varying vec2 topRightTextureCoordinate;\n"                                                                  \
    "varying vec2 bottomLeftTextureCoordinate;\n"                                                                \
    "varying vec2 bottomRightTextureCoordinate;\n"                                                               \
    "uniform sampler2D inputImageTexture;\n"                                                                     \
    "uniform highp float intensity;\n"                                                                           \
    "const highp vec3 W = vec3(0.2125, 0.7154, 0.0721);\n"                                                       \
    "float luminanceAt(vec2 coordinate) { return dot(texture2D(inputImageTexture, coordinate).rgb, W); }\n"      \
    "float gradientMagnitude()\n"                                                                                \
    "{\n"                                                                                                        \
    "    float bottomLeft = luminanceAt(bottomLeftTextureCoordinate);\n"                                         \
    "    float topRight = luminanceAt(topRightTextureCoordinate);\n"                                             \
    "    float topLeft = luminanceAt(topLeftTextureCoordinate);\n"                                               \
    "    float bottomRight = luminanceAt(bottomRightTextureCoordinate);\n"                                       \
    "    float left = luminanceAt(leftTextureCoordinate);\n"                                                     \
    "    float right = luminanceAt(rightTextureCoordinate);\n"                                                   \
    "    float bottom = luminanceAt(bottomTextureCoordinate);\n"                                                 \
    "    float top = luminanceAt(topTextureCoordinate);\n"                                                       \
    "    float h = -topLeft - 2.0 * top - topRight + bottomLeft + 2.0 * bottom + bottomRight;\n"                 \
    "    float v = -bottomLeft - 2.0 * left - topLeft + bottomRight + 2.0 * right + topRight;\n"                 \
    "    return length(vec2(h, v));\n"                                                                           \
    "}\n"

const char* const kGPUSobelEdgeDetectionFragmentShaderString = OMBRI_EDGE_GRADIENT R"(
void main()
{
    vec4 centre = texture2D(inputImageTexture, textureCoordinate);
    float mag = gradientMagnitude();
    gl_FragColor = vec4(mix(centre.rgb, vec3(mag), intensity), 1.0);
}
)";

const char* const kGPUSketchFragmentShaderString = OMBRI_EDGE_GRADIENT R"(
void main()
{
    vec4 centre = texture2D(inputImageTexture, textureCoordinate);
    float mag = gradientMagnitude();
    gl_FragColor = vec4(mix(centre.rgb, vec3(1.0 - mag), intensity), 1.0);
}
)";

const char* const kGPUToonFragmentShaderString = OMBRI_EDGE_GRADIENT R"(
const highp float threshold = 0.3;
const highp float quantizationLevels = 10.0;
void main()
{
    vec4 centre = texture2D(inputImageTexture, textureCoordinate);
    float mag = gradientMagnitude();
    vec3 posterized = floor(centre.rgb * quantizationLevels + 0.5) / quantizationLevels;
    gl_FragColor = mag > threshold ? vec4(0.0, 0.0, 0.0, 1.0) : vec4(posterized, 1.0);
}
)";

#undef OMBRI_EDGE_GRADIENT

GPUSobelEdgeDetectionFilter::GPUSobelEdgeDetectionFilter() = default;

Ref<GPUSobelEdgeDetectionFilter> GPUSobelEdgeDetectionFilter::create()
{
    auto filter = std::make_shared<GPUSobelEdgeDetectionFilter>();
    filter->initBody();
    return filter;
}

Ref<GPUSobelEdgeDetectionFilter> GPUSobelEdgeDetectionFilter::initWithFragmentShaderFromString(
    const std::optional<std::string>& fragmentShaderString)
{
    auto filter = std::make_shared<GPUSobelEdgeDetectionFilter>();
    filter->initWithFragmentShaderFromStringBody(fragmentShaderString);
    return filter;
}

void GPUSobelEdgeDetectionFilter::initBody()
{
    initWithFragmentShaderFromStringBody(std::string(kGPUSobelEdgeDetectionFragmentShaderString));
}

void GPUSobelEdgeDetectionFilter::initWithFragmentShaderFromStringBody(const std::optional<std::string>& fragmentShaderString)
{
    initWithVertexShaderFromString_fragmentShaderFromStringBody(std::string(kGPUSobelEdgeDetectionVertexShaderString),
                                                                fragmentShaderString);
    hasOverriddenImageSizeFactor_ = false;
    intensityUniform_ = filterProgram_->uniformIndex("intensity");
    imageWidthFactorUniform_ = filterProgram_->uniformIndex("imageWidthFactor");
    imageHeightFactorUniform_ = filterProgram_->uniformIndex("imageHeightFactor");
    setIntensity(1.0f);
}

void GPUSobelEdgeDetectionFilter::setIntensity(float newValue)
{
    intensity_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(intensityUniform_, intensity_);
}

void GPUSobelEdgeDetectionFilter::setImageWidthFactor(float newValue)
{
    hasOverriddenImageSizeFactor_ = true;
    imageWidthFactor_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(imageWidthFactorUniform_, 1.0f / imageWidthFactor_);
}

void GPUSobelEdgeDetectionFilter::setImageHeightFactor(float newValue)
{
    hasOverriddenImageSizeFactor_ = true;
    imageHeightFactor_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(imageHeightFactorUniform_, 1.0f / imageHeightFactor_);
}

void GPUSobelEdgeDetectionFilter::setupFilterForSize(CGSize filterFrameSize)
{
    if (hasOverriddenImageSizeFactor_) {
        return;
    }
    imageWidthFactor_ = static_cast<float>(filterFrameSize.width);
    imageHeightFactor_ = static_cast<float>(filterFrameSize.height);
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(imageWidthFactorUniform_, 1.0f / imageWidthFactor_);
    glUniform1f(imageHeightFactorUniform_, 1.0f / imageHeightFactor_);
}

Ref<GPUSketchFilter> GPUSketchFilter::create()
{
    auto filter = std::make_shared<GPUSketchFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUSketchFragmentShaderString));
    return filter;
}

Ref<GPUToonFilter> GPUToonFilter::create()
{
    auto filter = std::make_shared<GPUToonFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUToonFragmentShaderString));
    return filter;
}
