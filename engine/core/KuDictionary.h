// KuDictionary: string-keyed map iterated in ascending unsigned byte order of its keys, with the
// typed getters that convert stored values (numbers, texts, boxed points) to what callers want.
// Getters never fail: a missing or unusable value gives the caller's fallback.
#pragma once

#include <cstdarg>
#include <utility>
#include <vector>

#include "KuArray.h"
#include "KuData.h"
#include "KuNumber.h"
#include "KuObject.h"
#include "KuPointObject.h"
#include "KuString.h"

class KuDictionary;

// Walks keys in ascending order; *it gives the key, value() its value.
class KuDictionaryIterator {
public:
    KuDictionaryIterator(const KuDictionary* d, int i) : dict(d), index(i) {}
    KuString* operator*() const;
    KuObject* value() const;
    KuDictionaryIterator& operator++() {
        ++index;
        return *this;
    }
    bool operator!=(const KuDictionaryIterator& o) const { return index != o.index; }
    bool operator==(const KuDictionaryIterator& o) const { return index == o.index; }

private:
    const KuDictionary* dict;
    int index;
};

class KuDictionary : public KuObject {
public:
    KuDictionary() : KuObject(kKuTypeDictionary) {}
    ~KuDictionary() override;

    static KuDictionary* dictionary();  // autoreleased
    static KuDictionary* newDictionary() { return new KuDictionary; }  // owned
    static KuDictionary* dictionaryWithArgs(KuString* key, ...);  // key, value, ..., null; autoreleased
    static KuDictionary* dictionaryWithDictionary(const KuDictionary* other);  // autoreleased copy
    void initWithDictionary(const KuDictionary* other);  // replaces the content with other's entries
    KuDictionary& operator=(const KuDictionary& other) {
        initWithDictionary(&other);
        return *this;
    }

    void symbolDict(KuDictionary* symbols);  // retained; consulted by the number getters
    KuDictionary* symbolDict() const { return symbols; }

    int count() const;
    KuDictionaryIterator begin() const { return KuDictionaryIterator(this, 0); }
    KuDictionaryIterator end() const { return KuDictionaryIterator(this, count()); }
    KuString* keyAtIndex(int i) const;  // in key order
    KuObject* valueAtIndex(int i) const;

    // Adding: a null key or value adds nothing. An equal key text replaces (and releases) the old pair.
    KuObject* addKeyObject(KuString* key, KuObject* value, bool adopt = false);
    KuObject* addKeyObject(const char* key, KuObject* value, bool adopt = false);
    void addKeyString(KuString* key, KuString* value);
    void addKeyDictionary(KuString* key, KuDictionary* value);
    void addKeyData(KuString* key, KuData* value);
    void addKeyInt(KuString* key, int value);
    void addKeyUnsignedInt(KuString* key, unsigned value);
    void addKeyTime(KuString* key, long value);
    void addKeyFloat(KuString* key, float value);
    void addKeyPoint(KuString* key, KuPoint value);
    void addKeyRect(KuString* key, KuRect value);
    void addKeyColor(KuString* key, KuColor value);  // "{%g,%g,%g,%g}"
    void removeObjectForKey(KuString* key);
    void removeObjectForKey(const char* key);
    void removeAllObjects();

    // Lookup: a null key gives the fallback.
    KuObject* objectForKey(const char* key, KuObject* fallback = nullptr) const;
    KuObject* objectForKey(const KuString* key, KuObject* fallback = nullptr) const;
    bool containsKey(const KuString* key) const;
    bool containsKey(const char* key) const;
    KuString* stringForKey(const KuString* key, KuString* fallback = nullptr) const;
    KuString* stringForKey(const char* key, KuString* fallback = nullptr) const;
    int intForKey(const KuString* key, int fallback) const;
    int intForKey(const char* key, int fallback) const;
    unsigned unsignedIntForKey(const KuString* key, unsigned fallback) const;
    unsigned unsignedIntForKey(const char* key, unsigned fallback) const;
    float floatForKey(const KuString* key, float fallback) const;
    float floatForKey(const char* key, float fallback) const;
    long timeForKey(const KuString* key, long fallback) const;
    long timeForKey(const char* key, long fallback) const;
    bool boolForKey(const KuString* key, bool fallback) const;
    bool boolForKey(const char* key, bool fallback) const;
    float percentForKey(const KuString* key, float fallback) const;
    float percentForKey(const char* key, float fallback) const;
    KuPoint pointForKey(const KuString* key, KuPoint fallback) const;
    KuPoint pointForKey(const char* key, KuPoint fallback) const;
    KuRect rectForKey(const KuString* key, KuRect fallback) const;
    KuRect rectForKey(const char* key, KuRect fallback) const;
    KuColor colorForKey(const KuString* key, KuColor fallback) const;
    KuColor colorForKey(const char* key, KuColor fallback) const;
    KuDictionary* dictionaryForKey(const KuString* key, KuDictionary* fallback = nullptr) const;
    KuDictionary* dictionaryForKey(const char* key, KuDictionary* fallback = nullptr) const;
    KuArray<KuString*>* stringArrayForKey(const KuString* key, KuArray<KuString*>* fallback = nullptr) const;
    KuArray<KuString*>* stringArrayForKey(const char* key, KuArray<KuString*>* fallback = nullptr) const;
    KuArray<KuPointObject*>* pointArrayForKey(const KuString* key, KuArray<KuPointObject*>* fallback = nullptr) const;
    KuArray<KuPointObject*>* pointArrayForKey(const char* key, KuArray<KuPointObject*>* fallback = nullptr) const;
    KuArray<KuObject*>* arrayForKey(const char* key, KuArray<KuObject*>* fallback = nullptr) const;
    KuData* dataForKey(const KuString* key, KuData* fallback = nullptr) const;
    KuData* dataForKey(const char* key, KuData* fallback = nullptr) const;

    KuPoint pointValue(KuPoint fallback) const override;  // ("x", "y") as ints
    KuPoint sizeValue() const;                            // ("w", "h") as ints
    KuRect rectValue() const;

    const char* typeStr() const override { return "KuDictionary"; }
    void retainAllObjects() override;
    KuString* toDebugString() override;  // "KuDictionary with %d keys."
    KuString* dump(int indent) override;

private:
    friend class KuDictionaryIterator;
    struct Entry {
        KuString* key;
        KuObject* value;
    };
    // Implementation detail, free to change: see KuDictionary.cpp.
    mutable std::vector<Entry> entries;
    mutable int sortedCount = 0;  // entries[0, sortedCount) are in key order; the rest await merging
    KuDictionary* symbols = nullptr;

    void settle() const;  // brings every entry into key order, later duplicates winning
    int findIndex(const char* text, int len) const;  // -1 when absent
};
