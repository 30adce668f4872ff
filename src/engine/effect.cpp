// Effect timeline file and audio pitch.
//
// To be filled by the effect work; until then every hook does nothing.
#include "engine/effect.h"

void audio_parser_init(int rate, int channels, audio_buffer_callback callback)
{
    (void)rate;
    (void)channels;
    (void)callback;
}

void audio_parser_uninit() {}

void filter_set_effect(int filter, int frame, int filter2, int pitch, int ambient)
{
    (void)filter;
    (void)frame;
    (void)filter2;
    (void)pitch;
    (void)ambient;
}

void filter_initeffect(int width, int height)
{
    (void)width;
    (void)height;
}
