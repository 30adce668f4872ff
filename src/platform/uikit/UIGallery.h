#pragma once
// The gallery's registry: named pictures of widgets and screens in given states, for a person to look
// at. build/bin/gallery DIR (tools/gallery) builds every entry in a window against the local stand-in
// service, lets its images arrive, renders it at scale 2 and writes DIR/NAME.png.
//
// A module adds its entries from one registration function of its own, which the gallery program
// calls at start (see docs/architecture.md, "The gallery"):
//
//     void registerWidgetGalleryEntries()
//     {
//         UIGallery::add({"count-badge-12", CGSizeMake(60, 40), [](const Ref<UIWindow>& window) {
//             window->addSubview(CountBadge::countBadgeWithString("12"));
//         }});
//     }
//
// Entries run on the main thread, one at a time, each in a new visible key window of the entry's size
// at (0, 0); what an entry leaves behind (alerts on show, timers) is cleared before the next.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"

class UIWindow;

struct UIGalleryEntry {
    // The picture's file name without ".png": lower case words joined by '-', the widget or screen
    // first, then its state ("status-bar-overlay-error").
    std::string name;
    // The window's size in points (the picture is twice as many pixels each way).
    CGSize size;
    // Builds the widget or screen into the window: adds views to it or sets its root view controller.
    // The stand-in service runs and OMBRI_SERVICE_HOST names it; the main run loop turns after build.
    std::function<void(const Ref<UIWindow>& window)> build;
    // Optional: true once the entry is ready to be drawn (its images and replies arrived). The gallery
    // turns the main run loop until it is, for at most a few seconds, then draws what there is.
    std::function<bool()> ready;
};

namespace UIGallery {

// Adds an entry; an entry of the same name is replaced.
void add(UIGalleryEntry entry);
// Every entry, by name.
std::vector<UIGalleryEntry> entries();
void clear();

// Keeps an object an entry built (a data source, a controller, a window of its own) alive until the
// entry has been drawn; windows only hold their views, and delegates are weak.
void keep(std::shared_ptr<const void> object);
// Drops what was kept (the gallery calls it after each entry).
void releaseKept();

}  // namespace UIGallery
