#pragma once
// Layers, their transforms, animations and transactions.
#include "platform/uikit/CAAnimation.h"
#include "platform/uikit/CALayer.h"
#include "platform/uikit/CATransaction.h"
#include "platform/uikit/CATransform3D.h"
#include "platform/uikit/CAValue.h"
