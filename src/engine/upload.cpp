// The upload manager thread and the upload job operations.
//
// To be filled by the upload work; until then nothing is uploaded.
#include "engine/upload.h"

void upload_manager_startjob() {}

void upload_manager_stopjob() {}

std::string upload_requestdata(const char* guid, const char* column)
{
    (void)guid;
    (void)column;
    return std::string();
}

void _upload_clean_current_network_error() {}
