// The engine formatter: "%@", the stb_sprintf conversions, bounds of every buffer, malformed formats.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KuString.h"
#include "TestSupport.h"

namespace {

class FormatTest : public KuPoolTest {};

std::string fmt(const char* f, ...) {
    va_list args;
    va_start(args, f);
    int n = 0;
    char* out = KuVSCBPrintf(&n, f, args);
    va_end(args);
    std::string s = out ? std::string(out, static_cast<size_t>(n)) : std::string("<null>");
    free(out);
    return s;
}

struct Row {
    const char* label;
    std::string got;
    std::string expected;
};

void checkRows(const std::vector<Row>& rows) {
    for (const Row& r : rows)
        EXPECT_EQ(r.got, r.expected) << "case: " << r.label;
}

TEST_F(FormatTest, ObjectConversionPrintsTextLikePercentS) {
    KuString* abc = KuString::stringWithString("abc");
    KuString* noBuffer = KuString::stringWithString(static_cast<const char*>(nullptr));
    checkRows({
        {"null pointer", fmt("%@", static_cast<KuString*>(nullptr)), "null"},
        {"null buffer", fmt("[%@]", noBuffer), "[]"},
        {"plain", fmt("<%@>", abc), "<abc>"},
        {"width", fmt("%5@|", abc), "  abc|"},
        {"left width", fmt("%-5@|", abc), "abc  |"},
        {"precision", fmt("%.2@|", abc), "ab|"},
        {"precision beyond", fmt("%.10@|", abc), "abc|"},
        {"width and precision", fmt("%6.1@|", abc), "     a|"},
        {"star width", fmt("%*@|", 6, abc), "   abc|"},
        {"negative star width", fmt("%*@|", -5, abc), "abc  |"},
        {"star precision", fmt("%.*@|", 1, abc), "a|"},
        {"negative star precision", fmt("%.*@|", -1, abc), "abc|"},
        {"null with width", fmt("%6@|", static_cast<KuString*>(nullptr)), "  null|"},
        {"null with precision", fmt("%.2@|", static_cast<KuString*>(nullptr)), "nu|"},
        {"mutable string", fmt("%@", KuMutableString::stringWithString("m")), "m"},
        {"immortal key", fmt("%@=%@", KUSTR_name, KUSTR_EMPTY), "name="},
    });
}

TEST_F(FormatTest, ArgumentsAreConsumedInOrderAcrossMixedConversions) {
    KuString* s = KuString::stringWithString("obj");
    checkRows({
        {"mixed", fmt("%d %@ %s %5.1f %*d|%c", 7, s, "cs", 2.26, 4, 9, 'Z'), "7 obj cs   2.3    9|Z"},
        {"wide then narrow", fmt("%lld %d %@", 1LL << 40, -3, s), "1099511627776 -3 obj"},
        {"star both", fmt("%*.*f|%@", 8, 3, 3.14159, s), "   3.142|obj"},
        {"size_t and long", fmt("%zu %ld %lu", static_cast<size_t>(42), -5L, ULONG_MAX),
         "42 -5 18446744073709551615"},
        {"short and char widths", fmt("%hd %hhu", 12, 7), "12 7"},
        {"n is skipped", fmt("a%nb%@", static_cast<int*>(nullptr), s), "abobj"},
        {"I64", fmt("%I64d %I32d %@", -8589934592LL, 5, s), "-8589934592 5 obj"},
    });
}

TEST_F(FormatTest, NumericConversionsMatchTheCLibrary) {
    char expected[128];
    struct IntCase {
        const char* f;
        int v;
    } ints[] = {{"%d", 0},       {"%d", -17},        {"%+d", 5},          {"% d", 5},        {"%05d", -42},
                {"%-6d|", 3},    {"%x", 255},        {"%X", 48879},       {"%#x", 255},      {"%o", 8},
                {"%u", 4000},    {"%.3d", 7},        {"%8.3d", -7},       {"%i", 123456789}, {"%d", INT_MAX},
                {"%d", INT_MIN}, {"%12d|", INT_MIN}, {"%-12d|", INT_MIN}, {"%+d", INT_MIN}};
    for (const IntCase& c : ints) {
        snprintf(expected, sizeof expected, c.f, c.v);
        EXPECT_EQ(fmt(c.f, c.v), expected) << c.f << " of " << c.v;
    }
    struct WideCase {
        const char* f;
        long long v;
    } wides[] = {
        {"%lld", LLONG_MAX},    {"%lld", LLONG_MIN},  {"%25lld|", LLONG_MIN}, {"%-25lld|", LLONG_MIN},
        {"%025lld", LLONG_MIN}, {"%+lld", LLONG_MIN}, {"%llx", -1LL},         {"%lli", -9}};
    for (const WideCase& c : wides) {
        snprintf(expected, sizeof expected, c.f, c.v);
        EXPECT_EQ(fmt(c.f, c.v), expected) << c.f << " of " << c.v;
    }
    struct FloatCase {
        const char* f;
        double v;
    } floats[] = {{"%f", 1.5}, {"%.2f", 3.14159}, {"%08.3f", -3.14159}, {"%e", 12345.678}, {"%.0f", 2.0},
                  {"%g", 0.5}, {"%g", 100000.0},  {"%.3e", 0.000123},   {"%-9.2f|", 1.0},  {"%+.1f", 2.26}};
    for (const FloatCase& c : floats) {
        snprintf(expected, sizeof expected, c.f, c.v);
        EXPECT_EQ(fmt(c.f, c.v), expected) << c.f << " of " << c.v;
    }
}

TEST_F(FormatTest, StbExtensionsAndLiteralPercent) {
    checkRows({
        {"thousands", fmt("%'d", 1234567), "1,234,567"},
        {"binary", fmt("%b", 5), "101"},
        {"percent", fmt("100%%"), "100%"},
        {"percent between", fmt("%d%%%d", 1, 2), "1%2"},
        {"unknown letter", fmt("a%yb"), "ayb"},
        {"string null", fmt("%s", static_cast<const char*>(nullptr)), "null"},
        {"string width", fmt("%-4s|%4s", "ab", "cd"), "ab  |  cd"},
    });
}

TEST_F(FormatTest, PercentNNeverWritesThroughItsPointer) {
    int sentinel = 12345;
    EXPECT_EQ(fmt("abc%n%d", &sentinel, 4), "abc4");
    EXPECT_EQ(sentinel, 12345);
}

TEST_F(FormatTest, MalformedFormatsPrintAsWrittenWithoutOverrun) {
    checkRows({
        {"lone percent", fmt("%"), "%"},
        {"trailing percent", fmt("100%"), "100%"},
        {"cut flags", fmt("x%-"), "x%-"},
        {"cut width", fmt("x%12"), "x%12"},
        {"cut precision", fmt("x%.5"), "x%.5"},
        {"cut length", fmt("x%ll"), "x%ll"},
        {"I then a digit", fmt("x%I6"), "x6"},  // an unknown conversion letter prints itself
        {"I at the end", fmt("x%I"), "x%I"},
        {"digit after length", fmt("%l5|"), "5|"},
        {"star after length", fmt("%h*|"), "*|"},
        {"zero then minus", fmt("%0-5d", 1), "-5d"},
    });
    // Flags beyond any sensible count, and digit runs that would overflow an int.
    std::string flags = "%" + std::string(200, '+') + "-4d|";
    EXPECT_EQ(fmt(flags.c_str(), 3), "+3  |");
    std::string digits = "%." + std::string(40, '9') + "s|";
    EXPECT_EQ(fmt(digits.c_str(), "xy"), "xy|");
}

TEST_F(FormatTest, HugeWidthsAreBounded) {
    int n = 0;
    char* out = KuTestPrintf(&n, "%99999999999999d", 5);
    ASSERT_NE(out, nullptr);
    EXPECT_LE(n, 1 << 20);
    EXPECT_GT(n, 1000);
    EXPECT_EQ(out[n - 1], '5');
    EXPECT_EQ(out[n], 0);
    free(out);
    out = KuTestPrintf(&n, "%*d", INT_MAX, 1);
    ASSERT_NE(out, nullptr);
    EXPECT_LE(n, 1 << 20);
    free(out);
    char small[16];
    EXPECT_EQ(KuSPrintf(small, sizeof small, "%.999999f", 1.0), 15);
}

TEST_F(FormatTest, FixedBufferIsNeverOverrun) {
    KuString* big = KuString::stringWithPadCharacter('q', 3000);
    struct Guarded {
        char bytes[24];
        char guard[8];
    } g;
    memset(&g, 0x5A, sizeof g);
    int n = KuSPrintf(g.bytes, sizeof g.bytes, "%@%d", big, 77);
    EXPECT_EQ(n, 23);
    EXPECT_EQ(strlen(g.bytes), 23u);
    EXPECT_EQ(std::string(g.bytes), std::string(23, 'q'));
    for (char c : g.guard)
        EXPECT_EQ(c, 0x5A);

    n = KuSPrintf(g.bytes, 1, "abc");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(g.bytes[0], 0);

    memset(g.bytes, 'k', sizeof g.bytes);
    EXPECT_EQ(KuSPrintf(g.bytes, 0, "abc"), 0);
    EXPECT_EQ(g.bytes[0], 'k');  // size 0 writes nothing
}

TEST_F(FormatTest, NullBufferWithSizeZeroMeasures) {
    KuString* s = KuString::stringWithString("hello");
    EXPECT_EQ(KuSPrintf(nullptr, 0, "%d-%@", 12345, s), 11);
    EXPECT_EQ(KuSPrintf(nullptr, 0, "%5000d", 1), 5000);
    EXPECT_EQ(KuSPrintf(nullptr, 0, static_cast<const char*>(nullptr)), 0);
}

TEST_F(FormatTest, SharedFormatBufferKeeps1023Bytes) {
    std::string longFormat(5000, 'f');
    const char* out = KuFormat(longFormat.c_str());
    EXPECT_EQ(strlen(out), 1023u);
    EXPECT_EQ(std::string(out), longFormat.substr(0, 1023));

    KuString* longText = KuString::stringWithPadCharacter('t', 5000);
    out = KuFormat("[%@]", longText);
    EXPECT_EQ(strlen(out), 1023u);
    EXPECT_EQ(out[0], '[');

    const char* first = KuFormat("%d", 1);
    const char* second = KuFormat("%d", 22);
    EXPECT_EQ(first, second);  // one shared buffer, overwritten
    EXPECT_STREQ(second, "22");
    EXPECT_STREQ(KuFormat(nullptr), "");
}

TEST_F(FormatTest, GrowingOutputHoldsEverything) {
    std::string longFormat(5000, 'g');
    longFormat += "%@|%d";
    KuString* longText = KuString::stringWithPadCharacter('t', 100000);
    int n = 0;
    char* out = KuTestPrintf(&n, longFormat.c_str(), longText, 5);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(n, 5000 + 100000 + 2);
    EXPECT_EQ(strlen(out), static_cast<size_t>(n));
    EXPECT_EQ(std::string(out + 5000, 3), "ttt");
    EXPECT_EQ(std::string(out + n - 2), "|5");
    free(out);

    // Output of exactly a multiple of the growth step still gets its terminator.
    for (int len : {511, 512, 513, 1024}) {
        std::string text(static_cast<size_t>(len), 'z');
        out = KuTestPrintf(&n, "%s", text.c_str());
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(n, len);
        EXPECT_EQ(out[len], 0);
        free(out);
    }
    EXPECT_EQ(KuTestPrintf(&n, nullptr), nullptr);
    EXPECT_EQ(n, 0);
}

TEST_F(FormatTest, StringFactoriesFormat) {
    KuString* name = KuString::stringWithString("room");
    EXPECT_STREQ(KuString::stringWithFormat("%@.%s", name, "tansy")->c_str(), "room.tansy");
    EXPECT_STREQ(KuString::stringWithFormat(KuString::stringWithString("<%@>"), name)->c_str(), "<room>");
    EXPECT_STREQ(KuStrf("%d/%d", 1, 2)->c_str(), "1/2");
    EXPECT_EQ(KuStrf(nullptr), nullptr);
    KuString* s = KuString::stringWithFormat("%d", 5);
    EXPECT_EQ(s->length, 1);
    EXPECT_EQ(s->autoreleaseCount, 1);
    EXPECT_EQ(s->refCount, 1);

    KuMutableString* m = KuMutableString::string();
    std::string longFormat(20000, 'a');
    m->appendFormat("%s", longFormat.c_str());
    EXPECT_EQ(m->length, 9999);
    m->appendFormat("%@", m);  // formatting reads the text before the append changes it
    EXPECT_EQ(m->length, 9999 * 2);
    EXPECT_EQ(strlen(m->c_str()), static_cast<size_t>(m->length));
}

TEST_F(FormatTest, GeometryFactories) {
    EXPECT_STREQ(KuString::stringWithPoint(KuPoint{1.5f, -2})->c_str(), "(1.5,-2)");
    EXPECT_STREQ(KuString::stringWithRect(KuRect{{0, 1}, {20, 30.25f}})->c_str(), "((0,1),(20,30.25))");
    EXPECT_STREQ(KuString::stringWithColor(KuColor{1, 0.5f, 0, 0.25f})->c_str(), "{1,0.5,0,0.25}");
}

}  // namespace
