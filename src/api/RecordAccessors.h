#pragma once
// Accessors over the service's records, which stay the dictionaries the JSON parser made: a video
// (Channel), a person (User), a comment (Comment) and a system message (Message).
//
// Every accessor takes the record as it is (nil, or any odd shape, allowed) and never throws: a key
// missing on the path, a null, or a value of another kind than expected reads as nil, 0 or an empty
// list, and a nested record that is not a dictionary is no record. Texts that may be missing are
// returned as Values (nil when absent); composed texts are formatted as the screens show them, an
// absent part written as "(null)". Relative times read the process clock and the default time zone
// (NSDate.h, NSDateFormatter.h), so tests fix both.
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

// ---- Channel: one published video -------------------------------------------------------------------
Value Channel_getScid(const Value& channel);
int Channel_getWidth(const Value& channel);
int Channel_getHeight(const Value& channel);
CGSize Channel_getSize(const Value& channel);
Value Channel_getTitle(const Value& channel);
bool Channel_haveTitle(const Value& channel);
// "ext"."location" is "x,y"; a missing part reads as 0.
CGPoint Channel_getLocation(const Value& channel);
Value Channel_getLocationText(const Value& channel);
Value Channel_getOwner(const Value& channel);
std::string Channel_getFinishTime(const Value& channel);
Value Channel_getFinishTimeNoNice(const Value& channel);
int Channel_getStatus(const Value& channel);
Value Channel_getVideoTime(const Value& channel);
std::string Channel_getCover(const Value& channel);
// The stream URL with the session token of the moment.
std::string Channel_getVideoUrl(const Value& channel);
Value Channel_getMarks(const Value& channel);
Value Channel_getWithSB(const Value& channel);
Value Channel_getComments(const Value& channel);
int Channel_getCommentsTotal(const Value& channel);
int Channel_getTotalComment(const Value& channel);
Value Channel_getFullComment(const Value& channel);
int Channel_getFullCommentTotalCount(const Value& channel);
Value Channel_getVisited(const Value& channel);
int Channel_getHotCount(const Value& channel);
// The caption under a video: "<owner>：<title>", " - 在<place>", "，提到了 <nick> <nick>..."; nil when
// the video has no title, no place and no list of named people.
Value Channel_getTitle_with_location(const Value& channel);
// The same caption without the owner.
Value Channel_getTitle_with_location_noUser(const Value& channel);
// The rows under a feed item, at most 5 dictionaries {"type", "content"}: "mark", "title_location_with",
// "read_more_title", and up to two "comment" rows.
Value Channel_getMyComposedComment(const Value& channel);

// ---- User ---------------------------------------------------------------------------------------------
Value User_getSuid(const Value& user);
Value User_getNick(const Value& user);
Value User_geticon(const Value& user);
Value User_getCover(const Value& user);

// ---- Comment ------------------------------------------------------------------------------------------
Value Comment_getContent(const Value& comment);
Value Comment_getUser(const Value& comment);
std::string Comment_getDescription(const Value& comment);
std::string Comment_getCreateTime(const Value& comment);
std::string Comment_getStringDisplayedInFeed(const Value& comment);

// ---- Message ------------------------------------------------------------------------------------------
Value Message_getContent(const Value& message);
int Message_getMark(const Value& message);
std::string Message_getCreateTime(const Value& message);
// The cover of the message's video; nil when it has none.
Value Message_getCover(const Value& message);

// ---- Times --------------------------------------------------------------------------------------------
// A record time (milliseconds since 1970) relative to now: "刚刚", "%d秒前", "%d分钟前", "今天HH:mm"
// today; "MM-dd" on any other day. A time in the future counts as now.
std::string convertTime(double milliseconds);
// Whether the time (seconds since 1970) falls on today's local calendar day.
bool isToday(double seconds);
