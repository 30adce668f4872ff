// What the sound output really plays, heard through SDL's disk driver (every mixed sample written to a
// file): system sounds and audio queues land in the file where and as they were played, converted to
// the output's rate and channels; pause and stop silence the output within one block; buffers come
// back only once played; without a device, or with one that fails mid-way, everything carries on.

#include "platform/media/AudioOutput.h"
#include "platform/media/AudioQueue.h"
#include "platform/media/AudioServices.h"
#include "platform/media/MovieFileWriter.h"
#include "platform/media/MoviePlayback.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSURL.h"
#include "service/HttpServer.h"
#include "service/StreamRoutes.h"

namespace {
namespace SoundOutputTest_cpp {

using namespace std::chrono_literals;

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kBlock = AudioOutput::kBlockFrames;

// A signal no shifted copy of itself resembles: a rising chirp under a slow swell.
double signal(double t) { return 0.6 * std::sin(2 * kPi * (300 * t + 900 * t * t)) * (0.5 + 0.5 * std::sin(2 * kPi * 3 * t)); }

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// 16-bit mono WAV of `seconds` of the signal at `rate`.
std::string writeWave(const std::string& path, int rate, double seconds)
{
    const auto frames = uint32_t(rate * seconds);
    std::string data;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(signal(double(i) / rate) * 32767));
        data.push_back(char(v & 0xff));
        data.push_back(char((v >> 8) & 0xff));
    }
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string fmt = le16(1) + le16(1) + le32(uint32_t(rate)) + le32(uint32_t(rate) * 2) + le16(2) + le16(16);
    std::string body = "WAVE" + std::string("fmt ") + le32(16) + fmt + "data" + le32(uint32_t(data.size())) + data;
    std::ofstream(path, std::ios::binary) << "RIFF" << le32(uint32_t(body.size())) << body;
    return path;
}

// The output, opened on SDL's disk driver into a file of the test's folder.
class SoundOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AudioOutput::closeForTesting();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
        ASSERT_TRUE(AudioOutput::open());
        ASSERT_STREQ(AudioOutput::driverName(), "disk");
    }
    void TearDown() override
    {
        AudioOutput::closeForTesting();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // Closes the output and reads what was written: the left channel, indexed by mixed frame (the
    // frames SDL wrote before the first mix are cut off).
    std::vector<float> heard()
    {
        AudioOutput::closeForTesting();
        const uint64_t mixed = AudioOutput::framesMixed();
        std::ifstream in(file_, std::ios::binary);
        std::vector<float> all;
        float frame[2];
        while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
            all.push_back(frame[0]);
        }
        EXPECT_GE(all.size(), mixed);
        const size_t before = all.size() >= mixed ? all.size() - mixed : 0;
        return std::vector<float>(all.begin() + long(before), all.end());
    }

    // The frame where `reference` best matches `heard`, searched in [from, to], and how well it does.
    static std::pair<size_t, double> bestMatch(const std::vector<float>& heard, const std::vector<double>& reference,
                                               size_t from, size_t to)
    {
        std::pair<size_t, double> best{0, -2};
        for (size_t at = from; at <= to && at + reference.size() <= heard.size(); ++at) {
            double xy = 0, xx = 0, yy = 0;
            for (size_t i = 0; i < reference.size(); ++i) {
                xy += reference[i] * heard[at + i];
                xx += reference[i] * reference[i];
                yy += double(heard[at + i]) * heard[at + i];
            }
            const double r = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
            if (r > best.second) {
                best = {at, r};
            }
        }
        return best;
    }

    static std::vector<double> reference(double seconds, double gain = 1)
    {
        std::vector<double> out(size_t(seconds * AudioOutput::kSampleRate));
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = gain * signal(double(i) / AudioOutput::kSampleRate);
        }
        return out;
    }

    static float loudest(const std::vector<float>& heard, size_t from, size_t to)
    {
        float most = 0;
        for (size_t i = from; i < std::min(to, heard.size()); ++i) {
            most = std::max(most, std::fabs(heard[i]));
        }
        return most;
    }

    TemporaryFolder folder_{"ombri-sound-output"};
    std::string file_ = folder_ / "heard.raw";
};

TEST_F(SoundOutputTest, SystemSoundIsHeardAsDecodedWhereItWasPlayedAndMixesWithAnother)
{
    SystemSoundID sound = 0;
    ASSERT_EQ(AudioServicesCreateSystemSoundID(NSURL::fileURLWithPath(writeWave(folder_ / "chirp.wav", 22050, 0.5)),
                                               &sound),
              kAudioServicesNoError);
    ASSERT_TRUE(waitFor([] { return AudioOutput::framesMixed() > 4 * kBlock; }));

    const uint64_t before = AudioOutput::framesMixed();
    AudioServicesPlaySystemSound(sound);
    const uint64_t after = AudioOutput::framesMixed();
    // A second play half-way through sounds over the first.
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > after + 12000; }));
    const uint64_t secondBefore = AudioOutput::framesMixed();
    AudioServicesPlaySystemSound(sound);
    const uint64_t secondAfter = AudioOutput::framesMixed();
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > secondAfter + 24000 + 4 * kBlock; }));

    const std::vector<float> file = heard();
    // The sound alone, in its first quarter second: mixed from the block after the play at the latest.
    const auto first = reference(0.2);
    const auto [at, r] = bestMatch(file, first, before, after + kBlock);
    EXPECT_GT(r, 0.9);
    EXPECT_GE(at, before);
    EXPECT_LE(at, after + kBlock);
    // The second play, heard in the last quarter second where only it sounds.
    const auto [secondAt, secondR] = bestMatch(file, reference(0.2), secondBefore, secondAfter + kBlock);
    EXPECT_GT(secondR, 0.5);  // mixed with the first one's end
    EXPECT_GE(secondAt, secondBefore);
    EXPECT_LE(secondAt, secondAfter + kBlock);
    // The mix is the sum: where both sound, the file holds the one plus the other.
    const size_t overlapEnd = at + 24000;
    if (secondAt + 2400 < overlapEnd && overlapEnd <= file.size()) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = secondAt; i < overlapEnd; ++i) {
            const double both = signal(double(i - at) / AudioOutput::kSampleRate) +
                                signal(double(i - secondAt) / AudioOutput::kSampleRate);
            xy += both * file[i];
            xx += both * both;
            yy += double(file[i]) * file[i];
        }
        EXPECT_GT(xy / std::sqrt(xx * yy), 0.9);
    }
    AudioServicesDisposeSystemSoundID(sound);
}

// An audio queue with its own thread for hand-backs, recording when each buffer came back.
struct QueueRecorder {
    std::mutex lock;
    std::vector<uint64_t> mixedAtHandBack;  // the output's frames when each buffer came back
    std::atomic<int> handedBack{0};

    static void callback(void* user, AudioQueueRef, AudioQueueBufferRef)
    {
        auto* self = static_cast<QueueRecorder*>(user);
        std::lock_guard hold(self->lock);
        self->mixedAtHandBack.push_back(AudioOutput::framesMixed());
        ++self->handedBack;
    }
};

AudioStreamBasicDescription monoInt16(double rate)
{
    AudioStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kLinearPCMFormatFlagIsSignedInteger | kLinearPCMFormatFlagIsPacked;
    format.mBytesPerPacket = 2;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 2;
    format.mChannelsPerFrame = 1;
    format.mBitsPerChannel = 16;
    return format;
}

// Fills the buffer with the signal from frame `first` on, at the rate.
void fillSignal(AudioQueueBufferRef buffer, size_t first, double rate)
{
    auto* samples = static_cast<int16_t*>(buffer->mAudioData);
    const size_t frames = buffer->mAudioDataBytesCapacity / 2;
    for (size_t i = 0; i < frames; ++i) {
        samples[i] = int16_t(std::lround(signal(double(first + i) / rate) * 32767));
    }
    buffer->mAudioDataByteSize = uint32_t(frames * 2);
}

TEST_F(SoundOutputTest, QueueBuffersPlayInOrderConvertedAtTheirVolumeAndComeBackOnlyOncePlayed)
{
    constexpr double kRate = 16000;  // mono at a third of the output's rate: both converted
    constexpr size_t kFrames = 1600;  // 0.1 s a buffer
    QueueRecorder recorder;
    AudioQueueRef queue = nullptr;
    const auto format = monoInt16(kRate);
    ASSERT_EQ(AudioQueueNewOutput(&format, QueueRecorder::callback, &recorder, nullptr, "", 0, &queue), 0);
    ASSERT_EQ(AudioQueueSetParameter(queue, kAudioQueueParam_Volume, 0.5f), 0);
    for (size_t i = 0; i < 4; ++i) {
        AudioQueueBufferRef buffer = nullptr;
        ASSERT_EQ(AudioQueueAllocateBuffer(queue, kFrames * 2, &buffer), 0);
        fillSignal(buffer, i * kFrames, kRate);
        ASSERT_EQ(AudioQueueEnqueueBuffer(queue, buffer, 0, nullptr), 0);
    }
    const uint64_t before = AudioOutput::framesMixed();
    ASSERT_EQ(AudioQueueStart(queue, nullptr), 0);
    const uint64_t after = AudioOutput::framesMixed();
    ASSERT_TRUE(waitFor([&] { return recorder.handedBack == 4; }));
    AudioTimeStamp played;
    ASSERT_EQ(AudioQueueGetCurrentTime(queue, nullptr, &played, nullptr), 0);
    AudioQueueDispose(queue, true);

    // The queue's clock counts its own frames: all four buffers, but for the converter's tail.
    EXPECT_NEAR(played.mSampleTime, 4 * kFrames, 256);
    const std::vector<float> file = heard();
    const auto [at, r] = bestMatch(file, reference(0.35, 0.5), before, after + kBlock);
    EXPECT_GT(r, 0.9);
    EXPECT_LE(at, after + kBlock);
    EXPECT_NEAR(loudest(file, at, at + 16800), 0.3f, 0.03f);  // 0.6 at half volume
    // Buffer k comes back once its last sample was mixed, not before.
    ASSERT_EQ(recorder.mixedAtHandBack.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        // (the converter holds back up to a few hundred frames of each buffer for the next one)
        EXPECT_GE(recorder.mixedAtHandBack[k], at + (k + 1) * kFrames * 3 - 600) << "buffer " << k;
    }
}

TEST_F(SoundOutputTest, PauseAndStopSilenceTheOutputWithinOneBlock)
{
    constexpr double kRate = 48000;
    constexpr size_t kFrames = 48000;  // one second a buffer
    QueueRecorder recorder;
    AudioQueueRef queue = nullptr;
    const auto format = monoInt16(kRate);
    ASSERT_EQ(AudioQueueNewOutput(&format, QueueRecorder::callback, &recorder, nullptr, "", 0, &queue), 0);
    AudioQueueBufferRef buffers[2];
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_EQ(AudioQueueAllocateBuffer(queue, kFrames * 2, &buffers[i]), 0);
        fillSignal(buffers[i], i * kFrames, kRate);
        ASSERT_EQ(AudioQueueEnqueueBuffer(queue, buffers[i], 0, nullptr), 0);
    }
    const uint64_t before = AudioOutput::framesMixed();
    ASSERT_EQ(AudioQueueStart(queue, nullptr), 0);
    const uint64_t started = AudioOutput::framesMixed() + kBlock;
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > started + 4 * kBlock; }));

    ASSERT_EQ(AudioQueuePause(queue), 0);
    const uint64_t paused = AudioOutput::framesMixed();
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > paused + 8 * kBlock; }));
    const uint64_t resumed = AudioOutput::framesMixed();
    ASSERT_EQ(AudioQueueStart(queue, nullptr), 0);
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > resumed + 4 * kBlock; }));

    ASSERT_EQ(AudioQueueStop(queue, true), 0);
    const uint64_t stopped = AudioOutput::framesMixed();
    ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > stopped + 8 * kBlock; }));
    EXPECT_EQ(recorder.handedBack, 0);  // nothing had played through, and a stop hands nothing back
    AudioQueueDispose(queue, true);

    const std::vector<float> file = heard();
    // (the signal swells and fades three times a second: a few blocks of it may be quiet, never silent)
    EXPECT_GT(loudest(file, started, paused), 0.05f);
    EXPECT_EQ(loudest(file, paused + kBlock, resumed), 0.0f);
    EXPECT_GT(loudest(file, resumed + kBlock, stopped), 0.05f);
    EXPECT_EQ(loudest(file, stopped + kBlock, file.size()), 0.0f);
    const auto [at, r] = bestMatch(file, reference(0.05), before, started);
    EXPECT_GT(r, 0.9);
}

// A movie of kMovieFrames frames at 10 a second whose sound is silent but for a click at kClickFrame's time.
constexpr int kMovieFrames = 20;
constexpr int kClickFrame = 12;

bool writeClickMovie(const std::string& path)
{
    MovieFileSettings settings;
    settings.width = 160;
    settings.height = 120;
    settings.frameRate = 10;
    settings.keyFrameInterval = 10;
    MovieFileWriter writer;
    if (!writer.startWriting(path, settings)) {
        return false;
    }
    std::vector<uint8_t> luma(160 * 120, 90), chroma(80 * 60, 128);
    MovieVideoFrame frame;
    frame.planes[0] = luma.data();
    frame.planes[1] = frame.planes[2] = chroma.data();
    frame.strides[0] = 160;
    frame.strides[1] = frame.strides[2] = 80;
    std::vector<float> sound(size_t(settings.audioSampleRate) * kMovieFrames / 10, 0.0f);
    const size_t click = size_t(settings.audioSampleRate) * kClickFrame / 10;
    for (size_t i = 0; i < 220; ++i) {  // 5 ms
        sound[click + i] = (i / 20) % 2 ? -0.9f : 0.9f;
    }
    for (int n = 0; n < kMovieFrames; ++n) {
        if (!writer.appendVideoFrame(frame)) {
            return false;
        }
    }
    return writer.appendAudioSamples(sound.data(), sound.size()) && writer.finishWriting();
}

TEST_F(SoundOutputTest, MovieSoundIsHeardInStepWithItsPicture)
{
    MainThreadScope main;
    const std::string movie = folder_ / "click.mp4";
    ASSERT_TRUE(writeClickMovie(movie));
    uint64_t clickFrameShownAt = 0;
    bool ended = false;
    std::shared_ptr<MoviePlayback> playback;
    MoviePlaybackListener listener;
    listener.frame = [&](const CGImageRef&, double time) {
        if (std::lround(time * 10) == kClickFrame) {
            clickFrameShownAt = playback->outputFramesWhenFrameWasHanded();
        }
    };
    listener.ended = [&] { ended = true; };
    playback = MoviePlayback::open(movie, listener);
    ASSERT_TRUE(pumpMainUntil([&] { return playback->isReady(); }, 30s));
    playback->play();
    ASSERT_TRUE(pumpMainUntil([&] { return ended; }, 60s));
    ASSERT_NE(clickFrameShownAt, 0u);
    playback->close();

    const std::vector<float> file = heard();
    size_t loudestAt = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        if (std::fabs(file[i]) > std::fabs(file[loudestAt])) {
            loudestAt = i;
        }
    }
    EXPECT_GT(std::fabs(file[loudestAt]), 0.5f);
    // The click is heard within 50 ms of its frame being shown (the counter moves a block at a time).
    const double apart = (double(loudestAt) - double(clickFrameShownAt)) / AudioOutput::kSampleRate;
    EXPECT_LT(std::fabs(apart), 0.05 + double(kBlock) / AudioOutput::kSampleRate) << apart;
}

// The stand-in service's feed videos have a sound track: played from the service over HTTP, it is heard.
TEST_F(SoundOutputTest, TheServicesFeedVideoIsHeardWhenPlayedFromItsStream)
{
    MainThreadScope main;
    standin::HttpServer server({.lifetime = 60s});
    standin::installStreamRoutes(server);
    bool ended = false;
    MoviePlaybackListener listener;
    listener.ended = [&] { ended = true; };
    auto playback = MoviePlayback::open("http://" + server.hostPort() + "/stream/sc3001.mp4", listener);
    ASSERT_TRUE(pumpMainUntil([&] { return playback->isReady(); }, 30s));
    const uint64_t started = AudioOutput::framesMixed();
    playback->play();
    ASSERT_TRUE(pumpMainUntil([&] { return ended; }, 60s));
    playback->close();
    const std::vector<float> file = heard();
    EXPECT_GT(loudest(file, size_t(started), file.size()), 0.1f);
}

TEST_F(SoundOutputTest, PausingSeekingOrClosingAMovieSilencesSoundAlreadyOnItsWay)
{
    MainThreadScope main;
    const std::string movie = folder_ / "click.mp4";
    ASSERT_TRUE(writeClickMovie(movie));
    enum class Act { Pause, Seek, Close };
    struct Window {
        uint64_t from;
        uint64_t to;
    };
    std::vector<Window> windows;
    for (Act act : {Act::Pause, Act::Seek, Act::Close}) {
        // A tenth of a second before the click its sound is decoded and queued on the output already.
        bool beforeClick = false;
        MoviePlaybackListener listener;
        listener.frame = [&](const CGImageRef&, double time) { beforeClick |= std::lround(time * 10) == kClickFrame - 1; };
        auto playback = MoviePlayback::open(movie, listener);
        ASSERT_TRUE(pumpMainUntil([&] { return playback->isReady(); }, 30s));
        playback->play();
        ASSERT_TRUE(pumpMainUntil([&] { return beforeClick; }, 30s));
        if (act == Act::Pause) {
            playback->pause();
        } else if (act == Act::Seek) {
            playback->seek(0);
        } else {
            playback->close();
        }
        const uint64_t acted = AudioOutput::framesMixed();
        // Where the click would have sounded, and more.
        ASSERT_TRUE(waitFor([&] { return AudioOutput::framesMixed() > acted + kBlock + 24000; }));
        windows.push_back({acted + kBlock, AudioOutput::framesMixed()});
        playback->close();
    }
    const std::vector<float> file = heard();
    for (size_t i = 0; i < windows.size(); ++i) {
        EXPECT_LT(loudest(file, windows[i].from, windows[i].to), 0.1f) << "act " << i;
    }
}

// Without a device or with one that fails, the queue's buffers still come back at the pace of playing.
TEST(SoundOutputWithoutDeviceTest, QueuesKeepTheirPaceWhenThereIsNoDeviceOrItFails)
{
    TemporaryFolder folder("ombri-sound-nodevice");
    struct Case {
        const char* what;
        const char* driver;
        std::string file;
        bool opens;
    };
    const Case cases[] = {
        {"no such driver", "no-such-driver", "", false},
        {"a device that fails on its first write", "disk", "/dev/full", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AudioOutput::closeForTesting();
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        setenv("SDL_DISKAUDIOFILE", c.file.c_str(), 1);
        EXPECT_EQ(AudioOutput::open(), c.opens);

        QueueRecorder recorder;
        AudioQueueRef queue = nullptr;
        const auto format = monoInt16(8000);
        ASSERT_EQ(AudioQueueNewOutput(&format, QueueRecorder::callback, &recorder, nullptr, "", 0, &queue), 0);
        for (size_t i = 0; i < 3; ++i) {
            AudioQueueBufferRef buffer = nullptr;
            ASSERT_EQ(AudioQueueAllocateBuffer(queue, 800 * 2, &buffer), 0);  // 0.1 s
            fillSignal(buffer, i * 800, 8000);
            ASSERT_EQ(AudioQueueEnqueueBuffer(queue, buffer, 0, nullptr), 0);
        }
        const uint64_t before = AudioOutput::framesMixed();
        ASSERT_EQ(AudioQueueStart(queue, nullptr), 0);
        ASSERT_TRUE(waitFor([&] { return recorder.handedBack == 3; }));
        // 0.3 s of sound at the output's rate had to be mixed before the last one came back.
        EXPECT_GE(AudioOutput::framesMixed() - before, size_t(0.3 * AudioOutput::kSampleRate) - 64);
        AudioQueueDispose(queue, true);

        SystemSoundID sound = 0;
        ASSERT_EQ(AudioServicesCreateSystemSoundID(
                      NSURL::fileURLWithPath(writeWave(folder / "beep.wav", 8000, 0.05)), &sound),
                  kAudioServicesNoError);
        AudioServicesPlaySystemSound(sound);
        EXPECT_EQ(AudioServicesPlayCount(sound), 1u);
        AudioServicesDisposeSystemSoundID(sound);
    }
    AudioOutput::closeForTesting();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Looking for a device through the system's sound library says nothing on standard error, whether a
// device is found or not (a machine without sound printed the library's complaints at every start).
TEST(SoundOutputWithoutDeviceTest, LookingForADeviceWritesNothingToStandardError)
{
    TemporaryFolder folder("ombri-sound-quiet");
    const std::string errors = folder / "stderr.txt";
    AudioOutput::closeForTesting();
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    std::fflush(stderr);
    const int saved = ::dup(2);
    ASSERT_GE(saved, 0);
    const int file = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, 2);
    ::close(file);
    AudioOutput::open();  // a device or none: both are fine here
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    AudioOutput::closeForTesting();
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::ifstream in(errors);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written.find("ALSA lib"), std::string::npos) << written;
}

}  // namespace SoundOutputTest_cpp
}  // namespace
