// KuString and KuMutableString: key strings, factories, queries, substrings, splitting,
// mutation, equality, the string cache and string sorting.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "KuArray.h"
#include "KuData.h"
#include "KuNumber.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

// Read during this file's dynamic initialisation: the keys must already be complete then,
// whatever order the translation units are initialised in.
const std::string keyTextAtStartup = KUSTR_spriteSourceSize->c_str();
const int keyCountAtStartup = KUSTR_name->refCount;

class StringTest : public KuPoolTest {};

std::vector<std::string> texts(KuArray<KuString*>* array) {
    std::vector<std::string> out;
    if (!array) return out;
    for (KuString* s : *array)
        out.emplace_back(s->c_str());
    return out;
}

using Texts = std::vector<std::string>;

KuString* str(const char* text) {
    return KuString::stringWithString(text);
}
KuString* noBuffer() {
    return KuString::stringWithString(static_cast<const char*>(nullptr));
}

// >>keys

TEST_F(StringTest, KeyStringsAreImmortalAndHoldTheirNames) {
    struct Key {
        KuString* string;
        const char* text;
    };
#define KEY_ROW(k) {KUSTR_##k, #k},
    const Key keys[] = {KU_KEY_STRINGS(KEY_ROW){KUSTR_EMPTY, ""}};
#undef KEY_ROW
    EXPECT_EQ(sizeof keys / sizeof keys[0], 77u);  // 76 named keys and the empty string
    for (const Key& k : keys) {
        ASSERT_NE(k.string, nullptr) << k.text;
        EXPECT_STREQ(k.string->c_str(), k.text);
        EXPECT_EQ(k.string->length, static_cast<int>(strlen(k.text))) << k.text;
        EXPECT_EQ(k.string->refCount, kKuImmortal) << k.text;
        EXPECT_EQ(k.string->kindCode(), kKuTypeString) << k.text;
        KuRetain(k.string);
        KuRelease(k.string);
        KuRelease(k.string);
        EXPECT_EQ(k.string->refCount, kKuImmortal) << k.text;
    }
    EXPECT_EQ(keyTextAtStartup, "spriteSourceSize");
    EXPECT_EQ(keyCountAtStartup, kKuImmortal);
}

TEST_F(StringTest, ImmortalStringNeverFreesItsText) {
    static const char text[] = "static text";
    {
        KuString local(kKuImmortalTag, text, 11);
        EXPECT_EQ(local.refCount, kKuImmortal);
        KuRelease(&local);
        EXPECT_EQ(local.cstr, text);
        EXPECT_STREQ(local.c_str(), "static text");
    }  // the destructor runs here: freeing the static text would abort under AddressSanitizer
    EXPECT_STREQ(text, "static text");
}

// >>factories

TEST_F(StringTest, FactoriesCopyAndOwnAsDocumented) {
    const char* source = "abcdef";
    KuString* s = KuString::stringWithString(source);
    EXPECT_NE(s->cstr, source);
    EXPECT_EQ(s->refCount, 1);
    EXPECT_EQ(s->autoreleaseCount, 1);
    EXPECT_STREQ(s->typeStr(), "KuString");
    EXPECT_EQ(s->typeCode, kKuTypeString);

    KuString* owned = KuString::newWithString("x");
    EXPECT_EQ(owned->autoreleaseCount, 0);
    KuRelease(owned);

    KuMutableString* m = KuMutableString::stringWithString(s);
    EXPECT_STREQ(m->typeStr(), "KuMutableString");
    EXPECT_EQ(m->typeCode, kKuTypeString);
    EXPECT_STREQ(m->c_str(), "abcdef");

    KuString* none = noBuffer();
    EXPECT_EQ(none->cstr, nullptr);
    EXPECT_EQ(none->length, 0);
    EXPECT_STREQ(none->c_str(), "");
    EXPECT_EQ(KuString::stringWithString(static_cast<const KuString*>(nullptr))->cstr, nullptr);
    EXPECT_EQ(KuString::stringWithString(none)->cstr, nullptr);
    EXPECT_STREQ(KuMutableString::stringWithString(static_cast<const char*>(nullptr))->c_str(), "");
}

TEST_F(StringTest, StringWithStringAndLength) {
    struct {
        int n;
        const char* expected;
    } rows[] = {{3, "abc"},     {1, "a"},      {6, "abcdef"},  {0, "abcdef"},
                {-1, "abcdef"}, {7, "abcdef"}, {100, "abcdef"}};
    for (auto& r : rows)
        EXPECT_STREQ(KuString::stringWithStringAndLength("abcdef", r.n)->c_str(), r.expected) << r.n;
    EXPECT_EQ(KuString::stringWithStringAndLength(nullptr, 3)->cstr, nullptr);

    // The constructor clamps n to the text.
    KuString clamped("abc", 10);
    EXPECT_EQ(clamped.length, 3);
    KuString negative("abc", -4);
    EXPECT_EQ(negative.length, 0);
    EXPECT_STREQ(negative.c_str(), "");
}

TEST_F(StringTest, StringFromDataStopsAtFirstNul) {
    const char bytes[] = {'a', 'b', 0, 'c'};
    EXPECT_STREQ(KuString::stringWithData(KuData::dataWithBytes(bytes, 4))->c_str(), "ab");
    const char plain[] = {'x', 'y', 'z'};  // no terminator in the data
    KuString* s = KuString::stringWithData(KuData::dataWithBytes(plain, 3));
    EXPECT_STREQ(s->c_str(), "xyz");
    EXPECT_EQ(s->length, 3);
    KuString* empty = KuString::stringWithData(nullptr);
    ASSERT_NE(empty->cstr, nullptr);
    EXPECT_EQ(empty->length, 0);
}

TEST_F(StringTest, PadAndRandomIdentifierFactories) {
    EXPECT_STREQ(KuString::stringWithPadCharacter('-', 4)->c_str(), "----");
    EXPECT_STREQ(KuString::stringWithPadCharacter('-', 0)->c_str(), "");
    EXPECT_STREQ(KuString::stringWithPadCharacter('-', -3)->c_str(), "");
    EXPECT_STREQ(KuString::stringWithPadCharacter('-', 2)->typeStr(), "KuString");
}

// >>queries

TEST_F(StringTest, Equality) {
    KuString* abc = str("abc");
    struct {
        const KuString* a;
        const KuString* b;
        bool equal;
    } rows[] = {
        {nullptr, nullptr, true},    {nullptr, str(""), false},      {str(""), nullptr, false},
        {abc, str("abc"), true},     {abc, str("abd"), false},       {abc, str("ab"), false},
        {noBuffer(), str(""), true}, {noBuffer(), noBuffer(), true}, {KUSTR_name, str("name"), true},
    };
    for (auto& r : rows)
        EXPECT_EQ(KuStreq(r.a, r.b), r.equal)
            << (r.a ? r.a->c_str() : "(null)") << " vs " << (r.b ? r.b->c_str() : "(null)");
    EXPECT_TRUE(KuStreq(static_cast<KuString*>(nullptr), static_cast<const char*>(nullptr)));
    EXPECT_FALSE(KuStreq(abc, static_cast<const char*>(nullptr)));
    EXPECT_FALSE(KuStreq(static_cast<const char*>(nullptr), abc));
    EXPECT_TRUE(KuStreq("abc", abc));
    EXPECT_FALSE(KuStreq(abc, "abcd"));
    EXPECT_TRUE(KuStreq(noBuffer(), ""));
}

TEST_F(StringTest, ValueConversions) {
    struct {
        const char* text;
        int i;
        unsigned u;
        float f;
    } rows[] = {{"42", 42, 42, 42}, {"-7", -7, 4294967289u, -7}, {"3.75", 3, 3, 3.75f},
                {"abc", 0, 0, 0},   {"  12x", 12, 12, 12},       {"", 0, 0, 0},
                {"1e3", 1, 1, 1000}};
    for (auto& r : rows) {
        KuString* s = str(r.text);
        EXPECT_EQ(s->intValue(), r.i) << r.text;
        EXPECT_EQ(s->unsignedIntValue(), r.u) << r.text;
        EXPECT_FLOAT_EQ(s->floatValue(), r.f) << r.text;
    }
    EXPECT_EQ(noBuffer()->intValue(), 0);

    KuPoint fallback{-1, -1};
    struct {
        const char* text;
        KuPoint expected;
    } points[] = {{"(1.5,2)", {1.5f, 2}}, {"{3,-4}", {3, -4}}, {"(1,2", {1, 2}},   {"{7}", fallback},
                  {"[1,2]", fallback},    {"", fallback},      {"(x,1)", fallback}};
    for (auto& p : points)
        EXPECT_EQ(str(p.text)->pointValue(fallback), p.expected) << p.text;

    EXPECT_EQ(KuIntValue(str("17"), 3), 17);
    EXPECT_EQ(KuIntValue(static_cast<const KuString*>(nullptr), 3), 3);
    EXPECT_EQ(KuIntValue(static_cast<const KuObject*>(str("9")), 3), 9);
    EXPECT_EQ(KuIntValue(static_cast<const KuObject*>(kKuNullObject), 3), 3);
    EXPECT_FLOAT_EQ(KuFloatValue(str("2.5"), 1), 2.5f);
    EXPECT_FLOAT_EQ(KuFloatValue(kKuNullObject, 1), 1);
    EXPECT_FLOAT_EQ(KuFloatValue(nullptr, 1), 1);
}

TEST_F(StringTest, NumberValue) {
    struct {
        const char* text;
        bool isNumber;
        bool isInt;
        double value;
    } rows[] = {
        {"-12", true, true, -12},
        {"3.5", true, false, 3.5},
        {"1e5", false, false, 0},
        {"1.2.3", false, false, 0},
        {"", false, false, 0},
        {"-", true, true, 0},
        {"007", true, true, 7},
        {"12-3", false, false, 0},
        {".5", true, false, 0.5},
        {"-0.25", true, false, -0.25},
        {"1000", true, true, 1000},
        {" 1", false, false, 0},
        {"9999999999", true, true, 1410065407},
        {"\xC3\xA9", false, false, 0},
        {"--1", false, false, 0},
    };
    for (auto& r : rows) {
        KuNumber* n = str(r.text)->numberValue();
        if (!r.isNumber) {
            EXPECT_EQ(n, nullptr) << r.text;
            continue;
        }
        ASSERT_NE(n, nullptr) << r.text;
        EXPECT_EQ(n->isInt(), r.isInt) << r.text;
        if (r.isInt) {
            EXPECT_EQ(n->intValue(), static_cast<int>(r.value)) << r.text;
        } else {
            EXPECT_FLOAT_EQ(n->floatValue(), static_cast<float>(r.value)) << r.text;
        }
    }
    EXPECT_EQ(noBuffer()->numberValue(), nullptr);
}

TEST_F(StringTest, FindStringAndCharacter) {
    KuString* s = str("Hello World");
    struct {
        const char* pattern;
        bool ci;
        int index;
    } rows[] = {{"World", false, 6}, {"world", false, -1}, {"world", true, 6},
                {"", false, 0},      {"HELLO", true, 0},   {"Worlds", true, -1},
                {"o", false, 4},     {"d", true, 10},      {nullptr, false, -1}};
    for (auto& r : rows)
        EXPECT_EQ(s->findString(r.pattern, r.ci), r.index)
            << (r.pattern ? r.pattern : "(null)") << " ci " << r.ci;
    EXPECT_EQ(s->findCharacter('o'), 4);
    EXPECT_EQ(s->findCharacter('z'), -1);
    EXPECT_EQ(s->findCharacter(0), 11);
    EXPECT_EQ(noBuffer()->findString(""), 0);
    EXPECT_EQ(noBuffer()->findString("a"), -1);
    EXPECT_EQ(KuStrstr(s, "World") - s->c_str(), 6);
    EXPECT_EQ(KuStrstr(nullptr, "x"), nullptr);
    EXPECT_EQ(KuStrstr(s, nullptr), nullptr);
    EXPECT_EQ(KuStrlen(s), 11);
    EXPECT_EQ(KuStrlen(nullptr), 0);
    char copy[32] = "unchanged";
    EXPECT_EQ(KuStrcpy(copy, nullptr), copy);
    EXPECT_STREQ(copy, "unchanged");
    EXPECT_STREQ(KuStrcpy(copy, s), "Hello World");
    EXPECT_EQ(KuStrcpy(nullptr, s), nullptr);
}

// >>substrings

TEST_F(StringTest, Substrings) {
    KuString* s = str("abcdef");
    struct {
        const char* label;
        KuString* got;
        const char* expected;
    } rows[] = {
        {"to 2", s->substringToIndex(2), "abc"},
        {"to -1", s->substringToIndex(-1), "abcde"},
        {"to -6", s->substringToIndex(-6), ""},
        {"to 0", s->substringToIndex(0), "a"},
        {"to 99", s->substringToIndex(99), "abcdef"},
        {"range 1..3", s->substringWithRange(1, 3), "bcd"},
        {"range -2..1", s->substringWithRange(-2, 1), "ab"},
        {"range 2..-1", s->substringWithRange(2, -1), "cde"},
        {"range 3..1", s->substringWithRange(3, 1), ""},
        {"range 4..99", s->substringWithRange(4, 99), "ef"},
        {"range 6..9", s->substringWithRange(6, 9), ""},
        {"from 6", s->substringFromIndex(6), ""},
        {"from 4", s->substringFromIndex(4), "ef"},
        {"from -3", s->substringFromIndex(-3), "abcdef"},
        {"from 0 of empty", str("")->substringFromIndex(0), ""},
        {"to 3 of null buffer", noBuffer()->substringToIndex(3), ""},
        {"range of null buffer", noBuffer()->substringWithRange(0, 3), ""},
        {"trim default", str(" \t a b \r\n")->stringByTrimmingWhiteSpace(), "a b"},
        {"trim set", str("xxhixx")->stringByTrimmingWhiteSpace("x"), "hi"},
        {"trim all", str(" \n ")->stringByTrimmingWhiteSpace(), ""},
        {"trim null buffer", noBuffer()->stringByTrimmingWhiteSpace(), ""},
    };
    for (auto& r : rows) {
        ASSERT_NE(r.got, nullptr) << r.label;
        EXPECT_STREQ(r.got->c_str(), r.expected) << r.label;
        EXPECT_EQ(r.got->length, static_cast<int>(strlen(r.expected))) << r.label;
        if (!*r.expected) {
            EXPECT_EQ(r.got, KUSTR_EMPTY) << r.label;  // empty results are shared
        }
    }
}

TEST_F(StringTest, AppendingMakesAMutableCopy) {
    KuString* s = str("ab");
    KuMutableString* joined = s->stringByAppendingString("cd");
    EXPECT_STREQ(joined->c_str(), "abcd");
    EXPECT_STREQ(s->c_str(), "ab");
    EXPECT_STREQ(s->stringByAppendingString(KUSTR_x)->c_str(), "abx");
    EXPECT_STREQ(s->stringByAppendingString(static_cast<const char*>(nullptr))->c_str(), "ab");
    EXPECT_STREQ(noBuffer()->stringByAppendingString("z")->c_str(), "z");
    EXPECT_STREQ(s->toString()->c_str(), "ab");
    EXPECT_NE(s->toString(), s);
    EXPECT_STREQ(s->dump(0)->c_str(), "\"ab\"");
}

// >>splitting

TEST_F(StringTest, Splitting) {
    struct {
        const char* label;
        KuArray<KuString*>* got;
        Texts expected;
    } rows[] = {
        {"split a,b,,c", str("a,b,,c")->arraySplitByCharacter(','), {"a", "b", "", "c"}},
        {"separated a,b,,c", str("a,b,,c")->arraySeparatedByCharacters(","), {"a", "b", "c"}},
        {"split ,a", str(",a")->arraySplitByCharacter(','), {"", "a"}},
        {"separated ,a", str(",a")->arraySeparatedByCharacter(','), {"", "a"}},
        {"split a,", str("a,")->arraySplitByCharacter(','), {"a", ""}},
        {"separated a,", str("a,")->arraySeparatedByCharacter(','), {"a"}},
        {"split empty", str("")->arraySplitByCharacter(','), {""}},
        {"separated empty", str("")->arraySeparatedByCharacters(","), {""}},
        {"separated only separators", str(",;,")->arraySeparatedByCharacters(",;"), {""}},
        {"split no separator", str("abc")->arraySplitByCharacter(','), {"abc"}},
        {"split ,", str(",")->arraySplitByCharacter(','), {"", ""}},
        {"white space", str("  a \t b\r\nc  ")->arraySeparatedByWhiteSpace(), {"", "a", "b", "c"}},
        {"set of two", str("a;b,c")->arraySeparatedByCharacters(",;"), {"a", "b", "c"}},
        {"null set", str("a,b")->arraySeparatedByCharacters(nullptr), {"a,b"}},
        {"lines", str("x\r\ny\n\nz\n")->arraySeparatedByNewlines(), {"x", "y", "", "z"}},
        {"lines CR", str("a\rb\r\rc")->arraySeparatedByNewlines(), {"a", "b", "", "c"}},
        {"lines LF CR", str("a\n\rb")->arraySeparatedByNewlines(), {"a", "", "b"}},
        {"lines only break", str("\n")->arraySeparatedByNewlines(), {""}},
        {"lines empty", str("")->arraySeparatedByNewlines(), {""}},
        {"lines none", str("one")->arraySeparatedByNewlines(), {"one"}},
        {"null buffer split", noBuffer()->arraySplitByCharacter(','), {}},
        {"null buffer separated", noBuffer()->arraySeparatedByWhiteSpace(), {}},
        {"null buffer lines", noBuffer()->arraySeparatedByNewlines(), {}},
    };
    for (auto& r : rows) {
        ASSERT_NE(r.got, nullptr) << r.label;
        EXPECT_EQ(texts(r.got), r.expected) << r.label;
        EXPECT_EQ(r.got->autoreleaseCount, 1) << r.label;
    }
}

TEST_F(StringTest, SplitElementsAreOwnedByTheArrayOnly) {
    KuArray<KuString*>* parts = str("ab,cd")->arraySplitByCharacter(',');
    ASSERT_EQ(parts->count(), 2);
    KuString* first = parts->objectAtIndex(0);
    EXPECT_EQ(first->refCount, 1);
    EXPECT_EQ(first->autoreleaseCount, 0);
}

TEST_F(StringTest, ValuesByScanf) {
    int a = 0, b = 0;
    EXPECT_EQ(str("12 34")->valuesByScanf("%d %d", &a, &b), 2);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    float x = 0;
    EXPECT_EQ(str("w=2.5")->valuesByScanf(str("w=%f"), &x), 1);
    EXPECT_FLOAT_EQ(x, 2.5f);
    EXPECT_EQ(str("abc")->valuesByScanf("%d", &a), 0);
    EXPECT_EQ(str("1")->valuesByScanf(static_cast<const char*>(nullptr)), 0);
}

// >>mutable

TEST_F(StringTest, MutableAppends) {
    KuMutableString* m = KuMutableString::string();
    m->appendChar('a');
    m->appendChar(0);
    m->appendString("bc");
    m->appendString(static_cast<const char*>(nullptr));
    m->appendString(KUSTR_x);
    m->appendString(static_cast<const KuString*>(nullptr));
    m->appendPadCharacter('.', 3);
    m->appendPadCharacter('.', 0);
    m->appendPadCharacter('.', -2);
    m->appendFormat("%d%@", 7, KUSTR_y);
    m->appendBytes("zz\0ignored", 10);
    EXPECT_STREQ(m->c_str(), "abcx...7yzz");
    EXPECT_EQ(m->length, 11);

    // Appending itself reads the old text even when the buffer moves.
    KuMutableString* self = KuMutableString::stringWithString("0123456789");
    for (int i = 0; i < 6; i++)
        self->appendString(self);
    EXPECT_EQ(self->length, 640);
    EXPECT_EQ(std::string(self->c_str() + 630), "0123456789");

    KuMutableString* grown = KuMutableString::string();
    for (int i = 0; i < 10000; i++)
        grown->appendChar('a' + i % 26);
    EXPECT_EQ(grown->length, 10000);
    EXPECT_EQ(grown->c_str()[9999], 'a' + 9999 % 26);
}

TEST_F(StringTest, MutationsClearTheHashWords) {
    KuMutableString* m = KuMutableString::stringWithString("key");
    m->computeHash64();
    m->hashCache32 = 99;
    EXPECT_NE(m->hashCache64, 0u);
    m->appendChar('s');
    EXPECT_EQ(m->hashCache64, 0u);
    EXPECT_EQ(m->hashCache32, 0u);
    m->computeHash64();
    m->trimLastChar();
    EXPECT_EQ(m->hashCache64, 0u);
    EXPECT_EQ(m->computeHash64(), KuString::stringWithString("key")->computeHash64());
}

TEST_F(StringTest, MutableWithoutBuffer) {
    auto dropBuffer = [](KuMutableString* m) {
        free(m->cstr);
        m->cstr = nullptr;
        m->length = 0;
    };
    KuMutableString* m = KuMutableString::string();
    dropBuffer(m);
    EXPECT_EQ(m->trimLastChar(), nullptr);
    EXPECT_EQ(m->replaceOccurrencesOfString("a", "b"), 0);
    EXPECT_FALSE(m->stripQuotes('"'));
    m->appendString("ok");
    EXPECT_STREQ(m->c_str(), "ok");

    KuMutableString* f = KuMutableString::string();
    dropBuffer(f);
    f->appendFormat("%s", "");
    ASSERT_NE(f->cstr, nullptr);  // replaced by "" even when nothing is appended
    EXPECT_EQ(f->length, 0);
}

TEST_F(StringTest, TrimLastChar) {
    KuMutableString* m = KuMutableString::stringWithString("ab");
    EXPECT_EQ(m->trimLastChar(), m);
    EXPECT_STREQ(m->c_str(), "a");
    m->trimLastChar();
    m->trimLastChar();
    EXPECT_STREQ(m->c_str(), "");
    EXPECT_EQ(m->length, 0);
}

TEST_F(StringTest, ReplaceOccurrences) {
    struct {
        const char* text;
        const char* find;
        const char* replacement;
        int count;
        const char* expected;
    } rows[] = {
        {"a-b-c", "-", "+", 2, "a+b+c"},
        {"aaa", "a", "aa", 3, "aaaaaa"},  // a replacement is never searched
                                          // again
        {"aaaa", "aa", "a", 2, "aa"},
        {"hello", "", "x", 0, "hello"},  // an empty search text changes
                                         // nothing
        {"hello", "z", "x", 0, "hello"},
        {"hello", "hello", "", 1, ""},
        {"abab", "ab", "ba", 2, "baba"},
        {"x", nullptr, "y", 0, "x"},
        {"x", "x", nullptr, 0, "x"},
        {"", "a", "b", 0, ""},
    };
    for (auto& r : rows) {
        KuMutableString* m = KuMutableString::stringWithString(r.text);
        EXPECT_EQ(m->replaceOccurrencesOfString(r.find, r.replacement), r.count) << r.text;
        EXPECT_STREQ(m->c_str(), r.expected) << r.text;
        EXPECT_EQ(m->length, static_cast<int>(strlen(r.expected))) << r.text;
    }
    // Arguments that point into the string itself.
    KuMutableString* m = KuMutableString::stringWithString("abcabc");
    EXPECT_EQ(m->replaceOccurrencesOfString(m->c_str() + 3, m->c_str()), 2);
    EXPECT_STREQ(m->c_str(), "abcabcabcabc");
}

TEST_F(StringTest, StripQuotes) {
    struct {
        const char* text;
        char q;
        bool stripped;
        const char* expected;
    } rows[] = {{"\"abc\"", '"', true, "abc"},  {"\"\"", '"', true, ""},        {"\"", '"', true, ""},
                {"\"abc", '"', false, "\"abc"}, {"abc\"", '"', false, "abc\""}, {"", '"', false, ""},
                {"'x'", '\'', true, "x"},       {"'x'", '"', false, "'x'"}};
    for (auto& r : rows) {
        KuMutableString* m = KuMutableString::stringWithString(r.text);
        EXPECT_EQ(m->stripQuotes(r.q), r.stripped) << r.text;
        EXPECT_STREQ(m->c_str(), r.expected) << r.text;
        EXPECT_EQ(m->length, static_cast<int>(strlen(r.expected))) << r.text;
    }
}

// >>cache

class StringCacheTest : public StringTest {
protected:
    void SetUp() override {
        StringTest::SetUp();
        destroyStringCacheMap();  // other tests (the JSON reader's) may have filled it
    }
    void TearDown() override {
        destroyStringCacheMap();
        StringTest::TearDown();
    }
};

TEST_F(StringCacheTest, SameTextGivesTheSameOwnedString) {
    KuString* a = cachedKuString("alpha");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(cachedKuString("alpha"), a);
    EXPECT_NE(cachedKuString("beta"), a);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(a->autoreleaseCount, 0);
    EXPECT_EQ(cachedKuString(nullptr), nullptr);
    EXPECT_EQ(cachedKuString(nullptr, 3), nullptr);

    // A slice of a longer buffer is looked up without a terminator.
    const char buffer[] = "alphabet";
    EXPECT_EQ(cachedKuString(buffer, 5), a);
    KuString* empty = cachedKuString(buffer, 0);
    EXPECT_STREQ(empty->c_str(), "");
    EXPECT_EQ(cachedKuString(""), empty);
    // Bytes after a NUL cannot be part of a text.
    const char withNul[] = {'a', 'l', 'p', 'h', 'a', 0, 'x'};
    EXPECT_EQ(cachedKuString(withNul, 7), a);
    EXPECT_EQ(KuStringCacheCount(), 3);
}

TEST_F(StringCacheTest, ManyStringsStayFindable) {
    std::vector<KuString*> made;
    for (int i = 0; i < 5000; i++)
        made.push_back(cachedKuString(KuFormat("key%d", i)));
    EXPECT_EQ(KuStringCacheCount(), 5000);
    for (int i = 0; i < 5000; i++) {
        KuString* again = cachedKuString(KuFormat("key%d", i));
        ASSERT_EQ(again, made[i]) << i;
        ASSERT_STREQ(again->c_str(), KuFormat("key%d", i));
    }
    dumpKuStringCache(true);
}

TEST_F(StringCacheTest, ReleaseEmptiesAndRetainedStringsSurvive) {
    KuString* kept = cachedKuString("kept");
    KuRetain(kept);
    releaseKuStringCache(nullptr);
    EXPECT_EQ(KuStringCacheCount(), 0);
    EXPECT_EQ(kept->refCount, 1);
    EXPECT_STREQ(kept->c_str(), "kept");
    KuString* fresh = cachedKuString("kept");
    EXPECT_NE(fresh, kept);
    EXPECT_TRUE(KuStreq(fresh, kept));
    KuRelease(kept);

    destroyStringCacheMap();
    EXPECT_EQ(KuStringCacheCount(), 0);
    initStringCacheMap();
    EXPECT_EQ(KuStringCacheCount(), 0);
    EXPECT_NE(cachedKuString("again"), nullptr);
}

TEST_F(StringCacheTest, EachThreadHasItsOwnCache) {
    KuString* mine = cachedKuString("shared text");
    KuString* theirs = nullptr;
    int theirCount = -1;
    std::thread worker([&] {
        theirs = cachedKuString("shared text");
        theirCount = KuStringCacheCount();
        // The thread ends without destroying its cache: its strings are given back all the same.
    });
    worker.join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(theirCount, 1);
    EXPECT_EQ(KuStringCacheCount(), 1);
}

// >>sorting

TEST_F(StringTest, SortStringArray) {
    auto make = [](std::initializer_list<const char*> items) {
        auto* array = KuArray<KuString*>::array();
        for (const char* t : items)
            array->addObject(KuString::stringWithString(t));
        return array;
    };
    auto* abc = make({"b", "a", "c"});
    _sortStringArray(abc, 1);
    EXPECT_EQ(texts(abc), (Texts{"a", "b", "c"}));
    _sortStringArray(abc, -1);
    EXPECT_EQ(texts(abc), (Texts{"c", "b", "a"}));

    auto* bytes = make({"z", "\xC3\xA9", "ab", "abc", "", "A", "ab"});
    _sortStringArray(bytes, 0);
    EXPECT_EQ(texts(bytes), (Texts{"", "A", "ab", "ab", "abc", "z", "\xC3\xA9"}));  // unsigned bytes

    auto* withNull = make({"b", "a"});
    withNull->addObject(noBuffer());
    _sortStringArray(withNull, 1);
    EXPECT_EQ(texts(withNull), (Texts{"", "a", "b"}));
}

}  // namespace
