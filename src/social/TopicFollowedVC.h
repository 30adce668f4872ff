#pragma once
// TopicFollowedVC (stand-in until the topics screen lands).
#include "api/PZViewController.h"

class TopicFollowedVC : public PZViewController {
public:
    static Ref<TopicFollowedVC> myinit(int type)
    {
        auto topics = make<TopicFollowedVC>();
        topics->setTitle("关注的话题");
        return topics;
    }

    bool isRoot() const { return isRoot_; }
    void setIsRoot(bool isRoot) { isRoot_ = isRoot; }

    TopicFollowedVC() = default;

private:
    bool isRoot_ = false;
};
