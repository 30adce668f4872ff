// An upload survives its process being killed: a child process runs the engine and is killed (SIGKILL)
// in the middle of the upload; a new process on the same database and folders finishes it. This test
// process never starts the engine itself (the engine ignores SIGCHLD, which would hide the children's
// exit statuses); it runs the stand-in service and reads the database file directly.
#include "engine/crtmd5.h"
#include "engine/upload_internal.h"

#include "block_gate.h"
#include "engine_recorder.h"
#include "service/StandInService.h"
#include "service/TokenRoutes.h"
#include "service/UploadRoutes.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {
namespace upload_resume_test_cpp {

using namespace std::chrono_literals;
using standin::Request;

std::string childProgram()
{
    const char* bin = std::getenv("OMBRI_BIN_DIR");
    if (bin != nullptr && *bin != '\0') {
        return std::string(bin) + "/engine_child";
    }
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "engine_child").string();
}

// A child process running engine_child, its output in a file; killed when still running at the end.
class Child {
public:
    Child(const std::vector<std::string>& arguments, const std::string& output) : output_(output)
    {
        std::vector<char*> argv;
        const std::string program = childProgram();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (pid_ > 0) {
            pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        }
    }
    ~Child()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (pidfd_ >= 0) {
            ::close(pidfd_);
        }
    }

    bool started() const { return pid_ > 0 && pidfd_ >= 0; }
    void kill() { ::kill(pid_, SIGKILL); }

    // Waits until the child has ended (its pidfd becomes readable) and reaps it; false after the timeout.
    bool wait(std::chrono::milliseconds timeout, int& status)
    {
        pollfd entry{pidfd_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(timeout.count())) != 1) {
            return false;
        }
        reaped_ = ::waitpid(pid_, &status, 0) == pid_;
        return reaped_;
    }

    std::string output() const
    {
        std::ifstream in(output_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string output_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

struct Range {
    uint64_t off;
    uint64_t len;
    bool covers(uint64_t o, uint64_t l) const { return off <= o && o + l <= off + len; }
};

std::vector<Range> rangesInDatabase(const std::string& path)
{
    std::vector<Range> out;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "select off,len from uploadprocess order by off", -1, &stmt, nullptr);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        out.push_back({static_cast<uint64_t>(sqlite3_column_int64(stmt, 0)), static_cast<uint64_t>(sqlite3_column_int64(stmt, 1))});
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

std::string columnInDatabase(const std::string& path, const std::string& sql)
{
    std::string value;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
            sqlite3_column_text(stmt, 0) != nullptr) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

TEST(UploadResume, KilledProcessLeavesNoHoleAndTheNextOneSendsAgainOnlyWhatWasInFlight)
{
    enginetest::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::filesystem::create_directories(dir / "user");
    std::filesystem::create_directories(dir / "media");
    const std::string movie = dir / "media/clip.MOV";
    const size_t size = 4000000;  // 62 blocks
    std::string bytes(size, '\0');
    std::mt19937 random(11);
    for (char& b : bytes) {
        b = static_cast<char>(random() & 0xff);
    }
    std::ofstream(movie, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string database = dir / "user/ombri.db";

    standin::StandInService service({.lifetime = 90s});
    // Stored, their answers held back: in flight when the first process is killed.
    enginetest::BlockGate gate(service, 20, enginetest::BlockGate::Hold::AnswerAfterStoring);
    ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
    ::setenv("OMBRI_ENGINE_TIME_SCALE", "1000", 1);

    Child first({"publish", dir.path(), movie}, dir / "first.log");
    ASSERT_TRUE(first.started()) << childProgram();
    ASSERT_TRUE(gate.waitForHeld(2)) << first.output();  // both connections have a block in flight
    const std::vector<standin::ReceivedBlock> beforeKill = service.uploads().blocks("sc1", "MOV");
    first.kill();
    int status = 0;
    ASSERT_TRUE(first.wait(20s, status));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    gate.release();

    // What the killed process left: every byte the server has not got is still a range.
    const std::vector<Range> left = rangesInDatabase(database);
    ASSERT_FALSE(left.empty());
    for (const standin::ByteRange& hole : service.uploads().missing("sc1", "MOV", size)) {
        uint64_t reached = hole.offset;  // the ranges are in order of offset
        for (const Range& r : left) {
            if (r.off <= reached && r.off + r.len > reached) {
                reached = r.off + r.len;
            }
        }
        EXPECT_GE(reached, hole.offset + hole.length) << "hole at " << hole.offset << "+" << hole.length;
    }
    // In flight at the kill: blocks the server had received whose ranges were still in the database.
    size_t inFlight = 0;
    for (const standin::ReceivedBlock& block : beforeKill) {
        for (const Range& r : left) {
            inFlight += r.covers(block.offset, block.length);
        }
    }
    EXPECT_GE(inFlight, 2u);
    EXPECT_LE(inFlight, 2 + kUploadDeleteBatchMost);

    Child second({"resume", dir.path(), movie}, dir / "second.log");
    ASSERT_TRUE(second.started());
    ASSERT_TRUE(second.wait(80s, status)) << second.output();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << second.output();

    EXPECT_EQ(service.uploads().contents("sc1", "MOV"), bytes);
    EXPECT_EQ(service.uploads().endCalls("sc1", "MOV"), 1u);
    // The end call found no hole: a kill never leaves a range the database forgot.
    const std::vector<Request> ends = service.server().requests(standin::kUploadEndPath);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].answerBody, R"({"status":200})");
    EXPECT_EQ(service.server().requestCount(standin::kTokenPath), 1u);  // the same upload went on
    const std::string guid = crtfun::crtmd5::hex(movie);
    EXPECT_EQ(columnInDatabase(database, "select status from localmedia where guid='" + guid + "'"), "3");
    EXPECT_TRUE(rangesInDatabase(database).empty());

    // Sent twice: exactly the blocks in flight at the kill, each once more.
    size_t twice = 0;
    for (const standin::ReceivedBlock& block : service.uploads().blocks("sc1", "MOV")) {
        bool wasInFlight = false;
        for (const standin::ReceivedBlock& early : beforeKill) {
            for (const Range& r : left) {
                wasInFlight |= early.offset == block.offset && early.length == block.length && r.covers(block.offset, block.length);
            }
        }
        EXPECT_EQ(block.times, wasInFlight ? 2u : 1u) << block.offset << "+" << block.length;
        twice += block.times == 2;
    }
    EXPECT_EQ(twice, inFlight);
}

}  // namespace upload_resume_test_cpp
}  // namespace
