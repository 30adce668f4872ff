#include "capture/gpu/GPUBlendFilters.h"

#include <string>

#include "capture/gpu/GPUOpenGLESContext.h"

namespace {
namespace GPUBlendFilters_cpp {

// Every blend reads the two texels the same way; only the line that combines them differs.
std::string blendShader(const char* combine)
{
    return std::string(R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform sampler2D inputImageTexture2;
uniform lowp float mixturePercent;
void main()
{
    lowp vec4 a = texture2D(inputImageTexture, textureCoordinate);
    lowp vec4 b = texture2D(inputImageTexture2, textureCoordinate);
)") + combine + "\n}\n";
}

}  // namespace GPUBlendFilters_cpp
}  // namespace

Ref<GPUDarkenBlendFilter> GPUDarkenBlendFilter::create()
{
    auto filter = std::make_shared<GPUDarkenBlendFilter>();
    filter->initWithFragmentShaderFromStringBody(GPUBlendFilters_cpp::blendShader("    gl_FragColor = min(a, b);"));
    return filter;
}

Ref<GPULightenBlendFilter> GPULightenBlendFilter::create()
{
    auto filter = std::make_shared<GPULightenBlendFilter>();
    filter->initWithFragmentShaderFromStringBody(GPUBlendFilters_cpp::blendShader("    gl_FragColor = max(a, b);"));
    return filter;
}

Ref<GPUMultiplyBlendFilter> GPUMultiplyBlendFilter::create()
{
    auto filter = std::make_shared<GPUMultiplyBlendFilter>();
    filter->initWithFragmentShaderFromStringBody(GPUBlendFilters_cpp::blendShader("    gl_FragColor = a * b;"));
    return filter;
}

Ref<GPUOverlayBlendFilter> GPUOverlayBlendFilter::create()
{
    auto filter = std::make_shared<GPUOverlayBlendFilter>();
    filter->initWithFragmentShaderFromStringBody(GPUBlendFilters_cpp::blendShader(
        "    lowp vec3 low = 2.0 * a.rgb * b.rgb;\n"
        "    lowp vec3 high = vec3(1.0) - 2.0 * (vec3(1.0) - a.rgb) * (vec3(1.0) - b.rgb);\n"
        "    gl_FragColor = vec4(mix(high, low, vec3(lessThan(a.rgb, vec3(0.5)))), 1.0);"));
    return filter;
}

Ref<GPUDissolveBlendFilter> GPUDissolveBlendFilter::create()
{
    auto filter = std::make_shared<GPUDissolveBlendFilter>();
    filter->initWithFragmentShaderFromStringBody(GPUBlendFilters_cpp::blendShader("    gl_FragColor = mix(a, b, mixturePercent);"));
    filter->mixUniform_ = filter->filterProgram_->uniformIndex("mixturePercent");
    filter->setMix(0.5f);
    return filter;
}

void GPUDissolveBlendFilter::setMix(float newValue)
{
    mix_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(mixUniform_, mix_);
}
