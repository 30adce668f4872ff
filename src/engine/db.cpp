#include "engine/jobdb.h"

#include "engine/global.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"

#include <sqlite3.h>

#include <cstdint>
#include <mutex>

const char kJobDatabaseSchema[] =
    "create table localmedia(guid CHAR UNIQUE,ct INTEGER,st INTEGER,filename CHAR,uploadtoken CHAR,usertoken "
    "CHAR,publictype CHAR,title CHAR,localimg CHAR,filetype INTEGER,h INTEGER,w INTEGER,length INTEGER,status "
    "INTEGER,uploadsvr CHAR,adddata CHAR);create table uploadprocess(id INTEGER,off INTEGER,len INTEGER);create "
    "index localmediaidxst on localmedia(st);create index localmediaidxct on localmedia(ct);create index "
    "uploadprocessctidx on uploadprocess(id);create index uploadprocessoffidx on uploadprocess(off);";

namespace {

// The engine's reference to the connection. The lock guards the reference only and is never held
// while calling out, so opening and closing cannot deadlock with the threads that report.
std::mutex& g_dbmtx = *new std::mutex;
global_dbref& g_db = *new global_dbref;

unsigned int _handle_word(const sqlite3* db)
{
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(db));
}

global_dbref _exchange_db(global_dbref next)
{
    std::lock_guard<std::mutex> hold(g_dbmtx);
    g_db.swap(next);
    return next;
}

}  // namespace

global_dbref global_getdb()
{
    std::lock_guard<std::mutex> hold(g_dbmtx);
    return g_db;
}

bool global_isdbopen()
{
    std::lock_guard<std::mutex> hold(g_dbmtx);
    return g_db != nullptr;
}

void _global_closedatabase()
{
    printlog("_global_closedatabase");
    global_endjob(1);
    // The connection closes when its last user drops it.
    _exchange_db(nullptr);
}

void _global_initdatabase()
{
    const std::string name = g_dbname.get();
    printlog("_global_initdatabase:%s", name.c_str());
    _global_closedatabase();
    if (name.empty()) {
        // No file named: SQLite would open a temporary database whose jobs vanish with the process.
        return;
    }

    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(name.c_str(), &handle,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK || handle == nullptr) {
        sqlite3_close_v2(handle);
        global_putstatusdispatch(3, 0, "open", nullptr);
        return;
    }
    global_dbref db(handle, [](sqlite3* h) { sqlite3_close_v2(h); });
    sqlite3_busy_timeout(handle, 5000);

    printlog("init database,%x", _handle_word(handle));
    sqlite3_exec(handle, kJobDatabaseSchema, nullptr, nullptr, nullptr);  // fails when the tables exist
    static const char kResetLive[] = "update localmedia set status=2 where status=1";
    if (sqlite3_exec(handle, kResetLive, nullptr, nullptr, nullptr) != SQLITE_OK) {
        global_putstatusdispatch(3, 0, kResetLive, nullptr);
    }

    // A connection opened meanwhile by another thread gives way to this newer one.
    _exchange_db(db);
    printlog("database init finish.%x", _handle_word(handle));
    global_putstatusdispatch(1, 4, nullptr, nullptr);
    global_putstatusdispatch(1, 5, nullptr, nullptr);
}
