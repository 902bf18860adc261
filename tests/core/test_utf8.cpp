// UTF-8 decoding into 16-bit units, verification, and encoding back.
#include <cstring>
#include <string>
#include <vector>

#include "KuString.h"
#include "TestSupport.h"

namespace {

TEST(Utf8Test, DecodesOneCharacterAndAdvances) {
    struct {
        const char* label;
        const char* text;
        unsigned short unit;
        int consumed;
    } rows[] = {
        {"ascii", "A", 'A', 1},
        {"two bytes", "\xC3\xA9", 0xE9, 2},
        {"three bytes", "\xE2\x82\xAC", 0x20AC, 3},
        {"stray continuation", "\x80x", '?', 1},
        {"another stray", "\xBFx", '?', 1},
        {"beyond the plane is cut to 16 bits", "\xF0\x9F\x98\x80",
         static_cast<unsigned short>((0xF0 << 12) | (0x1F << 6) | 0x18), 3},
        {"two-byte lead at the end", "\xC3", '?', 1},
        {"three-byte lead cut after one", "\xE2\x82", '?', 2},
        {"empty", "", 0, 0},
        {"lead with a non-continuation",
         "\xC3"
         "A",
         static_cast<unsigned short>((0x03 << 6) | 0x01), 2},
    };
    for (auto& r : rows) {
        const char* p = r.text;
        EXPECT_EQ(utf8ToUnicodeAndInc(p), r.unit) << r.label;
        EXPECT_EQ(p - r.text, r.consumed) << r.label;
        EXPECT_EQ(utf8ToUnicode(r.text), r.unit) << r.label;
    }
    const char* none = nullptr;
    EXPECT_EQ(utf8ToUnicodeAndInc(none), 0);
    EXPECT_EQ(utf8ToUnicodeIndex("abc", 2), 0);
}

TEST(Utf8Test, LengthSizeAndVerification) {
    struct {
        const char* label;
        const char* text;
        int length;
        bool malformed;
    } rows[] = {
        {"ascii", "hello", 5, false},
        {"mixed", "h\xC3\xA9llo \xE2\x82\xAC", 7, false},
        {"empty", "", 0, false},
        {"stray continuation gives 0",
         "ab\x80"
         "cd",
         0, true},
        {"leading stray", "\xA9", 0, true},
        {"lead without continuation",
         "\xC3"
         "A",
         1, true},
        {"cut at the end", "ab\xE2\x82", 3, true},
        {"three-byte lead then one continuation", "\xE2\x82z", 1, true},
    };
    for (auto& r : rows) {
        EXPECT_EQ(utf8Strlen(r.text), r.length) << r.label;
        EXPECT_EQ(utf8Verify(r.text), r.malformed) << r.label;
    }
    EXPECT_EQ(utf8Strlen(nullptr), 0);
    EXPECT_FALSE(utf8Verify(nullptr));

    struct {
        unsigned char lead;
        int size;
    } sizes[] = {{0x00, 1}, {0x41, 1}, {0x7F, 1}, {0x80, -1}, {0xBF, -1},
                 {0xC0, 2}, {0xDF, 2}, {0xE0, 3}, {0xFF, 3}};
    for (auto& s : sizes)
        EXPECT_EQ(utf8ByteSize(s.lead), s.size) << int(s.lead);
}

TEST(Utf8Test, EncodesUnitsAndRoundTrips) {
    struct {
        unsigned short unit;
        const char* bytes;
    } rows[] = {{'A', "A"},
                {0x7F, "\x7F"},
                {0x80, "\xC2\x80"},
                {0x7FF, "\xDF\xBF"},
                {0x800, "\xE0\xA0\x80"},
                {0x20AC, "\xE2\x82\xAC"},
                {0xFFFF, "\xEF\xBF\xBF"}};
    for (auto& r : rows) {
        char out[4] = {};
        char* p = out;
        unicodeToUtf8AndInc(r.unit, p);
        EXPECT_EQ(std::string(out, static_cast<size_t>(p - out)), r.bytes) << r.unit;
        EXPECT_EQ(utf8ToUnicode(out), r.unit) << r.unit;
    }

    const char* text = "a\xC3\xA9\xE2\x82\xACz";
    unsigned short units[8];
    EXPECT_EQ(utf8StringToUnicodeString(text, units, 7), 4);
    EXPECT_EQ(units[0], 'a');
    EXPECT_EQ(units[1], 0xE9);
    EXPECT_EQ(units[2], 0x20AC);
    EXPECT_EQ(units[3], 'z');
    EXPECT_EQ(units[4], 0);
    char back[16];
    EXPECT_EQ(unicode16StringToUTF8String(units, back, sizeof back), 7);
    EXPECT_STREQ(back, text);
}

TEST(Utf8Test, ConversionsRespectTheirBounds) {
    // count limits the characters converted; the terminator follows them.
    unsigned short units[3] = {0xAAAA, 0xAAAA, 0xAAAA};
    EXPECT_EQ(utf8StringToUnicodeString("abcdef", units, 2), 2);
    EXPECT_EQ(units[2], 0);
    EXPECT_EQ(utf8StringToUnicodeString(nullptr, units, 2), 0);
    EXPECT_EQ(units[0], 0);

    const unsigned short euros[] = {0x20AC, 0x20AC, 0x20AC, 0};
    struct {
        int size;
        int written;
    } rows[] = {{1, 0}, {3, 0}, {4, 3}, {6, 3}, {7, 6}, {10, 9}, {64, 9}};
    for (auto& r : rows) {
        std::vector<char> out(static_cast<size_t>(r.size) + 4, '#');
        EXPECT_EQ(unicode16StringToUTF8String(euros, out.data(), r.size), r.written) << r.size;
        EXPECT_EQ(out[static_cast<size_t>(r.written)], 0) << r.size;
        for (int i = r.size; i < r.size + 4; i++)
            EXPECT_EQ(out[static_cast<size_t>(i)], '#') << r.size;
    }
    char one[1] = {'#'};
    EXPECT_EQ(unicode16StringToUTF8String(nullptr, one, 1), 0);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(unicode16StringToUTF8String(euros, one, 0), 0);
}

}  // namespace
