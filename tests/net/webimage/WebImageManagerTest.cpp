// Image views and the manager: one download per URL, memory hits inside the call, failures, and waits
// that are cancelled or replaced while the cache or the download is still busy.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "WebImageFixture.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIImageView.h"

using namespace webimage_test;

namespace {

// Counts the download notifications while it lives.
class NotificationCounter {
public:
    NotificationCounter()
    {
        auto center = NSNotificationCenter::defaultCenter();
        startToken_ = center->addObserverForName_object_usingBlock(WebImageDownloadStartNotification, Value(),
                                                                   [this](const Ref<NSNotification>&) { ++starts; });
        stopToken_ = center->addObserverForName_object_usingBlock(WebImageDownloadStopNotification, Value(),
                                                                  [this](const Ref<NSNotification>&) { ++stops; });
    }
    ~NotificationCounter()
    {
        NSNotificationCenter::defaultCenter()->removeObserver(startToken_);
        NSNotificationCenter::defaultCenter()->removeObserver(stopToken_);
    }
    int starts = 0;
    int stops = 0;

private:
    Ref<NSObject> startToken_;
    Ref<NSObject> stopToken_;
};

using Manager = WebImageFixture;

}  // namespace

TEST_F(Manager, TwoViewsWaitingForOneURLShareOneDownloadAndBothShowIt)
{
    const std::string png = pngOf(kRed);
    serve("/a.png", png);
    NotificationCounter notifications;
    auto first = UIImageView::create();
    auto second = UIImageView::create();
    auto placeholder = solidImage(kGrey);
    WebCache::setImageWithURL_placeholderImage(first, url("/a.png"), placeholder);
    WebCache::setImageWithURL(second, url("/a.png"));
    EXPECT_EQ(first->image(), placeholder);
    EXPECT_FALSE(second->image());

    // Both wait on one downloader, whose request skips local caches and gives up after 15 s.
    ASSERT_TRUE(pumpUntil([&] { return manager_->delegates().size() == 2; }));
    auto downloader = manager_->downloaderForURL(url("/a.png"));
    ASSERT_TRUE(downloader && downloader->connection());
    EXPECT_EQ(manager_->downloaders()[0], downloader);
    EXPECT_EQ(manager_->downloaders()[1], downloader);
    const auto request = downloader->connection()->originalRequest();
    EXPECT_EQ(request->cachePolicy(), NSURLRequestReloadIgnoringLocalCacheData);
    EXPECT_EQ(request->timeoutInterval(), 15.0);
    EXPECT_EQ(notifications.starts, 1);

    ASSERT_TRUE(pumpUntil([&] { return colourOf(first->image()) == kRed && colourOf(second->image()) == kRed; }));
    EXPECT_EQ(first->image(), second->image());
    EXPECT_EQ(server_.requestCount("/a.png"), 1u);
    EXPECT_EQ(notifications.stops, 1);
    EXPECT_TRUE(manager_->delegates().empty());
    EXPECT_FALSE(manager_->downloaderForURL(url("/a.png")));

    // The bytes went to disk as downloaded, and the image stays in memory.
    settleDiskQueues();
    EXPECT_EQ(NSData::dataWithContentsOfFile(cache_->cachePathForKey(url("/a.png")->absoluteString()))->string(), png);
    EXPECT_EQ(cache_->imageFromKey_fromDisk(url("/a.png")->absoluteString(), false), first->image());
}

TEST_F(Manager, AViewWhoseDiskReadWaitedBehindTheDownloadDoesNotDownloadAgain)
{
    serve("/a.png", pngOf(kRed));
    auto first = UIImageView::create();
    auto second = UIImageView::create();
    WebCache::setImageWithURL(first, url("/a.png"));
    ASSERT_TRUE(pumpUntil([&] { return bool(manager_->downloaderForURL(url("/a.png"))); }));
    // The second view's disk read waits while the download ends; the file is not written yet either.
    cache_->cacheOutQueue()->setSuspended(true);
    cache_->cacheInQueue()->setSuspended(true);
    WebCache::setImageWithURL(second, url("/a.png"));
    ASSERT_TRUE(pumpUntil([&] { return colourOf(first->image()) == kRed; }));
    cache_->cacheOutQueue()->setSuspended(false);
    cache_->cacheOutQueue()->waitUntilAllOperationsAreFinished();
    drainMain();
    EXPECT_EQ(second->image(), first->image());
    EXPECT_FALSE(manager_->downloaderForURL(url("/a.png")));
    cache_->cacheInQueue()->setSuspended(false);
    settleDiskQueues();
    EXPECT_EQ(server_.requestCount("/a.png"), 1u);
}

TEST_F(Manager, ViewsWhoseDiskReadsWaitedTogetherDecodeThePictureOnce)
{
    // Reads of one URL queued together find the picture in memory once it is there: decoded by the
    // first read, or stored (by a download) while they all waited. Decoding it again for each view
    // would cost a decode per view.
    const struct {
        const char* name;
        bool storedWhileQueued;
        int decodes;
    } cases[] = {
        {"first read decodes the file", false, 1},
        {"stored while the reads waited", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cache_->clearMemory();
        const Ref<NSURL> address = url(std::string("/disk-") + (c.storedWhileQueued ? "stored" : "read") + ".png");
        const std::string key = address->absoluteString();
        ASSERT_TRUE(dataOf(pngOf(kRed)).writeToFile_atomically(cache_->cachePathForKey(key), true));
        auto decodes = std::make_shared<std::atomic<int>>(0);
        UIImage::setDecoder([decodes](const NSData& bytes) {
            ++*decodes;
            return UIImage::decodeWithImageCodecs(bytes);
        });

        cache_->cacheOutQueue()->setSuspended(true);
        std::vector<Ref<UIImageView>> views;
        for (int i = 0; i < 5; ++i) {
            views.push_back(UIImageView::create());
            WebCache::setImageWithURL(views.back(), address);
        }
        Ref<UIImage> stored;
        if (c.storedWhileQueued) {
            stored = UIImage::imageWithCGImage(CGImage::create(4, 4, std::vector<uint32_t>(16, kRed)));
            cache_->storeImage_forKey_toDisk(stored, key, false);
        }
        const int before = decodes->load();
        cache_->cacheOutQueue()->setSuspended(false);
        settleDiskQueues();
        UIImage::setDecoder(&UIImage::decodeWithImageCodecs);

        EXPECT_EQ(decodes->load() - before, c.decodes);
        for (const auto& view : views) {
            ASSERT_TRUE(view->image());
            EXPECT_EQ(view->image().get(), views.front()->image().get());
            EXPECT_EQ(colourOf(view->image()), kRed);
        }
        if (stored) {
            EXPECT_EQ(views.front()->image().get(), stored.get());
        }
        EXPECT_EQ(server_.requestCount(address->path()), 0u);
    }
}

TEST_F(Manager, AMemoryHitIsAnsweredInsideTheCall)
{
    auto stored = solidImage(kGreen);
    cache_->storeImage_forKey_toDisk(stored, url("/g.png")->absoluteString(), false);
    auto view = UIImageView::create();
    WebCache::setImageWithURL_placeholderImage(view, url("/g.png"), solidImage(kGrey));
    EXPECT_EQ(view->image(), stored);  // before the main loop has run at all
    EXPECT_EQ(manager_->pendingQueryCount(), 0u);

    auto delegate = std::make_shared<RecordingDelegate>();
    manager_->downloadWithURL_delegate(url("/g.png"), delegate);
    ASSERT_EQ(delegate->images.size(), 1u);
    EXPECT_EQ(delegate->images[0], stored);
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(Manager, AnImageOnDiskIsReadOffTheMainThreadAndKeptInMemory)
{
    const std::string key = url("/d.png")->absoluteString();
    ASSERT_TRUE(dataOf(pngOf(kBlue)).writeToFile_atomically(cache_->cachePathForKey(key), true));
    auto view = UIImageView::create();
    WebCache::setImageWithURL(view, url("/d.png"));
    EXPECT_FALSE(view->image());
    EXPECT_EQ(manager_->pendingQueryCount(), 1u);
    ASSERT_TRUE(pumpUntil([&] { return colourOf(view->image()) == kBlue; }));
    EXPECT_EQ(cache_->imageFromKey_fromDisk(key, false), view->image());
    EXPECT_EQ(server_.requestCount(), 0u);
    EXPECT_EQ(manager_->imageWithURL(url("/d.png")), view->image());
}

namespace {

struct FailureCase {
    const char* name;
    std::function<void(standin::HttpServer&)> setUp;
    bool transportError;  // an error object, and the URL is not remembered as failed
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class Failures : public WebImageFixture, public ::testing::WithParamInterface<FailureCase> {};

}  // namespace

TEST_P(Failures, FailedURLsAreSkippedUntilRetriedAndTransportFailuresAreNot)
{
    const FailureCase& c = GetParam();
    c.setUp(server_);
    const auto target = url("/x.png");
    auto view = UIImageView::create();
    auto placeholder = solidImage(kGrey);
    auto delegate = std::make_shared<RecordingDelegate>();
    WebCache::setImageWithURL_placeholderImage(view, target, placeholder);
    manager_->downloadWithURL_delegate(target, delegate);
    // The view and the delegate each look in the cache first; when the first download fails before the
    // second look has answered, the second asker starts a download of its own (a failure is not
    // shared). Both see the same fault, so wait until everything has settled and count from there.
    ASSERT_TRUE(pumpUntil([&] {
        return delegate->heard() == 1 && manager_->delegates().empty() && manager_->downloaders().empty() &&
               manager_->pendingQueryCount() == 0;
    }));
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_EQ(bool(delegate->errors[0]), c.transportError);
    EXPECT_EQ(view->image(), placeholder);  // the view keeps its placeholder
    const size_t firstRound = server_.requestCount("/x.png");
    EXPECT_GE(firstRound, 1u);
    EXPECT_LE(firstRound, 2u);
    settleDiskQueues();
    EXPECT_FALSE(cache_->imageFromKey(target->absoluteString()));  // nothing stored
    EXPECT_EQ(manager_->isFailedURL(target), !c.transportError);

    // Asked again: a URL whose bytes were no image is skipped silently, a transport failure is tried.
    server_.clearAllFaults();
    serve("/x.png", pngOf(kRed));
    manager_->downloadWithURL_delegate(target, delegate);
    WebCache::setImageWithURL_placeholderImage(view, target, placeholder);
    if (c.transportError) {
        ASSERT_TRUE(pumpUntil([&] { return colourOf(view->image()) == kRed && delegate->images.size() == 1; }));
        EXPECT_EQ(server_.requestCount("/x.png"), firstRound + 1);
    } else {
        EXPECT_EQ(manager_->pendingQueryCount(), 0u);
        settleDiskQueues();
        EXPECT_EQ(delegate->heard(), 1u);
        EXPECT_EQ(view->image(), placeholder);
        // Only a retry asks again.
        manager_->downloadWithURL_delegate_retryFailed(target, delegate, true);
        ASSERT_TRUE(pumpUntil([&] { return delegate->images.size() == 1; }));
        EXPECT_EQ(colourOf(delegate->images[0]), kRed);
        EXPECT_EQ(server_.requestCount("/x.png"), firstRound + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WebImage, Failures,
    ::testing::Values(
        FailureCase{"TextBody", [](standin::HttpServer& s) { s.addFault("/x.png", standin::Fault::status(200, "not an image").persistent()); }, false},
        FailureCase{"HtmlNotFound",
                    [](standin::HttpServer& s) {
                        s.addFault("/x.png", standin::Fault::status(404, "<html><body>Not Found</body></html>").persistent());
                    },
                    false},
        FailureCase{"TruncatedPng",
                    [](standin::HttpServer& s) {
                        const std::string png = UIImagePNGRepresentation(solidImage(kRed, 64))->string();
                        s.addFault("/x.png", standin::Fault::status(200, png.substr(0, png.size() - 30)).persistent());
                    },
                    false},
        FailureCase{"ClosedWithoutAnswer",
                    [](standin::HttpServer& s) { s.addFault("/x.png", standin::Fault::closeWithoutAnswer().persistent()); }, true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(Manager, TheOldDownloadIsCancelledOnlyWhenNobodyElseWaitsForIt)
{
    server_.addFault("/slow.png", standin::Fault::hangUntilStopped().persistent());
    serve("/b.png", pngOf(kBlue));
    NotificationCounter notifications;
    auto first = UIImageView::create();
    auto second = UIImageView::create();
    WebCache::setImageWithURL(first, url("/slow.png"));
    WebCache::setImageWithURL(second, url("/slow.png"));
    ASSERT_TRUE(pumpUntil([&] { return manager_->delegates().size() == 2 && server_.requestCount("/slow.png") == 1; }));
    auto slow = manager_->downloaderForURL(url("/slow.png"));
    ASSERT_TRUE(slow);

    // The first view moves on: the second still waits, so the download goes on.
    WebCache::setImageWithURL(first, url("/b.png"));
    EXPECT_EQ(manager_->downloaderForURL(url("/slow.png")), slow);
    EXPECT_TRUE(slow->connection());
    EXPECT_EQ(notifications.stops, 0);
    ASSERT_TRUE(pumpUntil([&] { return colourOf(first->image()) == kBlue; }));

    // The second view gives up too: nobody waits, the download is cancelled.
    WebCache::cancelCurrentImageLoad(second);
    EXPECT_FALSE(manager_->downloaderForURL(url("/slow.png")));
    EXPECT_FALSE(slow->connection());
    EXPECT_TRUE(manager_->delegates().empty());
    EXPECT_EQ(notifications.stops, 2);  // the blue download ended, the slow one was cancelled
    EXPECT_FALSE(second->image());
}

// ---- A cancelled or replaced wait never delivers ------------------------------------------------------

namespace {

enum class Stage {
    ReadQueued,   // the disk read has not started
    ReadRunning,  // the disk read is decoding the file
    Answered,     // the read's answer waits on the main queue
};
enum class Action { Cancel, Replace };

struct StaleCase {
    const char* name;
    Stage stage;
    Action action;
    bool oldOnDisk;  // the old URL's read finds its file (else it misses and would start a download)
};

// A decoder that stops in the middle of decoding until released.
class GatedDecoder {
public:
    UIImage::Decoder decoder()
    {
        return [this](const NSData& bytes) {
            {
                std::unique_lock lock(mutex_);
                entered_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return open_; });
            }
            return UIImage::decodeWithImageCodecs(bytes);
        };
    }
    bool waitUntilEntered()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return entered_; });
    }
    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

void PrintTo(const StaleCase& c, std::ostream* out) { *out << c.name; }

class StaleAnswers : public WebImageFixture, public ::testing::WithParamInterface<StaleCase> {};

}  // namespace

TEST_P(StaleAnswers, AViewCancelledOrGivenAnotherURLNeverShowsTheOldImage)
{
    const StaleCase& c = GetParam();
    serve("/old.png", pngOf(kRed));
    auto fresh = serveHeld("/new.png", pngOf(kBlue));  // the new image cannot arrive before it is let go
    if (c.oldOnDisk) {
        ASSERT_TRUE(dataOf(pngOf(kRed)).writeToFile_atomically(cache_->cachePathForKey(url("/old.png")->absoluteString()), true));
    }
    GatedDecoder gate;
    if (c.stage == Stage::ReadRunning) {
        UIImage::setDecoder(gate.decoder());
    }
    if (c.stage == Stage::ReadQueued) {
        cache_->cacheOutQueue()->setSuspended(true);
    }

    auto view = UIImageView::create();
    auto placeholder = solidImage(kGrey);
    WebCache::setImageWithURL_placeholderImage(view, url("/old.png"), placeholder);
    ASSERT_EQ(manager_->pendingQueryCount(), 1u);
    switch (c.stage) {
    case Stage::ReadQueued:
        break;
    case Stage::ReadRunning:
        ASSERT_TRUE(gate.waitUntilEntered());
        break;
    case Stage::Answered:
        cache_->cacheOutQueue()->waitUntilAllOperationsAreFinished();  // the answer is on the main queue
        break;
    }

    if (c.action == Action::Cancel) {
        WebCache::cancelCurrentImageLoad(view);
    } else {
        UIImage::setDecoder(&UIImage::decodeWithImageCodecs);  // the new URL's image is not held up
        WebCache::setImageWithURL_placeholderImage(view, url("/new.png"), placeholder);
    }
    gate.open();
    cache_->cacheOutQueue()->setSuspended(false);

    // The old URL's answer arrives now, and must change nothing.
    settleDiskQueues();
    EXPECT_EQ(view->image(), placeholder);
    if (c.action == Action::Replace) {
        fresh->open();
        ASSERT_TRUE(pumpUntil([&] { return colourOf(view->image()) == kBlue; }));
        settleDiskQueues();
        EXPECT_EQ(colourOf(view->image()), kBlue);
    }
    EXPECT_EQ(server_.requestCount("/old.png"), 0u);  // a stale miss started no download
    EXPECT_FALSE(manager_->downloaderForURL(url("/old.png")));
    EXPECT_TRUE(manager_->delegates().empty());
    EXPECT_EQ(manager_->pendingQueryCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    WebImage, StaleAnswers,
    ::testing::Values(StaleCase{"CancelWhileHitQueued", Stage::ReadQueued, Action::Cancel, true},
                      StaleCase{"CancelWhileHitReading", Stage::ReadRunning, Action::Cancel, true},
                      StaleCase{"CancelWhileHitAnswered", Stage::Answered, Action::Cancel, true},
                      StaleCase{"ReplaceWhileHitQueued", Stage::ReadQueued, Action::Replace, true},
                      StaleCase{"ReplaceWhileHitReading", Stage::ReadRunning, Action::Replace, true},
                      StaleCase{"ReplaceWhileHitAnswered", Stage::Answered, Action::Replace, true},
                      StaleCase{"CancelWhileMissQueued", Stage::ReadQueued, Action::Cancel, false},
                      StaleCase{"CancelWhileMissAnswered", Stage::Answered, Action::Cancel, false},
                      StaleCase{"ReplaceWhileMissQueued", Stage::ReadQueued, Action::Replace, false},
                      StaleCase{"ReplaceWhileMissAnswered", Stage::Answered, Action::Replace, false}),
    [](const ::testing::TestParamInfo<StaleCase>& info) { return std::string(info.param.name); });

TEST_F(Manager, AViewGivenAnotherURLDuringItsDownloadNeverShowsTheOldImage)
{
    // The old download is held until the new image is shown, then let go.
    auto old = serveHeld("/old.png", pngOf(kRed));
    serve("/new.png", pngOf(kBlue));
    auto view = UIImageView::create();
    auto other = UIImageView::create();  // keeps the old download alive
    WebCache::setImageWithURL(view, url("/old.png"));
    WebCache::setImageWithURL(other, url("/old.png"));
    ASSERT_TRUE(pumpUntil([&] { return manager_->delegates().size() == 2; }));
    WebCache::setImageWithURL(view, url("/new.png"));
    ASSERT_TRUE(pumpUntil([&] { return colourOf(view->image()) == kBlue; }));
    old->open();
    ASSERT_TRUE(pumpUntil([&] { return colourOf(other->image()) == kRed; }));
    EXPECT_EQ(colourOf(view->image()), kBlue);
}
