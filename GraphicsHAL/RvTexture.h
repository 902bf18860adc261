// Textures: pixel storage (level 0 and optional mipmaps in one block), pixel types and conversions,
// sampler options, PNG/JPEG decoding and encoding, and image coordinates inside padded storage.
#pragma once

#include <cstdint>
#include <vector>

#include "RvGraphicsDevice.h"
#include "RvMath.h"

class RvRenderer;

// Pixel types: bits per pixel in 24-31, channels 20-23, compression 16-19, alpha kind 12-15, back-end
// format index 0-7.
enum : uint32_t {
    kRvPixelUnspecified = 0,
    kRvPixelX8 = 0x08101002,
    kRvPixelRGB8 = 0x18300003,
    kRvPixelBGR8 = 0x18300004,
    kRvPixelRGBA8 = 0x20401005,
    kRvPixelBGRA8 = 0x20401006,
    kRvPixelPremulRGBA8 = 0x20402005,
    kRvPixelPremulBGRA8 = 0x20402006,
};

constexpr int RvPixelTypeBytesPerPixel(uint32_t type) {
    return static_cast<int>(type >> 27);
}
constexpr int RvPixelTypeCompression(uint32_t type) {
    return static_cast<int>((type >> 16) & 0xF);
}
constexpr int RvPixelTypeAlphaKind(uint32_t type) {
    return static_cast<int>((type >> 12) & 0xF);
}
constexpr int RvPixelTypeFormatIndex(uint32_t type) {
    return static_cast<int>(type & 0xFF);
}

// Texture options.
enum : uint32_t {
    kRvTextureRepeatS = 0x1,
    kRvTextureRepeatT = 0x2,
    kRvTextureLinearMin = 0x10,
    kRvTextureLinearMag = 0x20,
    kRvTextureLinearMipmap = 0x40,
    kRvTextureSamplerMask = 0xFFFF,
    kRvTextureGenerateMipmaps = 0x10000,
    kRvTextureMipmapStorage = 0x20000,
    kRvTextureExtrudeEdges = 0x100000,
    kRvTextureExactSize = 0x200000,  // reject pixel data whose size differs from the storage
    kRvTextureNoPowerOfTwo = 0x400000,
    kRvTextureNoBGRA = 0x800000,
};

// Result codes of the texture setters.
enum : int {
    kRvTextureDone = 0,
    kRvTextureNoStorage = 1,  // decoding failed or no storage
    kRvTextureLayoutUnchanged = 2,
    kRvTextureNoPixelType = 3,
    kRvTextureBadLevel = 4,  // bad level or empty bitmap type
    kRvTextureUnsupported = 5,
    kRvTextureSizeMismatch = 6,
};

struct RvBitmap {
    uint32_t pixelType = 0;
    int width = 0, height = 0;
    int bytesPerRow = 0;
    bool premultiplied = false;
    bool byteSwapped = false;  // 32-bit pixels not in little-endian order
};

struct RvTextureLevel {
    size_t offset = 0;  // into the storage block, a multiple of 8
    int width = 0, height = 0;
    int bytesPerRow = 0;
};

struct RvTexCoordBox {
    float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};

class RvTexture : public RvGraphicsResource {
public:
    RvTexture(RvGraphicsDevice* device, int accessMode);
    const char* typeStr() const override { return "RvTexture"; }

    int accessMode;
    uint32_t pixelType = 0;
    int width = 0, height = 0;
    float pointScale;
    uint32_t options = 0;
    bool flipVertically = false;
    std::vector<RvTextureLevel> levels;  // level 0 first; sizes known once laid out
    std::vector<uint8_t> storage;        // empty until first pixel access
    bool pixelsChanged = false;
    bool samplerChanged = false;
};

// Lays the texture out; 2 (nothing changed) when all four equal the current ones, 3 for type 0.
int RvTextureSetLayout(RvTexture* texture, uint32_t pixelType, int width, int height, uint32_t options);
int RvTextureSetLayoutFromBitmap(RvTexture* texture, const RvBitmap& bitmap, uint32_t options);
// Converts and copies `pixels` (bitmap.bytesPerRow × bitmap.height bytes) into the level.
int RvTextureSetPixelsFromBitmap(RvTexture* texture, int level, const RvBitmap& bitmap, const void* pixels);
int RvTextureSetSolidColor(RvTexture* texture, const KuColor& color);
int RvTextureSetFromPNGImageData(RvTexture* texture, const void* data, size_t length, uint32_t options);
int RvTextureSetFromJPEGImageData(RvTexture* texture, const void* data, size_t length, uint32_t options);
int RvTextureSetFromPVRImageData(RvTexture* texture, const void* data, size_t length, uint32_t options);
// Owned encoded image of the whole level-0 storage, or null (not RGBA8, no storage).
RvData* RvTextureGetPNGImageData(RvTexture* texture, bool withAlpha);
RvData* RvTextureGetJPEGImageData(RvTexture* texture);
void RvTextureSetSamplerState(RvTexture* texture, uint32_t sampler);  // low 16 bits of the options
uint32_t RvTextureGetSamplerState(const RvTexture* texture);
void RvTextureSetPointScale(RvTexture* texture, float scale);  // ≤ FLT_EPSILON: the device's
float RvTextureGetPointScale(const RvTexture* texture);        // 1.0 for null
uint32_t RvTextureGetPixelType(const RvTexture* texture);      // RGBA8 for null
uint32_t RvTextureGetOptions(const RvTexture* texture);
int RvTextureGetWidth(const RvTexture* texture);
int RvTextureGetHeight(const RvTexture* texture);
int RvTextureGetStorageWidth(const RvTexture* texture, int level);  // 0 for a missing level
int RvTextureGetStorageHeight(const RvTexture* texture, int level);
int RvTextureGetStorageBytesPerRow(const RvTexture* texture, int level);
int RvTextureGetMipmapCount(const RvTexture* texture);  // levels beyond level 0
// The level's pixels, allocating the storage when absent; null for a missing level or no layout.
void* RvTextureGetPixels(RvTexture* texture, int level);
bool RvTextureHasStorage(const RvTexture* texture);
RvVector2 RvTextureGetSizeInPixels(const RvTexture* texture);
RvVector2 RvTextureGetSizeInPoints(const RvTexture* texture);
void RvTextureSetFlipVertically(RvTexture* texture, bool flip);
bool RvTextureGetFlipVertically(const RvTexture* texture);
RvTexCoordBox RvTextureGetCoordsForImage(const RvTexture* texture);
RvMatrix4 RvTextureGetMatrixForImage(const RvTexture* texture);
void RvTextureFlipPixelStorageVertically(RvTexture* texture);
void RvTextureDiscardLocalStorage(RvTexture* texture);
// Per-frame preparation; textures here need none beyond what the back end does when it binds them.
void RvTextureUpdate(RvTexture* texture, RvRenderer* renderer);
