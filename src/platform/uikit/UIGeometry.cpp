#include "platform/uikit/UIGeometry.h"

#include <cstdio>

std::string NSStringFromUIEdgeInsets(UIEdgeInsets insets)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "{%g, %g, %g, %g}", insets.top, insets.left, insets.bottom, insets.right);
    return buffer;
}
