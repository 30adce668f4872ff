#pragma once
// The device's screen as a desktop window, when the machine has a display: 320 x 480 points at scale
// 2 (640 x 960 pixels). Without a display the application runs headless, as the tests do.
//
// While open, a timer on the main run loop (in the common modes, 60 times a second) takes the
// window's events and draws the screen (UIScreenRenderer) into the window whenever a layer changed, so
// at most 60 frames a second. Mouse presses, drags and releases of the left button are one finger's
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

// Frames drawn into the window since it opened, and the window's size in pixels (0 x 0 when closed).
uint64_t framesPresented();
int pixelWidth();
int pixelHeight();

}  // namespace UIScreenDisplay
