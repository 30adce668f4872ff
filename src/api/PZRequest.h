#pragma once
// PZRequest: the one place that knows the service's HTTP API. A class without instances or state; each
// class method builds one request of one endpoint and returns it unstarted. The caller sets itself as
// the delegate, keeps the request to tell replies apart and starts it (asynchronously, or synchronously
// on a worker thread); nothing here sets a delegate, a tag or a time-out, or starts anything. Every
// reply is a JSON object read through ServiceReply.h.
//
//   auto request = PZRequest::getV2plazaAtPage(1);
//   request->setDelegate(self);
//   request->startAsynchronous();
//
// Two shapes:
// - GET (HTTPRequest): every value travels in the query of "<base>m/<name>.json?...". Numbers are
//   written as decimal text ("%f" with six fractional digits); every text value is percent-encoded
//   (PhoneNumberTest::urlEncode), so a value holding "&", "=", "#", a space or non-ASCII text stays one
//   value and the URL stays valid. A nil value is written as "(null)", the text of an absent value.
// - POST (HTTPFormDataRequest): on "<base>m/<name>.json" with the fields added in a fixed order
//   (setPostValue_forKey), so the URL-encoded body carries them in that order; integers are added as
//   numbers. A delete is a POST with "_method" = "delete". The two image uploads are multipart (all
//   fields first, then the image part). A nil value is sent as the key with an empty value.
//
// "token" is the login state's getSelfToken at the moment of the call. The five methods marked "login"
// return nil (building nothing) while nobody is logged in; every other method builds its request
// whatever the login state. The base URL is apiBaseURL(), read at each call. Callable on any thread.
#include <string>

#include "net/http/HTTPFormDataRequest.h"
#include "net/http/HTTPRequest.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class PZRequest {
public:
    PZRequest() = delete;

    // "http://" + OMBRI_SERVICE_HOST ("host" or "host:port"; "127.0.0.1:8080" when unset) + "/".
    static std::string apiBaseURL();

    // ---- People, topics, square -------------------------------------------------------------------
    // m/people.json?page=&per=
    static Ref<HTTPRequest> getRecommandPeople2At_perPage(int page, int per);
    // POST m/follow-topic.json: stpid, token, and "_method" = "delete" when follow is NO.
    static Ref<HTTPFormDataRequest> followTopic_action(const Value& topicId, bool follow);
    // m/category-custom.json?token=&mode=v2&page=1&per=20
    static Ref<HTTPRequest> getNewSquareData();
    // m/v2_location.json?token=&scid=&location=
    static Ref<HTTPRequest> getNearbyPeopleByScid(const Value& scid);
    // m/v2_comment.json?scid=&page=&per=20
    static Ref<HTTPRequest> getV2Comment_atPage(const Value& scid, int page);
    // POST m/video-sign.json: scid, _method=delete, token
    static Ref<HTTPFormDataRequest> deleteSign(const Value& scid);
    // m/sysmsg.json?token=&page=&per=20
    static Ref<HTTPRequest> getMessageAtPage(int page);
    // POST m/mark.json: scid, icon (the emotion number), token
    static Ref<HTTPFormDataRequest> tagVideo_withEmotion(const Value& scid, int emotion);
    // m/v2_channel.json?scid=<id>&scmtid=&token=&fillType= (a video id), or with the id in "scmtid" and
    // "scid" left empty (a comment id).
    static Ref<HTTPRequest> getVideoInfo_withType_isCmtID(const Value& identifier, int fillType, bool isCmtID);
    // getVideoInfo_withType_isCmtID(scid, 64, NO)
    static Ref<HTTPRequest> getRecentVisited(const Value& scid);
    // m/v2_near.json?location=<x>,<y>&page=&per=20, each coordinate with six fractional digits.
    static Ref<HTTPRequest> getNearbyVideos_atPage(CGPoint point, int page);

    // ---- Session ----------------------------------------------------------------------------------
    // m/login.json?user=&pwd=<MD5 of the password, lower-case hex>&type=md5, then "&deviceId=" with the
    // user default "devicekToken" when one is stored (always the last item).
    static Ref<HTTPRequest> loginWithAcount_andPassword(const Value& user, const Value& password);
    // POST m/login.json: user (the microblog token), pwd (its secret), othertype, and deviceId when a
    // device token is stored.
    static Ref<HTTPFormDataRequest> loginWithToken_andSecert_otherType(const Value& token, const Value& secret,
                                                                      int otherType);
    // POST m/logout.json: token, and deviceId when a device token is stored.
    static Ref<HTTPFormDataRequest> logout();
    // m/user-info.json?suid=&token=&<a fresh pseudo-random number> (so that no cache answers).
    static Ref<HTTPRequest> getUserInfo(const Value& suid);

    // ---- Feeds ------------------------------------------------------------------------------------
    // login: m/v2_feed.json?suid=&token=&page=&per=20
    static Ref<HTTPRequest> getV2FeedAtPage(int page);
    // m/v2_user.json?suid=&token=&page=&per=20
    static Ref<HTTPRequest> getV2User_atPage(const Value& suid, int page);
    // m/v2_recent.json?token=&page=&per=20
    static Ref<HTTPRequest> getV2RecentAtPage(int page);
    // m/v2_plaza.json?page=&per=20
    static Ref<HTTPRequest> getV2plazaAtPage(int page);
    // m/v2_topic.json?token=&stpid=&page=&per=20
    static Ref<HTTPRequest> getTopicAtPage_topicID(int page, const Value& topicId);

    // ---- Relations --------------------------------------------------------------------------------
    // login: m/relation/follow.json?suid=&token=&page=&per=50
    static Ref<HTTPRequest> getFollow_atPage(const Value& suid, int page);
    // login: m/relation/fans.json?suid=&token=&page=&per=50
    static Ref<HTTPRequest> getFans_atPage(const Value& suid, int page);
    // m/media.json?suid=&token=&page=&per=50 (the last id is not sent)
    static Ref<HTTPRequest> getMedia_page_lastMediaId(const Value& suid, int page, const Value& lastMediaId);
    // POST m/follow.json: suid, token
    static Ref<HTTPFormDataRequest> followHe(const Value& suid);
    // POST m/follow.json: suid, token, _method=delete
    static Ref<HTTPFormDataRequest> unfollowHe(const Value& suid);

    // ---- Comments, shares, mail -------------------------------------------------------------------
    // m/comment.json?scid=&page=&per=20
    static Ref<HTTPRequest> getComment_fromWhere(const Value& scid, int page);
    // POST m/comment.json: scid, token, content
    static Ref<HTTPFormDataRequest> addComment_withContent(const Value& scid, const Value& content);
    // POST m/forward.json: scid, content, token
    static Ref<HTTPFormDataRequest> shareMedia_content(const Value& scid, const Value& content);
    // m/plaza.json?page=&per=50
    static Ref<HTTPRequest> getSquare_lastMediaId(int page, const Value& lastMediaId);
    // m/category-channel.json?categoryId=&page=&per=50
    static Ref<HTTPRequest> getHot_lastMediaId(int page, const Value& lastMediaId);
    // POST m/msg.json: suid, token, content
    static Ref<HTTPFormDataRequest> sendMailTo_withContent(const Value& suid, const Value& content);
    // m/event.json?token=&page=&per=50
    static Ref<HTTPRequest> getFeedAtPage_lastMediaId(int page, const Value& lastMediaId);
    // m/msgs.json?token=&page=&per=20
    static Ref<HTTPRequest> getMailsWithPage_lastMailId(int page, const Value& lastMailId);
    // m/msg.json?token=&suid=&page=&per=20&read=
    static Ref<HTTPRequest> getMailWith_page_read(const Value& suid, int page, const Value& read);
    // m/reply.json?token=&page=&per=50&read=no (the argument is not sent)
    static Ref<HTTPRequest> getMyCommentPage_read(int page, const Value& read);

    // ---- Profile ----------------------------------------------------------------------------------
    // POST m/modify-info.json: one field per entry of the dictionary, in its order, then token.
    static Ref<HTTPFormDataRequest> editUserInfoWithdata(const Value& data);
    static Ref<HTTPFormDataRequest> editUserDesc(const Value& desc);    // {"desc"}
    static Ref<HTTPFormDataRequest> editUserNick(const Value& nick);    // {"nick"}
    // {"pwd": new, "old": old}, both as typed.
    static Ref<HTTPFormDataRequest> editUserPassword_widthOldPassword(const Value& password, const Value& oldPassword);
    static Ref<HTTPFormDataRequest> editUserEmail(const Value& email);  // {"email"}
    static Ref<HTTPFormDataRequest> editUserPhone(const Value& phone);  // {"phone"}
    // POST m/forget-pwd.json: email
    static Ref<HTTPFormDataRequest> forget(const Value& email);
    // Multipart POST m/upload-icon.json: token, then the part "icon" ("avatar.jpg", "image/jpeg") with
    // the image's bytes (a Value holding NSData).
    static Ref<HTTPFormDataRequest> editUserAvatar(const Value& image);
    // Multipart POST m/upload-cover.json: token, then the part "cover" ("avatar.png", "image/x-png").
    // Without an image (nil) no part is sent, only the token: the service then picks a cover.
    static Ref<HTTPFormDataRequest> editUserCover(const Value& image);

    // ---- Microblog accounts -----------------------------------------------------------------------
    // POST m/bind-lumoweibo.json: weiboToken, weiboTokenSecret, token
    static Ref<HTTPFormDataRequest> bindUserWeibo_weiboTokenSecret(const Value& weiboToken, const Value& secret);
    // POST m/bind-qweibo.json: weiboToken, weiboTokenSecret, token
    static Ref<HTTPFormDataRequest> bindUserQQWeibo_weiboTokenSecret(const Value& weiboToken, const Value& secret);
    // POST m/unbind-qweibo.json: token
    static Ref<HTTPFormDataRequest> unbindUserQQWeibo();

    // ---- Videos and comments ----------------------------------------------------------------------
    // POST m/media.json: scid, token, _method=delete
    static Ref<HTTPFormDataRequest> deleteMedia(const Value& scid);
    // POST m/reply.json: commentId, token, content
    static Ref<HTTPFormDataRequest> replyCommentID_withContent(const Value& commentId, const Value& content);

    // ---- Finding friends --------------------------------------------------------------------------
    // login: m/relation/friend.json?suid=&token=
    static Ref<HTTPRequest> getFriends(const Value& suid);
    // m/find-friend.json?token=&page=&per=50
    static Ref<HTTPRequest> getPossibleKnownAtPage(int page);
    // m/v2_weibofriends.json?token=&othertype=2&page=&per=20
    static Ref<HTTPRequest> getQQFriendAtPage(int page);
    // m/v2_weibofriends.json?token=&othertype=<3 in this edition, 1 in others>&page=&per=20
    static Ref<HTTPRequest> getLumoFriendAt(int page);
    // m/search-user.json?token=&keyword=&page=1&per=50
    static Ref<HTTPRequest> searchByUserName(const Value& name);
    // m/recommend.json?page=1&per=20
    static Ref<HTTPRequest> getRecommandPeople();

    // ---- Reports, shares, search ------------------------------------------------------------------
    // POST m/error-report.json: errorDesc, token
    static Ref<HTTPFormDataRequest> sendFeedback(const Value& text);
    // POST m/share-with.json: scid, token, suids
    static Ref<HTTPFormDataRequest> setVideo_limit(const Value& scid, const Value& suids);
    // POST m/comment.json: commentId, token, _method=delete
    static Ref<HTTPFormDataRequest> deleteComment(const Value& commentId);
    // POST m/share-lumoweibo.json: scid (only when given), msg, token
    static Ref<HTTPFormDataRequest> shareWeiboWithScid_withMsg(const Value& scid, const Value& message);
    // POST m/share-qweibo.json: scid (only when given), msg, token; without a scid it is an invitation.
    static Ref<HTTPFormDataRequest> shareQQWeiboWithScid_withMsg(const Value& scid, const Value& message);
    // POST m/channel-report.json: scid, token
    static Ref<HTTPFormDataRequest> reportWithScid(const Value& scid);
    // POST m/search-channel.json: type, keyword, per=50
    static Ref<HTTPFormDataRequest> searchWithType_content(const Value& type, const Value& keyword);

    // ---- Statistics -------------------------------------------------------------------------------
    // m/ver.json?os=ios5&device=IPhone4&username=<user name>, then "&iosStartTimeis=&iosEndTimeis=" in
    // whole seconds since 1970 for each session (a dictionary with the dates "startTime" and "endTime"),
    // in order. Logs "start %@, end %@" per session and "send stastic %@" with the URL.
    static Ref<HTTPRequest> getVersionAndSendStastic(const Value& sessions);
    // The same with "&iosStartTimeis=" and the current time; logs "send stastic %@".
    static Ref<HTTPRequest> getVersionAndSendStasticTimes();

    // ---- Topics, reminders, settings --------------------------------------------------------------
    // m/atme.json?token=&page=&per=50
    static Ref<HTTPRequest> getAtMeResult(int page);
    // m/all-topic.json?page=&per=20
    static Ref<HTTPRequest> getAllTopic(int page);
    // m/follow-topic.json?token=&page=&per=20
    static Ref<HTTPRequest> getTopicFollowedAt(int page);
    // POST m/modify-channel.json: scid, title, token
    static Ref<HTTPFormDataRequest> modifyVideo_withTitle(const Value& scid, const Value& title);
    // POST m/modify-channel.json: location ("%f,%f"), scid, token
    static Ref<HTTPFormDataRequest> modifyVideo_withLocationx_Y(const Value& scid, double x, double y);
    // login: m/v2_remind.json?token=
    static Ref<HTTPRequest> getRemind();
    // POST m/user-settings.json: flag, value, token
    static Ref<HTTPFormDataRequest> userSetting_withValue(const Value& flag, const Value& value);
    // m/user-settings.json?token=
    static Ref<HTTPRequest> getUserSetting();
    // POST m/unbind-weibo.json: othertype, token
    static Ref<HTTPFormDataRequest> unbindUserWeibo(const Value& otherType);
    // m/all-topic.json?token=&page=&per=
    static Ref<HTTPRequest> getTopic_withPer(int page, int per);
    // POST m/share-weibo.json: othertype, scid (sent empty when nil), msg, token. In this edition the
    // generic code "1" of the partner's microblog is sent as "3".
    static Ref<HTTPFormDataRequest> shareWeibo_withMessage_otherType(const Value& scid, const Value& message,
                                                                     const Value& otherType);
};
