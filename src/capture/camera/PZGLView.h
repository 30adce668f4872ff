#pragma once
// A view drawn by OpenGL ES 2.0 with a context of its own: an on-screen framebuffer whose colour
// buffer is the view's layer (backing size = bounds x scale), and a 320 x 480 off-screen framebuffer
// whose colour buffer is a texture (positionRenderTexture) that later drawing can read.
#include "platform/gl/EAGL.h"
#include "platform/gl/EAGLDrawable.h"
#include "platform/gl/OpenGLES.h"
#include "platform/uikit/UIView.h"

class PZGLView : public UIView {
public:
    // Null when OpenGL ES 2.0 cannot be set up.
    static Ref<PZGLView> initWithFrame(CGRect frame);
    ~PZGLView() override;

    bool createFramebuffers();
    void destroyFramebuffer();
    void setDisplayFramebuffer();
    void setPositionThresholdFramebuffer();
    // YES when the on-screen buffer was presented.
    bool presentFramebuffer();

    GLuint positionRenderTexture() const { return positionRenderTexture_; }
    GLuint positionFramebuffer() const { return positionFramebuffer_; }
    GLuint viewFramebuffer() const { return viewFramebuffer_; }
    GLint backingWidth() const { return backingWidth_; }
    GLint backingHeight() const { return backingHeight_; }
    const Ref<EAGLContext>& context() const { return context_; }
    Ref<CAEAGLLayer> eaglLayer() const { return std::static_pointer_cast<CAEAGLLayer>(layer()); }

protected:
    Ref<CALayer> makeBackingLayer() const override { return CAEAGLLayer::layer(); }

private:
    bool setUp();

    GLint backingWidth_ = 0;
    GLint backingHeight_ = 0;
    Ref<EAGLContext> context_;
    GLuint viewRenderbuffer_ = 0;
    GLuint viewFramebuffer_ = 0;
    GLuint positionRenderTexture_ = 0;
    GLuint positionRenderbuffer_ = 0;
    GLuint positionFramebuffer_ = 0;
};
