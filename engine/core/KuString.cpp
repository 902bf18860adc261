// Sections: >>keys >>string >>factories >>queries >>substrings >>splitting >>mutable >>free
// Formatting lives in KuStringFormat.cpp, the cache in KuStringCache.cpp, hashes and the random
// generator in KuHash.cpp, UTF-8 in KuUtf8.cpp, path names in KuPath.cpp, reMatch in KuRegEx.cpp.
#include "KuString.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KuArray.h"
#include "KuData.h"
#include "KuNumber.h"

// >>keys

namespace {

// Keeps a key string alive through static destruction: the union never runs the member's
// destructor, so code that runs at exit may still compare against the keys.
union KeyStorage {
    KuString string;
    constexpr KeyStorage(const char* text, int len) : string(kKuImmortalTag, text, len) {}
    ~KeyStorage() {}
};

#define KU_DEFINE_KEY_STORAGE(k) KeyStorage keyStorage_##k{#k, static_cast<int>(sizeof(#k)) - 1};
KU_KEY_STRINGS(KU_DEFINE_KEY_STORAGE)
#undef KU_DEFINE_KEY_STORAGE
KeyStorage keyStorageEmpty{"", 0};

}  // namespace

#define KU_DEFINE_KEY(k) KuString* const KUSTR_##k = &keyStorage_##k.string;
KU_KEY_STRINGS(KU_DEFINE_KEY)
#undef KU_DEFINE_KEY
KuString* const KUSTR_EMPTY = &keyStorageEmpty.string;

// >>string

KuString::KuString(const char* text) : KuObject(kKuTypeString) {
    if (text) setText(text, static_cast<int>(strlen(text)));
}

KuString::KuString(const char* text, int n) : KuObject(kKuTypeString) {
    if (!text) return;
    if (n < 0) n = 0;
    setText(text, static_cast<int>(strnlen(text, static_cast<size_t>(n))));
}

KuString::KuString(KuData* data) : KuObject(kKuTypeString) {
    if (!data || !data->bytes || data->length <= 0) {
        setText("", 0);
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(data->bytes);
    const void* nul = memchr(bytes, 0, static_cast<size_t>(data->length));
    setText(bytes, nul ? static_cast<int>(static_cast<const char*>(nul) - bytes) : data->length);
}

KuString::~KuString() {
    if (refCount != kKuImmortal) free(cstr);
}

void KuString::setText(const char* text, int n) {
    if (refCount != kKuImmortal) free(cstr);
    hashCache32 = 0;
    hashCache64 = 0;
    cstr = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
    if (!cstr) {
        length = 0;
        return;
    }
    memcpy(cstr, text, static_cast<size_t>(n));
    cstr[n] = 0;
    length = n;
}

// >>factories

namespace {

// The shared empty string for empty results; otherwise a new autoreleased string.
KuString* substringOf(const char* text, int start, int n) {
    if (n <= 0) return KUSTR_EMPTY;
    return KuAutorelease(new KuString(text + start, n));
}

// Takes over a malloc'd text (a formatter result); null gives a string without buffer.
KuString* stringFromFormatted(char* text) {
    KuString* s = new KuString(static_cast<const char*>(nullptr));
    if (text) {
        int n = static_cast<int>(strlen(text));  // "%c" of 0 may have ended the text early
        char* fitted = static_cast<char*>(realloc(text, static_cast<size_t>(n) + 1));
        s->cstr = fitted ? fitted : text;
        s->length = n;
    }
    return KuAutorelease(s);
}

}  // namespace

KuString* KuString::stringWithString(const char* text) {
    return KuAutorelease(new KuString(text));
}

KuString* KuString::stringWithString(const KuString* other) {
    if (!other || !other->cstr) return KuAutorelease(new KuString(static_cast<const char*>(nullptr)));
    return KuAutorelease(new KuString(other->cstr, other->length));
}

KuString* KuString::stringWithStringAndLength(const char* text, int n) {
    if (!text) return KuAutorelease(new KuString(static_cast<const char*>(nullptr)));
    int whole = static_cast<int>(strlen(text));
    return KuAutorelease(new KuString(text, (n < 1 || n > whole) ? whole : n));
}

KuString* KuString::stringWithFormatArgs(const char* fmt, va_list args) {
    if (!fmt) return KuAutorelease(new KuString(static_cast<const char*>(nullptr)));
    return stringFromFormatted(KuVSCBPrintf(nullptr, fmt, args));
}

KuString* KuString::stringWithFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    KuString* s = stringWithFormatArgs(fmt, args);
    va_end(args);
    return s;
}

KuString* KuString::stringWithFormat(const KuString* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    KuString* s = stringWithFormatArgs(fmt ? fmt->c_str() : nullptr, args);
    va_end(args);
    return s;
}

KuString* KuStrf(const char* fmt, ...) {
    if (!fmt) return nullptr;
    va_list args;
    va_start(args, fmt);
    KuString* s = KuString::stringWithFormatArgs(fmt, args);
    va_end(args);
    return s;
}

KuString* KuString::stringWithData(KuData* data) {
    return KuAutorelease(new KuString(data));
}

KuString* KuString::stringWithPadCharacter(int ch, int n) {
    if (n <= 0 || ch == 0) return KuAutorelease(new KuString(""));  // a text holds no NUL
    char* text = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
    if (text) {
        memset(text, ch, static_cast<size_t>(n));
        text[n] = 0;
    }
    return stringFromFormatted(text);
}

KuString* KuString::stringWithPoint(KuPoint p) {
    return stringWithFormat("(%g,%g)", static_cast<double>(p.x), static_cast<double>(p.y));
}

KuString* KuString::stringWithRect(KuRect r) {
    return stringWithFormat("((%g,%g),(%g,%g))", static_cast<double>(r.first.x),
                            static_cast<double>(r.first.y), static_cast<double>(r.second.x),
                            static_cast<double>(r.second.y));
}

KuString* KuString::stringWithColor(KuColor c) {
    return stringWithFormat("{%g,%g,%g,%g}", static_cast<double>(c.red), static_cast<double>(c.green),
                            static_cast<double>(c.blue), static_cast<double>(c.alpha));
}

// >>queries

int KuString::intValue() const {
    int v = 0;
    return sscanf(c_str(), "%d", &v) == 1 ? v : 0;
}

unsigned KuString::unsignedIntValue() const {
    unsigned v = 0;
    return sscanf(c_str(), "%u", &v) == 1 ? v : 0;
}

float KuString::floatValue() const {
    float v = 0;
    return sscanf(c_str(), "%g", &v) == 1 ? v : 0;
}

KuPoint KuString::pointValue(KuPoint fallback) const {
    const char* text = c_str();
    KuPoint p;
    int read = sscanf(text, text[0] == '(' ? "(%g,%g)" : "{%g,%g}", &p.x, &p.y);
    return read == 2 ? p : fallback;
}

KuString* KuString::toString() {
    return KuAutorelease(new KuString(cstr, length));
}

KuString* KuString::dump(int) {
    return stringWithFormat("\"%s\"", c_str());
}

KuNumber* KuString::numberValue() const {
    if (!cstr) return nullptr;
    int digits = 0, dots = 0, others = 0;
    const char* p = cstr;
    bool first = true;
    while (*p) {
        unsigned short ch = utf8ToUnicodeAndInc(p);
        if ((ch >= '0' && ch <= '9') || (first && ch == '-'))
            digits++;
        else if (ch == '.')
            dots++;
        else
            others++;
        first = false;
    }
    if (digits == 0 || others > 0) return nullptr;
    if (dots == 0) {
        // Out-of-range texts saturate in 64 bits, then keep their low 32 bits.
        long long v = strtoll(cstr, nullptr, 10);
        return _KuNewNumber(static_cast<int>(static_cast<uint32_t>(static_cast<unsigned long long>(v))));
    }
    if (dots == 1) return _KuNewNumber(static_cast<float>(atof(cstr)));
    return nullptr;
}

int KuString::findString(const char* pattern, bool caseInsensitive) const {
    if (!pattern) return -1;
    const char* text = c_str();
    if (!caseInsensitive) {
        const char* found = strstr(text, pattern);
        return found ? static_cast<int>(found - text) : -1;
    }
    size_t n = strlen(pattern);
    for (const char* t = text;; t++) {
        size_t i = 0;
        while (i < n && t[i] &&
               toupper(static_cast<unsigned char>(t[i])) == toupper(static_cast<unsigned char>(pattern[i])))
            i++;
        if (i == n) return static_cast<int>(t - text);
        if (!*t) return -1;
    }
}

int KuString::findCharacter(char ch) const {
    const char* text = c_str();
    const char* found = strchr(text, ch);
    return found ? static_cast<int>(found - text) : -1;
}

// >>substrings

KuString* KuString::substringWithRange(int first, int last) const {
    int len = cstr ? length : 0;
    if (last < 0) last = last + len - 1;
    if (last >= len) last = len - 1;
    if (first < 0) first = 0;
    if (last < first) return KUSTR_EMPTY;
    return substringOf(cstr, first, last - first + 1);
}

KuString* KuString::substringFromIndex(int i) const {
    int len = cstr ? length : 0;
    if (i < 0) i = 0;
    if (i >= len) return KUSTR_EMPTY;
    return substringOf(cstr, i, len - i);
}

KuString* KuString::substringToIndex(int i) const {
    int len = cstr ? length : 0;
    if (i < 0) i = i + len - 1;
    if (i < 0) return KUSTR_EMPTY;
    if (i >= len) i = len - 1;
    return substringOf(cstr, 0, i + 1);
}

KuString* KuString::stringByTrimmingWhiteSpace(const char* set) const {
    if (!set) set = " \t\r\n";
    const char* text = c_str();
    int start = 0, end = cstr ? length : 0;
    while (start < end && strchr(set, text[start]))
        start++;
    while (end > start && strchr(set, text[end - 1]))
        end--;
    return substringOf(text, start, end - start);
}

KuMutableString* KuString::stringByAppendingString(const char* text) const {
    KuMutableString* s = KuMutableString::stringWithString(this);
    s->appendString(text);
    return s;
}

KuMutableString* KuString::stringByAppendingString(const KuString* text) const {
    KuMutableString* s = KuMutableString::stringWithString(this);
    s->appendString(text);
    return s;
}

// >>splitting

namespace {

void addField(KuArray<KuString*>* array, const char* text, int start, int end) {
    if (end <= start)
        array->addObject(KUSTR_EMPTY);
    else
        array->addObject(new KuString(text + start, end - start), true);
}

}  // namespace

KuArray<KuString*>* KuString::arraySplitByCharacter(char ch) const {
    auto* array = KuArray<KuString*>::array();
    if (!cstr) return array;
    int start = 0;
    for (int i = 0; i < length; i++) {
        if (cstr[i] == ch) {
            addField(array, cstr, start, i);
            start = i + 1;
        }
    }
    addField(array, cstr, start, length);
    return array;
}

KuArray<KuString*>* KuString::arraySeparatedByCharacters(const char* set) const {
    auto* array = KuArray<KuString*>::array();
    if (!cstr) return array;
    if (length == 0) {
        array->addObject(KUSTR_EMPTY);
        return array;
    }
    // strchr would find the terminator for a NUL; only set bytes separate.
    auto isSeparator = [set](char c) { return set && c && strchr(set, c); };
    int i = 0;
    if (isSeparator(cstr[0])) {
        array->addObject(KUSTR_EMPTY);
        while (i < length && isSeparator(cstr[i]))
            i++;
    }
    while (i < length) {
        int start = i;
        while (i < length && !isSeparator(cstr[i]))
            i++;
        addField(array, cstr, start, i);
        while (i < length && isSeparator(cstr[i]))
            i++;
    }
    return array;
}

KuArray<KuString*>* KuString::arraySeparatedByCharacter(char ch) const {
    char set[2] = {ch, 0};
    return arraySeparatedByCharacters(set);
}

KuArray<KuString*>* KuString::arraySeparatedByWhiteSpace() const {
    return arraySeparatedByCharacters(" \t\n\r");
}

KuArray<KuString*>* KuString::arraySeparatedByNewlines() const {
    auto* array = KuArray<KuString*>::array();
    if (!cstr) return array;
    if (length == 0) {
        array->addObject(KUSTR_EMPTY);
        return array;
    }
    int start = 0;
    for (int i = 0; i < length; i++) {
        char c = cstr[i];
        if (c != '\n' && c != '\r') continue;
        addField(array, cstr, start, i);
        if (c == '\r' && i + 1 < length && cstr[i + 1] == '\n') i++;
        start = i + 1;
    }
    if (start < length) addField(array, cstr, start, length);
    return array;
}

int KuString::valuesByScanf(const char* fmt, ...) const {
    if (!fmt) return 0;
    va_list args;
    va_start(args, fmt);
    int n = vsscanf(c_str(), fmt, args);
    va_end(args);
    return n;
}

int KuString::valuesByScanf(const KuString* fmt, ...) const {
    if (!fmt || !fmt->cstr) return 0;
    va_list args;
    va_start(args, fmt);
    int n = vsscanf(c_str(), fmt->cstr, args);
    va_end(args);
    return n;
}

// >>mutable

KuMutableString* KuMutableString::string() {
    return KuAutorelease(new KuMutableString(""));
}

KuMutableString* KuMutableString::stringWithString(const char* text) {
    return KuAutorelease(new KuMutableString(text));
}

KuMutableString* KuMutableString::stringWithString(const KuString* other) {
    return KuAutorelease(new KuMutableString(other ? other->c_str() : ""));
}

bool KuMutableString::reserve(int bytes) {
    int have = capacity > 0 ? capacity : (cstr ? length + 1 : 0);
    if (cstr && have >= bytes) {
        capacity = have;
        return true;
    }
    int64_t grown = have < 32 ? 32 : have;
    while (grown < bytes)
        grown *= 2;
    if (grown > INT_MAX) grown = bytes;
    char* bigger = static_cast<char*>(realloc(cstr, static_cast<size_t>(grown)));
    if (!bigger) return false;
    if (!cstr) {
        bigger[0] = 0;
        length = 0;
    }
    cstr = bigger;
    capacity = static_cast<int>(grown);
    return true;
}

void KuMutableString::textChanged(int newLength) {
    length = newLength;
    cstr[length] = 0;
    hashCache32 = 0;
    hashCache64 = 0;
}

void KuMutableString::appendBytes(const char* bytes, int n) {
    if (!bytes || n <= 0) return;
    const void* nul = memchr(bytes, 0, static_cast<size_t>(n));  // a text holds no NUL
    if (nul) n = static_cast<int>(static_cast<const char*>(nul) - bytes);
    if (n == 0) return;
    int64_t needed = static_cast<int64_t>(cstr ? length : 0) + n + 1;
    if (needed > INT_MAX) return;
    // The bytes may lie in this string's own buffer, which reserve may move.
    bool own = cstr && bytes >= cstr && bytes < cstr + length + 1;
    ptrdiff_t offset = own ? bytes - cstr : 0;
    if (!reserve(static_cast<int>(needed))) return;
    if (own) bytes = cstr + offset;
    memmove(cstr + length, bytes, static_cast<size_t>(n));
    textChanged(length + n);
}

void KuMutableString::appendChar(int ch) {
    if (ch == 0) return;
    char c = static_cast<char>(ch);
    appendBytes(&c, 1);
}

void KuMutableString::appendString(const char* text) {
    if (text) appendBytes(text, static_cast<int>(strlen(text)));
}

void KuMutableString::appendString(const KuString* text) {
    if (text && text->cstr) appendBytes(text->cstr, text->length);
}

void KuMutableString::appendFormat(const char* fmt, ...) {
    char buffer[10000];
    va_list args;
    va_start(args, fmt);
    int n = KuVSPrintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (!cstr) reserve(1);
    appendBytes(buffer, n);
}

void KuMutableString::appendPadCharacter(int ch, int n) {
    if (n <= 0 || ch == 0) return;
    int64_t needed = static_cast<int64_t>(cstr ? length : 0) + n + 1;
    if (needed > INT_MAX || !reserve(static_cast<int>(needed))) return;
    memset(cstr + length, ch, static_cast<size_t>(n));
    textChanged(length + n);
}

KuMutableString* KuMutableString::trimLastChar() {
    if (!cstr) return nullptr;
    if (length > 0) textChanged(length - 1);
    return this;
}

int KuMutableString::replaceOccurrencesOfString(const char* find, const char* replacement) {
    // An empty search text would match without advancing.
    if (!find || !replacement || !*find || !cstr) return 0;
    size_t findLen = strlen(find), replLen = strlen(replacement);
    int count = 0;
    for (const char* p = strstr(cstr, find); p; p = strstr(p + findLen, find))
        count++;
    if (count == 0) return 0;
    int64_t newLength =
        static_cast<int64_t>(length) +
        static_cast<int64_t>(count) * (static_cast<int64_t>(replLen) - static_cast<int64_t>(findLen));
    if (newLength + 1 > INT_MAX) return 0;
    char* out = static_cast<char*>(malloc(static_cast<size_t>(newLength) + 1));
    if (!out) return 0;
    // find and replacement may point into the old buffer: it is freed only at the end.
    char* w = out;
    const char* r = cstr;
    for (const char* p = strstr(r, find); p; p = strstr(r, find)) {
        memcpy(w, r, static_cast<size_t>(p - r));
        w += p - r;
        memcpy(w, replacement, replLen);
        w += replLen;
        r = p + findLen;
    }
    size_t rest = strlen(r);
    memcpy(w, r, rest);
    free(cstr);
    cstr = out;
    capacity = static_cast<int>(newLength) + 1;
    textChanged(static_cast<int>(newLength));
    return count;
}

bool KuMutableString::stripQuotes(char q) {
    if (!cstr || length == 0 || cstr[0] != q || cstr[length - 1] != q) return false;
    int inner = length >= 2 ? length - 2 : 0;
    memmove(cstr, cstr + 1, static_cast<size_t>(inner));
    textChanged(inner);
    return true;
}

// >>free

int KuStrlen(const KuString* s) {
    return s && s->cstr ? s->length : 0;
}

char* KuStrcpy(char* dst, const KuString* s) {
    if (!dst) return nullptr;
    if (!s) return dst;
    return strcpy(dst, s->c_str());
}

const char* KuStrstr(const KuString* s, const char* find) {
    if (!s || !find) return nullptr;
    return strstr(s->c_str(), find);
}

int KuIntValue(const KuString* s, int fallback) {
    return s ? atoi(s->c_str()) : fallback;
}

int KuIntValue(const KuObject* o, int fallback) {
    if (!o || !(o->isString() || o->kindCode() == kKuTypeNumber)) return fallback;
    return o->intValue();
}

float KuFloatValue(const KuObject* o, float fallback) {
    if (!o || !(o->isString() || o->kindCode() == kKuTypeNumber)) return fallback;
    return o->floatValue();
}

bool KuStreq(const KuString* a, const KuString* b) {
    if (!a || !b) return a == b;
    int la = KuStrlen(a), lb = KuStrlen(b);
    if (la != lb) return false;
    return memcmp(a->c_str(), b->c_str(), static_cast<size_t>(la)) == 0;
}

bool KuStreq(const KuString* a, const char* b) {
    if (!a || !b) return !a && !b;
    return strcmp(a->c_str(), b) == 0;
}

bool KuStreq(const char* a, const KuString* b) {
    return KuStreq(b, a);
}
