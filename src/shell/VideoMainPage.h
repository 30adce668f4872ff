#pragma once
// VideoMainPage: the page of one video. It asks the service for the video's record, then shows the
// owner's avatar, the video in an inline player, the strip of recent viewers with their emotion marks
// and a button to mark the video, and below them a list: the caption first, then the comments, page by
// page. The bar at the bottom writes a comment, or a reply to a comment's author ("回复@nick:").
//
// Page types (fixed at creation):
//   0, 1  the id is a comment id: the record is asked for by comment
//   2     the id is a video id ("scid")
//   3     as 1, and once the record has arrived the bar opens with "回复@nick:" for that comment's author
//
// Comment pages hold 20; the next page is asked for when the list's end comes within 50 points and
// the page number is below (total + 20) / 20. A posted comment is added at the end of the list.
//
// The view comes from the interface file "VideoMainPage" (registerVideoPageViews). The page owns every
// request it starts and, when it goes, cancels them and clears their delegates. Leaving the page stops
// the shared movie player. Main thread only.
#include <string>

#include "net/http/HTTPRequest.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIViewController.h"

class NSNotification;
class PPlayer;
class UIButton;
class UIImageView;
class UIScrollView;

enum VideoPageType : int {
    VideoPageTypeFeedComment = 0,
    VideoPageTypeComment = 1,
    VideoPageTypeVideo = 2,
    VideoPageTypeReply = 3,
};

// Comments per page, and the fill type of the page's record request.
inline constexpr int kVideoPageCommentsPerPage = 20;
inline constexpr int kVideoPageFillType = 255;
// The frame image's width; the video's height follows its size at this width.
inline constexpr int kVideoPagePlayerWidth = 255;
// The bottom bar's top while no keyboard shows, and its height.
inline constexpr CGFloat kVideoPageBarTop = 372;
inline constexpr CGFloat kVideoPageBarHeight = 44;

class VideoMainPage : public UIViewController,
                      public UITableViewDelegate,
                      public UITableViewDataSource,
                      public HTTPRequestDelegate,
                      public UITextFieldDelegate,
                      public UIAlertViewDelegate {
public:
    static Ref<VideoMainPage> myinitWithType_data(int type, const Value& data);
    ~VideoMainPage() override;

    // ---- State --------------------------------------------------------------------------------------
    int initType() const { return initType_; }
    int type() const { return initType_; }
    const Value& idUsedToGetVideoDetail() const { return idUsedToGetVideoDetail_; }
    const Value& data() const { return idUsedToGetVideoDetail_; }
    const Value& videoInfo() const { return videoInfo_; }
    const Value& scid() const { return scid_; }
    const Value& recentVisited() const { return recentVisited_; }
    const Value& comments() const { return comments_; }
    int totalComentCount() const { return totalComentCount_; }
    int currentPage() const { return currentPage_; }
    bool isLoadingMore() const { return isLoadingMore_; }
    // The requests running (null when none).
    Ref<HTTPRequest> getVideoFullInfo() const { return getVideoFullInfo_; }
    Ref<HTTPRequest> getMoreCommentRequest() const { return getMoreCommentRequest_; }
    Ref<HTTPRequest> sendCommentRequest() const { return sendCommentRequest_; }

    // ---- Views --------------------------------------------------------------------------------------
    Ref<UITableView> table() const { return table_; }
    void setTable(const Ref<UITableView>& table) { table_ = table; }
    Ref<UIView> headerView() const { return headerView_; }
    Ref<PPlayer> player() const { return player_; }
    Ref<UIButton> ownerButton() const { return ownerButton_; }
    Ref<UIImageView> playerBkg() const { return playerBkg_; }

    // Outlets of the interface file.
    Ref<UIView> whoSeedView;
    Ref<UIScrollView> scrollSubView;
    Ref<UIButton> emotionButton;
    Ref<UITextField> input;
    Ref<UIButton> send;
    Ref<UIView> inputBkg;
    Ref<UIImageView> inputTextField_bkg;

    // ---- Actions ------------------------------------------------------------------------------------
    void viewProfile();
    void viewRecentProfile(const Ref<UIButton>& sender);
    void tagVideoWithEmotion(const Ref<UIButton>& sender);
    void sendComment();
    void loadMore();
    void backgroundTouched(const Ref<NSObject>& sender);
    void textFieldReturn(const Ref<NSObject>& sender) {}

    // The bottom bar over a keyboard of the height (0: at the bottom), the list above it.
    void showKeyboard(CGFloat height);
    void keyboardDidShown(const Ref<NSNotification>& notification);
    void keyboardWillHidden(const Ref<NSNotification>& notification);
    void hideKeyboard();

    // ---- View life --------------------------------------------------------------------------------
    void viewDidLoad() override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // ---- Protocols ----------------------------------------------------------------------------------
    NSInteger numberOfSectionsInTableView(const Ref<UITableView>& tableView) override { return 1; }
    NSInteger tableView_numberOfRowsInSection(const Ref<UITableView>& tableView, NSInteger section) override;
    Ref<UITableViewCell> tableView_cellForRowAtIndexPath(const Ref<UITableView>& tableView,
                                                         const Ref<NSIndexPath>& indexPath) override;
    CGFloat tableView_heightForRowAtIndexPath(const Ref<UITableView>& tableView,
                                              const Ref<NSIndexPath>& indexPath) override;
    void tableView_didSelectRowAtIndexPath(const Ref<UITableView>& tableView,
                                           const Ref<NSIndexPath>& indexPath) override;
    void scrollViewDidScroll(const Ref<UIScrollView>& scrollView) override;

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    bool textFieldShouldReturn(const Ref<UITextField>& textField) override;
    void textFieldDidBeginEditing(const Ref<UITextField>& textField) override {}

    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;

    // The caption row: the caption (empty when the video has none), the finish time and the owner in
    // the shape of a comment.
    static Value captionRow(const Value& channel);
    // The header's video height for a record at the frame width; a record without a usable size gets
    // a 4:3 height.
    static CGFloat videoHeightOf(const Value& channel);

    VideoMainPage() = default;

private:
    void recordArrived(const Value& reply);
    void fullfillRecent();
    void addHeaderView(const Value& channel);
    void startRequest(Ref<HTTPRequest>& slot, Ref<HTTPRequest> request);
    static void dropRequest(Ref<HTTPRequest>& slot);
    // The row's record: the caption row for row 0, else a comment.
    Value rowInfo(NSInteger row) const;
    void replyTo(const Value& nick);

    int initType_ = VideoPageTypeFeedComment;
    Value idUsedToGetVideoDetail_;
    Value videoInfo_;
    Value scid_;
    Value recentVisited_ = Value::array();
    Value comments_ = Value::array();
    int totalComentCount_ = 0;
    int currentPage_ = 1;
    bool isLoadingMore_ = false;

    Ref<HTTPRequest> getVideoFullInfo_;
    Ref<HTTPRequest> getMoreCommentRequest_;
    Ref<HTTPRequest> sendCommentRequest_;

    Ref<UITableView> table_;
    Ref<UIView> headerView_;
    Ref<UIButton> ownerButton_;
    Ref<UIImageView> playerBkg_;
    Ref<PPlayer> player_;
};
