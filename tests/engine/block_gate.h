#pragma once
// Holds the stand-in service's upload blocks beyond the first `open` until the test lets them through,
// so that a test can act while blocks are in flight. A held block is either not stored yet (the engine
// must keep its range) or stored with its answer held back (the engine cannot know it arrived).
#include "service/StandInService.h"
#include "service/UploadRoutes.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>

namespace enginetest {

class BlockGate {
public:
    enum class Hold { BeforeStoring, AnswerAfterStoring };

    BlockGate(standin::StandInService& service, size_t open, Hold hold) : open_(open)
    {
        service.server().route(standin::kUploadPath, [this, &service, hold](const standin::Request& request) {
            std::optional<standin::Response> answer;
            if (hold == Hold::AnswerAfterStoring) {
                answer = standin::handleUploadBlock(service.uploads(), request);
            }
            wait();
            return answer ? *answer : standin::handleUploadBlock(service.uploads(), request);
        });
    }
    // Whether `n` blocks are held before the deadline.
    bool waitForHeld(size_t n)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(30), [&] { return held_ >= n; });
    }
    void release()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void wait()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        if (++count_ > open_ && !released_) {
            ++held_;
            changed_.notify_all();
            changed_.wait_for(hold, std::chrono::seconds(20), [this] { return released_; });
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    size_t open_;
    size_t count_ = 0;
    size_t held_ = 0;
    bool released_ = false;
};

}  // namespace enginetest
