#include "platform/uikit/UIImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIScreen.h"

using namespace NSString;

namespace {

struct PixelSize {
    size_t width = 0;
    size_t height = 0;
};

uint32_t bigEndian32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint16_t bigEndian16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

std::optional<PixelSize> pngSize(const uint8_t* b, size_t n)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n < 24 || std::memcmp(b, signature, 8) != 0) {
        return std::nullopt;
    }
    // The header chunk comes first, or second after the phone's own optimisation chunk ("CgBI").
    size_t offset = 8;
    for (int chunk = 0; chunk < 2 && offset + 16 <= n; ++chunk) {
        const uint32_t length = bigEndian32(b + offset);
        if (std::memcmp(b + offset + 4, "IHDR", 4) == 0 && length >= 8 && offset + 16 <= n) {
            const uint32_t w = bigEndian32(b + offset + 8);
            const uint32_t h = bigEndian32(b + offset + 12);
            if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) {
                return std::nullopt;
            }
            return PixelSize{w, h};
        }
        if (length > n) {
            return std::nullopt;
        }
        offset += 12 + size_t(length);
    }
    return std::nullopt;
}

std::optional<PixelSize> jpegSize(const uint8_t* b, size_t n)
{
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) {
        return std::nullopt;
    }
    size_t i = 2;
    while (i + 1 < n) {
        if (b[i] != 0xFF) {
            return std::nullopt;
        }
        while (i < n && b[i] == 0xFF) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const uint8_t marker = b[i++];
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue;  // markers without a segment
        }
        if (marker == 0xD9 || i + 2 > n) {
            break;
        }
        const uint16_t length = bigEndian16(b + i);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || i + 7 > n) {
                return std::nullopt;
            }
            const uint16_t h = bigEndian16(b + i + 3);
            const uint16_t w = bigEndian16(b + i + 5);
            if (w == 0 || h == 0) {
                return std::nullopt;
            }
            return PixelSize{w, h};
        }
        if (length < 2) {
            return std::nullopt;
        }
        i += length;
    }
    return std::nullopt;
}

std::optional<PixelSize> gifSize(const uint8_t* b, size_t n)
{
    if (n < 10 || std::memcmp(b, "GIF8", 4) != 0) {
        return std::nullopt;
    }
    const size_t w = size_t(b[6]) | (size_t(b[7]) << 8);
    const size_t h = size_t(b[8]) | (size_t(b[9]) << 8);
    if (w == 0 || h == 0) {
        return std::nullopt;
    }
    return PixelSize{w, h};
}

CGImageRef sizedImage(const NSData& data)
{
    const uint8_t* b = data.bytes();
    const size_t n = data.length();
    std::optional<PixelSize> size = pngSize(b, n);
    if (!size) size = jpegSize(b, n);
    if (!size) size = gifSize(b, n);
    if (!size) {
        return nullptr;
    }
    return CGImage::create(size->width, size->height);
}

// Process-wide and never destroyed, like the images they hold.
std::mutex& registryMutex()
{
    static auto* mutex = new std::mutex();
    return *mutex;
}

UIImage::Decoder& decoder()
{
    static auto* installed = new UIImage::Decoder();
    return *installed;
}

std::map<std::string, Ref<UIImage>>& namedCache()
{
    static auto* cache = new std::map<std::string, Ref<UIImage>>();
    return *cache;
}

// The scale a file name implies: "name@2x.png" is a double-resolution image.
CGFloat scaleOfFile(const std::string& path)
{
    return hasSuffix(stringByDeletingPathExtension(lastPathComponent(path)), "@2x") ? 2 : 1;
}

// One axis of the nine-slice layout: source and destination segments.
struct Segment {
    CGFloat sourceStart, sourceLength, destinationStart, destinationLength;
};

std::vector<Segment> axis(CGFloat sourceLength, CGFloat startCap, CGFloat endCap, CGFloat destinationStart,
                          CGFloat destinationLength)
{
    if (startCap <= 0 && endCap <= 0) {
        return {{0, sourceLength, destinationStart, destinationLength}};
    }
    CGFloat a = startCap;
    CGFloat b = endCap;
    if (a + b > destinationLength && a + b > 0) {
        a = destinationLength * startCap / (startCap + endCap);
        b = destinationLength - a;
    }
    std::vector<Segment> out;
    auto add = [&](CGFloat ss, CGFloat sl, CGFloat ds, CGFloat dl) {
        if (sl > 0 && dl > 0) {
            out.push_back({ss, sl, ds, dl});
        }
    };
    add(0, startCap, destinationStart, a);
    add(startCap, sourceLength - startCap - endCap, destinationStart + a, destinationLength - a - b);
    add(sourceLength - endCap, endCap, destinationStart + destinationLength - b, b);
    return out;
}

}  // namespace

void UIImage::setDecoder(Decoder installed)
{
    std::lock_guard lock(registryMutex());
    decoder() = std::move(installed);
}

void UIImage::clearNamedImageCache()
{
    std::lock_guard lock(registryMutex());
    namedCache().clear();
}

Ref<UIImage> UIImage::fromData(NSData data, CGFloat scale, std::string path)
{
    Decoder decode;
    {
        std::lock_guard lock(registryMutex());
        decode = decoder();
    }
    CGImageRef bitmap = decode ? decode(data) : nullptr;
    if (!bitmap) {
        bitmap = sizedImage(data);
    }
    if (!bitmap) {
        return nullptr;
    }
    auto image = std::make_shared<UIImage>();
    image->image_ = std::move(bitmap);
    image->scale_ = scale;
    image->path_ = std::move(path);
    image->data_ = std::move(data);
    return image;
}

Ref<UIImage> UIImage::imageWithContentsOfFile(const std::string& path)
{
    auto data = NSData::dataWithContentsOfFile(path);
    if (!data) {
        return nullptr;
    }
    return fromData(std::move(*data), scaleOfFile(path), path);
}

Ref<UIImage> UIImage::imageWithData(const NSData& data) { return fromData(data, 1, ""); }

Ref<UIImage> UIImage::imageWithCGImage(CGImageRef image)
{
    return imageWithCGImage_scale_orientation(std::move(image), 1, UIImageOrientationUp);
}

Ref<UIImage> UIImage::imageWithCGImage_scale_orientation(CGImageRef image, CGFloat scale,
                                                         UIImageOrientation orientation)
{
    if (!image) {
        return nullptr;
    }
    auto result = std::make_shared<UIImage>();
    result->image_ = std::move(image);
    result->scale_ = scale > 0 ? scale : 1;
    result->orientation_ = orientation;
    return result;
}

Ref<UIImage> UIImage::imageNamed(const std::string& name)
{
    if (name.empty()) {
        return nullptr;
    }
    const CGFloat screenScale = UIScreen::mainScreen()->scale();
    const std::string key = name + (screenScale >= 2 ? "@2" : "@1");
    {
        std::lock_guard lock(registryMutex());
        if (auto it = namedCache().find(key); it != namedCache().end()) {
            return it->second;
        }
    }
    std::string extension = pathExtension(name);
    std::string stem = stringByDeletingPathExtension(name);
    if (extension.empty()) {
        extension = "png";
    }
    if (hasSuffix(stem, "@2x")) {
        stem.resize(stem.size() - 3);
    }
    const std::string directory = NSBundle::mainBundle()->resourcePath();
    const std::string single = stringByAppendingPathComponent(directory, stem + "." + extension);
    const std::string twice = stringByAppendingPathComponent(directory, stem + "@2x." + extension);
    const std::vector<std::string> candidates =
        screenScale >= 2 ? std::vector<std::string>{twice, single} : std::vector<std::string>{single, twice};
    Ref<UIImage> image;
    for (const std::string& path : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error) && (image = imageWithContentsOfFile(path))) {
            break;
        }
    }
    if (image) {
        image->name_ = name;
        std::lock_guard lock(registryMutex());
        namedCache()[key] = image;
    }
    return image;
}

CGSize UIImage::size() const
{
    const CGFloat w = CGFloat(image_->width()) / scale_;
    const CGFloat h = CGFloat(image_->height()) / scale_;
    switch (orientation_) {
    case UIImageOrientationLeft:
    case UIImageOrientationRight:
    case UIImageOrientationLeftMirrored:
    case UIImageOrientationRightMirrored:
        return {h, w};
    default:
        return {w, h};
    }
}

Ref<UIImage> UIImage::copyWithCaps(NSInteger left, NSInteger top, UIEdgeInsets insets) const
{
    auto copy = std::make_shared<UIImage>();
    copy->image_ = image_;
    copy->scale_ = scale_;
    copy->orientation_ = orientation_;
    copy->path_ = path_;
    copy->name_ = name_;
    copy->data_ = data_;
    copy->leftCapWidth_ = left;
    copy->topCapHeight_ = top;
    copy->capInsets_ = insets;
    return copy;
}

Ref<UIImage> UIImage::stretchableImageWithLeftCapWidth_topCapHeight(NSInteger leftCapWidth,
                                                                     NSInteger topCapHeight) const
{
    const CGSize s = size();
    // Caps that would leave no stretchable column or row are cut to leave one.
    const NSInteger left = std::clamp<NSInteger>(leftCapWidth, 0, std::max<NSInteger>(0, NSInteger(s.width) - 1));
    const NSInteger top = std::clamp<NSInteger>(topCapHeight, 0, std::max<NSInteger>(0, NSInteger(s.height) - 1));
    UIEdgeInsets insets;
    insets.left = CGFloat(left);
    insets.top = CGFloat(top);
    insets.right = left > 0 ? s.width - CGFloat(left) - 1 : 0;
    insets.bottom = top > 0 ? s.height - CGFloat(top) - 1 : 0;
    return copyWithCaps(left, top, insets);
}

Ref<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets capInsets) const
{
    return copyWithCaps(NSInteger(capInsets.left), NSInteger(capInsets.top), capInsets);
}

std::vector<UIImage::Slice> UIImage::slicesForRect(CGRect rect) const
{
    rect = CGRectStandardize(rect);
    const CGSize s = size();
    const auto xs = axis(s.width, capInsets_.left, capInsets_.right, rect.origin.x, rect.size.width);
    const auto ys = axis(s.height, capInsets_.top, capInsets_.bottom, rect.origin.y, rect.size.height);
    std::vector<Slice> slices;
    for (const Segment& y : ys) {
        for (const Segment& x : xs) {
            slices.push_back({CGRectMake(x.sourceStart, y.sourceStart, x.sourceLength, y.sourceLength),
                              CGRectMake(x.destinationStart, y.destinationStart, x.destinationLength,
                                         y.destinationLength)});
        }
    }
    return slices;
}

void UIImage::drawAtPoint(CGPoint point) const
{
    const CGSize s = size();
    drawInRect(CGRectMake(point.x, point.y, s.width, s.height));
}

void UIImage::drawInRect(CGRect rect) const
{
    CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context) {
        return;
    }
    for (const Slice& slice : slicesForRect(rect)) {
        const CGRect pixels = CGRectMake(slice.source.origin.x * scale_, slice.source.origin.y * scale_,
                                         slice.source.size.width * scale_, slice.source.size.height * scale_);
        context->drawImage(slice.destination, image_, pixels);
    }
}

std::string UIImage::description() const
{
    return NSObject::description() + " " + NSStringFromCGSize(size()) + (name_.empty() ? "" : " \"" + name_ + "\"");
}
