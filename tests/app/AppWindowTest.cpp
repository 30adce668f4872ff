// The application in a desktop window, under a virtual X server: the window appears at the phone's
// 640 x 960 pixels, the X server's picture of it is the frame the application drew, a mouse click on
// the login screen's partner button reaches the button's action (the partner's sign-in starts at its
// provider), and closing the window terminates the application and stops the engine.
//
// The test runs itself again inside xvfb-run; without xvfb-run or xdotool it is skipped.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/RunCommand.h"
#include "fixtures/TemporaryFolder.h"
#include "servers/OAuthProviders.h"
#include "service/StandInService.h"

namespace {
namespace AppWindowTest_cpp {

using namespace std::chrono_literals;

bool installed(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string selfPath()
{
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, size_t(n)) : std::string();
}

// The program's output, read line by line on a thread of its own, so the test can wait for a line with
// a deadline.
class Program {
public:
    explicit Program(const std::string& command)
    {
        pipe_ = ::popen(command.c_str(), "r");
        if (pipe_ != nullptr) {
            reader_ = std::thread([this] {
                char buffer[1024];
                while (std::fgets(buffer, sizeof buffer, pipe_) != nullptr) {
                    std::lock_guard hold(mutex_);
                    lines_.emplace_back(buffer);
                    if (!lines_.back().empty() && lines_.back().back() == '\n') lines_.back().pop_back();
                    changed_.notify_all();
                }
                std::lock_guard hold(mutex_);
                ended_ = true;
                changed_.notify_all();
            });
        }
    }
    ~Program() { finish(); }

    bool started() const { return pipe_ != nullptr; }

    // The first line from `from` on that starts with the prefix ("" when none came before the deadline).
    std::string waitForLine(const std::string& prefix, size_t from = 0, std::chrono::seconds timeout = 60s)
    {
        std::unique_lock hold(mutex_);
        std::string found;
        changed_.wait_for(hold, timeout, [&] {
            for (size_t i = from; i < lines_.size(); ++i) {
                if (lines_[i].rfind(prefix, 0) == 0) {
                    found = lines_[i];
                    return true;
                }
            }
            return ended_;
        });
        return found;
    }
    // The last line that starts with the prefix.
    std::string lastLine(const std::string& prefix)
    {
        std::lock_guard hold(mutex_);
        for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
            if (it->rfind(prefix, 0) == 0) return *it;
        }
        return "";
    }
    size_t lineCount()
    {
        std::lock_guard hold(mutex_);
        return lines_.size();
    }
    std::string output()
    {
        std::lock_guard hold(mutex_);
        std::string all;
        for (const auto& line : lines_) all += line + "\n";
        return all;
    }
    // Waits for the program's end: its exit status.
    int finish()
    {
        if (pipe_ == nullptr) {
            return status_;
        }
        if (reader_.joinable()) reader_.join();
        status_ = ::pclose(pipe_);
        pipe_ = nullptr;
        return status_;
    }

private:
    FILE* pipe_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool ended_ = false;
    int status_ = -1;
};

// The window's picture as the X server holds it, summed the way the program sums its frames (each
// pixel's red, green and blue bytes, FNV-1a); "" when it cannot be read. Also says whether the picture
// holds more than one colour.
std::string pictureSum(Display* display, Window window, int width, int height, bool* manyColours)
{
    XImage* image = XGetImage(display, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return "";
    }
    uint32_t hash = 2166136261u;
    const unsigned long first = XGetPixel(image, 0, 0);
    bool many = false;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            many = many || pixel != first;
            for (unsigned long mask : {image->red_mask, image->green_mask, image->blue_mask}) {
                unsigned long v = pixel & mask;
                unsigned long m = mask;
                while (m != 0 && (m & 1) == 0) {
                    m >>= 1;
                    v >>= 1;
                }
                hash = (hash ^ uint32_t(v & 0xFF)) * 16777619u;
            }
        }
    }
    XDestroyImage(image);
    *manyColours = many;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", hash);
    return text;
}

// Asks the window to close, as a window manager's close button does.
void closeWindow(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

void underVirtualDisplay()
{
    TemporaryFolder home("app-window");
    ASSERT_FALSE(home.path().empty());
    // The guide was seen at an earlier start, so the application opens on the login screen.
    std::system(("mkdir -p '" + home.path() + "/Library/Preferences'").c_str());
    std::ofstream(home.path() + "/Library/Preferences/ombri.plist")
        << R"(<?xml version="1.0" encoding="UTF-8"?>)"
        << R"(<plist version="1.0"><dict><key>kShouldShowGuideKey</key><string>kShouldShowGuideValue</string></dict></plist>)";
    standin::StandInService service;
    TestServers::OAuthProvider lumo{
        {TestServers::OAuthProvider::Kind::Lumo, "2538114601", "c3ccc6d4f8e2dce2058abf5ca4fb2c95", nullptr}};

    Program app("OMBRI_HOME='" + home.path() + "' OMBRI_SERVICE_HOST=" + service.hostPort() +
                " OMBRI_LUMO_WEIBO_HOST=" + lumo.hostPort() + " ASAN_OPTIONS=detect_leaks=0 '" +
                std::getenv("OMBRI_BIN_DIR") + "/ombri' --frame-sums --seconds 90 2>/dev/null");
    ASSERT_TRUE(app.started());
    ASSERT_EQ(app.waitForLine("ombri: window"), "ombri: window 640x960") << app.output();
    ASSERT_NE(app.waitForLine("ombri: launched").find("under Login"), std::string::npos) << app.output();
    ASSERT_NE(app.waitForLine("ombri: frame 1 "), "") << app.output();

    // The window as the X server sees it.
    const std::string found = runCommand("xdotool search --sync --onlyvisible --name '^ombri$' 2>/dev/null | head -n 1");
    const Window window = Window(std::strtoul(found.c_str(), nullptr, 10));
    ASSERT_NE(window, 0u) << app.output();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    EXPECT_EQ(attributes.width, 640);
    EXPECT_EQ(attributes.height, 960);

    // Its picture is the last frame the application drew (once the login screen has finished coming
    // in, the two agree).
    std::string picture;
    std::string drawn;
    bool manyColours = false;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    do {
        drawn = app.lastLine("ombri: frame ");
        picture = pictureSum(display, window, 640, 960, &manyColours);
    } while ((drawn.empty() || drawn.substr(drawn.rfind(' ') + 1) != picture) &&
             std::chrono::steady_clock::now() < deadline);
    ASSERT_FALSE(drawn.empty()) << app.output();
    EXPECT_EQ(drawn.substr(drawn.rfind(' ') + 1), picture) << app.output();
    EXPECT_TRUE(manyColours);

    // A click on the partner's login button (centred at 160, 150 in the login screen's view, below
    // the status bar and the navigation bar) starts the partner's sign-in: its provider is asked for a
    // request token.
    runCommand("xdotool mousemove --window " + std::to_string(window) + " 320 428 click 1");
    const auto clickDeadline = std::chrono::steady_clock::now() + 30s;
    while (lumo.acceptedCount("/oauth/request_token") == 0 && std::chrono::steady_clock::now() < clickDeadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(lumo.acceptedCount("/oauth/request_token"), 1u) << app.output();

    // Closing the window ends the application as the phone ends it.
    const size_t before = app.lineCount();
    closeWindow(display, window);
    EXPECT_NE(app.waitForLine("ombri: terminating", before), "") << app.output();
    EXPECT_NE(app.waitForLine("ombri: engine stopped", before), "") << app.output();
    XCloseDisplay(display);
    const int status = app.finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << app.output();
}

TEST(AppWindow, AppearsAtPhoneSizeShowsWhatWasDrawnTakesClicksAndClosesTheApplication)
{
    if (std::getenv("OMBRI_UNDER_XVFB") != nullptr) {
        underVirtualDisplay();
        return;
    }
    if (!installed("xvfb-run") || !installed("xdotool")) {
        GTEST_SKIP() << "xvfb-run or xdotool is not installed (scripts/setup installs them)";
    }
    int status = 0;
    const std::string output =
        // A display tall enough for the whole 960 pixels (the window is shrunk to 90% of a lower one).
        runCommand("xvfb-run -a -s '-screen 0 1280x1200x24' env OMBRI_UNDER_XVFB=1 '" + selfPath() +
                "' --gtest_filter=AppWindow.AppearsAtPhoneSizeShowsWhatWasDrawnTakesClicksAndClosesTheApplication 2>&1",
            &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace AppWindowTest_cpp
}  // namespace
