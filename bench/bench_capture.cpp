// The recording path: the synthetic camera (640 x 480 BGRA, 15 frames a second) through the rotation
// filter and the toon filter into the movie writer (480 x 640: readback, BGRA to 4:2:0, H.264 Main 3.1
// at 786432 bit/s, AAC mono), for 10 s of video. The clock is a manual one stepped a frame at a time,
// so the run goes as fast as the path allows: "rtf" is seconds of video per second of wall time (the
// recording screen needs at least 1.0) and "dropped" the frames lost on the way (camera, pool or
// encoder). Beside it, in the same run, FFmpeg's libx264 encoding the same upright raw frames with the
// same settings, converted from BGRA by libswscale as the writer does.
//
// Run from build-release/bin: ./bench_capture.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"
#include "capture/gpu/GPUVideoCamera.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/SyntheticMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {
namespace bench_capture_cpp {

constexpr int kFrames = 150;  // 10 s at 15 frames a second
constexpr double kSeconds = 10.0;

std::string freshFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ombri-bench-capture-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

void BM_RecordingChain(benchmark::State& state)
{
    designateMainThread();
    const std::string folder = freshFolder();
    int run = 0;
    double dropped = 0;
    double wall = 0;
    for (auto _ : state) {
        ScopedManualClock clock;
        auto camera = GPUVideoCamera::create();
        auto rotation = GPURotationFilter::initWithRotation(1);
        auto toon = GPUToonFilter::create();
        auto writer = GPUMovieWriter::initWithMovieURL_size(
            NSURL::fileURLWithPath(folder + "/clip" + std::to_string(run++) + ".MOV"), CGSizeMake(480, 640));
        camera->addTarget(rotation);
        rotation->addTarget(toon);
        toon->addTarget(writer);
        camera->setMovieWriter(writer);
        camera->startCameraCapture();
        writer->startRecording();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFrames; ++i) {
            const double seen = CMTimeGetSeconds(writer->currentTime());
            clock.advance(1.0 / 15);
            pumpMainUntil([&] { return CMTimeGetSeconds(writer->currentTime()) > seen; });
        }
        writer->finishRecording();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        camera->stopCameraCapture();
        dropped += static_cast<double>(camera->videoOutput()->framesDropped()) + (kFrames - writer->framesAppended());
        toon->removeAllTargets();
        rotation->removeAllTargets();
        camera->removeAllTargets();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    state.counters["rtf"] = kSeconds * static_cast<double>(state.iterations()) / wall;
    state.counters["dropped"] = dropped / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RecordingChain)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The upright frames the writer receives, as BGRA.
const std::vector<std::vector<uint8_t>>& uprightFrames()
{
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> out;
        std::vector<uint8_t> landscape(640 * 480 * 4);
        for (int i = 0; i < kFrames; ++i) {
            CameraTestPicture::draw(landscape.data(), 640, 480, 640 * 4, i + 1);
            std::vector<uint8_t> upright(480 * 640 * 4);
            const auto* src = reinterpret_cast<const uint32_t*>(landscape.data());
            auto* dst = reinterpret_cast<uint32_t*>(upright.data());
            for (int y = 0; y < 640; ++y) {
                for (int x = 0; x < 480; ++x) {
                    dst[y * 480 + x] = src[(479 - x) * 640 + y];
                }
            }
            out.push_back(std::move(upright));
        }
        return out;
    }();
    return frames;
}

void BM_FfmpegEncodeSameFrames(benchmark::State& state)
{
    const auto& frames = uprightFrames();
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->width = 480;
        context->height = 640;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->time_base = AVRational{1, 90000};
        context->framerate = AVRational{15, 1};
        context->gop_size = 120;
        context->max_b_frames = 0;
        context->bit_rate = 786432;
        context->level = 31;
        context->thread_count = 1;
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_opt_set(context->priv_data, "preset", "veryfast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "profile", "main", 0);
        avcodec_open2(context, codec, nullptr);
        SwsContext* sws = sws_getContext(480, 640, AV_PIX_FMT_BGRA, 480, 640, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                         nullptr, nullptr, nullptr);
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = 480;
        frame->height = 640;
        av_frame_get_buffer(frame, 0);
        AVPacket* packet = av_packet_alloc();
        size_t bytes = 0;
        for (int i = 0; i <= kFrames; ++i) {
            if (i < kFrames) {
                av_frame_make_writable(frame);
                const uint8_t* source[1] = {frames[static_cast<size_t>(i)].data()};
                const int stride[1] = {480 * 4};
                sws_scale(sws, source, stride, 0, 640, frame->data, frame->linesize);
                frame->pts = static_cast<int64_t>(i) * 6000;
                avcodec_send_frame(context, frame);
            } else {
                avcodec_send_frame(context, nullptr);
            }
            while (avcodec_receive_packet(context, packet) == 0) {
                bytes += static_cast<size_t>(packet->size);
                av_packet_unref(packet);
            }
        }
        benchmark::DoNotOptimize(bytes);
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(sws);
        avcodec_free_context(&context);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["rtf"] = kSeconds * static_cast<double>(state.iterations()) / wall;
}
BENCHMARK(BM_FfmpegEncodeSameFrames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace bench_capture_cpp
}  // namespace

BENCHMARK_MAIN();
