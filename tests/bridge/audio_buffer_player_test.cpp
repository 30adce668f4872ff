// The audio buffer player on the device-less audio queue: priming, the fill cycle, stop, gain and
// interruptions; and the bridge as its delegate.
#include "bridge/AudioBufferPlayer.h"
#include "bridge/PZFFmpeg.h"

#include "platform/foundation/MainThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

class CountingFiller : public AudioBufferPlayerDelegate {
public:
    void audioBufferPlayer_fillBuffer_format(AudioBufferPlayer*, AudioQueueBufferRef buffer,
                                             const AudioStreamBasicDescription& format) override
    {
        ++fills;
        onMain = onMain && std::this_thread::get_id() == mainThread;
        bytesPerFrame = format.mBytesPerFrame;
        std::memset(buffer->mAudioData, 0x11, buffer->mAudioDataBytesCapacity);
        buffer->mAudioDataByteSize = buffer->mAudioDataBytesCapacity;
    }
    int fills = 0;
    uint32_t bytesPerFrame = 0;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMain = true;
};

class AudioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { AudioSessionResetForTesting(); }
    void TearDown() override { AudioSessionResetForTesting(); }
    MainThreadScope main;
};

TEST_F(AudioPlayerTest, StartPrimesThreeBuffersThenRefillsEachPlayedOneUntilStopped)
{
    // 256 packets of 16-bit stereo at 44100 Hz: about 6 ms a buffer.
    auto player = AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(44100, 2, 16, 256);
    auto filler = std::make_shared<CountingFiller>();
    player->setDelegate(filler);
    EXPECT_EQ(player->bytesPerBuffer(), 1024u);
    EXPECT_EQ(player->audioFormat().mBytesPerFrame, 4u);
    EXPECT_EQ(player->audioFormat().mFormatID, kAudioFormatLinearPCM);
    ASSERT_NE(player->playQueue(), nullptr);
    EXPECT_TRUE(AudioSessionIsActive());
    EXPECT_EQ(AudioSessionCategory(), kAudioSessionCategory_MediaPlayback);

    player->start();
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(filler->fills, 3);  // primed on the spot
    player->start();              // already playing: nothing more
    EXPECT_EQ(filler->fills, 3);
    EXPECT_TRUE(AudioQueueIsRunning(player->playQueue()));

    // Played buffers come back on this thread's run loop and are filled again.
    ASSERT_TRUE(pumpMainUntil([&] { return filler->fills >= 9; }, 10s));
    EXPECT_TRUE(filler->onMain);
    EXPECT_EQ(filler->bytesPerFrame, 4u);

    player->stop();
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(AudioQueueIsRunning(player->playQueue()));
    const int fillsAtStop = filler->fills;
    const uint64_t playedAtStop = AudioQueuePlayedBufferCount(player->playQueue());
    drainMain();  // hand-backs already posted are dropped
    EXPECT_EQ(filler->fills, fillsAtStop);
    EXPECT_EQ(AudioQueuePlayedBufferCount(player->playQueue()), playedAtStop);

    // Started again, it primes again.
    player->start();
    EXPECT_EQ(filler->fills, fillsAtStop + 3);
    player->stop();
}

TEST_F(AudioPlayerTest, GainIsTheQueuesVolume)
{
    auto player = AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_secondsPerBuffer(22050, 1, 16, 0.1);
    EXPECT_EQ(player->packetsPerBuffer(), 2205u);
    AudioQueueParameterValue volume = 0;
    ASSERT_EQ(AudioQueueGetParameter(player->playQueue(), kAudioQueueParam_Volume, &volume), kAudioQueueNoError);
    EXPECT_FLOAT_EQ(player->gain(), 1.0f);
    EXPECT_FLOAT_EQ(volume, 1.0f);
    player->setGain(0.25f);
    ASSERT_EQ(AudioQueueGetParameter(player->playQueue(), kAudioQueueParam_Volume, &volume), kAudioQueueNoError);
    EXPECT_FLOAT_EQ(player->gain(), 0.25f);
    EXPECT_FLOAT_EQ(volume, 0.25f);
}

TEST_F(AudioPlayerTest, InterruptionTearsDownAndItsEndPlaysAgainAndReleaseDisposesTheQueue)
{
    const int queuesBefore = AudioQueueLiveCount();
    auto player = AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(8000, 1, 16, 64);
    auto filler = std::make_shared<CountingFiller>();
    player->setDelegate(filler);
    player->start();
    EXPECT_EQ(AudioQueueLiveCount(), queuesBefore + 1);

    AudioSessionSimulateInterruption(kAudioSessionBeginInterruption);
    EXPECT_FALSE(player->playing());
    EXPECT_EQ(player->playQueue(), nullptr);
    EXPECT_EQ(AudioQueueLiveCount(), queuesBefore);
    EXPECT_FALSE(AudioSessionIsActive());
    player->start();  // no queue: nothing to start
    EXPECT_FALSE(player->playing());

    AudioSessionSimulateInterruption(kAudioSessionEndInterruption);
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(filler->fills, 6);
    EXPECT_TRUE(AudioSessionIsActive());
    ASSERT_TRUE(pumpMainUntil([&] { return filler->fills > 6; }, 10s));

    player.reset();  // a player gone mid-play leaves no queue and no callback behind
    EXPECT_EQ(AudioQueueLiveCount(), queuesBefore);
    const int fills = filler->fills;
    drainMain();
    EXPECT_EQ(filler->fills, fills);
    AudioSessionSimulateInterruption(kAudioSessionEndInterruption);  // reaches no player
}

TEST_F(AudioPlayerTest, BridgeFillsSilenceWithoutThePlayerAndNeverPastTheBuffer)
{
    auto ffmpeg = PZFFmpeg::create();
    auto player = AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(44100, 1, 16, 512);
    // A small buffer of the queue: the bridge's silence must stay inside it.
    AudioQueueBufferRef small = nullptr;
    ASSERT_EQ(AudioQueueAllocateBuffer(player->playQueue(), 1000, &small), kAudioQueueNoError);
    std::memset(small->mAudioData, 0x7f, 1000);
    ffmpeg->audioBufferPlayer_fillBuffer_format(player.get(), small, player->audioFormat());
    EXPECT_EQ(small->mAudioDataByteSize, 1000u);
    const auto* bytes = static_cast<const unsigned char*>(small->mAudioData);
    EXPECT_TRUE(std::all_of(bytes, bytes + 1000, [](unsigned char b) { return b == 0; }));

    AudioQueueBufferRef large = nullptr;
    ASSERT_EQ(AudioQueueAllocateBuffer(player->playQueue(), 4096, &large), kAudioQueueNoError);
    ffmpeg->audioBufferPlayer_fillBuffer_format(player.get(), large, player->audioFormat());
    EXPECT_EQ(large->mAudioDataByteSize, 2048u);
}

}  // namespace
