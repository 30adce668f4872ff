#pragma once
// The category UIImageView(WebCache): an image view that shows the image of a URL, through the shared
// WebImageManager (memory, disk, one download per URL).
//
//   WebCache::setImageWithURL_placeholderImage(cell->imageView(), url, UIImage::imageNamed("default_cover"));
//
// Each call replaces whatever the view waited for: the placeholder shows at once (nil clears the
// image), a cached image in memory shows before the call returns, otherwise the image shows when it
// arrives, on the main thread. A view given another URL, or cancelled, never shows the old URL's image
// afterwards. A failed load leaves the placeholder. Main thread only.
//
// The view's side of the manager is a small helper attached to the view (an associated object), which
// holds the view weakly; managerDelegate(view) is that helper.
#include "net/webimage/WebImageManager.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"

namespace WebCache {

void setImageWithURL(const Ref<UIImageView>& view, const Ref<NSURL>& url);
void setImageWithURL_placeholderImage(const Ref<UIImageView>& view, const Ref<NSURL>& url,
                                      const Ref<UIImage>& placeholder);
void cancelCurrentImageLoad(const Ref<UIImageView>& view);
// What the manager tells the view: it shows the image.
void webImageManager_didFinishWithImage(const Ref<UIImageView>& view, WebImageManager* manager,
                                        const Ref<UIImage>& image);

// The delegate that stands for the view with the manager (made on first use).
Ref<WebImageManagerDelegate> managerDelegate(const Ref<UIImageView>& view);

}  // namespace WebCache
