#pragma once
// FeedbackPopup: the popup of emotion marks and reports a viewer opens from a video's feedback button.
// The popup itself belongs to the feed's screens, above this module; they install it with setPresenter
// at start-up. Until one is installed the call is only recorded (lastShown), so the inline player can be
// used and tested on its own. Main thread only.
#include <functional>
#include <optional>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGGeometry.h"

class UINavigationController;

class FeedbackPopup {
public:
    using Presenter =
        std::function<void(CGPoint point, const Value& channel, const Ref<UINavigationController>& navigation)>;

    // Shows the popup for the record at the point (in the navigation controller's view).
    static void showAtPostion_withChannel_andNavi(CGPoint point, const Value& channel,
                                                   const Ref<UINavigationController>& navigation);

    // The screens' popup (empty: none).
    static void setPresenter(Presenter presenter);

    struct Shown {
        CGPoint point;
        Value channel;
        Weak<UINavigationController> navigation;
    };
    // The last call, presenter or not; clearShown forgets it.
    static std::optional<Shown> lastShown();
    static void clearShown();
};
