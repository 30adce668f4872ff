// The program stand-in-service, as scripts/run starts it.
#include "service/TestHttpClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace standin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string programPath()
{
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1) + "stand-in-service";
}

// A port nothing listens on right now.
std::uint16_t freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The program as a child process whose standard output is read line by line.
class Program {
public:
    explicit Program(std::vector<std::string> arguments)
    {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        std::string path = programPath();
        std::vector<char*> argv{path.data()};
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
    }

    ~Program()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    bool started() const { return pid_ > 0; }

    // The next line of output, or nullopt at its end or after the time-out.
    std::optional<std::string> line(std::chrono::milliseconds timeout = 10s)
    {
        auto deadline = Clock::now() + timeout;
        for (;;) {
            if (std::size_t end = buffer_.find('\n'); end != std::string::npos) {
                std::string text = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return text;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd polled{out_, POLLIN, 0};
            if (left <= 0 || ::poll(&polled, 1, static_cast<int>(left)) <= 0) {
                return std::nullopt;
            }
            char chunk[4096];
            ssize_t got = ::read(out_, chunk, sizeof chunk);
            if (got <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // The settings block, read up to its end ("stand-in-service ready"): name -> value.
    std::map<std::string, std::string> settings()
    {
        std::map<std::string, std::string> block;
        while (auto text = line()) {
            if (*text == "stand-in-service ready") {
                break;
            }
            if (std::size_t equals = text->find('='); equals != std::string::npos) {
                block[text->substr(0, equals)] = text->substr(equals + 1);
            }
        }
        return block;
    }

    void signal(int number) { ::kill(pid_, number); }

    // The exit status once the program has ended (it is bounded by its own --seconds).
    int exitStatus()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

TEST(StandInServiceProgram, ServesTheUploadRoutesOnTheGivenPortAndStopsOnSigterm)
{
    std::uint16_t port = freePort();
    Program program({"--port", std::to_string(port), "--seconds", "60"});
    ASSERT_TRUE(program.started()) << programPath();
    EXPECT_EQ(program.line(), "stand-in-service listening on 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(program.settings()["OMBRI_SERVICE_HOST"], "127.0.0.1:" + std::to_string(port));

    TestHttpClient client(port);
    auto response = client.request("POST", "/upload?t=S&o=0&l=5&m=up&p=MOV", "hello");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(program.line(), "1 POST /upload?t=S&o=0&l=5&m=up&p=MOV -> 200 (5 bytes in)");

    program.signal(SIGTERM);
    EXPECT_TRUE(client.waitForClose());
    EXPECT_EQ(program.line(), "stand-in-service stopped");
    EXPECT_EQ(program.exitStatus(), 0);
}

class StandInServiceProgramUsage : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(StandInServiceProgramUsage, RefusesBadArguments)
{
    Program program(GetParam());
    ASSERT_TRUE(program.started());
    EXPECT_EQ(program.exitStatus(), 2);
}

INSTANTIATE_TEST_SUITE_P(Arguments, StandInServiceProgramUsage,
                         ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--port"},
                                           std::vector<std::string>{"--port", "x"},
                                           std::vector<std::string>{"--port", "70000"},
                                           std::vector<std::string>{"--port", "0", "--seconds", "0"},
                                           std::vector<std::string>{"--port", "0", "--verbose"}));

// What a short run of the program wrote and how it ended (the output of --help and of refusals is small).
struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

Finished runToEnd(const std::vector<std::string>& arguments)
{
    std::string command = "'" + programPath() + "'";
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    Finished finished;
    for (bool errors : {false, true}) {
        FILE* child = ::popen((command + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null")).c_str(), "r");
        if (child == nullptr) {
            return finished;
        }
        char buffer[512];
        std::string& text = errors ? finished.err : finished.out;
        while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
            text += buffer;
        }
        const int status = ::pclose(child);
        finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return finished;
}

TEST(StandInServiceProgram, HelpPrintsTheUsageAndAnUnknownArgumentPrintsItToStderr)
{
    const Finished help = runToEnd({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word : {"--port", "--seconds", "--ca-file", "OMBRI_SERVICE_HOST", "OMBRI_LUMO_WEIBO_HOST",
                             "OMBRI_QQ_WEIBO_HOST", "OMBRI_PLACE_SEARCH_HOST", "OMBRI_EXTRA_CA_FILE"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const Finished wrong = runToEnd({"--port", "0", "--verbose"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("--verbose"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("usage: stand-in-service"), std::string::npos) << wrong.err;
}

// The world scripts/run starts: the block names a host for every stand-in, the plain ones answer there,
// the authority of the TLS ones is written where asked, and all of them stop with the program.
TEST(StandInServiceProgram, StartsEveryStandInAndWritesTheirAuthority)
{
    const std::string caFile = ::testing::TempDir() + "stand-in-authority-" + std::to_string(::getpid()) + ".pem";
    Program program({"--port", "0", "--seconds", "60", "--ca-file", caFile});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.line());
    auto block = program.settings();
    for (const char* name : {"OMBRI_SERVICE_HOST", "OMBRI_LUMO_WEIBO_HOST", "OMBRI_QQ_WEIBO_HOST",
                             "OMBRI_PLACE_SEARCH_HOST"}) {
        ASSERT_EQ(block[name].rfind("127.0.0.1:", 0), 0u) << name << " = " << block[name];
    }
    EXPECT_EQ(block["OMBRI_EXTRA_CA_FILE"], caFile);
    std::stringstream authority;
    authority << std::ifstream(caFile).rdbuf();
    EXPECT_EQ(authority.str().rfind("-----BEGIN CERTIFICATE-----", 0), 0u);

    auto portOf = [&](const char* name) {
        return static_cast<std::uint16_t>(std::stoi(block[name].substr(block[name].rfind(':') + 1)));
    };
    TestHttpClient service(portOf("OMBRI_SERVICE_HOST"));
    auto version = service.request("GET", "/m/ver.json");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, 200);
    TestHttpClient lumo(portOf("OMBRI_LUMO_WEIBO_HOST"));
    auto form = lumo.request("GET", "/oauth/authorize?oauth_token=unknown");
    ASSERT_TRUE(form);  // answered over plain HTTP (a refusal for an unknown token is an answer)

    program.signal(SIGTERM);
    EXPECT_TRUE(service.waitForClose());
    EXPECT_EQ(program.exitStatus(), 0);
    std::remove(caFile.c_str());
}

} // namespace
} // namespace standin
