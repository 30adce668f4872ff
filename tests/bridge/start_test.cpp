// Bringing the engine up through the bridge, the session's token and folders, and the network status.
#include "bridge_support.h"

#include "api/Tool.h"
#include "engine/global.h"
#include "engine/jobthread.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "net/http/Reachability.h"
#include "platform/foundation/NSLog.h"
#include "platform/sysconfig/SCNetworkReachabilityBackend.h"
#include "platform/uikit/UIDevice.h"

#include <mutex>

namespace {

using bridgetest::BridgeTest;

// The engine's log lines before the bridge installs its own callbacks.
struct EarlyLog {
    static EarlyLog& shared()
    {
        static EarlyLog& log = *new EarlyLog;
        return log;
    }
    static void onLog(const char*, const char* message)
    {
        EarlyLog& log = shared();
        std::lock_guard hold(log.mutex);
        log.messages.push_back(message);
    }
    std::vector<std::string> take()
    {
        std::lock_guard hold(mutex);
        return messages;
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

bool isSetting(const std::string& message)
{
    return message.starts_with("setextdata:") || message.starts_with("init video");
}

TEST_F(BridgeTest, GlobleInitGivesTheEngineItsSettingsInStartUpOrder)
{
    logIn();
    NSUserDefaults::standardUserDefaults()->setBool_forKey(true, kUploadSettingKey);
    // The engine's own log from the first call on: early lines reach this recorder, later ones the
    // bridge's log callback, which writes them with NSLog.
    enableprintlog(true);
    UtilityAdapter_Callbacks early{};
    early.printlog = &EarlyLog::onLog;
    UtilityAdapter_SetupCallbacks(&early);
    NSLogCapture nslog(true);

    PZFFmpeg::globleInit();

    std::vector<std::string> calls;
    for (const std::string& message : EarlyLog::shared().take()) {
        if (isSetting(message)) {
            calls.push_back(message);
        }
    }
    calls.push_back("-- callbacks --");
    for (const std::string& line : nslog.lines()) {
        if (line.starts_with("utility : ") && isSetting(line.substr(10))) {
            calls.push_back(line.substr(10));
        }
    }
    const std::string folder = userFolder();
    const std::vector<std::string> token = {
        "setextdata:1,0,tok1",          "setextdata:3,1," + folder, "setextdata:3,3," + folder,
        "setextdata:3,2," + folder,     "setextdata:3,7," + folder, "setextdata:3,4," + folder + "/ombri.db",
        "setextdata:3,5," + folder,
    };
    std::vector<std::string> expected = {
        "setextdata:8,0,lumo",
        "init video width:480,360",
        "setextdata:3,6,.MOV;.mov;.mp4;.MP4",
        "setextdata:5,3,",
        "setextdata:7,2,",
        "setextdata:4,0," + getDeviceAndOSInfo(),
    };
    expected.insert(expected.end(), token.begin(), token.end());
    expected.push_back("-- callbacks --");
    expected.insert(expected.end(), token.begin(), token.end());
    EXPECT_EQ(calls, expected);

    // The engine is up for the user: settings, the database, the upload thread, the shared instance.
    const global_settings settings = global_getsettings();
    EXPECT_EQ(settings.vendor, "lumo");
    EXPECT_EQ(settings.netstatus, 3);
    EXPECT_EQ(settings.uploadstatus, 2);
    EXPECT_EQ(settings.usertoken, "tok1");
    EXPECT_EQ(settings.dbname, folder + "/ombri.db");
    EXPECT_TRUE(global_isdbopen());
    ASSERT_TRUE(g_ffmpeg);
    EXPECT_TRUE(g_ffmpeg->videoSent() != nullptr);
    EXPECT_TRUE(g_ffmpeg->localVideos().isArray());
    EXPECT_EQ(g_ffmpeg->localVideos().count(), 0u);

    PZFFmpeg::globleUninit();
    EXPECT_FALSE(g_ffmpeg);
}

// The upload policy is read from the user default once, at start-up.
struct PolicyCase {
    const char* name;
    Value setting;  // nil: never set
    int policy;
};

void PrintTo(const PolicyCase& c, std::ostream* os)
{
    *os << c.name;
}

class UploadPolicy : public BridgeTest, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(UploadPolicy, FollowsTheUploadSetting)
{
    if (!GetParam().setting.isNil()) {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(GetParam().setting, kUploadSettingKey);
    }
    PZFFmpeg::globleInit();
    EXPECT_EQ(global_getsettings().uploadstatus, GetParam().policy);
    PZFFmpeg::globleUninit();
}

INSTANTIATE_TEST_SUITE_P(Settings, UploadPolicy,
                         ::testing::Values(PolicyCase{"Missing", Value(), 1}, PolicyCase{"Off", Value(false), 1},
                                           PolicyCase{"On", Value(true), 2}),
                         [](const ::testing::TestParamInfo<PolicyCase>& info) { return info.param.name; });

TEST_F(BridgeTest, LoginHandsTheEngineTokenFoldersAndDatabaseAndLogoutOnlyTheToken)
{
    PZFFmpeg::globleInit();  // nobody logged in: no token, no database
    EXPECT_EQ(global_getsettings().usertoken, "");
    EXPECT_FALSE(global_isdbopen());

    logIn("bob", "tok2");
    const std::string folder = userFolder("bob");
    global_settings settings = global_getsettings();
    EXPECT_EQ(settings.usertoken, "tok2");
    for (const std::string& path :
         {settings.videopath, settings.imagepath, settings.datapath, settings.logpath, settings.localvideopath}) {
        EXPECT_EQ(path, folder);
    }
    EXPECT_EQ(settings.dbname, folder + "/ombri.db");
    EXPECT_TRUE(global_isdbopen());
    EXPECT_TRUE(std::filesystem::exists(folder + "/ombri.db"));

    Logout();
    settings = global_getsettings();
    EXPECT_EQ(settings.usertoken, "");
    EXPECT_EQ(settings.videopath, folder);
    EXPECT_EQ(settings.dbname, folder + "/ombri.db");
    EXPECT_TRUE(global_isdbopen());

    // Once the bridge is down, logins no longer reach the engine.
    PZFFmpeg::globleUninit();
    logIn("carol", "tok3");
    EXPECT_EQ(global_getsettings().usertoken, "");
}

TEST_F(BridgeTest, ReachabilityStatusesBecomeTheEnginesNetworkStatuses)
{
    auto fake = FakeReachabilityBackend::create();
    SCNetworkReachabilityBackendScope scope(fake);
    auto watcher = Reachability::reachabilityWithHostName("service.example");
    ASSERT_TRUE(watcher);
    NSLogCapture nslog(true);
    struct Case {
        SCNetworkReachabilityFlags flags;
        NetworkStatus reachability;
        int engine;
        const char* log;
    };
    const Case cases[] = {
        {kSCNetworkReachabilityFlagsReachable, NetworkStatusViaWiFi, 3, "网络状态wifi"},
        {kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN, NetworkStatusViaWWAN, 2,
         "网络状态3g"},
        {0, NetworkStatusNotReachable, 0, "网络状态不可用"},
        {kSCNetworkReachabilityFlagsReachable, NetworkStatusViaWiFi, 3, "网络状态wifi"},
    };
    for (const Case& c : cases) {
        fake->setFlags("service.example", c.flags);
        ASSERT_EQ(watcher->currentReachabilityStatus(), c.reachability);
        nslog.clear();
        PZFFmpeg::changeNetworkStatus(watcher);
        EXPECT_EQ(global_getsettings().netstatus, c.engine) << c.reachability;
        EXPECT_EQ(nslog.count(c.log), 1u) << c.reachability;
    }
    PZFFmpeg::changeNetworkStatus(nullptr);
    EXPECT_EQ(global_getsettings().netstatus, 0);
}

TEST_F(BridgeTest, DeviceOrientationReachesTheLiveVideo)
{
    struct Case {
        UIDeviceOrientation device;
        int engine;  // the engine's orientation of the live video
    };
    const Case cases[] = {
        {UIDeviceOrientationLandscapeLeft, 2},
        {UIDeviceOrientationPortrait, 3},
        {UIDeviceOrientationPortraitUpsideDown, 1},
        {UIDeviceOrientationLandscapeRight, 0},
        {UIDeviceOrientationFaceUp, 2},  // any other: as landscape left
    };
    for (const Case& c : cases) {
        UIDevice::currentDevice()->simulateOrientation(c.device);
        PZFFmpeg::setOritention();
        EXPECT_EQ(global_getorientation(), c.engine) << c.device;
    }
    UIDevice::currentDevice()->simulateOrientation(UIDeviceOrientationPortrait);
}

}  // namespace
