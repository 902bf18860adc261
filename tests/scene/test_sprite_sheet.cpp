// Sprite sheets loaded from real files and drawn headless: every frame's pixels land exactly where
// its rectangle and offset say, in each control-file format, from the shared real atlas, from the
// sample project, and from "@2x" variants; the cache; and unusable files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuLayout.h"
#include "KuPackfileManager.h"
#include "KuSpriteSheet.h"
#include "KuTextureManager.h"
#include "RvImageCodec.h"
#include "test_image_support.h"

namespace {

KuString* str(const char* text) {
    return KuString::stringWithString(text);
}

// Where a packed rectangle (tx, ty, w, h; atlas pixels, y down) lands in the target (left,
// bottom; target pixels, y up).
struct Placed {
    int left, bottom, width, height, tx, ty;
};

// Checks every target pixel: inside a placed rectangle the atlas pixel it shows (opaque atlas
// pixels exactly, transparent ones as the clear colour, others not checked); elsewhere the clear
// colour. Returns the number of wrong pixels, describing the first few.
int wrongPixels(KuGraphicsTexture* target, const std::vector<Placed>& placed,
                const std::function<Pixel(int, int)>& atlas) {
    int w = 0, h = 0;
    std::vector<Pixel> pixels = targetPixels(target, &w, &h);
    if (pixels.empty()) {
        ADD_FAILURE() << "no pixels read back";
        return -1;
    }
    int wrong = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Pixel want{0, 0, 0, 0};
            bool check = true;
            for (const Placed& p : placed) {
                if (x < p.left || x >= p.left + p.width || y < p.bottom || y >= p.bottom + p.height) continue;
                // The top row of the rectangle in the atlas is its top row on screen.
                const Pixel source = atlas(p.tx + (x - p.left), p.ty + (p.height - 1 - (y - p.bottom)));
                if (source[3] == 255)
                    want = source;
                else if (source[3] != 0)
                    check = false;
            }
            const Pixel got = pixels[static_cast<size_t>(y) * w + x];
            if (check && got != want && wrong++ < 4)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << describePixel(got)
                              << " instead of " << describePixel(want);
        }
    return wrong;
}

// The pixels of a PNG file, through the codec.
struct Decoded {
    RvImageBitmap bitmap;
    Pixel at(int x, int y) const {
        if (x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height) return {-1, -1, -1, -1};
        const uint8_t* p = bitmap.pixels.data() + (static_cast<size_t>(y) * bitmap.width + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

bool decodeFile(const std::string& path, Decoded* out) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return !bytes.empty() && RvImageDecodePNG(bytes.data(), bytes.size(), &out->bitmap, nullptr);
}

class SpriteSheetTest : public PictureTest {
protected:
    void SetUp() override {
        PictureTest::SetUp();
        if (!graphicsReady()) GTEST_SKIP() << "no OpenGL 3.2 core context available";
    }
    // Draws `frames` of the sheet, frame i centred at positions[i], into a width × height target.
    KuGraphicsTexture* drawFrames(KuSpriteSheet* sheet, const std::vector<const char*>& frames,
                                  const std::vector<KuPoint>& positions, int width, int height,
                                  float scale = 1) {
        KuGraphicsTexture* target = newTarget(width, height);
        std::vector<KuImage*> images;
        for (const char* name : frames) {
            KuImage* image = sheet->copyImageNamed(str(name), false);
            EXPECT_NE(image, nullptr) << name;
            images.push_back(image);
        }
        EXPECT_TRUE(drawInto(target, scale, [&] {
            for (size_t i = 0; i < images.size(); i++)
                if (images[i]) images[i]->renderAt(positions[i]);
        }));
        return target;
    }
};

// >>the real atlas

TEST_F(SpriteSheetTest, RealAtlasFramesDrawPixelExact) {
    const std::string folder = std::string(TANSY_SHARED_DATA_DIR) + "/spritesheets";
    Decoded atlas;
    if (!decodeFile(folder + "/monsters.png", &atlas)) GTEST_SKIP() << "shared data absent: " << folder;
    KuAddResourcePath(folder.c_str());
    KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("monsters"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->frames->count(), 4);
    // Each untrimmed frame centred at (100, 100) of a 200 × 200 target: its canvas starts at
    // 100 - trunc(size / 2).
    struct Row {
        const char* name;
        int tx, ty, w, h;
    };
    const Row rows[] = {{"eggHead.png", 2, 169, 142, 157},
                        {"flowerTop.png", 2, 328, 119, 181},
                        {"helmlok.png", 123, 328, 123, 177},
                        {"skully.png", 2, 2, 155, 165}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KuPoint origin, size;
        ASSERT_EQ(sheet->getImageDataFor(str(row.name), &origin, &size), 0);
        EXPECT_EQ(origin.x, row.tx);
        EXPECT_EQ(origin.y, row.ty);
        EXPECT_EQ(size.x, row.w);
        EXPECT_EQ(size.y, row.h);
        KuGraphicsTexture* target = drawFrames(sheet, {row.name}, {KuPoint{100, 100}}, 200, 200);
        const Placed placed{100 - row.w / 2, 100 - row.h / 2, row.w, row.h, row.tx, row.ty};
        EXPECT_EQ(wrongPixels(target, {placed}, [&](int x, int y) { return atlas.at(x, y); }), 0);
        KuRelease(target);
    }
    // The frame is found without its ".png" suffix too.
    KuImage* bare = sheet->copyImageNamed(str("skully"), false);
    ASSERT_NE(bare, nullptr);
    EXPECT_STREQ(bare->frameName->c_str(), "skully.png");
    EXPECT_TRUE(errors().empty()) << errors().front();
}

// >>formats with trimmed frames

// The frames of the fixture atlas in every format: "whole" untrimmed at (0, 0) 16 × 12; "trim",
// packed at (20, 2) 10 × 8, sat at (3, 2) (y down) of a 16 × 14 canvas; "tall", packed at (34, 10)
// 6 × 14, sat at (5, 1) of a 12 × 20 canvas.
const char* const kFormat4 = R"({"frames": {
  "whole": {"frame": {"x": 0, "y": 0, "w": 16, "h": 12}, "rotated": false, "trimmed": false,
            "spriteSourceSize": {"x": 0, "y": 0, "w": 16, "h": 12}, "sourceSize": {"w": 16, "h": 12}},
  "trim": {"frame": {"x": 20, "y": 2, "w": 10, "h": 8}, "rotated": false, "trimmed": true,
           "spriteSourceSize": {"x": 3, "y": 2, "w": 10, "h": 8}, "sourceSize": {"w": 16, "h": 14}},
  "tall": {"frame": {"x": 34, "y": 10, "w": 6, "h": 14}, "rotated": false, "trimmed": true,
           "spriteSourceSize": {"x": 5, "y": 1, "w": 6, "h": 14}, "sourceSize": {"w": 12, "h": 20}}},
  "meta": {"app": "http://www.texturepacker.com", "version": "1.0", "image": "sheet.png", "format": "RGBA8888",
           "size": {"w": 64, "h": 32}, "scale": "1"}})";

const char* const kFormat2 = R"({"frames": {
  "whole": {"frame": "{{0,0},{16,12}}", "offset": "{0,0}", "rotated": false, "sourceColorRect": "{{0,0},{16,12}}",
            "sourceSize": "{16,12}"},
  "trim": {"frame": "{{20,2},{10,8}}", "offset": "{0,1}", "rotated": false, "sourceColorRect": "{{3,2},{10,8}}",
           "sourceSize": "{16,14}"},
  "tall": {"frame": "{{34,10},{6,14}}", "offset": "{2,2}", "rotated": false, "sourceColorRect": "{{5,1},{6,14}}",
           "sourceSize": "{12,20}"}},
  "metadata": {"format": 2, "textureFileName": "sheet.png", "size": "{64,32}"}})";

const char* const kFormat3 = R"({"frames": {
  "whole": {"aliases": [], "spriteOffset": "{0,0}", "spriteSize": "{16,12}", "spriteSourceSize": "{16,12}",
            "textureRect": "{{0,0},{16,12}}", "textureRotated": false},
  "trim": {"aliases": [], "spriteOffset": "{0,1}", "spriteSize": "{10,8}", "spriteSourceSize": "{16,14}",
           "textureRect": "{{20,2},{10,8}}", "textureRotated": false},
  "tall": {"aliases": [], "spriteOffset": "{2,2}", "spriteSize": "{6,14}", "spriteSourceSize": "{12,20}",
           "textureRect": "{{34,10},{6,14}}", "textureRotated": false}},
  "metadata": {"format": 3, "size": "{64,32}", "textureFileName": "sheet.png"}})";

// Aseprite frames are taken as untrimmed: each draws centred on its own size.
const char* const kFormat5 = R"({"frames": {
  "whole": {"frame": {"x": 0, "y": 0, "w": 16, "h": 12}, "rotated": false, "trimmed": false,
            "spriteSourceSize": {"x": 0, "y": 0, "w": 16, "h": 12}, "sourceSize": {"w": 16, "h": 12}, "duration": 100},
  "trim": {"frame": {"x": 20, "y": 2, "w": 10, "h": 8}, "rotated": false, "trimmed": false,
           "spriteSourceSize": {"x": 0, "y": 0, "w": 10, "h": 8}, "sourceSize": {"w": 10, "h": 8}, "duration": 100},
  "tall": {"frame": {"x": 34, "y": 10, "w": 6, "h": 14}, "rotated": false, "trimmed": false,
           "spriteSourceSize": {"x": 0, "y": 0, "w": 6, "h": 14}, "sourceSize": {"w": 6, "h": 14}, "duration": 100}},
  "meta": {"app": "http://www.aseprite.org/", "version": "1.2.25-x64", "image": "sheet.png", "format": "RGBA8888",
           "size": {"w": 64, "h": 32}, "scale": "1", "frameTags": []}})";

TEST_F(SpriteSheetTest, TrimmedFramesLandAtTheirOffsetInEveryFormat) {
    ASSERT_TRUE(writePNG("sheet.png", 64, 32, patternAtlas(64, 32)));
    // Frames centred at (16, 24), (40, 24) and (64, 24) of an 80 × 48 target. With the canvas
    // centred, a trimmed rectangle's bottom-left is the position - half the canvas + the offset.
    struct Format {
        const char* label;
        const char* control;
        std::vector<Placed> placed;
    };
    const std::vector<Placed> trimmed = {{16 - 8, 24 - 6, 16, 12, 0, 0},
                                         {40 - 8 + 3, 24 - 7 + 4, 10, 8, 20, 2},
                                         {64 - 6 + 5, 24 - 10 + 5, 6, 14, 34, 10}};
    const std::vector<Placed> untrimmed = {
        {16 - 8, 24 - 6, 16, 12, 0, 0}, {40 - 5, 24 - 4, 10, 8, 20, 2}, {64 - 3, 24 - 7, 6, 14, 34, 10}};
    const Format formats[] = {{"format 4", kFormat4, trimmed},
                              {"format 2", kFormat2, trimmed},
                              {"format 3", kFormat3, trimmed},
                              {"format 5", kFormat5, untrimmed}};
    for (const Format& f : formats) {
        SCOPED_TRACE(f.label);
        writeText("sheet.json", f.control);
        KuSpriteSheet::releaseCache();
        KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("sheet"));
        ASSERT_NE(sheet, nullptr);
        KuGraphicsTexture* target = drawFrames(sheet, {"whole", "trim", "tall"},
                                               {KuPoint{16, 24}, KuPoint{40, 24}, KuPoint{64, 24}}, 80, 48);
        EXPECT_EQ(wrongPixels(target, f.placed, patternPixel), 0);
        KuRelease(target);
    }
    EXPECT_TRUE(errors().empty()) << errors().front();
}

TEST_F(SpriteSheetTest, FlippedTrimmedFrameMirrorsItsPixels) {
    ASSERT_TRUE(writePNG("sheet.png", 64, 32, patternAtlas(64, 32)));
    writeText("sheet.json", kFormat4);
    KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("sheet"));
    ASSERT_NE(sheet, nullptr);
    KuImage* image = sheet->copyImageNamed(str("whole"), false);
    ASSERT_NE(image, nullptr);
    image->flipHorizontally(true);
    KuGraphicsTexture* target = newTarget(32, 32);
    ASSERT_TRUE(drawInto(target, 1, [&] { image->renderAt(KuPoint{16, 16}); }));
    // Column c of the frame shows in column 15 - c of the drawn quad.
    const Placed placed{8, 10, 16, 12, 0, 0};
    EXPECT_EQ(wrongPixels(target, {placed}, [](int x, int y) { return patternPixel(15 - x, y); }), 0);
    KuRelease(target);
}

// >>scaled variants

TEST_F(SpriteSheetTest, DeviceScalePicksTheScaledAtlasAndControlFile) {
    // The plain files describe a 4 × 4 frame; the "@2x" files the same frame at 8 × 8 in a
    // different part of a different atlas.
    ASSERT_TRUE(writePNG("hd.png", 16, 16, patternAtlas(16, 16)));
    ASSERT_TRUE(writePNG("hd@2x.png", 64, 32, patternAtlas(64, 32)));
    writeText("hd.json", R"({"frames": {"dot": {"frame": {"x": 0, "y": 0, "w": 4, "h": 4},
        "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 4}, "sourceSize": {"w": 4, "h": 4}}}, "meta": {"version": "1.0"}})");
    writeText("hd@2x.json", R"({"frames": {"dot": {"frame": {"x": 30, "y": 6, "w": 8, "h": 8},
        "spriteSourceSize": {"x": 0, "y": 0, "w": 8, "h": 8}, "sourceSize": {"w": 8, "h": 8}}}, "meta": {"version": "1.0"}})");
    struct Row {
        float deviceScale;
        Placed placed;
        float pointScale;
    };
    // At scale 2 the 8 × 8 pixels fill 4 × 4 points, drawn 1:1 into pixels by a projection of 2
    // pixels per point; the image is centred at (8, 8) points = (16, 16) pixels.
    const Row rows[] = {{1, {6, 6, 4, 4, 0, 0}, 1.0f}, {2, {12, 12, 8, 8, 30, 6}, 0.5f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.deviceScale);
        KuSpriteSheet::releaseCache();
        textureManager.releaseAllTextures();
        KuAutoreleasePool::drainCurrentPool();
        KuSetDeviceScale(row.deviceScale);
        KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("hd"));
        ASSERT_NE(sheet, nullptr);
        KuImage* image = sheet->copyImageNamed(str("dot"), false);
        ASSERT_NE(image, nullptr);
        EXPECT_FLOAT_EQ(image->pointScale, row.pointScale);
        EXPECT_FLOAT_EQ(image->imageSize().x, 4 * row.deviceScale);  // 4 points in device pixels
        const int side = static_cast<int>(16 * row.deviceScale);
        KuGraphicsTexture* target = newTarget(side, side);
        ASSERT_TRUE(drawInto(target, row.deviceScale, [&] { image->renderAt(KuPoint{8, 8}); }));
        EXPECT_EQ(wrongPixels(target, {row.placed}, patternPixel), 0);
        KuRelease(target);
    }
}

// >>the sample project

TEST_F(SpriteSheetTest, SampleProjectSheetsLoadInTheirFormats) {
    const std::string root = std::string(TANSY_SOURCE_DIR) + "/examples";
    KuAddResourcePath((root + "/SpriteSheets").c_str());
    KuAddResourcePath((root + "/_SpriteSheets").c_str());
    struct Row {
        const char* sheet;
        const char* folder;
        int format;
    };
    const Row rows[] = {
        {"Dock", "SpriteSheets", 4}, {"Lighthouse", "SpriteSheets", 2}, {"Common", "_SpriteSheets", 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sheet);
        KuDictionary* control = KuPackfileManager::dictionaryFromJSONFilename(
            KuString::stringWithFormat("%s/%s/%s.json", root.c_str(), row.folder, row.sheet));
        ASSERT_NE(control, nullptr);
        KuObject* meta = control->objectForKey("metadata", control->objectForKey("meta"));
        EXPECT_EQ(KuSpriteSheet::controlFileFormat(static_cast<KuDictionary*>(meta)), row.format);
        KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str(row.sheet));
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->frames->count(), control->dictionaryForKey("frames")->count())
            << "every frame lies inside its atlas";
        // Every frame gives an image whose drawn rectangle lies inside its canvas.
        for (int i = 0; i < sheet->frames->count(); i++) {
            KuString* name = sheet->frames->keyAtIndex(i);
            KuImage* image = sheet->copyImageNamed(name, false);
            ASSERT_NE(image, nullptr) << name->c_str();
            EXPECT_GE(image->frameOffset.x, 0) << name->c_str();
            EXPECT_GE(image->frameOffset.y, 0) << name->c_str();
            EXPECT_LE(image->frameOffset.x + image->width, image->sourceSize().x) << name->c_str();
            EXPECT_LE(image->frameOffset.y + image->height, image->sourceSize().y) << name->c_str();
        }
    }
    EXPECT_TRUE(errors().empty()) << errors().front();
    EXPECT_TRUE(warnings().empty()) << warnings().front();
}

// >>the cache

TEST_F(SpriteSheetTest, CacheSharesSheetsAndTheirAtlasTexture) {
    ASSERT_TRUE(writePNG("sheet.png", 64, 32, patternAtlas(64, 32)));
    const std::string control = writeText("sheet.json", kFormat4);
    KuSpriteSheet* first = KuSpriteSheet::cacheSheetWithName(str("sheet"));
    ASSERT_NE(first, nullptr);
    std::filesystem::remove(control);  // a second load would fail now
    EXPECT_EQ(KuSpriteSheet::cacheSheetWithName(str("sheet")), first);
    EXPECT_TRUE(KuSpriteSheet::doesImageExist(str("sheet"), str("trim")));
    EXPECT_FALSE(KuSpriteSheet::doesImageExist(str("sheet"), str("trim.png")));

    // Frame images share the atlas texture: one cache entry, one use per image.
    KuImage* a = first->copyImageNamed(str("trim"), false);
    KuImage* b = first->copyImageNamed(str("tall"), false);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->texture, b->texture);
    EXPECT_EQ(textureManager.count(), 1);
    EXPECT_EQ(a->texture->useCount, 3);  // the sheet image and two frames
    KuRetain(a);
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(a->texture->useCount, 2);

    // Frame images outlive their sheet: the scene change empties the sheet cache only.
    KuSpriteSheet::releaseCache();
    EXPECT_EQ(KuSpriteSheet::cache()->count(), 0);
    ASSERT_NE(textureManager.findTextureWithName(str("sheet.png")), nullptr);
    EXPECT_EQ(a->texture->useCount, 1);
    KuGraphicsTexture* target = newTarget(32, 32);
    ASSERT_TRUE(drawInto(target, 1, [&] { a->renderAt(KuPoint{16, 16}); }));
    EXPECT_EQ(wrongPixels(target, {{16 - 8 + 3, 16 - 7 + 4, 10, 8, 20, 2}}, patternPixel), 0);
    KuRelease(target);
    KuRelease(a);
    EXPECT_EQ(textureManager.findTextureWithName(str("sheet.png")), nullptr) << "the last user gave it back";
}

TEST_F(SpriteSheetTest, SceneSwitchEmptiesTheSheetCache) {
    ASSERT_TRUE(writePNG("sheet.png", 64, 32, patternAtlas(64, 32)));
    writeText("sheet.json", kFormat4);
    eventManager = new KuEventManager;
    KuBaseScene::newScene(new KuBaseScene, nullptr);
    KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("sheet"));
    ASSERT_NE(sheet, nullptr);
    KuImage* kept = sheet->copyImageNamed(str("whole"), false);
    KuRetain(kept);
    KuBaseScene::newScene(new KuBaseScene, nullptr);
    EXPECT_EQ(KuSpriteSheet::cache()->count(), 0);
    EXPECT_EQ(kept->texture->useCount, 1) << "a frame image kept across the switch still holds its atlas";
    KuRelease(kept);
    KuBaseScene::newScene(nullptr, nullptr);
    KuRelease(eventManager);
    eventManager = nullptr;
    EXPECT_EQ(textureManager.count(), 0);
}

TEST_F(SpriteSheetTest, FrameLookupsAndQuietMisses) {
    ASSERT_TRUE(writePNG("sheet.png", 64, 32, patternAtlas(64, 32)));
    writeText("sheet.json", R"({"frames": {"sign_en": {"frame": {"x": 0, "y": 0, "w": 4, "h": 4}},
        "sign_de": {"frame": {"x": 4, "y": 0, "w": 4, "h": 4}}, "door.png": {"frame": {"x": 8, "y": 0, "w": 4, "h": 4}},
        "lamp_en": {"frame": {"x": 12, "y": 0, "w": 4, "h": 4}}}, "meta": {"version": "1.0"}})");
    KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("sheet"));
    ASSERT_NE(sheet, nullptr);
    struct Row {
        const char* language;
        const char* asked;
        const char* found;  // null: no image
    };
    const Row rows[] = {
        {"en", "sign_en", "sign_en"}, {"de", "sign_en", "sign_de"},   {"de", "lamp_en", "lamp_en"},
        {"en", "door", "door.png"},   {"en", "door.png", "door.png"}, {"en", "window", nullptr},
        {"en", "en", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.language) + " " + row.asked);
        KuSetGameLanguageName(str(row.language));
        clearReports();
        KuImage* quiet = sheet->copyImageNamed(str(row.asked), true);
        EXPECT_TRUE(errors().empty());
        KuImage* loud = sheet->copyImageNamed(str(row.asked), false);
        if (!row.found) {
            EXPECT_EQ(quiet, nullptr);
            EXPECT_EQ(loud, nullptr);
            EXPECT_EQ(errors(), std::vector<std::string>{std::string("Image ") + row.asked +
                                                         " does not exist in SpriteSheet sheet.png."});
            continue;
        }
        ASSERT_NE(quiet, nullptr);
        EXPECT_STREQ(quiet->frameName->c_str(), row.found);
        EXPECT_TRUE(errors().empty());
    }
    KuSetGameLanguageName(nullptr);
    KuPoint origin{-1, -1}, size{-1, -1};
    clearReports();
    EXPECT_EQ(sheet->getImageDataFor(str("door.png"), &origin, &size), 0);
    EXPECT_EQ(origin.x, 8);
    EXPECT_EQ(size.x, 4);
    EXPECT_EQ(sheet->getImageDataFor(str("door.png"), nullptr, &size), -1);
    EXPECT_TRUE(errors().empty()) << "a null output is refused without a message";
    EXPECT_EQ(sheet->getImageDataFor(str("door"), &origin, &size), -1);
    EXPECT_EQ(errors(), std::vector<std::string>{"Image door does not exist in SpriteSheet sheet.png."});
}

TEST_F(SpriteSheetTest, IdleSheetsAndTexturesExpire) {
    ASSERT_TRUE(writePNG("a.png", 8, 8, patternAtlas(8, 8)));
    ASSERT_TRUE(writePNG("b.png", 8, 8, patternAtlas(8, 8)));
    const char* control =
        R"({"frames": {"f": {"frame": {"x": 0, "y": 0, "w": 8, "h": 8}}}, "meta": {"version": "1.0"}})";
    writeText("a.json", control);
    writeText("b.json", control);
    const double savedTime = _globalTime;
    _globalTime = 100;
    KuSpriteSheet* a = KuSpriteSheet::cacheSheetWithName(str("a"));
    _globalTime = 150;
    KuSpriteSheet* b = KuSpriteSheet::cacheSheetWithName(str("b"));
    ASSERT_TRUE(a && b);
    KuRetain(b);                            // someone else holds b: it stays whatever its age
    KuAutoreleasePool::drainCurrentPool();  // as at the end of every frame
    _globalTime = 200;
    EXPECT_EQ(KuSpriteSheet::expireSpriteSheets(120, 0), 0) << "nothing idle for 120 s";
    EXPECT_EQ(KuSpriteSheet::expireSpriteSheets(40, 0), 1);
    EXPECT_FALSE(KuSpriteSheet::cache()->containsKey("a"));
    EXPECT_TRUE(KuSpriteSheet::cache()->containsKey("b"));
    // The atlas of a went with its sheet (the texture expired too once its last image left).
    EXPECT_EQ(textureManager.findTextureWithName(str("a.png")), nullptr);
    EXPECT_NE(textureManager.findTextureWithName(str("b.png")), nullptr);
    KuRelease(b);
    EXPECT_EQ(KuSpriteSheet::expireSpriteSheets(40, 0), 1);
    EXPECT_EQ(KuSpriteSheet::cache()->count(), 0);
    _globalTime = savedTime;
}

// >>bad input

TEST_F(SpriteSheetTest, UnusableSheetsReportAndLeaveNothingCached) {
    ASSERT_TRUE(writePNG("good.png", 64, 32, patternAtlas(64, 32)));
    writeText("good.json", kFormat4);
    writeText("noise.png", "\x89PNG\r\n\x1a\nthis is not a picture at all");
    writeText("noise.json", kFormat4);
    ASSERT_TRUE(writePNG("nojson.png", 8, 8, patternAtlas(8, 8)));
    ASSERT_TRUE(writePNG("broken.png", 8, 8, patternAtlas(8, 8)));
    writeText("broken.json", "{\"frames\": {\"a\": ");
    ASSERT_TRUE(writePNG("noframes.png", 8, 8, patternAtlas(8, 8)));
    writeText("noframes.json", R"({"meta": {"version": "1.0"}})");
    ASSERT_TRUE(writePNG("oldformat.png", 8, 8, patternAtlas(8, 8)));
    writeText("oldformat.json", R"({"frames": {}, "meta": {"app": "x", "version": "0.9"}})");
    struct Row {
        const char* sheet;
        const char* error;
    };
    const Row rows[] = {
        {"missing", "SpriteSheet image missing.png can't be found."},
        {"noise", "SpriteSheet image noise.png can't be found."},
        {"nojson", "SpriteSheet file nojson.json can't be found."},
        {"broken", "Failed to create KuDictionary from packed file broken.json"},
        {"noframes", "SpriteSheet noframes.json is not valid."},
        {"oldformat", "SpriteSheet oldformat.json format 0 is not valid."},
        {"has@sign", "SpriteSheet image has@sign.png can't be found."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sheet);
        clearReports();
        EXPECT_EQ(KuSpriteSheet::cacheSheetWithName(str(row.sheet)), nullptr);
        ASSERT_FALSE(errors().empty());
        EXPECT_EQ(errors().back().rfind(row.error, 0), 0u) << errors().back();
        EXPECT_TRUE(!KuSpriteSheet::cache() || !KuSpriteSheet::cache()->containsKey(row.sheet));
        if (KuStreq(str(row.sheet), "noise")) {
            EXPECT_TRUE(reported("RvTexture: PNG: ")) << "the decoder names the fault";
        }
        EXPECT_FALSE(KuSpriteSheet::doesImageExist(str(row.sheet), str("whole")));
    }
    // Nothing of the failed sheets stays in the texture cache; a good sheet still loads after them.
    KuAutoreleasePool::drainCurrentPool();
    EXPECT_EQ(textureManager.count(), 0);
    clearReports();
    KuSpriteSheet* good = KuSpriteSheet::cacheSheetWithName(str("good"));
    ASSERT_NE(good, nullptr);
    EXPECT_NE(good->copyImageNamed(str("tall"), false), nullptr);
    EXPECT_TRUE(errors().empty());
}

}  // namespace
