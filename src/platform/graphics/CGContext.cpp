#include "platform/graphics/CGContext.h"

CGContextRef CGContext::createRecording(CGSize size, CGFloat scale)
{
    auto context = std::make_shared<CGContext>();
    context->size_ = size;
    context->scale_ = scale > 0 ? scale : 1;
    context->state_.fill = CGColor::createGray(0, 1);
    context->state_.stroke = CGColor::createGray(0, 1);
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

void CGContext::clipToRect(CGRect rect)
{
    const CGRect device = CGRectApplyAffineTransform(rect, state_.ctm);
    state_.clip = CGRectIsInfinite(state_.clip) ? device : CGRectIntersection(state_.clip, device);
}

CGRect CGContext::clipBoundingBox() const
{
    if (CGRectIsInfinite(state_.clip)) {
        return CGRectApplyAffineTransform(CGRectMake(0, 0, size_.width, size_.height),
                                          CGAffineTransformInvert(state_.ctm));
    }
    return CGRectApplyAffineTransform(state_.clip, CGAffineTransformInvert(state_.ctm));
}

CGDrawingRecord CGContext::record(CGDrawingRecord::Kind kind, CGRect rect) const
{
    CGDrawingRecord r;
    r.kind = kind;
    r.rect = rect;
    r.ctm = state_.ctm;
    r.alpha = state_.alpha;
    r.clip = state_.clip;
    r.lineWidth = state_.lineWidth;
    return r;
}

void CGContext::fillRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kFillRect, rect);
    r.color = state_.fill;
    records_.push_back(std::move(r));
}

void CGContext::strokeRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kStrokeRect, rect);
    r.color = state_.stroke;
    records_.push_back(std::move(r));
}

void CGContext::clearRect(CGRect rect) { records_.push_back(record(CGDrawingRecord::kClearRect, rect)); }

void CGContext::fillEllipseInRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kFillEllipse, rect);
    r.color = state_.fill;
    records_.push_back(std::move(r));
}

void CGContext::strokeEllipseInRect(CGRect rect)
{
    auto r = record(CGDrawingRecord::kStrokeEllipse, rect);
    r.color = state_.stroke;
    records_.push_back(std::move(r));
}

void CGContext::showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                             CGFloat fontSize)
{
    auto r = record(CGDrawingRecord::kText, lineBox);
    r.color = state_.fill;
    r.text = text;
    r.baseline = baseline;
    r.fontName = fontName;
    r.fontSize = fontSize;
    records_.push_back(std::move(r));
}

void CGContext::drawImage(CGRect rect, const CGImageRef& image, CGRect source)
{
    auto r = record(CGDrawingRecord::kImage, rect);
    r.image = image;
    r.source = source;
    records_.push_back(std::move(r));
}

void CGContext::appendRecords(const std::vector<CGDrawingRecord>& records)
{
    for (CGDrawingRecord r : records) {
        r.ctm = CGAffineTransformConcat(r.ctm, state_.ctm);
        r.alpha *= state_.alpha;
        if (!CGRectIsInfinite(r.clip)) {
            r.clip = CGRectApplyAffineTransform(r.clip, state_.ctm);
        }
        if (!CGRectIsInfinite(state_.clip)) {
            r.clip = CGRectIsInfinite(r.clip) ? state_.clip : CGRectIntersection(r.clip, state_.clip);
        }
        records_.push_back(std::move(r));
    }
}

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
void CGContextSetLineWidth(const CGContextRef& c, CGFloat width)
{
    if (c) c->setLineWidth(width);
}
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha)
{
    if (c) c->setAlpha(alpha);
}
void CGContextClipToRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->clipToRect(rect);
}
CGRect CGContextGetClipBoundingBox(const CGContextRef& c) { return c ? c->clipBoundingBox() : CGRectNull; }
void CGContextFillRect(const CGContextRef& c, CGRect rect)
{
    if (c) c->fillRect(rect);
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
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image)
{
    if (c) c->drawImage(rect, image);
}
