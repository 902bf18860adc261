// The binary form: exact bytes, round trips, and damaged data failing cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../fuzz/json_targets.h"
#include "json_test_util.h"

using jsontest::describe;
using jsontest::JsonTest;

namespace {

KuString* S(const char* text) {
    return KuString::stringWithString(text);
}

std::vector<uint8_t> bytesOf(KuData* data) {
    return data ? std::vector<uint8_t>(data->bytes, data->bytes + data->length) : std::vector<uint8_t>();
}

KuObject* readBinary(const std::vector<uint8_t>& bytes, KuDictionary* symbols = nullptr) {
    return quickParseKuBJsonWithSymbolDict(KuData::dataWithBytes(bytes.data(), (int)bytes.size()), symbols);
}

std::string binaryError() {
    return KuBJsonError() ? KuBJsonError()->c_str() : "";
}

void putU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; i++)
        b.push_back((uint8_t)(v >> (8 * i)));
}

void patchU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++)
        b[at + i] = (uint8_t)(v >> (8 * i));
}

class JsonBinaryTest : public JsonTest {};

TEST_F(JsonBinaryTest, WritesTheTableLayoutByteForByte) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(S("b"), S("x"));
    d->addKeyInt(S("a"), 5);
    const std::vector<uint8_t> expected = {
        1,   2,   3,   4,   1,   0, 0,   0, 36, 0, 0, 0,               // marker, version, string table at 36
        2,   2,   0,   0,   0,                                         // dictionary of two entries
        0,   0,   0,   0,   5,   1, 0,   0, 0,                         // key 0 "a": integer, text 1 "5"
        2,   0,   0,   0,   4,   3, 0,   0, 0,                         // key 2 "b": string 3 "x"
        2,                                                             // end of dictionary
        7,                                                             // string table
        59,  0,   0,   0,   57,  0, 0,   0, 61, 0, 0, 0, 63, 0, 0, 0,  // offsets in index order
        255, 255, 255, 255,                                            // end of offsets
        '5', 0,   'a', 0,   'b', 0, 'x', 0,                            // texts in byte order
    };
    EXPECT_EQ(bytesOf(KuJson::emitBJson(d, 500000)), expected);
    EXPECT_EQ(bytesOf(KuJson::emitBJson(d, 1)), expected);  // a tiny start buffer grows
    EXPECT_EQ(describe(readBinary(expected)), "{a:5,b:\"x\"}");
    EXPECT_EQ(KuJson::emitBJson(nullptr, 100), nullptr);
}

TEST_F(JsonBinaryTest, RoundTripsEveryValueKind) {
    jsontest::Parsed text = jsontest::parseText("name: \"lamp \\\"post\\\"\\n\"\npos: (12.25,-3)\nhot: "
                                                "((-10,0),(10,80.5))\nn: NULL\nbig: -2000000000\n"
                                                "f: 0.1\ng: 1e7x\nh: 16777216.0\nlist: [1, \"1\", [], {}, "
                                                "[[2]], (1,2), NULL, -0.5]\nsub: {a: {b: {c: 1}}}\n"
                                                "empty: \"\"\nk: YES");
    ASSERT_NE(text.root, nullptr) << text.error;
    KuData* data = KuJson::emitBJson(static_cast<KuDictionary*>(text.root), 500000);
    ASSERT_NE(data, nullptr);
    KuObject* back = quickParseKuBJsonWithSymbolDict(data, nullptr);
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(text.root, back, &why)) << why;
    EXPECT_EQ(describe(back), text.tree);
    // Texts shared between keys and values are stored once.
    KuDictionary* twice = KuDictionary::dictionary();
    twice->addKeyString(S("same"), S("same"));
    EXPECT_EQ(bytesOf(KuJson::emitBJson(twice, 100)).size(), 12u + 1 + 4 + 4 + 5 + 1 + 1 + 4 + 4 + 5);
}

TEST_F(JsonBinaryTest, SubstitutesSymbolsInNumberTexts) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(S("n"), S("SEVEN"));
    std::vector<uint8_t> bytes = bytesOf(KuJson::emitBJson(d, 100));
    ASSERT_EQ(bytes[21], 4);
    bytes[21] = 5;  // the string entry becomes an integer entry with the same text
    KuDictionary* symbols = KuDictionary::dictionary();
    symbols->addKeyInt(S("SEVEN"), 7);
    EXPECT_EQ(describe(readBinary(bytes, symbols)), "{n:7}");
    EXPECT_EQ(describe(readBinary(bytes)), "{n:0}");
}

TEST_F(JsonBinaryTest, LeavesOutValuesItCannotWrite) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyObject(S("a"), KuData::dataWithBytes("z", 1));
    d->addKeyInt(S("b"), 1);
    KuArray<KuObject*>* list = KuArray<KuObject*>::array();
    list->addObject(KuData::dataWithBytes("z", 1));
    list->addObject(S("kept"));
    d->addKeyObject(S("c"), list);
    EXPECT_EQ(describe(readBinary(bytesOf(KuJson::emitBJson(d, 100)))), "{b:1,c:[\"kept\"]}");
    EXPECT_TRUE(warnings.contains("Error trying to emit KuData in a KuDictionary!"));
}

TEST_F(JsonBinaryTest, RejectsDamagedData) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(S("b"), S("x"));
    d->addKeyInt(S("a"), 5);
    const std::vector<uint8_t> good = bytesOf(KuJson::emitBJson(d, 100));
    KuDictionary* withArray = KuDictionary::dictionary();
    KuArray<KuObject*>* one = KuArray<KuObject*>::array();
    one->addObject(_KuNewNumber(1));
    withArray->addKeyObject(S("a"), one);
    const std::vector<uint8_t> array = bytesOf(KuJson::emitBJson(withArray, 100));
    ASSERT_EQ(array[31], 3);

    struct Damage {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    auto patched = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
        b[at] = v;
        return b;
    };
    auto patched32 = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
        patchU32(b, at, v);
        return b;
    };
    const Damage cases[] = {
        {"first marker byte", patched(good, 0, 9), "bad marker: 9,2,3,4"},
        {"only the marker", {1, 2, 3, 4}, "Unexpected end of data"},
        {"table offset past the end", patched32(good, 8, 1000), "Missing string table"},
        {"table without its byte 7", patched(good, 36, 6), "Missing string table"},
        {"unknown value marker", patched(good, 12, 8), "Illegal marker: 8"},
        {"root string outside the table", patched32(patched(good, 12, 4), 13, 99), "Illegal root value"},
        {"root that is not a container", patched32(patched(good, 12, 5), 13, 0), "Illegal root value"},
        {"dictionary end marker", patched(good, 35, 3), "Illegal dict end marker"},
        {"array end marker", patched(array, 31, 2), "Illegal array end marker"},
        {"string offset", patched32(good, 37, 5000), "Illegal string offset: 5000"},
        {"string without NUL", std::vector<uint8_t>(good.begin(), good.end() - 1),
         "Illegal string offset: 63"},
        {"huge count", patched32(good, 13, 0x7FFFFFFF), "Unexpected end of data"},
        {"table cut short", std::vector<uint8_t>(good.begin(), good.begin() + 50),
         "Illegal string offset: 59"},
        {"offsets cut short", std::vector<uint8_t>(good.begin(), good.begin() + 39),
         "Unexpected end of data"},
    };
    for (const Damage& c : cases) {
        EXPECT_EQ(readBinary(c.bytes), nullptr) << c.what;
        EXPECT_EQ(binaryError(), c.error) << c.what;
    }
    // A successful read clears the error.
    EXPECT_NE(readBinary(good), nullptr);
    EXPECT_EQ(KuBJsonError(), nullptr);
    EXPECT_EQ(quickParseKuBJsonWithSymbolDict(nullptr, nullptr), nullptr);

    // Indexes outside the table drop the entry rather than fail.
    EXPECT_EQ(describe(readBinary(patched32(good, 17, 99))), "{b:\"x\"}");
    EXPECT_EQ(describe(readBinary(patched32(good, 31, 99))), "{a:5}");
}

TEST_F(JsonBinaryTest, LimitsNesting) {
    auto nested = [](int levels) {
        std::vector<uint8_t> b = {1, 2, 3, 4, 1, 0, 0, 0, 0, 0, 0, 0, 2};
        putU32(b, 1);
        putU32(b, 0);  // key "k"
        for (int i = 0; i < levels; i++) {
            b.push_back(3);
            putU32(b, 1);
        }
        b.push_back(1);
        for (int i = 0; i < levels; i++)
            b.push_back(3);
        b.push_back(2);
        patchU32(b, 8, (uint32_t)b.size());
        b.push_back(7);
        putU32(b, (uint32_t)b.size() + 8);
        putU32(b, 0xFFFFFFFF);
        b.push_back('k');
        b.push_back(0);
        return b;
    };
    KuObject* fine = readBinary(nested(KuJson::kMaxDepth - 1));
    ASSERT_NE(fine, nullptr) << binaryError();
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(
        fine, readBinary(bytesOf(KuJson::emitBJson(static_cast<KuDictionary*>(fine), 10))), &why))
        << why;
    EXPECT_EQ(readBinary(nested(KuJson::kMaxDepth)), nullptr);
    EXPECT_EQ(binaryError(), "Nesting too deep");
    EXPECT_EQ(readBinary(nested(100000)), nullptr);
    EXPECT_EQ(binaryError(), "Nesting too deep");
}

}  // namespace
