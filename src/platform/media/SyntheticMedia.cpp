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

CameraTestPicture::Colour CameraTestPicture::barColour(int bar)
{
    static constexpr Colour kColours[kBars] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    return kColours[std::clamp(bar, 0, kBars - 1)];
}

CameraTestPicture::Dash CameraTestPicture::dash(int width, int height, int64_t frameNumber)
{
    const int barsBottom = height * 3 / 4;
    const int barWidth = std::max(1, width / kBars);
    Dash d;
    d.height = std::max(2, height / 40);
    d.left = barWidth / 10;
    d.width = std::max(1, barWidth / 5);
    const int travel = std::max(1, barsBottom - d.height);
    d.top = static_cast<int>((frameNumber * std::max(1, height / 60)) % travel);
    return d;
}

void CameraTestPicture::draw(uint8_t* bgra, int width, int height, size_t bytesPerRow, int64_t frameNumber)
{
    const Dash d = dash(width, height, frameNumber);
    const int barsBottom = height * 3 / 4;
    const int counterBottom = barsBottom + (height - barsBottom) / 2;
    const int blockWidth = std::max(8, width / 16);
    const int span = std::max(1, width - blockWidth);
    const int blockX = static_cast<int>((frameNumber * 8) % span);
    const auto put = [](uint8_t* px, Colour c) {
        px[0] = c.b;
        px[1] = c.g;
        px[2] = c.r;
        px[3] = 255;
    };
    for (int row = 0; row < height; ++row) {
        uint8_t* line = bgra + static_cast<size_t>(row) * bytesPerRow;
        for (int col = 0; col < width; ++col) {
            Colour c;
            if (row < barsBottom) {
                const int bar = col * kBars / width;
                c = barColour(bar);
                const int inBar = col - width * bar / kBars;
                if (row >= d.top && row < d.top + d.height && inBar >= d.left && inBar < d.left + d.width) {
                    c = {uint8_t(255 - c.r), uint8_t(255 - c.g), uint8_t(255 - c.b)};
                }
            } else if (row < counterBottom) {
                const int bit = kCounterBits - 1 - col * kCounterBits / width;
                c = (frameNumber >> bit) & 1 ? Colour{255, 255, 255} : Colour{0, 0, 0};
            } else {
                c = col >= blockX && col < blockX + blockWidth ? Colour{255, 255, 255} : kBandColour;
            }
            put(line + static_cast<size_t>(col) * 4, c);
        }
    }
}

int64_t CameraTestPicture::readFrameNumber(const uint8_t* pixels, int width, int height, size_t bytesPerRow)
{
    const int barsBottom = height * 3 / 4;
    const int row = barsBottom + (height - barsBottom) / 4;
    const int green = 1;  // the second component in both orders
    int64_t value = 0;
    for (int cell = 0; cell < kCounterBits; ++cell) {
        const int col = width * (2 * cell + 1) / (2 * kCounterBits);
        const int level = pixels[static_cast<size_t>(row) * bytesPerRow + static_cast<size_t>(col) * 4 + green];
        if (level > 192) {
            value = value * 2 + 1;
        } else if (level < 64) {
            value = value * 2;
        } else {
            return -1;
        }
    }
    return value;
}

void ToneGenerator::read(int16_t* samples, size_t count)
{
    constexpr double kPi = 3.14159265358979323846;
    for (size_t i = 0; i < count; ++i, ++position_) {
        const double t = static_cast<double>(position_) / sampleRate_;
        samples[i] = static_cast<int16_t>(std::lround(16383.0 * std::sin(2 * kPi * frequency_ * t)));
    }
}
