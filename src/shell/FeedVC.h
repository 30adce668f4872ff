#pragma once
// FeedVC: the one screen for every list of videos. The feed kind, fixed at creation, decides which
// request fetches a page, the title, what lies above and below the list and which buttons show:
//
//   kind                 page p of                      above the list          below the list
//   0  home              getV2FeedAtPage                user header 320 x 160   system-notice bar
//   2  newest            getV2RecentAtPage              pull-to-refresh
//   4  own page          getV2User_atPage(own suid)     user header 320 x 320   (local videos on top)
//   10 a user's page     getV2User_atPage(suid)         user header 320 x 320
//   11 plaza             getV2plazaAtPage               pull-to-refresh
//   12 nearby            getNearbyVideos_atPage         pull-to-refresh         place bar
//                        (page 1 waits for a location fix)
//   13 a topic           getTopicAtPage_topicID(suid)   pull-to-refresh         topic bar
//
// Pages hold 20 items; "total" counts the items of the whole list. Page 1 replaces the list (a new
// page-1 request replaces a running one, whose reply is then ignored); later pages are appended while
// the end rule allows. The actions beside reading (record menu, movie import, follow, reminders, the
// first-login tip) are in FeedVCActions.cpp.
//
// The screen owns every request it starts and cancels them (clearing their delegates) when it goes.
// Notifications posted on an engine thread ("delete_media") are handed to the main queue. Main thread
// only otherwise.
#include <string>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/CLLocationManager.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"
#include "widgets/RadialMenu.h"
#include "widgets/RefreshTableHeaderView.h"

class HeaderView;
class LocationBottomBar;
class NSNotification;
class SystemMsgBottomBar;
class TopicActionView;
class UIImageView;
class UINavigationController;
class UIScrollView;

enum FeedType : int {
    FeedTypeHome = 0,
    FeedTypeNewest = 2,
    FeedTypeMine = 4,
    FeedTypeUser = 10,
    FeedTypePlaza = 11,
    FeedTypeNearby = 12,
    FeedTypeTopic = 13,
};

// Items per page of every feed.
inline constexpr int kFeedPageSize = 20;
// The band in which the shared movie player may stay playing (the table's visible height).
inline constexpr CGFloat kFeedVisibleHeight = 416;


// The shared interface file's views the feed lays out.
inline constexpr size_t kLocationBarNibIndex = 8;
inline constexpr size_t kSystemMsgBarNibIndex = 9;
inline constexpr size_t kFirstTipNibIndex = 10;
inline constexpr size_t kTopicBarNibIndex = 11;

class FeedVC : public UIViewController,
               public UITableViewDataSource,
               public UITableViewDelegate,
               public HTTPRequestDelegate,
               public RefreshTableHeaderDelegate,
               public CLLocationManagerDelegate,
               public RadialMenuDelegate,
               public UIActionSheetDelegate,
               public UIImagePickerControllerDelegate {
public:
    static Ref<FeedVC> myinitWithType_andSuid(int type, const Value& suid);
    static Ref<FeedVC> myinitWithType_andSuid_isRoot(int type, const Value& suid, bool isRoot);
    ~FeedVC() override;

    // ---- State --------------------------------------------------------------------------------------
    int type() const { return type_; }
    bool isRoot() const { return isRoot_; }
    void setIsRoot(bool isRoot) { isRoot_ = isRoot; }
    const Value& suid() const { return suid_; }
    void setSuid(const Value& suid) { suid_ = suid; }
    const Value& userInfo() const { return userInfo_; }
    void setUserInfo(const Value& userInfo) { userInfo_ = userInfo; }
    const Value& allInfo() const { return allInfo_; }
    void setAllInfo(const Value& allInfo) { allInfo_ = allInfo; }
    int relation() const { return relation_; }
    // The feed items in order (nil until the first page arrived) and the own page's local entries.
    const Value& channels() const { return channels_; }
    void setChannels(const Value& channels) { channels_ = channels; }
    const Value& localChannels() const { return localChannels_; }
    void setLocalChannels(const Value& localChannels) { localChannels_ = localChannels; }
    int currentPage() const { return currentPage_; }
    int total() const { return total_; }
    bool isLoadingMore() const { return isLoadingMore_; }
    bool reloading() const { return reloading_; }
    CGPoint currentLocation() const { return currentLocation_; }

    // The requests running (null when none).
    Ref<HTTPRequest> getNewRequest() const { return getNewRequest_; }
    Ref<HTTPRequest> getMoreRequest() const { return getMoreRequest_; }
    Ref<HTTPRequest> tagMsgboxToReaded() const { return tagMsgboxToReaded_; }
    Ref<HTTPRequest> followUnfollowRequest() const { return followUnfollowRequest_; }
    Ref<HTTPRequest> followTopicRequest() const { return followTopicRequest_; }

    // The views (null for kinds that have none).
    Ref<UITableView> table() const { return table_; }
    void setTable(const Ref<UITableView>& table) { table_ = table; }
    Ref<HeaderView> headerView() const { return headerView_; }
    Ref<UIScrollView> feedDesktop() const { return feedDesktop_; }
    Ref<UIImageView> desktopView() const { return desktopView_; }
    Ref<RefreshTableHeaderView> refreshHeaderView() const { return refreshHeaderView_; }
    Ref<LocationBottomBar> locationBottom() const { return locationBottom_; }
    Ref<SystemMsgBottomBar> systemMsgBottom() const { return systemMsgBottom_; }
    Ref<TopicActionView> topicAction() const { return topicAction_; }
    Ref<UIView> firstTipView() const { return firstTipView_; }
    Ref<RadialMenu> coolMenu() const { return coolMenu_; }
    void setCoolMenu(const Ref<RadialMenu>& menu) { coolMenu_ = menu; }
    Ref<CLLocationManager> locationMgr() const { return locationMgr_; }

    // ---- Loading ------------------------------------------------------------------------------------
    // Spins the header's refresh button and asks for page 1.
    void refreshFeed();
    // Asks for page 1 (the nearby feed asks for a location fix first).
    void forceGetContentFromWeb();
    // Asks for page 1 only while there is no list yet.
    void getContentFromWeb();
    // Asks for the next page unless one is loading or the list has ended.
    void loadMore();
    // The unstarted request of a page of this feed, or null.
    Ref<HTTPRequest> getRequestAtPage(int page);
    // Reloads the table and fills the header, the title and the empty-list footer.
    void reloadData();
    // The header shows the logged-in user.
    bool isMyLib();
    // Rebuilds the own page's local entries from the engine's list; reloadData when asked.
    void refreshLocalMedias(bool reload);

    // Opens the screen a server-sent action names ("sys", "chan", "cmt", "url", "user", "news",
    // "topic"), pushed on the navigation controller (the browser is presented by it).
    static void actionControledFromWeb_byNavigationController(const Value& action,
                                                              const Ref<UINavigationController>& navigationController);

    void showMenu();
    void showFriend();

    // ---- Actions ------------------------------------------------------------------------------------
    void iWillShare();
    void followOrUnfollow();
    void followThisTopic();
    void fansRemindReceived();
    void fansRemindClicked();
    void showFriendFans();
    void systemRemindReceived();
    void systemRemindDismiss();
    void systemRemindClicked();
    void firstTipAction();
    void tipCanceled();
    // Sets the record menu's second item from the account's "canlive" (live recording or find friends).
    void refreshRecordMenuItem();

    // ---- View life --------------------------------------------------------------------------------
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // ---- Protocols ----------------------------------------------------------------------------------
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;
    void scrollViewDidEndDragging_willDecelerate(const Ref<UIScrollView>& scrollView, bool decelerate) override;
    void scrollViewDidEndScrollingAnimation(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    void refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>& view) override;
    bool refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>& view) override;
    std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>& view) override;

    void locationManager_didUpdateToLocation_fromLocation(const Ref<CLLocationManager>& manager,
                                                          const Ref<CLLocation>& newLocation,
                                                          const Ref<CLLocation>& oldLocation) override;
    void locationManager_didFailWithError(const Ref<CLLocationManager>& manager, const Ref<NSError>& error) override;

    void radialMenu_didSelectIndex(const Ref<RadialMenu>& menu, int index) override;
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;
    void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                             const Value& info) override;
    void imagePickerControllerDidCancel(const Ref<UIImagePickerController>& picker) override;
    // Only dismisses the picker.
    void imagePickerController_didFinishPickingImage_editingInfo(const Ref<UIImagePickerController>& picker,
                                                                 const Ref<NSObject>& image, const Value& editingInfo);

    FeedVC() = default;

protected:
    void myinitWithType_andSuidBody(int type, const Value& suid);

private:
    // Notification handlers.
    void loginSuccess();
    void deleteMedia();
    void adCloseClicked();
    // Ends a running pull: the header slides away.
    void doneLoadingTableViewData();
    // Ends a pull that could ask for nothing.
    void endPullSoon();
    // The first-page and next-page replies, and the actions' replies.
    void firstPageArrived(const Value& reply);
    void nextPageArrived(const Value& reply);
    void actionReplyArrived(const Ref<HTTPRequest>& request, const Value& reply);
    // The request held in a slot is cancelled (its delegate cleared) and the slot emptied.
    static void dropRequest(Ref<HTTPRequest>& slot);
    void startRequest(Ref<HTTPRequest>& slot, Ref<HTTPRequest> request);
    // The menu row title of kinds 0, 2 and 4, else "".
    std::string menuTitle() const;
    // The item of a row (local rows of the own page come first) and whether it is a local one.
    Value itemAtRow(NSInteger row, bool* local) const;
    bool haveHead() const;
    void buildRecordMenu();
    void buildFirstTip();
    void presentMoviePicker();
    bool cameraAvailable();

    int type_ = FeedTypeHome;
    bool isRoot_ = false;
    Value suid_;
    Value userInfo_;
    Value allInfo_;
    int relation_ = 0;
    Value channels_;
    Value localChannels_ = Value::array();
    int currentPage_ = 1;
    int total_ = 0;
    bool isLoadingMore_ = false;
    bool reloading_ = false;
    CGPoint currentLocation_ = CGPointZero;
    // A fix is wanted for page 1 (fixes that arrive after the first are not asked for).
    bool awaitingFix_ = false;

    Ref<HTTPRequest> getNewRequest_;
    Ref<HTTPRequest> getMoreRequest_;
    Ref<HTTPRequest> tagMsgboxToReaded_;
    Ref<HTTPRequest> followUnfollowRequest_;
    Ref<HTTPRequest> followTopicRequest_;

    Ref<UITableView> table_;
    Ref<HeaderView> headerView_;
    Ref<UIScrollView> feedDesktop_;
    Ref<UIImageView> desktopView_;
    Ref<RefreshTableHeaderView> refreshHeaderView_;
    Ref<LocationBottomBar> locationBottom_;
    Ref<SystemMsgBottomBar> systemMsgBottom_;
    Ref<TopicActionView> topicAction_;
    Ref<UIView> firstTipView_;
    Ref<RadialMenu> coolMenu_;
    Ref<CLLocationManager> locationMgr_;
};
