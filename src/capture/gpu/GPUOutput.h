#pragma once
// The filter chain: frame sources (GPUOutput) hand GL textures to frame consumers (GPUInput).
//
// A source renders a frame into its output texture, then tells each target, in the order they were
// added, the frame's size (setInputSize) and that the frame is ready (newFrameReady). A consumer
// learns the texture it reads at each input index when it is added (setInputTexture_atIndex); a
// consumer with two sources in front of it (a blend) gets index 0 from the first and 1 from the
// second. Everything of one chain runs on one thread (the main thread for the recording screen).
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/gl/OpenGLES.h"
#include "platform/graphics/CGGeometry.h"

// What every frame consumer answers.
class GPUInput {
public:
    virtual ~GPUInput() = default;
    // The source has drawn a new frame into the texture it gave.
    virtual void newFrameReady() = 0;
    // The texture read at that input index; 0 clears it.
    virtual void setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex) = 0;
    // The index the next source added in front of this consumer gets.
    virtual GLint nextAvailableTextureIndex() = 0;
    // The size of the frames that arrive.
    virtual void setInputSize(CGSize newSize) = 0;
    // The largest size worth rendering for this consumer; zero: no preference.
    virtual CGSize maximumOutputSize() = 0;
};

class GPUOutput : public NSObject {
public:
    static Ref<GPUOutput> create();

    // Targets are kept (retained) until removed or until this source goes.
    virtual void addTarget(const Ref<GPUInput>& newTarget);
    // A consumer that is not a target changes nothing.
    virtual void removeTarget(const Ref<GPUInput>& targetToRemove);
    virtual void removeAllTargets();
    const std::vector<Ref<GPUInput>>& targets() const { return targets_; }
    const std::vector<GLint>& targetTextureIndices() const { return targetTextureIndices_; }

    // A 2-D texture (linear filtering, clamped to the edge) made with the shared context on unit 0.
    void initializeOutputTexture();
    void deleteOutputTexture();
    GLuint outputTexture() const { return outputTexture_; }

    CGSize inputTextureSize() const { return inputTextureSize_; }
    bool shouldSmoothlyScaleOutput() const { return shouldSmoothlyScaleOutput_; }
    void setShouldSmoothlyScaleOutput(bool smooth) { shouldSmoothlyScaleOutput_ = smooth; }

    GPUOutput();
    ~GPUOutput() override;

protected:
    // The init body of init: makes the output texture.
    void initBody();

    std::vector<Ref<GPUInput>> targets_;
    std::vector<GLint> targetTextureIndices_;
    GLuint outputTexture_ = 0;
    // The size of the frames this object receives (a filter) or produces (a source).
    CGSize inputTextureSize_{0, 0};
    // The largest target size; zero until worked out again after the targets changed.
    CGSize cachedMaximumOutputSize_{0, 0};
    bool shouldSmoothlyScaleOutput_ = false;
};
