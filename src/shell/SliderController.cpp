#include "shell/SliderController.h"

#include <cmath>

#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIView.h"

void SliderController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    panGesture_ = UIPanGestureRecognizer::initWithTarget_action(
        self<SliderController>(), UISelector::make("updateTopViewHorizontalCenterWithRecognizer:",
                                                   &SliderController::updateTopViewHorizontalCenterWithRecognizer));
    view()->addGestureRecognizer(panGesture_);
    resetTapGesture_ = UITapGestureRecognizer::initWithTarget_action(
        self<SliderController>(), UISelector::make("resetTopView", &SliderController::resetTopView));
}

bool SliderController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation != UIInterfaceOrientationPortraitUpsideDown;
}

CGFloat SliderController::resettedCenter() const
{
    return std::ceil(UIScreen::mainScreen()->bounds().size.width / 2);
}

bool SliderController::underLeftShowing() const
{
    return topView_ && topView_->frame().origin.x > 0;
}

bool SliderController::underRightShowing() const
{
    return topView_ && topView_->frame().origin.x < 0;
}

void SliderController::moveTopViewToCenterX(CGFloat x)
{
    if (topView_) {
        topView_->setCenter(CGPointMake(x, topView_->center().y));
    }
}

void SliderController::setTopView(const Ref<UIView>& view)
{
    const Ref<UIView> old = topView_;
    topViewWillChange(old, view);
    if (topView_) {
        // A screen left with the catcher on would come back unable to take a touch.
        removeTapView();
        topView_->removeFromSuperview();
    }
    topView_ = view;
    if (topView_) {
        this->view()->addSubview(topView_);
    }
    topViewDidChange(old, view);
}

void SliderController::slideToX(int target)
{
    CGFloat x = kRestCenterX;
    if (target == SlideToLeftPanel) {
        x = kLeftPanelCenterX;
        leftDidShow();
    } else if (target == SlideToRightPanel) {
        x = kRightPanelCenterX;
        rightDidShow();
    }
    if (target == SlideToLeftPanel || target == SlideToRightPanel) {
        addTapView();
    }
    Weak<SliderController> weak = weakSelf<SliderController>();
    UIView::animateWithDuration_animations_completion(
        kSlideDuration, [this, x] { moveTopViewToCenterX(x); },
        [weak, target](bool) {
            auto strong = weak.lock();
            // A slide to a panel started meanwhile keeps its catcher.
            if (strong && target == SlideToRest && strong->topView_ &&
                strong->topView_->center().x == strong->resettedCenter()) {
                strong->removeTapView();
            }
        });
}

void SliderController::resetTopView()
{
    slideToX(SlideToRest);
}

void SliderController::resetTopViewNoAnimate()
{
    removeTapView();
    moveTopViewToCenterX(kRestCenterX);
}

void SliderController::addTapView()
{
    if (!topView_ || topView_->viewWithTag(kSliderTapCatcherTag)) {
        return;
    }
    auto catcher = UIImageView::initWithFrame(view()->bounds());
    catcher->setUserInteractionEnabled(true);
    catcher->setOpaque(true);
    catcher->setTag(kSliderTapCatcherTag);
    topView_->addSubview(catcher);
    topView_->addGestureRecognizer(resetTapGesture_);
}

void SliderController::removeTapView()
{
    if (!topView_) {
        return;
    }
    if (Ref<UIView> catcher = topView_->viewWithTag(kSliderTapCatcherTag)) {
        catcher->removeFromSuperview();
        topView_->removeGestureRecognizer(resetTapGesture_);
    }
}

void SliderController::updateTopViewHorizontalCenterWithRecognizer(const Ref<UIPanGestureRecognizer>& recognizer)
{
    if (!recognizer || !topView_) {
        return;
    }
    const CGFloat x = recognizer->locationInView(view()).x;
    switch (recognizer->state()) {
    case UIGestureRecognizerStateBegan:
        addTapView();
        initialTouchPositionX_ = x;
        initialHoizontalCenter_ = topView_->center().x;
        break;
    case UIGestureRecognizerStateChanged: {
        CGFloat center = initialHoizontalCenter_ - (initialTouchPositionX_ - x);
        if (leftEnable_ && underLeftShowing()) {
            leftWillShow();
        } else if (rightEnable_ && underRightShowing()) {
            rightWillShow();
        }
        if (!rightEnable_ && center < resettedCenter()) {
            center = resettedCenter();
        }
        if (!leftEnable_ && center > resettedCenter()) {
            center = resettedCenter();
        }
        moveTopViewToCenterX(center);
        break;
    }
    case UIGestureRecognizerStateEnded:
    case UIGestureRecognizerStateCancelled: {
        const CGFloat velocity = recognizer->velocityInView(view()).x;
        if (underLeftShowing() && velocity > kOpenVelocity) {
            slideToX(SlideToLeftPanel);
        } else if (underRightShowing() && velocity < kOpenVelocity) {
            slideToX(SlideToRightPanel);
        } else {
            slideToX(SlideToRest);
        }
        break;
    }
    default:
        break;
    }
}

void SliderController::setTopViewOffScreen(const Ref<UIView>& view)
{
    if (!topView_) {
        setTopView(view);
        if (topView_) {
            moveTopViewToCenterX(kOffScreenCenterX);
        }
        slideToX(SlideToRest);
        return;
    }
    Weak<SliderController> weak = weakSelf<SliderController>();
    Ref<UIView> incoming = view;
    UIView::animateWithDuration_animations_completion(
        kSlideDuration, [this] { moveTopViewToCenterX(kOffScreenCenterX); },
        [weak, incoming](bool) {
            auto strong = weak.lock();
            if (!strong) {
                return;
            }
            if (incoming && strong->topView_) {
                incoming->setCenter(strong->topView_->center());
            }
            strong->setTopView(incoming);
            strong->slideToX(SlideToRest);
        });
}
