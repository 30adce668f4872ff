#pragma once
// The place picker: one fix of the device's position centres the map, the place search web service is
// asked for the places within 1000 metres, and they are shown as pins on the map and as a list below
// it. A row hands its place's coordinate and name to the publish screen that pushed the picker; the
// button on the map hands over the device's own position with its street address, once reverse
// geocoding has found it.
//
// Configuration (the environment, read at each search):
//   OMBRI_PLACE_SEARCH_HOST  "host[:port]" of the place search service, spoken to over HTTPS
//                            (default 127.0.0.1:8444)
//   OMBRI_PLACE_SEARCH_KEY   the application's 39-character key for that service
#include <string>

#include "api/PZViewController.h"
#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/CoreLocation.h"
#include "platform/uikit/MapKit.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UITableView.h"

namespace PlaceSearch {
// "https://" + the configured host.
std::string baseURL();
std::string apiKey();
inline constexpr char kSearchPath[] = "/maps/api/place/search/json";
}  // namespace PlaceSearch

class ShareLocationController : public PZViewController,
                                public UITableViewDataSource,
                                public UITableViewDelegate,
                                public CLLocationManagerDelegate,
                                public MKReverseGeocoderDelegate,
                                public HTTPRequestDelegate {
public:
    static Ref<ShareLocationController> create() { return make<ShareLocationController>(); }
    ~ShareLocationController() override;

    // From the interface file.
    Ref<MKMapView> mapView() const { return mapView_; }
    void setMapView(const Ref<MKMapView>& mapView) { mapView_ = mapView; }
    // The "here" button over the map (from the interface file), sending acceptLocation:.
    Ref<UIButton> acceptButton() const { return acceptButton_; }
    void setAcceptButton(const Ref<UIButton>& button) { acceptButton_ = button; }

    Ref<UITableView> tableView() const { return tableView_; }
    // The "results" of the last successful search.
    const Value& placeList() const { return placeList_; }
    Ref<HTTPRequest> placeRequest() const { return placeRequest_; }
    Ref<CLLocationManager> locationManager() const { return locationManager_; }
    // The device's position as a pin, made at the first fix; its subtitle is the address once found.
    Ref<MKPointAnnotation> pointAnnotation() const { return pointAnnotation_; }

    void viewDidLoad() override;

    void acceptLocation();

    void locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>& manager,
                                                          const Ref<CLLocation>& newLocation,
                                                          const Ref<CLLocation>& oldLocation) override;
    void locationManager_didFailWithError(const Ref<CLLocationManager>& manager, const Ref<NSError>& error) override;
    void reverseGeocoder_didFindPlacemark(const Ref<MKReverseGeocoder>& geocoder,
                                          const Ref<MKPlacemark>& placemark) override;
    void reverseGeocoder_didFailWithError(const Ref<MKReverseGeocoder>& geocoder, const Ref<NSError>& error) override {}
    void requestFinished(const Ref<HTTPRequest>& request) override;

    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView, const Ref<NSIndexPath>& indexPath) override;

    // Registers the interface file "ShareLocationController" unless it is registered already.
    static void registerNib();
    // Registers the interface file first, so that the view loads from it.
    void initBody() override;

    ShareLocationController() = default;


private:
    // Hands the place to the nearest publish screen on the stack and leaves.
    void handBack(CLLocationCoordinate2D coordinate, const std::string& name);

    Ref<MKMapView> mapView_;
    Ref<UIButton> acceptButton_;
    Ref<UITableView> tableView_;
    Value placeList_ = Value::array();
    Ref<HTTPRequest> placeRequest_;
    Ref<CLLocationManager> locationManager_;
    Ref<MKPointAnnotation> pointAnnotation_;
    Ref<MKReverseGeocoder> geocoder_;
    bool located_ = false;
};
