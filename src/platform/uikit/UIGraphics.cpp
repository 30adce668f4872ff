#include "platform/uikit/UIGraphics.h"

#include <vector>

#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIScreen.h"

namespace {
struct Entry {
    CGContextRef context;
    bool imageContext = false;
};
thread_local std::vector<Entry> stack;
}  // namespace

CGContextRef UIGraphicsGetCurrentContext() { return stack.empty() ? nullptr : stack.back().context; }

void UIGraphicsPushContext(CGContextRef context) { stack.push_back({std::move(context), false}); }

void UIGraphicsPopContext()
{
    if (!stack.empty() && !stack.back().imageContext) {
        stack.pop_back();
    }
}

void UIGraphicsBeginImageContext(CGSize size) { UIGraphicsBeginImageContextWithOptions(size, false, 1); }

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale)
{
    if (scale <= 0) {
        scale = UIScreen::mainScreen()->scale();
    }
    stack.push_back({CGContext::createRecording(size, scale), true});
}

Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext()
{
    if (stack.empty() || !stack.back().imageContext) {
        return nullptr;
    }
    const CGContextRef& context = stack.back().context;
    const CGSize size = context->size();
    const CGFloat scale = context->scale();
    auto image = CGImage::create(size_t(std::ceil(size.width * scale)), size_t(std::ceil(size.height * scale)));
    return UIImage::imageWithCGImage_scale_orientation(image, scale, UIImageOrientationUp);
}

void UIGraphicsEndImageContext()
{
    if (!stack.empty() && stack.back().imageContext) {
        stack.pop_back();
    }
}

void UIRectFill(CGRect rect) { CGContextFillRect(UIGraphicsGetCurrentContext(), rect); }

void UIRectFrame(CGRect rect) { CGContextStrokeRect(UIGraphicsGetCurrentContext(), CGRectInset(rect, 0.5, 0.5)); }

void UIRectClip(CGRect rect) { CGContextClipToRect(UIGraphicsGetCurrentContext(), rect); }
