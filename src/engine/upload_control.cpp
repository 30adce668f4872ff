// Upload job control: start, pause, reset and delete of upload jobs, the deletion on the service, and
// the hand-over of a job to the upload manager. Each runs on the calling thread (the job thread, the
// live recording) and changes the current job only under curupmtx.
#include "engine/crtfun.h"
#include "engine/crthttp.h"
#include "engine/global.h"
#include "engine/jobcontrol.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine/upload.h"
#include "engine/upload_commit.h"
#include "engine/upload_internal.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace {

// Files below this size are cut into 64 KiB ranges; larger ones into ten.
constexpr uint64_t kUploadLargeFile = 655370;

// Whether `path` lies inside `folder`: both compared lexically normalised, the folder must not be
// empty and must end at a "/" of the path ("/x/bob" holds "/x/bob/a" but not "/x/bobby/a").
bool _upload_insidefolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.empty()) {
        return false;
    }
    std::string base = std::filesystem::path(folder).lexically_normal().string();
    const std::string file = std::filesystem::path(path).lexically_normal().string();
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (file.size() <= base.size() || file.compare(0, base.size(), base) != 0) {
        return false;
    }
    return base == "/" || file[base.size()] == '/';
}

void _upload_unlink(const std::string& path)
{
    if (!path.empty() && ::unlink(path.c_str()) == 0) {
        printlog("unlink %s", path.c_str());
    }
}

// A regular file's size, or -1.
int64_t _upload_filesize(const std::string& path)
{
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return static_cast<int64_t>(info.st_size);
}

// The ranges of a reset or new job, computed again from its file (and its effect file, which a live
// recording uploaded with it); false when the file cannot be read or the ranges cannot be stored.
bool _upload_recalcranges(uint32_t id, const std::string& filename, const std::string& localimg)
{
    printlog("need to recalc file data");
    FILE* file = std::fopen(filename.c_str(), "rb");
    if (file == nullptr) {
        global_putstatusdispatch(3, 3, nullptr, nullptr);
        return false;
    }
    int64_t size = -1;
    if (fseeko(file, 0, SEEK_END) == 0) {
        size = static_cast<int64_t>(ftello(file));
    }
    std::fclose(file);
    // Offsets of the media file must stay below those of the effect file.
    if (size < 0 || size >= static_cast<int64_t>(kUploadEffectMarker)) {
        printlog("file size not usable %lld", static_cast<long long>(size));
        global_putstatusdispatch(3, 3, nullptr, nullptr);
        return false;
    }
    uint64_t block = kUploadBlockSize;
    if (static_cast<uint64_t>(size) >= kUploadLargeFile) {
        block = static_cast<uint64_t>(size) / 10;
        printlog("large block mode %u", static_cast<unsigned int>(block));
    }
    // One transaction, and the job's old ranges go first, so that a second computation cannot send a
    // byte twice and a failure leaves the job as it was.
    std::string sql = _upload_sql("begin;delete from uploadprocess where id=%u;", id);
    for (uint64_t off = 0; off < static_cast<uint64_t>(size); off += block) {
        const uint64_t len = static_cast<uint64_t>(size) - off < block ? static_cast<uint64_t>(size) - off : block;
        sql += _upload_sql("insert into uploadprocess(id,off,len) values (%u,%u,%u);", id, static_cast<uint32_t>(off),
                           static_cast<uint32_t>(len));
    }
    const int64_t effectsize = localimg.empty() ? -1 : _upload_filesize(crtfun::replacefileext(localimg, "etf"));
    if (effectsize > 0 && effectsize <= static_cast<int64_t>(UINT32_MAX - kUploadEffectMarker)) {
        sql += _upload_sql("insert into uploadprocess(id,off,len) values (%u,%u,%u);", id, kUploadEffectMarker,
                           static_cast<uint32_t>(effectsize));
    }
    sql += "commit;";
    printlog("recalc file data 1,sql len:%d", static_cast<int>(sql.size()));
    global_dbref db = global_getdb();
    if (!db || sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (db) {
            sqlite3_exec(db.get(), "rollback;", nullptr, nullptr, nullptr);
        }
        global_putstatusdispatch(3, 0, "insert multi", nullptr);
        return false;
    }
    printlog("recalc file data finish");
    return true;
}

bool _upload_setstatus(const char* guid, int status)
{
    global_dbstatement update(global_getdb(), "update localmedia set status=?1 where guid=?2");
    update.bindint(1, status);
    update.bindtext(2, guid);
    if (update.step() != SQLITE_DONE) {
        update.reportfailure();
        return false;
    }
    return true;
}

// The end call names the upload server and the scid of one upload: after a reset it would tell an old
// server that a file is complete that never was, or hold the job for ever when that server is gone.
std::string _upload_dropendcalls(const std::string& list)
{
    std::string rest = list;
    std::string kept;
    std::string entry;
    while (!rest.empty()) {
        getaddcommitjob(entry, rest, true);
        if (entry.empty() || (entry.rfind("http://", 0) == 0 && entry.find("/upload_tc_file_end?") != std::string::npos)) {
            continue;
        }
        kept = kept.empty() ? entry : kept + "|" + entry;
    }
    return kept;
}

void _upload_startjob_byguid(const char* guid, bool forced, bool makecurrent)
{
    printlog("upload_startjob_byguid %s,%d", guid, forced ? 1 : 0);
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    uint32_t id = 0;
    int status = 0;
    std::string filename;
    std::string localimg;
    {
        global_dbstatement select(db, "select ROWID,status,filename,localimg from localmedia where guid=?1");
        select.bindtext(1, guid);
        const int rc = select.step();
        if (rc != SQLITE_ROW) {
            if (rc != SQLITE_DONE) {
                select.reportfailure();
            }
            printlog("no job %s to start", guid);
            return;
        }
        id = static_cast<uint32_t>(select.integer(0));
        status = static_cast<int>(select.integer(1));
        filename = select.text(2);
        localimg = select.text(3);
    }
    int newstatus;
    if (status == 17) {
        newstatus = 16;
    } else if (status == 4) {
        newstatus = 2;
    } else {
        newstatus = forced ? 16 : 2;
    }
    if (status == 5 && !_upload_recalcranges(id, filename, localimg)) {
        return;  // stays reset
    }
    _upload_setstatus(guid, newstatus);
    global_putstatusdispatch(5, 2, guid, "2");

    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        const bool isthis = vcurup && vcurup->guid == guid;
        if (isthis && vcurup->status != 1) {
            vcurup->status = newstatus;
        }
        if (!makecurrent || isthis || (vcurup && vcurup->status == 1)) {
            // A live recording keeps its place: its data is being made now.
            if (vcurup) {
                vcurup->retrycount = 0;
            }
        } else {
            if (vcurup) {
                _upload_deletejob(vcurup);
            }
            const _UploadRef job = _upload_fetchjob(_upload_sql("guid='%q'", guid));
            if (job) {
                vcurup = job;
                g_curguid.set(job->guid);
            }
        }
        g_uploadidle.store(false);
    }
    _upload_wakeup();
}

}  // namespace

void _upload_set_current_job(const _UploadRef& job)
{
    printlog("upload_set_current_job");
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        if (vcurup && vcurup != job) {
            _upload_deletejob(vcurup);
        }
        vcurup = job;
        g_curguid.set(job ? job->guid : std::string());
        if (job) {
            job->retrycount = 0;
        }
        g_uploadidle.store(false);
    }
    _upload_wakeup();
    printlog("upload_set_current_job finish");
}

void upload_startjob_byguid(const char* guid, bool makecurrent)
{
    const int net = g_netstatus.load();
    _upload_startjob_byguid(guid, net == 1 || net == 2, makecurrent);
}

void upload_stopjob_byguid(const char* guid)
{
    printlog("upload_stopjob_byguid %s", guid);
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        global_dbstatement select(db, "select status from localmedia where guid=?1");
        select.bindtext(1, guid);
        const int rc = select.step();
        if (rc == SQLITE_ROW) {
            const int status = static_cast<int>(select.integer(0));
            // A finished job has nothing to pause; a reset or new one keeps its status so that its
            // next start computes its ranges (as "paused" it would start with none and "finish" at
            // once with nothing sent).
            if (status != 3 && status != 5 && status != 17) {
                const int paused = status == 16 ? 17 : 4;
                if (_upload_setstatus(guid, paused)) {
                    global_putstatusdispatch(5, 2, guid, "4");
                }
            }
        } else if (rc != SQLITE_DONE) {
            select.reportfailure();
        }
        if (vcurup && vcurup->guid == guid) {
            _upload_deletejob(vcurup);
        }
    }
    uint32_t filesize = 0;
    uint32_t remainsize = 0;
    _get_upload_process_size(guid, filesize, remainsize);
    _UploadObject shown;
    shown.filesize = filesize;
    shown.remainsize = remainsize;
    const std::string text = std::to_string(_upload_percent(&shown)) + "％";
    global_putstatusdispatch(5, 0, guid, text.c_str());
    printlog("upload_stopjob_byguid finish");
}

void upload_deletejob_byguid(const char* guid)
{
    printlog("upload_deletejob_byguid %s", guid);
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    if (vcurup && vcurup->guid == guid) {
        printlog("need delete current job first!");
        _upload_deletejob(vcurup);
    }
    std::string adddata;
    {
        global_dbstatement select(db, "select adddata from localmedia where guid=?1");
        select.bindtext(1, guid);
        const int rc = select.step();
        if (rc != SQLITE_ROW) {
            if (rc != SQLITE_DONE) {
                select.reportfailure();
            }
            return;
        }
        adddata = select.text(0);
    }
    std::string pre;
    std::string finish;
    _upload_splitadddata(adddata, pre, finish);
    const std::string kept = _upload_dropendcalls(pre) + "||" + _upload_dropendcalls(finish);
    const std::string sql = _upload_sql(
        "begin;update localmedia set status=5,uploadtoken='',uploadsvr='',usertoken='%q',adddata='%q' where guid='%q';"
        "delete from uploadprocess where id in (select ROWID from localmedia where guid='%q');commit;",
        g_usertoken.get().c_str(), kept.c_str(), guid, guid);
    if (!_upload_dbexec(sql)) {
        sqlite3_exec(db.get(), "rollback;", nullptr, nullptr, nullptr);
        return;
    }
    global_putstatusdispatch(5, 2, guid, "0");
}

void upload_deletefile_byguid(const char* guid)
{
    printlog("upload_deletefile_byguid %s", guid);
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    // Held throughout, so that the manager cannot take the job up again between its release and the
    // deletion of its row.
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    if (vcurup && vcurup->guid == guid) {
        _upload_deletejob(vcurup);
    }
    std::string filename;
    std::string localimg;
    bool found = false;
    {
        global_dbstatement select(db, "select filename,localimg from localmedia where guid=?1;");
        select.bindtext(1, guid);
        const int rc = select.step();
        if (rc == SQLITE_ROW) {
            found = true;
            filename = select.text(0);
            localimg = select.text(1);
        } else if (rc != SQLITE_DONE) {
            select.reportfailure();
        }
    }
    if (found) {
        const global_settings settings = global_getsettings();
        // Only what the engine itself made is removed: a movie the user imported from elsewhere stays.
        if (_upload_insidefolder(filename, settings.videopath)) {
            _upload_unlink(filename);
            const std::string movie = crtfun::replacefileext(filename, "MOV");
            if (movie != filename) {
                _upload_unlink(movie);
            }
        } else {
            printlog("skip unlink external file %s", filename.c_str());
        }
        for (const std::string& path : {localimg, crtfun::replacefileext(localimg, "etf")}) {
            if (localimg.empty()) {
                break;
            }
            if (_upload_insidefolder(path, settings.imagepath) || _upload_insidefolder(path, settings.videopath)) {
                _upload_unlink(path);
            } else {
                printlog("skip unlink external file %s", path.c_str());
            }
        }
    }
    for (const char* sql : {"delete from uploadprocess where id in (select ROWID from localmedia where guid=?1);",
                            "delete from localmedia where guid=?1;"}) {
        global_dbstatement remove(db, sql);
        remove.bindtext(1, guid);
        if (remove.step() != SQLITE_DONE) {
            remove.reportfailure();
        }
    }
}

void upload_deletevideo_byguid(const char* guid)
{
    printlog("upload_deletevideo_byguid %s", guid);
    const std::string scid = global_requestjobdata(guid, "uploadtoken");
    const std::string usertoken = global_requestjobdata(guid, "usertoken");
    upload_deletefile_byguid(guid);
    if (scid.empty() || usertoken.empty()) {
        return;
    }
    printlog("notify server to remove the job");
    const std::string url = "http://" + global_servicehost() + "/m/media.json";
    const std::string body = "scid=" + crtfun::urlencode(scid) + "&token=" + crtfun::urlencode(usertoken) +
                             "&_method=delete&vend=" + crtfun::urlencode(g_vendor.get());
    int ret = 0;
    const std::string answer = crtfun::http_download_to_str(url.c_str(), &body, &ret, crtfun::kServiceCallBounds);
    printlog("remove the job on server ret:%d,%s", ret, crtfun::saveprinturl(answer).c_str());
}
