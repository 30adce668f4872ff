// The lookup tables built from the published code tables: every codeword of every book, whatever bits
// follow it, resolves to its own length (with its sign bits) and escapes.

#include "AacFrameBuilder.h"

#include "engine/aac/aac_tables.h"

#include <gtest/gtest.h>

#include <random>

TEST(AacTablesTest, BuildFromTheEmbeddedText)
{
    const AacTables& t = aac_tables();
    ASSERT_TRUE(t.valid) << t.error;
    const unsigned expected[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
    for (unsigned book = 0; book < 12; ++book) {
        EXPECT_EQ(t.codeCount[book], expected[book]) << "book " << book;
    }
    EXPECT_EQ(t.scalefactor.rootBits, 7u);
    for (unsigned book = 1; book <= 11; ++book) {
        EXPECT_EQ(t.spectral[book].rootBits, 8u);
    }
    EXPECT_EQ(&aac_tables(), &t) << "built once";
}

TEST(AacTablesTest, BandOffsetsOfBothWindowLengths)
{
    const AacTables& t = aac_tables();
    ASSERT_TRUE(t.valid) << t.error;
    const auto& books = aactest::Books::get();
    ASSERT_EQ(t.longBands.bands, 49u);
    ASSERT_EQ(t.shortBands.bands, 14u);
    EXPECT_EQ(t.longBands.offsets[49], 1024);
    EXPECT_EQ(t.shortBands.offsets[14], 128);
    for (unsigned i = 0; i <= 49; ++i) {
        EXPECT_EQ(t.longBands.offsets[i], books.longBands().at(i));
    }
    for (unsigned i = 0; i <= 14; ++i) {
        EXPECT_EQ(t.shortBands.offsets[i], books.shortBands().at(i));
    }
}

TEST(AacTablesTest, EveryCodewordResolvesToItsLengthSignsAndEscapes)
{
    const AacTables& t = aac_tables();
    ASSERT_TRUE(t.valid) << t.error;
    const auto& books = aactest::Books::get();
    std::mt19937_64 random(3);
    for (unsigned book = 0; book <= 11; ++book) {
        const AacHuffTable& table = book == 0 ? t.scalefactor : t.spectral[book];
        const auto& codes = books.book(book);
        for (unsigned index = 0; index < codes.size(); ++index) {
            unsigned signs = 0, escapes = 0;
            if (book > 0) {
                for (int v : aactest::spectral_values(book, index)) {
                    signs += aactest::spectral_unsigned(book) && v != 0;
                    escapes += book == 11 && v == 16;
                }
            }
            for (int trial = 0; trial < 4; ++trial) {
                // The codeword at the top of the window, anything after it.
                const uint64_t after = trial == 0 ? 0 : trial == 1 ? ~uint64_t(0) : random();
                const unsigned length = codes[index].length;
                const uint64_t window = (uint64_t(codes[index].bits) << (64 - length)) | (after >> length);
                const uint32_t leaf = aac_huff_lookup(table, window);
                ASSERT_EQ(aac_huff_skip(leaf), length + signs) << "book " << book << " index " << index;
                ASSERT_EQ(aac_huff_escapes(leaf), escapes) << "book " << book << " index " << index;
            }
        }
    }
}
