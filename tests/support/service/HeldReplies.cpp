#include "service/HeldReplies.h"

#include <condition_variable>
#include <mutex>

namespace standin {

struct HeldReplies::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t held = 0;
    bool released = false;
};

HeldReplies::HeldReplies(HttpServer& server, const std::string& path) : state_(std::make_shared<State>())
{
    // The wrapper keeps the state alive on its own: the route outlives this object.
    server.route(path, [state = state_, handler = server.handlerOf(path)](const Request& request) {
        {
            std::unique_lock lock(state->mutex);
            ++state->held;
            state->changed.notify_all();
            state->changed.wait_for(lock, std::chrono::minutes(1), [&] { return state->released; });
        }
        return handler ? handler(request) : Response::empty(404);
    });
}

HeldReplies::~HeldReplies() { release(); }

bool HeldReplies::waitUntilHeld(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->held >= count; });
}

std::size_t HeldReplies::held() const
{
    std::lock_guard lock(state_->mutex);
    return state_->held;
}

void HeldReplies::release()
{
    std::lock_guard lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
}

} // namespace standin
