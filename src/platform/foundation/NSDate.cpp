#include "platform/foundation/NSDate.h"

#include "platform/foundation/Clock.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

namespace {
struct NowState {
    std::mutex mutex;
    std::shared_ptr<const std::function<NSTimeInterval()>> function;  // null: the process clock
};
// Never destroyed: threads may read the time during exit.
NowState& nowState()
{
    static NowState* state = new NowState();
    return *state;
}
}  // namespace

NSTimeInterval NSDate::now()
{
    std::shared_ptr<const std::function<NSTimeInterval()>> fn;
    {
        std::lock_guard lock(nowState().mutex);
        fn = nowState().function;
    }
    if (fn) {
        return (*fn)();  // called outside the lock: the function may read dates itself
    }
    return Clock::wallNow();  // the process clock: a manual clock installed by a test moves dates too
}

std::function<NSTimeInterval()> NSDate::setNowFunction(std::function<NSTimeInterval()> fn)
{
    auto next = fn ? std::make_shared<const std::function<NSTimeInterval()>>(std::move(fn)) : nullptr;
    std::lock_guard lock(nowState().mutex);
    auto previous = std::move(nowState().function);
    nowState().function = std::move(next);
    return previous ? *previous : std::function<NSTimeInterval()>();
}

std::string NSDate::description() const
{
    const double whole = std::floor(seconds_);
    if (!std::isfinite(whole) || std::fabs(whole) > 1e15) {
        return "(invalid date)";
    }
    const std::time_t t = static_cast<std::time_t>(whole);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}
