#pragma once
// Pixel buffers and their pools. A pixel buffer is one picture in memory: 32-bit BGRA, rows packed
// (bytes per row = 4 x width), so a whole buffer can be handed to GL or a converter in one piece.
// Its bytes are reachable only between CVPixelBufferLockBaseAddress and CVPixelBufferUnlockBaseAddress
// (the base address is null otherwise), as on the phone where an unlocked buffer may move.
//
// A pool hands out buffers of one size and format and takes each back when its last reference is
// dropped, so a steady stream of frames allocates nothing after the first few. A pool may be given an
// allocation threshold: with that many buffers out, asking for another fails
// (kCVReturnWouldExceedAllocationThreshold) instead of allocating.
//
// Buffers and pools may be used from any thread; one buffer's bytes from one thread at a time.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/Value.h"

using OSType = uint32_t;
using CVReturn = int32_t;
using CVOptionFlags = uint64_t;

inline constexpr CVReturn kCVReturnSuccess = 0;
inline constexpr CVReturn kCVReturnError = -6660;
inline constexpr CVReturn kCVReturnInvalidArgument = -6661;
inline constexpr CVReturn kCVReturnAllocationFailed = -6662;
inline constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
inline constexpr CVReturn kCVReturnWouldExceedAllocationThreshold = -6689;

inline constexpr OSType kCVPixelFormatType_32BGRA = 0x42475241;  // 'BGRA'
inline constexpr CVOptionFlags kCVPixelBufferLock_ReadOnly = 1;

// Attribute keys (dictionary Values).
inline constexpr char kCVPixelBufferPixelFormatTypeKey[] = "PixelFormatType";
inline constexpr char kCVPixelBufferWidthKey[] = "Width";
inline constexpr char kCVPixelBufferHeightKey[] = "Height";

class CVPixelBuffer {
public:
    CVPixelBuffer(int width, int height, OSType format);

    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytesPerRow() const { return static_cast<size_t>(width_) * 4; }
    OSType pixelFormat() const { return format_; }
    bool isLocked() const { return locks_.load() > 0; }

    // The bytes whatever the lock (for the stand-in's own producers and tests).
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }

private:
    friend CVReturn CVPixelBufferLockBaseAddress(const std::shared_ptr<CVPixelBuffer>&, CVOptionFlags);
    friend CVReturn CVPixelBufferUnlockBaseAddress(const std::shared_ptr<CVPixelBuffer>&, CVOptionFlags);

    int width_;
    int height_;
    OSType format_;
    std::vector<uint8_t> bytes_;
    std::atomic<int> locks_{0};
};
using CVPixelBufferRef = std::shared_ptr<CVPixelBuffer>;
using CVImageBufferRef = CVPixelBufferRef;

// Only kCVPixelFormatType_32BGRA is made; sizes must be positive.
CVReturn CVPixelBufferCreate(const void* allocator, size_t width, size_t height, OSType format,
                             const Value& attributes, CVPixelBufferRef* out);
size_t CVPixelBufferGetWidth(const CVPixelBufferRef& buffer);
size_t CVPixelBufferGetHeight(const CVPixelBufferRef& buffer);
size_t CVPixelBufferGetBytesPerRow(const CVPixelBufferRef& buffer);
OSType CVPixelBufferGetPixelFormatType(const CVPixelBufferRef& buffer);
CVReturn CVPixelBufferLockBaseAddress(const CVPixelBufferRef& buffer, CVOptionFlags flags);
// kCVReturnError when the buffer was not locked.
CVReturn CVPixelBufferUnlockBaseAddress(const CVPixelBufferRef& buffer, CVOptionFlags flags);
// Null unless the buffer is locked.
void* CVPixelBufferGetBaseAddress(const CVPixelBufferRef& buffer);

class CVPixelBufferPool {
public:
    CVPixelBufferPool(int width, int height, OSType format);
    ~CVPixelBufferPool();

    int width() const { return width_; }
    int height() const { return height_; }
    // Buffers handed out and not yet given back.
    int buffersInUse() const;
    // Buffers ever allocated by the pool.
    int buffersAllocated() const;
    // With this many buffers in use, asking for another fails; 0 (the default) is no limit.
    void setAllocationThreshold(int count);

    CVReturn createPixelBuffer(CVPixelBufferRef* out);

private:
    struct Shared;
    int width_;
    int height_;
    OSType format_;
    std::shared_ptr<Shared> shared_;
};
using CVPixelBufferPoolRef = std::shared_ptr<CVPixelBufferPool>;

// The pixel-buffer attributes name the format, width and height (all required).
CVReturn CVPixelBufferPoolCreate(const void* allocator, const Value& poolAttributes, const Value& pixelBufferAttributes,
                                 CVPixelBufferPoolRef* out);
CVReturn CVPixelBufferPoolCreatePixelBuffer(const void* allocator, const CVPixelBufferPoolRef& pool,
                                            CVPixelBufferRef* out);
