#include "api/PZViewController.h"

#include "api/Edition.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/PropertyList.h"

namespace EditionConfig {

std::string resourceName()
{
    return stringWithFormat("%@-OEM-config", kEditionWord);
}

Value entryForClass(const std::string& className)
{
    const std::string path = NSBundle::mainBundle()->pathForResource_ofType(resourceName(), "plist");
    if (path.empty()) {
        return Value();
    }
    return NSDictionary::dictionaryWithContentsOfFile(path)[className];
}

}  // namespace EditionConfig

void PZViewController::viewDidLoad()
{
    UIViewController::viewDidLoad();
    setControllerConfig(loadConfig());
}

void PZViewController::viewDidUnload()
{
    UIViewController::viewDidUnload();
    setControllerConfig(Value());
}

Value PZViewController::loadConfig()
{
    return EditionConfig::entryForClass(className());
}

bool PZViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation)
{
    return orientation == UIInterfaceOrientationPortrait;
}
