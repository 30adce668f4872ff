#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/NSNotificationCenter.h"

namespace {

class Listener : public NSObject {
public:
    static Ref<Listener> create(std::vector<std::string>* log, std::string tag)
    {
        auto self = std::make_shared<Listener>();
        self->initBody();
        self->log_ = log;
        self->tag_ = std::move(tag);
        return self;
    }
    void loginSuccess(const Ref<NSNotification>& note) { log_->push_back(tag_ + ":" + note->name()); }
    void plain() { log_->push_back(tag_ + ":plain"); }

private:
    std::vector<std::string>* log_ = nullptr;
    std::string tag_;
};

TEST(NSNotificationCenterDelivery, InRegistrationOrderOnThePostingThread)
{
    auto center = NSNotificationCenter::create();
    std::vector<std::string> log;
    auto a = Listener::create(&log, "a");
    auto b = Listener::create(&log, "b");
    center->addObserver_selector_name_object(b, &Listener::loginSuccess, "login_success");
    center->addObserver_selector_name_object(a, &Listener::loginSuccess, "login_success");
    center->addObserver_selector_name_object(a, &Listener::plain, "logout_done");

    std::thread::id deliveredOn;
    Value userInfo;
    auto token = center->addObserverForName_object_usingBlock("login_success", Value(), [&](const Ref<NSNotification>& note) {
        deliveredOn = std::this_thread::get_id();
        userInfo = note->userInfo();
    });

    std::thread poster([&] {
        center->postNotificationName_object_userInfo("login_success", Value(), Value::dictionary({{"uid", 7}}));
    });
    poster.join();  // delivery is complete when the post returns on the poster's thread
    EXPECT_EQ(log, (std::vector<std::string>{"b:login_success", "a:login_success"}));
    EXPECT_NE(deliveredOn, std::this_thread::get_id());
    EXPECT_EQ(userInfo["uid"].intValue(), 7);

    log.clear();
    center->postNotificationName_object("logout_done");
    EXPECT_EQ(log, (std::vector<std::string>{"a:plain"}));

    center->removeObserver(token);
    center->removeObserver_name_object(a.get(), "login_success");
    log.clear();
    center->postNotificationName_object("login_success");
    center->postNotificationName_object("logout_done");
    EXPECT_EQ(log, (std::vector<std::string>{"b:login_success", "a:plain"}));
}

TEST(NSNotificationCenterDelivery, FiltersBySender)
{
    auto center = NSNotificationCenter::create();
    auto sender = NSObject::create();
    auto other = NSObject::create();
    auto observer = NSObject::create();
    int fromSender = 0;
    int fromAny = 0;
    center->addObserver(observer, "updateui", sender, [&](const Ref<NSNotification>&) { ++fromSender; });
    center->addObserver(observer, "updateui", Value(), [&](const Ref<NSNotification>&) { ++fromAny; });
    center->postNotificationName_object("updateui", sender);
    center->postNotificationName_object("updateui", other);
    center->postNotificationName_object("updateui");
    EXPECT_EQ(fromSender, 1);
    EXPECT_EQ(fromAny, 3);
}

TEST(NSNotificationCenterDelivery, SafeWhenObserversChangeDuringDelivery)
{
    auto center = NSNotificationCenter::create();
    std::vector<std::string> log;
    auto first = NSObject::create();
    auto second = NSObject::create();
    auto third = NSObject::create();
    Ref<NSObject> late;
    center->addObserver(first, "n", Value(), [&](const Ref<NSNotification>&) {
        log.push_back("first");
        center->removeObserver(second);  // removed before its turn: not called
        center->removeObserver(first);   // removing itself while running
        late = NSObject::create();
        center->addObserver(late, "n", Value(), [&](const Ref<NSNotification>&) { log.push_back("late"); });
        center->postNotificationName_object("nested");
    });
    center->addObserver(second, "n", Value(), [&](const Ref<NSNotification>&) { log.push_back("second"); });
    center->addObserver(third, "n", Value(), [&](const Ref<NSNotification>&) { log.push_back("third"); });
    center->addObserver(third, "nested", Value(), [&](const Ref<NSNotification>&) { log.push_back("nested"); });

    center->postNotificationName_object("n");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "nested", "third"}));
    log.clear();
    center->postNotificationName_object("n");
    EXPECT_EQ(log, (std::vector<std::string>{"third", "late"}));
}

TEST(NSNotificationCenterDelivery, ObserversThatGoAwayLoseTheirRegistrations)
{
    auto center = NSNotificationCenter::create();
    int calls = 0;
    auto observer = NSObject::create();
    center->addObserver(observer, "fans_remind", Value(), [&](const Ref<NSNotification>&) { ++calls; });
    center->addObserver(observer, "system_remind", Value(), [&](const Ref<NSNotification>&) { ++calls; });
    EXPECT_EQ(center->observerCount(), 2u);
    observer.reset();
    center->postNotificationName_object("fans_remind");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(center->observerCount(), 0u);

    // An observer removing itself in its destructor, as the original's dealloc does.
    struct SelfRemoving : NSObject {
        Ref<NSNotificationCenter> center;
        ~SelfRemoving() override { center->removeObserver(this); }
    };
    auto s = std::make_shared<SelfRemoving>();
    s->center = center;
    center->addObserver(s, "x", Value(), [&](const Ref<NSNotification>&) { ++calls; });
    s.reset();
    center->postNotificationName_object("x");
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(NSNotificationCenter::defaultCenter(), NSNotificationCenter::defaultCenter());
}

}  // namespace
