// Remux speed: a finished 60-second movie of the camera's kind (H.264 480x360 at 30 frames per second,
// AAC LC mono 44100 Hz, media data first) turned into a live FLV by the engine's remux running over
// the complete file, against `ffmpeg -c copy -f flv` of the same movie, in the same run. The remux
// writes the job file and cuts it into 64 KiB blocks as during a recording (without a database the
// block ranges are only logged, and the log is off).
//
// Run from build-release/bin: ./bench_remux. The ratio is ffmpeg's time over the remux's.
#include "engine/global.h"
#include "engine/transformat.h"

#include "fixtures/GrowingMovie.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern char** environ;

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

void BM_FfmpegCopy(benchmark::State& state)
{
    prepareMovie();
    const std::string out = g_dir + "/ffmpeg.flv";
    for (auto _ : state) {
        const char* argv[] = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", g_movie.c_str(),
                              "-c", "copy", "-f", "flv", out.c_str(), nullptr};
        pid_t pid = -1;
        if (::posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            state.SkipWithError("ffmpeg not started");
            break;
        }
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_moviesize));
}

// Wall-clock time for both: ffmpeg's work is done in its own process.
BENCHMARK(BM_EngineRemux)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_FfmpegCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

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
