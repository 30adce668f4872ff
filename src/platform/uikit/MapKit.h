#pragma once
// MapKit: map views with annotations, and reverse geocoding from a fixture.
#include "platform/uikit/MKMapView.h"
