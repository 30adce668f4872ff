#pragma once
// VideoMainPage: the page of one video with its comments. For now it carries only the page type and
// the data it was opened with (the video's scid); the page itself is still to be built.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class VideoMainPage : public UIViewController {
public:
    static Ref<VideoMainPage> myinitWithType_data(int type, const Value& data)
    {
        auto controller = make<VideoMainPage>();
        controller->type_ = type;
        controller->data_ = data;
        return controller;
    }
    int type() const { return type_; }
    const Value& data() const { return data_; }

private:
    int type_ = 0;
    Value data_;
};
