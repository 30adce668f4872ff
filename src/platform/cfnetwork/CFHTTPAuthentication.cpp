#include "platform/cfnetwork/CFHTTPAuthentication.h"
#include "platform/crypto/OpenSSLLifetime.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <openssl/hmac.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/cfnetwork/HTTPWire.h"
#include "platform/foundation/NSString.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Charset.h"

namespace {

// Keys of the objects whose credentials were applied to a request message (associated objects).
const char kServerAuthenticationKey = 0;
const char kProxyAuthenticationKey = 0;

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+': case '-': case '.':
    case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool isToken68Char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '+' || c == '/';
}

// A small cursor over a header value.
struct Cursor {
    std::string_view text;
    size_t pos = 0;

    bool atEnd() const { return pos >= text.size(); }
    char peek() const { return atEnd() ? '\0' : text[pos]; }
    void skipSpaces()
    {
        while (!atEnd() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
    }
    void skipSpacesAndCommas()
    {
        while (!atEnd() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) {
            ++pos;
        }
    }
    std::string token()
    {
        size_t start = pos;
        while (!atEnd() && isTokenChar(text[pos])) {
            ++pos;
        }
        return std::string(text.substr(start, pos - start));
    }
    // A quoted string after its opening quote has been seen; an unterminated one runs to the end.
    std::string quoted()
    {
        std::string out;
        ++pos;  // the opening quote
        while (!atEnd()) {
            char c = text[pos++];
            if (c == '"') {
                return out;
            }
            if (c == '\\' && !atEnd()) {
                c = text[pos++];
            }
            out.push_back(c);
        }
        return out;
    }
    // Skips to just after the next comma (or the end): the rest of an item that cannot be read.
    void skipItem()
    {
        while (!atEnd()) {
            char c = text[pos];
            if (c == '"') {
                quoted();
                continue;
            }
            ++pos;
            if (c == ',') {
                return;
            }
        }
    }
    // Whether a token68 ("abc+/==") starts here and is the whole item (followed by the end or a comma).
    std::optional<std::string> token68()
    {
        size_t p = pos;
        while (p < text.size() && isToken68Char(text[p])) {
            ++p;
        }
        if (p == pos) {
            return std::nullopt;
        }
        while (p < text.size() && text[p] == '=') {
            ++p;
        }
        size_t end = p;
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
            ++p;
        }
        if (p < text.size() && text[p] != ',') {
            return std::nullopt;
        }
        std::string value(text.substr(pos, end - pos));
        pos = p;
        return value;
    }
};

std::string quote(std::string_view value)
{
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool hasControlCharacters(std::string_view text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

std::string sha256Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return CommonCrypto::hex(digest, length);
}

std::string randomClientNonce()
{
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        // The generator is never expected to fail; a nonce made from the address space and the clock is
        // still unique enough for a client nonce, which only has to differ between uses.
        uint64_t fallback[2] = {reinterpret_cast<uintptr_t>(bytes), static_cast<uint64_t>(time(nullptr))};
        return CommonCrypto::hex(reinterpret_cast<const uint8_t*>(fallback), sizeof fallback);
    }
    return CommonCrypto::hex(bytes, sizeof bytes);
}

// A Digest challenge's "qop" list, lower-cased.
std::vector<std::string> qopOptions(const CFHTTPAuthenticationChallenge& challenge)
{
    std::vector<std::string> out;
    auto qop = challenge.parameter("qop");
    if (!qop) {
        return out;
    }
    std::string item;
    for (char c : *qop + ",") {
        if (c == ',') {
            size_t b = item.find_first_not_of(" \t");
            size_t e = item.find_last_not_of(" \t");
            if (b != std::string::npos) {
                out.push_back(NSString::asciiLowercaseString(item.substr(b, e - b + 1)));
            }
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> CFHTTPAuthenticationChallenge::parameter(std::string_view name) const
{
    for (const auto& [key, value] : parameters) {
        if (NSString::asciiEqualIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::vector<CFHTTPAuthenticationChallenge> CFHTTPAuthentication::parseChallenges(std::string_view headerValue)
{
    std::vector<CFHTTPAuthenticationChallenge> out;
    Cursor c{headerValue};
    while (true) {
        c.skipSpacesAndCommas();
        if (c.atEnd()) {
            break;
        }
        size_t itemStart = c.pos;
        std::string name = c.token();
        if (name.empty()) {
            c.skipItem();
            continue;
        }
        c.skipSpaces();
        if (c.peek() == '=') {
            // "name=value": a parameter of the current challenge.
            ++c.pos;
            c.skipSpaces();
            std::string value;
            if (c.peek() == '"') {
                value = c.quoted();
            } else {
                value = c.token();
            }
            c.skipSpaces();
            if (out.empty() || (!c.atEnd() && c.peek() != ',')) {
                c.pos = itemStart;
                c.skipItem();  // a parameter before any scheme, or garbage after a value
                continue;
            }
            if (out.back().token68.empty()) {
                out.back().parameters.emplace_back(NSString::asciiLowercaseString(name), std::move(value));
            }
            continue;
        }
        // A new challenge: the scheme, then a token68, parameters, or nothing.
        CFHTTPAuthenticationChallenge challenge;
        challenge.scheme = name;
        if (!c.atEnd() && c.peek() != ',') {
            if (auto t = c.token68()) {
                challenge.token68 = *t;
            }
        }
        out.push_back(std::move(challenge));
    }
    return out;
}

std::optional<int> CFHTTPAuthentication::rank(const CFHTTPAuthenticationChallenge& challenge)
{
    if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeDigest)) {
        if (!challenge.parameter("nonce")) {
            return std::nullopt;
        }
        std::string algorithm = NSString::asciiLowercaseString(challenge.parameter("algorithm").value_or("md5"));
        bool session = algorithm.size() > 5 && algorithm.ends_with("-sess");
        std::string base = session ? algorithm.substr(0, algorithm.size() - 5) : algorithm;
        if (base != "md5" && base != "sha-256") {
            return std::nullopt;
        }
        auto qops = qopOptions(challenge);
        bool auth = std::find(qops.begin(), qops.end(), "auth") != qops.end();
        if (challenge.parameter("qop") && !auth) {
            return std::nullopt;  // only auth-int (or nothing known) offered
        }
        if (session && !auth) {
            return std::nullopt;  // a session key needs the client nonce, which goes only with qop
        }
        return base == "sha-256" ? 40 : 30;
    }
    if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeBasic)) {
        return 20;
    }
    if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeNTLM)) {
        if (!challenge.token68.empty()) {
            auto bytes = Base64::decode(challenge.token68);
            if (!bytes || !NTLM::parseChallengeMessage(*bytes)) {
                return std::nullopt;
            }
        }
        return 50;
    }
    return std::nullopt;
}

Ref<CFHTTPAuthentication> CFHTTPAuthentication::createFromResponse(const Ref<CFHTTPMessage>& response)
{
    if (!response || response->isRequest()) {
        return nullptr;
    }
    int code = response->getResponseStatusCode();
    if (code != 401 && code != 407) {
        return nullptr;
    }
    bool proxy = code == 407;
    auto header = response->copyHeaderFieldValue(proxy ? "Proxy-Authenticate" : "WWW-Authenticate");
    if (!header) {
        return nullptr;
    }
    auto challenges = parseChallenges(*header);
    if (challenges.empty()) {
        return nullptr;
    }
    auto auth = std::make_shared<CFHTTPAuthentication>();
    auth->proxy_ = proxy;
    const CFHTTPAuthenticationChallenge* best = nullptr;
    int bestRank = -1;
    for (const auto& challenge : challenges) {
        auto r = rank(challenge);
        if (r && *r > bestRank) {
            bestRank = *r;
            best = &challenge;
        }
    }
    if (!best) {
        auth->method_ = challenges.front().scheme;
        auth->realm_ = challenges.front().parameter("realm").value_or("");
        auth->valid_ = false;
        auth->error_ = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPAuthenticationTypeUnsupported};
        return auth;
    }
    auth->take(*best);
    return auth;
}

void CFHTTPAuthentication::take(const CFHTTPAuthenticationChallenge& challenge)
{
    if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeDigest)) {
        kind_ = Kind::Digest;
        method_ = kCFHTTPAuthenticationSchemeDigest;
        realm_ = challenge.parameter("realm").value_or("");
        algorithm_ = challenge.parameter("algorithm").value_or("");
        std::string algorithm = NSString::asciiLowercaseString(algorithm_.empty() ? std::string("md5") : algorithm_);
        session_ = algorithm.ends_with("-sess");
        hash_ = algorithm.starts_with("sha-256") ? DigestHash::SHA256 : DigestHash::MD5;
        nonce_ = *challenge.parameter("nonce");
        auto opaque = challenge.parameter("opaque");
        hasOpaque_ = opaque.has_value();
        opaque_ = opaque.value_or("");
        auto qops = qopOptions(challenge);
        qopAuth_ = std::find(qops.begin(), qops.end(), "auth") != qops.end();
        nonceCount_ = 0;
        domains_.clear();
        if (auto domain = challenge.parameter("domain")) {
            std::string item;
            for (char c : *domain + " ") {
                if (c == ' ' || c == '\t') {
                    if (!item.empty()) {
                        domains_.push_back(item);
                    }
                    item.clear();
                } else {
                    item.push_back(c);
                }
            }
        }
    } else if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeBasic)) {
        kind_ = Kind::Basic;
        method_ = kCFHTTPAuthenticationSchemeBasic;
        realm_ = challenge.parameter("realm").value_or("");
    } else {
        kind_ = Kind::NTLM;
        method_ = kCFHTTPAuthenticationSchemeNTLM;
        realm_.clear();
        ntlmChallenge_.clear();
        ntlmStep_ = NTLMStep::Start;
        if (!challenge.token68.empty()) {
            ntlmChallenge_ = Base64::decode(challenge.token68).value_or("");
            ntlmStep_ = NTLMStep::HaveChallenge;
        }
    }
}

bool CFHTTPAuthentication::isValid(CFStreamError* error) const
{
    std::lock_guard lock(mutex_);
    if (error) {
        *error = valid_ ? CFStreamError{} : error_;
    }
    return valid_;
}

std::string CFHTTPAuthentication::copyMethod() const
{
    std::lock_guard lock(mutex_);
    return method_;
}

std::string CFHTTPAuthentication::copyRealm() const
{
    std::lock_guard lock(mutex_);
    return realm_;
}

std::vector<std::string> CFHTTPAuthentication::copyDomains() const
{
    std::lock_guard lock(mutex_);
    return domains_;
}

bool CFHTTPAuthentication::requiresAccountDomain() const
{
    std::lock_guard lock(mutex_);
    return kind_ == Kind::NTLM;
}

bool CFHTTPAuthentication::requiresUserNameAndPassword() const
{
    std::lock_guard lock(mutex_);
    return kind_ != Kind::Unsupported;
}

bool CFHTTPAuthentication::requiresOrderedRequests() const
{
    std::lock_guard lock(mutex_);
    return kind_ == Kind::NTLM;
}

void CFHTTPAuthentication::setClientNonce(std::string cnonce)
{
    std::lock_guard lock(mutex_);
    nextClientNonce_ = std::move(cnonce);
}

void CFHTTPAuthentication::noteResponse(const Ref<CFHTTPMessage>& request, const Ref<CFHTTPMessage>& response)
{
    if (!request || !response) {
        return;
    }
    int code = response->getResponseStatusCode();
    if (code == 401) {
        if (auto auth = request->associatedObject<CFHTTPAuthentication>(&kServerAuthenticationKey)) {
            auth->challengedAgain(response);
        }
    } else if (code == 407) {
        if (auto auth = request->associatedObject<CFHTTPAuthentication>(&kProxyAuthenticationKey)) {
            auth->challengedAgain(response);
        }
    }
}

void CFHTTPAuthentication::challengedAgain(const Ref<CFHTTPMessage>& response)
{
    auto header = response->copyHeaderFieldValue(proxy_ ? "Proxy-Authenticate" : "WWW-Authenticate");
    auto challenges = parseChallenges(header.value_or(""));
    std::lock_guard lock(mutex_);
    if (!valid_) {
        return;
    }
    if (kind_ == Kind::Digest) {
        for (const auto& challenge : challenges) {
            if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeDigest) && rank(challenge) &&
                NSString::asciiEqualIgnoringCase(challenge.parameter("stale").value_or(""), "true") &&
                challenge.parameter("realm").value_or("") == realm_) {
                take(challenge);  // the credentials were right; only the nonce had expired
                return;
            }
        }
    } else if (kind_ == Kind::NTLM && ntlmStep_ == NTLMStep::SentNegotiate) {
        for (const auto& challenge : challenges) {
            if (NSString::asciiEqualIgnoringCase(challenge.scheme, kCFHTTPAuthenticationSchemeNTLM) && !challenge.token68.empty() &&
                rank(challenge)) {
                take(challenge);  // the second step of the handshake, not a refusal
                return;
            }
        }
    }
    valid_ = false;
    error_ = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPAuthenticationBadPassword};
}

std::optional<std::string> CFHTTPAuthentication::digestHeader(const Ref<CFHTTPMessage>& request,
                                                              const std::string& user, const std::string& password)
{
    const Ref<NSURL>& url = request->copyRequestURL();
    if (!url) {
        return std::nullopt;
    }
    std::string method = request->copyRequestMethod();
    std::string uri;
    if (!proxy_) {
        uri = url->requestTarget();
    } else if (NSString::asciiLowercaseString(url->scheme()) == "https") {
        // A proxy sees only the CONNECT of an https request.
        method = "CONNECT";
        uri = HTTPWire::hostHeader(*url, true);
    } else {
        uri = NSString::asciiLowercaseString(url->scheme()) + "://" + HTTPWire::hostHeader(*url, false) + url->requestTarget();
    }
    auto H = [this](std::string_view text) {
        return hash_ == DigestHash::SHA256 ? sha256Hex(text) : CommonCrypto::hex(CommonCrypto::md5(text));
    };

    std::string cnonce;
    char nc[9] = {};
    if (qopAuth_) {
        cnonce = nextClientNonce_.empty() ? randomClientNonce() : nextClientNonce_;
        nextClientNonce_.clear();
        ++nonceCount_;
        std::snprintf(nc, sizeof nc, "%08x", nonceCount_);
    }
    std::string ha1 = H(user + ":" + realm_ + ":" + password);
    if (session_) {
        ha1 = H(ha1 + ":" + nonce_ + ":" + cnonce);
    }
    std::string ha2 = H(method + ":" + uri);
    std::string response = qopAuth_ ? H(ha1 + ":" + nonce_ + ":" + nc + ":" + cnonce + ":auth:" + ha2)
                                    : H(ha1 + ":" + nonce_ + ":" + ha2);

    std::string header = "Digest username=" + quote(user) + ", realm=" + quote(realm_) + ", nonce=" + quote(nonce_) +
                         ", uri=" + quote(uri) + ", response=" + quote(response);
    if (!algorithm_.empty()) {
        header += ", algorithm=" + algorithm_;
    }
    if (hasOpaque_) {
        header += ", opaque=" + quote(opaque_);
    }
    if (qopAuth_) {
        header += ", qop=auth, nc=" + std::string(nc) + ", cnonce=" + quote(cnonce);
    }
    return header;
}

bool CFHTTPAuthentication::apply(const Ref<CFHTTPMessage>& request, const std::string& user,
                                 const std::string& password, const std::string& domain, CFStreamError* error)
{
    auto refuse = [error](SInt32 code) {
        if (error) {
            *error = {kCFStreamErrorDomainHTTP, code};
        }
        return false;
    };
    if (!request || !request->isRequest()) {
        return refuse(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
    }
    std::string header;
    {
        std::lock_guard lock(mutex_);
        if (!valid_) {
            if (error) {
                *error = error_;
            }
            return false;
        }
        switch (kind_) {
        case Kind::Basic:
            if (user.find(':') != std::string::npos) {
                return refuse(kCFStreamErrorHTTPAuthenticationBadUserName);
            }
            header = "Basic " + Base64::encode(user + ":" + password);
            break;
        case Kind::Digest: {
            if (hasControlCharacters(user) || hasControlCharacters(password)) {
                return refuse(hasControlCharacters(user) ? kCFStreamErrorHTTPAuthenticationBadUserName
                                                         : kCFStreamErrorHTTPAuthenticationBadPassword);
            }
            auto value = digestHeader(request, user, password);
            if (!value) {
                return refuse(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
            }
            header = *value;
            break;
        }
        case Kind::NTLM:
            if (ntlmStep_ == NTLMStep::HaveChallenge) {
                auto challenge = NTLM::parseChallengeMessage(ntlmChallenge_);
                if (!challenge) {
                    return refuse(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
                }
                std::array<uint8_t, 8> clientChallenge{};
                if (RAND_bytes(clientChallenge.data(), static_cast<int>(clientChallenge.size())) != 1) {
                    return refuse(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
                }
                auto now = std::chrono::system_clock::now().time_since_epoch();
                uint64_t fileTime = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count() +
                                                          11644473600LL) * 10000000ULL;
                header = "NTLM " + Base64::encode(NTLM::authenticateMessage(*challenge, user, password, domain, "",
                                                                            clientChallenge, fileTime));
                ntlmStep_ = NTLMStep::SentAuthenticate;
                ntlmChallenge_.clear();
            } else {
                header = "NTLM " + Base64::encode(NTLM::negotiateMessage());
                ntlmStep_ = NTLMStep::SentNegotiate;
            }
            break;
        case Kind::Unsupported:
            return refuse(kCFStreamErrorHTTPAuthenticationTypeUnsupported);
        }
    }
    if (!request->setHeaderFieldValue(proxy_ ? "Proxy-Authorization" : "Authorization", header)) {
        return refuse(kCFStreamErrorHTTPAuthenticationBadUserName);
    }
    request->setAssociatedObject(proxy_ ? &kProxyAuthenticationKey : &kServerAuthenticationKey, shared_from_this());
    if (error) {
        *error = {};
    }
    return true;
}

bool CFHTTPMessageApplyCredentialDictionary(const Ref<CFHTTPMessage>& request,
                                            const Ref<CFHTTPAuthentication>& authentication, const Value& credentials,
                                            CFStreamError* error)
{
    if (!authentication) {
        if (error) {
            *error = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPAuthenticationTypeUnsupported};
        }
        return false;
    }
    Value user = credentials[kCFHTTPAuthenticationUsername];
    if (!user.isString()) {
        if (error) {
            *error = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPAuthenticationBadUserName};
        }
        return false;
    }
    return authentication->apply(request, user.string(), credentials[kCFHTTPAuthenticationPassword].stringValue(),
                                 credentials[kCFHTTPAuthenticationAccountDomain].stringValue(), error);
}

bool CFHTTPMessageApplyCredentials(const Ref<CFHTTPMessage>& request, const Ref<CFHTTPAuthentication>& authentication,
                                   const std::string& username, const std::string& password, CFStreamError* error)
{
    if (!authentication) {
        if (error) {
            *error = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPAuthenticationTypeUnsupported};
        }
        return false;
    }
    return authentication->apply(request, username, password, "", error);
}

// ---- NTLM ------------------------------------------------------------------------------------------------

namespace NTLM {

namespace {

constexpr uint32_t kUnicode = 0x00000001;
constexpr uint32_t kOEM = 0x00000002;
constexpr uint32_t kRequestTarget = 0x00000004;
constexpr uint32_t kNTLM = 0x00000200;
constexpr uint32_t kAlwaysSign = 0x00008000;
constexpr uint32_t kExtendedSessionSecurity = 0x00080000;
constexpr uint32_t kTargetInfo = 0x00800000;
constexpr uint32_t k128 = 0x20000000;
constexpr uint32_t k56 = 0x80000000;
constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr uint16_t kAvTimestamp = 7;
constexpr uint16_t kAvEOL = 0;

void put16(std::string& out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

void put64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
}

uint32_t get16(std::string_view in, size_t at)
{
    return static_cast<uint8_t>(in[at]) | static_cast<uint32_t>(static_cast<uint8_t>(in[at + 1])) << 8;
}

uint32_t get32(std::string_view in, size_t at)
{
    return get16(in, at) | get16(in, at + 2) << 16;
}

// UTF-16LE of UTF-8 text (bytes that are not UTF-8 are taken as Latin-1), optionally upper-cased.
std::string utf16le(std::string_view text, bool upper = false)
{
    std::u32string points;
    if (auto decoded = Charset::decodeUTF8(text)) {
        points = *decoded;
    } else {
        for (unsigned char c : text) {
            points.push_back(c);
        }
    }
    std::string out;
    for (char32_t c : points) {
        if (upper && ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))) {
            c -= 0x20;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            put16(out, static_cast<uint16_t>(0xD800 + (c >> 10)));
            put16(out, static_cast<uint16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            put16(out, static_cast<uint16_t>(c));
        }
    }
    return out;
}

std::string hmacMD5(std::string_view key, std::string_view data)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
         data.size(), out, &length);
    return std::string(reinterpret_cast<char*>(out), length);
}

std::string_view bytesOf(const std::array<uint8_t, 16>& a)
{
    return {reinterpret_cast<const char*>(a.data()), a.size()};
}

// MD4 of RFC 1320 (OpenSSL keeps it in its legacy provider, which is not loaded by default).
struct MD4 {
    uint32_t a = 0x67452301, b = 0xefcdab89, c = 0x98badcfe, d = 0x10325476;

    static uint32_t rol(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

    void block(const unsigned char* p)
    {
        uint32_t x[16];
        for (int i = 0; i < 16; ++i) {
            x[i] = p[4 * i] | static_cast<uint32_t>(p[4 * i + 1]) << 8 | static_cast<uint32_t>(p[4 * i + 2]) << 16 |
                   static_cast<uint32_t>(p[4 * i + 3]) << 24;
        }
        uint32_t aa = a, bb = b, cc = c, dd = d;
        uint32_t* words[4] = {&a, &b, &c, &d};
        // Step j of a round updates a, d, c, b in turn, from the three words that follow it.
        auto round = [&](auto mix, const int* order, const int* shifts, uint32_t constant) {
            for (int i = 0; i < 16; ++i) {
                int position = (4 - i % 4) % 4;
                uint32_t& t = *words[position];
                t = rol(t + mix(*words[(position + 1) % 4], *words[(position + 2) % 4], *words[(position + 3) % 4]) +
                            x[order[i]] + constant,
                        shifts[i % 4]);
            }
        };
        static const int order1[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        static const int order2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
        static const int order3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        static const int s1[4] = {3, 7, 11, 19};
        static const int s2[4] = {3, 5, 9, 13};
        static const int s3[4] = {3, 9, 11, 15};
        round([](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }, order1, s1, 0);
        round([](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }, order2, s2, 0x5a827999);
        round([](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }, order3, s3, 0x6ed9eba1);
        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
};

}  // namespace

std::array<uint8_t, 16> md4(std::string_view bytes)
{
    MD4 state;
    std::string padded(bytes);
    uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    padded.push_back(static_cast<char>(0x80));
    while (padded.size() % 64 != 56) {
        padded.push_back('\0');
    }
    put64(padded, bits);
    for (size_t i = 0; i < padded.size(); i += 64) {
        state.block(reinterpret_cast<const unsigned char*>(padded.data() + i));
    }
    std::array<uint8_t, 16> out{};
    uint32_t words[4] = {state.a, state.b, state.c, state.d};
    for (int i = 0; i < 16; ++i) {
        out[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
    }
    return out;
}

std::string negotiateMessage()
{
    std::string out(kSignature, sizeof kSignature);
    put32(out, 1);
    put32(out, kUnicode | kOEM | kRequestTarget | kNTLM | kAlwaysSign | kExtendedSessionSecurity | k128 | k56);
    // Empty domain and workstation fields, pointing just past the header.
    for (int i = 0; i < 2; ++i) {
        put16(out, 0);
        put16(out, 0);
        put32(out, 32);
    }
    return out;
}

std::optional<ChallengeMessage> parseChallengeMessage(std::string_view bytes)
{
    if (bytes.size() < 32 || bytes.substr(0, 8) != std::string_view(kSignature, 8) || get32(bytes, 8) != 2) {
        return std::nullopt;
    }
    ChallengeMessage out;
    out.flags = get32(bytes, 20);
    for (size_t i = 0; i < 8; ++i) {
        out.serverChallenge[i] = static_cast<uint8_t>(bytes[24 + i]);
    }
    if (bytes.size() >= 48) {
        uint32_t length = get16(bytes, 40);
        uint32_t offset = get32(bytes, 44);
        if (length > 0) {
            if (offset > bytes.size() || length > bytes.size() - offset) {
                return std::nullopt;
            }
            out.targetInfo = std::string(bytes.substr(offset, length));
        }
    }
    // Walk the AV pairs: they must be well formed, and the timestamp matters.
    std::string_view pairs = out.targetInfo;
    size_t at = 0;
    while (at + 4 <= pairs.size()) {
        uint16_t id = static_cast<uint16_t>(get16(pairs, at));
        uint16_t length = static_cast<uint16_t>(get16(pairs, at + 2));
        if (at + 4 + length > pairs.size()) {
            return std::nullopt;
        }
        if (id == kAvTimestamp && length == 8) {
            uint64_t t = 0;
            for (int i = 7; i >= 0; --i) {
                t = t << 8 | static_cast<uint8_t>(pairs[at + 4 + i]);
            }
            out.timestamp = t;
        }
        at += 4 + length;
        if (id == kAvEOL) {
            break;
        }
    }
    return out;
}

std::array<uint8_t, 16> ntowfv2(const std::string& user, const std::string& password, const std::string& domain)
{
    auto key = md4(utf16le(password));
    std::string mac = hmacMD5(bytesOf(key), utf16le(user, true) + utf16le(domain));
    std::array<uint8_t, 16> out{};
    std::copy(mac.begin(), mac.begin() + 16, out.begin());
    return out;
}

std::string authenticateMessage(const ChallengeMessage& challenge, const std::string& user,
                                const std::string& password, const std::string& domain,
                                const std::string& workstation, const std::array<uint8_t, 8>& clientChallenge,
                                uint64_t fileTime)
{
    auto key = ntowfv2(user, password, domain);
    std::string server(reinterpret_cast<const char*>(challenge.serverChallenge.data()), 8);
    std::string client(reinterpret_cast<const char*>(clientChallenge.data()), 8);

    std::string blob = std::string("\x01\x01", 2) + std::string(6, '\0');
    put64(blob, challenge.timestamp.value_or(fileTime));
    blob += client;
    blob += std::string(4, '\0');
    blob += challenge.targetInfo;
    blob += std::string(4, '\0');
    std::string nt = hmacMD5(bytesOf(key), server + blob) + blob;
    std::string lm = challenge.timestamp ? std::string(24, '\0') : hmacMD5(bytesOf(key), server + client) + client;

    bool unicode = (challenge.flags & kUnicode) != 0;
    uint32_t flags = (challenge.flags & (kRequestTarget | kNTLM | kAlwaysSign | kExtendedSessionSecurity |
                                         kTargetInfo | k128 | k56)) |
                     (unicode ? kUnicode : kOEM);
    std::string domainBytes = unicode ? utf16le(domain) : domain;
    std::string userBytes = unicode ? utf16le(user) : user;
    std::string workstationBytes = unicode ? utf16le(workstation) : workstation;

    std::string out(kSignature, sizeof kSignature);
    put32(out, 3);
    uint32_t offset = 64;
    std::string payload;
    auto field = [&](const std::string& bytes) {
        put16(out, static_cast<uint16_t>(bytes.size()));
        put16(out, static_cast<uint16_t>(bytes.size()));
        put32(out, offset + static_cast<uint32_t>(payload.size()));
        payload += bytes;
    };
    field(lm);
    field(nt);
    field(domainBytes);
    field(userBytes);
    field(workstationBytes);
    field(std::string());  // no session key exchange
    put32(out, flags);
    return out + payload;
}

}  // namespace NTLM

namespace {
namespace CFHTTPAuthentication_cpp {
const bool kOpenSSLKept = (OpenSSLLifetime::keepUntilExit(), true);
}  // namespace CFHTTPAuthentication_cpp
}  // namespace
