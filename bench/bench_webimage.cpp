// The remote image cache, seen from an image view: how long until a 100 KB JPEG shows when it is in
// memory, on disk, or downloaded over loopback (p50 and p99 as counters, in microseconds), and how many
// downloads 1,000 requests make when 20 views each ask for 50 distinct URLs at once, against the same 50
// downloads with one view each (the counter of_downloads is the first time over the second).
//
// Run from build-release/bin: ./bench_webimage
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "net/webimage/UIImageViewWebCache.h"
#include "net/webimage/WebImageCache.h"
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "service/HttpServer.h"

namespace {

using Clock = std::chrono::steady_clock;

standin::HttpServer* g_server = nullptr;
std::string g_jpeg;  // the picture every URL serves
std::atomic<size_t> g_served{0};  // answers sent (the server's record keeps only the latest few)
unsigned g_salt = 0;  // makes URLs that no cache has seen

// A noisy picture, grown until its JPEG form reaches 100 KB.
std::string makeJpeg()
{
    std::mt19937 random(7);
    for (size_t side = 160;; side += 8) {
        std::vector<uint32_t> pixels(side * side);
        for (uint32_t& p : pixels) {
            p = 0xFF000000u | (random() & 0xFFFFFFu);
        }
        auto image = UIImage::imageWithCGImage(CGImage::create(side, side, std::move(pixels)));
        auto jpeg = UIImageJPEGRepresentation(image, 0.8);
        if (jpeg->length() >= 100 * 1024) {
            return jpeg->string();
        }
    }
}

Ref<NSURL> freshURL()
{
    return NSURL::URLWithString("http://" + g_server->hostPort() + "/image.jpg?n=" + std::to_string(++g_salt));
}

bool showImage(const Ref<UIImageView>& view, const Ref<NSURL>& url)
{
    WebCache::setImageWithURL(view, url);
    return view->image() || pumpMainUntil([&] { return bool(view->image()); }, std::chrono::seconds(20));
}

void reportPercentiles(benchmark::State& state, std::vector<double> micros)
{
    if (micros.empty()) {
        return;
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[std::min(micros.size() - 1, size_t(q * double(micros.size())))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["bytes"] = double(g_jpeg.size());
}

void BM_MemoryHit(benchmark::State& state)
{
    auto cache = WebImageCache::sharedImageCache();
    auto url = freshURL();
    cache->storeImage_forKey_toDisk(UIImage::imageWithData(NSData(g_jpeg.data(), g_jpeg.size())), url->absoluteString(),
                                    false);
    auto view = UIImageView::create();
    std::vector<double> micros;
    for (auto _ : state) {
        view->setImage(nullptr);
        const auto start = Clock::now();
        WebCache::setImageWithURL(view, url);
        const std::chrono::duration<double> took = Clock::now() - start;
        if (!view->image()) {
            state.SkipWithError("no memory hit");
            break;
        }
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
    }
    reportPercentiles(state, std::move(micros));
}

void BM_DiskHit(benchmark::State& state)
{
    auto cache = WebImageCache::sharedImageCache();
    auto url = freshURL();
    const std::string key = url->absoluteString();
    NSData(g_jpeg.data(), g_jpeg.size()).writeToFile_atomically(cache->cachePathForKey(key), true);
    auto view = UIImageView::create();
    std::vector<double> micros;
    for (auto _ : state) {
        cache->clearMemory();
        view->setImage(nullptr);
        const auto start = Clock::now();
        if (!showImage(view, url)) {
            state.SkipWithError("no disk hit");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
    }
    reportPercentiles(state, std::move(micros));
}

void BM_LoopbackDownload(benchmark::State& state)
{
    auto cache = WebImageCache::sharedImageCache();
    auto view = UIImageView::create();
    std::vector<double> micros;
    const size_t before = g_served;
    for (auto _ : state) {
        auto url = freshURL();
        const auto start = Clock::now();
        if (!showImage(view, url)) {
            state.SkipWithError("download did not arrive");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
        cache->cacheInQueue()->waitUntilAllOperationsAreFinished();  // the file write, outside the timing
    }
    reportPercentiles(state, std::move(micros));
    state.counters["downloads"] = double(g_served - before);
}

// Views for each of 50 URLs, all asked at once, caches cold; the seconds of the last iteration's wait
// for every view's image.
double showAll(benchmark::State& state, int viewsPerURL)
{
    constexpr int kURLs = 50;
    auto cache = WebImageCache::sharedImageCache();
    std::vector<Ref<UIImageView>> views;
    for (int i = 0; i < kURLs * viewsPerURL; ++i) {
        views.push_back(UIImageView::create());
    }
    double downloads = 0;
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        cache->clearMemory();
        std::vector<Ref<NSURL>> urls;
        for (int i = 0; i < kURLs; ++i) {
            urls.push_back(freshURL());
        }
        const size_t before = g_served;
        const auto start = Clock::now();
        for (size_t v = 0; v < views.size(); ++v) {
            WebCache::setImageWithURL(views[v], urls[v % kURLs]);
        }
        const bool all = pumpMainUntil(
            [&] { return std::all_of(views.begin(), views.end(), [](const auto& view) { return bool(view->image()); }); },
            std::chrono::seconds(60));
        const std::chrono::duration<double> took = Clock::now() - start;
        if (!all) {
            state.SkipWithError("not every view got its image");
            break;
        }
        state.SetIterationTime(took.count());
        total += took.count();
        ++runs;
        downloads = double(g_served - before);
        cache->cacheInQueue()->waitUntilAllOperationsAreFinished();
    }
    state.counters["requests"] = kURLs * viewsPerURL;
    state.counters["downloads"] = downloads;
    return runs > 0 ? total / runs : 0;
}

double g_downloadsOnly = 0;  // mean seconds of the 50 downloads with one view each

// The 50 downloads alone: one view per URL.
void BM_FiftyURLsOneViewEach(benchmark::State& state) { g_downloadsOnly = showAll(state, 1); }

// 1,000 requests: 20 views for each of the same number of URLs.
void BM_ManyViewsFewURLs(benchmark::State& state)
{
    const double seconds = showAll(state, 20);
    if (g_downloadsOnly > 0) {
        state.counters["of_downloads"] = seconds / g_downloadsOnly;
    }
}

BENCHMARK(BM_MemoryHit)->UseManualTime()->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiskHit)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoopbackDownload)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FiftyURLsOneViewEach)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManyViewsFewURLs)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    const auto home = std::filesystem::temp_directory_path() / ("ombri-bench-webimage-" + std::to_string(::getpid()));
    FoundationRoots::setHomeDirectory(home.string());
    MainThreadScope mainThread;
    UIImage::installImageCodecs();
    g_jpeg = makeJpeg();
    standin::ServerOptions options;
    options.lifetime = std::chrono::minutes(10);
    options.maxConnections = 256;
    options.maxRecords = 64;
    standin::HttpServer server(options);
    server.route("/image.jpg", [](const standin::Request&) {
        ++g_served;
        standin::Response response;
        response.headers.push_back({"Content-Type", "image/jpeg"});
        response.body = g_jpeg;
        return response;
    });
    g_server = &server;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    WebImageCache::sharedImageCache()->cacheInQueue()->waitUntilAllOperationsAreFinished();
    server.stop();
    std::error_code error;
    std::filesystem::remove_all(home, error);
    return 0;
}
