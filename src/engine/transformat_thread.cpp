// The remux thread over a growing movie, the write buffer and the live blocks.
#include "engine/transformat.h"

#include "engine/aac/aac_parser.h"
#include "engine/crtfun.h"
#include "engine/effect.h"
#include "engine/flv.h"
#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/jobthread.h"
#include "engine/printlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

transformat_output& g_liveoutput = *new transformat_output;

namespace {

// ---- the write buffer ----------------------------------------------------------------------------------

// The write buffer collects a tag's pieces; a flush (or a piece that would overfill it) hands what it
// holds out as one piece: to the live upload at once, and to the job file later. The job file is
// written in large pieces: the remux hands out a piece at every tag, and a system call per tag would
// cost more than the whole remux. The bytes reach the file when the file buffer fills, before a
// block's range is recorded (the range is sent from the file), whenever the remux has caught up with
// the movie and waits, and when it stops.
//
// Both live in one array, so a piece handed out is not copied again on its way to the file:
// [0, g_filepending) was handed out and waits for the file, and the write buffer's bytes follow it,
// [g_filepending, g_filepending + g_wbufpending). The file part never grows beyond kFileBufferSize,
// which leaves a whole write buffer's room after it.
constexpr uint32_t kWriteBufferSize = 65536;
constexpr size_t kFileBufferSize = 262144;
unsigned char* const g_buffer = new unsigned char[kFileBufferSize + kWriteBufferSize];
size_t g_filepending = 0;
uint32_t g_wbufpending = 0;
uint32_t g_filependingoffset = 0;  // the FLV offset of g_buffer's first byte

unsigned char* _wbuf() { return g_buffer + g_filepending; }

// Writes the file part out (or drops it when there is no file); the write buffer's bytes move to the
// front.
void _flushfile()
{
    if (g_filepending == 0) {
        return;
    }
    if (g_liveoutput.file != nullptr && std::fwrite(g_buffer, 1, g_filepending, g_liveoutput.file) != g_filepending) {
        printlog("write live file failed at %u", g_filependingoffset);
    }
    if (g_wbufpending > 0) {
        std::memmove(g_buffer, g_buffer + g_filepending, g_wbufpending);
    }
    g_filepending = 0;
}

// The file part grew by `length` bytes handed out at the current FLV offset.
void _addtofile(uint32_t length)
{
    if (g_filepending == 0) {
        g_filependingoffset = g_liveoutput.offset;
    }
    g_filepending += length;
}

// ---- the remux thread's state --------------------------------------------------------------------------

constexpr size_t kWindowSize = 1024000;
// An AAC frame is cut only with more than this many bytes ahead, so that a frame still being written
// is never taken for a shorter one.
constexpr size_t kAudioLookahead = 512;

std::atomic<int> g_transformatstate{0};  // 0 stopped, 1 asked to stop, 2 running
std::string& g_transformatpath = *new std::string;

struct _progressatomics {
    std::atomic<uint64_t> movieread{0};
    std::atomic<int> parserstate{0};
    std::atomic<bool> waiting{false};
    std::atomic<uint32_t> videotags{0};
    std::atomic<uint32_t> audiotags{0};
};
_progressatomics& g_progress = *new _progressatomics;

enum _parserstate { kSearchMdat = 0, kAtSample = 1, kCopyNal = 2, kAudio = 3, kResync = 5 };

// The window's memory, kept by the thread for its next remux: a fresh megabyte for every movie costs
// a page fault per page while it fills and a TLB shoot-down when it is given back.
unsigned char* _windowmemory()
{
    thread_local std::unique_ptr<unsigned char[]> memory{new unsigned char[kWindowSize]};
    return memory.get();
}

// The parser over the window of the movie read so far.
struct _remux {
    int fd = -1;
    unsigned char* const window = _windowmemory();
    size_t start = 0;  // the first byte not yet consumed
    size_t end = 0;    // the end of what was read
    uint64_t movieread = 0;
    int state = kSearchMdat;
    bool needmore = false;
    uint32_t videots = 0;
    uint32_t audiots = kFlvFirstAudioTimestamp;
    int frameduration = kFlvFirstFrameDuration;
    uint32_t nallength = 0;  // the NAL unit being copied
    uint32_t remaining = 0;  // its bytes (with the length prefix) still to copy
    uint32_t videotags = 0;
    uint32_t audiotags = 0;
    // The last read came short: the movie had nothing more then. The next read waits until the parser
    // needs more, rather than asking the file again before every tag.
    bool caughtup = false;

    unsigned char* data() { return window + start; }
    size_t avail() const { return end - start; }
};

bool _isboxname(const unsigned char* p)
{
    // "moov" or "moof", or either with "h" in place of "m".
    return (p[0] == 'm' || p[0] == 'h') && p[1] == 'o' && p[2] == 'o' && (p[3] == 'v' || p[3] == 'f');
}

// A sample boundary candidate (b0 = 0, b1 < 16) whose fifth byte is a video NAL header; 8 bytes.
bool _isvideosample(const unsigned char* p)
{
    return p[0] == 0 && p[1] < 16 && flv_isvideonalheader(p[4]);
}

// A candidate followed by a box name that ends the media data; 8 bytes.
bool _isboxhead(const unsigned char* p)
{
    return p[0] == 0 && p[1] < 16 && _isboxname(p + 4);
}

void _aaclog(const char* message)
{
    printlog("%s", message);
}

// ---- blocks ----------------------------------------------------------------------------------------------

crtfun::_memitem* _newblock()
{
    _UploadObject* job = g_liveoutput.upload.get();
    crtfun::_memitem* block = job != nullptr ? _upload_live_getfreeblock(job) : crtfun::_memitem_new(kLiveBlockSize);
    if (block != nullptr) {
        block->len = 0;
        block->off = 0;
    }
    return block;
}

// Records a byte range of the live file for a later upload from the file.
void _recordrange(uint32_t offset, uint32_t length)
{
    _flushfile();
    char sql[128];
    std::snprintf(sql, sizeof sql, "insert into uploadprocess(id,off,len) values(%u,%u,%u);", g_liveoutput.rowid,
                  offset, length);
    printlog("discard live data:%s", sql);
    if (!global_isdbopen()) {
        printlog("live data kept in the file only, no database:%s", sql);
        return;
    }
    global_dbexec(sql);
}

// Closes the current block: it is queued for the live upload job, or its range is recorded. The block
// to go on with: a new one when the job took it, else the same one emptied.
crtfun::_memitem* _closeblock(crtfun::_memitem* block, int limit)
{
    _UploadObject* job = g_liveoutput.upload.get();
    if (job != nullptr) {
        _upload_live_addsize(job, block->len);
    }
    const uint32_t offset = block->off;
    const uint32_t length = block->len;
    if (job != nullptr && !g_liveoutput.keeplocal && _upload_live_queueblock(job, block, limit)) {
        printlog("add data:off:%d,len:%d", static_cast<int>(offset), static_cast<int>(length));
        return _newblock();
    }
    _recordrange(offset, length);
    block->len = 0;
    return block;
}

// Hands out the write buffer's bytes: into the file part where they are, then to the live upload (which
// may record a range, and so write the file part out first).
void _writeoutbuffer()
{
    const uint32_t length = g_wbufpending;
    const unsigned char* const bytes = _wbuf();
    const uint32_t offset = g_liveoutput.offset;
    _addtofile(length);
    g_wbufpending = 0;
    push_flv_buffer(bytes, length, offset);
    g_liveoutput.offset += length;
    if (g_filepending > kFileBufferSize - kWriteBufferSize) {
        _flushfile();
    }
}

// Hands out a whole write buffer's worth of the caller's bytes (the write buffer is empty).
void _writeoutpiece(const unsigned char* bytes, uint32_t length)
{
    if (g_filepending + length > kFileBufferSize) {
        _flushfile();
    }
    std::memcpy(g_buffer + g_filepending, bytes, length);
    const uint32_t offset = g_liveoutput.offset;
    _addtofile(length);
    push_flv_buffer(bytes, length, offset);
    g_liveoutput.offset += length;
    if (g_filepending > kFileBufferSize - kWriteBufferSize) {
        _flushfile();
    }
}

// ---- parsing ------------------------------------------------------------------------------------------

void _putprevioustagsize(uint32_t size, bool flush)
{
    unsigned char previous[4];
    flv_putbe32(previous, size);
    bufferedwrite(previous, sizeof previous, flush);
}

// Reads what the movie has beyond the window; the number of bytes that came.
size_t _readmore(_remux& r)
{
    // The consumed head of the window is given back once it is half the window (so each byte moves at
    // most once on average), or when the parser waits for bytes that no longer fit.
    if (r.start > 0 && (r.start >= kWindowSize / 2 || (r.end == kWindowSize && r.needmore))) {
        std::memmove(r.window, r.data(), r.avail());
        r.end -= r.start;
        r.start = 0;
    }
    if (r.end == kWindowSize || (r.caughtup && !r.needmore)) {
        return 0;
    }
    const size_t want = kWindowSize - r.end;
    const ssize_t n = ::pread(r.fd, r.window + r.end, want, static_cast<off_t>(r.movieread));
    r.caughtup = n < static_cast<ssize_t>(want);
    if (n <= 0) {
        return 0;
    }
    r.end += static_cast<size_t>(n);
    r.movieread += static_cast<uint64_t>(n);
    printlog("tracking %d size", static_cast<int>(n));
    return static_cast<size_t>(n);
}

void _searchmdat(_remux& r)
{
    if (r.avail() < 8) {
        r.needmore = true;
        return;
    }
    const long found = crtfun::bin_search(r.data(), r.avail(), "mdat", 4);
    if (found < 0) {
        r.start = r.end - 4;
        r.needmore = true;
        return;
    }
    const size_t pos = static_cast<size_t>(found);
    if (r.avail() - (pos + 4) < 8) {
        r.start += pos;  // keep "mdat" and what follows it
        r.needmore = true;
        return;
    }
    printlog("found mdat,change mode to 1");
    // Four zero bytes after "mdat" are the upper half of a 64-bit box size.
    r.start += flv_getbe32(r.data() + pos + 4) == 0 ? pos + 12 : pos + 4;
    r.state = kAtSample;
}

void _atsample(_remux& r)
{
    if (r.avail() < 8) {
        r.needmore = true;
        return;
    }
    const unsigned char* p = r.data();
    if (_isboxhead(p)) {
        printlog("hoov or moof detected,find next mdat");
        r.state = kSearchMdat;
        return;
    }
    if (_isvideosample(p)) {
        r.nallength = flv_getbe32(p);
        r.remaining = r.nallength + 4;
        unsigned char head[kFlvVideoHeadSize];
        flv_videotaghead(head, r.nallength, r.videots, p[4]);
        bufferedwrite(head, sizeof head, false);
        r.state = kCopyNal;
        return;
    }
    r.state = kAudio;
}

void _copynal(_remux& r)
{
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(r.remaining, r.avail()));
    if (n > 0) {
        bufferedwrite(r.data(), n, false);
        r.start += n;
        r.remaining -= n;
    }
    if (r.remaining > 0) {
        r.needmore = true;
        return;
    }
    _putprevioustagsize(r.nallength + 20, r.videots != 0);
    r.videots += static_cast<uint32_t>(r.frameduration);
    r.videotags += 1;
    r.state = kAtSample;
}

void _audio(_remux& r)
{
    const unsigned char* p = r.data();
    const size_t avail = r.avail();
    size_t pos = 0;
    bool wrote = false;
    while (avail - pos > kAudioLookahead) {
        const unsigned char* frame = p + pos;
        if (_isvideosample(frame) || _isboxhead(frame)) {
            r.state = kAtSample;
            break;
        }
        const uint32_t length = getaudio_cutlen(frame, avail - pos);
        if (length == AAC_CUTLEN_INVALID) {
            printlog("the end reach?? check len: %d", static_cast<int>(avail - pos));
            r.state = kResync;
            break;
        }
        unsigned char head[kFlvAudioHeadSize];
        flv_audiotaghead(head, length, r.audiots);
        bufferedwrite(head, sizeof head, false);
        bufferedwrite(frame, length, false);
        _putprevioustagsize(length + 13, false);
        r.audiots = flv_nextaudiotimestamp(r.audiots);
        r.frameduration = flv_adjustframeduration(r.frameduration, r.videots, r.audiots);
        r.audiotags += 1;
        pos += length;
        wrote = true;
    }
    if (wrote) {
        bufferedwrite(nullptr, 0, true);
        r.start += pos;
    }
    if (r.state == kAudio) {
        // A frame near the end of what was read waits for more, like the other states.
        r.needmore = true;
    }
}

void _resync(_remux& r)
{
    const unsigned char* p = r.data();
    const size_t avail = r.avail();
    size_t i = 0;
    for (;;) {
        const void* zero = i < avail ? std::memchr(p + i, 0, avail - i) : nullptr;
        if (zero == nullptr) {
            // Nothing here can start a sample: skip it all.
            r.start = r.end;
            r.needmore = true;
            return;
        }
        const size_t j = static_cast<size_t>(static_cast<const unsigned char*>(zero) - p);
        if (avail - j < 8) {
            r.start += j;  // decide once the candidate's 8 bytes are there
            r.needmore = true;
            return;
        }
        if (p[j + 1] < 16 && (flv_isvideonalheader(p[j + 4]) || _isboxname(p + j + 4))) {
            r.start += j;
            printlog("Found Video pos,remain len:%u", static_cast<unsigned int>(avail - j));
            r.state = kAtSample;
            return;
        }
        i = j + 1;
    }
}

void _parse(_remux& r)
{
    switch (r.state) {
    case kSearchMdat:
        _searchmdat(r);
        break;
    case kAtSample:
        _atsample(r);
        break;
    case kCopyNal:
        _copynal(r);
        break;
    case kAudio:
        _audio(r);
        break;
    default:
        _resync(r);
        break;
    }
}

void _publish(const _remux& r)
{
    g_progress.movieread.store(r.movieread, std::memory_order_relaxed);
    g_progress.parserstate.store(r.state, std::memory_order_relaxed);
    g_progress.videotags.store(r.videotags, std::memory_order_relaxed);
    g_progress.audiotags.store(r.audiotags, std::memory_order_relaxed);
    g_progress.waiting.store(r.needmore, std::memory_order_release);
}

// The remux loop over an open movie: while `running` says so, or (untilidle) until the whole file has
// been read and the parser waits for more.
template <typename Running>
void _remuxloop(int fd, int width, int height, bool untilidle, Running running)
{
    _remux r;
    r.fd = fd;
    _flushfile();
    g_wbufpending = 0;
    g_progress.movieread = 0;
    g_progress.parserstate = kSearchMdat;
    g_progress.waiting = false;
    g_progress.videotags = 0;
    g_progress.audiotags = 0;
    make_flv_header(width, height);
    while (running()) {
        const size_t got = _readmore(r);
        if (got > 0) {
            r.needmore = false;
        } else if (r.needmore) {
            _flushfile();
            _publish(r);
            if (untilidle) {
                break;
            }
            crtfun::mssleep(1);
            continue;
        }
        _parse(r);
        _publish(r);
    }
    _flushfile();
}

void* _transformat_thread(void*)
{
    const std::string path = g_transformatpath;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string header = transformat_getheader();
    printlog("transformat_thread info:%d,%x", fd, static_cast<unsigned int>(header.size()));
    if (fd >= 0 && !header.empty()) {
        int width = 0;
        int height = 0;
        filter_geteffectsetting(width, height);
        _remuxloop(fd, width, height, false, [] { return g_transformatstate.load() == 2; });
    }
    printlog("transformat thread quit");
    if (fd >= 0) {
        ::close(fd);
    }
    g_transformatstate = 0;
    return nullptr;
}

}  // namespace

// ---- the thread ---------------------------------------------------------------------------------------

void transformat_stopthread()
{
    printlog("stop transformat_thread");
    int running = 2;
    g_transformatstate.compare_exchange_strong(running, 1);
    while (g_transformatstate.load() != 0) {
        crtfun::mssleep(1);
    }
}

void transformat_startthread(const char* moviepath)
{
    transformat_stopthread();
    printlog("start transformat_thread %s", moviepath);
    aac_set_log_callback(&_aaclog);
    g_transformatpath = moviepath != nullptr ? moviepath : "";
    g_transformatstate = 2;
    if (!crtfun::startdetachedthread(&_transformat_thread, nullptr)) {
        printlog("start transformat_thread failed");
        g_transformatstate = 0;
    }
}

int transformat_threadstate()
{
    return g_transformatstate.load();
}

transformat_progress transformat_getprogress()
{
    transformat_progress p;
    p.waiting = g_progress.waiting.load(std::memory_order_acquire);
    p.movieread = g_progress.movieread.load(std::memory_order_relaxed);
    p.parserstate = g_progress.parserstate.load(std::memory_order_relaxed);
    p.videotags = g_progress.videotags.load(std::memory_order_relaxed);
    p.audiotags = g_progress.audiotags.load(std::memory_order_relaxed);
    return p;
}

bool transformat_remuxfile(const char* moviepath, int width, int height)
{
    if (transformat_getheader().empty()) {
        return false;
    }
    const int fd = ::open(moviepath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    aac_set_log_callback(&_aaclog);
    _remuxloop(fd, width, height, true, [] { return true; });
    ::close(fd);
    return true;
}

// ---- writing --------------------------------------------------------------------------------------------

void make_flv_header(int width, int height)
{
    const std::string header = flv_makeheader(width, height, g_liveoutput.flvid, global_getorientation());
    bufferedwrite(header.data(), static_cast<uint32_t>(header.size()), false);
    const std::string codec = transformat_getheader();
    bufferedwrite(codec.data(), static_cast<uint32_t>(codec.size()), true);
}

void bufferedwrite(const void* bytes, uint32_t length, bool flush)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    if (g_wbufpending > 0 && g_wbufpending + length > kWriteBufferSize) {
        _writeoutbuffer();
    }
    while (length >= kWriteBufferSize) {
        _writeoutpiece(p, kWriteBufferSize);
        p += kWriteBufferSize;
        length -= kWriteBufferSize;
    }
    if (length > 0) {
        std::memcpy(_wbuf() + g_wbufpending, p, length);
        g_wbufpending += length;
    }
    if (flush && g_wbufpending > 0) {
        _writeoutbuffer();
    }
}

void transformat_finishblock()
{
    _flushfile();
    crtfun::_memitem* block = g_liveoutput.block;
    g_liveoutput.block = nullptr;
    if (block == nullptr) {
        return;
    }
    if (block->len > 0) {
        block = _closeblock(block, INT_MAX);
    }
    crtfun::_memitem_free(block);
}

void push_flv_buffer(const void* bytes, uint32_t length, uint32_t offset)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    while (length > 0) {
        crtfun::_memitem* block = g_liveoutput.block;
        if (block == nullptr) {
            block = _newblock();
            if (block == nullptr) {
                // No memory for a block: the bytes are in the file, send them from there.
                _recordrange(offset, length);
                return;
            }
            g_liveoutput.block = block;
        }
        const bool fits = block->len + length <= block->size;
        if (block->len > 0 && (!fits || offset < kLiveFirstBlockLimit)) {
            block = _closeblock(block, kLiveBlocksWaitingLimit);
            g_liveoutput.block = block;
            continue;
        }
        // An empty block takes the piece (or as much of it as it holds) at its offset.
        if (block->len == 0) {
            block->off = offset;
        }
        const uint32_t n = std::min(length, block->size - block->len);
        std::memcpy(block->buf + block->len, p, n);
        block->len += n;
        p += n;
        offset += n;
        length -= n;
    }
}
