#include "net/webimage/UIImageViewWebCache.h"

namespace {

const char kManagerDelegateKey = 0;

class ImageViewManagerDelegate : public NSObject, public WebImageManagerDelegate {
public:
    explicit ImageViewManagerDelegate(const Ref<UIImageView>& view) : view_(view) {}

    void webImageManager_didFinishWithImage(WebImageManager* manager, const Ref<UIImage>& image) override
    {
        if (auto view = view_.lock()) {
            WebCache::webImageManager_didFinishWithImage(view, manager, image);
        }
    }

private:
    Weak<UIImageView> view_;
};

}  // namespace

namespace WebCache {

Ref<WebImageManagerDelegate> managerDelegate(const Ref<UIImageView>& view)
{
    if (!view) {
        return nullptr;
    }
    if (auto helper = view->associatedObject<ImageViewManagerDelegate>(&kManagerDelegateKey)) {
        return helper;
    }
    auto helper = std::make_shared<ImageViewManagerDelegate>(view);
    view->setAssociatedObject(&kManagerDelegateKey, helper);
    return helper;
}

void setImageWithURL(const Ref<UIImageView>& view, const Ref<NSURL>& url)
{
    setImageWithURL_placeholderImage(view, url, nullptr);
}

void setImageWithURL_placeholderImage(const Ref<UIImageView>& view, const Ref<NSURL>& url,
                                      const Ref<UIImage>& placeholder)
{
    if (!view) {
        return;
    }
    auto manager = WebImageManager::sharedManager();
    auto delegate = managerDelegate(view);
    manager->cancelForDelegate(delegate);
    view->setImage(placeholder);
    if (url) {
        manager->downloadWithURL_delegate(url, delegate);
    }
}

void cancelCurrentImageLoad(const Ref<UIImageView>& view)
{
    if (!view) {
        return;
    }
    WebImageManager::sharedManager()->cancelForDelegate(managerDelegate(view));
}

void webImageManager_didFinishWithImage(const Ref<UIImageView>& view, WebImageManager*, const Ref<UIImage>& image)
{
    if (view) {
        view->setImage(image);
    }
}

}  // namespace WebCache
