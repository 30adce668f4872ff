#pragma once
// StreamPlayerVC: the full-screen player a person gets for a video stream where no video page can be
// opened (no account). Presented modally; it plays the stream at once in the platform's movie player,
// shows a spinner until the first picture is up, and goes away when the person taps "完成" or the
// video has played to its end. A stream that cannot be played leaves the screen up with a notice, so
// the person closes it.
#include <string>

#include "platform/uikit/UIViewController.h"

class MPMoviePlayerController;
class NSNotification;
class UIActivityIndicatorView;
class UIButton;
class UILabel;

class StreamPlayerVC : public UIViewController {
public:
    static Ref<StreamPlayerVC> initWithContentURL(const std::string& url);
    ~StreamPlayerVC() override;

    const std::string& contentURL() const { return url_; }
    Ref<MPMoviePlayerController> moviePlayer() const { return moviePlayer_; }
    Ref<UIView> topBar() const { return topBar_; }
    Ref<UIButton> doneButton() const { return doneButton_; }
    Ref<UIActivityIndicatorView> spinner() const { return spinner_; }
    // "视频无法播放" once the stream failed; hidden before.
    Ref<UILabel> failureLabel() const { return failureLabel_; }

    // The done control's action: stops the stream and closes the screen.
    void done();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    StreamPlayerVC() = default;

private:
    void loadStateDidChange();
    void playbackDidFinish(const Ref<NSNotification>& notification);

    std::string url_;
    Ref<MPMoviePlayerController> moviePlayer_;
    Ref<UIView> topBar_;
    Ref<UIButton> doneButton_;
    Ref<UIActivityIndicatorView> spinner_;
    Ref<UILabel> failureLabel_;
    bool statusBarWasHidden_ = false;
};
