// The GL stand-in on the real renderer: contexts, threads, sharegroups and drawables.
#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "platform/gl/EAGL.h"
#include "platform/gl/EAGLDrawable.h"

#include "../../support/GLTestEnvironment.h"

namespace {
namespace EAGLContextTest_cpp {

// Runs `body` on a fresh thread and waits for it to end.
template <class F>
void onOtherThread(F body)
{
    std::thread thread(body);
    thread.join();
}

// Fills the rows [y, y + height) of the bound framebuffer with one colour.
void fillRows(GLint y, GLsizei width, GLsizei height, std::array<float, 4> rgba)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, y, width, height);
    glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

struct Drawable {
    GLuint framebuffer = 0;
    GLuint renderbuffer = 0;
    Drawable()
    {
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glGenRenderbuffers(1, &renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    }
    ~Drawable()
    {
        glDeleteRenderbuffers(1, &renderbuffer);
        glDeleteFramebuffers(1, &framebuffer);
    }
    void attach() { glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer); }
};

class ContextFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        context = EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES2);
        ASSERT_TRUE(context);
        ASSERT_TRUE(EAGLContext::setCurrentContext(context));
    }
    void TearDown() override { EAGLContext::setCurrentContext(nullptr); }
    Ref<EAGLContext> context;
};

}  // namespace EAGLContextTest_cpp
}  // namespace

// A current ES 2 context for each test.
using EAGLContextTest = EAGLContextTest_cpp::ContextFixture;


TEST(EAGLContextApi, OnlyOpenGLES2IsAvailable)
{
    using namespace EAGLContextTest_cpp;
    EXPECT_FALSE(EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES1));
    auto context = EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES2);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->API(), kEAGLRenderingAPIOpenGLES2);
    EXPECT_TRUE(context->sharegroup());
    EXPECT_FALSE(EAGLContext::currentContext());
}

TEST_F(EAGLContextTest, CurrentPerThread)
{
    using namespace EAGLContextTest_cpp;
    EXPECT_EQ(EAGLContext::currentContext(), context);
    EXPECT_NE(EAGLContext::rendererName(), "");
    // Another thread has no current context, and cannot take this one while this thread holds it.
    bool otherHadNone = false;
    bool otherTook = true;
    onOtherThread([&] {
        otherHadNone = !EAGLContext::currentContext();
        otherTook = EAGLContext::setCurrentContext(context);
    });
    EXPECT_TRUE(otherHadNone);
    EXPECT_FALSE(otherTook);
    // Once released here, the other thread can use it; its end releases it again.
    ASSERT_TRUE(EAGLContext::setCurrentContext(nullptr));
    bool drew = false;
    onOtherThread([&] {
        if (EAGLContext::setCurrentContext(context)) {
            GLuint texture = 0;
            glGenTextures(1, &texture);
            drew = texture != 0 && glGetError() == GL_NO_ERROR;
        }
    });
    EXPECT_TRUE(drew);
    EXPECT_TRUE(EAGLContext::setCurrentContext(context));
}

TEST_F(EAGLContextTest, SharegroupsShareObjects)
{
    using namespace EAGLContextTest_cpp;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    auto sibling = EAGLContext::initWithAPI_sharegroup(kEAGLRenderingAPIOpenGLES2, context->sharegroup());
    auto stranger = EAGLContext::initWithAPI(kEAGLRenderingAPIOpenGLES2);
    ASSERT_TRUE(sibling && stranger);
    EXPECT_EQ(sibling->sharegroup(), context->sharegroup());
    EXPECT_NE(stranger->sharegroup(), context->sharegroup());
    ASSERT_TRUE(EAGLContext::setCurrentContext(sibling));
    EXPECT_EQ(glIsTexture(texture), GL_TRUE);
    ASSERT_TRUE(EAGLContext::setCurrentContext(stranger));
    EXPECT_EQ(glIsTexture(texture), GL_FALSE);
    // The group's objects outlive the context that made them.
    ASSERT_TRUE(EAGLContext::setCurrentContext(nullptr));
    auto group = context->sharegroup();
    context.reset();
    ASSERT_TRUE(EAGLContext::setCurrentContext(sibling));
    EXPECT_EQ(glIsTexture(texture), GL_TRUE);
}

TEST_F(EAGLContextTest, TextureTargetIsNotAnEs2Capability)
{
    using namespace EAGLContextTest_cpp;
    // Code written for the phone enables GL_TEXTURE_2D; ES 2 reports that as an invalid enum, which
    // its callers clear.
    glEnable(GL_TEXTURE_2D);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(EAGLContextTest, RenderbufferStorageFollowsBoundsTimesScale)
{
    using namespace EAGLContextTest_cpp;
    struct Case {
        CGSize bounds;
        CGFloat scale;
        bool stored;
        GLint width;
        GLint height;
    };
    const Case cases[] = {
        {{320, 480}, 2, true, 640, 960},
        {{320, 480}, 1, true, 320, 480},
        {{3, 5}, 2, true, 6, 10},
        {{0, 480}, 2, false, 0, 0},
        {{0, 0}, 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bounds.width << " x " << c.bounds.height << " @" << c.scale);
        Drawable drawable;
        auto layer = CAEAGLLayer::layer();
        layer->setBounds({{0, 0}, c.bounds});
        layer->setContentsScale(c.scale);
        EXPECT_EQ(context->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, layer), c.stored);
        GLint width = 0;
        GLint height = 0;
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &height);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
}

TEST_F(EAGLContextTest, StorageNeedsTheContextCurrentAndARenderbufferBound)
{
    using namespace EAGLContextTest_cpp;
    auto layer = CAEAGLLayer::layer();
    layer->setBounds({{0, 0}, {4, 4}});
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    EXPECT_FALSE(context->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, layer));
    Drawable drawable;
    auto other = EAGLContext::initWithAPI_sharegroup(kEAGLRenderingAPIOpenGLES2, context->sharegroup());
    EXPECT_FALSE(other->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, layer));
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));  // bound but never given storage
}

TEST_F(EAGLContextTest, PresentSetsTheUprightPictureAsContents)
{
    using namespace EAGLContextTest_cpp;
    Drawable drawable;
    auto layer = CAEAGLLayer::layer();
    layer->setBounds({{0, 0}, {2, 3}});
    layer->setContentsScale(2);
    ASSERT_TRUE(context->renderbufferStorage_fromDrawable(GL_RENDERBUFFER, layer));
    drawable.attach();
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    // GL's row 0 is the bottom of the picture: red at the bottom, blue at the top, half-transparent
    // green between.
    fillRows(0, 4, 2, {1, 0, 0, 1});
    fillRows(2, 4, 2, {0, 1, 0, 0.5f});
    fillRows(4, 4, 2, {0, 0, 1, 1});
    EXPECT_EQ(layer->presentedCount(), 0u);
    ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER));
    EXPECT_EQ(layer->presentedCount(), 1u);
    CGImageRef picture = layer->contents();
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width(), 4u);
    ASSERT_EQ(picture->height(), 6u);
    struct Row {
        size_t y;
        uint32_t argb;
    };
    for (const Row& row : {Row{0, 0xFF0000FFu}, Row{1, 0xFF0000FFu}, Row{2, 0x80008000u}, Row{3, 0x80008000u},
                           Row{4, 0xFFFF0000u}, Row{5, 0xFFFF0000u}}) {
        for (size_t x = 0; x < 4; ++x) {
            EXPECT_EQ(picture->pixelAt(x, row.y), row.argb) << x << "," << row.y;
        }
    }
    // Presenting leaves the caller's framebuffer bound.
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), drawable.framebuffer);
    // A layer that has gone takes no more pictures.
    layer.reset();
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));
}

TEST(CAEAGLLayerDefaults, DrawablePropertiesAreUnretainedRGBA8)
{
    using namespace EAGLContextTest_cpp;
    auto layer = CAEAGLLayer::layer();
    EXPECT_FALSE(layer->drawableProperties()[kEAGLDrawablePropertyRetainedBacking].boolValue());
    EXPECT_EQ(layer->drawableProperties()[kEAGLDrawablePropertyColorFormat].stringValue(), kEAGLColorFormatRGBA8);
    EXPECT_FALSE(layer->contents());
}
