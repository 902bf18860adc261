// Sections: >>shared >>number >>helpers
#include "KuNumber.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>

#include "KuString.h"

// >>shared

namespace {

constexpr int32_t kFloatBitsOne = 0x3F800000;        // 1.0f
constexpr int32_t kFloatBitsMinusOne = -1082130432;  // -1.0f (0xBF800000)
constexpr int kSharedMin = -255;

// One immortal integer-kind number per value from -255 to 255, built at compile time so the
// table is complete before any code (including other static initialisers) asks for it.
template <size_t... I>
struct SharedNumberTable {
    KuNumber entries[sizeof...(I)];
    constexpr explicit SharedNumberTable(std::index_sequence<I...>)
        : entries{KuNumber(kKuImmortalTag, static_cast<int32_t>(I) + kSharedMin, KuNumber::kInteger)...} {}
    KuNumber* at(int v) { return &entries[v - kSharedMin]; }
};

// Two tables, as the engine keeps them: whole floats are answered from the second one, so an
// integer and a whole float of the same value are equal but distinct objects.
SharedNumberTable _number_const_int_array{std::make_index_sequence<511>()};
SharedNumberTable _number_const_float_array{std::make_index_sequence<511>()};

KuNumber sharedInt0{kKuImmortalTag, 0, KuNumber::kInteger};
KuNumber sharedInt1{kKuImmortalTag, 1, KuNumber::kInteger};
KuNumber sharedIntMinus1{kKuImmortalTag, -1, KuNumber::kInteger};
KuNumber sharedFloat0{kKuImmortalTag, 0, KuNumber::kFloat};
KuNumber sharedFloat1{kKuImmortalTag, kFloatBitsOne, KuNumber::kFloat};
KuNumber sharedFloatMinus1{kKuImmortalTag, kFloatBitsMinusOne, KuNumber::kFloat};

}  // namespace

KuNumber* const kKuNumberInt0 = &sharedInt0;
KuNumber* const kKuNumberInt1 = &sharedInt1;
KuNumber* const kKuNumberIntMinus1 = &sharedIntMinus1;
KuNumber* const kKuNumberFloat0 = &sharedFloat0;
KuNumber* const kKuNumberFloat1 = &sharedFloat1;
KuNumber* const kKuNumberFloatMinus1 = &sharedFloatMinus1;

KuNumber* _KuNewNumber(int v) {
    if (v == 0) return kKuNumberInt0;
    if (v == 1) return kKuNumberInt1;
    if (v == -1) return kKuNumberIntMinus1;
    if (v >= kSharedMin && v <= -kSharedMin) return _number_const_int_array.at(v);
    return KuAutorelease(new KuNumber(v));
}

KuNumber* _KuNewNumber(float v) {
    if (v == 0) return kKuNumberFloat0;  // also -0
    if (v == 1) return kKuNumberFloat1;
    if (v == -1) return kKuNumberFloatMinus1;
    // The range test comes first so NaN and huge values never reach the int conversion.
    if (v >= kSharedMin && v <= -kSharedMin && v == std::trunc(v))
        return _number_const_float_array.at(static_cast<int>(v));
    return KuAutorelease(new KuNumber(v));
}

// >>number

bool KuObject::isInt() const {
    return kindCode() == kKuTypeNumber && static_cast<const KuNumber*>(this)->kind == KuNumber::kInteger;
}

bool KuObject::isFloat() const {
    return kindCode() == kKuTypeNumber && static_cast<const KuNumber*>(this)->kind == KuNumber::kFloat;
}

static int truncateToInt(float f) {
    if (std::isnan(f)) return 0;
    if (f >= 2147483648.0f) return INT_MAX;
    if (f <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(f);
}

int KuNumber::intValue() const {
    if (kind == kInteger) return value;
    if (kind == kFloat) return truncateToInt(asFloat());
    return 0;
}

float KuNumber::floatValue() const {
    if (kind == kFloat) return asFloat();
    if (kind == kInteger) return static_cast<float>(value);
    return 0;
}

unsigned KuNumber::unsignedIntValue() const {
    return static_cast<unsigned>(intValue());
}

KuString* KuNumber::toString() {
    char text[64];
    if (kind == kInteger)
        snprintf(text, sizeof text, "%d", value);
    else if (kind == kFloat)
        snprintf(text, sizeof text, "%g", static_cast<double>(asFloat()));
    else
        return KuString::stringWithString(typeStr());
    return KuString::stringWithString(text);
}

KuString* KuNumber::dump(int) {
    return toString();
}

// >>helpers

static bool isNumberOrString(const KuObject* o) {
    return o && (o->kindCode() == kKuTypeNumber || o->isString());
}

float KuNum(const KuObject* obj) {
    return isNumberOrString(obj) ? obj->floatValue() : 0;
}
float KuNumAsFloat(const KuObject* obj) {
    return KuNum(obj);
}
int KuNumAsInt(const KuObject* obj) {
    return isNumberOrString(obj) ? obj->intValue() : 0;
}

float KuPercentNum(const KuObject* obj, bool* percent, float) {
    if (percent) *percent = false;
    if (!obj) return 0;
    if (obj->kindCode() == kKuTypeNumber) return obj->floatValue();
    if (!obj->isString()) return 0;
    const KuString* s = static_cast<const KuString*>(obj);
    if (s->cstr && s->length > 0 && s->cstr[s->length - 1] == '%') {
        if (percent) *percent = true;
        return s->floatValue() / 100;
    }
    return s->floatValue();
}
