#include "social/SocialGalleryEntries.h"

#include "api/LoginState.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "social/MapVC.h"
#include "social/SquareVC.h"
#include "social/TopicFollowedVC.h"

namespace {
namespace SocialGalleryEntries_cpp {

// The login an entry stores is taken back when the gallery lets the entry's objects go.
struct LoggedIn {
    LoggedIn()
    {
        storeUserInfo(Value::dictionary({{"status", Value(200)},
                                         {"token", Value("gallery")},
                                         {"suid", Value("1001")},
                                         {"nick", Value("小明的日常")},
                                         {"canlive", Value(false)},
                                         {"username", Value("xiaoming")}}));
    }
    ~LoggedIn()
    {
        if (isLogin()) {
            Logout();
        }
    }
};

// The controller as the root of a navigation stack in the window.
template <class T>
Ref<T> inStack(const Ref<UIWindow>& window, const Ref<T>& controller)
{
    auto navigation = UINavigationController::initWithRootViewController(controller);
    UIGallery::keep(navigation);
    window->setRootViewController(navigation);
    return controller;
}

void addTopics(const char* name, int kind)
{
    auto shown = std::make_shared<Weak<TopicFollowedVC>>();
    UIGallery::add({name, CGSizeMake(320, 480),
                    [shown, kind](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        auto topics = TopicFollowedVC::myinit(kind);
                        topics->setIsRoot(kind == 0);
                        *shown = inStack(window, topics);
                    },
                    [shown] {
                        auto topics = shown->lock();
                        return topics && topics->topicResult().count() > 0;
                    }});
}

}  // namespace SocialGalleryEntries_cpp
}  // namespace

void registerSocialGalleryEntries()
{
    using namespace SocialGalleryEntries_cpp;
    addTopics("topics-followed", 0);
    addTopics("topics-all", 1);

    auto square = std::make_shared<Weak<SquareVC>>();
    UIGallery::add({"square-tiles", CGSizeMake(320, 480),
                    [square](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *square = inStack(window, SquareVC::create());
                    },
                    [square] {
                        auto shown = square->lock();
                        return shown && shown->peoples().count() > 0;
                    }});

    auto map = std::make_shared<Weak<MapVC>>();
    UIGallery::add({"place-map-visitors", CGSizeMake(320, 480),
                    [map](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *map = inStack(window, MapVC::myinitWithChannel(Value::dictionary(
                                                   {{"scid", Value("sc3001")},
                                                    {"ext", Value::dictionary({{"location", Value("30.25,120.16")}})}})));
                    },
                    [map] {
                        auto shown = map->lock();
                        return shown && shown->visitors().count() > 0;
                    }});
}
