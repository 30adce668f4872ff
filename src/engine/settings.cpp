#include "engine/global.h"

#include <cstdlib>
#include <mutex>

namespace {

// One lock for every text setting, so that global_getsettings() sees them all at one instant.
std::mutex& g_settingsmtx = *new std::mutex;

}  // namespace

std::string global_textsetting::get() const
{
    std::lock_guard<std::mutex> hold(g_settingsmtx);
    return value_;
}

void global_textsetting::set(std::string_view text)
{
    std::lock_guard<std::mutex> hold(g_settingsmtx);
    value_.assign(text);
}

bool global_textsetting::empty() const
{
    std::lock_guard<std::mutex> hold(g_settingsmtx);
    return value_.empty();
}

bool global_textsetting::setifdifferent(std::string_view text)
{
    std::lock_guard<std::mutex> hold(g_settingsmtx);
    if (value_ == text) {
        return false;
    }
    value_.assign(text);
    return true;
}

global_textsetting& g_usertoken = *new global_textsetting;
global_textsetting& g_photopath = *new global_textsetting;
global_textsetting& g_videopath = *new global_textsetting;
global_textsetting& g_datapath = *new global_textsetting;
global_textsetting& g_imagepath = *new global_textsetting;
global_textsetting& g_dbname = *new global_textsetting;
global_textsetting& g_localvideopath = *new global_textsetting;
global_textsetting& g_localvideoext = *new global_textsetting;
global_textsetting& g_logpath = *new global_textsetting;
global_textsetting& g_devicename = *new global_textsetting;
global_textsetting& g_vendor = *new global_textsetting;
global_textsetting& g_servicehost = *new global_textsetting;
std::atomic<int> g_netstatus{0};
std::atomic<int> g_sdcardstatus{0};
std::atomic<int> g_uploadstatus{0};

global_settings global_getsettings()
{
    global_settings s;
    {
        std::lock_guard<std::mutex> hold(g_settingsmtx);
        s.usertoken = g_usertoken.value_;
        s.photopath = g_photopath.value_;
        s.videopath = g_videopath.value_;
        s.datapath = g_datapath.value_;
        s.imagepath = g_imagepath.value_;
        s.dbname = g_dbname.value_;
        s.localvideopath = g_localvideopath.value_;
        s.localvideoext = g_localvideoext.value_;
        s.logpath = g_logpath.value_;
        s.devicename = g_devicename.value_;
        s.vendor = g_vendor.value_;
    }
    s.netstatus = g_netstatus.load();
    s.sdcardstatus = g_sdcardstatus.load();
    s.uploadstatus = g_uploadstatus.load();
    return s;
}

std::string global_servicehost()
{
    if (std::string configured = g_servicehost.get(); !configured.empty()) {
        return configured;
    }
    const char* host = std::getenv("OMBRI_SERVICE_HOST");
    return host != nullptr && *host != '\0' ? host : "127.0.0.1:8080";
}
