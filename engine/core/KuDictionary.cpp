// Sections: >>order >>create >>add >>lookup >>getters >>describe
//
// Layout: one flat vector of (key, value) pairs kept in ascending byte order of the key texts, so a
// lookup is a binary search with memcmp and iteration is a walk. Readers append unsearched; the
// arrivals are sorted (stably, so the latest of equal keys is last), merged and de-duplicated on
// the first read. Appends that arrive already in order (the writer emits sorted keys) extend the
// sorted part directly and never need the merge.
#include "KuDictionary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// >>order

namespace {

inline int keyLength(const KuString* key) {
    return key->cstr ? key->length : 0;
}

inline int compareText(const char* a, int aLength, const char* b, int bLength) {
    int n = aLength < bLength ? aLength : bLength;
    if (n > 0) {
        int c = memcmp(a, b, static_cast<size_t>(n));  // compares as unsigned bytes
        if (c) return c;
    }
    return (aLength > bLength) - (aLength < bLength);
}

inline int compareKeys(const KuString* a, const KuString* b) {
    return compareText(a->cstr, keyLength(a), b->cstr, keyLength(b));
}

}  // namespace

void KuDictionary::mergePending() const {
    auto keyLess = [](const Entry& a, const Entry& b) { return compareKeys(a.key, b.key) < 0; };
    auto first = entries.begin();
    auto arrivals = first + sortedCount;
    auto last = entries.end();

    // Stable, so equal keys keep their arrival order and the latest ends last.
    if (last - arrivals <= 32) {
        for (auto i = arrivals + 1; i < last; ++i) {
            Entry moving = *i;
            auto j = i;
            while (j > arrivals && keyLess(moving, *(j - 1))) {
                *j = *(j - 1);
                --j;
            }
            *j = moving;
        }
    } else if (!std::is_sorted(arrivals, last, keyLess)) {
        std::stable_sort(arrivals, last, keyLess);
    }
    // Stable as well: settled entries (older) come before equal arrivals.
    if (sortedCount > 0 && keyLess(*arrivals, *(arrivals - 1)))
        std::inplace_merge(first, arrivals, last, keyLess);

    // Keep the last of every run of equal keys; the earlier ones are released once the vector is
    // consistent again, in case a destructor looks at this dictionary.
    std::vector<Entry> replaced;
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); i++) {
        if (kept > 0 && compareKeys(entries[kept - 1].key, entries[i].key) == 0) {
            replaced.push_back(entries[kept - 1]);
            entries[kept - 1] = entries[i];
        } else {
            entries[kept++] = entries[i];
        }
    }
    entries.resize(kept);
    sortedCount = static_cast<int>(kept);
    for (const Entry& e : replaced) {
        KuRelease(e.key);
        KuRelease(e.value);
    }
}

const KuDictionary::Entry* KuDictionary::find(const char* text, int length) const {
    settle();
    const Entry* low = entries.data();
    size_t n = entries.size();
    // Branch-light lower bound over the settled entries.
    while (n > 0) {
        size_t half = n / 2;
        const Entry* middle = low + half;
        int c = compareText(middle->key->cstr, keyLength(middle->key), text, length);
        if (c == 0) return middle;
        if (c < 0) {
            low = middle + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    return nullptr;
}

void KuDictionary::storeSearched(KuString* key, KuObject* value) {
    settle();
    auto at = std::lower_bound(entries.begin(), entries.end(), key,
                               [](const Entry& e, const KuString* k) { return compareKeys(e.key, k) < 0; });
    if (at != entries.end() && compareKeys(at->key, key) == 0) {
        Entry old = *at;
        *at = Entry{key, value};
        KuRelease(old.key);
        KuRelease(old.value);
        return;
    }
    entries.insert(at, Entry{key, value});
    sortedCount++;
}

// >>create

KuDictionary::~KuDictionary() {
    removeAllObjects();
    KuRelease(symbols);
}

KuDictionary* KuDictionary::dictionary() {
    return KuAutorelease(new KuDictionary);
}

KuDictionary* KuDictionary::dictionaryWithArgs(KuString* key, ...) {
    KuDictionary* d = dictionary();
    va_list args;
    va_start(args, key);
    for (KuString* k = key; k; k = va_arg(args, KuString*)) {
        KuObject* value = va_arg(args, KuObject*);
        d->addKeyObject(k, value);
    }
    va_end(args);
    return d;
}

KuDictionary* KuDictionary::dictionaryWithDictionary(const KuDictionary* other) {
    KuDictionary* d = dictionary();
    d->initWithDictionary(other);
    return d;
}

void KuDictionary::initWithDictionary(const KuDictionary* other) {
    if (other == this) return;
    std::vector<Entry> copied;
    if (other) {
        other->settle();
        copied = other->entries;
        for (const Entry& e : copied) {
            KuRetain(e.key);
            KuRetain(e.value);
        }
    }
    // Swap before releasing: other may live only through this dictionary's old content.
    copied.swap(entries);
    sortedCount = static_cast<int>(entries.size());
    for (const Entry& e : copied) {
        KuRelease(e.key);
        KuRelease(e.value);
    }
}

void KuDictionary::symbolDict(KuDictionary* symbolDictionary) {
    KuSetRetained(symbols, symbolDictionary);
}

int KuDictionary::count() const {
    settle();
    return static_cast<int>(entries.size());
}

KuString* KuDictionary::keyAtIndex(int i) const {
    return (i < 0 || i >= count()) ? nullptr : entries[static_cast<size_t>(i)].key;
}

KuObject* KuDictionary::valueAtIndex(int i) const {
    return (i < 0 || i >= count()) ? nullptr : entries[static_cast<size_t>(i)].value;
}

void KuDictionary::reserve(int entryCount) {
    if (entryCount > 0) entries.reserve(static_cast<size_t>(entryCount));
}

// >>add

KuObject* KuDictionary::addKeyObject(KuString* key, KuObject* value, bool adopt) {
    if (!key || !value) {
        if (adopt) KuRelease(value);
        return nullptr;
    }
    KuRetain(key);
    if (!adopt) KuRetain(value);
    storeSearched(key, value);
    return value;
}

KuObject* KuDictionary::addKeyObject(const char* key, KuObject* value, bool adopt) {
    if (!key || !value) {
        if (adopt) KuRelease(value);
        return nullptr;
    }
    if (!adopt) KuRetain(value);
    storeSearched(new KuString(key), value);
    return value;
}

void KuDictionary::addKeyObjectAdopting(KuString* key, KuObject* value) {
    if (!key || !value) {
        KuRelease(key);
        KuRelease(value);
        return;
    }
    // Still in order (the common case for documents this engine wrote): extend the settled part.
    bool inOrder = sortedCount == static_cast<int>(entries.size()) &&
                   (entries.empty() || compareKeys(entries.back().key, key) < 0);
    entries.push_back(Entry{key, value});
    if (inOrder) sortedCount++;
}

void KuDictionary::appendKeyObject(KuString* key, KuObject* value, bool adoptValue) {
    if (!key || !value) {
        if (adoptValue) KuRelease(value);
        return;
    }
    KuRetain(key);
    if (!adoptValue) KuRetain(value);
    addKeyObjectAdopting(key, value);
}

void KuDictionary::addKeyString(KuString* key, KuString* value) {
    addKeyObject(key, value);
}
void KuDictionary::addKeyDictionary(KuString* key, KuDictionary* value) {
    addKeyObject(key, value);
}
void KuDictionary::addKeyData(KuString* key, KuData* value) {
    addKeyObject(key, value);
}

void KuDictionary::addKeyInt(KuString* key, int value) {
    if (key) addKeyObject(key, new KuNumber(value), true);
}

void KuDictionary::addKeyUnsignedInt(KuString* key, unsigned value) {
    if (key) addKeyObject(key, new KuNumber(static_cast<int>(value)), true);
}

void KuDictionary::addKeyTime(KuString* key, long value) {
    if (key) addKeyObject(key, new KuNumber(static_cast<int>(static_cast<uint32_t>(value))), true);
}

void KuDictionary::addKeyFloat(KuString* key, float value) {
    if (key) addKeyObject(key, new KuNumber(value), true);
}

void KuDictionary::addKeyPoint(KuString* key, KuPoint value) {
    if (key) addKeyObject(key, new KuPointObject(value), true);
}

void KuDictionary::addKeyRect(KuString* key, KuRect value) {
    if (key) addKeyObject(key, new KuRectObject(value), true);
}

void KuDictionary::addKeyColor(KuString* key, KuColor value) {
    if (!key) return;
    char text[160];
    snprintf(text, sizeof text, "{%g,%g,%g,%g}", static_cast<double>(value.red),
             static_cast<double>(value.green), static_cast<double>(value.blue),
             static_cast<double>(value.alpha));
    addKeyObject(key, new KuString(text), true);
}

void KuDictionary::removeEntry(const Entry* e) {
    if (!e) return;
    Entry old = *e;
    entries.erase(entries.begin() + (e - entries.data()));
    sortedCount--;
    KuRelease(old.key);
    KuRelease(old.value);
}

void KuDictionary::removeObjectForKey(const KuString* key) {
    if (key) removeEntry(find(key->cstr, keyLength(key)));
}

void KuDictionary::removeObjectForKey(const char* key) {
    if (key) removeEntry(find(key, static_cast<int>(strlen(key))));
}

void KuDictionary::removeAllObjects() {
    std::vector<Entry> old;
    old.swap(entries);
    sortedCount = 0;
    for (const Entry& e : old) {
        KuRelease(e.key);
        KuRelease(e.value);
    }
}

// >>lookup

KuObject* KuDictionary::lookup(const char* key) const {
    if (!key) return nullptr;
    const Entry* e = find(key, static_cast<int>(strlen(key)));
    return e ? e->value : nullptr;
}

KuObject* KuDictionary::lookup(const KuString* key) const {
    if (!key || !key->isString()) return nullptr;
    const Entry* e = find(key->cstr, keyLength(key));
    return e ? e->value : nullptr;
}

KuObject* KuDictionary::objectForKey(const char* key, KuObject* fallback) const {
    KuObject* v = lookup(key);
    return v ? v : fallback;
}

KuObject* KuDictionary::objectForKey(const KuString* key, KuObject* fallback) const {
    KuObject* v = lookup(key);
    return v ? v : fallback;
}

bool KuDictionary::containsKey(const KuString* key) const {
    return lookup(key) != nullptr;
}
bool KuDictionary::containsKey(const char* key) const {
    return lookup(key) != nullptr;
}

// >>getters
// Each getter converts one looked-up value (null when missing); the key overloads only differ in
// how the value is found.

namespace {

inline bool isNumber(const KuObject* v) {
    return v && v->kindCode() == kKuTypeNumber;
}
inline bool isText(const KuObject* v) {
    return v && v->isString();
}
inline bool hasKind(const KuObject* v, int32_t kind) {
    return v && v->kindCode() == kind;
}

KuString* stringFromValue(KuObject* v, KuString* fallback) {
    if (isText(v)) return static_cast<KuString*>(v);
    if (isNumber(v)) return static_cast<KuNumber*>(v)->toString();
    return fallback;
}

bool boolFromValue(const KuObject* v, bool fallback) {
    if (isNumber(v)) return v->intValue() != 0;
    if (!isText(v)) return fallback;
    const char* text = static_cast<const KuString*>(v)->c_str();
    static const char* const yes[] = {"yes", "true", "YES", "TRUE"};
    static const char* const no[] = {"no", "false", "NO", "FALSE"};
    for (const char* word : yes)
        if (strcmp(text, word) == 0) return true;
    for (const char* word : no)
        if (strcmp(text, word) == 0) return false;
    return v->intValue() != 0;
}

KuPoint pointFromValue(const KuObject* v, KuPoint fallback) {
    if (hasKind(v, kKuTypePointObject)) return static_cast<const KuPointObject*>(v)->point;
    if (isText(v)) return v->pointValue(fallback);
    return fallback;
}

KuRect rectFromValue(const KuObject* v, KuRect fallback) {
    if (hasKind(v, kKuTypeRectObject)) return static_cast<const KuRectObject*>(v)->rect;
    if (!isText(v)) return fallback;
    const char* text = static_cast<const KuString*>(v)->cstr;
    if (!text) return KuRect{};
    const char* format = text[0] == '(' ? "((%g,%g),(%g,%g))" : "{{%g,%g},{%g,%g}}";
    KuRect r;
    if (sscanf(text, format, &r.first.x, &r.first.y, &r.second.x, &r.second.y) != 4) return KuRect{};
    return r;
}

KuColor colorFromBits(uint32_t v, float alpha) {
    return KuColor{static_cast<float>((v >> 16) & 0xFF) / 255, static_cast<float>((v >> 8) & 0xFF) / 255,
                   static_cast<float>(v & 0xFF) / 255, alpha};
}

KuColor colorFromValue(const KuObject* v, KuColor fallback) {
    if (!v) return fallback;
    if (isNumber(v)) {
        uint32_t bits = static_cast<uint32_t>(v->intValue());
        return colorFromBits(bits, static_cast<float>((bits >> 24) & 0xFF) / 255);
    }
    if (!isText(v)) return fallback;
    const KuColor black{0, 0, 0, 1};
    const char* text = static_cast<const KuString*>(v)->cstr;
    if (!text) return black;
    if (text[0] == '#') {
        unsigned bits = 0;
        if (sscanf(text, "#%06x", &bits) != 1) return black;
        return colorFromBits(bits, 1);
    }
    KuColor c;
    if (sscanf(text, "{%g,%g,%g,%g}", &c.red, &c.green, &c.blue, &c.alpha) != 4) return black;
    return c;
}

template <typename T>
T* objectOfKind(KuObject* v, int32_t kind, T* fallback) {
    return hasKind(v, kind) ? static_cast<T*>(v) : fallback;
}

}  // namespace

// A text stands for its entry in the symbol dictionary when it has one.
const KuObject* KuDictionary::numericSource(const KuObject* value) const {
    if (symbols && isText(value)) {
        KuObject* symbol = symbols->lookup(static_cast<const KuString*>(value));
        if (symbol) return symbol;
    }
    return value;
}

#define KU_DICTIONARY_GETTER(Type, name, body)                                                               \
    Type KuDictionary::name(const KuString* key, Type fallback) const {                                      \
        KuObject* v = lookup(key);                                                                           \
        body;                                                                                                \
    }                                                                                                        \
    Type KuDictionary::name(const char* key, Type fallback) const {                                          \
        KuObject* v = lookup(key);                                                                           \
        body;                                                                                                \
    }

KU_DICTIONARY_GETTER(KuString*, stringForKey, return stringFromValue(v, fallback))
KU_DICTIONARY_GETTER(int, intForKey,
                     return isNumber(v) || isText(v) ? numericSource(v)->intValue() : fallback)
KU_DICTIONARY_GETTER(unsigned, unsignedIntForKey,
                     return isNumber(v) || isText(v) ? numericSource(v)->unsignedIntValue() : fallback)
KU_DICTIONARY_GETTER(float, floatForKey,
                     return isNumber(v) || isText(v) ? numericSource(v)->floatValue() : fallback)
// The stored value widened, so a fallback beyond 32 bits survives a missing entry.
KU_DICTIONARY_GETTER(long, timeForKey,
                     return isNumber(v) || isText(v) ? static_cast<long>(numericSource(v)->unsignedIntValue())
                                                     : fallback)
KU_DICTIONARY_GETTER(bool, boolForKey, return boolFromValue(v, fallback))
KU_DICTIONARY_GETTER(float, percentForKey, return v ? KuPercentNum(v, nullptr, fallback) : fallback)
KU_DICTIONARY_GETTER(KuPoint, pointForKey, return pointFromValue(v, fallback))
KU_DICTIONARY_GETTER(KuRect, rectForKey, return rectFromValue(v, fallback))
KU_DICTIONARY_GETTER(KuColor, colorForKey, return colorFromValue(v, fallback))
KU_DICTIONARY_GETTER(KuDictionary*, dictionaryForKey, return objectOfKind(v, kKuTypeDictionary, fallback))
KU_DICTIONARY_GETTER(KuArray<KuString*>*, stringArrayForKey, return objectOfKind(v, kKuTypeArray, fallback))
KU_DICTIONARY_GETTER(KuArray<KuPointObject*>*, pointArrayForKey,
                     return objectOfKind(v, kKuTypeArray, fallback))
KU_DICTIONARY_GETTER(KuData*, dataForKey, return objectOfKind(v, kKuTypeData, fallback))

#undef KU_DICTIONARY_GETTER

KuArray<KuObject*>* KuDictionary::arrayForKey(const char* key, KuArray<KuObject*>* fallback) const {
    return objectOfKind(lookup(key), kKuTypeArray, fallback);
}

KuPoint KuDictionary::pointValue(KuPoint) const {
    return KuPoint{static_cast<float>(intForKey("x", 0)), static_cast<float>(intForKey("y", 0))};
}

KuPoint KuDictionary::sizeValue() const {
    return KuPoint{static_cast<float>(intForKey("w", 0)), static_cast<float>(intForKey("h", 0))};
}

KuRect KuDictionary::rectValue() const {
    KuPoint origin = pointValue(KuPoint{});
    KuPoint size = sizeValue();
    return KuRect{origin, KuPoint{origin.x + size.x, origin.y + size.y}};
}

// >>describe

void KuDictionary::retainAllObjects() {
    settle();
    for (const Entry& e : entries) {
        KuRetain(e.key);
        KuRetain(e.value);
        e.value->retainAllObjects();
    }
}

KuString* KuDictionary::toDebugString() {
    char text[64];
    snprintf(text, sizeof text, "KuDictionary with %d keys.", count());
    return KuString::stringWithString(text);
}

KuString* KuDictionary::dump(int indent) {
    KuMutableString* out = KuMutableString::stringWithString("{\n");
    for (KuDictionaryIterator it = begin(), stop = end(); it != stop; ++it) {
        out->appendChar('\t');
        out->appendString(*it);
        out->appendString(" = ");
        out->appendString(it.value()->dump(indent));
        out->appendChar('\n');
    }
    out->appendString("}\n");
    return out;
}
