#pragma once
// An oil-paint look: of the four square windows that meet at the pixel (each radius + 1 samples a
// side), the pixel takes the mean colour of the one whose colours vary least.
#include "capture/gpu/GPUFilter.h"

class GPUKuwaharaFilter : public GPUFilter {
public:
    static Ref<GPUKuwaharaFilter> create();
    int radius() const { return radius_; }
    void setRadius(int newValue);

private:
    GLint radiusUniform_ = -1;
    int radius_ = 4;
};
