#pragma once
// The base of screens: a responder that owns a root view, loads it on first use (from its interface
// file when it has one) and hears when it appears and disappears; with its place among controllers
// (the container it is a child of, the controller it presents or is presented by), its navigation
// item and toolbar items.
//
// Appearance. Each controller knows whether it has appeared; beginAppearanceTransition and
// endAppearanceTransition move it (calling viewWillAppear / viewWillDisappear, then viewDidAppear /
// viewDidDisappear, never twice in a row) and pass the move on to the children on show: the top of
// a navigation stack, and the child controllers whose views are in this controller's view. The
// window, the containers and presentation use them, in the phone's order:
//   push and pop, containers swapping children (transitionFromViewController):
//       old willDisappear, new willAppear, old didDisappear, new didAppear
//   present and dismiss:
//       old willDisappear, new willAppear, new didAppear, old didDisappear
// Nothing appears or disappears while the controller making the change is not on show itself (a
// navigation controller outside any window pushes without callbacks). Animated transitions end
// (the did-callbacks, removing the old view) after their duration on the process clock: 0.35 s for
// navigation, 0.4 s for presentation; a new transition of the same container first ends the one
// still running. Without animation they end at once.
//
// Presentation. presentModalViewController is done by the topmost container of the receiver (a
// screen inside a navigation controller presents from the navigation controller), whose
// modalViewController it becomes; the presented controller's view covers the window over the
// application frame, and the presenter's view leaves the window once the transition ends (it comes
// back, at its place, on dismissal). A controller already presenting another does not present a
// second one (the platform logs a warning and does nothing). dismissModalViewControllerAnimated sent
// to a controller that presents dismisses what it presents (with everything presented above it);
// sent to a presented controller, or to any controller inside a presented container, it is passed
// up to the presenter, so a screen inside a presented navigation flow dismisses the whole flow.
// parentViewController answers the container, else (as the phone did before version 5) the
// presenting controller.
//
// Interface files: a controller made with a nib name loads that file in loadView with itself as the
// owner; the file must connect the owner's view (else NSInternalInconsistencyException, as on the
// phone). Without a name, a file registered under the controller's class name is used when there is
// one.
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UIResponder.h"

class NSBundle;
class NSTimer;
class UIView;
class UIBarButtonItem;
class UINavigationController;
class UINavigationItem;

enum UIModalPresentationStyle : NSInteger {
    UIModalPresentationFullScreen = 0,
    UIModalPresentationPageSheet = 1,
    UIModalPresentationFormSheet = 2,
    UIModalPresentationCurrentContext = 3,
};

enum UIModalTransitionStyle : NSInteger {
    UIModalTransitionStyleCoverVertical = 0,
    UIModalTransitionStyleFlipHorizontal = 1,
    UIModalTransitionStyleCrossDissolve = 2,
    UIModalTransitionStylePartialCurl = 3,
};

inline constexpr double UINavigationTransitionDuration = 0.35;
inline constexpr double UIModalTransitionDuration = 0.4;

class UIViewController : public UIResponder {
public:
    static Ref<UIViewController> create() { return make<UIViewController>(); }
    static Ref<UIViewController> initWithNibName_bundle(const std::string& nibName, const Ref<NSBundle>& bundle)
    {
        return makeWithNibName<UIViewController>(nibName, bundle);
    }

    // Constructs T and runs its init body, as [[T alloc] init].
    template <class T>
    static Ref<T> make()
    {
        auto controller = std::make_shared<T>();
        controller->initBody();
        return controller;
    }
    // Constructs T and runs its init body, as [[T alloc] initWithNibName:name bundle:bundle].
    template <class T>
    static Ref<T> makeWithNibName(const std::string& nibName, const Ref<NSBundle>& bundle = nullptr)
    {
        auto controller = std::make_shared<T>();
        controller->initWithNibName_bundleBody(nibName, bundle);
        return controller;
    }

    // --- The view ---
    // The root view: loaded on first access (loadView, then viewDidLoad).
    Ref<UIView> view();
    void setView(const Ref<UIView>& view);
    bool isViewLoaded() const { return view_ != nullptr; }
    // Loads the interface file when there is one, else makes a plain view the size of the screen's
    // application frame; subclasses build their own.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewDidUnload() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}
    // Every controller hears the application's memory warnings. By default, a controller whose view
    // is loaded but not in a window releases the view and calls viewDidUnload (as the phone did); the
    // view loads again on the next access.
    virtual void didReceiveMemoryWarning();

    const std::string& nibName() const { return nibName_; }
    Ref<NSBundle> nibBundle() const { return nibBundle_; }

    const std::string& title() const { return title_; }
    // Also the navigation item's title.
    virtual void setTitle(const std::string& title);

    // --- Appearance (see the top of this file) ---
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    // Whether the controller has appeared or is appearing (on show).
    bool isVisible() const { return appearState_ == Appeared || appearState_ == Appearing; }
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // --- Rotation ---
    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
    {
        return orientation == UIInterfaceOrientationPortrait;
    }
    virtual void willRotateToInterfaceOrientation_duration(UIInterfaceOrientation orientation, double duration) {}
    virtual void willAnimateRotationToInterfaceOrientation_duration(UIInterfaceOrientation orientation,
                                                                    double duration)
    {
    }
    virtual void didRotateFromInterfaceOrientation(UIInterfaceOrientation fromOrientation) {}
    UIInterfaceOrientation interfaceOrientation() const;
    // Turns the interface of every visible window to the device's orientation when its root
    // controller (for a container, the controller it shows) agrees: the rotation callbacks, then the
    // status bar's orientation. Tests call it after UIDevice::simulateOrientation.
    static void attemptRotationToDeviceOrientation();

    // --- Containment ---
    // The container (navigation controller or parent), else the presenting controller.
    Ref<UIViewController> parentViewController() const;
    // The nearest navigation controller among the containers above.
    Ref<UINavigationController> navigationController() const;
    const std::vector<Ref<UIViewController>>& childViewControllers() const { return children_; }
    void addChildViewController(const Ref<UIViewController>& child);
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const Ref<UIViewController>& parent) {}
    virtual void didMoveToParentViewController(const Ref<UIViewController>& parent) {}
    // Swaps two children: to's view takes from's place in from's superview, with the appearance
    // callbacks when this controller is on show; the animations block runs inside a view animation
    // of the duration, the completion when the transition ends.
    void transitionFromViewController_toViewController_duration_options_animations_completion(
        const Ref<UIViewController>& from, const Ref<UIViewController>& to, double duration,
        UIViewAnimationOptions options, const std::function<void()>& animations,
        std::function<void(bool finished)> completion);

    // --- Presentation ---
    void presentModalViewController_animated(const Ref<UIViewController>& controller, bool animated);
    void presentViewController_animated_completion(const Ref<UIViewController>& controller, bool animated,
                                                   std::function<void()> completion);
    void dismissModalViewControllerAnimated(bool animated);
    void dismissViewControllerAnimated_completion(bool animated, std::function<void()> completion);
    // The controller this one (or a container above it) presents.
    Ref<UIViewController> modalViewController() const;
    Ref<UIViewController> presentedViewController() const { return modalViewController(); }
    // The controller that presents this one (or a container above it).
    Ref<UIViewController> presentingViewController() const;
    UIModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle style) { presentationStyle_ = style; }
    UIModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
    void setModalTransitionStyle(UIModalTransitionStyle style) { transitionStyle_ = style; }
    // Whether the last presentation or dismissal through this controller was animated.
    bool lastPresentationAnimated() const { return lastPresentationAnimated_; }
    bool definesPresentationContext() const { return definesPresentationContext_; }
    void setDefinesPresentationContext(bool defines) { definesPresentationContext_ = defines; }

    // --- Navigation and bars ---
    Ref<UINavigationItem> navigationItem();
    const std::vector<Ref<UIBarButtonItem>>& toolbarItems() const { return toolbarItems_; }
    void setToolbarItems(std::vector<Ref<UIBarButtonItem>> items) { setToolbarItems_animated(std::move(items), false); }
    void setToolbarItems_animated(std::vector<Ref<UIBarButtonItem>> items, bool animated);
    bool hidesBottomBarWhenPushed() const { return hidesBottomBarWhenPushed_; }
    void setHidesBottomBarWhenPushed(bool hides) { hidesBottomBarWhenPushed_ = hides; }
    bool wantsFullScreenLayout() const { return wantsFullScreenLayout_; }
    void setWantsFullScreenLayout(bool wants) { wantsFullScreenLayout_ = wants; }
    CGSize contentSizeForViewInPopover() const { return contentSizeForViewInPopover_; }
    void setContentSizeForViewInPopover(CGSize size) { contentSizeForViewInPopover_ = size; }

    // --- Editing ---
    bool isEditing() const { return editing_; }
    bool editing() const { return editing_; }
    void setEditing(bool editing) { setEditing_animated(editing, false); }
    virtual void setEditing_animated(bool editing, bool animated);
    // An Edit / Done item that toggles editing.
    Ref<UIBarButtonItem> editButtonItem();

    // After the root view, touches go to the view's superview.
    Ref<UIResponder> nextResponder() const override;

    UIViewController() = default;
    ~UIViewController() override;

    // The init body of plain init: initWithNibName_bundleBody with no name, as on the phone.
    virtual void initBody();
    // The designated init body.
    virtual void initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle);

    // --- For containers (navigation controllers and the like) ---
    // Sets or clears the container of a child without the containment callbacks.
    void setParentViewControllerDirect(const Ref<UIViewController>& parent) { parent_ = parent; }
    void setChildViewControllersDirect(std::vector<Ref<UIViewController>> children) { children_ = std::move(children); }
    // Children that appear and disappear with this controller (default: the child controllers whose
    // views are in this controller's view).
    virtual std::vector<Ref<UIViewController>> childrenForAppearance() const;
    // Ends the running transition of this container now (its did-callbacks and clean-up).
    void finishTransition();
    // Runs a transition of this container: begins the disappearance of `from` and the appearance of
    // `to` (either may be null; appearance calls only when `onShow`), then calls start (views in);
    // when it ends - after the duration, or at once when not animated - calls settle (views out),
    // ends both in navigation or presentation order, and calls done.
    enum class TransitionOrder { Navigation, Presentation };
    // A transition's view moving across the screen: its layer slides from one position to another
    // over the duration, eased in and out, and holds the end until the slide is removed (when the
    // transition settles), so no frame shows it back where it started.
    static void addTransitionSlide(const Ref<UIView>& view, CGPoint from, CGPoint to, double duration);
    static void removeTransitionSlide(const Ref<UIView>& view);
    void runTransition(const Ref<UIViewController>& from, const Ref<UIViewController>& to, bool animated,
                       double duration, TransitionOrder order, bool onShow, const std::function<void()>& start,
                       std::function<void()> settle, std::function<void()> done);
    // Called when the bars items a container shows for this controller changed (navigation item or
    // toolbar items); containers override to refresh their bars.
    virtual void childBarItemsDidChange(UIViewController* child) {}

protected:
    // Called from beginAppearanceTransition before the move is passed to the children; containers put
    // the views of the children they show in place here.
    virtual void prepareAppearanceChildren(bool appearing) {}

private:
    enum AppearState { Disappeared, Appearing, Appeared, Disappearing };
    Ref<UIViewController> presentationRoot();
    void dismissPresented(bool animated, std::function<void()> completion);

    Ref<UIView> view_;
    std::string title_;
    std::string nibName_;
    Ref<NSBundle> nibBundle_;
    AppearState appearState_ = Disappeared;
    bool appearAnimated_ = false;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
    Weak<UIViewController> parent_;
    std::vector<Ref<UIViewController>> children_;
    Ref<UIViewController> presented_;
    Weak<UIViewController> presenting_;
    // Where the presenter's view was in the window before a full-screen presentation.
    Weak<UIView> presenterSuperview_;
    size_t presenterIndex_ = 0;
    UIModalPresentationStyle presentationStyle_ = UIModalPresentationFullScreen;
    UIModalTransitionStyle transitionStyle_ = UIModalTransitionStyleCoverVertical;
    bool lastPresentationAnimated_ = false;
    bool definesPresentationContext_ = false;
    Ref<UINavigationItem> navigationItem_;
    std::vector<Ref<UIBarButtonItem>> toolbarItems_;
    bool hidesBottomBarWhenPushed_ = false;
    bool wantsFullScreenLayout_ = false;
    CGSize contentSizeForViewInPopover_{320, 1100};
    bool editing_ = false;
    Ref<UIBarButtonItem> editButtonItem_;
    // The running transition's end, owned by its timer (a controller never owns a transition that
    // holds it).
    struct PendingTransition {
        std::function<void()> end;
    };
    Weak<PendingTransition> transition_;
    Weak<NSTimer> transitionTimer_;
};
