#pragma once
// NSFileManager: the file operations the application uses, on POSIX paths.
//
// Operations that can fail return false (or nil / empty) and, when `error` is given, set it to an
// NSError of NSCocoaErrorDomain (NSFileNoSuchFileError 4, NSFileWriteFileExistsError 516, ...) whose
// underlying error is the POSIX one. As on the platform, move and copy refuse an existing destination.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// Keys and values of attribute dictionaries.
inline constexpr char NSFileSize[] = "NSFileSize";                          // UInt
inline constexpr char NSFileModificationDate[] = "NSFileModificationDate";  // Date
inline constexpr char NSFileCreationDate[] = "NSFileCreationDate";          // Date (the status-change time here)
inline constexpr char NSFileType[] = "NSFileType";                          // one of the texts below
inline constexpr char NSFilePosixPermissions[] = "NSFilePosixPermissions";  // UInt
inline constexpr char NSFileTypeRegular[] = "NSFileTypeRegular";
inline constexpr char NSFileTypeDirectory[] = "NSFileTypeDirectory";
inline constexpr char NSFileTypeSymbolicLink[] = "NSFileTypeSymbolicLink";
inline constexpr char NSFileTypeUnknown[] = "NSFileTypeUnknown";

enum : NSInteger {
    NSFileNoSuchFileError = 4,
    NSFileReadUnknownError = 256,
    NSFileReadNoPermissionError = 257,
    NSFileWriteUnknownError = 512,
    NSFileWriteNoPermissionError = 513,
    NSFileWriteFileExistsError = 516,
    NSFileWriteOutOfSpaceError = 640,
};

// Walks a folder tree lazily: nextObject() gives paths relative to the root, parents before their
// contents, "" at the end. skipDescendants() skips the contents of the folder just returned.
class NSDirectoryEnumerator : public NSObject {
public:
    static Ref<NSDirectoryEnumerator> enumeratorAtPath(const std::string& path);
    ~NSDirectoryEnumerator() override;
    std::string nextObject();
    void skipDescendants();
    // Attributes of the item last returned.
    Value fileAttributes() const;
    NSUInteger level() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

class NSFileManager : public NSObject {
public:
    static Ref<NSFileManager> defaultManager();

    bool fileExistsAtPath(const std::string& path) const;
    bool fileExistsAtPath_isDirectory(const std::string& path, bool* isDirectory) const;
    bool isReadableFileAtPath(const std::string& path) const;
    bool isWritableFileAtPath(const std::string& path) const;
    bool isDeletableFileAtPath(const std::string& path) const;

    // Without intermediate folders, the parent must exist; an existing folder is success only with
    // intermediate folders (as on the platform).
    bool createDirectoryAtPath_withIntermediateDirectories_attributes_error(const std::string& path, bool intermediate,
                                                                           const Value& attributes = Value(),
                                                                           Ref<NSError>* error = nullptr);
    // Creates or replaces the file with the contents (none: empty).
    bool createFileAtPath_contents_attributes(const std::string& path, const std::optional<NSData>& contents,
                                              const Value& attributes = Value());
    std::optional<NSData> contentsAtPath(const std::string& path) const;

    bool moveItemAtPath_toPath_error(const std::string& from, const std::string& to, Ref<NSError>* error = nullptr);
    // Copies a file or a whole folder.
    bool copyItemAtPath_toPath_error(const std::string& from, const std::string& to, Ref<NSError>* error = nullptr);
    // Removes a file or a whole folder.
    bool removeItemAtPath_error(const std::string& path, Ref<NSError>* error = nullptr);

    // NSFileSize, NSFileModificationDate, NSFileCreationDate, NSFileType, NSFilePosixPermissions; nil
    // when the item does not exist.
    Value attributesOfItemAtPath_error(const std::string& path, Ref<NSError>* error = nullptr) const;
    // Sets NSFileModificationDate (the others are ignored).
    bool setAttributes_ofItemAtPath_error(const Value& attributes, const std::string& path, Ref<NSError>* error = nullptr);

    // Names in the folder, sorted; empty (and an error) when it cannot be read.
    std::vector<std::string> contentsOfDirectoryAtPath_error(const std::string& path, Ref<NSError>* error = nullptr) const;
    // Every path under the folder, relative to it, in the enumerator's order.
    std::vector<std::string> subpathsOfDirectoryAtPath_error(const std::string& path, Ref<NSError>* error = nullptr) const;
    Ref<NSDirectoryEnumerator> enumeratorAtPath(const std::string& path) const
    {
        return NSDirectoryEnumerator::enumeratorAtPath(path);
    }

    std::string currentDirectoryPath() const;
};
