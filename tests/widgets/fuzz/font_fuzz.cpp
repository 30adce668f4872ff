// libFuzzer target for the font-table reader. Each input is read both as a 'cmap' table and as a
// 'name' table. For every input it checks that
//   - reading ends without a crash, a read outside the bytes, a leak or a hang (the sanitizers watch),
//     and the only exceptions are the reader's own verdicts on a table's version;
//   - mapping text gives one glyph per UTF-16 unit in format 4 and one per code point in format 12;
//   - in a format-12 table whose groups are sorted and do not overlap, the hinted search finds the
//     same glyph as a walk over every group, whatever order the characters come in.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSException.h"
#include "widgets/TextFont.h"

namespace {
namespace font_fuzz_cpp {

uint32_t read32(const std::vector<uint8_t>& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

[[noreturn]] void fail(const char* what, uint32_t code, unsigned got, unsigned expected)
{
    std::fprintf(stderr, "%s: U+%X gave %u, expected %u\n", what, code, got, expected);
    std::abort();
}

bool isVersionVerdict(const NSException& e)
{
    return e.name() == NSInternalInconsistencyException && e.reason().find("has bad version number") != std::string::npos;
}

// Characters to map: fixed ones (ASCII, CJK, a pair, lone surrogates) and units taken from the input.
std::u16string sampleText(const uint8_t* data, size_t size)
{
    std::u16string text = u"Aa0 \u4E2D\u6587\U0001F600\xD800x\xDC00\xFFFF";
    for (size_t i = 0; i + 1 < size && text.size() < 512; i += 2) {
        text += char16_t((data[i] << 8) | data[i + 1]);
    }
    return text;
}

void checkFormat12(const fontTable& table, const std::u16string& text, const std::vector<CGGlyph>& glyphs)
{
    const std::vector<uint8_t>& b = *table.cmapData;
    for (uint32_t i = 0; i < table.nGroups; ++i) {
        const size_t at = table.groups + 12 * size_t(i);
        if (read32(b, at) > read32(b, at + 4) || (i > 0 && read32(b, at) <= read32(b, at - 12 + 4))) {
            return;  // unsorted or overlapping: the search may rightly differ from a walk
        }
    }
    size_t g = 0;
    for (size_t i = 0; i < text.size(); ++i, ++g) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = (code - 0xD800) * 0x400 + (text[i + 1] - 0xDC00) + 0x10000;
            ++i;
        }
        CGGlyph expected = 0;
        for (uint32_t k = 0; k < table.nGroups; ++k) {
            const size_t at = table.groups + 12 * size_t(k);
            if (code >= read32(b, at) && code <= read32(b, at + 4)) {
                expected = CGGlyph((code - read32(b, at) + read32(b, at + 8)) & 0xFFFF);
                break;
            }
        }
        if (glyphs[g] != expected) {
            fail("format 12 search differs from the walk", code, glyphs[g], expected);
        }
    }
}

}  // namespace font_fuzz_cpp
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace font_fuzz_cpp;
    // The bytes live in a buffer of exactly their size, so any read past them is caught.
    auto bytes = std::make_shared<const std::vector<uint8_t>>(data, data + size);

    fontTable* table = nullptr;
    try {
        table = readFontTableFromCmapData(bytes, "<fuzz>");
    } catch (const NSException& e) {
        if (!isVersionVerdict(e)) {
            std::fprintf(stderr, "unexpected exception: %s\n", e.what());
            std::abort();
        }
    }
    const std::u16string text = sampleText(data, size);
    std::vector<CGGlyph> glyphs(text.size() + 1, 0xABCD);
    size_t count = 0;
    mapCharactersToGlyphsInFont(table, text.data(), text.size(), glyphs.data(), &count);
    if (glyphs[text.size()] != 0xABCD || count > text.size()) {
        fail("wrote past the glyphs", 0, unsigned(count), unsigned(text.size()));
    }
    if ((table == nullptr || table->format == 4) && count != text.size()) {
        fail("one glyph per unit", 0, unsigned(count), unsigned(text.size()));
    }
    if (table != nullptr && table->format == 12) {
        glyphs.resize(count);
        checkFormat12(*table, text, glyphs);
    }
    releaseFontTable(table);

    for (const uint16_t id : {0, 1, 2, 4, 6, 0xFFFF}) {
        try {
            const std::optional<std::string> name = copyNameTableEntryFromData(*bytes, id, "<fuzz>");
            if (name && name->size() > 3 * size) {
                fail("a name longer than its table can hold", id, unsigned(name->size()), unsigned(size));
            }
        } catch (const NSException& e) {
            if (!isVersionVerdict(e)) {
                std::fprintf(stderr, "unexpected exception: %s\n", e.what());
                std::abort();
            }
        }
    }
    return 0;
}
