#include "capture/gpu/GPUOpenGLESContext.h"

#include <mutex>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

GPUOpenGLESContext::GPUOpenGLESContext() = default;

Ref<GPUOpenGLESContext> GPUOpenGLESContext::sharedImageProcessingOpenGLESContext()
{
    // Lives for the whole process: threads that draw late at exit still find it.
    static Ref<GPUOpenGLESContext>* shared = [] {
        auto* made = new Ref<GPUOpenGLESContext>(std::make_shared<GPUOpenGLESContext>());
        (*made)->initBody();
        return made;
    }();
    return *shared;
}

void GPUOpenGLESContext::useImageProcessingContext()
{
    Ref<EAGLContext> context = sharedImageProcessingOpenGLESContext()->context();
    if (EAGLContext::currentContext() != context && !EAGLContext::setCurrentContext(context)) {
        NSLog("The image processing context is current on another thread");
    }
}

GLint GPUOpenGLESContext::maximumTextureSizeForThisDevice()
{
    useImageProcessingContext();
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

GLint GPUOpenGLESContext::maximumTextureUnitsForThisDevice()
{
    useImageProcessingContext();
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
    return units;
}

void GPUOpenGLESContext::presentBufferForDisplay()
{
    context()->presentRenderbuffer(GL_RENDERBUFFER);
}

Ref<EAGLContext> GPUOpenGLESContext::context()
{
    std::lock_guard lock(mutex_);
    if (!context_) {
        Ref<EAGLContext> made = EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES2);
        NSAssert(made != nullptr, "Unable to create an OpenGL ES 2.0 context. The GPU filter framework requires "
                                  "OpenGL ES 2.0 support to work.");
        context_ = made;
        EAGLContext::setCurrentContext(context_);
        // Texturing needs no switch in ES 2; the driver reports the phone-era call as an invalid enum,
        // which must not be left for the next error check to find.
        glEnable(GL_TEXTURE_2D);
        while (glGetError() != GL_NO_ERROR) {
        }
        glDisable(GL_DEPTH_TEST);
    }
    return context_;
}
