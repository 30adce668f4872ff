#include "platform/media/AVPlayer.h"

#include <algorithm>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSTimer.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/MoviePlayback.h"

namespace {
namespace AVPlayer_cpp {

// Movie times are answered in 1/600 s, the platform's usual movie timescale.
constexpr int32_t kTimescale = 600;

std::string layerGravity(const std::string& videoGravity)
{
    if (videoGravity == AVLayerVideoGravityResizeAspectFill) {
        return kCAGravityResizeAspectFill;
    }
    if (videoGravity == AVLayerVideoGravityResize) {
        return kCAGravityResize;
    }
    return kCAGravityResizeAspect;
}

}  // namespace AVPlayer_cpp
}  // namespace

// --- Items ---

Ref<AVPlayerItem> AVPlayerItem::playerItemWithURL(const Ref<NSURL>& url)
{
    auto item = std::make_shared<AVPlayerItem>();
    item->url_ = url;
    return item;
}

Ref<AVPlayerItem> AVPlayerItem::playerItemWithAsset(const Ref<AVAsset>& asset)
{
    auto item = std::make_shared<AVPlayerItem>();
    item->asset_ = asset;
    if (auto urlAsset = std::dynamic_pointer_cast<AVURLAsset>(asset)) {
        item->url_ = urlAsset->URL();
    }
    return item;
}

AVPlayerItem::~AVPlayerItem()
{
    if (playback_) {
        playback_->close();
    }
}

Ref<AVAsset> AVPlayerItem::asset()
{
    if (!asset_) {
        asset_ = AVURLAsset::URLAssetWithURL_options(url_);
    }
    return asset_;
}

CMTime AVPlayerItem::duration() const
{
    return duration_ < 0 ? kCMTimeInvalid : CMTimeMakeWithSeconds(duration_, AVPlayer_cpp::kTimescale);
}

CMTime AVPlayerItem::currentTime() const
{
    return CMTimeMakeWithSeconds(playback_ ? playback_->currentTime() : 0, AVPlayer_cpp::kTimescale);
}

void AVPlayerItem::seekToTime(CMTime time)
{
    if (!playback_) {
        return;
    }
    playback_->seek(CMTimeGetSeconds(time));
    if (auto player = player_.lock()) {
        player->itemSought();
    }
}

void AVPlayerItem::attach(const Ref<AVPlayer>& player)
{
    player_ = player;
    if (playback_ || !url_) {
        if (!url_) {
            status_ = AVPlayerItemStatusFailed;
            error_ = NSError::errorWithDomain_code_userInfo(AVFoundationErrorDomain, AVErrorUnknown, Value());
        }
        return;
    }
    Weak<AVPlayerItem> weak = self<AVPlayerItem>();
    MoviePlaybackListener listener;
    listener.ready = [weak](double duration, CGSize size) {
        if (auto item = weak.lock()) {
            item->duration_ = duration;
            item->presentationSize_ = size;
            item->status_ = AVPlayerItemStatusReadyToPlay;
        }
    };
    listener.failed = [weak](const std::string& reason) {
        if (auto item = weak.lock()) {
            item->status_ = AVPlayerItemStatusFailed;
            item->error_ = NSError::errorWithDomain_code_userInfo(
                AVFoundationErrorDomain, AVErrorUnknown,
                Value::dictionary({{"NSLocalizedDescription", Value(reason)}}));
        }
    };
    listener.frame = [weak](const CGImageRef& image, double) {
        auto item = weak.lock();
        if (auto player = item ? item->player_.lock() : nullptr) {
            player->itemShowed(image);
        }
    };
    listener.ended = [weak]() {
        auto item = weak.lock();
        if (auto player = item ? item->player_.lock() : nullptr) {
            player->itemEnded();
        }
    };
    const std::string location = url_->isFileURL() ? url_->path() : url_->absoluteString();
    playback_ = MoviePlayback::open(location, std::move(listener));
}

// --- Players ---

struct AVPlayer::Observer : public NSObject {
    double interval = 1;
    dispatch_queue_t queue;
    TimeObserver block;
    Ref<NSTimer> timer;
};

Ref<AVPlayer> AVPlayer::playerWithURL(const Ref<NSURL>& url)
{
    return playerWithPlayerItem(AVPlayerItem::playerItemWithURL(url));
}

Ref<AVPlayer> AVPlayer::playerWithPlayerItem(const Ref<AVPlayerItem>& item)
{
    auto player = std::make_shared<AVPlayer>();
    player->replaceCurrentItemWithPlayerItem(item);
    return player;
}

AVPlayer::~AVPlayer()
{
    for (const auto& observer : observers_) {
        observer->timer->invalidate();
    }
}

void AVPlayer::replaceCurrentItemWithPlayerItem(const Ref<AVPlayerItem>& item)
{
    if (item_ && item_->playback_) {
        item_->playback_->pause();
    }
    item_ = item;
    lastImage_ = nullptr;
    if (item_) {
        item_->attach(self<AVPlayer>());
        if (rate_ != 0 && item_->playback_) {
            item_->playback_->play();
        }
    }
}

AVPlayerStatus AVPlayer::status() const
{
    if (!item_) {
        return AVPlayerStatusUnknown;
    }
    switch (item_->status()) {
    case AVPlayerItemStatusReadyToPlay:
        return AVPlayerStatusReadyToPlay;
    case AVPlayerItemStatusFailed:
        return AVPlayerStatusFailed;
    default:
        return AVPlayerStatusUnknown;
    }
}

void AVPlayer::play() { setRate(1); }

void AVPlayer::pause() { setRate(0); }

void AVPlayer::setRate(float rate)
{
    auto playback = item_ ? item_->playback_ : nullptr;
    if (rate != 0 && playback && playback->hasEnded()) {
        return;  // at the end: nothing plays until a seek moves the time
    }
    rate_ = rate;
    if (!playback) {
        return;
    }
    if (rate != 0) {
        playback->play();
    } else {
        playback->pause();
    }
}

CMTime AVPlayer::currentTime() const
{
    return item_ ? item_->currentTime() : kCMTimeZero;
}

void AVPlayer::seekToTime(CMTime time)
{
    if (item_) {
        item_->seekToTime(time);
    }
}

Ref<NSObject> AVPlayer::addPeriodicTimeObserverForInterval_queue_usingBlock(CMTime interval, dispatch_queue_t queue,
                                                                            TimeObserver block)
{
    auto observer = std::make_shared<Observer>();
    observer->interval = std::max(CMTimeGetSeconds(interval), 0.001);
    observer->queue = queue ? queue : dispatch_get_main_queue();
    observer->block = std::move(block);
    Weak<AVPlayer> weak = self<AVPlayer>();
    Weak<Observer> weakObserver = observer;
    observer->timer = NSTimer::scheduledTimerWithTimeInterval(observer->interval, true, [weak, weakObserver] {
        auto player = weak.lock();
        auto me = weakObserver.lock();
        if (!player || !me || player->rate_ == 0) {
            return;
        }
        const CMTime now = player->currentTime();
        auto fn = me->block;
        dispatch_async(me->queue, [fn, now] { fn(now); });
    });
    observers_.push_back(observer);
    return observer;
}

void AVPlayer::removeTimeObserver(const Ref<NSObject>& token)
{
    auto it = std::find_if(observers_.begin(), observers_.end(),
                           [&](const Ref<Observer>& observer) { return observer.get() == token.get(); });
    if (it != observers_.end()) {
        (*it)->timer->invalidate();
        observers_.erase(it);
    }
}

void AVPlayer::itemShowed(const CGImageRef& image)
{
    lastImage_ = image;
    layers_.erase(std::remove_if(layers_.begin(), layers_.end(), [](const Weak<AVPlayerLayer>& l) { return l.expired(); }),
                  layers_.end());
    for (const auto& weak : layers_) {
        if (auto layer = weak.lock()) {
            layer->setContents(image);
        }
    }
}

void AVPlayer::itemEnded()
{
    rate_ = 0;
    NSNotificationCenter::defaultCenter()->postNotificationName_object(AVPlayerItemDidPlayToEndTimeNotification,
                                                                       Value(Ref<NSObject>(item_)));
}

void AVPlayer::itemSought() { notifyObservers(false); }

void AVPlayer::notifyObservers(bool onlyWhenPlaying)
{
    if (onlyWhenPlaying && rate_ == 0) {
        return;
    }
    const CMTime now = currentTime();
    for (const auto& observer : observers_) {
        auto fn = observer->block;
        dispatch_async(observer->queue, [fn, now] { fn(now); });
    }
}

// --- Layers ---

Ref<AVPlayerLayer> AVPlayerLayer::playerLayerWithPlayer(const Ref<AVPlayer>& player)
{
    auto layer = std::make_shared<AVPlayerLayer>();
    layer->setContentsGravity(kCAGravityResizeAspect);
    layer->setPlayer(player);
    return layer;
}

void AVPlayerLayer::setPlayer(const Ref<AVPlayer>& player)
{
    if (player_) {
        auto& layers = player_->layers_;
        layers.erase(std::remove_if(layers.begin(), layers.end(),
                                    [this](const Weak<AVPlayerLayer>& l) {
                                        auto locked = l.lock();
                                        return !locked || locked.get() == this;
                                    }),
                     layers.end());
    }
    player_ = player;
    setContents(player_ ? player_->lastImage_ : nullptr);
    if (player_) {
        player_->layers_.push_back(self<AVPlayerLayer>());
    }
}

void AVPlayerLayer::setVideoGravity(const std::string& gravity)
{
    videoGravity_ = gravity;
    setContentsGravity(AVPlayer_cpp::layerGravity(gravity));
}
