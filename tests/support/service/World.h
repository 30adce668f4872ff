// The state of the stand-in world that several areas share, so that what one reply hands out the others
// agree with, and what the person does is shown back:
//   - the topics: every topic id any reply names, with its name, and which the person follows (the
//     followed-topics list, the topic pages' "isfollow" and the follow posts all read and write it);
//   - the people the person follows (the follow posts; a person's page tells its relation);
//   - the reminders: what happened to the person that they have not read. A follower is seeded at the
//     first start; each video the person publishes has a comment from a friend. Reading the messages
//     (the message list, or the reminder's own "read" call) clears the system reminder; looking at the
//     fans (the fans list, or the follower's page) clears the fans reminder.
// Thread-safe: routes run on connection threads.
#pragma once

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

    // The people the person started or stopped following since the service started.
    bool followsPerson(const std::string& suid) const;
    void setFollowsPerson(const std::string& suid, bool follows);

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
    std::set<std::string> followedPeople_;
    bool fansUnread_ = true;
    std::set<std::string> readComments_;
};

}  // namespace standin
