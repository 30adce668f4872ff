// Statements of the job engine over the job database, and the local media list. (Opening and closing
// the connection live in db.cpp.)
#include "engine/jobdb.h"

#include "engine/crtfun.h"
#include "engine/global.h"
#include "engine/printlog.h"

#include <cjson/cJSON.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <strings.h>

global_textsetting& g_curguid = *new global_textsetting;

// ---- statements ---------------------------------------------------------------------------------------

global_dbstatement::global_dbstatement(global_dbref db, const char* sql) : db_(std::move(db)), sql_(sql)
{
    if (db_ && sqlite3_prepare_v2(db_.get(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

global_dbstatement::~global_dbstatement()
{
    sqlite3_finalize(stmt_);
}

void global_dbstatement::bindtext(int index, std::string_view text)
{
    if (stmt_ != nullptr) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
}

void global_dbstatement::bindint(int index, int64_t value)
{
    if (stmt_ != nullptr) {
        sqlite3_bind_int64(stmt_, index, value);
    }
}

int global_dbstatement::step()
{
    return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_MISUSE;
}

int64_t global_dbstatement::insert(int* rc)
{
    if (stmt_ == nullptr) {
        if (rc != nullptr) {
            *rc = SQLITE_MISUSE;
        }
        return 0;
    }
    // The connection is shared by every engine thread. Its own (recursive) lock, held across the step
    // and the read of the last row id, keeps any other thread's statement out in between.
    sqlite3_mutex* mutex = sqlite3_db_mutex(db_.get());
    sqlite3_mutex_enter(mutex);
    const int result = sqlite3_step(stmt_);
    const int64_t rowid = result == SQLITE_DONE && sqlite3_changes(db_.get()) > 0 ? sqlite3_last_insert_rowid(db_.get()) : 0;
    sqlite3_mutex_leave(mutex);
    if (rc != nullptr) {
        *rc = result;
    }
    return rowid;
}

std::string global_dbstatement::text(int column) const
{
    if (stmt_ == nullptr) {
        return std::string();
    }
    const auto* value = sqlite3_column_text(stmt_, column);
    if (value == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(value), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

int64_t global_dbstatement::integer(int column) const
{
    return stmt_ != nullptr ? sqlite3_column_int64(stmt_, column) : 0;
}

bool global_dbstatement::isnull(int column) const
{
    return stmt_ == nullptr || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int global_dbstatement::columns() const
{
    return stmt_ != nullptr ? sqlite3_column_count(stmt_) : 0;
}

std::string global_dbstatement::expanded() const
{
    if (stmt_ == nullptr) {
        return sql_;
    }
    char* text = sqlite3_expanded_sql(stmt_);
    std::string out = text != nullptr ? text : sql_;
    sqlite3_free(text);
    return out;
}

void global_dbstatement::reportfailure() const
{
    global_putstatusdispatch(3, 0, expanded().c_str(), nullptr);
}

bool global_dbexec(const char* sql)
{
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    if (sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        global_putstatusdispatch(3, 0, sql, nullptr);
        return false;
    }
    return true;
}

// ---- job rows -----------------------------------------------------------------------------------------

int64_t global_insertlocalmedia(const global_newmedia& row, bool* existed)
{
    if (existed != nullptr) {
        *existed = false;
    }
    global_dbref db = global_getdb();
    if (!db) {
        return 0;
    }
    global_dbstatement insert(db,
                              "insert into localmedia(guid,ct,st,filename,uploadtoken,usertoken,publictype,title,"
                              "filetype,h,w,length,status,uploadsvr,localimg,adddata) "
                              "values(?1,?2,0,?3,'',?4,'off',?5,?6,?7,?8,?9,?10,'',?11,'');");
    insert.bindtext(1, row.guid);
    insert.bindint(2, row.ct);
    insert.bindtext(3, row.filename);
    insert.bindtext(4, row.usertoken);
    insert.bindtext(5, row.title);
    insert.bindint(6, row.filetype);
    insert.bindint(7, row.h);
    insert.bindint(8, row.w);
    insert.bindint(9, row.length);
    insert.bindint(10, row.status);
    insert.bindtext(11, row.localimg);
    int rc = SQLITE_OK;
    const int64_t rowid = insert.insert(&rc);
    if (rc == SQLITE_DONE) {
        return rowid;
    }
    if ((rc & 0xff) == SQLITE_CONSTRAINT) {
        // The guid is unique: the job exists already.
        if (existed != nullptr) {
            *existed = true;
        }
    } else {
        insert.reportfailure();
    }
    return 0;
}

void global_setmedialength(const std::string& guid, int length)
{
    global_dbref db = global_getdb();
    if (!db) {
        return;
    }
    global_dbstatement update(db, "update localmedia set length=?1 where guid=?2;");
    update.bindint(1, length);
    update.bindtext(2, guid);
    if (update.step() != SQLITE_DONE) {
        update.reportfailure();
    }
}

namespace {

// The columns of localmedia and its row id: the only names a caller may ask for. The name becomes
// part of the statement's text, so nothing else is let through.
const char* _known_column(const std::string& name)
{
    static const char* const columns[] = {"guid",     "ct",       "st",     "filename", "uploadtoken", "usertoken",
                                          "publictype", "title",  "localimg", "filetype", "h",         "w",
                                          "length",   "status",   "uploadsvr", "adddata", "rowid"};
    for (const char* column : columns) {
        if (strcasecmp(column, name.c_str()) == 0) {
            return column;
        }
    }
    return nullptr;
}

}  // namespace

std::string global_requestjobdata(const std::string& guid, const std::string& column)
{
    const char* name = _known_column(column);
    global_dbref db = global_getdb();
    if (name == nullptr || !db) {
        return std::string();
    }
    const std::string sql = std::string("select ") + name + " from localmedia where guid=?1;";
    global_dbstatement select(db, sql.c_str());
    select.bindtext(1, guid);
    const int rc = select.step();
    if (rc == SQLITE_ROW) {
        return select.text(0);
    }
    if (rc != SQLITE_DONE) {
        select.reportfailure();
    }
    return std::string();
}

// ---- the local media list -----------------------------------------------------------------------------

int global_shownstatus(int status)
{
    switch (status) {
    case 16:
        return 2;
    case 17:
        return 4;
    case 5:
        return 0;
    default:
        return status;
    }
}

namespace {

// The page asked last; page 0 asks for the one after it.
std::mutex& g_pagemtx = *new std::mutex;
unsigned int g_lastpage = 1;

constexpr unsigned int kLastPageNumber = 1000;
constexpr size_t kGuidCompareLength = 30;

// The pending bytes of each listed job are summed by its own index lookup, for the rows of the page
// only, rather than for every job of the table on every request.
const char kListQuery[] =
    "select a.ct,a.guid,a.filename,a.uploadtoken,a.usertoken,a.publictype,a.title,a.filetype,a.h,a.w,a.length,"
    "a.status,a.uploadsvr,a.localimg,a.adddata,a.ROWID,(select sum(len) from uploadprocess where id=a.rowid) "
    "from %s as a order by a.ct desc limit ?1,?2";

enum ListColumn {
    kCt,
    kGuid,
    kFilename,
    kUploadtoken,
    kUsertoken,
    kPublictype,
    kTitle,
    kFiletype,
    kH,
    kW,
    kLength,
    kStatus,
    kUploadsvr,
    kLocalimg,
    kAdddata,
    kRowid,
    kPending,
    kListColumns
};

int64_t _filesize(const std::string& path)
{
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    return static_cast<int64_t>(info.st_size);
}

std::string _publictype(int shown, const global_dbstatement& row)
{
    if (shown == 0) {
        return "sim";
    }
    if (row.isnull(kPublictype)) {
        return "off";
    }
    std::string value = row.text(kPublictype);
    if (value == "1") {
        return "all";
    }
    if (value == "0" || value == "2") {
        return "off";
    }
    return value;
}

int _upprocess(int shown, int64_t filesize, int64_t pending)
{
    if (shown == 3) {
        return 100;
    }
    if (shown == 0 || filesize <= 0) {
        return 0;
    }
    if (filesize < pending) {
        return 99;
    }
    const int64_t percent = (filesize - pending) * 100 / filesize;
    return percent > 99 ? 99 : static_cast<int>(percent);
}

// A whole number as JSON, written directly: the general number printer tries floating-point formats
// and reads them back for every number, which dominates the cost of a long list.
void _addinteger(cJSON* object, const char* key, int64_t value)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    cJSON_AddRawToObject(object, key, text);
}

cJSON* _listentry(const global_dbstatement& row, const std::string& curguid, long now)
{
    const std::string guid = row.text(kGuid);
    const std::string filename = row.text(kFilename);
    const int64_t ct = row.integer(kCt);
    const int64_t length = row.integer(kLength);
    const int filetype = static_cast<int>(row.integer(kFiletype));
    const int shown = global_shownstatus(static_cast<int>(row.integer(kStatus)));
    const int64_t filesize = _filesize(filename);
    const bool current = guid.compare(0, kGuidCompareLength, curguid, 0, kGuidCompareLength) == 0;

    cJSON* entry = cJSON_CreateObject();
    cJSON_AddStringToObject(entry, "guid", guid.c_str());
    cJSON_AddStringToObject(entry, "t", row.text(kTitle).c_str());
    _addinteger(entry, "length", length == -1 ? 0 : length);
    _addinteger(entry, "createTime", ct * 1000);
    cJSON_AddStringToObject(entry, "createTimeNice", crtfun::getnicetimediff(static_cast<long>(ct), now).c_str());
    cJSON_AddStringToObject(entry, "pic", row.text(kLocalimg).c_str());
    _addinteger(entry, "status", shown);
    _addinteger(entry, "type", filetype);
    // A recorded job's file is the FLV made from the recording; the list names the recording.
    cJSON_AddStringToObject(entry, "fn", (filetype == 0 ? crtfun::replacefileext(filename, "MOV") : filename).c_str());
    cJSON_AddStringToObject(entry, "loginToken", row.text(kUsertoken).c_str());
    cJSON_AddStringToObject(entry, "scid", row.text(kUploadtoken).c_str());
    cJSON_AddStringToObject(entry, "hintText", shown == 2 && !current ? "队列中" : "");
    _addinteger(entry, "fileSize", filesize);
    cJSON_AddStringToObject(entry, "publicType", _publictype(shown, row).c_str());
    _addinteger(entry, "upprocess", _upprocess(shown, filesize, row.integer(kPending)));
    return entry;
}

}  // namespace

void global_getlocalmedialist(std::string& out, unsigned int page, int count)
{
    unsigned int before = 0;
    {
        std::lock_guard<std::mutex> hold(g_pagemtx);
        if (page == 0) {
            page = ++g_lastpage;
        } else if (page <= kLastPageNumber) {
            g_lastpage = page;
        } else {
            before = page;  // a Unix time: the newest entries created before it
            page = 1;
        }
    }
    char source[96];
    if (before != 0) {
        std::snprintf(source, sizeof source, "(select *,rowid from localmedia where ct < %u)", before);
    } else {
        std::snprintf(source, sizeof source, "localmedia");
    }
    printlog("localmedialist request:cur:%d,cnt:%d,cond:%s", static_cast<int>(page), count, source);

    cJSON* result = cJSON_CreateArray();
    bool ok = false;
    {
        global_dbref db = global_getdb();
        if (db) {
            char sql[sizeof kListQuery + sizeof source];
            std::snprintf(sql, sizeof sql, kListQuery, source);
            global_dbstatement select(db, sql);
            select.bindint(1, static_cast<int64_t>(count) * (static_cast<int64_t>(page) - 1));
            select.bindint(2, count);
            const std::string curguid = g_curguid.get();
            const long now = static_cast<long>(crtfun::unix_time());
            int rc;
            while ((rc = select.step()) == SQLITE_ROW && select.columns() == kListColumns) {
                cJSON_AddItemToArray(result, _listentry(select, curguid, now));
            }
            ok = rc == SQLITE_DONE;
        }
    }
    if (!ok) {
        if (g_sdcardstatus.load() == 1) {
            global_putstatusdispatch(4, 2, nullptr, nullptr);
        }
        global_putstatusdispatch(3, 0, "getlocalmedialist_select", nullptr);
    }

    cJSON* reply = cJSON_CreateObject();
    cJSON_AddStringToObject(reply, "msg", ok ? "OK" : errormsg[0]);
    _addinteger(reply, "status", ok ? 200 : 400);
    _addinteger(reply, "page", page);
    _addinteger(reply, "total", cJSON_GetArraySize(result));
    cJSON_AddItemToObject(reply, "result", result);
    char* printed = cJSON_Print(reply);
    cJSON_Delete(reply);
    out = printed != nullptr ? printed : "";
    cJSON_free(printed);
}
