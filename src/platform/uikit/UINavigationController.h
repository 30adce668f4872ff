#pragma once
// Navigation controllers: a stack of controllers, the top one shown under a navigation bar (and
// over a toolbar when it shows), each with its navigation item on the bar.
//
// The view holds the bar (0, 0, width, 44), the content area below it (the whole height when the
// bar is hidden, less 44 at the bottom while the toolbar shows) where the top controller's view
// fills, and the toolbar (hidden at first) showing the top controller's toolbar items.
//
// Pushing and popping change the stack (viewControllers, topViewController) at once; while the
// navigation controller's view is in a visible window they also run the appearance transition in
// navigation order,
// ending after 0.35 s on the process clock when animated (see UIViewController.h), with the
// delegate's willShow before and didShow after. Pushing a controller already in the stack throws
// NSInvalidArgumentException, as on the phone; popping the root does nothing. The bar's back button
// pops the top controller (animated).
#include <vector>

#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UIViewController.h"

class UIToolbar;
class UINavigationController;

class UINavigationControllerDelegate {
public:
    virtual ~UINavigationControllerDelegate() = default;
    virtual void navigationController_willShowViewController_animated(
        const Ref<UINavigationController>& navigationController, const Ref<UIViewController>& viewController,
        bool animated)
    {
    }
    virtual void navigationController_didShowViewController_animated(
        const Ref<UINavigationController>& navigationController, const Ref<UIViewController>& viewController,
        bool animated)
    {
    }
};

class UINavigationController : public UIViewController, public UINavigationBarDelegate {
public:
    static Ref<UINavigationController> initWithRootViewController(const Ref<UIViewController>& root)
    {
        return makeWithRootViewController<UINavigationController>(root);
    }
    static Ref<UINavigationController> create() { return make<UINavigationController>(); }
    template <class T>
    static Ref<T> makeWithRootViewController(const Ref<UIViewController>& root)
    {
        auto controller = std::make_shared<T>();
        controller->initWithRootViewControllerBody(root);
        return controller;
    }

    // --- The stack ---
    const std::vector<Ref<UIViewController>>& viewControllers() const { return childViewControllers(); }
    void setViewControllers(std::vector<Ref<UIViewController>> controllers)
    {
        setViewControllers_animated(std::move(controllers), false);
    }
    void setViewControllers_animated(std::vector<Ref<UIViewController>> controllers, bool animated);
    Ref<UIViewController> topViewController() const;
    // The top controller, or what it presents.
    Ref<UIViewController> visibleViewController() const;
    virtual void pushViewController_animated(const Ref<UIViewController>& controller, bool animated);
    virtual Ref<UIViewController> popViewControllerAnimated(bool animated);
    std::vector<Ref<UIViewController>> popToRootViewControllerAnimated(bool animated);
    std::vector<Ref<UIViewController>> popToViewController_animated(const Ref<UIViewController>& controller,
                                                                    bool animated);

    // --- Bars ---
    Ref<UINavigationBar> navigationBar();
    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    bool navigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden) { setNavigationBarHidden_animated(hidden, false); }
    void setNavigationBarHidden_animated(bool hidden, bool animated);
    Ref<UIToolbar> toolbar();
    bool isToolbarHidden() const { return toolbarHidden_; }
    bool toolbarHidden() const { return toolbarHidden_; }
    void setToolbarHidden(bool hidden) { setToolbarHidden_animated(hidden, false); }
    void setToolbarHidden_animated(bool hidden, bool animated);
    // The view the top controller's view fills.
    Ref<UIView> contentView();

    Ref<UINavigationControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<UINavigationControllerDelegate>& delegate) { delegate_ = delegate; }

    // The top controller answers.
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    void loadView() override;
    // The navigation controller's own appearance reaches its top controller also when a screen calls
    // these directly (as containers written for the older platform do).
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    std::vector<Ref<UIViewController>> childrenForAppearance() const override;
    void childBarItemsDidChange(UIViewController* child) override;
    bool navigationBar_shouldPopItem(const Ref<UINavigationBar>& bar, const Ref<UINavigationItem>& item) override;

    void initWithNibName_bundleBody(const std::string& nibName, const Ref<NSBundle>& bundle) override;
    virtual void initWithRootViewControllerBody(const Ref<UIViewController>& root);

protected:
    void prepareAppearanceChildren(bool appearing) override;

private:
    // Moves the stack to `controllers`, showing the new top in place of the old one.
    void replaceStack(std::vector<Ref<UIViewController>> controllers, bool animated);
    void showInContent(const Ref<UIViewController>& controller);
    void layoutBars();
    void updateBarItems(bool animated = false);
    // Whether the view is in a visible window.
    bool onScreen();

    Ref<UINavigationBar> navigationBar_;
    Ref<UIToolbar> toolbar_;
    Ref<UIView> contentView_;
    bool navigationBarHidden_ = false;
    bool toolbarHidden_ = true;
    Weak<UINavigationControllerDelegate> delegate_;
};
