#pragma once
// TagEmotion: the small popup of emotion buttons with which a viewer marks a video. It covers the
// application window (a tap beside the bubble closes it) and holds the bubble `backView` with one
// button per emotion, each carrying its emotion number (1 to 5) as its tag.
//
// A choice posts the mark ("m/mark.json") tagged TagEmotionRequestTag (888) with the application
// delegate as the request's delegate, and the popup closes at once: the delegate reports the outcome
// in the status bar when the reply comes, whether or not the screen that opened the popup is still
// there. The popup is object 5 of the shared interface file "CommonViews". Main thread only.
//
// Opening it from a screen:
//     TagEmotion::showAtPostion_withChannel(pointInNavigationView, channel);
// The bubble's right edge stands 5 points right of the point and its top 7 points under it.
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIView.h"

class UIControl;

class TagEmotion : public UIView {
public:
    static Ref<TagEmotion> initWithFrame(CGRect frame) { return makeWithFrame<TagEmotion>(frame); }

    // Puts a new popup for the record on the application delegate's window and answers it (nullptr
    // when the application has no window).
    static Ref<TagEmotion> showAtPostion_withChannel(CGPoint point, const Value& channel);

    // Registers object 5 of "CommonViews" (idempotent; showing registers it too).
    static void registerInterface();

    Ref<UIView> backView() const { return backView_; }
    void setBackView(const Ref<UIView>& view) { backView_ = view; }
    const Value& channel() const { return channel_; }
    void setChannel(const Value& channel) { channel_ = channel; }
    // The emotion buttons, in the order of their numbers.
    const std::vector<Ref<UIControl>>& emotionButtons() const { return emotionButtons_; }
    // The control around the bubble that closes the popup.
    Ref<UIControl> dismissControl() const { return dismissControl_; }

    void setEmotionButtons(std::vector<Ref<UIControl>> buttons) { emotionButtons_ = std::move(buttons); }
    void setDismissControl(const Ref<UIControl>& control) { dismissControl_ = control; }

    // An emotion button's action: the sender's tag is the emotion number.
    void tagEmotion(const Ref<UIControl>& sender);
    void dismiss(const Ref<UIControl>& sender);

private:
    Ref<UIView> backView_;
    Value channel_;
    std::vector<Ref<UIControl>> emotionButtons_;
    Ref<UIControl> dismissControl_;
};
