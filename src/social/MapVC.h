#pragma once
// MapVC: where a video was made. A map of the place with one pin and, under it, the people seen there
// recently as the service reports them; the title is the place's name from the reply.
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/MKMapView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class HTTPRequest;

class MapVC : public UIViewController,
              public UITableViewDelegate,
              public UITableViewDataSource,
              public HTTPRequestDelegate {
public:
    static Ref<MapVC> myinitWithChannel(const Value& channel)
    {
        auto controller = make<MapVC>();
        controller->channel_ = channel;
        return controller;
    }
    ~MapVC() override;

    const Value& channel() const { return channel_; }
    const Value& visitors() const { return visitors_; }
    Ref<MKMapView> mapView() const { return mapView_; }
    Ref<UITableView> table() const { return table_; }

    void getRecent();
    void allReload();
    // No zoom levels are defined for the map: the switch has no effect.
    void levelSwitch(const Ref<NSObject>& sender) {}
    void animateToLevel(NSInteger level) {}
    void back();

    void viewDidLoad() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override { return 1; }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override
    {
        return 54;
    }
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    MapVC() = default;

private:
    Ref<MKMapView> mapView_;
    Ref<UITableView> table_;
    Ref<HTTPRequest> getRecentVisited_;
    Value channel_;
    Value visitors_ = Value::array();
};
