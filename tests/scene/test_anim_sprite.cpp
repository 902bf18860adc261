// Animated sprites: the animation dictionary read and written as its tables say, frame names
// resolved through sheets, timing and fall-back rates, triggers, forced frames, hidden layers,
// animations files (Aseprite exports with frame tags included), plain frame lists, and what a
// sprite draws.
#include <cmath>
#include <string>
#include <vector>

#include "../../fuzz/json_targets.h"
#include "KuAnimatedSprite.h"
#include "KuJson.h"
#include "KuSpriteSheet.h"
#include "test_image_support.h"

namespace {

KuString* str(const char* text) {
    return KuString::stringWithString(text);
}

KuDictionary* parse(const std::string& text) {
    KuObject* root = quickParseKuJson(KuString::stringWithString(text.c_str()));
    return root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
}

KuArray<KuDictionary*>* parseArray(const std::string& text) {
    KuDictionary* wrapper = parse("{\"list\": " + text + "}");
    return wrapper ? reinterpret_cast<KuArray<KuDictionary*>*>(wrapper->arrayForKey("list")) : nullptr;
}

// A format 4 control file of 4 × 4 frames laid left to right, then row by row, over a 64 × 32 atlas.
std::string controlFile(const std::vector<std::string>& names) {
    std::string text = "{\"frames\": {";
    for (size_t i = 0; i < names.size(); i++) {
        const int x = static_cast<int>(i % 16) * 4, y = static_cast<int>(i / 16) * 4;
        text += (i ? ", \"" : "\"") + names[i] + "\": {\"frame\": {\"x\": " + std::to_string(x) +
                ", \"y\": " + std::to_string(y) +
                ", \"w\": 4, \"h\": 4}, \"spriteSourceSize\": {\"x\": 0, \"y\": 0, \"w\": 4, \"h\": 4}, "
                "\"sourceSize\": {\"w\": 4, \"h\": 4}}";
    }
    return text + "}, \"meta\": {\"version\": \"1.0\"}}";
}

const std::vector<std::string> kFrames = {"a1",
                                          "a2",
                                          "a3",
                                          "a4",
                                          "b1",
                                          "b2",
                                          "hero_1",
                                          "hero_2",
                                          "hero_walk_1",
                                          "hero_walk_2",
                                          "hero_idle_loop_1",
                                          "hero_body_walk_1",
                                          "hero_body_walk_2",
                                          "hero_head_walk_1"};

int frameIndexOf(const char* name) {
    for (size_t i = 0; i < kFrames.size(); i++)
        if (kFrames[i] == name) return static_cast<int>(i);
    return -1;
}

class AnimTest : public PictureTest {
protected:
    void SetUp() override {
        PictureTest::SetUp();
        if (!graphicsReady()) GTEST_SKIP() << "no OpenGL 3.2 core context available";
        ASSERT_TRUE(writePNG("anim.png", 64, 32, patternAtlas(64, 32)));
        writeText("anim.json", controlFile(kFrames));
        ASSERT_TRUE(writePNG("other.png", 8, 8, patternAtlas(8, 8)));
        writeText("other.json", controlFile({"x"}));
    }
    void TearDown() override {
        KuAnimatedSprite::registerTriggerCallback(nullptr);
        PictureTest::TearDown();
    }
    // An owned sprite of the animations (a JSON array) in sheet "anim"; fails the test when null.
    KuAnimatedSprite* sprite(const std::string& animations, float fps = 15) {
        KuAnimatedSprite* s =
            KuAnimatedSprite::newWithAnimationsArray(fps, parseArray(animations), str("anim"));
        EXPECT_NE(s, nullptr) << animations;
        return s;
    }
};

std::string frameNames(KuAnimationLayer* layer) {
    std::string names;
    for (KuAnimationFrame* f : *layer->frames)
        names += (names.empty() ? "" : " ") + std::string(f->name ? f->name->c_str() : "-");
    return names;
}

// >>the dictionary, read and written

TEST_F(AnimTest, SavedDictionariesFollowTheTables) {
    struct Row {
        const char* label;
        const char* read;
        const char* written;
    };
    const Row rows[] = {
        {"a single-layer dictionary becomes one layer carrying loop 1",
         R"J({"name": "walk", "loop": true, "frames": ["a1", "a2"]})J",
         R"J({"name": "walk", "layers": [{"name": "walk", "loop": 1, "frames": ["a1", "a2"]}]})J"},
        {"values other than zero are written, the sheet is not",
         R"J({"name": "idle", "offset": "(1,2)", "fps": 12.5, "flags": 3, "sheet": "elsewhere", "layers": [
             {"name": "body", "fps": 8, "flags": 2, "frames": ["a1", "a2"], "offsets": ["(0,0)", "(1,-1)"],
              "triggers": [NULL, "step"]},
             {"name": "head", "loop": NO, "frames": ["b1"], "offsets": ["(0,0)"], "triggers": [NULL]}]})J",
         R"J({"name": "idle", "offset": "(1,2)", "fps": 12.5, "flags": 3, "layers": [
             {"name": "body", "flags": 2, "frames": ["a1", "a2"], "offsets": ["(0,0)", "(1,-1)"],
              "triggers": [NULL, "step"], "fps": 8},
             {"name": "head", "frames": ["b1"]}]})J"},
        {"zeros are left out",
         R"J({"name": "z", "offset": "(0,0)", "fps": 0, "flags": 0,
             "layers": [{"name": "l", "fps": 0, "flags": 0, "frames": ["a3"], "offsets": ["(0,0)"]}]})J",
         R"J({"name": "z", "layers": [{"name": "l", "frames": ["a3"]}]})J"},
        {"empty frames keep their place, and their triggers with them",
         R"J({"name": "pause", "layers": [{"name": "l", "frames": ["a1", "null", "a2"], "triggers": ["t1", "t2", "t3"]}]})J",
         R"J({"name": "pause", "layers": [{"name": "l", "frames": ["a1", "null", "a2"], "triggers": ["t1", "t2", "t3"]}]})J"},
        {"frames of another sheet keep their sheet part",
         R"J({"name": "mixed", "layers": [{"name": "l", "frames": ["other:x", "a4"], "offsets": ["(2,3)"]}]
})J",
         R"J({"name": "mixed", "layers": [{"name": "l", "frames": ["other:x", "a4"], "offsets": ["(2,3)", "(0,0)"]
}]
})J"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        KuAnimatedSprite* s = sprite(std::string("[") + row.read + "]");
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->animationOrder->count(), 1);
        KuDictionary* saved = s->animationOrder->objectAtIndex(0)->saveAsDict();
        KuDictionary* expected = parse(row.written);
        ASSERT_NE(expected, nullptr);
        std::string why;
        EXPECT_TRUE(kujson_fuzz::treesEqual(expected, saved, &why)) << why << "\n"
                                                                    << KuJson::stringFromDict(saved)->c_str();
        // What was written reads back to the same dictionary.
        auto* savedList = KuArray<KuDictionary*>::array();
        savedList->addObject(saved);
        KuAnimatedSprite* again = KuAnimatedSprite::newWithAnimationsArray(15, savedList, str("anim"));
        ASSERT_NE(again, nullptr);
        EXPECT_TRUE(
            kujson_fuzz::treesEqual(saved, again->animationOrder->objectAtIndex(0)->saveAsDict(), &why))
            << why;
        KuRelease(again);
        KuRelease(s);
    }
}

TEST_F(AnimTest, SpriteSavesItsAnimationsInNameOrderWithItsSheet) {
    KuAnimatedSprite* s =
        sprite(R"J([{"name": "walk", "frames": ["a1"]}, {"name": "idle", "frames": ["a2"]}])J");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->findAnimationNameAt(0)->c_str(), "walk") << "the order they were added";
    EXPECT_STREQ(s->findAnimationNameAt(1)->c_str(), "idle");
    EXPECT_EQ(s->findAnimationNameAt(2), nullptr);
    EXPECT_EQ(s->findAnimationNameAt(-1), nullptr);
    KuDictionary* saved = s->saveAsDict();
    KuDictionary* expected = parse(R"J({"sheet": "anim", "animations": [
        {"name": "idle", "layers": [{"name": "idle", "frames": ["a2"]}]},
        {"name": "walk", "layers": [{"name": "walk", "frames": ["a1"]}]}]})J");
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(expected, saved, &why)) << why;
    KuRelease(s);
}

// >>frame names

TEST_F(AnimTest, FrameNamesResolveThroughPrefixesAndSheets) {
    KuAnimatedSprite* s = new KuAnimatedSprite;
    KuDictionary* file = parse(R"J({"animations": [
        {"name": "prefixed", "frames": ["_1", "_2", "a1"]},
        {"name": "elsewhere", "frames": ["other:x", "a2"]}]})J");
    ASSERT_EQ(s->addAnimationsFromObject(file, str("anim"), str("hero"), false), 0);
    KuAnimationLayer* prefixed = s->animationNamed(str("prefixed"))->layers->objectAtIndex(0);
    EXPECT_EQ(frameNames(prefixed), "hero_1 hero_2 a1");
    EXPECT_STREQ(prefixed->frames->objectAtIndex(0)->image->frameName->c_str(), "hero_1");
    KuAnimationLayer* elsewhere = s->animationNamed(str("elsewhere"))->layers->objectAtIndex(0);
    EXPECT_STREQ(elsewhere->frames->objectAtIndex(0)->image->textureName->c_str(), "other.png");
    EXPECT_STREQ(elsewhere->frames->objectAtIndex(1)->image->textureName->c_str(), "anim.png");
    EXPECT_EQ(s->sourceKind, kKuAnimationsFromDictionaries);
    EXPECT_EQ(s->animationCount, 2);
    EXPECT_TRUE(errors().empty()) << errors().front();
    KuRelease(s);
}

TEST_F(AnimTest, MissingFramesFailOrAreSkippedQuietly) {
    const char* animation = R"J({"name": "gaps", "frames": ["a1", "missing", "a2", "null"],
        "offsets": ["(1,1)", "(2,2)", "(3,3)", "(4,4)"], "triggers": ["t0", "t1", "t2", "t3"]})J";
    // Quietly, the missing frame is left out and the frames after it take the offsets and
    // triggers by the count of frames kept so far.
    KuAnimatedSprite* s = new KuAnimatedSprite;
    ASSERT_EQ(s->addAnimationsFromObject(parse(std::string("{\"animations\": [") + animation + "]}"),
                                         str("anim"), nullptr, true),
              0);
    KuAnimationLayer* layer = s->animationNamed(str("gaps"))->layers->objectAtIndex(0);
    ASSERT_EQ(layer->frameCount(), 3);
    EXPECT_EQ(frameNames(layer), "a1 a2 -");
    const float offsets[] = {1, 2, 3};
    const char* triggers[] = {"t0", "t1", "t2"};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(layer->frames->objectAtIndex(i)->offset.x, offsets[i]);
        EXPECT_STREQ(layer->frames->objectAtIndex(i)->trigger->c_str(), triggers[i]);
    }
    EXPECT_TRUE(errors().empty());
    KuRelease(s);

    // Loudly, the sheet's message and no sprite.
    EXPECT_EQ(KuAnimatedSprite::newWithAnimationsArray(15, parseArray(std::string("[") + animation + "]"),
                                                       str("anim")),
              nullptr);
    EXPECT_EQ(errors(), std::vector<std::string>{"Image missing does not exist in SpriteSheet anim.png."});

    struct Row {
        const char* label;
        const char* animations;
        KuString* sheet;
        int result;
    };
    const Row rows[] = {
        {"no frames", R"J([{"name": "x", "layers": [{"name": "l"}]}])J", str("anim"), kKuAnimationFailed},
        {"no sheet", R"J([{"name": "x", "frames": ["a1"]}])J", nullptr, kKuAnimationFailed},
        {"a missing sheet", R"J([{"name": "x", "frames": ["nosheet:a1"]}])J", str("anim"),
         kKuAnimationFailed},
        {"not an array", R"J({"name": "x"})J", str("anim"), kKuAnimationNotAnArray},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        KuAnimatedSprite* failing = new KuAnimatedSprite;
        KuObject* list = row.animations[0] == '[' ? static_cast<KuObject*>(parseArray(row.animations))
                                                  : static_cast<KuObject*>(parse(row.animations));
        EXPECT_EQ(failing->addAnimationsArray(reinterpret_cast<KuArray<KuDictionary*>*>(list), row.sheet),
                  row.result);
        KuRelease(failing);
    }
    // The layer-level code behind the first two rows.
    KuAnimation* animation2 = new KuAnimation;
    EXPECT_EQ(
        animation2->initWithDictionary(parse(R"J({"name": "x"})J"), str("anim"), nullptr, false, nullptr),
        kKuAnimationMissingFrames);
    EXPECT_EQ(
        animation2->initWithDictionary(parse(R"J({"frames": ["a1"]})J"), nullptr, nullptr, false, nullptr),
        kKuAnimationMissingFrames);
    EXPECT_EQ(animation2->initWithDictionary(parse(R"J({"frames": ["a1"], "sheet": "anim"})J"), nullptr,
                                             nullptr, false, nullptr),
              0);
    KuRelease(animation2);
}

// >>timing

TEST_F(AnimTest, LayersAdvanceAtTheirRateAndWrapOrStop) {
    struct Row {
        const char* label;
        const char* animation;
        float defaultFps;
        bool loop;
        float duration;
        std::vector<std::pair<float, int>> steps;  // update by dt, then the frame shown
        bool finished;
    };
    const Row rows[] = {
        {"8 fps: 0.49 s is on frame 3",
         R"J({"name": "w", "fps": 8, "frames": ["a1", "a2", "a3", "a4"]})J",
         15,
         true,
         0.5f,
         {{0.49f, 3}},
         false},
        {"8 fps looping: at 0.5 s wrapped to frame 0",
         R"J({"name": "w", "fps": 8, "frames": ["a1", "a2", "a3", "a4"]})J",
         15,
         true,
         0.5f,
         {{0.375f, 3}, {0.125f, 0}},
         false},
        {"8 fps once: stays on frame 3, finished",
         R"J({"name": "w", "fps": 8, "frames": ["a1", "a2", "a3", "a4"]})J",
         15,
         false,
         0.5f,
         {{0.375f, 3}, {0.125f, 3}, {1, 3}},
         true},
        {"the animation's rate when the layer has none",
         R"J({"name": "w", "fps": 4, "layers": [{"name": "l", "frames": ["a1", "a2", "a3", "a4"]}]})J",
         15,
         false,
         1,
         {{0.3f, 1}, {0.5f, 3}},
         false},
        {"the sprite's rate when neither has one",
         R"J({"name": "w", "frames": ["a1", "a2"]})J",
         2,
         false,
         1,
         {{0.4f, 0}, {0.2f, 1}},
         false},
        {"the layer's rate first",
         R"J({"name": "w", "fps": 1, "layers": [{"name": "l", "fps": 10, "frames": ["a1", "a2"]}]})J",
         15,
         false,
         0.2f,
         {{0.15f, 1}, {0.1f, 1}},
         true},
        {"a rate of zero never advances",
         R"J({"name": "w", "frames": ["a1", "a2"]})J",
         0,
         true,
         INFINITY,
         {{5, 0}},
         false},
        {"a layer loops by its own flag",
         R"J({"name": "w", "fps": 2, "loop": 1, "frames": ["a1", "a2"]})J",
         15,
         false,
         1,
         {{1.25f, 0}},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        KuAnimatedSprite* s = sprite(std::string("[") + row.animation + "]", row.defaultFps);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->playAnimation(str("w"), row.loop, true), 0);
        KuAnimationLayer* layer = s->currentAnimation()->layers->objectAtIndex(0);
        EXPECT_FLOAT_EQ(layer->duration, row.duration);
        for (const auto& step : row.steps) {
            s->update(step.first);
            EXPECT_EQ(layer->currentFrameIndex(), step.second) << "after " << step.first;
        }
        EXPECT_EQ(layer->finished, row.finished);
        EXPECT_EQ(s->isPlaying(), !row.finished);
        KuRelease(s);
    }
}

TEST_F(AnimTest, FirstLastForcedAndSteppedFrames) {
    KuAnimatedSprite* s = sprite(R"J([{"name": "walk", "fps": 10, "layers": [
        {"name": "body", "frames": ["a1", "a2", "a3"]}, {"name": "head", "frames": ["b1", "b2"]}]},
        {"name": "empty", "layers": [{"name": "none", "frames": []}]}])J");
    ASSERT_NE(s, nullptr);
    auto indexes = [&] {
        std::string text;
        for (KuAnimationLayer* layer : *s->currentAnimation()->layers)
            text += std::to_string(layer->currentFrameIndex());
        return text;
    };
    s->firstFrame(str("walk"), true);
    EXPECT_TRUE(s->paused);
    s->update(0.25f);
    EXPECT_EQ(indexes(), "00") << "paused on the first frame";
    s->lastFrame(nullptr, true);
    EXPECT_EQ(indexes(), "21");
    s->play();
    EXPECT_FALSE(s->paused);
    EXPECT_EQ(indexes(), "00") << "play starts from the beginning";
    s->update(0.25f);
    EXPECT_EQ(indexes(), "20") << "the head's 0.2 s passed: it loops";
    s->update(0.1f);
    EXPECT_EQ(indexes(), "01") << "play loops every layer";
    s->forceFrame(str("body"), 9);
    EXPECT_EQ(indexes(), "21") << "forced to at most the last frame, one layer by name";
    s->forceFrame(nullptr, 1);
    EXPECT_EQ(indexes(), "11");
    s->stepFrame(1);
    EXPECT_EQ(indexes(), "20");
    s->stepFrame(1);
    EXPECT_EQ(indexes(), "01") << "past the last frame wraps to 0";
    s->stepFrame(-1);
    EXPECT_EQ(indexes(), "20") << "below 0 wraps to the last frame";
    s->firstFrame(str("empty"), true);
    EXPECT_EQ(s->currentAnimation()->layers->objectAtIndex(0)->forcedFrame, -1);
    EXPECT_FALSE(s->isPlaying()) << "a layer without frames is finished from the start";
    KuRelease(s);
}

TEST_F(AnimTest, PlayingReportsMissingAnimations) {
    KuAnimatedSprite* none = new KuAnimatedSprite;
    EXPECT_EQ(none->playAnimation(str("walk"), true, false), -1);
    EXPECT_EQ(warnings(), std::vector<std::string>{"Animation dict missing for anim walk."});
    KuRelease(none);
    clearReports();
    KuAnimatedSprite* s = sprite(R"J([{"name": "walk", "flags": 6, "loop": 1, "frames": ["a1"]}])J");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->playAnimation(str("walk"), false, true), 0);
    EXPECT_EQ(s->playAnimation(str("run"), true, false), -1);
    EXPECT_TRUE(warnings().empty());
    EXPECT_EQ(s->currentAnimation(), nullptr) << "a missing animation stops the current one";
    EXPECT_EQ(s->layerCount(), 0);
    EXPECT_EQ(s->playAnimation(str("run"), true, true), -1);
    EXPECT_EQ(warnings(), std::vector<std::string>{"Animation run not found."});
    EXPECT_EQ(s->animationFlags(str("walk")), 6);
    EXPECT_EQ(s->animationFlags(nullptr), 0);
    EXPECT_TRUE(s->isAnimationLooping(str("walk")));
    EXPECT_TRUE(s->hasAnimation(str("walk")));
    EXPECT_FALSE(s->hasAnimation(str("run")));
    KuRelease(s);
}

// >>triggers and layers

std::vector<std::string> triggered;
KuObject* triggeredBy = nullptr;
void recordTrigger(KuObject* reference, KuString* trigger) {
    triggered.emplace_back(trigger ? trigger->c_str() : "(null)");
    triggeredBy = reference;
}

TEST_F(AnimTest, TriggerIsReportedOnceAtTheFollowingUpdate) {
    KuAnimatedSprite* s = sprite(R"J([{"name": "blast", "fps": 10,
        "frames": ["a1", "a2", "a3"], "triggers": [NULL, NULL, "boom"]}])J");
    ASSERT_NE(s, nullptr);
    triggered.clear();
    KuAnimatedSprite::registerTriggerCallback(recordTrigger);
    KuRenderNode owner;
    s->referenceObject = &owner;
    ASSERT_EQ(s->playAnimation(str("blast"), false, true), 0);
    KuGraphicsTexture* target = newTarget(16, 16);
    struct Step {
        float dt;
        size_t reported;  // triggers reported after the update
    };
    // Frame 2 is first drawn after 0.25 s; its trigger is reported by the update after that draw.
    const Step steps[] = {{0, 0}, {0.15f, 0}, {0.1f, 0}, {0.01f, 1}, {0.01f, 1}, {1, 1}, {0, 1}};
    for (const Step& step : steps) {
        s->update(step.dt);
        EXPECT_EQ(triggered.size(), step.reported) << "after " << step.dt;
        ASSERT_TRUE(drawInto(target, 1, [&] { s->render(); }));
    }
    ASSERT_EQ(triggered.size(), 1u);
    EXPECT_EQ(triggered[0], "boom");
    EXPECT_EQ(triggeredBy, &owner);
    // Frames reached by forcing report nothing.
    s->playAnimation(str("blast"), false, true);
    s->forceFrame(nullptr, 2);
    ASSERT_TRUE(drawInto(target, 1, [&] { s->render(); }));
    s->update(0);
    EXPECT_EQ(triggered.size(), 1u);
    KuRelease(target);
    KuRelease(s);
}

TEST_F(AnimTest, HiddenLayersAreRememberedAcrossAnimations) {
    KuAnimatedSprite* s = sprite(R"J([
        {"name": "walk", "layers": [{"name": "body", "flags": 1, "frames": ["a1"]}, {"name": "hat", "flags": 2, "frames": ["b1"]}]},
        {"name": "run", "layers": [{"name": "body", "flags": 1, "frames": ["a2"]}, {"name": "hat", "flags": 2, "frames": ["b2"]}]}])J");
    ASSERT_NE(s, nullptr);
    auto hidden = [&] {
        std::string text;
        for (KuAnimationLayer* layer : *s->currentAnimation()->layers)
            text += layer->hidden ? "h" : "v";
        return text;
    };
    s->playAnimation(str("walk"), true, true);
    s->showLayer(str("hat"), false, false);
    EXPECT_EQ(hidden(), "vh");
    s->playAnimation(str("run"), true, true);
    EXPECT_EQ(hidden(), "vv") << "not remembered";
    s->playAnimation(str("walk"), true, true);
    EXPECT_EQ(hidden(), "vh") << "without remembered names a layer keeps its own flag";
    s->showLayer(str("hat"), false, true);
    s->playAnimation(str("run"), true, true);
    EXPECT_EQ(hidden(), "vh") << "remembered for every animation";
    s->showLayer(1, false);
    EXPECT_EQ(hidden(), "hh") << "by flags";
    s->showLayer(nullptr, true, true);
    EXPECT_EQ(hidden(), "vv");
    s->playAnimation(str("walk"), true, true);
    EXPECT_EQ(hidden(), "vv") << "showing every layer forgot them all, and starting shows every layer";
    KuRelease(s);
}

// >>animations files

TEST_F(AnimTest, AsepriteExportWithFrameTags) {
    writeText("hero.json", R"J({"frames": {
        "hero 0.aseprite": {"frame": {"x": 0, "y": 0, "w": 4, "h": 4}, "duration": 100},
        "hero 1.aseprite": {"frame": {"x": 4, "y": 0, "w": 4, "h": 4}, "duration": 100}},
      "meta": {"app": "http://www.aseprite.org/", "version": "1.2.25-x64", "image": "hero.png",
               "frameTags": [{"name": "walk", "from": 0, "to": 2, "direction": "forward"},
                             {"name": "idle_loop", "from": 3, "to": 3, "direction": "forward"}]}})J");
    KuAnimatedSprite* s =
        KuAnimatedSprite::newWithAnimationsFile(12, str("hero.json"), str("anim"), str("hero"), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->sourceKind, kKuAnimationsFromTags);
    EXPECT_EQ(s->animationCount, 2);
    EXPECT_STREQ(s->findAnimationNameAt(0)->c_str(), "walk");
    EXPECT_STREQ(s->sheetName->c_str(), "anim");
    KuAnimationLayer* walk = s->animationNamed(str("walk"))->layers->objectAtIndex(0);
    EXPECT_EQ(walk->name, nullptr);
    EXPECT_EQ(frameNames(walk), "hero_walk_1 hero_walk_2 hero_walk_3");
    EXPECT_NE(walk->frames->objectAtIndex(1)->image, nullptr);
    EXPECT_EQ(walk->frames->objectAtIndex(2)->image, nullptr) << "a frame the sheet lacks keeps its time";
    EXPECT_FALSE(s->isAnimationLooping(str("walk")));
    EXPECT_TRUE(s->isAnimationLooping(str("idle_loop")));
    ASSERT_EQ(s->playAnimation(str("idle_loop"), false, true), 0);
    EXPECT_TRUE(s->currentAnimation()->layers->objectAtIndex(0)->looping);
    EXPECT_FLOAT_EQ(walk->duration, 0) << "not started yet";
    s->playAnimation(str("walk"), false, true);
    EXPECT_FLOAT_EQ(walk->duration, 0.25f) << "3 frames at the default 12 fps";
    // Layer visibility is not for tag exports.
    s->showLayer(nullptr, false, true);
    EXPECT_FALSE(walk->hidden);
    EXPECT_TRUE(errors().empty()) << errors().front();
    KuRelease(s);

    // The same tags given as "aseanims".
    writeText("tags.json", R"J({"aseanims": [{"name": "walk", "from": 5, "to": 6}]})J");
    s = KuAnimatedSprite::newWithAnimationsFile(12, str("tags.json"), str("anim"), str("hero"), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(frameNames(s->animationNamed(str("walk"))->layers->objectAtIndex(0)),
              "hero_walk_1 hero_walk_2");
    KuRelease(s);
}

TEST_F(AnimTest, LayeredTagsAndDictionaryFiles) {
    writeText("layered.json", R"J({"aselayeranims": {
        "layers": [{"name": "body", "group": "g"}, {"name": "loose"}, {"name": "head", "group": "g"}],
        "frameTags": [{"name": "walk", "from": 0, "to": 1}]}})J");
    KuAnimatedSprite* s =
        KuAnimatedSprite::newWithAnimationsFile(10, str("layered.json"), str("anim"), str("hero"), true);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->sourceKind, kKuAnimationsFromLayerTags);
    KuAnimation* walk = s->animationNamed(str("walk"));
    ASSERT_EQ(walk->layers->count(), 2);
    EXPECT_STREQ(walk->layers->objectAtIndex(0)->name->c_str(), "body");
    EXPECT_EQ(frameNames(walk->layers->objectAtIndex(0)), "hero_body_walk_1 hero_body_walk_2");
    EXPECT_EQ(frameNames(walk->layers->objectAtIndex(1)), "hero_head_walk_1 hero_head_walk_2");
    EXPECT_EQ(walk->layers->objectAtIndex(1)->frames->objectAtIndex(1)->image, nullptr);
    s->playAnimation(str("walk"), true, true);
    s->showLayer(str("head"), false, true);
    EXPECT_TRUE(walk->layers->objectAtIndex(1)->hidden);
    KuRelease(s);

    writeText(
        "nameless.json",
        R"J({"aselayeranims": {"layers": [{"group": "g"}], "frameTags": [{"name": "w", "from": 0, "to": 0}]}})J");
    EXPECT_EQ(
        KuAnimatedSprite::newWithAnimationsFile(10, str("nameless.json"), str("anim"), str("hero"), true),
        nullptr);

    writeText("dicts.json", R"J({"sheet": "anim", "animations": [{"name": "w", "frames": ["a1", "_1"]}]})J");
    s = KuAnimatedSprite::newWithAnimationsFile(10, str("dicts.json"), nullptr, str("hero"), false);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->sheetName->c_str(), "anim") << "the file's sheet";
    EXPECT_EQ(frameNames(s->animationNamed(str("w"))->layers->objectAtIndex(0)), "a1 hero_1");
    KuRelease(s);

    clearReports();
    EXPECT_EQ(KuAnimatedSprite::newWithAnimationsFile(10, str("absent.json"), str("anim"), nullptr, true),
              nullptr);
    EXPECT_FALSE(errors().empty());
    writeText("huge.json", R"J({"aseanims": [{"name": "w", "from": 0, "to": 2000000000}]})J");
    EXPECT_EQ(KuAnimatedSprite::newWithAnimationsFile(10, str("huge.json"), str("anim"), nullptr, true),
              nullptr);
    EXPECT_TRUE(reported("Animation tag w spans 2000000001 frames"));
}

// >>plain frame lists and single images

TEST_F(AnimTest, PlainFrameListsPlayLooped) {
    auto* names = KuArray<KuString*>::array();
    names->addObject(str("a1"));
    names->addObject(str("other:x"));
    KuAnimatedSprite* s = KuAnimatedSprite::newWithImages(10, nullptr, str("anim"), names);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->findAnimationNameAt(0)->c_str(), "anim");
    ASSERT_NE(s->currentAnimation(), nullptr);
    KuAnimationLayer* layer = s->currentAnimation()->layers->objectAtIndex(0);
    EXPECT_STREQ(layer->name->c_str(), "layer");
    EXPECT_TRUE(layer->looping);
    EXPECT_EQ(frameNames(layer), "a1 other:x");
    s->update(0.25f);
    EXPECT_EQ(layer->currentFrameIndex(), 0) << "looped round";
    // Frames come back after freeImages.
    s->freeImages();
    EXPECT_EQ(layer->frames->objectAtIndex(1)->image, nullptr);
    s->reloadImages();
    ASSERT_NE(layer->frames->objectAtIndex(1)->image, nullptr);
    EXPECT_STREQ(layer->frames->objectAtIndex(1)->image->textureName->c_str(), "other.png");
    KuRelease(s);

    names->addObject(str("nothing"));
    EXPECT_EQ(KuAnimatedSprite::newWithImages(10, str("x"), str("anim"), names), nullptr);
    EXPECT_TRUE(errors().empty()) << "frame lists are looked up quietly";
}

// >>drawing

TEST_F(AnimTest, LayersDrawTheirFramesAtTheirOffsets) {
    KuAnimatedSprite* s = sprite(R"J([{"name": "pose", "offset": "(2,0)", "layers": [
        {"name": "back", "frames": ["a2"], "offsets": ["(-6,0)"]},
        {"name": "front", "frames": ["b1"], "offsets": ["(6,3)"]}]}])J");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->playAnimation(str("pose"), true, true), 0);
    s->position(KuPoint{14, 10});
    KuGraphicsTexture* target = newTarget(32, 20);
    // Each 4 × 4 frame is centred on sprite position + animation offset + frame offset.
    struct Placed {
        int left, bottom, frame;
    };
    auto check = [&](std::vector<Placed> placed) {
        int w = 0, h = 0;
        std::vector<Pixel> pixels = targetPixels(target, &w, &h);
        int wrong = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                Pixel want{0, 0, 0, 0};
                for (const Placed& p : placed)
                    if (x >= p.left && x < p.left + 4 && y >= p.bottom && y < p.bottom + 4)
                        want = patternPixel(p.frame * 4 + (x - p.left), 3 - (y - p.bottom));
                if (pixels[static_cast<size_t>(y) * w + x] != want) wrong++;
            }
        return wrong;
    };
    ASSERT_TRUE(drawInto(target, 1, [&] { s->render(); }));
    EXPECT_EQ(check({{14 + 2 - 6 - 2, 10 - 2, frameIndexOf("a2")},
                     {14 + 2 + 6 - 2, 10 + 3 - 2, frameIndexOf("b1")}}),
              0);
    s->showLayer(str("front"), false, false);
    ASSERT_TRUE(drawInto(target, 1, [&] { s->render(); }));
    EXPECT_EQ(check({{14 + 2 - 6 - 2, 10 - 2, frameIndexOf("a2")}}), 0) << "a hidden layer draws nothing";
    s->freeImages();
    ASSERT_TRUE(drawInto(target, 1, [&] { s->render(); }));
    EXPECT_EQ(check({}), 0) << "freed images draw nothing";
    KuRelease(target);
    KuRelease(s);

    // A sprite of one image draws it, here through its clip rectangle's left half.
    KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(str("anim"));
    ASSERT_NE(sheet, nullptr);
    KuAnimatedSprite* single = KuAnimatedSprite::newWithImage(sheet->copyImageNamed(str("a3"), false));
    ASSERT_NE(single, nullptr);
    single->position(KuPoint{4, 4});
    single->clipX = 0;
    single->clipY = 0;
    single->clipW = 4;
    single->clipH = 8;
    target = newTarget(8, 8);
    ASSERT_TRUE(drawInto(target, 1, [&] { single->render(); }));
    // The frame covers (2, 2)–(6, 6); the clip keeps x below 4.
    EXPECT_EQ(targetPixel(target, 2, 3), patternPixel(frameIndexOf("a3") * 4, 2));
    EXPECT_EQ(targetPixel(target, 3, 2), patternPixel(frameIndexOf("a3") * 4 + 1, 3));
    EXPECT_EQ(targetPixel(target, 4, 3), (Pixel{0, 0, 0, 0})) << "outside the clip rectangle";
    EXPECT_EQ(targetPixel(target, 5, 5), (Pixel{0, 0, 0, 0})) << "outside the clip rectangle";
    KuRelease(target);
    KuRelease(single);
}

}  // namespace
