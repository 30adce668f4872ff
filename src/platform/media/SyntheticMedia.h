#pragma once
// The stand-in's camera and microphone: deterministic pictures and sound with enough detail and change
// that the encoders produce frames of every kind (key and predicted pictures; AAC frames with long and
// short windows, noise substitution and escape codes).

#include "platform/media/MovieFileWriter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Pictures of a moving pattern: a gradient that scrolls, a square that crosses the frame and a
// frame counter band, so that consecutive frames differ a little and every key frame differs a lot.
class SyntheticCamera {
public:
    SyntheticCamera(int width, int height);
    // The picture at `frameIndex`; valid until the next call.
    const MovieVideoFrame& frameAt(int64_t frameIndex);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    std::vector<uint8_t> planes_[3];
    MovieVideoFrame frame_;
};

// A tone that glides between 220 and 1760 Hz, with a noisy hiss under it and a sharp click every
// 0.37 s, mono, at the given rate. Successive reads continue the same sound.
class SyntheticMicrophone {
public:
    explicit SyntheticMicrophone(int sampleRate);
    void read(float* samples, size_t count);
    int64_t samplesRead() const { return position_; }

private:
    int sampleRate_;
    int64_t position_ = 0;
    double phase_ = 0;
    uint32_t noise_ = 0x12345678u;
};
