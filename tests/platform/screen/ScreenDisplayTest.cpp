// The desktop window's frame timer, under a virtual X server and on the manual clock: with nothing
// changing it rests (no frame looks at the layers), a change made by the main loop's work brings one
// frame, and while something moves every frame is drawn until it stops.
//
// The test runs itself again inside xvfb-run; without xvfb-run it is skipped.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>

#include "fixtures/RunCommand.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/screen/UIScreenDisplay.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace ScreenDisplayTest_cpp {

using namespace std::chrono_literals;

constexpr double kFrame = 1.0 / 60;

// Moves the clock on a frame at a time, at least once, until the window's timer rests: the frames it
// took, or -1 when it still ran after `limit` frames (and, as a bound on real time, 30 seconds: the X
// server's first events arrive when they do).
int framesUntilRest(ScopedManualClock& clock, int limit)
{
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    for (int frames = 1; frames <= limit && std::chrono::steady_clock::now() < deadline; ++frames) {
        clock.advance(kFrame);
        if (UIScreenDisplay::isAtRest()) {
            return frames;
        }
    }
    return -1;
}

void underVirtualDisplay()
{
    MainThreadScope main;
    ScopedManualClock clock;
    UIApplication::resetForTesting();
    auto window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
    window->setBackgroundColor(UIColor::whiteColor());
    auto box = UIView::initWithFrame(CGRectMake(0, 100, 40, 40));
    box->setBackgroundColor(UIColor::redColor());
    window->addSubview(box);
    window->makeKeyAndVisible();
    ASSERT_TRUE(UIScreenDisplay::open());

    // The window maps and shows the screen, then nothing changes.
    ASSERT_GE(framesUntilRest(clock, 100000), 0);
    EXPECT_GE(UIScreenDisplay::framesPresented(), 1u);
    const uint64_t looked = UIScreenDisplay::framesLookedAt();
    for (int frame = 0; frame < 600; ++frame) {
        clock.advance(kFrame);
    }
    // (A stray event of the X server may still bring a frame or two.)
    EXPECT_LE(UIScreenDisplay::framesLookedAt() - looked, 3u) << "ten idle seconds are not 600 looks at the layers";

    // What the application does runs as the main loop's work; a change made there is drawn.
    uint64_t presented = UIScreenDisplay::framesPresented();
    NSRunLoop::mainRunLoop()->performBlock([&] { box->setBackgroundColor(UIColor::blueColor()); });
    const int frames = framesUntilRest(clock, 10);
    EXPECT_GE(frames, 1);
    EXPECT_LE(frames, 3);
    EXPECT_GT(UIScreenDisplay::framesLookedAt(), looked);
    EXPECT_GE(UIScreenDisplay::framesPresented(), presented + 1);

    // A second's move: drawn in every frame, then the timer rests again.
    NSRunLoop::mainRunLoop()->performBlock([&] {
        UIView::animateWithDuration_delay_options_animations_completion(
            1, 0, UIViewAnimationOptionCurveLinear, [&] { box->setFrame(CGRectMake(200, 100, 40, 40)); }, nullptr);
    });
    presented = UIScreenDisplay::framesPresented();
    for (int frame = 0; frame < 60; ++frame) {
        clock.advance(kFrame);
    }
    EXPECT_GE(UIScreenDisplay::framesPresented() - presented, 58u) << "60 frames a second while it moves";
    const int stopped = framesUntilRest(clock, 10);
    EXPECT_GE(stopped, 1);
    EXPECT_LE(stopped, 3);
    UIScreenDisplay::close();
}

TEST(ScreenDisplay, RestsWhileNothingChangesAndDrawsEveryFrameWhileSomethingMoves)
{
    if (std::getenv("OMBRI_UNDER_XVFB") != nullptr) {
        underVirtualDisplay();
        return;
    }
    int status = 0;
    runCommand("command -v xvfb-run >/dev/null 2>&1", &status);
    if (status != 0) {
        GTEST_SKIP() << "xvfb-run is not installed (scripts/setup installs it)";
    }
    char self[PATH_MAX] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string output =
        runCommand("xvfb-run -a -s '-screen 0 1280x1200x24' env OMBRI_UNDER_XVFB=1 ASAN_OPTIONS=detect_leaks=0 '" + std::string(self) +
                "' --gtest_filter=ScreenDisplay.RestsWhileNothingChangesAndDrawsEveryFrameWhileSomethingMoves 2>&1",
            &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace ScreenDisplayTest_cpp
}  // namespace
