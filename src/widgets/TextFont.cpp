#include "widgets/TextFont.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/foundation/Charset.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIFont.h"

namespace {
namespace TextFont_cpp {

// Big-endian reads that check the bytes are there; the caller decides what a short read means.
struct Reader {
    const uint8_t* bytes;
    size_t size;

    bool has(size_t offset, size_t length) const { return offset <= size && length <= size - offset; }
    std::optional<uint16_t> u16(size_t offset) const
    {
        if (!has(offset, 2)) {
            return std::nullopt;
        }
        return uint16_t((bytes[offset] << 8) | bytes[offset + 1]);
    }
    std::optional<uint32_t> u32(size_t offset) const
    {
        if (!has(offset, 4)) {
            return std::nullopt;
        }
        return (uint32_t(bytes[offset]) << 24) | (uint32_t(bytes[offset + 1]) << 16) |
               (uint32_t(bytes[offset + 2]) << 8) | uint32_t(bytes[offset + 3]);
    }
};

Reader readerOf(const fontTable& table) { return Reader{table.cmapData->data(), table.cmapData->size()}; }

// Reads of arrays whose place newFontTable has checked.
uint16_t checked16(const Reader& r, size_t offset) { return uint16_t((r.bytes[offset] << 8) | r.bytes[offset + 1]); }
uint32_t checked32(const Reader& r, size_t offset)
{
    return (uint32_t(r.bytes[offset]) << 24) | (uint32_t(r.bytes[offset + 1]) << 16) |
           (uint32_t(r.bytes[offset + 2]) << 8) | uint32_t(r.bytes[offset + 3]);
}

bool isSupportedFormat(uint16_t format)
{
    for (const uint16_t supported : supportedFormats) {
        if (supported == format) {
            return true;
        }
    }
    return false;
}

CGGlyph glyphInFormat4(const fontTable& table, const Reader& r, unichar c)
{
    const size_t segments = table.segCountX2 / 2;
    size_t segment = 0;
    while (segment < segments && checked16(r, table.endCodes + 2 * segment) < c) {
        ++segment;
    }
    if (segment == segments) {
        return 0;
    }
    const uint16_t start = checked16(r, table.startCodes + 2 * segment);
    if (start > c) {
        return 0;
    }
    const uint16_t delta = checked16(r, table.idDeltas + 2 * segment);
    const size_t rangeOffsetAt = table.idRangeOffsets + 2 * segment;
    const uint16_t rangeOffset = checked16(r, rangeOffsetAt);
    if (rangeOffset == 0) {
        return CGGlyph((c + delta) & 0xFFFF);
    }
    // The glyph index array entry: counted from the idRangeOffsets entry itself.
    const std::optional<uint16_t> glyph = r.u16(rangeOffsetAt + rangeOffset + 2 * size_t(c - start));
    if (!glyph || *glyph == 0) {
        return 0;
    }
    return CGGlyph((*glyph + delta) & 0xFFFF);
}

struct Group {
    uint32_t first, last, glyph;
};

Group groupAt(const fontTable& table, const Reader& r, size_t index)
{
    const size_t at = table.groups + 12 * index;
    return Group{checked32(r, at), checked32(r, at + 4), checked32(r, at + 8)};
}

// The group that holds the code, or nothing. Characters below 128 are found by a scan from the first
// group (text is mostly ASCII and the first groups hold it); others by a bisection that starts at the
// group of the previous non-ASCII character of the same run of text and widens its steps from there,
// since neighbouring characters of one script sit in neighbouring groups.
std::optional<size_t> findGroup(const fontTable& table, const Reader& r, uint32_t code, std::optional<size_t>& hint)
{
    const size_t count = table.nGroups;
    if (code < 128) {
        for (size_t i = 0; i < count; ++i) {
            const Group g = groupAt(table, r, i);
            if (g.first > code) {
                return std::nullopt;
            }
            if (code <= g.last) {
                return i;
            }
        }
        return std::nullopt;
    }
    size_t lower = 0;
    size_t upper = count;
    size_t probe = hint ? *hint : count / 2;
    uint64_t step = hint ? 8 : std::numeric_limits<uint64_t>::max() / 4;
    while (lower < upper) {
        const Group g = groupAt(table, r, probe);
        if (code < g.first) {
            upper = probe;
        } else if (code <= g.last) {
            hint = probe;
            return probe;
        } else {
            lower = probe + 1;
        }
        if (2 * step < upper - lower) {
            probe = probe == upper ? size_t(probe - step) : size_t(probe + step);
            step *= 2;
        } else {
            probe = lower + (upper - lower) / 2;
        }
    }
    return std::nullopt;
}

// The text encoding of a name record's platform and encoding; nothing for records that are skipped.
std::optional<NSStringEncoding> nameEncoding(uint16_t platform, uint16_t encoding)
{
    if (platform == 3 && encoding == 1) {
        return NSUTF16BigEndianStringEncoding;
    }
    if (platform == 1 && encoding == 0) {
        return NSMacOSRomanStringEncoding;
    }
    if (platform == 1 && encoding == 1) {
        return NSUTF16BigEndianStringEncoding;
    }
    if (platform == 0) {
        return NSUTF16BigEndianStringEncoding;
    }
    return std::nullopt;
}

constexpr uint32_t kCmapTag = CGFontTableTag('c', 'm', 'a', 'p');
constexpr uint32_t kNameTag = CGFontTableTag('n', 'a', 'm', 'e');

}  // namespace TextFont_cpp
}  // namespace

// ---- TextFont -------------------------------------------------------------------------------------------

Ref<TextFont> TextFont::create()
{
    NSException::raise(NSInternalInconsistencyException, "-init is not valid for TextFont");
}

Ref<TextFont> TextFont::fontWithCGFont_size(const CGFontRef& font, float pointSize)
{
    return initWithCGFont_size(font, pointSize);
}

Ref<TextFont> TextFont::initWithCGFont_size(const CGFontRef& font, float pointSize)
{
    if (!font) {
        return nullptr;
    }
    auto self = std::make_shared<TextFont>();
    self->initWithCGFont_sizeBody(font, pointSize);
    return self;
}

void TextFont::initWithCGFont_sizeBody(const CGFontRef& font, float pointSize)
{
    initBody();
    cgFont_ = font;
    pointSize_ = pointSize;
    const int unitsPerEm = CGFontGetUnitsPerEm(font);
    // A font that claims no units per em would scale every metric to infinity; treat it as 1000.
    unitsPerEm_ = unitsPerEm > 0 ? unitsPerEm : 1000;
    ratio_ = pointSize / float(unitsPerEm_);
}

Ref<TextFont> TextFont::fontWithUIFont(const Ref<UIFont>& uiFont)
{
    if (!uiFont) {
        NSException::raise(NSInternalInconsistencyException, "Invalid parameter not satisfying: uiFont != nil");
    }
    return fontWithCGFont_size(CGFontCreateWithFontName(uiFont->fontName()), float(uiFont->pointSize()));
}

Ref<TextFont> TextFont::fontWithSize(float fontSize)
{
    if (!(fontSize > 0.0f)) {
        NSException::raise(NSInternalInconsistencyException, "Invalid parameter not satisfying: fontSize > 0.0");
    }
    if (fontSize == pointSize_) {
        return self<TextFont>();
    }
    return fontWithCGFont_size(cgFont_, fontSize);
}

// Scaled in double precision from the size and the units per em: a product that is a whole number of
// points (800 units of 1000 at 15 points) must not round up to the next point through the float
// ratio's representation error.
double TextFont::scaled(int units) const { return double(pointSize_) * units / unitsPerEm_; }

float TextFont::ascender() const { return float(std::ceil(scaled(CGFontGetAscent(cgFont_)))); }

float TextFont::descender() const { return float(std::floor(scaled(CGFontGetDescent(cgFont_)))); }

float TextFont::capHeight() const { return float(std::ceil(scaled(CGFontGetCapHeight(cgFont_)))); }

float TextFont::xHeight() const { return float(std::ceil(scaled(CGFontGetXHeight(cgFont_)))); }

std::string TextFont::cachedName(std::optional<std::string>& slot, uint16_t nameID) const
{
    std::lock_guard lock(namesMutex_);
    if (!slot) {
        slot = copyNameTableEntryForID(nameID).value_or(std::string());
    }
    return *slot;
}

std::string TextFont::familyName() const { return cachedName(familyName_, 1); }

std::string TextFont::fontName() const { return cachedName(fontName_, 4); }

std::string TextFont::postScriptName() const { return cachedName(postScriptName_, 6); }

std::optional<std::string> TextFont::copyNameTableEntryForID(uint16_t nameID) const
{
    const std::optional<std::vector<uint8_t>> table = CGFontCopyTableForTag(cgFont_, TextFont_cpp::kNameTag);
    if (!table && CGFontHasTableForTag(cgFont_, TextFont_cpp::kNameTag)) {
        return std::nullopt;  // listed, but its bytes lie past the end of a cut file
    }
    if (!table) {
        NSException::raise(NSInternalInconsistencyException,
                           stringWithFormat("CGFontCopyTableForTag returned NULL for 'name' tag in font %@",
                                            CGFontDescription(cgFont_)));
    }
    return copyNameTableEntryFromData(*table, nameID, CGFontDescription(cgFont_));
}

bool TextFont::isEqual(const NSObject* other) const
{
    const auto* font = dynamic_cast<const TextFont*>(other);
    return font != nullptr && font->cgFont_ == cgFont_ && font->pointSize_ == pointSize_;
}

std::string TextFont::description() const
{
    return stringWithFormat("<%@: %p> %@ %g", className(), static_cast<const void*>(this),
                            cgFont_ ? cgFont_->postScriptName() : std::string("(null)"), double(pointSize_));
}

// ---- The character map --------------------------------------------------------------------------------

fontTable* newFontTable(std::shared_ptr<const std::vector<uint8_t>> cmapData, size_t subtableOffset, uint16_t format)
{
    using namespace TextFont_cpp;
    if (!cmapData || !isSupportedFormat(format)) {
        return nullptr;
    }
    const Reader r{cmapData->data(), cmapData->size()};
    auto table = std::make_unique<fontTable>();
    table->format = format;
    if (format == 4) {
        const std::optional<uint16_t> segCountX2 = r.u16(subtableOffset + 6);
        if (!segCountX2) {
            return nullptr;
        }
        // End codes, a pad, then start codes, deltas and range offsets, each segCountX2 bytes long.
        const size_t segmentBytes = *segCountX2;
        if (!r.has(subtableOffset + 14, 4 * segmentBytes + 2)) {
            return nullptr;
        }
        table->segCountX2 = *segCountX2;
        table->endCodes = subtableOffset + 14;
        table->startCodes = table->endCodes + segmentBytes + 2;
        table->idDeltas = table->startCodes + segmentBytes;
        table->idRangeOffsets = table->idDeltas + segmentBytes;
    } else {
        const std::optional<uint32_t> nGroups = r.u32(subtableOffset + 12);
        if (!nGroups || !r.has(subtableOffset + 16, 0) ||
            uint64_t(*nGroups) * 12 > uint64_t(r.size - (subtableOffset + 16))) {
            return nullptr;
        }
        table->nGroups = *nGroups;
        table->groups = subtableOffset + 16;
    }
    table->cmapData = std::move(cmapData);
    return table.release();
}

fontTable* readFontTableFromCmapData(std::shared_ptr<const std::vector<uint8_t>> cmapData,
                                     const std::string& fontDescription)
{
    using namespace TextFont_cpp;
    if (!cmapData) {
        return nullptr;
    }
    const Reader r{cmapData->data(), cmapData->size()};
    const std::optional<uint16_t> version = r.u16(0);
    if (version && *version != 0) {
        NSException::raise(NSInternalInconsistencyException,
                           stringWithFormat("cmap table for font %@ has bad version number", fontDescription));
    }
    const std::optional<uint16_t> recordCount = r.u16(2);
    if (!recordCount) {
        return nullptr;
    }
    struct Chosen {
        uint16_t encoding;
        size_t offset;
        uint16_t format;
    };
    std::optional<Chosen> chosen;
    for (size_t i = 0; i < *recordCount; ++i) {
        const size_t at = 4 + 8 * i;
        const std::optional<uint16_t> platform = r.u16(at);
        const std::optional<uint16_t> encoding = r.u16(at + 2);
        const std::optional<uint32_t> offset = r.u32(at + 4);
        if (!platform || !encoding || !offset) {
            break;  // the record list runs past the table
        }
        const bool unicode = *platform == 0 || (*platform == 3 && *encoding == 1);
        if (!unicode || (chosen && !(*platform == 0 && *encoding > chosen->encoding))) {
            continue;
        }
        const std::optional<uint16_t> format = r.u16(*offset);
        if (!format || !isSupportedFormat(*format)) {
            continue;
        }
        if (*format > 7) {
            const std::optional<uint16_t> reserved = r.u16(size_t(*offset) + 2);
            if (!reserved || *reserved != 0) {
                continue;
            }
        }
        // A subtable that does not fit in the table is as good as none.
        fontTable* probe = newFontTable(cmapData, *offset, *format);
        if (probe == nullptr) {
            continue;
        }
        releaseFontTable(probe);
        chosen = Chosen{*encoding, *offset, *format};
    }
    if (!chosen) {
        return nullptr;
    }
    return newFontTable(std::move(cmapData), chosen->offset, chosen->format);
}

fontTable* readFontTableFromCGFont(const CGFontRef& font)
{
    std::optional<std::vector<uint8_t>> bytes = CGFontCopyTableForTag(font, TextFont_cpp::kCmapTag);
    if (!bytes && CGFontHasTableForTag(font, TextFont_cpp::kCmapTag)) {
        return nullptr;  // listed, but its bytes lie past the end of a cut file
    }
    if (!bytes) {
        NSException::raise(NSInternalInconsistencyException,
                           stringWithFormat("CGFontCopyTableForTag returned NULL for 'cmap' tag in font %@",
                                            CGFontDescription(font)));
    }
    return readFontTableFromCmapData(std::make_shared<const std::vector<uint8_t>>(std::move(*bytes)),
                                     CGFontDescription(font));
}

fontTable* retainFontTable(fontTable* table)
{
    if (table != nullptr) {
        table->retainCount.fetch_add(1, std::memory_order_relaxed);
    }
    return table;
}

void releaseFontTable(fontTable* table)
{
    if (table != nullptr && table->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete table;
    }
}

const void* fontTableRetainCallback(const void* value)
{
    return retainFontTable(static_cast<fontTable*>(const_cast<void*>(value)));
}

void fontTableReleaseCallback(const void* value) { releaseFontTable(static_cast<fontTable*>(const_cast<void*>(value))); }

const FontTableDictionaryValueCallBacks kFontTableDictionaryValueCallBacks = {
    0, fontTableRetainCallback, fontTableReleaseCallback, nullptr, nullptr};

void mapCharactersToGlyphsInFont(const fontTable* table, const unichar* characters, size_t count, CGGlyph* glyphs,
                                 size_t* glyphCount)
{
    using namespace TextFont_cpp;
    size_t written = 0;
    if (table == nullptr) {
        for (; written < count; ++written) {
            glyphs[written] = 0;
        }
    } else if (table->format == 4) {
        const Reader r = readerOf(*table);
        for (; written < count; ++written) {
            glyphs[written] = glyphInFormat4(*table, r, characters[written]);
        }
    } else {
        const Reader r = readerOf(*table);
        std::optional<size_t> hint;
        for (size_t i = 0; i < count; ++i) {
            uint32_t code = characters[i];
            if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && characters[i + 1] >= 0xDC00 &&
                characters[i + 1] <= 0xDFFF) {
                code = (code - 0xD800) * 0x400 + (characters[i + 1] - 0xDC00) + 0x10000;
                ++i;
            }
            const std::optional<size_t> group = findGroup(*table, r, code, hint);
            CGGlyph glyph = 0;
            if (group) {
                const Group g = groupAt(*table, r, *group);
                glyph = CGGlyph((code - g.first + g.glyph) & 0xFFFF);
            }
            glyphs[written++] = glyph;
        }
    }
    if (glyphCount != nullptr) {
        *glyphCount = written;
    }
}

bool mapGlyphsToAdvancesInFont(const Ref<TextFont>& font, size_t count, const CGGlyph* glyphs, float* advances)
{
    std::vector<int> units(count, 0);
    const bool ok = font && CGFontGetGlyphAdvances(font->cgFont(), glyphs, count, units.data());
    const float ratio = font ? font->ratio() : 0;
    for (size_t i = 0; i < count; ++i) {
        advances[i] = ok ? float(units[i]) * ratio : 0;
    }
    return ok;
}

// ---- Names ----------------------------------------------------------------------------------------------

std::optional<std::string> copyNameTableEntryFromData(const std::vector<uint8_t>& nameData, uint16_t nameID,
                                                      const std::string& fontDescription)
{
    using namespace TextFont_cpp;
    const Reader r{nameData.data(), nameData.size()};
    const std::optional<uint16_t> format = r.u16(0);
    if (format && *format != 0) {
        NSException::raise(NSInternalInconsistencyException,
                           stringWithFormat("name table for font %@ has bad version number", fontDescription));
    }
    const std::optional<uint16_t> count = r.u16(2);
    const std::optional<uint16_t> storage = r.u16(4);
    if (!count || !storage) {
        return std::nullopt;
    }
    for (size_t i = 0; i < *count; ++i) {
        const size_t at = 6 + 12 * i;
        if (!r.has(at, 12)) {
            return std::nullopt;  // the record list runs past the table
        }
        const uint16_t platform = *r.u16(at);
        const uint16_t encoding = *r.u16(at + 2);
        const uint16_t id = *r.u16(at + 6);
        if (id != nameID) {
            continue;
        }
        const std::optional<NSStringEncoding> textEncoding = nameEncoding(platform, encoding);
        if (!textEncoding) {
            continue;
        }
        const uint16_t length = *r.u16(at + 8);
        const size_t start = size_t(*storage) + *r.u16(at + 10);
        if (!r.has(start, length)) {
            return std::nullopt;
        }
        return Charset::decode(std::string_view(reinterpret_cast<const char*>(r.bytes + start), length),
                               *textEncoding);
    }
    return std::nullopt;
}

std::string CGFontDescription(const CGFontRef& font)
{
    if (!font) {
        return "(null)";
    }
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(font.get()));
    return "<CGFont (" + std::string(address) + "): " + font->postScriptName() + ">";
}
