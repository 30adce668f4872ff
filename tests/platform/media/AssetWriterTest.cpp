// The asset writer: the file it writes for the camera's settings, times relative to the session start,
// refusals outside the writing state, sound of other formats laid on the timeline, and appends from two
// threads racing the finish.

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVAssetWriter.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/SyntheticMedia.h"

#include "fixtures/GrowingMovie.h"
#include "fixtures/MovieProbe.h"
#include "fixtures/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

namespace {
namespace AssetWriterTest_cpp {

constexpr double kPi = 3.14159265358979323846;

Value videoSettings(int width, int height)
{
    Value compression = Value::dictionary();
    compression.setObject_forKey(786432.0, AVVideoAverageBitRateKey);
    compression.setObject_forKey(120, AVVideoMaxKeyFrameIntervalKey);
    compression.setObject_forKey(AVVideoProfileLevelH264Main31, AVVideoProfileLevelKey);
    Value settings = Value::dictionary();
    settings.setObject_forKey(AVVideoCodecH264, AVVideoCodecKey);
    settings.setObject_forKey(width, AVVideoWidthKey);
    settings.setObject_forKey(height, AVVideoHeightKey);
    settings.setObject_forKey(compression, AVVideoCompressionPropertiesKey);
    return settings;
}

Value audioSettings()
{
    AudioChannelLayout layout;
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    Value settings = Value::dictionary();
    settings.setObject_forKey(static_cast<unsigned long long>(kAudioFormatMPEG4AAC), AVFormatIDKey);
    settings.setObject_forKey(1, AVNumberOfChannelsKey);
    settings.setObject_forKey(44100.0, AVSampleRateKey);
    settings.setObject_forKey(64000, AVEncoderBitRateKey);
    settings.setObject_forKey(NSData(&layout, sizeof layout), AVChannelLayoutKey);
    return settings;
}

// A writer with a video input (and its adaptor) and an audio input, as the camera's movie writer has.
struct Writer {
    Ref<AVAssetWriter> writer;
    Ref<AVAssetWriterInput> video;
    Ref<AVAssetWriterInput> audio;
    Ref<AVAssetWriterInputPixelBufferAdaptor> adaptor;

    Writer(const std::string& path, const std::string& fileType, int width, int height,
           CGAffineTransform transform = CGAffineTransformIdentity)
    {
        Ref<NSError> error;
        writer = AVAssetWriter::assetWriterWithURL_fileType_error(NSURL::fileURLWithPath(path), fileType, &error);
        EXPECT_TRUE(writer) << (error ? error->description() : "");
        video = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeVideo, videoSettings(width, height));
        video->setExpectsMediaDataInRealTime(true);
        video->setTransform(transform);
        Value attributes = Value::dictionary();
        attributes.setObject_forKey(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA), kCVPixelBufferPixelFormatTypeKey);
        attributes.setObject_forKey(width, kCVPixelBufferWidthKey);
        attributes.setObject_forKey(height, kCVPixelBufferHeightKey);
        adaptor = AVAssetWriterInputPixelBufferAdaptor::
            assetWriterInputPixelBufferAdaptorWithAssetWriterInput_sourcePixelBufferAttributes(video, attributes);
        audio = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeAudio, audioSettings());
        audio->setExpectsMediaDataInRealTime(true);
        if (writer) {
            writer->addInput(video);
            writer->addInput(audio);
        }
    }

    // Appends the test picture numbered `frame` at `seconds`.
    bool appendFrame(int64_t frame, double seconds)
    {
        CVPixelBufferRef buffer;
        if (CVPixelBufferPoolCreatePixelBuffer(nullptr, adaptor->pixelBufferPool(), &buffer) != kCVReturnSuccess) {
            return false;
        }
        CVPixelBufferLockBaseAddress(buffer, 0);
        CameraTestPicture::draw(static_cast<uint8_t*>(CVPixelBufferGetBaseAddress(buffer)), buffer->width(), buffer->height(),
                                CVPixelBufferGetBytesPerRow(buffer), frame);
        const bool ok = adaptor->appendPixelBuffer_withPresentationTime(
            buffer, CMTimeMakeWithSeconds(seconds, kCMTimeCaptureTimescale));
        CVPixelBufferUnlockBaseAddress(buffer, 0);
        return ok;
    }
};

// `frames` frames of a tone in the given linear PCM format, starting at `seconds`.
CMSampleBufferRef toneBuffer(double seconds, int frames, double rate, int channels, bool isFloat, int64_t firstFrame = 0)
{
    AudioStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = (isFloat ? kLinearPCMFormatFlagIsFloat : kLinearPCMFormatFlagIsSignedInteger) | kLinearPCMFormatFlagIsPacked;
    format.mChannelsPerFrame = static_cast<uint32_t>(channels);
    format.mBitsPerChannel = isFloat ? 32 : 16;
    format.mBytesPerFrame = format.mBytesPerPacket = format.mChannelsPerFrame * format.mBitsPerChannel / 8;
    format.mFramesPerPacket = 1;
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * format.mBytesPerFrame);
    for (int i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2 * kPi * 440.0 * static_cast<double>(firstFrame + i) / rate);
        for (int c = 0; c < channels; ++c) {
            if (isFloat) {
                reinterpret_cast<float*>(bytes.data())[i * channels + c] = static_cast<float>(v);
            } else {
                reinterpret_cast<int16_t*>(bytes.data())[i * channels + c] = static_cast<int16_t>(std::lround(v * 32767));
            }
        }
    }
    return CMSampleBufferCreateForAudio(format, bytes.data(), frames, CMTimeMakeWithSeconds(seconds, kCMTimeCaptureTimescale));
}

}  // namespace AssetWriterTest_cpp
}  // namespace

TEST(AssetWriterTest, MovieCarriesTheCameraSettingsAndTheTransformAsDisplayMatrix)
{
    using namespace AssetWriterTest_cpp;
    struct Case {
        double angle;  // of the input's transform
        int rotation;  // clockwise degrees the movie asks for
    };
    for (const Case& c : {Case{0, 0}, Case{kPi / 2, 90}, Case{kPi, 180}, Case{3 * kPi / 2, 270}}) {
        SCOPED_TRACE("rotation " + std::to_string(c.rotation));
        TemporaryFolder folder;
        const std::string path = folder / "clip.MOV";
        Writer w(path, AVFileTypeMPEG4, 480, 640, CGAffineTransformMakeRotation(c.angle));
        ASSERT_TRUE(w.writer->startWriting());
        w.writer->startSessionAtSourceTime(CMTimeMakeWithSeconds(100.0, kCMTimeCaptureTimescale));
        for (int i = 0; i < 15; ++i) {
            ASSERT_TRUE(w.appendFrame(i, 100.0 + i / 15.0));
            ASSERT_TRUE(w.audio->appendSampleBuffer(toneBuffer(100.0 + i * 1024 / 44100.0, 1024, 44100, 1, false, i * 1024)));
        }
        ASSERT_TRUE(w.writer->finishWriting());
        EXPECT_EQ(w.writer->status(), AVAssetWriterStatusCompleted);

        const ProbedMovie movie = probeMovie(path);
        ASSERT_EQ(movie.error, "");
        EXPECT_EQ(movie.majorBrand, "isom");  // MPEG-4 whatever the extension says
        ASSERT_EQ(movie.streams.size(), 2u);
        const ProbedStream* video = movie.stream("video");
        ASSERT_TRUE(video);
        EXPECT_EQ(video->codec, "h264");
        EXPECT_EQ(video->profile, 77);  // Main
        EXPECT_EQ(video->level, 31);
        EXPECT_EQ(video->width, 480);
        EXPECT_EQ(video->height, 640);
        EXPECT_EQ(video->rotation, c.rotation);
        EXPECT_EQ(video->packetTimes.size(), 15u);
        const ProbedStream* audio = movie.stream("audio");
        ASSERT_TRUE(audio);
        EXPECT_EQ(audio->codec, "aac");
        EXPECT_EQ(audio->sampleRate, 44100);
        EXPECT_EQ(audio->channels, 1);
        EXPECT_EQ(AVURLAsset::URLAssetWithURL_options(NSURL::fileURLWithPath(path))->preferredRotation(), c.rotation);
    }
}

TEST(AssetWriterTest, QuickTimeFileTypeWritesAQuickTimeMovie)
{
    using namespace AssetWriterTest_cpp;
    TemporaryFolder folder;
    const std::string path = folder / "clip.mp4";
    Writer w(path, AVFileTypeQuickTimeMovie, 320, 240);
    ASSERT_TRUE(w.writer->startWriting());
    w.writer->startSessionAtSourceTime(kCMTimeZero);
    ASSERT_TRUE(w.appendFrame(0, 0));
    ASSERT_TRUE(w.writer->finishWriting());
    const ProbedMovie movie = probeMovie(path);
    EXPECT_EQ(movie.majorBrand, "qt  ");
    ASSERT_TRUE(movie.stream("video"));
}

TEST(AssetWriterTest, TimesStartAtTheSessionAndEarlierFramesAreDropped)
{
    using namespace AssetWriterTest_cpp;
    TemporaryFolder folder;
    const std::string path = folder / "clip.mp4";
    Writer w(path, AVFileTypeMPEG4, 320, 240);
    ASSERT_TRUE(w.writer->startWriting());
    EXPECT_FALSE(w.appendFrame(0, 9.9));  // no session yet: refused
    const double start = 10.0;
    w.writer->startSessionAtSourceTime(CMTimeMakeWithSeconds(start, kCMTimeCaptureTimescale));
    EXPECT_TRUE(w.appendFrame(1, start - 1 / 15.0));  // before the start: accepted, not written
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(w.appendFrame(2 + i, start + i / 15.0));
    }
    EXPECT_FALSE(w.appendFrame(9, start + 4 / 15.0));  // not after the previous frame
    ASSERT_TRUE(w.writer->finishWriting());
    EXPECT_EQ(w.writer->samplesBeforeSession(), 1);

    const ProbedMovie movie = probeMovie(path);
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    ASSERT_EQ(video->packetTimes.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(video->packetTimes[i], i / 15.0, 1e-4) << "frame " << i;
    }
    const auto pictures = decodeVideoFrames(path);
    ASSERT_EQ(pictures.size(), 6u);
    EXPECT_EQ(CameraTestPicture::readFrameNumber(pictures[0].pixels.data(), 320, 240, 320 * 4), 2);
}

TEST(AssetWriterTest, DecodedMovieShowsTheTestPictureWithinCodecTolerance)
{
    using namespace AssetWriterTest_cpp;
    TemporaryFolder folder;
    const std::string path = folder / "clip.mp4";
    Writer w(path, AVFileTypeMPEG4, 640, 480);
    ASSERT_TRUE(w.writer->startWriting());
    w.writer->startSessionAtSourceTime(kCMTimeZero);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(w.appendFrame(1000 + i, i / 15.0));
    }
    ASSERT_TRUE(w.writer->finishWriting());
    ASSERT_EQ(probeMovie(path).stream("video")->packetTimes.size(), 10u);
    std::string error;
    const auto pictures = decodeVideoFrames(path, &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(pictures.size(), 10u);
    for (size_t i = 0; i < pictures.size(); i += 9) {
        const RgbaPicture& p = pictures[i];
        EXPECT_EQ(CameraTestPicture::readFrameNumber(p.pixels.data(), p.width, p.height, p.width * 4u),
                  static_cast<int64_t>(1000 + i));
        for (int bar = 0; bar < CameraTestPicture::kBars; ++bar) {
            const uint8_t* px = p.at(CameraTestPicture::barCentreX(640, bar), CameraTestPicture::barsCentreY(480));
            const CameraTestPicture::Colour c = CameraTestPicture::barColour(bar);
            EXPECT_NEAR(px[0], c.r, 8) << "frame " << i << " bar " << bar;
            EXPECT_NEAR(px[1], c.g, 8) << "frame " << i << " bar " << bar;
            EXPECT_NEAR(px[2], c.b, 8) << "frame " << i << " bar " << bar;
        }
    }
}

TEST(AssetWriterTest, SoundOfOtherFormatsIsConvertedAndLaidOnTheTimeline)
{
    using namespace AssetWriterTest_cpp;
    struct Case {
        const char* name;
        double rate;
        int channels;
        bool isFloat;
        double gapSeconds;  // a gap left between the two halves
    };
    const Case cases[] = {
        {"camera format", 44100, 1, false, 0},
        {"stereo float 48 kHz", 48000, 2, true, 0},
        {"mono 22 kHz with a gap", 22050, 1, false, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const std::string path = folder / "sound.mp4";
        Writer w(path, AVFileTypeMPEG4, 320, 240);
        ASSERT_TRUE(w.writer->startWriting());
        w.writer->startSessionAtSourceTime(kCMTimeZero);
        const int perBuffer = static_cast<int>(c.rate / 10);  // 0.1 s
        double at = 0;
        int64_t frame = 0;
        for (int i = 0; i < 10; ++i) {
            if (i == 5) {
                at += c.gapSeconds;
                frame += static_cast<int64_t>(c.gapSeconds * c.rate);
            }
            ASSERT_TRUE(w.audio->appendSampleBuffer(toneBuffer(at, perBuffer, c.rate, c.channels, c.isFloat, frame)));
            at += 0.1;
            frame += perBuffer;
        }
        ASSERT_TRUE(w.writer->finishWriting());
        int rate = 0;
        const std::vector<float> sound = decodeAudio(path, &rate);
        EXPECT_EQ(rate, 44100);
        const double seconds = static_cast<double>(sound.size()) / 44100;
        EXPECT_NEAR(seconds, 1.0 + c.gapSeconds, 0.05);
        // A stretch in the middle of the second half is the tone at the level it was recorded.
        const size_t from = static_cast<size_t>((0.75 + c.gapSeconds) * 44100);
        double energy = 0;
        for (size_t n = from; n < from + 4410 && n < sound.size(); ++n) {
            energy += double(sound[n]) * sound[n];
        }
        EXPECT_NEAR(std::sqrt(energy / 4410), 0.5 / std::sqrt(2.0), 0.05);
        if (c.gapSeconds > 0) {
            double gapEnergy = 0;
            for (size_t n = static_cast<size_t>(0.6 * 44100); n < static_cast<size_t>(0.9 * 44100); ++n) {
                gapEnergy += double(sound[n]) * sound[n];
            }
            EXPECT_LT(std::sqrt(gapEnergy / (0.3 * 44100)), 0.01);  // silence fills the gap
        }
    }
}

TEST(AssetWriterTest, InputsAreReadyOnlyWhileWritingAndRefuseEverythingAfterTheFinish)
{
    using namespace AssetWriterTest_cpp;
    TemporaryFolder folder;
    const std::string path = folder / "clip.mp4";
    Writer w(path, AVFileTypeMPEG4, 320, 240);
    EXPECT_FALSE(w.video->isReadyForMoreMediaData());
    EXPECT_FALSE(w.adaptor->pixelBufferPool());
    EXPECT_THROW(w.writer->startSessionAtSourceTime(kCMTimeZero), NSException);  // not writing
    ASSERT_TRUE(w.writer->startWriting());
    EXPECT_THROW(w.writer->startSessionAtSourceTime(kCMTimeInvalid), NSException);
    w.writer->startSessionAtSourceTime(kCMTimeZero);
    EXPECT_TRUE(w.video->isReadyForMoreMediaData());
    w.video->setForcesNotReady(true);
    EXPECT_FALSE(w.video->isReadyForMoreMediaData());
    EXPECT_TRUE(w.audio->isReadyForMoreMediaData());
    w.video->setForcesNotReady(false);
    ASSERT_TRUE(w.appendFrame(0, 0));
    ASSERT_TRUE(w.writer->finishWriting());
    EXPECT_FALSE(w.video->isReadyForMoreMediaData());
    EXPECT_FALSE(w.audio->isReadyForMoreMediaData());
    EXPECT_FALSE(w.appendFrame(1, 1 / 15.0));
    EXPECT_FALSE(w.audio->appendSampleBuffer(toneBuffer(0.1, 1024, 44100, 1, false)));
    EXPECT_FALSE(w.writer->finishWriting());
    EXPECT_EQ(probeMovie(path).stream("video")->packetTimes.size(), 1u);

    // A writer never writes over a file.
    Ref<NSError> error;
    EXPECT_FALSE(AVAssetWriter::assetWriterWithURL_fileType_error(NSURL::fileURLWithPath(path), AVFileTypeMPEG4, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), -11823);
}

TEST(AssetWriterTest, GrowingFileHoldsOnlySliceSamplesAndGetsItsIndexAtTheEnd)
{
    using namespace AssetWriterTest_cpp;
    TemporaryFolder folder;
    const std::string path = folder / "clip.MOV";
    Writer w(path, AVFileTypeMPEG4, 480, 640);
    ASSERT_TRUE(w.writer->startWriting());
    w.writer->startSessionAtSourceTime(kCMTimeZero);
    std::vector<uint64_t> sizes;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(w.appendFrame(i, i / 15.0));
        ASSERT_TRUE(w.audio->appendSampleBuffer(toneBuffer(i * 1024 / 44100.0, 1024, 44100, 1, false, i * 1024)));
        sizes.push_back(readWholeFile(path).size());
    }
    for (size_t i = 1; i < sizes.size(); ++i) {
        EXPECT_GT(sizes[i], sizes[i - 1]) << "after frame " << i;  // every sample is in the file at once
    }
    std::vector<std::string> growing;
    for (const MovieBox& box : readTopLevelBoxes(path)) {
        growing.push_back(box.type);
    }
    EXPECT_EQ(std::count(growing.begin(), growing.end(), "moov"), 0);
    EXPECT_EQ(std::count(growing.begin(), growing.end(), "mdat"), 1);
    ASSERT_TRUE(w.writer->finishWriting());
    EXPECT_EQ(readTopLevelBoxes(path).back().type, "moov");

    const ProbedMovie movie = probeMovie(path);
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    ASSERT_EQ(video->packets.size(), 20u);
    for (size_t i = 0; i < video->packets.size(); ++i) {
        const auto& p = video->packets[i];
        ASSERT_GE(p.size(), 5u);
        const uint32_t length = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        EXPECT_EQ(length + 4, p.size()) << "one NAL unit in sample " << i;
        EXPECT_EQ(p[4], i == 0 ? 0x65 : 0x41) << "sample " << i;  // no SEI, no parameter sets
    }
}

TEST(AssetWriterTest, SoundAppendedWhileTheFileIsFinishedNeverCorruptsIt)
{
    using namespace AssetWriterTest_cpp;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TemporaryFolder folder;
        const std::string path = folder / "clip.mp4";
        Writer w(path, AVFileTypeMPEG4, 160, 120);
        ASSERT_TRUE(w.writer->startWriting());
        w.writer->startSessionAtSourceTime(kCMTimeZero);
        std::atomic<bool> refused{false};
        std::atomic<int> appended{0};
        std::thread audioQueue([&] {
            for (int i = 0; !refused.load(); ++i) {
                const bool ready = w.audio->isReadyForMoreMediaData();
                const bool ok = w.audio->appendSampleBuffer(toneBuffer(i * 1024 / 44100.0, 1024, 44100, 1, false, i * 1024));
                if (!ok && !ready) {
                    refused.store(true);
                } else if (ok) {
                    appended.fetch_add(1);
                }
            }
        });
        for (int i = 0; i < 3 + round; ++i) {
            ASSERT_TRUE(w.appendFrame(i, i / 15.0));
        }
        ASSERT_TRUE(w.writer->finishWriting());
        audioQueue.join();
        EXPECT_EQ(w.writer->status(), AVAssetWriterStatusCompleted);
        const ProbedMovie movie = probeMovie(path);
        ASSERT_EQ(movie.error, "");
        ASSERT_TRUE(movie.stream("video"));
        EXPECT_EQ(movie.stream("video")->packetTimes.size(), static_cast<size_t>(3 + round));
        if (appended.load() > 0) {
            ASSERT_TRUE(movie.stream("audio"));
            EXPECT_GE(movie.stream("audio")->packetTimes.size(), 1u);
            std::string error;
            const std::vector<float> sound = decodeAudio(path, nullptr, &error);
            EXPECT_EQ(error, "");
            EXPECT_GE(sound.size(), static_cast<size_t>(appended.load()) * 1024 - 1024);
        }
    }
}
