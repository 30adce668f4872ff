#include "capture/VideoShareController.h"
#include "platform/media/AVAsset.h"

#include "api/Categories.h"
#include "api/Edition.h"
#include "api/LoginState.h"
#include "api/LumoWeiboClient.h"
#include "api/QQWeiboClient.h"
#include "bridge/PZFFmpeg.h"
#include "capture/ShareLocationController.h"
#include "capture/ShareWithSomebodyController.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace VideoShareController_cpp {

constexpr char kPlaceHolderText[] = "请输入文字...";
constexpr NSInteger kFriendsSheetTag = 2001;
constexpr NSInteger kPlaceSheetTag = 2002;

std::string& editionOverride()
{
    static std::string& word = *new std::string;
    return word;
}

std::string editionWord()
{
    return editionOverride().empty() ? std::string(kEditionWord) : editionOverride();
}

Ref<UIButton> roundedButton(UINibBuilder& nib, CGRect frame, const std::string& title)
{
    auto button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(frame);
    button->setBackgroundColor(UIColor::colorWithWhite_alpha(1, 0.85));
    button->setTitle_forState(title, UIControlStateNormal);
    button->setTitleColor_forState(UIColor::colorWithWhite_alpha(0.35, 1), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    button->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentLeft);
    button->setContentEdgeInsets(UIEdgeInsetsMake(0, 14, 0, 0));
    return button;
}

Ref<UIButton> chip(UINibBuilder& nib, CGFloat x)
{
    auto button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(CGRectMake(x, 206, 28, 28));
    button->setBackgroundImage_forState(UIImage::imageNamed("at-somebody"), UIControlStateNormal);
    button->setUserInteractionEnabled(false);
    return button;
}

Ref<UIButton> toggle(UINibBuilder& nib, CGFloat x, const char* icon)
{
    auto button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    button->setFrame(CGRectMake(x, 356, 40, 40));
    button->setBackgroundImage_forState(UIImage::imageNamed("share-toggle-off"), UIControlStateNormal);
    button->setBackgroundImage_forState(UIImage::imageNamed("share-toggle-on"), UIControlStateSelected);
    button->setImage_forState(UIImage::imageNamed(icon), UIControlStateNormal);
    button->setAdjustsImageWhenHighlighted(false);
    return button;
}

}  // namespace VideoShareController_cpp
}  // namespace

void VideoShareController::registerNib()
{
    using namespace VideoShareController_cpp;
    if (UINibRegistry::hasNib("VideoShareController")) {
        return;
    }
    UINibRegistry::registerNib("VideoShareController", [](UINibBuilder& nib) {
        auto owner = nib.owner<VideoShareController>();
        auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 416));
        auto message = nib.view<UITextView>(CGRectMake(80, 16, 160, 140));
        message->setFont(UIFont::systemFontOfSize(15));
        message->setBackgroundColor(UIColor::clearColor());
        auto avatar = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        avatar->setFrame(CGRectMake(10, 10, 48, 48));
        avatar->setBackgroundImage_forState(UIImage::imageNamed("missing-avatar"), UIControlStateNormal);
        auto thumb = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        thumb->setFrame(CGRectMake(245, 15, 54, 54));
        thumb->setImage_forState(UIImage::imageNamed("missing-video-thumb"), UIControlStateNormal);
        auto with = roundedButton(nib, CGRectMake(10, 200, 300, 40), "和谁在一起");
        auto location = roundedButton(nib, CGRectMake(10, 250, 300, 36), "我在那里");
        auto locationBottom = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        locationBottom->setFrame(CGRectMake(10, 286, 300, 60));
        auto lumo = toggle(nib, 14, "lumo");
        auto qq = toggle(nib, 62, "qq");
        auto tip = nib.view<UILabel>(CGRectMake(112, 361, 200, 30));
        tip->setText("同步分享到微博");
        tip->setFont(UIFont::systemFontOfSize(13));
        tip->setTextColor(UIColor::colorWithWhite_alpha(0.4, 1));
        tip->setBackgroundColor(UIColor::clearColor());

        for (const Ref<UIView>& view : std::vector<Ref<UIView>>{message, avatar, thumb, with, location, locationBottom,
                                                                 lumo, qq, tip}) {
            root->addSubview(view);
        }
        std::vector<Ref<UIButton>> chips;
        for (int i = 0; i < 4; ++i) {
            chips.push_back(chip(nib, 160 + 36 * i));
            root->addSubview(chips.back());
        }
        if (owner) {
            owner->setView(root);
            owner->message = message;
            owner->avatarButton = avatar;
            owner->videoThumbButton = thumb;
            owner->withSomebodyButton = with;
            owner->withSomebodyButton1 = chips[0];
            owner->withSomebodyButton2 = chips[1];
            owner->withSomebodyButton3 = chips[2];
            owner->withSomebodyButton4 = chips[3];
            owner->locationTopButton = location;
            owner->locationBottomButton = locationBottom;
            owner->shareLumoButton = lumo;
            owner->shareQQButton = qq;
            owner->shareTipLable = tip;
            const auto touchUp = UIControlEventTouchUpInside;
            location->addTarget_action_forControlEvents(
                owner, UIControlAction::make("setLocation:", &VideoShareController::setLocation), touchUp);
            locationBottom->addTarget_action_forControlEvents(
                owner, UIControlAction::make("setLocation:", &VideoShareController::setLocation), touchUp);
            with->addTarget_action_forControlEvents(
                owner, UIControlAction::make("setWithSomebody:", &VideoShareController::setWithSomebody), touchUp);
            lumo->addTarget_action_forControlEvents(
                owner, UIControlAction::make("shareLumo:", &VideoShareController::shareLumo), touchUp);
            qq->addTarget_action_forControlEvents(owner, UIControlAction::make("shareQQ:", &VideoShareController::shareQQ),
                                                  touchUp);
        }
        return std::vector<Ref<NSObject>>{root};
    });
}

void VideoShareController::setEditionWordForTesting(const std::string& word)
{
    VideoShareController_cpp::editionOverride() = word;
}

void VideoShareController::initBody()
{
    registerNib();
    PZViewController::initBody();
}

void VideoShareController::viewDidLoad()
{
    using namespace VideoShareController_cpp;
    PZViewController::viewDidLoad();
    const auto self = std::static_pointer_cast<VideoShareController>(shared_from_this());

    // 1. The account, the title, the background.
    account_ = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    setTitle("分享视频");
    view()->setBackgroundColor(CustomImage::yellowBkg());

    // 2. The speech bubble behind the title.
    const Ref<UIImage> bubble = UIImage::imageNamed("share-message-bg");
    auto bubbleView = UIImageView::initWithImage(bubble ? bubble->stretchableImageWithLeftCapWidth_topCapHeight(20, 40)
                                                        : nullptr);
    bubbleView->setFrame(CGRectMake(65, 10, 241, 181));
    if (message) {
        view()->insertSubview_belowSubview(bubbleView, message);
    } else {
        view()->addSubview(bubbleView);
    }

    // 3. The topic button.
    topicButton = UIButton::buttonWithType(UIButtonTypeCustom);
    topicButton->setImage_forState(UIImage::imageNamed("topic"), UIControlStateNormal);
    topicButton->setFrame(CGRectMake(85, 160, 21, 20));
    topicButton->addTarget_action_forControlEvents(self, UIControlAction::make("atTopic:", &VideoShareController::atTopic),
                                                   UIControlEventTouchUpInside);
    view()->addSubview(topicButton);

    // 4. The avatar.
    SetImageView::setImageWithUrl(avatarButton, account_["icon"]);

    // 5. The thumbnail, large while the finger is down.
    if (guid_.isString()) {
        const Value still = PZFFmpeg::fetchMovieInfo_WithField(guid_.string(), "localimg");
        if (auto image = still.isString() ? UIImage::imageWithContentsOfFile(still.string()) : nullptr) {
            videoThumbButton->setImage_forState(image, UIControlStateNormal);
        }
    }
    const auto toggleThumb = UIControlAction::make("toggleBigThumb:", &VideoShareController::toggleBigThumb);
    videoThumbButton->addTarget_action_forControlEvents(self, toggleThumb, UIControlEventTouchDown);
    videoThumbButton->addTarget_action_forControlEvents(self, toggleThumb, UIControlEventTouchUpInside);

    // 6. The hint inside the title.
    placeHolder = UILabel::initWithFrame(CGRectMake(0, 0, 100, 30));
    placeHolder->setText(kPlaceHolderText);
    placeHolder->setTextColor(UIColor::grayColor());
    placeHolder->setBackgroundColor(UIColor::clearColor());
    placeHolder->setFont(UIFont::systemFontOfSize(14));
    message->addSubview(placeHolder);
    message->setDelegate(self);

    // 7. Rounded friends and place buttons.
    for (const Ref<UIButton>& button : {withSomebodyButton, locationTopButton}) {
        button->layer()->setCornerRadius(10);
        button->layer()->setBorderWidth(1);
        button->layer()->setBorderColor(CGColor::createRGB(0.84, 0.84, 0.8, 1));
    }

    // 8. The map of the chosen place.
    mapView = MKMapView::initWithFrame(locationBottomButton->frame());
    mapView->setHidden(true);
    view()->addSubview(mapView);

    // 9. Round chips.
    for (const Ref<UIButton>& chip : {withSomebodyButton1, withSomebodyButton2, withSomebodyButton3, withSomebodyButton4}) {
        chip->layer()->setMasksToBounds(true);
        chip->layer()->setCornerRadius(12);
    }

    // 10. The bar: "分享" on the right, "  返回" on the left.
    if (auto navigation = navigationController()) {
        navigation->setNavigationBarHidden(false);
    }
    auto barButton = [&](const char* background, const char* title, UIControlAction action) {
        auto button = UIButton::buttonWithType(UIButtonTypeCustom);
        button->setBackgroundImage_forState(UIImage::imageNamed(background), UIControlStateNormal);
        button->setTitle_forState(title, UIControlStateNormal);
        button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(13));
        button->setFrame(CGRectMake(0, 0, 52, 31));
        button->addTarget_action_forControlEvents(self, std::move(action), UIControlEventTouchUpInside);
        return UIBarButtonItem::initWithCustomView(button);
    };
    navigationItem()->setRightBarButtonItem(
        barButton("done-button-bg", "分享", UIControlAction::make("shareVideo:", &VideoShareController::shareVideo)));
    navigationItem()->setLeftBarButtonItem(barButton(
        "share-back-button", "  返回", UIControlAction::make("backRootView:", &VideoShareController::backRootView)));

    // 11. The avatar's rounded corners.
    avatarButton->layer()->setMasksToBounds(true);
    avatarButton->layer()->setCornerRadius(5);

    // 12. The edition's switches.
    const Value config = controllerConfig();
    shareQQButton->setHidden(config["shareQQButton"]["hidden"].boolValue());
    shareLumoButton->setHidden(config["shareLumoButton"]["hidden"].boolValue());
    shareTipLable->setHidden(config["shareTipLable"]["hidden"].boolValue());
}

void VideoShareController::viewDidUnload()
{
    PZViewController::viewDidUnload();
    avatarButton.reset();
    message.reset();
    placeHolder.reset();
    videoThumbButton.reset();
    withSomebodyButton.reset();
    withSomebodyButton1.reset();
    withSomebodyButton2.reset();
    withSomebodyButton3.reset();
    withSomebodyButton4.reset();
    locationTopButton.reset();
    locationBottomButton.reset();
    mapView.reset();
    shareLumoButton.reset();
    shareQQButton.reset();
    shareTipLable.reset();
    topicButton.reset();
    withList_ = Value();
}

void VideoShareController::viewWillAppear(bool animated)
{
    PZViewController::viewWillAppear(animated);
    shareLumoButton->setSelected(LumoWeiboClient::isBind());
    shareQQButton->setSelected(QQWeiboClient::isBind());
    const std::string topic = topic_.stringValue();
    if (!topic.empty()) {
        message->setText(stringWithFormat("%@%@", message->text(), topic));
        placeHolder->setHidden(true);
    }
}

void VideoShareController::viewWillDisappear(bool animated)
{
    PZViewController::viewWillDisappear(animated);
    topic_ = Value();
}

void VideoShareController::touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event)
{
    view()->endEditing(true);
}

void VideoShareController::setSelectedTopic(const std::string& topic)
{
    topic_ = Value(topic);
}

void VideoShareController::withSomebody(const Value& list)
{
    withList_ = list;
    const Ref<UIButton> chips[] = {withSomebodyButton1, withSomebodyButton2, withSomebodyButton3, withSomebodyButton4};
    for (NSUInteger i = 0; i < 4 && i < list.count(); ++i) {
        SetImageView::setImageWithUrl(chips[i], list[i]["icon"]);
    }
}

void VideoShareController::locationWithCoord_place(CLLocationCoordinate2D coordinate, const std::string& place)
{
    mapView->setHidden(false);
    mapView->setRegion_animated(MKCoordinateRegionMake(coordinate, MKCoordinateSpanMake(0.05, 0.05)), true);
    auto pin = MKPointAnnotation::create();
    pin->setCoordinate(coordinate);
    mapView->addAnnotation(pin);
    locationCoordinate2D_ = coordinate;
    mapView->setZoomEnabled(false);
    mapView->setScrollEnabled(false);
    mapView->setMapType(MKMapTypeStandard);
    locationTopButton->setTitle_forState(place, UIControlStateNormal);
}

void VideoShareController::shareVideo()
{
    using namespace VideoShareController_cpp;
    const std::string text = message->text();
    if (text.empty()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "标题不能为空", nullptr,
                                                                                        "确定")
            ->show();
        return;
    }
    // A video whose import failed has no job: nothing can be published, and leaving as if it had been
    // would tell the user it was sent.
    if (!guid_.isString() || guid_.string().empty()) {
        UIAlertView::initWithTitle_message_delegate_cancelButtonTitle_otherButtonTitles("提示", "视频导入失败，无法分享",
                                                                                        nullptr, "确定")
            ->show();
        return;
    }
    const std::string guid = guid_.string();
    PZFFmpeg::modify_withTitleOnline(guid, text);
    PZFFmpeg::startUpload_withLimits(guid, "all");
    if (locationCoordinate2D_.latitude != 0 && locationCoordinate2D_.longitude != 0 && !mapView->isHidden()) {
        PZFFmpeg::addLocation_longi_toGuid_locationText(locationCoordinate2D_.latitude, locationCoordinate2D_.longitude,
                                                        guid, locationTopButton->titleForState(UIControlStateNormal));
    }
    if (withList_.count() > 0) {
        std::string suids;
        for (const Value& person : withList_.arrayItems()) {
            suids += (suids.empty() ? "" : ",") + person["suid"].stringValue();
        }
        PZFFmpeg::withSomebody_withSuid(guid, suids);
    }
    std::string targets;
    if (shareQQButton->isSelected()) {
        targets = "2";
    }
    if (shareLumoButton->isSelected()) {
        targets += std::string(targets.empty() ? "" : ",") + (editionWord() == "lumo" ? "3" : "1");
    }
    if (!targets.empty()) {
        PZFFmpeg::shareWeibo_withMessage_(guid, text, targets);
    }

    const Ref<UINavigationController> navigation = navigationController();
    if (!navigation) {
        return;
    }
    const auto& stack = navigation->viewControllers();
    // The recording flow was presented over the screen it started from: it leaves whole.
    if (!stack.empty() && stack.front()->className() == "PZVideoCaptureController") {
        dismissModalViewControllerAnimated(true);
    } else {
        navigation->popViewControllerAnimated(true);
    }
}

void VideoShareController::backRootView()
{
    if (auto navigation = navigationController()) {
        navigation->popToRootViewControllerAnimated(true);
    }
}

void VideoShareController::atTopic()
{
    auto picker = TopicViewController::create();
    picker->setDelegate(shared_from_this());
    if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(picker, true);
    }
}

void VideoShareController::toggleBigThumb()
{
    if (videoThumbButton->frame().origin.x == 0) {
        videoThumbButton->setFrame(CGRectMake(245, 15, 54, 54));
        view()->addSubview(videoThumbButton);
    } else {
        videoThumbButton->setFrame(CGRectMake(0, 0, 320, 480));
        if (auto window = UIApplication::sharedApplication()->keyWindow()) {
            window->addSubview(videoThumbButton);
        }
    }
    message->resignFirstResponder();
}

void VideoShareController::setLocation()
{
    mapView->removeAnnotations(mapView->annotations());
    const Ref<UINavigationController> navigation = navigationController();
    if (mapView->isHidden()) {
        if (navigation) {
            navigation->pushViewController_animated(ShareLocationController::create(), true);
        }
        return;
    }
    auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "", std::static_pointer_cast<VideoShareController>(shared_from_this()), "取消", "移除位置", {"重新定位"});
    sheet->setTag(VideoShareController_cpp::kPlaceSheetTag);
    sheet->showInView(navigation ? navigation->view() : view());
}

void VideoShareController::setWithSomebody()
{
    const Ref<UINavigationController> navigation = navigationController();
    if (withList_.count() == 0) {
        if (navigation) {
            navigation->pushViewController_animated(ShareWithSomebodyController::create(), true);
        }
        return;
    }
    auto sheet = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        "", std::static_pointer_cast<VideoShareController>(shared_from_this()), "取消", "移出选择", {"重新选择"});
    sheet->setTag(VideoShareController_cpp::kFriendsSheetTag);
    sheet->showInView(navigation ? navigation->view() : view());
}

void VideoShareController::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet,
                                                            NSInteger buttonIndex)
{
    using namespace VideoShareController_cpp;
    if (buttonIndex != 0 && buttonIndex != 1) {
        return;
    }
    if (actionSheet->tag() == kFriendsSheetTag) {
        withList_ = Value();
        for (const Ref<UIButton>& chip :
             {withSomebodyButton1, withSomebodyButton2, withSomebodyButton3, withSomebodyButton4}) {
            chip->setBackgroundImage_forState(UIImage::imageNamed("at-somebody"), UIControlStateNormal);
        }
    } else if (actionSheet->tag() == kPlaceSheetTag) {
        // The title itself, not only its label, so that the next layout does not bring the old place back.
        mapView->setHidden(true);
        locationTopButton->setTitle_forState("我在那里", UIControlStateNormal);
    }
}

void VideoShareController::shareLumo()
{
    if (shareLumoButton->isSelected() || LumoWeiboClient::isBind()) {
        shareLumoButton->setSelected(!shareLumoButton->isSelected());
    } else if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(LumoWeiboClient::create(), true);
    }
    NSLog("lumo selected %d", int(shareLumoButton->isSelected()));
}

void VideoShareController::shareQQ()
{
    if (shareQQButton->isSelected() || QQWeiboClient::isBind()) {
        shareQQButton->setSelected(!shareQQButton->isSelected());
    } else if (auto navigation = navigationController()) {
        navigation->pushViewController_animated(QQWeiboClient::create(), true);
    }
    NSLog("qq selected %d", int(shareQQButton->isSelected()));
}

bool VideoShareController::textViewShouldBeginEditing(const Ref<UITextView>& textView)
{
    if (textView->text() == VideoShareController_cpp::kPlaceHolderText) {
        textView->setText("");
    }
    return true;
}

void VideoShareController::textViewDidBeginEditing(const Ref<UITextView>& textView)
{
    placeHolder->setHidden(true);
}

void VideoShareController::textViewDidEndEditing(const Ref<UITextView>& textView)
{
    if (textView->text().empty()) {
        placeHolder->setHidden(false);
    }
}

bool VideoShareController::isImportableMovie(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    const auto asset = AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(path));
    return asset && asset->isReadable() && asset->hasVideoTrack();
}
