#pragma once
// WebImageManager: the shared broker between whoever wants the image of a URL (a delegate) and the
// cache and downloads: memory, else disk, else one download however many delegates wait for it.
//
//   WebImageManager::sharedManager()->downloadWithURL_delegate(url, delegate);
//   ...
//   WebImageManager::sharedManager()->cancelForDelegate(delegate);
//
// Main thread only. The delegate hears webImageManager_didFinishWithImage, inside the call on a
// memory hit, else later on the main thread; or webImageManager_didFailWithError when the download
// failed (with the transport's error) or its bytes were no image (with no error). Delegates are held
// weakly and compared by identity.
//
// Waits. Every download call starts a wait of its delegate for its URL: first a cache query, then, on
// a miss, an entry in the two arrays (delegates()[i] waits for downloaders()[i]). cancelForDelegate
// ends the delegate's waits that are still at the cache query, whether the disk read is queued,
// running or already answered, so a delegate that was cancelled or given another URL never hears of
// the old URL again; and it removes the delegate's first entry in the arrays, cancelling that entry's
// download when nobody else waits for it.
//
// A URL whose download ended with bytes that are no image is remembered as failed for the life of the
// process; downloadWithURL_delegate then ignores it (retryFailed asks again). A transport failure is
// not remembered.
#include <string>
#include <vector>

#include "net/webimage/WebImageCache.h"
#include "net/webimage/WebImageDownloader.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIImage.h"

class WebImageManager;

// Every message optional.
class WebImageManagerDelegate {
public:
    virtual ~WebImageManagerDelegate() = default;
    virtual void webImageManager_didFinishWithImage(WebImageManager* manager, const Ref<UIImage>& image) {}
    virtual void webImageManager_didFailWithError(WebImageManager* manager, const Ref<NSError>& error) {}
};

class WebImageManager : public NSObject, public WebImageDownloaderDelegate, public WebImageCacheDelegate {
public:
    // Created on first use, over the shared cache; lives for the process.
    static Ref<WebImageManager> sharedManager();

    void downloadWithURL_delegate(const Ref<NSURL>& url, const Ref<WebImageManagerDelegate>& delegate)
    {
        downloadWithURL_delegate_retryFailed(url, delegate, false);
    }
    // Nothing without a URL or a delegate, nor for a failed URL unless retryFailed.
    void downloadWithURL_delegate_retryFailed(const Ref<NSURL>& url, const Ref<WebImageManagerDelegate>& delegate,
                                              bool retryFailed);
    void cancelForDelegate(const Ref<WebImageManagerDelegate>& delegate);
    // The cached image of the URL, from memory, else read from disk now; nil otherwise.
    Ref<UIImage> imageWithURL(const Ref<NSURL>& url);

    // State, for tests and diagnostics.
    const Ref<WebImageCache>& imageCache() const { return cache_; }
    std::vector<Weak<WebImageManagerDelegate>> delegates() const;
    std::vector<Ref<WebImageDownloader>> downloaders() const;
    Ref<WebImageDownloader> downloaderForURL(const Ref<NSURL>& url) const;
    const std::vector<Ref<NSURL>>& failedURLs() const { return failedURLs_; }
    bool isFailedURL(const Ref<NSURL>& url) const;
    // Waits still at the cache query.
    size_t pendingQueryCount() const { return pendingQueries_.size(); }

    // WebImageCacheDelegate
    void imageCache_didFindImage_forKey_userInfo(WebImageCache* cache, const Ref<UIImage>& image,
                                                 const std::string& key, const Value& userInfo) override;
    void imageCache_didNotFindImageForKey_userInfo(WebImageCache* cache, const std::string& key,
                                                   const Value& userInfo) override;
    // WebImageDownloaderDelegate
    void imageDownloader_didFinishWithImage(WebImageDownloader* downloader, const Ref<UIImage>& image) override;
    void imageDownloader_didFailWithError(WebImageDownloader* downloader, const Ref<NSError>& error) override;

    // A manager of its own over the given cache (the shared one uses the shared cache).
    static Ref<WebImageManager> initWithImageCache(const Ref<WebImageCache>& cache);
    WebImageManager() = default;

protected:
    void initWithImageCacheBody(const Ref<WebImageCache>& cache);

private:
    class Query;
    struct Entry {
        uint64_t serial;
        Weak<WebImageManagerDelegate> delegate;
        Ref<WebImageDownloader> downloader;
    };

    // Takes the wait of a cache answer out of the pending ones; null when it was cancelled.
    Ref<Query> takePendingQuery(const Value& userInfo);
    // Tells every delegate waiting for the downloader, last first, and removes their entries.
    void finishEntries(WebImageDownloader* downloader, const Ref<UIImage>& image, const Ref<NSError>& error);
    void forgetDownloader(WebImageDownloader* downloader);

    Ref<WebImageCache> cache_;
    std::vector<Ref<Query>> pendingQueries_;
    std::vector<Entry> entries_;
    uint64_t nextSerial_ = 1;
    std::map<std::string, Ref<WebImageDownloader>> downloaderForURL_;
    std::vector<Ref<NSURL>> failedURLs_;
};
