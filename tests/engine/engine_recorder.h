#pragma once
// Records what the engine reports through its callbacks, and gives each test a scratch folder.
// Every engine test runs in a process of its own, so the recorder is process-wide.
#include "engine/UtilityAdapter.h"

#include <condition_variable>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace enginetest {

struct StatusEvent {
    unsigned int act;
    int status;
    std::string msg;
    std::string msg2;
    bool operator==(const StatusEvent&) const = default;
};

struct LogLine {
    std::string line;
    std::string message;
};

class Recorder {
public:
    static Recorder& shared()
    {
        static Recorder& recorder = *new Recorder;
        return recorder;
    }

    // The callbacks record; the player slots stay empty.
    static UtilityAdapter_Callbacks callbacks()
    {
        UtilityAdapter_Callbacks c{};
        c.status = &Recorder::onStatus;
        c.printlog = &Recorder::onLog;
        return c;
    }
    void install()
    {
        UtilityAdapter_Callbacks c = callbacks();
        UtilityAdapter_SetupCallbacks(&c);
    }

    std::vector<StatusEvent> events()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return events_;
    }
    std::vector<LogLine> lines()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return lines_;
    }
    size_t count(unsigned int act, int status)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        size_t n = 0;
        for (const StatusEvent& e : events_) {
            n += e.act == act && e.status == status;
        }
        return n;
    }
    bool logged(const std::string& message)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (const LogLine& l : lines_) {
            if (l.message == message) {
                return true;
            }
        }
        return false;
    }
    void clear()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        events_.clear();
        lines_.clear();
    }

private:
    static void onStatus(unsigned int act, int status, const char* msg, const char* msg2)
    {
        Recorder& r = shared();
        std::lock_guard<std::mutex> hold(r.mutex_);
        // Null texts are recorded as a marker the engine never sends, so a test sees them.
        r.events_.push_back({act, status, msg ? msg : "<null>", msg2 ? msg2 : "<null>"});
    }
    static void onLog(const char* line, const char* message)
    {
        Recorder& r = shared();
        std::lock_guard<std::mutex> hold(r.mutex_);
        r.lines_.push_back({line ? line : "<null>", message ? message : "<null>"});
    }

    std::mutex mutex_;
    std::vector<StatusEvent> events_;
    std::vector<LogLine> lines_;
};

// A scratch folder removed at the end of the test.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ombri-engine-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A record of what the engine's callbacks reported, kept by a test's own recorder: copied out whole, or
// waited on until a condition holds (re-checked on every change).
template <class RecordT>
class RecordJournal {
public:
    RecordT snapshot()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return record_;
    }
    bool waitUntil(const std::function<bool(const RecordT&)>& condition, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, timeout, [&] { return condition(record_); });
    }

protected:
    // Changes the record under the lock and wakes the waiters.
    template <class Change>
    void change(Change&& apply)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        apply(record_);
        changed_.notify_all();
    }

    std::mutex mutex_;

private:
    std::condition_variable changed_;
    RecordT record_;
};

}  // namespace enginetest
