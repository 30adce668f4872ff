#include "capture/gpu/GPUOutput.h"

#include <algorithm>

#include "capture/gpu/GPUOpenGLESContext.h"

GPUOutput::GPUOutput() = default;

GPUOutput::~GPUOutput()
{
    removeAllTargets();
    deleteOutputTexture();
}

Ref<GPUOutput> GPUOutput::create()
{
    auto output = std::make_shared<GPUOutput>();
    output->initBody();
    return output;
}

void GPUOutput::initBody()
{
    NSObject::initBody();
    initializeOutputTexture();
}

void GPUOutput::initializeOutputTexture()
{
    GPUOpenGLESContext::useImageProcessingContext();
    glActiveTexture(GL_TEXTURE0);
    glGenTextures(1, &outputTexture_);
    glBindTexture(GL_TEXTURE_2D, outputTexture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

void GPUOutput::deleteOutputTexture()
{
    if (outputTexture_) {
        GPUOpenGLESContext::useImageProcessingContext();
        glDeleteTextures(1, &outputTexture_);
        outputTexture_ = 0;
    }
}

void GPUOutput::addTarget(const Ref<GPUInput>& newTarget)
{
    if (!newTarget) {
        return;
    }
    cachedMaximumOutputSize_ = CGSizeZero;
    const GLint textureIndex = newTarget->nextAvailableTextureIndex();
    newTarget->setInputTexture_atIndex(outputTexture_, textureIndex);
    targets_.push_back(newTarget);
    targetTextureIndices_.push_back(textureIndex);
}

void GPUOutput::removeTarget(const Ref<GPUInput>& targetToRemove)
{
    auto found = std::find(targets_.begin(), targets_.end(), targetToRemove);
    if (found == targets_.end()) {
        return;
    }
    cachedMaximumOutputSize_ = CGSizeZero;
    const auto position = found - targets_.begin();
    const GLint textureIndex = targetTextureIndices_[static_cast<size_t>(position)];
    Ref<GPUInput> target = *found;  // kept until it has heard the news
    target->setInputSize(CGSizeZero);
    target->setInputTexture_atIndex(0, textureIndex);
    targetTextureIndices_.erase(targetTextureIndices_.begin() + position);
    targets_.erase(targets_.begin() + position);
}

void GPUOutput::removeAllTargets()
{
    cachedMaximumOutputSize_ = CGSizeZero;
    std::vector<Ref<GPUInput>> targets = std::move(targets_);
    std::vector<GLint> indices = std::move(targetTextureIndices_);
    targets_.clear();
    targetTextureIndices_.clear();
    for (size_t i = 0; i < targets.size(); ++i) {
        targets[i]->setInputSize(CGSizeZero);
        targets[i]->setInputTexture_atIndex(0, indices[i]);
    }
}
