// The state of the stand-in world that several areas share, so that what one reply hands out the others
// agree with, and what the person does is shown back:
//   - the topics: every topic id any reply names, with its name, and which the person follows (the
//     followed-topics list, the topic pages' "isfollow" and the follow posts all read and write it);
//   - the people the person follows: the follow list the person starts with, then whoever the follow
//     posts add (a person's page tells its relation, the follow and fans lists show it, the people one
//     may know leave them out);
//   - the emotion marks the person put on videos, the comments they wrote under any video, their notice
//     switches, their phone number and the avatar and cover they uploaded;
//   - the reminders: what happened to the person that they have not read. A follower is seeded at the
//     first start; each video the person publishes has a comment from a friend. Reading the messages
//     (the message list, or the reminder's own "read" call) clears the system reminder; looking at the
//     fans (the fans list, or the follower's page) clears the fans reminder.
// Thread-safe: routes run on connection threads.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace standin {

struct Topic {
    std::string id;
    std::string name;  // as the service writes it, "#西湖#"
};

// The friend whose follow is seeded and who comments on the person's videos.
inline constexpr const char* kReminderFriendSuid = "1002";
inline constexpr const char* kReminderFriendNick = "阿芳";
// What that friend writes under a video the person published.
inline constexpr const char* kPublishedVideoComment = "拍得真好，西湖的晚霞！";
// The account the person is signed in as.
inline constexpr const char* kAccountSuid = "1001";
inline constexpr const char* kAccountNick = "小明";
// The notice switches of an account that never changed them.
inline constexpr const char* kDefaultNoticeSwitches = "1,1,0,1,1";
inline constexpr const char* kAccountPhone = "13800138000";

class World {
public:
    World();

    // Every topic, in the order the lists give them: "t4001" (the home feed's banner), "t401".."t406"
    // (the square and the followed list), "t4100".. (the topic picker's pages).
    static const std::vector<Topic>& topics();
    // The name of a topic ("" for an id the world does not hand out).
    static std::string topicName(const std::string& id);

    bool followsTopic(const std::string& id) const;
    void setFollowsTopic(const std::string& id, bool follows);
    // The followed topics, in the order of topics().
    std::vector<Topic> followedTopics() const;

    // Whom the person follows: at first the follow list's people ("2000".."2008"), then in the order
    // the follow posts came. The account itself is never followed.
    bool followsPerson(const std::string& suid) const;
    void setFollowsPerson(const std::string& suid, bool follows);
    std::vector<std::string> followedPeople() const;
    // Whether that person follows the person back: the fans, and every third of the first follow list.
    static bool followsBack(const std::string& suid);
    // The relation a list gives a person: 4 the account itself; odd while followed; 2 or 3 when they
    // follow back.
    int relationTo(const std::string& suid) const;

    // The person's own emotion mark on a video (1 to 5), 0 for none; a new mark replaces the last.
    int markOn(const std::string& scid) const;
    void setMark(const std::string& scid, int mark);

    // The comments the person wrote under a video (JSON records), oldest first.
    void addComment(const std::string& scid, const std::string& commentJson);
    std::vector<std::string> commentsOn(const std::string& scid) const;

    // The notice switches by flag ("1": five digits joined by ","), as last posted.
    std::string setting(const std::string& flag) const;
    void setSetting(const std::string& flag, const std::string& value);
    // The account's phone number, as last changed.
    std::string phone() const;
    void setPhone(const std::string& phone);
    // The address of the picture the person uploaded in place of a seeded one ("avatar-1001",
    // "cover-1001"); empty while they kept the seeded picture.
    std::string uploadedPicture(const std::string& seeded) const;
    void setUploadedPicture(const std::string& seeded, const std::string& url);

    // The reminders' state.
    void fansRead();
    bool fansUnread() const;
    // The comments on the published videos (scids, newest first) that were not read yet; reading the
    // messages reads them all.
    std::vector<std::string> unreadComments(const std::vector<std::string>& published) const;
    void systemRead(const std::vector<std::string>& published);

private:
    mutable std::mutex mutex_;
    std::set<std::string> followedTopics_;
    std::vector<std::string> followedPeople_;
    std::map<std::string, int> marks_;
    std::map<std::string, std::vector<std::string>> comments_;
    std::map<std::string, std::string> settings_;
    std::string phone_;
    std::map<std::string, std::string> uploadedPictures_;
    bool fansUnread_ = true;
    std::set<std::string> readComments_;
};

}  // namespace standin
