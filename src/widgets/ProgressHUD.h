#pragma once
// ProgressHUD: a translucent rounded box shown over a view (or the whole window) while something runs,
// with a spinner, a pie of determinate progress (RoundProgressView) or a custom view (an icon), an
// optional main label and an optional details label under it.
//
// Three ways the application uses it:
// - a short notice: initWithWindow, mode custom with an image view, a text, show, hide_afterDelay;
// - a blocking wait: initWithView on a screen's view, added by the caller, then
//   showWhileExecuting_onTarget_withObject_animated runs one of the screen's methods on a worker thread
//   and hides the box on the main thread when it returns;
// - a box the caller shows and takes away itself (alpha, removal from the superview).
//
// Timing runs on the process clock (timers and animations of the calling thread's run loop): a grace
// time delays showing and applies only to a box that runs a task (a plain show with a grace time
// never shows); a minimum show time keeps a shown box up that long before a hide takes effect.
// Hiding ends in `done`, which tells the delegate.
//
// Threads: setMode, setLabelText, setDetailsLabelText and setProgress may be called from any thread
// (off the main thread their view work is handed to the main queue without waiting); every other
// accessor may be read from any thread. Everything else is main-thread work. The task runs on a thread
// of its own and must reach the interface through the main thread only.
//
// A label text that is empty means no label (the platform's nil).
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UISelector.h"
#include "platform/uikit/UIView.h"

class NSNotification;
class ProgressHUD;
class UIFont;
class UILabel;
class UIWindow;

inline constexpr char ProgressHUDViewIsNillException[] = "ProgressHUDViewIsNillException";

enum ProgressHUDMode : int {
    ProgressHUDModeSpinner = 0,        // a large white spinner
    ProgressHUDModeRoundProgress = 1,  // a RoundProgressView showing `progress`
    ProgressHUDModeCustom = 2,         // `customView` (the spinner when there is none)
};

enum ProgressHUDAnimation : int {
    ProgressHUDAnimationFade = 0,  // alpha only
    ProgressHUDAnimationZoom = 1,  // alpha with a zoom from 1.5 in and to 0.5 out
};

// Told on the main thread when the box has finished hiding. The box sends hudWasHidden(hud); its
// default passes the news on to hudWasHidden(), so a delegate that overrides the first hears only the
// first and one that overrides only the second hears the second.
class ProgressHUDDelegate {
public:
    virtual ~ProgressHUDDelegate() = default;
    virtual void hudWasHidden(const Ref<ProgressHUD>& hud) { hudWasHidden(); }
    virtual void hudWasHidden() {}
};

// A pie of determinate progress in a faint ring: 37 x 37 points made with create().
class RoundProgressView : public UIView {
public:
    static Ref<RoundProgressView> create();
    static Ref<RoundProgressView> initWithFrame(CGRect frame) { return makeWithFrame<RoundProgressView>(frame); }

    float progress() const { return progress_; }
    // Stores the value (0.0 to 1.0) and asks for a redraw.
    void setProgress(float progress);

    void initWithFrameBody(CGRect frame) override;
    void drawRect(CGRect rect) override;

private:
    float progress_ = 0;
};

class ProgressHUD : public UIView {
public:
    // A box the size of the view's bounds; a nil view raises ProgressHUDViewIsNillException. On a
    // window the box turns with the status bar's orientation. The caller adds the box to the view.
    static Ref<ProgressHUD> initWithView(const Ref<UIView>& view);
    static Ref<ProgressHUD> initWithWindow(const Ref<UIWindow>& window);
    static Ref<ProgressHUD> initWithFrame(CGRect frame) { return makeWithFrame<ProgressHUD>(frame); }
    ~ProgressHUD() override;

    // Makes a box for the view, adds it on top and shows it.
    static Ref<ProgressHUD> showHUDAddedTo_animated(const Ref<UIView>& view, bool animated);
    // Hides (and then removes) the last box among the view's direct subviews; false when there is none.
    static bool hideHUDForView_animated(const Ref<UIView>& view, bool animated);

    // --- Showing and hiding ---
    void show(bool animated);
    void hide(bool animated);
    void hide_afterDelay(bool animated, double delay);
    // Runs the selector on the target with the object on a new thread and shows the box; when the task
    // returns, the main thread releases target and object and hides the box. The box, the target and
    // the object are kept alive until then.
    void showWhileExecuting_onTarget_withObject_animated(UISelector method, const Ref<NSObject>& target,
                                                         const Ref<NSObject>& object, bool animated);

    // --- Properties ---
    int mode() const;
    void setMode(int mode);
    int animationType() const;
    void setAnimationType(int type);
    std::string labelText() const;
    void setLabelText(const std::string& text);
    std::string detailsLabelText() const;
    void setDetailsLabelText(const std::string& text);
    float progress() const;
    void setProgress(float progress);
    float opacity() const;
    void setOpacity(float opacity);
    Ref<UIFont> labelFont() const;
    void setLabelFont(const Ref<UIFont>& font);
    Ref<UIFont> detailsLabelFont() const;
    void setDetailsLabelFont(const Ref<UIFont>& font);
    float xOffset() const;
    void setXOffset(float offset);
    float yOffset() const;
    void setYOffset(float offset);
    float margin() const;
    void setMargin(float margin);
    // The box's size, worked out by the layout.
    float width() const;
    void setWidth(float width);
    float height() const;
    void setHeight(float height);
    bool dimBackground() const;
    void setDimBackground(bool dim);
    float graceTime() const;
    void setGraceTime(float seconds);
    float minShowTime() const;
    void setMinShowTime(float seconds);
    bool taskInProgress() const;
    void setTaskInProgress(bool running);
    bool removeFromSuperViewOnHide() const;
    void setRemoveFromSuperViewOnHide(bool remove);
    bool isFinished() const;
    void setIsFinished(bool finished);
    bool useAnimation() const;
    void setUseAnimation(bool animated);
    Ref<UIView> customView() const;
    void setCustomView(const Ref<UIView>& view);
    Ref<UIView> indicator() const;
    void setIndicator(const Ref<UIView>& indicator);
    Ref<ProgressHUDDelegate> delegate() const;
    void setDelegate(const Ref<ProgressHUDDelegate>& delegate);
    // When the box became visible (none before the first show).
    std::optional<NSDate> showStarted() const;
    void setShowStarted(std::optional<NSDate> date);
    Ref<NSTimer> graceTimer() const;
    void setGraceTimer(const Ref<NSTimer>& timer);
    Ref<NSTimer> minShowTimer() const;
    void setMinShowTimer(const Ref<NSTimer>& timer);
    UISelector methodForExecution() const;
    void setMethodForExecution(UISelector method);
    Ref<NSObject> targetForExecution() const;
    void setTargetForExecution(const Ref<NSObject>& target);
    Ref<NSObject> objectForExecution() const;
    void setObjectForExecution(const Ref<NSObject>& object);
    CGAffineTransform rotationTransform() const;
    void setRotationTransform(CGAffineTransform transform);

    // The two labels (made with the box, added as subviews by the layout while they have a text).
    Ref<UILabel> label() const { return label_; }
    Ref<UILabel> detailsLabel() const { return detailsLabel_; }

    // Takes the superview's bounds and turns the box upright for the status bar's orientation.
    void setTransformForCurrentOrientation(bool animated);
    void deviceOrientationDidChange(const Ref<NSNotification>& notification);

    void initWithFrameBody(CGRect frame) override;
    void layoutSubviews() override;
    void drawRect(CGRect rect) override;

private:
    void initWithViewBody(const Ref<UIView>& view);
    void updateIndicators();
    void handleGraceTimer();
    void handleMinShowTimer();
    void showUsingAnimation(bool animated);
    void hideUsingAnimation(bool animated);
    void done();
    void cleanUp();
    static void launchExecution(Ref<ProgressHUD> hud);
    // Runs fn on the main thread: at once there, else posted without waiting (the box kept alive).
    void onMain(std::function<void(ProgressHUD&)> fn);

    mutable std::mutex lock_;  // guards the properties below (read from any thread)
    int mode_ = ProgressHUDModeSpinner;
    int animationType_ = ProgressHUDAnimationFade;
    UISelector methodForExecution_;
    Ref<NSObject> targetForExecution_;
    Ref<NSObject> objectForExecution_;
    bool useAnimation_ = false;
    float yOffset_ = 0;
    float xOffset_ = 0;
    float width_ = 0;
    float height_ = 0;
    float margin_ = 20;
    bool dimBackground_ = false;
    bool taskInProgress_ = false;
    float graceTime_ = 0;
    float minShowTime_ = 0;
    Ref<NSTimer> graceTimer_;
    Ref<NSTimer> minShowTimer_;
    std::optional<NSDate> showStarted_;
    Ref<UIView> indicator_;
    float progress_ = 0;
    Weak<ProgressHUDDelegate> delegate_;
    std::string labelText_;
    std::string detailsLabelText_;
    float opacity_ = 0.8f;
    Ref<UIFont> labelFont_;
    Ref<UIFont> detailsLabelFont_;
    bool isFinished_ = false;
    bool removeFromSuperViewOnHide_ = false;
    Ref<UIView> customView_;
    CGAffineTransform rotationTransform_ = CGAffineTransformIdentity;

    Ref<UILabel> label_;
    Ref<UILabel> detailsLabel_;
};
