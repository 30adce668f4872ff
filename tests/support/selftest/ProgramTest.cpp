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

} // namespace
} // namespace standin
