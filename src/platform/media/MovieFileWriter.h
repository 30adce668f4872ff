#pragma once
// Writes an MPEG-4 movie the way the phone's camera does, so that the file can be read while it grows:
//   - H.264 Main profile, no B-frames, one slice per frame, samples of 4-byte length-prefixed NAL units
//     holding only coded slices (0x65 for key frames, 0x41 otherwise): no parameter sets in the samples
//     (they are in the index's "avcC") and no encoder SEI;
//   - raw AAC LC frames (1024 samples, no ADTS header), mono;
//   - the media data first ("mdat"), every sample flushed to the file as soon as it is encoded, and the
//     index ("moov") written only by finishWriting.
// Encoding runs on the calling thread: appendVideoFrame and appendAudioSamples return once the
// resulting samples are in the file. One writer is used from one thread at a time.
//
// Frames are timed by their count (frame n at n / frameRate) or, with explicitTimes, by the time given
// with each frame; sound is continuous from its start sample. The muxer is chosen by name ("mp4" or
// "mov"), never guessed from the file's extension.
//
// This is the movie writing half of the media stand-in; it is carried by FFmpeg's libavformat and
// libavcodec (libx264 and the native AAC encoder).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct MovieFileSettings {
    int width = 480;
    int height = 360;
    int frameRate = 30;
    int keyFrameInterval = 30;  // frames from one key frame to the next
    int videoBitRate = 800000;
    int audioSampleRate = 44100;
    int audioBitRate = 64000;
    std::string muxer = "mp4";
    int h264Level = 0;         // 31 for level 3.1; 0 leaves it to the encoder
    int rotation = 0;          // clockwise degrees the movie is turned by when shown (display matrix)
    bool explicitTimes = false;  // appendVideoFrameAt gives each frame's time
    bool hasVideo = true;
    bool hasAudio = true;
};

enum class MovieTrack { Video, Audio };

// One sample as it went into the file.
struct MovieFilePacket {
    MovieTrack track = MovieTrack::Video;
    int64_t index = 0;       // n-th sample of its track, from 0
    double time = 0;         // presentation time in seconds
    int64_t fileOffset = 0;  // where the sample's bytes start in the file
    uint32_t size = 0;       // bytes of the sample in the file
    bool keyFrame = false;
};

// A 4:2:0 planar picture (Y, Cb, Cr) of the writer's size.
struct MovieVideoFrame {
    const uint8_t* planes[3] = {};
    int strides[3] = {};
};

class MovieFileWriter {
public:
    MovieFileWriter();
    ~MovieFileWriter();  // a movie not finished is closed without its index
    MovieFileWriter(const MovieFileWriter&) = delete;
    MovieFileWriter& operator=(const MovieFileWriter&) = delete;

    // Creates the file and writes its head; false (see error()) when a codec or the file fails.
    bool startWriting(const std::string& path, const MovieFileSettings& settings);
    // Encodes the next frame, at frame number × 1 / frameRate.
    bool appendVideoFrame(const MovieVideoFrame& frame);
    // With explicitTimes: encodes a frame shown at time / timescale seconds from the movie's start;
    // false for a time not after the previous frame's.
    bool appendVideoFrameAt(const MovieVideoFrame& frame, int64_t time, int32_t timescale);
    // Mono samples in [-1, 1] at the audio sample rate; encoded every 1024 samples.
    bool appendAudioSamples(const float* samples, size_t count);
    // Where the sound starts, in samples from the movie's start (before the first audio append only).
    void setAudioStartSample(int64_t sample);
    // Encodes what is still buffered, writes the index and closes the file.
    bool finishWriting();

    // Called on the writing thread after each sample has been written and flushed to the file.
    void setPacketHandler(std::function<void(const MovieFilePacket&)> handler);

    bool isWriting() const;
    const std::string& error() const;
    int64_t videoFramesAppended() const;
    int64_t audioSamplesAppended() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
