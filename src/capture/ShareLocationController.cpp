#include "capture/ShareLocationController.h"

#include <cstdlib>

#include "api/ServiceReply.h"
#include "capture/VideoShareController.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImage.h"
#include "platform/foundation/Configuration.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableViewCell.h"

namespace {
namespace ShareLocationController_cpp {

// The pin's coordinate as the service's reply gives it, read at single precision as the list and the
// publish screen have always shown it.
CLLocationCoordinate2D placeCoordinate(const Value& place)
{
    const Value location = place["geometry"]["location"];
    return {double(location["lat"].floatValue()), double(location["lng"].floatValue())};
}

}  // namespace ShareLocationController_cpp
}  // namespace

namespace PlaceSearch {

std::string baseURL()
{
    return "https://" + Configuration::placeSearchHost();
}

std::string apiKey()
{
    return Configuration::placeSearchKey();
}

}  // namespace PlaceSearch

void ShareLocationController::registerNib()
{
    if (UINibRegistry::hasNib("ShareLocationController")) {
        return;
    }
    UINibRegistry::registerNib("ShareLocationController", [](UINibBuilder& nib) {
        auto owner = nib.owner<ShareLocationController>();
        auto root = nib.view<UIView>(CGRectMake(0, 0, 320, 416));
        root->setBackgroundColor(UIColor::whiteColor());
        auto map = nib.view<MKMapView>(CGRectMake(0, 0, 320, 216));
        root->addSubview(map);
        auto here = nib.add(UIButton::buttonWithType(UIButtonTypeCustom));
        here->setFrame(CGRectMake(236, 8, 76, 28));
        here->setBackgroundImage_forState(
            UIImage::imageNamed("done-button-bg") ? UIImage::imageNamed("done-button-bg")->stretchableImageWithLeftCapWidth_topCapHeight(10, 0)
                                                  : nullptr,
            UIControlStateNormal);
        here->setTitle_forState("就在这里", UIControlStateNormal);
        here->titleLabel()->setFont(UIFont::boldSystemFontOfSize(13));
        root->addSubview(here);
        if (owner) {
            owner->setView(root);
            owner->setMapView(map);
            owner->setAcceptButton(here);
            here->addTarget_action_forControlEvents(
                owner, UIControlAction::make("acceptLocation:", &ShareLocationController::acceptLocation),
                UIControlEventTouchUpInside);
        }
        return std::vector<Ref<NSObject>>{root};
    });
}

void ShareLocationController::initBody()
{
    registerNib();
    PZViewController::initBody();
}

ShareLocationController::~ShareLocationController()
{
    if (placeRequest_) {
        placeRequest_->clearDelegatesAndCancel();
    }
    if (locationManager_) {
        locationManager_->stopUpdatingLocation();
    }
    if (geocoder_) {
        geocoder_->cancel();
    }
}

void ShareLocationController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    const auto self = std::static_pointer_cast<ShareLocationController>(shared_from_this());
    locationManager_ = CLLocationManager::create();
    if (CLLocationManager::locationServicesEnabled()) {
        locationManager_->setDelegate(self);
        locationManager_->setDistanceFilter(kCLDistanceFilterNone);
        locationManager_->setDesiredAccuracy(kCLLocationAccuracyBest);
        locationManager_->startUpdatingLocation();
    }
    const CGFloat mapHeight = mapView_ ? mapView_->frame().size.height : 0;
    tableView_ = UITableView::initWithFrame_style(CGRectMake(0, mapHeight - 40, 320, 240), UITableViewStylePlain);
    tableView_->setDelegate(self);
    tableView_->setDataSource(self);
    view()->addSubview(tableView_);
}

void ShareLocationController::locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>& manager,
                                                                               const Ref<CLLocation>& newLocation,
                                                                               const Ref<CLLocation>& oldLocation)
{
    manager->stopUpdatingLocation();
    // One fix is used: a later one already on its way changes nothing.
    if (located_ || !newLocation) {
        return;
    }
    located_ = true;
    const CLLocationCoordinate2D here = newLocation->coordinate();
    if (mapView_) {
        mapView_->setRegion_animated(MKCoordinateRegionMake(here, MKCoordinateSpanMake(0.01, 0.01)), true);
        mapView_->setMapType(MKMapTypeStandard);
        mapView_->setShowsUserLocation(true);
    }

    // The device's own position, offered through the button once its address is known.
    pointAnnotation_ = MKPointAnnotation::create();
    pointAnnotation_->setCoordinate(here);
    pointAnnotation_->setTitle("我的位置");
    geocoder_ = MKReverseGeocoder::initWithCoordinate(here);
    geocoder_->setDelegate(std::static_pointer_cast<ShareLocationController>(shared_from_this()));
    geocoder_->start();

    const std::string url = PlaceSearch::baseURL() + PlaceSearch::kSearchPath +
                            stringWithFormat("?location=%f,%f&radius=1000&sensor=false&key=%@&language=zh_cn",
                                             here.latitude, here.longitude, PlaceSearch::apiKey());
    if (placeRequest_) {
        placeRequest_->clearDelegatesAndCancel();
    }
    placeRequest_ = HTTPRequest::requestWithURL(NSURL::URLWithString(url));
    placeRequest_->setDelegate(std::static_pointer_cast<ShareLocationController>(shared_from_this()));
    placeRequest_->startAsynchronous();
}

void ShareLocationController::locationManager_didFailWithError(const Ref<CLLocationManager>& manager,
                                                               const Ref<NSError>& error)
{
    NSLog("%@", error ? error->localizedDescription() : std::string());
}

void ShareLocationController::reverseGeocoder_didFindPlacemark(const Ref<MKReverseGeocoder>& geocoder,
                                                               const Ref<MKPlacemark>& placemark)
{
    if (locationManager_) {
        locationManager_->stopUpdatingLocation();
    }
    if (pointAnnotation_ && placemark) {
        pointAnnotation_->setSubtitle(stringWithFormat("%@%@%@%@", placemark->locality(), placemark->subLocality(),
                                                       placemark->thoroughfare(), placemark->subThoroughfare()));
        if (mapView_) {
            mapView_->addAnnotation(pointAnnotation_);
        }
    }
}

void ShareLocationController::requestFinished(const Ref<HTTPRequest>& request)
{
    const Value reply = ServiceReply::of(request);
    if (!reply["status"].isEqualToString("OK")) {
        return;
    }
    placeList_ = Value::array();
    if (reply["results"].isArray()) {
        for (const Value& place : reply["results"].arrayItems()) {
            if (place.isDictionary()) {
                placeList_.addObject(place);
            }
        }
    }
    for (const Value& place : placeList_.arrayItems()) {
        auto pin = MKPointAnnotation::create();
        pin->setCoordinate(ShareLocationController_cpp::placeCoordinate(place));
        pin->setTitle(place["name"].stringValue());
        if (mapView_) {
            mapView_->addAnnotation(pin);
        }
    }
    tableView_->reloadData();
}

NSInteger ShareLocationController::tableView_numberOfRowsInSection(const Ref<UITableView>& tableView,
                                                                   NSInteger section)
{
    return NSInteger(placeList_.count());
}

Ref<UITableViewCell> ShareLocationController::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                              const Ref<NSIndexPath>& indexPath)
{
    static const std::string identifier = "PlaceCell";
    Ref<UITableViewCell> cell = tableView->dequeueReusableCellWithIdentifier(identifier);
    if (!cell) {
        cell = UITableViewCell::initWithStyle_reuseIdentifier(UITableViewCellStyleSubtitle, identifier);
    }
    const Value place = placeList_[indexPath->row()];
    cell->textLabel()->setText(place["name"].stringValue());
    cell->detailTextLabel()->setText(place["vicinity"].stringValue());
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    return cell;
}

void ShareLocationController::tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                                                const Ref<NSIndexPath>& indexPath)
{
    const Value place = placeList_[indexPath->row()];
    handBack(ShareLocationController_cpp::placeCoordinate(place), place["name"].stringValue());
}

void ShareLocationController::acceptLocation()
{
    // Nothing to hand over before the position and its address are known.
    if (!pointAnnotation_ || pointAnnotation_->subtitle().empty()) {
        return;
    }
    handBack(pointAnnotation_->coordinate(), pointAnnotation_->subtitle());
}

void ShareLocationController::handBack(CLLocationCoordinate2D coordinate, const std::string& name)
{
    const Ref<UINavigationController> navigation = navigationController();
    if (!navigation) {
        return;
    }
    const auto& stack = navigation->viewControllers();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (auto share = std::dynamic_pointer_cast<VideoShareController>(*it)) {
            share->locationWithCoord_place(coordinate, name);
            break;
        }
    }
    navigation->popViewControllerAnimated(true);
}
