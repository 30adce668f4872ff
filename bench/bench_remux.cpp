// Remux speed: a finished 60-second movie of the camera's kind (H.264 480x360 at 30 frames per second,
// AAC LC mono 44100 Hz, media data first) turned into a live FLV by the engine's remux running over
// the complete file, against libavformat remuxing the same movie to FLV in this process (read every
// packet, write it to the flv muxer: the copy loop of `ffmpeg -c copy -f flv` without a process start),
// in the same run. The remux writes the job file and cuts it into 64 KiB blocks as during a recording
// (without a database the block ranges are only logged, and the log is off).
//
// Run from build-release/bin: ./bench_remux. The ratio is libavformat's time over the remux's.
#include "engine/global.h"
#include "engine/transformat.h"

#include "fixtures/GrowingMovie.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string g_dir;
std::string g_movie;
uint64_t g_moviesize = 0;

void prepareMovie()
{
    if (!g_movie.empty()) {
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "ombri-bench-remux-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    g_dir = pattern;
    g_movie = g_dir + "/movie.MOV";
    GrowingMovie movie(g_movie, {.seconds = 60});
    if (!movie.startFreeRunning() || !movie.waitUntilFinished(std::chrono::minutes(10))) {
        std::fprintf(stderr, "movie not written: %s\n", movie.error().c_str());
        std::exit(1);
    }
    g_moviesize = std::filesystem::file_size(g_movie);
    // The codec header of this movie, as the engine keeps it after a recording.
    updatecheckheader(g_movie.c_str());
    if (transformat_getheader().empty()) {
        std::fprintf(stderr, "no codec header in the movie\n");
        std::exit(1);
    }
}

void BM_EngineRemux(benchmark::State& state)
{
    prepareMovie();
    const std::string out = g_dir + "/engine.flv";
    for (auto _ : state) {
        g_liveoutput.file = std::fopen(out.c_str(), "wb+");
        g_liveoutput.offset = 0;
        g_liveoutput.flvid = "0123456789abcdef0123456789abcdef";
        if (g_liveoutput.file == nullptr || !transformat_remuxfile(g_movie.c_str(), 480, 360)) {
            state.SkipWithError("remux failed");
            break;
        }
        transformat_finishblock();
        std::fclose(g_liveoutput.file);
        g_liveoutput.file = nullptr;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_moviesize));
    state.counters["tags"] = double(transformat_getprogress().videotags + transformat_getprogress().audiotags);
}

// One remux by libavformat: every stream copied as it is (codec tag left to the muxer), packets
// written in interleaved order, as the command-line copy does. False on any failure.
bool libavformatCopy(const std::string& in, const std::string& out)
{
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, in.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    AVFormatContext* output = nullptr;
    AVPacket* packet = av_packet_alloc();
    bool ok = avformat_find_stream_info(input, nullptr) >= 0 &&
              avformat_alloc_output_context2(&output, nullptr, "flv", out.c_str()) >= 0 && packet != nullptr;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = stream != nullptr && avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) >= 0;
        if (ok) {
            stream->codecpar->codec_tag = 0;
            stream->time_base = input->streams[i]->time_base;
        }
    }
    ok = ok && avio_open(&output->pb, out.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(output, nullptr) >= 0;
    while (ok && av_read_frame(input, packet) >= 0) {
        AVStream* from = input->streams[packet->stream_index];
        AVStream* to = output->streams[packet->stream_index];
        av_packet_rescale_ts(packet, from->time_base, to->time_base);
        packet->pos = -1;
        ok = av_interleaved_write_frame(output, packet) >= 0;
        av_packet_unref(packet);
    }
    ok = ok && av_write_trailer(output) >= 0;
    av_packet_free(&packet);
    if (output != nullptr) {
        if (output->pb != nullptr) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
    }
    avformat_close_input(&input);
    return ok;
}

void BM_LibavformatCopy(benchmark::State& state)
{
    prepareMovie();
    const std::string out = g_dir + "/libavformat.flv";
    av_log_set_level(AV_LOG_ERROR);
    for (auto _ : state) {
        if (!libavformatCopy(g_movie, out)) {
            state.SkipWithError("libavformat remux failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_moviesize));
}

// Wall-clock time for both, in the same process.
BENCHMARK(BM_EngineRemux)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_LibavformatCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_dir, ignored);
    }
    return 0;
}
