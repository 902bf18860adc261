#include "test_image_support.h"

#include <SDL.h>

#include <cstdio>
#include <fstream>
#include <mutex>

#include "KuLayout.h"
#include "KuLog.h"
#include "KuPackfileManager.h"
#include "KuSpriteSheet.h"
#include "KuTextureManager.h"
#include "RvImageCodec.h"
#include "RvMath.h"

// >>reports

namespace {

class CapturingHooks : public KuLogHooks {
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
    std::mutex mutex;
    std::vector<std::string> warnings, errors;
};

CapturingHooks& hooks() {
    static CapturingHooks h;
    return h;
}

// >>the window

SDL_Window* window = nullptr;
bool attempted = false;
bool ready = false;

// The window, context and programs stay up until the process ends: tearing the context down
// makes the driver drop the last pointers to a few blocks of its own (reported as leaks), while
// left standing they stay reachable. What the tests made themselves is released here.
class PictureEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        KuSpriteSheet::releaseCache();
        textureManager.releaseAllTextures();
        KuAutoreleasePool::drainCurrentPool();
    }
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new PictureEnvironment);

}  // namespace

bool PictureTest::graphicsReady() {
    if (attempted) return ready;
    attempted = true;
    if (KuSharedRvDevice() && textureShaderProgram) return ready = true;  // someone else made them
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    KuGraphics::PrepareWindowAttributes();
    window = SDL_CreateWindow("picture tests", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 48,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    if (!KuGraphics::Initialize("opengl", 0, window, kKuGraphicsSynchronousSurface)) return false;
    textureShaderProgram = new KuShader(1);
    KuGraphics::SharedObject()->renderer->setSynchronousPresentation(true);
    return ready = true;
}

void PictureTest::SetUp() {
    KuPoolTest::SetUp();
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hooks().warnings.clear();
        hooks().errors.clear();
    }
    KuSetLogHooks(&hooks());
    savedProps = defaultImageProps;
    defaultImageProps.pixelSnap = true;
    defaultImageProps.linearMinFilter = false;
    defaultImageProps.linearMagFilter = false;
    KuSetDeviceScale(1);
    KuClearResourcePaths();
    KuAddResourcePath(folder.path().c_str());
}

void PictureTest::TearDown() {
    KuSpriteSheet::releaseCache();
    KuAutoreleasePool::drainCurrentPool();
    textureManager.releaseAllTextures();
    // GPU objects of what was just released are deleted when the next frame executes.
    if (ready) KuGraphics::SharedObject()->renderer->videoBlank(KuColor{0, 0, 0, 0});
    defaultImageProps = savedProps;
    KuSetDeviceScale(1);
    KuClearResourcePaths();
    KuPoolTest::TearDown();
    KuSetLogHooks(nullptr);
}

std::vector<std::string> PictureTest::warnings() const {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    return hooks().warnings;
}

std::vector<std::string> PictureTest::errors() const {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    return hooks().errors;
}

bool PictureTest::reported(const std::string& fragment) const {
    for (const std::string& w : warnings())
        if (w.find(fragment) != std::string::npos) return true;
    for (const std::string& e : errors())
        if (e.find(fragment) != std::string::npos) return true;
    return false;
}

void PictureTest::clearReports() {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().warnings.clear();
    hooks().errors.clear();
}

bool PictureTest::writePNG(const std::string& name, int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> file;
    std::string error;
    if (!RvImageEncodePNG(rgba.data(), width, height, width * 4, 4, &file, &error)) return false;
    folder.write(name, std::string(file.begin(), file.end()));
    return true;
}

// >>pixels

std::string describePixel(const Pixel& p) {
    char text[64];
    snprintf(text, sizeof text, "(%d, %d, %d, %d)", p[0], p[1], p[2], p[3]);
    return text;
}

Pixel patternPixel(int x, int y) {
    return {(x * 4) & 255, (y * 4) & 255, (x + 7 * y) & 255, 255};
}

std::vector<uint8_t> patternAtlas(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const Pixel p = patternPixel(x, y);
            for (int c = 0; c < 4; c++)
                rgba[(static_cast<size_t>(y) * width + x) * 4 + c] = static_cast<uint8_t>(p[c]);
        }
    return rgba;
}

KuGraphicsTexture* newTarget(int width, int height) {
    auto* texture = new KuGraphicsTexture;
    texture->initWithSize(KuPoint{static_cast<float>(width), static_cast<float>(height)}, true, true);
    return texture;
}

bool drawInto(KuGraphicsTexture* target, float pointsToPixels, const std::function<void()>& draw) {
    KuGraphicsRenderer* r = KuGraphics::SharedObject()->renderer;
    bool recorded = false;
    const KuColor clear{0, 0, 0, 0};
    bool ran = r->runSyncedToDisplay([&] {
        if (!r->beginFrame()) return;
        if (r->beginPass(target, &clear, nullptr, nullptr)) {
            const KuPoint size = r->getRenderTargetSize();
            RvMatrix4 o = RvMatrix4Ortho(0, size.x / pointsToPixels, 0, size.y / pointsToPixels, -1, 1);
            for (int i = 0; i < 16; i++)
                projectionMatrix.m[i] = o.m[i];
            KuMatrixStackReset();
            if (draw) draw();
            r->endPass();
        }
        r->endFrame();
        recorded = true;
    });
    if (ran && recorded) target->readPixelsFromGPU();
    return ran && recorded;
}

std::vector<Pixel> targetPixels(KuGraphicsTexture* target, int* width, int* height) {
    KuGraphicsTexture::PixelFormat format;
    unsigned w = 0, h = 0;
    auto* pixels = static_cast<const uint8_t*>(target->lockPixels(&format, &w, &h, false));
    std::vector<Pixel> out;
    if (pixels && format == KuGraphicsTexture::kPixelFormatRGBA8) {
        out.resize(static_cast<size_t>(w) * h);
        for (unsigned y = 0; y < h; y++)
            for (unsigned x = 0; x < w; x++) {
                // The read-back stores the top row first.
                const uint8_t* at = pixels + (static_cast<size_t>(h - 1 - y) * w + x) * 4;
                out[static_cast<size_t>(y) * w + x] = {at[0], at[1], at[2], at[3]};
            }
    }
    target->unlockPixels();
    if (width) *width = static_cast<int>(w);
    if (height) *height = static_cast<int>(h);
    return out;
}

Pixel targetPixel(KuGraphicsTexture* target, int x, int y) {
    int w = 0, h = 0;
    std::vector<Pixel> all = targetPixels(target, &w, &h);
    if (x < 0 || y < 0 || x >= w || y >= h || all.empty()) return {-1, -1, -1, -1};
    return all[static_cast<size_t>(y) * w + x];
}
