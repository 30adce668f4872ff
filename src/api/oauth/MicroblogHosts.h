#pragma once
// Where the two microblog services are: configuration from the environment, read at each use, with
// defaults on the loopback address where the local stand-ins listen.
//   OMBRI_LUMO_WEIBO_HOST  "host[:port]" of the Lumo microblog API (plain HTTP; default 127.0.0.1:8081)
//   OMBRI_QQ_WEIBO_HOST    "host[:port]" of the QQ microblog OAuth API (HTTPS; default 127.0.0.1:8443)
// The QQ flow's callback is the service's own web address: "http://" + OMBRI_SERVICE_HOST + "/".
#include <string>

namespace MicroblogHosts {

std::string lumoWeiboBaseURL();    // "http://host[:port]"
std::string qqWeiboBaseURL();      // "https://host[:port]"
std::string qqWeiboCallbackURL();  // "http://<service host>/"

}  // namespace MicroblogHosts
