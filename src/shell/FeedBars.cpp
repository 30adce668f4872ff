#include "shell/FeedBars.h"

#include "api/Categories.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"

namespace {
namespace FeedBars_cpp {

constexpr char kCommonViews[] = "CommonViews";

Ref<UILabel> label(UINibBuilder& nib, CGRect frame, CGFloat size, const Ref<UIColor>& colour)
{
    auto text = nib.view<UILabel>(frame);
    text->setBackgroundColor(UIColor::clearColor());
    text->setFont(UIFont::systemFontOfSize(size));
    text->setTextColor(colour);
    return text;
}

Ref<UIButton> button(UINibBuilder& nib, CGRect frame, const std::string& title, const Ref<UIColor>& fill)
{
    auto made = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    made->setFrame(frame);
    if (!title.empty()) {
        made->setTitle_forState(title, UIControlStateNormal);
        made->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
        made->setTitleColor_forState(UIColor::colorWithWhite_alpha(0.8, 1), UIControlStateDisabled);
        made->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
    }
    if (fill) {
        made->setBackgroundColor(fill);
        made->layer()->setCornerRadius(5);
        made->layer()->setMasksToBounds(true);
    }
    return made;
}

Ref<UIColor> barColour()
{
    return UIColor::colorWithWhite_alpha(0.12, 0.85);
}

Ref<UIColor> tint()
{
    return UIColor::colorWithRed_green_blue_alpha(0.16, 0.44, 0.76, 1);
}

// 8: the nearby feed's place line.
Ref<NSObject> makeLocationBar(UINibBuilder& nib)
{
    auto bar = nib.view<LocationBottomBar>(CGRectMake(0, 0, 320, 30));
    bar->setBackgroundColor(barColour());
    auto title = label(nib, CGRectMake(10, 0, 300, 30), 13, UIColor::whiteColor());
    title->setTextAlignment(UITextAlignmentCenter);
    bar->addSubview(title);
    bar->setTitle(title);
    return bar;
}

// 9: the newest system message, over a button that covers the whole bar.
Ref<NSObject> makeSystemMsgBar(UINibBuilder& nib)
{
    auto bar = nib.view<SystemMsgBottomBar>(CGRectMake(0, 0, 320, 44));
    bar->setBackgroundColor(barColour());
    auto response = button(nib, CGRectMake(0, 0, 320, 44), "", nullptr);
    bar->addSubview(response);
    bar->setActionResponse(response);
    auto head = button(nib, CGRectMake(8, 6, 32, 32), "", nullptr);
    head->setTag(1001);
    bar->addSubview(head);
    bar->setHead(head);
    auto title = label(nib, CGRectMake(50, 0, 222, 44), 14, UIColor::whiteColor());
    bar->addSubview(title);
    bar->setTitle(title);
    auto count = button(nib, CGRectMake(280, 12, 30, 20), "", UIColor::colorWithRed_green_blue_alpha(0.85, 0.15, 0.12, 1));
    count->setTitleColor_forState(UIColor::whiteColor(), UIControlStateNormal);
    count->titleLabel()->setFont(UIFont::boldSystemFontOfSize(13));
    count->layer()->setCornerRadius(10);
    bar->addSubview(count);
    bar->setMsgNumber(count);
    return bar;
}

// 10: the first-login tip: a dimmed screen with a card offering to find friends.
Ref<NSObject> makeFirstTip(UINibBuilder& nib)
{
    auto tip = nib.view<UIView>(CGRectMake(0, 0, 320, 416));
    tip->setBackgroundColor(UIColor::colorWithWhite_alpha(0, 0.55));
    auto dim = button(nib, tip->bounds(), "", nullptr);
    dim->setTag(kFirstTipCloseOtherTag);
    tip->addSubview(dim);
    auto card = nib.view<UIView>(CGRectMake(30, 110, 260, 170));
    card->setBackgroundColor(UIColor::whiteColor());
    card->layer()->setCornerRadius(8);
    tip->addSubview(card);
    auto heading = label(nib, CGRectMake(15, 15, 230, 24), 17, UIColor::colorWithWhite_alpha(0.15, 1));
    heading->setFont(UIFont::boldSystemFontOfSize(17));
    heading->setTextAlignment(UITextAlignmentCenter);
    heading->setText("欢迎来到这里！");
    card->addSubview(heading);
    auto body = label(nib, CGRectMake(15, 45, 230, 54), 14, UIColor::colorWithWhite_alpha(0.35, 1));
    body->setNumberOfLines(2);
    body->setTextAlignment(UITextAlignmentCenter);
    body->setText("看看你的朋友里谁也在拍视频，关注他们，首页就会热闹起来。");
    card->addSubview(body);
    auto action = button(nib, CGRectMake(15, 115, 140, 40), "去找朋友", tint());
    action->setTag(kFirstTipActionTag);
    card->addSubview(action);
    auto later = button(nib, CGRectMake(165, 115, 80, 40), "以后再说", UIColor::colorWithWhite_alpha(0.6, 1));
    later->setTag(kFirstTipCloseTag);
    card->addSubview(later);
    return tip;
}

// 11: the topic feed's two buttons.
Ref<NSObject> makeTopicBar(UINibBuilder& nib)
{
    auto bar = nib.view<TopicActionView>(CGRectMake(0, 0, 320, 44));
    auto share = button(nib, CGRectMake(10, 7, 145, 30), "我也要拍", tint());
    bar->addSubview(share);
    bar->setIWillShare(share);
    auto follow = button(nib, CGRectMake(165, 7, 145, 30), "关注话题", UIColor::colorWithRed_green_blue_alpha(0.2, 0.6, 0.3, 1));
    follow->setBackgroundColor(UIColor::colorWithRed_green_blue_alpha(0.2, 0.6, 0.3, 1));
    bar->addSubview(follow);
    bar->setFollowTopic(follow);
    return bar;
}

}  // namespace FeedBars_cpp
}  // namespace

void SystemMsgBottomBar::fullFillWithInfo(const Value& info)
{
    if (info.isNilOrNull()) {
        setHidden(true);
        return;
    }
    setHidden(false);
    if (title_) {
        title_->setText(stringWithFormat("%@", info["text"]));
    }
    if (head_) {
        const Value user = info["user"];
        if (!user.isNilOrNull()) {
            head_->setHidden(false);
            SetImageView::setImageWithUrl(head_, user["icon"]);
            SetImageView::setEmotion2(head_, info["mark"].intValue());
        } else {
            head_->setHidden(true);
            SetImageView::setEmotionHidden(head_);
        }
    }
    if (msgNumber_) {
        const int count = info["cnt"].intValue();
        if (count > 1) {
            msgNumber_->setHidden(false);
            msgNumber_->setTitle_forState(stringWithFormat("%d", count), UIControlStateNormal);
        } else {
            msgNumber_->setHidden(true);
        }
    }
}

void SystemMsgBottomBar::awakeFromNib()
{
    UIView::awakeFromNib();
    if (msgNumber_) {
        msgNumber_->setUserInteractionEnabled(false);
    }
}

Ref<UIView> commonViewAtIndex(size_t index)
{
    const std::vector<Ref<NSObject>> objects = UINibRegistry::instantiate(FeedBars_cpp::kCommonViews, nullptr);
    return index < objects.size() ? std::dynamic_pointer_cast<UIView>(objects[index]) : nullptr;
}

void registerFeedInterfaceObjects()
{
    using namespace FeedBars_cpp;
    UINibRegistry::registerObject(kCommonViews, 8, makeLocationBar);
    UINibRegistry::registerObject(kCommonViews, 9, makeSystemMsgBar);
    UINibRegistry::registerObject(kCommonViews, 10, makeFirstTip);
    UINibRegistry::registerObject(kCommonViews, 11, makeTopicBar);
}
