#pragma once
// The review screen, shown right after a recording: the clip is entered into the engine's jobs, played
// back in an inline player, and the person accepts or rejects it. Accepting opens the publish screen
// or, for a video sign, publishes the clip at once as the sign (title "ombrivideosign", seen by nobody
// else, then the sign call). Rejecting closes the whole recording flow; the imported job stays.
//
// When the clip could not be imported (or the recording produced no file) there is no guid: accepting
// then tells the person so and queues nothing, instead of publishing a video that does not exist.
//
// Leaving the screen in any way stops the shared movie player.
//
// Pushed by the recording screen onto the navigation controller it was presented in. Main thread.
#include <string>

#include "api/PZViewController.h"
#include "platform/foundation/Value.h"

class PPlayer;
class UIButton;

// The alert of an accept without an imported clip.
inline constexpr char kCaptureNoVideoTitle[] = "提示";
inline constexpr char kCaptureNoVideoMessage[] = "视频导入失败，请重新拍摄";

class PZVideoCaptureEditController : public PZViewController {
public:
    static Ref<PZVideoCaptureEditController> create() { return make<PZVideoCaptureEditController>(); }

    // Set by the creator before the view loads.
    const Value& movileFilePath() const { return movileFilePath_; }
    void setMovileFilePath(const Value& path) { movileFilePath_ = path; }
    bool videoSign() const { return videoSign_; }
    bool isVideoSign() const { return videoSign_; }
    void setVideoSign(bool sign) { videoSign_ = sign; }
    const Value& topic() const { return topic_; }
    void setTopic(const Value& topic) { topic_ = topic; }
    // The engine's job of the imported clip (nil when the import failed).
    const Value& guid() const { return guid_; }
    void setGuid(const Value& guid) { guid_ = guid; }

    const Ref<UIButton>& captureAcceptButton() const { return captureAcceptButton_; }
    const Ref<UIButton>& captureRejectButton() const { return captureRejectButton_; }
    // The inline player of the clip (nil without a clip).
    const Ref<PPlayer>& player() const { return player_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidUnload() override;

    // --- Actions ---
    void captureAccept(const Ref<UIButton>& sender);
    void captureReject(const Ref<UIButton>& sender);

    PZVideoCaptureEditController() = default;

private:
    Value movileFilePath_;
    bool videoSign_ = false;
    Value topic_;
    Value guid_;
    Ref<UIButton> captureAcceptButton_;
    Ref<UIButton> captureRejectButton_;
    Ref<PPlayer> player_;
};
