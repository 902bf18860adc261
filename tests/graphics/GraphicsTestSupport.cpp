#include "GraphicsTestSupport.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "KuLog.h"
#include "RvMath.h"

// >>captured reports

class GraphicsHooks : public KuLogHooks, public KuGraphicsAppHooks {
public:
    int appReceivesWarning(const char* text) override {
        std::lock_guard<std::mutex> lock(mutex);
        warnings.emplace_back(text ? text : "");
        return 1;
    }
    int appReceivesError(const char* text) override {
        std::lock_guard<std::mutex> lock(mutex);
        errors.emplace_back(text ? text : "");
        return 1;
    }
    void resetFrameDelta() override { resets++; }
    void appRenderingFailure() override { failures++; }

    std::mutex mutex;
    std::vector<std::string> warnings, errors;
    int resets = 0;
    int failures = 0;
};

GraphicsHooks& graphicsHooks() {
    static GraphicsHooks hooks;
    return hooks;
}

std::vector<std::string> capturedWarnings() {
    std::lock_guard<std::mutex> lock(graphicsHooks().mutex);
    return graphicsHooks().warnings;
}

std::vector<std::string> capturedErrors() {
    std::lock_guard<std::mutex> lock(graphicsHooks().mutex);
    return graphicsHooks().errors;
}

void clearCaptured() {
    GraphicsHooks& h = graphicsHooks();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.warnings.clear();
    h.errors.clear();
    h.resets = 0;
    h.failures = 0;
}

int renderingFailures() {
    return graphicsHooks().failures;
}
int frameDeltaResets() {
    return graphicsHooks().resets;
}

// >>the window

namespace {
SDL_Window* window = nullptr;
bool ready = false;

class FacadeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        KuSetLogHooks(&graphicsHooks());
        KuGraphics::SetAppHooks(&graphicsHooks());
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
        KuGraphics::PrepareWindowAttributes();
        window = SDL_CreateWindow("facade tests", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                  kWindowWidth, kWindowHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return;
        ready = KuGraphics::Initialize("opengl", 0, window, kKuGraphicsSynchronousSurface);
        if (!ready) return;
        for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20})
            new KuShader(type);
        KuShader** globals[] = {&textureShaderProgram,
                                &solidShaderProgram,
                                &colorShaderProgram,
                                &blitShaderProgram,
                                &particleShaderProgram,
                                &postProcessLightingShaderProgram,
                                &postProcessDistortionShaderProgram,
                                &debugLinesShaderProgram};
        for (int i = 0; i < 8; i++)
            *globals[i] = KuShader::shaderList[static_cast<size_t>(i)];
        textureColShaderProgram = KuShader::shaderList[14];
        textureMaskShaderProgram = KuShader::shaderList[15];
    }

    void TearDown() override {
        KuShader::destroyShaders();
        KuGraphics::Terminate();
        // The window and SDL stay until exit: destroying the last OpenGL window unloads the driver,
        // whose per-process blocks the leak checker then reports from an unknown module.
        KuGraphics::SetAppHooks(nullptr);
        KuSetLogHooks(nullptr);
        KuAutoreleasePool::drainCurrentPool();
    }
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new FacadeEnvironment);
}  // namespace

void FacadeTest::SetUp() {
    KuPoolTest::SetUp();
    if (!ready) GTEST_SKIP() << "no OpenGL 3.2 core context available";
    renderer = KuGraphics::SharedObject()->renderer;
    renderer->setSynchronousPresentation(true);
    matrixStackDepth = 0;
    matrixStack[0] = KuMatrixIdentity();
    projectionMatrix = KuMatrixIdentity();
    clearCaptured();
}

void FacadeTest::TearDown() {
    if (ready) {
        std::vector<std::string> errors = capturedErrors();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
    KuPoolTest::TearDown();
}

// >>pixels

Pixel rgba(int r, int g, int b, int a) {
    return {r, g, b, a};
}

std::string describe(const Pixel& p) {
    char text[64];
    snprintf(text, sizeof text, "(%d, %d, %d, %d)", p[0], p[1], p[2], p[3]);
    return text;
}

bool near(const Pixel& a, const Pixel& b, int tolerance) {
    for (int i = 0; i < 4; i++)
        if (std::abs(a[static_cast<size_t>(i)] - b[static_cast<size_t>(i)]) > tolerance) return false;
    return true;
}

KuGraphicsTexture* newTargetTexture(int width, int height) {
    auto* texture = new KuGraphicsTexture;
    texture->initWithSize(KuPoint{static_cast<float>(width), static_cast<float>(height)}, true, true);
    return texture;
}

KuMatrix orthoMatrix(float width, float height) {
    RvMatrix4 o = RvMatrix4Ortho(0, width, 0, height, -1, 1);
    KuMatrix m;
    for (int i = 0; i < 16; i++)
        m.m[i] = o.m[i];
    return m;
}

bool drawFrameInto(KuGraphicsTexture* target, const KuColor& clear, const std::function<void()>& draw) {
    KuGraphicsRenderer* r = KuGraphics::SharedObject()->renderer;
    bool recorded = false;
    bool ran = r->runSyncedToDisplay([&] {
        if (!r->beginFrame()) return;
        if (r->beginPass(target, &clear, nullptr, nullptr)) {
            KuPoint size = r->getRenderTargetSize();
            projectionMatrix = orthoMatrix(size.x, size.y);
            if (draw) draw();
            r->endPass();
        }
        r->endFrame();
        recorded = true;
    });
    if (ran && recorded && target) target->readPixelsFromGPU();
    return ran && recorded;
}

Pixel pixelOf(KuGraphicsTexture* texture, int x, int y) {
    KuGraphicsTexture::PixelFormat format;
    unsigned w = 0, h = 0;
    auto* pixels = static_cast<const uint8_t*>(texture->lockPixels(&format, &w, &h, false));
    Pixel p{-1, -1, -1, -1};
    if (pixels && format == KuGraphicsTexture::kPixelFormatRGBA8 && x >= 0 && y >= 0 &&
        static_cast<unsigned>(x) < w && static_cast<unsigned>(y) < h) {
        // The read-back stores the top row first.
        const uint8_t* at =
            pixels + (static_cast<size_t>(h - 1 - static_cast<unsigned>(y)) * w + static_cast<size_t>(x)) * 4;
        p = {at[0], at[1], at[2], at[3]};
    }
    texture->unlockPixels();
    return p;
}

int countPixels(KuGraphicsTexture* texture, const Pixel& colour) {
    int count = 0;
    for (int y = 0; y < texture->storageHeight(); y++)
        for (int x = 0; x < texture->storageWidth(); x++)
            if (near(pixelOf(texture, x, y), colour)) count++;
    return count;
}

KuGraphicsDrawable* newQuad(KuShader* shader, float x0, float y0, float x1, float y1, int flags) {
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(shader->shader, flags);
    _Quad2f position{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
    _Quad2f coords{{{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
    d->writeQuads(&position, &coords, 1, nullptr, 0);
    return d;
}

void drawProjected(KuGraphicsDrawable* drawable) {
    drawable->setShaderMatrix("modelViewProj", *KuProjectTopMatrix());
    drawable->update();
    drawable->draw();
}
