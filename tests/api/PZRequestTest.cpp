#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ApiTestSupport.h"
#include "api/PZRequest.h"
#include "api/ServiceReply.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "service/ApiRoutes.h"
#include "service/StandInService.h"

namespace apitest {
namespace {

constexpr char kToken[] = "tk42";
constexpr char kDeviceToken[] = "a1b2c3d4";

// What a request carried as the stand-in service received it: the raw query of a GET, the raw body of
// a URL-encoded form, or the parts of a multipart form ("name=content" for a field,
// "name[file name;type]=content" for a file), joined by "&".
std::string sent(const standin::Request& request)
{
    if (request.method == "GET") {
        return request.query;
    }
    if (!request.header("Content-Type").value_or("").starts_with("multipart/form-data")) {
        return request.body;
    }
    std::string text;
    for (const standin::FormPart& part : standin::multipartParts(request)) {
        text += (text.empty() ? "" : "&") + part.name;
        if (!part.fileName.empty()) {
            text += "[" + part.fileName + ";" + part.contentType + "]";
        }
        text += "=" + part.content;
    }
    return text;
}

class PZRequestTest : public ApiTest {
protected:
    void SetUp() override
    {
        ApiTest::SetUp();
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("OMBRI_SERVICE_HOST");
        ApiTest::TearDown();
    }
    void logIn()
    {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(
            Value::dictionary({{"status", 200}, {"token", kToken}, {"suid", "1001"}, {"username", "xiaoming"}}),
            kAcountInfoKey);
    }
    void storeDeviceToken(const char* token)
    {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(token, "devicekToken");
    }
    // Runs the request against the stand-in service and returns what the service received.
    standin::Request run(const Ref<HTTPRequest>& request)
    {
        EXPECT_TRUE(request);
        if (!request) {
            return {};
        }
        const size_t before = service.server().requestCount();
        request->startSynchronous();
        EXPECT_FALSE(request->error()) << request->error()->localizedDescription();
        EXPECT_TRUE(service.server().waitForRequests(before + 1, std::chrono::seconds(5)));
        const auto records = service.server().requests();
        return records.empty() ? standin::Request{} : records.back();
    }
    // The reply read as the screens read it: the bytes as UTF-8 JSON.
    static Value replyOf(const Ref<HTTPRequest>& request)
    {
        return NSString_JsonParsing::JSONValue(request->responseData().string());
    }

    standin::StandInService service{standin::ServerOptions{.lifetime = std::chrono::seconds(30)}};
};

struct Endpoint {
    const char* name;
    std::function<Ref<HTTPRequest>()> make;
    const char* method;
    const char* path;
    std::string sent;  // a trailing "*" stands for a decimal number that changes from call to call
};

bool matches(const std::string& expected, const std::string& actual)
{
    if (expected.empty() || expected.back() != '*') {
        return expected == actual;
    }
    const std::string prefix = expected.substr(0, expected.size() - 1);
    if (!actual.starts_with(prefix) || actual.size() == prefix.size()) {
        return false;
    }
    return actual.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

TEST_F(PZRequestTest, EveryEndpointSendsItsMethodPathAndValuesInOrder)
{
    logIn();
    storeDeviceToken(kDeviceToken);
    setNow(1357000000.5);
    const Value scid = "sc3001";
    const Value suid = "1002";
    const Value sessions = Value::array(
        {Value::dictionary({{"startTime", NSDate::dateWithTimeIntervalSince1970(1357000000.9)},
                            {"endTime", NSDate::dateWithTimeIntervalSince1970(1357000600)}}),
         Value::dictionary({{"startTime", NSDate::dateWithTimeIntervalSince1970(1357001000)},
                            {"endTime", NSDate::dateWithTimeIntervalSince1970(1357001060)}})});
    const NSData jpeg = NSData::dataWithString("\xff\xd8jpeg\xff\xd9");
    const NSData png = NSData::dataWithString("\x89PNG-cover");
    using P = PZRequest;

    const std::vector<Endpoint> endpoints = {
        {"getRecommandPeople2At_perPage", [] { return P::getRecommandPeople2At_perPage(2, 60); }, "GET",
         "/m/people.json", "page=2&per=60"},
        {"followTopic_action YES", [] { return P::followTopic_action("t4001", true); }, "POST", "/m/follow-topic.json",
         "stpid=t4001&token=tk42"},
        {"followTopic_action NO", [] { return P::followTopic_action("t4001", false); }, "POST", "/m/follow-topic.json",
         "stpid=t4001&token=tk42&_method=delete"},
        {"getNewSquareData", [] { return P::getNewSquareData(); }, "GET", "/m/category-custom.json",
         "token=tk42&mode=v2&page=1&per=20"},
        {"getNearbyPeopleByScid", [&] { return P::getNearbyPeopleByScid(scid); }, "GET", "/m/v2_location.json",
         "token=tk42&scid=sc3001&location="},
        {"getV2Comment_atPage", [&] { return P::getV2Comment_atPage(scid, 2); }, "GET", "/m/v2_comment.json",
         "scid=sc3001&page=2&per=20"},
        {"deleteSign", [&] { return P::deleteSign(scid); }, "POST", "/m/video-sign.json",
         "scid=sc3001&_method=delete&token=tk42"},
        {"getMessageAtPage", [] { return P::getMessageAtPage(2); }, "GET", "/m/sysmsg.json",
         "token=tk42&page=2&per=20"},
        {"tagVideo_withEmotion", [&] { return P::tagVideo_withEmotion(scid, 3); }, "POST", "/m/mark.json",
         "scid=sc3001&icon=3&token=tk42"},
        {"getVideoInfo_withType_isCmtID NO", [&] { return P::getVideoInfo_withType_isCmtID(scid, 255, false); }, "GET",
         "/m/v2_channel.json", "scid=sc3001&scmtid=&token=tk42&fillType=255"},
        {"getVideoInfo_withType_isCmtID YES", [] { return P::getVideoInfo_withType_isCmtID("c2001", 64, true); },
         "GET", "/m/v2_channel.json", "scid=&scmtid=c2001&token=tk42&fillType=64"},
        {"getRecentVisited", [&] { return P::getRecentVisited(scid); }, "GET", "/m/v2_channel.json",
         "scid=sc3001&scmtid=&token=tk42&fillType=64"},
        {"getNearbyVideos_atPage", [] { return P::getNearbyVideos_atPage(CGPointMake(30.25, -120.5), 2); }, "GET",
         "/m/v2_near.json", "location=30.250000,-120.500000&page=2&per=20"},
        {"loginWithAcount_andPassword", [] { return P::loginWithAcount_andPassword("xiaoming", "abc"); }, "GET",
         "/m/login.json", "user=xiaoming&pwd=900150983cd24fb0d6963f7d28e17f72&type=md5&deviceId=a1b2c3d4"},
        {"loginWithToken_andSecert_otherType", [] { return P::loginWithToken_andSecert_otherType("wt", "ws", 2); },
         "POST", "/m/login.json", "user=wt&pwd=ws&othertype=2&deviceId=a1b2c3d4"},
        {"logout", [] { return P::logout(); }, "POST", "/m/logout.json", "token=tk42&deviceId=a1b2c3d4"},
        {"getUserInfo", [&] { return P::getUserInfo(suid); }, "GET", "/m/user-info.json", "suid=1002&token=tk42&*"},
        {"getV2FeedAtPage", [] { return P::getV2FeedAtPage(2); }, "GET", "/m/v2_feed.json",
         "suid=&token=tk42&page=2&per=20"},
        {"getV2User_atPage", [&] { return P::getV2User_atPage(suid, 2); }, "GET", "/m/v2_user.json",
         "suid=1002&token=tk42&page=2&per=20"},
        {"getV2RecentAtPage", [] { return P::getV2RecentAtPage(2); }, "GET", "/m/v2_recent.json",
         "token=tk42&page=2&per=20"},
        {"getV2plazaAtPage", [] { return P::getV2plazaAtPage(2); }, "GET", "/m/v2_plaza.json", "page=2&per=20"},
        {"getTopicAtPage_topicID", [] { return P::getTopicAtPage_topicID(2, "t4001"); }, "GET", "/m/v2_topic.json",
         "token=tk42&stpid=t4001&page=2&per=20"},
        {"getFollow_atPage", [&] { return P::getFollow_atPage(suid, 2); }, "GET", "/m/relation/follow.json",
         "suid=1002&token=tk42&page=2&per=50"},
        {"getFans_atPage", [&] { return P::getFans_atPage(suid, 2); }, "GET", "/m/relation/fans.json",
         "suid=1002&token=tk42&page=2&per=50"},
        {"getMedia_page_lastMediaId", [&] { return P::getMedia_page_lastMediaId(suid, 2, "sc9"); }, "GET",
         "/m/media.json", "suid=1002&token=tk42&page=2&per=50"},
        {"followHe", [&] { return P::followHe(suid); }, "POST", "/m/follow.json", "suid=1002&token=tk42"},
        {"unfollowHe", [&] { return P::unfollowHe(suid); }, "POST", "/m/follow.json",
         "suid=1002&token=tk42&_method=delete"},
        {"getComment_fromWhere", [&] { return P::getComment_fromWhere(scid, 2); }, "GET", "/m/comment.json",
         "scid=sc3001&page=2&per=20"},
        {"addComment_withContent", [&] { return P::addComment_withContent(scid, "好看 & 有趣"); }, "POST",
         "/m/comment.json", "scid=sc3001&token=tk42&content=%E5%A5%BD%E7%9C%8B%20%26%20%E6%9C%89%E8%B6%A3"},
        {"shareMedia_content", [&] { return P::shareMedia_content(scid, "look"); }, "POST", "/m/forward.json",
         "scid=sc3001&content=look&token=tk42"},
        {"getSquare_lastMediaId", [] { return P::getSquare_lastMediaId(2, "sc9"); }, "GET", "/m/plaza.json",
         "page=2&per=50"},
        {"getHot_lastMediaId", [] { return P::getHot_lastMediaId(2, "sc9"); }, "GET", "/m/category-channel.json",
         "categoryId=&page=2&per=50"},
        {"sendMailTo_withContent", [&] { return P::sendMailTo_withContent(suid, "hi"); }, "POST", "/m/msg.json",
         "suid=1002&token=tk42&content=hi"},
        {"getFeedAtPage_lastMediaId", [] { return P::getFeedAtPage_lastMediaId(2, "sc9"); }, "GET", "/m/event.json",
         "token=tk42&page=2&per=50"},
        {"getMailsWithPage_lastMailId", [] { return P::getMailsWithPage_lastMailId(2, "m9"); }, "GET",
         "/m/msgs.json", "token=tk42&page=2&per=20"},
        {"getMailWith_page_read", [&] { return P::getMailWith_page_read(suid, 2, "yes"); }, "GET", "/m/msg.json",
         "token=tk42&suid=1002&page=2&per=20&read=yes"},
        {"getMyCommentPage_read", [] { return P::getMyCommentPage_read(2, "yes"); }, "GET", "/m/reply.json",
         "token=tk42&page=2&per=50&read=no"},
        {"editUserInfoWithdata",
         [] { return P::editUserInfoWithdata(Value::dictionary({{"nick", "阿明"}, {"desc", "x"}, {"age", 3}})); },
         "POST", "/m/modify-info.json", "nick=%E9%98%BF%E6%98%8E&desc=x&age=3&token=tk42"},
        {"editUserDesc", [] { return P::editUserDesc("about me"); }, "POST", "/m/modify-info.json",
         "desc=about%20me&token=tk42"},
        {"editUserNick", [] { return P::editUserNick("ming"); }, "POST", "/m/modify-info.json", "nick=ming&token=tk42"},
        {"editUserPassword_widthOldPassword", [] { return P::editUserPassword_widthOldPassword("new~1", "old+2"); },
         "POST", "/m/modify-info.json", "pwd=new%7E1&old=old%2B2&token=tk42"},
        {"editUserEmail", [] { return P::editUserEmail("a@b.cn"); }, "POST", "/m/modify-info.json",
         "email=a%40b.cn&token=tk42"},
        {"editUserPhone", [] { return P::editUserPhone("13800138000"); }, "POST", "/m/modify-info.json",
         "phone=13800138000&token=tk42"},
        {"forget", [] { return P::forget("a@b.cn"); }, "POST", "/m/forget-pwd.json", "email=a%40b.cn"},
        {"editUserAvatar", [&] { return P::editUserAvatar(jpeg); }, "POST", "/m/upload-icon.json",
         "token=tk42&icon[avatar.jpg;image/jpeg]=" + jpeg.string()},
        {"editUserCover", [&] { return P::editUserCover(png); }, "POST", "/m/upload-cover.json",
         "token=tk42&cover[avatar.png;image/x-png]=" + png.string()},
        {"bindUserWeibo_weiboTokenSecret", [] { return P::bindUserWeibo_weiboTokenSecret("wt", "ws"); }, "POST",
         "/m/bind-lumoweibo.json", "weiboToken=wt&weiboTokenSecret=ws&token=tk42"},
        {"bindUserQQWeibo_weiboTokenSecret", [] { return P::bindUserQQWeibo_weiboTokenSecret("qt", "qs"); }, "POST",
         "/m/bind-qweibo.json", "weiboToken=qt&weiboTokenSecret=qs&token=tk42"},
        {"unbindUserQQWeibo", [] { return P::unbindUserQQWeibo(); }, "POST", "/m/unbind-qweibo.json", "token=tk42"},
        {"deleteMedia", [&] { return P::deleteMedia(scid); }, "POST", "/m/media.json",
         "scid=sc3001&token=tk42&_method=delete"},
        {"replyCommentID_withContent", [] { return P::replyCommentID_withContent("c2001", "ok"); }, "POST",
         "/m/reply.json", "commentId=c2001&token=tk42&content=ok"},
        {"getFriends", [&] { return P::getFriends(suid); }, "GET", "/m/relation/friend.json", "suid=1002&token=tk42"},
        {"getPossibleKnownAtPage", [] { return P::getPossibleKnownAtPage(2); }, "GET", "/m/find-friend.json",
         "token=tk42&page=2&per=50"},
        {"getQQFriendAtPage", [] { return P::getQQFriendAtPage(2); }, "GET", "/m/v2_weibofriends.json",
         "token=tk42&othertype=2&page=2&per=20"},
        {"getLumoFriendAt", [] { return P::getLumoFriendAt(2); }, "GET", "/m/v2_weibofriends.json",
         "token=tk42&othertype=3&page=2&per=20"},
        {"searchByUserName", [] { return P::searchByUserName("小 明&x"); }, "GET", "/m/search-user.json",
         "token=tk42&keyword=%E5%B0%8F%20%E6%98%8E%26x&page=1&per=50"},
        {"getRecommandPeople", [] { return P::getRecommandPeople(); }, "GET", "/m/recommend.json", "page=1&per=20"},
        {"sendFeedback", [] { return P::sendFeedback("crash"); }, "POST", "/m/error-report.json",
         "errorDesc=crash&token=tk42"},
        {"setVideo_limit", [&] { return P::setVideo_limit(scid, "1002,1003"); }, "POST", "/m/share-with.json",
         "scid=sc3001&token=tk42&suids=1002%2C1003"},
        {"deleteComment", [] { return P::deleteComment("c2001"); }, "POST", "/m/comment.json",
         "commentId=c2001&token=tk42&_method=delete"},
        {"shareWeiboWithScid_withMsg", [&] { return P::shareWeiboWithScid_withMsg(scid, "m"); }, "POST",
         "/m/share-lumoweibo.json", "scid=sc3001&msg=m&token=tk42"},
        {"shareQQWeiboWithScid_withMsg nil scid", [] { return P::shareQQWeiboWithScid_withMsg(Value(), "join"); },
         "POST", "/m/share-qweibo.json", "msg=join&token=tk42"},
        {"shareQQWeiboWithScid_withMsg", [&] { return P::shareQQWeiboWithScid_withMsg(scid, "m"); }, "POST",
         "/m/share-qweibo.json", "scid=sc3001&msg=m&token=tk42"},
        {"reportWithScid", [&] { return P::reportWithScid(scid); }, "POST", "/m/channel-report.json",
         "scid=sc3001&token=tk42"},
        {"searchWithType_content", [] { return P::searchWithType_content(1, "西湖"); }, "POST",
         "/m/search-channel.json", "type=1&keyword=%E8%A5%BF%E6%B9%96&per=50"},
        {"getVersionAndSendStastic", [&] { return P::getVersionAndSendStastic(sessions); }, "GET", "/m/ver.json",
         "os=ios5&device=IPhone4&username=xiaoming&iosStartTimeis=1357000000&iosEndTimeis=1357000600"
         "&iosStartTimeis=1357001000&iosEndTimeis=1357001060"},
        {"getVersionAndSendStasticTimes", [] { return P::getVersionAndSendStasticTimes(); }, "GET", "/m/ver.json",
         "os=ios5&device=IPhone4&username=xiaoming&iosStartTimeis=1357000000"},
        {"getAtMeResult", [] { return P::getAtMeResult(2); }, "GET", "/m/atme.json", "token=tk42&page=2&per=50"},
        {"getAllTopic", [] { return P::getAllTopic(2); }, "GET", "/m/all-topic.json", "page=2&per=20"},
        {"getTopicFollowedAt", [] { return P::getTopicFollowedAt(2); }, "GET", "/m/follow-topic.json",
         "token=tk42&page=2&per=20"},
        {"modifyVideo_withTitle", [&] { return P::modifyVideo_withTitle(scid, "傍晚"); }, "POST",
         "/m/modify-channel.json", "scid=sc3001&title=%E5%82%8D%E6%99%9A&token=tk42"},
        {"modifyVideo_withLocationx_Y", [&] { return P::modifyVideo_withLocationx_Y(scid, 30.25, 120.125); }, "POST",
         "/m/modify-channel.json", "location=30.250000%2C120.125000&scid=sc3001&token=tk42"},
        {"getRemind", [] { return P::getRemind(); }, "GET", "/m/v2_remind.json", "token=tk42"},
        {"userSetting_withValue", [] { return P::userSetting_withValue("2", "0"); }, "POST", "/m/user-settings.json",
         "flag=2&value=0&token=tk42"},
        {"getUserSetting", [] { return P::getUserSetting(); }, "GET", "/m/user-settings.json", "token=tk42"},
        {"unbindUserWeibo", [] { return P::unbindUserWeibo("2"); }, "POST", "/m/unbind-weibo.json",
         "othertype=2&token=tk42"},
        {"getTopic_withPer", [] { return P::getTopic_withPer(2, 20); }, "GET", "/m/all-topic.json",
         "token=tk42&page=2&per=20"},
        {"shareWeibo_withMessage_otherType", [&] { return P::shareWeibo_withMessage_otherType(scid, "m", "2"); },
         "POST", "/m/share-weibo.json", "othertype=2&scid=sc3001&msg=m&token=tk42"},
    };
    std::set<std::string> methods;
    for (const Endpoint& e : endpoints) {
        methods.insert(std::string(e.name).substr(0, std::string(e.name).find(' ')));
    }
    EXPECT_EQ(methods.size(), 75u);

    NSLogCapture quiet(true);
    for (const Endpoint& e : endpoints) {
        SCOPED_TRACE(e.name);
        Ref<HTTPRequest> request = e.make();
        ASSERT_TRUE(request);
        EXPECT_EQ(request->url()->absoluteString().substr(0, 7 + service.hostPort().size() + 3),
                  "http://" + service.hostPort() + "/m/");
        EXPECT_EQ(std::string(e.method) == "POST", std::dynamic_pointer_cast<HTTPFormDataRequest>(request) != nullptr);
        EXPECT_FALSE(request->inProgress());  // built, not started
        const standin::Request received = run(request);
        EXPECT_EQ(received.method, e.method);
        EXPECT_EQ(received.path, e.path);
        EXPECT_PRED2(matches, e.sent, sent(received));
        EXPECT_EQ(received.header("vend"), "lumo");
        if (received.method == "POST" && e.sent.find('[') == std::string::npos) {
            EXPECT_EQ(received.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
        }
        EXPECT_TRUE(ServiceReply::succeeded(replyOf(request))) << request->responseData().string();
    }
}

TEST_F(PZRequestTest, TheGatedListsAreNilWhileLoggedOutAndTheOthersSendAnAbsentToken)
{
    using P = PZRequest;
    const std::vector<std::pair<const char*, std::function<Ref<HTTPRequest>()>>> gated = {
        {"getV2FeedAtPage", [] { return P::getV2FeedAtPage(1); }},
        {"getFollow_atPage", [] { return P::getFollow_atPage("1002", 1); }},
        {"getFans_atPage", [] { return P::getFans_atPage("1002", 1); }},
        {"getFriends", [] { return P::getFriends("1002"); }},
        {"getRemind", [] { return P::getRemind(); }},
    };
    for (const auto& [name, make] : gated) {
        EXPECT_FALSE(make()) << name;
    }
    // An account that is stored but not logged in gates as well.
    NSUserDefaults::standardUserDefaults()->setObject_forKey(Value::dictionary({{"status", 403}, {"token", kToken}}),
                                                             kAcountInfoKey);
    for (const auto& [name, make] : gated) {
        EXPECT_FALSE(make()) << name;
    }
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(kAcountInfoKey);

    // Lists without a token still build; the others send the token's place filled with an absent value.
    const struct {
        Ref<HTTPRequest> request;
        const char* sent;
        int status;
    } cases[] = {
        {P::getV2plazaAtPage(1), "page=1&per=20", 200},
        {P::getNearbyVideos_atPage(CGPointMake(1, 2), 1), "location=1.000000,2.000000&page=1&per=20", 200},
        {P::getMessageAtPage(1), "token=(null)&page=1&per=20", 403},
        {P::followHe("1002"), "suid=1002&token=", 403},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        EXPECT_EQ(sent(run(c.request)), c.sent);
        EXPECT_EQ(ServiceReply::status(replyOf(c.request)), c.status);
    }
}

TEST_F(PZRequestTest, PasswordLoginSendsTheDigestAndTheDeviceTokenOnlyWhenOneIsStored)
{
    const struct {
        const char* deviceToken;  // nullptr: none stored
        const char* password;
        const char* sent;
    } cases[] = {
        {nullptr, "", "user=u1&pwd=d41d8cd98f00b204e9800998ecf8427e&type=md5"},
        {nullptr, "abc", "user=u1&pwd=900150983cd24fb0d6963f7d28e17f72&type=md5"},
        {"", "abc", "user=u1&pwd=900150983cd24fb0d6963f7d28e17f72&type=md5"},
        {"ff00aa", "abc", "user=u1&pwd=900150983cd24fb0d6963f7d28e17f72&type=md5&deviceId=ff00aa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        if (c.deviceToken) {
            storeDeviceToken(c.deviceToken);
        } else {
            NSUserDefaults::standardUserDefaults()->removeObjectForKey("devicekToken");
        }
        auto request = PZRequest::loginWithAcount_andPassword("u1", c.password);
        EXPECT_EQ(sent(run(request)), c.sent);
        const Value reply = replyOf(request);
        EXPECT_TRUE(ServiceReply::succeeded(reply));
        EXPECT_EQ(reply["token"].stringValue(), standin::kApiAccountToken);

        // The microblog login and the logout carry the same device token as a field.
        const std::string device = c.deviceToken && *c.deviceToken ? std::string("&deviceId=") + c.deviceToken : "";
        EXPECT_EQ(sent(run(PZRequest::loginWithToken_andSecert_otherType("wt", "ws", 3))),
                  "user=wt&pwd=ws&othertype=3" + device);
        EXPECT_EQ(sent(run(PZRequest::logout())), "token=" + device);
    }
}

TEST_F(PZRequestTest, TypedTextsStayOneQueryValue)
{
    const std::string tricky = "a+b&token=evil#x y=小";
    NSUserDefaults::standardUserDefaults()->setObject_forKey(
        Value::dictionary({{"status", 200}, {"token", kToken}, {"username", tricky}}), kAcountInfoKey);
    NSLogCapture quiet(true);
    const struct {
        Ref<HTTPRequest> request;
        const char* key;
        size_t items;
    } cases[] = {
        {PZRequest::loginWithAcount_andPassword(tricky, "pw"), "user", 3},
        {PZRequest::searchByUserName(tricky), "keyword", 4},
        {PZRequest::getMailWith_page_read("1002", 1, tricky), "read", 5},
        {PZRequest::getV2User_atPage(tricky, 1), "suid", 4},
        {PZRequest::getVersionAndSendStasticTimes(), "username", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const standin::Request received = run(c.request);
        EXPECT_EQ(received.param(c.key), tricky);
        EXPECT_EQ(received.queryParams.size(), c.items);
        EXPECT_NE(received.param("token"), "evil");
    }
}

TEST_F(PZRequestTest, ThePartnersMicroblogCodeOneIsSentAsThree)
{
    logIn();
    const struct {
        Value otherType;
        const char* sent;
    } cases[] = {{"1", "3"}, {"2", "2"}, {"3", "3"}, {1, "3"}};
    for (const auto& c : cases) {
        const standin::Request received = run(PZRequest::shareWeibo_withMessage_otherType("sc3001", "m", c.otherType));
        EXPECT_EQ(standin::findParam(received.formParams(), "othertype"), c.sent) << c.otherType.description();
    }
    // An invitation: the scid field is still sent, empty.
    EXPECT_EQ(sent(run(PZRequest::shareWeibo_withMessage_otherType(Value(), "来玩", "1"))),
              "othertype=3&scid=&msg=%E6%9D%A5%E7%8E%A9&token=tk42");
}

TEST_F(PZRequestTest, TwoUserInfoRequestsForTheSameUserDiffer)
{
    logIn();
    const auto first = PZRequest::getUserInfo("1002")->url()->absoluteString();
    const auto second = PZRequest::getUserInfo("1002")->url()->absoluteString();
    EXPECT_NE(first, second);
}

TEST_F(PZRequestTest, TheStatisticsCallLogsEachSessionAndTheUrl)
{
    NSLogCapture capture(true);
    const Value sessions = Value::array({Value::dictionary({{"startTime", NSDate::dateWithTimeIntervalSince1970(10)},
                                                            {"endTime", NSDate::dateWithTimeIntervalSince1970(20)}})});
    auto request = PZRequest::getVersionAndSendStastic(sessions);
    const std::string url = request->url()->absoluteString();
    EXPECT_TRUE(url.ends_with("m/ver.json?os=ios5&device=IPhone4&username=(null)&iosStartTimeis=10&iosEndTimeis=20"))
        << url;
    const auto messages = capture.lines();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].starts_with("start ")) << messages[0];
    EXPECT_EQ(messages[1], "send stastic " + url);
}

TEST_F(PZRequestTest, RepliesAreReadThroughTheEnvelopeWithTheirChineseText)
{
    logIn();
    const struct {
        Ref<HTTPRequest> request;
        const char* path;  // a key path into "result"'s first item (or "result" itself)
        const char* text;
    } cases[] = {
        {PZRequest::getV2Comment_atPage("sc3001", 1), "content", "拍得真好，西湖的晚霞！"},
        {PZRequest::getMessageAtPage(1), "msg", "阿芳给你的视频《西湖边的傍晚》标记了心情"},
        {PZRequest::getSquare_lastMediaId(1, Value()), "ext.t", "西湖边的傍晚"},
        {PZRequest::getRecommandPeople2At_perPage(1, 60), "nick", "小明"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        run(c.request);
        EXPECT_EQ(c.request->responseHeaders().valueForKey("Content-Type"), "application/json; charset=utf-8");
        const Value reply = replyOf(c.request);
        EXPECT_EQ(ServiceReply::status(reply), 200);
        EXPECT_TRUE(ServiceReply::succeeded(reply));
        // The stand-in's lists are of any length; the total counts at least the page's items.
        EXPECT_GE(NSUInteger(ServiceReply::total(reply)), ServiceReply::result(reply).count());
        ASSERT_GE(ServiceReply::result(reply).count(), 1u);
        EXPECT_EQ(ServiceReply::result(reply)[0].valueForKeyPath(c.path).stringValue(), c.text);
    }

    // A refusal carries the text to show.
    NSUserDefaults::standardUserDefaults()->removeObjectForKey(kAcountInfoKey);
    auto refused = PZRequest::getMessageAtPage(1);
    run(refused);
    const Value reply = replyOf(refused);
    EXPECT_FALSE(ServiceReply::succeeded(reply));
    EXPECT_EQ(ServiceReply::status(reply), 403);
    EXPECT_EQ(ServiceReply::msg(reply).stringValue(), "请先登录");
    EXPECT_TRUE(ServiceReply::result(reply).isNil());
}

}  // namespace
}  // namespace apitest
