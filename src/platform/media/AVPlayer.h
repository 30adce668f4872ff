#pragma once
// The platform's item player: an AVPlayer plays an AVPlayerItem (a movie at a file or HTTP URL) into
// every AVPlayerLayer showing it; frames reach the layers at their times on the process clock, decoded
// on a thread of their own (MoviePlayback). Nothing plays sound.
//
// - The item's status becomes ready to play (or failed, with an error) once the movie is opened;
//   duration is invalid until then. An item that plays to its end posts
//   AVPlayerItemDidPlayToEndTimeNotification (object: the item) and the player's rate drops to 0.
// - play() sets the rate to 1, pause() to 0; at the end play() does nothing until a seek moves the time.
// - seekToTime moves the time at once (currentTime answers the new time) and shows the frame there,
//   also while paused.
// - A periodic time observer is called on its queue (the main queue when none is given) every
//   interval of the clock while the rate is not 0, and once after each seek.
//
// Main thread only.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/media/AVAsset.h"
#include "platform/media/CMTime.h"
#include "platform/uikit/CALayer.h"

class AVPlayerLayer;
class MoviePlayback;
class NSError;
class NSTimer;
class NSURL;

inline constexpr char AVPlayerItemDidPlayToEndTimeNotification[] = "AVPlayerItemDidPlayToEndTimeNotification";
inline constexpr char AVPlayerItemFailedToPlayToEndTimeNotification[] = "AVPlayerItemFailedToPlayToEndTimeNotification";

inline constexpr char AVLayerVideoGravityResizeAspect[] = "AVLayerVideoGravityResizeAspect";
inline constexpr char AVLayerVideoGravityResizeAspectFill[] = "AVLayerVideoGravityResizeAspectFill";
inline constexpr char AVLayerVideoGravityResize[] = "AVLayerVideoGravityResize";

enum AVPlayerStatus : int { AVPlayerStatusUnknown = 0, AVPlayerStatusReadyToPlay = 1, AVPlayerStatusFailed = 2 };
enum AVPlayerItemStatus : int {
    AVPlayerItemStatusUnknown = 0,
    AVPlayerItemStatusReadyToPlay = 1,
    AVPlayerItemStatusFailed = 2,
};

class AVPlayerItem : public NSObject {
public:
    static Ref<AVPlayerItem> playerItemWithURL(const Ref<NSURL>& url);
    static Ref<AVPlayerItem> initWithURL(const Ref<NSURL>& url) { return playerItemWithURL(url); }
    static Ref<AVPlayerItem> playerItemWithAsset(const Ref<AVAsset>& asset);

    Ref<NSURL> URL() const { return url_; }
    // The movie as an asset (for stills); made on first use from a file URL.
    Ref<AVAsset> asset();
    AVPlayerItemStatus status() const { return status_; }
    Ref<NSError> error() const { return error_; }
    // Invalid until the movie is open.
    CMTime duration() const;
    CGSize presentationSize() const { return presentationSize_; }
    CMTime currentTime() const;
    void seekToTime(CMTime time);
    // The item's access log as it stands (AVPlayerItemAccessLog.h); null without a source.
    Ref<class AVPlayerItemAccessLog> accessLog();

    ~AVPlayerItem() override;
    AVPlayerItem() = default;

private:
    friend class AVPlayer;
    void attach(const Ref<class AVPlayer>& player);

    Ref<NSURL> url_;
    Ref<AVAsset> asset_;
    AVPlayerItemStatus status_ = AVPlayerItemStatusUnknown;
    Ref<NSError> error_;
    double duration_ = -1;
    CGSize presentationSize_ = {0, 0};
    std::shared_ptr<MoviePlayback> playback_;
    Weak<AVPlayer> player_;
};

class AVPlayer : public NSObject {
public:
    static Ref<AVPlayer> playerWithURL(const Ref<NSURL>& url);
    static Ref<AVPlayer> initWithURL(const Ref<NSURL>& url) { return playerWithURL(url); }
    static Ref<AVPlayer> playerWithPlayerItem(const Ref<AVPlayerItem>& item);
    static Ref<AVPlayer> initWithPlayerItem(const Ref<AVPlayerItem>& item) { return playerWithPlayerItem(item); }

    Ref<AVPlayerItem> currentItem() const { return item_; }
    void replaceCurrentItemWithPlayerItem(const Ref<AVPlayerItem>& item);
    AVPlayerStatus status() const;

    void play();
    void pause();
    float rate() const { return rate_; }
    void setRate(float rate);
    CMTime currentTime() const;
    void seekToTime(CMTime time);

    using TimeObserver = std::function<void(CMTime time)>;
    // The returned token is what removeTimeObserver takes.
    Ref<NSObject> addPeriodicTimeObserverForInterval_queue_usingBlock(CMTime interval, dispatch_queue_t queue,
                                                                      TimeObserver block);
    void removeTimeObserver(const Ref<NSObject>& observer);

    ~AVPlayer() override;
    AVPlayer() = default;

private:
    friend class AVPlayerItem;
    friend class AVPlayerLayer;
    struct Observer;
    void itemShowed(const CGImageRef& image);
    void itemEnded();
    void itemSought();
    void notifyObservers(bool onlyWhenPlaying);

    Ref<AVPlayerItem> item_;
    float rate_ = 0;
    std::vector<Weak<AVPlayerLayer>> layers_;
    std::vector<Ref<Observer>> observers_;
    CGImageRef lastImage_;
};

// A layer showing what its player plays, placed by its video gravity (aspect-fit by default).
class AVPlayerLayer : public CALayer {
public:
    static Ref<AVPlayerLayer> playerLayerWithPlayer(const Ref<AVPlayer>& player);

    Ref<AVPlayer> player() const { return player_; }
    void setPlayer(const Ref<AVPlayer>& player);
    const std::string& videoGravity() const { return videoGravity_; }
    void setVideoGravity(const std::string& gravity);
    // Whether a frame has been shown.
    bool isReadyForDisplay() const { return static_cast<bool>(contents()); }

    AVPlayerLayer() = default;

private:
    Ref<AVPlayer> player_;
    std::string videoGravity_ = AVLayerVideoGravityResizeAspect;
};
