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
// Life cycle: the shared cache empties its memory on a memory warning and on entering the
// background, and removes files not modified for kMaxCacheAge when the application terminates.
// Creating it installs the platform's image codecs when no decoder is installed, so what it
// returns has pixels and bytes that are not a whole image are refused.
#include <map>
#include <mutex>
#include <optional>
#include <string>

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

    // Images in memory now.
    size_t memoryImageCount() const;

    // Use the factories.
    WebImageCache() = default;

protected:
    void initWithDiskCachePathBody(const std::string& diskCachePath);

private:
    Ref<UIImage> memoryImage(const std::string& key) const;
    void putInMemory(const std::string& key, const Ref<UIImage>& image);
    void writeToDisk(const std::string& key, const std::optional<NSData>& data);
    void observeApplication();

    std::string diskCachePath_;
    Ref<NSOperationQueue> cacheInQueue_;
    Ref<NSOperationQueue> cacheOutQueue_;

    mutable std::mutex memoryMutex_;  // guards memCache_
    std::map<std::string, Ref<UIImage>> memCache_;
};
