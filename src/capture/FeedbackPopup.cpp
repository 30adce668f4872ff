#include "capture/FeedbackPopup.h"

#include "platform/uikit/UINavigationController.h"

namespace {
namespace FeedbackPopup_cpp {

FeedbackPopup::Presenter& presenter()
{
    static FeedbackPopup::Presenter value;
    return value;
}

std::optional<FeedbackPopup::Shown>& shown()
{
    static std::optional<FeedbackPopup::Shown> value;
    return value;
}

}  // namespace FeedbackPopup_cpp
}  // namespace

void FeedbackPopup::showAtPostion_withChannel_andNavi(CGPoint point, const Value& channel,
                                                       const Ref<UINavigationController>& navigation)
{
    FeedbackPopup_cpp::shown() = Shown{point, channel, navigation};
    if (auto present = FeedbackPopup_cpp::presenter()) {
        present(point, channel, navigation);
    }
}

void FeedbackPopup::setPresenter(Presenter presenter) { FeedbackPopup_cpp::presenter() = std::move(presenter); }

std::optional<FeedbackPopup::Shown> FeedbackPopup::lastShown() { return FeedbackPopup_cpp::shown(); }

void FeedbackPopup::clearShown() { FeedbackPopup_cpp::shown().reset(); }
