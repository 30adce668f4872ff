// Placeholders for the upload job operations of jobcontrol.h, so that the job thread and the folder
// scan link before the upload job control exists. Each does nothing. The upload job control replaces
// this whole file.
#include "engine/jobcontrol.h"

void upload_startjob_byguid(const char*, bool) {}
void upload_stopjob_byguid(const char*) {}
void upload_deletejob_byguid(const char*) {}
void upload_deletefile_byguid(const char*) {}
void upload_addcommiturl_byguid(const char*, const char*) {}
void upload_addfinishcommiturl_byguid(const char*, const char*) {}
void upload_changetitle_byguid(const char*, const char*, bool) {}
void upload_setsharewith(const char*, const char*) {}
void upload_deletevideo_byguid(const char*) {}
