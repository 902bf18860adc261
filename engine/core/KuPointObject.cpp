#include "KuPointObject.h"

#include <cstdio>

#include "KuString.h"

static KuString* pointText(KuPoint p) {
    char text[96];
    snprintf(text, sizeof text, "(%g,%g)", static_cast<double>(p.x), static_cast<double>(p.y));
    return KuString::stringWithString(text);
}

static KuString* rectText(const KuRect& r) {
    char text[192];
    snprintf(text, sizeof text, "((%g,%g),(%g,%g))", static_cast<double>(r.first.x),
             static_cast<double>(r.first.y), static_cast<double>(r.second.x),
             static_cast<double>(r.second.y));
    return KuString::stringWithString(text);
}

KuString* KuPointObject::toString() {
    return pointText(point);
}
KuString* KuPointObject::toDebugString() {
    return pointText(point);
}
KuString* KuPointObject::dump(int) {
    return pointText(point);
}

KuString* KuRectObject::toString() {
    return rectText(rect);
}
KuString* KuRectObject::toDebugString() {
    return rectText(rect);
}
KuString* KuRectObject::dump(int) {
    return rectText(rect);
}
