// The tour as a person's first session: the main program, headless, against the stand-in service and
// the stand-in microblog, drives the application along its main road through the screen's touch path;
// every step saw what it expected and left a picture of the phone's screen.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "api/Edition.h"
#include "fixtures/TemporaryFolder.h"
#include "servers/OAuthProviders.h"
#include "service/Fault.h"
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
    standin::StandInService service;
    // Each block of the upload is answered two seconds late, as over a slow link, so the own page opens
    // while the video is still uploading and shows its upload control.
    service.server().addFault("/upload", standin::Fault::hang(std::chrono::seconds(2)).persistent());
    TestServers::OAuthProvider lumo{
        {TestServers::OAuthProvider::Kind::Lumo, "2538114601", "c3ccc6d4f8e2dce2058abf5ca4fb2c95", nullptr}};
    const std::string command = "OMBRI_HOME='" + home.path() + "/home' OMBRI_SERVICE_HOST=" + service.hostPort() +
                                " OMBRI_LUMO_WEIBO_HOST=" + lumo.hostPort() + " ASAN_OPTIONS=detect_leaks=0 '" +
                                std::getenv("OMBRI_BIN_DIR") + "/ombri' --tour '" + pictures + "' 2>/dev/null";
    FILE* child = ::popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(child);
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
        "01 first-start",  "02 login-screen",    "03 microblog-page", "04 login",         "05 home-feed",
        "06 video-page",   "07 comment",         "08 back-to-feed",   "09 filter",        "10 record",
        "11 stop",         "12 review",          "13 topic-picker",   "14 place-picker",  "15 friend-picker",
        "16 publish",      "17 upload",          "18 logout"};
    EXPECT_EQ(steps, expected) << output;
    for (const std::string& step : steps) {
        const std::string file = pictures + "/" + step.substr(0, 2) + "-" + step.substr(3) + ".png";
        EXPECT_EQ(pngSize(file), (std::pair<uint32_t, uint32_t>{640, 960})) << file;
    }
    EXPECT_NE(output.find("ombri: tour done"), std::string::npos) << output;
    EXPECT_NE(output.find("its upload control seen at"), std::string::npos) << output;
    // The sign-in reached the service through the microblog's access token.
    EXPECT_EQ(lumo.acceptedCount("/oauth/access_token"), 1u);

    // The service holds the recorded video, whole, with what the publish screen was given: the typed
    // title with the picked topic, the phone's place, the two friends, everybody may see it, and the
    // share to the microblog the account signed in with.
    const auto published = service.published().published();
    ASSERT_EQ(published.size(), 1u) << output;
    const standin::PublishedVideo& video = published[0];
    EXPECT_EQ(video.title, "Evening walk#西湖#");
    EXPECT_EQ(video.locationText, "杭州市西湖区南山路15号");
    EXPECT_TRUE(video.location.starts_with("30.259")) << video.location;
    const std::size_t comma = video.withSuids.find(',');
    ASSERT_NE(comma, std::string::npos) << video.withSuids;
    EXPECT_FALSE(video.withSuids.substr(0, comma).empty());
    EXPECT_NE(video.withSuids.substr(0, comma), video.withSuids.substr(comma + 1));
    EXPECT_EQ(video.withSuids.find(',', comma + 1), std::string::npos) << video.withSuids;
    EXPECT_EQ(video.seenBy, "all");
    // The partner edition's own microblog has its own code.
    EXPECT_EQ(video.shareTargets, std::string_view(kEditionWord) == "lumo" ? "3" : "1");
    EXPECT_EQ(video.shareMessage, video.title);
    EXPECT_EQ(service.uploads().endCalls(video.scid, "MOV"), 1u);
}

}  // namespace AppTourTest_cpp
}  // namespace
