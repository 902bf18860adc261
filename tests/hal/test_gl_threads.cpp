// Frames recorded on this thread and executed on a presenter thread, many times over, with a
// texture edited under its lock between frames while earlier frames may still be executing.
#include <SDL.h>

#include <atomic>
#include <thread>

#include "HalTestSupport.h"

namespace {

class ThreadTest : public GLTest {};

TEST_F(ThreadTest, ManyFramesRecordedHereRunOnAPresenterThread) {
    TextureTarget tt(device, 8, 8);
    RvTexture* texture = RvNewTexture(device, kRvAccessDynamic);
    RvBitmap bitmap{kRvPixelRGBA8, 1, 1, 4, false, false};
    {
        RvResourceLock lock(texture, kRvLockWrite);
        RvTextureSetLayoutFromBitmap(texture, bitmap, 0);
    }
    RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 2, 2, 6, 6);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), "colorMap", texture);
    RvRendererStatistics start;
    RvRendererGetStatistics(renderer, &start);

    std::atomic<bool> stop{false};
    std::thread presenter([&] {
        while (!stop.load())
            if (!RvRendererRenderFrame(renderer)) std::this_thread::yield();
        SDL_TLSCleanup();  // SDL keeps the thread's current-context record otherwise
    });
    const int frames = 300;
    int recorded = 0;
    for (int i = 0; i < frames; i++) {
        uint8_t texel[4] = {static_cast<uint8_t>(i % 256), static_cast<uint8_t>(255 - i % 256), 7, 255};
        {
            RvResourceLock lock(texture, kRvLockWrite);
            ASSERT_EQ(RvTextureSetPixelsFromBitmap(texture, 0, bitmap, texel), kRvTextureDone);
        }
        if (!RvRendererBeginFrame(renderer, tt.target)) continue;
        RvRendererBeginPass(renderer, tt.target, kRvClearColor, KuColor{0, 0, (i % 256) / 255.0f, 1}, 0, 1);
        RvRendererSetCamera(renderer, tt.target);
        RvRenderInstanceDraw(instance, renderer);
        RvRendererEndPass(renderer);
        RvRendererEndFrame(renderer);
        recorded++;
    }
    RvRendererWaitForLastFrame(renderer);
    stop = true;
    presenter.join();

    RvRendererStatistics end;
    RvRendererGetStatistics(renderer, &end);
    EXPECT_EQ(recorded, frames);
    EXPECT_EQ(end.framesRecorded - start.framesRecorded, static_cast<uint32_t>(frames));
    EXPECT_EQ((end.framesExecuted - start.framesExecuted) + (end.framesDropped - start.framesDropped),
              static_cast<uint32_t>(frames));
    EXPECT_GT(end.framesExecuted - start.framesExecuted, 0u);
    // The last frame ran, with the texture as it was last written.
    int last = (frames - 1) % 256;
    EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(0, 0, last, 255));
    EXPECT_EQ(storedPixel(tt.texture, 4, 4), rgba(last, 255 - last, 7, 255));
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader, texture})
        KuRelease(o);
}

}  // namespace
