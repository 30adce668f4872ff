#pragma once
// What the live remux asks of the upload engine about the live upload job. The live job creates the
// job (shared-owned, so that a pause or a replacement releasing it cannot free it under the remux) and
// hands it to the remux in g_liveoutput (transformat.h). Each function runs on the remux thread.
//
// The upload engine implements these in upload_live.cpp.
#include "engine/crtlock.h"

#include <cstdint>
#include <memory>

struct _UploadObject;
using _UploadRef = std::shared_ptr<_UploadObject>;

// An empty block (len 0) from the job's pool of 64 KiB blocks, a new one when the pool is empty; null
// when none can be had.
crtfun::_memitem* _upload_live_getfreeblock(_UploadObject* job);
// A closed block of the live file: its length counts to the job's file size and remaining size.
void _upload_live_addsize(_UploadObject* job, uint32_t length);
// Under the upload lock: when the job is still the current upload job (not released) and fewer than
// `limit` blocks wait in its liveblocks, the block is queued there (the job owns it from then on) and
// true is returned. False leaves the block with the caller, which records its range instead, so no
// byte is lost when the job was released or the network falls behind.
bool _upload_live_queueblock(_UploadObject* job, crtfun::_memitem* block, int limit);
