// KuUserPrefs: a persistent key-value store, a dictionary saved as a dialect text file (optionally
// enciphered) in the library folder or at a path of its own; and the two process-wide stores
// defaultPrefs ("Prefs.json") and privatePrefs ("Save.dat").
//
// A store loads its file on first use (a missing or damaged file gives an empty, dirty store),
// marks itself dirty when changed and writes only when asked (sync). Until its path is known (no
// library folder yet) it ignores every call: getters give their fallback, setters change nothing
// and return their argument.
#pragma once

#include "KuArray.h"
#include "KuData.h"
#include "KuDictionary.h"
#include "KuObject.h"
#include "KuString.h"

// A key given as text or as a string; null and "" both mean the empty key.
struct KuPrefsKey {
    const char* text;
    KuPrefsKey(const char* t) : text(t && *t ? t : "") {}
    KuPrefsKey(const KuString* s) : text(s && s->length ? s->c_str() : "") {}
};

extern const unsigned char kPrivatePrefsDataKey[16];
extern const unsigned char kPrivatePrefsDataKey2[16];

class KuUserPrefs : public KuObject {
public:
    KuDictionary* dict = nullptr;        // owned; null until loaded
    KuString* path = nullptr;            // owned; null until resolved
    const unsigned char* key = nullptr;  // points at keyBytes when the store has a key
    bool dirty = false;
    KuString* filename = nullptr;  // retained

    // Owned (count 1). name is a file name in the library folder, or (isPath) the full path.
    KuUserPrefs(KuString* name, bool isPath);
    ~KuUserPrefs() override;
    const char* typeStr() const override { return "KuUserPrefs"; }

    // Selector 1 picks kPrivatePrefsDataKey, 2 kPrivatePrefsDataKey2; any other value points at a
    // 16-byte key, which is copied; null removes the key. Applies to later loads and saves.
    void setKey(const unsigned char* key);

    int _lazyInit();  // 0 when the contents are usable, -1 while the path cannot be known
    // Writes the file when dirty or forced; true when it was written. A failed write keeps the store
    // dirty, so the next sync tries again.
    bool sync(bool force = false);
    void recreateEmpty();  // empty contents, dirty
    // Contents from the dictionary in n bytes (a malloc'd buffer, taken over), deciphered with the
    // store's key; clean. -1 (contents unchanged) for null bytes or bytes that hold no dictionary.
    int initFromData(unsigned char* bytes, int n);
    KuMutableString* asString();  // the contents' dialect text, autoreleased; null while unusable

    bool contains(KuPrefsKey k);
    KuObject* getObject(KuPrefsKey k, KuObject* fallback = nullptr);  // borrowed
    // obj null removes the key. Marks dirty either way.
    KuObject* setObject(KuPrefsKey k, KuObject* obj);
    KuObject* set(KuPrefsKey k, KuObject* obj) { return setObject(k, obj); }
    void remove(KuPrefsKey k);  // marks dirty only when the key was present

    // The setters below change nothing when the stored value already reads as the new one through
    // the matching dictionary getter; otherwise they store it and mark dirty.
    int get(KuPrefsKey k, int fallback) { return getInt(k, fallback); }
    int getInt(KuPrefsKey k, int fallback);
    int set(KuPrefsKey k, int value) { return setInt(k, value); }
    int setInt(KuPrefsKey k, int value);
    float getFloat(KuPrefsKey k, float fallback);
    float setFloat(KuPrefsKey k, float value);
    bool getBool(KuPrefsKey k, bool fallback);  // by the integer reading: "yes" is false, YES is true
    bool setBool(KuPrefsKey k, bool value);     // stored as the integer 1 or 0; equal by getBool's reading
    KuString* get(KuPrefsKey k, KuString* fallback) { return getString(k, fallback); }
    KuString* getString(KuPrefsKey k, KuString* fallback = nullptr);  // a number as its text
    const char* getCString(KuPrefsKey k);
    // null removes the key (marking dirty); an equal text, even of a stored number, changes nothing.
    KuString* setString(KuPrefsKey k, KuString* s);
    KuColor getColor(KuPrefsKey k, KuColor fallback);
    KuColor setColor(KuPrefsKey k, KuColor c);  // stored as the text "{%g,%g,%g,%g}"
    KuPoint getPoint(KuPrefsKey k, KuPoint fallback);
    KuPoint setPoint(KuPrefsKey k, KuPoint p);  // always stores a new point object and marks dirty
    // The stored array when every element is a string; otherwise null. Borrowed.
    KuArray<KuString*>* getStringArray(KuPrefsKey k);
    // Stores the array itself (retained); an element that is not a string stores nothing and gives
    // null; null removes the key (marking dirty) and gives null.
    KuArray<KuString*>* setStringArray(KuPrefsKey k, KuArray<KuString*>* array);
    KuDictionary* getDictionary(KuPrefsKey k, KuDictionary* fallback = nullptr);
    KuData* getData(KuPrefsKey k, KuData* fallback = nullptr);
    // Null removes a present key (marking dirty); when absent, null changes nothing.
    KuDictionary* setDictionary(KuPrefsKey k, KuDictionary* d);
    KuData* setData(KuPrefsKey k, KuData* d);
    bool isNumber(KuPrefsKey k);
    bool isString(KuPrefsKey k);

private:
    unsigned char keyBytes[16] = {};
    KuObject* storeValue(const char* k, KuObject* value);  // retained by the dictionary; marks dirty
    bool removePresent(const char* k);                     // true when the key was there
};

extern KuString* const default_prefs_filename;  // "Prefs.json"
extern KuString* const private_prefs_filename;  // "Save.dat"
// Created at program start without a key; never destroyed.
extern KuUserPrefs* const defaultPrefs;
extern KuUserPrefs* const privatePrefs;
