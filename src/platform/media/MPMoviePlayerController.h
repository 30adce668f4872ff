#pragma once
// The platform's movie player: plays the movie at its content URL (a file URL or an HTTP URL) into its
// view, whose layer shows each frame at its time (aspect-fit on black), so a window or the gallery
// rendering the view shows the playing picture. Decoding runs on a thread of its own (MoviePlayback).
//
// Notifications, posted on the main thread with the player as object:
// - MPMoviePlayerLoadStateDidChangeNotification when the movie opened and its first frame is shown
//   (load state playable | playthrough OK), and when a failed load drops back to unknown;
// - MPMoviePlayerPlaybackStateDidChangeNotification whenever playbackState changes;
// - MPMoviePlayerPlaybackDidFinishNotification (reason in userInfo under
//   MPMoviePlayerPlaybackDidFinishReasonUserInfoKey) when the movie played to its end, when it could not
//   be played (with the error under "error"), and inside stop() - synchronously, before stop returns -
//   when something was loading or playing (reason user exited). Whoever starts the next movie right
//   after a stop therefore sees the previous owner's finish first.
//
// setContentURL stops what plays. play() opens the content when needed and plays; at the end, play()
// starts again from the beginning. Main thread only.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class MoviePlayback;
class NSURL;
class UIView;

inline constexpr char MPMoviePlayerPlaybackDidFinishNotification[] = "MPMoviePlayerPlaybackDidFinishNotification";
inline constexpr char MPMoviePlayerLoadStateDidChangeNotification[] = "MPMoviePlayerLoadStateDidChangeNotification";
inline constexpr char MPMoviePlayerPlaybackStateDidChangeNotification[] =
    "MPMoviePlayerPlaybackStateDidChangeNotification";
inline constexpr char MPMovieDurationAvailableNotification[] = "MPMovieDurationAvailableNotification";
inline constexpr char MPMoviePlayerPlaybackDidFinishReasonUserInfoKey[] =
    "MPMoviePlayerPlaybackDidFinishReasonUserInfoKey";

enum MPMovieFinishReason : int {
    MPMovieFinishReasonPlaybackEnded = 0,
    MPMovieFinishReasonPlaybackError = 1,
    MPMovieFinishReasonUserExited = 2,
};

using MPMovieLoadState = unsigned;
inline constexpr MPMovieLoadState MPMovieLoadStateUnknown = 0;
inline constexpr MPMovieLoadState MPMovieLoadStatePlayable = 1 << 0;
inline constexpr MPMovieLoadState MPMovieLoadStatePlaythroughOK = 1 << 1;
inline constexpr MPMovieLoadState MPMovieLoadStateStalled = 1 << 2;

enum MPMoviePlaybackState : int {
    MPMoviePlaybackStateStopped = 0,
    MPMoviePlaybackStatePlaying = 1,
    MPMoviePlaybackStatePaused = 2,
    MPMoviePlaybackStateInterrupted = 3,
    MPMoviePlaybackStateSeekingForward = 4,
    MPMoviePlaybackStateSeekingBackward = 5,
};

enum MPMovieControlStyle : int {
    MPMovieControlStyleNone = 0,
    MPMovieControlStyleEmbedded = 1,
    MPMovieControlStyleFullscreen = 2,
    MPMovieControlStyleDefault = MPMovieControlStyleEmbedded,
};

enum MPMovieScalingMode : int {
    MPMovieScalingModeNone = 0,
    MPMovieScalingModeAspectFit = 1,
    MPMovieScalingModeAspectFill = 2,
    MPMovieScalingModeFill = 3,
};

class MPMoviePlayerController : public NSObject {
public:
    // A nil URL makes a player without content.
    static Ref<MPMoviePlayerController> initWithContentURL(const Ref<NSURL>& url);

    Ref<NSURL> contentURL() const { return contentURL_; }
    void setContentURL(const Ref<NSURL>& url);

    // The view that shows the movie (black, the picture aspect-fit in its layer).
    Ref<UIView> view() const;

    MPMovieControlStyle controlStyle() const { return controlStyle_; }
    void setControlStyle(MPMovieControlStyle style) { controlStyle_ = style; }
    MPMovieScalingMode scalingMode() const { return scalingMode_; }
    void setScalingMode(MPMovieScalingMode mode);
    bool shouldAutoplay() const { return shouldAutoplay_; }
    void setShouldAutoplay(bool value) { shouldAutoplay_ = value; }

    // Opens the content without playing.
    void prepareToPlay();
    void play();
    void pause();
    // Ends playback and unloads the movie; posts the finish (reason user exited) before returning when
    // something was loading, playing or paused.
    void stop();

    MPMovieLoadState loadState() const { return loadState_; }
    MPMoviePlaybackState playbackState() const { return playbackState_; }
    // Seconds; the duration is 0 until known.
    double currentPlaybackTime() const;
    void setCurrentPlaybackTime(double seconds);
    double duration() const { return duration_; }
    CGSize naturalSize() const { return naturalSize_; }

    ~MPMoviePlayerController() override;
    MPMoviePlayerController() = default;

private:
    void load();
    void unload();
    void setPlaybackState(MPMoviePlaybackState state);
    void setLoadState(MPMovieLoadState state);
    void postFinish(MPMovieFinishReason reason, const std::string& error = {});

    Ref<NSURL> contentURL_;
    Ref<UIView> view_;
    MPMovieControlStyle controlStyle_ = MPMovieControlStyleDefault;
    MPMovieScalingMode scalingMode_ = MPMovieScalingModeAspectFit;
    bool shouldAutoplay_ = true;
    std::shared_ptr<MoviePlayback> playback_;
    bool failed_ = false;      // the content could not be played; play() opens it again
    bool finishOwed_ = false;  // a finish will be posted for the loaded movie (ended, failed or stopped)
    MPMovieLoadState loadState_ = MPMovieLoadStateUnknown;
    MPMoviePlaybackState playbackState_ = MPMoviePlaybackStateStopped;
    double duration_ = 0;
    CGSize naturalSize_ = {0, 0};
};
