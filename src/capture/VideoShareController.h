#pragma once
// The publish screen, reached from the review screen with the imported clip's job and the topic.
// For now it holds what it is given and shows a plain screen; the publishing itself lives elsewhere.
#include "api/PZViewController.h"
#include "platform/foundation/Value.h"

class VideoShareController : public PZViewController {
public:
    static Ref<VideoShareController> create() { return make<VideoShareController>(); }

    // The engine's job of the clip (a text, or nil).
    const Value& guid() const { return guid_; }
    void setGuid(const Value& guid) { guid_ = guid; }
    // The topic the clip is published under (a text, or nil).
    const Value& topic() const { return topic_; }
    void setTopic(const Value& topic) { topic_ = topic; }

    VideoShareController() = default;

private:
    Value guid_;
    Value topic_;
};
