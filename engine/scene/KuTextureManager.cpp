// The texture cache and its counted textures.
#include "KuTextureManager.h"

#include "KuBaseScene.h"
#include "KuLog.h"

KuTextureManager textureManager;

KuTexture2D::KuTexture2D() : KuGraphicsTexture(kKuTypeTexture2D) {}

KuDictionary* KuTextureManager::dictionary() {
    if (!textures_) textures_ = KuDictionary::newDictionary();
    return textures_;
}

KuTexture2D* KuTextureManager::findTextureWithName(KuString* name) const {
    if (!name || !textures_) return nullptr;
    KuObject* found = textures_->objectForKey(name);
    return found && found->kindCode() == kKuTypeTexture2D ? static_cast<KuTexture2D*>(found) : nullptr;
}

KuTexture2D* KuTextureManager::countUse(KuTexture2D* texture) {
    texture->useCount++;
    texture->lastUsed = _globalTime;
    return texture;
}

KuTexture2D* KuTextureManager::addTexture(KuString* name, KuTexture2D* texture) {
    texture->useCount = 1;
    texture->lastUsed = _globalTime;
    dictionary()->addKeyObject(name, texture);
    if (logLevel_ >= 1) KuLogConsole("Adding texture %@", name);
    return texture;
}

KuTexture2D* KuTextureManager::retainTextureWithName(KuString* name, KuTexture2D* texture) {
    if (!name) return nullptr;
    if (KuTexture2D* cached = findTextureWithName(name)) return countUse(cached);
    if (texture) return addTexture(name, texture);
    auto* loaded = new KuTexture2D;
    if (!loaded->initWithName(name)) {
        KuRelease(loaded);
        return nullptr;
    }
    addTexture(name, loaded);
    KuRelease(loaded);  // the dictionary holds it now
    return loaded;
}

KuTexture2D* KuTextureManager::retainTextureWithNameFromData(KuString* name, KuData* data) {
    if (!name) return nullptr;
    if (KuTexture2D* cached = findTextureWithName(name)) return countUse(cached);
    if (!data) return nullptr;
    auto* decoded = new KuTexture2D;
    if (!decoded->createImageWithData(data, name, 1.0f, false)) {
        KuRelease(decoded);
        return nullptr;
    }
    addTexture(name, decoded);
    KuRelease(decoded);
    return decoded;
}

bool KuTextureManager::releaseTextureWithName(KuString* name) {
    KuTexture2D* texture = findTextureWithName(name);
    if (!texture) return false;
    if (texture->useCount-- <= 1) {
        if (logLevel_ >= 1) KuLogConsole("Removing texture %@", name);
        textures_->removeObjectForKey(name);
    }
    return true;
}

int KuTextureManager::expireTextures(float age) {
    if (!textures_) return 0;
    int removed = 0;
    bool again = true;
    while (again) {
        again = false;
        for (int i = 0; i < textures_->count(); i++) {
            KuString* name = textures_->keyAtIndex(i);
            KuObject* value = textures_->valueAtIndex(i);
            if (!value || value->kindCode() != kKuTypeTexture2D) continue;
            auto* texture = static_cast<KuTexture2D*>(value);
            const double idle = _globalTime - texture->lastUsed;
            if (logLevel_ >= 2)
                KuLogConsole("Checking texture %@ age %g ref %d", name, idle, texture->refCount);
            if (idle > age && (texture->refCount == 1 || texture->isImmortal())) {
                if (logLevel_ >= 1) KuLogConsole("Removing texture %@ age %g", name, idle);
                textures_->removeObjectForKey(name);
                removed++;
                again = true;
                break;
            }
        }
    }
    return removed;
}

void KuTextureManager::releaseAllTextures() {
    if (textures_) textures_->removeAllObjects();
}

void KuTextureManager::unloadAllTextures() {
    if (!textures_) return;
    for (int i = 0; i < textures_->count(); i++)
        if (auto* texture = static_cast<KuGraphicsTexture*>(textures_->valueAtIndex(i)))
            texture->unloadTexture();
}

void KuTextureManager::reloadAllTextures() {
    if (!textures_) return;
    for (int i = 0; i < textures_->count(); i++)
        if (auto* texture = static_cast<KuGraphicsTexture*>(textures_->valueAtIndex(i)))
            texture->reloadTexture();
}

int KuTextureManager::totalSize() const {
    if (!textures_) return 0;
    int total = 0;
    for (int i = 0; i < textures_->count(); i++)
        if (auto* texture = static_cast<KuGraphicsTexture*>(textures_->valueAtIndex(i)))
            total += texture->storageSize();
    return total;
}

void KuTextureManager::dumpTextures() const {
    if (!textures_) return;
    for (int i = 0; i < textures_->count(); i++)
        KuLogConsole("%@ ref: %d", textures_->keyAtIndex(i),
                     static_cast<KuTexture2D*>(textures_->valueAtIndex(i))->useCount);
}

int KuTextureManager::count() const {
    return textures_ ? textures_->count() : 0;
}
