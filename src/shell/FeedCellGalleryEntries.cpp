#include "shell/FeedCellGalleryEntries.h"
#include "platform/foundation/Configuration.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/RecordAccessors.h"
#include "api/Tool.h"
#include "capture/PPlayer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedViews.h"
#include "shell/HeaderView.h"
#include "shell/UploadControl.h"
#include "social/UIUserButton.h"

namespace {
namespace FeedCellGalleryEntries_cpp {

// A picture the stand-in service serves.
std::string picture(const std::string& name)
{
    return "http://" + Configuration::serviceHost() + "/img/" + name + ".png";
}

Value person(const char* suid, const char* nick, const char* avatar)
{
    return Value::dictionary({{"suid", suid}, {"nick", nick}, {"icon", picture(avatar)}});
}

Value owner() { return person("1001", "小明", "avatar-1001"); }
Value red() { return person("1002", "小红", "avatar-1002"); }
Value gang() { return person("1003", "阿刚", "avatar-1003"); }
Value li() { return person("1004", "小李", "avatar-1004"); }

// Record times (milliseconds) a few minutes before the gallery runs.
double finishTime() { return (Clock::wallNow() - 180) * 1000; }

Value comment(const Value& from, const char* text)
{
    return Value::dictionary({{"fromUser", from}, {"content", text}, {"createTime", finishTime()}});
}

Value video(const char* scid, const char* still, int width, int height, bool rows)
{
    Value ext = Value::dictionary({{"owner", owner()}, {"w", width}, {"h", height}, {"t", "西湖边的傍晚，微风正好"},
                                   {"locationText", "杭州西湖"}, {"cover", picture(still)},
                                   {"finishTime", finishTime()}, {"status", 1}, {"lengthNice", "00:12"}});
    // The still's address comes in two parts, as the service sends it: the folder and the file.
    const std::string address = picture(still);
    const size_t slash = address.rfind('/') + 1;
    Value pic = Value::dictionary({{"base", address.substr(0, slash)}, {"m", address.substr(slash)}});
    Value record = Value::dictionary({{"scid", scid}, {"ext", ext}, {"pic", pic}});
    if (rows) {
        record.setObject_forKey(
            Value::dictionary({{"result", Value::array({Value::dictionary({{"user", red()}, {"mark", 1}}),
                                                        Value::dictionary({{"user", gang()}, {"mark", 3}}),
                                                        Value::dictionary({{"user", li()}, {"mark", 5}})})}}),
            "mark");
        record.setObject_forKey(Value::dictionary({{"result", Value::array({red()})}}), "with");
        record.setObject_forKey(
            Value::dictionary({{"result", Value::array({comment(red(), "拍得真好！这是哪天拍的？"),
                                                        comment(gang(), "下次一起去")})},
                               {"total", 5}}),
            "comment");
    }
    return record;
}

Ref<UINavigationController> navigationFor(const Ref<UIWindow>& window)
{
    const Ref<UINavigationController> navigation = UINavigationController::initWithRootViewController(UIViewController::create());
    UIGallery::keep(navigation);
    window->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("plaid-bg.png")));
    return navigation;
}

Ref<FeedCellFull> addItem(const Ref<UIWindow>& window, const Ref<UINavigationController>& navigation, CGFloat& y,
                          const Value& item, bool haveHead, std::vector<Ref<FeedCellFull>>& cells)
{
    const Ref<FeedCellFull> cell = FeedCellFull::myinit_andReuse(navigation, kFeedCellReuseIdentifier);
    const CGFloat height = FeedCellFull::getHeight_haveHead(item, haveHead);
    cell->setFrame(CGRectMake(0, y, 320, height));
    cell->fullFillWithInfo_withHead_andNavigationController(item, haveHead, navigation);
    window->addSubview(cell);
    y += height;
    cells.push_back(cell);
    return cell;
}

// Every avatar and picture button under the view has its image from the service.
bool imagesArrived(const Ref<UIView>& view)
{
    if (view->isHidden()) {
        return true;
    }
    if (auto avatar = std::dynamic_pointer_cast<UIUserButton>(view)) {
        if (!avatar->userInfo()["icon"].isNil() && !avatar->backgroundImageForState(UIControlStateNormal)) {
            return false;
        }
    }
    // A video's still, which the player loads from the record's cover address.
    if (auto player = std::dynamic_pointer_cast<PPlayer>(view)) {
        if (!Channel_getCover(player->channel()).empty() && !player->coverImgv()->image()) {
            return false;
        }
    }
    for (const Ref<UIView>& child : view->subviews()) {
        if (!imagesArrived(child)) {
            return false;
        }
    }
    return true;
}

// The records name the service's pictures, so they are made when an entry is built (the gallery names
// the service's host only then); the heights do not depend on the addresses.
Value videoItem()
{
    return Value::dictionary(
        {{"type", "channel"}, {"channel", video("sc3001", "video-3001", 640, 480, true)}, {"selfmark", 2}});
}

UIGalleryEntry videoEntry(const std::string& name, bool haveHead)
{
    auto cells = std::make_shared<std::vector<Ref<FeedCellFull>>>();
    return {name, CGSizeMake(320, FeedCellFull::getHeight_haveHead(videoItem(), haveHead)),
            [cells, haveHead](const Ref<UIWindow>& window) {
                cells->clear();
                CGFloat y = 0;
                addItem(window, navigationFor(window), y, videoItem(), haveHead, *cells);
            },
            [cells] { return !cells->empty() && imagesArrived(cells->front()); }};
}

Value commentItem()
{
    return Value::dictionary(
        {{"type", "comment"},
         {"comment", Value::dictionary({{"fromUser", owner()}, {"toUser", red()}, {"content", "这个视频太有意思了"}})}});
}

Value followItem()
{
    return Value::dictionary(
        {{"type", "follow"}, {"follow", Value::dictionary({{"fromUser", owner()}, {"toUser", gang()}})}});
}

Value adItem()
{
    return Value::dictionary(
        {{"type", "ad"}, {"pos", Value::dictionary({{"pic", picture("ad-banner")}, {"action", "user"}, {"data", "1002"}})}});
}

Value forwardItem()
{
    return Value::dictionary({{"type", "forward"}, {"user", gang()}, {"content", "推荐大家看看这段夜景"},
                              {"channel", video("sc3002", "video-3002", 640, 360, false)}, {"selfmark", 0}});
}

UIGalleryEntry sentencesEntry()
{
    auto cells = std::make_shared<std::vector<Ref<FeedCellFull>>>();
    const CGFloat height = FeedCellFull::getHeight_haveHead(commentItem(), true) +
                           FeedCellFull::getHeight_haveHead(followItem(), false) +
                           FeedCellFull::getHeight_haveHead(adItem(), true);
    return {"feed-cells-comment-follow-ad", CGSizeMake(320, height),
            [cells](const Ref<UIWindow>& window) {
                cells->clear();
                const Ref<UINavigationController> navigation = navigationFor(window);
                CGFloat y = 0;
                addItem(window, navigation, y, commentItem(), true, *cells);
                addItem(window, navigation, y, followItem(), false, *cells);
                addItem(window, navigation, y, adItem(), true, *cells);
            },
            [cells] {
                for (const Ref<FeedCellFull>& cell : *cells) {
                    if (!imagesArrived(cell)) {
                        return false;
                    }
                }
                return !cells->empty() && cells->back()->adBody()->backgroundImageForState(UIControlStateNormal);
            }};
}

UIGalleryEntry forwardEntry()
{
    auto cells = std::make_shared<std::vector<Ref<FeedCellFull>>>();
    return {"feed-cell-forward", CGSizeMake(320, FeedCellFull::getHeight_haveHead(forwardItem(), true)),
            [cells](const Ref<UIWindow>& window) {
                cells->clear();
                CGFloat y = 0;
                addItem(window, navigationFor(window), y, forwardItem(), true, *cells);
            },
            [cells] { return !cells->empty() && imagesArrived(cells->front()); }};
}

UIGalleryEntry localEntry()
{
    auto cells = std::make_shared<std::vector<Ref<FeedCellFull>>>();
    return {"feed-cell-local-upload", CGSizeMake(320, 228), [cells](const Ref<UIWindow>& window) {
                cells->clear();
                const Ref<UINavigationController> navigation = navigationFor(window);
                const Ref<FeedCellFull> cell = FeedCellFull::myinit_andReuse(navigation, kLocalFeedCellReuseIdentifier);
                cell->setFrame(CGRectMake(0, 0, 320, 228));
                const std::string still = NSBundle::mainBundle()->pathForResource_ofType("default_cover", "png");
                cell->fullFillWithLocalInfo_andParentController(
                    Value::dictionary({{"guid", "gallery-guid"}, {"fn", "/nonexistent/gallery.mov"}, {"pic", still},
                                       {"status", 1}, {"upprocess", 45}}),
                    nullptr);
                window->addSubview(cell);
                cells->push_back(cell);
            }};
}

// A feed as the table shows it: a local upload in progress, a comment, the advertisement and a video.
class GalleryFeed : public NSObject, public UITableViewDataSource, public UITableViewDelegate {
public:
    Value items;
    Weak<UINavigationController> navigation;
    std::vector<Ref<FeedCellFull>> made;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override
    {
        return NSInteger(items.count());
    }
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& indexPath) override
    {
        return FeedCellFull::getHeight_haveHead(items[size_t(indexPath->row())], true);
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override
    {
        const Value item = items[size_t(indexPath->row())];
        const bool local = !item["fn"].isNil();
        const char* identifier = local ? kLocalFeedCellReuseIdentifier : kFeedCellReuseIdentifier;
        auto cell = std::dynamic_pointer_cast<FeedCellFull>(tableView->dequeueReusableCellWithIdentifier(identifier));
        if (!cell) {
            cell = FeedCellFull::myinit_andReuse(navigation.lock(), identifier);
            made.push_back(cell);
        }
        if (local) {
            cell->fullFillWithLocalInfo_andParentController(item, nullptr);
        } else {
            cell->fullFillWithInfo_withHead_andNavigationController(item, true, navigation.lock());
        }
        return cell;
    }
};

UIGalleryEntry tableEntry()
{
    auto feed = std::make_shared<Ref<GalleryFeed>>();
    return {"feed-cells-table", CGSizeMake(320, 480),
            [feed](const Ref<UIWindow>& window) {
                const Ref<UINavigationController> navigation = navigationFor(window);
                *feed = std::make_shared<GalleryFeed>();
                (*feed)->navigation = navigation;
                const std::string still = NSBundle::mainBundle()->pathForResource_ofType("default_cover", "png");
                (*feed)->items = Value::array(
                    {Value::dictionary({{"guid", "gallery-guid"}, {"fn", "/nonexistent/gallery.mov"}, {"pic", still},
                                        {"status", 4}, {"upprocess", 72}}),
                     commentItem(), adItem(), videoItem()});
                UIGallery::keep(*feed);
                const Ref<UITableView> table = UITableView::initWithFrame(window->bounds());
                table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
                table->setBackgroundColor(UIColor::clearColor());
                table->setDataSource(*feed);
                table->setDelegate(*feed);
                window->addSubview(table);
                table->reloadData();
            },
            [feed] {
                if (!*feed) {
                    return true;
                }
                for (const Ref<FeedCellFull>& cell : (*feed)->made) {
                    const bool ad = cell->info()["type"].stringValue() == "ad";
                    if (!imagesArrived(cell) || (ad && !cell->adBody()->backgroundImageForState(UIControlStateNormal))) {
                        return false;
                    }
                }
                return !(*feed)->made.empty();
            }};
}

UIGalleryEntry uploadControlEntry()
{
    return {"upload-control", CGSizeMake(288, UploadControl::kHeight), [](const Ref<UIWindow>& window) {
                registerFeedViews();
                window->setBackgroundColor(UIColor::blackColor());
                const std::vector<Ref<NSObject>> views = UINibRegistry::instantiate("CommonViews", nullptr);
                const auto control = views.size() > 6 ? std::dynamic_pointer_cast<UploadControl>(views[6]) : nullptr;
                if (control) {
                    control->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.8));
                    control->upload_pause()->setTitle_forState("继续", UIControlStateNormal);
                    control->progress()->setProgress(0.7f);
                    window->addSubview(control);
                }
            }};
}

// The header as the feed shows it: a person's page (320 x 320) or the home feed (320 x 160) with the
// cover in an image view behind it. The sign panel shows here, which the feed keeps hidden.
UIGalleryEntry headerEntry(const std::string& name, bool ownPage, bool home)
{
    auto header = std::make_shared<Ref<HeaderView>>();
    auto desktop = std::make_shared<Ref<UIImageView>>();
    return {name, CGSizeMake(320, home ? 160 : 320),
            [header, desktop, ownPage, home](const Ref<UIWindow>& window) {
                registerFeedViews();
                const Ref<UINavigationController> navigation = navigationFor(window);
                *header = std::dynamic_pointer_cast<HeaderView>(Tool::getHeaderViewFromNib(0));
                if (!*header) {
                    return;
                }
                Value signs = Value::array();
                if (ownPage) {
                    signs.addObject(video("sg1", "video-3001", 640, 480, false));
                    signs.addObject(video("sg2", "video-3002", 640, 360, false));
                }
                const Value user = Value::dictionary(
                    {{"suid", ownPage || home ? "1001" : "1002"}, {"nick", ownPage || home ? "小明" : "小红"},
                     {"icon", picture(ownPage || home ? "avatar-1001" : "avatar-1002")},
                     {"ext", Value::dictionary({{"cover", picture("cover-1001")}})},
                     {"eventCnt", Value::dictionary({{"follow", 12}, {"fans", 348}, {"event", 27}})},
                     {"sign", Value::dictionary({{"result", signs}})}});
                // The own page is the signed-in user's: the empty sign places offer a new sign.
                const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
                if (ownPage) {
                    appendUserInfo(Value("1001"), "suid");
                }
                if (home) {
                    *desktop = UIImageView::initWithFrame(CGRectMake(0, 0, 320, 160));
                    (*desktop)->setContentMode(UIViewContentModeScaleAspectFill);
                    (*desktop)->setClipsToBounds(true);
                    window->addSubview(*desktop);
                }
                (*header)->setFrame(CGRectMake(0, 0, 320, home ? 160 : 320));
                (*header)->fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(
                    user, navigation, home, ownPage || home ? 4 : 2, home ? *desktop : nullptr);
                if (home) {
                    (*header)->fullFillFansRemindWith(
                        Value::dictionary({{"fan", red()}, {"text", "小红等3人关注了你"}}));
                } else {
                    (*header)->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("plaid-bg.png")));
                }
                if (ownPage) {
                    (*header)->enterEditMode();
                    NSUserDefaults::standardUserDefaults()->setObject_forKey(account, kAcountInfoKey);
                }
                window->addSubview(*header);
            },
            [header, desktop, home] {
                if (!*header) {
                    return true;
                }
                const Ref<UIImageView> cover = home ? *desktop : (*header)->bkgimgv;
                const Ref<UIImage> avatar = (*header)->head->backgroundImageForState(UIControlStateNormal);
                // The person's own face, not the picture shown while it loads; the signs' stills too.
                return cover && cover->image() && cover->image() != UIImage::imageNamed("default_cover") &&
                       avatar && avatar != UIImage::imageNamed("missing-avatar.png") && imagesArrived(*header) &&
                       (!home || (*header)->headerMsg_userHead->image());
            }};
}

}  // namespace FeedCellGalleryEntries_cpp
}  // namespace

void registerFeedCellGalleryEntries()
{
    using namespace FeedCellGalleryEntries_cpp;
    UIGallery::add(videoEntry("feed-cell-video", true));
    UIGallery::add(videoEntry("feed-cell-video-no-head", false));
    UIGallery::add(sentencesEntry());
    UIGallery::add(forwardEntry());
    UIGallery::add(localEntry());
    UIGallery::add(tableEntry());
    UIGallery::add(uploadControlEntry());
    UIGallery::add(headerEntry("user-header-own-page", true, false));
    UIGallery::add(headerEntry("user-header-other-page", false, false));
    UIGallery::add(headerEntry("user-header-home", false, true));
}
