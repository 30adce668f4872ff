// The tour on the home feed beyond its list: a video played inline in its row, and the topic the feed's
// banner leads to.
#include "app/TourHarness.h"
#include "capture/PPlayer.h"
#include "platform/media/MPMoviePlayerController.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "shell/FeedCellFull.h"
#include "shell/FeedVC.h"

namespace tour {
namespace {
namespace TourFeed_cpp {

bool onScreen(const Ref<UIView>& view)
{
    if (!view || !view->window() || view->isHidden()) {
        return false;
    }
    const CGPoint middle = middleOnScreen(view);
    return middle.y > 64 && middle.y < 470;
}

// The first row on screen whose video can be played (a cover with its play button showing).
Ref<FeedCellFull> rowWithVideo(const Ref<UITableView>& table)
{
    for (const auto& cell : table->visibleCells()) {
        auto row = std::dynamic_pointer_cast<FeedCellFull>(cell);
        auto player = row ? row->playerView() : nullptr;
        if (player && !player->isHidden() && onScreen(player->playBtn())) {
            return row;
        }
    }
    return nullptr;
}

bool backTo(Tour& tour, const Ref<UIViewController>& from, const Ref<UIViewController>& to)
{
    auto bar = from->navigationController() ? from->navigationController()->navigationBar() : nullptr;
    Ref<UIView> back = bar ? (bar->backButton() ? Ref<UIView>(bar->backButton()) : bar->leftView()) : nullptr;
    return tour.tap(back) && tour.waitFor([&] { return shownController() == to; }, 5);
}

}  // namespace TourFeed_cpp
}  // namespace

bool feedVideo(Tour& tour)
{
    using namespace TourFeed_cpp;
    auto feed = shown<FeedVC>();
    auto table = feed ? feed->table() : nullptr;
    Ref<FeedCellFull> row = table ? rowWithVideo(table) : nullptr;
    // The banner may fill the screen's top: a finger brings the first video up.
    if (table && !row) {
        tour.drag(CGPointMake(160, 400), CGPointMake(160, 250));
        tour.settle();
        row = rowWithVideo(table);
    }
    if (!row) {
        return tour.report("feed-video", false, "no video with a play button on " + describe(shownController()));
    }
    auto player = row->playerView();
    tour.tap(player->playBtn());
    auto movie = PPlayer::sharedMoviePlayer();
    // The movie shows in the row and its picture moves on.
    CGImageRef first;
    const bool showing = tour.waitFor([&] {
        first = movie->view()->superview() == player ? movie->view()->layer()->contents() : CGImageRef();
        return first != nullptr;
    });
    CGImageRef later;
    const bool moving = showing && tour.waitFor([&] {
        later = movie->view()->layer()->contents();
        return later != nullptr && later != first;
    }, 10);
    const std::string address = movie->contentURL() ? movie->contentURL()->absoluteString() : "";
    const bool ok = moving && player->isPlayer() && !player->playbackFailed();
    tour.report("feed-video", ok,
                ok ? "the row's video plays in place from " + address.substr(0, address.find('?')) +
                         ", its picture changing"
                   : player->playbackFailed() ? "the video could not be loaded from " + address
                                              : "the video's picture did not change (" + address + ")");
    PPlayer::stop();
    tour.settle();
    return ok;
}

bool topicPage(Tour& tour)
{
    using namespace TourFeed_cpp;
    auto feed = shown<FeedVC>();
    auto table = feed ? feed->table() : nullptr;
    if (!table) {
        return tour.report("topic-page", false, "expected the home feed, saw " + describe(shownController()));
    }
    // The banner heads the list; a finger brings the top back, then a person taps it.
    for (int pull = 0; pull < 3 && table->contentOffset().y > 0; ++pull) {
        tour.drag(CGPointMake(160, 200), CGPointMake(160, 440));
        tour.settle();
    }
    auto banner = std::dynamic_pointer_cast<FeedCellFull>(
        table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(0, 0)));
    if (!banner || !onScreen(banner->adBody()) || !tour.tap(banner->adBody())) {
        return tour.report("topic-page", false, "no banner at the top of " + describe(feed));
    }
    Ref<FeedVC> topic;
    const bool opened = tour.waitFor([&] {
        topic = shown<FeedVC>();
        return topic && topic != feed && topic->type() == FeedTypeTopic && !topic->title().empty() &&
               !topic->reloading() && topic->table()->numberOfRowsInSection(0) > 0;
    });
    tour.settle();
    // A topic page is titled by the topic's name, never by its id.
    const std::string title = topic ? topic->title() : "";
    const bool named = opened && title.size() > 2 && title.front() == '#' && title.find("#t4") == std::string::npos;
    tour.report("topic-page", named,
                opened ? "the banner's topic " + describe(topic) + " with " +
                             std::to_string(topic->table()->numberOfRowsInSection(0)) + " items"
                       : "expected a topic page, saw " + describe(shownController()));
    if (!named) {
        return false;
    }
    if (!backTo(tour, topic, feed)) {
        return tour.report("topic-page", false, "no way back to the feed from " + describe(shownController()));
    }
    tour.settle();
    return true;
}

}  // namespace tour
