#include "platform/uikit/CALayer.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/CATransaction.h"

struct CALayer::Running {
    std::string key;
    Ref<CAAnimation> animation;
    Ref<NSTimer> startTimer;
    Ref<NSTimer> endTimer;
    std::vector<std::shared_ptr<CAAnimationCompletionGroup>> groups;
    bool ended = false;
};

CALayer::CALayer()
    : borderColor_(CGColor::createGray(0, 1)), shadowColor_(CGColor::createGray(0, 1))
{
}

CALayer::~CALayer()
{
    // Animations of a layer that goes away end unfinished; their groups must not wait for ever.
    for (const auto& running : animations_) {
        if (running->startTimer) running->startTimer->invalidate();
        if (running->endTimer) running->endTimer->invalidate();
        if (!running->ended) {
            running->ended = true;
            for (const auto& group : running->groups) {
                group->animationEnded(false);
            }
        }
    }
}

Ref<CALayer> CALayer::layer() { return std::make_shared<CALayer>(); }

// --- Geometry ---------------------------------------------------------------------------------------

void CALayer::setBounds(CGRect bounds)
{
    if (bounds == bounds_) {
        return;
    }
    willChange("bounds", bounds_);
    const bool resized = bounds.size != bounds_.size;
    bounds_ = bounds;
    if (resized) {
        needsLayout_ = true;
        if (needsDisplayOnBoundsChange_) {
            needsDisplay_ = true;
        }
    }
}

void CALayer::setPosition(CGPoint position)
{
    if (position == position_) {
        return;
    }
    willChange("position", position_);
    position_ = position;
}

void CALayer::setAnchorPoint(CGPoint anchorPoint)
{
    if (anchorPoint == anchorPoint_) {
        return;
    }
    willChange("anchorPoint", anchorPoint_);
    anchorPoint_ = anchorPoint;
}

void CALayer::setZPosition(CGFloat z)
{
    if (z == zPosition_) {
        return;
    }
    willChange("zPosition", zPosition_);
    zPosition_ = z;
}

CGRect CALayer::frame() const
{
    const CGRect local = CGRectMake(-anchorPoint_.x * bounds_.size.width, -anchorPoint_.y * bounds_.size.height,
                                    bounds_.size.width, bounds_.size.height);
    const CGRect box = CGRectApplyAffineTransform(local, affineTransform());
    return CGRectOffset(box, position_.x, position_.y);
}

void CALayer::setFrame(CGRect frame)
{
    frame = CGRectStandardize(frame);
    CGAffineTransform linear = affineTransform();
    linear.tx = linear.ty = 0;
    CGSize size = frame.size;
    if (!CGAffineTransformIsIdentity(linear)) {
        const CGFloat det = linear.a * linear.d - linear.b * linear.c;
        if (det != 0 && std::isfinite(det)) {
            const CGSize inverse = CGSizeApplyAffineTransform(size, CGAffineTransformInvert(linear));
            size = {std::abs(inverse.width), std::abs(inverse.height)};
        } else {
            size = bounds_.size;
        }
    }
    setBounds(CGRectMake(bounds_.origin.x, bounds_.origin.y, size.width, size.height));
    // The position that puts the frame's box where asked.
    const CGRect box = this->frame();
    setPosition({position_.x + frame.origin.x - box.origin.x, position_.y + frame.origin.y - box.origin.y});
}

void CALayer::setTransform(const CATransform3D& transform)
{
    if (transform == transform_) {
        return;
    }
    willChange("transform", transform_);
    transform_ = transform;
}

// --- Look -------------------------------------------------------------------------------------------

void CALayer::setHidden(bool hidden)
{
    if (hidden == hidden_) {
        return;
    }
    willChange("hidden", hidden_ ? 1.0 : 0.0);
    hidden_ = hidden;
}

void CALayer::setOpacity(float opacity)
{
    if (opacity == opacity_) {
        return;
    }
    willChange("opacity", double(opacity_));
    opacity_ = opacity;
}

void CALayer::setCornerRadius(CGFloat radius)
{
    if (radius == cornerRadius_) {
        return;
    }
    willChange("cornerRadius", cornerRadius_);
    cornerRadius_ = radius;
}

void CALayer::setBorderWidth(CGFloat width)
{
    if (width == borderWidth_) {
        return;
    }
    willChange("borderWidth", borderWidth_);
    borderWidth_ = width;
}

void CALayer::setBorderColor(CGColorRef color)
{
    if (CGColorEqualToColor(color, borderColor_)) {
        return;
    }
    willChange("borderColor", borderColor_);
    borderColor_ = std::move(color);
}

void CALayer::setBackgroundColor(CGColorRef color)
{
    if (CGColorEqualToColor(color, backgroundColor_)) {
        return;
    }
    willChange("backgroundColor", backgroundColor_);
    backgroundColor_ = std::move(color);
}

void CALayer::setShadowColor(CGColorRef color)
{
    if (CGColorEqualToColor(color, shadowColor_)) {
        return;
    }
    willChange("shadowColor", shadowColor_);
    shadowColor_ = std::move(color);
}

void CALayer::setShadowOffset(CGSize offset)
{
    if (offset == shadowOffset_) {
        return;
    }
    willChange("shadowOffset", shadowOffset_);
    shadowOffset_ = offset;
}

void CALayer::setShadowOpacity(float opacity)
{
    if (opacity == shadowOpacity_) {
        return;
    }
    willChange("shadowOpacity", double(shadowOpacity_));
    shadowOpacity_ = opacity;
}

void CALayer::setShadowRadius(CGFloat radius)
{
    if (radius == shadowRadius_) {
        return;
    }
    willChange("shadowRadius", shadowRadius_);
    shadowRadius_ = radius;
}

void CALayer::setContents(CGImageRef contents)
{
    if (contents == contents_) {
        return;
    }
    willChange("contents", contents_);
    contents_ = std::move(contents);
}

void CALayer::setContentsRect(CGRect rect)
{
    if (rect == contentsRect_) {
        return;
    }
    willChange("contentsRect", contentsRect_);
    contentsRect_ = rect;
}

// --- Tree -------------------------------------------------------------------------------------------

void CALayer::insertAt(const Ref<CALayer>& layer, size_t index)
{
    if (!layer || layer.get() == this) {
        return;
    }
    Ref<CALayer> keep = layer;  // removing it from its old superlayer must not destroy it
    if (keep->superlayer().get() == this) {
        auto it = std::find(sublayers_.begin(), sublayers_.end(), keep);
        const size_t old = size_t(it - sublayers_.begin());
        sublayers_.erase(it);
        if (index > old) {
            --index;
        }
    } else {
        keep->removeFromSuperlayer();
    }
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + std::ptrdiff_t(index), keep);
    keep->superlayer_ = weakSelf<CALayer>();
}

void CALayer::setSublayers(std::vector<Ref<CALayer>> sublayers)
{
    for (const Ref<CALayer>& layer : std::vector<Ref<CALayer>>(sublayers_)) {
        layer->removeFromSuperlayer();
    }
    for (const Ref<CALayer>& layer : sublayers) {
        addSublayer(layer);
    }
}

void CALayer::addSublayer(const Ref<CALayer>& layer) { insertAt(layer, sublayers_.size()); }

void CALayer::insertSublayer_atIndex(const Ref<CALayer>& layer, size_t index) { insertAt(layer, index); }

void CALayer::insertSublayer_below(const Ref<CALayer>& layer, const Ref<CALayer>& sibling)
{
    auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
    insertAt(layer, it == sublayers_.end() ? 0 : size_t(it - sublayers_.begin()));
}

void CALayer::insertSublayer_above(const Ref<CALayer>& layer, const Ref<CALayer>& sibling)
{
    auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
    insertAt(layer, it == sublayers_.end() ? sublayers_.size() : size_t(it - sublayers_.begin()) + 1);
}

void CALayer::replaceSublayer_with(const Ref<CALayer>& old, const Ref<CALayer>& replacement)
{
    auto it = std::find(sublayers_.begin(), sublayers_.end(), old);
    if (it == sublayers_.end() || !replacement) {
        return;
    }
    const size_t index = size_t(it - sublayers_.begin());
    Ref<CALayer> keep = old;
    keep->removeFromSuperlayer();
    insertAt(replacement, index);
}

void CALayer::removeFromSuperlayer()
{
    Ref<CALayer> parent = superlayer_.lock();
    superlayer_.reset();
    if (!parent) {
        return;
    }
    auto& list = parent->sublayers_;
    auto it = std::find_if(list.begin(), list.end(), [this](const Ref<CALayer>& l) { return l.get() == this; });
    if (it != list.end()) {
        Ref<CALayer> keep = *it;  // outlives the erase, in case the list held the last reference
        list.erase(it);
    }
}

// --- Coordinates ------------------------------------------------------------------------------------

CGAffineTransform CALayer::transformToSuperlayer() const
{
    const CGAffineTransform toAnchor = CGAffineTransformMakeTranslation(
        -bounds_.origin.x - anchorPoint_.x * bounds_.size.width, -bounds_.origin.y - anchorPoint_.y * bounds_.size.height);
    const CGAffineTransform placed =
        CGAffineTransformConcat(affineTransform(), CGAffineTransformMakeTranslation(position_.x, position_.y));
    return CGAffineTransformConcat(toAnchor, placed);
}

CGAffineTransform CALayer::transformToBase() const
{
    CGAffineTransform t = transformToSuperlayer();
    for (Ref<CALayer> layer = superlayer(); layer; layer = layer->superlayer()) {
        t = CGAffineTransformConcat(t, layer->transformToSuperlayer());
    }
    return t;
}

CGPoint CALayer::convertPoint_toLayer(CGPoint point, const Ref<CALayer>& layer) const
{
    const CGPoint base = CGPointApplyAffineTransform(point, transformToBase());
    return layer ? CGPointApplyAffineTransform(base, CGAffineTransformInvert(layer->transformToBase())) : base;
}

CGPoint CALayer::convertPoint_fromLayer(CGPoint point, const Ref<CALayer>& layer) const
{
    const CGPoint base = layer ? CGPointApplyAffineTransform(point, layer->transformToBase()) : point;
    return CGPointApplyAffineTransform(base, CGAffineTransformInvert(transformToBase()));
}

CGRect CALayer::convertRect_toLayer(CGRect rect, const Ref<CALayer>& layer) const
{
    CGAffineTransform t = transformToBase();
    if (layer) {
        t = CGAffineTransformConcat(t, CGAffineTransformInvert(layer->transformToBase()));
    }
    return CGRectApplyAffineTransform(rect, t);
}

CGRect CALayer::convertRect_fromLayer(CGRect rect, const Ref<CALayer>& layer) const
{
    CGAffineTransform t = CGAffineTransformInvert(transformToBase());
    if (layer) {
        t = CGAffineTransformConcat(layer->transformToBase(), t);
    }
    return CGRectApplyAffineTransform(rect, t);
}

bool CALayer::containsPoint(CGPoint point) const { return CGRectContainsPoint(bounds_, point); }

// --- Display and layout -----------------------------------------------------------------------------

void CALayer::displayIfNeeded()
{
    if (needsDisplay_) {
        display();
    }
}

void CALayer::display()
{
    needsDisplay_ = false;
    auto context = CGContext::createRecording(bounds_.size, contentsScale_);
    context->translateCTM(-bounds_.origin.x, -bounds_.origin.y);
    drawInContext(context);
    drawing_ = std::move(context);
}

void CALayer::drawInContext(const CGContextRef& context)
{
    if (auto delegate = delegate_.lock()) {
        delegate->drawLayer_inContext(*this, context);
    }
}

void CALayer::layoutIfNeeded()
{
    Ref<CALayer> keep = self<CALayer>();  // layout may remove this layer from its tree
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    for (const Ref<CALayer>& layer : std::vector<Ref<CALayer>>(sublayers_)) {
        layer->layoutIfNeeded();
    }
}

void CALayer::layoutAndDisplayTreeIfNeeded()
{
    Ref<CALayer> keep = self<CALayer>();
    layoutIfNeeded();
    std::vector<Ref<CALayer>> pending{keep};
    while (!pending.empty()) {
        Ref<CALayer> layer = std::move(pending.back());
        pending.pop_back();
        layer->displayIfNeeded();
        pending.insert(pending.end(), layer->sublayers_.rbegin(), layer->sublayers_.rend());
    }
}

void CALayer::layoutSublayers()
{
    if (auto delegate = delegate_.lock()) {
        delegate->layoutSublayersOfLayer(*this);
    }
}

namespace {
namespace CALayer_cpp {

// One axis of a nine-part stretch: the caps keep their length (shrinking in proportion when the
// destination is shorter than both), the middle stretches.
struct Span {
    CGFloat sourceStart, sourceLength, start, length;
};

std::vector<Span> stretchAxis(CGFloat sourceLength, CGFloat startCap, CGFloat endCap, CGFloat start, CGFloat length,
                              CGFloat pointsPerSource)
{
    if (startCap <= 0 && endCap <= 0) {
        return {{0, sourceLength, start, length}};
    }
    CGFloat a = startCap * pointsPerSource;
    CGFloat b = endCap * pointsPerSource;
    if (a + b > length && a + b > 0) {
        const CGFloat total = a + b;
        a = length * a / total;
        b = length - a;
    }
    std::vector<Span> out;
    auto add = [&](CGFloat ss, CGFloat sl, CGFloat ds, CGFloat dl) {
        if (sl > 0 && dl > 0) out.push_back({ss, sl, ds, dl});
    };
    add(0, startCap, start, a);
    add(startCap, sourceLength - startCap - endCap, start + a, length - a - b);
    add(sourceLength - endCap, endCap, start + length - b, b);
    return out;
}

// Where contents of the given size in points go inside bounds for a gravity.
CGRect placeContents(const std::string& gravity, CGRect bounds, CGSize size)
{
    if (gravity == kCAGravityResize || size.width <= 0 || size.height <= 0) {
        return bounds;
    }
    if (gravity == kCAGravityResizeAspect || gravity == kCAGravityResizeAspectFill) {
        const CGFloat fx = bounds.size.width / size.width, fy = bounds.size.height / size.height;
        const CGFloat f = gravity == kCAGravityResizeAspect ? std::min(fx, fy) : std::max(fx, fy);
        size = {size.width * f, size.height * f};
    }
    CGFloat x = CGRectGetMidX(bounds) - size.width / 2;
    CGFloat y = CGRectGetMidY(bounds) - size.height / 2;
    const std::string& g = gravity;
    if (g == kCAGravityLeft || g == kCAGravityTopLeft || g == kCAGravityBottomLeft) x = bounds.origin.x;
    if (g == kCAGravityRight || g == kCAGravityTopRight || g == kCAGravityBottomRight)
        x = CGRectGetMaxX(bounds) - size.width;
    if (g == kCAGravityTop || g == kCAGravityTopLeft || g == kCAGravityTopRight) y = bounds.origin.y;
    if (g == kCAGravityBottom || g == kCAGravityBottomLeft || g == kCAGravityBottomRight)
        y = CGRectGetMaxY(bounds) - size.height;
    return CGRectMake(x, y, size.width, size.height);
}

CGPathRef roundedBounds(CGRect rect, CGFloat radius)
{
    return CGPathCreateWithRoundedRect(rect, radius, radius, nullptr);
}

}  // namespace CALayer_cpp
}  // namespace

void CALayer::drawContents(const CGContextRef& context) const
{
    using namespace CALayer_cpp;
    const CGImageRef& image = contents_;
    const CGFloat scale = contentsScale_ > 0 ? contentsScale_ : 1;
    const CGFloat iw = CGFloat(image->width()), ih = CGFloat(image->height());
    // The part of the image shown (contentsRect, in unit coordinates), in pixels.
    const CGRect part = CGRectIntersection(
        CGRectMake(contentsRect_.origin.x * iw, contentsRect_.origin.y * ih, contentsRect_.size.width * iw,
                   contentsRect_.size.height * ih),
        CGRectMake(0, 0, iw, ih));
    if (CGRectIsEmpty(part)) {
        return;
    }
    const CGRect dest = placeContents(contentsGravity_, bounds_, {part.size.width / scale, part.size.height / scale});
    const CGRect center = contentsCenter_;
    const bool stretches = contentsGravity_ == kCAGravityResize &&
                           !(center.origin.x <= 0 && center.origin.y <= 0 && CGRectGetMaxX(center) >= 1 &&
                             CGRectGetMaxY(center) >= 1);
    if (!stretches) {
        context->drawImage(dest, image, part);
        return;
    }
    // Caps outside the centre keep their size in points; the centre stretches.
    const CGFloat left = std::clamp(center.origin.x, CGFloat(0), CGFloat(1)) * part.size.width;
    const CGFloat right = std::clamp(1 - CGRectGetMaxX(center), CGFloat(0), CGFloat(1)) * part.size.width;
    const CGFloat top = std::clamp(center.origin.y, CGFloat(0), CGFloat(1)) * part.size.height;
    const CGFloat bottom = std::clamp(1 - CGRectGetMaxY(center), CGFloat(0), CGFloat(1)) * part.size.height;
    const auto xs = stretchAxis(part.size.width, left, right, dest.origin.x, dest.size.width, 1 / scale);
    const auto ys = stretchAxis(part.size.height, top, bottom, dest.origin.y, dest.size.height, 1 / scale);
    for (const Span& y : ys) {
        for (const Span& x : xs) {
            context->drawImage(CGRectMake(x.start, y.start, x.length, y.length), image,
                               CGRectMake(part.origin.x + x.sourceStart, part.origin.y + y.sourceStart, x.sourceLength,
                                          y.sourceLength));
        }
    }
}

bool CALayer::drawingNeedsGroup() const
{
    if (!drawing_) {
        return false;
    }
    for (const CGDrawingRecord& r : drawing_->records()) {
        if (r.kind == CGDrawingRecord::kClearRect || r.blendMode != kCGBlendModeNormal) {
            return true;
        }
    }
    return false;
}

size_t CALayer::primitiveCount() const
{
    size_t count = (backgroundColor_ ? 1 : 0) + (contents_ ? 1 : 0) + (borderWidth_ > 0 && borderColor_ ? 1 : 0);
    if (drawing_) {
        count += drawing_->records().size();
    }
    for (const Ref<CALayer>& layer : sublayers_) {
        if (!layer->hidden_ && layer->opacity_ > 0) {
            count += 2;  // a sublayer may draw over anything of this layer
        }
    }
    return count;
}

void CALayer::renderInContext(const CGContextRef& context) const
{
    using namespace CALayer_cpp;
    if (!animations_.empty()) {
        presentationLayer()->renderInContext(context);  // the copy holds no animations
        return;
    }
    if (!context || hidden_ || opacity_ <= 0) {
        return;
    }
    const bool pixels = context->hasPixels();
    context->saveGState();
    // A shadow, or an opacity below 1 over more than one primitive, applies to the layer's whole
    // picture: it is drawn as one transparency layer, as the phone composites a layer.
    const bool shadowed = pixels && shadowOpacity_ > 0;
    const bool translucent = opacity_ < 1 && primitiveCount() > 1;
    const bool group = pixels && (shadowed || translucent);
    context->setAlpha(context->alpha() * opacity_);
    if (shadowed) {
        const CGColorRef color = shadowColor_ ? shadowColor_ : CGColor::createGray(0, 1);
        context->setShadow(shadowOffset_, shadowRadius_ * 2, color->copyWithAlpha(color->alpha() * shadowOpacity_));
    }
    if (group) {
        context->beginTransparencyLayer();
    }
    const bool rounded = cornerRadius_ > 0;
    if (backgroundColor_) {
        context->saveGState();
        context->setFillColor(backgroundColor_);
        if (rounded) {
            context->beginPath();
            context->addPath(roundedBounds(bounds_, cornerRadius_));
            context->fillPath();
        } else {
            context->fillRect(bounds_);
        }
        context->restoreGState();
    }
    context->saveGState();
    if (masksToBounds_) {
        if (rounded) {
            context->beginPath();
            context->addPath(roundedBounds(bounds_, cornerRadius_));
            context->clip();
        } else {
            context->clipToRect(bounds_);
        }
    }
    if (contents_) {
        drawContents(context);
    }
    if (drawing_ && !drawing_->records().empty()) {
        // The drawing is the layer's own picture: a clear or another blend mode in it acts on that
        // picture alone, never on what lies beneath the layer.
        const bool own = pixels && drawingNeedsGroup();
        if (own) context->beginTransparencyLayer();
        context->appendRecords(drawing_->records());
        if (own) context->endTransparencyLayer();
    }
    std::vector<Ref<CALayer>> ordered = sublayers_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Ref<CALayer>& a, const Ref<CALayer>& b) { return a->zPosition_ < b->zPosition_; });
    for (const Ref<CALayer>& layer : ordered) {
        const Ref<const CALayer> shown = layer->shownLayer();
        context->saveGState();
        context->concatCTM(shown->transformToSuperlayer());
        shown->renderInContext(context);
        context->restoreGState();
    }
    context->restoreGState();
    if (borderWidth_ > 0 && borderColor_) {
        context->saveGState();
        context->setStrokeColor(borderColor_);
        context->setLineWidth(borderWidth_);
        const CGRect inner = CGRectInset(bounds_, borderWidth_ / 2, borderWidth_ / 2);
        if (rounded && !CGRectIsNull(inner)) {
            context->beginPath();
            context->addPath(roundedBounds(inner, std::max(cornerRadius_ - borderWidth_ / 2, CGFloat(0))));
            context->strokePath();
        } else {
            context->strokeRect(inner);
        }
        context->restoreGState();
    }
    if (group) {
        context->endTransparencyLayer();
    }
    context->restoreGState();
}

// --- Animations -------------------------------------------------------------------------------------

void CALayer::addAnimation_forKey(const Ref<CAAnimation>& animation, const std::string& key)
{
    if (!animation) {
        return;
    }
    Ref<CAAnimation> copy = animation->copy();
    const double now = Clock::now();
    if (copy->beginTime() == 0) {
        copy->setBeginTime(now);
    }
    if (!key.empty()) {
        std::vector<std::shared_ptr<Running>> replaced;
        std::erase_if(animations_, [&](const std::shared_ptr<Running>& r) {
            if (r->key == key) {
                replaced.push_back(r);
                return true;
            }
            return false;
        });
        stopRunning(std::move(replaced), false);
    }
    auto running = std::make_shared<Running>();
    running->key = key;
    running->animation = copy;
    running->groups = CATransaction::openCompletionGroups();
    for (const auto& group : running->groups) {
        group->animationAdded();
    }
    running->startTimer = Clock::scheduleAt(copy->beginTime(), [copy] {
        if (auto delegate = copy->delegate().lock()) {
            delegate->animationDidStart(copy);
        }
    });
    const double end = copy->beginTime() + copy->activeDuration();
    if (std::isfinite(end)) {
        Weak<CALayer> weak = weakSelf<CALayer>();
        running->endTimer = Clock::scheduleAt(end, [weak, copy] {
            if (auto layer = weak.lock()) {
                layer->animationEnded(copy);
            }
        });
    }
    animations_.push_back(std::move(running));
}

void CALayer::animationEnded(const Ref<CAAnimation>& animation)
{
    auto it = std::find_if(animations_.begin(), animations_.end(),
                           [&](const std::shared_ptr<Running>& r) { return r->animation == animation; });
    if (it == animations_.end() || (*it)->ended) {
        return;
    }
    std::shared_ptr<Running> running = *it;
    running->ended = true;
    if (animation->isRemovedOnCompletion()) {
        animations_.erase(it);
    }
    if (auto delegate = animation->delegate().lock()) {
        delegate->animationDidStop_finished(animation, true);
    }
    for (const auto& group : running->groups) {
        group->animationEnded(true);
    }
}

void CALayer::stopRunning(std::vector<std::shared_ptr<Running>> removed, bool finished)
{
    for (const auto& running : removed) {
        if (running->startTimer) running->startTimer->invalidate();
        if (running->endTimer) running->endTimer->invalidate();
        if (running->ended) {
            continue;
        }
        running->ended = true;
        for (const auto& group : running->groups) {
            group->animationEnded(finished);
        }
        // The platform tells the delegate on the next turn of the run loop, not inside the removal.
        Clock::scheduleAfter(0, [animation = running->animation, finished] {
            if (auto delegate = animation->delegate().lock()) {
                delegate->animationDidStop_finished(animation, finished);
            }
        });
    }
}

Ref<CAAnimation> CALayer::animationForKey(const std::string& key) const
{
    if (key.empty()) {
        return nullptr;
    }
    for (const auto& running : animations_) {
        if (running->key == key) {
            return running->animation;
        }
    }
    return nullptr;
}

void CALayer::removeAnimationForKey(const std::string& key)
{
    std::vector<std::shared_ptr<Running>> removed;
    std::erase_if(animations_, [&](const std::shared_ptr<Running>& r) {
        if (r->key == key) {
            removed.push_back(r);
            return true;
        }
        return false;
    });
    stopRunning(std::move(removed), false);
}

void CALayer::removeAllAnimations()
{
    std::vector<std::shared_ptr<Running>> removed;
    removed.swap(animations_);
    stopRunning(std::move(removed), false);
}

std::vector<std::string> CALayer::animationKeys() const
{
    std::vector<std::string> keys;
    for (const auto& running : animations_) {
        if (!running->key.empty()) {
            keys.push_back(running->key);
        }
    }
    return keys;
}

Ref<CALayer> CALayer::presentationLayer() const
{
    auto p = std::make_shared<CALayer>();
    p->bounds_ = bounds_;
    p->position_ = position_;
    p->anchorPoint_ = anchorPoint_;
    p->zPosition_ = zPosition_;
    p->transform_ = transform_;
    p->sublayerTransform_ = sublayerTransform_;
    p->hidden_ = hidden_;
    p->opacity_ = opacity_;
    p->masksToBounds_ = masksToBounds_;
    p->cornerRadius_ = cornerRadius_;
    p->borderWidth_ = borderWidth_;
    p->borderColor_ = borderColor_;
    p->backgroundColor_ = backgroundColor_;
    p->shadowColor_ = shadowColor_;
    p->shadowOffset_ = shadowOffset_;
    p->shadowOpacity_ = shadowOpacity_;
    p->shadowRadius_ = shadowRadius_;
    p->shadowPath_ = shadowPath_;
    p->contents_ = contents_;
    p->contentsGravity_ = contentsGravity_;
    p->contentsScale_ = contentsScale_;
    p->contentsRect_ = contentsRect_;
    p->contentsCenter_ = contentsCenter_;
    p->opaque_ = opaque_;
    p->name_ = name_;
    p->mask_ = mask_;
    p->sublayers_ = sublayers_;
    p->drawing_ = drawing_;
    // The copy has no delegate and no superlayer, so what the animations set animates nothing.
    const double now = Clock::now();
    for (const auto& running : animations_) {
        running->animation->applyTo(*p, now);
    }
    return p;
}

double CALayer::animationsEndTime() const
{
    double end = 0;
    for (const auto& running : animations_) {
        const double at = running->animation->beginTime() + running->animation->activeDuration();
        if (!running->ended && std::isfinite(at)) {
            end = std::max(end, at);
        }
    }
    return end;
}

bool CALayer::animatesAfter(double time) const
{
    for (const auto& running : animations_) {
        const double at = running->animation->beginTime() + running->animation->activeDuration();
        if (!running->ended && (!std::isfinite(at) || at > time)) {
            return true;
        }
    }
    return false;
}

Ref<const CALayer> CALayer::shownLayer() const
{
    if (animations_.empty()) {
        return self<CALayer>();
    }
    return presentationLayer();
}

bool CALayer::animatesImplicitly() const
{
    return delegate_.expired() && !superlayer_.expired() && !CATransaction::disableActions();
}

void CALayer::willChange(const std::string& key, CAValue oldValue)
{
    if (!animatesImplicitly()) {
        return;
    }
    auto animation = CABasicAnimation::animationWithKeyPath(key);
    animation->setFromValue(std::move(oldValue));
    animation->setDuration(CATransaction::animationDuration());
    animation->setTimingFunction(CATransaction::animationTimingFunction());
    addAnimation_forKey(animation, key);
}

// --- Key paths --------------------------------------------------------------------------------------

namespace {

struct Decomposed {
    CGFloat scaleX, scaleY, rotation;
};

Decomposed decompose(const CATransform3D& t)
{
    const CGFloat scaleX = std::hypot(t.m11, t.m12);
    const CGFloat rotation = std::atan2(t.m12, t.m11);
    // The y scale is the determinant over the x scale, so a mirrored y keeps its sign.
    const CGFloat det = t.m11 * t.m22 - t.m12 * t.m21;
    return {scaleX, scaleX != 0 ? det / scaleX : std::hypot(t.m21, t.m22), rotation};
}

CATransform3D compose(const CATransform3D& original, Decomposed d)
{
    CATransform3D t = CATransform3DConcat(CATransform3DMakeScale(d.scaleX, d.scaleY, original.m33),
                                          CATransform3DMakeRotation(d.rotation, 0, 0, 1));
    t.m41 = original.m41;
    t.m42 = original.m42;
    t.m43 = original.m43;
    return t;
}

const double* number(const CAValue& v) { return std::get_if<double>(&v); }

}  // namespace

void CALayer::setValue_forKeyPath(const CAValue& value, const std::string& keyPath)
{
    const double* n = number(value);
    if (keyPath == "position") {
        if (auto* p = std::get_if<CGPoint>(&value)) setPosition(*p);
    } else if (keyPath == "position.x") {
        if (n) setPosition({*n, position_.y});
    } else if (keyPath == "position.y") {
        if (n) setPosition({position_.x, *n});
    } else if (keyPath == "bounds") {
        if (auto* r = std::get_if<CGRect>(&value)) setBounds(*r);
    } else if (keyPath == "bounds.size") {
        if (auto* s = std::get_if<CGSize>(&value)) setBounds({bounds_.origin, *s});
    } else if (keyPath == "bounds.origin") {
        if (auto* p = std::get_if<CGPoint>(&value)) setBounds({*p, bounds_.size});
    } else if (keyPath == "bounds.size.width") {
        if (n) setBounds({bounds_.origin, {*n, bounds_.size.height}});
    } else if (keyPath == "bounds.size.height") {
        if (n) setBounds({bounds_.origin, {bounds_.size.width, *n}});
    } else if (keyPath == "frame") {
        if (auto* r = std::get_if<CGRect>(&value)) setFrame(*r);
    } else if (keyPath == "anchorPoint") {
        if (auto* p = std::get_if<CGPoint>(&value)) setAnchorPoint(*p);
    } else if (keyPath == "zPosition") {
        if (n) setZPosition(*n);
    } else if (keyPath == "opacity") {
        if (n) setOpacity(float(*n));
    } else if (keyPath == "hidden") {
        if (n) setHidden(*n != 0);
    } else if (keyPath == "masksToBounds") {
        if (n) setMasksToBounds(*n != 0);
    } else if (keyPath == "cornerRadius") {
        if (n) setCornerRadius(*n);
    } else if (keyPath == "borderWidth") {
        if (n) setBorderWidth(*n);
    } else if (keyPath == "shadowOpacity") {
        if (n) setShadowOpacity(float(*n));
    } else if (keyPath == "shadowRadius") {
        if (n) setShadowRadius(*n);
    } else if (keyPath == "shadowOffset") {
        if (auto* s = std::get_if<CGSize>(&value)) setShadowOffset(*s);
    } else if (keyPath == "borderColor" || keyPath == "backgroundColor" || keyPath == "shadowColor") {
        const CGColorRef* c = std::get_if<CGColorRef>(&value);
        const CGColorRef color = c ? *c : nullptr;
        if (c || CAValueIsNil(value)) {
            if (keyPath == "borderColor") setBorderColor(color);
            else if (keyPath == "backgroundColor") setBackgroundColor(color);
            else setShadowColor(color);
        }
    } else if (keyPath == "contents") {
        if (auto* i = std::get_if<CGImageRef>(&value)) setContents(*i);
        else if (CAValueIsNil(value)) setContents(nullptr);
    } else if (keyPath == "transform") {
        if (auto* t = std::get_if<CATransform3D>(&value)) setTransform(*t);
    } else if (keyPath.rfind("transform.", 0) == 0 && n) {
        Decomposed d = decompose(transform_);
        CATransform3D t = transform_;
        if (keyPath == "transform.scale") {
            d.scaleX = d.scaleY = *n;
            t = compose(transform_, d);
            t.m33 = *n;
        } else if (keyPath == "transform.scale.x") {
            d.scaleX = *n;
            t = compose(transform_, d);
        } else if (keyPath == "transform.scale.y") {
            d.scaleY = *n;
            t = compose(transform_, d);
        } else if (keyPath == "transform.rotation" || keyPath == "transform.rotation.z") {
            d.rotation = *n;
            t = compose(transform_, d);
        } else if (keyPath == "transform.translation.x") {
            t.m41 = *n;
        } else if (keyPath == "transform.translation.y") {
            t.m42 = *n;
        } else if (keyPath == "transform.translation.z") {
            t.m43 = *n;
        } else {
            return;
        }
        setTransform(t);
    }
}

CAValue CALayer::valueForKeyPath(const std::string& keyPath) const
{
    if (keyPath == "position") return position_;
    if (keyPath == "position.x") return position_.x;
    if (keyPath == "position.y") return position_.y;
    if (keyPath == "bounds") return bounds_;
    if (keyPath == "bounds.size") return bounds_.size;
    if (keyPath == "bounds.origin") return bounds_.origin;
    if (keyPath == "bounds.size.width") return bounds_.size.width;
    if (keyPath == "bounds.size.height") return bounds_.size.height;
    if (keyPath == "frame") return frame();
    if (keyPath == "anchorPoint") return anchorPoint_;
    if (keyPath == "zPosition") return zPosition_;
    if (keyPath == "opacity") return double(opacity_);
    if (keyPath == "hidden") return hidden_ ? 1.0 : 0.0;
    if (keyPath == "masksToBounds") return masksToBounds_ ? 1.0 : 0.0;
    if (keyPath == "cornerRadius") return cornerRadius_;
    if (keyPath == "borderWidth") return borderWidth_;
    if (keyPath == "shadowOpacity") return double(shadowOpacity_);
    if (keyPath == "shadowRadius") return shadowRadius_;
    if (keyPath == "shadowOffset") return shadowOffset_;
    if (keyPath == "borderColor") return borderColor_;
    if (keyPath == "backgroundColor") return backgroundColor_;
    if (keyPath == "shadowColor") return shadowColor_;
    if (keyPath == "contents") return contents_;
    if (keyPath == "transform") return transform_;
    const Decomposed d = decompose(transform_);
    if (keyPath == "transform.scale") return (d.scaleX + d.scaleY) / 2;
    if (keyPath == "transform.scale.x") return d.scaleX;
    if (keyPath == "transform.scale.y") return d.scaleY;
    if (keyPath == "transform.rotation" || keyPath == "transform.rotation.z") return d.rotation;
    if (keyPath == "transform.translation.x") return transform_.m41;
    if (keyPath == "transform.translation.y") return transform_.m42;
    if (keyPath == "transform.translation.z") return transform_.m43;
    return {};
}

std::string CALayer::description() const
{
    return NSObject::description() + " frame " + NSStringFromCGRect(frame());
}
