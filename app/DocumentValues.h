// Reading values of a room document: kind checks of dictionary entries and the whole-number rules
// the editor applies to positions.
#pragma once

#include <cmath>
#include <cstdint>

#include "KuArray.h"
#include "KuObject.h"
#include "KuString.h"
#include "KuTypes.h"

inline bool isArray(const KuObject* o) {
    return o && o->kindCode() == kKuTypeArray;
}

inline bool isDictionary(const KuObject* o) {
    return o && o->kindCode() == kKuTypeDictionary;
}

inline KuString* asString(KuObject* o) {
    return o && o->isString() ? static_cast<KuString*>(o) : nullptr;
}

// Each coordinate truncated toward zero; adding 0 turns -0 into 0, which a document would show as "-0".
inline KuPoint truncated(KuPoint p) {
    return KuPoint{std::trunc(p.x) + 0.0f, std::trunc(p.y) + 0.0f};
}

// The whole part of v as an int, saturating: a document may hold any number.
inline int wholeNumber(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int>(v);
}
