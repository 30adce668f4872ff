#include "ApiTestSupport.h"
#include "api/PZTableViewController.h"
#include "api/PZViewController.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UITableView.h"
#include "platform/foundation/PropertyList.h"
#include "platform/uikit/UIView.h"

// Screens named as the configuration list names them.
class VideoShareController : public PZViewController {};
class Share : public PZViewController {};
class UnlistedScreen : public PZViewController {};
class TopicTable : public PZTableViewController {};

namespace apitest {
namespace {

class PZViewControllerTest : public ApiTest {
protected:
    void writeConfig(const Value& list)
    {
        ASSERT_TRUE(PropertyList::writeFile(list, home / "bundle/lumo-OEM-config.plist"));
    }
};

TEST_F(PZViewControllerTest, EachScreenReadsItsOwnClassesEntryWhenItsViewLoads)
{
    writeConfig(Value::dictionary({
        {"PZViewController", Value::dictionary({{"who", "base"}})},
        {"VideoShareController", Value::dictionary({{"shareQQButton", Value::dictionary({{"hidden", true}})}})},
    }));
    auto base = PZViewController::create();
    auto share = UIViewController::make<VideoShareController>();
    auto unlisted = UIViewController::make<UnlistedScreen>();
    EXPECT_TRUE(share->controllerConfig().isNil());  // nothing before the view loads

    base->view();
    share->view();
    unlisted->view();
    EXPECT_EQ(base->controllerConfig()["who"], Value("base"));
    EXPECT_TRUE(share->controllerConfig()["shareQQButton"]["hidden"].boolValue());
    EXPECT_TRUE(share->controllerConfig()["who"].isNil());  // never the base class's entry
    EXPECT_TRUE(unlisted->controllerConfig().isNil());
}

TEST_F(PZViewControllerTest, TheListIsReadAgainAfterTheViewWasUnloaded)
{
    writeConfig(Value::dictionary({{"Share", Value::dictionary({{"oemString", "一"}})}}));
    auto share = UIViewController::make<Share>();
    share->view();
    EXPECT_EQ(share->controllerConfig()["oemString"], Value("一"));

    writeConfig(Value::dictionary({{"Share", Value::dictionary({{"oemString", "二"}})}}));
    EXPECT_EQ(share->controllerConfig()["oemString"], Value("一"));  // kept while the view is loaded
    share->viewDidUnload();
    share->setView(nullptr);
    EXPECT_TRUE(share->controllerConfig().isNil());
    share->view();
    EXPECT_EQ(share->controllerConfig()["oemString"], Value("二"));
}

TEST_F(PZViewControllerTest, AMissingOrBrokenListGivesNoConfiguration)
{
    auto share = UIViewController::make<Share>();
    share->view();
    EXPECT_TRUE(share->controllerConfig().isNil());

    writeFile(home / "bundle/lumo-OEM-config.plist", "not a property list");
    share->viewDidUnload();
    share->setView(nullptr);
    share->view();
    EXPECT_TRUE(share->controllerConfig().isNil());

    writeConfig(Value::array({"Share"}));  // a list whose root is not a dictionary
    EXPECT_TRUE(share->loadConfig().isNil());
}

TEST_F(PZViewControllerTest, PortraitOnly)
{
    auto screen = PZViewController::create();
    EXPECT_TRUE(screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
    for (auto orientation : {UIInterfaceOrientationPortraitUpsideDown, UIInterfaceOrientationLandscapeLeft,
                             UIInterfaceOrientationLandscapeRight}) {
        EXPECT_FALSE(screen->shouldAutorotateToInterfaceOrientation(orientation)) << orientation;
    }
}

TEST_F(PZViewControllerTest, TableScreensReadTheirEntryAndKeepItWhenUnloaded)
{
    writeConfig(Value::dictionary({{"PZTableViewController", Value::dictionary({{"who", "base"}})},
                                   {"TopicTable", Value::dictionary({{"who", "topics"}})}}));
    auto base = PZTableViewController::initWithStyle(UITableViewStylePlain);
    auto topics = UITableViewController::makeWithStyle<TopicTable>(UITableViewStyleGrouped);
    EXPECT_TRUE(topics->controllerConfig().isNil());
    base->view();
    topics->view();
    EXPECT_EQ(base->controllerConfig()["who"], Value("base"));
    EXPECT_EQ(topics->controllerConfig()["who"], Value("topics"));
    EXPECT_EQ(topics->tableStyle(), UITableViewStyleGrouped);

    topics->viewDidUnload();
    EXPECT_EQ(topics->controllerConfig()["who"], Value("topics"));

    // The template table: no sections, cells of identifier "Cell".
    auto table = topics->tableView();
    EXPECT_EQ(topics->numberOfSectionsInTableView(table), 0);
    EXPECT_EQ(topics->tableView_numberOfRowsInSection(table, 0), 0);
    auto cell = topics->tableView_cellForRowAtIndexPath(table, NSIndexPath::indexPathForRow_inSection(0, 0));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->reuseIdentifier(), "Cell");
    EXPECT_FALSE(topics->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    EXPECT_TRUE(topics->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationPortrait));
}

// The list the application ships holds what its screens read.
TEST_F(PZViewControllerTest, TheShippedListHoldsEveryKeyTheScreensRead)
{
    NSBundle::setMainBundlePath("");  // the application's bundle beside the program
    EXPECT_EQ(EditionConfig::resourceName(), "lumo-OEM-config");

    const Value video = EditionConfig::entryForClass("VideoShareController");
    for (const char* key : {"shareQQButton", "shareLumoButton", "shareTipLable"}) {
        EXPECT_TRUE(video[key]["hidden"].isBool()) << key;
    }
    const Value share = EditionConfig::entryForClass("Share");
    EXPECT_TRUE(share["postToLumoBtn"]["hidden"].isBool());
    EXPECT_TRUE(share["postQQBtn"]["used"].isBool());
    EXPECT_TRUE(share["postQQBtn"]["hidden"].isBool());
    EXPECT_TRUE(share["oemString"].isString());
    EXPECT_TRUE(EditionConfig::entryForClass("FindFriendVC")["weiboList"].isArray());
    const Value lumo = EditionConfig::entryForClass("LumoWeiboClient");
    EXPECT_EQ(lumo["Lumo_APPKEY"].stringValue().size(), 10u);
    EXPECT_EQ(lumo["Lumo_APPSECRET"].stringValue().size(), 32u);
}

}  // namespace
}  // namespace apitest
