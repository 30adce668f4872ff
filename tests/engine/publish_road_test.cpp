// The road of one recorded video through the facade, as the interface drives it: the movie is entered
// into the job database, published (title, visibility, start, place, friends, microblog share),
// uploaded to the stand-in service with its commits, finished, and its local files deleted.
#include "upload_fixture.h"

#include "engine/jobthread.h"

#include "fixtures/GrowingMovie.h"
#include "service/CommitRoutes.h"
#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"

#include <unistd.h>

#include <filesystem>

namespace {
namespace publish_road_test_cpp {

using namespace std::chrono_literals;
using standin::Request;
using standin::Response;
using uploadtest::Record;
using uploadtest::UploadFixture;

class PublishRoad : public UploadFixture {
protected:
    void SetUp() override
    {
        UploadFixture::SetUp();
        std::filesystem::create_directories(dir / "user");
        std::filesystem::create_directories(dir / "media");
        // As on the phone: the user's folder holds the jobs' files and thumbnails; recordings lie in
        // the media folder beside it.
        g_videopath.set(dir / "user");
        g_imagepath.set(dir / "user");
        global_startasynthread();
        movie = dir / "media/2012-05-01-15-30-00.MOV";
        GrowingMovie recording(movie, {.seconds = 2});
        ASSERT_TRUE(recording.start()) << recording.error();
        while (recording.writeFrames(30)) {
        }
        ASSERT_TRUE(recording.finish()) << recording.error();
        const std::vector<uint8_t> file = readWholeFile(movie);
        movieBytes.assign(file.begin(), file.end());
        ASSERT_GT(movieBytes.size(), 65536u);
    }

    std::string commit(const std::string& path, const std::string& query)
    {
        return "post://" + service.hostPort() + path + "?" + query;
    }

    // What the service saw, one word per call, consecutive blocks as one.
    std::vector<std::string> road()
    {
        std::vector<std::string> out;
        for (const Request& r : service.server().requests()) {
            std::string word;
            if (r.path == standin::kTokenPath) {
                word = "token";
            } else if (r.path == standin::kModifyChannelPath) {
                word = r.formParams().empty() ? "?" : standin::findParam(r.formParams(), "title") ? "title" : "location";
            } else if (r.path == standin::kShareWithPath) {
                word = "visibility";
            } else if (r.path == standin::kUploadPath) {
                word = "blocks";
            } else if (r.path == standin::kUploadEndPath) {
                word = "end";
            } else if (r.path == standin::kWithPath) {
                word = "friends";
            } else if (r.path == standin::kShareWeiboPath) {
                word = "share";
            } else {
                continue;  // the codec header and anything else
            }
            if (out.empty() || out.back() != word || word != "blocks") {
                out.push_back(word);
            }
        }
        return out;
    }

    static std::string param(const Request& r, const char* name)
    {
        return standin::findParam(r.formParams(), name).value_or("<none>");
    }

    std::string movie;
    std::string movieBytes;
};

TEST_F(PublishRoad, MovieIsPublishedUploadedWithItsCommitsInOrderAndDeletedLocally)
{
    // A service slow to hand out the token: it answers once the place has been queued, so that the
    // calls' order is the one the interface made them in.
    service.server().route(standin::kTokenPath, [this](const Request&) {
        uploadtest::Journal::shared().waitUntil([](const Record& r) { return r.has(7, 5, "", ""); }, 20s);
        return Response::json(R"({"status":200,"scid":"sc1","server":")" + service.hostPort() + R"(","createTime":1})");
    });

    char* text = UtilityAdapter_ImportFile(movie.c_str());
    ASSERT_NE(text, nullptr);
    const std::string guid = text;
    UtilityAdapter_FreeString(text);
    text = UtilityAdapter_JobOperation(guid.c_str(), 8, "localimg");
    ASSERT_NE(text, nullptr);
    const std::string thumb = text;
    UtilityAdapter_FreeString(text);
    std::ofstream(thumb) << "still";

    const std::string title = "Sunset | walk || 100% & more = fun";
    const std::string place = "People's Square|上海";
    UtilityAdapter_StartJob(2, 2);
    UtilityAdapter_JobOperation(guid.c_str(), 9, title.c_str());
    UtilityAdapter_JobOperation(guid.c_str(), 10, "all");
    UtilityAdapter_JobOperation(guid.c_str(), 1, "");
    UtilityAdapter_JobOperation(
        guid.c_str(), 5,
        commit(standin::kModifyChannelPath,
               "location=31.230000,121.470000&locationText=" + crtfun::urlencode(place) + "&token=utok")
            .c_str());
    UtilityAdapter_JobOperation(guid.c_str(), 7,
                                commit(standin::kWithPath, "suids=" + crtfun::urlencode("12,34") + "&token=utok").c_str());
    UtilityAdapter_JobOperation(
        guid.c_str(), 7,
        commit(standin::kShareWeiboPath,
               "msg=" + crtfun::urlencode(title) + "&othertype=" + crtfun::urlencode("2,3") + "&token=utok")
            .c_str());
    ASSERT_TRUE(waitFor([&guid](const Record& r) { return r.has(5, 2, guid, "3"); }));

    EXPECT_EQ(road(), (std::vector<std::string>{"token", "title", "visibility", "location", "blocks", "end", "friends",
                                                "share"}));
    for (const char* path : {standin::kModifyChannelPath, standin::kShareWithPath, standin::kWithPath,
                             standin::kShareWeiboPath}) {
        for (const Request& r : service.server().requests(path)) {
            EXPECT_EQ(r.method, "POST") << path;
            EXPECT_EQ(param(r, "scid"), "sc1") << path;
            EXPECT_EQ(param(r, "vend"), "lumo") << path;
            EXPECT_EQ(param(r, "token"), "utok") << path;
            EXPECT_EQ(r.status, 200) << path;
        }
    }
    const std::vector<Request> channel = service.server().requests(standin::kModifyChannelPath);
    ASSERT_EQ(channel.size(), 2u);
    EXPECT_EQ(param(channel[0], "title"), title);
    EXPECT_EQ(param(channel[1], "location"), "31.230000,121.470000");
    EXPECT_EQ(param(channel[1], "locationText"), place);
    EXPECT_EQ(param(service.server().requests(standin::kShareWithPath).at(0), "suids"), "all");
    EXPECT_EQ(param(service.server().requests(standin::kWithPath).at(0), "suids"), "12,34");
    const Request share = service.server().requests(standin::kShareWeiboPath).at(0);
    EXPECT_EQ(param(share, "msg"), title);
    EXPECT_EQ(param(share, "othertype"), "2,3");

    // The movie went up unchanged, and the end call found the file complete.
    EXPECT_EQ(service.uploads().contents("sc1", "MOV"), movieBytes);
    for (const Request& block : service.server().requests(standin::kUploadPath)) {
        EXPECT_EQ(block.param("m"), "up");
    }
    const std::vector<Request> end = service.server().requests(standin::kUploadEndPath);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].target, "/upload_tc_file_end?t=sc1.MOV&scid=sc1&vend=lumo");
    EXPECT_EQ(end[0].status, 200);

    const Record r = record();
    EXPECT_TRUE(r.has(5, 6, guid, "sc1"));
    EXPECT_TRUE(r.has(2, 5, "sc1", ""));
    EXPECT_TRUE(r.has(5, 1, guid, "100"));
    EXPECT_EQ(column(guid, "status"), "3");
    EXPECT_EQ(column(guid, "title"), title);
    EXPECT_EQ(column(guid, "publictype"), "all");
    EXPECT_EQ(column(guid, "adddata"), "||");

    // As the interface does once the upload has finished: the local files go, as a global commit.
    const std::string deletefile = "action://deletefile?guid=" + guid;
    UtilityAdapter_JobOperation(guid.c_str(), 7, deletefile.c_str());
    ASSERT_TRUE(waitFor([](const Record& r) { return r.has(7, 4, "", ""); }));
    EXPECT_EQ(integer("select count(*) from localmedia"), 0);
    EXPECT_EQ(integer("select count(*) from uploadprocess"), 0);
    EXPECT_NE(::access(thumb.c_str(), F_OK), 0);
    EXPECT_EQ(::access(movie.c_str(), F_OK), 0);  // the user's own recording outside the user folder stays
    const Record after = record();
    EXPECT_GE(after.line("start global commit action://deletefile,guid=" + guid + "&scid=sc1&vend=lumo"), 0);
    EXPECT_TRUE(after.has(5, 0, guid, "提交中"));
}

}  // namespace publish_road_test_cpp
}  // namespace
