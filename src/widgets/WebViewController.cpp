#include "widgets/WebViewController.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIPasteboard.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIToolbar.h"

namespace {
namespace WebViewController_cpp {

constexpr char kCopyLink[] = "Copy Link";
constexpr char kOpenInSafari[] = "Open in Safari";
constexpr char kMailLink[] = "Mail Link to this Page";
constexpr char kCancel[] = "Cancel";

std::string localized(const char* key)
{
    return NSBundle::mainBundle()->localizedStringForKey_value_table(key, "", "");
}

Ref<UIBarButtonItem> space(UIBarButtonSystemItem kind, CGFloat width = 0)
{
    auto item = UIBarButtonItem::initWithBarButtonSystemItem_target_action(kind, nullptr, UISelector());
    if (width > 0) {
        item->setWidth(width);
    }
    return item;
}

void setNetworkActivity(bool visible) { UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(visible); }

}  // namespace WebViewController_cpp
}  // namespace

// ---- WebViewController ---------------------------------------------------------------------------

Ref<WebViewController> WebViewController::initWithURL(const Ref<NSURL>& url)
{
    auto controller = std::make_shared<WebViewController>();
    controller->initWithURLBody(url);
    return controller;
}

Ref<WebViewController> WebViewController::initWithAddress(const std::string& address)
{
    return initWithURL(NSURL::URLWithString(address));
}

void WebViewController::initWithURLBody(const Ref<NSURL>& url)
{
    initBody();
    URL_ = url;
    availableActions_ = WebPageActionOpenInSafari | WebPageActionMailLink;
}

WebViewController::~WebViewController()
{
    if (mainWebView_) {
        mainWebView_->setDelegate(nullptr);
        mainWebView_->stopLoading();
    }
    WebViewController_cpp::setNetworkActivity(false);
}

bool WebViewController::isTablet() const
{
    return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad;
}

Ref<UIBarButtonItem> WebViewController::backBarButtonItem()
{
    if (!backBarButtonItem_) {
        backBarButtonItem_ = UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("WebViewController.bundle/iPhone/back"), UIBarButtonItemStylePlain, self<NSObject>(),
            UISelector::make("goBackClicked:", &WebViewController::goBackClicked));
        backBarButtonItem_->setImageInsets(UIEdgeInsetsMake(2, 0, -2, 0));
        backBarButtonItem_->setWidth(18);
    }
    return backBarButtonItem_;
}

Ref<UIBarButtonItem> WebViewController::forwardBarButtonItem()
{
    if (!forwardBarButtonItem_) {
        forwardBarButtonItem_ = UIBarButtonItem::initWithImage_style_target_action(
            UIImage::imageNamed("WebViewController.bundle/iPhone/forward"), UIBarButtonItemStylePlain,
            self<NSObject>(), UISelector::make("goForwardClicked:", &WebViewController::goForwardClicked));
        forwardBarButtonItem_->setImageInsets(UIEdgeInsetsMake(2, 0, -2, 0));
        forwardBarButtonItem_->setWidth(18);
    }
    return forwardBarButtonItem_;
}

Ref<UIBarButtonItem> WebViewController::refreshBarButtonItem()
{
    if (!refreshBarButtonItem_) {
        refreshBarButtonItem_ = UIBarButtonItem::initWithBarButtonSystemItem_target_action(
            UIBarButtonSystemItemRefresh, self<NSObject>(),
            UISelector::make("reloadClicked:", &WebViewController::reloadClicked));
    }
    return refreshBarButtonItem_;
}

Ref<UIBarButtonItem> WebViewController::stopBarButtonItem()
{
    if (!stopBarButtonItem_) {
        stopBarButtonItem_ = UIBarButtonItem::initWithBarButtonSystemItem_target_action(
            UIBarButtonSystemItemStop, self<NSObject>(), UISelector::make("stopClicked:", &WebViewController::stopClicked));
    }
    return stopBarButtonItem_;
}

Ref<UIBarButtonItem> WebViewController::actionBarButtonItem()
{
    if (!actionBarButtonItem_) {
        actionBarButtonItem_ = UIBarButtonItem::initWithBarButtonSystemItem_target_action(
            UIBarButtonSystemItemAction, self<NSObject>(),
            UISelector::make("actionButtonClicked:", &WebViewController::actionButtonClicked));
    }
    return actionBarButtonItem_;
}

Ref<UIActionSheet> WebViewController::pageActionSheet()
{
    using namespace WebViewController_cpp;
    if (pageActionSheet_) {
        return pageActionSheet_;
    }
    Ref<NSURLRequest> request = mainWebView_ ? mainWebView_->request() : nullptr;
    std::string title = request && request->URL() ? request->URL()->absoluteString() : "";
    pageActionSheet_ = UIActionSheet::initWithTitle_delegate_cancelButtonTitle_destructiveButtonTitle_otherButtonTitles(
        title, self<WebViewController>(), "", "", {});
    if (availableActions_ & WebPageActionCopyLink) {
        pageActionSheet_->addButtonWithTitle(localized(kCopyLink));
    }
    if (availableActions_ & WebPageActionOpenInSafari) {
        pageActionSheet_->addButtonWithTitle(localized(kOpenInSafari));
    }
    if (MFMailComposeViewController::canSendMail() && (availableActions_ & WebPageActionMailLink)) {
        pageActionSheet_->addButtonWithTitle(localized(kMailLink));
    }
    pageActionSheet_->setCancelButtonIndex(pageActionSheet_->addButtonWithTitle(localized(kCancel)));
    return pageActionSheet_;
}

void WebViewController::loadView()
{
    mainWebView_ = UIWebView::initWithFrame(UIScreen::mainScreen()->bounds());
    mainWebView_->setDelegate(self<WebViewController>());
    mainWebView_->setScalesPageToFit(true);
    setView(mainWebView_);
    mainWebView_->loadRequest(NSURLRequest::requestWithURL(URL_));
}

void WebViewController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    updateToolbarItems();
}

void WebViewController::viewDidUnload()
{
    UIViewController::viewDidUnload();
    if (mainWebView_) {
        mainWebView_->setDelegate(nullptr);
        mainWebView_->stopLoading();
    }
    mainWebView_ = nullptr;
    backBarButtonItem_ = nullptr;
    forwardBarButtonItem_ = nullptr;
    refreshBarButtonItem_ = nullptr;
    stopBarButtonItem_ = nullptr;
    actionBarButtonItem_ = nullptr;
    pageActionSheet_ = nullptr;
}

void WebViewController::viewWillAppear(bool animated)
{
    NSAssert(navigationController() != nullptr,
             "WebViewController needs to be contained in a UINavigationController. If you are presenting "
             "WebViewController modally, use ModalWebViewController instead.");
    UIViewController::viewWillAppear(animated);
    if (!isTablet()) {
        navigationController()->setToolbarHidden_animated(false, animated);
    }
}

void WebViewController::viewWillDisappear(bool animated)
{
    UIViewController::viewWillDisappear(animated);
    if (!isTablet()) {
        if (auto navigation = navigationController()) {
            navigation->setToolbarHidden_animated(true, animated);
        }
    }
}

bool WebViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return isTablet() || orientation != UIInterfaceOrientationPortraitUpsideDown;
}

void WebViewController::updateToolbarItems()
{
    using namespace WebViewController_cpp;
    const bool loading = mainWebView_ && mainWebView_->isLoading();
    backBarButtonItem()->setEnabled(mainWebView_ && mainWebView_->canGoBack());
    forwardBarButtonItem()->setEnabled(mainWebView_ && mainWebView_->canGoForward());
    actionBarButtonItem()->setEnabled(!loading);
    Ref<UIBarButtonItem> refreshOrStop = loading ? stopBarButtonItem() : refreshBarButtonItem();
    Ref<UIBarButtonItem> fixed = space(UIBarButtonSystemItemFixedSpace, 5);
    Ref<UIBarButtonItem> flexible = space(UIBarButtonSystemItemFlexibleSpace);
    const bool someActions = availableActions_ != 0;

    if (!isTablet()) {
        if (someActions) {
            setToolbarItems({fixed, backBarButtonItem(), flexible, forwardBarButtonItem(), flexible, refreshOrStop,
                             flexible, actionBarButtonItem(), fixed});
        } else {
            setToolbarItems(
                {flexible, backBarButtonItem(), flexible, forwardBarButtonItem(), flexible, refreshOrStop, flexible});
        }
        return;
    }
    std::vector<Ref<UIBarButtonItem>> items;
    CGFloat width;
    if (someActions) {
        width = 250;
        items = {fixed,    refreshOrStop,          flexible, backBarButtonItem(), flexible, forwardBarButtonItem(),
                 flexible, actionBarButtonItem(), fixed};
    } else {
        width = 200;
        items = {fixed, refreshOrStop, flexible, backBarButtonItem(), flexible, forwardBarButtonItem(), fixed};
    }
    auto toolbar = UIToolbar::initWithFrame(CGRectMake(0, 0, width, 44));
    toolbar->setItems(std::move(items));
    navigationItem()->setRightBarButtonItem(UIBarButtonItem::initWithCustomView(toolbar));
}

void WebViewController::goBackClicked(const Ref<UIBarButtonItem>&)
{
    if (mainWebView_) mainWebView_->goBack();
}

void WebViewController::goForwardClicked(const Ref<UIBarButtonItem>&)
{
    if (mainWebView_) mainWebView_->goForward();
}

void WebViewController::reloadClicked(const Ref<UIBarButtonItem>&)
{
    if (mainWebView_) mainWebView_->reload();
}

void WebViewController::stopClicked(const Ref<UIBarButtonItem>&)
{
    if (mainWebView_) mainWebView_->stopLoading();
    WebViewController_cpp::setNetworkActivity(false);
    updateToolbarItems();
}

void WebViewController::actionButtonClicked(const Ref<NSObject>&)
{
    if (pageActionSheet_) {
        return;  // the sheet is up
    }
    Ref<UIActionSheet> sheet = pageActionSheet();
    if (isTablet()) {
        sheet->showFromBarButtonItem_animated(actionBarButtonItem(), true);
    } else if (auto navigation = navigationController()) {
        sheet->showFromToolbar(navigation->toolbar());
    }
}

void WebViewController::doneButtonClicked(const Ref<NSObject>&) { dismissModalViewControllerAnimated(true); }

void WebViewController::webViewDidStartLoad(const Ref<UIWebView>&)
{
    WebViewController_cpp::setNetworkActivity(true);
    updateToolbarItems();
}

void WebViewController::webViewDidFinishLoad(const Ref<UIWebView>& webView)
{
    WebViewController_cpp::setNetworkActivity(false);
    navigationItem()->setTitle(webView->stringByEvaluatingJavaScriptFromString("document.title"));
    updateToolbarItems();
}

void WebViewController::webView_didFailLoadWithError(const Ref<UIWebView>&, const Ref<NSError>&)
{
    WebViewController_cpp::setNetworkActivity(false);
    updateToolbarItems();
}

void WebViewController::actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex)
{
    using namespace WebViewController_cpp;
    const std::string title = actionSheet->buttonTitleAtIndex(buttonIndex);
    Ref<NSURLRequest> request = mainWebView_ ? mainWebView_->request() : nullptr;
    Ref<NSURL> url = request ? request->URL() : nullptr;

    // Each entry is matched by its own title: Cancel, and anything else, does nothing.
    if (title == localized(kOpenInSafari)) {
        if (url) {
            UIApplication::sharedApplication()->openURL(url);
        }
    } else if (title == localized(kCopyLink)) {
        if (url) {
            UIPasteboard::generalPasteboard()->setString(url->absoluteString());
        }
    } else if (title == localized(kMailLink)) {
        auto composer = MFMailComposeViewController::create();
        composer->setMailComposeDelegate(self<WebViewController>());
        composer->setSubject(mainWebView_ ? mainWebView_->stringByEvaluatingJavaScriptFromString("document.title") : "");
        composer->setMessageBody_isHTML(url ? url->absoluteString() : "", false);
        composer->setModalPresentationStyle(UIModalPresentationFormSheet);
        presentModalViewController_animated(composer, true);
    }
    pageActionSheet_ = nullptr;
}

void WebViewController::mailComposeController_didFinishWithResult_error(
    const Ref<MFMailComposeViewController>& controller, MFMailComposeResult, const Ref<NSError>&)
{
    // Sent to the composer, the dismissal reaches whoever presented it and closes only the composer.
    controller->dismissModalViewControllerAnimated(true);
}

// ---- ModalWebViewController ----------------------------------------------------------------------

Ref<ModalWebViewController> ModalWebViewController::initWithURL(const Ref<NSURL>& url)
{
    auto controller = std::make_shared<ModalWebViewController>();
    controller->initWithURLBody(url);
    return controller;
}

Ref<ModalWebViewController> ModalWebViewController::initWithAddress(const std::string& address)
{
    return initWithURL(NSURL::URLWithString(address));
}

void ModalWebViewController::initWithURLBody(const Ref<NSURL>& url)
{
    Ref<WebViewController> browser = WebViewController::initWithURL(url);
    webViewController_ = browser;
    initWithRootViewControllerBody(browser);
    auto done = UIBarButtonItem::initWithBarButtonSystemItem_target_action(
        UIBarButtonSystemItemDone, browser, UISelector::make("doneButtonClicked:", &WebViewController::doneButtonClicked));
    browser->navigationItem()->setLeftBarButtonItem(done);
}

void ModalWebViewController::setAvailableActions(unsigned actions)
{
    availableActions_ = actions;
    if (auto browser = webViewController()) {
        browser->setAvailableActions(actions);
    }
}

void ModalWebViewController::viewWillAppear(bool animated)
{
    UINavigationController::viewWillAppear(animated);
    navigationBar()->setTintColor(barsTintColor_);
    toolbar()->setTintColor(barsTintColor_);
}
