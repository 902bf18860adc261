// Sections: >>storage >>layout >>pixels >>codecs >>accessors
#include "RvTexture.h"

#include <cfloat>
#include <climits>
#include <cstring>

#include <string>

#include "RvImageCodec.h"

// >>storage

namespace {
// Beyond these the storage is refused rather than attempted.
constexpr int kMaxSide = 32768;
constexpr size_t kMaxStorageBytes = size_t(1) << 30;

constexpr int kFormatX8 = 2, kFormatRGB8 = 3, kFormatBGR8 = 4, kFormatRGBA8 = 5, kFormatBGRA8 = 6;

int nextPowerOfTwo(int v) {
    int p = 1;
    while (p < v && p < kMaxSide)
        p <<= 1;
    return p;
}

size_t align8(size_t v) {
    return (v + 7) & ~static_cast<size_t>(7);
}

size_t levelBytes(const RvTextureLevel& l) {
    return static_cast<size_t>(l.bytesPerRow) * l.height;
}

size_t storageBytes(const RvTexture* t) {
    if (t->levels.empty()) return 0;
    return t->levels.back().offset + levelBytes(t->levels.back());
}

// Level sizes follow from the layout; the block itself is allocated on first pixel access.
void computeLevels(RvTexture* t) {
    t->levels.clear();
    int bpp = RvPixelTypeBytesPerPixel(t->pixelType);
    if (!t->pixelType || RvPixelTypeCompression(t->pixelType) || !bpp) return;
    int w = t->width, h = t->height;
    if (!t->device->capabilities.supportsNonPOTTextures && !(t->options & kRvTextureNoPowerOfTwo)) {
        w = w ? nextPowerOfTwo(w) : 0;
        h = h ? nextPowerOfTwo(h) : 0;
    }
    RvTextureLevel level{0, w, h, w * bpp};
    t->levels.push_back(level);
    if (!(t->options & kRvTextureMipmapStorage)) return;
    while (level.width > 1 || level.height > 1) {
        size_t next = align8(level.offset + levelBytes(level));
        level.width = level.width > 1 ? level.width / 2 : 1;
        level.height = level.height > 1 ? level.height / 2 : 1;
        level.bytesPerRow = level.width * bpp;
        level.offset = next;
        t->levels.push_back(level);
    }
}

bool ensureStorage(RvTexture* t) {
    if (!t->storage.empty()) return true;
    size_t bytes = storageBytes(t);
    if (!bytes || bytes > kMaxStorageBytes) return false;
    t->storage.assign(bytes, 0);
    return true;
}

void freeStorage(RvTexture* t) {
    t->storage.clear();
    t->storage.shrink_to_fit();
}

int clampSide(int v) {
    return v < 0 ? 0 : v > kMaxSide ? kMaxSide : v;
}

uint8_t colorByte(float c) {
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return static_cast<uint8_t>(static_cast<int>(c * 255));
}
}  // namespace

RvTexture::RvTexture(RvGraphicsDevice* d, int mode)
    : RvGraphicsResource(d), accessMode(mode), pointScale(d->pointScale) {}

// >>layout

int RvTextureSetLayout(RvTexture* t, uint32_t type, int width, int height, uint32_t options) {
    if (!t) return kRvTextureNoPixelType;
    width = clampSide(width);
    height = clampSide(height);
    if (type == t->pixelType && width == t->width && height == t->height && options == t->options)
        return kRvTextureLayoutUnchanged;
    freeStorage(t);
    if (type == 0) return kRvTextureNoPixelType;
    t->pixelType = type;
    t->width = width;
    t->height = height;
    t->options = options;
    computeLevels(t);
    t->pixelsChanged = true;
    t->samplerChanged = true;
    return kRvTextureDone;
}

int RvTextureSetLayoutFromBitmap(RvTexture* t, const RvBitmap& bitmap, uint32_t options) {
    if (!t) return kRvTextureUnsupported;
    freeStorage(t);
    if (bitmap.pixelType == 0) return kRvTextureUnsupported;
    const RvGraphicsCapabilities& caps = t->device->capabilities;
    uint32_t type = bitmap.pixelType;
    if (type == kRvPixelBGR8) type = kRvPixelRGB8;
    if (type == kRvPixelRGB8 && !caps.supportsRGB8Textures) type = kRvPixelRGBA8;
    if (RvPixelTypeFormatIndex(type) == kFormatBGRA8 &&
        ((options & (kRvTextureNoBGRA | kRvTextureMipmapStorage)) || !caps.supportsBGRA8Textures))
        type = (type & ~0xFFu) | kFormatRGBA8;  // keeps the alpha kind (straight or premultiplied)
    t->options = options;
    t->width = clampSide(bitmap.width);
    t->height = clampSide(bitmap.height);
    t->pixelType = type;
    computeLevels(t);
    t->pixelsChanged = true;
    t->samplerChanged = true;
    return kRvTextureDone;
}

// >>pixels

int RvTextureSetPixelsFromBitmap(RvTexture* t, int level, const RvBitmap& bitmap, const void* pixels) {
    if (!t || bitmap.pixelType == 0 || !pixels) return kRvTextureBadLevel;
    if (level < 0 || level >= static_cast<int>(t->levels.size())) return kRvTextureBadLevel;
    if (!ensureStorage(t)) return kRvTextureNoStorage;
    const RvTextureLevel& L = t->levels[static_cast<size_t>(level)];
    if ((t->options & kRvTextureExactSize) && (bitmap.width != L.width || bitmap.height != L.height))
        return kRvTextureSizeMismatch;
    int sourceFormat = RvPixelTypeFormatIndex(bitmap.pixelType);
    int storageFormat = RvPixelTypeFormatIndex(t->pixelType);
    int sourceBpp = RvPixelTypeBytesPerPixel(bitmap.pixelType);
    int storageBpp = RvPixelTypeBytesPerPixel(t->pixelType);
    if (bitmap.width < 0 || bitmap.height < 0 || !sourceBpp ||
        static_cast<long long>(bitmap.bytesPerRow) < static_cast<long long>(bitmap.width) * sourceBpp)
        return kRvTextureUnsupported;  // rows would be read past the caller's buffer

    auto* source = static_cast<const uint8_t*>(pixels);
    uint8_t* base = t->storage.data() + L.offset;
    int rows = bitmap.height < L.height ? bitmap.height : L.height;
    int columns = bitmap.width < L.width ? bitmap.width : L.width;
    for (int y = 0; y < rows; y++) {
        const uint8_t* s = source + static_cast<size_t>(y) * bitmap.bytesPerRow;
        uint8_t* d = base + static_cast<size_t>(y) * L.bytesPerRow;
        if ((sourceFormat == kFormatBGR8 || sourceFormat == kFormatRGB8) && storageFormat == kFormatRGBA8) {
            bool bgr = sourceFormat == kFormatBGR8;
            for (int x = 0; x < columns; x++, s += 3, d += 4) {
                d[0] = bgr ? s[2] : s[0];
                d[1] = s[1];
                d[2] = bgr ? s[0] : s[2];
                d[3] = 255;
            }
        } else if (sourceFormat == kFormatBGR8 && storageFormat == kFormatRGB8) {
            for (int x = 0; x < columns; x++, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else {
            size_t rowBytes = static_cast<size_t>(bitmap.width) * sourceBpp;
            if (rowBytes > static_cast<size_t>(L.bytesPerRow)) return kRvTextureUnsupported;
            memcpy(d, s, rowBytes);
        }
    }

    if (sourceFormat == kFormatBGRA8 && storageBpp == 4) {
        size_t count = levelBytes(L) / 4;
        if (bitmap.byteSwapped) {
            for (size_t i = 0; i < count; i++) {
                uint8_t* p = base + i * 4;
                uint8_t a = p[0], b = p[1];
                p[0] = p[3];
                p[1] = p[2];
                p[2] = b;
                p[3] = a;
            }
        }
        if (storageFormat == kFormatRGBA8) {
            for (size_t i = 0; i < count; i++) {
                uint8_t* p = base + i * 4;
                uint8_t blue = p[0];
                p[0] = p[2];
                p[2] = blue;
            }
        }
    }

    if ((t->options & kRvTextureExtrudeEdges) && rows > 0 && columns > 0 && storageBpp > 0) {
        for (int y = 0; y < rows; y++) {
            uint8_t* row = base + static_cast<size_t>(y) * L.bytesPerRow;
            const uint8_t* last = row + static_cast<size_t>(columns - 1) * storageBpp;
            for (int x = columns; x < L.width; x++)
                memcpy(row + static_cast<size_t>(x) * storageBpp, last, storageBpp);
        }
        const uint8_t* lastRow = base + static_cast<size_t>(rows - 1) * L.bytesPerRow;
        for (int y = rows; y < L.height; y++)
            memcpy(base + static_cast<size_t>(y) * L.bytesPerRow, lastRow,
                   static_cast<size_t>(L.bytesPerRow));
    }
    t->pixelsChanged = true;
    return kRvTextureDone;
}

int RvTextureSetSolidColor(RvTexture* t, const KuColor& color) {
    if (!t) return kRvTextureNoStorage;
    uint8_t a = colorByte(color.alpha);
    bool rgb = a == 255 && t->device->capabilities.supportsRGB8Textures;
    RvTextureSetLayout(t, rgb ? kRvPixelRGB8 : kRvPixelRGBA8, 4, 4, 0);
    if (!RvTextureGetPixels(t, 0)) return kRvTextureNoStorage;
    const RvTextureLevel& L = t->levels[0];
    uint8_t pixel[4] = {colorByte(color.red), colorByte(color.green), colorByte(color.blue), a};
    int bpp = rgb ? 3 : 4;
    for (int y = 0; y < L.height; y++) {
        uint8_t* row = t->storage.data() + L.offset + static_cast<size_t>(y) * L.bytesPerRow;
        for (int x = 0; x < L.width; x++)
            memcpy(row + x * bpp, pixel, bpp);
    }
    t->pixelsChanged = true;
    return kRvTextureDone;
}

// >>codecs

// The codec delivers every PNG and JPEG as 8-bit RGBA (grey spread over the colour channels,
// opaque images given alpha 255), so a grey image does not turn into a one-channel red texture.
static int setFromEncodedImage(RvTexture* t, const void* data, size_t length, uint32_t options, bool png) {
    if (!t || !data || length == 0) return kRvTextureNoStorage;
    RvImageBitmap image;
    std::string error;
    bool decoded = png ? RvImageDecodePNG(data, length, &image, &error)
                       : RvImageDecodeJPEG(data, length, &image, &error);
    if (!decoded) {
        RvWarning("RvTexture: %s", error.c_str());
        return kRvTextureNoStorage;
    }
    RvBitmap bitmap;
    bitmap.pixelType = kRvPixelRGBA8;
    bitmap.width = image.width;
    bitmap.height = image.height;
    bitmap.bytesPerRow = image.width * 4;
    int result = RvTextureSetLayoutFromBitmap(t, bitmap, options | kRvTextureExtrudeEdges);
    if (result == kRvTextureDone) result = RvTextureSetPixelsFromBitmap(t, 0, bitmap, image.pixels.data());
    return result;
}

int RvTextureSetFromPNGImageData(RvTexture* t, const void* data, size_t length, uint32_t options) {
    return setFromEncodedImage(t, data, length, options, true);
}

int RvTextureSetFromJPEGImageData(RvTexture* t, const void* data, size_t length, uint32_t options) {
    return setFromEncodedImage(t, data, length, options, false);
}

int RvTextureSetFromPVRImageData(RvTexture* t, const void*, size_t, uint32_t) {
    if (!t || !t->device->capabilities.supportsPVRTC) {
        RvWarning("RvTexture: PVR Texture Compression is not supported.");
        return kRvTextureUnsupported;
    }
    // No device of this system decodes PVR containers.
    return kRvTextureUnsupported;
}

namespace {
// The whole level-0 storage as tightly packed RGB.
std::vector<uint8_t> storageAsRGB(const RvTexture* t) {
    const RvTextureLevel& L = t->levels[0];
    std::vector<uint8_t> rgb(static_cast<size_t>(L.width) * L.height * 3);
    for (int y = 0; y < L.height; y++) {
        const uint8_t* s = t->storage.data() + L.offset + static_cast<size_t>(y) * L.bytesPerRow;
        uint8_t* d = rgb.data() + static_cast<size_t>(y) * L.width * 3;
        for (int x = 0; x < L.width; x++, s += 4, d += 3)
            memcpy(d, s, 3);
    }
    return rgb;
}

bool encodable(const RvTexture* t) {
    if (!t) return false;
    if (RvPixelTypeFormatIndex(t->pixelType) != kFormatRGBA8 || RvPixelTypeBytesPerPixel(t->pixelType) != 4) {
        RvWarning("RvTexture: only RGBA8 CGImages are supported for reading");
        return false;
    }
    return !t->storage.empty() && !t->levels.empty() && t->levels[0].width > 0 && t->levels[0].height > 0;
}
}  // namespace

RvData* RvTextureGetPNGImageData(RvTexture* t, bool withAlpha) {
    if (!encodable(t)) return nullptr;
    const RvTextureLevel& L = t->levels[0];
    std::vector<uint8_t> encoded;
    std::string error;
    bool ok;
    if (withAlpha) {
        ok = RvImageEncodePNG(t->storage.data() + L.offset, L.width, L.height, L.bytesPerRow, 4, &encoded,
                              &error);
    } else {
        std::vector<uint8_t> rgb = storageAsRGB(t);
        ok = RvImageEncodePNG(rgb.data(), L.width, L.height, L.width * 3, 3, &encoded, &error);
    }
    if (!ok) RvWarning("RvTexture: %s", error.c_str());
    return ok ? RvNewData(encoded.data(), encoded.size()) : nullptr;
}

RvData* RvTextureGetJPEGImageData(RvTexture* t) {
    if (!encodable(t)) return nullptr;
    const RvTextureLevel& L = t->levels[0];
    std::vector<uint8_t> encoded;
    std::string error;
    // The encoder reads the RGBA rows and leaves the alpha byte out.
    bool ok = RvImageEncodeJPEG(t->storage.data() + L.offset, L.width, L.height, L.bytesPerRow, 4, 90,
                                &encoded, &error);
    if (!ok) RvWarning("RvTexture: %s", error.c_str());
    return ok ? RvNewData(encoded.data(), encoded.size()) : nullptr;
}

// >>accessors

void RvTextureSetSamplerState(RvTexture* t, uint32_t sampler) {
    if (!t) return;
    t->options = (t->options & ~kRvTextureSamplerMask) | (sampler & kRvTextureSamplerMask);
    t->samplerChanged = true;
}

uint32_t RvTextureGetSamplerState(const RvTexture* t) {
    return t ? t->options & kRvTextureSamplerMask : 0;
}

void RvTextureSetPointScale(RvTexture* t, float scale) {
    if (t) t->pointScale = scale > FLT_EPSILON ? scale : t->device->pointScale;
}
float RvTextureGetPointScale(const RvTexture* t) {
    return t ? t->pointScale : 1.0f;
}
uint32_t RvTextureGetPixelType(const RvTexture* t) {
    return t ? t->pixelType : kRvPixelRGBA8;
}
uint32_t RvTextureGetOptions(const RvTexture* t) {
    return t ? t->options : 0;
}
int RvTextureGetWidth(const RvTexture* t) {
    return t ? t->width : 0;
}
int RvTextureGetHeight(const RvTexture* t) {
    return t ? t->height : 0;
}

static const RvTextureLevel* levelAt(const RvTexture* t, int level) {
    if (!t || level < 0 || level >= static_cast<int>(t->levels.size())) return nullptr;
    return &t->levels[static_cast<size_t>(level)];
}

int RvTextureGetStorageWidth(const RvTexture* t, int level) {
    const RvTextureLevel* L = levelAt(t, level);
    return L ? L->width : 0;
}
int RvTextureGetStorageHeight(const RvTexture* t, int level) {
    const RvTextureLevel* L = levelAt(t, level);
    return L ? L->height : 0;
}
int RvTextureGetStorageBytesPerRow(const RvTexture* t, int level) {
    const RvTextureLevel* L = levelAt(t, level);
    return L ? L->bytesPerRow : 0;
}
int RvTextureGetMipmapCount(const RvTexture* t) {
    return t && !t->levels.empty() ? static_cast<int>(t->levels.size()) - 1 : 0;
}

void* RvTextureGetPixels(RvTexture* t, int level) {
    const RvTextureLevel* L = levelAt(t, level);
    if (!L || !ensureStorage(t)) return nullptr;
    return t->storage.data() + L->offset;
}

bool RvTextureHasStorage(const RvTexture* t) {
    return t && !t->storage.empty();
}

RvVector2 RvTextureGetSizeInPixels(const RvTexture* t) {
    if (!t) return {0, 0};
    return {static_cast<float>(t->width), static_cast<float>(t->height)};
}

RvVector2 RvTextureGetSizeInPoints(const RvTexture* t) {
    if (!t) return {0, 0};
    float s = t->pointScale > FLT_EPSILON ? t->pointScale : 1.0f;
    return {t->width / s, t->height / s};
}

void RvTextureSetFlipVertically(RvTexture* t, bool flip) {
    if (t) t->flipVertically = flip;
}
bool RvTextureGetFlipVertically(const RvTexture* t) {
    return t && t->flipVertically;
}

RvTexCoordBox RvTextureGetCoordsForImage(const RvTexture* t) {
    RvTexCoordBox box;
    const RvTextureLevel* L = levelAt(t, 0);
    if (L && L->width > 0 && L->height > 0) {
        box.u1 = static_cast<float>(t->width) / L->width;
        box.v1 = static_cast<float>(t->height) / L->height;
    }
    if (t && t->flipVertically) {
        box.v0 = box.v1;
        box.v1 = 0;
    }
    return box;
}

RvMatrix4 RvTextureGetMatrixForImage(const RvTexture* t) {
    RvTexCoordBox box = RvTextureGetCoordsForImage(t);
    RvMatrix4 m = RvMatrix4Identity();
    m.m[0] = box.u1 - box.u0;
    m.m[5] = box.v1 - box.v0;
    m.m[12] = box.u0;
    m.m[13] = box.v0;
    return m;
}

void RvTextureFlipPixelStorageVertically(RvTexture* t) {
    if (!t || t->storage.empty()) return;
    std::vector<uint8_t> row;
    for (const RvTextureLevel& L : t->levels) {
        row.resize(static_cast<size_t>(L.bytesPerRow));
        uint8_t* base = t->storage.data() + L.offset;
        for (int top = 0, bottom = L.height - 1; top < bottom; top++, bottom--) {
            uint8_t* a = base + static_cast<size_t>(top) * L.bytesPerRow;
            uint8_t* b = base + static_cast<size_t>(bottom) * L.bytesPerRow;
            memcpy(row.data(), a, row.size());
            memcpy(a, b, row.size());
            memcpy(b, row.data(), row.size());
        }
    }
}

void RvTextureDiscardLocalStorage(RvTexture* t) {
    if (t) freeStorage(t);
}

void RvTextureUpdate(RvTexture*, RvRenderer*) {}
