// Statements of the job engine over the job database: the local media list.
//
// To be filled by the job database work; until then the list is empty. (Opening and closing the
// connection live in db.cpp.)
#include "engine/jobdb.h"

void global_getlocalmedialist(std::string& out, unsigned int page, int count)
{
    (void)page;
    (void)count;
    out.clear();
}
