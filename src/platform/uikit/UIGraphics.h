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

// A recording context of the size (in points) becomes current. A scale of 0 is the main screen's.
void UIGraphicsBeginImageContext(CGSize size);
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
// An image of the current image context's size and scale (null outside an image context). Its pixels
// are not rendered: the records of the context tell what was drawn.
Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();

void UIRectFill(CGRect rect);   // with the current fill colour
void UIRectFrame(CGRect rect);  // a one-point outline inside rect, with the current stroke colour
void UIRectClip(CGRect rect);
