// Sprite sheets: one texture atlas ("<name>.png") and its JSON control file naming the frames
// packed into it, read in the texture packers' formats 2 to 5; images of single frames placed where
// they sat in their untrimmed canvas; and the global cache of sheets by name (emptied whenever the
// scene changes). Main thread only.
#pragma once

#include "KuDictionary.h"
#include "KuImage.h"
#include "KuObject.h"
#include "KuString.h"

// One packed frame, all in atlas pixels.
class KuSpriteSheetFrame : public KuObject {
public:
    KuSpriteSheetFrame() : KuObject(kKuTypeObject) {}  // owned (count 1)
    const char* typeStr() const override { return "KuSpriteSheetFrame"; }

    KuPoint textureOrigin{0, 0};              // (x, y) of the packed rectangle, y down
    KuPoint textureFarCorner{0, 0};           // (x + w, y + h)
    KuPoint offset{0, 0};                     // bottom-left of the trimmed rectangle in the canvas, y up
    KuPoint sourceSize{0, 0};                 // untrimmed canvas width and height
    KuRect spriteSourceRect{{0, 0}, {0, 0}};  // trimmed rectangle in the canvas as given, y down

    KuPoint textureSize() const;  // absolute differences of the texture rectangle's corners
};

// The application identifiers Aseprite writes into the meta object of its JSON exports.
extern const char* const kKuAsepriteAppIdentifier;        // "http://www.aseprite.org/"
extern const char* const kKuAsepriteSecureAppIdentifier;  // "https://www.aseprite.org/"

class KuSpriteSheet : public KuObject {
public:
    KuSpriteSheet();  // owned (count 1), empty
    ~KuSpriteSheet() override;
    const char* typeStr() const override { return "KuSpriteSheet"; }

    // >>cache
    // The cached sheet of that name, loaded on first use; lastUsed becomes _globalTime. Null when
    // loading fails (nothing is cached then). The cache keeps the sheet: the caller does not own it.
    static KuSpriteSheet* cacheSheetWithName(KuString* name);
    // As cacheSheetWithName, but a sheet not yet cached is read from an already parsed control
    // object instead of "<name>.json" (its atlas image still loads by name).
    static KuSpriteSheet* cacheSheetWithControlDictionary(KuString* name, KuDictionary* control);
    // For a sheet and a frame name: caches the sheet and tests whether the exact name is a frame.
    static bool doesImageExist(KuString* sheet, KuString* frame);
    static void releaseSheetWithName(KuString* name);
    static void releaseCache();
    // Removes, one at a time, sheets idle for more than `age` seconds that only the cache holds,
    // then expires textures the same way; returns how many sheets went. verbose 1 logs removals,
    // 2 also every sheet examined.
    static int expireSpriteSheets(float age, int verbose);
    static void logLevel(int level);  // 0 silent (default); otherwise additions and removals
    static KuDictionary* cache();     // borrowed; null before the first sheet is cached

    // >>loading: each returns this, or null after reporting the error (the sheet stays empty).
    KuSpriteSheet* initWithControlFile(KuString* name);
    KuSpriteSheet* initWithControlDictionary(KuString* name, KuDictionary* control);

    // >>frames
    // A new autoreleased image showing the frame, centred on its untrimmed canvas; null when the
    // sheet has no such frame (an error unless quiet). "<name>.png" is tried after the name itself.
    KuImage* copyImageNamed(KuString* name, bool quiet);
    // The frame's texture rectangle origin and size in atlas pixels: 0, or -1 for a null output
    // or a missing frame (the latter with the error message).
    int getImageDataFor(KuString* name, KuPoint* origin, KuPoint* size);
    KuSpriteSheetFrame* frameNamed(KuString* name) const;  // borrowed; exact name, null when absent

    // >>the control file, without any texture
    // The format number of a meta object: its integer "format" when not 0; else 4 for a "version"
    // reading as 1.0; else 5 for Aseprite's application identifier in "app"; else 0.
    static int controlFileFormat(KuDictionary* meta);
    // The frames of a parsed control object by its format's rules, in key order, as an autoreleased
    // dictionary of frame name to KuSpriteSheetFrame; null after the error naming `name`. Frames
    // reaching outside an atlas of atlasSize pixels (when not (0, 0)) are cut to it with a warning,
    // and left out with a warning when nothing of them is inside.
    static KuDictionary* framesFromControlDictionary(KuDictionary* control, KuString* name,
                                                     KuPoint atlasSize);

    KuString* imageName = nullptr;   // retained; "<name>.png"
    KuImage* sheetImage = nullptr;   // retained; the whole atlas, whose texture frame images share
    KuDictionary* frames = nullptr;  // retained; frame name to KuSpriteSheetFrame
    float lastUsed = 0;              // _globalTime of the last cacheSheetWithName returning it

private:
    bool loadSheetImage(KuString* name);
};
