#pragma once
// Layers as records of their properties: geometry (bounds, position, anchor point, transform), look
// (opacity, corner radius, border, shadow, background, contents), the sublayer tree and the
// animations added to them, by key.
//
// Every view has a layer whose delegate it is; the view's geometry lives in its layer. A standalone
// layer (no delegate) in a layer tree animates changes of its animatable properties implicitly, with
// the current transaction's duration, unless the transaction disables actions; the animation is
// recorded under the property's name. The model values change at once; what shows is the
// presentation layer (the model with every animation's value at the current time on the process
// clock applied), and an animation ends on the process clock when its time is up.
//
// display() draws the layer into a recording context through its delegate (a view's drawRect) and
// keeps the context (drawing()); renderInContext() appends the records of the whole layer tree to a
// context, as the phone renders a tree into a bitmap.
#include <map>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CATransform3D.h"
#include "platform/uikit/CAValue.h"

class CALayer;
class NSTimer;
class CAAnimationCompletionGroup;

inline constexpr char kCAGravityCenter[] = "center";
inline constexpr char kCAGravityTop[] = "top";
inline constexpr char kCAGravityBottom[] = "bottom";
inline constexpr char kCAGravityLeft[] = "left";
inline constexpr char kCAGravityRight[] = "right";
inline constexpr char kCAGravityTopLeft[] = "topLeft";
inline constexpr char kCAGravityTopRight[] = "topRight";
inline constexpr char kCAGravityBottomLeft[] = "bottomLeft";
inline constexpr char kCAGravityBottomRight[] = "bottomRight";
inline constexpr char kCAGravityResize[] = "resize";
inline constexpr char kCAGravityResizeAspect[] = "resizeAspect";
inline constexpr char kCAGravityResizeAspectFill[] = "resizeAspectFill";

// What a layer asks of its delegate (a view is the delegate of its layer).
class CALayerDelegate {
public:
    virtual ~CALayerDelegate() = default;
    virtual void drawLayer_inContext(CALayer& layer, const CGContextRef& context) {}
    virtual void layoutSublayersOfLayer(CALayer& layer) {}
};

class CALayer : public NSObject {
public:
    static Ref<CALayer> layer();
    static Ref<CALayer> create() { return layer(); }

    // --- Geometry ---
    CGRect bounds() const { return bounds_; }
    void setBounds(CGRect bounds);
    CGPoint position() const { return position_; }
    void setPosition(CGPoint position);
    CGPoint anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(CGPoint anchorPoint);
    CGFloat zPosition() const { return zPosition_; }
    void setZPosition(CGFloat z);
    // The bounding box of the transformed bounds in the superlayer. Setting it sets the position and
    // the bounds' size (through the inverse transform when there is one).
    CGRect frame() const;
    void setFrame(CGRect frame);
    const CATransform3D& transform() const { return transform_; }
    void setTransform(const CATransform3D& transform);
    CGAffineTransform affineTransform() const { return CATransform3DGetAffineTransform(transform_); }
    void setAffineTransform(CGAffineTransform t) { setTransform(CATransform3DMakeAffineTransform(t)); }
    const CATransform3D& sublayerTransform() const { return sublayerTransform_; }
    void setSublayerTransform(const CATransform3D& t) { sublayerTransform_ = t; }

    // --- Look ---
    bool isHidden() const { return hidden_; }
    bool hidden() const { return hidden_; }
    void setHidden(bool hidden);
    float opacity() const { return opacity_; }
    void setOpacity(float opacity);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }
    CGFloat cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(CGFloat radius);
    CGFloat borderWidth() const { return borderWidth_; }
    void setBorderWidth(CGFloat width);
    CGColorRef borderColor() const { return borderColor_; }
    void setBorderColor(CGColorRef color);
    CGColorRef backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(CGColorRef color);
    CGColorRef shadowColor() const { return shadowColor_; }
    void setShadowColor(CGColorRef color);
    CGSize shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(CGSize offset);
    float shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(float opacity);
    CGFloat shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(CGFloat radius);
    CGPathRef shadowPath() const { return shadowPath_; }
    void setShadowPath(CGPathRef path) { shadowPath_ = std::move(path); }
    CGImageRef contents() const { return contents_; }
    void setContents(CGImageRef contents);
    const std::string& contentsGravity() const { return contentsGravity_; }
    void setContentsGravity(const std::string& gravity) { contentsGravity_ = gravity; }
    CGFloat contentsScale() const { return contentsScale_; }
    void setContentsScale(CGFloat scale) { contentsScale_ = scale; }
    CGRect contentsRect() const { return contentsRect_; }
    void setContentsRect(CGRect rect);
    CGRect contentsCenter() const { return contentsCenter_; }
    void setContentsCenter(CGRect rect) { contentsCenter_ = rect; }
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool needs) { needsDisplayOnBoundsChange_ = needs; }
    const std::string& name() const { return name_; }
    void setName(const std::string& name) { name_ = name; }
    Ref<CALayer> mask() const { return mask_; }
    void setMask(Ref<CALayer> mask) { mask_ = std::move(mask); }

    // --- Delegate ---
    Weak<CALayerDelegate> delegate() const { return delegate_; }
    void setDelegate(Weak<CALayerDelegate> delegate) { delegate_ = std::move(delegate); }

    // --- Tree ---
    Ref<CALayer> superlayer() const { return superlayer_.lock(); }
    const std::vector<Ref<CALayer>>& sublayers() const { return sublayers_; }
    void setSublayers(std::vector<Ref<CALayer>> sublayers);
    void addSublayer(const Ref<CALayer>& layer);
    void insertSublayer_atIndex(const Ref<CALayer>& layer, size_t index);  // an index past the end appends
    void insertSublayer_below(const Ref<CALayer>& layer, const Ref<CALayer>& sibling);
    void insertSublayer_above(const Ref<CALayer>& layer, const Ref<CALayer>& sibling);
    void replaceSublayer_with(const Ref<CALayer>& old, const Ref<CALayer>& replacement);
    void removeFromSuperlayer();

    // --- Coordinates (through the affine parts of the transforms; a null layer is the base space the
    // root of this tree is placed in) ---
    CGPoint convertPoint_toLayer(CGPoint point, const Ref<CALayer>& layer) const;
    CGPoint convertPoint_fromLayer(CGPoint point, const Ref<CALayer>& layer) const;
    CGRect convertRect_toLayer(CGRect rect, const Ref<CALayer>& layer) const;
    CGRect convertRect_fromLayer(CGRect rect, const Ref<CALayer>& layer) const;
    bool containsPoint(CGPoint point) const;
    // The transform from this layer's coordinates to its superlayer's.
    CGAffineTransform transformToSuperlayer() const;
    // From this layer's coordinates to the base space of its tree's root.
    CGAffineTransform transformToBase() const;

    // --- Display and layout ---
    void setNeedsDisplay() { needsDisplay_ = true; }
    bool needsDisplay() const { return needsDisplay_; }
    void displayIfNeeded();
    // Draws through drawInContext into a new recording context of the bounds' size.
    virtual void display();
    virtual void drawInContext(const CGContextRef& context);
    // The context of the last display (null before the first).
    CGContextRef drawing() const { return drawing_; }
    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() const { return needsLayout_; }
    // Lays out this layer if needed, then its sublayers, depth first.
    void layoutIfNeeded();
    // Lays out the tree, then displays every layer of it that needs display (what the run loop's pass
    // does for a window), so that rendering it shows its current state.
    void layoutAndDisplayTreeIfNeeded();
    virtual void layoutSublayers();
    // Draws this layer and its visible sublayers into the context, in the layer's own coordinates and
    // the platform's order: background (rounded by the corner radius), contents (placed by the
    // contents gravity, stretched around contentsCenter), the delegate's drawing, sublayers (each
    // through its transform about its anchor point; clipped to the rounded bounds when masking),
    // border. A recording context gets the records; a bitmap context gets pixels, where a layer with
    // a shadow, or with an opacity below 1 over more than one primitive, is composited as one picture.
    void renderInContext(const CGContextRef& context) const;

    // --- Animations ---
    // Adds a copy of the animation under key (an empty key: not retrievable); an animation of the
    // same key is removed first and its delegate told it did not finish.
    void addAnimation_forKey(const Ref<CAAnimation>& animation, const std::string& key);
    Ref<CAAnimation> animationForKey(const std::string& key) const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;
    bool hasAnimations() const { return !animations_.empty(); }
    // When on the process clock the last animation of this layer that will end does end (0 when none
    // will: none held, or only endless ones).
    double animationsEndTime() const;
    // Whether what this layer shows may still change with time after `time` on the process clock: an
    // animation held here has not reached the end of its active time (or never will). An animation
    // that ended and is only held (filled forwards) shows the same thing from then on.
    bool animatesAfter(double time) const;
    // The layer as it shows now: a copy of its properties with every animation it holds applied at
    // the current time on the process clock, in the order they were added. The copy shares the
    // drawing and the sublayers (which show their own animations) and belongs to no tree.
    Ref<CALayer> presentationLayer() const;
    // This layer itself when nothing animates it, else its presentation layer.
    Ref<const CALayer> shownLayer() const;

    // --- Key paths of animatable properties: "position", "position.x", "bounds", "bounds.size",
    // "opacity", "transform", "transform.scale", "transform.rotation.z", "cornerRadius", ...
    // Unknown key paths set nothing and read nil.
    void setValue_forKeyPath(const CAValue& value, const std::string& keyPath);
    CAValue valueForKeyPath(const std::string& keyPath) const;

    std::string description() const override;

    CALayer();
    ~CALayer() override;

protected:
    // An implicit animation of key from the old value, when this layer animates implicitly.
    void willChange(const std::string& key, CAValue oldValue);

private:
    struct Running;
    void drawContents(const CGContextRef& context) const;
    bool drawingNeedsGroup() const;
    size_t primitiveCount() const;
    void insertAt(const Ref<CALayer>& layer, size_t index);
    void animationEnded(const Ref<CAAnimation>& animation);
    void stopRunning(std::vector<std::shared_ptr<Running>> removed, bool finished);
    bool animatesImplicitly() const;

    CGRect bounds_;
    CGPoint position_;
    CGPoint anchorPoint_{0.5, 0.5};
    CGFloat zPosition_ = 0;
    CATransform3D transform_;
    CATransform3D sublayerTransform_;
    bool hidden_ = false;
    float opacity_ = 1;
    bool masksToBounds_ = false;
    CGFloat cornerRadius_ = 0;
    CGFloat borderWidth_ = 0;
    CGColorRef borderColor_;
    CGColorRef backgroundColor_;
    CGColorRef shadowColor_;
    CGSize shadowOffset_{0, -3};
    float shadowOpacity_ = 0;
    CGFloat shadowRadius_ = 3;
    CGPathRef shadowPath_;
    CGImageRef contents_;
    std::string contentsGravity_ = kCAGravityResize;
    CGFloat contentsScale_ = 1;
    CGRect contentsRect_{{0, 0}, {1, 1}};
    CGRect contentsCenter_{{0, 0}, {1, 1}};
    bool opaque_ = false;
    bool needsDisplayOnBoundsChange_ = false;
    std::string name_;
    Ref<CALayer> mask_;

    Weak<CALayerDelegate> delegate_;
    Weak<CALayer> superlayer_;
    std::vector<Ref<CALayer>> sublayers_;

    bool needsDisplay_ = false;
    bool needsLayout_ = false;
    CGContextRef drawing_;

    std::vector<std::shared_ptr<Running>> animations_;
};
