// The system's main program. Until the application shell exists it drives the media engine along the
// road of one recorded video: it records a short movie (the synthetic camera and microphone), enters it
// into the engine, publishes it with a title, a place, friends and a microblog share as the publish
// screen does, lets the engine upload it to the service at OMBRI_SERVICE_HOST, deletes the local files
// once the upload has finished, and prints every status event on the way.
//
//     ombri [--keep]     --keep leaves the scratch folder (movie, database, engine log) in place
//
// Ends with 0 once the video is published and its job deleted, 1 when that has not happened within
// two minutes or the movie cannot be made.
#include "engine/UtilityAdapter.h"
#include "platform/media/MovieFileWriter.h"
#include "platform/media/SyntheticMedia.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Written by the engine's threads through the status callback.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::string guid;
    bool finished = false;  // (5, 2, guid, "3")
    bool deleted = false;   // the job thread has run the deletion (7, 4)
};
Progress& g_progress = *new Progress;

void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
{
    // The display text comes once a second; the rest is the road.
    if (act == 5 && status == 0 && msg2[0] == '\0') {
        return;
    }
    std::printf("event act=%u status=%d msg=%s msg2=%s\n", act, status, msg, msg2);
    std::fflush(stdout);
    std::lock_guard<std::mutex> hold(g_progress.mutex);
    if (act == 5 && status == 2 && std::strcmp(msg2, "3") == 0 && msg == g_progress.guid) {
        g_progress.finished = true;
        g_progress.changed.notify_all();
    }
    if (act == 7 && status == 4) {
        g_progress.deleted = true;
        g_progress.changed.notify_all();
    }
}

void onLog(const char*, const char*) {}

std::string take(char* text)
{
    std::string out = text != nullptr ? text : "";
    UtilityAdapter_FreeString(text);
    return out;
}

// Percent-encodes a value placed in a commit URL's query.
std::string encode(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Two seconds of the synthetic camera and microphone as the phone records them.
bool recordMovie(const std::string& path)
{
    MovieFileSettings settings;
    MovieFileWriter writer;
    if (!writer.startWriting(path, settings)) {
        std::fprintf(stderr, "ombri: cannot record %s: %s\n", path.c_str(), writer.error().c_str());
        return false;
    }
    SyntheticCamera camera(settings.width, settings.height);
    SyntheticMicrophone microphone(settings.audioSampleRate);
    const int frames = 2 * settings.frameRate;
    std::vector<float> sound(static_cast<size_t>(settings.audioSampleRate / settings.frameRate));
    for (int i = 0; i < frames; ++i) {
        microphone.read(sound.data(), sound.size());
        if (!writer.appendAudioSamples(sound.data(), sound.size()) || !writer.appendVideoFrame(camera.frameAt(i))) {
            std::fprintf(stderr, "ombri: recording failed: %s\n", writer.error().c_str());
            return false;
        }
    }
    if (!writer.finishWriting()) {
        std::fprintf(stderr, "ombri: recording failed: %s\n", writer.error().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool keep = argc > 1 && std::strcmp(argv[1], "--keep") == 0;
    const char* hostSetting = std::getenv("OMBRI_SERVICE_HOST");
    const std::string host = hostSetting != nullptr && *hostSetting != '\0' ? hostSetting : "127.0.0.1:8080";

    std::string pattern = (std::filesystem::temp_directory_path() / "ombri-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("ombri: scratch folder");
        return 1;
    }
    const std::string home = pattern;
    const std::string user = home + "/user";
    const std::string media = home + "/media";
    std::filesystem::create_directories(user);
    std::filesystem::create_directories(media);
    const std::string movie = media + "/2012-05-01-15-30-00.MOV";
    std::printf("ombri: service %s, folder %s\n", host.c_str(), home.c_str());
    if (!recordMovie(movie)) {
        return 1;
    }
    std::printf("ombri: recorded %s (%llu bytes)\n", movie.c_str(),
                static_cast<unsigned long long>(std::filesystem::file_size(movie)));

    // As the engine bridge starts the engine for a logged-in user on Wi-Fi who uploads on any network.
    UtilityAdapter_SetExtData(8, "lumo", 0);
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);
    UtilityAdapter_SetExtData(5, "", 3);
    UtilityAdapter_SetExtData(7, "", 2);
    UtilityAdapter_SetExtData(4, "linux_ombri", 0);
    UtilityAdapter_Callbacks callbacks{};
    callbacks.status = &onStatus;
    callbacks.printlog = &onLog;
    UtilityAdapter_SetupCallbacks(&callbacks);
    const std::string token = "runtoken";
    UtilityAdapter_SetExtData(1, token.c_str(), 0);
    for (int sub : {1, 3, 2, 7}) {
        UtilityAdapter_SetExtData(3, user.c_str(), sub);
    }
    UtilityAdapter_SetExtData(3, (user + "/ombri.db").c_str(), 4);
    UtilityAdapter_StartJob(2, 2);

    // The review screen enters the movie; the publish screen publishes it.
    const std::string guid = take(UtilityAdapter_ImportFile(movie.c_str()));
    if (guid.empty()) {
        std::fprintf(stderr, "ombri: the engine did not take the movie\n");
        return 1;
    }
    {
        std::lock_guard<std::mutex> hold(g_progress.mutex);
        g_progress.guid = guid;
    }
    std::printf("ombri: job %s\n", guid.c_str());
    const std::string title = "Sunset walk";
    const std::string post = "post://" + host;
    UtilityAdapter_JobOperation(guid.c_str(), 9, title.c_str());
    UtilityAdapter_JobOperation(guid.c_str(), 10, "all");
    UtilityAdapter_JobOperation(guid.c_str(), 1, "");
    UtilityAdapter_JobOperation(guid.c_str(), 5,
                                (post + "/m/modify-channel.json?location=31.230000,121.470000&locationText=" +
                                 encode("People's Square") + "&token=" + encode(token))
                                    .c_str());
    UtilityAdapter_JobOperation(guid.c_str(), 7,
                                (post + "/m/with.json?suids=" + encode("12,34") + "&token=" + encode(token)).c_str());
    UtilityAdapter_JobOperation(guid.c_str(), 7,
                                (post + "/m/share-weibo.json?msg=" + encode(title) + "&othertype=" + encode("2,3") +
                                 "&token=" + encode(token))
                                    .c_str());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    bool done = false;
    {
        std::unique_lock<std::mutex> hold(g_progress.mutex);
        if (g_progress.changed.wait_until(hold, deadline, [] { return g_progress.finished; })) {
            hold.unlock();
            // As the bridge does once the upload has finished: the local files go.
            UtilityAdapter_JobOperation(guid.c_str(), 7, ("action://deletefile?guid=" + guid).c_str());
            hold.lock();
            done = g_progress.changed.wait_until(hold, deadline, [] { return g_progress.deleted; });
        }
    }
    std::printf(done ? "ombri: published and uploaded; local job deleted\n" : "ombri: the upload did not finish in time\n");
    std::fflush(stdout);
    if (!keep) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    // The engine's threads go on running: end without running destructors they may still use.
    std::_Exit(done ? 0 : 1);
}
