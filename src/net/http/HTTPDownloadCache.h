#pragma once
// HTTPDownloadCache: HTTP responses kept on disk, in two stores under one folder: "SessionStore" (emptied
// with the session and whenever the folder is set) and "PermanentStore".
//
// A response is kept as two files named by the key of its URL (the MD5 of the URL's text without one
// trailing "/", 32 upper-case hex digits): the body (key + the URL path's extension, or ".html") and the
// headers (key + ".cachedheaders", a property list holding the response headers, the expiry as
// "X-HTTPRequest-Expires" in seconds since 1970 and the status as "X-HTTPRequest-Response-Status-Code").
// Every file operation holds accessLock (recursive, so operations may call one another).
#include <atomic>
#include <mutex>

#include "net/http/HTTPCacheDelegate.h"
#include "platform/foundation/NSLock.h"
#include "platform/foundation/NSObject.h"

inline constexpr char sessionCacheFolder[] = "SessionStore";
inline constexpr char permanentCacheFolder[] = "PermanentStore";

class HTTPDownloadCache : public NSObject, public HTTPCacheDelegate {
public:
    static Ref<HTTPDownloadCache> create();
    // The shared cache, in the caches folder's "HTTPRequestCache".
    static Ref<HTTPDownloadCache> sharedCache();

    // The key of a URL; "" for an empty URL text.
    static std::string keyForURL(const Ref<NSURL>& url);
    // NO when the response forbids caching ("Cache-Control" exactly no-cache or no-store, or "Pragma"
    // exactly no-cache, compared in lower case).
    static bool serverAllowsResponseCachingForRequest(const Ref<HTTPRequest>& request);

    std::string storagePath() const;
    // Creates the folder and its stores; raises "FileExistsAtCachePath" when a file is in the way and
    // "FailedToCreateCacheDirectory" when a folder cannot be made. Empties both session stores.
    void setStoragePath(const std::string& path);
    int defaultCachePolicy() const override;
    // 0 is stored as CachePolicyRevalidateWhenStale.
    void setDefaultCachePolicy(int policy);
    bool shouldRespectCacheControlHeaders() const { return shouldRespectCacheControlHeaders_; }
    void setShouldRespectCacheControlHeaders(bool value) { shouldRespectCacheControlHeaders_ = value; }
    const Ref<NSRecursiveLock>& accessLock() const { return accessLock_; }

    std::optional<NSDate> expiryDateForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) override;
    void updateExpiryForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) override;
    bool canUseCachedDataForRequest(const Ref<HTTPRequest>& request) override;
    void removeCachedDataForRequest(const Ref<HTTPRequest>& request) override;
    bool isCachedDataCurrentForRequest(const Ref<HTTPRequest>& request) override;
    void storeResponseForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) override;
    void removeCachedDataForURL(const Ref<NSURL>& url) override;
    Value cachedResponseHeadersForURL(const Ref<NSURL>& url) override;
    std::optional<NSData> cachedResponseDataForURL(const Ref<NSURL>& url) override;
    std::string pathToCachedResponseDataForURL(const Ref<NSURL>& url) override;
    std::string pathToCachedResponseHeadersForURL(const Ref<NSURL>& url) override;
    std::string pathToStoreCachedResponseHeadersForRequest(const Ref<HTTPRequest>& request) override;
    std::string pathToStoreCachedResponseDataForRequest(const Ref<HTTPRequest>& request) override;
    // Raises "FailedToTraverseCacheDirectory" / "FailedToRemoveCacheFile".
    void clearCachedResponsesForStoragePolicy(int storagePolicy) override;

    HTTPDownloadCache() = default;  // use create()

private:
    std::string pathToFile(const std::string& name);
    void clearSessionStore(const std::string& root);

    Ref<NSRecursiveLock> accessLock_ = NSRecursiveLock::create();
    std::string storagePath_;                 // under accessLock
    int defaultCachePolicy_ = CachePolicyRevalidateWhenStale;  // under accessLock
    std::atomic<bool> shouldRespectCacheControlHeaders_{true};
};
