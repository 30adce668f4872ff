#pragma once
// PPlayer: one video shown inline - in a feed cell, a page header or the review screen. It shows the
// video's cover with a play button, a duration (or "直播") label, a heat counter with the viewer's own
// emotion mark, and a grey overlay for a deleted video. The play button plays the video in place
// through the one movie player the whole application shares; the whole view toggles full screen.
//
// Types (fixed at creation): 0 a feed item (feedback button shown with a record), 1 the review screen
// (never goes full screen), 2 the video page and a user page's header (feedback button hidden once a
// record is set).
//
// One video plays at a time: every player shares sharedMoviePlayer(), whose view moves into the
// player that plays. A player whose playback the shared player reports finished - also when another
// player's play or +stop stopped it - goes back to its cover and play button. Releasing any player
// stops the shared player.
//
// Main thread only.
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIView.h"

class MPMoviePlayerController;
class NSNotification;
class UIActivityIndicatorView;
class UIButton;
class UIImageView;
class UILabel;
class UINavigationController;

class PPlayer : public UIView {
public:
    enum : int { TypeFeed = 0, TypeReview = 1, TypePage = 2 };

    static Ref<PPlayer> initWithFrame_andType(CGRect frame, int type);
    static Ref<PPlayer> initWithFrame(CGRect frame) { return initWithFrame_andType(frame, TypeFeed); }

    // The server's video record (nil for a local clip); setting it fills the view (fullFill).
    const Value& channel() const { return channel_; }
    void setChannel(const Value& channel);
    void fullFill();
    // A local clip: its file path (hides the feedback button and the duration) and its cover image file.
    const std::string& url() const { return url_; }
    void setUrl(const std::string& path);
    const std::string& cover() const { return cover_; }
    void setCover(const std::string& path);
    // The viewer's own emotion mark, shown as "emotion<n>.png" in the feedback button.
    int selfmark() const { return selfmark_; }
    void setSelfmark(int mark);
    // The navigation controller of the screen showing the player (not retained); the feedback popup
    // opens over it.
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }
    void setNavigationController(const Ref<UINavigationController>& controller) { navigationController_ = controller; }
    // Not retained; nothing sets it.
    Ref<MPMoviePlayerController> currentPlayer() const { return currentPlayer_.lock(); }
    void setCurrentPlayer(const Ref<MPMoviePlayerController>& player) { currentPlayer_ = player; }

    // Keeps the feedback button in the top-right corner.
    void setFrame(CGRect frame) override;

    // Actions: the play button, the whole-view button (full screen on and off), the feedback button.
    void play();
    void resize();
    void showFeedback();

    // Notifications of the shared movie player. A finish for a playback error (the stream could not be
    // loaded) tells the person on the status bar, and until this player plays again its view does not
    // go full screen: there is no movie to show there, only the cover.
    void playbackDidFinish(const Ref<NSNotification>& notification);
    void finished();
    void loadStateChanged();
    void playbackStatusChanged() {}

    // The movie player every inline player shares, made on first use and kept for the process.
    static Ref<MPMoviePlayerController> sharedMoviePlayer();
    // Stops whatever the shared player plays.
    static void stop();

    int usage() const { return usage_; }
    bool isFull() const { return full_; }
    bool isLandscape() const { return landscape_; }
    // Whether this player owns the shared player's current playback.
    bool isPlayer() const { return isPlayer_; }
    // Whether this player's last play failed to load its movie.
    bool playbackFailed() const { return failed_; }
    // The status-bar message shown when a movie cannot be loaded.
    static constexpr char kLoadFailedMessage[] = "视频加载失败";

    // The parts, for the screens and tests that look at them.
    Ref<UIImageView> coverImgv() const { return coverImgv_; }
    Ref<UIButton> playBtn() const { return playBtn_; }
    Ref<UIActivityIndicatorView> juhua() const { return juhua_; }
    Ref<UIButton> showFeedbackButton() const { return showFeedbackButton_; }
    Ref<UIImageView> myEmotion() const { return myEmotion_; }
    Ref<UILabel> hotCountLable() const { return hotCountLable_; }
    Ref<UILabel> videoLastTime() const { return videoLastTime_; }
    Ref<UIView> deletedCover() const { return deletedCover_; }
    Ref<UIImageView> deletedCoverImage() const { return deletedCoverImage_; }

    ~PPlayer() override;

protected:
    void initWithFrame_andTypeBody(CGRect frame, int type);

private:
    bool loaded_ = false;  // the shared player showed this player's movie since its last play
    bool failed_ = false;  // this player's last play ended in a playback error
    int usage_ = TypeFeed;
    Value channel_;
    std::string url_;
    std::string cover_;
    int selfmark_ = 0;
    Weak<UINavigationController> navigationController_;
    Weak<MPMoviePlayerController> currentPlayer_;

    bool full_ = false;
    bool landscape_ = false;
    bool isPlayer_ = false;
    Weak<UIView> lastSuperView_;
    CGRect lastFrame_ = CGRectZero;

    Ref<UIImageView> coverImgv_;
    Ref<UIButton> playBtn_;
    Ref<UIActivityIndicatorView> juhua_;
    Ref<UIButton> showFeedbackButton_;
    Ref<UIImageView> myEmotion_;
    Ref<UILabel> hotCountLable_;
    Ref<UILabel> videoLastTime_;
    Ref<UIView> deletedCover_;
    Ref<UIImageView> deletedCoverImage_;
};
