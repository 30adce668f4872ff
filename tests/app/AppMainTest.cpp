// The main program started as a person starts the application: against the stand-in service, with a
// home of its own, ended after a second; it launches, shows the square to a newcomer under the guide,
// asks the service for the version check and terminates cleanly.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "fixtures/TemporaryFolder.h"
#include "service/StandInService.h"

namespace {
namespace AppMainTest_cpp {

TEST(AppMain, LaunchesTheApplicationAndTerminates)
{
    TemporaryFolder home("app-test");
    ASSERT_FALSE(home.path().empty());
    standin::StandInService service;
    const std::string command = "OMBRI_HOME='" + home.path() + "' OMBRI_SERVICE_HOST=" + service.hostPort() +
                                " ASAN_OPTIONS=detect_leaks=0 '" + std::getenv("OMBRI_BIN_DIR") +
                                "/ombri' --headless --seconds 1 2>/dev/null";
    FILE* child = ::popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
        output += buffer;
    }
    const int status = ::pclose(child);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("ombri: launched, showing SquareVC \"广场\", under GuideViewController"), std::string::npos)
        << output;
    EXPECT_NE(output.find("ombri: terminating"), std::string::npos) << output;
    EXPECT_TRUE(service.server().waitForRequests(1, std::chrono::seconds(10)));
    EXPECT_FALSE(service.server().requests("/m/ver.json").empty());
}

}  // namespace AppMainTest_cpp
}  // namespace
