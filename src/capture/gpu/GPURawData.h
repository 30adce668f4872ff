#pragma once
// A chain's end that hands its frames to the CPU: each call of rawBytesForImage draws the input
// texture into an RGBA8 framebuffer of imageSize and reads it back. The drawing turns the frame upside
// down (its last row comes first), and colorAtLocation counts rows from the bottom of the buffer, so
// (0, 0) is the first pixel of the buffer's last row.
#include <cstdint>
#include <vector>

#include "capture/gpu/GLProgram.h"
#include "capture/gpu/GPUOutput.h"

class GPURawData;

struct GPUByteColorVector {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 0;
};

// The delegate: told of each new frame (read it then with rawBytesForImage).
class GPURawDataProcessor {
public:
    virtual ~GPURawDataProcessor() = default;
    virtual void newImageFrameAvailableFromDataSource(GPURawData& rawDataSource) {}
};

class GPURawData : public NSObject, public GPUInput {
public:
    static Ref<GPURawData> initWithImageSize(CGSize newImageSize);

    // width x height x 4 bytes (RGBA), owned by the reader, read anew on every call.
    uint8_t* rawBytesForImage();
    GPUByteColorVector colorAtLocation(CGPoint locationInImage);
    void renderAtInternalSize();

    CGSize imageSize() const { return imageSize_; }
    Weak<GPURawDataProcessor> delegate() const { return delegate_; }
    void setDelegate(Weak<GPURawDataProcessor> delegate) { delegate_ = std::move(delegate); }

    // --- GPUInput ---
    void newFrameReady() override;
    void setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex) override;
    GLint nextAvailableTextureIndex() override { return 0; }
    void setInputSize(CGSize newSize) override {}
    CGSize maximumOutputSize() override { return imageSize_; }

    GPURawData();
    ~GPURawData() override;

protected:
    void initWithImageSizeBody(CGSize newImageSize);

private:
    void createDataFBO();
    void destroyDataFBO();
    void setFilterFBO();

    CGSize imageSize_{0, 0};
    bool hasReadFromTheCurrentFrame_ = false;
    GLuint dataFramebuffer_ = 0;
    GLuint dataRenderbuffer_ = 0;
    GLuint inputTextureForDisplay_ = 0;
    Ref<GLProgram> dataProgram_;
    GLint dataPositionAttribute_ = -1;
    GLint dataTextureCoordinateAttribute_ = -1;
    GLint dataInputTextureUniform_ = -1;
    std::vector<uint8_t> rawBytesForImage_;
    Weak<GPURawDataProcessor> delegate_;
};
