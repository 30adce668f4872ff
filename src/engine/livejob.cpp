// Live recording jobs: the effect jobs of operations 32 to 36 (a live job whose FLV the remux writes
// while the camera records, and its end), and the engine's own recording (operations 37 to 39 and
// UtilityAdapter_StartJob(1) / UtilityAdapter_StopJob(1)).
//
// One live job at a time. The live job state below is guarded by g_livemtx, taken after curupmtx
// whenever both are needed (the live job hands its upload job to the upload manager under curupmtx).
// Effect jobs are started and ended only on the job thread, which alone starts and stops the remux
// thread; the engine recording may also be started and ended from the facade's caller and from the
// closing of the database, on any thread. Nothing here waits for another thread while holding a lock,
// except in the order curupmtx, g_livemtx: stopping the remux (which takes curupmtx to hand over its
// blocks) happens with neither held.
#include "engine/livejob.h"

#include "engine/crtfun.h"
#include "engine/crtlock.h"
#include "engine/crtmd5.h"
#include "engine/effect.h"
#include "engine/flv.h"
#include "engine/global.h"
#include "engine/jobcontrol.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"
#include "engine/transformat.h"
#include "engine/upload.h"
#include "engine/upload_internal.h"
#include "engine/upload_live.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace {

// The time of day in a live job's title, one word per three hours from midnight.
const char timemsg[8][7] = {"午夜", "凌晨", "清晨", "上午", "午间", "下午", "傍晚", "晚上"};

// Kinds of effect jobs.
constexpr int kKeepLocalFile = 32;  // the movie itself is the job, kept local
constexpr int kLive = 33;           // recorded and sent live
constexpr int kPlayback = 34;       // plays a stored job's effect file back
constexpr int kVideoSign = 36;      // the user's video sign, kept local

struct _livejob {
    int kind = 0;            // the running effect job (0 none)
    bool recording = false;  // the engine's own recording runs
    bool keeplocal = false;  // live data stays local during the recording
    std::string jobfile;     // the FLV being written (kind 32: the movie itself)
    std::string thumbpath;
    std::string effectpath;
    std::string guid;
    std::string sourcemovie;  // the movie a named job was made from
    time_t starttime = 0;
};

crtfun::crtmutex& g_livemtx = *new crtfun::crtmutex;
_livejob& g_live = *new _livejob;
// Bytes written by the last live job; an end with nothing recording reports them.
std::atomic<uint32_t> g_livebytes{0};

std::string _u32text(uint32_t value)
{
    return std::to_string(value);
}

bool _islivekind(int kind)
{
    return kind != 0 && kind != kPlayback;
}

uint32_t _live_filesize(const std::string& path)
{
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    return static_cast<uint32_t>(info.st_size);
}

std::string _livetitle(time_t now)
{
    const struct tm local = crtfun::localtime_of(now);
    char title[64];
    std::snprintf(title, sizeof title, "摄于%u月%u日%s", static_cast<unsigned int>(local.tm_mon + 1),
                  static_cast<unsigned int>(local.tm_mday), timemsg[(local.tm_hour / 3) & 7]);
    return title;
}

// The stored size of a live video from the effect buffer: the smaller side is the width upright
// (orientations 0 and 2), the larger lying (1 and 3); orientations 1 and 2 are marked by negative sizes.
void _livesize(int width, int height, int& w, int& h)
{
    const int smaller = width < height ? width : height;
    const int larger = width < height ? height : width;
    const int orientation = global_getorientation();
    w = orientation == 0 || orientation == 2 ? smaller : larger;
    h = orientation == 0 || orientation == 2 ? larger : smaller;
    if (orientation == 1 || orientation == 2) {
        w = -w;
        h = -h;
    }
}

// Inserts the live job's row; its row id, 0 without a database. A row of the same guid (the same job
// file recorded again) is kept and its own id used, so the job's ranges never go to another job.
uint32_t _insertlivejob(const global_newmedia& row)
{
    if (!global_isdbopen()) {
        return 0;
    }
    const std::string text = _upload_sql(
        "insert into localmedia(guid,ct,filename,usertoken,title,filetype,h,w,length,status,localimg) "
        "values(%Q,%u,%Q,%Q,%Q,%d,%d,%d,%d,%d,%Q);",
        row.guid.c_str(), row.ct, row.filename.c_str(), row.usertoken.c_str(), row.title.c_str(), row.filetype, row.h,
        row.w, row.length, row.status, row.localimg.c_str());
    printlog("new localmedia by sql: %s", text.c_str());
    bool existed = false;
    uint32_t rowid = static_cast<uint32_t>(global_insertlocalmedia(row, &existed));
    if (existed) {
        rowid = static_cast<uint32_t>(std::strtoul(global_requestjobdata(row.guid, "rowid").c_str(), nullptr, 10));
        printlog("localmedia %s exists, rowid %u", row.guid.c_str(), rowid);
    }
    printlog("new localmedia finish.");
    return rowid;
}

// The live upload job of a new row. Its commit lists start from what the row holds, so that a commit
// stored with the job before it became current is not dropped by the next save of the lists.
_UploadRef _newliveupload(const global_newmedia& row, uint32_t rowid)
{
    auto job = std::make_shared<_UploadObject>();
    job->id = rowid;
    job->ct = row.ct;
    job->guid = row.guid;
    job->filename = row.filename;
    job->usertoken = row.usertoken;
    job->title = row.title;
    job->filetype = 0;
    job->h = row.h;
    job->w = row.w;
    job->status = row.status;
    job->fileext = crtfun::getfileext(row.filename);
    job->localimg = row.localimg;
    const std::string adddata = global_requestjobdata(row.guid, "adddata");
    const size_t split = adddata.find("||");
    job->precommit = adddata.substr(0, split);
    job->finishcommit = split == std::string::npos ? std::string() : adddata.substr(split + 2);
    return job;
}

// Creates the job file and hands the live output to the job; false when the file cannot be created.
// `creatable` is false for a path built from a folder the interface has not named yet (it would lie at
// the root of the file system).
bool _openliveoutput(const std::string& jobfile, bool creatable, const _UploadRef& upload, uint32_t rowid,
                     bool keeplocal, const std::string& guid)
{
    if (g_liveoutput.file != nullptr) {
        std::fclose(g_liveoutput.file);
    }
    g_liveoutput.file = creatable ? std::fopen(jobfile.c_str(), "wb+") : nullptr;
    g_liveoutput.offset = 0;
    g_liveoutput.upload = upload;
    g_liveoutput.rowid = rowid;
    g_liveoutput.keeplocal = keeplocal;
    g_liveoutput.block = nullptr;
    g_liveoutput.flvid = guid;
    if (g_liveoutput.file == nullptr) {
        printlog("can not create job file %s", jobfile.c_str());
        global_putstatusdispatch(3, 1, nullptr, nullptr);
        return false;
    }
    return true;
}

// Writes the recording's duration into the FLV metadata (the number after the word "duration") and
// sends the patched bytes to the service too.
void _patchduration(FILE* file, const _UploadRef& upload, uint32_t duration)
{
    if (std::fflush(file) != 0) {
        return;
    }
    const int fd = fileno(file);
    unsigned char head[512];
    const ssize_t n = ::pread(fd, head, sizeof head, 32);
    if (n <= 0) {
        return;
    }
    const long found = crtfun::bin_search(head, static_cast<size_t>(n), "duration", 8);
    // The word, its AMF type byte and the 8-byte number must all be there.
    if (found < 0 || static_cast<size_t>(found) + 17 > static_cast<size_t>(n)) {
        return;
    }
    const uint32_t offset = 32 + static_cast<uint32_t>(found) + 9;
    unsigned char value[8];
    flv_putdouble(value, static_cast<double>(duration));
    if (::pwrite(fd, value, sizeof value, offset) != static_cast<ssize_t>(sizeof value)) {
        printlog("fix duration failed at offest:%u", offset);
        return;
    }
    printlog("fix duration at offest:%u,ts:%u", offset, duration);
    _upload_live_patch(upload, offset, value, sizeof value);
    printlog("fix duration finish");
}

// The end of the live output (curupmtx and g_livemtx held, no remux running): the last block goes to
// the upload job, the duration is patched, the job becomes an ordinary upload, the job file is closed.
void _closeliveoutput(uint32_t duration)
{
    const _UploadRef upload = g_liveoutput.upload;
    if (upload) {
        if (const crtfun::_memitem* block = g_liveoutput.block; block != nullptr && block->len > 0) {
            printlog("add last job:off:%u,len:%u to currjob", block->off, block->len);
        }
        transformat_finishblock();
        if (g_liveoutput.file != nullptr) {
            _patchduration(g_liveoutput.file, upload, duration);
        }
        _upload_live_changemode_to_upload_notify(duration, upload);
        g_liveoutput.upload.reset();
    } else {
        transformat_finishblock();
    }
    if (g_liveoutput.file != nullptr) {
        std::fclose(g_liveoutput.file);
        g_liveoutput.file = nullptr;
    }
}

// A video sign is recorded without an upload job, yet its row is marked live while it records. Left so,
// the upload manager would take it first, for ever (a live job waits for more data and never finishes,
// and without a user token it never gets one), and no other video would be sent. Once recorded it
// waits, like a kept-local movie, until it is started. Under curupmtx.
void _settlevideosign(const std::string& guid)
{
    if (vcurup && vcurup->guid == guid) {
        _upload_deletejob(vcurup);
    }
    const std::string sql = _upload_sql("update localmedia set status=5 where guid='%q' and status=1;", guid.c_str());
    if (_upload_dbexec(sql)) {
        global_putstatusdispatch(5, 2, guid.c_str(), global_requestjobdata(guid, "status").c_str());
    }
}

uint32_t _secondssince(time_t start)
{
    const time_t now = crtfun::unix_time();
    return now > start ? static_cast<uint32_t>(now - start) : 0;
}

// Ends the engine recording; curupmtx and g_livemtx held, the recording runs.
void _endrecordinglocked()
{
    g_live.recording = false;  // an end reached again while this one reports sees nothing to end
    audio_ambient_stop();
    const uint32_t bytes = g_liveoutput.offset;
    g_livebytes.store(bytes);
    global_putstatusdispatch(2, 3, _u32text(bytes).c_str(), nullptr);
    _closeliveoutput(_secondssince(g_live.starttime));
}

// Ends a running live effect job (kinds 32, 33 and 36); on the job thread.
void _endeffectjob()
{
    _livejob job;
    {
        std::lock_guard<crtfun::crtmutex> hold(g_livemtx);
        if (!_islivekind(g_live.kind)) {
            return;
        }
        job = g_live;
    }
    filter_stopeffect();
    // The remux thread gives back the job file and the current block.
    transformat_stopthread();

    if (g_liveoutput.file != nullptr) {
        std::fflush(g_liveoutput.file);
    }
    const uint32_t bytes = _live_filesize(job.jobfile);
    g_livebytes.store(bytes);
    global_putstatusdispatch(2, 3, _u32text(bytes).c_str(), nullptr);
    global_putstatusdispatch(1, 4, nullptr, nullptr);

    const uint32_t effectlength = _live_filesize(job.effectpath);
    if (effectlength > 0) {
        printlog("append effect file length:%u", effectlength);
        const std::string rowid = upload_requestdata(job.guid.c_str(), "rowid");
        if (!rowid.empty()) {
            const std::string sql = _upload_sql("insert into uploadprocess(id,off,len) values(%u,%u,%u);",
                                                static_cast<uint32_t>(std::strtoul(rowid.c_str(), nullptr, 10)),
                                                kUploadEffectMarker, effectlength);
            global_dbexec(sql.c_str());
        }
    }
    const uint32_t duration = _secondssince(job.starttime);

    {
        std::lock_guard<crtfun::crtmutex> upload(curupmtx);
        std::lock_guard<crtfun::crtmutex> live(g_livemtx);
        _closeliveoutput(duration);
        if (job.kind == kVideoSign) {
            _settlevideosign(job.guid);
        }
        g_live.kind = 0;
    }
    global_setlastlivestatus("", 0);

    // The recording the job was made from.
    const std::string movie = crtfun::replacefileext(job.jobfile, "MOV");
    if (!job.sourcemovie.empty()) {
        updatecheckheader(job.sourcemovie.c_str());
    }
    updatecheckheader(movie.c_str());
    const int seconds = global_callback_moviethumb(movie.c_str(), job.thumbpath.c_str());
    const int length = seconds == 0 ? -1 : seconds;
    global_setmedialength(job.guid, length);
    global_putstatusdispatch(5, 4, job.guid.c_str(), _u32text(static_cast<uint32_t>(length)).c_str());
    global_putstatusdispatch(1, 5, nullptr, nullptr);
}

void _startplayback(const std::string& movie)
{
    std::string effectpath;
    if (movie.find("http://") == std::string::npos) {
        effectpath = crtfun::replacefileext(upload_requestdata(movie.c_str(), "localimg"), "etf");
        printlog("etf file is :%s", effectpath.c_str());
        filter_starteffect(effectpath.c_str(), 1);
    } else {
        effectpath = crtfun::replacefileext(movie, "etf");
        printlog("online file %s", effectpath.c_str());
    }
    std::lock_guard<crtfun::crtmutex> hold(g_livemtx);
    g_live.kind = kPlayback;
    g_live.effectpath = effectpath;
}

}  // namespace

void global_effectstart(const char* moviepath, const char* realname, int kind)
{
    const std::string movie = moviepath != nullptr ? moviepath : "";
    const std::string name = realname != nullptr ? realname : "";
    printlog("transformat global_effectstart %d,%s,%s", kind, movie.c_str(), name.c_str());
    // A live job still running is ended first: its recording is stored with its duration and handed to
    // the ordinary upload, rather than left marked live (which would hold the upload manager for ever).
    _endeffectjob();
    if (kind == kPlayback) {
        _startplayback(movie);
        return;
    }

    const global_settings settings = global_getsettings();
    const bool keeplocal = kind == kKeepLocalFile || kind == kVideoSign;
    const std::string base = "/" + (name.empty() ? crtfun::getfilename(movie) : name);
    const std::string thumb = crtfun::replacefileext(settings.imagepath + base, "jpg");
    const std::string effect = crtfun::replacefileext(settings.imagepath + base, "etf");
    if (!settings.imagepath.empty()) {
        filter_starteffect(effect.c_str(), 0);
    } else {
        filter_stopeffect();
    }

    std::string jobfile;
    std::string source;
    bool creatable = true;
    if (name.empty()) {
        jobfile = kind == kKeepLocalFile ? movie : crtfun::replacefileext(movie, "flv");
    } else {
        jobfile = settings.videopath + "/" + name + ".MOV";
        source = movie;
        creatable = !settings.videopath.empty();
    }
    const std::string guid = crtfun::crtmd5::hex(jobfile);
    if (!name.empty()) {
        jobfile = crtfun::replacefileext(jobfile, "flv");
    }
    const time_t now = crtfun::unix_time();
    global_putstatusdispatch(2, 6, guid.c_str(), nullptr);
    global_putstatusdispatch(2, 9, jobfile.c_str(), nullptr);
    global_putstatusdispatch(2, 7, thumb.c_str(), nullptr);

    global_newmedia row;
    row.guid = guid;
    row.ct = static_cast<uint32_t>(now);
    row.filename = jobfile;
    row.usertoken = keeplocal ? std::string() : settings.usertoken;
    if (kind == kVideoSign) {
        row.title = "ombrivideosign";
    } else {
        global_putstatusdispatch(2, 1, _u32text(static_cast<uint32_t>(now)).c_str(), nullptr);
        row.title = _livetitle(now);
    }
    int width = 0;
    int height = 0;
    filter_geteffectsetting(width, height);
    _livesize(width, height, row.w, row.h);
    row.filetype = kind == kKeepLocalFile ? 16 : 0;
    row.length = -1;
    row.status = kind == kKeepLocalFile ? 5 : 1;
    row.localimg = thumb;

    {
        std::lock_guard<crtfun::crtmutex> upload(curupmtx);
        std::lock_guard<crtfun::crtmutex> live(g_livemtx);
        if (g_live.recording) {
            _endrecordinglocked();
        }
        g_live.kind = kind;
        g_live.keeplocal = keeplocal;
        g_live.jobfile = jobfile;
        g_live.thumbpath = thumb;
        g_live.effectpath = settings.imagepath.empty() ? std::string() : effect;
        g_live.guid = guid;
        g_live.sourcemovie = source;
        g_live.starttime = now;
        g_livebytes.store(0);

        const uint32_t rowid = _insertlivejob(row);
        if (kind == kLive) {
            const _UploadRef job = _newliveupload(row, rowid);
            _upload_set_current_job(job);
            if (_openliveoutput(jobfile, creatable, job, rowid, false, guid)) {
                transformat_startthread(movie.c_str());
            }
        }
    }
    if (kind == kLive) {
        // Outside the locks: adding a commit may wait for a commit of another job to finish, which
        // needs the upload manager, which needs curupmtx. The job is current, so the commit joins its
        // lists in memory and in its row.
        upload_setsharewith(guid.c_str(), "all");
    }
}

void global_effectend()
{
    printlog("transformatglobal_effectend");
    filter_stopeffect();
    _endeffectjob();
}

void global_setkeeplocal(bool on)
{
    std::lock_guard<crtfun::crtmutex> hold(g_livemtx);
    g_live.keeplocal = on;
}

void _global_startrecording()
{
    printlog("global_startjob %d", 1);
    const global_settings settings = global_getsettings();
    const time_t now = crtfun::unix_time();
    const struct tm local = crtfun::localtime_of(now);
    char name[64];
    std::snprintf(name, sizeof name, "/%04d-%02d-%02d-%02d-%02d-%02d.", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string thumb = settings.imagepath + name + "jpg";
    const std::string jobfile = settings.videopath + name + "flv";
    const uint64_t tick = crtfun::get_ms_tick();
    unsigned int seed = static_cast<unsigned int>(now) + static_cast<unsigned int>(tick);
    char seedtext[64];
    std::snprintf(seedtext, sizeof seedtext, "%x%x%x%x", static_cast<unsigned int>(rand_r(&seed)),
                  static_cast<unsigned int>(::getpid()), static_cast<unsigned int>(now), static_cast<unsigned int>(tick));
    const std::string guid = crtfun::crtmd5::hex(seedtext);

    bool started = false;
    bool keeplocal = false;
    {
        std::lock_guard<crtfun::crtmutex> upload(curupmtx);
        std::lock_guard<crtfun::crtmutex> live(g_livemtx);
        if (_islivekind(g_live.kind)) {
            // The live effect job owns the live output until operation 35 ends it.
            printlog("live job %s running, no engine recording", g_live.guid.c_str());
            return;
        }
        if (g_live.recording) {
            _endrecordinglocked();
        }
        keeplocal = g_live.keeplocal;
        global_putstatusdispatch(2, 6, guid.c_str(), nullptr);
        global_putstatusdispatch(2, 9, jobfile.c_str(), nullptr);
        global_putstatusdispatch(2, 7, thumb.c_str(), nullptr);

        const int orientation = global_getorientation();
        global_newmedia row;
        row.guid = guid;
        row.ct = static_cast<uint32_t>(now);
        row.filename = jobfile;
        row.usertoken = keeplocal ? std::string() : settings.usertoken;
        row.filetype = 0;
        row.w = orientation == 0 || orientation == 2 ? 360 : 480;
        row.h = orientation == 0 || orientation == 2 ? 480 : 360;
        if (orientation == 1 || orientation == 2) {
            row.w = -row.w;
            row.h = -row.h;
        }
        row.length = 0;
        row.status = keeplocal ? 0 : 1;
        row.localimg = thumb;
        const uint32_t rowid = _insertlivejob(row);
        const _UploadRef job = _newliveupload(row, rowid);
        _upload_set_current_job(job);
        _openliveoutput(jobfile, !settings.videopath.empty(), job, rowid, keeplocal, guid);

        g_live.recording = true;
        g_live.jobfile = jobfile;
        g_live.thumbpath = thumb;
        g_live.effectpath.clear();
        g_live.guid = guid;
        g_live.sourcemovie.clear();
        g_live.starttime = now;
        g_livebytes.store(0);
        started = true;
    }
    if (started && !keeplocal) {
        upload_setsharewith(guid.c_str(), "all");
    }
    if (started) {
        audio_ambient_start();
    }
}

void _global_endrecording()
{
    printlog("global_endjob:%d", 1);
    {
        std::lock_guard<crtfun::crtmutex> upload(curupmtx);
        std::lock_guard<crtfun::crtmutex> live(g_livemtx);
        if (!g_live.recording) {
            // Nothing records (the database is opened or closed, or the recording has ended).
            global_putstatusdispatch(2, 3, _u32text(g_livebytes.load()).c_str(), nullptr);
            return;
        }
        _endrecordinglocked();
    }
    global_setlastlivestatus("", 0);
}
