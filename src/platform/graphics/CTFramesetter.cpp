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
    std::vector<std::vector<CTFramesetter_cpp::GlyphAt>> ellipsis;  // per style run: "…", or "..." without it
    std::vector<CGFloat> ellipsisWidth;
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
    shaped->ellipsis.assign(runs.size(), {});
    shaped->ellipsisWidth.assign(runs.size(), 0);

    for (size_t r = 0; r < runs.size(); ++r) {
        const CTStyleRun& run = runs[r];
        for (size_t i = run.location; i < run.location + run.length; ++i) {
            shaped->styleRun[i] = r;
        }
        if (!run.font || run.length == 0) {
            continue;
        }
        {
            const CGFloat unit = run.pointSize / run.font->unitsPerEm();
            const CGGlyph ellipsis = run.font->glyphForCharacter(U'\u2026');
            const CGGlyph dot = run.font->glyphForCharacter(U'.');
            for (const CGGlyph g : ellipsis != 0 ? std::vector<CGGlyph>{ellipsis} : std::vector<CGGlyph>{dot, dot, dot}) {
                const CGFloat advance = run.font->advanceForGlyph(g) * unit;
                shaped->ellipsis[r].push_back({g, shaped->ellipsisWidth[r], 0, advance});
                shaped->ellipsisWidth[r] += advance;
            }
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

bool CTParagraphStyle::isEqual(const NSObject* other) const
{
    const auto* style = dynamic_cast<const CTParagraphStyle*>(other);
    if (!style || style->settings_.size() != settings_.size()) {
        return false;
    }
    for (size_t i = 0; i < settings_.size(); ++i) {
        if (settings_[i].spec != style->settings_[i].spec || settings_[i].value != style->settings_[i].value) {
            return false;
        }
    }
    return true;
}

CTParagraphStyleRef CTParagraphStyle::create(const std::vector<CTParagraphStyleSetting>& settings)
{
    auto style = std::make_shared<CTParagraphStyle>();
    style->settings_ = settings;
    for (const CTParagraphStyleSetting& setting : settings) {
        switch (setting.spec) {
        case kCTParagraphStyleSpecifierAlignment:
            style->alignment = setting.value >= 0 && setting.value <= 4 ? CTTextAlignment(int(setting.value)) : kCTNaturalTextAlignment;
            break;
        case kCTParagraphStyleSpecifierLineBreakMode:
            style->lineBreakMode = setting.value >= 0 && setting.value <= 5 ? CTLineBreakMode(int(setting.value)) : kCTLineBreakByWordWrapping;
            break;
        case kCTParagraphStyleSpecifierFirstLineHeadIndent: style->firstLineHeadIndent = setting.value; break;
        case kCTParagraphStyleSpecifierHeadIndent: style->headIndent = setting.value; break;
        case kCTParagraphStyleSpecifierTailIndent: style->tailIndent = setting.value; break;
        case kCTParagraphStyleSpecifierLineHeightMultiple: style->lineHeightMultiple = setting.value; break;
        case kCTParagraphStyleSpecifierLineSpacing: style->lineSpacing = setting.value; break;
        case kCTParagraphStyleSpecifierParagraphSpacingBefore: style->paragraphSpacingBefore = setting.value; break;
        case kCTParagraphStyleSpecifierParagraphSpacing: style->paragraphSpacing = setting.value; break;
        }
    }
    return style;
}

std::vector<CTTextLine> CTFramesetter::layLines(NSRange range, CGFloat width, CGFloat height) const
{
    using namespace CTFramesetter_cpp;
    const Shaped& s = *shaped_;
    const size_t end = range.length == 0 ? text_.size() : std::min<size_t>(text_.size(), range.location + range.length);
    const bool unbounded = width >= std::numeric_limits<CGFloat>::max() / 2;
    static const CTParagraphStyleRef plain = CTParagraphStyle::create({});
    const auto styleAt = [&](size_t unit) -> const CTParagraphStyle& {
        const CTParagraphStyleRef& style = runs_.empty() || unit >= text_.size() ? nullptr : runs_[s.styleRun[unit]].paragraphStyle;
        return style ? *style : *plain;
    };
    const auto isLow = [&](size_t k) { return k < text_.size() && text_[k] >= 0xDC00 && text_[k] <= 0xDFFF; };

    std::vector<CTTextLine> lines;
    CGFloat used = 0;
    size_t i = std::min<size_t>(range.location, end);
    size_t paragraphStart = i;
    while (paragraphStart > 0 && !isHardBreak(text_[paragraphStart - 1])) {
        --paragraphStart;
    }
    CGFloat spacingAfterParagraph = 0;  // of the paragraph before, once it has ended
    while (i < end) {
        const bool firstOfParagraph = i == 0 || isHardBreak(text_[i - 1]);
        if (firstOfParagraph) {
            paragraphStart = i;
        }
        const CTParagraphStyle& style = styleAt(paragraphStart);
        const CGFloat indent = firstOfParagraph ? style.firstLineHeadIndent : style.headIndent;
        const CGFloat lineEndEdge = unbounded ? width : style.tailIndent > 0 ? style.tailIndent : width + style.tailIndent;
        const CGFloat room = unbounded ? width : lineEndEdge - indent;
        const bool oneLine = style.lineBreakMode >= kCTLineBreakByClipping;

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
            if (k > i && (s.canBreakBefore[k] || (style.lineBreakMode == kCTLineBreakByCharWrapping && !isLow(k)))) {
                lastBreak = k;
            }
            if (!oneLine && !isSpace(text_[k]) && !isHardBreak(text_[k]) && lineWidth + s.advance[k] > room && k > i) {
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
        size_t visibleEnd = lineEnd;
        while (visibleEnd > i && (isSpace(text_[visibleEnd - 1]) || isHardBreak(text_[visibleEnd - 1]))) {
            --visibleEnd;
        }

        // What the line shows: its characters, or for a one-line paragraph wider than the room, the part
        // that fits, with an ellipsis where the text was cut when truncating.
        std::vector<size_t> shown;  // units; kEllipsis marks the ellipsis
        constexpr size_t kEllipsis = std::numeric_limits<size_t>::max();
        CGFloat visibleWidth = 0;
        for (size_t u = i; u < visibleEnd; ++u) {
            visibleWidth += s.advance[u];
        }
        if (oneLine && visibleWidth > room && visibleEnd > i + 1) {
            const CTLineBreakMode mode = style.lineBreakMode;
            const size_t styleRunAtCut = runs_.empty() ? 0 : s.styleRun[mode == kCTLineBreakByTruncatingHead ? i : visibleEnd - 1];
            const CGFloat ellipsis = mode == kCTLineBreakByClipping || runs_.empty() ? 0 : s.ellipsisWidth[styleRunAtCut];
            // Units from the start that fit in `space`, at least `atLeast` of them, whole surrogate pairs.
            const auto fromStart = [&](CGFloat space, size_t atLeast) {
                std::vector<size_t> kept;
                CGFloat x = 0;
                for (size_t u = i; u < visibleEnd; ++u) {
                    if (x + s.advance[u] > space && kept.size() >= atLeast && !isLow(u)) break;
                    x += s.advance[u];
                    kept.push_back(u);
                }
                return kept;
            };
            const auto fromEnd = [&](CGFloat space) {
                std::vector<size_t> kept;
                CGFloat x = 0;
                for (size_t u = visibleEnd; u > i; --u) {
                    if (x + s.advance[u - 1] > space && !isLow(u)) break;
                    x += s.advance[u - 1];
                    kept.insert(kept.begin(), u - 1);
                }
                return kept;
            };
            if (mode == kCTLineBreakByClipping) {
                shown = fromStart(room, 1);
            } else if (mode == kCTLineBreakByTruncatingHead) {
                shown = fromEnd(room - ellipsis);
                shown.insert(shown.begin(), kEllipsis);
            } else if (mode == kCTLineBreakByTruncatingMiddle) {
                const CGFloat half = std::floor((room - ellipsis) / 2);
                shown = fromStart(half, 0);
                CGFloat taken = 0;
                for (size_t u : shown) taken += s.advance[u];
                std::vector<size_t> tail = fromEnd(room - ellipsis - taken);
                shown.push_back(kEllipsis);
                shown.insert(shown.end(), tail.begin(), tail.end());
            } else {
                shown = fromStart(room - ellipsis, 0);
                shown.push_back(kEllipsis);
            }
        } else {
            for (size_t u = i; u < visibleEnd; ++u) {
                shown.push_back(u);
            }
        }

        CTTextLine line;
        line.range = NSMakeRange(i, lineEnd - i);
        CGFloat x = 0;
        const auto runFor = [&](size_t r, size_t at) -> CTGlyphRun& {
            const CTStyleRun& styleRun = runs_.empty() ? CTStyleRun{} : runs_[r];
            if (line.runs.empty() || line.runs.back().styleRun != r) {
                CTGlyphRun run;
                run.range = NSMakeRange(at, 0);
                run.styleRun = r;
                run.font = styleRun.font;
                run.pointSize = styleRun.pointSize;
                line.runs.push_back(std::move(run));
                if (styleRun.font) {
                    const CGFloat unit = styleRun.pointSize / styleRun.font->unitsPerEm();
                    line.ascent = std::max(line.ascent, styleRun.font->ascent() * unit);
                    line.descent = std::max(line.descent, -styleRun.font->descent() * unit);
                    line.leading = std::max(line.leading, styleRun.font->leading() * unit);
                }
            }
            return line.runs.back();
        };
        size_t next = i;  // the first unit not yet in a run's range
        for (size_t p = 0; p < shown.size(); ++p) {
            if (shown[p] == kEllipsis) {
                const size_t cut = p + 1 < shown.size() ? shown[p + 1] : visibleEnd;
                const size_t r = runs_.empty() ? 0 : s.styleRun[std::min(next, text_.size() - 1)];
                CTGlyphRun& run = runFor(r, next);
                run.range.length = cut - run.range.location;
                next = cut;
                if (!runs_.empty()) {
                    for (const GlyphAt& g : s.ellipsis[r]) {
                        run.glyphs.push_back(g.glyph);
                        run.positions.push_back({x + g.xOffset, 0});
                        run.stringIndices.push_back(std::min(cut, visibleEnd - 1));
                    }
                    x += s.ellipsisWidth[r];
                }
                continue;
            }
            const size_t u = shown[p];
            const size_t r = runs_.empty() ? 0 : s.styleRun[u];
            CTGlyphRun& run = runFor(r, next);
            run.range.length = u + 1 - run.range.location;
            next = u + 1;
            for (const GlyphAt& g : s.glyphs[u]) {
                run.glyphs.push_back(g.glyph);
                run.positions.push_back({x + g.xOffset, g.yOffset});
                run.stringIndices.push_back(u);
            }
            x += s.advance[u];
        }
        // The hidden rest of the line (cut text, hanging spaces, the line break) joins the last run.
        if (next < lineEnd) {
            const size_t r = runs_.empty() ? 0 : s.styleRun[next];
            CTGlyphRun& run = line.runs.empty() ? runFor(r, next) : line.runs.back();
            run.range.length = lineEnd - run.range.location;
        }
        line.width = x;
        // A justified line that the paragraph goes on after is widened to the room: the extra space goes
        // into its spaces, or, in text without spaces (Chinese), between its characters.
        const bool lastOfParagraph = hard || lineEnd >= end || isHardBreak(text_[lineEnd - 1]);
        const bool truncated = shown.size() != visibleEnd - i;
        if (!unbounded && !oneLine && !truncated && !lastOfParagraph && style.alignment == kCTJustifiedTextAlignment &&
            room > x) {
            bool spaced = false;
            for (size_t u = i; u < visibleEnd && !spaced; ++u) {
                spaced = isSpace(text_[u]);
            }
            const auto gapAfter = [&](size_t u) {
                return spaced ? isSpace(text_[u]) : u + 1 < visibleEnd && !isLow(u + 1);
            };
            size_t gaps = 0;
            for (size_t u = i; u < visibleEnd; ++u) {
                gaps += gapAfter(u) ? 1 : 0;
            }
            if (gaps > 0) {
                const CGFloat each = (room - x) / CGFloat(gaps);
                // Gaps before each unit of the line, counted once.
                std::vector<size_t> before(visibleEnd - i + 1, 0);
                for (size_t u = i; u < visibleEnd; ++u) {
                    before[u - i + 1] = before[u - i] + (gapAfter(u) ? 1 : 0);
                }
                for (CTGlyphRun& run : line.runs) {
                    for (size_t g = 0; g < run.glyphs.size(); ++g) {
                        const size_t u = run.stringIndices[g];
                        run.positions[g].x += each * CGFloat(before[std::min(u, visibleEnd) - i]);
                    }
                }
                line.width = room;
            }
        }
        CGFloat lineHeight = line.ascent + line.descent + line.leading;
        if (style.lineHeightMultiple > 0) {
            lineHeight *= style.lineHeightMultiple;
        }
        line.height = lineHeight;
        line.spaceAbove = firstOfParagraph ? style.paragraphSpacingBefore + (lines.empty() ? 0 : spacingAfterParagraph)
                                           : style.lineSpacing;
        if (!unbounded && style.alignment == kCTRightTextAlignment) {
            line.x = indent + std::max<CGFloat>(0, room - line.width);
        } else if (!unbounded && style.alignment == kCTCenterTextAlignment) {
            line.x = indent + std::max<CGFloat>(0, (room - line.width) / 2);
        } else {
            line.x = indent;
        }
        if (!lines.empty() && used + line.spaceAbove + lineHeight > height) {
            break;
        }
        used += line.spaceAbove + lineHeight;
        lines.push_back(std::move(line));
        i = lineEnd;
        if (i > 0 && isHardBreak(text_[i - 1])) {
            spacingAfterParagraph = style.paragraphSpacing;
        }
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
        // A taller line box (line-height multiple) puts the room above the glyphs.
        top += line.spaceAbove;
        frame.lineOrigins.push_back({line.x, rect.size.height - top - (line.height - line.descent - line.leading)});
        top += line.height;
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
        size.width = std::max(size.width, line.x + line.width);
        size.height += line.spaceAbove + line.height;
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
