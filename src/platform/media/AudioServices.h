#pragma once
// System sounds: short sound files registered once and played by id. Creating a sound decodes the file
// (WAV, CAF, AIFF, MP3: whatever FFmpeg reads; a WAV file must also be well formed: a RIFF/WAVE
// container with a "fmt " and a "data" chunk) into the sound output's format, once; playing one mixes
// it into the output (AudioOutput.h) with whatever else plays, records the play - a process-wide count
// per sound id and an optional log hook - and returns at once. Any thread may play a sound.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/foundation/NSObject.h"

class NSURL;

using SystemSoundID = uint32_t;
using OSStatus = int32_t;

inline constexpr OSStatus kAudioServicesNoError = 0;
// The file could not be opened or read.
inline constexpr OSStatus kAudioServicesSystemSoundUnspecifiedError = -1500;
// The file is not a sound this system can play.
inline constexpr OSStatus kAudioServicesUnsupportedPropertyError = 0x7074793f;  // 'pty?'
// The id names no registered sound.
inline constexpr OSStatus kAudioServicesBadSpecifierSizeError = -50;

// Registers the sound file at the file URL; 0 and a fresh non-zero id when it decodes to sound,
// a non-zero status (and no id) otherwise.
OSStatus AudioServicesCreateSystemSoundID(const Ref<NSURL>& fileURL, SystemSoundID* outSystemSoundID);
// Records one play of the sound (unknown ids are ignored) and returns at once.
void AudioServicesPlaySystemSound(SystemSoundID soundID);
// Forgets the sound; 0, or an error status for an unknown id.
OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID soundID);

// --- For tests ---
// How many times the id has been played since it was created (disposed ids keep their count).
uint64_t AudioServicesPlayCount(SystemSoundID soundID);
// Whether the id names a sound that is registered now.
bool AudioServicesIsRegistered(SystemSoundID soundID);
// Called on the playing thread for each play, with the id and the file's path (nullptr: no hook).
using AudioServicesPlayHook = std::function<void(SystemSoundID soundID, const std::string& path)>;
void AudioServicesSetPlayHook(AudioServicesPlayHook hook);
