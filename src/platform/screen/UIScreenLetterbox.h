#pragma once
// Where the screen's picture goes in a desktop window of any size: scaled to fit while keeping its
// aspect, centred, with black bars on the two sides left over (letter-boxed); and the way back from a
// mouse position in the window to a point on the screen.
#include <algorithm>
#include <cmath>

#include "platform/graphics/CGGeometry.h"

struct UIScreenLetterbox {
    // The picture's place in the window, in window pixels.
    int x = 0, y = 0, width = 0, height = 0;
    CGSize screen;  // the screen in points

    // The screen (points) drawn as a picture of pixels fitted into a window of windowWidth x
    // windowHeight pixels.
    static UIScreenLetterbox fit(CGSize screen, int windowWidth, int windowHeight)
    {
        UIScreenLetterbox box;
        box.screen = screen;
        if (screen.width <= 0 || screen.height <= 0 || windowWidth <= 0 || windowHeight <= 0) {
            return box;
        }
        const double scale = std::min(windowWidth / screen.width, windowHeight / screen.height);
        box.width = std::max(1, int(std::lround(screen.width * scale)));
        box.height = std::max(1, int(std::lround(screen.height * scale)));
        box.x = (windowWidth - box.width) / 2;
        box.y = (windowHeight - box.height) / 2;
        return box;
    }

    // The window size a screen opens at: its pixels at `scale` per point, shrunk (keeping the aspect)
    // so that it is at most `maxHeight` pixels high.
    static CGSize openingSize(CGSize screen, double scale, double maxHeight)
    {
        double width = screen.width * scale, height = screen.height * scale;
        if (maxHeight > 0 && height > maxHeight) {
            width = std::floor(width * maxHeight / height);
            height = std::floor(maxHeight);
        }
        return {width, height};
    }

    bool contains(int windowX, int windowY) const
    {
        return windowX >= x && windowX < x + width && windowY >= y && windowY < y + height;
    }

    // The screen point under a window pixel (kept on the screen: a drag that leaves the picture stays
    // at its edge).
    CGPoint pointAt(double windowX, double windowY) const
    {
        if (width <= 0 || height <= 0) {
            return {0, 0};
        }
        const double px = (windowX - x) * screen.width / width;
        const double py = (windowY - y) * screen.height / height;
        return {std::clamp(px, 0.0, double(screen.width)), std::clamp(py, 0.0, double(screen.height))};
    }
};
