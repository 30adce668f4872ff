#pragma once
// Turns or mirrors frames. Modes: 0 a quarter turn and 1 a quarter turn the other way (width and
// height swap), 2 mirrored left to right, 3 mirrored top to bottom. Any other mode draws nothing and
// tells no target. The recording screen uses mode 1 to stand the camera's 640 x 480 frames upright.
#include "capture/gpu/GPUFilter.h"

class GPURotationFilter : public GPUFilter {
public:
    static Ref<GPURotationFilter> initWithRotation(int newRotationMode);

    int rotationMode() const { return rotationMode_; }

    void setInputSize(CGSize newSize) override;
    void newFrameReady() override;

    GPURotationFilter();

protected:
    void initWithRotationBody(int newRotationMode);

private:
    int rotationMode_ = 0;
};
