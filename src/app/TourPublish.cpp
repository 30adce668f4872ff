// The tour's publishing road: a recording through a filter from the home feed's record menu, its
// review, the publish screen with its pickers, and the upload finishing on the own page.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include "app/TourHarness.h"
#include "api/QQWeiboClient.h"
#include "capture/PZVideoCaptureController.h"
#include "capture/PZVideoCaptureEditController.h"
#include "capture/ShareLocationController.h"
#include "capture/ShareWithSomebodyController.h"
#include "capture/TopicViewController.h"
#include "capture/VideoShareController.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextView.h"
#include "platform/uikit/UIWebView.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedVC.h"
#include "shell/MenuVC.h"
#include "shell/UploadControl.h"
#include "widgets/StatusBarOverlay.h"

namespace tour {
namespace {

// What the publishing steps chose, for the later steps to look for.
struct Publishing {
    std::string movie;
    std::string guid;
    std::string title;  // as posted: the typed words and the topic
    std::string place;
};
Publishing g_publishing;

constexpr char kTypedTitle[] = "Evening walk";
// The filter picked from the bar: the third button, "oldFilm".
constexpr int kFilterIndex = 2;
constexpr int kRecordSeconds = 3;

Ref<UIButton> filterButtonAt(const Ref<PZVideoCaptureController>& screen, int index)
{
    for (const auto& view : screen->filterScrollView()->subviews()) {
        if (view->tag() == 1000 + index) {
            return std::dynamic_pointer_cast<UIButton>(view);
        }
    }
    return nullptr;
}

// The visible row of a list (scrolled to by nobody: the first rows show).
Ref<UITableViewCell> rowOf(const Ref<UITableView>& table, NSInteger row, NSInteger section = 0)
{
    return table ? table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, section)) : nullptr;
}

// The right button of the shown screen's bar.
Ref<UIView> rightBarButton()
{
    auto controller = shownController();
    auto stack = controller ? controller->navigationController() : nullptr;
    return stack ? stack->navigationBar()->rightView() : nullptr;
}

// What shows instead of the expected screen, with the alert over it if there is one.
std::string sawInstead()
{
    std::string saw = describe(shownController());
    if (auto alert = UIAlertView::currentAlert(); alert && alert->isVisible()) {
        saw += " under the alert \"" + alert->message() + "\"";
    }
    return saw;
}

}  // namespace

bool record(Tour& tour)
{
    auto feed = shown<FeedVC>();
    auto menu = feed ? feed->coolMenu() : nullptr;
    if (!menu || !tour.tap(menu->addButton())) {
        return tour.report("record", false, "no record menu button on " + describe(shownController()));
    }
    if (!tour.waitFor([&] { return menu->isExpanding() && !menu->isFolding(); }, 5)) {
        return tour.report("record", false, "the record menu did not unfold");
    }
    tour.settle();
    tour.tap(menu->menusArray().front());
    if (!tour.waitFor([] {
            auto screen = shown<PZVideoCaptureController>();
            return screen && screen->videoCamera() && screen->captureButton()->isEnabled();
        })) {
        return tour.report("record", false, "expected the recording screen, saw " + sawInstead());
    }
    tour.settle();
    auto screen = shown<PZVideoCaptureController>();
    // The filter bar rises from its button; the person picks a look from it.
    tour.tap(screen->filterButton());
    tour.settle();
    auto filter = filterButtonAt(screen, kFilterIndex);
    if (!tour.tap(filter) || !tour.waitFor([&] { return screen->currentFilter() == 1000 + kFilterIndex; }, 3)) {
        return tour.report("record", false, "tapping the filter bar's third button did not pick its filter");
    }
    tour.settle();
    tour.report("filter", true,
                "the recording screen on the synthetic camera, filter \"" + screen->filterIcon()[kFilterIndex] +
                    "\" picked from its bar");
    // The movie lasts as long as the recording ran; on a busy machine the stop may land well after the
    // clock's third second, so the longest acceptable movie is the time from the tap that starts it to
    // the review screen after the one that stops it.
    const auto recordingSeen = std::chrono::steady_clock::now();
    tour.tap(screen->captureButton());
    if (!tour.waitFor([&] { return screen->isRecording(); }, 3)) {
        return tour.report("record", false, "tapping the record button did not start a recording");
    }
    // The record clock counts the seconds the person watches; the picture on the way, the stop as soon
    // as the clock shows the third second.
    const auto clockAt = [](int seconds) {
        return [seconds] { return PZVideoCaptureController::recordSeconds() >= seconds; };
    };
    if (!tour.waitFor(clockAt(kRecordSeconds - 1), 10)) {
        return tour.report("record", false, "the record clock did not run");
    }
    tour.report("record", true, "recording, the clock at " + screen->countLable()->text());
    if (!tour.waitFor(clockAt(kRecordSeconds), 10)) {
        return tour.report("stop", false, "the record clock did not reach 3 s");
    }
    g_publishing.movie = screen->movileFilePath();
    tour.tap(screen->captureButton());
    if (!tour.waitFor([] { return shown<PZVideoCaptureEditController>() != nullptr; })) {
        return tour.report("stop", false, "expected the review screen after stopping, saw " + describe(shownController()));
    }
    const double secondsSeen =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - recordingSeen).count();
    std::error_code error;
    const bool exists = std::filesystem::exists(g_publishing.movie, error);
    const double seconds =
        exists ? CMTimeGetSeconds(AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(g_publishing.movie))->duration())
               : 0;
    const bool aboutThree = seconds > kRecordSeconds - 0.5 && seconds < std::max<double>(kRecordSeconds + 1.0, secondsSeen + 0.5);
    char length[64];
    std::snprintf(length, sizeof length, "%.2f s (%.2f s from start to stop)", seconds, secondsSeen);
    return tour.report("stop", exists && aboutThree,
                       exists ? "stopped: " + std::filesystem::path(g_publishing.movie).filename().string() + " of " +
                                    length
                              : "no movie at " + g_publishing.movie);
}

bool review(Tour& tour)
{
    auto screen = shown<PZVideoCaptureEditController>();
    if (!screen) {
        return tour.report("review", false, "expected the review screen, saw " + describe(shownController()));
    }
    tour.settle();
    g_publishing.guid = screen->guid().stringValue();
    const bool ok = !g_publishing.guid.empty() && screen->player();
    tour.report("review", ok,
                ok ? "the review screen playing the clip, entered as job " + g_publishing.guid
                   : "the review screen without an entered clip");
    if (!ok) {
        return false;
    }
    tour.tap(screen->captureAcceptButton());
    if (!tour.waitFor([] { return shown<VideoShareController>() != nullptr; })) {
        return tour.report("accept", false, "expected the publish screen, saw " + describe(shownController()));
    }
    return true;
}

bool publish(Tour& tour)
{
    auto share = shown<VideoShareController>();
    if (!share) {
        return tour.report("publish", false, "expected the publish screen, saw " + describe(shownController()));
    }
    tour.settle();
    // The title: a tap in the message, then the keyboard.
    tour.tap(share->message);
    tour.settle(0.2);
    if (!UIScreenInput::typeText(kTypedTitle)) {
        return tour.report("publish", false, "the title took no typing");
    }
    tour.settle(0.2);
    // The topic picker, from the button under the title: the first of all topics.
    tour.tap(share->topicButton);
    Ref<TopicViewController> topics;
    if (!tour.waitFor([&] {
            topics = shown<TopicViewController>();
            return topics && topics->tableView() && topics->tableView()->numberOfSections() > 0 &&
                   topics->tableView()->numberOfRowsInSection(topics->tableView()->numberOfSections() - 1) > 0;
        })) {
        return tour.report("topic", false, "expected the topic picker with topics, saw " + describe(shownController()));
    }
    tour.settle();
    const NSInteger all = topics->tableView()->numberOfSections() - 1;
    tour.report("topic-picker", true,
                describe(topics) + " with " + std::to_string(topics->tableView()->numberOfRowsInSection(all)) +
                    " topics");
    auto topicRow = rowOf(topics->tableView(), 0, all);
    const std::string topic = topicRow ? topicRow->textLabel()->text() : "";
    tour.tap(topicRow);
    if (!tour.waitFor([&] { return shown<VideoShareController>() == share; })) {
        return tour.report("topic", false, "picking a topic did not lead back, saw " + describe(shownController()));
    }
    tour.settle();
    // The place picker: the places the place search found around the phone; the first is chosen.
    tour.tap(share->locationTopButton);
    Ref<ShareLocationController> places;
    if (!tour.waitFor([&] {
            places = shown<ShareLocationController>();
            return places && places->pointAnnotation() && !places->pointAnnotation()->subtitle().empty() &&
                   places->tableView() && places->tableView()->numberOfRowsInSection(0) > 0;
        })) {
        return tour.report("place-picker", false, "expected the place picker listing places, saw " +
                                                      describe(shownController()));
    }
    tour.settle();
    auto placeRow = rowOf(places->tableView(), 0);
    g_publishing.place = placeRow ? placeRow->textLabel()->text() : "";
    tour.report("place-picker", !g_publishing.place.empty(),
                describe(places) + " at \"" + places->pointAnnotation()->subtitle() + "\" listing " +
                    std::to_string(places->tableView()->numberOfRowsInSection(0)) + " places, choosing \"" +
                    g_publishing.place + "\"");
    tour.tap(placeRow);
    if (!tour.waitFor([&] { return shown<VideoShareController>() == share && !share->mapView->isHidden(); })) {
        return tour.report("place", false, "taking the place did not lead back, saw " + describe(shownController()));
    }
    tour.settle();
    // Two friends from the people the account follows, then "完成".
    tour.tap(share->withSomebodyButton);
    Ref<ShareWithSomebodyController> friends;
    if (!tour.waitFor([&] {
            friends = shown<ShareWithSomebodyController>();
            return friends && friends->tableView() && friends->tableView()->numberOfRowsInSection(0) >= 2;
        })) {
        return tour.report("friends", false, "expected the friend picker with people, saw " +
                                                 describe(shownController()));
    }
    tour.settle();
    tour.tap(rowOf(friends->tableView(), 0));
    tour.settle(0.3);
    tour.tap(rowOf(friends->tableView(), 1));
    if (!tour.waitFor([&] { return friends->withList().count() == 2; }, 3)) {
        return tour.report("friends", false, "tapping two rows chose " + std::to_string(friends->withList().count()));
    }
    tour.settle();
    std::string names;
    for (const Value& person : friends->withList().arrayItems()) {
        names += (names.empty() ? "" : ", ") + person["nick"].stringValue();
    }
    tour.report("friend-picker", true, describe(friends) + ", chosen: " + names);
    tour.tap(rightBarButton());
    if (!tour.waitFor([&] { return shown<VideoShareController>() == share && share->withList().count() == 2; })) {
        return tour.report("friends", false, "the chosen friends did not come back, saw " + describe(shownController()));
    }
    tour.settle();
    // The microblog the account signed in with: its switch on.
    if (!share->shareLumoButton->isSelected()) {
        tour.tap(share->shareLumoButton);
    }
    tour.settle();
    // The other microblog is bound through its own sign-in page first, then shared to as well.
    if (!share->shareQQButton->isSelected()) {
        tour.tap(share->shareQQButton);
        Ref<UIWebView> qqPage;
        if (!tour.waitFor([&] {
                auto client = shown<QQWeiboClient>();
                qqPage = client ? client->oauthWebView() : nullptr;
                return qqPage && !qqPage->isLoading() && qqPage->hasForm() && qqPage->pageDrawn();
            })) {
            return tour.report("qq-binding", false, "expected the QQ microblog's page, saw " + sawInstead());
        }
        tour.settle();
        if (!fillSignInPage(tour, qqPage) || !submitSignInPage(tour, qqPage)) {
            return tour.report("qq-binding", false, "the QQ microblog's form could not be filled in and sent");
        }
        if (!tour.waitFor([&] { return shown<VideoShareController>() == share && QQWeiboClient::isBind(); }, 30)) {
            return tour.report("qq-binding", false, "binding did not come back bound, saw " + sawInstead());
        }
        tour.settle();
        if (!share->shareQQButton->isSelected()) {
            tour.tap(share->shareQQButton);
            tour.settle();
        }
        tour.report("qq-binding", share->shareQQButton->isSelected(),
                    "the QQ microblog bound through its page, its switch " +
                        std::string(share->shareQQButton->isSelected() ? "on" : "off"));
    }
    g_publishing.title = share->message->text();
    const bool both = share->shareLumoButton->isSelected() && share->shareQQButton->isSelected();
    const bool ready = g_publishing.title == kTypedTitle + topic && both;
    tour.report("publish", ready,
                "title \"" + g_publishing.title + "\", place \"" + share->locationTopButton->titleForState(UIControlStateNormal) +
                    "\", 2 friends, microblogs " + (both ? "both on" : "not both on"));
    if (!ready) {
        return false;
    }
    tour.tap(rightBarButton());
    if (!tour.waitFor([] { return shown<VideoShareController>() == nullptr && g_root && !g_root->modalViewController(); })) {
        return tour.report("published", false, "publishing did not leave the recording flow, saw " +
                                                   describe(shownController()));
    }
    return true;
}

bool upload(Tour& tour)
{
    tour.settle();
    // The own page shows the video while it uploads (its row's upload control and progress), then,
    // once the upload has finished, among the published ones at the top.
    if (!openMenuRow(tour, MenuRowMine) ||
        !tour.waitFor([] { return shown<FeedVC>() && shown<FeedVC>()->type() == FeedTypeMine; })) {
        return tour.report("upload", false, "expected the own page, saw " + describe(shownController()));
    }
    auto page = shown<FeedVC>();
    // How far the upload control's bar was seen: first and last.
    float firstProgress = -1;
    float progress = -1;
    Value video;
    const auto published = [&] {
        for (NSInteger row = 0; page->table() && row < NSInteger(page->localChannels().count()); ++row) {
            auto cell = std::dynamic_pointer_cast<FeedCellFull>(rowOf(page->table(), row));
            auto control = cell ? cell->localUploadControl() : nullptr;
            if (control && !control->isHidden() && control->progress()) {
                progress = control->progress()->progress();
                firstProgress = firstProgress < 0 ? progress : firstProgress;
            }
        }
        if (page->reloading() || page->localChannels().count() > 0 || !page->channels().isArray()) {
            return false;
        }
        for (const Value& item : page->channels().arrayItems()) {
            if (item["channel"]["ext"]["t"].stringValue() == g_publishing.title) {
                video = item["channel"];
                return true;
            }
        }
        return false;
    };
    if (!tour.waitFor(published, 60)) {
        return tour.report("upload", false, "the video did not show as published on the own page (" +
                                                std::to_string(page->localChannels().count()) + " still uploading)");
    }
    tour.settle();
    // The status bar tells how the upload ended.
    auto label = StatusBarOverlay::sharedOverlay()->visibleStatusLabel();
    const std::string told = label ? label->text() : "";
    // A finger on the row pushes the header and the player up, so the video's title and place show.
    tour.drag(CGPointMake(160, 440), CGPointMake(160, 140));
    tour.settle(0.3);
    tour.drag(CGPointMake(160, 440), CGPointMake(160, 200));
    const bool scrolled = tour.waitFor([&] { return page->table()->contentOffset().y > 100; }, 3);
    tour.settle();
    const bool first = page->channels()[0]["channel"]["scid"] == video["scid"];
    const std::string uploading =
        progress >= 0 ? "its upload control seen at " + std::to_string(int(firstProgress * 100)) + "% to " +
                            std::to_string(int(progress * 100)) + "%, then "
                      : "uploaded before the page opened, ";
    return tour.report("upload", scrolled && first && video["ext"]["locationText"].stringValue() == g_publishing.place,
                       describe(page) + ": " + uploading + "\"" + g_publishing.title + "\" first at \"" +
                           video["ext"]["locationText"].stringValue() + "\" with " +
                           std::to_string(video["with"]["total"].intValue()) + " friends" +
                           (told.empty() ? "" : "; the status bar: " + told) +
                           (scrolled ? "" : "; the list did not follow the finger"));
}

}  // namespace tour
