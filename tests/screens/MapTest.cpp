// The place map: the pin where the video was made, the visitors listed under the map, the place's
// name from the reply as the title, and the service's refusal shown as an alert.
#include <gtest/gtest.h>

#include "api/SessionHooks.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "ShellTestSupport.h"
#include "social/MapVC.h"
#include "social/PossibleKnownCell.h"

namespace {
namespace MapTest_cpp {

class MapTest : public shelltest::ShellTest {
protected:
    void TearDown() override
    {
        UIAlertView::resetRecords();
        shelltest::ShellTest::TearDown();
    }
    void show(const Value& channel)
    {
        map = MapVC::myinitWithChannel(channel);
        navigation = UINavigationController::initWithRootViewController(map);
        window = UIWindow::initWithFrame(CGRectMake(0, 0, 320, 480));
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
    }
    Ref<MapVC> map;
    Ref<UINavigationController> navigation;
};

TEST_F(MapTest, PinSpanTitleAndVisitors)
{
    logIn();
    struct Case {
        const char* location;
        double latitude, longitude;
    } const cases[] = {{"30.25,120.16", 30.25, 120.16}, {nullptr, 0, 0}};
    for (const Case& c : cases) {
        Value ext = Value::dictionary({});
        if (c.location) {
            ext = Value::dictionary({{"location", Value(c.location)}});
        }
        show(Value::dictionary({{"scid", Value("sc3001")}, {"ext", ext}}));
        ASSERT_EQ(map->mapView()->annotations().size(), 1u);
        const CLLocationCoordinate2D pin = map->mapView()->annotations()[0]->coordinate();
        EXPECT_NEAR(pin.latitude, c.latitude, 1e-4);
        EXPECT_NEAR(pin.longitude, c.longitude, 1e-4);
        EXPECT_DOUBLE_EQ(map->mapView()->region().span.latitudeDelta, 0.05);
        EXPECT_TRUE(map->title().empty());
        ASSERT_TRUE(pumpMainUntil([&] { return map->visitors().count() == 4; }));
        EXPECT_EQ(map->title(), "杭州西湖");
        auto cell = std::dynamic_pointer_cast<PossibleKnownCell>(
            map->tableView_cellForRowAtIndexPath(map->table(), row(0)));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->title()->text(), "小明");
        EXPECT_EQ(cell->detail()->text(), "来过这里4次");
        EXPECT_EQ(service.server().requests("/m/v2_location.json").back().param("scid"), "sc3001");
    }
}

TEST_F(MapTest, ARefusalShowsTheServicesMessage)
{
    service.server().route("/m/v2_location.json", [](const standin::Request&) {
        standin::Response response;
        response.body = R"({"status":500,"msg":"服务器忙"})";
        response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
        return response;
    });
    logIn();
    show(Value::dictionary({{"scid", Value("sc3001")}}));
    ASSERT_TRUE(pumpMainUntil([&] { return !UIAlertView::visibleAlerts().empty(); }));
    EXPECT_EQ(UIAlertView::visibleAlerts()[0]->title(), "网络失败");
    EXPECT_EQ(UIAlertView::visibleAlerts()[0]->message(), "服务器忙");
    EXPECT_EQ(map->mapView()->annotations().size(), 1u);
}

// Takes the error boxes the screens ask for.
class ErrorBoxes : public UIApplicationDelegate, public ApplicationServices {
public:
    std::vector<Value> shown;
    void showNetError(const Value& text) override { shown.push_back(text); }
};

TEST_F(MapTest, NobodyVisitedShowsTheMapOverAnEmptyListAndALostReplyTheErrorBox)
{
    logIn();
    service.server().route("/m/v2_location.json", [](const standin::Request&) {
        standin::Response response;
        response.body = R"({"status":200,"title":"断桥","owner":[]})";
        response.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
        return response;
    });
    show(Value::dictionary({{"scid", Value("sc3001")}, {"ext", Value::dictionary({{"location", Value("30.25,120.16")}})}}));
    ASSERT_TRUE(pumpMainUntil([&] { return map->title() == "断桥"; }));
    EXPECT_EQ(map->visitors().count(), 0u);
    EXPECT_EQ(map->table()->numberOfRowsInSection(0), 0);
    EXPECT_EQ(map->mapView()->annotations().size(), 1u);
    EXPECT_TRUE(UIAlertView::visibleAlerts().empty());

    // The connection closes without a reply: the common error box, with its own text; the pin stays.
    auto errors = std::make_shared<ErrorBoxes>();
    UIApplication::sharedApplication()->setDelegate(errors);
    service.server().addFault("/m/v2_location.json", standin::Fault::closeWithoutAnswer().persistent());
    show(Value::dictionary({{"scid", Value("sc3002")}}));
    ASSERT_TRUE(pumpMainUntil([&] { return !errors->shown.empty(); }));
    UIApplication::sharedApplication()->setDelegate(nullptr);
    ASSERT_EQ(errors->shown.size(), 1u);
    EXPECT_TRUE(errors->shown[0].isNilOrNull());
    EXPECT_TRUE(map->title().empty());
    EXPECT_EQ(map->mapView()->annotations().size(), 1u);
    EXPECT_TRUE(UIAlertView::visibleAlerts().empty());
}

}  // namespace MapTest_cpp
}  // namespace
