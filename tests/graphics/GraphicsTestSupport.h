// Helpers of the facade tests: one hidden window with the shared graphics object and every
// built-in program for the whole test binary, captured reports, and frames drawn into texture
// targets whose pixels are read back.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "KuGraphics.h"
#include "TestSupport.h"

// Records the engine's warnings and errors (handled, so an error does not end the test binary)
// and the facade's application requests.
class GraphicsHooks;
GraphicsHooks& graphicsHooks();
std::vector<std::string> capturedWarnings();
std::vector<std::string> capturedErrors();
void clearCaptured();
int renderingFailures();
int frameDeltaResets();

constexpr int kWindowWidth = 64;
constexpr int kWindowHeight = 48;

// Fixture: skips without OpenGL; presents synchronously; resets the transform state; drains the
// pool afterwards.
class FacadeTest : public KuPoolTest {
protected:
    void SetUp() override;
    void TearDown() override;
    KuGraphicsRenderer* renderer = nullptr;
};

using Pixel = std::array<int, 4>;
Pixel rgba(int r, int g, int b, int a);
std::string describe(const Pixel& p);
// Within one step of 255 per channel.
bool near(const Pixel& a, const Pixel& b, int tolerance = 2);

// A texture the tests draw into (pixels kept), made with the facade. Owned.
KuGraphicsTexture* newTargetTexture(int width, int height);
// An orthographic projection over (0, 0)–(width, height).
KuMatrix orthoMatrix(float width, float height);
// One frame through runSyncedToDisplay: a pass into `target` (null: the window) clearing to
// `clear`, projectionMatrix set over the target, the drawing, the end of the frame; then, for a
// texture, the read-back. False when the step did not run.
bool drawFrameInto(KuGraphicsTexture* target, const KuColor& clear, const std::function<void()>& draw);
// Pixel (x, y) of a read-back texture, y from the bottom as drawn.
Pixel pixelOf(KuGraphicsTexture* texture, int x, int y);
// Counts the pixels of the texture equal (within tolerance) to `colour`.
int countPixels(KuGraphicsTexture* texture, const Pixel& colour);
// A drawable on `shader` holding one axis-aligned quad (x0, y0)–(x1, y1) with texture coordinates
// (0, 0)–(1, 1). Owned.
KuGraphicsDrawable* newQuad(KuShader* shader, float x0, float y0, float x1, float y1,
                            int flags = kKuMeshTriangleStrip);
// Sets "modelViewProj" to KuProjectTopMatrix(), then updates and draws.
void drawProjected(KuGraphicsDrawable* drawable);
