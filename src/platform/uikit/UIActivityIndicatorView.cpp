#include "platform/uikit/UIActivityIndicatorView.h"

#include "platform/uikit/UIColor.h"

void UIActivityIndicatorView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setUserInteractionEnabled(false);
    color_ = style_ == UIActivityIndicatorViewStyleGray ? UIColor::grayColor() : UIColor::whiteColor();
    setHidden(hidesWhenStopped_);
}

Ref<UIActivityIndicatorView> UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyle style)
{
    auto view = std::make_shared<UIActivityIndicatorView>();
    view->style_ = style;
    const CGSize size = view->sizeThatFits(CGSizeZero);
    view->initWithFrameBody(CGRectMake(0, 0, size.width, size.height));
    return view;
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) const
{
    return style_ == UIActivityIndicatorViewStyleWhiteLarge ? CGSize{37, 37} : CGSize{20, 20};
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style)
{
    style_ = style;
    color_ = style_ == UIActivityIndicatorViewStyleGray ? UIColor::grayColor() : UIColor::whiteColor();
    setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool hides)
{
    hidesWhenStopped_ = hides;
    if (!animating_) {
        setHidden(hides);
    }
}

void UIActivityIndicatorView::startAnimating()
{
    animating_ = true;
    setHidden(false);
}

void UIActivityIndicatorView::stopAnimating()
{
    animating_ = false;
    if (hidesWhenStopped_) {
        setHidden(true);
    }
}
