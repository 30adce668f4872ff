#include "platform/screen/UIScreenDisplay.h"

#include <SDL.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>

#include "platform/foundation/Clock.h"
#include "platform/foundation/CFRunLoopSource.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/screen/UIScreenEvents.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenLetterbox.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScreen.h"

namespace {
namespace UIScreenDisplay_cpp {

constexpr CGFloat kScale = 2;

struct Display {
    SDL_Window* window = nullptr;
    std::unique_ptr<UIScreenRenderer> renderer;
    // The frame timer: repeating at the frame rate while frames may differ, parked (fire date in the
    // distant future) while nothing changes, and woken when the main loop served anything else or
    // the window has events.
    Ref<NSTimer> timer;
    double interval = 1.0 / 60;
    double lastTick = -1;
    bool parked = false;
    bool inTick = false;       // the item being served is the frame timer's own
    // The X server's connection, watched for events while the timer is parked (null without X: the
    // timer then never parks).
    Ref<CFRunLoopSource> events;
    uint64_t ticks = 0;
    uint64_t presented = 0;
    bool mouseDown = false;
    std::function<void(const CGContextRef&)> framePresented;
    // The window's picture: where the screen goes in the window surface, the surface it was laid out
    // for (a resize makes a new one, whose bars must be painted), and the scaled picture when the
    // window is not 1:1.
    UIScreenLetterbox box;
    SDL_Surface* laidOutFor = nullptr;
    int laidOutWidth = 0, laidOutHeight = 0;
    SDL_Surface* scaled = nullptr;
    bool presentPending = false;  // the window needs the picture again though the renderer drew nothing
    CGSize fittingSize;           // the window size that fits the display
};

Display& display()
{
    static Display* state = new Display();  // main thread only; lives for the process
    return *state;
}

bool hasDisplay()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

CGPoint pointOf(int x, int y)
{
    return display().box.pointAt(x, y);
}

bool onPicture(int x, int y)
{
    return display().box.contains(x, y);
}

void present()
{
    Display& d = display();
    SDL_Surface* surface = SDL_GetWindowSurface(d.window);
    if (surface == nullptr) {
        return;
    }
    d.presentPending = false;
    const CGContextRef& context = d.renderer->context();
    const int pictureWidth = int(context->pixelWidth()), pictureHeight = int(context->pixelHeight());
    if (surface != d.laidOutFor || surface->w != d.laidOutWidth || surface->h != d.laidOutHeight) {
        d.laidOutFor = surface;
        d.laidOutWidth = surface->w;
        d.laidOutHeight = surface->h;
        d.box = UIScreenLetterbox::fit(d.renderer->size(), surface->w, surface->h);
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        if (d.scaled != nullptr) {
            SDL_FreeSurface(d.scaled);
            d.scaled = nullptr;
        }
    }
    const UIScreenLetterbox& box = d.box;
    if (box.width <= 0 || box.height <= 0) {
        return;
    }
    // The renderer's pixels are premultiplied ARGB words; the screen behind them is opaque black, so
    // every pixel is opaque and the words are plain colours.
    const void* source = context->data();
    int sourcePitch = int(context->bytesPerRow());
    if (box.width != pictureWidth || box.height != pictureHeight) {
        // Scaled smoothly into a picture of the box's size first, then converted into the window.
        if (d.scaled == nullptr) {
            d.scaled = SDL_CreateRGBSurfaceWithFormat(0, box.width, box.height, 32, SDL_PIXELFORMAT_ARGB8888);
        }
        SDL_Surface* whole = SDL_CreateRGBSurfaceWithFormatFrom(context->data(), pictureWidth, pictureHeight, 32,
                                                                sourcePitch, SDL_PIXELFORMAT_ARGB8888);
        if (d.scaled == nullptr || whole == nullptr || SDL_SoftStretchLinear(whole, nullptr, d.scaled, nullptr) != 0) {
            SDL_FreeSurface(whole);
            return;
        }
        SDL_FreeSurface(whole);
        source = d.scaled->pixels;
        sourcePitch = d.scaled->pitch;
    }
    const int w = std::min(box.width, surface->w - box.x);
    const int h = std::min(box.height, surface->h - box.y);
    auto* target = static_cast<uint8_t*>(surface->pixels) + ptrdiff_t(box.y) * surface->pitch +
                   ptrdiff_t(box.x) * surface->format->BytesPerPixel;
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, source, sourcePitch, surface->format->format, target,
                      surface->pitch);
    SDL_UpdateWindowSurface(d.window);
    ++d.presented;
    if (d.framePresented) {
        d.framePresented(context);
    }
}

// Arrows, Home and End move the caret (Shift selects); Ctrl+A/C/X/V are the clipboard's.
void handleEditingKey(const SDL_Keysym& key)
{
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    if ((key.mod & KMOD_CTRL) != 0) {
        if (key.sym == SDLK_a || key.sym == SDLK_c || key.sym == SDLK_x || key.sym == SDLK_v) {
            UIScreenInput::pressCommand(char(key.sym));
        }
        return;
    }
    switch (key.sym) {
    case SDLK_LEFT:
        UIScreenInput::pressCaretKey(UITextCaretKey::Left, shift);
        break;
    case SDLK_RIGHT:
        UIScreenInput::pressCaretKey(UITextCaretKey::Right, shift);
        break;
    case SDLK_HOME:
        UIScreenInput::pressCaretKey(UITextCaretKey::Home, shift);
        break;
    case SDLK_END:
        UIScreenInput::pressCaretKey(UITextCaretKey::End, shift);
        break;
    default:
        break;
    }
}

// Keys that size the window rather than type: Ctrl+1 shows the screen's pixels 1:1, Ctrl+0 goes
// back to the size that fits the display.
bool handleWindowKey(const SDL_KeyboardEvent& key)
{
    Display& d = display();
    if ((key.keysym.mod & KMOD_CTRL) == 0) {
        return false;
    }
    if (key.keysym.sym == SDLK_1) {
        const CGSize size = d.renderer->size();
        SDL_SetWindowSize(d.window, int(size.width * kScale), int(size.height * kScale));
        return true;
    }
    if (key.keysym.sym == SDLK_0) {
        SDL_SetWindowSize(d.window, int(d.fittingSize.width), int(d.fittingSize.height));
        return true;
    }
    return false;
}

void handle(const SDL_Event& event)
{
    Display& d = display();
    switch (event.type) {
    case SDL_QUIT:
        UIApplication::sharedApplication()->simulateTerminate();
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            UIApplication::sharedApplication()->simulateTerminate();
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
            d.renderer->invalidate();
        } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            d.presentPending = true;  // the picture goes into the new size at the next tick
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST && d.mouseDown) {
            d.mouseDown = false;
            UIScreenInput::touchCancelled();
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT && onPicture(event.button.x, event.button.y)) {
            d.mouseDown = true;
            UIScreenInput::touchDown(pointOf(event.button.x, event.button.y));
        }
        break;
    case SDL_MOUSEMOTION:
        if (d.mouseDown) {
            UIScreenInput::touchMoved(pointOf(event.motion.x, event.motion.y));
        }
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT && d.mouseDown) {
            d.mouseDown = false;
            UIScreenInput::touchUp(pointOf(event.button.x, event.button.y));
        }
        break;
    case SDL_MOUSEWHEEL: {
        // One notch moves 40 points; the wheel turned away from the person shows what is above.
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        const int sign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        UIScreenInput::scrollWheel(pointOf(x, y), CGPointMake(CGFloat(sign * event.wheel.x) * 40,
                                                              CGFloat(-sign * event.wheel.y) * 40));
        break;
    }
    case SDL_TEXTINPUT:
        UIScreenInput::typeText(event.text.text);
        break;
    case SDL_KEYDOWN:
        if (handleWindowKey(event.key)) {
            break;
        }
        if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) {
            UIScreenInput::pressReturn();
        } else if (event.key.keysym.sym == SDLK_BACKSPACE) {
            UIScreenInput::pressDelete();
        } else if (event.key.keysym.sym == SDLK_TAB) {
            UIScreenInput::pressTab((event.key.keysym.mod & KMOD_SHIFT) != 0);
        } else {
            handleEditingKey(event.key.keysym);
        }
        break;
    default:
        break;
    }
}

// Handles the window's pending events; true when there were any.
bool handleEvents()
{
    Display& d = display();
    bool any = false;
    SDL_Event event;
    while (d.window != nullptr && SDL_PollEvent(&event) != 0) {
        handle(event);
        any = true;
    }
    return any;
}

// The frame timer runs again: at once, or a frame after the last one if that was less than a frame ago.
void wake()
{
    Display& d = display();
    if (d.timer == nullptr || !d.parked) {
        return;
    }
    d.parked = false;
    d.timer->setFireDate(std::max(Clock::now(), d.lastTick + d.interval));
}

void tick()
{
    Display& d = display();
    // Only a frame that is an item of its own can be told apart at its end; one served inside another
    // item (a nested run) leaves that item's end to wake the timer.
    d.inTick = NSRunLoop::itemsBeingServed() <= 1;
    d.lastTick = Clock::now();
    ++d.ticks;
    bool busy = handleEvents();
    if (d.window != nullptr && (d.renderer->renderFrame() || d.presentPending)) {
        present();
        busy = true;
    }
    // Presenting talks to the X server, which may hand over events that then wait in the client's
    // queue, where the watched descriptor no longer shows them.
    busy = handleEvents() || busy;
    if (d.window != nullptr && d.events != nullptr && !busy && !d.presentPending && !d.renderer->isAnimating()) {
        // Nothing changed and nothing moves: no more frames until something happens.
        d.parked = true;
        d.timer->setFireDate(NSRunLoop::distantFuture);
    }
}

// After every item of the main loop other than a frame: it may have changed what shows.
void itemEnded()
{
    Display& d = display();
    if (d.inTick) {
        d.inTick = false;
        return;
    }
    wake();
}


}  // namespace UIScreenDisplay_cpp
}  // namespace

bool UIScreenDisplay::open(const Options& options)
{
    using namespace UIScreenDisplay_cpp;
    Display& d = display();
    if (d.window != nullptr) {
        return true;
    }
    // The window's pixels go straight to the display server: no graphics driver in between to make
    // the picture differ from machine to machine (and no window recreated for one on the first frame).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (!hasDisplay() || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    auto screen = UIScreen::mainScreen();
    screen->setScale(kScale);
    const CGSize size = screen->bounds().size;
    // At most 90% of the display's height, so the bottom of the screen is never off the desktop.
    SDL_Rect bounds{};
    const double maxHeight = SDL_GetDisplayBounds(0, &bounds) == 0 && bounds.h > 0 ? 0.9 * bounds.h : 0;
    d.fittingSize = UIScreenLetterbox::openingSize(size, kScale, maxHeight);
    const CGSize opening = options.oneToOne ? CGSizeMake(size.width * kScale, size.height * kScale) : d.fittingSize;
    d.window = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                int(opening.width), int(opening.height), SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (d.window == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_StartTextInput();
    UIEditableKeyInput::setCaretBlinks(true);
    d.renderer = std::make_unique<UIScreenRenderer>(size, kScale);
    d.presented = 0;
    d.framePresented = options.framePresented;
    d.interval = 1.0 / (options.framesPerSecond > 0 ? options.framesPerSecond : 60);
    d.timer = NSTimer::timerWithTimeInterval(d.interval, true, [] { tick(); });
    d.parked = false;
    d.inTick = false;
    d.ticks = 0;
    NSRunLoop::currentRunLoop()->addTimer(d.timer, kCFRunLoopCommonModes);
    // Events that come while the timer is parked: the source's item takes them, and its end wakes the
    // timer (itemEnded) to draw what they changed.
    if (const int fd = UIScreenEventDescriptor(d.window); fd >= 0) {
        d.events = CFRunLoopSource::createForFd(fd, CFRunLoopSource::kReadable, [](unsigned) { handleEvents(); });
        NSRunLoop::currentRunLoop()->addSource(d.events, kCFRunLoopCommonModes);
    }
    NSRunLoop::setItemEndObserver(itemEnded);
    return true;
}

bool UIScreenDisplay::isOpen()
{
    return UIScreenDisplay_cpp::display().window != nullptr;
}

void UIScreenDisplay::close()
{
    using namespace UIScreenDisplay_cpp;
    Display& d = display();
    if (d.window == nullptr) {
        return;
    }
    NSRunLoop::setItemEndObserver(nullptr);
    if (d.events != nullptr) {
        d.events->invalidate();
        d.events = nullptr;
    }
    d.timer->invalidate();
    d.timer = nullptr;
    d.parked = false;
    SDL_StopTextInput();
    if (d.scaled != nullptr) {
        SDL_FreeSurface(d.scaled);
        d.scaled = nullptr;
    }
    d.laidOutFor = nullptr;
    SDL_DestroyWindow(d.window);
    d.window = nullptr;
    d.renderer.reset();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

uint64_t UIScreenDisplay::framesPresented()
{
    return UIScreenDisplay_cpp::display().presented;
}

uint64_t UIScreenDisplay::framesLookedAt()
{
    return UIScreenDisplay_cpp::display().ticks;
}

bool UIScreenDisplay::isAtRest()
{
    return UIScreenDisplay_cpp::display().parked;
}

int UIScreenDisplay::pixelWidth()
{
    using namespace UIScreenDisplay_cpp;
    int w = 0, h = 0;
    if (display().window != nullptr) SDL_GetWindowSize(display().window, &w, &h);
    return w;
}

int UIScreenDisplay::pixelHeight()
{
    using namespace UIScreenDisplay_cpp;
    int w = 0, h = 0;
    if (display().window != nullptr) SDL_GetWindowSize(display().window, &w, &h);
    return h;
}
