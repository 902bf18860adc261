// The line and circle helpers drawn under the current model-view-projection, and the projection
// helpers' matrices.
#include <cmath>

#include "GraphicsTestSupport.h"
#include "RvMath.h"

namespace {

const KuColor kBlack{0, 0, 0, 1};
const Pixel kWhite = {255, 255, 255, 255};

class LineTest : public FacadeTest {};

// Whether any pixel within one of (x, y) is white: rasterised lines may step either side.
bool whiteNear(KuGraphicsTexture* t, float x, float y) {
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            if (pixelOf(t, static_cast<int>(x) + dx, static_cast<int>(y) + dy) == kWhite) return true;
    return false;
}

TEST_F(LineTest, LineRunsFromItsStartToItsEndUnderTheModelView) {
    KuGraphicsTexture* target = newTargetTexture(64, 64);
    struct Row {
        const char* what;
        float tx, ty;  // translation on the matrix stack
    } rows[] = {{"no transform", 0, 0}, {"translated", 12, -8}};
    for (const Row& r : rows) {
        ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
            matrixStackDepth = 1;
            matrixStack[1] = KuMatrixIdentity();
            matrixStack[1].m[12] = r.tx;
            matrixStack[1].m[13] = r.ty;
            KuDrawLine(KuPoint{10, 20}, KuPoint{30, 40}, KuColor{1, 1, 1, 1});
            matrixStackDepth = 0;
        }));
        for (float t : {0.1f, 0.5f, 0.9f}) {
            float x = 10 + 20 * t + r.tx, y = 20 + 20 * t + r.ty;
            EXPECT_TRUE(whiteNear(target, x, y)) << r.what << " at t " << t;
        }
        // Beside the line and past its ends nothing is drawn.
        EXPECT_FALSE(whiteNear(target, 20 + r.tx, 36 + r.ty)) << r.what;
        EXPECT_FALSE(whiteNear(target, 5 + r.tx, 15 + r.ty)) << r.what;
        EXPECT_FALSE(whiteNear(target, 36 + r.tx, 46 + r.ty)) << r.what;
        int lit = countPixels(target, kWhite);
        EXPECT_GE(lit, 19) << r.what;
        EXPECT_LE(lit, 22) << r.what << ": one pixel per step of the 20-pixel diagonal";
    }
    KuRelease(target);
}

TEST_F(LineTest, LinesReuseOneDrawableWithinAFrame) {
    KuGraphicsTexture* target = newTargetTexture(32, 32);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
        KuDrawLine(KuPoint{2, 4}, KuPoint{30, 4}, KuColor{1, 1, 1, 1});
        KuDrawLine(KuPoint{2, 20}, KuPoint{30, 20}, KuColor{1, 1, 1, 1});
    }));
    // Both lines drawn: each call records its own values.
    EXPECT_TRUE(whiteNear(target, 16, 4));
    EXPECT_TRUE(whiteNear(target, 16, 20));
    KuRelease(target);
}

TEST_F(LineTest, CirclesOutlineAndFillAroundTheCentre) {
    KuGraphicsTexture* target = newTargetTexture(64, 64);
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
        KuDrawCircle(KuPoint{32, 32}, 20, KuColor{1, 1, 1, 1});
    }));
    EXPECT_FALSE(whiteNear(target, 32, 32)) << "an outline leaves the centre empty";
    for (int degrees : {0, 90, 180, 270, 45})
        EXPECT_TRUE(whiteNear(target, 32 + 20 * std::cos(degrees * M_PI / 180),
                              32 + 20 * std::sin(degrees * M_PI / 180)))
            << degrees;
    ASSERT_TRUE(drawFrameInto(target, kBlack, [&] {
        KuDrawFilledCircle(KuPoint{32, 32}, 20, KuColor{1, 1, 1, 1});
    }));
    EXPECT_EQ(pixelOf(target, 32, 32), kWhite);
    EXPECT_EQ(pixelOf(target, 32 + 14, 32 - 14), kWhite);
    EXPECT_EQ(pixelOf(target, 32 + 22, 32), rgba(0, 0, 0, 255));
    // The area of a 36-gon of radius 20 is close to π r².
    int lit = countPixels(target, kWhite);
    EXPECT_NEAR(lit, 36 * 0.5 * 400 * std::sin(10 * M_PI / 180), 40);
    KuRelease(target);
}

class ProjectionTest : public FacadeTest {};

KuMatrix translation(float x, float y) {
    KuMatrix m = KuMatrixIdentity();
    m.m[12] = x;
    m.m[13] = y;
    return m;
}

KuMatrix scaling(float x, float y) {
    KuMatrix m = KuMatrixIdentity();
    m.m[0] = x;
    m.m[5] = y;
    return m;
}

TEST_F(ProjectionTest, TopMatrixIsProjectionTimesTheTopOfTheStack) {
    struct Row {
        const char* what;
        KuMatrix projection, top;
        KuPoint in, out;
    } rows[] = {
        {"identity", KuMatrixIdentity(), KuMatrixIdentity(), {3, 4}, {3, 4}},
        {"top translates", KuMatrixIdentity(), translation(10, 20), {3, 4}, {13, 24}},
        {"projection scales after the top translates", scaling(2, 3), translation(1, 1), {1, 1}, {4, 6}},
        {"top scales before the projection translates", translation(1, 1), scaling(2, 3), {1, 1}, {3, 4}},
    };
    for (const Row& r : rows) {
        projectionMatrix = r.projection;
        matrixStackDepth = 2;
        matrixStack[2] = r.top;
        const KuMatrix* m = KuProjectTopMatrix();
        float x = m->m[0] * r.in.x + m->m[4] * r.in.y + m->m[12];
        float y = m->m[1] * r.in.x + m->m[5] * r.in.y + m->m[13];
        EXPECT_FLOAT_EQ(x, r.out.x) << r.what;
        EXPECT_FLOAT_EQ(y, r.out.y) << r.what;
    }
    matrixStackDepth = 0;
}

TEST_F(ProjectionTest, ProjectMapsClipSpaceIntoTheViewport) {
    KuMatrix ortho = orthoMatrix(200, 100);
    KuViewportRect viewport{10, 20, 400, 300};
    struct Row {
        KuPoint in, out;
    } rows[] = {
        {{0, 0}, {10, 20}}, {{200, 100}, {410, 320}}, {{100, 50}, {210, 170}}, {{50, 75}, {110, 245}}};
    for (const Row& r : rows) {
        KuPoint out{};
        ASSERT_TRUE(KuProject(r.in, ortho, viewport, &out));
        EXPECT_FLOAT_EQ(out.x, r.out.x) << r.in.x << ", " << r.in.y;
        EXPECT_FLOAT_EQ(out.y, r.out.y) << r.in.x << ", " << r.in.y;
    }
    // A matrix whose w row is zero has no projection.
    KuMatrix flat = KuMatrixIdentity();
    flat.m[15] = 0;
    KuPoint untouched{-1, -1};
    EXPECT_FALSE(KuProject(KuPoint{1, 2}, flat, viewport, &untouched));
    EXPECT_EQ(untouched, (KuPoint{-1, -1}));

    // Vectors keep their depth: z ÷ w × 0.5 + 0.5.
    KuMatrix perspective = KuMatrixIdentity();
    perspective.m[11] = 1;  // w = z + 1
    const float v[3] = {1, 1, 1};
    float out[3] = {};
    ASSERT_TRUE(KuProject(v, perspective, KuViewportRect{0, 0, 100, 100}, out));
    EXPECT_FLOAT_EQ(out[0], 75);
    EXPECT_FLOAT_EQ(out[2], 0.75f);
}

TEST_F(ProjectionTest, ProjectThroughTheRendererUsesTheCurrentViewport) {
    projectionMatrix = orthoMatrix(64, 48);
    matrixStackDepth = 1;
    matrixStack[1] = translation(8, 4);
    renderer->currentViewport = KuViewportRect{0, 0, 128, 96};
    KuPoint out{};
    ASSERT_TRUE(KuProject(KuPoint{8, 8}, &out));
    EXPECT_FLOAT_EQ(out.x, 32);
    EXPECT_FLOAT_EQ(out.y, 24);
    matrixStackDepth = 0;
}

TEST_F(ProjectionTest, QuadMatrixMapsTheUnitSquareOntoTheBox) {
    KuGraphicsMatrix variable;
    KuMatrix identity = KuMatrixIdentity();
    KuMatrix initial = variable.get();
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(initial.m[i], identity.m[i]) << i;
    _Quad2f quad{{{5, 6}, {9, 6}, {5, 14}, {9, 14}}};
    variable.set(quad);
    KuMatrix m = variable.get();
    const float expected[16] = {4, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 5, 6, 0, 1};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m.m[i], expected[i]) << i;
}

}  // namespace
