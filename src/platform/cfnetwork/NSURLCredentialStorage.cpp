#include "platform/cfnetwork/NSURLCredentialStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"

namespace {

bool isKept(const Ref<NSURLCredential>& credential)
{
    return credential && credential->persistence() != NSURLCredentialPersistenceNone;
}

bool isPermanent(const Ref<NSURLCredential>& credential)
{
    return credential && (credential->persistence() == NSURLCredentialPersistencePermanent ||
                          credential->persistence() == NSURLCredentialPersistenceSynchronizable);
}

// The whole file, or nullopt when it cannot be read; a missing file reads as "". A file that others may
// read or write is narrowed to the owner first.
std::optional<std::string> readPrivateFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    if ((info.st_mode & 077) != 0) {
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    }
    std::string bytes;
    char buffer[16384];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

// Replaces the file with `bytes`: a new owner-only file beside it, synced, then renamed over it, so a
// reader sees the old file or the new one, never a part, and the password never sits in a file others
// can read, whatever the umask.
bool writePrivateFile(const std::string& path, const std::string& bytes)
{
    std::string temporary = path + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    size_t written = 0;
    while (ok && written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

}  // namespace

Ref<NSURLCredentialStorage> NSURLCredentialStorage::sharedCredentialStorage()
{
    static auto* shared = new Ref<NSURLCredentialStorage>(create());
    return *shared;
}

Ref<NSURLCredentialStorage> NSURLCredentialStorage::create()
{
    return std::make_shared<NSURLCredentialStorage>();
}

Ref<NSURLCredentialStorage> NSURLCredentialStorage::storageWithFile(const std::string& path)
{
    auto storage = create();
    if (!storage->setPermanentStoragePath(path)) {
        return nullptr;
    }
    return storage;
}

bool NSURLCredentialStorage::setPermanentStoragePath(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        if (!loadLocked(path, true)) {
            return false;
        }
        path_ = path;
        writeLocked();
    }
    changed();
    return true;
}

std::string NSURLCredentialStorage::permanentStoragePath() const
{
    std::lock_guard lock(mutex_);
    return path_;
}

bool NSURLCredentialStorage::loadLocked(const std::string& path, bool merge)
{
    auto bytes = readPrivateFile(path);
    if (!bytes) {
        return false;
    }
    if (bytes->empty()) {
        return true;
    }
    Value list = PropertyList::fromData(*bytes);
    if (!list.isArray()) {
        return false;
    }
    for (const Value& item : list.arrayItems()) {
        Ref<NSURLProtectionSpace> space;
        if (item["proxy"].boolValue()) {
            space = NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
                item["host"].stringValue(), item["port"].intValue(), item["proxyType"].stringValue(),
                item["realm"].stringValue(), item["authenticationMethod"].stringValue());
        } else {
            space = NSURLProtectionSpace::initWithHost_port_protocol_realm_authenticationMethod(
                item["host"].stringValue(), item["port"].intValue(), item["protocol"].stringValue(),
                item["realm"].stringValue(), item["authenticationMethod"].stringValue());
        }
        Entry& entry = entries_[space->key()];
        if (!entry.space) {
            entry.space = space;
        }
        for (const Value& stored : item["credentials"].arrayItems()) {
            std::string user = stored["user"].stringValue();
            if (merge && entry.credentials.count(user)) {
                continue;  // what is in memory is newer
            }
            entry.credentials[user] = NSURLCredential::credentialWithUser_password_persistence(
                user, stored["password"].stringValue(), NSURLCredentialPersistencePermanent);
            if (stored["default"].boolValue() && !entry.defaultUser) {
                entry.defaultUser = user;
            }
        }
        if (entry.credentials.empty()) {
            entries_.erase(space->key());
        }
    }
    return true;
}

void NSURLCredentialStorage::writeLocked()
{
    if (path_.empty()) {
        return;
    }
    Value list = Value::array();
    for (const auto& [key, entry] : entries_) {
        Value credentials = Value::array();
        for (const auto& [user, credential] : entry.credentials) {
            if (!isPermanent(credential)) {
                continue;
            }
            credentials.addObject(Value::dictionary({{"user", Value(credential->user())},
                                                     {"password", Value(credential->password())},
                                                     {"default", Value(entry.defaultUser == user)}}));
        }
        if (credentials.count() == 0) {
            continue;
        }
        const NSURLProtectionSpace& space = *entry.space;
        list.addObject(Value::dictionary({{"proxy", Value(space.isProxy())},
                                          {"host", Value(space.host())},
                                          {"port", Value(space.port())},
                                          {"protocol", Value(space.protocol())},
                                          {"proxyType", Value(space.proxyType())},
                                          {"realm", Value(space.realm())},
                                          {"authenticationMethod", Value(space.authenticationMethod())},
                                          {"credentials", credentials}}));
    }
    auto bytes = PropertyList::toData(list, PropertyList::Format::XML);
    lastWriteSucceeded_ = bytes && writePrivateFile(path_, *bytes);
}

void NSURLCredentialStorage::changed()
{
    NSNotificationCenter::defaultCenter()->postNotificationName_object(NSURLCredentialStorageChangedNotification,
                                                                       Value(self<NSObject>()));
}

std::map<std::string, Ref<NSURLCredential>> NSURLCredentialStorage::credentialsForProtectionSpace(
    const Ref<NSURLProtectionSpace>& space) const
{
    if (!space) {
        return {};
    }
    std::lock_guard lock(mutex_);
    auto it = entries_.find(space->key());
    return it == entries_.end() ? std::map<std::string, Ref<NSURLCredential>>() : it->second.credentials;
}

std::vector<std::pair<Ref<NSURLProtectionSpace>, std::map<std::string, Ref<NSURLCredential>>>>
NSURLCredentialStorage::allCredentials() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::pair<Ref<NSURLProtectionSpace>, std::map<std::string, Ref<NSURLCredential>>>> out;
    for (const auto& [key, entry] : entries_) {
        out.emplace_back(entry.space, entry.credentials);
    }
    return out;
}

void NSURLCredentialStorage::setCredential_forProtectionSpace(const Ref<NSURLCredential>& credential,
                                                              const Ref<NSURLProtectionSpace>& space)
{
    if (!isKept(credential) || !space) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[space->key()];
        if (!entry.space) {
            entry.space = space;
        }
        entry.credentials[credential->user()] = credential;
        writeLocked();
    }
    changed();
}

void NSURLCredentialStorage::removeCredential_forProtectionSpace(const Ref<NSURLCredential>& credential,
                                                                 const Ref<NSURLProtectionSpace>& space)
{
    if (!credential || !space) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(space->key());
        if (it == entries_.end() || !it->second.credentials.erase(credential->user())) {
            return;
        }
        if (it->second.defaultUser == credential->user()) {
            it->second.defaultUser.reset();
        }
        if (it->second.credentials.empty()) {
            entries_.erase(it);
        }
        writeLocked();
    }
    changed();
}

Ref<NSURLCredential> NSURLCredentialStorage::defaultCredentialForProtectionSpace(
    const Ref<NSURLProtectionSpace>& space) const
{
    if (!space) {
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto it = entries_.find(space->key());
    if (it == entries_.end() || !it->second.defaultUser) {
        return nullptr;
    }
    auto credential = it->second.credentials.find(*it->second.defaultUser);
    return credential == it->second.credentials.end() ? nullptr : credential->second;
}

void NSURLCredentialStorage::setDefaultCredential_forProtectionSpace(const Ref<NSURLCredential>& credential,
                                                                     const Ref<NSURLProtectionSpace>& space)
{
    if (!isKept(credential) || !space) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[space->key()];
        if (!entry.space) {
            entry.space = space;
        }
        entry.credentials[credential->user()] = credential;
        entry.defaultUser = credential->user();
        writeLocked();
    }
    changed();
}

bool NSURLCredentialStorage::lastWriteSucceeded() const
{
    std::lock_guard lock(mutex_);
    return lastWriteSucceeded_;
}
