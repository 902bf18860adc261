// Sections: >>matrices and globals >>reports >>device >>surface >>renderer >>facade
#include "KuGraphics.h"

#include <SDL.h>
#include <strings.h>

#include <chrono>
#include <cmath>
#include <string>

#include "KuLog.h"
#include "KuUserPrefs.h"
#include "RvOpenGL.h"

// >>matrices and globals

KuMatrix KuMatrixIdentity() {
    KuMatrix m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1;
    return m;
}

void Matrix3DMultiply(const KuMatrix& a, const KuMatrix& b, KuMatrix& out) {
    KuMatrix r;
    for (int column = 0; column < 4; column++)
        for (int row = 0; row < 4; row++) {
            float sum = 0;
            for (int k = 0; k < 4; k++)
                sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            r.m[column * 4 + row] = sum;
        }
    out = r;
}

KuMatrix matrixStack[kKuMatrixStackSize] = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
int matrixStackDepth = 0;
KuMatrix projectionMatrix = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
KuImageProps defaultImageProps;

int KuGraphics::_DebugTextureMinFilter = 0;
int KuGraphics::_DebugTextureMagFilter = 0;

namespace {
KuGraphics* sharedGraphics = nullptr;
KuGraphicsAppHooks* appHooks = nullptr;
}  // namespace

// >>reports

namespace {
void layerLog(const char* text) {
    KuLogFile("%s", text);
}
void layerWarning(const char* text) {
    KuWarning("%s", text);
}
void layerError(const char* text) {
    KuError("%s", text);
}
}  // namespace

// >>device

KuGraphicsDevice::~KuGraphicsDevice() {
    KuRelease(device);
}

bool KuGraphicsDevice::Init(const char* api, int) {
    KuRelease(device);
    device = nullptr;
    // This platform has no Metal: its attempts only record their name and fail.
    if (api && *api) {
        if (strcasecmp(api, "metal") == 0) {
            apiName = "Metal";
            KuLogFile("KuGraphics: Selecting Metal Renderer %s", "Failed");
        } else if (strcasecmp(api, "opengl") == 0) {
            apiName = "OpenGL";
            device = RvNewOpenGLGraphicsDevice();
            KuLogFile("KuGraphics: Selecting OpenGL Renderer %s", device ? "" : "Failed");
        }
    }
    if (!device) {
        apiName = "Metal";
        KuLogFile("KuGraphics: Selecting Default (Metal) Renderer %s", "Failed");
        apiName = "OpenGL";
        device = RvNewOpenGLGraphicsDevice();
        KuLogFile("KuGraphics: Selecting Fallback (OpenGL) Renderer %s", device ? "" : "Failed");
    }
    if (!device) {
        KuFatalFunc("Your graphics card does not support the %s features the game requires.", apiName);
        return false;
    }
    return true;
}

// >>surface

namespace {
int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
constexpr int64_t kDisplayPeriodNs = 16666667;
}  // namespace

KuGraphicsSurface::KuGraphicsSurface(RvRenderer* r, SDL_Window* w, bool sync)
    : renderer(r), window(w), synchronous(sync) {
    KuRetain(renderer);
    lastDrawNs = nowNanoseconds();
    // An SDL thread, so that SDL frees what it keeps per thread (the current context) at its end.
    if (!synchronous) {
        thread = SDL_CreateThread(
            [](void* self) -> int {
                static_cast<KuGraphicsSurface*>(self)->presentationLoop();
                return 0;
            },
            "KuGraphicsSurface", this);
    }
}

KuGraphicsSurface::~KuGraphicsSurface() {
    if (thread) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        SDL_WaitThread(thread, nullptr);
    }
    KuRelease(renderer);
}

bool KuGraphicsSurface::beginGameFrame() {
    bool expected = false;
    return waitingToRender.compare_exchange_strong(expected, true);
}

void KuGraphicsSurface::endGameFrame() {
    needsClearContext = false;
    requestDraw();
}

void KuGraphicsSurface::requestDraw() {
    if (synchronous) {
        if (canDraw()) draw();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        redrawRequested = true;
    }
    wake.notify_all();
}

bool KuGraphicsSurface::canDraw() {
    if (droppedFrames.fetch_add(1) == 100) failureReported = true;
    return true;
}

bool KuGraphicsSurface::checkPresentation() {
    // A draw stuck in the presentation (a swap that never returns) asks nothing more of the
    // display, so the main thread counts the display periods the waiting frame has missed.
    if (!synchronous && waitingToRender.load()) {
        int64_t missed = (nowNanoseconds() - lastDrawNs.load()) / kDisplayPeriodNs;
        int before = droppedFrames.load();
        if (missed > before) {
            droppedFrames = static_cast<int>(missed > 1000000 ? 1000000 : missed);
            if (before <= 100 && missed > 100) failureReported = true;
        }
    }
    return failureReported.exchange(false);
}

void KuGraphicsSurface::draw() {
    droppedFrames = 0;
    lastDrawNs = nowNanoseconds();
    bool ran = RvRendererRenderFrame(renderer);
    bool drawn = ran;
    // Only between game frames: a blank recorded while the main thread records would take its frame.
    if (!ran && needsClearContext.load() && !waitingToRender.load() && !renderer->isRecording()) {
        // Nothing is ready for the new size: show transparent black rather than stale pixels.
        RvRenderTarget* screen = RvNewRenderTarget(RvRendererGetDevice(renderer));
        {
            int w = 0, h = 0;
            SDL_GL_GetDrawableSize(window, &w, &h);
            RvResourceLock lock(screen, kRvLockWrite);
            RvRenderTargetSetLayout(screen, w, h, 1);
        }
        RvVideoBlank(renderer, screen, KuColor{0, 0, 0, 0});
        drawn = RvRendererRenderFrame(renderer);
        KuRelease(screen);
    }
    // A swap without a new frame would show a back buffer with undefined contents.
    if (drawn) {
        auto* gl = static_cast<RvOpenGLRenderer*>(renderer);
        RvOpenGLRendererLock(renderer);
        SDL_GL_SwapWindow(gl->window);
        RvOpenGLRendererUnlock(renderer);
        presents++;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        waitingToRender = false;
    }
    shown.notify_all();
}

void KuGraphicsSurface::setPresentationPaused(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        paused = on;
        redrawRequested = true;
    }
    wake.notify_all();
}

bool KuGraphicsSurface::waitForPresentation(int ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return shown.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !waitingToRender.load(); });
}

void KuGraphicsSurface::presentationLoop() {
    // The display's schedule: a draw every refresh period, or at once when a frame is handed over.
    const auto period = std::chrono::microseconds(16667);
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        wake.wait_for(lock, period, [this] { return stopping || redrawRequested; });
        if (stopping) break;
        redrawRequested = false;
        if (paused) continue;
        lock.unlock();
        if (canDraw()) draw();
        lock.lock();
    }
}

// >>renderer

KuGraphicsRenderer::~KuGraphicsRenderer() {
    detachFromWindow();
}

bool KuGraphicsRenderer::Init(SDL_Window* w, int flags) {
    KuGraphics* graphics = KuGraphics::SharedObject();
    const char* api = graphics->device ? graphics->device->apiName : "Uninitialized";
    forceSynchronous = (flags & kKuGraphicsSynchronousSurface) != 0;
    attachToWindow(w);
    if (!renderer) {
        KuFatalFunc("Failed to create a %s renderer.", api);
        return false;
    }
    if (!windowTarget) {
        KuFatalFunc("Failed to create a %s render target for the main window.", api);
        return false;
    }
    return true;
}

void KuGraphicsRenderer::attachToWindow(SDL_Window* w) {
    detachFromWindow();
    window = w;
    RvGraphicsDevice* device = KuSharedRvDevice();
    bool opengl = dynamic_cast<RvOpenGLGraphicsDevice*>(device) != nullptr;
    renderer = RvNewRenderer(device, opengl ? kRvOpenGLRendererOptions : 0, nullptr);
    if (!renderer) return;
    windowTarget = RvNewRenderTarget(device);
    if (!windowTarget || !window) return;

    RvOpenGLPixelFormat format;
    std::string error;
    if (!RvOpenGLRendererCreatePixelFormat(device, kRvBufferFormatRGBA8, kRvBufferFormatDepth24,
                                           kRvBufferFormatStencil8, 0, &format, &error)) {
        KuLogFile("KuGraphicsRenderer (OpenGL): Failed to create a CGL pixel format (%s).", error.c_str());
    } else if (!RvOpenGLRendererCreateOpenGLContext(renderer, format, window, &error)) {
        KuLogFile("KuGraphicsRenderer (OpenGL): Failed to create a CGL context (%s).", error.c_str());
    } else {
        // Presentation follows the display's refresh where the platform offers it.
        RvOpenGLRendererLock(renderer);
        SDL_GL_SetSwapInterval(1);
        RvOpenGLRendererUnlock(renderer);
    }
    bool synchronous = forceSynchronous || defaultPrefs->getBool("useSynchronousOpenGL", false);
    surface = new KuGraphicsSurface(renderer, window, synchronous);
    surface->boundsChanged();
    updateTargetSize();
}

void KuGraphicsRenderer::detachFromWindow() {
    if (surface) {
        // A waiting frame may still refer to the target: let it run before the surface goes.
        delete surface;
        surface = nullptr;
    }
    KuRelease(passTexture);
    passTexture = nullptr;
    KuRelease(windowTarget);
    windowTarget = nullptr;
    KuRelease(renderer);
    renderer = nullptr;
    window = nullptr;
}

void KuGraphicsRenderer::setSynchronousPresentation(bool synchronous) {
    if (!renderer || !window || (surface && surface->isSynchronous() == synchronous)) return;
    bool waiting = false;
    if (surface) {
        waiting = surface->isWaitingToRender();
        delete surface;
    }
    surface = new KuGraphicsSurface(renderer, window, synchronous);
    if (waiting && surface->beginGameFrame()) surface->endGameFrame();
}

bool KuGraphicsRenderer::updateTargetSize() {
    if (!windowTarget || !window) return false;
    int width = 0, height = 0;
    float scale = 1;
    if (forcedWidth > 0 && forcedHeight > 0) {
        width = static_cast<int>(forcedWidth);
        height = static_cast<int>(forcedHeight);
    } else {
        int windowWidth = 0, windowHeight = 0;
        SDL_GL_GetDrawableSize(window, &width, &height);
        SDL_GetWindowSize(window, &windowWidth, &windowHeight);
        if (windowWidth > 0 && width > 0) scale = static_cast<float>(width) / static_cast<float>(windowWidth);
    }
    RvVector2 now = RvRenderTargetGetSizeInPixels(windowTarget);
    if (static_cast<int>(now.x) == width && static_cast<int>(now.y) == height &&
        RvRenderTargetGetPointScale(windowTarget) == scale)
        return false;
    {
        RvResourceLock lock(windowTarget, kRvLockWrite);
        RvRenderTargetSetLayout(windowTarget, width, height, scale);
        RvRenderTargetSetAntialiasing(windowTarget, 0);
    }
    if (surface) surface->boundsChanged();
    return true;
}

bool KuGraphicsRenderer::beginFrame() {
    return RvRendererBeginFrame(renderer, windowTarget);
}

void KuGraphicsRenderer::endFrame() {
    RvRendererEndFrame(renderer);
    RvRendererStatistics s;
    RvRendererGetStatistics(renderer, &s);
    KuGraphicsStatistics& out = KuGraphics::SharedObject()->statistics;
    out.framesRecorded = s.framesRecorded;
    out.framesExecuted = s.framesExecuted;
    out.framesDropped = s.framesDropped;
}

bool KuGraphicsRenderer::beginPass(const KuColor& color) {
    float depth = 1.0f;
    int stencil = 0;
    return beginPass(nullptr, &color, &depth, &stencil);
}

bool KuGraphicsRenderer::beginPass(const KuColor* color, const float* depth, const int* stencil) {
    return beginPass(nullptr, color, depth, stencil);
}

bool KuGraphicsRenderer::beginPass(KuGraphicsTexture* texture, const KuColor* color, const float* depth,
                                   const int* stencil) {
    RvRenderTarget* target = texture ? texture->renderTarget : windowTarget;
    if (texture && !target) return false;  // a texture that cannot be drawn into
    int flags = 0;
    if (color) flags |= kRvClearColor;
    if (depth) flags |= kRvClearDepth;
    if (stencil) flags |= kRvClearStencil;
    KuColor clear = color ? *color : KuColor{};
    if (!RvRendererBeginPass(renderer, target, flags, clear, stencil ? *stencil : 0, depth ? *depth : 1.0f))
        return false;
    KuSetRetained(passTexture, texture);
    RvVector2 size = RvRenderTargetGetSizeInPixels(target);
    KuViewportRect whole{0, 0, static_cast<int>(size.x), static_cast<int>(size.y)};
    setViewport(whole);
    setScissor(false, whole);
    RvRendererSetDepthTest(renderer, kRvDepthTestOff, kRvCompareAlways);
    RvRendererSetDepthClip(renderer, kRvDepthClamp);
    RvRendererSetStencilTest(renderer, kRvStencilOff, kRvStencilOff);
    RvRendererSetCullMode(renderer, kRvCullNone);
    return true;
}

void KuGraphicsRenderer::endPass() {
    KuRelease(passTexture);
    passTexture = nullptr;
    RvRendererEndPass(renderer);
}

void KuGraphicsRenderer::setViewport(KuViewportRect rect) {
    currentViewport = rect;
    RvRendererSetViewport(renderer, RvRect{rect.x, rect.y, rect.width, rect.height});
}

void KuGraphicsRenderer::setScissor(bool enable, KuViewportRect rect) {
    currentScissor = rect;
    setScissor(enable);
}

void KuGraphicsRenderer::setScissor(bool enable) {
    const KuViewportRect& r = currentScissor;
    RvRendererSetScissor(renderer, enable, RvRect{r.x, r.y, r.width, r.height});
}

KuPoint KuGraphicsRenderer::getRenderTargetSize() {
    RvRenderTarget* target =
        passTexture && passTexture->renderTarget ? passTexture->renderTarget : windowTarget;
    RvVector2 size = RvRenderTargetGetSizeInPixels(target);
    return KuPoint{size.x, size.y};
}

void KuGraphicsRenderer::videoBlank(const KuColor& color) {
    RvVideoBlank(renderer, windowTarget, color);
    // Outside a game frame nothing else would show it soon: present it now (or wake the display).
    if (surface && !surface->isWaitingToRender()) surface->requestDraw();
}

bool KuGraphicsRenderer::runSyncedToDisplay(const std::function<void()>& step) {
    if (!surface) {
        if (step) step();
        return true;
    }
    updateTargetSize();
    if (surface->checkPresentation() && appHooks) appHooks->appRenderingFailure();
    if (!surface->beginGameFrame()) {
        // Skipped for this turn. A short wait for the presentation keeps the loop from spinning.
        if (!surface->isSynchronous()) surface->waitForPresentation(2);
        return false;
    }
    if (step) step();
    surface->endGameFrame();
    return true;
}

bool KuGraphicsRenderer::windowWasRestored() {
    if (!window) return false;
    uint32_t flags = SDL_GetWindowFlags(window);
    return (flags & SDL_WINDOW_SHOWN) && !(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

bool KuGraphicsRenderer::isFullScreen() {
    return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
}

void KuGraphicsRenderer::setFullScreen(bool on) {
    if (!window || isFullScreen() == on) return;
    SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// >>facade

KuGraphics* KuGraphics::SharedObject() {
    if (!sharedGraphics) {
        sharedGraphics = new KuGraphics;
        sharedGraphics->device = new KuGraphicsDevice;
    }
    return sharedGraphics;
}

bool KuGraphics::Initialize(const char* api, int videoDevice, SDL_Window* window, int flags) {
    RvLogCallbacks callbacks;
    callbacks.log = layerLog;
    callbacks.warning = layerWarning;
    callbacks.error = layerError;
    RvSetLogCallbacks(&callbacks);
    KuGraphics* graphics = SharedObject();
    bool ok = graphics->device->Init(api, videoDevice);
    if (ok) {
        delete graphics->renderer;
        graphics->renderer = new KuGraphicsRenderer;
        ok = graphics->renderer->Init(window, flags);
    }
    _DebugTextureMinFilter = defaultPrefs->getInt("debugTextureMinFilter", 0);
    _DebugTextureMagFilter = defaultPrefs->getInt("debugTextureMagFilter", 0);
    return ok;
}

void KuGraphics::Terminate() {
    if (!sharedGraphics) return;
    delete sharedGraphics->renderer;
    delete sharedGraphics->device;
    delete sharedGraphics;
    sharedGraphics = nullptr;
    RvSetLogCallbacks(nullptr);
}

int KuGraphics::CurrentAPI() {
    KuGraphics* graphics = SharedObject();
    if (!graphics->device || !graphics->device->device) return 0;
    return dynamic_cast<RvOpenGLGraphicsDevice*>(graphics->device->device) ? 2 : 0;
}

void KuGraphics::SetAppHooks(KuGraphicsAppHooks* hooks) {
    appHooks = hooks;
}
KuGraphicsAppHooks* KuGraphics::AppHooks() {
    return appHooks;
}

void KuGraphics::PrepareWindowAttributes() {
    RvOpenGLPixelFormat format;
    format.colorBits = 32;
    format.depthBits = 24;
    format.stencilBits = 8;
    RvOpenGLPixelFormatApply(format);
}

RvGraphicsDevice* KuSharedRvDevice() {
    KuGraphicsDevice* device = sharedGraphics ? sharedGraphics->device : nullptr;
    return device ? device->device : nullptr;
}

RvRenderer* KuSharedRvRenderer() {
    KuGraphicsRenderer* renderer = sharedGraphics ? sharedGraphics->renderer : nullptr;
    return renderer ? renderer->renderer : nullptr;
}
