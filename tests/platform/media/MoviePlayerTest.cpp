// The movie players: a movie recorded like the camera's, played from a file and over HTTP, its frames
// reaching the player's view or layer at their times on a manual clock; load, playback and end states
// with their notifications; seeking; the finish posted inside stop.

#include "platform/media/AVPlayer.h"
#include "platform/media/MPMoviePlayerController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fixtures/FrameNumber.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIView.h"
#include "service/HttpServer.h"
#include "service/MovieRoutes.h"

namespace {
namespace MoviePlayerTest_cpp {

constexpr int kFrameRate = 10;  // one second: frame n is shown from n / 10 s

int frameNumber(const CGImageRef& image) { return syntheticFrameNumber(image); }

// What a player posted, in order.
struct Posted {
    std::string name;
    int reason = -1;  // the finish's reason
};

class MoviePlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TemporaryFolder("ombri-players");
        GrowingMovieOptions options;
        options.seconds = 1;
        options.frameRate = kFrameRate;
        options.keyFrameInterval = 5;
        GrowingMovie movie(*folder_ / "clip.mov", options);
        recorded_ = movie.start() && movie.writeFrames(movie.totalFrames()) && movie.finish();
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(recorded_); }
    void TearDown() override { NSNotificationCenter::defaultCenter()->removeObserver(observer_); }

    static std::string moviePath() { return *folder_ / "clip.mov"; }
    static Ref<NSURL> movieURL() { return NSURL::fileURLWithPath(moviePath()); }

    void record(const std::string& name)
    {
        NSNotificationCenter::defaultCenter()->addObserver(
            observer_, name, Value(), [this](const Ref<NSNotification>& note) {
                Posted p{note->name()};
                if (note->userInfo().isDictionary()) {
                    const Value reason = note->userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey];
                    p.reason = reason.isNil() ? -1 : reason.intValue();
                }
                posted_.push_back(p);
            });
    }
    void recordMoviePlayer()
    {
        record(MPMoviePlayerPlaybackDidFinishNotification);
        record(MPMoviePlayerLoadStateDidChangeNotification);
        record(MPMoviePlayerPlaybackStateDidChangeNotification);
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto& p : posted_) {
            out.push_back(p.name);
        }
        return out;
    }
    int finishes() const
    {
        int n = 0;
        for (const auto& p : posted_) {
            n += p.name == MPMoviePlayerPlaybackDidFinishNotification;
        }
        return n;
    }
    // The frame the view shows, waiting until it is `expected`.
    static bool waitForFrame(const Ref<CALayer>& layer, int expected)
    {
        return pumpMainUntil([&] { return frameNumber(layer->contents()) == expected; });
    }

    static inline TemporaryFolder* folder_ = nullptr;
    static inline bool recorded_ = false;
    MainThreadScope main_;
    ScopedManualClock clock_;
    Ref<NSObject> observer_ = NSObject::create();
    std::vector<Posted> posted_;
};

TEST_F(MoviePlayerTest, MoviePlayerShowsFramesAtTheirTimesAndFinishesAtTheEnd)
{
    auto player = MPMoviePlayerController::initWithContentURL(movieURL());
    recordMoviePlayer();
    player->play();
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePlaying);

    ASSERT_TRUE(pumpMainUntil([&] { return player->loadState() != MPMovieLoadStateUnknown; }));
    EXPECT_EQ(player->loadState(), MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK);
    EXPECT_NEAR(player->duration(), 1.0, 0.05);
    EXPECT_EQ(player->naturalSize().width, 480);
    // The first frame is on show once the load state says so.
    EXPECT_EQ(frameNumber(player->view()->layer()->contents()), 0);

    clock_.advance(0.45);
    ASSERT_TRUE(waitForFrame(player->view()->layer(), 4));
    EXPECT_NEAR(player->currentPlaybackTime(), 0.45, 1e-6);

    player->pause();
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePaused);
    clock_.advance(5);  // paused: the movie stands
    EXPECT_NEAR(player->currentPlaybackTime(), 0.45, 1e-6);
    player->play();
    clock_.advance(0.6);
    ASSERT_TRUE(pumpMainUntil([&] { return finishes() == 1; }));
    EXPECT_EQ(posted_.back().reason, MPMovieFinishReasonPlaybackEnded);
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_EQ(frameNumber(player->view()->layer()->contents()), 9);
    EXPECT_EQ(names(), (std::vector<std::string>{
                           MPMoviePlayerPlaybackStateDidChangeNotification,  // playing
                           MPMoviePlayerLoadStateDidChangeNotification,
                           MPMoviePlayerPlaybackStateDidChangeNotification,  // paused
                           MPMoviePlayerPlaybackStateDidChangeNotification,  // playing
                           MPMoviePlayerPlaybackStateDidChangeNotification,  // stopped at the end
                           MPMoviePlayerPlaybackDidFinishNotification,
                       }));

    // Played to its end, the movie starts again from the beginning.
    player->play();
    ASSERT_TRUE(waitForFrame(player->view()->layer(), 0));
    EXPECT_EQ(player->playbackState(), MPMoviePlaybackStatePlaying);
}

// stop() posts the finish itself, before it returns, exactly when something was loaded and not yet
// finished: whoever plays next right after the stop never sees a late finish meant for the previous
// owner.
TEST_F(MoviePlayerTest, StopPostsTheFinishBeforeReturningOnlyWhenSomethingWasPlaying)
{
    enum class Before { Nothing, Opening, Playing, Paused, PlayedToEnd, Failed };
    struct Case {
        Before before;
        int finishesFromStop;
    };
    const Case cases[] = {
        {Before::Nothing, 0}, {Before::Opening, 1}, {Before::Playing, 1},
        {Before::Paused, 1},  {Before::PlayedToEnd, 0}, {Before::Failed, 0},
    };
    recordMoviePlayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.before));
        auto player = MPMoviePlayerController::initWithContentURL(
            c.before == Before::Failed ? NSURL::fileURLWithPath(*folder_ / "missing.mov") : movieURL());
        if (c.before != Before::Nothing) {
            player->play();
        }
        if (c.before == Before::Playing || c.before == Before::Paused) {
            ASSERT_TRUE(pumpMainUntil([&] { return player->loadState() != MPMovieLoadStateUnknown; }));
        }
        if (c.before == Before::Paused) {
            player->pause();
        }
        if (c.before == Before::PlayedToEnd) {
            ASSERT_TRUE(pumpMainUntil([&] { return player->loadState() != MPMovieLoadStateUnknown; }));
            clock_.advance(2);
            ASSERT_TRUE(pumpMainUntil([&] { return finishes() == 1; }));
        }
        if (c.before == Before::Failed) {
            ASSERT_TRUE(pumpMainUntil([&] { return finishes() == 1; }));
            EXPECT_EQ(posted_.back().reason, MPMovieFinishReasonPlaybackError);
            EXPECT_EQ(player->loadState(), MPMovieLoadStateUnknown);
        }
        posted_.clear();

        player->stop();  // nothing is pumped: what stop posts, it posted itself
        EXPECT_EQ(finishes(), c.finishesFromStop);
        if (c.finishesFromStop) {
            EXPECT_EQ(posted_.front().name, MPMoviePlayerPlaybackDidFinishNotification);
            EXPECT_EQ(posted_.front().reason, MPMovieFinishReasonUserExited);
        }
        EXPECT_EQ(player->playbackState(), MPMoviePlaybackStateStopped);
        EXPECT_FALSE(player->view()->layer()->contents());
        // Nothing of the stopped movie arrives later.
        drainMain();
        EXPECT_EQ(finishes(), c.finishesFromStop);
        posted_.clear();
    }
}

TEST_F(MoviePlayerTest, MoviePlayerPlaysAMovieOfTheServiceOverHttp)
{
    standin::HttpServer server({.lifetime = std::chrono::seconds(30)});
    standin::installMovieRoute(server, "/stream/sc3001.mp4", moviePath());
    auto player = MPMoviePlayerController::initWithContentURL(
        NSURL::URLWithString("http://" + server.hostPort() + "/stream/sc3001.mp4?token=abc"));
    player->play();
    ASSERT_TRUE(pumpMainUntil([&] { return player->loadState() != MPMovieLoadStateUnknown; }));
    EXPECT_NEAR(player->duration(), 1.0, 0.05);
    clock_.advance(0.3);
    ASSERT_TRUE(waitForFrame(player->view()->layer(), 3));
    // The index sits at the end of the file: the player asked for parts of it.
    bool ranged = false;
    for (const auto& request : server.requests("/stream/sc3001.mp4")) {
        ranged = ranged || request.status == 206;
    }
    EXPECT_TRUE(ranged);
    player->stop();
}

TEST_F(MoviePlayerTest, ItemPlayerSeeksShowsItsLayerAndReportsTime)
{
    auto item = AVPlayerItem::playerItemWithURL(movieURL());
    auto player = AVPlayer::playerWithPlayerItem(item);
    auto layer = AVPlayerLayer::playerLayerWithPlayer(player);
    EXPECT_EQ(layer->contentsGravity(), kCAGravityResizeAspect);
    std::vector<double> times;
    auto token = player->addPeriodicTimeObserverForInterval_queue_usingBlock(
        CMTimeMake(25, 25), dispatch_get_main_queue(), [&](CMTime time) { times.push_back(CMTimeGetSeconds(time)); });
    record(AVPlayerItemDidPlayToEndTimeNotification);

    EXPECT_TRUE(CMTIME_IS_INVALID(item->duration()));
    ASSERT_TRUE(pumpMainUntil([&] { return item->status() == AVPlayerItemStatusReadyToPlay; }));
    EXPECT_EQ(player->status(), AVPlayerStatusReadyToPlay);
    EXPECT_NEAR(CMTimeGetSeconds(item->duration()), 1.0, 0.05);
    EXPECT_EQ(frameNumber(layer->contents()), 0);

    // Seeking while paused shows the frame there at once and tells the observer.
    player->seekToTime(CMTimeMake(6, 10));
    EXPECT_NEAR(CMTimeGetSeconds(player->currentTime()), 0.6, 1e-3);
    ASSERT_TRUE(waitForFrame(layer, 6));
    ASSERT_TRUE(pumpMainUntil([&] { return times.size() == 1; }));
    EXPECT_NEAR(times[0], 0.6, 1e-3);

    // Paused, the periodic observer stays quiet; playing, it reports every interval.
    clock_.advance(1);
    drainMain();
    EXPECT_EQ(times.size(), 1u);
    player->seekToTime(kCMTimeZero);
    ASSERT_TRUE(waitForFrame(layer, 0));
    times.clear();
    player->play();
    EXPECT_EQ(player->rate(), 1.0f);
    clock_.advance(0.5);
    ASSERT_TRUE(waitForFrame(layer, 5));
    clock_.advance(0.5);
    ASSERT_TRUE(pumpMainUntil([&] { return !posted_.empty(); }));
    EXPECT_EQ(posted_[0].name, AVPlayerItemDidPlayToEndTimeNotification);
    EXPECT_EQ(player->rate(), 0.0f);
    ASSERT_TRUE(pumpMainUntil([&] { return !times.empty(); }));
    EXPECT_NEAR(times[0], 1.0, 0.05);

    // At the end, play waits for a seek.
    player->play();
    EXPECT_EQ(player->rate(), 0.0f);
    player->removeTimeObserver(token);
}

TEST_F(MoviePlayerTest, MissingMovieFailsTheItem)
{
    auto item = AVPlayerItem::playerItemWithURL(NSURL::fileURLWithPath(*folder_ / "missing.mov"));
    auto player = AVPlayer::playerWithPlayerItem(item);
    ASSERT_TRUE(pumpMainUntil([&] { return item->status() != AVPlayerItemStatusUnknown; }));
    EXPECT_EQ(item->status(), AVPlayerItemStatusFailed);
    EXPECT_EQ(player->status(), AVPlayerStatusFailed);
    EXPECT_TRUE(item->error());
}

}  // namespace MoviePlayerTest_cpp
}  // namespace
