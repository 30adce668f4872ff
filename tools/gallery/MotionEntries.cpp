// Gallery entries of things in motion: contact sheets of frames taken while a push slides a screen
// over the home feed and while the record menu fans out. Each scene is built in a window of its own
// on the real clock (so replies and pictures arrive), then a manual clock steps it through its
// animation and every frame is drawn into the sheet.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "widgets/RadialMenu.h"

namespace gallery {

namespace {
namespace MotionEntries_cpp {

constexpr int kColumns = 4;
constexpr int kFrames = 8;
constexpr CGFloat kThumbWidth = 160, kThumbHeight = 240, kCaption = 20;

struct Sheet {
    Ref<UIWindow> sheet;  // the gallery's window: the frames go into it
    Ref<UIWindow> scene;  // where the motion runs
    std::function<bool()> sceneReady;
    std::function<void()> start;  // sets the scene moving (on the manual clock)
    double duration = 0.35;       // the frames cover this much time from the start
    bool done = false;
};

// Steps the scene through its animation on a manual clock and lays its frames out in the sheet.
void takeFrames(Sheet& s)
{
    const std::shared_ptr<ClockSource> previous = Clock::installed();
    auto manual = std::make_shared<ManualClock>(Clock::now(), Clock::wallNow());
    Clock::install(manual);
    s.start();
    for (int i = 0; i < kFrames; ++i) {
        if (i > 0) {
            manual->advance(s.duration / (kFrames - 1));
        }
        const Ref<UIImage> frame = UIWindowSnapshot(s.scene, 1);
        const CGFloat x = (i % kColumns) * kThumbWidth, y = (i / kColumns) * (kThumbHeight + kCaption);
        auto view = UIImageView::initWithImage(frame);
        view->setFrame(CGRectMake(x, y, kThumbWidth, kThumbHeight));
        s.sheet->addSubview(view);
        auto caption = UILabel::initWithFrame(CGRectMake(x, y + kThumbHeight, kThumbWidth, kCaption));
        char text[32];
        std::snprintf(text, sizeof text, "%.3f s", s.duration * i / (kFrames - 1));
        caption->setText(text);
        caption->setFont(UIFont::systemFontOfSize(12));
        caption->setTextAlignment(UITextAlignmentCenter);
        s.sheet->addSubview(caption);
    }
    manual->advance(1);  // whatever the motion left running ends before the real clock returns
    Clock::install(previous);
    s.scene->setHidden(true);
    s.done = true;
}

UIGalleryEntry sheetEntry(const std::string& name, std::function<void(Sheet&)> build)
{
    auto state = std::make_shared<Sheet>();
    const CGSize size = CGSizeMake(kColumns * kThumbWidth, (kFrames / kColumns) * (kThumbHeight + kCaption));
    return {name, size,
            [state, build](const Ref<UIWindow>& window) {
                *state = Sheet();
                state->sheet = window;
                state->scene = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
                state->scene->setBackgroundColor(UIColor::whiteColor());
                state->scene->makeKeyAndVisible();
                UIGallery::keep(state->scene);
                build(*state);
            },
            [state] {
                if (!state->done && (!state->sceneReady || state->sceneReady())) {
                    takeFrames(*state);
                }
                return state->done;
            }};
}

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

// A plain second screen for the push: a title and a line of text on white.
Ref<UIViewController> secondScreen()
{
    auto screen = UIViewController::create();
    screen->setTitle("第二页");
    screen->view()->setBackgroundColor(UIColor::whiteColor());
    auto label = UILabel::initWithFrame(CGRectMake(20, 40, 280, 30));
    label->setText("推进来的页面");
    label->setFont(UIFont::systemFontOfSize(20));
    screen->view()->addSubview(label);
    return screen;
}

void pushOverHomeFeed(Sheet& s)
{
    UIGalleryEntry feed;
    for (const UIGalleryEntry& entry : UIGallery::entries()) {
        if (entry.name == "feed-home") feed = entry;
    }
    if (!feed.build) {
        return;
    }
    feed.build(s.scene);
    s.sceneReady = [ready = feed.ready] { return !ready || ready(); };
    s.duration = UINavigationTransitionDuration;
    s.start = [scene = s.scene] {
        if (auto navigation = navigationIn(scene->rootViewController())) {
            navigation->pushViewController_animated(secondScreen(), true);
        }
    };
}

void radialMenuExpanding(Sheet& s)
{
    std::vector<Ref<RadialMenuItem>> items;
    for (const char* image : {"menu_item_record", "menu_item_living", "menu_item_import"}) {
        items.push_back(RadialMenuItem::initWithImage_highlightedImage_ContentImage_highlightedContentImage(
            UIImage::imageNamed(image), UIImage::imageNamed(std::string(image) + "_down"), nullptr, nullptr));
    }
    auto menu = RadialMenu::initWithFrame_menus(CGRectMake(10, -60, 200, 200), items);
    s.scene->addSubview(menu);
    UIGallery::keep(menu);
    s.duration = 0.56;
    s.start = [menu] { menu->setExpanding(true); };
}

}  // namespace MotionEntries_cpp
}  // namespace

void registerMotionEntries()
{
    using namespace MotionEntries_cpp;
    UIGallery::add(sheetEntry("motion-push-over-home-feed", pushOverHomeFeed));
    UIGallery::add(sheetEntry("motion-radial-menu-expanding", radialMenuExpanding));
}

}  // namespace gallery
