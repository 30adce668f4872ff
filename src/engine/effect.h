#pragma once
// Effect settings, the effect timeline file and the audio parser with its pitch shifter.
//
// Hooks filled by the effect work (effect.cpp); until then they do nothing. The frame-conversion
// buffer (filter_init_convert, filter_uninit) is complete already, in convert.cpp.

// Called with the samples the audio parser produces.
typedef void (*audio_buffer_callback)(const unsigned char* data, int length);

// Stores the audio parser's settings.
void audio_parser_init(int rate, int channels, audio_buffer_callback callback);
// Turns the pitch shifter off and releases it with its buffer.
void audio_parser_uninit();

// Effect settings; -1 keeps a value.
void filter_set_effect(int filter, int frame, int filter2, int pitch, int ambient);
// Closes an open effect file, stores the effect buffer size and clears the records.
void filter_initeffect(int width, int height);
