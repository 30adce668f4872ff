// Pictures from a server that means harm: bodies that never end or are too long, pictures that claim
// far more pixels than a screen shows, more pictures than memory should hold, and cache entries that
// are not files at all. Each ends bounded: the download fails, the picture is no image, the memory
// stays within its limit, the read is a miss.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "servers/HostileReplies.h"
#include "WebImageFixture.h"
#include "net/webimage/WebImageDownloader.h"

namespace {
namespace HostileImageTest_cpp {

using namespace webimage_test;

class HostileImages : public WebImageFixture {
protected:
    void TearDown() override
    {
        WebImageDownloader::setMaxImageBytes(WebImageDownloader::kDefaultMaxImageBytes);
        cache_->setMemoryLimit(WebImageCache::kDefaultMemoryLimit);
        WebImageFixture::TearDown();
    }

    // Downloads through the manager and waits until the delegate has heard the outcome.
    std::shared_ptr<RecordingDelegate> download(const Ref<NSURL>& target)
    {
        auto delegate = std::make_shared<RecordingDelegate>();
        manager_->downloadWithURL_delegate(target, delegate);
        EXPECT_TRUE(pumpUntil([&] { return delegate->heard() == 1 && manager_->downloaders().empty(); }));
        return delegate;
    }
};

TEST_F(HostileImages, ABodyPastThePictureCapFailsTheDownloadAndIsNotKept)
{
    const std::string png = pngOf(kRed);
    WebImageDownloader::setMaxImageBytes(png.size());

    // Endless: chunks keep coming until the client goes away.
    TestServers::EndlessBodyServer endless;
    const auto endlessURL = NSURL::URLWithString(endless.url("/endless.png"));
    auto heard = download(endlessURL);
    ASSERT_EQ(heard->errors.size(), 1u);
    ASSERT_TRUE(heard->errors[0]);
    EXPECT_EQ(heard->errors[0]->domain(), NSURLErrorDomain);
    EXPECT_EQ(heard->errors[0]->code(), NSURLErrorDataLengthExceedsMaximum);
    // The connection is closed, not drained: the server sees its client leave long before its guard.
    ASSERT_TRUE(pumpUntil([&] { return endless.clientsGone() == 1; }));
    EXPECT_LT(endless.bytesSent(), size_t(64) << 20);

    // Announced: a length one byte over the cap fails before the body is read; the cap itself passes.
    struct Case {
        const char* path;
        std::string body;
        bool shown;
    } const cases[] = {
        {"/over.png", png + "x", false},
        {"/exact.png", png, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        serve(c.path, c.body);
        auto delegate = download(url(c.path));
        EXPECT_EQ(delegate->images.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(colourOf(delegate->images[0]), kRed);
        } else {
            ASSERT_EQ(delegate->errors.size(), 1u);
            ASSERT_TRUE(delegate->errors[0]);
            EXPECT_EQ(delegate->errors[0]->code(), NSURLErrorDataLengthExceedsMaximum);
        }
    }
    settleDiskQueues();
    EXPECT_FALSE(cache_->imageFromKey(endlessURL->absoluteString()));
    EXPECT_FALSE(cache_->imageFromKey(url("/over.png")->absoluteString()));
}

TEST_F(HostileImages, APictureClaimingMorePixelsThanScreensShowIsNoImage)
{
    // Both are small valid files; only the pixels they decode to differ.
    const size_t side = 2048;  // exactly the cap: 2^22 pixels
    ASSERT_EQ(side * side, WebImageCache::kMaxImagePixels);
    serve("/cap.png", TestServers::flatPng(side, side));
    serve("/over.png", TestServers::flatPng(side, side + 1));
    serve("/huge.png", TestServers::flatPng(5790, 5790));

    auto atCap = download(url("/cap.png"));
    ASSERT_EQ(atCap->images.size(), 1u);
    EXPECT_EQ(atCap->images[0]->CGImage()->height(), side);
    for (const char* path : {"/over.png", "/huge.png"}) {
        SCOPED_TRACE(path);
        auto refused = download(url(path));
        EXPECT_TRUE(refused->images.empty());
        EXPECT_EQ(refused->errors.size(), 1u);
        EXPECT_FALSE(cache_->imageFromKey_fromDisk(url(path)->absoluteString(), false));
    }
    // The same bytes in a cache file are refused the same way.
    const std::string key = "http://example.invalid/huge.png";
    std::filesystem::create_directories(cache_->diskCachePath());
    ASSERT_TRUE(dataOf(TestServers::flatPng(5790, 5790)).writeToFile_atomically(cache_->cachePathForKey(key), true));
    EXPECT_FALSE(cache_->imageFromKey(key));
}

TEST_F(HostileImages, TheMemoryKeepsTheMostRecentlyUsedPicturesWithinItsLimit)
{
    const size_t side = 16;
    const size_t bytes = side * side * 4;
    cache_->setMemoryLimit(3 * bytes);
    auto store = [&](const std::string& key, uint32_t colour, size_t edge) {
        cache_->storeImage_imageData_forKey_toDisk(solidImage(colour, edge), std::nullopt, key, false);
    };
    auto inMemory = [&](const std::string& key) { return bool(cache_->imageFromKey_fromDisk(key, false)); };

    store("a", kRed, side);
    store("b", kBlue, side);
    store("c", kGreen, side);
    EXPECT_EQ(cache_->memoryBytes(), 3 * bytes);
    EXPECT_TRUE(inMemory("a"));  // a is now the most recently used
    store("d", kGrey, side);           // b, the least recently used, leaves
    EXPECT_FALSE(inMemory("b"));
    for (const char* key : {"a", "c", "d"}) {
        EXPECT_TRUE(inMemory(key)) << key;
    }
    EXPECT_EQ(cache_->memoryBytes(), 3 * bytes);

    // Storing a key again replaces its cost; a picture larger than the whole limit is not kept and
    // pushes nothing out.
    store("a", kRed, side / 2);
    EXPECT_EQ(cache_->memoryBytes(), 2 * bytes + bytes / 4);
    store("big", kRed, 2 * side);
    EXPECT_FALSE(inMemory("big"));
    EXPECT_EQ(cache_->memoryImageCount(), 3u);

    // Lowering the limit evicts at once, oldest use first; clearing empties the count.
    cache_->setMemoryLimit(bytes + bytes / 4);
    EXPECT_EQ(cache_->memoryImageCount(), 2u);
    EXPECT_TRUE(inMemory("a"));
    EXPECT_TRUE(inMemory("d"));
    cache_->clearMemory();
    EXPECT_EQ(cache_->memoryBytes(), 0u);
    EXPECT_EQ(cache_->memoryImageCount(), 0u);
}

TEST_F(HostileImages, ACacheEntryThatIsNotAPictureFileIsAMissAndNeverBlocksTheDiskQueue)
{
    const std::string png = pngOf(kBlue);
    WebImageDownloader::setMaxImageBytes(png.size());
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        bool hit;
    } const cases[] = {
        {"link to an endless device", [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); }, false},
        {"fifo without a writer", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, false},
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, false},
        {"empty file", [](const std::string& path) { ASSERT_TRUE(dataOf("").writeToFile_atomically(path, true)); }, false},
        {"file past the cap", [&](const std::string& path) { ASSERT_TRUE(dataOf(png + "x").writeToFile_atomically(path, true)); }, false},
        {"picture at the cap", [&](const std::string& path) { ASSERT_TRUE(dataOf(png).writeToFile_atomically(path, true)); }, true},
    };
    std::filesystem::create_directories(cache_->diskCachePath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = std::string("http://example.invalid/") + c.name;
        c.make(cache_->cachePathForKey(key));
        // Through the disk queue, as a view asks; then on the calling thread.
        cache_->clearMemory();
        struct Answer : WebImageCacheDelegate {
            int found = 0;
            int missed = 0;
            void imageCache_didFindImage_forKey_userInfo(WebImageCache*, const Ref<UIImage>&, const std::string&, const Value&) override { ++found; }
            void imageCache_didNotFindImageForKey_userInfo(WebImageCache*, const std::string&, const Value&) override { ++missed; }
        };
        auto answer = std::make_shared<Answer>();
        cache_->queryDiskCacheForKey_delegate_userInfo(key, answer);
        ASSERT_TRUE(pumpUntil([&] { return answer->found + answer->missed == 1; }));
        EXPECT_EQ(answer->found, c.hit ? 1 : 0);
        cache_->clearMemory();
        EXPECT_EQ(bool(cache_->imageFromKey(key)), c.hit);
    }
}

}  // namespace HostileImageTest_cpp
}  // namespace
