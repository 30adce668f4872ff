// Gallery entries of the publish screen and its pickers. They need servers beside the gallery's
// stand-in service: one whose topic and friend lists are long enough to page, and the place search
// stand-in over TLS; both live for the whole run (the screens' requests may outlast an entry), and
// the service host points at the first only while an entry loads.
#include <cstdlib>
#include <memory>
#include <string>

#include "api/LoginState.h"
#include "capture/ShareLocationController.h"
#include "capture/ShareWithSomebodyController.h"
#include "capture/TopicViewController.h"
#include "capture/VideoShareController.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "servers/PlaceSearchServer.h"
#include "service/ImageRoutes.h"
#include "service/PickerRoutes.h"
#include "service/StandInService.h"

namespace gallery {

namespace {
namespace PublishEntries_cpp {

constexpr double kLat = 31.2304, kLng = 121.4737;

// The service with long lists, for the whole run.
standin::StandInService& pickerService()
{
    static standin::StandInService& service = [] () -> standin::StandInService& {
        auto* made = new standin::StandInService({.lifetime = std::chrono::minutes(10)});
        standin::installTopicPages(made->server(), 26);
        standin::installFollowPages(made->server(), 12, "http://" + made->hostPort() + "/img/avatar-100");
        return *made;
    }();
    return service;
}

// The friends' avatars cycle through the service's four pictures.
std::string avatar(int n)
{
    return standin::imageUrl(pickerService().hostPort(), "avatar-100" + std::to_string(1 + n % 4));
}

TestServers::PlaceSearchServer& placeSearch()
{
    static TestServers::PlaceSearchServer& server = [] () -> TestServers::PlaceSearchServer& {
        // Kept for the life of the program like the server, so the leak checker sees it held.
        static auto* authority = new TestServers::TestCertificateAuthority;
        SecTrustAnchors::add(SecCertificate::createWithPEM(authority->certificate().certificatePEM));
        return *new TestServers::PlaceSearchServer(*authority, 600);
    }();
    return server;
}

// Points the service host at the picker service for the entry's build; ready() puts it back.
class HostSwap {
public:
    HostSwap()
    {
        const char* old = std::getenv("OMBRI_SERVICE_HOST");
        previous_ = old ? old : "";
        ::setenv("OMBRI_SERVICE_HOST", pickerService().hostPort().c_str(), 1);
    }
    void restore()
    {
        if (!restored_) {
            ::setenv("OMBRI_SERVICE_HOST", previous_.c_str(), 1);
            restored_ = true;
        }
    }

private:
    std::string previous_;
    bool restored_ = false;
};

void logIn(bool linked)
{
    storeUserInfo(Value::dictionary({{"status", Value(200)},
                                     {"token", Value("gallery-token")},
                                     {"suid", Value("1001")},
                                     {"username", Value("xiaoming")},
                                     {"nick", Value("小明")},
                                     {"icon", Value(avatar(0))},
                                     {"bindLumoWeibo", Value(linked)},
                                     {"bindQWeibo", Value(linked)}}));
}

Value friendRecord(int n, const char* nick)
{
    return Value::dictionary({{"suid", Value(std::to_string(2000 + n))}, {"nick", Value(nick)}, {"icon", Value(avatar(n))}});
}

// Every image view in the tree has its picture (web images have arrived).
bool imagesLoaded(const Ref<UIView>& view, const Ref<UIImage>& placeholder)
{
    if (auto image = std::dynamic_pointer_cast<UIImageView>(view)) {
        if (placeholder && image->image() == placeholder) {
            return false;
        }
    }
    for (const Ref<UIView>& child : view->subviews()) {
        if (!imagesLoaded(child, placeholder)) {
            return false;
        }
    }
    return true;
}

UIGalleryEntry publishScreenEntry(const std::string& name, bool filled)
{
    auto screen = std::make_shared<Weak<VideoShareController>>();
    auto swap = std::make_shared<HostSwap>();
    return {name, CGSizeMake(320, 480),
            [screen, swap, filled](const Ref<UIWindow>& window) {
                *swap = HostSwap();
                logIn(filled);
                auto share = VideoShareController::create();
                if (filled) {
                    share->setTopic(Value("#西湖#"));
                }
                *screen = share;
                UIGallery::keep(share);
                window->setRootViewController(
                    UINavigationController::initWithRootViewController(UIViewController::create()));
                auto navigation = std::static_pointer_cast<UINavigationController>(window->rootViewController());
                navigation->pushViewController_animated(share, false);
                if (filled) {
                    share->message->setText("傍晚和朋友们在断桥边散步，晚霞太美了");
                    share->viewWillAppear(false);
                    share->locationWithCoord_place({30.2587, 120.1526}, "断桥残雪");
                    share->withSomebody(Value::array({friendRecord(1, "阿芳"), friendRecord(2, "王大锤")}));
                }
            },
            [screen, swap, filled] {
                auto share = screen->lock();
                const bool done = share && (!filled || (share->withSomebodyButton2->backgroundImageForState(
                                                            UIControlStateNormal) != nullptr &&
                                                        share->avatarButton->backgroundImageForState(UIControlStateNormal)));
                if (done) {
                    swap->restore();
                }
                return done;
            }};
}

UIGalleryEntry topicPickerEntry(const std::string& name, bool searching)
{
    auto picker = std::make_shared<Weak<TopicViewController>>();
    auto swap = std::make_shared<HostSwap>();
    return {name, CGSizeMake(320, 480),
            [picker, swap, searching](const Ref<UIWindow>& window) {
                *swap = HostSwap();
                logIn(false);
                NSUserDefaults::standardUserDefaults()->setObject_forKey(
                    Value::dictionary({{"stpid", Value("t4103")}, {"topic", Value("#旅行#")}, {"isnew", Value(0)}}),
                    kLastSelectedTopicKey);
                auto share = VideoShareController::create();
                auto topics = TopicViewController::create();
                topics->setDelegate(share);
                *picker = topics;
                auto navigation = UINavigationController::initWithRootViewController(share);
                navigation->pushViewController_animated(topics, false);
                window->setRootViewController(navigation);
            },
            [picker, swap, searching] {
                auto topics = picker->lock();
                if (!topics || topics->tableView()->numberOfSections() < 2) {
                    return false;
                }
                swap->restore();
                if (searching && !topics->searchDisplayController()->isActive()) {
                    topics->searchDisplayController()->searchBar()->becomeFirstResponder();
                    UIKeyboard::typeText("西");
                }
                return true;
            }};
}

// The picker as it opens (nobody chosen), or with four people chosen (chips on two rows).
UIGalleryEntry friendPickerEntry(const std::string& name, bool choose)
{
    auto picker = std::make_shared<Weak<ShareWithSomebodyController>>();
    auto swap = std::make_shared<HostSwap>();
    auto chosen = std::make_shared<bool>(!choose);
    return {name, CGSizeMake(320, 480),
            [picker, swap, chosen, choose](const Ref<UIWindow>& window) {
                *swap = HostSwap();
                *chosen = !choose;
                logIn(false);
                auto share = VideoShareController::create();
                auto friends = ShareWithSomebodyController::create();
                *picker = friends;
                auto navigation = UINavigationController::initWithRootViewController(share);
                navigation->pushViewController_animated(friends, false);
                window->setRootViewController(navigation);
            },
            [picker, swap, chosen] {
                auto friends = picker->lock();
                if (!friends || friends->tableView()->numberOfRowsInSection(0) == 0) {
                    return false;
                }
                swap->restore();
                if (!*chosen) {
                    *chosen = true;
                    for (NSInteger row : {0, 2, 7, 4}) {
                        friends->tableView()->simulateTapOnRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, 0));
                    }
                }
                return imagesLoaded(friends->tableView(), UIImage::imageNamed("missing-avatar.png"));
            }};
}

UIGalleryEntry placePickerEntry()
{
    auto picker = std::make_shared<Weak<ShareLocationController>>();
    return {"place-picker", CGSizeMake(320, 480),
            [picker](const Ref<UIWindow>& window) {
                ::setenv("OMBRI_PLACE_SEARCH_HOST", placeSearch().hostPort().c_str(), 1);
                CLLocationManager::setLocationServicesEnabled(true);
                CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusAuthorized);
                CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(kLat, kLng));
                MKReverseGeocoder::setPlacemarks({{.coordinate = {kLat, kLng},
                                                   .locality = "上海市",
                                                   .subLocality = "黄浦区",
                                                   .thoroughfare = "人民大道",
                                                   .subThoroughfare = "200号"}});
                auto share = VideoShareController::create();
                auto places = ShareLocationController::create();
                *picker = places;
                auto navigation = UINavigationController::initWithRootViewController(share);
                navigation->pushViewController_animated(places, false);
                window->setRootViewController(navigation);
            },
            [picker] {
                auto places = picker->lock();
                return places && places->tableView()->numberOfRowsInSection(0) > 0 && places->pointAnnotation() &&
                       !places->pointAnnotation()->subtitle().empty();
            }};
}

}  // namespace PublishEntries_cpp
}  // namespace

void registerPublishEntries()
{
    using namespace PublishEntries_cpp;
    UIGallery::add(publishScreenEntry("publish-screen-empty", false));
    UIGallery::add(publishScreenEntry("publish-screen-filled", true));
    UIGallery::add(topicPickerEntry("topic-picker", false));
    UIGallery::add(topicPickerEntry("topic-picker-search", true));
    UIGallery::add(friendPickerEntry("friend-picker", false));
    UIGallery::add(friendPickerEntry("friend-picker-two-rows", true));
    UIGallery::add(placePickerEntry());
}

}  // namespace gallery
