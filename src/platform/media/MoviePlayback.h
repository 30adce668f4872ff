#pragma once
// One movie playing: what both of the platform's players (MPMoviePlayerController, AVPlayer) stand on.
//
// A playback opens its movie - a file path, a file URL or an HTTP URL - on a thread of its own, decodes
// it with FFmpeg's libraries and hands each video frame to the main thread at its presentation time on
// the process clock (Clock), so a manual clock drives playback in tests exactly as real time does.
// The sound track plays on the sound output (AudioOutput.h), decoded a little ahead of what is heard;
// under the real clock the timeline is the sound played (the picture follows the sound, as players
// do), and once the sound has played out, the clock. Pause, seek and close silence it at once.
//
// The timeline: while playing, the position runs with the clock from where it last started; paused, it
// stands. A seek moves it and shows the frame found there at once (also while paused). The first frame
// is shown as soon as the movie is opened, before play.
//
// Events reach the listener on the main thread, in this order: ready (or failed), frames, ended. A
// playback that was closed delivers nothing more, even events already on their way.
//
// Every member is called on the main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGColor.h"

struct MoviePlaybackListener {
    // The movie is open and its first frame was shown: its length in seconds (0 when unknown) and its
    // picture size in pixels (0 x 0 without video).
    std::function<void(double duration, CGSize size)> ready;
    // The movie cannot be opened or decoded (missing file, unreachable host, not a movie).
    std::function<void(const std::string& reason)> failed;
    // A frame to show now, with its time on the movie's timeline.
    std::function<void(const CGImageRef& image, double time)> frame;
    // The timeline reached the movie's end while playing.
    std::function<void()> ended;
};

class MoviePlayback : public std::enable_shared_from_this<MoviePlayback> {
public:
    // Starts opening at once. `location` is a path, a "file://" URL or an "http(s)://" URL.
    static std::shared_ptr<MoviePlayback> open(const std::string& location, MoviePlaybackListener listener);
    ~MoviePlayback();

    void play();
    void pause();
    void seek(double seconds);
    // Stops the thread and drops every event not yet delivered. Waits a moment for the thread to end;
    // one stuck in a read is left to end by itself rather than holding the caller. Idempotent.
    void close();

    bool isPlaying() const;
    bool isReady() const;
    bool hasEnded() const;
    // The timeline's position in seconds (within [0, duration] once the duration is known).
    double currentTime() const;
    double duration() const;
    CGSize naturalSize() const;
    // For tests: the sound output's frame count (AudioOutput::framesMixed) when the frame being
    // delivered now was sent to the main thread - when it was due, however late the main thread runs.
    std::uint64_t outputFramesWhenFrameWasHanded() const;

    MoviePlayback(const MoviePlayback&) = delete;
    MoviePlayback& operator=(const MoviePlayback&) = delete;

    struct Shared;
    MoviePlayback();

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
