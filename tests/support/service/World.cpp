#include "service/World.h"

#include <algorithm>

#include "service/PickerRoutes.h"

namespace standin {

World::World()
{
    // The person follows the square's topics from the start (the followed list's six).
    for (int n = 1; n <= 6; ++n) {
        followedTopics_.insert("t40" + std::to_string(n));
    }
}

const std::vector<Topic>& World::topics()
{
    static const auto* all = [] {
        auto* list = new std::vector<Topic>{{"t4001", "#西湖#"}};
        const char* const squareWords[] = {"西湖", "美食", "旅行", "春节", "萌宠", "街拍"};
        for (int n = 0; n < 6; ++n) {
            list->push_back({"t40" + std::to_string(n + 1), std::string("#") + squareWords[n] + "#"});
        }
        const std::vector<std::string> words = pickerTopicWords(kPickerTopicCount);
        for (std::size_t i = 0; i < words.size(); ++i) {
            list->push_back({"t4" + std::to_string(100 + i), "#" + words[i] + "#"});
        }
        return list;
    }();
    return *all;
}

std::string World::topicName(const std::string& id)
{
    for (const Topic& topic : topics()) {
        if (topic.id == id) {
            return topic.name;
        }
    }
    return "";
}

bool World::followsTopic(const std::string& id) const
{
    std::lock_guard lock(mutex_);
    return followedTopics_.count(id) != 0;
}

void World::setFollowsTopic(const std::string& id, bool follows)
{
    if (topicName(id).empty()) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (follows) {
        followedTopics_.insert(id);
    } else {
        followedTopics_.erase(id);
    }
}

std::vector<Topic> World::followedTopics() const
{
    std::vector<Topic> followed;
    std::lock_guard lock(mutex_);
    for (const Topic& topic : topics()) {
        if (followedTopics_.count(topic.id) != 0) {
            followed.push_back(topic);
        }
    }
    return followed;
}

bool World::followsPerson(const std::string& suid) const
{
    std::lock_guard lock(mutex_);
    return followedPeople_.count(suid) != 0;
}

void World::setFollowsPerson(const std::string& suid, bool follows)
{
    std::lock_guard lock(mutex_);
    if (follows) {
        followedPeople_.insert(suid);
    } else {
        followedPeople_.erase(suid);
    }
}

void World::fansRead()
{
    std::lock_guard lock(mutex_);
    fansUnread_ = false;
}

bool World::fansUnread() const
{
    std::lock_guard lock(mutex_);
    return fansUnread_;
}

std::vector<std::string> World::unreadComments(const std::vector<std::string>& published) const
{
    std::vector<std::string> unread;
    std::lock_guard lock(mutex_);
    for (const std::string& scid : published) {
        if (readComments_.count(scid) == 0) {
            unread.push_back(scid);
        }
    }
    return unread;
}

void World::systemRead(const std::vector<std::string>& published)
{
    std::lock_guard lock(mutex_);
    readComments_.insert(published.begin(), published.end());
}

}  // namespace standin
