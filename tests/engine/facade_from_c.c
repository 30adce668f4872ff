/* The facade used from a C translation unit: the header compiles as C and the callback record
 * works from C. */
#include "engine/UtilityAdapter.h"

#include <string.h>

static int g_errors;

static void on_status(unsigned int act, int status, const char* msg, const char* msg2)
{
    if (act == 3 && status == 0 && strcmp(msg, "打开数据库失败") == 0 && strcmp(msg2, "") == 0) {
        ++g_errors;
    }
}

static void on_log(const char* line, const char* message)
{
    (void)line;
    (void)message;
}

int facade_from_c_roundtrip(const char* unopenable_db)
{
    UtilityAdapter_Callbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.status = on_status;
    callbacks.printlog = on_log;
    UtilityAdapter_SetupCallbacks(&callbacks);
    UtilityAdapter_SetExtData(8, "lumo", 0);
    UtilityAdapter_SetExtData(3, unopenable_db, 4);
    UtilityAdapter_FreeString(UtilityAdapter_GetLocalMediaList(1, 20));
    return g_errors;
}
