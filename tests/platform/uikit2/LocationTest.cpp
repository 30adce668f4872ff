#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Stage.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/CoreLocation.h"
#include "platform/uikit/MapKit.h"

namespace {
namespace LocationTest_cpp {

constexpr auto kWait = std::chrono::seconds(5);

class Listener : public NSObject, public CLLocationManagerDelegate, public MKReverseGeocoderDelegate {
public:
    std::vector<std::string> events;
    void locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>&, const Ref<CLLocation>& now,
                                                          const Ref<CLLocation>& before) override
    {
        events.push_back(stringWithFormat("fix %.4f,%.4f from %@", now->coordinate().latitude,
                                          now->coordinate().longitude,
                                          before ? stringWithFormat("%.4f", before->coordinate().latitude) : "nil"));
    }
    void locationManager_didFailWithError(const Ref<CLLocationManager>&, const Ref<NSError>& error) override
    {
        events.push_back(error->domain() + " " + std::to_string(error->code()));
    }
    void locationManager_didChangeAuthorizationStatus(const Ref<CLLocationManager>&, CLAuthorizationStatus status) override
    {
        events.push_back("status " + std::to_string(int(status)));
    }
    void reverseGeocoder_didFindPlacemark(const Ref<MKReverseGeocoder>&, const Ref<MKPlacemark>& placemark) override
    {
        events.push_back("found " + placemark->locality() + placemark->subLocality() + placemark->thoroughfare());
    }
    void reverseGeocoder_didFailWithError(const Ref<MKReverseGeocoder>&, const Ref<NSError>& error) override
    {
        events.push_back("no place " + std::to_string(error->code()));
    }
};

// Serves the main queue until n events arrived, then once more so that a stray late one would show.
bool waitFor(const Ref<Listener>& listener, size_t n)
{
    const bool arrived = pumpMainUntil([&] { return listener->events.size() >= n; }, kWait);
    bool extra = false;
    dispatch_async(dispatch_get_main_queue(), [&] { extra = true; });
    pumpMainUntil([&] { return extra; }, kWait);
    return arrived;
}

TEST(CLLocationManagerTest, StartingTellsTheConfiguredPositionOrWhyThereIsNone)
{
    struct Case {
        const char* name;
        bool enabled;
        CLAuthorizationStatus status;
        bool grant;
        bool position;
        std::vector<std::string> events;
        CLAuthorizationStatus after;
    };
    const std::vector<Case> cases = {
        {"authorised", true, kCLAuthorizationStatusAuthorized, true, true, {"fix 39.9042,116.4074 from nil"},
         kCLAuthorizationStatusAuthorized},
        {"asked and granted", true, kCLAuthorizationStatusNotDetermined, true, true,
         {"status 3", "fix 39.9042,116.4074 from nil"}, kCLAuthorizationStatusAuthorized},
        {"asked and refused", true, kCLAuthorizationStatusNotDetermined, false, true,
         {"status 2", "kCLErrorDomain 1"}, kCLAuthorizationStatusDenied},
        {"denied", true, kCLAuthorizationStatusDenied, true, true, {"kCLErrorDomain 1"}, kCLAuthorizationStatusDenied},
        {"restricted", true, kCLAuthorizationStatusRestricted, true, true, {"kCLErrorDomain 1"},
         kCLAuthorizationStatusRestricted},
        {"services off", false, kCLAuthorizationStatusAuthorized, true, true, {"kCLErrorDomain 1"},
         kCLAuthorizationStatusAuthorized},
        {"no fix yet", true, kCLAuthorizationStatusAuthorized, true, false, {}, kCLAuthorizationStatusAuthorized},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stage stage;
        CLLocationManager::resetForTesting();
        CLLocationManager::setLocationServicesEnabled(c.enabled);
        CLLocationManager::setAuthorizationStatus(c.status);
        CLLocationManager::setAnswerToAuthorizationRequest(c.grant);
        if (c.position) {
            CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(39.9042, 116.4074));
        }
        auto manager = CLLocationManager::create();
        auto listener = std::make_shared<Listener>();
        manager->setDelegate(listener);
        EXPECT_EQ(manager->distanceFilter(), kCLDistanceFilterNone);
        manager->startUpdatingLocation();
        waitFor(listener, c.events.size());
        EXPECT_EQ(listener->events, c.events);
        EXPECT_EQ(CLLocationManager::authorizationStatus(), c.after);
        EXPECT_EQ(CLLocationManager::locationServicesEnabled(), c.enabled);
        EXPECT_EQ(CLLocationManager::startCount(), 1);
    }
}

TEST(CLLocationManagerTest, MovesReachOnlyManagersStillUpdatingAndAFixInFlightIsDroppedByStop)
{
    Stage stage;
    CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusAuthorized);
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(31.2304, 121.4737));
    auto listener = std::make_shared<Listener>(), other = std::make_shared<Listener>();
    auto manager = CLLocationManager::create(), stopped = CLLocationManager::create();
    manager->setDelegate(listener);
    stopped->setDelegate(other);
    manager->startUpdatingLocation();
    stopped->startUpdatingLocation();
    stopped->stopUpdatingLocation();  // its first fix is already on its way
    ASSERT_TRUE(waitFor(listener, 1));

    CLLocationManager::simulateLocation(CLLocation::initWithLatitude_longitude(31.2400, 121.4800));
    CLLocationManager::simulateError(kCLErrorLocationUnknown);
    ASSERT_TRUE(waitFor(listener, 3));
    EXPECT_EQ(listener->events, (std::vector<std::string>{"fix 31.2304,121.4737 from nil",
                                                          "fix 31.2400,121.4800 from 31.2304", "kCLErrorDomain 0"}));
    EXPECT_TRUE(other->events.empty());
    EXPECT_NEAR(manager->location()->coordinate().latitude, 31.24, 1e-9);
    EXPECT_FALSE(stopped->location());
    EXPECT_NEAR(CLLocation::initWithLatitude_longitude(39.9042, 116.4074)
                    ->distanceFromLocation(CLLocation::initWithLatitude_longitude(31.2304, 121.4737)),
                1067000, 3000);
}

TEST(MKMapViewTest, RecordsRegionAndAnnotationsAndDrawsPinsWhereTheirCoordinatesAre)
{
    Stage stage;
    auto map = MKMapView::initWithFrame(CGRectMake(0, 0, 200, 100));
    const CLLocationCoordinate2D centre{39.9, 116.4};
    map->setRegion_animated(MKCoordinateRegionMake(centre, MKCoordinateSpanMake(0.05, 0.05)), true);
    EXPECT_EQ(map->region(), MKCoordinateRegionMake(centre, MKCoordinateSpanMake(0.05, 0.05)));
    EXPECT_TRUE(map->lastRegionChangeAnimated());
    map->setMapType(MKMapTypeStandard);
    map->setZoomEnabled(false);
    map->setScrollEnabled(false);
    EXPECT_FALSE(map->isZoomEnabled() || map->isScrollEnabled());

    auto pin = MKPointAnnotation::create();
    pin->setCoordinate({39.9, 116.4 + 0.0125});  // a quarter span east of the centre
    pin->setTitle("天安门");
    auto other = MKPointAnnotation::create();
    other->setCoordinate({39.9 + 0.0125, 116.4});
    map->addAnnotation(pin);
    map->addAnnotations({other, pin});
    EXPECT_EQ(map->annotations().size(), 2u);
    const CGPoint p = map->convertCoordinate_toPointToView(pin->coordinate(), nullptr);
    EXPECT_NEAR(p.x, 150, 1e-6);
    EXPECT_NEAR(p.y, 50, 1e-6);
    const CLLocationCoordinate2D back = map->convertPoint_toCoordinateFromView(CGPointMake(100, 25), nullptr);
    EXPECT_NEAR(back.latitude, 39.9125, 1e-9);
    EXPECT_NEAR(back.longitude, 116.4, 1e-9);

    map->layer()->layoutAndDisplayTreeIfNeeded();
    const CGContextRef picture = CGContext::createImageContext(map->bounds().size, 2);
    map->layer()->renderInContext(picture);
    auto red = [&](CGFloat x, CGFloat y) {
        const uint32_t px = picture->pixelAt(size_t(x * 2), size_t(y * 2));
        return ((px >> 16) & 0xFF) > 180 && ((px >> 8) & 0xFF) < 80;
    };
    EXPECT_TRUE(red(150, 50 - 17));   // the pin's head stands above its coordinate
    EXPECT_TRUE(red(100, 25 - 17));
    EXPECT_FALSE(red(60, 80));        // plain land elsewhere

    map->removeAnnotations(map->annotations());
    EXPECT_TRUE(map->annotations().empty());

    // The user's dot needs a position the application may use.
    map->setShowsUserLocation(true);
    EXPECT_FALSE(map->isUserLocationVisible());
    CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusAuthorized);
    CLLocationManager::setPosition(CLLocation::initWithLatitude_longitude(39.9, 116.4));
    EXPECT_TRUE(map->isUserLocationVisible());
    EXPECT_EQ(map->userLocation()->coordinate(), centre);
    CLLocationManager::setAuthorizationStatus(kCLAuthorizationStatusDenied);
    EXPECT_FALSE(map->isUserLocationVisible());
}

TEST(MKReverseGeocoderTest, AnswersTheNearestFixturePlaceWithinReachAndNothingAfterCancel)
{
    Stage stage;
    MKReverseGeocoder::setPlacemarks({{.coordinate = {39.9087, 116.3975}, .locality = "北京市", .subLocality = "东城区",
                                       .thoroughfare = "东长安街"},
                                      {.coordinate = {39.9100, 116.3975}, .locality = "北京市", .subLocality = "东城区",
                                       .thoroughfare = "南池子大街"}},
                                     300);
    struct Case {
        CLLocationCoordinate2D at;
        std::string event;
    };
    const std::vector<Case> cases = {
        {{39.9088, 116.3976}, "found 北京市东城区东长安街"},
        {{39.9099, 116.3975}, "found 北京市东城区南池子大街"},
        {{31.2304, 121.4737}, "no place 8"},
    };
    for (const Case& c : cases) {
        auto listener = std::make_shared<Listener>();
        auto geocoder = MKReverseGeocoder::initWithCoordinate(c.at);
        geocoder->setDelegate(listener);
        geocoder->start();
        EXPECT_TRUE(geocoder->isQuerying());
        ASSERT_TRUE(waitFor(listener, 1));
        EXPECT_EQ(listener->events, std::vector<std::string>{c.event});
        EXPECT_FALSE(geocoder->isQuerying());
    }
    auto listener = std::make_shared<Listener>();
    auto cancelled = MKReverseGeocoder::initWithCoordinate({39.9087, 116.3975});
    cancelled->setDelegate(listener);
    cancelled->start();
    cancelled->cancel();
    waitFor(listener, 0);
    EXPECT_TRUE(listener->events.empty());
    EXPECT_FALSE(cancelled->placemark());
    EXPECT_EQ(MKReverseGeocoder::startCount(), 4);
}

}  // namespace LocationTest_cpp
}  // namespace
