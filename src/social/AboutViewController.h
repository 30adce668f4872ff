#pragma once
// The about page: the service's web page about this edition in a plain web view, presented modally in
// the custom navigation controller by the menu.
#include <string>

#include "api/PZViewController.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIWebView.h"

class AboutViewController : public PZViewController {
public:
    static Ref<AboutViewController> create() { return make<AboutViewController>(); }
    // The about page of the edition on the service's web host: "oem.html?vend=<edition word>".
    static std::string editionPageAddress();

    Ref<NSURL> url() const { return url_; }
    void setUrl(const Ref<NSURL>& url) { url_ = url; }
    Ref<UIWebView> webView() const { return webView_.lock(); }

    // Closes the modal page.
    void back();

    void viewDidLoad() override;

private:
    Ref<NSURL> url_;
    Weak<UIWebView> webView_;
};
