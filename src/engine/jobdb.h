#pragma once
// The job database: one SQLite connection shared by every engine thread (SQLite's serialized mode
// keeps each call whole).
//
// The connection is handed out as a reference: a user holds it for the duration of its statements
// and drops it afterwards. Closing (storage removed, a new database path) drops the engine's own
// reference; the connection is really closed when the last user has let go, so a statement in
// progress on another thread is never cut off, and later users see "no database" (null).
#include <memory>
#include <string>

struct sqlite3;

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

// ---- job database statements (jobdb.cpp) -------------------------------------------------------------

// The local media list reply for UtilityAdapter_GetLocalMediaList, as JSON text (empty when it cannot
// be printed). Runs on the caller's thread.
void global_getlocalmedialist(std::string& out, unsigned int page, int count);
