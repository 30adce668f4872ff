#pragma once
// Measuring and drawing strings (the platform's NSString(UIStringDrawing) category), by the rules of
// graphics/TextLayout.h: real font metrics, sizes rounded up to whole points, lines as tall as the
// font's line height rounded up. An empty text or a nil font measures (0, 0) and draws nothing.
//
// Drawing appends one text record per line to the current context (UIGraphicsGetCurrentContext),
// in the context's fill colour; without a current context the size is still answered.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIKitDefines.h"

class UIFont;

namespace UIStringDrawing {

// One line, as wide as the text (newlines read as spaces).
CGSize sizeWithFont(const std::string& text, const Ref<UIFont>& font);
// One line at most `width` wide, shortened by the line-break mode.
CGSize sizeWithFont_forWidth_lineBreakMode(const std::string& text, const Ref<UIFont>& font, CGFloat width,
                                           UILineBreakMode mode);
// Lines within the size, word-wrapped.
CGSize sizeWithFont_constrainedToSize(const std::string& text, const Ref<UIFont>& font, CGSize size);
CGSize sizeWithFont_constrainedToSize_lineBreakMode(const std::string& text, const Ref<UIFont>& font, CGSize size,
                                                    UILineBreakMode mode);
// One line at most `width` wide: the largest size from the font's down to minFontSize at which the
// text fits (it is shortened at minFontSize if it still does not); the size used goes to actualFontSize.
CGSize sizeWithFont_minFontSize_actualFontSize_forWidth_lineBreakMode(const std::string& text,
                                                                      const Ref<UIFont>& font, CGFloat minFontSize,
                                                                      CGFloat* actualFontSize, CGFloat width,
                                                                      UILineBreakMode mode);

CGSize drawAtPoint_withFont(const std::string& text, CGPoint point, const Ref<UIFont>& font);
CGSize drawAtPoint_forWidth_withFont_lineBreakMode(const std::string& text, CGPoint point, CGFloat width,
                                                   const Ref<UIFont>& font, UILineBreakMode mode);
CGSize drawInRect_withFont(const std::string& text, CGRect rect, const Ref<UIFont>& font);
CGSize drawInRect_withFont_lineBreakMode(const std::string& text, CGRect rect, const Ref<UIFont>& font,
                                         UILineBreakMode mode);
CGSize drawInRect_withFont_lineBreakMode_alignment(const std::string& text, CGRect rect, const Ref<UIFont>& font,
                                                   UILineBreakMode mode, UITextAlignment alignment);

}  // namespace UIStringDrawing
