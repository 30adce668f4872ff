#pragma once
// MIME types of file extensions (the phone's type registry: preferred identifier for the extension,
// then its preferred MIME tag).
//
// A built-in table answers the common types the same way on every machine; other extensions are looked
// up in the system's /etc/mime.types. Extensions compare without regard to case.
#include <string>
#include <string_view>

namespace MIMEType {

// The type for an extension without the dot ("jpg" -> "image/jpeg"); the empty text when unknown.
std::string forExtension(std::string_view extension);
// The type for the extension of a path's last component; the empty text when unknown or none.
std::string forPath(std::string_view path);

}  // namespace MIMEType
