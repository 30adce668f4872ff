// Movies the player must refuse rather than obey: a stream whose picture would take gigabytes, and
// locations that name something other than a file or an HTTP(S) resource. Refusing means failing the
// playback, and closing it afterwards promptly, on the main thread.

#include "platform/media/MoviePlayback.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>

#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/MainThread.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {
namespace MovieRefusalTest_cpp {

using namespace std::chrono_literals;

// A QuickTime file whose one video stream declares width x height pixels and holds a single sample
// that is no picture: the declared size alone is what a hostile record would serve.
bool writeDeclaredMovie(const std::string& path, int width, int height)
{
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "mov", path.c_str()) < 0) {
        return false;
    }
    AVStream* stream = avformat_new_stream(format, nullptr);
    bool ok = stream != nullptr;
    if (ok) {
        stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
        stream->codecpar->width = width;
        stream->codecpar->height = height;
        stream->time_base = {1, 1000};
        ok = avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(format, nullptr) >= 0;
        AVPacket* packet = av_packet_alloc();
        ok = ok && packet && av_new_packet(packet, 64) >= 0;
        if (ok) {
            packet->stream_index = stream->index;
            packet->pts = packet->dts = 0;
            packet->duration = 40;
            packet->flags |= AV_PKT_FLAG_KEY;
            ok = av_write_frame(format, packet) >= 0 && av_write_trailer(format) >= 0;
        }
        av_packet_free(&packet);
    }
    if (format->pb) {
        avio_closep(&format->pb);
    }
    avformat_free_context(format);
    return ok;
}

struct Outcome {
    bool ready = false;
    bool failed = false;
    std::string reason;
    CGSize size = {0, 0};
};

MoviePlaybackListener recordInto(Outcome& outcome)
{
    MoviePlaybackListener listener;
    listener.ready = [&outcome](double, CGSize size) {
        outcome.ready = true;
        outcome.size = size;
    };
    listener.failed = [&outcome](const std::string& reason) {
        outcome.failed = true;
        outcome.reason = reason;
    };
    return listener;
}

// Standard input replaced, for the test's length, by a pipe nobody writes to: a read of it never ends.
class SilentStandardInput {
public:
    SilentStandardInput()
    {
        saved_ = dup(0);
        if (pipe(ends_) == 0) {
            dup2(ends_[0], 0);
        }
    }
    ~SilentStandardInput()
    {
        dup2(saved_, 0);
        close(saved_);
        close(ends_[0]);
        close(ends_[1]);
    }

private:
    int saved_ = -1;
    int ends_[2] = {-1, -1};
};

TEST(MovieRefusalTest, StreamsLargerThanAPictureMayBeAreUnplayableAndSmallerOnesOpen)
{
    MainThreadScope main;
    TemporaryFolder folder("ombri-movie-refusal");
    struct Case {
        int width;
        int height;
        bool playable;
    };
    // 2^25 pixels is the most a picture may have; one row more is too many.
    const Case cases[] = {{16000, 16000, false}, {8192, 4097, false}, {8192, 4096, true}, {640, 480, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::string path = folder / ("declared-" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".mov");
        ASSERT_TRUE(writeDeclaredMovie(path, c.width, c.height));
        Outcome outcome;
        auto playback = MoviePlayback::open(path, recordInto(outcome));
        ASSERT_TRUE(pumpMainUntil([&] { return outcome.ready || outcome.failed; }, 30s));
        EXPECT_EQ(outcome.ready, c.playable) << outcome.reason;
        if (c.playable) {
            EXPECT_EQ(outcome.size.width, c.width);
        } else {
            EXPECT_NE(outcome.reason.find("unplayable"), std::string::npos) << outcome.reason;
        }
        playback->close();
    }
}

TEST(MovieRefusalTest, LocationsThatAreNeitherFilesNorHttpFailWithoutReadingStandardInput)
{
    MainThreadScope main;
    SilentStandardInput stdinThatNeverAnswers;
    // Each would make the demuxer read the process's standard input, or something else than a file.
    for (const std::string location : {"pipe:", "pipe:0", "file://pipe:0", "fd:0", "concat:pipe:0"}) {
        SCOPED_TRACE(location);
        Outcome outcome;
        auto playback = MoviePlayback::open(location, recordInto(outcome));
        // Refused at opening: the failure arrives, where a read of the silent pipe would never end.
        ASSERT_TRUE(pumpMainUntil([&] { return outcome.ready || outcome.failed; }, 30s));
        EXPECT_TRUE(outcome.failed);
        EXPECT_FALSE(outcome.ready);
        playback->close();
    }
}

}  // namespace MovieRefusalTest_cpp
}  // namespace
