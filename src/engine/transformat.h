#pragma once
// The live remux of a growing recording into FLV and the codec header every FLV starts with.
//
// Hooks filled by the live remux work (transformat.cpp); until then they do nothing.

// Loads the codec header from the video folder, or asks the service for it with the device name,
// when none is loaded yet. May block the calling thread on the request.
void prepareheader(const char* devicename);
