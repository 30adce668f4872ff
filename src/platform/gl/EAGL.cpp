#include "platform/gl/EAGL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cmath>
#include <map>
#include <mutex>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/gl/EAGLDrawable.h"
#include "platform/graphics/CGColor.h"

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

namespace {
namespace EAGL_cpp {

// The process's one EGL display and the config every context uses. Opened on first use and never
// terminated: a terminated display unloads the driver, which leaks what it allocated and costs a slow
// start again.
struct Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool usable = false;
};

const Display& display()
{
    static Display* shared = [] {
        auto* d = new Display();
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) {
            d->display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        }
        if (d->display == EGL_NO_DISPLAY) {
            NSLog("EAGL: no surfaceless EGL display");
            return d;
        }
        EGLint major = 0;
        EGLint minor = 0;
        if (!eglInitialize(d->display, &major, &minor)) {
            NSLog("EAGL: eglInitialize failed: 0x%x", static_cast<unsigned>(eglGetError()));
            return d;
        }
        // No surface type: contexts of this display draw only into framebuffer objects.
        const EGLint attributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(d->display, attributes, &d->config, 1, &count) || count < 1) {
            NSLog("EAGL: no OpenGL ES 2 config");
            return d;
        }
        d->usable = true;
        return d;
    }();
    return *shared;
}

// One EGL context; destroyed when the last holder (its EAGLContext, or the sharegroup it anchors)
// lets go. EGL defers the destruction of a context that is still current somewhere.
struct Handle {
    EGLContext context = EGL_NO_CONTEXT;
    ~Handle()
    {
        if (context != EGL_NO_CONTEXT) {
            eglDestroyContext(display().display, context);
        }
    }
};

// The context current on this thread. Its destructor releases the EGL binding when the thread ends,
// so the context can be made current on another thread afterwards.
struct CurrentSlot {
    Ref<EAGLContext> context;
    ~CurrentSlot()
    {
        if (context && display().usable) {
            eglMakeCurrent(display().display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
    }
};

CurrentSlot& currentSlot()
{
    thread_local CurrentSlot slot;
    return slot;
}

// Premultiplied ARGB words of a top-down picture from bottom-up RGBA bytes, as glReadPixels gives them.
std::vector<uint32_t> uprightPixels(const std::vector<uint8_t>& rgba, int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgba.data() + static_cast<size_t>(height - 1 - y) * width * 4;
        uint32_t* out = pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const uint32_t a = row[4 * x + 3];
            const uint32_t r = (row[4 * x] * a + 127) / 255;
            const uint32_t g = (row[4 * x + 1] * a + 127) / 255;
            const uint32_t b = (row[4 * x + 2] * a + 127) / 255;
            out[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return pixels;
}

}  // namespace EAGL_cpp
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The driver is loaded at run time, so its thread-local data lives in blocks that the C library
// allocates on first use. The leak checker of this compiler generation guesses those blocks' bounds
// from the bytes in front of them and, when a block happens to start 16 bytes into a page, reads a
// bogus range and crashes at exit. Leave dynamic thread-local blocks out of its bookkeeping in every
// program that renders; what they point to is reachable from the driver's globals anyway.
extern "C" const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}

// With those blocks out of the bookkeeping, what the driver holds only from a thread's own data (its
// rendering threads keep per-thread state) looks unreferenced at exit, now and then, depending on
// where the threads were. The driver's allocations are its own business: not reported.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:swrast_dri.so\n";
}
#endif

struct EAGLSharegroup::Anchor {
    std::shared_ptr<EAGL_cpp::Handle> handle;
    // Renderbuffers with layer storage, by name (renderbuffers are shared by the group).
    std::mutex mutex;
    std::map<GLuint, Weak<CAEAGLLayer>> drawables;
};

struct EAGLContext::Impl {
    std::shared_ptr<EAGL_cpp::Handle> handle;
    GLuint readFramebuffer = 0;  // for reading renderbuffers back when presenting
};

EAGLSharegroup::EAGLSharegroup() : anchor_(std::make_shared<Anchor>()) {}
EAGLSharegroup::~EAGLSharegroup() = default;

Ref<EAGLSharegroup> EAGLSharegroup::create()
{
    auto group = std::make_shared<EAGLSharegroup>();
    group->initBody();
    return group;
}

EAGLContext::EAGLContext() : impl_(std::make_unique<Impl>()) {}

EAGLContext::~EAGLContext()
{
    // The context may be current on this thread only if its slot let it go already, which it does
    // not: a current context is held by its thread's slot. Nothing to release here beyond the handle.
}

Ref<EAGLContext> EAGLContext::initWithAPI(EAGLRenderingAPI api)
{
    return initWithAPI_sharegroup(api, nullptr);
}

Ref<EAGLContext> EAGLContext::initWithAPI_sharegroup(EAGLRenderingAPI api, const Ref<EAGLSharegroup>& sharegroup)
{
    auto context = std::make_shared<EAGLContext>();
    context->initBody();
    if (!context->initWith(api, sharegroup)) {
        return nullptr;
    }
    return context;
}

bool EAGLContext::initWith(EAGLRenderingAPI api, const Ref<EAGLSharegroup>& sharegroup)
{
    using namespace EAGL_cpp;
    if (api != kEAGLRenderingAPIOpenGLES2) {
        return false;
    }
    const Display& d = display();
    if (!d.usable) {
        return false;
    }
    api_ = api;
    sharegroup_ = sharegroup ? sharegroup : EAGLSharegroup::create();
    auto& anchor = *sharegroup_->anchor_;
    std::lock_guard lock(anchor.mutex);
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext shared = anchor.handle ? anchor.handle->context : EGL_NO_CONTEXT;
    EGLContext made = eglCreateContext(d.display, d.config, shared, attributes);
    if (made == EGL_NO_CONTEXT) {
        NSLog("EAGL: eglCreateContext failed: 0x%x", static_cast<unsigned>(eglGetError()));
        return false;
    }
    impl_->handle = std::make_shared<Handle>();
    impl_->handle->context = made;
    if (!anchor.handle) {
        anchor.handle = impl_->handle;
    }
    return true;
}

bool EAGLContext::setCurrentContext(const Ref<EAGLContext>& context)
{
    using namespace EAGL_cpp;
    CurrentSlot& slot = currentSlot();
    if (slot.context == context) {
        return true;
    }
    const Display& d = display();
    if (!context) {
        if (d.usable) {
            eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        slot.context = nullptr;
        return true;
    }
    if (!eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, context->impl_->handle->context)) {
        return false;
    }
    slot.context = context;
    return true;
}

Ref<EAGLContext> EAGLContext::currentContext()
{
    return EAGL_cpp::currentSlot().context;
}

std::string EAGLContext::rendererName()
{
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return text ? text : "";
}

bool EAGLContext::renderbufferStorage_fromDrawable(GLenum target, const Ref<CAEAGLLayer>& drawable)
{
    if (currentContext().get() != this || target != GL_RENDERBUFFER || !drawable) {
        return false;
    }
    GLint bound = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
    if (bound == 0) {
        return false;
    }
    const CGFloat scale = drawable->contentsScale() > 0 ? drawable->contentsScale() : 1;
    const auto width = static_cast<GLsizei>(std::lround(drawable->bounds().size.width * scale));
    const auto height = static_cast<GLsizei>(std::lround(drawable->bounds().size.height * scale));
    GLint limit = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &limit);
    if (width <= 0 || height <= 0 || width > limit || height > limit) {
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    glRenderbufferStorage(target, GL_RGBA8_OES, width, height);
    if (glGetError() != GL_NO_ERROR) {
        return false;
    }
    auto& anchor = *sharegroup_->anchor_;
    std::lock_guard lock(anchor.mutex);
    anchor.drawables[static_cast<GLuint>(bound)] = drawable;
    return true;
}

bool EAGLContext::presentRenderbuffer(GLenum target)
{
    if (currentContext().get() != this || target != GL_RENDERBUFFER) {
        return false;
    }
    GLint bound = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
    Ref<CAEAGLLayer> layer;
    {
        auto& anchor = *sharegroup_->anchor_;
        std::lock_guard lock(anchor.mutex);
        auto found = anchor.drawables.find(static_cast<GLuint>(bound));
        if (found != anchor.drawables.end()) {
            layer = found->second.lock();
        }
    }
    if (bound == 0 || !layer) {
        return false;
    }
    GLint width = 0;
    GLint height = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &height);
    if (width <= 0 || height <= 0) {
        return false;
    }
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    if (impl_->readFramebuffer == 0) {
        glGenFramebuffers(1, &impl_->readFramebuffer);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, impl_->readFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, static_cast<GLuint>(bound));
    bool done = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    std::vector<uint8_t> rgba;
    if (done) {
        rgba.resize(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    if (!done) {
        return false;
    }
    layer->presented(CGImage::create(static_cast<size_t>(width), static_cast<size_t>(height),
                                     EAGL_cpp::uprightPixels(rgba, width, height)));
    return true;
}
