#include "api/oauth/OAuthConsumer.h"

#include <algorithm>

#include "platform/crypto/CommonHMAC.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {
namespace OAuthConsumer_cpp {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupsPerLine = 18;

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

}  // namespace OAuthConsumer_cpp
}  // namespace

// ---- Values ------------------------------------------------------------------------------------------

Ref<OAuthConsumer> OAuthConsumer::initWithKey_secret(const Value& key, const Value& secret)
{
    auto consumer = std::make_shared<OAuthConsumer>();
    consumer->key_ = key;
    consumer->secret_ = secret;
    return consumer;
}

Ref<OAuthToken> OAuthToken::create() { return std::make_shared<OAuthToken>(); }

Ref<OAuthToken> OAuthToken::initWithKey_secret(const Value& key, const Value& secret)
{
    auto token = create();
    token->setKey(key);
    token->setSecret(secret);
    return token;
}

Ref<OAuthToken> OAuthToken::initWithHTTPResponseBody(std::string_view body)
{
    auto token = create();
    token->setKey(Value());
    token->setSecret(Value());
    for (const std::string& part : OAuthConsumer_cpp::split(body, '&')) {
        std::vector<std::string> pair = OAuthConsumer_cpp::split(part, '=');
        if (pair.size() < 2) {
            continue;
        }
        if (pair[0] == "oauth_token") {
            token->setKey(Value(OAuthURLEncodingAdditions::URLDecodedString(pair[1])));
        } else if (pair[0] == "oauth_token_secret") {
            token->setSecret(Value(OAuthURLEncodingAdditions::URLDecodedString(pair[1])));
        }
    }
    return token;
}

Ref<OAuthToken> OAuthToken::initWithUserDefaultsUsingServiceProviderName_prefix(const std::string& provider,
                                                                               const std::string& prefix)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    Value key = defaults->objectForKey(stringWithFormat("OAUTH_%@_%@_KEY", prefix, provider));
    Value secret = defaults->objectForKey(stringWithFormat("OAUTH_%@_%@_SECRET", prefix, provider));
    if (key.isNil() || secret.isNil()) {
        return nullptr;
    }
    return initWithKey_secret(key, secret);
}

void OAuthToken::storeInUserDefaultsWithServiceProviderName_prefix(const std::string& provider,
                                                                   const std::string& prefix) const
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject_forKey(key(), stringWithFormat("OAUTH_%@_%@_KEY", prefix, provider));
    defaults->setObject_forKey(secret(), stringWithFormat("OAUTH_%@_%@_SECRET", prefix, provider));
    defaults->synchronize();
}

Value OAuthToken::key() const
{
    std::lock_guard lock(mutex_);
    return key_;
}

void OAuthToken::setKey(const Value& key)
{
    std::lock_guard lock(mutex_);
    key_ = key;
}

Value OAuthToken::secret() const
{
    std::lock_guard lock(mutex_);
    return secret_;
}

void OAuthToken::setSecret(const Value& secret)
{
    std::lock_guard lock(mutex_);
    secret_ = secret;
}

Ref<OAuthRequestParameter> OAuthRequestParameter::requestParameterWithName_value(const std::string& name,
                                                                                 const std::string& value)
{
    auto parameter = std::make_shared<OAuthRequestParameter>();
    parameter->name_ = name;
    parameter->value_ = value;
    return parameter;
}

std::string OAuthRequestParameter::URLEncodedName() const { return OAuthURLEncodingAdditions::URLEncodedString(name_); }

std::string OAuthRequestParameter::URLEncodedValue() const
{
    return OAuthURLEncodingAdditions::URLEncodedString(value_);
}

std::string OAuthRequestParameter::URLEncodedNameValuePair() const
{
    return URLEncodedName() + "=" + URLEncodedValue();
}

Ref<OAuthServiceTicket> OAuthServiceTicket::initWithRequest_response_didSucceed(const Ref<NSURLRequest>& request,
                                                                               const Ref<NSURLResponse>& response,
                                                                               bool didSucceed)
{
    auto ticket = std::make_shared<OAuthServiceTicket>();
    ticket->request_ = request;
    ticket->response_ = response;
    ticket->didSucceed_ = didSucceed;
    return ticket;
}

// ---- Signing -------------------------------------------------------------------------------------------

std::string OAuthHMAC_SHA1SignatureProvider::signClearText_withSecret(const std::string& text,
                                                                     const std::string& secret) const
{
    const auto digest = CommonCrypto::hmacSHA1(secret, text);
    char encoded[32];
    std::size_t length = sizeof encoded;
    Base64EncodeData(digest.data(), digest.size(), encoded, &length);
    return std::string(encoded, length);
}

std::size_t EstimateBas64EncodedDataSize(std::size_t inputLength)
{
    const std::size_t groups = (inputLength + 2) / 3;
    return groups * 4 + 2 * (groups / OAuthConsumer_cpp::kGroupsPerLine);
}

bool Base64EncodeData(const void* input, std::size_t inputLength, char* output, std::size_t* outputLength)
{
    using namespace OAuthConsumer_cpp;
    if (!outputLength || *outputLength < EstimateBas64EncodedDataSize(inputLength)) {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(input);
    std::size_t written = 0;
    std::size_t groups = 0;
    for (std::size_t i = 0; i < inputLength; i += 3) {
        if (groups > 0 && groups % kGroupsPerLine == 0) {
            output[written++] = '\r';
            output[written++] = '\n';
        }
        const std::size_t left = inputLength - i;
        const std::uint32_t chunk = (std::uint32_t(bytes[i]) << 16) | (left > 1 ? std::uint32_t(bytes[i + 1]) << 8 : 0) |
                                    (left > 2 ? std::uint32_t(bytes[i + 2]) : 0);
        output[written++] = kAlphabet[(chunk >> 18) & 63];
        output[written++] = kAlphabet[(chunk >> 12) & 63];
        output[written++] = left > 1 ? kAlphabet[(chunk >> 6) & 63] : '=';
        output[written++] = left > 2 ? kAlphabet[chunk & 63] : '=';
        ++groups;
    }
    *outputLength = written;
    return true;
}

// ---- Categories ----------------------------------------------------------------------------------------

std::string OAuthURLEncodingAdditions::URLEncodedString(std::string_view text)
{
    return PercentEscapes::addPercentEscapes(text, "!*'();:@&=+$,/?%#[]");
}

std::string OAuthURLEncodingAdditions::URLDecodedString(std::string_view text)
{
    return PercentEscapes::decodeLenient(text);
}

std::string OAuthBaseAdditions::URLStringWithoutQuery(const Ref<NSURL>& url)
{
    if (!url) {
        return "";
    }
    std::string text = url->absoluteString();
    return text.substr(0, text.find('?'));
}

std::vector<Ref<OAuthRequestParameter>> OAuthParameterAdditions::parameters(const Ref<NSMutableURLRequest>& request)
{
    using namespace OAuthConsumer_cpp;
    std::string encoded;
    const std::string contentType = request->valueForHTTPHeaderField("Content-Type").value_or("");
    const std::string method = upper(request->HTTPMethod());
    if (contentType.rfind("multipart/form-data; boundary=", 0) == 0) {
        encoded = request->URL() ? request->URL()->percentEncodedQuery() : "";
        request->setURL(NSURL::URLWithString(OAuthBaseAdditions::URLStringWithoutQuery(request->URL())));
    } else if (method == "GET" || method == "DELETE") {
        encoded = request->URL() ? request->URL()->percentEncodedQuery() : "";
    } else {
        encoded = request->HTTPBody().string();
    }
    std::vector<Ref<OAuthRequestParameter>> out;
    if (encoded.empty()) {
        return out;
    }
    for (const std::string& part : split(encoded, '&')) {
        std::vector<std::string> pair = split(part, '=');
        if (pair.size() < 2) {
            continue;
        }
        out.push_back(OAuthRequestParameter::requestParameterWithName_value(
            OAuthURLEncodingAdditions::URLDecodedString(pair[0]), OAuthURLEncodingAdditions::URLDecodedString(pair[1])));
    }
    return out;
}

void OAuthParameterAdditions::setParameters(const Ref<NSMutableURLRequest>& request,
                                            const std::vector<Ref<OAuthRequestParameter>>& parameters)
{
    std::string joined;
    for (const auto& parameter : parameters) {
        if (!joined.empty()) {
            joined += '&';
        }
        joined += parameter->URLEncodedNameValuePair();
    }
    const std::string method = OAuthConsumer_cpp::upper(request->HTTPMethod());
    if (method == "GET" || method == "DELETE") {
        request->setURL(
            NSURL::URLWithString(stringWithFormat("%@?%@", OAuthBaseAdditions::URLStringWithoutQuery(request->URL()), joined)));
        return;
    }
    request->setHTTPBody(NSData::dataWithString(joined));
    request->setValue_forHTTPHeaderField(stringWithFormat("%d", int(joined.size())), "Content-Length");
    request->setValue_forHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
}
