#include "platform/media/AVAssetWriter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSURL.h"
#include "platform/media/AVAsset.h"
#include "platform/media/AVCaptureDevice.h"
#include "platform/media/MovieFileWriter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {
namespace AVAssetWriter_cpp {

constexpr long kAVErrorFileAlreadyExists = -11823;
constexpr long kAVErrorInvalidOutputURL = -11835;  // stand-in code for a URL that is not a file's
// Sound this far from where the timeline expects it is moved there (silence or a cut); closer, it is
// taken as continuous.
constexpr int64_t kAudioSlackSamples = 512;

Ref<NSError> makeError(long code, const std::string& description)
{
    Value info = Value::dictionary();
    info.setObject_forKey(description, NSLocalizedDescriptionKey);
    return NSError::errorWithDomain_code_userInfo(AVFoundationErrorDomain, code, info);
}

// Clockwise quarter turns of a rotation transform, in degrees.
int rotationDegrees(CGAffineTransform t)
{
    const double degrees = std::atan2(t.b, t.a) * 180.0 / 3.14159265358979323846;
    int quarter = static_cast<int>(std::lround(degrees / 90.0)) * 90 % 360;
    return quarter < 0 ? quarter + 360 : quarter;
}

// 31 from "H264_Main_3_1", 30 from "H264_Main_3_0"; 0 when there is no level in the name.
int levelOf(const std::string& profileLevel)
{
    const size_t last = profileLevel.rfind('_');
    if (last == std::string::npos || last < 2 || profileLevel[last - 2] != '_') {
        return 0;
    }
    const char major = profileLevel[last - 1];
    const char minor = last + 1 < profileLevel.size() ? profileLevel[last + 1] : '0';
    if (major < '1' || major > '5' || minor < '0' || minor > '9') {
        return 0;
    }
    return (major - '0') * 10 + (minor - '0');
}

}  // namespace AVAssetWriter_cpp
}  // namespace

struct AVAssetWriter::Impl {
    mutable std::mutex mutex;
    AVAssetWriterStatus status = AVAssetWriterStatusUnknown;
    Ref<NSError> error;
    std::vector<Ref<AVAssetWriterInput>> inputs;
    std::string path;
    std::unique_ptr<MovieFileWriter> movie;
    MovieFileSettings settings;
    CMTime sessionStart = kCMTimeInvalid;
    int64_t beforeSession = 0;

    // Video conversion from BGRA pixel buffers to the encoder's 4:2:0 planes.
    SwsContext* sws = nullptr;
    std::vector<uint8_t> planes[3];

    // Sound: converted to float mono at the movie's rate; placed by time.
    SwrContext* swr = nullptr;
    int swrRate = 0;
    int swrChannels = 0;
    bool swrFloat = false;
    bool audioStarted = false;
    int64_t nextAudioSample = 0;  // where the next converted sample goes, from the session start
    std::vector<float> converted;

    ~Impl()
    {
        sws_freeContext(sws);
        swr_free(&swr);
    }

    Ref<AVAssetWriterInput> inputOf(const std::string& mediaType) const
    {
        for (const auto& input : inputs) {
            if (input->mediaType() == mediaType) {
                return input;
            }
        }
        return nullptr;
    }

    void failWith(const std::string& what)
    {
        status = AVAssetWriterStatusFailed;
        error = AVAssetWriter_cpp::makeError(AVErrorUnknown, what);
    }

    bool ensureResampler(const AudioStreamBasicDescription& format)
    {
        const bool isFloat = (format.mFormatFlags & kLinearPCMFormatFlagIsFloat) != 0;
        const int rate = static_cast<int>(std::lround(format.mSampleRate));
        const int channels = static_cast<int>(format.mChannelsPerFrame);
        if (swr && rate == swrRate && channels == swrChannels && isFloat == swrFloat) {
            return true;
        }
        swr_free(&swr);
        AVChannelLayout in;
        AVChannelLayout out;
        av_channel_layout_default(&in, channels);
        av_channel_layout_default(&out, 1);
        const int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_FLT, settings.audioSampleRate, &in,
                                           isFloat ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16, rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        // Mixed down as the average of the channels, so a tone keeps its level.
        std::vector<double> matrix(static_cast<size_t>(channels), 1.0 / channels);
        if (rc >= 0 && channels > 1) {
            swr_set_matrix(swr, matrix.data(), channels);
        }
        if (rc < 0 || swr_init(swr) < 0) {
            swr_free(&swr);
            return false;
        }
        swrRate = rate;
        swrChannels = channels;
        swrFloat = isFloat;
        return true;
    }

    // Lays `count` converted samples that belong at `at` (samples from the session start) on the
    // timeline and hands them to the encoder.
    bool placeAudio(const float* samples, int64_t count, int64_t at)
    {
        if (!audioStarted) {
            if (at < 0) {  // begins before the session: keep what lies after its start
                const int64_t cut = std::min(count, -at);
                samples += cut;
                count -= cut;
                at = 0;
                ++beforeSession;
                if (count == 0) {
                    return true;
                }
            }
            audioStarted = true;
            movie->setAudioStartSample(at);
            nextAudioSample = at;
        } else if (at > nextAudioSample + AVAssetWriter_cpp::kAudioSlackSamples) {
            const std::vector<float> silence(static_cast<size_t>(at - nextAudioSample), 0.0f);
            if (!movie->appendAudioSamples(silence.data(), silence.size())) {
                return false;
            }
            nextAudioSample = at;
        } else if (at + AVAssetWriter_cpp::kAudioSlackSamples < nextAudioSample) {
            const int64_t cut = std::min(count, nextAudioSample - at);
            samples += cut;
            count -= cut;
        }
        if (count > 0 && !movie->appendAudioSamples(samples, static_cast<size_t>(count))) {
            return false;
        }
        nextAudioSample += count;
        return true;
    }
};

// ---- inputs --------------------------------------------------------------------------------------

Ref<AVAssetWriterInput> AVAssetWriterInput::assetWriterInputWithMediaType_outputSettings(const std::string& mediaType,
                                                                                        const Value& outputSettings)
{
    if (mediaType != AVMediaTypeVideo && mediaType != AVMediaTypeAudio) {
        NSException::raise(NSInvalidArgumentException,
                           "*** -[AVAssetWriterInput initWithMediaType:outputSettings:] Unsupported media type");
    }
    auto input = std::make_shared<AVAssetWriterInput>();
    input->mediaType_ = mediaType;
    input->outputSettings_ = outputSettings;
    return input;
}

bool AVAssetWriterInput::isReadyForMoreMediaData() const
{
    auto writer = writer_.lock();
    return writer && writer->isReady(*this);
}

bool AVAssetWriterInput::appendSampleBuffer(const CMSampleBufferRef& sampleBuffer)
{
    auto writer = writer_.lock();
    if (!writer || !CMSampleBufferDataIsReady(sampleBuffer)) {
        return false;
    }
    if (mediaType_ == AVMediaTypeVideo) {
        return writer->appendVideo(*this, CMSampleBufferGetImageBuffer(sampleBuffer),
                                   CMSampleBufferGetPresentationTimeStamp(sampleBuffer));
    }
    return writer->appendAudio(*this, sampleBuffer);
}

void AVAssetWriterInput::markAsFinished()
{
    if (auto writer = writer_.lock()) {
        writer->markFinished(*this);
    } else {
        finished_ = true;
    }
}

void AVAssetWriterInput::setForcesNotReady(bool value)
{
    auto writer = writer_.lock();
    if (!writer) {
        forcesNotReady_ = value;
        return;
    }
    std::lock_guard lock(writer->impl_->mutex);
    forcesNotReady_ = value;
}

Ref<AVAssetWriterInputPixelBufferAdaptor>
AVAssetWriterInputPixelBufferAdaptor::assetWriterInputPixelBufferAdaptorWithAssetWriterInput_sourcePixelBufferAttributes(
    const Ref<AVAssetWriterInput>& input, const Value& sourcePixelBufferAttributes)
{
    if (!input || input->mediaType() != AVMediaTypeVideo) {
        NSException::raise(NSInvalidArgumentException,
                           "*** -[AVAssetWriterInputPixelBufferAdaptor initWithAssetWriterInput:sourcePixelBufferAttributes:] "
                           "input must be a video input");
    }
    auto adaptor = std::make_shared<AVAssetWriterInputPixelBufferAdaptor>();
    adaptor->input_ = input;
    adaptor->attributes_ = sourcePixelBufferAttributes;
    return adaptor;
}

CVPixelBufferPoolRef AVAssetWriterInputPixelBufferAdaptor::pixelBufferPool() const
{
    auto writer = input_->writer_.lock();
    if (!writer) {
        return nullptr;
    }
    const AVAssetWriterStatus status = writer->status();
    if (status != AVAssetWriterStatusWriting && status != AVAssetWriterStatusCompleted) {
        return nullptr;
    }
    std::lock_guard lock(poolMutex_);
    if (!pool_) {
        Value attributes = Value::dictionary();
        const Value& settings = input_->outputSettings();
        const Value width = attributes_[kCVPixelBufferWidthKey];
        const Value height = attributes_[kCVPixelBufferHeightKey];
        attributes.setObject_forKey(static_cast<unsigned long long>(kCVPixelFormatType_32BGRA), kCVPixelBufferPixelFormatTypeKey);
        attributes.setObject_forKey(width.isNil() ? settings[AVVideoWidthKey] : width, kCVPixelBufferWidthKey);
        attributes.setObject_forKey(height.isNil() ? settings[AVVideoHeightKey] : height, kCVPixelBufferHeightKey);
        CVPixelBufferPoolCreate(nullptr, Value(), attributes, &pool_);
    }
    return pool_;
}

bool AVAssetWriterInputPixelBufferAdaptor::appendPixelBuffer_withPresentationTime(const CVPixelBufferRef& pixelBuffer,
                                                                                 CMTime presentationTime)
{
    auto writer = input_->writer_.lock();
    return writer && writer->appendVideo(*input_, pixelBuffer, presentationTime);
}

// ---- the writer -----------------------------------------------------------------------------------

AVAssetWriter::AVAssetWriter() : impl_(std::make_unique<Impl>()) {}

AVAssetWriter::~AVAssetWriter() = default;

Ref<AVAssetWriter> AVAssetWriter::assetWriterWithURL_fileType_error(const Ref<NSURL>& url, const std::string& fileType,
                                                                    Ref<NSError>* error)
{
    const auto refuse = [&](long code, const std::string& what) -> Ref<AVAssetWriter> {
        if (error) {
            *error = AVAssetWriter_cpp::makeError(code, what);
        }
        return nullptr;
    };
    if (!url || !url->isFileURL() || url->path().empty()) {
        return refuse(AVAssetWriter_cpp::kAVErrorInvalidOutputURL, "The output URL is not a file URL");
    }
    if (fileType != AVFileTypeMPEG4 && fileType != AVFileTypeQuickTimeMovie) {
        return refuse(AVErrorUnknown, "Unsupported file type " + fileType);
    }
    std::error_code ignored;
    if (std::filesystem::exists(url->path(), ignored)) {
        return refuse(AVAssetWriter_cpp::kAVErrorFileAlreadyExists, "Cannot Save: the file already exists");
    }
    auto writer = std::make_shared<AVAssetWriter>();
    writer->url_ = url;
    writer->fileType_ = fileType;
    writer->impl_->path = url->path();
    writer->impl_->settings.muxer = fileType == AVFileTypeMPEG4 ? "mp4" : "mov";
    return writer;
}

AVAssetWriterStatus AVAssetWriter::status() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->status;
}

Ref<NSError> AVAssetWriter::error() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->error;
}

bool AVAssetWriter::canAddInput(const Ref<AVAssetWriterInput>& input) const
{
    if (!input || !input->writer_.expired()) {
        return false;
    }
    std::lock_guard lock(impl_->mutex);
    return impl_->status == AVAssetWriterStatusUnknown && !impl_->inputOf(input->mediaType());
}

void AVAssetWriter::addInput(const Ref<AVAssetWriterInput>& input)
{
    if (!canAddInput(input)) {
        NSException::raise(NSInvalidArgumentException, "*** -[AVAssetWriter addInput:] Cannot add the input");
    }
    std::lock_guard lock(impl_->mutex);
    input->writer_ = self<AVAssetWriter>();
    impl_->inputs.push_back(input);
}

std::vector<Ref<AVAssetWriterInput>> AVAssetWriter::inputs() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->inputs;
}

bool AVAssetWriter::startWriting()
{
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    if (m.status != AVAssetWriterStatusUnknown) {
        NSException::raise(NSInternalInconsistencyException,
                           "*** -[AVAssetWriter startWriting] Cannot call method when status is " + std::to_string(m.status));
    }
    MovieFileSettings& s = m.settings;
    s.explicitTimes = true;
    s.hasVideo = false;
    s.hasAudio = false;
    if (auto video = m.inputOf(AVMediaTypeVideo)) {
        const Value& v = video->outputSettings();
        const Value& c = v[AVVideoCompressionPropertiesKey];
        if (v[AVVideoCodecKey].stringValue() != AVVideoCodecH264) {
            m.failWith("Unsupported video codec " + v[AVVideoCodecKey].stringValue());
            return false;
        }
        s.hasVideo = true;
        s.width = v[AVVideoWidthKey].intValue();
        s.height = v[AVVideoHeightKey].intValue();
        if (!c[AVVideoAverageBitRateKey].isNil()) {
            s.videoBitRate = static_cast<int>(std::lround(c[AVVideoAverageBitRateKey].doubleValue()));
        }
        if (!c[AVVideoMaxKeyFrameIntervalKey].isNil()) {
            s.keyFrameInterval = c[AVVideoMaxKeyFrameIntervalKey].intValue();
        }
        s.h264Level = AVAssetWriter_cpp::levelOf(c[AVVideoProfileLevelKey].stringValue());
        s.rotation = AVAssetWriter_cpp::rotationDegrees(video->transform());
    }
    if (auto audio = m.inputOf(AVMediaTypeAudio)) {
        const Value& a = audio->outputSettings();
        if (a[AVFormatIDKey].unsignedLongLongValue() != kAudioFormatMPEG4AAC ||
            (!a[AVNumberOfChannelsKey].isNil() && a[AVNumberOfChannelsKey].intValue() != 1)) {
            m.failWith("Unsupported audio settings: AAC with one channel is written");
            return false;
        }
        s.hasAudio = true;
        if (!a[AVSampleRateKey].isNil()) {
            s.audioSampleRate = static_cast<int>(std::lround(a[AVSampleRateKey].doubleValue()));
        }
        if (!a[AVEncoderBitRateKey].isNil()) {
            s.audioBitRate = a[AVEncoderBitRateKey].intValue();
        }
    }
    if (!s.hasVideo && !s.hasAudio) {
        m.failWith("The writer has no inputs");
        return false;
    }
    m.movie = std::make_unique<MovieFileWriter>();
    if (!m.movie->startWriting(m.path, s)) {
        m.failWith(m.movie->error());
        m.movie.reset();
        return false;
    }
    m.status = AVAssetWriterStatusWriting;
    return true;
}

void AVAssetWriter::startSessionAtSourceTime(CMTime startTime)
{
    if (!CMTIME_IS_VALID(startTime)) {
        NSException::raise(NSInvalidArgumentException,
                           "*** -[AVAssetWriter startSessionAtSourceTime:] invalid parameter not satisfying: CMTIME_IS_NUMERIC(startTime)");
    }
    std::lock_guard lock(impl_->mutex);
    if (impl_->status != AVAssetWriterStatusWriting || CMTIME_IS_VALID(impl_->sessionStart)) {
        NSException::raise(NSInternalInconsistencyException,
                           "*** -[AVAssetWriter startSessionAtSourceTime:] Cannot call method when status is " +
                               std::to_string(impl_->status));
    }
    impl_->sessionStart = startTime;
}

CMTime AVAssetWriter::sessionStartTime() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->sessionStart;
}

int64_t AVAssetWriter::samplesBeforeSession() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->beforeSession;
}

bool AVAssetWriter::isReady(const AVAssetWriterInput& input) const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->status == AVAssetWriterStatusWriting && !input.finished_ && !input.forcesNotReady_;
}

void AVAssetWriter::markFinished(AVAssetWriterInput& input)
{
    std::lock_guard lock(impl_->mutex);
    input.finished_ = true;
}

bool AVAssetWriter::appendVideo(const AVAssetWriterInput& input, const CVPixelBufferRef& pixels, CMTime time)
{
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    if (m.status != AVAssetWriterStatusWriting || input.finished_ || !CMTIME_IS_VALID(m.sessionStart) || !pixels ||
        pixels->pixelFormat() != kCVPixelFormatType_32BGRA || !CMTIME_IS_VALID(time)) {
        return false;
    }
    if (CMTimeCompare(time, m.sessionStart) < 0) {
        ++m.beforeSession;
        return true;
    }
    const MovieFileSettings& s = m.settings;
    m.sws = sws_getCachedContext(m.sws, pixels->width(), pixels->height(), AV_PIX_FMT_BGRA, s.width, s.height,
                                 AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m.sws) {
        m.failWith("Cannot convert the pixel buffer");
        return false;
    }
    const int chromaWidth = (s.width + 1) / 2;
    const int chromaHeight = (s.height + 1) / 2;
    m.planes[0].resize(static_cast<size_t>(s.width) * s.height);
    m.planes[1].resize(static_cast<size_t>(chromaWidth) * chromaHeight);
    m.planes[2].resize(m.planes[1].size());
    MovieVideoFrame frame;
    for (int i = 0; i < 3; ++i) {
        frame.planes[i] = m.planes[i].data();
        frame.strides[i] = i == 0 ? s.width : chromaWidth;
    }
    const uint8_t* source[1] = {pixels->data()};
    const int sourceStride[1] = {static_cast<int>(pixels->bytesPerRow())};
    uint8_t* destination[3] = {m.planes[0].data(), m.planes[1].data(), m.planes[2].data()};
    sws_scale(m.sws, source, sourceStride, 0, pixels->height(), destination, frame.strides);
    const CMTime at = CMTimeSubtract(time, m.sessionStart);
    return m.movie->appendVideoFrameAt(frame, at.value, at.timescale);
}

bool AVAssetWriter::appendAudio(const AVAssetWriterInput& input, const CMSampleBufferRef& sample)
{
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    const AudioStreamBasicDescription* format =
        CMAudioFormatDescriptionGetStreamBasicDescription(CMSampleBufferGetFormatDescription(sample));
    size_t length = 0;
    const uint8_t* bytes = CMSampleBufferGetAudioBytes(sample, &length);
    const CMTime time = CMSampleBufferGetPresentationTimeStamp(sample);
    if (m.status != AVAssetWriterStatusWriting || input.finished_ || !CMTIME_IS_VALID(m.sessionStart) || !format ||
        !bytes || !CMTIME_IS_VALID(time)) {
        return false;
    }
    if (!m.ensureResampler(*format)) {
        m.failWith("Cannot convert the sound");
        return false;
    }
    const int frames = static_cast<int>(CMSampleBufferGetNumSamples(sample));
    const int room = swr_get_out_samples(m.swr, frames);
    m.converted.resize(static_cast<size_t>(std::max(room, 0)));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(m.converted.data())};
    const uint8_t* in[1] = {bytes};
    const int made = swr_convert(m.swr, out, room, in, frames);
    if (made < 0) {
        m.failWith("Cannot convert the sound");
        return false;
    }
    // Where the converted sound belongs: the buffer's time, less what the resampler still holds back.
    const double offset = CMTimeGetSeconds(CMTimeSubtract(time, m.sessionStart));
    const int64_t held = swr_get_delay(m.swr, m.settings.audioSampleRate);
    const int64_t at = std::llround(offset * m.settings.audioSampleRate) - held +
                       (static_cast<int64_t>(frames) * m.settings.audioSampleRate / std::max(m.swrRate, 1) - made);
    return m.placeAudio(m.converted.data(), made, at);
}

bool AVAssetWriter::finishWriting()
{
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    if (m.status != AVAssetWriterStatusWriting) {
        return false;
    }
    for (const auto& input : m.inputs) {
        input->finished_ = true;
    }
    if (m.swr && m.audioStarted) {
        const int room = swr_get_out_samples(m.swr, 0);
        if (room > 0) {
            m.converted.resize(static_cast<size_t>(room));
            uint8_t* out[1] = {reinterpret_cast<uint8_t*>(m.converted.data())};
            const int made = swr_convert(m.swr, out, room, nullptr, 0);
            if (made > 0) {
                m.movie->appendAudioSamples(m.converted.data(), static_cast<size_t>(made));
            }
        }
    }
    if (!m.movie->finishWriting()) {
        m.failWith(m.movie->error());
        m.movie.reset();
        return false;
    }
    m.movie.reset();
    m.status = AVAssetWriterStatusCompleted;
    return true;
}

void AVAssetWriter::cancelWriting()
{
    Impl& m = *impl_;
    std::lock_guard lock(m.mutex);
    if (m.status != AVAssetWriterStatusWriting && m.status != AVAssetWriterStatusUnknown) {
        return;
    }
    for (const auto& input : m.inputs) {
        input->finished_ = true;
    }
    m.movie.reset();
    std::error_code ignored;
    std::filesystem::remove(m.path, ignored);
    m.status = AVAssetWriterStatusCancelled;
}
