#pragma once
// Pictures of views: UIImage(ImageWithUIView).
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"

// A bitmap context of width x height pixels: 8 bits a component, rows chosen by the context, the device
// RGB space, alpha premultiplied and first in 32-bit little-endian words (blue, green, red, alpha in
// memory). Null when either size is 0.
CGContextRef createBitmapContext(size_t width, size_t height);

namespace ImageWithUIView {

// An image of the view's layer at its current size and scale 1: the bounds' size truncated to whole
// pixels, the context flipped so the view draws upright, the view's pending layout and display run
// first. Nil for a nil view or one with no whole pixel in either direction.
Ref<UIImage> imageWithUIView(const Ref<UIView>& view);

}  // namespace ImageWithUIView
