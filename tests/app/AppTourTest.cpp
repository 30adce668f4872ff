// The tour as a person's first session: the main program, headless, against the stand-in service and
// the stand-in microblog, drives the application along its main road through the screen's touch path;
// every step saw what it expected and left a picture of the phone's screen.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api/Edition.h"
#include "fixtures/TemporaryFolder.h"
#include "servers/OAuthProviders.h"
#include "servers/PlaceSearchServer.h"
#include "servers/TestCertificates.h"
#include "service/Fault.h"
#include "service/HeldReplies.h"
#include "service/StandInService.h"

namespace {
namespace AppTourTest_cpp {

// The width and height a PNG file's header gives (0 x 0 when it is not one).
std::pair<uint32_t, uint32_t> pngSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (!in || head[1] != 'P' || head[2] != 'N' || head[3] != 'G') {
        return {0, 0};
    }
    auto word = [&](int at) {
        return uint32_t(head[at]) << 24 | uint32_t(head[at + 1]) << 16 | uint32_t(head[at + 2]) << 8 | head[at + 3];
    };
    return {word(16), word(20)};
}

TEST(AppTour, EveryStepOfTheMainRoadSeesWhatItExpectsAndLeavesAPicture)
{
    TemporaryFolder home("app-tour");
    ASSERT_FALSE(home.path().empty());
    const std::string pictures = home.path() + "/pictures";
    // The tour runs for well over a minute: the service lives as long as the other stand-ins.
    standin::StandInService service({.lifetime = std::chrono::seconds(300)});
    // Each block of the upload is answered two seconds late, as over a slow link, so the own page opens
    // while the video is still uploading and shows its upload control.
    service.server().addFault("/upload", standin::Fault::hang(std::chrono::seconds(2)).persistent());
    // On a busy machine the whole movie could be sent before the own page opens, so the blocks are held
    // until the own page (the only person's page the tour opens) has asked for its list; they then come
    // two seconds apart again.
    standin::HeldReplies heldUploads(service.server(), "/upload");
    std::atomic<bool> tourEnded{false};
    std::thread releaser([&] {
        while (!tourEnded && !service.server().waitUntil(
                                 [&] { return service.server().requestCount("/m/v2_user.json") > 0; },
                                 std::chrono::milliseconds(200))) {
        }
        heldUploads.release();
    });
    TestServers::OAuthProvider lumo{
        {TestServers::OAuthProvider::Kind::Lumo, "2538114601", "c3ccc6d4f8e2dce2058abf5ca4fb2c95", nullptr, 300}};
    // The TLS stand-ins, trusted through the authority's file as the application run against the local
    // world trusts them.
    TestServers::TestCertificateAuthority authority;
    TestServers::OAuthProvider qq{{TestServers::OAuthProvider::Kind::QQ, "801102367",
                                   "9c2a7e41d05b86f3a1e4c7d92b58f0e6", &authority, 300}};
    TestServers::PlaceSearchServer places(authority, 300);
    places.setPlaces(TestServers::PlaceSearchServer::westLakePlaces());
    const std::string authorityFile = home.path() + "/authority.pem";
    std::ofstream(authorityFile) << authority.certificate().certificatePEM;
    // What the application sounds goes to a file, to be listened to below.
    const std::string heard = home.path() + "/heard.raw";
    const std::string command = "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + heard + "' OMBRI_HOME='" + home.path() +
                                "/home' OMBRI_SERVICE_HOST=" + service.hostPort() +
                                " OMBRI_LUMO_WEIBO_HOST=" + lumo.hostPort() + " OMBRI_QQ_WEIBO_HOST=" + qq.hostPort() +
                                " OMBRI_PLACE_SEARCH_HOST=" + places.hostPort() + " OMBRI_EXTRA_CA_FILE='" +
                                authorityFile + "' ASAN_OPTIONS=detect_leaks=0 '" +
                                std::getenv("OMBRI_BIN_DIR") + "/ombri' --tour '" + pictures + "' 2>/dev/null";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr) {
        tourEnded = true;
        releaser.join();
        FAIL() << "could not start " << command;
    }
    std::string output;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(child);
    tourEnded = true;
    releaser.join();
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;

    // One line and one picture of the whole screen per step, in order.
    std::vector<std::string> steps;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("tour: ", 0) == 0) {
            EXPECT_EQ(line.find("FAILED"), std::string::npos) << line;
            steps.push_back(line.substr(6, line.find(':', 6) - 6));  // "NN name"
        }
    }
    const std::vector<std::string> expected = {
        "01 first-start",  "02 login-screen",  "03 microblog-page", "04 microblog-page-filled", "05 login",
        "06 home-feed",    "07 feed-video",    "08 topic-page",     "09 video-page",  "10 comment",
        "11 back-to-feed", "12 filter",        "13 record",         "14 stop",        "15 review",
        "16 topic-picker", "17 place-picker",  "18 friend-picker",  "19 qq-binding",  "20 publish",
        "21 upload",       "22 album",         "23 import",         "24 mail-composer", "25 mail",
        "26 topic-delete-button", "27 unfollow", "28 phone-keyboard", "29 phone", "30 logout"};
    EXPECT_EQ(steps, expected) << output;
    for (const std::string& step : steps) {
        const std::string file = pictures + "/" + step.substr(0, 2) + "-" + step.substr(3) + ".png";
        EXPECT_EQ(pngSize(file), (std::pair<uint32_t, uint32_t>{640, 960})) << file;
    }
    EXPECT_NE(output.find("ombri: tour done"), std::string::npos) << output;
    // The tour was heard: the sounds and the recorded video's sound reached the output.
    {
        std::ifstream in(heard, std::ios::binary);
        float loudest = 0;
        float sample = 0;
        while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
            loudest = std::max(loudest, std::fabs(sample));
        }
        EXPECT_GT(loudest, 0.05f) << heard;
    }
    EXPECT_NE(output.find("its upload control seen at"), std::string::npos) << output;
    // The sign-in reached the service through the microblog's access token.
    EXPECT_EQ(lumo.acceptedCount("/oauth/access_token"), 1u);

    // The feed's video was played from the stand-in's stream.
    EXPECT_FALSE(service.server().requests("/stream/sc3001.mp4").empty() &&
                 service.server().requests("/stream/sc3002.mp4").empty())
        << output;
    // The place picker asked the place search where the phone is; QQ was bound through its own page.
    EXPECT_TRUE(places.waitForRequests(1, 0));
    EXPECT_EQ(qq.acceptedCount("/cgi-bin/access_token"), 1u);
    EXPECT_EQ(service.server().requests("/m/bind-qweibo.json").size(), 1u);

    // The service holds the recorded video, whole, with what the publish screen was given: the typed
    // title with the picked topic, the first place the place search found, the two friends, everybody
    // may see it, and the share to both microblogs.
    const auto published = service.published().published();
    ASSERT_EQ(published.size(), 1u) << output;
    const standin::PublishedVideo& video = published[0];
    EXPECT_EQ(video.title, "Evening walk#西湖#");
    EXPECT_EQ(video.locationText, TestServers::PlaceSearchServer::westLakePlaces().at(0).name);
    EXPECT_TRUE(video.location.starts_with("30.2")) << video.location;
    const std::size_t comma = video.withSuids.find(',');
    ASSERT_NE(comma, std::string::npos) << video.withSuids;
    EXPECT_FALSE(video.withSuids.substr(0, comma).empty());
    EXPECT_NE(video.withSuids.substr(0, comma), video.withSuids.substr(comma + 1));
    EXPECT_EQ(video.withSuids.find(',', comma + 1), std::string::npos) << video.withSuids;
    EXPECT_EQ(video.seenBy, "all");
    // The partner edition's own microblog has its own code; QQ's is 2.
    const std::string lumoCode = std::string_view(kEditionWord) == "lumo" ? "3" : "1";
    EXPECT_TRUE(video.shareTargets == lumoCode + ",2" || video.shareTargets == "2," + lumoCode) << video.shareTargets;
    EXPECT_EQ(video.shareMessage, video.title);
    EXPECT_EQ(service.uploads().endCalls(video.scid, "MOV"), 1u);

    // The device's own screens: the mail is in the outbox and the topic was unfollowed.
    std::vector<std::string> outbox;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(home.path() + "/home/Outbox", ignored)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        outbox.push_back(text.str());
    }
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_NE(outbox[0].find("\r\nTo: friend@example.com\r\n"), std::string::npos) << outbox[0];
    bool unfollowed = false;
    for (const auto& request : service.server().requests("/m/follow-topic.json")) {
        unfollowed = unfollowed || (request.method == "POST" &&
                                    standin::findParam(request.formParams(), "_method").value_or("") == "delete");
    }
    EXPECT_TRUE(unfollowed);
    // The number typed on the drawn keyboard is the one the service keeps.
    EXPECT_EQ(service.world().phone(), "13800138055");
}

}  // namespace AppTourTest_cpp
}  // namespace
