#pragma once
// The stage of the publish screen's tests: a fresh home folder (user defaults, Documents), a logged-in
// user, the stand-in service as the service host, a visible key window holding a navigation controller
// on a manual clock, the test thread as the main thread, and a recorder of the application's error
// boxes. Helpers drive the screens as a person would and wait for the service's replies.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "service/StandInService.h"

namespace publishtest {

class ErrorBoxes : public UIApplicationDelegate, public ApplicationServices {
public:
    std::vector<std::string> shown;
    void showNetError(const Value& text) override { shown.push_back(text.stringValue()); }
};

class PublishStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path().empty());
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path() + "/home"));
        NSUserDefaults::resetStandardUserDefaults();
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        UIApplication::sharedApplication()->setDelegate(errors);
        window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        window->setHidden(true);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        ::unsetenv("OMBRI_SERVICE_HOST");
        NSUserDefaults::resetStandardUserDefaults();
    }

    static void logIn()
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("tok1")},
                                         {"suid", Value("1001")},
                                         {"username", Value("xiaoming")},
                                         {"nick", Value("小明")},
                                         {"icon", Value("")}}));
    }

    // A navigation controller on the window with the screen as its root, appeared.
    Ref<UINavigationController> showInNavigation(const Ref<UIViewController>& root)
    {
        navigation = UINavigationController::initWithRootViewController(root);
        window->setRootViewController(navigation);
        settle();
        return navigation;
    }
    // Lets running transitions finish.
    void settle()
    {
        clock.advance(UIModalTransitionDuration + UINavigationTransitionDuration);
    }
    Ref<UIViewController> top() const { return navigation->topViewController(); }

    static Ref<NSIndexPath> row(NSInteger r, NSInteger section = 0)
    {
        return NSIndexPath::indexPathForRow_inSection(r, section);
    }
    // The number of requests the service received on a path.
    size_t received(const char* path) { return service.server().requests(path).size(); }
    bool waitUntil(const std::function<bool()>& done) { return pumpMainUntil(done, std::chrono::seconds(20)); }

    TemporaryFolder home{"publish-test"};
    MainThreadScope main;
    ScopedManualClock clock;
    standin::StandInService service{{.lifetime = std::chrono::seconds(120)}};
    std::shared_ptr<ErrorBoxes> errors = std::make_shared<ErrorBoxes>();
    Ref<UIWindow> window;
    Ref<UINavigationController> navigation;
};

}  // namespace publishtest
