#pragma once
// The gallery run: every registered entry (UIGallery.h) built, drawn at scale 2 and written as a PNG.
#include <string>
#include <vector>

namespace gallery {

// Registers every module's entries (each module's registration function is called here).
void registerAllEntries();

struct Result {
    std::vector<std::string> written;  // paths of the pictures written
    std::vector<std::string> failed;   // names of entries that could not be built or written
    // Names of entries drawn although they were still not ready when the wait for them ended: their
    // pictures may show empty boxes where images or replies go.
    std::vector<std::string> unready;
};

// Runs on the calling thread, which must be the main thread: starts the stand-in service, points
// OMBRI_SERVICE_HOST at it, installs the image codecs, then builds and draws each entry (all of them
// when `names` is empty) into `dir`, which must exist.
Result run(const std::string& dir, const std::vector<std::string>& names = {});

}  // namespace gallery
