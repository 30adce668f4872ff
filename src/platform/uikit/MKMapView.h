#pragma once
// Maps. There are no map tiles here: a map view draws its region as a plain background of land colour
// with a faint grid of degree lines, its annotations as red pins with their titles beside them, and the
// user's position as a blue dot. It records what the screens set (region and whether it was animated,
// type, the zoom and scroll switches, annotations in the order added, selection) for tests to read.
// Coordinates map linearly onto the view: the region's centre is the view's centre and its span fills
// the bounds. Reverse geocoding answers from a fixture of placemarks that the application or a test
// installs; the answer arrives on the main queue. Main thread only, like every view.
#include <string>
#include <vector>

#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/UIView.h"

struct MKCoordinateSpan {
    CLLocationDegrees latitudeDelta = 0;
    CLLocationDegrees longitudeDelta = 0;
    bool operator==(const MKCoordinateSpan&) const = default;
};

struct MKCoordinateRegion {
    CLLocationCoordinate2D center;
    MKCoordinateSpan span;
    bool operator==(const MKCoordinateRegion&) const = default;
};

inline MKCoordinateSpan MKCoordinateSpanMake(CLLocationDegrees latitudeDelta, CLLocationDegrees longitudeDelta)
{
    return {latitudeDelta, longitudeDelta};
}
inline MKCoordinateRegion MKCoordinateRegionMake(CLLocationCoordinate2D center, MKCoordinateSpan span)
{
    return {center, span};
}

enum MKMapType : NSUInteger {
    MKMapTypeStandard = 0,
    MKMapTypeSatellite = 1,
    MKMapTypeHybrid = 2,
};

// Anything the map can show at a coordinate.
class MKAnnotation {
public:
    virtual ~MKAnnotation() = default;
    virtual CLLocationCoordinate2D coordinate() const = 0;
    virtual std::string title() const { return {}; }
    virtual std::string subtitle() const { return {}; }
};

// A titled shape; its coordinate is given by subclasses.
class MKShape : public NSObject, public MKAnnotation {
public:
    std::string title() const override { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    std::string subtitle() const override { return subtitle_; }
    void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }

private:
    std::string title_;
    std::string subtitle_;
};

// A pin at a settable coordinate.
class MKPointAnnotation : public MKShape {
public:
    static Ref<MKPointAnnotation> create() { return std::make_shared<MKPointAnnotation>(); }
    CLLocationCoordinate2D coordinate() const override { return coordinate_; }
    void setCoordinate(CLLocationCoordinate2D coordinate) { coordinate_ = coordinate; }

private:
    CLLocationCoordinate2D coordinate_;
};

// The device's position as the map shows it (the location fixture's position); titled "当前位置".
class MKUserLocation : public NSObject, public MKAnnotation {
public:
    CLLocationCoordinate2D coordinate() const override;
    std::string title() const override { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    std::string subtitle() const override { return subtitle_; }
    void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
    // The fixture's position, or null while there is none.
    Ref<CLLocation> location() const { return CLLocationManager::position(); }
    // Whether the fixture has a position and the application may use it.
    bool isUpdating() const;

private:
    std::string title_ = "当前位置";
    std::string subtitle_;
};

// A placemark that can also be shown on a map.
class MKPlacemark : public CLPlacemark, public MKAnnotation {
public:
    static Ref<MKPlacemark> initWithParts(Parts parts);
    CLLocationCoordinate2D coordinate() const override { return parts_.coordinate; }
    std::string title() const override { return parts_.name; }

    MKPlacemark() = default;  // use initWithParts
};

class MKMapView;

class MKMapViewDelegate {
public:
    virtual ~MKMapViewDelegate() = default;
    virtual void mapView_regionDidChangeAnimated(const Ref<MKMapView>& mapView, bool animated) {}
    virtual void mapView_didSelectAnnotation(const Ref<MKMapView>& mapView, const Ref<MKAnnotation>& annotation) {}
};

class MKMapView : public UIView {
public:
    static Ref<MKMapView> initWithFrame(CGRect frame) { return makeWithFrame<MKMapView>(frame); }
    static Ref<MKMapView> create() { return makeWithFrame<MKMapView>(CGRectZero); }

    Weak<MKMapViewDelegate> delegate() const { return delegate_; }
    void setDelegate(const Ref<MKMapViewDelegate>& delegate) { delegate_ = delegate; }

    MKMapType mapType() const { return mapType_; }
    void setMapType(MKMapType type);
    // A new map shows the whole world centred on (0, 0).
    MKCoordinateRegion region() const { return region_; }
    void setRegion(MKCoordinateRegion region) { setRegion_animated(region, false); }
    void setRegion_animated(MKCoordinateRegion region, bool animated);
    CLLocationCoordinate2D centerCoordinate() const { return region_.center; }
    void setCenterCoordinate_animated(CLLocationCoordinate2D center, bool animated);
    // Whether the last region change was animated, and how many there were.
    bool lastRegionChangeAnimated() const { return lastRegionAnimated_; }
    int regionChangeCount() const { return regionChanges_; }

    bool isZoomEnabled() const { return zoomEnabled_; }
    void setZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }

    bool showsUserLocation() const { return showsUserLocation_; }
    void setShowsUserLocation(bool shows);
    // The device's position as an annotation; it is not one of annotations().
    Ref<MKUserLocation> userLocation() const { return userLocation_; }
    // Whether the user's position is drawn: shown, and the location fixture has a position.
    bool isUserLocationVisible() const;

    // The annotations added, in the order added (an annotation added twice is kept once).
    const std::vector<Ref<MKAnnotation>>& annotations() const { return annotations_; }
    void addAnnotation(const Ref<MKAnnotation>& annotation);
    void addAnnotations(const std::vector<Ref<MKAnnotation>>& annotations);
    void removeAnnotation(const Ref<MKAnnotation>& annotation);
    void removeAnnotations(std::vector<Ref<MKAnnotation>> annotations);
    std::vector<Ref<MKAnnotation>> selectedAnnotations() const;
    void selectAnnotation_animated(const Ref<MKAnnotation>& annotation, bool animated);
    void deselectAnnotation_animated(const Ref<MKAnnotation>& annotation, bool animated);

    // Where a coordinate lies in a view's coordinates (this view's when view is null), and back.
    CGPoint convertCoordinate_toPointToView(CLLocationCoordinate2D coordinate, const Ref<UIView>& view) const;
    CLLocationCoordinate2D convertPoint_toCoordinateFromView(CGPoint point, const Ref<UIView>& view) const;

    void drawRect(CGRect rect) override;
    void initWithFrameBody(CGRect frame) override;

private:
    Weak<MKMapViewDelegate> delegate_;
    MKMapType mapType_ = MKMapTypeStandard;
    MKCoordinateRegion region_{{0, 0}, {180, 360}};
    bool lastRegionAnimated_ = false;
    int regionChanges_ = 0;
    bool zoomEnabled_ = true;
    bool scrollEnabled_ = true;
    bool showsUserLocation_ = false;
    Ref<MKUserLocation> userLocation_;
    std::vector<Ref<MKAnnotation>> annotations_;
    Weak<MKAnnotation> selected_;
};

class MKReverseGeocoder;

class MKReverseGeocoderDelegate {
public:
    virtual ~MKReverseGeocoderDelegate() = default;
    virtual void reverseGeocoder_didFindPlacemark(const Ref<MKReverseGeocoder>& geocoder,
                                                  const Ref<MKPlacemark>& placemark)
    {
    }
    virtual void reverseGeocoder_didFailWithError(const Ref<MKReverseGeocoder>& geocoder, const Ref<NSError>& error) {}
};

// Finds the address at a coordinate: the fixture's placemark nearest to it within its reach, else it
// fails with kCLErrorGeocodeFoundNoResult (kCLErrorDomain). One answer per start, on the main queue.
class MKReverseGeocoder : public NSObject {
public:
    static Ref<MKReverseGeocoder> initWithCoordinate(CLLocationCoordinate2D coordinate);

    CLLocationCoordinate2D coordinate() const { return coordinate_; }
    Weak<MKReverseGeocoderDelegate> delegate() const { return delegate_; }
    void setDelegate(const Ref<MKReverseGeocoderDelegate>& delegate) { delegate_ = delegate; }
    void start();
    // The answer not yet delivered is dropped.
    void cancel();
    bool isQuerying() const { return querying_; }
    Ref<MKPlacemark> placemark() const { return placemark_; }

    // --- The fixture ---
    // Placemarks answered for coordinates within reachMetres of theirs (the nearest wins).
    static void setPlacemarks(std::vector<CLPlacemark::Parts> placemarks, double reachMetres = 500);
    // How many geocoders started since the last reset.
    static int startCount();
    static void resetForTesting();

    MKReverseGeocoder() = default;  // use initWithCoordinate

private:
    CLLocationCoordinate2D coordinate_;
    Weak<MKReverseGeocoderDelegate> delegate_;
    bool querying_ = false;
    unsigned generation_ = 0;
    Ref<MKPlacemark> placemark_;
};
