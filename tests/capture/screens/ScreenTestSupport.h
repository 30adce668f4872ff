#pragma once
// Shared set-up of the recording and review screen tests: a fresh home folder, the stand-in service as
// the service host, a logged-in user and the engine started through the bridge (its waits sped up), the
// synthetic phone's cameras, a manual clock for the camera and the screens' timers and animations, and
// a visible window whose root controller presents the screens as the feed does. Every test runs in a
// process of its own (the engine's state is process-wide).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "capture/PZVideoCaptureController.h"
#include "capture/PZVideoCaptureEditController.h"
#include "capture/gpu/GPUView.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/CVOpenGLESTextureCache.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "service/StandInService.h"

#include "../../support/GLTestEnvironment.h"

namespace screentest {

using namespace std::chrono_literals;

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ::setenv("OMBRI_DEVICE_MODEL", "iPhone4,1", 1);
        ASSERT_FALSE(home.path().empty());
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
        NSUserDefaults::resetStandardUserDefaults();
        AVCaptureDevice::resetStandInDevices();
        CVOpenGLESTextureCacheSetAvailable(true);
        UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        root = UIViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        PZVideoCaptureController::setExitHook(nullptr);
        PZVideoCaptureController::setEditionWordForTesting("");
    }

    // A stored login and the engine brought up, as at start-up.
    void startEngine()
    {
        storeUserInfo(Value::dictionary(
            {{"status", Value(200)}, {"token", Value("tok1")}, {"suid", Value("7")}, {"username", Value("alice")}}));
        PZFFmpeg::globleInit();
        ASSERT_TRUE(g_ffmpeg);
    }

    // The recording screen as the feed opens it: in a navigation flow, or by itself when live.
    Ref<PZVideoCaptureController> openRecording(bool live = false, bool sign = false, const Value& topic = Value())
    {
        auto screen = PZVideoCaptureController::create();
        screen->setLive(live);
        screen->setVideoSign(sign);
        screen->setTopic(topic);
        if (live) {
            root->presentModalViewController_animated(screen, false);
        } else {
            flow = UINavigationController::initWithRootViewController(screen);
            root->presentModalViewController_animated(flow, false);
        }
        return screen;
    }

    // A tap in the middle of the view, through the window.
    void tap(const Ref<UIView>& view)
    {
        const CGRect frame = view->convertRect_toView(view->bounds(), nullptr);
        window->simulateTap(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    }

    // `count` camera frames, each shown by the screen's view before the next.
    void frames(const Ref<PZVideoCaptureController>& screen, int count)
    {
        auto view = std::dynamic_pointer_cast<GPUView>(screen->view());
        for (int i = 0; i < count; ++i) {
            const unsigned before = view->eaglLayer()->presentedCount();
            clock.advance(1.0 / 15);
            ASSERT_TRUE(pumpMainUntil([&] { return view->eaglLayer()->presentedCount() > before; }, 20s))
                << "frame " << i;
        }
    }

    // Lets the animations and transitions in progress end.
    void settle() { clock.advance(1.0); }

    TemporaryFolder home{"capture-screens"};
    MainThreadScope main;
    ScopedManualClock clock;
    standin::StandInService service{{.lifetime = std::chrono::seconds(170)}};
    Ref<UIWindow> window;
    Ref<UIViewController> root;
    Ref<UINavigationController> flow;
};

}  // namespace screentest
