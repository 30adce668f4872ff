#pragma once
// The top area of the own profile, shared by the profile screen and the registration's profile step:
// the cover picture, the round avatar, the nick field on the cover, and the buttons that change the
// avatar and ask for a new cover.
//
// ProfileTopView is the view (what the interface files of both screens hold). ProfileTopController is
// the base of the screens that show it: it sets the area up from the stored account, limits and checks
// the nick, offers the camera or the album for the avatar, asks for a new cover, sends each change to
// the service and writes every accepted change into the account. What differs between the screens is
// left to the subclass: how a picked image is encoded, where the avatar frame sits, which view the
// nick-ending tap covers, and what happens after an accepted change.
#include <vector>

#include "api/PZViewController.h"
#include "net/http/HTTPRequestDelegate.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UITextField.h"
#include "widgets/ProgressHUD.h"

class HTTPRequest;
class UIImage;

class ProfileTopView : public UIView {
public:
    static constexpr CGFloat kHeight = 200;
    // The area at (0, 0, 320, kHeight) with its subviews in place.
    static Ref<ProfileTopView> create();

    Ref<UIImageView> coverView() const { return coverView_; }
    Ref<UIButton> avatarButton() const { return avatarButton_; }
    Ref<UITextField> nickField() const { return nickField_; }
    Ref<UIButton> changeAvatarButton() const { return changeAvatarButton_; }
    Ref<UIButton> reloadButton() const { return reloadButton_; }

    void initWithFrameBody(CGRect frame) override;

private:
    Ref<UIImageView> coverView_;
    Ref<UIButton> avatarButton_;
    Ref<UITextField> nickField_;
    Ref<UIButton> changeAvatarButton_;
    Ref<UIButton> reloadButton_;
};

class ProfileTopController : public PZViewController,
                             public UIActionSheetDelegate,
                             public UIImagePickerControllerDelegate,
                             public UITextFieldDelegate,
                             public UIGestureRecognizerDelegate,
                             public HTTPRequestDelegate {
public:
    // The nick is kept between these GB 18030 byte counts (bounds included).
    static constexpr NSUInteger kNickMinBytes = 4;
    static constexpr NSUInteger kNickMaxBytes = 16;

    // Outlets (connected by the screen's interface file).
    Ref<ProfileTopView> topView() const { return topView_; }
    void setTopView(const Ref<ProfileTopView>& view) { topView_ = view; }
    Ref<UIImageView> coverView() const { return topView_ ? topView_->coverView() : nullptr; }
    Ref<UIButton> avatarButton() const { return topView_ ? topView_->avatarButton() : nullptr; }
    Ref<UITextField> nickField() const { return topView_ ? topView_->nickField() : nullptr; }
    Ref<UIButton> changeAvatarButton() const { return topView_ ? topView_->changeAvatarButton() : nullptr; }
    Ref<UIButton> reloadButton() const { return topView_ ? topView_->reloadButton() : nullptr; }
    // The frame laid over the avatar.
    Ref<UIImageView> avatarFrameView() const { return avatarFrame_; }
    // The tap recogniser that ends nick editing.
    Ref<UITapGestureRecognizer> nickTap() const { return nickTap_; }

    Ref<HTTPRequest> nickRequest() const { return nickRequest_; }
    void setNickRequest(const Ref<HTTPRequest>& request) { nickRequest_ = request; }
    // The account record as the screen read it.
    const Value& account() const { return account_; }

    // Actions.
    void changeAvatar(const Ref<UIButton>& sender);
    void changeCover(const Ref<UIButton>& sender);
    void flushCover(const Ref<UIButton>& sender);
    // The failure box's task: keeps the message up for two seconds.
    void hideMbp(const Ref<NSObject>& object);

    void actionSheet_clickedButtonAtIndex(const Ref<UIActionSheet>& actionSheet, NSInteger buttonIndex) override;
    void imagePickerController_didFinishPickingMediaWithInfo(const Ref<UIImagePickerController>& picker,
                                                             const Value& info) override;
    bool textField_shouldChangeCharactersInRange_replacementString(const Ref<UITextField>& textField, NSRange range,
                                                                   const std::string& string) override;
    bool gestureRecognizer_shouldReceiveTouch(const Ref<UIGestureRecognizer>& recognizer,
                                              const Ref<UITouch>& touch) override;
    void requestFinished(const Ref<HTTPRequest>& request) override;
    void requestFailed(const Ref<HTTPRequest>& request) override;

    ~ProfileTopController() override;

protected:
    // Reads the account and sets the area up: cover, avatar, avatar frame at (127.8, frameY, 64, 64) on
    // the screen's view, nick field, buttons, and the nick-ending tap on tapView.
    void setUpTopArea(CGFloat frameY, const Ref<UIView>& tapView);
    // The bytes a picked image is sent as.
    virtual Value avatarData(const Ref<UIImage>& image) = 0;
    // Starts the read of the own profile (replacing one still running). Its reply of status 200 goes to
    // profileReplyFinished, never to the change handling, whatever keys it carries.
    void startProfileRead(const Ref<HTTPRequest>& request);
    Ref<HTTPRequest> profileReadRequest() const { return profileReadRequest_; }
    // A reply of status 200 to the profile read.
    virtual void profileReplyFinished(const Ref<HTTPRequest>& request, const Value& reply) {}
    // After a change the service accepted.
    virtual void changeAccepted() {}
    // Starts a request with the screen as delegate and keeps it until its reply (cancelled on release).
    void startRequest(const Ref<HTTPRequest>& request);
    void forgetRequest(const Ref<HTTPRequest>& request);
    void setAccount(const Value& account) { account_ = account; }

private:
    void showActionSheet(bool withRefresh);
    void showFailure(const Value& message);

    Ref<ProfileTopView> topView_;
    Ref<UIImageView> avatarFrame_;
    Ref<UITapGestureRecognizer> nickTap_;
    Ref<HTTPRequest> nickRequest_;
    Ref<HTTPRequest> profileReadRequest_;
    std::vector<Ref<HTTPRequest>> running_;
    Value account_;
};
