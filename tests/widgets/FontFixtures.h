#pragma once
// Builders of small font tables and whole font files for the text kit's tests and its fuzz target:
// 'cmap' tables with format-4 and format-12 subtables, 'name' tables, and an sfnt file of a few
// hundred bytes that FreeType accepts, holding any 'cmap' and 'name' bytes given to it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace FontFixtures {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void put32(Bytes& b, uint32_t v)
{
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}
inline void set16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}
inline void set32(Bytes& b, size_t at, uint32_t v)
{
    set16(b, at, v >> 16);
    set16(b, at + 2, v & 0xFFFF);
}

// One format-4 segment: characters start..end map by delta, or through their own glyph array entries
// (one per character, then adjusted by the delta when not 0).
struct Segment4 {
    uint16_t start;
    uint16_t end;
    int16_t delta;
    std::vector<uint16_t> glyphIds;  // empty: map by delta alone
};

inline Bytes format4(const std::vector<Segment4>& segments)
{
    const size_t segCount = segments.size();
    Bytes b;
    put16(b, 4);
    put16(b, 0);  // length, set below
    put16(b, 0);  // language
    put16(b, uint32_t(segCount * 2));
    put16(b, 0);  // searchRange, entrySelector, rangeShift: not read
    put16(b, 0);
    put16(b, 0);
    for (const Segment4& s : segments) {
        put16(b, s.end);
    }
    put16(b, 0);  // pad
    for (const Segment4& s : segments) {
        put16(b, s.start);
    }
    for (const Segment4& s : segments) {
        put16(b, uint16_t(s.delta));
    }
    // Range offsets count from each entry's own place to its glyphs in the array that follows.
    size_t glyphsBefore = 0;
    for (size_t i = 0; i < segCount; ++i) {
        if (segments[i].glyphIds.empty()) {
            put16(b, 0);
        } else {
            put16(b, uint32_t(2 * (segCount - i) + 2 * glyphsBefore));
            glyphsBefore += segments[i].glyphIds.size();
        }
    }
    for (const Segment4& s : segments) {
        for (const uint16_t g : s.glyphIds) {
            put16(b, g);
        }
    }
    set16(b, 2, uint32_t(std::min<size_t>(b.size(), 0xFFFF)));
    return b;
}

struct Group12 {
    uint32_t first;
    uint32_t last;
    uint32_t glyph;
};

inline Bytes format12(const std::vector<Group12>& groups, uint16_t reserved = 0)
{
    Bytes b;
    put16(b, 12);
    put16(b, reserved);
    put32(b, uint32_t(16 + 12 * groups.size()));
    put32(b, 0);  // language
    put32(b, uint32_t(groups.size()));
    for (const Group12& g : groups) {
        put32(b, g.first);
        put32(b, g.last);
        put32(b, g.glyph);
    }
    return b;
}

struct Encoding {
    uint16_t platform;
    uint16_t encoding;
    Bytes subtable;
};

// A version-0 'cmap' table with the encoding records in the order given.
inline Bytes cmapTable(const std::vector<Encoding>& encodings)
{
    Bytes b;
    put16(b, 0);
    put16(b, uint32_t(encodings.size()));
    size_t offset = 4 + 8 * encodings.size();
    for (const Encoding& e : encodings) {
        put16(b, e.platform);
        put16(b, e.encoding);
        put32(b, uint32_t(offset));
        offset += e.subtable.size();
    }
    for (const Encoding& e : encodings) {
        b.insert(b.end(), e.subtable.begin(), e.subtable.end());
    }
    return b;
}

struct NameRecord {
    uint16_t platform;
    uint16_t encoding;
    uint16_t language;
    uint16_t nameID;
    std::string bytes;  // already in the record's encoding
};

inline std::string utf16be(const std::u16string& text)
{
    std::string out;
    for (const char16_t c : text) {
        out += char(c >> 8);
        out += char(c & 0xFF);
    }
    return out;
}

// A format-0 'name' table.
inline Bytes nameTable(const std::vector<NameRecord>& records)
{
    Bytes b;
    put16(b, 0);
    put16(b, uint32_t(records.size()));
    put16(b, uint32_t(6 + 12 * records.size()));
    std::string storage;
    for (const NameRecord& r : records) {
        put16(b, r.platform);
        put16(b, r.encoding);
        put16(b, r.language);
        put16(b, r.nameID);
        put16(b, uint32_t(r.bytes.size()));
        put16(b, uint32_t(storage.size()));
        storage += r.bytes;
    }
    b.insert(b.end(), storage.begin(), storage.end());
    return b;
}

// The metrics of a generated font file, in font units.
struct Metrics {
    uint16_t unitsPerEm = 2048;
    int16_t ascent = 1901;
    int16_t descent = -483;
    int16_t lineGap = 0;
    int16_t capHeight = 1493;
    int16_t xHeight = 1120;
    uint16_t numGlyphs = 64;
    std::vector<uint16_t> advances = {1000, 1100, 1200, 1300};  // glyphs 0..3; later glyphs take the last
};

// An sfnt (TrueType) file with empty outlines, the metrics above and the 'cmap' and 'name' bytes given.
inline Bytes fontFile(const Bytes& cmap, const Bytes& name, const Metrics& m = Metrics())
{
    struct Table {
        const char* tag;
        Bytes data;
    };
    Bytes head(54, 0);
    set32(head, 0, 0x00010000);
    set32(head, 12, 0x5F0F3CF5);
    set16(head, 18, m.unitsPerEm);
    set16(head, 36, 0);
    set16(head, 40, m.unitsPerEm);  // xMax, yMax: a plausible box
    set16(head, 42, uint16_t(m.ascent));
    set16(head, 38, uint16_t(m.descent));
    set16(head, 50, 0);  // short loca offsets
    Bytes hhea(36, 0);
    set32(hhea, 0, 0x00010000);
    set16(hhea, 4, uint16_t(m.ascent));
    set16(hhea, 6, uint16_t(m.descent));
    set16(hhea, 8, uint16_t(m.lineGap));
    set16(hhea, 10, *std::max_element(m.advances.begin(), m.advances.end()));
    set16(hhea, 34, uint32_t(m.advances.size()));
    Bytes maxp(32, 0);
    set32(maxp, 0, 0x00010000);
    set16(maxp, 4, m.numGlyphs);
    Bytes hmtx;
    for (const uint16_t advance : m.advances) {
        put16(hmtx, advance);
        put16(hmtx, 0);
    }
    for (size_t i = m.advances.size(); i < m.numGlyphs; ++i) {
        put16(hmtx, 0);  // left side bearings of the glyphs that share the last advance
    }
    Bytes loca(2 * (size_t(m.numGlyphs) + 1), 0);
    Bytes os2(96, 0);
    set16(os2, 0, 2);
    set16(os2, 4, 400);
    set16(os2, 6, 5);
    set16(os2, 68, uint16_t(m.ascent));
    set16(os2, 70, uint16_t(m.descent));
    set16(os2, 72, uint16_t(m.lineGap));
    set16(os2, 74, uint16_t(m.ascent));
    set16(os2, 76, uint16_t(-m.descent));
    set16(os2, 86, uint16_t(m.xHeight));
    set16(os2, 88, uint16_t(m.capHeight));
    Bytes post(32, 0);
    set32(post, 0, 0x00030000);

    std::vector<Table> tables = {{"OS/2", os2}, {"cmap", cmap}, {"glyf", {}},   {"head", head}, {"hhea", hhea},
                                 {"hmtx", hmtx}, {"loca", loca}, {"maxp", maxp}, {"name", name}, {"post", post}};
    tables.erase(std::remove_if(tables.begin(), tables.end(),
                                [](const Table& t) {
                                    return (std::string(t.tag) == "cmap" || std::string(t.tag) == "name") &&
                                           t.data.empty();
                                }),
                 tables.end());
    Bytes file;
    put32(file, 0x00010000);
    put16(file, uint32_t(tables.size()));
    put16(file, 0);
    put16(file, 0);
    put16(file, 0);
    size_t offset = 12 + 16 * tables.size();
    for (const Table& t : tables) {
        for (int i = 0; i < 4; ++i) {
            file.push_back(uint8_t(t.tag[i]));
        }
        put32(file, 0);  // checksum: not checked by readers
        put32(file, uint32_t(offset));
        put32(file, uint32_t(t.data.size()));
        offset += (t.data.size() + 3) & ~size_t(3);
    }
    for (const Table& t : tables) {
        file.insert(file.end(), t.data.begin(), t.data.end());
        file.resize((file.size() + 3) & ~size_t(3), 0);
    }
    return file;
}

// A 'name' table of a family, full name and PostScript name in Windows Unicode records.
inline Bytes simpleNames(const std::u16string& family, const std::u16string& full, const std::u16string& postScript)
{
    return nameTable({{3, 1, 0x409, 1, utf16be(family)},
                      {3, 1, 0x409, 4, utf16be(full)},
                      {3, 1, 0x409, 6, utf16be(postScript)}});
}

// A 'cmap' with one Windows Unicode format-4 subtable mapping 'A'..'Z' to glyphs 1..26 (the final
// 0xFFFF segment included, as fonts carry it).
inline Bytes simpleCmap()
{
    return cmapTable({{3, 1, format4({{u'A', u'Z', int16_t(1 - 'A'), {}}, {0xFFFF, 0xFFFF, 1, {}}})}});
}

// The glyph the fixed-width font below gives "…".
inline constexpr uint16_t kFixedWidthEllipsisGlyph = 96;

// A font whose every glyph is one em wide (10 points at 10 points), ascender 0.8 em, descender
// -0.2 em, x height 0.5 em: printable ASCII maps to glyphs 1..95 and "…" to 96. Its outlines are
// empty: layouts are read from the glyphs drawn, not from pixels.
inline Bytes fixedWidthFontFile()
{
    Metrics m;
    m.unitsPerEm = 1000;
    m.ascent = 800;
    m.descent = -200;
    m.xHeight = 500;
    m.capHeight = 700;
    m.numGlyphs = 100;
    m.advances = {1000};
    const Bytes cmap = cmapTable({{3, 1, format4({{0x20, 0x7E, int16_t(1 - 0x20), {}},
                                                  {0x2026, 0x2026, int16_t(kFixedWidthEllipsisGlyph - 0x2026), {}},
                                                  {0xFFFF, 0xFFFF, 1, {}}})}});
    return fontFile(cmap, simpleNames(u"Fixed", u"Fixed", u"Fixed"), m);
}

}  // namespace FontFixtures
