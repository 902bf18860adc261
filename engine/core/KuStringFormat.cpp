// The engine's formatter: stb_sprintf for numbers, plus the object conversion "%@".
// Sections: >>sink >>conversion >>walk >>public
//
// The format is walked here, one conversion at a time, so that every argument is read from the
// va_list with its own type: "%@" (not known to stb_sprintf) becomes "%s" of the string's text,
// "*" widths and precisions are read here and written into the conversion as digits, and only a
// single, well-formed conversion with at most one argument ever reaches stb_sprintf. Strings are
// copied here directly. "%n" consumes its pointer and writes nothing. A "%" that ends the format
// is printed as it stands.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KuString.h"

#define STB_SPRINTF_IMPLEMENTATION
#define STB_SPRINTF_STATIC
#define STB_SPRINTF_NOUNALIGNED
#include <stb_sprintf.h>

// >>sink

namespace {

// Widths and precisions of numeric conversions are clamped to this: the field is padding and
// nothing else beyond it, and the clamp keeps the digit parsing free of overflow.
constexpr int kMaxField = 1 << 20;
// Growing output stops here, well below the int lengths the API reports.
constexpr int kMaxGrowingOutput = INT_MAX / 2;
constexpr int kGrowStep = 512;

struct FormatSink {
    char* buf = nullptr;   // null while only counting
    int capacity = 0;      // bytes of buf, the NUL included
    int length = 0;        // bytes stored in buf
    int64_t total = 0;     // bytes the whole output needs
    bool growing = false;  // buf is a heap buffer grown by ku_printf_callback
    bool failed = false;   // growing stopped (allocation failure or size limit)
};

void sinkWrite(FormatSink* sink, const char* bytes, int n);

}  // namespace

// Collects stb_sprintf's chunks (and the literal text between conversions) into a heap buffer
// that starts at 512 bytes and grows by 512 bytes whenever the next chunk would not fit.
static char* ku_printf_callback(const char* chunk, void* user, int len) {
    auto* sink = static_cast<FormatSink*>(user);
    if (len > 0 && !sink->failed) {
        int64_t needed = static_cast<int64_t>(sink->length) + len + 1;
        if (needed > kMaxGrowingOutput) {
            sink->failed = true;
        } else {
            if (needed > sink->capacity) {
                int64_t grown = sink->capacity;
                while (grown < needed)
                    grown += kGrowStep;
                char* bigger = static_cast<char*>(realloc(sink->buf, static_cast<size_t>(grown)));
                if (!bigger) {
                    sink->failed = true;
                } else {
                    sink->buf = bigger;
                    sink->capacity = static_cast<int>(grown);
                }
            }
            if (!sink->failed) {
                memcpy(sink->buf + sink->length, chunk, static_cast<size_t>(len));
                sink->length += len;
            }
        }
    }
    // stb_sprintf goes on writing into the same chunk buffer it handed over.
    return const_cast<char*>(chunk);
}

namespace {

void sinkWrite(FormatSink* sink, const char* bytes, int n) {
    if (n <= 0) return;
    sink->total += n;
    if (sink->growing) {
        ku_printf_callback(bytes, sink, n);
        return;
    }
    if (!sink->buf) return;
    int room = sink->capacity - 1 - sink->length;
    int take = n < room ? n : room;
    if (take > 0) {
        memcpy(sink->buf + sink->length, bytes, static_cast<size_t>(take));
        sink->length += take;
    }
}

void sinkPad(FormatSink* sink, char ch, int n) {
    char pad[64];
    memset(pad, ch, sizeof pad);
    while (n > 0) {
        int chunk = n < static_cast<int>(sizeof pad) ? n : static_cast<int>(sizeof pad);
        sinkWrite(sink, pad, chunk);
        n -= chunk;
    }
}

char* sinkChunkCallback(const char* chunk, void* user, int len) {
    sinkWrite(static_cast<FormatSink*>(user), chunk, len);
    return const_cast<char*>(chunk);
}

// >>conversion

// One parsed conversion, as stb_sprintf reads it.
struct Conversion {
    char flags[16];
    int flagCount = 0;
    bool leftJustify = false;
    bool hasWidth = false;
    int width = 0;
    bool hasPrecision = false;
    int precision = 0;
    bool wide = false;  // the argument is 64 bits wide (stb_sprintf's INTMAX)
    char conv = 0;
};

// Repeating a flag changes nothing, except "$" (up to three steps), so at most ten are kept.
void addFlag(Conversion& c, char flag) {
    if (flag == '-') c.leftJustify = true;
    int same = 0;
    for (int i = 0; i < c.flagCount; i++)
        same += c.flags[i] == flag;
    if (same >= (flag == '$' ? 3 : 1)) return;
    if (c.flagCount < static_cast<int>(sizeof c.flags)) c.flags[c.flagCount++] = flag;
}

// Reads decimal digits, saturating at kMaxField so no field overflows.
int readDigits(const char*& f) {
    int value = 0;
    while (*f >= '0' && *f <= '9') {
        if (value <= kMaxField) value = value * 10 + (*f - '0');
        f++;
    }
    return value > kMaxField ? kMaxField : value;
}

// Writes the conversion as stb_sprintf should see it: flags, digits, the given length
// modifier and conversion letter. The buffer keeps slack after the NUL because stb_sprintf
// reads its format four aligned bytes at a time.
void buildConversionText(const Conversion& c, const char* lengthModifier, char conv, char* out, size_t size) {
    int used = 0;
    out[used++] = '%';
    for (int i = 0; i < c.flagCount; i++)
        out[used++] = c.flags[i];
    if (c.hasWidth) used += snprintf(out + used, size - used, "%d", c.width);
    // Only string precisions may exceed kMaxField, and strings never come here.
    if (c.hasPrecision)
        used += snprintf(out + used, size - used, ".%d", c.precision < kMaxField ? c.precision : kMaxField);
    used += snprintf(out + used, size - used, "%s%c", lengthModifier, conv);
    size_t slack = size - static_cast<size_t>(used) - 1;
    memset(out + used + 1, 0, slack > 4 ? 4 : slack);
}

// Prints text as "%s" would: precision limits the bytes taken, width pads with spaces.
void emitText(FormatSink* sink, const Conversion& c, const char* text) {
    size_t limit = c.hasPrecision ? static_cast<size_t>(c.precision) : SIZE_MAX;
    size_t n = limit == SIZE_MAX ? strlen(text) : strnlen(text, limit);
    if (n > static_cast<size_t>(INT_MAX / 2)) n = INT_MAX / 2;
    int len = static_cast<int>(n);
    int pad = c.hasWidth && c.width > len ? c.width - len : 0;
    if (!c.leftJustify) sinkPad(sink, ' ', pad);
    sinkWrite(sink, text, len);
    if (c.leftJustify) sinkPad(sink, ' ', pad);
}

// Runs stb_sprintf on one conversion and the argument(s) it takes.
void emitWithStb(FormatSink* sink, const char* conversionText, ...) {
    char chunk[STB_SPRINTF_MIN];
    va_list args;
    va_start(args, conversionText);
    stbsp_vsprintfcb(sinkChunkCallback, sink, chunk, conversionText, args);
    va_end(args);
}

// The most negative 64-bit value cannot be negated inside stb_sprintf without overflow; the C
// library prints it instead, with the flags it shares with stb_sprintf.
void emitInt64Min(FormatSink* sink, const Conversion& c) {
    Conversion plain = c;
    plain.flagCount = 0;
    for (int i = 0; i < c.flagCount; i++)
        if (strchr("-+ 0", c.flags[i])) plain.flags[plain.flagCount++] = c.flags[i];
    char conversionText[80];
    buildConversionText(plain, "ll", 'd', conversionText, sizeof conversionText);
    int precision = c.hasPrecision ? (c.precision < kMaxField ? c.precision : kMaxField) : 0;
    size_t cap = static_cast<size_t>(c.width) + static_cast<size_t>(precision) + 64;
    char* text = static_cast<char*>(malloc(cap));
    if (!text) return;
    int n = snprintf(text, cap, conversionText, LLONG_MIN);
    if (n > 0) sinkWrite(sink, text, n < static_cast<int>(cap) ? n : static_cast<int>(cap) - 1);
    free(text);
}

// >>walk

// Parses one conversion at f (just past its "%"), reads its arguments and prints it. Returns
// the position after the conversion.
const char* emitConversion(FormatSink* sink, const char* percent, va_list* args) {
    const char* f = percent + 1;
    Conversion c;

    for (bool more = true; more;) {
        switch (*f) {
        case '-':
        case '+':
        case ' ':
        case '#':
        case '\'':
        case '$':
        case '_':
            addFlag(c, *f++);
            break;
        case '0':  // stb_sprintf ends the flags at a zero
            addFlag(c, *f++);
            more = false;
            break;
        default:
            more = false;
        }
    }

    if (*f == '*') {
        int w = va_arg(*args, int);
        f++;
        if (w < 0) {
            // As in C: a negative "*" width is a "-" flag with the positive width.
            addFlag(c, '-');
            w = w == INT_MIN ? INT_MAX : -w;
        }
        c.hasWidth = true;
        c.width = w > kMaxField ? kMaxField : w;
    } else if (*f >= '0' && *f <= '9') {
        c.hasWidth = true;
        c.width = readDigits(f);
    }

    if (*f == '.') {
        f++;
        if (*f == '*') {
            int p = va_arg(*args, int);
            f++;
            // As in C: a negative "*" precision counts as none.
            if (p >= 0) {
                c.hasPrecision = true;
                c.precision = p;
            }
        } else {
            c.hasPrecision = true;
            c.precision = readDigits(f);
        }
    }

    switch (*f) {
    case 'h':
        f++;
        if (*f == 'h') f++;
        break;
    case 'l':
        c.wide = sizeof(long) == 8;
        f++;
        if (*f == 'l') {
            c.wide = true;
            f++;
        }
        break;
    case 'j':
    case 'z':
    case 't':
        c.wide = sizeof(size_t) == 8;
        f++;
        break;
    case 'I':
        if (f[1] == '6' && f[2] == '4') {
            c.wide = true;
            f += 3;
        } else if (f[1] == '3' && f[2] == '2') {
            f += 3;
        } else {
            c.wide = sizeof(void*) == 8;
            f++;
        }
        break;
    default:
        break;
    }

    c.conv = *f;
    if (c.conv == 0) {
        // A conversion cut off by the end of the format prints as written.
        sinkWrite(sink, percent, static_cast<int>(f - percent));
        return f;
    }

    // stb_sprintf only needs to know the width of integer arguments.
    const char* lengthModifier = c.wide ? "ll" : "";
    char conversionText[80];
    switch (c.conv) {
    case '@': {
        const KuString* s = va_arg(*args, const KuString*);
        emitText(sink, c, s ? s->c_str() : "null");
        break;
    }
    case 's': {
        const char* s = va_arg(*args, const char*);
        emitText(sink, c, s ? s : "null");
        break;
    }
    case 'n':
        // Writing through a caller's pointer is never done: the argument is consumed only.
        (void)va_arg(*args, int*);
        break;
    case 'c':
        buildConversionText(c, "", 'c', conversionText, sizeof conversionText);
        emitWithStb(sink, conversionText, va_arg(*args, int));
        break;
    case 'A':
    case 'a':
    case 'G':
    case 'g':
    case 'E':
    case 'e':
    case 'f':
        buildConversionText(c, "", c.conv, conversionText, sizeof conversionText);
        emitWithStb(sink, conversionText, va_arg(*args, double));
        break;
    case 'p':
        buildConversionText(c, "", 'p', conversionText, sizeof conversionText);
        emitWithStb(sink, conversionText,
                    static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(va_arg(*args, void*))));
        break;
    case 'd':
    case 'i':
        buildConversionText(c, lengthModifier, c.conv, conversionText, sizeof conversionText);
        if (c.wide) {
            long long v = va_arg(*args, long long);
            if (v == LLONG_MIN)
                emitInt64Min(sink, c);
            else
                emitWithStb(sink, conversionText, v);
        } else {
            int v = va_arg(*args, int);
            if (v == INT_MIN) {
                // Printed as 64 bits: stb_sprintf would negate it in 32 bits.
                buildConversionText(c, "ll", c.conv, conversionText, sizeof conversionText);
                emitWithStb(sink, conversionText, static_cast<long long>(v));
            } else {
                emitWithStb(sink, conversionText, v);
            }
        }
        break;
    case 'u':
    case 'B':
    case 'b':
    case 'o':
    case 'X':
    case 'x':
        buildConversionText(c, lengthModifier, c.conv, conversionText, sizeof conversionText);
        if (c.wide)
            emitWithStb(sink, conversionText, va_arg(*args, unsigned long long));
        else
            emitWithStb(sink, conversionText, va_arg(*args, unsigned));
        break;
    default:
        // "%%" and unknown letters take no argument and print the letter itself, as in
        // stb_sprintf. They never reach it: a digit, "." or "*" there would start a new field.
        sinkWrite(sink, &c.conv, 1);
        break;
    }
    return f + 1;
}

void formatInto(FormatSink* sink, const char* fmt, va_list* args) {
    const char* f = fmt;
    while (*f) {
        const char* percent = strchr(f, '%');
        if (!percent) {
            size_t rest = strlen(f);
            sinkWrite(sink, f, rest > INT_MAX / 2 ? INT_MAX / 2 : static_cast<int>(rest));
            return;
        }
        if (percent > f) sinkWrite(sink, f, static_cast<int>(percent - f));
        f = emitConversion(sink, percent, args);
    }
}

}  // namespace

// >>public

int KuVSPrintf(char* buf, int size, const char* fmt, va_list args) {
    if (!buf) {
        if (size != 0 || !fmt) return 0;
        FormatSink counter;
        va_list ap;
        va_copy(ap, args);
        formatInto(&counter, fmt, &ap);
        va_end(ap);
        return counter.total > INT_MAX ? INT_MAX : static_cast<int>(counter.total);
    }
    if (size <= 0) return 0;
    buf[0] = 0;
    if (!fmt) return 0;
    FormatSink sink;
    sink.buf = buf;
    sink.capacity = size;
    va_list ap;
    va_copy(ap, args);
    formatInto(&sink, fmt, &ap);
    va_end(ap);
    buf[sink.length] = 0;
    return sink.length;
}

int KuSPrintf(char* buf, int size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = KuVSPrintf(buf, size, fmt, args);
    va_end(args);
    return n;
}

const char* KuFormat(const char* fmt, ...) {
    static char shared[1024];
    va_list args;
    va_start(args, fmt);
    KuVSPrintf(shared, sizeof shared, fmt, args);
    va_end(args);
    return shared;
}

char* KuVSCBPrintf(int* length, const char* fmt, va_list args) {
    if (length) *length = 0;
    if (!fmt) return nullptr;
    FormatSink sink;
    sink.growing = true;
    sink.buf = static_cast<char*>(malloc(kGrowStep));
    if (!sink.buf) return nullptr;
    sink.capacity = kGrowStep;
    va_list ap;
    va_copy(ap, args);
    formatInto(&sink, fmt, &ap);
    va_end(ap);
    sink.buf[sink.length] = 0;  // the growth rule always leaves room for it
    if (length) *length = sink.length;
    return sink.buf;
}

char* KuTestPrintf(int* length, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char* out = KuVSCBPrintf(length, fmt, args);
    va_end(args);
    return out;
}
