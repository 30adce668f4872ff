#pragma once
// The end of the recording chain that writes the clip: each filtered frame is drawn into a framebuffer
// of the movie's size with its colour components swizzled, read back straight into a pooled BGRA pixel
// buffer and appended to the video track at the camera's time (currentTime, set by the camera for every
// frame); the camera's audio sample buffers go unchanged to the audio track (PZAudioInput).
//
// The file: MPEG-4 (whatever its extension), H.264 Main level 3.1 at 786432 bit/s with a key frame at
// least every 120 frames, AAC mono 44100 Hz at 64 kbit/s; the video track is turned for display by the
// device's orientation when the writer was made. It can be read while it grows (see AVAssetWriter.h).
//
// States: set up (everything refused) -> startRecording -> writing -> finishRecording -> finished (the
// file is complete; everything refused). A writer writes one file once.
//   - Recording may be started before the camera has delivered a frame: the movie then starts at the
//     first frame that arrives, and sound before it is left out.
//   - Frames arrive on the chain's thread (main), sound on the camera's audio queue. One lock covers the
//     readiness test and the append of either, and the finishing of the file, so sound appended while
//     the file is being finished never reaches a finished file.
#include <mutex>

#include "capture/gpu/GLProgram.h"
#include "capture/gpu/GPUOutput.h"
#include "platform/media/AVAssetWriter.h"
#include "platform/media/CMSampleBuffer.h"

class NSURL;

// The drawing program's fragment shader: the input texel with its components in b, g, r, a order.
extern const char* const kGPUColorSwizzlingFragmentShaderString;

// How the camera hands its sound to the writer.
class PZAudioInput {
public:
    virtual ~PZAudioInput() = default;
    virtual void newAudioFrame(const CMSampleBufferRef& sampleBuffer) = 0;
};

class GPUMovieWriter : public NSObject, public GPUInput, public PZAudioInput {
public:
    static Ref<GPUMovieWriter> initWithMovieURL_size(const Ref<NSURL>& newMovieURL, CGSize newSize);

    // Sets up the file, its tracks and the pixel buffer adaptor.
    void initializeMovie();
    // Starts writing; the movie's timeline starts at currentTime (the camera time of the last frame
    // seen), or at the next frame when none has been seen yet.
    void startRecording();
    // Marks the video finished and completes the file before it returns.
    void finishRecording();

    // --- PZAudioInput (any thread) ---
    void newAudioFrame(const CMSampleBufferRef& sampleBuffer) override;

    // --- GPUInput (the chain's thread) ---
    void newFrameReady() override;
    void setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex) override;
    GLint nextAvailableTextureIndex() override { return 0; }
    void setInputSize(CGSize newSize) override {}
    CGSize maximumOutputSize() override { return CGSizeZero; }

    // --- Drawing ---
    void createDataFBO();
    void destroyDataFBO();
    void setFilterFBO();
    void presentFramebuffer() {}
    void renderAtInternalSize();

    CMTime currentTime() const;
    void setCurrentTime(CMTime time);

    CGSize videoSize() const { return videoSize_; }
    const Ref<NSURL>& movieURL() const { return movieURL_; }
    const Ref<AVAssetWriter>& assetWriter() const { return assetWriter_; }
    const Ref<AVAssetWriterInput>& assetWriterVideoInput() const { return assetWriterVideoInput_; }
    const Ref<AVAssetWriterInput>& assetWriterAudioInput() const { return assetWriterAudioInput_; }
    const Ref<AVAssetWriterInputPixelBufferAdaptor>& assetWriterPixelBufferInput() const
    {
        return assetWriterPixelBufferInput_;
    }
    GLuint inputTextureForMovieRendering() const { return inputTextureForMovieRendering_; }
    // Frames and sound buffers appended, and frames lost (no pool buffer or a failed append).
    int framesAppended() const;
    int audioBuffersAppended() const;
    int framesLost() const;

    GPUMovieWriter();
    ~GPUMovieWriter() override;

protected:
    void initWithMovieURL_sizeBody(const Ref<NSURL>& newMovieURL, CGSize newSize);

private:
    enum class State { SetUp, Writing, Finished };

    CGSize videoSize_{0, 0};
    Ref<NSURL> movieURL_;
    Ref<AVAssetWriter> assetWriter_;
    Ref<AVAssetWriterInput> assetWriterVideoInput_;
    Ref<AVAssetWriterInput> assetWriterAudioInput_;
    Ref<AVAssetWriterInputPixelBufferAdaptor> assetWriterPixelBufferInput_;

    GLuint movieFramebuffer_ = 0;
    GLuint movieRenderbuffer_ = 0;
    Ref<GLProgram> colorSwizzlingProgram_;
    GLint colorSwizzlingPositionAttribute_ = -1;
    GLint colorSwizzlingTextureCoordinateAttribute_ = -1;
    GLint colorSwizzlingInputTextureUniform_ = -1;
    GLuint inputTextureForMovieRendering_ = 0;

    // Guards everything below and every append to the asset writer.
    mutable std::mutex mutex_;
    CMTime currentTime_ = kCMTimeInvalid;
    State state_ = State::SetUp;
    bool sessionStarted_ = false;
    int framesAppended_ = 0;
    int audioBuffersAppended_ = 0;
    int framesLost_ = 0;
};
