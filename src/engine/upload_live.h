#pragma once
// The upload engine's side of a live recording: the live job makes its own upload job current
// (_upload_set_current_job, upload_internal.h), the remux hands it blocks as the file grows
// (transformat_upload.h), and when the recording ends the metadata's duration is patched and the job
// becomes an ordinary upload.
//
// Every function takes curupmtx itself; a caller may hold it already (it is recursive), but must not
// hold the live job's own lock without it (the lock order is curupmtx first).
#include "engine/upload_internal.h"

#include <cstdint>

// The bytes at `offset` of the live file have changed after they were written (the duration in the
// metadata). While the job is current, every copy of them still in memory (waiting in liveblocks or on
// one of its connections) is changed too, a connection that already sent part of such a copy sends
// it again from the start, and a block of the new bytes is queued after everything else; so whichever
// copy reaches the upload server last, it carries the new bytes. A job that has been released gets a
// range instead, sent from the file later.
void _upload_live_patch(const _UploadRef& job, uint32_t offset, const unsigned char* bytes, uint32_t length);

// The recording of a live job has ended after `length` seconds (job none: the current job). A current
// live job (status 1) becomes an ordinary upload, forced (16) on a cellular network, else waiting (2),
// and its length and status are stored (reported as (5, 2, guid, status)); a current job of status 0
// (data kept local) is released. A job released during the recording (paused, replaced) keeps the
// status its row was given then: only its length is stored, and its row becomes waiting only if it is
// still marked live.
void _upload_live_changemode_to_upload_notify(uint32_t length, const _UploadRef& job);
