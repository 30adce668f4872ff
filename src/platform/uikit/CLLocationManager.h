#pragma once
// Location: positions, the location manager and placemarks. There is no positioning hardware here:
// the device's position, whether location services are on and the user's answer to the question
// whether the application may use them are a process-wide fixture that the application or a test
// configures. A manager that starts updating is told the configured position (or why it cannot have
// one) on the main queue, as the phone tells it on the run loop of the thread it was made on; a test
// moves the device or makes the hardware fail with simulateLocation / simulateError, which reach every
// manager that is updating at the time. Managers are touched on the main thread; the fixture is safe
// from any thread.
#include <optional>
#include <string>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

using CLLocationDegrees = double;
using CLLocationDistance = double;
using CLLocationAccuracy = double;
using CLLocationDirection = double;
using CLLocationSpeed = double;

struct CLLocationCoordinate2D {
    CLLocationDegrees latitude = 0;
    CLLocationDegrees longitude = 0;
    bool operator==(const CLLocationCoordinate2D&) const = default;
};

inline CLLocationCoordinate2D CLLocationCoordinate2DMake(CLLocationDegrees latitude, CLLocationDegrees longitude)
{
    return {latitude, longitude};
}
// Latitude within ±90 and longitude within ±180.
bool CLLocationCoordinate2DIsValid(CLLocationCoordinate2D coordinate);

inline constexpr CLLocationDistance kCLDistanceFilterNone = -1;
inline constexpr CLLocationAccuracy kCLLocationAccuracyBestForNavigation = -2;
inline constexpr CLLocationAccuracy kCLLocationAccuracyBest = -1;
inline constexpr CLLocationAccuracy kCLLocationAccuracyNearestTenMeters = 10;
inline constexpr CLLocationAccuracy kCLLocationAccuracyHundredMeters = 100;
inline constexpr CLLocationAccuracy kCLLocationAccuracyKilometer = 1000;
inline constexpr CLLocationAccuracy kCLLocationAccuracyThreeKilometers = 3000;

extern const char* const kCLErrorDomain;  // "kCLErrorDomain"
enum CLError : NSInteger {
    kCLErrorLocationUnknown = 0,  // no fix for now; the manager keeps trying
    kCLErrorDenied = 1,           // the user or the settings refuse location services
    kCLErrorNetwork = 2,
    kCLErrorGeocodeFoundNoResult = 8,
    kCLErrorGeocodeCanceled = 10,
};

enum CLAuthorizationStatus : int {
    kCLAuthorizationStatusNotDetermined = 0,
    kCLAuthorizationStatusRestricted = 1,
    kCLAuthorizationStatusDenied = 2,
    kCLAuthorizationStatusAuthorized = 3,
};

// One fix: where the device was, how sure the fix is, and when it was taken (the process clock).
class CLLocation : public NSObject {
public:
    static Ref<CLLocation> initWithLatitude_longitude(CLLocationDegrees latitude, CLLocationDegrees longitude);
    static Ref<CLLocation> initWithCoordinate_altitude_horizontalAccuracy_verticalAccuracy_timestamp(
        CLLocationCoordinate2D coordinate, CLLocationDistance altitude, CLLocationAccuracy horizontalAccuracy,
        CLLocationAccuracy verticalAccuracy, NSDate timestamp);

    CLLocationCoordinate2D coordinate() const { return coordinate_; }
    CLLocationDistance altitude() const { return altitude_; }
    // Radius of uncertainty in metres; negative means the coordinate is not valid.
    CLLocationAccuracy horizontalAccuracy() const { return horizontalAccuracy_; }
    CLLocationAccuracy verticalAccuracy() const { return verticalAccuracy_; }
    NSDate timestamp() const { return timestamp_; }
    // Great-circle distance in metres (a sphere of the earth's mean radius).
    CLLocationDistance distanceFromLocation(const Ref<CLLocation>& other) const;

    // "<+39.90420000,+116.40740000> +/- 5.00m (speed -1.00 mps / course -1.00) @ <time>"
    std::string description() const override;

    CLLocation() = default;  // use the factories

private:
    CLLocationCoordinate2D coordinate_;
    CLLocationDistance altitude_ = 0;
    CLLocationAccuracy horizontalAccuracy_ = 5;
    CLLocationAccuracy verticalAccuracy_ = -1;
    NSDate timestamp_;
};

// What reverse geocoding finds at a coordinate. Missing parts are empty texts.
class CLPlacemark : public NSObject {
public:
    struct Parts {
        CLLocationCoordinate2D coordinate;
        std::string name;
        std::string country;
        std::string countryCode;          // "CN"
        std::string administrativeArea;   // province
        std::string locality;             // city
        std::string subLocality;          // district
        std::string thoroughfare;         // street
        std::string subThoroughfare;      // house number
        std::string postalCode;
    };
    static Ref<CLPlacemark> initWithParts(Parts parts);

    CLLocationCoordinate2D coordinate() const { return parts_.coordinate; }
    const std::string& name() const { return parts_.name; }
    const std::string& country() const { return parts_.country; }
    const std::string& countryCode() const { return parts_.countryCode; }
    const std::string& administrativeArea() const { return parts_.administrativeArea; }
    const std::string& locality() const { return parts_.locality; }
    const std::string& subLocality() const { return parts_.subLocality; }
    const std::string& thoroughfare() const { return parts_.thoroughfare; }
    const std::string& subThoroughfare() const { return parts_.subThoroughfare; }
    const std::string& postalCode() const { return parts_.postalCode; }
    const Parts& parts() const { return parts_; }

    CLPlacemark() = default;  // use initWithParts

protected:
    Parts parts_;
};

class CLLocationManager;

class CLLocationManagerDelegate {
public:
    virtual ~CLLocationManagerDelegate() = default;
    virtual void locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>& manager,
                                                                  const Ref<CLLocation>& newLocation,
                                                                  const Ref<CLLocation>& oldLocation)
    {
    }
    virtual void locationManager_didFailWithError(const Ref<CLLocationManager>& manager, const Ref<NSError>& error) {}
    virtual void locationManager_didChangeAuthorizationStatus(const Ref<CLLocationManager>& manager,
                                                              CLAuthorizationStatus status)
    {
    }
};

class CLLocationManager : public NSObject {
public:
    static Ref<CLLocationManager> create();
    ~CLLocationManager() override;

    // Whether location services are on for the device (configured; on by default).
    static bool locationServicesEnabled();
    static CLAuthorizationStatus authorizationStatus();

    Weak<CLLocationManagerDelegate> delegate() const { return delegate_; }
    void setDelegate(const Ref<CLLocationManagerDelegate>& delegate) { delegate_ = delegate; }
    CLLocationDistance distanceFilter() const { return distanceFilter_; }
    void setDistanceFilter(CLLocationDistance distance) { distanceFilter_ = distance; }
    CLLocationAccuracy desiredAccuracy() const { return desiredAccuracy_; }
    void setDesiredAccuracy(CLLocationAccuracy accuracy) { desiredAccuracy_ = accuracy; }

    // Starts asking for fixes. With services off, or the application refused, the delegate is told
    // kCLErrorDenied. A question not yet answered takes the configured answer first (granted unless
    // set otherwise; the delegate hears of the change). Authorised, the delegate gets the configured
    // position when there is one, and every later simulated one.
    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdatingLocation() const { return updating_; }
    // The last fix this manager delivered, or null.
    Ref<CLLocation> location() const { return last_; }

    // --- The fixture ---
    static void setLocationServicesEnabled(bool enabled);
    static void setAuthorizationStatus(CLAuthorizationStatus status);
    // What a not-determined question is answered with (true by default).
    static void setAnswerToAuthorizationRequest(bool grant);
    // The device's position, told to managers that start updating; null for no fix yet.
    static void setPosition(const Ref<CLLocation>& position);
    static Ref<CLLocation> position();
    // The device moves: the position becomes this fix, and every updating manager is told of it.
    static void simulateLocation(const Ref<CLLocation>& location);
    // The hardware fails: every updating manager is told the error (kCLErrorDomain, code).
    static void simulateError(NSInteger code);
    // How many times any manager started updating since the last reset.
    static int startCount();
    // Services on, not determined, requests granted, no position, no count.
    static void resetForTesting();

    CLLocationManager() = default;  // use create()

private:
    void deliver(const Ref<CLLocation>& location);
    void fail(NSInteger code);

    Weak<CLLocationManagerDelegate> delegate_;
    CLLocationDistance distanceFilter_ = kCLDistanceFilterNone;
    CLLocationAccuracy desiredAccuracy_ = kCLLocationAccuracyBest;
    bool updating_ = false;
    Ref<CLLocation> last_;
};
