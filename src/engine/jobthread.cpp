// The job thread and the job engine's own operations.
#include "engine/jobthread.h"

#include "engine/crtfun.h"
#include "engine/crtlock.h"
#include "engine/global.h"
#include "engine/jobcontrol.h"
#include "engine/livejob.h"
#include "engine/printlog.h"
#include "engine/upload.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

// One queued operation, owned by the queue until the job thread takes it.
struct _asynjob {
    unsigned int code;
    std::string guid;
    std::string extra;
    int a;
    int b;
};

void _freeasynjob(void* entry)
{
    delete static_cast<_asynjob*>(entry);
}

crtfun::crtlockqueue& asynqueue = *new crtfun::crtlockqueue(&_freeasynjob);
std::atomic<bool> g_asynstarted{false};

void _runasynjob(const _asynjob& job)
{
    const char* guid = job.guid.c_str();
    const char* extra = job.extra.c_str();
    switch (job.code) {
    case 1:
        upload_startjob_byguid(guid, true);
        break;
    case 2:
        upload_stopjob_byguid(guid);
        break;
    case 3:
        upload_deletejob_byguid(guid);
        break;
    case 4:
        upload_deletefile_byguid(guid);
        break;
    case 5:
        upload_addcommiturl_byguid(guid, extra);
        break;
    case 6:
        upload_changetitle_byguid(guid, extra, false);
        break;
    case 7:
        upload_addfinishcommiturl_byguid(guid, extra);
        break;
    case 9:
        upload_changetitle_byguid(guid, extra, true);
        break;
    case 10:
        upload_setsharewith(guid, extra);
        break;
    case 11:
        upload_startjob_byguid(guid, false);
        break;
    case 12:
        upload_deletevideo_byguid(guid);
        break;
    case 32:
    case 33:
    case 34:
    case 36:
        // The guid of an effect job is the movie's path, its extra text the job's name.
        global_effectstart(guid, extra, static_cast<int>(job.code));
        break;
    case 35:
        global_effectend();
        break;
    case 37:
        global_setkeeplocal(true);
        global_startjob(1);
        break;
    case 38:
        global_setkeeplocal(false);
        global_startjob(1);
        break;
    case 39:
        global_endjob(1);
        break;
    default:
        break;  // 8 is answered by the facade; unknown codes do nothing
    }
}

void* asyn_thread(void*)
{
    for (;;) {
        auto* job = static_cast<_asynjob*>(asynqueue.get(true));
        if (job == nullptr) {
            if (asynqueue.isaborted()) {
                break;
            }
            continue;
        }
        _runasynjob(*job);
        global_putstatusdispatch(7, static_cast<int>(job->code), nullptr, nullptr);
        delete job;
    }
    return nullptr;
}

}  // namespace

void global_startasynthread()
{
    bool expected = false;
    if (!g_asynstarted.compare_exchange_strong(expected, true)) {
        return;
    }
    if (!crtfun::startdetachedthread(asyn_thread, nullptr)) {
        printlog("start asyn_thread failed");
        g_asynstarted.store(false);  // a later start may try again
    }
}

void global_addasynjob(unsigned int code, const char* guid, const char* extra, int a, int b)
{
    auto* job = new (std::nothrow) _asynjob{code, guid != nullptr ? guid : "", extra != nullptr ? extra : "", a, b};
    if (job == nullptr) {
        printlog("add asyn job %u failed", code);
        return;
    }
    if (asynqueue.put(job) != 0) {
        printlog("add asyn job %u failed", code);
        delete job;
    }
}

void global_startjob(int kind)
{
    if (kind == 2) {
        upload_manager_startjob();
    } else if (kind == 1) {
        _global_startrecording();
    }
}

void global_endjob(int kind)
{
    if (kind == 2) {
        upload_manager_stopjob();
    } else if (kind == 1) {
        _global_endrecording();
    }
}

// ---- orientation --------------------------------------------------------------------------------------

namespace {

struct _orientationstate {
    int orientation = 0;
    bool remembered = false;  // a first input has been remembered
    intptr_t sample = 0;
    int x = 0;
    int y = 0;
    uint64_t changetick = 0;      // when the remembered values last changed
    bool steady = false;
    uint64_t steadytick = 0;      // when steadiness was last reported
    bool steadyreported = false;
};

std::mutex& g_orientationmtx = *new std::mutex;
_orientationstate& g_orientation = *new _orientationstate;

constexpr uint64_t kStillBeforeSteadyMs = 1000;
constexpr uint64_t kSteadyReportIntervalMs = 5000;

long _distance(long a, long b)
{
    return a > b ? a - b : b - a;
}

}  // namespace

int global_orientation_sensor(const void* sample, int x, int y)
{
    int orientation;
    if (x >= -135 && x <= -45) {
        orientation = 0;
    } else if (x >= 45 && x <= 135) {
        orientation = 2;
    } else if (y < -44) {
        orientation = 1;
    } else {
        orientation = 3;
    }
    const intptr_t value = reinterpret_cast<intptr_t>(sample);
    const uint64_t now = crtfun::get_ms_tick();

    std::lock_guard<std::mutex> hold(g_orientationmtx);
    _orientationstate& s = g_orientation;
    int flags = 0;
    if (orientation != s.orientation) {
        s.orientation = orientation;
        printlog("setup accelero %d", orientation);
        flags |= 4;
    }

    const long ds = _distance(static_cast<long>(value), static_cast<long>(s.sample));
    const long dx = _distance(x, s.x);
    const long dy = _distance(y, s.y);
    // Once steady, the device may move a little more before it counts as moving again.
    const bool still = s.remembered && (s.steady ? (ds <= 9 && dx < 10 && dy < 10) : (ds <= 2 && dx < 3 && dy < 3));
    if (still) {
        if (!s.steady && now - s.changetick > kStillBeforeSteadyMs &&
            (!s.steadyreported || now - s.steadytick > kSteadyReportIntervalMs)) {
            s.steady = true;
            s.steadyreported = true;
            s.steadytick = now;
            flags |= 8;
        }
    } else {
        s.remembered = true;
        s.sample = value;
        s.x = x;
        s.y = y;
        s.changetick = now;
        s.steady = false;
    }
    return orientation | flags;
}

int global_getorientation()
{
    std::lock_guard<std::mutex> hold(g_orientationmtx);
    return g_orientation.orientation;
}

// ---- last live status ---------------------------------------------------------------------------------

namespace {

std::string& g_lastlivestatus = *new std::string;
int g_lastlivevalue = 0;

}  // namespace

void global_setlastlivestatus(const char* text, int value)
{
    std::lock_guard<crtfun::crtmutex> hold(g_statusmtx);
    g_lastlivestatus = text != nullptr ? text : "";
    g_lastlivevalue = value;
}

void global_getlastlivestatus(std::string& text, int& value)
{
    std::lock_guard<crtfun::crtmutex> hold(g_statusmtx);
    text = g_lastlivestatus;
    value = g_lastlivevalue;
}
