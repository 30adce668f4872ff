#include "platform/cfnetwork/CFProxySupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/cfnetwork/HTTPWire.h"
#include "platform/cfnetwork/NSURLConnection.h"
#include "platform/cfnetwork/ProxyAutoConfig.h"
#include "platform/foundation/NSString.h"

namespace {

Ref<NSError> pacError(const std::string& description, const Ref<NSError>& underlying = nullptr)
{
    Value info = Value::dictionary({{NSLocalizedDescriptionKey, Value(description)}});
    if (underlying) {
        info.setObject_forKey(Value(underlying), NSUnderlyingErrorKey);
    }
    return NSError::errorWithDomain_code_userInfo(kCFErrorDomainCFNetwork, kCFErrorPACFileError, info);
}

// The URL as a script sees it: no user name, password or fragment, which are none of its business.
std::string scriptVisibleURL(const NSURL& url)
{
    return NSString::asciiLowercaseString(url.scheme()) + "://" + HTTPWire::hostHeader(url, false) + url.requestTarget();
}

// A local script file (at most the size a script may have), or nullopt with the reason.
std::optional<std::string> readScriptFile(const std::string& path, std::string& failure)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failure = "cannot open the proxy script " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failure = "the proxy script " + path + " is not a file";
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failure = "cannot read the proxy script " + path;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > ProxyAutoConfig::kMaxScriptBytes) {
            failure = "the proxy script " + path + " is too large";
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

}  // namespace

Value CFNetworkCopyProxiesForAutoConfigurationScript(std::string_view script, const Ref<NSURL>& targetURL,
                                                     Ref<NSError>* error)
{
    if (error) {
        *error = nullptr;
    }
    if (script.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return Value::array();
    }
    if (!targetURL || targetURL->host().empty()) {
        if (error) {
            *error = pacError("no URL with a host to find proxies for");
        }
        return Value();
    }
    std::string failure;
    auto answer = ProxyAutoConfig::findProxyForURL(script, scriptVisibleURL(*targetURL), targetURL->host(), {}, &failure);
    if (!answer) {
        if (error) {
            *error = pacError("proxy script failed: " + failure);
        }
        return Value();
    }
    auto list = ProxyAutoConfig::parseProxyList(*answer);
    if (!list) {
        if (error) {
            *error = pacError("proxy script answered nothing usable: \"" + *answer + "\"");
        }
        return Value();
    }
    return *list;
}

// ---- Fetching a script ----------------------------------------------------------------------------------

struct CFProxyAutoConfigurationTask::Impl : std::enable_shared_from_this<Impl> {
    Ref<NSURL> scriptURL;
    Ref<NSURL> targetURL;
    double timeoutSeconds = 30;

    mutable std::mutex mutex;
    CFProxyAutoConfigurationResultCallback callback;  // cleared once delivered or invalidated
    bool scheduled = false;
    Weak<NSRunLoop> loop;
    std::string mode;
    Ref<NSURLConnection> connection;

    bool valid() const
    {
        std::lock_guard lock(mutex);
        return static_cast<bool>(callback);
    }

    void start();
    void scriptArrived(const std::string& bytes);
    // On the task's loop: the callback, once.
    void deliver(const Value& proxies, const Ref<NSError>& error)
    {
        CFProxyAutoConfigurationResultCallback call;
        {
            std::lock_guard lock(mutex);
            call = std::move(callback);
            callback = nullptr;
            connection.reset();
        }
        if (call) {
            call(proxies, error);
        }
    }
    // From any thread: deliver on the task's loop.
    void post(Value proxies, Ref<NSError> error)
    {
        Ref<NSRunLoop> target;
        std::string targetMode;
        {
            std::lock_guard lock(mutex);
            target = loop.lock();
            targetMode = mode;
        }
        if (!target) {
            return;
        }
        auto self = shared_from_this();
        target->performBlock([self, proxies, error] { self->deliver(proxies, error); }, {targetMode});
    }
};

namespace {

class ScriptLoader : public NSURLConnectionDelegate {
public:
    explicit ScriptLoader(std::shared_ptr<CFProxyAutoConfigurationTask::Impl> task) : task_(std::move(task)) {}

    void connection_didReceiveResponse(NSURLConnection* connection, const Ref<NSURLResponse>& response) override
    {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
        status_ = http ? http->statusCode() : 200;
    }
    void connection_didReceiveData(NSURLConnection* connection, const NSData& data) override
    {
        if (done_) {
            return;
        }
        bytes_.append(data.view());
        if (bytes_.size() > ProxyAutoConfig::kMaxScriptBytes) {
            done_ = true;
            connection->cancel();
            task_->deliver(Value(), pacError("the proxy script is too large"));
        }
    }
    void connectionDidFinishLoading(NSURLConnection* connection) override
    {
        if (done_) {
            return;
        }
        done_ = true;
        if (status_ < 200 || status_ > 299) {
            task_->deliver(Value(), pacError("the proxy script could not be fetched: status " + std::to_string(status_)));
            return;
        }
        task_->scriptArrived(bytes_);
    }
    void connection_didFailWithError(NSURLConnection* connection, const Ref<NSError>& error) override
    {
        if (done_) {
            return;
        }
        done_ = true;
        task_->deliver(Value(), pacError("the proxy script could not be fetched", error));
    }

private:
    std::shared_ptr<CFProxyAutoConfigurationTask::Impl> task_;
    std::string bytes_;
    long status_ = 0;
    bool done_ = false;
};

}  // namespace

void CFProxyAutoConfigurationTask::Impl::start()
{
    if (!valid()) {
        return;
    }
    std::string scheme = scriptURL ? NSString::asciiLowercaseString(scriptURL->scheme()) : std::string();
    if (scheme == "file") {
        std::string failure;
        auto bytes = readScriptFile(scriptURL->path(), failure);
        if (!bytes) {
            deliver(Value(), pacError(failure));
            return;
        }
        scriptArrived(*bytes);
        return;
    }
    if (scheme != "http" && scheme != "https") {
        deliver(Value(), pacError("proxy scripts are fetched from files or over http and https only"));
        return;
    }
    auto request = NSURLRequest::requestWithURL_cachePolicy_timeoutInterval(
        scriptURL, NSURLRequestReloadIgnoringLocalCacheData, timeoutSeconds);
    auto loader = std::make_shared<ScriptLoader>(shared_from_this());
    auto created = NSURLConnection::initWithRequest_delegate_startImmediately(request, loader, false);
    Ref<NSRunLoop> target = loop.lock();
    if (!created || !target) {
        deliver(Value(), pacError("the proxy script could not be fetched"));
        return;
    }
    {
        std::lock_guard lock(mutex);
        connection = created;
    }
    created->scheduleInRunLoop_forMode(target, mode);
    created->start();
}

void CFProxyAutoConfigurationTask::Impl::scriptArrived(const std::string& bytes)
{
    if (!valid()) {
        return;
    }
    // The script runs off the loop: it may take up to the engine's time limit.
    auto self = shared_from_this();
    std::string script = ProxyAutoConfig::decodeScript(bytes);
    std::thread([self, script = std::move(script)] {
        Ref<NSError> error;
        Value proxies = CFNetworkCopyProxiesForAutoConfigurationScript(script, self->targetURL, &error);
        if (!error && proxies.count() == 0) {
            error = pacError("the proxy script is empty");
            proxies = Value();
        }
        self->post(proxies, error);
    }).detach();
}

CFProxyAutoConfigurationTask::CFProxyAutoConfigurationTask() : impl_(std::make_shared<Impl>()) {}

CFProxyAutoConfigurationTask::~CFProxyAutoConfigurationTask() = default;

void CFProxyAutoConfigurationTask::scheduleInRunLoop_forMode(const Ref<NSRunLoop>& loop, const std::string& mode)
{
    if (!loop) {
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->scheduled || !impl_->callback) {
            return;
        }
        impl_->scheduled = true;
        impl_->loop = loop;
        impl_->mode = mode;
    }
    auto impl = impl_;
    loop->performBlock([impl] { impl->start(); }, {mode});
}

void CFProxyAutoConfigurationTask::invalidate()
{
    Ref<NSURLConnection> connection;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->callback = nullptr;
        connection = std::move(impl_->connection);
    }
    if (connection) {
        connection->cancel();
    }
}

bool CFProxyAutoConfigurationTask::isValid() const
{
    return impl_->valid();
}

Ref<CFProxyAutoConfigurationTask> CFNetworkExecuteProxyAutoConfigurationURL(const Ref<NSURL>& scriptURL,
                                                                            const Ref<NSURL>& targetURL,
                                                                            CFProxyAutoConfigurationResultCallback callback,
                                                                            double timeoutSeconds)
{
    auto task = std::make_shared<CFProxyAutoConfigurationTask>();
    task->impl_->scriptURL = scriptURL;
    task->impl_->targetURL = targetURL;
    task->impl_->timeoutSeconds = timeoutSeconds > 0 ? timeoutSeconds : 30;
    task->impl_->callback = callback ? std::move(callback) : [](const Value&, const Ref<NSError>&) {};
    return task;
}
