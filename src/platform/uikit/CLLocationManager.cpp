#include "platform/uikit/CLLocationManager.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSString.h"

const char* const kCLErrorDomain = "kCLErrorDomain";

namespace {
namespace CLLocationManager_cpp {

struct Device {
    std::mutex mutex;
    bool servicesEnabled = true;
    CLAuthorizationStatus status = kCLAuthorizationStatusNotDetermined;
    bool grant = true;
    Ref<CLLocation> position;
    int starts = 0;
    // Managers that are updating, told of simulated fixes and failures.
    std::vector<Weak<CLLocationManager>> updating;
};

// Lives for the whole process.
Device& device()
{
    static Device& shared = *new Device;
    return shared;
}

std::vector<Ref<CLLocationManager>> updatingManagers()
{
    Device& shared = device();
    std::lock_guard lock(shared.mutex);
    std::vector<Ref<CLLocationManager>> managers;
    for (const Weak<CLLocationManager>& weak : shared.updating) {
        if (auto manager = weak.lock()) {
            managers.push_back(manager);
        }
    }
    return managers;
}

}  // namespace CLLocationManager_cpp
}  // namespace

bool CLLocationCoordinate2DIsValid(CLLocationCoordinate2D coordinate)
{
    return std::isfinite(coordinate.latitude) && std::isfinite(coordinate.longitude) &&
           std::fabs(coordinate.latitude) <= 90 && std::fabs(coordinate.longitude) <= 180;
}

// ---- CLLocation ---------------------------------------------------------------------------------------

Ref<CLLocation> CLLocation::initWithLatitude_longitude(CLLocationDegrees latitude, CLLocationDegrees longitude)
{
    return initWithCoordinate_altitude_horizontalAccuracy_verticalAccuracy_timestamp(
        CLLocationCoordinate2DMake(latitude, longitude), 0, 0, -1, NSDate::date());
}

Ref<CLLocation> CLLocation::initWithCoordinate_altitude_horizontalAccuracy_verticalAccuracy_timestamp(
    CLLocationCoordinate2D coordinate, CLLocationDistance altitude, CLLocationAccuracy horizontalAccuracy,
    CLLocationAccuracy verticalAccuracy, NSDate timestamp)
{
    auto location = std::make_shared<CLLocation>();
    location->coordinate_ = coordinate;
    location->altitude_ = altitude;
    location->horizontalAccuracy_ = CLLocationCoordinate2DIsValid(coordinate) ? horizontalAccuracy : -1;
    location->verticalAccuracy_ = verticalAccuracy;
    location->timestamp_ = timestamp;
    return location;
}

CLLocationDistance CLLocation::distanceFromLocation(const Ref<CLLocation>& other) const
{
    if (!other) {
        return 0;
    }
    constexpr double earthRadius = 6371009.0;
    constexpr double radians = std::numbers::pi / 180;
    const double lat1 = coordinate_.latitude * radians, lat2 = other->coordinate_.latitude * radians;
    const double dLat = lat2 - lat1;
    const double dLon = (other->coordinate_.longitude - coordinate_.longitude) * radians;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * earthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

std::string CLLocation::description() const
{
    return stringWithFormat("<%+.8f,%+.8f> +/- %.2fm (speed -1.00 mps / course -1.00) @ %@", coordinate_.latitude,
                            coordinate_.longitude, horizontalAccuracy_, timestamp_.description());
}

// ---- CLPlacemark --------------------------------------------------------------------------------------

Ref<CLPlacemark> CLPlacemark::initWithParts(Parts parts)
{
    auto placemark = std::make_shared<CLPlacemark>();
    placemark->parts_ = std::move(parts);
    return placemark;
}

// ---- CLLocationManager --------------------------------------------------------------------------------

Ref<CLLocationManager> CLLocationManager::create()
{
    return std::make_shared<CLLocationManager>();
}

CLLocationManager::~CLLocationManager()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    std::erase_if(shared.updating, [](const Weak<CLLocationManager>& weak) { return weak.expired(); });
}

bool CLLocationManager::locationServicesEnabled()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    return shared.servicesEnabled;
}

CLAuthorizationStatus CLLocationManager::authorizationStatus()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    return shared.status;
}

void CLLocationManager::startUpdatingLocation()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    bool enabled = false, asked = false;
    CLAuthorizationStatus status;
    Ref<CLLocation> position;
    {
        std::lock_guard lock(shared.mutex);
        ++shared.starts;
        enabled = shared.servicesEnabled;
        if (enabled && shared.status == kCLAuthorizationStatusNotDetermined) {
            shared.status = shared.grant ? kCLAuthorizationStatusAuthorized : kCLAuthorizationStatusDenied;
            asked = true;
        }
        status = shared.status;
        position = shared.position;
        if (enabled && status == kCLAuthorizationStatusAuthorized && !updating_) {
            shared.updating.push_back(std::static_pointer_cast<CLLocationManager>(shared_from_this()));
        }
    }
    const Weak<CLLocationManager> weak = std::static_pointer_cast<CLLocationManager>(shared_from_this());
    if (asked) {
        dispatch_async(dispatch_get_main_queue(), [weak, status] {
            if (auto self = weak.lock()) {
                if (auto delegate = self->delegate_.lock()) {
                    delegate->locationManager_didChangeAuthorizationStatus(self, status);
                }
            }
        });
    }
    if (!enabled || status != kCLAuthorizationStatusAuthorized) {
        fail(kCLErrorDenied);
        return;
    }
    updating_ = true;
    if (position) {
        deliver(position);
    }
}

void CLLocationManager::stopUpdatingLocation()
{
    updating_ = false;
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    std::erase_if(shared.updating, [this](const Weak<CLLocationManager>& weak) {
        auto manager = weak.lock();
        return !manager || manager.get() == this;
    });
}

void CLLocationManager::deliver(const Ref<CLLocation>& location)
{
    const Weak<CLLocationManager> weak = std::static_pointer_cast<CLLocationManager>(shared_from_this());
    dispatch_async(dispatch_get_main_queue(), [weak, location] {
        auto self = weak.lock();
        // A manager stopped before the fix arrived is not told of it.
        if (!self || !self->updating_) {
            return;
        }
        Ref<CLLocation> previous = self->last_;
        self->last_ = location;
        if (auto delegate = self->delegate_.lock()) {
            delegate->locationManager_didUpdateToLocation_fromLocation(self, location, previous);
        }
    });
}

void CLLocationManager::fail(NSInteger code)
{
    const Weak<CLLocationManager> weak = std::static_pointer_cast<CLLocationManager>(shared_from_this());
    dispatch_async(dispatch_get_main_queue(), [weak, code] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (auto delegate = self->delegate_.lock()) {
            delegate->locationManager_didFailWithError(self, NSError::errorWithDomain_code_userInfo(kCLErrorDomain, code));
        }
    });
}

void CLLocationManager::setLocationServicesEnabled(bool enabled)
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    shared.servicesEnabled = enabled;
}

void CLLocationManager::setAuthorizationStatus(CLAuthorizationStatus status)
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    shared.status = status;
}

void CLLocationManager::setAnswerToAuthorizationRequest(bool grant)
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    shared.grant = grant;
}

void CLLocationManager::setPosition(const Ref<CLLocation>& position)
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    shared.position = position;
}

Ref<CLLocation> CLLocationManager::position()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    return shared.position;
}

void CLLocationManager::simulateLocation(const Ref<CLLocation>& location)
{
    setPosition(location);
    for (const Ref<CLLocationManager>& manager : CLLocationManager_cpp::updatingManagers()) {
        manager->deliver(location);
    }
}

void CLLocationManager::simulateError(NSInteger code)
{
    for (const Ref<CLLocationManager>& manager : CLLocationManager_cpp::updatingManagers()) {
        manager->fail(code);
    }
}

int CLLocationManager::startCount()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    return shared.starts;
}

void CLLocationManager::resetForTesting()
{
    CLLocationManager_cpp::Device& shared = CLLocationManager_cpp::device();
    std::lock_guard lock(shared.mutex);
    shared.servicesEnabled = true;
    shared.status = kCLAuthorizationStatusNotDetermined;
    shared.grant = true;
    shared.position.reset();
    shared.starts = 0;
    shared.updating.clear();
}
