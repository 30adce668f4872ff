#pragma once
// Credentials kept by protection space (the platform's credential storage; the phone's keychain).
//
//   +sharedCredentialStorage                           NSURLCredentialStorage::sharedCredentialStorage()
//   -credentialsForProtectionSpace:                    credentialsForProtectionSpace(space)
//   -allCredentials                                    allCredentials()
//   -setCredential:forProtectionSpace:                 setCredential_forProtectionSpace(credential, space)
//   -removeCredential:forProtectionSpace:              removeCredential_forProtectionSpace(credential, space)
//   -defaultCredentialForProtectionSpace:              defaultCredentialForProtectionSpace(space)
//   -setDefaultCredential:forProtectionSpace:          setDefaultCredential_forProtectionSpace(credential, space)
//
// A space holds at most one credential per user name (setting another with the same user replaces it)
// and at most one default. Credentials with persistence None are never stored. Session credentials
// live in memory only. Permanent (and synchronizable) ones live in memory and, when the storage has a
// file, in that file: a property list readable and writable by the owner only (mode 0600, whatever the
// umask), replaced whole on every change (written beside it, then renamed), and read back when the
// storage is opened. A file that others could read is narrowed to 0600 when it is opened. No headless
// Linux machine has a keyring to hold these, so the file is the keychain; the shared storage has none
// until setPermanentStoragePath() gives it one.
//
// Every change posts NSURLCredentialStorageChangedNotification (object: the storage) on the calling
// thread, after the storage's lock is released. Thread-safe.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/cfnetwork/NSURLCredential.h"
#include "platform/cfnetwork/NSURLProtectionSpace.h"
#include "platform/foundation/NSObject.h"

inline constexpr char NSURLCredentialStorageChangedNotification[] = "NSURLCredentialStorageChangedNotification";

class NSURLCredentialStorage : public NSObject {
public:
    // The process's storage, in memory until setPermanentStoragePath() is called. Never destroyed.
    static Ref<NSURLCredentialStorage> sharedCredentialStorage();
    // A storage of its own, in memory only.
    static Ref<NSURLCredentialStorage> create();
    // A storage whose permanent credentials live in the file at `path` (read at once when it exists).
    static Ref<NSURLCredentialStorage> storageWithFile(const std::string& path);

    // Moves permanent credentials into the file at `path`: what the file holds is read and merged
    // (credentials already in memory win), then the file is written. False when the file exists and
    // cannot be read as a credential file; nothing changes then.
    bool setPermanentStoragePath(const std::string& path);
    std::string permanentStoragePath() const;

    // The credentials of a space by user name.
    std::map<std::string, Ref<NSURLCredential>> credentialsForProtectionSpace(const Ref<NSURLProtectionSpace>& space) const;
    // Every space with its credentials.
    std::vector<std::pair<Ref<NSURLProtectionSpace>, std::map<std::string, Ref<NSURLCredential>>>> allCredentials() const;
    void setCredential_forProtectionSpace(const Ref<NSURLCredential>& credential, const Ref<NSURLProtectionSpace>& space);
    // Removes the credential of that user from the space (and as its default).
    void removeCredential_forProtectionSpace(const Ref<NSURLCredential>& credential, const Ref<NSURLProtectionSpace>& space);
    Ref<NSURLCredential> defaultCredentialForProtectionSpace(const Ref<NSURLProtectionSpace>& space) const;
    // Stores the credential and makes it the space's default.
    void setDefaultCredential_forProtectionSpace(const Ref<NSURLCredential>& credential,
                                                 const Ref<NSURLProtectionSpace>& space);

    // False when the last write of the file failed (the credentials stay in memory).
    bool lastWriteSucceeded() const;

    NSURLCredentialStorage() = default;  // use the factories

private:
    struct Entry {
        Ref<NSURLProtectionSpace> space;
        std::map<std::string, Ref<NSURLCredential>> credentials;
        std::optional<std::string> defaultUser;
    };

    bool loadLocked(const std::string& path, bool merge);
    void writeLocked();
    void changed();

    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;  // by NSURLProtectionSpace::key()
    std::string path_;
    bool lastWriteSucceeded_ = true;
};
