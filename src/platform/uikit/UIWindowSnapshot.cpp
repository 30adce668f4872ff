#include "platform/uikit/UIWindowSnapshot.h"
#include "platform/foundation/Configuration.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/graphics/CGContext.h"
#include "platform/uikit/UIActionSheet.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIImage.h"
#include "platform/uikit/UIScreen.h"
#include "platform/uikit/UIWindow.h"

namespace {
namespace UIWindowSnapshot_cpp {

// Draws a view shown above the window (an alert or a sheet) at the frame, in window coordinates.
void drawOverlay(const CGContextRef& context, const Ref<UIView>& view, CGRect frame)
{
    view->setFrame(frame);
    view->layer()->layoutAndDisplayTreeIfNeeded();
    context->saveGState();
    context->translateCTM(frame.origin.x, frame.origin.y);
    view->layer()->renderInContext(context);
    context->restoreGState();
}

}  // namespace UIWindowSnapshot_cpp
}  // namespace

CGRect UIWindowOverlayFrame(const Ref<UIView>& overlay, CGSize size)
{
    if (std::dynamic_pointer_cast<UIActionSheet>(overlay)) {
        const CGSize fit = overlay->sizeThatFits(size);
        return CGRectMake(0, size.height - fit.height, size.width, fit.height);
    }
    const CGSize fit = overlay ? overlay->sizeThatFits(size) : CGSizeZero;
    return CGRectMake(std::round((size.width - fit.width) / 2), std::round((size.height - fit.height) / 2), fit.width,
                      fit.height);
}

void UIWindowDrawAlertsAndSheets(const CGContextRef& context, CGSize size)
{
    using namespace UIWindowSnapshot_cpp;
    const auto alerts = UIAlertView::visibleAlerts();
    const auto sheets = UIActionSheet::visibleSheets();
    if (alerts.empty() && sheets.empty()) {
        return;
    }
    context->saveGState();
    context->setFillColor(CGColor::createGray(0, 0.4));
    context->fillRect(CGRectMake(0, 0, size.width, size.height));
    context->restoreGState();
    for (const Ref<UIActionSheet>& sheet : sheets) {
        drawOverlay(context, sheet, UIWindowOverlayFrame(sheet, size));
    }
    for (const Ref<UIAlertView>& alert : alerts) {
        drawOverlay(context, alert, UIWindowOverlayFrame(alert, size));
    }
}

void UIWindowDrawInContext(const Ref<UIWindow>& window, const CGContextRef& context)
{
    if (!window || !context) {
        return;
    }
    window->layer()->layoutAndDisplayTreeIfNeeded();
    const CGSize size = window->bounds().size;
    context->saveGState();
    context->clearRect(CGRectMake(0, 0, size.width, size.height));
    context->translateCTM(-window->bounds().origin.x, -window->bounds().origin.y);
    window->layer()->renderInContext(context);
    context->restoreGState();
    if (window->isKeyWindow()) {
        UIWindowDrawAlertsAndSheets(context, size);
    }
}

Ref<UIImage> UIWindowSnapshot(const Ref<UIWindow>& window, CGFloat scale)
{
    if (!window) {
        return nullptr;
    }
    if (scale <= 0) {
        scale = UIScreen::mainScreen()->scale();
    }
    auto context = CGContext::createImageContext(window->bounds().size, scale);
    UIWindowDrawInContext(window, context);
    return UIImage::imageWithCGImage_scale_orientation(context->makeImage(), scale, UIImageOrientationUp);
}

Ref<UIImage> UIScreenSnapshot(CGSize size, CGFloat scale)
{
    if (scale <= 0) {
        scale = UIScreen::mainScreen()->scale();
    }
    auto context = CGContext::createImageContext(size, scale);
    for (const Ref<UIWindow>& window : UIApplication::sharedApplication()->windows()) {  // by level
        if (window->isHidden()) {
            continue;
        }
        window->layer()->layoutAndDisplayTreeIfNeeded();
        context->saveGState();
        context->concatCTM(window->layer()->transformToSuperlayer());
        window->layer()->renderInContext(context);
        context->restoreGState();
    }
    UIWindowDrawAlertsAndSheets(context, size);
    return UIImage::imageWithCGImage_scale_orientation(context->makeImage(), scale, UIImageOrientationUp);
}

bool UIWindowSnapshotWritePNG(const Ref<UIWindow>& window, CGFloat scale, const std::string& path)
{
    const auto png = UIImagePNGRepresentation(UIWindowSnapshot(window, scale));
    if (!png) {
        return false;
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(png->bytes()), std::streamsize(png->length()));
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::string UIWindowSnapshotToSnapshotDir(const Ref<UIWindow>& window, const std::string& name)
{
    const std::string dir = Configuration::snapshotDir();
    if (dir.empty() || name.empty()) {
        return "";
    }
    const std::string path = dir + "/" + name + ".png";
    return UIWindowSnapshotWritePNG(window, 2, path) ? path : "";
}
