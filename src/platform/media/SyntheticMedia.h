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

// The synthetic camera's test picture, 32-bit BGRA: eight colour bars over the top three quarters
// (white, yellow, cyan, green, magenta, red, blue, black, left to right), and below them a band whose
// upper half carries the frame number as 16 cells (most significant bit left; white for 1, black for 0)
// and whose lower half shows a white block moving 8 pixels to the right every frame on dark grey.
// A short dash in the left part of each bar (in the bar's inverse colour) moves down the bars every
// frame, so the picture visibly moves wherever a screen shows part of the bars: the block and the
// low counter cells run along one edge, which a screen's bars may cover for a second at a time.
// Flat areas large enough to survive a video codec, so a decoded movie can be checked against them:
// the dashes keep clear of the bars' centres and the picture's corners.
class CameraTestPicture {
public:
    struct Colour {
        uint8_t r, g, b;
    };
    static constexpr int kBars = 8;
    static constexpr int kCounterBits = 16;
    static Colour barColour(int bar);
    static constexpr Colour kBandColour = {32, 32, 32};

    static void draw(uint8_t* bgra, int width, int height, size_t bytesPerRow, int64_t frameNumber);
    // The frame number read back from a picture of the same layout, 4 bytes a pixel in BGRA or RGBA
    // order (the cells are grey, so either will do); -1 when a cell is neither clearly white nor
    // clearly black.
    static int64_t readFrameNumber(const uint8_t* pixels, int width, int height, size_t bytesPerRow);
    // The centre of bar `bar` and the row at the middle of the bars.
    static int barCentreX(int width, int bar) { return width * (2 * bar + 1) / (2 * kBars); }
    static int barsCentreY(int height) { return height * 3 / 8; }
    // The dash's place in frame `frameNumber`: its top row and height, and its columns within each
    // bar (from the bar's left edge).
    struct Dash {
        int top, height, left, width;
    };
    static Dash dash(int width, int height, int64_t frameNumber);
};

// A steady tone for the synthetic microphone: a sine of `frequency` Hz at half of full scale,
// 16-bit mono samples. Successive reads continue the same wave.
class ToneGenerator {
public:
    ToneGenerator(int sampleRate, double frequency) : sampleRate_(sampleRate), frequency_(frequency) {}
    void read(int16_t* samples, size_t count);
    int64_t samplesRead() const { return position_; }
    double frequency() const { return frequency_; }

private:
    int sampleRate_;
    double frequency_;
    int64_t position_ = 0;
};
