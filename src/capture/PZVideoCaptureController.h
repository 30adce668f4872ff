#pragma once
// The recording screen: the camera full screen through a live filter, a strip of filter buttons, the
// torch and camera switches, focus by tap, and one button that starts and stops the recording while a
// clock counts the seconds.
//
// The chain: camera (640 x 480, back camera) -> rotation to upright -> the chosen filter -> the screen's
// own view (a GPUView) and the movie writer (480 x 640). The camera hands its sound to the writer. What
// the person sees is what the file gets.
//
// Each appearance names a new movie file in Documents/media, after the local time to the second; a
// name already taken (two appearances within one second) gets a counter ("...-ss-1.MOV"), so a clip
// already imported as a job is never overwritten. A normal recording ends by pushing the review screen
// with the file; a live recording is also handed to the engine through the bridge while it grows and
// the screen closes itself when it stops. Leaving the screen while recording ends the recording first
// (the file is finished, a live job stopped) without pushing anything.
//
// The record clock is one process-wide count of seconds, reset whenever the screen disappears.
//
// Presented by the feed and user screens: inside a navigation controller for a normal or video-sign
// recording, by itself for a live one. Main thread only.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class GPUFilter;
class GPUMovieWriter;
class GPUVideoCamera;
class GPUView;
class NSTimer;
class UIButton;
class UIImageView;
class UILabel;
class UIScreen;
class UIScrollView;
class UIView;

// The store page the partner edition's last filter button opens: the service's own application.
inline constexpr char kOmbriStoreURL[] = "itms-apps://itunes.apple.com/app/ombri";
// Told when the install's filter shaders do not compile.
inline constexpr char kCaptureUnavailableTitle[] = "提示";
inline constexpr char kCaptureUnavailableMessage[] = "录像功能暂时无法使用";
inline constexpr char kCaptureFilterUnavailableMessage[] = "该滤镜暂时无法使用";

class PZVideoCaptureController : public UIViewController {
public:
    static Ref<PZVideoCaptureController> create();
    // The screen is ignored.
    static Ref<PZVideoCaptureController> initWithScreen(const Ref<UIScreen>& screen);

    bool live() const { return live_; }
    bool isLive() const { return live_; }
    void setLive(bool live) { live_ = live; }
    bool videoSign() const { return videoSign_; }
    void setVideoSign(bool videoSign) { videoSign_ = videoSign; }
    // The topic handed on to the review screen (a text, or nil).
    const Value& topic() const { return topic_; }
    void setTopic(const Value& topic) { topic_ = topic; }

    const Ref<GPUVideoCamera>& videoCamera() const { return videoCamera_; }
    void setVideoCamera(const Ref<GPUVideoCamera>& camera) { videoCamera_ = camera; }
    const Ref<GPUFilter>& filter() const { return filter_; }
    void setFilter(const Ref<GPUFilter>& filter) { filter_ = filter; }
    const Ref<GPUMovieWriter>& movieWriter() const { return movieWriter_; }
    void setMovieWriter(const Ref<GPUMovieWriter>& writer) { movieWriter_ = writer; }

    // --- The screen ---
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    // Builds the chain with "originality" and starts the camera.
    void startCamera();
    // Names this appearance's movie file.
    void setMovieFilePath();

    // --- Actions ---
    void toggleCamera(const Ref<UIButton>& sender);
    void toggleTorch(const Ref<UIButton>& sender);
    void toggleFilterView(const Ref<UIButton>& sender);
    void selectFilter(const Ref<UIButton>& sender);
    void start(const Ref<UIButton>& sender);
    void cancelCapture(const Ref<UIButton>& sender);

    // One tick of the record clock.
    void countCaptureTime();
    // A tap on the picture focuses there.
    void touchesBegan_withEvent(const UITouchSet& touches, const Ref<UIEvent>& event) override;

    // --- What the screen shows ---
    const Ref<UIButton>& cameraButton() const { return cameraButton_; }
    const Ref<UIButton>& torchButton() const { return torchButton_; }
    const Ref<UIButton>& captureButton() const { return captureButton_; }
    const Ref<UIButton>& captureCancel() const { return captureCancel_; }
    const Ref<UIButton>& filterButton() const { return filterButton_; }
    const Ref<UIView>& filterView() const { return filterView_; }
    const Ref<UIScrollView>& filterScrollView() const { return filterScrollView_; }
    const Ref<UILabel>& countLable() const { return countLable_; }
    const Ref<UIImageView>& smallFocusView() const { return smallFocusView_; }
    const std::vector<std::string>& filterIcon() const { return filterIcon_; }
    const std::string& movileFilePath() const { return movileFilePath_; }
    int currentFilter() const { return currentFilter_; }
    Ref<NSTimer> timer() const { return timer_.lock(); }
    // Whether a recording runs (the record button is selected).
    bool isRecording() const;

    // The process-wide record clock, in seconds.
    static int recordSeconds();

    // --- Seams for tests ---
    // Ends the process after the partner edition's store button (default: std::exit).
    static void setExitHook(std::function<void(int status)> hook);
    // The edition word that picks the filter buttons (default: the build's); empty restores it.
    static void setEditionWordForTesting(const std::string& word);

    PZVideoCaptureController() = default;
    ~PZVideoCaptureController() override;

private:
    Ref<GPUView> previewView();
    // Rotation in mode 1 -> filter_ -> {view, writer}, as the camera's only target.
    void connectChain();
    // Ends a running recording; `leaving` when the screen goes away (nothing is pushed or dismissed).
    void stopRecording(bool leaving);
    void blinkFocus(int step);

    bool live_ = false;
    bool videoSign_ = false;
    Value topic_;
    Ref<GPUVideoCamera> videoCamera_;
    Ref<GPUFilter> filter_;
    Ref<GPUMovieWriter> movieWriter_;

    Ref<UIButton> cameraButton_;
    Ref<UIButton> captureCancel_;
    Ref<UIButton> captureButton_;
    Ref<UIButton> filterButton_;
    Weak<NSTimer> timer_;  // the run loop holds it
    Ref<UILabel> countLable_;
    Ref<UIScrollView> filterScrollView_;
    Ref<UIImageView> smallFocusView_;
    std::vector<std::string> filterIcon_;
    Ref<UIView> filterView_;
    Ref<UIButton> torchButton_;
    std::string movileFilePath_;
    int currentFilter_ = 1000;
};
