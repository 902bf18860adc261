// The texture cache: KuTexture2D (a facade texture that counts the images using it) and the one
// global KuTextureManager keyed by texture name, which drops a texture when its last user releases
// it. Main thread only; the cache is not locked.
#pragma once

#include <cstdint>

#include "KuData.h"
#include "KuDictionary.h"
#include "KuGraphics.h"
#include "KuString.h"

class KuTexture2D : public KuGraphicsTexture {
public:
    KuTexture2D();  // owned (count 1), empty
    const char* typeStr() const override { return "KuTexture2D"; }

    int32_t useCount = 0;  // images (and other users by name) counted by the manager
    double lastUsed = 0;   // _globalTime of the manager's last retain
};

class KuTextureManager {
public:
    KuTextureManager() = default;
    // Leaves the cache alone: at process end the graphics device may already be gone. Callers
    // empty it with releaseAllTextures() while the device stands.
    ~KuTextureManager() = default;
    KuTextureManager(const KuTextureManager&) = delete;
    KuTextureManager& operator=(const KuTextureManager&) = delete;

    // The cached texture of that name with its use count raised by one and lastUsed set; when none
    // is cached, `texture` (or, when null, a new KuTexture2D loaded by name through the facade) enters
    // the cache with use count 1. Null when the name is null or the texture cannot be loaded (nothing
    // stays cached then). The result is borrowed from the cache: a caller keeping it retains it.
    KuTexture2D* retainTextureWithName(KuString* name, KuTexture2D* texture = nullptr);
    // As above, but a missing texture is decoded from the encoded image bytes (scale 1); the name's
    // suffix (".png" or ".jpg") picks the decoder.
    KuTexture2D* retainTextureWithNameFromData(KuString* name, KuData* data);
    KuTexture2D* findTextureWithName(KuString* name) const;  // borrowed; no counting
    // Lowers the use count; at 1 or less the entry leaves the cache (which releases its reference).
    // Returns whether the name was cached.
    bool releaseTextureWithName(KuString* name);
    // Removes every texture unused for more than `age` seconds that only the cache holds; the scan
    // restarts from the first key after each removal. Returns how many went.
    int expireTextures(float age);
    void releaseAllTextures();
    void unloadAllTextures();   // frees each texture's pixel data (the entries stay)
    void reloadAllTextures();   // loads each by its name again
    int totalSize() const;      // bytes of storage of every cached texture
    void dumpTextures() const;  // "%@ ref: %d" per texture, through the console log
    int count() const;          // cached textures

    void logLevel(int level) { logLevel_ = level; }  // 0 silent; 1 additions and removals; 2 also checks
    int logLevel() const { return logLevel_; }
    KuDictionary* textures() const { return textures_; }  // borrowed; null before first use

private:
    KuDictionary* dictionary();  // created on first use
    KuTexture2D* countUse(KuTexture2D* texture);
    KuTexture2D* addTexture(KuString* name, KuTexture2D* texture);
    KuDictionary* textures_ = nullptr;  // owned
    int logLevel_ = 0;
};

extern KuTextureManager textureManager;
