// The shared graphics object, device choice, frames and passes (viewport, scissor, what a pass
// clears), the window's target and the pacing contract between the main loop and the display.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstring>

#include "GraphicsTestSupport.h"
#include "RvOpenGL.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};

class RendererTest : public FacadeTest {};

TEST_F(RendererTest, DeviceChoiceFollowsTheRequestedApi) {
    struct Row {
        const char* api;
    } rows[] = {{"opengl"}, {"OpenGL"}, {"OPENGL"}, {"metal"}, {"Metal"}, {"vulkan"}, {""}, {nullptr}};
    for (const Row& r : rows) {
        KuGraphicsDevice device;
        EXPECT_STREQ(device.apiName, "Uninitialized");
        // This platform has no Metal: every request ends with the OpenGL device.
        EXPECT_TRUE(device.Init(r.api, 0)) << (r.api ? r.api : "(null)");
        EXPECT_STREQ(device.apiName, "OpenGL") << (r.api ? r.api : "(null)");
        EXPECT_NE(dynamic_cast<RvOpenGLGraphicsDevice*>(device.device), nullptr);
    }
    EXPECT_EQ(KuGraphics::CurrentAPI(), 2);
}

TEST_F(RendererTest, WindowTargetFollowsTheDrawable) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(renderer->window, &w, &h);
    KuPoint size = renderer->getRenderTargetSize();
    EXPECT_EQ(size.x, static_cast<float>(w));
    EXPECT_EQ(size.y, static_cast<float>(h));
    EXPECT_EQ(RvRenderTargetGetPointScale(renderer->windowTarget), 1.0f);

    // A forced size wins at scale 1; zero follows the window again.
    renderer->forcedWidth = 20;
    renderer->forcedHeight = 10;
    EXPECT_TRUE(renderer->updateTargetSize());
    EXPECT_EQ(renderer->getRenderTargetSize().x, 20.0f);
    EXPECT_EQ(renderer->getRenderTargetSize().y, 10.0f);
    EXPECT_FALSE(renderer->updateTargetSize()) << "nothing changed";
    renderer->forcedWidth = renderer->forcedHeight = 0;
    EXPECT_TRUE(renderer->updateTargetSize());
    EXPECT_EQ(renderer->getRenderTargetSize().x, static_cast<float>(w));
}

TEST_F(RendererTest, PassIntoTextureSetsViewportScissorAndSize) {
    KuGraphicsTexture* target = newTargetTexture(100, 50);
    KuPoint inside{}, after{};
    KuViewportRect viewport, scissor;
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
        inside = renderer->getRenderTargetSize();
        viewport = renderer->viewport();
        scissor = renderer->scissorRect();
    }));
    EXPECT_EQ(inside.x, 100.0f);
    EXPECT_EQ(inside.y, 50.0f);
    EXPECT_EQ(viewport.width, 100);
    EXPECT_EQ(viewport.height, 50);
    EXPECT_EQ(scissor.width, 100);
    EXPECT_EQ(scissor.height, 50);
    after = renderer->getRenderTargetSize();
    EXPECT_EQ(after.x, static_cast<float>(kWindowWidth)) << "after endPass the window's size again";
    EXPECT_EQ(renderer->passTexture, nullptr);
    KuRelease(target);
}

TEST_F(RendererTest, ViewportAndScissorLimitWhereAFullScreenQuadLands) {
    KuGraphicsTexture* target = newTargetTexture(32, 32);
    auto* quad = new KuGraphicsDrawable;
    quad->initWithShader(solidShaderProgram->shader, kKuMeshTriangleStrip);
    quad->writeUnitSquare(false);
    quad->setShaderMatrix("modelViewProj", KuMatrixIdentity());
    quad->setShaderColor("color", KuColor{0, 1, 0, 1});
    auto drawQuad = [&] {
        quad->update();
        quad->draw();
    };
    const Pixel green = rgba(0, 255, 0, 255);
    struct Row {
        const char* what;
        std::function<void()> state;
        int expectedCount;
        int insideX, insideY, outsideX, outsideY;
    } rows[] = {
        {"whole target", [] {}, 32 * 32, 0, 0, -1, -1},
        {"viewport",
         [&] {
             renderer->setViewport({8, 4, 16, 8});
         },
         16 * 8, 8, 4, 7, 4},
        {"scissor",
         [&] {
             renderer->setScissor(true, {0, 0, 10, 6});
         },
         10 * 6, 9, 5, 10, 5},
        {"scissor turned off again",
         [&] {
             renderer->setScissor(true, {0, 0, 10, 6});
             renderer->setScissor(false);
         },
         32 * 32, 31, 31, -1, -1},
        {"scissor inside viewport",
         [&] {
             renderer->setViewport({0, 0, 16, 16});
             renderer->setScissor(true, {4, 4, 4, 4});
         },
         16, 4, 4, 8, 4},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
            r.state();
            drawQuad();
        }));
        EXPECT_EQ(countPixels(target, green), r.expectedCount) << r.what;
        EXPECT_EQ(pixelOf(target, r.insideX, r.insideY), green) << r.what;
        if (r.outsideX >= 0) {
            EXPECT_EQ(pixelOf(target, r.outsideX, r.outsideY), rgba(0, 0, 0, 255)) << r.what;
        }
    }
    KuRelease(quad);
    KuRelease(target);
}

TEST_F(RendererTest, PassWithoutColourKeepsWhatWasDrawnBefore) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    ASSERT_TRUE(drawFrameInto(target, KuColor{1, 0, 0, 1}, nullptr));
    EXPECT_EQ(pixelOf(target, 2, 2), rgba(255, 0, 0, 255));
    KuGraphicsRenderer* r = renderer;
    float depth = 1.0f;
    int stencil = 0;
    ASSERT_TRUE(r->runSyncedToDisplay([&] {
        ASSERT_TRUE(r->beginFrame());
        ASSERT_TRUE(r->beginPass(target, nullptr, &depth, &stencil));
        r->endPass();
        r->endFrame();
    }));
    target->readPixelsFromGPU();
    EXPECT_EQ(pixelOf(target, 2, 2), rgba(255, 0, 0, 255)) << "depth and stencil only: colour untouched";
    KuRelease(target);
}

TEST_F(RendererTest, PassIntoATextureThatCannotBeDrawnIntoFails) {
    auto* plain = new KuGraphicsTexture;
    ASSERT_TRUE(plain->createWithColor(KuColor{1, 1, 1, 1}));
    KuColor c{0, 0, 0, 1};
    bool began = true;
    ASSERT_TRUE(renderer->runSyncedToDisplay([&] {
        ASSERT_TRUE(renderer->beginFrame());
        began = renderer->beginPass(plain, &c, nullptr, nullptr);
        renderer->endFrame();
    }));
    EXPECT_FALSE(began);
    EXPECT_EQ(renderer->passTexture, nullptr);
    KuRelease(plain);
}

// The window's default framebuffer, read on the renderer's context before anything else draws.
Pixel windowPixel(KuGraphicsRenderer* r, int x, int y) {
    uint8_t p[4] = {};
    RvOpenGLRendererLock(r->renderer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    RvOpenGLRendererUnlock(r->renderer);
    return rgba(p[0], p[1], p[2], p[3]);
}

TEST_F(RendererTest, WindowPassReachesTheDefaultFramebufferAndIsPresented) {
    int presents = renderer->surface->presentCount();
    uint32_t recorded = KuGraphics::SharedObject()->statistics.framesRecorded;
    auto* quad = newQuad(solidShaderProgram, 0, 0, 16, 16);
    quad->setShaderColor("color", KuColor{1, 1, 0, 1});
    ASSERT_TRUE(drawFrameInto(nullptr, KuColor{0, 0, 1, 1}, [&] { drawProjected(quad); }));
    EXPECT_EQ(renderer->surface->presentCount(), presents + 1);
    EXPECT_FALSE(renderer->surface->isWaitingToRender());
    EXPECT_EQ(windowPixel(renderer, 40, 30), rgba(0, 0, 255, 255));
    EXPECT_EQ(windowPixel(renderer, 8, 8), rgba(255, 255, 0, 255));
    EXPECT_EQ(KuGraphics::SharedObject()->statistics.framesRecorded, recorded + 1);

    // A blank outside a game frame (start-up) is shown at once.
    renderer->videoBlank(KuColor{1, 0, 0, 1});
    EXPECT_EQ(renderer->surface->presentCount(), presents + 2);
    EXPECT_EQ(windowPixel(renderer, 40, 30), rgba(255, 0, 0, 255));
    EXPECT_EQ(windowPixel(renderer, 8, 8), rgba(255, 0, 0, 255));
    KuRelease(quad);
}

TEST_F(RendererTest, ResizeWithNothingReadyShowsTransparentBlack) {
    ASSERT_TRUE(drawFrameInto(nullptr, KuColor{0, 0, 1, 1}, nullptr));
    EXPECT_EQ(windowPixel(renderer, 10, 10), rgba(0, 0, 255, 255));
    KuGraphicsSurface* surface = renderer->surface;
    int presents = surface->presentCount();
    // A draw with nothing ready and no resize leaves the window alone.
    surface->draw();
    EXPECT_EQ(surface->presentCount(), presents);
    renderer->forcedWidth = 32;
    renderer->forcedHeight = 24;
    ASSERT_TRUE(renderer->updateTargetSize());
    EXPECT_TRUE(surface->needsClearContext.load());
    surface->draw();
    EXPECT_EQ(surface->presentCount(), presents + 1);
    EXPECT_EQ(windowPixel(renderer, 10, 10), rgba(0, 0, 0, 0));
    EXPECT_EQ(windowPixel(renderer, 60, 44), rgba(0, 0, 0, 0)) << "the whole drawable, not the forced size";
    renderer->forcedWidth = renderer->forcedHeight = 0;
    renderer->updateTargetSize();
    // The next game frame ends the need to clear.
    ASSERT_TRUE(drawFrameInto(nullptr, KuColor{0, 1, 0, 1}, nullptr));
    EXPECT_FALSE(surface->needsClearContext.load());
    EXPECT_EQ(windowPixel(renderer, 60, 44), rgba(0, 255, 0, 255));
}

TEST_F(RendererTest, AsynchronousSurfaceSkipsTheStepWhileAFrameWaits) {
    renderer->setSynchronousPresentation(false);
    KuGraphicsSurface* surface = renderer->surface;
    ASSERT_FALSE(surface->isSynchronous());
    surface->setPresentationPaused(true);
    int steps = 0;
    auto step = [&] {
        steps++;
        ASSERT_TRUE(renderer->beginFrame());
        ASSERT_TRUE(renderer->beginPass(KuColor{0, 1, 0, 1}));
        renderer->endPass();
        renderer->endFrame();
    };
    int presents = surface->presentCount();
    EXPECT_TRUE(renderer->runSyncedToDisplay(step));
    EXPECT_TRUE(surface->isWaitingToRender());
    for (int turn = 0; turn < 3; turn++)
        EXPECT_FALSE(renderer->runSyncedToDisplay(step)) << "turn " << turn;
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(surface->presentCount(), presents);

    surface->setPresentationPaused(false);
    ASSERT_TRUE(surface->waitForPresentation(2000));
    EXPECT_EQ(surface->presentCount(), presents + 1);
    EXPECT_TRUE(renderer->runSyncedToDisplay(step));
    EXPECT_EQ(steps, 2);
    ASSERT_TRUE(surface->waitForPresentation(2000));
    EXPECT_EQ(surface->presentCount(), presents + 2);
    EXPECT_EQ(renderingFailures(), 0);
    EXPECT_EQ(KuGraphics::SharedObject()->statistics.framesDropped, 0u);
    renderer->setSynchronousPresentation(true);
}

TEST_F(RendererTest, HundredDisplayRequestsWithoutADrawReportARenderingFailureOnce) {
    KuGraphicsSurface* surface = renderer->surface;
    for (int i = 0; i < 100; i++)
        surface->canDraw();
    EXPECT_FALSE(surface->checkPresentation()) << "a hundred requests are still fine";
    surface->canDraw();  // the count was exactly 100
    renderer->runSyncedToDisplay(nullptr);
    EXPECT_EQ(renderingFailures(), 1);
    renderer->runSyncedToDisplay(nullptr);
    EXPECT_EQ(renderingFailures(), 1) << "reported once";
    EXPECT_EQ(surface->droppedFrameCount(), 0) << "the synchronous draw reset the count";
}

TEST_F(RendererTest, StalledPresentationIsNoticedByTheMainThread) {
    renderer->setSynchronousPresentation(false);
    KuGraphicsSurface* surface = renderer->surface;
    surface->setPresentationPaused(true);
    ASSERT_TRUE(renderer->runSyncedToDisplay([&] {
        renderer->beginFrame();
        renderer->endFrame();
    }));
    // A hundred display periods (1/60 s each) pass without a draw.
    Uint32 start = SDL_GetTicks();
    while (renderingFailures() == 0 && SDL_GetTicks() - start < 4000)
        renderer->runSyncedToDisplay(nullptr);
    EXPECT_EQ(renderingFailures(), 1);
    EXPECT_GE(SDL_GetTicks() - start, 1600u);
    for (int i = 0; i < 20; i++)
        renderer->runSyncedToDisplay(nullptr);
    EXPECT_EQ(renderingFailures(), 1) << "reported once per stall";
    surface->setPresentationPaused(false);
    EXPECT_TRUE(surface->waitForPresentation(2000));
    renderer->setSynchronousPresentation(true);
}

}  // namespace
