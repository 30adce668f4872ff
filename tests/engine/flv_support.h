#pragma once
// Helpers of the live remux tests: an FLV reader, the byte ranges recorded for the live job, ffprobe's
// view of a file, and the live output set up on a scratch folder with a job database.
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/transformat.h"
#include "engine_recorder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace flvtest {

inline uint32_t be24(const uint8_t* p)
{
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
inline uint32_t be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | be24(p + 1);
}

inline std::vector<uint8_t> bytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// One tag of an FLV file.
struct FlvTag {
    uint8_t type = 0;
    uint32_t timestamp = 0;
    uint64_t offset = 0;        // of the tag header in the file
    std::vector<uint8_t> data;  // the tag's data
};

// The tags of an FLV file after its 9-byte header and first previous tag size. Stops at a tag cut by
// the end of the file. `error` receives the first inconsistency (a wrong previous tag size, a bad
// header).
inline std::vector<FlvTag> readFlvTags(const std::vector<uint8_t>& file, std::string& error)
{
    std::vector<FlvTag> tags;
    if (file.size() < 13 || file[0] != 'F' || file[1] != 'L' || file[2] != 'V' || be32(&file[9]) != 0) {
        error = "no FLV header";
        return tags;
    }
    size_t pos = 13;
    while (pos + 11 <= file.size()) {
        const uint32_t size = be24(&file[pos + 1]);
        if (pos + 11 + size + 4 > file.size()) {
            break;
        }
        FlvTag tag;
        tag.type = file[pos];
        tag.timestamp = be24(&file[pos + 4]) | (uint32_t(file[pos + 7]) << 24);
        tag.offset = pos;
        tag.data.assign(file.begin() + pos + 11, file.begin() + pos + 11 + size);
        if (be32(&file[pos + 11 + size]) != size + 11 && error.empty()) {
            error = "previous tag size wrong at " + std::to_string(pos);
        }
        tags.push_back(std::move(tag));
        pos += 11 + size + 4;
    }
    return tags;
}

// A byte range recorded in uploadprocess.
struct Range {
    uint32_t id = 0;
    uint32_t off = 0;
    uint32_t len = 0;
    bool operator==(const Range&) const = default;
};
inline void PrintTo(const Range& r, std::ostream* os)
{
    *os << "(" << r.id << "," << r.off << "," << r.len << ")";
}

// The ranges of uploadprocess in the order they were inserted.
inline std::vector<Range> recordedRanges()
{
    std::vector<Range> ranges;
    global_dbref db = global_getdb();
    if (!db) {
        return ranges;
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), "select id,off,len from uploadprocess order by rowid", -1, &stmt, nullptr);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        ranges.push_back({uint32_t(sqlite3_column_int64(stmt, 0)), uint32_t(sqlite3_column_int64(stmt, 1)),
                          uint32_t(sqlite3_column_int64(stmt, 2))});
    }
    sqlite3_finalize(stmt);
    return ranges;
}

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// What ffprobe says of a file: one line per packet ("video,<pts>" or "audio,<pts>") and every other
// line it printed (errors). Read to the end of its output, so no child status is needed.
struct ProbeResult {
    std::vector<std::pair<std::string, long long>> packets;
    std::vector<std::string> otherLines;
};
inline ProbeResult probePackets(const std::string& path)
{
    ProbeResult result;
    const std::string command =
        "ffprobe -v error -show_entries packet=codec_type,pts -of csv=p=0 '" + path + "' 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        result.otherLines.push_back("popen failed");
        return result;
    }
    std::string output;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    ::pclose(pipe);
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        const size_t comma = line.find(',');
        if (comma != std::string::npos && (line.compare(0, comma, "video") == 0 || line.compare(0, comma, "audio") == 0)) {
            result.packets.emplace_back(line.substr(0, comma), std::atoll(line.c_str() + comma + 1));
        } else if (!line.empty()) {
            result.otherLines.push_back(line);
        }
    }
    return result;
}

// A job database and a live job file in a scratch folder, set up as the live job does before the
// remux starts (without an upload job: every closed block is recorded as a range).
class LiveOutputFixture : public ::testing::Test {
protected:
    static constexpr uint32_t kRowId = 7;
    static constexpr const char* kGuid = "0123456789abcdef0123456789abcdef";

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        g_dbname.set(dir / "ombri.db");
        _global_initdatabase();
        ASSERT_TRUE(global_isdbopen());
        flvPath = dir / "live.flv";
        g_liveoutput.file = std::fopen(flvPath.c_str(), "wb+");
        ASSERT_NE(g_liveoutput.file, nullptr);
        g_liveoutput.offset = 0;
        g_liveoutput.rowid = kRowId;
        g_liveoutput.flvid = kGuid;
    }
    void TearDown() override
    {
        transformat_stopthread();
        if (g_liveoutput.file != nullptr) {
            std::fclose(g_liveoutput.file);
            g_liveoutput.file = nullptr;
        }
    }
    // The job file as written so far.
    std::vector<uint8_t> flvBytes()
    {
        std::fflush(g_liveoutput.file);
        std::vector<uint8_t> bytes;
        FILE* f = std::fopen(flvPath.c_str(), "rb");
        if (f != nullptr) {
            uint8_t buffer[65536];
            size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
                bytes.insert(bytes.end(), buffer, buffer + n);
            }
            std::fclose(f);
        }
        return bytes;
    }

    enginetest::TempDir dir;
    std::string flvPath;
};

}  // namespace flvtest
