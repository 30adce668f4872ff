#pragma once
// The device: an iPhone with the phone's system name and a settable system version; its orientation
// is set by tests (simulateOrientation) and posts the orientation notification while notifications are
// being generated.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIKitDefines.h"

inline constexpr char UIDeviceOrientationDidChangeNotification[] = "UIDeviceOrientationDidChangeNotification";

class UIDevice : public NSObject {
public:
    static Ref<UIDevice> currentDevice();

    const std::string& name() const { return name_; }
    const std::string& model() const { return model_; }
    const std::string& localizedModel() const { return model_; }
    const std::string& systemName() const { return systemName_; }
    const std::string& systemVersion() const { return systemVersion_; }
    UIUserInterfaceIdiom userInterfaceIdiom() const { return idiom_; }
    bool isMultitaskingSupported() const { return true; }

    UIDeviceOrientation orientation() const { return orientation_; }
    bool isGeneratingDeviceOrientationNotifications() const { return generating_ > 0; }
    void beginGeneratingDeviceOrientationNotifications() { ++generating_; }
    void endGeneratingDeviceOrientationNotifications()
    {
        if (generating_ > 0) --generating_;
    }

    // Headless settings.
    void setSystemVersion(const std::string& version) { systemVersion_ = version; }
    void setModel(const std::string& model) { model_ = model; }
    void setName(const std::string& name) { name_ = name; }
    void setUserInterfaceIdiom(UIUserInterfaceIdiom idiom) { idiom_ = idiom; }
    // The device turns: the orientation changes and, while notifications are being generated, the
    // orientation notification is posted (only when it changed).
    void simulateOrientation(UIDeviceOrientation orientation);

    UIDevice() = default;

private:
    std::string name_ = "iPhone";
    std::string model_ = "iPhone";
    std::string systemName_ = "iPhone OS";
    std::string systemVersion_ = "5.0";
    UIUserInterfaceIdiom idiom_ = UIUserInterfaceIdiomPhone;
    UIDeviceOrientation orientation_ = UIDeviceOrientationPortrait;
    int generating_ = 0;
};
