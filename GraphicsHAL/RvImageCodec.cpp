// Sections: >>common >>png decoding >>jpeg decoding >>png encoding >>jpeg encoding
//
// Both libraries report errors by longjmp. Every function that calls setjmp keeps only plain
// locals that are set before the setjmp and never changed after it; everything that grows or is
// freed lives in a state record owned by a caller frame that the jump never crosses.
#include "RvImageCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#include <jerror.h>  // after jpeglib.h, which it needs

// >>common

namespace {

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

bool sizeAcceptable(unsigned long width, unsigned long height) {
    if (width == 0 || height == 0) return false;
    if (width > static_cast<unsigned long>(kRvImageMaxSide) ||
        height > static_cast<unsigned long>(kRvImageMaxSide))
        return false;
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 4 <= kRvImageMaxBytes;
}

std::string sizeText(unsigned long width, unsigned long height) {
    char text[64];
    snprintf(text, sizeof text, "%lux%lu", width, height);
    return text;
}

}  // namespace

RvImageFileType RvImageSniffType(const void* data, size_t length) {
    static const uint8_t kPNGSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto* b = static_cast<const uint8_t*>(data);
    if (!b) return RvImageFileType::kUnknown;
    if (length >= 8 && memcmp(b, kPNGSignature, 8) == 0) return RvImageFileType::kPNG;
    if (length >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return RvImageFileType::kJPEG;
    return RvImageFileType::kUnknown;
}

bool RvImageDecode(const void* data, size_t length, RvImageBitmap* out, std::string* error) {
    switch (RvImageSniffType(data, length)) {
    case RvImageFileType::kPNG:
        return RvImageDecodePNG(data, length, out, error);
    case RvImageFileType::kJPEG:
        return RvImageDecodeJPEG(data, length, out, error);
    default:
        if (out) *out = RvImageBitmap();
        setError(error, "unknown image format");
        return false;
    }
}

// >>png decoding

namespace {

struct PNGReadState {
    const uint8_t* data = nullptr;
    size_t length = 0;
    size_t position = 0;
    char message[256] = {0};
    char firstWarning[128] = {0};  // libpng names the actual fault in a warning before a general error
    std::vector<png_bytep> rows;
    RvImageBitmap* out = nullptr;
};

void pngRecordError(png_structp png, png_const_charp text) {
    auto* state = static_cast<PNGReadState*>(png_get_error_ptr(png));
    if (state && !state->message[0]) {
        if (state->firstWarning[0])
            snprintf(state->message, sizeof state->message, "%s (%s)", text ? text : "", state->firstWarning);
        else
            snprintf(state->message, sizeof state->message, "%s", text ? text : "");
    }
    png_longjmp(png, 1);
}

void pngRecordWarning(png_structp png, png_const_charp text) {
    auto* state = static_cast<PNGReadState*>(png_get_error_ptr(png));
    if (state && !state->firstWarning[0])
        snprintf(state->firstWarning, sizeof state->firstWarning, "%s", text ? text : "");
}

void pngIgnoreWarning(png_structp, png_const_charp) {}

void pngReadFromMemory(png_structp png, png_bytep into, png_size_t count) {
    auto* state = static_cast<PNGReadState*>(png_get_io_ptr(png));
    if (count > state->length - state->position) {
        snprintf(state->message, sizeof state->message, "the data ends early (truncated file)");
        png_longjmp(png, 1);
    }
    memcpy(into, state->data + state->position, count);
    state->position += count;
}

// The libpng part; false with state->message set.
bool pngDecodeInto(PNGReadState* state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, pngRecordError, pngRecordWarning);
    if (!png) {
        snprintf(state->message, sizeof state->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        snprintf(state->message, sizeof state->message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, state, pngReadFromMemory);
    png_set_user_limits(png, kRvImageMaxSide, kRvImageMaxSide);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (!sizeAcceptable(width, height)) {
        snprintf(state->message, sizeof state->message, "image size %s is not supported",
                 sizeText(width, height).c_str());
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    int channels = 0;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        channels = transparent ? 2 : 1;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        channels = 2;
        break;
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_RGB:
        channels = transparent ? 4 : 3;
        break;
    default:
        channels = 4;
        break;
    }
    state->out->sourceChannels = channels;
    state->out->sourceBitDepth = bitDepth;

    // Everything becomes 8-bit RGBA: palettes and low-depth grey expanded, a transparent colour
    // turned into alpha, 16-bit samples scaled, grey spread over RGB, opaque images given alpha.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparent) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !transparent) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (png_get_rowbytes(png, info) != rowBytes) {
        snprintf(state->message, sizeof state->message, "unexpected row layout");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    state->out->pixels.resize(rowBytes * height);
    state->rows.resize(height);
    for (png_uint_32 y = 0; y < height; y++)
        state->rows[y] = state->out->pixels.data() + y * rowBytes;
    png_read_image(png, state->rows.data());
    png_read_end(png, nullptr);  // a file cut before its end chunk is truncated, not complete
    state->out->width = static_cast<int>(width);
    state->out->height = static_cast<int>(height);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

bool RvImageDecodePNG(const void* data, size_t length, RvImageBitmap* out, std::string* error) {
    if (!out) {
        setError(error, "PNG: no bitmap to decode into");
        return false;
    }
    *out = RvImageBitmap();
    if (RvImageSniffType(data, length) != RvImageFileType::kPNG) {
        setError(error, "PNG: not a PNG file");
        return false;
    }
    PNGReadState state;
    state.data = static_cast<const uint8_t*>(data);
    state.length = length;
    state.out = out;
    if (!pngDecodeInto(&state)) {
        *out = RvImageBitmap();
        setError(error, std::string("PNG: ") + state.message);
        return false;
    }
    return true;
}

// >>jpeg decoding

namespace {

struct JPEGErrorState {
    jpeg_error_mgr manager;  // first, so the library's pointer to it is a pointer to the record
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 32] = {0};
};

[[noreturn]] void jpegFail(j_common_ptr info) {
    auto* state = reinterpret_cast<JPEGErrorState*>(info->err);
    if (!state->message[0]) (*info->err->format_message)(info, state->message);
    longjmp(state->jump, 1);
}

// Warnings are corrupt-data notes; a file that ends early is refused rather than shown with its
// missing part filled in grey.
void jpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    info->err->num_warnings++;
    if (info->err->msg_code == JWRN_JPEG_EOF) {
        auto* state = reinterpret_cast<JPEGErrorState*>(info->err);
        snprintf(state->message, sizeof state->message, "the data ends early (truncated file)");
        longjmp(state->jump, 1);
    }
}

struct JPEGReadState {
    JPEGErrorState errors;
    jpeg_decompress_struct info;
    std::vector<uint8_t> cmykRow;
    RvImageBitmap* out = nullptr;
};

bool jpegDecodeInto(JPEGReadState* state, const uint8_t* data, size_t length) {
    jpeg_decompress_struct* info = &state->info;
    info->err = jpeg_std_error(&state->errors.manager);
    state->errors.manager.error_exit = jpegFail;
    state->errors.manager.emit_message = jpegMessage;
    if (setjmp(state->errors.jump)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    jpeg_mem_src(info, data, static_cast<unsigned long>(length));
    jpeg_read_header(info, TRUE);
    if (!sizeAcceptable(info->image_width, info->image_height)) {
        snprintf(state->errors.message, sizeof state->errors.message, "image size %s is not supported",
                 sizeText(info->image_width, info->image_height).c_str());
        jpeg_destroy_decompress(info);
        return false;
    }
    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    state->out->sourceChannels = cmyk ? 4 : info->num_components == 1 ? 1 : 3;
    state->out->sourceBitDepth = 8;
    info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(info);

    const size_t width = info->output_width, height = info->output_height;
    state->out->pixels.resize(width * height * 4);
    if (cmyk) state->cmykRow.resize(width * 4);
    // Adobe writes CMYK inverted; the marker tells.
    const bool inverted = info->saw_Adobe_marker;
    while (info->output_scanline < info->output_height) {
        uint8_t* row = state->out->pixels.data() + static_cast<size_t>(info->output_scanline) * width * 4;
        JSAMPROW target = cmyk ? state->cmykRow.data() : row;
        if (jpeg_read_scanlines(info, &target, 1) != 1) break;
        if (!cmyk) continue;
        for (size_t x = 0; x < width; x++) {
            const uint8_t* s = state->cmykRow.data() + x * 4;
            int c = s[0], m = s[1], yy = s[2], k = s[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yy = 255 - yy;
                k = 255 - k;
            }
            row[x * 4 + 0] = static_cast<uint8_t>(c * k / 255);
            row[x * 4 + 1] = static_cast<uint8_t>(m * k / 255);
            row[x * 4 + 2] = static_cast<uint8_t>(yy * k / 255);
            row[x * 4 + 3] = 255;
        }
    }
    jpeg_finish_decompress(info);
    state->out->width = static_cast<int>(width);
    state->out->height = static_cast<int>(height);
    jpeg_destroy_decompress(info);
    return true;
}

}  // namespace

bool RvImageDecodeJPEG(const void* data, size_t length, RvImageBitmap* out, std::string* error) {
    if (!out) {
        setError(error, "JPEG: no bitmap to decode into");
        return false;
    }
    *out = RvImageBitmap();
    if (RvImageSniffType(data, length) != RvImageFileType::kJPEG) {
        setError(error, "JPEG: not a JPEG file");
        return false;
    }
    if (length > static_cast<size_t>(~0UL >> 1)) {
        setError(error, "JPEG: data too large");
        return false;
    }
    JPEGReadState state;
    state.out = out;
    if (!jpegDecodeInto(&state, static_cast<const uint8_t*>(data), length)) {
        *out = RvImageBitmap();
        setError(error, std::string("JPEG: ") + state.errors.message);
        return false;
    }
    return true;
}

// >>png encoding

namespace {

struct PNGWriteState {
    std::vector<uint8_t>* out = nullptr;
    char message[256] = {0};
    std::vector<png_bytep> rows;
};

void pngWriteError(png_structp png, png_const_charp text) {
    auto* state = static_cast<PNGWriteState*>(png_get_error_ptr(png));
    if (state && !state->message[0]) snprintf(state->message, sizeof state->message, "%s", text ? text : "");
    png_longjmp(png, 1);
}

void pngWriteToMemory(png_structp png, png_bytep bytes, png_size_t count) {
    auto* state = static_cast<PNGWriteState*>(png_get_io_ptr(png));
    state->out->insert(state->out->end(), bytes, bytes + count);
}

void pngFlushNothing(png_structp) {}

bool pngEncodeInto(PNGWriteState* state, const uint8_t* pixels, int width, int height, int bytesPerRow,
                   int channels) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state, pngWriteError, pngIgnoreWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, state, pngWriteToMemory, pngFlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    state->rows.resize(static_cast<size_t>(height));
    for (int y = 0; y < height; y++)
        state->rows[y] = const_cast<png_bytep>(pixels + static_cast<size_t>(y) * bytesPerRow);
    png_write_image(png, state->rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encodeArgumentsValid(const void* pixels, int width, int height, int bytesPerRow, int channels,
                          const std::vector<uint8_t>* out, std::string* error, const char* codec) {
    if (!pixels || !out || (channels != 3 && channels != 4) || width <= 0 || height <= 0 ||
        !sizeAcceptable(static_cast<unsigned long>(width), static_cast<unsigned long>(height)) ||
        bytesPerRow < width * channels) {
        setError(error, std::string(codec) + ": bad pixels to encode");
        return false;
    }
    return true;
}

}  // namespace

bool RvImageEncodePNG(const void* pixels, int width, int height, int bytesPerRow, int channels,
                      std::vector<uint8_t>* out, std::string* error) {
    if (!encodeArgumentsValid(pixels, width, height, bytesPerRow, channels, out, error, "PNG")) return false;
    out->clear();
    PNGWriteState state;
    state.out = out;
    if (!pngEncodeInto(&state, static_cast<const uint8_t*>(pixels), width, height, bytesPerRow, channels)) {
        out->clear();
        setError(error, std::string("PNG: ") + (state.message[0] ? state.message : "out of memory"));
        return false;
    }
    return true;
}

// >>jpeg encoding

namespace {

struct JPEGWriteState {
    JPEGErrorState errors;
    jpeg_compress_struct info;
    unsigned char* buffer = nullptr;  // the library's, freed here
    unsigned long size = 0;
};

bool jpegEncodeInto(JPEGWriteState* state, const uint8_t* pixels, int width, int height, int bytesPerRow,
                    int channels, int quality) {
    jpeg_compress_struct* info = &state->info;
    info->err = jpeg_std_error(&state->errors.manager);
    state->errors.manager.error_exit = jpegFail;
    if (setjmp(state->errors.jump)) {
        jpeg_destroy_compress(info);
        return false;
    }
    jpeg_create_compress(info);
    jpeg_mem_dest(info, &state->buffer, &state->size);
    info->image_width = static_cast<JDIMENSION>(width);
    info->image_height = static_cast<JDIMENSION>(height);
    info->input_components = channels;
    info->in_color_space = channels == 4 ? JCS_EXT_RGBX : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(info->next_scanline) * bytesPerRow);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    jpeg_destroy_compress(info);
    return true;
}

}  // namespace

bool RvImageEncodeJPEG(const void* pixels, int width, int height, int bytesPerRow, int channels, int quality,
                       std::vector<uint8_t>* out, std::string* error) {
    if (!encodeArgumentsValid(pixels, width, height, bytesPerRow, channels, out, error, "JPEG")) return false;
    out->clear();
    JPEGWriteState state;
    const int clamped = quality < 1 ? 1 : quality > 100 ? 100 : quality;
    const bool ok = jpegEncodeInto(&state, static_cast<const uint8_t*>(pixels), width, height, bytesPerRow,
                                   channels, clamped);
    if (ok && state.buffer) out->assign(state.buffer, state.buffer + state.size);
    free(state.buffer);
    if (!ok) {
        out->clear();
        setError(error, std::string("JPEG: ") + state.errors.message);
        return false;
    }
    return true;
}
