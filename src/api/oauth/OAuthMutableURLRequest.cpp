#include "api/oauth/OAuthMutableURLRequest.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

namespace {
namespace OAuthMutableURLRequest_cpp {

std::string encode(std::string_view text) { return OAuthURLEncodingAdditions::URLEncodedString(text); }

// A key or secret as the original texts showed it: nil as "(null)".
std::string text(const Value& value) { return stringWithFormat("%@", value); }

}  // namespace OAuthMutableURLRequest_cpp
}  // namespace

Ref<OAuthMutableURLRequest> OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
    const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer, const Ref<OAuthToken>& token, const Value& realm,
    const Ref<OAuthSignatureProviding>& provider)
{
    auto request = std::make_shared<OAuthMutableURLRequest>();
    request->initBody(url, consumer, token, realm, provider);
    request->timestamp_ = generateTimestamp();
    request->nonce_ = generateNonce();
    return request;
}

Ref<OAuthMutableURLRequest> OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider_nonce_timestamp(
    const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer, const Ref<OAuthToken>& token, const Value& realm,
    const Ref<OAuthSignatureProviding>& provider, const std::string& nonce, const std::string& timestamp)
{
    auto request = std::make_shared<OAuthMutableURLRequest>();
    request->initBody(url, consumer, token, realm, provider);
    request->nonce_ = nonce;
    request->timestamp_ = timestamp;
    return request;
}

void OAuthMutableURLRequest::initBody(const Ref<NSURL>& url, const Ref<OAuthConsumer>& consumer,
                                      const Ref<OAuthToken>& token, const Value& realm,
                                      const Ref<OAuthSignatureProviding>& provider)
{
    initWithURL_cachePolicy_timeoutIntervalBody(url, NSURLRequestReloadIgnoringLocalCacheData, 10.0);
    consumer_ = consumer;
    token_ = token ? token : OAuthToken::create();
    realm_ = realm.isNil() ? "" : realm.stringValue();
    provider_ = provider ? provider : Ref<OAuthSignatureProviding>(OAuthHMAC_SHA1SignatureProvider::create());
}

std::string OAuthMutableURLRequest::generateNonce()
{
    static std::random_device device;
    const std::uint32_t r = std::uint32_t(device());
    std::string nonce = stringWithFormat("%u", r % 9876599u + 123400u);
    NSLog("nonce %@", nonce);
    return nonce;
}

std::string OAuthMutableURLRequest::generateTimestamp() { return stringWithFormat("%d", std::int64_t(Clock::wallNow())); }

void OAuthMutableURLRequest::setOAuthParameterName_withValue(const Value& name, const Value& value)
{
    if (name.isNil() || value.isNil()) {
        return;
    }
    extra_[name.stringValue()] = value.stringValue();
}

std::string OAuthMutableURLRequest::signatureBaseString()
{
    using namespace OAuthMutableURLRequest_cpp;
    const Value consumerKey = consumer_ ? consumer_->key() : Value();
    const Value tokenKey = token_->key();
    std::vector<std::string> pairs = {
        "oauth_consumer_key=" + encode(text(consumerKey)),
        "oauth_signature_method=" + encode(provider_->name()),
        "oauth_timestamp=" + encode(timestamp_),
        "oauth_nonce=" + encode(nonce_),
        "oauth_version=1.0",
    };
    if (!(tokenKey.isString() && tokenKey.stringValue().empty())) {
        pairs.push_back("oauth_token=" + encode(text(tokenKey)));
    }
    auto self = std::static_pointer_cast<NSMutableURLRequest>(shared_from_this());
    for (const auto& parameter : OAuthParameterAdditions::parameters(self)) {
        pairs.push_back(parameter->URLEncodedNameValuePair());
    }
    std::sort(pairs.begin(), pairs.end());
    std::string joined;
    for (const auto& pair : pairs) {
        if (!joined.empty()) {
            joined += '&';
        }
        joined += pair;
    }
    return stringWithFormat("%@&%@&%@", HTTPMethod(), encode(OAuthBaseAdditions::URLStringWithoutQuery(URL())),
                            encode(joined));
}

void OAuthMutableURLRequest::prepare()
{
    using namespace OAuthMutableURLRequest_cpp;
    const std::string base = signatureBaseString();
    const Value consumerSecret = consumer_ ? consumer_->secret() : Value();
    const std::string key = stringWithFormat("%@&%@", consumerSecret, encode(text(token_->secret())));
    signature_ = provider_->signClearText_withSecret(base, key);

    const Value tokenKey = token_->key();
    std::string tokenPart;
    if (!(tokenKey.isString() && tokenKey.stringValue().empty())) {
        tokenPart = stringWithFormat("oauth_token=\"%@\", ", tokenKey);
    }
    std::string extras;
    for (const auto& [name, value] : extra_) {
        extras += stringWithFormat(", %@=\"%@\"", encode(name), encode(value));
    }
    const std::string header = stringWithFormat(
        "OAuth realm=\"%@\", oauth_consumer_key=\"%@\", %@oauth_signature_method=\"%@\", oauth_signature=\"%@\", "
        "oauth_timestamp=\"%@\", oauth_nonce=\"%@\", oauth_version=\"1.0\"%@",
        encode(realm_), consumer_ ? consumer_->key() : Value(), tokenPart, provider_->name(), encode(signature_),
        timestamp_, nonce_, extras);
    setValue_forHTTPHeaderField(header, "Authorization");
}
