#pragma once
// Movie files as assets: an asset made from a file URL answers its duration, and an image generator
// gives the still of a movie at a time as an image (premultiplied ARGB pixels). Carried by FFmpeg's
// libavformat (container), libavcodec (decoding) and libswscale (pixel conversion).
//
// An asset opens its file when made; a file that is missing or not a movie gives an asset with a zero,
// invalid duration and no tracks, as on the phone (the asset itself is still made). Assets and
// generators may be used from any thread, one thread at a time each.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/media/CMTime.h"

class NSError;
class NSURL;


// Asset options: "AVURLAssetPreferPreciseDurationAndTimingKey" (bool). Without precise timing the
// duration is the container's; with it, the last sample's end is measured.
inline constexpr char AVURLAssetPreferPreciseDurationAndTimingKey[] = "AVURLAssetPreferPreciseDurationAndTimingKey";

// Error domain of the image generator's failures.
inline constexpr char AVFoundationErrorDomain[] = "AVFoundationErrorDomain";
inline constexpr long AVErrorUnknown = -11800;
inline constexpr long AVErrorDecodeFailed = -11821;
inline constexpr long AVErrorNoDataCaptured = -11805;

struct AVAssetState;

class AVAsset : public NSObject {
public:
    CMTime duration() const;
    // Whether the file was opened as a movie.
    bool isReadable() const;
    bool hasVideoTrack() const;
    // The video track's coded size (pixels), (0, 0) without one.
    CGSize naturalSize() const;
    // The rotation the movie asks for when shown, in degrees (0, 90, 180 or 270).
    int preferredRotation() const;
    const std::string& path() const;

    ~AVAsset() override;

protected:
    friend class AVAssetImageGenerator;
    std::shared_ptr<AVAssetState> state_;
};

class AVURLAsset : public AVAsset {
public:
    static Ref<AVURLAsset> URLAssetWithURL_options(const Ref<NSURL>& url, const Value& options = Value());
    static Ref<AVURLAsset> initWithURL_options(const Ref<NSURL>& url, const Value& options = Value())
    {
        return URLAssetWithURL_options(url, options);
    }
    Ref<NSURL> URL() const { return url_; }

    AVURLAsset() = default;

private:
    Ref<NSURL> url_;
};

// Aperture modes of the generator.
inline constexpr char AVAssetImageGeneratorApertureModeCleanAperture[] = "AVAssetImageGeneratorApertureModeCleanAperture";
inline constexpr char AVAssetImageGeneratorApertureModeProductionAperture[] =
    "AVAssetImageGeneratorApertureModeProductionAperture";
inline constexpr char AVAssetImageGeneratorApertureModeEncodedPixels[] = "AVAssetImageGeneratorApertureModeEncodedPixels";

class AVAssetImageGenerator : public NSObject {
public:
    static Ref<AVAssetImageGenerator> assetImageGeneratorWithAsset(const Ref<AVAsset>& asset);
    static Ref<AVAssetImageGenerator> initWithAsset(const Ref<AVAsset>& asset)
    {
        return assetImageGeneratorWithAsset(asset);
    }

    bool appliesPreferredTrackTransform() const { return appliesPreferredTrackTransform_; }
    void setAppliesPreferredTrackTransform(bool value) { appliesPreferredTrackTransform_ = value; }
    const std::string& apertureMode() const { return apertureMode_; }
    void setApertureMode(const std::string& mode) { apertureMode_ = mode; }
    // (0, 0): the movie's own size; otherwise the still is scaled to fit inside, keeping its shape.
    CGSize maximumSize() const { return maximumSize_; }
    void setMaximumSize(CGSize size) { maximumSize_ = size; }

    // The still shown at `requestedTime`: the last frame whose time is at or before it (the first frame
    // when the time lies before every frame, the last when after). Null with an error (domain
    // AVFoundationErrorDomain) when the asset has no video or nothing decodes. `actualTime` receives
    // the chosen frame's time.
    CGImageRef copyCGImageAtTime_actualTime_error(CMTime requestedTime, CMTime* actualTime, Ref<NSError>* error);

    Ref<AVAsset> asset() const { return asset_; }

    AVAssetImageGenerator() = default;

private:
    Ref<AVAsset> asset_;
    bool appliesPreferredTrackTransform_ = false;
    std::string apertureMode_ = AVAssetImageGeneratorApertureModeCleanAperture;
    CGSize maximumSize_ = {0, 0};
};
