#include "widgets/CustomNavibar.h"

#include "platform/uikit/UIImage.h"

void CustomNavibar::drawRect(CGRect)
{
    if (const Ref<UIImage> pattern = UIImage::imageNamed("navbar-pattern-bg.png")) {
        pattern->drawInRect(CGRectMake(0, 0, 320, 44));
    }
}
