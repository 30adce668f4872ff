// Placeholders for the live remux's calls into the upload engine (transformat_upload.h), so that the
// remux links before the live jobs exist. No block is queued: the remux records every closed block as
// a range for a later upload from the file. The live jobs work replaces this whole file.
#include "engine/transformat_upload.h"

crtfun::_memitem* _upload_live_getfreeblock(_UploadObject*)
{
    return crtfun::_memitem_new(65536);
}

void _upload_live_addsize(_UploadObject*, uint32_t) {}

bool _upload_live_queueblock(_UploadObject*, crtfun::_memitem*, int)
{
    return false;
}
