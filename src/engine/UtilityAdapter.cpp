// The facade: start-up and shut-down, the settings, and the entry points that hand work to the job
// thread, the job database and the upload engine.
#include "engine/UtilityAdapter.h"

#include "engine/crtfun.h"
#include "engine/crthttp.h"
#include "engine/effect.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"
#include "engine/scan.h"
#include "engine/transformat.h"
#include "engine/upload.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

std::atomic<int> g_videowidth{0};
std::atomic<int> g_videoheight{0};

namespace {

const char* _text(const char* text)
{
    return text != nullptr ? text : "";
}

// A text the caller owns until UtilityAdapter_FreeString.
char* _newstring(const std::string& text)
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

// The columns that operation 8 may read. The name ends up in the statement's text, so anything else
// is refused rather than passed on.
const char* _known_column(const char* name)
{
    static const char* const columns[] = {"guid",  "ct",       "st",     "filename", "uploadtoken", "usertoken",
                                          "publictype", "title", "localimg", "filetype", "h",      "w",
                                          "length", "status",  "uploadsvr", "adddata", "rowid"};
    for (const char* column : columns) {
        if (strcasecmp(column, name) == 0) {
            return column;
        }
    }
    return nullptr;
}

void _startscan()
{
    if (!crtfun::startdetachedthread(_scan_local_video_file, nullptr)) {
        printlog("start scan thread failed");
    }
}

void _setextdata_folder(int sub, const char* text)
{
    switch (sub) {
    case 0:
        g_photopath.set(text);
        break;
    case 1:
        g_videopath.set(text);
        if (std::string device = g_devicename.get(); !device.empty()) {
            prepareheader(device.c_str());
        }
        break;
    case 2:
        g_datapath.set(text);
        break;
    case 3:
        g_imagepath.set(text);
        break;
    case 4:
        if (g_dbname.setifdifferent(text)) {
            _global_initdatabase();
        }
        break;
    case 5:
        g_localvideopath.set(text);
        if (!g_localvideoext.empty()) {
            _startscan();
        }
        break;
    case 6:
        g_localvideoext.set(text);
        if (!g_localvideopath.empty()) {
            _startscan();
        }
        break;
    case 7:
        g_logpath.set(text);
        // Without a folder nothing is written (rather than a file at the root of the file system).
        setlogfile(*text != '\0' ? (std::string(text) + "/ombri.log").c_str() : "");
        break;
    default:
        break;
    }
}

void _setextdata_storage(int status)
{
    const int earlier = g_sdcardstatus.exchange(status);
    if (earlier == status) {
        return;
    }
    if (status == 0) {
        if (!global_isdbopen() && !g_dbname.empty()) {
            _global_initdatabase();
        }
        if (!g_localvideopath.empty() && !g_localvideoext.empty()) {
            _startscan();
        }
        if (!g_videopath.empty()) {
            prepareheader(g_devicename.get().c_str());
        }
    } else if (status == 1 && global_isdbopen()) {
        _global_closedatabase();
    }
}

}  // namespace

global_initoptions global_decodeinitflags(int flags)
{
    global_initoptions options;
    if (flags & 0x3) {
        options.audiorate = (flags & 0x2) ? 22050 : 16000;
    } else {
        options.audiorate = (flags & 0x4) ? 8000 : 44100;
    }
    options.convertmode = (flags & 0x100) ? 3 : (flags & 0x400) ? 4 : 2;
    options.logon = (flags & 0x10000) != 0;
    return options;
}

extern "C" {

int UtilityAdapter_Init(int width, int height, int unused1, int unused2, int flags)
{
    (void)unused1;
    (void)unused2;
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int sig : {SIGPIPE, SIGUSR1, SIGUSR2, SIGCHLD, SIGALRM}) {
        sigaction(sig, &ignore, nullptr);
    }

    g_videowidth.store(width);
    g_videoheight.store(height);

    int convertmode = 0;
    if (flags != 0) {
        const global_initoptions options = global_decodeinitflags(flags);
        audio_parser_init(options.audiorate, 1, nullptr);
        setlogfile("");
        convertmode = options.convertmode;
        if (options.logon) {
            enableprintlog(true);
        }
    }
    printlog("init video width:%d,%d", width, height);
    global_startasynthread();
    filter_init_convert(width, height, convertmode);
    return 0;
}

void UtilityAdapter_Uninit(void)
{
    printlog("UtilityAdapter_Uninit");
    upload_manager_stopjob();
    audio_parser_uninit();
    filter_uninit();
    std::lock_guard<crtfun::crtmutex> hold(g_statusmtx);
    g_msgqueue.abort();
}

void UtilityAdapter_SetupCallbacks(const UtilityAdapter_Callbacks* callbacks)
{
    global_setupcallbacks(callbacks);
}

void UtilityAdapter_SetExtData(int type, const char* text, int sub)
{
    text = _text(text);
    printlog("setextdata:%d,%d,%s", type, sub, text);
    switch (type) {
    case 1:
        if (sub == 0) {
            g_usertoken.set(text);
        }
        break;
    case 3:
        _setextdata_folder(sub, text);
        break;
    case 4:
        g_devicename.set(text);
        if (!g_videopath.empty()) {
            prepareheader(text);
        }
        crtfun::setupuseragent(text);
        break;
    case 5:
        g_netstatus.store(sub);
        if (sub != 0) {
            _upload_clean_current_network_error();
        }
        break;
    case 6:
        _setextdata_storage(sub);
        break;
    case 7:
        g_uploadstatus.store(sub);
        break;
    case 8:
        g_vendor.set(text);
        break;
    default:
        break;
    }
}

void UtilityAdapter_SetServiceHost(const char* host)
{
    g_servicehost.set(_text(host));
}

void UtilityAdapter_StartJob(int kind, int unused)
{
    (void)unused;
    if (kind == 2) {
        upload_manager_startjob();
    } else if (kind == 1) {
        global_startjob(1);
    }
}

void UtilityAdapter_StopJob(int kind)
{
    if (kind == 2) {
        upload_manager_stopjob();
    } else if (kind == 1) {
        global_endjob(1);
    }
}

char* UtilityAdapter_JobOperation(const char* guid, int operation, const char* extra)
{
    guid = _text(guid);
    extra = _text(extra);
    printlog("JobOperation:oper:%d,guid:%s,extdata:%s", operation, guid, extra);
    if (operation == 8) {
        const char* column = _known_column(extra);
        if (column == nullptr) {
            return nullptr;
        }
        std::string value = upload_requestdata(guid, column);
        return value.empty() ? nullptr : _newstring(value);
    }
    global_addasynjob(static_cast<unsigned int>(operation), guid, extra, 0, 0);
    return nullptr;
}

char* UtilityAdapter_ImportFile(const char* moviepath)
{
    std::string guid;
    global_importfile(guid, _text(moviepath));
    return guid.empty() ? nullptr : _newstring(guid);
}

char* UtilityAdapter_GetLocalMediaList(unsigned int page, int count)
{
    std::string reply;
    global_getlocalmedialist(reply, page, count);
    return _newstring(reply);
}

void UtilityAdapter_FreeString(char* text)
{
    std::free(text);
}

void UtilityAdapter_SetEffect(int filter, int frame, int filter2, int pitch, int ambient)
{
    printlog("SetEffect:%d,%d,%d,%d,%d", filter, frame, filter2, pitch, ambient);
    filter_set_effect(filter, frame, filter2, pitch, ambient);
}

void UtilityAdapter_EffectInit(int width, int height)
{
    filter_initeffect(width, height);
}

void UtilityAdapter_EffectStart(const char* moviepath, const char* jobname, int kind)
{
    global_addasynjob(static_cast<unsigned int>(kind), _text(moviepath), _text(jobname), 0, 0);
}

void UtilityAdapter_EffectStop(void)
{
    global_addasynjob(35, "", "", 0, 0);
}

int UtilityAdapter_OrientationSensor(const void* sample, int x, int y)
{
    return global_orientation_sensor(sample, x, y);
}

void UtilityAdapter_RenderSoundEffect(const unsigned char* data, int length, unsigned int timems)
{
    (void)data;
    (void)length;
    (void)timems;
}

void UtilityAdapter_PlayerPlay(const char* url, int online)
{
    (void)url;
    (void)online;
}

void UtilityAdapter_PlayerStop(void) {}

void UtilityAdapter_PlayerPause(int pause)
{
    (void)pause;
}

void UtilityAdapter_PlayerSeek(int position)
{
    (void)position;
}

int UtilityAdapter_GetAudioData(unsigned char* buffer, int length)
{
    (void)buffer;
    return length;
}

}  // extern "C"
