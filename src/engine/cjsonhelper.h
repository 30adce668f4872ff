#pragma once
// The engine's readers of members of a parsed JSON reply. Member names are matched without regard to
// case.
#include <cjson/cJSON.h>

#include <string>

// The member's text: a string member's decoded value, a number member as written in JSON
// ("8080", "1.5"); empty when the member is missing or of another type.
std::string cJSON_GetObjectItemString(const cJSON* object, const char* name);

// The member's number as a whole number (saturated to the int range); 0 when the member is missing
// or not a number.
int cJSON_GetObjectItemInt(const cJSON* object, const char* name);
