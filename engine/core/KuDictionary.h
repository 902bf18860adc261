// KuDictionary: string-keyed map iterated in ascending unsigned byte order of its keys, with the
// typed getters that convert stored values (numbers, texts, boxed points) to what callers want.
// Getters never fail: a missing or unusable value gives the caller's fallback.
#pragma once

#include <cstdarg>
#include <vector>

#include "KuArray.h"
#include "KuData.h"
#include "KuNumber.h"
#include "KuObject.h"
#include "KuPointObject.h"
#include "KuString.h"

class KuDictionary;

// Walks keys in ascending order; *it gives the key, value() its value. Adding or removing entries
// while walking invalidates the walk.
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
    ~KuDictionary() override;  // releases every key and value and the symbol dictionary

    static KuDictionary* dictionary();                                 // autoreleased
    static KuDictionary* newDictionary() { return new KuDictionary; }  // owned
    // key, value, key, value, ..., null: pairs added in order (each retained); a pair with a null
    // value adds nothing. Autoreleased.
    static KuDictionary* dictionaryWithArgs(KuString* key, ...);
    // Autoreleased copy of other's entries (null: empty). A copy owns exactly what it holds, one
    // reference per key and value; nested objects are shared and gain nothing, so destroying both
    // dictionaries gives them back the counts they had. The symbol dictionary is not copied.
    static KuDictionary* dictionaryWithDictionary(const KuDictionary* other);
    // Replaces the content with other's entries, as above; safe when other is this dictionary or
    // is held inside it.
    void initWithDictionary(const KuDictionary* other);
    KuDictionary& operator=(const KuDictionary& other) {
        initWithDictionary(&other);
        return *this;
    }

    void symbolDict(KuDictionary* symbols);  // retained; consulted by the number getters
    KuDictionary* symbolDict() const { return symbols; }

    int count() const;  // distinct keys
    KuDictionaryIterator begin() const {
        settle();
        return KuDictionaryIterator(this, 0);
    }
    KuDictionaryIterator end() const { return KuDictionaryIterator(this, count()); }
    KuString* keyAtIndex(int i) const;  // in key order; null outside 0..count-1
    KuObject* valueAtIndex(int i) const;

    // Adding: a null key or value adds nothing. An equal key text replaces the old pair, whose key
    // and value are released at once. adopt = true hands over the caller's reference to value
    // (given back at once when nothing is added). Returns value, or null when nothing is added.
    KuObject* addKeyObject(KuString* key, KuObject* value, bool adopt = false);
    KuObject* addKeyObject(const char* key, KuObject* value, bool adopt = false);

    // Bulk building for readers (the JSON reader): appends without searching for the key. The
    // entry joins the key order on the next lookup, count or iteration; if the key text is already
    // present the later addition wins and the earlier key and value are released then.
    // addKeyObjectAdopting takes over one reference to each of key and value (a null in either
    // releases the other); appendKeyObject retains key and, unless adoptValue, value.
    void addKeyObjectAdopting(KuString* key, KuObject* value);
    void appendKeyObject(KuString* key, KuObject* value, bool adoptValue = false);
    void reserve(int entryCount);

    void addKeyString(KuString* key, KuString* value);
    void addKeyDictionary(KuString* key, KuDictionary* value);
    void addKeyData(KuString* key, KuData* value);
    void addKeyInt(KuString* key, int value);  // a new integer-kind number, never a shared one
    void addKeyUnsignedInt(KuString* key, unsigned value);
    void addKeyTime(KuString* key, long value);  // the low 32 bits, integer kind
    void addKeyFloat(KuString* key, float value);
    void addKeyPoint(KuString* key, KuPoint value);  // a new KuPointObject
    void addKeyRect(KuString* key, KuRect value);    // a new KuRectObject
    void addKeyColor(KuString* key, KuColor value);  // the text "{%g,%g,%g,%g}"
    void removeObjectForKey(const KuString* key);    // releases key and value at once; absent: nothing
    void removeObjectForKey(const char* key);
    void removeAllObjects();

    // Lookup: a null key, a missing entry or a value of an unusable type gives the fallback.
    // Results are borrowed from the dictionary except where marked autoreleased.
    KuObject* objectForKey(const char* key, KuObject* fallback = nullptr) const;
    KuObject* objectForKey(const KuString* key, KuObject* fallback = nullptr) const;
    bool containsKey(const KuString* key) const;
    bool containsKey(const char* key) const;
    // A string value itself; a number as a new autoreleased "%d" or "%g" text.
    KuString* stringForKey(const KuString* key, KuString* fallback = nullptr) const;
    KuString* stringForKey(const char* key, KuString* fallback = nullptr) const;
    // From a number, or from a text (replaced first by its entry in the symbol dictionary when it
    // has one), read with "%d" / "%u" / "%g", 0 when unreadable.
    int intForKey(const KuString* key, int fallback) const;
    int intForKey(const char* key, int fallback) const;
    unsigned unsignedIntForKey(const KuString* key, unsigned fallback) const;
    unsigned unsignedIntForKey(const char* key, unsigned fallback) const;
    float floatForKey(const KuString* key, float fallback) const;
    float floatForKey(const char* key, float fallback) const;
    long timeForKey(const KuString* key, long fallback) const;  // unsignedIntForKey, widened
    long timeForKey(const char* key, long fallback) const;
    // A number is true when not 0; a text: yes/true/YES/TRUE, no/false/NO/FALSE, else its int.
    bool boolForKey(const KuString* key, bool fallback) const;
    bool boolForKey(const char* key, bool fallback) const;
    float percentForKey(const KuString* key, float fallback) const;  // KuPercentNum of the value
    float percentForKey(const char* key, float fallback) const;
    // A point object, or a text "(%g,%g)" / "{%g,%g}".
    KuPoint pointForKey(const KuString* key, KuPoint fallback) const;
    KuPoint pointForKey(const char* key, KuPoint fallback) const;
    // A rect object, or a text "((%g,%g),(%g,%g))" / "{{%g,%g},{%g,%g}}"; an unreadable text gives
    // the zero rectangle, not the fallback.
    KuRect rectForKey(const KuString* key, KuRect fallback) const;
    KuRect rectForKey(const char* key, KuRect fallback) const;
    // A number as 0xAARRGGBB; a text "#RRGGBB" (opaque) or "{r,g,b,a}"; an unreadable text gives
    // opaque black, not the fallback.
    KuColor colorForKey(const KuString* key, KuColor fallback) const;
    KuColor colorForKey(const char* key, KuColor fallback) const;
    // The value when it has the right type code; element types are not checked.
    KuDictionary* dictionaryForKey(const KuString* key, KuDictionary* fallback = nullptr) const;
    KuDictionary* dictionaryForKey(const char* key, KuDictionary* fallback = nullptr) const;
    KuArray<KuString*>* stringArrayForKey(const KuString* key, KuArray<KuString*>* fallback = nullptr) const;
    KuArray<KuString*>* stringArrayForKey(const char* key, KuArray<KuString*>* fallback = nullptr) const;
    KuArray<KuPointObject*>* pointArrayForKey(const KuString* key,
                                              KuArray<KuPointObject*>* fallback = nullptr) const;
    KuArray<KuPointObject*>* pointArrayForKey(const char* key,
                                              KuArray<KuPointObject*>* fallback = nullptr) const;
    KuArray<KuObject*>* arrayForKey(const char* key, KuArray<KuObject*>* fallback = nullptr) const;
    KuData* dataForKey(const KuString* key, KuData* fallback = nullptr) const;
    KuData* dataForKey(const char* key, KuData* fallback = nullptr) const;

    KuPoint pointValue(KuPoint fallback) const override;  // ("x", "y") as ints
    KuPoint sizeValue() const;                            // ("w", "h") as ints
    KuRect rectValue() const;                             // pointValue() to pointValue() + sizeValue()

    const char* typeStr() const override { return "KuDictionary"; }
    // One more reference to every key and value, and through each value's retainAllObjects() to
    // everything nested. Nothing gives these back; only explicit callers use it.
    void retainAllObjects() override;
    KuString* toDebugString() override;   // "KuDictionary with %d keys."
    KuString* dump(int indent) override;  // "{\n", per entry "\t" key " = " value dump "\n", "}\n"

private:
    friend class KuDictionaryIterator;
    struct Entry {
        KuString* key;
        KuObject* value;
    };
    // One flat vector: entries[0, sortedCount) are in ascending key order without duplicates;
    // entries after that were appended unsearched (in arrival order) and are merged in by
    // settle() before anything reads the dictionary.
    mutable std::vector<Entry> entries;
    mutable int sortedCount = 0;
    KuDictionary* symbols = nullptr;

    void settle() const {
        if (sortedCount != static_cast<int>(entries.size())) mergePending();
    }
    void mergePending() const;
    const Entry* find(const char* text, int length) const;       // null when absent
    const KuObject* numericSource(const KuObject* value) const;  // symbol substitution
    void storeSearched(KuString* key, KuObject* value);          // both references already taken
    void removeEntry(const Entry* e);                            // e from find(); null does nothing
    KuObject* lookup(const char* key) const;
    KuObject* lookup(const KuString* key) const;
};

inline KuString* KuDictionaryIterator::operator*() const {
    return dict->entries[index].key;
}
inline KuObject* KuDictionaryIterator::value() const {
    return dict->entries[index].value;
}
