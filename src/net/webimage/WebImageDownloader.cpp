#include "net/webimage/WebImageDownloader.h"
#include "net/webimage/WebImageCache.h"

#include <algorithm>

#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/CFRunLoopMode.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"

Ref<WebImageDownloader> WebImageDownloader::downloaderWithURL_delegate_userInfo(
    const Ref<NSURL>& url, const Ref<WebImageDownloaderDelegate>& delegate, const Value& userInfo)
{
    auto downloader = std::make_shared<WebImageDownloader>();
    downloader->url_ = url;
    downloader->delegate_ = delegate;
    downloader->userInfo_ = userInfo;
    // Runs inline on the main thread; from another thread it waits for the main thread.
    dispatch_sync(dispatch_get_main_queue(), [&downloader] { downloader->start(); });
    return downloader;
}

void WebImageDownloader::start()
{
    auto request = NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(
        url_, NSURLRequestReloadIgnoringLocalCacheData, kTimeoutInterval);
    auto self = this->self<WebImageDownloader>();
    connection_ = NSURLConnection::initWithRequest_delegate_startImmediately(request, self, false);
    if (!connection_) {
        // Reported from the run loop, like every other outcome, so that whoever made the downloader
        // has registered it before it hears of the failure.
        dispatch_async(dispatch_get_main_queue(), [self] {
            if (auto delegate = self->delegate_.lock()) {
                delegate->imageDownloader_didFailWithError(self.get(), nullptr);
            }
        });
        return;
    }
    connection_->scheduleInRunLoop_forMode(NSRunLoop::currentRunLoop(), kCFRunLoopCommonModes);
    connection_->start();
    imageData_ = NSData();
    postNotification(WebImageDownloadStartNotification);
}

void WebImageDownloader::postNotification(const char* name)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(name, Value(self<NSObject>()));
}

void WebImageDownloader::connection_didReceiveResponse(NSURLConnection*, const Ref<NSURLResponse>& response)
{
    const long long expected = response ? response->expectedContentLength() : -1;
    if (expected > 0 && static_cast<unsigned long long>(expected) > maxImageBytes()) {
        failTooLarge();
    }
}

void WebImageDownloader::connection_didReceiveData(NSURLConnection*, const NSData& data)
{
    if (!connection_) {
        return;
    }
    if (data.length() > maxImageBytes() - std::min(imageData_.length(), maxImageBytes())) {
        failTooLarge();
        return;
    }
    imageData_.appendData(data);
}

void WebImageDownloader::failTooLarge()
{
    if (!connection_) {
        return;
    }
    auto self = this->self<WebImageDownloader>();
    auto connection = std::move(connection_);
    connection->cancel();
    imageData_ = NSData();
    postNotification(WebImageDownloadStopNotification);
    if (auto delegate = delegate_.lock()) {
        delegate->imageDownloader_didFailWithError(
            this, NSError::errorWithDomain_code_userInfo(NSURLErrorDomain, NSURLErrorDataLengthExceedsMaximum));
    }
}

void WebImageDownloader::connectionDidFinishLoading(NSURLConnection*)
{
    auto self = this->self<WebImageDownloader>();  // the delegate may let go of this downloader
    connection_ = nullptr;
    postNotification(WebImageDownloadStopNotification);
    if (auto delegate = delegate_.lock()) {
        delegate->imageDownloaderDidFinish(this);
    }
    Ref<UIImage> image = WebImageCache::imageWithRemoteData(imageData_);
    if (auto delegate = delegate_.lock()) {
        delegate->imageDownloader_didFinishWithImage(this, image);
    }
}

void WebImageDownloader::connection_didFailWithError(NSURLConnection*, const Ref<NSError>& error)
{
    auto self = this->self<WebImageDownloader>();
    postNotification(WebImageDownloadStopNotification);
    if (auto delegate = delegate_.lock()) {
        delegate->imageDownloader_didFailWithError(this, error);
    }
    connection_ = nullptr;
    imageData_ = NSData();
}

void WebImageDownloader::cancel()
{
    if (!connection_) {
        return;
    }
    auto self = this->self<WebImageDownloader>();
    auto connection = std::move(connection_);
    connection->cancel();
    postNotification(WebImageDownloadStopNotification);
}
