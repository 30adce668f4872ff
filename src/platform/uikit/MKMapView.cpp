#include "platform/uikit/MKMapView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>

#include "platform/foundation/Dispatch.h"
#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UIStringDrawing.h"

namespace {
namespace MKMapView_cpp {

CGColorRef rgb(double r, double g, double b, double a = 1) { return CGColor::createRGB(r, g, b, a); }

// The spacing of the grid lines: the largest of 10^k, 2·10^k, 5·10^k degrees that keeps about six
// lines across the span.
double gridStep(double span)
{
    if (!(span > 0)) {
        return 1;
    }
    const double rough = span / 6;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (power * factor >= rough) {
            return power * factor;
        }
    }
    return power * 10;
}

struct Gazetteer {
    std::mutex mutex;
    std::vector<CLPlacemark::Parts> placemarks;
    double reach = 500;
    int starts = 0;
};

// Lives for the whole process.
Gazetteer& gazetteer()
{
    static Gazetteer& shared = *new Gazetteer;
    return shared;
}

}  // namespace MKMapView_cpp
}  // namespace

// ---- Annotations ----------------------------------------------------------------------------------------

CLLocationCoordinate2D MKUserLocation::coordinate() const
{
    Ref<CLLocation> position = CLLocationManager::position();
    return position ? position->coordinate() : CLLocationCoordinate2D{};
}

bool MKUserLocation::isUpdating() const
{
    return CLLocationManager::position() && CLLocationManager::locationServicesEnabled() &&
           CLLocationManager::authorizationStatus() != kCLAuthorizationStatusDenied &&
           CLLocationManager::authorizationStatus() != kCLAuthorizationStatusRestricted;
}

Ref<MKPlacemark> MKPlacemark::initWithParts(Parts parts)
{
    auto placemark = std::make_shared<MKPlacemark>();
    placemark->parts_ = std::move(parts);
    return placemark;
}

// ---- MKMapView ------------------------------------------------------------------------------------------

void MKMapView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    userLocation_ = std::make_shared<MKUserLocation>();
    setClipsToBounds(true);
    setNeedsDisplay();
}

void MKMapView::setMapType(MKMapType type)
{
    mapType_ = type;
    setNeedsDisplay();
}

void MKMapView::setRegion_animated(MKCoordinateRegion region, bool animated)
{
    region.span.latitudeDelta = std::clamp(std::fabs(region.span.latitudeDelta), 0.0, 180.0);
    region.span.longitudeDelta = std::clamp(std::fabs(region.span.longitudeDelta), 0.0, 360.0);
    region_ = region;
    lastRegionAnimated_ = animated;
    ++regionChanges_;
    setNeedsDisplay();
    if (auto delegate = delegate_.lock()) {
        delegate->mapView_regionDidChangeAnimated(std::static_pointer_cast<MKMapView>(shared_from_this()), animated);
    }
}

void MKMapView::setCenterCoordinate_animated(CLLocationCoordinate2D center, bool animated)
{
    setRegion_animated({center, region_.span}, animated);
}

void MKMapView::setShowsUserLocation(bool shows)
{
    showsUserLocation_ = shows;
    setNeedsDisplay();
}

bool MKMapView::isUserLocationVisible() const
{
    return showsUserLocation_ && userLocation_->isUpdating();
}

void MKMapView::addAnnotation(const Ref<MKAnnotation>& annotation)
{
    if (annotation && std::find(annotations_.begin(), annotations_.end(), annotation) == annotations_.end()) {
        annotations_.push_back(annotation);
        setNeedsDisplay();
    }
}

void MKMapView::addAnnotations(const std::vector<Ref<MKAnnotation>>& annotations)
{
    for (const Ref<MKAnnotation>& annotation : annotations) {
        addAnnotation(annotation);
    }
}

void MKMapView::removeAnnotation(const Ref<MKAnnotation>& annotation)
{
    std::erase(annotations_, annotation);
    if (selected_.lock() == annotation) {
        selected_.reset();
    }
    setNeedsDisplay();
}

void MKMapView::removeAnnotations(std::vector<Ref<MKAnnotation>> annotations)
{
    // A copy: the caller often passes annotations() itself.
    for (const Ref<MKAnnotation>& annotation : annotations) {
        removeAnnotation(annotation);
    }
}

std::vector<Ref<MKAnnotation>> MKMapView::selectedAnnotations() const
{
    if (auto selected = selected_.lock()) {
        return {selected};
    }
    return {};
}

void MKMapView::selectAnnotation_animated(const Ref<MKAnnotation>& annotation, bool)
{
    if (!annotation) {
        return;
    }
    selected_ = annotation;
    setNeedsDisplay();
    if (auto delegate = delegate_.lock()) {
        delegate->mapView_didSelectAnnotation(std::static_pointer_cast<MKMapView>(shared_from_this()), annotation);
    }
}

void MKMapView::deselectAnnotation_animated(const Ref<MKAnnotation>& annotation, bool)
{
    if (selected_.lock() == annotation) {
        selected_.reset();
        setNeedsDisplay();
    }
}

CGPoint MKMapView::convertCoordinate_toPointToView(CLLocationCoordinate2D coordinate, const Ref<UIView>& view) const
{
    const CGRect b = bounds();
    const double latSpan = region_.span.latitudeDelta > 0 ? region_.span.latitudeDelta : 1e-9;
    const double lonSpan = region_.span.longitudeDelta > 0 ? region_.span.longitudeDelta : 1e-9;
    const CGPoint inMap = CGPointMake(
        CGRectGetMidX(b) + (coordinate.longitude - region_.center.longitude) / lonSpan * b.size.width,
        CGRectGetMidY(b) - (coordinate.latitude - region_.center.latitude) / latSpan * b.size.height);
    return view ? convertPoint_toView(inMap, view) : inMap;
}

CLLocationCoordinate2D MKMapView::convertPoint_toCoordinateFromView(CGPoint point, const Ref<UIView>& view) const
{
    const CGPoint p = view ? convertPoint_fromView(point, view) : point;
    const CGRect b = bounds();
    if (b.size.width <= 0 || b.size.height <= 0) {
        return region_.center;
    }
    return {region_.center.latitude - (p.y - CGRectGetMidY(b)) / b.size.height * region_.span.latitudeDelta,
            region_.center.longitude + (p.x - CGRectGetMidX(b)) / b.size.width * region_.span.longitudeDelta};
}

void MKMapView::drawRect(CGRect)
{
    using namespace MKMapView_cpp;
    const CGContextRef c = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    c->saveGState();
    // Land, or a darker green-grey for the imagery types.
    c->setFillColor(mapType_ == MKMapTypeStandard ? rgb(0.93, 0.91, 0.86) : rgb(0.55, 0.60, 0.50));
    c->fillRect(b);

    // Degree lines.
    c->setStrokeColor(mapType_ == MKMapTypeStandard ? rgb(0.80, 0.78, 0.72) : rgb(0.45, 0.50, 0.42));
    c->setLineWidth(1);
    const double lonStep = gridStep(region_.span.longitudeDelta);
    const double latStep = gridStep(region_.span.latitudeDelta);
    const double west = region_.center.longitude - region_.span.longitudeDelta / 2;
    const double south = region_.center.latitude - region_.span.latitudeDelta / 2;
    c->beginPath();
    for (double lon = std::ceil(west / lonStep) * lonStep; lon <= west + region_.span.longitudeDelta; lon += lonStep) {
        const CGFloat x = std::round(convertCoordinate_toPointToView({region_.center.latitude, lon}, nullptr).x) + 0.5;
        c->moveToPoint(x, b.origin.y);
        c->addLineToPoint(x, CGRectGetMaxY(b));
    }
    for (double lat = std::ceil(south / latStep) * latStep; lat <= south + region_.span.latitudeDelta; lat += latStep) {
        const CGFloat y = std::round(convertCoordinate_toPointToView({lat, region_.center.longitude}, nullptr).y) + 0.5;
        c->moveToPoint(b.origin.x, y);
        c->addLineToPoint(CGRectGetMaxX(b), y);
    }
    c->strokePath();

    // The user's position: a blue dot in a white ring.
    if (isUserLocationVisible()) {
        const CGPoint p = convertCoordinate_toPointToView(userLocation_->coordinate(), nullptr);
        c->setFillColor(rgb(0.16, 0.44, 0.76, 0.18));
        c->fillEllipseInRect(CGRectMake(p.x - 18, p.y - 18, 36, 36));
        c->setFillColor(rgb(1, 1, 1));
        c->fillEllipseInRect(CGRectMake(p.x - 8, p.y - 8, 16, 16));
        c->setFillColor(rgb(0.16, 0.44, 0.76));
        c->fillEllipseInRect(CGRectMake(p.x - 6, p.y - 6, 12, 12));
    }

    // Pins: a needle ending at the coordinate under a red head, the title to the right.
    const Ref<MKAnnotation> selected = selected_.lock();
    const auto font = UIFont::boldSystemFontOfSize(10);
    for (const Ref<MKAnnotation>& annotation : annotations_) {
        const CGPoint p = convertCoordinate_toPointToView(annotation->coordinate(), nullptr);
        c->setStrokeColor(rgb(0.35, 0.35, 0.35));
        c->setLineWidth(1.5);
        c->beginPath();
        c->moveToPoint(p.x, p.y);
        c->addLineToPoint(p.x, p.y - 14);
        c->strokePath();
        c->setFillColor(annotation == selected ? rgb(0.55, 0.25, 0.75) : rgb(0.86, 0.16, 0.14));
        c->fillEllipseInRect(CGRectMake(p.x - 5, p.y - 22, 10, 10));
        c->setFillColor(rgb(1, 1, 1, 0.7));
        c->fillEllipseInRect(CGRectMake(p.x - 3, p.y - 20, 3, 3));
        const std::string title = annotation->title();
        if (!title.empty()) {
            const CGSize size = UIStringDrawing::sizeWithFont_forWidth_lineBreakMode(title, font, 120,
                                                                                    UILineBreakModeTailTruncation);
            const CGRect box = CGRectMake(p.x + 7, p.y - 24, size.width + 6, size.height + 2);
            c->setFillColor(rgb(1, 1, 1, 0.85));
            c->fillRect(box);
            c->setFillColor(rgb(0.15, 0.15, 0.15));
            UIStringDrawing::drawInRect_withFont_lineBreakMode_alignment(title, CGRectInset(box, 3, 1), font,
                                                                         UILineBreakModeTailTruncation,
                                                                         UITextAlignmentLeft);
        }
    }
    c->restoreGState();
}

// ---- MKReverseGeocoder ----------------------------------------------------------------------------------

Ref<MKReverseGeocoder> MKReverseGeocoder::initWithCoordinate(CLLocationCoordinate2D coordinate)
{
    auto geocoder = std::make_shared<MKReverseGeocoder>();
    geocoder->coordinate_ = coordinate;
    return geocoder;
}

void MKReverseGeocoder::start()
{
    MKMapView_cpp::Gazetteer& shared = MKMapView_cpp::gazetteer();
    std::optional<CLPlacemark::Parts> found;
    {
        std::lock_guard lock(shared.mutex);
        ++shared.starts;
        const Ref<CLLocation> here = CLLocation::initWithLatitude_longitude(coordinate_.latitude, coordinate_.longitude);
        double best = std::numeric_limits<double>::infinity();
        for (const CLPlacemark::Parts& parts : shared.placemarks) {
            const double d = here->distanceFromLocation(
                CLLocation::initWithLatitude_longitude(parts.coordinate.latitude, parts.coordinate.longitude));
            if (d <= shared.reach && d < best) {
                best = d;
                found = parts;
            }
        }
    }
    querying_ = true;
    const unsigned generation = ++generation_;
    const Weak<MKReverseGeocoder> weak = std::static_pointer_cast<MKReverseGeocoder>(shared_from_this());
    dispatch_async(dispatch_get_main_queue(), [weak, generation, found] {
        auto self = weak.lock();
        if (!self || !self->querying_ || self->generation_ != generation) {
            return;
        }
        self->querying_ = false;
        auto delegate = self->delegate_.lock();
        if (found) {
            self->placemark_ = MKPlacemark::initWithParts(*found);
            if (delegate) {
                delegate->reverseGeocoder_didFindPlacemark(self, self->placemark_);
            }
        } else if (delegate) {
            delegate->reverseGeocoder_didFailWithError(
                self, NSError::errorWithDomain_code_userInfo(kCLErrorDomain, kCLErrorGeocodeFoundNoResult));
        }
    });
}

void MKReverseGeocoder::cancel()
{
    querying_ = false;
    ++generation_;
}

void MKReverseGeocoder::setPlacemarks(std::vector<CLPlacemark::Parts> placemarks, double reachMetres)
{
    MKMapView_cpp::Gazetteer& shared = MKMapView_cpp::gazetteer();
    std::lock_guard lock(shared.mutex);
    shared.placemarks = std::move(placemarks);
    shared.reach = reachMetres;
}

int MKReverseGeocoder::startCount()
{
    MKMapView_cpp::Gazetteer& shared = MKMapView_cpp::gazetteer();
    std::lock_guard lock(shared.mutex);
    return shared.starts;
}

void MKReverseGeocoder::resetForTesting()
{
    MKMapView_cpp::Gazetteer& shared = MKMapView_cpp::gazetteer();
    std::lock_guard lock(shared.mutex);
    shared.placemarks.clear();
    shared.reach = 500;
    shared.starts = 0;
}
