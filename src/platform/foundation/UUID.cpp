#include "platform/foundation/UUID.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>

namespace {

std::mutex& generatorMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::function<std::string()>& generator()
{
    static auto* fn = new std::function<std::string()>;
    return *fn;
}

void randomBytes(unsigned char* out, size_t length)
{
    size_t filled = 0;
    while (filled < length) {
        ssize_t n = ::getrandom(out + filled, length - filled, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            // No kernel randomness (very old kernels): fall back to the library's engine.
            static thread_local std::mt19937_64 engine{std::random_device{}()};
            for (; filled < length; ++filled) {
                out[filled] = static_cast<unsigned char>(engine());
            }
            return;
        }
        filled += static_cast<size_t>(n);
    }
}

}  // namespace

std::string CFUUIDCreateString()
{
    std::function<std::string()> injected;
    {
        std::lock_guard lock(generatorMutex());
        injected = generator();
    }
    if (injected) {
        return injected();
    }
    unsigned char b[16];
    randomBytes(b, sizeof b);
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

namespace UUID {

std::string globallyUniqueString()
{
    static std::atomic<unsigned long long> counter{0};
    char tail[64];
    std::snprintf(tail, sizeof tail, "-%d-%016llX", static_cast<int>(::getpid()), ++counter);
    return CFUUIDCreateString() + tail;
}

std::optional<std::string> createUniqueFile(const std::string& directory, const std::string& prefix,
                                            const std::string& suffix)
{
    std::string base = directory;
    if (!base.empty() && base.back() != '/') {
        base += '/';
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = base + prefix + globallyUniqueString() + suffix;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void setGeneratorForTesting(std::function<std::string()> fn)
{
    std::lock_guard lock(generatorMutex());
    generator() = std::move(fn);
}

}  // namespace UUID
