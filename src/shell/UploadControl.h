#pragma once
// UploadControl: the strip over the bottom of a local video's player on the user's own page, with a
// pause-or-resume button, a delete button and the upload's progress bar. It has no logic of its own:
// the feed cell that shows the local video fills it and receives its buttons' actions.
//
// It is view 6 of the shared interface file "CommonViews" (registerFeedViews, FeedViews.h).
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UIView.h"

class UploadControl : public UIView {
public:
    static Ref<UploadControl> initWithFrame(CGRect frame) { return makeWithFrame<UploadControl>(frame); }

    // The control's own height in the interface file.
    static constexpr CGFloat kHeight = 36;

    Ref<UIButton> upload_pause() const { return upload_pause_.lock(); }
    void setUpload_pause(const Ref<UIButton>& button) { upload_pause_ = button; }
    Ref<UIButton> upload_delete() const { return upload_delete_.lock(); }
    void setUpload_delete(const Ref<UIButton>& button) { upload_delete_ = button; }
    // From 0.0 to 1.0.
    Ref<UIProgressView> progress() const { return progress_.lock(); }
    void setProgress(const Ref<UIProgressView>& progress) { progress_ = progress; }

private:
    // The view tree owns the subviews.
    Weak<UIButton> upload_pause_;
    Weak<UIButton> upload_delete_;
    Weak<UIProgressView> progress_;
};
