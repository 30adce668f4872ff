#include "platform/uikit/UIActivityIndicatorView.h"

#include <cmath>

#include "platform/uikit/CALayer.h"
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

namespace {
constexpr char kSpinKey[] = "spin";
}

void UIActivityIndicatorView::startAnimating()
{
    animating_ = true;
    setHidden(false);
    if (!layer()->animationForKey(kSpinKey)) {
        // The spokes step round a twelfth of a turn at a time, once round a second.
        std::vector<CAValue> angles;
        for (int i = 0; i < 12; ++i) {
            angles.emplace_back(2 * M_PI * i / 12);
        }
        auto spin = CAKeyframeAnimation::animationWithKeyPath("transform.rotation.z");
        spin->setValues(std::move(angles));
        spin->setCalculationMode(kCAAnimationDiscrete);
        spin->setDuration(1);
        spin->setRepeatCount(HUGE_VALF);
        layer()->addAnimation_forKey(spin, kSpinKey);
    }
}

void UIActivityIndicatorView::stopAnimating()
{
    if (layer()->animationForKey(kSpinKey)) {
        layer()->removeAnimationForKey(kSpinKey);
    }
    animating_ = false;
    if (hidesWhenStopped_) {
        setHidden(true);
    }
}
