// Sprite-sheet control files without any texture: the format decision, every format's frame
// rules, frames cut to the atlas, and the error texts of unusable files.
#include <cmath>
#include <string>

#include "KuJson.h"
#include "KuSpriteSheet.h"
#include "test_image_support.h"

namespace {

KuDictionary* parse(const std::string& text) {
    KuObject* root = quickParseKuJson(KuString::stringWithString(text.c_str()));
    return root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
}

KuString* str(const char* text) {
    return KuString::stringWithString(text);
}

using SpriteSheetFormats = PictureTest;

TEST_F(SpriteSheetFormats, FormatIsDecidedFromTheMetaObject) {
    struct Row {
        const char* meta;
        int format;
    };
    const Row rows[] = {
        {R"({"format": 3, "version": "1.0"})", 3},  // an integer format wins over the version
        {R"({"format": 2})", 2},
        {R"({"version": "1.0"})", 4},
        {R"({"version": "1"})", 4},
        {R"({"version": "1.0", "format": "RGBA8888"})", 4},  // a texture format text is no format number
        {R"({"format": 0, "version": "1.0"})", 4},
        {R"({"app": "http://www.aseprite.org/", "version": "1.2.25-x64", "format": "RGBA8888"})", 5},
        {R"({"app": "https://www.aseprite.org/", "version": "1.3"})", 5},
        {R"({"app": "http://www.texturepacker.com", "version": "1.1"})", 0},
        {R"({"app": "http://www.aseprite.org", "version": "2"})", 0},  // not the exact identifier
        {R"({"format": 7})", 7},
        {R"({})", 0},
    };
    for (const Row& row : rows) {
        KuDictionary* meta = parse(row.meta);
        ASSERT_NE(meta, nullptr) << row.meta;
        EXPECT_EQ(KuSpriteSheet::controlFileFormat(meta), row.format) << row.meta;
    }
    EXPECT_EQ(KuSpriteSheet::controlFileFormat(nullptr), 0);
}

struct FrameRow {
    const char* label;
    const char* meta;
    const char* frame;
    KuPoint origin, far, offset, sourceSize;
    KuRect spriteSource;
};

TEST_F(SpriteSheetFormats, EachFormatReadsItsFrameKeys) {
    const FrameRow rows[] = {
        {"format 4, the worked example",
         R"("version": "1.0")",
         R"({"frame": {"x": 10, "y": 20, "w": 30, "h": 40}, "spriteSourceSize": {"x": 5, "y": 6, "w": 30, "h": 40},
             "sourceSize": {"w": 64, "h": 64}, "rotated": false, "trimmed": true})",
         {10, 20},
         {40, 60},
         {5, 18},
         {64, 64},
         {{5, 6}, {35, 46}}},
        {"format 4, untrimmed",
         R"("version": "1.0")",
         R"({"frame": {"x": 2, "y": 169, "w": 142, "h": 157}, "spriteSourceSize": {"x": 0, "y": 0, "w": 142, "h": 157},
             "sourceSize": {"w": 142, "h": 157}})",
         {2, 169},
         {144, 326},
         {0, 0},
         {142, 157},
         {{0, 0}, {142, 157}}},
        {"format 2 strings",
         R"("format": 2)",
         R"({"frame": "{{621,244},{117,30}}", "offset": "{43.5,0}", "sourceColorRect": "{{105,15},{117,30}}",
             "sourceSize": "{240,60}"})",
         {621, 244},
         {738, 274},
         {105, 15},
         {240, 60},
         {{105, 15}, {222, 45}}},
        {"format 2, a negative height counts by its size",
         R"("format": 2)",
         R"({"frame": "{{0,0},{8,8}}", "sourceColorRect": "{{1,2},{8,-8}}", "sourceSize": "{16,16}"})",
         {0, 0},
         {8, 8},
         {1, 6},
         {16, 16},
         {{1, 2}, {9, -6}}},
        {"format 3 strings",
         R"("format": 3, "version": "1.0")",
         R"({"textureRect": "{{87,2},{26,10}}", "spriteOffset": "{0,1}", "spriteSize": "{26,10}",
             "spriteSourceSize": "{26,18}", "spriteTrimmed": true})",
         {87, 2},
         {113, 12},
         {0, 5},
         {26, 18},
         {{0, 0}, {0, 0}}},
        {"format 3, parenthesised points",
         R"("format": 3)",
         R"J({"textureRect": "{{0,0},{4,6}}", "spriteOffset": "(-1,-1.5)", "spriteSize": "(4,6)",
             "spriteSourceSize": "(10,12)"})J",
         {0, 0},
         {4, 6},
         {2, 1.5f},
         {10, 12},
         {{0, 0}, {0, 0}}},
        {"format 5 (Aseprite), taken as untrimmed",
         R"("app": "http://www.aseprite.org/")",
         R"({"frame": {"x": 16, "y": 0, "w": 16, "h": 16}, "spriteSourceSize": {"x": 0, "y": 0, "w": 16, "h": 16},
             "sourceSize": {"w": 99, "h": 99}, "duration": 100})",
         {16, 0},
         {32, 16},
         {0, 0},
         {16, 16},
         {{0, 0}, {16, 16}}},
        {"format 5 with an inner rectangle",
         R"("app": "http://www.aseprite.org/")",
         R"({"frame": {"x": 0, "y": 0, "w": 20, "h": 10}, "spriteSourceSize": {"x": 2, "y": 3, "w": 5, "h": 4}})",
         {0, 0},
         {20, 10},
         {2, 3},
         {20, 10},
         {{2, 3}, {7, 7}}},
        {"unreadable strings and missing keys read as zeros",
         R"("format": 2)",
         R"({"frame": "{{1,2},{3}}", "sourceColorRect": 17})",
         {0, 0},
         {0, 0},
         {0, 0},
         {0, 0},
         {{0, 0}, {0, 0}}},
    };
    for (const FrameRow& row : rows) {
        SCOPED_TRACE(row.label);
        std::string text =
            std::string(R"({"frames": {"f": )") + row.frame + R"(}, "meta": {)" + row.meta + "}}";
        KuDictionary* control = parse(text);
        ASSERT_NE(control, nullptr) << text;
        KuDictionary* frames = KuSpriteSheet::framesFromControlDictionary(control, str("t"), KuPoint{0, 0});
        ASSERT_NE(frames, nullptr);
        ASSERT_EQ(frames->count(), 1);
        auto* f = static_cast<KuSpriteSheetFrame*>(frames->objectForKey("f"));
        ASSERT_NE(f, nullptr);
        EXPECT_FLOAT_EQ(f->textureOrigin.x, row.origin.x);
        EXPECT_FLOAT_EQ(f->textureOrigin.y, row.origin.y);
        EXPECT_FLOAT_EQ(f->textureFarCorner.x, row.far.x);
        EXPECT_FLOAT_EQ(f->textureFarCorner.y, row.far.y);
        EXPECT_FLOAT_EQ(f->offset.x, row.offset.x);
        EXPECT_FLOAT_EQ(f->offset.y, row.offset.y);
        EXPECT_FLOAT_EQ(f->sourceSize.x, row.sourceSize.x);
        EXPECT_FLOAT_EQ(f->sourceSize.y, row.sourceSize.y);
        EXPECT_FLOAT_EQ(f->spriteSourceRect.first.x, row.spriteSource.first.x);
        EXPECT_FLOAT_EQ(f->spriteSourceRect.first.y, row.spriteSource.first.y);
        EXPECT_FLOAT_EQ(f->spriteSourceRect.second.x, row.spriteSource.second.x);
        EXPECT_FLOAT_EQ(f->spriteSourceRect.second.y, row.spriteSource.second.y);
    }
    EXPECT_TRUE(errors().empty());
}

TEST_F(SpriteSheetFormats, FramesKeepKeyOrderAndMetadataWinsOverMeta) {
    KuDictionary* control =
        parse(R"({"frames": {"b": {"frame": "{{0,0},{1,1}}"}, "a": {"frame": "{{1,0},{1,1}}"},
                                     "a.png": {"frame": "{{2,0},{1,1}}"}},
                                     "metadata": {"format": 2}, "meta": {"format": 9}})");
    KuDictionary* frames = KuSpriteSheet::framesFromControlDictionary(control, str("order"), KuPoint{0, 0});
    ASSERT_NE(frames, nullptr) << "the metadata object is used before meta";
    ASSERT_EQ(frames->count(), 3);
    EXPECT_STREQ(frames->keyAtIndex(0)->c_str(), "a");
    EXPECT_STREQ(frames->keyAtIndex(1)->c_str(), "a.png");
    EXPECT_STREQ(frames->keyAtIndex(2)->c_str(), "b");
}

TEST_F(SpriteSheetFormats, UnusableControlFilesGiveTheirErrorAndNoFrames) {
    struct Row {
        const char* control;
        const char* error;
    };
    const Row rows[] = {
        {R"({"meta": {"version": "1.0"}})", "SpriteSheet bad.json is not valid."},
        {R"({"frames": [{"filename": "a"}], "meta": {"version": "1.0"}})",
         "SpriteSheet bad.json is not valid."},
        {R"({"frames": {}})", "SpriteSheet bad.json is not valid."},
        {R"({"frames": {}, "meta": "1.0"})", "SpriteSheet bad.json is not valid."},
        {R"({"frames": {}, "meta": {"app": "someone", "version": "2.0"}})",
         "SpriteSheet bad.json format 0 is not valid."},
        {R"({"frames": {}, "metadata": {"format": 1}})", "SpriteSheet bad.json format 1 is not valid."},
        {R"({"frames": {}, "metadata": {"format": 6}})", "SpriteSheet bad.json format 6 is not valid."},
    };
    for (const Row& row : rows) {
        clearReports();
        KuDictionary* control = parse(row.control);
        ASSERT_NE(control, nullptr) << row.control;
        EXPECT_EQ(KuSpriteSheet::framesFromControlDictionary(control, str("bad"), KuPoint{0, 0}), nullptr)
            << row.control;
        ASSERT_EQ(errors().size(), 1u) << row.control;
        EXPECT_EQ(errors()[0], row.error);
    }
    clearReports();
    EXPECT_EQ(KuSpriteSheet::framesFromControlDictionary(nullptr, str("none"), KuPoint{0, 0}), nullptr);
    EXPECT_EQ(errors(), std::vector<std::string>{"SpriteSheet none.json is not valid."});
}

TEST_F(SpriteSheetFormats, FramesReachingOutsideTheAtlasAreCutOrLeftOut) {
    // A 64 × 32 atlas. The offset follows the cut edges at the left and at the bottom.
    KuDictionary* control = parse(R"({"frames": {
        "inside": {"frame": {"x": 0, "y": 0, "w": 64, "h": 32}, "spriteSourceSize": {"x": 0, "y": 0, "w": 64, "h": 32},
                   "sourceSize": {"w": 64, "h": 32}},
        "right": {"frame": {"x": 60, "y": 4, "w": 10, "h": 8}, "spriteSourceSize": {"x": 1, "y": 2, "w": 10, "h": 8},
                  "sourceSize": {"w": 12, "h": 12}},
        "bottomLeft": {"frame": {"x": -3, "y": 28, "w": 10, "h": 8}, "spriteSourceSize": {"x": 1, "y": 2, "w": 10, "h": 8},
                       "sourceSize": {"w": 12, "h": 12}},
        "away": {"frame": {"x": 64, "y": 0, "w": 4, "h": 4}, "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 4},
                 "sourceSize": {"w": 4, "h": 4}}},
        "meta": {"version": "1.0"}})");
    KuDictionary* frames = KuSpriteSheet::framesFromControlDictionary(control, str("atlas"), KuPoint{64, 32});
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->count(), 3);
    EXPECT_FALSE(frames->containsKey("away"));
    struct Row {
        const char* name;
        KuPoint origin, far, offset;
    };
    const Row rows[] = {
        {"inside", {0, 0}, {64, 32}, {0, 0}},
        {"right", {60, 4}, {64, 12}, {1, 2}},      // (1, 12 - 2 - 8): the right edge moved only
        {"bottomLeft", {0, 28}, {7, 32}, {4, 6}},  // 3 cut at the left, 4 at the bottom
    };
    for (const Row& row : rows) {
        auto* f = static_cast<KuSpriteSheetFrame*>(frames->objectForKey(row.name));
        ASSERT_NE(f, nullptr) << row.name;
        EXPECT_EQ(f->textureOrigin.x, row.origin.x) << row.name;
        EXPECT_EQ(f->textureOrigin.y, row.origin.y) << row.name;
        EXPECT_EQ(f->textureFarCorner.x, row.far.x) << row.name;
        EXPECT_EQ(f->textureFarCorner.y, row.far.y) << row.name;
        EXPECT_EQ(f->offset.x, row.offset.x) << row.name;
        EXPECT_EQ(f->offset.y, row.offset.y) << row.name;
    }
    EXPECT_TRUE(reported("SpriteSheet atlas.json frame right reaches outside its 64x32 atlas; cut to it."));
    EXPECT_TRUE(reported("SpriteSheet atlas.json frame away lies outside its 64x32 atlas; left out."));
    EXPECT_TRUE(errors().empty());
}

}  // namespace
