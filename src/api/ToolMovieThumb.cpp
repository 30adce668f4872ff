#include "api/Tool.h"

double Tool::movieThumb_path(const std::string&, const std::string&)
{
    return 0;
}
