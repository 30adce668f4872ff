#include "net/webimage/WebImageManager.h"

#include <algorithm>

namespace {

bool sameDelegate(const Weak<WebImageManagerDelegate>& a, const Ref<WebImageManagerDelegate>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

// One delegate's wait for a URL while the cache looks for it. It travels in the query's user info
// under "delegate", beside "url".
class WebImageManager::Query : public NSObject {
public:
    Weak<WebImageManagerDelegate> delegate;
    Ref<NSURL> url;
};

Ref<WebImageManager> WebImageManager::sharedManager()
{
    static Ref<WebImageManager>* shared = new Ref<WebImageManager>(initWithImageCache(WebImageCache::sharedImageCache()));
    return *shared;
}

Ref<WebImageManager> WebImageManager::initWithImageCache(const Ref<WebImageCache>& cache)
{
    auto manager = std::make_shared<WebImageManager>();
    manager->initWithImageCacheBody(cache);
    return manager;
}

void WebImageManager::initWithImageCacheBody(const Ref<WebImageCache>& cache)
{
    initBody();
    cache_ = cache;
}

void WebImageManager::downloadWithURL_delegate_retryFailed(const Ref<NSURL>& url,
                                                           const Ref<WebImageManagerDelegate>& delegate,
                                                           bool retryFailed)
{
    if (!url || !delegate) {
        return;
    }
    if (!retryFailed && isFailedURL(url)) {
        return;
    }
    auto query = std::make_shared<Query>();
    query->delegate = delegate;
    query->url = url;
    pendingQueries_.push_back(query);
    Value userInfo = Value::dictionary();
    userInfo.setObject_forKey(Value(Ref<NSObject>(query)), "delegate");
    userInfo.setObject_forKey(Value(Ref<NSObject>(url)), "url");
    cache_->queryDiskCacheForKey_delegate_userInfo(url->absoluteString(), self<WebImageManager>(), userInfo);
}

Ref<WebImageManager::Query> WebImageManager::takePendingQuery(const Value& userInfo)
{
    auto query = userInfo["delegate"].object<Query>();
    auto it = std::find(pendingQueries_.begin(), pendingQueries_.end(), query);
    if (!query || it == pendingQueries_.end()) {
        return nullptr;
    }
    pendingQueries_.erase(it);
    return query;
}

void WebImageManager::imageCache_didFindImage_forKey_userInfo(WebImageCache*, const Ref<UIImage>& image,
                                                              const std::string&, const Value& userInfo)
{
    auto query = takePendingQuery(userInfo);
    if (!query) {
        return;  // cancelled, or given another URL, while the cache looked
    }
    if (auto delegate = query->delegate.lock()) {
        delegate->webImageManager_didFinishWithImage(this, image);
    }
}

void WebImageManager::imageCache_didNotFindImageForKey_userInfo(WebImageCache*, const std::string&,
                                                                const Value& userInfo)
{
    auto query = takePendingQuery(userInfo);
    if (!query || query->delegate.expired()) {
        return;
    }
    const std::string key = query->url->absoluteString();
    Ref<WebImageDownloader> downloader;
    if (auto it = downloaderForURL_.find(key); it != downloaderForURL_.end()) {
        downloader = it->second;
    } else {
        downloader = WebImageDownloader::downloaderWithURL_delegate(query->url, self<WebImageManager>());
        downloaderForURL_[key] = downloader;
    }
    entries_.push_back({nextSerial_++, query->delegate, downloader});
}

void WebImageManager::cancelForDelegate(const Ref<WebImageManagerDelegate>& delegate)
{
    if (!delegate) {
        return;
    }
    std::erase_if(pendingQueries_, [&](const Ref<Query>& query) { return sameDelegate(query->delegate, delegate); });

    auto entry = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& e) { return sameDelegate(e.delegate, delegate); });
    if (entry == entries_.end()) {
        return;
    }
    Ref<WebImageDownloader> downloader = entry->downloader;
    entries_.erase(entry);
    const bool stillWanted = std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.downloader == downloader && !e.delegate.expired();
    });
    if (!stillWanted) {
        // Entries of delegates that have gone wait for nothing any more.
        std::erase_if(entries_, [&](const Entry& e) { return e.downloader == downloader; });
        downloader->cancel();
        forgetDownloader(downloader.get());
    }
}

void WebImageManager::forgetDownloader(WebImageDownloader* downloader)
{
    const std::string key = downloader->url() ? downloader->url()->absoluteString() : std::string();
    if (auto it = downloaderForURL_.find(key); it != downloaderForURL_.end() && it->second.get() == downloader) {
        downloaderForURL_.erase(it);
    }
}

void WebImageManager::imageDownloader_didFinishWithImage(WebImageDownloader* downloader, const Ref<UIImage>& image)
{
    auto keep = downloader->self<WebImageDownloader>();
    forgetDownloader(downloader);
    // Stored before anyone hears of it, so a delegate that asks again while being told finds it in
    // memory.
    if (image) {
        cache_->storeImage_imageData_forKey_toDisk(image, downloader->imageData(), downloader->url()->absoluteString(),
                                                   true);
    } else if (!isFailedURL(downloader->url())) {
        failedURLs_.push_back(downloader->url());
    }
    finishEntries(downloader, image, nullptr);
}

void WebImageManager::imageDownloader_didFailWithError(WebImageDownloader* downloader, const Ref<NSError>& error)
{
    auto keep = downloader->self<WebImageDownloader>();
    forgetDownloader(downloader);
    finishEntries(downloader, nullptr, error);
}

void WebImageManager::finishEntries(WebImageDownloader* downloader, const Ref<UIImage>& image, const Ref<NSError>& error)
{
    // The waiting entries, last first. A delegate told earlier may cancel a later one, so each entry is
    // looked up again before its delegate is told.
    std::vector<uint64_t> waiting;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->downloader.get() == downloader) {
            waiting.push_back(it->serial);
        }
    }
    for (uint64_t serial : waiting) {
        auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.serial == serial; });
        if (entry == entries_.end()) {
            continue;
        }
        auto delegate = entry->delegate.lock();
        entries_.erase(entry);
        if (!delegate) {
            continue;
        }
        if (image) {
            delegate->webImageManager_didFinishWithImage(this, image);
        } else {
            delegate->webImageManager_didFailWithError(this, error);
        }
    }
}

Ref<UIImage> WebImageManager::imageWithURL(const Ref<NSURL>& url)
{
    return url ? cache_->imageFromKey_fromDisk(url->absoluteString(), true) : nullptr;
}

std::vector<Weak<WebImageManagerDelegate>> WebImageManager::delegates() const
{
    std::vector<Weak<WebImageManagerDelegate>> out;
    for (const Entry& e : entries_) {
        out.push_back(e.delegate);
    }
    return out;
}

std::vector<Ref<WebImageDownloader>> WebImageManager::downloaders() const
{
    std::vector<Ref<WebImageDownloader>> out;
    for (const Entry& e : entries_) {
        out.push_back(e.downloader);
    }
    return out;
}

Ref<WebImageDownloader> WebImageManager::downloaderForURL(const Ref<NSURL>& url) const
{
    if (!url) {
        return nullptr;
    }
    auto it = downloaderForURL_.find(url->absoluteString());
    return it == downloaderForURL_.end() ? nullptr : it->second;
}

bool WebImageManager::isFailedURL(const Ref<NSURL>& url) const
{
    const std::string key = url->absoluteString();
    return std::any_of(failedURLs_.begin(), failedURLs_.end(),
                       [&](const Ref<NSURL>& failed) { return failed->absoluteString() == key; });
}
