#pragma once
// Base screens that read the edition's switches. When the view has loaded, controllerConfig holds the
// entry of the edition configuration list ("<edition word>-OEM-config.plist" in the main bundle) under
// the screen's own runtime class name (a subclass reads its own entry, never its base's). The list is
// read again at every viewDidLoad; a missing list or entry gives nil, and the screens then take their
// defaults.
#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

namespace EditionConfig {
// The configuration list's resource name: "%@-OEM-config" with the edition word.
std::string resourceName();
// The entry of the class in the list as it is in the main bundle now; nil when either is missing.
Value entryForClass(const std::string& className);
}  // namespace EditionConfig

class PZViewController : public UIViewController {
public:
    static Ref<PZViewController> create() { return make<PZViewController>(); }

    const Value& controllerConfig() const { return controllerConfig_; }
    void setControllerConfig(const Value& config) { controllerConfig_ = config; }

    // Loads controllerConfig; subclasses call it first and read the configuration afterwards.
    void viewDidLoad() override;
    // Drops controllerConfig (the next viewDidLoad reads the list again).
    void viewDidUnload() override;
    // The class's entry of the configuration list, or nil.
    virtual Value loadConfig();
    // Portrait only.
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;

    PZViewController() = default;

private:
    Value controllerConfig_;
};
