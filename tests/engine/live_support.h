#pragma once
// A fixture for the live recording jobs: a scratch folder with a job database, video and image
// folders, the stand-in service as the service host and upload server, a logged-in user on Wi-Fi, the
// effect buffer of the bridge (320 x 480), the job thread, and a journal of what the engine reports
// (status events, log lines, thumbnail calls answered with a duration the test chooses). Every engine
// test runs in a process of its own.
#include "engine/UtilityAdapter.h"
#include "engine/crtfun.h"
#include "engine/crtmd5.h"
#include "engine/effect.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"
#include "engine/transformat.h"
#include "engine/upload.h"
#include "engine/upload_internal.h"

#include "engine_recorder.h"
#include "flv_support.h"
#include "service/StandInService.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace livetest {

struct Event {
    unsigned int act;
    int status;
    std::string msg;
    std::string msg2;
    bool operator==(const Event&) const = default;
};

struct Thumb {
    std::string movie;
    std::string thumb;
    bool operator==(const Thumb&) const = default;
};

struct Record {
    std::vector<Event> events;
    std::vector<std::string> lines;
    std::vector<Thumb> thumbs;

    // Index of the first event equal to the given one at or after `from`, or -1.
    long find(const Event& event, size_t from = 0) const
    {
        for (size_t i = from; i < events.size(); ++i) {
            if (events[i] == event) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    bool has(const Event& event) const { return find(event) >= 0; }
    size_t count(unsigned int act, int status) const
    {
        size_t n = 0;
        for (const Event& e : events) {
            n += e.act == act && e.status == status;
        }
        return n;
    }
    // The msg2 of the first event (act, status, msg), or empty.
    std::string msg2Of(unsigned int act, int status, const std::string& msg) const
    {
        for (const Event& e : events) {
            if (e.act == act && e.status == status && e.msg == msg) {
                return e.msg2;
            }
        }
        return {};
    }
};

class Journal : public enginetest::RecordJournal<Record> {
public:
    static Journal& shared()
    {
        static Journal& journal = *new Journal;
        return journal;
    }

    static void install()
    {
        UtilityAdapter_Callbacks c{};
        c.status = &Journal::onStatus;
        c.printlog = &Journal::onLog;
        c.moviethumb = &Journal::onThumb;
        UtilityAdapter_SetupCallbacks(&c);
    }

    void setDuration(int seconds)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        duration_ = seconds;
    }

private:
    static void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
    {
        shared().change([&](Record& r) {
            r.events.push_back({act, status, msg ? msg : "<null>", msg2 ? msg2 : "<null>"});
        });
    }
    static void onLog(const char*, const char* message)
    {
        shared().change([&](Record& r) { r.lines.push_back(message ? message : "<null>"); });
    }
    static int onThumb(const char* movie, const char* thumb)
    {
        Journal& j = shared();
        int duration = 0;
        j.change([&](Record& r) {
            r.thumbs.push_back({movie ? movie : "<null>", thumb ? thumb : "<null>"});
            duration = j.duration_;
        });
        return duration;
    }

    int duration_ = 7;  // under the journal's lock
};

// A Unix time of the given local date and time.
inline time_t localTime(int year, int month, int day, int hour, int minute)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// The 8-byte big-endian double at `offset`.
inline double doubleAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) {
        bits = (bits << 8) | bytes.at(offset + i);
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return bytes;
    }
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(f);
    return bytes;
}

class LiveFixture : public ::testing::Test {
protected:
    // The duration patched into a live FLV, in the tests that pin the wall clock.
    static constexpr int kPinnedDuration = 9;

    void SetUp() override
    {
        ::setenv("OMBRI_ENGINE_TIME_SCALE", "10", 1);
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ASSERT_FALSE(dir.path().empty());
        Journal::install();
        setlogfile("");
        enableprintlog(true);
        videoPath = dir / "video";
        imagePath = dir / "image";
        mediaPath = dir / "media";
        for (const std::string& folder : {videoPath, imagePath, mediaPath}) {
            std::filesystem::create_directories(folder);
        }
        g_videopath.set(videoPath);
        g_imagepath.set(imagePath);
        g_dbname.set(dir / "ombri.db");
        _global_initdatabase();
        ASSERT_TRUE(global_isdbopen());
        g_usertoken.set("utok");
        g_devicename.set("dev");
        g_vendor.set("lumo");
        g_netstatus.store(3);
        g_uploadstatus.store(2);
        filter_initeffect(320, 480);
        global_startasynthread();
    }

    void TearDown() override
    {
        upload_manager_stopjob();
        transformat_stopthread();
        crtfun::setwallclock(0);
    }

    // Queues an operation and waits until the job thread has carried it out.
    void operation(int code, const std::string& guid, const std::string& extra)
    {
        const size_t before = record().count(7, code);
        if (code == 35) {
            UtilityAdapter_EffectStop();
        } else if (code >= 32 && code <= 36) {
            UtilityAdapter_EffectStart(guid.c_str(), extra.c_str(), code);
        } else {
            UtilityAdapter_JobOperation(guid.c_str(), code, extra.c_str());
        }
        ASSERT_TRUE(waitFor([&](const Record& r) { return r.count(7, code) > before; })) << "operation " << code;
    }

    bool waitFor(const std::function<bool(const Record&)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        return Journal::shared().waitUntil(condition, timeout);
    }

    Record record() { return Journal::shared().snapshot(); }

    static std::string md5(const std::string& text) { return crtfun::crtmd5::hex(text); }

    std::string column(const std::string& guid, const std::string& name)
    {
        return global_requestjobdata(guid, name);
    }

    int64_t integer(const std::string& sql)
    {
        int64_t value = 0;
        global_dbref db = global_getdb();
        sqlite3_stmt* stmt = nullptr;
        if (db && sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            value = sqlite3_column_int64(stmt, 0);
        }
        sqlite3_finalize(stmt);
        return value;
    }

    // The ranges of job `id`, by offset.
    std::vector<flvtest::Range> ranges(uint32_t id)
    {
        std::vector<flvtest::Range> out;
        for (const flvtest::Range& r : flvtest::recordedRanges()) {
            if (r.id == id) {
                out.push_back(r);
            }
        }
        std::sort(out.begin(), out.end(), [](const flvtest::Range& a, const flvtest::Range& b) { return a.off < b.off; });
        return out;
    }

    // The current upload job (shared, so the test may look at it while the engine goes on).
    static _UploadRef currentJob()
    {
        upload_getlock();
        _UploadRef job = vcurup;
        upload_releaselock();
        return job;
    }

    enginetest::TempDir dir;
    std::string videoPath;
    std::string imagePath;
    std::string mediaPath;
    standin::StandInService service{{.lifetime = std::chrono::seconds(90)}};
};

}  // namespace livetest
