#pragma once
// Stand-ins of the two microblog services' OAuth 1.0 providers, on 127.0.0.1, for the microblog clients'
// tests. Each checks every signature it receives by computing it again from the request as it arrived
// (the consumer's rules: whole "name=value" pairs, encoded, sorted as texts; the key is the consumer
// secret as it is, "&", and the encoded token secret), refuses a nonce it has seen before, issues tokens
// and serves an authorisation page with a form.
//
//   Lumo (plain HTTP): GET /oauth/request_token, GET /oauth/authorize (the form; no span), POST
//   /oauth/authorize (a page whose first span holds the verifier), POST /oauth/access_token (body
//   "oauth_verifier"), POST /statuses/update.json and /statuses/upload.json. OAuth values in the header.
//
//   QQ (TLS, certificate issued by the given authority for 127.0.0.1): GET /cgi-bin/request_token, GET
//   /cgi-bin/authorize (the form), POST /cgi-bin/authorize (a redirect to the callback with
//   "oauth_verifier" in its query), GET /cgi-bin/access_token. OAuth values in the query, signed, and
//   again in the header, whose signature also covers the query's pairs.
//
// A refused request is answered 401 with the reason as its body, and recorded (refusals()).
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ScriptedHTTPServer.h"
#include "TestCertificates.h"

namespace TestServers {

class OAuthProvider {
public:
    enum class Kind { Lumo, QQ };
    struct Options {
        Kind kind = Kind::Lumo;
        std::string consumerKey;
        std::string consumerSecret;
        const TestCertificateAuthority* authority = nullptr;  // required for QQ
        double lifetimeSeconds = 60;                          // then it stops by itself
    };

    explicit OAuthProvider(Options options);
    ~OAuthProvider();

    // "127.0.0.1:<port>", for the clients' host settings.
    std::string hostPort() const;
    std::string baseURL() const;

    // What the access-token step answers instead of a token (a short or broken reply).
    void setAccessReply(std::string body);
    // The QQ redirect after the form leaves the verifier's value out ("...&oauth_verifier").
    void setRedirectWithoutVerifier(bool without);

    // The reasons of refused requests, in order ("bad signature /oauth/request_token", "nonce used ...").
    std::vector<std::string> refusals() const;
    // Requests that passed every check, by path.
    size_t acceptedCount(const std::string& path) const;
    // The access tokens issued: token -> secret.
    std::map<std::string, std::string> accessTokens() const;
    const std::vector<RecordedRequest> requests() const { return server_->requests(); }

private:
    struct State;
    Reply handle(const RecordedRequest& request);

    Options options_;
    std::unique_ptr<State> state_;
    std::unique_ptr<ScriptedHTTPServer> server_;
};

}  // namespace TestServers
