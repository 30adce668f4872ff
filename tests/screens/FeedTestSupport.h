#pragma once
// Set-up shared by the feed's tests: a fresh home folder, a bundle holding the application's
// resources and an Info.plist naming the application, the stand-in service, a visible window, the
// location fixture at rest, and the application delegate (not launched) for the alert helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "bridge/PZFFmpeg.h"
#include "fixtures/TemporaryFolder.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "service/ApiRoutes.h"
#include "service/FeedRoutes.h"
#include "service/StandInService.h"
#include "shell/FeedVC.h"
#include "shell/ombriAppDelegate.h"
#include "widgets/ProgressHUD.h"

namespace feedtest {

inline standin::Response jsonReply(std::string body)
{
    standin::Response response;
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    response.body = std::move(body);
    return response;
}

class FeedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path().empty());
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path() + "/home"));
        makeBundle();
        NSUserDefaults::resetStandardUserDefaults();
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        UIImagePickerController::resetAvailability();
        CLLocationManager::resetForTesting();
        g_ffmpeg.set(PZFFmpeg::create());
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        appDelegate = ombriAppDelegate::create();
        appDelegate->setWindow(window);
        UIApplication::sharedApplication()->setDelegate(appDelegate);
    }
    void TearDown() override
    {
        window->setHidden(true);
        window = nullptr;
        drainMain();
        g_ffmpeg.set(nullptr);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        CLLocationManager::resetForTesting();
        UIImagePickerController::resetAvailability();
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        ::unsetenv("OMBRI_SERVICE_HOST");
        NSBundle::setMainBundlePath("");
        NSUserDefaults::resetStandardUserDefaults();
    }

    // The application's resources, linked into a bundle of the test's own with an Info.plist.
    void makeBundle()
    {
        namespace fs = std::filesystem;
        const fs::path bundle = home.path() + "/bundle";
        fs::create_directories(bundle);
        const fs::path resources = NSBundle::mainBundle()->bundlePath();
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(resources, error)) {
            // Not the bundle's own Info.plist: the test writes its own, which through a link would
            // overwrite the application's.
            if (entry.path().filename() != "Info.plist") {
                fs::create_symlink(entry.path(), bundle / entry.path().filename(), error);
            }
        }
        std::ofstream(bundle / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
               "<key>CFBundleDisplayName</key><string>乐拍</string></dict></plist>";
        NSBundle::setMainBundlePath(bundle.string());
    }

    // Stores the service's account (the login reply) with changes, posting "login_success".
    void logIn(const Value& changes = Value())
    {
        Value account = NSString_JsonParsing::JSONValue(standin::apiAccountReply(0)).mutableCopy();
        for (const auto& [key, value] : changes.dictionaryItems()) {
            account.setObject_forKey(value, key);
        }
        g_ffmpeg->setRemind(Value());
        storeUserInfo(account);
        // The login asks the application delegate for the reminders; their reply comes first.
        EXPECT_TRUE(waitFor([&] { return !g_ffmpeg->remind().isNil(); }));
    }

    // Shows the feed at the root of a navigation stack in the visible window.
    Ref<UINavigationController> show(const Ref<UIViewController>& root)
    {
        auto navigation = UINavigationController::initWithRootViewController(root);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        return navigation;
    }

    bool waitFor(const std::function<bool()>& condition)
    {
        return pumpMainUntil(condition, std::chrono::seconds(10));
    }

    // Waits until the feed has no page request running (its reply arrived and was handled).
    bool settle(const Ref<FeedVC>& feed)
    {
        return waitFor([&] { return !feed->getNewRequest() && !feed->getMoreRequest(); });
    }

    // Waits until the feed's first page has arrived and nothing else is loading.
    bool firstPage(const Ref<FeedVC>& feed)
    {
        return waitFor([&] { return !feed->channels().isNil() && !feed->getNewRequest() && !feed->getMoreRequest(); });
    }

    // The items' titles as the feed holds them (a video's title, else the item's type).
    static std::vector<std::string> titles(const Ref<FeedVC>& feed)
    {
        std::vector<std::string> out;
        for (const Value& item : feed->channels().arrayItems()) {
            const std::string type = item["type"].stringValue();
            out.push_back(type == "channel" ? item["channel"]["ext"]["t"].stringValue() : type);
        }
        return out;
    }

    // How many times the login prompt was shown since the alerts were last reset.
    static int loginPrompts()
    {
        int count = 0;
        for (const Ref<UIAlertView>& alert : UIAlertView::shownAlerts()) {
            count += alert->message() == kPresentLoginMessage ? 1 : 0;
        }
        return count;
    }
    // The text of the network error box on the window ("" when none shows); clear takes it away.
    std::string netError(bool clear = false)
    {
        std::string text;
        for (const Ref<UIView>& view : window->subviews()) {
            if (auto box = std::dynamic_pointer_cast<ProgressHUD>(view)) {
                text = box->labelText();
                if (clear) {
                    box->removeFromSuperview();
                }
            }
        }
        return text;
    }

    std::vector<standin::Request> requests(const std::string& path) const { return service.server().requests(path); }

    TemporaryFolder home{"screens-feed"};
    MainThreadScope mainThread;
    standin::StandInService service;
    Ref<ombriAppDelegate> appDelegate;
    Ref<UIWindow> window;
};

}  // namespace feedtest
