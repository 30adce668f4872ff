#include "platform/media/CVOpenGLESTextureCache.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <atomic>

namespace {
namespace CVOpenGLESTextureCache_cpp {

std::atomic<bool> g_available{true};
std::atomic<int> g_failures{0};

bool takeFailure()
{
    int left = g_failures.load();
    while (left > 0) {
        if (g_failures.compare_exchange_weak(left, left - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace CVOpenGLESTextureCache_cpp
}  // namespace

CVOpenGLESTexture::CVOpenGLESTexture(std::shared_ptr<CVOpenGLESTextureCache> cache, CVOpenGLESGLuint name,
                                     CVOpenGLESGLenum target, CVImageBufferRef image)
    : cache_(cache), name_(name), target_(target), image_(std::move(image))
{
}

CVOpenGLESTexture::~CVOpenGLESTexture()
{
    if (auto cache = cache_.lock()) {
        cache->released(name_);
    }
}

CVOpenGLESTextureCache::CVOpenGLESTextureCache(Ref<NSObject> context) : context_(std::move(context)) {}

CVOpenGLESTextureCache::~CVOpenGLESTextureCache()
{
    // Made on the chain's thread and dropped there: the names go with the cache.
    if (!released_.empty()) {
        glDeleteTextures(static_cast<GLsizei>(released_.size()), released_.data());
    }
}

int CVOpenGLESTextureCache::textureCount() const
{
    std::lock_guard lock(mutex_);
    return live_ + static_cast<int>(released_.size());
}

void CVOpenGLESTextureCache::released(CVOpenGLESGLuint name)
{
    std::lock_guard lock(mutex_);
    --live_;
    released_.push_back(name);
}

bool CVOpenGLESTextureCacheIsAvailable() { return CVOpenGLESTextureCache_cpp::g_available.load(); }

void CVOpenGLESTextureCacheSetAvailable(bool available) { CVOpenGLESTextureCache_cpp::g_available.store(available); }

void CVOpenGLESTextureCacheFailNextTextures(int count) { CVOpenGLESTextureCache_cpp::g_failures.store(count > 0 ? count : 0); }

CVReturn CVOpenGLESTextureCacheCreate(const void*, const Value&, const Ref<NSObject>& eaglContext, const Value&,
                                      CVOpenGLESTextureCacheRef* cacheOut)
{
    if (!cacheOut) {
        return kCVReturnInvalidArgument;
    }
    *cacheOut = nullptr;
    if (!CVOpenGLESTextureCacheIsAvailable() || !eaglContext) {
        return kCVReturnError;
    }
    *cacheOut = std::make_shared<CVOpenGLESTextureCache>(eaglContext);
    return kCVReturnSuccess;
}

CVReturn CVOpenGLESTextureCacheCreateTextureFromImage(const void*, const CVOpenGLESTextureCacheRef& cache,
                                                      const CVImageBufferRef& sourceImage, const Value&,
                                                      CVOpenGLESGLenum target, CVOpenGLESGLint internalFormat,
                                                      int32_t width, int32_t height, CVOpenGLESGLenum format,
                                                      CVOpenGLESGLenum type, size_t planeIndex,
                                                      CVOpenGLESTextureRef* textureOut)
{
    if (!textureOut) {
        return kCVReturnInvalidArgument;
    }
    *textureOut = nullptr;
    if (!cache || !sourceImage || target != GL_TEXTURE_2D || planeIndex != 0 || format != GL_BGRA_EXT ||
        type != GL_UNSIGNED_BYTE || (internalFormat != GL_RGBA && internalFormat != GL_BGRA_EXT) ||
        sourceImage->pixelFormat() != kCVPixelFormatType_32BGRA || width != sourceImage->width() ||
        height != sourceImage->height()) {
        return kCVReturnInvalidArgument;
    }
    if (CVOpenGLESTextureCache_cpp::takeFailure()) {
        return kCVReturnError;
    }
    while (glGetError() != GL_NO_ERROR) {
        // errors of earlier calls are not this texture's
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        return kCVReturnError;  // no current context
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE, sourceImage->data());
    if (glGetError() != GL_NO_ERROR) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &name);
        return kCVReturnError;
    }
    {
        std::lock_guard lock(cache->mutex_);
        ++cache->live_;
    }
    *textureOut = std::make_shared<CVOpenGLESTexture>(cache, name, target, sourceImage);
    return kCVReturnSuccess;
}

CVOpenGLESGLuint CVOpenGLESTextureGetName(const CVOpenGLESTextureRef& texture) { return texture ? texture->name() : 0; }

CVOpenGLESGLenum CVOpenGLESTextureGetTarget(const CVOpenGLESTextureRef& texture) { return texture ? texture->target() : 0; }

void CVOpenGLESTextureCacheFlush(const CVOpenGLESTextureCacheRef& cache, uint64_t)
{
    if (!cache) {
        return;
    }
    std::vector<CVOpenGLESGLuint> names;
    {
        std::lock_guard lock(cache->mutex_);
        names.swap(cache->released_);
    }
    if (!names.empty()) {
        glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
    }
}
