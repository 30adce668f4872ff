#pragma once
// The one OpenGL ES 2.0 context of the filter chain. Every stage makes it current on its own thread
// before touching GL (useImageProcessingContext); a chain runs on one thread at a time, so the context
// is never current on two threads at once.
#include "platform/foundation/NSObject.h"
#include "platform/gl/EAGL.h"

class GPUOpenGLESContext : public NSObject {
public:
    // The process's instance, made on the first call (exactly once, whichever threads ask) and never
    // destroyed.
    static Ref<GPUOpenGLESContext> sharedImageProcessingOpenGLESContext();
    // Makes the shared context current on the calling thread (cheap when it already is).
    static void useImageProcessingContext();
    static GLint maximumTextureSizeForThisDevice();
    static GLint maximumTextureUnitsForThisDevice();

    // Presents the bound renderbuffer into the layer it was given storage from.
    void presentBufferForDisplay();
    // The EAGL context, made on first use: ES 2, made current, depth test off. Raises
    // NSInternalInconsistencyException when no ES 2 context can be had.
    Ref<EAGLContext> context();

    GPUOpenGLESContext();

private:
    std::mutex mutex_;
    Ref<EAGLContext> context_;
};
