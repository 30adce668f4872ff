#include "platform/screen/UIScreenDisplay.h"

#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/screen/UIScreenInput.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIScreen.h"

namespace {
namespace UIScreenDisplay_cpp {

constexpr CGFloat kScale = 2;

struct Display {
    SDL_Window* window = nullptr;
    std::unique_ptr<UIScreenRenderer> renderer;
    Ref<NSTimer> timer;
    uint64_t presented = 0;
    bool mouseDown = false;
    std::function<void(const CGContextRef&)> framePresented;
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
    return CGPointMake(CGFloat(x) / kScale, CGFloat(y) / kScale);
}

void present()
{
    Display& d = display();
    SDL_Surface* surface = SDL_GetWindowSurface(d.window);
    if (surface == nullptr) {
        return;
    }
    const CGContextRef& context = d.renderer->context();
    const int w = std::min(int(context->pixelWidth()), surface->w);
    const int h = std::min(int(context->pixelHeight()), surface->h);
    // The renderer's pixels are premultiplied ARGB words; the screen behind them is opaque black, so
    // every pixel is opaque and the words are plain colours.
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, context->data(), int(context->bytesPerRow()),
                      surface->format->format, surface->pixels, surface->pitch);
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
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST && d.mouseDown) {
            d.mouseDown = false;
            UIScreenInput::touchCancelled();
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
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

void tick()
{
    Display& d = display();
    SDL_Event event;
    while (d.window != nullptr && SDL_PollEvent(&event) != 0) {
        handle(event);
    }
    if (d.window != nullptr && d.renderer->renderFrame()) {
        present();
    }
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
    const int width = int(size.width * kScale);
    const int height = int(size.height * kScale);
    d.window = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                SDL_WINDOW_SHOWN);
    if (d.window == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_StartTextInput();
    UIEditableKeyInput::setCaretBlinks(true);
    d.renderer = std::make_unique<UIScreenRenderer>(size, kScale);
    d.presented = 0;
    d.framePresented = options.framePresented;
    const double interval = 1.0 / (options.framesPerSecond > 0 ? options.framesPerSecond : 60);
    d.timer = NSTimer::timerWithTimeInterval(interval, true, [] { tick(); });
    NSRunLoop::currentRunLoop()->addTimer(d.timer, kCFRunLoopCommonModes);
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
    d.timer->invalidate();
    d.timer = nullptr;
    SDL_StopTextInput();
    SDL_DestroyWindow(d.window);
    d.window = nullptr;
    d.renderer.reset();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

uint64_t UIScreenDisplay::framesPresented()
{
    return UIScreenDisplay_cpp::display().presented;
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
