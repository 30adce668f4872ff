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

// What the program wrote to one of its streams and how it ended.
struct Output {
    int status = -1;
    std::string text;
};

Output runProgram(const std::string& arguments, bool errors)
{
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 '" + std::string(std::getenv("OMBRI_BIN_DIR")) +
                                "/ombri' " + arguments + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
    Output output;
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr) {
        return output;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
        output.text += buffer;
    }
    const int status = ::pclose(child);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

// --help explains every flag and every setting with its default and starts nothing; a flag the program
// does not know, or one without its value, is refused with the usage on stderr before anything starts
// (a misspelt flag must not run the application with the settings it meant to change).
TEST(AppMain, HelpExplainsTheProgramAndBadFlagsAreRefused)
{
    const Output help = runProgram("--help", false);
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--seconds", "--headless", "--frame-sums", "--verbose", "--tour", "--window",
                             "--publish", "--keep", "OMBRI_SERVICE_HOST", "default 127.0.0.1:8080",
                             "OMBRI_LUMO_WEIBO_HOST", "OMBRI_QQ_WEIBO_HOST", "OMBRI_PLACE_SEARCH_HOST",
                             "OMBRI_EXTRA_CA_FILE", "OMBRI_HOME"}) {
        EXPECT_NE(help.text.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(help.text.find("ombri: launched"), std::string::npos);

    for (const char* wrong : {"--sconds 1", "--tour", "--seconds x", "--seconds", "extra"}) {
        SCOPED_TRACE(wrong);
        const Output refused = runProgram(wrong, true);
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.text.find("usage: ombri"), std::string::npos) << refused.text;
        EXPECT_EQ(runProgram(wrong, false).text, "");  // nothing started, nothing said on stdout
    }
}

}  // namespace AppMainTest_cpp
}  // namespace
