#include "platform/uikit/UIImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include <csetjmp>
#include <cstdio>  // before the JPEG headers, which use FILE

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

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

// ---- The platform's codecs (libpng, libjpeg) --------------------------------------------------------
// Pixels are premultiplied ARGB words (alpha in the top byte); files hold straight colour.

uint32_t packPremultiplied(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    if (a != 255) {
        r = (r * a + 127) / 255;
        g = (g * a + 127) / 255;
        b = (b * a + 127) / 255;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Straight red, green, blue and alpha of a premultiplied pixel.
void unpackStraight(uint32_t pixel, uint8_t* rgba)
{
    const uint32_t a = pixel >> 24;
    uint32_t r = (pixel >> 16) & 0xFF;
    uint32_t g = (pixel >> 8) & 0xFF;
    uint32_t b = pixel & 0xFF;
    if (a == 0) {
        r = g = b = 0;
    } else if (a != 255) {
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    rgba[0] = uint8_t(r);
    rgba[1] = uint8_t(g);
    rgba[2] = uint8_t(b);
    rgba[3] = uint8_t(a);
}

bool tooManyPixels(size_t width, size_t height)
{
    return width == 0 || height == 0 || width > UIImage::kMaxDecodedPixels / height;
}

// The phone's build tools rewrite PNG files into a private variant (a "CgBI" chunk first, colours
// swapped, raw deflate) that no standard decoder reads; such files are sized only.
bool isPhoneOptimisedPNG(const uint8_t* b, size_t n)
{
    return n >= 16 && std::memcmp(b + 12, "CgBI", 4) == 0;
}

CGImageRef decodePNG(const uint8_t* b, size_t n)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, b, n)) {
        png_image_free(&image);
        return nullptr;
    }
    if (tooManyPixels(image.width, image.height)) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    const size_t width = image.width;
    const size_t height = image.height;
    std::vector<uint32_t> pixels(width * height);
    // The file's RGBA bytes land in the pixel words, which are then rewritten in place one by one.
    if (!png_image_finish_read(&image, nullptr, pixels.data(), png_int_32(width * 4), nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    for (uint32_t& word : pixels) {
        uint8_t rgba[4];
        std::memcpy(rgba, &word, 4);
        word = packPremultiplied(rgba[0], rgba[1], rgba[2], rgba[3]);
    }
    return CGImage::create(width, height, std::move(pixels));
}

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// decoding or encoding call. Everything the library changes lives in one heap object, so nothing the
// jump skips over needs destroying.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool truncated;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void jpegEmitMessage(j_common_ptr info, int level)
{
    // Warnings are tolerated except a file that ends early (the library would fill the rest with
    // grey and call it a picture).
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<JpegErrors*>(info->err)->truncated = true;
    }
}

void jpegOutputMessage(j_common_ptr) {}

void installJpegErrors(JpegErrors& errors)
{
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegErrorExit;
    errors.manager.emit_message = jpegEmitMessage;
    errors.manager.output_message = jpegOutputMessage;
}

struct JpegDecoding {
    jpeg_decompress_struct info;
    JpegErrors errors;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> row;
    size_t width;
    size_t height;
};

// May jump out (through jpegErrorExit) from any library call; it keeps no locals that need destroying.
bool runJpegDecoding(JpegDecoding& d, const uint8_t* b, size_t n)
{
    jpeg_mem_src(&d.info, b, static_cast<unsigned long>(n));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    if (tooManyPixels(d.info.image_width, d.info.image_height)) {
        return false;
    }
    const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
    d.info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (!jpeg_start_decompress(&d.info)) {
        return false;
    }
    d.width = d.info.output_width;
    d.height = d.info.output_height;
    const size_t components = size_t(d.info.output_components);
    if (tooManyPixels(d.width, d.height) || components != (cmyk ? 4u : 3u)) {
        return false;
    }
    // Files written by the usual desktop tools store CMYK inverted (they say so in an Adobe segment).
    const bool inverted = d.info.saw_Adobe_marker;
    d.pixels.resize(d.width * d.height);
    d.row.resize(d.width * components);
    while (d.info.output_scanline < d.info.output_height) {
        const size_t y = d.info.output_scanline;
        JSAMPROW rows[1] = {d.row.data()};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) {
            return false;
        }
        uint32_t* out = d.pixels.data() + y * d.width;
        const uint8_t* in = d.row.data();
        for (size_t x = 0; x < d.width; ++x, in += components) {
            if (cmyk) {
                uint32_t c = in[0], m = in[1], yellow = in[2], k = in[3];
                if (!inverted) {
                    c = 255 - c, m = 255 - m, yellow = 255 - yellow, k = 255 - k;
                }
                out[x] = packPremultiplied((c * k + 127) / 255, (m * k + 127) / 255, (yellow * k + 127) / 255, 255);
            } else {
                out[x] = packPremultiplied(in[0], in[1], in[2], 255);
            }
        }
    }
    jpeg_finish_decompress(&d.info);
    return !d.errors.truncated;
}

CGImageRef decodeJPEG(const uint8_t* b, size_t n)
{
    auto d = std::make_unique<JpegDecoding>();
    d->info.err = &d->errors.manager;
    installJpegErrors(d->errors);
    if (setjmp(d->errors.jump)) {
        jpeg_destroy_decompress(&d->info);
        return nullptr;
    }
    jpeg_create_decompress(&d->info);
    const bool decoded = runJpegDecoding(*d, b, n);
    jpeg_destroy_decompress(&d->info);
    if (!decoded) {
        return nullptr;
    }
    return CGImage::create(d->width, d->height, std::move(d->pixels));
}

struct JpegEncoding {
    jpeg_compress_struct info;
    JpegErrors errors;
    unsigned char* buffer;
    unsigned long size;
    std::vector<uint8_t> row;
};

void runJpegEncoding(JpegEncoding& e, const CGImage& image, int quality)
{
    jpeg_mem_dest(&e.info, &e.buffer, &e.size);
    e.info.image_width = JDIMENSION(image.width());
    e.info.image_height = JDIMENSION(image.height());
    e.info.input_components = 3;
    e.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.info);
    jpeg_set_quality(&e.info, quality, TRUE);
    jpeg_start_compress(&e.info, TRUE);
    e.row.resize(image.width() * 3);
    const uint32_t* pixels = image.pixels().data();
    while (e.info.next_scanline < e.info.image_height) {
        const uint32_t* in = pixels + size_t(e.info.next_scanline) * image.width();
        for (size_t x = 0; x < image.width(); ++x) {
            // Premultiplied colour is the colour over black.
            e.row[x * 3] = uint8_t(in[x] >> 16);
            e.row[x * 3 + 1] = uint8_t(in[x] >> 8);
            e.row[x * 3 + 2] = uint8_t(in[x]);
        }
        JSAMPROW rows[1] = {e.row.data()};
        jpeg_write_scanlines(&e.info, rows, 1);
    }
    jpeg_finish_compress(&e.info);
}

std::optional<NSData> encodeJPEG(const CGImage& image, int quality)
{
    auto e = std::make_unique<JpegEncoding>();
    e->info.err = &e->errors.manager;
    installJpegErrors(e->errors);
    if (setjmp(e->errors.jump)) {
        jpeg_destroy_compress(&e->info);
        std::free(e->buffer);
        return std::nullopt;
    }
    jpeg_create_compress(&e->info);
    runJpegEncoding(*e, image, quality);
    NSData data(e->buffer, e->size);
    jpeg_destroy_compress(&e->info);
    std::free(e->buffer);
    return data;
}

std::optional<NSData> encodePNG(const CGImage& image)
{
    std::vector<uint8_t> rgba(image.width() * image.height() * 4);
    const std::vector<uint32_t>& pixels = image.pixels();
    for (size_t i = 0; i < pixels.size(); ++i) {
        unpackStraight(pixels[i], rgba.data() + i * 4);
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width());
    png.height = png_uint_32(image.height());
    png.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(png, size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    std::vector<uint8_t> out(size);
    const bool written = png_image_write_to_memory(&png, out.data(), &size, 0, rgba.data(), 0, nullptr);
    png_image_free(&png);
    if (!written) {
        return std::nullopt;
    }
    out.resize(size);
    return NSData(std::move(out));
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

bool UIImage::hasDecoder()
{
    std::lock_guard lock(registryMutex());
    return bool(decoder());
}

bool UIImage::installImageCodecs()
{
    std::lock_guard lock(registryMutex());
    if (decoder()) {
        return false;
    }
    decoder() = &UIImage::decodeWithImageCodecs;
    return true;
}

CGImageRef UIImage::decodeWithImageCodecs(const NSData& bytes)
{
    const uint8_t* b = bytes.bytes();
    const size_t n = bytes.length();
    if (pngSize(b, n)) {
        return isPhoneOptimisedPNG(b, n) ? sizedImage(bytes) : decodePNG(b, n);
    }
    if (jpegSize(b, n)) {
        return decodeJPEG(b, n);
    }
    if (gifSize(b, n)) {
        return sizedImage(bytes);
    }
    return nullptr;
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
    CGImageRef bitmap = decode ? decode(data) : sizedImage(data);
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

std::optional<size_t> UIImage::pixelCountOfData(const NSData& bytes)
{
    const uint8_t* b = bytes.bytes();
    const size_t n = bytes.length();
    std::optional<PixelSize> size = pngSize(b, n);
    if (!size) size = jpegSize(b, n);
    if (!size) size = gifSize(b, n);
    if (!size) {
        return std::nullopt;
    }
    // Header fields are at most 32 bits each: the product fits in 64.
    return size->width * size->height;
}

Ref<UIImage> UIImage::imageWithData_scale(const NSData& data, CGFloat scale)
{
    return fromData(data, scale > 0 ? scale : 1, "");
}

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

std::optional<NSData> UIImagePNGRepresentation(const Ref<UIImage>& image)
{
    if (!image || !image->CGImage() || !image->CGImage()->hasPixels()) {
        return std::nullopt;
    }
    return encodePNG(*image->CGImage());
}

std::optional<NSData> UIImageJPEGRepresentation(const Ref<UIImage>& image, CGFloat compressionQuality)
{
    if (!image || !image->CGImage() || !image->CGImage()->hasPixels()) {
        return std::nullopt;
    }
    const int quality = int(std::lround(std::clamp<CGFloat>(compressionQuality, 0, 1) * 100));
    return encodeJPEG(*image->CGImage(), std::max(quality, 1));
}
