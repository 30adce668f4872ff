#pragma once
// What the authentication tests share: Basic header values and a server route guarded by a challenge.
#include <functional>
#include <string>
#include <utility>

#include "platform/foundation/Base64.h"
#include "servers/ScriptedHTTPServer.h"

namespace authtest {

inline std::string basic(const std::string& user, const std::string& password)
{
    return "Basic " + Base64::encode(user + ":" + password);
}

// Answers 401 with `challenge` unless the request carries `authorization`.
inline std::function<TestServers::Reply(const TestServers::RecordedRequest&)> guarded(std::string challenge,
                                                                                     std::string authorization)
{
    return [challenge = std::move(challenge),
            authorization = std::move(authorization)](const TestServers::RecordedRequest& r) {
        if (r.header("Authorization") == authorization) {
            return TestServers::Reply::ok("secret");
        }
        TestServers::Reply reply = TestServers::Reply::withStatus(401, "Unauthorized", "no");
        reply.headerLines.push_back("WWW-Authenticate: " + challenge);
        return reply;
    };
}

}  // namespace authtest
