#include "capture/gpu/GPURawData.h"

#include <algorithm>
#include <cmath>

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"

namespace {
namespace GPURawData_cpp {

const GLfloat kVertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
const GLfloat kTextureCoordinates[] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};

}  // namespace GPURawData_cpp
}  // namespace

GPURawData::GPURawData() = default;

GPURawData::~GPURawData()
{
    destroyDataFBO();
}

Ref<GPURawData> GPURawData::initWithImageSize(CGSize newImageSize)
{
    auto reader = std::make_shared<GPURawData>();
    reader->initWithImageSizeBody(newImageSize);
    return reader;
}

void GPURawData::initWithImageSizeBody(CGSize newImageSize)
{
    initBody();
    imageSize_ = newImageSize;
    GPUOpenGLESContext::useImageProcessingContext();
    Ref<GLProgram> program = GLProgram::initWithVertexShaderString_fragmentShaderString(
        std::string(kGPUVertexShaderString), std::string(kGPUPassthroughFragmentShaderString));
    program->addAttribute("position");
    program->addAttribute("inputTextureCoordinate");
    GPUFilterLinkOrFail(program);
    dataProgram_ = program;
    dataPositionAttribute_ = static_cast<GLint>(program->attributeIndex("position"));
    dataTextureCoordinateAttribute_ = static_cast<GLint>(program->attributeIndex("inputTextureCoordinate"));
    dataInputTextureUniform_ = program->uniformIndex("inputImageTexture");
    program->use();
    glEnableVertexAttribArray(static_cast<GLuint>(dataPositionAttribute_));
    glEnableVertexAttribArray(static_cast<GLuint>(dataTextureCoordinateAttribute_));
}

void GPURawData::createDataFBO()
{
    glActiveTexture(GL_TEXTURE1);
    glGenFramebuffers(1, &dataFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, dataFramebuffer_);
    glGenRenderbuffers(1, &dataRenderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, dataRenderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, static_cast<GLsizei>(imageSize_.width),
                          static_cast<GLsizei>(imageSize_.height));
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, dataRenderbuffer_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    NSAssert(status == GL_FRAMEBUFFER_COMPLETE, "Incomplete filter FBO: %d", status);
}

void GPURawData::destroyDataFBO()
{
    if (dataFramebuffer_ || dataRenderbuffer_) {
        GPUOpenGLESContext::useImageProcessingContext();
    }
    if (dataFramebuffer_) {
        glDeleteFramebuffers(1, &dataFramebuffer_);
        dataFramebuffer_ = 0;
    }
    if (dataRenderbuffer_) {
        glDeleteRenderbuffers(1, &dataRenderbuffer_);
        dataRenderbuffer_ = 0;
    }
}

void GPURawData::setFilterFBO()
{
    if (!dataFramebuffer_) {
        createDataFBO();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, dataFramebuffer_);
    glViewport(0, 0, static_cast<GLsizei>(imageSize_.width), static_cast<GLsizei>(imageSize_.height));
}

void GPURawData::renderAtInternalSize()
{
    GPUOpenGLESContext::useImageProcessingContext();
    setFilterFBO();
    dataProgram_->use();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glActiveTexture(GL_TEXTURE4);
    glBindTexture(GL_TEXTURE_2D, inputTextureForDisplay_);
    glUniform1i(dataInputTextureUniform_, 4);
    glVertexAttribPointer(static_cast<GLuint>(dataPositionAttribute_), 2, GL_FLOAT, GL_FALSE, 0, GPURawData_cpp::kVertices);
    glVertexAttribPointer(static_cast<GLuint>(dataTextureCoordinateAttribute_), 2, GL_FLOAT, GL_FALSE, 0,
                          GPURawData_cpp::kTextureCoordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

uint8_t* GPURawData::rawBytesForImage()
{
    const auto width = static_cast<size_t>(imageSize_.width);
    const auto height = static_cast<size_t>(imageSize_.height);
    if (rawBytesForImage_.empty()) {
        rawBytesForImage_.assign(width * height * 4, 0);
    }
    if (rawBytesForImage_.empty()) {
        return nullptr;
    }
    renderAtInternalSize();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA, GL_UNSIGNED_BYTE,
                 rawBytesForImage_.data());
    hasReadFromTheCurrentFrame_ = true;
    return rawBytesForImage_.data();
}

GPUByteColorVector GPURawData::colorAtLocation(CGPoint locationInImage)
{
    const uint8_t* bytes = rawBytesForImage();
    if (bytes == nullptr) {
        return {};
    }
    const CGFloat width = imageSize_.width;
    const CGFloat height = imageSize_.height;
    const CGFloat column = std::clamp<CGFloat>(locationInImage.x, 0, width - 1);
    const CGFloat row = std::clamp<CGFloat>(height - locationInImage.y, 0, height - 1);
    // A fractional point rounds to the nearest pixel of the buffer, never past its end.
    const auto index = std::min(static_cast<size_t>(std::llround(row * width + column)),
                                static_cast<size_t>(width * height) - 1);
    const uint8_t* pixel = bytes + index * 4;
    return GPUByteColorVector{pixel[0], pixel[1], pixel[2], pixel[3]};
}

void GPURawData::newFrameReady()
{
    hasReadFromTheCurrentFrame_ = false;
    if (auto delegate = delegate_.lock()) {
        delegate->newImageFrameAvailableFromDataSource(*this);
    }
}

void GPURawData::setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex)
{
    inputTextureForDisplay_ = newInputTexture;
}
