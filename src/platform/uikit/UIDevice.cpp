#include "platform/uikit/UIDevice.h"

#include "platform/foundation/NSNotificationCenter.h"

Ref<UIDevice> UIDevice::currentDevice()
{
    static auto* device = new Ref<UIDevice>(std::make_shared<UIDevice>());
    return *device;
}

void UIDevice::simulateOrientation(UIDeviceOrientation orientation)
{
    if (orientation == orientation_) {
        return;
    }
    orientation_ = orientation;
    if (generating_ > 0) {
        NSNotificationCenter::defaultCenter()->postNotificationName_object(UIDeviceOrientationDidChangeNotification,
                                                                          Value(self<NSObject>()));
    }
}
