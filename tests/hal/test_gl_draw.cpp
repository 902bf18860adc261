// Drawing through the OpenGL back end on a real headless context, checked pixel by pixel.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "HalTestSupport.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};

class DrawTest : public GLTest {};

TEST_F(DrawTest, ClearFillsTheWholeTextureTarget) {
    TextureTarget tt(device, 8, 6);
    KuColor clear{51 / 255.0f, 1.0f, 204 / 255.0f, 1.0f};
    drawFrame(renderer, tt.target, clear, nullptr);
    for (Pixel p :
         {pixelAt(renderer, tt.texture, 0, 0), storedPixel(tt.texture, 7, 5), storedPixel(tt.texture, 3, 2)})
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
        {1, 1, rgba(255, 0, 0, 255)}, {12, 2, rgba(255, 0, 0, 255)}, {2, 12, rgba(255, 0, 0, 255)},
        {14, 14, rgba(0, 0, 0, 255)}, {9, 9, rgba(0, 0, 0, 255)},    {15, 1, rgba(0, 0, 0, 255)},
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

// A texture of `width` × `height` RGBA pixels given row by row from the top, sampled per `options`.
RvTexture* newPixelTexture(RvGraphicsDevice* device, int width, int height,
                           const std::vector<uint8_t>& pixels, uint32_t options,
                           int accessMode = kRvAccessDynamic) {
    RvTexture* texture = RvNewTexture(device, accessMode);
    RvBitmap bitmap;
    bitmap.pixelType = kRvPixelRGBA8;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bytesPerRow = width * 4;
    RvResourceLock lock(texture, kRvLockWrite);
    EXPECT_EQ(RvTextureSetLayoutFromBitmap(texture, bitmap, options), kRvTextureDone);
    EXPECT_EQ(RvTextureSetPixelsFromBitmap(texture, 0, bitmap, pixels.data()), kRvTextureDone);
    return texture;
}

void setTexture(RvMeshInstance* instance, const char* name, RvTexture* texture) {
    RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), name, texture);
}

bool near(const Pixel& a, const Pixel& b, int tolerance) {
    for (int i = 0; i < 4; i++)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

TEST_F(DrawTest, TexturedQuadSamplesNearestOrLinearAsItsOptionsSay) {
    // One red and one blue texel stretched over 8 × 4 pixels.
    std::vector<uint8_t> texels = {255, 0, 0, 255, 0, 0, 255, 255};
    struct Row {
        const char* name;
        uint32_t options;
        Pixel expected[8];
        int tolerance;
    } rows[] = {
        {"nearest",
         0,
         {rgba(255, 0, 0, 255), rgba(255, 0, 0, 255), rgba(255, 0, 0, 255), rgba(255, 0, 0, 255),
          rgba(0, 0, 255, 255), rgba(0, 0, 255, 255), rgba(0, 0, 255, 255), rgba(0, 0, 255, 255)},
         0},
        // Pixel centres at u = (x + 0.5) / 8 meet texel centres at 0.25 and 0.75; the edges clamp.
        {"linear",
         kRvTextureLinearMin | kRvTextureLinearMag,
         {rgba(255, 0, 0, 255), rgba(255, 0, 0, 255), rgba(223, 0, 32, 255), rgba(159, 0, 96, 255),
          rgba(96, 0, 159, 255), rgba(32, 0, 223, 255), rgba(0, 0, 255, 255), rgba(0, 0, 255, 255)},
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TextureTarget tt(device, 8, 4);
        RvTexture* texture = newPixelTexture(device, 2, 1, texels, row.options);
        RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
        RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 8, 4);
        RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
        setTexture(instance, "colorMap", texture);
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
        RvRendererReadPixels(renderer, tt.texture);
        for (int x = 0; x < 8; x++) {
            for (int y : {0, 3}) {
                Pixel got = storedPixel(tt.texture, x, y);
                EXPECT_TRUE(near(got, row.expected[x], row.tolerance))
                    << "x " << x << " y " << y << ": " << describe(got) << " expected "
                    << describe(row.expected[x]);
            }
        }
        KuRelease(instance);
        KuRelease(mesh);
        KuRelease(shader);
        KuRelease(texture);
    }
    EXPECT_EQ(glErrorOf(renderer), 0u);
}

TEST_F(DrawTest, BlendModesCombineSourceAndDestinationByTheirEquations) {
    const float d[4] = {51 / 255.0f, 102 / 255.0f, 153 / 255.0f, 1.0f};  // cleared destination
    const float s[4] = {0.8f, 0.2f, 0.4f, 0.6f};                         // drawn colour
    auto clamp = [](float v) { return v < 0 ? 0.0f : v > 1 ? 1.0f : v; };
    struct Row {
        const char* name;
        int mode;
        float (*blend)(float s, float d, float sa);
    } rows[] = {
        {"Opaque", kRvBlendOpaque, [](float s, float, float) { return s; }},
        {"Alpha", kRvBlendAlpha, [](float s, float d, float sa) { return s * sa + d * (1 - sa); }},
        {"Add", kRvBlendAdd, [](float s, float d, float sa) { return s * sa + d; }},
        {"Multiply", kRvBlendMultiply, [](float s, float d, float) { return s * d; }},
        {"Subtract", kRvBlendSubtract, [](float s, float d, float sa) { return d - s * sa; }},
        {"PremultipliedAlpha", kRvBlendPremultipliedAlpha,
         [](float s, float d, float sa) { return s + d * (1 - sa); }},
        {"PremultipliedAdd", kRvBlendPremultipliedAdd, [](float s, float d, float) { return s + d; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TextureTarget tt(device, 4, 4);
        RvShader* shader = newSolidShader(device, row.mode);
        RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
        RvMeshInstance* instance = newInstance(mesh, KuColor{s[0], s[1], s[2], s[3]});
        drawFrame(renderer, tt.target, KuColor{d[0], d[1], d[2], d[3]},
                  [&] { RvRenderInstanceDraw(instance, renderer); });
        Pixel expected;
        for (int i = 0; i < 4; i++)
            expected[i] = static_cast<int>(std::lround(clamp(row.blend(s[i], d[i], s[3])) * 255));
        Pixel got = pixelAt(renderer, tt.texture, 1, 2);
        EXPECT_TRUE(near(got, expected, 1)) << describe(got) << " expected " << describe(expected);
        KuRelease(instance);
        KuRelease(mesh);
        KuRelease(shader);
    }
}

TEST_F(DrawTest, ScissorKeepsDrawingInsideItsRectangle) {
    TextureTarget tt(device, 8, 8);
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 8, 8);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 0, 0, 1});
    drawFrame(renderer, tt.target, kBlack, [&] {
        RvRendererSetScissor(renderer, true, RvRect{2, 3, 4, 2});
        RvRenderInstanceDraw(instance, renderer);
    });
    RvRendererReadPixels(renderer, tt.texture);
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 8; x++) {
            bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
            EXPECT_EQ(storedPixel(tt.texture, x, y), inside ? rgba(255, 0, 0, 255) : rgba(0, 0, 0, 255))
                << x << ", " << y;
        }
    }
    KuRelease(instance);
    KuRelease(mesh);
    KuRelease(shader);
}

TEST_F(DrawTest, RenderedTextureIsSampledUprightByASecondPass) {
    TextureTarget first(device, 8, 8), second(device, 8, 8);
    RvShader* solid = newSolidShader(device, kRvBlendOpaque);
    RvShader* textured = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* bottomHalf = newQuadMesh(device, solid, 0, 0, 8, 4);
    // The layer's image box says where the image's top and bottom rows are in the texture.
    RvTexCoordBox box = RvTextureGetCoordsForImage(first.texture);
    EXPECT_TRUE(RvTextureGetFlipVertically(first.texture));
    RvMesh* whole = newQuadMesh(device, textured, 0, 0, 8, 8, box.u0, box.v1, box.u1, box.v0);
    RvMeshInstance* red = newInstance(bottomHalf, KuColor{1, 0, 0, 1});
    RvMeshInstance* copy = newInstance(whole, KuColor{1, 1, 1, 1});
    setTexture(copy, "colorMap", first.texture);

    ASSERT_TRUE(RvRendererBeginFrame(renderer, second.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, first.target, kRvClearColor, KuColor{0, 1, 0, 1}, 0, 1));
    RvRendererSetCamera(renderer, first.target);
    RvRenderInstanceDraw(red, renderer);
    RvRendererEndPass(renderer);
    ASSERT_TRUE(RvRendererBeginPass(renderer, second.target, kRvClearColor, kBlack, 0, 1));
    RvRendererSetCamera(renderer, second.target);
    RvRenderInstanceDraw(copy, renderer);
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));

    RvRendererReadPixels(renderer, second.texture);
    for (int x : {0, 7}) {
        EXPECT_EQ(storedPixel(second.texture, x, 0), rgba(255, 0, 0, 255));
        EXPECT_EQ(storedPixel(second.texture, x, 3), rgba(255, 0, 0, 255));
        EXPECT_EQ(storedPixel(second.texture, x, 4), rgba(0, 255, 0, 255));
        EXPECT_EQ(storedPixel(second.texture, x, 7), rgba(0, 255, 0, 255));
    }
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{red, copy, bottomHalf, whole, solid, textured})
        KuRelease(o);
}

TEST_F(DrawTest, TextureEditedAfterFirstUseIsRebuiltOnceForTheNextFrame) {
    TextureTarget tt(device, 4, 4);
    std::vector<uint8_t> red(2 * 2 * 4), green(2 * 2 * 4);
    for (size_t i = 0; i < red.size(); i += 4) {
        red[i] = 255;
        red[i + 3] = 255;
        green[i + 1] = 255;
        green[i + 3] = 255;
    }
    RvTexture* texture = newPixelTexture(device, 2, 2, red, 0);
    RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    setTexture(instance, "colorMap", texture);
    auto frame = [&] {
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    };

    frame();
    EXPECT_EQ(pixelAt(renderer, tt.texture, 2, 2), rgba(255, 0, 0, 255));
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(texture), 1u);
    frame();
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(texture), 1u) << "an unchanged texture is not rebuilt";

    {
        RvResourceLock lock(texture, kRvLockWrite);
        RvBitmap bitmap{kRvPixelRGBA8, 2, 2, 8, false, false};
        ASSERT_EQ(RvTextureSetPixelsFromBitmap(texture, 0, bitmap, green.data()), kRvTextureDone);
    }
    frame();
    EXPECT_EQ(pixelAt(renderer, tt.texture, 2, 2), rgba(0, 255, 0, 255));
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(texture), 2u);
    frame();
    frame();
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(texture), 2u);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(0, 255, 0, 255));
    KuRelease(instance);
    KuRelease(mesh);
    KuRelease(shader);
    KuRelease(texture);
}

TEST_F(DrawTest, InvalidatedResourcesAreAllRebuiltAndStillDraw) {
    TextureTarget tt(device, 4, 4);
    std::vector<uint8_t> blue = {0, 0, 255, 255};
    RvTexture* texture = newPixelTexture(device, 1, 1, blue, 0);
    RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* strip = newQuadMesh(device, shader, 0, 0, 4, 4);
    // The same quad drawn as indexed triangles.
    RvIndexBuffer* ib = RvNewIndexBuffer(device, kRvAccessDynamic);
    {
        RvResourceLock lock(ib, kRvLockWrite);
        uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
        RvData* data = RvNewData(indices, sizeof indices);
        RvIndexBufferSetData(ib, kRvIndex16, 0, data);
        KuRelease(data);
    }
    RvMesh* mesh = RvNewMesh(device, 4, RvMeshGetVertexBuffer(strip), ib, shader);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    setTexture(instance, "colorMap", texture);
    auto frame = [&] {
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    };
    frame();
    ASSERT_EQ(pixelAt(renderer, tt.texture, 3, 3), rgba(0, 0, 255, 255));

    RvGraphicsResource* resources[] = {texture, shader, RvMeshGetVertexBuffer(mesh), ib, tt.target};
    const char* names[] = {"texture", "shader", "vertex buffer", "index buffer", "target"};
    uint32_t before[5];
    for (int i = 0; i < 5; i++)
        before[i] = RvGraphicsResourceGetBuildCount(resources[i]);
    uint32_t shaderBuild = RvShaderGetBuildNumber(shader);
    frame();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(RvGraphicsResourceGetBuildCount(resources[i]), before[i]) << names[i];

    RvGraphicsDeviceInvalidateResources(device);
    frame();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(RvGraphicsResourceGetBuildCount(resources[i]), before[i] + 1) << names[i];
    EXPECT_NE(RvShaderGetBuildNumber(shader), shaderBuild);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 3, 3), rgba(0, 0, 255, 255));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(0, 0, 255, 255));
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, ib, strip, shader, texture})
        KuRelease(o);
}

// A mesh keeps the vertex array it was bound with only while its buffer and the renderer's
// caches stay as they were; a frame meeting several new meshes builds them all before drawing.
TEST_F(DrawTest, MeshesFollowTheirBuffersAcrossFramesAndCacheInvalidation) {
    TextureTarget tt(device, 8, 8);
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 8);  // the left half
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 0, 0, 1});
    RvVertexBuffer* vb = RvMeshGetVertexBuffer(mesh);
    auto setPositions = [&](int vertices, std::vector<float> corners) {
        RvResourceLock lock(vb, kRvLockWrite);
        if (RvVertexBufferGetVertexCount(vb) != vertices) {
            RvVertexBufferSetStreams(vb, 1, vertices);
            RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, nullptr);
        }
        memcpy(RvVertexBufferGetMutableStreamDataPtr(vb, 0), corners.data(), corners.size() * sizeof(float));
    };
    const Pixel red = rgba(255, 0, 0, 255), black = rgba(0, 0, 0, 255);
    struct Row {
        const char* name;
        std::function<void()> change;
        Pixel left, right;
    } rows[] = {
        {"first frame", [] {}, red, black},
        {"unchanged", [] {}, red, black},
        {"data rewritten in place",
         [&] {
             setPositions(4, {4, 0, 8, 0, 4, 8, 8, 8});
         },
         black, red},
        {"layout remade (one triangle over the whole target)",
         [&] {
             setPositions(3, {0, 0, 16, 0, 0, 16});
         },
         red, red},
        {"renderer caches invalidated", [&] { RvRendererInvalidateCaches(renderer); }, red, red},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.change();
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
        RvRendererReadPixels(renderer, tt.texture);
        for (int y : {1, 6}) {
            EXPECT_EQ(storedPixel(tt.texture, 1, y), row.left) << "left at y " << y;
            EXPECT_EQ(storedPixel(tt.texture, 6, y), row.right) << "right at y " << y;
        }
        EXPECT_EQ(glErrorOf(renderer), 0u);
    }

    // Two meshes the renderer has not met, drawn over the known one in one frame.
    RvMesh* left = newQuadMesh(device, shader, 0, 0, 4, 8);
    RvMesh* right = newQuadMesh(device, shader, 4, 0, 8, 8);
    RvMeshInstance* green = newInstance(left, KuColor{0, 1, 0, 1});
    RvMeshInstance* blue = newInstance(right, KuColor{0, 0, 1, 1});
    drawFrame(renderer, tt.target, kBlack, [&] {
        for (RvMeshInstance* i : {instance, green, blue})
            RvRenderInstanceDraw(i, renderer);
    });
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 3), rgba(0, 255, 0, 255));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 6, 3), rgba(0, 0, 255, 255));
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{green, blue, left, right, instance, mesh, shader})
        KuRelease(o);
}

}  // namespace
