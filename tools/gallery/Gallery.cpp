#include "Gallery.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "capture/CaptureGalleryEntries.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIGallery.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/UIWindowSnapshot.h"
#include "service/StandInService.h"
#include "social/AccountGalleryEntries.h"
#include "social/ProfileGalleryEntries.h"
#include "shell/FeedCellGalleryEntries.h"
#include "shell/ShellGalleryEntries.h"
#include "shell/FeedGalleryEntries.h"
#include "shell/VideoPageGalleryEntries.h"
#include "social/SettingsGalleryEntries.h"
#include "social/ShareGalleryEntries.h"
#include "social/SocialGalleryEntries.h"
#include "social/FriendsGalleryEntries.h"
#include "widgets/WidgetGalleryEntries.h"

namespace gallery {

void registerPlatformEntries();  // PlatformEntries.cpp
void registerWebEntries();       // WebEntries.cpp
void registerPublishEntries();   // PublishEntries.cpp
void registerPlayerEntries();    // PlayerEntries.cpp
void registerDeviceEntries();    // DeviceEntries.cpp
void registerMotionEntries();    // MotionEntries.cpp

void registerAllEntries()
{
    registerPlatformEntries();
    registerWidgetGalleryEntries();
    registerWebEntries();
    registerPublishEntries();
    registerPlayerEntries();
    registerDeviceEntries();
    registerCaptureGalleryEntries();
    registerShellGalleryEntries();
    registerSettingsGalleryEntries();
    registerFeedCellGalleryEntries();
    registerAccountGalleryEntries();
    registerFeedGalleryEntries();
    registerSocialGalleryEntries();
    registerShareGalleryEntries();
    registerFriendsGalleryEntries();
    registerProfileGalleryEntries();
    registerVideoPageGalleryEntries();
    registerMotionEntries();  // last: its sheets build other entries' scenes
}

namespace {
namespace Gallery_cpp {

constexpr auto kReadyTimeout = std::chrono::seconds(5);

bool writeFile(const std::string& path, const NSData& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.bytes()), std::streamsize(bytes.length()));
    return bool(out);
}

// What one entry leaves behind goes before the next: alerts and sheets on show, windows, kept objects,
// a hidden status bar.
void clearUp()
{
    UIAlertView::resetRecords();
    UIActionSheet::resetRecords();
    if (auto responder = UIResponder::currentFirstResponder()) {
        responder->resignFirstResponder();
    }
    UIKeyboard::reset();
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {
        window->setHidden(true);
    }
    UIGallery::releaseKept();
    // A full-screen entry hides the status bar; the next entry starts with it shown.
    UIApplication::sharedApplication()->setStatusBarHidden(false);
    drainMain();
}

// When the last animation that will end in any visible window's layers ends (0: none).
double animationsEnd()
{
    double end = 0;
    std::vector<Ref<CALayer>> pending;
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {
        if (!window->isHidden()) pending.push_back(window->layer());
    }
    while (!pending.empty()) {
        Ref<CALayer> layer = std::move(pending.back());
        pending.pop_back();
        end = std::max(end, layer->animationsEndTime());
        pending.insert(pending.end(), layer->sublayers().begin(), layer->sublayers().end());
    }
    return end;
}

}  // namespace Gallery_cpp
}  // namespace

Result run(const std::string& dir, const std::vector<std::string>& names)
{
    using namespace Gallery_cpp;
    Result result;
    // A home of its own: the run never reads or writes a person's data.
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("ombri-gallery-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    FoundationRoots::setHomeDirectory(home.string());
    UIImage::installImageCodecs();
    standin::ServerOptions options;
    options.lifetime = std::chrono::minutes(10);
    standin::StandInService service(options);
    ::setenv("OMBRI_SERVICE_HOST", service.hostPort().c_str(), 1);

    for (const UIGalleryEntry& entry : UIGallery::entries()) {
        if (!names.empty() && std::find(names.begin(), names.end(), entry.name) == names.end()) {
            continue;
        }
        try {
            auto window = UIWindow::initWithFrame(CGRectMake(0, 0, entry.size.width, entry.size.height));
            window->setBackgroundColor(UIColor::whiteColor());
            window->makeKeyAndVisible();
            entry.build(window);
            if (!pumpMainUntil([&] { return !entry.ready || entry.ready(); }, kReadyTimeout)) {
                result.unready.push_back(entry.name);
            }
            // Animations the build started run to their end first, so the picture shows where they lead.
            pumpMainUntil([&] { return Clock::now() >= animationsEnd(); }, kReadyTimeout);
            drainMain();  // the layout and display pass the build posted
            const auto picture = UIScreenSnapshot(entry.size, 2);
            const auto png = UIImagePNGRepresentation(picture);
            const std::string path = dir + "/" + entry.name + ".png";
            if (png && writeFile(path, *png)) {
                result.written.push_back(path);
            } else {
                result.failed.push_back(entry.name);
            }
        } catch (const std::exception&) {
            result.failed.push_back(entry.name);
        }
        clearUp();
    }
    std::error_code error;
    std::filesystem::remove_all(home, error);
    return result;
}

}  // namespace gallery
