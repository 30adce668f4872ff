#pragma once
// A visible key window on a manual clock, with the interface's process-wide records cleared before
// and after, so that the tests of one binary do not see each other's alerts, keyboard or first
// responder.
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainThread.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

struct Stage {
    MainThreadScope main;
    ScopedManualClock clock;
    Ref<UIWindow> window;

    Stage()
    {
        reset();
        window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
    }
    ~Stage()
    {
        window->setHidden(true);
        reset();
    }
    static void reset()
    {
        if (auto responder = UIResponder::currentFirstResponder()) {
            responder->resignFirstResponder();
        }
        UIAlertView::resetRecords();
        UIActionSheet::resetRecords();
        UIKeyboard::reset();
    }
};
