#include "social/TagEmotion.h"

#include "api/PZRequest.h"
#include "net/http/HTTPFormDataRequest.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIWindow.h"
#include "shell/PopupPlacement.h"
#include "shell/ombriAppDelegate.h"

namespace {
namespace TagEmotion_cpp {

constexpr char kCommonViews[] = "CommonViews";
constexpr size_t kTagEmotionObject = 5;
constexpr int kEmotionCount = 5;
constexpr CGFloat kButtonSide = 36;
constexpr CGFloat kGap = 4;
constexpr CGFloat kInset = 6;

// The popup covers the window; the bubble is a dark rounded box of five round emotion buttons that
// opens beside the emotion button it was called from.
Ref<NSObject> makePopup(UINibBuilder& nib)
{
    const Ref<TagEmotion> popup = nib.view<TagEmotion>(CGRectMake(0, 0, 320, 480));
    popup->setBackgroundColor(UIColor::clearColor());

    // Around the bubble: a tap closes the popup.
    const Ref<UIButton> outside = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
    outside->setFrame(popup->bounds());
    outside->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    outside->addTarget_action_forControlEvents(popup, UIControlAction::make("dismiss:", &TagEmotion::dismiss),
                                               UIControlEventTouchUpInside);
    popup->addSubview(outside);
    popup->setDismissControl(outside);

    const CGFloat width = 2 * kInset + kEmotionCount * kButtonSide + (kEmotionCount - 1) * kGap;
    const CGFloat height = 2 * kInset + kButtonSide;
    const Ref<UIView> back = nib.view<UIView>(CGRectMake(0, 0, width, height));
    back->setBackgroundColor(UIColor::clearColor());
    const Ref<UIColor> bubbleColour = UIColor::colorWithWhite_alpha(0.12, 0.92);
    const Ref<UIView> body = nib.view<UIView>(back->bounds());
    body->setBackgroundColor(bubbleColour);
    body->layer()->setCornerRadius(8);
    back->addSubview(body);

    std::vector<Ref<UIControl>> buttons;
    for (int emotion = 1; emotion <= kEmotionCount; ++emotion) {
        const Ref<UIButton> button = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        button->setFrame(CGRectMake(kInset + (emotion - 1) * (kButtonSide + kGap), kInset, kButtonSide, kButtonSide));
        button->setTag(emotion);
        button->setImage_forState(UIImage::imageNamed(stringWithFormat("emotion%d.png", emotion)),
                                  UIControlStateNormal);
        button->setBackgroundColor(UIColor::colorWithWhite_alpha(1, 0.12));
        button->layer()->setCornerRadius(kButtonSide / 2);
        button->addTarget_action_forControlEvents(popup, UIControlAction::make("tagEmotion:", &TagEmotion::tagEmotion),
                                                  UIControlEventTouchUpInside);
        back->addSubview(button);
        buttons.push_back(button);
    }
    popup->addSubview(back);
    popup->setBackView(back);
    popup->setEmotionButtons(std::move(buttons));
    return popup;
}

Ref<UIWindow> applicationWindow()
{
    const Ref<UIApplicationDelegate> delegate = UIApplication::sharedApplication()->delegate();
    return delegate ? delegate->window() : nullptr;
}

}  // namespace TagEmotion_cpp
}  // namespace

void TagEmotion::registerInterface()
{
    static const bool registered = [] {
        UINibRegistry::registerObject(TagEmotion_cpp::kCommonViews, TagEmotion_cpp::kTagEmotionObject,
                                      TagEmotion_cpp::makePopup);
        return true;
    }();
    (void)registered;
}

Ref<TagEmotion> TagEmotion::showAtPostion_withChannel(CGPoint point, const Value& channel)
{
    registerInterface();
    const Ref<UIWindow> window = TagEmotion_cpp::applicationWindow();
    if (!window) {
        return nullptr;
    }
    const std::vector<Ref<NSObject>> objects = UINibRegistry::instantiate(TagEmotion_cpp::kCommonViews, nullptr);
    const auto popup = objects.size() > TagEmotion_cpp::kTagEmotionObject
                           ? std::dynamic_pointer_cast<TagEmotion>(objects[TagEmotion_cpp::kTagEmotionObject])
                           : nullptr;
    if (!popup) {
        return nullptr;
    }
    popup->setChannel(channel.mutableCopy());
    popup->setFrame(window->bounds());
    window->addSubview(popup);
    if (const Ref<UIView> back = popup->backView()) {
        // Under the button, or above it when it is low; never over the bars at the top.
        const CGSize size = back->frame().size;
        back->setFrame(PopupFrameNearPoint(point, CGRectMake(point.x - size.width + 5, point.y + 7, size.width, size.height),
                                           7, PopupArea(window)));
    }
    return popup;
}

void TagEmotion::tagEmotion(const Ref<UIControl>& sender)
{
    // The window may hold the last reference; the popup stays alive until the action has run.
    const Ref<TagEmotion> keep = self<TagEmotion>();
    const Ref<HTTPFormDataRequest> request =
        PZRequest::tagVideo_withEmotion(channel_["scid"], sender ? static_cast<int>(sender->tag()) : 0);
    request->setTag(TagEmotionRequestTag);
    // The reply goes to the application delegate, which outlives this popup and the page under it.
    request->setDelegate(std::dynamic_pointer_cast<HTTPRequestDelegate>(UIApplication::sharedApplication()->delegate()));
    request->startAsynchronous();
    removeFromSuperview();
}

void TagEmotion::dismiss(const Ref<UIControl>&)
{
    const Ref<TagEmotion> keep = self<TagEmotion>();
    removeFromSuperview();
}
