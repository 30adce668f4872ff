#pragma once
// Where credentials apply: a server (host, port, protocol) or a proxy (host, port, proxy type), a realm
// and an authentication method.
//
//   -initWithHost:port:protocol:realm:authenticationMethod:
//        NSURLProtectionSpace::initWithHost_port_protocol_realm_authenticationMethod
//   -initWithProxyHost:port:type:realm:authenticationMethod:
//        NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod
//   -host, -port, -protocol, -proxyType, -realm, -authenticationMethod, -isProxy,
//   -receivesCredentialSecurely
//
// An empty realm stands for none; an empty method for NSURLAuthenticationMethodDefault. Two spaces are
// equal when all of host (without regard to case), port, protocol or proxy type, realm and method are.
#include <string>

#include "platform/foundation/NSObject.h"

inline constexpr char NSURLProtectionSpaceHTTP[] = "http";
inline constexpr char NSURLProtectionSpaceHTTPS[] = "https";
inline constexpr char NSURLProtectionSpaceFTP[] = "ftp";
inline constexpr char NSURLProtectionSpaceHTTPProxy[] = "http";
inline constexpr char NSURLProtectionSpaceHTTPSProxy[] = "https";
inline constexpr char NSURLProtectionSpaceFTPProxy[] = "ftp";
inline constexpr char NSURLProtectionSpaceSOCKSProxy[] = "SOCKS";

inline constexpr char NSURLAuthenticationMethodDefault[] = "NSURLAuthenticationMethodDefault";
inline constexpr char NSURLAuthenticationMethodHTTPBasic[] = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr char NSURLAuthenticationMethodHTTPDigest[] = "NSURLAuthenticationMethodHTTPDigest";
inline constexpr char NSURLAuthenticationMethodHTMLForm[] = "NSURLAuthenticationMethodHTMLForm";
inline constexpr char NSURLAuthenticationMethodNTLM[] = "NSURLAuthenticationMethodNTLM";
inline constexpr char NSURLAuthenticationMethodNegotiate[] = "NSURLAuthenticationMethodNegotiate";
inline constexpr char NSURLAuthenticationMethodClientCertificate[] = "NSURLAuthenticationMethodClientCertificate";
inline constexpr char NSURLAuthenticationMethodServerTrust[] = "NSURLAuthenticationMethodServerTrust";

class NSURLProtectionSpace : public NSObject {
public:
    static Ref<NSURLProtectionSpace> initWithHost_port_protocol_realm_authenticationMethod(
        std::string host, int port, std::string protocol, std::string realm, std::string authenticationMethod);
    static Ref<NSURLProtectionSpace> initWithProxyHost_port_type_realm_authenticationMethod(
        std::string host, int port, std::string type, std::string realm, std::string authenticationMethod);

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    // The protocol of a server's space ("" for a proxy's).
    const std::string& protocol() const { return protocol_; }
    // The proxy type of a proxy's space ("" for a server's).
    const std::string& proxyType() const { return proxyType_; }
    const std::string& realm() const { return realm_; }
    const std::string& authenticationMethod() const { return method_; }
    bool isProxy() const { return proxy_; }
    // Whether a password sent for this space is protected on the way: https, an https proxy, or a
    // method that never sends the password itself (Digest, NTLM, Negotiate).
    bool receivesCredentialSecurely() const;

    bool isEqual(const NSObject* other) const override;
    bool isEqualToSpace(const NSURLProtectionSpace& other) const;
    // One text per distinct space, usable as a map key.
    std::string key() const;
    std::string description() const override;

    NSURLProtectionSpace() = default;  // use the factories

private:
    std::string host_;
    int port_ = 0;
    std::string protocol_;
    std::string proxyType_;
    std::string realm_;
    std::string method_;
    bool proxy_ = false;
};
