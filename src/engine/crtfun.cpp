#include "engine/crtfun.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

namespace crtfun {

// ---- text and URL helpers -------------------------------------------------------------------------

std::string urlencode(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0f];
        }
    }
    return out;
}

std::string gethttpparam(const std::string& text, const std::string& key)
{
    size_t start = std::string::npos;
    size_t at = text.find("?" + key + "=");
    if (at != std::string::npos) {
        start = at + key.size() + 2;
    } else if ((at = text.find("&" + key + "=")) != std::string::npos) {
        start = at + key.size() + 2;
    } else if (text.compare(0, key.size() + 1, key + "=") == 0) {
        start = key.size() + 1;
    }
    if (start == std::string::npos) {
        return std::string();
    }
    size_t end = text.find('&', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

namespace {

// Position of the "." that starts the extension of the path's file name, or npos.
size_t _extension_dot(const std::string& path)
{
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string::npos;
    }
    return dot;
}

}  // namespace

std::string getfileext(const std::string& path)
{
    size_t dot = _extension_dot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string getfilename(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string replacefileext(const std::string& path, const std::string& ext)
{
    size_t dot = _extension_dot(path);
    std::string out = dot == std::string::npos ? path : path.substr(0, dot);
    if (!ext.empty()) {
        out += '.';
        out += ext;
    }
    return out;
}

std::string saveprinturl(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '%') {
            out += "\xef\xbc\x85";  // U+FF05 FULLWIDTH PERCENT SIGN
        } else {
            out += c;
        }
    }
    return out;
}

long bin_search(const void* data, size_t length, const void* pattern, size_t patternlength)
{
    if (patternlength > length) {
        return -1;
    }
    if (patternlength == 0) {
        return 0;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto* pat = static_cast<const unsigned char*>(pattern);
    for (size_t i = 0; i + patternlength <= length; ++i) {
        if (bytes[i] == pat[0] && std::memcmp(bytes + i, pat, patternlength) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

std::string getnicetimediff(long then, long now)
{
    const long s = now - then;
    char text[64];
    if (s <= 0) {
        return std::string();
    } else if (s < 60) {
        return "刚刚";
    } else if (s < 3600) {
        std::snprintf(text, sizeof text, "%ld分钟前", s / 60);
    } else if (s < 86400) {
        std::snprintf(text, sizeof text, "%ld小时前", s / 3600);
    } else if (s < 172800) {
        return "昨天";
    } else if (s < 259200) {
        return "前天";
    } else if (s < 2592000) {
        std::snprintf(text, sizeof text, "%ld天前", s / 86400);
    } else if (s < 31104000) {
        std::snprintf(text, sizeof text, "%ld月前", s / 2592000);
    } else if (s < 62208000) {
        return "去年";
    } else if (s < 93312000) {
        return "前年";
    } else {
        std::snprintf(text, sizeof text, "%ld年前", s / 31104000);
    }
    return text;
}

std::string getspeedtext(unsigned int bytespersecond)
{
    char text[32];
    if (bytespersecond <= 1000) {
        std::snprintf(text, sizeof text, "%uB/s", bytespersecond);
    } else if (bytespersecond <= 1000000) {
        std::snprintf(text, sizeof text, "%uKB/s", bytespersecond / 1000);
    } else {
        std::snprintf(text, sizeof text, "%uMB/s", bytespersecond / 1000000);
    }
    return text;
}

// ---- stringtoken ------------------------------------------------------------------------------------

stringtoken::stringtoken(const std::string& text, const std::string& separator)
{
    init(text, separator);
}

void stringtoken::init(const std::string& text, const std::string& separator)
{
    text_ = text;
    separator_ = separator;
}

std::string stringtoken::nexttoken()
{
    size_t at = separator_.empty() ? std::string::npos : text_.find(separator_);
    std::string token;
    if (at == std::string::npos) {
        token.swap(text_);
    } else {
        token = text_.substr(0, at);
        text_.erase(0, at + separator_.size());
    }
    return token;
}

bool stringtoken::ismore() const
{
    return !text_.empty();
}

// ---- speedcounting ----------------------------------------------------------------------------------

void speedcounting::adddata(unsigned int n)
{
    const long now = static_cast<long>(unix_time());
    if (now > lastclear_) {
        if (now - lastclear_ >= 10) {
            std::memset(buckets_, 0, sizeof buckets_);
        } else {
            for (long s = lastclear_ + 1; s <= now; ++s) {
                buckets_[s % 10] = 0;
            }
        }
        lastclear_ = now;
    }
    if (starttime_ == 0) {
        starttime_ = now - 1;
    }
    buckets_[now % 10] += n;
}

unsigned int speedcounting::getspeed()
{
    const long now = static_cast<long>(unix_time());
    if (now == speedtime_) {
        return speed_;
    }
    uint64_t sum = 0;
    for (unsigned int b : buckets_) {
        sum += b;
    }
    long seconds = now - starttime_;
    if (seconds > 10) {
        seconds = 10;
    }
    if (seconds < 1) {
        seconds = 1;
    }
    speed_ = static_cast<unsigned int>(sum / static_cast<uint64_t>(seconds));
    speedtime_ = now;
    return speed_;
}

// ---- clock ------------------------------------------------------------------------------------------

namespace {

std::atomic<time_t> g_fixedwallclock{0};

uint64_t _monotonic_us()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

}  // namespace

int parsetimescale(const char* text)
{
    if (text == nullptr || *text == '\0') {
        return 1;
    }
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 1000000) {
        return 1;
    }
    return static_cast<int>(value);
}

int time_scale()
{
    static const int scale = parsetimescale(std::getenv("OMBRI_ENGINE_TIME_SCALE"));
    return scale;
}

uint64_t get_ms_tick()
{
    static const uint64_t base = _monotonic_us();
    return 1000000u + (_monotonic_us() - base) * static_cast<uint64_t>(time_scale()) / 1000u;
}

void mssleep(unsigned int ms)
{
    const uint64_t ns = static_cast<uint64_t>(ms) * 1000000u / static_cast<uint64_t>(time_scale());
    struct timespec wait;
    wait.tv_sec = static_cast<time_t>(ns / 1000000000u);
    wait.tv_nsec = static_cast<long>(ns % 1000000000u);
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

struct timespec monotonic_deadline(unsigned int ms)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ns = static_cast<uint64_t>(ms) * 1000000u / static_cast<uint64_t>(time_scale()) +
                        static_cast<uint64_t>(ts.tv_nsec);
    ts.tv_sec += static_cast<time_t>(ns / 1000000000u);
    ts.tv_nsec = static_cast<long>(ns % 1000000000u);
    return ts;
}

time_t unix_time()
{
    time_t fixed = g_fixedwallclock.load();
    return fixed != 0 ? fixed : std::time(nullptr);
}

void setwallclock(time_t t)
{
    g_fixedwallclock.store(t);
}

struct tm localtime_of(time_t t)
{
    struct tm local;
    std::memset(&local, 0, sizeof local);
    localtime_r(&t, &local);
    return local;
}

// ---- threads ----------------------------------------------------------------------------------------

bool startdetachedthread(void* (*routine)(void*), void* arg)
{
    // Made once and never destroyed: detached threads may start while the process exits.
    static pthread_attr_t* attr = [] {
        auto* a = new pthread_attr_t;
        pthread_attr_init(a);
        pthread_attr_setdetachstate(a, PTHREAD_CREATE_DETACHED);
        return a;
    }();
    pthread_t thread;
    return pthread_create(&thread, attr, routine, arg) == 0;
}

}  // namespace crtfun
