#pragma once
// Share: the modal dialog in which a user passes a published video on. With a comment of at most 140
// characters it reposts the video to the service's own feed, posts it to the Lumo and QQ microblogs
// through the service, and sends its link by e-mail or text message. Callers wrap it with
// CustomImage::MyNaviWithRoot and present it modally.
//
// A target is chosen while its button is selected. The three service posts run one after another as
// blocking requests on a progress box's worker thread (repost, Lumo, QQ, each only when chosen; the
// microblogs are skipped once the repost says the video no longer exists); each failure shows its own
// alert with the service's message. When the box has hidden the dialog closes and, when at least one
// target succeeded, "分享成功！" names the microblogs that took it (plus the edition's own text for the
// repost). A video that no longer exists ends with its repost alert alone.
//
// Edition configuration (the "Share" entry): "postToLumoBtn" {"hidden"}, "postQQBtn" {"used",
// "hidden"} (not used: the QQ button is hidden; used: chosen when a QQ account is bound, shown unless
// hidden), "oemString". The interface file "Share" is registered by the dialog on first use.
#include <string>

#include "api/LumoWeiboClient.h"
#include "api/PZViewController.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/MFMailComposeViewController.h"
#include "platform/uikit/MFMessageComposeViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITextView.h"
#include "widgets/ProgressHUD.h"

class Share : public PZViewController,
              public UITextViewDelegate,
              public LumoWeiboClientDelegate,
              public MFMailComposeViewControllerDelegate,
              public MFMessageComposeViewControllerDelegate,
              public ProgressHUDDelegate {
public:
    // Loads the interface file "Share" and keeps the video record.
    static Ref<Share> myinit(const Value& channel);
    ~Share() override;

    static constexpr int kMaxLength = 140;

    const Value& videoInfo() const { return videoInfo_; }
    void setVideoInfo(const Value& info) { videoInfo_ = info; }
    // The record the dialog was opened for (the same as videoInfo).
    const Value& channel() const { return videoInfo_; }

    // Outlets of the interface file.
    Ref<UILabel> wordLeft;
    Ref<UITextView> input;
    Ref<UIButton> repostBtn;
    Ref<UIButton> postToLumoBtn;
    Ref<UIButton> postByEmailBtn;
    Ref<UIButton> postBySmsBtn;
    Ref<UIButton> postQQBtn;
    Ref<UIButton> shareBtn;

    Ref<ProgressHUD> progress() const { return progress_.lock(); }
    // Outcomes of the last send (read on the main thread once the box has hidden).
    bool sharedToLumo() const { return sharedToLumo_; }
    bool sharedToQQ() const { return sharedToQQ_; }
    bool sharedTopz() const { return sharedTopz_; }
    bool videoNotExist() const { return videoNotExist_; }

    // Target buttons.
    void repost();
    void postToLumo();
    void postToQQ();
    void postByEmail();
    void postBySms();
    // "分享": checks the length, then runs sendRequest under a progress box.
    void done();
    // Closes the dialog.
    void back();
    // The service posts, on the progress box's worker thread.
    void sendRequest();
    void hideProgress();
    // The link of the video: the service's page "show/<scid>.htm" when the record has "fn", else its "url".
    std::string getVideoURL() const;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void textViewDidChange(const Ref<UITextView>& textView) override;
    bool textView_shouldChangeTextInRange_replacementText(const Ref<UITextView>& textView, NSRange range,
                                                          const std::string& text) override
    {
        return true;
    }
    void hudWasHidden() override;
    void LumoWeiboClient_didPostStatus(const Ref<LumoWeiboClient>& client, const std::string& reply) override;
    void mailComposeController_didFinishWithResult_error(const Ref<MFMailComposeViewController>& controller,
                                                         MFMailComposeResult result, const Ref<NSError>& error) override;
    void messageComposeViewController_didFinishWithResult(const Ref<MFMessageComposeViewController>& controller,
                                                          MessageComposeResult result) override;

    Share() = default;

private:
    // shareBtn is enabled while the repost, Lumo or QQ button is selected.
    void updateShareBtn();
    void applyConfig();

    Value videoInfo_;
    Weak<ProgressHUD> progress_;
    // What the worker sends, taken on the main thread before it starts.
    std::string sentComment_;
    bool sendRepost_ = false;
    bool sendLumo_ = false;
    bool sendQQ_ = false;
    // Written by the worker, read on the main thread after the box has hidden.
    bool sharedToLumo_ = false;
    bool sharedToQQ_ = false;
    bool sharedTopz_ = false;
    bool videoNotExist_ = false;
};
