#pragma once
// Shared set-up of the image cache tests: a home folder of the test's own (the shared cache lives in
// its caches folder), the test thread as main, the platform's codecs, a loopback server serving
// pictures, and helpers to make pictures and tell them apart.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/webimage/UIImageViewWebCache.h"
#include "net/webimage/WebImageCache.h"
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIImage.h"
#include "service/HttpServer.h"

namespace webimage_test {

inline constexpr uint32_t kRed = 0xFFFF0000;
inline constexpr uint32_t kBlue = 0xFF0000FF;
inline constexpr uint32_t kGreen = 0xFF00FF00;
inline constexpr uint32_t kGrey = 0xFF808080;

// A small opaque picture of one colour.
inline Ref<UIImage> solidImage(uint32_t colour, size_t side = 4)
{
    return UIImage::imageWithCGImage(CGImage::create(side, side, std::vector<uint32_t>(side * side, colour)));
}

inline std::string pngOf(uint32_t colour) { return UIImagePNGRepresentation(solidImage(colour))->string(); }

inline NSData dataOf(const std::string& bytes) { return NSData(bytes.data(), bytes.size()); }

// The colour of an image's first pixel (0 for nil).
inline uint32_t colourOf(const Ref<UIImage>& image)
{
    return image && image->CGImage() ? image->CGImage()->pixelAt(0, 0) : 0;
}

// Whether two pixels differ by at most `tolerance` in every channel (JPEG is not exact).
inline bool closeTo(uint32_t a, uint32_t b, int tolerance = 4)
{
    for (int shift : {0, 8, 16, 24}) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) {
            return false;
        }
    }
    return true;
}

// Records what the manager tells it.
class RecordingDelegate : public WebImageManagerDelegate {
public:
    void webImageManager_didFinishWithImage(WebImageManager*, const Ref<UIImage>& image) override
    {
        images.push_back(image);
    }
    void webImageManager_didFailWithError(WebImageManager*, const Ref<NSError>& error) override
    {
        errors.push_back(error);
    }
    size_t heard() const { return images.size() + errors.size(); }

    std::vector<Ref<UIImage>> images;
    std::vector<Ref<NSError>> errors;
};

// Holds answers back until opened (or for ten seconds at most, so a failed test still ends).
class Latch {
public:
    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

class WebImageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        home_ = std::filesystem::temp_directory_path() / ("ombri-webimage-" + std::to_string(::getpid()));
        std::filesystem::remove_all(home_);
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home_.string()));
        cache_ = WebImageCache::sharedImageCache();
        manager_ = WebImageManager::sharedManager();
        // Several tests may share a process when the binary is run by hand.
        cache_->clearMemory();
        cache_->clearDisk();
        UIImage::setDecoder(&UIImage::decodeWithImageCodecs);
    }

    void TearDown() override
    {
        cache_->cacheOutQueue()->setSuspended(false);
        cache_->cacheOutQueue()->waitUntilAllOperationsAreFinished();
        cache_->cacheInQueue()->waitUntilAllOperationsAreFinished();
        UIImage::setDecoder(&UIImage::decodeWithImageCodecs);
        NSDate::setNowFunction(nullptr);
        for (const auto& latch : latches_) {
            latch->open();
        }
        server_.stop();
        std::error_code error;
        std::filesystem::remove_all(home_, error);
    }

    Ref<NSURL> url(const std::string& path) const { return NSURL::URLWithString("http://" + server_.hostPort() + path); }

    // Serves a fixed body at the path.
    void serve(const std::string& path, std::string body, int status = 200)
    {
        server_.route(path, [body = std::move(body), status](const standin::Request&) {
            standin::Response response;
            response.status = status;
            response.body = body;
            return response;
        });
    }

    // Serves a fixed body at the path once the returned latch is opened.
    std::shared_ptr<Latch> serveHeld(const std::string& path, std::string body)
    {
        auto latch = std::make_shared<Latch>();
        latches_.push_back(latch);
        server_.route(path, [latch, body = std::move(body)](const standin::Request&) {
            latch->wait();
            standin::Response response;
            response.body = body;
            return response;
        });
        return latch;
    }

    // Lets every queued disk read and write run, then delivers what they handed to the main thread.
    void settleDiskQueues()
    {
        cache_->cacheOutQueue()->waitUntilAllOperationsAreFinished();
        cache_->cacheInQueue()->waitUntilAllOperationsAreFinished();
        drainMain();
    }

    bool pumpUntil(const std::function<bool()>& done) { return pumpMainUntil(done, std::chrono::seconds(10)); }

    std::filesystem::path home_;
    MainThreadScope main_;
    standin::HttpServer server_{standin::ServerOptions{.lifetime = std::chrono::seconds(30)}};
    Ref<WebImageCache> cache_;
    Ref<WebImageManager> manager_;
    std::vector<std::shared_ptr<Latch>> latches_;
};

}  // namespace webimage_test
