// Drawables: quads written through the mesh writer, textured quads, shared variables, texts laid
// out as VTI structs and particles read in place, all drawn for real and read back.
#include <cstring>

#include "GraphicsTestSupport.h"
#include "RvBuffers.h"
#include "RvMesh.h"
#include "RvShader.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};

class DrawableTest : public FacadeTest {};

TEST_F(DrawableTest, ColouredQuadCoversExactlyItsBox) {
    KuGraphicsTexture* target = newTargetTexture(16, 16);
    KuGraphicsDrawable* quad = newQuad(solidShaderProgram, 4, 4, 12, 10);
    quad->setShaderColor("color", KuColor{1, 0, 0, 1});
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    struct Row {
        int x, y;
        Pixel expected;
    } rows[] = {
        {4, 4, rgba(255, 0, 0, 255)}, {11, 9, rgba(255, 0, 0, 255)}, {8, 6, rgba(255, 0, 0, 255)},
        {3, 4, rgba(0, 0, 0, 255)},   {12, 9, rgba(0, 0, 0, 255)},   {4, 10, rgba(0, 0, 0, 255)},
        {4, 3, rgba(0, 0, 0, 255)},   {0, 15, rgba(0, 0, 0, 255)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(pixelOf(target, r.x, r.y), r.expected) << "at (" << r.x << ", " << r.y << ")";
    EXPECT_EQ(countPixels(target, rgba(255, 0, 0, 255)), 8 * 6);
    KuRelease(quad);
    KuRelease(target);
}

// A 2 × 2 texture: row 0 of the pixels is v = 0, which the quad puts at the bottom.
const uint8_t kFourTexels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

TEST_F(DrawableTest, TexturedQuadShowsEachTexelInItsQuarter) {
    KuGraphicsTexture* target = newTargetTexture(16, 16);
    auto* texture = new KuGraphicsTexture;
    ASSERT_TRUE(texture->createWithRGBA8(kFourTexels, 2, 2, true));
    texture->setFilter(false, false);
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 16, 16);
    quad->setTextureSampler("colorMap", texture);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 2, 2), rgba(255, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 13, 2), rgba(0, 255, 0, 255));
    EXPECT_EQ(pixelOf(target, 2, 13), rgba(0, 0, 255, 255));
    EXPECT_EQ(pixelOf(target, 13, 13), rgba(255, 255, 255, 255));
    KuRelease(quad);
    KuRelease(texture);
    KuRelease(target);
}

TEST_F(DrawableTest, TextureChangesAfterFirstUseReachTheNextDraw) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* texture = new KuGraphicsTexture;
    const uint8_t red[4] = {255, 0, 0, 255};
    ASSERT_TRUE(texture->createWithRGBA8(red, 1, 1, true));
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 8, 8);
    quad->setTextureSampler("colorMap", texture);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 4, 4), rgba(255, 0, 0, 255));

    // Pixels rewritten in place.
    KuGraphicsTexture::PixelFormat format;
    unsigned w = 0, h = 0;
    auto* pixels = static_cast<uint8_t*>(texture->lockPixels(&format, &w, &h, true));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(format, KuGraphicsTexture::kPixelFormatRGBA8);
    const uint8_t green[4] = {0, 255, 0, 255};
    memcpy(pixels, green, 4);
    texture->unlockPixels();
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 4, 4), rgba(0, 255, 0, 255));

    // A new layout of another size, still the same texture object.
    const uint8_t blue[16] = {0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    RvTexture* before = texture->texture;
    ASSERT_TRUE(texture->createWithRGBA8(blue, 2, 2, true));
    EXPECT_NE(texture->texture, before) << "a new layer texture replaces the old one";
    quad->setTextureSampler("colorMap", texture);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 4, 4), rgba(0, 0, 255, 255));
    KuRelease(quad);
    KuRelease(texture);
    KuRelease(target);
}

TEST_F(DrawableTest, NullSamplerKeepsThePreviousTexture) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* texture = new KuGraphicsTexture;
    const uint8_t yellow[4] = {255, 255, 0, 255};
    ASSERT_TRUE(texture->createWithRGBA8(yellow, 1, 1, false));
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 8, 8);
    quad->setTextureSampler("colorMap", texture);
    quad->setTextureSampler("colorMap", nullptr);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(255, 255, 0, 255));
    KuRelease(quad);
    KuRelease(texture);
    KuRelease(target);
}

TEST_F(DrawableTest, OneColourVariableBoundToTwoDrawablesChangesBoth) {
    KuGraphicsTexture* target = newTargetTexture(16, 8);
    KuGraphicsDrawable* left = newQuad(solidShaderProgram, 0, 0, 8, 8);
    KuGraphicsDrawable* right = newQuad(solidShaderProgram, 8, 0, 16, 8);
    KuGraphicsColor shared;
    EXPECT_EQ(shared.get(), (KuColor{0, 0, 0, 0}));
    shared.bind("color", left);
    shared.bind("color", right);
    for (KuColor c : {KuColor{0, 1, 0, 1}, KuColor{1, 0, 1, 1}}) {
        shared.set(c);
        EXPECT_EQ(shared.get(), c);
        ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
            drawProjected(left);
            drawProjected(right);
        }));
        Pixel want = rgba(static_cast<int>(c.red * 255), static_cast<int>(c.green * 255),
                          static_cast<int>(c.blue * 255), 255);
        EXPECT_EQ(pixelOf(target, 2, 2), want);
        EXPECT_EQ(pixelOf(target, 13, 5), want);
    }
    // A direct value set on one drawable overrides the binding for that drawable only.
    left->setShaderColor("color", KuColor{0, 0, 1, 1});
    shared.set(KuColor{1, 1, 1, 1});
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
        drawProjected(left);
        drawProjected(right);
    }));
    EXPECT_EQ(pixelOf(target, 2, 2), rgba(0, 0, 255, 255));
    EXPECT_EQ(pixelOf(target, 13, 5), rgba(255, 255, 255, 255));
    KuRelease(left);
    KuRelease(right);
    KuRelease(target);
}

TEST_F(DrawableTest, IndexedQuadsAndWriterBounds) {
    KuGraphicsTexture* target = newTargetTexture(16, 8);
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(solidShaderProgram->shader, kKuMeshIndexed);
    // Two quads; only the second is indexed.
    KuGraphicsDrawable::MeshWriter w = d->beginIndexedQuads(2, 6);
    ASSERT_EQ(w.vertexCount, 8u);
    ASSERT_EQ(w.indexCount, 6u);
    EXPECT_EQ(w.colors, nullptr);
    const float corners[8][2] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}, {8, 0}, {16, 0}, {8, 8}, {16, 8}};
    for (unsigned i = 0; i < 8; i++)
        w.setVertex(i, corners[i][0], corners[i][1]);
    w.setVertex(8, 100, 100);  // past the end: ignored
    w.setIndex(6, 0);          // past the end: ignored
    const unsigned short second[6] = {4, 5, 6, 7, 6, 5};
    w.setIndices(second, 100);  // cut to the index count
    d->end(w);
    EXPECT_EQ(w.positions, nullptr) << "end() closes the writer";
    d->setShaderColor("color", KuColor{1, 1, 0, 1});
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(0, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 12, 3), rgba(255, 255, 0, 255));
    EXPECT_EQ(countPixels(target, rgba(255, 255, 0, 255)), 64);
    KuRelease(d);
    KuRelease(target);
}

TEST_F(DrawableTest, UnitSquareFillsClipSpaceAndFlipInvertsV) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* texture = new KuGraphicsTexture;
    const uint8_t rows[8] = {255, 0, 0, 255, 0, 0, 255, 255};  // 1 × 2: red row 0, blue row 1
    ASSERT_TRUE(texture->createWithRGBA8(rows, 1, 2, false));
    texture->setFilter(false, false);
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(textureShaderProgram->shader, kKuMeshTriangleStrip);
    d->setTextureSampler("colorMap", texture);
    d->setShaderMatrix("modelViewProj", KuMatrixIdentity());
    for (bool flip : {false, true}) {
        d->writeUnitSquare(flip);
        ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
            d->update();
            d->draw();
        }));
        // (-1, 1) carries v = 0 unflipped: row 0 at the top.
        Pixel top = flip ? rgba(0, 0, 255, 255) : rgba(255, 0, 0, 255);
        Pixel bottom = flip ? rgba(255, 0, 0, 255) : rgba(0, 0, 255, 255);
        EXPECT_EQ(pixelOf(target, 0, 7), top) << "flip " << flip;
        EXPECT_EQ(pixelOf(target, 7, 0), bottom) << "flip " << flip;
        EXPECT_EQ(countPixels(target, top), 32) << "flip " << flip;
    }
    KuRelease(d);
    KuRelease(texture);
    KuRelease(target);
}

TEST_F(DrawableTest, TextLayoutDrawsItsVertexColoursAndEmptyLayoutDrawsNothing) {
    KuGraphicsTexture* target = newTargetTexture(16, 8);
    auto* white = new KuGraphicsTexture;
    ASSERT_TRUE(white->createWithColor(KuColor{1, 1, 1, 1}));
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(textureColShaderProgram->shader, kKuMeshIndexed);
    d->setTextureSampler("colorMap", white);
    KuPoint vertices[8] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}, {8, 0}, {16, 0}, {8, 8}, {16, 8}};
    KuPoint texcoords[8] = {};
    uint16_t indices[12] = {0, 1, 2, 3, 2, 1, 4, 5, 6, 7, 6, 5};
    KuColor colors[8];
    for (int i = 0; i < 4; i++)
        colors[i] = KuColor{1, 0, 0, 1};
    for (int i = 4; i < 8; i++)
        colors[i] = KuColor{0, 0, 1, 1};
    VTIStruct vti;
    vti.count = 2;
    vti.vertices = vertices;
    vti.texcoords = texcoords;
    vti.indices = indices;
    vti.colors = colors;
    d->writeVTIStruct(&vti, 2);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(255, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 12, 3), rgba(0, 0, 255, 255));

    // Indexing only the first glyph leaves the second undrawn.
    d->writeVTIStruct(&vti, 1);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(255, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 12, 3), rgba(0, 0, 0, 255));

    d->writeVTIStruct(&vti, 0);
    RvVertexBuffer* vb = RvMeshGetVertexBuffer(RvMeshInstanceGetMesh(d->instance));
    RvIndexBuffer* ib = RvMeshGetIndexBuffer(RvMeshInstanceGetMesh(d->instance));
    EXPECT_EQ(RvVertexBufferGetVertexCount(vb), 0);
    EXPECT_EQ(RvIndexBufferGetIndexCount(ib), 0);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(countPixels(target, rgba(0, 0, 0, 255)), 16 * 8);
    KuRelease(d);
    KuRelease(white);
    KuRelease(target);
}

TEST_F(DrawableTest, ParticlesAreReadInPlaceAndOnlyTheLiveRangeDraws) {
    KuGraphicsTexture* target = newTargetTexture(16, 8);
    auto* white = new KuGraphicsTexture;
    ASSERT_TRUE(white->createWithColor(KuColor{1, 1, 1, 1}));
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(particleShaderProgram->shader, kKuMeshIndexed);
    d->setTextureSampler("colorMap", white);
    KuQuadSprite sprites[2];
    auto fill = [](KuQuadSprite& s, float x0, uint8_t r, uint8_t g, uint8_t b) {
        const float corners[4][2] = {{x0, 0}, {x0 + 8, 0}, {x0, 8}, {x0 + 8, 8}};
        for (int i = 0; i < 4; i++)
            s.vertices[i] = KuQuadVertex{corners[i][0], corners[i][1], r, g, b, 255, 0, 0};
    };
    fill(sprites[0], 0, 255, 0, 0);
    fill(sprites[1], 8, 0, 255, 0);
    d->writeParticles(sprites, 2);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(255, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 12, 3), rgba(0, 255, 0, 255));

    // The caller's memory changes; the drawable is told which quads to draw.
    fill(sprites[1], 8, 0, 0, 255);
    d->updateParticles(1, 1);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 3, 3), rgba(0, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 12, 3), rgba(0, 0, 255, 255));

    d->updateParticles(0, 0);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] { drawProjected(d); }));
    EXPECT_EQ(countPixels(target, rgba(0, 0, 0, 255)), 16 * 8) << "no live particles draw nothing";
    KuRelease(d);
    KuRelease(white);
    KuRelease(target);
}

}  // namespace
