// The dialect's writer: exact layout, float and key texts that read back, and the one-line JSON text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "../../fuzz/json_targets.h"
#include "json_test_util.h"

using jsontest::describe;
using jsontest::JsonTest;
using jsontest::parseText;

namespace {

KuString* S(const char* text) {
    return KuString::stringWithString(text);
}

std::string written(KuDictionary* d) {
    KuMutableString* text = KuJson::stringFromDict(d);
    return text ? text->c_str() : "(null)";
}

KuArray<KuObject*>* arrayOf(std::initializer_list<KuObject*> items) {
    KuArray<KuObject*>* a = KuArray<KuObject*>::array();
    for (KuObject* o : items)
        a->addObject(o);
    return a;
}

class JsonWriterTest : public JsonTest {};

TEST_F(JsonWriterTest, WritesTheRoomExampleLayout) {
    KuDictionary* rope = KuDictionary::dictionary();
    rope->addKeyString(S("name"), S("rope"));
    rope->addKeyPoint(S("pos"), KuPoint{120, 40});
    KuDictionary* room = KuDictionary::dictionary();
    room->addKeyString(S("name"), S("Dock"));
    room->addKeyInt(S("scale"), 3);
    room->addKeyObject(S("objects"), arrayOf({rope}));
    EXPECT_EQ(written(room), "name: \"Dock\"\n"
                             "scale: 3\n"
                             "objects: [\n"
                             "    {\n"
                             "        name: \"rope\"\n"
                             "        pos: (120,40)\n"
                             "    }\n"
                             "]\n");
}

TEST_F(JsonWriterTest, WritesSimpleValuesFirstThenContainersEachInKeyOrder) {
    KuDictionary* inner = KuDictionary::dictionary();
    inner->addKeyString(S("x"), S("deep"));
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyInt(S("z"), 1);
    d->addKeyObject(S("y"), inner);
    d->addKeyObject(S("w"), arrayOf({}));
    KuDictionary* k = KuDictionary::dictionary();
    k->addKeyInt(S("k"), 1);

    KuDictionary* root = KuDictionary::dictionary();
    root->addKeyString(S("s"), S("a\"b\\c\nd\re\tf"));
    root->addKeyInt(S("i"), -12);
    root->addKeyFloat(S("f"), 2.5f);
    root->addKeyObject(S("n"), KuNullObject::null());
    root->addKeyPoint(S("p"), KuPoint{1.5f, -2});
    root->addKeyRect(S("r"), KuRect{{0, 0}, {10, 20}});
    root->addKeyObject(S("e"), KuDictionary::dictionary());
    root->addKeyObject(S("a"), arrayOf({}));
    root->addKeyObject(S("m"), arrayOf({_KuNewNumber(1), S("x"), arrayOf({_KuNewNumber(2)}), k,
                                        KuPointObject::pointWithPoint(KuPoint{3, 4})}));
    root->addKeyObject(S("d"), d);
    EXPECT_EQ(written(root), "f: 2.5\n"
                             "i: -12\n"
                             "s: \"a\\\"b\\\\c\\nd\\re\tf\"\n"
                             "a: [\n"
                             "]\n"
                             "d: {\n"
                             "    z: 1\n"
                             "    w: [\n"
                             "    ]\n"
                             "    y: {\n"
                             "        x: \"deep\"\n"
                             "    }\n"
                             "}\n"
                             "e: {\n"
                             "}\n"
                             "m: [\n"
                             "    1\n"
                             "    \"x\"\n"
                             "    [\n"
                             "        2\n"
                             "    ]\n"
                             "    {\n"
                             "        k: 1\n"
                             "    }\n"
                             "    (3,4)\n"
                             "]\n"
                             "n: NULL\n"
                             "p: (1.5,-2)\n"
                             "r: ((0,0),(10,20))\n");
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(root, parseText(written(root)).root, &why)) << why;
}

TEST_F(JsonWriterTest, WritesFloatsSoThatTheyReadBackAsNumbers) {
    struct FloatCase {
        float value;
        const char* text;
    };
    const FloatCase cases[] = {
        {0.5f, "0.5"},
        {1.23456789f, "1.23457"},
        {-1000.0f, "-1000"},
        {123456.0f, "123456"},
        {0.0001f, "0.0001"},
        {1e7f, "10000000.0"},       // "%g" would give 1e+07
        {1234567.0f, "1234570.0"},  // six significant digits, as everywhere else
        {-3.4e38f, "-340000000000000000000000000000000000000.0"},
        {999999.5f, "1000000.0"},  // rounds up into the exponent range
        {1e-5f, "0.00001"},
        {-2.5e-7f, "-0.00000025"},
        {1.17549435e-38f, "0.0000000000000000000000000000000000000117549"},
        {INFINITY, "1000000000000000000000000000000000000000.0"},
        {-INFINITY, "-1000000000000000000000000000000000000000.0"},
    };
    for (const FloatCase& c : cases) {
        char text[KuJson::kFloatTextSize];
        KuJson::floatText(c.value, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.value;

        KuDictionary* d = KuDictionary::dictionary();
        d->addKeyObject(S("v"), new KuNumber(c.value), true);
        EXPECT_EQ(written(d), "v: " + std::string(c.text) + "\n");
        auto* back = static_cast<KuDictionary*>(parseText(written(d)).root);
        ASSERT_NE(back, nullptr);
        KuObject* v = back->objectForKey("v");
        ASSERT_TRUE(v && v->kindCode() == kKuTypeNumber) << c.text;
        if (std::isinf(c.value))
            EXPECT_EQ(v->floatValue(), c.value);
        else
            EXPECT_EQ(jsontest::g(v->floatValue()), jsontest::g(c.value)) << c.text;
    }
    char tooSmall[8];
    EXPECT_EQ(KuJson::floatText(1.0f, tooSmall, sizeof tooSmall), -1);
}

TEST_F(JsonWriterTest, FloatTextMatchesTheCLibraryWhereItTakesNoExponent) {
    std::mt19937 random(20240611);
    int plain = 0, spelled = 0;
    for (int i = 0; i < 300000; i++) {
        uint32_t bits = random();
        if (i % 3 == 0) bits = (bits & 0x807FFFFF) | ((uint32_t)(100 + random() % 60) << 23);  // around 1
        float f;
        memcpy(&f, &bits, sizeof f);
        if (std::isnan(f)) continue;
        char ours[KuJson::kFloatTextSize], theirs[64];
        int n = KuJson::floatText(f, ours, sizeof ours);
        snprintf(theirs, sizeof theirs, "%g", (double)f);
        ASSERT_EQ(n, (int)strlen(ours));
        if (!strchr(theirs, 'e')) {
            ASSERT_STREQ(ours, theirs) << "bits " << bits;
            plain++;
        } else {
            ASSERT_EQ(strchr(ours, 'e'), nullptr) << ours;
            if (std::isinf(f)) continue;
            char again[64];
            snprintf(again, sizeof again, "%g", (double)(float)atof(ours));
            ASSERT_STREQ(again, theirs) << "bits " << bits << " written " << ours;
            spelled++;
        }
    }
    EXPECT_GT(plain, 50000);
    EXPECT_GT(spelled, 50000);
}

TEST_F(JsonWriterTest, QuotesKeysThatAreNotPlainWords) {
    struct KeyCase {
        const char* key;
        const char* text;
    };
    const KeyCase cases[] = {
        {"plain", "plain"},
        {"a;b", "a;b"},
        {"a/b", "a/b"},
        {"/c", "/c"},
        {"x-1.5", "x-1.5"},
        {"\xC3\xBC"
         "ber",
         "\xC3\xBC"
         "ber"},
        {"a b", "\"a b\""},
        {"a:b", "\"a:b\""},
        {"a=b", "\"a=b\""},
        {"a,b", "\"a,b\""},
        {"a\"b", "\"a\\\"b\""},
        {"it's", "\"it's\""},
        {"[x", "\"[x\""},
        {"x]", "\"x]\""},
        {"{", "\"{\""},
        {"}", "\"}\""},
        {"(1)", "\"(1)\""},
        {"", "\"\""},
        {";c", "\";c\""},
        {"//c", "\"//c\""},
        {"tab\there", "\"tab\there\""},
        {"line\nbreak", "\"line\\nbreak\""},
        {"back\\slash", "back\\slash"},
        {"\xEF\xBB\xBF"
         "bom",
         "\"\xEF\xBB\xBF"
         "bom\""},
    };
    KuDictionary* all = KuDictionary::dictionary();
    for (const KeyCase& c : cases) {
        KuDictionary* d = KuDictionary::dictionary();
        d->addKeyInt(S(c.key), 1);
        all->addKeyInt(S(c.key), 1);
        EXPECT_EQ(written(d), std::string(c.text) + ": 1\n") << "key: " << c.key;
        EXPECT_EQ(parseText(written(d)).tree, "{" + std::string(c.key) + ":1}") << "key: " << c.key;
    }
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(all, parseText(written(all)).root, &why)) << why;
}

TEST_F(JsonWriterTest, WrittenDocumentsReadBackAndWriteAgainUnchanged) {
    KuDictionary* object = KuDictionary::dictionary();
    object->addKeyString(S("name"), S("lamp post"));
    object->addKeyPoint(S("pos"), KuPoint{12.25f, -3});
    object->addKeyRect(S("hotspot"), KuRect{{-10, 0}, {10, 80.5f}});
    object->addKeyInt(S("usedir"), 8);
    object->addKeyFloat(S("scale"), 1e7f);
    object->addKeyFloat(S("tiny"), 3e-6f);
    object->addKeyFloat(S("odd"), 0.1f);
    object->addKeyString(S("note"), S("say \"hi\"\\n\nnext 'line'\r+"));
    object->addKeyString(S("empty"), S(""));
    object->addKeyString(S("yes"), S("YES"));
    object->addKeyString(S("num"), S("12"));
    object->addKeyObject(S("nothing"), KuNullObject::null());
    KuDictionary* room = KuDictionary::dictionary();
    room->addKeyObject(S("objects"), arrayOf({object, object}));
    room->addKeyObject(S("layers"), arrayOf({arrayOf({}), S("]"), S("}"), S("[")}));
    room->addKeyInt(S("Version"), 2);

    std::string first = written(room);
    jsontest::Parsed back = parseText(first);
    ASSERT_NE(back.root, nullptr) << back.error;
    std::string why;
    EXPECT_TRUE(kujson_fuzz::treesEqual(room, back.root, &why)) << why;
    EXPECT_EQ(written(static_cast<KuDictionary*>(back.root)), first);
}

TEST_F(JsonWriterTest, WritesOtherObjectsAsErrorAndKeepsTheRestReadable) {
    KuDictionary* inner = KuDictionary::dictionary();
    inner->addKeyInt(S("x"), 1);
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyObject(S("a"), KuData::dataWithBytes("z", 1));
    d->addKeyInt(S("b"), 1);
    d->addKeyObject(S("c"), inner);
    EXPECT_EQ(written(d), "b: 1\na: ERROR\nc: {\n    x: 1\n}\n");
    EXPECT_TRUE(warnings.contains("Error trying to emit KuData in a KuDictionary!"));
    EXPECT_EQ(parseText(written(d)).tree, "{a:\"ERROR\",b:1,c:{x:1}}");

    EXPECT_EQ(KuJson::stringFromDict(nullptr), nullptr);
    EXPECT_EQ(KuJson::stringFromDict(reinterpret_cast<KuDictionary*>(arrayOf({}))), nullptr);
    EXPECT_EQ(written(KuDictionary::dictionary()), "");
}

TEST_F(JsonWriterTest, StopsWritingAtTheDepthTheReaderAccepts) {
    KuArray<KuObject*>* deepest = arrayOf({S("bottom")});
    for (int i = 0; i < KuJson::kMaxDepth + 5; i++)
        deepest = arrayOf({deepest});
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyObject(S("deep"), deepest);
    std::string text = written(d);
    EXPECT_FALSE(warnings.lines.empty());
    jsontest::Parsed back = parseText(text);
    EXPECT_NE(back.root, nullptr) << back.error;
    EXPECT_EQ(text.find("bottom"), std::string::npos);
}

TEST_F(JsonWriterTest, WritesFlatDictionariesAsOneLineOfJson) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyString(S("a"), S("x"));
    d->addKeyInt(S("b"), 2);
    d->addKeyFloat(S("c"), 1.5f);
    d->addKeyPoint(S("d"), KuPoint{1, 2});
    d->addKeyInt(S("e"), -7);
    KuMutableString* text = KuJson::jsonStringFromDict(d);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->c_str(), "{ \"a\": \"x\", \"b\": 2, \"c\": 1.5, , \"e\": -7 }");
    EXPECT_TRUE(warnings.contains("bad value when exporting with jsonStringFromDict()"));
    EXPECT_STREQ(KuJson::jsonStringFromDict(KuDictionary::dictionary())->c_str(), "{  }");
    EXPECT_EQ(KuJson::jsonStringFromDict(nullptr), nullptr);
}

}  // namespace
