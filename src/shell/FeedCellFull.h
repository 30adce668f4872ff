#pragma once
// FeedCellFull: the one table cell of every feed screen. It draws each kind of feed item - a video
// ("channel"), a comment on someone's video ("comment"), a new follow ("follow"), a forwarded video
// ("forward"), the home feed's advertisement ("ad") - and, on the user's own page, a local entry: one
// of the user's videos the engine still has to upload, with its upload control. A video carries the
// inline player and, under it, up to five rows built from the record (marks, caption, "all comments",
// the first two comments).
//
// The class methods answer the feed's row heights with the same constants the drawing uses, so the
// table's heights and the cell's layout agree. They read no instance state.
//
// The cell acts on its own: avatars open people's pages, rows under a video open the video page (or a
// sheet of the caption's place and people), the forward flag opens the share dialog, the advertisement
// opens or closes, and a local entry's buttons pause, resume and delete the upload through the engine
// bridge. A cell showing a local entry follows the engine's "updateui" for its own guid only.
//
// Threads: everything but progressChanged runs on the main thread. progressChanged runs on the engine
// thread that posted "updateui": it reads the local list only through the bridge (a copy taken under the
// bridge's lock) and hands the bar's change to the main queue without waiting.
//
// The cell is laid out for a table 320 points wide; frames are in the content view's coordinates.
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UITableViewCell.h"

class FeedVC;
class PPlayer;
class UIButton;
class UIFont;
class UIImageView;
class UILabel;
class UINavigationController;
class UIUserButton;
class UploadControl;

// Layout shared by drawing and heights.
CGRect FromUserFrame();             // (10, 10, 35, 35): the author's avatar
CGRect ToUserBkgFrame();            // (58, 13, 30, 30): the ring
CGRect ToUserFrame();               // (61, 15, 24, 24): the second avatar or the forward flag
CGRect CommentFrameWithHead();      // (100, 10, 200, 37)
CGRect CommentFrameNoHead();        // (50, 10, 250, 37)
CGRect VLineFrameWithHead();        // (72, 0, 3, 55)
CGRect ChannelPlayerFrameNoHead();  // (10, 10, 300, 208)
Ref<UIFont> CommentFont();          // bold system 13: the sentence
Ref<UIFont> SubCommentFont();       // bold system 13: measuring the rows under a video

// Reuse identifiers: a cell shows only one family in its life.
inline constexpr char kFeedCellReuseIdentifier[] = "FeedCellFull";
inline constexpr char kLocalFeedCellReuseIdentifier[] = "LocalFeedCellFull";
// Tags: the rows under a video are 10000 + their index, the header strip 10999.
inline constexpr NSInteger kFeedRowTagBase = 10000;
inline constexpr NSInteger kFeedRowHeaderTag = 10999;
// Notification posted when the advertisement is closed.
inline constexpr char kAdCloseClickedNotification[] = "adCloseClicked";

class FeedCellFull : public UITableViewCell, public UIActionSheetDelegate, public UIAlertViewDelegate {
public:
    // Builds every subview once, for the feed's navigation controller and a reuse identifier.
    static Ref<FeedCellFull> myinit_andReuse(const Ref<UINavigationController>& navigationController,
                                             const std::string& reuseIdentifier);
    ~FeedCellFull() override;

    // Shows a feed item; the head flag moves the content 40 points right and shows the author.
    void fullFillWithInfo_withHead_andNavigationController(const Value& info, bool haveHead,
                                                           const Ref<UINavigationController>& navigationController);
    // Shows a local entry of the engine's list ("guid", "fn", "pic", "status", "upprocess") for the
    // own page that lists it.
    void fullFillWithLocalInfo_andParentController(const Value& info, const Ref<FeedVC>& parent);
    // Hides every part and removes the rows under a video.
    void hideAll();
    // Builds the rows under the player for the video record.
    void addCommentWith(const Value& channel);

    void layoutSubviews() override;
    void setSelected_animated(bool selected, bool animated) override;

    const Value& info() const { return info_; }
    void setInfo(const Value& info) { info_ = info; }
    bool haveHead() const { return haveHead_; }
    bool isLocalMedia() const;
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }
    Ref<FeedVC> parent() const { return parent_.lock(); }

    // ---- Row heights (class methods) ----------------------------------------------------------------
    static CGFloat getHeight_haveHead(const Value& info, bool haveHead);
    // The photo frame of a video; the first argument is not used. A record without a usable size
    // ("ext" "w" or "h" missing, zero or negative) gets a 4:3 frame.
    static CGRect getPlayerViewRect_haveHead_channel(int unused, bool haveHead, const Value& channel);
    // The rows under a video with their header strip (13 even without rows).
    static CGFloat getCommentTableHeight_haveHead(const Value& channel, bool haveHead);
    // The height the text needs wrapped at the width; 0 for no text.
    static CGFloat heightForText_width_font(const Value& text, CGFloat width, const Ref<UIFont>& font);
    // (width, width x h / w), not rounded; a size without a usable width or height gives 3/4 of the width.
    static CGSize getVideoSize_withFixedWidth(CGSize size, int width);

    // ---- Actions ------------------------------------------------------------------------------------
    void fromUserSelected(const Ref<UIButton>& sender);
    void fakeCellClicked(const Ref<UIButton>& sender);
    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;
    void forward();
    void adClicked();
    void adCloseClicked();
    void localVideoContine_Pause(const Ref<UIButton>& sender);
    void localVideoDelete();
    void alertView_clickedButtonAtIndex(const Ref<UIAlertView>& alertView, NSInteger buttonIndex) override;
    // On "updateui", on the posting thread.
    void progressChanged();

    // ---- Views (the content view holds them) ---------------------------------------------------------
    Ref<UIUserButton> head() const { return head_; }
    Ref<UIImageView> toUserBkg() const { return toUserBkg_; }
    Ref<UIUserButton> toUserBtn() const { return toUserBtn_; }
    Ref<UIButton> forwardFlag() const { return forwardFlag_; }
    Ref<UILabel> shareContent() const { return shareContent_; }
    Ref<UIImageView> playerBkg() const { return playerBkg_; }
    Ref<PPlayer> playerView() const { return playerView_; }
    // The player as a view (its frame and visibility).
    Ref<UIView> playerViewAsView() const;
    Ref<UIView> adMain() const { return adMain_; }
    Ref<UIImageView> adBkg() const { return adBkg_; }
    Ref<UIButton> adBody() const { return adBody_; }
    Ref<UIButton> adClose() const { return adClose_; }
    Ref<UIImageView> vLine() const { return vLine_; }
    Ref<UIView> specialBottomLine() const { return specialBottomLine_; }
    Ref<UIView> localMediaUploadingCover() const { return localMediaUploadingCover_; }
    Ref<UploadControl> localUploadControl() const { return localUploadControl_; }

protected:
    void myinit_andReuseBody(const Ref<UINavigationController>& navigationController,
                             const std::string& reuseIdentifier);

private:
    void wireAvatar(const Ref<UIButton>& button);
    void showPlayerFor(const Value& channel, const Value& selfmark, CGRect photoFrame);
    // What the engine's threads read of the cell: whether it shows a local entry and its guid.
    struct LocalProgress {
        Weak<FeedCellFull> cell;  // set once when the cell is built
        std::mutex mutex;         // guards the two below
        bool isLocal = false;
        std::string guid;
    };
    void setLocalEntry(bool isLocal, const std::string& guid);
    static void progressChangedFor(const std::shared_ptr<LocalProgress>& progress);
    // The inline player (FeedPlayers.cpp).
    void makePlayer();
    void fillPlayerWithChannel(CGRect frame, const Value& channel, int selfmark);
    void fillPlayerWithLocalMovie(CGRect frame, const std::string& moviePath, const std::string& coverPath);

    Weak<UINavigationController> navigationController_;
    Weak<FeedVC> parent_;
    Value info_;
    bool haveHead_ = false;
    std::shared_ptr<LocalProgress> localProgress_;
    Ref<NSObject> updateObserver_;

    Ref<UIUserButton> head_;
    Ref<UIImageView> toUserBkg_;
    Ref<UIUserButton> toUserBtn_;
    Ref<UIButton> forwardFlag_;
    Ref<UILabel> shareContent_;
    Ref<UIImageView> playerBkg_;
    Ref<PPlayer> playerView_;
    Ref<UIView> adMain_;
    Ref<UIImageView> adBkg_;
    Ref<UIButton> adBody_;
    Ref<UIButton> adClose_;
    Ref<UIImageView> vLine_;
    Ref<UIView> specialBottomLine_;
    Ref<UIView> localMediaUploadingCover_;
    Ref<UploadControl> localUploadControl_;
};
