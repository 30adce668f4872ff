#pragma once
// StatusBarOverlay: one window lying over the status bar that shows short messages, one at a time, in
// the order they were posted: an activity message with a spinner, a finish message with "✔" or an
// error message with "✗". A shown message may hide the overlay again after its duration.
//
// Posting works from any thread: the posting work runs on the main thread and the poster waits for it
// (inline when already on the main thread). Everything else - the display cycle, its delayed steps on
// the process clock, the animations, notifications and the tap gesture - runs on the main thread.
//
// The cycle: the queue's oldest message (its last element) is put up, leaves the queue once its text is
// in place, and the next step follows 0.4 s after each switch (after the 0.6 s slide when animated).
// Every step cancels the pending hide of the one before, so the overlay hides once the duration of the
// last shown message has passed.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"

class NSNotification;
class UIActivityIndicatorView;
class UIImage;
class UIImageView;
class UILabel;
class UITextView;

// Message kinds.
enum StatusMessageKind : int {
    StatusMessageKindActivity = 0,
    StatusMessageKindFinish = 1,
    StatusMessageKindError = 2,
};

// What a tap on the strip does.
enum OverlayAnimation : int {
    OverlayAnimationNone = 0,
    OverlayAnimationShrink = 1,
    OverlayAnimationFallDown = 2,
};

// What the drop-down detail view shows.
enum DetailMode : int {
    DetailModeHistory = 0,
    DetailModeText = 1,
    DetailModeCustom = 2,
};

// Keys of a message dictionary (all five always present).
inline constexpr char kStatusBarOverlayMessageKey[] = "MessageText";
inline constexpr char kStatusBarOverlayMessageTypeKey[] = "MessageType";
inline constexpr char kStatusBarOverlayDurationKey[] = "MessageDuration";
inline constexpr char kStatusBarOverlayAnimationKey[] = "MessageAnimation";
inline constexpr char kStatusBarOverlayImmediateKey[] = "MessageImmediate";

// User default holding the shrunk form (saveState / restoreState).
inline constexpr char kStatusBarOverlayStateShrinked[] = "kStatusBarOverlayStateShrinked";

// The compiled-in background images of the strip: a full and a shrunk silver bar, 5 x 20 pixels for
// screens of scale 1 and 10 x 40 for others. The arrays are PNG files.
extern const unsigned char Silver_Base_png[];
extern const unsigned int Silver_Base_png_len;
extern const unsigned char Silver_Base_Shrinked_png[];
extern const unsigned int Silver_Base_Shrinked_png_len;
extern const unsigned char Silver_Base_2x_png[];
extern const unsigned int Silver_Base_2x_png_len;
extern const unsigned char Silver_Base_Shrinked_2x_png[];
extern const unsigned int Silver_Base_Shrinked_2x_png_len;
// The array and length for the flag and the main screen's scale (exactly 1.0 picks the small pair).
const unsigned char* StatusBarBackgroundImageArray(bool shrinked);
unsigned int StatusBarBackgroundImageLength(bool shrinked);
NSData StatusBarBackgroundImageData(bool shrinked);

class StatusBarOverlay;

// Every operation is optional (empty by default).
class StatusBarOverlayDelegate {
public:
    virtual ~StatusBarOverlayDelegate() = default;
    // After a tap (or swipe) on the overlay has been handled.
    virtual void statusBarOverlayDidRecognizeGesture(const Ref<UIGestureRecognizer>& gestureRecognizer) {}
    // After a message's text has been put in place; oldMessage is the history's last entry or nil.
    virtual void statusBarOverlayDidSwitchFromOldMessage_toNewMessage(const Value& oldMessage,
                                                                     const std::string& newMessage)
    {
    }
    // Posting an immediate message removed these waiting messages (dictionaries). Called while the
    // queue's lock is held; the lock is recursive, so posting from here does not block.
    virtual void statusBarOverlayDidClearMessageQueue(const std::vector<Value>& messages) {}
    // The fade-out of hide has completed.
    virtual void statusBarOverlayDidHide() {}
};

// Runs the block at once on the main thread, else synchronously on the main queue.
void overlay_dispatch_sync_on_main_thread(const std::function<void()>& block);

class StatusBarOverlay : public UIWindow, public UITableViewDataSource {
public:
    // The one overlay of the process, made on first use (main thread or not) and never destroyed.
    static Ref<StatusBarOverlay> sharedInstance();
    static Ref<StatusBarOverlay> sharedOverlay() { return sharedInstance(); }

    // --- Posting (any thread) ---
    void postMessage(const std::string& message);
    void postMessage_animated(const std::string& message, bool animated);
    void postMessage_duration(const std::string& message, double duration);
    void postMessage_duration_animated(const std::string& message, double duration, bool animated);
    void postImmediateMessage_animated(const std::string& message, bool animated);
    void postImmediateMessage_duration(const std::string& message, double duration);
    void postImmediateMessage_duration_animated(const std::string& message, double duration, bool animated);
    void postFinishMessage_duration(const std::string& message, double duration);
    void postFinishMessage_duration_animated(const std::string& message, double duration, bool animated);
    void postImmediateFinishMessage_duration_animated(const std::string& message, double duration, bool animated);
    void postErrorMessage_duration(const std::string& message, double duration);
    void postErrorMessage_duration_animated(const std::string& message, double duration, bool animated);
    void postImmediateErrorMessage_duration_animated(const std::string& message, double duration, bool animated);
    // The general forms.
    void postMessage_type_duration_animated_immediate(const std::string& message, int messageType, double duration,
                                                      bool animated, bool immediate);
    void postImmediateMessage_type_duration_animated(const std::string& message, int messageType, double duration,
                                                     bool animated);
    void postMessageDictionary(const Value& messageDictionary);

    // --- Display control (main thread) ---
    void show();
    void hide();
    void hideTemporary();
    // Tests share the one overlay within a process, and the harness drops the main loop's pending
    // work between tests, which would leave a cycle half done, and hides every window (this one too,
    // though the overlay hides itself only by its transparency): this puts it back as at launch (no
    // message waiting or shown, no step pending, not active, shown but transparent).
    void resetForTesting();
    void showNextMessage();
    void applicationWillResignActive(const Ref<NSNotification>& notification);
    void applicationDidBecomeActive(const Ref<NSNotification>& notification);
    void contentViewClicked(const Ref<UIGestureRecognizer>& gestureRecognizer);
    void contentViewSwipedUp(const Ref<UIGestureRecognizer>& gestureRecognizer);
    void contentViewSwipedDown(const Ref<UIGestureRecognizer>& gestureRecognizer);
    void callDelegateWithNewMessage(const std::string& newMessage);

    // --- Message state ---
    // A copy of the waiting messages, newest first (the last one is on show or next to show).
    std::vector<Value> messageQueue() const;
    bool isActive() const;
    bool active() const { return isActive(); }
    void setActive(bool active);
    bool isHideInProgress() const;
    bool hideInProgress() const { return isHideInProgress(); }
    void setHideInProgress(bool hideInProgress);
    bool forcedToHide() const { return forcedToHide_; }
    void setForcedToHide(bool forcedToHide) { forcedToHide_ = forcedToHide; }
    bool canRemoveImmediateMessagesFromQueue() const { return canRemoveImmediateMessagesFromQueue_; }
    void setCanRemoveImmediateMessagesFromQueue(bool value) { canRemoveImmediateMessagesFromQueue_ = value; }
    const std::string& lastPostedMessage() const { return lastPostedMessage_; }
    void setLastPostedMessage(const std::string& message) { lastPostedMessage_ = message; }
    bool hidesActivity() const { return hidesActivity_; }
    void setHidesActivity(bool hidesActivity) { hidesActivity_ = hidesActivity; }
    Ref<StatusBarOverlayDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<StatusBarOverlayDelegate>& delegate) { delegate_ = delegate; }

    // --- Views ---
    Ref<UIView> backgroundView() const { return backgroundView_; }
    Ref<UIView> detailView() const { return detailView_; }
    Ref<UIImageView> statusBarBackgroundImageView() const { return statusBarBackgroundImageView_; }
    Ref<UILabel> statusLabel1() const { return statusLabel1_; }
    Ref<UILabel> statusLabel2() const { return statusLabel2_; }
    Ref<UILabel> hiddenStatusLabel() const { return hiddenStatusLabel_.lock(); }
    Ref<UILabel> visibleStatusLabel() const;
    Ref<UIImageView> progressView() const { return progressView_; }
    Ref<UIActivityIndicatorView> activityIndicator() const { return activityIndicator_; }
    Ref<UILabel> finishedLabel() const { return finishedLabel_; }
    Ref<UIImage> defaultStatusBarImage() const { return defaultStatusBarImage_; }
    Ref<UIImage> defaultStatusBarImageShrinked() const { return defaultStatusBarImageShrinked_; }
    Ref<UITextView> detailTextView() const { return detailTextView_; }
    Ref<UITableView> historyTableView() const { return historyTableView_; }
    Ref<UITapGestureRecognizer> tapGestureRecognizer() const { return tapGestureRecognizer_; }
    CGRect smallFrame() const { return smallFrame_; }
    CGRect oldBackgroundViewFrame() const { return oldBackgroundViewFrame_; }

    void addSubviewToBackgroundView(const Ref<UIView>& view);
    void addSubviewToBackgroundView_atIndex(const Ref<UIView>& view, NSInteger index);

    // --- Look ---
    void setStatusBarBackgroundForStyle(UIStatusBarStyle style);
    void setColorSchemeForStatusBarStyle_messageType(UIStatusBarStyle style, int messageType);
    void updateUIForMessageType_duration(int messageType, double duration);

    // --- Shrunk form ---
    bool isShrinked() const;
    bool shrinked() const { return isShrinked(); }
    void setShrinked_animated(bool shrinked, bool animated);

    // --- Detail view and history ---
    bool isDetailViewHidden() const;
    bool detailViewHidden() const { return isDetailViewHidden(); }
    void setDetailViewHidden_animated(bool hidden, bool animated);
    int detailViewMode() const { return detailViewMode_; }
    void setDetailViewMode(int mode);
    const std::string& detailText() const { return detailText_; }
    void setDetailText(const std::string& detailText);
    void updateDetailTextViewHeight();
    bool isHistoryEnabled() const { return detailViewMode_ == DetailModeHistory; }
    bool historyEnabled() const { return isHistoryEnabled(); }
    void setHistoryEnabled(bool enabled);
    const std::vector<std::string>& messageHistory() const { return messageHistory_; }
    void addMessageToHistory(const std::string& message);
    void clearHistory();
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    // --- Progress ---
    double progress() const { return progress_; }
    void setProgress(double progress);
    void updateProgressViewSizeForLabel(const Ref<UILabel>& label);

    // --- Tap behaviour ---
    int animation() const { return animation_; }
    void setAnimation(int animation);

    // --- Visibility ---
    bool isReallyHidden() const;
    bool reallyHidden() const { return isReallyHidden(); }
    void setHiddenUsingAlpha(bool hidden);
    void setHidden_useAlpha(bool hidden, bool useAlpha);

    // --- Rotation and frame changes ---
    void didChangeStatusBarFrame(const Ref<NSNotification>& notification);
    void rotateToStatusBarFrame(const Value& frameValue);

    // --- Stored form ---
    void saveState();
    void saveStateSynchronized(bool synchronize);
    void restoreState();

    // A fresh overlay for tests that must not share the process-wide one. The application uses
    // sharedOverlay().
    static Ref<StatusBarOverlay> create();

    void initWithFrameBody(CGRect frame) override;
    ~StatusBarOverlay() override;

private:
    // Fades the window in or out through alpha: 0.5 s, or at once while shrunk.
    void fadeHidden(bool hidden, std::function<void(bool)> completion = nullptr);
    // The step after a switch: the queue's shown message leaves it, the delegate hears of the switch and
    // the next step is scheduled.
    void finishSwitch(const std::string& text);
    void scheduleShowNextMessage(double delay);
    bool lightStyle(UIStatusBarStyle style) const;

    // Messages.
    mutable std::recursive_mutex queueLock_;
    std::vector<Value> messageQueue_;
    std::atomic<bool> active_{false};
    std::atomic<bool> hideInProgress_{false};
    bool forcedToHide_ = false;
    // Counts the animated switches begun (and resets): only the newest one may finish its switch.
    unsigned switchCycle_ = 0;
    bool canRemoveImmediateMessagesFromQueue_ = true;
    std::string lastPostedMessage_;
    bool hidesActivity_ = false;
    Weak<StatusBarOverlayDelegate> delegate_;

    // Views.
    Ref<UIView> backgroundView_;
    Ref<UIView> detailView_;
    Ref<UIImageView> statusBarBackgroundImageView_;
    Ref<UILabel> statusLabel1_;
    Ref<UILabel> statusLabel2_;
    Weak<UILabel> hiddenStatusLabel_;
    double progress_ = 1.0;
    Ref<UIImageView> progressView_;
    Ref<UIActivityIndicatorView> activityIndicator_;
    Ref<UILabel> finishedLabel_;
    Ref<UIImage> defaultStatusBarImage_;
    Ref<UIImage> defaultStatusBarImageShrinked_;
    CGRect smallFrame_;
    CGRect oldBackgroundViewFrame_;
    int animation_ = OverlayAnimationNone;
    int detailViewMode_ = DetailModeCustom;
    std::string detailText_;
    Ref<UITextView> detailTextView_;
    std::vector<std::string> messageHistory_;
    Ref<UITableView> historyTableView_;
    Ref<UITapGestureRecognizer> tapGestureRecognizer_;
};
