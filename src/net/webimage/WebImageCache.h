#pragma once
// WebImageCache: the shared cache of remote images, in memory (decoded images by key) and on disk (the
// bytes as downloaded, one file per key in the caches folder's "ImageCache").
//
//   auto cache = WebImageCache::sharedImageCache();
//   cache->queryDiskCacheForKey_delegate_userInfo(url->absoluteString(), delegate, userInfo);
//   cache->storeImage_imageData_forKey_toDisk(image, bytes, key, true);
//
// Keys are the URLs' absolute texts; an empty key stands for nil. The file of a key is named by the
// MD5 digest of the key's UTF-8 bytes in 32 lower-case hexadecimal digits, with no extension.
//
// Threads. Queries and stores are made on the main thread. A memory hit answers inside the query; a
// miss reads the file on cacheOutQueue (one read at a time) and answers on the main thread. Writes run
// on cacheInQueue (one at a time). The memory cache is guarded by a lock, so the disk queues and any
// other thread may read and fill it (imageFromKey_fromDisk is safe anywhere).
//
// Disk writes are atomic: a file is written under a temporary name and renamed into place, so a
// reader sees the old file, the whole new one, or none; a failed write leaves no file. Disk errors are
// ignored: an unreadable or undecodable file is a miss.
//
// Memory is bounded by the decoded pixels it holds (4 bytes a pixel, memoryLimit bytes in all): the
// least recently used images leave first, and an image larger than the whole limit is handed out
// but not kept. Pictures come from anyone on the network, so they are decoded only when their header
// asks for at most kMaxImagePixels (a few screens' worth), and a file is read only when it is a
// regular file of at most WebImageDownloader::maxImageBytes (a link to a device or a FIFO in the
// folder is a miss, not a read that never ends).
//
// Life cycle: the shared cache empties its memory on a memory warning and on entering the
// background, and removes files not modified for kMaxCacheAge when the application terminates.
// Creating it installs the platform's image codecs when no decoder is installed, so what it
// returns has pixels and bytes that are not a whole image are refused.
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIImage.h"

class WebImageCache;

// Answers of queryDiskCacheForKey_delegate_userInfo (every message optional).
class WebImageCacheDelegate {
public:
    virtual ~WebImageCacheDelegate() = default;
    virtual void imageCache_didFindImage_forKey_userInfo(WebImageCache* cache, const Ref<UIImage>& image,
                                                         const std::string& key, const Value& userInfo)
    {
    }
    virtual void imageCache_didNotFindImageForKey_userInfo(WebImageCache* cache, const std::string& key,
                                                           const Value& userInfo)
    {
    }
};

class WebImageCache : public NSObject {
public:
    // Files not modified for this long (7 days) are removed by cleanDisk.
    static constexpr NSTimeInterval kMaxCacheAge = 604800;
    // The most pixels a remote picture may have: four full screens at scale 2 is about 2.5 million.
    static constexpr size_t kMaxImagePixels = size_t(1) << 22;
    // The default bound of the memory cache, in bytes of decoded pixels.
    static constexpr size_t kDefaultMemoryLimit = 64 * 1024 * 1024;

    // Remote picture bytes as an image: nil when they are no image or claim more than kMaxImagePixels.
    static Ref<UIImage> imageWithRemoteData(const NSData& data);
    // The picture in a cache file: nil unless it is a regular file within the size cap holding one.
    static Ref<UIImage> imageWithCacheFile(const std::string& path);
    // What an image costs the memory cache.
    static size_t decodedBytesOf(const Ref<UIImage>& image);

    // Created on first use (under the caches folder of the home root in force then); lives for the
    // process.
    static Ref<WebImageCache> sharedImageCache();
    // A cache of its own over `diskCachePath` (created when missing), observing nothing: for tests and
    // tools. The shared one is initWithDiskCachePath(caches + "/ImageCache") that also observes the
    // application's life-cycle notifications.
    static Ref<WebImageCache> initWithDiskCachePath(const std::string& diskCachePath);
    ~WebImageCache() override;

    const std::string& diskCachePath() const { return diskCachePath_; }
    const Ref<NSOperationQueue>& cacheInQueue() const { return cacheInQueue_; }
    const Ref<NSOperationQueue>& cacheOutQueue() const { return cacheOutQueue_; }
    // diskCachePath + "/" + the key's lower-case hexadecimal MD5.
    std::string cachePathForKey(const std::string& key) const;

    // Answers the delegate: nothing without a delegate; not found at once for an empty key; found at
    // once from memory; otherwise after a read on cacheOutQueue, on the main thread. The read looks in
    // memory first (the image may have arrived while the read waited) and decodes the file only when
    // it is not there; an image decoded from disk goes into memory at once, so reads of one key queued
    // together decode it once. The delegate and the user info are kept until the answer.
    void queryDiskCacheForKey_delegate_userInfo(const std::string& key, const Ref<WebImageCacheDelegate>& delegate,
                                                const Value& userInfo = Value());

    // Puts the image in memory and, when toDisk, queues a write of its file: the data as given, or
    // without data the image's JPEG form at quality 1.0 (the image taken from memory, else from its
    // file, when the write runs). Nothing without an image or a key.
    void storeImage_imageData_forKey_toDisk(const Ref<UIImage>& image, const std::optional<NSData>& data,
                                            const std::string& key, bool toDisk);
    void storeImage_forKey(const Ref<UIImage>& image, const std::string& key)
    {
        storeImage_imageData_forKey_toDisk(image, std::nullopt, key, true);
    }
    void storeImage_forKey_toDisk(const Ref<UIImage>& image, const std::string& key, bool toDisk)
    {
        storeImage_imageData_forKey_toDisk(image, std::nullopt, key, toDisk);
    }

    // The image of the key: memory first, then (when allowed) the file, read now on the calling thread
    // and kept in memory. nil for an empty key or a miss.
    Ref<UIImage> imageFromKey(const std::string& key) { return imageFromKey_fromDisk(key, true); }
    Ref<UIImage> imageFromKey_fromDisk(const std::string& key, bool fromDisk);

    // Removes the key from memory and deletes its file.
    void removeImageForKey(const std::string& key);
    // Cancels the queued writes and empties the memory.
    void clearMemory();
    // Cancels the queued writes, deletes the folder and makes it again.
    void clearDisk();
    // Deletes every file under the folder (at any depth) modified at or before now - kMaxCacheAge.
    void cleanDisk();

    // Images in memory now, and the bytes of decoded pixels they hold.
    size_t memoryImageCount() const;
    size_t memoryBytes() const;
    // The bound of the memory; lowering it evicts at once.
    size_t memoryLimit() const;
    void setMemoryLimit(size_t bytes);

    // Use the factories.
    WebImageCache() = default;

protected:
    void initWithDiskCachePathBody(const std::string& diskCachePath);

private:
    Ref<UIImage> memoryImage(const std::string& key);
    void putInMemory(const std::string& key, const Ref<UIImage>& image);
    // Under memoryMutex_: drops least recently used entries until the memory fits the limit; what
    // they held goes to `dropped`, released by the caller after unlocking.
    void evictLocked(std::vector<Ref<UIImage>>& dropped);
    void writeToDisk(const std::string& key, const std::optional<NSData>& data);
    void observeApplication();

    std::string diskCachePath_;
    Ref<NSOperationQueue> cacheInQueue_;
    Ref<NSOperationQueue> cacheOutQueue_;

    struct MemoryEntry {
        Ref<UIImage> image;
        size_t bytes = 0;
        std::list<std::string>::iterator use;  // its place in recentUse_
    };
    mutable std::mutex memoryMutex_;  // guards the four below
    std::map<std::string, MemoryEntry> memCache_;
    std::list<std::string> recentUse_;  // most recently used first
    size_t memoryBytes_ = 0;
    size_t memoryLimit_ = kDefaultMemoryLimit;
};
