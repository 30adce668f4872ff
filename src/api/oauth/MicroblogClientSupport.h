#pragma once
// What the two microblog clients share once they hold an access token: reading the token replies,
// running the service's login or bind request on the main thread, and keeping the login state.
#include <string>
#include <string_view>
#include <vector>

#include "net/http/HTTPRequest.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

class UIWebView;

namespace MicroblogClientSupport {

// The reply "a=b&c=d..." split at every "&" and "=".
std::vector<std::string> tokenReplyElements(std::string_view body);
// Runs the request synchronously (the delegate hears it inline) and answers its reply decoded into
// mutable containers, nil when it is not JSON.
Value runSynchronously(const Ref<HTTPRequest>& request, const Weak<HTTPRequestDelegate>& delegate);
// A login reply is kept only when it logged in (status 200): "username" becomes its "loginName" and the
// account is stored. Otherwise the person is told ("提示" with the reply's message, or the network
// notice for an unreadable reply) and nothing is stored. Answers whether the login was kept.
bool storeLoginReply(Value reply);
// The three account fields of a bind reply, as the login state keeps them.
Value boundAccount(const Value& reply);
// "提示" / "绑定失败" / "确定".
void showBindFailure();
// The provider could not be reached (its token request failed): the person is told which microblog
// and why, instead of being left on an empty page. "提示" / "无法连接<name>：<reason>" / "确定".
void showUnreachable(const std::string& name, const Ref<NSError>& error);
// The sign-in page could not go on (its form's submission failed or led to an empty page): the person
// is told ("提示" with what failed), and an empty page goes back to the form.
void showPageFailure(const Ref<UIWebView>& webView, const std::string& message);
// Whether a web view's error ends a load for good (a cancelled load is only replaced by another).
bool isPageFailure(const Ref<NSError>& error);

}  // namespace MicroblogClientSupport
