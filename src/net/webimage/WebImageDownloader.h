#pragma once
// WebImageDownloader: one download of an image, through the platform's URL loading on the main run
// loop, decoded when it ends.
//
//   auto downloader = WebImageDownloader::downloaderWithURL_delegate(url, delegate);   // started
//   ...
//   downloader->cancel();
//
// The request ignores locally cached data and times out after kTimeoutInterval seconds without
// activity. The connection is scheduled on the main run loop in the common modes and everything is
// delivered there. "WebImageDownloadStartNotification" is posted when the connection is made,
// "WebImageDownloadStopNotification" when it ends, fails or is cancelled (the downloader is the
// notification's object).
//
// The delegate is not retained. At the end it hears imageDownloaderDidFinish, then
// imageDownloader_didFinishWithImage with the image decoded from all the bytes received (nil when
// they are no image); on a failure imageDownloader_didFailWithError. After cancel() it hears nothing.
// The connection keeps the downloader alive until it has ended.
//
// A picture's body is capped (maxImageBytes, for every downloader): a reply that announces more, or
// keeps sending past it (an endless chunked body), is cancelled and fails with
// NSURLErrorDataLengthExceedsMaximum, instead of filling memory.
#include <atomic>
#include <string>

#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIImage.h"

inline constexpr char WebImageDownloadStartNotification[] = "WebImageDownloadStartNotification";
inline constexpr char WebImageDownloadStopNotification[] = "WebImageDownloadStopNotification";

class WebImageDownloader;

// Every message optional.
class WebImageDownloaderDelegate {
public:
    virtual ~WebImageDownloaderDelegate() = default;
    virtual void imageDownloaderDidFinish(WebImageDownloader* downloader) {}
    virtual void imageDownloader_didFinishWithImage(WebImageDownloader* downloader, const Ref<UIImage>& image) {}
    virtual void imageDownloader_didFailWithError(WebImageDownloader* downloader, const Ref<NSError>& error) {}
};

class WebImageDownloader : public NSObject, public NSURLConnectionDelegate {
public:
    static constexpr double kTimeoutInterval = 15.0;

    // A started downloader. It starts on the main thread; called from another thread, the caller waits
    // until it has started.
    static Ref<WebImageDownloader> downloaderWithURL_delegate(const Ref<NSURL>& url,
                                                              const Ref<WebImageDownloaderDelegate>& delegate)
    {
        return downloaderWithURL_delegate_userInfo(url, delegate, Value());
    }
    static Ref<WebImageDownloader> downloaderWithURL_delegate_userInfo(const Ref<NSURL>& url,
                                                                       const Ref<WebImageDownloaderDelegate>& delegate,
                                                                       const Value& userInfo);
    // Kept for callers of the old interface; downloads are not limited.
    static void setMaxConcurrentDownloads(NSUInteger max) {}
    // The most bytes a picture's body may have (no picture the service shows comes near it).
    static constexpr NSUInteger kDefaultMaxImageBytes = 8 * 1024 * 1024;
    static NSUInteger maxImageBytes() { return maxImageBytes_.load(); }
    static void setMaxImageBytes(NSUInteger bytes) { maxImageBytes_.store(bytes); }

    // Cancels the connection (when one is running) and posts the stop notification.
    void cancel();

    const Ref<NSURL>& url() const { return url_; }
    Weak<WebImageDownloaderDelegate> delegate() const { return delegate_; }
    void setDelegate(const Ref<WebImageDownloaderDelegate>& delegate) { delegate_ = delegate; }
    const Ref<NSURLConnection>& connection() const { return connection_; }
    // The bytes received so far.
    const NSData& imageData() const { return imageData_; }
    const Value& userInfo() const { return userInfo_; }

    // NSURLConnectionDelegate
    void connection_didReceiveResponse(NSURLConnection* connection, const Ref<NSURLResponse>& response) override;
    void connection_didReceiveData(NSURLConnection* connection, const NSData& data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connection_didFailWithError(NSURLConnection* connection, const Ref<NSError>& error) override;

    // Use the factories.
    WebImageDownloader() = default;

private:
    void start();
    void postNotification(const char* name);
    // Cancels the connection and fails: the body is larger than maxImageBytes.
    void failTooLarge();

    static inline std::atomic<NSUInteger> maxImageBytes_{kDefaultMaxImageBytes};

    Ref<NSURL> url_;
    Weak<WebImageDownloaderDelegate> delegate_;
    Ref<NSURLConnection> connection_;
    NSData imageData_;
    Value userInfo_;
};
