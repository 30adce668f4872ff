#include "capture/gpu/GPUKuwaharaFilter.h"

#include <string>

#include "capture/gpu/GPUOpenGLESContext.h"

namespace {
namespace GPUKuwaharaFilter_cpp {

// Offsets are in steps of a fixed 768 x 1024 picture whatever the input's size.
const char* const kKuwaharaFragmentShader = R"(
precision highp float;
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform int radius;
const vec2 src_size = vec2(768.0, 1024.0);

void accumulate(inout vec3 sum, inout vec3 squares, vec2 uv, float i, float j)
{
    vec3 c = texture2D(inputImageTexture, uv + vec2(i, j) / src_size).rgb;
    sum += c;
    squares += c * c;
}

void main()
{
    vec2 uv = textureCoordinate;
    float n = float((radius + 1) * (radius + 1));
    vec3 m[4];
    vec3 s[4];
    for (int k = 0; k < 4; ++k) {
        m[k] = vec3(0.0);
        s[k] = vec3(0.0);
    }
    for (int j = -radius; j <= 0; ++j) {
        for (int i = -radius; i <= 0; ++i) {
            accumulate(m[0], s[0], uv, float(i), float(j));
        }
    }
    for (int j = -radius; j <= 0; ++j) {
        for (int i = 0; i <= radius; ++i) {
            accumulate(m[1], s[1], uv, float(i), float(j));
        }
    }
    for (int j = 0; j <= radius; ++j) {
        for (int i = 0; i <= radius; ++i) {
            accumulate(m[2], s[2], uv, float(i), float(j));
        }
    }
    for (int j = 0; j <= radius; ++j) {
        for (int i = -radius; i <= 0; ++i) {
            accumulate(m[3], s[3], uv, float(i), float(j));
        }
    }
    float min_sigma2 = 1e+2;
    vec3 result = vec3(0.0);
    for (int k = 0; k < 4; ++k) {
        vec3 mean = m[k] / n;
        vec3 variance = abs(s[k] / n - mean * mean);
        float sigma2 = variance.r + variance.g + variance.b;
        if (sigma2 < min_sigma2) {
            min_sigma2 = sigma2;
            result = mean;
        }
    }
    gl_FragColor = vec4(result, 1.0);
}
)";

}  // namespace GPUKuwaharaFilter_cpp
}  // namespace

Ref<GPUKuwaharaFilter> GPUKuwaharaFilter::create()
{
    auto filter = std::make_shared<GPUKuwaharaFilter>();
    filter->initWithFragmentShaderFromStringBody(std::string(GPUKuwaharaFilter_cpp::kKuwaharaFragmentShader));
    filter->radiusUniform_ = filter->filterProgram_->uniformIndex("radius");
    filter->setRadius(4);
    return filter;
}

void GPUKuwaharaFilter::setRadius(int newValue)
{
    radius_ = newValue;
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1i(radiusUniform_, radius_);
}
