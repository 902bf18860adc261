// Sections: >>contexts >>device >>information >>window surface
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "RvOpenGLInternal.h"

// >>contexts

namespace {
// SDL keeps GL attributes globally; every context here asks for 3.2 core.
void requestCoreProfile(int shareWithCurrent) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, shareWithCurrent);
}

SDL_Window* newHiddenWindow() {
    return SDL_CreateWindow("Tansy GL", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                            SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

bool extensionListed(const char* wanted) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; i++) {
        auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name && strcmp(name, wanted) == 0) return true;
    }
    return false;
}
}  // namespace

void RvOpenGLGraphicsDeviceLock(RvGraphicsDevice* device) {
    auto* d = dynamic_cast<RvOpenGLGraphicsDevice*>(device);
    if (!d) return;
    d->contextMutex.lock();
    if (d->lockDepth++ == 0) {
        d->previousWindow = SDL_GL_GetCurrentWindow();
        d->previousContext = SDL_GL_GetCurrentContext();
        if (d->previousContext != d->context) SDL_GL_MakeCurrent(d->window, d->context);
    }
}

void RvOpenGLGraphicsDeviceUnlock(RvGraphicsDevice* device) {
    auto* d = dynamic_cast<RvOpenGLGraphicsDevice*>(device);
    if (!d || d->lockDepth <= 0) return;
    if (--d->lockDepth == 0 && d->previousContext != d->context)
        SDL_GL_MakeCurrent(d->previousContext ? d->previousWindow : nullptr, d->previousContext);
    d->contextMutex.unlock();
}

// >>device

RvOpenGLGraphicsDevice::RvOpenGLGraphicsDevice() : RvGraphicsDevice(RvGraphicsCapabilities{}) {}

RvOpenGLGraphicsDevice::~RvOpenGLGraphicsDevice() {
    if (context) {
        if (SDL_GL_GetCurrentContext() == context) SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(context);
    }
    if (window) SDL_DestroyWindow(window);
    if (ownsVideoSubsystem) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

RvGraphicsDevice* RvNewOpenGLGraphicsDevice() {
    auto* d = new RvOpenGLGraphicsDevice;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            KuRelease(d);
            return nullptr;
        }
        d->ownsVideoSubsystem = true;
    }
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
    requestCoreProfile(0);
    d->window = newHiddenWindow();
    d->context = d->window ? SDL_GL_CreateContext(d->window) : nullptr;
    if (!d->context) {
        KuRelease(d);
        return nullptr;
    }
    RvGraphicsCapabilities& caps = d->capabilities;
    GLint units = 0, size = 0, samples = 0;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    glGetIntegerv(GL_MAX_INTEGER_SAMPLES, &samples);
    caps.maxTextureSamplers = std::min<int>(units, kRvMaxTextureUnits);
    caps.maxTextureSize = size;
    caps.supportsDiscardLocalStorage = true;
    // A core context has no legacy extension string; its names are indexed.
    caps.supportsNonPOTTextures = extensionListed("GL_ARB_texture_non_power_of_two");
    caps.supportsRGB8Textures = false;
    caps.supportsBGRA8Textures = false;
    caps.supportsPVRTC = false;
    caps.supportsScreenTearing = false;
    caps.supportsMultisampling = true;
    caps.maxMultisamples = samples;
    SDL_GL_MakeCurrent(previousContext ? previousWindow : nullptr, previousContext);
    return d;
}

RvRenderer* RvOpenGLGraphicsDevice::newRenderer(int options, void*) {
    auto* r = new RvOpenGLRenderer(this, options);
    if (!r->valid()) {
        KuRelease(r);
        return nullptr;
    }
    return r;
}

RvRenderTarget* RvOpenGLGraphicsDevice::newRenderTarget() {
    return new RvOpenGLRenderTarget(this);
}

RvMesh* RvOpenGLGraphicsDevice::newMesh(int primitiveType, RvVertexBuffer* vertices, RvIndexBuffer* indices,
                                        RvShader* shader) {
    auto* mesh = new RvOpenGLMesh(this);
    KuSetRetained(mesh->vertexBuffer, vertices);
    KuSetRetained(mesh->indexBuffer, indices);
    KuSetRetained(mesh->shader, shader);
    mesh->submeshes[0].primitiveType = primitiveType;
    return mesh;
}

RvShader* RvOpenGLGraphicsDevice::newShader() {
    return new RvOpenGLShader(this);
}
RvTexture* RvOpenGLGraphicsDevice::newTexture(int accessMode) {
    return new RvOpenGLTexture(this, accessMode);
}
RvIndexBuffer* RvOpenGLGraphicsDevice::newIndexBuffer(int accessMode) {
    return new RvOpenGLIndexBuffer(this, accessMode);
}
RvVertexBuffer* RvOpenGLGraphicsDevice::newVertexBuffer(int accessMode) {
    return new RvOpenGLVertexBuffer(this, accessMode);
}

// >>information

std::string RvGetOpenGLInformation(RvGraphicsDevice* device, bool withExtensions) {
    auto* d = dynamic_cast<RvOpenGLGraphicsDevice*>(device);
    if (!d) return "OpenGL is not available.\n";
    RvOpenGLGraphicsDeviceLock(d);
    std::string text;
    auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    auto* glsl = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    text += "OpenGL Version: ";
    text += version ? version : "";
    text += "\n  GLSL Version: ";
    text += glsl ? glsl : "";
    text += "\n";
    if (withExtensions) {
        text += "OpenGL Extensions:\n";
        GLint count = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; i < count; i++) {
            auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
            text += "    ";
            text += name ? name : "";
            text += "\n";
        }
    }
    RvOpenGLGraphicsDeviceUnlock(d);
    return text;
}

// >>window surface

static void setPlatformError(std::string* error, int code, const char* text) {
    if (!error) return;
    char buffer[512];
    snprintf(buffer, sizeof buffer, "CGLError %d %s", code, text ? text : "");
    *error = buffer;
}

bool RvOpenGLRendererCreatePixelFormat(RvGraphicsDevice* device, int colorFormat, int depthFormat,
                                       int stencilFormat, int antialiasing, RvOpenGLPixelFormat* out,
                                       std::string* error) {
    if (!dynamic_cast<RvOpenGLGraphicsDevice*>(device) || !out) {
        setPlatformError(error, -1, "no OpenGL device");
        return false;
    }
    RvOpenGLPixelFormat f;
    f.colorBits = colorFormat ? 32 : 0;
    f.depthBits = depthFormat ? 24 : 0;
    f.stencilBits = stencilFormat ? 8 : 0;
    f.samples = antialiasing == 1 ? 2 : antialiasing == 2 ? 4 : antialiasing >= 3 ? 8 : 0;
    *out = f;
    return true;
}

void RvOpenGLPixelFormatApply(const RvOpenGLPixelFormat& f) {
    requestCoreProfile(0);
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    int channel = f.colorBits ? 8 : 0;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f.depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.stencilBits);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, f.samples ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, f.samples);
}

// Makes a context on `window` that shares the device's objects; leaves the calling thread's
// current context as it was.
void* RvOpenGLCreateSharedContext(RvOpenGLGraphicsDevice* d, SDL_Window* window) {
    RvOpenGLGraphicsDeviceLock(d);
    requestCoreProfile(1);
    SDL_GLContext made = SDL_GL_CreateContext(window);
    requestCoreProfile(0);
    // Creating made the new context current; the device's goes back until the unlock restores.
    SDL_GL_MakeCurrent(d->window, d->context);
    RvOpenGLGraphicsDeviceUnlock(d);
    return made;
}

void* RvOpenGLRendererCreateOpenGLContext(RvRenderer* renderer, const RvOpenGLPixelFormat& format,
                                          SDL_Window* window, std::string* error) {
    auto* r = dynamic_cast<RvOpenGLRenderer*>(renderer);
    if (!r || !window) {
        setPlatformError(error, -1, "no OpenGL renderer or window");
        return nullptr;
    }
    RvOpenGLPixelFormatApply(format);
    void* made = RvOpenGLCreateSharedContext(static_cast<RvOpenGLGraphicsDevice*>(r->device), window);
    if (!made) {
        setPlatformError(error, -1, SDL_GetError());
        return nullptr;
    }
    // Vertex arrays and framebuffers are not shared: they go with the old context.
    r->invalidateCaches();
    RvOpenGLRendererLock(r);
    void* old = r->context;
    SDL_Window* oldWindow = r->window;
    bool ownedWindow = r->ownsWindow;
    uint32_t oldSerial = r->serial;
    r->context = made;
    r->window = window;
    r->ownsWindow = false;
    // Targets built by the old context see a foreign owner and rebuild their framebuffers.
    r->serial = RvOpenGLNextRendererSerial();
    RvOpenGLRendererUnlock(r);
    {
        std::lock_guard<std::recursive_mutex> lock(r->contextMutex);
        if (SDL_GL_GetCurrentContext() == old) SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(old);
        if (ownedWindow) SDL_DestroyWindow(oldWindow);
    }
    RvOpenGLForgetPendingFramebuffers(static_cast<RvOpenGLGraphicsDevice*>(r->device), oldSerial);
    return made;
}
