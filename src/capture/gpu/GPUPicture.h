#pragma once
// A still picture as the source of a chain: the image is drawn once into a bitmap of its pixel size
// (the image's size times its scale) and uploaded into the output texture; processImage hands it to
// the targets. With smooth scaling the bitmap is stretched to the next powers of two and the texture
// gets mipmaps, so a filter rendering it much smaller still looks smooth.
#include "capture/gpu/GPUOutput.h"

class UIImage;

class GPUPicture : public GPUOutput {
public:
    static Ref<GPUPicture> initWithImage(const Ref<UIImage>& newImageSource);
    static Ref<GPUPicture> initWithImage_smoothlyScaleOutput(const Ref<UIImage>& newImageSource, bool smoothlyScaleOutput);

    // Tells every target the picture's pixel size and that a frame is ready.
    void processImage();

    const Ref<UIImage>& imageSource() const { return imageSource_; }

    GPUPicture();

protected:
    void initWithImage_smoothlyScaleOutputBody(const Ref<UIImage>& newImageSource, bool smoothlyScaleOutput);

private:
    Ref<UIImage> imageSource_;
};
