#pragma once
// Shared set-up of the session layer's tests: a fresh home folder (user defaults, Documents) and main
// bundle per test, a fixed time zone and locale, the test thread as the main thread, and recorders for
// what the session layer tells the modules above it.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/TemporaryFolder.h"
#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"

namespace apitest {

// A scratch folder named for this module's tests; throws when none can be made.
class TempFolder : public TemporaryFolder {
public:
    TempFolder() : TemporaryFolder("api-test")
    {
        if (path().empty()) {
            throw std::runtime_error("mkdtemp failed");
        }
    }
};

// A transparent PNG of the size, for images that are looked up by name and sized.
inline std::string pngOfSize(uint32_t width, uint32_t height)
{
    auto be32 = [](std::string& out, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += static_cast<char>((v >> shift) & 0xff);
        }
    };
    auto chunk = [&be32](std::string& out, const char* type, const std::string& data) {
        be32(out, static_cast<uint32_t>(data.size()));
        const std::string typed = std::string(type, 4) + data;
        out += typed;
        be32(out, static_cast<uint32_t>(
                      ::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
    };
    std::string header;
    be32(header, width);
    be32(header, height);
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
    const std::string rows(static_cast<size_t>(height) * (1 + 4 * static_cast<size_t>(width)), '\0');
    uLongf packedSize = ::compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packedSize, '\0');
    ::compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(rows.data()),
               static_cast<uLong>(rows.size()));
    packed.resize(packedSize);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return png;
}

inline void writeFile(const std::string& path, const std::string& contents)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

// Every call the session layer makes upward, in order, with what the login state read at that moment.
struct CallLog {
    std::vector<std::string> calls;
};

class RecordingEngine : public EngineSession {
public:
    explicit RecordingEngine(CallLog& log) : log_(log) {}
    // What the engine bridge would read at this moment: the account must already be stored.
    void setToken() override
    {
        log_.calls.push_back("engine setToken " + getSelfToken().description() + (isLogin() ? " logged in" : ""));
    }
    void logOut() override { log_.calls.push_back("engine logOut"); }

private:
    CallLog& log_;
};

class RecordingAppDelegate : public UIApplicationDelegate, public ApplicationServices {
public:
    explicit RecordingAppDelegate(CallLog& log) : log_(log) {}
    void getRemind() override { log_.calls.push_back("getRemind"); }
    void presentLogin() override { log_.calls.push_back("presentLogin"); }
    void showNetError(const Value& text) override { log_.calls.push_back("showNetError " + text.description()); }

private:
    CallLog& log_;
};

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home / "home"));
        std::filesystem::create_directories(home / "bundle");
        NSBundle::setMainBundlePath(home / "bundle");
        NSUserDefaults::resetStandardUserDefaults();
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Asia/Shanghai"));
        NSLocale::setCurrentLocale(NSLocale::localeWithLocaleIdentifier("en_US_POSIX"));
    }
    void TearDown() override
    {
        SessionHooks::setEngineSession(nullptr);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        NSDate::setNowFunction(nullptr);
        NSTimeZone::setDefaultTimeZone(nullptr);
        NSLocale::setCurrentLocale(nullptr);
        NSBundle::setMainBundlePath("");
        NSUserDefaults::resetStandardUserDefaults();
    }
    // Puts images of these names ("name.png", 40 x 31) into the test's bundle.
    void addImages(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            writeFile(home / ("bundle/" + std::string(name) + ".png"), pngOfSize(40, 31));
        }
    }
    // The clock that dates read: a fixed wall time, seconds since 1970.
    void setNow(double seconds)
    {
        NSDate::setNowFunction([seconds] { return seconds; });
    }
    // Installs recorders for the engine bridge and the application delegate.
    void recordHooks()
    {
        engine = std::make_shared<RecordingEngine>(log);
        SessionHooks::setEngineSession(engine);
        appDelegate = std::make_shared<RecordingAppDelegate>(log);
        UIApplication::sharedApplication()->setDelegate(appDelegate);
    }

    TempFolder home;
    MainThreadScope mainThread;
    CallLog log;
    std::shared_ptr<RecordingEngine> engine;
    std::shared_ptr<RecordingAppDelegate> appDelegate;
};

}  // namespace apitest
