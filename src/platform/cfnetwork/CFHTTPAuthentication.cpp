#include "platform/cfnetwork/CFHTTPAuthentication.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/cfnetwork/HTTPWire.h"
#include "platform/crypto/CommonDigest.h"
#include "platform/foundation/Base64.h"

namespace {

// Keys of the objects whose credentials were applied to a request message (associated objects).
const char kServerAuthenticationKey = 0;
const char kProxyAuthenticationKey = 0;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        c = lower(c);
    }
    return out;
}

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

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
                out.push_back(lowered(item.substr(b, e - b + 1)));
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
        if (iequals(key, name)) {
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
                out.back().parameters.emplace_back(lowered(name), std::move(value));
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
    if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeDigest)) {
        if (!challenge.parameter("nonce")) {
            return std::nullopt;
        }
        std::string algorithm = lowered(challenge.parameter("algorithm").value_or("md5"));
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
    if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeBasic)) {
        return 20;
    }
    if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeNTLM)) {
        return 10;
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
    if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeDigest)) {
        kind_ = Kind::Digest;
        method_ = kCFHTTPAuthenticationSchemeDigest;
        realm_ = challenge.parameter("realm").value_or("");
        algorithm_ = challenge.parameter("algorithm").value_or("");
        std::string algorithm = lowered(algorithm_.empty() ? std::string("md5") : algorithm_);
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
    } else if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeBasic)) {
        kind_ = Kind::Basic;
        method_ = kCFHTTPAuthenticationSchemeBasic;
        realm_ = challenge.parameter("realm").value_or("");
    } else {
        kind_ = Kind::NTLM;
        method_ = kCFHTTPAuthenticationSchemeNTLM;
        realm_.clear();
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
            if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeDigest) && rank(challenge) &&
                iequals(challenge.parameter("stale").value_or(""), "true") &&
                challenge.parameter("realm").value_or("") == realm_) {
                take(challenge);  // the credentials were right; only the nonce had expired
                return;
            }
        }
    } else if (kind_ == Kind::NTLM) {
        for (const auto& challenge : challenges) {
            if (iequals(challenge.scheme, kCFHTTPAuthenticationSchemeNTLM) && !challenge.token68.empty()) {
                return;  // the second step of the handshake, not a refusal
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
    } else if (lowered(url->scheme()) == "https") {
        // A proxy sees only the CONNECT of an https request.
        method = "CONNECT";
        uri = HTTPWire::hostHeader(*url, true);
    } else {
        uri = lowered(url->scheme()) + "://" + HTTPWire::hostHeader(*url, false) + url->requestTarget();
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
                                 const std::string& password, CFStreamError* error)
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
                                 error);
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
    return authentication->apply(request, username, password, error);
}
