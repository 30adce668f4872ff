#include "capture/gpu/GPUGaussianBlurFilter.h"

#include <string>

#include "capture/gpu/GPUPicture.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace GPUGaussianBlurFilter_cpp {

// The pass's axis is the constant `direction`; everything else is shared by both passes.
std::string passShader(const char* direction)
{
    return std::string(R"(
precision highp float;
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform float blurSize;
uniform vec2 excludeCirclePoint;
uniform float excludeCircleRadius;
uniform float excludeBlurSize;
const vec2 direction = )") + direction + R"(;

void main()
{
    float dist = distance(textureCoordinate, excludeCirclePoint);
    float s = blurSize;
    if (dist <= excludeCircleRadius) {
        float rimStart = excludeCircleRadius - excludeBlurSize;
        if (excludeBlurSize > 0.0 && dist >= rimStart) {
            s *= (dist - rimStart) / excludeBlurSize;
        } else {
            gl_FragColor = texture2D(inputImageTexture, textureCoordinate);
            return;
        }
    }
    vec2 step = direction * s;
    vec4 sum = texture2D(inputImageTexture, textureCoordinate - 4.0 * step) * 0.05;
    sum += texture2D(inputImageTexture, textureCoordinate - 3.0 * step) * 0.09;
    sum += texture2D(inputImageTexture, textureCoordinate - 2.0 * step) * 0.12;
    sum += texture2D(inputImageTexture, textureCoordinate - step) * 0.15;
    sum += texture2D(inputImageTexture, textureCoordinate) * 0.18;
    sum += texture2D(inputImageTexture, textureCoordinate + step) * 0.15;
    sum += texture2D(inputImageTexture, textureCoordinate + 2.0 * step) * 0.12;
    sum += texture2D(inputImageTexture, textureCoordinate + 3.0 * step) * 0.09;
    sum += texture2D(inputImageTexture, textureCoordinate + 4.0 * step) * 0.05;
    gl_FragColor = sum;
}
)";
}

}  // namespace GPUGaussianBlurFilter_cpp
}  // namespace

const char* const kGPUGaussianBlurHorizontalFragmentShaderString = [] {
    static const std::string source = GPUGaussianBlurFilter_cpp::passShader("vec2(1.0, 0.0)");
    return source.c_str();
}();

const char* const kGPUGaussianBlurVerticalFragmentShaderString = [] {
    static const std::string source = GPUGaussianBlurFilter_cpp::passShader("vec2(0.0, 1.0)");
    return source.c_str();
}();

Ref<GPUGaussianBlurFilter> GPUGaussianBlurFilter::create()
{
    auto filter = std::make_shared<GPUGaussianBlurFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(kGPUPassthroughFragmentShaderString));
    filter->horizontalPass_ =
        GPUFilter::initWithFragmentShaderFromString(std::string(kGPUGaussianBlurHorizontalFragmentShaderString));
    filter->verticalPass_ =
        GPUFilter::initWithFragmentShaderFromString(std::string(kGPUGaussianBlurVerticalFragmentShaderString));
    filter->GPUFilter::addTarget(filter->horizontalPass_);
    filter->horizontalPass_->addTarget(filter->verticalPass_);
    filter->setBlurSize(filter->blurSize_);
    filter->setExcludeCirclePoint(filter->excludeCirclePoint_);
    filter->setExcludeCircleRadius(filter->excludeCircleRadius_);
    filter->setExcludeBlurSize(filter->excludeBlurSize_);
    return filter;
}

void GPUGaussianBlurFilter::setFloatOnBothPasses(float value, const char* uniformName)
{
    horizontalPass_->setFloat_forUniform(value, uniformName);
    verticalPass_->setFloat_forUniform(value, uniformName);
}

void GPUGaussianBlurFilter::setBlurSize(float newValue)
{
    blurSize_ = newValue;
    setFloatOnBothPasses(newValue, "blurSize");
}

void GPUGaussianBlurFilter::setExcludeCirclePoint(CGPoint newValue)
{
    excludeCirclePoint_ = newValue;
    horizontalPass_->setPoint_forUniform(newValue, "excludeCirclePoint");
    verticalPass_->setPoint_forUniform(newValue, "excludeCirclePoint");
}

void GPUGaussianBlurFilter::setExcludeCircleRadius(float newValue)
{
    excludeCircleRadius_ = newValue;
    setFloatOnBothPasses(newValue, "excludeCircleRadius");
}

void GPUGaussianBlurFilter::setExcludeBlurSize(float newValue)
{
    excludeBlurSize_ = newValue;
    setFloatOnBothPasses(newValue, "excludeBlurSize");
}

void GPUGaussianBlurFilter::addTarget(const Ref<GPUInput>& newTarget)
{
    verticalPass_->addTarget(newTarget);
}

void GPUGaussianBlurFilter::removeTarget(const Ref<GPUInput>& targetToRemove)
{
    verticalPass_->removeTarget(targetToRemove);
}

void GPUGaussianBlurFilter::removeAllTargets()
{
    // Also reached from the destructor of the source part, when the passes may already be gone.
    if (verticalPass_) {
        verticalPass_->removeAllTargets();
    }
}

Ref<UIImage> GPUGaussianBlurFilter::imageFromCurrentlyProcessedOutput()
{
    return verticalPass_->imageFromCurrentlyProcessedOutput();
}

Ref<UIImage> GPUGaussianBlurFilter::imageByFilteringImage(const Ref<UIImage>& imageToFilter)
{
    // The picture stands in for this filter's own output for one frame; the horizontal pass reads
    // this filter's texture again afterwards.
    Ref<GPUPicture> stillImageSource = GPUPicture::initWithImage(imageToFilter);
    horizontalPass_->setInputTexture_atIndex(stillImageSource->outputTexture(), 0);
    horizontalPass_->setInputSize(stillImageSource->inputTextureSize());
    horizontalPass_->newFrameReady();
    Ref<UIImage> processedImage = verticalPass_->imageFromCurrentlyProcessedOutput();
    horizontalPass_->setInputTexture_atIndex(outputTexture_, 0);
    return processedImage;
}
