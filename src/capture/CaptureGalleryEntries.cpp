#include "capture/CaptureGalleryEntries.h"

#include <cctype>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "capture/PZVideoCaptureController.h"
#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "capture/gpu/GPURotationFilter.h"
#include "capture/gpu/GPUSobelEdgeDetectionFilter.h"
#include "capture/gpu/GPUView.h"
#include "capture/widgets/ExpandyButton.h"
#include "platform/uikit/UIColor.h"
#include "platform/media/SyntheticMedia.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace CaptureGalleryEntries_cpp {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

uint8_t clampByte(double v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
}

// One landscape frame of the synthetic camera, uploaded as the camera's BGRA pixel buffers are.
class CameraStill : public GPUOutput {
public:
    static Ref<CameraStill> create()
    {
        auto source = std::make_shared<CameraStill>();
        source->initBody();
        return source;
    }
    void deliverFrame(int64_t index)
    {
        SyntheticCamera camera(kWidth, kHeight);
        const MovieVideoFrame& frame = camera.frameAt(index);
        std::vector<uint8_t> bgra(static_cast<size_t>(kWidth) * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const double luma = frame.planes[0][y * frame.strides[0] + x];
                const double u = frame.planes[1][(y / 2) * frame.strides[1] + x / 2] - 128.0;
                const double v = frame.planes[2][(y / 2) * frame.strides[2] + x / 2] - 128.0;
                uint8_t* px = bgra.data() + (static_cast<size_t>(y) * kWidth + x) * 4;
                px[0] = clampByte(luma + 1.772 * u);
                px[1] = clampByte(luma - 0.344 * u - 0.714 * v);
                px[2] = clampByte(luma + 1.402 * v);
                px[3] = 255;
            }
        }
        GPUOpenGLESContext::useImageProcessingContext();
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, outputTexture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE, bgra.data());
        inputTextureSize_ = CGSizeMake(kWidth, kHeight);
        for (const Ref<GPUInput>& target : targets_) {
            target->setInputSize(inputTextureSize_);
            target->newFrameReady();
        }
    }
};

// The recording screen's chain (camera, rotation to upright, the picked filter, the preview) over the
// whole window, run for one frame.
UIGalleryEntry filterEntry(const std::string& look, std::function<Ref<GPUFilter>()> makeFilter)
{
    auto preview = std::make_shared<Ref<GPUView>>();
    return {"recording-filter-" + look, CGSizeMake(240, 320),
            [preview, makeFilter](const Ref<UIWindow>& window) {
                auto view = GPUView::initWithFrame(window->bounds());
                window->addSubview(view);
                auto camera = CameraStill::create();
                auto rotation = GPURotationFilter::initWithRotation(1);
                Ref<GPUFilter> filter = makeFilter();
                camera->addTarget(rotation);
                rotation->addTarget(filter);
                filter->addTarget(view);
                camera->deliverFrame(90);
                camera->removeAllTargets();
                rotation->removeAllTargets();
                filter->removeAllTargets();
                *preview = view;
            },
            [preview] { return *preview && (*preview)->eaglLayer()->presentedCount() > 0; }};
}

// The recording screen in its flow, live from the synthetic camera: one look picked from the raised
// filter bar, and, when `recording`, the record button pressed and the clock running.
UIGalleryEntry recordingScreenEntry(const std::string& name, int filterIndex, bool recording)
{
    auto screen = std::make_shared<Ref<PZVideoCaptureController>>();
    return {name, CGSizeMake(320, 480),
            [screen, filterIndex, recording](const Ref<UIWindow>& window) {
                auto capture = PZVideoCaptureController::create();
                window->setRootViewController(UINavigationController::initWithRootViewController(capture));
                capture->filterButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
                auto button = capture->filterScrollView()->viewWithTag(1000 + filterIndex);
                capture->filterScrollView()->setContentOffset(
                    CGPointMake(std::max(0.0, std::min(button->frame().origin.x - 128, capture->filterScrollView()->contentSize().width - 320)), 0));
                std::dynamic_pointer_cast<UIButton>(button)->sendActionsForControlEvents(UIControlEventTouchUpInside);
                if (recording) {
                    capture->captureButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
                }
                UIGallery::keep(capture);
                *screen = capture;
            },
            [screen, recording] {
                auto view = *screen ? std::dynamic_pointer_cast<GPUView>((*screen)->view()) : nullptr;
                return view && view->eaglLayer()->presentedCount() > 2 &&
                       (!recording || PZVideoCaptureController::recordSeconds() >= 2);
            }};
}

}  // namespace CaptureGalleryEntries_cpp
}  // namespace

void registerCaptureGalleryEntries()
{
    using CaptureGalleryEntries_cpp::filterEntry;
    for (const char* name : {"originality", "blackWhite", "oldFilm", "antiColor", "radial", "pro", "edge", "earlyBird"}) {
        const std::string look = name;
        std::string entryName;
        for (char c : look) {
            if (std::isupper(static_cast<unsigned char>(c))) {
                entryName += '-';
                entryName += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            } else {
                entryName += c;
            }
        }
        UIGallery::add(filterEntry(entryName, [look] { return GPUFilter::initWithFragmentShaderFromFile(look); }));
    }
    UIGallery::add(filterEntry("sobel", [] { return Ref<GPUFilter>(GPUSobelEdgeDetectionFilter::create()); }));
    UIGallery::add(filterEntry("sketch", [] { return Ref<GPUFilter>(GPUSketchFilter::create()); }));
    UIGallery::add(filterEntry("toon", [] { return Ref<GPUFilter>(GPUToonFilter::create()); }));

    using CaptureGalleryEntries_cpp::recordingScreenEntry;
    UIGallery::add(recordingScreenEntry("recording-screen-filter-bar-old-film", 2, false));
    UIGallery::add(recordingScreenEntry("recording-screen-recording-toon", 8, true));
    // The torch modes of a camera screen on a mid-grey backdrop, closed on "自动" and open.
    for (const bool open : {false, true}) {
        UIGallery::add({open ? "expandy-button-open" : "expandy-button-collapsed", CGSizeMake(220, 60),
                        [open](const Ref<UIWindow>& window) {
                            window->setBackgroundColor(UIColor::colorWithWhite_alpha(0.45, 1.0));
                            auto button = ExpandyButton::initWithPoint_title_buttonNames_selectedItem(
                                CGPointMake(10, 14), "闪光灯", {"自动", "打开", "关闭"}, 0);
                            window->addSubview(button);
                            if (open) {
                                button->chooseLabel_forEvent(button, nullptr);
                            }
                        }});
    }
}
