#pragma once
// The OAuth 1.0 consumer of the microblog clients: consumer and token values, request parameters,
// service tickets, the two signature providers, the parameter and URL-encoding categories and the
// line-broken Base64 the signatures are written with.
//
// Keys and secrets are Values, as the platform's ids are: a consumer whose key is missing from the
// edition configuration has a nil key, which texts show as "(null)", as they did on the phone.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cfnetwork/NSURLRequest.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class OAuthConsumer : public NSObject {
public:
    static Ref<OAuthConsumer> initWithKey_secret(const Value& key, const Value& secret);

    const Value& key() const { return key_; }
    void setKey(const Value& key) { key_ = key; }
    const Value& secret() const { return secret_; }
    void setSecret(const Value& secret) { secret_ = secret; }

private:
    Value key_;
    Value secret_;
};

class OAuthToken : public NSObject {
public:
    // Both texts empty.
    static Ref<OAuthToken> create();
    static Ref<OAuthToken> initWithKey_secret(const Value& key, const Value& secret);
    // From a reply "oauth_token=K&oauth_token_secret=S&...": the two values with their percent escapes
    // replaced; other parts and parts without a value are ignored; a missing name leaves that field nil.
    static Ref<OAuthToken> initWithHTTPResponseBody(std::string_view body);
    // From the user defaults "OAUTH_<prefix>_<provider>_KEY" / "..._SECRET"; nullptr unless both exist.
    static Ref<OAuthToken> initWithUserDefaultsUsingServiceProviderName_prefix(const std::string& provider,
                                                                             const std::string& prefix);
    void storeInUserDefaultsWithServiceProviderName_prefix(const std::string& provider, const std::string& prefix) const;

    Value key() const;
    void setKey(const Value& key);
    Value secret() const;
    void setSecret(const Value& secret);

private:
    mutable std::mutex mutex_;  // the properties are atomic
    Value key_ = Value("");
    Value secret_ = Value("");
};

class OAuthRequestParameter : public NSObject {
public:
    static Ref<OAuthRequestParameter> requestParameterWithName_value(const std::string& name, const std::string& value);
    static Ref<OAuthRequestParameter> initWithName_value(const std::string& name, const std::string& value)
    {
        return requestParameterWithName_value(name, value);
    }

    const std::string& name() const { return name_; }
    void setName(const std::string& name) { name_ = name; }
    const std::string& value() const { return value_; }
    void setValue(const std::string& value) { value_ = value; }
    std::string URLEncodedName() const;
    std::string URLEncodedValue() const;
    // "name=value", both encoded.
    std::string URLEncodedNameValuePair() const;

private:
    std::string name_;
    std::string value_;
};

class OAuthServiceTicket : public NSObject {
public:
    static Ref<OAuthServiceTicket> initWithRequest_response_didSucceed(const Ref<NSURLRequest>& request,
                                                                       const Ref<NSURLResponse>& response,
                                                                       bool didSucceed);
    Ref<NSURLRequest> request() const { return request_; }
    Ref<NSURLResponse> response() const { return response_; }
    bool didSucceed() const { return didSucceed_; }

private:
    Ref<NSURLRequest> request_;
    Ref<NSURLResponse> response_;
    bool didSucceed_ = false;
};

// What signs a request: a name for the "oauth_signature_method" pair and the signing itself.
class OAuthSignatureProviding : public NSObject {
public:
    virtual std::string name() const = 0;
    virtual std::string signClearText_withSecret(const std::string& text, const std::string& secret) const = 0;
};

// "HMAC-SHA1": the digest of the text's UTF-8 bytes keyed with the secret's, in Base64 (28 characters).
class OAuthHMAC_SHA1SignatureProvider : public OAuthSignatureProviding {
public:
    static Ref<OAuthHMAC_SHA1SignatureProvider> create() { return std::make_shared<OAuthHMAC_SHA1SignatureProvider>(); }
    std::string name() const override { return "HMAC-SHA1"; }
    std::string signClearText_withSecret(const std::string& text, const std::string& secret) const override;
};

// "PLAINTEXT": the secret itself.
class OAuthPlaintextSignatureProvider : public OAuthSignatureProviding {
public:
    static Ref<OAuthPlaintextSignatureProvider> create() { return std::make_shared<OAuthPlaintextSignatureProvider>(); }
    std::string name() const override { return "PLAINTEXT"; }
    std::string signClearText_withSecret(const std::string& text, const std::string& secret) const override
    {
        return secret;
    }
};

// Base64 of RFC 4648 with "=" padding, broken into lines of 72 characters by CR LF (a break follows
// every full line that more output follows). The estimate is the size the output may need: 4 characters
// for each started group of 3 bytes, plus 2 for every full 18 groups. Encoding writes nothing and fails
// when *outputLength is below the estimate; otherwise *outputLength becomes the length written.
std::size_t EstimateBas64EncodedDataSize(std::size_t inputLength);
bool Base64EncodeData(const void* input, std::size_t inputLength, char* output, std::size_t* outputLength);

// NSString(OAuthURLEncodingAdditions)
namespace OAuthURLEncodingAdditions {
// Percent-encodes in UTF-8 what may not stand in a URL and also "!*'();:@&=+$,/?%#[]".
std::string URLEncodedString(std::string_view text);
// Replaces every percent escape (UTF-8); a malformed escape stays as it is.
std::string URLDecodedString(std::string_view text);
}  // namespace OAuthURLEncodingAdditions

// NSURL(OAuthBaseAdditions)
namespace OAuthBaseAdditions {
// The absolute URL text up to the first "?".
std::string URLStringWithoutQuery(const Ref<NSURL>& url);
}  // namespace OAuthBaseAdditions

// NSMutableURLRequest(OAuthParameterAdditions)
namespace OAuthParameterAdditions {
// The request's parameters: for a multipart body the URL's query (and the URL loses its query); for GET
// and DELETE the query; otherwise the body read as ASCII. Parts "name=value" split at "&", with their
// percent escapes replaced, in order; a part without "=" is none. Empty when there is no such text.
std::vector<Ref<OAuthRequestParameter>> parameters(const Ref<NSMutableURLRequest>& request);
// GET and DELETE: the URL's query becomes the encoded pairs; others: the body does, with "Content-Length"
// and "Content-Type: application/x-www-form-urlencoded".
void setParameters(const Ref<NSMutableURLRequest>& request, const std::vector<Ref<OAuthRequestParameter>>& parameters);
}  // namespace OAuthParameterAdditions
