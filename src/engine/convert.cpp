// The frame-conversion buffer that UtilityAdapter_Init allocates for the video size. Nothing else in
// the system reads it; it is kept so that the engine's start-up and shut-down stay whole.
#include "engine/global.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

// A size beyond any camera frame is refused rather than allocated.
constexpr uint64_t kConvertBufferLimit = 256u * 1024u * 1024u;

std::mutex& g_convertmtx = *new std::mutex;
unsigned char* g_convertbuffer = nullptr;
size_t g_convertsize = 0;
int g_convertmode = 0;

}  // namespace

void filter_init_convert(int width, int height, int mode)
{
    std::lock_guard<std::mutex> hold(g_convertmtx);
    std::free(g_convertbuffer);
    g_convertbuffer = nullptr;
    g_convertsize = 0;
    if (width > 0 && height > 0) {
        const uint64_t size = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u;
        if (size <= kConvertBufferLimit) {
            g_convertbuffer = static_cast<unsigned char*>(std::malloc(size));
            g_convertsize = g_convertbuffer != nullptr ? size : 0;
        }
    }
    if (mode != 0) {
        g_convertmode = mode;
    }
}

void filter_uninit()
{
    std::lock_guard<std::mutex> hold(g_convertmtx);
    std::free(g_convertbuffer);
    g_convertbuffer = nullptr;
    g_convertsize = 0;
}

size_t filter_convertbuffersize()
{
    std::lock_guard<std::mutex> hold(g_convertmtx);
    return g_convertsize;
}

int filter_convertmode()
{
    std::lock_guard<std::mutex> hold(g_convertmtx);
    return g_convertmode;
}
