#include "platform/cfnetwork/ProxyAutoConfig.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <duktape.h>

#include "platform/cfnetwork/CFProxySupport.h"
#include "platform/foundation/Charset.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"

namespace ProxyAutoConfig {

namespace {

// ---- The helper functions every script may call -----------------------------------------------------
// dnsResolve, myIpAddress and the clock come from the environment (natives below); the rest is plain
// script.
const char kHelpers[] = R"JS(
function alert(message) {}

function isPlainHostName(host) {
    return String(host).indexOf(".") < 0;
}

function dnsDomainIs(host, domain) {
    host = String(host).toLowerCase();
    domain = String(domain).toLowerCase();
    return host.length >= domain.length && host.substring(host.length - domain.length) === domain;
}

function localHostOrDomainIs(host, hostdom) {
    host = String(host).toLowerCase();
    hostdom = String(hostdom).toLowerCase();
    if (host === hostdom) {
        return true;
    }
    return host.indexOf(".") < 0 && hostdom.substring(0, host.length + 1) === host + ".";
}

function isResolvable(host) {
    return dnsResolve(host) !== null;
}

function dnsDomainLevels(host) {
    return String(host).split(".").length - 1;
}

function __pacIPv4(text) {
    var parts = /^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$/.exec(String(text));
    if (!parts) {
        return null;
    }
    var value = 0;
    for (var i = 1; i <= 4; i++) {
        var part = parseInt(parts[i], 10);
        if (part > 255) {
            return null;
        }
        value = value * 256 + part;
    }
    return value;
}

function isInNet(host, pattern, mask) {
    var address = __pacIPv4(host);
    if (address === null) {
        var resolved = dnsResolve(host);
        if (resolved === null) {
            return false;
        }
        address = __pacIPv4(resolved);
        if (address === null) {
            return false;
        }
    }
    var net = __pacIPv4(pattern);
    var bits = __pacIPv4(mask);
    if (net === null || bits === null) {
        return false;
    }
    return ((address & bits) >>> 0) === ((net & bits) >>> 0);
}

// "*" any run of characters, "?" any one character, everything else itself; the whole text must match.
function shExpMatch(text, pattern) {
    text = String(text);
    pattern = String(pattern);
    var t = 0, p = 0, star = -1, resume = 0;
    while (t < text.length) {
        if (p < pattern.length && (pattern.charAt(p) === "?" || pattern.charAt(p) === text.charAt(t))) {
            t++;
            p++;
        } else if (p < pattern.length && pattern.charAt(p) === "*") {
            star = p++;
            resume = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.length && pattern.charAt(p) === "*") {
        p++;
    }
    return p === pattern.length;
}

var __pacDays = ["SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"];
var __pacMonths = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"];

// The arguments without a trailing "GMT", and the date to compare with (its fields in GMT or local time).
function __pacNowFields(args) {
    var values = Array.prototype.slice.call(args);
    var gmt = false;
    if (values.length > 0 && typeof values[values.length - 1] === "string" &&
        values[values.length - 1].toUpperCase() === "GMT") {
        gmt = true;
        values.pop();
    }
    var d = new Date(__pacNow());
    return {
        values: values,
        day: gmt ? d.getUTCDate() : d.getDate(),
        month: gmt ? d.getUTCMonth() : d.getMonth(),
        year: gmt ? d.getUTCFullYear() : d.getFullYear(),
        weekday: gmt ? d.getUTCDay() : d.getDay(),
        seconds: gmt ? (d.getUTCHours() * 3600 + d.getUTCMinutes() * 60 + d.getUTCSeconds())
                     : (d.getHours() * 3600 + d.getMinutes() * 60 + d.getSeconds())
    };
}

function __pacInRange(start, value, end, wraps) {
    if (start <= end) {
        return start <= value && value <= end;
    }
    return wraps && (value >= start || value <= end);
}

function __pacNumber(value) {
    if (typeof value === "number") {
        return Math.floor(value);
    }
    if (typeof value === "string" && /^\d+$/.test(value)) {
        return parseInt(value, 10);
    }
    return null;
}

function weekdayRange() {
    var now = __pacNowFields(arguments);
    var v = now.values;
    if (v.length < 1 || v.length > 2) {
        return false;
    }
    var first = __pacDays.indexOf(String(v[0]).toUpperCase());
    var last = v.length === 2 ? __pacDays.indexOf(String(v[1]).toUpperCase()) : first;
    if (first < 0 || last < 0) {
        return false;
    }
    return __pacInRange(first, now.weekday, last, true);
}

// Each argument is a day (1-31), a month name or a year (four digits).
function dateRange() {
    var now = __pacNowFields(arguments);
    var kinds = "";
    var values = [];
    for (var i = 0; i < now.values.length; i++) {
        var a = now.values[i];
        var month = typeof a === "string" ? __pacMonths.indexOf(a.toUpperCase()) : -1;
        var n = __pacNumber(a);
        if (month >= 0) {
            kinds += "M";
            values.push(month);
        } else if (n !== null && n >= 1000) {
            kinds += "Y";
            values.push(n);
        } else if (n !== null && n >= 1 && n <= 31) {
            kinds += "D";
            values.push(n);
        } else {
            return false;
        }
    }
    function field(kind) {
        return kind === "D" ? now.day : kind === "M" ? now.month : now.year;
    }
    switch (kinds) {
    case "D": case "M": case "Y":
        return values[0] === field(kinds);
    case "DD": case "MM":
        return __pacInRange(values[0], field(kinds.charAt(0)), values[1], true);
    case "YY":
        return __pacInRange(values[0], now.year, values[1], false);
    case "DMDM":
        return __pacInRange(values[1] * 100 + values[0], now.month * 100 + now.day, values[3] * 100 + values[2], true);
    case "MYMY":
        return __pacInRange(values[1] * 100 + values[0], now.year * 100 + now.month, values[3] * 100 + values[2], false);
    case "DMYDMY":
        return __pacInRange(values[2] * 10000 + values[1] * 100 + values[0],
                            now.year * 10000 + now.month * 100 + now.day,
                            values[5] * 10000 + values[4] * 100 + values[3], false);
    default:
        return false;
    }
}

// timeRange(hour), (hour1, hour2), (h1, m1, h2, m2) or (h1, m1, s1, h2, m2, s2); the end is included
// to the end of its hour, minute or second.
function timeRange() {
    var now = __pacNowFields(arguments);
    var v = [];
    for (var i = 0; i < now.values.length; i++) {
        var n = __pacNumber(now.values[i]);
        if (n === null) {
            return false;
        }
        v.push(n);
    }
    var hour = Math.floor(now.seconds / 3600);
    switch (v.length) {
    case 1:
        return hour === v[0];
    case 2:
        return __pacInRange(v[0] * 3600, now.seconds, v[1] * 3600 + 3599, true);
    case 4:
        return __pacInRange(v[0] * 3600 + v[1] * 60, now.seconds, v[2] * 3600 + v[3] * 60 + 59, true);
    case 6:
        return __pacInRange(v[0] * 3600 + v[1] * 60 + v[2], now.seconds, v[3] * 3600 + v[4] * 60 + v[5], true);
    default:
        return false;
    }
}
)JS";

// ---- Defaults of the environment ---------------------------------------------------------------------

std::optional<std::string> systemResolve(const std::string& host)
{
    if (host.empty()) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        return std::nullopt;
    }
    char text[INET_ADDRSTRLEN] = {};
    auto* address = reinterpret_cast<sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return std::string(text);
}

std::string systemAddress()
{
    // The address the kernel would send from towards the outside (a datagram socket's connect sends
    // nothing).
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(53);
        inet_pton(AF_INET, "198.51.100.1", &target.sin_addr);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_addr.s_addr != 0) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
            close(fd);
            return text;
        }
        close(fd);
    }
    ifaddrs* list = nullptr;
    std::string found = "127.0.0.1";
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* item = list; item; item = item->ifa_next) {
            if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET && (item->ifa_flags & IFF_UP) &&
                !(item->ifa_flags & IFF_LOOPBACK)) {
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(item->ifa_addr)->sin_addr, text, sizeof text);
                found = text;
                break;
            }
        }
        freeifaddrs(list);
    }
    return found;
}

// ---- The heap ---------------------------------------------------------------------------------------

// Allocations carry their size in front, so the heap's total can be bounded.
struct HeapBudget {
    size_t used = 0;
    size_t limit = kHeapLimitBytes;
};
constexpr size_t kHeader = alignof(std::max_align_t);

void* budgetAlloc(void* data, duk_size_t size)
{
    auto* budget = static_cast<HeapBudget*>(data);
    if (size == 0 || size > budget->limit - budget->used) {
        return nullptr;
    }
    auto* block = static_cast<char*>(std::malloc(size + kHeader));
    if (!block) {
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    budget->used += size;
    return block + kHeader;
}

void budgetFree(void* data, void* pointer)
{
    if (!pointer) {
        return;
    }
    auto* budget = static_cast<HeapBudget*>(data);
    char* block = static_cast<char*>(pointer) - kHeader;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    budget->used -= size;
    std::free(block);
}

void* budgetRealloc(void* data, void* pointer, duk_size_t size)
{
    if (!pointer) {
        return budgetAlloc(data, size);
    }
    if (size == 0) {
        budgetFree(data, pointer);
        return nullptr;
    }
    auto* budget = static_cast<HeapBudget*>(data);
    char* block = static_cast<char*>(pointer) - kHeader;
    size_t old = 0;
    std::memcpy(&old, block, sizeof old);
    if (size > old && size - old > budget->limit - budget->used) {
        return nullptr;
    }
    auto* grown = static_cast<char*>(std::realloc(block, size + kHeader));
    if (!grown) {
        return nullptr;
    }
    std::memcpy(grown, &size, sizeof size);
    budget->used = budget->used - old + size;
    return grown + kHeader;
}

[[noreturn]] void heapFatal(void*, const char* message)
{
    // Only reached on an error outside every protected call, which this file never makes.
    NSLog("proxy script engine failed: %s", message ? message : "");
    std::abort();
}

// The environment of the evaluation running on this thread.
thread_local const Environment* t_environment = nullptr;

duk_ret_t nativeResolve(duk_context* ctx)
{
    std::string host = duk_safe_to_string(ctx, 0);
    std::optional<std::string> address;
    try {
        address = t_environment && t_environment->resolve ? t_environment->resolve(host) : systemResolve(host);
    } catch (...) {
        address.reset();  // nothing may unwind through the engine
    }
    if (address) {
        duk_push_lstring(ctx, address->data(), address->size());
    } else {
        duk_push_null(ctx);
    }
    return 1;
}

duk_ret_t nativeMyAddress(duk_context* ctx)
{
    std::string address = "127.0.0.1";
    try {
        address = t_environment && t_environment->myIpAddress ? t_environment->myIpAddress() : systemAddress();
    } catch (...) {
        // nothing may unwind through the engine
    }
    duk_push_lstring(ctx, address.data(), address.size());
    return 1;
}

duk_ret_t nativeNow(duk_context* ctx)
{
    double seconds = 0;
    try {
        seconds = t_environment && t_environment->wallNow ? t_environment->wallNow() : Clock::wallNow();
    } catch (...) {
        // nothing may unwind through the engine
    }
    duk_push_number(ctx, seconds * 1000.0);
    return 1;
}

std::string errorText(duk_context* ctx)
{
    const char* text = duk_safe_to_string(ctx, -1);
    return text ? text : "unknown error";
}

// One compiled script with its helpers, reused while the same script text is asked for.
class Heap {
public:
    Heap() : ctx_(duk_create_heap(budgetAlloc, budgetRealloc, budgetFree, &budget_, heapFatal)) {}
    ~Heap()
    {
        if (ctx_) {
            duk_destroy_heap(ctx_);
        }
    }
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;

    // Compiles helpers and script; false with `error` on failure.
    bool load(std::string_view script, std::string& error)
    {
        if (!ctx_) {
            error = "the script engine could not start";
            return false;
        }
        duk_push_c_function(ctx_, nativeResolve, 1);
        duk_put_global_string(ctx_, "dnsResolve");
        duk_push_c_function(ctx_, nativeMyAddress, 0);
        duk_put_global_string(ctx_, "myIpAddress");
        duk_push_c_function(ctx_, nativeNow, 0);
        duk_put_global_string(ctx_, "__pacNow");
        if (duk_peval_lstring(ctx_, kHelpers, sizeof kHelpers - 1) != 0) {
            error = "helper functions: " + errorText(ctx_);
            duk_pop(ctx_);
            return false;
        }
        duk_pop(ctx_);
        if (duk_peval_lstring(ctx_, script.data(), script.size()) != 0) {
            error = errorText(ctx_);
            duk_pop(ctx_);
            return false;
        }
        duk_pop(ctx_);
        return true;
    }

    std::optional<std::string> call(const std::string& url, const std::string& host, std::string& error)
    {
        duk_get_global_string(ctx_, "FindProxyForURL");
        if (!duk_is_function(ctx_, -1)) {
            duk_pop(ctx_);
            error = "the script defines no function FindProxyForURL";
            return std::nullopt;
        }
        duk_push_lstring(ctx_, url.data(), url.size());
        duk_push_lstring(ctx_, host.data(), host.size());
        if (duk_pcall(ctx_, 2) != DUK_EXEC_SUCCESS) {
            error = errorText(ctx_);
            duk_pop(ctx_);
            return std::nullopt;
        }
        if (!duk_is_string(ctx_, -1)) {
            error = "FindProxyForURL did not answer a string";
            duk_pop(ctx_);
            return std::nullopt;
        }
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx_, -1, &length);
        std::string answer(text, length);
        duk_pop(ctx_);
        return answer;
    }

private:
    HeapBudget budget_;
    duk_context* ctx_;
};

// ---- The worker ---------------------------------------------------------------------------------------

struct Job {
    std::string script;
    std::string url;
    std::string host;
    Environment environment;
    // Guarded by the evaluator's mutex.
    bool started = false;
    bool done = false;
    std::optional<std::string> answer;
    std::string error;
    struct Worker* worker = nullptr;
};

struct Worker {
    bool abandoned = false;  // guarded by the evaluator's mutex
    pid_t tid = 0;
};

// Lives for the whole process (its workers may still run at exit).
class Evaluator {
public:
    static Evaluator& shared()
    {
        static auto* evaluator = new Evaluator;
        return *evaluator;
    }

    std::optional<std::string> run(std::string_view script, const std::string& url, const std::string& host,
                                   const Environment& environment, std::string& error)
    {
        size_t fingerprint = std::hash<std::string_view>()(script);
        auto job = std::make_shared<Job>();
        job->script = std::string(script);
        job->url = url;
        job->host = host;
        job->environment = environment;

        std::unique_lock lock(mutex_);
        if (hung_.count(fingerprint)) {
            error = "the script did not finish in time before";
            return std::nullopt;
        }
        if (!live_) {
            if (abandoned_ >= kMaxAbandonedWorkers) {
                error = "proxy scripts are no longer run: earlier scripts did not finish";
                return std::nullopt;
            }
            startWorker();
        }
        queue_.push_back(job);
        wake_.notify_all();
        double limit = environment.timeLimitSeconds > 0 ? environment.timeLimitSeconds : 5;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
        bool finished = done_.wait_until(lock, deadline, [&] { return job->done; });
        if (finished) {
            error = job->error;
            return job->answer;
        }
        if (!job->started) {
            // Still waiting behind another script: give up without blaming this one.
            std::erase(queue_, job);
            error = "the script engine was busy";
            return std::nullopt;
        }
        hung_.insert(fingerprint);
        Worker* worker = job->worker;
        if (worker && !worker->abandoned) {
            worker->abandoned = true;
            ++abandoned_;
            if (worker == live_) {
                live_ = nullptr;
            }
            if (worker->tid) {
                setpriority(PRIO_PROCESS, static_cast<id_t>(worker->tid), 19);
            }
            NSLog("proxy script did not finish within %f seconds; going direct", limit);
            if (!queue_.empty() && abandoned_ < kMaxAbandonedWorkers) {
                startWorker();
            }
        }
        error = "the script did not finish in time";
        return std::nullopt;
    }

private:
    void startWorker()
    {
        auto* worker = new Worker;  // owned by its thread; freed when the thread ends
        live_ = worker;
        std::thread([this, worker] { loop(worker); }).detach();
    }

    void loop(Worker* worker)
    {
        {
            std::lock_guard lock(mutex_);
            worker->tid = static_cast<pid_t>(syscall(SYS_gettid));
        }
        std::unique_ptr<Heap> heap;
        std::string heapScript;
        bool heapUsable = false;
        while (true) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return worker->abandoned || !queue_.empty(); });
                if (worker->abandoned) {
                    break;
                }
                job = queue_.front();
                queue_.pop_front();
                job->started = true;
                job->worker = worker;
            }
            std::string error;
            std::optional<std::string> answer;
            t_environment = &job->environment;
            if (!heap || heapScript != job->script || !heapUsable) {
                heap.reset();
                heap = std::make_unique<Heap>();
                heapScript = job->script;
                heapUsable = heap->load(job->script, error);
            } else {
                heapUsable = true;
            }
            if (heapUsable) {
                answer = heap->call(job->url, job->host, error);
            } else if (error.empty()) {
                error = "the script could not be loaded";
            }
            t_environment = nullptr;
            std::lock_guard lock(mutex_);
            job->answer = std::move(answer);
            job->error = std::move(error);
            job->done = true;
            done_.notify_all();
            if (worker->abandoned) {
                // It came back after all (a slow host lookup rather than an endless loop): the script may
                // run again, and this worker no longer counts against the limit.
                hung_.erase(std::hash<std::string_view>()(job->script));
                --abandoned_;
                break;
            }
        }
        // Abandoned: the live worker has been replaced; this thread only had to come back.
        delete worker;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Job>> queue_;
    Worker* live_ = nullptr;
    int abandoned_ = 0;
    std::set<size_t> hung_;
};

std::string trimmed(std::string_view text)
{
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) {
        return {};
    }
    size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

std::string upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool isHostText(std::string_view host)
{
    if (host.empty() || host.size() > 253) {
        return false;
    }
    for (char c : host) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                  c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool splitHostPort(const std::string& text, int defaultPort, std::string& host, int& port)
{
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        in6_addr address{};
        if (inet_pton(AF_INET6, host.c_str(), &address) != 1) {
            return false;
        }
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return false;
            }
            portText = rest.substr(1);
        }
    } else {
        size_t colon = text.rfind(':');
        if (colon != std::string::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
        } else {
            host = text;
        }
        if (!isHostText(host)) {
            return false;
        }
    }
    if (portText.empty()) {
        port = defaultPort;
        return true;
    }
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::atoi(portText.c_str());
    return port >= 1 && port <= 65535;
}

}  // namespace

std::optional<std::string> findProxyForURL(std::string_view script, const std::string& url, const std::string& host,
                                           const Environment& environment, std::string* error)
{
    std::string failure;
    std::optional<std::string> answer;
    if (script.size() > kMaxScriptBytes) {
        failure = "the script is too large";
    } else {
        answer = Evaluator::shared().run(script, url, host, environment, failure);
    }
    if (error) {
        *error = answer ? std::string() : failure;
    }
    return answer;
}

std::optional<Value> parseProxyList(std::string_view answer)
{
    Value list = Value::array();
    std::string text = trimmed(answer);
    if (text.empty()) {
        list.addObject(Value::dictionary({{kCFProxyTypeKey, Value(kCFProxyTypeNone)}}));
        return list;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (item.empty()) {
            continue;
        }
        size_t space = item.find_first_of(" \t");
        std::string keyword = upper(item.substr(0, space));
        std::string rest = space == std::string::npos ? std::string() : trimmed(item.substr(space));
        if (keyword == "DIRECT" && rest.empty()) {
            list.addObject(Value::dictionary({{kCFProxyTypeKey, Value(kCFProxyTypeNone)}}));
            continue;
        }
        const char* type = nullptr;
        int defaultPort = 0;
        if (keyword == "PROXY" || keyword == "HTTP") {
            type = kCFProxyTypeHTTP;
            defaultPort = 80;
        } else if (keyword == "SOCKS" || keyword == "SOCKS4" || keyword == "SOCKS5") {
            type = kCFProxyTypeSOCKS;
            defaultPort = 1080;
        }
        std::string host;
        int port = 0;
        if (!type || rest.empty() || !splitHostPort(rest, defaultPort, host, port)) {
            continue;
        }
        list.addObject(Value::dictionary({{kCFProxyTypeKey, Value(type)},
                                          {kCFProxyHostNameKey, Value(host)},
                                          {kCFProxyPortNumberKey, Value(port)}}));
    }
    if (list.count() == 0) {
        return std::nullopt;
    }
    return list;
}

std::string decodeScript(std::string_view bytes)
{
    if (Charset::isValidUTF8(bytes)) {
        return std::string(bytes);
    }
    return Charset::decode(bytes, NSISOLatin1StringEncoding).value_or(std::string());
}

}  // namespace ProxyAutoConfig
