// Sections: >>buffer >>base85 >>base64 >>gzip >>pointer
#include "KuData.h"

#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KuString.h"

// >>buffer

KuData::~KuData() {
    if (!borrowed) free(bytes);
}

KuData* KuData::newWithBytes(const void* src, int n) {
    KuData* data = new KuData;
    data->appendBytes(src, n);
    return data;
}

KuData* KuData::dataWithBytes(const void* src, int n) {
    return KuAutorelease(newWithBytes(src, n));
}

KuData* KuData::dataWithBytesNoCopy(void* heapBuffer, int n) {
    KuData* data = new KuData;
    data->bytes = static_cast<uint8_t*>(heapBuffer);
    data->length = heapBuffer && n > 0 ? n : 0;
    data->capacity = data->length;
    return KuAutorelease(data);
}

bool KuData::reserve(int64_t n) {
    if (n <= capacity) return true;
    if (n > INT32_MAX) return false;
    int64_t grown = capacity > 0 ? static_cast<int64_t>(capacity) * 2 : 16;
    if (grown < n) grown = n;
    if (grown > INT32_MAX) grown = INT32_MAX;
    uint8_t* buffer;
    if (borrowed) {
        // Someone else's buffer cannot be grown in place: move to one of our own.
        buffer = static_cast<uint8_t*>(malloc(static_cast<size_t>(grown)));
        if (buffer && length > 0) memcpy(buffer, bytes, static_cast<size_t>(length));
    } else {
        buffer = static_cast<uint8_t*>(realloc(bytes, static_cast<size_t>(grown)));
    }
    if (!buffer) return false;
    bytes = buffer;
    borrowed = false;
    capacity = static_cast<int32_t>(grown);
    return true;
}

void KuData::appendBytes(const void* src, int n) {
    if (!src || n <= 0) return;
    // The source may lie in our own buffer, which reserve() can move.
    const uint8_t* from = static_cast<const uint8_t*>(src);
    bool inside = bytes && from >= bytes && from < bytes + length;
    ptrdiff_t offset = inside ? from - bytes : 0;
    if (!reserve(static_cast<int64_t>(length) + n)) return;
    if (inside) from = bytes + offset;
    memmove(bytes + length, from, static_cast<size_t>(n));
    length += n;
}

void KuData::setLength(int n) {
    if (n < 0) n = 0;
    if (n > length) {
        if (!reserve(n)) return;
        memset(bytes + length, 0, static_cast<size_t>(n - length));
    }
    length = n;
    if (position > length) position = length;
}

void KuData::replaceBuffer(uint8_t* buffer, int32_t n) {
    if (!borrowed) free(bytes);
    borrowed = false;
    bytes = buffer;
    length = capacity = buffer ? n : 0;
    position = 0;
}

// >>base85

// Returns a calloc'd buffer of *outLength bytes, or null (empty text, or no memory).
static uint8_t* decodeBase85(const char* text, int64_t textLength, int32_t* outLength) {
    int64_t n = (textLength + 4) / 5 * 4;
    *outLength = 0;
    if (n <= 0 || n > INT32_MAX) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(calloc(static_cast<size_t>(n), 1));
    if (!out) return nullptr;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    for (int64_t group = 0; group * 5 < textLength; group++) {
        // Unsigned arithmetic gives the value modulo 2^32, as the format defines it; a short
        // final group stops at the end of the text, its missing digits counting as zero.
        uint32_t value = 0, scale = 1;
        for (int64_t k = group * 5; k < group * 5 + 5 && k < textLength; k++) {
            uint32_t code = in[k];
            value += (code < 92 ? code - 35u : code - 36u) * scale;
            scale *= 85u;
        }
        uint8_t* word = out + group * 4;
        word[0] = static_cast<uint8_t>(value);
        word[1] = static_cast<uint8_t>(value >> 8);
        word[2] = static_cast<uint8_t>(value >> 16);
        word[3] = static_cast<uint8_t>(value >> 24);
    }
    *outLength = static_cast<int32_t>(n);
    return out;
}

void KuData::initWithBase85EncodedString(const char* text) {
    int32_t n = 0;
    uint8_t* decoded = text ? decodeBase85(text, static_cast<int64_t>(strlen(text)), &n) : nullptr;
    replaceBuffer(decoded, n);
}

void KuData::initWithBase85EncodedString(const KuString* text) {
    int32_t n = 0;
    uint8_t* decoded = text && text->cstr ? decodeBase85(text->cstr, text->length, &n) : nullptr;
    replaceBuffer(decoded, n);
}

// >>base64

static const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static int base64Digit(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

void KuData::initWithBase64EncodedString(const KuString* text) {
    if (!text || !text->cstr || text->length <= 0) {
        replaceBuffer(nullptr, 0);
        return;
    }
    // Every four digits give three bytes, so this bound is never exceeded.
    int64_t bound = static_cast<int64_t>(text->length) / 4 * 3 + 3;
    uint8_t* out = static_cast<uint8_t*>(malloc(static_cast<size_t>(bound)));
    if (!out) return;
    int64_t n = 0;
    uint32_t bits = 0;
    int pending = 0;
    for (int32_t i = 0; i < text->length; i++) {
        unsigned char c = static_cast<unsigned char>(text->cstr[i]);
        if (c == '=') break;
        int digit = base64Digit(c);
        if (digit < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out[n++] = static_cast<uint8_t>(bits >> pending);
        }
    }
    if (n == 0) {
        free(out);
        out = nullptr;
    }
    replaceBuffer(out, static_cast<int32_t>(n));
}

KuString* KuData::base64EncodedString() const {
    std::string text;
    text.reserve(static_cast<size_t>(length + 2) / 3 * 4);
    for (int32_t i = 0; i < length; i += 3) {
        int available = length - i < 3 ? length - i : 3;
        uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
        if (available > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (available > 2) group |= bytes[i + 2];
        text += kBase64Alphabet[(group >> 18) & 63];
        text += kBase64Alphabet[(group >> 12) & 63];
        text += available > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=';
        text += available > 2 ? kBase64Alphabet[group & 63] : '=';
    }
    return KuAutorelease(new KuString(text.c_str(), static_cast<int>(text.size())));
}

// >>gzip

KuData* KuData::gzipDeflate() const {
    if (!bytes || length <= 0) return nullptr;
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    // Window bits 31: the gzip container around a 32 KiB window.
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return nullptr;
    uLong bound = deflateBound(&zs, static_cast<uLong>(length));
    uint8_t* out = bound <= INT32_MAX ? static_cast<uint8_t*>(malloc(bound)) : nullptr;
    int result = Z_STREAM_ERROR;
    if (out) {
        zs.next_in = const_cast<Bytef*>(bytes);
        zs.avail_in = static_cast<uInt>(length);
        zs.next_out = out;
        zs.avail_out = static_cast<uInt>(bound);
        result = deflate(&zs, Z_FINISH);
    }
    uLong produced = zs.total_out;
    deflateEnd(&zs);
    if (result != Z_STREAM_END) {
        free(out);
        return nullptr;
    }
    KuData* data = dataWithBytesNoCopy(out, static_cast<int>(produced));
    data->capacity = static_cast<int32_t>(bound);
    return data;
}

KuData* KuData::gzipInflate() const {
    if (!bytes || length <= 0) return nullptr;
    z_stream zs;
    memset(&zs, 0, sizeof zs);
    // Window bits 47: 32 KiB window, gzip or zlib header recognised automatically.
    if (inflateInit2(&zs, 47) != Z_OK) return nullptr;
    KuData* out = new KuData;
    zs.next_in = const_cast<Bytef*>(bytes);
    zs.avail_in = static_cast<uInt>(length);
    bool ok = false;
    for (;;) {
        if (out->length == out->capacity) {
            int64_t want = static_cast<int64_t>(out->capacity) * 2;
            if (want < static_cast<int64_t>(length) * 4) want = static_cast<int64_t>(length) * 4;
            if (want > INT32_MAX) want = INT32_MAX;
            if (want <= out->capacity || !out->reserve(want)) break;  // larger than a data can hold
        }
        zs.next_out = out->bytes + out->length;
        zs.avail_out = static_cast<uInt>(out->capacity - out->length);
        int result = inflate(&zs, Z_NO_FLUSH);
        out->length = out->capacity - static_cast<int32_t>(zs.avail_out);
        if (result == Z_STREAM_END) {
            ok = true;
            break;
        }
        // Z_BUF_ERROR with input left only means the output was full; without input the stream is
        // cut short. Anything else is damage.
        if (result == Z_BUF_ERROR && zs.avail_in > 0 && zs.avail_out == 0) continue;
        if (result != Z_OK) break;
        if (zs.avail_in == 0 && zs.avail_out > 0) break;  // all input consumed, stream unfinished
    }
    inflateEnd(&zs);
    if (!ok) {
        KuRelease(out);
        return nullptr;
    }
    return KuAutorelease(out);
}

// >>pointer

KuPointer* KuPointer::pointerWithVoid(void* p) {
    return KuAutorelease(new KuPointer(p));
}
