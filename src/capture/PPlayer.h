#pragma once
// PPlayer (stand-in until the inline player lands): stop() stops the one shared movie player; with
// nothing playing yet there is nothing to stop.
#include <string>

#include "platform/uikit/UIView.h"

class PPlayer : public UIView {
public:
    static void stop() {}
    // The one movie player the inline players share; none yet.
    static Ref<PPlayer> sharedMoviePlayer() { return nullptr; }

    // The review screen's player: a view of the frame, the clip and its cover kept for the real player.
    static Ref<PPlayer> initWithFrame_andType(CGRect frame, int type) { return makeWithFrame<PPlayer>(frame); }
    void setUrl(const std::string& path) {}
    void setCover(const std::string& path) {}

    PPlayer() = default;
};
