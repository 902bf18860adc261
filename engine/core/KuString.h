// KuString / KuMutableString: NUL-terminated UTF-8 byte strings, the KUSTR_ key constants,
// "%@" formatting, the per-thread string cache, UTF-8 helpers, hashes, the seeded random
// generator, path names and the resource search list.
// Lengths and indexes count bytes. A null buffer reads as "" everywhere.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "KuObject.h"

template <typename T>
class KuArray;
class KuData;
class KuNumber;
class KuRegEx;
class KuMutableString;

class KuString : public KuObject {
public:
    char* cstr = nullptr;  // owned; may be null
    int32_t length = 0;
    uint32_t hashCache32 = 0;
    uint64_t hashCache64 = 0;

    // Owned (count 1). A null text gives a string whose buffer is null.
    explicit KuString(const char* text = "");
    KuString(const char* text, int n);  // the first n bytes (n clamped to the text)
    explicit KuString(KuData* data);    // data bytes up to the first NUL; null gives ""
    // A process-lifetime constant over a static text of len bytes (the key strings): usable
    // before any dynamic initialiser runs; its count is -1000 and its text is never freed.
    constexpr KuString(KuImmortalTag tag, const char* literal, int len)
        : KuObject(tag, kKuTypeString), cstr(const_cast<char*>(literal)), length(len) {}
    ~KuString() override;

    const char* c_str() const { return cstr ? cstr : ""; }

    // Factories: autoreleased.
    static KuString* stringWithString(const char* text);
    static KuString* stringWithString(const KuString* other);
    static KuString* stringWithStringAndLength(const char* text, int n);  // n outside 1..strlen: whole text
    static KuString* stringWithFormat(const char* fmt, ...);
    static KuString* stringWithFormat(const KuString* fmt, ...);
    static KuString* stringWithFormatArgs(const char* fmt, va_list args);
    static KuString* stringWithData(KuData* data);
    static KuString* stringWithPadCharacter(int ch, int n);
    static KuString* stringWithPoint(KuPoint p);  // "(%g,%g)"
    static KuString* stringWithRect(KuRect r);    // "((%g,%g),(%g,%g))"
    static KuString* stringWithColor(KuColor c);  // "{%g,%g,%g,%g}"
    static KuString* stringWithFile(KuString* path);
    static KuString* stringWithRandomIdentifier(int kind, int n);
    // Owned (count 1).
    static KuString* newWithString(const char* text) { return new KuString(text); }

    // KuObject
    const char* typeStr() const override { return "KuString"; }
    int intValue() const override;                        // "%d", 0 when unreadable
    unsigned unsignedIntValue() const override;           // "%u"
    float floatValue() const override;                    // "%g"
    KuPoint pointValue(KuPoint fallback) const override;  // "(%g,%g)" or "{%g,%g}"
    KuString* toString() override;                        // a copy, autoreleased
    KuString* toDebugString() override { return toString(); }
    KuString* dump(int indent) override;  // "\"%s\""

    // A KuNumber (autoreleased or shared) when the text is an integer or a plain decimal; else null.
    KuNumber* numberValue() const;

    int findString(const char* pattern, bool caseInsensitive = false) const;  // -1 if none
    int findCharacter(char ch) const;                                         // -1 if none
    KuString* substringWithRange(int first, int last) const;  // inclusive; negative last from the end
    KuString* substringFromIndex(int i) const;
    KuString* substringToIndex(int i) const;  // inclusive
    KuString* stringByTrimmingWhiteSpace(const char* set = " \t\r\n") const;
    KuMutableString* stringByAppendingString(const char* text) const;
    KuMutableString* stringByAppendingString(const KuString* text) const;

    KuArray<KuString*>* arraySplitByCharacter(char ch) const;
    KuArray<KuString*>* arraySeparatedByCharacters(const char* set) const;
    KuArray<KuString*>* arraySeparatedByCharacter(char ch) const;
    KuArray<KuString*>* arraySeparatedByWhiteSpace() const;
    KuArray<KuString*>* arraySeparatedByNewlines() const;

    KuArray<KuString*>* reMatch(KuString* pattern) const;  // whole match then groups; null if none
    KuArray<KuString*>* reMatch(KuRegEx* re) const;

    int valuesByScanf(const char* fmt, ...) const;
    int valuesByScanf(const KuString* fmt, ...) const;

    uint32_t hash32(unsigned unused = 0) const;  // CRC-32/MPEG-2 of the bytes
    uint32_t hash32CaseInsensitive(unsigned seed) const;
    uint64_t computeHash64();  // CRC-64, cached in hashCache64

    bool saveToFile(KuString* path);
    bool appendToFile(KuString* path);

protected:
    void setText(const char* text, int n);  // takes a copy of n bytes; clears the hash words
};

class KuMutableString : public KuString {
public:
    explicit KuMutableString(const char* text = "") : KuString(text ? text : "") {}
    const char* typeStr() const override { return "KuMutableString"; }

    static KuMutableString* string();  // autoreleased, ""
    static KuMutableString* stringWithString(const char* text);
    static KuMutableString* stringWithString(const KuString* other);

    void appendChar(int ch);  // 0 does nothing
    void appendString(const char* text);
    void appendString(const KuString* text);
    void appendBytes(const char* bytes, int n);
    void appendFormat(const char* fmt, ...);  // at most 9999 bytes per call
    void appendPadCharacter(int ch, int n);
    KuMutableString* trimLastChar();  // null when the buffer is null
    int replaceOccurrencesOfString(const char* find, const char* replacement);  // count
    bool stripQuotes(char q);

private:
    int capacity = 0;         // bytes allocated for cstr, 0 while cstr came from a plain copy
    bool reserve(int bytes);  // room for bytes (the NUL included); false when it cannot be had
    void textChanged(int newLength);
};

// Free functions on strings.
int KuStrlen(const KuString* s);
char* KuStrcpy(char* dst, const KuString* s);
const char* KuStrstr(const KuString* s, const char* find);
int KuIntValue(const KuString* s, int fallback);
int KuIntValue(const KuObject* o, int fallback);
float KuFloatValue(const KuObject* o, float fallback);
bool KuStreq(const KuString* a, const KuString* b);
bool KuStreq(const KuString* a, const char* b);
bool KuStreq(const char* a, const KuString* b);

// Formatting over stb_sprintf plus "%@" (a KuString*, "null" for null, "" for a null buffer;
// width and precision apply as for "%s"). "%n" consumes its pointer and writes nothing; a "%"
// cut off by the end of the format prints as written; numeric widths and precisions are
// clamped to 1048576.
int KuVSPrintf(char* buf, int size, const char* fmt, va_list args);  // bytes written, or needed when buf null
int KuSPrintf(char* buf, int size, const char* fmt, ...);
const char* KuFormat(const char* fmt, ...);  // shared 1024-byte buffer, overwritten by the next call
char* KuVSCBPrintf(int* length, const char* fmt, va_list args);  // malloc'd, caller frees
char* KuTestPrintf(int* length, const char* fmt, ...);           // malloc'd, caller frees
KuString* KuStrf(const char* fmt, ...);                          // autoreleased; null for null fmt

// Per-thread cache of shared strings (owned by the cache, never autoreleased).
struct KuStringCacheMap;
KuString* cachedKuString(const char* text);
KuString* cachedKuString(const char* text, int n);  // the first n bytes, without a copy to look up
void initStringCacheMap();
void releaseKuStringCache(KuStringCacheMap* map);
void destroyStringCacheMap();
void dumpKuStringCache(bool verbose);  // through KuLog, in unsigned byte order of the texts
int KuStringCacheCount();              // strings in this thread's cache

// UTF-8, decoded into 16-bit units (at most three-byte sequences).
int utf8Strlen(const char* s);
int utf8ByteSize(unsigned char lead);
unsigned short utf8ToUnicode(const char* s);
unsigned short utf8ToUnicodeAndInc(const char*& s);
int utf8ToUnicodeIndex(const char* s, int index);  // always 0
// Converts up to count characters; dst must hold count + 1 units (the 0 after them). Returns
// the characters converted.
int utf8StringToUnicodeString(const char* src, unsigned short* dst, int count);
bool utf8Verify(const char* s);  // true when the text is NOT well formed
void unicodeToUtf8AndInc(unsigned short unit, char*& out);
// Stops at a 0 unit or before a character that would not fit in size bytes with the NUL.
// Returns the bytes written before the NUL.
int unicode16StringToUTF8String(const unsigned short* src, char* dst, int size);

// Hashes and the engine's seeded generator.
uint32_t KuHash32(const unsigned char* bytes, int n, uint32_t initial);
uint64_t KuHash64(const unsigned char* bytes, int n);  // CRC-64; all ones for no bytes
void KuSetRandomSeed();
void KuSetRandomSeed(unsigned long seed);
unsigned long KuGetRandomSeed();
// The stack keeps 16 saved seeds; a push onto a full stack drops the oldest saved seed. A pop
// of an empty stack restores the first entry.
void KuPushRandomSeed();  // saves the seed, then seeds from the clock
void KuPushRandomSeed(unsigned long seed);
void KuPopRandomSeed();
unsigned KuRandomDraw(unsigned n);  // advances the seed; a value in 0..n-1

// Path names ("/" and "\" are both separators). Autoreleased results; null for null input.
KuString* KuPathExtension(const KuString* path);
KuString* KuPathExtension(const char* path);
KuString* KuPathByRemovingPath(const KuString* path);
KuString* KuPathByRemovingPath(const char* path);
KuString* KuPathByRemovingLastPath(const KuString* path);
KuString* KuPathByRemovingLastPath(const char* path);
KuString* KuPathByRemovingExtention(const KuString* path);
KuString* KuPathByRemovingExtention(const char* path);
KuString* KuReplaceFileExtension(const KuString* path, const KuString* ext);
KuString* KuScaledFilename(KuString* path, const char* suffix);

// Resource search list: folders searched front to back, the last added first.
void KuAddResourcePath(const KuString* folder);
void KuAddResourcePath(const char* folder);
void KuAddDefaultResourcePath();
void KuClearResourcePaths();
KuArray<KuString*>* KuResourcePathArray();
KuString* KuPathForResource(const KuString* name, const KuString* ext);
KuString* KuPathForResource(const char* name, const char* ext);
bool KuDoesFileExistAtPath(const KuString* path);
bool KuDoesFileExistAtPath(const char* path);

// The 77 immortal key strings: the 76 below and KUSTR_EMPTY ("").
#define KU_KEY_STRINGS(X)                                                                                    \
    X(name)                                                                                                  \
    X(anim) X(flags) X(fps) X(frames) X(frame) X(offsets) X(offset) X(triggers) X(trigger) X(sheet) X(image) \
        X(object) X(objects) X(layer) X(layers) X(parallax) X(animations) X(loop) X(background) X(metadata)  \
            X(meta) X(format) X(sourceColorRect) X(sourceSize) X(spriteColorRect) X(spriteSourceSize)        \
                X(textureRect) X(spriteOffset) X(spriteSize) X(version) X(guid) X(filename) X(files) X(file) \
                    X(size) X(pos) X(x) X(y) X(w) X(h) X(UNKNOWN) X(points) X(point) X(facing) X(front)      \
                        X(back) X(left) X(right) X(up) X(down) X(stand) X(walk) X(ERROR) X(id) X(unknown)    \
                            X(type) X(null) X(default) X(from) X(to) X(frameTags) X(args) X(build) X(group)  \
                                X(zsort) X(prop) X(spot) X(usepos) X(usepos2) X(usedir) X(usedir2)           \
                                    X(hotspot) X(walkboxes) X(polygon) X(debug)

#define KU_DECLARE_KEY(k) extern KuString* const KUSTR_##k;
KU_KEY_STRINGS(KU_DECLARE_KEY)
#undef KU_DECLARE_KEY
extern KuString* const KUSTR_EMPTY;
