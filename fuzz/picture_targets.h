// The picture fuzz targets' bodies: the polygon text form with triangulation, and sprite-sheet
// control files with animation dictionaries and animations files through their readers.
// Header-only so that the libFuzzer binaries and the corpus replay test compile the same code.
// Each target returns an empty text when the input behaved, else a description of the fault.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "KuAnimatedSprite.h"
#include "KuJson.h"
#include "KuLog.h"
#include "KuPolygonObject.h"
#include "KuSpriteSheet.h"
#include "KuTextureManager.h"
#include "json_targets.h"

namespace picture_fuzz {

using Target = std::string (*)(const uint8_t*, size_t);

// Every report is handled: a rejected input must not end the run.
class QuietHooks : public KuLogHooks {
public:
    int appReceivesWarning(const char*) override { return 1; }
    int appReceivesError(const char*) override { return 1; }
};

// >>polygons

// Far more points than a walkbox has; larger inputs are read and written but not triangulated.
constexpr int kMaxTriangulatedPoints = 600;

inline bool isCorner(const KuPolygonObject* polygon, float x, float y) {
    for (int i = 0; i < polygon->count(); i++) {
        const KuPoint p = polygon->pointAtIndex(i);
        if ((p.x == x || (std::isnan(p.x) && std::isnan(x))) &&
            (p.y == y || (std::isnan(p.y) && std::isnan(y))))
            return true;
    }
    return false;
}

// The text form read, written and read again gives the same points; triangulation (with the
// reversed retry) gives at most n - 2 triangles whose corners are the polygon's own points; the
// queries run on whatever came out.
inline std::string polygonTarget(const uint8_t* data, size_t size) {
    KuString* text = kujson_fuzz::textOf(data, size);
    KuPolygonObject* polygon = KuPolygonObject::polygonWithString(text);
    KuString* written = polygon->stringFromPoints();
    KuPolygonObject* again = KuPolygonObject::polygonWithString(written);
    if (again->count() != polygon->count()) return "text form lost points";
    if (!KuStreq(again->stringFromPoints(), written)) return "text form is not stable";
    const int n = polygon->count();
    if (n <= kMaxTriangulatedPoints) {
        const bool made = polygon->makeTriangleVector(true);
        const size_t triangles = polygon->triangleVector().size();
        if (made != (triangles > 0)) return "triangulation result disagrees with its triangles";
        if (n < 3 && triangles > 0) return "triangles from fewer than three points";
        if (n >= 3 && triangles > static_cast<size_t>(n - 2)) return "more than n - 2 triangles";
        for (const _KuTriangle& t : polygon->triangleVector())
            for (int c = 0; c < 3; c++)
                if (!isCorner(polygon, t.x[c], t.y[c])) return "a triangle corner is not a polygon point";
    }
    const KuPoint centre = polygon->center();
    polygon->isInPolygon(centre);
    polygon->isInPolygonComplex(centre, true);
    KuPoint a{0, 0}, b{0, 0};
    polygon->closestPointTo(KuPoint{centre.x + 1000, centre.y - 7}, &a, &b);
    if (n >= 2) polygon->inLineOfSight(polygon->pointAtIndex(0), polygon->pointAtIndex(n / 2), data[0] & 1);
    polygon->isConcave();
    for (int i = 0; i < n && i < 64; i++)
        polygon->getMidVecAtPoint(i);
    return "";
}

// >>sprite sheets and animations

// The in-memory sheet the animation readers find frames in: an empty texture under "fuzz.png"
// (no graphics needed) and a control file naming a few frames.
constexpr const char* kSheetControl = R"J({"frames": {
    "a1": {"frame": {"x": 0, "y": 0, "w": 4, "h": 4}, "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 4}, "sourceSize": {"w": 4, "h": 4}},
    "a2": {"frame": {"x": 4, "y": 0, "w": 4, "h": 4}, "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 4}, "sourceSize": {"w": 4, "h": 4}},
    "b1": {"frame": {"x": 8, "y": 0, "w": 2, "h": 6}, "spriteSourceSize": {"x": 1, "y": 1, "w": 2, "h": 6}, "sourceSize": {"w": 4, "h": 8}},
    "x.png": {"frame": {"x": 0, "y": 8, "w": 4, "h": 4}},
    "sign_en": {"frame": {"x": 4, "y": 8, "w": 4, "h": 4}},
    "hero_1": {"frame": {"x": 8, "y": 8, "w": 4, "h": 4}},
    "hero_walk_1": {"frame": {"x": 12, "y": 8, "w": 4, "h": 4}},
    "hero_walk_2": {"frame": {"x": 16, "y": 8, "w": 4, "h": 4}},
    "hero_body_idle_1": {"frame": {"x": 20, "y": 8, "w": 4, "h": 4}}},
  "meta": {"version": "1.0"}})J";

inline bool setUpSheet() {
    KuString* textureName = KuString::stringWithString("fuzz.png");
    auto* texture = new KuTexture2D;
    textureManager.retainTextureWithName(textureName, texture);
    KuRelease(texture);  // the cache holds it
    KuObject* control = quickParseKuJson(KuString::stringWithString(kSheetControl));
    if (!control || control->kindCode() != kKuTypeDictionary) return false;
    return KuSpriteSheet::cacheSheetWithControlDictionary(KuString::stringWithString("fuzz"),
                                                          static_cast<KuDictionary*>(control)) != nullptr;
}

inline void tearDownSheet() {
    KuSpriteSheet::releaseSheetWithName(KuString::stringWithString("fuzz"));
    textureManager.releaseTextureWithName(KuString::stringWithString("fuzz.png"));
}

// Plays, steps, forces, hides and draws every animation of the sprite.
inline void exercise(KuAnimatedSprite* sprite, uint8_t seed) {
    for (int i = 0; i < sprite->animationOrder->count() && i < 32; i++) {
        KuString* name = sprite->findAnimationNameAt(i);
        sprite->playAnimation(name, seed & 2, false);
        sprite->update(0.07f * static_cast<float>(seed & 15));
        sprite->showLayer(static_cast<KuString*>(nullptr), seed & 4, seed & 8);
        sprite->showLayer(static_cast<int>(seed), true);
        // Drawing needs no graphics here: without the texture program images only place quads.
        if (!textureShaderProgram) sprite->render();
        sprite->update(1.5f);
        sprite->stepFrame(static_cast<int>(seed) - 128);
        sprite->forceFrame(static_cast<KuString*>(nullptr), static_cast<int>(seed) - 3);
        sprite->firstFrame(name, false);
        sprite->lastFrame(nullptr, false);
        sprite->play();
        sprite->isPlaying();
        sprite->layerCount();
        sprite->animationFlags(name);
    }
    sprite->freeImages();
    sprite->reloadImages();
}

// The control-file reader (frames cut to a 64 × 32 atlas must lie inside it) and the animation
// readers with the in-memory sheet; what reads as animation dictionaries must save, read again
// and save to the same dictionary.
inline std::string spriteSheetTarget(const uint8_t* data, size_t size) {
    KuObject* root = quickParseKuJson(kujson_fuzz::textOf(data, size));
    if (!root || root->kindCode() != kKuTypeDictionary) return "";
    auto* dict = static_cast<KuDictionary*>(root);
    const uint8_t seed = size > 0 ? data[size - 1] : 0;

    KuString* inputName = KuString::stringWithString("input");
    KuSpriteSheet::framesFromControlDictionary(dict, inputName, KuPoint{0, 0});
    if (KuDictionary* frames = KuSpriteSheet::framesFromControlDictionary(dict, inputName, KuPoint{64, 32})) {
        for (int i = 0; i < frames->count(); i++) {
            auto* f = static_cast<KuSpriteSheetFrame*>(frames->valueAtIndex(i));
            const KuPoint s = f->textureSize();
            if (!(f->textureOrigin.x >= 0 && f->textureOrigin.y >= 0 && f->textureOrigin.x + s.x <= 64 &&
                  f->textureOrigin.y + s.y <= 32))
                return "a frame reaches outside its atlas";
        }
    }

    if (!setUpSheet()) return "the fixture sheet did not load";
    KuString* sheet = KuString::stringWithString("fuzz");
    KuString* prefix = KuString::stringWithString("hero");
    std::string fault;
    auto* sprite = new KuAnimatedSprite;
    sprite->defaultFps = static_cast<float>(seed % 40);
    const int read = sprite->addAnimationsFromObject(dict, sheet, prefix, seed & 1);
    exercise(sprite, seed);
    if (read == 0 && sprite->sourceKind == kKuAnimationsFromDictionaries) {
        KuDictionary* saved = sprite->saveAsDict();
        auto* list = reinterpret_cast<KuArray<KuDictionary*>*>(saved->arrayForKey("animations"));
        KuAnimatedSprite* reread = list ? KuAnimatedSprite::newWithAnimationsArray(15, list, sheet) : nullptr;
        std::string why;
        if (!reread)
            fault = "saved animations do not read again";
        else if (!kujson_fuzz::treesEqual(saved, reread->saveAsDict(), &why))
            fault = "saved animations read back differently: " + why;
        KuRelease(reread);
    }
    KuRelease(sprite);

    // The dictionary itself as one animation.
    auto* animation = new KuAnimation;
    if (animation->initWithDictionary(dict, sheet, prefix, true, nullptr) == 0) animation->saveAsDict();
    KuRelease(animation);
    tearDownSheet();
    return fault;
}

// One input through a target inside its own pool with every report handled; the pool is drained
// and the string cache emptied afterwards so that nothing accumulates from one input to the next.
inline std::string runOnce(Target target, const uint8_t* data, size_t size) {
    static QuietHooks hooks;
    KuLogHooks* previous = KuGetLogHooks();
    KuSetLogHooks(&hooks);
    KuAutoreleasePool::currentPool();
    KuAutoreleasePool::pushPool();
    std::string result = target(data, size);
    KuAutoreleasePool::popPool();
    releaseKuStringCache(nullptr);
    KuSetLogHooks(previous);
    return result;
}

}  // namespace picture_fuzz
