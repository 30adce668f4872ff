#include "platform/uikit/UIViewController.h"

#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIView.h"

UIViewController::~UIViewController()
{
    if (view_ && view_->viewDelegate().get() == this) {
        view_->setViewDelegate({});
    }
}

Ref<UIView> UIViewController::view()
{
    if (!view_) {
        Ref<UIViewController> keep = self<UIViewController>();
        loadView();
        if (!view_) {
            // A loadView that sets no view leaves the platform's plain one.
            UIViewController::loadView();
        }
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(const Ref<UIView>& view)
{
    if (view_ == view) {
        return;
    }
    if (view_ && view_->viewDelegate().get() == this) {
        view_->setViewDelegate({});
    }
    view_ = view;
    if (view_) {
        view_->setViewDelegate(weakSelf<UIResponder>());
    }
}

void UIViewController::loadView() { setView(UIView::initWithFrame(UIScreen::mainScreen()->applicationFrame())); }

Ref<UIResponder> UIViewController::nextResponder() const { return view_ ? view_->superview() : nullptr; }
