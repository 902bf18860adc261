// KuLineObject: an open polyline of plain points, with its text and array forms and even
// spacing of points along it.
#pragma once

#include <vector>

#include "KuArray.h"
#include "KuGeometry.h"
#include "KuObject.h"
#include "KuPointObject.h"

class KuString;

class KuLineObject : public KuObject {
public:
    KuLineObject() : KuObject(kKuTypeObject) {}

    // Factories: new... owned (release it); the others autoreleased.
    static KuLineObject* line();
    static KuLineObject* newWithLine(KuLine segment);
    static KuLineObject* lineWithLine(KuLine segment);
    static KuLineObject* lineWithPoints(KuPoint start, KuPoint end);
    // Elements that are strings are read as point strings ("(%g,%g)" or "{%g,%g}", (0, 0) when
    // unreadable), point objects give their point, anything else (and null) is skipped.
    static KuLineObject* newWithArray(KuArray<KuPointObject*>* array);
    static KuLineObject* lineWithArray(KuArray<KuPointObject*>* array);
    // Text as written by toString(): point strings separated by ";"; empty parts are skipped.
    static KuLineObject* lineWithString(KuString* text);
    KuLineObject* copy() const;  // owned

    // Each init replaces every point and returns this. Null input leaves the line empty.
    KuLineObject* initWithLine(KuLine segment);
    KuLineObject* initWithArray(KuArray<KuPointObject*>* array);
    KuLineObject* initWithString(KuString* text);

    void addPoint(KuPoint p) { points.push_back(p); }
    void addPoint(KuPointObject* p);    // null ignored
    void addLine(KuLineObject* other);  // appends all of other's points (itself included); null ignored
    // Inserts before index; an index at or past the count appends, a negative one inserts first.
    void insertPointBefore(KuPoint p, int index);
    int count() const { return static_cast<int>(points.size()); }
    KuPoint pointAtIndex(int index, KuPoint fallback) const;
    KuPoint firstPoint(KuPoint fallback) const;
    KuPoint lastPoint(KuPoint fallback) const;
    KuPoint removeFirstPoint(KuPoint fallback);  // the removed point, or fallback when empty
    KuPoint removeLastPoint(KuPoint fallback);
    void reverse();

    float distance() const;  // sum of the segment lengths; 0 for fewer than two points
    // Autoreleased array of new point objects spaced step units along the line, the first at the
    // first point; the spacing carries over from one segment to the next. One point gives that
    // point; no points, or a step below 1, give an empty array.
    KuArray<KuPointObject*>* arrayWithPointsEvery(int step) const;

    const char* typeStr() const override { return "KuLineObject"; }
    KuString* toString() override;            // autoreleased; every point as "(%g,%g);"
    KuArray<KuString*>* saveAsArray() const;  // autoreleased; one "(%g,%g)" per point

    std::vector<KuPoint> points;
};
