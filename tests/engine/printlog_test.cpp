// The engine log: line format, callback, the file written per line, and the 1 MiB rule.
#include "engine/crtfun.h"
#include "engine/printlog.h"
#include "engine_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

using enginetest::Recorder;
using enginetest::TempDir;

namespace {

std::string readfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writefile(const std::string& path, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

}  // namespace

TEST(Printlog, LineStartsWithLocalMonthDayAndTime)
{
    // 5 March, 01:07:02 UTC is 09:07:02 in a zone eight hours east.
    ::setenv("TZ", "CST-8", 1);
    ::tzset();
    struct tm utc = {};
    utc.tm_year = 2021 - 1900;
    utc.tm_mon = 2;
    utc.tm_mday = 5;
    utc.tm_hour = 1;
    utc.tm_min = 7;
    utc.tm_sec = 2;
    crtfun::setwallclock(::timegm(&utc));

    TempDir dir;
    Recorder::shared().install();
    setlogfile((dir / "ombri.log").c_str());
    enableprintlog(true);
    printlog("upload %s,%d", "g", 5);

    auto lines = Recorder::shared().lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].line, "[03-05 09:07:02]upload g,5");
    EXPECT_EQ(lines[0].message, "upload g,5");
    EXPECT_EQ(readfile(dir / "ombri.log"), "[03-05 09:07:02]upload g,5\n");

    printlog("second");
    EXPECT_EQ(readfile(dir / "ombri.log"), "[03-05 09:07:02]upload g,5\n[03-05 09:07:02]second\n");
}

TEST(Printlog, NothingWhileOffAndNoFileWithoutPath)
{
    TempDir dir;
    Recorder::shared().install();
    setlogfile((dir / "ombri.log").c_str());
    printlog("while off");
    EXPECT_TRUE(Recorder::shared().lines().empty());
    EXPECT_FALSE(exists(dir / "ombri.log"));

    enableprintlog(true);
    setlogfile("");
    printlog("no folder yet");
    EXPECT_TRUE(Recorder::shared().logged("no folder yet"));  // the callback still gets it
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Printlog, LongMessageIsCutToTheLineBuffer)
{
    TempDir dir;
    Recorder::shared().install();
    setlogfile((dir / "ombri.log").c_str());
    enableprintlog(true);
    printlog("%s", std::string(20000, 'm').c_str());
    auto lines = Recorder::shared().lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].line.size(), kPrintlogLineSize - 1);
    std::string file = readfile(dir / "ombri.log");
    EXPECT_EQ(file.size(), kPrintlogLineSize);
    EXPECT_EQ(file.back(), '\n');
}

TEST(Printlog, FileAboveOneMebibyteIsDeletedWhenLoggingIsSetUp)
{
    TempDir dir;
    const std::string path = dir / "ombri.log";
    struct Trigger {
        const char* name;
        void (*apply)(const std::string& path);
    };
    const Trigger triggers[] = {
        {"path set", [](const std::string& p) { setlogfile(p.c_str()); }},
        {"log switched", [](const std::string&) { enableprintlog(true); }},
        {"callback installed", [](const std::string&) { Recorder::shared().install(); }},
    };
    const std::pair<size_t, bool> sizes[] = {
        {1048576, true},       // exactly 1 MiB stays
        {1048577, false},      // one byte more is deleted
        {2 * 1048576, false},  // 2 MiB
    };
    for (const Trigger& trigger : triggers) {
        for (const auto& [size, stays] : sizes) {
            std::filesystem::remove(path);
            // The path itself is set before the file grows, except when setting it is the trigger.
            setlogfile(trigger.apply == triggers[0].apply ? "" : path.c_str());
            writefile(path, size);
            trigger.apply(path);
            EXPECT_EQ(exists(path), stays) << trigger.name << ", " << size << " bytes";
        }
    }
}

TEST(Printlog, LinesOfManyThreadsNeverMix)
{
    TempDir dir;
    const std::string path = dir / "ombri.log";
    setlogfile(path.c_str());
    enableprintlog(true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                printlog("thread %d line %d %s", t, i, std::string(100, static_cast<char>('a' + t)).c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::ifstream in(path);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        // "[MM-DD hh:mm:ss]" then one whole message of one thread.
        ASSERT_GT(line.size(), 16u);
        EXPECT_EQ(line[0], '[');
        EXPECT_EQ(line[15], ']');
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + 16, "thread %d line %d ", &t, &i), 2) << line;
        char message[256];
        std::snprintf(message, sizeof message, "thread %d line %d %s", t, i,
                      std::string(100, static_cast<char>('a' + t)).c_str());
        EXPECT_EQ(line.substr(16), message);
    }
    EXPECT_EQ(count, 800);
}
