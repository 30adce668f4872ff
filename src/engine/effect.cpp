// Effect timeline file and audio pitch.
#include "engine/effect.h"

#include "engine/printlog.h"

#include <soundtouch/SoundTouch.h>

#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// ---- audio -------------------------------------------------------------------------------------------------

struct _audioparser {
    int rate = 0;
    int channels = 0;
    int worklength = 0;
    audio_buffer_callback callback = nullptr;
    soundtouch::SoundTouch* shifter = nullptr;
    std::vector<unsigned char>* buffer = nullptr;
    int active = 0;
    int semitones = 0;
    int ambient = 0;
};

std::mutex& g_audiomtx = *new std::mutex;
_audioparser& g_audio = *new _audioparser;

constexpr int kPitchSemitones[] = {0, 4, -4, -8, 8};
constexpr int kPitchCount = static_cast<int>(sizeof kPitchSemitones / sizeof kPitchSemitones[0]);

// The shifter needs a real format; an unprepared parser counts as 44100 Hz mono.
constexpr int kDefaultRate = 44100;

// ---- effect file ---------------------------------------------------------------------------------------------

struct _effectfile {
    int filter = 0;
    int frame = 0;
    int filter2 = 0;
    int pitch = 0;
    int ambient = 0;
    int bufferwidth = 0;
    int bufferheight = 0;
    uint32_t setting = 0;
    int readmode = -1;
    FILE* file = nullptr;
    filter_effecttag curtag;
    filter_effecttag nexttag;
    bool endmark = false;
};

std::mutex& g_effectmtx = *new std::mutex;
_effectfile& g_effect = *new _effectfile;

void _closeeffectfile()
{
    if (g_effect.file != nullptr) {
        std::fclose(g_effect.file);
        g_effect.file = nullptr;
    }
    g_effect.readmode = -1;
}

uint32_t _bigendian(const unsigned char* bytes)
{
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

void _putbigendian(unsigned char* bytes, uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value >> 24);
    bytes[1] = static_cast<unsigned char>(value >> 16);
    bytes[2] = static_cast<unsigned char>(value >> 8);
    bytes[3] = static_cast<unsigned char>(value);
}

// The next whole record of the file; false at its end.
bool _readtag(FILE* file, filter_effecttag& tag)
{
    unsigned char record[8];
    if (std::fread(record, 1, sizeof record, file) != sizeof record) {
        return false;
    }
    tag.time = _bigendian(record);
    tag.setting = _bigendian(record + 4);
    return true;
}

}  // namespace

// ---- audio parser and pitch ------------------------------------------------------------------------------------

void audio_parser_init(int rate, int channels, audio_buffer_callback callback)
{
    int worklength;
    {
        std::lock_guard<std::mutex> hold(g_audiomtx);
        g_audio.rate = rate;
        g_audio.channels = channels;
        g_audio.worklength = worklength = channels == 2 ? 16384 : 8192;
        g_audio.callback = callback;
    }
    printlog("audio_parser_init:%dhz,%d channel,len:%d", rate, channels, worklength);
}

void audio_parser_uninit()
{
    std::lock_guard<std::mutex> hold(g_audiomtx);
    g_audio.active = 0;
    delete g_audio.buffer;
    g_audio.buffer = nullptr;
    delete g_audio.shifter;
    g_audio.shifter = nullptr;
}

void audio_set_pitch(int index)
{
    printlog("change pitch to:%d", index);
    if (index < 0 || index >= kPitchCount) {
        return;  // outside the table
    }
    std::lock_guard<std::mutex> hold(g_audiomtx);
    if (index == 0) {
        g_audio.active = 0;
    } else {
        if (g_audio.shifter == nullptr) {
            const int rate = g_audio.rate > 0 ? g_audio.rate : kDefaultRate;
            const int channels = g_audio.channels >= 1 && g_audio.channels <= 2 ? g_audio.channels : 1;
            auto* shifter = new soundtouch::SoundTouch;
            shifter->setSampleRate(static_cast<unsigned int>(rate));
            shifter->setChannels(static_cast<unsigned int>(channels));
            shifter->setSetting(SETTING_USE_QUICKSEEK, 0);
            shifter->setSetting(SETTING_USE_AA_FILTER, 1);
            g_audio.shifter = shifter;
        }
        g_audio.semitones = kPitchSemitones[index];
        g_audio.shifter->setPitchSemiTones(g_audio.semitones);
        if (g_audio.buffer == nullptr) {
            g_audio.buffer = new std::vector<unsigned char>(static_cast<size_t>(g_audio.worklength > 0 ? g_audio.worklength : 8192));
        }
        g_audio.active = index;
    }
    printlog("change pitch finish.");
}

void audio_set_ambient(int value)
{
    {
        std::lock_guard<std::mutex> hold(g_audiomtx);
        g_audio.ambient = value;
    }
    printlog("set ambient %d", value);
}

void audio_ambient_start()
{
    printlog("audio_ambient_start");
}

void audio_ambient_stop()
{
    printlog("audio_ambient_stop");
}

audio_pitchstate audio_getpitchstate()
{
    std::lock_guard<std::mutex> hold(g_audiomtx);
    audio_pitchstate state;
    state.rate = g_audio.rate;
    state.channels = g_audio.channels;
    state.worklength = g_audio.worklength;
    state.active = g_audio.active;
    state.shifter = g_audio.shifter != nullptr;
    state.buffer = g_audio.buffer != nullptr;
    state.semitones = g_audio.semitones;
    if (g_audio.shifter != nullptr) {
        state.quickseek = g_audio.shifter->getSetting(SETTING_USE_QUICKSEEK);
        state.antialias = g_audio.shifter->getSetting(SETTING_USE_AA_FILTER);
    }
    return state;
}

// ---- effect settings and file ------------------------------------------------------------------------------------

void filter_set_effect(int filter, int frame, int filter2, int pitch, int ambient)
{
    {
        std::lock_guard<std::mutex> hold(g_effectmtx);
        if (filter != -1) {
            g_effect.filter = filter;
        }
        if (frame != -1) {
            g_effect.frame = frame;
        }
        if (filter2 != -1) {
            g_effect.filter2 = filter2;
        }
        if (pitch != -1) {
            g_effect.pitch = pitch;
        }
        if (ambient != -1) {
            g_effect.ambient = ambient;
        }
    }
    if (pitch != -1) {
        audio_set_pitch(pitch);
    }
    if (ambient != -1) {
        audio_set_ambient(ambient);
    }
}

void filter_initeffect(int width, int height)
{
    std::lock_guard<std::mutex> hold(g_effectmtx);
    _closeeffectfile();
    g_effect.bufferwidth = width;
    g_effect.bufferheight = height;
    g_effect.curtag = filter_effecttag();
    g_effect.nexttag = filter_effecttag();
    g_effect.endmark = false;
    g_effect.setting = 0;
}

void filter_geteffectsetting(int& width, int& height)
{
    std::lock_guard<std::mutex> hold(g_effectmtx);
    width = g_effect.bufferwidth;
    height = g_effect.bufferheight;
}

void filter_starteffect(const char* path, int mode)
{
    printlog("filter_starteffect:file:%s,%d", path != nullptr ? path : "", mode);
    std::lock_guard<std::mutex> hold(g_effectmtx);
    _closeeffectfile();
    if (path == nullptr || *path == '\0') {
        return;
    }
    if (mode == 1) {
        g_effect.file = std::fopen(path, "rb");
        if (g_effect.file == nullptr) {
            return;
        }
        g_effect.readmode = 1;
        g_effect.curtag = filter_effecttag();
        g_effect.nexttag = filter_effecttag();
        const bool first = _readtag(g_effect.file, g_effect.curtag);
        const bool second = first && _readtag(g_effect.file, g_effect.nexttag);
        if (!first) {
            g_effect.curtag = filter_effecttag();
        }
        if (!second) {
            g_effect.nexttag = filter_effecttag();
        }
        g_effect.endmark = !second;
        printlog("etf setting curtag:%u,%x nexttag:%u,%x", g_effect.curtag.time, g_effect.curtag.setting,
                 g_effect.nexttag.time, g_effect.nexttag.setting);
    } else {
        g_effect.file = std::fopen(path, "wb");
        if (g_effect.file == nullptr) {
            return;
        }
        g_effect.readmode = 0;
        if (g_effect.setting != 0) {
            unsigned char record[8];
            _putbigendian(record, 0);
            _putbigendian(record + 4, g_effect.setting);
            std::fwrite(record, 1, sizeof record, g_effect.file);
            printlog("save effect setting %u,%x", 0u, g_effect.setting);
        }
    }
}

void filter_stopeffect()
{
    std::lock_guard<std::mutex> hold(g_effectmtx);
    _closeeffectfile();
}

filter_effectstate filter_geteffectstate()
{
    std::lock_guard<std::mutex> hold(g_effectmtx);
    filter_effectstate state;
    state.filter = g_effect.filter;
    state.frame = g_effect.frame;
    state.filter2 = g_effect.filter2;
    state.pitch = g_effect.pitch;
    state.ambient = g_effect.ambient;
    state.setting = g_effect.setting;
    state.readmode = g_effect.readmode;
    state.curtag = g_effect.curtag;
    state.nexttag = g_effect.nexttag;
    state.endmark = g_effect.endmark;
    return state;
}
