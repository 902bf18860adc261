// KuJson: the engine's relaxed JSON dialect (reader and writer), its compact binary form, and the
// process-wide cache of parsed dictionary files. Every document, sprite-sheet control file and
// preference file passes through here.
//
// Value mapping when reading: dictionary -> KuDictionary, array -> KuArray<KuObject*>, quoted string
// or word -> KuString from the per-thread string cache, integer / float -> KuNumber (shared numbers
// for small values), YES / NO -> the shared 1 / 0, NULL -> a KuNullObject, (x,y) -> KuPointObject,
// ((x1,y1),(x2,y2)) -> KuRectObject. Every result is autoreleased: retain it to keep it past the frame.
// Failures are returned (null) and reported with KuWarning; nothing is thrown.
#pragma once

#include "KuArray.h"
#include "KuData.h"
#include "KuDictionary.h"
#include "KuObject.h"
#include "KuString.h"

class KuJson {
public:
    // Longest token (bytes, without the terminating NUL) is kTokenBufferSize - 1; longer ones end the
    // parse with an error. The part appended by a "+" concatenation is bounded the same way by
    // kAppendBufferSize.
    static constexpr int kTokenBufferSize = 64000;
    static constexpr int kAppendBufferSize = 1024;
    // Containers nested deeper than this end the parse with an error instead of exhausting the stack.
    static constexpr int kMaxDepth = 1000;

    KuJson();
    ~KuJson();
    KuJson(const KuJson&) = delete;
    KuJson& operator=(const KuJson&) = delete;

    // The text reader. Returns the root dictionary or array (autoreleased), or null when an error
    // stopped the parse. symbols (may be null) substitutes words; keysToLower lower-cases every key.
    KuObject* parseWithSymbolDict(KuString* text, KuDictionary* symbols, bool keysToLower);
    KuObject* parse(KuString* text, bool keysToLower) {
        return parseWithSymbolDict(text, nullptr, keysToLower);
    }

    // The first error of the last parse with this reader ("<message> around line N"), or null.
    KuString* parseError() const;
    int currentLine() const { return line; }

    // Token functions of the reader. cursor is advanced past the token (and past blanks and comments
    // before it); buffer receives the NUL-terminated token and must hold size bytes. Returns buffer,
    // or null at the end of the text or when the token does not fit (which records an error).
    const char* getToken(const char*& cursor, char* buffer, bool* quoted, int size = kTokenBufferSize);
    // Reads a token into this thread's token buffer (valid until the next token is read) and restores
    // cursor and line; null at the end.
    const char* peekToken(const char*& cursor);
    // Reads one token; true when it is "=" or ":".
    bool parseEquals(const char*& cursor);
    static bool isValidKey(const char* key);  // non-null and non-empty
    static char* strlower(char* text);        // lower-cases in place; returns text

    // The dialect text of a dictionary (autoreleased), or null when dict is not a dictionary: no
    // braces around the outermost dictionary, 4-space indents, numbers and strings before containers,
    // keys bare except those the reader would not give back unchanged (blanks, punctuation, quotes,
    // an empty key…), which are quoted. Whatever the reader produced reads back as the same tree
    // (floats to the six significant digits the text keeps).
    static KuMutableString* stringFromDict(KuDictionary* dict);
    // One-line strict JSON text of a flat dictionary (strings, integers, floats; autoreleased).
    static KuMutableString* jsonStringFromDict(KuDictionary* dict);
    // The binary form (autoreleased), growing from initialSize bytes; null when dict is not a dictionary.
    static KuData* emitBJson(KuDictionary* dict, int initialSize);

    // The writer's text for a float: "%g", except where "%g" would take the exponent form (which reads
    // back as a word): there the same six significant digits in plain decimal ("1e+07" -> "10000000.0",
    // "1e-05" -> "0.00001"); infinity as a decimal beyond the float range. out must hold
    // kFloatTextSize bytes; returns the length, -1 when out is too small.
    static constexpr int kFloatTextSize = 64;
    static int floatText(float value, char* out, int size);

private:
    friend struct KuJsonParser;  // the reader's implementation, in KuJson.cpp

    int line = 1;
    KuDictionary* symbols = nullptr;   // not retained; valid during one parse
    KuMutableString* error = nullptr;  // owned
    bool keysToLower = false;
    bool aborted = false;  // a fatal error was met: every level unwinds with null
    int depth = 0;
};

// Text readers. Null text gives null; keys are kept as written unless keysToLower.
KuObject* quickParseKuJson(KuString* text);
KuObject* quickParseKuJsonWithSymbolDict(KuString* text, KuDictionary* symbols, bool keysToLower);
// Data readers: deciphered first when key (16 bytes) is given (a failed decipher gives null); data of
// more than 4 bytes starting 01 02 03 04 is read as the binary form, anything else as text.
KuObject* quickParseKuJson(KuData* data, const unsigned char* key, bool keysToLower);
KuObject* quickParseKuJsonWithSymbolDict(KuData* data, const unsigned char* key, KuDictionary* symbols,
                                         bool keysToLower);
KuObject* quickParseKuJson(KuData* data, KuDictionary* symbols);  // null or empty data gives null
// The binary reader alone.
KuObject* quickParseKuBJsonWithSymbolDict(KuData* data, KuDictionary* symbols);
// The last binary-reader error text (also set by a failed text parse), or null. Not owned by the caller.
KuString* KuBJsonError();

// Process-wide cache from file name to parsed dictionary. KuQuickCachedJSONDict reads and stores the
// file on a miss (null when it cannot be read); the cache holds its own reference.
KuDictionary* KuQuickCachedJSONDict(KuString* name);
KuDictionary* KuQuickCachedJSONDict(const char* name);
KuDictionary* KuDictionaryFromCache(KuString* name);
KuDictionary* KuDictionaryFromCache(const char* name);
void KuCacheDictionary(KuString* name, KuDictionary* dict);  // retained
void KuCacheDictionary(const char* name, KuDictionary* dict);
void flushDictionaryCache();
