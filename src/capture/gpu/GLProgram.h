#pragma once
// One linked vertex-plus-fragment shader program. Attributes are bound to the locations of their
// places in `attributes` before linking; uniforms are looked up after it.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObjCRuntime.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"
#include "platform/gl/OpenGLES.h"

class GLProgram : public NSObject {
public:
    // A nil source (nullopt) is a shader that could not be loaded: it fails to compile, so the program
    // fails to link.
    static Ref<GLProgram> initWithVertexShaderString_fragmentShaderString(const std::optional<std::string>& vertex,
                                                                          const std::optional<std::string>& fragment);
    // The fragment source is the bundle resource `name`.fsh.
    static Ref<GLProgram> initWithVertexShaderString_fragmentShaderFilename(const std::optional<std::string>& vertex,
                                                                            const std::string& fragmentName);
    // Both sources from the bundle: `vertexName`.vsh and `fragmentName`.fsh.
    static Ref<GLProgram> initWithVertexShaderFilename_fragmentShaderFilename(const std::string& vertexName,
                                                                              const std::string& fragmentName);

    // Compiles source into a new shader object of that type stored in `shader`; whether it compiled.
    bool compileShader_type_string(GLuint* shader, GLenum type, const std::optional<std::string>& source);
    // Binds the attribute to the next location unless it is already in the list.
    void addAttribute(const std::string& attributeName);
    // The attribute's location, NSNotFound when it was never added.
    NSUInteger attributeIndex(const std::string& attributeName) const;
    GLint uniformIndex(const std::string& uniformName) const;
    bool link();
    void use();
    void validate();
    // The info logs as text, nil when empty.
    Value vertexShaderLog() const;
    Value fragmentShaderLog() const;
    Value programLog() const;

    const std::vector<std::string>& attributes() const { return attributes_; }
    GLuint program() const { return program_; }
    GLuint vertShader() const { return vertShader_; }
    GLuint fragShader() const { return fragShader_; }

    GLProgram();
    ~GLProgram() override;

protected:
    void initWithVertexShaderString_fragmentShaderStringBody(const std::optional<std::string>& vertex,
                                                             const std::optional<std::string>& fragment);

private:
    std::vector<std::string> attributes_;
    GLuint program_ = 0;
    GLuint vertShader_ = 0;
    GLuint fragShader_ = 0;
};

// The UTF-8 text of the bundle resource name.type, nil when it is missing or not UTF-8.
std::optional<std::string> GLProgramBundleSource(const std::string& name, const std::string& type);
