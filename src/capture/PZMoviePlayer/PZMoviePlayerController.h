#pragma once
// PZMoviePlayerController: a landscape screen that plays one movie with the platform's item player -
// a play/pause button, a progress slider that seeks by whole seconds, a time label, a button that
// saves the picture on show to the photo album, a size switch and a done button. Its creator presents
// it modally. Tapping the video shows or hides the controls.
//
// The time label reads minutes + (seconds of the minute) / 100 with two decimals: 65 s shows "1.05".
#include <string>

#include "platform/uikit/UIViewController.h"

class AVPlayer;
class AVPlayerLayer;
class NSObject;
class UIButton;
class UIGestureRecognizer;
class UILabel;
class UISlider;

class PZMoviePlayerController : public UIViewController {
public:
    // `file`: the movie's address as a URL text (a file URL or an HTTP URL).
    static Ref<PZMoviePlayerController> initwithFile(const std::string& file);

    const std::string& movieFile() const { return movieFile_; }
    void setMovieFile(const std::string& file) { movieFile_ = file; }
    Ref<AVPlayer> player() const { return player_; }
    Ref<AVPlayerLayer> playerLayer() const { return playerLayer_; }
    Ref<UIView> playerControlsView() const { return playerControlsView_; }
    Ref<UIButton> playButton() const { return playButton_; }
    Ref<UISlider> progressSlider() const { return progressSlider_; }
    Ref<UILabel> videoCurrentTimeLable() const { return videoCurrentTimeLable_; }
    Ref<UIView> contolsLayer() const { return contolsLayer_; }
    Ref<UIButton> sizeButton() const { return sizeButton_; }
    Ref<UIButton> snapButton() const { return snapButton_; }
    Ref<UIButton> doneButton() const { return doneButton_; }
    bool isPlayer() const { return isPlayer_; }

    // Actions.
    void playVideo(const Ref<NSObject>& sender);
    void videoSeekToTime(const Ref<NSObject>& sender);
    void fullscreenSwitch(const Ref<NSObject>& sender);
    void cropThumb(const Ref<NSObject>& sender);
    void donePlay(const Ref<NSObject>& sender);
    void tipView(const Ref<UIGestureRecognizer>& recognizer);

    // The time label's text for a time in seconds.
    static std::string timeText(double seconds);

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    ~PZMoviePlayerController() override;

private:
    // Places the player layer over the bounds and the control bar along the bottom.
    void layoutPlayer();

    std::string movieFile_;
    Ref<AVPlayer> player_;
    Ref<AVPlayerLayer> playerLayer_;
    Ref<NSObject> timeObserver_;
    Ref<UIView> playerControlsView_;
    Ref<UIView> contolsLayer_;
    Ref<UIButton> playButton_;
    Ref<UISlider> progressSlider_;
    Ref<UILabel> videoCurrentTimeLable_;
    Ref<UIButton> sizeButton_;
    Ref<UIButton> snapButton_;
    Ref<UIButton> doneButton_;
    bool isPlayer_ = false;
};
