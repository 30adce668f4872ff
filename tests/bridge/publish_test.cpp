// One recorded video published through the bridge against the stand-in service: the calls of the
// publish screen, the upload, what the interface is told on the way, and the local job's deletion.
#include "bridge_support.h"

#include "fixtures/GrowingMovie.h"
#include "platform/media/AudioServices.h"
#include "service/CommitRoutes.h"
#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"
#include "widgets/SoundEffect.h"
#include "widgets/StatusBarOverlay.h"

#include <thread>

namespace {

using namespace std::chrono_literals;
using bridgetest::BridgeTest;
using standin::Request;

using bridgetest::ShownMessages;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string param(const Request& r, const char* name)
{
    return standin::findParam(r.formParams(), name).value_or("<none>");
}

TEST_F(BridgeTest, PublishedVideoUploadsTellsTheInterfaceAndLeavesNoLocalJob)
{
    logIn();
    PZFFmpeg::globleInit();
    ASSERT_TRUE(g_ffmpeg && g_ffmpeg->videoSent());
    const SystemSoundID sound = g_ffmpeg->videoSent()->soundID();
    auto messages = std::make_shared<ShownMessages>();
    StatusBarOverlay::sharedOverlay()->setDelegate(messages);
    bridgetest::NotificationLog notifications({kUpdateUINotification, kDeleteMediaNotification});

    // The recording screen's movie, in the documents' media folder.
    std::filesystem::create_directories(FoundationRoots::documentsDirectory() + "/media");
    const std::string movie = FoundationRoots::documentsDirectory() + "/media/2012-05-01-15-30-00.MOV";
    {
        GrowingMovie recording(movie, {.seconds = 1});
        ASSERT_TRUE(recording.start()) << recording.error();
        while (recording.writeFrames(30)) {
        }
        ASSERT_TRUE(recording.finish()) << recording.error();
    }
    const std::string movieBytes = readFile(movie);

    // The review screen enters it; the own-videos list shows it; the publish screen publishes it.
    const Value guid = PZFFmpeg::getMovieGuid(movie);
    ASSERT_TRUE(guid.isString());
    const std::string g = guid.string();
    // The import asked the bridge for the still and the duration.
    EXPECT_TRUE(g_ffmpeg->importEnd());
    const Value still = PZFFmpeg::fetchMovieInfo_WithField(g, "localimg");
    ASSERT_TRUE(still.isString());
    EXPECT_EQ(readFile(still.string()).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(PZFFmpeg::fetchMovieInfo_WithField(g, "length").intValue(), 1);
    PZFFmpeg::findAllFlvs();
    ASSERT_EQ(g_ffmpeg->localVideos().count(), 1u);
    const std::string title = "Sunset | walk || 100% & more = fun";
    const std::string place = "People's Square|上海";
    PZFFmpeg::modify_withTitleOnline(g, title);
    PZFFmpeg::startUpload_withLimits(g, "all");
    PZFFmpeg::addLocation_longi_toGuid_locationText(31.23, 121.47, g, place);
    PZFFmpeg::withSomebody_withSuid(g, "12,34");
    PZFFmpeg::shareWeibo_withMessage_(g, title, "2,3");

    // Finished, both messages shown, every call made, and the local job gone after its deletion.
    auto& server = service.server();
    ASSERT_TRUE(pumpMainUntil(
        [&] {
            return messages->shown.size() >= 2 && !server.requests(standin::kWithPath).empty() &&
                   !server.requests(standin::kShareWeiboPath).empty() &&
                   PZFFmpeg::fetchMovieInfo_WithField(g, "guid").isNil();
        },
        60s))
        << "shown " << messages->shown.size();

    EXPECT_EQ(messages->shown, (std::vector<std::string>{"视频即将上传", "视频上传成功！"}));
    EXPECT_TRUE(messages->onMain);
    const std::vector<std::string> posted = notifications.posted();
    const auto deleted = std::find(posted.begin(), posted.end(), kDeleteMediaNotification);
    ASSERT_NE(deleted, posted.end());
    EXPECT_EQ(std::count(posted.begin(), posted.end(), kDeleteMediaNotification), 1);
    ASSERT_NE(deleted, posted.begin());
    EXPECT_EQ(*(deleted - 1), kUpdateUINotification);
    EXPECT_EQ(AudioServicesPlayCount(sound), 1u);

    // The entry the list showed followed the upload.
    const Value scid = g_ffmpeg->livingScid();
    ASSERT_TRUE(scid.isString());
    const Value entry = g_ffmpeg->localVideos()[0];
    EXPECT_EQ(entry["guid"].stringValue(), g);
    EXPECT_EQ(entry["scid"].stringValue(), scid.string());
    EXPECT_EQ(entry["status"].intValue(), 3);
    EXPECT_EQ(entry["upprocess"].intValue(), 100);

    // The service has the movie and every call, with the values as typed.
    EXPECT_EQ(service.uploads().contents(scid.string(), "MOV"), movieBytes);
    EXPECT_EQ(service.uploads().endCalls(scid.string(), "MOV"), 1u);
    std::vector<std::string> channel;
    for (const Request& r : server.requests(standin::kModifyChannelPath)) {
        channel.push_back(param(r, "title") + " / " + param(r, "location") + " / " + param(r, "locationText"));
        EXPECT_EQ(param(r, "token"), "tok1");
        EXPECT_EQ(param(r, "scid"), scid.string());
    }
    EXPECT_EQ(channel, (std::vector<std::string>{title + " / <none> / <none>",
                                                 "<none> / 31.230000,121.470000 / " + place}));
    ASSERT_EQ(server.requests(standin::kShareWithPath).size(), 1u);
    EXPECT_EQ(param(server.requests(standin::kShareWithPath)[0], "suids"), "all");
    const Request with = server.requests(standin::kWithPath).at(0);
    EXPECT_EQ(param(with, "suids"), "12,34");
    EXPECT_EQ(param(with, "token"), "tok1");
    const Request share = server.requests(standin::kShareWeiboPath).at(0);
    EXPECT_EQ(param(share, "msg"), title);
    EXPECT_EQ(param(share, "othertype"), "2,3");
    EXPECT_EQ(param(share, "token"), "tok1");

    EXPECT_EQ(PZFFmpeg::findAllFlvs()["result"].count(), 0u);
    EXPECT_TRUE(std::filesystem::exists(movie));  // the user's own recording stays
    StatusBarOverlay::sharedOverlay()->setDelegate(nullptr);
    PZFFmpeg::globleUninit();
}

}  // namespace
