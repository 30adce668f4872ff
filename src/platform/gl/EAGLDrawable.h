#pragma once
// CAEAGLLayer: the layer an EAGLContext presents a renderbuffer into. Its drawable properties say how
// the renderbuffer is kept ("EAGLColorFormatRGBA8" is the only colour format; RGB565 is stored as RGBA8
// too). A presented renderbuffer becomes the layer's contents: an upright CGImage of the renderbuffer's
// pixel size, so the layer tree draws it like any other image and tests read its pixels.
#include "platform/foundation/Value.h"
#include "platform/uikit/CALayer.h"

inline constexpr char kEAGLDrawablePropertyRetainedBacking[] = "kEAGLDrawablePropertyRetainedBacking";
inline constexpr char kEAGLDrawablePropertyColorFormat[] = "kEAGLDrawablePropertyColorFormat";
inline constexpr char kEAGLColorFormatRGBA8[] = "EAGLColorFormatRGBA8";
inline constexpr char kEAGLColorFormatRGB565[] = "EAGLColorFormatRGB565";

class CAEAGLLayer : public CALayer {
public:
    static Ref<CAEAGLLayer> layer();
    static Ref<CAEAGLLayer> create() { return layer(); }

    // Defaults: retained backing NO, colour format RGBA8.
    const Value& drawableProperties() const { return drawableProperties_; }
    void setDrawableProperties(Value properties) { drawableProperties_ = std::move(properties); }

    // How many renderbuffers were presented into this layer (tests wait on it).
    uint64_t presentedCount() const { return presentedCount_; }

    CAEAGLLayer();

private:
    friend class EAGLContext;
    void presented(CGImageRef picture);
    Value drawableProperties_;
    uint64_t presentedCount_ = 0;
};
