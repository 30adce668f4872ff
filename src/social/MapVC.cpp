#include "social/MapVC.h"

#include "api/PZRequest.h"
#include "api/RecordAccessors.h"
#include "api/ServiceReply.h"
#include "api/SessionHooks.h"
#include "api/Tool.h"
#include "net/http/HTTPRequest.h"
#include "net/json/JsonParser.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/NSIndexPath.h"
#include "social/PossibleKnownCell.h"

MapVC::~MapVC()
{
    if (getRecentVisited_) {
        getRecentVisited_->clearDelegatesAndCancel();
    }
}

void MapVC::viewDidLoad()
{
    UIViewController::viewDidLoad();
    mapView_ = MKMapView::initWithFrame(CGRectMake(0, 0, 320, 200));
    // The recorded place, "latitude,longitude"; a video without one is pinned at 0, 0.
    const CGPoint place = Channel_getLocation(channel_);
    const CLLocationCoordinate2D coordinate = CLLocationCoordinate2DMake(place.x, place.y);
    auto pin = MKPointAnnotation::create();
    pin->setCoordinate(coordinate);
    pin->setTitle("位置");
    mapView_->addAnnotation(pin);
    view()->addSubview(mapView_);
    mapView_->setMapType(MKMapTypeStandard);
    mapView_->setRegion_animated(MKCoordinateRegionMake(coordinate, MKCoordinateSpanMake(0.05, 0.05)), true);

    auto container = UIView::initWithFrame(CGRectMake(0, 200, 320, 216));
    table_ = UITableView::initWithFrame_style(container->bounds(), UITableViewStylePlain);
    table_->setDelegate(self<MapVC>());
    table_->setDataSource(self<MapVC>());
    container->addSubview(table_);
    view()->addSubview(container);
    getRecent();
}

bool MapVC::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}

void MapVC::getRecent()
{
    if (getRecentVisited_) {
        getRecentVisited_->clearDelegatesAndCancel();
    }
    getRecentVisited_ = PZRequest::getNearbyPeopleByScid(channel_["scid"]);
    NSLog("recent " + channel_.description());
    getRecentVisited_->setDelegate(weakSelf<MapVC>());
    getRecentVisited_->startAsynchronous();
}

void MapVC::allReload() { table_->reloadData(); }

void MapVC::back() { dismissModalViewControllerAnimated(true); }

NSInteger MapVC::tableView_numberOfRowsInSection(const Ref<UITableView>&, NSInteger)
{
    return NSInteger(visitors_.count());
}

Ref<UITableViewCell> MapVC::tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                            const Ref<NSIndexPath>& indexPath)
{
    auto cell = std::dynamic_pointer_cast<PossibleKnownCell>(tableView->dequeueReusableCellWithIdentifier("Cell"));
    if (!cell) {
        cell = PossibleKnownCell::create("Cell");
    }
    cell->fullfillWithVisitInfo_andNavi(visitors_[size_t(indexPath->row())], navigationController());
    return cell;
}

void MapVC::requestFinished(const Ref<HTTPRequest>& request)
{
    if (!request || request != getRecentVisited_) {
        return;
    }
    getRecentVisited_ = nullptr;
    const Value reply = ServiceReply::of(request);
    if (reply["status"].intValue() != 200) {
        AlertResponse(request);
        return;
    }
    visitors_ = reply["owner"].isArray() ? reply["owner"] : Value::array();
    setTitle(reply["title"].stringValue());
    allReload();
}

void MapVC::requestFailed(const Ref<HTTPRequest>& request)
{
    if (!request || request != getRecentVisited_) {
        return;
    }
    getRecentVisited_ = nullptr;
    ShowNetError();
}
