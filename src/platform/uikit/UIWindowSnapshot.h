#pragma once
// Pictures of windows: what a window shows a person, as pixels.
//
// UIWindowSnapshot runs the pending layout and display pass of the window's tree, then renders it at
// the scale (0 or less: the main screen's) into an image of the window's size: the window's layer tree,
// then, over the key window, the alerts and action sheets on show (an alert centred over a dimmed
// picture, a sheet along the bottom). Bundle images show their pixels only when the image codecs are
// installed before they are loaded (UIImage::installImageCodecs); the gallery does so at start.
//
// Screen tests call UIWindowSnapshotToSnapshotDir after building a screen: with OMBRI_SNAPSHOT_DIR
// set, the window's picture at scale 2 is written there as NAME.png, so a person can look at what a
// test saw; without it nothing is written.
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGeometry.h"

class UIImage;
class UIView;
class UIWindow;

Ref<UIImage> UIWindowSnapshot(const Ref<UIWindow>& window, CGFloat scale);
// The same picture drawn into a bitmap context of the window's size that the caller keeps (made with
// CGContext::createImageContext), cleared first: a window drawn again and again reuses its pixels.
void UIWindowDrawInContext(const Ref<UIWindow>& window, const CGContextRef& context);
// What covers the key window while alerts or sheets show: the whole size dimmed, the sheets along the
// bottom, the alerts centred (nothing when none shows). The screen stand-in draws it over its windows.
void UIWindowDrawAlertsAndSheets(const CGContextRef& context, CGSize size);
// Where an alert or sheet on show is drawn on a screen of the size (its frame is set to it), in the
// order drawn; the screen stand-in sends touches there.
CGRect UIWindowOverlayFrame(const Ref<UIView>& overlay, CGSize size);
// The screen's picture of the size: every visible window at its frame, lowest level first, then the
// alerts and sheets on show.
Ref<UIImage> UIScreenSnapshot(CGSize size, CGFloat scale);
// The snapshot as a PNG file (written whole or not at all); false when it cannot be made or written.
bool UIWindowSnapshotWritePNG(const Ref<UIWindow>& window, CGFloat scale, const std::string& path);
// The path written, or "" when OMBRI_SNAPSHOT_DIR is not set or writing failed.
std::string UIWindowSnapshotToSnapshotDir(const Ref<UIWindow>& window, const std::string& name);
