#pragma once
// Authentication objects: the challenge of a 401 or 407 response, and the credentials that answer it.
//
//   CFHTTPAuthenticationCreateFromResponse(alloc, response)     CFHTTPAuthentication::createFromResponse(response)
//   CFHTTPAuthenticationIsValid(auth, &error)                   auth->isValid(&error)
//   CFHTTPAuthenticationCopyMethod(auth)                        auth->copyMethod()
//   CFHTTPAuthenticationCopyRealm(auth)                         auth->copyRealm()
//   CFHTTPAuthenticationCopyDomains(auth)                       auth->copyDomains()
//   CFHTTPAuthenticationRequiresAccountDomain(auth)             auth->requiresAccountDomain()
//   CFHTTPAuthenticationRequiresUserNameAndPassword(auth)       auth->requiresUserNameAndPassword()
//   CFHTTPAuthenticationRequiresOrderedRequests(auth)           auth->requiresOrderedRequests()
//   CFHTTPMessageApplyCredentialDictionary(m, auth, dict, &e)   the free function of the same name
//   CFHTTPMessageApplyCredentials(m, auth, user, pass, &e)      the free function of the same name
//
// Challenges: "WWW-Authenticate" of a 401, "Proxy-Authenticate" of a 407; every line of the header, each
// holding one or more challenges ("Basic realm=\"a\", Digest realm=\"b\", nonce=\"n\""), with quoted
// strings and token68 forms. When several schemes are offered, the object takes the first it can answer
// in the platform's order of preference: NTLM, Digest (SHA-256 before MD5), Basic. Challenges of other
// schemes (Negotiate, Bearer, ...) give an object that is not valid
// (kCFStreamErrorHTTPAuthenticationTypeUnsupported).
//
// Applying credentials writes "Authorization" (or "Proxy-Authorization" for a proxy's challenge):
//   Basic   "Basic " + Base64 of "user:password" (a user name holding ':' is refused: the server would
//           split it there and check other credentials than the caller's);
//   Digest  username, realm, nonce, uri (the request target as it goes on the wire: origin form, the
//           absolute URL through an HTTP proxy, "host:port" for the CONNECT of an https URL), response,
//           algorithm (when the server named one), opaque, and with qop: qop=auth, nc (counting the uses
//           of one nonce) and cnonce (random). Only qop "auth" is answered; a challenge offering
//           nothing but "auth-int" is not taken.
//   NTLM    a handshake of two requests on one connection (requiresOrderedRequests: send them with a
//           persistent connection id): the first application writes the negotiate message; the server
//           answers 401 with its challenge message, which the read stream hands to the object; the
//           second application writes the authenticate message (NTLMv2, with the account domain of the
//           credentials). Upper-casing the user name for the hash covers ASCII and Latin-1 letters.
//
// Validity. A new object is valid unless nothing in the challenge can be answered. Once credentials were
// applied to a request, the read stream that carries the request tells the object about the response:
// a new challenge of the same kind (401 for a server's object, 407 for a proxy's) means the credentials
// were refused, and the object becomes invalid with kCFStreamErrorHTTPAuthenticationBadPassword, except
// for a Digest challenge marked "stale=true", which only renews the nonce (the object stays valid and
// the same credentials are applied again), and for NTLM's challenge message, which is the handshake's
// second step. An invalid object refuses to apply credentials.
//
// Thread-safe: the read stream may report a response on its run loop while the client reads the object.
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cfnetwork/CFHTTPMessage.h"
#include "platform/cfnetwork/CFNetworkErrors.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// Scheme names, as copyMethod() answers them.
inline constexpr char kCFHTTPAuthenticationSchemeBasic[] = "Basic";
inline constexpr char kCFHTTPAuthenticationSchemeDigest[] = "Digest";
inline constexpr char kCFHTTPAuthenticationSchemeNTLM[] = "NTLM";
inline constexpr char kCFHTTPAuthenticationSchemeNegotiate[] = "Negotiate";
inline constexpr char kCFHTTPAuthenticationSchemeKerberos[] = "Kerberos";

// Keys of a credential dictionary.
inline constexpr char kCFHTTPAuthenticationUsername[] = "kCFHTTPAuthenticationUsername";
inline constexpr char kCFHTTPAuthenticationPassword[] = "kCFHTTPAuthenticationPassword";
inline constexpr char kCFHTTPAuthenticationAccountDomain[] = "kCFHTTPAuthenticationAccountDomain";

// kCFStreamErrorDomainHTTP: why an object is not valid, or why credentials could not be applied.
inline constexpr SInt32 kCFStreamErrorHTTPAuthenticationTypeUnsupported = -1000;
inline constexpr SInt32 kCFStreamErrorHTTPAuthenticationBadUserName = -1001;
inline constexpr SInt32 kCFStreamErrorHTTPAuthenticationBadPassword = -1002;

// One challenge as offered: the scheme as written, its parameters (names lower-cased, values unquoted)
// or its token68.
struct CFHTTPAuthenticationChallenge {
    std::string scheme;
    std::vector<std::pair<std::string, std::string>> parameters;
    std::string token68;

    std::optional<std::string> parameter(std::string_view name) const;
};

class CFHTTPAuthentication : public NSObject {
public:
    // nullptr when the response is not a 401 or 407, or carries no challenge that can be read.
    static Ref<CFHTTPAuthentication> createFromResponse(const Ref<CFHTTPMessage>& response);

    // Every challenge of a header value, in order (empty when the text cannot be read at all).
    static std::vector<CFHTTPAuthenticationChallenge> parseChallenges(std::string_view headerValue);

    // Whether credentials can be applied with this object; when not, *error tells why.
    bool isValid(CFStreamError* error = nullptr) const;
    // The scheme taken (kCFHTTPAuthenticationScheme...), or the first one offered when none can be
    // answered.
    std::string copyMethod() const;
    // The realm of the challenge taken ("" when it has none).
    std::string copyRealm() const;
    // The URIs of a Digest challenge's "domain" parameter (empty when absent).
    std::vector<std::string> copyDomains() const;
    bool requiresAccountDomain() const;
    bool requiresUserNameAndPassword() const;
    bool requiresOrderedRequests() const;
    // Whether the challenge came from a proxy (a 407).
    bool isProxyAuthentication() const { return proxy_; }

    // The client nonce of the next Digest application (tests pin it to reproduce known values); a
    // random one is made when none is set.
    void setClientNonce(std::string cnonce);

    // Called by the read stream when a response to `request` is complete: a repeated challenge to an
    // object whose credentials were applied to `request` invalidates it, or renews a stale nonce.
    static void noteResponse(const Ref<CFHTTPMessage>& request, const Ref<CFHTTPMessage>& response);

    // Applies credentials; see CFHTTPMessageApplyCredentialDictionary.
    bool apply(const Ref<CFHTTPMessage>& request, const std::string& user, const std::string& password,
               const std::string& domain, CFStreamError* error);

    CFHTTPAuthentication() = default;  // use createFromResponse

private:
    enum class Kind { Unsupported, Basic, Digest, NTLM };
    enum class DigestHash { MD5, SHA256 };
    enum class NTLMStep { Start, SentNegotiate, HaveChallenge, SentAuthenticate };

    static std::optional<int> rank(const CFHTTPAuthenticationChallenge& challenge);
    void take(const CFHTTPAuthenticationChallenge& challenge);
    void challengedAgain(const Ref<CFHTTPMessage>& response);
    std::optional<std::string> digestHeader(const Ref<CFHTTPMessage>& request, const std::string& user,
                                            const std::string& password);

    mutable std::mutex mutex_;
    bool proxy_ = false;
    Kind kind_ = Kind::Unsupported;
    std::string method_;
    std::string realm_;
    bool valid_ = true;
    CFStreamError error_;
    // Digest state.
    DigestHash hash_ = DigestHash::MD5;
    bool session_ = false;           // "-sess" algorithms
    std::string algorithm_;          // as the server wrote it ("" when absent)
    std::string nonce_;
    std::string opaque_;
    bool hasOpaque_ = false;
    bool qopAuth_ = false;           // answer with qop=auth (else the old form without qop)
    uint32_t nonceCount_ = 0;
    std::string nextClientNonce_;
    std::vector<std::string> domains_;
    // NTLM state.
    NTLMStep ntlmStep_ = NTLMStep::Start;
    std::string ntlmChallenge_;  // the server's challenge message, while it waits for an answer
};

// The NTLM messages (version 2 responses), for the authentication object and its tests. Messages are
// bytes (Base64 goes around them in the header).
namespace NTLM {

std::array<uint8_t, 16> md4(std::string_view bytes);
// The negotiate message (type 1): Unicode, NTLM, extended session security, target requested.
std::string negotiateMessage();

struct ChallengeMessage {
    uint32_t flags = 0;
    std::array<uint8_t, 8> serverChallenge{};
    std::string targetInfo;              // the AV pairs, as sent
    std::optional<uint64_t> timestamp;   // MsvAvTimestamp, when the server sent one
};
// nullopt when the bytes are not a well-formed challenge message (type 2).
std::optional<ChallengeMessage> parseChallengeMessage(std::string_view bytes);

// NTOWFv2: HMAC-MD5 keyed with MD4 of the UTF-16LE password, over UTF-16LE upper-case user + domain.
std::array<uint8_t, 16> ntowfv2(const std::string& user, const std::string& password, const std::string& domain);

// The authenticate message (type 3) answering `challenge`: NTLMv2 and LMv2 responses (the LMv2 response
// is all zeros when the server sent a timestamp, whose time is then used instead of `fileTime`).
// `fileTime` counts 100 ns since 1601.
std::string authenticateMessage(const ChallengeMessage& challenge, const std::string& user,
                                const std::string& password, const std::string& domain,
                                const std::string& workstation, const std::array<uint8_t, 8>& clientChallenge,
                                uint64_t fileTime);

}  // namespace NTLM

// Applies the credentials of `credentials` (kCFHTTPAuthenticationUsername, kCFHTTPAuthenticationPassword,
// kCFHTTPAuthenticationAccountDomain) with `authentication` to the request message. False, and the
// message unchanged, when the object is not valid, the user name is missing, or the scheme cannot be
// answered here (*error then says why).
bool CFHTTPMessageApplyCredentialDictionary(const Ref<CFHTTPMessage>& request,
                                            const Ref<CFHTTPAuthentication>& authentication, const Value& credentials,
                                            CFStreamError* error);
bool CFHTTPMessageApplyCredentials(const Ref<CFHTTPMessage>& request, const Ref<CFHTTPAuthentication>& authentication,
                                   const std::string& username, const std::string& password, CFStreamError* error);
