#pragma once
// What the tour's steps share: finding what shows, touching it through the screen's input path,
// waiting with the main loop turning, and writing each step's picture and line.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/MainThread.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWebView.h"
#include "platform/uikit/UIWindow.h"
#include "shell/MenuVC.h"
#include "shell/RootViewController.h"

namespace tour {


// The stand-in microblog's account a person signs in with.
constexpr char kMicroblogUser[] = "xiaoming";
constexpr char kMicroblogPassword[] = "secret";

// The controller whose screen shows: the top of the presented chain over the root, else the root's
// current stack's top.
inline Ref<UIViewController> shownController()
{
    if (!g_root) {
        return nullptr;
    }
    Ref<UIViewController> shown;
    if (auto stack = g_root->lastDisplayedNavi()) {
        shown = stack->topViewController();
    }
    for (Ref<UIViewController> c = g_root->modalViewController(); c; c = c->modalViewController()) {
        auto stack = std::dynamic_pointer_cast<UINavigationController>(c);
        shown = stack && stack->topViewController() ? stack->topViewController() : c;
    }
    return shown;
}

template <class T>
Ref<T> shown()
{
    return std::dynamic_pointer_cast<T>(shownController());
}

inline std::string describe(const Ref<UIViewController>& controller)
{
    if (!controller) {
        return "nothing";
    }
    return controller->title().empty() ? controller->className()
                                        : controller->className() + " \"" + controller->title() + "\"";
}

// The middle of a view, in screen points (as a person sees it).
inline CGPoint middleOnScreen(const Ref<UIView>& view)
{
    const CGRect b = view->bounds();
    const CGPoint inWindow = view->convertPoint_toView(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)), nullptr);
    auto window = view->window();
    return window ? window->convertPoint_toWindow(inWindow, nullptr) : inWindow;
}

class Tour {
public:
    explicit Tour(std::string dir) : dir_(std::move(dir)) {}

    // Turns the main loop until the condition holds (false after the time).
    bool waitFor(const std::function<bool()>& condition, double seconds = 20)
    {
        return pumpMainUntil(condition, std::chrono::milliseconds(int64_t(seconds * 1000)));
    }
    // Lets the screen settle: animations (on the process clock) end, pending layout runs.
    void settle(double seconds = 0.6)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(int64_t(seconds * 1000));
        pumpMainUntil([&] { return std::chrono::steady_clock::now() >= until; }, std::chrono::seconds(5));
    }
    bool tap(const Ref<UIView>& view)
    {
        if (!view || !view->window()) {
            return false;
        }
        UIScreenInput::tap(middleOnScreen(view));
        return true;
    }
    // A finger's drag; the view it went down on.
    Ref<UIView> drag(CGPoint from, CGPoint to, int steps = 8)
    {
        Ref<UIView> touched = UIScreenInput::touchDown(from);
        for (int i = 1; i <= steps; ++i) {
            UIScreenInput::touchMoved(
                CGPointMake(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps));
            settle(0.02);
        }
        UIScreenInput::touchUp(to);
        return touched;
    }

    // Writes the picture and the line of the step; false when it failed.
    bool report(const std::string& name, bool ok, const std::string& saw)
    {
        ++number_;
        char prefix[16];  // room for any int, which the optimiser checks
        std::snprintf(prefix, sizeof prefix, "%02d", number_);
        settle(0.3);
        renderer_.invalidate();
        renderer_.renderFrame();
        const std::string path = dir_ + "/" + prefix + "-" + name + ".png";
        const auto image = UIImage::imageWithCGImage_scale_orientation(renderer_.context()->makeImage(), 2,
                                                                        UIImageOrientationUp);
        if (const auto png = UIImagePNGRepresentation(image)) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(png->bytes()), std::streamsize(png->length()));
        }
        std::printf("tour: %s %s: %s%s\n", prefix, name.c_str(), ok ? "" : "FAILED: ", saw.c_str());
        std::fflush(stdout);
        return ok;
    }

private:
    std::string dir_;
    int number_ = 0;
    UIScreenRenderer renderer_{CGSizeMake(320, 480), 2};
};

// Where a field of a web page lies on the screen: the first of that name, or of that type ("submit").
inline std::optional<CGPoint> fieldOnScreen(const Ref<UIWebView>& page, const std::string& nameOrType)
{
    for (const auto& field : page->fields()) {
        if (field.name == nameOrType || field.type == nameOrType) {
            const CGPoint inWindow =
                page->convertPoint_toView(CGPointMake(CGRectGetMidX(field.frame), CGRectGetMidY(field.frame)), nullptr);
            return page->window() ? page->window()->convertPoint_toWindow(inWindow, nullptr) : inWindow;
        }
    }
    return std::nullopt;
}

// Whether a touch at this screen point lands on the page, not on the keyboard or anything else over it.
inline bool pageTakesTouchAt(const Ref<UIWebView>& page, CGPoint onScreen)
{
    const auto hit = UIScreenInput::viewAt(onScreen);
    return hit && (hit == page || hit->isDescendantOfView(page));
}

// The page's field of that name (or type) as it is now.
inline std::optional<UIWebView::Field> pageField(const Ref<UIWebView>& page, const std::string& nameOrType)
{
    for (const auto& field : page->fields()) {
        if (field.name == nameOrType || field.type == nameOrType) {
            return field;
        }
    }
    return std::nullopt;
}

// A tap beside the sign-in form (on the page, clear of its fields) puts the keyboard away.
inline void putKeyboardAwayFromPage(Tour& tour)
{
    UIScreenInput::tap(CGPointMake(300, 100));
    tour.settle(0.4);
}

// A person fills a microblog's sign-in page: a tap on each field, then its keys. A field the keyboard
// covers is uncovered first by putting the keyboard away. False when a field is missing, took no
// focus or does not hold what was typed.
inline bool fillSignInPage(Tour& tour, const Ref<UIWebView>& page)
{
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"userId", kMicroblogUser},
                                     std::pair<std::string, std::string>{"passwd", kMicroblogPassword}}) {
        auto at = fieldOnScreen(page, name);
        if (at && !pageTakesTouchAt(page, *at)) {
            putKeyboardAwayFromPage(tour);
            at = fieldOnScreen(page, name);
        }
        if (!at) {
            return false;
        }
        UIScreenInput::tap(*at);
        if (!tour.waitFor([&] { return pageField(page, name) && pageField(page, name)->focused; }, 5)) {
            return false;
        }
        tour.settle(0.3);
        if (!UIScreenInput::typeText(text) || !tour.waitFor([&] { return pageField(page, name)->value == text; }, 5)) {
            return false;
        }
    }
    return true;
}

// ... and sends it: a tap beside the form puts the keyboard away, then a tap on the form's button.
inline bool submitSignInPage(Tour& tour, const Ref<UIWebView>& page)
{
    putKeyboardAwayFromPage(tour);
    const auto button = fieldOnScreen(page, "submit");
    if (button) {
        UIScreenInput::tap(*button);
    }
    return button.has_value();
}

// True when a touch at the view's middle would reach it: it is on screen and nothing lies over it.
inline bool reachable(const Ref<UIView>& view)
{
    if (!view || !view->window()) {
        return false;
    }
    const auto hit = UIScreenInput::viewAt(middleOnScreen(view));
    return hit && (hit == view || hit->isDescendantOfView(view));
}

// Opens a row of the menu (the bar's left button of the screen showing, then the row). A person waits
// until they see the button and then the row uncovered before touching them; on a busy machine the
// screen before may still be closing and the menu still sliding in.
inline bool openMenuRow(Tour& tour, MenuRow row)
{
    auto stack = g_root ? g_root->lastDisplayedNavi() : nullptr;
    auto button = stack ? stack->navigationBar()->leftView() : nullptr;
    if (!tour.waitFor([&] { return reachable(button); }, 10) || !tour.tap(button)) {
        return false;
    }
    // The row's cell is looked up again for the touch: the menu may reload while it slides in, and a
    // reused cell object can by then show another row.
    const auto rowCell = [row] {
        auto menu = g_root->menu();
        return menu && menu->table()
                   ? menu->table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, 0))
                   : nullptr;
    };
    const bool uncovered = tour.waitFor([&] { return reachable(rowCell()); }, 10);
    tour.settle(0.3);
    return uncovered && tour.tap(rowCell());
}

// The steps, in the order of the road; each reports what it saw and returns false when it failed.
bool firstStart(Tour& tour);
bool logIn(Tour& tour);
bool homeFeed(Tour& tour);
// TourFeed.cpp: a video of the home feed played in its row; the banner's topic page.
bool feedVideo(Tour& tour);
bool topicPage(Tour& tour);
// TourVideo.cpp: a video's page from the home feed with a comment written on it, and logging out.
bool videoPage(Tour& tour);
bool logOut(Tour& tour);
// Publishing (TourPublish.cpp): a recording through a filter from the record menu, its review, the
// publish screen with its pickers, the upload finishing on the own page.
bool record(Tour& tour);
bool review(Tour& tour);
bool publish(Tour& tour);
bool upload(Tour& tour);
// The device's own screens (TourDevice.cpp): a movie imported from the album, a share sent by mail, a
// followed topic deleted from the list, the phone number changed on the drawn keyboard.
bool importMovie(Tour& tour);
bool shareByMail(Tour& tour);
bool unfollowTopic(Tour& tour);
bool changePhone(Tour& tour);

}  // namespace tour
