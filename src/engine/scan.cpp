// Import and scan of local videos.
//
// To be filled by the import and scan work; until then nothing is imported or scanned.
#include "engine/scan.h"

void global_importfile(std::string& guid, const char* moviepath)
{
    (void)moviepath;
    guid.clear();
}

void* _scan_local_video_file(void* arg)
{
    (void)arg;
    return nullptr;
}
