#include "capture/gpu/GPUView.h"

#include "capture/gpu/GPUFilter.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIScreen.h"

namespace {
namespace GPUView_cpp {

const GLfloat kVertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
// Upside down relative to the filters' framebuffers, so that the picture stands upright on screen.
const GLfloat kTextureCoordinates[] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};

}  // namespace GPUView_cpp
}  // namespace

GPUView::GPUView() = default;

GPUView::~GPUView()
{
    destroyDisplayFramebuffer();
}

void GPUView::initWithFrameBody(CGRect frame)
{
    UIView::initWithFrameBody(frame);
    commonInit();
}

void GPUView::commonInit()
{
    setContentScaleFactor(UIScreen::mainScreen()->scale());
    Ref<CAEAGLLayer> drawable = eaglLayer();
    drawable->setOpaque(true);
    drawable->setDrawableProperties(Value::dictionary({{kEAGLDrawablePropertyRetainedBacking, Value(false)},
                                                       {kEAGLDrawablePropertyColorFormat, Value(kEAGLColorFormatRGBA8)}}));

    GPUOpenGLESContext::useImageProcessingContext();
    Ref<GLProgram> program = GLProgram::initWithVertexShaderString_fragmentShaderString(
        std::string(kGPUVertexShaderString), std::string(kGPUPassthroughFragmentShaderString));
    program->addAttribute("position");
    program->addAttribute("inputTextureCoordinate");
    GPUFilterLinkOrFail(program);
    displayProgram_ = program;
    displayPositionAttribute_ = static_cast<GLint>(program->attributeIndex("position"));
    displayTextureCoordinateAttribute_ = static_cast<GLint>(program->attributeIndex("inputTextureCoordinate"));
    displayInputTextureUniform_ = program->uniformIndex("inputImageTexture");
    program->use();
    glEnableVertexAttribArray(static_cast<GLuint>(displayPositionAttribute_));
    glEnableVertexAttribArray(static_cast<GLuint>(displayTextureCoordinateAttribute_));
}

void GPUView::createDisplayFramebuffer()
{
    auto shared = GPUOpenGLESContext::sharedImageProcessingOpenGLESContext();
    glGenFramebuffers(1, &displayFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, displayFramebuffer_);
    glGenRenderbuffers(1, &displayRenderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, displayRenderbuffer_);
    shared->context()->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, eaglLayer());
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &backingWidth_);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &backingHeight_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, displayRenderbuffer_);
    NSAssert(glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE,
             "Failure with display framebuffer generation");
}

void GPUView::destroyDisplayFramebuffer()
{
    if (displayFramebuffer_ || displayRenderbuffer_) {
        GPUOpenGLESContext::useImageProcessingContext();
    }
    if (displayFramebuffer_) {
        glDeleteFramebuffers(1, &displayFramebuffer_);
        displayFramebuffer_ = 0;
    }
    if (displayRenderbuffer_) {
        glDeleteRenderbuffers(1, &displayRenderbuffer_);
        displayRenderbuffer_ = 0;
    }
}

void GPUView::setDisplayFramebuffer()
{
    if (!displayFramebuffer_) {
        createDisplayFramebuffer();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, displayFramebuffer_);
    glViewport(0, 0, backingWidth_, backingHeight_);
}

void GPUView::presentFramebuffer()
{
    glBindRenderbuffer(GL_RENDERBUFFER, displayRenderbuffer_);
    GPUOpenGLESContext::sharedImageProcessingOpenGLESContext()->presentBufferForDisplay();
}

void GPUView::newFrameReady()
{
    GPUOpenGLESContext::useImageProcessingContext();
    setDisplayFramebuffer();
    displayProgram_->use();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glActiveTexture(GL_TEXTURE4);
    glBindTexture(GL_TEXTURE_2D, inputTextureForDisplay_);
    glUniform1i(displayInputTextureUniform_, 4);
    glVertexAttribPointer(static_cast<GLuint>(displayPositionAttribute_), 2, GL_FLOAT, GL_FALSE, 0, GPUView_cpp::kVertices);
    glVertexAttribPointer(static_cast<GLuint>(displayTextureCoordinateAttribute_), 2, GL_FLOAT, GL_FALSE, 0,
                          GPUView_cpp::kTextureCoordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    presentFramebuffer();
}

void GPUView::setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex)
{
    inputTextureForDisplay_ = newInputTexture;
}

CGSize GPUView::maximumOutputSize()
{
    const CGSize size = bounds().size;
    const CGFloat scale = contentScaleFactor();
    return CGSizeMake(size.width * scale, size.height * scale);
}
