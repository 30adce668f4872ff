#include "social/AboutViewController.h"

#include "api/PZRequest.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationItem.h"
#include "social/ScreenEdition.h"

std::string AboutViewController::editionPageAddress()
{
    return PZRequest::apiBaseURL() + stringWithFormat("oem.html?vend=%@", ScreenEdition::word());
}

void AboutViewController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    setTitle("关于");
    navigationItem()->setLeftBarButtonItem(UIBarButtonItem::initWithImage_style_target_action(
        UIImage::imageNamed("back-arrow"), UIBarButtonItemStylePlain, self<NSObject>(),
        UISelector::make("back", &AboutViewController::back)));
    auto web = UIWebView::initWithFrame(CGRectMake(0, 0, 320, 416));
    web->setScalesPageToFit(true);
    if (url_) {
        web->loadRequest(NSURLRequest::requestWithURL(url_));
    }
    view()->addSubview(web);
    webView_ = web;
}

void AboutViewController::back() { dismissModalViewControllerAnimated(true); }
