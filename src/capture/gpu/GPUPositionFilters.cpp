#include "capture/gpu/GPUPositionFilters.h"

#include <string>

#include "capture/gpu/GPUOpenGLESContext.h"

namespace {
namespace GPUPositionFilters_cpp {

const char* const kPixellateFragmentShader = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform highp float fractionalWidthOfPixel;
void main()
{
    highp vec2 sampleDivisor = vec2(fractionalWidthOfPixel);
    highp vec2 samplePos = textureCoordinate - mod(textureCoordinate, sampleDivisor);
    gl_FragColor = texture2D(inputImageTexture, samplePos);
}
)";

const char* const kVignetteFragmentShader = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform highp float vignetteX;
uniform highp float vignetteY;
void main()
{
    lowp vec3 rgb = texture2D(inputImageTexture, textureCoordinate).rgb;
    highp float d = distance(textureCoordinate, vec2(0.5, 0.5));
    // Written out rather than smoothstep: the start lies beyond the end by default, which smoothstep
    // leaves undefined.
    highp float u = clamp((d - vignetteX) / (vignetteY - vignetteX), 0.0, 1.0);
    rgb *= u * u * (3.0 - 2.0 * u);
    gl_FragColor = vec4(rgb, 1.0);
}
)";

const char* const kSwirlFragmentShader = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform highp vec2 center;
uniform highp float radius;
uniform highp float angle;
void main()
{
    highp vec2 textureCoordinateToUse = textureCoordinate;
    highp float dist = distance(center, textureCoordinate);
    if (dist < radius) {
        textureCoordinateToUse -= center;
        highp float percent = (radius - dist) / radius;
        highp float theta = percent * percent * angle * 8.0;
        highp float s = sin(theta);
        highp float c = cos(theta);
        textureCoordinateToUse = vec2(dot(textureCoordinateToUse, vec2(c, -s)), dot(textureCoordinateToUse, vec2(s, c)));
        textureCoordinateToUse += center;
    }
    gl_FragColor = texture2D(inputImageTexture, textureCoordinateToUse);
}
)";

void setFloatUniform(const Ref<GLProgram>& program, GLint uniform, float value)
{
    GPUOpenGLESContext::useImageProcessingContext();
    program->use();
    glUniform1f(uniform, value);
}

}  // namespace GPUPositionFilters_cpp
}  // namespace

Ref<GPUPixellateFilter> GPUPixellateFilter::create()
{
    auto filter = std::make_shared<GPUPixellateFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(GPUPositionFilters_cpp::kPixellateFragmentShader));
    filter->fractionalWidthOfAPixelUniform_ = filter->filterProgram_->uniformIndex("fractionalWidthOfPixel");
    filter->setFractionalWidthOfAPixel(0.03f);
    return filter;
}

void GPUPixellateFilter::setFractionalWidthOfAPixel(float newValue)
{
    fractionalWidthOfAPixel_ = newValue;
    GPUPositionFilters_cpp::setFloatUniform(filterProgram_, fractionalWidthOfAPixelUniform_, newValue);
}

Ref<GPUVignetteFilter> GPUVignetteFilter::create()
{
    auto filter = std::make_shared<GPUVignetteFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(GPUPositionFilters_cpp::kVignetteFragmentShader));
    filter->xUniform_ = filter->filterProgram_->uniformIndex("vignetteX");
    filter->yUniform_ = filter->filterProgram_->uniformIndex("vignetteY");
    filter->setX(0.75f);
    filter->setY(0.5f);
    return filter;
}

void GPUVignetteFilter::setX(float newValue)
{
    x_ = newValue;
    GPUPositionFilters_cpp::setFloatUniform(filterProgram_, xUniform_, newValue);
}

void GPUVignetteFilter::setY(float newValue)
{
    y_ = newValue;
    GPUPositionFilters_cpp::setFloatUniform(filterProgram_, yUniform_, newValue);
}

Ref<GPUSwirlFilter> GPUSwirlFilter::create()
{
    auto filter = std::make_shared<GPUSwirlFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(GPUPositionFilters_cpp::kSwirlFragmentShader));
    filter->centerUniform_ = filter->filterProgram_->uniformIndex("center");
    filter->radiusUniform_ = filter->filterProgram_->uniformIndex("radius");
    filter->angleUniform_ = filter->filterProgram_->uniformIndex("angle");
    filter->setCenter(CGPoint{0.5, 0.5});
    filter->setRadius(0.5f);
    filter->setAngle(1.0f);
    return filter;
}

void GPUSwirlFilter::setCenter(CGPoint newValue)
{
    center_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform2f(centerUniform_, static_cast<GLfloat>(center_.x), static_cast<GLfloat>(center_.y));
}

void GPUSwirlFilter::setRadius(float newValue)
{
    radius_ = newValue;
    GPUPositionFilters_cpp::setFloatUniform(filterProgram_, radiusUniform_, newValue);
}

void GPUSwirlFilter::setAngle(float newValue)
{
    angle_ = newValue;
    GPUPositionFilters_cpp::setFloatUniform(filterProgram_, angleUniform_, newValue);
}
