#pragma once
// Share: the dialog that shares a video with the user's followers and microblogs. For now it carries
// only the video it was opened for; the dialog itself is still to be built.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class Share : public UIViewController {
public:
    static Ref<Share> myinit(const Value& channel)
    {
        auto controller = make<Share>();
        controller->channel_ = channel;
        return controller;
    }
    const Value& channel() const { return channel_; }

private:
    Value channel_;
};
