#include "api/PZRequest.h"
#include "platform/foundation/Configuration.h"

#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <random>
#include <utility>

#include "api/Categories.h"
#include "api/Edition.h"
#include "api/LoginState.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

constexpr char kDeviceTokenKey[] = "devicekToken";

// A text value as it stands in a query: percent-encoded, so that it can neither end its item nor add
// one, and the URL stays valid for any text; nil is the text of an absent value.
std::string query(const Value& value)
{
    return value.isNil() ? std::string("(null)") : PhoneNumberTest::urlEncode(value.description());
}

std::string token()
{
    return query(getSelfToken());
}

// The push token the application delegate stored, nil when there is none.
Value deviceToken()
{
    Value stored = NSUserDefaults::standardUserDefaults()->objectForKey(kDeviceTokenKey);
    if (stored.isNilOrNull() || stored.description().empty()) {
        return Value();
    }
    return stored;
}

bool isLumoEdition()
{
    return std::string_view(kEditionWord) == "lumo";
}

Ref<HTTPRequest> get(const std::string& url)
{
    return HTTPRequest::requestWithURL(NSURL::URLWithString(url));
}

// A form on the base URL + path, its fields added in the order given.
Ref<HTTPFormDataRequest> post(std::string_view path, std::initializer_list<std::pair<const char*, Value>> fields)
{
    auto form = HTTPFormDataRequest::requestWithURL(NSURL::URLWithString(PZRequest::apiBaseURL() + std::string(path)));
    for (const auto& [key, value] : fields) {
        form->setPostValue_forKey(value, key);
    }
    return form;
}

// A number no earlier call gave just before, so that no cache answers the same URL twice.
int freshNumber()
{
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    static int last = -1;
    std::lock_guard lock(mutex);
    std::uniform_int_distribution<int> distribution(0, 0x7fffffff);
    int number = distribution(generator);
    while (number == last) {
        number = distribution(generator);
    }
    last = number;
    return number;
}

long long secondsSince1970(const Value& date)
{
    return static_cast<long long>(date.date().timeIntervalSince1970());
}

}  // namespace

std::string PZRequest::apiBaseURL()
{
    return "http://" + Configuration::serviceHost() + "/";
}

// ---- People, topics, square ---------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getRecommandPeople2At_perPage(int page, int per)
{
    return get(stringWithFormat("%@m/people.json?page=%d&per=%d", apiBaseURL(), page, per));
}

Ref<HTTPFormDataRequest> PZRequest::followTopic_action(const Value& topicId, bool follow)
{
    auto form = post("m/follow-topic.json", {{"stpid", topicId}, {"token", getSelfToken()}});
    if (!follow) {
        form->setPostValue_forKey("delete", "_method");
    }
    return form;
}

Ref<HTTPRequest> PZRequest::getNewSquareData()
{
    return get(stringWithFormat("%@m/category-custom.json?token=%@&mode=v2&page=1&per=20", apiBaseURL(), token()));
}

Ref<HTTPRequest> PZRequest::getNearbyPeopleByScid(const Value& scid)
{
    return get(stringWithFormat("%@m/v2_location.json?token=%@&scid=%@&location=", apiBaseURL(), token(), query(scid)));
}

Ref<HTTPRequest> PZRequest::getV2Comment_atPage(const Value& scid, int page)
{
    return get(stringWithFormat("%@m/v2_comment.json?scid=%@&page=%d&per=%d", apiBaseURL(), query(scid), page, 20));
}

Ref<HTTPFormDataRequest> PZRequest::deleteSign(const Value& scid)
{
    return post("m/video-sign.json", {{"scid", scid}, {"_method", "delete"}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getMessageAtPage(int page)
{
    return get(stringWithFormat("%@m/sysmsg.json?token=%@&page=%d&per=20", apiBaseURL(), token(), page));
}

Ref<HTTPFormDataRequest> PZRequest::tagVideo_withEmotion(const Value& scid, int emotion)
{
    return post("m/mark.json", {{"scid", scid}, {"icon", emotion}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getVideoInfo_withType_isCmtID(const Value& identifier, int fillType, bool isCmtID)
{
    const char* format = isCmtID ? "%@m/v2_channel.json?scid=&scmtid=%@&token=%@&fillType=%d"
                                 : "%@m/v2_channel.json?scid=%@&scmtid=&token=%@&fillType=%d";
    return get(stringWithFormat(format, apiBaseURL(), query(identifier), token(), fillType));
}

Ref<HTTPRequest> PZRequest::getRecentVisited(const Value& scid)
{
    return getVideoInfo_withType_isCmtID(scid, 64, false);
}

Ref<HTTPRequest> PZRequest::getNearbyVideos_atPage(CGPoint point, int page)
{
    return get(stringWithFormat("%@m/v2_near.json?location=%f,%f&page=%d&per=20", apiBaseURL(),
                                static_cast<double>(point.x), static_cast<double>(point.y), page));
}

// ---- Session ------------------------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::loginWithAcount_andPassword(const Value& user, const Value& password)
{
    const Value digest = password.isNil() ? Value() : Value(PhoneNumberTest::MD5String(password.description()));
    const Value device = deviceToken();
    if (device.isNil()) {
        return get(
            stringWithFormat("%@m/login.json?user=%@&pwd=%@&type=md5", apiBaseURL(), query(user), query(digest)));
    }
    return get(stringWithFormat("%@m/login.json?user=%@&pwd=%@&type=md5&deviceId=%@", apiBaseURL(), query(user),
                                query(digest), query(device)));
}

Ref<HTTPFormDataRequest> PZRequest::loginWithToken_andSecert_otherType(const Value& token, const Value& secret,
                                                                        int otherType)
{
    auto form = post("m/login.json", {{"user", token}, {"pwd", secret}, {"othertype", otherType}});
    if (Value device = deviceToken(); !device.isNil()) {
        form->setPostValue_forKey(device, "deviceId");
    }
    return form;
}

Ref<HTTPFormDataRequest> PZRequest::logout()
{
    auto form = post("m/logout.json", {{"token", getSelfToken()}});
    if (Value device = deviceToken(); !device.isNil()) {
        form->setPostValue_forKey(device, "deviceId");
    }
    return form;
}

Ref<HTTPRequest> PZRequest::getUserInfo(const Value& suid)
{
    return get(stringWithFormat("%@m/user-info.json?suid=%@&token=%@&%d", apiBaseURL(), query(suid), token(),
                                freshNumber()));
}

// ---- Feeds --------------------------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getV2FeedAtPage(int page)
{
    if (!isLogin()) {
        return nullptr;
    }
    return get(stringWithFormat("%@m/v2_feed.json?suid=&token=%@&page=%d&per=%d", apiBaseURL(), token(), page, 20));
}

Ref<HTTPRequest> PZRequest::getV2User_atPage(const Value& suid, int page)
{
    return get(stringWithFormat("%@m/v2_user.json?suid=%@&token=%@&page=%d&per=20", apiBaseURL(), query(suid),
                                token(), page));
}

Ref<HTTPRequest> PZRequest::getV2RecentAtPage(int page)
{
    return get(stringWithFormat("%@m/v2_recent.json?token=%@&page=%d&per=20", apiBaseURL(), token(), page));
}

Ref<HTTPRequest> PZRequest::getV2plazaAtPage(int page)
{
    return get(stringWithFormat("%@m/v2_plaza.json?page=%d&per=20", apiBaseURL(), page));
}

Ref<HTTPRequest> PZRequest::getTopicAtPage_topicID(int page, const Value& topicId)
{
    return get(stringWithFormat("%@m/v2_topic.json?token=%@&stpid=%@&page=%d&per=20", apiBaseURL(), token(),
                                query(topicId), page));
}

// ---- Relations ----------------------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getFollow_atPage(const Value& suid, int page)
{
    if (!isLogin()) {
        return nullptr;
    }
    return get(stringWithFormat("%@m/relation/follow.json?suid=%@&token=%@&page=%d&per=50", apiBaseURL(),
                                query(suid), token(), page));
}

Ref<HTTPRequest> PZRequest::getFans_atPage(const Value& suid, int page)
{
    if (!isLogin()) {
        return nullptr;
    }
    return get(stringWithFormat("%@m/relation/fans.json?suid=%@&token=%@&page=%d&per=50", apiBaseURL(), query(suid),
                                token(), page));
}

Ref<HTTPRequest> PZRequest::getMedia_page_lastMediaId(const Value& suid, int page, const Value&)
{
    return get(stringWithFormat("%@m/media.json?suid=%@&token=%@&page=%d&per=%d", apiBaseURL(), query(suid), token(),
                                page, 50));
}

Ref<HTTPFormDataRequest> PZRequest::followHe(const Value& suid)
{
    return post("m/follow.json", {{"suid", suid}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::unfollowHe(const Value& suid)
{
    return post("m/follow.json", {{"suid", suid}, {"token", getSelfToken()}, {"_method", "delete"}});
}

// ---- Comments, shares, mail ---------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getComment_fromWhere(const Value& scid, int page)
{
    return get(stringWithFormat("%@m/comment.json?scid=%@&page=%d&per=20", apiBaseURL(), query(scid), page));
}

Ref<HTTPFormDataRequest> PZRequest::addComment_withContent(const Value& scid, const Value& content)
{
    return post("m/comment.json", {{"scid", scid}, {"token", getSelfToken()}, {"content", content}});
}

Ref<HTTPFormDataRequest> PZRequest::shareMedia_content(const Value& scid, const Value& content)
{
    return post("m/forward.json", {{"scid", scid}, {"content", content}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getSquare_lastMediaId(int page, const Value&)
{
    return get(stringWithFormat("%@m/plaza.json?page=%d&per=%d", apiBaseURL(), page, 50));
}

Ref<HTTPRequest> PZRequest::getHot_lastMediaId(int page, const Value&)
{
    return get(stringWithFormat("%@m/category-channel.json?categoryId=&page=%d&per=%d", apiBaseURL(), page, 50));
}

Ref<HTTPFormDataRequest> PZRequest::sendMailTo_withContent(const Value& suid, const Value& content)
{
    return post("m/msg.json", {{"suid", suid}, {"token", getSelfToken()}, {"content", content}});
}

Ref<HTTPRequest> PZRequest::getFeedAtPage_lastMediaId(int page, const Value&)
{
    return get(stringWithFormat("%@m/event.json?token=%@&page=%d&per=%d", apiBaseURL(), token(), page, 50));
}

Ref<HTTPRequest> PZRequest::getMailsWithPage_lastMailId(int page, const Value&)
{
    return get(stringWithFormat("%@m/msgs.json?token=%@&page=%d&per=20", apiBaseURL(), token(), page));
}

Ref<HTTPRequest> PZRequest::getMailWith_page_read(const Value& suid, int page, const Value& read)
{
    return get(stringWithFormat("%@m/msg.json?token=%@&suid=%@&page=%d&per=20&read=%@", apiBaseURL(), token(),
                                query(suid), page, query(read)));
}

Ref<HTTPRequest> PZRequest::getMyCommentPage_read(int page, const Value&)
{
    return get(stringWithFormat("%@m/reply.json?token=%@&page=%d&per=50&read=no", apiBaseURL(), token(), page));
}

// ---- Profile ------------------------------------------------------------------------------------------

Ref<HTTPFormDataRequest> PZRequest::editUserInfoWithdata(const Value& data)
{
    auto form = post("m/modify-info.json", {});
    for (const auto& [key, value] : data.dictionaryItems()) {
        form->setPostValue_forKey(value, key);
    }
    form->setPostValue_forKey(getSelfToken(), "token");
    return form;
}

Ref<HTTPFormDataRequest> PZRequest::editUserDesc(const Value& desc)
{
    return editUserInfoWithdata(Value::dictionary({{"desc", desc}}));
}

Ref<HTTPFormDataRequest> PZRequest::editUserNick(const Value& nick)
{
    return editUserInfoWithdata(Value::dictionary({{"nick", nick}}));
}

Ref<HTTPFormDataRequest> PZRequest::editUserPassword_widthOldPassword(const Value& password, const Value& oldPassword)
{
    return editUserInfoWithdata(Value::dictionary({{"pwd", password}, {"old", oldPassword}}));
}

Ref<HTTPFormDataRequest> PZRequest::editUserEmail(const Value& email)
{
    return editUserInfoWithdata(Value::dictionary({{"email", email}}));
}

Ref<HTTPFormDataRequest> PZRequest::editUserPhone(const Value& phone)
{
    return editUserInfoWithdata(Value::dictionary({{"phone", phone}}));
}

Ref<HTTPFormDataRequest> PZRequest::forget(const Value& email)
{
    return post("m/forget-pwd.json", {{"email", email}});
}

Ref<HTTPFormDataRequest> PZRequest::editUserAvatar(const Value& image)
{
    auto form = post("m/upload-icon.json", {});
    if (!image.isNilOrNull()) {
        form->setData_withFileName_andContentType_forKey(image.data(), "avatar.jpg", "image/jpeg", "icon");
    }
    form->setPostValue_forKey(getSelfToken(), "token");
    return form;
}

Ref<HTTPFormDataRequest> PZRequest::editUserCover(const Value& image)
{
    auto form = post("m/upload-cover.json", {});
    if (!image.isNilOrNull()) {
        form->setData_withFileName_andContentType_forKey(image.data(), "avatar.png", "image/x-png", "cover");
    }
    form->setPostValue_forKey(getSelfToken(), "token");
    return form;
}

// ---- Microblog accounts -------------------------------------------------------------------------------

Ref<HTTPFormDataRequest> PZRequest::bindUserWeibo_weiboTokenSecret(const Value& weiboToken, const Value& secret)
{
    return post("m/bind-lumoweibo.json",
                {{"weiboToken", weiboToken}, {"weiboTokenSecret", secret}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::bindUserQQWeibo_weiboTokenSecret(const Value& weiboToken, const Value& secret)
{
    return post("m/bind-qweibo.json",
                {{"weiboToken", weiboToken}, {"weiboTokenSecret", secret}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::unbindUserQQWeibo()
{
    return post("m/unbind-qweibo.json", {{"token", getSelfToken()}});
}

// ---- Videos and comments ------------------------------------------------------------------------------

Ref<HTTPFormDataRequest> PZRequest::deleteMedia(const Value& scid)
{
    return post("m/media.json", {{"scid", scid}, {"token", getSelfToken()}, {"_method", "delete"}});
}

Ref<HTTPFormDataRequest> PZRequest::replyCommentID_withContent(const Value& commentId, const Value& content)
{
    return post("m/reply.json", {{"commentId", commentId}, {"token", getSelfToken()}, {"content", content}});
}

// ---- Finding friends ----------------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getFriends(const Value& suid)
{
    if (!isLogin()) {
        return nullptr;
    }
    return get(stringWithFormat("%@m/relation/friend.json?suid=%@&token=%@", apiBaseURL(), query(suid), token()));
}

Ref<HTTPRequest> PZRequest::getPossibleKnownAtPage(int page)
{
    return get(stringWithFormat("%@m/find-friend.json?token=%@&page=%d&per=50", apiBaseURL(), token(), page));
}

Ref<HTTPRequest> PZRequest::getQQFriendAtPage(int page)
{
    return get(stringWithFormat("%@m/v2_weibofriends.json?token=%@&othertype=2&page=%d&per=20", apiBaseURL(), token(),
                                page));
}

Ref<HTTPRequest> PZRequest::getLumoFriendAt(int page)
{
    return get(stringWithFormat("%@m/v2_weibofriends.json?token=%@&othertype=%d&page=%d&per=20", apiBaseURL(),
                                token(), isLumoEdition() ? 3 : 1, page));
}

Ref<HTTPRequest> PZRequest::searchByUserName(const Value& name)
{
    return get(stringWithFormat("%@m/search-user.json?token=%@&keyword=%@&page=1&per=50", apiBaseURL(), token(),
                                query(name)));
}

Ref<HTTPRequest> PZRequest::getRecommandPeople()
{
    return get(stringWithFormat("%@m/recommend.json?page=1&per=20", apiBaseURL()));
}

// ---- Reports, shares, search --------------------------------------------------------------------------

Ref<HTTPFormDataRequest> PZRequest::sendFeedback(const Value& text)
{
    return post("m/error-report.json", {{"errorDesc", text}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::setVideo_limit(const Value& scid, const Value& suids)
{
    return post("m/share-with.json", {{"scid", scid}, {"token", getSelfToken()}, {"suids", suids}});
}

Ref<HTTPFormDataRequest> PZRequest::deleteComment(const Value& commentId)
{
    return post("m/comment.json", {{"commentId", commentId}, {"token", getSelfToken()}, {"_method", "delete"}});
}

Ref<HTTPFormDataRequest> PZRequest::shareWeiboWithScid_withMsg(const Value& scid, const Value& message)
{
    auto form = post("m/share-lumoweibo.json", {});
    if (!scid.isNil()) {
        form->setPostValue_forKey(scid, "scid");
    }
    form->setPostValue_forKey(message, "msg");
    form->setPostValue_forKey(getSelfToken(), "token");
    return form;
}

Ref<HTTPFormDataRequest> PZRequest::shareQQWeiboWithScid_withMsg(const Value& scid, const Value& message)
{
    auto form = post("m/share-qweibo.json", {});
    if (!scid.isNil()) {
        form->setPostValue_forKey(scid, "scid");
    }
    form->setPostValue_forKey(message, "msg");
    form->setPostValue_forKey(getSelfToken(), "token");
    return form;
}

Ref<HTTPFormDataRequest> PZRequest::reportWithScid(const Value& scid)
{
    return post("m/channel-report.json", {{"scid", scid}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::searchWithType_content(const Value& type, const Value& keyword)
{
    return post("m/search-channel.json", {{"type", type}, {"keyword", keyword}, {"per", 50}});
}

// ---- Statistics ---------------------------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getVersionAndSendStastic(const Value& sessions)
{
    std::string times;
    for (const Value& session : sessions.arrayItems()) {
        const Value start = session["startTime"];
        const Value end = session["endTime"];
        NSLog("start %@, end %@", start, end);
        times += stringWithFormat("&iosStartTimeis=%d&iosEndTimeis=%d", secondsSince1970(start), secondsSince1970(end));
    }
    const std::string url = stringWithFormat("%@m/ver.json?os=ios5&device=IPhone4&username=%@%@", apiBaseURL(),
                                             query(getUserName()), times);
    NSLog("send stastic %@", url);
    return get(url);
}

Ref<HTTPRequest> PZRequest::getVersionAndSendStasticTimes()
{
    const std::string now =
        stringWithFormat("&iosStartTimeis=%d", static_cast<long long>(NSDate::date().timeIntervalSince1970()));
    const std::string url =
        stringWithFormat("%@m/ver.json?os=ios5&device=IPhone4&username=%@%@", apiBaseURL(), query(getUserName()), now);
    NSLog("send stastic %@", url);
    return get(url);
}

// ---- Topics, reminders, settings ----------------------------------------------------------------------

Ref<HTTPRequest> PZRequest::getAtMeResult(int page)
{
    return get(stringWithFormat("%@m/atme.json?token=%@&page=%d&per=50", apiBaseURL(), token(), page));
}

Ref<HTTPRequest> PZRequest::getAllTopic(int page)
{
    return get(stringWithFormat("%@m/all-topic.json?page=%d&per=20", apiBaseURL(), page));
}

Ref<HTTPRequest> PZRequest::getTopicFollowedAt(int page)
{
    return get(stringWithFormat("%@m/follow-topic.json?token=%@&page=%d&per=20", apiBaseURL(), token(), page));
}

Ref<HTTPFormDataRequest> PZRequest::modifyVideo_withTitle(const Value& scid, const Value& title)
{
    return post("m/modify-channel.json", {{"scid", scid}, {"title", title}, {"token", getSelfToken()}});
}

Ref<HTTPFormDataRequest> PZRequest::modifyVideo_withLocationx_Y(const Value& scid, double x, double y)
{
    return post("m/modify-channel.json",
                {{"location", stringWithFormat("%f,%f", x, y)}, {"scid", scid}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getRemind()
{
    if (!isLogin()) {
        return nullptr;
    }
    return get(stringWithFormat("%@m/v2_remind.json?token=%@", apiBaseURL(), token()));
}

Ref<HTTPFormDataRequest> PZRequest::userSetting_withValue(const Value& flag, const Value& value)
{
    return post("m/user-settings.json", {{"flag", flag}, {"value", value}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getUserSetting()
{
    return get(stringWithFormat("%@m/user-settings.json?token=%@", apiBaseURL(), token()));
}

Ref<HTTPFormDataRequest> PZRequest::unbindUserWeibo(const Value& otherType)
{
    return post("m/unbind-weibo.json", {{"othertype", otherType}, {"token", getSelfToken()}});
}

Ref<HTTPRequest> PZRequest::getTopic_withPer(int page, int per)
{
    return get(stringWithFormat("%@m/all-topic.json?token=%@&page=%d&per=%d", apiBaseURL(), token(), page, per));
}

Ref<HTTPFormDataRequest> PZRequest::shareWeibo_withMessage_otherType(const Value& scid, const Value& message,
                                                                     const Value& otherType)
{
    Value sent = otherType;
    if (isLumoEdition() && otherType.description() == "1") {
        sent = "3";
    }
    return post("m/share-weibo.json",
                {{"othertype", sent}, {"scid", scid}, {"msg", message}, {"token", getSelfToken()}});
}
