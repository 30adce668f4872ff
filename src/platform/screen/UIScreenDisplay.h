#pragma once
// The device's screen as a desktop window, when the machine has a display: 320 x 480 points at scale
// 2 (640 x 960 pixels). Without a display the application runs headless, as the tests do.
//
// The window can be resized: the screen's picture keeps its aspect, scaled to fit and centred between
// black bars, and the mouse is mapped back to screen points. It opens at 640 x 960 pixels, shrunk to
// at most 90% of the display's height; Ctrl+1 sets it to 1:1 pixels, Ctrl+0 back to that fitting size.
//
// While open, a timer on the main run loop (in the common modes, 60 times a second) takes the
// window's events and draws the screen (UIScreenRenderer) into the window whenever a layer changed, so
// at most 60 frames a second. It runs only while frames may differ: once a frame finds nothing changed
// and no animation running, it rests until the main loop serves something else (a timer, a posted
// task, a network source: anything may have changed the layers) or the window has events, so an idle
// application costs no processor time. Mouse presses, drags and releases of the left button are one finger's
// touches (UIScreenInput: the windows' hit testing and gesture recognisers); typed text, return and
// backspace go to the first responder through the simulated keyboard. Closing the window terminates
// the application as the phone does (the delegate hears it; UIApplicationMain returns).
//
// Main thread only. The desktop's windowing library stays inside this file's implementation.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/graphics/CGContext.h"

namespace UIScreenDisplay {

struct Options {
    std::string title = "ombri";
    double framesPerSecond = 60;
    // Open at the screen's pixels 1:1 (640 x 960) whatever the display's height.
    bool oneToOne = false;
    // Called after each frame reached the window, with the pixels shown (for a program that reports
    // what it showed).
    std::function<void(const CGContextRef& pixels)> framePresented;
};

// Opens the window: false when there is no display (no DISPLAY / WAYLAND_DISPLAY, or the video system
// does not start), and then nothing changes. The main screen becomes scale 2.
bool open(const Options& options = Options());
bool isOpen();
// Closes the window (the timer stops); nothing when closed.
void close();

// Frames drawn into the window since it opened, and the window's size in pixels (0 x 0 when closed;
// the screen's picture is letter-boxed into it).
uint64_t framesPresented();
// Times the frame timer looked at the layers since the window opened, and whether it rests now.
uint64_t framesLookedAt();
bool isAtRest();
int pixelWidth();
int pixelHeight();

}  // namespace UIScreenDisplay
