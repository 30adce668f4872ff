#pragma once
// The engine's process-wide state behind the facade: settings, callbacks, status events.
//
// Settings are written by the interface's thread through UtilityAdapter_SetExtData and read by every
// engine thread. Each text setting is copied in and out under one settings lock, so a reader always
// gets a whole text; numbers are atomic. global_getsettings() copies all of them at once, for code
// that needs several settings that belong together (token and folders change together at login).
//
// Every global here is made once and never destroyed: the engine's detached threads may still use
// them while the process exits.
#include "engine/UtilityAdapter.h"
#include "engine/crtlock.h"

#include <atomic>
#include <string>
#include <string_view>

// ---- settings ---------------------------------------------------------------------------------------

// A text setting of the engine.
class global_textsetting {
public:
    global_textsetting() = default;
    global_textsetting(const global_textsetting&) = delete;
    global_textsetting& operator=(const global_textsetting&) = delete;

    std::string get() const;
    void set(std::string_view text);
    bool empty() const;
    // Sets the text only when it differs from the current one; true when it changed.
    bool setifdifferent(std::string_view text);

private:
    friend struct global_settings global_getsettings();
    std::string value_;
};

extern global_textsetting& g_usertoken;       // login token of the current user; empty after logout
extern global_textsetting& g_photopath;       // photo folder (kept)
extern global_textsetting& g_videopath;       // job files and the codec header files
extern global_textsetting& g_datapath;        // data folder (kept)
extern global_textsetting& g_imagepath;       // thumbnails and effect files
extern global_textsetting& g_dbname;          // the job database file
extern global_textsetting& g_localvideopath;  // folders scanned for local videos, joined by ";"
extern global_textsetting& g_localvideoext;   // accepted extensions with their dot, joined by ";"
extern global_textsetting& g_logpath;         // folder of the engine log
extern global_textsetting& g_devicename;      // device and system description
extern global_textsetting& g_vendor;          // edition word sent as "vend"
extern global_textsetting& g_servicehost;     // the service's host as the application configured it
extern std::atomic<int> g_netstatus;          // 0 no network, 2 cellular (1 counts as 2), 3 Wi-Fi
extern std::atomic<int> g_sdcardstatus;       // 0 storage present, 1 removed
extern std::atomic<int> g_uploadstatus;       // upload policy 0, 1 or 2

// The guid of the current upload job, empty when there is none. Written by the upload manager when it
// changes its current job; read by the local media list (a waiting job that is not current shows
// "队列中"). Defined in jobdb.cpp.
extern global_textsetting& g_curguid;

// A consistent copy of every setting.
struct global_settings {
    std::string usertoken, photopath, videopath, datapath, imagepath, dbname, localvideopath, localvideoext,
        logpath, devicename, vendor;
    int netstatus = 0;
    int sdcardstatus = 0;
    int uploadstatus = 0;
};
global_settings global_getsettings();

// The service's host, "host" or "host:port": the one the application set in g_servicehost (from its
// configuration) when it did, else the engine's own reading of OMBRI_SERVICE_HOST, else
// "127.0.0.1:8080". The environment is read at each call, so a test that runs the engine alone may set
// it before it starts the engine.
std::string global_servicehost();

// ---- start-up ---------------------------------------------------------------------------------------

// The video size given to UtilityAdapter_Init.
extern std::atomic<int> g_videowidth;
extern std::atomic<int> g_videoheight;

// What UtilityAdapter_Init's flags ask for (flags other than 0).
struct global_initoptions {
    int audiorate;    // the audio parser's sample rate (mono)
    int convertmode;  // frame conversion mode 2, 3 or 4
    bool logon;       // 0x10000: the log is turned on
};
global_initoptions global_decodeinitflags(int flags);

// The frame-conversion buffer of width x height x 4 bytes and its mode. Nothing else in the system
// reads them. Defined in convert.cpp.
void filter_init_convert(int width, int height, int mode);  // mode 0 keeps the earlier mode
void filter_uninit();
size_t filter_convertbuffersize();
int filter_convertmode();

// ---- callbacks --------------------------------------------------------------------------------------

// Calls the installed status callback; false when none is installed. Texts must not be null.
bool global_callback_status(unsigned int act, int status, const char* msg, const char* msg2);
// Calls the installed thumbnail callback: the movie's duration in seconds, 0 when none is installed.
int global_callback_moviethumb(const char* moviepath, const char* thumbpath);
// Installs the callbacks kept by the engine (status, log, thumbnail).
void global_setupcallbacks(const UtilityAdapter_Callbacks* callbacks);

// ---- status events ----------------------------------------------------------------------------------

// The texts of errors (act 3) and notices (act 4) reported without a text of their own, by status.
constexpr int kErrorMsgCount = 8;
constexpr int kHintMsgCount = 3;
extern const char errormsg[kErrorMsgCount][40];
extern const char hintmsg[kHintMsgCount][80];

// Reports one status event; msg and msg2 may be null. Runs the callback on the calling thread.
//   - (3, 0, statement): a database failure. It is logged; while storage is removed the database is
//     closed instead and nothing is delivered; otherwise it is delivered as errormsg[0].
//   - act 3 or 4 without a text takes errormsg[status] or hintmsg[status] (empty beyond the tables).
//   - every act but 2 is logged.
//   - without a status callback the event is kept in the pending list as a JSON object.
void global_putstatusdispatch(unsigned int act, int status, const char* msg, const char* msg2);

// The pending list: events that arrived while no status callback was installed, as JSON objects
// {"act","status","msg","msg2"} joined by ",". Nothing in the system reads it; it keeps at most the
// newest kPendingStatusLimit bytes of events.
constexpr size_t kPendingStatusLimit = 1048576;
extern crtfun::crtmutex& g_statusmtx;
extern crtfun::crtcond& g_msgqueue;
std::string global_getpendingstatus();
