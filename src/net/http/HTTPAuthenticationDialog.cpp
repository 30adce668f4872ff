// The credentials sheet of the HTTP client: the shared dialog, its waiting list, the sheet's layout and
// its buttons.
#include "net/http/HTTPAuthenticationDialog.h"

#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/Perform.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "platform/foundation/NSString.h"

namespace {

// The dialog on screen and the requests waiting for one (main thread only).
struct DialogState {
    Ref<HTTPAuthenticationDialog> shared;
    std::vector<Ref<HTTPRequest>> waiting;
};

DialogState& state()
{
    static DialogState* const s = new DialogState;  // lives for the process
    return *s;
}

bool isTablet()
{
    return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad;
}

void removeWaiting(const Ref<HTTPRequest>& request)
{
    auto& waiting = state().waiting;
    std::erase(waiting, request);
}

}  // namespace

// ---- The shared dialog ---------------------------------------------------------------------------------

Ref<HTTPAuthenticationDialog> HTTPAuthenticationDialog::sharedDialog()
{
    return state().shared;
}

std::vector<Ref<HTTPRequest>> HTTPAuthenticationDialog::requestsNeedingAuthentication()
{
    return state().waiting;
}

void HTTPAuthenticationDialog::presentAuthenticationDialogForRequest(const Ref<HTTPRequest>& theRequest)
{
    if (!theRequest) {
        return;
    }
    DialogState& s = state();
    if (s.shared) {
        if (std::find(s.waiting.begin(), s.waiting.end(), theRequest) == s.waiting.end() &&
            s.shared->request() != theRequest) {
            s.waiting.push_back(theRequest);
        }
        return;
    }
    auto dialog = make<HTTPAuthenticationDialog>();
    dialog->request_ = theRequest;
    dialog->type_ = theRequest->authenticationNeeded() == 2 ? 1 : 0;
    s.shared = dialog;
    dialog->show();
}

void HTTPAuthenticationDialog::presentNextDialog()
{
    DialogState& s = state();
    if (s.waiting.empty() || s.shared) {
        return;
    }
    Ref<HTTPRequest> next = s.waiting.front();
    s.waiting.erase(s.waiting.begin());
    presentAuthenticationDialogForRequest(next);
}

void HTTPAuthenticationDialog::dismissSharedDialog()
{
    if (Ref<HTTPAuthenticationDialog> dialog = state().shared) {
        dialog->dismiss();
    }
}

// ---- Life --------------------------------------------------------------------------------------------

void HTTPAuthenticationDialog::initBody()
{
    HTTPAutorotatingViewController::initBody();
    auto me = self<HTTPAuthenticationDialog>();
    Ref<NSNotificationCenter> center = NSNotificationCenter::defaultCenter();
    center->addObserver_selector_name_object(me, &HTTPAuthenticationDialog::keyboardWillShow,
                                             UIKeyboardWillShowNotification);
    if (!isTablet()) {
        Ref<UIDevice> device = UIDevice::currentDevice();
        if (!device->isGeneratingDeviceOrientationNotifications()) {
            device->beginGeneratingDeviceOrientationNotifications();
            didEnableRotationNotifications_ = true;
        }
        center->addObserver_selector_name_object(me, &HTTPAuthenticationDialog::orientationChanged,
                                                 UIDeviceOrientationDidChangeNotification);
    }
}

HTTPAuthenticationDialog::~HTTPAuthenticationDialog()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (didEnableRotationNotifications_) {
        UIDevice::currentDevice()->endGeneratingDeviceOrientationNotifications();
    }
    if (presentingController_ && presentingController_->isViewLoaded()) {
        presentingController_->view()->removeFromSuperview();
    }
}

Ref<UIViewController> HTTPAuthenticationDialog::presentingController()
{
    if (!presentingController_) {
        presentingController_ = HTTPAutorotatingViewController::create();
        std::vector<Ref<UIWindow>> windows = UIApplication::sharedApplication()->windows();
        if (!windows.empty()) {
            Ref<UIView> view = presentingController_->view();
            view->setFrame(CGRectZero);
            view->setUserInteractionEnabled(false);
            windows.front()->addSubview(view);
        }
    }
    return presentingController_;
}

// ---- The sheet -----------------------------------------------------------------------------------------

std::string HTTPAuthenticationDialog::scheme() const
{
    if (!request_) {
        return std::string();
    }
    return type_ == 1 ? request_->proxyAuthenticationScheme() : request_->authenticationScheme();
}

bool HTTPAuthenticationDialog::needsDomain() const
{
    return scheme() == kCFHTTPAuthenticationSchemeNTLM;
}

void HTTPAuthenticationDialog::setupTitle()
{
    Ref<UINavigationItem> item = navigationBar_ ? navigationBar_->topItem() : nullptr;
    if (!item) {
        return;
    }
    const UIDeviceOrientation orientation = UIDevice::currentDevice()->orientation();
    const bool landscape =
        orientation == UIDeviceOrientationLandscapeLeft || orientation == UIDeviceOrientationLandscapeRight;
    if (landscape) {
        item->setPrompt(std::string());
    } else {
        item->setPrompt(type_ == 1 ? "Login to this secure proxy server." : "Login to this secure server.");
    }
}

void HTTPAuthenticationDialog::show()
{
    auto me = self<HTTPAuthenticationDialog>();
    std::vector<Ref<UIWindow>> windows = UIApplication::sharedApplication()->windows();
    if (windows.empty() || windows.front()->isHidden()) {
        // Nobody could ever answer a sheet that cannot be seen: the requests give up (code 3) rather
        // than wait for ever, and the next one gets its turn.
        cancelAuthenticationFromDialog(nullptr);
        return;
    }
    Ref<UIView> root = view();
    for (const Ref<UIView>& subview : std::vector<Ref<UIView>>(root->subviews())) {
        subview->removeFromSuperview();
    }
    const CGRect bounds = root->bounds();

    navigationBar_ = UINavigationBar::initWithFrame(CGRectMake(0, 0, bounds.size.width, 44));
    navigationBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    Ref<NSURL> theURL = request_->url();
    auto item = UINavigationItem::initWithTitle(type_ == 1 ? request_->proxyHost()
                                                           : (theURL ? theURL->host() : std::string()));
    item->setLeftBarButtonItem(UIBarButtonItem::initWithBarButtonSystemItem_target_action(
        UIBarButtonSystemItemCancel, me,
        UISelector::make("cancelAuthenticationFromDialog:", &HTTPAuthenticationDialog::cancelAuthenticationFromDialog)));
    item->setRightBarButtonItem(UIBarButtonItem::initWithTitle_style_target_action(
        "Login", UIBarButtonItemStyleDone, me,
        UISelector::make("loginWithCredentialsFromDialog:", &HTTPAuthenticationDialog::loginWithCredentialsFromDialog)));
    navigationBar_->setItems({item});
    root->addSubview(navigationBar_);
    setupTitle();

    const CGFloat top = navigationBar_->frame().size.height;
    tableView_ = UITableView::initWithFrame_style(
        CGRectMake(0, top, bounds.size.width, bounds.size.height - top), UITableViewStyleGrouped);
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    tableView_->setDataSource(std::static_pointer_cast<UITableViewDataSource>(me));
    tableView_->setDelegate(std::static_pointer_cast<UITableViewDelegate>(me));
    root->addSubview(tableView_);
    tableView_->reloadData();
    tableView_->layoutIfNeeded();

    if (isTablet()) {
        setModalPresentationStyle(UIModalPresentationFormSheet);
    }
    presentingController()->presentModalViewController_animated(me, true);
    if (Ref<UITextField> field = usernameField()) {
        field->becomeFirstResponder();
    }
}

void HTTPAuthenticationDialog::dismiss()
{
    auto me = self<HTTPAuthenticationDialog>();
    // Without a window to show in, no disappearance will be heard: the turn passes on at once.
    const bool onShow = isVisible();
    if (Ref<UIViewController> parent = parentViewController()) {
        parent->dismissModalViewControllerAnimated(true);
    }
    if (!onShow) {
        didGoAway();
    }
}

void HTTPAuthenticationDialog::viewDidDisappear(bool animated)
{
    HTTPAutorotatingViewController::viewDidDisappear(animated);
    didGoAway();
}

void HTTPAuthenticationDialog::didGoAway()
{
    auto me = self<HTTPAuthenticationDialog>();  // alive until this step ends
    DialogState& s = state();
    if (s.shared == me) {
        s.shared = nullptr;
    }
    performSelectorAfterDelay(PerformRequest{this, "presentNextDialog", nullptr},
                              [] { HTTPAuthenticationDialog::presentNextDialog(); }, 0);
}

// ---- The buttons ---------------------------------------------------------------------------------------

std::vector<Ref<HTTPRequest>> HTTPAuthenticationDialog::requestsRequiringTheseCredentials()
{
    std::vector<Ref<HTTPRequest>> served;
    if (!request_) {
        return served;
    }
    Ref<NSURL> theURL = request_->url();
    const int needed = request_->authenticationNeeded();
    const std::string realm = type_ == 1 ? request_->proxyAuthenticationRealm() : request_->authenticationRealm();
    for (const Ref<HTTPRequest>& waiting : state().waiting) {
        Ref<NSURL> otherURL = waiting->url();
        if (waiting == request_ || waiting->authenticationNeeded() != needed || !theURL || !otherURL) {
            continue;
        }
        const std::string otherRealm =
            type_ == 1 ? waiting->proxyAuthenticationRealm() : waiting->authenticationRealm();
        if (NSString::asciiLowercaseString(otherURL->host()) == NSString::asciiLowercaseString(theURL->host()) && otherURL->port() == theURL->port() &&
            NSString::asciiLowercaseString(otherURL->scheme()) == NSString::asciiLowercaseString(theURL->scheme()) && otherRealm == realm) {
            served.push_back(waiting);
        }
    }
    served.push_back(request_);
    return served;
}

void HTTPAuthenticationDialog::loginWithCredentialsFromDialog(const Ref<NSObject>&)
{
    auto me = self<HTTPAuthenticationDialog>();
    Ref<UITextField> userField = usernameField();
    Ref<UITextField> passField = passwordField();
    const std::string user = userField ? userField->text() : std::string();
    const std::string pass = passField ? passField->text() : std::string();
    std::string accountDomain;
    if (needsDomain()) {
        Ref<UITextField> field = domainField();
        accountDomain = field ? field->text() : std::string();
    }
    for (const Ref<HTTPRequest>& served : requestsRequiringTheseCredentials()) {
        if (type_ == 1) {
            served->setProxyUsername(user);
            served->setProxyPassword(pass);
            if (needsDomain()) {
                served->setProxyDomain(accountDomain);
            }
        } else {
            served->setUsername(user);
            served->setPassword(pass);
            if (needsDomain()) {
                served->setDomain(accountDomain);
            }
        }
        served->retryUsingSuppliedCredentials();
        removeWaiting(served);
    }
    dismiss();
}

void HTTPAuthenticationDialog::cancelAuthenticationFromDialog(const Ref<NSObject>&)
{
    auto me = self<HTTPAuthenticationDialog>();
    for (const Ref<HTTPRequest>& served : requestsRequiringTheseCredentials()) {
        served->cancelAuthentication();
        removeWaiting(served);
    }
    dismiss();
}

// ---- Screen handling -----------------------------------------------------------------------------------

void HTTPAuthenticationDialog::keyboardWillShow(const Ref<NSNotification>& notification)
{
    if (isTablet() || !tableView_) {
        return;
    }
    auto frame = notification->userInfo()[UIKeyboardFrameEndUserInfoKey].object<UIGeometryValue>();
    if (!frame) {
        return;
    }
    const UIEdgeInsets insets = UIEdgeInsetsMake(0, 0, frame->CGRectValue().size.height, 0);
    tableView_->setContentInset(insets);
    tableView_->setScrollIndicatorInsets(insets);
}

void HTTPAuthenticationDialog::orientationChanged(const Ref<NSNotification>&)
{
    setupTitle();
    const UIInterfaceOrientation orientation = UIApplication::sharedApplication()->statusBarOrientation();
    double angle = 0;
    bool landscape = false;
    if (orientation == UIInterfaceOrientationPortraitUpsideDown) {
        angle = M_PI;
    } else if (orientation == 3) {
        angle = M_PI / 2;
        landscape = true;
    } else if (orientation == 4) {
        angle = -M_PI / 2;
        landscape = true;
    }
    Ref<UIView> root = view();
    CGRect frame = UIScreen::mainScreen()->applicationFrame();
    if (landscape) {
        std::swap(frame.size.width, frame.size.height);
    }
    UIView::animateWithDuration_animations(0.3, [root, angle, frame] {
        root->setTransform(CGAffineTransformMakeRotation(angle));
        root->setFrame(frame);
    });
}

// ---- The table -----------------------------------------------------------------------------------------

NSInteger HTTPAuthenticationDialog::numberOfSectionsInTableView(const Ref<UITableView>&)
{
    return needsDomain() ? 2 : 1;
}

NSInteger HTTPAuthenticationDialog::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger section)
{
    return section == 0 ? 2 : 1;
}

Ref<UITableViewCell> HTTPAuthenticationDialog::tableView_cellForRowAtIndexPath(const Ref<UITableView>&,
                                                                               const Ref<NSIndexPath>& indexPath)
{
    auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleDefault, std::string());
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    Ref<UIView> content = cell->contentView();
    auto field = UITextField::initWithFrame(CGRectInset(content->bounds(), 10, 10));
    field->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    field->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    field->setAutocorrectionType(UITextAutocorrectionTypeNo);
    const NSInteger section = indexPath->section();
    const NSInteger row = indexPath->row();
    if (section == 0) {
        field->setPlaceholder(row == 0 ? "User" : "Password");
        field->setSecureTextEntry(row == 1);
    } else {
        field->setPlaceholder("Domain");
    }
    content->addSubview(field);
    return cell;
}

std::string HTTPAuthenticationDialog::tableView_titleForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    if (section != 0 || !request_) {
        return std::string();
    }
    return type_ == 1 ? request_->proxyAuthenticationRealm() : request_->authenticationRealm();
}

CGFloat HTTPAuthenticationDialog::tableView_heightForHeaderInSection(const Ref<UITableView>&, NSInteger section)
{
    if (section != 0) {
        return 0;
    }
    return isTablet() ? 54 : 30;
}

std::string HTTPAuthenticationDialog::tableView_titleForFooterInSection(const Ref<UITableView>& table,
                                                                        NSInteger section)
{
    if (section != numberOfSectionsInTableView(table) - 1 || !request_) {
        return std::string();
    }
    // A proxy is reached without TLS here, so Basic credentials for it always travel in the clear.
    Ref<NSURL> theURL = request_->url();
    const bool https = type_ == 0 && theURL && NSString::asciiLowercaseString(theURL->scheme()) == "https";
    if (scheme() == kCFHTTPAuthenticationSchemeBasic && !https) {
        return "Password will be sent in the clear.";
    }
    return "Password will be sent securely.";
}

CGFloat HTTPAuthenticationDialog::tableView_heightForFooterInSection(const Ref<UITableView>& table, NSInteger section)
{
    return section == numberOfSectionsInTableView(table) - 1 ? 30 : 0;
}

Ref<UITextField> HTTPAuthenticationDialog::textFieldInRow_section(NSInteger row, NSInteger section)
{
    if (!tableView_) {
        return nullptr;
    }
    Ref<UITableViewCell> cell = tableView_->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(row, section));
    if (!cell || cell->contentView()->subviews().empty()) {
        return nullptr;
    }
    return std::dynamic_pointer_cast<UITextField>(cell->contentView()->subviews().front());
}
