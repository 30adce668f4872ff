#pragma once
// Shared set-up of the bridge's tests: a fresh home folder (user defaults, Documents) and a main bundle
// holding the upload-finished sound, the stand-in service as the service host, the engine's waits sped
// up, and the test thread as the main thread. Every test runs in a process of its own, so the engine's
// process-wide state is fresh.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/TemporaryFolder.h"
#include "api/LoginState.h"
#include "bridge/PZFFmpeg.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/StandInService.h"
#include "widgets/StatusBarOverlay.h"

namespace bridgetest {

// The status-bar messages as they are put up, and whether that happened on the main thread.
class ShownMessages : public StatusBarOverlayDelegate {
public:
    void statusBarOverlayDidSwitchFromOldMessage_toNewMessage(const Value&, const std::string& newMessage) override
    {
        shown.push_back(newMessage);
        onMain = onMain && std::this_thread::get_id() == mainThread;
    }
    std::vector<std::string> shown;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMain = true;
};

// A scratch folder named for this module's tests; throws when none can be made.
class TempFolder : public TemporaryFolder {
public:
    TempFolder() : TemporaryFolder("bridge-test")
    {
        if (path().empty()) {
            throw std::runtime_error("mkdtemp failed");
        }
    }
};

// A short PCM WAV file: what the system-sound stand-in accepts.
inline std::string wavFile()
{
    auto le = [](std::string& out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        }
    };
    const uint32_t samples = 441;
    std::string out = "RIFF";
    le(out, 36 + samples * 2, 4);
    out += "WAVEfmt ";
    le(out, 16, 4);
    le(out, 1, 2);          // PCM
    le(out, 1, 2);          // mono
    le(out, 44100, 4);      // rate
    le(out, 44100 * 2, 4);  // bytes per second
    le(out, 2, 2);          // block align
    le(out, 16, 2);         // bits
    out += "data";
    le(out, samples * 2, 4);
    out.append(samples * 2, '\0');
    return out;
}

// What was posted, in order, from whichever thread posted it.
class NotificationLog {
public:
    explicit NotificationLog(std::vector<std::string> names)
    {
        for (const std::string& name : names) {
            tokens_.push_back(NSNotificationCenter::defaultCenter()->addObserverForName_object_usingBlock(
                name, Value(), [this, name](const Ref<NSNotification>&) {
                    std::lock_guard hold(mutex_);
                    posted_.push_back(name);
                }));
        }
    }
    ~NotificationLog()
    {
        for (const Ref<NSObject>& token : tokens_) {
            NSNotificationCenter::defaultCenter()->removeObserver(token);
        }
    }
    std::vector<std::string> posted() const
    {
        std::lock_guard hold(mutex_);
        return posted_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> posted_;
    std::vector<Ref<NSObject>> tokens_;
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ::setenv("OMBRI_DEVICE_MODEL", "iPhone4,1", 1);
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
        NSUserDefaults::resetStandardUserDefaults();
        std::filesystem::create_directories(home / "bundle");
        std::ofstream(home / "bundle/mail_sent.wav", std::ios::binary) << wavFile();
        NSBundle::setMainBundlePath(home / "bundle");
    }

    // Stores a login of the user, as the login screen does.
    static void logIn(const std::string& username = "alice", const std::string& token = "tok1")
    {
        storeUserInfo(Value::dictionary(
            {{"status", Value(200)}, {"token", Value(token)}, {"suid", Value("7")}, {"username", Value(username)}}));
    }

    std::string userFolder(const std::string& username = "alice") const
    {
        return FoundationRoots::documentsDirectory() + "/" + username;
    }

    TempFolder home;
    MainThreadScope main;
    standin::StandInService service{{.lifetime = std::chrono::seconds(60)}};
};

}  // namespace bridgetest
