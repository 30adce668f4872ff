#pragma once
// Base64 of RFC 4648 (standard alphabet, '=' padding, no line breaks), as request signing and the
// "Authorization: Basic" header need it.
//
//   -[NSData base64EncodedStringWithOptions:0]                   Base64::encode(bytes)
//   -[NSData initWithBase64EncodedString:options:]               Base64::decode(text[, ignoreUnknown])
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Base64 {

std::string encode(std::string_view bytes);

// nullopt for text that is not Base64: a character outside the alphabet (unless ignoreUnknown, which
// skips such characters as the platform's "ignore unknown characters" option does), a length that is
// not a multiple of 4, or misplaced padding.
std::optional<std::string> decode(std::string_view text, bool ignoreUnknown = false);

}  // namespace Base64
