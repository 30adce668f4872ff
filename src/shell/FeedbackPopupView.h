#pragma once
// FeedbackPopupView: the panel an inline player's feedback button opens over the application window
// (the capture module's FeedbackPopup entry point reaches it once installFeedbackPanel has run). A
// bubble next to the button shows how many people watched the video, their avatars with their emotion
// marks in pages of twelve (two rows of six, at most three pages), and the actions: an emotion mark,
// share, comment, and delete on the viewer's own video. Every action closes the panel (delete once its
// sheet was answered), as does a tap beside the bubble.
//
// The viewers come from the service (the video's record asked with fill type 64, tag 1290). The panel
// owns that request: closing the panel, or the panel going, cancels it and clears its delegate, so a
// late reply never reaches a panel that is gone or lays out one nobody sees. The mark and the deletion
// are sent with the application delegate as their delegate, which reports their outcome. The panel is
// object 4 of the shared interface file "CommonViews" (registerVideoPageViews). Main thread only.
#include <vector>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIView.h"

class UIButton;
class UIControl;
class UILabel;
class UINavigationController;
class UIPageControl;

inline constexpr int kVisitedRequestTag = 1290;
inline constexpr int kVisitedFillType = 64;
inline constexpr size_t kFeedbackPanelNibIndex = 4;
// Viewer avatars: pages 180 points wide of two rows of six, at most three pages.
inline constexpr int kVisitedPerPage = 12;
inline constexpr int kVisitedMaxPages = 3;
inline constexpr CGFloat kVisitedPageWidth = 180;

class FeedbackPopupView : public UIView,
                          public UIActionSheetDelegate,
                          public HTTPRequestDelegate,
                          public UIScrollViewDelegate {
public:
    // Puts a new panel for the record on the application delegate's window, the bubble next to the
    // point (in the navigation controller's view), and asks for the viewers. Answers the panel (null
    // without a window).
    static Ref<FeedbackPopupView> showAtPostion_withChannel_andNavi(CGPoint point, const Value& channel,
                                                                     const Ref<UINavigationController>& navigation);
    ~FeedbackPopupView() override;

    // ---- State --------------------------------------------------------------------------------------
    const Value& channel() const { return channel_; }
    CGPoint position() const { return position_; }
    const Value& visited() const { return visited_; }
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }
    bool pageControlIsChangingPage() const { return pageControlIsChangingPage_; }
    // The viewers request while it runs (null once answered, failed or cancelled).
    Ref<HTTPRequest> visitedRequest() const { return visitedRequest_; }

    // Outlets of the interface file.
    Ref<UIView> popView;
    Ref<UIView> feedback;
    Ref<UILabel> numberOfSeeThisVideo;
    Ref<UIScrollView> visitedScrollView;
    Ref<UIPageControl> pageCtrl;
    Ref<UIButton> deleteButton;
    Ref<UIButton> shareButton;
    Ref<UIButton> commentButton;
    std::vector<Ref<UIButton>> emotionButtons;
    Ref<UIControl> dismissControl;

    // ---- Actions ------------------------------------------------------------------------------------
    void tagEmotion(const Ref<UIButton>& sender);
    void share(const Ref<UIButton>& sender);
    void addComment(const Ref<UIButton>& sender);
    void deleteIt(const Ref<UIButton>& sender);
    void dismissSelf(const Ref<UIControl>& sender);
    void changePage(const Ref<UIPageControl>& sender);
    void viewRecentProfile(const Ref<UIButton>& sender);
    // Takes the panel off the window and drops the viewers request.
    void close();

    // Lays out the viewers (what the reply hands to the main queue).
    void layoutVisited(const Value& visited);

    // ---- Protocols ----------------------------------------------------------------------------------
    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;
    void scrollViewDidEndDecelerating(const Ref<UIScrollView>& scrollView) override;

    FeedbackPopupView() = default;

private:
    void askForVisited();
    void dropVisitedRequest();

    Value channel_;
    CGPoint position_ = CGPointZero;
    Value visited_ = Value::array();
    Weak<UINavigationController> navigationController_;
    bool pageControlIsChangingPage_ = false;
    Ref<HTTPRequest> visitedRequest_;
};

// Makes the inline players' feedback button open this panel (idempotent).
void installFeedbackPanel();
