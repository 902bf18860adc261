// Animations of an animated sprite: KuAnimation (named, one or more layers drawn on top of each
// other), KuAnimationLayer (a timed sequence of frames) and KuAnimationFrame (a sprite-sheet frame
// image with an offset and an optional trigger), read from and written to the animation dictionary
// of room documents and animations files. Main thread only.
#pragma once

#include <cstdint>

#include "KuArray.h"
#include "KuDictionary.h"
#include "KuImage.h"
#include "KuObject.h"
#include "KuString.h"

class KuAnimatedSprite;

// Result codes of the readers.
enum : int {
    kKuAnimationFailed = -1,           // a frame image is missing (without quiet), or the file is unusable
    kKuAnimationNotAnArray = -201,     // addAnimationsArray was given something else
    kKuAnimationMissingFrames = -301,  // a layer without "frames", or no sheet to find frames in
};

// The image of a frame reference: "sheet:frame" names its sheet, other names are looked up in
// `sheet`. Autoreleased; null when the sheet or the frame is missing (the sheet's error unless
// quiet). The sheet is cached on first use.
KuImage* KuAnimationFrameImage(KuString* reference, KuString* sheet, bool quiet);

class KuAnimationFrame : public KuObject {
public:
    KuAnimationFrame() : KuObject(kKuTypeObject) {}  // owned (count 1), an empty frame
    ~KuAnimationFrame() override;
    const char* typeStr() const override { return "KuAnimationFrame"; }

    void freeImage();
    // Makes the image again from the name (split at ":", else in `sheet`, looked up quietly) when
    // it has none; true when the frame has an image afterwards.
    bool reloadImage(KuString* sheet);

    KuImage* image = nullptr;  // retained, may be null
    KuPoint offset{0, 0};
    KuString* name = nullptr;     // retained; null for an empty ("null") frame
    KuString* trigger = nullptr;  // retained, may be null
};

class KuAnimationLayer : public KuObject {
public:
    KuAnimationLayer();  // owned (count 1), no frames
    ~KuAnimationLayer() override;
    const char* typeStr() const override { return "KuAnimationLayer"; }

    // Reads a layer dictionary: 0, kKuAnimationMissingFrames without "frames", kKuAnimationFailed
    // for a missing frame image when not quiet. With quiet, missing frames are left out and the
    // offsets and triggers of the frames kept are taken by their count so far.
    int initWithDictionary(KuDictionary* dict, KuString* sheet, KuString* prefix, bool quiet);
    KuDictionary* saveAsDict() const;  // autoreleased

    // Starts from the first frame at `rate` frames per second; loops when loop or `loop` is set.
    void start(float rate, bool loopWhilePlaying);
    void playLayer(bool loopWhilePlaying);  // restarts at the rate it last started with
    void forceFrame(int frame);             // at most the last frame
    void stepFrame(int n);                  // wraps: below 0 to the last frame, past the last to 0
    void update(float dt);
    void render();
    int currentFrameIndex() const;  // the forced frame, else by the elapsed time; -1 without frames
    int frameCount() const { return frames->count(); }

    int32_t forcedFrame = -1;
    int32_t lastDrawnFrame = -1;
    KuAnimatedSprite* sprite = nullptr;  // not retained
    KuString* name = nullptr;            // retained
    bool hidden = false;
    bool looping = false;  // while playing
    bool loop = false;     // from the dictionary
    bool finished = false;
    float elapsed = 0;   // seconds
    float duration = 0;  // seconds; frames / rate
    float fps = 0;       // the layer's own rate, 0 when unset
    float rate = 0;      // the rate it last started with
    int32_t flags = 0;
    KuArray<KuAnimationFrame*>* frames;  // owned
};

class KuAnimation : public KuObject {
public:
    KuAnimation();  // owned (count 1), no layers
    ~KuAnimation() override;
    const char* typeStr() const override { return "KuAnimation"; }

    // Reads an animation dictionary (its "layers", or the dictionary itself as the only layer).
    // `sheet` wins over the dictionary's "sheet"; without either the result is
    // kKuAnimationMissingFrames. 0, or a layer's error.
    int initWithDictionary(KuDictionary* dict, KuString* sheet, KuString* prefix, bool quiet,
                           KuAnimatedSprite* owner);
    KuDictionary* saveAsDict() const;        // autoreleased
    void addLayer(KuAnimationLayer* layer);  // retained; takes the animation's sprite

    KuAnimatedSprite* sprite = nullptr;  // not retained
    KuString* name = nullptr;            // retained; null when the dictionary had none
    float fps = 0;                       // 0 = unset
    KuPoint offset{0, 0};
    int32_t flags = 0;
    bool looping = false;
    KuArray<KuAnimationLayer*>* layers;  // owned
};
