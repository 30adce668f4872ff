#pragma once
// A filter: a frame consumer and a frame source. It draws its input textures (index 0, and index 1 for
// a two-image filter) through its shader program into a framebuffer whose colour buffer is its output
// texture, then hands that texture on: every target hears setInputSize (with this filter's input
// size) and newFrameReady, in the order they were added.
//
// Framebuffer size (made once, on the first frame): the input size, unless the targets' largest
// maximumOutputSize is not zero and the input is at least as wide as it, in which case that maximum.
// So a preview on a 1x screen makes the filters in front of it render at its own size.
//
// Shaders: the default vertex shader (kGPUVertexShaderString) takes "position" and
// "inputTextureCoordinate" and passes the varying "textureCoordinate"; fragment shaders read
// "inputImageTexture" (and "inputImageTexture2"). A program that fails to link logs its three logs
// and raises NSInternalInconsistencyException "Filter shader link failed".
#include <optional>
#include <string>

#include "capture/gpu/GLProgram.h"
#include "capture/gpu/GPUOutput.h"

class UIImage;

extern const char* const kGPUVertexShaderString;
// Draws the input texel unchanged.
extern const char* const kGPUPassthroughFragmentShaderString;

class GPUFilter : public GPUOutput, public GPUInput {
public:
    static Ref<GPUFilter> initWithVertexShaderFromString_fragmentShaderFromString(
        const std::optional<std::string>& vertexShaderString, const std::optional<std::string>& fragmentShaderString);
    static Ref<GPUFilter> initWithFragmentShaderFromString(const std::optional<std::string>& fragmentShaderString);
    // The fragment shader is the bundle resource `name`.fsh.
    static Ref<GPUFilter> initWithFragmentShaderFromFile(const std::string& fragmentShaderFilename);

    // --- Still images ---
    // The current output (the framebuffer's pixels, row 0 first) as an image of scale 1 and
    // orientation Left; alpha is not kept (the picture is opaque).
    virtual Ref<UIImage> imageFromCurrentlyProcessedOutput();
    // Puts one still image through this filter (from a picture source made of it) and returns the
    // output as above.
    virtual Ref<UIImage> imageByFilteringImage(const Ref<UIImage>& imageToFilter);

    // --- Parameters (with the context current and the program in use) ---
    void setInteger_forUniform(GLint newInteger, const std::string& uniformName);
    void setFloat_forUniform(GLfloat newFloat, const std::string& uniformName);
    void setSize_forUniform(CGSize newSize, const std::string& uniformName);
    void setPoint_forUniform(CGPoint newPoint, const std::string& uniformName);
    void setFloatVec3_forUniform(const GLfloat* newVec3, const std::string& uniformName);
    void setFloatVec4_forUniform(const GLfloat* newVec4, const std::string& uniformName);

    // --- Rendering ---
    // One draw of the inputs (8 floats each: four vertices of a triangle strip) into the framebuffer,
    // then the hand-on to the targets.
    virtual void renderToTextureWithVertices_textureCoordinates(const GLfloat* vertices, const GLfloat* textureCoordinates);
    // Called with the framebuffer's size right after the framebuffer is made.
    virtual void setupFilterForSize(CGSize filterFrameSize) {}
    void createFilterFBO();
    void destroyFilterFBO();
    void setFilterFBO();
    CGSize sizeOfFBO();

    // --- GPUInput ---
    void newFrameReady() override;
    void setInputTexture_atIndex(GLuint newInputTexture, GLint textureIndex) override;
    GLint nextAvailableTextureIndex() override;
    void setInputSize(CGSize newSize) override;
    CGSize maximumOutputSize() override;

    const Ref<GLProgram>& filterProgram() const { return filterProgram_; }
    GLuint filterSourceTexture() const { return filterSourceTexture_; }
    GLuint filterSourceTexture2() const { return filterSourceTexture2_; }
    GLuint filterFramebuffer() const { return filterFramebuffer_; }

    GPUFilter();
    ~GPUFilter() override;

protected:
    // Init bodies, for subclasses.
    void initWithVertexShaderFromString_fragmentShaderFromStringBody(const std::optional<std::string>& vertexShaderString,
                                                                     const std::optional<std::string>& fragmentShaderString);
    void initWithFragmentShaderFromStringBody(const std::optional<std::string>& fragmentShaderString);
    // Adds the program's attributes before it is linked.
    virtual void initializeAttributes();

    GLuint filterSourceTexture_ = 0;
    GLuint filterSourceTexture2_ = 0;
    Ref<GLProgram> filterProgram_;
    GLint filterPositionAttribute_ = -1;
    GLint filterTextureCoordinateAttribute_ = -1;
    GLint filterInputTextureUniform_ = -1;
    GLint filterInputTextureUniform2_ = -1;
    GLuint filterFramebuffer_ = 0;
    CGSize filterFramebufferSize_{0, 0};
};

// Raises "Filter shader link failed" after logging the program's three logs, unless it linked.
void GPUFilterLinkOrFail(const Ref<GLProgram>& program);
