// Texture storage, pixel conversions, result codes and the PNG/JPEG codec, without a GPU.
#include <cstring>

#include "HalTestSupport.h"

namespace {

class TextureTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        RvGraphicsCapabilities caps;
        caps.supportsNonPOTTextures = false;
        padded = RvNewGraphicsDevice(&caps);
        caps.supportsNonPOTTextures = true;
        exact = RvNewGraphicsDevice(&caps);
    }
    void TearDown() override {
        KuRelease(padded);
        KuRelease(exact);
        KuPoolTest::TearDown();
    }
    RvGraphicsDevice* padded = nullptr;  // no non-power-of-two textures, no RGB8 or BGRA8
    RvGraphicsDevice* exact = nullptr;
};

Pixel pixelOf(RvTexture* t, int x, int y) {
    auto* p = static_cast<const uint8_t*>(RvTextureGetPixels(t, 0)) +
              static_cast<size_t>(y) * RvTextureGetStorageBytesPerRow(t, 0) + static_cast<size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

// PNG bytes of a width × height RGBA image with pixel (x, y) = (x, y, x ^ y, 255), through the layer's
// encoder.
std::vector<uint8_t> patternPNG(RvGraphicsDevice* device, int width, int height) {
    RvTexture* source = RvNewTexture(device, kRvAccessDynamic);
    RvTextureSetLayout(source, kRvPixelRGBA8, width, height, 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            auto* p = static_cast<uint8_t*>(RvTextureGetPixels(source, 0)) + y * width * 4 + x * 4;
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x ^ y);
            p[3] = 255;
        }
    }
    RvData* png = RvTextureGetPNGImageData(source, true);
    std::vector<uint8_t> bytes;
    if (png) bytes.assign(png->bytes(), png->bytes() + png->length());
    KuRelease(png);
    KuRelease(source);
    return bytes;
}

TEST_F(TextureTest, PNGOnAPowerOfTwoDeviceIsPaddedAndExtruded) {
    std::vector<uint8_t> png = patternPNG(exact, 100, 60);
    ASSERT_FALSE(png.empty());
    RvTexture* t = RvNewTexture(padded, kRvAccessDynamic);
    ASSERT_EQ(RvTextureSetFromPNGImageData(t, png.data(), png.size(), kRvTextureLinearMin), kRvTextureDone);
    EXPECT_EQ(RvTextureGetWidth(t), 100);
    EXPECT_EQ(RvTextureGetHeight(t), 60);
    EXPECT_EQ(RvTextureGetStorageWidth(t, 0), 128);
    EXPECT_EQ(RvTextureGetStorageHeight(t, 0), 64);
    EXPECT_EQ(RvTextureGetPixelType(t), kRvPixelRGBA8);
    EXPECT_EQ(RvTextureGetOptions(t), kRvTextureLinearMin | kRvTextureExtrudeEdges);
    EXPECT_EQ(pixelOf(t, 37, 21), rgba(37, 21, 37 ^ 21, 255));
    // Columns 100-127 repeat column 99; rows 60-63 repeat row 59.
    for (int x : {100, 127})
        EXPECT_EQ(pixelOf(t, x, 10), rgba(99, 10, 99 ^ 10, 255)) << x;
    for (int y : {60, 63})
        EXPECT_EQ(pixelOf(t, 5, y), rgba(5, 59, 5 ^ 59, 255)) << y;
    EXPECT_EQ(pixelOf(t, 127, 63), rgba(99, 59, 99 ^ 59, 255));
    RvTexCoordBox box = RvTextureGetCoordsForImage(t);
    EXPECT_FLOAT_EQ(box.u1, 100 / 128.0f);
    EXPECT_FLOAT_EQ(box.v1, 60 / 64.0f);
    EXPECT_EQ(box.u0, 0);
    EXPECT_EQ(box.v0, 0);
    RvMatrix4 m = RvTextureGetMatrixForImage(t);
    EXPECT_FLOAT_EQ(m.m[0], 100 / 128.0f);
    EXPECT_FLOAT_EQ(m.m[5], 60 / 64.0f);
    KuRelease(t);
}

TEST_F(TextureTest, BitmapPixelsAreConvertedToTheStorageOrder) {
    const uint8_t bgr[2 * 3] = {10, 20, 30, 40, 50, 60};
    const uint8_t bgra[2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Row {
        const char* name;
        RvBitmap bitmap;
        const uint8_t* pixels;
        uint32_t storedType;
        Pixel first, second;
    } rows[] = {
        {"BGR8",
         {kRvPixelBGR8, 2, 1, 6, false, false},
         bgr,
         kRvPixelRGBA8,
         rgba(30, 20, 10, 255),
         rgba(60, 50, 40, 255)},
        {"RGB8",
         {kRvPixelRGB8, 2, 1, 6, false, false},
         bgr,
         kRvPixelRGBA8,
         rgba(10, 20, 30, 255),
         rgba(40, 50, 60, 255)},
        {"BGRA8",
         {kRvPixelBGRA8, 2, 1, 8, false, false},
         bgra,
         kRvPixelRGBA8,
         rgba(3, 2, 1, 4),
         rgba(7, 6, 5, 8)},
        // Words in the other byte order are reversed first (ARGB in memory), then swizzled.
        {"BGRA8 swapped",
         {kRvPixelBGRA8, 2, 1, 8, false, true},
         bgra,
         kRvPixelRGBA8,
         rgba(2, 3, 4, 1),
         rgba(6, 7, 8, 5)},
        {"RGBA8",
         {kRvPixelRGBA8, 2, 1, 8, false, false},
         bgra,
         kRvPixelRGBA8,
         rgba(1, 2, 3, 4),
         rgba(5, 6, 7, 8)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RvTexture* t = RvNewTexture(padded, kRvAccessDynamic);
        ASSERT_EQ(RvTextureSetLayoutFromBitmap(t, row.bitmap, kRvTextureNoPowerOfTwo), kRvTextureDone);
        EXPECT_EQ(RvTextureGetPixelType(t), row.storedType);
        ASSERT_EQ(RvTextureSetPixelsFromBitmap(t, 0, row.bitmap, row.pixels), kRvTextureDone);
        EXPECT_EQ(pixelOf(t, 0, 0), row.first);
        EXPECT_EQ(pixelOf(t, 1, 0), row.second);
        KuRelease(t);
    }
}

TEST_F(TextureTest, SetterResultCodes) {
    RvTexture* t = RvNewTexture(exact, kRvAccessDynamic);
    uint8_t pixels[16 * 16 * 4] = {};
    EXPECT_EQ(RvTextureSetLayout(t, 0, 4, 4, 0), kRvTextureNoPixelType);
    EXPECT_EQ(RvTextureSetLayout(t, kRvPixelRGBA8, 4, 4, kRvTextureExactSize), kRvTextureDone);
    void* storage = RvTextureGetPixels(t, 0);
    EXPECT_EQ(RvTextureSetLayout(t, kRvPixelRGBA8, 4, 4, kRvTextureExactSize), kRvTextureLayoutUnchanged);
    EXPECT_EQ(RvTextureGetPixels(t, 0), storage) << "an unchanged layout keeps the pixels";
    struct Row {
        const char* name;
        int level;
        RvBitmap bitmap;
        int code;
    } rows[] = {
        {"fits", 0, {kRvPixelRGBA8, 4, 4, 16, false, false}, kRvTextureDone},
        {"no type", 0, {0, 4, 4, 16, false, false}, kRvTextureBadLevel},
        {"level beyond the mipmaps", 1, {kRvPixelRGBA8, 4, 4, 16, false, false}, kRvTextureBadLevel},
        {"other size while exact", 0, {kRvPixelRGBA8, 2, 4, 8, false, false}, kRvTextureSizeMismatch},
        {"rows shorter than the width", 0, {kRvPixelRGBA8, 4, 4, 8, false, false}, kRvTextureUnsupported},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RvTextureSetPixelsFromBitmap(t, row.level, row.bitmap, pixels), row.code) << row.name;
    RvTextureSetLayout(t, kRvPixelRGBA8, 4, 4, 0);
    RvBitmap wide{kRvPixelRGBA8, 16, 2, 64, false, false};
    EXPECT_EQ(RvTextureSetPixelsFromBitmap(t, 0, wide, pixels), kRvTextureUnsupported)
        << "row longer than storage";
    RvBitmap empty{};
    EXPECT_EQ(RvTextureSetLayoutFromBitmap(t, empty, 0), kRvTextureUnsupported);
    CapturedReports reports;
    EXPECT_EQ(RvTextureSetFromPVRImageData(t, pixels, sizeof pixels, 0), kRvTextureUnsupported);
    EXPECT_TRUE(reports.contains("RvTexture: PVR Texture Compression is not supported."));
    KuRelease(t);
}

TEST_F(TextureTest, SolidColourPicksRGBOnlyWhereTheDeviceHasIt) {
    RvGraphicsCapabilities caps;
    caps.supportsRGB8Textures = true;
    RvGraphicsDevice* rgbDevice = RvNewGraphicsDevice(&caps);
    struct Row {
        RvGraphicsDevice* device;
        KuColor color;
        uint32_t type;
        int bytesPerRow;
    } rows[] = {
        {padded, {1, 0.5f, 0, 1}, kRvPixelRGBA8, 16},
        {rgbDevice, {1, 0.5f, 0, 1}, kRvPixelRGB8, 12},
        {rgbDevice, {1, 0.5f, 0, 0.5f}, kRvPixelRGBA8, 16},
    };
    for (const Row& row : rows) {
        RvTexture* t = RvNewTexture(row.device, kRvAccessDynamic);
        ASSERT_EQ(RvTextureSetSolidColor(t, row.color), kRvTextureDone);
        EXPECT_EQ(RvTextureGetPixelType(t), row.type);
        EXPECT_EQ(RvTextureGetWidth(t), 4);
        EXPECT_EQ(RvTextureGetStorageBytesPerRow(t, 0), row.bytesPerRow);
        auto* p = static_cast<const uint8_t*>(RvTextureGetPixels(t, 0));
        const uint8_t* last = p + 3 * row.bytesPerRow + 3 * (row.bytesPerRow / 4);
        EXPECT_EQ(last[0], 255);
        EXPECT_EQ(last[1], 127);  // truncated, as (int)(0.5 × 255)
        EXPECT_EQ(last[2], 0);
        if (row.type == kRvPixelRGBA8) {
            EXPECT_EQ(last[3], static_cast<int>(row.color.alpha * 255));
        }
        KuRelease(t);
    }
    KuRelease(rgbDevice);
}

TEST_F(TextureTest, EncodedImagesRoundTripAndBrokenDataFails) {
    RvTexture* t = RvNewTexture(exact, kRvAccessDynamic);
    RvTextureSetSolidColor(t, KuColor{0.2f, 0.4f, 0.8f, 1});
    RvData* jpeg = RvTextureGetJPEGImageData(t);
    RvData* png = RvTextureGetPNGImageData(t, false);
    ASSERT_NE(jpeg, nullptr);
    ASSERT_NE(png, nullptr);
    RvTexture* back = RvNewTexture(exact, kRvAccessDynamic);
    ASSERT_EQ(RvTextureSetFromJPEGImageData(back, jpeg->bytes(), jpeg->length(), 0), kRvTextureDone);
    Pixel p = pixelOf(back, 2, 2);
    EXPECT_NEAR(p[0], 51, 3);
    EXPECT_NEAR(p[1], 102, 3);
    EXPECT_NEAR(p[2], 204, 3);
    EXPECT_EQ(p[3], 255) << "RGB images are stored with opaque alpha";
    ASSERT_EQ(RvTextureSetFromPNGImageData(back, png->bytes(), png->length(), 0), kRvTextureDone);
    EXPECT_EQ(pixelOf(back, 3, 3), rgba(51, 102, 204, 255));
    // A JPEG handed to the PNG decoder, truncated data and noise all fail cleanly.
    EXPECT_EQ(RvTextureSetFromPNGImageData(back, jpeg->bytes(), jpeg->length(), 0), kRvTextureNoStorage);
    EXPECT_EQ(RvTextureSetFromPNGImageData(back, png->bytes(), png->length() / 2, 0), kRvTextureNoStorage);
    uint8_t noise[64];
    for (int i = 0; i < 64; i++)
        noise[i] = static_cast<uint8_t>(i * 37);
    EXPECT_EQ(RvTextureSetFromJPEGImageData(back, noise, sizeof noise, 0), kRvTextureNoStorage);
    EXPECT_EQ(RvTextureSetFromPNGImageData(back, nullptr, 0, 0), kRvTextureNoStorage);
    // Only RGBA8 storage is encoded.
    CapturedReports reports;
    RvTextureSetLayout(back, kRvPixelX8, 4, 4, 0);
    RvTextureGetPixels(back, 0);
    EXPECT_EQ(RvTextureGetPNGImageData(back, true), nullptr);
    EXPECT_TRUE(reports.contains("RvTexture: only RGBA8 CGImages are supported for reading"));
    KuRelease(jpeg);
    KuRelease(png);
    KuRelease(back);
    KuRelease(t);
}

TEST_F(TextureTest, FlippedImagesAndStorageFlips) {
    RvTexture* t = RvNewTexture(padded, kRvAccessDynamic);
    RvTextureSetLayout(t, kRvPixelRGBA8, 3, 2, 0);  // storage 4 × 2
    RvTextureSetFlipVertically(t, true);
    RvTexCoordBox box = RvTextureGetCoordsForImage(t);
    EXPECT_FLOAT_EQ(box.u1, 0.75f);
    EXPECT_FLOAT_EQ(box.v0, 1.0f);
    EXPECT_FLOAT_EQ(box.v1, 0.0f);
    RvMatrix4 m = RvTextureGetMatrixForImage(t);
    RvVector4 corner = RvMatrix4Transform(m, {1, 1, 0, 1});
    EXPECT_FLOAT_EQ(corner.x, 0.75f);
    EXPECT_FLOAT_EQ(corner.y, 0.0f);
    auto* p = static_cast<uint8_t*>(RvTextureGetPixels(t, 0));
    p[0] = 9;   // row 0
    p[16] = 7;  // row 1
    RvTextureFlipPixelStorageVertically(t);
    EXPECT_EQ(p[0], 7);
    EXPECT_EQ(p[16], 9);
    RvTextureDiscardLocalStorage(t);
    EXPECT_FALSE(RvTextureHasStorage(t));
    EXPECT_NE(RvTextureGetPixels(t, 0), nullptr) << "asking for pixels allocates again";
    EXPECT_EQ(RvTextureGetPixels(t, 1), nullptr);
    // Null textures read as defaults.
    EXPECT_EQ(RvTextureGetPixelType(nullptr), kRvPixelRGBA8);
    EXPECT_EQ(RvTextureGetPointScale(nullptr), 1.0f);
    RvTexCoordBox none = RvTextureGetCoordsForImage(nullptr);
    EXPECT_EQ(none.u1, 1.0f);
    KuRelease(t);
}

TEST_F(TextureTest, MipmapStorageHalvesToOnePixelOnEightByteBoundaries) {
    RvTexture* t = RvNewTexture(exact, kRvAccessDynamic);
    RvTextureSetLayout(t, kRvPixelX8, 5, 3, kRvTextureMipmapStorage);
    ASSERT_EQ(RvTextureGetMipmapCount(t), 2);  // 5×3, 2×1, 1×1
    EXPECT_EQ(RvTextureGetStorageWidth(t, 1), 2);
    EXPECT_EQ(RvTextureGetStorageHeight(t, 1), 1);
    EXPECT_EQ(RvTextureGetStorageWidth(t, 2), 1);
    for (int level = 0; level <= 2; level++)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(RvTextureGetPixels(t, level)) % 8, 0u) << level;
    uint8_t one = 42;
    RvBitmap bitmap{kRvPixelX8, 1, 1, 1, false, false};
    EXPECT_EQ(RvTextureSetPixelsFromBitmap(t, 2, bitmap, &one), kRvTextureDone);
    EXPECT_EQ(*static_cast<uint8_t*>(RvTextureGetPixels(t, 2)), 42);
    KuRelease(t);
}

}  // namespace
