#pragma once
// PPlayer (stand-in until the inline player lands): stop() stops the one shared movie player; with
// nothing playing yet there is nothing to stop.
#include "platform/uikit/UIView.h"

class PPlayer : public UIView {
public:
    static void stop() {}
    // The one movie player the inline players share; none yet.
    static Ref<PPlayer> sharedMoviePlayer() { return nullptr; }

    PPlayer() = default;
};
