#include "widgets/ProgressHUD.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/Perform.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGradient.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIStringDrawing.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace ProgressHUD_cpp {

constexpr double kFadeDuration = 0.3;
constexpr CGFloat kLabelSpacing = 4;
constexpr CGFloat kBoxCornerRadius = 10;
// Hiding fades to almost nothing rather than to nothing; `done` takes the rest.
constexpr CGFloat kHiddenAlpha = 0.02;

// A label of the box: its font, centred white text on a clear background, never shrunk.
void styleLabel(const Ref<UILabel>& label, const Ref<UIFont>& font, const std::string& text)
{
    label->setFont(font);
    label->setAdjustsFontSizeToFitWidth(false);
    label->setTextAlignment(UITextAlignmentCenter);
    label->setOpaque(false);
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::whiteColor());
    label->setText(text);
}

// A single line's width, limited as the box limits its labels: the measured width while it leaves a
// margin on both sides, else the bounds less four margins.
CGFloat limitedWidth(CGFloat measured, CGFloat boundsWidth, CGFloat margin)
{
    return measured <= boundsWidth - 2 * margin ? measured : boundsWidth - 4 * margin;
}

// The rounded rectangle of the box, drawn corner by corner as quarter arcs.
void addRoundedRect(const CGContextRef& c, CGRect r, CGFloat radius)
{
    const CGFloat minX = CGRectGetMinX(r), maxX = CGRectGetMaxX(r);
    const CGFloat minY = CGRectGetMinY(r), maxY = CGRectGetMaxY(r);
    c->beginPath();
    c->moveToPoint(minX + radius, minY);
    c->addArc(maxX - radius, minY + radius, radius, 3 * M_PI / 2, 0, false);
    c->addArc(maxX - radius, maxY - radius, radius, 0, M_PI / 2, false);
    c->addArc(minX + radius, maxY - radius, radius, M_PI / 2, M_PI, false);
    c->addArc(minX + radius, minY + radius, radius, M_PI, 3 * M_PI / 2, false);
    c->closePath();
}

}  // namespace ProgressHUD_cpp
}  // namespace

// --- RoundProgressView ---------------------------------------------------------------------------

Ref<RoundProgressView> RoundProgressView::create()
{
    return makeWithFrame<RoundProgressView>(CGRectMake(0, 0, 37, 37));
}

void RoundProgressView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
}

void RoundProgressView::setProgress(float progress)
{
    progress_ = progress;
    setNeedsDisplay();
}

void RoundProgressView::drawRect(CGRect)
{
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) {
        return;
    }
    const CGRect all = bounds();
    const CGRect circle = CGRectInset(all, 2, 2);
    CGContextSetRGBFillColor(c, 1, 1, 1, 0.1);
    CGContextSetRGBStrokeColor(c, 1, 1, 1, 1);
    CGContextSetLineWidth(c, 2);
    CGContextFillEllipseInRect(c, circle);
    CGContextStrokeEllipseInRect(c, circle);
    // The pie grows clockwise on screen from twelve o'clock.
    const CGPoint centre = CGPointMake(all.size.width / 2, all.size.height / 2);
    const CGFloat radius = (all.size.width - 4) / 2;
    const CGFloat start = -M_PI / 2;
    const CGFloat end = start + progress_ * 2 * M_PI;
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextMoveToPoint(c, centre.x, centre.y);
    CGContextAddArc(c, centre.x, centre.y, radius, start, end, 0);
    CGContextClosePath(c);
    CGContextFillPath(c);
}

// --- ProgressHUD: making and ending --------------------------------------------------------------

Ref<ProgressHUD> ProgressHUD::initWithView(const Ref<UIView>& view)
{
    if (!view) {
        NSException::raise(ProgressHUDViewIsNillException, "The view used in the ProgressHUD initializer is nil.");
    }
    auto hud = std::make_shared<ProgressHUD>();
    hud->initWithViewBody(view);
    return hud;
}

Ref<ProgressHUD> ProgressHUD::initWithWindow(const Ref<UIWindow>& window)
{
    return initWithView(window);
}

void ProgressHUD::initWithViewBody(const Ref<UIView>& view)
{
    initWithFrameBody(view->bounds());
    if (std::dynamic_pointer_cast<UIWindow>(view)) {
        setTransformForCurrentOrientation(false);
    }
    NSNotificationCenter::defaultCenter()->addObserver_selector_name_object(
        self<ProgressHUD>(), &ProgressHUD::deviceOrientationDidChange, UIDeviceOrientationDidChangeNotification,
        Value());
}

void ProgressHUD::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    {
        std::lock_guard guard(lock_);
        animationType_ = ProgressHUDAnimationFade;
        mode_ = ProgressHUDModeSpinner;
        labelText_.clear();
        detailsLabelText_.clear();
        opacity_ = 0.8f;
        labelFont_ = UIFont::boldSystemFontOfSize(16);
        detailsLabelFont_ = UIFont::boldSystemFontOfSize(12);
        xOffset_ = 0;
        yOffset_ = 0;
        dimBackground_ = false;
        margin_ = 20;
        graceTime_ = 0;
        minShowTime_ = 0;
        removeFromSuperViewOnHide_ = false;
        taskInProgress_ = false;
        rotationTransform_ = CGAffineTransformIdentity;
    }
    setAutoresizingMask(UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin |
                        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor());
    setAlpha(0);
    label_ = UILabel::initWithFrame(bounds());
    detailsLabel_ = UILabel::initWithFrame(bounds());
    // The first indicator, built as any change of mode builds it (mode 0 always rebuilds).
    setMode(ProgressHUDModeSpinner);
}

ProgressHUD::~ProgressHUD()
{
    NSNotificationCenter::defaultCenter()->removeObserver(this);
}

Ref<ProgressHUD> ProgressHUD::showHUDAddedTo_animated(const Ref<UIView>& view, bool animated)
{
    Ref<ProgressHUD> hud = initWithView(view);
    view->addSubview(hud);
    hud->show(animated);
    return hud;
}

bool ProgressHUD::hideHUDForView_animated(const Ref<UIView>& view, bool animated)
{
    if (!view) {
        return false;
    }
    Ref<ProgressHUD> last;
    for (const Ref<UIView>& subview : view->subviews()) {
        if (auto hud = std::dynamic_pointer_cast<ProgressHUD>(subview)) {
            last = hud;
        }
    }
    if (!last) {
        return false;
    }
    last->setRemoveFromSuperViewOnHide(true);
    last->hide(animated);
    return true;
}

void ProgressHUD::onMain(std::function<void(ProgressHUD&)> fn)
{
    if (NSThread::isMainThread()) {
        fn(*this);
        return;
    }
    performSelectorOnMainThread([hud = self<ProgressHUD>(), fn = std::move(fn)] { fn(*hud); }, false);
}

// --- Mode, texts and progress (any thread) -------------------------------------------------------

void ProgressHUD::setMode(int mode)
{
    {
        std::lock_guard guard(lock_);
        // Setting the shown mode again would only make the indicator flicker; the spinner is always
        // built afresh (that is how the first one is made).
        if (mode_ != ProgressHUDModeSpinner && mode_ == mode) {
            return;
        }
        mode_ = mode;
    }
    onMain([](ProgressHUD& hud) { hud.updateIndicators(); });
    onMain([](ProgressHUD& hud) { hud.setNeedsLayout(); });
    onMain([](ProgressHUD& hud) { hud.setNeedsDisplay(); });
}

void ProgressHUD::updateIndicators()
{
    Ref<UIView> old = indicator();
    if (old) {
        old->removeFromSuperview();
    }
    const int mode = this->mode();
    Ref<UIView> custom = customView();
    Ref<UIView> next;
    if (mode == ProgressHUDModeRoundProgress) {
        next = RoundProgressView::create();
    } else if (mode == ProgressHUDModeCustom && custom) {
        next = custom;
    } else {
        auto spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
        spinner->startAnimating();
        next = spinner;
    }
    setIndicator(next);
    addSubview(next);
}

void ProgressHUD::setLabelText(const std::string& text)
{
    onMain([text](ProgressHUD& hud) {
        std::lock_guard guard(hud.lock_);
        if (hud.labelText_ != text) {
            hud.labelText_ = text;
        }
    });
    onMain([](ProgressHUD& hud) { hud.setNeedsLayout(); });
    onMain([](ProgressHUD& hud) { hud.setNeedsDisplay(); });
}

void ProgressHUD::setDetailsLabelText(const std::string& text)
{
    onMain([text](ProgressHUD& hud) {
        std::lock_guard guard(hud.lock_);
        if (hud.detailsLabelText_ != text) {
            hud.detailsLabelText_ = text;
        }
    });
    onMain([](ProgressHUD& hud) { hud.setNeedsLayout(); });
    onMain([](ProgressHUD& hud) { hud.setNeedsDisplay(); });
}

void ProgressHUD::setProgress(float progress)
{
    {
        std::lock_guard guard(lock_);
        progress_ = progress;
    }
    onMain([progress](ProgressHUD& hud) {
        if (hud.mode() != ProgressHUDModeRoundProgress) {
            return;
        }
        if (auto pie = std::dynamic_pointer_cast<RoundProgressView>(hud.indicator())) {
            pie->setProgress(progress);
        }
    });
    onMain([](ProgressHUD& hud) {
        if (hud.mode() == ProgressHUDModeRoundProgress) {
            hud.setNeedsDisplay();
        }
    });
}

// --- Layout and drawing -----------------------------------------------------------------------------

void ProgressHUD::layoutSubviews()
{
    using namespace ProgressHUD_cpp;
    const CGRect frame = bounds();
    const Ref<UIView> indicator = this->indicator();
    const std::string text = labelText();
    const std::string details = detailsLabelText();
    const CGFloat m = margin();
    const CGFloat dx = xOffset();
    const CGFloat dy = yOffset();

    CGRect indicatorFrame = indicator ? indicator->bounds() : CGRectZero;
    CGFloat boxWidth = indicatorFrame.size.width + 2 * m;
    CGFloat boxHeight = indicatorFrame.size.height + 2 * m;
    indicatorFrame.origin.x = std::floor((frame.size.width - indicatorFrame.size.width) / 2) + dx;
    indicatorFrame.origin.y = std::floor((frame.size.height - indicatorFrame.size.height) / 2) + dy;
    if (indicator) {
        indicator->setFrame(indicatorFrame);
    }
    const auto finish = [&] {
        std::lock_guard guard(lock_);
        width_ = float(boxWidth);
        height_ = float(boxHeight);
    };

    // A label whose text was taken away leaves the box instead of showing its old text.
    if (text.empty()) {
        label_->removeFromSuperview();
        detailsLabel_->removeFromSuperview();
        finish();
        return;
    }
    const Ref<UIFont> font = labelFont();
    const CGSize measured = UIStringDrawing::sizeWithFont(text, font);
    const CGFloat labelWidth = limitedWidth(measured.width, frame.size.width, m);
    const CGFloat labelHeight = measured.height;
    styleLabel(label_, font, text);
    if (boxWidth < labelWidth + 2 * m) {
        boxWidth = labelWidth + 2 * m;
    }
    boxHeight += labelHeight + kLabelSpacing;
    indicatorFrame.origin.y -= std::floor(labelHeight / 2 + kLabelSpacing / 2);
    if (indicator) {
        indicator->setFrame(indicatorFrame);
    }
    CGRect labelFrame = CGRectMake(std::floor((frame.size.width - labelWidth) / 2) + dx,
                                   std::floor(CGRectGetMaxY(indicatorFrame) + kLabelSpacing), labelWidth, labelHeight);
    label_->setFrame(labelFrame);
    addSubview(label_);

    if (details.empty()) {
        detailsLabel_->removeFromSuperview();
        finish();
        return;
    }
    const Ref<UIFont> detailsFont = detailsLabelFont();
    const CGSize detailsMeasured = UIStringDrawing::sizeWithFont(details, detailsFont);
    const CGFloat detailsWidth = limitedWidth(detailsMeasured.width, frame.size.width, m);
    const CGFloat detailsHeight = detailsMeasured.height;
    styleLabel(detailsLabel_, detailsFont, details);
    // The box widens only when it is narrower than the bare details width.
    if (boxWidth < detailsWidth) {
        boxWidth = detailsWidth + 2 * m;
    }
    boxHeight += detailsHeight + kLabelSpacing;
    const CGFloat shift = std::floor(detailsHeight / 2 + kLabelSpacing / 2);
    indicatorFrame.origin.y -= shift;
    labelFrame.origin.y -= shift;
    if (indicator) {
        indicator->setFrame(indicatorFrame);
    }
    label_->setFrame(labelFrame);
    detailsLabel_->setFrame(CGRectMake(std::floor((frame.size.width - detailsWidth) / 2) + dx,
                                       CGRectGetMaxY(labelFrame) + kLabelSpacing, detailsWidth, detailsHeight));
    addSubview(detailsLabel_);
    finish();
}

void ProgressHUD::drawRect(CGRect)
{
    using namespace ProgressHUD_cpp;
    const CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) {
        return;
    }
    const CGRect all = bounds();
    if (dimBackground()) {
        // A shade that darkens towards the edges, from the middle outwards and beyond.
        const CGFloat locations[] = {0, 1};
        const CGFloat components[] = {0, 0, 0, 0, 0, 0, 0, 0.75};
        const CGGradientRef gradient =
            CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
        const CGPoint centre = CGPointMake(all.size.width / 2, all.size.height / 2);
        const CGFloat radius = std::min(all.size.width, all.size.height);
        CGContextDrawRadialGradient(c, gradient, centre, 0, centre, radius, kCGGradientDrawsAfterEndLocation);
    }
    const CGFloat boxWidth = width();
    const CGFloat boxHeight = height();
    const CGRect box = CGRectMake(std::round((all.size.width - boxWidth) / 2) + xOffset(),
                                  std::round((all.size.height - boxHeight) / 2) + yOffset(), boxWidth, boxHeight);
    CGContextSetGrayFillColor(c, 0.2, opacity());
    addRoundedRect(c, box, kBoxCornerRadius);
    CGContextFillPath(c);
}

// --- Orientation --------------------------------------------------------------------------------------

void ProgressHUD::setTransformForCurrentOrientation(bool animated)
{
    const UIInterfaceOrientation orientation = UIApplication::sharedApplication()->statusBarOrientation();
    if (Ref<UIView> parent = superview()) {
        setBounds(parent->bounds());
        setNeedsDisplay();
    }
    CGFloat degrees = 0;
    if (orientation == UIInterfaceOrientationLandscapeLeft || orientation == UIInterfaceOrientationLandscapeRight) {
        const CGRect b = bounds();
        setBounds(CGRectMake(0, 0, b.size.height, b.size.width));
        degrees = orientation == UIInterfaceOrientationLandscapeLeft ? -90 : 90;
    } else if (orientation == UIInterfaceOrientationPortraitUpsideDown) {
        degrees = 180;
    }
    const CGAffineTransform rotation = CGAffineTransformMakeRotation(degrees * M_PI / 180);
    setRotationTransform(rotation);
    if (animated) {
        UIView::beginAnimations_context("", nullptr);
        setTransform(rotation);
        UIView::commitAnimations();
    } else {
        setTransform(rotation);
    }
}

void ProgressHUD::deviceOrientationDidChange(const Ref<NSNotification>&)
{
    if (std::dynamic_pointer_cast<UIWindow>(superview())) {
        setTransformForCurrentOrientation(true);
    }
}

// --- Showing and hiding -------------------------------------------------------------------------------

void ProgressHUD::show(bool animated)
{
    setUseAnimation(animated);
    const float grace = graceTime();
    if (grace > 0) {
        // The box holds its timers; they hold it weakly, so a box nobody keeps goes with its timers.
        setGraceTimer(NSTimer::scheduledTimerWithTimeInterval(grace, false, [weak = weakSelf<ProgressHUD>()] {
            if (auto hud = weak.lock()) {
                hud->handleGraceTimer();
            }
        }));
        return;
    }
    setNeedsDisplay();
    showUsingAnimation(animated);
}

void ProgressHUD::handleGraceTimer()
{
    setGraceTimer(nullptr);
    // Only a box that runs a task waits out a grace time: if the task is still running, show it now.
    if (taskInProgress()) {
        setNeedsDisplay();
        showUsingAnimation(useAnimation());
    }
}

void ProgressHUD::showUsingAnimation(bool animated)
{
    setAlpha(0);
    if (animated && animationType() == ProgressHUDAnimationZoom) {
        setTransform(CGAffineTransformScale(rotationTransform(), 1.5, 1.5));
    }
    setShowStarted(NSDate::date());
    if (animated) {
        UIView::animateWithDuration_animations(ProgressHUD_cpp::kFadeDuration, [hud = self<ProgressHUD>()] {
            hud->setAlpha(1);
            if (hud->animationType() == ProgressHUDAnimationZoom) {
                hud->setTransform(hud->rotationTransform());
            }
        });
    } else {
        setAlpha(1);
    }
}

void ProgressHUD::hide(bool animated)
{
    setUseAnimation(animated);
    const float least = minShowTime();
    const std::optional<NSDate> started = showStarted();
    if (least > 0 && started) {
        const double shown = NSDate::date().timeIntervalSinceDate(*started);
        if (shown < least) {
            setMinShowTimer(NSTimer::scheduledTimerWithTimeInterval(least - shown, false, [weak = weakSelf<ProgressHUD>()] {
                if (auto hud = weak.lock()) {
                    hud->handleMinShowTimer();
                }
            }));
            return;
        }
    }
    hideUsingAnimation(animated);
}

void ProgressHUD::handleMinShowTimer()
{
    setMinShowTimer(nullptr);
    hideUsingAnimation(useAnimation());
}

void ProgressHUD::hide_afterDelay(bool animated, double delay)
{
    performSelectorAfterDelay({this, "hide:", nullptr}, [hud = self<ProgressHUD>(), animated] { hud->hide(animated); },
                              delay);
}

void ProgressHUD::hideUsingAnimation(bool animated)
{
    if (!animated) {
        setAlpha(0);
        done();
        return;
    }
    UIView::animateWithDuration_animations_completion(
        ProgressHUD_cpp::kFadeDuration,
        [hud = self<ProgressHUD>()] {
            if (hud->animationType() == ProgressHUDAnimationZoom) {
                hud->setTransform(CGAffineTransformScale(hud->rotationTransform(), 0.5, 0.5));
            }
            hud->setAlpha(ProgressHUD_cpp::kHiddenAlpha);
        },
        [weak = weakSelf<ProgressHUD>()](bool) {
            if (auto hud = weak.lock()) {
                hud->done();
            }
        });
}

void ProgressHUD::done()
{
    const Ref<ProgressHUD> keep = self<ProgressHUD>();  // the delegate may let go of the box
    setIsFinished(true);
    setAlpha(0);
    if (Ref<ProgressHUDDelegate> receiver = delegate()) {
        receiver->hudWasHidden(keep);
    }
    if (removeFromSuperViewOnHide()) {
        removeFromSuperview();
    }
}

// --- The task on a worker thread -------------------------------------------------------------------

void ProgressHUD::showWhileExecuting_onTarget_withObject_animated(UISelector method, const Ref<NSObject>& target,
                                                                  const Ref<NSObject>& object, bool animated)
{
    {
        std::lock_guard guard(lock_);
        methodForExecution_ = std::move(method);
        targetForExecution_ = target;
        objectForExecution_ = object;
        taskInProgress_ = true;
    }
    NSThread::detachNewThreadWithBlock([hud = self<ProgressHUD>()]() mutable { launchExecution(std::move(hud)); });
    show(animated);
}

void ProgressHUD::launchExecution(Ref<ProgressHUD> hud)
{
    {
        UISelector method;
        Ref<NSObject> target;
        Ref<NSObject> object;
        {
            std::lock_guard guard(hud->lock_);
            method = hud->methodForExecution_;
            target = hud->targetForExecution_;
            object = hud->objectForExecution_;
        }
        method.invoke(target.get(), object);
    }
    // The worker lets go of the box as it hands it to the main thread, so views and the task's
    // target are only ever released there.
    performSelectorOnMainThread([hud = std::move(hud)] { hud->cleanUp(); }, false);
}

void ProgressHUD::cleanUp()
{
    Ref<NSObject> target;
    Ref<NSObject> object;
    {
        std::lock_guard guard(lock_);
        taskInProgress_ = false;
        indicator_.reset();  // the view itself stays on screen while the box hides
        target = std::move(targetForExecution_);
        object = std::move(objectForExecution_);
        targetForExecution_.reset();
        objectForExecution_.reset();
    }
    target.reset();
    object.reset();
    hide(useAnimation());
}

// --- Accessors (any thread) ---------------------------------------------------------------------------

#define PROGRESS_HUD_PROPERTY(Type, getter, Setter, field)   \
    Type ProgressHUD::getter() const                          \
    {                                                         \
        std::lock_guard guard(lock_);                         \
        return field;                                         \
    }                                                         \
    void ProgressHUD::Setter(Type value)                      \
    {                                                         \
        std::lock_guard guard(lock_);                         \
        field = std::move(value);                             \
    }

PROGRESS_HUD_PROPERTY(int, animationType, setAnimationType, animationType_)
PROGRESS_HUD_PROPERTY(float, opacity, setOpacity, opacity_)
PROGRESS_HUD_PROPERTY(float, xOffset, setXOffset, xOffset_)
PROGRESS_HUD_PROPERTY(float, yOffset, setYOffset, yOffset_)
PROGRESS_HUD_PROPERTY(float, margin, setMargin, margin_)
PROGRESS_HUD_PROPERTY(float, width, setWidth, width_)
PROGRESS_HUD_PROPERTY(float, height, setHeight, height_)
PROGRESS_HUD_PROPERTY(bool, dimBackground, setDimBackground, dimBackground_)
PROGRESS_HUD_PROPERTY(float, graceTime, setGraceTime, graceTime_)
PROGRESS_HUD_PROPERTY(float, minShowTime, setMinShowTime, minShowTime_)
PROGRESS_HUD_PROPERTY(bool, taskInProgress, setTaskInProgress, taskInProgress_)
PROGRESS_HUD_PROPERTY(bool, removeFromSuperViewOnHide, setRemoveFromSuperViewOnHide, removeFromSuperViewOnHide_)
PROGRESS_HUD_PROPERTY(bool, isFinished, setIsFinished, isFinished_)
PROGRESS_HUD_PROPERTY(bool, useAnimation, setUseAnimation, useAnimation_)
PROGRESS_HUD_PROPERTY(std::optional<NSDate>, showStarted, setShowStarted, showStarted_)
PROGRESS_HUD_PROPERTY(UISelector, methodForExecution, setMethodForExecution, methodForExecution_)
PROGRESS_HUD_PROPERTY(CGAffineTransform, rotationTransform, setRotationTransform, rotationTransform_)

#undef PROGRESS_HUD_PROPERTY

// Object properties: the setter takes a reference, as the header declares.
#define PROGRESS_HUD_SHARED_PROPERTY(Type, getter, Setter, field) \
    Type ProgressHUD::getter() const                               \
    {                                                              \
        std::lock_guard guard(lock_);                              \
        return field;                                              \
    }                                                              \
    void ProgressHUD::Setter(const Type& value)                    \
    {                                                              \
        std::lock_guard guard(lock_);                              \
        field = value;                                             \
    }

PROGRESS_HUD_SHARED_PROPERTY(Ref<UIFont>, labelFont, setLabelFont, labelFont_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<UIFont>, detailsLabelFont, setDetailsLabelFont, detailsLabelFont_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<UIView>, customView, setCustomView, customView_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<UIView>, indicator, setIndicator, indicator_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<NSTimer>, graceTimer, setGraceTimer, graceTimer_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<NSTimer>, minShowTimer, setMinShowTimer, minShowTimer_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<NSObject>, targetForExecution, setTargetForExecution, targetForExecution_)
PROGRESS_HUD_SHARED_PROPERTY(Ref<NSObject>, objectForExecution, setObjectForExecution, objectForExecution_)

#undef PROGRESS_HUD_SHARED_PROPERTY

int ProgressHUD::mode() const
{
    std::lock_guard guard(lock_);
    return mode_;
}

std::string ProgressHUD::labelText() const
{
    std::lock_guard guard(lock_);
    return labelText_;
}

std::string ProgressHUD::detailsLabelText() const
{
    std::lock_guard guard(lock_);
    return detailsLabelText_;
}

float ProgressHUD::progress() const
{
    std::lock_guard guard(lock_);
    return progress_;
}

Ref<ProgressHUDDelegate> ProgressHUD::delegate() const
{
    std::lock_guard guard(lock_);
    return delegate_.lock();
}

void ProgressHUD::setDelegate(const Ref<ProgressHUDDelegate>& delegate)
{
    std::lock_guard guard(lock_);
    delegate_ = delegate;
}

