#pragma once
// Views: the retained tree of the interface, headless. A view records what the screens set on it
// (geometry, look, tags, behaviour flags) and answers what they ask (hit tests, coordinate
// conversions, sizes); tests drive it with touches (UIWindow) and read it back.
//
// - Geometry lives in the view's layer: frame is derived from bounds, center (the layer's position)
//   and transform. Changing a view's size resizes its subviews by their autoresizing masks and marks
//   it as needing layout.
// - Layout and display are explicit or happen on the run loop: setNeedsLayout/setNeedsDisplay mark
//   the view and post one pass to the calling thread's run loop that lays out and displays every
//   window's tree (as the phone does at the end of a run-loop turn). layoutIfNeeded lays out at once.
//   Display draws drawRect into a recording context kept by the layer (layer()->drawing()).
// - Animations: inside an animation block (animateWithDuration..., begin/commitAnimations) a change of
//   frame, bounds, center, transform, alpha or background colour takes its final value at once and
//   adds a CABasicAnimation to the layer under the property's layer key ("position", "bounds",
//   "transform", "opacity", "backgroundColor") with the block's duration, delay and curve. The
//   completion runs once every animation of the block has ended and the block's delay and duration
//   have passed on the process clock; finished is false when one of them was removed or replaced
//   (another block animating the same property) before its time. The blocks are also logged
//   (animationLog) for tests.
//
// Subclassing: initWithFrameBody is the init body (virtual, so that a subclass's create() runs its
// own); the static factories of a subclass construct it and run that body. Override layoutSubviews,
// drawRect, sizeThatFits, pointInside_withEvent and hitTest_withEvent as on the phone.
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIKitDefines.h"
#include "platform/uikit/UIResponder.h"

class UIColor;
class UIGestureRecognizer;
class UIView;
class UIWindow;
class UIEvent;

// One animation block as it was committed.
struct UIViewAnimationRecord {
    std::string animationID;  // begin/commit blocks: the name given to beginAnimations
    double duration = 0;
    double delay = 0;
    UIViewAnimationOptions options = 0;  // the curve is in the options' curve bits
    NSInteger repeatCount = 0;
    bool autoreverses = false;
    bool animated = true;  // false when animations were disabled or the duration was 0
    // What the block changed: the view and the layer key of each animated property, in order.
    struct Change {
        Weak<UIView> view;
        std::string key;
    };
    std::vector<Change> changes;
    double committedAt = 0;  // Clock::now() at commit
};

class UIView : public UIResponder, public CALayerDelegate {
public:
    static Ref<UIView> initWithFrame(CGRect frame) { return makeWithFrame<UIView>(frame); }
    static Ref<UIView> create() { return makeWithFrame<UIView>(CGRectZero); }

    // Constructs a T and runs its init body with the frame, as [[T alloc] initWithFrame:frame].
    template <class T>
    static Ref<T> makeWithFrame(CGRect frame)
    {
        auto view = std::make_shared<T>();
        view->initWithFrameBody(frame);
        return view;
    }

    Ref<CALayer> layer() const { return layer_; }

    // --- Geometry ---
    CGRect frame() const { return layer_->frame(); }
    virtual void setFrame(CGRect frame);
    CGRect bounds() const { return layer_->bounds(); }
    virtual void setBounds(CGRect bounds);
    CGPoint center() const { return layer_->position(); }
    virtual void setCenter(CGPoint center);
    CGAffineTransform transform() const { return layer_->affineTransform(); }
    virtual void setTransform(CGAffineTransform transform);
    CGFloat contentScaleFactor() const { return layer_->contentsScale(); }
    void setContentScaleFactor(CGFloat scale) { layer_->setContentsScale(scale); }

    // --- Look ---
    CGFloat alpha() const { return layer_->opacity(); }
    virtual void setAlpha(CGFloat alpha);
    bool isHidden() const { return layer_->isHidden(); }
    bool hidden() const { return layer_->isHidden(); }
    virtual void setHidden(bool hidden);
    Ref<UIColor> backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(const Ref<UIColor>& color);
    bool isOpaque() const { return layer_->isOpaque(); }
    bool opaque() const { return layer_->isOpaque(); }
    void setOpaque(bool opaque) { layer_->setOpaque(opaque); }
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
    bool clearsContextBeforeDrawing() const { return clearsContextBeforeDrawing_; }
    void setClearsContextBeforeDrawing(bool clears) { clearsContextBeforeDrawing_ = clears; }
    UIViewContentMode contentMode() const { return contentMode_; }
    // Also places the layer's contents (an image view's image) by the matching contents gravity.
    void setContentMode(UIViewContentMode mode);
    CGRect contentStretch() const { return contentStretch_; }
    void setContentStretch(CGRect stretch) { contentStretch_ = stretch; }

    // --- Tags ---
    NSInteger tag() const { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }
    // Depth-first, pre-order, in subview order, the receiver first.
    Ref<UIView> viewWithTag(NSInteger tag);

    // --- Hierarchy ---
    Ref<UIView> superview() const { return superview_.lock(); }
    const std::vector<Ref<UIView>>& subviews() const { return subviews_; }
    Ref<UIWindow> window() const;
    void addSubview(const Ref<UIView>& view);
    void insertSubview_atIndex(const Ref<UIView>& view, NSInteger index);
    void insertSubview_aboveSubview(const Ref<UIView>& view, const Ref<UIView>& sibling);
    void insertSubview_belowSubview(const Ref<UIView>& view, const Ref<UIView>& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const Ref<UIView>& view);
    void sendSubviewToBack(const Ref<UIView>& view);
    void exchangeSubviewAtIndex_withSubviewAtIndex(NSInteger a, NSInteger b);
    bool isDescendantOfView(const Ref<UIView>& view) const;

    // Notifications of hierarchy changes, for subclasses.
    virtual void didAddSubview(const Ref<UIView>& subview) {}
    virtual void willRemoveSubview(const Ref<UIView>& subview) {}
    virtual void willMoveToSuperview(const Ref<UIView>& newSuperview) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(const Ref<UIWindow>& newWindow) {}
    virtual void didMoveToWindow() {}

    // --- Behaviour ---
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    bool userInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    bool isExclusiveTouch() const { return exclusiveTouch_; }
    bool exclusiveTouch() const { return exclusiveTouch_; }
    void setExclusiveTouch(bool exclusive) { exclusiveTouch_ = exclusive; }
    bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
    void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }
    UIViewAutoresizing autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(UIViewAutoresizing mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }

    // --- Layout and drawing ---
    void setNeedsDisplay();
    void setNeedsDisplayInRect(CGRect rect);
    void setNeedsLayout();
    void layoutIfNeeded();
    virtual void layoutSubviews() {}
    virtual void drawRect(CGRect rect) {}
    virtual CGSize sizeThatFits(CGSize size) const { return bounds().size; }
    void sizeToFit();
    // Lays out and displays what needs it in every window's tree (what the posted pass does).
    static void updateDisplayOfAllWindows();

    // --- Coordinates: a nil view means the window (or, for a view outside any window, the space its
    // topmost superview is placed in) ---
    CGPoint convertPoint_toView(CGPoint point, const Ref<UIView>& view) const;
    CGPoint convertPoint_fromView(CGPoint point, const Ref<UIView>& view) const;
    CGRect convertRect_toView(CGRect rect, const Ref<UIView>& view) const;
    CGRect convertRect_fromView(CGRect rect, const Ref<UIView>& view) const;

    // --- Hit testing and touches ---
    virtual bool pointInside_withEvent(CGPoint point, const Ref<UIEvent>& event);
    // The deepest visible, interactive view under point (in this view's coordinates): hidden views,
    // views with user interaction off and views with alpha below 0.01 are skipped with their subviews;
    // subviews are tried front to back.
    virtual Ref<UIView> hitTest_withEvent(CGPoint point, const Ref<UIEvent>& event);
    Ref<UIResponder> nextResponder() const override;
    // Resigns the first responder if it is this view or one of its subviews.
    bool endEditing(bool force);

    // --- Gesture recognisers (UIGestureRecognizer.h; the view holds them, they know it weakly) ---
    void addGestureRecognizer(const Ref<UIGestureRecognizer>& recognizer);
    void removeGestureRecognizer(const Ref<UIGestureRecognizer>& recognizer);
    const std::vector<Ref<UIGestureRecognizer>>& gestureRecognizers() const { return gestureRecognizers_; }
    // A recogniser the view works through itself (a scroll view's drag), not among those added to it;
    // it sees the view's touches before them.
    virtual Ref<UIGestureRecognizer> builtInGestureRecognizer() const { return nullptr; }

    // The controller whose root view this is (set by the controller; issue of the controller layer).
    void setViewDelegate(Weak<UIResponder> controller) { viewDelegate_ = std::move(controller); }
    Ref<UIResponder> viewDelegate() const { return viewDelegate_.lock(); }

    // --- Animations ---
    static void animateWithDuration_animations(double duration, const std::function<void()>& animations);
    static void animateWithDuration_animations_completion(double duration, const std::function<void()>& animations,
                                                          std::function<void(bool finished)> completion);
    static void animateWithDuration_delay_options_animations_completion(
        double duration, double delay, UIViewAnimationOptions options, const std::function<void()>& animations,
        std::function<void(bool finished)> completion);
    static void transitionWithView_duration_options_animations_completion(
        const Ref<UIView>& view, double duration, UIViewAnimationOptions options,
        const std::function<void()>& animations, std::function<void(bool finished)> completion);

    static void beginAnimations_context(const std::string& animationID, void* context);
    static void commitAnimations();
    static void setAnimationDuration(double duration);  // 0.2 unless set
    static void setAnimationDelay(double delay);
    static void setAnimationCurve(UIViewAnimationCurve curve);
    static void setAnimationRepeatCount(float count);
    static void setAnimationRepeatAutoreverses(bool autoreverses);
    static void setAnimationBeginsFromCurrentState(bool fromCurrent);
    static void setAnimationTransition_forView_cache(UIViewAnimationTransition transition, const Ref<UIView>& view,
                                                     bool cache);
    // The delegate is weak; the selectors become closures, called only while the delegate lives.
    static void setAnimationDelegate(const Ref<NSObject>& delegate);
    static void setAnimationWillStartSelector(std::function<void(const std::string& animationID, void* context)> fn);
    static void setAnimationDidStopSelector(
        std::function<void(const std::string& animationID, bool finished, void* context)> fn);
    static void setAnimationsEnabled(bool enabled);
    static bool areAnimationsEnabled();

    // The most recent committed animation blocks, oldest first (at most 256).
    static std::vector<UIViewAnimationRecord> animationLog();
    static void clearAnimationLog();

    std::string description() const override;

    // CALayerDelegate
    void drawLayer_inContext(CALayer& layer, const CGContextRef& context) override;
    void layoutSublayersOfLayer(CALayer& layer) override;

    UIView();
    ~UIView() override;

    // The init body of initWithFrame: (and of create(), with a zero frame).
    virtual void initWithFrameBody(CGRect frame);

protected:
    // The backing layer of a new view (the platform's +layerClass); null: a plain CALayer.
    virtual Ref<CALayer> makeBackingLayer() const { return nullptr; }
    // Records an animatable change of this view's layer key when inside an animation block.
    void animateChange(const std::string& key, CAValue from, CAValue to);
    // Hook for subclasses whose look depends on the background colour.
    virtual void backgroundColorDidChange() {}

private:
    // The layer that converting to or from `view` uses (the window's when `view` is null).
    Ref<CALayer> conversionLayer(const Ref<UIView>& view) const;
    void insertAt(const Ref<UIView>& view, size_t index);
    void resizeSubviews(CGSize oldSize);
    void notifyWillMoveToWindow(const Ref<UIWindow>& window);
    void notifyDidMoveToWindow();
    Ref<UIView> topmost() const;
    void layoutTree();
    void displayTree();
    static void postDisplayPass();

    Ref<CALayer> layer_;
    Weak<UIView> superview_;
    std::vector<Ref<UIView>> subviews_;
    Weak<UIResponder> viewDelegate_;
    std::vector<Ref<UIGestureRecognizer>> gestureRecognizers_;
    Ref<UIColor> backgroundColor_;
    NSInteger tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool exclusiveTouch_ = false;
    bool multipleTouchEnabled_ = false;
    UIViewAutoresizing autoresizingMask_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    bool clearsContextBeforeDrawing_ = true;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    CGRect contentStretch_{{0, 0}, {1, 1}};

    friend class UIWindow;
};
