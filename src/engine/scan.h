#pragma once
// Import of one movie and the scan of the local-video folders.
//
// Hooks filled by the import and scan work (scan.cpp); until then they do nothing.
#include <string>

// Enters a movie file into the job database on the caller's thread; `guid` receives its guid (also
// when the row existed already), empty when there is none.
void global_importfile(std::string& guid, const char* moviepath);

// The body of one scan of g_localvideopath for the extensions g_localvideoext, run on a detached
// thread of its own (started by UtilityAdapter_SetExtData). `arg` is unused.
void* _scan_local_video_file(void* arg);
