// The recording screen driven as a person would: its layout, a recording that becomes a movie and goes
// to review, the filter buttons rebuilding the chain, the clock, focus by tap, the torch and camera
// switches, a new file per appearance, and leaving while recording.
#include "ScreenTestSupport.h"

#include "GpuTestSupport.h"
#include "capture/VideoShareController.h"
#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUMovieWriter.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"
#include "capture/gpu/GPUVideoCamera.h"
#include "fixtures/MovieProbe.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSURL.h"
#include "platform/screen/UIScreenRenderer.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <ctime>

namespace {
namespace RecordingScreenTest_cpp {

using screentest::ScreenTest;
using namespace std::chrono_literals;

Ref<UIButton> filterButton(const Ref<PZVideoCaptureController>& screen, int index)
{
    return std::dynamic_pointer_cast<UIButton>(screen->filterScrollView()->viewWithTag(1000 + index));
}

bool sameFrame(CGRect a, CGRect b)
{
    return std::abs(a.origin.x - b.origin.x) < 1e-6 && std::abs(a.origin.y - b.origin.y) < 1e-6 &&
           std::abs(a.size.width - b.size.width) < 1e-6 && std::abs(a.size.height - b.size.height) < 1e-6;
}

// A local time as seconds since 1970.
double localTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return double(std::mktime(&t));
}

class RecordingScreen : public ScreenTest {};

TEST_F(RecordingScreen, LayoutNamesItsViewsImagesAndFilterButtonsByEdition)
{
    struct Edition {
        std::string word;
        std::vector<std::string> lastIcons;
    };
    const Edition editions[] = {{"", {"filter-toon", "filter-more"}}, {"ombri", {"filter-toon", "filter-sobeledge", "filter-8bit"}}};
    for (const Edition& edition : editions) {
        SCOPED_TRACE(edition.word.empty() ? "the build's edition" : edition.word);
        PZVideoCaptureController::setEditionWordForTesting(edition.word);
        auto screen = openRecording(true);
        settle();
        struct Placed {
            Ref<UIView> view;
            CGRect frame;
        };
        const Placed placed[] = {
            {screen->cameraButton(), CGRectMake(240, 10, 70, 30)},
            {screen->torchButton(), CGRectMake(15, 10, 39, 32)},
            {screen->filterView(), CGRectMake(0, 365, 320, 130)},
            {screen->filterButton(), CGRectMake(240, 0, 75, 32)},
            {screen->filterScrollView(), CGRectMake(0, 45, 320, 68)},
            {screen->captureButton(), CGRectMake(112, 411, 96, 44)},
            {screen->captureButton()->viewWithTag(1000), CGRectMake(30.4, 4.5, 35, 35)},
            {screen->captureCancel(), CGRectMake(0, 407, 38.5, 53)},
            {screen->countLable(), CGRectMake(230, 10, 80, 30)},
        };
        for (const Placed& p : placed) {
            ASSERT_TRUE(p.view);
            EXPECT_TRUE(sameFrame(p.view->frame(), p.frame)) << p.view->className() << " " << p.view->frame().origin.x;
        }
        EXPECT_TRUE(screen->countLable()->isHidden());
        EXPECT_EQ(screen->countLable()->text(), "00:00:00");
        EXPECT_TRUE(screen->captureButton()->isEnabled());
        EXPECT_FALSE(screen->filterScrollView()->isUserInteractionEnabled());
        EXPECT_TRUE(UIApplication::sharedApplication()->isIdleTimerDisabled());

        const std::vector<std::string>& icons = screen->filterIcon();
        ASSERT_EQ(icons.size(), 9 + edition.lastIcons.size() - 1);
        EXPECT_TRUE(std::equal(edition.lastIcons.begin(), edition.lastIcons.end(), icons.end() - long(edition.lastIcons.size())));
        EXPECT_EQ(screen->filterScrollView()->contentSize().width, double(icons.size() * 64));
        for (size_t i = 0; i < icons.size(); ++i) {
            auto button = filterButton(screen, int(i));
            ASSERT_TRUE(button) << i;
            EXPECT_TRUE(sameFrame(button->frame(), CGRectMake(double(i) * 64, 3, 62, 62))) << i;
            ASSERT_TRUE(button->imageForState(UIControlStateNormal)) << icons[i];
            EXPECT_EQ(button->imageForState(UIControlStateNormal)->size().width, 62) << icons[i];
            EXPECT_EQ(button->isSelected(), i == 0) << i;
        }
        // Live recordings carry the mark in the bottom bar.
        bool liveMark = false;
        for (const Ref<UIView>& v : screen->view()->subviews()) {
            for (const Ref<UIView>& inner : v->subviews()) {
                auto image = std::dynamic_pointer_cast<UIImageView>(inner);
                liveMark = liveMark || (image && image->image() && sameFrame(image->frame(), CGRectMake(270, 15, 34, 15)));
            }
        }
        EXPECT_TRUE(liveMark);
        screen->dismissModalViewControllerAnimated(false);
    }

    // Every picture the two screens name is in the bundle at both scales.
    const char* names[] = {
        "capture-flip", "capture-flip-passed", "capture-flash-off", "capture-flash-off-passed", "capture-flash-on",
        "capture-flash-on-passed", "capture-lens", "filter-original", "filter-blakWhite", "filter-oldFilm",
        "filter-antiColor", "filter-radial", "filter-pro", "filter-edge", "filter-sketch", "filter-toon",
        "filter-sobeledge", "filter-8bit", "filter-more", "filter-bg", "capture-bar-bg", "capture-button",
        "capture-button-passed", "capture-button-video", "capture-button-video-record", "capture-button-video-gray",
        "capture-review-reject", "Live", "focussquare-small", "capture-review-accept", "capture-review-accept-passed"};
    const std::string bundle = NSBundle::mainBundle()->bundlePath();
    for (const char* name : names) {
        for (const char* scale : {"", "@2x"}) {
            struct stat info {};
            EXPECT_EQ(::stat((bundle + "/" + name + scale + ".png").c_str(), &info), 0) << name << scale;
        }
    }
}

TEST_F(RecordingScreen, RecordingBecomesAMovieOfItsLengthAndGoesToReview)
{
    startEngine();
    auto screen = openRecording(false, false, Value("#旅行#"));
    const std::string path = screen->movileFilePath();
    EXPECT_EQ(path.rfind(NSHomeDirectory() + "/Documents/media/", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".MOV");
    frames(screen, 3);

    tap(screen->captureButton());
    EXPECT_TRUE(screen->captureButton()->isSelected());
    EXPECT_FALSE(screen->countLable()->isHidden());
    EXPECT_TRUE(screen->cameraButton()->isHidden());
    EXPECT_TRUE(screen->captureCancel()->isHidden());
    EXPECT_TRUE(screen->filterButton()->isHidden());
    auto mark = std::dynamic_pointer_cast<UIImageView>(screen->captureButton()->viewWithTag(1000));
    EXPECT_TRUE(mark->isAnimating());
    EXPECT_EQ(mark->animationImages().size(), 2u);
    frames(screen, 30);
    EXPECT_EQ(screen->countLable()->text(), "00:00:02");

    tap(screen->captureButton());
    // The file is complete when the press returns: 30 frames of 480 x 640, two seconds long.
    const ProbedMovie movie = probeMovie(path);
    ASSERT_EQ(movie.error, "");
    const ProbedStream* video = movie.stream("video");
    ASSERT_TRUE(video);
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(video->width, 480);
    EXPECT_EQ(video->height, 640);
    EXPECT_EQ(video->packetTimes.size(), 30u);
    EXPECT_NEAR(movie.duration, 2.0, 0.15);
    EXPECT_TRUE(movie.stream("audio"));
    EXPECT_FALSE(screen->captureButton()->isSelected());
    EXPECT_TRUE(screen->countLable()->isHidden());
    EXPECT_FALSE(screen->cameraButton()->isHidden());

    // The review screen takes the clip, the sign flag and the topic, and enters the clip as a job.
    settle();
    auto review = std::dynamic_pointer_cast<PZVideoCaptureEditController>(flow->topViewController());
    ASSERT_TRUE(review);
    EXPECT_EQ(review->movileFilePath().stringValue(), path);
    EXPECT_FALSE(review->isVideoSign());
    EXPECT_EQ(review->topic().stringValue(), "#旅行#");
    ASSERT_TRUE(review->guid().isString());
    EXPECT_EQ(PZFFmpeg::fetchMovieInfo_WithField(review->guid().stringValue(), "length").intValue(), 2);
    // The recording screen has gone: camera stopped, chain released, clock back to zero.
    EXPECT_FALSE(screen->videoCamera());
    EXPECT_EQ(PZVideoCaptureController::recordSeconds(), 0);
    EXPECT_FALSE(UIApplication::sharedApplication()->isIdleTimerDisabled());
}

TEST_F(RecordingScreen, FilterButtonsRebuildTheChainWithTheirFilter)
{
    PZVideoCaptureController::setEditionWordForTesting("ombri");
    auto screen = openRecording(true);
    frames(screen, 1);

    // With the bar down the strip takes no touches: a tap there focuses instead.
    tap(filterButton(screen, 1));
    EXPECT_EQ(screen->currentFilter(), 1000);

    tap(screen->filterButton());
    settle();
    EXPECT_EQ(screen->filterView()->frame().origin.y, 296);
    EXPECT_TRUE(screen->filterScrollView()->isUserInteractionEnabled());

    std::vector<gputest::Picture> pictures;
    for (int index = 0; index < 11; ++index) {
        SCOPED_TRACE(index);
        screen->filterScrollView()->setContentOffset(CGPointMake(std::min(index * 64.0, 11 * 64.0 - 320), 0));
        const Ref<GPUFilter> before = screen->filter();
        tap(filterButton(screen, index));
        frames(screen, 1);
        EXPECT_EQ(screen->currentFilter(), 1000 + index);
        EXPECT_TRUE(filterButton(screen, index)->isSelected());
        if (index > 0) {
            EXPECT_FALSE(filterButton(screen, index - 1)->isSelected());
        }
        // camera -> rotation (mode 1) -> the new filter -> {the screen's view, the writer}
        const Ref<GPUFilter> filter = screen->filter();
        ASSERT_TRUE(filter);
        EXPECT_NE(filter, before);
        ASSERT_EQ(screen->videoCamera()->targets().size(), 1u);
        auto rotation = std::dynamic_pointer_cast<GPURotationFilter>(screen->videoCamera()->targets()[0]);
        ASSERT_TRUE(rotation);
        EXPECT_EQ(rotation->rotationMode(), 1);
        ASSERT_EQ(rotation->targets().size(), 1u);
        EXPECT_EQ(rotation->targets()[0], std::dynamic_pointer_cast<GPUInput>(filter));
        ASSERT_EQ(filter->targets().size(), 2u);
        EXPECT_EQ(filter->targets()[0], std::dynamic_pointer_cast<GPUInput>(screen->view()));
        EXPECT_EQ(filter->targets()[1], std::dynamic_pointer_cast<GPUInput>(screen->movieWriter()));
        EXPECT_EQ(bool(std::dynamic_pointer_cast<GPUSketchFilter>(filter)), index == 7);
        EXPECT_EQ(bool(std::dynamic_pointer_cast<GPUToonFilter>(filter)), index == 8);
        EXPECT_EQ(bool(std::dynamic_pointer_cast<GPUSobelEdgeDetectionFilter>(filter)), index >= 7 && index <= 9);
        pictures.push_back(gputest::readFramebuffer(*filter));
    }
    // Each button shows the camera its own way.
    for (size_t a = 0; a < pictures.size(); ++a) {
        for (size_t b = a + 1; b < pictures.size(); ++b) {
            EXPECT_FALSE(gputest::picturesMatch(pictures[a], pictures[b], 8)) << a << " and " << b << " look alike";
        }
    }

    // While recording the bar is locked down and its button hidden.
    tap(screen->captureButton());
    EXPECT_EQ(screen->filterView()->frame().origin.y, 365);
    EXPECT_TRUE(screen->filterButton()->isHidden());
    EXPECT_FALSE(screen->filterScrollView()->isUserInteractionEnabled());
}

TEST_F(RecordingScreen, FilterBarGoesBackDownByItsButtonAndTheCloseButtonEndsTheScreen)
{
    auto screen = openRecording();
    frames(screen, 1);
    tap(screen->filterButton());
    settle();
    ASSERT_TRUE(sameFrame(screen->filterView()->frame(), CGRectMake(0, 296, 320, 114)));
    tap(filterButton(screen, 2));
    EXPECT_EQ(screen->currentFilter(), 1002);

    // The second press lowers the bar under the bottom bar, and its strip stops taking touches.
    tap(screen->filterButton());
    settle();
    EXPECT_TRUE(sameFrame(screen->filterView()->frame(), CGRectMake(0, 365, 320, 114)));
    EXPECT_FALSE(screen->filterScrollView()->isUserInteractionEnabled());
    tap(filterButton(screen, 4));
    EXPECT_EQ(screen->currentFilter(), 1002);
    // And the third raises it again.
    tap(screen->filterButton());
    settle();
    EXPECT_EQ(screen->filterView()->frame().origin.y, 296);
    EXPECT_TRUE(screen->filterScrollView()->isUserInteractionEnabled());

    // The close button in the bottom bar takes the whole flow away, camera and all.
    tap(screen->captureCancel());
    settle();
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(screen->videoCamera());
    EXPECT_FALSE(UIApplication::sharedApplication()->isIdleTimerDisabled());
}

TEST_F(RecordingScreen, PartnersLastButtonOpensTheStoreAndEnds)
{
    std::vector<int> exits;
    PZVideoCaptureController::setExitHook([&](int status) { exits.push_back(status); });
    auto screen = openRecording(true);
    frames(screen, 1);
    tap(screen->filterButton());
    settle();
    screen->filterScrollView()->setContentOffset(CGPointMake(10 * 64 - 320, 0));
    tap(filterButton(screen, 9));
    EXPECT_EQ(UIApplication::sharedApplication()->openedURLs(), std::vector<std::string>{kOmbriStoreURL});
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(RecordingScreen, ClockCountsHoursMinutesAndSecondsAndStartsAgainAfterTheScreenLeaves)
{
    startEngine();
    auto screen = openRecording();
    frames(screen, 1);
    tap(screen->captureButton());
    frames(screen, 15);
    EXPECT_EQ(screen->countLable()->text(), "00:00:01");
    EXPECT_EQ(PZVideoCaptureController::recordSeconds(), 1);
    struct Tick {
        int seconds;
        const char* text;
    };
    const Tick ticks[] = {{59, "00:00:59"}, {60, "00:01:00"}, {3599, "00:59:59"}, {3600, "01:00:00"}, {3661, "01:01:01"}};
    for (const Tick& t : ticks) {
        while (PZVideoCaptureController::recordSeconds() < t.seconds) {
            screen->countCaptureTime();
        }
        EXPECT_EQ(screen->countLable()->text(), t.text);
    }

    tap(screen->captureButton());
    settle();
    EXPECT_EQ(PZVideoCaptureController::recordSeconds(), 0);
    // Back from review: a new recording shows the last text until its first tick.
    flow->popViewControllerAnimated(false);
    frames(screen, 1);
    tap(screen->captureButton());
    EXPECT_EQ(screen->countLable()->text(), "01:01:01");
    frames(screen, 15);
    EXPECT_EQ(screen->countLable()->text(), "00:00:01");
}

TEST_F(RecordingScreen, EachAppearanceNamesANewFileEvenWithinOneSecond)
{
    startEngine();
    const double pinned = localTime(2026, 12, 10, 22, 5, 9) + 0.25;
    NSDate::setNowFunction([pinned] { return pinned; });
    auto screen = openRecording();
    const std::string folder = NSHomeDirectory() + "/Documents/media/";
    std::vector<std::string> paths;
    for (int appearance = 0; appearance < 3; ++appearance) {
        SCOPED_TRACE(appearance);
        paths.push_back(screen->movileFilePath());
        EXPECT_EQ(screen->currentFilter(), 1000);
        EXPECT_TRUE(filterButton(screen, 0)->isSelected());
        frames(screen, 1);
        // Another look, then a short recording to review.
        tap(screen->filterButton());
        settle();
        tap(filterButton(screen, 3));
        EXPECT_FALSE(filterButton(screen, 0)->isSelected());
        tap(screen->captureButton());
        frames(screen, 5 + appearance * 5);
        tap(screen->captureButton());
        settle();
        ASSERT_TRUE(std::dynamic_pointer_cast<PZVideoCaptureEditController>(flow->topViewController()));
        flow->popViewControllerAnimated(false);
        EXPECT_FALSE(filterButton(screen, 3)->isSelected());
    }
    NSDate::setNowFunction(nullptr);
    EXPECT_EQ(paths, (std::vector<std::string>{folder + "2026-12-10-22-05-09.MOV", folder + "2026-12-10-22-05-09-1.MOV",
                                              folder + "2026-12-10-22-05-09-2.MOV"}));
    // Each clip is whole and kept its own length: none was written over.
    for (size_t i = 0; i < paths.size(); ++i) {
        const ProbedMovie movie = probeMovie(paths[i]);
        ASSERT_EQ(movie.error, "") << paths[i];
        ASSERT_TRUE(movie.stream("video"));
        // (a frame the camera made while the filter bar moved may still arrive once recording runs)
        EXPECT_NEAR(double(movie.stream("video")->packetTimes.size()), double(5 + i * 5), 1.0) << paths[i];
    }
}

TEST_F(RecordingScreen, FocusTapIsKeptInsideTheDevicesSpaceAndTheSquareBlinks)
{
    // A full-screen camera: the status bar is hidden, so the picture reaches the bottom of the window.
    UIApplication::sharedApplication()->setStatusBarHidden(true);
    auto screen = openRecording(true);
    frames(screen, 1);
    ASSERT_EQ(screen->view()->bounds().size.height, 480);
    const Ref<AVCaptureDevice> device = screen->videoCamera()->videoInput()->device();
    struct Tap {
        CGPoint at;
        CGPoint focus;
    };
    const Tap taps[] = {
        {{160, 230}, {0.5, 0.5}},
        {{80, 115}, {0.25, 0.25}},
        {{160, 460}, {0.5, 1.0}},  // the bottom of the picture
        {{160, 470}, {0.5, 1.0}},  // below it: kept at the edge
        {{0, 479.5}, {0.0, 1.0}},
    };
    for (const Tap& t : taps) {
        window->simulateTap(t.at);
        EXPECT_NEAR(device->focusPointOfInterest().x, t.focus.x, 1e-9) << t.at.y;
        EXPECT_NEAR(device->focusPointOfInterest().y, t.focus.y, 1e-9) << t.at.y;
        clock.advance(1.0);
    }

    // The square: 100 x 100 centred on the tap, shrinking to 70 x 70 over 0.3 s, then four blinks.
    window->simulateTap(CGPointMake(100, 200));
    const Ref<UIImageView> square = screen->smallFocusView();
    ASSERT_TRUE(square->image());
    EXPECT_EQ(square->alpha(), 1);
    EXPECT_TRUE(sameFrame(square->frame(), CGRectMake(50, 150, 70, 70)));
    std::vector<double> alphas;
    for (int step = 0; step < 5; ++step) {
        clock.advance(step == 0 ? 0.3 : 0.1);
        alphas.push_back(square->alpha());
    }
    EXPECT_EQ(alphas, (std::vector<double>{0.5, 1, 0.5, 1, 0}));
}

TEST_F(RecordingScreen, TorchAndCameraSwitchFollowTheDevices)
{
    struct Phone {
        const char* name;
        bool backTorch;
        bool front;
    };
    const Phone phones[] = {{"back camera with torch and a front camera", true, true},
                            {"back camera without torch", false, true},
                            {"no front camera", true, false}};
    for (const Phone& phone : phones) {
        SCOPED_TRACE(phone.name);
        AVCaptureDevice::resetStandInDevices();
        std::vector<Ref<AVCaptureDevice>> devices = AVCaptureDevice::devicesWithMediaType(AVMediaTypeAudio);
        for (const Ref<AVCaptureDevice>& device : AVCaptureDevice::devicesWithMediaType(AVMediaTypeVideo)) {
            if (device->position() == AVCaptureDevicePositionFront && !phone.front) {
                continue;
            }
            if (device->position() == AVCaptureDevicePositionBack && !phone.backTorch) {
                AVCaptureDeviceCapabilities caps = device->capabilities();
                caps.hasTorch = false;
                device->setCapabilities(caps);
            }
            devices.push_back(device);
        }
        AVCaptureDevice::setStandInDevices(devices);
        auto screen = openRecording(true);
        frames(screen, 1);
        EXPECT_EQ(screen->torchButton()->isHidden(), !phone.backTorch);
        EXPECT_EQ(screen->cameraButton()->isHidden(), !phone.front);
        if (phone.backTorch && phone.front) {
            tap(screen->torchButton());
            EXPECT_EQ(screen->videoCamera()->videoInput()->device()->torchMode(), AVCaptureTorchModeOn);
            EXPECT_EQ(screen->torchButton()->imageForState(UIControlStateNormal), UIImage::imageNamed("capture-flash-on"));
            EXPECT_EQ(screen->torchButton()->imageForState(UIControlStateHighlighted),
                      UIImage::imageNamed("capture-flash-on-passed"));
            // The front camera has no torch: the switch goes and shows off again.
            tap(screen->cameraButton());
            EXPECT_EQ(screen->videoCamera()->videoInput()->device()->position(), AVCaptureDevicePositionFront);
            EXPECT_TRUE(screen->torchButton()->isHidden());
            EXPECT_EQ(screen->torchButton()->imageForState(UIControlStateNormal), UIImage::imageNamed("capture-flash-off"));
            tap(screen->cameraButton());
            EXPECT_FALSE(screen->torchButton()->isHidden());
        }
        screen->dismissModalViewControllerAnimated(false);
    }
}

TEST_F(RecordingScreen, LeavingWhileRecordingFinishesTheFileAndStopsTheClock)
{
    startEngine();
    auto screen = openRecording();
    const std::string path = screen->movileFilePath();
    frames(screen, 1);
    tap(screen->captureButton());
    frames(screen, 15);
    const Ref<GPUMovieWriter> writer = screen->movieWriter();

    // The flow is closed from outside (the application moves elsewhere) in the middle of the recording.
    root->dismissModalViewControllerAnimated(false);
    EXPECT_FALSE(screen->timer());
    EXPECT_FALSE(screen->captureButton()->isSelected());
    EXPECT_EQ(writer->assetWriter()->status(), AVAssetWriterStatusCompleted);
    const ProbedMovie movie = probeMovie(path);
    ASSERT_EQ(movie.error, "");
    ASSERT_TRUE(movie.stream("video"));
    EXPECT_EQ(movie.stream("video")->packetTimes.size(), 15u);
    // Nothing was pushed, and the clock neither runs nor keeps its count.
    EXPECT_EQ(flow->viewControllers().size(), 1u);
    clock.advance(3);
    EXPECT_EQ(PZVideoCaptureController::recordSeconds(), 0);
}

// The application's bundle, but with the named fragment shaders damaged (they do not compile), for as
// long as it lives.
class DamagedShaders {
public:
    DamagedShaders(const std::filesystem::path& folder, std::initializer_list<const char*> damaged)
    {
        namespace fs = std::filesystem;
        const fs::path resources = NSBundle::mainBundle()->bundlePath();
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(resources)) {
            fs::create_symlink(entry.path(), folder / entry.path().filename());
        }
        for (const char* name : damaged) {
            const fs::path shader = folder / (std::string(name) + ".fsh");
            fs::remove(shader);
            std::ofstream(shader) << "void main() { gl_FragColor = missing(textureCoordinate); }\n";
        }
        NSBundle::setMainBundlePath(folder.string());
    }
    ~DamagedShaders() { NSBundle::setMainBundlePath(""); }
};

TEST_F(RecordingScreen, ShadersThatDoNotCompileAreToldNotFatal)
{
    PZVideoCaptureController::setEditionWordForTesting("ombri");
    UIAlertView::resetRecords();
    {
        // The first look's shader: the camera is never started and recording cannot begin.
        DamagedShaders damaged(home / "first", {"originality"});
        auto screen = openRecording(true);
        settle();
        const Ref<UIAlertView> alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->message(), kCaptureUnavailableMessage);
        EXPECT_FALSE(screen->videoCamera());
        EXPECT_FALSE(screen->captureButton()->isEnabled());
        alert->dismissWithClickedButtonIndex_animated(0, false);
        tap(screen->captureButton());
        EXPECT_FALSE(screen->isRecording());
        root->dismissModalViewControllerAnimated(false);
        settle();
    }
    UIAlertView::resetRecords();
    {
        // One filter's shader: choosing it keeps the filter on show, connected once, and says why.
        DamagedShaders damaged(home / "one", {"blackWhite"});
        auto screen = openRecording(true);
        frames(screen, 1);
        EXPECT_FALSE(UIAlertView::currentAlert());
        tap(screen->filterButton());
        settle();
        const Ref<GPUFilter> before = screen->filter();
        tap(filterButton(screen, 1));
        const Ref<UIAlertView> alert = UIAlertView::currentAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->message(), kCaptureFilterUnavailableMessage);
        alert->dismissWithClickedButtonIndex_animated(0, false);
        EXPECT_EQ(screen->filter(), before);
        ASSERT_EQ(before->targets().size(), 2u);
        EXPECT_EQ(before->targets()[0], std::dynamic_pointer_cast<GPUInput>(screen->view()));
        frames(screen, 1);
        EXPECT_TRUE(screen->captureButton()->isEnabled());
    }
}

// What a person sees of the preview: the screen drawn as the window draws it, after every camera frame
// of ten seconds. Every frame must change the picture (no still stretch over 100 ms), though the
// screen's own bars cover the top and bottom of the camera's picture.
TEST_F(RecordingScreen, ThePreviewVisiblyMovesWithEveryCameraFrame)
{
    // The screen's bars as a person sees them, drawn from their pictures.
    UIImage::installImageCodecs();
    auto screen = openRecording();
    frames(screen, 1);
    // With the filter bar raised, as a person picking a look sees it.
    tap(screen->filterButton());
    settle();
    UIScreenRenderer renderer(CGSizeMake(320, 480), 1);
    renderer.renderFrame();
    auto pictureSum = [&] {
        const CGContextRef& pixels = renderer.context();
        uint64_t sum = 0xCBF29CE484222325ull;
        for (size_t y = 0; y < pixels->pixelHeight(); ++y) {
            const auto* row = static_cast<const uint8_t*>(pixels->data()) + y * pixels->bytesPerRow();
            for (size_t i = 0; i < pixels->pixelWidth() * 4; ++i) {
                sum = (sum ^ row[i]) * 0x100000001B3ull;
            }
        }
        return sum;
    };
    uint64_t shown = pictureSum();
    double lastChange = clock.now();
    double longestStill = 0;
    for (int i = 0; i < 150; ++i) {
        frames(screen, 1);
        if (renderer.renderFrame()) {
            const uint64_t sum = pictureSum();
            if (sum != shown) {
                shown = sum;
                longestStill = std::max(longestStill, clock.now() - lastChange);
                lastChange = clock.now();
            }
        }
    }
    longestStill = std::max(longestStill, clock.now() - lastChange);
    EXPECT_LE(longestStill, 0.1) << "the preview stood still for " << longestStill << " s";
}

}  // namespace RecordingScreenTest_cpp
}  // namespace
