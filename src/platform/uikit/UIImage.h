#pragma once
// Images: a bitmap (CGImage) with a scale (points = pixels / scale), an orientation and, for
// stretchable images, the caps that keep their size when the image is drawn larger.
//
// imageNamed looks in the main bundle: "name" means "name.png"; on a screen of scale 2 the "@2x"
// file is preferred where it exists (scale 2), and either file serves when the other is missing.
// Named images are cached until a memory warning. Files are sized from their headers (PNG, JPEG,
// GIF); decoding pixels is the job of a decoder installed with setDecoder (the image codecs do so).
#include <functional>
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

    // Decodes encoded image bytes into a bitmap with pixels; null when the bytes are not an image it
    // reads. Without a decoder, images are sized from their headers and carry no pixels.
    using Decoder = std::function<CGImageRef(const NSData& bytes)>;
    static void setDecoder(Decoder decoder);
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
