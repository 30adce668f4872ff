#pragma once
// Drawing contexts: one context type with two back ends.
//
// A context keeps the platform's graphics state (transform, fill and stroke colours, line width, caps,
// joins and dashes, alpha, blend mode, shadow, clip, font and text matrix) in a stack of saved states,
// and the current path. Every drawing call becomes one record holding what was drawn and the state it
// was drawn in. What happens to the record depends on the back end:
// - a recording context keeps the records (records()), so tests read what a view drew and where;
// - a bitmap context paints them into pixels with cairo (premultiplied ARGB, 8 bits a component), and
//   may keep them as well (image contexts do, so tests can read either).
// Appending records drawn elsewhere (appendRecords) paints them too, which is how a layer's kept
// drawing reaches a window's picture.
//
// Spaces. ctm() maps user space to the context's own space. For a recording context and an image
// context that space is points with y growing down (the interface's coordinates); an image context's
// pixels are that space times its scale. A bitmap made with CGBitmapContextCreate has the platform's
// bitmap convention: its space is pixels with y growing up from the bottom row (so code that draws
// interface coordinates flips it first, translate (0, height) then scale (1, -1)).
//
// Images: drawImage (what UIImage draws with) puts the image's top row at the top of the rectangle in
// the interface's y-down sense; CGContextDrawImage follows the platform and puts it at the rectangle's
// maximum y, so in a y-down space it comes out upside down, as on the phone.
//
// Arcs: clockwise means towards decreasing angles, in whatever space the arc is drawn, so in the
// interface's y-down space a "clockwise" arc turns anticlockwise on screen, as on the phone.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGFont.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/CGPath.h"

class CGContext;
using CGContextRef = std::shared_ptr<CGContext>;

enum CGLineCap { kCGLineCapButt = 0, kCGLineCapRound = 1, kCGLineCapSquare = 2 };
enum CGLineJoin { kCGLineJoinMiter = 0, kCGLineJoinRound = 1, kCGLineJoinBevel = 2 };
enum CGPathDrawingMode { kCGPathFill = 0, kCGPathEOFill = 1, kCGPathStroke = 2, kCGPathFillStroke = 3, kCGPathEOFillStroke = 4 };
enum CGTextDrawingMode {
    kCGTextFill = 0,
    kCGTextStroke = 1,
    kCGTextFillStroke = 2,
    kCGTextInvisible = 3,
    kCGTextFillClip = 4,
    kCGTextStrokeClip = 5,
    kCGTextFillStrokeClip = 6,
    kCGTextClip = 7,
};
enum CGInterpolationQuality {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationHigh = 3,
    kCGInterpolationMedium = 4,
};
enum CGBlendMode {
    kCGBlendModeNormal = 0,
    kCGBlendModeMultiply,
    kCGBlendModeScreen,
    kCGBlendModeOverlay,
    kCGBlendModeDarken,
    kCGBlendModeLighten,
    kCGBlendModeColorDodge,
    kCGBlendModeColorBurn,
    kCGBlendModeSoftLight,
    kCGBlendModeHardLight,
    kCGBlendModeDifference,
    kCGBlendModeExclusion,
    kCGBlendModeHue,
    kCGBlendModeSaturation,
    kCGBlendModeColor,
    kCGBlendModeLuminosity,
    kCGBlendModeClear,
    kCGBlendModeCopy,
    kCGBlendModeSourceIn,
    kCGBlendModeSourceOut,
    kCGBlendModeSourceAtop,
    kCGBlendModeDestinationOver,
    kCGBlendModeDestinationIn,
    kCGBlendModeDestinationOut,
    kCGBlendModeDestinationAtop,
    kCGBlendModeXOR,
    kCGBlendModePlusDarker,
    kCGBlendModePlusLighter,
};

// A path that clips, in the context's own space.
struct CGClipPath {
    CGPathRef path;
    bool evenOdd = false;
};

// The glyphs of one face drawn by one record, at positions in the record's text space.
struct CGGlyphRun {
    CGFontRef font;
    std::vector<CGGlyph> glyphs;
    std::vector<CGPoint> positions;
};

struct CGDrawingRecord {
    enum Kind {
        kFillRect,
        kStrokeRect,
        kClearRect,
        kFillEllipse,
        kStrokeEllipse,
        kText,   // one line of text: `text` in the font `fontName` at `fontSize`, its line box in `rect`
        kImage,  // `image` (or its `source` part) into `rect`
        kFillPath,            // `path` filled (`evenOdd` for the even-odd rule)
        kStrokePath,          // `path` stroked with the line settings
        kLinearGradient,      // `gradient` from startPoint to endPoint, within the clip
        kRadialGradient,      // `gradient` from (startPoint, startRadius) to (endPoint, endRadius)
        kGlyphs,              // `runs` in the text matrix (the context's ShowGlyphs calls)
        kBeginTransparencyLayer,  // what follows up to the matching end is composited as one picture
        kEndTransparencyLayer,
    };
    Kind kind = kFillRect;
    CGRect rect;                  // in user space (apply `ctm` for the context's space)
    CGAffineTransform ctm;        // the transform when drawn
    CGColorRef color;             // fill colour (stroke colour for strokes); null for clears and images
    CGFloat lineWidth = 1;        // strokes
    CGFloat alpha = 1;            // the context's alpha when drawn
    CGRect clip = CGRectInfinite; // the clip rectangle in the context's space when drawn
    std::shared_ptr<const std::vector<CGClipPath>> clipPaths;  // further clips (context space); may be null
    CGBlendMode blendMode = kCGBlendModeNormal;
    CGColorRef shadowColor;       // no shadow when null or transparent
    CGSize shadowOffset;          // in the context's space
    CGFloat shadowBlur = 0;
    std::string text;             // text records
    std::string fontName;
    CGFloat fontSize = 0;
    CGFloat baseline = 0;         // text records: the baseline's distance below the line box's top
    CGImageRef image;             // image records
    CGRect source = CGRectNull;   // image records: the part of the image drawn, in pixels (null: all)
    bool imageRowsUp = false;     // image records: the top row goes to the rectangle's maximum y
    CGInterpolationQuality interpolation = kCGInterpolationDefault;
    CGPathRef path;               // path records, in user space
    bool evenOdd = false;
    CGColorRef strokeColor;       // kStrokePath and stroked glyphs
    CGLineCap lineCap = kCGLineCapButt;
    CGLineJoin lineJoin = kCGLineJoinMiter;
    CGFloat miterLimit = 10;
    std::vector<CGFloat> dashes;  // empty: solid
    CGFloat dashPhase = 0;
    CGGradientRef gradient;       // gradient records
    CGPoint startPoint, endPoint;
    CGFloat startRadius = 0, endRadius = 0;
    unsigned gradientOptions = 0;
    std::vector<CGGlyphRun> runs;  // text and glyph records; text records' positions are relative to
                                   // the line box's left end on the baseline
    CGAffineTransform textMatrix;  // glyph records
    CGTextDrawingMode textMode = kCGTextFill;
    bool antialias = true;
};

// How a bitmap's pixels are laid out (the platform's CGBitmapInfo values).
using CGBitmapInfo = uint32_t;
inline constexpr CGBitmapInfo kCGImageAlphaNone = 0;
inline constexpr CGBitmapInfo kCGImageAlphaPremultipliedLast = 1;   // RGBA
inline constexpr CGBitmapInfo kCGImageAlphaPremultipliedFirst = 2;  // ARGB
inline constexpr CGBitmapInfo kCGImageAlphaLast = 3;
inline constexpr CGBitmapInfo kCGImageAlphaFirst = 4;
inline constexpr CGBitmapInfo kCGImageAlphaNoneSkipLast = 5;   // RGBx
inline constexpr CGBitmapInfo kCGImageAlphaNoneSkipFirst = 6;  // xRGB
inline constexpr CGBitmapInfo kCGImageAlphaOnly = 7;           // one byte of alpha a pixel
inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0 << 12;  // big-endian words
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4 << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;

class CGContext {
public:
    // A context of size points at `scale` device pixels per point, as an image context has.
    static CGContextRef createRecording(CGSize size, CGFloat scale = 1);
    // An image context with pixels: size points at scale pixels per point (the pixel size is rounded
    // up), transparent, y down. With `record` it keeps the records too.
    static CGContextRef createImageContext(CGSize size, CGFloat scale, bool record = false);
    // A bitmap of width x height pixels in the platform's layout (see CGBitmapContextCreate); null when
    // the layout is not one of 32-bit premultiplied or skipped alpha, 8-bit alpha only, or the sizes
    // do not fit.
    static CGContextRef createBitmap(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                     size_t bytesPerRow, CGBitmapInfo info);

    CGSize size() const { return size_; }
    CGFloat scale() const { return scale_; }
    bool isRecording() const { return recording_; }
    bool hasPixels() const { return bitmap_ != nullptr; }

    void saveGState();
    void restoreGState();  // without a saved state: nothing happens
    void translateCTM(CGFloat tx, CGFloat ty);
    void scaleCTM(CGFloat sx, CGFloat sy);
    void rotateCTM(CGFloat angle);
    void concatCTM(CGAffineTransform t);
    CGAffineTransform ctm() const { return state_.ctm; }
    void setFillColor(CGColorRef color) { state_.fill = std::move(color); }
    void setStrokeColor(CGColorRef color) { state_.stroke = std::move(color); }
    const CGColorRef& fillColor() const { return state_.fill; }
    const CGColorRef& strokeColor() const { return state_.stroke; }
    void setLineWidth(CGFloat width) { state_.lineWidth = width; }
    CGFloat lineWidth() const { return state_.lineWidth; }
    void setLineCap(CGLineCap cap) { state_.lineCap = cap; }
    void setLineJoin(CGLineJoin join) { state_.lineJoin = join; }
    void setMiterLimit(CGFloat limit) { state_.miterLimit = limit; }
    void setLineDash(CGFloat phase, const CGFloat* lengths, size_t count);
    void setAlpha(CGFloat alpha) { state_.alpha = alpha; }
    CGFloat alpha() const { return state_.alpha; }
    void setBlendMode(CGBlendMode mode) { state_.blendMode = mode; }
    CGBlendMode blendMode() const { return state_.blendMode; }
    // A shadow under everything drawn from now on: offset in the context's space (not scaled by the
    // transform, as on the phone), blur radius, colour (null or transparent: no shadow).
    void setShadow(CGSize offset, CGFloat blur, CGColorRef color);
    void setShouldAntialias(bool antialias) { state_.antialias = antialias; }
    void setInterpolationQuality(CGInterpolationQuality quality) { state_.interpolation = quality; }
    void clipToRect(CGRect rect);  // intersects the clip with rect (user space)
    CGRect clipBoundingBox() const;  // the clip in user space

    // --- The current path (in the context's space; not part of the saved state) ---
    void beginPath() { path_.reset(); }
    void moveToPoint(CGFloat x, CGFloat y);
    void addLineToPoint(CGFloat x, CGFloat y);
    void addQuadCurveToPoint(CGFloat cx, CGFloat cy, CGFloat x, CGFloat y);
    void addCurveToPoint(CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y);
    void addArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
    void addArcToPoint(CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius);
    void addRect(CGRect rect);
    void addEllipseInRect(CGRect rect);
    void addPath(const CGPathRef& path);
    void closePath();
    bool isPathEmpty() const { return !path_ || path_->isEmpty(); }
    CGPoint pathCurrentPoint() const;      // user space
    CGRect pathBoundingBox() const;        // user space
    // Fill, stroke or clip the current path, then start a new one.
    void drawPath(CGPathDrawingMode mode);
    void fillPath() { drawPath(kCGPathFill); }
    void eoFillPath() { drawPath(kCGPathEOFill); }
    void strokePath() { drawPath(kCGPathStroke); }
    void clip(bool evenOdd = false);

    void fillRect(CGRect rect);
    void strokeRect(CGRect rect);
    void clearRect(CGRect rect);
    void fillEllipseInRect(CGRect rect);
    void strokeEllipseInRect(CGRect rect);
    // One line of text in its line box (top-left origin, as the interface draws text).
    void showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                      CGFloat fontSize);
    // The same with the glyphs already chosen (positions on the baseline from the box's left end).
    void showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                      CGFloat fontSize, std::vector<CGGlyphRun> runs);
    // The image (or its `source` part, in pixels) into rect, top row at the top (y down).
    void drawImage(CGRect rect, const CGImageRef& image, CGRect source = CGRectNull);
    // The platform's CGContextDrawImage: the top row at rect's maximum y.
    void drawImageRowsUp(CGRect rect, const CGImageRef& image);
    void drawLinearGradient(const CGGradientRef& gradient, CGPoint start, CGPoint end, unsigned options);
    void drawRadialGradient(const CGGradientRef& gradient, CGPoint startCenter, CGFloat startRadius,
                            CGPoint endCenter, CGFloat endRadius, unsigned options);

    // --- Text ---
    void setFont(CGFontRef font) { state_.font = std::move(font); }
    const CGFontRef& font() const { return state_.font; }
    void setFontSize(CGFloat size) { state_.fontSize = size; }
    CGFloat fontSize() const { return state_.fontSize; }
    void setTextDrawingMode(CGTextDrawingMode mode) { state_.textMode = mode; }
    // The text matrix is not part of the saved state, as on the phone; its translation is the text
    // position.
    void setTextMatrix(CGAffineTransform m) { textMatrix_ = m; }
    CGAffineTransform textMatrix() const { return textMatrix_; }
    void setTextPosition(CGFloat x, CGFloat y);
    CGPoint textPosition() const { return {textMatrix_.tx, textMatrix_.ty}; }
    // Glyphs of the current font one after another from the text position, which moves past them.
    void showGlyphs(const CGGlyph* glyphs, size_t count);
    // Glyphs at positions in text space (relative to the text position).
    void showGlyphsAtPositions(const CGGlyph* glyphs, const CGPoint* positions, size_t count);

    // --- Transparency layers: drawing up to the end is composited as one picture with the alpha,
    // blend mode and shadow in force at the beginning ---
    void beginTransparencyLayer();
    void endTransparencyLayer();

    // Appends records drawn elsewhere as if drawn here now: their transforms follow this context's,
    // their alpha is multiplied by its alpha and their clip is cut by its clip. A bitmap context
    // paints them.
    void appendRecords(const std::vector<CGDrawingRecord>& records);

    const std::vector<CGDrawingRecord>& records() const { return records_; }
    void clearRecords() { records_.clear(); }

    // --- Pixels (bitmap contexts; nothing or zero otherwise) ---
    size_t pixelWidth() const;
    size_t pixelHeight() const;
    size_t bytesPerRow() const;
    CGBitmapInfo bitmapInfo() const;
    size_t bitsPerPixel() const;
    void* data() const;  // the pixels in the context's layout
    // The pixels as an image (premultiplied ARGB words, top row first); null without pixels.
    CGImageRef makeImage() const;
    // The premultiplied ARGB word at (x, y) of the pixels (top row 0), 0 outside.
    uint32_t pixelAt(size_t x, size_t y) const;

    CGContext();
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    struct Bitmap;  // the cairo back end

private:
    struct State {
        CGAffineTransform ctm;
        CGColorRef fill;
        CGColorRef stroke;
        CGFloat lineWidth = 1;
        CGLineCap lineCap = kCGLineCapButt;
        CGLineJoin lineJoin = kCGLineJoinMiter;
        CGFloat miterLimit = 10;
        std::vector<CGFloat> dashes;
        CGFloat dashPhase = 0;
        CGFloat alpha = 1;
        CGBlendMode blendMode = kCGBlendModeNormal;
        CGColorRef shadowColor;
        CGSize shadowOffset;
        CGFloat shadowBlur = 0;
        bool antialias = true;
        CGInterpolationQuality interpolation = kCGInterpolationDefault;
        CGRect clip = CGRectInfinite;  // context space
        std::shared_ptr<const std::vector<CGClipPath>> clipPaths;
        CGFontRef font;
        CGFloat fontSize = 0;
        CGTextDrawingMode textMode = kCGTextFill;
    };
    CGDrawingRecord record(CGDrawingRecord::Kind kind, CGRect rect) const;
    void emit(CGDrawingRecord&& record);
    CGPath& mutablePath();
    void addClipPath(CGPathRef path, bool evenOdd);

    CGSize size_;
    CGFloat scale_ = 1;
    bool recording_ = true;
    State state_;
    std::vector<State> saved_;
    std::vector<State> layers_;  // the states at each open transparency layer's beginning
    std::shared_ptr<CGPath> path_;
    CGAffineTransform textMatrix_;
    std::vector<CGDrawingRecord> records_;
    std::unique_ptr<Bitmap> bitmap_;
};

void CGContextSaveGState(const CGContextRef& c);
void CGContextRestoreGState(const CGContextRef& c);
void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(const CGContextRef& c, CGFloat angle);
void CGContextConcatCTM(const CGContextRef& c, CGAffineTransform t);
CGAffineTransform CGContextGetCTM(const CGContextRef& c);
void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetRGBFillColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetRGBStrokeColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetGrayFillColor(const CGContextRef& c, CGFloat gray, CGFloat a);
void CGContextSetGrayStrokeColor(const CGContextRef& c, CGFloat gray, CGFloat a);
void CGContextSetLineWidth(const CGContextRef& c, CGFloat width);
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap);
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join);
void CGContextSetMiterLimit(const CGContextRef& c, CGFloat limit);
void CGContextSetLineDash(const CGContextRef& c, CGFloat phase, const CGFloat* lengths, size_t count);
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha);
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode);
void CGContextSetShadow(const CGContextRef& c, CGSize offset, CGFloat blur);  // black at a third alpha
void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, CGFloat blur, const CGColorRef& color);
void CGContextSetShouldAntialias(const CGContextRef& c, bool antialias);
void CGContextSetAllowsAntialiasing(const CGContextRef& c, bool allows);
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality quality);
void CGContextClipToRect(const CGContextRef& c, CGRect rect);
void CGContextClipToRects(const CGContextRef& c, const CGRect* rects, size_t count);
CGRect CGContextGetClipBoundingBox(const CGContextRef& c);
void CGContextBeginPath(const CGContextRef& c);
void CGContextMoveToPoint(const CGContextRef& c, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(const CGContextRef& c, CGFloat x, CGFloat y);
void CGContextAddQuadCurveToPoint(const CGContextRef& c, CGFloat cx, CGFloat cy, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(const CGContextRef& c, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x,
                              CGFloat y);
// clockwise is the platform's int flag: 1 towards decreasing angles.
void CGContextAddArc(const CGContextRef& c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, int clockwise);
void CGContextAddArcToPoint(const CGContextRef& c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius);
void CGContextAddRect(const CGContextRef& c, CGRect rect);
void CGContextAddRects(const CGContextRef& c, const CGRect* rects, size_t count);
void CGContextAddLines(const CGContextRef& c, const CGPoint* points, size_t count);
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextAddPath(const CGContextRef& c, const CGPathRef& path);
void CGContextClosePath(const CGContextRef& c);
bool CGContextIsPathEmpty(const CGContextRef& c);
CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c);
CGRect CGContextGetPathBoundingBox(const CGContextRef& c);
void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode);
void CGContextFillPath(const CGContextRef& c);
void CGContextEOFillPath(const CGContextRef& c);
void CGContextStrokePath(const CGContextRef& c);
void CGContextClip(const CGContextRef& c);
void CGContextEOClip(const CGContextRef& c);
void CGContextFillRect(const CGContextRef& c, CGRect rect);
void CGContextFillRects(const CGContextRef& c, const CGRect* rects, size_t count);
void CGContextStrokeRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, CGFloat width);
void CGContextClearRect(const CGContextRef& c, CGRect rect);
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeLineSegments(const CGContextRef& c, const CGPoint* points, size_t count);
// The platform's image drawing: the image's top row at rect's maximum y (upside down in y-down space).
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);
// Tiles the image from rect's origin over the clip, each tile rect's size.
void CGContextDrawTiledImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);
void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint start, CGPoint end,
                                 CGGradientDrawingOptions options);
void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options);
void CGContextBeginTransparencyLayer(const CGContextRef& c, const void* auxiliaryInfo);
void CGContextEndTransparencyLayer(const CGContextRef& c);
void CGContextSetFont(const CGContextRef& c, const CGFontRef& font);
void CGContextSetFontSize(const CGContextRef& c, CGFloat size);
void CGContextSetTextMatrix(const CGContextRef& c, CGAffineTransform m);
CGAffineTransform CGContextGetTextMatrix(const CGContextRef& c);
void CGContextSetTextPosition(const CGContextRef& c, CGFloat x, CGFloat y);
CGPoint CGContextGetTextPosition(const CGContextRef& c);
void CGContextSetTextDrawingMode(const CGContextRef& c, CGTextDrawingMode mode);
void CGContextShowGlyphs(const CGContextRef& c, const CGGlyph* glyphs, size_t count);
void CGContextShowGlyphsAtPoint(const CGContextRef& c, CGFloat x, CGFloat y, const CGGlyph* glyphs, size_t count);
void CGContextShowGlyphsAtPositions(const CGContextRef& c, const CGGlyph* glyphs, const CGPoint* positions,
                                    size_t count);
inline void CGContextRelease(const CGContextRef&) {}
inline void CGContextFlush(const CGContextRef&) {}

// Bitmap contexts. data may be null (the context keeps its own pixels); bytesPerRow 0 lets the
// context choose. Layouts: 8 bits a component with premultiplied or skipped alpha first or last, in
// either 32-bit byte order, or alpha only (8 bits a pixel); the colour space is the device RGB space
// (device grey with alpha only). Anything else gives null.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo info);
void* CGBitmapContextGetData(const CGContextRef& c);
size_t CGBitmapContextGetWidth(const CGContextRef& c);
size_t CGBitmapContextGetHeight(const CGContextRef& c);
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& c);
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& c);
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& c);
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& c);
// A copy of the pixels as an image; null for a context without pixels.
CGImageRef CGBitmapContextCreateImage(const CGContextRef& c);
