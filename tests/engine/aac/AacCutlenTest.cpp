// The frame walk on frames built bit by bit: every element type and channel stream tool, the lengths
// they add up to, and every malformed case with the reason it logs.

#include "AacFrameBuilder.h"

#include "engine/aac/aac_parser.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/mman.h>

using aactest::Bits;

namespace {

using aactest::capture_log;
using aactest::g_log;

enum : unsigned { SCE = 0, CPE = 1, CCE = 2, LFE = 3, DSE = 4, PCE = 5, FIL = 6, END = 7 };

class AacCutlenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log.clear();
        aac_set_log_callback(&capture_log);
    }
    void TearDown() override { aac_set_log_callback(nullptr); }
};

// Walks `bytes` as the only content of an exactly sized heap buffer, so any read past its end is
// caught by the address sanitizer.
uint32_t cutlen_exact(const std::vector<uint8_t>& bytes, size_t length)
{
    std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    exact.shrink_to_fit();
    return getaudio_cutlen(exact.empty() ? nullptr : exact.data(), exact.size());
}

uint32_t cutlen_exact(const std::vector<uint8_t>& bytes) { return cutlen_exact(bytes, bytes.size()); }

// ---- a small model of a channel stream, written the way the syntax lays it out ----

struct Section {
    unsigned book;
    unsigned bands;
};

struct Stream {
    bool shortWindows = false;
    unsigned maxSfb = 0;
    unsigned grouping = 0;                       // short windows: scale_factor_grouping
    std::vector<std::vector<Section>> sections;  // per window group
    std::function<void(Bits&)> tools;            // pulse, TNS and gain control bits; none when empty
};

std::vector<unsigned> group_lengths(const Stream& s)
{
    if (!s.shortWindows) {
        return {1};
    }
    std::vector<unsigned> lengths{1};
    for (int bit = 6; bit >= 0; --bit) {
        if (s.grouping & (1u << bit)) {
            ++lengths.back();
        } else {
            lengths.push_back(1);
        }
    }
    return lengths;
}

void write_ics_info(Bits& b, const Stream& s)
{
    b.put(0, 1);  // reserved
    if (s.shortWindows) {
        b.put(2, 2).put(1, 1).put(s.maxSfb, 4).put(s.grouping, 7);
    } else {
        b.put(1, 2).put(0, 1).put(s.maxSfb, 6).put(0, 1);  // long start sequence, no predictor
    }
}

void write_sections(Bits& b, const Stream& s)
{
    const unsigned lengthBits = s.shortWindows ? 3 : 5;
    const unsigned escape = (1u << lengthBits) - 1;
    for (const auto& group : s.sections) {
        for (const Section& section : group) {
            b.put(section.book, 4);
            unsigned left = section.bands;
            while (left >= escape) {
                b.put(escape, lengthBits);
                left -= escape;
            }
            b.put(left, lengthBits);
        }
    }
}

// Band types per group and band, from the sections.
std::vector<std::vector<unsigned>> band_types(const Stream& s)
{
    std::vector<std::vector<unsigned>> types;
    for (const auto& group : s.sections) {
        types.emplace_back();
        for (const Section& section : group) {
            types.back().insert(types.back().end(), section.bands, section.book);
        }
    }
    return types;
}

void write_scale_factors(Bits& b, const Stream& s, unsigned& rotor)
{
    bool firstNoise = true;
    for (const auto& group : band_types(s)) {
        for (unsigned type : group) {
            if (type == 0) {
                continue;
            }
            if (type == 13 && firstNoise) {
                firstNoise = false;
                b.put(0x1A5, 9);
                continue;
            }
            b.code(0, (rotor += 13) % 121);
        }
    }
}

void write_spectral(Bits& b, const Stream& s, unsigned& rotor)
{
    const auto& books = aactest::Books::get();
    const std::vector<unsigned>& offsets = s.shortWindows ? books.shortBands() : books.longBands();
    const std::vector<unsigned> lengths = group_lengths(s);
    const auto types = band_types(s);
    for (size_t g = 0; g < types.size(); ++g) {
        for (size_t band = 0; band < types[g].size(); ++band) {
            const unsigned book = types[g][band];
            if (book == 0 || book >= 13) {
                continue;
            }
            const unsigned coefficients = (offsets[band + 1] - offsets[band]) * lengths[g];
            const unsigned words = coefficients / (book <= 4 ? 4 : 2);
            const unsigned size = static_cast<unsigned>(books.book(book).size());
            for (unsigned w = 0; w < words; ++w) {
                rotor += 37;
                b.spectral(book, rotor % size, 16 + (rotor * 97) % 8176);
            }
        }
    }
}

void write_stream(Bits& b, const Stream& s, bool withIcsInfo, unsigned& rotor)
{
    b.put(0x80, 8);  // global_gain
    if (withIcsInfo) {
        write_ics_info(b, s);
    }
    write_sections(b, s);
    write_scale_factors(b, s, rotor);
    if (s.tools) {
        s.tools(b);
    } else {
        b.put(0, 3);  // no pulse, TNS or gain control
    }
    write_spectral(b, s, rotor);
}

void single(Bits& b, const Stream& s, unsigned id = SCE)
{
    unsigned rotor = 0;
    b.put(id, 3).put(5, 4);
    write_stream(b, s, true, rotor);
}

Stream long_stream(std::vector<Section> sections)
{
    Stream s;
    for (const Section& section : sections) {
        s.maxSfb += section.bands;
    }
    s.sections = {std::move(sections)};
    return s;
}

// Every spectral book over whole bands, with zero, noise and intensity bands between them.
Stream every_book_long()
{
    return long_stream({{1, 3}, {2, 2}, {0, 1}, {3, 2}, {4, 2}, {13, 2}, {5, 3}, {6, 3}, {15, 1}, {7, 3},
                        {8, 3}, {14, 1}, {9, 4}, {10, 4}, {11, 8}, {11, 7}});
}

// Eight short windows in four groups of 3, 1, 2 and 2 windows.
Stream grouped_short()
{
    Stream s;
    s.shortWindows = true;
    s.maxSfb = 12;
    s.grouping = 0b1100101;
    s.sections = {{{1, 5}, {11, 7}},
                  {{0, 12}},
                  {{5, 1}, {13, 2}, {9, 9}},
                  {{14, 1}, {8, 2}, {13, 1}, {11, 8}}};
    return s;
}

struct BuiltCase {
    const char* name;
    std::function<void(Bits&)> build;  // everything before the end element
};

const BuiltCase kValidFrames[] = {
    {"end element only", [](Bits&) {}},
    {"silent mono frame", [](Bits& b) { single(b, long_stream({})); }},
    {"low-frequency channel", [](Bits& b) { single(b, long_stream({{7, 20}}), LFE); }},
    {"every codebook, long window", [](Bits& b) { single(b, every_book_long()); }},
    {"all 49 bands, escape book", [](Bits& b) { single(b, long_stream({{11, 49}})); }},
    {"section length escape (31 + 0)", [](Bits& b) { single(b, long_stream({{3, 31}, {4, 18}})); }},
    {"eight short windows in four groups", [](Bits& b) { single(b, grouped_short()); }},
    {"short windows, section escape (7 + 7)",
     [](Bits& b) {
         Stream s;
         s.shortWindows = true;
         s.maxSfb = 14;
         s.grouping = 0;
         s.sections.assign(8, {{2, 7}, {6, 7}});
         single(b, s);
     }},
    {"pulse data",
     [](Bits& b) {
         Stream s = long_stream({{5, 20}});
         s.tools = [](Bits& t) {
             t.put(1, 1).put(3, 2).put(10, 6);  // four pulses from band 10
             for (int i = 0; i < 4; ++i) {
                 t.put(31, 5).put(15, 4);
             }
             t.put(0, 2);  // no TNS, no gain control
         };
         single(b, s);
     }},
    {"TNS on a long window, order 12",
     [](Bits& b) {
         Stream s = long_stream({{9, 10}});
         s.tools = [](Bits& t) {
             t.put(0, 1).put(1, 1);                 // no pulse; TNS
             t.put(3, 2).put(1, 1);                 // three filters, 4-bit coefficients
             t.put(40, 6).put(12, 5).put(0, 1).put(0, 1).put(0xFFF, 12 * 4);
             t.put(8, 6).put(0, 5);                 // order 0: nothing more
             t.put(1, 6).put(3, 5).put(1, 1).put(1, 1).put(0, 3 * 3);  // compressed: 3 bits each
             t.put(0, 1);                           // no gain control
         };
         single(b, s);
     }},
    {"TNS on eight short windows",
     [](Bits& b) {
         Stream s = grouped_short();
         s.tools = [](Bits& t) {
             t.put(0, 1).put(1, 1);
             for (int w = 0; w < 8; ++w) {
                 if (w % 3 == 0) {
                     t.put(0, 1);  // no filter
                     continue;
                 }
                 t.put(1, 1).put(w & 1, 1).put(6, 4).put(7, 3).put(0, 1).put(0, 1).put(0, 7 * (3 + (w & 1)));
             }
             t.put(0, 1);
         };
         single(b, s);
     }},
    {"pair, common window, M/S per band",
     [](Bits& b) {
         Stream s = every_book_long();
         unsigned rotor = 0;
         b.put(CPE, 3).put(1, 4).put(1, 1);
         write_ics_info(b, s);
         b.put(1, 2).put(0x5A5A5A5A5AULL, s.maxSfb);  // ms_used per band
         write_stream(b, s, false, rotor);
         write_stream(b, s, false, rotor);
     }},
    {"pair, common short windows, M/S all",
     [](Bits& b) {
         Stream s = grouped_short();
         unsigned rotor = 0;
         b.put(CPE, 3).put(1, 4).put(1, 1);
         write_ics_info(b, s);
         b.put(2, 2);
         write_stream(b, s, false, rotor);
         write_stream(b, s, false, rotor);
     }},
    {"pair, separate windows",
     [](Bits& b) {
         unsigned rotor = 0;
         b.put(CPE, 3).put(1, 4).put(0, 1);
         write_stream(b, grouped_short(), true, rotor);
         write_stream(b, every_book_long(), true, rotor);
     }},
    {"coupling channel with common and per-band gains",
     [](Bits& b) {
         Stream s = long_stream({{1, 2}, {0, 1}, {6, 2}});
         unsigned rotor = 0;
         b.put(CCE, 3).put(2, 4).put(0, 1).put(1, 3);  // dependent; two coupled elements
         b.put(1, 1).put(3, 4).put(1, 1).put(1, 1);     // a pair, both channels: two gain lists
         b.put(0, 1).put(4, 4);                         // a single channel
         b.put(1, 1).put(0, 1).put(2, 2);               // domain, sign, scale
         write_stream(b, s, true, rotor);
         b.put(1, 1).code(0, 60);                       // list 1: common gain
         b.put(0, 1).code(0, 59).code(0, 61).code(0, 0).code(0, 120);  // list 2: the 4 coded bands
     }},
    {"independently switched coupling channel",
     [](Bits& b) {
         unsigned rotor = 0;
         b.put(CCE, 3).put(0, 4).put(1, 1).put(0, 3);
         b.put(1, 1).put(0, 4).put(1, 1).put(1, 1);  // two gain lists
         b.put(0, 4);
         write_stream(b, long_stream({{2, 3}}), true, rotor);
         b.code(0, 3);  // common gain, no flag
     }},
    {"data stream, aligned, 255 + 3 bytes",
     [](Bits& b) {
         b.put(DSE, 3).put(1, 4).put(1, 1).put(255, 8).put(3, 8).align();
         for (int i = 0; i < 258; ++i) {
             b.put(0xE0, 8);
         }
     }},
    {"data stream, not aligned",
     [](Bits& b) { b.put(DSE, 3).put(0, 4).put(0, 1).put(2, 8).put(0xFFFF, 16); }},
    {"program configuration with comment",
     [](Bits& b) {
         b.put(PCE, 3).put(0, 4).put(1, 2).put(4, 4);
         b.put(2, 4).put(1, 4).put(0, 4).put(1, 2).put(1, 3).put(1, 4);  // element counts
         b.put(1, 1).put(3, 4).put(0, 1).put(1, 1).put(2, 2).put(1, 1);  // mixdowns
         b.put(0b10001, 5).put(0b00010, 5).put(0b10011, 5);              // front, side
         b.put(0, 4).put(1, 4).put(0b10101, 5);                          // lfe, data, cc
         b.align().put(5, 8);
         for (char c : std::string("hello")) {
             b.put(static_cast<unsigned char>(c), 8);
         }
     }},
    {"fill element with an escaped count",
     [](Bits& b) {
         b.put(FIL, 3).put(15, 4).put(20, 8);  // 15 + 20 - 1 = 34 bytes
         b.put(0, 4).put(0, 4);
         for (int i = 0; i < 33; ++i) {
             b.put(0xA5, 8);
         }
     }},
    {"fill element with dynamic range control and fill after it",
     [](Bits& b) {
         // DRC: 1 + pce tag 1 + excluded 2 + bands (1 + 3) + reference 1 + ranges 3 = 12 bytes
         b.put(FIL, 3).put(14, 4);
         b.put(11, 4).put(1, 1).put(1, 1).put(1, 1).put(1, 1);
         b.put(0, 8);                            // pce tag, reserved
         b.put(0x7F, 7).put(1, 1).put(0, 7).put(0, 1);  // two exclusion groups
         b.put(2, 4).put(0, 4).put(0x102030, 24);       // three bands with their tops
         b.put(0x55, 8);                                // program reference level
         b.put(0x818283, 24);                           // three gains
         b.put(1, 4).put(0, 4).put(0xA5, 8);            // fill data: 2 bytes
     }},
    {"fill element with ancillary data element",
     [](Bits& b) {
         b.put(FIL, 3).put(15, 4).put(255, 8);  // 269 bytes
         b.put(2, 4).put(0, 4).put(255, 8).put(8, 8);  // 263 data bytes: 266 bytes
         for (int i = 0; i < 263; ++i) {
             b.put(i & 0xFF, 8);
         }
         b.put(0, 4).put(0, 4).put(0, 16);  // the 3 bytes left: another fill payload
     }},
    {"fill element with empty count", [](Bits& b) { b.put(FIL, 3).put(0, 4); }},
    {"channel then fill then data",
     [](Bits& b) {
         single(b, every_book_long());
         b.put(FIL, 3).put(3, 4).put(13, 4).put(0xFFFFF, 20);  // a spectral band replication payload
         b.put(DSE, 3).put(0, 4).put(0, 1).put(0, 8);
     }},
};

}  // namespace

TEST_F(AacCutlenTest, BuiltFramesFollowedByOtherBytesReturnTheirLength)
{
    for (const BuiltCase& c : kValidFrames) {
        SCOPED_TRACE(c.name);
        Bits b;
        c.build(b);
        b.put(END, 3);
        const std::vector<uint8_t> frame = b.bytes();
        for (uint8_t filler : {0x00, 0xFF, 0x5A}) {
            std::vector<uint8_t> buffer = frame;
            buffer.insert(buffer.end(), 64, filler);
            EXPECT_EQ(cutlen_exact(buffer), frame.size()) << "followed by " << int(filler);
        }
        EXPECT_EQ(cutlen_exact(frame), frame.size()) << "alone";
        EXPECT_TRUE(g_log.empty()) << g_log.front();
    }
}

TEST_F(AacCutlenTest, BuiltFramesCutAnywhereReturnInvalid)
{
    for (const BuiltCase& c : kValidFrames) {
        SCOPED_TRACE(c.name);
        Bits b;
        c.build(b);
        b.put(END, 3);
        const std::vector<uint8_t> frame = b.bytes();
        for (size_t length = 0; length < frame.size(); ++length) {
            ASSERT_EQ(cutlen_exact(frame, length), AAC_CUTLEN_INVALID) << "cut at " << length;
        }
        ASSERT_FALSE(g_log.empty());
        EXPECT_EQ(g_log.back(), "decode error!!!");
    }
}

TEST_F(AacCutlenTest, EndElementFirstIsOneByte)
{
    EXPECT_EQ(cutlen_exact({0xE0}), 1u);
    EXPECT_EQ(cutlen_exact({0xFF, 0x00, 0x12}), 1u);
    EXPECT_EQ(cutlen_exact({0xE0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), 1u);
}

TEST_F(AacCutlenTest, EmptyBufferIsInvalid)
{
    EXPECT_EQ(getaudio_cutlen(nullptr, 0), AAC_CUTLEN_INVALID);
    EXPECT_EQ(getaudio_cutlen(nullptr, 100), AAC_CUTLEN_INVALID) << "no bytes, whatever the length";
    EXPECT_EQ(g_log, (std::vector<std::string>{"warning:get_bits_left < 3", "decode error!!!",
                                               "warning:get_bits_left < 3", "decode error!!!"}));
}

TEST_F(AacCutlenTest, BufferOfAQuarterGigabyteOrMoreStillGivesTheFrame)
{
    // Pages are mapped lazily: only the first one is ever touched.
    const size_t length = size_t(1) << 28;
    void* map = ::mmap(nullptr, length + 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                       -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    Bits b;
    single(b, every_book_long());
    b.put(END, 3);
    const std::vector<uint8_t> frame = b.bytes();
    std::copy(frame.begin(), frame.end(), static_cast<uint8_t*>(map));
    EXPECT_EQ(getaudio_cutlen(static_cast<const unsigned char*>(map), length), frame.size());
    EXPECT_EQ(getaudio_cutlen(static_cast<const unsigned char*>(map), length + 4096), frame.size());
    ::munmap(map, length + 4096);
}

namespace {

struct BadCase {
    const char* name;
    std::function<void(Bits&)> build;  // a frame (the end element is added) that must fail
    const char* reason;
};

std::function<void(Bits&)> with_tools(Stream s, std::function<void(Bits&)> tools)
{
    s.tools = std::move(tools);
    return [s](Bits& b) { single(b, s); };
}

const BadCase kBadFrames[] = {
    {"reserved bit set", [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(1, 1).put(0, 31); }, "error bit"},
    {"predictor data in a long window",
     [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(0, 1).put(0, 3).put(10, 6).put(1, 1).put(0, 40); },
     "predictor data not allowed"},
    {"gain control (SSR)", with_tools(long_stream({{1, 2}}), [](Bits& t) { t.put(0, 2).put(1, 1).put(0, 16); }),
     "SSR miss failtrue"},
    {"reserved M/S mask",
     [](Bits& b) {
         Stream s = long_stream({{1, 1}});
         b.put(CPE, 3).put(0, 4).put(1, 1);
         write_ics_info(b, s);
         b.put(3, 2).put(0, 40);
     },
     "ms_present = 3 is reserved."},
    {"band type 12", [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(0, 4).put(4, 6).put(0, 1).put(12, 4).put(4, 5); },
     "invalid band type\n"},
    {"50 long bands", [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(0, 4).put(50, 6).put(0, 1).put(0, 40); },
     "Number of bands (50) exceeds limit (49).\n"},
    {"15 short bands",
     [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(0, 1).put(2, 2).put(0, 1).put(15, 4).put(0, 7).put(0, 40); },
     "Number of bands (15) exceeds limit (14).\n"},
    {"section past max_sfb",
     [](Bits& b) { b.put(SCE, 3).put(0, 4).put(0, 8).put(0, 4).put(2, 6).put(0, 1).put(1, 4).put(3, 5).put(0, 40); },
     "Number of bands (3) exceeds limit (2).\n"},
    {"pulse in short windows",
     [](Bits& b) {
         Stream s = grouped_short();
         s.tools = [](Bits& t) { t.put(1, 1).put(0, 40); };
         single(b, s);
     },
     "Pulse tool not allowed in eight short sequence.\n"},
    {"pulse start band past the bands",
     with_tools(long_stream({{1, 2}}), [](Bits& t) { t.put(1, 1).put(0, 2).put(49, 6).put(0, 9).put(0, 2); }),
     "offest out of range"},
    {"pulse offsets past the window",
     with_tools(long_stream({{1, 2}}),
                [](Bits& t) {
                    t.put(1, 1).put(3, 2).put(48, 6);  // band 48 starts at 928
                    for (int i = 0; i < 4; ++i) {
                        t.put(31, 5).put(1, 4);  // 928 + 4 * 31 = 1052
                    }
                    t.put(0, 2);
                }),
     "offest out of range"},
    {"TNS order 13 on a long window",
     with_tools(long_stream({{1, 2}}),
                [](Bits& t) { t.put(0, 1).put(1, 1).put(1, 2).put(0, 1).put(20, 6).put(13, 5).put(0, 60); }),
     "tns_order error"},
    {"escape prefix of nine ones",
     [](Bits& b) {
         b.put(SCE, 3).put(0, 4).put(0x80, 8).put(0, 4).put(1, 6).put(0, 1);
         b.put(11, 4).put(1, 5).code(0, 60).put(0, 3);
         b.code(11, 16 * 17 + 0);  // (16, 0): one escape, one sign bit
         b.put(0, 1).put(0x1FF, 9).put(0, 1).put(0, 13).put(0, 64);
     },
     "esc overflow"},
    {"data stream longer than the buffer", [](Bits& b) { b.put(DSE, 3).put(0, 4).put(0, 1).put(200, 8).put(0, 16); },
     "overread_err"},
    {"comment longer than the buffer",
     [](Bits& b) {
         b.put(PCE, 3).put(0, 4).put(1, 2).put(4, 4).put(0, 4 + 4 + 4 + 2 + 3 + 4).put(0, 3);
         b.align().put(100, 8).put(0, 16);
     },
     "comment_len error."},
    {"no end element", [](Bits& b) { single(b, long_stream({{2, 2}})); b.align(); }, "warning:get_bits_left < 3"},
};

}  // namespace

TEST_F(AacCutlenTest, MalformedFramesFailWithTheirReason)
{
    for (const BadCase& c : kBadFrames) {
        SCOPED_TRACE(c.name);
        g_log.clear();
        Bits b;
        c.build(b);
        if (std::string(c.name) != "no end element") {
            b.put(END, 3);
        }
        std::vector<uint8_t> buffer = b.bytes();
        EXPECT_EQ(cutlen_exact(buffer), AAC_CUTLEN_INVALID);
        EXPECT_EQ(g_log, (std::vector<std::string>{c.reason, "decode error!!!"}));
    }
}

TEST_F(AacCutlenTest, LimitsThatStillPass)
{
    // The largest escape (8191, a prefix of eight ones) and a long-window TNS filter of order 12 are valid.
    Bits b;
    b.put(SCE, 3).put(0, 4).put(0x80, 8).put(0, 4).put(1, 6).put(0, 1);
    b.put(11, 4).put(1, 5).code(0, 60).put(0, 3);
    b.spectral(11, 16 * 17 + 16, 8191).spectral(11, 0);
    b.put(END, 3);
    EXPECT_EQ(cutlen_exact(b.bytes()), b.bytes().size());
    EXPECT_TRUE(g_log.empty());
}
