// Images: quad placement by centring, alignment and pixel snap; texture coordinates by flips; the
// texture cache's use counts; and what an image draws, read back from a headless frame.
#include <cstring>
#include <string>

#include "KuBaseScene.h"
#include "KuLayout.h"
#include "KuTextureManager.h"
#include "RvImageCodec.h"
#include "test_image_support.h"

namespace {

KuString* str(const char* text) {
    return KuString::stringWithString(text);
}

// Encoded PNG bytes of the pattern atlas of that size.
KuData* patternPNG(int width, int height) {
    std::vector<uint8_t> pixels = patternAtlas(width, height), file;
    if (!RvImageEncodePNG(pixels.data(), width, height, width * 4, 4, &file, nullptr)) return nullptr;
    return KuData::dataWithBytes(file.data(), static_cast<int>(file.size()));
}

class ImageTest : public PictureTest {
protected:
    void SetUp() override {
        PictureTest::SetUp();
        if (!graphicsReady()) GTEST_SKIP() << "no OpenGL 3.2 core context available";
    }
    // An autoreleased image of a new width × height pattern texture cached under `name`.
    KuImage* patternImage(const char* name, int width, int height) {
        KuImage* image = KuImage::imageWithData(patternPNG(width, height), str(name));
        EXPECT_NE(image, nullptr) << name;
        return image;
    }
};

void expectCorners(const KuImage* image, KuPoint low, KuPoint high) {
    EXPECT_EQ(image->vertices[0].x, low.x);
    EXPECT_EQ(image->vertices[0].y, low.y);
    EXPECT_EQ(image->vertices[1].x, high.x);
    EXPECT_EQ(image->vertices[1].y, low.y);
    EXPECT_EQ(image->vertices[2].x, low.x);
    EXPECT_EQ(image->vertices[2].y, high.y);
    EXPECT_EQ(image->vertices[3].x, high.x);
    EXPECT_EQ(image->vertices[3].y, high.y);
}

// >>placement

TEST_F(ImageTest, QuadFollowsCentringAndAlignment) {
    struct Row {
        const char* label;
        void (*set)(KuImage*);
        KuPoint low, high;
    };
    const Row rows[] = {
        {"centred by default", [](KuImage*) {}, {-50, -25}, {50, 25}},
        {"not centred", [](KuImage* i) { i->center(false); }, {0, 0}, {100, 50}},
        {"right and top aligned",
         [](KuImage* i) {
             i->center(false);
             i->align(static_cast<int>(kKuAlignTop | kKuAlignRight));
         },
         {-100, -50},
         {0, 0}},
        {"top aligned, still centred across",
         [](KuImage* i) { i->align(static_cast<int>(kKuAlignTop)); },
         {-50, -50},
         {50, 0}},
        {"centre bit applied last",
         [](KuImage* i) { i->align(static_cast<int>(kKuAlignTop | kKuAlignRight | kKuAlignCenter)); },
         {-50, -25},
         {50, 25}},
        {"other bits ignored", [](KuImage* i) { i->align(0x00FFFFFF); }, {-50, -25}, {50, 25}},
        {"centred across only", [](KuImage* i) { i->center(true, false); }, {-50, 0}, {50, 50}},
        {"placed, not centred",
         [](KuImage* i) {
             i->atCentered(KuPoint{7, 9}, false);
             EXPECT_EQ(i->position().x, 7);
         },
         {0, 0},
         {100, 50}},
        {"horizontal flip keeps the corners",
         [](KuImage* i) { i->flipHorizontally(true); },
         {-50, -25},
         {50, 25}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        KuImage* image = patternImage("quad.png", 100, 50);
        ASSERT_NE(image, nullptr);
        row.set(image);
        expectCorners(image, row.low, row.high);
        const KuRect rect = image->imageRect();
        EXPECT_EQ(rect.first.x, row.low.x);
        EXPECT_EQ(rect.second.y, row.high.y);
    }
}

TEST_F(ImageTest, PixelSnapAndDeviceScale) {
    struct Row {
        bool snap;
        float deviceScale;
        float half;   // half width in points
        float rectX;  // imageRect's left edge, in device pixels
    };
    const Row rows[] = {{true, 1, 50, -50}, {false, 1, 50.5f, -50.5f}, {true, 2, 50, -100}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.snap) + " " + std::to_string(row.deviceScale));
        defaultImageProps.pixelSnap = row.snap;
        KuSetDeviceScale(row.deviceScale);
        KuImage* image = patternImage("odd.png", 101, 20);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->halfSourceSize.x, row.half);
        EXPECT_EQ(image->vertices[0].x, -row.half);
        EXPECT_EQ(image->vertices[3].x, -row.half + 101);
        EXPECT_EQ(image->imageRect().first.x, row.rectX);
        EXPECT_EQ(image->imageSize().x, 101 * row.deviceScale);
        textureManager.releaseAllTextures();
    }
}

TEST_F(ImageTest, TextureCoordinatesFollowTheFlips) {
    KuImage* whole = patternImage("coords.png", 100, 50);
    ASSERT_NE(whole, nullptr);
    // The rectangle at (10, 5), 20 × 10 pixels: u 0.1 … 0.3, t 0.1 … 0.3.
    KuImage* part = whole->copyImageFrom(KuPoint{10, 5}, KuPoint{20, 10});
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->sourceSize().x, 20);
    expectCorners(part, KuPoint{-10, -5}, KuPoint{10, 5});
    const float u0 = 0.1f, u1 = 0.3f, t0 = 0.1f, t1 = 0.3f;
    struct Row {
        bool horizontal, vertical;
        KuPoint corners[4];
    };
    const Row rows[] = {
        {false, false, {{u0, t1}, {u1, t1}, {u0, t0}, {u1, t0}}},
        {true, false, {{u1, t1}, {u0, t1}, {u1, t0}, {u0, t0}}},
        {false, true, {{u0, t0}, {u1, t0}, {u0, t1}, {u1, t1}}},
        {true, true, {{u1, t0}, {u0, t0}, {u1, t1}, {u0, t1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.horizontal) + std::to_string(row.vertical));
        part->flipHorizontally(row.horizontal);
        part->flipVertically(row.vertical);
        for (int i = 0; i < 4; i++) {
            EXPECT_FLOAT_EQ(part->texCoords[i].x, row.corners[i].x) << "corner " << i + 1;
            EXPECT_FLOAT_EQ(part->texCoords[i].y, row.corners[i].y) << "corner " << i + 1;
        }
        expectCorners(part, KuPoint{-10, -5}, KuPoint{10, 5});
    }
}

// >>the texture cache

TEST_F(ImageTest, ImagesOfOneNameShareOneCountedTexture) {
    KuData* png = patternPNG(8, 8);
    KuImage* a = KuImage::newWithData(png, str("shared.png"));
    KuImage* b = KuImage::newWithData(png, str("shared.png"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->texture, b->texture);
    KuTexture2D* texture = textureManager.findTextureWithName(str("shared.png"));
    ASSERT_EQ(texture, a->texture);
    EXPECT_EQ(texture->useCount, 2);
    KuImage* copy = KuImage::newWithImage(a);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(texture->useCount, 3) << "a copy counts again under the name";
    EXPECT_STREQ(copy->textureName->c_str(), "shared.png");
    KuRelease(copy);
    KuRelease(a);
    EXPECT_EQ(textureManager.findTextureWithName(str("shared.png")), texture);
    EXPECT_EQ(texture->useCount, 1);
    KuRelease(b);
    EXPECT_EQ(textureManager.findTextureWithName(str("shared.png")), nullptr);
    EXPECT_EQ(textureManager.count(), 0);

    // Names that give no texture leave nothing behind.
    EXPECT_EQ(KuImage::newWithName("nowhere.png"), nullptr);
    EXPECT_EQ(KuImage::newWithName(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(KuImage::newWithData(KuData::dataWithBytes("not an image", 12), str("junk.png")), nullptr);
    EXPECT_EQ(KuImage::newWithData(png, str("wrong.gif")), nullptr);
    EXPECT_TRUE(reported("Unsupported image format: 'wrong.gif'."));
    EXPECT_EQ(textureManager.count(), 0);
}

TEST_F(ImageTest, ImagesLoadByNameFromTheResourceFolders) {
    ASSERT_TRUE(writePNG("room.png", 12, 10, patternAtlas(12, 10)));
    KuImage* image = KuImage::imageWithName("room.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 12);
    EXPECT_EQ(image->height, 10);
    EXPECT_EQ(image->sourceSize().y, 10);
    EXPECT_EQ(textureManager.findTextureWithName(str("room.png"))->useCount, 1);
    ASSERT_TRUE(writePNG("other.png", 4, 4, patternAtlas(4, 4)));
    ASSERT_EQ(image->initWithName(str("other.png")), 0);
    EXPECT_EQ(textureManager.findTextureWithName(str("room.png")), nullptr) << "the old name was given back";
    EXPECT_EQ(image->width, 4);
    EXPECT_EQ(image->initWithName(str("gone.png")), kKuImageNoTexture);
    EXPECT_STREQ(image->textureName->c_str(), "other.png") << "a failed switch keeps the texture";
}

TEST_F(ImageTest, IdleTexturesHeldOnlyByTheCacheExpire) {
    auto* kept = new KuTexture2D;
    auto* idle = new KuTexture2D;
    ASSERT_TRUE(kept->createWithColor(KuColor{1, 0, 0, 1}));
    ASSERT_TRUE(idle->createWithColor(KuColor{0, 1, 0, 1}));
    textureManager.retainTextureWithName(str("kept"), kept);
    textureManager.retainTextureWithName(str("idle"), idle);
    KuRelease(idle);  // only the cache holds it now; `kept` keeps our reference too
    EXPECT_EQ(kept->useCount, 1);
    EXPECT_GT(textureManager.totalSize(), 0);
    EXPECT_EQ(textureManager.expireTextures(0.5f), 0) << "nothing is old yet";
    const double saved = _globalTime;
    _globalTime += 10;
    EXPECT_EQ(textureManager.expireTextures(5), 1);
    EXPECT_EQ(textureManager.findTextureWithName(str("idle")), nullptr);
    EXPECT_EQ(textureManager.findTextureWithName(str("kept")), kept);
    EXPECT_TRUE(textureManager.releaseTextureWithName(str("kept")));
    EXPECT_FALSE(textureManager.releaseTextureWithName(str("kept")));
    KuRelease(kept);
    _globalTime = saved;
}

// >>drawing

TEST_F(ImageTest, DrawnPixelsFollowFlipsTintAndVisibility) {
    struct Row {
        const char* label;
        void (*set)(KuImage*);
        Pixel (*expected)(int x, int y);  // for the 8 × 6 quad's pixel (x, y), y up; null: nothing drawn
    };
    const Row rows[] = {
        {"plain", [](KuImage*) {}, [](int x, int y) { return patternPixel(x, 5 - y); }},
        {"flipped vertically", [](KuImage* i) { i->flipVertically(true); },
         [](int x, int y) { return patternPixel(x, y); }},
        {"flipped both ways",
         [](KuImage* i) {
             i->flipVertically(true);
             i->flipHorizontally(true);
         },
         [](int x, int y) { return patternPixel(7 - x, y); }},
        {"tinted magenta",
         [](KuImage* i) {
             i->color(KuColor{1, 0, 1, 1});
         },
         [](int x, int y) {
             Pixel p = patternPixel(x, 5 - y);
             p[1] = 0;
             return p;
         }},
        {"hidden, with a visible child",
         [](KuImage* i) {
             i->addRender(KuImage::imageWithImage(i));
             i->hidden(true);
         },
         nullptr},
        {"scaled to nothing", [](KuImage* i) { i->scale(0, 0); }, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        KuImage* image = patternImage("drawn.png", 8, 6);
        ASSERT_NE(image, nullptr);
        row.set(image);
        KuGraphicsTexture* target = newTarget(16, 16);
        image->position(KuPoint{8, 8});
        ASSERT_TRUE(drawInto(target, 1, [&] { image->render(); }));
        int w = 0, h = 0;
        std::vector<Pixel> pixels = targetPixels(target, &w, &h);
        ASSERT_EQ(pixels.size(), 256u);
        int wrong = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const bool inside = row.expected && x >= 4 && x < 12 && y >= 5 && y < 11;
                const Pixel want = inside ? row.expected(x - 4, y - 5) : Pixel{0, 0, 0, 0};
                const Pixel got = pixels[static_cast<size_t>(y) * w + x];
                if (got != want && wrong++ < 3)
                    ADD_FAILURE() << "(" << x << ", " << y << ") " << describePixel(got) << " instead of "
                                  << describePixel(want);
            }
        EXPECT_EQ(wrong, 0);
        KuRelease(target);
    }
}

TEST_F(ImageTest, RenderTextureImagesAndCopies) {
    KuImage* canvas = KuImage::newWithSize(KuPoint{32, 16}, false);
    ASSERT_NE(canvas, nullptr);
    KuString* expectedName = KuString::stringWithFormat("RenderTexture-%p", static_cast<void*>(canvas));
    EXPECT_STREQ(canvas->textureName->c_str(), expectedName->c_str());
    EXPECT_NE(textureManager.findTextureWithName(canvas->textureName), nullptr);
    EXPECT_TRUE(canvas->flipVertically());
    EXPECT_EQ(canvas->width, 32);
    canvas->rotation(30);
    canvas->color(KuColor{0.5f, 1, 1, 0.5f});
    EXPECT_FLOAT_EQ(canvas->premultipliedColor.red, 0.25f);
    KuImage* part = canvas->copyImageFrom(KuPoint{4, 2}, KuPoint{8, 4});
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->texture, canvas->texture);
    EXPECT_EQ(part->rotation(), 30);
    EXPECT_TRUE(part->flipVertically());
    EXPECT_FLOAT_EQ(part->color().red, 0.5f);
    EXPECT_EQ(part->textureOffset.x, 4);
    EXPECT_EQ(part->sourceSize().x, 8);
    EXPECT_TRUE(part->centered());
    KuAutoreleasePool::drainCurrentPool();
    KuString* name = KuString::stringWithString(canvas->textureName);
    KuRelease(canvas);
    EXPECT_EQ(textureManager.findTextureWithName(name), nullptr);
}

TEST_F(ImageTest, AlphaAndFiltersReachTheChildren) {
    KuImage* parent = patternImage("parent.png", 4, 4);
    KuImage* child = parent->addRender(patternImage("child.png", 4, 4));
    ASSERT_TRUE(parent && child);
    parent->color(KuColor{1, 0.5f, 0.25f, 1});
    parent->alpha(0.5f);
    EXPECT_FLOAT_EQ(parent->premultipliedColor.green, 0.25f);
    EXPECT_FLOAT_EQ(child->alpha(), 0.5f);
    EXPECT_FLOAT_EQ(child->premultipliedColor.red, 0.5f);
    parent->filterLinear(true);
    EXPECT_TRUE(parent->texture->linearMinFilter());
    EXPECT_TRUE(child->texture->linearMagFilter());
    parent->filterLinearMinMax(false, true);
    EXPECT_FALSE(parent->texture->linearMinFilter());
    EXPECT_TRUE(parent->texture->linearMagFilter());
}

}  // namespace
