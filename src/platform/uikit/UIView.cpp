#include "platform/uikit/UIView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/CATransaction.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

// --- Animation blocks -----------------------------------------------------------------------------

namespace {

struct AnimationBlock {
    UIViewAnimationRecord record;
    void* context = nullptr;
    UIViewAnimationCurve curve = UIViewAnimationCurveEaseInOut;
    bool beginsFromCurrentState = false;
    bool hasDelegate = false;
    Weak<NSObject> delegate;
    std::function<void(const std::string&, void*)> willStart;
    std::function<void(const std::string&, bool, void*)> didStop;
    std::function<void(bool)> completion;
    std::shared_ptr<CAAnimationCompletionGroup> group;
};

struct AnimationState {
    std::vector<AnimationBlock> blocks;
    bool enabled = true;
    std::deque<UIViewAnimationRecord> log;
    Ref<NSTimer> pass;  // the pending layout and display pass
};

thread_local AnimationState animationState;

constexpr size_t kLogLimit = 256;

const char* curveName(UIViewAnimationCurve curve)
{
    switch (curve) {
    case UIViewAnimationCurveEaseIn:
        return kCAMediaTimingFunctionEaseIn;
    case UIViewAnimationCurveEaseOut:
        return kCAMediaTimingFunctionEaseOut;
    case UIViewAnimationCurveLinear:
        return kCAMediaTimingFunctionLinear;
    default:
        return kCAMediaTimingFunctionEaseInEaseOut;
    }
}

void beginBlock(const std::string& animationID, void* context, double duration, double delay,
                UIViewAnimationOptions options)
{
    AnimationBlock block;
    block.record.animationID = animationID;
    block.record.duration = duration;
    block.record.delay = delay;
    block.record.options = options;
    block.record.autoreverses = (options & UIViewAnimationOptionAutoreverse) != 0;
    block.record.repeatCount = (options & UIViewAnimationOptionRepeat) != 0 ? -1 : 0;
    block.curve = UIViewAnimationCurve((options >> 16) & 3);
    block.beginsFromCurrentState = (options & UIViewAnimationOptionBeginFromCurrentState) != 0;
    block.context = context;
    block.group = std::make_shared<CAAnimationCompletionGroup>();
    CATransaction::pushCompletionGroup(block.group);
    animationState.blocks.push_back(std::move(block));
}

void commitBlock()
{
    if (animationState.blocks.empty()) {
        return;
    }
    AnimationBlock block = std::move(animationState.blocks.back());
    animationState.blocks.pop_back();
    CATransaction::popCompletionGroup(block.group);

    const double now = Clock::now();
    block.record.animated = animationState.enabled && block.record.duration > 0;
    block.record.committedAt = now;
    block.record.options = (block.record.options & ~(UIViewAnimationOptions(3) << 16)) |
                           (UIViewAnimationOptions(block.curve) << 16);
    animationState.log.push_back(block.record);
    while (animationState.log.size() > kLogLimit) {
        animationState.log.pop_front();
    }

    const std::string animationID = block.record.animationID;
    void* context = block.context;
    Weak<NSObject> delegate = block.delegate;
    const bool hasDelegate = block.hasDelegate;
    auto delegateAlive = [delegate, hasDelegate] { return hasDelegate && !delegate.expired(); };
    if (block.willStart) {
        Clock::scheduleAt(now + block.record.delay,
                          [willStart = block.willStart, animationID, context, delegateAlive] {
                              if (delegateAlive()) {
                                  willStart(animationID, context);
                              }
                          });
    }
    block.group->setDone([completion = std::move(block.completion), didStop = std::move(block.didStop), animationID,
                          context, delegateAlive](bool finished) {
        if (completion) {
            completion(finished);
        }
        if (didStop && delegateAlive()) {
            didStop(animationID, finished, context);
        }
    });
    const bool endless = block.record.repeatCount < 0 && block.record.animated;
    if (!endless) {
        double span = block.record.animated ? block.record.duration : 0;
        if (block.record.animated && block.record.autoreverses) {
            span *= 2;
        }
        if (block.record.animated && block.record.repeatCount > 0) {
            span *= double(block.record.repeatCount);
        }
        block.group->close(now + block.record.delay + span);
    }
}

}  // namespace

void UIView::animateWithDuration_animations(double duration, const std::function<void()>& animations)
{
    animateWithDuration_delay_options_animations_completion(duration, 0, 0, animations, nullptr);
}

void UIView::animateWithDuration_animations_completion(double duration, const std::function<void()>& animations,
                                                       std::function<void(bool)> completion)
{
    animateWithDuration_delay_options_animations_completion(duration, 0, 0, animations, std::move(completion));
}

void UIView::animateWithDuration_delay_options_animations_completion(double duration, double delay,
                                                                     UIViewAnimationOptions options,
                                                                     const std::function<void()>& animations,
                                                                     std::function<void(bool)> completion)
{
    beginBlock("", nullptr, duration, delay, options);
    animationState.blocks.back().completion = std::move(completion);
    if (animations) {
        animations();
    }
    commitBlock();
}

void UIView::transitionWithView_duration_options_animations_completion(const Ref<UIView>& view, double duration,
                                                                       UIViewAnimationOptions options,
                                                                       const std::function<void()>& animations,
                                                                       std::function<void(bool)> completion)
{
    beginBlock("", nullptr, duration, 0, options);
    AnimationBlock& block = animationState.blocks.back();
    block.completion = std::move(completion);
    if (view && animationState.enabled && duration > 0) {
        auto transition = CATransition::animation();
        transition->setDuration(duration);
        view->layer()->addAnimation_forKey(transition, "transition");
        block.record.changes.push_back({view, "transition"});
    }
    if (animations) {
        animations();
    }
    commitBlock();
}

void UIView::beginAnimations_context(const std::string& animationID, void* context)
{
    beginBlock(animationID, context, 0.2, 0, 0);
}

void UIView::commitAnimations() { commitBlock(); }

void UIView::setAnimationDuration(double duration)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().record.duration = duration;
}

void UIView::setAnimationDelay(double delay)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().record.delay = delay;
}

void UIView::setAnimationCurve(UIViewAnimationCurve curve)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().curve = curve;
}

void UIView::setAnimationRepeatCount(float count)
{
    if (!animationState.blocks.empty()) {
        animationState.blocks.back().record.repeatCount = std::isinf(count) ? -1 : NSInteger(count);
    }
}

void UIView::setAnimationRepeatAutoreverses(bool autoreverses)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().record.autoreverses = autoreverses;
}

void UIView::setAnimationBeginsFromCurrentState(bool fromCurrent)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().beginsFromCurrentState = fromCurrent;
}

void UIView::setAnimationTransition_forView_cache(UIViewAnimationTransition transition, const Ref<UIView>& view,
                                                  bool cache)
{
    if (animationState.blocks.empty() || !view || transition == UIViewAnimationTransitionNone) {
        return;
    }
    AnimationBlock& block = animationState.blocks.back();
    if (animationState.enabled && block.record.duration > 0) {
        auto animation = CATransition::animation();
        animation->setDuration(block.record.duration);
        animation->setBeginTime(block.record.delay > 0 ? Clock::now() + block.record.delay : 0);
        view->layer()->addAnimation_forKey(animation, "transition");
        block.record.changes.push_back({view, "transition"});
    }
}

void UIView::setAnimationDelegate(const Ref<NSObject>& delegate)
{
    if (!animationState.blocks.empty()) {
        animationState.blocks.back().delegate = delegate;
        animationState.blocks.back().hasDelegate = delegate != nullptr;
    }
}

void UIView::setAnimationWillStartSelector(std::function<void(const std::string&, void*)> fn)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().willStart = std::move(fn);
}

void UIView::setAnimationDidStopSelector(std::function<void(const std::string&, bool, void*)> fn)
{
    if (!animationState.blocks.empty()) animationState.blocks.back().didStop = std::move(fn);
}

void UIView::setAnimationsEnabled(bool enabled) { animationState.enabled = enabled; }

bool UIView::areAnimationsEnabled() { return animationState.enabled; }

std::vector<UIViewAnimationRecord> UIView::animationLog()
{
    return {animationState.log.begin(), animationState.log.end()};
}

void UIView::clearAnimationLog() { animationState.log.clear(); }

void UIView::animateChange(const std::string& key, CAValue from, CAValue to)
{
    if (animationState.blocks.empty() || CAValueEqual(from, to)) {
        return;
    }
    AnimationBlock& block = animationState.blocks.back();
    if (!animationState.enabled || block.record.duration <= 0) {
        return;
    }
    if (block.beginsFromCurrentState && layer_->hasAnimations()) {
        // From where the layer shows now, so a change that overtakes a running one does not jump.
        CAValue shown = layer_->presentationLayer()->valueForKeyPath(key);
        if (!CAValueIsNil(shown)) {
            from = std::move(shown);
        }
    }
    auto animation = CABasicAnimation::animationWithKeyPath(key);
    animation->setFromValue(std::move(from));
    animation->setToValue(std::move(to));
    animation->setDuration(block.record.duration);
    animation->setTimingFunction(CAMediaTimingFunction::functionWithName(curveName(block.curve)));
    if (block.record.delay > 0) {
        animation->setBeginTime(Clock::now() + block.record.delay);
        animation->setFillMode(kCAFillModeBackwards);
    }
    if (block.record.repeatCount < 0) {
        animation->setRepeatCount(HUGE_VALF);
    } else if (block.record.repeatCount > 0) {
        animation->setRepeatCount(float(block.record.repeatCount));
    }
    animation->setAutoreverses(block.record.autoreverses);
    layer_->addAnimation_forKey(animation, key);
    block.record.changes.push_back({weakSelf<UIView>(), key});
}

// --- Life cycle -----------------------------------------------------------------------------------

UIView::UIView() : layer_(CALayer::layer()) {}

UIView::~UIView() = default;

void UIView::initWithFrameBody(CGRect frame)
{
    initBody();
    if (Ref<CALayer> custom = makeBackingLayer()) {
        layer_ = std::move(custom);
    }
    layer_->setDelegate(weakSelf<UIView>());
    layer_->setContentsScale(UIScreen::mainScreen()->scale());
    layer_->setFrame(frame);
    layer_->setNeedsDisplay();
}

// --- Geometry -------------------------------------------------------------------------------------

void UIView::setContentMode(UIViewContentMode mode)
{
    contentMode_ = mode;
    static constexpr const char* kGravities[] = {
        kCAGravityResize, kCAGravityResizeAspect, kCAGravityResizeAspectFill, kCAGravityResize,
        kCAGravityCenter, kCAGravityTop,          kCAGravityBottom,           kCAGravityLeft,
        kCAGravityRight,  kCAGravityTopLeft,      kCAGravityTopRight,         kCAGravityBottomLeft,
        kCAGravityBottomRight,
    };
    if (mode >= 0 && size_t(mode) < std::size(kGravities)) {
        layer_->setContentsGravity(kGravities[mode]);
    }
}

void UIView::setFrame(CGRect frame)
{
    const CGRect oldBounds = layer_->bounds();
    const CGPoint oldCenter = layer_->position();
    layer_->setFrame(frame);
    animateChange("position", oldCenter, layer_->position());
    animateChange("bounds", oldBounds, layer_->bounds());
    if (layer_->bounds().size != oldBounds.size) {
        resizeSubviews(oldBounds.size);
        setNeedsLayout();
        if (contentMode_ == UIViewContentModeRedraw) {
            setNeedsDisplay();
        }
    }
}

void UIView::setBounds(CGRect bounds)
{
    const CGRect oldBounds = layer_->bounds();
    layer_->setBounds(bounds);
    animateChange("bounds", oldBounds, layer_->bounds());
    if (layer_->bounds().size != oldBounds.size) {
        resizeSubviews(oldBounds.size);
        setNeedsLayout();
        if (contentMode_ == UIViewContentModeRedraw) {
            setNeedsDisplay();
        }
    }
}

void UIView::setCenter(CGPoint center)
{
    const CGPoint old = layer_->position();
    layer_->setPosition(center);
    animateChange("position", old, center);
}

void UIView::setTransform(CGAffineTransform transform)
{
    const CATransform3D old = layer_->transform();
    layer_->setAffineTransform(transform);
    animateChange("transform", old, layer_->transform());
}

void UIView::resizeSubviews(CGSize oldSize)
{
    if (!autoresizesSubviews_) {
        return;
    }
    const CGSize newSize = bounds().size;
    // One axis: the flexible parts among (margin before, size, margin after) share the change in
    // proportion to their sizes (equally when those are all 0).
    auto resize = [](CGFloat before, CGFloat size, CGFloat oldExtent, CGFloat delta, bool flexBefore, bool flexSize,
                     bool flexAfter, CGFloat& newBefore, CGFloat& newSize) {
        newBefore = before;
        newSize = size;
        const int count = int(flexBefore) + int(flexSize) + int(flexAfter);
        if (count == 0 || delta == 0) {
            return;
        }
        const CGFloat after = oldExtent - before - size;
        const CGFloat total = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
        auto share = [&](bool flexible, CGFloat part) -> CGFloat {
            if (!flexible) return 0;
            return total != 0 ? delta * part / total : delta / count;
        };
        newBefore = before + share(flexBefore, before);
        newSize = size + share(flexSize, size);
    };
    for (const Ref<UIView>& subview : std::vector<Ref<UIView>>(subviews_)) {
        const UIViewAutoresizing mask = subview->autoresizingMask_;
        if (mask == UIViewAutoresizingNone) {
            continue;
        }
        CGRect f = subview->frame();
        CGRect g = f;
        resize(f.origin.x, f.size.width, oldSize.width, newSize.width - oldSize.width,
               mask & UIViewAutoresizingFlexibleLeftMargin, mask & UIViewAutoresizingFlexibleWidth,
               mask & UIViewAutoresizingFlexibleRightMargin, g.origin.x, g.size.width);
        resize(f.origin.y, f.size.height, oldSize.height, newSize.height - oldSize.height,
               mask & UIViewAutoresizingFlexibleTopMargin, mask & UIViewAutoresizingFlexibleHeight,
               mask & UIViewAutoresizingFlexibleBottomMargin, g.origin.y, g.size.height);
        if (g != f) {
            subview->setFrame(g);
        }
    }
}

// --- Look -----------------------------------------------------------------------------------------

void UIView::setAlpha(CGFloat alpha)
{
    const double old = layer_->opacity();
    layer_->setOpacity(float(alpha));
    animateChange("opacity", old, double(layer_->opacity()));
}

void UIView::setHidden(bool hidden) { layer_->setHidden(hidden); }

void UIView::setBackgroundColor(const Ref<UIColor>& color)
{
    const CGColorRef old = layer_->backgroundColor();
    backgroundColor_ = color;
    layer_->setBackgroundColor(color ? color->CGColor() : nullptr);
    animateChange("backgroundColor", old, layer_->backgroundColor());
    backgroundColorDidChange();
}

// --- Tags and hierarchy ---------------------------------------------------------------------------

Ref<UIView> UIView::viewWithTag(NSInteger tag)
{
    if (tag_ == tag) {
        return self<UIView>();
    }
    for (const Ref<UIView>& subview : subviews_) {
        if (Ref<UIView> found = subview->viewWithTag(tag)) {
            return found;
        }
    }
    return nullptr;
}

Ref<UIView> UIView::topmost() const
{
    Ref<UIView> view = std::const_pointer_cast<UIView>(self<UIView>());
    while (Ref<UIView> parent = view->superview()) {
        view = parent;
    }
    return view;
}

Ref<UIWindow> UIView::window() const { return std::dynamic_pointer_cast<UIWindow>(topmost()); }

bool UIView::isDescendantOfView(const Ref<UIView>& view) const
{
    if (!view) {
        return false;
    }
    for (const UIView* v = this; v != nullptr;) {
        if (v == view.get()) {
            return true;
        }
        Ref<UIView> parent = v->superview();
        v = parent.get();
    }
    return false;
}

void UIView::notifyWillMoveToWindow(const Ref<UIWindow>& window)
{
    willMoveToWindow(window);
    for (const Ref<UIView>& subview : std::vector<Ref<UIView>>(subviews_)) {
        subview->notifyWillMoveToWindow(window);
    }
}

void UIView::notifyDidMoveToWindow()
{
    didMoveToWindow();
    for (const Ref<UIView>& subview : std::vector<Ref<UIView>>(subviews_)) {
        subview->notifyDidMoveToWindow();
    }
}

void UIView::insertAt(const Ref<UIView>& view, size_t index)
{
    // A view cannot hold itself or one of its ancestors.
    if (!view || isDescendantOfView(view)) {
        return;
    }
    Ref<UIView> keep = view;
    Ref<UIView> me = self<UIView>();
    const bool sameParent = keep->superview() == me;
    const Ref<UIWindow> oldWindow = keep->window();
    const Ref<UIWindow> newWindow = window();
    const bool windowChanges = oldWindow != newWindow;

    if (sameParent) {
        auto it = std::find(subviews_.begin(), subviews_.end(), keep);
        const size_t old = size_t(it - subviews_.begin());
        subviews_.erase(it);
        if (index > old) {
            --index;
        }
    } else {
        keep->willMoveToSuperview(me);
        if (windowChanges) {
            keep->notifyWillMoveToWindow(newWindow);
        }
        if (Ref<UIView> previous = keep->superview()) {
            previous->willRemoveSubview(keep);
            std::erase(previous->subviews_, keep);
        }
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + std::ptrdiff_t(index), keep);
    keep->superview_ = me;
    // The layer goes below the layer of the next subview, so the layer order follows the view order.
    if (index + 1 < subviews_.size()) {
        layer_->insertSublayer_below(keep->layer_, subviews_[index + 1]->layer_);
    } else {
        layer_->addSublayer(keep->layer_);
    }
    if (!sameParent) {
        didAddSubview(keep);
        keep->didMoveToSuperview();
        if (windowChanges) {
            keep->notifyDidMoveToWindow();
        }
        keep->setNeedsLayout();
    }
}

void UIView::addSubview(const Ref<UIView>& view) { insertAt(view, subviews_.size()); }

void UIView::insertSubview_atIndex(const Ref<UIView>& view, NSInteger index)
{
    insertAt(view, index < 0 ? 0 : size_t(index));
}

void UIView::insertSubview_aboveSubview(const Ref<UIView>& view, const Ref<UIView>& sibling)
{
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) {
        addSubview(view);
        return;
    }
    size_t index = size_t(it - subviews_.begin()) + 1;
    insertAt(view, index);
}

void UIView::insertSubview_belowSubview(const Ref<UIView>& view, const Ref<UIView>& sibling)
{
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) {
        addSubview(view);
        return;
    }
    insertAt(view, size_t(it - subviews_.begin()));
}

void UIView::removeFromSuperview()
{
    Ref<UIView> parent = superview();
    if (!parent) {
        return;
    }
    Ref<UIView> keep = self<UIView>();
    const Ref<UIWindow> oldWindow = window();
    if (oldWindow) {
        endEditing(true);
    }
    parent->willRemoveSubview(keep);
    willMoveToSuperview(nullptr);
    if (oldWindow) {
        notifyWillMoveToWindow(nullptr);
    }
    std::erase(parent->subviews_, keep);
    superview_.reset();
    layer_->removeFromSuperlayer();
    didMoveToSuperview();
    if (oldWindow) {
        notifyDidMoveToWindow();
    }
}

void UIView::bringSubviewToFront(const Ref<UIView>& view)
{
    if (view && view->superview().get() == this) {
        insertAt(view, subviews_.size());
    }
}

void UIView::sendSubviewToBack(const Ref<UIView>& view)
{
    if (view && view->superview().get() == this) {
        insertAt(view, 0);
    }
}

void UIView::exchangeSubviewAtIndex_withSubviewAtIndex(NSInteger a, NSInteger b)
{
    if (a < 0 || b < 0 || size_t(a) >= subviews_.size() || size_t(b) >= subviews_.size() || a == b) {
        return;
    }
    std::swap(subviews_[size_t(a)], subviews_[size_t(b)]);
    // Put the layers back in view order, after any layers that are not views'.
    for (const Ref<UIView>& subview : subviews_) {
        layer_->addSublayer(subview->layer_);
    }
}

// --- Layout and drawing ---------------------------------------------------------------------------

void UIView::postDisplayPass()
{
    // A pass dropped with its run loop's leftovers (an invalid timer) is posted again.
    if (animationState.pass && animationState.pass->isValid()) {
        return;
    }
    animationState.pass = Clock::scheduleAfter(0, [] {
        animationState.pass.reset();
        updateDisplayOfAllWindows();
    });
}

void UIView::updateDisplayOfAllWindows()
{
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {
        window->layoutTree();
        window->displayTree();
    }
}

void UIView::layoutTree() { layer_->layoutIfNeeded(); }

void UIView::displayTree()
{
    Ref<UIView> keep = self<UIView>();
    layer_->displayIfNeeded();
    for (const Ref<UIView>& subview : std::vector<Ref<UIView>>(subviews_)) {
        subview->displayTree();
    }
}

void UIView::setNeedsDisplay()
{
    layer_->setNeedsDisplay();
    postDisplayPass();
}

void UIView::setNeedsDisplayInRect(CGRect) { setNeedsDisplay(); }

void UIView::setNeedsLayout()
{
    layer_->setNeedsLayout();
    postDisplayPass();
}

void UIView::layoutIfNeeded() { layer_->layoutIfNeeded(); }

void UIView::sizeToFit()
{
    const CGSize size = sizeThatFits(bounds().size);
    const CGRect f = frame();
    setFrame(CGRectMake(f.origin.x, f.origin.y, size.width, size.height));
}

void UIView::drawLayer_inContext(CALayer& layer, const CGContextRef& context)
{
    Ref<UIView> keep = self<UIView>();
    UIGraphicsPushContext(context);
    drawRect(bounds());
    UIGraphicsPopContext();
}

void UIView::layoutSublayersOfLayer(CALayer& layer)
{
    Ref<UIView> keep = self<UIView>();
    layoutSubviews();
}

// --- Coordinates ----------------------------------------------------------------------------------

Ref<CALayer> UIView::conversionLayer(const Ref<UIView>& view) const
{
    if (view) {
        return view->layer_;
    }
    // No view: the window's coordinates (none at all for a view outside any window).
    Ref<UIWindow> w = window();
    return w ? w->layer_ : nullptr;
}

CGPoint UIView::convertPoint_toView(CGPoint point, const Ref<UIView>& view) const
{
    return layer_->convertPoint_toLayer(point, conversionLayer(view));
}

CGPoint UIView::convertPoint_fromView(CGPoint point, const Ref<UIView>& view) const
{
    return layer_->convertPoint_fromLayer(point, conversionLayer(view));
}

CGRect UIView::convertRect_toView(CGRect rect, const Ref<UIView>& view) const
{
    return layer_->convertRect_toLayer(rect, conversionLayer(view));
}

CGRect UIView::convertRect_fromView(CGRect rect, const Ref<UIView>& view) const
{
    return layer_->convertRect_fromLayer(rect, conversionLayer(view));
}

// --- Hit testing and responders -------------------------------------------------------------------

bool UIView::pointInside_withEvent(CGPoint point, const Ref<UIEvent>&)
{
    return CGRectContainsPoint(bounds(), point);
}

Ref<UIView> UIView::hitTest_withEvent(CGPoint point, const Ref<UIEvent>& event)
{
    if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01 || !pointInside_withEvent(point, event)) {
        return nullptr;
    }
    const std::vector<Ref<UIView>> subviews = subviews_;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        const CGPoint local =
            CGPointApplyAffineTransform(point, CGAffineTransformInvert((*it)->layer_->transformToSuperlayer()));
        if (Ref<UIView> hit = (*it)->hitTest_withEvent(local, event)) {
            return hit;
        }
    }
    return self<UIView>();
}

Ref<UIResponder> UIView::nextResponder() const
{
    if (Ref<UIResponder> controller = viewDelegate_.lock()) {
        return controller;
    }
    return superview();
}

bool UIView::endEditing(bool force)
{
    Ref<UIResponder> responder = UIResponder::currentFirstResponder();
    auto view = std::dynamic_pointer_cast<UIView>(responder);
    if (!view || !view->isDescendantOfView(std::const_pointer_cast<UIView>(self<UIView>()))) {
        return true;
    }
    const bool resigned = view->resignFirstResponder();
    return resigned || force;
}

std::string UIView::description() const
{
    const CGRect f = frame();
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "; frame = (%g %g; %g %g)", f.origin.x, f.origin.y, f.size.width,
                  f.size.height);
    std::string text = NSObject::description();
    text.pop_back();  // the closing '>'
    text += buffer;
    if (tag_ != 0) {
        text += "; tag = " + std::to_string(tag_);
    }
    if (isHidden()) {
        text += "; hidden = YES";
    }
    return text + ">";
}
