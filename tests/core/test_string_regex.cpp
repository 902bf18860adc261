// KuRegEx and KuString::reMatch: POSIX extended syntax, newline-sensitive, whole match then groups.
#include <string>
#include <vector>

#include "KuArray.h"
#include "KuRegEx.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

class RegExTest : public KuPoolTest {};

using Texts = std::vector<std::string>;

Texts texts(KuArray<KuString*>* array) {
    Texts out;
    for (KuString* s : *array)
        out.emplace_back(s->c_str());
    return out;
}

TEST_F(RegExTest, MatchGivesWholeMatchThenGroups) {
    struct {
        const char* text;
        const char* pattern;
        bool matches;
        Texts expected;
    } rows[] = {
        {"room hall-12.tansy", "([a-z]+)-([0-9]+)", true, {"hall-12", "hall", "12"}},
        {"abc", "b", true, {"b"}},
        {"abc", "x", false, {}},
        {"y", "(x)?y", true, {"y", ""}},
        {"aaa", "a{2}", true, {"aa"}},
        {"a+b", "a\\+b", true, {"a+b"}},
        {"a\nb", "a.b", false, {}},    // "." does not cross a line
        {"a\nb", "^b$", true, {"b"}},  // anchors work per line
        {"first\nsecond", "^([a-z]+)$", true, {"first", "first"}},
        {"h\xC3\xA9llo", "h(.)l", true, {"h\xC3\xA9l", "\xC3\xA9"}},  // UTF-8 characters
        {"", "^$", true, {""}},
    };
    for (auto& r : rows) {
        KuString* text = KuString::stringWithString(r.text);
        KuArray<KuString*>* got = text->reMatch(KuString::stringWithString(r.pattern));
        if (!r.matches) {
            EXPECT_EQ(got, nullptr) << r.pattern << " on " << r.text;
            continue;
        }
        ASSERT_NE(got, nullptr) << r.pattern << " on " << r.text;
        EXPECT_EQ(texts(got), r.expected) << r.pattern << " on " << r.text;
    }
}

TEST_F(RegExTest, BadInputGivesNull) {
    KuString* text = KuString::stringWithString("abc");
    EXPECT_EQ(text->reMatch(KuString::stringWithString("(")), nullptr);
    EXPECT_EQ(text->reMatch(KuString::stringWithString("[a-")), nullptr);
    EXPECT_EQ(text->reMatch(static_cast<KuString*>(nullptr)), nullptr);
    EXPECT_EQ(text->reMatch(static_cast<KuRegEx*>(nullptr)), nullptr);
    KuString* noBuffer = KuString::stringWithString(static_cast<const char*>(nullptr));
    EXPECT_EQ(noBuffer->reMatch(KuString::stringWithString(".*")), nullptr);
    EXPECT_EQ(KuRegEx::newWithPattern(nullptr), nullptr);
    EXPECT_EQ(KuRegEx::newWithPattern("(unclosed"), nullptr);
}

TEST_F(RegExTest, CompiledExpressionIsReusable) {
    KuRegEx* re = KuRegEx::newWithPattern("([0-9]+)x([0-9]+)");
    ASSERT_NE(re, nullptr);
    EXPECT_EQ(re->groupCount(), 2);
    EXPECT_EQ(texts(KuString::stringWithString("size 64x32")->reMatch(re)), (Texts{"64x32", "64", "32"}));
    EXPECT_EQ(texts(KuString::stringWithString("1x2 and 3x4")->reMatch(re)), (Texts{"1x2", "1", "2"}));
    EXPECT_EQ(KuString::stringWithString("none")->reMatch(re), nullptr);
    // Only length bytes are searched.
    KuArray<KuString*>* partial = re->match("12x34", 4);
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(texts(partial), (Texts{"12x3", "12", "3"}));
    KuRelease(re);

    KuRegEx* autoreleased = KuRegEx::regExWithPattern("a");
    ASSERT_NE(autoreleased, nullptr);
    EXPECT_EQ(autoreleased->autoreleaseCount, 1);
}

}  // namespace
