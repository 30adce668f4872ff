#pragma once
// What a person does to the screen, in screen points: one finger and the keyboard. The desktop window
// turns the mouse and the keys into these calls; a program that drives the application as a person
// would (the tour) calls them too, so both go the same way.
//
// A finger that goes down while an alert or a sheet shows belongs to it: lifted on the button it went
// down on, that button is clicked (anywhere else nothing happens). Otherwise the finger goes to the
// topmost visible window whose hit testing takes the point, and that window gets the whole touch (its
// gesture recognisers first, then the view under the finger, as the phone delivers touches). Keys go to
// the first responder through the simulated keyboard.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UITextInput.h"

class UIView;

namespace UIScreenInput {

// The screen's size in points (the main screen's bounds).
CGSize screenSize();

// The view the finger went down on (null when nothing took it: no window there, or an alert's
// background); a finger already down is lifted first.
Ref<UIView> touchDown(CGPoint point);
void touchMoved(CGPoint point);
void touchUp(CGPoint point);
// A finger lifted without ending its gesture (the window lost the mouse).
void touchCancelled();
bool isTouching();

// Down and up at one point: the view it went to.
Ref<UIView> tap(CGPoint point);
// The view a finger going down at this point would touch, without touching anything: what lies on top
// there as a person sees it (null under an alert or a sheet, or where no window takes the point).
Ref<UIView> viewAt(CGPoint point);

// Text typed on the keyboard (each character a key), the return key and the delete key: false when no
// text input is the first responder.
bool typeText(const std::string& text);
bool pressReturn();
bool pressDelete();
// The Tab key (Shift+Tab: backward): moves between the fields of a text input that holds several (a
// web page's form); false when the first responder has none.
bool pressTab(bool backward = false);

// A mouse wheel turned over a point (delta in points, positive towards the content's end): the
// innermost scroll view under the point that can scroll that way takes it. False when none did.
bool scrollWheel(CGPoint point, CGPoint delta);

// The editing keys of a desktop keyboard: arrows, Home and End (Shift selects), and Ctrl+A/C/X/V.
bool pressCaretKey(UITextCaretKey key, bool shift);
bool pressCommand(char command);

}  // namespace UIScreenInput
