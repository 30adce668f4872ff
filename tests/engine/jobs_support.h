#pragma once
// Helpers of the job engine's tests: callbacks with a thumbnail recorder, waiting for a condition,
// reading the database and the local media list.
#include "engine/UtilityAdapter.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine_recorder.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace jobstest {

// The thumbnail callback: records every call and answers a duration chosen by the test.
class Thumbs {
public:
    struct Call {
        std::string movie;
        std::string thumb;
        bool operator==(const Call&) const = default;
    };
    static Thumbs& shared()
    {
        static Thumbs& thumbs = *new Thumbs;
        return thumbs;
    }
    void setDuration(int seconds)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        duration_ = seconds;
    }
    std::vector<Call> calls()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return calls_;
    }
    static int onThumb(const char* movie, const char* thumb)
    {
        Thumbs& t = shared();
        std::lock_guard<std::mutex> hold(t.mutex_);
        t.calls_.push_back({movie, thumb});
        return t.duration_;
    }

private:
    std::mutex mutex_;
    std::vector<Call> calls_;
    int duration_ = 7;
};

// Installs the recorder's status and log callbacks and the thumbnail recorder; the log goes to the
// callback only.
inline void installCallbacks(bool withThumbs = true)
{
    UtilityAdapter_Callbacks c = enginetest::Recorder::callbacks();
    if (withThumbs) {
        c.moviethumb = &Thumbs::onThumb;
    }
    UtilityAdapter_SetupCallbacks(&c);
    setlogfile("");
    enableprintlog(true);
}

// Re-checks the condition until it holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
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

inline size_t countLogged(const std::string& message)
{
    size_t n = 0;
    for (const enginetest::LogLine& line : enginetest::Recorder::shared().lines()) {
        n += line.message == message;
    }
    return n;
}

// Runs SQL on the engine's open connection.
inline void execSql(const std::string& sql)
{
    global_dbref db = global_getdb();
    ASSERT_TRUE(db) << "no database";
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << "\n" << sql;
}

// The rows of a query on the engine's connection, each as its columns joined by "|" (null as "NULL").
inline std::vector<std::string> querySql(const std::string& sql)
{
    std::vector<std::string> rows;
    global_dbref db = global_getdb();
    if (!db) {
        ADD_FAILURE() << "no database";
        return rows;
    }
    sqlite3_exec(
        db.get(), sql.c_str(),
        [](void* out, int n, char** values, char**) {
            std::string row;
            for (int i = 0; i < n; ++i) {
                row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
            }
            static_cast<std::vector<std::string>*>(out)->push_back(row);
            return 0;
        },
        &rows, nullptr);
    return rows;
}

// The local media list reply, parsed. The caller deletes it.
struct ListReply {
    cJSON* root = nullptr;
    ~ListReply() { cJSON_Delete(root); }
    int number(const char* key) const { return cJSON_GetObjectItemCaseSensitive(root, key)->valueint; }
    std::string text(const char* key) const { return cJSON_GetObjectItemCaseSensitive(root, key)->valuestring; }
    cJSON* result() const { return cJSON_GetObjectItemCaseSensitive(root, "result"); }
    int size() const { return cJSON_GetArraySize(result()); }
    cJSON* entry(int i) const { return cJSON_GetArrayItem(result(), i); }
    std::vector<std::string> guids() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < size(); ++i) {
            out.push_back(cJSON_GetObjectItemCaseSensitive(entry(i), "guid")->valuestring);
        }
        return out;
    }
};

inline void readList(ListReply& reply, unsigned int page, int count)
{
    char* text = UtilityAdapter_GetLocalMediaList(page, count);
    ASSERT_NE(text, nullptr);
    reply.root = cJSON_Parse(text);
    UtilityAdapter_FreeString(text);
    ASSERT_NE(reply.root, nullptr);
}

inline std::string entryText(const cJSON* entry, const char* key)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(entry, key);
    return cJSON_IsString(item) ? item->valuestring : "<not a text>";
}

inline double entryNumber(const cJSON* entry, const char* key)
{
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(entry, key);
    return cJSON_IsNumber(item) ? item->valuedouble : -12345.0;
}

}  // namespace jobstest
