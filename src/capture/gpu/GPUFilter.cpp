#include "capture/gpu/GPUFilter.h"

#include <cstdint>
#include <vector>

#include "capture/gpu/GPUOpenGLESContext.h"
#include "capture/gpu/GPUPicture.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIImage.h"

const char* const kGPUVertexShaderString = R"(
attribute vec4 position;
attribute vec4 inputTextureCoordinate;

varying vec2 textureCoordinate;

void main()
{
    gl_Position = position;
    textureCoordinate = inputTextureCoordinate.xy;
}
)";

const char* const kGPUPassthroughFragmentShaderString = R"(
varying highp vec2 textureCoordinate;

uniform sampler2D inputImageTexture;

void main()
{
    gl_FragColor = texture2D(inputImageTexture, textureCoordinate);
}
)";

namespace {
namespace GPUFilter_cpp {

const GLfloat kSquareVertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
const GLfloat kSquareTextureCoordinates[] = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};

}  // namespace GPUFilter_cpp
}  // namespace

void GPUFilterLinkOrFail(const Ref<GLProgram>& program)
{
    if (program->link()) {
        return;
    }
    NSLog("Program link log: %@", program->programLog());
    NSLog("Fragment shader compile log: %@", program->fragmentShaderLog());
    NSLog("Vertex shader compile log: %@", program->vertexShaderLog());
    NSAssert(false, "Filter shader link failed");
}

GPUFilter::GPUFilter() = default;

GPUFilter::~GPUFilter()
{
    destroyFilterFBO();
}

Ref<GPUFilter> GPUFilter::initWithVertexShaderFromString_fragmentShaderFromString(
    const std::optional<std::string>& vertexShaderString, const std::optional<std::string>& fragmentShaderString)
{
    auto filter = std::make_shared<GPUFilter>();
    filter->initWithVertexShaderFromString_fragmentShaderFromStringBody(vertexShaderString, fragmentShaderString);
    return filter;
}

Ref<GPUFilter> GPUFilter::initWithFragmentShaderFromString(const std::optional<std::string>& fragmentShaderString)
{
    auto filter = std::make_shared<GPUFilter>();
    filter->initWithFragmentShaderFromStringBody(fragmentShaderString);
    return filter;
}

Ref<GPUFilter> GPUFilter::initWithFragmentShaderFromFile(const std::string& fragmentShaderFilename)
{
    return initWithFragmentShaderFromString(GLProgramBundleSource(fragmentShaderFilename, "fsh"));
}

void GPUFilter::initWithVertexShaderFromString_fragmentShaderFromStringBody(
    const std::optional<std::string>& vertexShaderString, const std::optional<std::string>& fragmentShaderString)
{
    GPUOutput::initBody();
    GPUOpenGLESContext::useImageProcessingContext();
    Ref<GLProgram> program =
        GLProgram::initWithVertexShaderString_fragmentShaderString(vertexShaderString, fragmentShaderString);
    filterProgram_ = program;
    initializeAttributes();
    try {
        GPUFilterLinkOrFail(program);
    } catch (...) {
        filterProgram_ = nullptr;
        throw;
    }
    filterPositionAttribute_ = static_cast<GLint>(program->attributeIndex("position"));
    filterTextureCoordinateAttribute_ = static_cast<GLint>(program->attributeIndex("inputTextureCoordinate"));
    filterInputTextureUniform_ = program->uniformIndex("inputImageTexture");
    filterInputTextureUniform2_ = program->uniformIndex("inputImageTexture2");
    program->use();
    glEnableVertexAttribArray(static_cast<GLuint>(filterPositionAttribute_));
    glEnableVertexAttribArray(static_cast<GLuint>(filterTextureCoordinateAttribute_));
}

void GPUFilter::initWithFragmentShaderFromStringBody(const std::optional<std::string>& fragmentShaderString)
{
    initWithVertexShaderFromString_fragmentShaderFromStringBody(std::string(kGPUVertexShaderString), fragmentShaderString);
}

void GPUFilter::initializeAttributes()
{
    filterProgram_->addAttribute("position");
    filterProgram_->addAttribute("inputTextureCoordinate");
}

// --- Framebuffer ------------------------------------------------------------------------------------

CGSize GPUFilter::sizeOfFBO()
{
    const CGSize outputSize = maximumOutputSize();
    if (outputSize == CGSizeZero || inputTextureSize_.width < outputSize.width) {
        return inputTextureSize_;
    }
    return outputSize;
}

void GPUFilter::createFilterFBO()
{
    glActiveTexture(GL_TEXTURE1);
    glGenFramebuffers(1, &filterFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, filterFramebuffer_);
    filterFramebufferSize_ = sizeOfFBO();
    const auto width = static_cast<GLsizei>(filterFramebufferSize_.width);
    const auto height = static_cast<GLsizei>(filterFramebufferSize_.height);
    glBindTexture(GL_TEXTURE_2D, outputTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, outputTexture_, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    NSAssert(status == GL_FRAMEBUFFER_COMPLETE, "Incomplete filter FBO: %d", status);
    setupFilterForSize(filterFramebufferSize_);
}

void GPUFilter::destroyFilterFBO()
{
    if (filterFramebuffer_) {
        GPUOpenGLESContext::useImageProcessingContext();
        glDeleteFramebuffers(1, &filterFramebuffer_);
        filterFramebuffer_ = 0;
    }
}

void GPUFilter::setFilterFBO()
{
    if (!filterFramebuffer_) {
        createFilterFBO();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, filterFramebuffer_);
    glViewport(0, 0, static_cast<GLsizei>(filterFramebufferSize_.width),
               static_cast<GLsizei>(filterFramebufferSize_.height));
}

// --- Rendering --------------------------------------------------------------------------------------

void GPUFilter::renderToTextureWithVertices_textureCoordinates(const GLfloat* vertices, const GLfloat* textureCoordinates)
{
    GPUOpenGLESContext::useImageProcessingContext();
    setFilterFBO();
    filterProgram_->use();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, filterSourceTexture_);
    glUniform1i(filterInputTextureUniform_, 2);
    if (filterSourceTexture2_ != 0) {
        glActiveTexture(GL_TEXTURE3);
        glBindTexture(GL_TEXTURE_2D, filterSourceTexture2_);
        glUniform1i(filterInputTextureUniform2_, 3);
    }

    glVertexAttribPointer(static_cast<GLuint>(filterPositionAttribute_), 2, GL_FLOAT, GL_FALSE, 0, vertices);
    glVertexAttribPointer(static_cast<GLuint>(filterTextureCoordinateAttribute_), 2, GL_FLOAT, GL_FALSE, 0,
                          textureCoordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    // A target may remove itself (or others) while it handles the frame: walk a copy.
    const std::vector<Ref<GPUInput>> targets = targets_;
    for (const Ref<GPUInput>& target : targets) {
        target->setInputSize(inputTextureSize_);
        target->newFrameReady();
    }
}

void GPUFilter::newFrameReady()
{
    renderToTextureWithVertices_textureCoordinates(GPUFilter_cpp::kSquareVertices,
                                                   GPUFilter_cpp::kSquareTextureCoordinates);
}

void GPUFilter::setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex)
{
    if (textureIndex == 0) {
        filterSourceTexture_ = newInputTexture;
    } else {
        filterSourceTexture2_ = newInputTexture;
    }
}

GLint GPUFilter::nextAvailableTextureIndex()
{
    return filterSourceTexture_ ? 1 : 0;
}

void GPUFilter::setInputSize(CGSize newSize)
{
    inputTextureSize_ = newSize;
}

CGSize GPUFilter::maximumOutputSize()
{
    if (cachedMaximumOutputSize_ == CGSizeZero) {
        for (const Ref<GPUInput>& target : targets_) {
            const CGSize size = target->maximumOutputSize();
            if (size.width > cachedMaximumOutputSize_.width) {
                cachedMaximumOutputSize_ = size;
            }
        }
    }
    return cachedMaximumOutputSize_;
}

// --- Uniforms ---------------------------------------------------------------------------------------

void GPUFilter::setInteger_forUniform(GLint newInteger, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1i(filterProgram_->uniformIndex(uniformName), newInteger);
}

void GPUFilter::setFloat_forUniform(GLfloat newFloat, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform1f(filterProgram_->uniformIndex(uniformName), newFloat);
}

void GPUFilter::setSize_forUniform(CGSize newSize, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform2f(filterProgram_->uniformIndex(uniformName), static_cast<GLfloat>(newSize.width),
                static_cast<GLfloat>(newSize.height));
}

void GPUFilter::setPoint_forUniform(CGPoint newPoint, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform2f(filterProgram_->uniformIndex(uniformName), static_cast<GLfloat>(newPoint.x),
                static_cast<GLfloat>(newPoint.y));
}

void GPUFilter::setFloatVec3_forUniform(const GLfloat* newVec3, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform3fv(filterProgram_->uniformIndex(uniformName), 1, newVec3);
}

void GPUFilter::setFloatVec4_forUniform(const GLfloat* newVec4, const std::string& uniformName)
{
    GPUOpenGLESContext::useImageProcessingContext();
    filterProgram_->use();
    glUniform4fv(filterProgram_->uniformIndex(uniformName), 1, newVec4);
}

// --- Reading the output -----------------------------------------------------------------------------

Ref<UIImage> GPUFilter::imageFromCurrentlyProcessedOutput()
{
    GPUOpenGLESContext::useImageProcessingContext();
    setFilterFBO();
    const auto width = static_cast<size_t>(filterFramebufferSize_.width);
    const auto height = static_cast<size_t>(filterFramebufferSize_.height);
    std::vector<uint8_t> rgba(width * height * 4);
    if (!rgba.empty()) {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA, GL_UNSIGNED_BYTE,
                     rgba.data());
    }
    // Rows as read (row 0 first); the alpha byte is not part of the picture.
    std::vector<uint32_t> pixels(width * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = 0xFF000000u | (uint32_t{rgba[4 * i]} << 16) | (uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2];
    }
    return UIImage::imageWithCGImage_scale_orientation(CGImage::create(width, height, std::move(pixels)), 1.0,
                                                       UIImageOrientationLeft);
}

Ref<UIImage> GPUFilter::imageByFilteringImage(const Ref<UIImage>& imageToFilter)
{
    Ref<GPUPicture> stillImageSource = GPUPicture::initWithImage(imageToFilter);
    Ref<GPUFilter> me = self<GPUFilter>();
    stillImageSource->addTarget(me);
    stillImageSource->processImage();
    Ref<UIImage> processedImage = imageFromCurrentlyProcessedOutput();
    stillImageSource->removeTarget(me);
    return processedImage;
}
