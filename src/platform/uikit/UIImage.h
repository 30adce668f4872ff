#pragma once
// Images: a bitmap (CGImage) with a scale (points = pixels / scale), an orientation and, for
// stretchable images, the caps that keep their size when the image is drawn larger.
//
// imageNamed looks in the main bundle: "name" means "name.png"; on a screen of scale 2 the "@2x"
// file is preferred where it exists (scale 2), and either file serves when the other is missing.
// Named images are cached until a memory warning. Files are sized from their headers (PNG, JPEG,
// GIF); decoding pixels is the job of a decoder installed with setDecoder. The platform's codecs
// (PNG through libpng, JPEG through libjpeg) are that decoder once installImageCodecs has run; the
// image cache installs them when it is first used. UIImagePNGRepresentation and
// UIImageJPEGRepresentation encode an image's pixels.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/uikit/UIGeometry.h"
#include "platform/uikit/UIKitDefines.h"

class UIImage : public NSObject {
public:
    static Ref<UIImage> imageNamed(const std::string& name);
    static Ref<UIImage> imageWithContentsOfFile(const std::string& path);
    static Ref<UIImage> imageWithData(const NSData& data);
    // The bytes as an image of the given scale (points = pixels / scale; 0 or less means 1).
    static Ref<UIImage> imageWithData_scale(const NSData& data, CGFloat scale);
    static Ref<UIImage> imageWithCGImage(CGImageRef image);
    static Ref<UIImage> imageWithCGImage_scale_orientation(CGImageRef image, CGFloat scale,
                                                           UIImageOrientation orientation);
    static Ref<UIImage> initWithContentsOfFile(const std::string& path) { return imageWithContentsOfFile(path); }
    static Ref<UIImage> initWithData(const NSData& data) { return imageWithData(data); }
    static Ref<UIImage> initWithCGImage(CGImageRef image) { return imageWithCGImage(std::move(image)); }

    CGSize size() const;  // in points, width and height swapped for the left and right orientations
    CGFloat scale() const { return scale_; }
    CGImageRef CGImage() const { return image_; }
    UIImageOrientation imageOrientation() const { return orientation_; }

    // Stretchable images: the left and top caps keep their size; the column right of the left cap and
    // the row below the top cap stretch; a cap of 0 stretches the whole image along that axis.
    Ref<UIImage> stretchableImageWithLeftCapWidth_topCapHeight(NSInteger leftCapWidth, NSInteger topCapHeight) const;
    Ref<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets) const;
    NSInteger leftCapWidth() const { return leftCapWidth_; }
    NSInteger topCapHeight() const { return topCapHeight_; }
    UIEdgeInsets capInsets() const { return capInsets_; }

    // One piece of the image drawn into a rectangle: which part of the image (points) goes where.
    struct Slice {
        CGRect source;
        CGRect destination;
    };
    // How the image is laid into rect: nine pieces for an image with caps on both axes (caps shrink
    // proportionally when the rect is smaller than they are), one for a plain image.
    std::vector<Slice> slicesForRect(CGRect rect) const;

    // Draw into the current context (one image record per slice).
    void drawAtPoint(CGPoint point) const;
    void drawInRect(CGRect rect) const;

    // Where the image came from: the file it was read from (empty otherwise) and, for named images,
    // the name asked for. The encoded bytes are kept for images read from files or data.
    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }
    const NSData& encodedData() const { return data_; }

    std::string description() const override;

    // Decodes encoded image bytes into a bitmap; its answer is final: null means the bytes are not an
    // image. Without a decoder, images are sized from their headers and carry no pixels. An empty
    // decoder uninstalls. Decoders run on whichever thread makes the image, so they must be thread-safe.
    using Decoder = std::function<CGImageRef(const NSData& bytes)>;
    static void setDecoder(Decoder decoder);
    static bool hasDecoder();
    // The platform's codecs: PNG and JPEG decoded into premultiplied pixels, GIF sized from its header
    // (no pixels). A PNG or JPEG that does not decode whole (truncated or corrupt data) is not an image,
    // and neither is one of more than kMaxDecodedPixels pixels (checked before any pixel memory is
    // taken, so a small file cannot claim gigabytes). Thread-safe.
    static constexpr size_t kMaxDecodedPixels = size_t(1) << 25;
    static CGImageRef decodeWithImageCodecs(const NSData& bytes);
    // The pixels (width x height) a PNG, JPEG or GIF says it has, read from its header alone; nullopt
    // when the bytes are none of these. Lets a caller refuse a picture before anything is decoded.
    static std::optional<size_t> pixelCountOfData(const NSData& bytes);
    // Installs decodeWithImageCodecs as the decoder unless a decoder is installed already; answers
    // whether it installed them.
    static bool installImageCodecs();
    // Drops the named-image cache (the application does so on a memory warning).
    static void clearNamedImageCache();

    UIImage() = default;

private:
    static Ref<UIImage> fromData(NSData data, CGFloat scale, std::string path);
    Ref<UIImage> copyWithCaps(NSInteger left, NSInteger top, UIEdgeInsets insets) const;

    CGImageRef image_;
    CGFloat scale_ = 1;
    UIImageOrientation orientation_ = UIImageOrientationUp;
    NSInteger leftCapWidth_ = 0;
    NSInteger topCapHeight_ = 0;
    UIEdgeInsets capInsets_;
    std::string path_;
    std::string name_;
    NSData data_;
};

// The image's pixels as a PNG file (8-bit RGBA, straight alpha); nullopt for nil or an image without
// pixels (sized only). The bitmap is written as stored: the orientation is not applied.
std::optional<NSData> UIImagePNGRepresentation(const Ref<UIImage>& image);
// The image's pixels as a baseline JPEG file, compression quality 0.0 (smallest) to 1.0 (best), clamped;
// transparent pixels come out over black. nullopt for nil or an image without pixels.
std::optional<NSData> UIImageJPEGRepresentation(const Ref<UIImage>& image, CGFloat compressionQuality);
