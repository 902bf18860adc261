// Sections: >>lifecycle >>context lock >>state records >>execution >>vertex arrays >>command names
#include <SDL.h>

#include <algorithm>

#include "RvOpenGLInternal.h"

// >>lifecycle

uint32_t RvOpenGLNextRendererSerial() {
    static std::atomic<uint32_t> next{0};
    return ++next;
}

RvOpenGLRenderer::RvOpenGLRenderer(RvOpenGLGraphicsDevice* d, int o)
    : RvRenderer(d, o), serial(RvOpenGLNextRendererSerial()), arrayTag(RvOpenGLNextRendererSerial()) {
    // Its own hidden window until the application gives it one: a drawable surface cannot be
    // current on two threads, so it cannot borrow the device's.
    RvOpenGLPixelFormat format;
    format.colorBits = 32;
    format.depthBits = 24;
    format.stencilBits = 8;
    RvOpenGLPixelFormatApply(format);
    window = SDL_CreateWindow("Tansy renderer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ownsWindow = window != nullptr;
    if (window) context = RvOpenGLCreateSharedContext(d, window);
    RvOpenGLRendererRegister(d);
}

RvOpenGLRenderer::~RvOpenGLRenderer() {
    // Objects held by the buffers may queue framebuffers for this context: release them while it lives.
    waitForLastFrame();
    recording->reset();
    execution->reset();
    invalidateCaches();
    if (context) {
        RvOpenGLRendererLock(this);
        RvOpenGLDeletePendingObjects(this);
        RvOpenGLRendererUnlock(this);
        if (SDL_GL_GetCurrentContext() == context) SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(context);
    }
    auto* d = static_cast<RvOpenGLGraphicsDevice*>(device);
    RvOpenGLForgetPendingFramebuffers(d, serial);
    RvOpenGLRendererUnregister(d);
    if (ownsWindow && window) SDL_DestroyWindow(window);
}

// >>context lock

void RvOpenGLRendererLock(RvRenderer* renderer) {
    auto* r = static_cast<RvOpenGLRenderer*>(renderer);
    r->contextMutex.lock();
    if (r->lockDepth++ == 0) {
        r->previousWindow = SDL_GL_GetCurrentWindow();
        r->previousContext = SDL_GL_GetCurrentContext();
        if (r->previousContext != r->context) SDL_GL_MakeCurrent(r->window, r->context);
    }
}

void RvOpenGLRendererUnlock(RvRenderer* renderer) {
    auto* r = static_cast<RvOpenGLRenderer*>(renderer);
    if (r->lockDepth <= 0) return;
    if (--r->lockDepth == 0 && r->previousContext != r->context)
        SDL_GL_MakeCurrent(r->previousContext ? r->previousWindow : nullptr, r->previousContext);
    r->contextMutex.unlock();
}

// >>state records

namespace {
struct ClearRecord {
    GLbitfield mask;
    float color[4];
    float depth;
    GLint stencil;
};
struct RectRecord {
    GLint x, y;
    GLsizei width, height;
};
struct EnableRecord {
    GLenum capability;
    int value;
};
struct EnumRecord {
    GLenum value;
};
struct IntRecord {
    int value;
};
struct PairRecord {
    GLenum first, second;
};

void executeClear(RvRenderer* r, const void* p) {
    if (!static_cast<RvOpenGLRenderer*>(r)->framebufferComplete) return;
    auto* c = static_cast<const ClearRecord*>(p);
    if (c->mask & GL_COLOR_BUFFER_BIT) glClearColor(c->color[0], c->color[1], c->color[2], c->color[3]);
    if (c->mask & GL_DEPTH_BUFFER_BIT) glClearDepth(c->depth);
    if (c->mask & GL_STENCIL_BUFFER_BIT) glClearStencil(c->stencil);
    glClear(c->mask);
}

void executeViewport(RvRenderer*, const void* p) {
    auto* r = static_cast<const RectRecord*>(p);
    glViewport(r->x, r->y, r->width, r->height);
}

void executeScissor(RvRenderer*, const void* p) {
    auto* r = static_cast<const RectRecord*>(p);
    glScissor(r->x, r->y, r->width, r->height);
}

void executeEnable(RvRenderer*, const void* p) {
    auto* e = static_cast<const EnableRecord*>(p);
    if (e->value == 1)
        glEnable(e->capability);
    else
        glDisable(e->capability);
}

void executeCullFace(RvRenderer*, const void* p) {
    glCullFace(static_cast<const EnumRecord*>(p)->value);
}
void executeFrontFace(RvRenderer*, const void* p) {
    glFrontFace(static_cast<const EnumRecord*>(p)->value);
}

void executeColorMode(RvRenderer*, const void* p) {
    switch (static_cast<const IntRecord*>(p)->value) {
    case kRvColorOnly:
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        break;
    case kRvAlphaOnly:
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        break;
    case kRvColorDisabled:
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        break;
    default:
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        break;
    }
}

void executeDepthMask(RvRenderer*, const void* p) {
    glDepthMask(static_cast<const IntRecord*>(p)->value ? GL_TRUE : GL_FALSE);
}
void executeDepthFunction(RvRenderer*, const void* p) {
    glDepthFunc(static_cast<const EnumRecord*>(p)->value);
}

struct StencilMode {
    GLenum function;
    GLint reference;
    GLenum operation;
};

StencilMode stencilMode(int mode) {
    switch (mode) {
    case kRvStencilWriteOne:
        return {GL_ALWAYS, 1, GL_REPLACE};
    case kRvStencilWriteZero:
        return {GL_ALWAYS, 0, GL_ZERO};
    case kRvStencilPassNotZero:
        return {GL_NOTEQUAL, 0, GL_KEEP};
    case kRvStencilPassZero:
        return {GL_EQUAL, 0, GL_KEEP};
    default:
        return {GL_ALWAYS, 0, GL_KEEP};
    }
}

void executeStencil(RvRenderer*, const void* p) {
    auto* s = static_cast<const PairRecord*>(p);
    int front = static_cast<int>(s->first), back = static_cast<int>(s->second);
    if (front < 2 && back < 2) {
        glDisable(GL_STENCIL_TEST);
        return;
    }
    glEnable(GL_STENCIL_TEST);
    StencilMode f = stencilMode(front), b = stencilMode(back);
    glStencilFuncSeparate(GL_FRONT, f.function, f.reference, 0xFFFFFFFFu);
    glStencilOpSeparate(GL_FRONT, f.operation, f.operation, f.operation);
    glStencilFuncSeparate(GL_BACK, b.function, b.reference, 0xFFFFFFFFu);
    glStencilOpSeparate(GL_BACK, b.operation, b.operation, b.operation);
}

void executeBlendFunction(RvRenderer*, const void* p) {
    auto* b = static_cast<const PairRecord*>(p);
    glBlendFunc(b->first, b->second);
}

void executeBlendEquation(RvRenderer*, const void* p) {
    glBlendEquation(static_cast<const EnumRecord*>(p)->value);
}

struct BlendEntry {
    bool enable;
    GLenum source, destination, equation;
};

// By blend mode & 0xFFFF.
const BlendEntry kBlendTable[] = {
    {false, GL_ONE, GL_ZERO, GL_FUNC_ADD},
    {false, GL_ONE, GL_ZERO, GL_FUNC_ADD},
    {true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD},
    {true, GL_SRC_ALPHA, GL_ONE, GL_FUNC_ADD},
    {true, GL_DST_COLOR, GL_ZERO, GL_FUNC_ADD},
    {true, GL_SRC_ALPHA, GL_ONE, GL_FUNC_REVERSE_SUBTRACT},
    {true, GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD},
    {true, GL_ONE, GL_ONE, GL_FUNC_ADD},
    {true, GL_ONE, GL_ONE, GL_FUNC_REVERSE_SUBTRACT},
};

const GLenum kCompareTable[] = {GL_NEVER,   GL_NEVER,  GL_ALWAYS, GL_LESS,    GL_LEQUAL,
                                GL_GREATER, GL_GEQUAL, GL_EQUAL,  GL_NOTEQUAL};
}  // namespace

void RvOpenGLRenderer::recordBindRenderTarget(RvRenderTarget* target) {
    recording->append<RvOpenGLObjectRecord>(RvOpenGLExecuteBindRenderTarget)->object = target;
}

void RvOpenGLRenderer::recordPresent(RvRenderTarget* target) {
    recording->append<RvOpenGLObjectRecord>(RvOpenGLExecutePresent)->object = target;
}

void RvOpenGLRenderer::recordClear(int flags, const KuColor& color, float depth, int stencil) {
    auto* c = recording->append<ClearRecord>(executeClear);
    c->mask = ((flags & kRvClearColor) ? GL_COLOR_BUFFER_BIT : 0) |
              ((flags & kRvClearDepth) ? GL_DEPTH_BUFFER_BIT : 0) |
              ((flags & kRvClearStencil) ? GL_STENCIL_BUFFER_BIT : 0);
    c->color[0] = color.red;
    c->color[1] = color.green;
    c->color[2] = color.blue;
    c->color[3] = color.alpha;
    c->depth = depth;
    c->stencil = stencil;
}

void RvOpenGLRenderer::recordViewport(const RvRect& rect) {
    *recording->append<RectRecord>(executeViewport) = {rect.x, rect.y, std::max(rect.width, 0),
                                                       std::max(rect.height, 0)};
}

void RvOpenGLRenderer::recordScissorRect(const RvRect& rect) {
    *recording->append<RectRecord>(executeScissor) = {rect.x, rect.y, std::max(rect.width, 0),
                                                      std::max(rect.height, 0)};
}

void RvOpenGLRenderer::recordEnable(RvCapability capability, int value) {
    static const GLenum kCapabilities[] = {GL_SCISSOR_TEST, GL_CULL_FACE, GL_DEPTH_TEST, GL_DEPTH_CLAMP,
                                           GL_BLEND};
    *recording->append<EnableRecord>(executeEnable) = {kCapabilities[capability], value};
}

void RvOpenGLRenderer::recordCullMode(int mode) {
    recording->append<EnumRecord>(executeCullFace)->value = mode == kRvCullFront ? GL_FRONT : GL_BACK;
    recording->append<EnumRecord>(executeFrontFace)->value = GL_CCW;
}

void RvOpenGLRenderer::recordColorMode(int mode) {
    recording->append<IntRecord>(executeColorMode)->value = mode;
}
void RvOpenGLRenderer::recordDepthMask(bool write) {
    recording->append<IntRecord>(executeDepthMask)->value = write;
}

void RvOpenGLRenderer::recordDepthCompare(int compare) {
    recording->append<EnumRecord>(executeDepthFunction)->value =
        compare >= 0 && compare <= 8 ? kCompareTable[compare] : GL_NEVER;
}

void RvOpenGLRenderer::recordStencil(int front, int back) {
    *recording->append<PairRecord>(executeStencil) = {static_cast<GLenum>(front < 0 ? 0 : front),
                                                      static_cast<GLenum>(back < 0 ? 0 : back)};
}

void RvOpenGLRenderer::recordBlendMode(int mode) {
    int index = mode & 0xFFFF;
    if (index > 8 || mode < 0) index = 0;  // unknown modes draw unblended
    const BlendEntry& e = kBlendTable[index];
    recordEnable(kRvCapabilityBlend, e.enable ? 1 : 2);
    if (!e.enable) return;
    *recording->append<PairRecord>(executeBlendFunction) = {e.source, e.destination};
    recording->append<EnumRecord>(executeBlendEquation)->value = e.equation;
}

void RvOpenGLRenderer::recordReadPixels(RvTexture* texture) {
    recording->append<RvOpenGLObjectRecord>(RvOpenGLExecuteReadPixels)->object = texture;
}

// >>execution

void RvOpenGLRenderer::executeBuffer(RvCommandBuffer* buffer) {
    RvOpenGLRendererExecuteRenderBuffer(this, buffer);
}

void RvOpenGLRenderer::readPixelsNow(RvTexture* texture) {
    RvOpenGLRendererLock(this);
    RvOpenGLReadTexturePixels(texture);
    RvOpenGLRendererUnlock(this);
}

// Bumped whenever a mesh lets go of a vertex array, so a frame in which none did skips the walk.
static std::atomic<uint32_t> vertexArrayReleases{0};

static void collectVertexArrays(RvOpenGLRenderer* r) {
    uint32_t releases = vertexArrayReleases.load();
    if (releases == r->collectedReleases) return;
    r->collectedReleases = releases;
    for (auto it = r->vertexArrays.begin(); it != r->vertexArrays.end();) {
        RvOpenGLVertexArray* array = it->second;
        int expected = 1;
        // Only the cache still holds it: no mesh will bind it again.
        if (array->references.compare_exchange_strong(expected, 0)) {
            if (array->name) glDeleteVertexArrays(1, &array->name);
            delete array;
            it = r->vertexArrays.erase(it);
        } else {
            ++it;
        }
    }
}

void RvOpenGLRendererExecuteRenderBuffer(RvRenderer* renderer, RvCommandBuffer* buffer) {
    auto* r = static_cast<RvOpenGLRenderer*>(renderer);
    if (!r || !buffer || !r->context) return;
    RvOpenGLRendererLock(r);
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    r->defaultFramebuffer = framebuffer;
    r->currentProgram = 0;
    r->framebufferComplete = true;
    // Vertex arrays first: they may still refer to buffers queued for deletion.
    collectVertexArrays(r);
    RvOpenGLDeletePendingObjects(r);
    r->executing = buffer;
    r->builtAhead = false;
    buffer->execute(r);
    r->executing = nullptr;
    int units = RvGraphicsMaxTextureSamplers(r->device);
    for (int unit = units - 1; unit >= 0; unit--) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    r->currentProgram = 0;
    RvOpenGLRendererUnlock(r);
}

// >>vertex arrays

void RvOpenGLVertexArrayRetain(RvOpenGLVertexArray* array) {
    if (array) array->references.fetch_add(1);
}

void RvOpenGLVertexArrayRelease(RvOpenGLVertexArray* array) {
    // The last reference is never the cache's (the cache deletes its entries itself), so the
    // GL name is already gone when this frees the record.
    if (!array) return;
    int before = array->references.fetch_sub(1);
    if (before == 1)
        delete array;
    else if (before == 2)
        vertexArrayReleases.fetch_add(1);  // perhaps only the cache holds it now
}

void RvOpenGLRenderer::invalidateCaches() {
    if (!context) return;
    RvOpenGLRendererLock(this);
    for (auto& entry : vertexArrays) {
        RvOpenGLVertexArray* array = entry.second;
        if (array->name) glDeleteVertexArrays(1, &array->name);
        array->name = 0;  // meshes still holding it will make a new one
        RvOpenGLVertexArrayRelease(array);
    }
    vertexArrays.clear();
    arrayTag = RvOpenGLNextRendererSerial();  // what meshes noted is gone
    RvOpenGLRendererUnlock(this);
}

// >>command names

const char* RvOpenGLCommandName(RvCommandFunction f) {
    static const struct {
        RvCommandFunction function;
        const char* name;
    } kNames[] = {
        {executeClear, "Clear"},
        {executeViewport, "Viewport"},
        {executeScissor, "Scissor"},
        {executeEnable, "Enable"},
        {executeCullFace, "CullFace"},
        {executeFrontFace, "FrontFace"},
        {executeColorMode, "ColorMode"},
        {executeDepthMask, "DepthMask"},
        {executeDepthFunction, "DepthFunction"},
        {executeStencil, "Stencil"},
        {executeBlendFunction, "BlendFunction"},
        {executeBlendEquation, "BlendEquation"},
        {RvOpenGLExecuteBindRenderTarget, "BindRenderTarget"},
        {RvOpenGLExecutePresent, "Present"},
        {RvOpenGLExecuteBindShader, "BindShader"},
        {RvOpenGLExecuteWriteConstant, "WriteConstant"},
        {RvOpenGLExecuteBindTexture, "BindTexture"},
        {RvOpenGLExecuteBindMesh, "BindMesh"},
        {RvOpenGLExecuteDrawArrays, "DrawArrays"},
        {RvOpenGLExecuteDrawElements, "DrawElements"},
        {RvOpenGLExecuteReadPixels, "ReadPixels"},
    };
    for (const auto& entry : kNames)
        if (entry.function == f) return entry.name;
    return nullptr;
}
