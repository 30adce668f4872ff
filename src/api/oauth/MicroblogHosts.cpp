#include "api/oauth/MicroblogHosts.h"

#include "platform/foundation/Configuration.h"

std::string MicroblogHosts::lumoWeiboBaseURL()
{
    return "http://" + Configuration::lumoWeiboHost();
}

std::string MicroblogHosts::qqWeiboBaseURL()
{
    return "https://" + Configuration::qqWeiboHost();
}

std::string MicroblogHosts::qqWeiboCallbackURL()
{
    return "http://" + Configuration::serviceHost() + "/";
}
