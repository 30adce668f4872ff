#pragma once
// The envelope of every reply of the service, read where it stands (a JSON object decoded into a Value):
// "status" (200 means success), "msg" (the text shown when it is not), "result" (the payload) and
// "total" (for paged lists). Nothing is copied out of the reply; these helpers only name the keys.
#include "platform/foundation/Value.h"

class HTTPRequest;

namespace ServiceReply {

inline constexpr int kSuccess = 200;

inline int status(const Value& reply) { return reply["status"].intValue(); }
inline bool succeeded(const Value& reply) { return status(reply) == kSuccess; }
inline Value msg(const Value& reply) { return reply["msg"]; }
inline Value result(const Value& reply) { return reply["result"]; }
inline int total(const Value& reply) { return reply["total"].intValue(); }

// The page number past which a list of `total` items has nothing more: (total + perPage) / perPage,
// worked out in 64 bits, since a reply's total may be anything up to the largest int.
inline long long pageLimit(int total, int perPage) { return (static_cast<long long>(total) + perPage) / perPage; }

// The reply a finished request received, decoded (nil when its body is not JSON).
Value of(const Ref<HTTPRequest>& request);

// The items of a list (a reply's "result"), each dictionary copied into one of the list's own, so
// the screen may change its rows without touching the reply.
Value mutableItems(const Value& items);

}  // namespace ServiceReply
