#include "bridge/PZFFmpeg.h"
#include "platform/foundation/Configuration.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "engine/UtilityAdapter.h"
#include "net/http/Reachability.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "widgets/SoundEffect.h"
#include "widgets/StatusBarOverlay.h"

PZSharedSlot<PZFFmpeg>& g_ffmpeg = *new PZSharedSlot<PZFFmpeg>;
PZSharedSlot<AudioBufferPlayer>& g_audioPlayer = *new PZSharedSlot<AudioBufferPlayer>;

namespace {

// The player half's frame buffer and the start time of the test hooks.
struct PlayerState {
    std::mutex mutex;
    std::vector<unsigned char> videoBuffer;
    int videoWidth = 0;
    int videoHeight = 0;
    NSDate date;
};

PlayerState& playerState()
{
    static auto* state = new PlayerState;  // engine threads may call in while the process exits
    return *state;
}

// The bridge as the session's engine side.
class BridgeSession : public EngineSession {
public:
    void setToken() override { PZFFmpeg::setToken(); }
    void logOut() override { PZFFmpeg::logOut(); }
};

// The service's host for the calls' URLs, read at each use.
std::string serviceHost()
{
    return Configuration::serviceHost();
}

// A value placed in a call's query: every byte but letters and digits as %xx. The engine keeps a
// video's calls in lists joined by "|" and "||" and sends each query as a form body, so a raw "|", "&",
// "=" or "%" in a place or a message would split a call or change its fields.
std::string encode(std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
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

std::string tokenParameter()
{
    return encode(Tool::getSelfToken().stringValue());
}

void jobOperation(const std::string& guid, int operation, const std::string& extra)
{
    UtilityAdapter_FreeString(UtilityAdapter_JobOperation(guid.c_str(), operation, extra.c_str()));
}

// A text returned by the engine as a string, or nil; the text is released.
Value takeText(char* text)
{
    Value value = text != nullptr && *text != '\0' ? Value(std::string(text)) : Value();
    UtilityAdapter_FreeString(text);
    return value;
}

void postFinishMessageOnMain(const char* text, double duration)
{
    const std::string message = text;
    dispatch_async(dispatch_get_main_queue(), [message, duration] {
        StatusBarOverlay::sharedOverlay()->postImmediateFinishMessage_duration_animated(message, duration, true);
    });
}

// The screen stays on while uploading. The application object belongs to the main thread.
void setIdleTimerDisabledOnMain(bool disabled)
{
    dispatch_async(dispatch_get_main_queue(),
                   [disabled] { UIApplication::sharedApplication()->setIdleTimerDisabled(disabled); });
}

void postNotification(const char* name)
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(name);
}

}  // namespace

Ref<PZFFmpeg> PZFFmpeg::create()
{
    return std::make_shared<PZFFmpeg>();
}

// ---- Start and stop ---------------------------------------------------------------------------------

void PZFFmpeg::globleInit()
{
    UtilityAdapter_SetExtData(8, "lumo", 0);
    UtilityAdapter_SetServiceHost(serviceHost().c_str());
    UtilityAdapter_Init(480, 360, 10, 600000, 70674);
    UtilityAdapter_SetExtData(3, kLocalVideoExtensions, 6);
    UtilityAdapter_SetExtData(5, "", 3);  // Wi-Fi until the first reachability change
    const bool anyNetwork = NSUserDefaults::standardUserDefaults()->boolForKey(kUploadSettingKey);
    UtilityAdapter_SetExtData(7, "", anyNetwork ? 2 : 1);
    UtilityAdapter_SetExtData(4, getDeviceAndOSInfo().c_str(), 0);
    setToken();

    UtilityAdapter_Callbacks callbacks{};
    callbacks.status = &PZStatusChange;
    callbacks.printlog = &PZPrintLog;
    callbacks.moviethumb = &PZGetMovieThumb;
    callbacks.playeraudioinit = &PZPlayerAudioInit;
    callbacks.playervideoinit = &PZPlayerVideoInit;
    callbacks.audiobufferready = &PZPlayerAudioBufferReady;
    callbacks.videobufferready = &PZPlayerVideoBufferReady;
    callbacks.playerevent = &PZPlayerEventProcess;
    callbacks.bufferstate = &PZPlayerEventBufferState;
    callbacks.playfinished = &PZPlayerEventFinish;
    callbacks.reserved = nullptr;
    callbacks.playeruninit = &PZPlayerUninit;
    UtilityAdapter_SetupCallbacks(&callbacks);

    auto ffmpeg = PZFFmpeg::create();
    ffmpeg->setVideoSent(
        SoundEffect::soundEffectWithContentsOfFile(NSBundle::mainBundle()->pathForResource_ofType("mail_sent", "wav")));
    g_ffmpeg.set(ffmpeg);
    {
        PlayerState& state = playerState();
        std::lock_guard hold(state.mutex);
        state.date = NSDate::date();
    }

    setToken();
    findAllFlvs();
    UtilityAdapter_StartJob(2, 2);
    SessionHooks::setEngineSession(std::make_shared<BridgeSession>());
}

void PZFFmpeg::globleUninit()
{
    SessionHooks::setEngineSession(nullptr);
    UtilityAdapter_Uninit();
    g_ffmpeg.set(nullptr);
    PlayerState& state = playerState();
    std::lock_guard hold(state.mutex);
    state.videoBuffer = {};
    state.date = NSDate();
}

void PZFFmpeg::setToken()
{
    const Value token = Tool::getSelfToken();
    if (token.isNilOrNull()) {
        return;
    }
    UtilityAdapter_SetExtData(1, token.stringValue().c_str(), 0);
    const std::string folder = Tool::getUserMediaFolder();
    for (int sub : {1, 3, 2, 7}) {
        UtilityAdapter_SetExtData(3, folder.c_str(), sub);
    }
    UtilityAdapter_SetExtData(3, (folder + "/ombri.db").c_str(), 4);
    UtilityAdapter_SetExtData(3, folder.c_str(), 5);
}

void PZFFmpeg::logOut()
{
    UtilityAdapter_SetExtData(1, "", 0);
}

void PZFFmpeg::changeNetworkStatus(const Ref<Reachability>& reachability)
{
    const NetworkStatus status = reachability ? reachability->currentReachabilityStatus() : NetworkStatusNotReachable;
    if (status == NetworkStatusViaWiFi) {
        UtilityAdapter_SetExtData(5, "", 3);
        NSLog("网络状态wifi");
    } else if (status != NetworkStatusNotReachable) {
        UtilityAdapter_SetExtData(5, "", 2);
        NSLog("网络状态3g");
    } else {
        UtilityAdapter_SetExtData(5, "", 0);
        NSLog("网络状态不可用");
    }
}

// ---- The local media list ---------------------------------------------------------------------------

Value PZFFmpeg::findAllFlvs()
{
    char* text = UtilityAdapter_GetLocalMediaList(1, 50);
    const Value reply = NSString_JsonParsing::JSONValue(text);
    UtilityAdapter_FreeString(text);
    if (auto ffmpeg = g_ffmpeg.get()) {
        const Value result = reply["result"];
        Value list = Value::array();
        for (const Value& entry : result.arrayItems()) {
            list.addObject(entry.mutableCopy());
        }
        ffmpeg->setLocalVideos(list);
    }
    return reply;
}

Value PZFFmpeg::getMovieGuid(const std::string& moviePath)
{
    return takeText(UtilityAdapter_ImportFile(moviePath.c_str()));
}

Value PZFFmpeg::fetchMovieInfo_WithField(const std::string& guid, const std::string& field)
{
    return takeText(UtilityAdapter_JobOperation(guid.c_str(), 8, field.c_str()));
}

// ---- Jobs -------------------------------------------------------------------------------------------

void PZFFmpeg::startUpload_withLimits(const std::string& guid, const std::string& limits)
{
    jobOperation(guid, 10, limits);
    jobOperation(guid, 1, "");
}

void PZFFmpeg::startUpload(const std::string& guid)
{
    jobOperation(guid, 1, "");
}

void PZFFmpeg::stopUpload(const std::string& guid)
{
    jobOperation(guid, 2, "");
}

void PZFFmpeg::deleteLocalFileGuid(const std::string& guid)
{
    jobOperation(guid, 4, "");
}

void PZFFmpeg::modify_withTitleOnline(const std::string& guid, const std::string& title)
{
    jobOperation(guid, 9, title);
}

void PZFFmpeg::addLocation_longi_toGuid_locationText(double latitude, double longitude, const std::string& guid,
                                                     const std::string& locationText)
{
    const std::string url = "post://" + serviceHost() +
                            stringWithFormat("/m/modify-channel.json?location=%f,%f&locationText=%@&token=%@", latitude,
                                             longitude, encode(locationText), tokenParameter());
    NSLog("add location %@", url);
    jobOperation(guid, 5, url);
}

void PZFFmpeg::withSomebody_withSuid(const std::string& guid, const std::string& suids)
{
    const std::string url =
        "post://" + serviceHost() + stringWithFormat("/m/with.json?suids=%@&token=%@", encode(suids), tokenParameter());
    NSLog("with somebody %@", url);
    jobOperation(guid, 7, url);
}

void PZFFmpeg::videoSign(const std::string& guid)
{
    jobOperation(guid, 5, "post://" + serviceHost() + stringWithFormat("/m/video-sign.json?token=%@", tokenParameter()));
}

void PZFFmpeg::shareWeibo_withMessage_(const std::string& guid, const std::string& message, const std::string& targets)
{
    const std::string url = "post://" + serviceHost() +
                            stringWithFormat("/m/share-weibo.json?msg=%@&othertype=%@&token=%@", encode(message),
                                             encode(targets), tokenParameter());
    NSLog("share weibo %@", url);
    jobOperation(guid, 7, url);
}

void PZFFmpeg::deleteLocalFileGuidWhenFinished(const std::string& guid)
{
    jobOperation(guid, 7, "action://deletefile?guid=" + guid);
}

void PZFFmpeg::modify_withTitle(const std::string& guid, const std::string& title)
{
    jobOperation(guid, 6, title);
}

void PZFFmpeg::setVideo_Limits(const std::string& guid, const std::string& limits)
{
    jobOperation(guid, 10, limits);
}

void PZFFmpeg::searchVideoEndImport()
{
    UtilityAdapter_SetExtData(3, kLocalVideoExtensions, 6);
}

// ---- Live recording ---------------------------------------------------------------------------------

void PZFFmpeg::startLiveWithFileName_realName(const std::string& moviePath, const std::string& realName)
{
    setOritention();
    UtilityAdapter_EffectInit(320, 480);
    UtilityAdapter_EffectStart(moviePath.c_str(), realName.c_str(), 33);
}

void PZFFmpeg::stopLive()
{
    if (auto ffmpeg = g_ffmpeg.get()) {
        ffmpeg->setLivingScid(Value());
        ffmpeg->setLivingGuid(Value());
    }
    UtilityAdapter_EffectStop();
}

void PZFFmpeg::setOritention()
{
    int x = 90;
    int y = 0;
    switch (UIDevice::currentDevice()->orientation()) {
    case UIDeviceOrientationPortrait:
        x = 0;
        y = 90;
        break;
    case UIDeviceOrientationPortraitUpsideDown:
        x = 0;
        y = -90;
        break;
    case UIDeviceOrientationLandscapeLeft:
        x = 90;
        y = 0;
        break;
    case UIDeviceOrientationLandscapeRight:
        x = -90;
        y = 0;
        break;
    default:
        break;
    }
    UtilityAdapter_OrientationSensor(nullptr, x, y);
}

void PZFFmpeg::startEncode()
{
    UtilityAdapter_StartJob(1, 0);
}

void PZFFmpeg::stopEncode()
{
    UtilityAdapter_StopJob(1);
}

// ---- The player half --------------------------------------------------------------------------------

void PZFFmpeg::startPlay_online_delegateView(const std::string& url, bool online, const Ref<UIView>&)
{
    UtilityAdapter_PlayerPlay(url.c_str(), online ? 1 : 0);
}

void PZFFmpeg::playerPause(bool pause)
{
    UtilityAdapter_PlayerPause(pause ? 1 : 0);
    if (auto player = g_audioPlayer.get()) {
        if (pause) {
            player->stop();
        } else {
            player->start();
        }
    }
    UIApplication::sharedApplication()->setIdleTimerDisabled(!pause);
}

void PZFFmpeg::stopPlay()
{
    UtilityAdapter_PlayerStop();
}

void PZFFmpeg::playerSeek(int position)
{
    UtilityAdapter_PlayerSeek(position);
}

void PZFFmpeg::setType_subType(int type, int subType)
{
    if (type < 2 || type > 6) {
        return;
    }
    int values[5] = {-1, -1, -1, -1, -1};
    values[type - 2] = subType - 1;
    UtilityAdapter_SetEffect(values[0], values[1], values[2], values[3], values[4]);
}

double PZFFmpeg::_callback_for_test_processImageWithData_size_width_height_buffer(const unsigned char*, int, int, int,
                                                                                  unsigned char*)
{
    PlayerState& state = playerState();
    std::lock_guard hold(state.mutex);
    return NSDate::date().timeIntervalSinceDate(state.date);
}

double PZFFmpeg::_callback_for_test_processAudioWithData_size(const unsigned char* data, int size)
{
    double elapsed = 0;
    {
        PlayerState& state = playerState();
        std::lock_guard hold(state.mutex);
        elapsed = NSDate::date().timeIntervalSinceDate(state.date);
    }
    UtilityAdapter_RenderSoundEffect(data, size, static_cast<unsigned int>(elapsed * 1000));
    return elapsed;
}

// ---- Instance ---------------------------------------------------------------------------------------

void PZFFmpeg::startImport()
{
    if (auto ffmpeg = g_ffmpeg.get()) {
        ffmpeg->setImportEnd(false);
    }
}

void PZFFmpeg::audioBufferPlayer_fillBuffer_format(AudioBufferPlayer*, AudioQueueBufferRef buffer,
                                                   const AudioStreamBasicDescription&)
{
    int filled = 0;
    if (g_audioPlayer) {
        filled = UtilityAdapter_GetAudioData(static_cast<unsigned char*>(buffer->mAudioData),
                                             static_cast<int>(buffer->mAudioDataBytesCapacity));
    }
    if (filled <= 0) {
        const uint32_t silence = std::min<uint32_t>(2048, buffer->mAudioDataBytesCapacity);
        std::memset(buffer->mAudioData, 0, silence);
        buffer->mAudioDataByteSize = silence;
        return;
    }
    buffer->mAudioDataByteSize = std::min(static_cast<uint32_t>(filled), buffer->mAudioDataBytesCapacity);
}

Value PZFFmpeg::localVideos() const
{
    std::lock_guard hold(mutex_);
    return localVideos_.deepCopy();
}

void PZFFmpeg::setLocalVideos(const Value& localVideos)
{
    Value copy = localVideos.deepCopy();
    std::lock_guard hold(mutex_);
    std::swap(localVideos_, copy);
}

void PZFFmpeg::setLocalVideoValue(const std::string& guid, const Value& value, std::string_view key)
{
    std::lock_guard hold(mutex_);
    for (const Value& entry : localVideos_.arrayItems()) {
        if (entry["guid"].isEqualToString(guid)) {
            Value item = entry;  // the same dictionary: changed in place
            item.setObject_forKey(value, key);
            return;
        }
    }
}

bool PZFFmpeg::removeLocalVideo(const std::string& guid)
{
    std::lock_guard hold(mutex_);
    if (!localVideos_.isArray()) {
        return false;
    }
    bool removed = false;
    for (NSUInteger index = localVideos_.count(); index > 0; --index) {
        if (localVideos_[index - 1]["guid"].isEqualToString(guid)) {
            localVideos_.removeObjectAtIndex(index - 1);
            removed = true;
        }
    }
    return removed;
}

// ---- The engine's callbacks -------------------------------------------------------------------------

extern "C" void PZStatusChange(unsigned int act, int status, const char* msgText, const char* msg2Text)
{
    const std::string msg = msgText != nullptr ? msgText : "";
    const std::string msg2 = msg2Text != nullptr ? msg2Text : "";
    const Ref<PZFFmpeg> ffmpeg = g_ffmpeg.get();
    auto logEvent = [&] {
        NSLog("ombri print log, act: %d; status: %d; str: %@, str2 %@", act, status, msg, msg2);
    };

    if (act == 5 && status == 1) {  // upload progress
        logEvent();
        setIdleTimerDisabledOnMain(true);
        if (ffmpeg) {
            ffmpeg->setLocalVideoValue(msg, Value(Value(msg2).intValue()), "upprocess");
        }
        postNotification(kUpdateUINotification);
    } else if (act == 5 && status == 4) {  // thumbnail and duration of an import
        if (ffmpeg) {
            ffmpeg->setImportEnd(true);
        }
    } else if (act == 2 && status == 5) {  // a job got its upload token
        if (ffmpeg) {
            ffmpeg->setLivingScid(Value(msg));
        }
    } else if (act == 5 && status == 6) {  // the job's scid
        if (ffmpeg) {
            ffmpeg->setLocalVideoValue(msg, Value(msg2), "scid");
        }
        postFinishMessageOnMain("视频即将上传", 2.0);
    } else if (act == 5 && status == 2) {  // the job's new status
        switch (Value(msg2).intValue()) {
        case 3:  // finished
            postFinishMessageOnMain("视频上传成功！", 2.0);
            logEvent();
            setIdleTimerDisabledOnMain(false);
            if (ffmpeg) {
                ffmpeg->setLocalVideoValue(msg, Value(3), "status");
            }
            postNotification(kUpdateUINotification);
            postNotification(kDeleteMediaNotification);
            if (ffmpeg) {
                if (auto sound = ffmpeg->videoSent()) {
                    sound->play();
                }
            }
            PZFFmpeg::deleteLocalFileGuidWhenFinished(msg);
            break;
        case 4:  // paused
            postFinishMessageOnMain("视频已暂停", 2.0);
            break;
        case 0:  // no user token
            postFinishMessageOnMain("", 0.0);
            break;
        default:
            break;
        }
    }
    // Everything else (errors, notices, list changes, operation ends, other job facts) stays unseen.
}

extern "C" void PZPrintLog(const char*, const char* message)
{
    NSLog("utility : %@", message != nullptr ? message : "");
}

extern "C" int PZGetMovieThumb(const char* moviePath, const char* thumbnailPath)
{
    return static_cast<int>(Tool::movieThumb_path(moviePath != nullptr ? moviePath : "",
                                                  thumbnailPath != nullptr ? thumbnailPath : ""));
}

extern "C" void PZPlayerAudioInit(int rate, int channels, int bits)
{
    auto player = AudioBufferPlayer::initWithSampleRate_channels_bitsPerChannel_packetsPerBuffer(rate, channels, bits,
                                                                                                1024);
    player->setDelegate(g_ffmpeg.get());
    player->start();
    g_audioPlayer.set(player);
}

extern "C" void PZPlayerVideoInit(int width, int height)
{
    PlayerState& state = playerState();
    std::lock_guard hold(state.mutex);
    const size_t size = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) * 4 : 0;
    state.videoBuffer.assign(size, 0);
    state.videoWidth = width;
    state.videoHeight = height;
}

extern "C" void PZPlayerAudioBufferReady(const unsigned char*, int) {}
extern "C" void PZPlayerVideoBufferReady(const unsigned char*, int, int) {}
extern "C" void PZPlayerEventProcess(int, int) {}
extern "C" void PZPlayerEventBufferState(int) {}
extern "C" void PZPlayerEventFinish(void) {}

extern "C" void PZPlayerUninit(void)
{
    if (auto player = g_audioPlayer.get()) {
        player->stop();
    }
    g_audioPlayer.set(nullptr);
    PlayerState& state = playerState();
    std::lock_guard hold(state.mutex);
    state.videoBuffer = {};
    state.videoWidth = 0;
    state.videoHeight = 0;
}
