#include "OAuthProviders.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/crypto/CommonHMAC.h"
#include "platform/foundation/Base64.h"

namespace TestServers {

namespace {
namespace OAuthProviders_cpp {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string oauthDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// RFC 3986: letters, digits and "-._~" stay; every other byte is "%XX".
std::string oauthEncode(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            out += escape;
        }
    }
    return out;
}

Pairs parseOAuthPairs(std::string_view text)
{
    Pairs pairs;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        size_t end = text.find('&', start);
        std::string_view part = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        size_t equals = part.find('=');
        if (equals != std::string_view::npos) {
            pairs.emplace_back(oauthDecode(part.substr(0, equals)), oauthDecode(part.substr(equals + 1)));
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return pairs;
}

// The pairs of an "OAuth a=\"b\", c=\"d\"" header, decoded.
Pairs parseAuthorization(std::string_view header)
{
    Pairs pairs;
    if (header.rfind("OAuth ", 0) != 0) {
        return pairs;
    }
    std::string_view rest = header.substr(6);
    while (!rest.empty()) {
        size_t equals = rest.find("=\"");
        if (equals == std::string_view::npos) {
            break;
        }
        size_t close = rest.find('"', equals + 2);
        if (close == std::string_view::npos) {
            break;
        }
        pairs.emplace_back(std::string(rest.substr(0, equals)), oauthDecode(rest.substr(equals + 2, close - equals - 2)));
        rest = rest.substr(close + 1);
        if (rest.rfind(", ", 0) == 0) {
            rest = rest.substr(2);
        }
    }
    return pairs;
}

std::string pairValue(const Pairs& pairs, const std::string& name)
{
    for (const auto& [key, value] : pairs) {
        if (key == name) {
            return value;
        }
    }
    return "";
}

bool hasPair(const Pairs& pairs, const std::string& name)
{
    return std::any_of(pairs.begin(), pairs.end(), [&](const auto& pair) { return pair.first == name; });
}

std::string expectedSignature(const std::string& method, const std::string& url, const Pairs& pairs, const std::string& consumerSecret,
                 const std::string& tokenSecret)
{
    std::vector<std::string> texts;
    for (const auto& [name, value] : pairs) {
        texts.push_back(oauthEncode(name) + "=" + oauthEncode(value));
    }
    std::sort(texts.begin(), texts.end());
    std::string joined;
    for (const auto& text : texts) {
        joined += (joined.empty() ? "" : "&") + text;
    }
    const std::string base = method + "&" + oauthEncode(url) + "&" + oauthEncode(joined);
    const auto digest = CommonCrypto::hmacSHA1(consumerSecret + "&" + oauthEncode(tokenSecret), base);
    return Base64::encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

Reply htmlPage(const std::string& html)
{
    Reply reply = Reply::ok(html);
    reply.headerLines = {"Content-Type: text/html; charset=utf-8"};
    return reply;
}

Reply plainReply(const std::string& body, int status = 200)
{
    Reply reply = Reply::withStatus(status, status == 200 ? "OK" : "Unauthorized", body);
    reply.headerLines = {"Content-Type: text/plain; charset=utf-8"};
    return reply;
}

}  // namespace OAuthProviders_cpp
}  // namespace

struct OAuthProvider::State {
    struct RequestToken {
        std::string secret;
        std::string verifier;
        std::string callback;
        bool authorised = false;
    };
    mutable std::mutex mutex;
    int counter = 0;
    std::map<std::string, RequestToken> requestTokens;
    std::map<std::string, std::string> accessTokens;
    std::set<std::string> nonces;
    std::vector<std::string> refusals;
    std::map<std::string, size_t> accepted;
    std::string accessReply;
    bool redirectWithoutVerifier = false;
};

OAuthProvider::OAuthProvider(Options options) : options_(std::move(options)), state_(std::make_unique<State>())
{
    ScriptedHTTPServer::Options serverOptions;
    serverOptions.lifetimeSeconds = options_.lifetimeSeconds;
    if (options_.kind == Kind::QQ) {
        CertificateOptions certificate;
        certificate.commonName = "127.0.0.1";
        certificate.ipAddresses = {"127.0.0.1"};
        // Valid for as long as the provider serves (a long run outlives the default day).
        certificate.validForSeconds = std::max(certificate.validForSeconds, static_cast<long>(options_.lifetimeSeconds) + 3600);
        serverOptions.tls = true;
        serverOptions.certificate = options_.authority->issue(certificate);
    }
    server_ = std::make_unique<ScriptedHTTPServer>(serverOptions);
    server_->setHandler([this](const RecordedRequest& request) { return handle(request); });
}

OAuthProvider::~OAuthProvider() { server_.reset(); }

std::string OAuthProvider::hostPort() const { return "127.0.0.1:" + std::to_string(server_->port()); }

std::string OAuthProvider::baseURL() const
{
    return (options_.kind == Kind::QQ ? "https://" : "http://") + hostPort();
}

void OAuthProvider::setAccessReply(std::string body)
{
    std::lock_guard lock(state_->mutex);
    state_->accessReply = std::move(body);
}

void OAuthProvider::setRedirectWithoutVerifier(bool without)
{
    std::lock_guard lock(state_->mutex);
    state_->redirectWithoutVerifier = without;
}

std::vector<std::string> OAuthProvider::refusals() const
{
    std::lock_guard lock(state_->mutex);
    return state_->refusals;
}

size_t OAuthProvider::acceptedCount(const std::string& path) const
{
    std::lock_guard lock(state_->mutex);
    auto it = state_->accepted.find(path);
    return it == state_->accepted.end() ? 0 : it->second;
}

std::map<std::string, std::string> OAuthProvider::accessTokens() const
{
    std::lock_guard lock(state_->mutex);
    return state_->accessTokens;
}

Reply OAuthProvider::handle(const RecordedRequest& request)
{
    using namespace OAuthProviders_cpp;
    std::lock_guard lock(state_->mutex);
    State& state = *state_;
    const size_t question = request.target.find('?');
    const std::string path = request.target.substr(0, question);
    const Pairs query = question == std::string::npos ? Pairs() : parseOAuthPairs(request.target.substr(question + 1));
    const bool qq = options_.kind == Kind::QQ;
    const std::string prefix = qq ? "/cgi-bin" : "/oauth";
    auto refuse = [&](const std::string& reason) {
        state.refusals.push_back(reason + " " + path);
        return plainReply(reason, 401);
    };
    const std::string id = std::to_string(++state.counter);

    // The pages a person sees carry no signature.
    if (path == prefix + "/authorize") {
        if (request.method == "GET") {
            const std::string token = pairValue(query, "oauth_token");
            if (!state.requestTokens.count(token)) {
                return htmlPage("<html><head><title>授权失败</title></head><body><p>令牌无效</p></body></html>");
            }
            return htmlPage("<html><head><title>" + std::string(qq ? "QQ微博授权" : "Lumo微博授权") +
                        "</title></head><body><h1>授权 ombri 访问你的微博帐号</h1><p>登录后即可分享视频。</p>"
                        "<form method=\"post\" action=\"" + prefix + "/authorize\">"
                        "<input type=\"hidden\" name=\"oauth_token\" value=\"" + token + "\">"
                        "<p>帐号 <input type=\"text\" name=\"userId\" value=\"\"></p>"
                        "<p>密码 <input type=\"password\" name=\"passwd\" value=\"\"></p>"
                        "<input type=\"submit\" value=\"授权\"></form></body></html>");
        }
        const Pairs form = parseOAuthPairs(request.body);
        auto it = state.requestTokens.find(pairValue(form, "oauth_token"));
        if (it == state.requestTokens.end()) {
            return htmlPage("<html><head><title>授权失败</title></head><body><p>令牌无效</p></body></html>");
        }
        it->second.authorised = true;
        ++state.accepted[path];
        if (qq) {
            Reply redirect = Reply::withStatus(302, "Found");
            const std::string verifier = state.redirectWithoutVerifier ? "" : "=" + it->second.verifier;
            redirect.headerLines = {"Location: " + it->second.callback + "?oauth_token=" + it->first +
                                    "&openid=8876" + "&oauth_verifier" + verifier};
            return redirect;
        }
        return htmlPage("<html><head><title>授权成功</title></head><body><p>请记下授权码：<span>" + it->second.verifier +
                    "</span></p></body></html>");
    }

    // Every other request is signed.
    const Pairs header = parseAuthorization(request.header("Authorization"));
    Pairs headerPairs;
    for (const auto& pair : header) {
        if (pair.first != "realm" && pair.first != "oauth_signature") {
            headerPairs.push_back(pair);
        }
    }
    const Pairs& oauth = qq ? query : header;
    const std::string scheme = qq ? "https://" : "http://";
    const std::string url = scheme + request.header("Host") + path;
    if (pairValue(oauth, "oauth_consumer_key") != options_.consumerKey) {
        return refuse("unknown consumer");
    }
    if (pairValue(oauth, "oauth_signature_method") != "HMAC-SHA1" || pairValue(oauth, "oauth_version") != "1.0") {
        return refuse("bad method");
    }
    const std::string nonce = pairValue(oauth, "oauth_timestamp") + "/" + pairValue(oauth, "oauth_nonce");
    if (pairValue(oauth, "oauth_nonce").empty() || !state.nonces.insert(nonce).second) {
        return refuse("nonce used");
    }
    std::string tokenSecret;
    const std::string token = pairValue(oauth, "oauth_token");
    if (hasPair(oauth, "oauth_token")) {
        if (auto it = state.requestTokens.find(token); it != state.requestTokens.end()) {
            tokenSecret = it->second.secret;
        } else if (auto at = state.accessTokens.find(token); at != state.accessTokens.end()) {
            tokenSecret = at->second;
        } else {
            return refuse("unknown token");
        }
    }
    Pairs signedPairs = headerPairs;
    signedPairs.insert(signedPairs.end(), query.begin(), query.end());
    if (request.header("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0) {
        const Pairs form = parseOAuthPairs(request.body);
        signedPairs.insert(signedPairs.end(), form.begin(), form.end());
    }
    if (pairValue(header, "oauth_signature") != expectedSignature(request.method, url, signedPairs, options_.consumerSecret, tokenSecret)) {
        return refuse("bad signature");
    }
    if (qq) {
        Pairs queryPairs;
        for (const auto& pair : query) {
            if (pair.first != "oauth_signature") {
                queryPairs.push_back(pair);
            }
        }
        if (pairValue(query, "oauth_signature") != expectedSignature(request.method, url, queryPairs, options_.consumerSecret, tokenSecret)) {
            return refuse("bad query signature");
        }
    }

    if (path == prefix + "/request_token") {
        if (hasPair(oauth, "oauth_token")) {
            return refuse("token not expected");
        }
        const std::string key = "rt" + id;
        State::RequestToken issued{"rs" + id + "x", std::to_string(300000 + state.counter * 7919 % 600000), "", false};
        issued.callback = pairValue(query, "oauth_callback");
        state.requestTokens[key] = issued;
        ++state.accepted[path];
        return plainReply("oauth_token=" + key + "&oauth_token_secret=" + issued.secret + "&oauth_callback_confirmed=true");
    }
    if (path == prefix + "/access_token") {
        auto it = state.requestTokens.find(token);
        if (it == state.requestTokens.end() || !it->second.authorised) {
            return refuse("token not authorised");
        }
        const std::string verifier = qq ? pairValue(query, "oauth_verifier") : pairValue(parseOAuthPairs(request.body), "oauth_verifier");
        if (verifier != it->second.verifier) {
            return refuse("bad verifier");
        }
        ++state.accepted[path];
        if (!state.accessReply.empty()) {
            return plainReply(state.accessReply);
        }
        const std::string key = "at" + id;
        const std::string secret = "as" + id + "y";
        state.accessTokens[key] = secret;
        state.requestTokens.erase(it);
        return plainReply("oauth_token=" + key + "&oauth_token_secret=" + secret +
                    (qq ? "&name=qq_user" : "&user_id=5566&screen_name=lumo_user"));
    }
    if (!qq && (path == "/statuses/update.json" || path == "/statuses/upload.json")) {
        if (!state.accessTokens.count(token)) {
            return refuse("not an access token");
        }
        ++state.accepted[path];
        Reply reply = Reply::ok("{\"id\":" + id + ",\"created\":true}");
        reply.headerLines = {"Content-Type: application/json"};
        return reply;
    }
    return plainReply("not found", 404);
}

}  // namespace TestServers
