#include "capture/camera/PZGLView.h"

#include <cstdlib>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIScreen.h"

Ref<PZGLView> PZGLView::initWithFrame(CGRect frame)
{
    Ref<PZGLView> view = makeWithFrame<PZGLView>(frame);
    if (!view->setUp()) {
        return nullptr;
    }
    return view;
}

PZGLView::~PZGLView()
{
    if (context_ && EAGLContext::setCurrentContext(context_)) {
        destroyFramebuffer();
        if (positionFramebuffer_) {
            glDeleteFramebuffers(1, &positionFramebuffer_);
        }
        if (positionRenderbuffer_) {
            glDeleteRenderbuffers(1, &positionRenderbuffer_);
        }
        if (positionRenderTexture_) {
            glDeleteTextures(1, &positionRenderTexture_);
        }
        EAGLContext::setCurrentContext(nullptr);
    }
}

bool PZGLView::setUp()
{
    setContentScaleFactor(UIScreen::mainScreen()->scale());
    Ref<CAEAGLLayer> drawable = eaglLayer();
    drawable->setOpaque(true);
    drawable->setDrawableProperties(Value::dictionary({{kEAGLDrawablePropertyRetainedBacking, Value(false)},
                                                       {kEAGLDrawablePropertyColorFormat, Value(kEAGLColorFormatRGBA8)}}));
    context_ = EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES2);
    if (!context_ || !EAGLContext::setCurrentContext(context_) || !createFramebuffers()) {
        context_ = nullptr;
        return false;
    }
    return true;
}

bool PZGLView::createFramebuffers()
{
    glEnable(GL_TEXTURE_2D);
    glGetError();  // there is no 2-D texture switch in ES 2: the enable only raises an error
    glDisable(GL_DEPTH_TEST);

    // On screen: the layer is the colour buffer.
    glGenFramebuffers(1, &viewFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, viewFramebuffer_);
    glGenRenderbuffers(1, &viewRenderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, viewRenderbuffer_);
    context_->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, eaglLayer());
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &backingWidth_);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &backingHeight_);
    NSLog("Backing width: %d, height: %d", backingWidth_, backingHeight_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, viewRenderbuffer_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        NSLog("Failure with framebuffer generation");
        return false;
    }

    // Off screen: a renderbuffer first, then a texture in its place as the colour buffer.
    glGenFramebuffers(1, &positionFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, positionFramebuffer_);
    glGenRenderbuffers(1, &positionRenderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, positionRenderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, 320, 480);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, positionRenderbuffer_);
    glGenTextures(1, &positionRenderTexture_);
    glBindTexture(GL_TEXTURE_2D, positionRenderTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 320, 480, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, positionRenderTexture_, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        NSLog("Incomplete FBO: %d", status);
        std::exit(1);
    }
    return true;
}

void PZGLView::destroyFramebuffer()
{
    if (viewFramebuffer_) {
        glDeleteFramebuffers(1, &viewFramebuffer_);
        viewFramebuffer_ = 0;
    }
    if (viewRenderbuffer_) {
        glDeleteRenderbuffers(1, &viewRenderbuffer_);
        viewRenderbuffer_ = 0;
    }
}

void PZGLView::setDisplayFramebuffer()
{
    if (!context_) {
        return;
    }
    EAGLContext::setCurrentContext(context_);
    if (!viewFramebuffer_) {
        createFramebuffers();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, viewFramebuffer_);
    glViewport(0, 0, backingWidth_, backingHeight_);
}

void PZGLView::setPositionThresholdFramebuffer()
{
    if (!context_) {
        return;
    }
    EAGLContext::setCurrentContext(context_);
    if (!positionFramebuffer_) {
        createFramebuffers();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, positionFramebuffer_);
    glViewport(0, 0, 320, 480);
}

bool PZGLView::presentFramebuffer()
{
    if (!context_) {
        return false;
    }
    EAGLContext::setCurrentContext(context_);
    glBindRenderbuffer(GL_RENDERBUFFER, viewRenderbuffer_);
    return context_->presentRenderbuffer(GL_RENDERBUFFER);
}
