#include "platform/cfnetwork/NSURLProtectionSpace.h"
#include "platform/foundation/NSString.h"

namespace {

std::string orDefault(std::string method)
{
    return method.empty() ? std::string(NSURLAuthenticationMethodDefault) : method;
}

// Length-prefixed pieces, so that no field's text can run into another's.
void appendPiece(std::string& out, const std::string& piece)
{
    out += std::to_string(piece.size());
    out += ':';
    out += piece;
}

}  // namespace

Ref<NSURLProtectionSpace> NSURLProtectionSpace::initWithHost_port_protocol_realm_authenticationMethod(
    std::string host, int port, std::string protocol, std::string realm, std::string authenticationMethod)
{
    auto space = std::make_shared<NSURLProtectionSpace>();
    space->host_ = std::move(host);
    space->port_ = port;
    space->protocol_ = std::move(protocol);
    space->realm_ = std::move(realm);
    space->method_ = orDefault(std::move(authenticationMethod));
    return space;
}

Ref<NSURLProtectionSpace> NSURLProtectionSpace::initWithProxyHost_port_type_realm_authenticationMethod(
    std::string host, int port, std::string type, std::string realm, std::string authenticationMethod)
{
    auto space = std::make_shared<NSURLProtectionSpace>();
    space->host_ = std::move(host);
    space->port_ = port;
    space->proxyType_ = std::move(type);
    space->realm_ = std::move(realm);
    space->method_ = orDefault(std::move(authenticationMethod));
    space->proxy_ = true;
    return space;
}

bool NSURLProtectionSpace::receivesCredentialSecurely() const
{
    if (method_ == NSURLAuthenticationMethodHTTPDigest || method_ == NSURLAuthenticationMethodNTLM ||
        method_ == NSURLAuthenticationMethodNegotiate || method_ == NSURLAuthenticationMethodClientCertificate ||
        method_ == NSURLAuthenticationMethodServerTrust) {
        return true;
    }
    return NSString::asciiLowercaseString(proxy_ ? proxyType_ : protocol_) == "https";
}

bool NSURLProtectionSpace::isEqualToSpace(const NSURLProtectionSpace& other) const
{
    return key() == other.key();
}

bool NSURLProtectionSpace::isEqual(const NSObject* other) const
{
    auto* that = dynamic_cast<const NSURLProtectionSpace*>(other);
    return that && isEqualToSpace(*that);
}

std::string NSURLProtectionSpace::key() const
{
    std::string out = proxy_ ? "P" : "S";
    appendPiece(out, NSString::asciiLowercaseString(host_));
    appendPiece(out, std::to_string(port_));
    appendPiece(out, proxy_ ? proxyType_ : protocol_);
    appendPiece(out, realm_);
    appendPiece(out, method_);
    return out;
}

std::string NSURLProtectionSpace::description() const
{
    return NSObject::description() + ": " + (proxy_ ? "proxy " + proxyType_ : protocol_) + "://" + host_ + ":" +
           std::to_string(port_) + " realm \"" + realm_ + "\" " + method_;
}
