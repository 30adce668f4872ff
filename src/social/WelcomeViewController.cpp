#include "social/WelcomeViewController.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"
#include "social/AccountInterfaceFiles.h"

Ref<WelcomeViewController> WelcomeViewController::create()
{
    registerAccountInterfaceFiles();
    return makeWithNibName<WelcomeViewController>("WelcomeViewController");
}

void WelcomeViewController::viewDidLoad()
{
    PZViewController::viewDidLoad();
    if (topView_) {
        topView_->setBackgroundColor(UIColor::colorWithPatternImage(UIImage::imageNamed("cloud")));
    }
}
