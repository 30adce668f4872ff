// The blocks of the current job and its two keep-alive connections to the upload server. Nothing here
// blocks: every socket is non-blocking, and a call that would block tells the pass to wait (up to 5 ms)
// for the socket to become ready.
#include "engine/crtfun.h"
#include "engine/crthttp.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine/upload_internal.h"

#include <sqlite3.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <strings.h>

namespace {

struct _range {
    uint32_t off = 0;
    uint32_t len = 0;
};

// The first range of the job by offset that is neither being sent by the other connection nor already
// accepted; false when there is none (or no database).
bool _upload_firstrange(const _UploadObject* job, int index, _range& range)
{
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    // Asked once per block, so it must stay cheap: the offsets to pass over are plain comparisons and
    // the rows are walked in the offset index's order (the "+" keeps the planner off the id index),
    // since a list after "not in" and a sort for "order by" each cost a temporary b-tree per query.
    std::string skip;
    const _UploadConnection& other = job->conn[1 - index];
    if (other.sendblock != nullptr && other.fromdb) {
        skip = " and off<>" + std::to_string(other.sendblock->off);
    }
    for (uint32_t off : job->accepted) {
        skip.append(" and off<>");
        skip.append(std::to_string(off));
    }
    const std::string sql = "select off,len from uploadprocess where +id=" + std::to_string(job->id) + skip +
                            " order by off limit 1";
    sqlite3_stmt* stmt = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        range.off = static_cast<uint32_t>(sqlite3_column_int64(stmt, 0));
        range.len = static_cast<uint32_t>(sqlite3_column_int64(stmt, 1));
        found = true;
    }
    sqlite3_finalize(stmt);
    return found;
}

// The statements deleting the rows of the accepted blocks.
std::string _upload_acceptedsql(const _UploadObject* job)
{
    std::string sql;
    for (uint32_t off : job->accepted) {
        sql += _upload_sql("delete from uploadprocess where id=%u and off=%u;", job->id, off);
    }
    return sql;
}

// Cuts a range longer than one block, in one transaction so that a crash leaves either the old range or
// the new rows: new rows of one block each from off + 64 KiB upwards (at most kUploadMaxCutRows), then
// one row with whatever remains, and the first row shortened to one block. The rows of accepted blocks
// go in the same commit.
bool _upload_cutrange(_UploadObject* job, const _range& range)
{
    const uint32_t id = job->id;
    const uint64_t end = static_cast<uint64_t>(range.off) + range.len;
    uint64_t pos = static_cast<uint64_t>(range.off) + kUploadBlockSize;
    std::string sql = "begin;" + _upload_acceptedsql(job);
    for (int n = 0; n < kUploadMaxCutRows && pos + kUploadBlockSize <= end; ++n, pos += kUploadBlockSize) {
        sql += _upload_sql("insert into uploadprocess(id,off,len) values (%u,%u,%u);", id, static_cast<uint32_t>(pos),
                           kUploadBlockSize);
    }
    if (pos < end) {
        sql += _upload_sql("insert into uploadprocess(id,off,len) values (%u,%u,%u);", id, static_cast<uint32_t>(pos),
                           static_cast<uint32_t>(end - pos));
    }
    sql += _upload_sql("update uploadprocess set len=%u where id=%u and off=%u;", kUploadBlockSize, id, range.off);
    sql += "commit;";
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db.get(), "rollback;", nullptr, nullptr, nullptr);
        global_putstatusdispatch(3, 0, sql.c_str(), nullptr);
        return false;
    }
    job->accepted.clear();
    return true;
}

// Reads `len` bytes at `off` of the file into the block; false when the file cannot be read in full.
bool _upload_readblock(_UploadObject* job, uint32_t off, uint32_t len, crtfun::_memitem* block)
{
    if (len > block->size) {
        return false;
    }
    if (off == kUploadEffectMarker) {
        FILE* effect = std::fopen(crtfun::replacefileext(job->localimg, "etf").c_str(), "rb");
        if (effect == nullptr) {
            return false;
        }
        const size_t n = std::fread(block->buf, 1, len, effect);
        std::fclose(effect);
        return n == len;
    }
    if (job->file == nullptr) {
        job->file = std::fopen(job->filename.c_str(), "rb");
        if (job->file == nullptr) {
            return false;
        }
    }
    if (fseeko(job->file, static_cast<off_t>(off), SEEK_SET) != 0) {
        return false;
    }
    const size_t n = std::fread(block->buf, 1, len, job->file);
    if (n != len) {
        // The file may have been replaced or may still grow: open it again next time.
        std::fclose(job->file);
        job->file = nullptr;
        return false;
    }
    return true;
}

// The media file's job is complete once no range is left and no block is in flight.
int _upload_finish(_UploadObject* job, int index)
{
    job->remainsize = 0;
    global_putstatusdispatch(5, 1, job->guid.c_str(), "100");
    printlog("[%d] job %s %u is finish %d.", index, job->guid.c_str(), job->id, job->finishstate);
    if (job->finishstate == 0) {
        job->finishstate = 1;
        if (!job->finishcommit.empty()) {
            job->precommit = job->precommit.empty() ? job->finishcommit : job->precommit + "|" + job->finishcommit;
            job->finishcommit.clear();
            printlog("need do post commit first");
            _upload_savechange(4, job);
        }
    } else if (job->finishstate == 1) {
        job->status = 3;
        _upload_savechange(1, job);
        g_uploadidle.store(false);
        job->finishstate = 2;
    }
    return -1;
}

int _upload_wouldblock(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    if (crtfun::net_real_ms() - c.lastactive > crtfun::net_timeout_realms(crtfun::kHttpIoTimeoutMs)) {
        printlog("socket [%d] timeout", index);
        _upload_closesock(c);
        c.headerlen = static_cast<uint32_t>(c.header.size());
        c.sentcount = 0;
        c.recvtext.clear();
        return -1;
    }
    return kUploadWouldBlockMs;
}

bool _upload_isblocking(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EINTR || error == ENOTCONN;
}

// A failed connection: closed, and its block made ready to go again, header first.
int _upload_connfail(_UploadObject* job, int index, const char* format, long result, int error)
{
    _UploadConnection& c = job->conn[index];
    printlog(format, index, static_cast<int>(result), error);
    _upload_closesock(c);
    c.headerlen = static_cast<uint32_t>(c.header.size());
    c.sentcount = 0;
    c.recvtext.clear();
    return -1;
}

int _upload_send(_UploadObject* job, int index, const char* data, uint32_t length)
{
    _UploadConnection& c = job->conn[index];
    const ssize_t n = ::send(c.sock, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
        c.sentcount += static_cast<uint32_t>(n);
        c.lastactive = crtfun::net_real_ms();
        job->speed.adddata(static_cast<unsigned int>(n));
        return 0;
    }
    const int error = errno;
    if (n < 0 && _upload_isblocking(error)) {
        return _upload_wouldblock(job, index);
    }
    return _upload_connfail(job, index, "socket [%d] error %d,%d", static_cast<long>(n), error);
}

}  // namespace

bool _upload_flushaccepted(_UploadObject* job)
{
    if (job->accepted.empty()) {
        return true;
    }
    const std::string sql = "begin;" + _upload_acceptedsql(job) + "commit;";
    global_dbref db = global_getdb();
    if (!db) {
        return false;
    }
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db.get(), "rollback;", nullptr, nullptr, nullptr);
        global_putstatusdispatch(3, 0, sql.c_str(), nullptr);
        return false;
    }
    job->accepted.clear();
    return true;
}

void _upload_flushacceptedifdue(_UploadObject* job)
{
    const size_t waiting = job->accepted.size();
    if (waiting == 0) {
        return;
    }
    bool due = waiting >= kUploadDeleteBatchMost || crtfun::get_ms_tick() - job->acceptedtick >= kUploadDeleteDelayMs;
    if (!due && waiting >= kUploadDeleteBatch) {
        // Both answers are still to come: the commit overlaps the wait for them.
        const uint64_t now = crtfun::net_real_ms();
        due = true;
        for (const _UploadConnection& c : job->conn) {
            if (c.sendblock != nullptr &&
                (c.sock == -1 || c.sentcount < c.sendblock->len || now - c.sentat > kUploadJustSentMs)) {
                due = false;
            }
        }
    }
    if (due) {
        _upload_flushaccepted(job);
    }
}

int _upload_preparesendbuf(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    if (crtfun::_memitem* live = job->liveblocks.getblock()) {
        c.sendblock = live;
        c.fromdb = false;
        return 0;
    }
    const bool readsdb = (job->status == 1 && index == 1) || job->status == 2 || job->status == 16;
    if (!readsdb) {
        return 200;
    }
    _range range;
    if (!_upload_firstrange(job, index, range)) {
        const _UploadConnection& other = job->conn[1 - index];
        if (other.sendblock == nullptr && (job->status == 2 || job->status == 16) && global_isdbopen() &&
            _upload_flushaccepted(job)) {
            return _upload_finish(job, index);
        }
        return 200;
    }
    if (range.len > kUploadBlockSize) {
        if (!_upload_cutrange(job, range)) {
            return 200;
        }
        range.len = kUploadBlockSize;
    }
    crtfun::_memitem* block = job->freeblocks.getornewblock();
    if (block == nullptr) {
        return 200;
    }
    if (range.len == 0 || !_upload_readblock(job, range.off, range.len, block)) {
        job->freeblocks.putblock(block);
        printlog("error:can not read filedata off:%u,len:%u", range.off, range.len);
        if (range.len == 0) {
            // An empty range carries nothing: drop it rather than read it for ever.
            _upload_dbexec(_upload_sql("delete from uploadprocess where id=%u and off=%u and len=0", job->id, range.off));
        }
        return 200;
    }
    block->off = range.off;
    block->len = range.len;
    c.sendblock = block;
    // The row stays until the server has accepted the block (_upload_checkrecv).
    c.fromdb = true;
    return 0;
}

void _upload_make_sendheader(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    const crtfun::_memitem* block = c.sendblock;
    const bool effect = block->off >= kUploadEffectMarker;
    const uint32_t offset = effect ? block->off + kUploadEffectShift : block->off;  // modulo 2^32
    const char* mode = job->filetype == 16 ? "up" : job->status == 1 ? "live" : "rec";
    char header[kUploadMaxHeader];
    std::snprintf(header, sizeof header,
                  "POST /upload?t=%s&o=%u&l=%u&m=%s&p=%s HTTP/1.1\r\nHost: %s\r\nContent-Length: %u\r\n"
                  "User-Agent: zizuvozizir\r\nConnection: Keep-Alive\r\n\r\n",
                  job->uploadtoken.c_str(), offset, block->len, mode, effect ? "etf" : job->fileext.c_str(),
                  job->uploadsvr.c_str(), block->len);
    c.header = header;
    c.headerlen = static_cast<uint32_t>(c.header.size());
    c.sentcount = 0;
    c.recvtext.clear();
    // A kept-alive connection may have been idle for long: its inactivity counts from this block on.
    c.lastactive = crtfun::net_real_ms();
}

int _upload_createsock(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    printlog("try connect[%d] %s", index, job->uploadsvr.c_str());
    int port = 0;
    const uint32_t address = crtfun::get_ip_port_by_name(job->uploadsvr.c_str(), &port);
    if (address == 0 || port == 0) {
        printlog("translate ip port :%u:%d error", address, port);
        return -1;
    }
    c.sock = crtfun::createconnectsocket(address, port, false);
    if (c.sock < 0) {
        c.sock = -1;
        printlog("create socket [%d] error", index);
        return -1;
    }
    // Room for a whole block and its header in the socket's buffer, so that one send hands the block
    // over and the pass does not wait on the socket for each piece of it.
    const int sendbuffer = 4 * static_cast<int>(kUploadBlockSize);
    setsockopt(c.sock, SOL_SOCKET, SO_SNDBUF, &sendbuffer, sizeof sendbuffer);
    c.lastactive = crtfun::net_real_ms();
    c.headerlen = static_cast<uint32_t>(c.header.size());
    c.sentcount = 0;
    c.recvtext.clear();
    return 0;
}

int _upload_sendheader(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    const int r = _upload_send(job, index, c.header.data() + c.sentcount, c.headerlen - c.sentcount);
    if (r == 0 && c.sentcount >= c.headerlen) {
        c.headerlen = 0;
        c.sentcount = 0;
    }
    return r;
}

int _upload_sendbuf(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    const crtfun::_memitem* block = c.sendblock;
    const int r = _upload_send(job, index, reinterpret_cast<const char*>(block->buf) + c.sentcount, block->len - c.sentcount);
    if (r == 0 && c.sentcount >= block->len) {
        c.sentat = crtfun::net_real_ms();
    }
    return r;
}

int _upload_recvbuf(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    char buffer[1024];
    const ssize_t n = ::recv(c.sock, buffer, sizeof buffer - 1, MSG_DONTWAIT);
    if (n > 0) {
        c.recvtext.append(buffer, static_cast<size_t>(n));
        c.lastactive = crtfun::net_real_ms();
        return 0;
    }
    const int error = errno;
    if (n < 0 && _upload_isblocking(error)) {
        if (c.sentcount < c.sendblock->len) {
            return 0;  // still sending: nothing to wait for yet
        }
        return _upload_wouldblock(job, index);
    }
    return _upload_connfail(job, index, "receive [%d] error %d,%d", static_cast<long>(n), error);
}

_upload_answer _upload_parseanswer(const std::string& text)
{
    _upload_answer answer;
    static const char kVersion[] = "HTTP/1.";
    const size_t prefix = text.size() < sizeof kVersion - 1 ? text.size() : sizeof kVersion - 1;
    if (text.compare(0, prefix, kVersion, prefix) != 0 || text.size() > kUploadMaxAnswer) {
        answer.status = -1;
        return answer;
    }
    const size_t lineend = text.find("\r\n");
    if (lineend == std::string::npos) {
        return answer;  // the status line is not complete yet
    }
    const int status = crtfun::http_parsestatusline(text.substr(0, lineend));
    if (status < 0) {
        answer.status = -1;
        return answer;
    }
    const size_t headerend = text.find("\r\n\r\n");
    if (headerend == std::string::npos) {
        return answer;
    }
    const std::string header = text.substr(0, headerend);
    const size_t bodystart = headerend + 4;
    std::string value;
    size_t end = text.size();
    if (crtfun::http_headervalue(header, "Content-Length", value) && !value.empty() && value.size() <= 9 &&
        value.find_first_not_of("0123456789") == std::string::npos) {
        const size_t length = static_cast<size_t>(std::stoul(value));
        if (text.size() < bodystart + length) {
            return answer;  // the body is not complete yet; it is bounded by kUploadMaxAnswer
        }
        end = bodystart + length;
    } else {
        // Chunks or a body ended by closing: the answer cannot be told from what follows it.
        answer.closeafter = true;
    }
    if (end < text.size()) {
        answer.closeafter = true;  // bytes nobody asked for
    }
    if (crtfun::http_headervalue(header, "Connection", value) && strcasecmp(value.c_str(), "close") == 0) {
        answer.closeafter = true;
    }
    answer.status = status;
    return answer;
}

int _upload_checkrecv(_UploadObject* job, int index)
{
    _UploadConnection& c = job->conn[index];
    const _upload_answer answer = _upload_parseanswer(c.recvtext);
    if (answer.status == -2) {
        return 0;  // keep waiting
    }
    crtfun::_memitem* block = c.sendblock;
    if (answer.status != 200 || c.sentcount < block->len) {
        // Refused, garbage, or an answer before the whole block was sent: send the block again.
        printlog("[%d] block %u,%u answered %d", index, block->off, block->len, answer.status);
        return _upload_connfail(job, index, "receive [%d] error %d,%d", answer.status, 0);
    }
    if (c.fromdb) {
        if (job->accepted.empty()) {
            job->acceptedtick = crtfun::get_ms_tick();
        }
        job->accepted.push_back(block->off);
    }
    job->remainsize = job->remainsize > block->len ? job->remainsize - block->len : 0;
    c.sendblock = nullptr;
    c.fromdb = false;
    job->freeblocks.putblock(block);
    if (job->filesize != 0) {
        global_putstatusdispatch(5, 1, job->guid.c_str(), std::to_string(_upload_percent(job)).c_str());
    }
    job->retrycount = 0;
    c.headerlen = 0;
    c.sentcount = 0;
    c.recvtext.clear();
    if (answer.closeafter) {
        _upload_closesock(c);
    }
    return 0;
}
