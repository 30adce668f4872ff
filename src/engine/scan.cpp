// Import and scan of local videos.
#include "engine/scan.h"

#include "engine/crtfun.h"
#include "engine/crtmd5.h"
#include "engine/global.h"
#include "engine/jobcontrol.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"

#include <sqlite3.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <utility>
#include <vector>

namespace {

// A job that still needs its thumbnail and duration.
struct _snapjob {
    std::string guid;
    std::string moviepath;
    std::string thumbpath;
};

std::string _thumbpath(const std::string& imagepath, const std::string& guid)
{
    return imagepath + "/" + guid + ".jpg";
}

global_newmedia _moviejob(const std::string& path, const std::string& guid, const std::string& thumb, time_t ct)
{
    global_newmedia row;
    row.guid = guid;
    row.ct = static_cast<uint32_t>(ct);
    row.filename = path;
    row.filetype = 16;
    row.h = 360;
    row.w = 480;
    row.length = -1;
    row.status = 5;
    row.localimg = thumb;
    return row;
}

// Asks the interface for the movie's thumbnail and duration, and stores the duration.
void _snapmovie(const _snapjob& job)
{
    const int duration = global_callback_moviethumb(job.moviepath.c_str(), job.thumbpath.c_str());
    printlog("snap %s finish duration:%d", job.moviepath.c_str(), duration);
    global_setmedialength(job.guid, duration);
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned int>(duration));
    global_putstatusdispatch(5, 4, job.guid.c_str(), text);
}

std::set<std::string> _split(const std::string& text)
{
    std::set<std::string> parts;
    crtfun::stringtoken tokens(text, ";");
    while (tokens.ismore()) {
        std::string part = tokens.nexttoken();
        if (!part.empty()) {
            parts.insert(std::move(part));
        }
    }
    return parts;
}

using _folderid = std::pair<dev_t, ino_t>;

void _listfolder(const std::string& folder, std::map<std::string, _localfileinfo>& files,
                 const std::set<std::string>& extensions, std::set<_folderid>& visited)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    struct stat self;
    if (::fstat(::dirfd(dir), &self) != 0 || !visited.insert({self.st_dev, self.st_ino}).second) {
        ::closedir(dir);  // seen before: a link led back into a folder already listed
        return;
    }
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "/" + name;
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) {
            continue;  // a dangling link, or gone meanwhile
        }
        if (S_ISDIR(info.st_mode)) {
            _listfolder(path, files, extensions, visited);
            continue;
        }
        const size_t dot = name.rfind('.');
        if (dot == std::string::npos || !S_ISREG(info.st_mode)) {
            continue;
        }
        std::string ext = name.substr(dot);
        if (extensions.count(ext) != 0) {
            files[path] = _localfileinfo{static_cast<int64_t>(info.st_size), info.st_ctime, std::move(ext)};
        }
    }
    ::closedir(dir);
}

bool _readable(const std::string& path)
{
    FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

// Jobs of movie files (filetype 16) whose guid is not among the files found and whose file cannot be
// read any more.
std::vector<std::string> _vanishedjobs(const std::set<std::string>& found)
{
    std::vector<std::string> gone;
    global_dbref db = global_getdb();
    if (!db) {
        return gone;
    }
    global_dbstatement select(db, "select guid,filename from localmedia where filetype=16;");
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        std::string guid = select.text(0);
        if (found.count(guid) == 0 && !_readable(select.text(1))) {
            gone.push_back(std::move(guid));
        }
    }
    if (rc != SQLITE_DONE) {
        select.reportfailure();
    }
    return gone;
}

// Movie jobs still without a duration, newest first.
std::vector<_snapjob> _jobswithoutlength()
{
    std::vector<_snapjob> jobs;
    global_dbref db = global_getdb();
    if (!db) {
        return jobs;
    }
    global_dbstatement select(
        db, "select guid,filename,localimg from localmedia where filetype=16 and length=-1 order by ct desc");
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        jobs.push_back({select.text(0), select.text(1), select.text(2)});
    }
    if (rc != SQLITE_DONE) {
        select.reportfailure();
    }
    return jobs;
}

}  // namespace

void GetDirList(const std::string& folder, std::map<std::string, _localfileinfo>& files, const std::string& extensions)
{
    std::set<_folderid> visited;
    _listfolder(folder, files, _split(extensions), visited);
}

void global_importfile(std::string& guid, const char* moviepath)
{
    const std::string path = moviepath != nullptr ? moviepath : "";
    guid.clear();
    if (path.empty()) {
        return;
    }
    guid = crtfun::crtmd5::hex(path);
    const std::string thumb = _thumbpath(g_imagepath.get(), guid);
    if (global_insertlocalmedia(_moviejob(path, guid, thumb, crtfun::unix_time())) == 0) {
        return;  // imported before, or no database
    }
    global_putstatusdispatch(1, 4, nullptr, nullptr);
    _snapmovie({guid, path, thumb});
}

void* _scan_local_video_file(void*)
{
    const global_settings settings = global_getsettings();
    printlog("_scan_local_video_file path:%s,ext:%s", settings.localvideopath.c_str(), settings.localvideoext.c_str());
    std::map<std::string, _localfileinfo> files;
    crtfun::stringtoken folders(settings.localvideopath, ";");
    while (folders.ismore()) {
        const std::string folder = folders.nexttoken();
        if (!folder.empty()) {
            printlog("scan directory:%s", folder.c_str());
            GetDirList(folder, files, settings.localvideoext);
        }
    }
    if (!global_isdbopen()) {
        return nullptr;
    }

    printlog("update local media database");
    bool changed = false;
    std::set<std::string> found;
    std::vector<_snapjob> added;
    for (const auto& [path, info] : files) {
        const std::string guid = crtfun::crtmd5::hex(path);
        const std::string thumb = _thumbpath(settings.imagepath, guid);
        found.insert(guid);
        if (global_insertlocalmedia(_moviejob(path, guid, thumb, info.ctime)) != 0) {
            added.push_back({guid, path, thumb});
            changed = true;
        }
    }

    for (const std::string& guid : _vanishedjobs(found)) {
        printlog("clean local media file by guid:%s", guid.c_str());
        upload_deletefile_byguid(guid.c_str());
        changed = true;
    }
    if (changed) {
        global_putstatusdispatch(1, 4, nullptr, nullptr);
    }

    // Thumbnails: the jobs just added, then every other movie job still without a duration. Each job
    // is asked for once per scan.
    std::set<std::string> snapped;
    for (const _snapjob& job : added) {
        _snapmovie(job);
        snapped.insert(job.guid);
    }
    for (const _snapjob& job : _jobswithoutlength()) {
        if (!job.guid.empty() && !job.moviepath.empty() && !job.thumbpath.empty() && snapped.insert(job.guid).second) {
            _snapmovie(job);
        }
    }

    if (changed) {
        global_putstatusdispatch(1, 5, nullptr, nullptr);
    }
    printlog("finish for check localvideo");
    return nullptr;
}
