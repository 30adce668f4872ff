#pragma once
// PZFFmpeg: where the interface meets the media engine (engine/UtilityAdapter.h).
//
// Its class methods start and stop the engine, hand it the user's token and folders, turn interface
// actions (publish, pause, resume, delete, live recording) into job operations and read the local media
// list. The one shared instance, g_ffmpeg, holds what the screens read back: the local media entries,
// the live job's ids, the upload-finished sound and the last reminder reply. PZStatusChange,
// PZPrintLog and PZGetMovieThumb are the engine's callbacks.
//
// Threads. Class methods run on the caller's thread (the main thread for every screen). The callbacks
// run on the engine's threads: PZStatusChange posts "updateui" and "delete_media" (default centre, no
// object) on the reporting engine thread - observers move their work to the main queue themselves - and
// hands everything of the interface (status-bar messages, the idle timer) to the main queue
// asynchronously, so an engine thread never waits for the main thread.
//
// The instance's state is read and written from the engine's threads and from the main thread, so it
// sits behind one lock of the instance. The lock is held only to read or change that state: never
// while calling the engine, posting a notification, playing a sound or handing work to the main
// thread. localVideos() answers a copy taken under the lock; the entries PZStatusChange updates are
// changed in place under it.
//
// globleInit also installs the bridge as the session's engine side (api/SessionHooks.h), so a stored
// login hands the engine the new token and folders and a logout clears the token; globleUninit takes it
// away again.
#include <cstdint>
#include <mutex>
#include <string>

#include "bridge/AudioBufferPlayer.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class Reachability;
class SoundEffect;
class UIView;

// Notifications posted from the engine's threads.
inline constexpr char kUpdateUINotification[] = "updateui";
inline constexpr char kDeleteMediaNotification[] = "delete_media";
// User default: upload on any network (YES) or on Wi-Fi only (NO, or missing).
inline constexpr char kUploadSettingKey[] = "uploadSetting";
// The local-video extensions the engine scans for.
inline constexpr char kLocalVideoExtensions[] = ".MOV;.mov;.mp4;.MP4";

class PZFFmpeg : public NSObject, public AudioBufferPlayerDelegate {
public:
    static Ref<PZFFmpeg> create();

    // ---- Class methods ------------------------------------------------------------------------------
    // Brings the engine up: edition word, start-up, extensions, network status (Wi-Fi until the first
    // reachability change), upload policy from "uploadSetting", device name, token and folders,
    // callbacks, g_ffmpeg with its sound, token and folders again, the local media list, upload thread.
    static void globleInit();
    // Stops the engine's upload thread and lets g_ffmpeg go.
    static void globleUninit();
    // Hands the engine the logged-in user's token and folders (the database and the scan folder among
    // them); nothing while nobody is logged in.
    static void setToken();
    // Clears the engine's user token.
    static void logOut();
    // Reachability status 2 (Wi-Fi) -> engine network status 3, any other non-zero (cellular) -> 2,
    // 0 -> 0. A nil watcher counts as no network.
    static void changeNetworkStatus(const Ref<Reachability>& reachability);
    // Reads the first 50 entries of the local media list into g_ffmpeg's localVideos; answers the parsed
    // reply (nil when it cannot be parsed).
    static Value findAllFlvs();
    // Enters the movie into the engine's jobs; its guid, or nil.
    static Value getMovieGuid(const std::string& moviePath);
    // The job's column as a string, or nil (no job, no such column, an empty value).
    static Value fetchMovieInfo_WithField(const std::string& guid, const std::string& field);
    // Visibility ("all" or "off") first, then the start, so the visibility call is stored before the
    // upload starts.
    static void startUpload_withLimits(const std::string& guid, const std::string& limits);
    static void startUpload(const std::string& guid);
    static void stopUpload(const std::string& guid);
    static void deleteLocalFileGuid(const std::string& guid);
    // The title, also sent to the service.
    static void modify_withTitleOnline(const std::string& guid, const std::string& title);
    // The calls to the service for one video. Every value placed in a call's query is percent-encoded,
    // so a "|", "&", "=" or "%" in a place, a message or a list of ids arrives as it was typed.
    static void addLocation_longi_toGuid_locationText(double latitude, double longitude, const std::string& guid,
                                                      const std::string& locationText);
    static void withSomebody_withSuid(const std::string& guid, const std::string& suids);
    static void videoSign(const std::string& guid);
    static void shareWeibo_withMessage_(const std::string& guid, const std::string& message,
                                        const std::string& targets);
    // Queues the deletion of the job's local files once its upload has finished.
    static void deleteLocalFileGuidWhenFinished(const std::string& guid);
    // The live recording.
    static void startLiveWithFileName_realName(const std::string& moviePath, const std::string& realName);
    static void stopLive();
    // The device's orientation to the engine.
    static void setOritention();
    // Rescans the local-video folder.
    static void searchVideoEndImport();
    static void modify_withTitle(const std::string& guid, const std::string& title);
    static void setVideo_Limits(const std::string& guid, const std::string& limits);
    static void startEncode();
    static void stopEncode();
    // The engine's player, which does nothing.
    static void startPlay_online_delegateView(const std::string& url, bool online, const Ref<UIView>& view);
    static void playerPause(bool pause);
    static void stopPlay();
    static void playerSeek(int position);
    // Kind 2 to 6 sets one of the five effect values to subType - 1 and keeps the others.
    static void setType_subType(int type, int subType);
    // Test hooks: the seconds since globleInit.
    static double _callback_for_test_processImageWithData_size_width_height_buffer(const unsigned char* data,
                                                                                   int size, int width, int height,
                                                                                   unsigned char* buffer);
    static double _callback_for_test_processAudioWithData_size(const unsigned char* data, int size);

    // ---- Instance -----------------------------------------------------------------------------------
    // Clears g_ffmpeg's importEnd.
    void startImport();
    // Asks the engine for the buffer's bytes while g_audioPlayer exists; silence otherwise, or when the
    // engine has none (2048 bytes, at most the buffer's capacity).
    void audioBufferPlayer_fillBuffer_format(AudioBufferPlayer* audioBufferPlayer, AudioQueueBufferRef buffer,
                                             const AudioStreamBasicDescription& audioFormat) override;

    bool importEnd() const { return locked(importEnd_); }
    void setImportEnd(bool importEnd) { store(importEnd_, importEnd); }
    // The scid of the last job that got its upload token; nil after stopLive.
    Value livingScid() const { return locked(livingScid_); }
    void setLivingScid(const Value& livingScid) { store(livingScid_, livingScid); }
    Value livingGuid() const { return locked(livingGuid_); }
    void setLivingGuid(const Value& livingGuid) { store(livingGuid_, livingGuid); }
    // A copy of the local media entries (an array of dictionaries; nil before the first list).
    Value localVideos() const;
    // Takes a copy of the array.
    void setLocalVideos(const Value& localVideos);
    Ref<SoundEffect> videoSent() const { return locked(videoSent_); }
    void setVideoSent(const Ref<SoundEffect>& videoSent) { store(videoSent_, videoSent); }
    Value remind() const { return locked(remind_); }
    void setRemind(const Value& remind) { store(remind_, remind); }

    // Changes the first entry of localVideos whose "guid" is the guid (nothing when there is none).
    void setLocalVideoValue(const std::string& guid, const Value& value, std::string_view key);
    // Removes every entry of localVideos whose "guid" is the guid, under the same lock, so a screen that
    // drops a video never keeps a list of its own beside this one. Answers whether one was removed.
    bool removeLocalVideo(const std::string& guid);

    PZFFmpeg() = default;

private:
    // A whole value read or written under the lock (values are copied out, never referenced).
    template <class T>
    T locked(const T& field) const
    {
        std::lock_guard hold(mutex_);
        return field;
    }
    template <class T, class U>
    void store(T& field, const U& value)
    {
        std::lock_guard hold(mutex_);
        field = value;
    }

    mutable std::mutex mutex_;  // guards everything below
    bool importEnd_ = false;
    Value livingScid_;
    Value livingGuid_;
    Value localVideos_;
    Ref<SoundEffect> videoSent_;
    Value remind_;
};

// A process-wide reference read and written from any thread.
template <class T>
class PZSharedSlot {
public:
    Ref<T> get() const
    {
        std::lock_guard hold(mutex_);
        return object_;
    }
    // The previous object is released outside the lock.
    void set(Ref<T> object)
    {
        std::unique_lock hold(mutex_);
        std::swap(object_, object);
        hold.unlock();
    }
    explicit operator bool() const { return get() != nullptr; }
    Ref<T> operator->() const { return get(); }

private:
    mutable std::mutex mutex_;
    Ref<T> object_;
};

// The one shared instance, from globleInit to globleUninit.
extern PZSharedSlot<PZFFmpeg>& g_ffmpeg;
// The player of the engine's player half (which the engine never starts).
extern PZSharedSlot<AudioBufferPlayer>& g_audioPlayer;

// The engine's callbacks.
extern "C" {
void PZStatusChange(unsigned int act, int status, const char* msg, const char* msg2);
void PZPrintLog(const char* line, const char* message);
int PZGetMovieThumb(const char* moviePath, const char* thumbnailPath);
void PZPlayerAudioInit(int rate, int channels, int bits);
void PZPlayerVideoInit(int width, int height);
void PZPlayerAudioBufferReady(const unsigned char* data, int length);
void PZPlayerVideoBufferReady(const unsigned char* data, int width, int height);
void PZPlayerEventProcess(int event, int value);
void PZPlayerEventBufferState(int percent);
void PZPlayerEventFinish(void);
void PZPlayerUninit(void);
}
