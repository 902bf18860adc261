// KuNumber: which values are shared immortal numbers, the conversions between kinds and the
// number helpers used by the getters.
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "KuDictionary.h"
#include "KuNumber.h"
#include "TestSupport.h"

namespace {

KuNumber* I(int v) {
    return KuAutorelease(new KuNumber(v));
}
KuNumber* F(float v) {
    return KuAutorelease(new KuNumber(v));
}

class NumberTest : public KuPoolTest {};

TEST_F(NumberTest, SmallIntegersAreSharedImmortals) {
    struct Row {
        int value;
        KuNumber* named;  // the named constant, or null for a table entry
    } rows[] = {{0, kKuNumberInt0}, {1, kKuNumberInt1}, {-1, kKuNumberIntMinus1}, {2, nullptr},
                {-2, nullptr},      {255, nullptr},     {-255, nullptr}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        KuNumber* n = _KuNewNumber(row.value);
        if (row.named) {
            EXPECT_EQ(n, row.named);
        }
        EXPECT_EQ(_KuNewNumber(row.value), n) << "the same object every time";
        EXPECT_TRUE(n->isImmortal());
        EXPECT_TRUE(n->isInt());
        EXPECT_EQ(n->intValue(), row.value);
        KuRelease(n);
        KuRetain(n);
        EXPECT_EQ(n->refCount, kKuImmortal);
    }
    EXPECT_EQ(KuAutoreleasePool::currentPool()->size(), 0) << "shared numbers are never autoreleased";
}

TEST_F(NumberTest, OtherIntegersAreNewAutoreleasedNumbers) {
    for (int v : {256, -256, 100000, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(v);
        KuNumber* a = _KuNewNumber(v);
        KuNumber* b = _KuNewNumber(v);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->refCount, 1);
        EXPECT_EQ(KuAutoreleasePool::currentPool()->poolCount(a), 1);
        EXPECT_TRUE(a->isInt());
        EXPECT_EQ(a->intValue(), v);
    }
}

TEST_F(NumberTest, FloatsShareTheirConstantsAndWholeValuesBecomeIntegers) {
    struct Row {
        float value;
        KuNumber* named;  // expected constant, or null
        bool shared;
        bool integerKind;
    } rows[] = {
        {0.0f, kKuNumberFloat0, true, false},
        {-0.0f, kKuNumberFloat0, true, false},
        {1.0f, kKuNumberFloat1, true, false},
        {-1.0f, kKuNumberFloatMinus1, true, false},
        {2.0f, nullptr, true, true},
        {-255.0f, nullptr, true, true},
        {255.0f, nullptr, true, true},
        {256.0f, nullptr, false, false},
        {2.5f, nullptr, false, false},
        {-0.5f, nullptr, false, false},
        {1e30f, nullptr, false, false},
        {std::numeric_limits<float>::quiet_NaN(), nullptr, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        KuNumber* n = _KuNewNumber(row.value);
        if (row.named) {
            EXPECT_EQ(n, row.named);
        }
        EXPECT_EQ(n->isImmortal(), row.shared);
        EXPECT_EQ(_KuNewNumber(row.value) == n, row.shared);
        EXPECT_EQ(n->isInt(), row.integerKind);
        EXPECT_EQ(n->isFloat(), !row.integerKind);
        if (!std::isnan(row.value)) {
            EXPECT_FLOAT_EQ(n->floatValue(), row.value);
        }
    }
    EXPECT_FALSE(kKuNumberFloat1->isInt()) << "the named float constants keep the float kind";
    EXPECT_FLOAT_EQ(kKuNumberFloatMinus1->floatValue(), -1.0f);
    // Whole floats come from a table of their own: equal value, distinct object.
    EXPECT_NE(_KuNewNumber(2.0f), _KuNewNumber(2));
    EXPECT_EQ(_KuNewNumber(2.0f)->intValue(), _KuNewNumber(2)->intValue());
}

TEST_F(NumberTest, ConversionsBetweenKinds) {
    struct Row {
        KuNumber* number;
        int asInt;
        unsigned asUnsigned;
        float asFloat;
        const char* text;
    } rows[] = {
        {I(7), 7, 7u, 7.0f, "7"},
        {I(-1), -1, 0xFFFFFFFFu, -1.0f, "-1"},
        {F(2.9f), 2, 2u, 2.9f, "2.9"},
        {F(-2.9f), -2, 0xFFFFFFFEu, -2.9f, "-2.9"},
        {F(1e-7f), 0, 0u, 1e-7f, "1e-07"},
        // Beyond the int range a float saturates instead of overflowing the conversion.
        {F(1e10f), INT_MAX, static_cast<unsigned>(INT_MAX), 1e10f, "1e+10"},
        {F(-1e10f), INT_MIN, static_cast<unsigned>(INT_MIN), -1e10f, "-1e+10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.number->intValue(), row.asInt);
        EXPECT_EQ(row.number->unsignedIntValue(), row.asUnsigned);
        EXPECT_FLOAT_EQ(row.number->floatValue(), row.asFloat);
        EXPECT_STREQ(row.number->toString()->c_str(), row.text);
        EXPECT_STREQ(row.number->dump(4)->c_str(), row.text);
    }
    KuNumber* nan = F(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(nan->intValue(), 0);

    KuNumber* odd = I(5);
    odd->kind = 7;  // neither kind: no value, the type name as text
    EXPECT_EQ(odd->intValue(), 0);
    EXPECT_EQ(odd->floatValue(), 0);
    EXPECT_FALSE(odd->isInt());
    EXPECT_FALSE(odd->isFloat());
    EXPECT_STREQ(odd->toString()->c_str(), "KuNumber");
}

TEST_F(NumberTest, KindTestsAreFalseForOtherObjects) {
    KuObject* others[] = {KuString::stringWithString("1"), KuDictionary::dictionary(), kKuNullObject};
    for (KuObject* o : others) {
        EXPECT_FALSE(o->isInt()) << o->typeStr();
        EXPECT_FALSE(o->isFloat()) << o->typeStr();
    }
}

TEST_F(NumberTest, NumberHelpersReadNumbersAndTexts) {
    struct Row {
        KuObject* object;
        float asFloat;
        int asInt;
        float percent;
        bool isPercent;
    } rows[] = {
        {nullptr, 0, 0, 0, false},
        {I(3), 3, 3, 3, false},
        {F(2.5f), 2.5f, 2, 2.5f, false},
        {KuString::stringWithString("12.5"), 12.5f, 12, 12.5f, false},
        {KuString::stringWithString("50%"), 50, 50, 0.5f, true},
        {KuString::stringWithString("abc"), 0, 0, 0, false},
        {KuDictionary::dictionary(), 0, 0, 0, false},
        {KuPointObject::pointWithPoint({1, 2}), 0, 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.object ? row.object->typeStr() : "null");
        EXPECT_FLOAT_EQ(KuNum(row.object), row.asFloat);
        EXPECT_FLOAT_EQ(KuNumAsFloat(row.object), row.asFloat);
        EXPECT_EQ(KuNumAsInt(row.object), row.asInt);
        bool percent = !row.isPercent;
        EXPECT_FLOAT_EQ(KuPercentNum(row.object, &percent, 99), row.percent);
        EXPECT_EQ(percent, row.isPercent);
        EXPECT_FLOAT_EQ(KuPercentNum(row.object, nullptr, 99), row.percent) << "no flag to set";
    }
}

}  // namespace
