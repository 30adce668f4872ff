// The download cache: keys and file names, storing, expiry, freshness and the use rules.
#include "net/http/HTTPDownloadCache.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "net/http/HTTPRequest.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/HTTPDate.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/PropertyList.h"

namespace fs = std::filesystem;

namespace {

constexpr char kExpiresKey[] = "X-HTTPRequest-Expires";
constexpr char kStatusKey[] = "X-HTTPRequest-Response-Status-Code";

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// A stored header, its name compared without regard to case; nil when absent.
Value storedHeader(const Value& headers, std::string_view name)
{
    for (const std::string& key : headers.allKeys()) {
        if (HTTPHeaderFields::namesEqual(key, name)) {
            return headers[key];
        }
    }
    return Value();
}

bool isFile(const std::string& path)
{
    std::error_code ignored;
    return !path.empty() && fs::is_regular_file(path, ignored);
}

std::string dataFileName(const Ref<NSURL>& url, const std::string& key)
{
    const std::string extension = url ? NSString::pathExtension(url->path()) : std::string();
    return key + "." + (extension.empty() ? std::string("html") : extension);
}

}  // namespace

// ---- Creation ----------------------------------------------------------------------------------------------

Ref<HTTPDownloadCache> HTTPDownloadCache::create()
{
    return std::make_shared<HTTPDownloadCache>();
}

Ref<HTTPDownloadCache> HTTPDownloadCache::sharedCache()
{
    // Made once and kept for the life of the process.
    static Ref<HTTPDownloadCache>* shared = [] {
        auto* cache = new Ref<HTTPDownloadCache>(create());
        (*cache)->setStoragePath(NSString::stringByAppendingPathComponent(FoundationRoots::cachesDirectory(),
                                                                          "HTTPRequestCache"));
        return cache;
    }();
    return *shared;
}

// ---- Keys --------------------------------------------------------------------------------------------------

std::string HTTPDownloadCache::keyForURL(const Ref<NSURL>& url)
{
    std::string text = url ? url->absoluteString() : std::string();
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    if (text.empty()) {
        return std::string();
    }
    const auto digest = CommonCrypto::md5(text);
    std::string key;
    for (uint8_t byte : digest) {
        key += stringWithFormat("%02X", static_cast<unsigned>(byte));
    }
    return key;
}

bool HTTPDownloadCache::serverAllowsResponseCachingForRequest(const Ref<HTTPRequest>& request)
{
    const HTTPHeaderFields headers = request->responseHeaders();
    const std::string cacheControl = lowercase(headers.valueForKey("Cache-Control"));
    if (cacheControl == "no-cache" || cacheControl == "no-store") {
        return false;
    }
    return lowercase(headers.valueForKey("Pragma")) != "no-cache";
}

// ---- Configuration -----------------------------------------------------------------------------------------

std::string HTTPDownloadCache::storagePath() const
{
    std::lock_guard lock(*accessLock_);
    return storagePath_;
}

void HTTPDownloadCache::setStoragePath(const std::string& path)
{
    std::unique_lock lock(*accessLock_);
    if (!storagePath_.empty()) {
        clearSessionStore(storagePath_);
    }
    storagePath_ = path;
    for (const std::string& folder : {path, path + "/" + sessionCacheFolder, path + "/" + permanentCacheFolder}) {
        std::error_code error;
        if (fs::exists(folder, error)) {
            if (!fs::is_directory(folder, error)) {
                lock.unlock();
                NSException::raise(
                    "FileExistsAtCachePath",
                    stringWithFormat("Cannot create a directory for the cache at '%@', because a file already exists",
                                     folder));
            }
            continue;
        }
        fs::create_directories(folder, error);
        if (error || !fs::is_directory(folder)) {
            lock.unlock();
            NSException::raise("FailedToCreateCacheDirectory",
                               stringWithFormat("Failed to create a directory for the cache at '%@'", folder));
        }
    }
    clearSessionStore(path);
}

void HTTPDownloadCache::clearSessionStore(const std::string& root)
{
    std::lock_guard lock(*accessLock_);
    const std::string saved = storagePath_;
    storagePath_ = root;
    try {
        clearCachedResponsesForStoragePolicy(CacheForSessionDurationStoragePolicy);
    } catch (...) {
        storagePath_ = saved;
        throw;
    }
    storagePath_ = saved;
}

int HTTPDownloadCache::defaultCachePolicy() const
{
    std::lock_guard lock(*accessLock_);
    return defaultCachePolicy_;
}

void HTTPDownloadCache::setDefaultCachePolicy(int policy)
{
    std::lock_guard lock(*accessLock_);
    defaultCachePolicy_ = policy == CachePolicyUseDefault ? CachePolicyRevalidateWhenStale : policy;
}

// ---- Paths -------------------------------------------------------------------------------------------------

std::string HTTPDownloadCache::pathToFile(const std::string& name)
{
    std::lock_guard lock(*accessLock_);
    if (storagePath_.empty() || name.empty()) {
        return std::string();
    }
    for (const char* store : {sessionCacheFolder, permanentCacheFolder}) {
        const std::string path = storagePath_ + "/" + store + "/" + name;
        if (isFile(path)) {
            return path;
        }
    }
    return std::string();
}

std::string HTTPDownloadCache::pathToCachedResponseDataForURL(const Ref<NSURL>& url)
{
    const std::string key = keyForURL(url);
    return key.empty() ? std::string() : pathToFile(dataFileName(url, key));
}

std::string HTTPDownloadCache::pathToCachedResponseHeadersForURL(const Ref<NSURL>& url)
{
    const std::string key = keyForURL(url);
    return key.empty() ? std::string() : pathToFile(key + ".cachedheaders");
}

std::string HTTPDownloadCache::pathToStoreCachedResponseDataForRequest(const Ref<HTTPRequest>& request)
{
    std::lock_guard lock(*accessLock_);
    const std::string key = keyForURL(request->url());
    if (storagePath_.empty() || key.empty()) {
        return std::string();
    }
    const char* store = request->cacheStoragePolicy() == CacheForSessionDurationStoragePolicy ? sessionCacheFolder
                                                                                              : permanentCacheFolder;
    return storagePath_ + "/" + store + "/" + dataFileName(request->url(), key);
}

std::string HTTPDownloadCache::pathToStoreCachedResponseHeadersForRequest(const Ref<HTTPRequest>& request)
{
    std::lock_guard lock(*accessLock_);
    const std::string key = keyForURL(request->url());
    if (storagePath_.empty() || key.empty()) {
        return std::string();
    }
    const char* store = request->cacheStoragePolicy() == CacheForSessionDurationStoragePolicy ? sessionCacheFolder
                                                                                              : permanentCacheFolder;
    return storagePath_ + "/" + store + "/" + key + ".cachedheaders";
}

// ---- Reading -----------------------------------------------------------------------------------------------

Value HTTPDownloadCache::cachedResponseHeadersForURL(const Ref<NSURL>& url)
{
    std::lock_guard lock(*accessLock_);
    const std::string path = pathToCachedResponseHeadersForURL(url);
    return path.empty() ? Value() : NSDictionary::dictionaryWithContentsOfFile(path);
}

std::optional<NSData> HTTPDownloadCache::cachedResponseDataForURL(const Ref<NSURL>& url)
{
    std::lock_guard lock(*accessLock_);
    const std::string path = pathToCachedResponseDataForURL(url);
    if (path.empty()) {
        return std::nullopt;
    }
    return NSData::dataWithContentsOfFile(path);
}

// ---- Removing ----------------------------------------------------------------------------------------------

void HTTPDownloadCache::removeCachedDataForURL(const Ref<NSURL>& url)
{
    std::lock_guard lock(*accessLock_);
    for (const std::string& path : {pathToCachedResponseHeadersForURL(url), pathToCachedResponseDataForURL(url)}) {
        std::error_code ignored;
        if (!path.empty()) {
            fs::remove(path, ignored);
        }
    }
}

void HTTPDownloadCache::removeCachedDataForRequest(const Ref<HTTPRequest>& request)
{
    removeCachedDataForURL(request->url());
}

void HTTPDownloadCache::clearCachedResponsesForStoragePolicy(int storagePolicy)
{
    std::unique_lock lock(*accessLock_);
    if (storagePath_.empty()) {
        return;
    }
    const std::string store = storagePath_ + "/" +
                              (storagePolicy == CacheForSessionDurationStoragePolicy ? sessionCacheFolder
                                                                                     : permanentCacheFolder);
    std::error_code error;
    if (!fs::exists(store, error)) {
        return;  // nothing was ever stored there
    }
    std::vector<std::string> files;
    for (fs::directory_iterator it(store, error), end; !error && it != end; it.increment(error)) {
        files.push_back(it->path().string());
    }
    if (error) {
        lock.unlock();
        NSException::raise("FailedToTraverseCacheDirectory",
                           stringWithFormat("Listing cache directory failed at path '%@'", store));
    }
    for (const std::string& file : files) {
        std::error_code removeError;
        fs::remove_all(file, removeError);
        if (removeError) {
            lock.unlock();
            NSException::raise("FailedToRemoveCacheFile",
                               stringWithFormat("Failed to remove cached data at path '%@'", file));
        }
    }
}

// ---- Storing -----------------------------------------------------------------------------------------------

std::optional<NSDate> HTTPDownloadCache::expiryDateForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge)
{
    if (maxAge > 0) {
        return NSDate::dateWithTimeIntervalSinceNow(maxAge);
    }
    const HTTPHeaderFields headers = request->responseHeaders();
    const std::string cacheControl = lowercase(headers.valueForKey("Cache-Control"));
    const size_t found = cacheControl.find("max-age");
    if (found != std::string::npos) {
        size_t at = found + 7;
        while (at < cacheControl.size() && cacheControl[at] == ' ') {
            ++at;
        }
        if (at < cacheControl.size() && cacheControl[at] == '=') {
            ++at;
            while (at < cacheControl.size() && cacheControl[at] == ' ') {
                ++at;
            }
            size_t end = at;
            while (end < cacheControl.size() && std::isdigit(static_cast<unsigned char>(cacheControl[end]))) {
                ++end;
            }
            if (end > at) {
                return NSDate::dateWithTimeIntervalSinceNow(NSString::doubleValue(cacheControl.substr(at, end - at)));
            }
        }
    }
    if (std::optional<std::string> expires = headers.get("Expires")) {
        if (std::optional<double> when = HTTPDate::parse(*expires)) {
            return NSDate::dateWithTimeIntervalSince1970(*when);
        }
    }
    return std::nullopt;
}

void HTTPDownloadCache::updateExpiryForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge)
{
    std::lock_guard lock(*accessLock_);
    const std::string path = pathToCachedResponseHeadersForURL(request->url());
    if (path.empty()) {
        return;
    }
    Value headers = NSDictionary::dictionaryWithContentsOfFile(path);
    std::optional<NSDate> expires = expiryDateForRequest_maxAge(request, maxAge);
    if (headers.isNil() || !expires) {
        return;
    }
    Value updated = headers.mutableCopy();
    updated.setObject_forKey(Value(expires->timeIntervalSince1970()), kExpiresKey);
    NSDictionary::writeToFile_atomically(updated, path, true);
}

void HTTPDownloadCache::storeResponseForRequest_maxAge(const Ref<HTTPRequest>& request, double maxAge)
{
    std::lock_guard lock(*accessLock_);
    const HTTPHeaderFields responseHeaders = request->responseHeaders();
    if (request->error() || responseHeaders.empty() || (request->cachePolicy() & CachePolicyNoWrite)) {
        return;
    }
    const int status = request->responseStatusCode();
    // A 304 confirms the stored copy: its headers are recorded (as 200) and the stored body is kept.
    if (status != 200 && status != 301 && status != 302 && status != 303 && status != 307 && status != 304) {
        return;
    }
    if (shouldRespectCacheControlHeaders() && !serverAllowsResponseCachingForRequest(request)) {
        return;
    }
    const std::string headerPath = pathToStoreCachedResponseHeadersForRequest(request);
    const std::string dataPath = pathToStoreCachedResponseDataForRequest(request);
    if (headerPath.empty() || dataPath.empty()) {
        return;
    }
    Value headers = Value::dictionary();
    const std::string encoding = lowercase(responseHeaders.valueForKey("Content-Encoding"));
    const bool compressed = encoding.find("gzip") != std::string::npos || encoding.find("deflate") != std::string::npos;
    for (const auto& [name, value] : responseHeaders) {
        if (compressed && HTTPHeaderFields::namesEqual(name, "Content-Encoding")) {
            continue;  // the body is kept inflated
        }
        headers.setObject_forKey(Value(value), name);
    }
    if (std::optional<NSDate> expires = expiryDateForRequest_maxAge(request, maxAge)) {
        headers.setObject_forKey(Value(expires->timeIntervalSince1970()), kExpiresKey);
    }
    headers.setObject_forKey(Value(status == 304 ? 200 : status), kStatusKey);
    if (status == 304 && isFile(dataPath)) {
        NSDictionary::writeToFile_atomically(headers, headerPath, true);
        return;
    }
    const std::string downloaded = request->downloadDestinationPath();
    bool bodyWritten = false;
    if (!downloaded.empty()) {
        std::error_code error;
        if (fs::equivalent(downloaded, dataPath, error)) {
            bodyWritten = true;
        } else {
            bodyWritten = fs::copy_file(downloaded, dataPath, fs::copy_options::overwrite_existing, error) && !error;
        }
    } else {
        const NSData body = request->responseData();
        // A compressed body that would not inflate has no content to keep.
        bodyWritten = !request->responseDecompressionError() && body.writeToFile_atomically(dataPath, true);
    }
    if (!bodyWritten) {
        // Headers without their body would be answered as a stored copy with no content.
        std::error_code ignored;
        fs::remove(headerPath, ignored);
        return;
    }
    NSDictionary::writeToFile_atomically(headers, headerPath, true);
}

// ---- Freshness and use -------------------------------------------------------------------------------------

bool HTTPDownloadCache::isCachedDataCurrentForRequest(const Ref<HTTPRequest>& request)
{
    std::lock_guard lock(*accessLock_);
    if (storagePath_.empty()) {
        return false;
    }
    const Value stored = cachedResponseHeadersForURL(request->url());
    if (stored.isNil() || pathToCachedResponseDataForURL(request->url()).empty()) {
        return false;
    }
    if (request->responseStatusCode() == 304) {
        return true;
    }
    const HTTPHeaderFields responseHeaders = request->responseHeaders();
    if (!responseHeaders.empty() && request->complete()) {
        for (const char* name : {"Etag", "Last-Modified"}) {
            std::optional<std::string> fresh = responseHeaders.get(name);
            const Value kept = storedHeader(stored, name);
            if (!fresh || !kept.isString() || kept.stringValue() != *fresh) {
                return false;
            }
        }
    }
    if (shouldRespectCacheControlHeaders()) {
        const Value expires = stored[kExpiresKey];
        return !expires.isNil() && expires.doubleValue() > NSDate::now();
    }
    return true;
}

bool HTTPDownloadCache::canUseCachedDataForRequest(const Ref<HTTPRequest>& request)
{
    int policy = request->cachePolicy();
    if (policy == CachePolicyUseDefault) {
        policy = defaultCachePolicy();
    }
    if (policy & CachePolicyNoRead) {
        return false;
    }
    if (policy & CachePolicyCacheOnly) {
        return true;
    }
    std::lock_guard lock(*accessLock_);
    if (cachedResponseHeadersForURL(request->url()).isNil() || pathToCachedResponseDataForURL(request->url()).empty()) {
        return false;
    }
    if (policy & CachePolicyPreferCache) {
        return true;
    }
    if (request->complete() && (policy & CachePolicyFallbackToCache)) {
        return true;
    }
    const bool revalidate = (policy & CachePolicyRevalidateWhenStale) ||
                            ((policy & CachePolicyRevalidateAlways) && !request->responseHeaders().empty());
    return revalidate && isCachedDataCurrentForRequest(request);
}
