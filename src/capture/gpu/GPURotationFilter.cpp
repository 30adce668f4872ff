#include "capture/gpu/GPURotationFilter.h"

namespace {
namespace GPURotationFilter_cpp {

const GLfloat kVertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};

// Texture coordinates of the four vertices for each mode.
const GLfloat kCoordinates[4][8] = {
    {1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f},  // quarter turn
    {0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f},  // quarter turn the other way
    {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f},  // mirrored left to right
    {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f},  // mirrored top to bottom
};

}  // namespace GPURotationFilter_cpp
}  // namespace

GPURotationFilter::GPURotationFilter() = default;

Ref<GPURotationFilter> GPURotationFilter::initWithRotation(int newRotationMode)
{
    auto filter = std::make_shared<GPURotationFilter>();
    filter->initWithRotationBody(newRotationMode);
    return filter;
}

void GPURotationFilter::initWithRotationBody(int newRotationMode)
{
    initWithFragmentShaderFromStringBody(std::string(kGPUPassthroughFragmentShaderString));
    rotationMode_ = newRotationMode;
}

void GPURotationFilter::setInputSize(CGSize newSize)
{
    if (rotationMode_ == 0 || rotationMode_ == 1) {
        inputTextureSize_ = CGSizeMake(newSize.height, newSize.width);
    } else {
        inputTextureSize_ = newSize;
    }
}

void GPURotationFilter::newFrameReady()
{
    if (rotationMode_ < 0 || rotationMode_ > 3) {
        return;
    }
    renderToTextureWithVertices_textureCoordinates(GPURotationFilter_cpp::kVertices,
                                                   GPURotationFilter_cpp::kCoordinates[rotationMode_]);
}
