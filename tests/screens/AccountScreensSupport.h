#pragma once
// Shared set-up of the account screens' tests: a fresh home folder and the application's own bundle,
// the stand-in service (and, for the microblog flows, the stand-in OAuth providers), a visible window
// whose root controller presents the screens, and an application delegate that records what the
// screens ask of the shell.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "fixtures/TemporaryFolder.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "service/AccountRoutes.h"
#include "service/ApiRoutes.h"
#include "service/StandInService.h"
#include "social/ScreenEdition.h"

namespace accounttest {

// A JSON answer in UTF-8, as the service sends them.
inline standin::Response jsonReply(std::string body)
{
    standin::Response response;
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    response.body = std::move(body);
    return response;
}

// What the screens asked of the application delegate, in order.
class RecordingShell : public UIApplicationDelegate, public ApplicationServices {
public:
    void displayMainWindowBy(int index) override { calls.push_back("displayMainWindowBy " + std::to_string(index)); }
    void presentLogin() override { calls.push_back("presentLogin"); }
    void showNetError(const Value& text) override { calls.push_back("showNetError " + text.description()); }
    std::vector<std::string> calls;
};

class AccountScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path().empty());
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path() + "/home"));
        const char* bin = std::getenv("OMBRI_BIN_DIR");
        ASSERT_TRUE(bin != nullptr);
        NSBundle::setMainBundlePath(std::string(bin) + "/resources");
        UIImage::installImageCodecs();
        NSUserDefaults::resetStandardUserDefaults();
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        UIImagePickerController::resetAvailability();
        UIKeyboard::reset();
        setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        UIApplication::sharedApplication()->setDelegate(shell);
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        window->setHidden(true);
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        UIKeyboard::reset();
        UIApplication::sharedApplication()->setDelegate(nullptr);
        ScreenEdition::setWordForTesting("");
        unsetenv("OMBRI_SERVICE_HOST");
        NSBundle::setMainBundlePath("");
        NSUserDefaults::resetStandardUserDefaults();
    }

    // Stores the stand-in's login reply as the logged-in account, with changes to some keys.
    void logIn(std::initializer_list<std::pair<const char*, Value>> changes = {})
    {
        Value account =
            NSString_JsonParsing::JSONValue(standin::accountReplyWithImages(service.hostPort(), 0)).mutableCopy();
        for (const auto& [key, value] : changes) {
            if (value.isNil()) {
                account.removeObjectForKey(key);
            } else {
                account.setObject_forKey(value, key);
            }
        }
        storeUserInfo(account);
    }
    Value account() { return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey); }

    // Pushes a screen on a navigation controller presented over the root, with the screen under it.
    Ref<UINavigationController> presentOnStack(const Ref<UIViewController>& screen)
    {
        flow = UINavigationController::initWithRootViewController(UIViewController::create());
        root->presentModalViewController_animated(flow, false);
        flow->pushViewController_animated(screen, false);
        screen->view();
        drainMain();
        return flow;
    }
    // Types into a field as a person would: focus, then one key per character.
    static void type(const Ref<UITextField>& field, const std::string& text)
    {
        field->becomeFirstResponder();
        field->setText("");
        UIKeyboard::typeText(text);
    }
    static Ref<UIAlertView> alert() { return UIAlertView::currentAlert(); }
    // Waits until an alert is on show.
    static bool alertShown() { return pumpMainUntil([] { return UIAlertView::currentAlert() != nullptr; }); }
    size_t requestCount(const std::string& path) { return service.server().requests(path).size(); }

    TemporaryFolder home{"screens-account-test"};
    MainThreadScope mainThread;
    standin::StandInService service;
    std::shared_ptr<RecordingShell> shell = std::make_shared<RecordingShell>();
    Ref<UIWindow> window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    Ref<UIViewController> root = UIViewController::create();
    Ref<UINavigationController> flow;
};

}  // namespace accounttest
