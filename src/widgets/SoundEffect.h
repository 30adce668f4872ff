#pragma once
// SoundEffect: one short sound file played as a system sound. Made on the main thread from a file path
// (nil for a missing path or a file that is no playable sound); play() may be called from any thread
// and returns at once. The sound is disposed of with the object.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/media/AudioServices.h"

class SoundEffect : public NSObject {
public:
    // nullptr for an empty path, else initWithContentsOfFile's answer.
    static Ref<SoundEffect> soundEffectWithContentsOfFile(const std::string& path);
    // nullptr when no file URL can be made of the path or no system sound from the file.
    static Ref<SoundEffect> initWithContentsOfFile(const std::string& path);

    void play();

    SystemSoundID soundID() const { return soundID_; }

    SoundEffect() = default;
    ~SoundEffect() override;

protected:
    // False when no sound could be made.
    bool initWithContentsOfFileBody(const std::string& path);

private:
    SystemSoundID soundID_ = 0;
};
