// Bad input and edge cases of the OpenGL back end: reported, tolerated, nothing drawn wrongly.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstring>

#include "HalTestSupport.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};

class EdgeTest : public GLTest {};

std::vector<std::string> recordNames(const RvCommandBuffer* buffer) {
    std::vector<std::string> names;
    buffer->forEach([&](const RvCommandHeader& header, const void*) {
        const char* name = RvOpenGLCommandName(header.execute);
        names.emplace_back(name ? name : "?");
    });
    return names;
}

int countOf(const std::vector<std::string>& names, const char* name) {
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

TEST_F(EdgeTest, BrokenProgramsReportTheDriverLogAndDrawNothing) {
    const char* goodVertex =
        "in vec4 position;\nvoid main() { gl_Position = vec4(position.xy, 0.0, 1.0); }\n";
    struct Row {
        const char* name;
        const char* vertex;
        const char* fragment;
        const char* report;
    } rows[] = {
        {"fragment syntax", goodVertex, "out vec4 fragColor;\nvoid main() { fragColor = vec4(1.0) }\n",
         "RvOpenGLShader: Failed to compile fragment shader"},
        {"vertex syntax", "void main() { gl_Position = nonsense; }\n",
         "out vec4 c;\nvoid main() { c = vec4(1.0); }\n", "RvOpenGLShader: Failed to compile vertex shader"},
        // A function declared but never defined compiles and fails to link.
        {"link", goodVertex, "vec4 helper();\nout vec4 c;\nvoid main() { c = helper(); }\n",
         "RvOpenGLShader: Failed to link program: "},
        {"missing source", nullptr, "out vec4 c;\nvoid main() { c = vec4(1.0); }\n",
         "RvOpenGLShader: Missing vertex shader source"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CapturedReports reports;
        TextureTarget tt(device, 4, 4);
        RvShader* shader = newShader(device, row.vertex, row.fragment, kRvBlendOpaque);
        RvMesh* mesh = newQuadMesh(device, shader, -1, -1, 1, 1);
        RvMeshInstance* instance = RvNewRenderInstance(mesh, nullptr);
        drawFrame(renderer, tt.target, KuColor{0, 0, 1, 1},
                  [&] { RvRenderInstanceDraw(instance, renderer); });
        EXPECT_TRUE(reports.contains(row.report));
        if (row.vertex) {
            // The driver's own account follows the layer's line.
            std::vector<std::string> all = reports.all();
            ASSERT_GE(all.size(), 2u);
            EXPECT_NE(all.back().find("error"), std::string::npos) << all.back();
        }
        EXPECT_EQ(pixelAt(renderer, tt.texture, 2, 2), rgba(0, 0, 255, 255));
        EXPECT_EQ(glErrorOf(renderer), 0u);
        // The failure is not retried every frame.
        reports.clear();
        drawFrame(renderer, tt.target, KuColor{0, 0, 1, 1},
                  [&] { RvRenderInstanceDraw(instance, renderer); });
        EXPECT_TRUE(reports.all().empty());
        KuRelease(instance);
        KuRelease(mesh);
        KuRelease(shader);
    }
}

TEST_F(EdgeTest, ValueForAUniformTheProgramLacksIsSkippedQuietly) {
    CapturedReports reports;
    TextureTarget tt(device, 2, 2);
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 2, 2);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    setColor(instance, "notInTheProgram", KuColor{1, 0, 0, 1});
    for (int frame = 0; frame < 3; frame++)
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    EXPECT_EQ(RvShaderGetParameter(shader, "notInTheProgram")->type.load(), kRvParameterInvalid);
    EXPECT_EQ(RvShaderGetParameter(shader, "color")->type.load(), kRvParameterConstant);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(255, 255, 255, 255));
    EXPECT_EQ(glErrorOf(renderer), 0u);
    EXPECT_TRUE(reports.all().empty());

    // Once the types are known, the skipped value is not even recorded.
    ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
    ASSERT_TRUE(RvRendererBeginPass(renderer, tt.target, 0, KuColor{}, 0, 1));
    RvRenderInstanceDraw(instance, renderer);
    EXPECT_EQ(countOf(recordNames(RvRendererGetRecordingBuffer(renderer)), "WriteConstant"),
              2);  // matrix, colour
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    RvRendererRenderFrame(renderer);
    KuRelease(instance);
    KuRelease(mesh);
    KuRelease(shader);
}

TEST_F(EdgeTest, MissingAttributesReadAsWhiteForColourAndZeroOtherwise) {
    const char* vertex = R"(
in vec4 position;
in vec4 %s;
uniform mat4 modelViewProj;
out vec4 shade;
void main() { gl_Position = modelViewProj * vec4(position.xy, 0.0, 1.0); shade = %s; }
)";
    const char* fragment = "in vec4 shade;\nout vec4 fragColor;\nvoid main() { fragColor = shade; }\n";
    char colourSource[512], otherSource[512];
    snprintf(colourSource, sizeof colourSource, vertex, "color", "color");
    snprintf(otherSource, sizeof otherSource, vertex, "weights", "weights");
    RvShader* colourShader = newShader(device, colourSource, fragment, kRvBlendOpaque);
    RvShader* otherShader = newShader(device, otherSource, fragment, kRvBlendOpaque);
    RvMesh* left = newQuadMesh(device, colourShader, 0, 0, 2, 2);
    RvMesh* right = newQuadMesh(device, otherShader, 2, 0, 4, 2);
    RvMeshInstance* a = newInstance(left, KuColor{});
    RvMeshInstance* b = newInstance(right, KuColor{});
    TextureTarget tt(device, 4, 2);
    // Both attributes sit at the same location; the constant must follow the program drawn, in
    // every frame, not only when the vertex array was made.
    for (int frame = 0; frame < 3; frame++) {
        SCOPED_TRACE(frame);
        drawFrame(renderer, tt.target, KuColor{0.2f, 0.2f, 0.2f, 0.2f}, [&] {
            RvRenderInstanceDraw(a, renderer);
            RvRenderInstanceDraw(b, renderer);
        });
        EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(255, 255, 255, 255));
        EXPECT_EQ(storedPixel(tt.texture, 3, 1), rgba(0, 0, 0, 0));
    }
    for (KuObject* o : std::initializer_list<KuObject*>{a, b, left, right, colourShader, otherShader})
        KuRelease(o);
}

TEST_F(EdgeTest, InterleavedStreamsShareOneRegionUploadedOnce) {
    struct Vertex {
        float x, y;
        uint8_t rgba[4];
        float u, v;
    };
    static_assert(sizeof(Vertex) == 20, "packed as the particles are");
    Vertex vertices[4] = {
        {0, 0, {255, 0, 102, 255}, 0, 0},
        {4, 0, {255, 0, 102, 255}, 1, 0},
        {0, 4, {255, 0, 102, 255}, 0, 1},
        {4, 4, {255, 0, 102, 255}, 1, 1},
    };
    RvData* data = RvNewDataNoCopy(vertices, sizeof vertices);
    RvVertexBuffer* vb = RvNewVertexBuffer(device, kRvAccessDynamic);
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetStreams(vb, 3, 4);
        RvVertexBufferSetInterleavedStreamData(vb, 0, "position", kRvVertexPosition2f, data, 0, 20);
        RvVertexBufferSetInterleavedStreamData(vb, 1, "vtxcolor", kRvVertexColor4ub, data, 8, 20);
        RvVertexBufferSetInterleavedStreamData(vb, 2, "texcoord", kRvVertexTexCoord2f, data, 12, 20);
    }
    const char* vertex = R"(
in vec4 position;
in vec4 vtxcolor;
uniform mat4 modelViewProj;
out vec4 shade;
void main() { gl_Position = modelViewProj * vec4(position.xy, 0.0, 1.0); shade = vtxcolor; }
)";
    RvShader* shader = newShader(device, vertex, "in vec4 shade;\nout vec4 c;\nvoid main() { c = shade; }\n",
                                 kRvBlendOpaque);
    RvMesh* mesh = RvNewMesh(device, 5, vb, nullptr, shader);
    RvMeshInstance* instance = newInstance(mesh, KuColor{});
    TextureTarget tt(device, 4, 4);
    drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    auto* glBuffer = static_cast<RvOpenGLVertexBuffer*>(vb);
    EXPECT_EQ(glBuffer->uploads, 1u);
    EXPECT_EQ(RvVertexBufferGetStreamAtIndex(vb, 1)->gpuOffset, 8);
    EXPECT_EQ(RvVertexBufferGetStreamAtIndex(vb, 2)->gpuStride, 20);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 2), rgba(255, 0, 102, 255));

    // Marking one stream changed re-uploads the shared region once, with the new bytes.
    for (Vertex& v : vertices)
        v.rgba[1] = 51;
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetNeedsUpdate(vb, 1);
        RvVertexBufferSetNeedsUpdate(vb, 2);
    }
    drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    EXPECT_EQ(glBuffer->uploads, 2u);
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 2), rgba(255, 51, 102, 255));
    for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader, vb, data})
        KuRelease(o);
}

TEST_F(EdgeTest, DepthAndStencilFormatsMakeOneAttachmentThatMasks) {
    CapturedReports reports;
    RvTexture* texture = RvNewTexture(device, kRvAccessDynamic);
    RvRenderTarget* target = RvNewRenderTarget(device);
    {
        RvResourceLock lock(target, kRvLockWrite);
        RvRenderTargetSetLayout(target, 4, 4, 1);
        RvRenderTargetSetColorFormat(target, kRvBufferFormatRGBA8, texture);
        RvRenderTargetSetDepthFormat(target, kRvBufferFormatDepth24, nullptr);
        RvRenderTargetSetStencilFormat(target, kRvBufferFormatStencil8, nullptr);
    }
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* leftHalf = newQuadMesh(device, shader, 0, 0, 2, 4);
    RvMesh* whole = newQuadMesh(device, shader, 0, 0, 4, 4);
    RvMeshInstance* mask = newInstance(leftHalf, KuColor{0, 1, 0, 1});
    RvMeshInstance* paint = newInstance(whole, KuColor{1, 0, 0, 1});
    drawFrame(renderer, target, kBlack, [&] {
        RvRendererSetStencilTest(renderer, kRvStencilWriteOne, kRvStencilWriteOne);
        RvRendererSetColorMode(renderer, kRvColorDisabled);
        RvRenderInstanceDraw(mask, renderer);
        RvRendererSetStencilTest(renderer, kRvStencilPassNotZero, kRvStencilPassNotZero);
        RvRendererSetColorMode(renderer, kRvColorEnabled);
        RvRenderInstanceDraw(paint, renderer);
    });
    auto* glTarget = static_cast<RvOpenGLRenderTarget*>(target);
    EXPECT_NE(glTarget->renderbuffers[1], 0u) << "combined depth-stencil buffer";
    EXPECT_EQ(glTarget->renderbuffers[2], 0u) << "no separate stencil buffer";
    EXPECT_FALSE(reports.contains("complete framebuffer"));
    RvRendererReadPixels(renderer, texture);
    EXPECT_EQ(storedPixel(texture, 1, 1), rgba(255, 0, 0, 255));
    EXPECT_EQ(storedPixel(texture, 3, 1), rgba(0, 0, 0, 255));
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o :
         std::initializer_list<KuObject*>{mask, paint, leftHalf, whole, shader, target, texture})
        KuRelease(o);
}

TEST_F(EdgeTest, SamplerOptionsBecomeTextureParameters) {
    struct Row {
        uint32_t options;
        GLint minify, magnify, wrapS, wrapT;
    } rows[] = {
        {kRvTextureLinearMin | kRvTextureLinearMag, GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
        {0, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
        {kRvTextureRepeatS | kRvTextureLinearMag, GL_NEAREST, GL_LINEAR, GL_REPEAT, GL_CLAMP_TO_EDGE},
        {kRvTextureRepeatT | kRvTextureLinearMin, GL_LINEAR, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_REPEAT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        RvTexture* texture = RvNewTexture(device, kRvAccessDynamic);
        {
            RvResourceLock lock(texture, kRvLockWrite);
            RvTextureSetLayout(texture, kRvPixelRGBA8, 1, 1, row.options);
            memset(RvTextureGetPixels(texture, 0), 255, 4);
        }
        RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
        RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 1, 1);
        RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
        RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), "colorMap", texture);
        TextureTarget tt(device, 1, 1);
        drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
        GLint got[4] = {};
        RvOpenGLRendererLock(renderer);
        glBindTexture(GL_TEXTURE_2D, static_cast<RvOpenGLTexture*>(texture)->name);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &got[0]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &got[1]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &got[2]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &got[3]);
        glBindTexture(GL_TEXTURE_2D, 0);
        RvOpenGLRendererUnlock(renderer);
        EXPECT_EQ(got[0], row.minify);
        EXPECT_EQ(got[1], row.magnify);
        EXPECT_EQ(got[2], row.wrapS);
        EXPECT_EQ(got[3], row.wrapT);
        EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(255, 255, 255, 255));
        for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader, texture})
            KuRelease(o);
    }
}

TEST_F(EdgeTest, ZeroSizedTargetsAndTexturesAreToleratedWithoutGLErrors) {
    CapturedReports reports;
    TextureTarget empty(device, 0, 0);
    RvTexture* blank = RvNewTexture(device, kRvAccessDynamic);
    {
        RvResourceLock lock(blank, kRvLockWrite);
        EXPECT_EQ(RvTextureSetLayout(blank, kRvPixelRGBA8, 0, 0, 0), kRvTextureDone);
        EXPECT_EQ(RvTextureGetPixels(blank, 0), nullptr);
    }
    RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), "colorMap", blank);
    drawFrame(renderer, empty.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
    EXPECT_TRUE(reports.contains("RvRenderTarget: Failed to create a complete framebuffer"));
    RvRendererReadPixels(renderer, empty.texture);
    EXPECT_FALSE(RvTextureHasStorage(empty.texture));
    // The blank texture still samples (as black) in a real target.
    TextureTarget tt(device, 2, 2);
    drawFrame(renderer, tt.target, KuColor{1, 1, 1, 1}, [&] { RvRenderInstanceDraw(instance, renderer); });
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 1)[0], 0);
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader, blank})
        KuRelease(o);
}

TEST_F(EdgeTest, SubmeshRangesAreCutToTheBuffers) {
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* quad = newQuadMesh(device, shader, 0, 0, 4, 2);
    RvIndexBuffer* ib = RvNewIndexBuffer(device, 0);
    {
        uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
        RvData* data = RvNewData(indices, sizeof indices);
        RvResourceLock lock(ib, kRvLockWrite);
        RvIndexBufferSetData(ib, kRvIndex16, 0, data);
        KuRelease(data);
    }
    RvMesh* mesh = RvNewMesh(device, 4, RvMeshGetVertexBuffer(quad), ib, shader);
    struct Row {
        const char* name;
        RvSubmesh submesh;
        int draws;
        bool rightHalfDrawn;
    } rows[] = {
        {"all indices", {4, 0, 0}, 1, true},
        {"first triangle", {4, 0, 3}, 1, false},
        {"count beyond the end", {4, 3, 100}, 1, true},
        {"first beyond the end", {4, 10, 3}, 0, false},
        {"negative first", {4, -3, 3}, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RvMeshSetSubmeshes(mesh, &row.submesh, 1);
        RvMeshInstance* instance = newInstance(mesh, KuColor{1, 0, 0, 1});
        TextureTarget tt(device, 4, 2);
        int draws = -1;
        drawFrame(renderer, tt.target, kBlack, [&] {
            RvRenderInstanceDraw(instance, renderer);
            draws = countOf(recordNames(RvRendererGetRecordingBuffer(renderer)), "DrawElements");
        });
        EXPECT_EQ(draws, row.draws);
        // Triangle (0, 1, 2) covers the lower-left corner; (2, 1, 3) the upper right.
        EXPECT_EQ(pixelAt(renderer, tt.texture, 3, 1) == rgba(255, 0, 0, 255), row.rightHalfDrawn);
        EXPECT_EQ(glErrorOf(renderer), 0u);
        KuRelease(instance);
    }
    // A mesh without vertices records nothing at all.
    RvVertexBuffer* none = RvNewVertexBuffer(device, 0);
    RvMesh* empty = RvNewMesh(device, 4, none, nullptr, shader);
    RvMeshInstance* emptyInstance = newInstance(empty, KuColor{1, 1, 1, 1});
    TextureTarget tt(device, 2, 2);
    drawFrame(renderer, tt.target, kBlack, [&] {
        int before = RvRendererGetRecordingBuffer(renderer)->recordCount();
        RvRenderInstanceDraw(emptyInstance, renderer);
        EXPECT_EQ(RvRendererGetRecordingBuffer(renderer)->recordCount(), before);
    });
    for (KuObject* o : std::initializer_list<KuObject*>{emptyInstance, empty, none, mesh, ib, quad, shader})
        KuRelease(o);
}

TEST_F(EdgeTest, PrototypeMeshIsNotDrawnAndNullsAreTolerated) {
    CapturedReports reports;
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* quad = newQuadMesh(device, shader, 0, 0, 2, 2);
    RvMesh* prototype = RvNewMeshPrototype(device, 5, RvMeshGetVertexBuffer(quad), nullptr);
    RvMeshInstance* instance = RvNewRenderInstance(prototype, nullptr);
    TextureTarget tt(device, 2, 2);
    drawFrame(renderer, tt.target, kBlack, [&] {
        int before = RvRendererGetRecordingBuffer(renderer)->recordCount();
        RvRenderInstanceDraw(instance, renderer);
        RvRenderInstanceDraw(nullptr, renderer);
        RvOpenGLMeshDraw(nullptr, renderer, ~0u);
        RvOpenGLTextureBind(nullptr, renderer, nullptr);
        RvOpenGLShaderParameterWriteConstant(nullptr, renderer, nullptr, kRvEncodingVec4, 1);
        RvRendererReadPixels(renderer, nullptr);
        EXPECT_EQ(RvRendererGetRecordingBuffer(renderer)->recordCount(), before);
    });
    EXPECT_TRUE(reports.contains("RvMesh: Trying to bind a mesh prototype."));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 0, 0), rgba(0, 0, 0, 255));
    // The prototype with a shader is drawable, sharing the prototype's buffers.
    RvMesh* made = RvNewMeshWithPrototype(prototype, shader);
    RvMeshInstance* drawable = newInstance(made, KuColor{0, 1, 0, 1});
    drawFrame(renderer, tt.target, kBlack, [&] { RvRenderInstanceDraw(drawable, renderer); });
    EXPECT_EQ(pixelAt(renderer, tt.texture, 1, 1), rgba(0, 255, 0, 255));
    for (KuObject* o : std::initializer_list<KuObject*>{drawable, made, instance, prototype, quad, shader})
        KuRelease(o);
}

TEST_F(EdgeTest, FinalisedObjectsAreDeletedByTheRendererThatUsedThem) {
    // Everything of a first drawing is let go while the renderer still caches its vertex array;
    // the GPU objects must go in the renderer's context, after that array, not from another context.
    {
        TextureTarget first(device, 4, 4);
        RvShader* shader = newSolidShader(device, kRvBlendOpaque);
        RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
        RvMeshInstance* instance = newInstance(mesh, KuColor{1, 0, 0, 1});
        drawFrame(renderer, first.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
        ASSERT_EQ(pixelAt(renderer, first.texture, 1, 1), rgba(255, 0, 0, 255));
        for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader})
            KuRelease(o);
    }
    TextureTarget second(device, 4, 4);
    std::vector<uint8_t> green = {0, 255, 0, 255};
    RvTexture* texture = RvNewTexture(device, kRvAccessDynamic);
    {
        RvResourceLock lock(texture, kRvLockWrite);
        RvBitmap bitmap{kRvPixelRGBA8, 1, 1, 4, false, false};
        RvTextureSetLayoutFromBitmap(texture, bitmap, 0);
        RvTextureSetPixelsFromBitmap(texture, 0, bitmap, green.data());
    }
    RvShader* shader = newTexturedShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 4, 4);
    RvMeshInstance* instance = newInstance(mesh, KuColor{1, 1, 1, 1});
    RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), "colorMap", texture);
    for (int frame = 0; frame < 3; frame++) {
        drawFrame(renderer, second.target, kBlack, [&] { RvRenderInstanceDraw(instance, renderer); });
        EXPECT_EQ(pixelAt(renderer, second.texture, 2, 2), rgba(0, 255, 0, 255)) << frame;
    }
    EXPECT_EQ(glErrorOf(renderer), 0u);
    for (KuObject* o : std::initializer_list<KuObject*>{instance, mesh, shader, texture})
        KuRelease(o);
}

TEST_F(EdgeTest, ANewContextRebuildsWhatIsNotShared) {
    RvRenderer* own = RvNewRenderer(device, kRvOpenGLRendererOptions, nullptr);
    ASSERT_NE(own, nullptr);
    TextureTarget tt(device, 2, 2);
    RvShader* shader = newSolidShader(device, kRvBlendOpaque);
    RvMesh* mesh = newQuadMesh(device, shader, 0, 0, 2, 2);
    RvMeshInstance* instance = newInstance(mesh, KuColor{0, 1, 0, 1});
    drawFrame(own, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, own); });
    ASSERT_EQ(pixelAt(own, tt.texture, 0, 0), rgba(0, 255, 0, 255));
    uint32_t framebufferBuilds = RvGraphicsResourceGetBuildCount(tt.target);

    RvOpenGLPixelFormat format;
    std::string error;
    ASSERT_TRUE(RvOpenGLRendererCreatePixelFormat(device, 1, 0, 0, 0, &format, &error));
    RvOpenGLPixelFormatApply(format);
    SDL_Window* window = SDL_CreateWindow("second", 0, 0, 8, 8, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(RvOpenGLRendererCreateOpenGLContext(own, format, window, &error), nullptr) << error;
    setColor(instance, "color", KuColor{1, 0, 1, 1});
    drawFrame(own, tt.target, kBlack, [&] { RvRenderInstanceDraw(instance, own); });
    EXPECT_EQ(pixelAt(own, tt.texture, 1, 1), rgba(255, 0, 255, 255));
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(tt.target), framebufferBuilds + 1)
        << "its framebuffer is made anew";
    EXPECT_EQ(glErrorOf(own), 0u);
    EXPECT_EQ(RvOpenGLRendererCreateOpenGLContext(own, format, nullptr, &error), nullptr);
    EXPECT_EQ(error.rfind("CGLError ", 0), 0u) << error;
    KuRelease(instance);
    KuRelease(mesh);
    KuRelease(shader);
    KuRelease(own);
    SDL_DestroyWindow(window);
}

TEST_F(EdgeTest, InformationNamesTheVersions) {
    std::string plain = RvGetOpenGLInformation(device, false);
    std::string full = RvGetOpenGLInformation(device, true);
    EXPECT_EQ(plain.rfind("OpenGL Version: ", 0), 0u) << plain;
    EXPECT_NE(plain.find("\n  GLSL Version: "), std::string::npos);
    EXPECT_EQ(plain.find("OpenGL Extensions:"), std::string::npos);
    EXPECT_NE(full.find("OpenGL Extensions:\n    GL_"), std::string::npos);
    RvGraphicsDevice* cpuOnly = RvNewGraphicsDevice(nullptr);
    EXPECT_EQ(RvGetOpenGLInformation(cpuOnly, true), "OpenGL is not available.\n");
    EXPECT_EQ(RvNewRenderer(cpuOnly, kRvOpenGLRendererOptions, nullptr), nullptr);
    KuRelease(cpuOnly);
    EXPECT_GE(RvGraphicsMaxTextureSamplers(device), 1);
    EXPECT_LE(RvGraphicsMaxTextureSamplers(device), 16);
    EXPECT_GE(RvGraphicsMaxTextureSize(device), 1024);
}

}  // namespace
