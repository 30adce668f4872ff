#include "api/RecordAccessors.h"

#include <cmath>

#include "api/LoginState.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSString.h"

namespace {

// The value at a key path; a null anywhere reads as missing, since screens show or count it.
Value field(const Value& record, std::initializer_list<std::string_view> path)
{
    Value value = record;
    for (std::string_view key : path) {
        value = value[key];
    }
    return value.isNull() ? Value() : value;
}

// A list is an array; anything else (missing, a dictionary, a text) is an empty list.
Value listAt(const Value& record, std::initializer_list<std::string_view> path)
{
    Value value = field(record, path);
    return value.isArray() ? value : Value();
}

// A nested record is a dictionary; anything else is no record.
Value recordAt(const Value& record, std::initializer_list<std::string_view> path)
{
    Value value = field(record, path);
    return value.isDictionary() ? value : Value();
}

// The text of a string, or the reading of a number; "" for anything else.
std::string textOf(const Value& value)
{
    if (value.isString()) {
        return value.string();
    }
    return value.isNumber() ? value.stringValue() : std::string();
}

std::string dayText(double seconds)
{
    return NSDateFormatter::format(NSDate::dateWithTimeIntervalSince1970(seconds), "yyyy'-'MM'-'dd");
}

Value caption(const Value& channel, bool withOwner)
{
    const Value place = Channel_getLocationText(channel);
    const Value title = Channel_getTitle(channel);
    const Value with = field(channel, {"with", "result"});
    if (place.isNil() && title.isNil() && with.isNil()) {
        return Value();
    }
    std::string text = withOwner ? stringWithFormat("%@：%@", User_getNick(Channel_getOwner(channel)), title)
                                 : stringWithFormat("%@", title);
    if (!textOf(place).empty()) {
        text += stringWithFormat(" - 在%@", place);
    }
    if (with.isArray() && with.count() > 0) {
        text += "，提到了";
        for (const Value& person : with.arrayItems()) {
            text += stringWithFormat(" %@", User_getNick(person));
        }
    }
    return Value(text);
}

}  // namespace

// ---- Channel ------------------------------------------------------------------------------------------

Value Channel_getScid(const Value& channel)
{
    return field(channel, {"scid"});
}

int Channel_getWidth(const Value& channel)
{
    return field(channel, {"ext", "w"}).intValue();
}

int Channel_getHeight(const Value& channel)
{
    return field(channel, {"ext", "h"}).intValue();
}

CGSize Channel_getSize(const Value& channel)
{
    return CGSize{static_cast<CGFloat>(static_cast<float>(Channel_getWidth(channel))),
                  static_cast<CGFloat>(static_cast<float>(Channel_getHeight(channel)))};
}

Value Channel_getTitle(const Value& channel)
{
    return field(channel, {"ext", "t"});
}

bool Channel_haveTitle(const Value&)
{
    return true;
}

CGPoint Channel_getLocation(const Value& channel)
{
    const auto parts = NSString::componentsSeparatedByString(textOf(field(channel, {"ext", "location"})), ",");
    const float x = parts.empty() ? 0.0f : NSString::floatValue(parts[0]);
    const float y = parts.size() < 2 ? 0.0f : NSString::floatValue(parts[1]);
    return CGPoint{x, y};
}

Value Channel_getLocationText(const Value& channel)
{
    return field(channel, {"ext", "locationText"});
}

Value Channel_getOwner(const Value& channel)
{
    return recordAt(channel, {"ext", "owner"});
}

std::string Channel_getFinishTime(const Value& channel)
{
    return convertTime(field(channel, {"ext", "finishTime"}).doubleValue());
}

Value Channel_getFinishTimeNoNice(const Value& channel)
{
    return field(channel, {"ext", "finishTime"});
}

int Channel_getStatus(const Value& channel)
{
    return field(channel, {"ext", "status"}).intValue();
}

Value Channel_getVideoTime(const Value& channel)
{
    return field(channel, {"ext", "lengthNice"});
}

std::string Channel_getCover(const Value& channel)
{
    return stringWithFormat("%@%@", field(channel, {"pic", "base"}), field(channel, {"pic", "m"}));
}

std::string Channel_getVideoUrl(const Value& channel)
{
    return stringWithFormat("%@%@.%@?token=%@", field(channel, {"stream", "base"}), Channel_getScid(channel),
                            field(channel, {"stream", "ios"}), getSelfToken());
}

Value Channel_getMarks(const Value& channel)
{
    return listAt(channel, {"mark", "result"});
}

Value Channel_getWithSB(const Value& channel)
{
    return listAt(channel, {"with", "result"});
}

Value Channel_getComments(const Value& channel)
{
    return listAt(channel, {"comment", "result"});
}

int Channel_getCommentsTotal(const Value& channel)
{
    return field(channel, {"comment", "total"}).intValue();
}

int Channel_getTotalComment(const Value& channel)
{
    return Channel_getCommentsTotal(channel);
}

Value Channel_getFullComment(const Value& channel)
{
    return listAt(channel, {"pagedcmt", "result"});
}

int Channel_getFullCommentTotalCount(const Value& channel)
{
    return field(channel, {"pagedcmt", "total"}).intValue();
}

Value Channel_getVisited(const Value& channel)
{
    return listAt(channel, {"visit", "result"});
}

int Channel_getHotCount(const Value& channel)
{
    return field(channel, {"stat", "hcnt"}).intValue();
}

Value Channel_getTitle_with_location(const Value& channel)
{
    return caption(channel, true);
}

Value Channel_getTitle_with_location_noUser(const Value& channel)
{
    return caption(channel, false);
}

Value Channel_getMyComposedComment(const Value& channel)
{
    Value rows = Value::array();
    auto addRow = [&rows](const char* type, const Value& content) {
        rows.addObject(Value::dictionary({{"type", type}, {"content", content}}));
    };
    const Value marks = Channel_getMarks(channel);
    if (marks.count() > 0) {
        addRow("mark", marks);
    }
    const Value text = Channel_getTitle_with_location(channel);
    if (!text.isNil()) {
        addRow("title_location_with", text);
    }
    if (Channel_getCommentsTotal(channel) > 2) {
        addRow("read_more_title", "查看更多评论");
    }
    const Value comments = Channel_getComments(channel);
    for (NSUInteger i = 0; i < 2 && i < comments.count(); ++i) {
        const Value comment = comments[i];
        if (!comment.isNilOrNull()) {
            addRow("comment", comment);
        }
    }
    return rows;
}

// ---- User ---------------------------------------------------------------------------------------------

Value User_getSuid(const Value& user)
{
    return field(user, {"suid"});
}

Value User_getNick(const Value& user)
{
    return field(user, {"nick"});
}

Value User_geticon(const Value& user)
{
    return field(user, {"icon"});
}

Value User_getCover(const Value& user)
{
    return field(user, {"ext", "cover"});
}

// ---- Comment ------------------------------------------------------------------------------------------

Value Comment_getContent(const Value& comment)
{
    return field(comment, {"content"});
}

Value Comment_getUser(const Value& comment)
{
    return recordAt(comment, {"fromUser"});
}

std::string Comment_getDescription(const Value& comment)
{
    return stringWithFormat("%@:%@", User_getNick(Comment_getUser(comment)), Comment_getContent(comment));
}

std::string Comment_getCreateTime(const Value& comment)
{
    return convertTime(field(comment, {"createTime"}).doubleValue());
}

std::string Comment_getStringDisplayedInFeed(const Value& comment)
{
    return stringWithFormat("%@评论了%@的分享：“%@”", User_getNick(Comment_getUser(comment)),
                            User_getNick(recordAt(comment, {"toUser"})), Comment_getContent(comment));
}

// ---- Message ------------------------------------------------------------------------------------------

Value Message_getContent(const Value& message)
{
    return field(message, {"msg"});
}

int Message_getMark(const Value& message)
{
    return field(message, {"mark"}).intValue();
}

std::string Message_getCreateTime(const Value& message)
{
    return convertTime(field(message, {"createTime"}).doubleValue());
}

Value Message_getCover(const Value& message)
{
    const Value channel = field(message, {"channel"});
    if (channel.isNil()) {
        return Value();
    }
    return Value(Channel_getCover(channel));
}

// ---- Times --------------------------------------------------------------------------------------------

std::string convertTime(double milliseconds)
{
    // A time that is not a number cannot be placed; it reads as the start of the epoch, like a missing one.
    const double seconds = std::isfinite(milliseconds) ? milliseconds / 1000 : 0;
    const double now = NSDate::now();
    double elapsed = now - seconds;
    if (elapsed < 0) {
        elapsed = 0;
    }
    const NSDate date = NSDate::dateWithTimeIntervalSince1970(seconds);
    if (dayText(seconds) == dayText(now)) {
        if (elapsed < 60) {
            return elapsed == 0 ? std::string("刚刚") : stringWithFormat("%d秒前", static_cast<int>(elapsed));
        }
        if (elapsed < 3600) {
            return stringWithFormat("%d分钟前", static_cast<int>(elapsed) / 60);
        }
        return NSDateFormatter::format(date, "'今天'HH':'mm");
    }
    return NSDateFormatter::format(date, "MM'-'dd");
}

bool isToday(double seconds)
{
    return dayText(seconds) == dayText(NSDate::now());
}
