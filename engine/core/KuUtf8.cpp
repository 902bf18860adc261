// UTF-8 decoding into 16-bit units and encoding back, for sequences of at most three bytes.
// A sequence cut short by the end of the text decodes to "?" and consumes only the bytes
// before the terminator, so no decoder ever reads past a NUL.
#include "KuString.h"

namespace {

constexpr unsigned short kReplacement = '?';

inline bool isContinuation(unsigned char b) {
    return b >= 0x80 && b <= 0xBF;
}

}  // namespace

int utf8ByteSize(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead <= 0xBF) return -1;
    if (lead <= 0xDF) return 2;
    return 3;
}

unsigned short utf8ToUnicodeAndInc(const char*& s) {
    if (!s) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    unsigned char b0 = p[0];
    int size = utf8ByteSize(b0);
    if (size == 1) {
        if (b0) s++;  // the terminator is not consumed
        return b0;
    }
    if (size < 0) {
        s++;
        return kReplacement;
    }
    if (!p[1] || (size == 3 && !p[2])) {
        // Truncated at the terminator: consume what is there.
        s += p[1] ? 2 : 1;
        return kReplacement;
    }
    if (size == 2) {
        s += 2;
        return static_cast<unsigned short>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
    }
    s += 3;
    return static_cast<unsigned short>((b0 << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
}

unsigned short utf8ToUnicode(const char* s) {
    return utf8ToUnicodeAndInc(s);
}

int utf8ToUnicodeIndex(const char*, int) {
    return 0;
}

int utf8Strlen(const char* s) {
    if (!s) return 0;
    int count = 0;
    while (*s) {
        if (isContinuation(static_cast<unsigned char>(*s))) return 0;
        utf8ToUnicodeAndInc(s);
        count++;
    }
    return count;
}

bool utf8Verify(const char* s) {
    if (!s) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        int size = utf8ByteSize(*p);
        if (size < 0) return true;
        for (int i = 1; i < size; i++)
            if (!isContinuation(p[i])) return true;  // also stops at the terminator
        p += size;
    }
    return false;
}

int utf8StringToUnicodeString(const char* src, unsigned short* dst, int count) {
    if (!dst) return 0;
    int n = 0;
    if (src) {
        while (n < count && *src)
            dst[n++] = utf8ToUnicodeAndInc(src);
    }
    dst[n] = 0;
    return n;
}

void unicodeToUtf8AndInc(unsigned short unit, char*& out) {
    if (unit < 0x80) {
        *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
        *out++ = static_cast<char>(0xC0 | (unit >> 6));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (unit >> 12));
        *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
}

int unicode16StringToUTF8String(const unsigned short* src, char* dst, int size) {
    if (!dst || size <= 0) return 0;
    char* out = dst;
    if (src) {
        for (; *src; src++) {
            int bytes = *src < 0x80 ? 1 : (*src < 0x800 ? 2 : 3);
            if ((out - dst) + bytes + 1 > size) break;  // the terminator must still fit
            unicodeToUtf8AndInc(*src, out);
        }
    }
    *out = 0;
    return static_cast<int>(out - dst);
}
