#pragma once
// FeedVC (stand-in until the feed screen lands): one feed of the given kind. It only asks the service
// for page 1 when told to refresh; it shows nothing of the reply.
#include "api/PZViewController.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UINavigationController.h"

class FeedVC : public PZViewController {
public:
    static Ref<FeedVC> myinitWithType_andSuid_isRoot(int type, const Value& suid, bool isRoot);
    static Ref<FeedVC> myinitWithType_andSuid(int type, const Value& suid)
    {
        return myinitWithType_andSuid_isRoot(type, suid, false);
    }
    // Opens what a web action names; the stand-in opens nothing.
    static void actionControledFromWeb_byNavigationController(const Value& action,
                                                              const Ref<UINavigationController>& navigation)
    {
    }
    void refreshLocalMedias(bool reload) {}

    int type() const { return type_; }
    const Value& suid() const { return suid_; }
    bool isRoot() const { return isRoot_; }

    void refreshFeed();
    void forceGetContentFromWeb();

    FeedVC() = default;

private:
    int type_ = 0;
    Value suid_;
    bool isRoot_ = false;
};
