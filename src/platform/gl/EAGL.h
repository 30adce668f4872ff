#pragma once
// EAGL: rendering contexts of OpenGL ES 2.0.
//
// An EAGLContext is an EGL context of Mesa's surfaceless platform (software rendering, no window
// system): it draws only into framebuffer objects, which is all the phone's GL code ever draws into.
// The EGL display is opened once per process and never closed (driver start-up is slow, and unloading
// the driver leaves allocations behind).
//
// - Current per thread: setCurrentContext binds the context to the calling thread, as on the phone.
//   A context can be current on one thread at a time; making it current on a second thread while
//   another holds it fails (returns false) instead of sharing it.
// - Sharegroups: contexts made with the same sharegroup share textures, buffers, programs and
//   renderbuffers. A context made without one gets a sharegroup of its own.
// - Drawables: renderbufferStorage_fromDrawable gives the bound renderbuffer RGBA8 storage of the
//   layer's bounds times its contents scale; presentRenderbuffer reads that renderbuffer back and
//   sets it, upright, as the layer's contents (see EAGLDrawable.h).
#include <cstdint>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/gl/OpenGLES.h"

class CAEAGLLayer;
class EAGLContext;

enum EAGLRenderingAPI { kEAGLRenderingAPIOpenGLES1 = 1, kEAGLRenderingAPIOpenGLES2 = 2 };

class EAGLSharegroup : public NSObject {
public:
    static Ref<EAGLSharegroup> create();
    ~EAGLSharegroup() override;
    EAGLSharegroup();

private:
    friend class EAGLContext;
    struct Anchor;
    // The first context of the group; later contexts share objects with it. It lives as long as the
    // group, so the group's objects outlive any one member.
    std::shared_ptr<Anchor> anchor_;
};

class EAGLContext : public NSObject {
public:
    // A new context of that API; null when the API is not available (only ES 2 is) or the driver
    // cannot make one.
    static Ref<EAGLContext> initWithAPI(EAGLRenderingAPI api);
    static Ref<EAGLContext> initWithAPI_sharegroup(EAGLRenderingAPI api, const Ref<EAGLSharegroup>& sharegroup);

    // Makes the context current on the calling thread (null: none). False when the context is current
    // on another thread or the driver refuses.
    static bool setCurrentContext(const Ref<EAGLContext>& context);
    static Ref<EAGLContext> currentContext();

    EAGLRenderingAPI API() const { return api_; }
    const Ref<EAGLSharegroup>& sharegroup() const { return sharegroup_; }

    // Allocates storage for the renderbuffer bound to target (GL_RENDERBUFFER) in this context: RGBA8
    // of the layer's bounds times its contents scale, and ties the renderbuffer to the layer. False
    // (and no storage) when this context is not current, nothing is bound, or the size is empty.
    bool renderbufferStorage_fromDrawable(GLenum target, const Ref<CAEAGLLayer>& drawable);
    // Shows the renderbuffer bound to target: reads it back and sets the picture as its layer's
    // contents. False when it is not tied to a layer that still exists or this context is not current.
    bool presentRenderbuffer(GLenum target);

    // The renderer as the driver names it ("llvmpipe ..."), for logs.
    static std::string rendererName();

    EAGLContext();
    ~EAGLContext() override;

private:
    struct Impl;
    bool initWith(EAGLRenderingAPI api, const Ref<EAGLSharegroup>& sharegroup);
    EAGLRenderingAPI api_ = kEAGLRenderingAPIOpenGLES2;
    Ref<EAGLSharegroup> sharegroup_;
    std::unique_ptr<Impl> impl_;
};
