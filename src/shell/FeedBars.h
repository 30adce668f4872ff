#pragma once
// The small bars the feed lays at its foot, each a view of the shared interface file "CommonViews"
// wired by the feed: the place bar of the nearby feed (8), the system-notice bar of the home feed (9)
// and the topic bar of a topic feed (11). View 10 of the file is the first-login tip (buttons tagged
// 988 for the action, 989 and 990 for closing). registerFeedInterfaceObjects() puts the four into
// the file; the application, the gallery and the tests call it at start.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIView.h"

class UIButton;
class UILabel;

// Tags of the first-login tip's buttons.
inline constexpr NSInteger kFirstTipActionTag = 988;
inline constexpr NSInteger kFirstTipCloseTag = 989;
inline constexpr NSInteger kFirstTipCloseOtherTag = 990;

class LocationBottomBar : public UIView {
public:
    static Ref<LocationBottomBar> initWithFrame(CGRect frame) { return makeWithFrame<LocationBottomBar>(frame); }

    Ref<UILabel> title() const { return title_; }
    void setTitle(const Ref<UILabel>& title) { title_ = title; }

private:
    Ref<UILabel> title_;
};

class SystemMsgBottomBar : public UIView {
public:
    static Ref<SystemMsgBottomBar> initWithFrame(CGRect frame) { return makeWithFrame<SystemMsgBottomBar>(frame); }

    // The remind reply's "sys" object: hides the bar for nil; otherwise shows its text, the sender's
    // avatar with its emotion mark when there is a sender, and the count when it is above 1.
    void fullFillWithInfo(const Value& info);
    // The count is only a label: touches on it go to the bar's button.
    void awakeFromNib() override;

    Ref<UIButton> head() const { return head_; }
    void setHead(const Ref<UIButton>& head) { head_ = head; }
    Ref<UIButton> msgNumber() const { return msgNumber_; }
    void setMsgNumber(const Ref<UIButton>& msgNumber) { msgNumber_ = msgNumber; }
    Ref<UILabel> title() const { return title_; }
    void setTitle(const Ref<UILabel>& title) { title_ = title; }
    Ref<UIButton> actionResponse() const { return actionResponse_; }
    void setActionResponse(const Ref<UIButton>& actionResponse) { actionResponse_ = actionResponse; }

private:
    Ref<UIButton> head_;
    Ref<UIButton> msgNumber_;
    Ref<UILabel> title_;
    Ref<UIButton> actionResponse_;
};

class TopicActionView : public UIView {
public:
    static Ref<TopicActionView> initWithFrame(CGRect frame) { return makeWithFrame<TopicActionView>(frame); }

    Ref<UIButton> iWillShare() const { return iWillShare_; }
    void setIWillShare(const Ref<UIButton>& button) { iWillShare_ = button; }
    Ref<UIButton> followTopic() const { return followTopic_; }
    void setFollowTopic(const Ref<UIButton>& button) { followTopic_ = button; }

private:
    Ref<UIButton> iWillShare_;
    Ref<UIButton> followTopic_;
};

// The shared interface file's view at an index, freshly made (null when the file has no such view).
Ref<UIView> commonViewAtIndex(size_t index);

// Puts the bars and the first-login tip into "CommonViews" at 8 to 11.
void registerFeedInterfaceObjects();
