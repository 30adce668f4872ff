#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api/oauth/OAuthDataFetcher.h"
#include "fixtures/RefusingPort.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "service/HttpServer.h"

namespace {
namespace OAuthConsumerTest_cpp {

using Parameters = std::vector<Ref<OAuthRequestParameter>>;

Ref<OAuthMutableURLRequest> makeRequest(const std::string& url, const Ref<OAuthToken>& token,
                                        const std::string& method = "GET")
{
    auto request = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider_nonce_timestamp(
        NSURL::URLWithString(url), OAuthConsumer::initWithKey_secret(Value("dpf43f3p2l4k3l03"), Value("kd94hf93k423kf44")),
        token, Value(), nullptr, "kllo9940pd9333jh", "1191242096");
    request->setHTTPMethod(method);
    return request;
}

Ref<OAuthToken> photosToken() { return OAuthToken::initWithKey_secret(Value("nnch734d00sl2jdk"), Value("pfkkdhi9sl3r4s00")); }

Ref<OAuthRequestParameter> pair(const std::string& name, const std::string& value)
{
    return OAuthRequestParameter::requestParameterWithName_value(name, value);
}

// What the delegate of a fetch heard.
class Listener : public NSObject {
public:
    std::vector<std::string> heard;
    Ref<OAuthServiceTicket> ticket;
    void finished(const Ref<OAuthServiceTicket>& t, const NSData& data)
    {
        ticket = t;
        heard.push_back(std::string(t->didSucceed() ? "ok " : "not ok ") + data.string());
    }
    void failed(const Ref<OAuthServiceTicket>& t, const Ref<NSError>& error)
    {
        ticket = t;
        heard.push_back("failed " + std::to_string(error ? error->code() : 0));
    }
    OAuthFinishSelector finish() { return OAuthFinishSelector::make("ticket:didFinishWithData:", &Listener::finished); }
    OAuthFailSelector fail() { return OAuthFailSelector::make("ticket:didFailWithError:", &Listener::failed); }
};


TEST(OAuthSigningTest, PublishedVectorsSignAsExpected)
{
    // HMAC-SHA1 in Base64.
    EXPECT_EQ(OAuthHMAC_SHA1SignatureProvider::create()->signClearText_withSecret(
                  "The quick brown fox jumps over the lazy dog", "key"),
              "3nybhbi3iqa8ino29wqQcBydtNk=");
    EXPECT_EQ(OAuthPlaintextSignatureProvider::create()->signClearText_withSecret("text", "s&t"), "s&t");

    // The photo request of the OAuth 1.0 example: its pairs sort the same way under the whole-text rule,
    // so base string and signature are the published ones.
    auto request = makeRequest("http://photos.example.net/photos?file=vacation.jpg&size=original", photosToken());
    EXPECT_EQ(request->signatureBaseString(),
              "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3Ddpf43f3p2l4k3l03"
              "%26oauth_nonce%3Dkllo9940pd9333jh%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%3D1191242096"
              "%26oauth_token%3Dnnch734d00sl2jdk%26oauth_version%3D1.0%26size%3Doriginal");
    request->setOAuthParameterName_withValue(Value("z_extra"), Value("a b"));
    request->setOAuthParameterName_withValue(Value("b_extra"), Value("1"));
    request->setOAuthParameterName_withValue(Value("dropped"), Value());
    request->prepare();
    EXPECT_EQ(request->signature(), "tR3+Ty81lMeYAr/Fid0kMTYa/WM=");
    EXPECT_EQ(request->valueForHTTPHeaderField("Authorization").value_or(""),
              "OAuth realm=\"\", oauth_consumer_key=\"dpf43f3p2l4k3l03\", oauth_token=\"nnch734d00sl2jdk\", "
              "oauth_signature_method=\"HMAC-SHA1\", oauth_signature=\"tR3%2BTy81lMeYAr%2FFid0kMTYa%2FWM%3D\", "
              "oauth_timestamp=\"1191242096\", oauth_nonce=\"kllo9940pd9333jh\", oauth_version=\"1.0\", "
              "b_extra=\"1\", z_extra=\"a%20b\"");
    EXPECT_EQ(request->cachePolicy(), NSURLRequestReloadIgnoringLocalCacheData);
    EXPECT_EQ(request->timeoutInterval(), 10.0);

    // Preparing again keeps the timestamp and nonce, so the signature stays.
    request->prepare();
    EXPECT_EQ(request->signature(), "tR3+Ty81lMeYAr/Fid0kMTYa/WM=");
}

TEST(OAuthSigningTest, BaseStringRules)
{
    const struct {
        const char* what;
        std::string method;
        Parameters parameters;
        Ref<OAuthToken> token;
        std::string expectedPairs;  // the decoded joined pairs of the base string
    } cases[] = {
        {"whole-text sort", "GET", {pair("b", "1"), pair("a", "2"), pair("a", "10")}, photosToken(),
         "a=10&a=2&b=1&oauth_consumer_key=dpf43f3p2l4k3l03&oauth_nonce=kllo9940pd9333jh&"
         "oauth_signature_method=HMAC-SHA1&oauth_timestamp=1191242096&oauth_token=nnch734d00sl2jdk&oauth_version=1.0"},
        {"no token", "GET", {pair("x", "y z")}, OAuthToken::create(),
         "oauth_consumer_key=dpf43f3p2l4k3l03&oauth_nonce=kllo9940pd9333jh&oauth_signature_method=HMAC-SHA1&"
         "oauth_timestamp=1191242096&oauth_version=1.0&x=y%20z"},
        {"form body", "POST", {pair("oauth_verifier", "8&9")}, photosToken(),
         "oauth_consumer_key=dpf43f3p2l4k3l03&oauth_nonce=kllo9940pd9333jh&oauth_signature_method=HMAC-SHA1&"
         "oauth_timestamp=1191242096&oauth_token=nnch734d00sl2jdk&oauth_verifier=8%269&oauth_version=1.0"},
        {"empty body", "POST", {}, nullptr,
         "oauth_consumer_key=dpf43f3p2l4k3l03&oauth_nonce=kllo9940pd9333jh&oauth_signature_method=HMAC-SHA1&"
         "oauth_timestamp=1191242096&oauth_version=1.0"},
    };
    for (const auto& c : cases) {
        auto request = makeRequest("http://h.example/p?old=1", c.token, c.method);
        if (!c.parameters.empty()) {
            OAuthParameterAdditions::setParameters(request, c.parameters);
        }
        const std::string base = request->signatureBaseString();
        const std::string prefix = c.method + "&http%3A%2F%2Fh.example%2Fp&";
        ASSERT_EQ(base.rfind(prefix, 0), 0u) << c.what << ": " << base;
        EXPECT_EQ(OAuthURLEncodingAdditions::URLDecodedString(base.substr(prefix.size())), c.expectedPairs) << c.what;
        request->prepare();
        const std::string header = request->valueForHTTPHeaderField("Authorization").value_or("");
        EXPECT_EQ(header.find("oauth_token=") != std::string::npos, c.expectedPairs.find("oauth_token=") != std::string::npos)
            << c.what;
    }
}

TEST(OAuthParametersTest, ParametersTravelInTheQueryTheBodyOrAMultipartURL)
{
    auto get = makeRequest("http://h.example/p?old=1", nullptr);
    OAuthParameterAdditions::setParameters(get, {pair("oauth_callback", "http://cb.example/back?a=1")});
    EXPECT_EQ(get->URL()->absoluteString(), "http://h.example/p?oauth_callback=http%3A%2F%2Fcb.example%2Fback%3Fa%3D1");
    auto read = OAuthParameterAdditions::parameters(get);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0]->value(), "http://cb.example/back?a=1");

    auto post = makeRequest("http://h.example/p", nullptr, "POST");
    OAuthParameterAdditions::setParameters(post, {pair("status", "你好 world"), pair("n", "1")});
    EXPECT_EQ(post->HTTPBody().string(), "status=%E4%BD%A0%E5%A5%BD%20world&n=1");
    EXPECT_EQ(post->valueForHTTPHeaderField("Content-Length").value_or(""), "37");
    EXPECT_EQ(post->valueForHTTPHeaderField("Content-Type").value_or(""), "application/x-www-form-urlencoded");
    EXPECT_EQ(OAuthParameterAdditions::parameters(post).at(0)->value(), "你好 world");

    // A multipart body gives no pairs of its own: the query's pairs are signed and leave the URL.
    auto multipart = makeRequest("http://h.example/up?k=v&flag", nullptr, "POST");
    multipart->setValue_forHTTPHeaderField("multipart/form-data; boundary=xyz", "Content-Type");
    multipart->setHTTPBody(NSData::dataWithString("--xyz\r\n...\r\n--xyz--\r\n"));
    auto fromQuery = OAuthParameterAdditions::parameters(multipart);
    ASSERT_EQ(fromQuery.size(), 1u);
    EXPECT_EQ(fromQuery[0]->URLEncodedNameValuePair(), "k=v");
    EXPECT_EQ(multipart->URL()->absoluteString(), "http://h.example/up");

    EXPECT_TRUE(OAuthParameterAdditions::parameters(makeRequest("http://h.example/p", nullptr)).empty());
    EXPECT_EQ(OAuthURLEncodingAdditions::URLEncodedString("a!*'();:@&=+$,/?%#[] ~"),
              "a%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20~");
    EXPECT_EQ(OAuthBaseAdditions::URLStringWithoutQuery(NSURL::URLWithString("http://h.example/a/b?c=1?d")),
              "http://h.example/a/b");
}

TEST(OAuthValuesTest, TokensFromRepliesAndGeneratedNonces)
{
    auto token = OAuthToken::initWithHTTPResponseBody("oauth_token=a%2Bb&oauth_token_secret=s%20t&x=1&lonely");
    EXPECT_EQ(token->key().stringValue(), "a+b");
    EXPECT_EQ(token->secret().stringValue(), "s t");
    auto partial = OAuthToken::initWithHTTPResponseBody("oauth_token=k&oauth_token_secret");
    EXPECT_EQ(partial->key().stringValue(), "k");
    EXPECT_TRUE(partial->secret().isNil());
    EXPECT_EQ(OAuthToken::create()->key().stringValue(), "");

    for (int i = 0; i < 200; ++i) {
        const std::string nonce = OAuthMutableURLRequest::generateNonce();
        ASSERT_TRUE(nonce.size() == 6 || nonce.size() == 7) << nonce;
        const long value = std::stol(nonce);
        ASSERT_GE(value, 123400);
        ASSERT_LE(value, 9999998);
    }
    auto made = OAuthMutableURLRequest::initWithURL_consumer_token_realm_signatureProvider(
        NSURL::URLWithString("http://h.example/"), OAuthConsumer::initWithKey_secret(Value(), Value("s")), nullptr,
        Value("photos"), nullptr);
    made->prepare();
    EXPECT_EQ(made->signatureProvider()->name(), "HMAC-SHA1");
    // A consumer without a key (a missing configuration entry) signs as "(null)", as it always did.
    EXPECT_EQ(made->valueForHTTPHeaderField("Authorization").value_or("").rfind(
                  "OAuth realm=\"photos\", oauth_consumer_key=\"(null)\", oauth_signature_method", 0),
              0u);
}

TEST(OAuthValuesTest, Base64BreaksLinesAt72Characters)
{
    const struct {
        size_t length;
        size_t estimate;
        size_t written;
    } cases[] = {{0, 0, 0}, {1, 4, 4}, {20, 28, 28}, {54, 74, 72}, {55, 78, 78}, {108, 148, 146}};
    for (const auto& c : cases) {
        std::string input(c.length, '\xA5');
        EXPECT_EQ(EstimateBas64EncodedDataSize(c.length), c.estimate) << c.length;
        std::string output(c.estimate + 8, '#');
        size_t length = c.estimate;
        ASSERT_TRUE(Base64EncodeData(input.data(), input.size(), output.data(), &length)) << c.length;
        EXPECT_EQ(length, c.written) << c.length;
        std::string lines = output.substr(0, length);
        size_t breaks = 0;
        for (size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at + 2)) {
            EXPECT_EQ((at - breaks * 74) % 74, 72u) << c.length;
            ++breaks;
        }
        lines.erase(std::remove(lines.begin(), lines.end(), '\r'), lines.end());
        lines.erase(std::remove(lines.begin(), lines.end(), '\n'), lines.end());
        EXPECT_EQ(Base64::decode(lines).value_or("?"), input) << c.length;
        size_t tooSmall = c.estimate - 1;
        if (c.estimate > 0) {
            output.assign(4, '#');
            EXPECT_FALSE(Base64EncodeData(input.data(), input.size(), output.data(), &tooSmall));
            EXPECT_EQ(tooSmall, c.estimate - 1);
            EXPECT_EQ(output, "####");
        }
    }
}

TEST(OAuthFetcherTest, FetchersSignSendAndReportToTheDelegate)
{
    MainThreadScope main;
    standin::HttpServer server;
    server.route("/token", [](const standin::Request& request) {
        standin::Response response = standin::Response::text("oauth_token=t&oauth_token_secret=s");
        if (!request.header("Authorization")) {
            response.status = 401;
        }
        return response;
    });
    auto listener = std::make_shared<Listener>();
    const std::string url = "http://" + server.hostPort() + "/token";

    auto request = makeRequest(url, nullptr);
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        request, listener, listener->finish(), listener->fail());
    ASSERT_EQ(listener->heard, std::vector<std::string>{"ok oauth_token=t&oauth_token_secret=s"});
    EXPECT_EQ(server.requests("/token").at(0).header("Authorization").value_or(""),
              request->valueForHTTPHeaderField("Authorization").value_or("-"));

    auto later = makeRequest(url, nullptr);
    OAuthAsynchronousDataFetcher::asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
        later, listener, listener->finish(), listener->fail())
        ->start();
    ASSERT_TRUE(pumpMainUntil([&] { return listener->heard.size() == 2; }));
    EXPECT_TRUE(listener->ticket->didSucceed());
    EXPECT_EQ(listener->ticket->request(), later);

    // A status of 400 or more still finishes, not succeeding; a transport failure fails.
    server.route("/token", [](const standin::Request&) { return standin::Response::text("refused", 401); });
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        makeRequest(url, nullptr), listener, listener->finish(), listener->fail());
    EXPECT_EQ(listener->heard.back(), "not ok refused");
    RefusingPort refusing;
    const std::string refused = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/token";
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        makeRequest(refused, nullptr), listener, listener->finish(), listener->fail());
    EXPECT_EQ(listener->heard.back(), "failed " + std::to_string(NSURLErrorCannotConnectToHost));
    EXPECT_FALSE(listener->ticket->didSucceed());
    OAuthAsynchronousDataFetcher::asynchronousFetcherWithRequest_delegate_didFinishSelector_didFailSelector(
        makeRequest(refused, nullptr), listener, listener->finish(), listener->fail())
        ->start();
    ASSERT_TRUE(pumpMainUntil([&] { return listener->heard.size() == 5; }));
    EXPECT_EQ(listener->heard.back(), "failed " + std::to_string(NSURLErrorCannotConnectToHost));
}

TEST(OAuthFetcherTest, ADrippingProviderEndsByTheDeadlineWhileTheInterfaceTurns)
{
    MainThreadScope main;
    standin::HttpServer server;
    server.route("/token", [](const standin::Request&) {
        return standin::Response::text("oauth_token=t&oauth_token_secret=s&" + std::string(200, 'x'));
    });
    // A byte every 200 ms: the whole reply would take the better part of a minute.
    server.addFault("/token", standin::Fault::drip(1, std::chrono::milliseconds(200)).persistent());
    OAuthDataFetcher::setExchangeTimeout(0.5);
    auto listener = std::make_shared<Listener>();
    bool turned = false;
    dispatch_async(dispatch_get_main_queue(), [&] { turned = true; });
    OAuthDataFetcher::create()->fetchDataWithRequest_delegate_didFinishSelector_didFailSelector(
        makeRequest("http://" + server.hostPort() + "/token", nullptr), listener, listener->finish(), listener->fail());
    OAuthDataFetcher::setExchangeTimeout(OAuthDataFetcher::kDefaultExchangeTimeout);
    // The main queue's work ran during the exchange, and the exchange ended by its deadline.
    EXPECT_TRUE(turned);
    ASSERT_EQ(listener->heard, std::vector<std::string>{"failed " + std::to_string(NSURLErrorTimedOut)});
    EXPECT_FALSE(listener->ticket->didSucceed());
}

}  // namespace OAuthConsumerTest_cpp
}  // namespace
