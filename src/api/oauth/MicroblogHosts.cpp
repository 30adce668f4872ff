#include "api/oauth/MicroblogHosts.h"

#include <cstdlib>

namespace {
namespace MicroblogHosts_cpp {

std::string setting(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

}  // namespace MicroblogHosts_cpp
}  // namespace

std::string MicroblogHosts::lumoWeiboBaseURL()
{
    return "http://" + MicroblogHosts_cpp::setting("OMBRI_LUMO_WEIBO_HOST", "127.0.0.1:8081");
}

std::string MicroblogHosts::qqWeiboBaseURL()
{
    return "https://" + MicroblogHosts_cpp::setting("OMBRI_QQ_WEIBO_HOST", "127.0.0.1:8443");
}

std::string MicroblogHosts::qqWeiboCallbackURL()
{
    return "http://" + MicroblogHosts_cpp::setting("OMBRI_SERVICE_HOST", "127.0.0.1:8080") + "/";
}
