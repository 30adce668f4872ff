#pragma once
// Effect settings, the effect timeline file and the audio parser with its pitch shifter.
//
// The effect timeline file ("etf") lies beside a recorded job's thumbnail: a sequence of 8-byte
// records, each two 32-bit big-endian numbers, the time in milliseconds from the start and the effect
// setting word in force from then on. The frame-conversion buffer (filter_init_convert,
// filter_uninit) is in convert.cpp.
#include <cstdint>

// Called with the samples the audio parser produces.
typedef void (*audio_buffer_callback)(const unsigned char* data, int length);

// ---- audio parser and pitch -----------------------------------------------------------------------------

// Stores the audio parser's settings (the work length is 8192 bytes for mono, 16384 for stereo).
void audio_parser_init(int rate, int channels, audio_buffer_callback callback);
// Turns the pitch shifter off and releases it with its buffer.
void audio_parser_uninit();
// Pitch index 1 +4, 2 -4, 3 -8, 4 +8 semitones; 0 turns the shifter off and keeps it. Indices outside
// the table change nothing.
void audio_set_pitch(int index);
// Stores the ambient sound setting; start and stop only log.
void audio_set_ambient(int value);
void audio_ambient_start();
void audio_ambient_stop();

// What the pitch shifter is set to.
struct audio_pitchstate {
    int rate = 0;          // the audio parser's settings
    int channels = 0;
    int worklength = 0;
    int active = 0;        // the active pitch index, 0 = off
    bool shifter = false;  // the shifter object exists
    bool buffer = false;   // its work buffer exists
    int semitones = 0;     // the pitch given to the shifter
    int quickseek = -1;    // the shifter's own settings (-1 without shifter)
    int antialias = -1;
};
audio_pitchstate audio_getpitchstate();

// ---- effect settings and file -----------------------------------------------------------------------------

// Effect settings; -1 keeps a value. A pitch index goes to audio_set_pitch, an ambient value to
// audio_set_ambient.
void filter_set_effect(int filter, int frame, int filter2, int pitch, int ambient);
// Closes an open effect file, stores the effect buffer size and clears the records and the setting
// word.
void filter_initeffect(int width, int height);
// The effect buffer size (also the size of the live video).
void filter_geteffectsetting(int& width, int& height);
// Opens an effect file: mode 1 reads its first two records, any other mode creates it for writing
// (with the record (0, setting word) when the word is not 0). An open file is closed first.
void filter_starteffect(const char* path, int mode);
// Closes the effect file.
void filter_stopeffect();

struct filter_effecttag {
    uint32_t time = 0;
    uint32_t setting = 0;
};
struct filter_effectstate {
    int filter = 0;
    int frame = 0;
    int filter2 = 0;
    int pitch = 0;
    int ambient = 0;
    uint32_t setting = 0;  // the current effect setting word
    int readmode = -1;     // -1 closed, 0 writing, 1 reading
    filter_effecttag curtag;
    filter_effecttag nexttag;
    bool endmark = false;  // the file holds no record after curtag
};
filter_effectstate filter_geteffectstate();
