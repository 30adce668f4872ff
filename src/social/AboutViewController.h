#pragma once
// AboutViewController (stand-in until the about page lands): keeps the page's URL, shows nothing.
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIViewController.h"

class AboutViewController : public UIViewController {
public:
    static Ref<AboutViewController> create() { return make<AboutViewController>(); }

    Ref<NSURL> url() const { return url_; }
    void setUrl(const Ref<NSURL>& url) { url_ = url; }

    AboutViewController() = default;

private:
    Ref<NSURL> url_;
};
