#include "shell/ShellGalleryEntries.h"

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "shell/FeedVC.h"
#include "shell/MenuVC.h"
#include "shell/RootViewController.h"
#include "shell/ombriAppDelegate.h"
#include "social/FriendVC.h"

namespace {
namespace ShellGalleryEntries_cpp {

// What an entry sets up for the process (a login, the shared bridge object, g_root) is taken back when
// the gallery lets the entry's objects go, so later entries start logged out.
struct ProcessState {
    ~ProcessState()
    {
        g_root = nullptr;
        if (isLogin()) {
            Logout();
        }
        g_ffmpeg.set(nullptr);
    }
};

enum class Panel { None, Menu, Friends };

Ref<RootViewController> buildRoot(const Ref<UIWindow>& window, bool loggedIn, Panel panel, bool firstLogin = true)
{
    UIGallery::keep(std::make_shared<ProcessState>());
    auto ffmpeg = PZFFmpeg::create();
    ffmpeg->setRemind(NSString_JsonParsing::JSONValue(
        R"({"status":200,"sys":{"cnt":3,"text":"你的视频被推荐到了广场"},"fans":{"cnt":1}})"));
    g_ffmpeg.set(ffmpeg);
    if (loggedIn) {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("gallery")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("小明的日常")},
                                         {"username", Value("xiaoming")}}));
        if (!firstLogin) {
            TipsShowed();
        }
    }
    auto root = RootViewController::create();
    g_root = root;
    UIGallery::keep(root);
    window->setRootViewController(root);
    if (panel == Panel::Menu) {
        root->showMenuIntern();
        root->addTapView();
        root->topView()->setCenter(CGPointMake(SliderController::kLeftPanelCenterX, root->topView()->center().y));
    } else if (panel == Panel::Friends) {
        root->showFriendIntern();
        root->addTapView();
        root->topView()->setCenter(CGPointMake(SliderController::kRightPanelCenterX, root->topView()->center().y));
    }
    return root;
}

}  // namespace ShellGalleryEntries_cpp
}  // namespace

void registerShellGalleryEntries()
{
    using namespace ShellGalleryEntries_cpp;
    const CGSize screen = CGSizeMake(320, 480);
    UIGallery::add({"shell-root-square-logged-out", screen,
                    [](const Ref<UIWindow>& window) { buildRoot(window, false, Panel::None); }});
    UIGallery::add({"shell-menu-open", screen,
                    [](const Ref<UIWindow>& window) { buildRoot(window, true, Panel::Menu); }});
    UIGallery::add({"shell-menu-open-logged-out", screen,
                    [](const Ref<UIWindow>& window) { buildRoot(window, false, Panel::Menu); }});
    // The people panel opened over the home feed of an account past its first login. As in the
    // application, the panel asks for its list once it has slid open, after the feed's first page
    // (whose reply points the panel at the feed's person and so drops any list held).
    struct FriendsPanel {
        Weak<RootViewController> root;
        bool asked = false;
    };
    auto friends = std::make_shared<FriendsPanel>();
    UIGallery::add({"shell-slider-friends-panel", screen,
                    [friends](const Ref<UIWindow>& window) {
                        friends->root = buildRoot(window, true, Panel::Friends, false);
                        friends->asked = false;
                    },
                    [friends] {
                        const Ref<RootViewController> root = friends->root.lock();
                        if (!root || !root->friendList() || !root->feedNavi()) {
                            return true;
                        }
                        if (!friends->asked) {
                            auto home = std::dynamic_pointer_cast<FeedVC>(root->feedNavi()->topViewController());
                            if (home && (home->channels().isNil() || home->getNewRequest())) {
                                return false;
                            }
                            root->rightDidShow();
                            friends->asked = true;
                        }
                        if (root->friendList()->getCurrentSelectedArray().count() == 0) {
                            return false;
                        }
                        const Ref<UITableView> table = root->friendList()->table();
                        table->layoutIfNeeded();
                        const auto placeholder = UIImage::imageNamed("missing-avatar.png");
                        for (const Ref<UITableViewCell>& cell : table->visibleCells()) {
                            if (auto row = std::dynamic_pointer_cast<FriendListCell>(cell)) {
                                const auto avatar = row->head()->backgroundImageForState(UIControlStateNormal);
                                if (!avatar || avatar == placeholder) {
                                    return false;
                                }
                            }
                        }
                        return !table->visibleCells().empty();
                    }});
    UIGallery::add({"shell-net-error", screen, [](const Ref<UIWindow>& window) {
                        // An account past its first login: the error stands alone over the feed.
                        buildRoot(window, true, Panel::None, false);
                        auto delegate = ombriAppDelegate::create();
                        delegate->setWindow(window);
                        UIGallery::keep(delegate);
                        UIApplication::sharedApplication()->setDelegate(delegate);
                        ShowNetError(Value());
                    }});
}
