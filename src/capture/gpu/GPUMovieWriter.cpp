#include "capture/gpu/GPUMovieWriter.h"

#include <cmath>

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/uikit/UIDevice.h"

// Each output pixel is the input texel with its components in the order blue, green, red, alpha, so
// that RGBA bytes read back from the framebuffer are the BGRA bytes of the pixel buffer.
const char* const kGPUColorSwizzlingFragmentShaderString = R"(
varying highp vec2 textureCoordinate;

uniform sampler2D inputImageTexture;

void main()
{
    gl_FragColor = texture2D(inputImageTexture, textureCoordinate).bgra;
}
)";

namespace {
namespace GPUMovieWriter_cpp {

const GLfloat kSquareVertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
const GLfloat kTextureCoordinates[] = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};
constexpr double kPi = 3.14159265358979323846;

// Quarter turns of the video for the device's orientation when the writer is set up.
int quarterTurnsFor(UIDeviceOrientation orientation)
{
    switch (orientation) {
    case UIDeviceOrientationPortrait:
        return 0;
    case UIDeviceOrientationPortraitUpsideDown:
        return 2;
    case UIDeviceOrientationLandscapeLeft:
        return 3;
    case UIDeviceOrientationLandscapeRight:
        return 1;
    default:
        return 3;  // unknown, face up, face down
    }
}

}  // namespace GPUMovieWriter_cpp
}  // namespace

GPUMovieWriter::GPUMovieWriter() = default;

GPUMovieWriter::~GPUMovieWriter()
{
    destroyDataFBO();
}

Ref<GPUMovieWriter> GPUMovieWriter::initWithMovieURL_size(const Ref<NSURL>& newMovieURL, CGSize newSize)
{
    auto writer = std::make_shared<GPUMovieWriter>();
    writer->initWithMovieURL_sizeBody(newMovieURL, newSize);
    return writer;
}

void GPUMovieWriter::initWithMovieURL_sizeBody(const Ref<NSURL>& newMovieURL, CGSize newSize)
{
    initBody();
    videoSize_ = newSize;
    movieURL_ = newMovieURL;
    GPUOpenGLESContext::useImageProcessingContext();
    Ref<GLProgram> program = GLProgram::initWithVertexShaderString_fragmentShaderString(
        std::string(kGPUVertexShaderString), std::string(kGPUColorSwizzlingFragmentShaderString));
    program->addAttribute("position");
    program->addAttribute("inputTextureCoordinate");
    GPUFilterLinkOrFail(program);
    colorSwizzlingProgram_ = program;
    colorSwizzlingPositionAttribute_ = static_cast<GLint>(program->attributeIndex("position"));
    colorSwizzlingTextureCoordinateAttribute_ = static_cast<GLint>(program->attributeIndex("inputTextureCoordinate"));
    colorSwizzlingInputTextureUniform_ = program->uniformIndex("inputImageTexture");
    program->use();
    glEnableVertexAttribArray(static_cast<GLuint>(colorSwizzlingPositionAttribute_));
    glEnableVertexAttribArray(static_cast<GLuint>(colorSwizzlingTextureCoordinateAttribute_));
    initializeMovie();
}

void GPUMovieWriter::initializeMovie()
{
    Ref<NSError> error;
    assetWriter_ = AVAssetWriter::assetWriterWithURL_fileType_error(movieURL_, AVFileTypeMPEG4, &error);
    if (error) {
        NSLog("Error: %@", error);
    }
    const auto width = static_cast<int>(std::lround(videoSize_.width));
    const auto height = static_cast<int>(std::lround(videoSize_.height));

    Value cleanAperture = Value::dictionary();
    cleanAperture.setObject_forKey(width, AVVideoCleanApertureWidthKey);
    cleanAperture.setObject_forKey(height, AVVideoCleanApertureHeightKey);
    cleanAperture.setObject_forKey(10, AVVideoCleanApertureHorizontalOffsetKey);
    cleanAperture.setObject_forKey(10, AVVideoCleanApertureVerticalOffsetKey);
    Value pixelAspect = Value::dictionary();
    pixelAspect.setObject_forKey(1, AVVideoPixelAspectRatioHorizontalSpacingKey);
    pixelAspect.setObject_forKey(1, AVVideoPixelAspectRatioVerticalSpacingKey);
    Value compression = Value::dictionary();
    compression.setObject_forKey(786432.0, AVVideoAverageBitRateKey);
    compression.setObject_forKey(120, AVVideoMaxKeyFrameIntervalKey);
    compression.setObject_forKey(cleanAperture, AVVideoCleanApertureKey);
    compression.setObject_forKey(pixelAspect, AVVideoPixelAspectRatioKey);
    compression.setObject_forKey(AVVideoProfileLevelH264Main31, AVVideoProfileLevelKey);
    Value videoSettings = Value::dictionary();
    videoSettings.setObject_forKey(AVVideoCodecH264, AVVideoCodecKey);
    videoSettings.setObject_forKey(width, AVVideoWidthKey);
    videoSettings.setObject_forKey(height, AVVideoHeightKey);
    videoSettings.setObject_forKey(compression, AVVideoCompressionPropertiesKey);

    assetWriterVideoInput_ = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeVideo, videoSettings);
    assetWriterVideoInput_->setExpectsMediaDataInRealTime(true);
    const int turns = GPUMovieWriter_cpp::quarterTurnsFor(UIDevice::currentDevice()->orientation());
    assetWriterVideoInput_->setTransform(CGAffineTransformMakeRotation(turns * GPUMovieWriter_cpp::kPi / 2));

    Value bufferAttributes = Value::dictionary();
    bufferAttributes.setObject_forKey(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA), kCVPixelBufferPixelFormatTypeKey);
    bufferAttributes.setObject_forKey(width, kCVPixelBufferWidthKey);
    bufferAttributes.setObject_forKey(height, kCVPixelBufferHeightKey);
    assetWriterPixelBufferInput_ = AVAssetWriterInputPixelBufferAdaptor::
        assetWriterInputPixelBufferAdaptorWithAssetWriterInput_sourcePixelBufferAttributes(assetWriterVideoInput_,
                                                                                         bufferAttributes);
    if (assetWriter_) {
        assetWriter_->addInput(assetWriterVideoInput_);
    }

    AudioChannelLayout layout;
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_Mono;
    Value audioSettings = Value::dictionary();
    audioSettings.setObject_forKey(static_cast<unsigned long long>(kAudioFormatMPEG4AAC), AVFormatIDKey);
    audioSettings.setObject_forKey(1, AVNumberOfChannelsKey);
    audioSettings.setObject_forKey(44100.0, AVSampleRateKey);
    audioSettings.setObject_forKey(64000, AVEncoderBitRateKey);
    audioSettings.setObject_forKey(NSData(&layout, sizeof layout), AVChannelLayoutKey);
    assetWriterAudioInput_ = AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(AVMediaTypeAudio, audioSettings);
    assetWriterAudioInput_->setExpectsMediaDataInRealTime(true);
    if (assetWriter_) {
        assetWriter_->addInput(assetWriterAudioInput_);
    }
}

void GPUMovieWriter::startRecording()
{
    std::lock_guard lock(mutex_);
    if (state_ != State::SetUp || !assetWriter_) {
        return;
    }
    if (!assetWriter_->startWriting()) {
        NSLog("Error: %@", assetWriter_->error());
        state_ = State::Finished;
        return;
    }
    state_ = State::Writing;
    // Without a frame seen there is no time to start at yet: the first frame starts the movie.
    if (CMTIME_IS_VALID(currentTime_)) {
        assetWriter_->startSessionAtSourceTime(currentTime_);
        sessionStarted_ = true;
    }
}

void GPUMovieWriter::finishRecording()
{
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing) {
        state_ = State::Finished;
        return;
    }
    state_ = State::Finished;
    assetWriterVideoInput_->markAsFinished();
    assetWriter_->finishWriting();
}

void GPUMovieWriter::newAudioFrame(const CMSampleBufferRef& sampleBuffer)
{
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing || !sessionStarted_ || !assetWriterAudioInput_->isReadyForMoreMediaData()) {
        return;
    }
    if (assetWriterAudioInput_->appendSampleBuffer(sampleBuffer)) {
        ++audioBuffersAppended_;
    }
}

void GPUMovieWriter::newFrameReady()
{
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Writing || !assetWriterVideoInput_->isReadyForMoreMediaData()) {
            return;
        }
        if (!sessionStarted_) {
            if (!CMTIME_IS_VALID(currentTime_)) {
                return;
            }
            assetWriter_->startSessionAtSourceTime(currentTime_);
            sessionStarted_ = true;
        }
    }

    GPUOpenGLESContext::useImageProcessingContext();
    renderAtInternalSize();

    CVPixelBufferRef pixelBuffer;
    if (CVPixelBufferPoolCreatePixelBuffer(nullptr, assetWriterPixelBufferInput_->pixelBufferPool(), &pixelBuffer) !=
        kCVReturnSuccess) {
        std::lock_guard lock(mutex_);
        ++framesLost_;
        return;
    }
    CVPixelBufferLockBaseAddress(pixelBuffer, 0);
    glReadPixels(0, 0, static_cast<GLsizei>(videoSize_.width), static_cast<GLsizei>(videoSize_.height), GL_RGBA,
                 GL_UNSIGNED_BYTE, CVPixelBufferGetBaseAddress(pixelBuffer));
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Writing) {
            if (assetWriterPixelBufferInput_->appendPixelBuffer_withPresentationTime(pixelBuffer, currentTime_)) {
                ++framesAppended_;
            } else {
                NSLog("Problem appending pixel buffer at time: %lld", currentTime_.value);
                ++framesLost_;
            }
        }
    }
    CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
}

void GPUMovieWriter::setInputTexture_atIndex(GLuint newInputTexture, GLint)
{
    inputTextureForMovieRendering_ = newInputTexture;
}

void GPUMovieWriter::createDataFBO()
{
    glActiveTexture(GL_TEXTURE1);
    glGenFramebuffers(1, &movieFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, movieFramebuffer_);
    glGenRenderbuffers(1, &movieRenderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, movieRenderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, static_cast<GLsizei>(videoSize_.width),
                          static_cast<GLsizei>(videoSize_.height));
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, movieRenderbuffer_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    NSAssert(status == GL_FRAMEBUFFER_COMPLETE, "Incomplete filter FBO: %d", status);
}

void GPUMovieWriter::destroyDataFBO()
{
    if (movieFramebuffer_ || movieRenderbuffer_) {
        GPUOpenGLESContext::useImageProcessingContext();
    }
    if (movieFramebuffer_) {
        glDeleteFramebuffers(1, &movieFramebuffer_);
        movieFramebuffer_ = 0;
    }
    if (movieRenderbuffer_) {
        glDeleteRenderbuffers(1, &movieRenderbuffer_);
        movieRenderbuffer_ = 0;
    }
}

void GPUMovieWriter::setFilterFBO()
{
    if (!movieFramebuffer_) {
        createDataFBO();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, movieFramebuffer_);
    glViewport(0, 0, static_cast<GLsizei>(videoSize_.width), static_cast<GLsizei>(videoSize_.height));
}

void GPUMovieWriter::renderAtInternalSize()
{
    GPUOpenGLESContext::useImageProcessingContext();
    setFilterFBO();
    colorSwizzlingProgram_->use();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glActiveTexture(GL_TEXTURE4);
    glBindTexture(GL_TEXTURE_2D, inputTextureForMovieRendering_);
    glUniform1i(colorSwizzlingInputTextureUniform_, 4);
    glVertexAttribPointer(static_cast<GLuint>(colorSwizzlingPositionAttribute_), 2, GL_FLOAT, GL_FALSE, 0,
                          GPUMovieWriter_cpp::kSquareVertices);
    glVertexAttribPointer(static_cast<GLuint>(colorSwizzlingTextureCoordinateAttribute_), 2, GL_FLOAT, GL_FALSE, 0,
                          GPUMovieWriter_cpp::kTextureCoordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

CMTime GPUMovieWriter::currentTime() const
{
    std::lock_guard lock(mutex_);
    return currentTime_;
}

void GPUMovieWriter::setCurrentTime(CMTime time)
{
    std::lock_guard lock(mutex_);
    currentTime_ = time;
}

int GPUMovieWriter::framesAppended() const
{
    std::lock_guard lock(mutex_);
    return framesAppended_;
}

int GPUMovieWriter::audioBuffersAppended() const
{
    std::lock_guard lock(mutex_);
    return audioBuffersAppended_;
}

int GPUMovieWriter::framesLost() const
{
    std::lock_guard lock(mutex_);
    return framesLost_;
}
