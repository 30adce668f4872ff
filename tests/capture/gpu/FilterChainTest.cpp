// The chain's base on the real renderer: programs, targets and indices, framebuffer sizes, drawing.
#include <gtest/gtest.h>

#include <thread>

#include "GpuTestSupport.h"
#include "capture/gpu/GLProgram.h"
#include "capture/gpu/GPUFilter.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIImage.h"

namespace {
namespace FilterChainTest_cpp {

const char* const kBrokenShader = "void main() { this is not GLSL; }";

// Output: red from the first input, green from the second, blue 0.
const char* const kTwoInputShader = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform sampler2D inputImageTexture2;
void main()
{
    gl_FragColor = vec4(texture2D(inputImageTexture, textureCoordinate).r,
                        texture2D(inputImageTexture2, textureCoordinate).g, 0.0, 1.0);
}
)";

// Output: a colour made of the uniforms the setters reach.
const char* const kUniformShader = R"(
varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;
uniform lowp float level;
uniform lowp vec2 pair;
uniform lowp vec3 triple;
uniform lowp vec4 quad;
uniform int flag;
void main()
{
    lowp float f = flag == 3 ? 1.0 : 0.0;
    gl_FragColor = vec4(level, pair.y, triple.z * f, quad.w);
}
)";

Ref<GPUFilter> passthrough()
{
    return GPUFilter::initWithFragmentShaderFromString(std::string(kGPUPassthroughFragmentShaderString));
}

}  // namespace FilterChainTest_cpp
}  // namespace


// --- Programs ---------------------------------------------------------------------------------------

TEST(GLProgramTest, AttributesAreBoundOnceInOrder)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    GPUOpenGLESContext::useImageProcessingContext();
    auto program = GLProgram::initWithVertexShaderString_fragmentShaderString(
        std::string(kGPUVertexShaderString), std::string(kGPUPassthroughFragmentShaderString));
    program->addAttribute("position");
    program->addAttribute("inputTextureCoordinate");
    program->addAttribute("position");
    EXPECT_EQ(program->attributes(), (std::vector<std::string>{"position", "inputTextureCoordinate"}));
    ASSERT_TRUE(program->link());
    EXPECT_EQ(program->attributeIndex("position"), 0u);
    EXPECT_EQ(program->attributeIndex("inputTextureCoordinate"), 1u);
    EXPECT_EQ(glGetAttribLocation(program->program(), "inputTextureCoordinate"), 1);
    EXPECT_EQ(program->attributeIndex("never added"), NSNotFound);
    EXPECT_GE(program->uniformIndex("inputImageTexture"), 0);
    EXPECT_EQ(program->uniformIndex("noSuchUniform"), -1);
    // A linked program has let its shaders go.
    EXPECT_EQ(program->vertShader(), 0u);
    EXPECT_EQ(program->fragShader(), 0u);
}

TEST(GLProgramTest, FailuresAreLoggedAndReported)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    struct Case {
        const char* name;
        std::optional<std::string> vertex;
        std::optional<std::string> fragment;
        std::vector<std::string> logged;
        bool vertexLog;
        bool fragmentLog;
    };
    const Case cases[] = {
        {"broken fragment", std::string(kGPUVertexShaderString), std::string(kBrokenShader),
         {"Failed to compile fragment shader", "Shader compile log:\n"}, false, true},
        {"broken vertex", std::string(kBrokenShader), std::string(kGPUPassthroughFragmentShaderString),
         {"Failed to compile vertex shader", "Shader compile log:\n"}, true, false},
        {"missing fragment", std::string(kGPUVertexShaderString), std::nullopt,
         {"Failed to load vertex shader", "Failed to compile fragment shader"}, false, false},
    };
    GPUOpenGLESContext::useImageProcessingContext();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NSLogCapture log(true);
        auto program = GLProgram::initWithVertexShaderString_fragmentShaderString(c.vertex, c.fragment);
        for (const std::string& line : c.logged) {
            EXPECT_TRUE(log.contains(line)) << line;
        }
        program->addAttribute("position");
        EXPECT_FALSE(program->link());
        EXPECT_EQ(program->vertexShaderLog().isNil(), !c.vertexLog);
        EXPECT_EQ(program->fragmentShaderLog().isNil(), !c.fragmentLog);
    }
}

TEST(GLProgramTest, ShaderFilesComeFromTheBundle)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    GPUOpenGLESContext::useImageProcessingContext();
    NSLogCapture log(true);
    auto missing = GLProgram::initWithVertexShaderString_fragmentShaderFilename(std::string(kGPUVertexShaderString),
                                                                                "noSuchShader");
    EXPECT_TRUE(log.contains("Failed to load vertex shader"));
    EXPECT_FALSE(missing->link());
    auto found = GLProgram::initWithVertexShaderString_fragmentShaderFilename(std::string(kGPUVertexShaderString),
                                                                              "originality");
    EXPECT_TRUE(found->link());
}

TEST(GPUFilterTest, LinkFailureRaisesAfterLoggingTheThreeLogs)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    NSLogCapture log(true);
    try {
        GPUFilter::initWithFragmentShaderFromString(std::string(kBrokenShader));
        ADD_FAILURE() << "no exception";
    } catch (const NSException& e) {
        EXPECT_EQ(e.name(), NSInternalInconsistencyException);
        EXPECT_EQ(e.reason(), "Filter shader link failed");
    }
    EXPECT_TRUE(log.contains("Program link log: "));
    EXPECT_TRUE(log.contains("Fragment shader compile log: "));
    EXPECT_TRUE(log.contains("Vertex shader compile log: (null)"));

    EXPECT_THROW(GPUFilter::initWithFragmentShaderFromFile("noSuchShader"), NSException);
}

// --- Targets ----------------------------------------------------------------------------------------

TEST(GPUOutputTest, TargetsHearOfTexturesAndSizesInOrder)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto source = PictureSource::withPicture(Picture::filled(4, 2, {10, 20, 30, 255}));
    auto first = std::make_shared<RecordingInput>();
    auto second = std::make_shared<RecordingInput>();
    second->nextIndex = 1;
    source->addTarget(first);
    source->addTarget(second);
    EXPECT_EQ(source->targetTextureIndices(), (std::vector<GLint>{0, 1}));
    EXPECT_EQ(first->lastTexture, source->outputTexture());
    EXPECT_EQ(second->calls, (std::vector<std::string>{"texture set at 1"}));

    source->processFrame();
    EXPECT_EQ(first->calls, (std::vector<std::string>{"texture set at 0", "size 4x2", "newFrameReady"}));

    source->removeTarget(second);
    EXPECT_EQ(second->calls, (std::vector<std::string>{"texture set at 1", "size 4x2", "newFrameReady", "size 0x0",
                                                       "texture 0 at 1"}));
    ASSERT_EQ(source->targets().size(), 1u);
    EXPECT_EQ(source->targets()[0], first);
    EXPECT_EQ(source->targetTextureIndices(), (std::vector<GLint>{0}));
}

TEST(GPUOutputTest, RemovingAConsumerThatIsNoTargetChangesNothing)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto source = PictureSource::withPicture(Picture::filled(1, 1, {0, 0, 0, 255}));
    auto target = std::make_shared<RecordingInput>();
    auto stranger = std::make_shared<RecordingInput>();
    source->addTarget(target);
    source->removeTarget(stranger);
    source->removeTarget(nullptr);
    EXPECT_TRUE(stranger->calls.empty());
    EXPECT_EQ(source->targets().size(), 1u);
    EXPECT_EQ(target->calls.size(), 1u);
}

TEST(GPUOutputTest, RemoveAllTargetsAndReleaseClearEveryTarget)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto target = std::make_shared<RecordingInput>();
    auto other = std::make_shared<RecordingInput>();
    other->nextIndex = 1;
    {
        auto source = PictureSource::withPicture(Picture::filled(1, 1, {0, 0, 0, 255}));
        source->addTarget(target);
        source->removeAllTargets();
        EXPECT_TRUE(source->targets().empty());
        EXPECT_TRUE(source->targetTextureIndices().empty());
        source->addTarget(other);
    }  // released: its remaining target is cleared too
    EXPECT_EQ(target->calls, (std::vector<std::string>{"texture set at 0", "size 0x0", "texture 0 at 0"}));
    EXPECT_EQ(other->calls, (std::vector<std::string>{"texture set at 1", "size 0x0", "texture 0 at 1"}));
}

TEST(GPUFilterTest, ASecondSourceFeedsTheSecondInput)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto left = PictureSource::withPicture(Picture::filled(2, 2, {200, 10, 10, 255}));
    auto right = PictureSource::withPicture(Picture::filled(2, 2, {10, 150, 10, 255}));
    auto blend = GPUFilter::initWithFragmentShaderFromString(std::string(kTwoInputShader));
    EXPECT_EQ(blend->nextAvailableTextureIndex(), 0);
    left->addTarget(blend);
    EXPECT_EQ(blend->nextAvailableTextureIndex(), 1);
    right->addTarget(blend);
    EXPECT_EQ(right->targetTextureIndices(), (std::vector<GLint>{1}));
    EXPECT_EQ(blend->filterSourceTexture(), left->outputTexture());
    EXPECT_EQ(blend->filterSourceTexture2(), right->outputTexture());
    right->processFrame();
    left->processFrame();
    EXPECT_TRUE(picturesMatch(Picture::filled(2, 2, {200, 150, 0, 255}), readFramebuffer(*blend)));
    // Removing the second source clears only the second input.
    right->removeTarget(blend);
    EXPECT_EQ(blend->filterSourceTexture2(), 0u);
    EXPECT_EQ(blend->filterSourceTexture(), left->outputTexture());
}

// --- Drawing ----------------------------------------------------------------------------------------

TEST(GPUFilterTest, PassthroughKeepsEveryPixel)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    const Picture input = Picture::asymmetric(7, 5);
    auto source = PictureSource::withPicture(input);
    auto filter = passthrough();
    source->addTarget(filter);
    source->processFrame();
    EXPECT_TRUE(picturesMatch(input, readFramebuffer(*filter)));
}

TEST(GPUFilterTest, FramebufferSizeFollowsTheWidestTarget)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    struct Case {
        const char* name;
        CGSize input;
        std::vector<CGSize> targetMaximums;
        CGSize expected;
    };
    const Case cases[] = {
        {"no target", {480, 640}, {}, {480, 640}},
        {"target without preference", {480, 640}, {{0, 0}}, {480, 640}},
        {"2x preview: input narrower than it", {480, 640}, {{640, 960}}, {480, 640}},
        {"1x preview: input as wide or wider", {480, 640}, {{320, 480}}, {320, 480}},
        {"widest of several wins", {480, 640}, {{100, 900}, {320, 480}, {200, 100}}, {320, 480}},
        {"equal width takes the maximum", {320, 100}, {{320, 480}}, {320, 480}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto filter = passthrough();
        std::vector<Ref<RecordingInput>> targets;
        for (CGSize maximum : c.targetMaximums) {
            targets.push_back(std::make_shared<RecordingInput>());
            targets.back()->maximum = maximum;
            filter->addTarget(targets.back());
        }
        filter->setInputSize(c.input);
        EXPECT_EQ(filter->sizeOfFBO(), c.expected);
        filter->newFrameReady();
        const Picture out = readFramebuffer(*filter);
        EXPECT_EQ(out.width, static_cast<int>(c.expected.width));
        EXPECT_EQ(out.height, static_cast<int>(c.expected.height));
        // Targets hear the filter's input size, not its framebuffer's.
        for (const auto& target : targets) {
            EXPECT_EQ(target->calls.back(), "newFrameReady");
            EXPECT_EQ(target->calls[target->calls.size() - 2],
                      "size " + std::to_string(static_cast<int>(c.input.width)) + "x" +
                          std::to_string(static_cast<int>(c.input.height)));
        }
    }
}

TEST(GPUFilterTest, MaximumSizeIsWorkedOutAgainWhenTargetsChange)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto filter = passthrough();
    auto small = std::make_shared<RecordingInput>();
    small->maximum = {320, 480};
    auto large = std::make_shared<RecordingInput>();
    large->maximum = {640, 960};
    filter->addTarget(small);
    EXPECT_EQ(filter->maximumOutputSize(), CGSizeMake(320, 480));
    small->maximum = {10, 10};  // cached until the targets change
    EXPECT_EQ(filter->maximumOutputSize(), CGSizeMake(320, 480));
    filter->addTarget(large);
    EXPECT_EQ(filter->maximumOutputSize(), CGSizeMake(640, 960));
    filter->removeTarget(large);
    EXPECT_EQ(filter->maximumOutputSize(), CGSizeMake(10, 10));
}

TEST(GPUFilterTest, UniformSettersReachTheShader)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto source = PictureSource::withPicture(Picture::filled(2, 2, {0, 0, 0, 255}));
    auto filter = GPUFilter::initWithFragmentShaderFromString(std::string(kUniformShader));
    const GLfloat triple[3] = {0, 0, 1};
    const GLfloat quad[4] = {0, 0, 0, 0.6f};
    filter->setFloat_forUniform(0.2f, "level");
    filter->setSize_forUniform(CGSizeMake(0, 0.4), "pair");
    filter->setFloatVec3_forUniform(triple, "triple");
    filter->setFloatVec4_forUniform(quad, "quad");
    filter->setInteger_forUniform(3, "flag");
    source->addTarget(filter);
    source->processFrame();
    EXPECT_TRUE(picturesMatch(Picture::filled(2, 2, {51, 102, 255, 153}), readFramebuffer(*filter)));
    filter->setPoint_forUniform(CGPointMake(0, 0.8), "pair");
    filter->setInteger_forUniform(0, "flag");
    source->processFrame();
    EXPECT_TRUE(picturesMatch(Picture::filled(2, 2, {51, 204, 0, 153}), readFramebuffer(*filter)));
}

TEST(GPUFilterTest, ImageOfTheOutputIsOpaqueLeftOrientedRowsAsRead)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    Picture input = Picture::asymmetric(3, 2);
    input.at(1, 1)[3] = 128;  // alpha is not part of the picture
    auto source = PictureSource::withPicture(input);
    auto filter = passthrough();
    source->addTarget(filter);
    source->processFrame();
    Ref<UIImage> image = filter->imageFromCurrentlyProcessedOutput();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imageOrientation(), UIImageOrientationLeft);
    EXPECT_EQ(image->scale(), 1.0);
    CGImageRef bitmap = image->CGImage();
    ASSERT_EQ(bitmap->width(), 3u);
    ASSERT_EQ(bitmap->height(), 2u);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const uint8_t* px = input.at(x, y);
            const uint32_t expected = 0xFF000000u | (uint32_t{px[0]} << 16) | (uint32_t{px[1]} << 8) | px[2];
            EXPECT_EQ(bitmap->pixelAt(static_cast<size_t>(x), static_cast<size_t>(y)), expected) << x << "," << y;
        }
    }
}

TEST(GPUOpenGLESContextTest, OneSharedContextWithTheDeviceLimits)
{
    using namespace gputest;
    using namespace FilterChainTest_cpp;
    auto shared = GPUOpenGLESContext::sharedImageProcessingOpenGLESContext();
    EXPECT_EQ(shared, GPUOpenGLESContext::sharedImageProcessingOpenGLESContext());
    GPUOpenGLESContext::useImageProcessingContext();
    EXPECT_EQ(EAGLContext::currentContext(), shared->context());
    EXPECT_GE(GPUOpenGLESContext::maximumTextureSizeForThisDevice(), 2048);
    EXPECT_GE(GPUOpenGLESContext::maximumTextureUnitsForThisDevice(), 8);
    // The phone-era texture switch left no error behind, and depth testing is off.
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GL_FALSE);
}

TEST(GPUOpenGLESContextTest, SharedInstanceIsMadeOnceWhateverThreadsAsk)
{
    std::vector<Ref<GPUOpenGLESContext>> seen(6);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = GPUOpenGLESContext::sharedImageProcessingOpenGLESContext(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& context : seen) {
        EXPECT_EQ(context, GPUOpenGLESContext::sharedImageProcessingOpenGLESContext());
    }
    // Its EAGL context is made once too, and can then be current on this thread.
    EXPECT_EQ(seen[0]->context(), seen[1]->context());
    GPUOpenGLESContext::useImageProcessingContext();
    EXPECT_EQ(EAGLContext::currentContext(), seen[0]->context());
}
