// Live remux to FLV and the codec header.
//
// To be filled by the live remux work; until then no codec header is loaded.
#include "engine/transformat.h"

void prepareheader(const char* devicename)
{
    (void)devicename;
}
