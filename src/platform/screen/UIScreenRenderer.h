#pragma once
// The screen's picture, kept from frame to frame: every visible window by level, then the alerts and
// sheets on show, drawn into pixels of the screen's size that the renderer keeps (the window stand-in
// shows them; the bench measures them).
//
// renderFrame runs the pending layout and display of every visible window, then compares each layer
// with what the last frame drew: its geometry and place on the screen, its look, its contents and its
// drawing. With reuse on, only the part of the screen covered by layers that changed, appeared or went
// is cleared and drawn again (clipped to it); the pixels elsewhere stay as they were. With reuse off,
// any change draws the whole screen. A frame where nothing changed draws nothing.
//
// The renderer keeps the layers, images and drawings of the last frame alive until the next one, so
// an object freed in between can never hand its address to a new one and pass for unchanged.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

class CALayer;

class UIScreenRenderer {
public:
    // Pixels of size points at scale (the screen's: 320 x 480 at 2 is 640 x 960 pixels).
    UIScreenRenderer(CGSize size, CGFloat scale, bool reuseUnchanged = true);

    // Draws what changed since the last frame; true when any pixel may have changed.
    bool renderFrame();
    // The next frame draws the whole screen (after the pixels were disturbed from outside).
    void invalidate() { whole_ = true; }

    const CGContextRef& context() const { return context_; }
    CGSize size() const { return size_; }
    CGFloat scale() const { return scale_; }
    bool reusesUnchanged() const { return reuse_; }
    // The part of the screen the last frame drew, in points (null when it drew nothing).
    CGRect lastDrawnRect() const { return lastDrawn_; }
    // Frames that drew something.
    uint64_t framesDrawn() const { return framesDrawn_; }
    // Whether a layer on show in the last frame runs an animation that has not reached its end, so
    // the next frame may differ though nothing else changes; when false, the picture stays as it is
    // until something changes the layers.
    bool isAnimating() const { return animating_; }

private:
    struct Seen {
        Ref<CALayer> layer;
        uint64_t look = 0;
        CGRect rect;
        // Held so that their addresses stay theirs until the next frame.
        CGContextRef drawing;
        std::shared_ptr<const void> contents;
    };
    using Frame = std::unordered_map<const CALayer*, Seen>;
    Frame collect(uint64_t& overlays, bool& animating) const;
    void draw(CGRect rect);

    CGSize size_;
    CGFloat scale_;
    bool reuse_;
    CGContextRef context_;
    Frame last_;
    uint64_t lastOverlays_ = 0;
    bool whole_ = true;
    CGRect lastDrawn_ = CGRectNull;
    uint64_t framesDrawn_ = 0;
    bool animating_ = false;
};
