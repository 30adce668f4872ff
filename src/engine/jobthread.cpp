// The job thread and the job engine's operations.
//
// To be filled by the job thread work; until then every hook does nothing.
#include "engine/jobthread.h"

void global_startasynthread() {}

void global_addasynjob(unsigned int code, const char* guid, const char* extra, int a, int b)
{
    (void)code;
    (void)guid;
    (void)extra;
    (void)a;
    (void)b;
}

void global_startjob(int kind)
{
    (void)kind;
}

void global_endjob(int kind)
{
    (void)kind;
}

int global_orientation_sensor(const void* sample, int x, int y)
{
    (void)sample;
    (void)x;
    (void)y;
    return 0;
}
