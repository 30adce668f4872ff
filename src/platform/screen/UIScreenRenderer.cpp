#include "platform/screen/UIScreenRenderer.h"

#include <cmath>
#include <cstring>

#include "platform/foundation/Clock.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"

namespace {
namespace UIScreenRenderer_cpp {

// A running 64-bit hash of the values that decide how a layer looks.
class Mix {
public:
    void add(uint64_t v)
    {
        h_ ^= v + 0x9E3779B97F4A7C15ull + (h_ << 6) + (h_ >> 2);
        h_ *= 0xFF51AFD7ED558CCDull;
    }
    void add(double v)
    {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        add(bits);
    }
    void add(const void* p) { add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
    void add(CGRect r)
    {
        add(double(r.origin.x));
        add(double(r.origin.y));
        add(double(r.size.width));
        add(double(r.size.height));
    }
    void add(const std::string& s)
    {
        for (unsigned char c : s) add(uint64_t(c));
        add(uint64_t(s.size()));
    }
    uint64_t value() const { return h_; }

private:
    uint64_t h_ = 0xCBF29CE484222325ull;
};

// Everything of the layer itself that its picture depends on, with its place on the screen and in its
// parent's paint order (its parent and its index among its siblings). Sublayers that come and go
// are changes of their own, not of their parent.
uint64_t lookOf(const CALayer& layer, CGRect onScreen, const void* parent, size_t index)
{
    Mix m;
    m.add(onScreen);
    m.add(parent);
    m.add(uint64_t(index));
    m.add(layer.bounds());
    const CGAffineTransform t = CATransform3DGetAffineTransform(layer.transform());
    for (double v : {double(t.a), double(t.b), double(t.c), double(t.d), double(t.tx), double(t.ty)}) m.add(v);
    const CATransform3D& s = layer.sublayerTransform();
    for (double v : {double(s.m11), double(s.m12), double(s.m21), double(s.m22), double(s.m41), double(s.m42)}) m.add(v);
    m.add(double(layer.opacity()));
    m.add(uint64_t(layer.masksToBounds()));
    m.add(double(layer.cornerRadius()));
    m.add(double(layer.borderWidth()));
    m.add(layer.borderColor().get());
    m.add(layer.backgroundColor().get());
    m.add(layer.shadowColor().get());
    m.add(double(layer.shadowOpacity()));
    m.add(double(layer.shadowRadius()));
    m.add(double(layer.shadowOffset().width));
    m.add(double(layer.shadowOffset().height));
    m.add(layer.shadowPath().get());
    m.add(layer.contents().get());
    m.add(layer.contentsGravity());
    m.add(layer.contentsRect());
    m.add(layer.contentsCenter());
    m.add(double(layer.contentsScale()));
    m.add(layer.drawing().get());
    m.add(layer.mask().get());
    return m.value();
}

// The part of the screen a layer may paint: its bounds on the screen, its shadow around them, and a
// point more for the antialiased edges.
CGRect paintedRect(const CALayer& layer, CGRect onScreen)
{
    CGFloat reach = 1;
    if (layer.shadowOpacity() > 0) {
        reach += layer.shadowRadius() * 2 + std::max(std::fabs(layer.shadowOffset().width),
                                                     std::fabs(layer.shadowOffset().height));
    }
    return CGRectInset(onScreen, -reach, -reach);
}

}  // namespace UIScreenRenderer_cpp
}  // namespace

UIScreenRenderer::UIScreenRenderer(CGSize size, CGFloat scale, bool reuseUnchanged)
    : size_(size), scale_(scale), reuse_(reuseUnchanged), context_(CGContext::createImageContext(size, scale))
{
}

UIScreenRenderer::Frame UIScreenRenderer::collect(uint64_t& overlays, bool& animating) const
{
    using namespace UIScreenRenderer_cpp;
    Frame frame;
    struct Pending {
        Ref<CALayer> layer;
        const void* parent;
        size_t index;
        CGAffineTransform parentToScreen;  // as the parent shows now
    };
    std::vector<Pending> pending;
    Mix order;
    const double now = Clock::now();
    animating = false;
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {  // by level
        if (window->isHidden()) {
            continue;
        }
        window->layer()->layoutAndDisplayTreeIfNeeded();
        order.add(window.get());
        pending.push_back({window->layer(), nullptr, 0, CGAffineTransformIdentity});
    }
    while (!pending.empty()) {
        Ref<CALayer> layer = std::move(pending.back().layer);
        const void* parent = pending.back().parent;
        const size_t index = pending.back().index;
        const CGAffineTransform parentToScreen = pending.back().parentToScreen;
        pending.pop_back();
        // What a running animation shows, not the model's final values.
        const Ref<const CALayer> shown = layer->shownLayer();
        if (!animating && layer->hasAnimations() && layer->animatesAfter(now)) {
            // Counted before the layer is skipped as unseen: an animation may be about to show it.
            animating = true;
        }
        if (shown->isHidden() || shown->opacity() <= 0) {
            continue;  // nothing of it shows: were it shown before, its going is a change
        }
        const CGAffineTransform toScreen = CGAffineTransformConcat(shown->transformToSuperlayer(), parentToScreen);
        const CGRect onScreen = CGRectApplyAffineTransform(shown->bounds(), toScreen);
        Seen seen;
        seen.look = lookOf(*shown, onScreen, parent, index);
        seen.rect = paintedRect(*shown, onScreen);
        seen.drawing = layer->drawing();
        seen.contents = shown->contents();
        const auto& sublayers = layer->sublayers();
        for (size_t i = 0; i < sublayers.size(); ++i) {
            pending.push_back({sublayers[i], layer.get(), i, toScreen});
        }
        if (const Ref<CALayer>& mask = layer->mask()) {
            pending.push_back({mask, layer.get(), sublayers.size(), toScreen});
        }
        seen.layer = std::move(layer);
        frame.emplace(seen.layer.get(), std::move(seen));
    }
    // Alerts and sheets cover the whole screen (the dimming), so any change of theirs is a change of all.
    for (const auto& overlay : UIAlertView::visibleAlerts()) {
        order.add(overlay.get());
        overlay->setFrame(UIWindowOverlayFrame(overlay, size_));
        overlay->layer()->layoutAndDisplayTreeIfNeeded();
        order.add(overlay->layer()->drawing().get());
    }
    for (const auto& overlay : UIActionSheet::visibleSheets()) {
        order.add(overlay.get());
        overlay->setFrame(UIWindowOverlayFrame(overlay, size_));
        overlay->layer()->layoutAndDisplayTreeIfNeeded();
        order.add(overlay->layer()->drawing().get());
    }
    overlays = order.value();
    return frame;
}

bool UIScreenRenderer::renderFrame()
{
    uint64_t overlays = 0;
    Frame frame = collect(overlays, animating_);
    const CGRect whole = CGRectMake(0, 0, size_.width, size_.height);
    CGRect changed = CGRectNull;
    if (whole_ || overlays != lastOverlays_) {
        changed = whole;
    } else {
        for (const auto& [key, seen] : frame) {
            auto it = last_.find(key);
            if (it == last_.end()) {
                changed = CGRectUnion(changed, seen.rect);
            } else if (it->second.look != seen.look) {
                changed = CGRectUnion(CGRectUnion(changed, seen.rect), it->second.rect);
            }
        }
        for (const auto& [key, seen] : last_) {
            if (frame.find(key) == frame.end()) {
                changed = CGRectUnion(changed, seen.rect);
            }
        }
        changed = CGRectIntersection(changed, whole);
    }
    last_ = std::move(frame);
    lastOverlays_ = overlays;
    whole_ = false;
    if (CGRectIsNull(changed) || CGRectIsEmpty(changed)) {
        lastDrawn_ = CGRectNull;
        return false;
    }
    if (!reuse_) {
        changed = whole;
    }
    // On whole pixels, so the clip's edges are sharp and the pixels beside them stay as they were.
    const CGFloat x0 = std::floor(changed.origin.x * scale_) / scale_;
    const CGFloat y0 = std::floor(changed.origin.y * scale_) / scale_;
    const CGFloat x1 = std::ceil(CGRectGetMaxX(changed) * scale_) / scale_;
    const CGFloat y1 = std::ceil(CGRectGetMaxY(changed) * scale_) / scale_;
    draw(CGRectMake(x0, y0, x1 - x0, y1 - y0));
    return true;
}

void UIScreenRenderer::draw(CGRect rect)
{
    context_->saveGState();
    context_->clipToRect(rect);
    context_->setFillColor(CGColor::createGray(0, 1));  // the glass behind every window
    context_->fillRect(rect);
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {
        if (window->isHidden()) {
            continue;
        }
        context_->saveGState();
        context_->concatCTM(window->layer()->transformToSuperlayer());
        window->layer()->renderInContext(context_);
        context_->restoreGState();
    }
    UIWindowDrawAlertsAndSheets(context_, size_);
    context_->restoreGState();
    lastDrawn_ = rect;
    ++framesDrawn_;
}
