#pragma once
// The tour: the running application driven along its main road as a person would, through the screen's
// touch path (UIScreenInput: the same the desktop window turns the mouse into) and the keyboard, never
// by calling into a screen. It looks at the screen (which controller shows, what its views hold) and
// touches what a person would touch.
//
// After each step it writes the screen's picture as DIR/NN-step.png and prints one line of what it saw
// ("tour: NN step: ..."); a step that did not see what it expected prints "FAILED: ..." and ends the
// tour. Runs on the main thread inside the application's run loop, waiting with the main loop turning.
#include <string>

// Runs every step; true when every step saw what it expected.
bool runTour(const std::string& dir);
