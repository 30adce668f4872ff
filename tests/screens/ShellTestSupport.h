#pragma once
// Shared set-up of the shell's tests: a fresh home folder (user defaults, Documents), the stand-in
// service as the service host, the test thread as the main thread on a manual clock, and the root
// controller in a visible key window as the application shows it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIWindow.h"
#include "service/StandInService.h"
#include "shell/RootViewController.h"
#include "widgets/StatusBarOverlay.h"

namespace shelltest {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path().empty());
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path() + "/home"));
        NSUserDefaults::resetStandardUserDefaults();
        // The reminder reply lives in the engine bridge's shared instance; no engine is needed for it.
        g_ffmpeg.set(PZFFmpeg::create());
        // The status-bar overlay lives for the process: an earlier test may have left it mid-cycle, or
        // hidden with the other windows between tests, and then it would drop what this test posts.
        StatusBarOverlay::sharedOverlay()->resetForTesting();
    }
    void TearDown() override
    {
        g_root = nullptr;
        g_ffmpeg.set(nullptr);
    }

    // Stores a login as the login screen does.
    static void logIn(const std::string& nick = "小明")
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("tok7")},
                                         {"suid", Value("7")},
                                         {"nick", Value(nick)},
                                         {"username", Value("xiaoming")}}));
    }

    // The root controller in a visible key window, reachable as g_root.
    Ref<RootViewController> showRoot()
    {
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        auto root = RootViewController::create();
        g_root = root;
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        return root;
    }

    size_t received(const std::string& path) const { return service.server().requests(path).size(); }
    // Waits until the service has received n requests of the path.
    bool waitForReceived(const std::string& path, size_t n)
    {
        return pumpMainUntil([&] { return received(path) >= n; });
    }

    static Ref<NSIndexPath> row(NSInteger index) { return NSIndexPath::indexPathForRow_inSection(index, 0); }

    TemporaryFolder home{"screens-test"};
    MainThreadScope main;
    ScopedManualClock clock;
    standin::StandInService service;
    Ref<UIWindow> window;
};

}  // namespace shelltest
