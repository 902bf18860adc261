// The per-thread cache of shared strings, the JSON reader's hot path.
// Lookups go through an open-addressed hash table keyed by the text bytes (no allocation for a
// hit); the byte-ordered view of the cache is built only when it is dumped.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "KuLog.h"
#include "KuString.h"

struct KuStringCacheMap {
    struct Slot {
        uint64_t hash;
        KuString* string;  // null: empty slot
    };
    std::vector<Slot> slots;  // size is a power of two, at most half full
    int count = 0;
};

namespace {

constexpr size_t kInitialSlots = 256;

inline uint64_t mix64(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Eight bytes at a time; keys are short, so speed matters more than a perfect spread, and the
// final mix gives the low bits the table indexes with.
inline uint64_t textHash(const char* text, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    while (n >= 8) {
        uint64_t v;
        memcpy(&v, text, 8);
        h = (h ^ v) * 0x100000001B3ULL;
        h ^= h >> 29;
        text += 8;
        n -= 8;
    }
    if (n > 0) {
        uint64_t v = 0;
        memcpy(&v, text, n);
        h = (h ^ v) * 0x100000001B3ULL;
    }
    return mix64(h);
}

inline bool slotHolds(const KuStringCacheMap::Slot& slot, uint64_t hash, const char* text, size_t n) {
    return slot.hash == hash && static_cast<size_t>(slot.string->length) == n &&
           memcmp(slot.string->c_str(), text, n) == 0;
}

void grow(KuStringCacheMap* map) {
    std::vector<KuStringCacheMap::Slot> old;
    old.swap(map->slots);
    map->slots.assign(old.empty() ? kInitialSlots : old.size() * 2, KuStringCacheMap::Slot{0, nullptr});
    size_t mask = map->slots.size() - 1;
    for (const auto& slot : old) {
        if (!slot.string) continue;
        size_t i = slot.hash & mask;
        while (map->slots[i].string) i = (i + 1) & mask;
        map->slots[i] = slot;
    }
}

// Owns this thread's map; a thread that ends without destroyStringCacheMap() still gives its
// strings back.
struct CacheHolder {
    KuStringCacheMap* map = nullptr;
    ~CacheHolder();
};

thread_local CacheHolder _default_str_cachemap;

void releaseAll(KuStringCacheMap* map) {
    for (auto& slot : map->slots) {
        KuString* s = slot.string;
        slot = KuStringCacheMap::Slot{0, nullptr};
        KuRelease(s);
    }
    map->count = 0;
}

CacheHolder::~CacheHolder() {
    if (!map) return;
    releaseAll(map);
    delete map;
    map = nullptr;
}

}  // namespace

void initStringCacheMap() {
    CacheHolder& holder = _default_str_cachemap;
    if (!holder.map) holder.map = new KuStringCacheMap;
}

KuString* cachedKuString(const char* text, int n) {
    if (!text || n < 0) return nullptr;
    // A cached text holds no NUL: look up what the string would hold.
    if (const void* nul = memchr(text, 0, static_cast<size_t>(n)))
        n = static_cast<int>(static_cast<const char*>(nul) - text);
    CacheHolder& holder = _default_str_cachemap;
    KuStringCacheMap* map = holder.map;
    if (!map) map = holder.map = new KuStringCacheMap;
    if (map->slots.empty()) grow(map);

    size_t len = static_cast<size_t>(n);
    uint64_t hash = textHash(text, len);
    size_t mask = map->slots.size() - 1;
    size_t i = hash & mask;
    for (;; i = (i + 1) & mask) {
        const auto& slot = map->slots[i];
        if (!slot.string) break;
        if (slotHolds(slot, hash, text, len)) return slot.string;
    }

    KuString* s = new KuString(text, n);
    if (static_cast<size_t>(map->count + 1) * 2 > map->slots.size()) {
        grow(map);
        mask = map->slots.size() - 1;
        i = hash & mask;
        while (map->slots[i].string) i = (i + 1) & mask;
    }
    map->slots[i] = KuStringCacheMap::Slot{hash, s};
    map->count++;
    return s;
}

KuString* cachedKuString(const char* text) {
    if (!text) return nullptr;
    return cachedKuString(text, static_cast<int>(strlen(text)));
}

void releaseKuStringCache(KuStringCacheMap* map) {
    if (!map) map = _default_str_cachemap.map;
    if (map) releaseAll(map);
}

void destroyStringCacheMap() {
    CacheHolder& holder = _default_str_cachemap;
    if (!holder.map) return;
    releaseAll(holder.map);
    delete holder.map;
    holder.map = nullptr;
}

void dumpKuStringCache(bool verbose) {
    KuStringCacheMap* map = _default_str_cachemap.map;
    std::vector<KuString*> entries;
    if (map)
        for (const auto& slot : map->slots)
            if (slot.string) entries.push_back(slot.string);
    // string_view compares with memcmp: unsigned byte order.
    std::sort(entries.begin(), entries.end(), [](const KuString* a, const KuString* b) {
        return std::string_view(a->c_str(), static_cast<size_t>(a->length)) <
               std::string_view(b->c_str(), static_cast<size_t>(b->length));
    });
    int bytes = 0;
    for (size_t i = 0; i < entries.size(); i++) {
        if (verbose) KuLog("%03d - \"%@\" ref:%d", static_cast<int>(i), entries[i], entries[i]->refCount);
        bytes += entries[i]->length;
    }
    KuLog("Total size: %d (%d)", static_cast<int>(entries.size()), bytes);
}

// Test and debugging aid: the number of strings in this thread's cache.
int KuStringCacheCount() { return _default_str_cachemap.map ? _default_str_cachemap.map->count : 0; }
