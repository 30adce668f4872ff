#include "platform/foundation/NSFileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/foundation/NSString.h"

namespace fs = std::filesystem;

namespace {

NSInteger cocoaCode(int posix, bool writing)
{
    switch (posix) {
    case ENOENT:
    case ENOTDIR: return NSFileNoSuchFileError;
    case EEXIST:
    case ENOTEMPTY: return NSFileWriteFileExistsError;
    case EACCES:
    case EPERM:
    case EROFS: return writing ? NSFileWriteNoPermissionError : NSFileReadNoPermissionError;
    case ENOSPC:
    case EDQUOT: return NSFileWriteOutOfSpaceError;
    default: return writing ? NSFileWriteUnknownError : NSFileReadUnknownError;
    }
}

bool fail(Ref<NSError>* error, int posix, const std::string& path, bool writing = true)
{
    if (error != nullptr) {
        Value info = Value::dictionary({
            {NSFilePathErrorKey, path},
            {NSUnderlyingErrorKey, NSError::posixError(posix, path)},
        });
        *error = NSError::errorWithDomain_code_userInfo(NSCocoaErrorDomain, cocoaCode(posix, writing), info);
    }
    return false;
}

NSDate dateOf(const struct timespec& ts)
{
    return NSDate::dateWithTimeIntervalSince1970(static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9);
}

Value attributesOf(const struct stat& st)
{
    const char* type = S_ISREG(st.st_mode) ? NSFileTypeRegular
                       : S_ISDIR(st.st_mode) ? NSFileTypeDirectory
                       : S_ISLNK(st.st_mode) ? NSFileTypeSymbolicLink
                                             : NSFileTypeUnknown;
    return Value::dictionary({
        {NSFileSize, static_cast<unsigned long long>(st.st_size)},
        {NSFileModificationDate, dateOf(st.st_mtim)},
        {NSFileCreationDate, dateOf(st.st_ctim)},
        {NSFileType, type},
        {NSFilePosixPermissions, static_cast<unsigned long long>(st.st_mode & 07777)},
    });
}

}  // namespace

// ---- NSDirectoryEnumerator --------------------------------------------------------------------------

struct NSDirectoryEnumerator::State {
    fs::path root;
    fs::recursive_directory_iterator it;
    bool started = false;
    std::string lastPath;
};

NSDirectoryEnumerator::~NSDirectoryEnumerator() = default;

Ref<NSDirectoryEnumerator> NSDirectoryEnumerator::enumeratorAtPath(const std::string& path)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(path, ec);
    if (ec) {
        return nullptr;
    }
    auto enumerator = std::make_shared<NSDirectoryEnumerator>();
    enumerator->initBody();
    enumerator->state_ = std::make_unique<State>();
    enumerator->state_->root = path;
    enumerator->state_->it = std::move(it);
    return enumerator;
}

std::string NSDirectoryEnumerator::nextObject()
{
    auto& s = *state_;
    std::error_code ec;
    if (s.started && s.it != fs::recursive_directory_iterator()) {
        s.it.increment(ec);
        if (ec) {
            s.it = fs::recursive_directory_iterator();
        }
    }
    s.started = true;
    if (s.it == fs::recursive_directory_iterator()) {
        s.lastPath.clear();
        return std::string();
    }
    s.lastPath = s.it->path().string();
    return s.it->path().lexically_relative(s.root).string();
}

void NSDirectoryEnumerator::skipDescendants()
{
    if (state_->started && state_->it != fs::recursive_directory_iterator()) {
        state_->it.disable_recursion_pending();
    }
}

Value NSDirectoryEnumerator::fileAttributes() const
{
    struct stat st {};
    if (state_->lastPath.empty() || ::lstat(state_->lastPath.c_str(), &st) != 0) {
        return Value();
    }
    return attributesOf(st);
}

NSUInteger NSDirectoryEnumerator::level() const
{
    if (!state_->started || state_->it == fs::recursive_directory_iterator()) {
        return 0;
    }
    return static_cast<NSUInteger>(state_->it.depth()) + 1;
}

// ---- NSFileManager ----------------------------------------------------------------------------------

Ref<NSFileManager> NSFileManager::defaultManager()
{
    static Ref<NSFileManager>* manager = [] {
        auto m = std::make_shared<NSFileManager>();
        m->initBody();
        return new Ref<NSFileManager>(std::move(m));
    }();
    return *manager;
}

bool NSFileManager::fileExistsAtPath(const std::string& path) const
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool NSFileManager::fileExistsAtPath_isDirectory(const std::string& path, bool* isDirectory) const
{
    struct stat st {};
    const bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0;
    if (isDirectory != nullptr) {
        *isDirectory = exists && S_ISDIR(st.st_mode);
    }
    return exists;
}

bool NSFileManager::isReadableFileAtPath(const std::string& path) const
{
    return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

bool NSFileManager::isWritableFileAtPath(const std::string& path) const
{
    return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}

bool NSFileManager::isDeletableFileAtPath(const std::string& path) const
{
    if (!fileExistsAtPath(path)) {
        return false;
    }
    std::string parent = NSString::stringByDeletingLastPathComponent(path);
    if (parent.empty()) {
        parent = ".";
    }
    return ::access(parent.c_str(), W_OK | X_OK) == 0;
}

bool NSFileManager::createDirectoryAtPath_withIntermediateDirectories_attributes_error(const std::string& path,
                                                                                      bool intermediate,
                                                                                      const Value& attributes,
                                                                                      Ref<NSError>* error)
{
    if (path.empty()) {
        return fail(error, ENOENT, path);
    }
    const mode_t mode = attributes[NSFilePosixPermissions].isNumber()
                            ? static_cast<mode_t>(attributes[NSFilePosixPermissions].unsignedIntValue())
                            : 0755;
    if (!intermediate) {
        if (::mkdir(path.c_str(), mode) != 0) {
            return fail(error, errno, path);
        }
        return true;
    }
    // Each missing folder from the top down; an existing folder on the way (or at the end) is fine.
    std::string built;
    const bool absolute = path.front() == '/';
    const auto parts = NSString::componentsSeparatedByString(path, "/");
    for (const auto& part : parts) {
        if (part.empty()) {
            continue;
        }
        built += (built.empty() && !absolute) ? part : "/" + part;
        if (::mkdir(built.c_str(), mode) != 0) {
            const int e = errno;
            bool isDirectory = false;
            if (e != EEXIST || !fileExistsAtPath_isDirectory(built, &isDirectory) || !isDirectory) {
                return fail(error, e == EEXIST ? ENOTDIR : e, path);
            }
        }
    }
    return true;
}

bool NSFileManager::createFileAtPath_contents_attributes(const std::string& path, const std::optional<NSData>& contents,
                                                         const Value& attributes)
{
    const NSData empty;
    if (!(contents ? *contents : empty).writeToFile_atomically(path, true)) {
        return false;
    }
    if (attributes[NSFilePosixPermissions].isNumber()) {
        ::chmod(path.c_str(), static_cast<mode_t>(attributes[NSFilePosixPermissions].unsignedIntValue()));
    }
    return true;
}

std::optional<NSData> NSFileManager::contentsAtPath(const std::string& path) const
{
    bool isDirectory = false;
    if (!fileExistsAtPath_isDirectory(path, &isDirectory) || isDirectory) {
        return std::nullopt;
    }
    return NSData::dataWithContentsOfFile(path);
}

bool NSFileManager::moveItemAtPath_toPath_error(const std::string& from, const std::string& to, Ref<NSError>* error)
{
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return fail(error, errno, from, false);
    }
    if (::lstat(to.c_str(), &st) == 0) {
        return fail(error, EEXIST, to);
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return fail(error, errno, to);
    }
    // Across file systems: copy, then remove the original.
    return copyItemAtPath_toPath_error(from, to, error) && removeItemAtPath_error(from, error);
}

bool NSFileManager::copyItemAtPath_toPath_error(const std::string& from, const std::string& to, Ref<NSError>* error)
{
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return fail(error, errno, from, false);
    }
    if (::lstat(to.c_str(), &st) == 0) {
        return fail(error, EEXIST, to);
    }
    std::error_code ec;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        return fail(error, ec.value(), to);
    }
    return true;
}

bool NSFileManager::removeItemAtPath_error(const std::string& path, Ref<NSError>* error)
{
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        return fail(error, path.empty() ? ENOENT : errno, path);
    }
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) {
        return fail(error, ec.value(), path);
    }
    return true;
}

Value NSFileManager::attributesOfItemAtPath_error(const std::string& path, Ref<NSError>* error) const
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        fail(error, path.empty() ? ENOENT : errno, path, false);
        return Value();
    }
    return attributesOf(st);
}

bool NSFileManager::setAttributes_ofItemAtPath_error(const Value& attributes, const std::string& path, Ref<NSError>* error)
{
    if (attributes[NSFilePosixPermissions].isNumber() &&
        ::chmod(path.c_str(), static_cast<mode_t>(attributes[NSFilePosixPermissions].unsignedIntValue())) != 0) {
        return fail(error, errno, path);
    }
    const Value date = attributes[NSFileModificationDate];
    if (date.isDate()) {
        const double t = date.date().timeIntervalSince1970();
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(t);
        times[1].tv_nsec = static_cast<long>((t - static_cast<double>(times[1].tv_sec)) * 1e9);
        if (times[1].tv_nsec < 0) {
            times[1].tv_sec -= 1;
            times[1].tv_nsec += 1000000000L;
        }
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            return fail(error, errno, path);
        }
    }
    return true;
}

std::vector<std::string> NSFileManager::contentsOfDirectoryAtPath_error(const std::string& path, Ref<NSError>* error) const
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) {
        fail(error, ec.value(), path, false);
        return names;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> NSFileManager::subpathsOfDirectoryAtPath_error(const std::string& path, Ref<NSError>* error) const
{
    std::vector<std::string> paths;
    auto enumerator = NSDirectoryEnumerator::enumeratorAtPath(path);
    if (!enumerator) {
        fail(error, fileExistsAtPath(path) ? ENOTDIR : ENOENT, path, false);
        return paths;
    }
    for (std::string next = enumerator->nextObject(); !next.empty(); next = enumerator->nextObject()) {
        paths.push_back(std::move(next));
    }
    return paths;
}

std::string NSFileManager::currentDirectoryPath() const
{
    std::error_code ec;
    return fs::current_path(ec).string();
}
