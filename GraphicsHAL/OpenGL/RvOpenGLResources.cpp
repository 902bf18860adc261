// Sections: >>helpers >>render targets >>shaders >>parameters >>textures >>buffers >>meshes >>read pixels
#include <cstring>

#include "RvOpenGLInternal.h"

// >>helpers

static void deleteObject(int kind, GLuint name) {
    switch (kind) {
    case kRvGLTexture:
        glDeleteTextures(1, &name);
        break;
    case kRvGLBuffer:
        glDeleteBuffers(1, &name);
        break;
    case kRvGLProgram:
        glDeleteProgram(name);
        break;
    case kRvGLRenderbuffer:
        glDeleteRenderbuffers(1, &name);
        break;
    case kRvGLFramebuffer:
        glDeleteFramebuffers(1, &name);
        break;
    default:
        break;
    }
}

void RvOpenGLReleaseObject(RvGraphicsDevice* device, int kind, uint32_t name, uint32_t ownerSerial) {
    auto* d = static_cast<RvOpenGLGraphicsDevice*>(device);
    if (!name || !d) return;
    {
        std::lock_guard<std::mutex> lock(d->pendingMutex);
        if (d->liveRenderers > 0) {
            d->pendingDeletions.push_back({kind == kRvGLFramebuffer ? ownerSerial : 0, kind, name});
            return;
        }
    }
    // No renderer: a framebuffer went with its renderer's context; shared objects go now.
    if (kind == kRvGLFramebuffer) return;
    RvOpenGLGraphicsDeviceLock(d);
    deleteObject(kind, name);
    RvOpenGLGraphicsDeviceUnlock(d);
}

void RvOpenGLDeletePendingObjects(RvOpenGLRenderer* r) {
    auto* d = static_cast<RvOpenGLGraphicsDevice*>(r->device);
    std::lock_guard<std::mutex> lock(d->pendingMutex);
    auto& list = d->pendingDeletions;
    for (size_t i = 0; i < list.size();) {
        if (list[i].rendererSerial == 0 || list[i].rendererSerial == r->serial) {
            deleteObject(list[i].kind, list[i].name);
            list[i] = list.back();
            list.pop_back();
        } else {
            i++;
        }
    }
}

void RvOpenGLForgetPendingFramebuffers(RvOpenGLGraphicsDevice* d, uint32_t serial) {
    std::lock_guard<std::mutex> lock(d->pendingMutex);
    auto& list = d->pendingDeletions;
    for (size_t i = 0; i < list.size();) {
        if (list[i].kind == kRvGLFramebuffer && list[i].rendererSerial == serial) {
            list[i] = list.back();
            list.pop_back();
        } else {
            i++;
        }
    }
}

void RvOpenGLRendererRegister(RvOpenGLGraphicsDevice* d) {
    std::lock_guard<std::mutex> lock(d->pendingMutex);
    d->liveRenderers++;
}

void RvOpenGLRendererUnregister(RvOpenGLGraphicsDevice* d) {
    std::vector<RvOpenGLGraphicsDevice::PendingDeletion> left;
    {
        std::lock_guard<std::mutex> lock(d->pendingMutex);
        if (--d->liveRenderers > 0) return;
        left.swap(d->pendingDeletions);
    }
    RvOpenGLGraphicsDeviceLock(d);
    for (const auto& p : left)
        if (p.kind != kRvGLFramebuffer) deleteObject(p.kind, p.name);
    RvOpenGLGraphicsDeviceUnlock(d);
}

static RvOpenGLRenderer* glRenderer(RvRenderer* r) {
    return static_cast<RvOpenGLRenderer*>(r);
}

// Usage hint from the access mode.
static GLenum bufferUsage(int accessMode) {
    return (accessMode & kRvAccessDynamic) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
}

static GLenum primitiveMode(int type) {
    static const GLenum kModes[] = {GL_TRIANGLES,  GL_POINTS,    GL_LINES,
                                    GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP};
    return type >= 0 && type <= 5 ? kModes[type] : GL_TRIANGLES;
}

static GLenum scalarGLType(int scalar) {
    switch (scalar) {
    case kRvScalarInt8:
        return GL_BYTE;
    case kRvScalarInt16:
        return GL_SHORT;
    case kRvScalarInt32:
        return GL_INT;
    case kRvScalarUInt8:
        return GL_UNSIGNED_BYTE;
    case kRvScalarUInt16:
        return GL_UNSIGNED_SHORT;
    case kRvScalarUInt32:
        return GL_UNSIGNED_INT;
    case kRvScalarFloat:
        return GL_FLOAT;
    default:
        return 0;
    }
}

// >>render targets

RvOpenGLRenderTarget::RvOpenGLRenderTarget(RvGraphicsDevice* d) : RvRenderTarget(d) {
    flipVertically = true;
}

RvOpenGLRenderTarget::~RvOpenGLRenderTarget() {
    for (uint32_t name : renderbuffers)
        RvOpenGLReleaseObject(device, kRvGLRenderbuffer, name);
    RvOpenGLReleaseObject(device, kRvGLFramebuffer, framebuffer, framebufferOwner);
}

void RvOpenGLRenderTargetBind(RvRenderTarget* target, RvRenderer* renderer) {
    if (renderer) renderer->bindRenderTarget(target);
}

void RvOpenGLRenderTargetPresent(RvRenderTarget* target, RvRenderer* renderer) {
    if (renderer) renderer->present(target);
}

void RvOpenGLExecutePresent(RvRenderer*, const void*) {
    // The platform surface shows the drawable after the frame has run.
}

namespace {
struct BufferFormat {
    GLenum internalFormat, format, type, attachment;
};

// By render-target buffer format. Texture storage takes the depth formats' pixel transfer
// format (DEPTH_COMPONENT / DEPTH_STENCIL); colour-style formats are refused for depth there.
BufferFormat bufferFormat(int format) {
    switch (format) {
    case kRvBufferFormatRGBA8:
    case kRvBufferFormatRGBA8Alt:
        return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_COLOR_ATTACHMENT0};
    case kRvBufferFormatDepth24:
        return {GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, GL_DEPTH_ATTACHMENT};
    case kRvBufferFormatDepth32:
        return {GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, GL_DEPTH_ATTACHMENT};
    case kRvBufferFormatStencil8:
        return {GL_STENCIL_INDEX8, GL_RED, GL_UNSIGNED_BYTE, GL_STENCIL_ATTACHMENT};
    case kRvBufferFormatDepth24Stencil8:
    case kRvBufferFormatDepth24Stencil8Alt:
        return {GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, GL_DEPTH_STENCIL_ATTACHMENT};
    default:
        return {0, 0, 0, 0};
    }
}

void attachBuffer(RvOpenGLRenderTarget* t, int slot, int format, RvTexture* texture) {
    BufferFormat f = bufferFormat(format);
    GLuint& renderbuffer = t->renderbuffers[slot];
    // Stencil-only textures cannot back a framebuffer in OpenGL 3.2: such a target gets a renderbuffer.
    if (texture && format != kRvBufferFormatStencil8) {
        if (renderbuffer) {
            glDeleteRenderbuffers(1, &renderbuffer);
            renderbuffer = 0;
        }
        RvOpenGLTextureCompileForRenderTargetStorage(texture, f.internalFormat, f.format, f.type,
                                                     f.attachment);
        RvTextureSetPointScale(texture, t->pointScale);
        return;
    }
    if (!renderbuffer) glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, f.internalFormat, t->width, t->height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, f.attachment, GL_RENDERBUFFER, renderbuffer);
}

void buildFramebuffer(RvOpenGLRenderer* r, RvOpenGLRenderTarget* t) {
    if (!t->framebuffer) {
        glGenFramebuffers(1, &t->framebuffer);
        if (!t->framebuffer)
            RvWarning("RvRenderTarget: Failed to create frame buffer (error %x)", glGetError());
        t->framebufferOwner = r->serial;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, t->framebuffer);
    if (t->colorFormat) attachBuffer(t, 0, t->colorFormat, t->colorTexture);
    int depth = t->depthFormat, stencil = t->stencilFormat;
    if (depth && stencil) {
        depth = depth == kRvBufferFormatDepth32 ? kRvBufferFormatDepth24Stencil8Alt
                                                : kRvBufferFormatDepth24Stencil8;
        stencil = 0;
        if (t->stencilTexture && t->depthTexture != t->stencilTexture)
            RvError("RvRenderTarget: OpenGL only supports a single (shared) texture with a combined "
                    "depth+stencil "
                    "target.");
    }
    if (depth)
        attachBuffer(t, 1, depth,
                     t->depthTexture ? t->depthTexture : (stencil ? nullptr : t->stencilTexture));
    if (stencil) attachBuffer(t, 2, stencil, t->stencilTexture);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    t->complete = status == GL_FRAMEBUFFER_COMPLETE;
    if (!t->complete)
        RvWarning("RvRenderTarget: Failed to create a complete framebuffer (status %x)", status);
}
}  // namespace

void RvOpenGLExecuteBindRenderTarget(RvRenderer* renderer, const void* payload) {
    auto* r = glRenderer(renderer);
    auto* t = static_cast<RvOpenGLRenderTarget*>(static_cast<const RvOpenGLObjectRecord*>(payload)->object);
    r->framebufferComplete = true;
    if (!t) {
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(r->defaultFramebuffer));
        return;
    }
    bool forget = RvGraphicsResourceVersionChanged(t);
    if (t->framebuffer && t->framebufferOwner != r->serial) {
        // Made by another context (this renderer's previous one): that name means nothing here.
        std::lock_guard<std::recursive_mutex> lock(t->mutex);
        t->status = kRvStatusNeedsBuild;
        forget = true;
    }
    if (forget) {
        t->framebuffer = 0;
        for (uint32_t& name : t->renderbuffers)
            name = 0;
    }
    if (RvGraphicsResourceLockWhenStatus(t, kRvStatusNeedsBuild, kRvLockRead)) {
        if (t->isScreenTarget())
            glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(r->defaultFramebuffer));
        else
            buildFramebuffer(r, t);
        RvGraphicsResourceUnlockWithStatus(t, kRvStatusBuilt);
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER,
                          t->framebuffer ? t->framebuffer : static_cast<GLuint>(r->defaultFramebuffer));
    }
    // An incomplete framebuffer stays bound (as reported) but nothing is cleared or drawn into it.
    if (!t->isScreenTarget()) r->framebufferComplete = t->framebuffer && t->complete;
}

// >>shaders

RvOpenGLShader::~RvOpenGLShader() {
    RvOpenGLReleaseObject(device, kRvGLProgram, program);
}

void RvOpenGLShaderBind(RvShader* shader, RvRenderer* renderer) {
    if (!renderer || !renderer->isRecording()) return;
    RvStateCache& cache = renderer->cache;
    if (cache.shaderKnown && cache.shader == shader) return;
    cache.shaderKnown = true;
    cache.shader = shader;
    renderer->setColorMode(RvShaderGetColorMode(shader));
    renderer->setBlendMode(RvShaderGetBlendMode(shader));
    renderer->recording->retain(shader);
    renderer->recording->append<RvOpenGLObjectRecord>(RvOpenGLExecuteBindShader)->object = shader;
}

void RvOpenGLExecuteBindShader(RvRenderer* renderer, const void* payload) {
    auto* r = glRenderer(renderer);
    auto* shader = static_cast<RvOpenGLShader*>(static_cast<const RvOpenGLObjectRecord*>(payload)->object);
    RvOpenGLShaderCompile(shader);
    r->currentProgram = shader ? shader->program : 0;
    glUseProgram(r->currentProgram);
}

namespace {
void reportLog(bool program, GLuint object) {
    GLint length = 0;
    if (program)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return;
    std::string text(static_cast<size_t>(length), '\0');
    if (program)
        glGetProgramInfoLog(object, length, nullptr, &text[0]);
    else
        glGetShaderInfoLog(object, length, nullptr, &text[0]);
    text.resize(strlen(text.c_str()));
    RvError("%s", text.c_str());
}

GLuint compileStage(GLenum stage, const std::string& source) {
    const char* parts[4] = {"#version 150\n", "#define RV_PLATFORM_OPENGL\n",
                            "#define RV_PLATFORM_OPENGL_3\n", source.c_str()};
    GLuint object = glCreateShader(stage);
    glShaderSource(object, 4, parts, nullptr);
    glCompileShader(object);
    GLint ok = 0;
    glGetShaderiv(object, GL_COMPILE_STATUS, &ok);
    if (ok) return object;
    RvError(stage == GL_VERTEX_SHADER ? "RvOpenGLShader: Failed to compile vertex shader"
                                      : "RvOpenGLShader: Failed to compile fragment shader");
    reportLog(false, object);  // the driver's own account
    glDeleteShader(object);
    return 0;
}

// "name[0]" of an array uniform is addressed by its plain name.
std::string parameterName(const char* reported) {
    std::string name(reported);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0) name.resize(name.size() - 3);
    return name;
}

void configureAsStream(RvOpenGLShaderParameter* p, GLenum type, GLint size, GLint location) {
    int was = p->type.load();
    if (was == kRvParameterConstant || was == kRvParameterTexture)
        RvWarning("RvShaderParameter: Changing shader parameter '%s' to stream (was type %d).",
                  p->name.c_str(), was);
    p->type = kRvParameterStream;
    p->glType = type;
    p->arraySize = size;
    p->location = location;
}

void writeInt(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform1iv(p->location, n, static_cast<const GLint*>(b));
}
void writeIVec2(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform2iv(p->location, n, static_cast<const GLint*>(b));
}
void writeIVec3(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform3iv(p->location, n, static_cast<const GLint*>(b));
}
void writeIVec4(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform4iv(p->location, n, static_cast<const GLint*>(b));
}
void writeFloat(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform1fv(p->location, n, static_cast<const GLfloat*>(b));
}
void writeVec2(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform2fv(p->location, n, static_cast<const GLfloat*>(b));
}
void writeVec3(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform3fv(p->location, n, static_cast<const GLfloat*>(b));
}
void writeVec4(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniform4fv(p->location, n, static_cast<const GLfloat*>(b));
}
void writeMat4(const RvOpenGLShaderParameter* p, const void* b, int n) {
    glUniformMatrix4fv(p->location, n, GL_FALSE, static_cast<const GLfloat*>(b));
}
// Three columns of four floats: the upper-left 3×3 of a column-major 4×4.
void writeMat3(const RvOpenGLShaderParameter* p, const void* b, int n) {
    const auto* in = static_cast<const GLfloat*>(b);
    GLfloat out[9 * 8];
    if (n > 8) n = 8;
    for (int m = 0; m < n; m++)
        for (int c = 0; c < 3; c++)
            for (int row = 0; row < 3; row++)
                out[m * 9 + c * 3 + row] = in[m * 12 + c * 4 + row];
    glUniformMatrix3fv(p->location, n, GL_FALSE, out);
}

void configureAsConstant(RvOpenGLShaderParameter* p, GLenum type, GLint size, GLint location, int* nextUnit) {
    int was = p->type.load();
    if (was == kRvParameterStream)
        RvWarning("RvShaderParameter: Changing shader parameter '%s' to constant/texture (was type %d).",
                  p->name.c_str(), was);
    p->glType = type;
    p->arraySize = size;
    p->location = location;
    struct Entry {
        GLenum type;
        uint32_t encoding;
        RvOpenGLUniformWriter writer;
    };
    static const Entry kConstants[] = {
        {GL_INT, 0xB000001, writeInt},          {GL_FLOAT, 0x18000001, writeFloat},
        {GL_FLOAT_VEC2, 0x18000002, writeVec2}, {GL_FLOAT_VEC3, 0x18000003, writeVec3},
        {GL_FLOAT_VEC4, 0x18000004, writeVec4}, {GL_INT_VEC2, 0xB000002, writeIVec2},
        {GL_INT_VEC3, 0xB000003, writeIVec3},   {GL_INT_VEC4, 0xB000004, writeIVec4},
        {GL_FLOAT_MAT3, 0x1800000C, writeMat3}, {GL_FLOAT_MAT4, 0x18000010, writeMat4},
    };
    for (const Entry& e : kConstants) {
        if (e.type != type) continue;
        p->encoding = e.encoding;
        p->writer = e.writer;
        p->type = kRvParameterConstant;
        return;
    }
    if (type == GL_SAMPLER_2D || type == GL_SAMPLER_3D || type == GL_SAMPLER_CUBE) {
        p->encoding = kRvEncodingSampler;
        p->writer = writeInt;
        p->textureUnit = (*nextUnit)++;
        p->type = kRvParameterTexture;
        return;
    }
    RvWarning("RvShaderParameter: Parameter '%s' contains unsupported OpenGL type %d.", p->name.c_str(),
              static_cast<int>(type));
    p->type = kRvParameterInvalid;
}

void linkProgram(RvOpenGLShader* s) {
    if (!s->hasVertexSource) {
        RvError("RvOpenGLShader: Missing vertex shader source");
        return;
    }
    if (!s->hasFragmentSource) {
        RvError("RvOpenGLShader: Missing fragment shader source");
        return;
    }
    GLuint vertex = compileStage(GL_VERTEX_SHADER, s->vertexSource);
    GLuint fragment = compileStage(GL_FRAGMENT_SHADER, s->fragmentSource);
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        if (fragment) glDeleteShader(fragment);
        return;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDetachShader(program, vertex);
    glDetachShader(program, fragment);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        RvError("RvOpenGLShader: Failed to link program: %d", static_cast<int>(program));
        reportLog(true, program);
        glDeleteProgram(program);
        return;
    }
    s->program = program;
    char name[64];
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
    for (GLint i = 0; i < count; i++) {
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveAttrib(program, static_cast<GLuint>(i), sizeof name, &length, &size, &type, name);
        if (length <= 0 || strncmp(name, "gl_", 3) == 0) continue;
        auto* p = static_cast<RvOpenGLShaderParameter*>(RvShaderGetParameterLocked(s, name));
        configureAsStream(p, type, size, glGetAttribLocation(program, name));
    }
    int nextUnit = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(program);
    for (GLint i = 0; i < count; i++) {
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, static_cast<GLuint>(i), sizeof name, &length, &size, &type, name);
        if (length <= 0) continue;
        std::string plain = parameterName(name);
        auto* p = static_cast<RvOpenGLShaderParameter*>(RvShaderGetParameterLocked(s, plain.c_str()));
        configureAsConstant(p, type, size, glGetUniformLocation(program, name), &nextUnit);
        // Samplers point at their units from the start, so a skipped re-bind of an unchanged
        // texture still samples the right unit.
        if (p->type.load() == kRvParameterTexture) glUniform1i(p->location, p->textureUnit);
    }
    glUseProgram(static_cast<GLuint>(previous));
}
}  // namespace

uint32_t RvOpenGLShaderCompile(RvShader* shader) {
    auto* s = static_cast<RvOpenGLShader*>(shader);
    if (!s) return 0;
    // Built for the current resource version: every bind but the first takes this way.
    if (s->status.load() == kRvStatusBuilt && s->version.load() == s->device->resourceVersion.load())
        return s->buildNumber;
    if (RvGraphicsResourceVersionChanged(s)) {
        std::lock_guard<std::recursive_mutex> lock(s->mutex);
        s->program = 0;  // lost with the old context
        // The sources are kept after a compile precisely so that a lost program can be rebuilt.
        s->sourcesChanged = true;
        s->parametersAdded = true;
    }
    if (!RvGraphicsResourceLockWhenStatus(s, kRvStatusNeedsBuild, kRvLockWrite)) return s->buildNumber;
    if (s->sourcesChanged) {
        if (s->program) glDeleteProgram(s->program);
        s->program = 0;
        s->sourcesChanged = false;
        linkProgram(s);
        s->buildNumber = RvGraphicsDeviceIncrementBuildNumber(s->device);
    }
    if (s->parametersAdded) {
        s->parametersAdded = false;
        for (auto& entry : s->parameters)
            if (entry.second->type.load() == kRvParameterUnknown) entry.second->invalidate();
    }
    RvGraphicsResourceUnlockWithStatus(s, kRvStatusBuilt);
    return s->buildNumber;
}

// >>parameters

void RvOpenGLShaderParameter::invalidate() {
    type = kRvParameterInvalid;
    location = -1;
}

void RvOpenGLShaderParameter::writeConstant(RvRenderer* r, const void* bytes, uint32_t encoding, int count) {
    RvOpenGLShaderParameterWriteConstant(this, r, bytes, encoding, count);
}

void RvOpenGLShaderParameter::bindTexture(RvRenderer* r, RvTexture* texture) {
    RvOpenGLTextureBind(this, r, texture);
}

void RvOpenGLShaderParameterWriteConstant(RvShaderParameter* parameter, RvRenderer* r, const void* bytes,
                                          uint32_t encoding, int count) {
    auto* p = static_cast<RvOpenGLShaderParameter*>(parameter);
    if (!p || !r || !bytes || count <= 0 || !r->isRecording()) return;
    int type = p->type.load();
    if (type != kRvParameterUnknown && type != kRvParameterConstant) return;
    // 32-bit scalars (every uniform this back end writes) without the general size lookup.
    int scalar = RvEncodingScalarType(encoding);
    size_t element = scalar == kRvScalarFloat || scalar == kRvScalarInt32
                         ? 4 * static_cast<size_t>(RvEncodingCount(encoding))
                         : RvEncodingSize(encoding);
    size_t size = element * static_cast<size_t>(count);
    if (!size || size > 4096) return;
    auto* record = static_cast<RvOpenGLWriteConstantRecord*>(
        r->recording->append(RvOpenGLExecuteWriteConstant, sizeof(RvOpenGLWriteConstantRecord) + size));
    record->parameter = p;
    record->encoding = encoding;
    record->count = count;
    memcpy(record + 1, bytes, size);
    // The parameter is not retained: its shader owns it, and the shader is kept alive by the
    // frame that binds it.
}

void RvOpenGLExecuteWriteConstant(RvRenderer* renderer, const void* payload) {
    auto* record = static_cast<const RvOpenGLWriteConstantRecord*>(payload);
    RvOpenGLShaderParameter* p = record->parameter;
    int type = p->type.load();
    if (type != kRvParameterConstant) {
        if (type == kRvParameterStream || type == kRvParameterTexture)
            RvError("RvShaderParameter: Trying to set invalid shader uniform.");
        return;
    }
    if (p->location < 0 || !p->writer || !glRenderer(renderer)->currentProgram) return;
    const void* bytes = record + 1;
    uint32_t wanted = p->encoding.load();
    if (record->encoding == wanted) {
        int count = record->count < p->arraySize ? record->count : p->arraySize;
        p->writer(p, bytes, count);
        return;
    }
    alignas(8) uint8_t converted[16 * 4];
    if (RvConvertEncodedValue(bytes, record->encoding, converted, wanted, sizeof converted))
        p->writer(p, converted, 1);
}

// >>textures

RvOpenGLTexture::~RvOpenGLTexture() {
    RvOpenGLReleaseObject(device, kRvGLTexture, name);
}

void RvOpenGLTextureBind(RvShaderParameter* parameter, RvRenderer* r, RvTexture* texture) {
    auto* p = static_cast<RvOpenGLShaderParameter*>(parameter);
    if (!p || !r || !r->isRecording()) return;
    int type = p->type.load();
    if (type != kRvParameterTexture && type != kRvParameterUnknown) return;
    RvStateCache& cache = r->cache;
    if (type == kRvParameterTexture) {
        int unit = p->textureUnit.load();
        if (unit >= 0 && unit < kRvMaxTextureUnits) {
            if (texture && cache.textures[unit] == texture) return;
            cache.textures[unit] = texture;
        }
    } else {
        // The unit is not known before the program is compiled: any unit may change.
        for (RvTexture*& t : cache.textures)
            t = nullptr;
    }
    r->recording->retain(texture);
    auto* record = r->recording->append<RvOpenGLBindTextureRecord>(RvOpenGLExecuteBindTexture);
    record->texture = texture;
    record->parameter = p;
}

namespace {
struct PixelFormat {
    GLenum internalFormat, format, type;
};

// By pixel-type format index. BGRA is a transfer order only: it is stored as RGBA.
PixelFormat pixelFormat(uint32_t pixelType) {
    switch (RvPixelTypeFormatIndex(pixelType)) {
    case 2:
        return {GL_RED, GL_RED, GL_UNSIGNED_BYTE};
    case 3:
        return {GL_RGB, GL_RGB, GL_UNSIGNED_BYTE};
    case 5:
        return {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE};
    case 6:
        return {GL_RGBA, GL_BGRA, GL_UNSIGNED_BYTE};
    default:
        return {0, 0, 0};
    }
}

void applySampler(const RvTexture* t) {
    uint32_t o = t->options;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (o & kRvTextureRepeatS) ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (o & kRvTextureRepeatT) ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    bool linear = o & kRvTextureLinearMin, between = o & kRvTextureLinearMipmap;
    GLint minify;
    if (RvTextureGetMipmapCount(t) == 0)
        minify = linear ? GL_LINEAR : GL_NEAREST;
    else if (between)
        minify = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    else
        minify = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minify);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (o & kRvTextureLinearMag) ? GL_LINEAR : GL_NEAREST);
    if (RvTextureGetMipmapCount(t) > 0)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, RvTextureGetMipmapCount(t));
}

void uploadPixels(RvOpenGLTexture* t) {
    if (t->storage.empty()) {
        RvWarning("RvTexture: no pixel data.");
        return;
    }
    int compression = RvPixelTypeCompression(t->pixelType);
    if (compression != 0) return;  // compressed data is never uploaded by this back end
    PixelFormat f = pixelFormat(t->pixelType);
    if (!f.format) return;
    // Rows of X8 and RGB8 storage are not 4-byte multiples.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    for (size_t level = 0; level < t->levels.size(); level++) {
        const RvTextureLevel& L = t->levels[level];
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), static_cast<GLint>(f.internalFormat), L.width,
                     L.height, 0, f.format, f.type, t->storage.data() + L.offset);
    }
    if (t->options & kRvTextureGenerateMipmaps) glGenerateMipmap(GL_TEXTURE_2D);
}
}  // namespace

void RvOpenGLExecuteBindTexture(RvRenderer* renderer, const void* payload) {
    auto* record = static_cast<const RvOpenGLBindTextureRecord*>(payload);
    RvOpenGLShaderParameter* p = record->parameter;
    if (p->type.load() != kRvParameterTexture) return;
    GLint unit = p->textureUnit.load();
    auto* t = static_cast<RvOpenGLTexture*>(record->texture);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    if (!t) {
        glBindTexture(GL_TEXTURE_2D, 0);
    } else {
        if (RvGraphicsResourceVersionChanged(t)) {
            // The GPU copy is gone: everything goes up again from the CPU storage.
            std::lock_guard<std::recursive_mutex> lock(t->mutex);
            t->name = 0;
            t->pixelsChanged = true;
            t->samplerChanged = true;
        }
        bool discard = t->accessMode & kRvAccessDiscardLocalStorage;
        if (RvGraphicsResourceLockWhenStatus(t, kRvStatusNeedsBuild, discard ? kRvLockWrite : kRvLockRead)) {
            if (!t->name) glGenTextures(1, &t->name);
            glBindTexture(GL_TEXTURE_2D, t->name);
            if (t->pixelsChanged && t->pixelType) {
                uploadPixels(t);
                t->pixelsChanged = false;
            }
            if (t->samplerChanged) {
                applySampler(t);
                t->samplerChanged = false;
            }
            if (discard) RvTextureDiscardLocalStorage(t);
            RvGraphicsResourceUnlockWithStatus(t, kRvStatusBuilt);
        } else {
            glBindTexture(GL_TEXTURE_2D, t->name);
        }
    }
    if (glRenderer(renderer)->currentProgram && p->location >= 0) glUniform1i(p->location, unit);
}

void RvOpenGLTextureCompileForRenderTargetStorage(RvTexture* texture, uint32_t internalFormat,
                                                  uint32_t format, uint32_t type, uint32_t attachment) {
    auto* t = static_cast<RvOpenGLTexture*>(texture);
    if (!t) return;
    if (RvGraphicsResourceVersionChanged(t)) t->name = 0;
    RvGraphicsResourceWriteLock(t);
    glActiveTexture(GL_TEXTURE0);
    if (!t->name) glGenTextures(1, &t->name);
    glBindTexture(GL_TEXTURE_2D, t->name);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), t->width, t->height, 0, format, type,
                 nullptr);
    applySampler(t);
    t->samplerChanged = false;
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, t->name, 0);
    t->pixelsChanged = false;
    RvGraphicsResourceUpdateVersion(t);
    RvGraphicsResourceUnlockWithStatus(t, kRvStatusBuilt);
}

// >>buffers

RvOpenGLVertexBuffer::~RvOpenGLVertexBuffer() {
    RvOpenGLReleaseObject(device, kRvGLBuffer, name);
}
RvOpenGLIndexBuffer::~RvOpenGLIndexBuffer() {
    RvOpenGLReleaseObject(device, kRvGLBuffer, name);
}

namespace {
struct Region {
    const RvData* data;
    size_t offset, size;
};
}  // namespace

uint32_t RvOpenGLVertexBufferCompile(RvVertexBuffer* buffer) {
    auto* b = static_cast<RvOpenGLVertexBuffer*>(buffer);
    if (!b) return 0;
    if (RvGraphicsResourceVersionChanged(b)) {
        std::lock_guard<std::recursive_mutex> lock(b->mutex);
        b->name = 0;
        b->layoutChanged = b->dataChanged = 0x7FFFFFFFu;
    }
    bool discard = b->accessMode & kRvAccessDiscardLocalStorage;
    if (!RvGraphicsResourceLockWhenStatus(b, kRvStatusNeedsBuild, discard ? kRvLockWrite : kRvLockRead))
        return b->buildNumber;
    bool layout = b->layoutChanged != 0 || !b->name;
    if (layout) b->buildNumber = RvGraphicsDeviceIncrementBuildNumber(b->device);
    if (!b->name) glGenBuffers(1, &b->name);
    glBindBuffer(GL_ARRAY_BUFFER, b->name);

    // Streams sharing one data object share one region, placed in the order of their first stream
    // and large enough for every element any of them reads.
    Region regions[kRvMaxVertexStreams];
    int regionOf[kRvMaxVertexStreams];
    int regionCount = 0;
    int streamCount = static_cast<int>(b->streams.size());
    for (int i = 0; i < streamCount; i++) {
        const RvVertexStream& s = b->streams[static_cast<size_t>(i)];
        regionOf[i] = -1;
        int size = RvVertexTypeSize(s.vertexType);
        if (!size || b->vertexCount <= 0) continue;
        int stride = s.stride > 0 ? s.stride : size;
        size_t span = static_cast<size_t>(b->vertexCount) * stride;
        size_t needed =
            static_cast<size_t>(s.offset) + static_cast<size_t>(b->vertexCount - 1) * stride + size;
        if (needed > span) span = needed;
        int shared = -1;
        for (int r = 0; r < regionCount && s.data; r++)
            if (regions[r].data == s.data) shared = r;
        if (shared < 0) {
            shared = regionCount++;
            regions[shared] = {s.data, 0, 0};
        }
        if (span > regions[shared].size) regions[shared].size = span;
        regionOf[i] = shared;
    }
    size_t total = 0;
    for (int r = 0; r < regionCount; r++) {
        regions[r].offset = total;
        total += regions[r].size;
    }
    if (layout) {
        for (int i = 0; i < streamCount; i++) {
            RvVertexStream& s = b->streams[static_cast<size_t>(i)];
            if (regionOf[i] < 0) continue;
            int size = RvVertexTypeSize(s.vertexType);
            s.gpuOffset = s.offset + static_cast<int>(regions[regionOf[i]].offset);
            s.gpuStride = s.stride > 0 ? s.stride : size;
        }
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(total), nullptr, bufferUsage(b->accessMode));
        b->layoutChanged = 0;
    }
    bool uploaded[kRvMaxVertexStreams] = {};
    for (int i = 0; i < streamCount; i++) {
        if (!(b->dataChanged & (1u << i)) || regionOf[i] < 0) continue;
        int r = regionOf[i];
        const Region& region = regions[r];
        if (uploaded[r] || !region.data) continue;
        uploaded[r] = true;
        size_t length = region.data->length() < region.size ? region.data->length() : region.size;
        if (length) {
            glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(region.offset),
                            static_cast<GLsizeiptr>(length), region.data->bytes());
            b->uploads++;
        }
    }
    b->dataChanged = 0;
    if (discard) RvVertexBufferDiscardLocalStorage(b);
    RvGraphicsResourceUnlockWithStatus(b, kRvStatusBuilt);
    return b->buildNumber;
}

void RvOpenGLIndexBufferCompile(RvIndexBuffer* buffer) {
    auto* b = static_cast<RvOpenGLIndexBuffer*>(buffer);
    if (!b) return;
    if (RvGraphicsResourceVersionChanged(b)) b->name = 0;
    bool discard = b->accessMode & kRvAccessDiscardLocalStorage;
    if (!RvGraphicsResourceLockWhenStatus(b, kRvStatusNeedsBuild, discard ? kRvLockWrite : kRvLockRead))
        return;
    if (!b->name) {
        glGenBuffers(1, &b->name);
        // A new number for every new buffer object: vertex arrays compare it to the element buffer
        // they hold, and a GL name alone may be reused by another buffer.
        b->buildNumber = RvGraphicsDeviceIncrementBuildNumber(b->device);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b->name);
    size_t wanted = static_cast<size_t>(b->elementSize) * static_cast<size_t>(b->indexCount);
    size_t length = b->data ? b->data->length() : 0;
    // Allocate the whole count; upload what the data holds.
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(wanted), nullptr,
                 bufferUsage(b->accessMode));
    if (length && wanted)
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0,
                        static_cast<GLsizeiptr>(length < wanted ? length : wanted), b->data->bytes());
    if (discard) RvIndexBufferDiscardLocalStorage(b);
    RvGraphicsResourceUnlockWithStatus(b, kRvStatusBuilt);
}

// >>meshes

RvOpenGLMesh::~RvOpenGLMesh() {
    RvOpenGLVertexArrayRelease(vertexArray);
}
RvMeshInstance* RvOpenGLMesh::newInstance() {
    return new RvOpenGLMeshInstance;
}

// `keeper` is what the frame retains to keep the mesh alive: the mesh, or an instance holding it.
static bool bindMesh(RvMesh* mesh, RvRenderer* r, KuObject* keeper) {
    if (!mesh || !r || !r->isRecording()) return false;
    if (!mesh->shader) {
        RvError("RvMesh: Trying to bind a mesh prototype.");
        return false;
    }
    if (r->cache.mesh == mesh) return true;
    r->cache.mesh = mesh;
    r->recording->retain(keeper);
    r->recording->append<RvOpenGLObjectRecord>(RvOpenGLExecuteBindMesh)->object = mesh;
    RvOpenGLShaderBind(mesh->shader, r);
    return true;
}

bool RvOpenGLMeshBind(RvMesh* mesh, RvRenderer* r) {
    return bindMesh(mesh, r, mesh);
}

static void setConstantAttributes(const RvOpenGLVertexArray* array) {
    for (const auto& attribute : array->constantAttributes) {
        float v = attribute.second ? 1.0f : 0.0f;
        glVertexAttrib4f(attribute.first, v, v, v, v);
    }
}

static RvOpenGLVertexArray* makeVertexArray(RvOpenGLRenderer* r, RvOpenGLShader* shader,
                                            RvOpenGLVertexBuffer* vb, uint32_t shaderBuild,
                                            uint32_t bufferBuild) {
    auto* array = new RvOpenGLVertexArray;
    array->rendererSerial = r->serial;
    array->shaderBuild = shaderBuild;
    array->bufferBuild = bufferBuild;
    glGenVertexArrays(1, &array->name);
    glBindVertexArray(array->name);
    glBindBuffer(GL_ARRAY_BUFFER, vb ? vb->name : 0);
    std::lock_guard<std::recursive_mutex> lock(shader->mutex);
    for (auto& entry : shader->parameters) {
        auto* p = static_cast<RvOpenGLShaderParameter*>(entry.second);
        if (p->type.load() != kRvParameterStream || p->location < 0) continue;
        auto location = static_cast<GLuint>(p->location.load());
        const RvVertexStream* s = vb ? RvVertexBufferGetStream(vb, p->name.c_str()) : nullptr;
        GLenum type = s ? scalarGLType(RvVertexTypeScalar(s->vertexType)) : 0;
        if (s && type && RvVertexTypeComponents(s->vertexType) >= 1 &&
            RvVertexTypeComponents(s->vertexType) <= 4 && vb->name) {
            glEnableVertexAttribArray(location);
            glVertexAttribPointer(location, RvVertexTypeComponents(s->vertexType), type,
                                  RvVertexTypeNormalized(s->vertexType) ? GL_TRUE : GL_FALSE, s->gpuStride,
                                  reinterpret_cast<const void*>(static_cast<uintptr_t>(s->gpuOffset)));
        } else {
            array->constantAttributes.emplace_back(location, p->name.compare(0, 5, "color") == 0);
        }
    }
    return array;
}

// The mesh holding the buffers and submeshes: the end of the prototype chain.
static const RvMesh* dataMeshOf(const RvMesh* mesh) {
    while (mesh->prototype)
        mesh = mesh->prototype;
    return mesh;
}

// True when the buffer is built and has not been rebuilt since it had `builds` builds: its layout
// and build number are as they were then. Reads only the resource header.
static bool vertexBufferUnchanged(const RvVertexBuffer* vb, uint32_t builds) {
    return vb->status.load() == kRvStatusBuilt && vb->buildCount.load() == builds &&
           vb->version.load() == vb->device->resourceVersion.load();
}

// The mesh's vertex array for the shader's current build, found in the mesh or the cache or made,
// buffer built first. Notes it in the mesh: bindable alone later when the mesh has no elements and
// the array no constant attributes, else (name 0) through this full way.
static RvOpenGLVertexArray* meshVertexArray(RvOpenGLRenderer* r, RvOpenGLMesh* mesh, uint32_t shaderBuild) {
    auto* shader = static_cast<RvOpenGLShader*>(mesh->shader);
    const RvMesh* data = dataMeshOf(mesh);
    auto* vb = static_cast<RvOpenGLVertexBuffer*>(data->vertexBuffer);
    uint32_t bufferBuild = RvOpenGLVertexBufferCompile(vb);
    RvOpenGLVertexArray* array = mesh->vertexArray;
    if (!(array && array->name && array->rendererSerial == r->serial && array->shaderBuild == shaderBuild &&
          array->bufferBuild == bufferBuild)) {
        RvOpenGLVertexArrayRelease(array);
        uint64_t key = (static_cast<uint64_t>(shaderBuild) << 32) | bufferBuild;
        auto found = r->vertexArrays.find(key);
        if (found != r->vertexArrays.end()) {
            array = found->second;
        } else {
            array = makeVertexArray(r, shader, vb, shaderBuild, bufferBuild);
            r->vertexArrays.emplace(key, array);  // the cache's reference
        }
        RvOpenGLVertexArrayRetain(array);
        mesh->vertexArray = array;
    }
    mesh->binding = {0, r->arrayTag, 0, 0};
    if (vb && !data->indexBuffer && array->constantAttributes.empty() &&
        vertexBufferUnchanged(vb, vb->buildCount.load()))
        mesh->binding = {array->name, r->arrayTag, shaderBuild, vb->buildCount.load()};
    return array;
}

// Builds the buffers and vertex arrays of every mesh from `payload`'s record to the end of the
// buffer that this renderer has not met yet. A frame that meets one new mesh usually brings many
// (a scene's first frame): made together, the driver's objects lie side by side rather than among
// each draw's own allocations, and later frames bind them faster.
static void buildAhead(RvOpenGLRenderer* r, const void* payload) {
    if (!r->executing) return;
    bool reached = false;
    r->executing->forEach([&](const RvCommandHeader& header, const void* at) {
        reached = reached || at == payload;
        if (!reached || header.execute != RvOpenGLExecuteBindMesh) return;
        auto* mesh = static_cast<RvOpenGLMesh*>(static_cast<const RvOpenGLObjectRecord*>(at)->object);
        if (mesh->binding.owner == r->arrayTag) return;
        meshVertexArray(r, mesh, RvOpenGLShaderCompile(mesh->shader));
    });
}

void RvOpenGLExecuteBindMesh(RvRenderer* renderer, const void* payload) {
    auto* r = glRenderer(renderer);
    auto* mesh = static_cast<RvOpenGLMesh*>(static_cast<const RvOpenGLObjectRecord*>(payload)->object);
    const RvMesh* data = dataMeshOf(mesh);
    auto* vb = data->vertexBuffer;
    uint32_t shaderBuild = RvOpenGLShaderCompile(mesh->shader);
    const RvMesh::BindingNote& note = mesh->binding;
    // The same array as last time, for a mesh without elements or constant attributes: neither
    // the array record nor the buffer's build number needs reading.
    if (note.owner == r->arrayTag && note.name && note.shaderBuild == shaderBuild && vb &&
        !data->indexBuffer && vertexBufferUnchanged(vb, note.bufferBuilds)) {
        glBindVertexArray(note.name);
        return;
    }
    if (note.owner != r->arrayTag && !r->builtAhead) {
        r->builtAhead = true;
        buildAhead(r, payload);
    }
    RvOpenGLVertexArray* array = meshVertexArray(r, mesh, shaderBuild);
    glBindVertexArray(array->name);
    if (!array->constantAttributes.empty()) setConstantAttributes(array);
    auto* ib = static_cast<RvOpenGLIndexBuffer*>(data->indexBuffer);
    uint32_t elements = 0;
    if (ib) {
        RvOpenGLIndexBufferCompile(ib);
        elements = ib->buildNumber;
    }
    // The element binding is state of the vertex array: set only when it changes.
    if (array->elementBuild != elements) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib ? ib->name : 0);
        array->elementBuild = elements;
    }
}

void RvOpenGLVertexBufferDraw(RvVertexBuffer* buffer, RvRenderer* r, int primitiveType, int first,
                              int count) {
    if (!r || !r->isRecording()) return;
    int vertices = RvVertexBufferGetVertexCount(buffer);
    if (count <= 0) count = vertices;
    // Ranges beyond the buffer are cut, never read.
    if (first < 0 || first >= vertices) return;
    if (count > vertices - first) count = vertices - first;
    *r->recording->append<RvOpenGLDrawArraysRecord>(RvOpenGLExecuteDrawArrays) = {
        primitiveMode(primitiveType), first, count};
}

void RvOpenGLIndexBufferDraw(RvIndexBuffer* buffer, RvRenderer* r, int primitiveType, int first, int count) {
    if (!r || !r->isRecording() || !buffer) return;
    int indices = buffer->indexCount;
    if (count <= 0) count = indices;
    if (first < 0 || first >= indices || count <= 0) return;
    if (count > indices - first) count = indices - first;
    GLenum type = buffer->elementSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    *r->recording->append<RvOpenGLDrawElementsRecord>(RvOpenGLExecuteDrawElements) = {
        static_cast<uint64_t>(first) * static_cast<uint64_t>(buffer->elementSize),
        primitiveMode(primitiveType), type, count};
}

static void drawSubmeshes(const RvMesh* data, RvRenderer* r, uint32_t submeshMask) {
    RvIndexBuffer* ib = data->indexBuffer;
    RvVertexBuffer* vb = data->vertexBuffer;
    size_t count = data->submeshes.size();
    for (size_t i = 0; i < count && i < 32; i++) {
        if (!(submeshMask & (1u << i))) continue;
        const RvSubmesh& sm = data->submeshes[i];
        if (ib)
            RvOpenGLIndexBufferDraw(ib, r, sm.primitiveType, sm.first, sm.count);
        else
            RvOpenGLVertexBufferDraw(vb, r, sm.primitiveType, sm.first, sm.count);
    }
}

void RvOpenGLMeshDraw(RvMesh* mesh, RvRenderer* r, uint32_t submeshMask) {
    if (!mesh || !r) return;
    drawSubmeshes(dataMeshOf(mesh), r, submeshMask);
}

void RvOpenGLExecuteDrawArrays(RvRenderer* renderer, const void* payload) {
    // A program that failed to build has nothing to draw with.
    if (!glRenderer(renderer)->currentProgram || !glRenderer(renderer)->framebufferComplete) return;
    auto* d = static_cast<const RvOpenGLDrawArraysRecord*>(payload);
    glDrawArrays(d->mode, d->first, d->count);
}

void RvOpenGLExecuteDrawElements(RvRenderer* renderer, const void* payload) {
    if (!glRenderer(renderer)->currentProgram || !glRenderer(renderer)->framebufferComplete) return;
    auto* d = static_cast<const RvOpenGLDrawElementsRecord*>(payload);
    glDrawElements(d->mode, d->count, d->indexType,
                   reinterpret_cast<const void*>(static_cast<uintptr_t>(d->byteOffset)));
}

void RvOpenGLMeshInstance::draw(RvRenderer* r) {
    if (!mesh_) return;
    const RvMesh* data = dataMeshOf(mesh_);
    if (!data->vertexBuffer || data->vertexBuffer->vertexCount == 0) return;  // empty
    // The instance is retained for its mesh: its header is already loaded, the mesh's is not.
    if (!bindMesh(mesh_, r, this)) return;
    RvShaderInstanceWriteParameters(shaderInstance_, r);
    if (r) drawSubmeshes(data, r, submeshMask);
}

// >>read pixels

void RvOpenGLTextureReadPixels(RvTexture* texture, RvRenderer* r) {
    RvRendererReadPixels(r, texture);
}

void RvOpenGLExecuteReadPixels(RvRenderer*, const void* payload) {
    RvOpenGLReadTexturePixels(
        static_cast<RvTexture*>(static_cast<const RvOpenGLObjectRecord*>(payload)->object));
}

void RvOpenGLReadTexturePixels(RvTexture* texture) {
    auto* t = static_cast<RvOpenGLTexture*>(texture);
    if (!t || !t->name) return;
    RvGraphicsResourceWriteLock(t);
    GLint drawFramebuffer = 0, readFramebuffer = 0, activeUnit = 0, bound = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, t->name);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    // The sampler bits stay: reading back must not change how the texture is drawn.
    RvTextureSetLayout(t, kRvPixelRGBA8, width, height,
                       (t->options & kRvTextureSamplerMask) | kRvTextureNoPowerOfTwo);
    if (!RvTextureGetPixels(t, 0)) {
        if (width > 0 && height > 0)
            RvWarning("RvTexture: Pixel storage not allocated for OpenGL texture read.");
    } else {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        for (size_t level = 0; level < t->levels.size(); level++) {
            const RvTextureLevel& L = t->levels[level];
            glPixelStorei(GL_PACK_ROW_LENGTH, L.bytesPerRow / 4);
            GLint w = 0, h = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(level), GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, static_cast<GLint>(level), GL_TEXTURE_HEIGHT, &h);
            uint8_t* pixels = t->storage.data() + L.offset;
            if (w != L.width || h != L.height)
                memset(pixels, 0, static_cast<size_t>(L.bytesPerRow) * L.height);
            else
                glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        }
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        if (t->flipVertically) RvTextureFlipPixelStorageVertically(t);
        t->pixelsChanged = false;
    }
    RvGraphicsResourceUnlockWithStatus(t, kRvStatusBuilt);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    glActiveTexture(static_cast<GLenum>(activeUnit));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
}
