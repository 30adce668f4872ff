#include "platform/media/AVCaptureSession.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/media/SyntheticMedia.h"

namespace {
namespace AVCaptureSession_cpp {

constexpr double kDefaultFrameDuration = 1.0 / 30;
constexpr int kAudioRate = 44100;
constexpr int kAudioFrames = 1024;
constexpr double kToneFrequency = 440.0;
// A due time this close to the clock's reading counts as reached (clock steps and nanosecond timer
// dates round differently).
constexpr double kDueSlack = 1e-6;

bool knownPreset(const std::string& preset)
{
    int w = 0;
    int h = 0;
    AVCaptureSession::sizeOfPreset(preset, &w, &h);
    return w > 0;
}

// Copies a landscape picture into `out` turned for the orientation (landscape right is as made).
void orient(const uint8_t* in, int width, int height, AVCaptureVideoOrientation orientation, uint8_t* out)
{
    const auto* src = reinterpret_cast<const uint32_t*>(in);
    auto* dst = reinterpret_cast<uint32_t*>(out);
    switch (orientation) {
    case AVCaptureVideoOrientationPortrait:  // a quarter turn clockwise: height x width
        for (int y = 0; y < width; ++y) {
            for (int x = 0; x < height; ++x) {
                dst[static_cast<size_t>(y) * height + x] = src[static_cast<size_t>(height - 1 - x) * width + y];
            }
        }
        return;
    case AVCaptureVideoOrientationPortraitUpsideDown:  // a quarter turn counter-clockwise
        for (int y = 0; y < width; ++y) {
            for (int x = 0; x < height; ++x) {
                dst[static_cast<size_t>(y) * height + x] = src[static_cast<size_t>(x) * width + (width - 1 - y)];
            }
        }
        return;
    case AVCaptureVideoOrientationLandscapeLeft:  // a half turn
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            dst[i] = src[n - 1 - i];
        }
        return;
    case AVCaptureVideoOrientationLandscapeRight:
        break;
    }
    std::copy(src, src + static_cast<size_t>(width) * height, dst);
}

}  // namespace AVCaptureSession_cpp
}  // namespace

// ---- inputs and outputs ---------------------------------------------------------------------------

Ref<AVCaptureDeviceInput> AVCaptureDeviceInput::deviceInputWithDevice_error(const Ref<AVCaptureDevice>& device,
                                                                             Ref<NSError>* error)
{
    if (!device) {
        if (error) {
            *error = NSError::errorWithDomain_code_userInfo("AVFoundationErrorDomain", -11814);
        }
        return nullptr;
    }
    auto input = std::make_shared<AVCaptureDeviceInput>();
    input->device_ = device;
    return input;
}

std::vector<Ref<AVCaptureConnection>> AVCaptureOutput::connections() const
{
    std::lock_guard lock(mutex_);
    if (connection_) {
        return {connection_};
    }
    return {};
}

Ref<AVCaptureConnection> AVCaptureOutput::connectionWithMediaType(const std::string& mediaType) const
{
    std::lock_guard lock(mutex_);
    return connection_ && connection_->mediaType() == mediaType ? connection_ : nullptr;
}

void AVCaptureOutput::setSampleBufferDelegate_queue(const Weak<AVCaptureSampleBufferDelegate>& delegate,
                                                    const dispatch_queue_t& queue)
{
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
    queue_ = queue;
}

Ref<AVCaptureSampleBufferDelegate> AVCaptureOutput::sampleBufferDelegate() const
{
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

dispatch_queue_t AVCaptureOutput::sampleBufferCallbackQueue() const
{
    std::lock_guard lock(mutex_);
    return queue_;
}

CMTime AVCaptureVideoDataOutput::minFrameDuration() const
{
    std::lock_guard lock(mutex_);
    return minFrameDuration_;
}

void AVCaptureVideoDataOutput::setMinFrameDuration(CMTime duration)
{
    std::lock_guard lock(mutex_);
    minFrameDuration_ = duration;
}

Value AVCaptureVideoDataOutput::videoSettings() const
{
    std::lock_guard lock(mutex_);
    return videoSettings_;
}

void AVCaptureVideoDataOutput::setVideoSettings(const Value& settings)
{
    const Value format = settings[kCVPixelBufferPixelFormatTypeKey];
    if (!settings.isNil() && !format.isNil() && format.unsignedLongLongValue() != kCVPixelFormatType_32BGRA) {
        NSException::raise(NSInvalidArgumentException,
                           "*** -[AVCaptureVideoDataOutput setVideoSettings:] Unsupported pixel format type");
    }
    std::lock_guard lock(mutex_);
    videoSettings_ = settings;
}

// ---- the session ----------------------------------------------------------------------------------

struct AVCaptureSession::Engine : std::enable_shared_from_this<Engine> {
    mutable std::mutex mutex;
    std::string preset = AVCaptureSessionPresetHigh;
    std::vector<Ref<AVCaptureInput>> inputs;
    std::vector<Ref<AVCaptureOutput>> outputs;
    std::vector<std::pair<const void*, AVCaptureSession::PreviewSink>> previews;
    Weak<AVCaptureSession> owner;
    bool running = false;
    uint64_t generation = 0;  // changes at every start and stop

    dispatch_queue_t queue = dispatch_queue_create("com.apple.avfoundation.capturesession", DISPATCH_QUEUE_SERIAL);
    double nextVideo = 0;  // clock time of the next frame
    double audioStart = 0;
    int64_t framesMade = 0;  // the frame number drawn in the next picture
    int64_t audioBuffersMade = 0;
    ToneGenerator tone{AVCaptureSession_cpp::kAudioRate, AVCaptureSession_cpp::kToneFrequency};
    std::vector<uint8_t> landscape;
    std::map<std::pair<int, int>, CVPixelBufferPoolRef> pools;

    Ref<AVCaptureOutput> outputOf(const std::string& mediaType) const
    {
        for (const auto& output : outputs) {
            if (output->mediaType() == mediaType) {
                return output;
            }
        }
        return nullptr;
    }

    Ref<AVCaptureDevice> deviceOf(const std::string& mediaType) const
    {
        for (const auto& input : inputs) {
            if (auto device = std::dynamic_pointer_cast<AVCaptureDeviceInput>(input); device && input->mediaType() == mediaType) {
                return device->device();
            }
        }
        return nullptr;
    }

    double frameDuration() const
    {
        auto video = std::dynamic_pointer_cast<AVCaptureVideoDataOutput>(outputOf(AVMediaTypeVideo));
        const double d = video ? CMTimeGetSeconds(video->minFrameDuration()) : 0;
        return d > 0 ? d : AVCaptureSession_cpp::kDefaultFrameDuration;
    }

    double nextAudio() const
    {
        return audioStart + static_cast<double>(audioBuffersMade + 1) * AVCaptureSession_cpp::kAudioFrames /
                                AVCaptureSession_cpp::kAudioRate;
    }

    void start()
    {
        std::lock_guard lock(mutex);
        if (running) {
            return;
        }
        running = true;
        ++generation;
        const double now = Clock::now();
        nextVideo = now + frameDuration();
        audioStart = now;
        audioBuffersMade = 0;
        scheduleLocked(std::min(nextVideo, nextAudio()));
    }

    void stop()
    {
        std::lock_guard lock(mutex);
        if (!running) {
            return;
        }
        running = false;
        ++generation;
    }

    void scheduleLocked(double due)
    {
        const auto when = static_cast<dispatch_time_t>(std::ceil(due * 1e9));
        dispatch_after(when, queue, [weak = weak_from_this(), generation = generation] {
            if (auto self = weak.lock()) {
                self->step(generation);
            }
        });
    }

    // Makes every sample that has fallen due, in time order, and waits for the next.
    void step(uint64_t expected)
    {
        std::lock_guard lock(mutex);
        if (!running || generation != expected) {
            return;
        }
        const double now = Clock::now() + AVCaptureSession_cpp::kDueSlack;
        for (;;) {
            const double audioDue = nextAudio();
            if (nextVideo <= now && nextVideo <= audioDue) {
                makeFrameLocked(nextVideo);
                nextVideo += frameDuration();
            } else if (audioDue <= now) {
                makeAudioLocked();
            } else {
                break;
            }
        }
        scheduleLocked(std::min(nextVideo, nextAudio()));
    }

    // Posts a sample to the output's queue, unless the output is late and drops it.
    void deliverLocked(const Ref<AVCaptureOutput>& output, CMSampleBufferRef sample, bool discardLate)
    {
        Ref<AVCaptureConnection> connection;
        dispatch_queue_t target;
        {
            std::lock_guard outputLock(output->mutex_);
            connection = output->connection_;
            target = output->queue_;
        }
        if (!connection || !connection->isEnabled() || !target) {
            return;
        }
        if (discardLate && output->inFlight_.load() > 0) {
            output->dropped_.fetch_add(1);
            return;
        }
        output->inFlight_.fetch_add(1);
        output->delivered_.fetch_add(1);
        target->async([weak = weak_from_this(), output, sample = std::move(sample), connection,
                       sessionGeneration = generation, outputGeneration = output->generation_.load()] {
            auto self = weak.lock();
            bool current = false;
            if (self) {
                std::lock_guard lock(self->mutex);
                current = self->running && self->generation == sessionGeneration;
            }
            if (current && output->generation_.load() == outputGeneration) {
                if (auto delegate = output->sampleBufferDelegate()) {
                    delegate->captureOutput_didOutputSampleBuffer_fromConnection(output, sample, connection);
                }
            }
            output->inFlight_.fetch_sub(1);
        });
    }

    void makeFrameLocked(double due)
    {
        const int64_t number = ++framesMade;
        auto output = std::dynamic_pointer_cast<AVCaptureVideoDataOutput>(outputOf(AVMediaTypeVideo));
        if (!output || !deviceOf(AVMediaTypeVideo)) {
            return;
        }
        int width = 0;
        int height = 0;
        sizeOfPreset(preset, &width, &height);
        auto connection = output->connectionWithMediaType(AVMediaTypeVideo);
        const AVCaptureVideoOrientation orientation =
            connection ? connection->videoOrientation() : AVCaptureVideoOrientationLandscapeRight;
        const bool upright =
            orientation == AVCaptureVideoOrientationPortrait || orientation == AVCaptureVideoOrientationPortraitUpsideDown;
        const int outWidth = upright ? height : width;
        const int outHeight = upright ? width : height;
        CVPixelBufferPoolRef& pool = pools[{outWidth, outHeight}];
        if (!pool) {
            pool = std::make_shared<CVPixelBufferPool>(outWidth, outHeight, kCVPixelFormatType_32BGRA);
        }
        CVPixelBufferRef pixels;
        if (pool->createPixelBuffer(&pixels) != kCVReturnSuccess) {
            output->dropped_.fetch_add(1);
            return;
        }
        if (orientation == AVCaptureVideoOrientationLandscapeRight) {
            CameraTestPicture::draw(pixels->data(), width, height, pixels->bytesPerRow(), number);
        } else {
            landscape.resize(static_cast<size_t>(width) * height * 4);
            CameraTestPicture::draw(landscape.data(), width, height, static_cast<size_t>(width) * 4, number);
            AVCaptureSession_cpp::orient(landscape.data(), width, height, orientation, pixels->data());
        }
        for (const auto& [owner, sink] : previews) {
            sink(pixels);
        }
        auto sample = CMSampleBufferCreateForImageBuffer(pixels, CMTimeMakeWithSeconds(due, kCMTimeCaptureTimescale),
                                                         CMTimeMakeWithSeconds(frameDuration(), kCMTimeCaptureTimescale));
        deliverLocked(output, std::move(sample), output->alwaysDiscardsLateVideoFrames());
    }

    void makeAudioLocked()
    {
        const int64_t index = audioBuffersMade++;
        int16_t samples[AVCaptureSession_cpp::kAudioFrames];
        tone.read(samples, AVCaptureSession_cpp::kAudioFrames);
        auto output = outputOf(AVMediaTypeAudio);
        if (!output || !deviceOf(AVMediaTypeAudio)) {
            return;
        }
        AudioStreamBasicDescription format;
        format.mSampleRate = AVCaptureSession_cpp::kAudioRate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kLinearPCMFormatFlagIsSignedInteger | kLinearPCMFormatFlagIsPacked;
        format.mBytesPerPacket = 2;
        format.mFramesPerPacket = 1;
        format.mBytesPerFrame = 2;
        format.mChannelsPerFrame = 1;
        format.mBitsPerChannel = 16;
        const double start = audioStart + static_cast<double>(index) * AVCaptureSession_cpp::kAudioFrames /
                                              AVCaptureSession_cpp::kAudioRate;
        auto sample = CMSampleBufferCreateForAudio(format, samples, AVCaptureSession_cpp::kAudioFrames,
                                                   CMTimeMakeWithSeconds(start, kCMTimeCaptureTimescale));
        deliverLocked(output, std::move(sample), false);
    }
};

void AVCaptureSession::sizeOfPreset(const std::string& preset, int* width, int* height)
{
    int w = 0;
    int h = 0;
    if (preset == AVCaptureSessionPreset640x480) {
        w = 640, h = 480;
    } else if (preset == AVCaptureSessionPresetMedium) {
        w = 480, h = 360;
    } else if (preset == AVCaptureSessionPresetLow) {
        w = 192, h = 144;
    } else if (preset == AVCaptureSessionPreset352x288) {
        w = 352, h = 288;
    } else if (preset == AVCaptureSessionPresetHigh || preset == AVCaptureSessionPreset1280x720) {
        w = 1280, h = 720;
    } else if (preset == AVCaptureSessionPresetPhoto) {
        w = 852, h = 640;
    }
    if (width) {
        *width = w;
    }
    if (height) {
        *height = h;
    }
}

AVCaptureSession::AVCaptureSession() : engine_(std::make_shared<Engine>()) {}

Ref<AVCaptureSession> AVCaptureSession::create()
{
    auto session = std::make_shared<AVCaptureSession>();
    session->engine_->owner = session;
    return session;
}

AVCaptureSession::~AVCaptureSession()
{
    engine_->stop();
    std::lock_guard lock(engine_->mutex);
    for (const auto& output : engine_->outputs) {
        std::lock_guard outputLock(output->mutex_);
        output->connection_.reset();
        output->generation_.fetch_add(1);
    }
}

std::string AVCaptureSession::sessionPreset() const
{
    std::lock_guard lock(engine_->mutex);
    return engine_->preset;
}

bool AVCaptureSession::canSetSessionPreset(const std::string& preset) const
{
    return AVCaptureSession_cpp::knownPreset(preset);
}

void AVCaptureSession::setSessionPreset(const std::string& preset)
{
    if (!AVCaptureSession_cpp::knownPreset(preset)) {
        NSException::raise(NSInvalidArgumentException, "*** -[AVCaptureSession setSessionPreset:] Unsupported preset");
    }
    std::lock_guard lock(engine_->mutex);
    engine_->preset = preset;
}

bool AVCaptureSession::canAddInput(const Ref<AVCaptureInput>& input) const
{
    if (!input) {
        return false;
    }
    std::lock_guard lock(engine_->mutex);
    for (const auto& present : engine_->inputs) {
        if (present == input || present->mediaType() == input->mediaType()) {
            return false;
        }
    }
    return true;
}

void AVCaptureSession::addInput(const Ref<AVCaptureInput>& input)
{
    if (!canAddInput(input)) {
        NSException::raise(NSInvalidArgumentException, "*** -[AVCaptureSession addInput:] Cannot add input to session");
    }
    std::lock_guard lock(engine_->mutex);
    engine_->inputs.push_back(input);
}

void AVCaptureSession::removeInput(const Ref<AVCaptureInput>& input)
{
    std::lock_guard lock(engine_->mutex);
    auto& list = engine_->inputs;
    list.erase(std::remove(list.begin(), list.end(), input), list.end());
}

std::vector<Ref<AVCaptureInput>> AVCaptureSession::inputs() const
{
    std::lock_guard lock(engine_->mutex);
    return engine_->inputs;
}

bool AVCaptureSession::canAddOutput(const Ref<AVCaptureOutput>& output) const
{
    if (!output) {
        return false;
    }
    {
        std::lock_guard outputLock(output->mutex_);
        if (output->connection_) {
            return false;  // in a session already
        }
    }
    std::lock_guard lock(engine_->mutex);
    return !engine_->outputOf(output->mediaType());
}

void AVCaptureSession::addOutput(const Ref<AVCaptureOutput>& output)
{
    if (!canAddOutput(output)) {
        NSException::raise(NSInvalidArgumentException, "*** -[AVCaptureSession addOutput:] Cannot add output to session");
    }
    std::lock_guard lock(engine_->mutex);
    engine_->outputs.push_back(output);
    std::lock_guard outputLock(output->mutex_);
    output->connection_ = std::make_shared<AVCaptureConnection>(output->mediaType());
    output->session_ = engine_->owner;
}

void AVCaptureSession::removeOutput(const Ref<AVCaptureOutput>& output)
{
    if (!output) {
        return;
    }
    std::lock_guard lock(engine_->mutex);
    auto& list = engine_->outputs;
    if (std::find(list.begin(), list.end(), output) == list.end()) {
        return;
    }
    list.erase(std::remove(list.begin(), list.end(), output), list.end());
    std::lock_guard outputLock(output->mutex_);
    output->connection_.reset();
    output->session_.reset();
    output->generation_.fetch_add(1);
}

std::vector<Ref<AVCaptureOutput>> AVCaptureSession::outputs() const
{
    std::lock_guard lock(engine_->mutex);
    return engine_->outputs;
}

void AVCaptureSession::addPreview(const void* owner, PreviewSink sink)
{
    std::lock_guard lock(engine_->mutex);
    engine_->previews.emplace_back(owner, std::move(sink));
}

void AVCaptureSession::removePreview(const void* owner)
{
    std::lock_guard lock(engine_->mutex);
    auto& previews = engine_->previews;
    previews.erase(std::remove_if(previews.begin(), previews.end(), [owner](const auto& p) { return p.first == owner; }),
                   previews.end());
}

// Changes take effect at once; the pair only brackets them, as on the phone.
void AVCaptureSession::beginConfiguration() {}
void AVCaptureSession::commitConfiguration() {}

void AVCaptureSession::startRunning() { engine_->start(); }

void AVCaptureSession::stopRunning() { engine_->stop(); }

bool AVCaptureSession::isRunning() const
{
    std::lock_guard lock(engine_->mutex);
    return engine_->running;
}
