#pragma once
// The operations of a download cache, as a request uses them: before it goes to the network (may it
// answer from the cache?) and after a response has arrived (store it). HTTPDownloadCache is the one
// implementation.
#include <optional>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class HTTPRequest;

// Cache policy of a request: a bit set; 0 means the cache's default.
enum HTTPCachePolicy : int {
    CachePolicyUseDefault = 0,
    CachePolicyNoRead = 1,
    CachePolicyNoWrite = 2,
    CachePolicyRevalidateWhenStale = 4,
    CachePolicyRevalidateAlways = 8,
    CachePolicyPreferCache = 16,
    CachePolicyCacheOnly = 32,
    CachePolicyFallbackToCache = 64,
};

// Storage policy of a request: 0 for the session (emptied when the session is cleared), any other value
// for good.
enum HTTPCacheStoragePolicy : int {
    CacheForSessionDurationStoragePolicy = 0,
    CachePermanentlyStoragePolicy = 1,
};

class HTTPCacheDelegate {
public:
    virtual ~HTTPCacheDelegate() = default;

    virtual int defaultCachePolicy() const = 0;
    virtual std::optional<NSDate> expiryDateForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) = 0;
    virtual void updateExpiryForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) = 0;
    virtual bool canUseCachedDataForRequest(const Ref<HTTPRequest>& request) = 0;
    virtual void removeCachedDataForRequest(const Ref<HTTPRequest>& request) = 0;
    virtual bool isCachedDataCurrentForRequest(const Ref<HTTPRequest>& request) = 0;
    virtual void storeResponseForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge) = 0;
    virtual void removeCachedDataForURL(const Ref<NSURL>& url) = 0;
    // The stored header dictionary / body; nil / nullopt when not stored.
    virtual Value cachedResponseHeadersForURL(const Ref<NSURL>& url) = 0;
    virtual std::optional<NSData> cachedResponseDataForURL(const Ref<NSURL>& url) = 0;
    // "" when not stored.
    virtual std::string pathToCachedResponseDataForURL(const Ref<NSURL>& url) = 0;
    virtual std::string pathToCachedResponseHeadersForURL(const Ref<NSURL>& url) = 0;
    virtual std::string pathToStoreCachedResponseHeadersForRequest(const Ref<HTTPRequest>& request) = 0;
    virtual std::string pathToStoreCachedResponseDataForRequest(const Ref<HTTPRequest>& request) = 0;
    virtual void clearCachedResponsesForStoragePolicy(int storagePolicy) = 0;
};
