// Sections: >>lifecycle >>loading >>made in memory >>properties and filters >>render targets >>pixels
#include <cstdio>
#include <cstring>
#include <vector>

#include "KuGraphics.h"
#include "KuLog.h"
#include "KuPackfileManager.h"
#include "RvRenderTarget.h"
#include "RvRenderer.h"
#include "RvTexture.h"

int _debugTextures = 0;
KuDictionary* _debugTextureDict = nullptr;

namespace {
// New textures decode with extruded edges and without BGRA storage, as the image layer expects.
constexpr uint32_t kDecodeOptions = kRvTextureExtrudeEdges | kRvTextureNoBGRA;

void debugKey(const RvTexture* texture, char* key, size_t size) {
    snprintf(key, size, "0x%p", static_cast<const void*>(texture));
}
}  // namespace

// >>lifecycle

KuGraphicsTexture::KuGraphicsTexture(int32_t typeWord) : KuObject(typeWord) {}

KuGraphicsTexture::~KuGraphicsTexture() {
    freeTexture();
    freeRenderTarget();
    KuRelease(filename);
}

void KuGraphicsTexture::allocTexture(int accessMode) {
    freeTexture();
    texture = RvNewTexture(KuSharedRvDevice(), accessMode);
}

void KuGraphicsTexture::allocRenderTarget() {
    freeRenderTarget();
    renderTarget = RvNewRenderTarget(KuSharedRvDevice());
}

void KuGraphicsTexture::freeTexture() {
    if (!texture) return;
    if (_debugTextures > 0 && _debugTextureDict) {
        char key[40];
        debugKey(texture, key, sizeof key);
        if (_debugTextures > 2) {
            KuObject* description = _debugTextureDict->objectForKey(key);
            KuLog("Deleting 0x%p - %@", static_cast<void*>(texture), description);
        }
        _debugTextureDict->removeObjectForKey(key);
    }
    KuRelease(texture);
    texture = nullptr;
}

void KuGraphicsTexture::freeRenderTarget() {
    KuRelease(renderTarget);
    renderTarget = nullptr;
}

void KuGraphicsTexture::unloadTexture() {
    if (keepLoaded) return;
    freeTexture();
}

void KuGraphicsTexture::reloadTexture() {
    unloadTexture();
    if (filename) {
        KuString* name = filename;
        KuRetain(name);  // initWithName replaces the kept name with itself
        initWithName(name);
        KuRelease(name);
    }
}

void KuGraphicsTexture::registerForDebugging() {
    if (_debugTextures <= 0 || !texture) return;
    KuString* description = KuString::stringWithFormat("%s (%dx%d)", filename ? filename->c_str() : "",
                                                       storageWidth(), storageHeight());
    if (_debugTextures > 2) KuLog("Creating 0x%p - %@", static_cast<void*>(texture), description);
    if (!_debugTextureDict) _debugTextureDict = KuDictionary::newDictionary();
    char key[40];
    debugKey(texture, key, sizeof key);
    _debugTextureDict->addKeyObject(key, description);
}

uint32_t KuGraphicsTexture::filterOptions() const {
    return (DefaultMinFilter() ? kRvTextureLinearMin : 0u) | (DefaultMagFilter() ? kRvTextureLinearMag : 0u);
}

// >>loading

bool KuGraphicsTexture::createImageWithData(KuData* data, KuString* name, float pointScale, bool keepPixels) {
    if (!data) return false;
    freeTexture();
    allocTexture(keepPixels ? kRvAccessDynamic : kRvAccessDiscardLocalStorage);
    if (!texture) return false;
    bool decoded = false;
    {
        RvResourceLock lock(texture, kRvLockWrite);
        const char* text = name ? name->c_str() : "";
        size_t length = strlen(text);
        const char* suffix = length >= 4 ? text + length - 4 : "";
        uint32_t options = kDecodeOptions | filterOptions();
        size_t bytes = data->length > 0 ? static_cast<size_t>(data->length) : 0;
        if (strcmp(suffix, ".png") == 0) {
            decoded = RvTextureSetFromPNGImageData(texture, data->bytes, bytes, options) == kRvTextureDone;
        } else if (strcmp(suffix, ".jpg") == 0) {
            decoded = RvTextureSetFromJPEGImageData(texture, data->bytes, bytes, options) == kRvTextureDone;
        } else {
            // Reported without ending the program: a room naming an odd file must stay editable.
            KuWarning("Unsupported image format: '%s'.", text);
        }
    }
    if (filename != name) KuSetRetained(filename, name);
    registerForDebugging();
    scale(pointScale);
    return decoded;
}

bool KuGraphicsTexture::initWithName(KuString* name) {
    KuSetRetained(filename, name);
    if (!name) return false;
    float found = 1.0f;
    KuString* best = KuPackfileManager::bestScaledFilename(name, nullptr, &found);
    KuData* data = KuPackfileManager::dataFromFilename(best ? best : name, false);
    if (!data) return false;
    if (!createImageWithData(data, name, found, false)) return false;
    if (KuGraphicsAppHooks* hooks = KuGraphics::AppHooks()) hooks->resetFrameDelta();
    return true;
}

// >>made in memory

bool KuGraphicsTexture::initWithSize(KuPoint size, bool makeRenderTarget, bool keepPixels) {
    freeTexture();
    int width = static_cast<int>(size.x), height = static_cast<int>(size.y);
    if (makeRenderTarget) {
        allocTexture(keepPixels ? (kRvAccessDynamic | kRvAccessReadableRenderTarget) : 0);
        allocRenderTarget();
        if (!texture || !renderTarget) return false;
        RvResourceLock lock(renderTarget, kRvLockWrite);
        RvRenderTargetSetLayout(renderTarget, width, height, 1);
        RvRenderTargetSetColorFormat(renderTarget, kRvBufferFormatRGBA8, texture);
        return true;
    }
    allocTexture(kRvAccessDynamic);
    if (!texture || width <= 0 || height <= 0) return false;
    RvBitmap bitmap;
    bitmap.pixelType = kRvPixelRGBA8;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bytesPerRow = 4 * width;
    std::vector<uint8_t> zeros(static_cast<size_t>(bitmap.bytesPerRow) * static_cast<size_t>(height), 0);
    RvResourceLock lock(texture, kRvLockWrite);
    bool laidOut = RvTextureSetLayoutFromBitmap(texture, bitmap, kRvTextureExtrudeEdges | filterOptions()) ==
                   kRvTextureDone;
    bool filled = laidOut && RvTextureSetPixelsFromBitmap(texture, 0, bitmap, zeros.data()) == kRvTextureDone;
    return laidOut && filled;
}

bool KuGraphicsTexture::createWithColor(const KuColor& color) {
    if (!texture) allocTexture(kRvAccessDynamic);
    if (!texture) return false;
    RvResourceLock lock(texture, kRvLockWrite);
    return RvTextureSetSolidColor(texture, color) == kRvTextureDone;
}

namespace {
bool createFromBitmap(KuGraphicsTexture* self, uint32_t pixelType, int bytesPerPixel, const void* pixels,
                      unsigned width, unsigned height, bool keepPixels, uint32_t filters) {
    self->allocTexture(keepPixels ? kRvAccessDynamic : kRvAccessDiscardLocalStorage);
    if (!self->texture || width == 0 || height == 0 || width > 65536 || height > 65536) return false;
    RvBitmap bitmap;
    bitmap.pixelType = pixelType;
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    bitmap.bytesPerRow = bytesPerPixel * static_cast<int>(width);
    RvResourceLock lock(self->texture, kRvLockWrite);
    if (RvTextureSetLayoutFromBitmap(self->texture, bitmap, kRvTextureExtrudeEdges | filters) !=
        kRvTextureDone)
        return false;
    if (!pixels) return true;
    return RvTextureSetPixelsFromBitmap(self->texture, 0, bitmap, pixels) == kRvTextureDone;
}
}  // namespace

bool KuGraphicsTexture::createWithRGBA8(const void* pixels, unsigned width, unsigned height,
                                        bool keepPixels) {
    return createFromBitmap(this, kRvPixelRGBA8, 4, pixels, width, height, keepPixels, filterOptions());
}

bool KuGraphicsTexture::createWithAlpha8(const void* pixels, unsigned width, unsigned height,
                                         bool keepPixels) {
    return createFromBitmap(this, kRvPixelX8, 1, pixels, width, height, keepPixels, filterOptions());
}

// >>properties and filters

int KuGraphicsTexture::width() {
    return RvTextureGetWidth(texture);
}
int KuGraphicsTexture::height() {
    return RvTextureGetHeight(texture);
}
int KuGraphicsTexture::storageWidth() {
    return RvTextureGetStorageWidth(texture, 0);
}
int KuGraphicsTexture::storageHeight() {
    return RvTextureGetStorageHeight(texture, 0);
}
int KuGraphicsTexture::storageSize() {
    return RvTextureGetStorageBytesPerRow(texture, 0) * storageHeight();
}
bool KuGraphicsTexture::premultAlpha() {
    return texture &&
           RvPixelTypeAlphaKind(RvTextureGetPixelType(texture)) == RvPixelTypeAlphaKind(kRvPixelPremulRGBA8);
}
float KuGraphicsTexture::scale() {
    return RvTextureGetPointScale(texture);
}
void KuGraphicsTexture::scale(float s) {
    if (!texture) return;
    RvResourceLock lock(texture, kRvLockWrite);
    RvTextureSetPointScale(texture, s);
}
bool KuGraphicsTexture::isFlippedVertically() {
    return RvTextureGetFlipVertically(texture);
}

namespace {
bool overridden(int override, bool fallback) {
    if (override == 1) return false;
    if (override != 0) return true;
    return fallback;
}

void setSamplerBit(RvTexture* texture, uint32_t bit, bool on) {
    if (!texture) return;
    {
        // A write lock rebuilds the texture: an atlas shared by thousands of images would be
        // uploaded again for every image that merely confirms its filter.
        RvResourceLock lock(texture, kRvLockRead);
        if (((RvTextureGetSamplerState(texture) & bit) != 0) == on) return;
    }
    RvResourceLock lock(texture, kRvLockWrite);
    uint32_t state = RvTextureGetSamplerState(texture);
    RvTextureSetSamplerState(texture, on ? (state | bit) : (state & ~bit));
}

bool samplerBit(RvTexture* texture, uint32_t bit) {
    if (!texture) return false;
    RvResourceLock lock(texture, kRvLockRead);
    return (RvTextureGetSamplerState(texture) & bit) != 0;
}
}  // namespace

bool KuGraphicsTexture::DefaultMinFilter() {
    return overridden(KuGraphics::_DebugTextureMinFilter, defaultImageProps.linearMinFilter);
}
bool KuGraphicsTexture::DefaultMagFilter() {
    return overridden(KuGraphics::_DebugTextureMagFilter, defaultImageProps.linearMagFilter);
}
bool KuGraphicsTexture::UseMinLinearFilter(bool b) {
    return overridden(KuGraphics::_DebugTextureMinFilter, b);
}
bool KuGraphicsTexture::UseMagLinearFilter(bool b) {
    return overridden(KuGraphics::_DebugTextureMagFilter, b);
}

bool KuGraphicsTexture::linearMinFilter() {
    return samplerBit(texture, kRvTextureLinearMin);
}
bool KuGraphicsTexture::linearMagFilter() {
    return samplerBit(texture, kRvTextureLinearMag);
}
void KuGraphicsTexture::linearMinFilter(bool on) {
    setSamplerBit(texture, kRvTextureLinearMin, UseMinLinearFilter(on));
}
void KuGraphicsTexture::linearMagFilter(bool on) {
    setSamplerBit(texture, kRvTextureLinearMag, UseMagLinearFilter(on));
}
void KuGraphicsTexture::setFilter(bool min, bool mag) {
    if (!texture) return;
    const uint32_t bits = kRvTextureLinearMin | kRvTextureLinearMag;
    const uint32_t wanted = (UseMinLinearFilter(min) ? kRvTextureLinearMin : 0u) |
                            (UseMagLinearFilter(mag) ? kRvTextureLinearMag : 0u);
    {
        // Every image made from an atlas confirms its filters: only a change takes the write lock
        // (which rebuilds the texture).
        RvResourceLock lock(texture, kRvLockRead);
        if ((RvTextureGetSamplerState(texture) & bits) == wanted) return;
    }
    RvResourceLock lock(texture, kRvLockWrite);
    RvTextureSetSamplerState(texture, (RvTextureGetSamplerState(texture) & ~bits) | wanted);
}

// >>render targets

void KuGraphicsTexture::resizeRenderTarget(KuPoint size) {
    if (renderTarget)
        RvRenderTargetResize(renderTarget, static_cast<int>(size.x), static_cast<int>(size.y), 1);
}

KuPoint KuGraphicsTexture::getRenderTargetSize() {
    if (!renderTarget) return KuPoint{0, 0};
    RvVector2 size = RvRenderTargetGetSizeInPixels(renderTarget);
    return KuPoint{size.x, size.y};
}

// >>pixels

void* KuGraphicsTexture::lockPixels(PixelFormat* format, unsigned* w, unsigned* h, bool write) {
    if (format) *format = kPixelFormatOther;
    if (w) *w = 0;
    if (h) *h = 0;
    if (!texture) return nullptr;
    RvGraphicsResourceLock(texture, write ? kRvLockWrite : kRvLockRead);
    // A writer changes the pixels: the next build uploads them again.
    if (write) texture->pixelsChanged = true;
    uint32_t type = RvTextureGetPixelType(texture);
    if (format)
        *format = type == kRvPixelX8      ? kPixelFormatAlpha8
                  : type == kRvPixelRGBA8 ? kPixelFormatRGBA8
                                          : kPixelFormatOther;
    if (w) *w = static_cast<unsigned>(storageWidth());
    if (h) *h = static_cast<unsigned>(storageHeight());
    return RvTextureGetPixels(texture, 0);
}

void KuGraphicsTexture::unlockPixels() {
    if (texture) RvGraphicsResourceUnlock(texture);
}

void KuGraphicsTexture::readPixelsFromGPU() {
    RvRendererReadPixels(KuSharedRvRenderer(), texture);
}

KuData* KuGraphicsTexture::getPixelDataAsRGBA(KuPoint* size) {
    if (!texture) return nullptr;
    RvRendererWaitForLastFrame(KuSharedRvRenderer());
    RvResourceLock lock(texture, kRvLockRead);
    if (RvTextureGetPixelType(texture) != kRvPixelRGBA8 || !RvTextureHasStorage(texture)) return nullptr;
    int w = storageWidth(), h = storageHeight(), bytesPerRow = RvTextureGetStorageBytesPerRow(texture, 0);
    auto* pixels = static_cast<const uint8_t*>(RvTextureGetPixels(texture, 0));
    if (!pixels || w <= 0 || h <= 0 || bytesPerRow < 4 * w) return nullptr;
    std::vector<uint8_t> copy(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int row = 0; row < h; row++)
        memcpy(copy.data() + static_cast<size_t>(row) * static_cast<size_t>(w) * 4,
               pixels + static_cast<size_t>(row) * static_cast<size_t>(bytesPerRow),
               static_cast<size_t>(w) * 4);
    KuData* data = KuData::dataWithBytes(copy.data(), static_cast<int>(copy.size()));
    if (size) *size = KuPoint{static_cast<float>(w), static_cast<float>(h)};
    return data;
}

namespace {
KuData* autoreleasedCopy(RvData* encoded) {
    if (!encoded) return nullptr;
    KuData* data =
        RvDataGetLength(encoded) > 0
            ? KuData::dataWithBytes(RvDataGetBytes(encoded), static_cast<int>(RvDataGetLength(encoded)))
            : nullptr;
    KuRelease(encoded);
    return data;
}
}  // namespace

KuData* KuGraphicsTexture::getPixelDataAsPNG(bool withAlpha) {
    if (!texture) return nullptr;
    RvRendererWaitForLastFrame(KuSharedRvRenderer());
    RvResourceLock lock(texture, kRvLockRead);
    if (RvTextureGetPixelType(texture) != kRvPixelRGBA8 || !RvTextureHasStorage(texture)) return nullptr;
    return autoreleasedCopy(RvTextureGetPNGImageData(texture, withAlpha));
}

KuData* KuGraphicsTexture::getPixelDataAsJPEG() {
    if (!texture) return nullptr;
    RvRendererWaitForLastFrame(KuSharedRvRenderer());
    RvResourceLock lock(texture, kRvLockRead);
    if (RvTextureGetPixelType(texture) != kRvPixelRGBA8 || !RvTextureHasStorage(texture)) return nullptr;
    return autoreleasedCopy(RvTextureGetJPEGImageData(texture));
}
