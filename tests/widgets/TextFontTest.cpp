#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "FontFixtures.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/uikit/UIFont.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextFont.h"

namespace fs = std::filesystem;

namespace {
namespace TextFontTest_cpp {

using namespace FontFixtures;

std::shared_ptr<const Bytes> shared(Bytes bytes) { return std::make_shared<const Bytes>(std::move(bytes)); }

// Owns one reference on a table for the length of a test.
struct TableHolder {
    fontTable* table;
    explicit TableHolder(fontTable* t) : table(t) {}
    ~TableHolder() { releaseFontTable(table); }
    TableHolder(const TableHolder&) = delete;
    TableHolder& operator=(const TableHolder&) = delete;
};

std::vector<CGGlyph> glyphsOf(const fontTable* table, const std::u16string& text)
{
    std::vector<CGGlyph> glyphs(text.size() + 1, 0xEEEE);
    size_t count = 0xBAD;
    mapCharactersToGlyphsInFont(table, text.data(), text.size(), glyphs.data(), &count);
    EXPECT_LE(count, text.size());
    EXPECT_EQ(glyphs[text.size()], 0xEEEE) << "wrote past the glyphs asked for";
    glyphs.resize(count);
    return glyphs;
}

std::u16string utf16(char32_t c)
{
    if (c < 0x10000) {
        return std::u16string(1, char16_t(c));
    }
    c -= 0x10000;
    return {char16_t(0xD800 + (c >> 10)), char16_t(0xDC00 + (c & 0x3FF))};
}

std::string resourcesFolder()
{
    const char* source = std::getenv("OMBRI_SOURCE_DIR");
    return source ? std::string(source) + "/resources" : NSBundle::defaultMainBundlePath();
}

// ---- Generated character maps and their brute-force oracles -------------------------------------------

struct Format4Case {
    const char* name;
    unsigned seed;
    int segments;
    int rangeShare;  // percent of segments that map through the glyph array
};

void PrintTo(const Format4Case& c, std::ostream* os) { *os << c.name; }

struct Generated4 {
    std::vector<Segment4> segments;
    std::vector<CGGlyph> expected;  // for every BMP unit
};

Generated4 generate4(const Format4Case& c)
{
    std::mt19937 random(c.seed);
    std::set<uint16_t> bounds;
    while (bounds.size() < size_t(2 * c.segments)) {
        bounds.insert(uint16_t(random() % 0xFFFE));
    }
    std::vector<uint16_t> sorted(bounds.begin(), bounds.end());
    Generated4 g;
    g.expected.assign(0x10000, 0);
    size_t arrayEntries = 0;
    for (int i = 0; i < c.segments; ++i) {
        Segment4 s{sorted[2 * i], sorted[2 * i + 1], int16_t(int(random() % 65536) - 32768), {}};
        const size_t size = size_t(s.end - s.start) + 1;
        // The array is reached through 16-bit offsets: keep it well inside them.
        if (int(random() % 100) < c.rangeShare && arrayEntries + size < 20000) {
            for (size_t k = 0; k < size; ++k) {
                s.glyphIds.push_back(random() % 5 == 0 ? 0 : uint16_t(random() % 3000));
            }
            arrayEntries += size;
        }
        for (uint32_t ch = s.start; ch <= s.end; ++ch) {
            if (s.glyphIds.empty()) {
                g.expected[ch] = CGGlyph((ch + uint16_t(s.delta)) & 0xFFFF);
            } else {
                const uint16_t id = s.glyphIds[ch - s.start];
                g.expected[ch] = id == 0 ? 0 : CGGlyph((id + uint16_t(s.delta)) & 0xFFFF);
            }
        }
        g.segments.push_back(std::move(s));
    }
    g.segments.push_back({0xFFFF, 0xFFFF, 1, {}});
    return g;
}

struct Format12Case {
    const char* name;
    unsigned seed;
    int groups;
    uint32_t maxGap;
    uint32_t maxSize;
};

void PrintTo(const Format12Case& c, std::ostream* os) { *os << c.name; }

std::vector<Group12> generate12(const Format12Case& c)
{
    std::mt19937 random(c.seed);
    std::vector<Group12> groups;
    uint32_t next = random() % 40;
    for (int i = 0; i < c.groups && next <= 0x10FFFF; ++i) {
        const uint32_t last = std::min<uint32_t>(0x10FFFF, next + random() % c.maxSize);
        groups.push_back({next, last, uint32_t(random() % 90000)});  // some first glyphs pass 16 bits
        next = last + 1 + random() % c.maxGap;
    }
    return groups;
}

// The glyph of every code point, filled in group by group.
std::vector<CGGlyph> oracle12(const std::vector<Group12>& groups)
{
    std::vector<CGGlyph> glyphs(0x110000, 0);
    for (const Group12& g : groups) {
        for (uint32_t code = g.first; code <= g.last; ++code) {
            glyphs[code] = CGGlyph((code - g.first + g.glyph) & 0xFFFF);
        }
    }
    return glyphs;
}

class TempFolder {
public:
    TempFolder()
    {
        path_ = fs::temp_directory_path() /
                ("text-font-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string write(const std::string& name, const Bytes& bytes) const
    {
        const fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file.string();
    }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

// Sets the main bundle for one test and puts the default back afterwards.
struct MainBundle {
    explicit MainBundle(const std::string& path) { NSBundle::setMainBundlePath(path); }
    ~MainBundle() { NSBundle::setMainBundlePath(""); }
};

template <class F>
std::string raisedReason(F&& f)
{
    try {
        f();
    } catch (const NSException& e) {
        return e.name() + ": " + e.reason();
    }
    return "(nothing raised)";
}

}  // namespace TextFontTest_cpp
}  // namespace

// ---- Character maps ------------------------------------------------------------------------------------

class TextFontCmapFormat4Test : public ::testing::TestWithParam<TextFontTest_cpp::Format4Case> {};

TEST_P(TextFontCmapFormat4Test, EveryBMPUnitMapsAsTheOracleSays)
{
    using namespace TextFontTest_cpp;
    const Generated4 g = generate4(GetParam());
    TableHolder holder(readFontTableFromCmapData(shared(cmapTable({{3, 1, format4(g.segments)}}))));
    ASSERT_NE(holder.table, nullptr);
    EXPECT_EQ(holder.table->format, 4);
    std::u16string all;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        all += char16_t(c);
    }
    // One call over the whole plane: format 4 gives one glyph per unit, surrogates included.
    const std::vector<CGGlyph> glyphs = glyphsOf(holder.table, all);
    ASSERT_EQ(glyphs.size(), all.size());
    size_t wrong = 0;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (glyphs[c] != g.expected[c] && wrong++ < 5) {
            ADD_FAILURE() << std::hex << "U+" << c << " gave " << glyphs[c] << ", expected " << g.expected[c];
        }
    }
    EXPECT_EQ(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(Generated, TextFontCmapFormat4Test,
                         ::testing::Values(TextFontTest_cpp::Format4Case{"OneSegmentByDelta", 1, 1, 0},
                                           TextFontTest_cpp::Format4Case{"FewSegmentsByArray", 2, 6, 100},
                                           TextFontTest_cpp::Format4Case{"ManyMixed", 3, 300, 50},
                                           TextFontTest_cpp::Format4Case{"ManyNarrowByDelta", 4, 2000, 0},
                                           TextFontTest_cpp::Format4Case{"MixedOtherSeed", 5, 120, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

class TextFontCmapFormat12Test : public ::testing::TestWithParam<TextFontTest_cpp::Format12Case> {};

TEST_P(TextFontCmapFormat12Test, CodePointsMapAsTheOracleSaysInAnyOrder)
{
    using namespace TextFontTest_cpp;
    const std::vector<Group12> groups = generate12(GetParam());
    const std::vector<CGGlyph> oracle = oracle12(groups);
    TableHolder holder(readFontTableFromCmapData(shared(cmapTable({{0, 4, format12(groups)}}))));
    ASSERT_NE(holder.table, nullptr);
    EXPECT_EQ(holder.table->format, 12);

    // Every code point outside the surrogate block, ascending in one call (the search's hint then
    // mostly points next door), and a shuffled sample (the hint points anywhere).
    std::vector<uint32_t> ascending;
    for (uint32_t c = 0; c <= 0x10FFFF; c += (c < 0x30000 ? 1 : 7)) {
        if (c < 0xD800 || c > 0xDFFF) {
            ascending.push_back(c);
        }
    }
    std::vector<uint32_t> shuffled(ascending.begin(), ascending.begin() + std::min<size_t>(ascending.size(), 60000));
    for (const Group12& g : groups) {  // the edges of every group and their neighbours
        for (const uint32_t c : {g.first - 1, g.first, g.last, g.last + 1}) {
            if (c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
                shuffled.push_back(c);
            }
        }
    }
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(GetParam().seed));

    for (const std::vector<uint32_t>* order : {&ascending, &shuffled}) {
        std::u16string text;
        for (const uint32_t c : *order) {
            text += utf16(c);
        }
        const std::vector<CGGlyph> glyphs = glyphsOf(holder.table, text);
        ASSERT_EQ(glyphs.size(), order->size()) << "one glyph per code point";
        size_t wrong = 0;
        for (size_t i = 0; i < order->size(); ++i) {
            const CGGlyph expected = oracle[(*order)[i]];
            if (glyphs[i] != expected && wrong++ < 5) {
                ADD_FAILURE() << std::hex << "U+" << (*order)[i] << " gave " << glyphs[i] << ", expected " << expected;
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, TextFontCmapFormat12Test,
                         ::testing::Values(TextFontTest_cpp::Format12Case{"OneGroup", 11, 1, 10, 200},
                                           TextFontTest_cpp::Format12Case{"DenseSmallGroups", 12, 3000, 3, 20},
                                           TextFontTest_cpp::Format12Case{"SparseWideGroups", 13, 200, 20000, 3000},
                                           TextFontTest_cpp::Format12Case{"ManyTinyGroups", 14, 40000, 4, 3},
                                           TextFontTest_cpp::Format12Case{"TwoGroups", 15, 2, 90000, 50}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextFontCmapTest, SubtableChoiceFollowsPlatformAndEncoding)
{
    using namespace TextFontTest_cpp;
    // Each subtable maps 'A' to a glyph that names it.
    const auto f4 = [](CGGlyph glyph) { return format4({{u'A', u'A', int16_t(glyph - u'A'), {}}, {0xFFFF, 0xFFFF, 1, {}}}); };
    const auto f12 = [](CGGlyph glyph) { return format12({{u'A', u'A', glyph}}); };
    Bytes format6 = {0, 6, 0, 10, 0, 0, 0, 0x41, 0, 1, 0, 99};  // a trimmed table: not supported
    struct Case {
        const char* name;
        std::vector<Encoding> encodings;
        CGGlyph expected;  // 0: no table at all
    };
    const Case cases[] = {
        {"windows format 4 loses to a later unicode 0/4 format 12", {{3, 1, f4(1)}, {0, 4, f12(2)}}, 2},
        {"a later 0/3 replaces 3/1", {{3, 1, f4(1)}, {0, 3, f4(3)}}, 3},
        {"a later 3/1 does not replace 0/3", {{0, 3, f4(3)}, {3, 1, f4(1)}}, 3},
        {"a later unicode record with a lower encoding does not replace", {{0, 4, f12(4)}, {0, 3, f4(3)}}, 4},
        {"a later record with an equal encoding does not replace", {{0, 3, f4(5)}, {0, 3, f4(6)}}, 5},
        {"macintosh and other windows encodings are passed over", {{1, 0, f4(7)}, {3, 10, f12(8)}, {3, 0, f4(9)}}, 0},
        {"an unsupported format is passed over", {{0, 3, format6}, {3, 1, f4(10)}}, 10},
        {"format 12 with a reserved field set is passed over", {{0, 4, format12({{u'A', u'A', 11}}, 1)}, {3, 1, f4(12)}}, 12},
        {"no records", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableHolder holder(readFontTableFromCmapData(shared(cmapTable(c.encodings))));
        if (c.expected == 0) {
            EXPECT_EQ(holder.table, nullptr);
        } else {
            ASSERT_NE(holder.table, nullptr);
            EXPECT_EQ(glyphsOf(holder.table, u"A"), std::vector<CGGlyph>{c.expected});
        }
    }
}

TEST(TextFontCmapTest, SurrogatePairsAndSegmentEdges)
{
    using namespace TextFontTest_cpp;
    TableHolder f12(readFontTableFromCmapData(
        shared(cmapTable({{0, 4, format12({{u'a', u'z', 100}, {0xD800, 0xDFFF, 500}, {0x1F600, 0x1F64F, 1000}})}}))));
    TableHolder f4(readFontTableFromCmapData(
        shared(cmapTable({{3, 1, format4({{u'a', u'z', int16_t(100 - u'a'), {}}, {0xD800, 0xDFFF, 0, {}}, {0xFFFF, 0xFFFF, 1, {}}})}}))));
    ASSERT_NE(f12.table, nullptr);
    ASSERT_NE(f4.table, nullptr);
    struct Case {
        const char* name;
        std::u16string text;
        std::vector<CGGlyph> format12;
        std::vector<CGGlyph> format4;
    };
    const Case cases[] = {
        {"a pair is one code point in format 12, two units in format 4", u"a\U0001F600b", {100, 1000, 101}, {100, 0xD83D, 0xDE00, 101}},
        {"a lone high surrogate at the end is looked up as it is", u"a\xD83D", {100, 500 + 0x3D}, {100, 0xD83D}},
        {"a lone low surrogate", u"\xDE00z", {500 + 0x600, 125}, {0xDE00, 125}},
        {"a high surrogate before a letter", u"\xD83Dz", {500 + 0x3D, 125}, {0xD83D, 125}},
        {"outside every segment", u"A{", {0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(glyphsOf(f12.table, c.text), c.format12);
        EXPECT_EQ(glyphsOf(f4.table, c.text), c.format4);
    }
    // No table: glyph 0 for every unit, and as many glyphs as units.
    EXPECT_EQ(glyphsOf(nullptr, u"a\U0001F600"), (std::vector<CGGlyph>{0, 0, 0}));
}

TEST(TextFontCmapTest, HostileTablesGiveNoTableOrGlyphZero)
{
    using namespace TextFontTest_cpp;
    // Each case is a 'cmap' of a few hundred bytes at most; none may be read outside its bytes.
    const Bytes good = cmapTable({{3, 1, format4({{u'A', u'Z', 1, {}}, {0xFFFF, 0xFFFF, 1, {}}})}});
    const auto withRecordOffset = [&](uint32_t offset) {
        Bytes b = good;
        set32(b, 8, offset);
        return b;
    };
    const auto truncated = [&](size_t size) { return Bytes(good.begin(), good.begin() + long(size)); };
    Bytes hugeSegments = good;
    set16(hugeSegments, 12 + 6, 0xFFFE);
    Bytes hugeGroups = cmapTable({{0, 4, format12({{u'A', u'Z', 1}})}});
    set32(hugeGroups, 12 + 12, 0xFFFFFFFF);
    Bytes wrappingGroups = hugeGroups;
    set32(wrappingGroups, 12 + 12, 0x15555556);  // × 12 wraps to 8 in 32 bits
    Bytes manyRecords = good;
    set16(manyRecords, 2, 0xFFFF);
    // A second record whose format-12 subtable starts in the last two bytes.
    Bytes format12AtTheEnd = cmapTable({{3, 1, format4({{u'A', u'Z', 1, {}}, {0xFFFF, 0xFFFF, 1, {}}})}, {0, 4, {}}});
    format12AtTheEnd.push_back(0);
    format12AtTheEnd.push_back(12);
    // An array entry far past the table's end, and one that ends one byte past it.
    Bytes farAddress = cmapTable({{3, 1, format4({{u'A', u'Z', 0, {1, 2}}, {0xFFFF, 0xFFFF, 1, {}}})}});
    set16(farAddress, 12 + 16 + 3 * 4, 0xFFF0);
    Bytes edgeAddress = cmapTable({{3, 1, format4({{u'A', u'B', 0, {7, 8}}, {0xFFFF, 0xFFFF, 1, {}}})}});
    edgeAddress.pop_back();  // 'B''s entry loses its last byte

    struct Case {
        const char* name;
        Bytes cmap;
        bool hasTable;
        std::u16string text;
        std::vector<CGGlyph> glyphs;  // with a table
    };
    const Case cases[] = {
        {"empty", {}, false, u"", {}},
        {"three bytes", truncated(3), false, u"", {}},
        {"record list cut", truncated(10), false, u"", {}},
        {"subtable header cut", truncated(14), false, u"", {}},
        {"last array cut", truncated(good.size() - 1), false, u"", {}},
        {"subtable offset past the end", withRecordOffset(uint32_t(good.size())), false, u"", {}},
        {"subtable offset at the top of 32 bits", withRecordOffset(0xFFFFFFFF), false, u"", {}},
        {"segment count far beyond the table", hugeSegments, false, u"", {}},
        {"group count far beyond the table", hugeGroups, false, u"", {}},
        {"group count whose byte size wraps", wrappingGroups, false, u"", {}},
        {"record count beyond the records present", manyRecords, true, u"AZ", {1 + 'A', 1 + 'Z'}},
        {"format 12 without room for its reserved field", format12AtTheEnd, true, u"A", {1 + 'A'}},
        {"glyph array address far past the end", farAddress, true, u"AB", {0, 0}},
        {"glyph array entry cut in half", edgeAddress, true, u"AB", {7, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LE(c.cmap.size(), 400u);
        TableHolder holder(readFontTableFromCmapData(shared(c.cmap)));
        EXPECT_EQ(holder.table != nullptr, c.hasTable);
        if (holder.table != nullptr) {
            EXPECT_EQ(glyphsOf(holder.table, c.text), c.glyphs);
        }
    }
    // A version this reader does not know is the font's fault, reported as such.
    Bytes version1 = good;
    set16(version1, 0, 1);
    EXPECT_EQ(raisedReason([&] { readFontTableFromCmapData(shared(version1), "<font>"); }),
              "NSInternalInconsistencyException: cmap table for font <font> has bad version number");
}

TEST(TextFontCmapTest, TablesAreSharedByCountedReferences)
{
    using namespace TextFontTest_cpp;
    const std::shared_ptr<const Bytes> bytes = shared(simpleCmap());
    fontTable* table = readFontTableFromCmapData(bytes);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->retainCount.load(), 1u);
    EXPECT_EQ(bytes.use_count(), 2) << "the record holds the table bytes";
    EXPECT_EQ(kFontTableDictionaryValueCallBacks.version, 0);
    EXPECT_EQ(kFontTableDictionaryValueCallBacks.copyDescription, nullptr);
    EXPECT_EQ(kFontTableDictionaryValueCallBacks.equal, nullptr);
    EXPECT_EQ(kFontTableDictionaryValueCallBacks.retain(table), table);
    EXPECT_EQ(retainFontTable(table)->retainCount.load(), 3u);
    releaseFontTable(table);
    kFontTableDictionaryValueCallBacks.release(table);
    EXPECT_EQ(glyphsOf(table, u"B"), std::vector<CGGlyph>{2});
    releaseFontTable(table);
    EXPECT_EQ(bytes.use_count(), 1) << "the last release frees the record and its hold on the bytes";
    retainFontTable(nullptr);
    releaseFontTable(nullptr);
}

// ---- Names ---------------------------------------------------------------------------------------------

TEST(TextFontNameTest, RecordsAreChosenByIDAndEncoding)
{
    using namespace TextFontTest_cpp;
    const Bytes names = nameTable({
        {3, 10, 0x409, 1, utf16be(u"UCS-4 record: skipped")},
        {2, 1, 0, 1, "ISO record: skipped"},
        {3, 1, 0x804, 1, utf16be(u"文泉驿 Family")},  // any language will do
        {1, 0, 0, 4, "Caf\x8E \xA9"},                   // Mac OS Roman: é and ©
        {1, 1, 0, 6, utf16be(u"MacUTF16")},
        {0, 3, 0, 2, utf16be(u"Regular \U0001F600")},
        {3, 1, 0x409, 4, utf16be(u"Second full name: not reached")},
    });
    struct Case {
        uint16_t id;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {1, "文泉驿 Family"}, {4, "Café ©"}, {6, "MacUTF16"}, {2, "Regular \U0001F600"}, {5, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(copyNameTableEntryFromData(names, c.id), c.expected);
    }
}

TEST(TextFontNameTest, HostileNameTablesGiveNil)
{
    using namespace TextFontTest_cpp;
    const Bytes good = simpleNames(u"Family", u"Full", u"PS");
    ASSERT_EQ(copyNameTableEntryFromData(good, 6), "PS");
    const auto edited = [&](size_t at, uint16_t value) {
        Bytes b = good;
        set16(b, at, value);
        return b;
    };
    const size_t psRecord = 6 + 2 * 12;
    struct Case {
        const char* name;
        Bytes table;
        uint16_t id;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"empty", {}, 6, std::nullopt},
        {"header cut", Bytes(good.begin(), good.begin() + 5), 6, std::nullopt},
        {"records cut", Bytes(good.begin(), good.begin() + long(psRecord + 11)), 6, std::nullopt},
        {"records cut after the one asked for", Bytes(good.begin(), good.begin() + long(psRecord + 11)), 1, std::nullopt},
        {"text cut", Bytes(good.begin(), good.end() - 1), 6, std::nullopt},
        // The records that are there are read; the walk stops where the table ends.
        {"record count far beyond the table, entry present", edited(2, 0xFFFF), 6, "PS"},
        {"record count far beyond the table, entry absent", edited(2, 0xFFFF), 5, std::nullopt},
        {"record offset past the end", edited(psRecord + 10, 0xFFF0), 6, std::nullopt},
        {"record length past the end", edited(psRecord + 8, 0xFFFF), 6, std::nullopt},
        {"storage offset past the end", edited(4, 0xFFFF), 6, std::nullopt},
        {"odd length of a UTF-16 text", edited(psRecord + 8, 3), 6, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(copyNameTableEntryFromData(c.table, c.id), c.expected);
    }
    EXPECT_EQ(raisedReason([&] { copyNameTableEntryFromData(edited(0, 1), 6, "<font>"); }),
              "NSInternalInconsistencyException: name table for font <font> has bad version number");
}

// ---- Fonts made from files -----------------------------------------------------------------------------

TEST(TextFontObjectTest, MetricsScaleAndRoundOutwards)
{
    using namespace TextFontTest_cpp;
    struct Case {
        uint16_t unitsPerEm;
        int16_t ascent, descent, capHeight, xHeight;
        float size;
        float ascender, descender, capHeightPoints, xHeightPoints;
    };
    const Case cases[] = {
        // DejaVu-like units at 12 points: 11.14, -2.83, 8.75, 6.56.
        {2048, 1901, -483, 1493, 1120, 12, 12, -3, 9, 7},
        // Exact products stay exact: 800 × 15/1000 is 12, not 13 from a float ratio's error.
        {1000, 800, -200, 700, 500, 15, 12, -3, 11, 8},
        {1000, 800, -200, 700, 500, 13, 11, -3, 10, 7},
        // A font with no descent.
        {1000, 1000, 0, 700, 500, 10, 10, 0, 7, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.unitsPerEm << " units, " << c.size << " pt");
        Metrics m;
        m.unitsPerEm = c.unitsPerEm;
        m.ascent = c.ascent;
        m.descent = c.descent;
        m.capHeight = c.capHeight;
        m.xHeight = c.xHeight;
        const CGFontRef cg = CGFont::createWithData(fontFile(simpleCmap(), simpleNames(u"F", u"F", u"F"), m));
        ASSERT_TRUE(cg);
        const Ref<TextFont> font = TextFont::fontWithCGFont_size(cg, c.size);
        EXPECT_FLOAT_EQ(font->ratio(), c.size / float(c.unitsPerEm));
        EXPECT_EQ(font->ascender(), c.ascender);
        EXPECT_EQ(font->descender(), c.descender);
        EXPECT_EQ(font->leading(), c.ascender - c.descender);
        EXPECT_GE(font->leading(), double(c.size) * (c.ascent - c.descent) / c.unitsPerEm);
        EXPECT_EQ(font->capHeight(), c.capHeightPoints);
        EXPECT_EQ(font->xHeight(), c.xHeightPoints);
    }
}

TEST(TextFontObjectTest, NamesGlyphsAndAdvancesThroughAFontFile)
{
    using namespace TextFontTest_cpp;
    Metrics m;
    m.unitsPerEm = 1000;
    const Bytes file = fontFile(simpleCmap(), simpleNames(u"Ombri Test", u"Ombri Test Regular", u"OmbriTest-Regular"), m);
    ASSERT_LE(file.size(), 2000u);
    const Ref<TextFont> font = TextFont::fontWithCGFont_size(CGFont::createWithData(file), 20);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->familyName(), "Ombri Test");
    EXPECT_EQ(font->fontName(), "Ombri Test Regular");
    EXPECT_EQ(font->postScriptName(), "OmbriTest-Regular");

    TableHolder holder(readFontTableFromCGFont(font->cgFont()));
    ASSERT_NE(holder.table, nullptr);
    const std::vector<CGGlyph> glyphs = glyphsOf(holder.table, u"ABC!");
    EXPECT_EQ(glyphs, (std::vector<CGGlyph>{1, 2, 3, 0}));

    float advances[4] = {-1, -1, -1, -1};
    EXPECT_TRUE(mapGlyphsToAdvancesInFont(font, glyphs.size(), glyphs.data(), advances));
    EXPECT_FLOAT_EQ(advances[0], 1100 * 0.02f);
    EXPECT_FLOAT_EQ(advances[1], 1200 * 0.02f);
    EXPECT_FLOAT_EQ(advances[2], 1300 * 0.02f);
    EXPECT_FLOAT_EQ(advances[3], 1000 * 0.02f);
    // A glyph the font does not have: every advance 0 and NO.
    const CGGlyph outside[2] = {1, 60000};
    EXPECT_FALSE(mapGlyphsToAdvancesInFont(font, 2, outside, advances));
    EXPECT_EQ(advances[0], 0);
    EXPECT_EQ(advances[1], 0);
}

TEST(TextFontObjectTest, HostileTablesInsideAFontFile)
{
    using namespace TextFontTest_cpp;
    Bytes cmap = simpleCmap();
    set32(cmap, 8, 0x7FFFFFF0);  // the only subtable lies far outside
    Bytes names = simpleNames(u"F", u"F", u"F");
    set16(names, 2, 900);  // 900 records claimed
    set16(names, 6 + 10, 0xFFF0);
    const Bytes file = fontFile(cmap, names);
    ASSERT_LE(file.size(), 1500u);
    const Ref<TextFont> font = TextFont::fontWithCGFont_size(CGFont::createWithData(file), 12);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->copyNameTableEntryForID(1), std::nullopt);
    EXPECT_EQ(font->familyName(), "");
    TableHolder holder(readFontTableFromCGFont(font->cgFont()));
    EXPECT_EQ(holder.table, nullptr);
    EXPECT_EQ(glyphsOf(holder.table, u"AB"), (std::vector<CGGlyph>{0, 0}));

    // Fonts without the tables at all are refused loudly, naming the font.
    const Ref<TextFont> bare = TextFont::fontWithCGFont_size(CGFont::createWithData(fontFile({}, {})), 12);
    ASSERT_TRUE(bare);
    const std::string described = CGFontDescription(bare->cgFont());
    EXPECT_EQ(raisedReason([&] { readFontTableFromCGFont(bare->cgFont()); }),
              "NSInternalInconsistencyException: CGFontCopyTableForTag returned NULL for 'cmap' tag in font " + described);
    EXPECT_EQ(raisedReason([&] { bare->familyName(); }),
              "NSInternalInconsistencyException: CGFontCopyTableForTag returned NULL for 'name' tag in font " + described);
}

TEST(TextFontObjectTest, TruncatedFontFilesGiveNilOrGlyphZero)
{
    using namespace TextFontTest_cpp;
    const Bytes file = fontFile(simpleCmap(), simpleNames(u"Whole", u"Whole", u"Whole"));
    // Every cut of the file: either it is no font, or what can be read of it reads, and what cannot
    // gives no table, glyph 0 and no names - never a read past the bytes, never an exception.
    TempFolder folder;
    size_t loaded = 0;
    for (size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        // Fonts made from memory and from files find their tables by different roads: use both.
        const Bytes cut(file.begin(), file.begin() + long(size));
        const CGFontRef cg = size % 2 == 0 ? CGFont::createWithData(cut) : CGFont::createWithFile(folder.write("cut.ttf", cut));
        if (!cg) {
            continue;
        }
        ++loaded;
        const Ref<TextFont> font = TextFont::fontWithCGFont_size(cg, 12);
        try {
            TableHolder holder(readFontTableFromCGFont(cg));
            const std::vector<CGGlyph> glyphs = glyphsOf(holder.table, u"AZ");
            EXPECT_TRUE(glyphs == (std::vector<CGGlyph>{1, 26}) || glyphs == (std::vector<CGGlyph>{0, 0}));
            const std::string family = font->familyName();
            EXPECT_TRUE(family == "Whole" || family.empty()) << family;
        } catch (const NSException& e) {
            ADD_FAILURE() << e.reason();
        }
    }
    EXPECT_GT(loaded, 50u) << "cuts that still load as a font are the point of this test";
}

TEST(TextFontObjectTest, SizesEqualityAndMisuse)
{
    using namespace TextFontTest_cpp;
    const CGFontRef cg = CGFont::createWithData(fontFile(simpleCmap(), simpleNames(u"F", u"F", u"F")));
    const Ref<TextFont> font = TextFont::initWithCGFont_size(cg, 12);
    EXPECT_EQ(font->fontWithSize(12), font) << "the same size gives the same object";
    const Ref<TextFont> bigger = font->fontWithSize(14);
    EXPECT_NE(bigger, font);
    EXPECT_EQ(bigger->cgFont(), cg);
    EXPECT_EQ(bigger->pointSize(), 14);
    EXPECT_TRUE(font->isEqual(TextFont::fontWithCGFont_size(cg, 12).get()));
    EXPECT_FALSE(font->isEqual(bigger.get()));
    const CGFontRef twin = CGFont::createWithData(fontFile(simpleCmap(), simpleNames(u"F", u"F", u"F")));
    EXPECT_FALSE(font->isEqual(TextFont::fontWithCGFont_size(twin, 12).get())) << "another handle of equal bytes";
    EXPECT_FALSE(TextFont::fontWithCGFont_size(nullptr, 12));

    const std::string notPositive = "NSInternalInconsistencyException: Invalid parameter not satisfying: fontSize > 0.0";
    EXPECT_EQ(raisedReason([&] { font->fontWithSize(0); }), notPositive);
    EXPECT_EQ(raisedReason([&] { font->fontWithSize(-3); }), notPositive);
    EXPECT_EQ(raisedReason([&] { font->fontWithSize(std::nanf("")); }), notPositive);
    EXPECT_EQ(raisedReason([] { TextFont::create(); }),
              "NSInternalInconsistencyException: -init is not valid for TextFont");
    EXPECT_EQ(raisedReason([] { TextFont::fontWithUIFont(nullptr); }),
              "NSInternalInconsistencyException: Invalid parameter not satisfying: uiFont != nil");

    const Ref<TextFont> system = TextFont::fontWithUIFont(UIFont::fontWithName_size("Helvetica-Bold", 17));
    ASSERT_TRUE(system);
    EXPECT_EQ(system->pointSize(), 17);
    EXPECT_EQ(system->cgFont(), CGFontCreateWithFontName("Helvetica-Bold"));
}

// ---- The registry --------------------------------------------------------------------------------------

TEST(CustomFontManagerTest, NamesResolveToBundleFilesThenInstalledFonts)
{
    using namespace TextFontTest_cpp;
    TempFolder bundle;
    bundle.write("Brand.ttf", fontFile(simpleCmap(), simpleNames(u"Brand TTF", u"Brand TTF", u"BrandTTF")));
    bundle.write("Brand", fontFile(simpleCmap(), simpleNames(u"Brand Bare", u"Brand Bare", u"BrandBare")));
    bundle.write("Plain", fontFile(simpleCmap(), simpleNames(u"Plain", u"Plain", u"Plain")));
    bundle.write("Broken.ttf", Bytes(300, 0x5A));
    MainBundle main(bundle.path());
    const Ref<CustomFontManager> manager = CustomFontManager::create();

    struct Case {
        const char* name;
        std::string family;  // "" when the name cannot be loaded
    };
    const Case cases[] = {
        {"Brand", "Brand TTF"},           // "<name>.ttf" comes before the file named exactly
        {"Plain", "Plain"},               // a file without the extension
        {"Helvetica", "DejaVu Sans"},     // no file: an installed font of that name
        {"Broken", ""},                   // a file that is no font
        {"NoSuchFontAnywhere", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ref<TextFont> font = manager->textFontWithName_pointSize(c.name, 11);
        EXPECT_EQ(manager->loadFont(c.name), !c.family.empty());
        if (c.family.empty()) {
            EXPECT_FALSE(font);
            EXPECT_FALSE(manager->fontWithName(c.name));
        } else {
            ASSERT_TRUE(font);
            EXPECT_EQ(font->familyName(), c.family);
            EXPECT_EQ(font->pointSize(), 11);
        }
    }
    EXPECT_EQ(manager->copyAllFonts().size(), 3u) << "failures store nothing";
}

TEST(CustomFontManagerTest, ASecondLookupReadsNoFile)
{
    using namespace TextFontTest_cpp;
    TempFolder bundle;
    const std::string path = bundle.write("Once.ttf", fontFile(simpleCmap(), simpleNames(u"Once", u"Once", u"Once")));
    MainBundle main(bundle.path());
    const Ref<CustomFontManager> manager = CustomFontManager::create();
    const Ref<TextFont> first = manager->textFontWithName_pointSize("Once", 12);
    ASSERT_TRUE(first);
    fs::remove(path);  // a second read of the file would now fail
    const Ref<TextFont> second = manager->textFontWithName_pointSize("Once", 16);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->cgFont(), first->cgFont());
    EXPECT_EQ(manager->fontWithName("Once"), first->cgFont());

    // By URL: the font loaded under a file URL is found again under that URL.
    const std::string other = bundle.write("Other.ttf", fontFile(simpleCmap(), simpleNames(u"Other", u"Other", u"Other")));
    const Ref<NSURL> url = NSURL::fileURLWithPath(other);
    const Ref<TextFont> byURL = manager->textFontWithURL_pointSize(url, 9);
    ASSERT_TRUE(byURL);
    fs::remove(other);
    EXPECT_EQ(manager->textFontWithURL_pointSize(url, 10)->cgFont(), byURL->cgFont());
    EXPECT_TRUE(manager->textFontWithURL_pointSize(NSURL::fileURLWithPath(other), 10));
    EXPECT_FALSE(manager->textFontWithURL_pointSize(NSURL::fileURLWithPath(bundle.path() + "/missing.ttf"), 10));
    EXPECT_FALSE(manager->loadFontURL(NSURL::URLWithString("http://127.0.0.1/font.ttf")));
    EXPECT_EQ(manager->copyAllFonts().size(), 2u);
    EXPECT_EQ(CustomFontManager::sharedManager(), CustomFontManager::sharedManager());
}

TEST(CustomFontManagerTest, TheBundleShipsTheKitsFonts)
{
    using namespace TextFontTest_cpp;
    MainBundle main(resourcesFolder());
    const Ref<CustomFontManager> manager = CustomFontManager::create();
    struct Case {
        const char* name;
        std::u16string sample;
    };
    const Case cases[] = {
        {"Helvetica", u"Ag9"}, {"Helvetica-Bold", u"Ag9"}, {"STHeitiSC-Light", u"中文a"}, {"STHeitiSC-Medium", u"中文a"},
    };
    // The Chinese face comes from a collection: its table directory is found through the collection's.
    const CGFontRef second = CGFont::createWithFile(NSBundle::mainBundle()->pathForResource_ofType("STHeitiSC-Light", "ttf"), 1);
    ASSERT_TRUE(second);
    EXPECT_TRUE(CGFontHasTableForTag(second, CGFontTableTag('n', 'a', 'm', 'e')));
    EXPECT_FALSE(CGFontHasTableForTag(second, CGFontTableTag('z', 'z', 'z', 'z')));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(NSBundle::mainBundle()->pathForResource_ofType(c.name, "ttf").empty()) << "shipped in the bundle";
        const Ref<TextFont> font = manager->textFontWithName_pointSize(c.name, 12);
        ASSERT_TRUE(font);
        TableHolder holder(readFontTableFromCGFont(font->cgFont()));
        ASSERT_NE(holder.table, nullptr);
        for (const CGGlyph glyph : glyphsOf(holder.table, c.sample)) {
            EXPECT_NE(glyph, 0);
        }
        EXPECT_FALSE(font->familyName().empty());
        EXPECT_TRUE(CGFontHasTableForTag(font->cgFont(), CGFontTableTag('c', 'm', 'a', 'p')));
        EXPECT_FALSE(CGFontHasTableForTag(font->cgFont(), CGFontTableTag('z', 'z', 'z', 'z')));
        EXPECT_GT(font->ascender(), 0);
        EXPECT_LT(font->descender(), 0);
    }
}
