#include "service/World.h"

#include <algorithm>
#include <cstdlib>

#include "service/PickerRoutes.h"
#include "service/ProfileRoutes.h"

namespace standin {

World::World() : phone_(kAccountPhone)
{
    // The follow list the account starts with.
    for (std::size_t n = 0; n < kProfileFollowCount; ++n) {
        followedPeople_.push_back(std::to_string(2000 + n));
    }
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
    return std::find(followedPeople_.begin(), followedPeople_.end(), suid) != followedPeople_.end();
}

void World::setFollowsPerson(const std::string& suid, bool follows)
{
    if (suid.empty() || suid == kAccountSuid) {
        return;
    }
    std::lock_guard lock(mutex_);
    const auto found = std::find(followedPeople_.begin(), followedPeople_.end(), suid);
    if (follows && found == followedPeople_.end()) {
        followedPeople_.push_back(suid);
    } else if (!follows && found != followedPeople_.end()) {
        followedPeople_.erase(found);
    }
}

std::vector<std::string> World::followedPeople() const
{
    std::lock_guard lock(mutex_);
    return followedPeople_;
}

bool World::followsBack(const std::string& suid)
{
    const int number = std::atoi(suid.c_str());
    const bool fan = number >= 3000 && number < 3000 + int(kProfileFansCount);
    const bool mutual = number >= 2000 && number < 2000 + int(kProfileFollowCount) && (number - 2000) % 3 == 2;
    return fan || mutual || suid == kReminderFriendSuid;
}

int World::relationTo(const std::string& suid) const
{
    if (suid == kAccountSuid) {
        return 4;
    }
    return (followsPerson(suid) ? 1 : 0) | (followsBack(suid) ? 2 : 0);
}

int World::markOn(const std::string& scid) const
{
    std::lock_guard lock(mutex_);
    const auto found = marks_.find(scid);
    return found == marks_.end() ? 0 : found->second;
}

void World::setMark(const std::string& scid, int mark)
{
    if (scid.empty() || mark < 1 || mark > 5) {
        return;
    }
    std::lock_guard lock(mutex_);
    marks_[scid] = mark;
}

void World::addComment(const std::string& scid, const std::string& commentJson)
{
    std::lock_guard lock(mutex_);
    comments_[scid].push_back(commentJson);
}

std::vector<std::string> World::commentsOn(const std::string& scid) const
{
    std::lock_guard lock(mutex_);
    const auto found = comments_.find(scid);
    return found == comments_.end() ? std::vector<std::string>{} : found->second;
}

std::string World::setting(const std::string& flag) const
{
    std::lock_guard lock(mutex_);
    const auto found = settings_.find(flag);
    return found != settings_.end() ? found->second : flag == "1" ? kDefaultNoticeSwitches : "";
}

void World::setSetting(const std::string& flag, const std::string& value)
{
    std::lock_guard lock(mutex_);
    settings_[flag] = value;
}

std::string World::phone() const
{
    std::lock_guard lock(mutex_);
    return phone_;
}

void World::setPhone(const std::string& phone)
{
    std::lock_guard lock(mutex_);
    phone_ = phone;
}

std::string World::uploadedPicture(const std::string& seeded) const
{
    std::lock_guard hold(mutex_);
    const auto found = uploadedPictures_.find(seeded);
    return found != uploadedPictures_.end() ? found->second : std::string();
}

void World::setUploadedPicture(const std::string& seeded, const std::string& url)
{
    std::lock_guard hold(mutex_);
    uploadedPictures_[seeded] = url;
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
