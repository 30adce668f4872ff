#pragma once
// CoreLocation: positions, the location manager and placemarks, on a configured fixture.
#include "platform/uikit/CLLocationManager.h"
