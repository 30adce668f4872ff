#include "platform/foundation/NSCondition.h"

#include <algorithm>
#include <chrono>

#include "platform/foundation/Clock.h"

void NSCondition::wait()
{
    std::unique_lock lock(mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();
}

bool NSCondition::waitUntilDate(double date)
{
    std::unique_lock lock(mutex_, std::adopt_lock);
    struct Keep {
        std::unique_lock<std::mutex>& lock;
        ~Keep() { lock.release(); }  // the caller keeps the lock it came with
    } keep{lock};
    for (;;) {
        const double now = Clock::now();
        if (now >= date) {
            return false;
        }
        // Under a manual clock the wait is sliced so that an advance past the date is noticed.
        const double slice = Clock::isManual() ? 0.005 : std::min(date - now, 3600.0);
        if (cv_.wait_for(lock, std::chrono::duration<double>(slice)) == std::cv_status::no_timeout) {
            return true;
        }
    }
}
