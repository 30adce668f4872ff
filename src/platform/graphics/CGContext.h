#pragma once
// Drawing contexts that record what is drawn into them.
//
// A context keeps the platform's graphics state (transform, fill and stroke colours, line width,
// alpha, clip, font) in a stack of saved states and appends one record per drawing call, with the
// state it was drawn in. Tests read the records to see what a view drew and where; rendering the
// records into pixels is left to a bitmap back end.
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGGeometry.h"

class CGContext;
using CGContextRef = std::shared_ptr<CGContext>;

struct CGDrawingRecord {
    enum Kind {
        kFillRect,
        kStrokeRect,
        kClearRect,
        kFillEllipse,
        kStrokeEllipse,
        kText,   // one line of text: `text` in the font `fontName` at `fontSize`, its line box in `rect`
        kImage,  // `image` (or its `source` part) into `rect`
    };
    Kind kind = kFillRect;
    CGRect rect;                  // in user space (apply `ctm` for device space)
    CGAffineTransform ctm;        // the transform when drawn
    CGColorRef color;             // fill colour (stroke colour for strokes); null for clears and images
    CGFloat lineWidth = 1;        // strokes
    CGFloat alpha = 1;            // the context's alpha when drawn
    CGRect clip = CGRectInfinite; // the clip in device space when drawn
    std::string text;             // text records
    std::string fontName;
    CGFloat fontSize = 0;
    CGFloat baseline = 0;         // text records: the baseline's distance below the line box's top
    CGImageRef image;             // image records
    CGRect source = CGRectNull;   // image records: the part of the image drawn, in pixels (null: all)
};

class CGContext {
public:
    // A context of size points at `scale` device pixels per point, as an image context has.
    static CGContextRef createRecording(CGSize size, CGFloat scale = 1);

    CGSize size() const { return size_; }
    CGFloat scale() const { return scale_; }

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
    void setAlpha(CGFloat alpha) { state_.alpha = alpha; }
    CGFloat alpha() const { return state_.alpha; }
    void clipToRect(CGRect rect);  // intersects the clip with rect (user space)
    CGRect clipBoundingBox() const;  // the clip in user space

    void fillRect(CGRect rect);
    void strokeRect(CGRect rect);
    void clearRect(CGRect rect);
    void fillEllipseInRect(CGRect rect);
    void strokeEllipseInRect(CGRect rect);
    // One line of text in its line box (top-left origin, as the interface draws text).
    void showTextLine(const std::string& text, CGRect lineBox, CGFloat baseline, const std::string& fontName,
                      CGFloat fontSize);
    void drawImage(CGRect rect, const CGImageRef& image, CGRect source = CGRectNull);

    // Appends records drawn elsewhere as if drawn here now: their transforms follow this context's,
    // their alpha is multiplied by its alpha and their clip is cut by its clip.
    void appendRecords(const std::vector<CGDrawingRecord>& records);

    const std::vector<CGDrawingRecord>& records() const { return records_; }
    void clearRecords() { records_.clear(); }

private:
    struct State {
        CGAffineTransform ctm;
        CGColorRef fill;
        CGColorRef stroke;
        CGFloat lineWidth = 1;
        CGFloat alpha = 1;
        CGRect clip = CGRectInfinite;  // device space
    };
    CGDrawingRecord record(CGDrawingRecord::Kind kind, CGRect rect) const;

    CGSize size_;
    CGFloat scale_ = 1;
    State state_;
    std::vector<State> saved_;
    std::vector<CGDrawingRecord> records_;
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
void CGContextSetLineWidth(const CGContextRef& c, CGFloat width);
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha);
void CGContextClipToRect(const CGContextRef& c, CGRect rect);
CGRect CGContextGetClipBoundingBox(const CGContextRef& c);
void CGContextFillRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, CGFloat width);
void CGContextClearRect(const CGContextRef& c, CGRect rect);
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);
