// KuJson: reader and writer of the engine's JSON dialect and its binary form.
//
// Index:
//   // >>tables         character classes shared by the reader and the writer
//   // >>numbers        number classification, decimal reading, float text
//   // >>reader         tokens, values, containers, points and rectangles
//   // >>entry points   quickParse… functions and the binary error text
//   // >>writer         stringFromDict, jsonStringFromDict
//   // >>binary reader
//   // >>binary writer
//   // >>cache          the process-wide dictionary cache
#include "KuJson.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "KuFile.h"
#include "KuLog.h"
#include "KuNumber.h"
#include "KuPackfileManager.h"
#include "KuPointObject.h"

// >>tables ---------------------------------------------------------------------------------------

namespace {

enum : uint8_t {
    kEndsWord = 1,        // NUL, blanks, [ ] { } ( ) = : , and the two quotes
    kPunct = 2,           // single-character tokens
    kStopsQuoted = 4,     // NUL, LF, CR, backslash, the two quotes
    kEscapedOnWrite = 8,  // LF, CR, double quote, backslash
};

struct CharTable {
    uint8_t cls[256] = {};
    constexpr CharTable() {
        for (const char* s = "[]{}()=:,"; *s; s++)
            cls[(unsigned char)*s] |= kEndsWord | kPunct;
        for (const char* s = " \t\n\r"; *s; s++)
            cls[(unsigned char)*s] |= kEndsWord;
        cls[(unsigned char)'"'] |= kEndsWord | kStopsQuoted | kEscapedOnWrite;
        cls[(unsigned char)'\''] |= kEndsWord | kStopsQuoted;
        cls[0] |= kEndsWord | kStopsQuoted;
        cls[(unsigned char)'\n'] |= kStopsQuoted | kEscapedOnWrite;
        cls[(unsigned char)'\r'] |= kStopsQuoted | kEscapedOnWrite;
        cls[(unsigned char)'\\'] |= kStopsQuoted | kEscapedOnWrite;
    }
};
constexpr CharTable kChars;

inline uint8_t charClass(unsigned char c) {
    return kChars.cls[c];
}

// The token buffer is per thread (parsing on one thread never disturbs another) and made on first use.
char* threadTokenBuffer() {
    static thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) buffer.reset(new char[KuJson::kTokenBufferSize]);
    return buffer.get();
}

KuMutableString*& binaryErrorSlot() {
    static KuMutableString* error = nullptr;
    return error;
}

void setBinaryError(bool onlyFirst, const char* fmt, ...) {
    KuMutableString*& slot = binaryErrorSlot();
    if (onlyFirst && slot) return;
    va_list args;
    va_start(args, fmt);
    KuString* text = KuString::stringWithFormatArgs(fmt, args);
    va_end(args);
    KuMutableString* fresh = new KuMutableString(text ? text->c_str() : "");
    KuRelease(slot);
    slot = fresh;
}

void clearBinaryError() {
    KuRelease(binaryErrorSlot());
    binaryErrorSlot() = nullptr;
}

// >>numbers --------------------------------------------------------------------------------------

#if defined(__x86_64__) || defined(__i386__)
#define KUJSON_EXTENDED_DOUBLE (LDBL_MANT_DIG == 64)
#else
#define KUJSON_EXTENDED_DOUBLE 0
#endif

// How the dialect reads an unquoted word: a "-" in first place counts as a digit; at least one digit
// with no dot and nothing else is an integer (atoll, narrowed to 32 bits), with exactly one dot a
// float (atof, as float), anything else a string. One pass classifies and converts.
enum class WordKind { String, Integer, Float };

struct WordNumber {
    int32_t integer = 0;
    float real = 0;
};

// strtod of the decimal m * 10^e10 (m holding the first 19 significant digits; exact when no digit
// after those was dropped), exactly as the C library rounds it. The common cases are computed in
// extended precision; those it cannot settle go to strtod on the word itself.
double decimalToDouble(uint64_t m, int e10, bool exact, bool negative, const char* word, int n,
                       char* scratch) {
    if (m == 0 && exact) return negative ? -0.0 : 0.0;
#if KUJSON_EXTENDED_DOUBLE
    static const long double kPow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
                                         1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
                                         1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
    if (exact && e10 >= -27 && e10 <= 27) {
        if (e10 == 0 && m < (1ULL << 53)) return negative ? -(double)m : (double)m;
        long double q = e10 >= 0 ? (long double)m * kPow10[e10] : (long double)m / kPow10[-e10];
        // q is within 2^-64 of the true value; rounding it to double agrees with strtod unless the
        // true value lies next to a double midpoint, which shows in the 11 bits a double drops.
        uint64_t mantissa;
        memcpy(&mantissa, &q, sizeof mantissa);
        unsigned dropped = (unsigned)(mantissa & 0x7FF);
        if (dropped < 0x3FE || dropped > 0x402) {
            double d = (double)q;
            return negative ? -d : d;
        }
    }
#endif
    int len = n < KuJson::kTokenBufferSize ? n : KuJson::kTokenBufferSize - 1;
    memmove(scratch, word, (size_t)len);
    scratch[len] = 0;
    return strtod(scratch, nullptr);
}

WordKind readWord(const char* t, int n, WordNumber* out, char* scratch) {
    if (n <= 0) return WordKind::String;
    const unsigned char first = (unsigned char)t[0];
    if (!((unsigned)(first - '0') < 10u || first == '-' || first == '.')) return WordKind::String;
    const bool negative = first == '-';
    uint64_t m = 0;
    int significant = 0, e10 = 0, dots = 0, digits = 0;
    bool exact = true;
    for (int i = negative ? 1 : 0; i < n; i++) {
        const unsigned c = (unsigned char)t[i];
        const unsigned d = c - '0';
        if (d < 10u) {
            digits++;
            if (significant < 19) {
                if (m || d) {
                    m = m * 10 + d;
                    significant++;
                }
                if (dots) e10--;
            } else {
                if (!dots) e10++;
                if (d) exact = false;
            }
        } else if (c == '.') {
            if (++dots > 1) return WordKind::String;
        } else {
            return WordKind::String;
        }
    }
    if (digits == 0 && !negative) return WordKind::String;
    if (dots == 0) {
        // atoll saturates at the 64-bit limits; the result keeps its low 32 bits.
        const uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
        uint64_t magnitude = (e10 > 0 || m > limit) ? limit : m;
        out->integer = (int32_t)(uint32_t)(negative ? ~magnitude + 1 : magnitude);
        return WordKind::Integer;
    }
    // "-." and "." convert nothing: plain zero.
    out->real = digits == 0 ? 0.0f : (float)decimalToDouble(m, e10, exact, negative, t, n, scratch);
    return WordKind::Float;
}

// Six significant digits of a finite non-zero |v| in the fixed range "%g" writes without exponent,
// computed exactly (round half to even on the binary value, as the C library does). Writes the text
// "%g" would give and returns its length, or -1 when the value needs the general formatter.
int fixedG(float f, char* out) {
    uint32_t bits;
    memcpy(&bits, &f, sizeof bits);
    uint32_t exponentBits = (bits >> 23) & 0xFF;
    if (exponentBits == 0 || exponentBits == 0xFF) return -1;  // zero, subnormal, inf, nan
    uint64_t mant = (bits & 0x7FFFFF) | 0x800000;
    int e2 = (int)exponentBits - 150;  // |f| = mant * 2^e2
    if (e2 >= 0 || e2 < -60) return -1;
    static const uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                      100000, 1000000, 10000000, 100000000, 1000000000};
    // p = 5 - X with X the decimal exponent; start from floor(log10(2^(e2+23))), at most one below
    // X, and settle exactly.
    int x = ((e2 + 23) * 78913) >> 18;
    int p = 5 - x;
    uint64_t n = 0;
    for (int tries = 0; tries < 4; tries++) {
        if (p < 0 || p > 9) return -1;
        uint64_t scaled = mant * kPow10[p];
        int shift = -e2;
        n = scaled >> shift;
        uint64_t rem = scaled & ((1ULL << shift) - 1);
        uint64_t half = 1ULL << (shift - 1);
        if (rem > half || (rem == half && (n & 1))) n++;
        if (n >= 1000000) {
            p--;
            continue;
        }
        if (n < 100000) {
            p++;
            continue;
        }
        break;
    }
    if (n < 100000 || n >= 1000000) return -1;
    x = 5 - p;  // -4 <= x <= 5
    char digits[6];
    for (int k = 5; k >= 0; k--) {
        digits[k] = (char)('0' + n % 10);
        n /= 10;
    }
    int last = 5;
    while (last > 0 && digits[last] == '0')
        last--;  // trailing zeros go, as with "%g"
    char* o = out;
    if (f < 0) *o++ = '-';
    if (x >= 0) {
        for (int k = 0; k <= x; k++)
            *o++ = digits[k];
        if (last > x) {
            *o++ = '.';
            for (int k = x + 1; k <= last; k++)
                *o++ = digits[k];
        }
    } else {
        *o++ = '0';
        *o++ = '.';
        for (int k = 0; k < -x - 1; k++)
            *o++ = '0';
        for (int k = 0; k <= last; k++)
            *o++ = digits[k];
    }
    *o = 0;
    return (int)(o - out);
}

// "%g" of the float. *exponent (when given) tells whether the text took the exponent form.
int formatG(float f, char* out, int size, bool* exponent = nullptr) {
    int n = fixedG(f, out);
    if (n >= 0) {
        if (exponent) *exponent = false;
        return n;
    }
    n = snprintf(out, (size_t)size, "%g", (double)f);
    if (exponent) *exponent = n > 0 && memchr(out, 'e', (size_t)n) != nullptr;
    return n;
}

int formatInt(int32_t v, char* out) {
    char tmp[12];
    int n = 0;
    uint32_t u = v < 0 ? 0u - (uint32_t)v : (uint32_t)v;
    do {
        tmp[n++] = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    char* o = out;
    if (v < 0) *o++ = '-';
    while (n)
        *o++ = tmp[--n];
    *o = 0;
    return (int)(o - out);
}

// The shared numbers cover the small values; others are made here so that the reader can hand
// them over without going through the autorelease pool.
KuNumber* ownedInteger(int32_t v) {
    if (v >= -255 && v <= 255) return _KuNewNumber((int)v);
    return new KuNumber((int)v);
}

KuNumber* ownedFloat(float v) {
    if (v >= -255.0f && v <= 255.0f && v == std::trunc(v)) return _KuNewNumber(v);
    return new KuNumber(v);
}

}  // namespace

int KuJson::floatText(float value, char* out, int size) {
    if (!out || size < kFloatTextSize) return -1;
    bool exponent;
    int n = formatG(value, out, size, &exponent);
    if (!exponent) {
        if (!std::isinf(value)) return n;
        // Infinity: a decimal beyond the float range reads back as infinity.
        const char* text = value < 0 ? "-1000000000000000000000000000000000000000.0"
                                     : "1000000000000000000000000000000000000000.0";
        n = (int)strlen(text);
        memcpy(out, text, (size_t)n + 1);
        return n;
    }
    // The exponent form would read back as a word: spell the same six digits out in plain decimal.
    char e[32];
    snprintf(e, sizeof e, "%.5e", (double)value);
    const char* s = e;
    bool negative = *s == '-';
    if (negative) s++;
    char digits[6];
    int nd = 0;
    for (; *s && *s != 'e' && nd < 6; s++)
        if (*s >= '0' && *s <= '9') digits[nd++] = *s;
    while (*s && *s != 'e')
        s++;
    int x = *s == 'e' ? atoi(s + 1) : 0;
    char* o = out;
    if (negative) *o++ = '-';
    if (x >= 0) {
        for (int k = 0; k < nd; k++)
            *o++ = digits[k];
        for (int k = nd; k <= x; k++)
            *o++ = '0';
        *o++ = '.';
        *o++ = '0';
    } else {
        int last = nd - 1;
        while (last > 0 && digits[last] == '0')
            last--;
        *o++ = '0';
        *o++ = '.';
        for (int k = 0; k < -x - 1; k++)
            *o++ = '0';
        for (int k = 0; k <= last; k++)
            *o++ = digits[k];
    }
    *o = 0;
    return (int)(o - out);
}

// >>reader ---------------------------------------------------------------------------------------

struct KuJsonParser {
    struct Token {
        const char* text = nullptr;  // into the source or the token buffer; not NUL-terminated
        int len = 0;
        bool quoted = false;
        bool is(char c) const { return !quoted && len == 1 && text[0] == c; }
    };

    KuJson& st;
    const unsigned char* p;
    char* buffer;  // kTokenBufferSize bytes

    KuJsonParser(KuJson& state, const char* text) : st(state), p((const unsigned char*)text) {
        buffer = threadTokenBuffer();
    }

    void vrecord(bool fatal, const char* fmt, va_list args) {
        if (fatal) st.aborted = true;
        if (st.error) return;
        KuString* message = KuString::stringWithFormatArgs(fmt, args);
        st.error = new KuMutableString(message ? message->c_str() : "");
        st.error->appendFormat(" around line %d", st.line);
    }
    void record(const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        vrecord(false, fmt, args);
        va_end(args);
    }
    void fail(const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        vrecord(true, fmt, args);
        va_end(args);
    }

    // Blanks, line comments (";" or "//" to the end of the line) and line counting.
    void skipBlanks() {
        for (;;) {
            unsigned char c = *p;
            if (c == ' ' || c == '\t') {
                p++;
                while (*p == ' ')  // indentation comes in runs
                    p++;
            } else if (c == '\n') {
                st.line++;
                p++;
            } else if (c == '\r') {
                if (p[1] != '\n') st.line++;
                p++;
            } else if (c == ';' || (c == '/' && p[1] == '/')) {
                while (*p && *p != '\n' && *p != '\r')
                    p++;
            } else {
                return;
            }
        }
    }

    // Decodes the rest of a quoted string (after its opening quote) into dst, at most cap bytes.
    // Sets closed when it ended on its own quote. False when the text does not fit.
    bool decodeQuoted(unsigned char quote, char* dst, int cap, int& len, bool& closed) {
        closed = false;
        for (;;) {
            unsigned char c = *p;
            if (c == quote) {
                p++;
                closed = true;
                return true;
            }
            if (c == 0) return true;
            if (c == '\n' || c == '\r') {
                if (c == '\n' || p[1] != '\n') st.line++;
                p++;
                return true;
            }
            if (c == '\\') {
                c = p[1];
                if (c == 0) {
                    p++;
                    return true;
                }
                if (c == '\n' || c == '\r') {
                    if (c == '\n' || p[2] != '\n') st.line++;
                    p += 2;
                    return true;
                }
                if (c == 'n')
                    c = '\n';
                else if (c == 'r')
                    c = '\r';
                else if (c == 't')
                    c = '\t';
                p += 2;
            } else {
                p++;
            }
            if (len >= cap) return false;
            dst[len++] = (char)c;
        }
    }

    // One token without concatenation, for the part appended after a "+".
    // Returns false when it did not fit in cap bytes.
    bool appendRawToken(char* dst, int cap, int& len, bool& quotedAndClosed) {
        quotedAndClosed = false;
        unsigned char c = *p;
        if (charClass(c) & kPunct) {
            if (len >= cap) return false;
            dst[len++] = (char)c;
            p++;
            return true;
        }
        if (c == '"' || c == '\'') {
            p++;
            bool closed;
            if (!decodeQuoted(c, dst, cap, len, closed)) return false;
            quotedAndClosed = closed;
            return true;
        }
        const unsigned char* start = p;
        while (!(charClass(*p) & kEndsWord))
            p++;
        int n = (int)(p - start);
        if (n > cap - len) return false;
        memcpy(dst + len, start, (size_t)n);
        len += n;
        return true;
    }

    bool readQuoted(Token& tok) {
        const unsigned char quote = *p++;
        const unsigned char* start = p;
        const unsigned char* s = p;
        for (;;) {
            while (!(charClass(*s) & kStopsQuoted))
                s++;
            if ((*s == '"' || *s == '\'') && *s != quote) {
                s++;
                continue;
            }
            break;
        }
        const int limit = KuJson::kTokenBufferSize - 1;
        int len = (int)(s - start);
        if (len > limit) {
            fail("Token too long");
            return false;
        }
        tok.quoted = true;
        if (*s == quote && s[1] != '+') {  // the common case: no escape, no concatenation
            tok.text = (const char*)start;
            tok.len = len;
            p = s + 1;
            return true;
        }
        memcpy(buffer, start, (size_t)len);
        p = s;
        bool closed;
        if (!decodeQuoted(quote, buffer, limit, len, closed)) {
            fail("Token too long");
            return false;
        }
        // "a"+"b" joins; the appended part (itself possibly joined) is bounded by its own buffer.
        int appended = 0;
        bool chain = closed;
        while (chain && *p == '+') {
            p++;
            skipBlanks();
            if (!*p) break;
            const int appendLimit = KuJson::kAppendBufferSize - 1 - appended;
            const int room = limit - len < appendLimit ? limit - len : appendLimit;
            const int before = len;
            if (!appendRawToken(buffer, len + room, len, chain)) {
                if (room == appendLimit)
                    fail("Appended token too long");
                else
                    fail("Token too long");
                return false;
            }
            appended += len - before;
        }
        buffer[len] = 0;
        tok.text = buffer;
        tok.len = len;
        return true;
    }

    // False at the end of the text or after a fatal error.
    bool next(Token& tok) {
        if (st.aborted) return false;
        skipBlanks();
        unsigned char c = *p;
        if (!c) return false;
        if (charClass(c) & kPunct) {
            tok.text = (const char*)p++;
            tok.len = 1;
            tok.quoted = false;
            return true;
        }
        if (c == '"' || c == '\'') return readQuoted(tok);
        const unsigned char* start = p;
        while (!(charClass(*p) & kEndsWord))
            p++;
        tok.text = (const char*)start;
        tok.len = (int)(p - start);
        tok.quoted = false;
        if (tok.len > KuJson::kTokenBufferSize - 1) {
            fail("Token too long");
            return false;
        }
        return true;
    }

    // The token as a NUL-terminated text in the token buffer.
    const char* terminated(const Token& tok) {
        if (tok.text != buffer) memmove(buffer, tok.text, (size_t)tok.len);
        buffer[tok.len] = 0;
        return buffer;
    }

    void consumeComma() {
        skipBlanks();
        if (*p == ',') p++;
    }

    bool enter() {
        if (st.depth >= KuJson::kMaxDepth) {
            fail("Nesting too deep");
            return false;
        }
        st.depth++;
        return true;
    }

    // Values come back as owned references (cached strings and shared numbers retained), so that
    // containers adopt them without the autorelease pool. Null with *none set when no token was left.
    KuObject* parseValue(bool* none) {
        *none = false;
        Token tok;
        if (!next(tok)) {
            *none = !st.aborted;
            return nullptr;
        }
        if (!tok.quoted && tok.len == 1) {
            switch (tok.text[0]) {
            case '[':
                return parseArray();
            case '{':
                return parseDictionary();
            case '(':
                return parsePointOrRect();
            case '=':
                fail("Unexpected =");
                return nullptr;
            case ':':
                fail("Unexpected :");
                return nullptr;
            default:
                break;
            }
        }
        return valueFromToken(tok);
    }

    KuObject* valueFromToken(Token tok) {
        KuString* substitute = nullptr;
        if (st.symbols) {
            substitute = st.symbols->stringForKey(terminated(tok), nullptr);
            if (substitute) {
                tok.text = substitute->c_str();
                tok.len = substitute->length;
            }
        }
        if (!tok.quoted) {
            const char* t = tok.text;
            switch (tok.len) {
            case 2:
                if (t[0] == 'N' && t[1] == 'O') return kKuNumberInt0;
                break;
            case 3:
                if (t[0] == 'Y' && t[1] == 'E' && t[2] == 'S') return kKuNumberInt1;
                break;
            case 4:
                if (memcmp(t, "NULL", 4) == 0) return new KuNullObject();
                break;
            default:
                break;
            }
            WordNumber number;
            switch (readWord(t, tok.len, &number, buffer)) {
            case WordKind::Integer:
                return ownedInteger(number.integer);
            case WordKind::Float:
                return ownedFloat(number.real);
            case WordKind::String:
                break;
            }
        }
        KuString* s = cachedKuString(tok.text, tok.len);
        KuRetain(s);
        return s;
    }

    // Children wait on per-thread stacks until their container is complete, so that every
    // container is made once at its final size.
    struct Entry {
        KuString* key;  // cached: alive while the cache is, not retained here
        KuObject* value;
    };
    struct Scratch {
        std::vector<Entry> entries;
        std::vector<KuObject*> values;
    };
    static Scratch& scratch() {
        static thread_local Scratch s;
        return s;
    }
    // After a parse: a huge document's stacks are not kept for the rest of the thread's life.
    static void trimScratch() {
        Scratch& s = scratch();
        if (s.entries.empty() && s.entries.capacity() > 65536) std::vector<Entry>().swap(s.entries);
        if (s.values.empty() && s.values.capacity() > 65536) std::vector<KuObject*>().swap(s.values);
    }

    KuDictionary* parseDictionary() {
        if (!enter()) return nullptr;
        std::vector<Entry>& stack = scratch().entries;
        const size_t base = stack.size();
        for (;;) {
            Token tok;
            if (!next(tok)) break;
            if (!tok.quoted && tok.text[0] == '}') break;
            KuString* key;
            if (st.keysToLower) {
                char* text = const_cast<char*>(terminated(tok));
                KuJson::strlower(text);
                key = cachedKuString(text, tok.len);
            } else {
                key = cachedKuString(tok.text, tok.len);
            }
            Token sep;
            if (!next(sep) || !(sep.is('=') || sep.is(':'))) {
                fail("Missing = or :");
                break;
            }
            bool none;
            KuObject* value = parseValue(&none);
            if (!value) {
                if (none) fail("Missing value after = or :");
                break;
            }
            consumeComma();
            stack.push_back(Entry{key, value});
        }
        st.depth--;
        KuDictionary* dict = nullptr;
        if (!st.aborted) {
            dict = new KuDictionary();
            dict->reserve((int)(stack.size() - base));
            for (size_t i = base; i < stack.size(); i++)
                dict->appendKeyObject(stack[i].key, stack[i].value, true);
        } else {
            for (size_t i = base; i < stack.size(); i++)
                KuRelease(stack[i].value);
        }
        stack.resize(base);
        return dict;
    }

    KuArray<KuObject*>* parseArray() {
        if (!enter()) return nullptr;
        std::vector<KuObject*>& stack = scratch().values;
        const size_t base = stack.size();
        for (;;) {
            skipBlanks();
            if (*p == ']') {
                p++;
                break;
            }
            if (*p == '}') {
                fail("Unexpected }");
                break;
            }
            bool none;
            KuObject* value = parseValue(&none);
            if (!value) {
                if (none) fail("Error in array");
                break;
            }
            consumeComma();
            stack.push_back(value);
        }
        st.depth--;
        KuArray<KuObject*>* array = nullptr;
        if (!st.aborted) {
            array = KuArray<KuObject*>::newArray();
            array->vector().assign(stack.begin() + (ptrdiff_t)base, stack.end());  // adopts the references
        } else {
            for (size_t i = base; i < stack.size(); i++)
                KuRelease(stack[i]);
        }
        stack.resize(base);
        return array;
    }

    float numberInPoint(const Token& tok) { return (float)atof(terminated(tok)); }

    // The inner part of a point: x "," y ")". False (with the error) when the comma is missing; a
    // missing ")" is only recorded.
    bool parsePoint(KuPoint* point) {
        Token tok;
        point->x = next(tok) ? numberInPoint(tok) : 0.0f;
        if (st.aborted) return false;
        if (!next(tok) || !tok.is(',')) {
            fail("Expected , parsing ()");
            return false;
        }
        point->y = next(tok) ? numberInPoint(tok) : 0.0f;
        if (st.aborted) return false;
        if (!next(tok) || !tok.is(')')) {
            if (st.aborted) return false;
            record("Expected ) parsing ()");
        }
        return true;
    }

    KuObject* parsePointOrRect() {
        skipBlanks();
        if (*p == '(') {
            p++;
            KuRect r;
            if (!parsePoint(&r.first)) {
                fail("Expected point parsing rect");
                return nullptr;
            }
            Token tok;
            if (!next(tok) || !tok.is(',')) {
                if (st.aborted) return nullptr;
                record("Expected , parsing rect");
            }
            next(tok);  // the second "("
            if (st.aborted || !parsePoint(&r.second)) {
                fail("Expected point parsing rect");
                return nullptr;
            }
            if (!next(tok) || !tok.is(')')) {
                if (st.aborted) return nullptr;
                record("Expected ) parsing rect");
            }
            return KuRectObject::newWithRect(r);
        }
        KuPoint pt;
        if (!parsePoint(&pt)) return nullptr;
        return KuPointObject::newWithPoint(pt);
    }

    KuObject* parseDocument() {
        if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
        skipBlanks();
        if (*p == '[') {
            p++;
            return parseArray();
        }
        if (*p == '{') p++;
        return parseDictionary();
    }
};

KuJson::KuJson() = default;

KuJson::~KuJson() {
    KuRelease(error);
}

KuString* KuJson::parseError() const {
    return error;
}

KuObject* KuJson::parseWithSymbolDict(KuString* text, KuDictionary* symbolDict, bool lowerKeys) {
    symbols = symbolDict;
    keysToLower = lowerKeys;
    line = 1;
    aborted = false;
    depth = 0;
    KuRelease(error);
    error = nullptr;

    KuObject* result = nullptr;
    if (!text) return nullptr;
    KuJsonParser parser(*this, text->cstr);
    if (!text->cstr) {
        parser.fail("nullptr utf8 input string");
    } else {
        if (text->length == 0) KuWarning("KuJson: Empty input string");
        result = parser.parseDocument();
        KuJsonParser::trimScratch();
    }
    if (error) {
        KuWarning("JSON Parse error: %s", error->c_str());
        setBinaryError(false, "BJSON Parse error: %s", error->c_str());
    }
    symbols = nullptr;
    if (aborted) {
        KuRelease(result);
        return nullptr;
    }
    return KuAutorelease(result);
}

const char* KuJson::getToken(const char*& cursor, char* buffer, bool* quoted, int size) {
    if (!cursor || !buffer || size <= 0) return nullptr;
    aborted = false;  // each call reads afresh, whatever an earlier token met
    KuJsonParser parser(*this, cursor);
    KuJsonParser::Token tok;
    bool found = parser.next(tok);
    cursor = (const char*)parser.p;
    if (!found) return nullptr;
    if (quoted) *quoted = tok.quoted;
    if (tok.len >= size) {
        parser.fail("Token too long");
        return nullptr;
    }
    memmove(buffer, tok.text, (size_t)tok.len);
    buffer[tok.len] = 0;
    return buffer;
}

const char* KuJson::peekToken(const char*& cursor) {
    const char* saved = cursor;
    int savedLine = line;
    bool quoted;
    const char* tok = getToken(cursor, threadTokenBuffer(), &quoted);
    cursor = saved;
    line = savedLine;
    return tok;
}

bool KuJson::parseEquals(const char*& cursor) {
    bool quoted = false;
    const char* tok = getToken(cursor, threadTokenBuffer(), &quoted);
    return tok && !quoted && (strcmp(tok, "=") == 0 || strcmp(tok, ":") == 0);
}

bool KuJson::isValidKey(const char* key) {
    return key && *key;
}

char* KuJson::strlower(char* text) {
    if (!text) return text;
    for (char* c = text; *c; c++)
        if (*c >= 'A' && *c <= 'Z') *c = (char)(*c + ('a' - 'A'));
    return text;
}

// >>entry points ---------------------------------------------------------------------------------

KuObject* quickParseKuJson(KuString* text) {
    return quickParseKuJsonWithSymbolDict(text, nullptr, false);
}

KuObject* quickParseKuJsonWithSymbolDict(KuString* text, KuDictionary* symbols, bool keysToLower) {
    if (!text) return nullptr;
    KuJson reader;
    return reader.parseWithSymbolDict(text, symbols, keysToLower);
}

KuObject* quickParseKuJsonWithSymbolDict(KuData* data, const unsigned char* key, KuDictionary* symbols,
                                         bool keysToLower) {
    if (!data) return nullptr;
    if (key) {
        data = KuCryptoBTEADecryptData(data, key);
        if (!data) return nullptr;
    }
    if (data->length > 4 && data->bytes[0] == 1 && data->bytes[1] == 2 && data->bytes[2] == 3 &&
        data->bytes[3] == 4)
        return quickParseKuBJsonWithSymbolDict(data, symbols);
    return quickParseKuJsonWithSymbolDict(KuString::stringWithData(data), symbols, keysToLower);
}

KuObject* quickParseKuJson(KuData* data, const unsigned char* key, bool keysToLower) {
    return quickParseKuJsonWithSymbolDict(data, key, nullptr, keysToLower);
}

KuObject* quickParseKuJson(KuData* data, KuDictionary* symbols) {
    if (!data || data->length == 0) return nullptr;
    return quickParseKuJsonWithSymbolDict(data, nullptr, symbols, false);
}

KuString* KuBJsonError() {
    return binaryErrorSlot();
}

// >>writer ---------------------------------------------------------------------------------------

namespace {

// Collects output in a fixed block and hands full blocks to the result string, which grows in
// place; nothing is copied twice.
class TextOut {
public:
    KuMutableString* result = KuMutableString::string();

    ~TextOut() { flush(); }
    void flush() {
        if (used) result->appendBytes(block, (int)used);
        used = 0;
    }
    void put(const char* s, size_t n) {
        if (n > sizeof block - used) {
            flush();
            if (n > sizeof block) {
                result->appendBytes(s, (int)n);
                return;
            }
        }
        memcpy(block + used, s, n);
        used += n;
    }
    void put(const char* s) { put(s, strlen(s)); }
    void put(char c) {
        if (used == sizeof block) flush();
        block[used++] = c;
    }
    // Room for n bytes written straight into the block (n at most 128).
    char* room(size_t n) {
        if (n > sizeof block - used) flush();
        return block + used;
    }
    void commit(size_t n) { used += n; }
    void indent(int spaces) {
        while (spaces > 0) {
            size_t n = spaces < 64 ? (size_t)spaces : 64;
            memset(room(n), ' ', n);
            commit(n);
            spaces -= (int)n;
        }
    }
    void quoted(const KuString* s) {
        const char* t = s->c_str();
        const char* end = t + s->length;
        put('"');
        const char* run = t;
        for (const char* c = t; c < end; c++) {
            if (!(charClass((unsigned char)*c) & kEscapedOnWrite)) continue;
            put(run, (size_t)(c - run));
            switch (*c) {
            case '\n':
                put("\\n", 2);
                break;
            case '\r':
                put("\\r", 2);
                break;
            case '"':
                put("\\\"", 2);
                break;
            default:
                put("\\\\", 2);
                break;
            }
            run = c + 1;
        }
        put(run, (size_t)(end - run));
        put('"');
    }
    void number(const KuNumber* n) {
        char* at = room(KuJson::kFloatTextSize);
        commit((size_t)(n->kind == KuNumber::kFloat
                            ? KuJson::floatText(n->asFloat(), at, KuJson::kFloatTextSize)
                            : formatInt(n->value, at)));
    }
    void g(float v) {
        char* at = room(64);
        commit((size_t)formatG(v, at, 64));
    }

private:
    char block[65536];
    size_t used = 0;
};

// A key the reader gives back unchanged when written bare: a non-empty word that holds none of the
// characters that end a word, does not open a comment and does not start with a byte-order mark.
bool isPlainKey(const KuString* key) {
    const unsigned char* t = (const unsigned char*)key->c_str();
    int n = key->length;
    if (n == 0) return false;
    if (t[0] == ';' || (t[0] == '/' && t[1] == '/')) return false;
    if (n >= 3 && t[0] == 0xEF && t[1] == 0xBB && t[2] == 0xBF) return false;
    for (int i = 0; i < n; i++)
        if (charClass(t[i]) & kEndsWord) return false;
    return true;
}

bool isSimpleValue(const KuObject* v) {
    return v && (v->isString() || v->kindCode() == kKuTypeNumber);
}

void writeValue(TextOut& out, KuObject* value, int depth);

void writeDictionary(TextOut& out, KuDictionary* dict, int depth, bool outermost) {
    if (!outermost) out.put("{\n", 2);
    const int count = dict->count();
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < count; i++) {
            KuObject* value = dict->valueAtIndex(i);
            if (isSimpleValue(value) != (pass == 0)) continue;
            KuString* key = dict->keyAtIndex(i);
            out.indent(4 * depth);
            if (isPlainKey(key))
                out.put(key->c_str(), (size_t)key->length);
            else
                out.quoted(key);
            out.put(": ", 2);
            writeValue(out, value, depth);
        }
    }
    out.indent(4 * depth - 4);
    if (!outermost) out.put("}\n", 2);
}

void writeValue(TextOut& out, KuObject* value, int depth) {
    if (!value) {
        out.put("NULL\n", 5);
        return;
    }
    switch (value->kindCode()) {
    case kKuTypeString:
    case kKuTypeMutableString:
        out.quoted(static_cast<KuString*>(value));
        out.put('\n');
        return;
    case kKuTypeNumber:
        out.number(static_cast<KuNumber*>(value));
        out.put('\n');
        return;
    case kKuTypePointObject: {
        KuPoint pt = static_cast<KuPointObject*>(value)->point;
        out.put('(');
        out.g(pt.x);
        out.put(',');
        out.g(pt.y);
        out.put(")\n", 2);
        return;
    }
    case kKuTypeRectObject: {
        KuRect r = static_cast<KuRectObject*>(value)->rect;
        out.put("((", 2);
        out.g(r.first.x);
        out.put(',');
        out.g(r.first.y);
        out.put("),(", 3);
        out.g(r.second.x);
        out.put(',');
        out.g(r.second.y);
        out.put("))\n", 3);
        return;
    }
    case kKuTypeNullObject:
        out.put("NULL\n", 5);
        return;
    default:
        break;
    }
    if (value->kindCode() == kKuTypeDictionary || value->kindCode() == kKuTypeArray) {
        // The reader refuses anything deeper (the outermost dictionary is the first level, this
        // container is level depth + 2), and a container holding itself would never end.
        if (depth + 2 > KuJson::kMaxDepth) {
            KuWarning("KuJson: nesting too deep to write, %s written as NULL", value->typeStr());
            out.put("NULL\n", 5);
            return;
        }
        if (value->kindCode() == kKuTypeDictionary) {
            writeDictionary(out, static_cast<KuDictionary*>(value), depth + 1, false);
            return;
        }
        auto* array = static_cast<KuArray<KuObject*>*>(value);
        out.put("[\n", 2);
        for (KuObject* element : *array) {
            out.indent(4 * (depth + 1));
            writeValue(out, element, depth + 1);
        }
        out.indent(4 * depth);
        out.put("]\n", 2);
        return;
    }
    KuWarning("Error trying to emit %s in a KuDictionary!", value->typeStr());
    // The line break keeps the next entry readable.
    out.put("ERROR\n", 6);
}

}  // namespace

KuMutableString* KuJson::stringFromDict(KuDictionary* dict) {
    if (!dict || dict->kindCode() != kKuTypeDictionary) return nullptr;
    TextOut out;
    writeDictionary(out, dict, 0, true);
    out.flush();
    return out.result;
}

KuMutableString* KuJson::jsonStringFromDict(KuDictionary* dict) {
    if (!dict || dict->kindCode() != kKuTypeDictionary) return nullptr;
    TextOut out;
    out.put("{ ", 2);
    const int count = dict->count();
    for (int i = 0; i < count; i++) {
        if (i > 0) out.put(", ", 2);
        KuString* key = dict->keyAtIndex(i);
        KuObject* value = dict->valueAtIndex(i);
        if (value && value->isString()) {
            out.put('"');
            out.put(key->c_str(), (size_t)key->length);
            out.put("\": \"", 4);
            out.put(static_cast<KuString*>(value)->c_str(), (size_t) static_cast<KuString*>(value)->length);
            out.put('"');
        } else if (value && value->kindCode() == kKuTypeNumber) {
            const KuNumber* n = static_cast<KuNumber*>(value);
            char tmp[64];
            int len = n->kind == KuNumber::kFloat ? formatG(n->asFloat(), tmp, sizeof tmp)
                                                  : formatInt(n->value, tmp);
            out.put('"');
            out.put(key->c_str(), (size_t)key->length);
            out.put("\": ", 3);
            out.put(tmp, (size_t)len);
        } else {
            KuWarning("bad value when exporting with jsonStringFromDict()");
        }
    }
    out.put(" }", 2);
    out.flush();
    return out.result;
}

// >>binary reader --------------------------------------------------------------------------------

namespace {

class BinaryReader {
public:
    BinaryReader(const uint8_t* bytes, uint32_t length, KuDictionary* symbols)
        : data(bytes), size(length), symbols(symbols) {}

    KuObject* read() {
        uint32_t tableOffset;
        if (!u32At(8, &tableOffset)) return truncated();
        if (tableOffset >= size || data[tableOffset] != 7) {
            setBinaryError(true, "Missing string table");
            return nullptr;
        }
        uint32_t at = tableOffset + 1;
        for (;;) {
            uint32_t offset;
            if (!u32At(at, &offset)) return truncated();
            at += 4;
            if (offset == 0xFFFFFFFFu) break;
            if (offset >= size || !memchr(data + offset, 0, size - offset)) {
                setBinaryError(true, "Illegal string offset: %u", offset);
                return nullptr;
            }
            table.push_back(cachedKuString((const char*)data + offset));
        }
        pos = 12;
        bool skip;
        KuObject* root = value(0, &skip);
        if (!root) {
            if (skip) setBinaryError(true, "Illegal root value");  // a string outside the table
            return nullptr;
        }
        if (root->kindCode() != kKuTypeDictionary && root->kindCode() != kKuTypeArray) {
            KuRelease(root);
            setBinaryError(true, "Illegal root value");
            return nullptr;
        }
        return KuAutorelease(root);
    }

private:
    const uint8_t* data;
    uint32_t size;
    KuDictionary* symbols;
    std::vector<KuString*> table;
    uint32_t pos = 0;

    KuObject* truncated() {
        setBinaryError(true, "Unexpected end of data");
        return nullptr;
    }
    bool u32At(uint32_t at, uint32_t* v) const {
        if (at > size || size - at < 4) return false;
        *v = (uint32_t)data[at] | (uint32_t)data[at + 1] << 8 | (uint32_t)data[at + 2] << 16 |
             (uint32_t)data[at + 3] << 24;
        return true;
    }
    bool u32(uint32_t* v) {
        if (!u32At(pos, v)) return false;
        pos += 4;
        return true;
    }
    KuString* string(uint32_t index) const { return index < table.size() ? table[index] : nullptr; }
    // The text of a number, point or rectangle, through the symbols as the text reader does.
    KuString* valueText(uint32_t index) const {
        KuString* text = string(index);
        if (text && symbols) {
            KuString* substitute = symbols->stringForKey(text, nullptr);
            if (substitute) return substitute;
        }
        return text;
    }

    // An owned reference, or null with the error set. A string index outside the table gives no value
    // (*skip), which leaves the entry out.
    KuObject* value(int depth, bool* skip = nullptr) {
        if (skip) *skip = false;
        if (pos >= size) return truncated();
        uint8_t marker = data[pos++];
        uint32_t index = 0;
        switch (marker) {
        case 1:
            return new KuNullObject();
        case 2:
        case 3:
            if (depth >= KuJson::kMaxDepth) {
                setBinaryError(true, "Nesting too deep");
                return nullptr;
            }
            return marker == 2 ? dictionary(depth + 1) : array(depth + 1);
        case 4:
        case 5:
        case 6:
        case 9:
        case 10:
            if (!u32(&index)) return truncated();
            break;
        default:
            setBinaryError(true, "Illegal marker: %d", marker);
            return nullptr;
        }
        if (marker == 4) {
            KuString* s = string(index);
            if (!s) {
                if (skip) *skip = true;
                return nullptr;
            }
            KuRetain(s);
            return s;
        }
        KuString* text = valueText(index);
        if (marker == 5) return ownedInteger(text ? text->intValue() : 0);
        if (marker == 6) return ownedFloat(text ? text->floatValue() : 0.0f);
        if (marker == 9) return KuPointObject::newWithPoint(text ? text->pointValue(KuPoint{}) : KuPoint{});
        KuRect r{};
        if (text) {
            float v[4];
            int n = text->c_str()[0] == '('
                        ? text->valuesByScanf("((%g,%g),(%g,%g))", &v[0], &v[1], &v[2], &v[3])
                        : text->valuesByScanf("{{%g,%g},{%g,%g}}", &v[0], &v[1], &v[2], &v[3]);
            if (n == 4) r = KuRect{{v[0], v[1]}, {v[2], v[3]}};
        }
        return KuRectObject::newWithRect(r);
    }

    KuObject* dictionary(int depth) {
        uint32_t count;
        if (!u32(&count)) return truncated();
        if (count > (size - pos) / 5) return truncated();  // every entry takes at least 5 bytes
        KuDictionary* dict = new KuDictionary();
        for (uint32_t i = 0; i < count; i++) {
            uint32_t keyIndex;
            if (!u32(&keyIndex)) {
                KuRelease(dict);
                return truncated();
            }
            bool skip;
            KuObject* v = value(depth, &skip);
            if (!v && !skip) {
                KuRelease(dict);
                return nullptr;
            }
            KuString* key = string(keyIndex);
            if (key && v)
                dict->appendKeyObject(key, v, true);
            else
                KuRelease(v);
        }
        if (pos >= size || data[pos] != 2) {
            KuRelease(dict);
            setBinaryError(true, "Illegal dict end marker");
            return nullptr;
        }
        pos++;
        return dict;
    }

    KuObject* array(int depth) {
        uint32_t count;
        if (!u32(&count)) return truncated();
        if (count > size - pos) return truncated();  // every element takes at least 1 byte
        KuArray<KuObject*>* result = KuArray<KuObject*>::newArray();
        for (uint32_t i = 0; i < count; i++) {
            bool skip;
            KuObject* v = value(depth, &skip);
            if (!v && !skip) {
                KuRelease(result);
                return nullptr;
            }
            if (v) result->addObject(v, true);
        }
        if (pos >= size || data[pos] != 3) {
            KuRelease(result);
            setBinaryError(true, "Illegal array end marker");
            return nullptr;
        }
        pos++;
        return result;
    }
};

}  // namespace

KuObject* quickParseKuBJsonWithSymbolDict(KuData* data, KuDictionary* symbols) {
    clearBinaryError();
    if (!data) return nullptr;
    const uint8_t* b = data->bytes;
    if (data->length > 4 && !(b[0] == 1 && b[1] == 2 && b[2] == 3 && b[3] == 4)) {
        setBinaryError(true, "bad marker: %d,%d,%d,%d", b[0], b[1], b[2], b[3]);
        return nullptr;
    }
    if (!b || data->length <= 0) {
        setBinaryError(true, "Unexpected end of data");
        return nullptr;
    }
    BinaryReader reader(b, (uint32_t)data->length, symbols);
    return reader.read();
}

// >>binary writer --------------------------------------------------------------------------------

namespace {

class BinaryWriter {
public:
    explicit BinaryWriter(int initialSize) {
        capacity = initialSize > 0 ? (size_t)initialSize : 1;
        bytes = (uint8_t*)malloc(capacity);
    }
    ~BinaryWriter() { free(bytes); }

    KuData* emit(KuDictionary* root) {
        if (!bytes) return nullptr;
        const uint8_t header[] = {1, 2, 3, 4, 1, 0, 0, 0, 0, 0, 0, 0};
        put(header, sizeof header);
        value(root, 0);
        const uint32_t tableOffset = (uint32_t)length;
        byte(7);
        const size_t offsetsAt = length;
        for (size_t i = 0; i < texts.size(); i++)
            u32(0);
        u32(0xFFFFFFFFu);
        std::vector<uint32_t> order(texts.size());
        for (uint32_t i = 0; i < order.size(); i++)
            order[i] = i;
        std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
            return strcmp(texts[a].c_str(), texts[b].c_str()) < 0;  // unsigned byte order (C locale)
        });
        for (uint32_t index : order) {
            patch(offsetsAt + 4 * index, (uint32_t)length);
            put(texts[index].c_str(), texts[index].size() + 1);
        }
        patch(8, tableOffset);
        KuData* data = KuData::dataWithBytesNoCopy(bytes, (int)length);
        bytes = nullptr;
        return data;
    }

private:
    uint8_t* bytes = nullptr;
    size_t length = 0, capacity = 0;
    std::vector<std::string> texts;
    std::unordered_map<std::string, uint32_t> indexes;

    // The buffer grows by 10000 bytes whenever fewer than 100 would remain.
    void reserve(size_t n) {
        while (capacity - length < n + 100)
            capacity += 10000;
        uint8_t* grown = (uint8_t*)realloc(bytes, capacity);
        if (!grown) abort();
        bytes = grown;
    }
    void put(const void* src, size_t n) {
        if (capacity - length < n + 100) reserve(n);
        memcpy(bytes + length, src, n);
        length += n;
    }
    void byte(uint8_t b) { put(&b, 1); }
    void u32(uint32_t v) {
        const uint8_t le[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
        put(le, 4);
    }
    void patch(size_t at, uint32_t v) {
        bytes[at] = (uint8_t)v;
        bytes[at + 1] = (uint8_t)(v >> 8);
        bytes[at + 2] = (uint8_t)(v >> 16);
        bytes[at + 3] = (uint8_t)(v >> 24);
    }
    uint32_t indexOf(const char* text) {
        auto found = indexes.find(text);
        if (found != indexes.end()) return found->second;
        uint32_t index = (uint32_t)texts.size();
        texts.emplace_back(text);
        indexes.emplace(texts.back(), index);
        return index;
    }
    void tableRef(uint8_t marker, const char* text) {
        byte(marker);
        u32(indexOf(text));
    }

    static bool writable(const KuObject* v) {
        if (!v) return false;
        switch (v->kindCode()) {
        case kKuTypeDictionary:
        case kKuTypeArray:
        case kKuTypeString:
        case kKuTypeMutableString:
        case kKuTypeNumber:
        case kKuTypePointObject:
        case kKuTypeRectObject:
        case kKuTypeNullObject:
            return true;
        default:
            return false;
        }
    }
    // Values that cannot be written are left out whole (entry or element), so that what follows
    // stays readable.
    static bool keep(KuObject* v, int depth) {
        if (writable(v) && !((v->kindCode() == kKuTypeDictionary || v->kindCode() == kKuTypeArray) &&
                             depth >= KuJson::kMaxDepth))
            return true;
        KuWarning("Error trying to emit %s in a KuDictionary!", v ? v->typeStr() : "null");
        return false;
    }

    void value(KuObject* v, int depth) {
        char tmp[200];
        switch (v->kindCode()) {
        case kKuTypeNullObject:
            byte(1);
            return;
        case kKuTypeString:
        case kKuTypeMutableString:
            tableRef(4, static_cast<KuString*>(v)->c_str());
            return;
        case kKuTypeNumber: {
            const KuNumber* n = static_cast<KuNumber*>(v);
            if (n->kind == KuNumber::kFloat) {
                formatG(n->asFloat(), tmp, sizeof tmp);
                tableRef(6, tmp);
            } else {
                formatInt(n->value, tmp);
                tableRef(5, tmp);
            }
            return;
        }
        case kKuTypePointObject: {
            KuPoint pt = static_cast<KuPointObject*>(v)->point;
            char x[40], y[40];
            formatG(pt.x, x, sizeof x);
            formatG(pt.y, y, sizeof y);
            snprintf(tmp, sizeof tmp, "(%s,%s)", x, y);
            tableRef(9, tmp);
            return;
        }
        case kKuTypeRectObject: {
            KuRect r = static_cast<KuRectObject*>(v)->rect;
            char a[40], b[40], c[40], d[40];
            formatG(r.first.x, a, sizeof a);
            formatG(r.first.y, b, sizeof b);
            formatG(r.second.x, c, sizeof c);
            formatG(r.second.y, d, sizeof d);
            snprintf(tmp, sizeof tmp, "((%s,%s),(%s,%s))", a, b, c, d);
            tableRef(10, tmp);
            return;
        }
        case kKuTypeDictionary: {
            KuDictionary* dict = static_cast<KuDictionary*>(v);
            const int count = dict->count();
            byte(2);
            const size_t countAt = length;
            u32(0);
            uint32_t kept = 0;
            for (int i = 0; i < count; i++) {
                KuObject* child = dict->valueAtIndex(i);
                if (!keep(child, depth + 1)) continue;
                u32(indexOf(dict->keyAtIndex(i)->c_str()));
                value(child, depth + 1);
                kept++;
            }
            patch(countAt, kept);
            byte(2);
            return;
        }
        case kKuTypeArray: {
            auto* array = static_cast<KuArray<KuObject*>*>(v);
            byte(3);
            const size_t countAt = length;
            u32(0);
            uint32_t kept = 0;
            for (KuObject* child : *array) {
                if (!keep(child, depth + 1)) continue;
                value(child, depth + 1);
                kept++;
            }
            patch(countAt, kept);
            byte(3);
            return;
        }
        default:
            return;
        }
    }
};

}  // namespace

KuData* KuJson::emitBJson(KuDictionary* dict, int initialSize) {
    if (!dict || dict->kindCode() != kKuTypeDictionary) return nullptr;
    BinaryWriter writer(initialSize);
    return writer.emit(dict);
}

// >>cache ----------------------------------------------------------------------------------------

namespace {

KuDictionary*& dictionaryCache() {
    static KuDictionary* cache = nullptr;
    return cache;
}

}  // namespace

KuDictionary* KuDictionaryFromCache(KuString* name) {
    if (!name || !dictionaryCache()) return nullptr;
    return dictionaryCache()->dictionaryForKey(name, nullptr);
}

KuDictionary* KuDictionaryFromCache(const char* name) {
    if (!name || !dictionaryCache()) return nullptr;
    return dictionaryCache()->dictionaryForKey(name, nullptr);
}

void KuCacheDictionary(KuString* name, KuDictionary* dict) {
    if (!name || !dict) return;
    if (!dictionaryCache()) dictionaryCache() = KuDictionary::newDictionary();
    KuString* key = KuString::newWithString(name->c_str());
    dictionaryCache()->addKeyObject(key, dict);
    KuRelease(key);
}

void KuCacheDictionary(const char* name, KuDictionary* dict) {
    if (!name || !dict) return;
    KuString* key = KuString::newWithString(name);
    KuCacheDictionary(key, dict);
    KuRelease(key);
}

void flushDictionaryCache() {
    KuRelease(dictionaryCache());
    dictionaryCache() = nullptr;
}

KuDictionary* KuQuickCachedJSONDict(KuString* name) {
    if (!name) return nullptr;
    KuDictionary* cached = KuDictionaryFromCache(name);
    if (cached) return cached;
    KuDictionary* dict = KuPackfileManager::dictionaryFromJSONFilename(name, nullptr);
    if (!dict) return nullptr;
    KuCacheDictionary(name, dict);
    return dict;
}

KuDictionary* KuQuickCachedJSONDict(const char* name) {
    if (!name) return nullptr;
    KuString* key = KuString::newWithString(name);
    KuDictionary* dict = KuQuickCachedJSONDict(key);
    KuRelease(key);
    return dict;
}
