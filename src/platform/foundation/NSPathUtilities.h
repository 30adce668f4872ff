#pragma once
// The application's folders: home, Documents, Library, Caches, Preferences and the temporary folder.
//
// They live under one root that the application or a test chooses (FoundationRoots::setHomeDirectory);
// by default $OMBRI_HOME, else ~/.local/share/ombri. Choosing a root creates Documents, Library/Caches,
// Library/Preferences and tmp inside it. The temporary folder is <home>/tmp/ unless set on its own.
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"

enum NSSearchPathDirectory : NSUInteger {
    NSApplicationDirectory = 1,
    NSLibraryDirectory = 5,
    NSUserDirectory = 7,
    NSDocumentationDirectory = 8,
    NSDocumentDirectory = 9,
    NSCachesDirectory = 13,
    NSApplicationSupportDirectory = 14,
};

enum NSSearchPathDomainMask : NSUInteger {
    NSUserDomainMask = 1,
    NSLocalDomainMask = 2,
    NSNetworkDomainMask = 4,
    NSSystemDomainMask = 8,
    NSAllDomainsMask = 0x0ffff,
};

// The home folder (no trailing "/").
std::string NSHomeDirectory();
// The temporary folder, with a trailing "/" as the platform gives it.
std::string NSTemporaryDirectory();
// The user-domain folder of the kind: one path for NSUserDomainMask (or a mask including it), none
// otherwise. Library/Caches for NSCachesDirectory, Documents for NSDocumentDirectory, and so on.
std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                              NSSearchPathDomainMask domainMask, bool expandTilde);

namespace FoundationRoots {

// Makes `path` the home folder and creates its standard subfolders. Returns false when it cannot be
// created.
bool setHomeDirectory(const std::string& path);
// Makes `path` the temporary folder (empty: <home>/tmp again).
bool setTemporaryDirectory(const std::string& path);

std::string documentsDirectory();    // <home>/Documents
std::string libraryDirectory();      // <home>/Library
std::string cachesDirectory();       // <home>/Library/Caches
std::string preferencesDirectory();  // <home>/Library/Preferences

}  // namespace FoundationRoots
