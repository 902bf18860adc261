// The dialect's text reader: tokens, values, containers, points, errors and limits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "KuFile.h"
#include "json_test_util.h"

using jsontest::describe;
using jsontest::JsonTest;
using jsontest::parseText;

namespace {

struct ReadCase {
    const char* text;
    const char* tree;
    const char* error;  // "" when the parse records none
};

class JsonReaderTest : public JsonTest {};

TEST_F(JsonReaderTest, ReadsTheDialect) {
    const ReadCase cases[] = {
        // comments, separators and commas
        {"a = 1 ; comment\nb: \"x\"", "{a:1,b:\"x\"}", ""},
        {"a = 1;\nb: \"x\"", "{a:\"1;\",b:\"x\"}", ""},  // ";" does not end a word
        {"// top\na: /x ; c\nb: 2 // d", "{a:\"/x\",b:2}", ""},
        {"a=1 b:2, c = 3", "{a:1,b:2,c:3}", ""},
        {"{ \"a\": 1, \"b\": [1, 2.5, \"s\"], }", "{a:1,b:[1,2.5f,\"s\"]}", ""},
        {"{a:1} b", "{a:1}", ""},  // text after the outermost value is ignored
        {"\xEF\xBB\xBF"
         "a: 1",
         "{a:1}", ""},
        {"", "{}", ""},
        {" \n ; only a comment", "{}", ""},
        {"[1,2]", "[1,2]", ""},
        {"a:1 a:2", "{a:2}", ""},
        {"a: { b: [ {c: 1}, [] , {} ] }", "{a:{b:[{c:1},[],{}]}}", ""},
        // words and numbers
        {"f: YES\nt: true\nn: NULL\no: NO\ny: yes", "{f:1,n:NULL,o:0,t:\"true\",y:\"yes\"}", ""},
        {"a: 1e5\nb: +3\nc: 0x10\nd: -\ne: -.5\nf: 5.\ng: 300.0\nh: 007\ni: 1.5\nj: 1.2.3\nk: .\nl: -0\nm: "
         "1-2",
         "{a:\"1e5\",b:\"+3\",c:\"0x10\",d:0,e:-0.5f,f:5,g:300f,h:7,i:1.5f,j:\"1.2.3\",k:\".\",l:0,m:\"1-"
         "2\"}",
         ""},
        {"big: 99999999999\nneg: -2147483649", "{big:1215752191,neg:2147483647}", ""},  // atoll narrowed
        {"a: 0.1\nb: 16777217.0\nc: 3.14159265358979323846264338", "{a:0.1f,b:1.67772e+07f,c:3.14159f}", ""},
        // quoted strings
        {"a: \"l1\\nl2\\tx\\\"q\\\\b\\uc\\r\"", "{a:\"l1\nl2\tx\"q\\buc\r\"}", ""},
        {"a: 'say \"hi\"'", "{a:\"say \"hi\"\"}", ""},
        {"a: \"abc\nb: 1", "{a:\"abc\",b:1}", ""},  // a line break ends a quoted string
        {"a: \"x\\\nb: 1", "{a:\"x\",b:1}", ""},    // so does a backslash before it
        {"a: \"x\"+\"y\"+'z'", "{a:\"xyz\"}", ""},
        {"a: \"x\"+ \"y\"", "{a:\"xy\"}", ""},
        {"a: \"x\"+b", "{a:\"xb\"}", ""},
        {"a: \"x\" + \"y\"", "null", "Missing = or : around line 1"},
        {"a: \"[\"\nb: [\"]\", \"}\"]\n\"}\": 1", "{a:\"[\",b:[\"]\",\"}\"],}:1}",
         ""},  // quoted text is data
        {"\"\": 1", "{:1}", ""},
        {"\"a b\": 1", "{a b:1}", ""},
        // stray punctuation where a value is expected is a string
        {"a: ]\nb: ,", "{a:\"]\",b:\",\"}", ""},
        {"[1,,2]", "[1,\",\",2]", ""},
        // points and rectangles
        {"pos: (3,-4)\nr: ((0,0),(10,20))", "{pos:(3,-4),r:((0,0),(10,20))}", ""},
        {"p: \"{1,2}\"", "{p:\"{1,2}\"}", ""},
        {"p: (1e1, abc)", "{p:(10,0)}", ""},  // numbers in points are read with atof
        {"p: (1,2]", "{p:(1,2)}", "Expected ) parsing () around line 1"},
        {"r: ((0,0)x(1,1))", "{r:((0,0),(1,1))}", "Expected , parsing rect around line 1"},
        {"r: ((0,0),(1,1)]", "{r:((0,0),(1,1))}", "Expected ) parsing rect around line 1"},
        // errors end the parse
        {"a 1", "null", "Missing = or : around line 1"},
        {"a:", "null", "Missing value after = or : around line 1"},
        {"a: =", "null", "Unexpected = around line 1"},
        {"a: :", "null", "Unexpected : around line 1"},
        {"[1, }", "null", "Unexpected } around line 1"},
        {"[1,", "null", "Error in array around line 1"},
        {"a: [1, 2", "null", "Error in array around line 1"},
        {"p: (1 2)", "null", "Expected , parsing () around line 1"},
        {"r: ((1 2),(3,4))", "null", "Expected , parsing () around line 1"},
        {"r: ((1,2),3)", "null", "Expected , parsing () around line 1"},
        {"a: 1\r\nb: 2\rc: 3\nd", "null", "Missing = or : around line 4"},
        {"a: \"x\ny: 2\nz", "null", "Missing = or : around line 3"},
        {"a: {b: {c: }", "{a:{b:{c:\"}\"}}}", ""},  // "}" as a value is a word
    };
    for (const ReadCase& c : cases) {
        jsontest::Parsed r = parseText(c.text);
        EXPECT_EQ(r.tree, c.tree) << "text: " << c.text;
        EXPECT_EQ(r.error, c.error) << "text: " << c.text;
    }
}

TEST_F(JsonReaderTest, SharedValuesComeFromTheCacheAndTheNumberTables) {
    jsontest::Parsed r = parseText("yes: YES\nno: NO\nk: \"shared text\"\nsmall: 7\nbig: 7000");
    auto* d = static_cast<KuDictionary*>(r.root);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->objectForKey("yes"), kKuNumberInt1);
    EXPECT_EQ(d->objectForKey("no"), kKuNumberInt0);
    EXPECT_EQ(d->objectForKey("k"), cachedKuString("shared text"));
    EXPECT_EQ(d->keyAtIndex(0), cachedKuString("big"));
    EXPECT_EQ(d->objectForKey("small"), _KuNewNumber(7));
    EXPECT_TRUE(d->objectForKey("small")->isImmortal());
    EXPECT_FALSE(d->objectForKey("big")->isImmortal());
    EXPECT_EQ(d->intForKey("big", 0), 7000);
    // Each container holds one reference to what it adopted; the root alone sits in the pool.
    EXPECT_EQ(d->objectForKey("big")->refCount, 1);
    EXPECT_EQ(d->refCount, 1);
    EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(d), 1);
}

TEST_F(JsonReaderTest, SubstitutesSymbolsInQuotedAndBareWords) {
    KuDictionary* symbols = KuDictionary::dictionary();
    symbols->addKeyInt(KuString::stringWithString("DIR_BACK"), 8);
    symbols->addKeyFloat(KuString::stringWithString("HALF"), 0.5f);
    symbols->addKeyString(KuString::stringWithString("WHO"), KuString::stringWithString("bob"));
    symbols->addKeyString(KuString::stringWithString("FLAG"), KuString::stringWithString("YES"));
    jsontest::Parsed r = parseText(
        "usedir: DIR_BACK\ns: \"DIR_BACK\"\nh: HALF\nn: WHO\nf: FLAG\nk: [DIR_BACK]\nDIR_BACK: 1", symbols);
    EXPECT_EQ(r.tree, "{DIR_BACK:1,f:1,h:0.5f,k:[8],n:\"bob\",s:\"8\",usedir:8}");
    EXPECT_EQ(r.error, "");
}

TEST_F(JsonReaderTest, LowersKeysOnlyWhenAsked) {
    EXPECT_EQ(parseText("Name: 1\nPOS: (1,2)\nv: ABC", nullptr, true).tree, "{name:1,pos:(1,2),v:\"ABC\"}");
    EXPECT_EQ(parseText("Name: 1", nullptr, false).tree, "{Name:1}");
}

TEST_F(JsonReaderTest, ReportsErrorsAsWarningsAndAsTheBinaryErrorText) {
    EXPECT_EQ(parseText("").tree, "{}");
    EXPECT_TRUE(warnings.contains("KuJson: Empty input string"));

    EXPECT_EQ(parseText("a b").tree, "null");
    EXPECT_TRUE(warnings.contains("JSON Parse error: Missing = or : around line 1"));
    ASSERT_NE(KuBJsonError(), nullptr);
    EXPECT_STREQ(KuBJsonError()->c_str(), "BJSON Parse error: Missing = or : around line 1");

    // Only the first error is kept: the missing value is not reported over the bad point.
    EXPECT_EQ(parseText("a: (1 2)\nb").error, "Expected , parsing () around line 1");

    KuJson reader;
    EXPECT_EQ(reader.parse(KuString::stringWithString((const char*)nullptr), false), nullptr);
    ASSERT_NE(reader.parseError(), nullptr);
    EXPECT_STREQ(reader.parseError()->c_str(), "nullptr utf8 input string around line 1");
    EXPECT_EQ(reader.parse(nullptr, false), nullptr);

    // A reader used again starts clean.
    EXPECT_NE(reader.parse(KuString::stringWithString("a: 1"), false), nullptr);
    EXPECT_EQ(reader.parseError(), nullptr);
}

TEST_F(JsonReaderTest, RejectsTokensBeyondTheBuffers) {
    const int longest = KuJson::kTokenBufferSize - 1;
    const int appendLongest = KuJson::kAppendBufferSize - 1;
    struct LimitCase {
        std::string text;
        bool parses;
        const char* error;
    };
    const std::string word(longest, 'w');
    const LimitCase cases[] = {
        {"a: " + word, true, ""},
        {"a: " + word + "w", false, "Token too long around line 1"},
        {"a: \"" + word + "\"", true, ""},
        {"a: \"" + word + "w\"", false, "Token too long around line 1"},
        {"a: \"" + word.substr(1) + "\\n\"", true, ""},
        {"a: \"" + word + "\\n\"", false, "Token too long around line 1"},
        {word + ": 1", true, ""},
        {"a: \"x\"+\"" + std::string(appendLongest, 'y') + "\"", true, ""},
        {"a: \"x\"+\"" + std::string(appendLongest + 1, 'y') + "\"", false,
         "Appended token too long around line 1"},
        {"a: \"x\"+" + std::string(appendLongest + 1, 'y'), false, "Appended token too long around line 1"},
        // the appended part is the whole chain after the first "+"
        {"a: \"x\"+\"" + std::string(600, 'y') + "\"+\"" + std::string(600, 'z') + "\"", false,
         "Appended token too long around line 1"},
        {"a: \"" + std::string(longest - 10, 'x') + "\"+\"" + std::string(11, 'y') + "\"", false,
         "Token too long around line 1"},
    };
    for (const LimitCase& c : cases) {
        jsontest::Parsed r = parseText(c.text);
        EXPECT_EQ(r.root != nullptr, c.parses) << "length " << c.text.size() << ": " << r.error;
        EXPECT_EQ(r.error, c.error) << "length " << c.text.size();
    }
    // A long chain of joins is read without recursion and stops at the appended limit.
    std::string chain = "a: \"x\"";
    for (int i = 0; i < 100000; i++)
        chain += "+\"y\"";
    EXPECT_EQ(parseText(chain).error, "Appended token too long around line 1");
    std::string shortChain = "a: \"x\"";
    for (int i = 0; i < 10; i++)
        shortChain += "+\"y\"";
    EXPECT_EQ(parseText(shortChain).tree, "{a:\"xyyyyyyyyyy\"}");
}

TEST_F(JsonReaderTest, LimitsNestingInsteadOfExhaustingTheStack) {
    const int deepest = KuJson::kMaxDepth;
    // The outermost braces count as one level.
    EXPECT_NE(parseText(std::string(deepest, '[') + std::string(deepest, ']')).root, nullptr);
    jsontest::Parsed tooDeep = parseText(std::string(deepest + 1, '[') + std::string(deepest + 1, ']'));
    EXPECT_EQ(tooDeep.tree, "null");
    EXPECT_EQ(tooDeep.error, "Nesting too deep around line 1");

    EXPECT_EQ(parseText(std::string(100000, '[')).error, "Nesting too deep around line 1");
    std::string dicts;
    for (int i = 0; i < 100000; i++)
        dicts += "{a:";
    EXPECT_EQ(parseText(dicts).error, "Nesting too deep around line 1");
    std::string mixed;
    for (int i = 0; i < 50000; i++)
        mixed += "a: [{";
    EXPECT_EQ(parseText("\n" + mixed).error, "Nesting too deep around line 2");
}

TEST_F(JsonReaderTest, TokenFunctionsAdvanceTheCursorAndCountLines) {
    KuJson reader;
    const char* text = "  key = \"two words\" ; note\n(1,2)\r\n'q'+\"r\" //x\n";
    const char* cursor = text;
    char buffer[KuJson::kTokenBufferSize];
    bool quoted = true;
    struct Expect {
        const char* token;
        bool quoted;
        int line;
    };
    const Expect expected[] = {{"key", false, 1}, {"=", false, 1}, {"two words", true, 1},
                               {"(", false, 2},   {"1", false, 2}, {",", false, 2},
                               {"2", false, 2},   {")", false, 2}, {"qr", true, 3}};
    for (const Expect& e : expected) {
        EXPECT_STREQ(reader.peekToken(cursor), e.token);
        const char* tok = reader.getToken(cursor, buffer, &quoted);
        ASSERT_NE(tok, nullptr) << e.token;
        EXPECT_STREQ(tok, e.token);
        EXPECT_EQ(quoted, e.quoted) << e.token;
        EXPECT_EQ(reader.currentLine(), e.line) << e.token;
    }
    EXPECT_EQ(reader.getToken(cursor, buffer, &quoted), nullptr);
    EXPECT_EQ(reader.currentLine(), 4);

    const char* eq = ": x";
    EXPECT_TRUE(reader.parseEquals(eq));
    EXPECT_FALSE(reader.parseEquals(eq));
    const char* quotedEq = "\"=\"";
    EXPECT_FALSE(reader.parseEquals(quotedEq));

    // A caller's buffer too small for the token is never overrun.
    char small[4];
    const char* longWord = "abcdef";
    EXPECT_EQ(reader.getToken(longWord, small, &quoted, sizeof small), nullptr);
    const char* fits = "abc";
    EXPECT_STREQ(reader.getToken(fits, small, &quoted, sizeof small), "abc");

    EXPECT_TRUE(KuJson::isValidKey("k"));
    EXPECT_FALSE(KuJson::isValidKey(""));
    EXPECT_FALSE(KuJson::isValidKey(nullptr));
    char mixedCase[] = "MiXed-9Ä";
    EXPECT_STREQ(KuJson::strlower(mixedCase), "mixed-9Ä");
}

TEST_F(JsonReaderTest, DataReadersChooseTextOrBinary) {
    const char text[] = "a: 1";
    EXPECT_EQ(describe(quickParseKuJson(KuData::dataWithBytes(text, 4), nullptr)), "{a:1}");
    EXPECT_EQ(quickParseKuJson(KuData::dataWithBytes(text, 0), nullptr), nullptr);
    EXPECT_EQ(quickParseKuJson(static_cast<KuData*>(nullptr), nullptr), nullptr);
    EXPECT_EQ(describe(quickParseKuJson(KuData::dataWithBytes("Key: 2", 6), nullptr, true)), "{key:2}");

    KuDictionary* doc = KuDictionary::dictionary();
    doc->addKeyInt(KuString::stringWithString("n"), 3);
    KuData* binary = KuJson::emitBJson(doc, 500000);
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(describe(quickParseKuJson(binary, nullptr)), "{n:3}");

    KuDictionary* symbols = KuDictionary::dictionary();
    symbols->addKeyInt(KuString::stringWithString("SEVEN"), 7);
    EXPECT_EQ(describe(quickParseKuJson(KuData::dataWithBytes("a: SEVEN", 8), symbols)), "{a:7}");
    EXPECT_EQ(describe(quickParseKuJsonWithSymbolDict(KuString::stringWithString("A: SEVEN"), symbols, true)),
              "{a:7}");
    EXPECT_EQ(quickParseKuJsonWithSymbolDict(static_cast<KuString*>(nullptr), symbols, true), nullptr);

    // Enciphered data is deciphered first; a wrong key gives null.
    const unsigned char key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const unsigned char wrong[16] = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    KuData* sealedText = KuCryptoBTEAEncryptData(reinterpret_cast<const unsigned char*>("Word: YES"), 9, key);
    EXPECT_EQ(describe(quickParseKuJson(sealedText, key, true)), "{word:1}");
    EXPECT_EQ(quickParseKuJson(sealedText, wrong, true), nullptr);
    EXPECT_EQ(describe(quickParseKuJson(KuCryptoBTEAEncryptData(binary, key), key, false)), "{n:3}");
}

TEST_F(JsonReaderTest, ConvertsNumbersExactlyAsTheCLibraryDoes) {
    std::mt19937 random(7);
    const char* digits = "0123456789";
    for (int i = 0; i < 40000; i++) {
        std::string word = random() % 4 == 0 ? "-" : "";
        const int length = 1 + (int)(random() % 26);
        const int dot = (int)(random() % (length + 2)) - 1;  // -1 or past the end: an integer
        for (int k = 0; k < length; k++) {
            if (k == dot) word += '.';
            word += digits[random() % (k < 3 && random() % 3 == 0 ? 1 : 10)];
        }
        KuArray<KuObject*>* list = static_cast<KuArray<KuObject*>*>(parseText("[" + word + "]").root);
        ASSERT_NE(list, nullptr) << word;
        auto* n = static_cast<KuNumber*>(list->objectAtIndex(0));
        ASSERT_TRUE(n && n->kindCode() == kKuTypeNumber) << word;
        if (word.find('.') == std::string::npos) {
            ASSERT_EQ(n->intValue(), (int32_t)(uint32_t)(unsigned long long)atoll(word.c_str())) << word;
        } else {
            const float expected = (float)strtod(word.c_str(), nullptr);
            ASSERT_EQ(n->floatValue(), expected) << word;
            ASSERT_EQ(std::signbit(n->floatValue()), std::signbit(expected) && expected != 0) << word;
        }
        if (i % 1000 == 999) KuAutoreleasePool::drainCurrentPool();
    }
}

TEST_F(JsonReaderTest, CachesDictionariesByName) {
    KuDictionary* d = KuDictionary::dictionary();
    d->addKeyInt(KuString::stringWithString("v"), 1);
    const int before = d->refCount;
    KuCacheDictionary("sheet.json", d);
    EXPECT_EQ(d->refCount, before + 1);
    EXPECT_EQ(KuDictionaryFromCache("sheet.json"), d);
    EXPECT_EQ(KuDictionaryFromCache(KuString::stringWithString("sheet.json")), d);
    EXPECT_EQ(KuQuickCachedJSONDict("sheet.json"), d);  // a hit reads no file
    EXPECT_EQ(KuDictionaryFromCache("other.json"), nullptr);
    EXPECT_EQ(KuQuickCachedJSONDict("/nonexistent/folder/missing.json"), nullptr);
    EXPECT_EQ(KuDictionaryFromCache("/nonexistent/folder/missing.json"), nullptr);
    KuDictionary* replacement = KuDictionary::dictionary();
    KuCacheDictionary("sheet.json", replacement);
    EXPECT_EQ(d->refCount, before);
    EXPECT_EQ(KuDictionaryFromCache("sheet.json"), replacement);
    flushDictionaryCache();
    EXPECT_EQ(KuDictionaryFromCache("sheet.json"), nullptr);
    EXPECT_EQ(replacement->refCount, 1);

    // A miss reads the file once; later lookups keep the first result even when the file changes.
    char folder[] = "/tmp/kujson-cache-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/anim.json";
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("fps: 12\nframes: [a, b]\n", f);
    fclose(f);
    KuDictionary* read = KuQuickCachedJSONDict(path.c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(describe(read), "{fps:12,frames:[\"a\",\"b\"]}");
    remove(path.c_str());
    rmdir(folder);
    EXPECT_EQ(KuQuickCachedJSONDict(path.c_str()), read);
    EXPECT_EQ(KuQuickCachedJSONDict(KuString::stringWithString(path.c_str())), read);
    flushDictionaryCache();
    EXPECT_EQ(KuQuickCachedJSONDict(path.c_str()), nullptr);
}

}  // namespace
