// KuNumber: a boxed 32-bit integer or float; the shared immortal numbers.
#pragma once

#include <cstdint>
#include <cstring>

#include "KuObject.h"

class KuNumber : public KuObject {
public:
    enum Kind : int32_t { kInteger = 0, kFloat = 1 };

    int32_t value = 0;  // the int, or the bits of the float
    int32_t kind = kInteger;

    explicit KuNumber(int v) : KuObject(kKuTypeNumber), value(v), kind(kInteger) {}
    explicit KuNumber(float v) : KuObject(kKuTypeNumber), kind(kFloat) { memcpy(&value, &v, sizeof v); }
    constexpr KuNumber(KuImmortalTag t, int32_t bits, int32_t k) : KuObject(t, kKuTypeNumber), value(bits), kind(k) {}

    float asFloat() const {
        float f;
        memcpy(&f, &value, sizeof f);
        return f;
    }

    const char* typeStr() const override { return "KuNumber"; }
    int intValue() const override;  // floats truncate toward zero
    float floatValue() const override;
    unsigned unsignedIntValue() const override;
    KuString* toString() override;  // "%d" or "%g"
    KuString* dump(int indent) override;
};

// Shared numbers for small values, else a new autoreleased number. Never owned by the caller.
KuNumber* _KuNewNumber(int v);
KuNumber* _KuNewNumber(float v);  // whole numbers in -255..255 give integer-kind shared numbers

extern KuNumber* const kKuNumberInt0;
extern KuNumber* const kKuNumberInt1;
extern KuNumber* const kKuNumberIntMinus1;
extern KuNumber* const kKuNumberFloat0;
extern KuNumber* const kKuNumberFloat1;
extern KuNumber* const kKuNumberFloatMinus1;

float KuNum(const KuObject* obj);  // floatValue() of a number or string, else 0
float KuNumAsFloat(const KuObject* obj);
int KuNumAsInt(const KuObject* obj);
float KuPercentNum(const KuObject* obj, bool* percent, float unused);  // "50%" gives 0.5
