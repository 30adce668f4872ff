#include "social/SocialGalleryEntries.h"

#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "net/webimage/WebImageManager.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "social/MapVC.h"
#include "social/MessageBoxVC.h"
#include "social/SquareVC.h"
#include "social/StreamPlayerVC.h"
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

// Every picture asked for has arrived (or failed): nothing waits in the image cache or downloads.
bool imagesSettled()
{
    const Ref<WebImageManager> images = WebImageManager::sharedManager();
    return images->downloaders().empty() && images->pendingQueryCount() == 0;
}

// The screen's pending layout done, so the rows on show have asked for their pictures.
void layOut(const Ref<UIViewController>& controller)
{
    controller->view()->layoutIfNeeded();
    for (const Ref<UIView>& view : controller->view()->subviews()) {
        view->layoutIfNeeded();
    }
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
                        return shown && shown->peoples().count() > 0 && imagesSettled();
                    }});
    // The same page scrolled to its foot: the videos' section with its header tile.
    auto videos = std::make_shared<Weak<SquareVC>>();
    UIGallery::add({"square-videos", CGSizeMake(320, 480),
                    [videos](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *videos = inStack(window, SquareVC::create());
                    },
                    [videos] {
                        auto shown = videos->lock();
                        if (!shown || shown->channels().count() == 0 || !imagesSettled()) {
                            return false;
                        }
                        const Ref<UIScrollView> page = shown->scrollView();
                        page->setContentOffset(
                            CGPointMake(0, page->contentSize().height - page->bounds().size.height));
                        return true;
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
                        if (!shown || shown->visitors().count() == 0) {
                            return false;
                        }
                        layOut(shown);
                        return imagesSettled();
                    }});

    // The stream player a person without an account gets from a video tile, on the stream's picture.
    auto player = std::make_shared<Weak<StreamPlayerVC>>();
    UIGallery::add({"stream-player-playing", CGSizeMake(320, 480),
                    [player](const Ref<UIWindow>& window) {
                        auto root = UIViewController::create();
                        window->setRootViewController(root);
                        UIGallery::keep(root);
                        auto shown = StreamPlayerVC::initWithContentURL(PZRequest::apiBaseURL() + "stream/sc3001.mp4");
                        root->presentModalViewController_animated(shown, false);
                        *player = shown;
                    },
                    [player] {
                        auto shown = player->lock();
                        if (!shown || !shown->moviePlayer() ||
                            !(shown->moviePlayer()->loadState() & MPMovieLoadStatePlayable) ||
                            shown->moviePlayer()->view()->layer()->contents() == nullptr) {
                            return false;
                        }
                        // Held on the frame it shows: the stand-in's movie is a few seconds long, and the
                        // screen closes when it ends, which a slow machine may reach before the picture.
                        shown->moviePlayer()->pause();
                        return true;
                    }});

    // The message box once page 1 has arrived and the list is back at its top: rows of every kind,
    // covers of landscape, upright and wide videos, marks on the avatars of mark notices.
    auto box = std::make_shared<Weak<MessageBoxVC>>();
    UIGallery::add({"message-box", CGSizeMake(320, 480),
                    [box](const Ref<UIWindow>& window) {
                        UIGallery::keep(std::make_shared<LoggedIn>());
                        *box = inStack(window, MessageBoxVC::create());
                    },
                    [box] {
                        auto shown = box->lock();
                        if (!shown || shown->messages().isNil() || shown->isReloading() ||
                            shown->tableView()->isScrollAnimating() || shown->tableView()->contentOffset().y != 0) {
                            return false;
                        }
                        layOut(shown);
                        return imagesSettled();
                    }});
}
