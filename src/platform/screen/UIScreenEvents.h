#pragma once
// The descriptor on which a desktop window's events arrive (its connection to the X server), for the
// main run loop to watch; -1 when the window is on another video system. Kept in a file of its own:
// the X headers' macros must not meet the rest of the platform's names.
struct SDL_Window;

int UIScreenEventDescriptor(SDL_Window* window);
