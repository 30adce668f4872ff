#pragma once
// A movie file as the source of a chain. startProcessing opens the movie and, on a loading thread,
// reads its first video track frame by frame as 32-bit BGRA; each frame is handed to the main thread,
// which uploads it into the output texture and tells every target its size and that it is ready,
// while the loading thread waits. Frames go out as fast as they are read, with no timing.
#include <mutex>

#include "capture/gpu/GPUOutput.h"
#include "platform/media/CVPixelBuffer.h"

class NSURL;

class GPUMovie : public GPUOutput {
public:
    static Ref<GPUMovie> initWithURL(const Ref<NSURL>& url);

    Ref<NSURL> url() const;
    void setUrl(const Ref<NSURL>& url);

    // Starts reading on a loading thread; "Error reading" is logged when the movie cannot be read.
    void startProcessing();
    // Main thread: the current frame into the output texture, then to the targets.
    void processFrame();
    void endProcessing() {}

    GPUMovie();

protected:
    void initWithURLBody(const Ref<NSURL>& url);

private:
    void readMovie();

    mutable std::mutex urlMutex_;
    Ref<NSURL> url_;
    CVPixelBufferRef currentPixelBuffer_;  // set by the loading thread while main waits
};
