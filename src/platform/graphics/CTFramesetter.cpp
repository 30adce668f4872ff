#include "platform/graphics/CTFramesetter.h"

#include <hb.h>
#include <unicode/ubrk.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {
namespace CTFramesetter_cpp {

// HarfBuzz reads the font's tables through the font object, so shaping and drawing agree on the face.
hb_blob_t* referenceTable(hb_face_t*, hb_tag_t tag, void* userData)
{
    const auto* font = static_cast<const CGFont*>(userData);
    auto bytes = font->copyTableForTag(tag);
    if (!bytes) {
        return nullptr;
    }
    auto* held = new std::vector<uint8_t>(std::move(*bytes));
    return hb_blob_create(reinterpret_cast<const char*>(held->data()), unsigned(held->size()),
                          HB_MEMORY_MODE_READONLY, held, [](void* p) { delete static_cast<std::vector<uint8_t>*>(p); });
}

struct GlyphAt {
    CGGlyph glyph = 0;
    CGFloat xOffset = 0;  // from the pen position of its cluster
    CGFloat yOffset = 0;
    CGFloat advance = 0;
};

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000; }
bool isHardBreak(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x85 || c == 0x2028 || c == 0x2029; }

}  // namespace CTFramesetter_cpp
}  // namespace

struct CTFramesetter::Shaped {
    std::vector<CGFloat> advance;                 // per unit: the advances of the glyphs of its cluster
    std::vector<std::vector<CTFramesetter_cpp::GlyphAt>> glyphs;  // per unit: glyphs of the cluster it starts
    std::vector<size_t> styleRun;                 // per unit
    std::vector<bool> canBreakBefore;             // per unit (and one past the end)
    std::vector<bool> mustBreakBefore;
};

std::shared_ptr<CTFramesetter> CTFramesetter::create(std::u16string text, std::vector<CTStyleRun> runs)
{
    using namespace CTFramesetter_cpp;
    auto f = std::make_shared<CTFramesetter>();
    f->text_ = std::move(text);
    const size_t n = f->text_.size();
    auto shaped = std::make_shared<Shaped>();
    shaped->advance.assign(n, 0);
    shaped->glyphs.assign(n, {});
    shaped->styleRun.assign(n, 0);
    shaped->canBreakBefore.assign(n + 1, false);
    shaped->mustBreakBefore.assign(n + 1, false);
    for (CTStyleRun& run : runs) {
        run.location = std::min<NSUInteger>(run.location, n);
        run.length = std::min<NSUInteger>(run.length, n - run.location);
    }
    f->runs_ = runs;

    for (size_t r = 0; r < runs.size(); ++r) {
        const CTStyleRun& run = runs[r];
        for (size_t i = run.location; i < run.location + run.length; ++i) {
            shaped->styleRun[i] = r;
        }
        if (!run.font || run.length == 0) {
            continue;
        }
        hb_face_t* face = hb_face_create_for_tables(referenceTable, const_cast<CGFont*>(run.font.get()), nullptr);
        hb_face_set_upem(face, unsigned(run.font->unitsPerEm()));
        hb_font_t* font = hb_font_create(face);
        hb_font_set_scale(font, run.font->unitsPerEm(), run.font->unitsPerEm());
        hb_buffer_t* buffer = hb_buffer_create();
        hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(f->text_.data()), int(n),
                            unsigned(run.location), int(run.length));
        hb_buffer_set_cluster_level(buffer, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
        hb_buffer_guess_segment_properties(buffer);
        hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
        hb_shape(font, buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
        const CGFloat unit = run.pointSize / run.font->unitsPerEm();
        for (unsigned g = 0; g < count; ++g) {
            const size_t cluster = std::min<size_t>(info[g].cluster, n - 1);
            CGFloat before = 0;
            for (const GlyphAt& earlier : shaped->glyphs[cluster]) {
                before += earlier.advance;
            }
            shaped->glyphs[cluster].push_back(
                {CGGlyph(info[g].codepoint), before + pos[g].x_offset * unit, pos[g].y_offset * unit, pos[g].x_advance * unit});
            shaped->advance[cluster] += pos[g].x_advance * unit;
        }
        hb_buffer_destroy(buffer);
        hb_font_destroy(font);
        hb_face_destroy(face);
    }

    if (n > 0) {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* it = ubrk_open(UBRK_LINE, "", reinterpret_cast<const UChar*>(f->text_.data()), int32_t(n), &status);
        if (U_SUCCESS(status)) {
            for (int32_t b = ubrk_first(it); b != UBRK_DONE; b = ubrk_next(it)) {
                shaped->canBreakBefore[size_t(b)] = true;
                if (ubrk_getRuleStatus(it) >= UBRK_LINE_HARD && b > 0) {
                    shaped->mustBreakBefore[size_t(b)] = true;
                }
            }
            ubrk_close(it);
        }
    }
    f->shaped_ = std::move(shaped);
    return f;
}

std::vector<CTTextLine> CTFramesetter::layLines(NSRange range, CGFloat width, CGFloat height) const
{
    using namespace CTFramesetter_cpp;
    const Shaped& s = *shaped_;
    const size_t end = range.length == 0 ? text_.size() : std::min<size_t>(text_.size(), range.location + range.length);
    std::vector<CTTextLine> lines;
    CGFloat used = 0;
    size_t i = std::min<size_t>(range.location, end);
    const auto isLow = [&](size_t k) { return k < text_.size() && text_[k] >= 0xDC00 && text_[k] <= 0xDFFF; };
    while (i < end) {
        // Take characters while they fit; remember the last place a line may end.
        CGFloat lineWidth = 0;
        size_t k = i;
        size_t lastBreak = i;
        bool hard = false;
        while (k < end) {
            if (k > i && s.mustBreakBefore[k]) {
                hard = true;
                break;
            }
            if (k > i && s.canBreakBefore[k]) {
                lastBreak = k;
            }
            if (!isSpace(text_[k]) && !isHardBreak(text_[k]) && lineWidth + s.advance[k] > width && k > i) {
                break;
            }
            lineWidth += s.advance[k];
            ++k;
        }
        size_t lineEnd = k;
        if (!hard && k < end) {
            if (lastBreak > i) {
                lineEnd = lastBreak;
            }
            while (lineEnd < end && isLow(lineEnd)) {
                ++lineEnd;  // never split a surrogate pair
            }
            while (lineEnd < end && isSpace(text_[lineEnd])) {
                ++lineEnd;  // spaces hang at the end of the line
            }
        }
        CTTextLine line;
        line.range = NSMakeRange(i, lineEnd - i);
        CGFloat x = 0;
        size_t visibleEnd = lineEnd;
        while (visibleEnd > i && (isSpace(text_[visibleEnd - 1]) || isHardBreak(text_[visibleEnd - 1]))) {
            --visibleEnd;
        }
        for (size_t u = i; u < lineEnd; ++u) {
            const size_t r = s.styleRun[u];
            const CTStyleRun& style = runs_.empty() ? CTStyleRun{} : runs_[r];
            if (line.runs.empty() || line.runs.back().styleRun != r) {
                CTGlyphRun run;
                run.range = NSMakeRange(u, 0);
                run.styleRun = r;
                run.font = style.font;
                run.pointSize = style.pointSize;
                line.runs.push_back(std::move(run));
                if (style.font) {
                    const CGFloat unit = style.pointSize / style.font->unitsPerEm();
                    line.ascent = std::max(line.ascent, style.font->ascent() * unit);
                    line.descent = std::max(line.descent, -style.font->descent() * unit);
                    line.leading = std::max(line.leading, style.font->leading() * unit);
                }
            }
            CTGlyphRun& run = line.runs.back();
            run.range.length = u + 1 - run.range.location;
            if (u < visibleEnd) {
                for (const GlyphAt& g : s.glyphs[u]) {
                    run.glyphs.push_back(g.glyph);
                    run.positions.push_back({x + g.xOffset, g.yOffset});
                    run.stringIndices.push_back(u);
                }
                x += s.advance[u];
            }
        }
        line.width = x;
        const CGFloat lineHeight = line.ascent + line.descent + line.leading;
        if (!lines.empty() && used + lineHeight > height) {
            break;
        }
        used += lineHeight;
        lines.push_back(std::move(line));
        i = lineEnd;
    }
    return lines;
}

CTTextFrame CTFramesetter::createFrame(NSRange range, CGRect rect) const
{
    CTTextFrame frame;
    frame.rect = rect;
    frame.lines = layLines(range, rect.size.width, rect.size.height);
    CGFloat top = 0;
    for (const CTTextLine& line : frame.lines) {
        frame.lineOrigins.push_back({0, rect.size.height - top - line.ascent});
        top += line.ascent + line.descent + line.leading;
    }
    const NSUInteger start = frame.lines.empty() ? range.location : frame.lines.front().range.location;
    const NSUInteger end = frame.lines.empty() ? start : frame.lines.back().range.location + frame.lines.back().range.length;
    frame.visibleRange = NSMakeRange(start, end - start);
    return frame;
}

CGSize CTFramesetter::suggestFrameSizeWithConstraints(NSRange range, CGSize constraints, NSRange* fitRange) const
{
    // A constraint of 0 (or less) means none, so a zero size asks for the text's natural size.
    const CGFloat width = constraints.width > 0 ? constraints.width : std::numeric_limits<CGFloat>::max();
    const CGFloat height = constraints.height > 0 ? constraints.height : std::numeric_limits<CGFloat>::max();
    const std::vector<CTTextLine> lines = layLines(range, width, height);
    CGSize size = CGSizeZero;
    for (const CTTextLine& line : lines) {
        size.width = std::max(size.width, line.width);
        size.height += line.ascent + line.descent + line.leading;
    }
    if (fitRange) {
        const NSUInteger start = lines.empty() ? range.location : lines.front().range.location;
        const NSUInteger end = lines.empty() ? start : lines.back().range.location + lines.back().range.length;
        *fitRange = NSMakeRange(start, end - start);
    }
    return size;
}

NSUInteger CTTextLine::stringIndexForPosition(CGPoint position) const
{
    // The caret boundary nearest the position: a point on the right half of a character gives the
    // index after it.
    NSUInteger last = range.location;
    for (const CTGlyphRun& run : runs) {
        for (size_t g = 0; g < run.glyphs.size(); ++g) {
            if (g > 0 && run.stringIndices[g] == run.stringIndices[g - 1]) {
                continue;
            }
            size_t next = g + 1;
            while (next < run.glyphs.size() && run.stringIndices[next] == run.stringIndices[g]) {
                ++next;
            }
            const CGFloat start = run.positions[g].x;
            const CGFloat end = next < run.glyphs.size() ? run.positions[next].x : offsetForStringIndex(run.stringIndices[g] + 1);
            if (position.x < (start + end) / 2) {
                return run.stringIndices[g];
            }
            last = next < run.glyphs.size() ? run.stringIndices[next] : run.stringIndices[g] + 1;
        }
    }
    return last;
}

CGFloat CTTextLine::offsetForStringIndex(NSUInteger index) const
{
    for (const CTGlyphRun& run : runs) {
        for (size_t g = 0; g < run.glyphs.size(); ++g) {
            if (run.stringIndices[g] >= index) {
                return run.positions[g].x;
            }
        }
    }
    return width;  // past the last visible character
}
