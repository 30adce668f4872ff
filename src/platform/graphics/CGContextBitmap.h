#pragma once
// The bitmap back end of CGContext (internal to platform_graphics): pixels painted with cairo.
//
// The pixels are a cairo image surface. When the caller's layout is cairo's own (premultiplied ARGB
// in native 32-bit words, or alpha only with rows on 4-byte boundaries) cairo paints straight into the
// caller's memory; any other layout is painted into a surface of the context's own and copied into
// the caller's memory after every drawing call, so the caller's bytes are always current.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/CGContext.h"

struct CGContext::Bitmap {
    // Null when the layout is not supported or the sizes do not fit. `base` maps the context's own
    // space to pixels (y down from the top row).
    static std::unique_ptr<Bitmap> create(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                          size_t bytesPerRow, CGBitmapInfo info, CGAffineTransform base);
    ~Bitmap();

    void paint(const CGDrawingRecord& record);

    size_t width() const { return width_; }
    size_t height() const { return height_; }
    size_t bytesPerRow() const { return stride_; }
    CGBitmapInfo info() const { return info_; }
    size_t bitsPerPixel() const { return alphaOnly_ ? 8 : 32; }
    void* data() const { return data_; }
    CGImageRef makeImage() const;
    uint32_t pixelAt(size_t x, size_t y) const;

    struct Impl;

private:
    Bitmap() = default;
    void copyOut();  // the painted surface into the caller's layout
    void copyIn();   // the caller's pixels into the surface

    size_t width_ = 0;
    size_t height_ = 0;
    size_t stride_ = 0;
    CGBitmapInfo info_ = 0;
    bool alphaOnly_ = false;
    bool converts_ = false;  // the surface is not the caller's memory
    void* data_ = nullptr;   // the caller's (or our own) pixels in the caller's layout
    std::vector<uint8_t> owned_;
    std::unique_ptr<Impl> impl_;
};
