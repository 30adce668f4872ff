// The codec header: fetched from the service and kept in the video folder, refreshed from a finished
// movie's "avcC", and left alone when the input is wrong.
#include "engine/flv.h"
#include "engine/global.h"
#include "engine/printlog.h"
#include "engine/transformat.h"
#include "engine_recorder.h"
#include "flv_support.h"

#include "fixtures/GrowingMovie.h"
#include "service/MetaRoutes.h"
#include "service/StandInService.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using standin::Fault;
using standin::Request;
using standin::Response;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class CodecHeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "100", 1);
        g_videopath.set(dir.path());
        // The log goes to the recorder only.
        setlogfile("");
        setprintlogcb(enginetest::Recorder::callbacks().printlog);
        enableprintlog(true);
    }

    std::string metaFile() const { return dir / "globalmeta.dat"; }
    std::string codecFile() const { return dir / "codec.dat"; }
    size_t metaRequests() const { return service.server().requests(standin::kMetaPath).size(); }

    standin::StandInService service{{.lifetime = std::chrono::seconds(60)}};
    enginetest::TempDir dir;
};

TEST_F(CodecHeaderTest, FetchedHeaderIsLoadedAndKeptInTheVideoFolder)
{
    prepareheader("ios 5.1&apple #1");
    const std::string expected = transformat_hexdecode(standin::kMetaHeaderHex);
    EXPECT_EQ(transformat_getheader(), expected);
    EXPECT_EQ(readFile(metaFile()), expected);
    EXPECT_EQ(readFile(codecFile()), std::string(1, '\0'));
    EXPECT_FALSE(transformat_usesoftware());

    const auto requests = service.server().requests(standin::kMetaPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].param("ver"), "1");
    // A device name with blanks and query characters arrives whole.
    EXPECT_EQ(requests[0].param("dev"), "ios 5.1&apple #1");

    // Once a header is loaded nothing is asked again.
    prepareheader("ios 5.1&apple #1");
    EXPECT_EQ(metaRequests(), 1u);
}

TEST_F(CodecHeaderTest, StoredHeaderWinsWhileTheSoftwareFlagFollowsTheService)
{
    writeFile(metaFile(), "stored header");
    service.server().route(standin::kMetaPath, [](const Request&) {
        return Response::json(R"({"status":200,"meta":"0a0B","meta2":"1"})");
    });
    prepareheader("dev");
    EXPECT_EQ(transformat_getheader(), "stored header");
    EXPECT_EQ(readFile(metaFile()), "stored header");
    EXPECT_EQ(readFile(codecFile()), std::string(1, '\1'));
    EXPECT_TRUE(transformat_usesoftware());
    EXPECT_EQ(metaRequests(), 1u);
}

TEST_F(CodecHeaderTest, MetaTextIsDecodedAsHexadecimal)
{
    struct Case {
        const char* reply;
        std::string header;
    };
    const Case cases[] = {
        {R"({"status":200,"meta":"0a0B"})", std::string("\x0a\x0b")},
        {R"({"status":200,"meta":"0a0B7"})", std::string("\x0a\x0b")},  // odd length: last half byte dropped
        {R"({"status":"200","meta":"0a0B"})", std::string()},             // "status" must be a number
        {R"({"status":200,"meta":""})", std::string()},
        {R"({"status":200,"meta":2748})", std::string()},                 // "meta" must be a text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        transformat_setheader("");
        std::filesystem::remove(metaFile());
        const std::string reply = c.reply;
        service.server().route(standin::kMetaPath, [reply](const Request&) { return Response::json(reply); });
        prepareheader("dev");
        EXPECT_EQ(transformat_getheader(), c.header);
        EXPECT_EQ(std::filesystem::exists(metaFile()), !c.header.empty());
        if (!c.header.empty()) {
            EXPECT_EQ(readFile(metaFile()), c.header);
        }
    }
}

TEST_F(CodecHeaderTest, FailedAnswersLeaveBothFilesAndTheHeaderUnchanged)
{
    writeFile(codecFile(), std::string(1, '\1'));
    struct Case {
        const char* name;
        Fault fault;
    };
    const Case cases[] = {
        {"status 500", Fault::status(500, R"({"status":200,"meta":"0a0b","meta2":"0"})")},
        {"not JSON", Fault::notJson()},
        {"empty body", Fault::emptyBody()},
        {"closed without answer", Fault::closeWithoutAnswer()},
        {"service status 500", Fault::status(200, R"({"status":500,"meta":"0a0b","meta2":"0"})")},
    };
    size_t asked = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.server().addFault(standin::kMetaPath, c.fault);
        prepareheader("dev");
        EXPECT_EQ(metaRequests(), ++asked);
        EXPECT_TRUE(transformat_getheader().empty());
        EXPECT_FALSE(std::filesystem::exists(metaFile()));
        EXPECT_EQ(readFile(codecFile()), std::string(1, '\1'));
        EXPECT_TRUE(transformat_usesoftware());  // as the file says
    }
}

// ---- refreshed from a finished movie --------------------------------------------------------------------

TEST_F(CodecHeaderTest, FinishedMovieOfTheFixtureGivesTheServiceHeader)
{
    GrowingMovie movie(dir / "clip.MOV", {.seconds = 0.5});
    ASSERT_TRUE(movie.start()) << movie.error();
    while (movie.writeFrames(5)) {
    }
    ASSERT_TRUE(movie.finish()) << movie.error();

    transformat_setheader("older header");
    updatecheckheader(movie.path().c_str());
    // The stand-in answers with the header of the fixture's encoder settings.
    const std::string expected = transformat_hexdecode(standin::kMetaHeaderHex);
    EXPECT_EQ(transformat_getheader(), expected)
        << "the stand-in's header no longer matches the encoder; regenerate kMetaHeaderHex";
    EXPECT_EQ(readFile(metaFile()), expected);
    EXPECT_TRUE(enginetest::Recorder::shared().logged("need to update globalmeta 12,77"));

    // The same header again changes nothing.
    std::filesystem::remove(metaFile());
    updatecheckheader(movie.path().c_str());
    EXPECT_EQ(transformat_getheader(), expected);
    EXPECT_FALSE(std::filesystem::exists(metaFile()));
}

std::string be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

TEST_F(CodecHeaderTest, BrokenMoviesLeaveTheHeaderUnchanged)
{
    const std::string avcconfig = "\x01\x4d\x40\x1e\xff\xe1";
    const std::string ftyp = be32(16) + "ftypisom" + be32(0);
    auto moov = [](const std::string& content) { return be32(uint32_t(8 + content.size())) + "moov" + content; };
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"avcC larger than its moov", ftyp + moov(be32(0x7FFFFFF0) + "avcC" + avcconfig)},
        {"avcC smaller than its head", ftyp + moov(be32(4) + "avcC" + avcconfig)},
        {"moov cut short", ftyp + be32(4000) + "moov" + be32(14) + "avcC" + avcconfig.substr(0, 3)},
        {"no avcC", ftyp + moov(be32(14) + "avcX" + avcconfig)},
        {"no moov", ftyp + be32(8) + "free"},
        {"box size below 8", be32(4) + "ftyp" + moov(be32(14) + "avcC" + avcconfig)},
        {"growing mdat", ftyp + be32(0) + "mdat" + std::string(100, 'x') + moov(be32(14) + "avcC" + avcconfig)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "broken.MOV", c.bytes);
        transformat_setheader("kept");
        updatecheckheader((dir / "broken.MOV").c_str());
        EXPECT_EQ(transformat_getheader(), "kept");
        EXPECT_FALSE(std::filesystem::exists(metaFile()));
    }
    // A well-formed one is taken, also with a 64-bit box size before it.
    writeFile(dir / "good.MOV", be32(1) + "ftyp" + be32(0) + be32(24) + "isomiso2" + moov(be32(14) + "avcC" + avcconfig));
    updatecheckheader((dir / "good.MOV").c_str());
    EXPECT_EQ(transformat_getheader().size(), 14 + kFlvCodecHeaderExtra);

    transformat_setheader("kept");
    updatecheckheader((dir / "missing.MOV").c_str());
    EXPECT_EQ(transformat_getheader(), "kept");
    EXPECT_TRUE(enginetest::Recorder::shared().logged("mp4 file can not open."));
}

}  // namespace
