#pragma once
// Errors of streams and of the HTTP transport.
//
// A stream error is a (domain, code) pair, CFStreamError as CFReadStreamGetError answers it. The
// transport reports every failure in one of these classes, which are what an HTTP client tells apart:
//
//   connection lost   domain kCFStreamErrorDomainCFNetwork, code kCFURLErrorNetworkConnectionLost (-1005):
//                     the peer reset or closed the connection where a retry on a fresh connection is the
//                     cure: ECONNRESET, EPIPE, ENOTCONN, and an end of stream before any byte of the
//                     response on a connection that was reused from an earlier exchange.
//   TLS failure       domain kCFStreamErrorDomainSSL, codes -9800 ... -9818 (the phone's secure-transport
//                     statuses): certificate not trusted, expired, for another host; handshake failures.
//   other             everything else: a refused connection (POSIX errno), an unknown host (NetDB,
//                     getaddrinfo's code), a malformed response (HTTP parse failure), a response cut
//                     short (kCFErrorHTTPConnectionLost: the peer ended the stream before the header was
//                     complete on a fresh connection, or before the announced body was complete), SOCKS
//                     failures.
//
// An end of stream before a complete response is never reported as a normal end.
#include <cstdint>
#include <memory>
#include <string>

using CFIndex = long;
using SInt32 = int32_t;

using CFStreamErrorDomain = CFIndex;
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainCustom = -1;
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainPOSIX = 1;     // errno (Linux values)
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainMacOSStatus = 2;
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainSSL = 3;       // secure-transport statuses
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainHTTP = 4;      // kCFStreamErrorHTTP...
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainSOCKS = 5;     // SOCKS reply codes, or -1
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainNetDB = 12;    // getaddrinfo codes (EAI_...)
inline constexpr CFStreamErrorDomain kCFStreamErrorDomainCFNetwork = 20;  // kCFURLError..., kCFErrorHTTP...

// kCFStreamErrorDomainHTTP
inline constexpr SInt32 kCFStreamErrorHTTPParseFailure = -1;
inline constexpr SInt32 kCFStreamErrorHTTPBadURL = -3;

// kCFStreamErrorDomainCFNetwork
inline constexpr SInt32 kCFErrorHTTPConnectionLost = 302;
inline constexpr SInt32 kCFURLErrorUnknown = -998;
inline constexpr SInt32 kCFURLErrorCancelled = -999;
inline constexpr SInt32 kCFURLErrorBadURL = -1000;
inline constexpr SInt32 kCFURLErrorTimedOut = -1001;
inline constexpr SInt32 kCFURLErrorUnsupportedURL = -1002;
inline constexpr SInt32 kCFURLErrorCannotFindHost = -1003;
inline constexpr SInt32 kCFURLErrorCannotConnectToHost = -1004;
inline constexpr SInt32 kCFURLErrorNetworkConnectionLost = -1005;
inline constexpr SInt32 kCFURLErrorHTTPTooManyRedirects = -1007;
inline constexpr SInt32 kCFURLErrorBadServerResponse = -1011;
inline constexpr SInt32 kCFURLErrorSecureConnectionFailed = -1200;
inline constexpr SInt32 kCFURLErrorServerCertificateUntrusted = -1202;

// kCFStreamErrorDomainSSL (the phone's secure-transport statuses)
inline constexpr SInt32 errSSLProtocol = -9800;
inline constexpr SInt32 errSSLClosedAbort = -9806;
inline constexpr SInt32 errSSLXCertChainInvalid = -9807;
inline constexpr SInt32 errSSLBadCert = -9808;
inline constexpr SInt32 errSSLUnknownRootCert = -9812;
inline constexpr SInt32 errSSLNoRootCert = -9813;
inline constexpr SInt32 errSSLCertExpired = -9814;
inline constexpr SInt32 errSSLCertNotYetValid = -9815;

struct CFStreamError {
    CFStreamErrorDomain domain = 0;  // 0: no error
    SInt32 error = 0;

    explicit operator bool() const { return domain != 0; }
    bool operator==(const CFStreamError&) const = default;

    // The classes an HTTP client tells apart.
    bool isConnectionLost() const
    {
        return domain == kCFStreamErrorDomainCFNetwork && error == kCFURLErrorNetworkConnectionLost;
    }
    bool isSSLFailure() const { return domain == kCFStreamErrorDomainSSL && error >= -9818 && error <= -9800; }

    // The error domain as the phone's error objects name it ("NSPOSIXErrorDomain",
    // "kCFErrorDomainCFNetwork", "NSOSStatusErrorDomain", ...).
    std::string domainName() const;
    // A short English description of the error ("Connection refused", "The network connection was lost.").
    std::string description() const;
};

class NSError;
// The error object of a stream error (CFReadStreamCopyError): its domain name, its code, and the
// description under NSLocalizedDescriptionKey. nullptr for no error.
std::shared_ptr<NSError> CFErrorCreateWithStreamError(const CFStreamError& error);
