// Sections: >>crc >>string hashes >>random >>identifiers
#include <sys/random.h>

#include <cstring>
#include <ctime>
#include <random>

#include "KuString.h"

// >>crc

namespace {

struct Crc32Table {
    uint32_t entries[256];
    Crc32Table() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; bit++)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            entries[i] = r;
        }
    }
};

struct Crc64Table {
    uint64_t entries[256];
    Crc64Table() {
        for (uint64_t i = 0; i < 256; i++) {
            uint64_t r = i;
            for (int bit = 0; bit < 8; bit++)
                r = (r & 1) ? (r >> 1) ^ 0x95AC9329AC4BC9B5ULL : r >> 1;
            entries[i] = r;
        }
    }
};

// Built on first use; the static-local rule makes the first use thread-safe.
const Crc32Table& crc32Table() {
    static const Crc32Table table;
    return table;
}

const Crc64Table& crc64Table() {
    static const Crc64Table table;
    return table;
}

}  // namespace

uint32_t KuHash32(const unsigned char* bytes, int n, uint32_t initial) {
    if (!bytes || n <= 0) return 0;
    const uint32_t* table = crc32Table().entries;
    uint32_t r = initial;
    for (int i = 0; i < n; i++)
        r = (r << 8) ^ table[(bytes[i] ^ (r >> 24)) & 0xFF];
    return r;
}

uint64_t KuHash64(const unsigned char* bytes, int n) {
    const uint64_t* table = crc64Table().entries;
    uint64_t h = ~0ULL;
    if (!bytes) return h;
    for (int i = 0; i < n; i++)
        h = (h >> 8) ^ table[(h ^ bytes[i]) & 0xFF];
    return h;
}

// >>string hashes

uint32_t KuString::hash32(unsigned) const {
    return KuHash32(reinterpret_cast<const unsigned char*>(c_str()), cstr ? length : 0, 0xFFFFFFFFu);
}

uint32_t KuString::hash32CaseInsensitive(unsigned seed) const {
    if (!cstr) return 0;
    uint32_t h = seed;
    for (const char* p = cstr; *p; p++) {
        signed char b = static_cast<signed char>(*p);
        h = h * 31u + static_cast<uint32_t>(static_cast<int32_t>(b)) + ((b >= 'A' && b <= 'Z') ? 32u : 0u);
    }
    return h;
}

uint64_t KuString::computeHash64() {
    hashCache64 = KuHash64(reinterpret_cast<const unsigned char*>(c_str()), cstr ? length : 0);
    return hashCache64;
}

// >>random

namespace {

constexpr int kSeedStackSize = 16;

uint64_t seed = 0;
uint64_t seedAccumulator = 0;
uint64_t seedStack[kSeedStackSize] = {};
int seedStackDepth = 0;

uint32_t freshRandomValue() {
    uint32_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) return value;
    std::random_device device;
    return device();
}

// The clock in seconds times an accumulator that grows by a fresh random value at every call,
// so two reseeds within the same second still differ.
uint64_t clockSeed() {
    seedAccumulator += freshRandomValue();
    return static_cast<uint64_t>(time(nullptr)) * seedAccumulator;
}

void saveSeed() {
    if (seedStackDepth == kSeedStackSize) {
        // Full: the oldest saved seed gives way, so the latest 16 pushes still pop in order.
        memmove(seedStack, seedStack + 1, sizeof seedStack[0] * (kSeedStackSize - 1));
        seedStackDepth--;
    }
    seedStack[seedStackDepth++] = seed;
}

}  // namespace

void KuSetRandomSeed() {
    seed = clockSeed();
}
void KuSetRandomSeed(unsigned long s) {
    seed = s;
}
unsigned long KuGetRandomSeed() {
    return static_cast<unsigned long>(seed);
}

void KuPushRandomSeed() {
    saveSeed();
    seed = clockSeed();
}

void KuPushRandomSeed(unsigned long s) {
    saveSeed();
    seed = s;
}

void KuPopRandomSeed() {
    if (seedStackDepth == 0) {
        seed = seedStack[0];
        return;
    }
    seed = seedStack[--seedStackDepth];
}

unsigned KuRandomDraw(unsigned n) {
    seed = seed * 214013u + 2531011u;
    if (n == 0) return 0;
    return static_cast<unsigned>(((seed & 0xFFFFFFFFu) >> 16) % n);
}

// >>identifiers

KuString* KuString::stringWithRandomIdentifier(int kind, int n) {
    static const char* const alphabets[] = {
        nullptr,
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
        "0123456789",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
        "ABCDEFGHKMNPQRSTUVWXYZ",
        "ABCDEFGHKMNPQRSTUVWXYZ23456789",
        "ABCDEF0123456789",
        "ABCDEF0123456789",
        "abcdef0123456789",
        "abcdef0123456789",
    };
    if (kind == 7) n = 36;
    if (kind == 8) n = 24;
    if (n <= 0) return KuAutorelease(new KuString(""));
    char* text = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
    if (!text) return KuAutorelease(new KuString(static_cast<const char*>(nullptr)));
    text[n] = 0;

    KuPushRandomSeed();
    if (kind < 1 || kind > 9) {
        memset(text, 'X', static_cast<size_t>(n));
    } else {
        const char* alphabet = alphabets[kind];
        unsigned size = static_cast<unsigned>(strlen(alphabet));
        if (kind == 7 || kind == 8) {
            for (int i = 0; i < n; i++) {
                if (kind == 7 && (i == 8 || i == 13 || i == 18 || i == 23))
                    text[i] = '-';
                else
                    text[i] = alphabet[KuRandomDraw(size)];
            }
        } else {
            for (int i = n - 1; i >= 0; i--)
                text[i] = alphabet[KuRandomDraw(size)];
        }
    }
    KuPopRandomSeed();

    KuString* s = new KuString(static_cast<const char*>(nullptr));
    s->cstr = text;
    s->length = n;
    return KuAutorelease(s);
}
