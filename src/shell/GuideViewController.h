#pragma once
// GuideViewController (stand-in until the first-run guide lands): an empty page.
#include "platform/uikit/UIViewController.h"

// User default: the guide was finished.
inline constexpr char kShouldShowGuideKey[] = "kShouldShowGuideKey";
inline constexpr char kShouldShowGuideValue[] = "kShouldShowGuideValue";

class GuideViewController : public UIViewController {
public:
    // Made from the interface file "GuideViewController" by the real guide; the stand-in has none.
    static Ref<GuideViewController> initWithNibName_bundle(const std::string& nibName, const Ref<NSBundle>& bundle)
    {
        return make<GuideViewController>();
    }

    GuideViewController() = default;
};
