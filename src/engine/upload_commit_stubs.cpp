// Placeholders for the commit URLs and the global commits, so that the upload manager runs before the
// commit work exists: no commit is ever run, so the end call and the commits stored with a job wait in
// its commit lists. The commit work replaces this whole file.
#include "engine/upload_internal.h"

bool _upload_checkcurrentaddcommit(_UploadObject*)
{
    return false;
}

void _upload_check_globalcommit() {}

int _upload_parse_commit_result(_UploadObject*, _HttpJob&)
{
    return 0;
}

void _upload_runaction(const std::string&, const std::string&) {}
