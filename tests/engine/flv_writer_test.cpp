// The FLV pieces of the live remux (header and metadata, codec header, tag heads, timestamps) and the
// write buffer cutting the file into upload blocks.
#include "engine/flv.h"
#include "engine/jobthread.h"
#include "engine/transformat.h"
#include "flv_support.h"

#include "service/MetaRoutes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using flvtest::be32;
using flvtest::Range;

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const char* text)
{
    a.insert(a.end(), text, text + std::strlen(text));
    return a;
}
std::vector<uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

// The header and metadata of a live FLV, spelled out byte by byte.
std::vector<uint8_t> goldenHeader()
{
    return bytes({'F', 'L', 'V', 0x01, 0x05, 0x00, 0x00, 0x00, 0x09}) +  // version 1, audio and video
           bytes({0, 0, 0, 0}) +                                          // previous tag size 0
           bytes({0x12, 0x00, 0x00, 0x94, 0, 0, 0, 0, 0, 0, 0}) +         // script tag, 148 bytes, ts 0
           bytes({0x02, 0x00, 0x0A}) + "onMetaData" +                     //
           bytes({0x08, 0x00, 0x00, 0x00, 0x0F}) +                        // ECMA array "of 15"
           bytes({0x00, 0x05}) + "width" + bytes({0x00, 0x40, 0x74, 0, 0, 0, 0, 0, 0}) +    // 320
           bytes({0x00, 0x06}) + "height" + bytes({0x00, 0x40, 0x7E, 0, 0, 0, 0, 0, 0}) +  // 480
           bytes({0x00, 0x08}) + "duration" + bytes({0x00, 0, 0, 0, 0, 0, 0, 0, 0}) +      // 0
           bytes({0x00, 0x07}) + "creator" + bytes({0x02, 0x00, 0x05}) + "ombri" +          //
           bytes({0x00, 0x02}) + "id" + bytes({0x02, 0x00, 0x20}) + "0123456789abcdef0123456789abcdef" +
           bytes({0x00, 0x08}) + "accelero" + bytes({0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}) +  // 1
           bytes({0x00, 0x00, 0x09}) +                                                      // end
           bytes({0x00, 0x00, 0x00, 0x9F});                                                 // 159
}

std::vector<uint8_t> standInCodecHeader()
{
    return flvtest::bytesOf(transformat_hexdecode(standin::kMetaHeaderHex));
}

TEST(FlvWriter, HeaderAndMetadataAreTheGoldenBytes)
{
    const std::string header = flv_makeheader(320, 480, "0123456789abcdef0123456789abcdef", 1);
    EXPECT_EQ(flvtest::bytesOf(header), goldenHeader());
    ASSERT_EQ(header.size(), 176u);
    // The live job patches the duration's double at this offset when the recording ends.
    EXPECT_EQ(header.compare(77, 8, "duration"), 0);
}

TEST(FlvWriter, CodecHeaderWrapsTheAvcConfigurationAndTheFixedAacTag)
{
    // An avcC box: size 14, type, 6 bytes of configuration.
    const std::vector<uint8_t> box = bytes({0, 0, 0, 14, 'a', 'v', 'c', 'C', 1, 0x4D, 0x40, 0x1E, 0xFF, 0xE1});
    const std::string header = flv_makecodecheader(box.data(), box.size());
    const std::vector<uint8_t> expected =
        bytes({0x09, 0x00, 0x00, 0x0B, 0, 0, 0, 0, 0, 0, 0}) +                // AVC tag of 11 data bytes
        bytes({0x17, 0x00, 0x00, 0x00, 0x00, 1, 0x4D, 0x40, 0x1E, 0xFF, 0xE1}) +  // sequence header
        bytes({0x00, 0x00, 0x00, 0x16}) +                                      // previous tag size 22
        bytes({0x08, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0xAF, 0x00, 0x12, 0x08, 0x00, 0x00, 0x00, 0x0F});
    EXPECT_EQ(flvtest::bytesOf(header), expected);
    EXPECT_EQ(header.size(), box.size() + kFlvCodecHeaderExtra);
}

TEST(FlvWriter, VideoTagHeadMarksKeyFramesByTheNalType)
{
    struct Case {
        uint8_t nal;
        uint8_t frametype;
    };
    for (const Case& c : {Case{0x65, 0x17}, Case{0x41, 0x27}, Case{0x25, 0x17}, Case{0x45, 0x17}, Case{0x21, 0x27},
                          Case{0x61, 0x27}, Case{0xB8, 0x27}}) {
        SCOPED_TRACE(c.nal);
        unsigned char head[kFlvVideoHeadSize];
        flv_videotaghead(head, 1000, 0x01234567, c.nal);
        EXPECT_EQ(std::vector<uint8_t>(head, head + sizeof head),
                  bytes({0x09, 0x00, 0x03, 0xF1, 0x23, 0x45, 0x67, 0x01, 0, 0, 0, c.frametype, 0x01, 0, 0, 0}));
    }
}

TEST(FlvWriter, AudioTagHeadCarriesTheTimestampAndRawFrameType)
{
    unsigned char head[kFlvAudioHeadSize];
    flv_audiotaghead(head, 300, 93);
    EXPECT_EQ(std::vector<uint8_t>(head, head + sizeof head),
              bytes({0x08, 0x00, 0x01, 0x2E, 0x00, 0x00, 0x5D, 0x00, 0, 0, 0, 0xAF, 0x01}));
}

TEST(FlvWriter, AudioTimestampsApproximateFramesOf1024SamplesAt44100Hz)
{
    std::vector<uint32_t> timestamps{kFlvFirstAudioTimestamp};
    while (timestamps.size() < 6) {
        timestamps.push_back(flv_nextaudiotimestamp(timestamps.back()));
    }
    EXPECT_EQ(timestamps, (std::vector<uint32_t>{0, 23, 46, 69, 93, 116}));
    // 100 frames are 2321.995 ms.
    uint32_t t = 0;
    for (int i = 0; i < 100; ++i) {
        t = flv_nextaudiotimestamp(t);
    }
    EXPECT_EQ(t, 2322u);
}

TEST(FlvWriter, FrameDurationFollowsAudioWithinItsBounds)
{
    struct Case {
        int duration;
        uint32_t video;
        uint32_t audio;
        int expected;
    };
    for (const Case& c : {Case{40, 100, 90, 38}, Case{40, 90, 100, 42}, Case{40, 100, 100, 40}, Case{30, 100, 90, 30},
                          Case{32, 100, 90, 30}, Case{60, 90, 100, 60}, Case{58, 90, 100, 60}}) {
        EXPECT_EQ(flv_adjustframeduration(c.duration, c.video, c.audio), c.expected)
            << c.duration << " " << c.video << " " << c.audio;
    }
}

TEST(CodecHeaderInput, HexTextDecodesTwoCharactersPerByte)
{
    struct Case {
        const char* hex;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"0a0B", {0x0A, 0x0B}},
        {"FFff00", {0xFF, 0xFF, 0x00}},
        {"0a0", {0x0A}},  // a trailing half byte is ignored, nothing is read beyond the text
        {"7", {}},
        {"", {}},
        {"zz1g", {0x00, 0x10}},  // other characters count as 0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(flvtest::bytesOf(transformat_hexdecode(c.hex)), c.expected) << c.hex;
    }
}

TEST(CodecHeaderInput, AvcBoxMustLieWholeInsideTheBytesRead)
{
    const std::vector<uint8_t> config = bytes({1, 0x4D, 0x40, 0x1E, 0xFF, 0xE1});
    auto moovWith = [&](uint32_t boxsize) {
        std::vector<uint8_t> moov = bytes({0, 0, 0, 0}) + "moov" + bytes({0, 0, 0, 8}) + "mvhd";
        moov = moov + bytes({int(boxsize >> 24), int((boxsize >> 16) & 255), int((boxsize >> 8) & 255),
                             int(boxsize & 255)}) +
               "avcC" + config;
        return moov;
    };
    struct Case {
        uint32_t boxsize;
        bool accepted;
    };
    for (const Case& c : {Case{14, true}, Case{15, false}, Case{0x7FFFFFF0, false}, Case{0xFFFFFFFF, false},
                          Case{7, false}, Case{8, true}}) {
        SCOPED_TRACE(c.boxsize);
        const std::vector<uint8_t> moov = moovWith(c.boxsize);
        const std::string header = transformat_headerfrommoov(moov.data(), moov.size());
        EXPECT_EQ(!header.empty(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(header.size(), c.boxsize + kFlvCodecHeaderExtra);
        }
    }
    // "avcC" at the very start has no size before it.
    const std::vector<uint8_t> bare = bytes({}) + "avcC" + config;
    EXPECT_TRUE(transformat_headerfrommoov(bare.data(), bare.size()).empty());
}

// ---- the write buffer and the blocks ----------------------------------------------------------------

using BufferedWriteTest = flvtest::LiveOutputFixture;

TEST_F(BufferedWriteTest, FirstBlockHoldsExactlyHeaderMetadataAndCodecHeader)
{
    transformat_setheader(transformat_hexdecode(standin::kMetaHeaderHex));
    global_orientation_sensor(nullptr, 0, -90);  // orientation 1, the golden header's "accelero"
    ASSERT_EQ(global_getorientation(), 1);
    make_flv_header(320, 480);
    const uint32_t first = uint32_t(goldenHeader().size() + standInCodecHeader().size());
    EXPECT_EQ(g_liveoutput.offset, first);
    // Pieces after it: small ones below offset 1024 each close the block before them, then blocks fill
    // up to 64 KiB.
    std::vector<uint8_t> piece(70000);
    for (size_t i = 0; i < piece.size(); ++i) {
        piece[i] = uint8_t(i * 7);
    }
    bufferedwrite(piece.data(), 500, true);
    bufferedwrite(piece.data(), 1000, true);
    bufferedwrite(piece.data(), 70000, true);
    bufferedwrite(piece.data(), 10, false);  // stays in the write buffer
    transformat_finishblock();

    const uint32_t k = kRowId;
    EXPECT_EQ(flvtest::recordedRanges(), (std::vector<Range>{{k, 0, first},
                                                             {k, first, 500},
                                                             {k, first + 500, 1000},
                                                             {k, first + 1500, 65536},
                                                             {k, first + 1500 + 65536, 70000 - 65536}}));
    const std::vector<uint8_t> file = flvBytes();
    ASSERT_EQ(file.size(), first + 500 + 1000 + 70000);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + first), goldenHeader() + standInCodecHeader());
}

}  // namespace
