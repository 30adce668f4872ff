#include "platform/graphics/CGContext.h"

#include <cmath>

#include "platform/graphics/CGContextBitmap.h"

namespace {
namespace CGContext_cpp {

bool axisAligned(const CGAffineTransform& t) { return t.b == 0 && t.c == 0; }

bool invertible(const CGAffineTransform& t) { return std::abs(t.a * t.d - t.b * t.c) > 1e-12; }

}  // namespace CGContext_cpp
}  // namespace

CGContext::CGContext() = default;
CGContext::~CGContext() = default;

CGContextRef CGContext::createRecording(CGSize size, CGFloat scale)
{
    auto context = std::make_shared<CGContext>();
    context->size_ = size;
    context->scale_ = scale > 0 ? scale : 1;
    context->state_.fill = CGColor::createGray(0, 1);
    context->state_.stroke = CGColor::createGray(0, 1);
    return context;
}

CGContextRef CGContext::createImageContext(CGSize size, CGFloat scale, bool record)
{
    auto context = createRecording(size, scale);
    context->recording_ = record;
    const auto width = size_t(std::ceil(std::max(size.width, CGFloat(0)) * context->scale_ - 1e-9));
    const auto height = size_t(std::ceil(std::max(size.height, CGFloat(0)) * context->scale_ - 1e-9));
    const CGAffineTransform base = CGAffineTransformMakeScale(context->scale_, context->scale_);
    context->bitmap_ = Bitmap::create(nullptr, width, height, 8, 0,
                                               kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, base);
    return context;
}

CGContextRef CGContext::createBitmap(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                     size_t bytesPerRow, CGBitmapInfo info)
{
    // The platform's bitmap convention: pixels, y up from the bottom row.
    const CGAffineTransform base = CGAffineTransformMake(1, 0, 0, -1, 0, CGFloat(height));
    auto bitmap = Bitmap::create(data, width, height, bitsPerComponent, bytesPerRow, info, base);
    if (!bitmap) {
        return nullptr;
    }
    auto context = createRecording(CGSizeMake(CGFloat(width), CGFloat(height)), 1);
    context->recording_ = false;
    context->bitmap_ = std::move(bitmap);
    return context;
}

void CGContext::saveGState() { saved_.push_back(state_); }

void CGContext::restoreGState()
{
    if (!saved_.empty()) {
        state_ = std::move(saved_.back());
        saved_.pop_back();
    }
}

void CGContext::translateCTM(CGFloat tx, CGFloat ty) { state_.ctm = CGAffineTransformTranslate(state_.ctm, tx, ty); }
void CGContext::scaleCTM(CGFloat sx, CGFloat sy) { state_.ctm = CGAffineTransformScale(state_.ctm, sx, sy); }
void CGContext::rotateCTM(CGFloat angle) { state_.ctm = CGAffineTransformRotate(state_.ctm, angle); }
void CGContext::concatCTM(CGAffineTransform t) { state_.ctm = CGAffineTransformConcat(t, state_.ctm); }

void CGContext::setLineDash(CGFloat phase, const CGFloat* lengths, size_t count)
{
    state_.dashPhase = phase;
    state_.dashes.assign(lengths, lengths == nullptr ? lengths : lengths + count);
}

void CGContext::setShadow(CGSize offset, CGFloat blur, CGColorRef color)
{
    state_.shadowOffset = offset;
    state_.shadowBlur = std::max(blur, CGFloat(0));
    state_.shadowColor = std::move(color);
}

void CGContext::addClipPath(CGPathRef path, bool evenOdd)
{
    auto paths = state_.clipPaths ? std::make_shared<std::vector<CGClipPath>>(*state_.clipPaths)
                                  : std::make_shared<std::vector<CGClipPath>>();
    paths->push_back({std::move(path), evenOdd});
    state_.clipPaths = std::move(paths);
}

void CGContext::clipToRect(CGRect rect)
{
    if (!CGContext_cpp::axisAligned(state_.ctm)) {
        addClipPath(CGPathCreateWithRect(rect, &state_.ctm), false);
        return;
    }
    const CGRect device = CGRectApplyAffineTransform(rect, state_.ctm);
    state_.clip = CGRectIsInfinite(state_.clip) ? device : CGRectIntersection(state_.clip, device);
}

CGRect CGContext::clipBoundingBox() const
{
    CGRect box = CGRectIsInfinite(state_.clip) ? CGRectMake(0, 0, size_.width, size_.height) : state_.clip;
    if (state_.clipPaths) {
        for (const CGClipPath& clip : *state_.clipPaths) {
            box = CGRectIntersection(box, CGPathGetBoundingBox(clip.path));
        }
    }
    if (CGRectIsNull(box)) {
        return CGRectNull;
    }
    return CGRectApplyAffineTransform(box, CGAffineTransformInvert(state_.ctm));
}

// --- Paths ----------------------------------------------------------------------------------------

CGPath& CGContext::mutablePath()
{
    if (!path_) {
        path_ = std::make_shared<CGPath>();
    }
    return *path_;
}

void CGContext::moveToPoint(CGFloat x, CGFloat y) { mutablePath().moveTo(&state_.ctm, {x, y}); }

void CGContext::addLineToPoint(CGFloat x, CGFloat y)
{
    if (isPathEmpty()) {
        return;  // no current point: the platform ignores the line
    }
    path_->lineTo(&state_.ctm, {x, y});
}

void CGContext::addQuadCurveToPoint(CGFloat cx, CGFloat cy, CGFloat x, CGFloat y)
{
    if (!isPathEmpty()) {
        path_->quadTo(&state_.ctm, {cx, cy}, {x, y});
    }
}

void CGContext::addCurveToPoint(CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x, CGFloat y)
{
    if (!isPathEmpty()) {
        path_->curveTo(&state_.ctm, {c1x, c1y}, {c2x, c2y}, {x, y});
    }
}

void CGContext::addArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise)
{
    mutablePath();
    CGPathAddArc(path_, &state_.ctm, x, y, radius, startAngle, endAngle, clockwise);
}

void CGContext::addArcToPoint(CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius)
{
    mutablePath();
    CGPathAddArcToPoint(path_, &state_.ctm, x1, y1, x2, y2, radius);
}

void CGContext::addRect(CGRect rect)
{
    mutablePath();
    CGPathAddRect(path_, &state_.ctm, rect);
}

void CGContext::addEllipseInRect(CGRect rect)
{
    mutablePath();
    CGPathAddEllipseInRect(path_, &state_.ctm, rect);
}

void CGContext::addPath(const CGPathRef& path)
{
    if (path) {
        mutablePath().append(*path, &state_.ctm);
    }
}

void CGContext::closePath()
{
    if (path_) {
        path_->close();
    }
}

CGPoint CGContext::pathCurrentPoint() const
{
    if (isPathEmpty()) {
        return CGPointZero;
    }
    return CGPointApplyAffineTransform(path_->currentPoint(), CGAffineTransformInvert(state_.ctm));
}

CGRect CGContext::pathBoundingBox() const
{
    if (isPathEmpty()) {
        return CGRectNull;
    }
    return CGRectApplyAffineTransform(path_->boundingBox(), CGAffineTransformInvert(state_.ctm));
}

void CGContext::drawPath(CGPathDrawingMode mode)
{
    std::shared_ptr<CGPath> path = std::move(path_);
    path_.reset();
    if (!path || path->isEmpty() || !CGContext_cpp::invertible(state_.ctm)) {
        return;
    }
    const CGAffineTransform inverse = CGAffineTransformInvert(state_.ctm);
    const CGPathRef user = CGPathCreateCopyByTransformingPath(path, &inverse);
    const bool fill = mode == kCGPathFill || mode == kCGPathEOFill || mode == kCGPathFillStroke ||
                      mode == kCGPathEOFillStroke;
    const bool stroke = mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    if (fill) {
        auto r = record(CGDrawingRecord::kFillPath, user->boundingBox());
        r.color = state_.fill;
        r.path = user;
        r.evenOdd = mode == kCGPathEOFill || mode == kCGPathEOFillStroke;
        emit(std::move(r));
    }
    if (stroke) {
        auto r = record(CGDrawingRecord::kStrokePath, user->boundingBox());
        r.color = state_.stroke;
        r.path = user;
        emit(std::move(r));
    }
}

void CGContext::clip(bool evenOdd)
{
    std::shared_ptr<CGPath> path = std::move(path_);
    path_.reset();
    if (!path) {
        path = std::make_shared<CGPath>();  // clipping to nothing leaves nothing
    }
    addClipPath(std::move(path), evenOdd);
}

// --- Records --------------------------------------------------------------------------------------

CGDrawingRecord CGContext::record(CGDrawingRecord::Kind kind, CGRect rect) const
{
    CGDrawingRecord r;
    r.kind = kind;
    r.rect = rect;
    r.ctm = state_.ctm;
    r.alpha = state_.alpha;
    r.clip = state_.clip;
    r.clipPaths = state_.clipPaths;
    r.lineWidth = state_.lineWidth;
    r.blendMode = state_.blendMode;
    r.shadowColor = state_.shadowColor;
    r.shadowOffset = state_.shadowOffset;
    r.shadowBlur = state_.shadowBlur;
    r.interpolation = state_.interpolation;
    r.lineCap = state_.lineCap;
    r.lineJoin = state_.lineJoin;
    r.miterLimit = state_.miterLimit;
    r.dashes = state_.dashes;
    r.dashPhase = state_.dashPhase;
    r.strokeColor = state_.stroke;
    r.textMode = state_.textMode;
    r.antialias = state_.antialias;
    return r;
}

void CGContext::emit(CGDrawingRecord&& r)
{
    if (bitmap_) {
        bitmap_->paint(r);
    }
    if (recording_) {
        records_.push_back(std::move(r));
    }
}

void CGContext::fillRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kFillRect, rect);
    r.color = state_.fill;
    emit(std::move(r));
}

void CGContext::strokeRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kStrokeRect, rect);
    r.color = state_.stroke;
    emit(std::move(r));
}

void CGContext::clearRect(CGRect rect) { emit(record(CGDrawingRecord::kClearRect, rect)); }

void CGContext::fillEllipseInRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kFillEllipse, rect);
    r.color = state_.fill;
    emit(std::move(r));
}

void CGContext::strokeEllipseInRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kStrokeEllipse, rect);
    r.color = state_.stroke;
    emit(std::move(r));
}

void CGContext::showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                             CGFloat fontSize)
{
    // The glyphs are chosen when the record is painted.
    showTextLine(text, lineBox, baseline, fontName, fontSize, {});
}

void CGContext::showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                             CGFloat fontSize, std::vector<CGGlyphRun> runs)
{
    auto r = record(CGDrawingRecord::kText, lineBox);
    r.color = state_.fill;
    r.text = text;
    r.baseline = baseline;
    r.fontName = fontName;
    r.fontSize = fontSize;
    r.runs = std::move(runs);
    emit(std::move(r));
}

void CGContext::drawImage(CGRect rect, const CGImageRef& image, CGRect source)
{
    auto r = record(CGDrawingRecord::kImage, rect);
    r.image = image;
    r.source = source;
    emit(std::move(r));
}

void CGContext::drawImageRowsUp(CGRect rect, const CGImageRef& image)
{
    auto r = record(CGDrawingRecord::kImage, rect);
    r.image = image;
    r.imageRowsUp = true;
    emit(std::move(r));
}

void CGContext::drawLinearGradient(const CGGradientRef& gradient, CGPoint start, CGPoint end, unsigned options)
{
    if (!gradient || gradient->stops().empty()) {
        return;
    }
    auto r = record(CGDrawingRecord::kLinearGradient, clipBoundingBox());
    r.gradient = gradient;
    r.startPoint = start;
    r.endPoint = end;
    r.gradientOptions = options;
    emit(std::move(r));
}

void CGContext::drawRadialGradient(const CGGradientRef& gradient, CGPoint startCenter, CGFloat startRadius,
                                   CGPoint endCenter, CGFloat endRadius, unsigned options)
{
    if (!gradient || gradient->stops().empty()) {
        return;
    }
    auto r = record(CGDrawingRecord::kRadialGradient, clipBoundingBox());
    r.gradient = gradient;
    r.startPoint = startCenter;
    r.endPoint = endCenter;
    r.startRadius = std::max(startRadius, CGFloat(0));
    r.endRadius = std::max(endRadius, CGFloat(0));
    r.gradientOptions = options;
    emit(std::move(r));
}

void CGContext::setTextPosition(CGFloat x, CGFloat y)
{
    textMatrix_.tx = x;
    textMatrix_.ty = y;
}

void CGContext::showGlyphs(const CGGlyph* glyphs, size_t count)
{
    if (glyphs == nullptr || count == 0 || !state_.font) {
        return;
    }
    std::vector<CGPoint> positions;
    positions.reserve(count);
    CGFloat x = 0;
    const CGFloat unit = state_.fontSize / state_.font->unitsPerEm();
    for (size_t i = 0; i < count; ++i) {
        positions.push_back({x, 0});
        x += state_.font->advanceForGlyph(glyphs[i]) * unit;
    }
    showGlyphsAtPositions(glyphs, positions.data(), count);
    textMatrix_.tx += textMatrix_.a * x;
    textMatrix_.ty += textMatrix_.b * x;
}

void CGContext::showGlyphsAtPositions(const CGGlyph* glyphs, const CGPoint* positions, size_t count)
{
    if (glyphs == nullptr || positions == nullptr || count == 0 || !state_.font) {
        return;
    }
    auto r = record(CGDrawingRecord::kGlyphs, CGRectNull);
    r.color = state_.fill;
    r.fontName = state_.font->postScriptName();
    r.fontSize = state_.fontSize;
    r.textMatrix = textMatrix_;
    r.runs.push_back({state_.font, std::vector<CGGlyph>(glyphs, glyphs + count),
                      std::vector<CGPoint>(positions, positions + count)});
    emit(std::move(r));
}

void CGContext::beginTransparencyLayer()
{
    emit(record(CGDrawingRecord::kBeginTransparencyLayer, CGRectNull));
    layers_.push_back(state_);
    state_.alpha = 1;
    state_.blendMode = kCGBlendModeNormal;
    state_.shadowColor.reset();
}

void CGContext::endTransparencyLayer()
{
    if (layers_.empty()) {
        return;
    }
    const State begun = std::move(layers_.back());
    layers_.pop_back();
    state_.alpha = begun.alpha;
    state_.blendMode = begun.blendMode;
    state_.shadowColor = begun.shadowColor;
    state_.shadowOffset = begun.shadowOffset;
    state_.shadowBlur = begun.shadowBlur;
    emit(record(CGDrawingRecord::kEndTransparencyLayer, CGRectNull));
}

void CGContext::appendRecords(const std::vector<CGDrawingRecord>& records)
{
    const bool identity = CGAffineTransformIsIdentity(state_.ctm);
    for (CGDrawingRecord r : records) {
        r.ctm = CGAffineTransformConcat(r.ctm, state_.ctm);
        r.alpha *= state_.alpha;
        if (!identity) {
            if (!CGRectIsInfinite(r.clip)) {
                if (CGContext_cpp::axisAligned(state_.ctm)) {
                    r.clip = CGRectApplyAffineTransform(r.clip, state_.ctm);
                } else {
                    auto paths = std::make_shared<std::vector<CGClipPath>>();
                    paths->push_back({CGPathCreateWithRect(r.clip, &state_.ctm), false});
                    if (r.clipPaths) {
                        paths->insert(paths->end(), r.clipPaths->begin(), r.clipPaths->end());
                    }
                    r.clipPaths = std::move(paths);
                    r.clip = CGRectInfinite;
                }
            }
            if (r.clipPaths) {
                auto paths = std::make_shared<std::vector<CGClipPath>>();
                for (const CGClipPath& clip : *r.clipPaths) {
                    paths->push_back({CGPathCreateCopyByTransformingPath(clip.path, &state_.ctm), clip.evenOdd});
                }
                r.clipPaths = std::move(paths);
            }
            r.shadowOffset = CGSizeApplyAffineTransform(r.shadowOffset, state_.ctm);
        }
        if (!CGRectIsInfinite(state_.clip)) {
            r.clip = CGRectIsInfinite(r.clip) ? state_.clip : CGRectIntersection(r.clip, state_.clip);
        }
        if (state_.clipPaths) {
            auto paths = r.clipPaths ? std::make_shared<std::vector<CGClipPath>>(*r.clipPaths)
                                     : std::make_shared<std::vector<CGClipPath>>();
            paths->insert(paths->end(), state_.clipPaths->begin(), state_.clipPaths->end());
            r.clipPaths = std::move(paths);
        }
        emit(std::move(r));
    }
}

// --- Pixels ---------------------------------------------------------------------------------------

size_t CGContext::pixelWidth() const { return bitmap_ ? bitmap_->width() : 0; }
size_t CGContext::pixelHeight() const { return bitmap_ ? bitmap_->height() : 0; }
size_t CGContext::bytesPerRow() const { return bitmap_ ? bitmap_->bytesPerRow() : 0; }
CGBitmapInfo CGContext::bitmapInfo() const { return bitmap_ ? bitmap_->info() : 0; }
size_t CGContext::bitsPerPixel() const { return bitmap_ ? bitmap_->bitsPerPixel() : 0; }
void* CGContext::data() const { return bitmap_ ? bitmap_->data() : nullptr; }
CGImageRef CGContext::makeImage() const { return bitmap_ ? bitmap_->makeImage() : nullptr; }
uint32_t CGContext::pixelAt(size_t x, size_t y) const { return bitmap_ ? bitmap_->pixelAt(x, y) : 0; }

// --- The platform's functions ---------------------------------------------------------------------

void CGContextSaveGState(const CGContextRef& c)
{
    if (c) c->saveGState();
}
void CGContextRestoreGState(const CGContextRef& c)
{
    if (c) c->restoreGState();
}
void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty)
{
    if (c) c->translateCTM(tx, ty);
}
void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy)
{
    if (c) c->scaleCTM(sx, sy);
}
void CGContextRotateCTM(const CGContextRef& c, CGFloat angle)
{
    if (c) c->rotateCTM(angle);
}
void CGContextConcatCTM(const CGContextRef& c, CGAffineTransform t)
{
    if (c) c->concatCTM(t);
}
CGAffineTransform CGContextGetCTM(const CGContextRef& c) { return c ? c->ctm() : CGAffineTransformIdentity; }
void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color)
{
    if (c) c->setFillColor(color);
}
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color)
{
    if (c) c->setStrokeColor(color);
}
void CGContextSetRGBFillColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    if (c) c->setFillColor(CGColor::createRGB(r, g, b, a));
}
void CGContextSetRGBStrokeColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    if (c) c->setStrokeColor(CGColor::createRGB(r, g, b, a));
}
void CGContextSetGrayFillColor(const CGContextRef& c, CGFloat gray, CGFloat a)
{
    if (c) c->setFillColor(CGColor::createGray(gray, a));
}
void CGContextSetGrayStrokeColor(const CGContextRef& c, CGFloat gray, CGFloat a)
{
    if (c) c->setStrokeColor(CGColor::createGray(gray, a));
}
void CGContextSetLineWidth(const CGContextRef& c, CGFloat width)
{
    if (c) c->setLineWidth(width);
}
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap)
{
    if (c) c->setLineCap(cap);
}
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join)
{
    if (c) c->setLineJoin(join);
}
void CGContextSetMiterLimit(const CGContextRef& c, CGFloat limit)
{
    if (c) c->setMiterLimit(limit);
}
void CGContextSetLineDash(const CGContextRef& c, CGFloat phase, const CGFloat* lengths, size_t count)
{
    if (c) c->setLineDash(phase, lengths, count);
}
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha)
{
    if (c) c->setAlpha(alpha);
}
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode)
{
    if (c) c->setBlendMode(mode);
}
void CGContextSetShadow(const CGContextRef& c, CGSize offset, CGFloat blur)
{
    if (c) c->setShadow(offset, blur, CGColor::createGray(0, 1.0 / 3));
}
void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, CGFloat blur, const CGColorRef& color)
{
    if (c) c->setShadow(offset, blur, color);
}
void CGContextSetShouldAntialias(const CGContextRef& c, bool antialias)
{
    if (c) c->setShouldAntialias(antialias);
}
void CGContextSetAllowsAntialiasing(const CGContextRef& c, bool allows)
{
    if (c && !allows) c->setShouldAntialias(false);
}
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality quality)
{
    if (c) c->setInterpolationQuality(quality);
}
void CGContextClipToRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->clipToRect(rect);
}
void CGContextClipToRects(const CGContextRef& c, const CGRect* rects, size_t count)
{
    if (!c || rects == nullptr) {
        return;
    }
    c->beginPath();
    for (size_t i = 0; i < count; ++i) {
        c->addRect(rects[i]);
    }
    c->clip();
}
CGRect CGContextGetClipBoundingBox(const CGContextRef& c) { return c ? c->clipBoundingBox() : CGRectNull; }
void CGContextBeginPath(const CGContextRef& c)
{
    if (c) c->beginPath();
}
void CGContextMoveToPoint(const CGContextRef& c, CGFloat x, CGFloat y)
{
    if (c) c->moveToPoint(x, y);
}
void CGContextAddLineToPoint(const CGContextRef& c, CGFloat x, CGFloat y)
{
    if (c) c->addLineToPoint(x, y);
}
void CGContextAddQuadCurveToPoint(const CGContextRef& c, CGFloat cx, CGFloat cy, CGFloat x, CGFloat y)
{
    if (c) c->addQuadCurveToPoint(cx, cy, x, y);
}
void CGContextAddCurveToPoint(const CGContextRef& c, CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y, CGFloat x,
                              CGFloat y)
{
    if (c) c->addCurveToPoint(c1x, c1y, c2x, c2y, x, y);
}
void CGContextAddArc(const CGContextRef& c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, int clockwise)
{
    if (c) c->addArc(x, y, radius, startAngle, endAngle, clockwise != 0);
}
void CGContextAddArcToPoint(const CGContextRef& c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius)
{
    if (c) c->addArcToPoint(x1, y1, x2, y2, radius);
}
void CGContextAddRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->addRect(rect);
}
void CGContextAddRects(const CGContextRef& c, const CGRect* rects, size_t count)
{
    for (size_t i = 0; c && rects != nullptr && i < count; ++i) {
        c->addRect(rects[i]);
    }
}
void CGContextAddLines(const CGContextRef& c, const CGPoint* points, size_t count)
{
    if (!c || points == nullptr || count == 0) {
        return;
    }
    c->moveToPoint(points[0].x, points[0].y);
    for (size_t i = 1; i < count; ++i) {
        c->addLineToPoint(points[i].x, points[i].y);
    }
}
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->addEllipseInRect(rect);
}
void CGContextAddPath(const CGContextRef& c, const CGPathRef& path)
{
    if (c) c->addPath(path);
}
void CGContextClosePath(const CGContextRef& c)
{
    if (c) c->closePath();
}
bool CGContextIsPathEmpty(const CGContextRef& c) { return !c || c->isPathEmpty(); }
CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c) { return c ? c->pathCurrentPoint() : CGPointZero; }
CGRect CGContextGetPathBoundingBox(const CGContextRef& c) { return c ? c->pathBoundingBox() : CGRectNull; }
void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode)
{
    if (c) c->drawPath(mode);
}
void CGContextFillPath(const CGContextRef& c)
{
    if (c) c->fillPath();
}
void CGContextEOFillPath(const CGContextRef& c)
{
    if (c) c->eoFillPath();
}
void CGContextStrokePath(const CGContextRef& c)
{
    if (c) c->strokePath();
}
void CGContextClip(const CGContextRef& c)
{
    if (c) c->clip(false);
}
void CGContextEOClip(const CGContextRef& c)
{
    if (c) c->clip(true);
}
void CGContextFillRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->fillRect(rect);
}
void CGContextFillRects(const CGContextRef& c, const CGRect* rects, size_t count)
{
    for (size_t i = 0; c && rects != nullptr && i < count; ++i) {
        c->fillRect(rects[i]);
    }
}
void CGContextStrokeRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->strokeRect(rect);
}
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, CGFloat width)
{
    if (c) {
        c->saveGState();
        c->setLineWidth(width);
        c->strokeRect(rect);
        c->restoreGState();
    }
}
void CGContextClearRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->clearRect(rect);
}
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->fillEllipseInRect(rect);
}
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->strokeEllipseInRect(rect);
}
void CGContextStrokeLineSegments(const CGContextRef& c, const CGPoint* points, size_t count)
{
    if (!c || points == nullptr) {
        return;
    }
    c->beginPath();
    for (size_t i = 0; i + 1 < count; i += 2) {
        c->moveToPoint(points[i].x, points[i].y);
        c->addLineToPoint(points[i + 1].x, points[i + 1].y);
    }
    c->strokePath();
}
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image)
{
    if (c && image) c->drawImageRowsUp(rect, image);
}
void CGContextDrawTiledImage(const CGContextRef& c, CGRect rect, const CGImageRef& image)
{
    if (!c || !image || rect.size.width <= 0 || rect.size.height <= 0) {
        return;
    }
    const CGRect area = c->clipBoundingBox();
    if (CGRectIsNull(area) || CGRectIsInfinite(area)) {
        return;
    }
    const CGFloat w = rect.size.width, h = rect.size.height;
    const CGFloat x0 = rect.origin.x + std::floor((CGRectGetMinX(area) - rect.origin.x) / w) * w;
    const CGFloat y0 = rect.origin.y + std::floor((CGRectGetMinY(area) - rect.origin.y) / h) * h;
    for (CGFloat y = y0; y < CGRectGetMaxY(area); y += h) {
        for (CGFloat x = x0; x < CGRectGetMaxX(area); x += w) {
            c->drawImageRowsUp(CGRectMake(x, y, w, h), image);
        }
    }
}
void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint start, CGPoint end,
                                 CGGradientDrawingOptions options)
{
    if (c) c->drawLinearGradient(gradient, start, end, options);
}
void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options)
{
    if (c) c->drawRadialGradient(gradient, startCenter, startRadius, endCenter, endRadius, options);
}
void CGContextBeginTransparencyLayer(const CGContextRef& c, const void*)
{
    if (c) c->beginTransparencyLayer();
}
void CGContextEndTransparencyLayer(const CGContextRef& c)
{
    if (c) c->endTransparencyLayer();
}
void CGContextSetFont(const CGContextRef& c, const CGFontRef& font)
{
    if (c) c->setFont(font);
}
void CGContextSetFontSize(const CGContextRef& c, CGFloat size)
{
    if (c) c->setFontSize(size);
}
void CGContextSetTextMatrix(const CGContextRef& c, CGAffineTransform m)
{
    if (c) c->setTextMatrix(m);
}
CGAffineTransform CGContextGetTextMatrix(const CGContextRef& c)
{
    return c ? c->textMatrix() : CGAffineTransformIdentity;
}
void CGContextSetTextPosition(const CGContextRef& c, CGFloat x, CGFloat y)
{
    if (c) c->setTextPosition(x, y);
}
CGPoint CGContextGetTextPosition(const CGContextRef& c) { return c ? c->textPosition() : CGPointZero; }
void CGContextSetTextDrawingMode(const CGContextRef& c, CGTextDrawingMode mode)
{
    if (c) c->setTextDrawingMode(mode);
}
void CGContextShowGlyphs(const CGContextRef& c, const CGGlyph* glyphs, size_t count)
{
    if (c) c->showGlyphs(glyphs, count);
}
void CGContextShowGlyphsAtPoint(const CGContextRef& c, CGFloat x, CGFloat y, const CGGlyph* glyphs, size_t count)
{
    if (c) {
        c->setTextPosition(x, y);
        c->showGlyphs(glyphs, count);
    }
}
void CGContextShowGlyphsAtPositions(const CGContextRef& c, const CGGlyph* glyphs, const CGPoint* positions,
                                    size_t count)
{
    if (c) c->showGlyphsAtPositions(glyphs, positions, count);
}

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo info)
{
    const bool alphaOnly = (info & kCGBitmapAlphaInfoMask) == kCGImageAlphaOnly;
    if (!alphaOnly && !space) {
        return nullptr;
    }
    return CGContext::createBitmap(data, width, height, bitsPerComponent, bytesPerRow, info);
}
void* CGBitmapContextGetData(const CGContextRef& c) { return c ? c->data() : nullptr; }
size_t CGBitmapContextGetWidth(const CGContextRef& c) { return c ? c->pixelWidth() : 0; }
size_t CGBitmapContextGetHeight(const CGContextRef& c) { return c ? c->pixelHeight() : 0; }
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& c) { return c ? c->bytesPerRow() : 0; }
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& c) { return c ? c->bitsPerPixel() : 0; }
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& c) { return c && c->hasPixels() ? 8 : 0; }
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& c) { return c ? c->bitmapInfo() : 0; }
CGImageRef CGBitmapContextCreateImage(const CGContextRef& c) { return c ? c->makeImage() : nullptr; }
