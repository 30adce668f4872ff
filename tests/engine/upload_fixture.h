#pragma once
// A fixture for the upload engine: a scratch folder with a real job database, the stand-in service as
// the service host and upload server, the engine's settings for a logged-in user on Wi-Fi, and a
// journal of the status events and log lines (with the engine tick at which each arrived) that tests
// wait on. Every engine test runs in a process of its own.
#include "engine/UtilityAdapter.h"
#include "engine/crtfun.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine/upload.h"
#include "engine/upload_internal.h"

#include "engine_recorder.h"
#include "service/StandInService.h"
#include "service/UploadRoutes.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace uploadtest {

struct Event {
    unsigned int act;
    int status;
    std::string msg;
    std::string msg2;
    uint64_t tick;
};

struct Line {
    std::string message;
    uint64_t tick;
};

struct Record {
    std::vector<Event> events;
    std::vector<Line> lines;

    size_t count(unsigned int act, int status, const std::string& msg, const std::string& msg2) const
    {
        size_t n = 0;
        for (const Event& e : events) {
            n += e.act == act && e.status == status && e.msg == msg && e.msg2 == msg2;
        }
        return n;
    }
    bool has(unsigned int act, int status, const std::string& msg, const std::string& msg2) const
    {
        return count(act, status, msg, msg2) > 0;
    }
    // Index of the first log line equal to `message` at or after `from`, or -1.
    long line(const std::string& message, size_t from = 0) const
    {
        for (size_t i = from; i < lines.size(); ++i) {
            if (lines[i].message == message) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    size_t linesWith(const std::string& prefix) const
    {
        size_t n = 0;
        for (const Line& l : lines) {
            n += l.message.rfind(prefix, 0) == 0;
        }
        return n;
    }
};

// What the engine reports, kept for the process.
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
        UtilityAdapter_SetupCallbacks(&c);
    }

private:
    static void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
    {
        const uint64_t tick = crtfun::get_ms_tick();
        shared().change([&](Record& r) {
            r.events.push_back({act, status, msg ? msg : "<null>", msg2 ? msg2 : "<null>", tick});
        });
    }
    static void onLog(const char*, const char* message)
    {
        const uint64_t tick = crtfun::get_ms_tick();
        shared().change([&](Record& r) { r.lines.push_back({message ? message : "<null>", tick}); });
    }
};

struct Job {
    std::string guid;
    std::string filename;
    int status = 2;
    int filetype = 0;
    std::string title = "a title";
    std::string localimg;
    std::string usertoken;
    std::string uploadtoken;
    std::string uploadsvr;
    int h = 360;
    int w = 480;
};

class UploadFixture : public ::testing::Test {
protected:
    // The engine clock's speed-up for this test; set before the engine first reads it.
    virtual const char* timeScale() const { return "1000"; }

    void SetUp() override
    {
        ::setenv("OMBRI_ENGINE_TIME_SCALE", timeScale(), 1);
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        ASSERT_FALSE(dir.path().empty());
        Journal::install();
        setlogfile("");
        enableprintlog(true);
        g_dbname.set(dir / "ombri.db");
        _global_initdatabase();
        ASSERT_TRUE(global_isdbopen());
        g_usertoken.set("utok");
        g_devicename.set("dev");
        g_vendor.set("lumo");
        g_netstatus.store(3);
        g_uploadstatus.store(2);
    }

    void TearDown() override { upload_manager_stopjob(); }

    // A file of `size` pseudo-random bytes in the scratch folder.
    std::string writeFile(const std::string& name, size_t size, unsigned int seed = 7)
    {
        std::string bytes(size, '\0');
        std::mt19937 random(seed);
        for (char& b : bytes) {
            b = static_cast<char>(random() & 0xff);
        }
        std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }

    // Inserts the job's row; with `pending` it also gets one range covering [0, pending). Its row id.
    uint32_t insertJob(const Job& job, uint64_t pending = 0)
    {
        exec("insert into localmedia(guid,ct,st,filename,uploadtoken,usertoken,publictype,title,localimg,filetype,"
             "h,w,length,status,uploadsvr,adddata) values(" +
             quote(job.guid) + "," + std::to_string(crtfun::unix_time() - 5) + ",0," + quote(job.filename) + "," +
             quote(job.uploadtoken) + "," + quote(job.usertoken) + ",'off'," + quote(job.title) + "," +
             quote(job.localimg) + "," + std::to_string(job.filetype) + "," + std::to_string(job.h) + "," +
             std::to_string(job.w) + ",10," + std::to_string(job.status) + "," + quote(job.uploadsvr) + ",'||')");
        const uint32_t id = static_cast<uint32_t>(integer("select rowid from localmedia where guid=" + quote(job.guid)));
        if (pending != 0) {
            addRange(id, 0, pending);
        }
        return id;
    }

    void addRange(uint32_t id, uint64_t off, uint64_t len)
    {
        exec("insert into uploadprocess(id,off,len) values(" + std::to_string(id) + "," + std::to_string(off) + "," +
             std::to_string(len) + ")");
    }

    // The job's ranges, by offset.
    std::vector<std::pair<uint64_t, uint64_t>> ranges(uint32_t id)
    {
        std::vector<std::pair<uint64_t, uint64_t>> out;
        query("select off,len from uploadprocess where id=" + std::to_string(id) + " order by off",
              [&](sqlite3_stmt* s) {
                  out.emplace_back(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
              });
        return out;
    }

    std::string column(const std::string& guid, const std::string& name)
    {
        std::string value;
        query("select " + name + " from localmedia where guid=" + quote(guid), [&](sqlite3_stmt* s) {
            const unsigned char* text = sqlite3_column_text(s, 0);
            value = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        });
        return value;
    }

    int64_t integer(const std::string& sql)
    {
        int64_t value = 0;
        query(sql, [&](sqlite3_stmt* s) { value = sqlite3_column_int64(s, 0); });
        return value;
    }

    void exec(const std::string& sql)
    {
        global_dbref db = global_getdb();
        ASSERT_TRUE(db);
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    }

    void query(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row)
    {
        global_dbref db = global_getdb();
        ASSERT_TRUE(db);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            row(stmt);
        }
        sqlite3_finalize(stmt);
    }

    static std::string quote(const std::string& text)
    {
        std::string out = "'";
        for (char c : text) {
            out += c;
            if (c == '\'') {
                out += '\'';
            }
        }
        return out + "'";
    }

    bool waitFor(const std::function<bool(const Record&)>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        return Journal::shared().waitUntil(condition, timeout);
    }

    Record record() { return Journal::shared().snapshot(); }

    // What the upload server answered to each end call, in order. It answers "file incomplete" when the
    // file it holds has a hole; since an end call answered at all counts as done, no road may ever get
    // that answer.
    std::vector<std::string> endCallAnswers()
    {
        std::vector<std::string> answers;
        for (const standin::Request& call : service.server().requests(standin::kUploadEndPath)) {
            answers.push_back(call.answerBody);
        }
        return answers;
    }

    enginetest::TempDir dir;
    standin::StandInService service{{.lifetime = std::chrono::seconds(60)}};
};

}  // namespace uploadtest
