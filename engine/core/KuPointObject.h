// Boxed point and rectangle values, as stored in dictionaries, arrays and documents.
#pragma once

#include "KuObject.h"

class KuPointObject : public KuObject {
public:
    KuPoint point;
    explicit KuPointObject(KuPoint p = {}) : KuObject(kKuTypePointObject), point(p) {}
    static KuPointObject* newWithPoint(KuPoint p) { return new KuPointObject(p); }  // owned
    static KuPointObject* pointWithPoint(KuPoint p) { return KuAutorelease(new KuPointObject(p)); }
    KuPointObject* copy() const { return new KuPointObject(point); }  // owned
    const char* typeStr() const override { return "KuPointObject"; }
    KuPoint pointValue(KuPoint) const override { return point; }
    KuString* toString() override;        // autoreleased "(%g,%g)"
    KuString* toDebugString() override;   // as toString()
    KuString* dump(int indent) override;  // as toString()
};

class KuRectObject : public KuObject {
public:
    KuRect rect;  // first corner (minimum), second corner (maximum)
    explicit KuRectObject(KuRect r = {}) : KuObject(kKuTypeRectObject), rect(r) {}
    static KuRectObject* newWithRect(KuRect r) { return new KuRectObject(r); }  // owned
    static KuRectObject* rectWithRect(KuRect r) { return KuAutorelease(new KuRectObject(r)); }
    const char* typeStr() const override { return "KuRectObject"; }
    KuString* toString() override;        // autoreleased "((%g,%g),(%g,%g))", first corner then second
    KuString* toDebugString() override;   // as toString()
    KuString* dump(int indent) override;  // as toString()
};
