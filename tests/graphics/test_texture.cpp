// Textures: made in memory, decoded from PNG and JPEG by name, render targets, filters and their
// debug overrides, pixel access, the debug registry and loading through the resource files.
#include <cstring>

#include "GraphicsTestSupport.h"
#include "RvRenderTarget.h"
#include "RvTexture.h"

namespace {

class TextureTest : public FacadeTest {
protected:
    void TearDown() override {
        KuGraphics::_DebugTextureMinFilter = 0;
        KuGraphics::_DebugTextureMagFilter = 0;
        defaultImageProps = KuImageProps{};
        _debugTextures = 0;
        FacadeTest::TearDown();
    }
};

const uint8_t kTwoByTwo[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 40};

TEST_F(TextureTest, RenderTargetFormHasTheSizeAtScaleOneAndNoPixels) {
    auto* t = new KuGraphicsTexture;
    t->initWithSize(KuPoint{100, 50}, true, false);
    ASSERT_NE(t->renderTarget, nullptr);
    EXPECT_EQ(t->getRenderTargetSize(), (KuPoint{100, 50}));
    EXPECT_EQ(RvRenderTargetGetPointScale(t->renderTarget), 1.0f);
    EXPECT_EQ(t->width(), 100);
    EXPECT_EQ(t->height(), 50);
    EXPECT_FALSE(RvTextureHasStorage(t->texture)) << "no pixels are uploaded";
    t->resizeRenderTarget(KuPoint{40, 30});
    EXPECT_EQ(t->getRenderTargetSize(), (KuPoint{40, 30}));
    EXPECT_EQ(t->width(), 40) << "the attached texture follows the target";
    KuRelease(t);
}

TEST_F(TextureTest, PlainFormIsAnRgbaTextureOfZeros) {
    auto* t = new KuGraphicsTexture;
    ASSERT_TRUE(t->initWithSize(KuPoint{100, 50}, false, false));
    EXPECT_EQ(t->renderTarget, nullptr);
    EXPECT_EQ(t->getRenderTargetSize(), (KuPoint{0, 0}));
    KuGraphicsTexture::PixelFormat format;
    unsigned w = 0, h = 0;
    auto* pixels = static_cast<const uint8_t*>(t->lockPixels(&format, &w, &h, false));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(format, KuGraphicsTexture::kPixelFormatRGBA8);
    EXPECT_GE(w, 100u);
    EXPECT_GE(h, 50u);
    size_t nonZero = 0;
    for (size_t i = 0; i < static_cast<size_t>(w) * h * 4; i++)
        nonZero += pixels[i] != 0;
    t->unlockPixels();
    EXPECT_EQ(nonZero, 0u);
    EXPECT_EQ(t->storageSize(), static_cast<int>(w * 4 * h));
    KuRelease(t);
}

TEST_F(TextureTest, PngAndJpegDecodeByCaseSensitiveSuffix) {
    auto* source = new KuGraphicsTexture;
    ASSERT_TRUE(source->createWithRGBA8(kTwoByTwo, 2, 2, true));
    KuData* png = source->getPixelDataAsPNG(true);
    KuData* jpeg = source->getPixelDataAsJPEG();
    ASSERT_NE(png, nullptr);
    ASSERT_NE(jpeg, nullptr);
    struct Row {
        const char* name;
        KuData* data;
        bool decodes;
        bool warns;
    } rows[] = {
        {"room.png", png, true, false},      {"room.jpg", jpeg, true, false}, {"room.PNG", png, false, true},
        {"room.JPG", jpeg, false, true},     {"png", png, false, true},       {"", png, false, true},
        {"room.png", nullptr, false, false}, {"room.jpg", png, false, false},
    };
    for (const Row& r : rows) {
        clearCaptured();
        auto* t = new KuGraphicsTexture;
        KuString* name = KuString::stringWithString(r.name);
        EXPECT_EQ(t->createImageWithData(r.data, name, 2.0f, true), r.decodes) << r.name;
        bool unsupported = false;
        for (const std::string& w : capturedWarnings())
            unsupported |=
                w.find(std::string("Unsupported image format: '") + r.name + "'.") != std::string::npos;
        EXPECT_EQ(unsupported, r.warns) << r.name;
        if (r.decodes) {
            EXPECT_EQ(t->width(), 2) << r.name;
            EXPECT_EQ(t->scale(), 2.0f) << r.name;
        }
        KuRelease(t);
    }
    // The lossless form comes back exactly.
    auto* t = new KuGraphicsTexture;
    ASSERT_TRUE(t->createImageWithData(png, KuString::stringWithString("again.png"), 1, true));
    KuPoint size{};
    KuData* rgba = t->getPixelDataAsRGBA(&size);
    ASSERT_NE(rgba, nullptr);
    ASSERT_EQ(size, (KuPoint{2, 2}));
    ASSERT_EQ(rgba->length, 16);
    EXPECT_EQ(memcmp(rgba->bytes, kTwoByTwo, 16), 0);
    KuRelease(t);
    KuRelease(source);
}

TEST_F(TextureTest, PixelReadbackQualifiesOnlyRgbaStorage) {
    auto* alpha = new KuGraphicsTexture;
    const uint8_t coverage[4] = {0, 64, 128, 255};
    ASSERT_TRUE(alpha->createWithAlpha8(coverage, 2, 2, true));
    KuGraphicsTexture::PixelFormat format;
    unsigned w = 0, h = 0;
    EXPECT_NE(alpha->lockPixels(&format, &w, &h, false), nullptr);
    alpha->unlockPixels();
    EXPECT_EQ(format, KuGraphicsTexture::kPixelFormatAlpha8);
    EXPECT_EQ(alpha->getPixelDataAsRGBA(nullptr), nullptr);
    EXPECT_EQ(alpha->getPixelDataAsPNG(false), nullptr);

    auto* discarded = new KuGraphicsTexture;  // pixels not kept: nothing to read once uploaded
    ASSERT_TRUE(discarded->createWithRGBA8(kTwoByTwo, 2, 2, false));
    KuGraphicsTexture* target = newTargetTexture(4, 4);
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 4, 4);
    quad->setTextureSampler("colorMap", discarded);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(quad); }));
    EXPECT_EQ(discarded->getPixelDataAsRGBA(nullptr), nullptr);
    EXPECT_NE(target->getPixelDataAsRGBA(nullptr), nullptr) << "a read-back render target has pixels";

    auto* empty = new KuGraphicsTexture;
    EXPECT_EQ(empty->getPixelDataAsRGBA(nullptr), nullptr);
    EXPECT_EQ(empty->lockPixels(&format, &w, &h, true), nullptr);
    empty->unlockPixels();
    KuRelease(empty);
    KuRelease(quad);
    KuRelease(target);
    KuRelease(discarded);
    KuRelease(alpha);
}

TEST_F(TextureTest, DebugOverridesWinOverFilterRequestsAndDefaults) {
    struct Row {
        int override;
        bool defaultLinear;
        bool requested;
        bool expected;
    } rows[] = {
        {0, false, true, true},  {0, true, false, false},  {1, true, true, false},
        {2, false, false, true}, {-1, false, false, true},
    };
    auto* t = new KuGraphicsTexture;
    for (const Row& r : rows) {
        KuGraphics::_DebugTextureMinFilter = r.override;
        KuGraphics::_DebugTextureMagFilter = r.override;
        defaultImageProps.linearMinFilter = r.defaultLinear;
        defaultImageProps.linearMagFilter = r.defaultLinear;
        ASSERT_TRUE(t->createWithRGBA8(kTwoByTwo, 2, 2, false));
        bool defaultExpected = r.override == 1 ? false : r.override != 0 ? true : r.defaultLinear;
        EXPECT_EQ(t->linearMinFilter(), defaultExpected) << "new texture, override " << r.override;
        EXPECT_EQ(t->linearMagFilter(), defaultExpected) << "new texture, override " << r.override;
        t->linearMinFilter(r.requested);
        t->linearMagFilter(r.requested);
        EXPECT_EQ(t->linearMinFilter(), r.expected) << "override " << r.override;
        EXPECT_EQ(t->linearMagFilter(), r.expected) << "override " << r.override;
    }
    KuRelease(t);
}

TEST_F(TextureTest, NearestAndLinearFilteringShowInTheDrawing) {
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* t = new KuGraphicsTexture;
    const uint8_t blackWhite[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    ASSERT_TRUE(t->createWithRGBA8(blackWhite, 2, 1, false));
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 8, 8);
    quad->setTextureSampler("colorMap", t);
    // Pixel 3 samples u = 3.5 / 8, a quarter texel left of the texel border.
    t->setFilter(false, false);
    ASSERT_TRUE(drawFrameInto(target, KuColor{1, 0, 0, 1}, [&] { drawProjected(quad); }));
    EXPECT_EQ(pixelOf(target, 3, 4), rgba(0, 0, 0, 255));
    t->setFilter(true, true);
    ASSERT_TRUE(drawFrameInto(target, KuColor{1, 0, 0, 1}, [&] { drawProjected(quad); }));
    Pixel mixed = pixelOf(target, 3, 4);
    EXPECT_GT(mixed[0], 40);
    EXPECT_LT(mixed[0], 215);
    KuRelease(quad);
    KuRelease(t);
    KuRelease(target);
}

TEST_F(TextureTest, ConfirmingAFilterDoesNotRebuildTheTexture) {
    KuGraphicsTexture* target = newTargetTexture(4, 4);
    auto* t = new KuGraphicsTexture;
    ASSERT_TRUE(t->createWithRGBA8(kTwoByTwo, 2, 2, false));
    KuGraphicsDrawable* quad = newQuad(textureShaderProgram, 0, 0, 4, 4);
    quad->setTextureSampler("colorMap", t);
    t->setFilter(false, false);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(quad); }));
    ASSERT_EQ(RvGraphicsResourceGetStatus(t->texture), kRvStatusBuilt);
    const uint32_t builds = t->texture->buildCount.load();
    // The same filters again, as every image cut from an atlas asks: nothing to upload.
    for (int i = 0; i < 3; i++) {
        t->setFilter(false, false);
        t->linearMinFilter(false);
        t->linearMagFilter(false);
    }
    EXPECT_EQ(RvGraphicsResourceGetStatus(t->texture), kRvStatusBuilt);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(quad); }));
    EXPECT_EQ(t->texture->buildCount.load(), builds);
    // A real change rebuilds it once.
    t->setFilter(true, false);
    EXPECT_EQ(RvGraphicsResourceGetStatus(t->texture), kRvStatusNeedsBuild);
    ASSERT_TRUE(drawFrameInto(target, KuColor{0, 0, 0, 1}, [&] { drawProjected(quad); }));
    EXPECT_EQ(t->texture->buildCount.load(), builds + 1);
    EXPECT_TRUE(t->linearMinFilter());
    EXPECT_FALSE(t->linearMagFilter());
    KuRelease(quad);
    KuRelease(t);
    KuRelease(target);
}

TEST_F(TextureTest, DebugRegistryListsLiveTexturesOnly) {
    _debugTextures = 1;
    auto* t = new KuGraphicsTexture;
    KuData* png = nullptr;
    {
        auto* source = new KuGraphicsTexture;
        ASSERT_TRUE(source->createWithRGBA8(kTwoByTwo, 2, 2, true));
        png = source->getPixelDataAsPNG(true);
        KuRelease(source);
    }
    ASSERT_TRUE(t->createImageWithData(png, KuString::stringWithString("hero.png"), 1, false));
    ASSERT_NE(_debugTextureDict, nullptr);
    char key[40];
    snprintf(key, sizeof key, "0x%p", static_cast<void*>(t->texture));
    KuObject* entry = _debugTextureDict->objectForKey(key);
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->isString());
    EXPECT_STREQ(static_cast<KuString*>(entry)->c_str(), "hero.png (2x2)");
    t->unloadTexture();
    EXPECT_EQ(t->texture, nullptr);
    EXPECT_EQ(_debugTextureDict->objectForKey(key), nullptr);
    KuRelease(t);
}

TEST_F(TextureTest, KeptTexturesSurviveUnloadAndNamedOnesReload) {
    TempFolder folder;
    auto* source = new KuGraphicsTexture;
    ASSERT_TRUE(source->createWithRGBA8(kTwoByTwo, 2, 2, true));
    KuData* png = source->getPixelDataAsPNG(true);
    ASSERT_NE(png, nullptr);
    std::string path =
        folder.write("art/door.png", std::string(reinterpret_cast<const char*>(png->bytes), png->length));

    auto* t = new KuGraphicsTexture;
    int resets = frameDeltaResets();
    ASSERT_TRUE(t->initWithName(KuString::stringWithString(path.c_str())));
    EXPECT_EQ(frameDeltaResets(), resets + 1) << "the load time is not counted as a frame";
    EXPECT_EQ(t->width(), 2);
    t->keepLoaded = true;
    t->unloadTexture();
    EXPECT_NE(t->texture, nullptr);
    t->keepLoaded = false;
    t->unloadTexture();
    EXPECT_EQ(t->texture, nullptr);
    t->reloadTexture();
    ASSERT_NE(t->texture, nullptr);
    EXPECT_EQ(t->height(), 2);
    EXPECT_EQ(frameDeltaResets(), resets + 2);

    auto* missing = new KuGraphicsTexture;
    EXPECT_FALSE(missing->initWithName(KuString::stringWithString((folder / "art/none.png").c_str())));
    EXPECT_EQ(frameDeltaResets(), resets + 2) << "nothing loaded, nothing reset";
    KuRelease(missing);
    KuRelease(t);
    KuRelease(source);
}

}  // namespace
