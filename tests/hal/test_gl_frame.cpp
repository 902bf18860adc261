// The frame protocol on the OpenGL renderer: what a frame records, the state cache, deferred
// execution with its time-out, and the camera and pass blocks.
#include <SDL.h>

#include <chrono>
#include <thread>

#include "HalTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
const KuColor kBlue{0, 0, 1, 1};

std::vector<std::string> recordNames(const RvCommandBuffer* buffer) {
    std::vector<std::string> names;
    buffer->forEach([&](const RvCommandHeader& header, const void*) {
        const char* name = RvOpenGLCommandName(header.execute);
        names.emplace_back(name ? name : "?");
    });
    return names;
}

std::vector<std::string> namesSince(const RvCommandBuffer* buffer, size_t from) {
    std::vector<std::string> all = recordNames(buffer);
    return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
}

class FrameTest : public GLTest {};

TEST_F(FrameTest, RepeatedStateCallsRecordOnlyTheFirstChange) {
    TextureTarget tt(device, 4, 4), other(device, 4, 4);
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, 0, KuColor{}, 0, 1));
    const RvCommandBuffer* recording = RvRendererGetRecordingBuffer(renderer);
    struct Row {
        const char* name;
        std::function<void()> call;
        std::vector<std::string> firstRecords;
        std::vector<std::string> repeatRecords;  // what an unchanged call still records
    } rows[] = {
        {"blend",
         [&] { RvRendererSetBlendMode(renderer, kRvBlendAlpha); },
         {"Enable", "BlendFunction", "BlendEquation"},
         {}},
        {"colour", [&] { RvRendererSetColorMode(renderer, kRvColorOnly); }, {"ColorMode"}, {}},
        {"cull",
         [&] { RvRendererSetCullMode(renderer, kRvCullBack); },
         {"Enable", "CullFace", "FrontFace"},
         {}},
        {"depth clip", [&] { RvRendererSetDepthClip(renderer, kRvDepthClamp); }, {"Enable"}, {}},
        {"depth test",
         [&] { RvRendererSetDepthTest(renderer, kRvDepthTestWrite, kRvCompareLess); },
         {"Enable", "DepthMask", "DepthFunction"},
         {}},
        {"stencil",
         [&] { RvRendererSetStencilTest(renderer, kRvStencilWriteOne, kRvStencilPassZero); },
         {"Stencil"},
         {}},
        // The scissor rectangle is not cached; its enable is.
        {"scissor",
         [&] {
             RvRendererSetScissor(renderer, true, RvRect{0, 0, 2, 2});
         },
         {"Scissor", "Enable"},
         {"Scissor"}},
        {"target", [&] { RvOpenGLRenderTargetBind(other.target, renderer); }, {"BindRenderTarget"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        size_t before = static_cast<size_t>(recording->recordCount());
        row.call();
        EXPECT_EQ(namesSince(recording, before), row.firstRecords);
        before = static_cast<size_t>(recording->recordCount());
        row.call();
        EXPECT_EQ(namesSince(recording, before), row.repeatRecords);
    }
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));

    // A new frame starts from an unknown state: the same call records again.
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, 0, KuColor{}, 0, 1));
    recording = RvRendererGetRecordingBuffer(renderer);  // the buffers were swapped at endFrame
    size_t before = static_cast<size_t>(recording->recordCount());
    RvRendererSetBlendMode(renderer, kRvBlendAlpha);
    EXPECT_EQ(namesSince(recording, before),
              (std::vector<std::string>{"Enable", "BlendFunction", "BlendEquation"}));
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    EXPECT_EQ(glErrorOf(renderer), 0u);
}

TEST_F(FrameTest, DrawingOneMeshTwiceBindsItOnce) {
    TextureTarget tt(device, 4, 4);
    RvShader* shader = newSolidShader(device, kRvBlendAlpha);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
    RvMeshInstance* first = newInstance(mesh, KuColor{1, 0, 0, 1});
    RvMeshInstance* second = newInstance(mesh, KuColor{0, 1, 0, 1});
    const RvCommandBuffer* recording = RvRendererGetRecordingBuffer(renderer);
    std::vector<std::string> firstDraw, secondDraw;
    drawFrame(renderer, tt.target, KuColor{0, 0, 0, 1}, [&] {
        size_t before = static_cast<size_t>(recording->recordCount());
        RvRenderInstanceDraw(first, renderer);
        firstDraw = namesSince(recording, before);
        before = static_cast<size_t>(recording->recordCount());
        RvRenderInstanceDraw(second, renderer);
        secondDraw = namesSince(recording, before);
    });
    // Before the first compile the parameter types are unknown, so both values are recorded.
    EXPECT_EQ(firstDraw,
              (std::vector<std::string>{"BindMesh", "Enable", "BlendFunction", "BlendEquation", "BindShader",
                                        "WriteConstant", "WriteConstant", "DrawArrays"}));
    EXPECT_EQ(secondDraw, (std::vector<std::string>{"WriteConstant", "WriteConstant", "DrawArrays"}));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 1), rgba(0, 255, 0, 255));
    KuRelease(first);
    KuRelease(second);
    KuRelease(mesh);
    KuRelease(shader);
}

TEST_F(FrameTest, SecondBeginFrameIsRefusedAndLeavesTheFrameIntact) {
    TextureTarget tt(device, 2, 2);
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, kRvClearColor, KuColor{1, 0, 1, 1}, 0, 1));
    int records = RvRendererGetRecordingBuffer(renderer)->recordCount();
    EXPECT_FALSE(RvRendererBeginFrame(renderer, tt.target));
    EXPECT_EQ(RvRendererGetRecordingBuffer(renderer)->recordCount(), records);
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 1), rgba(255, 0, 255, 255));
}

TEST_F(FrameTest, RenderFrameWithoutAReadyFrameReturnsFalse) {
    RvRendererWaitForLastFrame(renderer);
    EXPECT_FALSE(RvRendererRenderFrame(renderer));
    EXPECT_EQ(RvRendererGetFrameState(renderer), kRvFrameIdle);
    // Outside a frame nothing is recorded and passes are refused.
    EXPECT_FALSE(RvRendererBeginPass(renderer, nullptr, kRvClearColor, KuColor{}, 0, 1));
    RvRendererEndFrame(renderer);
    EXPECT_FALSE(RvRendererRenderFrame(renderer));
}

TEST_F(FrameTest, UnpresentedFrameIsDroppedAfterTheTimeOut) {
    TextureTarget a(device, 2, 2), b(device, 2, 2);
    drawFrame(renderer, a.target, kBlue, nullptr);
    drawFrame(renderer, b.target, kBlue, nullptr);
    RvRendererStatistics start;
    RvRendererGetStatistics(renderer, &start);

    ASSERT_TRUE(RvRendererBeginFrame(renderer, a.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, a.target, kRvClearColor, KuColor{1, 0, 0, 1}, 0, 1));
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    EXPECT_EQ(RvRendererGetFrameState(renderer), kRvFrameReady);

    // Nobody presents the red frame: the green one waits 200 ms, then replaces it.
    auto begun = Clock::now();
    ASSERT_TRUE(RvRendererBeginFrame(renderer, b.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, b.target, kRvClearColor, KuColor{0, 1, 0, 1}, 0, 1));
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
    EXPECT_GE(waited, 195);
    EXPECT_LT(waited, 5000);
    EXPECT_EQ(RvRendererGetFrameState(renderer), kRvFrameReady);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    EXPECT_FALSE(RvRendererRenderFrame(renderer));

    RvRendererStatistics end;
    RvRendererGetStatistics(renderer, &end);
    EXPECT_EQ(end.framesDropped - start.framesDropped, 1u);
    EXPECT_EQ(end.framesExecuted - start.framesExecuted, 1u);
    EXPECT_EQ(end.framesRecorded - start.framesRecorded, 2u);
    EXPECT_EQ(pixelAt(renderer, a.texture, 0, 0), rgba(0, 0, 255, 255)) << "the dropped frame never ran";
    EXPECT_EQ(pixelAt(renderer, b.texture, 0, 0), rgba(0, 255, 0, 255));
}

TEST_F(FrameTest, PresentingWakesAWaiterBeforeTheTimeOut) {
    TextureTarget tt(device, 2, 2);
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, kRvClearColor, KuColor{1, 1, 0, 1}, 0, 1));
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    RvRendererStatistics start;
    RvRendererGetStatistics(renderer, &start);
    std::thread presenter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        RvRendererRenderFrame(renderer);
        SDL_TLSCleanup();  // SDL keeps the thread's current-context record otherwise
    });
    auto begun = Clock::now();
    RvRendererWaitForLastFrame(renderer);
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
    presenter.join();
    RvRendererStatistics end;
    RvRendererGetStatistics(renderer, &end);
    EXPECT_EQ(end.framesExecuted - start.framesExecuted, 1u);
    EXPECT_EQ(end.framesDropped, start.framesDropped);
    EXPECT_LT(waited, 190);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 0), rgba(255, 255, 0, 255));
}

TEST_F(FrameTest, ImmediateRendererExecutesInEndFrame) {
    RvRenderer* immediate = RvNewRenderer(device, 0, nullptr);
    ASSERT_NE(immediate, nullptr);
    TextureTarget tt(device, 2, 2);
    ASSERT_TRUE(RvRendererBeginFrame(immediate, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(immediate, tt.target, kRvClearColor, KuColor{0, 1, 1, 1}, 0, 1));
    RvRendererEndPass(immediate);
    RvRendererEndFrame(immediate);
    EXPECT_FALSE(RvRendererRenderFrame(immediate));
    EXPECT_EQ(pixelAt(immediate, tt.texture, 0, 1), rgba(0, 255, 255, 255));
    KuRelease(immediate);
}

TEST_F(FrameTest, ReadPixelsRecordedInAFrameRunsWithIt) {
    TextureTarget tt(device, 3, 2);
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, kRvClearColor, KuColor{1, 0, 0, 1}, 0, 1));
    RvRendererEndPass(renderer);
    RvRendererReadPixels(renderer, tt.texture);
    EXPECT_FALSE(RvTextureHasStorage(tt.texture)) << "nothing runs before the frame does";
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    EXPECT_TRUE(RvTextureHasStorage(tt.texture));
    EXPECT_EQ(storedPixel(tt.texture, 2, 1), rgba(255, 0, 0, 255));
}

TEST_F(FrameTest, CameraAndPassBlocksFollowTheTarget) {
    RvRenderTarget* target = RvNewRenderTarget(device);
    RvRenderTargetSetLayout(target, 1280, 720, 2);
    RvRendererSetCamera(renderer, target);
    RvMatrix4 expected = RvMatrix4Ortho(0, 640, 0, 360, -65535, 65535);
    RvMatrix4 projection = RvRendererGetProjectionMatrix(renderer);
    RvMatrix4 viewProjection = RvRendererGetViewProjectionMatrix(renderer);
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(projection.m[i], expected.m[i]) << i;
        EXPECT_FLOAT_EQ(viewProjection.m[i], expected.m[i]) << i;
    }
    RvVector3 direction = RvRendererGetViewDirection(renderer);
    EXPECT_FLOAT_EQ(direction.z, -1);
    // The frustum's left plane passes through x = 0 and faces +x; the right through x = 640.
    RvVector4 planes[6];
    RvRendererGetFrustum(renderer, planes);
    EXPECT_NEAR(planes[0].x, 1, 1e-6);
    EXPECT_NEAR(planes[0].w, 0, 1e-4);
    EXPECT_NEAR(planes[1].x, -1, 1e-6);
    EXPECT_NEAR(planes[1].w, 640, 1e-2);

    TextureTarget tt(device, 8, 4);
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, 0, KuColor{}, 0, 1));
    RvVector2 pixel = RvRendererGetScreenPixelPitch(renderer), screen = RvRendererGetScreenPitch(renderer);
    EXPECT_FLOAT_EQ(pixel.x, 1 / 8.0f);
    EXPECT_FLOAT_EQ(pixel.y, 1 / 4.0f);
    EXPECT_FLOAT_EQ(screen.x, 1);
    EXPECT_FLOAT_EQ(screen.y, 0.5f);
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    RvRendererRenderFrame(renderer);
    KuRelease(target);
}

TEST_F(FrameTest, RenderIDsStepByElevenAndSkipZero) {
    RvRenderer* fresh = RvNewRenderer(device, kRvOpenGLRendererOptions, nullptr);
    ASSERT_NE(fresh, nullptr);
    std::vector<int> ids;
    for (int i = 0; i < 25; i++)
        ids.push_back(RvRendererGetNextRenderID(fresh));
    for (int i = 0; i < 23; i++)
        EXPECT_EQ(ids[static_cast<size_t>(i)], 11 * (i + 1));
    EXPECT_EQ(ids[23], 8);  // 264 mod 256
    EXPECT_EQ(ids[24], 19);
    for (int i = 0; i < 3000; i++)
        ASSERT_NE(RvRendererGetNextRenderID(fresh), 0);
    KuRelease(fresh);
}

}  // namespace
