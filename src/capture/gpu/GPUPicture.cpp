#include "capture/gpu/GPUPicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace GPUPicture_cpp {

size_t nextPowerOfTwo(size_t value)
{
    size_t power = 1;
    while (power < value) {
        power <<= 1;
    }
    return power;
}

// The image's pixels (premultiplied ARGB words, i.e. BGRA bytes) stretched over width x height with
// bilinear sampling; transparent black where the image has no pixels.
std::vector<uint32_t> drawnInto(const CGImageRef& image, size_t width, size_t height)
{
    std::vector<uint32_t> out(width * height, 0);
    if (!image || !image->hasPixels() || width == 0 || height == 0) {
        return out;
    }
    const size_t sourceWidth = image->width();
    const size_t sourceHeight = image->height();
    if (sourceWidth == width && sourceHeight == height) {
        return image->pixels();
    }
    const auto& pixels = image->pixels();
    const double sx = static_cast<double>(sourceWidth) / static_cast<double>(width);
    const double sy = static_cast<double>(sourceHeight) / static_cast<double>(height);
    for (size_t y = 0; y < height; ++y) {
        const double fy = std::clamp((static_cast<double>(y) + 0.5) * sy - 0.5, 0.0, static_cast<double>(sourceHeight - 1));
        const auto y0 = static_cast<size_t>(fy);
        const size_t y1 = std::min(y0 + 1, sourceHeight - 1);
        const double wy = fy - static_cast<double>(y0);
        for (size_t x = 0; x < width; ++x) {
            const double fx = std::clamp((static_cast<double>(x) + 0.5) * sx - 0.5, 0.0, static_cast<double>(sourceWidth - 1));
            const auto x0 = static_cast<size_t>(fx);
            const size_t x1 = std::min(x0 + 1, sourceWidth - 1);
            const double wx = fx - static_cast<double>(x0);
            const uint32_t p00 = pixels[y0 * sourceWidth + x0];
            const uint32_t p01 = pixels[y0 * sourceWidth + x1];
            const uint32_t p10 = pixels[y1 * sourceWidth + x0];
            const uint32_t p11 = pixels[y1 * sourceWidth + x1];
            uint32_t result = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const double top = ((p00 >> shift) & 0xFF) * (1 - wx) + ((p01 >> shift) & 0xFF) * wx;
                const double bottom = ((p10 >> shift) & 0xFF) * (1 - wx) + ((p11 >> shift) & 0xFF) * wx;
                const auto channel = static_cast<uint32_t>(std::lround(top * (1 - wy) + bottom * wy));
                result |= std::min<uint32_t>(channel, 255) << shift;
            }
            out[y * width + x] = result;
        }
    }
    return out;
}

}  // namespace GPUPicture_cpp
}  // namespace

GPUPicture::GPUPicture() = default;

Ref<GPUPicture> GPUPicture::initWithImage(const Ref<UIImage>& newImageSource)
{
    return initWithImage_smoothlyScaleOutput(newImageSource, false);
}

Ref<GPUPicture> GPUPicture::initWithImage_smoothlyScaleOutput(const Ref<UIImage>& newImageSource, bool smoothlyScaleOutput)
{
    auto picture = std::make_shared<GPUPicture>();
    picture->initWithImage_smoothlyScaleOutputBody(newImageSource, smoothlyScaleOutput);
    return picture;
}

void GPUPicture::initWithImage_smoothlyScaleOutputBody(const Ref<UIImage>& newImageSource, bool smoothlyScaleOutput)
{
    initBody();
    imageSource_ = newImageSource;
    shouldSmoothlyScaleOutput_ = smoothlyScaleOutput;
    GPUOpenGLESContext::useImageProcessingContext();
    const CGSize points = imageSource_ ? imageSource_->size() : CGSizeZero;
    const CGFloat scale = imageSource_ ? imageSource_->scale() : 1;
    inputTextureSize_ = CGSizeMake(points.width * scale, points.height * scale);
    size_t width = static_cast<size_t>(std::lround(inputTextureSize_.width));
    size_t height = static_cast<size_t>(std::lround(inputTextureSize_.height));
    if (shouldSmoothlyScaleOutput_) {
        width = GPUPicture_cpp::nextPowerOfTwo(width);
        height = GPUPicture_cpp::nextPowerOfTwo(height);
    }
    const std::vector<uint32_t> bitmap =
        GPUPicture_cpp::drawnInto(imageSource_ ? imageSource_->CGImage() : nullptr, width, height);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, outputTexture_);
    if (shouldSmoothlyScaleOutput_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_BGRA_EXT,
                 GL_UNSIGNED_BYTE, bitmap.empty() ? nullptr : bitmap.data());
    if (shouldSmoothlyScaleOutput_) {
        glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
        glGenerateMipmap(GL_TEXTURE_2D);
    }
}

void GPUPicture::processImage()
{
    const std::vector<Ref<GPUInput>> targets = targets_;
    for (const Ref<GPUInput>& target : targets) {
        target->setInputSize(inputTextureSize_);
        target->newFrameReady();
    }
}
