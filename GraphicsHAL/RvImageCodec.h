// The image codec: PNG and JPEG files decoded into 8-bit RGBA bitmaps (libpng, libjpeg-turbo), and
// RGB or RGBA pixels encoded as PNG or JPEG. Plain memory in, plain memory out, no GPU and no engine
// objects; every failure is returned with a message naming what was wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class RvImageFileType { kUnknown, kPNG, kJPEG };

// By the leading signature bytes; kUnknown for anything else (including null or short data).
RvImageFileType RvImageSniffType(const void* data, size_t length);

// Bitmaps larger than this are refused before any pixel memory is taken.
constexpr int kRvImageMaxSide = 32768;
constexpr size_t kRvImageMaxBytes = size_t(1) << 30;

struct RvImageBitmap {
    int width = 0, height = 0;
    // What the file stored: channels 1 grey, 2 grey with alpha, 3 colour, 4 colour with alpha (a
    // palette counts as 3, or 4 when it has transparency), and the bit depth of one sample.
    int sourceChannels = 0;
    int sourceBitDepth = 0;
    // width × height × 4 bytes of R, G, B, A (straight alpha), rows top first, tightly packed.
    // Grey is replicated into R, G and B; images without alpha get 255; 16-bit samples are scaled
    // to 8 bits; interlaced images are delivered de-interlaced; gamma chunks are ignored (pixels
    // come out as stored).
    std::vector<uint8_t> pixels;
};

// Each decoder fills *out and returns true, or returns false with *error set (error may be null)
// and *out emptied. Nothing is read outside [data, data + length).
bool RvImageDecodePNG(const void* data, size_t length, RvImageBitmap* out, std::string* error);
bool RvImageDecodeJPEG(const void* data, size_t length, RvImageBitmap* out, std::string* error);
// Picks the decoder by the signature; other data fails with "unknown image format".
bool RvImageDecode(const void* data, size_t length, RvImageBitmap* out, std::string* error);

// Encoders take `height` rows of `width` pixels, each row `bytesPerRow` apart, of `channels` bytes
// per pixel: 3 (RGB) or 4 (RGBA). PNG keeps the channels as given; JPEG drops alpha. The encoded
// bytes replace *out. False with *error for bad arguments or a library failure.
bool RvImageEncodePNG(const void* pixels, int width, int height, int bytesPerRow, int channels,
                      std::vector<uint8_t>* out, std::string* error);
bool RvImageEncodeJPEG(const void* pixels, int width, int height, int bytesPerRow, int channels, int quality,
                       std::vector<uint8_t>* out, std::string* error);
