// A recorded video published from the publish screen through the bridge and the engine: the stand-in
// service receives the title, the visibility, the place, the friends and the share targets, in the
// order the screen gave them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "capture/VideoShareController.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "service/CommitRoutes.h"
#include "service/StandInService.h"

namespace {
namespace PublishThroughEngineTest_cpp {

using namespace std::chrono_literals;

std::string param(const standin::Request& r, const char* name)
{
    return standin::findParam(r.formParams(), name).value_or("<none>");
}

TEST(PublishThroughEngineTest, TheServiceReceivesEveryPartOfThePublishInOrder)
{
    TemporaryFolder home("publish-engine-test");
    ASSERT_FALSE(home.path().empty());
    MainThreadScope main;
    standin::StandInService service{{.lifetime = std::chrono::seconds(120)}};
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
    ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
    ::setenv("OMBRI_DEVICE_MODEL", "iPhone4,1", 1);
    ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
    NSUserDefaults::resetStandardUserDefaults();
    storeUserInfo(Value::dictionary({{"status", Value(200)}, {"token", Value("tok1")}, {"suid", Value("7")},
                                     {"username", Value("alice")}, {"bindLumoWeibo", Value(true)},
                                     {"bindQWeibo", Value(true)}}));
    PZFFmpeg::globleInit();

    std::filesystem::create_directories(FoundationRoots::documentsDirectory() + "/media");
    const std::string movie = FoundationRoots::documentsDirectory() + "/media/2012-05-01-15-30-00.MOV";
    {
        GrowingMovie recording(movie, {.seconds = 1});
        ASSERT_TRUE(recording.start()) << recording.error();
        while (recording.writeFrames(30)) {
        }
        ASSERT_TRUE(recording.finish()) << recording.error();
    }
    const Value guid = PZFFmpeg::getMovieGuid(movie);
    ASSERT_TRUE(guid.isString());

    ScopedManualClock clock;
    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->makeKeyAndVisible();
    auto navigation = UINavigationController::initWithRootViewController(UIViewController::create());
    window->setRootViewController(navigation);
    auto share = VideoShareController::create();
    share->setGuid(guid);
    share->setTopic(Value("#西湖#"));
    navigation->pushViewController_animated(share, false);
    clock.advance(1);
    EXPECT_TRUE(share->videoThumbButton->imageForState(UIControlStateNormal));
    const std::string title = "断桥 | 晚霞 & 朋友#西湖#";
    share->message->setText(title);
    share->locationWithCoord_place({30.2587, 120.1526}, "断桥残雪");
    share->withSomebody(Value::array({Value::dictionary({{"suid", Value("12")}, {"icon", Value("")}}),
                                      Value::dictionary({{"suid", Value("34")}, {"icon", Value("")}})}));
    ASSERT_TRUE(share->shareLumoButton->isSelected() && share->shareQQButton->isSelected());

    auto publish = std::dynamic_pointer_cast<UIButton>(share->navigationItem()->rightBarButtonItem()->customView());
    ASSERT_TRUE(publish);
    publish->sendActionsForControlEvents(UIControlEventTouchUpInside);
    clock.advance(1);
    // Back where the import started: the screen left by a pop.
    EXPECT_EQ(navigation->viewControllers().size(), 1u);

    auto& server = service.server();
    ASSERT_TRUE(pumpMainUntil(
        [&] { return !server.requests(standin::kWithPath).empty() && !server.requests(standin::kShareWeiboPath).empty(); },
        90s));

    // The calls as they arrived, in order.
    std::vector<std::string> calls;
    for (const standin::Request& r : server.requests()) {
        const std::string path = r.target.substr(0, r.target.find('?'));
        if (path == standin::kModifyChannelPath) {
            calls.push_back(param(r, "title") != "<none>" ? "title " + param(r, "title")
                                                           : "place " + param(r, "location") + " " + param(r, "locationText"));
        } else if (path == standin::kShareWithPath) {
            calls.push_back("visible to " + param(r, "suids"));
        } else if (path == standin::kWithPath) {
            calls.push_back("with " + param(r, "suids"));
        } else if (path == standin::kShareWeiboPath) {
            calls.push_back("share " + param(r, "othertype") + " " + param(r, "msg"));
        }
    }
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0], "title " + title);
    EXPECT_EQ(calls[1], "visible to all");
    EXPECT_EQ(calls[2], "place 30.258700,120.152600 断桥残雪");
    EXPECT_EQ(calls[3], "with 12,34");
    EXPECT_EQ(calls[4], "share 2,3 " + title);
    window->setHidden(true);
    PZFFmpeg::globleUninit();
}

TEST(PublishThroughEngineTest, APlaceRemovedThroughTheSheetOrOnAZeroLineIsNotSent)
{
    TemporaryFolder home("publish-engine-place-test");
    ASSERT_FALSE(home.path().empty());
    MainThreadScope main;
    standin::StandInService service{{.lifetime = std::chrono::seconds(120)}};
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
    ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
    ::setenv("OMBRI_DEVICE_MODEL", "iPhone4,1", 1);
    ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
    NSUserDefaults::resetStandardUserDefaults();
    storeUserInfo(Value::dictionary({{"status", Value(200)}, {"token", Value("tok1")}, {"suid", Value("7")},
                                     {"username", Value("alice")}}));
    PZFFmpeg::globleInit();
    std::filesystem::create_directories(FoundationRoots::documentsDirectory() + "/media");

    ScopedManualClock clock;
    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->makeKeyAndVisible();
    auto navigation = UINavigationController::initWithRootViewController(UIViewController::create());
    window->setRootViewController(navigation);

    struct Case {
        const char* name;
        CLLocationCoordinate2D place;
        bool removed;  // through the place sheet's first button, after choosing it
    };
    const Case cases[] = {
        {"removed", {30.2587, 120.1526}, true},
        {"on the equator", {0, 120.1526}, false},
        {"on the prime meridian", {30.2587, 0}, false},
        {"kept", {30.2587, 120.1526}, false},  // the one that is sent, so the others' silence means something
    };
    auto& server = service.server();
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string movie =
            FoundationRoots::documentsDirectory() + "/media/2012-05-01-15-30-0" + std::to_string(index) + ".MOV";
        {
            GrowingMovie recording(movie, {.seconds = 1});
            ASSERT_TRUE(recording.start()) << recording.error();
            while (recording.writeFrames(30)) {
            }
            ASSERT_TRUE(recording.finish()) << recording.error();
        }
        const Value guid = PZFFmpeg::getMovieGuid(movie);
        ASSERT_TRUE(guid.isString());
        auto share = VideoShareController::create();
        share->setGuid(guid);
        navigation->pushViewController_animated(share, false);
        clock.advance(1);
        share->message->setText(std::string("place ") + c.name);
        share->locationWithCoord_place(c.place, "断桥残雪");
        if (c.removed) {
            share->locationTopButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
            ASSERT_TRUE(UIActionSheet::currentSheet());
            EXPECT_EQ(UIActionSheet::currentSheet()->buttonTitleAtIndex(0), "移除位置");
            UIActionSheet::currentSheet()->simulateClickButtonAtIndex(0);
            EXPECT_TRUE(share->mapView->isHidden());
        }
        // A friend goes last: its call comes after the place's would have.
        share->withSomebody(Value::array({Value::dictionary({{"suid", Value(std::to_string(10 + index))}, {"icon", Value("")}})}));
        std::dynamic_pointer_cast<UIButton>(share->navigationItem()->rightBarButtonItem()->customView())
            ->sendActionsForControlEvents(UIControlEventTouchUpInside);
        clock.advance(1);
        ++index;
        ASSERT_TRUE(pumpMainUntil([&] { return server.requests(standin::kWithPath).size() == size_t(index); }, 90s));
    }
    std::vector<std::string> places;
    for (const standin::Request& r : server.requests(standin::kModifyChannelPath)) {
        if (param(r, "location") != "<none>") {
            places.push_back(param(r, "location"));
        }
    }
    EXPECT_EQ(places, std::vector<std::string>{"30.258700,120.152600"});
    window->setHidden(true);
    PZFFmpeg::globleUninit();
}

}  // namespace PublishThroughEngineTest_cpp
}  // namespace
