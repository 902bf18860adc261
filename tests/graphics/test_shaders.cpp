// Every built-in program compiles on a core context and draws the colour its table promises:
// tint, vertex colour, texture, mask, blend mode and the post-process programs.
#include <cstring>

#include "GraphicsTestSupport.h"
#include "RvShader.h"
#include "RvTexture.h"

namespace {

class ShaderTest : public FacadeTest {};

KuShader* programOfType(int type) {
    for (KuShader* s : KuShader::shaderList)
        if (s->type == type) return s;
    return nullptr;
}

KuGraphicsTexture* newSolidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    auto* t = new KuGraphicsTexture;
    const uint8_t pixel[4] = {r, g, b, a};
    t->createWithRGBA8(pixel, 1, 1, false);
    return t;
}

TEST_F(ShaderTest, EveryBuiltInProgramDrawsItsTintedColour) {
    // Drawn over opaque black with the tint (1, 0.5, 0.25, 0.5) on a white texture (or the mask's
    // red coverage) and white vertex colours. Alpha blending (source alpha, one minus source alpha,
    // alpha included) halves the tint and gives alpha 0.5 × 0.5 + 1 × 0.5; opaque writes the tint.
    const KuColor tint{1, 0.5f, 0.25f, 0.5f};
    const Pixel blended = rgba(128, 64, 32, 191);
    const Pixel opaque = rgba(255, 128, 64, 128);
    struct Row {
        int type;
        int blend;
        Pixel expected;
    } rows[] = {
        {1, kKuBlendAlpha, blended},  {2, kKuBlendAlpha, blended},  {3, kKuBlendAlpha, blended},
        {4, kKuBlendOpaque, opaque},  {5, kKuBlendAlpha, blended},  {8, kKuBlendAlpha, blended},
        {11, kKuBlendAlpha, blended}, {12, kKuBlendAlpha, blended}, {13, kKuBlendAlpha, blended},
        {14, kKuBlendAlpha, blended}, {15, kKuBlendAlpha, blended}, {16, kKuBlendAlpha, blended},
        {17, kKuBlendAlpha, blended}, {18, kKuBlendAlpha, blended}, {19, kKuBlendAlpha, blended},
        {20, kKuBlendAlpha, blended},
    };
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    KuGraphicsTexture* white = newSolidTexture(255, 255, 255, 255);
    KuGraphicsTexture* coverage = newSolidTexture(255, 0, 0, 0);  // red is the mask's coverage
    for (const Row& r : rows) {
        KuShader* program = programOfType(r.type);
        ASSERT_NE(program, nullptr) << r.type;
        EXPECT_EQ(RvShaderGetBlendMode(program->shader.shader), r.blend) << r.type;
        auto* d = new KuGraphicsDrawable;
        d->initWithShader(program->shader, 0);
        // Vertex colours reach programs that read them; the others ignore the stream.
        KuPoint vertices[4] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}};
        KuPoint texcoords[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        uint16_t indices[6] = {0, 1, 2, 3, 2, 1};
        KuColor colors[4] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
        VTIStruct vti{1, vertices, texcoords, indices, nullptr, colors};
        d->initWithShader(program->shader, r.type == 8 ? 0 : kKuMeshIndexed);
        if (r.type == 8) {
            // The debug-lines program places unit coordinates between vertex_min and vertex_max.
            KuGraphicsDrawable::MeshWriter w = d->beginVertices(6);
            const float unit[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 1}, {1, 0}};
            for (unsigned i = 0; i < 6; i++)
                w.setVertex(i, unit[i][0], unit[i][1]);
            d->end(w);
            d->setShaderVector2("vertex_min", KuPoint{0, 0});
            d->setShaderVector2("vertex_max", KuPoint{8, 8});
        } else {
            d->writeVTIStruct(&vti, 1);
        }
        d->setTextureSampler("colorMap", r.type == 18 ? coverage : white);
        d->setShaderColor("color", tint);
        ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); })) << r.type;
        Pixel got = pixelOf(target, 4, 4);
        EXPECT_TRUE(near(got, r.expected)) << "type " << r.type << ": " << describe(got);
        EXPECT_EQ(countPixels(target, got), 64) << "type " << r.type << " covers the target";
        KuRelease(d);
    }
    EXPECT_TRUE(capturedErrors().empty());
    KuRelease(coverage);
    KuRelease(white);
    KuRelease(target);
}

TEST_F(ShaderTest, DefaultTintIsWhiteAndVertexColoursMultiply) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(colorShaderProgram->shader, kKuMeshIndexed);
    KuPoint vertices[4] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}};
    KuPoint texcoords[4] = {};
    uint16_t indices[6] = {0, 1, 2, 3, 2, 1};
    KuColor colors[4] = {{0, 1, 1, 1}, {0, 1, 1, 1}, {0, 1, 1, 1}, {0, 1, 1, 1}};
    VTIStruct vti{1, vertices, texcoords, indices, nullptr, colors};
    d->writeVTIStruct(&vti, 1);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 4, 4), rgba(0, 255, 255, 255)) << "colour defaults to white";
    d->setShaderColor("color", KuColor{1, 0, 1, 1});
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 4, 4), rgba(0, 0, 255, 255));
    KuRelease(d);
    KuRelease(target);
}

TEST_F(ShaderTest, TextureMatrixDefaultsToIdentityAndMovesTheLookup) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* texture = new KuGraphicsTexture;
    const uint8_t texels[8] = {255, 0, 0, 255, 0, 255, 0, 255};  // 2 × 1: red, green
    ASSERT_TRUE(texture->createWithRGBA8(texels, 2, 1, false));
    texture->setFilter(false, false);
    KuGraphicsDrawable* d = newQuad(textureShaderProgram, 0, 0, 8, 8);
    d->setTextureSampler("colorMap", texture);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); }));
    EXPECT_EQ(pixelOf(target, 1, 4), rgba(255, 0, 0, 255));
    EXPECT_EQ(pixelOf(target, 6, 4), rgba(0, 255, 0, 255));
    // u × 0.5 + 0.5: every lookup lands in the right texel.
    KuMatrix half = KuMatrixIdentity();
    half.m[0] = 0.5f;
    half.m[12] = 0.5f;
    d->setShaderMatrix("textureMatrix", half);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); }));
    EXPECT_EQ(countPixels(target, rgba(0, 255, 0, 255)), 64);
    KuRelease(d);
    KuRelease(texture);
    KuRelease(target);
}

TEST_F(ShaderTest, LightingProgramMixesShadowsAndMidtonesByTheLightMap) {
    // Ambient 0 and dynamic 1: the light is the light map. Shadows tinted black, midtones white.
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    KuGraphicsTexture* scene = newSolidTexture(255, 128, 0, 255);
    struct Row {
        uint8_t light;
        Pixel expected;
    } rows[] = {{0, rgba(0, 0, 0, 255)}, {255, rgba(255, 128, 0, 255)}};
    for (const Row& r : rows) {
        KuGraphicsTexture* light = newSolidTexture(r.light, r.light, r.light, 255);
        auto* d = newQuad(postProcessLightingShaderProgram, 0, 0, 8, 8);
        d->setTextureSampler("colorMap", scene);
        d->setTextureSampler("lightMap", light);
        d->setShaderColor("ambientFactor", KuColor{0, 0, 0, 0});
        d->setShaderColor("dynamicFactor", KuColor{1, 1, 1, 1});
        d->setShaderColor("shadowColor", KuColor{0, 0, 0, 1});
        ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 1, 1}, [&] { drawProjected(d); }));
        Pixel got = pixelOf(target, 4, 4);
        EXPECT_TRUE(near(got, r.expected)) << "light " << int(r.light) << ": " << describe(got);
        KuRelease(d);
        KuRelease(light);
    }
    KuRelease(scene);
    KuRelease(target);
}

TEST_F(ShaderTest, DistortionProgramOffsetsTheLookupByTheNormalMap) {
    // A flat normal map (0.5, 0.5) leaves the lookup in place; a tilted one moves it one texel.
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* scene = new KuGraphicsTexture;
    const uint8_t texels[8] = {255, 0, 0, 255, 0, 255, 0, 255};  // 2 × 1: red, green
    ASSERT_TRUE(scene->createWithRGBA8(texels, 2, 1, false));
    scene->setFilter(false, false);
    struct Row {
        uint8_t normalX;
        float amount;
        Pixel leftHalf;
    } rows[] = {{127, 10, rgba(255, 0, 0, 255)}, {255, 0.5f, rgba(0, 255, 0, 255)}};
    for (const Row& r : rows) {
        KuGraphicsTexture* normals = newSolidTexture(r.normalX, 127, 0, 255);
        auto* d = newQuad(postProcessDistortionShaderProgram, 0, 0, 8, 8);
        d->setTextureSampler("colorMap", scene);
        d->setTextureSampler("normalMap", normals);
        d->setShaderVector2("screenPitch", KuPoint{1, 1});
        d->setShaderFloat("distortionAmount", r.amount);
        ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(d); }));
        EXPECT_EQ(pixelOf(target, 1, 4), r.leftHalf) << "normal x " << int(r.normalX);
        KuRelease(d);
        KuRelease(normals);
    }
    KuRelease(scene);
    KuRelease(target);
}

TEST_F(ShaderTest, DefaultValuesOfEveryKind) {
    auto* texture = newSolidTexture(1, 2, 3, 4);
    KuGraphicsShader shader;
    const KuColor c{0.25f, 0.5f, 0.75f, 1};
    const KuPoint p{3, 4};
    KuMatrix m = KuMatrixIdentity();
    m.m[12] = 7;
    shader.setShader(KuShaderSource::SolidColorVertex, KuShaderSource::FillColorFragment, kKuBlendAdd, 1, "f",
                     2.5, 2, "c", &c, 3, "p", &p, 4, "m", &m, 5, "s", "$ViewProjectionMatrix", 6, "t",
                     texture, 0);
    RvDictionary* values = RvShaderGetDefaultValues(shader.shader);
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(RvDictionaryGetCount(values), 6);
    auto floats = [&](const char* key) {
        return static_cast<const float*>(
            RvNumberGetBytes(dynamic_cast<RvNumber*>(RvDictionaryGetValue(values, key))));
    };
    EXPECT_EQ(floats("f")[0], 2.5f);
    EXPECT_EQ(floats("c")[2], 0.75f);
    EXPECT_EQ(floats("p")[1], 4.0f);
    EXPECT_EQ(floats("m")[12], 7.0f);
    EXPECT_EQ(RvNumberGetEncoding(dynamic_cast<RvNumber*>(RvDictionaryGetValue(values, "m"))),
              kRvEncodingMat4);
    EXPECT_STREQ(dynamic_cast<RvString*>(RvDictionaryGetValue(values, "s"))->c_str(),
                 "$ViewProjectionMatrix");
    EXPECT_EQ(RvDictionaryGetValue(values, "t"), static_cast<KuObject*>(texture->texture));
    EXPECT_EQ(RvShaderGetBlendMode(shader.shader), kKuBlendAdd);
    KuRelease(texture);
}

}  // namespace
