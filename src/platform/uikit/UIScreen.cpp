#include "platform/uikit/UIScreen.h"

#include "platform/uikit/UIApplication.h"

Ref<UIScreen> UIScreen::mainScreen()
{
    static auto* screen = new Ref<UIScreen>(std::make_shared<UIScreen>());  // never destroyed
    return *screen;
}

CGRect UIScreen::applicationFrame() const
{
    CGRect frame = bounds_;
    auto application = UIApplication::sharedApplication();
    if (!application->isStatusBarHidden()) {
        const CGFloat bar = application->statusBarFrame().size.height;
        frame.origin.y += bar;
        frame.size.height -= bar;
    }
    return frame;
}
