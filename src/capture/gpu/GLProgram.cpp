#include "capture/gpu/GLProgram.h"

#include <algorithm>

#include "capture/gpu/GPUOpenGLESContext.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

namespace {
namespace GLProgram_cpp {

using LengthQuery = void (*)(GLuint object, GLenum name, GLint* value);
using LogQuery = void (*)(GLuint object, GLsizei size, GLsizei* length, GLchar* log);

Value logForOpenGLObject(GLuint object, LengthQuery infoCallback, LogQuery logFunc)
{
    if (object == 0) {
        return Value();
    }
    GLint length = 0;
    infoCallback(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) {
        return Value();
    }
    std::string log(static_cast<size_t>(length), '\0');
    GLsizei written = 0;
    logFunc(object, length, &written, log.data());
    log.resize(static_cast<size_t>(std::clamp<GLsizei>(written, 0, length)));
    if (log.empty()) {
        return Value();
    }
    return Value(log);
}

}  // namespace GLProgram_cpp
}  // namespace

std::optional<std::string> GLProgramBundleSource(const std::string& name, const std::string& type)
{
    const std::string path = NSBundle::mainBundle()->pathForResource_ofType(name, type);
    if (path.empty()) {
        return std::nullopt;
    }
    return NSString::stringWithContentsOfFile(path);
}

GLProgram::GLProgram() = default;

GLProgram::~GLProgram()
{
    // Programs of the chain live in the shared context; one dropped on a thread without a context
    // still frees its objects there.
    if (!EAGLContext::currentContext()) {
        GPUOpenGLESContext::useImageProcessingContext();
    }
    if (vertShader_) {
        glDeleteShader(vertShader_);
    }
    if (fragShader_) {
        glDeleteShader(fragShader_);
    }
    if (program_) {
        glDeleteProgram(program_);
    }
}

Ref<GLProgram> GLProgram::initWithVertexShaderString_fragmentShaderString(const std::optional<std::string>& vertex,
                                                                          const std::optional<std::string>& fragment)
{
    auto program = std::make_shared<GLProgram>();
    program->initWithVertexShaderString_fragmentShaderStringBody(vertex, fragment);
    return program;
}

Ref<GLProgram> GLProgram::initWithVertexShaderString_fragmentShaderFilename(const std::optional<std::string>& vertex,
                                                                            const std::string& fragmentName)
{
    return initWithVertexShaderString_fragmentShaderString(vertex, GLProgramBundleSource(fragmentName, "fsh"));
}

Ref<GLProgram> GLProgram::initWithVertexShaderFilename_fragmentShaderFilename(const std::string& vertexName,
                                                                              const std::string& fragmentName)
{
    return initWithVertexShaderString_fragmentShaderString(GLProgramBundleSource(vertexName, "vsh"),
                                                           GLProgramBundleSource(fragmentName, "fsh"));
}

void GLProgram::initWithVertexShaderString_fragmentShaderStringBody(const std::optional<std::string>& vertex,
                                                                    const std::optional<std::string>& fragment)
{
    initBody();
    program_ = glCreateProgram();
    if (!compileShader_type_string(&vertShader_, GL_VERTEX_SHADER, vertex)) {
        NSLog("Failed to compile vertex shader");
    }
    if (!compileShader_type_string(&fragShader_, GL_FRAGMENT_SHADER, fragment)) {
        NSLog("Failed to compile fragment shader");
    }
    if (vertShader_) {
        glAttachShader(program_, vertShader_);
    }
    if (fragShader_) {
        glAttachShader(program_, fragShader_);
    }
}

bool GLProgram::compileShader_type_string(GLuint* shader, GLenum type, const std::optional<std::string>& source)
{
    if (!source) {
        // The message names the vertex shader whichever failed to load; logs and tests rely on it.
        NSLog("Failed to load vertex shader");
        return false;
    }
    *shader = glCreateShader(type);
    const GLchar* text = source->c_str();
    glShaderSource(*shader, 1, &text, nullptr);
    glCompileShader(*shader);
    GLint status = 0;
    glGetShaderiv(*shader, GL_COMPILE_STATUS, &status);
    if (status != GL_TRUE) {
        GLint length = 0;
        glGetShaderiv(*shader, GL_INFO_LOG_LENGTH, &length);
        if (length > 0) {
            std::string log(static_cast<size_t>(length), '\0');
            glGetShaderInfoLog(*shader, length, &length, log.data());
            log.resize(static_cast<size_t>(std::max<GLint>(length, 0)));
            NSLog("Shader compile log:\n%s", log.c_str());
        }
    }
    return status == GL_TRUE;
}

void GLProgram::addAttribute(const std::string& attributeName)
{
    if (std::find(attributes_.begin(), attributes_.end(), attributeName) != attributes_.end()) {
        return;
    }
    attributes_.push_back(attributeName);
    glBindAttribLocation(program_, static_cast<GLuint>(attributes_.size() - 1), attributeName.c_str());
}

NSUInteger GLProgram::attributeIndex(const std::string& attributeName) const
{
    auto found = std::find(attributes_.begin(), attributes_.end(), attributeName);
    return found == attributes_.end() ? NSNotFound : static_cast<NSUInteger>(found - attributes_.begin());
}

GLint GLProgram::uniformIndex(const std::string& uniformName) const
{
    return glGetUniformLocation(program_, uniformName.c_str());
}

bool GLProgram::link()
{
    glLinkProgram(program_);
    validate();
    GLint status = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &status);
    if (status == GL_FALSE) {
        return false;
    }
    if (vertShader_) {
        glDeleteShader(vertShader_);
        vertShader_ = 0;
    }
    if (fragShader_) {
        glDeleteShader(fragShader_);
        fragShader_ = 0;
    }
    return true;
}

void GLProgram::use()
{
    glUseProgram(program_);
}

void GLProgram::validate()
{
    glValidateProgram(program_);
    Value log = GLProgram_cpp::logForOpenGLObject(program_, glGetProgramiv, glGetProgramInfoLog);
    if (!log.isNil()) {
        NSLog("Program validate log:\n%s", log.stringValue().c_str());
    }
}

Value GLProgram::vertexShaderLog() const
{
    return GLProgram_cpp::logForOpenGLObject(vertShader_, glGetShaderiv, glGetShaderInfoLog);
}

Value GLProgram::fragmentShaderLog() const
{
    return GLProgram_cpp::logForOpenGLObject(fragShader_, glGetShaderiv, glGetShaderInfoLog);
}

Value GLProgram::programLog() const
{
    return GLProgram_cpp::logForOpenGLObject(program_, glGetProgramiv, glGetProgramInfoLog);
}
