// The upload engine's side of a live recording: blocks from the remux, the current live job, the
// duration patch and the hand-over to an ordinary upload.
#include "engine/upload_live.h"

#include "engine/global.h"
#include "engine/jobdb.h"
#include "engine/printlog.h"
#include "engine/transformat_upload.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// ---- blocks from the remux (transformat_upload.h) ------------------------------------------------------

crtfun::_memitem* _upload_live_getfreeblock(_UploadObject* job)
{
    crtfun::_memitem* block = job->freeblocks.getornewblock();
    if (block != nullptr) {
        block->len = 0;
        block->off = 0;
    }
    return block;
}

void _upload_live_addsize(_UploadObject* job, uint32_t length)
{
    std::lock_guard<crtfun::crtmutex> hold(curupmtx);
    job->filesize += length;
    job->remainsize += length;
}

bool _upload_live_queueblock(_UploadObject* job, crtfun::_memitem* block, int limit)
{
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        // A released job has written its blocks back as ranges already; one queued now would be lost
        // with the job.
        if (vcurup.get() != job || job->liveblocks.count() >= limit) {
            return false;
        }
        job->liveblocks.putblock(block);
    }
    _upload_wakeup();
    return true;
}

// ---- the live job ----------------------------------------------------------------------------------

namespace {

// Writes the new bytes over the part of the block they overlap; true when they overlap it.
bool _patchblock(crtfun::_memitem* block, uint32_t offset, const unsigned char* bytes, uint32_t length)
{
    const uint64_t start = std::max<uint64_t>(block->off, offset);
    const uint64_t end = std::min<uint64_t>(uint64_t(block->off) + block->len, uint64_t(offset) + length);
    if (start >= end) {
        return false;
    }
    std::memcpy(block->buf + (start - block->off), bytes + (start - offset), static_cast<size_t>(end - start));
    return true;
}

}  // namespace

void _upload_live_patch(const _UploadRef& job, uint32_t offset, const unsigned char* bytes, uint32_t length)
{
    if (!job || length == 0) {
        return;
    }
    bool queued = false;
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        if (vcurup == job && length <= kUploadBlockSize) {
            // The manager takes waiting blocks only under curupmtx, so they can be gone through here.
            std::vector<crtfun::_memitem*> waiting;
            while (crtfun::_memitem* block = job->liveblocks.getblock()) {
                _patchblock(block, offset, bytes, length);
                waiting.push_back(block);
            }
            for (crtfun::_memitem* block : waiting) {
                job->liveblocks.putblock(block);
            }
            for (_UploadConnection& c : job->conn) {
                if (c.sendblock == nullptr || !_patchblock(c.sendblock, offset, bytes, length)) {
                    continue;
                }
                if (c.sock >= 0 && (c.headerlen == 0 || c.sentcount > 0)) {
                    // Part of the old bytes may be on the way: the block goes again, header first.
                    printlog("[%u] block %u,%u patched while sending, send again", static_cast<unsigned int>(&c - job->conn),
                             c.sendblock->off, c.sendblock->len);
                    _upload_closesock(c);
                    c.headerlen = static_cast<uint32_t>(c.header.size());
                    c.sentcount = 0;
                    c.recvtext.clear();
                }
            }
            if (crtfun::_memitem* block = job->freeblocks.getornewblock()) {
                std::memcpy(block->buf, bytes, length);
                block->off = offset;
                block->len = length;
                job->liveblocks.putblock(block);
                queued = true;
            }
        }
    }
    if (queued) {
        _upload_wakeup();
        return;
    }
    const std::string sql = _upload_sql("insert into uploadprocess(id,off,len) values(%u,%u,%u);", job->id, offset, length);
    printlog("discard live data:%s", sql.c_str());
    if (!_upload_dbexec(sql)) {
        printlog("live data kept in the file only:%s", sql.c_str());
    }
}

void _upload_live_changemode_to_upload_notify(uint32_t length, const _UploadRef& given)
{
    {
        std::lock_guard<crtfun::crtmutex> hold(curupmtx);
        const _UploadRef job = given ? given : vcurup;
        if (!job) {
            return;
        }
        printlog("upload_live_changemode_to_upload_notify %x", static_cast<unsigned int>(job->id));
        const int net = g_netstatus.load();
        const int upload = net == 1 || net == 2 ? 16 : 2;
        job->length = static_cast<int32_t>(length);
        if (vcurup == job) {
            if (job->status == 1) {
                job->status = upload;
            }
            _upload_savechange(2, job.get());
            if (job->status == 0) {
                printlog("delet job for save progress");
                _upload_deletejob(job);
            }
        } else {
            // Released while recording (paused, replaced, no user token): its row holds the status it
            // was given then, which the end of the recording must not undo.
            const std::string sql =
                _upload_sql("update localmedia set length=%u where guid='%q';"
                            "update localmedia set status=%d where guid='%q' and status=1;",
                            length, job->guid.c_str(), upload, job->guid.c_str());
            printlog("upload_savechange with sql:%x,%s", 2u, sql.c_str());
            if (_upload_dbexec(sql)) {
                const std::string status = global_requestjobdata(job->guid, "status");
                global_putstatusdispatch(5, 2, job->guid.c_str(), status.c_str());
            }
        }
        g_uploadidle.store(false);
    }
    _upload_wakeup();
}
