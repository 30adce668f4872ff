#pragma once
// HeaderView: the view above the list of the home feed, the user's own page and another user's page.
// It shows the person's cover and avatar and, on a person's page, the nick, the counts of follows, fans
// and shares and the follow button; on the home feed the refresh button and the strip announcing new
// fans. It also holds the person's video signs - up to four short videos in small inline players - with
// buttons to record a new one and to delete one, and an edit mode that shows the delete buttons.
//
// It is view 0 of the shared interface file "CommonViews" (registerFeedViews, FeedViews.h), loaded with
// Tool::getHeaderViewFromNib. The follow, refresh and fans-strip buttons' actions belong to the feed.
#include <vector>

#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIView.h"

class HTTPRequest;
class UIButton;
class UIImageView;
class UILabel;
class UINavigationController;

class HeaderView : public UIView, public HTTPRequestDelegate {
public:
    static Ref<HeaderView> initWithFrame(CGRect frame) { return makeWithFrame<HeaderView>(frame); }
    ~HeaderView() override;

    void awakeFromNib() override;

    // Shows a person: the head flag is set on the home feed (nick, counts and follow button hidden) and
    // clear on a person's page; the relation chooses the follow button's look; the cover view, when
    // given (the home feed's own image behind the table), receives the cover instead of bkgimgv.
    void fullFillWithInfo_andNavi_haveHead_andRelation_andDesktop(const Value& userInfo,
                                                                  const Ref<UINavigationController>& navigation,
                                                                  bool haveHead, int relation,
                                                                  const Ref<UIImageView>& desktop);
    // The remind reply's "fans" dictionary shows the new-fans strip; nil hides it.
    void fullFillFansRemindWith(const Value& fans);
    // Shows the delete buttons of the existing signs / hides all of them.
    void enterEditMode();
    void exitEditMode();

    // Actions.
    void add_video_sign();
    void delete_video_sign(const Ref<UIButton>& sender);
    void viewProfile();

    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    // ---- State ------------------------------------------------------------------------------------------
    const Value& userInfo() const { return userInfo_; }
    void setUserInfo(const Value& userInfo) { userInfo_ = userInfo; }
    const Value& signInfos() const { return signInfos_; }
    void setSignInfos(const Value& signInfos) { signInfos_ = signInfos; }
    bool isMyFeed() const { return isMyFeed_; }
    void setIsMyFeed(bool isMyFeed) { isMyFeed_ = isMyFeed; }
    Ref<UINavigationController> navigationController() const { return navigationController_.lock(); }
    // The delete request running, if any.
    Ref<HTTPRequest> deleteSignRequest() const { return deleteSignRequest_.lock(); }

    // ---- Outlets (the interface file's views) ------------------------------------------------------------
    Ref<UIImageView> bkgimgv;
    Ref<UIButton> bkgbtn;
    Ref<UIButton> head;
    Ref<UIImageView> headRing;
    Ref<UIImageView> timeLine;
    Ref<UIImageView> top_side_line;
    Ref<UILabel> username;
    Ref<UILabel> otherInfo;
    Ref<UIButton> followOrUnfollow;
    Ref<UIButton> refresh;
    Ref<UIView> fansRemindView;
    Ref<UIImageView> headerMsg_userHead;
    Ref<UILabel> headerMsg_title;
    Ref<UIButton> fansRemind;
    Ref<UIButton> headerMsg;
    Ref<UILabel> clock;
    Ref<UIView> videoSign;
    Ref<UIButton> sign1, sign2, sign3, sign4;
    Ref<UIButton> delete1, delete2, delete3, delete4;
    std::vector<Ref<UIButton>> signButtons;
    std::vector<Ref<UIButton>> deleteButtons;

private:
    // Fills the avatar and the signs.
    void internFullfill();
    // An inline player of a sign filling the bounds (FeedPlayers.cpp).
    static Ref<UIView> makeSignPlayer(CGRect bounds, const Value& channel);

    Weak<UINavigationController> navigationController_;
    Value userInfo_;
    Value signInfos_;
    bool isMyFeed_ = false;
    Weak<HTTPRequest> deleteSignRequest_;
    // The sign whose deletion was asked, found again by its scid when the reply comes.
    Value deletingScid_;
    // The players an earlier fill put into the sign buttons.
    std::vector<Weak<UIView>> signPlayers_;
};
