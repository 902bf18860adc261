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

inline uint64_t read64(const char* p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}

inline uint64_t read32(const char* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// 64 x 64 -> 128-bit multiply folded to 64 bits: one instruction pair mixes every input bit.
inline uint64_t foldedMultiply(uint64_t a, uint64_t b) {
    __uint128_t r = static_cast<__uint128_t>(a) * b;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

constexpr uint64_t kHashK0 = 0xa0761d6478bd642fULL;
constexpr uint64_t kHashK1 = 0xe7037ed1a0b428dbULL;
constexpr uint64_t kHashK2 = 0x8ebc6af09c88c6e3ULL;

// Keys are mostly short: up to 16 bytes take two overlapping loads and no loop or call.
inline uint64_t textHash(const char* p, size_t n) {
    uint64_t a = 0, b = 0, h = kHashK0 ^ n;
    if (n <= 16) {
        if (n >= 8) {
            a = read64(p);
            b = read64(p + n - 8);
        } else if (n >= 4) {
            a = read32(p);
            b = read32(p + n - 4);
        } else if (n > 0) {
            auto byte = [p](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(p[i])); };
            a = (byte(0) << 16) | (byte(n >> 1) << 8) | byte(n - 1);
        }
    } else {
        const char* end = p + n;
        while (end - p > 16) {
            h = foldedMultiply(read64(p) ^ kHashK1, read64(p + 8) ^ h);
            p += 16;
        }
        a = read64(end - 16);
        b = read64(end - 8);
    }
    return foldedMultiply(a ^ kHashK1, foldedMultiply(b ^ kHashK2, h));
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
        while (map->slots[i].string)
            i = (i + 1) & mask;
        map->slots[i] = slot;
    }
}

void releaseAll(KuStringCacheMap* map) {
    for (auto& slot : map->slots) {
        KuString* s = slot.string;
        slot = KuStringCacheMap::Slot{0, nullptr};
        KuRelease(s);
    }
    map->count = 0;
}

// The hot path reads a plain thread-local pointer (no guard, no call); the holder, whose
// destructor gives a finished thread's strings back, is touched only when a map is created.
thread_local KuStringCacheMap* _default_str_cachemap = nullptr;

struct CacheHolder {
    ~CacheHolder() {
        if (!_default_str_cachemap) return;
        releaseAll(_default_str_cachemap);
        delete _default_str_cachemap;
        _default_str_cachemap = nullptr;
    }
};

thread_local CacheHolder cacheHolder;

KuStringCacheMap* createThreadMap() {
    (void)&cacheHolder;  // registers the holder's destructor for this thread
    _default_str_cachemap = new KuStringCacheMap;
    grow(_default_str_cachemap);
    return _default_str_cachemap;
}

}  // namespace

void initStringCacheMap() {
    if (!_default_str_cachemap) createThreadMap();
}

KuString* cachedKuString(const char* text, int n) {
    if (!text || n < 0) return nullptr;
    // A cached text holds no NUL: look up what the string would hold.
    if (const void* nul = memchr(text, 0, static_cast<size_t>(n)))
        n = static_cast<int>(static_cast<const char*>(nul) - text);
    KuStringCacheMap* map = _default_str_cachemap;
    if (!map) map = createThreadMap();

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
        while (map->slots[i].string)
            i = (i + 1) & mask;
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
    if (!map) map = _default_str_cachemap;
    if (map) releaseAll(map);
}

void destroyStringCacheMap() {
    KuStringCacheMap* map = _default_str_cachemap;
    if (!map) return;
    _default_str_cachemap = nullptr;
    releaseAll(map);
    delete map;
}

void dumpKuStringCache(bool verbose) {
    KuStringCacheMap* map = _default_str_cachemap;
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
int KuStringCacheCount() {
    return _default_str_cachemap ? _default_str_cachemap->count : 0;
}
