#include "platform/foundation/NSLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

namespace {

struct Sinks {
    std::mutex mutex;
    std::map<int, std::shared_ptr<NSLogSink>> sinks;
    int next = 1;
};

// Never destroyed: threads may log during exit.
Sinks& sinks()
{
    static Sinks* s = new Sinks();
    return *s;
}

std::atomic<int> g_stderrDisabled{0};
std::atomic<bool> g_stderrEnabled{true};

std::string prefix()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d %s[%d:%ld] ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000),
                  program_invocation_short_name, static_cast<int>(::getpid()), static_cast<long>(::syscall(SYS_gettid)));
    return text;
}

}  // namespace

void NSLogMessage(const std::string& message)
{
    std::vector<std::shared_ptr<NSLogSink>> targets;
    {
        std::lock_guard lock(sinks().mutex);
        for (const auto& [token, sink] : sinks().sinks) {
            targets.push_back(sink);
        }
    }
    for (const auto& sink : targets) {
        (*sink)(message);
    }
    if (g_stderrEnabled.load() && g_stderrDisabled.load() == 0) {
        std::string line = prefix() + message;
        if (line.empty() || line.back() != '\n') {
            line += '\n';
        }
        // One write per line, so lines of different threads do not interleave.
        ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
        (void)ignored;
    }
}

int NSLogAddSink(NSLogSink sink)
{
    std::lock_guard lock(sinks().mutex);
    const int token = sinks().next++;
    sinks().sinks.emplace(token, std::make_shared<NSLogSink>(std::move(sink)));
    return token;
}

void NSLogRemoveSink(int token)
{
    std::shared_ptr<NSLogSink> removed;
    std::lock_guard lock(sinks().mutex);
    auto it = sinks().sinks.find(token);
    if (it != sinks().sinks.end()) {
        removed = std::move(it->second);
        sinks().sinks.erase(it);
    }
}

void NSLogSetStderrEnabled(bool enabled)
{
    g_stderrEnabled.store(enabled);
}

struct NSLogCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

NSLogCapture::NSLogCapture(bool quiet) : state_(std::make_shared<State>()), quiet_(quiet)
{
    auto state = state_;
    token_ = NSLogAddSink([state](const std::string& message) {
        std::lock_guard lock(state->mutex);
        state->lines.push_back(message);
    });
    if (quiet_) {
        g_stderrDisabled.fetch_add(1);
    }
}

NSLogCapture::~NSLogCapture()
{
    NSLogRemoveSink(token_);
    if (quiet_) {
        g_stderrDisabled.fetch_sub(1);
    }
}

std::vector<std::string> NSLogCapture::lines() const
{
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

bool NSLogCapture::contains(std::string_view text) const
{
    std::lock_guard lock(state_->mutex);
    for (const auto& line : state_->lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

size_t NSLogCapture::count(std::string_view text) const
{
    std::lock_guard lock(state_->mutex);
    size_t n = 0;
    for (const auto& line : state_->lines) {
        n += line == text ? 1 : 0;
    }
    return n;
}

void NSLogCapture::clear()
{
    std::lock_guard lock(state_->mutex);
    state_->lines.clear();
}
