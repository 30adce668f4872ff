#include "engine/global.h"

#include "engine/jobdb.h"
#include "engine/printlog.h"

#include <cjson/cJSON.h>

#include <cstdlib>
#include <deque>
#include <mutex>

const char errormsg[kErrorMsgCount][40] = {
    "打开数据库失败",
    "视频不能保存到磁盘中",
    "申请直播失败",
    "视频文件不存在或无法打开",
    "未知格式，无法播放视频",
    "视频文件中没有数据",
    "解码器内部错误，无法播放",
    "编码器内部错误",
};

const char hintmsg[kHintMsgCount][80] = {
    "由于硬件性能限制，编码正在减速模式下运行",
    "该视频无法生成截图",
    "SD卡被拔出，没有可用本地视频！",
};

crtfun::crtmutex& g_statusmtx = *new crtfun::crtmutex;
crtfun::crtcond& g_msgqueue = *new crtfun::crtcond;

namespace {

std::atomic<UtilityAdapter_StatusCallback> g_statuscb{nullptr};
std::atomic<UtilityAdapter_MovieThumbCallback> g_moviethumbcb{nullptr};

// The pending list, guarded by g_statusmtx: whole events, oldest first, and their total size.
std::deque<std::string>& g_pendingstatus = *new std::deque<std::string>;
size_t g_pendingstatusbytes = 0;

// The text an event is delivered with.
const char* _status_text(unsigned int act, int status, const char* msg)
{
    if (act == 3 && status == 0) {
        return errormsg[0];  // the statement or step that failed is for the log only
    }
    if (msg != nullptr && *msg != '\0') {
        return msg;
    }
    if (act == 3) {
        return status >= 0 && status < kErrorMsgCount ? errormsg[status] : "";
    }
    if (act == 4) {
        return status >= 0 && status < kHintMsgCount ? hintmsg[status] : "";
    }
    return "";
}

void _append_pending(unsigned int act, int status, const char* msg, const char* msg2)
{
    cJSON* object = cJSON_CreateObject();
    if (object == nullptr) {
        return;
    }
    cJSON_AddItemToObject(object, "act", cJSON_CreateNumber(act));
    cJSON_AddItemToObject(object, "status", cJSON_CreateNumber(status));
    cJSON_AddItemToObject(object, "msg", cJSON_CreateString(msg));
    cJSON_AddItemToObject(object, "msg2", cJSON_CreateString(msg2));
    char* printed = cJSON_PrintUnformatted(object);
    cJSON_Delete(object);
    if (printed == nullptr) {
        return;
    }
    std::lock_guard<crtfun::crtmutex> hold(g_statusmtx);
    g_pendingstatus.emplace_back(printed);
    g_pendingstatusbytes += g_pendingstatus.back().size() + 1;
    // Nothing reads the list: keep only the newest events so that it cannot grow without bound.
    while (g_pendingstatusbytes > kPendingStatusLimit && g_pendingstatus.size() > 1) {
        g_pendingstatusbytes -= g_pendingstatus.front().size() + 1;
        g_pendingstatus.pop_front();
    }
    g_msgqueue.signal();
    std::free(printed);
}

}  // namespace

bool global_callback_status(unsigned int act, int status, const char* msg, const char* msg2)
{
    UtilityAdapter_StatusCallback callback = g_statuscb.load();
    if (callback == nullptr) {
        return false;
    }
    callback(act, status, msg, msg2);
    return true;
}

int global_callback_moviethumb(const char* moviepath, const char* thumbpath)
{
    UtilityAdapter_MovieThumbCallback callback = g_moviethumbcb.load();
    if (callback == nullptr) {
        return 0;
    }
    return callback(moviepath != nullptr ? moviepath : "", thumbpath != nullptr ? thumbpath : "");
}

void global_setupcallbacks(const UtilityAdapter_Callbacks* callbacks)
{
    g_statuscb.store(callbacks != nullptr ? callbacks->status : nullptr);
    setprintlogcb(callbacks != nullptr ? callbacks->printlog : nullptr);
    g_moviethumbcb.store(callbacks != nullptr ? callbacks->moviethumb : nullptr);
}

void global_putstatusdispatch(unsigned int act, int status, const char* msg, const char* msg2)
{
    if (msg2 == nullptr) {
        msg2 = "";
    }
    if (act == 3 && status == 0) {
        const int sdcard = g_sdcardstatus.load();
        printlog("error sql is:%d,%s,%d", status, msg != nullptr ? msg : "", sdcard);
        if (sdcard == 1) {
            // Storage is gone: the database fails because its file went away. Close it rather than
            // report every statement.
            _global_closedatabase();
            return;
        }
    }
    const char* text = _status_text(act, status, msg);
    if (act != 2) {
        printlog("putstatusdispatch:%d,%d,%s,%s", static_cast<int>(act), status, text, msg2);
    }
    if (global_callback_status(act, status, text, msg2)) {
        return;
    }
    _append_pending(act, status, text, msg2);
}

std::string global_getpendingstatus()
{
    std::lock_guard<crtfun::crtmutex> hold(g_statusmtx);
    std::string joined;
    for (const std::string& event : g_pendingstatus) {
        if (!joined.empty()) {
            joined += ',';
        }
        joined += event;
    }
    return joined;
}
