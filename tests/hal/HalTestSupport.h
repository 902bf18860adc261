// Helpers of the renderer-layer tests: captured layer reports, and one real OpenGL device and
// renderer per test binary (headless through SDL's offscreen driver) with small drawing helpers.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "RvOpenGL.h"
#include "TestSupport.h"

struct SDL_Window;

// Collects the layer's warnings and errors while alive.
class CapturedReports {
public:
    CapturedReports();
    ~CapturedReports();
    std::vector<std::string> all() const;
    bool contains(const std::string& fragment) const;
    void clear();
};

// The one OpenGL device and renderer of the test binary, null when no context can be made.
struct GLWorld {
    RvGraphicsDevice* device = nullptr;
    RvRenderer* renderer = nullptr;  // deferred, 200 ms, drawing into `window`
    SDL_Window* window = nullptr;    // 64 × 64, the renderer's drawable
};
GLWorld& glWorld();

// Fixture of the GL tests: skips when OpenGL is unavailable, drains the pool after each test.
class GLTest : public KuPoolTest {
protected:
    void SetUp() override;
    RvGraphicsDevice* device = nullptr;
    RvRenderer* renderer = nullptr;
};

using Pixel = std::array<int, 4>;

// A target drawing into a new RGBA texture of the size (texture keeps its pixels). Both owned.
struct TextureTarget {
    RvRenderTarget* target = nullptr;
    RvTexture* texture = nullptr;
    TextureTarget(RvGraphicsDevice* device, int width, int height);
    ~TextureTarget();
    TextureTarget(const TextureTarget&) = delete;
    TextureTarget& operator=(const TextureTarget&) = delete;
};

// Owned shader from GLSL bodies (the back end adds the version line).
RvShader* newShader(RvGraphicsDevice* device, const char* vertex, const char* fragment, int blendMode);
// The test programs: position (+ texcoord) through "modelViewProj", colour from "color"
// (× the "colorMap" texture for the textured one).
RvShader* newSolidShader(RvGraphicsDevice* device, int blendMode);
RvShader* newTexturedShader(RvGraphicsDevice* device, int blendMode);
// Owned triangle-strip quad over (x0, y0)–(x1, y1) in points with texture coordinates
// (u0, v0)–(u1, v1), its buffers kept in CPU memory.
RvMesh* newQuadMesh(RvGraphicsDevice* device, RvShader* shader, float x0, float y0, float x1, float y1,
                    float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
// Owned instance of the mesh with "modelViewProj" bound to the renderer's view-projection and
// "color" set.
RvMeshInstance* newInstance(RvMesh* mesh, const KuColor& color);
void setColor(RvMeshInstance* instance, const char* name, const KuColor& color);

// One whole frame: begin, a pass on `target` clearing to `clear` with the target's camera, the
// drawing, end, and execution on this thread.
void drawFrame(RvRenderer* renderer, RvRenderTarget* target, const KuColor& clear,
               const std::function<void()>& draw);
// Reads the texture back and returns the pixel at (x, y), y counted from the bottom as drawn.
Pixel pixelAt(RvRenderer* renderer, RvTexture* texture, int x, int y);
// Pixel of the texture's CPU storage as drawn (after a read-back), y from the bottom.
Pixel storedPixel(RvTexture* texture, int x, int y);
// OpenGL errors pending on the renderer's context (0 when none).
unsigned glErrorOf(RvRenderer* renderer);
Pixel rgba(int r, int g, int b, int a);
std::string describe(const Pixel& p);
