#include "engine/printlog.h"

#include "engine/crtfun.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_printlogon{false};
std::atomic<UtilityAdapter_LogCallback> g_printlogcb{nullptr};

// The path is a text that every logging thread reads: it is copied out under its lock. Made once
// and never destroyed, because detached engine threads may log while the process exits.
std::mutex& g_logpathmtx = *new std::mutex;
std::string& g_logfile = *new std::string("/sdcard/ombri.log");

std::string _current_logfile()
{
    std::lock_guard<std::mutex> hold(g_logpathmtx);
    return g_logfile;
}

// Deletes the log file when it has grown beyond the limit.
void _apply_size_limit()
{
    std::string path = _current_logfile();
    struct stat st;
    if (!path.empty() && ::stat(path.c_str(), &st) == 0 && st.st_size > kPrintlogSizeLimit) {
        ::unlink(path.c_str());
    }
}

}  // namespace

void printlog(const char* format, ...)
{
    if (!g_printlogon.load()) {
        return;
    }
    char line[kPrintlogLineSize];
    const struct tm local = crtfun::localtime_of(crtfun::unix_time());
    int prefix = std::snprintf(line, sizeof line, "[%02d-%02d %02d:%02d:%02d]", local.tm_mon + 1, local.tm_mday,
                               local.tm_hour, local.tm_min, local.tm_sec);
    if (prefix < 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), format, args);
    va_end(args);
    size_t length = static_cast<size_t>(prefix);
    if (written > 0) {
        length += static_cast<size_t>(written);
        if (length > sizeof line - 1) {
            length = sizeof line - 1;
        }
    }

    if (UtilityAdapter_LogCallback callback = g_printlogcb.load()) {
        callback(line, line + prefix);
    }

    std::string path = _current_logfile();
    if (path.empty()) {
        return;
    }
    // One append of the whole line, so that lines of different threads never mix.
    line[length] = '\n';
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    ssize_t ignored = ::write(fd, line, length + 1);
    (void)ignored;
    ::close(fd);
}

void setlogfile(const char* path)
{
    {
        std::lock_guard<std::mutex> hold(g_logpathmtx);
        g_logfile = path != nullptr ? path : "";
    }
    _apply_size_limit();
}

void enableprintlog(bool on)
{
    g_printlogon.store(on);
    _apply_size_limit();
}

void setprintlogcb(UtilityAdapter_LogCallback callback)
{
    g_printlogcb.store(callback);
    _apply_size_limit();
}

std::string getlogfile()
{
    return _current_logfile();
}

bool isprintlogenabled()
{
    return g_printlogon.load();
}
