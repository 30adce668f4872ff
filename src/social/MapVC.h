#pragma once
// MapVC: the map of the place a video was recorded at. For now it carries only the video it was
// opened for; the map itself is still to be built.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class MapVC : public UIViewController {
public:
    static Ref<MapVC> myinitWithChannel(const Value& channel)
    {
        auto controller = make<MapVC>();
        controller->channel_ = channel;
        return controller;
    }
    const Value& channel() const { return channel_; }

private:
    Value channel_;
};
