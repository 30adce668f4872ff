#pragma once
// NSURL: an immutable URL reference, parsed by the generic syntax of RFC 3986.
//
// Like the phone's class, the factories return nil (an empty Ref) for text that is not a URL:
// characters outside the URL alphabet (space, control characters, non-ASCII bytes, '"', '<', '>',
// '\\', '^', '`', '{', '|', '}'), a '%' not followed by two hexadecimal digits, a second '#', square
// brackets outside an IP-literal host, a port that is not a number in 0..65535, and the empty text.
// Callers that build URLs from unescaped text therefore get nil rather than a malformed request line.
//
//   +URLWithString:                      NSURL::URLWithString(text)
//   +URLWithString:relativeToURL:        NSURL::URLWithString_relativeToURL(text, base)
//   +fileURLWithPath:[isDirectory:]      NSURL::fileURLWithPath(path[, isDirectory])
//   -absoluteString, -relativeString     absoluteString(), relativeString()
//   -absoluteURL, -baseURL               absoluteURL(), baseURL()
//   -scheme, -host, -port, -user, -password, -path, -query, -fragment, -lastPathComponent,
//   -pathExtension, -isFileURL, -isEqual:, -description
//
// Conventions: components that the phone returns as nil read as the empty text here, except port,
// which is optional (a URL that names no port has no port: "http://h/" and "http://h:80/" differ).
// host() has IP-literal brackets removed and escapes decoded; path() is decoded and loses a trailing
// "/" (except the root path "/"), as on the phone. The percent-encoded forms that go on the wire are
// percentEncodedPath(), percentEncodedQuery() and resourceSpecifier-style requestTarget().
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSURL : public NSObject {
public:
    static Ref<NSURL> URLWithString(std::string_view text);
    static Ref<NSURL> URLWithString_relativeToURL(std::string_view text, const Ref<NSURL>& base);
    static Ref<NSURL> fileURLWithPath(std::string_view path);
    static Ref<NSURL> fileURLWithPath_isDirectory(std::string_view path, bool isDirectory);

    // The URL resolved against its base (the URL itself when it has no base).
    Ref<NSURL> absoluteURL() const;
    const Ref<NSURL>& baseURL() const { return base_; }
    std::string absoluteString() const;
    const std::string& relativeString() const { return text_; }
    std::string description() const override { return absoluteString(); }

    // Components of the absolute URL.
    std::string scheme() const;
    std::string host() const;
    std::optional<int> port() const;
    std::string user() const;
    std::string password() const;
    std::string path() const;
    std::string query() const;
    std::string fragment() const;
    std::string lastPathComponent() const;
    std::string pathExtension() const;
    bool isFileURL() const;

    // Whether the absolute URL has an authority ("//host") part, and a query ("?" present).
    bool hasAuthority() const;
    bool hasQuery() const;

    // Wire forms, still percent-encoded: the path ("/" when empty and an authority exists), the query,
    // and the origin-form request target "path[?query]" that an HTTP request line carries.
    std::string percentEncodedPath() const;
    std::string percentEncodedQuery() const;
    std::string requestTarget() const;

    // Equal when both the relative text and the base are equal, as on the phone.
    bool isEqual(const NSObject* other) const override;
    bool isEqual(const Ref<NSURL>& other) const { return isEqual(other.get()); }

    // Parsed pieces of a URL reference, still percent-encoded. Exposed for the resolver's tests.
    struct Components {
        std::optional<std::string> scheme;
        std::optional<std::string> authority;  // userinfo@host:port as written
        std::string path;
        std::optional<std::string> query;
        std::optional<std::string> fragment;
        std::string recompose() const;
    };
    static std::optional<Components> parse(std::string_view text);
    static Components resolve(const Components& base, const Components& reference);
    static std::string removeDotSegments(std::string_view path);

    NSURL() = default;  // use the factories

private:
    struct Authority {
        std::string userinfo;  // encoded, without '@'
        bool hasUserinfo = false;
        std::string host;  // encoded, IP-literal brackets kept
        std::optional<int> port;
    };
    static std::optional<Authority> splitAuthority(std::string_view authority);

    static Ref<NSURL> make(std::string text, const Ref<NSURL>& base);
    const Components& absolute() const { return absolute_; }

    std::string text_;
    Ref<NSURL> base_;
    Components absolute_;
    Authority authority_;
};
