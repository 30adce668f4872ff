#include "platform/foundation/NSData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

NSData::NSData(const void* bytes, size_t length)
{
    if (length > 0 && bytes != nullptr) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        bytes_.assign(p, p + length);
    }
}

std::optional<NSData> NSData::dataWithContentsOfFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return NSData(std::move(bytes));
}

NSData NSData::subdataWithRange(NSRange range) const
{
    const size_t start = std::min<size_t>(range.location, bytes_.size());
    const size_t length = std::min<size_t>(range.length, bytes_.size() - start);
    return NSData(bytes_.data() + start, length);
}

void NSData::appendBytes_length(const void* bytes, size_t length)
{
    if (length == 0 || bytes == nullptr) {
        return;
    }
    const auto* p = static_cast<const uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), p, p + length);
}

void NSData::replaceBytesInRange_withBytes_length(NSRange range, const void* bytes, size_t length)
{
    const size_t start = std::min<size_t>(range.location, bytes_.size());
    const size_t count = std::min<size_t>(range.length, bytes_.size() - start);
    const auto* p = static_cast<const uint8_t*>(bytes);
    std::vector<uint8_t> replacement;
    if (p != nullptr) {
        replacement.assign(p, p + length);
    }
    bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(start),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(start + count));
    bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(start), replacement.begin(), replacement.end());
}

void NSData::resetBytesInRange(NSRange range)
{
    const size_t start = std::min<size_t>(range.location, bytes_.size());
    const size_t count = std::min<size_t>(range.length, bytes_.size() - start);
    std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(start), count, uint8_t{0});
}

static bool writeAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool NSData::writeToFile_atomically(const std::string& path, bool atomically) const
{
    if (!atomically) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const bool ok = writeAll(fd, bytes_.data(), bytes_.size());
        return ::close(fd) == 0 && ok;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, bytes_.data(), bytes_.size()) && ::fsync(fd) == 0;
    ok = (::fchmod(fd, 0644) == 0) && ok;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) {
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

std::string NSData::description() const
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "<";
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i > 0 && i % 4 == 0) {
            out += ' ';
        }
        out += hex[bytes_[i] >> 4];
        out += hex[bytes_[i] & 0xF];
    }
    out += '>';
    return out;
}
