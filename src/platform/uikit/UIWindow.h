#pragma once
// Windows: the roots of view trees. A window is hidden until made visible; the key window takes the
// touches tests send. A window's coordinates are placed on the screen by its frame.
//
// Touch driving (the headless part): simulateTouchBegan/Moved/Ended/Cancelled deliver a finger's
// touches at window coordinates the way the phone does: the view under the first touch (hit test)
// receives the whole sequence through sendEvent, whatever the later locations; a view that has
// exclusive touch keeps other fingers from reaching any other view of the window while it tracks a
// touch, and is not given a new finger while another view tracks one. simulateTap is a began and an
// ended at one point.
#include <map>

#include "platform/uikit/UITouch.h"
#include "platform/uikit/UIView.h"

class UIViewController;
class UIScreen;

class UIWindow : public UIView {
public:
    static Ref<UIWindow> initWithFrame(CGRect frame) { return makeWithFrame<UIWindow>(frame); }
    static Ref<UIWindow> create() { return makeWithFrame<UIWindow>(CGRectZero); }

    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    bool keyWindow() const { return isKeyWindow(); }
    virtual void becomeKeyWindow() {}
    virtual void resignKeyWindow() {}

    UIWindowLevel windowLevel() const { return windowLevel_; }
    void setWindowLevel(UIWindowLevel level) { windowLevel_ = level; }
    Ref<UIScreen> screen() const;

    // The root view controller's view fills the window (less the status bar while it shows) and
    // appears when the window is visible.
    Ref<UIViewController> rootViewController() const { return rootViewController_; }
    void setRootViewController(const Ref<UIViewController>& controller);
    // Puts a controller's view (the root's, or one presented over it) at the application's frame, under
    // the status bar, clipping what it draws to that frame.
    void placeControllerView(const Ref<UIView>& view);

    CGPoint convertPoint_toWindow(CGPoint point, const Ref<UIWindow>& window) const;
    CGPoint convertPoint_fromWindow(CGPoint point, const Ref<UIWindow>& window) const;

    // Delivers each touch of the event to its view.
    virtual void sendEvent(const Ref<UIEvent>& event);
    Ref<UIResponder> nextResponder() const override;
    void setHidden(bool hidden) override;

    // --- Touch driving ---
    // Returns the view the touch went to (null when nothing takes it).
    Ref<UIView> simulateTouchBegan(CGPoint point, int finger = 0);
    void simulateTouchMoved(CGPoint point, int finger = 0);
    void simulateTouchEnded(CGPoint point, int finger = 0);
    void simulateTouchEnded(int finger = 0);  // where it last was
    void simulateTouchCancelled(int finger = 0);
    Ref<UIView> simulateTap(CGPoint point, int finger = 0);
    // The touches now down, for tests.
    size_t activeTouchCount() const { return touches_.size(); }

    void initWithFrameBody(CGRect frame) override;
    ~UIWindow() override;

private:
    void deliver(const Ref<UITouch>& touch, UITouchPhase phase);
    void showRoot();

    UIWindowLevel windowLevel_ = UIWindowLevelNormal;
    Ref<UIViewController> rootViewController_;
    std::map<int, Ref<UITouch>> touches_;
    double lastTapTime_ = -1;
    CGPoint lastTapPoint_;
    NSUInteger lastTapCount_ = 0;
};
