// guide_images DIR: draws the six pictures of the first-run guide into DIR as guide<i>.jpg (320 x 460)
// and guide<i>@2x.jpg (640 x 920): a calm colour field, a few soft circles and two lines of text. The
// pictures in resources/ were written by it; change them here, run it again and commit the files.
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/foundation/MainThread.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace guide_images_cpp {

struct Page {
    double r, g, b;
    const char* title;
    const char* line;
};

const Page kPages[] = {
    {0.16, 0.44, 0.76, "记录生活的每一刻", "随手拍下身边的精彩短视频"},
    {0.85, 0.42, 0.25, "实时滤镜", "十几种滤镜，拍出电影的味道"},
    {0.20, 0.60, 0.45, "边拍边传", "视频在后台上传，断网了也不怕"},
    {0.55, 0.35, 0.70, "发现附近", "看看身边的人都在拍什么"},
    {0.90, 0.62, 0.18, "关注好友", "好友的新视频第一时间看到"},
    {0.12, 0.30, 0.50, "准备好了吗？", "拍下第一段视频，和朋友分享"},
};

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
    // A round "lens" in the middle.
    CGContextSetRGBFillColor(context, 1, 1, 1, 0.9);
    CGContextFillEllipseInRect(context, CGRectMake(110, 110, 100, 100));
    CGContextSetRGBFillColor(context, page.r, page.g, page.b, 1);
    CGContextFillEllipseInRect(context, CGRectMake(130, 130, 60, 60));
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
