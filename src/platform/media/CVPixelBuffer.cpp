#include "platform/media/CVPixelBuffer.h"

CVPixelBuffer::CVPixelBuffer(int width, int height, OSType format)
    : width_(width), height_(height), format_(format), bytes_(static_cast<size_t>(width) * height * 4)
{
}

CVReturn CVPixelBufferCreate(const void*, size_t width, size_t height, OSType format, const Value&,
                             CVPixelBufferRef* out)
{
    if (!out) {
        return kCVReturnInvalidArgument;
    }
    *out = nullptr;
    if (format != kCVPixelFormatType_32BGRA) {
        return kCVReturnInvalidPixelFormat;
    }
    if (width == 0 || height == 0 || width > 16384 || height > 16384) {
        return kCVReturnInvalidArgument;
    }
    *out = std::make_shared<CVPixelBuffer>(static_cast<int>(width), static_cast<int>(height), format);
    return kCVReturnSuccess;
}

size_t CVPixelBufferGetWidth(const CVPixelBufferRef& buffer) { return buffer ? static_cast<size_t>(buffer->width()) : 0; }
size_t CVPixelBufferGetHeight(const CVPixelBufferRef& buffer) { return buffer ? static_cast<size_t>(buffer->height()) : 0; }
size_t CVPixelBufferGetBytesPerRow(const CVPixelBufferRef& buffer) { return buffer ? buffer->bytesPerRow() : 0; }
OSType CVPixelBufferGetPixelFormatType(const CVPixelBufferRef& buffer) { return buffer ? buffer->pixelFormat() : 0; }

CVReturn CVPixelBufferLockBaseAddress(const CVPixelBufferRef& buffer, CVOptionFlags)
{
    if (!buffer) {
        return kCVReturnInvalidArgument;
    }
    buffer->locks_.fetch_add(1);
    return kCVReturnSuccess;
}

CVReturn CVPixelBufferUnlockBaseAddress(const CVPixelBufferRef& buffer, CVOptionFlags)
{
    if (!buffer) {
        return kCVReturnInvalidArgument;
    }
    int locks = buffer->locks_.load();
    while (locks > 0 && !buffer->locks_.compare_exchange_weak(locks, locks - 1)) {
    }
    return locks > 0 ? kCVReturnSuccess : kCVReturnError;
}

void* CVPixelBufferGetBaseAddress(const CVPixelBufferRef& buffer)
{
    return buffer && buffer->isLocked() ? buffer->data() : nullptr;
}

// What the pool's buffers point back to: it outlives the pool while buffers are out, so a buffer
// dropped after its pool simply goes away.
struct CVPixelBufferPool::Shared {
    std::mutex mutex;
    std::vector<std::unique_ptr<CVPixelBuffer>> free;
    int inUse = 0;
    int allocated = 0;
    int threshold = 0;
    bool open = true;

    void giveBack(CVPixelBuffer* buffer)
    {
        std::unique_ptr<CVPixelBuffer> owned(buffer);
        std::lock_guard lock(mutex);
        --inUse;
        if (open) {
            free.push_back(std::move(owned));
        }
    }
};

CVPixelBufferPool::CVPixelBufferPool(int width, int height, OSType format)
    : width_(width), height_(height), format_(format), shared_(std::make_shared<Shared>())
{
}

CVPixelBufferPool::~CVPixelBufferPool()
{
    std::lock_guard lock(shared_->mutex);
    shared_->open = false;
    shared_->free.clear();
}

int CVPixelBufferPool::buffersInUse() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->inUse;
}

int CVPixelBufferPool::buffersAllocated() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->allocated;
}

void CVPixelBufferPool::setAllocationThreshold(int count)
{
    std::lock_guard lock(shared_->mutex);
    shared_->threshold = count > 0 ? count : 0;
}

CVReturn CVPixelBufferPool::createPixelBuffer(CVPixelBufferRef* out)
{
    if (!out) {
        return kCVReturnInvalidArgument;
    }
    *out = nullptr;
    std::unique_ptr<CVPixelBuffer> buffer;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->threshold > 0 && shared_->inUse >= shared_->threshold) {
            return kCVReturnWouldExceedAllocationThreshold;
        }
        if (!shared_->free.empty()) {
            buffer = std::move(shared_->free.back());
            shared_->free.pop_back();
        } else {
            ++shared_->allocated;
        }
        ++shared_->inUse;
    }
    if (!buffer) {
        buffer = std::make_unique<CVPixelBuffer>(width_, height_, format_);
    }
    std::weak_ptr<Shared> home = shared_;
    *out = CVPixelBufferRef(buffer.release(), [home](CVPixelBuffer* b) {
        if (auto shared = home.lock()) {
            shared->giveBack(b);
        } else {
            delete b;
        }
    });
    return kCVReturnSuccess;
}

CVReturn CVPixelBufferPoolCreate(const void*, const Value&, const Value& pixelBufferAttributes, CVPixelBufferPoolRef* out)
{
    if (!out) {
        return kCVReturnInvalidArgument;
    }
    *out = nullptr;
    const Value& a = pixelBufferAttributes;
    const auto format = static_cast<OSType>(a[kCVPixelBufferPixelFormatTypeKey].unsignedLongLongValue());
    const long long width = a[kCVPixelBufferWidthKey].longLongValue();
    const long long height = a[kCVPixelBufferHeightKey].longLongValue();
    if (format != kCVPixelFormatType_32BGRA) {
        return kCVReturnInvalidPixelFormat;
    }
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        return kCVReturnInvalidArgument;
    }
    *out = std::make_shared<CVPixelBufferPool>(static_cast<int>(width), static_cast<int>(height), format);
    return kCVReturnSuccess;
}

CVReturn CVPixelBufferPoolCreatePixelBuffer(const void*, const CVPixelBufferPoolRef& pool, CVPixelBufferRef* out)
{
    if (!pool) {
        if (out) {
            *out = nullptr;
        }
        return kCVReturnInvalidArgument;
    }
    return pool->createPixelBuffer(out);
}
