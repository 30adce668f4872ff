// Recording filters: frames of 640 x 480 from the synthetic camera uploaded (BGRA), turned upright by
// the rotation filter, put through one recording filter and read back by the raw-pixel reader
// (480 x 640 RGBA), as the recording screen's chain does for every frame; frames per second on the
// software GL renderer. Beside it, in the same run, the same 3x3 Sobel convolution (luminance,
// gradient, magnitude, mixed by intensity) computed on the CPU with a plain loop over one 480 x 640
// frame. The recording screen needs 30 frames a second.
//
// Run from build-release/bin: ./bench_filters. The "fps" counter is frames per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "capture/gpu/GPURawData.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"
#include "platform/media/SyntheticMedia.h"

namespace {
namespace bench_filters_cpp {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 8;

uint8_t clampByte(double v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
}

// Camera frames as the capture session hands them over: BGRA, tightly packed rows.
const std::vector<std::vector<uint8_t>>& cameraFrames()
{
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> out;
        SyntheticCamera camera(kWidth, kHeight);
        for (int i = 0; i < kFrames; ++i) {
            const MovieVideoFrame& f = camera.frameAt(i * 7);
            std::vector<uint8_t> bgra(static_cast<size_t>(kWidth) * kHeight * 4);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const double Y = f.planes[0][y * f.strides[0] + x];
                    const double U = f.planes[1][(y / 2) * f.strides[1] + x / 2] - 128.0;
                    const double V = f.planes[2][(y / 2) * f.strides[2] + x / 2] - 128.0;
                    uint8_t* px = bgra.data() + (static_cast<size_t>(y) * kWidth + x) * 4;
                    px[0] = clampByte(Y + 1.772 * U);
                    px[1] = clampByte(Y - 0.344 * U - 0.714 * V);
                    px[2] = clampByte(Y + 1.402 * V);
                    px[3] = 255;
                }
            }
            out.push_back(std::move(bgra));
        }
        return out;
    }();
    return frames;
}

// The camera's end of the chain: uploads a BGRA frame into its texture and hands it on.
class CameraFrames : public GPUOutput {
public:
    static Ref<CameraFrames> create()
    {
        auto source = std::make_shared<CameraFrames>();
        source->initBody();
        return source;
    }
    void deliver(const std::vector<uint8_t>& bgra)
    {
        GPUOpenGLESContext::useImageProcessingContext();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, outputTexture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE, bgra.data());
        inputTextureSize_ = CGSizeMake(kWidth, kHeight);
        for (const Ref<GPUInput>& target : targets_) {
            target->setInputSize(inputTextureSize_);
            target->newFrameReady();
        }
    }
};

void runChain(benchmark::State& state, const std::function<Ref<GPUFilter>()>& makeFilter)
{
    const auto& frames = cameraFrames();
    auto camera = CameraFrames::create();
    auto rotation = GPURotationFilter::initWithRotation(1);
    auto reader = GPURawData::initWithImageSize(CGSizeMake(kHeight, kWidth));
    camera->addTarget(rotation);
    Ref<GPUFilter> filter = makeFilter ? makeFilter() : nullptr;
    if (filter) {
        rotation->addTarget(filter);
        filter->addTarget(reader);
    } else {
        rotation->addTarget(reader);
    }
    uint64_t checksum = 0;
    size_t index = 0;
    for (auto _ : state) {
        camera->deliver(frames[index++ % frames.size()]);
        const uint8_t* bytes = reader->rawBytesForImage();
        checksum += bytes[(index * 977) % (kWidth * kHeight * 4)];
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    camera->removeAllTargets();
    rotation->removeAllTargets();
    if (filter) {
        filter->removeAllTargets();
    }
}

// The edge filter's computation on the CPU: 3x3 luminance gradient of an upright 480 x 640 RGBA frame,
// clamped at the borders, mixed by intensity into the output.
void sobelOnCpu(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int width, int height, float intensity)
{
    std::vector<float> luminance(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < luminance.size(); ++i) {
        luminance[i] = (0.2125f * in[4 * i] + 0.7154f * in[4 * i + 1] + 0.0721f * in[4 * i + 2]) / 255.0f;
    }
    const auto at = [&](int x, int y) {
        x = x < 0 ? 0 : x >= width ? width - 1 : x;
        y = y < 0 ? 0 : y >= height ? height - 1 : y;
        return luminance[static_cast<size_t>(y) * width + x];
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float tl = at(x - 1, y + 1), t = at(x, y + 1), tr = at(x + 1, y + 1);
            const float l = at(x - 1, y), r = at(x + 1, y);
            const float bl = at(x - 1, y - 1), b = at(x, y - 1), br = at(x + 1, y - 1);
            const float h = -tl - 2 * t - tr + bl + 2 * b + br;
            const float v = -bl - 2 * l - tl + br + 2 * r + tr;
            const float m = std::sqrt(h * h + v * v);
            const size_t i = (static_cast<size_t>(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c) {
                const float mixed = in[i + c] / 255.0f * (1 - intensity) + m * intensity;
                out[i + c] = clampByte(mixed * 255.0);
            }
            out[i + 3] = 255;
        }
    }
}

void BM_CpuSobel(benchmark::State& state)
{
    // The upright RGBA frame the GL chain's edge filter sees.
    const auto& frames = cameraFrames();
    std::vector<std::vector<uint8_t>> upright;
    for (const auto& bgra : frames) {
        std::vector<uint8_t> rgba(bgra.size());
        for (int y = 0; y < kWidth; ++y) {        // rows of the upright frame
            for (int x = 0; x < kHeight; ++x) {   // columns of the upright frame
                const uint8_t* from = bgra.data() + (static_cast<size_t>(kHeight - 1 - x) * kWidth + y) * 4;
                uint8_t* to = rgba.data() + (static_cast<size_t>(y) * kHeight + x) * 4;
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
                to[3] = from[3];
            }
        }
        upright.push_back(std::move(rgba));
    }
    std::vector<uint8_t> out(upright[0].size());
    size_t index = 0;
    for (auto _ : state) {
        sobelOnCpu(upright[index++ % upright.size()], out, kHeight, kWidth, 1.0f);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void registerAll()
{
    benchmark::RegisterBenchmark("GL/rotation+readback", [](benchmark::State& s) { runChain(s, nullptr); })
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    for (const char* name : {"originality", "blackWhite", "oldFilm", "antiColor", "radial", "pro", "edge", "earlyBird"}) {
        const std::string look = name;
        benchmark::RegisterBenchmark(("GL/rotation+" + look + "+readback").c_str(), [look](benchmark::State& s) {
            runChain(s, [look] { return GPUFilter::initWithFragmentShaderFromFile(look); });
        })->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::RegisterBenchmark("GL/rotation+sobel+readback", [](benchmark::State& s) {
        runChain(s, [] { return Ref<GPUFilter>(GPUSobelEdgeDetectionFilter::create()); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("GL/rotation+sketch+readback", [](benchmark::State& s) {
        runChain(s, [] { return Ref<GPUFilter>(GPUSketchFilter::create()); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("GL/rotation+toon+readback", [](benchmark::State& s) {
        runChain(s, [] { return Ref<GPUFilter>(GPUToonFilter::create()); });
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("CPU/sobel_plain_loop", BM_CpuSobel)->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace bench_filters_cpp
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    bench_filters_cpp::registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
