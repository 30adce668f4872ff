// engine_child publish|resume <folder> <movie>
//
// Runs the engine through its facade in a process of its own, for tests that kill it in the middle of
// an upload and start another on the same files. The user is logged in with the token "utok" on Wi-Fi,
// may upload on any network, and has the folder <folder>/user (database <folder>/user/ombri.db). The
// service host and the engine's time scale come from the environment (OMBRI_SERVICE_HOST,
// OMBRI_ENGINE_TIME_SCALE). Every status event is printed on stdout, one per line.
//
//   publish  enters the movie, publishes it (title, visibility "all", start) and uploads it; it waits
//            to be killed and ends with 3 after 60 seconds.
//   resume   starts the upload thread and waits until the movie's job has finished: 0, or 1 when it
//            has not after 60 seconds.
// Wrong arguments end it with 2.
#include "engine/UtilityAdapter.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::string g_guid;
bool g_finished = false;

void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
{
    std::lock_guard<std::mutex> hold(g_mutex);
    std::printf("event %u %d %s %s\n", act, status, msg, msg2);
    std::fflush(stdout);
    if (act == 5 && status == 2 && std::strcmp(msg2, "3") == 0 && msg == g_guid) {
        g_finished = true;
        g_changed.notify_all();
    }
}

void onLog(const char*, const char* message)
{
    std::lock_guard<std::mutex> hold(g_mutex);
    std::printf("log %s\n", message);
    std::fflush(stdout);
}

std::string take(char* text)
{
    std::string out = text != nullptr ? text : "";
    UtilityAdapter_FreeString(text);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "publish") != 0 && std::strcmp(argv[1], "resume") != 0)) {
        std::fprintf(stderr, "usage: engine_child publish|resume <folder> <movie>\n");
        return 2;
    }
    const bool publish = std::strcmp(argv[1], "publish") == 0;
    const std::string user = std::string(argv[2]) + "/user";
    const char* movie = argv[3];

    UtilityAdapter_SetExtData(8, "lumo", 0);
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);
    UtilityAdapter_Callbacks callbacks{};
    callbacks.status = &onStatus;
    callbacks.printlog = &onLog;
    UtilityAdapter_SetupCallbacks(&callbacks);
    UtilityAdapter_SetExtData(5, "", 3);
    UtilityAdapter_SetExtData(7, "", 2);
    UtilityAdapter_SetExtData(1, "utok", 0);
    for (int sub : {1, 3, 2, 7}) {
        UtilityAdapter_SetExtData(3, user.c_str(), sub);
    }
    UtilityAdapter_SetExtData(3, (user + "/ombri.db").c_str(), 4);

    const std::string guid = take(UtilityAdapter_ImportFile(movie));
    if (guid.empty()) {
        std::fprintf(stderr, "engine_child: the movie could not be entered\n");
        return 1;
    }
    {
        std::lock_guard<std::mutex> hold(g_mutex);
        g_guid = guid;
    }
    UtilityAdapter_StartJob(2, 2);
    if (publish) {
        UtilityAdapter_JobOperation(guid.c_str(), 9, "resume me");
        UtilityAdapter_JobOperation(guid.c_str(), 10, "all");
        UtilityAdapter_JobOperation(guid.c_str(), 1, "");
    }
    bool finished = false;
    {
        std::unique_lock<std::mutex> hold(g_mutex);
        finished = g_changed.wait_for(hold, std::chrono::seconds(60), [] { return g_finished; });
    }
    // The engine's threads go on running: end without running the destructors they may still use.
    std::fflush(stdout);
    std::_Exit(publish ? 3 : finished ? 0 : 1);
}
