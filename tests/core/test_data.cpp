// KuData: buffers, Base85 and Base64 decoding, Base64 encoding and gzip through zlib, including
// damaged input that must give null without reading out of bounds.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "KuData.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

std::string bytesOf(const KuData* d) {
    return d && d->bytes
               ? std::string(reinterpret_cast<const char*>(d->bytes), static_cast<size_t>(d->length))
               : std::string();
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(random() & 0xFF);
    return s;
}

// The text form, written independently of the decoder: per four bytes (least significant first)
// five digits, least significant first, each as code 35 + digit, skipping the backslash.
std::string base85Encode(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t v = 0;
        for (int b = 3; b >= 0; b--)
            v = (v << 8) | static_cast<unsigned char>(bytes[i + static_cast<size_t>(b)]);
        for (int digit = 0; digit < 5; digit++) {
            int code = 35 + static_cast<int>(v % 85);
            if (code >= 92) code++;
            text += static_cast<char>(code);
            v /= 85;
        }
    }
    return text;
}

class DataTest : public KuPoolTest {};

TEST_F(DataTest, CopiesAppendsAndLengths) {
    char source[] = "abc";
    KuData* d = KuData::dataWithBytes(source, 3);
    source[0] = 'X';
    EXPECT_EQ(bytesOf(d), "abc") << "a copy, not the caller's buffer";
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(d), 1);

    d->appendBytes(d->bytes, d->length);  // from its own buffer, which may move while growing
    EXPECT_EQ(bytesOf(d), "abcabc");
    for (int i = 0; i < 6; i++)
        d->appendBytes(d->bytes, d->length);
    EXPECT_EQ(d->length, 6 * 64);
    EXPECT_EQ(bytesOf(d).substr(378), "abcabc");

    d->setLength(2);
    EXPECT_EQ(bytesOf(d), "ab");
    d->setLength(5);
    EXPECT_EQ(bytesOf(d), std::string("ab\0\0\0", 5)) << "growth is zero-filled";
    d->setLength(-3);
    EXPECT_EQ(d->length, 0);

    EXPECT_EQ(KuData::dataWithBytes(nullptr, 4)->length, 0);
    EXPECT_EQ(KuData::dataWithBytes("x", -1)->length, 0);

    char* heap = static_cast<char*>(malloc(4));
    memcpy(heap, "heap", 4);
    KuData* owned = KuData::dataWithBytesNoCopy(heap, 4);  // freed with the data
    EXPECT_EQ(reinterpret_cast<char*>(owned->bytes), heap);
    EXPECT_EQ(bytesOf(owned), "heap");
}

TEST_F(DataTest, Base85DecodesGroupsLeastSignificantFirst) {
    struct Row {
        const char* text;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"", {}},
        {"#####", {0, 0, 0, 0}},
        {"$####", {1, 0, 0, 0}},              // first character: units
        {"$$###", {86, 0, 0, 0}},             // 1 + 85
        {"##$##", {0x39, 0x1C, 0, 0}},        // 85^2 = 7225
        {"[####", {56, 0, 0, 0}},             // code 91: below the backslash, 91 - 35
        {"]####", {57, 0, 0, 0}},             // code 93: above it, 93 - 36
        {"~~~~~", {0xD2, 0x0F, 0x5C, 0x1B}},  // 90 * 52822061 = 4753985490, modulo 2^32
        {"$", {1, 0, 0, 0}},                  // a short group: (1 + 4) / 5 * 4 bytes
        {"#####$", {0, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string expected(row.bytes.begin(), row.bytes.end());
        KuData* fromText = KuAutorelease(new KuData);
        fromText->initWithBase85EncodedString(row.text);
        EXPECT_EQ(bytesOf(fromText), expected);
        KuData* fromString = KuAutorelease(new KuData);
        fromString->initWithBase85EncodedString(KuString::stringWithString(row.text));
        EXPECT_EQ(bytesOf(fromString), expected);
    }
}

TEST_F(DataTest, Base85ShortFinalGroupsStayInsideTheText) {
    // Exactly sized heap texts, so any read past the terminator is an AddressSanitizer report.
    for (int n = 1; n <= 12; n++) {
        SCOPED_TRACE(n);
        char* text = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
        for (int i = 0; i < n; i++)
            text[i] = i % 5 == 0 ? '$' : '#';  // every group is worth 1
        text[n] = '\0';
        KuData* d = KuAutorelease(new KuData);
        d->initWithBase85EncodedString(text);
        free(text);
        int groups = (n + 4) / 5;
        ASSERT_EQ(d->length, groups * 4);
        std::string expected;
        for (int g = 0; g < groups; g++)
            expected += std::string("\x01\0\0\0", 4);
        EXPECT_EQ(bytesOf(d), expected);
    }
}

TEST_F(DataTest, Base85RoundTripAndReplacement) {
    std::string png = "\x89PNG\r\n\x1a\n" + randomBytes(60, 5);
    KuData* d = KuAutorelease(new KuData);
    d->position = 3;
    d->initWithBase85EncodedString(base85Encode(png).c_str());
    EXPECT_EQ(bytesOf(d), png);
    EXPECT_EQ(d->position, 0);
    d->initWithBase85EncodedString(static_cast<const char*>(nullptr));
    EXPECT_EQ(d->length, 0) << "null text leaves empty data";
}

TEST_F(DataTest, Base64DecodesSkippingForeignBytesAndStopsAtPadding) {
    struct Row {
        const char* text;
        const char* bytes;
    } rows[] = {
        {"", ""},
        {"Zg==", "f"},
        {"Zm8=", "fo"},
        {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"},
        {"Zm9vYmE=", "fooba"},
        {"Zm9vYmFy", "foobar"},
        {"Zm9v\nYmFy\r\n", "foobar"},
        {"Z!m@9 v", "foo"},
        {"Zg==Zm9v", "f"},
        {"Zg", "f"},
        {"Z", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        KuData* d = KuAutorelease(new KuData);
        d->initWithBase64EncodedString(KuString::stringWithString(row.text));
        EXPECT_EQ(bytesOf(d), row.bytes);
    }
}

TEST_F(DataTest, Base64EncodesWithPaddingAndRoundTripsEveryByte) {
    struct Row {
        const char* bytes;
        const char* text;
    } rows[] = {{"", ""},
                {"f", "Zg=="},
                {"fo", "Zm8="},
                {"foo", "Zm9v"},
                {"foob", "Zm9vYg=="},
                {"fooba", "Zm9vYmE="},
                {"foobar", "Zm9vYmFy"}};
    for (const Row& row : rows)
        EXPECT_STREQ(KuData::dataWithBytes(row.bytes, static_cast<int>(strlen(row.bytes)))
                         ->base64EncodedString()
                         ->c_str(),
                     row.text);

    std::string all;
    for (int b = 0; b < 256; b++)
        all += static_cast<char>(b);
    KuData* d = KuAutorelease(new KuData);
    d->initWithBase64EncodedString(KuData::dataWithBytes(all.data(), 256)->base64EncodedString());
    EXPECT_EQ(bytesOf(d), all);
}

TEST_F(DataTest, GzipRoundTrips) {
    std::vector<std::string> inputs = {"x", "hello hello hello hello", randomBytes(200000, 9),
                                       std::string(1 << 20, '\0')};  // compresses ~1000:1, output grows
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input.size());
        KuData* packed = KuData::dataWithBytes(input.data(), static_cast<int>(input.size()))->gzipDeflate();
        ASSERT_NE(packed, nullptr);
        ASSERT_GE(packed->length, 18);
        EXPECT_EQ(packed->bytes[0], 0x1F) << "gzip container";
        EXPECT_EQ(packed->bytes[1], 0x8B);
        KuData* unpacked = packed->gzipInflate();
        ASSERT_NE(unpacked, nullptr);
        EXPECT_TRUE(bytesOf(unpacked) == input);
    }
}

TEST_F(DataTest, GzipInflateAlsoReadsTheZlibContainer) {
    std::string input = "zlib wrapped, not gzip";
    uLongf size = compressBound(static_cast<uLong>(input.size()));
    std::vector<Bytef> packed(size);
    ASSERT_EQ(compress(packed.data(), &size, reinterpret_cast<const Bytef*>(input.data()),
                       static_cast<uLong>(input.size())),
              Z_OK);
    KuData* unpacked = KuData::dataWithBytes(packed.data(), static_cast<int>(size))->gzipInflate();
    ASSERT_NE(unpacked, nullptr);
    EXPECT_EQ(bytesOf(unpacked), input);
}

TEST_F(DataTest, GzipGivesNullForEmptyAndDamagedInput) {
    KuData* empty = KuAutorelease(new KuData);
    EXPECT_EQ(empty->gzipDeflate(), nullptr);
    EXPECT_EQ(empty->gzipInflate(), nullptr);

    std::string input = randomBytes(3000, 2) + std::string(3000, 'a');
    KuData* good = KuData::dataWithBytes(input.data(), static_cast<int>(input.size()))->gzipDeflate();
    ASSERT_NE(good, nullptr);
    std::string packed = bytesOf(good);

    struct Row {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"truncated", packed.substr(0, packed.size() / 2)},
        {"header only", packed.substr(0, 10)},
        {"trailer cut", packed.substr(0, packed.size() - 4)},
        {"payload flipped",
         [&] {
             std::string s = packed;
             s[s.size() / 2] ^= 0x55;
             return s;
         }()},
        {"checksum flipped",
         [&] {
             std::string s = packed;
             s[s.size() - 6] ^= 0x01;
             return s;
         }()},
        {"not compressed", "plain text, no header at all"},
        {"random", randomBytes(500, 4)},
    };
    for (const Row& row : rows) {
        KuData* damaged = KuData::dataWithBytes(row.bytes.data(), static_cast<int>(row.bytes.size()));
        EXPECT_EQ(damaged->gzipInflate(), nullptr) << row.name;
    }
}

}  // namespace
