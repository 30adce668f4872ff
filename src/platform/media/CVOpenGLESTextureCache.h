#pragma once
// The texture cache that turns camera pixel buffers into GL textures. The phone maps a buffer's memory
// into a texture without a copy; here each texture is a fresh GL texture filled from the buffer's bytes
// with glTexImage2D, which gives the chain the same texture name, size and contents.
//
// All calls are made on a thread where the cache's GL context is current (the chain's thread). A
// texture's GL name is deleted at the first flush after the last reference to it is dropped (or when
// the cache goes), so dropping a reference never touches GL from a thread without the context.
//
// The cache is part of the platform only where the device has it: `CVOpenGLESTextureCacheIsAvailable`
// answers, and tests switch it off to drive the upload path that does without.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/media/CVPixelBuffer.h"

using CVOpenGLESGLenum = uint32_t;
using CVOpenGLESGLint = int32_t;
using CVOpenGLESGLuint = uint32_t;

class CVOpenGLESTextureCache;

class CVOpenGLESTexture {
public:
    CVOpenGLESTexture(std::shared_ptr<CVOpenGLESTextureCache> cache, CVOpenGLESGLuint name, CVOpenGLESGLenum target,
                      CVImageBufferRef image);
    ~CVOpenGLESTexture();
    CVOpenGLESTexture(const CVOpenGLESTexture&) = delete;
    CVOpenGLESTexture& operator=(const CVOpenGLESTexture&) = delete;

    CVOpenGLESGLuint name() const { return name_; }
    CVOpenGLESGLenum target() const { return target_; }

private:
    std::weak_ptr<CVOpenGLESTextureCache> cache_;
    CVOpenGLESGLuint name_;
    CVOpenGLESGLenum target_;
    CVImageBufferRef image_;  // the buffer stays alive while its texture does, as on the phone
};
using CVOpenGLESTextureRef = std::shared_ptr<CVOpenGLESTexture>;

class CVOpenGLESTextureCache : public std::enable_shared_from_this<CVOpenGLESTextureCache> {
public:
    explicit CVOpenGLESTextureCache(Ref<NSObject> context);
    ~CVOpenGLESTextureCache();

    const Ref<NSObject>& context() const { return context_; }
    // Textures made and not yet deleted (live or waiting for a flush).
    int textureCount() const;

private:
    friend class CVOpenGLESTexture;
    friend void CVOpenGLESTextureCacheFlush(const std::shared_ptr<CVOpenGLESTextureCache>&, uint64_t);
    friend CVReturn CVOpenGLESTextureCacheCreateTextureFromImage(
        const void*, const std::shared_ptr<CVOpenGLESTextureCache>&, const CVImageBufferRef&, const Value&,
        CVOpenGLESGLenum, CVOpenGLESGLint, int32_t, int32_t, CVOpenGLESGLenum, CVOpenGLESGLenum, size_t,
        CVOpenGLESTextureRef*);
    void released(CVOpenGLESGLuint name);

    Ref<NSObject> context_;
    mutable std::mutex mutex_;
    std::vector<CVOpenGLESGLuint> released_;
    int live_ = 0;
};
using CVOpenGLESTextureCacheRef = std::shared_ptr<CVOpenGLESTextureCache>;

// Whether the platform offers the cache (true unless a test switched it off).
bool CVOpenGLESTextureCacheIsAvailable();
void CVOpenGLESTextureCacheSetAvailable(bool available);
// Test knob: the next `count` texture requests fail with kCVReturnError.
void CVOpenGLESTextureCacheFailNextTextures(int count);

// `eaglContext` is the EAGL context the textures belong to (kept, not used further). Fails with
// kCVReturnError when the cache is unavailable or the context is null.
CVReturn CVOpenGLESTextureCacheCreate(const void* allocator, const Value& cacheAttributes, const Ref<NSObject>& eaglContext,
                                      const Value& textureAttributes, CVOpenGLESTextureCacheRef* cacheOut);
// A texture of `target` (GL_TEXTURE_2D) holding the buffer's picture, left bound on the active texture
// unit. The buffer must be 32-bit BGRA of exactly width x height, plane 0, with `format` GL_BGRA_EXT and
// `type` GL_UNSIGNED_BYTE; kCVReturnInvalidArgument otherwise, kCVReturnError when GL makes no texture.
CVReturn CVOpenGLESTextureCacheCreateTextureFromImage(const void* allocator, const CVOpenGLESTextureCacheRef& cache,
                                                      const CVImageBufferRef& sourceImage, const Value& textureAttributes,
                                                      CVOpenGLESGLenum target, CVOpenGLESGLint internalFormat,
                                                      int32_t width, int32_t height, CVOpenGLESGLenum format,
                                                      CVOpenGLESGLenum type, size_t planeIndex,
                                                      CVOpenGLESTextureRef* textureOut);
CVOpenGLESGLuint CVOpenGLESTextureGetName(const CVOpenGLESTextureRef& texture);
CVOpenGLESGLenum CVOpenGLESTextureGetTarget(const CVOpenGLESTextureRef& texture);
// Deletes the GL names of textures no longer referenced (the context must be current).
void CVOpenGLESTextureCacheFlush(const CVOpenGLESTextureCacheRef& cache, uint64_t options);
