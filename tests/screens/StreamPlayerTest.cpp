// The full-screen stream player as a person without an account meets it from the square: the stream
// plays from the service, the done control closes it, the end of the video closes it, and a stream
// that cannot be played leaves a notice up until the person closes it.
#include <gtest/gtest.h>

#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "ShellTestSupport.h"
#include "service/Fault.h"
#include "social/SquareVC.h"
#include "social/StreamPlayerVC.h"

namespace {
namespace StreamPlayerTest_cpp {

class StreamPlayerTest : public shelltest::ShellTest {
protected:
    void TearDown() override
    {
        UIApplication::sharedApplication()->setStatusBarHidden(false);
        shelltest::ShellTest::TearDown();
    }
    // The logged-out square, its video tile n tapped: the player presented and on show.
    Ref<StreamPlayerVC> play(size_t tile)
    {
        square = SquareVC::create();
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setRootViewController(UINavigationController::initWithRootViewController(square));
        window->makeKeyAndVisible();
        EXPECT_TRUE(pumpMainUntil([&] { return square->channels().count() > 0; }));
        square->channelBtns()[tile]->sendActionsForControlEvents(UIControlEventTouchUpInside);
        clock.advance(1);  // the presentation's animation
        return std::dynamic_pointer_cast<StreamPlayerVC>(square->modalViewController());
    }
    // The first picture of the stream is on the screen.
    static bool showing(const Ref<StreamPlayerVC>& player)
    {
        return player->moviePlayer()->loadState() & MPMovieLoadStatePlayable &&
               player->moviePlayer()->view()->layer()->contents() != nullptr;
    }
    Ref<SquareVC> square;
};

TEST_F(StreamPlayerTest, TheStreamPlaysFullScreenUntilDoneOrItsEnd)
{
    struct Case {
        const char* what;
        size_t tile;
        bool tapDone;
    } const cases[] = {{"done", 0, true}, {"played to the end", 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto player = play(c.tile);
        ASSERT_TRUE(player);
        EXPECT_EQ(player->contentURL(), "http://" + service.hostPort() + "/stream/sc300" + std::to_string(c.tile + 1) + ".mp4");
        EXPECT_TRUE(CGRectEqualToRect(player->view()->frame(), CGRectMake(0, 0, 320, 480)));
        EXPECT_TRUE(UIApplication::sharedApplication()->isStatusBarHidden());
        EXPECT_EQ(player->doneButton()->titleForState(UIControlStateNormal), "完成");
        EXPECT_EQ(player->doneButton()->window(), window);

        ASSERT_TRUE(pumpMainUntil([&] { return showing(player); }));
        EXPECT_TRUE(player->spinner()->isHidden());
        EXPECT_EQ(player->moviePlayer()->playbackState(), MPMoviePlaybackStatePlaying);
        EXPECT_TRUE(player->failureLabel()->isHidden());
        // The service sent the stream's movie.
        EXPECT_FALSE(service.server().requests("/stream/sc300" + std::to_string(c.tile + 1) + ".mp4").empty());
        clock.advance(1);
        ASSERT_TRUE(pumpMainUntil([&] { return player->moviePlayer()->currentPlaybackTime() >= 1; }));

        if (c.tapDone) {
            player->doneButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        } else {
            clock.advance(2.5);
        }
        ASSERT_TRUE(pumpMainUntil([&] {
            clock.advance(0.5);
            return !square->modalViewController();
        }));
        EXPECT_EQ(player->moviePlayer()->playbackState(), MPMoviePlaybackStateStopped);
        EXPECT_FALSE(UIApplication::sharedApplication()->isStatusBarHidden());
    }
}

TEST_F(StreamPlayerTest, AStreamThatCannotPlayLeavesANoticeUntilClosed)
{
    service.server().addFault("/stream/sc3001.mp4", standin::Fault::status(404).persistent());
    auto player = play(0);
    ASSERT_TRUE(player);
    ASSERT_TRUE(pumpMainUntil([&] { return !player->failureLabel()->isHidden(); }));
    EXPECT_EQ(player->failureLabel()->text(), "视频无法播放");
    EXPECT_TRUE(player->spinner()->isHidden());
    clock.advance(1);
    EXPECT_EQ(square->modalViewController(), player);
    player->doneButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    clock.advance(1);
    EXPECT_TRUE(pumpMainUntil([&] { return !square->modalViewController(); }));
}

}  // namespace StreamPlayerTest_cpp
}  // namespace
