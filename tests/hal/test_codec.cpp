// The image codec: every PNG colour type, depth and interlacing written by libpng's own writer
// decodes to the expected RGBA; JPEG decodes within its loss; encoders round-trip; corrupt and
// truncated files fail with a message and an empty bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "RvImageCodec.h"

namespace {

// >>fixtures written with the libraries' own writers

struct PNGCase {
    const char* label;
    int colorType;
    int bitDepth;
    bool interlaced;
    bool transparency;  // a tRNS chunk: palette alphas, or one transparent grey / colour value
};

constexpr int kWidth = 9, kHeight = 7;  // odd sizes leave every Adam7 pass non-empty

int channelsOf(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

int paletteSize(int depth) {
    return depth >= 4 ? 6 : (1 << depth);
}

// The 8-bit value behind sample c of pixel (x, y); 16-bit files store it in the high byte and its
// complement in the low byte, so reading the wrong byte shows.
int sample8(int x, int y, int c) {
    return ((x * 37 + y * 91 + c * 59 + 13) * 2654435761u >> 9) & 255;
}

// The raw sample as written: an index for palettes, a depth-bit value otherwise.
int rawSample(const PNGCase& k, int x, int y, int c) {
    if (k.colorType == PNG_COLOR_TYPE_PALETTE) return (x + 2 * y + c) % paletteSize(k.bitDepth);
    if (k.bitDepth == 16) return (sample8(x, y, c) << 8) | (255 - sample8(x, y, c));
    if (k.bitDepth < 8) return (x + y * 3) % (1 << k.bitDepth);
    return sample8(x, y, c);
}

png_color paletteEntry(int i) {
    return png_color{static_cast<png_byte>(i * 40), static_cast<png_byte>(255 - i * 30),
                     static_cast<png_byte>(i * 7 + 3)};
}
constexpr png_byte kPaletteAlphas[2] = {0, 128};

void appendPNG(png_structp png, png_bytep bytes, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + n);
}

std::vector<uint8_t> writePNG(const PNGCase& k) {
    std::vector<uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &file, appendPNG, nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, k.bitDepth, k.colorType,
                 k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[16];
    if (k.colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < paletteSize(k.bitDepth); i++)
            palette[i] = paletteEntry(i);
        png_set_PLTE(png, info, palette, paletteSize(k.bitDepth));
    }
    if (k.transparency) {
        png_color_16 colour{};
        colour.gray = static_cast<png_uint_16>(rawSample(k, 0, 0, 0));
        colour.red = static_cast<png_uint_16>(rawSample(k, 0, 0, 0));
        colour.green = static_cast<png_uint_16>(rawSample(k, 0, 0, 1));
        colour.blue = static_cast<png_uint_16>(rawSample(k, 0, 0, 2));
        if (k.colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_tRNS(png, info, kPaletteAlphas, 2, nullptr);
        else
            png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    if (k.bitDepth < 8) png_set_packing(png);  // rows hold one sample per byte
    const int channels = channelsOf(k.colorType), bytesPerSample = k.bitDepth == 16 ? 2 : 1;
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * channels * bytesPerSample);
    std::vector<png_bytep> rows(kHeight);
    for (int y = 0; y < kHeight; y++) {
        rows[y] = pixels.data() + static_cast<size_t>(y) * kWidth * channels * bytesPerSample;
        for (int x = 0; x < kWidth; x++)
            for (int c = 0; c < channels; c++) {
                const int v = rawSample(k, x, y, c);
                uint8_t* at = rows[y] + (x * channels + c) * bytesPerSample;
                if (bytesPerSample == 2) {
                    at[0] = static_cast<uint8_t>(v >> 8);
                    at[1] = static_cast<uint8_t>(v & 255);
                } else {
                    at[0] = static_cast<uint8_t>(v);
                }
            }
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

// What pixel (x, y) of the case must decode to.
std::array<int, 4> expectedRGBA(const PNGCase& k, int x, int y) {
    auto to8 = [&](int v) {
        if (k.bitDepth == 16) return v >> 8;
        if (k.bitDepth < 8) return v * 255 / ((1 << k.bitDepth) - 1);
        return v;
    };
    auto sameAsFirst = [&](int channels) {
        for (int c = 0; c < channels; c++)
            if (rawSample(k, x, y, c) != rawSample(k, 0, 0, c)) return false;
        return true;
    };
    switch (k.colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
        const int i = rawSample(k, x, y, 0);
        const png_color e = paletteEntry(i);
        const int alpha = k.transparency && i < 2 ? kPaletteAlphas[i] : 255;
        return {e.red, e.green, e.blue, alpha};
    }
    case PNG_COLOR_TYPE_GRAY: {
        const int g = to8(rawSample(k, x, y, 0));
        return {g, g, g, k.transparency && sameAsFirst(1) ? 0 : 255};
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA: {
        const int g = to8(rawSample(k, x, y, 0));
        return {g, g, g, to8(rawSample(k, x, y, 1))};
    }
    case PNG_COLOR_TYPE_RGB:
        return {to8(rawSample(k, x, y, 0)), to8(rawSample(k, x, y, 1)), to8(rawSample(k, x, y, 2)),
                k.transparency && sameAsFirst(3) ? 0 : 255};
    default:
        return {to8(rawSample(k, x, y, 0)), to8(rawSample(k, x, y, 1)), to8(rawSample(k, x, y, 2)),
                to8(rawSample(k, x, y, 3))};
    }
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Rewrites the CRC of the chunk whose data starts at `dataStart` (length read from the file).
void fixChunkCRC(std::vector<uint8_t>& file, size_t chunkStart) {
    const uint32_t length = (uint32_t(file[chunkStart]) << 24) | (uint32_t(file[chunkStart + 1]) << 16) |
                            (uint32_t(file[chunkStart + 2]) << 8) | file[chunkStart + 3];
    const uLong crc = crc32(0, file.data() + chunkStart + 4, length + 4);
    const size_t at = chunkStart + 8 + length;
    for (int i = 0; i < 4; i++)
        file[at + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

size_t findChunk(const std::vector<uint8_t>& file, const char* type) {
    size_t at = 8;
    while (at + 8 <= file.size()) {
        if (memcmp(file.data() + at + 4, type, 4) == 0) return at;
        const uint32_t length = (uint32_t(file[at]) << 24) | (uint32_t(file[at + 1]) << 16) |
                                (uint32_t(file[at + 2]) << 8) | file[at + 3];
        at += 12 + length;
    }
    return 0;
}

void putBE32(std::vector<uint8_t>& file, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++)
        file[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

std::vector<uint8_t> writeGreyJPEG(int width, int height) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 98, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(width);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < width; x++)
            row[x] = static_cast<uint8_t>(x * 8 + info.next_scanline * 2);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> file(buffer, buffer + size);
    free(buffer);
    return file;
}

// A smooth RGBA gradient (JPEG keeps smooth images close).
std::vector<uint8_t> gradientRGBA(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = 96;
            p[3] = static_cast<uint8_t>(x * 4);
        }
    return pixels;
}

// >>PNG decoding

TEST(ImageCodec, EveryPNGColourTypeDepthAndInterlacingDecodesToRGBA) {
    const PNGCase cases[] = {
        {"palette 8-bit", PNG_COLOR_TYPE_PALETTE, 8, false, false},
        {"palette 4-bit with alphas", PNG_COLOR_TYPE_PALETTE, 4, false, true},
        {"palette 2-bit interlaced with alphas", PNG_COLOR_TYPE_PALETTE, 2, true, true},
        {"palette 1-bit", PNG_COLOR_TYPE_PALETTE, 1, false, false},
        {"grey 1-bit", PNG_COLOR_TYPE_GRAY, 1, false, false},
        {"grey 2-bit", PNG_COLOR_TYPE_GRAY, 2, false, false},
        {"grey 4-bit interlaced", PNG_COLOR_TYPE_GRAY, 4, true, false},
        {"grey 8-bit", PNG_COLOR_TYPE_GRAY, 8, false, false},
        {"grey 8-bit transparent value", PNG_COLOR_TYPE_GRAY, 8, false, true},
        {"grey 16-bit", PNG_COLOR_TYPE_GRAY, 16, false, false},
        {"grey 16-bit interlaced transparent value", PNG_COLOR_TYPE_GRAY, 16, true, true},
        {"grey+alpha 8-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
        {"grey+alpha 16-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
        {"grey+alpha 8-bit interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 8, true, false},
        {"RGB 8-bit", PNG_COLOR_TYPE_RGB, 8, false, false},
        {"RGB 8-bit transparent colour", PNG_COLOR_TYPE_RGB, 8, false, true},
        {"RGB 16-bit", PNG_COLOR_TYPE_RGB, 16, false, false},
        {"RGB 8-bit interlaced", PNG_COLOR_TYPE_RGB, 8, true, false},
        {"RGBA 8-bit", PNG_COLOR_TYPE_RGBA, 8, false, false},
        {"RGBA 16-bit", PNG_COLOR_TYPE_RGBA, 16, false, false},
        {"RGBA 8-bit interlaced", PNG_COLOR_TYPE_RGBA, 8, true, false},
        {"RGBA 16-bit interlaced", PNG_COLOR_TYPE_RGBA, 16, true, false},
    };
    for (const PNGCase& k : cases) {
        SCOPED_TRACE(k.label);
        const std::vector<uint8_t> file = writePNG(k);
        ASSERT_FALSE(file.empty());
        RvImageBitmap bitmap;
        std::string error;
        ASSERT_TRUE(RvImageDecodePNG(file.data(), file.size(), &bitmap, &error)) << error;
        ASSERT_EQ(bitmap.width, kWidth);
        ASSERT_EQ(bitmap.height, kHeight);
        ASSERT_EQ(bitmap.pixels.size(), size_t(kWidth) * kHeight * 4);
        const int stored = channelsOf(k.colorType);
        const int expectedChannels = k.colorType == PNG_COLOR_TYPE_PALETTE ? (k.transparency ? 4 : 3)
                                     : k.transparency                      ? stored + 1
                                                                           : stored;
        EXPECT_EQ(bitmap.sourceChannels, expectedChannels);
        EXPECT_EQ(bitmap.sourceBitDepth, k.bitDepth);
        const int tolerance = k.bitDepth == 16 ? 1 : 0;  // 16 → 8 bits may round either way
        int wrong = 0;
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                const std::array<int, 4> want = expectedRGBA(k, x, y);
                const uint8_t* got = bitmap.pixels.data() + (size_t(y) * kWidth + x) * 4;
                for (int c = 0; c < 4; c++)
                    if (std::abs(got[c] - want[c]) > tolerance && wrong++ < 3)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                      << int(got[c]) << " instead of " << want[c];
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(ImageCodec, RealAtlasDecodesLikeLibpngsOwnReader) {
    const std::vector<uint8_t> file =
        readFile(std::string(TANSY_SHARED_DATA_DIR) + "/spritesheets/monsters.png");
    if (file.empty()) GTEST_SKIP() << "shared data folder absent: " << TANSY_SHARED_DATA_DIR;
    RvImageBitmap bitmap;
    std::string error;
    ASSERT_TRUE(RvImageDecode(file.data(), file.size(), &bitmap, &error)) << error;
    EXPECT_EQ(bitmap.width, 256);
    EXPECT_EQ(bitmap.height, 512);
    EXPECT_EQ(bitmap.sourceChannels, 4);
    // libpng's simplified reader, a separate code path, as the reference.
    png_image reference;
    memset(&reference, 0, sizeof reference);
    reference.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&reference, file.data(), file.size()));
    reference.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> expected(PNG_IMAGE_SIZE(reference));
    ASSERT_TRUE(png_image_finish_read(&reference, nullptr, expected.data(), 0, nullptr));
    EXPECT_TRUE(bitmap.pixels == expected);
    int transparent = 0;
    for (size_t i = 3; i < bitmap.pixels.size(); i += 4)
        transparent += bitmap.pixels[i] == 0;
    EXPECT_GT(transparent, 0) << "the atlas has transparent gaps between its frames";
}

// >>broken files

TEST(ImageCodec, CorruptAndTruncatedPNGsFailWithAMessage) {
    const std::vector<uint8_t> good = writePNG({"RGBA", PNG_COLOR_TYPE_RGBA, 8, false, false});
    ASSERT_FALSE(good.empty());
    const size_t ihdr = findChunk(good, "IHDR"), idat = findChunk(good, "IDAT");
    ASSERT_EQ(ihdr, 8u);
    ASSERT_GT(idat, 0u);
    struct Broken {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* fragment;  // expected in the message
    };
    auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + n); };
    auto edited = [&](auto edit) {
        std::vector<uint8_t> b = good;
        edit(b);
        return b;
    };
    const Broken cases[] = {
        {"empty", {}, "not a PNG"},
        {"half a signature", cut(5), "not a PNG"},
        {"signature only", cut(8), "truncated"},
        {"cut inside the header chunk", cut(20), "truncated"},
        {"cut after the header chunk", cut(33), "truncated"},
        {"cut inside the image data", cut(idat + 20), "truncated"},
        {"end chunk missing", cut(good.size() - 12), "truncated"},
        {"last byte missing", cut(good.size() - 1), "truncated"},
        {"header checksum wrong", edited([](std::vector<uint8_t>& b) { b[29] ^= 0x55; }), "CRC"},
        {"width zero", edited([&](std::vector<uint8_t>& b) {
             putBE32(b, ihdr + 8, 0);
             fixChunkCRC(b, ihdr);
         }),
         "width"},
        {"absurd size", edited([&](std::vector<uint8_t>& b) {
             putBE32(b, ihdr + 8, 40000);
             putBE32(b, ihdr + 12, 40000);
             fixChunkCRC(b, ihdr);
         }),
         "limit"},
        {"unknown colour type", edited([&](std::vector<uint8_t>& b) {
             b[ihdr + 17] = 5;
             fixChunkCRC(b, ihdr);
         }),
         "color type"},
        {"compressed stream damaged", edited([&](std::vector<uint8_t>& b) {
             b[idat + 8] ^= 0xFF;  // the zlib header
             fixChunkCRC(b, idat);
         }),
         "PNG: "},
    };
    for (const Broken& k : cases) {
        SCOPED_TRACE(k.label);
        RvImageBitmap bitmap;
        bitmap.width = 99;  // stale content must not survive a failure
        std::string error;
        EXPECT_FALSE(RvImageDecodePNG(k.bytes.data(), k.bytes.size(), &bitmap, &error));
        EXPECT_EQ(error.rfind("PNG: ", 0), 0u) << error;
        EXPECT_GT(error.size(), 5u);
        EXPECT_NE(error.find(k.fragment), std::string::npos) << error;
        EXPECT_EQ(bitmap.width, 0);
        EXPECT_TRUE(bitmap.pixels.empty());
        // The generic entry gives the same answer.
        std::string again;
        EXPECT_FALSE(RvImageDecode(k.bytes.data(), k.bytes.size(), &bitmap, &again));
    }
}

// >>JPEG

TEST(ImageCodec, JPEGDecodesColourAndGreyWithinItsLoss) {
    constexpr int w = 32, h = 24;
    const std::vector<uint8_t> source = gradientRGBA(w, h);
    std::vector<uint8_t> colour;
    std::string error;
    ASSERT_TRUE(RvImageEncodeJPEG(source.data(), w, h, w * 4, 4, 95, &colour, &error)) << error;
    RvImageBitmap bitmap;
    ASSERT_TRUE(RvImageDecode(colour.data(), colour.size(), &bitmap, &error)) << error;
    ASSERT_EQ(bitmap.width, w);
    ASSERT_EQ(bitmap.height, h);
    EXPECT_EQ(bitmap.sourceChannels, 3);
    int worst = 0;
    for (size_t i = 0; i < bitmap.pixels.size(); i += 4) {
        for (int c = 0; c < 3; c++)
            worst = std::max(worst, std::abs(bitmap.pixels[i + c] - source[i + c]));
        EXPECT_EQ(bitmap.pixels[i + 3], 255) << "JPEG has no alpha: pixels are opaque";
    }
    EXPECT_LE(worst, 12);

    const std::vector<uint8_t> grey = writeGreyJPEG(w, h);
    ASSERT_TRUE(RvImageDecodeJPEG(grey.data(), grey.size(), &bitmap, &error)) << error;
    EXPECT_EQ(bitmap.sourceChannels, 1);
    const uint8_t* p = bitmap.pixels.data() + (size_t(10) * w + 5) * 4;  // written as 5 * 8 + 10 * 2
    EXPECT_NEAR(p[0], 60, 4);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_EQ(p[3], 255);
}

TEST(ImageCodec, BrokenJPEGsFailWithAMessage) {
    std::vector<uint8_t> good;
    const std::vector<uint8_t> source = gradientRGBA(64, 48);
    ASSERT_TRUE(RvImageEncodeJPEG(source.data(), 64, 48, 64 * 4, 4, 90, &good, nullptr));
    std::vector<uint8_t> noise = {0xFF, 0xD8, 0xFF};
    for (int i = 0; i < 200; i++)
        noise.push_back(static_cast<uint8_t>(i * 73 + 11));
    struct Broken {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* fragment;
    };
    const Broken cases[] = {
        {"cut in half", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "truncated"},
        {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 40), "JPEG: "},
        {"noise after the start marker", noise, "JPEG: "},
        {"a PNG", writePNG({"RGB", PNG_COLOR_TYPE_RGB, 8, false, false}), "not a JPEG"},
    };
    for (const Broken& k : cases) {
        SCOPED_TRACE(k.label);
        RvImageBitmap bitmap;
        std::string error;
        EXPECT_FALSE(RvImageDecodeJPEG(k.bytes.data(), k.bytes.size(), &bitmap, &error));
        EXPECT_EQ(error.rfind("JPEG: ", 0), 0u) << error;
        EXPECT_NE(error.find(k.fragment), std::string::npos) << error;
        EXPECT_TRUE(bitmap.pixels.empty());
    }
}

// >>encoding

TEST(ImageCodec, PNGEncodingRoundTripsPaddedRowsExactly) {
    constexpr int w = 7, h = 5, stride = w * 4 + 12;  // rows with padding the encoder must skip
    std::vector<uint8_t> rgba(size_t(stride) * h, 0xEE);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 4; c++)
                rgba[size_t(y) * stride + x * 4 + c] = static_cast<uint8_t>(sample8(x, y, c));
    struct Form {
        int channels;
        int expectedSourceChannels;
    };
    for (const Form f : {Form{4, 4}, Form{3, 3}}) {
        SCOPED_TRACE(f.channels);
        std::vector<uint8_t> packed;  // the channels the encoder reads, with the same row padding
        std::vector<uint8_t> rows(size_t(stride) * h, 0xEE);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < f.channels; c++)
                    rows[size_t(y) * stride + x * f.channels + c] = rgba[size_t(y) * stride + x * 4 + c];
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(RvImageEncodePNG(rows.data(), w, h, stride, f.channels, &file, &error)) << error;
        RvImageBitmap bitmap;
        ASSERT_TRUE(RvImageDecodePNG(file.data(), file.size(), &bitmap, &error)) << error;
        EXPECT_EQ(bitmap.sourceChannels, f.expectedSourceChannels);
        ASSERT_EQ(bitmap.width, w);
        ASSERT_EQ(bitmap.height, h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < 4; c++) {
                    const int want = c < f.channels ? rgba[size_t(y) * stride + x * 4 + c] : 255;
                    ASSERT_EQ(bitmap.pixels[(size_t(y) * w + x) * 4 + c], want) << x << "," << y << "," << c;
                }
    }
}

TEST(ImageCodec, EncodersRefuseBadArgumentsAndUnknownDataIsNamed) {
    const uint8_t pixels[64] = {0};
    std::vector<uint8_t> out = {1, 2, 3};
    struct Bad {
        const char* label;
        const void* pixels;
        int width, height, stride, channels;
    };
    const Bad cases[] = {
        {"no pixels", nullptr, 2, 2, 8, 4},     {"two channels", pixels, 2, 2, 8, 2},
        {"zero width", pixels, 0, 2, 8, 4},     {"negative height", pixels, 2, -1, 8, 4},
        {"rows too short", pixels, 4, 2, 8, 4}, {"absurd width", pixels, 40000, 1, 160000, 4},
    };
    for (const Bad& k : cases) {
        SCOPED_TRACE(k.label);
        std::string error;
        EXPECT_FALSE(RvImageEncodePNG(k.pixels, k.width, k.height, k.stride, k.channels, &out, &error));
        EXPECT_EQ(error, "PNG: bad pixels to encode");
        EXPECT_FALSE(RvImageEncodeJPEG(k.pixels, k.width, k.height, k.stride, k.channels, 90, &out, &error));
        EXPECT_EQ(error, "JPEG: bad pixels to encode");
    }
    const char gif[] = "GIF89a\x01\x00\x01\x00";
    RvImageBitmap bitmap;
    std::string error;
    EXPECT_FALSE(RvImageDecode(gif, sizeof gif, &bitmap, &error));
    EXPECT_EQ(error, "unknown image format");
    EXPECT_EQ(RvImageSniffType(nullptr, 100), RvImageFileType::kUnknown);
}

}  // namespace
