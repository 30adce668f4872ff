// The upload manager thread: one pass at a time it chooses the current job, applies the network
// policy, waits out back-offs, gets the job's upload token, lets its commits run and drives its two
// upload connections. Also the job record's database side and its release.
#include "engine/upload.h"

#include "engine/crthttp.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"
#include "engine/upload_internal.h"

#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <strings.h>

_UploadRef& vcurup = *new _UploadRef;
crtfun::crtmutex& curupmtx = *new crtfun::crtmutex;
std::atomic<int> g_uploadthreadstate{0};
std::atomic<bool> g_uploadidle{false};
_HttpJobRef& g_globalhttpjob = *new _HttpJobRef;

namespace {

// Under curupmtx: the tick of the next display update and the job shown last.
uint64_t g_nextdisplaytick = 0;
std::string& g_shownguid = *new std::string;
uint32_t g_shownct = 0;

// Start and stop of the thread: the state changes under this lock; a start that a stop overtook
// before its thread ran is recognised by its generation.
crtfun::crtmutex& g_uploadctlmtx = *new crtfun::crtmutex;
crtfun::crtcond& g_uploadctlcond = *new crtfun::crtcond;
uint64_t g_uploadgeneration = 0;

// The manager's sleep, which a stop or a network change cuts short.
crtfun::crtmutex& g_uploadwakemtx = *new crtfun::crtmutex;
crtfun::crtcond& g_uploadwakecond = *new crtfun::crtcond;
bool g_uploadwakeflag = false;

void _upload_sleep(unsigned int ms)
{
    if (ms == 0) {
        return;
    }
    const uint64_t end = crtfun::get_ms_tick() + ms;
    std::lock_guard<crtfun::crtmutex> hold(g_uploadwakemtx);
    while (!g_uploadwakeflag) {
        const uint64_t now = crtfun::get_ms_tick();
        if (now >= end) {
            break;
        }
        g_uploadwakecond.waitms(g_uploadwakemtx, static_cast<unsigned int>(end - now));
    }
    g_uploadwakeflag = false;
}

// Set by a pass whose sleep comes only from connections that would block: instead of sleeping it out,
// the thread waits until one of the current job's sockets is ready for its next step, for at most
// kUploadWouldBlockMs. A connection left out has nothing to send until the other one's answer (the
// last ranges are out): the wait is on the other's socket alone. Read and written under curupmtx.
bool g_uploadwaitsonsockets = false;
bool g_uploadleftout[2] = {false, false};

// The current job's sockets with what each waits for: writable while its header or block is still
// going out (or its connect is under way), readable once the block has gone and the answer is due.
// -1 when the last pass did not end on would-blocks (its sleep holds); 0 when a connection can go on
// at once (its block was accepted and the next one is still to be prepared).
int _upload_readyset(pollfd (&fds)[2])
{
    if (!g_uploadwaitsonsockets || !vcurup) {
        return -1;
    }
    int count = 0;
    for (int i = 0; i < 2; ++i) {
        const _UploadConnection& c = vcurup->conn[i];
        if (g_uploadleftout[i]) {
            continue;
        }
        if (c.sock == -1 || c.sendblock == nullptr) {
            return 0;
        }
        const bool sending = c.headerlen != 0 || c.sentcount < c.sendblock->len;
        fds[count++] = pollfd{c.sock, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
    }
    return count > 0 ? count : -1;
}

// Waits until a socket of the set is ready, a wake-up is pending, or kUploadWouldBlockMs of engine
// time have passed. The sockets may be closed by another thread meanwhile: poll then reports them
// at once (or, should the number be reused, the wait is still bounded), and the next pass sees why.
void _upload_waitready(pollfd (&fds)[2], int count)
{
    {
        std::lock_guard<crtfun::crtmutex> hold(g_uploadwakemtx);
        if (g_uploadwakeflag) {
            g_uploadwakeflag = false;
            return;
        }
    }
    const uint64_t ns = static_cast<uint64_t>(kUploadWouldBlockMs) * 1000000u / static_cast<uint64_t>(crtfun::time_scale());
    const timespec timeout{static_cast<time_t>(ns / 1000000000u), static_cast<long>(ns % 1000000000u)};
    ::ppoll(fds, static_cast<nfds_t>(count), &timeout, nullptr);
    std::lock_guard<crtfun::crtmutex> hold(g_uploadwakemtx);
    g_uploadwakeflag = false;
}

void _upload_setcurrent(const _UploadRef& job)
{
    vcurup = job;
    g_curguid.set(job ? job->guid : std::string());
}

}  // namespace

// ---- database -----------------------------------------------------------------------------------------

std::string _upload_sql(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* text = sqlite3_vmprintf(format, args);
    va_end(args);
    std::string out = text != nullptr ? text : "";
    sqlite3_free(text);
    return out;
}

bool _upload_dbexec(const std::string& sql)
{
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        global_putstatusdispatch(3, 0, sql.c_str(), nullptr);
        return false;
    }
    return true;
}

void _get_upload_process_size(const std::string& guid, uint32_t& filesize, uint32_t& remainsize)
{
    filesize = 0;
    remainsize = 0;
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    sqlite3_stmt* stmt = nullptr;
    std::string filename;
    if (sqlite3_prepare_v2(db.get(), "select filename from localmedia where guid=?1", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, guid.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr) {
            filename = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
    }
    sqlite3_finalize(stmt);
    struct stat info;
    if (!filename.empty() && ::stat(filename.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        filesize = static_cast<uint32_t>(info.st_size);
    }
    stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(),
                           "select sum(len) from uploadprocess where id in (select ROWID from localmedia where guid=?1)",
                           -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, guid.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            const sqlite3_int64 sum = sqlite3_column_int64(stmt, 0);
            remainsize = sum <= 0 ? 0 : sum > filesize ? filesize : static_cast<uint32_t>(sum);
        }
    }
    sqlite3_finalize(stmt);
    printlog("upload_process_size %s,%u,%u", guid.c_str(), filesize, remainsize);
}

_UploadRef _upload_fetchjob(const std::string& condition)
{
    global_dbref db = global_getdb();
    if (!db) {
        return nullptr;
    }
    const std::string sql =
        "select ROWID,guid,ct,st,filename,uploadtoken,usertoken,publictype,title,filetype,h,w,length,status,"
        "uploadsvr,adddata,localimg from localmedia where " +
        condition + " limit 1;";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        global_putstatusdispatch(3, 0, sql.c_str(), nullptr);
        return nullptr;
    }
    _UploadRef job;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        auto text = [stmt](int column) {
            const unsigned char* value = sqlite3_column_text(stmt, column);
            return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : std::string();
        };
        auto u32 = [stmt](int column) { return static_cast<uint32_t>(sqlite3_column_int64(stmt, column)); };
        auto i32 = [stmt](int column) { return static_cast<int32_t>(sqlite3_column_int64(stmt, column)); };
        job = std::make_shared<_UploadObject>();
        job->id = u32(0);
        job->guid = text(1);
        job->ct = u32(2);
        job->st = u32(3);
        job->filename = text(4);
        job->uploadtoken = text(5);
        job->usertoken = text(6);
        job->title = text(8);
        job->filetype = i32(9);
        job->h = i32(10);
        job->w = i32(11);
        job->length = i32(12) == -1 ? 0 : i32(12);
        job->status = i32(13);
        job->uploadsvr = text(14);
        const std::string adddata = text(15);
        job->localimg = text(16);
        const size_t split = adddata.find("||");
        job->precommit = adddata.substr(0, split);
        job->finishcommit = split == std::string::npos ? std::string() : adddata.substr(split + 2);
        job->fileext = crtfun::getfileext(job->filename);
        if (job->filetype == 16 && strcasecmp(job->fileext.c_str(), "flv") == 0) {
            job->fileext = "f4v";
        }
    } else if (rc != SQLITE_DONE) {
        global_putstatusdispatch(3, 0, sql.c_str(), nullptr);
    }
    sqlite3_finalize(stmt);
    if (job) {
        _get_upload_process_size(job->guid, job->filesize, job->remainsize);
    }
    return job;
}

void _upload_savechange(int kind, _UploadObject* job)
{
    if (job == nullptr) {
        job = vcurup.get();
    }
    if (job == nullptr) {
        return;
    }
    const char* guid = job->guid.c_str();
    const std::string status = std::to_string(static_cast<unsigned int>(job->status));
    std::string sql;
    switch (kind) {
    case 0:
        sql = _upload_sql("update localmedia set uploadtoken='%q',uploadsvr='%q',st=%u where guid='%q'",
                          job->uploadtoken.c_str(), job->uploadsvr.c_str(), job->st, guid);
        break;
    case 1:
        sql = _upload_sql("update localmedia set status=%d where guid='%q'", job->status, guid);
        break;
    case 2:
        sql = _upload_sql("update localmedia set length=%u,status=%d where guid='%q'",
                          static_cast<unsigned int>(job->length), job->status, guid);
        break;
    case 3:
        sql = _upload_sql("update localmedia set usertoken='%q' where guid='%q'", job->usertoken.c_str(), guid);
        break;
    case 4:
        sql = _upload_sql("update localmedia set adddata='%q' where guid='%q'",
                          (job->precommit + "||" + job->finishcommit).c_str(), guid);
        break;
    default:
        return;
    }
    printlog("upload_savechange with sql:%x,%s", static_cast<unsigned int>(kind), sql.c_str());
    // The change is stored before it is reported, so whoever reacts to the event reads the new value.
    _upload_dbexec(sql);
    switch (kind) {
    case 0:
        global_putstatusdispatch(5, 6, guid, job->uploadtoken.c_str());
        break;
    case 1:
        global_putstatusdispatch(5, 2, guid, status.c_str());
        break;
    case 2:
        global_putstatusdispatch(5, 2, guid, status.c_str());
        _get_upload_process_size(job->guid, job->filesize, job->remainsize);
        break;
    default:
        break;
    }
}

// ---- the job record -----------------------------------------------------------------------------------

_UploadObject::_UploadObject()
{
    freeblocks.setbufsize(kUploadBlockSize);
}

_UploadObject::~_UploadObject()
{
    if (file != nullptr) {
        std::fclose(file);
    }
    for (_UploadConnection& c : conn) {
        _upload_closesock(c);
        crtfun::_memitem_free(c.sendblock);
    }
}

void _upload_closesock(_UploadConnection& connection)
{
    if (connection.sock >= 0) {
        ::close(connection.sock);
    }
    connection.sock = -1;
}

void _upload_deletejob(const _UploadRef& jobref)
{
    const _UploadRef job = jobref;  // the caller's reference may be vcurup itself
    if (!job) {
        return;
    }
    printlog("deletejob %s", job->guid.c_str());
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    if (vcurup == job) {
        _upload_setcurrent(nullptr);
    }
    if (job->file != nullptr) {
        std::fclose(job->file);
        job->file = nullptr;
    }
    // Accepted blocks are done with; a failure here only means they are sent once more.
    _upload_flushaccepted(job.get());
    for (_UploadConnection& c : job->conn) {
        _upload_closesock(c);
        if (c.sendblock != nullptr) {
            // A block read from the database still has its row; one of the live remux has none.
            if (c.fromdb) {
                job->freeblocks.putblock(c.sendblock);
            } else {
                job->liveblocks.putblock(c.sendblock);
            }
        }
        c.sendblock = nullptr;
        c.fromdb = false;
        c.headerlen = 0;
        c.sentcount = 0;
        c.recvtext.clear();
    }
    std::string sql;
    while (crtfun::_memitem* block = job->liveblocks.getblock()) {
        sql += _upload_sql("insert into uploadprocess(id,off,len) values(%u,%u,%u);", job->id, block->off, block->len);
        crtfun::_memitem_free(block);
    }
    if (!sql.empty()) {
        printlog("discard live data in delete:%s", sql.c_str());
        if (!_upload_dbexec(sql)) {
            printlog("live data lost in delete:%s", job->guid.c_str());
        }
    }
    _upload_abandon_httpjob(job->httpjob);
}

void _upload_backoff(_UploadObject* job)
{
    job->retrycount += 1;
    job->retrywait = job->retrycount * 30000 - 20000;
    printlog("upload something wrong,sleep %d ms", job->retrywait);
}

unsigned int _upload_percent(const _UploadObject* job)
{
    if (job->filesize == 0) {
        return 0;
    }
    const double percent = 100.0 - static_cast<double>(job->remainsize) * 100.0 / static_cast<double>(job->filesize);
    const unsigned int value = percent <= 1.0 ? 1u : static_cast<unsigned int>(percent);
    return value > 99 ? 99 : value;
}

bool _upload_networkallowed(const _UploadObject* job)
{
    const int net = g_netstatus.load();
    if (net == 0) {
        return false;
    }
    switch (g_uploadstatus.load()) {
    case 2:
        return true;
    case 1:
        return net == 3;
    case 0:
        if (job->status == 1 || job->status == 16) {
            return true;
        }
        return job->status == 2 && net == 3;
    default:
        return false;
    }
}

void _upload_update_display_status(_UploadObject* job)
{
    if (job == nullptr || job->guid != g_shownguid || job->ct != g_shownct) {
        if (!g_shownguid.empty()) {
            global_putstatusdispatch(5, 0, g_shownguid.c_str(), "");
        }
        if (job == nullptr) {
            g_shownguid.clear();
            g_shownct = 0;
            return;
        }
        g_shownguid = job->guid;
        g_shownct = job->ct;
    }
    std::string text;
    if (job->status == 1 || job->status == 2 || job->status == 16) {
        if (g_netstatus.load() == 0) {
            text = "无网络";
        } else if (!_upload_networkallowed(job)) {
            text = "网络受限";
        } else if (job->retrywait != 0) {
            text = "重试中";
        } else if (job->uploadtoken.empty()) {
            text = "连接中";
        } else if (!job->precommit.empty()) {
            text = "连接中.";
        } else if (job->conn[0].sock == -1 && job->conn[1].sock == -1) {
            text = "连接中..";
        } else if (job->status != 1 && crtfun::unix_time() % 2 == 1) {
            text = std::to_string(_upload_percent(job)) + "％";
        } else {
            text = crtfun::getspeedtext(job->speed.getspeed());
        }
    }
    global_putstatusdispatch(5, 0, job->guid.c_str(), text.c_str());
    if (job->status == 1) {
        global_setlastlivestatus(text.c_str(), static_cast<int>(_upload_percent(job)));
    }
}

// ---- one pass -----------------------------------------------------------------------------------------

unsigned int _upload_checkcurrentjob()
{
    const bool dbopen = global_isdbopen();
    // A global commit that failed is looked for again once its wait is over, even while idle.
    if (dbopen && !g_globalhttpjob && (!g_uploadidle.load() || _upload_globalcommit_due())) {
        _upload_check_globalcommit();
    }
    if (dbopen && !g_uploadidle.load()) {
        if (!vcurup) {
            printlog("upload thread,try job by db");
            _UploadRef job;
            for (const char* condition : {"status=1", "status=16", "status=2"}) {
                job = _upload_fetchjob(condition);
                if (job) {
                    break;
                }
            }
            if (job) {
                printlog("found job %s,%d", job->guid.c_str(), job->status);
                _upload_setcurrent(job);
            } else {
                printlog("no job selected");
            }
        }
    }
    if (!vcurup) {
        if (dbopen) {
            g_uploadidle.store(true);
        }
        return 500;
    }
    const int status = vcurup->status;
    if (status == 1 || status == 2 || status == 16) {
        return 0;
    }
    _upload_deletejob(vcurup);
    return 1;
}

int _upload_parse_asyn_http_result(_UploadObject* job, _HttpJob& httpjob)
{
    if (httpjob.kind == kHttpJobToken) {
        if (job != nullptr) {
            _upload_parse_token_reply(job, httpjob);
        }
        return 0;
    }
    return _upload_parse_commit_result(job, httpjob);
}

unsigned int _upload_manager_pass()
{
    g_uploadwaitsonsockets = false;
    const uint64_t now = crtfun::get_ms_tick();
    if (now > g_nextdisplaytick) {
        g_nextdisplaytick = now + 1000;
        _upload_update_display_status(vcurup.get());
    }

    unsigned int sleepms = _upload_checkcurrentjob();

    if (g_globalhttpjob && g_globalhttpjob->state.load() == kHttpJobDone) {
        printlog("finish global http job");
        const _HttpJobRef done = g_globalhttpjob;
        if (_upload_parse_asyn_http_result(nullptr, *done) > 199) {
            g_uploadidle.store(false);
        }
        if (g_globalhttpjob == done) {
            g_globalhttpjob.reset();
        }
    }

    const _UploadRef job = vcurup;
    if (!job) {
        return sleepms;
    }
    if (job->httpjob) {
        if (job->httpjob->state.load() != kHttpJobDone) {
            return 50;
        }
        const _HttpJobRef done = std::move(job->httpjob);
        job->httpjob.reset();
        _upload_parse_asyn_http_result(job.get(), *done);
        if (vcurup != job) {
            return sleepms;
        }
    }

    if (!_upload_networkallowed(job.get())) {
        return 1000;
    }

    if (job->retrywait != 0) {
        if (job->retrycount != 0) {
            job->retrywait = job->retrywait > 500 ? job->retrywait - 500 : 0;
            return 500;
        }
        job->retrywait = 0;
    }

    if (const int token = _upload_checkcurrenttoken(job)) {
        return static_cast<unsigned int>(token);
    }

    if (_upload_checkcurrentaddcommit(job.get())) {
        return 1;
    }

    int results[2] = {0, 0};
    bool finishing = false;  // a connection found the media sent: the next step follows at once
    for (int i = 0; i < 2; ++i) {
        _UploadConnection& c = job->conn[i];
        int& r = results[i];
        // A connection whose block was accepted in this pass takes its next block at once (once per
        // pass): the answer's wake-up also sends, instead of a pass of its own doing so.
        bool again = true;
    next:
        if (c.sendblock == nullptr) {
            const int prepared = _upload_preparesendbuf(job.get(), i);
            if (prepared == -1) {
                finishing = true;
                if (job->finishstate == 2) {
                    printlog("delete curjob here");
                    _upload_deletejob(job);
                }
                r = 0;
                break;
            }
            if (prepared != 0) {
                r = prepared;
                continue;
            }
            _upload_make_sendheader(job.get(), i);
        }
        if (c.sock == -1 && (r = _upload_createsock(job.get(), i)) != 0) {
            continue;
        }
        if (c.headerlen != 0 && c.sentcount < c.headerlen) {
            r = _upload_sendheader(job.get(), i);
            if (r != 0 || c.headerlen != 0) {
                continue;
            }
        }
        if (c.sentcount < c.sendblock->len && (r = _upload_sendbuf(job.get(), i)) != 0) {
            continue;
        }
        r = _upload_recvbuf(job.get(), i);
        if (r == 0) {
            r = _upload_checkrecv(job.get(), i);
            if (r == 0 && c.sendblock == nullptr && again && vcurup == job) {
                again = false;
                goto next;
            }
        }
    }
    // The rows of accepted blocks leave the database once the connections have their next blocks on
    // the way, so the transaction's disk sync overlaps the wait for the answers.
    _upload_flushacceptedifdue(job.get());
    if (results[0] == -1 && results[1] == -1) {
        _upload_backoff(job.get());
        return sleepms;
    }
    if (finishing) {
        return 0;
    }
    const int sum = results[0] + results[1];
    for (int i = 0; i < 2; ++i) {
        // Nothing to prepare while the other connection's block is out: that block's answer is what
        // can bring more (the job's last ranges), so the pass waits for it instead of sleeping.
        g_uploadleftout[i] = results[i] == 200 && job->conn[i].sendblock == nullptr &&
                             job->conn[1 - i].sendblock != nullptr;
    }
    const auto waits = [](int r) { return r == 0 || r == kUploadWouldBlockMs; };
    g_uploadwaitsonsockets = sum > 0 && (waits(results[0]) || g_uploadleftout[0]) &&
                             (waits(results[1]) || g_uploadleftout[1]);
    return sum < 0 ? 1u : static_cast<unsigned int>(sum);
}

namespace {

void* upload_manager_thread(void* arg)
{
    const uint64_t generation = reinterpret_cast<uintptr_t>(arg);
    {
        std::lock_guard<crtfun::crtmutex> hold(g_uploadctlmtx);
        if (g_uploadthreadstate.load() != 1 || g_uploadgeneration != generation) {
            return nullptr;  // stopped before it ran
        }
        g_uploadthreadstate.store(2);
    }
    unsigned int sleepms = 0;
    pollfd ready[2];
    int readycount = -1;
    while (g_uploadthreadstate.load() == 2) {
        if (readycount < 0) {
            _upload_sleep(sleepms);
        } else if (readycount > 0) {
            _upload_waitready(ready, readycount);
        }
        if (g_uploadthreadstate.load() != 2) {
            break;
        }
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        sleepms = _upload_manager_pass();
        readycount = _upload_readyset(ready);
    }
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        if (vcurup) {
            printlog("delete job in upload_thread %x", vcurup->id);
            _upload_deletejob(vcurup);
        }
        _upload_abandon_httpjob(g_globalhttpjob);
    }
    std::lock_guard<crtfun::crtmutex> hold(g_uploadctlmtx);
    g_uploadthreadstate.store(1);
    g_uploadctlcond.signal();
    return nullptr;
}

}  // namespace

void _upload_wakeup()
{
    std::lock_guard<crtfun::crtmutex> hold(g_uploadwakemtx);
    g_uploadwakeflag = true;
    g_uploadwakecond.signal();
}

void upload_manager_startjob()
{
    std::lock_guard<crtfun::crtmutex> hold(g_uploadctlmtx);
    if (g_uploadthreadstate.load() != 0) {
        return;
    }
    printlog("upload_manager_startjob");
    g_uploadthreadstate.store(1);
    const uint64_t generation = ++g_uploadgeneration;
    if (!crtfun::startdetachedthread(upload_manager_thread, reinterpret_cast<void*>(static_cast<uintptr_t>(generation)))) {
        printlog("start upload_manager_thread failed");
        g_uploadthreadstate.store(0);
    }
}

void upload_manager_stopjob()
{
    std::lock_guard<crtfun::crtmutex> hold(g_uploadctlmtx);
    const int state = g_uploadthreadstate.load();
    if (state == 0) {
        return;
    }
    printlog("upload_manager_stopjob");
    if (state == 2 || state == 3) {
        g_uploadthreadstate.store(3);
        _upload_wakeup();
        while (g_uploadthreadstate.load() == 3) {
            g_uploadctlcond.wait(g_uploadctlmtx);
        }
    }
    // A thread started but not yet running sees the state 0 (or a newer generation) and ends.
    g_uploadthreadstate.store(0);
}

void upload_getlock()
{
    curupmtx.lock();
}

void upload_releaselock()
{
    curupmtx.unlock();
}

std::string upload_requestdata(const char* guid, const char* column)
{
    if (guid == nullptr || column == nullptr) {
        return std::string();
    }
    global_dbref db = global_getdb();
    if (!db) {
        return std::string();
    }
    const std::string sql = _upload_sql("select %s from localmedia where guid='%q';", column, guid);
    sqlite3_stmt* stmt = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
        sqlite3_column_text(stmt, 0) != nullptr) {
        value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return value;
}

void _upload_clean_current_network_error()
{
    printlog("upload_clean_current_network_error");
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        if (vcurup) {
            vcurup->retrycount = 0;
        }
        g_uploadidle.store(false);
    }
    _upload_globalcommit_clearbackoff();
    _upload_wakeup();
}
