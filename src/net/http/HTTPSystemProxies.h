#pragma once
// The system's proxy settings, as the HTTP client asks for them: the settings of the machine and, from
// them, the list of proxies for one URL. On Linux the settings are the environment of the process:
//   http_proxy / HTTP_PROXY     for http URLs
//   https_proxy / HTTPS_PROXY   for https URLs
//   all_proxy / ALL_PROXY       for either, when the scheme's own variable is not set
//   no_proxy / NO_PROXY         hosts that go direct: comma- or space-separated names, each matching the
//                               host itself and its subdomains (a leading "." or "*." is allowed), IP
//                               addresses matching exactly, an optional ":port", "*" for every host
// A proxy is written "[scheme://][user[:password]@]host[:port]"; the schemes "http" (also without a
// scheme, port 80 by default) and "socks", "socks5", "socks5h" (SOCKS version 5, port 1080 by default)
// are understood. A variable holding anything else cannot be followed safely, so the list for a URL it
// applies to cannot be had (nullopt): the client then refuses the request rather than go direct.
#include <optional>
#include <string>
#include <vector>

#include "platform/cfnetwork/CFProxySupport.h"  // the proxy types (kCFProxyTypeHTTP, ...)
#include "platform/foundation/NSURL.h"

struct HTTPProxyEntry {
    std::string type = kCFProxyTypeNone;
    std::string host;
    int port = 0;
    std::string username;
    std::string password;
    Ref<NSURL> autoConfigurationURL;  // for kCFProxyTypeAutoConfigurationURL
};

struct HTTPSystemProxySettings {
    std::string httpProxy;   // the variables' texts as read ("" when unset)
    std::string httpsProxy;
    std::string allProxy;
    std::string noProxy;
};

namespace HTTPSystemProxies {

// CFNetworkCopySystemProxySettings: read from the environment at each call.
HTTPSystemProxySettings copySystemProxySettings();
// CFNetworkCopyProxiesForURL: the proxies to try for `url`, in order; an empty list means direct.
// nullopt when the settings that apply cannot be understood.
std::optional<std::vector<HTTPProxyEntry>> copyProxiesForURL(const Ref<NSURL>& url,
                                                             const HTTPSystemProxySettings& settings);

}  // namespace HTTPSystemProxies
