// Text layout and drawing: a paragraph of 2,000 characters of mixed Chinese and Latin text, laid out
// 300 points wide and drawn into a 300 x 2400 pixel bitmap at 15 points, in the bundle's Chinese font
// (WenQuanYi Micro Hei, as "STHeitiSC-Light").
//   BM_KitText          the kit's line breaker and glyph drawing (drawInRect_withZFont)
//   BM_AttributedLabel  the framesetter (shaping and ICU line breaks) through the attributed label
//   BM_Pango            the peer: Pango laying out and drawing the same text in the same font with cairo
// Paragraphs per second are the items per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "widgets/AttributedLabel.h"
#include "widgets/CustomFontManager.h"
#include "widgets/TextDrawing.h"
#include "widgets/TextFont.h"

namespace {
namespace bench_text_cpp {

constexpr double kWidth = 300;
constexpr double kHeight = 2400;
constexpr float kSize = 15;

// 2,000 characters: sentences of a video description, Chinese with Latin words and numbers.
const std::string& paragraph()
{
    static const std::string text = [] {
        const std::u16string pieces[] = {u"今天在西湖边拍了一段 short video，", u"天气很好 (sunny, 24°C)，",
                                         u"朋友们都说 amazing！", u"下次一起去 Hangzhou 吧。",
                                         u"记得带上 camera 和三脚架，", u"拍摄时间大约 15 分钟。"};
        std::u16string out;
        for (size_t i = 0; out.size() < 2000; ++i) {
            out += pieces[i % std::size(pieces)];
        }
        out.resize(2000);
        return NSString::fromUTF16(out);
    }();
    return text;
}

CGContextRef bitmap()
{
    return CGContext::createImageContext(CGSizeMake(kWidth, kHeight), 1);
}

void BM_KitText(benchmark::State& state)
{
    MainThreadScope main;
    const Ref<TextFont> font = CustomFontManager::sharedManager()->textFontWithName_pointSize("STHeitiSC-Light", kSize);
    if (!font) {
        state.SkipWithError("no bundle font");
        return;
    }
    const CGContextRef c = bitmap();
    UIGraphicsPushContext(c);
    CGFloat height = 0;
    for (auto _ : state) {
        c->clearRect(CGRectMake(0, 0, kWidth, kHeight));
        const CGSize size = CustomFontLabelStringDrawing::drawInRect_withZFont(paragraph(), CGRectMake(0, 0, kWidth, kHeight), font);
        benchmark::DoNotOptimize(size);
        height = size.height;
    }
    UIGraphicsPopContext();
    state.SetItemsProcessed(state.iterations());
    // The paragraph's height and lines, to compare the line breaks of the two paths. A line of the
    // kit's drawing at 15 points is the font's leading and 4 points more, so the heights differ by
    // the lines' spacing even where the lines break alike.
    state.counters["height_px"] = height;
    state.counters["lines"] = std::round(height / (font->leading() + 4));
}
BENCHMARK(BM_KitText)->Unit(benchmark::kMillisecond);

void BM_AttributedLabel(benchmark::State& state)
{
    MainThreadScope main;
    const Ref<AttributedLabel> label = AttributedLabel::initWithFrame(CGRectMake(0, 0, kWidth, kHeight));
    label->setFont(UIFont::fontWithName_size("STHeitiSC-Light", kSize));
    label->setNumberOfLines(0);
    label->setVerticalAlignment(1);
    const CGContextRef c = bitmap();
    UIGraphicsPushContext(c);
    for (auto _ : state) {
        c->clearRect(CGRectMake(0, 0, kWidth, kHeight));
        label->setText(paragraph());  // a new text: shaped and laid out again
        label->drawTextInRect(label->bounds());
    }
    UIGraphicsPopContext();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AttributedLabel)->Unit(benchmark::kMillisecond);

void BM_Pango(benchmark::State& state)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    cairo_t* cr = cairo_create(surface);
    PangoFontDescription* description = pango_font_description_from_string("WenQuanYi Micro Hei");
    pango_font_description_set_absolute_size(description, kSize * PANGO_SCALE);
    int height = 0;
    int lines = 0;
    for (auto _ : state) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        PangoLayout* layout = pango_cairo_create_layout(cr);  // a new layout: shaped and broken again
        pango_layout_set_font_description(layout, description);
        pango_layout_set_width(layout, int(kWidth * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_text(layout, paragraph().data(), int(paragraph().size()));
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout(cr, layout);
        pango_layout_get_pixel_size(layout, nullptr, &height);
        lines = pango_layout_get_line_count(layout);
        g_object_unref(layout);
    }
    state.counters["height_px"] = height;
    state.counters["lines"] = lines;
    pango_font_description_free(description);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Pango)->Unit(benchmark::kMillisecond);

}  // namespace bench_text_cpp
}  // namespace

BENCHMARK_MAIN();
