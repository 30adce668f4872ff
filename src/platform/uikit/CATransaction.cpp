#include "platform/uikit/CATransaction.h"

#include <algorithm>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/CAAnimation.h"

CAAnimationCompletionGroup::CAAnimationCompletionGroup(std::function<void(bool)> done) : done_(std::move(done)) {}

void CAAnimationCompletionGroup::animationAdded() { ++pending_; }

void CAAnimationCompletionGroup::animationEnded(bool finished)
{
    allFinished_ = allFinished_ && finished;
    if (pending_ > 0) {
        --pending_;
    }
    if (!finished && wait_) {
        wait_->invalidate();
        wait_.reset();
        if (pending_ > 0) {
            --pending_;
        }
    }
    settle();
}

void CAAnimationCompletionGroup::close(double notBefore)
{
    if (closed_) {
        return;
    }
    closed_ = true;
    ++pending_;  // the wait for notBefore; the timer keeps the group alive until it fires
    wait_ = Clock::scheduleAt(notBefore, [self = shared_from_this()] {
        if (self->wait_) {
            self->wait_.reset();
            self->animationEnded(true);
        }
    });
}

void CAAnimationCompletionGroup::settle()
{
    if (!closed_ || pending_ > 0 || called_) {
        return;
    }
    called_ = true;
    if (done_) {
        Clock::scheduleAfter(0, [done = std::move(done_), finished = allFinished_] { done(finished); });
    }
}

namespace {

struct Frame {
    double duration = 0.25;
    Ref<CAMediaTimingFunction> timing;
    bool disableActions = false;
    std::function<void()> completion;
    std::shared_ptr<CAAnimationCompletionGroup> group;
};

struct Transactions {
    Frame implicit;
    bool implicitResetPending = false;
    std::vector<Frame> explicitFrames;
    std::vector<std::shared_ptr<CAAnimationCompletionGroup>> groups;  // of explicit frames and view blocks
};

thread_local Transactions state;

// The frame settings apply to: the innermost explicit transaction, else the implicit one, whose
// settings are dropped on the run loop's next turn.
Frame& current()
{
    if (!state.explicitFrames.empty()) {
        return state.explicitFrames.back();
    }
    if (!state.implicitResetPending) {
        state.implicitResetPending = true;
        Clock::scheduleAfter(0, [] {
            state.implicit = Frame{};
            state.implicitResetPending = false;
        });
    }
    return state.implicit;
}

const Frame& reading()
{
    return state.explicitFrames.empty() ? state.implicit : state.explicitFrames.back();
}

}  // namespace

void CATransaction::begin()
{
    Frame frame;
    // A nested transaction starts from the settings around it.
    const Frame& outer = reading();
    frame.duration = outer.duration;
    frame.timing = outer.timing;
    frame.disableActions = outer.disableActions;
    frame.group = std::make_shared<CAAnimationCompletionGroup>(nullptr);
    state.explicitFrames.push_back(std::move(frame));
    state.groups.push_back(state.explicitFrames.back().group);
}

void CATransaction::commit()
{
    if (state.explicitFrames.empty()) {
        return;
    }
    Frame frame = std::move(state.explicitFrames.back());
    state.explicitFrames.pop_back();
    popCompletionGroup(frame.group);
    if (frame.completion) {
        frame.group->setDone([completion = std::move(frame.completion)](bool) { completion(); });
    }
    frame.group->close(Clock::now());
}

void CATransaction::flush() {}

double CATransaction::animationDuration() { return reading().duration; }

void CATransaction::setAnimationDuration(double duration) { current().duration = duration; }

Ref<CAMediaTimingFunction> CATransaction::animationTimingFunction() { return reading().timing; }

void CATransaction::setAnimationTimingFunction(Ref<CAMediaTimingFunction> function)
{
    current().timing = std::move(function);
}

bool CATransaction::disableActions() { return reading().disableActions; }

void CATransaction::setDisableActions(bool disable) { current().disableActions = disable; }

std::function<void()> CATransaction::completionBlock() { return reading().completion; }

void CATransaction::setCompletionBlock(std::function<void()> block)
{
    // The implicit transaction has no group: its block runs on the next turn, as nothing waits.
    if (state.explicitFrames.empty()) {
        if (block) {
            Clock::scheduleAfter(0, std::move(block));
        }
        return;
    }
    current().completion = std::move(block);
}

std::vector<std::shared_ptr<CAAnimationCompletionGroup>> CATransaction::openCompletionGroups()
{
    return state.groups;
}

void CATransaction::pushCompletionGroup(std::shared_ptr<CAAnimationCompletionGroup> group)
{
    state.groups.push_back(std::move(group));
}

void CATransaction::popCompletionGroup(const std::shared_ptr<CAAnimationCompletionGroup>& group)
{
    auto it = std::find(state.groups.rbegin(), state.groups.rend(), group);
    if (it != state.groups.rend()) {
        state.groups.erase(std::next(it).base());
    }
}
