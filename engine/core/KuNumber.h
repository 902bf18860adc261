// KuNumber: a boxed 32-bit integer or float, and the shared immortal numbers for small values.
#pragma once

#include <cstdint>
#include <cstring>

#include "KuObject.h"

class KuNumber : public KuObject {
public:
    enum Kind : int32_t { kInteger = 0, kFloat = 1 };

    int32_t value = 0;  // the int, or the bits of the float
    int32_t kind = kInteger;

    // Owned (count 1); release it. Prefer _KuNewNumber, which shares small values.
    explicit KuNumber(int v) : KuObject(kKuTypeNumber), value(v), kind(kInteger) {}
    explicit KuNumber(float v) : KuObject(kKuTypeNumber), kind(kFloat) { memcpy(&value, &v, sizeof v); }
    // Process-lifetime constants (the shared numbers), built before any dynamic initialiser runs.
    constexpr KuNumber(KuImmortalTag t, int32_t bits, int32_t k)
        : KuObject(t, kKuTypeNumber), value(bits), kind(k) {}

    float asFloat() const {
        float f;
        memcpy(&f, &value, sizeof f);
        return f;
    }

    const char* typeStr() const override { return "KuNumber"; }
    // Floats truncate toward zero, saturating at the int range; NaN gives 0. Other kinds give 0.
    int intValue() const override;
    float floatValue() const override;           // integer kind converted; other kinds 0
    unsigned unsignedIntValue() const override;  // intValue() taken as unsigned
    KuString* toString() override;               // autoreleased "%d" or "%g"; other kinds the type name
    KuString* dump(int indent) override;         // as toString()
};

// Shared immortal numbers for -1, 0, 1 and the tables for -255..255; any other value gives a new
// autoreleased number. Either way the caller does not own the result (retain to keep it).
KuNumber* _KuNewNumber(int v);
// 0 (and -0), 1, -1 give the shared float-kind numbers; any other whole number in -255..255 gives
// a shared integer-kind number; anything else a new autoreleased float-kind number.
KuNumber* _KuNewNumber(float v);

extern KuNumber* const kKuNumberInt0;
extern KuNumber* const kKuNumberInt1;
extern KuNumber* const kKuNumberIntMinus1;
extern KuNumber* const kKuNumberFloat0;
extern KuNumber* const kKuNumberFloat1;
extern KuNumber* const kKuNumberFloatMinus1;

// floatValue() / intValue() of a number or a string; null and any other object give 0.
float KuNum(const KuObject* obj);
float KuNumAsFloat(const KuObject* obj);
int KuNumAsInt(const KuObject* obj);
// A number's floatValue(); a string ending in "%" gives its value / 100 and sets *percent
// (percent may be null); any other string its floatValue(); null or any other object 0.
// The float argument is not used.
float KuPercentNum(const KuObject* obj, bool* percent, float unused);
