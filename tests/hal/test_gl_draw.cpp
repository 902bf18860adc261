// Drawing through the OpenGL back end on a real headless context, checked pixel by pixel.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cmath>

#include "HalTestSupport.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};

class DrawTest : public GLTest {};

TEST_F(DrawTest, ClearFillsTheWholeTextureTarget) {
    TextureTarget tt(device, 8, 6);
    KuColor clear{51 / 255.0f, 1.0f, 204 / 255.0f, 1.0f};
    drawFrame(renderer, tt.target, clear, nullptr);
    for (Pixel p : {pixelAt(renderer, tt.texture, 0, 0), storedPixel(tt.texture, 7, 5), storedPixel(tt.texture, 3, 2)})
        EXPECT_EQ(p, rgba(51, 255, 204, 255)) << describe(p);
    EXPECT_EQ(RvTextureGetWidth(tt.texture), 8);
    EXPECT_EQ(RvTextureGetHeight(tt.texture), 6);
    EXPECT_EQ(glErrorOf(renderer), 0u);
}

TEST_F(DrawTest, ClearOfTheWindowTargetReachesTheDrawable) {
    RvRenderTarget* screen = RvNewRenderTarget(device);
    {
        RvResourceLock lock(screen, kRvLockWrite);
        RvRenderTargetSetLayout(screen, 64, 64, 1);
    }
    RvVideoBlank(renderer, screen, KuColor{0, 102 / 255.0f, 1, 1});
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    uint8_t pixel[4] = {};
    RvOpenGLRendererLock(renderer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(10, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    RvOpenGLRendererUnlock(renderer);
    EXPECT_EQ(rgba(pixel[0], pixel[1], pixel[2], pixel[3]), rgba(0, 102, 255, 255));
    KuRelease(screen);
}

TEST_F(DrawTest, ColouredTriangleCoversItsHalfOnly) {
    TextureTarget tt(device, 16, 16);
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    // Lower-left half of the target: (0, 0), (16, 0), (0, 16).
    RvVertexBuffer* vb = RvNewVertexBuffer(device, 0);
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetStreams(vb, 1, 3);
        auto* p = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 0));
        ASSERT_EQ(p, nullptr) << "a stream without a type has no data size";
        RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, nullptr);
        p = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 0));
        ASSERT_NE(p, nullptr);
        float corners[6] = {0, 0, 16, 0, 0, 16};
        memcpy(p, corners, sizeof corners);
    }
    RvMesh* mesh = RvNewMesh(device, 4, vb, nullptr, shader);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 0, 0, 1});
    drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    struct Row {
        int x, y;
        Pixel expected;
    } rows[] = {
        {1, 1, rgba(255, 0, 0, 255)},  {12, 2, rgba(255, 0, 0, 255)}, {2, 12, rgba(255, 0, 0, 255)},
        {14, 14, rgba(0, 0, 0, 255)},  {9, 9, rgba(0, 0, 0, 255)},    {15, 1, rgba(0, 0, 0, 255)},
    };
    RvRendererReadPixels(renderer, tt.texture);
    for (const Row& row : rows)
        EXPECT_EQ(storedPixel(tt.texture, row.x, row.y), row.expected) << "at " << row.x << ", " << row.y;
    EXPECT_EQ(glErrorOf(renderer), 0u);
    KuRelease(instance);
    KuRelease(mesh);
    KuRelease(vb);
    KuRelease(shader);
}

}  // namespace
