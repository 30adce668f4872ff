#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

namespace {

std::vector<std::string>* g_trace = nullptr;

class Base : public NSObject {
public:
    static Ref<Base> initWithName(const std::string& name)
    {
        auto self = std::make_shared<Base>();
        self->initWithNameBody(name);
        return self;
    }
    const std::string& name() const { return name_; }
    Weak<Base> registeredSelf;

protected:
    void initWithNameBody(const std::string& name)
    {
        initBody();
        name_ = name;
        registeredSelf = weakSelf<Base>();  // self() works in the init body, unlike in a constructor
        if (g_trace) {
            g_trace->push_back("Base " + name);
        }
    }

private:
    std::string name_;
};

class Derived : public Base {
public:
    static Ref<Derived> initWithName(const std::string& name)
    {
        auto self = std::make_shared<Derived>();
        self->initWithNameBody(name);
        return self;
    }
    int extra = 0;

protected:
    void initWithNameBody(const std::string& name)
    {
        Base::initWithNameBody(name);
        extra = static_cast<int>(this->name().size());
        if (g_trace) {
            g_trace->push_back("Derived " + name);
        }
    }
};

TEST(NSObjectInit, SubclassBodiesChainToTheSuperclassFirst)
{
    std::vector<std::string> trace;
    g_trace = &trace;
    const Ref<Derived> d = Derived::initWithName("abc");
    g_trace = nullptr;
    EXPECT_EQ(trace, (std::vector<std::string>{"Base abc", "Derived abc"}));
    EXPECT_EQ(d->extra, 3);
    EXPECT_EQ(d->registeredSelf.lock(), d);
    EXPECT_EQ(d->self<Derived>(), d);
    EXPECT_EQ(d->className(), "Derived");
    EXPECT_EQ(d->description().rfind("<Derived: 0x", 0), 0u);
}

TEST(NSObjectRefs, WeakReferencesLapseWhenTheLastRefGoes)
{
    Ref<Base> b = Base::initWithName("x");
    Weak<Base> w = b;
    EXPECT_EQ(w.lock(), b);
    b.reset();
    EXPECT_EQ(w.lock(), nullptr);
}

class Helper : public NSObject {
public:
    explicit Helper(bool* destroyed) : destroyed_(destroyed) {}
    ~Helper() override { *destroyed_ = true; }
    Weak<NSObject> owner;

private:
    bool* destroyed_;
};

TEST(NSObjectAssociated, HelpersLiveAsLongAsTheirObject)
{
    static const char key = 0;
    static const char otherKey = 0;
    bool destroyed = false;
    Ref<NSObject> owner = NSObject::create();
    {
        auto helper = std::make_shared<Helper>(&destroyed);
        helper->owner = owner;
        owner->setAssociatedObject(&key, helper);
    }
    ASSERT_NE(owner->associatedObject<Helper>(&key), nullptr);
    EXPECT_EQ(owner->associatedObject<Helper>(&key)->owner.lock(), owner);
    EXPECT_EQ(owner->associatedObject(&otherKey), nullptr);
    EXPECT_FALSE(destroyed);
    owner.reset();
    EXPECT_TRUE(destroyed);

    // Replacing and removing release the previous helper.
    bool first = false;
    bool second = false;
    Ref<NSObject> o = NSObject::create();
    o->setAssociatedObject(&key, std::make_shared<Helper>(&first));
    o->setAssociatedObject(&key, std::make_shared<Helper>(&second));
    EXPECT_TRUE(first);
    o->setAssociatedObject(&key, nullptr);
    EXPECT_TRUE(second);
}

}  // namespace
