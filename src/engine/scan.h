#pragma once
// Import of one movie and the scan of the local-video folders.
//
// A movie becomes a job named by the MD5 text of its full path (so one path is one job), with the
// thumbnail g_imagepath + "/" + guid + ".jpg", filetype 16 (uploaded unchanged), 360 x 480, length -1
// until the thumbnail callback gives the duration, and status 5 until the user publishes it.
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

// Enters a movie file into the job database on the caller's thread; `guid` receives its guid (also
// when the row existed already), empty for an empty path. A new row gets its thumbnail and duration
// from the thumbnail callback on the caller's thread.
void global_importfile(std::string& guid, const char* moviepath);

// The body of one scan of g_localvideopath for the extensions g_localvideoext, run on a detached
// thread of its own (started by UtilityAdapter_SetExtData). `arg` is unused.
void* _scan_local_video_file(void* arg);

// A file found by a scan.
struct _localfileinfo {
    int64_t size = 0;
    time_t ctime = 0;  // status-change time
    std::string ext;   // with its dot
};

// Adds to `files` (by full path) every file under `folder`, at any depth, whose extension (from the
// last "." of its name, dot included) is one of the ";"-separated `extensions`, exactly. A folder
// reached again through a symbolic link is not listed twice, so link loops end. A folder that cannot
// be opened adds nothing.
void GetDirList(const std::string& folder, std::map<std::string, _localfileinfo>& files, const std::string& extensions);
