#include "widgets/ImageWithUIView.h"

#include "platform/graphics/CGGradient.h"

CGContextRef createBitmapContext(size_t width, size_t height)
{
    if (width == 0 || height == 0) {
        return nullptr;
    }
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(nullptr, width, height, 8, 0, space,
                                                 kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGColorSpaceRelease(space);
    return context;
}

namespace ImageWithUIView {

Ref<UIImage> imageWithUIView(const Ref<UIView>& view)
{
    if (!view) {
        return nullptr;
    }
    const CGSize size = view->bounds().size;
    const auto width = size.width > 0 ? size_t(size.width) : 0;
    const auto height = size.height > 0 ? size_t(size.height) : 0;
    CGContextRef context = createBitmapContext(width, height);
    if (!context) {
        return nullptr;
    }
    CGContextTranslateCTM(context, 0, CGFloat(height));
    CGContextScaleCTM(context, 1, -1);
    view->layer()->layoutAndDisplayTreeIfNeeded();
    view->layer()->renderInContext(context);
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    return UIImage::imageWithCGImage(image);
}

}  // namespace ImageWithUIView
