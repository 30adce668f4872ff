#include "platform/graphics/CGContextBitmap.h"

#include "platform/graphics/TextLayout.h"

#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {
namespace CGContextBitmap_cpp {

// Large enough to stand for "everything" in user space, small enough for cairo's fixed-point device
// coordinates at any scale the interface uses.
constexpr double kFar = 65536;

cairo_matrix_t toCairo(const CGAffineTransform& t)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

cairo_operator_t operatorFor(CGBlendMode mode)
{
    switch (mode) {
    case kCGBlendModeNormal: return CAIRO_OPERATOR_OVER;
    case kCGBlendModeMultiply: return CAIRO_OPERATOR_MULTIPLY;
    case kCGBlendModeScreen: return CAIRO_OPERATOR_SCREEN;
    case kCGBlendModeOverlay: return CAIRO_OPERATOR_OVERLAY;
    case kCGBlendModeDarken: return CAIRO_OPERATOR_DARKEN;
    case kCGBlendModeLighten: return CAIRO_OPERATOR_LIGHTEN;
    case kCGBlendModeColorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
    case kCGBlendModeColorBurn: return CAIRO_OPERATOR_COLOR_BURN;
    case kCGBlendModeSoftLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    case kCGBlendModeHardLight: return CAIRO_OPERATOR_HARD_LIGHT;
    case kCGBlendModeDifference: return CAIRO_OPERATOR_DIFFERENCE;
    case kCGBlendModeExclusion: return CAIRO_OPERATOR_EXCLUSION;
    case kCGBlendModeHue: return CAIRO_OPERATOR_HSL_HUE;
    case kCGBlendModeSaturation: return CAIRO_OPERATOR_HSL_SATURATION;
    case kCGBlendModeColor: return CAIRO_OPERATOR_HSL_COLOR;
    case kCGBlendModeLuminosity: return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case kCGBlendModeClear: return CAIRO_OPERATOR_CLEAR;
    case kCGBlendModeCopy: return CAIRO_OPERATOR_SOURCE;
    case kCGBlendModeSourceIn: return CAIRO_OPERATOR_IN;
    case kCGBlendModeSourceOut: return CAIRO_OPERATOR_OUT;
    case kCGBlendModeSourceAtop: return CAIRO_OPERATOR_ATOP;
    case kCGBlendModeDestinationOver: return CAIRO_OPERATOR_DEST_OVER;
    case kCGBlendModeDestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case kCGBlendModeDestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case kCGBlendModeDestinationAtop: return CAIRO_OPERATOR_DEST_ATOP;
    case kCGBlendModeXOR: return CAIRO_OPERATOR_XOR;
    case kCGBlendModePlusDarker: return CAIRO_OPERATOR_DARKEN;  // nearest cairo has
    case kCGBlendModePlusLighter: return CAIRO_OPERATOR_ADD;
    }
    return CAIRO_OPERATOR_OVER;
}

void appendPath(cairo_t* cr, const CGPath& path)
{
    for (const CGPathElement& e : path.elements()) {
        switch (e.type) {
        case CGPathElement::kMoveToPoint:
            cairo_move_to(cr, e.points[0].x, e.points[0].y);
            break;
        case CGPathElement::kAddLineToPoint:
            cairo_line_to(cr, e.points[0].x, e.points[0].y);
            break;
        case CGPathElement::kAddQuadCurveToPoint: {
            double x0 = 0, y0 = 0;
            cairo_get_current_point(cr, &x0, &y0);
            const CGPoint c = e.points[0], p = e.points[1];
            cairo_curve_to(cr, x0 + 2.0 / 3 * (c.x - x0), y0 + 2.0 / 3 * (c.y - y0), p.x + 2.0 / 3 * (c.x - p.x),
                           p.y + 2.0 / 3 * (c.y - p.y), p.x, p.y);
            break;
        }
        case CGPathElement::kAddCurveToPoint:
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                           e.points[2].y);
            break;
        case CGPathElement::kCloseSubpath:
            cairo_close_path(cr);
            break;
        }
    }
}

// A cairo surface over an image's pixels (no copy); null for an image without pixels.
cairo_surface_t* surfaceOf(const CGImage& image)
{
    if (!image.hasPixels() || image.width() == 0 || image.height() == 0) {
        return nullptr;
    }
    auto* pixels = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels().data()));
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        pixels, CAIRO_FORMAT_ARGB32, int(image.width()), int(image.height()), int(image.width() * 4));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_font_options_t* fontOptions()
{
    // Unhinted outlines with grey antialiasing: the same pictures on every machine.
    static cairo_font_options_t* options = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        return o;
    }();
    return options;
}

// Three box blurs of the given radius over an 8-bit coverage mask: close to a Gaussian.
void blurMask(unsigned char* data, int width, int height, int stride, int radius)
{
    if (radius <= 0) {
        return;
    }
    std::vector<unsigned char> line(size_t(std::max(width, height)));
    auto pass = [&](unsigned char* start, int count, int step) {
        for (int i = 0; i < count; ++i) {
            line[size_t(i)] = start[i * step];
        }
        const int window = 2 * radius + 1;
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) {
            sum += (i >= 0 && i < count) ? line[size_t(i)] : 0;
        }
        for (int i = 0; i < count; ++i) {
            start[i * step] = static_cast<unsigned char>(sum / window);
            const int out = i - radius, in = i + radius + 1;
            sum -= (out >= 0 && out < count) ? line[size_t(out)] : 0;
            sum += (in >= 0 && in < count) ? line[size_t(in)] : 0;
        }
    };
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < height; ++y) {
            pass(data + size_t(y) * size_t(stride), width, 1);
        }
        for (int x = 0; x < width; ++x) {
            pass(data + x, height, stride);
        }
    }
}

bool isPattern(const CGColorRef& color) { return color && color->model() == kCGColorSpaceModelPattern; }

}  // namespace CGContextBitmap_cpp
}  // namespace

struct CGContext::Bitmap::Impl {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    cairo_matrix_t base;
    std::vector<CGDrawingRecord> layers;  // the open transparency layers' beginnings

    ~Impl()
    {
        if (cr != nullptr) cairo_destroy(cr);
        if (surface != nullptr) cairo_surface_destroy(surface);
    }

    void applyClip(const CGDrawingRecord& r);
    void setSource(const CGColorRef& color, double alpha);
    void drawShape(const CGDrawingRecord& r, double alpha);
    void glyphs(const CGDrawingRecord& r);
    void image(const CGDrawingRecord& r, double alpha);
    void gradient(const CGDrawingRecord& r, double alpha);
    void shadow(cairo_pattern_t* group, const CGDrawingRecord& r);
    void strokeSettings(const CGDrawingRecord& r);
    void paint(const CGDrawingRecord& r);
};

std::unique_ptr<CGContext::Bitmap> CGContext::Bitmap::create(void* data, size_t width, size_t height,
                                                             size_t bitsPerComponent, size_t bytesPerRow,
                                                             CGBitmapInfo info, CGAffineTransform base)
{
    using namespace CGContextBitmap_cpp;
    const CGBitmapInfo alpha = info & kCGBitmapAlphaInfoMask;
    const CGBitmapInfo order = info & kCGBitmapByteOrderMask;
    const bool alphaOnly = alpha == kCGImageAlphaOnly;
    const bool supported = alphaOnly || alpha == kCGImageAlphaPremultipliedFirst ||
                           alpha == kCGImageAlphaPremultipliedLast || alpha == kCGImageAlphaNoneSkipFirst ||
                           alpha == kCGImageAlphaNoneSkipLast;
    if (!supported || bitsPerComponent != 8 || width > 32767 || height > 32767) {
        return nullptr;
    }
    if (!alphaOnly && order != kCGBitmapByteOrderDefault && order != kCGBitmapByteOrder32Little &&
        order != kCGBitmapByteOrder32Big) {
        return nullptr;
    }
    const size_t bytesPerPixel = alphaOnly ? 1 : 4;
    if (bytesPerRow == 0) {
        bytesPerRow = (width * bytesPerPixel + 15) / 16 * 16;
    }
    if (bytesPerRow < width * bytesPerPixel) {
        return nullptr;
    }
    auto bitmap = std::unique_ptr<Bitmap>(new Bitmap());
    bitmap->width_ = width;
    bitmap->height_ = height;
    bitmap->stride_ = bytesPerRow;
    bitmap->info_ = info;
    bitmap->alphaOnly_ = alphaOnly;
    const cairo_format_t format = alphaOnly ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_ARGB32;
    const bool nativeOrder = std::endian::native == std::endian::little ? order == kCGBitmapByteOrder32Little
                                                                        : order != kCGBitmapByteOrder32Little;
    const bool nativeLayout = alphaOnly || (alpha == kCGImageAlphaPremultipliedFirst && nativeOrder);
    auto impl = std::make_unique<Impl>();
    if (data == nullptr && nativeLayout) {
        // Pixels of our own in cairo's layout: cairo allocates them (already transparent).
        impl->surface = cairo_image_surface_create(format, int(width), int(height));
        if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) {
            return nullptr;
        }
        bitmap->data_ = cairo_image_surface_get_data(impl->surface);
        bitmap->stride_ = size_t(cairo_image_surface_get_stride(impl->surface));
        impl->cr = cairo_create(impl->surface);
        impl->base = toCairo(base);
        bitmap->impl_ = std::move(impl);
        return bitmap;
    }
    if (data == nullptr) {
        bitmap->owned_.assign(bytesPerRow * height, 0);
        data = bitmap->owned_.data();
    }
    bitmap->data_ = data;
    const bool native = nativeLayout && bytesPerRow % 4 == 0 &&
                        int(bytesPerRow) >= cairo_format_stride_for_width(format, int(width));
    bitmap->converts_ = !native;
    if (native) {
        impl->surface = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data), format, int(width),
                                                            int(height), int(bytesPerRow));
    } else {
        impl->surface = cairo_image_surface_create(format, int(width), int(height));
    }
    if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    impl->cr = cairo_create(impl->surface);
    impl->base = toCairo(base);
    bitmap->impl_ = std::move(impl);
    if (bitmap->converts_) {
        bitmap->copyIn();
    }
    return bitmap;
}

CGContext::Bitmap::~Bitmap() = default;

void CGContext::Bitmap::paint(const CGDrawingRecord& record)
{
    impl_->paint(record);
    if (converts_) {
        copyOut();
    }
}

namespace {
namespace CGContextBitmap_cpp {

// Where the red, green, blue and alpha bytes of a 32-bit pixel sit in the caller's layout.
struct Layout {
    int r, g, b, a;
    bool skipAlpha;
};

Layout layoutOf(CGBitmapInfo info)
{
    const CGBitmapInfo alpha = info & kCGBitmapAlphaInfoMask;
    const bool first = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaNoneSkipFirst;
    const bool little = (info & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little;
    // Big-endian words in memory order: ARGB (first) or RGBA (last); little-endian words reverse them.
    Layout l = first ? Layout{1, 2, 3, 0, false} : Layout{0, 1, 2, 3, false};
    if (little) {
        l = {3 - l.r, 3 - l.g, 3 - l.b, 3 - l.a, false};
    }
    l.skipAlpha = alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast;
    return l;
}

}  // namespace CGContextBitmap_cpp
}  // namespace

void CGContext::Bitmap::copyOut()
{
    using namespace CGContextBitmap_cpp;
    cairo_surface_flush(impl_->surface);
    const unsigned char* src = cairo_image_surface_get_data(impl_->surface);
    const int srcStride = cairo_image_surface_get_stride(impl_->surface);
    auto* dst = static_cast<uint8_t*>(data_);
    if (alphaOnly_) {
        for (size_t y = 0; y < height_; ++y) {
            std::memcpy(dst + y * stride_, src + y * size_t(srcStride), width_);
        }
        return;
    }
    const Layout l = layoutOf(info_);
    for (size_t y = 0; y < height_; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(src + y * size_t(srcStride));
        uint8_t* out = dst + y * stride_;
        for (size_t x = 0; x < width_; ++x) {
            const uint32_t p = row[x];
            uint8_t* px = out + x * 4;
            px[l.r] = uint8_t(p >> 16);
            px[l.g] = uint8_t(p >> 8);
            px[l.b] = uint8_t(p);
            px[l.a] = l.skipAlpha ? 0xFF : uint8_t(p >> 24);
        }
    }
}

void CGContext::Bitmap::copyIn()
{
    using namespace CGContextBitmap_cpp;
    cairo_surface_flush(impl_->surface);
    unsigned char* dst = cairo_image_surface_get_data(impl_->surface);
    const int dstStride = cairo_image_surface_get_stride(impl_->surface);
    const auto* src = static_cast<const uint8_t*>(data_);
    if (alphaOnly_) {
        for (size_t y = 0; y < height_; ++y) {
            std::memcpy(dst + y * size_t(dstStride), src + y * stride_, width_);
        }
    } else {
        const Layout l = layoutOf(info_);
        for (size_t y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(dst + y * size_t(dstStride));
            const uint8_t* in = src + y * stride_;
            for (size_t x = 0; x < width_; ++x) {
                const uint8_t* px = in + x * 4;
                const uint32_t a = l.skipAlpha ? 0xFF : px[l.a];
                row[x] = (a << 24) | (uint32_t(px[l.r]) << 16) | (uint32_t(px[l.g]) << 8) | px[l.b];
            }
        }
    }
    cairo_surface_mark_dirty(impl_->surface);
}

uint32_t CGContext::Bitmap::pixelAt(size_t x, size_t y) const
{
    if (x >= width_ || y >= height_) {
        return 0;
    }
    cairo_surface_flush(impl_->surface);
    const unsigned char* data = cairo_image_surface_get_data(impl_->surface);
    const size_t stride = size_t(cairo_image_surface_get_stride(impl_->surface));
    if (alphaOnly_) {
        return uint32_t(data[y * stride + x]) << 24;
    }
    uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
    const CGBitmapInfo alpha = info_ & kCGBitmapAlphaInfoMask;
    if (alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast) {
        p |= 0xFF000000u;
    }
    return p;
}

CGImageRef CGContext::Bitmap::makeImage() const
{
    cairo_surface_flush(impl_->surface);
    const unsigned char* data = cairo_image_surface_get_data(impl_->surface);
    const size_t stride = size_t(cairo_image_surface_get_stride(impl_->surface));
    const CGBitmapInfo alpha = info_ & kCGBitmapAlphaInfoMask;
    const uint32_t opaque = (alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast) ? 0xFF000000u : 0;
    std::vector<uint32_t> pixels;
    if (!alphaOnly_ && opaque == 0 && stride == width_ * 4) {
        // Rows back to back: one copy, no clearing first.
        const auto* words = reinterpret_cast<const uint32_t*>(data);
        pixels.assign(words, words + width_ * height_);
        return CGImage::create(width_, height_, std::move(pixels));
    }
    pixels.resize(width_ * height_);
    for (size_t y = 0; y < height_; ++y) {
        const unsigned char* row = data + y * stride;
        uint32_t* out = pixels.data() + y * width_;
        if (alphaOnly_) {
            for (size_t x = 0; x < width_; ++x) {
                out[x] = uint32_t(row[x]) << 24;
            }
        } else {
            std::memcpy(out, row, width_ * 4);
            if (opaque != 0) {
                for (size_t x = 0; x < width_; ++x) {
                    out[x] |= opaque;
                }
            }
        }
    }
    return CGImage::create(width_, height_, std::move(pixels));
}

// --- Painting -------------------------------------------------------------------------------------

void CGContext::Bitmap::Impl::applyClip(const CGDrawingRecord& r)
{
    cairo_set_matrix(cr, &base);
    if (!CGRectIsInfinite(r.clip)) {
        if (CGRectIsNull(r.clip) || CGRectIsEmpty(r.clip)) {
            cairo_new_path(cr);
            cairo_rectangle(cr, 0, 0, 0, 0);
        } else {
            cairo_rectangle(cr, r.clip.origin.x, r.clip.origin.y, r.clip.size.width, r.clip.size.height);
        }
        cairo_clip(cr);
    }
    if (r.clipPaths) {
        for (const CGClipPath& clip : *r.clipPaths) {
            cairo_new_path(cr);
            if (clip.path) {
                CGContextBitmap_cpp::appendPath(cr, *clip.path);
            }
            cairo_set_fill_rule(cr, clip.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            cairo_clip(cr);
        }
    }
}

void CGContext::Bitmap::Impl::setSource(const CGColorRef& color, double alpha)
{
    if (!color) {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
        return;
    }
    if (color->model() == kCGColorSpaceModelPattern) {
        const CGImageRef& image = color->patternImage();
        cairo_surface_t* surface = image ? CGContextBitmap_cpp::surfaceOf(*image) : nullptr;
        if (surface == nullptr) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
            return;
        }
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, color->patternScale(), color->patternScale());
        cairo_pattern_set_matrix(pattern, &m);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        cairo_surface_destroy(surface);
        return;
    }
    const auto rgba = color->rgba();
    cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3] * alpha);
}

void CGContext::Bitmap::Impl::strokeSettings(const CGDrawingRecord& r)
{
    cairo_set_line_width(cr, r.lineWidth);
    cairo_set_line_cap(cr, static_cast<cairo_line_cap_t>(r.lineCap));
    cairo_set_line_join(cr, static_cast<cairo_line_join_t>(r.lineJoin));
    cairo_set_miter_limit(cr, r.miterLimit);
    if (!r.dashes.empty()) {
        std::vector<double> dashes(r.dashes.begin(), r.dashes.end());
        cairo_set_dash(cr, dashes.data(), int(dashes.size()), r.dashPhase);
    }
}

void CGContext::Bitmap::Impl::glyphs(const CGDrawingRecord& r)
{
    cairo_set_font_options(cr, CGContextBitmap_cpp::fontOptions());
    const bool fill = r.textMode == kCGTextFill || r.textMode == kCGTextFillStroke || r.textMode == kCGTextFillClip ||
                      r.textMode == kCGTextFillStrokeClip;
    const bool stroke = r.textMode == kCGTextStroke || r.textMode == kCGTextFillStroke ||
                        r.textMode == kCGTextStrokeClip || r.textMode == kCGTextFillStrokeClip;
    cairo_matrix_t fontMatrix;
    CGPoint origin{0, 0};
    if (r.kind == CGDrawingRecord::kText) {
        cairo_matrix_init_scale(&fontMatrix, r.fontSize, r.fontSize);  // y down: glyphs upright
        origin = {r.rect.origin.x, r.rect.origin.y + r.baseline};
    } else {
        const cairo_matrix_t text = CGContextBitmap_cpp::toCairo(r.textMatrix);
        cairo_transform(cr, &text);
        cairo_matrix_init_scale(&fontMatrix, r.fontSize, -r.fontSize);  // text space is y up
    }
    std::vector<CGGlyphRun> chosen;
    if (r.kind == CGDrawingRecord::kText && r.runs.empty() && !r.text.empty()) {
        // A recording keeps the text; its glyphs are chosen when it is painted, as the measurer does.
        const textlayout::FontAtSize font{CGFont::createWithFontName(r.fontName), r.fontSize};
        for (textlayout::GlyphRun& run : textlayout::glyphRuns(r.text, font)) {
            CGGlyphRun out{run.font, std::move(run.glyphs), {}};
            for (CGFloat x : run.x) {
                out.positions.push_back({x, 0});
            }
            chosen.push_back(std::move(out));
        }
    }
    std::vector<cairo_glyph_t> glyphs;
    for (const CGGlyphRun& run : chosen.empty() ? r.runs : chosen) {
        auto* face = run.font ? static_cast<cairo_font_face_t*>(run.font->cairoFontFace()) : nullptr;
        if (face == nullptr || run.glyphs.empty()) {
            continue;
        }
        cairo_set_font_face(cr, face);
        cairo_set_font_matrix(cr, &fontMatrix);
        glyphs.clear();
        for (size_t i = 0; i < run.glyphs.size() && i < run.positions.size(); ++i) {
            glyphs.push_back({run.glyphs[i], origin.x + run.positions[i].x, origin.y + run.positions[i].y});
        }
        if (fill && !stroke) {
            cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
        } else if (fill || stroke) {
            cairo_new_path(cr);
            cairo_glyph_path(cr, glyphs.data(), int(glyphs.size()));
            if (fill) {
                cairo_fill_preserve(cr);
            }
            if (stroke) {
                cairo_save(cr);
                setSource(r.strokeColor, r.alpha);
                strokeSettings(r);
                cairo_stroke(cr);
                cairo_restore(cr);
            }
            cairo_new_path(cr);
        }
    }
}

void CGContext::Bitmap::Impl::image(const CGDrawingRecord& r, double alpha)
{
    if (!r.image) {
        return;
    }
    const CGRect rect = CGRectStandardize(r.rect);
    if (rect.size.width <= 0 || rect.size.height <= 0) {
        return;
    }
    cairo_surface_t* whole = CGContextBitmap_cpp::surfaceOf(*r.image);
    if (whole == nullptr) {
        return;  // sized only: nothing to show
    }
    CGRect source = CGRectMake(0, 0, CGFloat(r.image->width()), CGFloat(r.image->height()));
    cairo_surface_t* surface = whole;
    if (!CGRectIsNull(r.source)) {
        source = CGRectIntersection(CGRectStandardize(r.source), source);
        if (CGRectIsEmpty(source)) {
            cairo_surface_destroy(whole);
            return;
        }
        // A part of its own, so that sampling at its edges never reaches the neighbouring pixels.
        surface = cairo_surface_create_for_rectangle(whole, source.origin.x, source.origin.y, source.size.width,
                                                     source.size.height);
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, r.interpolation == kCGInterpolationNone   ? CAIRO_FILTER_NEAREST
                                      : r.interpolation == kCGInterpolationHigh ? CAIRO_FILTER_GOOD
                                                                                : CAIRO_FILTER_BILINEAR);
    // User space to the part's pixels.
    const double sx = source.size.width / rect.size.width;
    const double sy = source.size.height / rect.size.height;
    cairo_matrix_t m;
    if (r.imageRowsUp) {
        cairo_matrix_init(&m, sx, 0, 0, -sy, -rect.origin.x * sx, CGRectGetMaxY(rect) * sy);
    } else {
        cairo_matrix_init(&m, sx, 0, 0, sy, -rect.origin.x * sx, -rect.origin.y * sy);
    }
    cairo_pattern_set_matrix(pattern, &m);
    cairo_set_source(cr, pattern);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
    if (surface != whole) {
        cairo_surface_destroy(surface);
    }
    cairo_surface_destroy(whole);
}

void CGContext::Bitmap::Impl::gradient(const CGDrawingRecord& r, double alpha)
{
    using CGContextBitmap_cpp::kFar;
    const auto& stops = r.gradient->stops();
    cairo_pattern_t* pattern =
        r.kind == CGDrawingRecord::kLinearGradient
            ? cairo_pattern_create_linear(r.startPoint.x, r.startPoint.y, r.endPoint.x, r.endPoint.y)
            : cairo_pattern_create_radial(r.startPoint.x, r.startPoint.y, r.startRadius, r.endPoint.x,
                                          r.endPoint.y, r.endRadius);
    // The end colours hold from 0 to the first stop and from the last stop to 1.
    auto add = [&](double at, const CGGradient::Stop& s) {
        cairo_pattern_add_color_stop_rgba(pattern, at, s.red, s.green, s.blue, s.alpha);
    };
    if (stops.front().location > 0) add(0, stops.front());
    for (const auto& s : stops) add(s.location, s);
    if (stops.back().location < 1) add(1, stops.back());
    const bool before = (r.gradientOptions & kCGGradientDrawsBeforeStartLocation) != 0;
    const bool after = (r.gradientOptions & kCGGradientDrawsAfterEndLocation) != 0;
    cairo_pattern_set_extend(pattern, (before || after) ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    if (before != after && r.kind == CGDrawingRecord::kLinearGradient) {
        // Only one side extends: keep to the half plane on that side of the other end.
        const double dx = r.endPoint.x - r.startPoint.x, dy = r.endPoint.y - r.startPoint.y;
        const double length = std::hypot(dx, dy);
        if (length > 0) {
            const double ux = dx / length, uy = dy / length;  // along
            const double nx = -uy, ny = ux;                   // across
            const CGPoint edge = after ? r.startPoint : r.endPoint;
            const double dir = after ? 1 : -1;  // the side that is kept
            cairo_new_path(cr);
            cairo_move_to(cr, edge.x + nx * kFar, edge.y + ny * kFar);
            cairo_line_to(cr, edge.x - nx * kFar, edge.y - ny * kFar);
            cairo_line_to(cr, edge.x - nx * kFar + dir * ux * kFar, edge.y - ny * kFar + dir * uy * kFar);
            cairo_line_to(cr, edge.x + nx * kFar + dir * ux * kFar, edge.y + ny * kFar + dir * uy * kFar);
            cairo_close_path(cr);
            cairo_clip(cr);
        }
    } else if (before != after) {
        // Only one side of a radial gradient extends. With the start circle inside the end circle (the
        // usual case), the circles before the start lie inside the start circle and those after the end
        // outside the end circle, so keep outside the start circle, or inside the end circle.
        cairo_new_path(cr);
        if (after) {
            cairo_rectangle(cr, -kFar, -kFar, 2 * kFar, 2 * kFar);
            cairo_new_sub_path(cr);
            cairo_arc(cr, r.startPoint.x, r.startPoint.y, std::max(0.0, double(r.startRadius)), 0, 2 * M_PI);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        } else {
            cairo_arc(cr, r.endPoint.x, r.endPoint.y, std::max(0.0, double(r.endRadius)), 0, 2 * M_PI);
        }
        cairo_clip(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    }
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
}

void CGContext::Bitmap::Impl::drawShape(const CGDrawingRecord& r, double alpha)
{
    using Kind = CGDrawingRecord;
    cairo_new_path(cr);
    switch (r.kind) {
    case Kind::kFillRect:
    case Kind::kClearRect:
        cairo_rectangle(cr, r.rect.origin.x, r.rect.origin.y, r.rect.size.width, r.rect.size.height);
        if (r.kind == Kind::kFillRect) setSource(r.color, alpha);
        cairo_fill(cr);
        break;
    case Kind::kStrokeRect:
        cairo_rectangle(cr, r.rect.origin.x, r.rect.origin.y, r.rect.size.width, r.rect.size.height);
        setSource(r.color, alpha);
        strokeSettings(r);
        cairo_stroke(cr);
        break;
    case Kind::kFillEllipse:
    case Kind::kStrokeEllipse: {
        const CGRect rect = CGRectStandardize(r.rect);
        if (rect.size.width <= 0 || rect.size.height <= 0) break;
        cairo_save(cr);
        cairo_translate(cr, CGRectGetMidX(rect), CGRectGetMidY(rect));
        cairo_scale(cr, rect.size.width / 2, rect.size.height / 2);
        cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr);
        setSource(r.color, alpha);
        if (r.kind == Kind::kFillEllipse) {
            cairo_fill(cr);
        } else {
            strokeSettings(r);
            cairo_stroke(cr);
        }
        break;
    }
    case Kind::kFillPath:
    case Kind::kStrokePath:
        if (!r.path) break;
        CGContextBitmap_cpp::appendPath(cr, *r.path);
        setSource(r.color, alpha);
        if (r.kind == Kind::kFillPath) {
            cairo_set_fill_rule(cr, r.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            cairo_fill(cr);
        } else {
            strokeSettings(r);
            cairo_stroke(cr);
        }
        break;
    case Kind::kText:
    case Kind::kGlyphs:
        setSource(r.color, alpha);
        glyphs(r);
        break;
    case Kind::kImage:
        image(r, alpha);
        break;
    case Kind::kLinearGradient:
    case Kind::kRadialGradient:
        if (r.gradient && !r.gradient->stops().empty()) gradient(r, alpha);
        break;
    case Kind::kBeginTransparencyLayer:
    case Kind::kEndTransparencyLayer:
        break;
    }
}

void CGContext::Bitmap::Impl::shadow(cairo_pattern_t* group, const CGDrawingRecord& r)
{
    cairo_surface_t* picture = nullptr;
    if (cairo_pattern_get_surface(group, &picture) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_get_type(picture) != CAIRO_SURFACE_TYPE_IMAGE) {
        return;
    }
    cairo_surface_flush(picture);
    double dx = 0, dy = 0;
    cairo_surface_get_device_offset(picture, &dx, &dy);
    const int w = cairo_image_surface_get_width(picture), h = cairo_image_surface_get_height(picture);
    const double scale = std::sqrt(std::abs(base.xx * base.yy - base.xy * base.yx));
    const int radius = int(std::lround(r.shadowBlur * scale / 2));
    const int margin = 3 * radius;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w + 2 * margin, h + 2 * margin);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return;
    }
    cairo_surface_flush(mask);
    unsigned char* m = cairo_image_surface_get_data(mask);
    const int ms = cairo_image_surface_get_stride(mask);
    const unsigned char* p = cairo_image_surface_get_data(picture);
    const int ps = cairo_image_surface_get_stride(picture);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(p + size_t(y) * size_t(ps));
        for (int x = 0; x < w; ++x) {
            m[size_t(y + margin) * size_t(ms) + size_t(x + margin)] = uint8_t(row[x] >> 24);
        }
    }
    CGContextBitmap_cpp::blurMask(m, w + 2 * margin, h + 2 * margin, ms, radius);
    cairo_surface_mark_dirty(mask);
    // The offset is in the context's space; the mask is placed in pixels.
    double ox = r.shadowOffset.width, oy = r.shadowOffset.height;
    cairo_matrix_transform_distance(&base, &ox, &oy);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    setSource(r.shadowColor, r.alpha);
    cairo_mask_surface(cr, mask, -dx - margin + ox, -dy - margin + oy);
    cairo_restore(cr);
    cairo_surface_destroy(mask);
}

void CGContext::Bitmap::Impl::paint(const CGDrawingRecord& r)
{
    using Kind = CGDrawingRecord;
    if (r.kind == Kind::kBeginTransparencyLayer) {
        cairo_save(cr);
        applyClip(r);
        cairo_push_group(cr);
        layers.push_back(r);
        return;
    }
    if (r.kind == Kind::kEndTransparencyLayer) {
        if (layers.empty()) {
            return;
        }
        const CGDrawingRecord begun = std::move(layers.back());
        layers.pop_back();
        cairo_pattern_t* group = cairo_pop_group(cr);
        if (begun.shadowColor && begun.shadowColor->alpha() > 0) {
            shadow(group, begun);
        }
        cairo_set_source(cr, group);
        cairo_set_operator(cr, CGContextBitmap_cpp::operatorFor(begun.blendMode));
        cairo_paint_with_alpha(cr, begun.alpha);
        cairo_pattern_destroy(group);
        cairo_restore(cr);
        return;
    }
    cairo_save(cr);
    applyClip(r);
    cairo_set_antialias(cr, r.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    const cairo_matrix_t ctm = CGContextBitmap_cpp::toCairo(r.ctm);
    const bool clear = r.kind == Kind::kClearRect;
    const bool shadowed = !clear && r.shadowColor && r.shadowColor->alpha() > 0;
    const bool patterned = CGContextBitmap_cpp::isPattern(r.color) && r.kind != Kind::kImage;
    const bool group = shadowed || (patterned && r.alpha < 1);
    if (group) {
        cairo_push_group(cr);
        cairo_set_matrix(cr, &base);
        cairo_transform(cr, &ctm);
        drawShape(r, 1);
        cairo_pattern_t* picture = cairo_pop_group(cr);
        if (shadowed) {
            shadow(picture, r);
        }
        // The group's pattern is tied to the user space it was drawn in: set it as the source before
        // leaving that space, or a scaled space paints it shrunk into a corner.
        cairo_set_source(cr, picture);
        cairo_identity_matrix(cr);
        cairo_set_operator(cr, CGContextBitmap_cpp::operatorFor(r.blendMode));
        cairo_paint_with_alpha(cr, r.alpha);
        cairo_pattern_destroy(picture);
    } else {
        cairo_set_matrix(cr, &base);
        cairo_transform(cr, &ctm);
        cairo_set_operator(cr, clear ? CAIRO_OPERATOR_CLEAR : CGContextBitmap_cpp::operatorFor(r.blendMode));
        drawShape(r, r.alpha);
    }
    cairo_restore(cr);
}
