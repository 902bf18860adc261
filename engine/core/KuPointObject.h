// Boxed point and rectangle values, as stored in dictionaries and documents.
#pragma once

#include "KuObject.h"

class KuPointObject : public KuObject {
public:
    KuPoint point;
    explicit KuPointObject(KuPoint p = {}) : KuObject(kKuTypePointObject), point(p) {}
    static KuPointObject* newWithPoint(KuPoint p) { return new KuPointObject(p); }  // owned
    static KuPointObject* pointWithPoint(KuPoint p) { return KuAutorelease(new KuPointObject(p)); }
    const char* typeStr() const override { return "KuPointObject"; }
    KuPoint pointValue(KuPoint) const override { return point; }
    KuString* toString() override;  // "(%g,%g)"
    KuString* dump(int indent) override;
};

class KuRectObject : public KuObject {
public:
    KuRect rect;
    explicit KuRectObject(KuRect r = {}) : KuObject(kKuTypeRectObject), rect(r) {}
    static KuRectObject* newWithRect(KuRect r) { return new KuRectObject(r); }  // owned
    static KuRectObject* rectWithRect(KuRect r) { return KuAutorelease(new KuRectObject(r)); }
    const char* typeStr() const override { return "KuRectObject"; }
    KuString* toString() override;  // "((%g,%g),(%g,%g))"
    KuString* dump(int indent) override;
};
