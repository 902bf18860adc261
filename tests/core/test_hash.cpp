// CRC-32/MPEG-2 and CRC-64 hashes, the seeded random generator and random identifiers.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "KuString.h"
#include "TestSupport.h"

namespace {

class HashTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        savedSeed = KuGetRandomSeed();
    }
    void TearDown() override {
        KuSetRandomSeed(savedSeed);
        KuPoolTest::TearDown();
    }
    unsigned long savedSeed = 0;
};

// Bit-at-a-time references, independent of the table-driven code.
uint64_t referenceCrc64(const std::string& text) {
    uint64_t h = ~0ULL;
    for (unsigned char b : text) {
        h ^= b;
        for (int i = 0; i < 8; i++)
            h = (h & 1) ? (h >> 1) ^ 0x95AC9329AC4BC9B5ULL : h >> 1;
    }
    return h;
}

uint32_t referenceCrc32Mpeg2(const std::string& text, uint32_t r) {
    for (unsigned char b : text) {
        r ^= static_cast<uint32_t>(b) << 24;
        for (int i = 0; i < 8; i++)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    }
    return r;
}

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

TEST_F(HashTest, Crc32IsMpeg2) {
    EXPECT_EQ(KuHash32(bytes("123456789"), 9, 0xFFFFFFFFu), 0x0376E6E7u);  // the catalogued check value
    for (const std::string& s :
         std::vector<std::string>{"a", "hello world", "KuString", std::string(1000, '\xFF')}) {
        EXPECT_EQ(KuHash32(bytes(s), static_cast<int>(s.size()), 0xFFFFFFFFu),
                  referenceCrc32Mpeg2(s, 0xFFFFFFFFu))
            << s;
        EXPECT_EQ(KuHash32(bytes(s), static_cast<int>(s.size()), 0), referenceCrc32Mpeg2(s, 0)) << s;
        EXPECT_EQ(KuString::stringWithString(s.c_str())->hash32(123), referenceCrc32Mpeg2(s, 0xFFFFFFFFu))
            << s;
    }
    EXPECT_EQ(KuHash32(nullptr, 5, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(KuHash32(bytes("abc"), 0, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(KUSTR_EMPTY->hash32(), 0u);
}

TEST_F(HashTest, Crc64MatchesTheBitwiseReference) {
    EXPECT_EQ(KuHash64(bytes("123456789"), 9), referenceCrc64("123456789"));
    for (const std::string& s :
         std::vector<std::string>{"", "a", "name", "the quick brown fox", std::string(777, 'z')}) {
        KuString* str = KuString::stringWithString(s.c_str());
        EXPECT_EQ(str->computeHash64(), referenceCrc64(s)) << s;
        EXPECT_EQ(str->hashCache64, referenceCrc64(s)) << s;
    }
}

TEST_F(HashTest, CaseInsensitiveHash) {
    auto h = [](const char* t, unsigned seed) {
        return KuString::stringWithString(t)->hash32CaseInsensitive(seed);
    };
    EXPECT_EQ(h("Hello", 7), h("hello", 7));
    EXPECT_EQ(h("ABC", 0), h("abc", 0));
    EXPECT_NE(h("abc", 0), h("abd", 0));
    EXPECT_EQ(h("", 1234), 1234u);
    EXPECT_EQ(KuString::stringWithString(static_cast<const char*>(nullptr))->hash32CaseInsensitive(1234), 0u);
    // h = h * 31 + b (+ 32 for capitals), bytes taken as signed.
    EXPECT_EQ(h("a", 1), 1u * 31u + 'a');
    EXPECT_EQ(h("\xFF", 0), static_cast<uint32_t>(-1));
}

TEST_F(HashTest, DrawsFollowTheLinearCongruentialFormula) {
    KuSetRandomSeed(12345);
    uint64_t seed = 12345;
    for (int i = 0; i < 100; i++) {
        seed = seed * 214013u + 2531011u;
        unsigned n = 1 + static_cast<unsigned>(i) * 7;
        ASSERT_EQ(KuRandomDraw(n), ((seed & 0xFFFFFFFFu) >> 16) % n) << i;
    }
    EXPECT_EQ(KuGetRandomSeed(), static_cast<unsigned long>(seed));
}

TEST_F(HashTest, SeededSequenceIsReproducibleAndIdentifiersDoNotDisturbIt) {
    KuPushRandomSeed(42);
    std::vector<unsigned> first;
    for (int i = 0; i < 10; i++)
        first.push_back(KuRandomDraw(1000));
    KuPopRandomSeed();

    KuPushRandomSeed(42);
    std::vector<unsigned> second;
    for (int i = 0; i < 5; i++)
        second.push_back(KuRandomDraw(1000));
    KuString* id = KuString::stringWithRandomIdentifier(3, 20);
    EXPECT_EQ(id->length, 20);
    for (int i = 0; i < 5; i++)
        second.push_back(KuRandomDraw(1000));
    KuPopRandomSeed();
    EXPECT_EQ(first, second);
}

TEST_F(HashTest, PushAndPopRestoreSeeds) {
    KuSetRandomSeed(100);
    KuPushRandomSeed(7);
    EXPECT_EQ(KuGetRandomSeed(), 7ul);
    KuPushRandomSeed();  // from the clock
    KuPopRandomSeed();
    EXPECT_EQ(KuGetRandomSeed(), 7ul);
    KuPopRandomSeed();
    EXPECT_EQ(KuGetRandomSeed(), 100ul);

    // Two clock reseeds within the same second still differ (the accumulator grows).
    KuSetRandomSeed();
    unsigned long a = KuGetRandomSeed();
    KuSetRandomSeed();
    EXPECT_NE(KuGetRandomSeed(), a);
}

TEST_F(HashTest, FullSeedStackDropsTheOldestEntry) {
    KuSetRandomSeed(100);
    for (unsigned long s = 1; s <= 17; s++)
        KuPushRandomSeed(s);  // the 17th push drops the saved 100
    for (unsigned long expected = 16; expected >= 1; expected--) {
        KuPopRandomSeed();
        EXPECT_EQ(KuGetRandomSeed(), expected);
    }
    // The stack is empty now: a pop restores its first entry.
    KuSetRandomSeed(555);
    KuPopRandomSeed();
    EXPECT_EQ(KuGetRandomSeed(), 1ul);
}

TEST_F(HashTest, RandomIdentifierKinds) {
    struct {
        int kind;
        int n;
        const char* alphabet;
        int length;
    } rows[] = {
        {1, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 20},
        {2, 12, "0123456789", 12},
        {3, 20, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 20},
        {4, 16, "ABCDEFGHKMNPQRSTUVWXYZ", 16},
        {5, 16, "ABCDEFGHKMNPQRSTUVWXYZ23456789", 16},
        {6, 8, "ABCDEF0123456789", 8},
        {7, 3, "ABCDEF0123456789-", 36},
        {8, 3, "abcdef0123456789", 24},
        {9, 40, "abcdef0123456789", 40},
        {0, 5, "X", 5},
        {10, 4, "X", 4},
    };
    for (auto& r : rows) {
        std::set<char> seen;
        for (int round = 0; round < 20; round++) {
            KuString* id = KuString::stringWithRandomIdentifier(r.kind, r.n);
            ASSERT_EQ(id->length, r.length) << "kind " << r.kind;
            ASSERT_EQ(strlen(id->c_str()), static_cast<size_t>(r.length)) << "kind " << r.kind;
            for (int i = 0; i < id->length; i++) {
                char c = id->c_str()[i];
                ASSERT_NE(strchr(r.alphabet, c), nullptr) << "kind " << r.kind << " char " << c;
                seen.insert(c);
                if (r.kind == 7) {
                    EXPECT_EQ(c == '-', i == 8 || i == 13 || i == 18 || i == 23) << i;
                }
            }
        }
        // Draws reach well into each alphabet (400+ draws).
        if (strlen(r.alphabet) > 1) {
            EXPECT_GT(seen.size(), strlen(r.alphabet) / 2) << "kind " << r.kind;
        }
    }
    EXPECT_EQ(KuString::stringWithRandomIdentifier(1, 0)->length, 0);
    EXPECT_EQ(KuString::stringWithRandomIdentifier(2, -5)->length, 0);
    EXPECT_NE(std::string(KuString::stringWithRandomIdentifier(3, 20)->c_str()),
              std::string(KuString::stringWithRandomIdentifier(3, 20)->c_str()));
}

}  // namespace
