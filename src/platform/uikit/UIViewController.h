#pragma once
// The base of screens: a responder that owns a root view, loads it on first use and hears when it
// appears and disappears. This is the part windows need (a root view controller); navigation,
// presentation and interface files build on it.
#include <string>

#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UIResponder.h"

class UIView;

class UIViewController : public UIResponder {
public:
    static Ref<UIViewController> create() { return make<UIViewController>(); }

    // Constructs T and runs its init body, as [[T alloc] init].
    template <class T>
    static Ref<T> make()
    {
        auto controller = std::make_shared<T>();
        controller->initBody();
        return controller;
    }

    // The root view: loaded on first access (loadView, then viewDidLoad).
    Ref<UIView> view();
    void setView(const Ref<UIView>& view);
    bool isViewLoaded() const { return view_ != nullptr; }
    // Makes a plain view the size of the screen's application frame; subclasses build their own.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewDidUnload() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
    {
        return orientation == UIInterfaceOrientationPortrait;
    }
    virtual void didReceiveMemoryWarning() {}

    const std::string& title() const { return title_; }
    virtual void setTitle(const std::string& title) { title_ = title; }

    // After the root view, touches go to the view's superview.
    Ref<UIResponder> nextResponder() const override;

    UIViewController() = default;
    ~UIViewController() override;

    // The init body of plain init.
    virtual void initBody() { NSObject::initBody(); }

private:
    Ref<UIView> view_;
    std::string title_;
};
