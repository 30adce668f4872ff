// The cache on its own: file names, clean-up by age, the life-cycle hooks, the JPEG form of images
// stored without bytes, atomic files, and a memory cache shared with the disk queues.
#include <atomic>
#include <set>
#include <thread>

#include "WebImageFixture.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/uikit/UIApplication.h"

using namespace webimage_test;

namespace {

using Cache = WebImageFixture;

std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const std::string& name : NSFileManager::defaultManager()->subpathsOfDirectoryAtPath_error(folder)) {
        names.insert(name);
    }
    return names;
}

void setModificationTime(const std::string& path, NSTimeInterval seconds)
{
    Value attributes = Value::dictionary();
    attributes.setObject_forKey(Value(NSDate::dateWithTimeIntervalSince1970(seconds)), NSFileModificationDate);
    ASSERT_TRUE(NSFileManager::defaultManager()->setAttributes_ofItemAtPath_error(attributes, path)) << path;
}

}  // namespace

TEST_F(Cache, FilesAreNamedByTheLowerCaseMD5OfTheKeyInTheCachesImageCacheFolder)
{
    EXPECT_EQ(cache_->diskCachePath(), FoundationRoots::cachesDirectory() + "/ImageCache");
    bool isFolder = false;
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath_isDirectory(cache_->diskCachePath(), &isFolder));
    EXPECT_TRUE(isFolder);

    const struct {
        std::string key;
        std::string name;
    } cases[] = {
        {"http://127.0.0.1:8080/a.png", "957deee879e26652caecbde7e6ed63a7"},
        {"http://example.com/图片.jpg", "8656338fedac79cfb2ce78f35212ec9e"},  // the UTF-8 bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cache_->cachePathForKey(c.key), cache_->diskCachePath() + "/" + c.name) << c.key;
    }

    // A stored image's file holds the bytes given, and nothing else is left in the folder.
    const std::string bytes = pngOf(kBlue);
    cache_->storeImage_imageData_forKey_toDisk(solidImage(kBlue), dataOf(bytes), cases[0].key, true);
    settleDiskQueues();
    EXPECT_EQ(filesIn(cache_->diskCachePath()), std::set<std::string>{cases[0].name});
    EXPECT_EQ(NSData::dataWithContentsOfFile(cache_->cachePathForKey(cases[0].key))->string(), bytes);

    // Removing a key removes both copies.
    cache_->removeImageForKey(cases[0].key);
    EXPECT_FALSE(cache_->imageFromKey(cases[0].key));
    EXPECT_TRUE(filesIn(cache_->diskCachePath()).empty());
}

TEST_F(Cache, TerminationRemovesFilesModifiedSevenDaysAgoOrEarlier)
{
    const NSTimeInterval now = 1700000000;
    NSDate::setNowFunction([now] { return now; });
    const std::string folder = cache_->diskCachePath();
    ASSERT_TRUE(NSFileManager::defaultManager()->createDirectoryAtPath_withIntermediateDirectories_attributes_error(
        folder + "/nested", true));
    const struct {
        const char* name;
        NSTimeInterval age;
        bool kept;
    } files[] = {
        {"exactly-seven-days", 604800, false},
        {"one-second-younger", 604799, true},
        {"nested/a-month", 30 * 86400, false},
        {"fresh", 0, true},
    };
    for (const auto& f : files) {
        const std::string path = folder + "/" + f.name;
        ASSERT_TRUE(dataOf("bytes").writeToFile_atomically(path, false));
        setModificationTime(path, now - f.age);
    }

    UIApplication::sharedApplication()->simulateTerminate();

    for (const auto& f : files) {
        EXPECT_EQ(NSFileManager::defaultManager()->fileExistsAtPath(folder + "/" + f.name), f.kept) << f.name;
    }
    EXPECT_TRUE(NSFileManager::defaultManager()->fileExistsAtPath(folder + "/nested"));  // folders stay
}

TEST_F(Cache, MemoryWarningsAndTheBackgroundEmptyTheMemoryButNotTheDisk)
{
    const struct {
        const char* what;
        std::function<void()> happen;
    } cases[] = {
        {"memory warning", [] { UIApplication::sharedApplication()->simulateMemoryWarning(); }},
        {"background", [] { UIApplication::sharedApplication()->simulateEnterBackground(); }},
    };
    for (const auto& c : cases) {
        const std::string key = std::string("http://host/") + c.what;
        cache_->storeImage_imageData_forKey_toDisk(solidImage(kRed), dataOf(pngOf(kRed)), key, true);
        settleDiskQueues();
        ASSERT_GT(cache_->memoryImageCount(), 0u);
        c.happen();
        EXPECT_EQ(cache_->memoryImageCount(), 0u) << c.what;
        EXPECT_FALSE(cache_->imageFromKey_fromDisk(key, false)) << c.what;
        EXPECT_EQ(colourOf(cache_->imageFromKey(key)), kRed) << c.what;  // read back from its file
    }
}

TEST_F(Cache, ClearingCancelsWritesThatHaveNotRun)
{
    const struct {
        const char* what;
        void (WebImageCache::*clear)();
    } cases[] = {{"clearMemory", &WebImageCache::clearMemory}, {"clearDisk", &WebImageCache::clearDisk}};
    for (const auto& c : cases) {
        const std::string key = std::string("http://host/") + c.what;
        cache_->cacheInQueue()->setSuspended(true);
        cache_->storeImage_imageData_forKey_toDisk(solidImage(kRed), dataOf(pngOf(kRed)), key, true);
        ((*cache_).*c.clear)();
        cache_->cacheInQueue()->setSuspended(false);
        settleDiskQueues();
        EXPECT_FALSE(NSFileManager::defaultManager()->fileExistsAtPath(cache_->cachePathForKey(key))) << c.what;
    }
}

TEST_F(Cache, AnImageStoredWithoutBytesIsKeptInMemoryAndWrittenAsJPEG)
{
    const std::string key = "http://host/drawn.png";
    auto image = solidImage(kGreen, 16);
    cache_->storeImage_forKey(image, key);
    EXPECT_EQ(cache_->imageFromKey_fromDisk(key, false), image);
    settleDiskQueues();
    const auto bytes = NSData::dataWithContentsOfFile(cache_->cachePathForKey(key));
    ASSERT_TRUE(bytes);
    ASSERT_GT(bytes->length(), 2u);
    EXPECT_EQ(bytes->bytes()[0], 0xFF);
    EXPECT_EQ(bytes->bytes()[1], 0xD8);
    auto decoded = UIImage::imageWithData(*bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), CGSizeMake(16, 16));
    EXPECT_TRUE(closeTo(decoded->CGImage()->pixelAt(8, 8), kGreen));  // quality 1.0 keeps the colour
}

TEST_F(Cache, ReadersNeverSeeAHalfWrittenFile)
{
    const std::string key = "http://host/big";
    const std::string path = cache_->cachePathForKey(key);
    const std::string first(512 * 1024, 'a');
    const std::string second(768 * 1024, 'b');
    auto image = solidImage(kRed);
    constexpr int kWrites = 40;
    for (int i = 0; i < kWrites; ++i) {
        cache_->storeImage_imageData_forKey_toDisk(image, dataOf(i % 2 ? second : first), key, true);
    }
    // Read while the writes run; every read finds no file yet, or one of the two whole contents.
    int reads = 0;
    int torn = 0;
    while (cache_->cacheInQueue()->operationCount() > 0) {
        if (auto bytes = NSData::dataWithContentsOfFile(path)) {
            ++reads;
            const std::string seen = bytes->string();
            torn += seen != first && seen != second;
        }
    }
    settleDiskQueues();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(NSData::dataWithContentsOfFile(path)->string(), (kWrites - 1) % 2 ? second : first);
    EXPECT_EQ(filesIn(cache_->diskCachePath()).size(), 1u);  // no temporary file left behind
}

TEST_F(Cache, TheMemoryCacheIsSharedSafelyWithTheDiskQueues)
{
    // Stores without bytes make the write queue read the memory cache (for the JPEG form) while the
    // main thread keeps changing it and another thread reads through it.
    constexpr int kKeys = 60;
    std::vector<std::string> keys;
    for (int i = 0; i < kKeys; ++i) {
        keys.push_back("http://host/image" + std::to_string(i));
        cache_->storeImage_forKey(solidImage(kBlue, 32), keys.back());
    }
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> found{0};
    std::thread reader([&] {
        for (int i = 0; !stop; i = (i + 7) % kKeys, ++reads) {
            found += bool(cache_->imageFromKey_fromDisk(keys[i], false));
        }
    });
    // Until the writes are done and both sides have overlapped for a while (bounded in time all the same).
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int changes = 0;
    while ((cache_->cacheInQueue()->operationCount() > 0 || changes < 2000 || reads < 2000) &&
           std::chrono::steady_clock::now() < bound) {
        cache_->storeImage_forKey_toDisk(solidImage(kRed), "http://host/scratch" + std::to_string(changes % 10), false);
        cache_->removeImageForKey("http://host/scratch" + std::to_string((changes + 5) % 10));
        ++changes;
    }
    stop = true;
    reader.join();
    settleDiskQueues();
    for (const std::string& key : keys) {
        auto bytes = NSData::dataWithContentsOfFile(cache_->cachePathForKey(key));
        ASSERT_TRUE(bytes) << key;
        EXPECT_TRUE(closeTo(colourOf(UIImage::imageWithData(*bytes)), kBlue)) << key;
    }
    EXPECT_GT(found.load(), 0);
}
