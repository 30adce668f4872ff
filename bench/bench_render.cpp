// Drawing a window: a 640 x 960 pixel window (320 x 480 points at scale 2) holding a table of 10 cells,
// each with an image and two lines of text.
//   BM_WindowDrawnWhole      every view marked, drawn again and the window rendered into its pixels
//   BM_WindowDrawnUnchanged  nothing changed: the kept drawings rendered again into the same pixels
//   BM_WindowSnapshot        a new picture each time (new pixels, copied into a UIImage)
//   BM_CairoDirect           the floor: the same rectangles, images and glyphs painted with cairo alone
//                            into the same surface each time
//   BM_ScreenFrame/reuse:0|1 the window stand-in's frame (UIScreenRenderer) after one row's text changed:
//                            the whole screen drawn again (0), or only the changed layers' part (1); the
//                            window needs 60 frames a second
//   BM_HomeFeedFrame/reuse:0|1 the same for the application's own home feed (its navigation bar, header
//                            and video rows with their pictures, on the stand-in service's first page)
//                            after one row's label changed
//   BM_HomeFeedScrolled/reuse:0|1 the home feed's list moving 2 points a frame, as under a finger
//   BM_HomeFeedPush/reuse:0|1 a second screen pushed over the home feed and popped again, the clock a
//                            60th of a second further each frame: while the slide runs every layer of
//                            both screens moves; moving_fps counts the frames that moved alone
// Frames per second are the items per second.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "Gallery.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIGallery.h"
#include "service/StandInService.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/graphics/TextLayout.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "platform/screen/UIScreenRenderer.h"

namespace {
namespace bench_render_cpp {

constexpr int kRows = 10;
constexpr CGFloat kRowHeight = 48;

// A 40 x 40 point image at scale 2: a blue square with a lighter centre.
CGImageRef sampleImage()
{
    std::vector<uint32_t> pixels(80 * 80);
    for (size_t y = 0; y < 80; ++y) {
        for (size_t x = 0; x < 80; ++x) {
            const bool centre = x > 20 && x < 60 && y > 20 && y < 60;
            pixels[y * 80 + x] = centre ? 0xFF9EC4EEu : 0xFF2870C2u;
        }
    }
    return CGImage::create(80, 80, std::move(pixels));
}

std::string title(int row) { return "第" + std::to_string(row + 1) + "条视频 · A short clip"; }
std::string detail(int row) { return "小明 发布于 " + std::to_string(row + 2) + " 分钟前"; }

class Rows : public UITableViewDataSource {
public:
    Ref<UIImage> image = UIImage::imageWithCGImage_scale_orientation(sampleImage(), 2, UIImageOrientationUp);
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger) override { return kRows; }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>&, const Ref<NSIndexPath>& path) override
    {
        auto cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleSubtitle, "Row");
        cell->textLabel()->setText(title(int(path->row())));
        cell->detailTextLabel()->setText(detail(int(path->row())));
        cell->imageView()->setImage(image);
        return cell;
    }
};

struct Screen {
    Ref<UIWindow> window;
    Ref<UITableView> table;
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();

    Screen()
    {
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setBackgroundColor(UIColor::whiteColor());
        table = UITableView::initWithFrame_style(window->bounds(), UITableViewStylePlain);
        table->setRowHeight(kRowHeight);
        table->setDataSource(rows);
        window->addSubview(table);
        window->makeKeyAndVisible();
        table->reloadData();
        drainMain();
    }

    void markAll(const Ref<UIView>& view)
    {
        view->setNeedsDisplay();
        for (const Ref<UIView>& sub : view->subviews()) {
            markAll(sub);
        }
    }
};

void BM_WindowDrawnWhole(benchmark::State& state)
{
    Screen screen;
    auto pixels = CGContext::createImageContext(screen.window->bounds().size, 2);
    for (auto _ : state) {
        screen.markAll(screen.window);
        UIWindowDrawInContext(screen.window, pixels);
        benchmark::DoNotOptimize(pixels->data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowDrawnWhole)->Unit(benchmark::kMillisecond);

void BM_WindowDrawnUnchanged(benchmark::State& state)
{
    Screen screen;
    auto pixels = CGContext::createImageContext(screen.window->bounds().size, 2);
    UIWindowDrawInContext(screen.window, pixels);
    for (auto _ : state) {
        UIWindowDrawInContext(screen.window, pixels);
        benchmark::DoNotOptimize(pixels->data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowDrawnUnchanged)->Unit(benchmark::kMillisecond);

void BM_WindowSnapshot(benchmark::State& state)
{
    Screen screen;
    for (auto _ : state) {
        benchmark::DoNotOptimize(UIWindowSnapshot(screen.window, 2));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowSnapshot)->Unit(benchmark::kMillisecond);

// The same picture straight on cairo: background, per row an image, two lines of text and a separator.
void BM_CairoDirect(benchmark::State& state)
{
    const CGImageRef image = sampleImage();
    cairo_surface_t* picture = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image->pixels().data())), CAIRO_FORMAT_ARGB32, 80, 80,
        80 * 4);
    const textlayout::FontAtSize bold{CGFont::createWithFontName("Helvetica-Bold"), 18};
    const textlayout::FontAtSize plain{CGFont::createWithFontName("Helvetica"), 14};
    struct Line {
        std::vector<textlayout::GlyphRun> runs;
        CGFloat size, x, y;
    };
    std::vector<Line> lines;
    for (int row = 0; row < kRows; ++row) {
        lines.push_back({textlayout::glyphRuns(title(row), bold), 18, 60, row * kRowHeight + 22});
        lines.push_back({textlayout::glyphRuns(detail(row), plain), 14, 60, row * kRowHeight + 40});
    }
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    std::vector<cairo_glyph_t> glyphs;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 640, 960);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, 2, 2);
        cairo_set_font_options(cr, options);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        for (int row = 0; row < kRows; ++row) {
            const double y = row * kRowHeight;
            cairo_save(cr);
            cairo_translate(cr, 10, y + 4);
            cairo_scale(cr, 0.5, 0.5);
            cairo_set_source_surface(cr, picture, 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
            cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
            cairo_rectangle(cr, 0, y + kRowHeight - 1, 320, 1);
            cairo_fill(cr);
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (const Line& line : lines) {
            for (const auto& run : line.runs) {
                cairo_set_font_face(cr, static_cast<cairo_font_face_t*>(run.font->cairoFontFace()));
                cairo_set_font_size(cr, line.size);
                glyphs.clear();
                for (size_t i = 0; i < run.glyphs.size(); ++i) {
                    glyphs.push_back({run.glyphs[i], line.x + run.x[i], line.y});
                }
                cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
            }
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    cairo_surface_destroy(surface);
    cairo_font_options_destroy(options);
    cairo_surface_destroy(picture);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CairoDirect)->Unit(benchmark::kMillisecond);

void BM_ScreenFrame(benchmark::State& state)
{
    Screen screen;
    UIScreenRenderer renderer(CGSizeMake(320, 480), 2, state.range(0) != 0);
    renderer.renderFrame();
    int frame = 0;
    for (auto _ : state) {
        // One row's second line changes, as a count or a time would.
        auto cell = screen.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow_inSection(frame % kRows, 0));
        cell->detailTextLabel()->setText(detail(frame % kRows) + " · " + std::to_string(frame));
        ++frame;
        benchmark::DoNotOptimize(renderer.renderFrame());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScreenFrame)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The home feed as the gallery builds it, in the key window, with its first page and pictures arrived.
struct HomeFeed {
    std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("ombri-bench-render-" + std::to_string(::getpid()));
    std::unique_ptr<standin::StandInService> service;
    Ref<UIWindow> window;
    std::vector<Ref<UILabel>> labels;  // the labels of the rows on show
    std::vector<std::string> texts;    // their texts as the feed set them
    Ref<UITableView> table;            // the feed's list

    HomeFeed()
    {
        std::filesystem::create_directories(home);
        FoundationRoots::setHomeDirectory(home.string());
        UIImage::installImageCodecs();
        service = std::make_unique<standin::StandInService>();
        ::setenv("OMBRI_SERVICE_HOST", service->hostPort().c_str(), 1);
        gallery::registerAllEntries();
        const auto& entries = UIGallery::entries();
        const auto entry = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.name == "feed-home"; });
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setBackgroundColor(UIColor::whiteColor());
        window->makeKeyAndVisible();
        entry->build(window);
        pumpMainUntil([&] { return entry->ready(); }, std::chrono::seconds(10));
        drainMain();
        collectLabels(window);
        for (const auto& label : labels) {
            texts.push_back(label->text());
        }
    }
    ~HomeFeed()
    {
        std::error_code error;
        std::filesystem::remove_all(home, error);
    }
    void collectLabels(const Ref<UIView>& view)
    {
        if (auto found = std::dynamic_pointer_cast<UITableView>(view); found && !table) {
            table = found;
        }
        if (auto cell = std::dynamic_pointer_cast<UITableViewCell>(view)) {
            collectCellLabels(cell);
            return;
        }
        for (const Ref<UIView>& sub : view->subviews()) {
            collectLabels(sub);
        }
    }
    void collectCellLabels(const Ref<UIView>& view)
    {
        if (view->isHidden() || view->alpha() <= 0) {
            return;  // nothing under it shows
        }
        auto label = std::dynamic_pointer_cast<UILabel>(view);
        const CGRect onScreen = view->convertRect_toView(view->bounds(), nullptr);
        if (label && !label->text().empty() && CGRectIntersectsRect(onScreen, window->bounds())) {
            labels.push_back(label);
        }
        for (const Ref<UIView>& sub : view->subviews()) {
            collectCellLabels(sub);
        }
    }
};

// Built once, by the first benchmark that needs it.
HomeFeed& homeFeed()
{
    static HomeFeed feed;
    return feed;
}

void BM_HomeFeedFrame(benchmark::State& state)
{
    HomeFeed& feed = homeFeed();
    if (feed.labels.empty()) {
        state.SkipWithError("the home feed showed no rows");
        return;
    }
    UIScreenRenderer renderer(CGSizeMake(320, 480), 2, state.range(0) != 0);
    renderer.renderFrame();
    size_t frame = 0;
    size_t drawn = 0;
    for (auto _ : state) {
        // One row's label changes, as a count or a time would: each label in turn gains a mark, and
        // loses it on its next turn.
        const size_t which = frame % feed.labels.size();
        const bool marked = (frame / feed.labels.size()) % 2 == 0;
        feed.labels[which]->setText(feed.texts[which] + (marked ? "·" : ""));
        ++frame;
        drawn += renderer.renderFrame() ? 1 : 0;
    }
    for (size_t i = 0; i < feed.labels.size(); ++i) {
        feed.labels[i]->setText(feed.texts[i]);
    }
    state.counters["labels"] = double(feed.labels.size());
    state.counters["drawn_share"] = double(drawn) / double(std::max<size_t>(frame, 1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HomeFeedFrame)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The home feed under a finger: the list moves 2 points each frame, down 40 frames and back up, so
// every row on show moves (the worst case for reusing unchanged pixels).
void BM_HomeFeedScrolled(benchmark::State& state)
{
    HomeFeed& feed = homeFeed();
    if (!feed.table) {
        state.SkipWithError("the home feed showed no list");
        return;
    }
    UIScreenRenderer renderer(CGSizeMake(320, 480), 2, state.range(0) != 0);
    renderer.renderFrame();
    const CGPoint start = feed.table->contentOffset();
    int frame = 0;
    for (auto _ : state) {
        const int step = frame % 80;
        const int points = step < 40 ? step * 2 : (80 - step) * 2;
        feed.table->setContentOffset(CGPointMake(start.x, start.y + points));
        ++frame;
        benchmark::DoNotOptimize(renderer.renderFrame());
    }
    feed.table->setContentOffset(start);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HomeFeedScrolled)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

Ref<UINavigationController> navigationIn(const Ref<UIViewController>& controller)
{
    if (!controller) {
        return nullptr;
    }
    if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(controller)) {
        return navigation;
    }
    for (const Ref<UIViewController>& child : controller->childViewControllers()) {
        if (auto found = navigationIn(child)) {
            return found;
        }
    }
    return nullptr;
}

void BM_HomeFeedPush(benchmark::State& state)
{
    HomeFeed& feed = homeFeed();
    Ref<UINavigationController> navigation = navigationIn(feed.window->rootViewController());
    if (!navigation) {
        state.SkipWithError("the home feed has no navigation controller");
        return;
    }
    ScopedManualClock clock;
    auto second = UIViewController::create();
    second->view()->setBackgroundColor(UIColor::whiteColor());
    auto title = UILabel::initWithFrame(CGRectMake(20, 40, 280, 30));
    title->setText("第二页");
    second->view()->addSubview(title);
    UIScreenRenderer renderer(CGSizeMake(320, 480), 2, state.range(0) != 0);
    renderer.renderFrame();
    // A push, its 21 frames and a few still ones, then the pop back the same way.
    constexpr int kCycle = 48;
    int frame = 0;
    size_t drawn = 0;
    // The frames that moved, timed on their own: the rate the window keeps while a slide runs.
    double movingSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int step = frame % kCycle;
        if (step == 0) {
            navigation->pushViewController_animated(second, true);
        } else if (step == kCycle / 2) {
            navigation->popViewControllerAnimated(true);
        }
        clock.advance(1.0 / 60);
        ++frame;
        if (renderer.renderFrame()) {
            ++drawn;
            movingSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    if (navigation->topViewController() == second) {
        navigation->popViewControllerAnimated(false);
    }
    state.counters["drawn_share"] = double(drawn) / double(std::max(frame, 1));
    state.counters["moving_fps"] = movingSeconds > 0 ? double(drawn) / movingSeconds : 0;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HomeFeedPush)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace bench_render_cpp
}  // namespace

int main(int argc, char** argv)
{
    designateMainThread();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
