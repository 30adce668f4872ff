#pragma once
// The current drawing context of the calling thread (a stack: drawRect and image contexts push onto
// it), image contexts, and rectangle fills in the current context.
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/foundation/NSObject.h"

class UIImage;

CGContextRef UIGraphicsGetCurrentContext();  // null when nothing is being drawn
void UIGraphicsPushContext(CGContextRef context);
void UIGraphicsPopContext();

// An image context of the size (in points) becomes current: transparent pixels at the scale (0 is the
// main screen's; the pixel size is rounded up), y down from the top left. It keeps the records of
// what is drawn as well (context->records()).
void UIGraphicsBeginImageContext(CGSize size);
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
// An image of the current image context's pixels, at its scale (null outside an image context).
Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();

void UIRectFill(CGRect rect);   // with the current fill colour
void UIRectFrame(CGRect rect);  // a one-point outline inside rect, with the current stroke colour
void UIRectClip(CGRect rect);
