#include "social/SquareVC.h"

#include "api/Categories.h"
#include "api/Edition.h"
#include "api/LoginState.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "bridge/PZFFmpeg.h"
#include "capture/PZVideoCaptureController.h"
#include "capture/VideoShareController.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScreen.h"
#include "shell/FeedVC.h"
#include "shell/RootViewController.h"
#include "shell/VideoMainPage.h"
#include "social/FindFriendVC.h"
#include "social/IdolTVC.h"
#include "social/StreamPlayerVC.h"
#include "social/TopicFollowedVC.h"

namespace {
namespace SquareVC_cpp {

constexpr size_t kPeopleTiles = 20;
constexpr size_t kBigTiles = 5;
constexpr NSInteger kPeopleTagBase = 100;
constexpr NSInteger kTopicTagBase = 200;
constexpr NSInteger kChannelTagBase = 300;
constexpr NSInteger kCaptionTag = 400;

bool accountCanLive()
{
    return NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey)["canlive"].boolValue();
}

// The big tiles: two beside the header tile, then rows of three under it.
CGPoint bigTileOrigin(size_t index)
{
    const size_t row = index < 2 ? 0 : (index - 2) / 3 + 1;
    const size_t column = index < 2 ? index + 1 : (index - 2) % 3;
    return CGPointMake(CGFloat(column) * 98 + 5, CGFloat(row) * 98 + 8);
}

// The people tiles: two rows of four beside the header tile, then rows of six under it.
CGPoint peopleTileOrigin(size_t index)
{
    const size_t row = index < 8 ? index / 4 : (index - 8) / 6 + 2;
    const size_t column = index < 8 ? index % 4 + 2 : (index - 8) % 6;
    return CGPointMake(CGFloat(column) * 49 + 5, CGFloat(row) * 49 + 8);
}

Ref<UIButton> tile(CGRect frame, NSInteger tag)
{
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setTag(tag);
    button->layer()->setBorderColor(UIColor::colorWithWhite_alpha(0.667, 1)->CGColor());
    button->layer()->setBorderWidth(1);
    return button;
}

// The index of the tapped tile in its list, or -1 when the tile has no item.
long itemIndex(const Ref<UIButton>& sender, NSInteger tagBase, const Value& list)
{
    if (!sender) {
        return -1;
    }
    const NSInteger index = sender->tag() - tagBase;
    return index >= 0 && size_t(index) < list.count() ? long(index) : -1;
}

Ref<UIImage> image(const std::string& name) { return UIImage::imageNamed(name); }

}  // namespace SquareVC_cpp
}  // namespace

Ref<SquareVC> SquareVC::create() { return make<SquareVC>(); }

SquareVC::~SquareVC()
{
    if (getDataRequest_) {
        getDataRequest_->clearDelegatesAndCancel();
    }
}

Ref<UIView> SquareVC::makeSection(CGFloat y, Ref<UIView>& inner)
{
    auto section = UIView::initWithFrame(CGRectMake(5, y, 310, 215));
    const Ref<UIImage> picture = UIImage::imageNamed("activity-photo-frame.png");  // missing in a damaged install
    auto frame = UIImageView::initWithImage(picture ? picture->stretchableImageWithLeftCapWidth_topCapHeight(5, 5) : nullptr);
    frame->setFrame(section->bounds());
    section->addSubview(frame);
    inner = UIView::initWithFrame(CGRectMake(5, 5, 300, 205));
    inner->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.894, 0.894, 0.894, 1));
    section->addSubview(inner);
    scrollView_->addSubview(section);
    return section;
}

void SquareVC::loadView()
{
    using namespace SquareVC_cpp;
    PZViewController::loadView();
    scrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, 320, 416));
    scrollView_->setContentSize(CGSizeMake(320, 690));
    view()->addSubview(scrollView_);

    Ref<UIView> peopleInner, topicInner, channelInner;
    peopleMainView_ = makeSection(10, peopleInner);
    topicMainView_ = makeSection(235, topicInner);
    channelMainView_ = makeSection(460, channelInner);

    const auto header = [&](const Ref<UIView>& inner, const std::string& imageName, UIControlAction action) {
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setFrame(CGRectMake(5, 8, 93, 93));
        button->setBackgroundImage_forState(image(imageName), UIControlStateNormal);
        button->addTarget_action_forControlEvents(self<NSObject>(), std::move(action), UIControlEventTouchUpInside);
        inner->addSubview(button);
        return button;
    };
    peopleHeaderButton_ = header(peopleInner, "people_header.png", UIControlAction::make("viewAllPeoples", &SquareVC::viewAllPeoples));
    topicHeaderButton_ = header(topicInner, "topic_header.png", UIControlAction::make("viewAllTopics", &SquareVC::viewAllTopics));
    channelHeaderButton_ = header(channelInner, std::string(kEditionWord) + "_channel_header.png",
                                  UIControlAction::make("viewAllChannel", &SquareVC::viewAllChannel));

    for (size_t index = 0; index < kPeopleTiles; ++index) {
        const CGPoint origin = peopleTileOrigin(index);
        auto button = tile(CGRectMake(origin.x, origin.y, 44, 44), kPeopleTagBase + NSInteger(index));
        button->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("peopleClicked:", &SquareVC::peopleClicked),
                                                  UIControlEventTouchUpInside);
        peopleInner->addSubview(button);
        peopleBtns_.push_back(button);
    }
    for (size_t index = 0; index < kBigTiles; ++index) {
        const CGPoint origin = bigTileOrigin(index);
        auto topic = tile(CGRectMake(origin.x, origin.y, 93, 93), kTopicTagBase + NSInteger(index));
        auto caption = UILabel::initWithFrame(CGRectMake(1, 93 - 33, 93 - 2, 32));
        caption->setTag(kCaptionTag);
        caption->setBackgroundColor(UIColor::blackColor());
        caption->setTextColor(UIColor::whiteColor());
        caption->setFont(UIFont::boldSystemFontOfSize(12));
        topic->addSubview(caption);
        topic->addTarget_action_forControlEvents(self<NSObject>(), UIControlAction::make("topicClicked:", &SquareVC::topicClicked),
                                                 UIControlEventTouchUpInside);
        topicInner->addSubview(topic);
        topicBtns_.push_back(topic);

        auto channel = tile(CGRectMake(origin.x, origin.y, 93, 93), kChannelTagBase + NSInteger(index));
        auto overlay = UIImageView::initWithImage(image("video-thumbnail-overaly.png"));
        overlay->setCenter(CGPointMake(93 / 2.0, 93 / 2.0));
        channel->addSubview(overlay);
        channel->addTarget_action_forControlEvents(self<NSObject>(),
                                                   UIControlAction::make("channelClicked:", &SquareVC::channelClicked),
                                                   UIControlEventTouchUpInside);
        channelInner->addSubview(channel);
        channelBtns_.push_back(channel);
    }

    if (!coolMenu_) {
        const auto item = [](const char* name) {
            return RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
                image(name), image(std::string(name) + "_down"), nullptr, nullptr);
        };
        const char* middle = accountCanLive() ? "menu_item_living" : "menu_item_friend";
        coolMenu_ = RadialMenu::initWithFrame_menus(CGRectMake(10, -60, 200, 200),
                                                    {item("menu_item_record"), item(middle), item("menu_item_import")});
        coolMenu_->setDelegate(self<SquareVC>());
    }
    view()->addSubview(coolMenu_);
}

void SquareVC::putMenuButton()
{
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("menu_icon"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("showMenu", &SquareVC::showMenu)));
}

void SquareVC::viewDidLoad()
{
    PZViewController::viewDidLoad();
    setTitle("广场");
    view()->setBackgroundColor(CustomImage::yellowBkg());
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("nearby_videos.png"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("nearbyVideos", &SquareVC::nearbyVideos)));
    getData();
}

void SquareVC::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    auto navigation = navigationController();
    if (navigation && !navigation->viewControllers().empty() && navigation->viewControllers().front().get() == this) {
        SliderSetMenuEnable(true);
        putMenuButton();
    }
}

void SquareVC::viewWillDisappear(bool animated)
{
    PZViewController::viewWillDisappear(animated);
    SliderSetMenuEnable(false);
}

void SquareVC::getData()
{
    if (getDataRequest_) {
        getDataRequest_->clearDelegatesAndCancel();
    }
    getDataRequest_ = PZRequest::getNewSquareData();
    getDataRequest_->setDelegate(weakSelf<SquareVC>());
    getDataRequest_->startAsynchronous();
}

void SquareVC::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request || request != getDataRequest_) {
        return;
    }
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() == 200) {
        const Value result = reply["result"];
        const auto list = [](const Value& value) { return value.isArray() ? value : Value::array(); };
        peoples_ = list(result["user"]);
        topics_ = list(result["topic"]);
        channels_ = list(result["chan"]);
        reloadData();
    }
    getDataRequest_ = nullptr;
}

void SquareVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request || request != getDataRequest_) {
        return;
    }
    getDataRequest_ = nullptr;
    ShowNetError();
}

void SquareVC::reloadData()
{
    using namespace SquareVC_cpp;
    const auto fill = [](const std::vector<Ref<UIButton>>& tiles, const Value& items, bool captioned) {
        for (size_t index = 0; index < tiles.size() && index < items.count(); ++index) {
            SetImageView::setImageWithUrl(tiles[index], items[index]["pic"]);
            if (captioned) {
                if (auto caption = std::dynamic_pointer_cast<UILabel>(tiles[index]->viewWithTag(kCaptionTag))) {
                    caption->setText(items[index]["title"].stringValue());
                }
            }
        }
    };
    fill(peopleBtns_, peoples_, false);
    fill(topicBtns_, topics_, true);
    fill(channelBtns_, channels_, false);
}

void SquareVC::push(const Ref<UIViewController>& controller)
{
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(controller, true);
    }
}

void SquareVC::peopleClicked(const Ref<UIButton>& sender)
{
    const long index = SquareVC_cpp::itemIndex(sender, SquareVC_cpp::kPeopleTagBase, peoples_);
    if (index >= 0) {
        push(FeedVC::myinitWithType_andSuid(10, peoples_[size_t(index)]["data"]));
    }
}

void SquareVC::topicClicked(const Ref<UIButton>& sender)
{
    const long index = SquareVC_cpp::itemIndex(sender, SquareVC_cpp::kTopicTagBase, topics_);
    if (index >= 0) {
        push(FeedVC::myinitWithType_andSuid(13, topics_[size_t(index)]["data"]));
    }
}

void SquareVC::channelClicked(const Ref<UIButton>& sender)
{
    const long index = SquareVC_cpp::itemIndex(sender, SquareVC_cpp::kChannelTagBase, channels_);
    if (index < 0) {
        return;
    }
    const Value scid = channels_[size_t(index)]["data"];
    if (isLogin()) {
        push(VideoMainPage::myinitWithType_data(2, scid));
        return;
    }
    // Without an account there is no video page: the stream plays in the full-screen player.
    presentModalViewController_animated(
        StreamPlayerVC::initWithContentURL(PZRequest::apiBaseURL() + "stream/" + scid.stringValue() + ".mp4"), true);
}

void SquareVC::viewAllPeoples() { push(IdolTVC::create()); }
void SquareVC::viewAllTopics() { push(TopicFollowedVC::myinit(1)); }
void SquareVC::viewAllChannel() { push(FeedVC::myinitWithType_andSuid(11, Value())); }
void SquareVC::nearbyVideos() { push(FeedVC::myinitWithType_andSuid(12, Value())); }

void SquareVC::showMenu()
{
    if (g_root) {
        g_root->showMenu();
    }
}

void SquareVC::radialMenu_didSelectIndex(const Ref<RadialMenu>&, int index)
{
    using namespace SquareVC_cpp;
    if (!isLogin()) {
        PresentLogin();
        return;
    }
    const auto cameraMissing = [] {
        if (UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDeviceRear)) {
            return false;
        }
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "无摄像头", nullptr, "确定")
            ->show();
        return true;
    };
    if (index == 0) {
        if (cameraMissing()) {
            return;
        }
        auto navigation = CustomImage::MyNaviWithRoot(PZVideoCaptureController::initWithScreen(UIScreen::mainScreen()));
        navigation->setNavigationBarHidden(true);
        presentModalViewController_animated(navigation, true);
    } else if (index == 1) {
        if (!accountCanLive()) {
            push(FindFriendVC::create());
            return;
        }
        if (cameraMissing()) {
            return;
        }
        auto capture = PZVideoCaptureController::initWithScreen(UIScreen::mainScreen());
        capture->setLive(true);
        presentModalViewController_animated(capture, true);
    } else if (index == 2) {
        presentMoviePicker();
    }
}

// ---- Importing a movie --------------------------------------------------------------------------------

void SquareVC::presentMoviePicker()
{
    auto picker = UIImagePickerController::create();
    picker->setAllowsEditing(true);
    picker->setSourceType(UIImagePickerControllerSourceTypeSavedPhotosAlbum);
    picker->setMediaTypes({kUTTypeMovie});
    picker->setDelegate(self<SquareVC>());
    presentModalViewController_animated(picker, true);
}

void SquareVC::imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                                   const Value& info)
{
    const Value media = info[UIImagePickerControllerMediaURL];
    if (!media.isNilOrNull()) {
        std::string path;
        if (auto url = media.object<NSURL>()) {
            path = url->path();
        } else {
            path = media.stringValue();
        }
        if (!VideoShareController::isImportableMovie(path)) {
            UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", kImportFailedMessage,
                                                                                            nullptr, "确定")
                ->show();
            picker->dismissModalViewControllerAnimated(true);
            return;
        }
        auto share = VideoShareController::create();
        share->setGuid(PZFFmpeg::getMovieGuid(path));
        if (auto navigation = navigationController()) {
            navigation->pushViewController_animated(share, true);
        }
    } else if (info[UIImagePickerControllerMediaType].stringValue() != kUTTypeImage) {
        // A still picture is no movie to import and closes the picker quietly; a movie the picker
        // could not hand over is a cancelled import.
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "导入取消", nullptr, "确定")
            ->show();
    }
    picker->dismissModalViewControllerAnimated(true);
}

void SquareVC::imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker)
{
    picker->dismissModalViewControllerAnimated(true);
}
