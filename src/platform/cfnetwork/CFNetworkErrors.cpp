#include "platform/cfnetwork/CFNetworkErrors.h"

#include <netdb.h>

#include <cstring>

#include "platform/foundation/NSError.h"

std::string CFStreamError::domainName() const
{
    switch (domain) {
    case 0:
        return "";
    case kCFStreamErrorDomainPOSIX:
        return "NSPOSIXErrorDomain";
    case kCFStreamErrorDomainMacOSStatus:
    case kCFStreamErrorDomainSSL:
        return "NSOSStatusErrorDomain";
    case kCFStreamErrorDomainNetDB:
        return "kCFStreamErrorDomainNetDB";
    case kCFStreamErrorDomainSOCKS:
        return "kCFStreamErrorDomainSOCKS";
    case kCFStreamErrorDomainHTTP:
    case kCFStreamErrorDomainCFNetwork:
        return "kCFErrorDomainCFNetwork";
    default:
        return "kCFStreamErrorDomainCustom";
    }
}

std::string CFStreamError::description() const
{
    switch (domain) {
    case 0:
        return "";
    case kCFStreamErrorDomainPOSIX:
        return std::strerror(error);
    case kCFStreamErrorDomainNetDB:
        return std::string("Host lookup failed: ") + ::gai_strerror(error);
    case kCFStreamErrorDomainSOCKS:
        return error < 0 ? "The SOCKS proxy answered outside the protocol"
                         : "The SOCKS proxy refused the connection (reply " + std::to_string(error) + ")";
    case kCFStreamErrorDomainHTTP:
        return error == kCFStreamErrorHTTPParseFailure ? "The server's response could not be parsed" : "Bad URL";
    case kCFStreamErrorDomainSSL:
        switch (error) {
        case errSSLCertExpired:
            return "The server's certificate has expired";
        case errSSLCertNotYetValid:
            return "The server's certificate is not yet valid";
        case errSSLNoRootCert:
        case errSSLUnknownRootCert:
        case errSSLXCertChainInvalid:
            return "The server's certificate is not trusted for this host";
        case errSSLClosedAbort:
            return "The secure connection was closed during the handshake";
        case errSSLBadCert:
            return "The client certificate could not be used";
        default:
            return "The secure connection could not be established";
        }
    case kCFStreamErrorDomainCFNetwork:
        switch (error) {
        case kCFURLErrorNetworkConnectionLost:
            return "The network connection was lost.";
        case kCFErrorHTTPConnectionLost:
            return "The server closed the connection before the response was complete";
        case kCFURLErrorTimedOut:
            return "The request timed out.";
        case kCFURLErrorCannotFindHost:
            return "A server with the specified hostname could not be found.";
        case kCFURLErrorCannotConnectToHost:
            return "Could not connect to the server.";
        case kCFURLErrorUnsupportedURL:
            return "unsupported URL";
        case kCFURLErrorCancelled:
            return "cancelled";
        case kCFURLErrorHTTPTooManyRedirects:
            return "too many HTTP redirects";
        case kCFURLErrorBadServerResponse:
            return "The server's response could not be parsed";
        default:
            return "A network error occurred";
        }
    default:
        return "Stream error " + std::to_string(error);
    }
}

std::shared_ptr<NSError> CFErrorCreateWithStreamError(const CFStreamError& error)
{
    if (!error) {
        return nullptr;
    }
    return NSError::errorWithDomain_code_userInfo(error.domainName(), error.error,
                                                  Value::dictionary({{NSLocalizedDescriptionKey, error.description()}}));
}
