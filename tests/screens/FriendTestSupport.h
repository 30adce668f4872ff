#pragma once
// Shared set-up of the people screens' tests: the screen at the root of a navigation stack in a
// visible window, an edition of the test's own (its configuration list and display name), taps where
// a person sees a control, and scrolling a table to its end.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableView.h"
#include "ShellTestSupport.h"

namespace friendtest {

// A JSON answer the client reads as UTF-8, as the service sends it.
inline standin::Response utf8Json(std::string body)
{
    standin::Response response;
    response.body = std::move(body);
    response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
    return response;
}

class FriendTest : public shelltest::ShellTest {
protected:
    void TearDown() override
    {
        UIAlertView::resetRecords();
        window = nullptr;
        navigation = nullptr;
        NSBundle::setMainBundlePath("");
        shelltest::ShellTest::TearDown();
    }

    // The application's resources in a bundle of the test's own, named "乐拍", whose configuration
    // list holds `configEntries` (plist dictionary entries) under "FindFriendVC".
    void useEdition(const std::string& configEntries)
    {
        namespace fs = std::filesystem;
        const fs::path bundle = home.path() + "/bundle-" + std::to_string(++bundles_);
        fs::create_directories(bundle);
        if (resources_.empty()) {
            resources_ = NSBundle::mainBundle()->bundlePath();
        }
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(resources_, error)) {
            // Not the files the test writes itself: through a link they would overwrite the application's.
            if (entry.path().filename() != "lumo-OEM-config.plist" && entry.path().filename() != "Info.plist") {
                fs::create_symlink(entry.path(), bundle / entry.path().filename(), error);
            }
        }
        std::ofstream(bundle / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
               "<key>CFBundleDisplayName</key><string>乐拍</string></dict></plist>";
        std::ofstream(bundle / "lumo-OEM-config.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>FindFriendVC</key><dict>"
            << configEntries << "</dict></dict></plist>";
        NSBundle::setMainBundlePath(bundle.string());
    }

    // The controller at the root of a navigation stack in the visible key window.
    template <class T>
    Ref<T> show(const Ref<T>& controller)
    {
        navigation = UINavigationController::initWithRootViewController(controller);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        if (windowMade) {
            windowMade(window);
        }
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        return controller;
    }

    // A finger taps the middle of the control where it shows in the window.
    void tap(const Ref<UIView>& control)
    {
        ASSERT_TRUE(control);
        window->layoutIfNeeded();
        const CGRect bounds = control->bounds();
        window->simulateTap(control->convertPoint_toView(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)), nullptr));
    }

    // The cell of a row, scrolled into view and laid out.
    Ref<UITableViewCell> cellAt(const Ref<UITableView>& table, NSInteger row, NSInteger section = 0)
    {
        auto indexPath = NSIndexPath::indexPathForRow_inSection(row, section);
        table->layoutIfNeeded();
        const CGRect rect = table->rectForRowAtIndexPath(indexPath);
        const CGFloat top = table->contentOffset().y;
        if (rect.origin.y < top || CGRectGetMaxY(rect) > top + table->frame().size.height) {
            table->scrollToRowAtIndexPath_atScrollPosition_animated(indexPath, UITableViewScrollPositionMiddle, false);
            table->layoutIfNeeded();
        }
        return table->cellForRowAtIndexPath(indexPath);
    }

    // The list dragged to its end, as far as it goes.
    static void scrollToEnd(const Ref<UITableView>& table)
    {
        table->layoutIfNeeded();
        const CGFloat end = std::max<CGFloat>(0, table->contentSize().height - table->frame().size.height);
        // From a little above, so that the drag is a move even when the list is already at its end.
        table->setContentOffset(CGPointMake(0, std::max<CGFloat>(0, end - 100)));
        table->setContentOffset(CGPointMake(0, end));
    }

    // Pumps the main thread until what is queued now has run.
    bool settled()
    {
        bool turned = false;
        dispatch_async(dispatch_get_main_queue(), [&] { turned = true; });
        return pumpMainUntil([&] { return turned; });
    }

    std::vector<standin::Request> posts(const std::string& path) const
    {
        std::vector<standin::Request> found;
        for (const standin::Request& request : service.server().requests(path)) {
            if (request.method == "POST") {
                found.push_back(request);
            }
        }
        return found;
    }

    Ref<UINavigationController> navigation;
    // Called with each new window before the screen goes into it.
    std::function<void(const Ref<UIWindow>&)> windowMade;

private:
    std::string resources_;
    int bundles_ = 0;
};

}  // namespace friendtest
