#pragma once
// ProgressHUD, for now only the part the microblog clients use: a box over a view with a text, shown
// at once (or after its grace time) and taken away by removing it from its superview. The full box
// (modes, the worker-thread task, hiding and its delegate) replaces this.
#include <string>

#include "platform/uikit/UIView.h"

class UILabel;

inline constexpr char ProgressHUDViewIsNillException[] = "ProgressHUDViewIsNillException";

class ProgressHUD : public UIView {
public:
    // Takes the view's bounds; a nil view raises ProgressHUDViewIsNillException.
    static Ref<ProgressHUD> initWithView(const Ref<UIView>& view);

    const std::string& labelText() const { return labelText_; }
    // From any thread; the text changes on the main thread.
    void setLabelText(const std::string& text);
    double graceTime() const { return graceTime_; }
    void setGraceTime(double seconds) { graceTime_ = seconds; }
    void show(bool animated);
    bool isShowing() const { return showing_; }

private:
    Ref<UILabel> label_;
    std::string labelText_;
    double graceTime_ = 0;
    bool showing_ = false;
};
