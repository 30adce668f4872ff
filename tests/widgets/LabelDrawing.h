#pragma once
// The glyph records one drawTextInRect of a label's bounds puts into a recording context.
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"

namespace LabelDrawing {

inline std::vector<CGDrawingRecord> drawnGlyphRecords(const Ref<UILabel>& label)
{
    const CGContextRef c = CGContext::createRecording(CGSizeMake(400, 400));
    UIGraphicsPushContext(c);
    label->drawTextInRect(label->bounds());
    UIGraphicsPopContext();
    std::vector<CGDrawingRecord> glyphs;
    for (const CGDrawingRecord& r : c->records()) {
        if (r.kind == CGDrawingRecord::kGlyphs) {
            glyphs.push_back(r);
        }
    }
    return glyphs;
}

}  // namespace LabelDrawing
