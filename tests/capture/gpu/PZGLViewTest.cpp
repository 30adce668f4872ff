// The GL view with its own context: the on-screen buffer of the layer's pixel size, presented into the
// layer, and the 320 x 480 off-screen framebuffer drawing into its texture.
#include <gtest/gtest.h>

#include "capture/camera/PZGLView.h"
#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/CGColor.h"
#include "platform/uikit/CALayer.h"
#include "../../support/GLTestEnvironment.h"

TEST(PZGLViewTest, OnScreenAndOffScreenFramebuffers)
{
    NSLogCapture log(true);
    Ref<PZGLView> view = PZGLView::initWithFrame(CGRectMake(0, 0, 160, 120));
    ASSERT_TRUE(view);
    const GLint scale = static_cast<GLint>(view->contentScaleFactor());
    EXPECT_EQ(view->backingWidth(), 160 * scale);
    EXPECT_EQ(view->backingHeight(), 120 * scale);
    EXPECT_TRUE(log.contains("Backing width: " + std::to_string(160 * scale) + ", height: " + std::to_string(120 * scale)));
    ASSERT_NE(view->positionRenderTexture(), 0u);

    // Off screen: complete, 320 x 480, and what is drawn lands in the texture.
    view->setPositionThresholdFramebuffer();
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 480);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLuint reader = 0;
    glGenFramebuffers(1, &reader);
    glBindFramebuffer(GL_FRAMEBUFFER, reader);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, view->positionRenderTexture(), 0);
    uint8_t pixel[4] = {};
    glReadPixels(319, 479, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    glDeleteFramebuffers(1, &reader);

    // On screen: drawn and presented into the layer; made again after being destroyed.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        view->setDisplayFramebuffer();
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 160 * scale);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_TRUE(view->presentFramebuffer());
        CGImageRef shown = view->layer()->contents();
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->width(), static_cast<size_t>(160 * scale));
        EXPECT_EQ(shown->pixelAt(10, 10) & 0xFFFFFFu, 0x0000FFu);
        view->destroyFramebuffer();
        EXPECT_EQ(view->viewFramebuffer(), 0u);
    }
    view.reset();
    GPUOpenGLESContext::useImageProcessingContext();
}
