#include "widgets/SoundEffect.h"

#include "platform/foundation/NSURL.h"

Ref<SoundEffect> SoundEffect::soundEffectWithContentsOfFile(const std::string& path)
{
    if (path.empty())
        return nullptr;
    return initWithContentsOfFile(path);
}

Ref<SoundEffect> SoundEffect::initWithContentsOfFile(const std::string& path)
{
    auto self = std::make_shared<SoundEffect>();
    if (!self->initWithContentsOfFileBody(path))
        return nullptr;
    return self;
}

bool SoundEffect::initWithContentsOfFileBody(const std::string& path)
{
    if (path.empty())
        return false;
    const Ref<NSURL> url = NSURL::fileURLWithPath_isDirectory(path, false);
    if (!url)
        return false;
    SystemSoundID soundID = 0;
    if (AudioServicesCreateSystemSoundID(url, &soundID) != kAudioServicesNoError)
        return false;
    soundID_ = soundID;
    return true;
}

void SoundEffect::play()
{
    AudioServicesPlaySystemSound(soundID_);
}

SoundEffect::~SoundEffect()
{
    if (soundID_ != 0)
        AudioServicesDisposeSystemSoundID(soundID_);
}
