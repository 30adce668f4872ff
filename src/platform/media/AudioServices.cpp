#include "platform/media/AudioServices.h"

#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "platform/foundation/NSURL.h"

namespace {

struct SoundRegistry {
    std::mutex lock;
    SystemSoundID nextID = 4096;  // low ids belong to the system's own sounds
    std::map<SystemSoundID, std::string> sounds;
    std::map<SystemSoundID, uint64_t> plays;
    AudioServicesPlayHook hook;
};

// Lives for the whole process: sounds may be played from detached threads up to exit.
SoundRegistry& soundRegistry()
{
    static SoundRegistry* instance = new SoundRegistry;
    return *instance;
}

uint32_t readLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t readLE16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

// A WAV file this system can play: RIFF/WAVE with a well-formed "fmt " chunk (PCM or IEEE float, 1 or 2
// channels, a sample rate and sample size that make sense) and a "data" chunk that fits in the file.
OSStatus checkWaveFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return kAudioServicesSystemSoundUnspecifiedError;
    in.seekg(0, std::ios::end);
    const std::streamoff fileSize = in.tellg();
    in.seekg(0);
    if (fileSize < 12)
        return kAudioServicesUnsupportedPropertyError;
    unsigned char header[12];
    if (!in.read(reinterpret_cast<char*>(header), 12))
        return kAudioServicesSystemSoundUnspecifiedError;
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return kAudioServicesUnsupportedPropertyError;

    bool haveFormat = false;
    bool haveData = false;
    std::streamoff offset = 12;
    while (offset + 8 <= fileSize && !(haveFormat && haveData)) {
        unsigned char chunk[8];
        in.seekg(offset);
        if (!in.read(reinterpret_cast<char*>(chunk), 8))
            return kAudioServicesSystemSoundUnspecifiedError;
        const uint32_t size = readLE32(chunk + 4);
        const std::streamoff body = offset + 8;
        if (body + std::streamoff(size) > fileSize)
            return kAudioServicesUnsupportedPropertyError;  // a chunk running past the end
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16)
                return kAudioServicesUnsupportedPropertyError;
            unsigned char fmt[16];
            if (!in.read(reinterpret_cast<char*>(fmt), 16))
                return kAudioServicesSystemSoundUnspecifiedError;
            const uint16_t formatTag = readLE16(fmt);
            const uint16_t channels = readLE16(fmt + 2);
            const uint32_t sampleRate = readLE32(fmt + 4);
            const uint16_t blockAlign = readLE16(fmt + 12);
            const uint16_t bitsPerSample = readLE16(fmt + 14);
            const bool pcm = formatTag == 1 && (bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 ||
                                                bitsPerSample == 32);
            const bool floating = formatTag == 3 && (bitsPerSample == 32 || bitsPerSample == 64);
            const bool extensible = formatTag == 0xFFFE && bitsPerSample % 8 == 0 && bitsPerSample > 0;
            if (!(pcm || floating || extensible) || channels < 1 || channels > 8 || sampleRate < 1000 ||
                sampleRate > 384000 || blockAlign != channels * (bitsPerSample / 8))
                return kAudioServicesUnsupportedPropertyError;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return kAudioServicesUnsupportedPropertyError;  // samples before their format
            haveData = true;
        }
        offset = body + std::streamoff(size) + (size & 1);
    }
    return haveFormat && haveData ? kAudioServicesNoError : kAudioServicesUnsupportedPropertyError;
}

}  // namespace

OSStatus AudioServicesCreateSystemSoundID(const Ref<NSURL>& fileURL, SystemSoundID* outSystemSoundID)
{
    if (!fileURL || !fileURL->isFileURL() || !outSystemSoundID)
        return kAudioServicesSystemSoundUnspecifiedError;
    const std::string path = fileURL->path();
    const OSStatus status = checkWaveFile(path);
    if (status != kAudioServicesNoError)
        return status;
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const SystemSoundID id = r.nextID++;
    r.sounds[id] = path;
    r.plays[id] = 0;
    *outSystemSoundID = id;
    return kAudioServicesNoError;
}

void AudioServicesPlaySystemSound(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    AudioServicesPlayHook hook;
    std::string path;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        auto found = r.sounds.find(soundID);
        if (found == r.sounds.end())
            return;
        path = found->second;
        ++r.plays[soundID];
        hook = r.hook;
    }
    if (hook)
        hook(soundID, path);
}

OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.sounds.erase(soundID) ? kAudioServicesNoError : kAudioServicesBadSpecifierSizeError;
}

uint64_t AudioServicesPlayCount(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.plays.find(soundID);
    return found == r.plays.end() ? 0 : found->second;
}

bool AudioServicesIsRegistered(SystemSoundID soundID)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.sounds.count(soundID) != 0;
}

void AudioServicesSetPlayHook(AudioServicesPlayHook hook)
{
    auto& r = soundRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.hook = std::move(hook);
}
