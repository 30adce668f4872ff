// The tour's steps around one video (its page from the home feed, a comment written on it) and the
// road's last step, logging out from the menu.
#include <string>

#include "api/LoginState.h"
#include "api/RecordAccessors.h"
#include "app/TourHarness.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedVC.h"
#include "shell/MenuVC.h"
#include "shell/VideoMainPage.h"
#include "social/Login.h"

namespace tour {
namespace {
namespace TourVideo_cpp {

// What the tour writes under the video.
constexpr char kComment[] = "Tour comment: 拍得真好！";

// Whether a person sees the view's middle between the bar and the bottom of the screen.
bool onScreen(const Ref<UIView>& view)
{
    if (!view || !view->window() || view->isHidden()) {
        return false;
    }
    const CGPoint middle = middleOnScreen(view);
    return middle.x > 0 && middle.x < UIScreenInput::screenSize().width && middle.y > 64 &&
           middle.y < UIScreenInput::screenSize().height - 10;
}

// A label of the view's tree that reads the text.
bool showsText(const Ref<UIView>& view, const std::string& text)
{
    if (auto label = std::dynamic_pointer_cast<UILabel>(view);
        label && !label->isHidden() && label->text().find(text) != std::string::npos) {
        return true;
    }
    for (const auto& sub : view->subviews()) {
        if (showsText(sub, text)) {
            return true;
        }
    }
    return false;
}

// A row under a video on the screen that opens the video's page ("more comments" or a comment), and
// the video's id.
Ref<UIButton> videoPageRow(const Ref<UITableView>& table, std::string* scid)
{
    for (const auto& cell : table->visibleCells()) {
        auto full = std::dynamic_pointer_cast<FeedCellFull>(cell);
        if (!full) {
            continue;
        }
        const Value channel = full->info()["channel"];
        const Value rows = Channel_getMyComposedComment(channel);
        for (size_t i = 0; i < rows.count(); ++i) {
            const std::string type = rows[i]["type"].stringValue();
            if (type != "read_more_title" && type != "comment") {
                continue;
            }
            auto button = std::dynamic_pointer_cast<UIButton>(full->viewWithTag(kFeedRowTagBase + NSInteger(i)));
            if (onScreen(button)) {
                *scid = Channel_getScid(channel).stringValue();
                return button;
            }
        }
    }
    return nullptr;
}

}  // namespace TourVideo_cpp
}  // namespace

bool videoPage(Tour& tour)
{
    using namespace TourVideo_cpp;
    auto feed = shown<FeedVC>();
    auto table = feed ? feed->table() : nullptr;
    if (!table) {
        return tour.report("video-page", false, "expected the home feed, saw " + describe(shownController()));
    }
    // The row under a video that reads "more comments" (or a comment), found further down if need be.
    std::string scid;
    Ref<UIButton> row = videoPageRow(table, &scid);
    for (int look = 0; !row && look < 6; ++look) {
        tour.drag(CGPointMake(160, 400), CGPointMake(160, 200));
        tour.settle();
        row = videoPageRow(table, &scid);
    }
    if (!tour.tap(row)) {
        return tour.report("video-page", false, "no row under a video to open its page on " + describe(feed));
    }
    Ref<VideoMainPage> page;
    const bool loaded = tour.waitFor([&] {
        page = shown<VideoMainPage>();
        return page && !page->getVideoFullInfo() && !page->scid().isNilOrNull() && page->table() &&
               page->table()->numberOfRowsInSection(0) > 1;
    });
    if (!loaded) {
        return tour.report("video-page", false, "expected the page of video " + scid + " with its comments, saw " +
                                                    describe(shownController()));
    }
    tour.settle();
    const size_t before = page->comments().count();
    tour.report("video-page", page->scid().stringValue() == scid,
                describe(page) + " of video " + page->scid().stringValue() + " (tapped under " + scid + ") with " +
                    std::to_string(before) + " comments under its caption");
    if (page->scid().stringValue() != scid) {
        return false;
    }

    // The comment: the field at the bottom, the keyboard, the send button.
    if (!tour.tap(page->input) || !tour.waitFor([&] { return page->input->isFirstResponder(); }, 5)) {
        return tour.report("comment", false, "the comment field did not take the keyboard");
    }
    tour.settle();
    if (!UIScreenInput::typeText(kComment) || page->input->text() != kComment) {
        return tour.report("comment", false, "typing reached the field as \"" + page->input->text() + "\"");
    }
    if (!tour.tap(page->send)) {
        return tour.report("comment", false, "no send button beside the field");
    }
    const bool posted = tour.waitFor([&] {
        return !page->sendCommentRequest() && page->comments().count() > before &&
               page->comments()[page->comments().count() - 1]["content"].stringValue() == kComment;
    });
    if (!posted) {
        return tour.report("comment", false, "the comment did not arrive in the list (" +
                                                 std::to_string(page->comments().count()) + " comments)");
    }
    // A person scrolls to the end of the list to see it.
    auto list = page->table();
    const NSInteger last = list->numberOfRowsInSection(0) - 1;
    auto lastRow = NSIndexPath::indexPathForRow_inSection(last, 0);
    for (int swipe = 0; swipe < 10 && !onScreen(list->cellForRowAtIndexPath(lastRow)); ++swipe) {
        tour.drag(CGPointMake(160, 340), CGPointMake(160, 120));
        tour.settle(0.3);
    }
    tour.settle();
    auto cell = list->cellForRowAtIndexPath(lastRow);
    const bool shows = onScreen(cell) && showsText(cell, kComment) && !page->input->isFirstResponder();
    tour.report("comment", shows,
                shows ? "posted \"" + std::string(kComment) + "\": the list's last row (" +
                            std::to_string(page->comments().count()) + " comments) reads it, the keyboard gone"
                      : "the posted comment does not show at the end of the list");
    if (!shows) {
        return false;
    }

    // Back to the feed by the bar's back button.
    auto bar = page->navigationController() ? page->navigationController()->navigationBar() : nullptr;
    Ref<UIView> back = bar ? (bar->backButton() ? Ref<UIView>(bar->backButton()) : bar->leftView()) : nullptr;
    if (!tour.tap(back)) {
        return tour.report("back-to-feed", false, "no back button on the video page's bar");
    }
    const bool returned = tour.waitFor([&] { return shown<FeedVC>() == feed; }, 5);
    tour.settle();
    return tour.report("back-to-feed", returned,
                       returned ? "back on " + describe(feed) : "expected the feed again, saw " + describe(shownController()));
}

bool logOut(Tour& tour)
{
    using namespace TourVideo_cpp;
    // The menu (the bar's left button of the screen showing) and its last row.
    auto stack = g_root ? g_root->lastDisplayedNavi() : nullptr;
    if (!stack || !tour.tap(stack->navigationBar()->leftView())) {
        return tour.report("logout", false, "no menu button on " + describe(shownController()));
    }
    tour.settle();
    auto menu = g_root->menu();
    auto menuTable = menu ? menu->table() : nullptr;
    if (!menuTable) {
        return tour.report("logout", false, "the menu did not open");
    }
    auto path = NSIndexPath::indexPathForRow_inSection(MenuRowLogInOut, 0);
    for (int swipe = 0; swipe < 4 && !onScreen(menuTable->cellForRowAtIndexPath(path)); ++swipe) {
        tour.drag(CGPointMake(100, 400), CGPointMake(100, 200));
        tour.settle();
    }
    auto row = menuTable->cellForRowAtIndexPath(path);
    const std::string title = MenuVC::titleForRow(MenuRowLogInOut);
    if (!onScreen(row) || !tour.tap(row)) {
        return tour.report("logout", false, "no \"" + title + "\" row on the menu");
    }
    // The row logs out at once (no question) and shows the login screen.
    const bool out = tour.waitFor([] { return !isLogin() && shown<Login>() != nullptr; }, 10);
    tour.settle();
    auto login = shown<Login>();
    return tour.report("logout", out && login && login->partnerButton(),
                       out ? "the menu's \"" + title + "\" row: logged out, the login screen " + describe(login) +
                                 " again"
                           : std::string(isLogin() ? "still logged in" : "logged out") + ", showing " +
                                 describe(shownController()));
}

}  // namespace tour
