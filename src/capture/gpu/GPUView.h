#pragma once
// The on-screen end of a chain: a view whose layer is a CAEAGLLayer. Each frame is drawn into the
// layer's renderbuffer, stretched over the whole view whatever its aspect, and presented, so the
// layer's contents show it upright. The renderbuffer is made from the layer on the first frame
// (bounds x content scale) and kept: a later change of the view's size is not followed.
//
// As a target it asks for frames no larger than its pixel size (bounds x content scale), which makes
// the filters in front of it render at 320 x 480 on a 1x screen.
#include "capture/gpu/GLProgram.h"
#include "capture/gpu/GPUOutput.h"
#include "platform/gl/EAGLDrawable.h"
#include "platform/uikit/UIView.h"

class GPUView : public UIView, public GPUInput {
public:
    static Ref<GPUView> initWithFrame(CGRect frame) { return makeWithFrame<GPUView>(frame); }

    Ref<CAEAGLLayer> eaglLayer() const { return std::static_pointer_cast<CAEAGLLayer>(layer()); }

    void createDisplayFramebuffer();
    void destroyDisplayFramebuffer();
    void setDisplayFramebuffer();
    void presentFramebuffer();

    // --- GPUInput ---
    void newFrameReady() override;
    void setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex) override;
    GLint nextAvailableTextureIndex() override { return 0; }
    void setInputSize(CGSize newSize) override {}
    CGSize maximumOutputSize() override;

    GLuint inputTextureForDisplay() const { return inputTextureForDisplay_; }
    GLint backingWidth() const { return backingWidth_; }
    GLint backingHeight() const { return backingHeight_; }
    GLuint displayFramebuffer() const { return displayFramebuffer_; }

    void initWithFrameBody(CGRect frame) override;

    GPUView();
    ~GPUView() override;

protected:
    // +layerClass
    Ref<CALayer> makeBackingLayer() const override { return CAEAGLLayer::layer(); }
    void commonInit();

private:
    GLuint inputTextureForDisplay_ = 0;
    GLint backingWidth_ = 0;
    GLint backingHeight_ = 0;
    GLuint displayRenderbuffer_ = 0;
    GLuint displayFramebuffer_ = 0;
    Ref<GLProgram> displayProgram_;
    GLint displayPositionAttribute_ = -1;
    GLint displayTextureCoordinateAttribute_ = -1;
    GLint displayInputTextureUniform_ = -1;
};
