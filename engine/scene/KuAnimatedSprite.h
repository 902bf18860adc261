// KuAnimatedSprite: a render node playing named animations of sprite-sheet frames (layers with their
// own rates and looping, forced frames, hidden layers, triggers reported at the next update), built
// from animation dictionaries, animations files (Aseprite exports with frame tags included), a plain
// list of frames, or one image. Main thread only; the trigger callback is one global.
#pragma once

#include <cstdint>

#include "KuAnimation.h"
#include "KuArray.h"
#include "KuDictionary.h"
#include "KuImage.h"
#include "KuRenderNode.h"
#include "KuString.h"

// Called with the sprite's reference object (null unless its owner set one) and the trigger text.
using KuAnimationTriggerCallback = void (*)(KuObject* reference, KuString* trigger);

// Where a sprite's animations came from.
enum : int32_t {
    kKuAnimationsFromDictionaries = 0,
    kKuAnimationsFromTags = 1,       // an Aseprite export with frame tags ("aseanims" or "frames")
    kKuAnimationsFromLayerTags = 2,  // "aselayeranims": tags over named layers
};

class KuAnimatedSprite : public KuRenderNode {
public:
    KuAnimatedSprite();  // owned (count 1), without animations
    ~KuAnimatedSprite() override;
    const char* typeStr() const override { return "KuAnimatedSprite"; }

    // >>building: each new... is owned (release it); null when reading fails.
    // `fps` is the default rate for layers and animations without one (the editor passes 15).
    static KuAnimatedSprite* newWithAnimationsArray(float fps, KuArray<KuDictionary*>* animations,
                                                    KuString* sheet);
    static KuAnimatedSprite* newWithAnimationsFile(float fps, KuString* file, KuString* sheet,
                                                   KuString* prefix, bool quiet);
    // One animation (`name`, or "anim") of one layer "layer" at fps, from frame references looked up
    // quietly (null when any is missing), or from images; it starts playing looped.
    static KuAnimatedSprite* newWithImages(float fps, KuString* name, KuString* sheet,
                                           KuArray<KuString*>* frames);
    static KuAnimatedSprite* newWithImages(float fps, KuString* name, KuArray<KuImage*>* images);
    static KuAnimatedSprite* newWithImage(KuImage* image);  // draws that one image (retained)

    // 0; kKuAnimationNotAnArray when the argument is not an array; kKuAnimationFailed when an
    // animation fails (those read before it stay).
    int addAnimationsArray(KuArray<KuDictionary*>* animations, KuString* sheet);
    // Reads the file with the pack-file manager and adds what addAnimationsFromObject finds: 0 or
    // kKuAnimationFailed.
    int addAnimationsFile(KuString* file, KuString* sheet, KuString* prefix, bool quiet);
    // The three layouts of an animations file, tested in this order: tags ("aseanims", or "frames"
    // with "meta" → "frameTags"), layered tags ("aselayeranims"), animation dictionaries
    // ("animations"). `sheet`, else the object's "sheet", becomes the sprite's sheet.
    int addAnimationsFromObject(KuObject* root, KuString* sheet, KuString* prefix, bool quiet);
    void addAnimation(KuAnimation* animation);  // retained; replaces one of the same name

    // >>playing
    // 0, or -1 (with a warning) when there are no animations or the named one is missing.
    int playAnimation(KuString* name, bool loop, bool warn);
    void play();  // restarts the current animation looped and resumes
    bool isPlaying() const;
    void forceFrame(KuString* layer, int frame);  // null: every layer
    void stepFrame(int n);
    void firstFrame(KuString* name, bool warn);  // shows frame 0 and pauses
    void lastFrame(KuString* name, bool warn);   // shows the last frame and pauses
    bool paused = false;

    // >>queries
    bool hasAnimation(KuString* name) const;
    KuString* findAnimationNameAt(int index) const;  // the index-th added; null out of range
    int layerCount() const;                          // of the current animation
    int animationFlags(KuString* name) const;        // null: the current animation; 0 when none
    bool isAnimationLooping(KuString* name) const;
    KuAnimation* animationNamed(KuString* name) const;  // borrowed
    KuAnimation* currentAnimation() const { return current; }

    // >>layers
    void showLayer(KuString* name, bool show, bool remember);  // null: every layer
    void showLayer(int flagMask, bool show);

    // >>triggers
    static void registerTriggerCallback(KuAnimationTriggerCallback callback);
    KuString* pendingTrigger = nullptr;  // retained; reported at the next update
    void setPendingTrigger(KuString* trigger);

    // >>render node
    void update(float dt) override;
    void render() override;
    void renderAt(KuPoint p) override;
    void color(KuColor c) override;
    void alpha(float a) override;
    KuColor color() override { return tint; }
    float alpha() override { return tint.alpha; }
    void shaderProgram(KuShader* shader) override;
    void filterLinear(bool on) override;

    // >>memory
    void freeImages();
    void reloadImages();

    // The sprite as a dictionary: "animations" in name order, and "sheet" when it has one.
    // Autoreleased.
    KuDictionary* saveAsDict() const;

    bool linearFiltering;
    KuColor tint{1, 1, 1, 1};
    KuString* sheetName = nullptr;          // retained
    KuDictionary* hiddenLayers = nullptr;   // owned; made by the first remembering showLayer
    KuDictionary* animations;               // owned; name to KuAnimation
    KuArray<KuAnimation*>* animationOrder;  // owned; in the order added
    KuShader* shader = nullptr;             // not owned
    bool imagesFreed = false;
    KuImage* singleImage = nullptr;  // retained
    int32_t sourceKind = kKuAnimationsFromDictionaries;
    int32_t animationCount = 0;  // animations added from animations files
    float defaultFps = 0;
    float clipX = -1, clipY = -1, clipW = -1, clipH = -1;  // scissor for the single image; -1: none

private:
    void startLayers(KuAnimation* animation, bool loop, bool forceLoop);
    void applyHiddenLayers();
    int addTaggedAnimations(KuDictionary* root, KuString* sheet, KuString* prefix);
    int addLayerTaggedAnimations(KuDictionary* layered, KuString* sheet, KuString* prefix);
    KuAnimation* current = nullptr;  // retained
};
