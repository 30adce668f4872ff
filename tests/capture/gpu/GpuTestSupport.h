#pragma once
// Small pieces the filter-chain tests share: a source of known pixels, a consumer that records what
// it is told, and readback of a filter's framebuffer. Pixels are RGBA bytes, row 0 first (the order
// in which they are uploaded and read back).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "../../support/GLTestEnvironment.h"

namespace gputest {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* at(int x, int y) const { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
    uint8_t* at(int x, int y) { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }

    static Picture filled(int width, int height, std::array<uint8_t, 4> colour)
    {
        Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
        for (size_t i = 0; i < p.rgba.size(); i += 4) {
            std::copy(colour.begin(), colour.end(), p.rgba.begin() + static_cast<long>(i));
        }
        return p;
    }
    // Every pixel different: red grows along x, green along y, blue marks the pixel's parity.
    static Picture asymmetric(int width, int height)
    {
        Picture p = filled(width, height, {0, 0, 0, 255});
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* px = p.at(x, y);
                px[0] = static_cast<uint8_t>(20 + 200 * x / std::max(1, width - 1));
                px[1] = static_cast<uint8_t>(30 + 190 * y / std::max(1, height - 1));
                px[2] = static_cast<uint8_t>((x + 2 * y) % 3 * 100);
            }
        }
        return p;
    }
};

// Each channel within `tolerance`; the message names the first pixel that differs.
inline ::testing::AssertionResult picturesMatch(const Picture& expected, const Picture& actual, int tolerance = 1)
{
    if (expected.width != actual.width || expected.height != actual.height) {
        return ::testing::AssertionFailure() << "size " << actual.width << " x " << actual.height << ", expected "
                                             << expected.width << " x " << expected.height;
    }
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const int e = expected.at(x, y)[c];
                const int a = actual.at(x, y)[c];
                if (std::abs(e - a) > tolerance) {
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                                         << a << ", expected " << e;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A source of one fixed picture: processFrame uploads it and hands it to the targets.
class PictureSource : public GPUOutput {
public:
    static Ref<PictureSource> withPicture(Picture picture)
    {
        auto source = std::make_shared<PictureSource>();
        source->initBody();
        source->picture_ = std::move(picture);
        return source;
    }
    void processFrame()
    {
        GPUOpenGLESContext::useImageProcessingContext();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, outputTexture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, picture_.width, picture_.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     picture_.rgba.data());
        inputTextureSize_ = CGSizeMake(picture_.width, picture_.height);
        const std::vector<Ref<GPUInput>> targets = targets_;
        for (const auto& target : targets) {
            target->setInputSize(inputTextureSize_);
            target->newFrameReady();
        }
    }

private:
    Picture picture_;
};

// Records every message it gets, as text, and answers a configurable maximum size.
class RecordingInput : public GPUInput {
public:
    std::vector<std::string> calls;
    CGSize maximum = CGSizeZero;
    GLint nextIndex = 0;

    void newFrameReady() override { calls.push_back("newFrameReady"); }
    void setInputTexture_atIndex(GLuint texture, GLint index) override
    {
        calls.push_back("texture " + std::string(texture ? "set" : "0") + " at " + std::to_string(index));
        lastTexture = texture;
    }
    GLint nextAvailableTextureIndex() override { return nextIndex; }
    void setInputSize(CGSize size) override
    {
        calls.push_back("size " + std::to_string(static_cast<int>(size.width)) + "x" +
                        std::to_string(static_cast<int>(size.height)));
    }
    CGSize maximumOutputSize() override { return maximum; }
    GLuint lastTexture = 0;
};

// The filter's framebuffer (its whole viewport) as RGBA bytes, row 0 first.
inline Picture readFramebuffer(GPUFilter& filter)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filter.setFilterFBO();
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Picture p{viewport[2], viewport[3], std::vector<uint8_t>(static_cast<size_t>(viewport[2]) * viewport[3] * 4)};
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, p.width, p.height, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

// Runs one frame of `input` through `filter` and reads its framebuffer.
inline Picture runThrough(const Ref<GPUFilter>& filter, const Picture& input)
{
    auto source = PictureSource::withPicture(input);
    source->addTarget(filter);
    source->processFrame();
    Picture out = readFramebuffer(*filter);
    source->removeTarget(filter);
    return out;
}

// One row of a table of filters and the single colour each should give.
struct FilterColourCase {
    const char* name;
    std::function<Ref<GPUFilter>()> make;
    std::array<uint8_t, 4> expected;
};

}  // namespace gputest
