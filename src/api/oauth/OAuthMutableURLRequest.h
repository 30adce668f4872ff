#pragma once
// A URL request that signs itself (OAuth 1.0): made with the consumer, the token, a realm and a signature
// provider, it ignores local cache data and times out after 10 s; prepare() computes the signature of
// the request as it then stands and sets the "Authorization" header. The timestamp and nonce are fixed
// when the request is made, so preparing again signs with the same ones.
//
// The base string is METHOD&enc(URL without query)&enc(pairs), the pairs being the OAuth ones (the token
// only when its key is not empty) and the request's parameters, each "name=value" encoded and sorted as
// whole texts. The key is the consumer secret as it is, "&", and the encoded token secret. Extra OAuth
// parameters go into the header only.
#include <map>
#include <string>

#include "api/oauth/OAuthConsumer.h"

class OAuthMutableURLRequest : public NSMutableURLRequest {
public:
    static Ref<OAuthMutableURLRequest> initWithURL_consumer_token_realm_signatureProvider(
        const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer, const Ref<OAuthToken>& token, const Value& realm,
        const Ref<OAuthSignatureProviding>& provider);
    static Ref<OAuthMutableURLRequest> initWithURL_consumer_token_realm_signatureProvider_nonce_timestamp(
        const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer, const Ref<OAuthToken>& token, const Value& realm,
        const Ref<OAuthSignatureProviding>& provider, const std::string& nonce, const std::string& timestamp);

    Ref<OAuthConsumer> consumer() const { return consumer_; }
    Ref<OAuthToken> token() const { return token_; }
    const std::string& realm() const { return realm_; }
    Ref<OAuthSignatureProviding> signatureProvider() const { return provider_; }
    const std::string& signature() const { return signature_; }
    const std::string& nonce() const { return nonce_; }
    const std::string& timestamp() const { return timestamp_; }
    const std::map<std::string, std::string>& extraOAuthParameters() const { return extra_; }

    // Adds one pair for the header only (both must be given).
    void setOAuthParameterName_withValue(const Value& name, const Value& value);
    void prepare();

    // The text that is signed, as prepare() builds it now.
    std::string signatureBaseString();

    // A number from 123400 to 9999998 as text.
    static std::string generateNonce();
    // Whole seconds since 1970 on the process clock.
    static std::string generateTimestamp();

    OAuthMutableURLRequest() = default;  // use the factories

protected:
    void initBody(const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer, const Ref<OAuthToken>& token,
                  const Value& realm, const Ref<OAuthSignatureProviding>& provider);

private:
    Ref<OAuthConsumer> consumer_;
    Ref<OAuthToken> token_;
    std::string realm_;
    Ref<OAuthSignatureProviding> provider_;
    std::string signature_;
    std::string nonce_;
    std::string timestamp_;
    std::map<std::string, std::string> extra_;
};
