#include "app/Tour.h"

#include <filesystem>
#include <functional>
#include <vector>

#include "api/LoginState.h"
#include "api/LumoWeiboClient.h"
#include "app/TourHarness.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIWebView.h"
#include "shell/FeedVC.h"
#include "shell/GuideViewController.h"
#include "shell/HeaderView.h"
#include "shell/MenuVC.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITableViewCell.h"
#include "social/Login.h"

namespace tour {

// --- The steps ---------------------------------------------------------------------------------------

bool firstStart(Tour& tour)
{
    if (!tour.waitFor([] { return shown<GuideViewController>() != nullptr; })) {
        return tour.report("first-start", false, "expected the guide at the first start, saw " +
                                                     describe(shownController()));
    }
    auto guide = shown<GuideViewController>();
    tour.settle();
    // Page by page to the last, each a swipe to the left.
    for (int page = 1; page < kGuidePageCount; ++page) {
        tour.drag(CGPointMake(280, 240), CGPointMake(60, 240));
        tour.settle(0.1);
    }
    const NSInteger page = guide->pageCtrl() ? guide->pageCtrl()->currentPage() : -1;
    if (page != kGuidePageCount - 1) {
        return tour.report("first-start", false, "swiping through the guide ended on page " + std::to_string(page + 1));
    }
    tour.report("first-start", true,
                "the guide, swiped through to page " + std::to_string(page + 1) + " of " +
                    std::to_string(kGuidePageCount) + " with its start button");
    // Its start button opens the login screen.
    Ref<UIButton> start;
    for (const auto& view : guide->scrollView()->subviews()) {
        if (auto button = std::dynamic_pointer_cast<UIButton>(view)) start = button;
    }
    tour.tap(start);
    if (!tour.waitFor([] { return shown<Login>() != nullptr; })) {
        return tour.report("login-screen", false, "expected the login screen, saw " + describe(shownController()));
    }
    tour.settle();
    auto login = shown<Login>();
    return tour.report("login-screen", login->partnerButton() != nullptr,
                       "the login screen " + describe(login) +
                           (login->partnerButton() ? " offering the microblog sign-in" : " without a way in"));
}

bool logIn(Tour& tour)
{
    auto login = shown<Login>();
    if (!login || !tour.tap(login->partnerButton())) {
        return tour.report("login", false, "no sign-in button to tap on " + describe(shownController()));
    }
    Ref<UIWebView> page;
    const bool pageShown = tour.waitFor([&] {
        auto client = shown<LumoWeiboClient>();
        page = client ? client->oauthWebView() : nullptr;
        return page && !page->isLoading() && page->hasForm() && page->pageDrawn();
    });
    if (!pageShown) {
        return tour.report("login", false, "expected the microblog's sign-in page, saw " + describe(shownController()));
    }
    tour.report("microblog-page", true, "the microblog's sign-in page \"" + page->pageTitle() + "\" with its form");
    // The person taps each field of the page's form and types into it, then taps the form's button.
    const bool typed = fillSignInPage(tour, page);
    std::string entered;
    for (const auto& field : page->fields()) {
        if (field.type == "text" || field.type == "password") {
            entered += (entered.empty() ? "" : ", ") + field.name + " " + std::to_string(field.value.size()) + " characters";
        }
    }
    tour.report("microblog-page-filled", typed, "the form filled in by taps and keys: " + entered);
    if (!typed || !submitSignInPage(tour, page)) {
        return tour.report("login", false, "the sign-in page's form could not be filled in and sent");
    }
    const bool in = tour.waitFor([] { return isLogin() && g_root && !g_root->modalViewController(); }, 30);
    if (!in) {
        return tour.report("login", false, std::string(isLogin() ? "logged in but " : "not logged in; ") + "showing " +
                                               describe(shownController()));
    }
    const Value account = NSUserDefaults::standardUserDefaults()->objectForKey(kAcountInfoKey);
    return tour.report("login", true, "logged in as \"" + account["nick"].stringValue() + "\", showing " +
                                          describe(shownController()));
}

bool homeFeed(Tour& tour)
{
    // The menu (the bar's left button) and its first row, the home feed.
    auto stack = g_root ? g_root->lastDisplayedNavi() : nullptr;
    if (!shown<FeedVC>() || shown<FeedVC>()->type() != FeedTypeHome) {
        if (!stack || !tour.tap(stack->navigationBar()->leftView())) {
            return tour.report("home-feed", false, "no menu button on " + describe(shownController()));
        }
        tour.settle();
        auto menu = g_root->menu();
        auto row = menu && menu->table()
                       ? menu->table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(MenuRowHome, 0))
                       : nullptr;
        if (!tour.tap(row)) {
            return tour.report("home-feed", false, "the menu did not open");
        }
        if (!tour.waitFor([] { return shown<FeedVC>() && shown<FeedVC>()->type() == FeedTypeHome; })) {
            return tour.report("home-feed", false, "expected the home feed, saw " + describe(shownController()));
        }
        tour.settle();
    }
    auto feed = shown<FeedVC>();
    auto table = feed ? feed->table() : nullptr;
    if (!table || !tour.waitFor([&] { return !feed->reloading() && table->numberOfRowsInSection(0) > 0; })) {
        return tour.report("home-feed", false, "expected videos on the home feed, saw " + describe(shownController()));
    }
    tour.settle();
    // The first login's tip lies over the list until a person taps it away.
    // (tapped beside its message, which would open the friend finder instead)
    if (auto tip = feed->firstTipView(); tip && tip->window()) {
        UIScreenInput::tap(CGPointMake(300, 420));
        tour.waitFor([&] { return !feed->firstTipView(); }, 5);
        tour.settle();
    }
    const NSInteger rows = table->numberOfRowsInSection(0);
    // Scrolled: a finger on a row (on its video, as a person's thumb lands) drags the list up, then back
    // down to the top.
    const CGFloat top = table->contentOffset().y;
    tour.drag(CGPointMake(160, 380), CGPointMake(160, 120));
    tour.settle();
    const CGFloat scrolled = table->contentOffset().y;
    tour.drag(CGPointMake(160, 120), CGPointMake(160, 380));
    tour.settle();
    const CGFloat back = table->contentOffset().y;
    if (scrolled <= top || back != top) {
        return tour.report("home-feed", false,
                           "the list did not follow the finger: at " + std::to_string(int(top)) + ", dragged up to " +
                               std::to_string(int(scrolled)) + ", dragged back to " + std::to_string(int(back)));
    }
    // Refreshed: the header's refresh button asks for the first page again.
    auto header = feed->headerView();
    if (!header || !tour.tap(header->refresh)) {
        return tour.report("home-feed", false, "no refresh button on the feed's header");
    }
    const bool asked = tour.waitFor([&] { return feed->reloading() || feed->getNewRequest() != nullptr; }, 5);
    const bool done = asked && tour.waitFor([&] { return !feed->reloading() && !feed->getNewRequest(); });
    return tour.report("home-feed", done && table->numberOfRowsInSection(0) > 0,
                       done ? describe(feed) + " with " + std::to_string(rows) + " videos, scrolled " +
                                  std::to_string(int(scrolled - top)) + " points down the list and back, " +
                                  "refreshed by its button: " +
                                  std::to_string(table->numberOfRowsInSection(0)) + " videos"
                            : "the refresh did not end");
}

}  // namespace tour

bool runTour(const std::string& dir)
{
    using namespace tour;
    std::filesystem::create_directories(dir);
    Tour tour(dir);
    // The main road: the home feed and a video's page, recording, review, publishing and the upload on
    // the own page, the device's own screens (a movie from the album, a share by mail, a topic deleted
    // from the list, the phone number typed on the drawn keyboard), logging out.
    const std::vector<std::function<bool(Tour&)>> steps = {
        firstStart, logIn,  homeFeed,    feedVideo,   topicPage,     videoPage,   record, review,
        publish,    upload, importMovie, shareByMail, unfollowTopic, changePhone, logOut};
    for (const auto& step : steps) {
        if (!step(tour)) {
            return false;
        }
    }
    return true;
}
