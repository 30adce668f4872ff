#include "widgets/TextDrawing.h"

#include <unicode/ubrk.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/CustomFontManager.h"

namespace {
namespace TextDrawing_cpp {

constexpr char16_t kEllipsis = u'\u2026';

bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Per UTF-16 unit (and one past the end): whether a line may start there, by the Unicode line
// breaking rules as ICU's line iterator applies them: between words, between Chinese characters, never
// before closing punctuation nor after opening punctuation.
std::vector<bool> lineBreakOpportunities(const std::u16string& text)
{
    std::vector<bool> out(text.size() + 1, false);
    if (text.empty()) {
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_LINE, "", reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()), &status);
    if (U_FAILURE(status)) {
        return out;
    }
    for (int32_t b = ubrk_first(it); b != UBRK_DONE; b = ubrk_next(it)) {
        out[size_t(b)] = true;
    }
    ubrk_close(it);
    return out;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The number of units of the character at i (2 for a whole surrogate pair).
size_t unitsAt(const std::u16string& text, size_t i)
{
    return isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]) ? 2 : 1;
}

char32_t codePointAt(const std::u16string& text, size_t i)
{
    if (unitsAt(text, i) == 2) {
        return 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
    }
    return text[i];
}

// The start of the character that ends just before i.
size_t previousCharacter(const std::u16string& text, size_t i)
{
    if (i >= 2 && isLowSurrogate(text[i - 1]) && isHighSurrogate(text[i - 2])) {
        return i - 2;
    }
    return i - 1;
}

Value attributeOrDefault(const Value& attributes, const char* key)
{
    Value v = attributes[key];
    return v ? v : TextDefaultAttributes()[key];
}

// One run as the layout reads it: its font, its font's character map (shared through the call's
// cache), and one glyph and one advance per code point, computed once per call.
struct LoadedRun {
    size_t start = 0;
    size_t end = 0;
    Value attributes;
    Ref<TextFont> font;
    const fontTable* table = nullptr;
    bool loaded = false;
    std::vector<CGGlyph> glyphs;    // by code point
    std::vector<float> advances;    // by code point
    std::vector<uint32_t> glyphAt;  // code point number of each unit of the run
};

class FontTableCache {
public:
    ~FontTableCache()
    {
        for (auto& [font, table] : tables_) {
            releaseFontTable(table);
        }
    }
    const fontTable* tableFor(const CGFontRef& font)
    {
        auto it = tables_.find(font.get());
        if (it != tables_.end()) {
            return it->second;
        }
        fontTable* table = readFontTableFromCGFont(font);
        tables_.emplace(font.get(), table);
        return table;
    }

private:
    std::map<const CGFont*, fontTable*> tables_;
};

struct GlyphAndAdvance {
    CGGlyph glyph = 0;
    float advance = 0;
};

GlyphAndAdvance mapOne(const LoadedRun& run, const char16_t* units, size_t count)
{
    GlyphAndAdvance g;
    CGGlyph glyphs[2] = {0, 0};
    size_t written = 0;
    mapCharactersToGlyphsInFont(run.table, units, count, glyphs, &written);
    g.glyph = glyphs[0];
    mapGlyphsToAdvancesInFont(run.font, 1, &g.glyph, &g.advance);
    return g;
}

class Layout {
public:
    Layout(const std::u16string& text, const TextAttributeRuns& runs) : text_(text)
    {
        for (size_t r = 0; r < runs.size(); ++r) {
            LoadedRun run;
            run.start = std::min<size_t>(runs[r]->index(), text_.size());
            run.end = r + 1 < runs.size() ? std::min<size_t>(runs[r + 1]->index(), text_.size()) : text_.size();
            run.attributes = runs[r]->attributes();
            run.font = attributeOrDefault(run.attributes, TextFontAttributeName).object<TextFont>();
            runs_.push_back(std::move(run));
        }
        if (runs_.empty()) {
            LoadedRun run;
            run.end = text_.size();
            run.attributes = Value::dictionary();
            run.font = attributeOrDefault(run.attributes, TextFontAttributeName).object<TextFont>();
            runs_.push_back(std::move(run));
        }
    }

    size_t runCount() const { return runs_.size(); }
    const std::u16string& text() const { return text_; }

    size_t runHolding(size_t i) const
    {
        size_t r = 0;
        while (r + 1 < runs_.size() && runs_[r + 1].start <= i) {
            ++r;
        }
        return r;
    }

    LoadedRun& run(size_t r)
    {
        LoadedRun& run = runs_[r];
        if (!run.loaded) {
            load(run);
        }
        return run;
    }

    float advanceAt(size_t r, size_t i) { LoadedRun& lr = run(r); return lr.advances[lr.glyphAt[i - lr.start]]; }
    CGGlyph glyphAt(size_t r, size_t i) { LoadedRun& lr = run(r); return lr.glyphs[lr.glyphAt[i - lr.start]]; }

    GlyphAndAdvance ellipsisIn(size_t r)
    {
        LoadedRun& lr = run(r);
        if (!lr.font) {
            return {};
        }
        const char16_t e = kEllipsis;
        return mapOne(lr, &e, 1);
    }

private:
    void load(LoadedRun& run)
    {
        run.loaded = true;
        if (run.font) {
            run.table = cache_.tableFor(run.font->cgFont());
        }
        run.glyphAt.resize(run.end - run.start);
        for (size_t i = run.start; i < run.end;) {
            const size_t n = std::min(unitsAt(text_, i), run.end - i);
            for (size_t k = 0; k < n; ++k) {
                run.glyphAt[i - run.start + k] = uint32_t(run.glyphs.size());
            }
            const GlyphAndAdvance g = run.font ? mapOne(run, text_.data() + i, n) : GlyphAndAdvance{};
            run.glyphs.push_back(g.glyph);
            run.advances.push_back(g.advance);
            i += n;
        }
    }

    const std::u16string& text_;
    std::vector<LoadedRun> runs_;
    FontTableCache cache_;
};

float fontLeading(const Ref<TextFont>& f) { return f ? f->leading() : 0; }
float fontAscender(const Ref<TextFont>& f) { return f ? f->ascender() : 0; }

bool isClearColor(const Ref<UIColor>& c)
{
    return !c || CGColorEqualToColor(c->CGColor(), UIColor::clearColor()->CGColor());
}

// One line, as it is drawn: the characters [start, end) and, under tail truncation, an ellipsis after
// them in the font of the run that holds the last kept character.
struct LineToDraw {
    size_t start = 0;
    size_t end = 0;
    float width = 0;
    float top = 0;
    float height = 0;
    float ascender = 0;
    bool ellipsis = false;
    size_t ellipsisRun = 0;
    GlyphAndAdvance ellipsisGlyph;
};

void drawLine(Layout& layout, const LineToDraw& line, float widthLimit, int alignment, bool ignoreColors)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) {
        return;
    }
    float left = 0;
    if (alignment == 1) {
        left = (widthLimit - line.width) / 2;
    } else if (alignment == 2) {
        left = widthLimit - line.width;
    }
    const float baseline = line.top + line.ascender;
    size_t i = line.start;
    size_t r = layout.runHolding(line.start);
    const size_t lastRun = line.ellipsis ? line.ellipsisRun : (line.end > line.start ? layout.runHolding(line.end - 1) : r);
    for (; r <= lastRun && r < layout.runCount(); ++r) {
        LoadedRun& run = layout.run(r);
        const size_t pieceEnd = std::min(run.end, line.end);
        std::vector<CGGlyph> glyphs;
        std::vector<CGPoint> positions;
        float width = 0;
        for (size_t k = std::max(i, run.start); k < pieceEnd; k += std::min(unitsAt(layout.text(), k), pieceEnd - k)) {
            glyphs.push_back(layout.glyphAt(r, k));
            positions.push_back({width, 0});
            width += layout.advanceAt(r, k);
        }
        if (line.ellipsis && r == line.ellipsisRun) {
            glyphs.push_back(line.ellipsisGlyph.glyph);
            positions.push_back({width, 0});
            width += line.ellipsisGlyph.advance;
        }
        i = pieceEnd;
        if (glyphs.empty() || !run.font) {
            continue;
        }
        c->setFont(run.font->cgFont());
        c->setFontSize(run.font->pointSize());
        if (!ignoreColors) {
            const Ref<UIColor> background = attributeOrDefault(run.attributes, TextBackgroundColorAttributeName).object<UIColor>();
            if (!isClearColor(background)) {
                c->setFillColor(background->CGColor());
                c->fillRect(CGRectMake(left, line.top, width, line.height));
            }
            const Ref<UIColor> foreground = attributeOrDefault(run.attributes, TextForegroundColorAttributeName).object<UIColor>();
            if (foreground) {
                c->setFillColor(foreground->CGColor());
            }
        }
        c->setTextPosition(left, baseline);
        c->showGlyphsAtPositions(glyphs.data(), positions.data(), glyphs.size());
        if (attributeOrDefault(run.attributes, TextUnderlineStyleAttributeName).intValue() != 0) {
            c->fillRect(CGRectMake(left, baseline, width, 1));
        }
        if (attributeOrDefault(run.attributes, TextStrikethroughStyleAttributeName).intValue() != 0) {
            c->fillRect(CGRectMake(left, baseline - run.font->xHeight() / 2, width, 2));
        }
        left += width;
    }
}

// With one line allowed, line breaks read as spaces (a CR LF pair as one): the text and the run
// starts are rewritten accordingly.
std::u16string singleLineText(const std::u16string& text, TextAttributeRuns& runs)
{
    std::u16string out;
    out.reserve(text.size());
    std::vector<size_t> newIndex(text.size() + 1, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        newIndex[i] = out.size();
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            out.push_back(u' ');
            newIndex[++i] = out.size() - 1;
        } else {
            out.push_back(isNewline(text[i]) ? u' ' : text[i]);
        }
    }
    newIndex[text.size()] = out.size();
    if (out.size() != text.size()) {
        TextAttributeRuns moved;
        for (const Ref<TextAttributeRun>& run : runs) {
            const size_t at = newIndex[std::min<size_t>(run->index(), text.size())];
            if (!moved.empty() && moved.back()->index() == at) {
                moved.pop_back();
            }
            moved.push_back(TextAttributeRun::attributeRunWithIndex_attributes(at, run->attributes()));
        }
        runs = std::move(moved);
    }
    return out;
}

CGSize ceilSize(CGSize s) { return CGSizeMake(std::ceil(s.width), std::ceil(s.height)); }

TextAttributeRuns runForFont(const Ref<TextFont>& font)
{
    return {TextAttributeRun::attributeRunWithIndex_attributes(0, Value::dictionary({{TextFontAttributeName, Value(font)}}))};
}

CGSize sizeWith(const std::string& text, const Ref<TextFont>& font, CGSize size, NSUInteger lines, int mode)
{
    if (!font) {
        return CGSizeZero;
    }
    return ceilSize(drawOrSizeTextConstrainedToSize(false, NSString::toUTF16(text), runForFont(font), size, lines, mode, 0, true));
}

CGSize drawWith(const std::string& text, CGRect rect, const Ref<TextFont>& font, NSUInteger lines, int mode, int alignment)
{
    if (!font) {
        return CGSizeZero;
    }
    return drawTextInRect(rect, NSString::toUTF16(text), runForFont(font), mode, alignment, lines, true);
}

Ref<TextFont> fontAt(const CGFontRef& font, CGFloat size) { return TextFont::fontWithCGFont_size(font, float(size)); }

CGSize sizeOf(const Ref<const TextAttributedString>& s, CGSize size, NSUInteger lines, int mode)
{
    if (!s) {
        return CGSizeZero;
    }
    return ceilSize(drawOrSizeTextConstrainedToSize(false, s->utf16String(), s->attributes(), size, lines, mode, 0, false));
}

CGSize drawOf(const Ref<const TextAttributedString>& s, CGRect rect, NSUInteger lines, int mode, int alignment)
{
    if (!s) {
        return CGSizeZero;
    }
    return drawTextInRect(rect, s->utf16String(), s->attributes(), mode, alignment, lines, false);
}

}  // namespace TextDrawing_cpp
}  // namespace

const Value& TextDefaultAttributes()
{
    static const Value defaults = [] {
        Ref<TextFont> font;
        try {
            font = TextFont::fontWithUIFont(UIFont::systemFontOfSize(12));
        } catch (...) {
        }
        if (!font) {
            font = CustomFontManager::sharedManager()->textFontWithName_pointSize("Helvetica", 12);
        }
        return Value::dictionary({{TextFontAttributeName, Value(font)},
                                  {TextForegroundColorAttributeName, Value(UIColor::blackColor())},
                                  {TextBackgroundColorAttributeName, Value(UIColor::clearColor())},
                                  {TextUnderlineStyleAttributeName, Value(0)},
                                  {TextStrikethroughStyleAttributeName, Value(0)}});
    }();
    return defaults;
}

CGSize drawOrSizeTextConstrainedToSize(bool performDraw, const std::u16string& string, const TextAttributeRuns& runs,
                                       CGSize constrainedSize, NSUInteger maxLines, int lineBreakMode, int alignment,
                                       bool ignoreColors)
{
    using namespace TextDrawing_cpp;
    TextAttributeRuns lineRuns = runs;
    const std::u16string text = maxLines == 1 ? singleLineText(string, lineRuns) : string;
    Layout layout(text, lineRuns);
    const std::vector<bool> opportunity = lineBreakOpportunities(text);
    const float widthLimit = float(constrainedSize.width);
    const float heightLimit = float(constrainedSize.height);
    const size_t length = text.size();

    size_t i = 0;
    size_t r = 0;  // the run loaded last: its font is the current font
    NSUInteger lineCount = 1;
    float totalHeight = 0;
    float widthUsed = 0;
    bool lastLine = false;
    while (i < length && !lastLine) {
        if (maxLines != 0 && lineCount == maxLines) {
            lastLine = true;
        }
        LineToDraw line;
        line.start = i;
        Ref<TextFont> font = layout.run(r).font;
        float lineHeight = fontLeading(font) + (font && font->pointSize() == 15.0f ? 4 : 0);
        float lineAscender = fontAscender(font);
        float lineWidth = 0;
        bool haveBreak = false;
        size_t breakPos = 0, breakRun = 0;
        float breakWidth = 0, breakHeight = 0, breakAscender = 0;
        size_t skip = 0;
        while (true) {
            if (i >= length) {
                break;
            }
            if (i >= layout.run(r).end) {
                r = layout.runHolding(i);
                const Ref<TextFont>& next = layout.run(r).font;
                if (fontLeading(next) > lineHeight) {
                    lineHeight = fontLeading(next);
                    if (totalHeight + fontAscender(next) > heightLimit) {
                        lastLine = true;
                        break;
                    }
                }
                lineAscender = std::max(lineAscender, fontAscender(next));
            }
            const char32_t ch = codePointAt(text, i);
            const size_t units = unitsAt(text, i);
            const bool space = ch == u' ';
            // A line may end at a space (the spaces from there on are skipped), or where the next line may
            // start when no space comes before (a space already offered the break).
            if (space || (opportunity[i] && !(i > 0 && text[i - 1] == u' '))) {
                haveBreak = true;
                breakPos = i;
                breakRun = r;
                breakWidth = lineWidth;
                breakHeight = lineHeight;
                breakAscender = lineAscender;
            }
            if (ch == 0x0A || ch == 0x85) {
                skip = 1;
                break;
            }
            if (ch == 0x0D) {
                skip = i + 1 < length && text[i + 1] == u'\n' ? 2 : 1;
                break;
            }
            const float advance = layout.advanceAt(r, i);
            if (lineWidth + advance > widthLimit) {
                const float ascender = fontAscender(layout.run(r).font);
                if (totalHeight + lineHeight + ascender > heightLimit) {
                    lastLine = true;
                }
                if (haveBreak && breakPos > line.start && lineBreakMode != 1 && !(lastLine && lineBreakMode == 2)) {
                    i = breakPos;
                    r = breakRun;
                    lineWidth = breakWidth;
                    lineHeight = breakHeight;
                    lineAscender = breakAscender;
                    if (!lastLine && totalHeight + lineHeight + fontAscender(layout.run(r).font) > heightLimit) {
                        lastLine = true;
                    }
                    while (i + skip < length && text[i + skip] == u' ') {
                        ++skip;
                    }
                } else if (i == line.start) {
                    // A width below this character's advance: the line still takes it, so the layout
                    // always moves on.
                    lineWidth += advance;
                    i += units;
                }
                break;
            }
            lineWidth += advance;
            i += units;
        }
        line.end = i;

        if (lastLine && i + skip < length && lineBreakMode == 4) {
            size_t er = r;
            GlyphAndAdvance e = layout.ellipsisIn(er);
            while (line.end > line.start && previousCharacter(text, line.end) > line.start &&
                   lineWidth + e.advance > widthLimit) {
                const size_t p = previousCharacter(text, line.end);
                if (p < layout.run(er).start) {
                    er = layout.runHolding(p);
                    e = layout.ellipsisIn(er);
                }
                lineWidth -= layout.advanceAt(er, p);
                line.end = p;
            }
            while (line.end > line.start && previousCharacter(text, line.end) > line.start &&
                   text[line.end - 1] == u' ') {
                const size_t p = line.end - 1;
                if (p < layout.run(er).start) {
                    er = layout.runHolding(p);
                    e = layout.ellipsisIn(er);
                }
                lineWidth -= layout.advanceAt(er, p);
                line.end = p;
            }
            if (line.end > line.start && line.end - 1 < layout.run(er).start) {
                er = layout.runHolding(line.end - 1);
                e = layout.ellipsisIn(er);
            }
            lineWidth += e.advance;
            line.ellipsis = true;
            line.ellipsisRun = er;
            line.ellipsisGlyph = e;
        }

        widthUsed = std::max(widthUsed, lineWidth);
        line.width = lineWidth;
        line.top = totalHeight;
        line.height = lineHeight;
        line.ascender = lineAscender;
        totalHeight += lineHeight;
        if (performDraw) {
            drawLine(layout, line, widthLimit, alignment, ignoreColors);
        }
        i += skip;
        ++lineCount;
    }
    return CGSizeMake(widthUsed, totalHeight);
}

CGSize drawTextInRect(CGRect rect, const std::u16string& string, const TextAttributeRuns& runs, int lineBreakMode,
                      int alignment, NSUInteger numberOfLines, bool ignoreColors)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (c) {
        c->saveGState();
        c->setTextMatrix(CGAffineTransform{1, 0, 0, -1, 0, 0});
        c->translateCTM(rect.origin.x, rect.origin.y);
        c->setTextDrawingMode(kCGTextFill);
    }
    const CGSize used = drawOrSizeTextConstrainedToSize(c != nullptr, string, runs, rect.size, numberOfLines,
                                                        lineBreakMode, alignment, ignoreColors);
    if (c) {
        c->restoreGState();
    }
    return used;
}

namespace CustomFontLabelStringDrawing {

using namespace TextDrawing_cpp;

CGSize sizeWithZFont(const std::string& text, const Ref<TextFont>& font)
{
    return sizeWith(text, font, CGSizeMake(TextHugeSize, TextHugeSize), 1, 2);
}
CGSize sizeWithZFont_constrainedToSize(const std::string& text, const Ref<TextFont>& font, CGSize size)
{
    return sizeWith(text, font, size, 0, 0);
}
CGSize sizeWithZFont_constrainedToSize_lineBreakMode(const std::string& text, const Ref<TextFont>& font, CGSize size,
                                                     int lineBreakMode)
{
    return sizeWith(text, font, size, 0, lineBreakMode);
}
CGSize sizeWithZFont_constrainedToSize_lineBreakMode_numberOfLines(const std::string& text, const Ref<TextFont>& font,
                                                                   CGSize size, int lineBreakMode,
                                                                   NSUInteger numberOfLines)
{
    return sizeWith(text, font, size, numberOfLines, lineBreakMode);
}
CGSize drawAtPoint_withZFont(const std::string& text, CGPoint point, const Ref<TextFont>& font)
{
    return drawWith(text, CGRectMake(point.x, point.y, TextHugeSize, TextHugeSize), font, 1, 2, 0);
}
CGSize drawAtPoint_forWidth_withZFont_lineBreakMode(const std::string& text, CGPoint point, CGFloat width,
                                                    const Ref<TextFont>& font, int lineBreakMode)
{
    return drawWith(text, CGRectMake(point.x, point.y, width, TextHugeSize), font, 1, lineBreakMode, 0);
}
CGSize drawInRect_withZFont(const std::string& text, CGRect rect, const Ref<TextFont>& font)
{
    return drawWith(text, rect, font, 0, 0, 0);
}
CGSize drawInRect_withZFont_lineBreakMode(const std::string& text, CGRect rect, const Ref<TextFont>& font,
                                          int lineBreakMode)
{
    return drawWith(text, rect, font, 0, lineBreakMode, 0);
}
CGSize drawInRect_withZFont_lineBreakMode_alignment(const std::string& text, CGRect rect, const Ref<TextFont>& font,
                                                    int lineBreakMode, int alignment)
{
    return drawWith(text, rect, font, 0, lineBreakMode, alignment);
}
CGSize drawInRect_withZFont_lineBreakMode_alignment_numberOfLines(const std::string& text, CGRect rect,
                                                                  const Ref<TextFont>& font, int lineBreakMode,
                                                                  int alignment, NSUInteger numberOfLines)
{
    return drawWith(text, rect, font, numberOfLines, lineBreakMode, alignment);
}

CGSize sizeWithCGFont_pointSize(const std::string& text, const CGFontRef& font, CGFloat pointSize)
{
    return sizeWithZFont(text, fontAt(font, pointSize));
}
CGSize sizeWithCGFont_pointSize_constrainedToSize(const std::string& text, const CGFontRef& font, CGFloat pointSize,
                                                  CGSize size)
{
    return sizeWithZFont_constrainedToSize(text, fontAt(font, pointSize), size);
}
CGSize sizeWithCGFont_pointSize_constrainedToSize_lineBreakMode(const std::string& text, const CGFontRef& font,
                                                                CGFloat pointSize, CGSize size, int lineBreakMode)
{
    return sizeWithZFont_constrainedToSize_lineBreakMode(text, fontAt(font, pointSize), size, lineBreakMode);
}
CGSize drawAtPoint_withCGFont_pointSize(const std::string& text, CGPoint point, const CGFontRef& font,
                                        CGFloat pointSize)
{
    return drawAtPoint_withZFont(text, point, fontAt(font, pointSize));
}
CGSize drawInRect_withCGFont_pointSize(const std::string& text, CGRect rect, const CGFontRef& font, CGFloat pointSize)
{
    return drawInRect_withZFont(text, rect, fontAt(font, pointSize));
}
CGSize drawInRect_withCGFont_pointSize_lineBreakMode(const std::string& text, CGRect rect, const CGFontRef& font,
                                                     CGFloat pointSize, int lineBreakMode)
{
    return drawInRect_withZFont_lineBreakMode(text, rect, fontAt(font, pointSize), lineBreakMode);
}
CGSize drawInRect_withCGFont_pointSize_lineBreakMode_alignment(const std::string& text, CGRect rect,
                                                               const CGFontRef& font, CGFloat pointSize,
                                                               int lineBreakMode, int alignment)
{
    return drawInRect_withZFont_lineBreakMode_alignment(text, rect, fontAt(font, pointSize), lineBreakMode, alignment);
}

}  // namespace CustomFontLabelStringDrawing

namespace TextAttributedStringDrawing {

using namespace TextDrawing_cpp;

CGSize size(const Ref<const TextAttributedString>& s)
{
    return sizeOf(s, CGSizeMake(TextHugeSize, TextHugeSize), 1, 2);
}
CGSize sizeConstrainedToSize(const Ref<const TextAttributedString>& s, CGSize size)
{
    return sizeOf(s, size, 0, 0);
}
CGSize sizeConstrainedToSize_lineBreakMode(const Ref<const TextAttributedString>& s, CGSize size, int lineBreakMode)
{
    return sizeOf(s, size, 0, lineBreakMode);
}
CGSize sizeConstrainedToSize_lineBreakMode_numberOfLines(const Ref<const TextAttributedString>& s, CGSize size,
                                                         int lineBreakMode, NSUInteger numberOfLines)
{
    return sizeOf(s, size, numberOfLines, lineBreakMode);
}
CGSize drawAtPoint(const Ref<const TextAttributedString>& s, CGPoint point)
{
    return drawOf(s, CGRectMake(point.x, point.y, TextHugeSize, TextHugeSize), 1, 2, 0);
}
CGSize drawAtPoint_forWidth_lineBreakMode(const Ref<const TextAttributedString>& s, CGPoint point, CGFloat width,
                                          int lineBreakMode)
{
    return drawOf(s, CGRectMake(point.x, point.y, width, TextHugeSize), 1, lineBreakMode, 0);
}
CGSize drawInRect(const Ref<const TextAttributedString>& s, CGRect rect)
{
    return drawOf(s, rect, 0, 0, 0);
}
CGSize drawInRect_withLineBreakMode(const Ref<const TextAttributedString>& s, CGRect rect, int lineBreakMode)
{
    return drawOf(s, rect, 0, lineBreakMode, 0);
}
CGSize drawInRect_withLineBreakMode_alignment(const Ref<const TextAttributedString>& s, CGRect rect,
                                              int lineBreakMode, int alignment)
{
    return drawOf(s, rect, 0, lineBreakMode, alignment);
}
CGSize drawInRect_withLineBreakMode_alignment_numberOfLines(const Ref<const TextAttributedString>& s, CGRect rect,
                                                            int lineBreakMode, int alignment,
                                                            NSUInteger numberOfLines)
{
    return drawOf(s, rect, numberOfLines, lineBreakMode, alignment);
}

}  // namespace TextAttributedStringDrawing
