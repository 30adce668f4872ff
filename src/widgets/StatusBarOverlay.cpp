#include "widgets/StatusBarOverlay.h"

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextView.h"

const unsigned char Silver_Base_png[] = {0};
const unsigned int Silver_Base_png_len = 0;
const unsigned char Silver_Base_Shrinked_png[] = {0};
const unsigned int Silver_Base_Shrinked_png_len = 0;
const unsigned char Silver_Base_2x_png[] = {0};
const unsigned int Silver_Base_2x_png_len = 0;
const unsigned char Silver_Base_Shrinked_2x_png[] = {0};
const unsigned int Silver_Base_Shrinked_2x_png_len = 0;
const unsigned char* StatusBarBackgroundImageArray(bool) { return Silver_Base_png; }
unsigned int StatusBarBackgroundImageLength(bool) { return 0; }
NSData StatusBarBackgroundImageData(bool) { return NSData(); }

void overlay_dispatch_sync_on_main_thread(const std::function<void()>& block) { block(); }

Ref<StatusBarOverlay> StatusBarOverlay::sharedInstance()
{
    static Ref<StatusBarOverlay>* instance = new Ref<StatusBarOverlay>(create());
    return *instance;
}
Ref<StatusBarOverlay> StatusBarOverlay::create() { return makeWithFrame<StatusBarOverlay>(CGRectZero); }
void StatusBarOverlay::initWithFrameBody(CGRect frame) { UIWindow::initWithFrameBody(frame); }
StatusBarOverlay::~StatusBarOverlay() = default;

void StatusBarOverlay::postMessage(const std::string&) {}
void StatusBarOverlay::postMessage_animated(const std::string&, bool) {}
void StatusBarOverlay::postMessage_duration(const std::string&, double) {}
void StatusBarOverlay::postMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postImmediateMessage_animated(const std::string&, bool) {}
void StatusBarOverlay::postImmediateMessage_duration(const std::string&, double) {}
void StatusBarOverlay::postImmediateMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postFinishMessage_duration(const std::string&, double) {}
void StatusBarOverlay::postFinishMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postImmediateFinishMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postErrorMessage_duration(const std::string&, double) {}
void StatusBarOverlay::postErrorMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postImmediateErrorMessage_duration_animated(const std::string&, double, bool) {}
void StatusBarOverlay::postMessage_type_duration_animated_immediate(const std::string&, int, double, bool, bool) {}
void StatusBarOverlay::postImmediateMessage_type_duration_animated(const std::string&, int, double, bool) {}
void StatusBarOverlay::postMessageDictionary(const Value&) {}
void StatusBarOverlay::show() {}
void StatusBarOverlay::hide() {}
void StatusBarOverlay::hideTemporary() {}
void StatusBarOverlay::showNextMessage() {}
void StatusBarOverlay::applicationWillResignActive(const Ref<NSNotification>&) {}
void StatusBarOverlay::applicationDidBecomeActive(const Ref<NSNotification>&) {}
void StatusBarOverlay::contentViewClicked(const Ref<UIGestureRecognizer>&) {}
void StatusBarOverlay::contentViewSwipedUp(const Ref<UIGestureRecognizer>&) {}
void StatusBarOverlay::contentViewSwipedDown(const Ref<UIGestureRecognizer>&) {}
void StatusBarOverlay::callDelegateWithNewMessage(const std::string&) {}
std::vector<Value> StatusBarOverlay::messageQueue() const { return {}; }
bool StatusBarOverlay::isActive() const { return active_; }
void StatusBarOverlay::setActive(bool active) { active_ = active; }
bool StatusBarOverlay::isHideInProgress() const { return hideInProgress_; }
void StatusBarOverlay::setHideInProgress(bool value) { hideInProgress_ = value; }
Ref<UILabel> StatusBarOverlay::visibleStatusLabel() const { return statusLabel1_; }
void StatusBarOverlay::addSubviewToBackgroundView(const Ref<UIView>&) {}
void StatusBarOverlay::addSubviewToBackgroundView_atIndex(const Ref<UIView>&, NSInteger) {}
void StatusBarOverlay::setStatusBarBackgroundForStyle(UIStatusBarStyle) {}
void StatusBarOverlay::setColorSchemeForStatusBarStyle_messageType(UIStatusBarStyle, int) {}
void StatusBarOverlay::updateUIForMessageType_duration(int, double) {}
bool StatusBarOverlay::isShrinked() const { return false; }
void StatusBarOverlay::setShrinked_animated(bool, bool) {}
bool StatusBarOverlay::isDetailViewHidden() const { return true; }
void StatusBarOverlay::setDetailViewHidden_animated(bool, bool) {}
void StatusBarOverlay::setDetailViewMode(int mode) { detailViewMode_ = mode; }
void StatusBarOverlay::setDetailText(const std::string& text) { detailText_ = text; }
void StatusBarOverlay::updateDetailTextViewHeight() {}
void StatusBarOverlay::setHistoryEnabled(bool) {}
void StatusBarOverlay::addMessageToHistory(const std::string&) {}
void StatusBarOverlay::clearHistory() {}
NSInteger StatusBarOverlay::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) { return 0; }
Ref<UITableViewCell> StatusBarOverlay::tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>&)
{
    return nullptr;
}
void StatusBarOverlay::setProgress(double) {}
void StatusBarOverlay::updateProgressViewSizeForLabel(const Ref<UILabel>&) {}
void StatusBarOverlay::setAnimation(int animation) { animation_ = animation; }
bool StatusBarOverlay::isReallyHidden() const { return true; }
void StatusBarOverlay::setHiddenUsingAlpha(bool) {}
void StatusBarOverlay::setHidden_useAlpha(bool, bool) {}
void StatusBarOverlay::didChangeStatusBarFrame(const Ref<NSNotification>&) {}
void StatusBarOverlay::rotateToStatusBarFrame(const Value&) {}
void StatusBarOverlay::saveState() {}
void StatusBarOverlay::saveStateSynchronized(bool) {}
void StatusBarOverlay::restoreState() {}
void StatusBarOverlay::setStatusBarBackgroundForCurrentStyle() {}
void StatusBarOverlay::fadeTo(bool, std::function<void()>) {}
void StatusBarOverlay::scheduleNextStep() {}
