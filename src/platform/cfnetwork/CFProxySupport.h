#pragma once
// Proxy auto-configuration: which proxies a URL goes through, as a script decides.
//
//   CFNetworkCopyProxiesForAutoConfigurationScript(script, url, &error)
//        CFNetworkCopyProxiesForAutoConfigurationScript(script, url, &error)   (same name, below)
//   CFNetworkExecuteProxyAutoConfigurationURL(scriptURL, url, callback, context)
//        CFNetworkExecuteProxyAutoConfigurationURL(scriptURL, url, callback) -> a task to schedule on a
//        run loop (the phone's run-loop source); CFRunLoopSourceInvalidate is task->invalidate()
//
// A proxy list is an array of dictionaries, best first:
//   kCFProxyTypeKey        kCFProxyTypeNone (go direct), kCFProxyTypeHTTP or kCFProxyTypeSOCKS
//   kCFProxyHostNameKey    the proxy's host (absent for kCFProxyTypeNone)
//   kCFProxyPortNumberKey  its port, a number (absent for kCFProxyTypeNone)
// See ProxyAutoConfig.h for how scripts run and how their answers are read. A script that cannot be
// run, or whose answer names nothing usable, gives no list and an error (domain
// kCFErrorDomainCFNetwork, code kCFErrorPACFileError): the caller goes direct.
//
// The system's own proxy settings (the environment's http_proxy, https_proxy, all_proxy, no_proxy) are
// read by the HTTP client itself.
#include <functional>
#include <string_view>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

inline constexpr char kCFProxyTypeKey[] = "kCFProxyTypeKey";
inline constexpr char kCFProxyHostNameKey[] = "kCFProxyHostNameKey";
inline constexpr char kCFProxyPortNumberKey[] = "kCFProxyPortNumberKey";
inline constexpr char kCFProxyAutoConfigurationURLKey[] = "kCFProxyAutoConfigurationURLKey";
inline constexpr char kCFProxyUsernameKey[] = "kCFProxyUsernameKey";
inline constexpr char kCFProxyPasswordKey[] = "kCFProxyPasswordKey";

// The proxy types (the same texts as the HTTP client's system proxy settings use).
inline constexpr char kCFProxyTypeNone[] = "kCFProxyTypeNone";
inline constexpr char kCFProxyTypeHTTP[] = "kCFProxyTypeHTTP";
inline constexpr char kCFProxyTypeHTTPS[] = "kCFProxyTypeHTTPS";
inline constexpr char kCFProxyTypeSOCKS[] = "kCFProxyTypeSOCKS";
inline constexpr char kCFProxyTypeAutoConfigurationURL[] = "kCFProxyTypeAutoConfigurationURL";

inline constexpr char kCFErrorDomainCFNetwork[] = "kCFErrorDomainCFNetwork";
inline constexpr long kCFErrorPACFileError = 309;

// Runs the script for `targetURL` and answers its proxy list; nil (with *error) when the script fails.
// An empty script answers an empty list and no error (the phone's first, priming call). The script sees
// the URL without user name, password and fragment.
Value CFNetworkCopyProxiesForAutoConfigurationScript(std::string_view script, const Ref<NSURL>& targetURL,
                                                     Ref<NSError>* error);

using CFProxyAutoConfigurationResultCallback = std::function<void(const Value& proxies, const Ref<NSError>& error)>;

// Fetches a script and runs it for one URL. Nothing happens until the task is scheduled; the callback
// then runs once, on that run loop and in that mode, unless the task was invalidated first.
class CFProxyAutoConfigurationTask : public NSObject {
public:
    // Starts the work; the first scheduling wins, later calls are ignored.
    void scheduleInRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode);
    // Stops the fetch and drops the callback (CFRunLoopSourceInvalidate).
    void invalidate();
    bool isValid() const;

    struct Impl;
    CFProxyAutoConfigurationTask();  // use CFNetworkExecuteProxyAutoConfigurationURL
    ~CFProxyAutoConfigurationTask() override;

private:
    friend Ref<CFProxyAutoConfigurationTask> CFNetworkExecuteProxyAutoConfigurationURL(
        const Ref<NSURL>&, const Ref<NSURL>&, CFProxyAutoConfigurationResultCallback, double);
    std::shared_ptr<Impl> impl_;
};

// `scriptURL` may be a file URL or an http or https URL (fetched with NSURLConnection, the body at most
// ProxyAutoConfig::kMaxScriptBytes, only a 2xx answer is taken); the fetch gives up after
// `timeoutSeconds` without progress. A failed fetch gives no list and the error (the caller goes direct).
Ref<CFProxyAutoConfigurationTask> CFNetworkExecuteProxyAutoConfigurationURL(const Ref<NSURL>& scriptURL,
                                                                            const Ref<NSURL>& targetURL,
                                                                            CFProxyAutoConfigurationResultCallback callback,
                                                                            double timeoutSeconds = 30);
