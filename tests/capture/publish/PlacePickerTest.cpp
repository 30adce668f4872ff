// The place picker against the place search stand-in (over TLS): one fix, the query it sends, the
// places as pins and rows, the statuses that show nothing, and the place reaching the publish screen.
#include "PublishStage.h"

#include <cstdlib>

#include "capture/ShareLocationController.h"
#include "capture/VideoShareController.h"
#include "platform/cfnetwork/SecIdentity.h"
#include "platform/foundation/Dispatch.h"
#include "platform/uikit/UITableViewCell.h"
#include "servers/PlaceSearchServer.h"

namespace {
namespace PlacePickerTest_cpp {

using publishtest::PublishStage;

constexpr double kLat = 31.2304, kLng = 121.4737;

class PlacePickerTest : public PublishStage {
protected:
    void SetUp() override
    {
        PublishStage::SetUp();
        SecTrustAnchors::add(SecCertificate::createWithPEM(authority.certificate().certificatePEM));
        ::setenv("OMBRI_PLACE_SEARCH_HOST", places.hostPort().c_str(), 1);
        CLLocationManager::resetForTesting();
        MKReverseGeocoder::resetForTesting();
        CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusAuthorized);
        CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(kLat, kLng));
        MKReverseGeocoder::setPlacemarks({{.coordinate = {kLat, kLng},
                                           .locality = "上海市",
                                           .subLocality = "黄浦区",
                                           .thoroughfare = "人民大道",
                                           .subThoroughfare = "200号"}});
        share = VideoShareController::create();
        showInNavigation(share);
    }
    void TearDown() override
    {
        ::unsetenv("OMBRI_PLACE_SEARCH_HOST");
        SecTrustAnchors::removeAll();
        CLLocationManager::resetForTesting();
        MKReverseGeocoder::resetForTesting();
        PublishStage::TearDown();
    }
    Ref<ShareLocationController> openPicker()
    {
        share->locationTopButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
        settle();
        auto picker = std::dynamic_pointer_cast<ShareLocationController>(top());
        EXPECT_TRUE(picker);
        return picker;
    }
    // The coordinate the reply gives a place, as the picker hands it on (single precision).
    static CLLocationCoordinate2D handedOn(const TestServers::FixturePlace& place)
    {
        char lat[64], lng[64];
        std::snprintf(lat, sizeof lat, "%.7f", kLat + place.dLat);
        std::snprintf(lng, sizeof lng, "%.7f", kLng + place.dLng);
        return {double(float(std::strtod(lat, nullptr))), double(float(std::strtod(lng, nullptr)))};
    }

    TestServers::TestCertificateAuthority authority;
    TestServers::PlaceSearchServer places{authority, 60};
    Ref<VideoShareController> share;
};

TEST_F(PlacePickerTest, OneFixAsksForNearbyPlacesShownAsPinsAndRowsAndARowReachesThePublishScreen)
{
    auto picker = openPicker();
    ASSERT_TRUE(waitUntil([&] { return picker->tableView()->numberOfRowsInSection(0) == 6; }));
    EXPECT_TRUE(CGRectEqualToRect(picker->tableView()->frame(), CGRectMake(0, 176, 320, 240)));
    EXPECT_EQ(picker->locationManager()->desiredAccuracy(), kCLLocationAccuracyBest);
    EXPECT_EQ(picker->locationManager()->distanceFilter(), kCLDistanceFilterNone);
    EXPECT_FALSE(picker->locationManager()->isUpdatingLocation());
    ASSERT_EQ(places.requests().size(), 1u);
    EXPECT_EQ(places.requests()[0].target, "/maps/api/place/search/json?location=31.230400,121.473700&radius=1000"
                                           "&sensor=false&key=" + PlaceSearch::apiKey() + "&language=zh_cn");
    EXPECT_EQ(PlaceSearch::apiKey().size(), 39u);

    const auto map = picker->mapView();
    EXPECT_EQ(map->region(), MKCoordinateRegionMake({kLat, kLng}, MKCoordinateSpanMake(0.01, 0.01)));
    EXPECT_TRUE(map->lastRegionChangeAnimated());
    EXPECT_TRUE(map->showsUserLocation());
    EXPECT_EQ(map->mapType(), MKMapTypeStandard);
    const auto fixture = TestServers::PlaceSearchServer::fixturePlaces();
    // The places' pins, beside the device's own.
    std::vector<std::string> titles;
    std::vector<Ref<MKAnnotation>> pins;
    for (const auto& annotation : map->annotations()) {
        if (annotation != picker->pointAnnotation()) {
            titles.push_back(annotation->title());
            pins.push_back(annotation);
        }
    }
    EXPECT_EQ(titles,
              (std::vector<std::string>{"人民广场", "上海博物馆", "来福士广场", "南京东路步行街", "大世界", "新世界城"}));
    ASSERT_EQ(pins.size(), 6u);
    EXPECT_EQ(pins[1]->coordinate(), handedOn(fixture[1]));
    auto cell = picker->tableView()->dataSource()->tableView_cellForRowAtIndexPath(picker->tableView(), row(1));
    EXPECT_EQ(cell->textLabel()->text(), "上海博物馆");
    EXPECT_EQ(cell->detailTextLabel()->text(), "黄浦区人民大道201号");
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);

    // A later fix, better or not, changes nothing.
    const Ref<HTTPRequest> request = picker->placeRequest();
    picker->locationManager_didUpdateToLocation_fromLocation(picker->locationManager(),
                                                             CLLocation::initWithLatitude_longitude(39.9, 116.4),
                                                             CLLocation::initWithLatitude_longitude(kLat, kLng));
    CLLocationManager::simulateLocation(CLLocation::initWithLatitude_longitude(39.9, 116.4));
    EXPECT_EQ(picker->placeRequest(), request);
    EXPECT_EQ(map->region().center, CLLocationCoordinate2DMake(kLat, kLng));
    EXPECT_EQ(CLLocationManager::startCount(), 1);

    ASSERT_TRUE(picker->tableView()->simulateTapOnRowAtIndexPath(row(1)));
    settle();
    EXPECT_EQ(top(), share);
    EXPECT_EQ(share->locationCoordinate2D(), handedOn(fixture[1]));
    EXPECT_NE(share->locationCoordinate2D().latitude, kLat - 0.0018);  // single precision, not the reply's double
    EXPECT_EQ(share->locationTopButton->titleForState(UIControlStateNormal), "上海博物馆");
    EXPECT_FALSE(share->mapView->isHidden());
    EXPECT_EQ(share->mapView->region(), MKCoordinateRegionMake(handedOn(fixture[1]), MKCoordinateSpanMake(0.05, 0.05)));
    EXPECT_EQ(share->mapView->annotations().size(), 1u);
    EXPECT_FALSE(share->mapView->isZoomEnabled() || share->mapView->isScrollEnabled());

    // The place button now offers to remove or choose again; removing hides the map and keeps the
    // coordinate.
    share->locationTopButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    auto sheet = UIActionSheet::currentSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), 2002);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "移除位置");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "重新定位");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "取消");
    EXPECT_TRUE(share->mapView->annotations().empty());
    sheet->simulateClickButtonAtIndex(0);
    EXPECT_TRUE(share->mapView->isHidden());
    EXPECT_EQ(share->locationTopButton->titleForState(UIControlStateNormal), "我在那里");
    EXPECT_EQ(share->locationCoordinate2D(), handedOn(fixture[1]));
    EXPECT_TRUE(openPicker());
}

TEST_F(PlacePickerTest, RepliesOtherThanOkAndPositionsRefusedShowNoPlaces)
{
    struct Case {
        const char* name;
        std::string status;  // of the search
        bool servicesOn;
        CLAuthorizationStatus authorisation;
        size_t searches;
    };
    const std::vector<Case> cases = {
        {"no results", "ZERO_RESULTS", true, kCLAuthorizationStatusAuthorized, 1},
        {"refused key", "REQUEST_DENIED", true, kCLAuthorizationStatusAuthorized, 1},
        {"services off", "OK", false, kCLAuthorizationStatusAuthorized, 0},
        {"denied", "OK", true, kCLAuthorizationStatusDenied, 0},
    };
    size_t searched = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        places.setStatus(c.status);
        CLLocationManager::setLocationServicesEnabled(c.servicesOn);
        CLLocationManager::setAuthorizationStatus(c.authorisation);
        auto picker = openPicker();
        if (c.searches > 0) {
            // The search starts with the fix; its answer reaches the picker on the main queue.
            ASSERT_TRUE(waitUntil([&] { return picker->placeRequest() && picker->placeRequest()->complete(); }));
        }
        {
            // What was on its way has been told: a marker posted now runs after it.
            bool marker = false;
            dispatch_async(dispatch_get_main_queue(), [&] { marker = true; });
            ASSERT_TRUE(waitUntil([&] { return marker; }));
            EXPECT_EQ(picker->placeRequest() != nullptr, c.searches > 0);
        }
        searched += c.searches;
        EXPECT_EQ(places.requests().size(), searched);
        EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 0);
        EXPECT_EQ(picker->placeList().count(), 0u);
        // Accepting hands nothing over while there is no address of the device's position.
        if (!c.servicesOn || c.authorisation == kCLAuthorizationStatusDenied) {
            picker->acceptButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
            EXPECT_EQ(top(), picker);
            EXPECT_FALSE(picker->pointAnnotation());
        }
        navigation->popViewControllerAnimated(false);
        settle();
    }
    EXPECT_TRUE(share->mapView->isHidden());
}

TEST_F(PlacePickerTest, HereHandsTheDevicesAddressToTheNearestPublishScreen)
{
    // No fix yet.
    CLLocationManager::setPosition(nullptr);
    // Two publish screens on the stack: the one nearest the top receives the place.
    auto upper = VideoShareController::create();
    navigation->pushViewController_animated(upper, false);
    settle();
    upper->locationTopButton->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    auto picker = std::dynamic_pointer_cast<ShareLocationController>(top());
    ASSERT_TRUE(picker);
    // Before the address is known, the button does nothing.
    picker->acceptButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(top(), picker);
    EXPECT_FALSE(picker->pointAnnotation());
    CLLocationManager::simulateLocation(CLLocation::initWithLatitude_longitude(kLat, kLng));
    ASSERT_TRUE(waitUntil([&] { return picker->pointAnnotation() && !picker->pointAnnotation()->subtitle().empty(); }));
    EXPECT_EQ(picker->pointAnnotation()->subtitle(), "上海市黄浦区人民大道200号");
    EXPECT_EQ(MKReverseGeocoder::startCount(), 1);

    picker->acceptButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    settle();
    EXPECT_EQ(top(), upper);
    EXPECT_EQ(upper->locationCoordinate2D(), CLLocationCoordinate2DMake(kLat, kLng));
    EXPECT_EQ(upper->locationTopButton->titleForState(UIControlStateNormal), "上海市黄浦区人民大道200号");
    EXPECT_TRUE(share->mapView->isHidden());
    EXPECT_EQ(share->locationCoordinate2D(), CLLocationCoordinate2D{});
}

}  // namespace PlacePickerTest_cpp
}  // namespace
