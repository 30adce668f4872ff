// The inline player and the full-screen movie player, driven by taps against a movie recorded like the
// camera's and the stand-in service's cover images; time runs on a manual clock where movies play.

#include "capture/PPlayer.h"
#include "capture/PZMoviePlayer/PZMoviePlayerController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "capture/FeedbackPopup.h"
#include "fixtures/FrameNumber.h"
#include "fixtures/GrowingMovie.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVPlayer.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIPhotoAlbum.h"
#include "platform/uikit/UISlider.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "service/HttpServer.h"
#include "widgets/StatusBarOverlay.h"

namespace {
namespace PPlayerTest_cpp {

int frameNumber(const CGImageRef& image) { return syntheticFrameNumber(image); }

void expectNear(CGRect a, CGRect b)
{
    EXPECT_NEAR(a.origin.x, b.origin.x, 1e-3);
    EXPECT_NEAR(a.origin.y, b.origin.y, 1e-3);
    EXPECT_NEAR(a.size.width, b.size.width, 1e-3);
    EXPECT_NEAR(a.size.height, b.size.height, 1e-3);
}

class TestAppDelegate : public UIApplicationDelegate, public ApplicationServices {
public:
    Ref<UIWindow> window() const override { return window_; }
    void presentLogin() override { ++logins; }

    Ref<UIWindow> window_;
    int logins = 0;
};

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TemporaryFolder("ombri-pplayer");
        GrowingMovieOptions options;
        options.seconds = 1;
        options.frameRate = 10;  // frame n is shown from n / 10 s
        GrowingMovie movie(moviePath(), options);
        recorded_ = movie.start() && movie.writeFrames(movie.totalFrames()) && movie.finish();
        // The cover: the movie's first frame as a PNG, as the review screen makes one.
        UIImage::installImageCodecs();
        auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(
            AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(moviePath())));
        CGImageRef still = generator->copyCGImageAtTime_actualTime_error(kCMTimeZero, nullptr, nullptr);
        if (still) {
            auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(still));
            recorded_ = recorded_ && png && png->writeToFile_atomically(coverPath(), true);
        } else {
            recorded_ = false;
        }
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(recorded_);
        std::filesystem::create_directories(home_ / "home");
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home_ / "home"));
        NSUserDefaults::resetStandardUserDefaults();
        delegate_->window_ = window_;
        UIApplication::sharedApplication()->setDelegate(delegate_);
        window_->makeKeyAndVisible();
        FeedbackPopup::clearShown();
    }
    void TearDown() override
    {
        PPlayer::stop();
        UIApplication::sharedApplication()->setDelegate(nullptr);
        NSUserDefaults::resetStandardUserDefaults();
    }

    static std::string moviePath() { return *folder_ / "clip.mov"; }
    static std::string coverPath() { return *folder_ / "cover.png"; }

    // A tap at the middle of a view, as a finger on the window.
    void tap(const Ref<UIView>& view)
    {
        const CGRect b = view->bounds();
        window_->simulateTap(view->convertPoint_toView(CGPointMake(b.size.width / 2, b.size.height / 2), window_));
    }

    // A record of the service as the feed gives it.
    static Value record(int hot, int status, const std::string& coverBase = "http://127.0.0.1:9/pic/")
    {
        return Value::dictionary({
            {"scid", "sc3001"},
            {"pic", Value::dictionary({{"base", Value(coverBase)}, {"m", "sc3001.png"}})},
            {"stream", Value::dictionary({{"base", "http://127.0.0.1:9/"}, {"ios", "mp4"}})},
            {"ext", Value::dictionary({{"status", status}, {"lengthNice", "0:12"}})},
            {"stat", Value::dictionary({{"hcnt", hot}})},
        });
    }

    static inline TemporaryFolder* folder_ = nullptr;
    static inline bool recorded_ = false;
    TemporaryFolder home_{"ombri-pplayer-home"};
    MainThreadScope main_;
    Ref<UIWindow> window_ = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    std::shared_ptr<TestAppDelegate> delegate_ = std::make_shared<TestAppDelegate>();
};

TEST_F(PlayerTest, FillsItselfFromTheRecord)
{
    struct Case {
        int type;
        int hot;
        int status;
        std::string hotText;
        std::string timeText;
        bool deleted;
        bool feedbackHidden;
    };
    const Case cases[] = {
        {PPlayer::TypeFeed, 99, 1, "99", "0:12", false, false},
        {PPlayer::TypeFeed, 100, 1, "99+", "0:12", false, false},
        {PPlayer::TypeFeed, 7, 10, "7", "直播", false, false},
        {PPlayer::TypeFeed, 7, -1, "7", "0:12", true, false},
        {PPlayer::TypePage, 7, 1, "7", "0:12", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hotText + " " + std::to_string(c.status) + " type " + std::to_string(c.type));
        auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 300, 200), c.type);
        EXPECT_EQ(player->showFeedbackButton()->frame(), CGRectMake(256, 173, 44, 27));
        window_->addSubview(player);
        player->setChannel(record(c.hot, c.status));
        EXPECT_EQ(player->hotCountLable()->text(), c.hotText);
        EXPECT_EQ(player->videoLastTime()->text(), c.timeText);
        EXPECT_FALSE(player->videoLastTime()->isHidden());
        EXPECT_EQ(player->deletedCover()->isHidden(), !c.deleted);
        EXPECT_EQ(player->showFeedbackButton()->isHidden(), c.feedbackHidden);
        // A new frame keeps the feedback button in the top-right corner.
        player->setFrame(CGRectMake(10, 20, 280, 180));
        EXPECT_EQ(player->showFeedbackButton()->frame(), CGRectMake(236, 0, 44, 27));
        player->removeFromSuperview();
    }

    // The cover comes from the record's picture address through the image cache.
    standin::HttpServer server({.lifetime = std::chrono::seconds(30)});
    std::ifstream in(coverPath(), std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    server.route("/pic/sc3001.png", [png](const standin::Request&) {
        standin::Response response;
        response.body = png;
        return response.with("Content-Type", "image/png");
    });
    auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 320, 240), PPlayer::TypeFeed);
    window_->addSubview(player);
    player->setChannel(record(3, 1, "http://" + server.hostPort() + "/pic/"));
    player->setSelfmark(2);
    EXPECT_EQ(player->myEmotion()->image(), UIImage::imageNamed("emotion2.png"));
    ASSERT_TRUE(pumpMainUntil([&] { return player->coverImgv()->image() != nullptr; }));
    EXPECT_EQ(player->coverImgv()->image()->size(), CGSizeMake(480, 360));
}

// Playing: the movie's picture shows in place of the cover, as the decoder gave it.
TEST_F(PlayerTest, PlaysALocalClipInPlaceShowingItsFrames)
{
    ScopedManualClock clock;
    auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 320, 240), PPlayer::TypeFeed);
    window_->addSubview(player);
    player->setUrl(moviePath());
    player->setCover(coverPath());
    EXPECT_TRUE(player->showFeedbackButton()->isHidden());
    EXPECT_TRUE(player->videoLastTime()->isHidden());

    tap(player->playBtn());
    auto movie = PPlayer::sharedMoviePlayer();
    EXPECT_TRUE(player->isPlayer());
    EXPECT_TRUE(player->playBtn()->isHidden());
    EXPECT_FALSE(player->juhua()->isHidden());
    EXPECT_TRUE(player->juhua()->isAnimating());
    EXPECT_EQ(movie->view()->superview(), player);
    EXPECT_EQ(movie->view()->frame(), player->bounds());
    EXPECT_EQ(movie->controlStyle(), MPMovieControlStyleNone);
    EXPECT_EQ(movie->contentURL()->path(), moviePath());

    ASSERT_TRUE(pumpMainUntil([&] { return player->juhua()->isHidden(); }));
    EXPECT_FALSE(player->juhua()->isAnimating());
    // The cover went behind the movie.
    EXPECT_EQ(player->subviews()[0], player->coverImgv());
    EXPECT_EQ(player->subviews()[1], movie->view());

    // What the window shows at the bars of the test picture is the decoded first frame.
    auto generator = AVAssetImageGenerator::assetImageGeneratorWithAsset(
        AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(moviePath())));
    CGImageRef still = generator->copyCGImageAtTime_actualTime_error(kCMTimeZero, nullptr, nullptr);
    ASSERT_TRUE(still);
    // The picture is fitted into the 320 x 240 view: two thirds of the movie's pixels each way.
    Ref<UIImage> shot = UIWindowSnapshot(window_, 1);
    ASSERT_TRUE(shot);
    const int y = CameraTestPicture::barsCentreY(360);
    for (int bar = 0; bar < CameraTestPicture::kBars; ++bar) {
        SCOPED_TRACE(bar);
        const int x = CameraTestPicture::barCentreX(480, bar);
        const uint32_t want = still->pixelAt(size_t(x), size_t(y));
        const uint32_t got = shot->CGImage()->pixelAt(size_t(x * 2 / 3), size_t(y * 2 / 3));
        for (int shift : {0, 8, 16}) {
            EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 12) << "channel at bit " << shift;
        }
    }

    clock.advance(0.55);
    ASSERT_TRUE(pumpMainUntil([&] { return frameNumber(movie->view()->layer()->contents()) == 5; }));

    // At the end the player goes back to its cover and play button.
    clock.advance(1);
    ASSERT_TRUE(pumpMainUntil([&] { return !player->isPlayer(); }));
    EXPECT_FALSE(player->playBtn()->isHidden());
    EXPECT_FALSE(player->videoLastTime()->isHidden());
    EXPECT_EQ(movie->view()->superview(), nullptr);
}

TEST_F(PlayerTest, ALocalClipsCoverKeepsItsShapeInAFrameOfAnotherShape)
{
    // A portrait cover (60 x 80, red) in the landscape frame the own page gives a local entry.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(60, 80), true, 1);
    UIColor::colorWithRed_green_blue_alpha(0.86, 0.16, 0.16, 1)->setFill();
    UIRectFill(CGRectMake(0, 0, 60, 80));
    auto portrait = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    const std::string path = *folder_ / "portrait.png";
    const auto png = UIImagePNGRepresentation(portrait);
    ASSERT_TRUE(png && png->writeToFile_atomically(path, true));

    auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 288, 195), PPlayer::TypeFeed);
    window_->addSubview(player);
    player->setUrl(moviePath());
    player->setCover(path);
    Ref<UIImage> shot = UIWindowSnapshot(window_, 1);
    ASSERT_TRUE(shot);
    auto channels = [&](int x, int y) {
        const uint32_t pixel = shot->CGImage()->pixelAt(size_t(x), size_t(y));
        return std::vector<int>{int(pixel & 0xFF), int((pixel >> 8) & 0xFF), int((pixel >> 16) & 0xFF)};
    };
    // Fitted: 146 points wide in the middle, the picture's colour there; black bars either side,
    // where a stretched cover would still be red.
    for (int x : {90, 144, 198}) {
        const std::vector<int> c = channels(x, 20);
        EXPECT_GT(*std::max_element(c.begin(), c.end()), 180) << "inside, at x " << x;
    }
    for (int x : {20, 60, 228, 270}) {
        const std::vector<int> c = channels(x, 20);
        EXPECT_LT(*std::max_element(c.begin(), c.end()), 30) << "beside, at x " << x;
    }
}

// One video plays at a time: a second player starting takes the movie from the first, which is idle
// again by the time the second one holds the movie's view.
TEST_F(PlayerTest, SecondPlayerTakesTheMovieOverFromTheFirst)
{
    ScopedManualClock clock;
    auto first = PPlayer::initWithFrame_andType(CGRectMake(0, 0, 320, 200), PPlayer::TypeFeed);
    auto second = PPlayer::initWithFrame_andType(CGRectMake(0, 240, 320, 200), PPlayer::TypeFeed);
    for (const auto& player : {first, second}) {
        window_->addSubview(player);
        player->setUrl(moviePath());
    }
    auto movie = PPlayer::sharedMoviePlayer();
    tap(first->playBtn());
    ASSERT_TRUE(pumpMainUntil([&] { return first->juhua()->isHidden(); }));

    tap(second->playBtn());
    // Nothing was pumped: the hand-over happened within the tap.
    EXPECT_FALSE(first->isPlayer());
    EXPECT_FALSE(first->playBtn()->isHidden());
    EXPECT_FALSE(first->videoLastTime()->isHidden());
    EXPECT_TRUE(second->isPlayer());
    EXPECT_EQ(movie->view()->superview(), second);
    ASSERT_TRUE(pumpMainUntil([&] { return second->juhua()->isHidden(); }));
    // Nothing that arrives later changes that.
    EXPECT_TRUE(second->isPlayer());
    EXPECT_EQ(movie->view()->superview(), second);
    EXPECT_FALSE(first->isPlayer());
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);

    // The class-wide stop sends the second one back to its cover too.
    PPlayer::stop();
    EXPECT_FALSE(second->isPlayer());
    EXPECT_FALSE(second->playBtn()->isHidden());

    // Releasing any player stops the movie.
    tap(first->playBtn());
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStatePlaying);
    second->removeFromSuperview();
    second.reset();
    EXPECT_EQ(movie->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_FALSE(first->isPlayer());
}

// A stream that cannot be loaded (the service answers 404): the person is told on the status bar, the
// player goes back to its cover, and a tap on the cover does not open full screen on a movie that never
// loaded. Playing again clears that.
TEST_F(PlayerTest, AStreamThatCannotLoadIsReportedAndDoesNotGoFullScreen)
{
    standin::HttpServer server({.lifetime = std::chrono::seconds(30)});  // no route: every stream is 404
    Value channel = record(3, 1);
    channel.setObject_forKey(Value::dictionary({{"base", Value("http://" + server.hostPort() + "/stream/")}, {"ios", "mp4"}}),
                             "stream");
    auto holder = UIView::initWithFrame(window_->bounds());
    window_->addSubview(holder);
    auto player = PPlayer::initWithFrame_andType(CGRectMake(10, 50, 300, 200), PPlayer::TypeFeed);
    holder->addSubview(player);
    player->setChannel(channel);

    tap(player->playBtn());
    EXPECT_TRUE(player->isPlayer());
    ASSERT_TRUE(pumpMainUntil([&] { return !player->isPlayer(); }));
    EXPECT_EQ(server.requests("/stream/sc3001.mp4").size(), 1u);
    EXPECT_TRUE(player->playbackFailed());
    EXPECT_FALSE(player->playBtn()->isHidden());
    EXPECT_EQ(PPlayer::sharedMoviePlayer()->view()->superview(), nullptr);
    bool told = false;
    for (const Value& message : StatusBarOverlay::sharedOverlay()->messageQueue()) {
        told = told || message[kStatusBarOverlayMessageKey].stringValue() == PPlayer::kLoadFailedMessage;
    }
    EXPECT_TRUE(told);

    window_->simulateTap(CGPointMake(40, 110));  // the cover, the second click
    EXPECT_FALSE(player->isFull());
    EXPECT_EQ(player->superview(), holder);
    EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());

    // A new play starts afresh: it is not marked failed while it loads.
    tap(player->playBtn());
    EXPECT_FALSE(player->playbackFailed());
    ASSERT_TRUE(pumpMainUntil([&] { return !player->isPlayer(); }));
    EXPECT_TRUE(player->playbackFailed());
    holder->removeFromSuperview();
}

TEST_F(PlayerTest, GoesFullScreenByItsTypeAndComesBack)
{
    struct Case {
        int type;
        CGRect frame;
        bool goesFull;
        bool rotates;
    };
    const Case cases[] = {
        {PPlayer::TypeFeed, CGRectMake(10, 50, 300, 200), true, true},
        {PPlayer::TypeFeed, CGRectMake(10, 50, 200, 300), true, false},
        {PPlayer::TypeReview, CGRectMake(10, 50, 300, 200), false, false},
        {PPlayer::TypePage, CGRectMake(10, 50, 300, 200), true, true},
    };
    auto app = UIApplication::sharedApplication();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + (c.rotates ? " wide" : " tall"));
        auto holder = UIView::initWithFrame(window_->bounds());
        window_->addSubview(holder);
        auto player = PPlayer::initWithFrame_andType(c.frame, c.type);
        holder->addSubview(player);
        player->setChannel(record(5, 1));
        const bool feedbackShown = c.type != PPlayer::TypePage;
        EXPECT_EQ(!player->showFeedbackButton()->isHidden(), feedbackShown);

        window_->simulateTap(CGPointMake(c.frame.origin.x + 30, c.frame.origin.y + 60));  // the cover
        EXPECT_EQ(player->isFull(), c.goesFull);
        EXPECT_EQ(player->superview(), c.goesFull ? Ref<UIView>(window_) : holder);
        EXPECT_EQ(player->isLandscape(), c.rotates);
        EXPECT_EQ(app->isStatusBarHidden(), c.goesFull);
        if (c.goesFull) {
            EXPECT_TRUE(player->showFeedbackButton()->isHidden());
            expectNear(player->bounds(), c.rotates ? CGRectMake(0, 0, 480, 320) : CGRectMake(0, 0, 320, 480));
            window_->simulateTap(CGPointMake(300, 400));  // away from the middle's play button
            EXPECT_FALSE(player->isFull());
            EXPECT_EQ(player->superview(), holder);
            expectNear(player->frame(), c.frame);
            EXPECT_FALSE(app->isStatusBarHidden());
            EXPECT_EQ(!player->showFeedbackButton()->isHidden(), feedbackShown);
        } else {
            EXPECT_EQ(player->frame(), c.frame);
        }
        holder->removeFromSuperview();
    }
}

TEST_F(PlayerTest, FeedbackAsksForLoginFirst)
{
    auto screen = UIViewController::create();
    auto navigation = UINavigationController::initWithRootViewController(screen);
    window_->setRootViewController(navigation);
    auto player = PPlayer::initWithFrame_andType(CGRectMake(0, 10, 320, 240), PPlayer::TypeFeed);
    screen->view()->addSubview(player);
    player->setNavigationController(navigation);
    const Value channel = record(5, 1);
    player->setChannel(channel);

    tap(player->showFeedbackButton());
    EXPECT_EQ(delegate_->logins, 1);
    EXPECT_FALSE(FeedbackPopup::lastShown());

    storeUserInfo(Value::dictionary({{"status", 200}, {"token", "t1"}, {"suid", "1001"}}));
    tap(player->showFeedbackButton());
    EXPECT_EQ(delegate_->logins, 1);
    const auto shown = FeedbackPopup::lastShown();
    ASSERT_TRUE(shown);
    // The button's place in the navigation controller's view: the player sits 10 points down the screen.
    const CGPoint expected =
        player->convertPoint_toView(player->showFeedbackButton()->frame().origin, navigation->view());
    EXPECT_EQ(shown->point, expected);
    EXPECT_EQ(shown->point.y - screen->view()->convertPoint_toView(CGPointMake(0, 0), navigation->view()).y,
              10 + 240 - 27);
    EXPECT_EQ(shown->channel["scid"].stringValue(), "sc3001");
    EXPECT_EQ(shown->navigation.lock(), navigation);
}

// --- The full-screen movie player ---

TEST(MoviePlayerTimeText, MinutesWithSecondsAsHundredths)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0.00"}, {5.9, "0.05"}, {59.99, "0.59"}, {65, "1.05"}, {600, "10.00"}, {-1, "0.00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(PZMoviePlayerController::timeText(seconds), text) << seconds;
    }
}

TEST_F(PlayerTest, FullScreenMoviePlayerPlaysSeeksSwitchesSizeAndSavesAFrame)
{
    ScopedManualClock clock;
    UIPhotoAlbum::setFolder(home_ / "album");
    UIPhotoAlbum::clearRecord();
    // A landscape screen: the window is turned as the phone turns it.
    window_->setFrame(CGRectMake(0, 0, 480, 320));
    auto root = UIViewController::create();
    window_->setRootViewController(root);
    auto screen = PZMoviePlayerController::initwithFile(NSURL::fileURLWithPath(moviePath())->absoluteString());
    root->presentModalViewController_animated(screen, false);
    EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
    EXPECT_EQ(screen->videoCurrentTimeLable()->text(), "0");
    EXPECT_EQ(screen->progressSlider()->maximumValue(), 100);
    EXPECT_EQ(screen->contolsLayer()->frame(), CGRectMake(20, 280, 440, 40));
    EXPECT_TRUE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    EXPECT_FALSE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    auto item = screen->player()->currentItem();
    ASSERT_TRUE(pumpMainUntil([&] { return item->status() == AVPlayerItemStatusReadyToPlay; }));
    ASSERT_TRUE(pumpMainUntil([&] { return frameNumber(screen->playerLayer()->contents()) == 0; }));

    tap(screen->playButton());
    EXPECT_TRUE(screen->isPlayer());
    EXPECT_NEAR(screen->progressSlider()->maximumValue(), 1.0, 0.05);
    EXPECT_EQ(screen->playButton()->imageForState(UIControlStateNormal), UIImage::imageNamed("icon-pause"));
    clock.advance(0.5);
    ASSERT_TRUE(pumpMainUntil([&] { return frameNumber(screen->playerLayer()->contents()) == 5; }));
    tap(screen->playButton());
    EXPECT_FALSE(screen->isPlayer());
    EXPECT_EQ(screen->playButton()->imageForState(UIControlStateNormal), UIImage::imageNamed("icon-play"));

    // The slider seeks to whole seconds: 0.9 goes back to the start.
    screen->progressSlider()->setValue(0.9f);
    screen->progressSlider()->sendActionsForControlEvents(UIControlEventValueChanged);
    EXPECT_EQ(CMTimeGetSeconds(screen->player()->currentTime()), 0);
    ASSERT_TRUE(pumpMainUntil([&] { return frameNumber(screen->playerLayer()->contents()) == 0; }));
    ASSERT_TRUE(pumpMainUntil([&] { return screen->videoCurrentTimeLable()->text() == "0.00"; }));

    // The snapshot button keeps the picture on show in the album.
    screen->player()->seekToTime(CMTimeMake(3, 10));
    tap(screen->snapButton());
    const auto saved = UIPhotoAlbum::savedImages();
    ASSERT_EQ(saved.size(), 1u);
    auto image = UIImage::imageWithContentsOfFile(saved[0]);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), CGSizeMake(480, 360));
    EXPECT_EQ(frameNumber(image->CGImage()), 3);

    // The size switch: the 480-wide screen shrinks into a corner and back.
    tap(screen->sizeButton());
    EXPECT_EQ(screen->view()->frame(), CGRectMake(150, 0, 330, 275));
    EXPECT_EQ(screen->playerLayer()->frame(), CGRectMake(0, 0, 330, 275));
    EXPECT_EQ(screen->contolsLayer()->frame(), CGRectMake(20, 235, 290, 40));
    tap(screen->sizeButton());
    EXPECT_EQ(screen->view()->frame(), CGRectMake(0, 0, 480, 320));

    // A tap on the video hides the controls and the next shows them.
    window_->simulateTap(CGPointMake(240, 150));
    EXPECT_TRUE(screen->playerControlsView()->isHidden());
    window_->simulateTap(CGPointMake(240, 150));
    EXPECT_FALSE(screen->playerControlsView()->isHidden());

    // Done leaves, and leaving pauses.
    tap(screen->playButton());
    EXPECT_EQ(screen->player()->rate(), 1.0f);
    tap(screen->doneButton());
    clock.advance(1);
    ASSERT_TRUE(pumpMainUntil([&] { return root->modalViewController() == nullptr; }));
    EXPECT_EQ(screen->player()->rate(), 0.0f);
}

}  // namespace PPlayerTest_cpp
}  // namespace
