#include "social/FriendsGalleryEntries.h"

#include <functional>

#include "api/LoginState.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "social/FindFriendResult.h"
#include "social/FindFriendVC.h"
#include "social/IdolTVC.h"
#include "social/UIUserButton.h"

namespace {
namespace FriendsGalleryEntries_cpp {

// The login an entry stores is taken back when the gallery lets the entry's objects go.
struct LoggedIn {
    LoggedIn()
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("gallery")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("小明的日常")},
                                         {"username", Value("xiaoming")}}));
    }
    ~LoggedIn()
    {
        if (isLogin()) {
            Logout();
        }
    }
};

// An edition whose find-friends screen has the advertisement strip.
class FindFriendWithAd : public FindFriendVC {
public:
    Value loadConfig() override
    {
        Value config = EditionConfig::entryForClass("FindFriendVC").mutableCopy();
        if (!config.isDictionary()) {
            config = Value::dictionary({});
        }
        config.setObject_forKey(Value(true), "ad");
        return config;
    }
};

template <class T>
Ref<T> inStack(const Ref<UIWindow>& window, const Ref<T>& controller)
{
    auto navigation = UINavigationController::initWithRootViewController(controller);
    UIGallery::keep(navigation);
    window->setRootViewController(navigation);
    return controller;
}

// Every avatar showing under the view has its picture from the service, not the stand-in one.
bool avatarsArrived(const Ref<UIView>& view)
{
    if (view->isHidden()) {
        return true;
    }
    if (auto avatar = std::dynamic_pointer_cast<UIUserButton>(view)) {
        const Ref<UIImage> shown = avatar->backgroundImageForState(UIControlStateNormal);
        if (!shown || shown == UIImage::imageNamed("missing-avatar.png")) {
            return false;
        }
    }
    for (const Ref<UIView>& child : view->subviews()) {
        if (!avatarsArrived(child)) {
            return false;
        }
    }
    return true;
}

// Ready once the list has rows and the rows on screen show their avatars.
bool rowsReady(const Ref<UITableView>& table, size_t rows)
{
    if (!table || rows == 0) {
        return false;
    }
    table->layoutIfNeeded();
    const auto cells = table->visibleCells();
    if (cells.empty()) {
        return false;
    }
    for (const Ref<UITableViewCell>& cell : cells) {
        if (!avatarsArrived(cell)) {
            return false;
        }
    }
    return true;
}

void addFindFriends(const char* name, std::function<Ref<FindFriendVC>()> make)
{
    auto shown = std::make_shared<Weak<FindFriendVC>>();
    UIGallery::add({name, CGSizeMake(320, 480),
                    [shown, make](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *shown = inStack(window, make());
                    },
                    [shown] {
                        auto screen = shown->lock();
                        return screen && rowsReady(screen->table(), screen->possibleKnownPeoples().count());
                    }});
}

void addResult(const char* name, const char* kind)
{
    auto shown = std::make_shared<Weak<FindFriendResult>>();
    UIGallery::add({name, CGSizeMake(320, 480),
                    [shown, kind](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *shown = inStack(window, FindFriendResult::myinit(kind));
                    },
                    [shown] {
                        auto screen = shown->lock();
                        return screen && rowsReady(screen->tableView(), screen->userResult().count());
                    }});
}

}  // namespace FriendsGalleryEntries_cpp
}  // namespace

void registerFriendsGalleryEntries()
{
    using namespace FriendsGalleryEntries_cpp;
    addFindFriends("find-friends", [] { return FindFriendVC::create(); });
    addFindFriends("find-friends-ad", [] { return Ref<FindFriendVC>(FindFriendVC::make<FindFriendWithAd>()); });
    addResult("find-friends-result-lumo", "lumo");
    addResult("find-friends-result-qq", "qq");
    addResult("find-friends-result-search", "小");

    auto idols = std::make_shared<Weak<IdolTVC>>();
    UIGallery::add({"recommended-people", CGSizeMake(320, 480),
                    [idols](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *idols = inStack(window, IdolTVC::create());
                    },
                    [idols] {
                        auto screen = idols->lock();
                        return screen && rowsReady(screen->table(), screen->result().count());
                    }});
}
