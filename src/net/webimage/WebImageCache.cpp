#include "net/webimage/WebImageCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "net/webimage/WebImageDownloader.h"

#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"

Ref<WebImageCache> WebImageCache::sharedImageCache()
{
    // Made once and never destroyed: its queues' threads may still run at exit.
    static Ref<WebImageCache>* shared = [] {
        const auto caches = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
        const std::string root = caches.empty() ? FoundationRoots::cachesDirectory() : caches.front();
        auto cache = initWithDiskCachePath(NSString::stringByAppendingPathComponent(root, "ImageCache"));
        cache->observeApplication();
        return new Ref<WebImageCache>(std::move(cache));
    }();
    return *shared;
}

Ref<WebImageCache> WebImageCache::initWithDiskCachePath(const std::string& diskCachePath)
{
    auto cache = std::make_shared<WebImageCache>();
    cache->initWithDiskCachePathBody(diskCachePath);
    return cache;
}

void WebImageCache::initWithDiskCachePathBody(const std::string& diskCachePath)
{
    initBody();
    UIImage::installImageCodecs();
    diskCachePath_ = diskCachePath;
    auto files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(diskCachePath_)) {
        files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(diskCachePath_, true);
    }
    cacheInQueue_ = NSOperationQueue::create();
    cacheInQueue_->setMaxConcurrentOperationCount(1);
    cacheInQueue_->setName("WebImageCache.in");
    cacheOutQueue_ = NSOperationQueue::create();
    cacheOutQueue_->setMaxConcurrentOperationCount(1);
    cacheOutQueue_->setName("WebImageCache.out");
}

WebImageCache::~WebImageCache() { NSNotificationCenter::defaultCenter()->removeObserver(this); }

void WebImageCache::observeApplication()
{
    auto center = NSNotificationCenter::defaultCenter();
    auto self = this->self<WebImageCache>();
    center->addObserver_selector_name_object(self, &WebImageCache::clearMemory,
                                             UIApplicationDidReceiveMemoryWarningNotification);
    center->addObserver_selector_name_object(self, &WebImageCache::clearMemory,
                                             UIApplicationDidEnterBackgroundNotification);
    center->addObserver_selector_name_object(self, &WebImageCache::cleanDisk, UIApplicationWillTerminateNotification);
}

std::string WebImageCache::cachePathForKey(const std::string& key) const
{
    return NSString::stringByAppendingPathComponent(diskCachePath_, CommonCrypto::hex(CommonCrypto::md5(key)));
}

Ref<UIImage> WebImageCache::imageWithRemoteData(const NSData& data)
{
    const std::optional<size_t> pixels = UIImage::pixelCountOfData(data);
    if (pixels && *pixels > kMaxImagePixels) {
        return nullptr;
    }
    return UIImage::imageWithData(data);
}

Ref<UIImage> WebImageCache::imageWithCacheFile(const std::string& path)
{
    // Not blocking: opening a FIFO would otherwise wait for a writer that never comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    std::string bytes;
    const size_t cap = WebImageDownloader::maxImageBytes();
    bool whole = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
                 static_cast<unsigned long long>(info.st_size) <= cap;
    if (whole) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;  // shorter than it said (cut while being read): a miss
            }
            done += static_cast<size_t>(n);
        }
        whole = done == bytes.size();
    }
    ::close(fd);
    if (!whole) {
        return nullptr;
    }
    return imageWithRemoteData(NSData(bytes.data(), bytes.size()));
}

size_t WebImageCache::decodedBytesOf(const Ref<UIImage>& image)
{
    if (!image || !image->CGImage()) {
        return 0;
    }
    return image->CGImage()->width() * image->CGImage()->height() * 4;
}

Ref<UIImage> WebImageCache::memoryImage(const std::string& key)
{
    std::lock_guard lock(memoryMutex_);
    auto it = memCache_.find(key);
    if (it == memCache_.end()) {
        return nullptr;
    }
    recentUse_.splice(recentUse_.begin(), recentUse_, it->second.use);
    return it->second.image;
}

void WebImageCache::putInMemory(const std::string& key, const Ref<UIImage>& image)
{
    std::vector<Ref<UIImage>> dropped;  // released after unlocking
    const size_t bytes = decodedBytesOf(image);
    std::lock_guard lock(memoryMutex_);
    auto it = memCache_.find(key);
    if (it != memCache_.end()) {
        dropped.push_back(std::move(it->second.image));
        memoryBytes_ -= it->second.bytes;
        recentUse_.erase(it->second.use);
        memCache_.erase(it);
    }
    if (bytes > memoryLimit_) {
        return;  // handed out, but it would push everything else out and still not fit
    }
    recentUse_.push_front(key);
    memCache_.emplace(key, MemoryEntry{image, bytes, recentUse_.begin()});
    memoryBytes_ += bytes;
    evictLocked(dropped);
}

void WebImageCache::evictLocked(std::vector<Ref<UIImage>>& dropped)
{
    while (memoryBytes_ > memoryLimit_ && !recentUse_.empty()) {
        auto it = memCache_.find(recentUse_.back());
        recentUse_.pop_back();
        memoryBytes_ -= it->second.bytes;
        dropped.push_back(std::move(it->second.image));
        memCache_.erase(it);
    }
}

size_t WebImageCache::memoryImageCount() const
{
    std::lock_guard lock(memoryMutex_);
    return memCache_.size();
}

size_t WebImageCache::memoryBytes() const
{
    std::lock_guard lock(memoryMutex_);
    return memoryBytes_;
}

size_t WebImageCache::memoryLimit() const
{
    std::lock_guard lock(memoryMutex_);
    return memoryLimit_;
}

void WebImageCache::setMemoryLimit(size_t bytes)
{
    std::vector<Ref<UIImage>> dropped;
    std::lock_guard lock(memoryMutex_);
    memoryLimit_ = bytes;
    evictLocked(dropped);
}

void WebImageCache::queryDiskCacheForKey_delegate_userInfo(const std::string& key,
                                                           const Ref<WebImageCacheDelegate>& delegate,
                                                           const Value& userInfo)
{
    if (!delegate) {
        return;
    }
    if (key.empty()) {
        delegate->imageCache_didNotFindImageForKey_userInfo(this, key, userInfo);
        return;
    }
    if (Ref<UIImage> image = memoryImage(key)) {
        delegate->imageCache_didFindImage_forKey_userInfo(this, image, key, userInfo);
        return;
    }
    auto self = this->self<WebImageCache>();
    const std::string path = cachePathForKey(key);
    cacheOutQueue_->addOperation(NSInvocationOperation::create([self, key, path, delegate, userInfo] {
        // Many views often wait for one picture: by the time a queued read runs, a download or an
        // earlier read of the same key may have put it in memory, and decoding the file again would
        // only cost time. A decoded file goes into memory here, before the next read is taken off the
        // queue, so lookups of one key queued together decode it once.
        Ref<UIImage> image = self->memoryImage(key);
        if (!image) {
            image = imageWithCacheFile(path);
            if (image) {
                self->putInMemory(key, image);
            }
        }
        // Handed over without waiting; the answer is given on the main thread.
        dispatch_async(dispatch_get_main_queue(), [self, key, delegate, userInfo, image] {
            if (image) {
                // Again: the memory may have been cleared since the read.
                self->putInMemory(key, image);
                delegate->imageCache_didFindImage_forKey_userInfo(self.get(), image, key, userInfo);
            } else if (Ref<UIImage> stored = self->memoryImage(key)) {
                // Stored while the read was queued (a download of the same URL ended meanwhile):
                // answering "not found" would start a second download.
                delegate->imageCache_didFindImage_forKey_userInfo(self.get(), stored, key, userInfo);
            } else {
                delegate->imageCache_didNotFindImageForKey_userInfo(self.get(), key, userInfo);
            }
        });
    }));
}

void WebImageCache::storeImage_imageData_forKey_toDisk(const Ref<UIImage>& image, const std::optional<NSData>& data,
                                                       const std::string& key, bool toDisk)
{
    if (!image || key.empty()) {
        return;
    }
    putInMemory(key, image);
    if (!toDisk) {
        return;
    }
    auto self = this->self<WebImageCache>();
    cacheInQueue_->addOperation(NSInvocationOperation::create([self, key, data] { self->writeToDisk(key, data); }));
}

void WebImageCache::writeToDisk(const std::string& key, const std::optional<NSData>& data)
{
    auto files = NSFileManager::defaultManager();
    if (!files->fileExistsAtPath(diskCachePath_)) {
        files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(diskCachePath_, true);
    }
    const std::string path = cachePathForKey(key);
    if (data) {
        data->writeToFile_atomically(path, true);
        return;
    }
    if (Ref<UIImage> image = imageFromKey_fromDisk(key, true)) {
        if (auto jpeg = UIImageJPEGRepresentation(image, 1.0)) {
            jpeg->writeToFile_atomically(path, true);
        }
    }
}

Ref<UIImage> WebImageCache::imageFromKey_fromDisk(const std::string& key, bool fromDisk)
{
    if (key.empty()) {
        return nullptr;
    }
    if (Ref<UIImage> image = memoryImage(key)) {
        return image;
    }
    if (!fromDisk) {
        return nullptr;
    }
    Ref<UIImage> image = imageWithCacheFile(cachePathForKey(key));
    if (image) {
        putInMemory(key, image);
    }
    return image;
}

void WebImageCache::removeImageForKey(const std::string& key)
{
    if (key.empty()) {
        return;
    }
    Ref<UIImage> dropped;
    {
        std::lock_guard lock(memoryMutex_);
        auto it = memCache_.find(key);
        if (it != memCache_.end()) {
            dropped = std::move(it->second.image);
            memoryBytes_ -= it->second.bytes;
            recentUse_.erase(it->second.use);
            memCache_.erase(it);
        }
    }
    NSFileManager::defaultManager()->removeItemAtPath_error(cachePathForKey(key));
}

void WebImageCache::clearMemory()
{
    cacheInQueue_->cancelAllOperations();
    std::map<std::string, MemoryEntry> dropped;
    {
        std::lock_guard lock(memoryMutex_);
        dropped.swap(memCache_);
        recentUse_.clear();
        memoryBytes_ = 0;
    }
    // The images are released here, outside the lock.
}

void WebImageCache::clearDisk()
{
    cacheInQueue_->cancelAllOperations();
    auto files = NSFileManager::defaultManager();
    files->removeItemAtPath_error(diskCachePath_);
    files->createDirectoryAtPath_withIntermediateDirectories_attributes_error(diskCachePath_, true);
}

void WebImageCache::cleanDisk()
{
    const NSTimeInterval cutOff = NSDate::date().timeIntervalSince1970() - kMaxCacheAge;
    auto files = NSFileManager::defaultManager();
    std::vector<std::string> expired;
    auto walk = files->enumeratorAtPath(diskCachePath_);
    if (!walk) {
        return;
    }
    for (std::string relative = walk->nextObject(); !relative.empty(); relative = walk->nextObject()) {
        const Value attributes = walk->fileAttributes();
        if (attributes[NSFileType].stringValue() != NSFileTypeRegular) {
            continue;
        }
        if (attributes[NSFileModificationDate].date().timeIntervalSince1970() <= cutOff) {
            expired.push_back(NSString::stringByAppendingPathComponent(diskCachePath_, relative));
        }
    }
    for (const std::string& path : expired) {
        files->removeItemAtPath_error(path);
    }
}
