#include "widgets/StatusBarOverlay.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Perform.h"
#include "platform/uikit/CAValue.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGeometryValue.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextView.h"

namespace {

constexpr double kFadeDuration = 0.5;
constexpr double kSwitchDuration = 0.6;
constexpr double kNextMessageDelay = 0.4;
constexpr double kShrinkDuration = 0.3;
constexpr double kDetailDuration = 0.4;
constexpr CGFloat kStripHeight = 20;
constexpr CGFloat kShrunkWidth = 26;
constexpr CGFloat kDetailHeight = 145;
constexpr CGFloat kHistoryRowHeight = 25;
constexpr NSInteger kHistoryRowsShown = 5;
constexpr char kHistoryCellID[] = "StatusBarOverlayHistoryCellID";
constexpr CGFloat kDarkGrey = 0.749;

bool isPad() { return UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad; }

CGFloat detailWidth() { return isPad() ? 400 : 280; }

Ref<UIApplication> app() { return UIApplication::sharedApplication(); }

bool isBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

}  // namespace

void overlay_dispatch_sync_on_main_thread(const std::function<void()>& block)
{
    if (NSThread::isMainThread()) {
        block();
    } else {
        dispatch_sync(dispatch_get_main_queue(), block);
    }
}

// --- Creation ---

Ref<StatusBarOverlay> StatusBarOverlay::sharedInstance()
{
    static dispatch_once_t once;
    // Lives for the whole process, like the application's other shared instances.
    static Ref<StatusBarOverlay>* instance = nullptr;
    dispatch_once(&once, [] { instance = new Ref<StatusBarOverlay>(create()); });
    return *instance;
}

Ref<StatusBarOverlay> StatusBarOverlay::create()
{
    return makeWithFrame<StatusBarOverlay>(CGRectZero);
}

void StatusBarOverlay::initWithFrameBody(CGRect)
{
    // The frame follows the status bar, whatever was asked.
    CGRect statusBarFrame = app()->statusBarFrame();
    if (statusBarFrame.size.height == 40) {
        statusBarFrame.size.height = 20;  // a double-height bar: the strip stays one line high
    }
    if (!isPad() && std::max(statusBarFrame.size.width, statusBarFrame.size.height) > 480) {
        statusBarFrame.size.width = 320;
    }
    UIWindow::initWithFrameBody(statusBarFrame);
    const CGFloat width = statusBarFrame.size.width;
    const CGFloat height = statusBarFrame.size.height;

    setWindowLevel(UIWindowLevelStatusBar + 1);
    setAlpha(0);
    setHidden(false);

    smallFrame_ = CGRectMake(width - kShrunkWidth, 0, kShrunkWidth, height);
    animation_ = OverlayAnimationNone;
    active_ = false;
    hidesActivity_ = false;
    forcedToHide_ = false;

    const CGFloat d = detailWidth();
    const CGFloat screenWidth = UIScreen::mainScreen()->bounds().size.width;
    detailView_ = UIView::initWithFrame(CGRectMake((screenWidth - d) / 2, -kDetailHeight, d, kDetailHeight));
    detailView_->setBackgroundColor(UIColor::blackColor());
    detailView_->setAlpha(0.9);
    detailView_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    detailView_->layer()->setMasksToBounds(true);
    detailView_->layer()->setCornerRadius(10);
    detailView_->layer()->setBorderWidth(2.5);
    detailViewMode_ = DetailModeCustom;

    detailTextView_ = UITextView::initWithFrame(CGRectMake(0, 20, d, 125));
    detailTextView_->setBackgroundColor(UIColor::clearColor());
    detailTextView_->setUserInteractionEnabled(false);
    detailTextView_->setHidden(detailViewMode_ != DetailModeText);
    detailView_->addSubview(detailTextView_);

    messageHistory_.clear();
    historyTableView_ = UITableView::initWithFrame_style(CGRectMake(0, 20, d, 125), UITableViewStylePlain);
    historyTableView_->setDataSource(self<StatusBarOverlay>());
    historyTableView_->setDelegate(nullptr);
    historyTableView_->setRowHeight(kHistoryRowHeight);
    historyTableView_->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    historyTableView_->setBackgroundColor(UIColor::clearColor());
    historyTableView_->setOpaque(false);
    historyTableView_->setHidden(detailViewMode_ != DetailModeHistory);
    historyTableView_->setBackgroundView(nullptr);
    detailView_->addSubview(historyTableView_);
    addSubview(detailView_);

    const CGRect stripFrame = CGRectMake(0, 0, width, height);
    backgroundView_ = UIView::initWithFrame(stripFrame);
    backgroundView_->setClipsToBounds(true);
    backgroundView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    oldBackgroundViewFrame_ = backgroundView_->frame();
    tapGestureRecognizer_ = UITapGestureRecognizer::initWithTarget_action(
        self(), UISelector::make("contentViewClicked:", &StatusBarOverlay::contentViewClicked));
    backgroundView_->addGestureRecognizer(tapGestureRecognizer_);

    defaultStatusBarImage_ = UIImage::imageWithData_scale(StatusBarBackgroundImageData(false),
                                                          UIScreen::mainScreen()->scale());
    defaultStatusBarImageShrinked_ = UIImage::imageWithData_scale(StatusBarBackgroundImageData(true),
                                                                  UIScreen::mainScreen()->scale());

    statusBarBackgroundImageView_ = UIImageView::initWithFrame(backgroundView_->frame());
    statusBarBackgroundImageView_->setBackgroundColor(UIColor::blackColor());
    statusBarBackgroundImageView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                                       UIViewAutoresizingFlexibleHeight);
    addSubviewToBackgroundView(statusBarBackgroundImageView_);

    activityIndicator_ = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleGray);
    activityIndicator_->setFrame(CGRectMake(6, 3, height - 6, height - 6));
    activityIndicator_->setHidesWhenStopped(true);
    // This spinner can be tinted, so it is drawn a little smaller.
    activityIndicator_->layer()->setValue_forKeyPath(CAValue(0.75), "transform.scale");
    addSubviewToBackgroundView(activityIndicator_);

    finishedLabel_ = UILabel::initWithFrame(CGRectMake(4, 1, height, height - 1));
    finishedLabel_->setShadowOffset(CGSizeMake(0, 1));
    finishedLabel_->setBackgroundColor(UIColor::clearColor());
    finishedLabel_->setHidden(true);
    finishedLabel_->setText("✔");
    finishedLabel_->setTextAlignment(UITextAlignmentCenter);
    finishedLabel_->setFont(UIFont::boldSystemFontOfSize(22));
    addSubviewToBackgroundView(finishedLabel_);

    statusLabel1_ = UILabel::initWithFrame(CGRectMake(30, 0, width - 60, height - 1));
    statusLabel2_ = UILabel::initWithFrame(CGRectMake(30, height, width - 60, height - 1));
    for (const auto& label : {statusLabel1_, statusLabel2_}) {
        label->setBackgroundColor(UIColor::clearColor());
        label->setShadowOffset(CGSizeMake(0, 1));
        label->setFont(UIFont::boldSystemFontOfSize(12));
        label->setTextAlignment(UITextAlignmentCenter);
        label->setNumberOfLines(1);
        label->setLineBreakMode(UILineBreakModeTailTruncation);
        label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        addSubviewToBackgroundView(label);
    }
    hiddenStatusLabel_ = statusLabel2_;
    progress_ = 1.0;

    progressView_ = UIImageView::initWithFrame(statusBarBackgroundImageView_->frame());
    progressView_->setOpaque(false);
    progressView_->setHidden(true);
    progressView_->setAlpha(0.4);
    addSubviewToBackgroundView(progressView_);

    {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        messageQueue_.clear();
    }
    canRemoveImmediateMessagesFromQueue_ = true;
    addSubview(backgroundView_);

    auto center = NSNotificationCenter::defaultCenter();
    auto me = self<StatusBarOverlay>();
    center->addObserver_selector_name_object(me, &StatusBarOverlay::didChangeStatusBarFrame,
                                             UIApplicationWillChangeStatusBarFrameNotification, Value());
    center->addObserver_selector_name_object(me, &StatusBarOverlay::applicationDidBecomeActive,
                                             UIApplicationDidBecomeActiveNotification, Value());
    center->addObserver_selector_name_object(me, &StatusBarOverlay::applicationWillResignActive,
                                             UIApplicationWillResignActiveNotification, Value());
}

StatusBarOverlay::~StatusBarOverlay()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    delegate_.reset();
}

// --- Posting ---

void StatusBarOverlay::postMessage(const std::string& message)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindActivity, 0, true, false);
}

void StatusBarOverlay::postMessage_animated(const std::string& message, bool animated)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindActivity, 0, animated, false);
}

void StatusBarOverlay::postMessage_duration(const std::string& message, double duration)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindActivity, duration, true, false);
}

void StatusBarOverlay::postMessage_duration_animated(const std::string& message, double duration, bool animated)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindActivity, duration, animated, false);
}

void StatusBarOverlay::postImmediateMessage_animated(const std::string& message, bool animated)
{
    postImmediateMessage_type_duration_animated(message, StatusMessageKindActivity, 0, animated);
}

void StatusBarOverlay::postImmediateMessage_duration(const std::string& message, double duration)
{
    postImmediateMessage_type_duration_animated(message, StatusMessageKindActivity, duration, true);
}

void StatusBarOverlay::postImmediateMessage_duration_animated(const std::string& message, double duration,
                                                              bool animated)
{
    postImmediateMessage_type_duration_animated(message, StatusMessageKindActivity, duration, animated);
}

void StatusBarOverlay::postFinishMessage_duration(const std::string& message, double duration)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindFinish, duration, true, false);
}

void StatusBarOverlay::postFinishMessage_duration_animated(const std::string& message, double duration,
                                                           bool animated)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindFinish, duration, animated, false);
}

void StatusBarOverlay::postImmediateFinishMessage_duration_animated(const std::string& message, double duration,
                                                                    bool animated)
{
    postImmediateMessage_type_duration_animated(message, StatusMessageKindFinish, duration, animated);
}

void StatusBarOverlay::postErrorMessage_duration(const std::string& message, double duration)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindError, duration, true, false);
}

void StatusBarOverlay::postErrorMessage_duration_animated(const std::string& message, double duration,
                                                          bool animated)
{
    postMessage_type_duration_animated_immediate(message, StatusMessageKindError, duration, animated, false);
}

void StatusBarOverlay::postImmediateErrorMessage_duration_animated(const std::string& message, double duration,
                                                                   bool animated)
{
    postImmediateMessage_type_duration_animated(message, StatusMessageKindError, duration, animated);
}

void StatusBarOverlay::postMessage_type_duration_animated_immediate(const std::string& message, int messageType,
                                                                    double duration, bool animated, bool immediate)
{
    auto work = [weak = weakSelf<StatusBarOverlay>(), message, messageType, duration, animated, immediate] {
        auto me = weak.lock();
        if (!me || message.empty()) {
            return;
        }
        Value entry = Value::dictionary({{kStatusBarOverlayMessageKey, Value(message)},
                                         {kStatusBarOverlayMessageTypeKey, Value(long(messageType))},
                                         {kStatusBarOverlayDurationKey, Value(duration)},
                                         {kStatusBarOverlayAnimationKey, Value(animated)},
                                         {kStatusBarOverlayImmediateKey, Value(immediate)}});
        {
            std::lock_guard<std::recursive_mutex> guard(me->queueLock_);
            me->messageQueue_.insert(me->messageQueue_.begin(), entry);
        }
        if (!me->isActive()) {
            me->showNextMessage();
        }
    };
    // A poster on another thread returns once its message is queued, so what it posts next (or reads
    // back) comes after it. The main thread runs the work inline and never waits on itself; a worker
    // must therefore not post while the main thread waits for that worker.
    overlay_dispatch_sync_on_main_thread(work);
}

void StatusBarOverlay::postImmediateMessage_type_duration_animated(const std::string& message, int messageType,
                                                                   double duration, bool animated)
{
    if (!NSThread::isMainThread()) {
        // Cleared and queued on the main thread; the poster waits until it is done.
        overlay_dispatch_sync_on_main_thread(
            [weak = weakSelf<StatusBarOverlay>(), message, messageType, duration, animated] {
                if (auto me = weak.lock()) {
                    me->postImmediateMessage_type_duration_animated(message, messageType, duration, animated);
                }
            });
        return;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        std::vector<Value> removed;
        std::vector<Value> kept;
        for (size_t i = 0; i < messageQueue_.size(); ++i) {
            const Value& entry = messageQueue_[i];
            const bool isOldest = i + 1 == messageQueue_.size();
            const bool removable =
                !entry[kStatusBarOverlayImmediateKey].boolValue() || canRemoveImmediateMessagesFromQueue_;
            if (!isOldest && removable) {
                removed.push_back(entry);
            } else {
                kept.push_back(entry);
            }
        }
        messageQueue_ = std::move(kept);
        if (!removed.empty()) {
            if (auto delegate = delegate_.lock()) {
                delegate->statusBarOverlayDidClearMessageQueue(removed);
            }
        }
    }
    postMessage_type_duration_animated_immediate(message, messageType, duration, animated, true);
}

void StatusBarOverlay::postMessageDictionary(const Value& messageDictionary)
{
    postMessage_type_duration_animated_immediate(messageDictionary[kStatusBarOverlayMessageKey].stringValue(),
                                                 messageDictionary[kStatusBarOverlayMessageTypeKey].intValue(),
                                                 messageDictionary[kStatusBarOverlayDurationKey].doubleValue(),
                                                 messageDictionary[kStatusBarOverlayAnimationKey].boolValue(),
                                                 messageDictionary[kStatusBarOverlayImmediateKey].boolValue());
}

std::vector<Value> StatusBarOverlay::messageQueue() const
{
    std::lock_guard<std::recursive_mutex> guard(queueLock_);
    return messageQueue_;
}

bool StatusBarOverlay::isActive() const { return active_.load(); }
void StatusBarOverlay::setActive(bool active) { active_.store(active); }
bool StatusBarOverlay::isHideInProgress() const { return hideInProgress_.load(); }
void StatusBarOverlay::setHideInProgress(bool hideInProgress) { hideInProgress_.store(hideInProgress); }

// --- The display cycle ---

void StatusBarOverlay::scheduleShowNextMessage(double delay)
{
    performSelectorAfterDelay(PerformRequest{this, "showNextMessage", nullptr},
                              [weak = weakSelf<StatusBarOverlay>()] {
                                  if (auto me = weak.lock()) {
                                      me->showNextMessage();
                                  }
                              },
                              delay);
}

void StatusBarOverlay::finishSwitch(const std::string& text)
{
    {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        if (!messageQueue_.empty()) {
            messageQueue_.pop_back();
        }
    }
    callDelegateWithNewMessage(text);
    scheduleShowNextMessage(kNextMessageDelay);
}

void StatusBarOverlay::showNextMessage()
{
    if (forcedToHide_) {
        return;
    }
    Value message;
    {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        if (messageQueue_.empty()) {
            setActive(false);
            return;
        }
        setActive(true);
        message = messageQueue_.back();
    }
    const std::string text = message[kStatusBarOverlayMessageKey].stringValue();
    const int messageType = message[kStatusBarOverlayMessageTypeKey].intValue();
    const double duration = message[kStatusBarOverlayDurationKey].doubleValue();
    const bool animated = message[kStatusBarOverlayAnimationKey].boolValue();

    if (app()->isStatusBarHidden()) {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        messageQueue_.clear();
        setActive(false);
        return;
    }

    // A repeated text is never shown twice in a row.
    if (!isReallyHidden() && visibleStatusLabel()->text() == text) {
        {
            std::lock_guard<std::recursive_mutex> guard(queueLock_);
            if (!messageQueue_.empty()) {
                messageQueue_.pop_back();
            }
        }
        showNextMessage();
        return;
    }

    cancelPreviousPerformRequestsWithTarget(this, "hide", nullptr);
    cancelPreviousPerformRequestsWithTarget(this, "clearHistory", nullptr);

    const UIStatusBarStyle style = app()->statusBarStyle();
    setStatusBarBackgroundForStyle(style);
    setColorSchemeForStatusBarStyle_messageType(style, messageType);
    updateUIForMessageType_duration(messageType, duration);

    if (isReallyHidden()) {
        visibleStatusLabel()->setText("");
        fadeHidden(false);
    }

    if (animated) {
        const unsigned cycle = ++switchCycle_;
        Ref<UILabel> incoming = hiddenStatusLabel();
        Ref<UILabel> outgoing = visibleStatusLabel();
        incoming->setText(text);
        updateProgressViewSizeForLabel(incoming);
        CGRect frame = incoming->frame();
        frame.origin.y = kStripHeight;
        incoming->setFrame(frame);
        UIView::animateWithDuration_delay_options_animations_completion(
            kSwitchDuration, 0, UIViewAnimationOptionAllowUserInteraction,
            [incoming, outgoing] {
                for (const auto& label : {incoming, outgoing}) {
                    CGRect moved = label->frame();
                    moved.origin.y -= kStripHeight;
                    label->setFrame(moved);
                }
            },
            // The labels hold the animation that holds this completion, so it reaches them through the
            // overlay: the outgoing label is still the visible one.
            [weak = weakSelf<StatusBarOverlay>(), text, cycle](bool) {
                auto me = weak.lock();
                // When a switch is started again before the last one ended (the application came back,
                // or an earlier cycle was cut short), only the newest may finish it: the one it overtook
                // ends without doing anything, or it would take a second message off the queue, one
                // that was never shown.
                if (!me || me->switchCycle_ != cycle) {
                    return;
                }
                me->addMessageToHistory(me->visibleStatusLabel()->text());
                me->hiddenStatusLabel_ = me->hiddenStatusLabel() == me->statusLabel1_ ? me->statusLabel2_
                                                                                      : me->statusLabel1_;
                me->finishSwitch(text);
            });
    } else {
        Ref<UILabel> visible = visibleStatusLabel();
        addMessageToHistory(visible->text());
        visible->setText(text);
        updateProgressViewSizeForLabel(visible);
        finishSwitch(text);
    }
    lastPostedMessage_ = text;
}

void StatusBarOverlay::updateUIForMessageType_duration(int messageType, double duration)
{
    switch (messageType) {
    case StatusMessageKindActivity:
        setHideInProgress(false);
        finishedLabel_->setHidden(true);
        activityIndicator_->setHidden(hidesActivity_);
        if (!hidesActivity_) {
            activityIndicator_->startAnimating();
        }
        break;
    case StatusMessageKindFinish:
    case StatusMessageKindError:
        setHideInProgress(true);
        finishedLabel_->setHidden(hidesActivity_);
        activityIndicator_->stopAnimating();
        activityIndicator_->setHidden(true);
        if (messageType == StatusMessageKindFinish) {
            finishedLabel_->setFont(UIFont::boldSystemFontOfSize(22));
            finishedLabel_->setText("✔");
        } else {
            finishedLabel_->setFont(UIFont::boldSystemFontOfSize(19));
            finishedLabel_->setText("✗");
        }
        setProgress(1.0);
        break;
    default:
        break;
    }
    if (duration > 0) {
        performSelectorAfterDelay(PerformRequest{this, "hide", nullptr},
                                  [weak = weakSelf<StatusBarOverlay>()] {
                                      if (auto me = weak.lock()) {
                                          me->hide();
                                      }
                                  },
                                  duration);
        performSelectorAfterDelay(PerformRequest{this, "clearHistory", nullptr},
                                  [weak = weakSelf<StatusBarOverlay>()] {
                                      if (auto me = weak.lock()) {
                                          me->clearHistory();
                                      }
                                  },
                                  duration);
    }
}

void StatusBarOverlay::callDelegateWithNewMessage(const std::string& newMessage)
{
    if (auto delegate = delegate_.lock()) {
        const Value old = messageHistory_.empty() ? Value() : Value(messageHistory_.back());
        delegate->statusBarOverlayDidSwitchFromOldMessage_toNewMessage(old, newMessage);
    }
}

void StatusBarOverlay::fadeHidden(bool hidden, std::function<void(bool)> completion)
{
    auto weak = weakSelf<StatusBarOverlay>();
    UIView::animateWithDuration_animations_completion(
        isShrinked() ? 0 : kFadeDuration,
        [weak, hidden] {
            if (auto me = weak.lock()) {
                me->setHidden_useAlpha(hidden, true);
            }
        },
        std::move(completion));
}

void StatusBarOverlay::hide()
{
    activityIndicator_->stopAnimating();
    statusLabel1_->setText("");
    statusLabel2_->setText("");
    setHideInProgress(false);
    cancelPreviousPerformRequestsWithTarget(this, "hide", nullptr);
    setDetailViewHidden_animated(true, true);
    fadeHidden(true, [weak = weakSelf<StatusBarOverlay>()](bool) {
        auto me = weak.lock();
        if (!me) {
            return;
        }
        if (auto delegate = me->delegate_.lock()) {
            delegate->statusBarOverlayDidHide();
        }
    });
}

void StatusBarOverlay::resetForTesting()
{
    for (const char* step : {"showNextMessage", "hide", "clearHistory"}) {
        cancelPreviousPerformRequestsWithTarget(this, step, nullptr);
    }
    {
        std::lock_guard<std::recursive_mutex> guard(queueLock_);
        messageQueue_.clear();
    }
    messageHistory_.clear();
    lastPostedMessage_.clear();
    setActive(false);
    setHideInProgress(false);
    forcedToHide_ = false;
    activityIndicator_->stopAnimating();
    statusLabel1_->setText("");
    statusLabel2_->setText("");
    setAlpha(0);
    setHidden(false);
    ++switchCycle_;  // a switch still sliding belongs to the cycle dropped here
}

void StatusBarOverlay::hideTemporary()
{
    forcedToHide_ = true;
    fadeHidden(true);
}

void StatusBarOverlay::show()
{
    forcedToHide_ = false;
    if (!isReallyHidden()) {
        return;
    }
    if (!visibleStatusLabel()->text().empty()) {
        fadeHidden(false);
    }
    showNextMessage();
}

void StatusBarOverlay::applicationWillResignActive(const Ref<NSNotification>&) { hideTemporary(); }

void StatusBarOverlay::applicationDidBecomeActive(const Ref<NSNotification>&) { show(); }

// --- Gestures ---

void StatusBarOverlay::contentViewClicked(const Ref<UIGestureRecognizer>& gestureRecognizer)
{
    if (!gestureRecognizer || gestureRecognizer->state() != UIGestureRecognizerStateEnded) {
        return;
    }
    if (isShrinked()) {
        setShrinked_animated(false, true);
    } else if (isDetailViewHidden()) {
        switch (animation_) {
        case OverlayAnimationShrink:
            setShrinked_animated(!isShrinked(), true);
            break;
        case OverlayAnimationFallDown:
            setDetailViewHidden_animated(!isDetailViewHidden(), true);
            break;
        default:
            break;
        }
    } else {
        setDetailViewHidden_animated(true, true);
    }
    if (auto delegate = delegate_.lock()) {
        delegate->statusBarOverlayDidRecognizeGesture(gestureRecognizer);
    }
}

void StatusBarOverlay::contentViewSwipedUp(const Ref<UIGestureRecognizer>& gestureRecognizer)
{
    if (!gestureRecognizer || gestureRecognizer->state() != UIGestureRecognizerStateEnded) {
        return;
    }
    setDetailViewHidden_animated(true, true);
    if (auto delegate = delegate_.lock()) {
        delegate->statusBarOverlayDidRecognizeGesture(gestureRecognizer);
    }
}

void StatusBarOverlay::contentViewSwipedDown(const Ref<UIGestureRecognizer>& gestureRecognizer)
{
    if (!gestureRecognizer || gestureRecognizer->state() != UIGestureRecognizerStateEnded) {
        return;
    }
    setDetailViewHidden_animated(false, true);
    if (auto delegate = delegate_.lock()) {
        delegate->statusBarOverlayDidRecognizeGesture(gestureRecognizer);
    }
}

// --- Views ---

Ref<UILabel> StatusBarOverlay::visibleStatusLabel() const
{
    return hiddenStatusLabel() == statusLabel1_ ? statusLabel2_ : statusLabel1_;
}

void StatusBarOverlay::addSubviewToBackgroundView(const Ref<UIView>& view)
{
    view->setUserInteractionEnabled(false);
    backgroundView_->addSubview(view);
}

void StatusBarOverlay::addSubviewToBackgroundView_atIndex(const Ref<UIView>& view, NSInteger index)
{
    view->setUserInteractionEnabled(false);
    backgroundView_->insertSubview_atIndex(view, index);
}

bool StatusBarOverlay::lightStyle(UIStatusBarStyle style) const
{
    const CGRect bar = app()->statusBarFrame();
    return style == UIStatusBarStyleDefault && !isPad() && std::max(bar.size.width, bar.size.height) <= 480;
}

void StatusBarOverlay::setStatusBarBackgroundForStyle(UIStatusBarStyle style)
{
    if (lightStyle(style)) {
        const Ref<UIImage>& image = isShrinked() ? defaultStatusBarImageShrinked_ : defaultStatusBarImage_;
        statusBarBackgroundImageView_->setImage(image ? image->stretchableImageWithLeftCapWidth_topCapHeight(2, 0)
                                                      : nullptr);
    } else {
        statusBarBackgroundImageView_->setImage(nullptr);
    }
}

void StatusBarOverlay::setColorSchemeForStatusBarStyle_messageType(UIStatusBarStyle style, int)
{
    const bool light = lightStyle(style);
    const Ref<UIColor> text = light ? UIColor::blackColor() : UIColor::colorWithRed_green_blue_alpha(
                                                                   kDarkGrey, kDarkGrey, kDarkGrey, 1);
    const Ref<UIColor> shadow = light ? UIColor::whiteColor() : nullptr;
    for (const auto& label : {statusLabel1_, statusLabel2_, finishedLabel_}) {
        label->setTextColor(text);
        label->setShadowColor(shadow);
    }
    activityIndicator_->setActivityIndicatorViewStyle(light ? UIActivityIndicatorViewStyleGray
                                                            : UIActivityIndicatorViewStyleWhite);
    if (light) {
        detailView_->setBackgroundColor(UIColor::blackColor());
        detailView_->layer()->setBorderColor(UIColor::darkGrayColor()->CGColor());
        historyTableView_->setSeparatorColor(UIColor::darkGrayColor());
        detailTextView_->setTextColor(UIColor::colorWithWhite_alpha(kDarkGrey, 1));
        progressView_->setBackgroundColor(UIColor::clearColor());
        progressView_->setImage(defaultStatusBarImageShrinked_
                                    ? defaultStatusBarImageShrinked_->stretchableImageWithLeftCapWidth_topCapHeight(2, 0)
                                    : nullptr);
    } else {
        detailView_->setBackgroundColor(UIColor::colorWithWhite_alpha(0.3, 1));
        detailView_->layer()->setBorderColor(UIColor::whiteColor()->CGColor());
        historyTableView_->setSeparatorColor(UIColor::whiteColor());
        detailTextView_->setTextColor(UIColor::whiteColor());
        progressView_->setBackgroundColor(UIColor::blackColor());
        progressView_->setImage(nullptr);
    }
}

// --- Shrunk form ---

bool StatusBarOverlay::isShrinked() const
{
    return backgroundView_ && backgroundView_->frame().size.width == smallFrame_.size.width;
}

void StatusBarOverlay::setShrinked_animated(bool shrinked, bool animated)
{
    auto weak = weakSelf<StatusBarOverlay>();
    UIView::animateWithDuration_animations(animated ? kShrinkDuration : 0, [weak, shrinked] {
        auto me = weak.lock();
        if (!me) {
            return;
        }
        if (shrinked) {
            me->oldBackgroundViewFrame_ = me->backgroundView_->frame();
            me->backgroundView_->setFrame(me->smallFrame_);
            me->statusLabel1_->setHidden(true);
            me->statusLabel2_->setHidden(true);
        } else {
            me->backgroundView_->setFrame(me->oldBackgroundViewFrame_);
            me->statusLabel1_->setHidden(false);
            me->statusLabel2_->setHidden(false);
            // The tintable spinner's labels take the strip's width again.
            const CGFloat width = me->backgroundView_->frame().size.width - 60;
            for (const auto& label : {me->statusLabel1_, me->statusLabel2_}) {
                CGRect frame = label->frame();
                frame.size.width = width;
                label->setFrame(frame);
            }
        }
        me->setStatusBarBackgroundForStyle(app()->statusBarStyle());
    });
}

// --- Detail view ---

bool StatusBarOverlay::isDetailViewHidden() const
{
    const CGRect frame = detailView_->frame();
    return detailView_->isHidden() || detailView_->alpha() == 0 || frame.origin.y + frame.size.height < 20;
}

void StatusBarOverlay::setDetailViewHidden_animated(bool hidden, bool animated)
{
    const double duration = animated ? kDetailDuration : 0;
    auto weak = weakSelf<StatusBarOverlay>();
    if (hidden) {
        UIView::animateWithDuration_delay_options_animations_completion(
            duration, 0, UIViewAnimationOptionCurveEaseOut,
            [weak] {
                if (auto me = weak.lock()) {
                    CGRect frame = me->detailView_->frame();
                    frame.origin.y = -frame.size.height;
                    me->detailView_->setFrame(frame);
                }
            },
            nullptr);
        return;
    }
    UIView::animateWithDuration_delay_options_animations_completion(
        duration, 0, UIViewAnimationOptionCurveEaseIn,
        [weak] {
            auto me = weak.lock();
            if (!me) {
                return;
            }
            CGRect frame = me->detailView_->frame();
            if (me->detailViewMode_ == DetailModeHistory) {
                const NSInteger n = std::min<NSInteger>(NSInteger(me->messageHistory_.size()), kHistoryRowsShown);
                CGRect table = me->historyTableView_->frame();
                table.origin.y = 20 + CGFloat(kHistoryRowsShown - n) * kHistoryRowHeight;
                me->historyTableView_->setFrame(table);
                frame.origin.y = -CGFloat(kHistoryRowsShown - n) * kHistoryRowHeight;
            } else if (me->detailViewMode_ == DetailModeText) {
                frame.origin.y = 0;
                frame.size.height = me->detailTextView_->frame().size.height + 20;
            } else {
                frame.origin.y = 0;
            }
            me->detailView_->setFrame(frame);
        },
        nullptr);
}

void StatusBarOverlay::setDetailViewMode(int mode)
{
    detailViewMode_ = mode;
    historyTableView_->setHidden(mode != DetailModeHistory);
    detailTextView_->setHidden(mode != DetailModeText);
}

void StatusBarOverlay::setDetailText(const std::string& detailText)
{
    if (detailText == detailText_) {
        return;
    }
    detailText_ = detailText;
    detailTextView_->setText(detailText_);
    updateDetailTextViewHeight();
    setDetailViewHidden_animated(isDetailViewHidden(), true);
}

void StatusBarOverlay::updateDetailTextViewHeight()
{
    CGRect frame = detailTextView_->frame();
    frame.size.height = detailTextView_->contentSize().height;
    detailTextView_->setFrame(frame);
}

void StatusBarOverlay::setHistoryEnabled(bool enabled)
{
    detailViewMode_ = enabled ? DetailModeHistory : DetailModeCustom;
    historyTableView_->setHidden(!enabled);
}

void StatusBarOverlay::addMessageToHistory(const std::string& message)
{
    if (message.empty() || isBlank(message)) {
        return;
    }
    messageHistory_.push_back(message);
    if (isHistoryEnabled()) {
        setDetailViewHidden_animated(isDetailViewHidden(), true);
        auto indexPath = NSIndexPath::indexPathForRow_inSection(NSInteger(messageHistory_.size()) - 1, 0);
        historyTableView_->insertRowsAtIndexPaths_withRowAnimation({indexPath}, UITableViewRowAnimationNone);
        historyTableView_->scrollToRowAtIndexPath_atScrollPosition_animated(indexPath, UITableViewScrollPositionTop,
                                                                            true);
    }
}

void StatusBarOverlay::clearHistory()
{
    messageHistory_.clear();
    historyTableView_->reloadData();
}

NSInteger StatusBarOverlay::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(messageHistory_.size());
}

Ref<UITableViewCell> StatusBarOverlay::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                       const Ref<NSIndexPath>& indexPath)
{
    Ref<UITableViewCell> cell = tableView->dequeueReusableCellWithIdentifier(kHistoryCellID);
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleValue1, kHistoryCellID);
        cell->textLabel()->setFont(UIFont::boldSystemFontOfSize(10));
        cell->detailTextLabel()->setFont(UIFont::boldSystemFontOfSize(12));
    }
    const Ref<UIColor> color = app()->statusBarStyle() == UIStatusBarStyleDefault
                                   ? UIColor::colorWithWhite_alpha(kDarkGrey, 1)
                                   : UIColor::whiteColor();
    const NSInteger row = indexPath->row();
    cell->textLabel()->setText(row >= 0 && size_t(row) < messageHistory_.size() ? messageHistory_[size_t(row)] : "");
    cell->textLabel()->setTextColor(color);
    cell->detailTextLabel()->setText("✔");
    cell->detailTextLabel()->setTextColor(color);
    return cell;
}

// --- Progress ---

void StatusBarOverlay::setProgress(double progress)
{
    progress = std::clamp(progress, 0.0, 1.0);
    // Progress never goes back, except to 0.
    if (progress == 0 || progress > progress_) {
        progress_ = progress;
    }
    performSelectorOnMainThread(
        [weak = weakSelf<StatusBarOverlay>()] {
            if (auto me = weak.lock()) {
                me->updateProgressViewSizeForLabel(me->visibleStatusLabel());
            }
        },
        false);
}

void StatusBarOverlay::updateProgressViewSizeForLabel(const Ref<UILabel>& label)
{
    if (progress_ >= 1.0) {
        progressView_->setHidden(true);
        return;
    }
    const CGSize size = UIStringDrawing::sizeWithFont_constrainedToSize(label->text(), label->font(), label->frame().size);
    const CGFloat w = size.width;
    if (w == 0) {
        return;
    }
    const CGFloat x = label->center().x + w / 2 - w * (1 - progress_);
    progressView_->setHidden(false);
    CGRect frame = progressView_->frame();
    progressView_->setFrame(CGRectMake(x, frame.origin.y, backgroundView_->frame().size.width - x, frame.size.height));
}

// --- Tap behaviour ---

void StatusBarOverlay::setAnimation(int animation)
{
    animation_ = animation;
    if (animation == OverlayAnimationNone || animation == OverlayAnimationShrink) {
        if (!isDetailViewHidden()) {
            setDetailViewHidden_animated(true, true);
        }
    } else if (animation == OverlayAnimationFallDown) {
        if (isShrinked()) {
            setShrinked_animated(false, true);
        }
    }
}

// --- Visibility ---

bool StatusBarOverlay::isReallyHidden() const { return alpha() == 0 || isHidden(); }

void StatusBarOverlay::setHiddenUsingAlpha(bool hidden) { setHidden_useAlpha(hidden, true); }

void StatusBarOverlay::setHidden_useAlpha(bool hidden, bool useAlpha)
{
    if (useAlpha) {
        setAlpha(hidden ? 0.0 : 1.0);
    } else {
        setHidden(hidden);
    }
}

// --- Rotation ---

void StatusBarOverlay::didChangeStatusBarFrame(const Ref<NSNotification>& notification)
{
    const Value frame = notification ? notification->userInfo()[UIApplicationStatusBarFrameUserInfoKey] : Value();
    performSelectorAfterDelay(PerformRequest{this, "rotateToStatusBarFrame:", nullptr},
                              [weak = weakSelf<StatusBarOverlay>(), frame] {
                                  if (auto me = weak.lock()) {
                                      me->rotateToStatusBarFrame(frame);
                                  }
                              },
                              0);
}

void StatusBarOverlay::rotateToStatusBarFrame(const Value&)
{
    const UIInterfaceOrientation orientation = app()->statusBarOrientation();
    const bool visible = !isReallyHidden();
    // Read before the window changes size: the strip's autoresizing would stretch a shrunk strip and
    // the shrunk form would be lost.
    const bool wasShrinked = isShrinked();
    if (visible) {
        setHiddenUsingAlpha(true);
        setDetailViewHidden_animated(true, false);
    }

    const CGRect screen = UIScreen::mainScreen()->bounds();
    const CGFloat pi = 3.1415927f;
    const bool portrait = orientation == UIInterfaceOrientationPortrait ||
                          orientation == UIInterfaceOrientationPortraitUpsideDown;
    switch (orientation) {
    case UIInterfaceOrientationPortraitUpsideDown:
        setTransform(CGAffineTransformMakeRotation(pi));
        setFrame(CGRectMake(0, screen.size.height - 20, screen.size.width, 20));
        break;
    case UIInterfaceOrientationLandscapeLeft:  // 3 (the device turned right)
        setTransform(CGAffineTransformMakeRotation(pi * 0.5f));
        setFrame(CGRectMake(screen.size.width - 20, 0, 20, screen.size.height));
        break;
    case UIInterfaceOrientationLandscapeRight:  // 4
        setTransform(CGAffineTransformMakeRotation(-pi * 0.5f));
        setFrame(CGRectMake(0, 0, 20, screen.size.height));
        break;
    default:
        setTransform(CGAffineTransformIdentity);
        setFrame(CGRectMake(0, 0, screen.size.width, 20));
        break;
    }
    // Whole points: the turned window's sizes come back from the rotation with rounding noise.
    if (portrait) {
        smallFrame_ = CGRectMake(std::round(frame().size.width) - kShrunkWidth, 0, kShrunkWidth,
                                 std::round(frame().size.height));
    } else {
        smallFrame_ = CGRectMake(std::round(bounds().size.width) - kShrunkWidth, 0, kShrunkWidth, 20);
    }

    if (wasShrinked) {
        const CGFloat length = portrait ? screen.size.width : screen.size.height;
        oldBackgroundViewFrame_ = CGRectMake(0, 0, length, 20);
        backgroundView_->setFrame(smallFrame_);
    }

    if (visible) {
        performSelectorAfterDelay(PerformRequest{this, "fadeIn", nullptr},
                                  [weak = weakSelf<StatusBarOverlay>()] {
                                      auto me = weak.lock();
                                      if (!me) {
                                          return;
                                      }
                                      UIView::animateWithDuration_animations(kFadeDuration, [weak] {
                                          if (auto me = weak.lock()) {
                                              me->setHiddenUsingAlpha(false);
                                          }
                                      });
                                  },
                                  app()->statusBarOrientationAnimationDuration());
    }
}

// --- Stored form ---

void StatusBarOverlay::saveState() { saveStateSynchronized(true); }

void StatusBarOverlay::saveStateSynchronized(bool synchronize)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool_forKey(isShrinked(), kStatusBarOverlayStateShrinked);
    if (synchronize) {
        defaults->synchronize();
    }
}

void StatusBarOverlay::restoreState()
{
    setShrinked_animated(NSUserDefaults::standardUserDefaults()->boolForKey(kStatusBarOverlayStateShrinked), false);
}
