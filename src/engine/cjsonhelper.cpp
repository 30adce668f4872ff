#include "engine/cjsonhelper.h"

#include <climits>
#include <cmath>
#include <cstdlib>

std::string cJSON_GetObjectItemString(const cJSON* object, const char* name)
{
    const cJSON* item = object != nullptr ? cJSON_GetObjectItem(object, name) : nullptr;
    if (cJSON_IsString(item) && item->valuestring != nullptr) {
        return item->valuestring;
    }
    if (cJSON_IsNumber(item)) {
        char* printed = cJSON_PrintUnformatted(item);
        std::string text = printed != nullptr ? printed : "";
        std::free(printed);
        return text;
    }
    return std::string();
}

int cJSON_GetObjectItemInt(const cJSON* object, const char* name)
{
    const cJSON* item = object != nullptr ? cJSON_GetObjectItem(object, name) : nullptr;
    if (!cJSON_IsNumber(item) || std::isnan(item->valuedouble)) {
        return 0;
    }
    const double value = item->valuedouble;
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}
