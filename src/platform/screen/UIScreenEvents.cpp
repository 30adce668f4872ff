#include "platform/screen/UIScreenEvents.h"

#include <SDL.h>
#define SDL_VIDEO_DRIVER_X11 1
#include <SDL_syswm.h>

int UIScreenEventDescriptor(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11 ||
        info.info.x11.display == nullptr) {
        return -1;
    }
    return XConnectionNumber(info.info.x11.display);
}
