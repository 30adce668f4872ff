#include "platform/media/SyntheticMedia.h"

#include <algorithm>
#include <cmath>

SyntheticCamera::SyntheticCamera(int width, int height) : width_(width), height_(height)
{
    planes_[0].resize(static_cast<size_t>(width) * height);
    planes_[1].resize(static_cast<size_t>(width / 2) * (height / 2));
    planes_[2].resize(planes_[1].size());
    for (int i = 0; i < 3; ++i) {
        frame_.planes[i] = planes_[i].data();
        frame_.strides[i] = i == 0 ? width : width / 2;
    }
}

const MovieVideoFrame& SyntheticCamera::frameAt(int64_t frameIndex)
{
    const int t = static_cast<int>(frameIndex % 100000);
    const int square = std::max(8, height_ / 6);
    const int squareX = (t * 7) % std::max(1, width_ - square);
    const int squareY = (t * 3) % std::max(1, height_ - square);
    uint8_t* y = planes_[0].data();
    for (int row = 0; row < height_; ++row) {
        for (int col = 0; col < width_; ++col) {
            int value = (col + row + t * 2) & 0xFF;
            if (col >= squareX && col < squareX + square && row >= squareY && row < squareY + square) {
                value = 255 - value / 4;
            }
            if (row < 8) {
                value = ((col / 8) & 1) == ((t >> ((col / 8) % 16)) & 1) ? 235 : 16;  // frame number bits
            }
            y[static_cast<size_t>(row) * width_ + col] = static_cast<uint8_t>(value);
        }
    }
    const int chromaWidth = width_ / 2;
    const int chromaHeight = height_ / 2;
    for (int row = 0; row < chromaHeight; ++row) {
        for (int col = 0; col < chromaWidth; ++col) {
            const size_t at = static_cast<size_t>(row) * chromaWidth + col;
            planes_[1][at] = static_cast<uint8_t>(128 + ((col * 2 + t) % 64) - 32);
            planes_[2][at] = static_cast<uint8_t>(128 + ((row * 2 + t * 3) % 64) - 32);
        }
    }
    return frame_;
}

SyntheticMicrophone::SyntheticMicrophone(int sampleRate) : sampleRate_(sampleRate) {}

void SyntheticMicrophone::read(float* samples, size_t count)
{
    constexpr double kPi = 3.14159265358979323846;
    const double rate = sampleRate_;
    const int64_t clickEvery = static_cast<int64_t>(rate * 0.37);
    const int64_t clickLength = static_cast<int64_t>(rate * 0.02);
    for (size_t i = 0; i < count; ++i, ++position_) {
        const double seconds = static_cast<double>(position_) / rate;
        // Glide over three octaves and back every 4 s.
        const double sweep = 0.5 - 0.5 * std::cos(2 * kPi * seconds / 4.0);
        const double frequency = 220.0 * std::pow(2.0, 3.0 * sweep);
        phase_ += 2 * kPi * frequency / rate;
        if (phase_ > 2 * kPi) {
            phase_ -= 2 * kPi;
        }
        noise_ = noise_ * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise_ >> 8) / 16777216.0 - 0.5) * 0.08;
        double value = 0.5 * std::sin(phase_) + hiss;
        const int64_t sinceClick = position_ % clickEvery;
        if (sinceClick < clickLength) {
            // A sharp attack with a fast decay, loud enough to need escape codes.
            const double decay = std::exp(-static_cast<double>(sinceClick) / (rate * 0.003));
            value += ((noise_ >> 16) & 1 ? 0.9 : -0.9) * decay;
        }
        samples[i] = static_cast<float>(std::clamp(value, -1.0, 1.0));
    }
}
