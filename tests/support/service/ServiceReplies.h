#pragma once
// What every route of the stand-in service answers with: the service's JSON envelope in UTF-8 (the
// HTTP status stays 200; refusals are told by the envelope's "status"), and the few things routes read
// from a request the same way.
#include <optional>
#include <string>
#include <vector>

#include "service/HttpMessage.h"

namespace standin {

// A reply of the service: the JSON text as given, "application/json; charset=utf-8".
Response jsonReply(std::string body);

// The refusal a route gives a request without a session.
Response needLogin();

// Whether a request's token names a session (a logged-out client sends none, "" or "(null)").
bool hasSession(const std::optional<std::string>& token);

// The host the client addressed, for addresses in replies that lead back to this service.
std::string hostOf(const Request& request);

// JSON text of a string: quotes, backslashes and control characters escaped.
std::string jsonQuoted(const std::string& text);

// A JSON list of items that are JSON texts already.
std::string jsonList(const std::vector<std::string>& items);

}  // namespace standin
