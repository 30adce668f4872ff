#include "shell/VideoPageGalleryEntries.h"
#include "platform/foundation/Configuration.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "capture/PPlayer.h"
#include "net/json/JsonParser.h"
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "shell/CommentCell.h"
#include "shell/FeedbackPopupView.h"
#include "shell/VideoMainPage.h"
#include "shell/ombriAppDelegate.h"

namespace {
namespace VideoPageGalleryEntries_cpp {

constexpr CGSize kScreen{320, 480};

// The account the page is shown for (its video sc3001 is the account's own), stored while an entry is
// drawn, with the application delegate whose window the panel opens on; both are taken away after.
constexpr char kAccount[] =
    R"({"status":200,"msg":"登录成功","token":"5f2b7c0e9a1d4e3f","suid":"1001","nick":"小明",)"
    R"("icon":"http://img.example/avatar/1001.jpg","canlive":true,"otherLoginMode":0})";

struct Session {
    explicit Session(const Ref<UIWindow>& window)
    {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(NSString_JsonParsing::JSONValue(kAccount), kAcountInfoKey);
        delegate = ombriAppDelegate::create();
        delegate->setWindow(window);
        UIApplication::sharedApplication()->setDelegate(delegate);
    }
    ~Session()
    {
        PPlayer::stop();
        UIApplication::sharedApplication()->setDelegate(nullptr);
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(kAcountInfoKey);
    }
    Ref<ombriAppDelegate> delegate;
};

std::string picture(const std::string& name)
{
    return "http://" + Configuration::serviceHost() + "/img/" + name + ".png";
}

// No picture is still on its way, and every button under the view that asked for one shows it.
bool imagesArrived(const Ref<UIView>& view)
{
    const Ref<WebImageManager> images = WebImageManager::sharedManager();
    if (!images->downloaders().empty() || images->pendingQueryCount() != 0) {
        return false;
    }
    std::function<bool(const Ref<UIView>&)> arrived = [&](const Ref<UIView>& part) {
        if (auto button = std::dynamic_pointer_cast<UIButton>(part)) {
            if (button->layer()->masksToBounds() && !button->backgroundImageForState(UIControlStateNormal)) {
                return false;
            }
        }
        for (const Ref<UIView>& child : part->subviews()) {
            if (!arrived(child)) {
                return false;
            }
        }
        return true;
    };
    return arrived(view);
}

// The page of a video at the root of a navigation stack; ready once its record, the rows on show and
// every picture (avatars, the video's still) are there.
struct PageState {
    Ref<VideoMainPage> page;
    bool ready() const
    {
        if (!page || page->getVideoFullInfo() || page->videoInfo().isNil()) {
            return false;
        }
        page->view()->layoutIfNeeded();
        page->table()->layoutIfNeeded();
        return page->player() && page->player()->coverImgv()->image() && imagesArrived(page->view());
    }
};

Ref<VideoMainPage> buildPage(const Ref<UIWindow>& window, const char* scid)
{
    UIGallery::keep(std::make_shared<Session>(window));
    const Ref<VideoMainPage> page = VideoMainPage::myinitWithType_data(VideoPageTypeVideo, Value(scid));
    const Ref<UINavigationController> navigation = UINavigationController::initWithRootViewController(page);
    window->setRootViewController(navigation);
    UIGallery::keep(navigation);
    return page;
}

UIGalleryEntry pageEntry()
{
    auto state = std::make_shared<PageState>();
    return {"video-page-comments", kScreen,
            [state](const Ref<UIWindow>& window) { state->page = buildPage(window, "sc3002"); },
            [state] { return state->ready(); }};
}

// The panel over the page of the account's own video, opened from the player's feedback button's place.
UIGalleryEntry panelEntry()
{
    auto state = std::make_shared<PageState>();
    auto panel = std::make_shared<Ref<FeedbackPopupView>>();
    return {"video-panel-own-video", kScreen,
            [state, panel](const Ref<UIWindow>& window) {
                *panel = nullptr;
                state->page = buildPage(window, "sc3001");
            },
            [state, panel] {
                if (!*panel) {
                    if (!state->ready()) {
                        return false;
                    }
                    // Opened where the player's feedback button stands (the page's player keeps it
                    // hidden and offers the mark beside the viewers instead), as the button would.
                    const Ref<PPlayer> player = state->page->player();
                    const Ref<UINavigationController> navigation = state->page->navigationController();
                    const CGPoint origin = player->convertPoint_toView(player->showFeedbackButton()->frame().origin,
                                                                       navigation->view());
                    *panel = FeedbackPopupView::showAtPostion_withChannel_andNavi(origin, state->page->videoInfo(), navigation);
                    return false;
                }
                return !(*panel)->visitedRequest() && !(*panel)->numberOfSeeThisVideo->text().empty() &&
                       imagesArrived(*panel);
            }};
}

Value person(const char* suid, const char* nick, const char* avatar)
{
    return Value::dictionary({{"suid", suid}, {"nick", nick}, {"icon", picture(avatar)}});
}

// The caption row, a one-line comment and a long one.
std::vector<Value> cellRecords()
{
    const double now = Clock::wallNow() * 1000;
    return {
        Value::dictionary({{"content", "西湖边的傍晚 - 在杭州西湖，提到了 老周"},
                           {"createTime", now - 3 * 3600 * 1000},
                           {"fromUser", person("1001", "小明", "avatar-1001")}}),
        Value::dictionary({{"content", "拍得真好，西湖的晚霞！"},
                           {"createTime", now - 20 * 60 * 1000},
                           {"fromUser", person("1002", "阿芳", "avatar-1002")}}),
        Value::dictionary({{"content", "回复@阿芳:是啊，那天傍晚的云特别好看，我们在断桥边等了快一个小时才拍到，"
                                       "下次一起去吧，顺便带上三脚架。"},
                           {"createTime", now - 90 * 1000},
                           {"fromUser", person("1003", "老周", "avatar-1003")}}),
    };
}

UIGalleryEntry cellsEntry()
{
    CGFloat height = 0;
    for (const Value& record : cellRecords()) {
        height += CommentCell::getHeightByInfo(record);
    }
    return {"comment-cells", CGSizeMake(320, height),
            [](const Ref<UIWindow>& window) {
                window->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("cell_bkg.png")));
                const Ref<UINavigationController> navigation =
                    UINavigationController::initWithRootViewController(UIViewController::create());
                UIGallery::keep(navigation);
                CGFloat y = 0;
                for (const Value& record : cellRecords()) {
                    const Ref<CommentCell> cell = CommentCell::fromNib();
                    const CGFloat rowHeight = CommentCell::getHeightByInfo(record);
                    cell->setFrame(CGRectMake(0, y, 320, rowHeight));
                    cell->fullfillWithInfo_andNavigationController(record, navigation);
                    window->addSubview(cell);
                    y += rowHeight;
                }
            },
            [] {
                for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {
                    if (window->isKeyWindow() && !imagesArrived(window)) {
                        return false;
                    }
                }
                return true;
            }};
}

}  // namespace VideoPageGalleryEntries_cpp
}  // namespace

void registerVideoPageGalleryEntries()
{
    using namespace VideoPageGalleryEntries_cpp;
    UIGallery::add(pageEntry());
    UIGallery::add(cellsEntry());
    UIGallery::add(panelEntry());
}
