#pragma once
// The job database: one SQLite connection shared by every engine thread (SQLite's serialized mode
// keeps each call whole).
//
// The connection is handed out as a reference: a user holds it for the duration of its statements
// and drops it afterwards. Closing (storage removed, a new database path) drops the engine's own
// reference; the connection is really closed when the last user has let go, so a statement in
// progress on another thread is never cut off, and later users see "no database" (null).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

using global_dbref = std::shared_ptr<sqlite3>;

// The open connection, or null when the database is closed.
global_dbref global_getdb();
bool global_isdbopen();

// Opens the database named by g_dbname: closes the earlier one, opens the file (on failure reports
// (3, 0, "open") and leaves no connection), creates the schema when it is missing, turns jobs left
// recording (status 1) into waiting jobs (2), keeps the connection and reports (1, 4) and (1, 5).
// Defined in db.cpp.
void _global_initdatabase();
// Ends an engine recording and closes the database. Defined in db.cpp.
void _global_closedatabase();

// The schema, run on every open; it fails harmlessly when the tables exist.
extern const char kJobDatabaseSchema[];

// ---- statements (jobdb.cpp) ---------------------------------------------------------------------------
//
// Values never become part of a statement's text: titles, places, paths and tokens are bound as
// parameters, so a quote or a bar in them can neither break a statement nor be lost.

// One prepared statement on a held connection; the connection stays open while the statement lives.
// A statement that could not be prepared (or had no connection) fails every step.
class global_dbstatement {
public:
    global_dbstatement(global_dbref db, const char* sql);
    ~global_dbstatement();
    global_dbstatement(const global_dbstatement&) = delete;
    global_dbstatement& operator=(const global_dbstatement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    // Parameters count from 1.
    void bindtext(int index, std::string_view text);
    void bindint(int index, int64_t value);
    // SQLITE_ROW, SQLITE_DONE or an error code (SQLITE_MISUSE when the statement is not prepared).
    int step();
    // Runs an insert; the result is the id of the row this statement inserted, read under the
    // connection's own lock so that an insert of another thread in between cannot be mistaken for it.
    // 0 when nothing was inserted; `rc` receives the step's result.
    int64_t insert(int* rc = nullptr);
    // Columns of the current row; a null value reads as "" or 0.
    std::string text(int column) const;
    int64_t integer(int column) const;
    bool isnull(int column) const;
    int columns() const;
    // The statement with its bound values, for reports and the log.
    std::string expanded() const;
    // Reports the statement's failure as (3, 0, statement).
    void reportfailure() const;

private:
    global_dbref db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string sql_;
};

// Runs statements without parameters on the open connection; a failure is reported as
// (3, 0, statement). False without a connection or on failure.
bool global_dbexec(const char* sql);

// A new job row: st 0, empty upload token, upload server and commit lists, publictype "off".
struct global_newmedia {
    std::string guid;
    uint32_t ct = 0;
    std::string filename;
    std::string usertoken;
    std::string title;
    int filetype = 0;
    int h = 0;
    int w = 0;
    int length = -1;
    int status = 0;
    std::string localimg;
};
// Inserts the job; the result is its own row id, 0 when no row was inserted. `existed` is set when a
// job with that guid is there already (not reported); other failures are reported as (3, 0, statement).
// Without a database nothing happens.
int64_t global_insertlocalmedia(const global_newmedia& row, bool* existed = nullptr);
// "update localmedia set length=... where guid=...": the duration once it is known.
void global_setmedialength(const std::string& guid, int length);
// The text of one column ("rowid" or a column of localmedia) of job `guid`; empty when the job, the
// column or its value is missing, when the name is not a column, or without a database.
std::string global_requestjobdata(const std::string& guid, const std::string& column);

// ---- the local media list (jobdb.cpp) -------------------------------------------------------------------

// The local media list reply for UtilityAdapter_GetLocalMediaList, as JSON text (empty when it cannot
// be printed). Runs on the caller's thread. `page` 0 asks for the page after the one asked last (1 at
// start), 1 to 1000 for that page, a larger value for the newest entries created before that Unix time.
void global_getlocalmedialist(std::string& out, unsigned int page, int count);

// The shown status of a stored job status: 16 is shown as 2, 17 as 4, 5 as 0.
int global_shownstatus(int status);
