#pragma once
// Transactions group layer changes: their animation duration and timing for implicit animations,
// whether implicit animations are off, and a completion block that runs once every animation added
// while the transaction was open has ended. Outside begin/commit the thread's implicit transaction
// applies; its settings last until the run loop's next turn, as on the phone.
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSTimer;

class CAMediaTimingFunction;

// Counts the animations of a group (a transaction, a view animation block) and calls `done` once
// the group is closed and all of them have ended, with finished = false if any was cut short (a cut
// also ends the group's wait for its notBefore time, so the others decide when it is done). The call
// is posted to the run loop (Clock::scheduleAfter), never made inside the change that ended the last
// animation.
class CAAnimationCompletionGroup : public std::enable_shared_from_this<CAAnimationCompletionGroup> {
public:
    explicit CAAnimationCompletionGroup(std::function<void(bool finished)> done = nullptr);
    void setDone(std::function<void(bool finished)> done) { done_ = std::move(done); }
    void animationAdded();
    void animationEnded(bool finished);
    // No more animations join; the group also waits until the clock reaches notBefore.
    void close(double notBefore);

private:
    void settle();

    std::function<void(bool)> done_;
    Ref<NSTimer> wait_;
    int pending_ = 0;
    bool closed_ = false;
    bool allFinished_ = true;
    bool called_ = false;
};

class CATransaction {
public:
    static void begin();
    static void commit();  // without an open transaction: nothing happens
    static void flush();

    static double animationDuration();  // 0.25 unless set
    static void setAnimationDuration(double duration);
    static Ref<CAMediaTimingFunction> animationTimingFunction();
    static void setAnimationTimingFunction(Ref<CAMediaTimingFunction> function);
    static bool disableActions();
    static void setDisableActions(bool disable);
    static std::function<void()> completionBlock();
    static void setCompletionBlock(std::function<void()> block);

    // The completion groups open on this thread (transactions and view animation blocks, innermost
    // last): an animation added to a layer joins every one of them.
    static std::vector<std::shared_ptr<CAAnimationCompletionGroup>> openCompletionGroups();
    static void pushCompletionGroup(std::shared_ptr<CAAnimationCompletionGroup> group);
    static void popCompletionGroup(const std::shared_ptr<CAAnimationCompletionGroup>& group);
};
