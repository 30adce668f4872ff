#pragma once
// RefreshTableHeaderView: the pull-to-refresh header above a table's first row (its owner adds it to
// the table view at y = minus the table's height). Pulling the table down past 50 points and letting
// go asks the owner to reload; while the owner loads the header stays in view with a spinner; when
// the owner reports the end, the header slides away and shows the time of the last update.
//
// The owner forwards its scroll view's callbacks (refreshScrollViewDidScroll from did-scroll,
// refreshScrollViewDidEndDragging when the finger lifts, refreshScrollViewDataSourceDidFinishedLoading
// when its reload has ended) and answers the header through RefreshTableHeaderDelegate. A "pull"
// sound marks the pull passing the threshold and a "suc" sound a finished load. Main thread only.
#include <optional>
#include <string>

#include "platform/foundation/NSDate.h"
#include "platform/uikit/UIView.h"

class CALayer;
class RefreshTableHeaderView;
class SoundEffect;
class UIActivityIndicatorView;
class UIColor;
class UILabel;
class UIScrollView;

enum RefreshState : int {
    RefreshPulling = 0,  // "松开即可刷新..": letting go now reloads
    RefreshNormal = 1,   // "下拉可以刷新.."
    RefreshLoading = 2,  // "加载中..."
};

// How far (points) the table must be pulled down to reload, and the top inset that keeps the header
// in view while the owner loads.
inline constexpr CGFloat kRefreshTriggerOffset = 50;
// What the last update line is stored under in the user defaults (written, never read back).
inline constexpr char kRefreshTableViewLastRefreshKey[] = "RefreshTableView_LastRefresh";

class RefreshTableHeaderDelegate {
public:
    virtual ~RefreshTableHeaderDelegate() = default;
    // The pull was let go past the threshold: start reloading.
    virtual void refreshTableHeaderDidTriggerRefresh(const Ref<RefreshTableHeaderView>& view) = 0;
    // Whether a reload is under way.
    virtual bool refreshTableHeaderDataSourceIsLoading(const Ref<RefreshTableHeaderView>& view) = 0;
    // When the owner last updated; an owner that keeps no date leaves this as it is (the line stays
    // empty).
    virtual std::optional<NSDate> refreshTableHeaderDataSourceLastUpdated(const Ref<RefreshTableHeaderView>& view)
    {
        return std::nullopt;
    }
};

class RefreshTableHeaderView : public UIView {
public:
    // The bundle's arrow "pull-to-refresh-arrow.png" and the blue-grey text colour (87, 108, 137).
    static Ref<RefreshTableHeaderView> initWithFrame(CGRect frame);
    static Ref<RefreshTableHeaderView> initWithFrame_arrowImageName_textColor(CGRect frame, const std::string& arrow,
                                                                             const Ref<UIColor>& textColor);

    Ref<RefreshTableHeaderDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const Ref<RefreshTableHeaderDelegate>& delegate) { delegate_ = delegate; }

    RefreshState state() const { return state_; }
    void setState(RefreshState state);
    // Fills the last-updated line from the delegate's date (and keeps it in the user defaults).
    void refreshLastUpdatedDate();

    void refreshScrollViewDidScroll(const Ref<UIScrollView>& scrollView);
    void refreshScrollViewDidEndDragging(const Ref<UIScrollView>& scrollView);
    void refreshScrollViewDataSourceDidFinishedLoading(const Ref<UIScrollView>& scrollView);

    // What it is made of, for its owner's tests and pictures.
    Ref<UILabel> statusLabel() const { return statusLabel_; }
    Ref<UILabel> lastUpdatedLabel() const { return lastUpdatedLabel_; }
    Ref<CALayer> arrowImage() const { return arrowImage_; }
    Ref<UIActivityIndicatorView> activityView() const { return activityView_; }
    // Nil when the bundle's sound is missing or unplayable (the header then stays silent).
    Ref<SoundEffect> pullSound() const { return pull_; }
    Ref<SoundEffect> sucSound() const { return suc_; }

    // A header made by initWithFrame (or from an interface file) is the default one.
    void initWithFrameBody(CGRect frame) override;

protected:
    void initWithFrame_arrowImageName_textColorBody(CGRect frame, const std::string& arrow,
                                                    const Ref<UIColor>& textColor);

private:
    bool delegateIsLoading();

    Weak<RefreshTableHeaderDelegate> delegate_;
    RefreshState state_ = RefreshNormal;
    Ref<UILabel> lastUpdatedLabel_;
    Ref<UILabel> statusLabel_;
    Ref<CALayer> arrowImage_;
    Ref<UIActivityIndicatorView> activityView_;
    Ref<SoundEffect> pull_;
    Ref<SoundEffect> suc_;
};
