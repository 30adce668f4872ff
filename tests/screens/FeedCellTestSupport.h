#pragma once
// Shared set-up of the feed cell and header tests: a fresh home folder per test, the test thread as the
// main thread, the stand-in service (with its pictures) as the service host, the image codecs, a fixed
// time zone, a recorder of the application's login prompt, and fixture records with Chinese texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "api/LoginState.h"
#include "api/SessionHooks.h"
#include "fixtures/TemporaryFolder.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "service/ImageRoutes.h"
#include "service/StandInService.h"

namespace feedcelltest {

class PromptRecorder : public UIApplicationDelegate, public ApplicationServices {
public:
    void presentLogin() override { ++loginPrompts; }
    int loginPrompts = 0;
};

class FeedCellFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(home.path().empty());
        ASSERT_TRUE(FoundationRoots::setHomeDirectory(home.path()));
        NSUserDefaults::resetStandardUserDefaults();
        NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Asia/Shanghai"));
        UIImage::installImageCodecs();
        ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);
        prompts = std::make_shared<PromptRecorder>();
        UIApplication::sharedApplication()->setDelegate(prompts);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        navigation = UINavigationController::initWithRootViewController(UIViewController::create());
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
    }
    void TearDown() override
    {
        UIApplication::sharedApplication()->setDelegate(nullptr);
        NSTimeZone::setDefaultTimeZone(nullptr);
        ::unsetenv("OMBRI_SERVICE_HOST");
        NSUserDefaults::resetStandardUserDefaults();
    }

    void logIn(const char* suid = "1001")
    {
        NSUserDefaults::standardUserDefaults()->setObject_forKey(
            Value::dictionary({{"status", 200}, {"token", "tk42"}, {"suid", suid}, {"nick", "小明"}}), kAcountInfoKey);
    }

    std::string image(const std::string& name) const { return standin::imageUrl(service.hostPort(), name); }

    Value user(const char* suid, const char* nick, const char* picture)
    {
        return Value::dictionary({{"suid", suid}, {"nick", nick}, {"icon", image(picture)}});
    }
    Value owner() { return user("1001", "小明", "avatar-1001"); }
    Value friendRed() { return user("1002", "小红", "avatar-1002"); }
    Value friendGang() { return user("1003", "阿刚", "avatar-1003"); }

    // A video record: its size, marks, place, tagged people and comments (total as given).
    struct VideoSpec {
        Value width = Value(640);
        Value height = Value(480);
        int marks = 0;
        bool place = false;
        int people = 0;
        int comments = 0;
        bool title = true;
    };
    Value video(const VideoSpec& spec, const char* scid = "sc3001")
    {
        Value ext = Value::dictionary({{"owner", owner()}, {"finishTime", 1765400000000.0}});
        if (!spec.width.isNil()) {
            ext.setObject_forKey(spec.width, "w");
        }
        if (!spec.height.isNil()) {
            ext.setObject_forKey(spec.height, "h");
        }
        if (spec.title) {
            ext.setObject_forKey("西湖边的傍晚", "t");
        }
        if (spec.place) {
            ext.setObject_forKey("杭州西湖", "locationText");
        }
        Value record = Value::dictionary({{"scid", scid}, {"ext", ext}});
        const std::vector<Value> people = {friendRed(), friendGang(), user("1004", "小李", "avatar-1004")};
        if (spec.marks > 0) {
            Value marks = Value::array();
            for (int i = 0; i < spec.marks; ++i) {
                marks.addObject(Value::dictionary({{"user", people[size_t(i) % people.size()]}, {"mark", i % 5 + 1}}));
            }
            record.setObject_forKey(Value::dictionary({{"result", marks}}), "mark");
        }
        if (spec.people > 0) {
            Value with = Value::array();
            for (int i = 0; i < spec.people; ++i) {
                with.addObject(people[size_t(i)]);
            }
            record.setObject_forKey(Value::dictionary({{"result", with}}), "with");
        }
        if (spec.comments > 0) {
            Value comments = Value::array();
            const char* texts[] = {"拍得真好！", "这是哪里？下次一起去", "好美"};
            for (int i = 0; i < spec.comments && i < 3; ++i) {
                comments.addObject(Value::dictionary({{"fromUser", people[size_t(i) % people.size()]},
                                                      {"content", texts[i]},
                                                      {"createTime", 1765400000000.0}}));
            }
            record.setObject_forKey(Value::dictionary({{"result", comments}, {"total", spec.comments}}), "comment");
        }
        return record;
    }
    Value videoItem(const VideoSpec& spec) { return Value::dictionary({{"type", "channel"}, {"channel", video(spec)}, {"selfmark", 3}}); }
    Value commentItem(const char* content)
    {
        return Value::dictionary(
            {{"type", "comment"},
             {"comment", Value::dictionary({{"fromUser", owner()}, {"toUser", friendRed()}, {"content", content}})}});
    }
    Value followItem()
    {
        return Value::dictionary(
            {{"type", "follow"}, {"follow", Value::dictionary({{"fromUser", owner()}, {"toUser", friendRed()}})}});
    }
    Value forwardItem(const VideoSpec& spec)
    {
        return Value::dictionary({{"type", "forward"}, {"user", friendGang()}, {"content", "推荐大家看看"},
                                  {"channel", video(spec)}, {"selfmark", 0}});
    }
    Value adItem()
    {
        return Value::dictionary(
            {{"type", "ad"},
             {"pos", Value::dictionary({{"pic", image("ad-banner")}, {"action", "user"}, {"data", "1002"}})}});
    }
    Value localEntry(const char* guid, int status, int progress)
    {
        return Value::dictionary({{"guid", guid}, {"fn", home.path() + "/" + guid + ".mov"},
                                  {"pic", home.path() + "/" + guid + ".jpg"}, {"status", status},
                                  {"upprocess", progress}});
    }

    TemporaryFolder home{"screens-feedcell"};
    MainThreadScope mainThread;
    standin::StandInService service;
    std::shared_ptr<PromptRecorder> prompts;
    Ref<UIWindow> window;
    Ref<UINavigationController> navigation;
};

}  // namespace feedcelltest
