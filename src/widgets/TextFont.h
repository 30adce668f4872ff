#pragma once
// The lowest layer of the custom-font text kit: TextFont (a font handle at a point size, with metrics in
// points and the names of its 'name' table) and the character-map reader (fontTable and the functions
// that map UTF-16 text to glyphs and glyphs to advances).
//
// Font bytes are never trusted: every read from a 'cmap' or 'name' table is checked against the
// table's length. A subtable that does not fit in its table is not used (the font then maps to glyph
// 0), a glyph address outside the table gives glyph 0, and a name record outside the table gives nil.
// Tables that are missing altogether, or carry a version the reader does not know, are programming
// errors of whoever shipped the font and raise NSInternalInconsistencyException.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGFont.h"

class UIFont;

class TextFont : public NSObject {
public:
    // Plain init is not a way to make a TextFont: raises NSInternalInconsistencyException.
    static Ref<TextFont> create();
    // nil for a null font.
    static Ref<TextFont> fontWithCGFont_size(const CGFontRef& font, float pointSize);
    static Ref<TextFont> initWithCGFont_size(const CGFontRef& font, float pointSize);
    // The installed font of the platform font's name at its point size; nil when no such font is
    // installed. A nil platform font raises NSInternalInconsistencyException.
    static Ref<TextFont> fontWithUIFont(const Ref<UIFont>& uiFont);

    // This object for its own size, else a new font on the same handle; a size that is not above 0
    // raises NSInternalInconsistencyException.
    Ref<TextFont> fontWithSize(float fontSize);

    const CGFontRef& cgFont() const { return cgFont_; }
    float pointSize() const { return pointSize_; }
    // Points per font unit.
    float ratio() const { return ratio_; }

    // Metrics in points, rounded outwards so that a line box always holds the unrounded line.
    float ascender() const;
    float descender() const;  // zero or negative
    float leading() const { return ascender() - descender(); }  // the full height of a line
    float capHeight() const;
    float xHeight() const;

    // Names from the font's 'name' table (IDs 1, 4 and 6), read on first use; "" when the table has none.
    std::string familyName() const;
    std::string fontName() const;
    std::string postScriptName() const;
    // The entry of that name ID, nil (nullopt) when the table has no readable entry for it.
    std::optional<std::string> copyNameTableEntryForID(uint16_t nameID) const;

    // The same handle and the same size.
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

    TextFont() = default;

protected:
    void initWithCGFont_sizeBody(const CGFontRef& font, float pointSize);

private:
    std::string cachedName(std::optional<std::string>& slot, uint16_t nameID) const;
    double scaled(int units) const;

    CGFontRef cgFont_;
    float pointSize_ = 0;
    float ratio_ = 0;
    int unitsPerEm_ = 1000;
    mutable std::mutex namesMutex_;
    mutable std::optional<std::string> familyName_, fontName_, postScriptName_;
};

// ---- The character map ------------------------------------------------------------------------------

// One font's character map, read once from its 'cmap' table and shared by hand-counted references
// (newFontTable and readFontTableFromCGFont give one reference; retainFontTable / releaseFontTable add
// and drop one). The array fields are byte offsets into cmapData, which the record keeps alive; the
// reader has checked that every array lies inside it.
struct fontTable {
    std::atomic<unsigned> retainCount{1};
    std::shared_ptr<const std::vector<uint8_t>> cmapData;
    uint16_t format = 0;  // 4 or 12
    // Format 4: segment count × 2 and the offsets of the four arrays of 16-bit values.
    uint16_t segCountX2 = 0;
    size_t endCodes = 0;
    size_t startCodes = 0;
    size_t idDeltas = 0;
    size_t idRangeOffsets = 0;
    // Format 12: the number of groups and the offset of the first (three 32-bit values each).
    uint32_t nGroups = 0;
    size_t groups = 0;
};

// The subtable formats the reader accepts, in order of the table.
inline constexpr uint16_t supportedFormats[] = {4, 12};

// The record for the subtable that starts at `subtableOffset` of the 'cmap' bytes, which must be of
// `format`; nullptr when the format is not supported or the subtable does not fit in the bytes.
fontTable* newFontTable(std::shared_ptr<const std::vector<uint8_t>> cmapData, size_t subtableOffset, uint16_t format);
// The record of the best Unicode subtable of the 'cmap' bytes; nullptr when there is none the reader
// can use. A table that is not version 0 raises NSInternalInconsistencyException.
fontTable* readFontTableFromCmapData(std::shared_ptr<const std::vector<uint8_t>> cmapData,
                                     const std::string& fontDescription = "(null)");
// The same for a font's own 'cmap' table; a font without one raises NSInternalInconsistencyException.
fontTable* readFontTableFromCGFont(const CGFontRef& font);
fontTable* retainFontTable(fontTable* table);  // accepts nullptr
void releaseFontTable(fontTable* table);       // accepts nullptr; the last release frees the record

// Value callbacks for a dictionary from font to fontTable that holds a reference on each table.
struct FontTableDictionaryValueCallBacks {
    int version;
    const void* (*retain)(const void* value);
    void (*release)(const void* value);
    std::string (*copyDescription)(const void* value);
    bool (*equal)(const void* a, const void* b);
};
const void* fontTableRetainCallback(const void* value);
void fontTableReleaseCallback(const void* value);
extern const FontTableDictionaryValueCallBacks kFontTableDictionaryValueCallBacks;

// Maps `count` UTF-16 units to glyphs. Format 4 gives one glyph per unit; format 12 one per code point
// (a surrogate pair gives one glyph). Without a table every unit gives glyph 0. `glyphs` must have room
// for `count` glyphs; `glyphCount`, when given, receives the number written.
void mapCharactersToGlyphsInFont(const fontTable* table, const unichar* characters, size_t count, CGGlyph* glyphs,
                                 size_t* glyphCount);
// The advances of the glyphs in points; false (and every advance 0) when the font cannot give them.
bool mapGlyphsToAdvancesInFont(const Ref<TextFont>& font, size_t count, const CGGlyph* glyphs, float* advances);

// The entry of a name ID in 'name' table bytes; nil when no record of a readable encoding has that ID
// or its text lies outside the table. A table of another format than 0 raises
// NSInternalInconsistencyException.
std::optional<std::string> copyNameTableEntryFromData(const std::vector<uint8_t>& nameData, uint16_t nameID,
                                                      const std::string& fontDescription = "(null)");
// A font handle as it reads in messages: "<CGFont (0x...): PostScriptName>", "(null)" for none.
std::string CGFontDescription(const CGFontRef& font);
