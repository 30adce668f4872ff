// guide_images DIR: draws the six pictures of the first-run guide into DIR as guide<i>.jpg (320 x 460)
// and guide<i>@2x.jpg (640 x 920): a calm colour field, a few soft circles, a mark drawn for what the
// page tells (a video camera, filters, an upload, a place, friends, a play button) and two lines of
// text. The
// pictures in resources/ were written by it; change them here, run it again and commit the files.
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>

#include "platform/foundation/MainThread.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace guide_images_cpp {

enum class Mark { Camera, Filters, Upload, Place, Friends, Play };

struct Page {
    double r, g, b;
    Mark mark;
    const char* title;
    const char* line;
};

const Page kPages[] = {
    {0.16, 0.44, 0.76, Mark::Camera, "记录生活的每一刻", "随手拍下身边的精彩短视频"},
    {0.85, 0.42, 0.25, Mark::Filters, "实时滤镜", "十几种滤镜，拍出电影的味道"},
    {0.20, 0.60, 0.45, Mark::Upload, "边拍边传", "视频在后台上传，断网了也不怕"},
    {0.55, 0.35, 0.70, Mark::Place, "发现附近", "看看身边的人都在拍什么"},
    {0.90, 0.62, 0.18, Mark::Friends, "关注好友", "好友的新视频第一时间看到"},
    {0.12, 0.30, 0.50, Mark::Play, "准备好了吗？", "拍下第一段视频，和朋友分享"},
};

void fillPolygon(const CGContextRef& c, std::initializer_list<CGPoint> points)
{
    CGContextBeginPath(c);
    bool first = true;
    for (const CGPoint p : points) {
        if (first) {
            CGContextMoveToPoint(c, p.x, p.y);
        } else {
            CGContextAddLineToPoint(c, p.x, p.y);
        }
        first = false;
    }
    CGContextClosePath(c);
    CGContextFillPath(c);
}

void fillRoundedRect(const CGContextRef& c, CGRect r, CGFloat radius)
{
    CGContextBeginPath(c);
    CGContextAddPath(c, CGPathCreateWithRoundedRect(r, radius, radius, nullptr));
    CGContextFillPath(c);
}

// The page's mark, white on a pale disc around (160, 160): what the page tells, at a glance.
void drawMark(const CGContextRef& c, const Page& page)
{
    CGContextSetRGBFillColor(c, 1, 1, 1, 0.16);
    CGContextFillEllipseInRect(c, CGRectMake(95, 95, 130, 130));
    CGContextSetRGBFillColor(c, 1, 1, 1, 0.95);
    switch (page.mark) {
    case Mark::Camera:  // a video camera: a body, its lens and the viewfinder's wedge
        fillRoundedRect(c, CGRectMake(112, 136, 70, 48), 8);
        fillPolygon(c, {CGPointMake(184, 160), CGPointMake(210, 142), CGPointMake(210, 178)});
        CGContextSetRGBFillColor(c, page.r, page.g, page.b, 1);
        CGContextFillEllipseInRect(c, CGRectMake(132, 145, 30, 30));
        CGContextSetRGBFillColor(c, 1, 1, 1, 0.95);
        CGContextFillEllipseInRect(c, CGRectMake(141, 154, 12, 12));
        break;
    case Mark::Filters:  // three overlapping lenses of different tints
        CGContextSetRGBFillColor(c, 1, 0.35, 0.35, 0.85);
        CGContextFillEllipseInRect(c, CGRectMake(118, 118, 56, 56));
        CGContextSetRGBFillColor(c, 0.35, 0.85, 0.45, 0.85);
        CGContextFillEllipseInRect(c, CGRectMake(146, 118, 56, 56));
        CGContextSetRGBFillColor(c, 0.35, 0.55, 1, 0.85);
        CGContextFillEllipseInRect(c, CGRectMake(132, 144, 56, 56));
        break;
    case Mark::Upload:  // a cloud with an arrow going up into it
        CGContextFillEllipseInRect(c, CGRectMake(112, 148, 44, 40));
        CGContextFillEllipseInRect(c, CGRectMake(132, 126, 56, 56));
        CGContextFillEllipseInRect(c, CGRectMake(166, 146, 42, 42));
        CGContextFillRect(c, CGRectMake(134, 160, 52, 28));
        CGContextSetRGBFillColor(c, page.r, page.g, page.b, 1);
        fillPolygon(c, {CGPointMake(160, 140), CGPointMake(178, 160), CGPointMake(167, 160), CGPointMake(167, 182),
                        CGPointMake(153, 182), CGPointMake(153, 160), CGPointMake(142, 160)});
        break;
    case Mark::Place:  // a map pin standing on its shadow
        CGContextSetRGBFillColor(c, 0, 0, 0, 0.18);
        CGContextFillEllipseInRect(c, CGRectMake(140, 198, 40, 10));
        CGContextSetRGBFillColor(c, 1, 1, 1, 0.95);
        CGContextFillEllipseInRect(c, CGRectMake(132, 116, 56, 56));
        fillPolygon(c, {CGPointMake(136, 158), CGPointMake(184, 158), CGPointMake(160, 202)});
        CGContextSetRGBFillColor(c, page.r, page.g, page.b, 1);
        CGContextFillEllipseInRect(c, CGRectMake(148, 132, 24, 24));
        break;
    case Mark::Friends:  // two people side by side, the nearer one larger
        CGContextSetRGBFillColor(c, 1, 1, 1, 0.7);
        CGContextFillEllipseInRect(c, CGRectMake(164, 124, 30, 30));
        fillRoundedRect(c, CGRectMake(154, 158, 50, 40), 18);
        CGContextSetRGBFillColor(c, 1, 1, 1, 0.95);
        CGContextFillEllipseInRect(c, CGRectMake(122, 126, 36, 36));
        fillRoundedRect(c, CGRectMake(110, 166, 60, 40), 20);
        break;
    case Mark::Play:  // a round play button
        CGContextFillEllipseInRect(c, CGRectMake(120, 120, 80, 80));
        CGContextSetRGBFillColor(c, page.r, page.g, page.b, 1);
        fillPolygon(c, {CGPointMake(150, 140), CGPointMake(178, 160), CGPointMake(150, 180)});
        break;
    }
}

bool write(const std::string& path, double scale, const Page& page)
{
    const CGSize size = CGSizeMake(320, 460);
    UIGraphicsBeginImageContextWithOptions(size, true, scale);
    CGContextRef context = UIGraphicsGetCurrentContext();
    CGContextSetRGBFillColor(context, page.r, page.g, page.b, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 320, 460));
    // Soft circles in lighter and darker tones of the page's colour.
    CGContextSetRGBFillColor(context, 1, 1, 1, 0.12);
    CGContextFillEllipseInRect(context, CGRectMake(-60, -40, 260, 260));
    CGContextFillEllipseInRect(context, CGRectMake(200, 260, 200, 200));
    CGContextSetRGBFillColor(context, 0, 0, 0, 0.10);
    CGContextFillEllipseInRect(context, CGRectMake(180, 40, 120, 120));
    drawMark(context, page);
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(page.title, CGRectMake(20, 240, 280, 36),
                                                                 UIFont::fontWithName_size("STHeitiSC-Medium", 26),
                                                                 UILineBreakModeTailTruncation, UITextAlignmentCenter);
    CGContextSetRGBFillColor(context, 1, 1, 1, 0.85);
    UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(page.line, CGRectMake(20, 286, 280, 24),
                                                                 UIFont::fontWithName_size("STHeitiSC-Light", 15),
                                                                 UILineBreakModeTailTruncation, UITextAlignmentCenter);
    const Ref<UIImage> image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    const auto jpeg = UIImageJPEGRepresentation(image, 0.85);
    if (!jpeg) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(jpeg->bytes()), std::streamsize(jpeg->length()));
    return bool(out);
}

}  // namespace guide_images_cpp
}  // namespace

int main(int argc, char** argv)
{
    using namespace guide_images_cpp;
    if (argc != 2) {
        std::fprintf(stderr, "usage: guide_images DIR\n");
        return 2;
    }
    designateMainThread();
    UIImage::installImageCodecs();
    const std::string dir = argv[1];
    for (int i = 0; i < 6; ++i) {
        const std::string name = dir + "/guide" + std::to_string(i);
        if (!write(name + ".jpg", 1, kPages[i]) || !write(name + "@2x.jpg", 2, kPages[i])) {
            std::fprintf(stderr, "guide_images: could not write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
