#pragma once
// The live remux of a growing recording into FLV, and the codec header every FLV starts with.
//
// While the camera writes its movie (H.264 samples of length-prefixed NAL units and raw AAC frames in
// "mdat", the index written only at the end), the remux thread reads the file as it grows, recognises
// the samples in the byte stream without the index, and writes one FLV tag per NAL unit and per AAC
// frame to the live job's file. Every piece written to the file also goes, in blocks of at most
// 64 KiB, to the live upload job, so the video reaches the service while it is being shot; when the
// network falls behind (or the job keeps its data local, or the upload job has been released) a
// block's byte range is recorded in uploadprocess instead, to be sent from the file later.
//
// The codec header (the AVC and AAC sequence header tags, flv.h) is loaded once per process from
// g_videopath + "/globalmeta.dat", or fetched from the service, and refreshed from each finished movie's
// "avcC". Without one, no FLV is written.
//
// Threads: the codec header is read and replaced under its own lock, from any thread. The live output
// (g_liveoutput) belongs to the remux thread while it runs; the live job fills it before
// transformat_startthread and reads it after transformat_stopthread, both on the job thread.
#include "engine/crtlock.h"
#include "engine/transformat_upload.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

// ---- codec header -----------------------------------------------------------------------------------

// Loads the codec header when none is loaded: "/globalmeta.dat" of the video folder when it exists,
// the software flag from "/codec.dat", then asks the service (blocking, on the calling thread) with
// "/m/request-meta.json?ver=1&dev=" + devicename. A reply with "status" 200 gives the header ("meta",
// hexadecimal, used only when the file was missing; it is written to the file) and the software flag
// ("meta2", written to "/codec.dat"). Any other answer leaves both files and the header unchanged.
void prepareheader(const char* devicename);

// Refreshes the codec header from a finished movie's "avcC" box (in "moov"); when it differs from the
// loaded one it replaces it and, when the video folder is known, rewrites "/globalmeta.dat".
void updatecheckheader(const char* moviepath);

// The loaded codec header (empty when none is loaded).
std::string transformat_getheader();
// Replaces the loaded codec header (empty unloads it). Files are not touched.
void transformat_setheader(const std::string& header);
// The software flag read from "/codec.dat" or the service (stored, not used further).
bool transformat_usesoftware();

// Hexadecimal text to bytes, two characters per byte ("0"-"9", "A"-"F", "a"-"f"; any other character
// counts as 0). A trailing single character of an odd-length text is ignored.
std::string transformat_hexdecode(const std::string& hex);

// The codec header built from the "avcC" box found in the first `length` bytes of a "moov" box; empty
// when there is none or its size is below 8 or runs beyond those bytes.
std::string transformat_headerfrommoov(const unsigned char* moov, size_t length);

// ---- the live output --------------------------------------------------------------------------------

constexpr uint32_t kLiveBlockSize = 65536;
// The first bytes of the file (header, metadata, codec header) travel in a block of their own: a piece
// starting below this offset never joins a block that already holds bytes.
constexpr uint32_t kLiveFirstBlockLimit = 1024;
// Blocks waiting in the live upload job's liveblocks beyond which new blocks are recorded as ranges.
constexpr int kLiveBlocksWaitingLimit = 11;

// Where the remux writes: the live job's file and its upload. The live job (job thread) sets it up
// before transformat_startthread and takes it back after transformat_stopthread.
struct transformat_output {
    FILE* file = nullptr;                // the job file ("wb+"), opened and closed by the live job
    uint32_t offset = 0;                 // bytes written to the job file so far: the next FLV offset
    _UploadRef upload;                   // the live upload job, shared; none: ranges only
    uint32_t rowid = 0;                  // the job's row id in localmedia (id of its ranges)
    bool keeplocal = false;              // data stays local during the recording: ranges only
    crtfun::_memitem* block = nullptr;   // the current block (off = its first byte's FLV offset);
                                         // the live job hands it on when the recording ends
    std::string flvid;                   // "id" of the metadata: the job's guid
};
extern transformat_output& g_liveoutput;

// ---- the remux thread -------------------------------------------------------------------------------

// Stops a running remux thread (waiting for it) and starts a new one on the movie. The thread writes
// the FLV header with the effect buffer size as width and height, the orientation as "accelero" and
// g_liveoutput.flvid as "id", then the codec header, then the tags, until it is stopped.
void transformat_startthread(const char* moviepath);
// Asks the remux thread to stop and waits until it has (nothing happens when none runs). Bytes of a
// tag not yet complete stay unwritten.
void transformat_stopthread();
// 0 stopped, 1 asked to stop, 2 running.
int transformat_threadstate();

// What the remux has done so far on its movie (for tests and benchmarks; read from any thread).
struct transformat_progress {
    uint64_t movieread = 0;   // bytes of the movie read
    int parserstate = 0;      // 0 searching "mdat", 1 at a sample, 2 copying a NAL unit, 3 audio, 5 resync
    bool waiting = false;     // the parser needs more of the movie to go on
    uint32_t videotags = 0;
    uint32_t audiotags = 0;
};
transformat_progress transformat_getprogress();

// Remuxes a movie as the thread does, on the calling thread, until the whole file has been read and
// the parser waits for more (a finished movie: every sample it holds). For benchmarks and tools; the
// codec header must be loaded (false otherwise, or when the movie cannot be opened).
bool transformat_remuxfile(const char* moviepath, int width, int height);

// After the remux thread has stopped: closes the current block (queued for the live upload job however
// many blocks wait, or its range recorded) and lets go of the block left over.
void transformat_finishblock();

// ---- writing ----------------------------------------------------------------------------------------

// Writes through the 64 KiB write buffer: full pieces go to the job file and to push_flv_buffer at the
// next FLV offset; `flush` writes out what is pending.
void bufferedwrite(const void* bytes, uint32_t length, bool flush);
// Hands a piece of the FLV, written at `offset`, to the live upload: it joins the current block when
// it fits and (the block is empty or the piece starts at kLiveFirstBlockLimit or later); otherwise the
// block is closed (queued on the upload job's liveblocks, or recorded as a range) and a new one holds
// the piece.
void push_flv_buffer(const void* bytes, uint32_t length, uint32_t offset);
// Writes the FLV header and metadata, then the codec header, and flushes.
void make_flv_header(int width, int height);
