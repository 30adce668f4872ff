#include "platform/graphics/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include <unicode/ubrk.h>

#include "platform/foundation/Charset.h"

namespace textlayout {

namespace {

constexpr char32_t kEllipsis = U'\u2026';
constexpr CGFloat kTolerance = 1e-9;

struct Char {
    char32_t c = 0;
    size_t begin = 0;  // byte offsets in the text
    size_t end = 0;
    CGFloat advance = 0;
};

// Decodes UTF-8; a byte that does not start a valid sequence reads as U+FFFD and is skipped alone.
std::vector<Char> decode(std::string_view text)
{
    std::vector<Char> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        size_t length = 1;
        auto continuation = [&](size_t k) {
            return i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        };
        auto byte = [&](size_t k) { return char32_t(static_cast<unsigned char>(text[i + k]) & 0x3F); };
        if (b0 < 0x80) {
            c = b0;
        } else if (b0 >= 0xC2 && b0 < 0xE0 && continuation(1)) {
            c = (char32_t(b0 & 0x1F) << 6) | byte(1);
            length = 2;
        } else if (b0 >= 0xE0 && b0 < 0xF0 && continuation(1) && continuation(2)) {
            const char32_t v = (char32_t(b0 & 0x0F) << 12) | (byte(1) << 6) | byte(2);
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                c = v;
                length = 3;
            }
        } else if (b0 >= 0xF0 && b0 < 0xF5 && continuation(1) && continuation(2) && continuation(3)) {
            const char32_t v = (char32_t(b0 & 0x07) << 18) | (byte(1) << 12) | (byte(2) << 6) | byte(3);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                c = v;
                length = 4;
            }
        }
        out.push_back({c, i, i + length, 0});
        i += length;
    }
    return out;
}

bool isNewline(char32_t c) { return c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029; }

bool isSpace(char32_t c) { return c == ' ' || c == '\t' || c == 0x3000; }

bool isZeroWidth(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x200B && c <= 0x200F) || c == 0xFEFF ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064);
}

// Per character (and one past the end): whether a line may end before it, by the Unicode line
// breaking rules as ICU's line iterator applies them (between ideographs, after spaces and hyphens,
// never before closing punctuation or after opening punctuation, and so on).
std::vector<bool> lineBreakOpportunities(const std::vector<Char>& chars)
{
    std::u16string units;
    std::vector<size_t> charAtUnit;  // the character each UTF-16 unit belongs to
    units.reserve(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i].c;
        if (c >= 0x10000) {
            units.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
            charAtUnit.insert(charAtUnit.end(), {i, i});
        } else {
            units.push_back(char16_t(c));
            charAtUnit.push_back(i);
        }
    }
    charAtUnit.push_back(chars.size());
    std::vector<bool> out(chars.size() + 1, false);
    if (units.empty()) {
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_LINE, "", reinterpret_cast<const UChar*>(units.data()), int32_t(units.size()), &status);
    if (U_FAILURE(status)) {
        return out;
    }
    for (int32_t b = ubrk_first(it); b != UBRK_DONE; b = ubrk_next(it)) {
        out[charAtUnit[size_t(b)]] = true;
    }
    ubrk_close(it);
    return out;
}

class Measurer {
public:
    explicit Measurer(const FontAtSize& font)
        : font_(font),
          fallback_(font.font && font.font->isBold() ? CGFont::boldFallbackFont() : CGFont::fallbackFont())
    {
    }

    // The face and glyph that show a character, and its advance; no face for characters that show
    // nothing.
    struct Pick {
        const CGFontRef* font = nullptr;
        CGGlyph glyph = 0;
        CGFloat advance = 0;
    };

    Pick pick(char32_t c) const
    {
        if (c == '\t' || isNewline(c)) {
            c = ' ';
        } else if (isZeroWidth(c)) {
            return {};
        }
        if (!font_.font || font_.pointSize <= 0) {
            return {};
        }
        CGGlyph glyph = font_.font->glyphForCharacter(c);
        if (glyph == 0 && fallback_ && fallback_ != font_.font) {
            const CGGlyph other = fallback_->glyphForCharacter(c);
            if (other != 0) {
                return {&fallback_, other, scaled(*fallback_, fallback_->advanceForGlyph(other))};
            }
        }
        return {&font_.font, glyph, scaled(*font_.font, font_.font->advanceForGlyph(glyph))};
    }

    CGFloat advance(char32_t c) const { return pick(c).advance; }

    void measure(std::vector<Char>& chars) const
    {
        for (Char& ch : chars) {
            ch.advance = advance(ch.c);
        }
    }

private:
    CGFloat scaled(const CGFont& font, int units) const { return CGFloat(units) * font_.pointSize / font.unitsPerEm(); }

    FontAtSize font_;
    CGFontRef fallback_;
};

class Breaker {
public:
    Breaker(std::string_view text, std::vector<Char> chars, CGFloat maxWidth, LineBreak mode)
        : text_(text), chars_(std::move(chars)), maxWidth_(maxWidth), mode_(mode), opportunity_(lineBreakOpportunities(chars_))
    {
    }

    const std::vector<Char>& chars() const { return chars_; }

    // May a line end before chars_[i] (and the next start at it)?
    bool breakBefore(size_t i) const
    {
        const char32_t previous = chars_[i - 1].c;
        const char32_t current = chars_[i].c;
        if (isSpace(current)) {
            return false;  // spaces hang at the end of the line they follow
        }
        if (isSpace(previous) || mode_ == kCharacterWrap) {
            return true;
        }
        return opportunity_[i];
    }

    // The end of the line that starts at `start` within the paragraph ending at `limit`, and where the
    // next line starts.
    std::pair<size_t, size_t> lineFrom(size_t start, size_t limit) const
    {
        CGFloat width = 0;
        size_t lastBreak = start;
        size_t end = limit;
        for (size_t i = start; i < limit; ++i) {
            if (i > start && breakBefore(i)) {
                lastBreak = i;
            }
            const Char& ch = chars_[i];
            if (!isSpace(ch.c) && i > start && width + ch.advance > maxWidth_ + kTolerance) {
                end = (mode_ == kCharacterWrap || lastBreak == start) ? i : lastBreak;
                break;
            }
            width += ch.advance;
        }
        size_t next = end;
        if (end < limit) {
            while (next < limit && isSpace(chars_[next].c)) {
                ++next;
            }
        }
        return {end, next};
    }

    Line line(size_t begin, size_t end) const
    {
        size_t visible = end;
        while (visible > begin && isSpace(chars_[visible - 1].c)) {
            --visible;
        }
        Line line;
        for (size_t i = begin; i < visible; ++i) {
            line.width += chars_[i].advance;
        }
        if (begin < visible) {
            line.text =
                std::string(text_.substr(chars_[begin].begin, chars_[visible - 1].end - chars_[begin].begin));
        }
        return line;
    }

    // The characters from `begin` on, shortened with an ellipsis to fit maxWidth (newlines as spaces).
    Line truncated(size_t begin, size_t end, CGFloat ellipsisWidth) const
    {
        std::vector<const Char*> rest;
        for (size_t i = begin; i < end; ++i) {
            rest.push_back(&chars_[i]);
        }
        CGFloat total = 0;
        for (const Char* ch : rest) {
            total += ch->advance;
        }
        // Hanging spaces at the very end never force a truncation.
        size_t count = rest.size();
        CGFloat visibleTotal = total;
        while (count > 0 && (isSpace(rest[count - 1]->c) || isNewline(rest[count - 1]->c))) {
            visibleTotal -= rest[count - 1]->advance;
            --count;
        }
        rest.resize(count);
        if (visibleTotal <= maxWidth_ + kTolerance) {
            return joined(rest, {}, false, visibleTotal);
        }
        const CGFloat room = maxWidth_ - ellipsisWidth;
        std::vector<const Char*> head, tail;
        CGFloat used = 0;
        auto fits = [&](const Char* ch) { return used + ch->advance <= room + kTolerance; };
        if (mode_ == kTailTruncation) {
            for (const Char* ch : rest) {
                if (!fits(ch)) {
                    break;
                }
                used += ch->advance;
                head.push_back(ch);
            }
        } else if (mode_ == kHeadTruncation) {
            for (size_t i = rest.size(); i-- > 0;) {
                if (!fits(rest[i])) {
                    break;
                }
                used += rest[i]->advance;
                tail.insert(tail.begin(), rest[i]);
            }
        } else {  // middle: take from the front and the back in turn, front first
            size_t front = 0;
            size_t back = rest.size();
            bool frontOpen = true;
            bool backOpen = true;
            bool takeFront = true;
            while ((frontOpen || backOpen) && front < back) {
                if (takeFront && frontOpen) {
                    if (fits(rest[front])) {
                        used += rest[front]->advance;
                        head.push_back(rest[front++]);
                    } else {
                        frontOpen = false;
                    }
                } else if (!takeFront && backOpen) {
                    if (fits(rest[back - 1])) {
                        used += rest[back - 1]->advance;
                        tail.insert(tail.begin(), rest[--back]);
                    } else {
                        backOpen = false;
                    }
                }
                takeFront = !takeFront;
            }
        }
        while (!head.empty() && (isSpace(head.back()->c) || isNewline(head.back()->c))) {
            head.pop_back();
        }
        while (!tail.empty() && (isSpace(tail.front()->c) || isNewline(tail.front()->c))) {
            tail.erase(tail.begin());
        }
        CGFloat width = ellipsisWidth;
        for (const Char* ch : head) {
            width += ch->advance;
        }
        for (const Char* ch : tail) {
            width += ch->advance;
        }
        return joined(head, tail, true, width);
    }

private:
    Line joined(const std::vector<const Char*>& head, const std::vector<const Char*>& tail, bool ellipsis,
                CGFloat width) const
    {
        Line line;
        line.width = width;
        line.truncated = ellipsis;
        auto append = [&](const Char* ch) {
            if (isNewline(ch->c)) {
                line.text += ' ';
            } else {
                line.text.append(text_.substr(ch->begin, ch->end - ch->begin));
            }
        };
        for (const Char* ch : head) {
            append(ch);
        }
        if (ellipsis) {
            Charset::appendUTF8(line.text, kEllipsis);
        }
        for (const Char* ch : tail) {
            append(ch);
        }
        return line;
    }

    std::string_view text_;
    std::vector<Char> chars_;
    CGFloat maxWidth_;
    LineBreak mode_;
    std::vector<bool> opportunity_;  // per character: a line may end before it
};

bool truncates(LineBreak mode)
{
    return mode == kHeadTruncation || mode == kTailTruncation || mode == kMiddleTruncation;
}

CGFloat sanitizedLimit(CGFloat value)
{
    if (std::isnan(value)) {
        return 0;
    }
    return std::max(value, CGFloat(0));
}

Layout finish(std::vector<Line> lines, const FontAtSize& font)
{
    Layout layout;
    layout.lines = std::move(lines);
    layout.lineHeight = font.roundedLineHeight();
    CGFloat widest = 0;
    for (const Line& line : layout.lines) {
        widest = std::max(widest, line.width);
    }
    layout.size = {std::ceil(widest), layout.lineHeight * CGFloat(layout.lines.size())};
    return layout;
}

}  // namespace

CGFloat FontAtSize::ascender() const
{
    return font ? CGFloat(font->ascent()) * pointSize / font->unitsPerEm() : 0;
}
CGFloat FontAtSize::descender() const
{
    return font ? CGFloat(font->descent()) * pointSize / font->unitsPerEm() : 0;
}
CGFloat FontAtSize::leading() const
{
    return font ? CGFloat(font->leading()) * pointSize / font->unitsPerEm() : 0;
}
CGFloat FontAtSize::lineHeight() const
{
    return font ? CGFloat(font->lineHeight()) * pointSize / font->unitsPerEm() : 0;
}
CGFloat FontAtSize::roundedLineHeight() const { return std::ceil(lineHeight()); }
CGFloat FontAtSize::capHeight() const
{
    return font ? CGFloat(font->capHeight()) * pointSize / font->unitsPerEm() : 0;
}
CGFloat FontAtSize::xHeight() const
{
    return font ? CGFloat(font->xHeight()) * pointSize / font->unitsPerEm() : 0;
}

std::vector<GlyphRun> glyphRuns(std::string_view text, const FontAtSize& font)
{
    const Measurer measurer(font);
    std::vector<GlyphRun> runs;
    CGFloat x = 0;
    for (const Char& ch : decode(text)) {
        const Measurer::Pick pick = measurer.pick(ch.c);
        if (pick.font != nullptr) {
            if (runs.empty() || runs.back().font != *pick.font) {
                runs.push_back({*pick.font, {}, {}});
            }
            runs.back().glyphs.push_back(pick.glyph);
            runs.back().x.push_back(x);
        }
        x += pick.advance;
    }
    return runs;
}

CGFloat widthOfText(std::string_view text, const FontAtSize& font)
{
    const Measurer measurer(font);
    CGFloat width = 0;
    for (const Char& ch : decode(text)) {
        width += measurer.advance(ch.c);
    }
    return width;
}

Layout layoutText(std::string_view text, const FontAtSize& font, CGFloat maxWidth, CGFloat maxHeight,
                  size_t maxLines, LineBreak mode)
{
    maxWidth = sanitizedLimit(maxWidth);
    maxHeight = sanitizedLimit(maxHeight);
    std::vector<Char> chars = decode(text);
    const Measurer measurer(font);
    measurer.measure(chars);
    const Breaker breaker(text, std::move(chars), maxWidth, mode);
    const std::vector<Char>& all = breaker.chars();

    // Paragraphs: [begin, end) ranges of characters between newlines.
    std::vector<std::pair<size_t, size_t>> paragraphs;
    size_t start = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (isNewline(all[i].c)) {
            paragraphs.emplace_back(start, i);
            if (all[i].c == '\r' && i + 1 < all.size() && all[i + 1].c == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < all.size()) {
        paragraphs.emplace_back(start, all.size());
    }

    size_t allowed = maxLines == 0 ? std::numeric_limits<size_t>::max() : maxLines;
    const CGFloat lineHeight = font.roundedLineHeight();
    if (lineHeight > 0 && std::isfinite(maxHeight)) {
        const CGFloat fitting = std::floor(maxHeight / lineHeight + kTolerance);
        const size_t byHeight = fitting >= CGFloat(std::numeric_limits<size_t>::max() / 2)
                                    ? std::numeric_limits<size_t>::max()
                                    : std::max<size_t>(1, size_t(fitting));
        allowed = std::min(allowed, byHeight);
    }
    const CGFloat ellipsisWidth = measurer.advance(kEllipsis);

    std::vector<Line> lines;
    for (size_t p = 0; p < paragraphs.size() && lines.size() < allowed; ++p) {
        const auto [begin, end] = paragraphs[p];
        const bool lastParagraph = p + 1 == paragraphs.size();
        if (begin == end) {
            if (lines.size() + 1 == allowed && !lastParagraph && truncates(mode)) {
                lines.push_back(breaker.truncated(begin, all.size(), ellipsisWidth));
            } else {
                lines.push_back(Line{});
            }
            continue;
        }
        size_t position = begin;
        while (position < end && lines.size() < allowed) {
            const auto [lineEnd, next] = breaker.lineFrom(position, end);
            const bool moreText = next < end || !lastParagraph;
            if (lines.size() + 1 == allowed && moreText && truncates(mode)) {
                lines.push_back(breaker.truncated(position, all.size(), ellipsisWidth));
                break;
            }
            lines.push_back(breaker.line(position, lineEnd));
            position = next;
        }
    }
    return finish(std::move(lines), font);
}

Layout layoutSingleLine(std::string_view text, const FontAtSize& font, CGFloat maxWidth, LineBreak mode)
{
    maxWidth = sanitizedLimit(maxWidth);
    // Newlines read as spaces ("\r\n" as one).
    std::string flat;
    flat.reserve(text.size());
    for (const Char& ch : decode(text)) {
        if (isNewline(ch.c)) {
            if (!(ch.c == '\n' && ch.begin > 0 && text[ch.begin - 1] == '\r')) {
                flat += ' ';
            }
        } else {
            flat.append(text.substr(ch.begin, ch.end - ch.begin));
        }
    }
    std::vector<Char> chars = decode(flat);
    const Measurer measurer(font);
    measurer.measure(chars);
    if (chars.empty()) {
        return finish({}, font);
    }
    const size_t count = chars.size();
    const Breaker breaker(flat, std::move(chars), maxWidth, mode);
    Line line;
    if (truncates(mode)) {
        line = breaker.truncated(0, count, measurer.advance(kEllipsis));
    } else {
        line = breaker.line(0, count);
        if (line.width > maxWidth + kTolerance) {
            if (mode == kClip) {
                line.width = maxWidth;
            } else {
                line = breaker.line(0, breaker.lineFrom(0, count).first);
            }
        }
    }
    return finish({line}, font);
}

}  // namespace textlayout
