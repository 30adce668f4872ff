// The square's movie import with a real movie from the saved photos: the engine enters it into the
// account's local media and the publish screen opens on its job.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "capture/VideoShareController.h"
#include "fixtures/TemporaryFolder.h"
#include "fixtures/TestMovie.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "service/StandInService.h"
#include "social/SquareVC.h"

namespace {
namespace SquareImportTest_cpp {

using namespace std::chrono_literals;

TEST(SquareImportTest, APickedMovieIsEnteredIntoTheLocalMediaAndOpensThePublishScreen)
{
    TemporaryFolder home("square-import-test");
    ASSERT_FALSE(home.path().empty());
    MainThreadScope main;
    standin::StandInService service{{.lifetime = std::chrono::seconds(120)}};
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
    ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
    ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
    NSUserDefaults::resetStandardUserDefaults();
    storeUserInfo(Value::dictionary({{"status", Value(200)}, {"token", Value("tok1")}, {"suid", Value("7")},
                                     {"nick", Value("小明")}, {"username", Value("xiaoming")}}));
    PZFFmpeg::globleInit();

    // A one-second movie in the saved photos, as the camera application leaves one.
    const std::string album = home / "home/Media/DCIM/100APPLE";
    std::filesystem::create_directories(album);
    const std::string movie = album + "/IMG_0001.MOV";
    std::string error;
    ASSERT_TRUE(writeTestMovie(movie, {.width = 480, .height = 360, .frames = 30}, &error)) << error;

    auto window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    auto square = SquareVC::create();
    square->setIsRoot(true);
    auto navigation = UINavigationController::initWithRootViewController(square);
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();

    // The menu's third item: the movie picker on the saved photos, editing on.
    square->radialMenu_didSelectIndex(square->coolMenu(), 2);
    auto picker = std::dynamic_pointer_cast<UIImagePickerController>(square->modalViewController());
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeSavedPhotosAlbum);
    EXPECT_EQ(picker->mediaTypes(), std::vector<std::string>{"public.movie"});
    EXPECT_TRUE(picker->allowsEditing());
    EXPECT_EQ(std::dynamic_pointer_cast<SquareVC>(picker->pickerDelegate()), square);

    // Files that are no movie are refused before the engine sees them: it would enter any file as a
    // job, and the person would go on to publish nothing.
    const struct {
        const char* name;
        std::string bytes;
    } notMovies[] = {
        {"IMG_0000.MOV", ""},
        {"IMG_0002.MOV", "<!DOCTYPE html><html><body>404 Not Found</body></html>"},
    };
    for (const auto& bad : notMovies) {
        SCOPED_TRACE(bad.name);
        const std::string path = album + "/" + bad.name;
        std::ofstream(path, std::ios::binary) << bad.bytes;
        if (!square->modalViewController()) {
            square->radialMenu_didSelectIndex(square->coolMenu(), 2);
        }
        auto asked = std::dynamic_pointer_cast<UIImagePickerController>(square->modalViewController());
        ASSERT_TRUE(asked);
        Value refused = Value::dictionary();
        refused.setObject_forKey(Value(kUTTypeMovie), UIImagePickerControllerMediaType);
        refused.setObject_forKey(NSURL::fileURLWithPath(path), UIImagePickerControllerMediaURL);
        asked->simulateFinishPickingMediaWithInfo(refused);
        ASSERT_TRUE(pumpMainUntil([&] { return !square->modalViewController(); }, 10s));
        ASSERT_TRUE(UIAlertView::currentAlert());
        EXPECT_EQ(UIAlertView::currentAlert()->message(), kImportFailedMessage);
        UIAlertView::currentAlert()->dismissWithClickedButtonIndex_animated(0, false);
        EXPECT_EQ(navigation->topViewController(), square);
    }
    square->radialMenu_didSelectIndex(square->coolMenu(), 2);
    picker = std::dynamic_pointer_cast<UIImagePickerController>(square->modalViewController());
    ASSERT_TRUE(picker);

    // The person taps the movie in the album's grid (movies alone, by name: the two refused files and
    // the movie between them).
    ASSERT_TRUE(pumpMainUntil([&] {
        return picker->sourceScreen() && picker->sourceScreen()->isViewLoaded() && picker->view()->window();
    }));
    window->layoutIfNeeded();
    std::vector<Ref<UIControl>> thumbs;
    std::function<void(const Ref<UIView>&)> collect = [&](const Ref<UIView>& view) {
        for (const auto& sub : view->subviews()) {
            if (auto control = std::dynamic_pointer_cast<UIControl>(sub)) thumbs.push_back(control);
            collect(sub);
        }
    };
    ASSERT_TRUE(picker->sourceScreen());
    collect(picker->sourceScreen()->view());
    ASSERT_EQ(thumbs.size(), 3u);
    const CGRect thumb = thumbs[1]->bounds();
    window->simulateTap(thumbs[1]->convertPoint_toView(CGPointMake(CGRectGetMidX(thumb), CGRectGetMidY(thumb)), nullptr));
    ASSERT_TRUE(pumpMainUntil([&] { return !square->modalViewController(); }, 10s));
    EXPECT_TRUE(UIAlertView::visibleAlerts().empty());

    auto share = std::dynamic_pointer_cast<VideoShareController>(navigation->topViewController());
    ASSERT_TRUE(share);
    ASSERT_TRUE(share->guid().isString());
    const std::string guid = share->guid().string();
    // The engine knows the movie: its length, its still, and it is listed among the local videos.
    EXPECT_EQ(PZFFmpeg::fetchMovieInfo_WithField(guid, "guid").stringValue(), guid);
    EXPECT_EQ(PZFFmpeg::fetchMovieInfo_WithField(guid, "length").intValue(), 1);
    EXPECT_TRUE(std::filesystem::exists(PZFFmpeg::fetchMovieInfo_WithField(guid, "localimg").stringValue()));
    PZFFmpeg::findAllFlvs();
    ASSERT_EQ(g_ffmpeg->localVideos().count(), 1u);
    EXPECT_EQ(g_ffmpeg->localVideos()[0]["guid"].stringValue(), guid);

    window->setHidden(true);
    PZFFmpeg::globleUninit();
}

}  // namespace SquareImportTest_cpp
}  // namespace
