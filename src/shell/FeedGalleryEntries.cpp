#include "shell/FeedGalleryEntries.h"

#include <memory>

#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "net/json/JsonParser.h"
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "shell/FeedVC.h"
#include "shell/ombriAppDelegate.h"
#include "shell/GuideViewController.h"

namespace {
namespace FeedGalleryEntries_cpp {

constexpr CGSize kScreen{320, 480};

// The account the feeds are shown for; stored while an entry is drawn and taken away afterwards, so
// the entries of other screens see the state they expect.
constexpr char kAccount[] =
    R"({"status":200,"msg":"登录成功","token":"5f2b7c0e9a1d4e3f","suid":"1001","nick":"小明",)"
    R"("icon":"http://img.example/avatar/1001.jpg","cover":"http://img.example/cover/1001.jpg",)"
    R"("canlive":true,"otherLoginMode":0,"kFirstLogTipKey":"kFirstLogTipValue"})";

struct Session {
    Session()
    {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(NSString_JsonParsing::JSONValue(kAccount),
                                                                 kAcountInfoKey);
        hadEngine = g_ffmpeg.get() != nullptr;
        if (!hadEngine) {
            g_ffmpeg.set(PZFFmpeg::create());
        }
    }
    ~Session()
    {
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(kAcountInfoKey);
        if (!hadEngine) {
            g_ffmpeg.set(nullptr);
        }
        CLLocationManager::resetForTesting();
    }
    bool hadEngine = false;
};

// Builds a feed of the kind at the root of a navigation stack in the window; ready once its first
// page arrived.
UIGalleryEntry feedEntry(const char* name, int type, const char* suid, std::function<void(const Ref<FeedVC>&)> after = {})
{
    auto feed = std::make_shared<Ref<FeedVC>>();
    return {name, kScreen,
            [feed, type, suid](const Ref<UIWindow>& window) {
                UIGallery::keep(std::make_shared<Session>());
                if (type == FeedTypeNearby) {
                    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(30.25, 120.125));
                }
                *feed = FeedVC::myinitWithType_andSuid(type, suid);
                auto navigation = UINavigationController::initWithRootViewController(*feed);
                window->setRootViewController(navigation);
                UIGallery::keep(navigation);
                UIGallery::keep(*feed);
            },
            [feed, after] {
                const Ref<FeedVC> shown = *feed;
                if (!shown || shown->getNewRequest() || shown->channels().isNil()) {
                    return false;
                }
                // The rows on show are laid out and every picture they asked for has arrived.
                shown->view()->layoutIfNeeded();
                shown->table()->layoutIfNeeded();
                const Ref<WebImageManager> images = WebImageManager::sharedManager();
                if (!images->downloaders().empty() || images->pendingQueryCount() != 0) {
                    return false;
                }
                if (after) {
                    after(shown);
                }
                *feed = nullptr;
                return true;
            }};
}

UIGalleryEntry guideEntry(const std::string& name, CGFloat offset)
{
    return {name, kScreen, [offset](const Ref<UIWindow>& window) {
                auto guide = GuideViewController::initWithNibName_bundle("GuideViewController", nullptr);
                window->setRootViewController(guide);
                guide->scrollView()->setContentOffset(CGPointMake(offset, 0));
                guide->scrollViewDidScroll(guide->scrollView());
                UIGallery::keep(guide);
            }};
}

}  // namespace FeedGalleryEntries_cpp
}  // namespace

void registerFeedGalleryEntries()
{
    using namespace FeedGalleryEntries_cpp;
    UIGallery::add(feedEntry("feed-home", FeedTypeHome, "1001", [](const Ref<FeedVC>&) {
        if (auto ffmpeg = g_ffmpeg.get()) {
            ffmpeg->setRemind(NSString_JsonParsing::JSONValue(
                R"({"sys":{"cnt":3,"text":"你的视频《西湖边的傍晚》被推荐到了广场","action":"chan","data":"sc3001"}})"));
        }
        NSNotificationCenter::defaultCenter()->postNotificationName_object(kSystemRemindNotification);
    }));
    UIGallery::add(feedEntry("feed-newest", FeedTypeNewest, ""));
    UIGallery::add(feedEntry("feed-topic", FeedTypeTopic, "t4001"));
    UIGallery::add(feedEntry("feed-nearby", FeedTypeNearby, ""));
    // Each of the guide's six pages (the last with its start button).
    for (int page = 0; page < kGuidePageCount; ++page) {
        UIGallery::add(guideEntry(stringWithFormat("guide-page-%d", page + 1), CGFloat(320 * page)));
    }
}
