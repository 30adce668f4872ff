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
    // Pixels, and the records as well for tests that read what was drawn.
    stack.push_back({CGContext::createImageContext(size, scale, true), true});
}

Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext()
{
    if (stack.empty() || !stack.back().imageContext) {
        return nullptr;
    }
    const CGContextRef& context = stack.back().context;
    return UIImage::imageWithCGImage_scale_orientation(context->makeImage(), context->scale(), UIImageOrientationUp);
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
