// The json_check program: its exit status says whether the parser accepts a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

int runJsonCheck(const std::filesystem::path& program, const std::string& file, bool stream = false)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        if (stream) {
            execl(program.c_str(), program.c_str(), "--stream", file.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(program.c_str(), program.c_str(), file.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(JsonCheck, ExitStatusIsTheVerdict)
{
    const char* bin = std::getenv("OMBRI_BIN_DIR");
    const std::filesystem::path program = std::filesystem::path(bin != nullptr ? bin : ".") / "json_check";
    if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "json_check is not built";
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("json_check." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<std::pair<std::string, int>> table = {
        {"{\"a\":[1,2.5,\"x\"]}", 0},
        {"[1,]", 1},
        {"123", 1},
        {"\xEF\xBB\xBF[]", 1},
        {"", 1},
    };
    int n = 0;
    for (const auto& [text, status] : table) {
        const std::filesystem::path file = dir / (std::to_string(n++) + ".json");
        std::ofstream(file, std::ios::binary) << text;
        EXPECT_EQ(runJsonCheck(program, file.string()), status) << text;
        EXPECT_EQ(runJsonCheck(program, file.string(), true), status) << "stream: " << text;
    }
    EXPECT_EQ(runJsonCheck(program, (dir / "missing.json").string()), 2);
    EXPECT_EQ(runJsonCheck(program, (dir / "missing.json").string(), true), 2);
    std::filesystem::remove_all(dir);
}

}  // namespace
