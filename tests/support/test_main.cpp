#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#ifdef OMBRI_UI_TEST_MAIN
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"

namespace {
namespace test_main_cpp {

// The interface model's tests share a process (several gtest shards per binary instead of a process
// per test), so whatever one test leaves in the process-wide interface state is cleared before the
// next: windows, the application, alerts and sheets, the keyboard, user defaults read again from disk.
// Clocks and main-thread scopes are the fixtures' own and end with them.
class InterfaceReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { reset(); }
    void OnTestEnd(const ::testing::TestInfo&) override { reset(); }
    static void reset()
    {
        UIApplication::resetForTesting();
        NSUserDefaults::resetStandardUserDefaults();
    }
};

}  // namespace test_main_cpp
}  // namespace
#endif

int main(int argc, char** argv)
{
    // Where the sources and the programs are, for tests that read fixtures or start programs. ctest
    // passes them too, but only the first entry of a discovered test's environment list arrives, so
    // the test main fills in what is missing: the source folder it was built from, its own folder.
    ::setenv("OMBRI_SOURCE_DIR", OMBRI_SOURCE_DIR_AT_BUILD, 0);
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
        std::string folder(self);
        folder.erase(folder.rfind('/'));
        ::setenv("OMBRI_BIN_DIR", folder.c_str(), 0);
    }
    // No test sounds through the machine's speakers, and none waits for the sound system to be looked
    // for: the dummy output unless a test picks another (the ctest entry names it too, but it is not the
    // list's first entry, so it never arrives).
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    // Clears proxy variables so no test ever talks through a proxy of the machine.
    for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                             "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY", "NO_PROXY"}) {
        ::unsetenv(name);
    }
    ::testing::InitGoogleTest(&argc, argv);
#ifdef OMBRI_UI_TEST_MAIN
    ::testing::UnitTest::GetInstance()->listeners().Append(new test_main_cpp::InterfaceReset);
#endif
    return RUN_ALL_TESTS();
}
