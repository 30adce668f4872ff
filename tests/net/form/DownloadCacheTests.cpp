// The download cache: keys, what is stored and how, expiry, freshness, the use rules and the folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "http/HTTPTestSupport.h"
#include "net/http/HTTPDataCompressor.h"
#include "net/http/HTTPDownloadCache.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/PropertyList.h"

namespace fs = std::filesystem;

namespace {

constexpr double kNow = 1700000000.0;

class DownloadCacheTest : public ::testing::Test {
protected:
    DownloadCacheTest()
    {
        FoundationRoots::setHomeDirectory(home.path());
        previousNow_ = NSDate::setNowFunction([this] { return now; });
        cache->setStoragePath(home / "cache");
    }
    ~DownloadCacheTest() override { NSDate::setNowFunction(previousNow_); }

    // A request that has received a response (no network involved).
    static Ref<HTTPRequest> answered(const std::string& url, int status,
                                     const std::vector<std::pair<std::string, std::string>>& headers,
                                     const std::string& body = "body")
    {
        auto request = HTTPRequest::requestWithURL(NSURL::URLWithString(url));
        HTTPHeaderFields fields;
        for (const auto& [name, value] : headers) {
            fields.set(name, value);
        }
        request->setResponseHeaders(fields);
        request->setResponseStatusCode(status);
        request->setRawResponseData(NSData::dataWithString(body));
        request->setComplete(true);
        return request;
    }

    TemporaryFolder home;
    double now = kNow;
    Ref<HTTPDownloadCache> cache = HTTPDownloadCache::create();

private:
    std::function<double()> previousNow_;
};

}  // namespace

TEST_F(DownloadCacheTest, KeysAreUpperCaseDigestsOfTheURLWithoutOneTrailingSlash)
{
    EXPECT_EQ(HTTPDownloadCache::keyForURL(NSURL::URLWithString("http://example.com/a/b.png")),
              "9D09FC5FCF371003FFCE2A491A03CE52");
    EXPECT_EQ(HTTPDownloadCache::keyForURL(NSURL::URLWithString("http://example.com/a/")),
              HTTPDownloadCache::keyForURL(NSURL::URLWithString("http://example.com/a")));
    EXPECT_NE(HTTPDownloadCache::keyForURL(NSURL::URLWithString("http://example.com/a//")),
              HTTPDownloadCache::keyForURL(NSURL::URLWithString("http://example.com/a")));
    EXPECT_EQ(HTTPDownloadCache::keyForURL(nullptr), "");

    auto request = answered("http://example.com/a/b.png", 200, {{"Cache-Control", "max-age=60"}});
    const std::string key = "9D09FC5FCF371003FFCE2A491A03CE52";
    EXPECT_EQ(cache->pathToStoreCachedResponseDataForRequest(request), home / "cache/SessionStore/" + key + ".png");
    request->setCacheStoragePolicy(CachePermanentlyStoragePolicy);
    EXPECT_EQ(cache->pathToStoreCachedResponseHeadersForRequest(request),
              home / "cache/PermanentStore/" + key + ".cachedheaders");
    EXPECT_EQ(cache->pathToStoreCachedResponseDataForRequest(answered("http://example.com/page", 200, {})).substr(
                  (home / "cache/SessionStore/").size() + 32),
              ".html");
}

TEST_F(DownloadCacheTest, OnlyCacheableAnswersAreStored)
{
    struct Case {
        std::string name;
        int status;
        std::vector<std::pair<std::string, std::string>> headers;
        bool respect;
        bool stored;
        int policy = 0;
    };
    const std::vector<Case> cases = {
        {"200", 200, {{"Server", "t"}}, true, true},
        {"301", 301, {{"Location", "/x"}}, true, true},
        {"302", 302, {{"Location", "/x"}}, true, true},
        {"303", 303, {{"Location", "/x"}}, true, true},
        {"307", 307, {{"Location", "/x"}}, true, true},
        {"404", 404, {{"Server", "t"}}, true, false},
        {"500", 500, {{"Server", "t"}}, false, false},
        {"no-cache respected", 200, {{"Cache-Control", "no-cache"}}, true, false},
        {"no-cache ignored", 200, {{"Cache-Control", "no-cache"}}, false, true},
        {"NO-STORE in capitals", 200, {{"Cache-Control", "NO-STORE"}}, true, false},
        {"private, no-cache is not exact", 200, {{"Cache-Control", "private, no-cache"}}, true, true},
        {"pragma no-cache", 200, {{"Pragma", "no-cache"}}, true, false},
        {"no headers", 200, {}, true, false},
        {"no-write policy", 200, {{"Server", "t"}}, true, false, CachePolicyNoWrite},
    };
    for (const Case& c : cases) {
        const std::string url = "http://example.com/" + std::to_string(&c - cases.data());
        cache->setShouldRespectCacheControlHeaders(c.respect);
        auto request = answered(url, c.status, c.headers);
        request->setCachePolicy(c.policy);
        cache->storeResponseForRequest_maxAge(request, 0);
        EXPECT_EQ(!cache->cachedResponseHeadersForURL(request->url()).isNil(), c.stored) << c.name;
        EXPECT_EQ(cache->cachedResponseDataForURL(request->url()).has_value(), c.stored) << c.name;
    }
    auto failed = answered("http://example.com/failed", 200, {{"Server", "t"}});
    failed->setError(HTTPRequestCancelledError());
    cache->storeResponseForRequest_maxAge(failed, 0);
    EXPECT_TRUE(cache->cachedResponseHeadersForURL(failed->url()).isNil()) << "a request with an error";
}

TEST_F(DownloadCacheTest, TheHeaderFileRecordsExpiryStatusAndAnInflatedBody)
{
    auto request = answered("http://example.com/pic.jpg", 200,
                            {{"Content-Encoding", "gzip"}, {"Cache-Control", "max-age=60"}, {"ETag", "\"v1\""}},
                            "");
    // The body as a gzip server sends it; the cache keeps it inflated.
    request->setRawResponseData(*HTTPDataCompressor::compressData_error(NSData::dataWithString("inflated bytes"), nullptr));
    request->setCacheStoragePolicy(CachePermanentlyStoragePolicy);
    cache->storeResponseForRequest_maxAge(request, 0);
    const std::string headerPath = cache->pathToCachedResponseHeadersForURL(request->url());
    ASSERT_NE(headerPath.find("/PermanentStore/"), std::string::npos);
    const Value headers = NSDictionary::dictionaryWithContentsOfFile(headerPath);
    EXPECT_TRUE(headers["Content-Encoding"].isNil());
    EXPECT_EQ(headers["ETag"].stringValue(), "\"v1\"");
    EXPECT_DOUBLE_EQ(headers["X-HTTPRequest-Expires"].doubleValue(), kNow + 60);
    EXPECT_EQ(headers["X-HTTPRequest-Response-Status-Code"].intValue(), 200);
    EXPECT_EQ(cache->cachedResponseDataForURL(request->url())->length(), std::string("inflated bytes").size());

    // A 304 is recorded as 200 and keeps the stored body.
    auto confirmed = answered("http://example.com/pic.jpg", 304, {{"Cache-Control", "max-age=90"}}, "");
    confirmed->setCacheStoragePolicy(CachePermanentlyStoragePolicy);
    cache->storeResponseForRequest_maxAge(confirmed, 0);
    const Value after = cache->cachedResponseHeadersForURL(request->url());
    EXPECT_EQ(after["X-HTTPRequest-Response-Status-Code"].intValue(), 200);
    EXPECT_DOUBLE_EQ(after["X-HTTPRequest-Expires"].doubleValue(), kNow + 90);
    EXPECT_EQ(cache->cachedResponseDataForURL(request->url())->length(), std::string("inflated bytes").size());

    // updateExpiry rewrites the expiry only.
    cache->updateExpiryForRequest_maxAge(request, 500);
    EXPECT_DOUBLE_EQ(cache->cachedResponseHeadersForURL(request->url())["X-HTTPRequest-Expires"].doubleValue(),
                     kNow + 500);
    cache->removeCachedDataForRequest(request);
    EXPECT_TRUE(cache->pathToCachedResponseHeadersForURL(request->url()).empty());
    EXPECT_TRUE(cache->pathToCachedResponseDataForURL(request->url()).empty());
}

TEST_F(DownloadCacheTest, ExpiryComesFromTheArgumentThenMaxAgeThenExpires)
{
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> headers;
        double maxAge;
        std::optional<double> expiry;
    };
    const std::vector<Case> cases = {
        {"max-age", {{"Cache-Control", "max-age=60"}}, 0, kNow + 60},
        {"argument overrides", {{"Cache-Control", "max-age=60"}}, 30, kNow + 30},
        {"max-age among others", {{"Cache-Control", "public, MAX-AGE = 120"}}, 0, kNow + 120},
        {"expires", {{"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"}}, 0, 784111777.0},
        {"max-age before expires", {{"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Cache-Control", "max-age=5"}}, 0,
         kNow + 5},
        {"nothing", {{"Server", "t"}}, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<NSDate> expiry =
            cache->expiryDateForRequest_maxAge(answered("http://example.com/e", 200, c.headers), c.maxAge);
        ASSERT_EQ(expiry.has_value(), c.expiry.has_value()) << c.name;
        if (expiry) {
            EXPECT_DOUBLE_EQ(expiry->timeIntervalSince1970(), *c.expiry) << c.name;
        }
    }
}

TEST_F(DownloadCacheTest, FreshnessFollowsExpiryAndValidators)
{
    auto stored = answered("http://example.com/f", 200, {{"Cache-Control", "max-age=60"}, {"Etag", "A"},
                                                         {"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}});
    cache->storeResponseForRequest_maxAge(stored, 0);
    auto probe = HTTPRequest::requestWithURL(stored->url());  // no response yet
    EXPECT_TRUE(cache->isCachedDataCurrentForRequest(probe));
    now = kNow + 61;
    EXPECT_FALSE(cache->isCachedDataCurrentForRequest(probe)) << "expired";
    probe->setResponseStatusCode(304);
    EXPECT_TRUE(cache->isCachedDataCurrentForRequest(probe)) << "a 304 confirms the copy";
    now = kNow;

    auto changed = answered("http://example.com/f", 200, {{"Etag", "B"}, {"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}});
    EXPECT_FALSE(cache->isCachedDataCurrentForRequest(changed)) << "another Etag";
    auto same = answered("http://example.com/f", 200, {{"Etag", "A"}, {"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}});
    EXPECT_TRUE(cache->isCachedDataCurrentForRequest(same));
    auto missing = answered("http://example.com/f", 200, {{"Etag", "A"}});
    EXPECT_FALSE(cache->isCachedDataCurrentForRequest(missing)) << "a missing validator counts as different";

    auto noExpiry = answered("http://example.com/n", 200, {{"Server", "t"}});
    cache->storeResponseForRequest_maxAge(noExpiry, 0);
    auto probeN = HTTPRequest::requestWithURL(noExpiry->url());
    EXPECT_FALSE(cache->isCachedDataCurrentForRequest(probeN)) << "no expiry is never current";
    cache->setShouldRespectCacheControlHeaders(false);
    EXPECT_TRUE(cache->isCachedDataCurrentForRequest(probeN));
    EXPECT_FALSE(cache->isCachedDataCurrentForRequest(HTTPRequest::requestWithURL(NSURL::URLWithString("http://example.com/none"))));
}

TEST_F(DownloadCacheTest, UseFollowsThePolicy)
{
    auto fresh = answered("http://example.com/fresh", 200, {{"Cache-Control", "max-age=60"}});
    auto stale = answered("http://example.com/stale", 200, {{"Server", "t"}});
    cache->storeResponseForRequest_maxAge(fresh, 0);
    cache->storeResponseForRequest_maxAge(stale, 0);
    struct Case {
        std::string url;
        int policy;
        bool complete;
        bool withHeaders;
        bool usable;
    };
    const std::vector<Case> cases = {
        {"fresh", CachePolicyNoRead | CachePolicyCacheOnly, false, false, false},
        {"absent", CachePolicyCacheOnly, false, false, true},
        {"absent", CachePolicyPreferCache, false, false, false},
        {"stale", CachePolicyPreferCache, false, false, true},
        {"stale", CachePolicyFallbackToCache, true, false, true},
        {"stale", CachePolicyFallbackToCache, false, false, false},
        {"fresh", CachePolicyUseDefault, false, false, true},
        {"stale", CachePolicyUseDefault, false, false, false},
        {"fresh", CachePolicyRevalidateAlways, false, false, false},
        {"fresh", CachePolicyRevalidateAlways, false, true, true},
    };
    for (const Case& c : cases) {
        auto request = HTTPRequest::requestWithURL(NSURL::URLWithString("http://example.com/" + c.url));
        request->setCachePolicy(c.policy);
        request->setComplete(c.complete);
        if (c.withHeaders) {
            HTTPHeaderFields headers;
            headers.set("Server", "t");
            request->setResponseHeaders(headers);
        }
        EXPECT_EQ(cache->canUseCachedDataForRequest(request), c.usable) << c.url << " policy " << c.policy;
    }
    cache->setDefaultCachePolicy(0);
    EXPECT_EQ(cache->defaultCachePolicy(), CachePolicyRevalidateWhenStale);
    cache->setDefaultCachePolicy(CachePolicyPreferCache);
    EXPECT_EQ(cache->defaultCachePolicy(), CachePolicyPreferCache);
}

TEST_F(DownloadCacheTest, FoldersAndStores)
{
    auto session = answered("http://example.com/s", 200, {{"Server", "t"}});
    auto permanent = answered("http://example.com/p", 200, {{"Server", "t"}});
    permanent->setCacheStoragePolicy(CachePermanentlyStoragePolicy);
    cache->storeResponseForRequest_maxAge(session, 0);
    cache->storeResponseForRequest_maxAge(permanent, 0);

    cache->setStoragePath(home / "cache");  // setting the folder empties its session store
    EXPECT_TRUE(cache->pathToCachedResponseDataForURL(session->url()).empty());
    EXPECT_FALSE(cache->pathToCachedResponseDataForURL(permanent->url()).empty());
    cache->clearCachedResponsesForStoragePolicy(CachePermanentlyStoragePolicy);
    EXPECT_TRUE(cache->pathToCachedResponseDataForURL(permanent->url()).empty());

    std::ofstream(home / "blocked") << "x";
    try {
        cache->setStoragePath(home / "blocked");
        FAIL() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), "FileExistsAtCachePath");
        EXPECT_EQ(e.reason(), "Cannot create a directory for the cache at '" + (home / "blocked") +
                                  "', because a file already exists");
    }
    EXPECT_TRUE(cache->storagePath() == home / "blocked");
    cache->setStoragePath(home / "other/deeper");
    EXPECT_TRUE(fs::is_directory(home / "other/deeper/SessionStore"));
    EXPECT_TRUE(fs::is_directory(home / "other/deeper/PermanentStore"));

    EXPECT_EQ(HTTPDownloadCache::sharedCache()->storagePath(), home / "Library/Caches/HTTPRequestCache");
    EXPECT_EQ(HTTPDownloadCache::sharedCache(), HTTPDownloadCache::sharedCache());
}
