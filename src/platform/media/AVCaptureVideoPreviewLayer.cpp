#include "platform/media/AVCaptureVideoPreviewLayer.h"

#include <cstring>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/graphics/CGColor.h"
#include "platform/media/CVPixelBuffer.h"

namespace {
namespace AVCaptureVideoPreviewLayer_cpp {

// The frame as a picture. BGRA bytes are the premultiplied ARGB words of an image on this
// little-endian machine (the camera's frames are opaque).
CGImageRef pictureOf(const CVPixelBufferRef& pixels)
{
    if (!pixels || CVPixelBufferGetPixelFormatType(pixels) != kCVPixelFormatType_32BGRA) {
        return nullptr;
    }
    CVPixelBufferLockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly);
    const size_t width = CVPixelBufferGetWidth(pixels);
    const size_t height = CVPixelBufferGetHeight(pixels);
    const size_t stride = CVPixelBufferGetBytesPerRow(pixels);
    const auto* base = static_cast<const uint8_t*>(CVPixelBufferGetBaseAddress(pixels));
    std::vector<uint32_t> words(width * height);
    for (size_t y = 0; base && y < height; ++y) {
        std::memcpy(words.data() + y * width, base + y * stride, width * 4);
    }
    CVPixelBufferUnlockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly);
    return base ? CGImage::create(width, height, std::move(words)) : nullptr;
}

}  // namespace AVCaptureVideoPreviewLayer_cpp
}  // namespace

Ref<AVCaptureVideoPreviewLayer> AVCaptureVideoPreviewLayer::layerWithSession(const Ref<AVCaptureSession>& session)
{
    auto layer = std::make_shared<AVCaptureVideoPreviewLayer>();
    layer->setVideoGravity(AVLayerVideoGravityResizeAspect);
    layer->session_ = session;
    if (session) {
        // The frames arrive on the capture thread; the picture is made there and shown on the main
        // thread, where layers are touched.
        session->addPreview(layer.get(), [weak = Weak<AVCaptureVideoPreviewLayer>(layer)](const CVPixelBufferRef& pixels) {
            if (weak.expired()) {
                return;
            }
            const CGImageRef image = AVCaptureVideoPreviewLayer_cpp::pictureOf(pixels);
            if (!image) {
                return;
            }
            dispatch_async(dispatch_get_main_queue(), [weak, image] {
                if (auto shown = weak.lock()) {
                    shown->show(image);
                }
            });
        });
    }
    return layer;
}

AVCaptureVideoPreviewLayer::~AVCaptureVideoPreviewLayer()
{
    if (session_) {
        session_->removePreview(this);
    }
}

void AVCaptureVideoPreviewLayer::setVideoGravity(const std::string& gravity)
{
    videoGravity_ = gravity;
    setContentsGravity(gravity == AVLayerVideoGravityResizeAspectFill ? kCAGravityResizeAspectFill
                       : gravity == AVLayerVideoGravityResize        ? kCAGravityResize
                                                                     : kCAGravityResizeAspect);
}

void AVCaptureVideoPreviewLayer::show(const CGImageRef& image)
{
    ++framesShown_;
    setContents(image);
}
